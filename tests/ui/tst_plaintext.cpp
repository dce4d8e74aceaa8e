#include "model/StoreDb.h"
#include "support/TaskRunner.h"
#include "store/ASOStore.h"
#include "tracking/RankTracker.h"
#include "tracking/SilentNotifier.h"
#include "tracking/Updater.h"
#include "ui/alerts/AlertsView.h"
#include "ui/cells/ElidingControls.h"
#include "ui/cells/EmptyStateView.h"
#include "ui/cells/PlainText.h"
#include "ui/competitors/ComparisonTable.h"
#include "ui/competitors/CompetitorHeader.h"
#include "ui/competitors/CompetitorKeywordModel.h"
#include "ui/competitors/CompetitorKeywordTable.h"
#include "ui/competitors/CompetitorsView.h"
#include "ui/competitors/KeywordGapView.h"
#include "ui/competitors/SuggestedCompetitorsTable.h"
#include "ui/keywords/AppDetailView.h"
#include "ui/metadata/MetadataEditor.h"
#include "ui/metadata/MetadataFieldsPane.h"
#include "ui/metadata/MetadataView.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/SidebarModel.h"

#include "GatedSearchClient.h"
#include "RenderedTexts.h"
#include "TestSettings.h"
#include "UiFixture.h"

#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QToolTip>
#include <QTreeView>
#include <QtTest>

namespace {

// What a text shows where Qt guesses its format.
QString shownGuessed(const QString &text)
{
    if (!Qt::mightBeRichText(text))
        return text;
    QTextDocument document;
    document.setHtml(text);
    return document.toRawText().replace(QChar::ParagraphSeparator, u'\n');
}

QString shownTooltip(const QString &tooltip)
{
    return shownGuessed(tooltip);
}

// What a label shows, by its text format.
QString shownLabel(const QLabel *label)
{
    return label->textFormat() == Qt::PlainText ? label->text() : shownGuessed(label->text());
}

// What a button or menu item titled `text` shows: "&&" is one "&", a lone "&" marks a shortcut.
QString shownAction(const QString &text)
{
    QString shown;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size())
            ++i;
        else if (text[i] == u'&')
            continue;
        shown.append(text[i]);
    }
    return shown;
}

// The shown texts of every label under `root`.
QStringList labelsOf(const QWidget *root)
{
    QStringList shown;
    for (const auto *label : root->findChildren<QLabel *>())
        shown.append(shownLabel(label));
    return shown;
}

// The tooltip a view shows over the cell, through its real help path.
QString tooltipOver(QAbstractItemView *view, const QModelIndex &index)
{
    QToolTip::hideText();
    const auto at = view->visualRect(index).center();
    QHelpEvent event(QEvent::ToolTip, at, view->viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(view->viewport(), &event);
    return QToolTip::text();
}

// The longest line of a text, in the label's font.
int longestLine(const QLabel *label)
{
    int widest = 0;
    for (const auto &line : label->text().split(u'\n'))
        widest = std::max(widest, label->fontMetrics().horizontalAdvance(line));
    return widest;
}

// An updater that is always ready and never checks by itself.
class StillUpdater : public Updater
{
public:
    bool canCheckForUpdates() const override { return true; }
    void checkForUpdates() override {}
};

}

// Names from outside read exactly as written on every screen that shows them: never as markup,
// never with "&" turned into a shortcut key.
class TestPlainText : public QObject
{
    Q_OBJECT

    TestSettings m_settings;
    std::shared_ptr<GatedSearchClient> m_client;
    std::unique_ptr<ASOStore> m_store;
    SilentNotifier m_notifier;
    std::unique_ptr<RankTracker> m_tracker;

    // The own app "1" and the competitor "c" named after `name`, sharing a searched keyword.
    void seed(const QString &name)
    {
        TrackedApp app(AppInfo{"1", name}, true);
        app.developerName = "Maker " + name;
        app.trackedCountries = {"us"};
        m_store->db().insert(app);
        TrackedApp rival(AppInfo{"c", "Rival " + name}, false);
        rival.developerName = "Maker " + name;
        rival.trackedCountries = {"us"};
        m_store->db().insert(rival);
        m_store->addKeywords({"alpha"}, *m_store->app("1"));
        m_client->answer = [](auto) { return FakeSearchClient::results({"c", "1"}); };
        TaskRunner::run(m_store->observation(*m_store->keyword("alpha"), "us", true));
        m_store->addKeywords({"zeta"}, *m_store->app("c"));
        TaskRunner::run(m_store->addCompetitorKeywords({"zeta"}, *m_store->app("c"), *m_store->app("1"), "us"));
        m_store->raiseDataVersion();
    }

private Q_SLOTS:
    void init()
    {
        TestSettings::reset();
        TestSettings::set(SettingsKey::popularityServer, "");
        m_client = std::make_shared<GatedSearchClient>();
        m_client->open();
        m_store = std::make_unique<ASOStore>(StoreDb::openInMemory(), m_client);
        m_tracker = std::make_unique<RankTracker>(m_store.get(), &m_notifier);
    }

    void cleanup()
    {
        QToolTip::hideText();
        m_tracker.reset();
        m_store.reset();
    }

    void names_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("tag") << "HTML <Code> Editor";
        QTest::newRow("bold ampersand") << "Tags <b>&</b> Co";
        QTest::newRow("ampersand") << "Tom & Jerry";
        QTest::newRow("entity") << "A &lt; B && C";
    }

    void names()
    {
        QFETCH(QString, name);
        seed(name);
        const auto rival = "Rival " + name;

        // Main window: the sidebar's tooltip, the detail header, the remove question.
        MainWindow window(m_store.get(), m_tracker.get(), nullptr);
        window.resize(1200, 800);
        window.show();
        auto *sidebar = window.findChild<QTreeView *>("sidebar");
        QCOMPARE(shownTooltip(tooltipOver(sidebar, window.sidebarModel()->indexOf("1"))), name);
        window.setSelection(QString("1"));
        auto *detail = qobject_cast<AppDetailView *>(window.detail());
        QVERIFY(detail);
        QCOMPARE(shownLabel(childOf<QLabel>(detail, "appName")), name);
        QVERIFY2(shownLabel(childOf<QLabel>(detail, "appFacts")).contains("Maker " + name),
                 qPrintable(shownLabel(childOf<QLabel>(detail, "appFacts"))));
        // The keyword's provenance names the competitor it came from.
        auto *keywords = childOf<QTableView>(detail, "keywordTable");
        const auto added = keywords->model()->match(keywords->model()->index(0, 0), Qt::DisplayRole, "zeta").value(0);
        QVERIFY(added.isValid());
        QVERIFY2(shownTooltip(tooltipOver(keywords, added)).contains("Added from competitor " + rival),
                 qPrintable(tooltipOver(keywords, added)));
        auto *remove = window.confirmRemove("1");
        QCOMPARE(shownLabel(childOf<QLabel>(remove, "qt_msgbox_label")), "Remove “" + name + "”?");
        remove->reject();

        // Competitors: header, "Their rank" tooltip, picker.
        CompetitorsView view(m_store.get(), "1", "us");
        view.resize(900, 600);
        view.show();
        view.setTab(CompetitorTab::compare);
        auto *comparison = qobject_cast<ComparisonTable *>(view.contentWidget());
        QVERIFY(comparison);
        QCOMPARE(shownLabel(childOf<QLabel>(comparison->header(), "competitorName")), rival);
        QCOMPARE(shownLabel(childOf<QLabel>(comparison->header(), "competitorCaption")), "Maker " + name);
        auto *table = comparison->findChild<QTableView *>();
        QCOMPARE(shownTooltip(tooltipOver(table, table->model()->index(0, CompetitorKeywordModel::theirRank))), rival);
        auto *picker = childOf<QComboBox>(&view, "competitorPicker");
        QCOMPARE(picker->currentText(), rival);
        QCOMPARE(shownTooltip(picker->itemData(0, Qt::ToolTipRole).toString()), rival);

        // Keyword gap: pane titles and descriptions, both empty states, the discover button.
        view.setTab(CompetitorTab::gap);
        auto *gap = qobject_cast<KeywordGapView *>(view.contentWidget());
        QVERIFY(gap);
        const auto gapLabels = labelsOf(gap);
        QVERIFY(gapLabels.contains("Keywords tracked for " + rival + " that this app does not track."));
        QVERIFY(gapLabels.contains("This app already tracks every keyword tracked for " + rival + "."));
        QVERIFY(gapLabels.contains(rival + " does not clearly outrank this app on any keyword it tracks."));
        auto *discover = childOf<QPushButton>(gap, "discoverCompetitorKeywords");
        const auto discoverText = discover->toolTip().isEmpty() ? shownAction(discover->text()) : shownTooltip(discover->toolTip());
        QCOMPARE(discoverText, "Discover Keywords for " + rival);
        QVERIFY2(QKeySequence::mnemonic(discover->text()).isEmpty(), qPrintable(discover->text()));

        // Metadata: the reset question names the app.
        MetadataView metadata(m_store.get(), "1", "us");
        auto *reset = metadata.fieldsPane()->confirmReset();
        const auto *message = childOf<QLabel>(reset, "qt_msgbox_informativelabel");
        QCOMPARE(shownLabel(message), "The name goes back to “" + name
                                          + "” and the subtitle and keyword field are cleared. Targets are kept.");
        reset->reject();

        // Alerts: the row and the app picker.
        RankAlert alert;
        alert.id = QUuid::createUuid();
        alert.appleAppId = "1";
        alert.appName = name;
        alert.keywordDisplay = "alpha";
        alert.country = "us";
        alert.kindRaw = "MOVED_UP";
        alert.createdAt = QDateTime::currentDateTimeUtc();
        m_store->db().insert(alert);
        m_store->raiseDataVersion();
        AlertsView alerts(m_store.get(), m_tracker.get());
        alerts.resize(900, 500);
        alerts.show();
        QVERIFY(renderedTexts(&alerts).contains(name + " · Moved up"));
        QVERIFY(childOf<QComboBox>(&alerts, "appFilter")->findText(name) >= 0);
    }

    // A long competitor name is cut with "…" in the picker and, in a view too narrow for it, on
    // the discover button, never at both ends or mid-letter, and reads whole in their tooltips.
    void longCompetitorName_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("buttonCut");
        QTest::newRow("narrow") << 560 << true;
        QTest::newRow("wide") << 900 << false;
    }

    void longCompetitorName()
    {
        QFETCH(int, width);
        QFETCH(bool, buttonCut);
        seed("Brightframe Studio – Photo Collage, Frames & Portrait Retouch Editor");
        const auto rival = "Rival Brightframe Studio – Photo Collage, Frames & Portrait Retouch Editor";
        CompetitorsView view(m_store.get(), "1", "us");
        view.resize(width, 600);
        view.show();
        view.setTab(CompetitorTab::gap);
        auto *picker = qobject_cast<ElidingComboBox *>(childOf<QComboBox>(&view, "competitorPicker"));
        QVERIFY(picker);
        QVERIFY(picker->width() <= 260);
        QVERIFY(picker->shownText().endsWith(u'…'));
        QCOMPARE(renderedTexts(picker), QStringList{picker->shownText()});
        QCOMPARE(shownTooltip(picker->toolTip()), rival);

        auto *gap = qobject_cast<KeywordGapView *>(view.contentWidget());
        QVERIFY(gap);
        auto *discover = childOf<QPushButton>(gap, "discoverCompetitorKeywords");
        QVERIFY(discover->isVisible());
        QVERIFY(discover->geometry().right() < gap->untrackedState()->width());
        const auto shown = shownAction(discover->text());
        QVERIFY(discover->fontMetrics().horizontalAdvance(shown) < discover->width());
        if (!buttonCut) {
            QCOMPARE(shown, "Discover Keywords for " + QString(rival));
            QCOMPARE(discover->toolTip(), QString());
            return;
        }
        QVERIFY2(shown.startsWith("Discover Keywords for Rival") && shown.endsWith(u'…'), qPrintable(shown));
        QCOMPARE(shownTooltip(discover->toolTip()), "Discover Keywords for " + QString(rival));
    }

    void tooltips_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("unchanged");
        QTest::newRow("plain") << "Tom & Jerry" << true;
        QTest::newRow("empty") << "" << true;
        QTest::newRow("tag") << "HTML <Code> Editor" << false;
        QTest::newRow("leading tag") << "<b>Bold</b>" << false;
        QTest::newRow("entity") << "A &lt; B" << false;
        QTest::newRow("lines and spaces") << "<i>a</i>  b\nc   d" << false;
    }

    // Markup is escaped so that the tooltip shows it; other text is left as it is.
    void tooltips()
    {
        QFETCH(QString, text);
        QFETCH(bool, unchanged);
        const auto tooltip = PlainText::tooltip(text);
        QCOMPARE(tooltip == text, unchanged);
        QCOMPARE(shownTooltip(tooltip), text);
    }

    void shownTooltips_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("oneLine");
        QTest::newRow("short markup") << R"(<a href="https://evil.example">Link</a>)" << true;
        QTest::newRow("long markup") << R"(<b>Brightframe</b> Studio: photo collage, frames and portrait retouch )"
                                        R"(editor with <a href="https://evil.example/filters">filters</a>, stickers )"
                                        R"(and <i>more</i> for everyone who keeps pictures)" << false;
        QTest::newRow("ampersand in markup") << "Tags <b>&</b> Co" << true;
        QTest::newRow("plain") << "Tom & Jerry" << true;
    }

    // The tooltip as it shows: on one line where the text fits, else on lines that end only where
    // the text has a space, and the text as written either way.
    void shownTooltips()
    {
        QFETCH(QString, text);
        QFETCH(bool, oneLine);
        QWidget anchor;
        anchor.show();
        QToolTip::showText(anchor.mapToGlobal(QPoint(10, 10)), PlainText::tooltip(text), &anchor);
        QLabel *label = nullptr;
        for (auto *widget : QApplication::topLevelWidgets()) {
            if (widget->objectName() == "qtooltip_label" && widget->isVisible())
                label = qobject_cast<QLabel *>(widget);
        }
        QVERIFY(label);
        const int textHeight = label->contentsRect().height() - 2 * label->margin();
        QCOMPARE(textHeight < 2 * label->fontMetrics().lineSpacing(), oneLine);

        // The label's text laid out as the label lays it out.
        QTextDocument document;
        document.setDefaultFont(label->font());
        document.setDocumentMargin(0);
        if (Qt::mightBeRichText(label->text()))
            document.setHtml(label->text());
        else
            document.setPlainText(label->text());
        document.setTextWidth(label->contentsRect().width() - 2 * label->margin());
        QVERIFY(document.idealWidth() <= document.textWidth());
        for (auto block = document.begin(); block.isValid(); block = block.next()) {
            for (int i = 1; i < block.layout()->lineCount(); ++i) {
                const int start = block.layout()->lineAt(i).textStart();
                QVERIFY2(block.text().at(start - 1) == u' ', qPrintable(block.text().left(start)));
            }
        }
        // A line ended at a space shows that space as the line's end.
        auto shown = document.toPlainText();
        QCOMPARE(shown.size(), text.size());
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (shown[i] == u'\n' && text[i] == u' ')
                shown[i] = u' ';
        }
        QCOMPARE(shown, text);
    }

    void actionTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("one") << "Tom & Jerry";
        QTest::newRow("two in a row") << "A && B";
        QTest::newRow("at the end") << "R&";
        QTest::newRow("none") << "Plain";
    }

    void actionTexts()
    {
        QFETCH(QString, text);
        const auto action = PlainText::actionText(text);
        QCOMPARE(shownAction(action), text);
        QVERIFY(QKeySequence::mnemonic(action).isEmpty());
    }

    void elidingButton_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("cut");
        QTest::newRow("fits") << "Discover Keywords for Tom & Jerry" << 0 << false;
        QTest::newRow("long") << "Discover Keywords for " + QString("Tom & Jerry ").repeated(8) << 240 << true;
    }

    // A long text is cut at its end with "…", its whole text in the tooltip; "&" stays text.
    void elidingButton()
    {
        QFETCH(QString, text);
        QFETCH(int, width);
        QFETCH(bool, cut);
        ElidingButton button;
        button.setFullText(text);
        button.resize(width ? width : button.sizeHint().width(), button.sizeHint().height());
        button.show();
        const auto shown = shownAction(button.text());
        QVERIFY(QKeySequence::mnemonic(button.text()).isEmpty());
        QCOMPARE(shown.endsWith(u'…'), cut);
        QVERIFY(text.startsWith(shown.chopped(cut ? 1 : 0)));
        QCOMPARE(shownTooltip(button.toolTip()), cut ? text : QString());
        // The text as drawn fits the button.
        QStyleOptionButton option;
        option.initFrom(&button);
        const int margins = button.style()->sizeFromContents(QStyle::CT_PushButton, &option, QSize(0, 0), &button).width();
        QVERIFY(button.fontMetrics().horizontalAdvance(shown) <= button.width() - margins);
        QVERIFY(button.minimumSizeHint().width() < 120);
    }

    void messageBoxes_data()
    {
        QTest::addColumn<QString>("box");
        for (const auto *box : {"remove", "about", "update", "damage", "clear", "trackFailed", "reset"})
            QTest::newRow(box) << box;
    }

    // Every message box of the application shows its texts as text, its title and each line whole.
    void messageBoxes()
    {
        QFETCH(QString, box);
        const QString name = "Tags <b>&</b> Co";
        seed(name);
        StillUpdater updater;
        MainWindow window(m_store.get(), m_tracker.get(), &updater);
        window.show();
        std::unique_ptr<QWidget> screen;
        QMessageBox *shown = nullptr;
        if (box == "remove") {
            shown = window.confirmRemove("1");
        } else if (box == "about") {
            childOf<QMenu>(&window, "applicationMenu")->actions().first()->trigger();
            shown = window.findChild<QMessageBox *>("aboutBox");
        } else if (box == "update") {
            Q_EMIT updater.checkFinished({UpdateCheckOutcome::Kind::failed, {}, {}, "The feed at <b>x</b> & y was unreadable"});
            shown = window.findChild<QMessageBox *>("updateOutcome");
        } else if (box == "damage") {
            Q_EMIT m_store->databaseDamaged(QString("The local database is damaged.\nChanges are not saved."));
            shown = window.findChild<QMessageBox *>("databaseDamage");
        } else if (box == "clear") {
            RankAlert alert;
            alert.id = QUuid::createUuid();
            alert.appleAppId = "1";
            alert.appName = name;
            alert.country = "us";
            alert.createdAt = QDateTime::currentDateTimeUtc();
            m_store->db().insert(alert);
            auto alerts = std::make_unique<AlertsView>(m_store.get(), m_tracker.get());
            shown = alerts->confirmClear();
            screen = std::move(alerts);
        } else if (box == "trackFailed") {
            m_client->answer = [](auto) { return FakeSearchClient::results({"1", "70000"}); };
            TaskRunner::run(m_store->observation(*m_store->keyword("alpha"), "us", true));
            m_client->lookupScript.insert("us", "fail");
            auto view = std::make_unique<CompetitorsView>(m_store.get(), "1", "us");
            view->show();
            auto *suggested = qobject_cast<SuggestedCompetitorsTable *>(view->contentWidget());
            QVERIFY(suggested);
            suggested->track("70000");
            QTRY_VERIFY(suggested->findChild<QMessageBox *>("trackFailedAlert"));
            shown = suggested->findChild<QMessageBox *>("trackFailedAlert");
            screen = std::move(view);
        } else {
            auto view = std::make_unique<MetadataView>(m_store.get(), "1", "us");
            shown = view->fieldsPane()->confirmReset();
            screen = std::move(view);
        }
        QVERIFY(shown);
        QTRY_VERIFY(shown->isVisible());
        QVERIFY(shown->width() >= shown->fontMetrics().horizontalAdvance(shown->windowTitle()) + 100);
        for (const auto *label : shown->findChildren<QLabel *>()) {
            if (label->text().isEmpty() || label->objectName() == "qt_msgboxex_icon_label")
                continue;
            QCOMPARE(label->textFormat(), Qt::PlainText);
            QVERIFY2(label->width() >= longestLine(label), qPrintable(label->text()));
        }
        shown->reject();
    }

    // Return and Escape keep the draft; only the destructive button resets.
    void resetDefaultsToCancel_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("return") << int(Qt::Key_Return);
        QTest::newRow("escape") << int(Qt::Key_Escape);
    }

    void resetDefaultsToCancel()
    {
        QFETCH(int, key);
        seed("Lumen");
        MetadataView view(m_store.get(), "1", "us");
        view.editor()->setTitle("Something else");
        auto *box = view.fieldsPane()->confirmReset();
        QCOMPARE(box->defaultButton(), box->button(QMessageBox::Cancel));
        QCOMPARE(box->escapeButton(), box->button(QMessageBox::Cancel));
        QSignalSpy finished(box, &QDialog::finished);
        QTest::keyClick(box, Qt::Key(key));
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(view.editor()->draft().title, "Something else");
    }
};

QTEST_MAIN(TestPlainText)
#include "tst_plaintext.moc"
