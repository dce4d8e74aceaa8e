#include "model/StoreDb.h"
#include "store/ASOStore.h"
#include "tracking/RankTracker.h"
#include "tracking/SilentNotifier.h"
#include "ui/settings/SettingsWindow.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/SidebarModel.h"

#include "SeedAccount.h"
#include "TestSettings.h"

#include <QAbstractButton>
#include <QLabel>
#include <QTabWidget>
#include <QTreeView>
#include <QtTest>

// Renders the windows over a seeded account into PNG files for a person to look at, and checks
// that what they must show is there and not cut off.
class TestScreens : public QObject
{
    Q_OBJECT

    TestSettings m_settings;
    std::shared_ptr<FakeSearchClient> m_client = std::make_shared<FakeSearchClient>();
    std::unique_ptr<ASOStore> m_store;
    SilentNotifier m_notifier;
    std::unique_ptr<RankTracker> m_tracker;

    static void save(QWidget *widget, const QString &name)
    {
        QDir().mkpath(VANTU_SCREENS_DIR);
        QVERIFY(widget->grab().save(QStringLiteral(VANTU_SCREENS_DIR "/") + name + ".png"));
    }

    // Every visible label and button shows its whole text.
    static void verifyNothingCut(QWidget *root)
    {
        for (auto *label : root->findChildren<QLabel *>()) {
            if (label->isVisibleTo(root) && !label->wordWrap() && !label->text().isEmpty())
                QVERIFY2(label->width() >= label->sizeHint().width(), qPrintable(label->text()));
        }
        for (auto *button : root->findChildren<QAbstractButton *>()) {
            if (button->isVisibleTo(root) && !button->text().isEmpty())
                QVERIFY2(button->width() >= button->sizeHint().width(), qPrintable(button->text()));
        }
    }

    // The texts of the sidebar rows that lie wholly inside its viewport.
    static QStringList visibleSidebarRows(QTreeView *sidebar)
    {
        QStringList rows;
        const auto *model = sidebar->model();
        for (int s = 0; s < model->rowCount(); ++s) {
            const auto section = model->index(s, 0);
            rows.append(section.data().toString());
            for (int r = 0; r < model->rowCount(section); ++r) {
                const auto row = model->index(r, 0, section);
                if (sidebar->viewport()->rect().contains(sidebar->visualRect(row)))
                    rows.append(row.data().toString());
            }
        }
        return rows;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_store = std::make_unique<ASOStore>(StoreDb::openInMemory(), m_client);
        m_tracker = std::make_unique<RankTracker>(m_store.get(), &m_notifier);
        SeedAccount::seed(*m_store, *m_client);
    }

    void mainWindow()
    {
        MainWindow window(m_store.get(), m_tracker.get(), nullptr);
        window.resize(1200, 800);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const auto rows = visibleSidebarRows(window.findChild<QTreeView *>("sidebar"));
        QStringList expected{"Tools", "Keyword Research", "Alerts", "My Apps", "Competitors"};
        for (const auto &id : SeedAccount::ownApps + SeedAccount::competitors)
            expected.append(SeedAccount::nameOf(id));
        for (const auto &text : expected)
            QVERIFY2(rows.contains(text), qPrintable(text));
        QVERIFY(window.sidebarModel()->indexOf("tool.alerts").data(SidebarModel::BadgeRole).toLongLong() > 0);
        verifyNothingCut(&window);
        save(&window, "main-window");
    }

    void emptyAccount()
    {
        ASOStore store(StoreDb::openInMemory(), m_client);
        MainWindow window(&store, m_tracker.get(), nullptr);
        window.resize(1200, 800);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        for (const auto *name : {"noAppsState", "detail"})
            QVERIFY(window.findChild<QWidget *>(name)->isVisible());
        verifyNothingCut(&window);
        save(&window, "main-window-empty");
    }

    void settingsTabs()
    {
        SettingsWindow window(m_tracker.get());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *tabs = window.findChild<QTabWidget *>();
        const QStringList names{"Search", "Discovery", "Storefronts", "Tracking"};
        QCOMPARE(tabs->count(), names.size());
        for (int i = 0; i < tabs->count(); ++i) {
            QCOMPARE(tabs->tabText(i), names[i]);
            tabs->setCurrentIndex(i);
            QCoreApplication::processEvents();
            verifyNothingCut(tabs->currentWidget());
            save(&window, "settings-" + names[i].toLower());
        }
    }
};

QTEST_MAIN(TestScreens)
#include "tst_screens.moc"
