#include "store/ASOStore.h"
#include "tracking/RankTracker.h"
#include "tracking/SilentNotifier.h"
#include "ui/alerts/AlertRow.h"
#include "ui/alerts/AlertsView.h"
#include "ui/cells/EmptyStateView.h"
#include "ui/cells/PickerWidth.h"
#include "ui/shell/MainWindow.h"

#include "DamagedDatabase.h"
#include "GatedSearchClient.h"
#include "RenderedTexts.h"
#include "SqlRowsRead.h"
#include "TestSettings.h"
#include "UiFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QToolTip>
#include <QTreeView>
#include <QtTest>

#include <ctime>

// Day boundaries are local: a zone away from UTC, with summer time, shows them.
static const bool berlin = [] { return qputenv("TZ", "Europe/Berlin"), tzset(), true; }();

namespace {

// "a1 o" is an alert of app a1, unread (o) or read (r), kind MOVED_UP unless a third token
// names a raw kind, created `minutesAgo` before a fixed moment, most recent first.
RankAlert alert(const QString &content, int minutesAgo = 0)
{
    const auto parts = content.split(u' ');
    RankAlert made;
    made.id = QUuid::createUuid();
    made.appleAppId = parts[0];
    made.appName = "App " + parts[0];
    made.keywordDisplay = "k" + QString::number(minutesAgo);
    made.country = "us";
    made.isRead = parts.value(1) == "r";
    made.kindRaw = parts.value(2, "MOVED_UP");
    made.createdAt = QDateTime(QDate(2026, 12, 7), QTime(12, 0), QTimeZone::utc()).addSecs(-60 * minutesAgo);
    return made;
}

// "12 r": each alert's row id and whether it is read.
QStringList readFlags(const QList<RankAlert> &alerts)
{
    QStringList listed;
    for (const auto &a : alerts)
        listed.append(QString::number(a.persistentId) + (a.isRead ? " r" : " o"));
    return listed;
}

QString appsOf(const QList<RankAlert> &alerts)
{
    QStringList apps;
    for (const auto &a : alerts)
        apps.append(a.appleAppId);
    return apps.join(' ');
}

}

class TestAlerts : public QObject
{
    Q_OBJECT

    TestSettings m_settings;
    std::shared_ptr<GatedSearchClient> m_client;
    std::unique_ptr<ASOStore> m_store;
    SilentNotifier m_notifier;
    std::unique_ptr<RankTracker> m_tracker;
    std::unique_ptr<AlertsView> m_view;

    void store(const QStringList &setups)
    {
        int age = 0;
        for (const auto &content : setups) {
            auto made = alert(content, age++);
            m_store->db().insert(made);
        }
        m_store->raiseDataVersion();
    }
    // `count` unread alerts, of app b every `bEvery`th, else of app a.
    void storeMany(int count, int bEvery)
    {
        QStringList setups;
        for (int i = 0; i < count; ++i)
            setups.append(i % bEvery ? "a o" : "b o");
        store(setups);
    }
    void open()
    {
        m_view = std::make_unique<AlertsView>(m_store.get(), m_tracker.get());
        m_view->show();
    }
    template<typename T> T *child(const QString &name) { return childOf<T>(m_view.get(), name); }
    bool shown(const QString &name) { return child<QWidget>(name)->isVisibleTo(m_view.get()); }

private Q_SLOTS:
    void init()
    {
        TestSettings::reset();
        m_client = std::make_shared<GatedSearchClient>();
        m_store = std::make_unique<ASOStore>(StoreDb::openInMemory(), m_client, std::make_shared<NoPopularity>());
        m_tracker = std::make_unique<RankTracker>(m_store.get(), &m_notifier);
    }

    void cleanup()
    {
        m_view.reset();
        m_tracker.reset();
        m_store.reset();
    }

    void filters_data()
    {
        QTest::addColumn<QString>("app");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("unreadOnly");
        QTest::addColumn<QString>("visible");
        QTest::newRow("none") << "" << "" << false << "a b a b";
        QTest::newRow("app") << "a" << "" << false << "a a";
        QTest::newRow("kind") << "" << "LEFT_TOP_10" << false << "b";
        QTest::newRow("unknown kind reads as moved up") << "" << "MOVED_UP" << false << "a b";
        QTest::newRow("unread") << "" << "" << true << "a a";
        QTest::newRow("all three") << "a" << "NEW_RANKING" << true << "a";
    }

    void filters()
    {
        QFETCH(QString, app);
        QFETCH(QString, kind);
        QFETCH(bool, unreadOnly);
        const QList<RankAlert> alerts{alert("a o NEW_RANKING", 0), alert("b r LEFT_TOP_10", 1), alert("a o MOVED_UP", 2),
                                      alert("b r SOMETHING_ELSE", 3)};
        AlertsView::Filters filters;
        if (!app.isEmpty())
            filters.app = app;
        filters.kind = RankAlertKinds::fromRaw(kind);
        filters.unreadOnly = unreadOnly;
        QTEST(appsOf(AlertsView::visibleAlerts(alerts, filters)), "visible");
    }

    void days_data()
    {
        QTest::addColumn<QDateTime>("older");
        QTest::addColumn<QDateTime>("newer");
        QTest::addColumn<QStringList>("days");  // a third alert lies a day before the older one
        QTest::addColumn<QString>("order"); // the apps of each day
        // Berlin is UTC+1 in winter and UTC+2 in summer.
        QTest::newRow("winter midnight") << QDateTime(QDate(2026, 12, 6), QTime(22, 59, 59), QTimeZone::utc())
                                         << QDateTime(QDate(2026, 12, 6), QTime(23, 0), QTimeZone::utc())
                                         << QStringList{"2026-12-07", "2026-12-06", "2026-12-05"} << "a|b|c|";
        QTest::newRow("summer midnight") << QDateTime(QDate(2026, 7, 6), QTime(21, 59, 59), QTimeZone::utc())
                                         << QDateTime(QDate(2026, 7, 6), QTime(22, 0), QTimeZone::utc())
                                         << QStringList{"2026-07-07", "2026-07-06", "2026-07-05"} << "a|b|c|";
        QTest::newRow("same local day across the UTC date") << QDateTime(QDate(2026, 12, 6), QTime(23, 30), QTimeZone::utc())
                                                             << QDateTime(QDate(2026, 12, 7), QTime(0, 30), QTimeZone::utc())
                                                             << QStringList{"2026-12-07", "2026-12-06"} << "a b|c|";
    }

    void days()
    {
        QFETCH(QDateTime, older);
        QFETCH(QDateTime, newer);
        auto first = alert("a o"), second = alert("b o"), third = alert("c o");
        first.createdAt = newer;
        second.createdAt = older;
        third.createdAt = older.addDays(-1);
        QStringList days;
        QString order;
        for (const auto &section : AlertsView::groupByDay({first, second, third})) {
            days.append(section.day.toString(Qt::ISODate));
            order += appsOf(section.items) + '|';
        }
        QTEST(days, "days");
        QTEST(order, "order");
    }

    void appChoices_data()
    {
        QTest::addColumn<QStringList>("alerts"); // "id name", newest first
        QTest::addColumn<QStringList>("choices");
        QTest::newRow("renamed: newest name") << QStringList{"1 New", "2 Other", "1 Old"} << QStringList{"1 New", "2 Other"};
        QTest::newRow("same name stays apart, in alert order") << QStringList{"2 Same", "1 Same", "2 Same"}
                                                               << QStringList{"2 Same", "1 Same"};
        QTest::newRow("case-sensitive order") << QStringList{"1 alpha", "2 Zeta", "3 Beta"}
                                              << QStringList{"3 Beta", "2 Zeta", "1 alpha"};
        // U+FF21 comes before U+1D400, whose UTF-16 form starts lower.
        QTest::newRow("code point order") << QStringList{"1 \U0001D400pp", "2 \uFF21pp"}
                                          << QStringList{"2 \uFF21pp", "1 \U0001D400pp"};
    }

    void appChoices()
    {
        QFETCH(QStringList, alerts);
        QList<RankAlert> list;
        for (const auto &content : alerts) {
            auto made = alert(content.section(' ', 0, 0));
            made.appName = content.section(' ', 1);
            list.append(made);
        }
        QStringList choices;
        for (const auto &choice : AlertsView::appChoices(list))
            choices.append(choice.id + ' ' + choice.name);
        QTEST(choices, "choices");
    }

    void rowTexts_data()
    {
        QTest::addColumn<QString>("kindRaw");
        QTest::addColumn<QVariant>("from");
        QTest::addColumn<QVariant>("to");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<QString>("ranks");
        QTest::newRow("entered") << "ENTERED_TOP_10" << QVariant(12) << QVariant(7) << "App a · Entered top 10" << "#12 → #7";
        QTest::newRow("lost, no grouping") << "LOST_RANKING" << QVariant(1000) << QVariant() << "App a · Lost ranking"
                                          << "#1000 → not ranked";
        QTest::newRow("unknown kind, no ranks") << "?" << QVariant() << QVariant() << "App a · Moved up"
                                                << "not ranked → not ranked";
    }

    void rowTexts()
    {
        QFETCH(QString, kindRaw);
        QFETCH(QVariant, from);
        QFETCH(QVariant, to);
        auto made = alert("a o " + kindRaw);
        made.country = "xy";
        if (from.isValid())
            made.fromRank = from.toLongLong();
        if (to.isValid())
            made.toRank = to.toLongLong();
        QTEST(AlertRow::detailText(made), "detail");
        QTEST(AlertRow::ranksText(made), "ranks");
        QCOMPARE(AlertRow::flagTooltip(made), "XY");
    }

    void screen_data()
    {
        QTest::addColumn<QStringList>("alerts"); // newest first
        QTest::addColumn<QString>("app");        // chosen in the picker, "" for all
        QTest::addColumn<QString>("empty");      // title of the empty state, "" when the list shows
        QTest::addColumn<QString>("enabled");    // Mark All Read, Clear
        QTest::addColumn<QString>("title");      // of the confirmation
        QTest::newRow("nothing stored") << QStringList{} << "" << "No alerts yet" << "00" << "";
        QTest::newRow("all read") << QStringList{"a r", "b r"} << "" << "" << "01" << "Delete 2 alerts?";
        QTest::newRow("one visible") << QStringList{"a o", "b r"} << "a" << "" << "11" << "Delete 1 alert?";
    }

    void screen()
    {
        QFETCH(QStringList, alerts);
        QFETCH(QString, app);
        QFETCH(QString, enabled);
        store(alerts);
        open();
        auto *picker = child<QComboBox>("appFilter");
        if (!app.isEmpty())
            picker->activated(picker->findText("App " + app));
        const auto *empty = child<EmptyStateView>("alertsEmptyState");
        QTEST(empty->isVisibleTo(m_view.get()) ? empty->title() : QString(), "empty");
        QCOMPARE(QString("%1%2").arg(int(child<QPushButton>("markAllRead")->isEnabled())).arg(int(child<QPushButton>("clear")->isEnabled())),
                 enabled);
        QMessageBox *box = m_view->confirmClear();
        QTEST(box ? box->text() : QString(), "title");
        if (box)
            box->reject();

        // With the unread filter on nothing matches any more.
        child<QCheckBox>("unreadOnly")->setChecked(true);
        child<QComboBox>("kindFilter")->setCurrentIndex(child<QComboBox>("kindFilter")->findText("Left top 10"));
        QCOMPARE(empty->title(), alerts.isEmpty() ? "No alerts yet" : "No matching alerts");
        QVERIFY(!child<QPushButton>("markAllRead")->isEnabled() && !child<QPushButton>("clear")->isEnabled());
    }

    void clearDeletesWhatWasCounted()
    {
        store({"a o", "b o", "a r"});
        open();
        auto *picker = child<QComboBox>("appFilter");
        picker->activated(picker->findText("App a"));
        QCOMPARE(picker->count(), 3);
        QMessageBox *box = m_view->confirmClear();
        QCOMPARE(box->text(), "Delete 2 alerts?");
        QCOMPARE(box->windowTitle(), "Clear Alerts");
        QCOMPARE(box->informativeText(), "Ranking history is kept; only these alerts are removed.");
        // The tracker finds a new change of app a while the question is open.
        auto late = alert("a o", -5);
        m_store->db().insert(late);
        m_store->raiseDataVersion();
        QCOMPARE(m_view->visibleAlerts().size(), 3);
        box->findChild<QPushButton *>("confirmDelete")->click();
        QStringList left;
        for (const auto &a : m_store->alerts())
            left.append(a.appleAppId + (a.id == late.id ? "*" : ""));
        QCOMPARE(left, QStringList({"a*", "b"}));
        QCOMPARE(m_view->visibleAlerts().size(), 1);
    }

    void clickMarksReadOnly()
    {
        store({"a o", "b r"});
        open();
        child<QCheckBox>("unreadOnly")->setChecked(true);
        auto *list = child<QTreeView>("alertsList");
        QCOMPARE(list->model()->rowCount(), 1);
        const auto row = list->model()->index(0, 0, list->model()->index(0, 0));
        list->clicked(row);
        // The unread filter drops the read alert and its day.
        QCOMPARE(list->model()->rowCount(), 0);
        QCOMPARE(m_store->unreadAlertCount(), 0);
        // A click on a read alert leaves it read; the menu's toggle turns it back.
        const auto read = m_store->alerts().first();
        m_view->markRead(read);
        QCOMPARE(m_store->unreadAlertCount(), 0);
        m_view->toggleRead(read);
        QCOMPARE(m_store->unreadAlertCount(), 1);
    }

    void versionRaiseKeepsPlace()
    {
        QStringList setups;
        for (int i = 0; i < 60; ++i)
            setups.append(i % 2 ? "a o" : "b o");
        store(setups);
        open();
        m_view->resize(600, 300);
        auto *list = child<QTreeView>("alertsList");
        const auto day = list->model()->index(0, 0);
        list->setCurrentIndex(list->model()->index(40, 0, day));
        list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum() / 2);
        const int scroll = list->verticalScrollBar()->value();
        QVERIFY(scroll > 0);
        m_store->raiseDataVersion();
        QCOMPARE(list->currentIndex().data(AlertRow::alertRole).value<RankAlert>().id,
                 m_view->visibleAlerts()[40].id);
        QCOMPARE(list->verticalScrollBar()->value(), scroll);
        // Without a selection to scroll to.
        list->setCurrentIndex({});
        m_store->raiseDataVersion();
        QCOMPARE(list->verticalScrollBar()->value(), scroll);
    }

    // After each change the list reads only what changed where it can; it must show what a
    // list opened afresh shows: the same days, alerts, read flags, picker and buttons.
    void followsChangesLikeAFreshRead_data()
    {
        QTest::addColumn<QString>("filter"); // "unread", an app, or "" for none
        QTest::addColumn<QStringList>("steps");
        // "+a o 5" adds an alert of app a, unread, 5 minutes after the fixed moment; "read" marks
        // all listed read; "read 1" marks the second listed read; "del 0" deletes the first
        // listed; "undo" adds an alert in a transaction that is rolled back.
        const QStringList mixed{"+a o 5", "+c o 6", "read 1", "+a r 7", "read", "+b o 8", "del 0", "undo", "+a o 9"};
        QTest::newRow("no filter") << "" << mixed;
        QTest::newRow("unread only") << "unread" << mixed;
        QTest::newRow("one app") << "a" << mixed;
        QTest::newRow("a new day") << "" << QStringList{"+a o 5", "+b o 800", "+a o 801"};
        QTest::newRow("made earlier than the newest") << "" << QStringList{"+a o 5", "+b o -30", "+a o 6"};
        // The ids of deleted alerts are never given again: an alert made after the newest went is
        // listed, however it went. "clear" deletes all listed; "remove b" removes app b.
        QTest::newRow("after the newest was deleted") << "" << QStringList{"+a o 5", "del 0", "+b o 6", "del 0", "+a o 7"};
        QTest::newRow("after a clear") << "" << QStringList{"+a o 5", "clear", "+b o 6", "+a o 7"};
        QTest::newRow("after a clear of one app") << "a" << QStringList{"+a o 5", "clear", "+a o 6"};
        QTest::newRow("after the newest's app was removed") << "" << QStringList{"+b o 5", "remove b", "+a o 6"};
        QTest::newRow("a day of the removed app's alerts alone") << "" << QStringList{"+b o 800", "+a o 5", "remove b", "+a o 801"};
        QTest::newRow("the selected alert's app removed") << "unread" << QStringList{"remove a", "+b o 6"};
    }

    void followsChangesLikeAFreshRead()
    {
        QFETCH(QString, filter);
        QFETCH(QStringList, steps);
        store({"a o", "b r", "a o"});
        open();
        if (filter == u"unread")
            child<QCheckBox>("unreadOnly")->setChecked(true);
        else if (!filter.isEmpty())
            child<QComboBox>("appFilter")->activated(child<QComboBox>("appFilter")->findText("App " + filter));
        auto *list = child<QTreeView>("alertsList");
        list->setCurrentIndex(list->model()->index(0, 0, list->model()->index(0, 0)));
        const auto selected = list->currentIndex().data(AlertRow::alertRole).value<RankAlert>().id;
        const auto shown = [](AlertsView *view) {
            const auto *model = childOf<QTreeView>(view, "alertsList")->model();
            QStringList rows;
            for (int d = 0; d < model->rowCount(); ++d) {
                rows.append(model->index(d, 0).data().toString());
                for (int r = 0; r < model->rowCount(model->index(d, 0)); ++r) {
                    const auto alert = model->index(r, 0, model->index(d, 0)).data(AlertRow::alertRole).value<RankAlert>();
                    rows.append(alert.appleAppId + alert.keywordDisplay + (alert.isRead ? " r" : " o"));
                }
            }
            auto *picker = childOf<QComboBox>(view, "appFilter");
            for (int i = 0; i < picker->count(); ++i)
                rows.append(picker->itemText(i));
            rows.append(QString("%1%2").arg(childOf<QPushButton>(view, "markAllRead")->isEnabled())
                            .arg(childOf<QPushButton>(view, "clear")->isEnabled()));
            return rows;
        };
        for (const auto &step : steps) {
            const auto part = step.split(u' ');
            const auto listed = m_view->visibleAlerts();
            if (step.startsWith(u'+')) {
                auto made = alert(step.mid(1).section(u' ', 0, 1), -part[2].toInt());
                m_store->db().insert(made);
                Q_EMIT m_store->saved();
                m_store->raiseDataVersion();
            } else if (part[0] == u"read") {
                m_store->markAlertsRead(part.size() > 1 ? QList{listed.value(part[1].toInt())} : listed, true);
            } else if (part[0] == u"del") {
                m_view->deleteAlert(listed.value(part[1].toInt()));
            } else if (part[0] == u"clear") {
                m_view->confirmClear()->findChild<QPushButton *>("confirmDelete")->click();
            } else if (part[0] == u"remove") {
                TrackedApp app(AppInfo{part[1], "App " + part[1]}, false);
                QVERIFY(m_store->db().insert(app));
                // Until its rows are gone.
                QSignalSpy ended(m_store.get(), &ASOStore::removalsEnded);
                m_store->deleteApp(app);
                QVERIFY(ended.wait());
            } else {
                StoreDb::Transaction doomed(m_store->db());
                auto made = alert("z o", -1000);
                m_store->db().insert(made);
            }
            m_store->raiseDataVersion();
            AlertsView fresh(m_store.get(), m_tracker.get());
            fresh.setFilters(m_view->filters());
            QCOMPARE(shown(m_view.get()), shown(&fresh));
        }
        // The selected alert stays selected while it is listed.
        const auto current = list->currentIndex().data(AlertRow::alertRole).value<RankAlert>().id;
        const auto listed = m_view->visibleAlerts();
        if (std::any_of(listed.begin(), listed.end(), [&](const RankAlert &a) { return a.id == selected; }))
            QCOMPARE(current, selected);
    }

    // A run adds alerts and "Mark All Read" flips their flags: the list inserts the added alerts
    // and takes over the flags, reading only those, never every alert with a reset of the list.
    void followsByReadingOnlyWhatChanged()
    {
        store({"a o", "b o", "a o"});
        open();
        const auto *model = child<QTreeView>("alertsList")->model();
        QSignalSpy resets(model, &QAbstractItemModel::modelReset);
        QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
        const SqlRowsRead wholeAlerts(" FROM rank_alert r ");
        for (const int minutesAgo : {-6, -5}) {
            auto made = alert("b o", minutesAgo);
            m_store->db().insert(made);
        }
        m_store->raiseDataVersion();
        QCOMPARE(wholeAlerts.rows, 2);
        QCOMPARE(inserted.size(), 1);
        QCOMPARE(inserted[0].mid(1), (QVariantList{0, 1}));
        QCOMPARE(model->rowCount(model->index(0, 0)), 5);

        child<QPushButton>("markAllRead")->click();
        QCOMPARE(wholeAlerts.rows, 2);
        const auto listed = m_view->visibleAlerts();
        QVERIFY(std::all_of(listed.begin(), listed.end(), [](const RankAlert &a) { return a.isRead; }));
        QVERIFY(!child<QPushButton>("markAllRead")->isEnabled());
        QCOMPARE(resets.size(), 0);
    }

    // A click that marks one alert read, or deletes it, is followed from what it changed: no
    // alert is read again and the list is not laid out anew. Edits the view missed, more than
    // the store keeps, make it read every flag again, and it still shows what a fresh one does.
    void followsSingleEditsFromWhatTheyChanged_data()
    {
        QTest::addColumn<int>("edits");
        QTest::addColumn<bool>("readAgain");
        QTest::newRow("one at a time") << 6 << false;
        QTest::newRow("missed, more than kept") << 1100 << true;
    }

    void followsSingleEditsFromWhatTheyChanged()
    {
        QFETCH(int, edits);
        QFETCH(bool, readAgain);
        storeMany(2400, 2);
        open();
        const auto *model = child<QTreeView>("alertsList")->model();
        QSignalSpy resets(model, &QAbstractItemModel::modelReset);
        const SqlRowsRead alertsRead(" FROM rank_alert r ");
        {
            std::optional<QSignalBlocker> missed;
            if (readAgain)
                missed.emplace(m_store.get());
            for (int i = 0; i < edits; ++i) {
                const auto listed = m_view->visibleAlerts();
                if (i % 2)
                    m_view->deleteAlert(listed.at(i));
                else
                    m_view->markRead(listed.at(i));
            }
        }
        m_store->raiseDataVersion();
        QCOMPARE(alertsRead.rows > 0, readAgain);
        QCOMPARE(resets.size() > 0, readAgain);
        QCOMPARE(m_view->visibleAlerts().size(), 2400 - edits / 2);
        AlertsView fresh(m_store.get(), m_tracker.get());
        QCOMPARE(readFlags(m_view->visibleAlerts()), readFlags(fresh.visibleAlerts()));
    }

    // Edits of many alerts are written in the background after the click: the page, which shows
    // them from the click on, reads no alert again when they are written.
    void editsWrittenLaterAreNotReadAgain_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("mark all read") << "markAllRead";
        QTest::newRow("clear") << "clear";
    }

    void editsWrittenLaterAreNotReadAgain()
    {
        QFETCH(QString, button);
        // More of app a than are saved at the click.
        storeMany(1800, 3);
        open();
        child<QComboBox>("appFilter")->activated(child<QComboBox>("appFilter")->findText("App a"));
        const SqlRowsRead alertsRead(" FROM rank_alert r ");
        if (button == u"clear")
            m_view->confirmClear()->findChild<QPushButton *>("confirmDelete")->click();
        else
            child<QPushButton>(button)->click();
        QVERIFY(!m_store->isIdle());
        while (!m_store->isIdle())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        m_store->raiseDataVersion();
        QCOMPARE(alertsRead.rows, 0);
        AlertsView fresh(m_store.get(), m_tracker.get());
        fresh.setFilters(m_view->filters());
        QCOMPARE(readFlags(m_view->visibleAlerts()), readFlags(fresh.visibleAlerts()));
        // Those of app b are left unread.
        QCOMPARE(m_store->unreadAlertCount(), 600);
    }

    // An app's removal takes its alerts out of the list where they are: no alert is read again
    // and the list is not laid out anew, so the selected alert and the expanded days stay.
    void followsARemovalInPlace()
    {
        store({"a o", "b o", "a o", "b r"});
        auto made = alert("b o", 24 * 60);
        m_store->db().insert(made);
        m_store->raiseDataVersion();
        open();
        auto *list = child<QTreeView>("alertsList");
        const auto *model = list->model();
        QCOMPARE(model->rowCount(), 2);
        const auto today = model->index(0, 0);
        list->setCurrentIndex(model->index(2, 0, today));
        const auto selected = list->currentIndex().data(AlertRow::alertRole).value<RankAlert>();
        QCOMPARE(selected.appleAppId, "a");
        QSignalSpy resets(model, &QAbstractItemModel::modelReset);
        TrackedApp app(AppInfo{"b", "App b"}, false);
        QVERIFY(m_store->db().insert(app));
        QSignalSpy ended(m_store.get(), &ASOStore::removalsEnded);
        {
            const SqlRowsRead alertsRead(" FROM rank_alert r ");
            m_store->deleteApp(app);
            QCOMPARE(alertsRead.rows, 0);
        }
        QCOMPARE(resets.size(), 0);
        // The day of b's alert alone is gone.
        QCOMPARE(model->rowCount(), 1);
        QCOMPARE(appsOf(m_view->visibleAlerts()), "a a");
        QVERIFY(list->isExpanded(model->index(0, 0)));
        QCOMPARE(list->currentIndex().data(AlertRow::alertRole).value<RankAlert>().id, selected.id);
        QVERIFY(ended.wait());
    }

    // Past an alert whose id is beyond any given (only damage leaves one), the list still takes
    // in each alert made after it once.
    void followsAlertsMadeBelowADamagedId()
    {
        QTemporaryDir dir;
        const auto path = dir.filePath("vantu.sqlite");
        {
            auto made = alert("a o");
            QVERIFY(StoreDb::openFile(path)->insert(made));
        }
        DamagedDatabase::rawQuery(path, {"UPDATE rank_alert SET pk = 9223372036854775807"});
        ASOStore store(StoreDb::openFile(path), m_client, std::make_shared<NoPopularity>());
        RankTracker tracker(&store, &m_notifier);
        AlertsView view(&store, &tracker);
        auto made = alert("b o", -1);
        QVERIFY(store.db().insert(made));
        store.raiseDataVersion();
        QCOMPARE(appsOf(view.visibleAlerts()), "b a");
    }

    // Alerts come and go while the app picker's list is open: the entry under the pointer stays
    // highlighted, whatever happens to the other entries, and the list is laid out for its new
    // entries: all of them shown whole, and at least as wide as the picker, under which it stays.
    void pickerKeepsHighlightWhileOpen_data()
    {
        QTest::addColumn<QString>("change"); // "+<app> [name]" adds an alert, "-<app>" deletes its alerts
        QTest::addColumn<QStringList>("entries");
        const QString longName = "A Remarkably Long Name That Widens The Picker";
        QTest::newRow("alert of a listed app") << "+c" << QStringList{"All apps", "App a", "App b", "App c"};
        QTest::newRow("alert of a new app") << "+0" << QStringList{"All apps", "App 0", "App a", "App b", "App c"};
        QTest::newRow("new app with a long name")
            << "+0 " + longName << QStringList{"All apps", longName, "App a", "App b", "App c"};
        QTest::newRow("app renamed") << "+c Aardvark" << QStringList{"All apps", "Aardvark", "App a", "App b"};
        QTest::newRow("app's alerts deleted") << "-a" << QStringList{"All apps", "App b", "App c"};
    }

    void pickerKeepsHighlightWhileOpen()
    {
        QFETCH(QString, change);
        store({"a o", "b o", "c o"});
        open();
        // Wide enough for the toolbar's stretch: a picker that grows moves left.
        m_view->resize(900, 400);
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
        auto *picker = child<QComboBox>("appFilter");
        picker->showPopup();
        auto *entries = picker->view();
        auto *list = entries->window();
        entries->setCurrentIndex(picker->model()->index(picker->findText("App b"), 0));
        const auto app = change.mid(1).section(u' ', 0, 0);
        if (change.startsWith(u'+')) {
            auto made = alert(app + " o", -5);
            if (change.contains(u' '))
                made.appName = change.section(u' ', 1);
            m_store->db().insert(made);
            m_store->raiseDataVersion();
        } else {
            auto gone = m_store->alerts();
            gone.removeIf([&](const RankAlert &a) { return a.appleAppId != app; });
            m_view->deleteAlert(gone.first());
        }
        QVERIFY(entries->isVisible());
        QCOMPARE(entries->currentIndex().data().toString(), "App b");
        QStringList shown;
        for (int i = 0; i < picker->count(); ++i)
            shown.append(picker->itemText(i));
        QTEST(shown, "entries");

        // As shown once the window has handled the change.
        const auto misplaced = [&] {
            QStringList faults;
            const auto viewport = entries->viewport()->rect();
            QRect last;
            for (int i = 0; i < picker->count(); ++i) {
                last = entries->visualRect(picker->model()->index(i, 0));
                if (last.top() < 0 || last.bottom() > viewport.bottom())
                    faults.append(picker->itemText(i) + " out of view");
                if (entries->fontMetrics().horizontalAdvance(picker->itemText(i)) >= viewport.width())
                    faults.append(picker->itemText(i) + " cut");
            }
            if (viewport.bottom() - last.bottom() >= last.height())
                faults.append(QStringLiteral("a blank row below the entries"));
            if (list->width() < picker->width() || list->x() != picker->mapToGlobal(QPoint(0, 0)).x())
                faults.append(QStringLiteral("the list is not at the picker"));
            return faults;
        };
        QStringList faults;
        QTRY_VERIFY2((faults = misplaced()).isEmpty(), qPrintable(faults.join(u'\n')));
        picker->hidePopup();
    }

    // The kind picker is as wide as its open list needs, and the list draws every entry whole
    // rather than cut in the middle ("Enter…op 10").
    void kindListShowsEntriesWhole()
    {
        open();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
        auto *picker = child<QComboBox>("kindFilter");
        QVERIFY(picker->width() >= PickerWidth::forWholeEntries(picker));
        picker->showPopup();
        QVERIFY(QTest::qWaitForWindowExposed(picker->view()->window()));
        const auto drawn = renderedTexts(picker->view()->viewport());
        for (int i = 0; i < picker->count(); ++i)
            QVERIFY2(drawn.contains(picker->itemText(i)), qPrintable(drawn.join(" | ")));
        picker->hidePopup();
    }

    // In the least window a long app name is cut in its picker, which leaves the kind picker and
    // the unread box their room, and reads whole in the picker's tooltip, also once the chosen app
    // is renamed (the picker's entries change with its signals blocked) and once it has sized
    // itself to them. In a large window the picker takes the room there is and shows the name whole.
    void longAppNameLeavesRoom_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("cut");
        QTest::newRow("1000×640") << QSize(1000, 640) << true;
        QTest::newRow("1440×900") << QSize(1440, 900) << false;
    }

    void longAppNameLeavesRoom()
    {
        QFETCH(QSize, size);
        QFETCH(bool, cut);
        store({"a o"});
        MainWindow window(m_store.get(), m_tracker.get(), nullptr);
        window.resize(size);
        window.show();
        window.setSelection(QStringLiteral("tool.alerts"));
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *picker = childOf<QComboBox>(&window, "appFilter");
        // What it picks, while its text is whole.
        QCOMPARE(tooltipAt(picker, picker->rect().center()), "App");
        picker->setCurrentIndex(1);
        Q_EMIT picker->activated(1);
        int later = 0;
        for (const QString name : {"Lumen Photo Editor: Collage Maker, Filters, Retouch & Layout Studio Pro",
                                   "Brightframe Studio – Photo Collage, Frames & Portrait Retouch Editor"}) {
            auto renamed = alert("a o", --later);
            renamed.appName = name;
            m_store->db().insert(renamed);
            m_store->raiseDataVersion();
            QTRY_COMPARE(picker->currentText(), name);
            // Once the row has given the picker its width.
            QStringList drawn;
            if (cut)
                QTRY_VERIFY2((drawn = renderedTexts(picker)).size() == 1 && drawn[0].endsWith(u'…')
                                 && name.startsWith(drawn[0].chopped(1)),
                             qPrintable(drawn.join(" | ")));
            else
                QTRY_COMPARE(renderedTexts(picker), QStringList{name});
            QCOMPARE(tooltipShows(tooltipAt(picker, picker->rect().center())), cut ? name : "App");
            QToolTip::hideText();
            // As the picker does on its own a moment after its entries change.
            picker->updateGeometry();
            picker->adjustSize();
            const auto kind = childOf<QWidget>(&window, "kindFilter")->geometry();
            const auto unread = childOf<QWidget>(&window, "unreadOnly")->geometry();
            QVERIFY(picker->geometry().right() < kind.left() && kind.right() < unread.left());
            QVERIFY(unread.right() < childOf<QWidget>(&window, "markAllRead")->geometry().left());
        }
        QCOMPARE(window.size(), size);
    }

    // Alerts come and go while the picker's list is closed, however it was last closed: the list
    // stays closed and nothing drops open over the screen.
    void pickerStaysClosed_data()
    {
        QTest::addColumn<QString>("before"); // how the list was closed: "", "hidden", "chosen" or "escaped"
        QTest::addColumn<bool>("added");     // an alert of a new app, else the only alert of app c deleted
        for (const QString before : {"", "hidden", "chosen", "escaped"}) {
            const QByteArray tag = before.isEmpty() ? "never opened" : before.toLatin1();
            QTest::newRow(tag + ", app added") << before << true;
            QTest::newRow(tag + ", app gone") << before << false;
        }
    }

    void pickerStaysClosed()
    {
        QFETCH(QString, before);
        QFETCH(bool, added);
        store({"a o", "b o", "c o"});
        open();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
        auto *picker = child<QComboBox>("appFilter");
        auto *entries = picker->view();
        if (!before.isEmpty()) {
            picker->showPopup();
            QVERIFY(QTest::qWaitForWindowExposed(entries->window()));
            if (before == u"hidden")
                picker->hidePopup();
            else if (before == u"chosen")
                QTest::mouseClick(entries->viewport(), Qt::LeftButton, {},
                                  entries->visualRect(picker->model()->index(picker->findText("App b"), 0)).center());
            else
                QTest::keyClick(entries, Qt::Key_Escape);
            QVERIFY(!entries->window()->isVisible());
        }
        if (added) {
            auto made = alert("0 o", -5);
            m_store->db().insert(made);
            m_store->raiseDataVersion();
        } else {
            m_view->deleteAlert(m_store->alerts().constLast());
        }
        QCOMPARE(picker->count(), added ? 5 : 3);
        QCoreApplication::processEvents();
        QVERIFY(!entries->window()->isVisible());
        QCOMPARE(QApplication::activePopupWidget(), nullptr);
    }

    void stopOnlyForManualRun_data()
    {
        QTest::addColumn<bool>("manual"); // started by "Check Now", else as the daily loop starts it
        QTest::newRow("Check Now") << true;
        QTest::newRow("daily run") << false;
    }

    void stopOnlyForManualRun()
    {
        QFETCH(bool, manual);
        trackApps(*m_store, "o1");
        m_store->addKeywords({"k1"}, *m_store->app("1"));
        open();
        std::optional<QCoro::Task<>> daily;
        if (manual)
            child<QPushButton>("checkNow")->click();
        else
            daily = m_tracker->runAll();
        QTRY_COMPARE(m_client->waiting, 1);
        QCOMPARE(shown("stop"), manual);
        QCOMPARE(shown("checkNow"), !manual);
        QVERIFY(!child<QPushButton>("checkNow")->isEnabled());
        // A second press while a run is going starts nothing.
        const auto handle = m_tracker->manualRun();
        m_view->checkNow();
        QCOMPARE(m_tracker->manualRun(), handle);
        if (manual) {
            child<QPushButton>("stop")->click();
            QVERIFY(m_tracker->manualRun()->isCancelled());
        }
        m_client->open();
        QTRY_VERIFY(!m_tracker->isRunning());
        QVERIFY(!shown("stop"));
        QVERIFY(shown("checkNow") && child<QPushButton>("checkNow")->isEnabled());
    }
};

QTEST_MAIN(TestAlerts)
#include "tst_alerts.moc"
