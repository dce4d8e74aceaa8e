#include "clients/Storefront.h"
#include "store/ASOStore.h"
#include "tracking/LoginItem.h"
#include "tracking/RankTracker.h"
#include "tracking/TrackingSchedule.h"
#include "ui/cells/Formatters.h"
#include "ui/settings/SettingsWindow.h"
#include "ui/settings/TrackingStatusLine.h"

#include "FocusedFields.h"
#include "GatedSearchClient.h"
#include "RenderedTexts.h"
#include "TestSettings.h"
#include "UiFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QtTest>

#include <QCoroSignal>

#include <ctime>

static const bool utc = [] { return qputenv("TZ", "UTC"), tzset(), true; }();

class TestSettingsWindow : public QObject
{
    Q_OBJECT

    struct Notifier : TrackingNotifying
    {
        CancelTokenPtr gate; // the answer waits until it is cancelled
        bool grant = false;
        int answered = 0; // the asker takes each answer as it is given
        QCoro::Task<bool> requestAuthorization() override
        {
            co_await qCoro(gate.get(), &CancelToken::cancelled);
            ++answered;
            co_return grant;
        }
        QCoro::Task<> notify(QString, QString) override { co_return; }
    };

    TestSettings m_settings;
    std::shared_ptr<GatedSearchClient> m_client;
    std::unique_ptr<ASOStore> m_store;
    Notifier m_notifier;
    std::unique_ptr<RankTracker> m_tracker;
    std::unique_ptr<SettingsWindow> m_window;

    void open(int tab = 0)
    {
        m_window = std::make_unique<SettingsWindow>(m_tracker.get());
        child<QTabWidget>("settingsTabs")->setCurrentIndex(tab);
        m_window->show();
    }
    template<typename T> T *child(const QString &name) { return childOf<T>(m_window.get(), name); }
    bool shown(const QString &name) { return child<QWidget>(name)->isVisibleTo(m_window.get()); }

private Q_SLOTS:
    void init()
    {
        TestSettings::reset();
        m_client = std::make_shared<GatedSearchClient>();
        m_notifier.gate = CancelToken::create();
        m_notifier.answered = 0;
        m_store = std::make_unique<ASOStore>(StoreDb::openInMemory(), m_client, std::make_shared<NoPopularity>());
        m_tracker = std::make_unique<RankTracker>(m_store.get(), &m_notifier);
    }

    void cleanup()
    {
        m_window.reset();
        m_tracker.reset();
        m_store.reset();
    }

    void steppers_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("stored"); // invalid: nothing stored
        QTest::addColumn<QString>("presses"); // "+" up, "-" down
        QTest::addColumn<QStringList>("shown"); // as opened, then after each press
        QTest::addColumn<int>("writes");
        QTest::newRow("cache down to its bottom") << "cacheMinutes" << QVariant() << "-----"
            << QStringList{"Cache: 60 min", "Cache: 45 min", "Cache: 30 min", "Cache: 15 min", "Cache: 1 min", "Cache: 1 min"} << 4;
        QTest::newRow("cache up from 1") << "cacheMinutes" << QVariant(1) << "++"
                                         << QStringList{"Cache: 1 min", "Cache: 16 min", "Cache: 31 min"} << 2;
        QTest::newRow("results at 200") << "searchLimit" << QVariant() << "+-"
            << QStringList{"Results per search: 200", "Results per search: 200", "Results per search: 190"} << 1;
        QTest::newRow("results at 10") << "searchLimit" << QVariant(10) << "-"
                                       << QStringList{"Results per search: 10", "Results per search: 10"} << 0;
        QTest::newRow("threshold at 50") << "alertMoveThreshold" << QVariant(50) << "+-"
            << QStringList{"Alert when a keyword moves 50+ places", "Alert when a keyword moves 50+ places",
                           "Alert when a keyword moves 49+ places"} << 1;
        // Shown clamped; the stored value stays until the user changes it.
        QTest::newRow("stored above the range") << "searchLimit" << QVariant(500) << "" << QStringList{"Results per search: 200"} << 0;
        QTest::newRow("stored text") << "requestsPerMinute" << QVariant("abc") << "" << QStringList{"Requests per minute: 1"} << 0;
        QTest::newRow("stored below, then pressed") << "relatedApps" << QVariant(-3) << "+"
                                                    << QStringList{"Related apps per round: 0", "Related apps per round: 1"} << 1;
    }

    void steppers()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, stored);
        QFETCH(QString, presses);
        QFETCH(int, writes);
        if (stored.isValid())
            TestSettings::set(key, stored);
        QSignalSpy changes(&Settings::shared(), &Settings::changed);
        open();
        auto *stepper = child<QSpinBox>(key);
        QStringList shown{stepper->text()};
        for (const QChar press : presses) {
            stepper->stepBy(press == '+' ? 1 : -1);
            shown.append(stepper->text());
        }
        QTEST(shown, "shown");
        QCOMPARE(changes.size(), writes);
        const auto &settings = Settings::shared();
        QCOMPARE(settings.contains(key) ? settings.value(key) : QVariant(), writes ? QVariant(stepper->value()) : stored);
    }

    void favorites_data()
    {
        QTest::addColumn<QVariant>("stored"); // invalid: the default favourites
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("on");
        QTest::addColumn<QString>("afterClick");
        QTest::newRow("default, Germany off") << QVariant() << "de" << true << "us,gb,tr,br";
        QTest::newRow("Germany on goes last") << QVariant("us,gb,tr,br") << "de" << false << "us,gb,tr,br,de";
        QTest::newRow("every copy and empty piece goes") << QVariant(",de,us,,de,gb,") << "de" << true << "us,gb";
        QTest::newRow("other copies stay") << QVariant("us,,gb,us") << "fr" << false << "us,gb,us,fr";
        QTest::newRow("last favourite off") << QVariant("us") << "us" << true << "";
        QTest::newRow("codes not shown are kept, compared exactly") << QVariant("zz,US,gb") << "us" << false << "zz,US,gb,us";
    }

    void favorites()
    {
        QFETCH(QVariant, stored);
        QFETCH(QString, code);
        QFETCH(bool, on);
        if (stored.isValid())
            TestSettings::set("favoriteCountries", stored);
        open(2);
        auto *toggle = child<QCheckBox>("favorite." + code);
        QCOMPARE(toggle->isChecked(), on);
        toggle->click();
        QTEST(*Settings::shared().string("favoriteCountries"), "afterClick");
        QCOMPARE(toggle->isChecked(), !on);

        // Columns of at least 170 pixels, side by side, in a window 560 wide.
        QCOMPARE(m_window->width(), 560);
        QCOMPARE(m_window->findChildren<QCheckBox *>(QRegularExpression("^favorite\\.")).size(), 68);
        const auto first = child<QCheckBox>("favorite.us")->geometry();
        const auto second = child<QCheckBox>("favorite." + Storefront::all().at(1).code)->geometry();
        QVERIFY(first.width() >= 170 && second.y() == first.y() && second.x() > first.right());
    }

    void trackingEnablement_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("enabled"); // of the hour, scope, threshold and notifications controls
        QTest::addColumn<QString>("status");
        QTest::newRow("defaults") << "" << "1111" << "Nothing to track yet.";
        QTest::newRow("tracking off") << "trackingEnabled=false" << "0111" << "Daily tracking is off.";
        QTest::newRow("alerts off, values kept") << "alertsEnabled=false alertMoveThreshold=7 notificationsEnabled=true" << "1100"
                                                 << "Nothing to track yet.";
    }

    void trackingEnablement()
    {
        QFETCH(QString, setup);
        QFETCH(QString, enabled);
        for (const auto &setting : setup.split(' ', Qt::SkipEmptyParts))
            TestSettings::set(setting.section('=', 0, 0), setting.section('=', 1));
        open();
        QString seen;
        for (const auto *name : {"trackingHour", "trackingScope", "alertMoveThreshold", "notificationsEnabled"})
            seen += child<QWidget>(name)->isEnabled() ? '1' : '0';
        QCOMPARE(seen, enabled);
        QTEST(child<QLabel>("trackingStatus")->text(), "status");
        QCOMPARE(child<QSpinBox>("alertMoveThreshold")->value(), int(Settings::shared().alertMoveThreshold()));
        QCOMPARE(child<QCheckBox>("notificationsEnabled")->isChecked(), Settings::shared().notificationsEnabled());
        QCOMPARE(child<QComboBox>("trackingHour")->currentText(), Formatters::shortTime(QTime(9, 0)));
        QCOMPARE(Settings::shared().contains("trackingHour"), false);

        // The toggle's change reaches the picker and the status line.
        child<QCheckBox>("trackingEnabled")->click();
        QCOMPARE(child<QWidget>("trackingHour")->isEnabled(), enabled[0] == '0');
        QCOMPARE(child<QLabel>("trackingStatus")->text(), enabled[0] == '0' ? "Nothing to track yet." : "Daily tracking is off.");
    }

    // The open tab follows the first app with a keyword coming, and the last app going.
    void statusFollowsApps()
    {
        open(3);
        auto *status = child<QLabel>("trackingStatus");
        QCOMPARE(status->text(), "Nothing to track yet.");
        trackApps(*m_store, "o1");
        m_store->addKeywords({"k1"}, *m_store->app("1"));
        QTRY_VERIFY2(status->text().startsWith("Next run "), qPrintable(status->text()));
        m_store->deleteApp(*m_store->app("1"));
        QTRY_COMPARE(status->text(), "Nothing to track yet.");
    }

    void runButtons_data()
    {
        QTest::addColumn<bool>("manual"); // started by "Check Now", else as the daily loop starts it
        QTest::addColumn<QString>("markedAsRun");
        QTest::newRow("Check Now, then Stop") << true << "";
        QTest::newRow("daily run") << false << "1|us";
    }

    void runButtons()
    {
        QFETCH(bool, manual);
        trackApps(*m_store, "o1");
        m_store->addKeywords({"k1"}, *m_store->app("1"));
        open(3);
        QVERIFY(child<QLabel>("trackingStatus")->text().startsWith("Next run "));

        std::optional<QCoro::Task<>> daily;
        if (manual)
            child<QPushButton>("checkNow")->click();
        else
            daily = m_tracker->runAll();
        QTRY_COMPARE(m_client->waiting, 1);
        QCOMPARE(child<QLabel>("trackingStatus")->text(), "Checking App 1 (US): 0 of 1");
        QCOMPARE(shown("stop"), manual);
        QCOMPARE(shown("checkNow"), !manual);
        QVERIFY(!child<QPushButton>("checkNow")->isEnabled());
        if (manual) {
            child<QPushButton>("stop")->click();
            QVERIFY(m_tracker->manualRun()->isCancelled());
        }
        m_client->open();
        QTRY_VERIFY(!m_tracker->isRunning());
        QVERIFY(!shown("stop"));
        QVERIFY(shown("checkNow") && child<QPushButton>("checkNow")->isEnabled());
        QVERIFY(child<QLabel>("trackingStatus")->text().startsWith("Last run "));
        QTEST(Settings::shared().value(TrackingSchedule::lastRunsKey).toMap().keys().join(' '), "markedAsRun");
    }

    void problemNote_data()
    {
        QTest::addColumn<int>("tab"); // shown while the runs end
        QTest::newRow("on the tracking tab") << 3;
        QTest::newRow("on another tab") << 0;
    }

    // The orange note of a run's failures shows whole as soon as it comes or changes, the window
    // as it is when opened with the note, and goes with the next run that has none.
    void problemNote()
    {
        QFETCH(int, tab);
        trackApps(*m_store, "o2");
        TrackedApp app(AppInfo{"1", "Brightframe Studio Photo Collage Frames and Portrait Retouch Editor"}, true);
        app.trackedCountries = {"us"};
        m_store->db().insert(app);
        m_store->addKeywords({"k1", "k2", "k3"}, *m_store->app("1"));
        m_store->addKeywords({"k4"}, *m_store->app("2"));
        m_client->open();
        open(tab);
        auto *tabs = child<QTabWidget>("settingsTabs");
        auto *note = child<QLabel>("trackingProblem");
        for (const char *run : {"k2 k4", "k2", ""}) {
            const auto failing = QString(run).split(u' ', Qt::SkipEmptyParts);
            m_client->answer = [failing](const QString &term) {
                if (failing.contains(term))
                    throw FakeSearchClient::failure();
                return FakeSearchClient::results({"9"});
            };
            tabs->setCurrentIndex(tab);
            QSignalSpy running(m_tracker.get(), &RankTracker::isRunningChanged);
            child<QPushButton>("checkNow")->click();
            QTRY_COMPARE(running.size(), 2);
            tabs->setCurrentIndex(3);
            QCOMPARE(note->text().isEmpty() ? 0 : note->text().count(u'\n') + 1, failing.size());

            SettingsWindow opened(m_tracker.get());
            opened.findChild<QTabWidget *>("settingsTabs")->setCurrentIndex(3);
            opened.show();
            QTRY_COMPARE(m_window->size(), opened.size());
            QCOMPARE(note->isVisible(), !failing.isEmpty());
            if (failing.isEmpty())
                break;
            QTRY_VERIFY2(note->height() >= note->heightForWidth(note->width())
                             && note->height() > note->fontMetrics().lineSpacing(),
                         qPrintable(QString::number(note->height())));
            for (auto *box = note->parentWidget(); box; box = box->parentWidget())
                QVERIFY(box->rect().contains(QRect(note->mapTo(box, QPoint()), note->size())));
            const QRect noteArea(note->mapTo(m_window.get(), QPoint()), note->size());
            QString painted;
            for (const auto &item : renderedItems(m_window.get())) {
                if (noteArea.contains(item.box.center().toPoint()) && item.shown == item.box)
                    painted += item.text;
            }
            QCOMPARE(painted.simplified().remove(u' '), note->text().simplified().remove(u' '));
        }
    }

    void notifications_data()
    {
        QTest::addColumn<bool>("grant");
        QTest::addColumn<QString>("meanwhile"); // what the window does before the answer comes
        QTest::addColumn<bool>("stored");
        QTest::addColumn<QString>("message");
        QTest::newRow("granted") << true << "" << true << "";
        QTest::newRow("refused") << false << "" << false
                                 << "Notifications are off for Vantu. Allow them in your desktop's notification settings.";
        // Closing discards the window's messages, also one that is still on its way.
        QTest::newRow("refused after closing") << false << "close" << false << "";
        QTest::newRow("refused after closing and opening") << false << "close open" << false << "";
        QTest::newRow("refused after destroying") << false << "destroy" << false << "";
    }

    void notifications()
    {
        QFETCH(QString, meanwhile);
        QFETCH(bool, stored);
        QFETCH(QString, message);
        QFETCH(bool, grant);
        m_notifier.grant = grant;
        open(3);
        auto *toggle = child<QCheckBox>("notificationsEnabled");
        toggle->click();
        QVERIFY(Settings::shared().notificationsEnabled());
        if (meanwhile == "destroy")
            m_window.reset();
        else if (meanwhile.startsWith("close"))
            m_window->close();
        if (meanwhile.endsWith("open"))
            m_window->show();
        m_notifier.gate->cancel();
        QTRY_COMPARE(m_notifier.answered, 1);
        QCOMPARE(Settings::shared().notificationsEnabled(), stored);
        if (meanwhile == "destroy")
            return;
        m_window->show();
        QCOMPARE(toggle->isChecked(), stored);
        QCOMPARE(shown("notificationProblem"), !message.isEmpty());
        QCOMPARE(child<QLabel>("notificationProblem")->text(), message);
    }

    void destroyedWithFocus_data()
    {
        QTest::addColumn<int>("tab");
        QTest::addColumn<int>("fields"); // at least
        QTest::newRow("search") << 0 << 4;
        QTest::newRow("discovery") << 1 << 3;
        QTest::newRow("storefronts") << 2 << 60;
        QTest::newRow("tracking") << 3 << 8;
    }

    void destroyedWithFocus()
    {
        QFETCH(int, tab);
        QFETCH(int, fields);
        const int visited = destroyWithFocusInEachField([this, tab] {
            auto window = std::make_unique<SettingsWindow>(m_tracker.get());
            window->findChild<QTabWidget *>("settingsTabs")->setCurrentIndex(tab);
            return window;
        });
        QVERIFY2(visited >= fields, qPrintable(QString::number(visited)));
    }

    void loginItem()
    {
        open(3);
        auto *toggle = child<QCheckBox>("openAtLogin");
        QVERIFY(!toggle->isChecked());
        toggle->click();
        QCOMPARE(LoginItem::status(), LoginItem::Status::enabled);
        QVERIFY(toggle->isChecked());
        toggle->click();
        QCOMPARE(LoginItem::status(), LoginItem::Status::notRegistered);
        QVERIFY(!toggle->isChecked());

        // Made elsewhere while the window was closed: shown when it opens again.
        m_window->hide();
        QCOMPARE(setOpenAtLogin(true), std::nullopt);
        m_window->show();
        QVERIFY(toggle->isChecked());
        toggle->click();
        QCOMPARE(LoginItem::status(), LoginItem::Status::notRegistered);

        // The autostart folder cannot be made under a file: the toggle goes back, the reason shows.
        QFile blocker(m_settings.home() + "/blocker");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        const auto configHome = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", blocker.fileName().toUtf8());
        toggle->click();
        qputenv("XDG_CONFIG_HOME", configHome);
        QVERIFY(!toggle->isChecked());
        QVERIFY(shown("loginProblem"));
        QVERIFY(child<QLabel>("loginProblem")->text().startsWith("Could not change the login item: "));

        // Closing the window ends the message.
        m_window->close();
        m_window->show();
        QVERIFY(!shown("loginProblem"));
    }

    void statusLine_data()
    {
        using State = TrackingStatusLine::State;
        QTest::addColumn<State>("state");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("problem"); // empty: no second line
        const auto ran = QDateTime(QDate(2026, 3, 2), QTime(9, 5), QTimeZone::utc());
        const auto next = ran.addDays(1);
        const auto format = [](const QDateTime &t) { return Formatters::abbreviatedDateTime(t); };
        QTest::newRow("running") << State{RankTracker::Progress{"Focus", "de", 3, 12}, ran, "s", "late", true, next, true}
                                 << "Checking Focus (DE): 3 of 12" << "";
        QTest::newRow("last run with summary") << State{{}, ran, "12 keywords rechecked", {}, false, next, true}
                                               << "Last run " + format(ran) + " · 12 keywords rechecked" << "";
        QTest::newRow("last run with problems") << State{{}, ran, {}, "All 4 searches for A (US) failed.", false, next, false}
                                                << "Last run " + format(ran) << "All 4 searches for A (US) failed.";
        QTest::newRow("next run") << State{{}, {}, {}, {}, false, next, true} << "Next run " + format(next) << "";
    }

    void statusLine()
    {
        QFETCH(TrackingStatusLine::State, state);
        QTEST(TrackingStatusLine::firstLine(state), "first");
        QTEST(TrackingStatusLine::problemLine(state).value_or(""), "problem");
    }

    void fittedFirstLine_data()
    {
        using State = TrackingStatusLine::State;
        QTest::addColumn<State>("state");
        QTest::addColumn<int>("lacking"); // pixels fewer than the whole line needs
        const State run{RankTracker::Progress{"Tom & Jerry <i>Photo</i> Editor", "us", 188, 1200}, {}, {}, {}, true, {}, true};
        QTest::newRow("run, room enough") << run << 0;
        QTest::newRow("run, a pixel short") << run << 1;
        QTest::newRow("run, no room for the name") << run << 100000;
        QTest::newRow("last run") << State{{}, QDateTime::currentDateTimeUtc(), "1234 keywords rechecked", {}, false, {}, true} << 40;
    }

    void fittedFirstLine()
    {
        QFETCH(TrackingStatusLine::State, state);
        QFETCH(int, lacking);
        const QFontMetrics metrics(QApplication::font());
        const auto whole = TrackingStatusLine::firstLine(state);
        const int width = std::max(0, metrics.horizontalAdvance(whole) - lacking);
        const auto line = TrackingStatusLine::fittedFirstLine(state, metrics, width);
        const QString kept = state.progress ? " (US): 188 of 1200" : "";
        QCOMPARE(line == whole, lacking == 0);
        QVERIFY2(metrics.horizontalAdvance(line) <= std::max(width, metrics.horizontalAdvance("Checking …" + kept)), qPrintable(line));
        // What is left of the name (of the line when no run) ends in "…"; the storefront and count stay.
        QVERIFY2(line.endsWith(kept)
                     && (!lacking || (line.chopped(kept.size()).endsWith("…") && whole.startsWith(line.chopped(kept.size() + 1)))),
                 qPrintable(line));
    }

    // A long name is shortened in the window, never the storefront and the count; the line is
    // fitted again as its room changes.
    void progressLine()
    {
        const QString name = "Tom & Jerry <i>Photo</i> Editor: Collages, Frames and Portrait Retouching";
        TrackedApp app(AppInfo{"1", name}, true);
        app.trackedCountries = {"us"};
        m_store->db().insert(app);
        m_store->addKeywords({"k1", "k2", "k3"}, *m_store->app("1"));
        open(3);
        child<QPushButton>("checkNow")->click();
        QTRY_COMPARE(m_client->waiting, 1);
        auto *line = child<QLabel>("trackingStatus");
        QTRY_VERIFY2(line->text().startsWith("Checking Tom & Jerry <i>") && line->text().endsWith("… (US): 0 of 3"),
                     qPrintable(line->text()));
        QVERIFY(line->toolTip().contains(name.toHtmlEscaped()));
        const QRect area(line->mapTo(m_window.get(), QPoint()), line->size());
        QVERIFY(area.right() < child<QWidget>("stop")->mapTo(m_window.get(), QPoint()).x());
        QString painted;
        for (const auto &item : renderedItems(m_window.get())) {
            if (area.contains(item.box.center().toPoint()) && item.shown == item.box)
                painted += item.text;
        }
        QCOMPARE(painted, line->text());

        TrackingStatusLine alone(m_tracker.get());
        alone.show();
        for (const int width : {2000, 300}) {
            alone.resize(width, alone.height());
            QTRY_COMPARE(alone.findChild<QLabel *>("trackingStatus")->text().contains(name), width == 2000);
        }
        m_client->open();
        QTRY_VERIFY(!m_tracker->isRunning());
    }
};

QTEST_MAIN(TestSettingsWindow)
#include "tst_settingswindow.moc"
