#include "LocalHttpServer.h"
#include "RenderedTexts.h"
#include "TestSettings.h"

#include "ui/cells/AppIconView.h"
#include "ui/cells/CellContents.h"
#include "ui/cells/CellDelegate.h"
#include "ui/cells/CellPainter.h"
#include "ui/cells/ElidingControls.h"
#include "ui/cells/EmptyStateView.h"
#include "ui/cells/Formatters.h"
#include "ui/cells/Glyphs.h"
#include "ui/cells/IconLoader.h"
#include "ui/cells/StorefrontMenu.h"

#include <QAction>
#include <QApplication>
#include <QPainter>
#include <QStyleOptionViewItem>
#include <QBuffer>
#include <QLabel>
#include <QPushButton>
#include <QMenu>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QHBoxLayout>
#include <QTableView>
#include <QTest>

#include <QCoroSignal>

#include <memory>

#include <time.h>

using Tone = Style::Tone;

static const bool utc = [] { return qputenv("TZ", "UTC"), tzset(), true; }();

namespace {

QString toneName(Tone tone)
{
    static const char *names[] = {"primary", "secondary", "tertiary", "quaternary", "accent", "green", "orange", "red"};
    return QString::fromLatin1(names[int(tone)]);
}

// Everything a cell shows, in one line: text|tone|symbol|detail|gauge|tooltip.
QString describe(const CellContent &content)
{
    const QString gauge = content.gauge ? QString::number(*content.gauge) + u' ' + toneName(content.gaugeTone) : QString();
    return QStringList{content.text, toneName(content.tone), content.symbol, content.detail, gauge, content.tooltip}.join(u'|');
}

const QString foundHelp = QStringLiteral("The app appeared in Apple's returned results.");
const QString sampleHelp = QStringLiteral("Not in the results Apple returned. This does not prove the app is unindexed for the keyword.");
const QString difficultyHelp = QStringLiteral("How hard it is to reach the top 10, based on the current top 10 apps' ratings and titles.");

QByteArray png()
{
    QImage image(8, 8, QImage::Format_ARGB32);
    image.fill(Qt::red);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return buffer.data();
}

const QUrl artwork(QStringLiteral("https://is1-ssl.mzstatic.com/image/thumb/a/100x100bb.png"));

}

// Answers icon fetches with canned bytes, holding them back until release() when asked to.
class FakeArtwork : public QObject
{
    Q_OBJECT
public:
    int calls = 0;
    bool hold = false;
    QByteArray answer = png();

    IconLoader::Fetch fetch()
    {
        return [this](QUrl, qint64) { return respond(this); };
    }

Q_SIGNALS:
    void release();

private:
    static QCoro::Task<std::optional<QByteArray>> respond(FakeArtwork *fake)
    {
        ++fake->calls;
        if (fake->hold)
            co_await qCoro(fake, &FakeArtwork::release);
        co_return fake->answer;
    }
};

class TestCells : public QObject
{
    Q_OBJECT

    TestSettings m_settings;

private Q_SLOTS:
    void cellsAndFormatters_data()
    {
        QTest::addColumn<QString>("actual");
        QTest::addColumn<QString>("expected");
        using namespace CellContents;
        using RS = RankingState;
        const auto row = [](const char *name, const CellContent &content, const QString &expected) {
            QTest::newRow(name) << describe(content) << expected;
        };

        row("found", stateBadge(RS::found, std::nullopt), "Found|green||||" + foundHelp);
        row("found ignores size", stateBadge(RS::found, 50), "Found|green||||" + foundHelp);
        row("not in top 200", stateBadge(RS::notFoundInSample, 200), "Not in top 200|secondary||||" + sampleHelp);
        row("not in sample", stateBadge(RS::notFoundInSample, std::nullopt), "Not in sample|secondary||||" + sampleHelp);
        row("failed", stateBadge(RS::requestFailed, 200),
            "Request failed|red||||The search request failed. No ranking conclusion was drawn.");
        row("not checked", stateBadge(RS::notChecked, 200), "Not checked|secondary||||No search yet in this storefront.");

        using PS = PopularitySource;
        row("popularity minimum", popularity(5, PS::appleMinimum),
            "5|secondary|||5 secondary|Not in Apple Ads' weekly top search terms for this country: Apple's minimum, 5 (low search volume).");
        row("popularity country", popularity(72, PS::appleCountry),
            "72|primary|||72 accent|Apple Ads search popularity for this country (1–100, weekly).");
        row("popularity without source", popularity(72, std::nullopt), "—|tertiary||||No Apple Ads popularity yet.");
        row("popularity without value", popularity(std::nullopt, PS::appleCountry), "—|tertiary||||No Apple Ads popularity yet.");

        row("difficulty negative", difficulty(-3), "-3|green||Easy||" + difficultyHelp);
        row("difficulty 34", difficulty(34), "34|green||Easy||" + difficultyHelp);
        row("difficulty 35", difficulty(35), "35|orange||Medium||" + difficultyHelp);
        row("difficulty 64", difficulty(64), "64|orange||Medium||" + difficultyHelp);
        row("difficulty 65", difficulty(65), "65|red||Hard||" + difficultyHelp);
        row("difficulty absent", difficulty(std::nullopt), "—|tertiary||||");

        using C = Ranking::Change;
        row("moved 0", change(C::moved(0)), "|tertiary|minus|||");
        row("moved up 3", change(C::moved(3)), "3|green|arrow.up|||");
        row("moved down 7", change(C::moved(-7)), "7|red|arrow.down|||");
        row("new", change(C::newRanking()), "New|green|sparkles|||");
        row("lost", change(C::lost()), "Lost|red|xmark|||");
        row("none", change(C::none()), "—|tertiary||||");

        const QLocale english(QLocale::English, QLocale::UnitedStates);
        const std::pair<qint64, const char *> compact[] = {
            {0, "0"}, {999, "999"}, {1000, "1K"}, {1234, "1.2K"}, {1250, "1.2K"}, {1350, "1.4K"}, {12345, "12K"},
            {99999, "100K"}, {123456, "123K"}, {999999, "1M"}, {1234567, "1.2M"}, {2500000000, "2.5B"}};
        for (const auto &[value, text] : compact)
            QTest::addRow("compact %lld", value) << Formatters::compactNumber(value, english) << QString::fromUtf8(text);

        const QDateTime now(QDate(2026, 12, 7), QTime(12, 0));
        const std::pair<qint64, const char *> relative[] = {
            {0, "now"}, {-30, "30 seconds ago"}, {-60, "1 minute ago"}, {-5 * 60 - 59, "5 minutes ago"},
            {-3599, "59 minutes ago"}, {-3600, "1 hour ago"}, {-(24 * 3600 - 1), "23 hours ago"},
            {-24 * 3600, "1 day ago"}, {-6 * 86400, "6 days ago"}, {-13 * 86400, "1 week ago"},
            {-31 * 86400, "1 month ago"}, {-400 * 86400, "1 year ago"}, {2 * 3600 + 30, "in 2 hours"}};
        for (const auto &[offset, text] : relative)
            QTest::addRow("relative %lld s", offset) << Formatters::relativeTime(now.addSecs(offset), now, english)
                                                     << QString::fromUtf8(text);
        // A system without a language set speaks English.
        for (const auto &[offset, text] : {std::pair{-400 * 86400, "1 year ago"}, {-86400, "1 day ago"}, {3600, "in 1 hour"}})
            QTest::addRow("relative %d s in C", offset) << Formatters::relativeTime(now.addSecs(offset), now, QLocale::c())
                                                        << QString::fromUtf8(text);

        const QDateTime morning(QDate(2026, 12, 7), QTime(9, 0));
        QTest::newRow("date and time") << Formatters::abbreviatedDateTime(morning, english).replace(u'\u202f', u' ')
                                       << "Dec 7, 2026, 9:00 AM";
        QTest::newRow("time") << Formatters::shortTime(morning.addSecs(14 * 3600 + 5 * 60), english).replace(u'\u202f', u' ')
                              << "11:05 PM";
        QTest::newRow("time without seconds") << Formatters::shortTime(QTime(9, 5, 30), QLocale::c()) << "09:05";
    }

    void cellsAndFormatters()
    {
        QFETCH(QString, actual);
        QTEST(actual, "expected");
    }

    void selectedCellsRead_data()
    {
        QTest::addColumn<CellContent>("content");
        using namespace CellContents;
        QTest::newRow("failed badge") << stateBadge(RankingState::requestFailed, 200);
        QTest::newRow("found badge") << stateBadge(RankingState::found, std::nullopt);
        QTest::newRow("sample badge") << stateBadge(RankingState::notFoundInSample, 200);
        QTest::newRow("medium difficulty") << difficulty(50);
        QTest::newRow("easy difficulty") << difficulty(10);
        QTest::newRow("popularity") << popularity(5, PopularitySource::appleMinimum);
        QTest::newRow("lost") << change(Ranking::Change::lost());
        QTest::newRow("absent") << difficulty(std::nullopt);
    }

    void selectedCellsRead()
    {
        // In a selected row of the application's palette every text reads at 4.5:1 at least,
        // on the selection or on its badge's fill.
        QFETCH(CellContent, content);
        QImage image(40, 20, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        QStyleOptionViewItem option;
        option.rect = image.rect();
        option.showDecorationSelected = true; // as a table selecting rows draws it
        option.palette = QApplication::palette();
        option.state = QStyle::State_Selected | QStyle::State_Active | QStyle::State_Enabled;
        const auto palette = CellPainter::drawRowBackground(&painter, option);
        painter.end();
        const QColor selection = image.pixelColor(20, 10);
        const auto colors = CellPainter::colors(content, palette, true);
        const auto behind = colors.capsule.isValid() ? colors.capsule : selection;
        QVERIFY2(Style::contrast(colors.text, behind) >= 4.5, qPrintable(colors.text.name() + " on " + behind.name()));
        QVERIFY(Style::contrast(colors.detail, selection) >= 4.5);
        QCOMPARE(colors.capsule.isValid(), content.capsule);
        if (colors.capsule.isValid())
            QCOMPARE(colors.capsule.alpha(), 255);
    }

    void selectedGaugeShows()
    {
        // A full popularity gauge on a selected row stands out from the selection.
        QImage image(80, 20, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        QStyleOptionViewItem option;
        option.rect = image.rect();
        option.showDecorationSelected = true;
        option.palette = QApplication::palette();
        option.state = QStyle::State_Selected | QStyle::State_Active | QStyle::State_Enabled;
        const auto palette = CellPainter::drawRowBackground(&painter, option);
        const QColor selection = image.pixelColor(79, 10);
        CellPainter::paint(&painter, image.rect(), CellContents::popularity(100, PopularitySource::appleCountry), palette,
                           Qt::AlignLeft | Qt::AlignVCenter, true);
        painter.end();
        const QColor gauge = image.pixelColor(18, 10);
        QVERIFY2(Style::contrast(gauge, selection) >= 3, qPrintable(gauge.name() + " on " + selection.name()));
    }

    void storefrontSections_data()
    {
        QTest::addColumn<QString>("favoriteSetting");
        QTest::addColumn<QStringList>("tracked");
        QTest::addColumn<QStringList>("favoriteTitles");
        QTest::addColumn<QString>("gbInAll");

        QTest::newRow("tracked favourite marked twice")
            << "us,gb" << QStringList{"gb"} << QStringList{"🇺🇸 United States", "🇬🇧 United Kingdom  •"} << "🇬🇧 United Kingdom  •";
        QTest::newRow("empty piece and unknown code")
            << "us,,zz" << QStringList{} << QStringList{"🇺🇸 United States"} << "🇬🇧 United Kingdom";
        QTest::newRow("no favourites") << "" << QStringList{"GB"} << QStringList{} << "🇬🇧 United Kingdom";
    }

    void storefrontSections()
    {
        QFETCH(QString, favoriteSetting);
        QFETCH(QStringList, tracked);
        QFETCH(QStringList, favoriteTitles);

        // Through the widget, since the favourites must be read when the menu opens.
        StorefrontMenu menu;
        menu.setTracked(tracked);
        TestSettings::set(SettingsKey::favoriteCountries, QStringLiteral("de"));
        Q_EMIT menu.menu()->aboutToShow();
        TestSettings::set(SettingsKey::favoriteCountries, favoriteSetting);
        Q_EMIT menu.menu()->aboutToShow();

        QStringList titles;
        const auto actions = menu.menu()->actions();
        for (const auto *action : actions) {
            if (action->objectName().startsWith(u"favorite_"))
                titles << action->text();
        }
        QCOMPARE(titles, favoriteTitles);
        QCOMPARE(actions.first()->text(), QStringLiteral("Favorites"));
        QVERIFY(!actions.first()->isEnabled());
        QCOMPARE(actions.at(favoriteTitles.size() + 1)->text(), QStringLiteral("All storefronts"));
        QCOMPARE(actions.size(), 2 + favoriteTitles.size() + 68);
        QTEST(menu.menu()->findChild<QAction *>(QStringLiteral("storefront_gb"))->text(), "gbInAll");
        TestSettings::reset();
    }

    void storefrontPicking()
    {
        StorefrontMenu menu;
        menu.setCountry(QStringLiteral("zz"));
        QCOMPARE(menu.text(), QStringLiteral("🇿🇿 ZZ"));
        QCOMPARE(menu.toolTip(), QStringLiteral("Rankings depend on the country"));

        QSignalSpy changed(&menu, &StorefrontMenu::countryChanged);
        QSignalSpy picked(&menu, &StorefrontMenu::countryPicked);
        Q_EMIT menu.menu()->aboutToShow();
        menu.menu()->findChild<QAction *>(QStringLiteral("favorite_gb"))->trigger();
        menu.menu()->findChild<QAction *>(QStringLiteral("storefront_gb"))->trigger();
        QCOMPARE(menu.country(), QStringLiteral("gb"));
        QCOMPARE(menu.text(), QStringLiteral("🇬🇧 United Kingdom"));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(picked.count(), 2);
    }

    void iconsShareOneLoad()
    {
        FakeArtwork fake;
        fake.hold = true;
        IconLoader loader(fake.fetch());
        AppIconView first(artwork, 28, nullptr, &loader);
        AppIconView second(artwork, 56, nullptr, &loader);
        auto gone = std::make_unique<AppIconView>(artwork, 28, nullptr, &loader);
        gone.reset(); // its owner closed while the icon loads
        QCOMPARE(fake.calls, 1);
        QVERIFY(!first.showsImage());

        Q_EMIT fake.release();
        QTRY_VERIFY(first.showsImage());
        QVERIFY(second.showsImage());
        AppIconView later(artwork, 28, nullptr, &loader);
        QVERIFY(later.showsImage());
        QCOMPARE(fake.calls, 1);
    }

    void iconPlaceholder_data()
    {
        QTest::addColumn<QUrl>("url");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("calls");
        QTest::addColumn<bool>("image");

        const QByteArray image = png();
        QTest::newRow("artwork") << artwork << image << 1 << true;
        QTest::newRow("just 2 MB") << artwork << image + QByteArray(IconLoader::maxBytes - image.size(), '\0') << 1 << true;
        QTest::newRow("over 2 MB") << artwork << image + QByteArray(IconLoader::maxBytes, '\0') << 1 << false;
        QTest::newRow("not an image") << artwork << QByteArray("<html>") << 1 << false;
        QTest::newRow("loopback") << QUrl("https://127.0.0.1/a.png") << image << 0 << false;
        QTest::newRow("plain web") << QUrl("http://example.com/a.png") << image << 0 << false;
        QTest::newRow("file") << QUrl("file:///tmp/a.png") << image << 0 << false;
    }

    void iconPlaceholder()
    {
        QFETCH(QUrl, url);
        QFETCH(QByteArray, answer);
        QFETCH(int, calls);
        QFETCH(bool, image);
        FakeArtwork fake;
        fake.answer = answer;
        IconLoader loader(fake.fetch());
        AppIconView view(url, 28, nullptr, &loader);
        QCOMPARE(view.showsImage(), image);
        QCOMPARE(fake.calls, calls);
        view.setUrl(url); // a failure is not fetched again at once
        QCOMPARE(fake.calls, calls);
    }

    void networkFetch_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("bodySize");
        QTest::addColumn<bool>("delivered");
        QTest::newRow("within the limit") << 200 << 1000 << true;
        QTest::newRow("beyond the limit") << 200 << 1001 << false;
        QTest::newRow("not found") << 404 << 10 << false;
        // An artwork host must not lead the fetch to this computer.
        QTest::newRow("redirect to loopback") << 302 << 10 << false;
    }

    void networkFetch()
    {
        QFETCH(int, status);
        QFETCH(int, bodySize);
        QFETCH(bool, delivered);
        LocalHttpServer server;
        LocalHttpServer::Reply reply;
        reply.status = status;
        reply.body = QByteArray(bodySize, 'x');
        if (status == 302) {
            LocalHttpServer::Reply moved;
            moved.status = 302;
            moved.headers = {{"Location", server.baseUrl().resolved(QUrl("/moved.png")).toEncoded()}};
            reply.status = 200;
            server.script({moved, reply});
        } else {
            server.reply(reply);
        }
        QNetworkAccessManager manager;
        manager.setProxy(QNetworkProxy::NoProxy);
        const auto fetch = IconLoader::networkFetch(&manager);
        const auto data = QCoro::waitFor(fetch(server.baseUrl().resolved(QUrl("/icon.png")), 1000));
        QCOMPARE(data.has_value(), delivered);
        if (delivered)
            QCOMPARE(*data, reply.body);
        QCOMPARE(server.requests().size(), 1);
    }

    // A table cell through the shared delegate paints each of its texts once, selected or not,
    // although its model hands out the cell's text as display text as well.
    void delegatePaintsEachTextOnce_data()
    {
        QTest::addColumn<QVariant>("content"); // a CellContent, or none for a plain text cell
        QTest::addColumn<QStringList>("texts");
        using namespace CellContents;
        const auto cell = [](const CellContent &content) { return QVariant::fromValue(content); };
        for (const bool selected : {false, true}) {
            const auto name = [selected](const char *kind) {
                return QByteArray(kind) + (selected ? ", selected" : "");
            };
            QTest::newRow(name("plain text")) << QVariant() << QStringList{"alpha"};
            QTest::newRow(name("badge")) << cell(stateBadge(RankingState::notFoundInSample, 200))
                                         << QStringList{"Not in top 200"};
            QTest::newRow(name("gauge")) << cell(popularity(72, PopularitySource::appleCountry)) << QStringList{"72"};
            QTest::newRow(name("band")) << cell(difficulty(34)) << QStringList{"34", "Easy"};
            QTest::newRow(name("symbol")) << cell(change(Ranking::Change::moved(3)))
                                          << QStringList{Glyphs::text(u"arrow.up"), "3"};
        }
    }

    void delegatePaintsEachTextOnce()
    {
        QFETCH(QVariant, content);
        QStandardItemModel model(1, 1);
        auto *item = new QStandardItem(content.isValid() ? content.value<CellContent>().text : QStringLiteral("alpha"));
        if (content.isValid())
            item->setData(content, CellContents::contentRole);
        model.setItem(0, 0, item);
        QTableView table;
        table.setModel(&model);
        table.setItemDelegate(new CellDelegate(&table));
        table.setColumnWidth(0, 300);
        table.resize(360, 120);
        table.show();
        QVERIFY(QTest::qWaitForWindowExposed(&table));
        if (QByteArray(QTest::currentDataTag()).endsWith("selected"))
            table.selectRow(0);
        QTEST(renderedTexts(table.viewport()), "texts");
    }

    // Laid over a list too short for all of it, the state gives up its symbol, then its narrow
    // width, then its description, rather than squeezing its texts: each is drawn whole inside its
    // label and inside the list, over no other text, and its button keeps its size and covers
    // none of them. A title on two lines even across the list's width keeps them both. Shorter
    // still, the title is cut to the lines that fit, its last ending in "…" and the whole in its
    // tooltip, then left to the button, and last the button goes too: nothing is drawn cut.
    void emptyStateFitsItsHost_data()
    {
        QTest::addColumn<int>("height"); // of the list
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("symbol");
        QTest::addColumn<bool>("description");
        QTest::addColumn<QString>("title"); // "whole", "cut" or "none"
        QTest::addColumn<bool>("button");
        const QString longer = "Frame & Layout Studio – Collage Maker, Photo Grid & Sticker Editor Deluxe";
        const QString word = "FrameLayoutCollageStudioInternationalPhotoGridStickerEditorDeluxe";
        const QString longest = longer + " for Instagram Stories, Reels, Posts & Highlights – Templates, Fonts & Filters";
        QTest::newRow("room for all") << 300 << "Snapmosaic" << true << true << "whole" << true;
        QTest::newRow("no room for the symbol") << 110 << "Snapmosaic" << false << true << "whole" << true;
        QTest::newRow("texts on fewer lines") << 80 << "Snapmosaic" << false << true << "whole" << true;
        QTest::newRow("no room for the description") << 60 << "Snapmosaic" << false << false << "whole" << true;
        QTest::newRow("long name, room for all") << 300 << longer << true << true << "whole" << true;
        QTest::newRow("long name, title on two lines") << 110 << longer << false << true << "whole" << true;
        QTest::newRow("long name, no room for the description") << 90 << longer << false << false << "whole" << true;
        QTest::newRow("long word, title wrapped") << 110 << word << false << true << "whole" << true;
        QTest::newRow("long word, no room for the description") << 90 << word << false << false << "whole" << true;
        QTest::newRow("longest name, title cut") << 80 << longest << false << false << "cut" << true;
        QTest::newRow("no room for the title") << 45 << longer << false << false << "none" << true;
        QTest::newRow("no room for the button") << 20 << longer << false << false << "none" << false;
    }

    void emptyStateFitsItsHost()
    {
        QFETCH(int, height);
        QFETCH(QString, name);
        QWidget host;
        host.resize(744, height);
        EmptyStateView state(QStringLiteral("text.magnifyingglass"), "No keywords tracked for " + name,
                             "This app already tracks every keyword tracked for " + name + ".");
        // As the gap names the competitor: cut where no list has room for the name.
        auto *action = new ElidingButton;
        action->setFullText("Discover Keywords for " + name);
        state.addActionWidget(action);
        state.overlayOn(&host);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        QFETCH(bool, button);
        QCOMPARE(action->isVisibleTo(&host), button);
        const QRectF buttonArea = button ? QRectF(action->mapTo(&host, QPoint()), action->size()) : QRectF();
        QStringList drawn;
        QList<QRectF> boxes;
        bool symbolShown = false;
        for (auto *label : state.findChildren<QLabel *>()) {
            if (!label->isVisibleTo(&host))
                continue;
            symbolShown |= label->text() == Glyphs::text(u"text.magnifyingglass");
            const QRectF area(label->mapTo(&host, QPoint()), label->size());
            for (const auto &line : renderedItems(label)) {
                const auto box = line.box.translated(area.topLeft());
                drawn.append(line.text);
                QVERIFY2(area.contains(box) && QRectF(host.rect()).contains(box), qPrintable(line.text));
                QVERIFY2(!box.intersects(buttonArea), qPrintable(line.text));
                for (const auto &other : std::as_const(boxes))
                    QVERIFY2(!box.adjusted(1, 1, -1, -1).intersects(other), qPrintable(line.text));
                boxes.append(box);
            }
        }
        QVERIFY(!button || QRectF(host.rect()).contains(buttonArea));
        QVERIFY(!button
                || (action->height() >= action->sizeHint().height()
                    && action->width() >= std::min(action->sizeHint().width(), action->parentWidget()->width())));
        drawn.removeAll(Glyphs::text(u"text.magnifyingglass"));
        QFETCH(bool, description);
        QFETCH(QString, title);
        const QString read = drawn.join(QString()).remove(u' '), whole = state.title().remove(u' ');
        auto *titleLabel = state.findChild<QLabel *>(QStringLiteral("emptyStateTitle"));
        if (title == u"cut") {
            QVERIFY2(read.endsWith(u'…') && whole.startsWith(read.chopped(1)), qPrintable(drawn.join(u'|')));
            QCOMPARE(tooltipShows(titleLabel->toolTip()), state.title());
        } else {
            QCOMPARE(read, (title == u"whole" ? whole : QString())
                               + (description ? state.description().remove(u' ') : QString()));
        }
        QFETCH(bool, symbol);
        QCOMPARE(symbolShown, symbol);
        // Room again brings all back.
        host.resize(744, 300);
        QVERIFY(state.findChildren<QLabel *>().constFirst()->isVisibleTo(&host));
        QVERIFY(titleLabel->isVisibleTo(&host) && titleLabel->toolTip().isEmpty() && action->isVisibleTo(&host));
    }

    // A title wider than the view wraps as the description does, at spaces or, for a word too
    // long for the list, inside it: every line whole inside the view, and the lines read the title.
    void emptyStateTitleWraps_data()
    {
        QTest::addColumn<int>("width"); // of the list
        QTest::addColumn<QString>("title");
        const QString tom = "No keywords tracked for Tom & Jerry Studio";
        QTest::newRow("wide list") << 744 << tom;
        QTest::newRow("narrow list") << 240 << tom;
        QTest::newRow("longer name") << 744 << tom + " – Cartoon Maker, Stickers & Funny Photo Frames";
        QTest::newRow("word wider than a line") << 240 << "No keywords tracked for TomAndJerryCartoonStudiosInternational";
        QTest::newRow("long word, wide list") << 744 << "No keywords tracked for TomAndJerryCartoonStudiosInternational";
    }

    void emptyStateTitleWraps()
    {
        QFETCH(int, width);
        QFETCH(QString, title);
        QWidget host;
        host.resize(width, 300);
        EmptyStateView state(QStringLiteral("text.magnifyingglass"), title, QStringLiteral("Run discovery."));
        state.overlayOn(&host);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        auto *label = state.findChild<QLabel *>(QStringLiteral("emptyStateTitle"));
        QString read;
        for (const auto &line : renderedItems(&host)) {
            if (line.text == "Run discovery." || line.text == Glyphs::text(u"text.magnifyingglass"))
                continue;
            QVERIFY2(QRectF(label->mapTo(&host, QPoint()), label->size()).adjusted(-1, -1, 1, 1).contains(line.box)
                         && line.shown.width() >= line.box.width() - 1,
                     qPrintable(line.text));
            read += line.text;
            // A word is broken only where the list has no room for it.
            QVERIFY2(width < 300 || line.text.split(u' ', Qt::SkipEmptyParts).size() != 1
                         || title.split(u' ').contains(line.text.trimmed()),
                     qPrintable(line.text));
        }
        QCOMPARE(read.remove(u' '), title.remove(u' '));
    }

    // A line too long for its room is cut at its end with "…" and shows its whole text in its
    // tooltip; a fixed neighbour keeps its width. Whole again, the line has no tooltip.
    void elidingLabelCutsWithTooltip()
    {
        const QString name = "Tom & Jerry <b>Studio</b>: Cartoon Maker, Stickers & Funny Photo Frames";
        QWidget row;
        auto *label = new ElidingLabel(&row);
        label->setFullText(name);
        auto *counter = new QLabel(QStringLiteral("Top 10"), &row);
        auto *layout = new QHBoxLayout(&row);
        layout->addWidget(label, 1);
        layout->addWidget(counter);
        row.resize(label->sizeHint().width() / 2, 40);
        row.show();
        QVERIFY(QTest::qWaitForWindowExposed(&row));
        QCOMPARE(counter->width(), counter->sizeHint().width());
        const auto drawn = renderedItems(label);
        QVERIFY2(drawn.size() == 1 && drawn[0].text.endsWith(u'…') && name.startsWith(drawn[0].text.chopped(1))
                     && QRectF(label->rect()).adjusted(-1, -1, 1, 1).contains(drawn[0].box),
                 qPrintable(drawn.value(0).text));
        QCOMPARE(tooltipShows(label->toolTip()), name);
        row.resize(row.sizeHint().width() + 40, 40);
        QCOMPARE(renderedTexts(label), QStringList{name});
        QCOMPARE(label->toolTip(), QString());
    }

    // A picker's tooltip goes with the text it draws when its chosen entry is changed or renamed
    // with its signals blocked, as a screen refilling it does: the whole text while it is cut,
    // what the picker picks while it is whole.
    void elidingPickerTooltipFollowsText_data()
    {
        QTest::addColumn<int>("chosen");   // before the change
        QTest::addColumn<bool>("renamed"); // the chosen entry renamed, else entry 2 chosen
        QTest::addColumn<bool>("cut");     // afterwards
        QTest::newRow("long entry chosen") << 0 << false << true;
        QTest::newRow("chosen entry renamed long") << 1 << true << true;
        QTest::newRow("chosen entry renamed short") << 2 << true << false;
    }

    void elidingPickerTooltipFollowsText()
    {
        QFETCH(int, chosen);
        QFETCH(bool, renamed);
        QFETCH(bool, cut);
        const QString name = "Lumen Photo Editor: Collage Maker, Filters, Retouch & Layout Studio Pro";
        ElidingComboBox picker;
        picker.setToolTip(QStringLiteral("App"));
        picker.addItems({QStringLiteral("All apps"), QStringLiteral("Lumen"), name});
        picker.setFixedWidth(picker.fontMetrics().horizontalAdvance(name) / 2);
        picker.setCurrentIndex(chosen);
        picker.show();
        QVERIFY(QTest::qWaitForWindowExposed(&picker));
        {
            const QSignalBlocker blocked(picker);
            if (renamed)
                picker.setItemText(chosen, chosen == 2 ? QStringLiteral("Lumen") : name);
            else
                picker.setCurrentIndex(2);
        }
        const auto drawn = renderedTexts(&picker);
        QCOMPARE(drawn.size(), 1);
        QCOMPARE(drawn[0].endsWith(u'…'), cut);
        QCOMPARE(tooltipShows(picker.toolTip()), cut ? name : QStringLiteral("App"));
    }
};

QTEST_MAIN(TestCells)
#include "tst_cells.moc"
