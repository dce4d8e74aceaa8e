#include "model/StoreDb.h"
#include "store/ASOStore.h"
#include "tracking/RankTracker.h"
#include "tracking/SilentNotifier.h"
#include "ui/alerts/AlertsView.h"
#include "ui/competitors/KeywordGapView.h"
#include "ui/competitors/SuggestedCompetitorsModel.h"
#include "ui/competitors/SuggestedCompetitorsTable.h"
#include "ui/keywords/AddKeywordsDialog.h"
#include "ui/keywords/AppDetailView.h"
#include "ui/keywords/KeywordTable.h"
#include "ui/research/ResearchView.h"
#include "ui/settings/TrackingSettings.h"
#include "ui/shell/AddAppDialog.h"
#include "ui/shell/MainWindow.h"

#include "DamagedDatabase.h"
#include "FakeSearchClient.h"
#include "RenderedTexts.h"
#include "TestSettings.h"
#include "UiFixture.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QTableView>
#include <QToolButton>
#include <QToolTip>
#include <QUuid>
#include <QtTest>

// Keeps the last push button that the style was asked to paint, as it was asked.
class ButtonPaints : public QProxyStyle
{
public:
    mutable std::optional<QStyleOptionButton> last;

    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override
    {
        if (const auto *button = qstyleoption_cast<const QStyleOptionButton *>(option); element == CE_PushButton && button)
            last = *button;
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

// Every action that writes to the database, while the database refuses writes after an unclean
// end (until its check passes) or for good (damaged): none may be taken, each says why, and
// none looks saved.
class TestHeldWrites : public QObject
{
    Q_OBJECT

    TestSettings m_settings;
    QTemporaryDir m_dir;
    std::shared_ptr<FakeSearchClient> m_client;
    std::unique_ptr<ASOStore> m_store;
    SilentNotifier m_notifier;
    std::unique_ptr<RankTracker> m_tracker;

    // An account left by a run that ended uncleanly: app 42 ("App") with two keywords and an
    // unread alert, and a competitor 43; the keyword table's root page damaged or not.
    void openAfterUncleanEnd(bool damaged)
    {
        const auto path = m_dir.filePath(QUuid::createUuid().toString(QUuid::WithoutBraces) + ".sqlite");
        DamagedDatabase::writeFilled(path);
        {
            ASOStore store(StoreDb::openFile(path), m_client);
            auto app = *store.app("42");
            app.trackedCountries = {"us"};
            store.db().update(app);
            store.addKeywords({"alpha", "beta"}, app);
            TrackedApp rival(AppInfo{"43", "Rival"}, false);
            store.db().insert(rival);
            RankAlert alert;
            alert.id = QUuid::createUuid();
            alert.appleAppId = "42";
            alert.appName = "App";
            alert.keywordNormalized = alert.keywordDisplay = "alpha";
            alert.country = "us";
            alert.kindRaw = "ENTERED_TOP_10";
            alert.createdAt = QDateTime::currentDateTimeUtc();
            store.db().insert(alert);
        }
        if (damaged)
            DamagedDatabase::damageKeywordTable(path);
        QFile marker(StoreDb::runningMarkerPath(path));
        QVERIFY(marker.open(QIODevice::WriteOnly));
        m_store = std::make_unique<ASOStore>(StoreDb::openFile(path), m_client, std::make_shared<NoPopularity>());
        m_tracker = std::make_unique<RankTracker>(m_store.get(), &m_notifier);
    }

    // Lets the check end: it passes, or finds the damage. The screens follow it; a test waits for
    // what it checks of them.
    void endCheck()
    {
        QTRY_VERIFY_WITH_TIMEOUT(!m_store->db().writesHeld(), 30000);
    }

private Q_SLOTS:
    void init()
    {
        TestSettings::reset();
        m_client = std::make_shared<FakeSearchClient>();
    }

    void cleanup()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_tracker.reset();
        m_store.reset();
    }

    // Each control that writes is disabled with a tooltip that says why, while the check runs
    // and after it found damage; once the check passed it is back with its own state.
    void controlsThatWrite_data()
    {
        QTest::addColumn<bool>("damaged");
        QTest::newRow("while checked, then released") << false;
        QTest::newRow("damaged") << true;
    }

    void controlsThatWrite()
    {
        QFETCH(bool, damaged);
        openAfterUncleanEnd(damaged);
        // Nothing here runs the event loop until the check may end: the check tells its end
        // through it.
        QVERIFY(m_store->writesHeld());

        MainWindow window(m_store.get(), m_tracker.get(), nullptr);
        auto *addApp = window.openAddApp();
        addApp->findChild<QLineEdit *>("addAppInput")->setText("284882215");
        const std::unique_ptr<QMenu> sidebarMenu(window.sidebarMenu("42"));
        AppDetailView detail(m_store.get(), "42");
        const std::unique_ptr<QMenu> keywordMenu(detail.findChild<KeywordTable *>()->contextMenu({"alpha"}));
        AddKeywordsDialog addKeywords(m_store.get(), "42", "us");
        addKeywords.findChild<QPlainTextEdit *>("addKeywordsText")->setPlainText("gamma");
        AlertsView alerts(m_store.get(), m_tracker.get());
        TrackingSettings tracking(m_tracker.get());
        KeywordGapView gap(m_store.get(), "42", "43", "us");
        const std::unique_ptr<QMenu> gapMenu(gap.contextMenu({"delta"}));
        ResearchView research(m_store.get(), nullptr, [] { return std::make_shared<NoTopTerms>(); });
        const std::unique_ptr<QMenu> researchMenu(research.contextMenu({"photo"}, nullptr));
        // "Track as Competitor" is drawn in its cell rather than being a widget of its own.
        SuggestedCompetitorsTable suggested(m_store.get(), "42", "us");
        KeywordGap::Suggestion suggestion;
        suggestion.appleAppId = suggestion.name = "44";
        suggestion.keywords = {"alpha"};
        suggested.tableModel()->setRows({suggestion});
        suggested.resize(800, 300);
        suggested.show();
        auto *cells = suggested.table();
        const auto button = cells->model()->index(0, SuggestedCompetitorsModel::track);
        const auto drawn = [cells, &button] { return cells->viewport()->grab(cells->visualRect(button)).toImage(); };
        const auto heldButton = drawn();

        const QList<std::pair<QString, QObject *>> controls{
            {"add app", window.findChild<QPushButton *>("addAppButton")},
            {"add app sheet", addApp->findChild<QPushButton *>("addAppSubmit")},
            {"mark as competitor", actionNamed(sidebarMenu.get(), "Mark as Competitor")},
            {"remove app", actionNamed(sidebarMenu.get(), "Remove")},
            {"add keywords", detail.findChild<QAction *>("addKeywordsAction")},
            {"discover", detail.findChild<QAction *>("discoverAction")},
            {"check now", actionNamed(keywordMenu.get(), "Check Now")},
            {"stop tracking", actionNamed(keywordMenu.get(), "Stop Tracking")},
            {"track and check", addKeywords.findChild<QPushButton *>("addKeywordsTrack")},
            {"check all now", alerts.findChild<QPushButton *>("checkNow")},
            {"mark all read", alerts.findChild<QPushButton *>("markAllRead")},
            {"clear alerts", alerts.findChild<QPushButton *>("clear")},
            {"tracking check now", tracking.findChild<QPushButton *>("checkNow")},
            {"add to my keywords", actionNamed(gapMenu.get(), "Add to My Keywords")},
            {"discover competitor", gap.findChild<QPushButton *>("discoverCompetitorKeywords")},
            {"track in", actionNamed(researchMenu.get(), "App")},
        };
        const auto reason = damaged ? "Changes cannot be saved: the local database is damaged."
                                    : "Changes cannot be saved until the local database has been checked.";
        for (const auto &[name, control] : controls) {
            QVERIFY2(control && !control->property("enabled").toBool(), qPrintable(name));
            QCOMPARE(control->property("toolTip").toString(), reason);
        }
        QVERIFY(!button.data(SuggestedCompetitorsModel::TrackableRole).toBool());
        QCOMPARE(button.data(Qt::ToolTipRole).toString(), reason);
        // A press does nothing, not even an alert.
        QTest::mouseClick(cells->viewport(), Qt::LeftButton, {}, cells->visualRect(button).center());
        QVERIFY(suggested.tracking().isEmpty());
        QVERIFY(!suggested.error());
        QVERIFY(m_client->lookups.isEmpty());

        endCheck();
        for (const auto &[name, control] : controls) {
            QTRY_VERIFY2(control->property("enabled").toBool() != damaged, qPrintable(name));
            QTRY_VERIFY2((control->property("toolTip").toString() == reason) == damaged, qPrintable(name));
        }
        QTRY_COMPARE(button.data(SuggestedCompetitorsModel::TrackableRole).toBool(), !damaged);
        QCOMPARE(button.data(Qt::ToolTipRole).toString(), damaged ? reason : "");
        QCOMPARE(drawn() == heldButton, damaged);
        if (!damaged)
            QCOMPARE(detail.findChild<QAction *>("discoverAction")->toolTip(),
                     "Automatically find and check keywords in United States");
        addApp->close();
    }

    // "Track as Competitor" is painted in its cell: while writes are held it is painted as the
    // style paints a disabled button (as Add App beside it), its tooltip says why, and it follows
    // the end of the check, which may find the file damaged while the table is open.
    void trackButtonWhileHeld_data()
    {
        QTest::addColumn<bool>("damaged");
        QTest::newRow("check passes") << false;
        QTest::newRow("check finds damage") << true;
    }

    void trackButtonWhileHeld()
    {
        QFETCH(bool, damaged);
        openAfterUncleanEnd(damaged);
        ButtonPaints paints;
        // Of an app that is gone: the table reads nothing that could meet the damage before the check.
        SuggestedCompetitorsTable suggested(m_store.get(), "99", "us");
        auto *cells = suggested.table();
        cells->setStyle(&paints);
        KeywordGap::Suggestion suggestion;
        suggestion.appleAppId = suggestion.name = "44";
        suggestion.keywords = {"alpha"};
        suggested.tableModel()->setRows({suggestion});
        suggested.resize(800, 300);
        suggested.show();
        const auto button = cells->model()->index(0, SuggestedCompetitorsModel::track);
        const auto cell = cells->visualRect(button);
        const auto drawn = [&] {
            paints.last.reset();
            return cells->viewport()->grab(cell).toImage();
        };
        const auto held = drawn();
        QVERIFY(paints.last && !(paints.last->state & QStyle::State_Enabled));
        QCOMPARE(paints.last->palette.currentColorGroup(), QPalette::Disabled);
        QCOMPARE(tooltipAt(cells->viewport(), cell.center()),
                 "Changes cannot be saved until the local database has been checked.");
        QVERIFY(!m_store->databaseDamage());

        endCheck();
        QImage after;
        QTRY_VERIFY((after = drawn(), paints.last && bool(paints.last->state & QStyle::State_Enabled) == !damaged));
        QCOMPARE(paints.last->palette.currentColorGroup() == QPalette::Disabled, damaged);
        QCOMPARE(after == held, damaged);
        if (damaged)
            QCOMPARE(tooltipAt(cells->viewport(), cell.center()), "Changes cannot be saved: the local database is damaged.");
        else
            QCOMPARE(button.data(Qt::ToolTipRole).toString(), "");
        QToolTip::hideText();
    }

    // "Track & Check" while the check runs: pressed or called, the sheet stays
    // open with its text and nothing is linked or searched; after the check it goes through.
    void addKeywordsDuringTheCheck()
    {
        openAfterUncleanEnd(false);
        const auto app = *m_store->app("42");
        AppDetailView detail(m_store.get(), "42");
        // The toolbar's button does not open the sheet meanwhile.
        detail.findChild<QAction *>("addKeywordsAction")->trigger();
        QVERIFY(!detail.findChild<AddKeywordsDialog *>());

        QPointer<AddKeywordsDialog> sheet = new AddKeywordsDialog(m_store.get(), "42", "us");
        sheet->show();
        auto *text = sheet->findChild<QPlainTextEdit *>("addKeywordsText");
        text->setPlainText("gamma, delta");
        sheet->findChild<QPushButton *>("addKeywordsTrack")->click();
        QCoro::waitFor(sheet->trackAndCheck());
        QVERIFY(sheet && sheet->isVisible());
        QCOMPARE(sheet->result(), int(QDialog::Rejected));
        QCOMPARE(text->toPlainText(), "gamma, delta");
        QCOMPARE(m_store->linkedKeywords(app), (QSet<QString>{"alpha", "beta"}));
        QVERIFY(m_client->searches.isEmpty());

        endCheck();
        QSignalSpy raised(m_store.get(), &ASOStore::dataVersionChanged);
        sheet->findChild<QPushButton *>("addKeywordsTrack")->click();
        QVERIFY(!sheet->isVisible());
        QCOMPARE(m_store->linkedKeywords(app), (QSet<QString>{"alpha", "beta", "gamma", "delta"}));
        // Linked, searched, popularity refreshed: the search's own raise ends it.
        QTRY_COMPARE(raised.size(), 3);
        QCOMPARE(m_client->searches.size(), 2);
    }

    // The add-app sheet and the sidebar's menu change nothing while writes are held: the app
    // stays, keeps its kind and stays selected; nothing is looked up.
    void appActionsDuringTheCheck()
    {
        openAfterUncleanEnd(false);
        MainWindow window(m_store.get(), m_tracker.get(), nullptr);
        window.setSelection(QStringLiteral("42"));
        auto *sheet = window.openAddApp();
        auto *input = sheet->findChild<QLineEdit *>("addAppInput");
        input->setText("284882215");
        QTest::keyClick(input, Qt::Key_Return);
        sheet->submit();
        QVERIFY(!sheet->isWorking());
        QVERIFY(m_client->lookups.isEmpty());
        window.toggleOwn("42");
        window.removeApp("42");
        QCOMPARE(window.selection().value_or(""), "42");
        QVERIFY(m_store->app("42") && m_store->app("42")->isOwn);
        sheet->close();
    }
};

QTEST_MAIN(TestHeldWrites)
#include "tst_heldwrites.moc"
