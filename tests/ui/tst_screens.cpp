#include "model/StoreDb.h"
#include "store/ASOStore.h"
#include "tracking/RankTracker.h"
#include "tracking/SilentNotifier.h"
#include "ui/keywords/KeywordTable.h"
#include "workflows/DiscoveryRun.h"
#include "ui/research/ResearchView.h"
#include "ui/settings/SettingsWindow.h"
#include "ui/shell/AddAppDialog.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/SidebarModel.h"

#include "SeedAccount.h"
#include "TestSettings.h"

#include <QAbstractButton>
#include <QComboBox>
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
        // Pickers that size to their longest item show it whole.
        for (auto *picker : root->findChildren<QComboBox *>()) {
            if (picker->isVisibleTo(root) && picker->sizeAdjustPolicy() == QComboBox::AdjustToContents)
                QVERIFY2(picker->width() >= picker->sizeHint().width(), qPrintable(picker->objectName()));
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

    // A week of believable top terms.
    struct WeeklyTerms : TopTermsProviding
    {
        QCoro::Task<TopTermsResponse> topTerms(QString country, std::optional<QString>, std::optional<qint64>,
                                               std::optional<qint64>, std::optional<QString>, qint64, qint64 offset,
                                               CancelTokenPtr) override
        {
            const QStringList words{"photo editor", "collage maker", "video editor", "camera", "filters", "selfie",
                                    "ai photo", "background remover", "retouch", "stickers", "vintage camera", "blur"};
            TopTermsResponse page{country, QStringLiteral("2026-11-30"),
                                  {"PHOTO_VIDEO", "PRODUCTIVITY_UTILITIES", "SOCIAL_NETWORKING"}, 240, {}};
            for (qint64 i = offset; i < std::min<qint64>(240, offset + 200); ++i)
                page.items.append({words[i % words.size()] + (i < words.size() ? QString() : u' ' + QString::number(i)),
                                   100 - i * 95 / 240, i % 3 ? "PHOTO_VIDEO" : "PRODUCTIVITY_UTILITIES",
                                   i % 5 ? std::optional<qint64>(i / 3 + 1) : std::nullopt});
            co_return page;
        }
    };

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

        // A keyword's history beside the table.
        auto *table = window.findChild<KeywordTable *>();
        table->setSelection(QStringLiteral("editor collage"));
        QVERIFY(window.findChild<QWidget *>("historyPanel")->isVisible());
        QCoreApplication::processEvents();
        verifyNothingCut(&window);
        save(&window, "app-detail-history");

        window.setSelection(QStringLiteral("tool.alerts"));
        QCoreApplication::processEvents();
        verifyNothingCut(&window);
        save(&window, "alerts");
    }

    void detailAndAlerts_data()
    {
        QTest::addColumn<bool>("minimum"); // the window at its minimum size
        QTest::addColumn<QString>("run");  // the discovery banner: "", "running" or "ended"
        QTest::addColumn<QString>("shown"); // a text the banner shows
        QTest::addColumn<QString>("name");
        QTest::newRow("discovering") << false << "running" << "Round 2 · round 2 of 4" << "app-detail-discovering";
        QTest::newRow("discovered") << false << "ended" << "Discovery finished" << "app-detail-discovered";
        QTest::newRow("minimum size") << true << "" << "" << "app-detail-minimum";
    }

    void detailAndAlerts()
    {
        QFETCH(bool, minimum);
        QFETCH(QString, run);
        QFETCH(QString, shown);
        QFETCH(QString, name);
        const auto app = *m_store->app(SeedAccount::ownApps[0]);
        auto discovery = std::make_shared<DiscoveryRun>(QStringLiteral("us"), 300, 3);
        discovery->setRound(2);
        discovery->setPhase(QStringLiteral("Round 2"));
        discovery->setCandidates(412), discovery->setQueued(120), discovery->setSearched(run == "ended" ? 120 : 47);
        discovery->setFound(31), discovery->setNotFound(14), discovery->setFailed(2), discovery->setRelatedInspected(8);
        discovery->setIsRunning(run == "running");
        m_store->setDiscoveries(run.isEmpty() ? QHash<QString, std::shared_ptr<DiscoveryRun>>()
                                              : QHash<QString, std::shared_ptr<DiscoveryRun>>{{app.appleAppId + "|us", discovery}});

        MainWindow window(m_store.get(), m_tracker.get(), nullptr);
        window.resize(minimum ? window.minimumSize() : QSize(1200, 800));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.size(), minimum ? QSize(1000, 640) : QSize(1200, 800));
        window.findChild<KeywordTable *>()->setSelection(QStringLiteral("editor collage"));
        QCoreApplication::processEvents();
        QVERIFY(window.findChild<QWidget *>("historyPanel")->isVisible());
        if (!shown.isEmpty()) {
            const auto labels = window.findChildren<QLabel *>();
            QVERIFY(std::any_of(labels.begin(), labels.end(),
                                [&](const QLabel *label) { return label->isVisible() && label->text() == shown; }));
        }
        // Saved first, so that a cut screen can be looked at.
        save(&window, name);
        verifyNothingCut(&window);
        if (minimum) {
            window.setSelection(QStringLiteral("tool.alerts"));
            QCoreApplication::processEvents();
            save(&window, "alerts-minimum");
            verifyNothingCut(&window);
        }
        m_store->setDiscoveries({});
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

        auto *sheet = window.openAddApp();
        QVERIFY(QTest::qWaitForWindowExposed(sheet));
        verifyNothingCut(sheet);
        save(sheet, "add-app");
    }

    void researchScreen_data()
    {
        QTest::addColumn<bool>("configured");
        QTest::addColumn<QString>("expected"); // a text the screen must show
        QTest::newRow("loaded") << true << "200 of 240 terms · Apple Ads, week of 2026-11-30";
        QTest::newRow("no service") << false << "Try Again";
    }

    void researchScreen()
    {
        QFETCH(bool, configured);
        QFETCH(QString, expected);
        auto terms = std::make_shared<WeeklyTerms>();
        ResearchView view(m_store.get(), nullptr,
                          configured ? ResearchModel::ProviderFactory([terms] { return terms; }) : ResearchModel::ProviderFactory());
        view.resize(950, 780);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTRY_VERIFY(view.model()->hasLoaded());
        QStringList shown;
        for (auto *label : view.findChildren<QLabel *>())
            shown.append(label->isVisible() ? label->text() : QString());
        for (auto *button : view.findChildren<QAbstractButton *>())
            shown.append(button->isVisible() ? button->text() : QString());
        QVERIFY2(shown.contains(expected), qPrintable(shown.join(" | ")));
        verifyNothingCut(&view);
        save(&view, configured ? "research" : "research-unconfigured");
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
