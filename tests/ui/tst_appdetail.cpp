#include "model/StoreDb.h"
#include "store/ASOStore.h"
#include "ui/cells/StorefrontMenu.h"
#include "ui/cells/WrappingRowLayout.h"
#include "ui/keywords/AppDetailView.h"
#include "ui/keywords/AppHeaderLayout.h"
#include "ui/keywords/DiscoveryBanner.h"
#include "ui/keywords/HistoryPanel.h"
#include "ui/keywords/KeywordTable.h"
#include "ui/keywords/KeywordTableModel.h"
#include "workflows/DiscoveryRun.h"

#include "GatedSearchClient.h"
#include "RenderedTexts.h"
#include "TestSettings.h"

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QtTest>

// The texts of `area` painted now that are cut off or drawn over each other.
static QStringList textFaults(QWidget *area)
{
    QStringList faults;
    const auto texts = renderedItems(area);
    for (qsizetype i = 0; i < texts.size(); ++i) {
        const auto place = QStringLiteral(" at %1×%2").arg(area->width()).arg(area->height());
        if (texts[i].shown.width() < texts[i].box.width() - 1 || texts[i].shown.height() < texts[i].box.height() - 1)
            faults.append("“" + texts[i].text + "” cut" + place);
        for (qsizetype j = i + 1; j < texts.size(); ++j) {
            if (texts[i].shown.adjusted(1, 1, -1, -1).intersects(texts[j].shown.adjusted(1, 1, -1, -1)))
                faults.append("“" + texts[i].text + "” over “" + texts[j].text + "”" + place);
        }
    }
    return faults;
}

// Notes, each time a frame may be painted (a paint or a layout waits), the texts of `area` that
// are cut off or drawn over each other.
struct FrameFaults : QObject
{
    QWidget *area;
    QStringList faults;
    int painted = 0;

    explicit FrameFaults(QWidget *area) : area(area) { qApp->installEventFilter(this); }

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::UpdateRequest && event->type() != QEvent::LayoutRequest)
            return false;
        painted += event->type() == QEvent::UpdateRequest;
        faults += textFaults(area);
        return false;
    }
};

// Popularity that holds each storefront's answer until the test releases it; the storefronts in
// `failing` then fail.
struct HeldPopularity : PopularityProviding
{
    QHash<QString, CancelTokenPtr> held;
    QStringList failing;
    QCoro::Task<PopularityResponse> popularity(QString country, QStringList, CancelTokenPtr) override
    {
        const auto gate = CancelToken::create();
        held.insert(country, gate);
        co_await qCoro(gate.get(), &CancelToken::cancelled);
        if (failing.contains(country))
            throw PopularityError(QStringLiteral("offline in ") + country);
        co_return {country, {}, {}};
    }
    void release(const QString &country) { held.value(country)->cancel(); }
};

class TestAppDetail : public QObject
{
    Q_OBJECT

    TestSettings m_settings;
    std::shared_ptr<GatedSearchClient> m_client;
    std::unique_ptr<ASOStore> m_store;

    TrackedApp track(const QStringList &countries)
    {
        TrackedApp app(AppInfo{"1", "Lumen"}, true);
        app.trackedCountries = countries;
        app.developerName = "Lumen Labs";
        app.version = "2.1";
        m_store->db().insert(app);
        return app;
    }

private Q_SLOTS:
    void init()
    {
        TestSettings::reset();
        m_client = std::make_shared<GatedSearchClient>();
        m_store = std::make_unique<ASOStore>(StoreDb::openInMemory(), m_client);
    }

    void initialStorefront_data()
    {
        QTest::addColumn<QStringList>("tracked");
        QTest::addColumn<QString>("defaultCountry"); // "-": none stored
        QTest::addColumn<QString>("title");
        QTest::newRow("first tracked") << QStringList{"de", "gb"} << "tr" << "Lumen — Germany";
        QTest::newRow("default storefront") << QStringList{} << "tr" << "Lumen — Türkiye";
        QTest::newRow("nothing stored") << QStringList{} << "-" << "Lumen — United States";
    }

    void initialStorefront()
    {
        QFETCH(QStringList, tracked);
        QFETCH(QString, defaultCountry);
        if (defaultCountry != "-")
            TestSettings::set("defaultCountry", defaultCountry);
        track(tracked);
        AppDetailView view(m_store.get(), "1");
        QTEST(view.title(), "title");
        // Facts that are absent leave no separator behind.
        QCOMPARE(view.findChild<QLabel *>("appFacts")->text(), "Lumen Labs · v2.1");
        QVERIFY(!view.findChild<QLabel *>("appRating")->isVisibleTo(&view));
    }

    // The discover button follows the run; selecting a keyword opens the history panel, which
    // hides with the status filter outside the keywords section and comes back with it.
    void discoveryAndPanels()
    {
        const auto app = track({"us"});
        m_store->addKeywords({"photo editor"}, app);
        AppDetailView view(m_store.get(), "1");
        view.show();
        auto *discover = view.findChild<QAction *>("discoverAction");
        QCOMPARE(discover->toolTip(), "Automatically find and check keywords in United States");
        discover->trigger();
        QCOMPARE(discover->text(), "Discovering…");
        QVERIFY(!discover->isEnabled());
        m_client->open();
        QTRY_VERIFY(!m_store->discoveryRun(app, "us")->isRunning());
        QCOMPARE(discover->text(), "Discover Keywords");
        QVERIFY(discover->isEnabled());

        auto *panel = view.findChild<QWidget *>("historyPanel");
        QVERIFY(!panel->isVisible());
        view.findChild<KeywordTable *>()->setSelection("photo editor");
        QVERIFY(panel->isVisible());
        view.setSection(AppDetailView::Section::competitors);
        QVERIFY(!panel->isVisible());
        QVERIFY(!view.findChild<QComboBox *>("statusFilter")->isVisible());
        view.setSection(AppDetailView::Section::keywords);
        QVERIFY(panel->isVisible());
        QVERIFY(view.showsInspector());

        // The History button shows whether the panel is open, and closes and opens it.
        auto *history = view.findChild<QAction *>("historyAction");
        QVERIFY(history->isChecked());
        history->trigger();
        QVERIFY(!panel->isVisible() && !history->isChecked());
        history->trigger();
        QVERIFY(panel->isVisible() && history->isChecked());
    }

    // The status picker stands at the right end of the sections' row while the pane is wide enough
    // for both, else under the sections, whole; a resize across that width lays it out at once,
    // before any further event, so that no frame shows the arrangement of the former width.
    void statusPickerFollowsTheWidthAtOnce()
    {
        track({"us"});
        AppDetailView view(m_store.get(), "1");
        view.resize(900, 640);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        auto *sections = view.findChild<QWidget *>("sectionKeywords")->parentWidget();
        auto *picker = view.findChild<QComboBox *>("statusFilter")->parentWidget();
        auto *row = sections->parentWidget();
        const auto place = [&](QWidget *part) { return QRect(part->mapTo(row, QPoint()), part->size()); };
        for (const int width : {440, 900, 440}) {
            view.resize(width, 640);
            const QRect left = place(sections), right = place(picker);
            QVERIFY(row->rect().contains(left) && row->rect().contains(right));
            QCOMPARE(right.width(), picker->sizeHint().width());
            if (width > 600)
                QVERIFY(right.top() == left.top() && right.right() == row->width() - 17);
            else
                QVERIFY(right.top() > left.bottom() && right.left() == left.left());
        }
    }

    // A storefront picked in the toolbar's menu shows that storefront's readings in the rows.
    void storefrontPickChangesRows()
    {
        const auto app = track({"us", "gb"});
        m_store->addKeywords({"alpha", "beta"}, app);
        m_client->answer = [](const QString &term) {
            return FakeSearchClient::results(term == u"alpha" ? QStringList{"7", "8", "1"} : QStringList{"7"});
        };
        m_client->open();
        for (const QString term : {"alpha", "beta"})
            QCoro::waitFor(m_store->search(*m_store->keyword(term), app, "us"));
        AppDetailView view(m_store.get(), "1");
        view.resize(1000, 640);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        auto *rows = view.findChild<KeywordTable *>()->viewport();
        auto shown = renderedTexts(rows);
        QVERIFY2(shown.count("#3") == 1 && shown.count("alpha") == 1 && shown.count("Not checked") == 0,
                 qPrintable(shown.join(", ")));

        auto *storefronts = view.findChild<QWidget *>("detailToolbar")->findChild<StorefrontMenu *>();
        Q_EMIT storefronts->menu()->aboutToShow();
        storefronts->menu()->findChild<QAction *>("storefront_gb")->trigger();
        QCOMPARE(view.title(), "Lumen — United Kingdom");
        shown = renderedTexts(rows);
        QVERIFY2(shown.count("#3") == 0 && shown.count("alpha") == 1 && shown.count("beta") == 1
                     && shown.count("Not checked") == 2,
                 qPrintable(shown.join(", ")));
        QCOMPARE(view.findChild<QLabel *>("counterRanking")->text(), "0");
    }

    // A long name and long facts each keep to one line, cut with an ellipsis, drawn whole inside
    // their label: neither widens the screen past the window's narrowest detail column with the
    // history panel open, and the facts break inside no word.
    void longNameStaysInTheWindow()
    {
        TrackedApp app(AppInfo{"1", "Lumen Photo Editor: Collage Maker, Filters, Retouch and Layout Studio"}, true);
        app.trackedCountries = {"us"};
        app.developerName = "Lumen Labs International Software Development Company Limited";
        app.primaryGenre = "Photo & Video";
        app.version = "12.4.1";
        m_store->db().insert(app);
        m_store->addKeywords({"photo editor"}, app);
        AppDetailView view(m_store.get(), "1");
        view.resize(1000 - 320, 640);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.findChild<KeywordTable *>()->setSelection("photo editor");
        QTRY_VERIFY(view.findChild<QWidget *>("historyPanel")->isVisible());
        QTRY_VERIFY2(view.minimumSizeHint().width() <= view.width(), qPrintable(QString::number(view.minimumSizeHint().width())));
        for (auto *label : {view.findChild<QLabel *>("appName"), view.findChild<QLabel *>("appFacts")}) {
            QTRY_VERIFY2(renderedTexts(label).value(0).endsWith(u'…'), qPrintable(label->text()));
            const auto painted = renderedItems(label);
            QCOMPARE(painted.size(), 1);
            const auto &line = painted[0];
            QVERIFY2(line.text.endsWith(u'…') && label->text().startsWith(line.text.chopped(1)), qPrintable(line.text));
            QVERIFY2(QRectF(label->rect()).contains(line.box), qPrintable(line.text));
            QVERIFY(view.rect().contains(QRect(label->mapTo(&view, QPoint()), label->size())));
        }
    }

    // For a short name and maker, a name of thirty characters, a long name and maker, and a name of
    // thirty capitals, at the detail column of a 1000×640 and a 1440×900 window with History closed
    // and open: the counters stand at the header's right end beside the name where it is wide
    // enough, else on a row of their own under the app's facts, in one place and at one header
    // height for every app; the names of thirty characters read whole, and a line cut with "…"
    // shows its whole text in its tooltip. No header text is cut off or drawn over another, nor is
    // one painted so while History opens and closes.
    void headerKeepsItsCounters_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("history");
        QTest::addColumn<bool>("beside");
        for (const auto &[window, size] : {std::pair{"1000×640", QSize(750, 620)}, std::pair{"1440×900", QSize(1190, 880)}}) {
            QTest::addRow("%s", window) << size << false << true;
            QTest::addRow("%s, History open", window) << size << true << (size.width() > 1000);
        }
    }

    void headerKeepsItsCounters()
    {
        QFETCH(QSize, size);
        QFETCH(bool, history);
        QFETCH(bool, beside);
        const QStringList names{"Lumen", "Quiet Notes: Journal & Planner",
                                "Tom & Jerry <b>Studio</b>: Photo Editor, Collage Maker, Filters, Stickers, "
                                "Frames, Retouch and Layouts for Cartoon Fans",
                                "MEGA WORKOUT: HIIT & GYM TIMER"};
        const QStringList makers{"Lumen Labs", "Quiet Software", "Tom & Jerry International Software Development and "
                                                                 "Digital Imaging Research Company Limited",
                                 "Mega Fitness"};
        QList<QRect> places;
        QList<int> heights;
        for (int i = 0; i < names.size(); ++i) {
            // The thirty characters' apps are competitors, whose badge is the wider.
            TrackedApp app(AppInfo{QString::number(i + 1), names[i]}, i == 0 || i == 2);
            app.trackedCountries = {"us"};
            app.developerName = makers[i];
            app.primaryGenre = "Photo & Video";
            m_store->db().insert(app);
            AppDetailView view(m_store.get(), app.appleAppId);
            view.resize(size);
            view.show();
            QVERIFY(QTest::qWaitForWindowExposed(&view));
            view.setShowInspector(history);
            auto *header = view.findChild<QWidget *>("detailHeader");
            // Laid out beside the panel once it shows.
            const auto *panel = view.findChild<QWidget *>("historyPanel");
            QTRY_COMPARE(panel->isVisible(), history);
            QTRY_VERIFY(!history || header->mapTo(&view, QPoint(header->width(), 0)).x() <= panel->x());
            const auto area = [header](QWidget *widget) { return QRect(widget->mapTo(header, QPoint()), widget->size()); };
            QRect counters;
            for (auto *label : header->findChildren<QLabel *>()) {
                if (label->objectName().startsWith("counter") || QStringList{"Tracked", "Ranking", "Top 10"}.contains(label->text()))
                    counters |= area(label);
            }
            places.append(counters);
            heights.append(header->height());
            QRect facts;
            for (const QString line : {"appName", "appBadge", "appFacts", "appId"})
                facts |= area(header->findChild<QLabel *>(line));
            QVERIFY(facts.right() <= header->width() - 17 && counters.bottom() <= header->height() - 17);
            if (beside)
                QVERIFY(counters.right() == header->width() - 17 && facts.right() < counters.left()
                        && counters.top() < area(header->findChild<QLabel *>("appName")).center().y());
            else
                QVERIFY(counters.top() > facts.bottom());
            for (const QString line : {"appName", "appFacts"}) {
                auto *label = header->findChild<QLabel *>(line);
                const auto drawn = renderedTexts(label);
                const bool cut = drawn != QStringList{label->text()};
                QVERIFY2(!cut || (drawn.size() == 1 && drawn[0].endsWith(u'…') && label->text().startsWith(drawn[0].chopped(1))),
                         qPrintable(drawn.join(" | ")));
                QCOMPARE(tooltipShows(label->toolTip()), cut ? label->text() : QString());
                QVERIFY2(line == "appName" ? cut == (i == 2) : !cut || i == 2, qPrintable(drawn.join(" | ")));
            }
            const auto faults = textFaults(header);
            QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u'\n')));
            if (i != 2)
                continue;
            FrameFaults frames(header);
            for (int toggle = 0; toggle < 4; ++toggle) {
                view.findChild<QAction *>("historyAction")->trigger();
                QTRY_VERIFY(frames.painted > 0);
                frames.painted = 0;
                QCoreApplication::processEvents(); // the frames that follow, as layouts settle
            }
            QVERIFY2(frames.faults.isEmpty(), qPrintable(frames.faults.mid(0, 10).join(u'\n')));
        }
        for (int i = 1; i < names.size(); ++i) {
            QCOMPARE(places[i], places[0]);
            QCOMPARE(heights[i], heights[0]);
        }
    }

    // At every header width, a name reads whole wherever the counters under it leave it the room,
    // the counters moving under a name that would be cut beside them; a name no wider than the
    // room kept for thirty characters has the arrangement of a short one at every width.
    void headerArrangesForTheName()
    {
        QList<std::pair<QString, bool>> arrangements; // per width, of the short name
        for (const QString name : {"Lumen", "Quiet Notes: Journal & Planner", "MEGA WORKOUT: HIIT & GYM TIMER"}) {
            TrackedApp app(AppInfo{name.left(4), name}, false);
            m_store->db().insert(app);
            AppDetailView view(m_store.get(), app.appleAppId);
            view.resize(1200, 700);
            view.show();
            QVERIFY(QTest::qWaitForWindowExposed(&view));
            auto *header = view.findChild<QWidget *>("detailHeader");
            auto *layout = dynamic_cast<AppHeaderLayout *>(header->layout());
            auto *label = header->findChild<QLabel *>("appName");
            for (int width = 420, step = 0; width <= 1100; width += 2, ++step) {
                header->resize(width, layout->heightForWidth(width));
                const bool whole = renderedTexts(label) == QStringList{name};
                QVERIFY2(whole || width < layout->nameWholeFrom(), qPrintable(QString::number(width)));
                const std::pair arrangement{QString::number(width), layout->countersBeside(width)};
                if (name == "Lumen")
                    arrangements.append(arrangement);
                else if (name.startsWith("Quiet"))
                    QCOMPARE(arrangement, arrangements[step]);
            }
        }
    }

    // Wherever the header is wide enough for the counters beside the facts, the app's ID is drawn
    // clear of its name, with the maker's line between them or without one.
    void idClearOfTheName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("maker");
        for (const QString name : {"Lumen", "Quiet Notes: Journal & Planner",
                                   "Lumen Photo Editor: Collage Maker, Filters, Retouch and Layout Studio"}) {
            QTest::addRow("%s…, no maker", qPrintable(name.left(11))) << name << QString();
            QTest::addRow("%s…, a maker", qPrintable(name.left(11))) << name << "Lumen Labs International Limited";
        }
    }

    void idClearOfTheName()
    {
        QFETCH(QString, name);
        QFETCH(QString, maker);
        TrackedApp app(AppInfo{"1001", name}, true);
        if (!maker.isEmpty())
            app.developerName = maker;
        m_store->db().insert(app);
        AppDetailView view(m_store.get(), app.appleAppId);
        view.resize(1400, 700);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        auto *header = view.findChild<QWidget *>("detailHeader");
        auto *layout = dynamic_cast<AppHeaderLayout *>(header->layout());
        const auto drawn = [header](const char *line) {
            auto *label = header->findChild<QLabel *>(line);
            QRectF box;
            for (const auto &run : renderedItems(label))
                box |= run.shown.translated(label->pos());
            return box;
        };
        int wide = 0;
        for (int width = 420; width <= 1400; width += 3) {
            if (!layout->countersBeside(width))
                continue;
            ++wide;
            header->resize(width, layout->heightForWidth(width));
            const auto named = drawn("appName"), id = drawn("appId");
            QVERIFY2(!named.isEmpty() && !id.isEmpty() && !named.intersects(id),
                     qPrintable(QStringLiteral("at %1: name %2,%3 to %4, ID %5,%6")
                                    .arg(width)
                                    .arg(named.left()).arg(named.top()).arg(named.bottom())
                                    .arg(id.left()).arg(id.top())));
        }
        QVERIFY(wide > 100);
    }

    // The section and status pickers stand in one row where it holds both, else one under the
    // other; either way their row is as tall as they are, and the keyword table follows them at
    // the same distance.
    void pickersLeaveNoGap()
    {
        track({"us"});
        AppDetailView view(m_store.get(), "1");
        view.resize(900, 640);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        auto *row = view.findChild<QWidget *>("pickerRow");
        auto *layout = dynamic_cast<WrappingRowLayout *>(row->layout());
        const auto *table = view.findChild<KeywordTable *>();
        QHash<bool, int> gaps; // by whether the pickers stand in one row
        // From the widest, so that the row's gap is known first.
        for (int width = 900; width >= 420; width -= 4) {
            view.resize(width, 640);
            int bottom = 0;
            for (auto *part : row->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
                if (part->isVisible())
                    bottom = std::max(bottom, part->mapTo(&view, QPoint(0, part->height())).y());
            }
            const int gap = table->mapTo(&view, QPoint()).y() - bottom;
            const bool oneRow = layout->inOneRow(row->width());
            gaps.insert(oneRow, gaps.value(oneRow, gap));
            QVERIFY2(gap == gaps.value(true, gap)
                         && row->mapTo(&view, QPoint(0, row->height())).y() - bottom == layout->contentsMargins().bottom(),
                     qPrintable(QStringLiteral("%1 px under the pickers at %2, %3 in one row").arg(gap).arg(width).arg(gaps.value(true))));
        }
        QCOMPARE(gaps.size(), 2);
    }

    // While discovery runs, the banner's six counters are laid out side by side, each shown
    // whole and painted once, at the window's narrowest detail column.
    void bannerCountersAreLaidOut()
    {
        const auto app = track({"us"});
        m_store->addKeywords({"photo editor"}, app);
        AppDetailView view(m_store.get(), "1");
        view.resize(1000 - 320, 640);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const auto run = m_store->startDiscovery(app, "us");
        QTRY_VERIFY(m_client->waiting >= 1);
        auto *banner = view.findChild<DiscoveryBanner *>();
        QVERIFY(banner->isVisible());
        // Its layout settles once it is shown.
        const auto laidOut = [banner] {
            const auto labels = banner->findChildren<QLabel *>();
            return std::all_of(labels.begin(), labels.end(), [](const QLabel *label) {
                return !label->objectName().endsWith(u"Value") || (label->width() >= label->sizeHint().width() && label->height() > 0);
            });
        };
        QTRY_VERIFY(laidOut());

        const QStringList titles{"Candidates", "Searched", "Found", "Not in sample", "Failed", "Related apps"};
        QList<QRect> boxes;
        for (const QString name : {"Candidates", "Searched", "Found", "NotInSample", "Failed", "RelatedApps"}) {
            auto *value = banner->findChild<QLabel *>("discovery" + name + "Value");
            QVERIFY(value);
            boxes.append(QRect(value->mapTo(banner, QPoint()), value->size()));
        }
        for (auto *label : banner->findChildren<QLabel *>()) {
            if (titles.contains(label->text()))
                boxes.append(QRect(label->mapTo(banner, QPoint()), label->size()));
        }
        QCOMPARE(boxes.size(), 12);
        const auto labels = banner->findChildren<QLabel *>();
        for (auto *label : labels) {
            if (!titles.contains(label->text()) && !label->objectName().endsWith(u"Value"))
                continue;
            QVERIFY2(label->isVisible() && label->width() >= label->sizeHint().width() && label->height() > 0,
                     qPrintable(label->text()));
        }
        for (qsizetype i = 0; i < boxes.size(); ++i) {
            QVERIFY(banner->rect().contains(boxes[i]));
            for (qsizetype j = i + 1; j < boxes.size(); ++j)
                QVERIFY2(!boxes[i].intersects(boxes[j]), qPrintable(QStringLiteral("%1 and %2").arg(i).arg(j)));
        }
        const auto painted = renderedTexts(banner);
        for (const auto &title : titles)
            QCOMPARE(painted.count(title), 1);
        QCOMPARE(painted.count(QString::number(run->searched()) + u'/' + QString::number(run->queued())), 1);

        m_client->open();
        QTRY_VERIFY(!run->isRunning());
    }
    // The refresh of the storefront shown before answers late: its failure does not become the
    // problem shown for the storefront picked since, nor does a closed screen's.
    void popularityOfFormerStorefrontIgnored()
    {
        auto popularity = std::make_shared<HeldPopularity>();
        popularity->failing = {"us"};
        m_store = std::make_unique<ASOStore>(StoreDb::openInMemory(), m_client, popularity);
        const auto app = track({"us", "gb"});
        m_store->addKeywords({"alpha"}, app);
        {
            AppDetailView view(m_store.get(), "1");
            view.show();
            QVERIFY(QTest::qWaitForWindowExposed(&view));
            QTRY_VERIFY(popularity->held.contains("us"));
            view.setCountry("gb");
            QTRY_VERIFY(popularity->held.contains("gb"));
            popularity->release("gb");
            QTRY_VERIFY(!m_store->popularityError());
            popularity->release("us");
            QCoreApplication::processEvents();
            QVERIFY(!m_store->popularityError());
            popularity->held.clear();
            view.setCountry("us");
            QTRY_VERIFY(popularity->held.contains("us"));
        }
        popularity->release("us");
        QCoreApplication::processEvents();
        QVERIFY(!m_store->popularityError());
    }

    // The history panel shows the keyword whose row is drawn selected, whether the row was
    // chosen before or after the panel opened, by mouse or keyboard, and across a sort or a
    // new data version.
    void historyFollowsTheDrawnSelection_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::newRow("select, then open") << "click:3 open";
        QTest::newRow("open, then select") << "open click:3";
        QTest::newRow("keyboard") << "click:2 down down";
        QTest::newRow("sort after selecting") << "click:4 sort";
        QTest::newRow("select after a sort") << "sort click:4 open";
        QTest::newRow("new rows after selecting") << "click:2 add";
        QTest::newRow("select after new rows") << "add click:5 open";
        QTest::newRow("select after a raise") << "raise click:1 open";
        QTest::newRow("filtered after selecting") << "click:3 filter";
    }

    void historyFollowsTheDrawnSelection()
    {
        QFETCH(QString, steps);
        const auto app = track({"us"});
        QStringList keywords;
        for (int i = 0; i < 300; ++i)
            keywords.append(QStringLiteral("keyword %1").arg(i, 3, 10, QChar(u'0')));
        m_store->addKeywords(keywords, app);
        AppDetailView view(m_store.get(), "1");
        view.resize(1000, 640);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        auto *table = view.findChild<KeywordTable *>();
        auto *panel = view.findChild<HistoryPanel *>("historyPanel");
        auto *history = view.findChild<QAction *>("historyAction");
        const auto open = [&] {
            if (panel->isVisible())
                history->trigger();
            history->trigger();
        };
        for (const auto &step : steps.split(u' ')) {
            if (step.startsWith("click:")) {
                const auto index = table->model()->index(step.section(u':', 1).toInt(), 1);
                QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(index).center());
            } else if (step == "down") {
                QTest::keyClick(table, Qt::Key_Down);
            } else if (step == "open") {
                open();
            } else if (step == "sort") {
                auto *header = table->horizontalHeader();
                QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                                  QPoint(header->sectionViewportPosition(0) + 20, header->height() / 2));
                QCOMPARE(table->sortColumn(), 0);
            } else if (step == "add") {
                m_store->addKeywords({"keyword 000a", "aaa"}, app);
            } else if (step == "filter") {
                auto *search = view.findChild<QLineEdit *>("keywordSearch");
                QTest::keyClicks(search, "0");
                search->clear();
            } else if (step == "raise") {
                m_store->raiseDataVersion();
            }
        }
        const auto drawn = table->selectionModel()->selectedRows();
        QCOMPARE(drawn.size(), 1);
        const auto id = drawn.first().data(KeywordTableModel::IdRole).toString();
        QVERIFY(panel->isVisible());
        QCOMPARE(panel->keyword().value_or("none"), id);
        QVERIFY(!panel->findChild<QWidget *>("historyNoSelection")->isVisible());
        QCOMPARE(panel->findChild<QLabel *>("historyTitle")->text(), u'\u201C' + id + u'\u201D');
    }
};

QTEST_MAIN(TestAppDetail)
#include "tst_appdetail.moc"
