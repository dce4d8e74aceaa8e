#include "model/StoreDb.h"
#include "store/ASOStore.h"
#include "support/EventLoopSlice.h"
#include "tracking/RankTracker.h"
#include "tracking/SilentNotifier.h"
#include "tracking/Updater.h"
#include "ui/alerts/AlertsView.h"
#include "ui/cells/EmptyStateView.h"
#include "ui/keywords/AppDetailView.h"
#include "ui/settings/SettingsWindow.h"
#include "ui/shell/AddAppDialog.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/SidebarModel.h"
#include "workflows/DiscoveryRun.h"

#include "FocusedFields.h"
#include "GatedSearchClient.h"
#include "LockHolder.h"
#include "RenderedTexts.h"
#include "TestSettings.h"
#include "UiFixture.h"

#include <QAbstractItemView>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

// An updater whose readiness and answers the test sets.
class ScriptedUpdater : public Updater
{
public:
    bool ready = false;
    int checks = 0;
    bool canCheckForUpdates() const override { return ready; }
    void checkForUpdates() override { ++checks; }
    void setReady(bool value) { ready = value, Q_EMIT canCheckForUpdatesChanged(value); }
};

class TestMainWindow : public QObject
{
    Q_OBJECT

    TestSettings m_settings;
    // For a database file; it outlives the window and the store.
    QTemporaryDir m_dir;
    std::shared_ptr<GatedSearchClient> m_client;
    std::unique_ptr<ASOStore> m_store;
    SilentNotifier m_notifier;
    std::unique_ptr<RankTracker> m_tracker;
    std::unique_ptr<MainWindow> m_window;

    void track(const QString &apps) { trackApps(*m_store, apps); }

    void rebuild(std::unique_ptr<StoreDb> db)
    {
        m_window.reset();
        m_tracker.reset();
        m_store = std::make_unique<ASOStore>(std::move(db), m_client);
        m_tracker = std::make_unique<RankTracker>(m_store.get(), &m_notifier);
        m_window = std::make_unique<MainWindow>(m_store.get(), m_tracker.get(), nullptr);
    }

    // What the detail column shows: an app's name, or the title of the empty state.
    QString detailTitle() const
    {
        if (const auto *detail = qobject_cast<AppDetailView *>(m_window->detail()))
            return m_store->app(detail->appleAppId())->name;
        const auto *state = qobject_cast<EmptyStateView *>(m_window->detail());
        return state ? state->title() : QString();
    }

    static QAbstractButton *buttonNamed(QMessageBox *box, const QString &text)
    {
        for (auto *button : box->buttons()) {
            if (button->text() == text)
                return button;
        }
        return nullptr;
    }

    QStringList appsIn(const QString &section) const
    {
        QStringList ids;
        const auto *model = m_window->sidebarModel();
        for (int s = 0; s < model->rowCount(); ++s) {
            if (model->item(s)->text() != section)
                continue;
            for (int r = 0; r < model->item(s)->rowCount(); ++r)
                ids.append(model->item(s)->child(r)->data(SidebarModel::SelectionRole).toString());
        }
        return ids;
    }

private Q_SLOTS:
    void init()
    {
        TestSettings::reset();
        m_client = std::make_shared<GatedSearchClient>();
        m_client->open();
        rebuild(StoreDb::openInMemory());
    }

    void cleanup()
    {
        m_window.reset();
        m_tracker.reset();
        m_store.reset();
    }

    void sidebar_data()
    {
        QTest::addColumn<QString>("apps");
        QTest::addColumn<QStringList>("sections");
        QTest::addColumn<QString>("selected"); // after the first show
        QTest::newRow("no apps") << "" << QStringList{"Tools"} << "";
        QTest::newRow("competitors only") << "c5 c6" << QStringList{"Tools", "Competitors"} << "5";
        QTest::newRow("own apps only") << "o7" << QStringList{"Tools", "My Apps"} << "7";
        QTest::newRow("oldest is a competitor") << "c3 o1 o2" << QStringList{"Tools", "My Apps", "Competitors"} << "3";
    }

    void sidebar()
    {
        QFETCH(QString, apps);
        QFETCH(QString, selected);
        track(apps);
        m_window->show();
        QTEST(m_window->sidebarModel()->sectionTitles(), "sections");
        QCOMPARE(m_window->findChild<EmptyStateView *>("noAppsState")->isVisible(), apps.isEmpty());
        QCOMPARE(m_window->selection().value_or(""), selected);
        QCOMPARE(detailTitle(), selected.isEmpty() ? "Select an app" : "App " + selected);
        // The oldest app is chosen once only.
        m_window->setSelection("tool.alerts");
        m_window->hide();
        m_window->show();
        QCOMPARE(m_window->selection().value_or(""), "tool.alerts");
        QVERIFY(qobject_cast<AlertsView *>(m_window->detail()));
    }

    void changingApps_data()
    {
        QTest::addColumn<QString>("action"); // "flip <id>", "remove <id>", "select <id>"
        QTest::addColumn<QString>("selection");
        QTest::addColumn<QString>("detail");
        QTest::newRow("flip keeps the selection") << "flip 1" << "1" << "App 1";
        QTest::newRow("remove the selected app") << "remove 1" << "" << "Select an app";
        QTest::newRow("remove another app") << "remove 2" << "1" << "App 1";
        QTest::newRow("stale selection") << "select 9" << "9" << "Select an app";
    }

    void changingApps()
    {
        QFETCH(QString, action);
        track("o1 c2");
        m_window->show();
        const auto version = m_store->dataVersion();
        const auto id = action.section(u' ', 1);
        if (action.startsWith("flip"))
            m_window->toggleOwn(id);
        else if (action.startsWith("remove"))
            m_window->removeApp(id);
        else
            m_window->setSelection(id);
        QTEST(m_window->selection().value_or(""), "selection");
        QTEST(detailTitle(), "detail");
        if (action.startsWith("flip")) {
            QCOMPARE(m_store->dataVersion(), version + 1);
            QCOMPARE(appsIn("Competitors"), (QStringList{"1", "2"}));
            QCOMPARE(m_window->sidebarModel()->sectionTitles(), (QStringList{"Tools", "Competitors"}));
        }
    }

    // Where each part of the detail column stands, as the window draws it.
    static QStringList detailPlaces(QWidget *detail)
    {
        QStringList places;
        for (auto *part : detail->findChildren<QWidget *>()) {
            if (part->isVisible()) {
                const QRect place(part->mapTo(detail, QPoint()), part->size());
                const auto name = part->objectName().isEmpty() ? QString::fromLatin1(part->metaObject()->className())
                                                               : part->objectName();
                places.append(QStringLiteral("%1 %2,%3 %4×%5").arg(name).arg(place.x()).arg(place.y())
                                  .arg(place.width()).arg(place.height()));
            }
        }
        return places;
    }

    // Switching apps through the sidebar shows the new app's screen laid out as it settles, at
    // once: each frame drawn on the way, and the screen as the switch leaves it, before any further
    // event, are as the settled screen (the status picker beside the sections, not on a row of
    // its own; the header in its arrangement).
    void switchDrawsItsSettledLayout_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("least") << QSize(1000, 640);
        QTest::newRow("large") << QSize(1440, 900);
    }

    void switchDrawsItsSettledLayout()
    {
        QFETCH(QSize, size);
        track("o1 o2 c3 c4");
        auto named = *m_store->app("3");
        named.name = "Quiet Notes: Journal & Planner";
        m_store->db().update(named);
        m_store->raiseDataVersion();
        m_window->resize(size);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QCoreApplication::processEvents();

        // Notes the detail column as each frame is about to be drawn.
        struct Frames : QObject
        {
            MainWindow *window;
            QList<QStringList> drawn;
            bool eventFilter(QObject *, QEvent *event) override
            {
                if (event->type() == QEvent::UpdateRequest && window->detail()->isVisible())
                    drawn.append(detailPlaces(window->detail()));
                return false;
            }
        } frames;
        frames.window = m_window.get();
        qApp->installEventFilter(&frames);
        auto *sidebar = m_window->findChild<QTreeView *>("sidebar");
        for (const auto *id : {"2", "3", "4", "1", "3"}) {
            frames.drawn.clear();
            sidebar->selectionModel()->setCurrentIndex(m_window->sidebarModel()->indexOf(QString::fromLatin1(id)),
                                                       QItemSelectionModel::ClearAndSelect);
            QCOMPARE(m_window->selection().value_or(""), QString::fromLatin1(id));
            const auto switched = detailPlaces(m_window->detail());
            for (int turn = 0; turn < 5; ++turn)
                QCoreApplication::processEvents();
            const auto settled = detailPlaces(m_window->detail());
            QCOMPARE(switched, settled);
            QVERIFY(!frames.drawn.isEmpty());
            for (const auto &frame : std::as_const(frames.drawn))
                QCOMPARE(frame, settled);
        }
        qApp->removeEventFilter(&frames);
    }

    // "Remove" in an app's menu asks first; only the dialog's "Remove" deletes.
    void removeAsks_data()
    {
        QTest::addColumn<QString>("answer"); // "cancel", "escape" or "remove"
        QTest::addColumn<QStringList>("left");
        QTest::newRow("cancel") << "cancel" << QStringList{"1", "2"};
        QTest::newRow("escape") << "escape" << QStringList{"1", "2"};
        QTest::newRow("remove") << "remove" << QStringList{"2"};
    }

    void removeAsks()
    {
        QFETCH(QString, answer);
        track("o1 c2");
        m_window->show();
        QCOMPARE(m_window->windowTitle(), "App 1 — United States");
        std::unique_ptr<QMenu> menu(m_window->sidebarMenu("1"));
        const auto actions = menu->actions();
        QCOMPARE(actions.last()->text(), "Remove");
        actions.last()->trigger();
        auto *box = m_window->findChild<QMessageBox *>("removeAppConfirmation");
        QVERIFY(box && box->isVisible());
        QCOMPARE(box->text(), "Remove “App 1”?");
        QCOMPARE(box->informativeText(), "Its keywords, rank history and alerts are deleted. This cannot be undone.");
        QCOMPARE(box->defaultButton()->text(), "Cancel");
        QCOMPARE(box->escapeButton(), box->defaultButton());
        QVERIFY(m_store->app("1"));
        if (answer == "escape")
            QTest::keyClick(box, Qt::Key_Escape);
        else
            (answer == "cancel" ? box->defaultButton() : buttonNamed(box, "Remove"))->click();
        QTRY_VERIFY(!m_window->findChild<QMessageBox *>("removeAppConfirmation"));
        QTEST(appsIn("My Apps") + appsIn("Competitors"), "left");
        if (answer == "remove") {
            QVERIFY(!m_store->app("1"));
            // The removed app's screen goes; nothing may name it any more.
            QTRY_COMPARE(m_window->windowTitle(), "Vantu");
            QTRY_COMPARE(detailTitle(), "Select an app");
        } else {
            QCOMPARE(m_window->selection().value_or(""), "1");
            QCOMPARE(m_window->windowTitle(), "App 1 — United States");
        }
    }

    // Remove while another program holds the database's write lock: the click does not wait for
    // the lock, the app stays with its screen, and the window says why; once the lock is gone,
    // Remove removes it.
    void removeWhileAnotherProgramWrites()
    {
        const auto path = m_dir.filePath("locked.sqlite");
        rebuild(StoreDb::openFile(path));
        track("o1 c2");
        m_window->show();
        auto *screen = m_window->detail();
        const auto remove = [&] {
            std::unique_ptr<QMenu> menu(m_window->sidebarMenu("1"));
            menu->actions().last()->trigger();
            auto *confirmation = m_window->findChildren<QMessageBox *>("removeAppConfirmation").last();
            buttonNamed(confirmation, "Remove")->click();
        };
        {
            // Released long after a short wait would end: a removal that waited for it would succeed.
            LockHolder holder(path, std::chrono::seconds(3));
            remove();
            QVERIFY(m_store->app("1"));
            QCOMPARE(appsIn("My Apps"), QStringList{"1"});
            QCOMPARE(m_window->selection().value_or(""), "1");
            QCOMPARE(m_window->detail(), screen);
            auto *refused = m_window->findChild<QMessageBox *>("storeProblem");
            QVERIFY(refused && refused->isVisible());
            QCOMPARE(refused->text(), "The app could not be removed: another program is using the database. "
                                      "Try again in a moment.");
            refused->button(QMessageBox::Ok)->click();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        remove();
        QVERIFY(!m_store->app("1"));
        QCOMPARE(appsIn("My Apps"), QStringList{});
        QVERIFY(!m_window->findChild<QMessageBox *>("storeProblem"));
        QCOMPARE(detailTitle(), "Select an app");
    }

    // A raise updates the sidebar's rows where they stand: the list keeps its scroll position
    // and the selected row, also when apps come, go or change section.
    void sidebarKeepsItsPlace_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("plain raise") << "";
        QTest::newRow("an app added") << "add";
        QTest::newRow("another app flipped") << "flip";
        QTest::newRow("the selected app flipped") << "flip selected";
        QTest::newRow("an app removed") << "remove";
    }

    void sidebarKeepsItsPlace()
    {
        QFETCH(QString, change);
        QStringList apps;
        for (int i = 1; i <= 30; ++i)
            apps.append((i % 3 ? "o" : "c") + QString::number(i));
        track(apps.join(u' '));
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        auto *sidebar = m_window->findChild<QTreeView *>("sidebar");
        m_window->setSelection("14");
        auto *bar = sidebar->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        bar->setValue(bar->maximum() / 2);
        const int value = bar->value();
        QSignalSpy selections(m_window.get(), &MainWindow::selectionChanged);
        if (change == "add")
            track("o40");
        else if (change.startsWith("flip"))
            m_window->toggleOwn(change.endsWith("selected") ? "14" : "2");
        else if (change == "remove")
            m_window->removeApp("1");
        else
            m_store->raiseDataVersion();
        QCoreApplication::processEvents();
        QCOMPARE(bar->value(), value);
        QCOMPARE(selections.size(), 0);
        QCOMPARE(m_window->selection().value_or(""), "14");
        const auto selected = m_window->sidebarModel()->indexOf("14");
        QCOMPARE(sidebar->currentIndex(), selected);
        QCOMPARE(sidebar->selectionModel()->selectedIndexes(), QModelIndexList{selected});
    }

    // Section titles are neither selectable nor reached by the arrow keys.
    void sidebarKeys_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("title"); // of the window, for the screen shown at the end
        QTest::newRow("up from the first tool") << "tool.research" << int(Qt::Key_Up) << "tool.research" << "Keyword Research";
        QTest::newRow("down into my apps") << "tool.alerts" << int(Qt::Key_Down) << "1" << "App 1 — United States";
        QTest::newRow("up out of my apps") << "1" << int(Qt::Key_Up) << "tool.alerts" << "Alerts";
        QTest::newRow("down into competitors") << "2" << int(Qt::Key_Down) << "3" << "App 3 — United States";
        QTest::newRow("up out of competitors") << "3" << int(Qt::Key_Up) << "2" << "App 2 — United States";
        QTest::newRow("home") << "3" << int(Qt::Key_Home) << "tool.research" << "Keyword Research";
    }

    void sidebarKeys()
    {
        QFETCH(QString, start);
        QFETCH(int, key);
        track("o1 o2 c3");
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        auto *sidebar = m_window->findChild<QTreeView *>("sidebar");
        m_window->setSelection(start);
        QTest::keyClick(sidebar, Qt::Key(key));
        QTEST(m_window->selection().value_or(""), "end");
        QTEST(m_window->windowTitle(), "title");

        // A click on a title changes nothing.
        for (const auto *title : {"Tools", "My Apps", "Competitors"}) {
            const auto section = m_window->sidebarModel()->findItems(title).constFirst()->index();
            QVERIFY(!(section.flags() & Qt::ItemIsSelectable));
            QTest::mouseClick(sidebar->viewport(), Qt::LeftButton, {}, sidebar->visualRect(section).center());
            QTEST(m_window->selection().value_or(""), "end");
            QVERIFY(!sidebar->selectionModel()->isSelected(section));
        }
    }

    void destroyedWithFocus_data()
    {
        QTest::addColumn<QString>("shown"); // the selection, or "sheet" for the add-app sheet
        QTest::addColumn<int>("fields");    // at least
        QTest::newRow("app detail") << "1" << 8;
        QTest::newRow("research") << "tool.research" << 6;
        QTest::newRow("alerts") << "tool.alerts" << 3;
        QTest::newRow("add-app sheet") << "sheet" << 3;
    }

    void destroyedWithFocus()
    {
        QFETCH(QString, shown);
        QFETCH(int, fields);
        track("o1 c2");
        m_store->addKeywords({"photo editor"}, *m_store->app("1"));
        const int visited = destroyWithFocusInEachField([this, shown]() -> std::unique_ptr<QWidget> {
            if (shown == "sheet") {
                m_window->show();
                return std::unique_ptr<QWidget>(m_window->openAddApp());
            }
            auto window = std::make_unique<MainWindow>(m_store.get(), m_tracker.get(), nullptr);
            window->setSelection(shown);
            return window;
        });
        QVERIFY2(visited >= fields, qPrintable(QString::number(visited)));
    }

    void flipIsSaved()
    {
        QTemporaryDir dir;
        const auto path = dir.filePath("vantu.sqlite");
        rebuild(StoreDb::openFile(path));
        track("o1");
        m_window->toggleOwn("1");
        rebuild(StoreDb::openFile(path));
        QCOMPARE(m_store->app("1")->isOwn, false);
    }

    void oneSettingsWindow()
    {
        auto *settings = m_window->findChild<QAction *>("settingsAction");
        QCOMPARE(settings->shortcut(), QKeySequence("Ctrl+,"));
        settings->trigger();
        settings->trigger();
        const auto windows = m_window->findChildren<SettingsWindow *>();
        QCOMPARE(windows.size(), 1);
        QVERIFY(windows[0]->isVisible());
    }

    // Ctrl+Q quits from every window of the application as the menu's Quit does, with the
    // focus where the window put it.
    void quitShortcutFromEveryWindow_data()
    {
        QTest::addColumn<bool>("inSettings");
        QTest::newRow("main window") << false;
        QTest::newRow("settings window") << true;
    }

    void quitShortcutFromEveryWindow()
    {
        QFETCH(bool, inSettings);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QWidget *active = m_window.get();
        if (inSettings) {
            m_window->findChild<QAction *>("settingsAction")->trigger();
            active = m_window->findChild<SettingsWindow *>();
        }
        // A dialog counts as active while its parent is (qWaitForWindowActive would not wait):
        // the key must reach the dialog itself.
        QTRY_COMPARE(QApplication::activeWindow(), active);
        auto *quit = m_window->findChild<QAction *>("quitAction");
        QSignalSpy triggered(quit, &QAction::triggered);
        QSignalSpy quitting(qApp, &QCoreApplication::aboutToQuit);
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : active, Qt::Key_Q,
                        Qt::ControlModifier);
        QCOMPARE(triggered.size(), 1);
        // The quit it queued ends the application's event loop.
        QCoreApplication::exec();
        QCOMPARE(quitting.size(), 1);
    }

    void messages()
    {
        ScriptedUpdater updater;
        MainWindow window(m_store.get(), m_tracker.get(), &updater);
        auto *check = window.findChild<QAction *>("checkForUpdatesAction");
        QVERIFY(!check->isEnabled());
        updater.setReady(true);
        QVERIFY(check->isEnabled());
        check->trigger();
        QCOMPARE(updater.checks, 1);
        Q_EMIT updater.checkFinished({UpdateCheckOutcome::Kind::updateAvailable, "2.0", QUrl("https://vantu.example/2.0"), {}});
        QCOMPARE(window.findChild<QMessageBox *>("updateOutcome")->text(), "A newer version 2.0 is available.");
        QVERIFY(window.findChild<QMessageBox *>("updateOutcome")->button(QMessageBox::Ok));

        Q_EMIT m_store->databaseDamaged(QString("The local database is damaged."));
        QCOMPARE(window.findChild<QMessageBox *>("databaseDamage")->text(), "The local database is damaged.");
    }

    void unreadBadge()
    {
        track("o1");
        for (int i = 0; i < 10; ++i) {
            RankAlert alert{0, QUuid::createUuid(), "1", "App 1", "k", "k", "us", "MOVED_UP", 9, 3, {},
                            QDateTime::currentDateTimeUtc(), false};
            m_store->db().insert(alert);
        }
        // Alerts arrive with a search's save.
        Q_EMIT m_store->saved();
        const auto badge = [this] {
            return m_window->sidebarModel()->indexOf("tool.alerts").data(SidebarModel::BadgeRole).toLongLong();
        };
        QCOMPARE(badge(), 10);
        m_store->markAlertsRead(m_store->alerts(), true);
        QCOMPARE(badge(), 0);
    }

    // A tracking run over stored searches with the Alerts page open: the list and the badge
    // follow the run in a few steps rather than once per raise, and are whole at its end.
    void runOverStoredSearchesFollowedInFewSteps()
    {
        track("o1");
        const auto app = *m_store->app("1");
        constexpr int keywords = 60;
        for (int k = 0; k < keywords; ++k) {
            const auto term = QStringLiteral("k%1").arg(k);
            m_store->addKeywords({term}, app);
            // Missed two hours ago, ranked first in a search stored now and not yet applied.
            SearchObservation missed{0, QUuid::createUuid(), term, "us", QDateTime::currentDateTimeUtc().addSecs(-7200),
                                     true, 200, 0, 1, {}, false, "[]"};
            m_store->db().insert(missed);
            m_store->apply(missed, app);
            SearchObservation found{0, QUuid::createUuid(), term, "us", QDateTime::currentDateTimeUtc(), true, 200, 1, 1, {},
                                    true, AppRecords::encodeHits(GatedSearchClient::results({"1"}).hits)};
            m_store->db().insert(found);
        }
        m_window->setSelection("tool.alerts");
        auto *list = childOf<QTreeView>(m_window.get(), "alertsList");
        QSignalSpy resets(list->model(), &QAbstractItemModel::modelReset);
        QSignalSpy raises(m_store.get(), &ASOStore::dataVersionChanged);
        QElapsedTimer elapsed;
        elapsed.start();
        m_tracker->startManualRun();
        QTRY_VERIFY(!m_tracker->manualRunActive());
        QCOMPARE(m_tracker->lastSummary(), QString::number(keywords) + " keywords rechecked, " + QString::number(keywords) + " alerts");
        QVERIFY(m_client->searches.isEmpty());
        QCOMPARE(m_window->sidebarModel()->indexOf("tool.alerts").data(SidebarModel::BadgeRole).toLongLong(), keywords);
        QCOMPARE(list->model()->rowCount(list->model()->index(0, 0)), keywords);
        QCOMPARE(raises.size(), keywords / 5 + 1);
        // One follow per interval of the run at most, and one at its end.
        QVERIFY2(resets.size() <= elapsed.elapsed() / ASOStore::followInterval.count() + 2,
                 qPrintable(QString("%1 resets in %2 ms").arg(resets.size()).arg(elapsed.elapsed())));
    }

    // A run that goes on past the follow interval: the list and the badge catch up with it while
    // it lasts, not only once it ends, however often it changes the data.
    void longRunFollowedWhileItLasts()
    {
        track("o1");
        m_window->setSelection("tool.alerts");
        const auto *model = childOf<QTreeView>(m_window.get(), "alertsList")->model();
        const auto listed = [model] { return model->rowCount() ? model->rowCount(model->index(0, 0)) : 0; };
        const auto badge = [this] {
            return m_window->sidebarModel()->indexOf("tool.alerts").data(SidebarModel::BadgeRole).toLongLong();
        };
        std::optional<ASOStore::Burst> run(std::in_place, m_store.get());
        // As the run applies results: an alert saved every few milliseconds, a raise every fifth.
        const auto at = QDateTime::currentDateTimeUtc();
        int made = 0;
        QTimer results;
        connect(&results, &QTimer::timeout, this, [&] {
            RankAlert alert{0, QUuid::createUuid(), "1", "App 1", "k", "k", "us", "MOVED_UP", 9, 3, {}, at, false};
            m_store->db().insert(alert);
            if (++made % 5 == 0)
                m_store->raiseDataVersion();
        });
        results.start(5);
        QTRY_VERIFY(listed() > 0 && badge() > 0);
        const auto first = listed();
        QTRY_VERIFY(listed() > first);
        results.stop();
        m_store->raiseDataVersion();
        run.reset();
        QCOMPARE(listed(), made);
        QCOMPARE(badge(), made);
    }

    // Removing an app stops what works on it: its discovery run and a tracking run that is
    // waiting for one of its searches. Nothing of the app is left afterwards.
    void removeWhileWorking_data()
    {
        QTest::addColumn<bool>("tracking");
        QTest::newRow("discovery run") << false;
        QTest::newRow("tracking run") << true;
    }

    void removeWhileWorking()
    {
        QFETCH(bool, tracking);
        m_client = std::make_shared<GatedSearchClient>();
        m_client->answer = [](const QString &) { return FakeSearchClient::results({"1", "2"}); };
        rebuild(StoreDb::openInMemory());
        track("o1 c2");
        const auto app = *m_store->app("1");
        m_store->addKeywords({"photo editor", "collage maker", "filters"}, app);

        std::shared_ptr<DiscoveryRun> run;
        if (tracking)
            m_tracker->startManualRun();
        else
            run = m_store->startDiscovery(app, "us");
        QTRY_COMPARE(m_client->waiting, 1);
        m_window->removeApp("1");
        m_client->open();
        if (tracking) {
            QTRY_VERIFY(!m_tracker->isRunning());
        } else {
            QTRY_VERIFY(!run->isRunning());
            QVERIFY(!m_store->discoveryRun(app, "us"));
        }
        QVERIFY(!m_store->app("1"));
        QCOMPARE(m_store->rows(app, "us").size(), 0);
        QVERIFY(!m_store->rankState("1", "photo editor", "us"));
        for (const auto &alert : m_store->alerts())
            QVERIFY(alert.appleAppId != "1");
    }

    void blankInput_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<bool>("blank");
        QTest::newRow("empty") << "" << true;
        QTest::newRow("spaces and tab") << " \t " << true;
        QTest::newRow("no-break and em spaces") << "\u00a0\u2003" << true;
        QTest::newRow("line feed") << "\n" << false;
        QTest::newRow("line separator") << "\u2028" << false;
        QTest::newRow("padded ID") << "  284882215 " << false;
    }

    void blankInput()
    {
        QFETCH(QString, input);
        QFETCH(bool, blank);
        auto *dialog = m_window->openAddApp();
        dialog->findChild<QLineEdit *>("addAppInput")->setText(input);
        QCOMPARE(dialog->findChild<QPushButton *>("addAppSubmit")->isEnabled(), !blank);
        dialog->close();
    }

    void addApp_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<bool>("own");
        QTest::addColumn<bool>("cancel"); // closes the sheet while the request runs
        QTest::addColumn<QString>("lookup"); // the storefronts' answer: "found", "fail" or unknown
        QTest::addColumn<QString>("outcome"); // the error shown, or "selected <id> own|competitor"
        QTest::newRow("own app") << " 284882215 " << true << false << "found" << "selected 284882215 own";
        QTest::newRow("competitor") << "284882215" << false << false << "found" << "selected 284882215 competitor";
        QTest::newRow("cancel during the request") << "284882215" << true << true << "found" << "selected 284882215 own";
        QTest::newRow("not an app") << "hello" << true << false << "found"
                                    << "Input is neither a numeric app ID nor a valid URL. Example: https://apps.apple.com/us/app/example/id123456789";
        QTest::newRow("unknown app") << "284882215" << true << false << "none"
                                     << ASOStore::StoreError::notFound("284882215").description();
    }

    void addApp()
    {
        QFETCH(QString, input);
        QFETCH(bool, own);
        QFETCH(bool, cancel);
        QFETCH(QString, lookup);
        QFETCH(QString, outcome);
        for (const auto &country : {"us", "gb", "de", "tr", "br"})
            m_client->lookupScript[country] = lookup;
        m_window->show();
        QPointer<AddAppDialog> dialog = m_window->openAddApp();
        dialog->findChild<QLineEdit *>("addAppInput")->setText(input);
        dialog->findChild<QCheckBox *>("addAppIsOwn")->setChecked(own);
        QSignalSpy finished(dialog.data(), &AddAppDialog::requestFinished);
        QTest::keyClick(dialog->findChild<QLineEdit *>("addAppInput"), Qt::Key_Return);
        // A second submit while the first runs starts nothing.
        dialog->submit();
        if (finished.isEmpty()) {
            QVERIFY(dialog->isWorking());
            QVERIFY(!dialog->findChild<QLineEdit *>("addAppInput")->isEnabled());
        }
        if (cancel)
            dialog->findChild<QPushButton *>("addAppCancel")->click();
        if (outcome.startsWith("selected")) {
            QTRY_COMPARE(m_window->selection().value_or(""), outcome.section(u' ', 1, 1));
            QTRY_VERIFY(!dialog);
            QCOMPARE(m_store->app(outcome.section(u' ', 1, 1))->isOwn, outcome.endsWith("own"));
            QVERIFY(m_store->discoveryRun(*m_store->app(outcome.section(u' ', 1, 1)), "us"));
        } else {
            QTRY_VERIFY(!finished.isEmpty());
            QCOMPARE(dialog->errorText(), outcome);
            QVERIFY(dialog->isVisible());
            QVERIFY(!dialog->isWorking());
        }
        QCOMPARE(m_client->lookups.count("284882215|us"), int(input.trimmed() == "284882215"));
    }

    // An app added again while its earlier removal goes on: the sheet says what it waits for.
    // Cancel then gives the addition up: once the rows are gone and another app was added, the
    // app is neither back nor was it ever selected. Waited for, it comes back without its rows.
    void addAgainWhileRemoving_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("cancelled while waiting") << true;
        QTest::newRow("waited for") << false;
    }

    void addAgainWhileRemoving()
    {
        QFETCH(bool, cancel);
        // Every save of the removal returns to the event loop, and there are several.
        EventLoopSlice::setBudget(std::chrono::milliseconds(0));
        const auto restoreBudget = qScopeGuard([] { EventLoopSlice::setBudget(EventLoopSlice::standardBudget); });
        m_client->lookupScript["us"] = "found";
        track("o10001 c20002");
        {
            StoreDb::Transaction save(m_store->db());
            for (int i = 0; i < 3000; ++i) {
                RankAlert alert{0, QUuid::createUuid(), "10001", "App 10001", "k", "k", "us", "MOVED_UP", 9, 3, {},
                                QDateTime::currentDateTimeUtc(), false};
                QVERIFY(m_store->db().insert(alert));
            }
            QVERIFY(save.commit());
        }
        m_window->show();
        m_window->setSelection("20002");
        m_window->removeApp("10001");

        QSignalSpy selections(m_window.get(), &MainWindow::selectionChanged);
        QSignalSpy removalsEnded(m_store.get(), &ASOStore::removalsEnded);
        // Once the app is selected and its discovery run, which the sheet started, has ended.
        const auto selectedNow = [&](const QString &id) {
            while (m_window->selection() != id) {
                if (!selections.wait())
                    return false;
            }
            const auto run = m_store->discoveryRun(*m_store->app(id), "us");
            return run && (!run->isRunning() || QSignalSpy(run.get(), &DiscoveryRun::isRunningChanged).wait());
        };
        QPointer<AddAppDialog> dialog = m_window->openAddApp();
        const QPointer<QLabel> waitText = dialog->findChild<QLabel *>("addAppRemovalWait");
        bool toldWhileWaiting = false;
        connect(m_store.get(), &ASOStore::removalAwaited, dialog, [&] {
            toldWhileWaiting = waitText->isVisible() && dialog->isWorking();
            if (cancel)
                dialog->findChild<QPushButton *>("addAppCancel")->click();
        });
        dialog->findChild<QLineEdit *>("addAppInput")->setText("10001");
        dialog->submit();
        QVERIFY(waitText->isHidden());
        QVERIFY(removalsEnded.wait());
        QVERIFY(toldWhileWaiting);
        QVERIFY(m_store->db().appRemovals().isEmpty());
        if (cancel) {
            auto *next = m_window->openAddApp();
            next->findChild<QLineEdit *>("addAppInput")->setText("30003");
            next->submit();
            QVERIFY(selectedNow("30003"));
            QVERIFY(!m_store->app("10001"));
            for (const auto &selection : selections)
                QVERIFY(selection.first().value<std::optional<QString>>() != "10001");
        } else {
            QVERIFY(selectedNow("10001"));
            QCOMPARE(m_store->alerts().size(), 0);
            QVERIFY(!dialog || !dialog->isVisible());
            QVERIFY(!waitText || waitText->isHidden());
        }
    }

    // After an error, shown at once or after the lookups, the link is back in a focused field
    // and selected: typing replaces it, and the toggle is left alone.
    void focusAfterError_data()
    {
        QTest::addColumn<QString>("input");
        QTest::newRow("not an app, told at once") << "hello";
        QTest::newRow("unknown app, told after the lookups") << "284882215";
    }

    void focusAfterError()
    {
        QFETCH(QString, input);
        m_window->show();
        QPointer<AddAppDialog> dialog = m_window->openAddApp();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        auto *field = dialog->findChild<QLineEdit *>("addAppInput");
        auto *own = dialog->findChild<QCheckBox *>("addAppIsOwn");
        QVERIFY(field->hasFocus());
        QSignalSpy finished(dialog.data(), &AddAppDialog::requestFinished);
        QTest::keyClicks(field, input);
        QTest::keyClick(field, Qt::Key_Return);
        QTRY_VERIFY(!finished.isEmpty());
        QVERIFY(!dialog->errorText().isEmpty());
        QCOMPARE(QApplication::focusWidget(), field);
        QCOMPARE(field->selectedText(), input);
        QTest::keyClicks(QApplication::focusWidget(), "1 2");
        QCOMPARE(field->text(), "1 2");
        QVERIFY(own->isChecked());
        dialog->close();
    }

    // The sidebar paints each of its texts once: section titles, tools with the unread count,
    // and each app's name and maker; a data-version raise leaves them all in place.
    void sidebarPaintsItsTexts()
    {
        track("o1 c2");
        for (const QString id : {"1", "2"}) {
            auto app = *m_store->app(id);
            app.developerName = "Maker " + id;
            m_store->db().update(app);
        }
        for (int i = 0; i < 3; ++i) {
            RankAlert alert{0, QUuid::createUuid(), "1", "App 1", "k", "k", "us", "MOVED_UP", 9, 3, {},
                            QDateTime::currentDateTimeUtc(), false};
            m_store->db().insert(alert);
        }
        m_store->raiseDataVersion();
        Q_EMIT m_store->saved();
        m_window->resize(1000, 640);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        auto *sidebar = m_window->findChild<QAbstractItemView *>("sidebar");
        QVERIFY(sidebar);
        QStringList expected{"Tools", "Keyword Research", "Alerts", "3", "My Apps", "App 1", "Maker 1",
                             "Competitors", "App 2", "Maker 2"};
        expected.sort();
        for (int pass = 0; pass < 2; ++pass) {
            auto texts = renderedTexts(sidebar->viewport());
            texts.sort();
            QCOMPARE(texts, expected);
            m_store->raiseDataVersion();
        }
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
