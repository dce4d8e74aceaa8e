#include "keywords/KeywordText.h"
#include "model/StoreDb.h"
#include "store/ASOStore.h"
#include "tracking/RankTracker.h"
#include "tracking/SilentNotifier.h"
#include "ui/competitors/CompetitorsView.h"
#include "ui/keywords/AppDetailView.h"
#include "ui/keywords/KeywordTable.h"
#include "ui/research/ResearchView.h"
#include "ui/settings/SettingsWindow.h"
#include "ui/shell/AddAppDialog.h"
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

    void competitorsTabs()
    {
        // The first own app with two competitors, the first of which tracks keywords of its own,
        // searched without applying them, which would link them to the apps found.
        auto client = std::make_shared<FakeSearchClient>();
        ASOStore store(StoreDb::openInMemory(), client);
        SeedAccount::seed(store, *client, 120);
        store.deleteApp(*store.app(SeedAccount::competitors[2]));
        const auto rival = *store.app(SeedAccount::competitors[0]);
        const QStringList theirs{"photo editor", "collage maker pro", "frame studio", "retouch portrait", "grid maker"};
        store.addKeywords(theirs, rival);
        for (const auto &term : theirs)
            QCoro::waitFor(store.observation(*store.keyword(KeywordText::normalize(term)), QStringLiteral("us"), true));
        store.raiseDataVersion();

        MainWindow window(&store, m_tracker.get(), nullptr);
        window.resize(window.minimumSize());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.setSelection(SeedAccount::ownApps[0]);
        auto *detail = window.findChild<AppDetailView *>();
        QVERIFY(detail);
        detail->setSection(AppDetailView::Section::competitors);
        auto *section = detail->findChild<CompetitorsView *>();
        QVERIFY(section);
        const QList<std::pair<CompetitorTab, CompetitorsView::Content>> tabs{
            {CompetitorTab::suggested, CompetitorsView::Content::suggested},
            {CompetitorTab::compare, CompetitorsView::Content::compare},
            {CompetitorTab::gap, CompetitorsView::Content::gap}};
        for (const auto &[tab, content] : tabs) {
            section->setTab(tab);
            QCoreApplication::processEvents();
            QCOMPARE(section->shownContent(), content);
            verifyNothingCut(&window);
            save(&window, "competitors-" + CompetitorTabs::rawValue(tab).toLower().replace(u' ', u'-'));
        }
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
