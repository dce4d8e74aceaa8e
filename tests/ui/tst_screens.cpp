#include "keywords/KeywordText.h"
#include "model/StoreDb.h"
#include "store/ASOStore.h"
#include "tracking/RankTracker.h"
#include "tracking/SilentNotifier.h"
#include "ui/competitors/CompetitorsView.h"
#include "ui/keywords/AppDetailView.h"
#include "ui/keywords/KeywordTable.h"
#include "ui/metadata/IssueList.h"
#include "ui/metadata/MetadataEditor.h"
#include "ui/metadata/MetadataView.h"
#include "workflows/DiscoveryRun.h"
#include "ui/research/ResearchView.h"
#include "ui/settings/SettingsWindow.h"
#include "ui/shell/AddAppDialog.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/SidebarModel.h"

#include "SeedAccount.h"
#include "TestSettings.h"

#include <QAbstractButton>
#include <QPlainTextEdit>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>
#include <QSplitter>
#include <QTabWidget>
#include <QTreeView>
#include <QtTest>

#include <QCoroSignal>

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
        // Pickers that size to their longest item show it whole, up to the width they may take.
        for (auto *picker : root->findChildren<QComboBox *>()) {
            if (picker->isVisibleTo(root) && picker->sizeAdjustPolicy() == QComboBox::AdjustToContents)
                QVERIFY2(picker->width() >= std::min(picker->sizeHint().width(), picker->maximumWidth()),
                         qPrintable(picker->objectName()));
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
        qint64 total = 240;
        bool held = false; // the page never comes


        QCoro::Task<TopTermsResponse> topTerms(QString country, std::optional<QString>, std::optional<qint64>,
                                               std::optional<qint64>, std::optional<QString>, qint64, qint64 offset,
                                               CancelTokenPtr cancel) override
        {
            if (held) {
                co_await qCoro(cancel.get(), &CancelToken::cancelled);
                throw PopularityError(QStringLiteral("Cancelled."));
            }
            const QStringList words{"photo editor", "collage maker", "video editor", "camera", "filters", "selfie",
                                    "ai photo", "background remover", "retouch", "stickers", "vintage camera", "blur"};
            TopTermsResponse page{country, QStringLiteral("2026-11-30"),
                                  {"PHOTO_VIDEO", "PRODUCTIVITY_UTILITIES", "SOCIAL_NETWORKING"}, total, {}};
            for (qint64 i = offset; i < std::min<qint64>(total, offset + 200); ++i)
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
        QTest::addColumn<QString>("terms");    // "weekly", "none", "held", or "" for no service
        QTest::addColumn<bool>("minimum");     // the window at its minimum size
        QTest::addColumn<QString>("expected"); // a text the screen must show
        QTest::addColumn<QString>("name");
        const QString loaded = "200 of 240 terms · Apple Ads, week of 2026-11-30";
        QTest::newRow("loaded") << "weekly" << false << loaded << "research";
        QTest::newRow("no service") << "" << false << "Try Again" << "research-unconfigured";
        QTest::newRow("loaded, minimum size") << "weekly" << true << loaded << "research-minimum";
        QTest::newRow("empty, minimum size") << "none" << true << "No terms match" << "research-empty-minimum";
        QTest::newRow("no service, minimum size") << "" << true << "Open Settings" << "research-unconfigured-minimum";
        QTest::newRow("loading, minimum size") << "held" << true << "Loading Apple’s most searched terms…"
                                               << "research-loading-minimum";
    }

    // The research screen in the window's detail column.
    void researchScreen()
    {
        QFETCH(QString, terms);
        QFETCH(bool, minimum);
        QFETCH(QString, expected);
        auto weekly = std::make_shared<WeeklyTerms>();
        weekly->total = terms == u"none" ? 0 : 240;
        weekly->held = terms == u"held";
        MainWindow window(m_store.get(), m_tracker.get(), nullptr);
        window.resize(minimum ? window.minimumSize() : QSize(1200, 800));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.setSelection(QStringLiteral("tool.research"));
        // The window's own screen asks the configured service; this one asks the script instead.
        auto *own = window.findChild<ResearchView *>();
        QVERIFY(own);
        auto *view = new ResearchView(m_store.get(), own->parentWidget(),
                                      terms.isEmpty() ? ResearchModel::ProviderFactory()
                                                      : ResearchModel::ProviderFactory([weekly] { return weekly; }));
        delete own->parentWidget()->layout()->replaceWidget(own, view);
        own->hide();
        QTRY_VERIFY(view->model()->hasLoaded() || weekly->held);
        // Two rows chosen, to see that they stay readable.
        view->selectTerms({"camera", "selfie"});
        QCoreApplication::processEvents();
        QCOMPARE(window.size(), minimum ? QSize(1000, 640) : QSize(1200, 800));
        QStringList shown;
        for (auto *label : view->findChildren<QLabel *>())
            shown.append(label->isVisible() ? label->text() : QString());
        for (auto *button : view->findChildren<QAbstractButton *>())
            shown.append(button->isVisible() ? button->text() : QString());
        QVERIFY2(shown.contains(expected), qPrintable(shown.join(" | ")));
        QFETCH(QString, name);
        save(&window, name);
        verifyNothingCut(&window);
        // Every column in view without scrolling sideways.
        QCOMPARE(view->findChild<QTableView *>()->horizontalScrollBar()->maximum(), 0);
    }

    void metadataSection_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("metadata") << QSize(1200, 800);
        QTest::newRow("metadata-minimum") << QSize(1000, 640);
    }

    // The editor with a draft that wastes characters, and words to add.
    void metadataSection()
    {
        QFETCH(QSize, size);
        const auto app = *m_store->app(SeedAccount::ownApps[0]);
        const auto rows = m_store->rows(app, QStringLiteral("us"));
        if (!rows.constFirst().popularity) {
            for (int i = 0; i < rows.size(); ++i) {
                KeywordMetric metric(rows[i].id, QStringLiteral("us"));
                metric.popularity = 5 + (i * 37) % 90;
                metric.popularitySourceRaw = QStringLiteral("APPLE_ADS_COUNTRY");
                metric.difficulty = (i * 53) % 100;
                m_store->db().insert(metric);
            }
            m_store->raiseDataVersion();
        }
        MainWindow window(m_store.get(), m_tracker.get(), nullptr);
        window.resize(size);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.setSelection(SeedAccount::ownApps[0]);
        QCoreApplication::processEvents();
        window.findChild<QAbstractButton *>(QStringLiteral("sectionMetadata"))->click();
        auto *view = window.findChild<MetadataView *>();
        QVERIFY(view);
        auto *editor = view->editor();
        QCOMPARE(editor->draft().targets->size(), MetadataEditor::defaultTargetCount);
        editor->setSubtitle(QStringLiteral("Collage & filter studio"));
        // Taken as an automatic change, so that the action row shows its Undo button too.
        editor->setKeywordField({});
        editor->applyKeywordField(QStringLiteral("photo, editor,the,filters,filter,collage,,retouch"));
        QCoreApplication::processEvents();
        QVERIFY(!view->findChild<IssueList *>(QStringLiteral("issueList"))->issues().isEmpty());
        QVERIFY(!view->findChildren<QWidget *>(QStringLiteral("suggestionChip")).isEmpty());
        QVERIFY(view->findChild<QWidget *>(QStringLiteral("undoButton"))->isVisible());
        // The scroll area measures the grown pane once its layout request is through.
        QCoreApplication::processEvents();
        verifyNothingCut(&window);
        save(&window, QTest::currentDataTag());
        // The whole scrolled pane, down to the suggested words.
        save(view->findChild<QWidget *>(QStringLiteral("metadataFields")), QTest::currentDataTag() + QStringLiteral("-fields"));
        // The fields pane dragged to its narrowest.
        if (size.width() > 1000) {
            view->findChild<QSplitter *>()->setSizes({0, 100000});
            QCoreApplication::processEvents();
            save(&window, QTest::currentDataTag() + QStringLiteral("-narrow"));
        }
    }

    void competitorsTabs()
    {
        // The first own app with two competitors, the first of which tracks keywords of its own,
        // searched without applying them, which would link them to the apps found.
        auto client = std::make_shared<FakeSearchClient>();
        ASOStore store(StoreDb::openInMemory(), client);
        SeedAccount::seed(store, *client, 120);
        store.deleteApp(*store.app(SeedAccount::competitors[2]));
        // The latest searches name each app's maker and genre, as Apple's do, for the suggestions.
        // A keyword whose only search fails, so that the section warns above its tab.
        const QString failing = QStringLiteral("photo booth");
        store.addKeywords({failing}, *store.app(SeedAccount::ownApps[0]));
        client->answer = [seeded = client->answer, failing](const QString &term) {
            if (term == failing)
                throw FakeSearchClient::failure();
            auto response = seeded(term);
            for (auto &hit : response.hits) {
                hit.developerName = hit.name + QStringLiteral(" Ltd.");
                hit.primaryGenre = QStringLiteral("Photo & Video");
            }
            return response;
        };
        for (const auto &keyword : store.linkedKeywords(*store.app(SeedAccount::ownApps[0])))
            QCoro::waitFor(store.observation(*store.keyword(keyword), QStringLiteral("us"), true));
        // A name as long as older store listings have, which must not widen the window.
        auto rival = *store.app(SeedAccount::competitors[0]);
        rival.name = QStringLiteral("Brightframe Studio – Photo Collage, Frames & Portrait Retouch Editor");
        store.db().update(rival);
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
            if (auto *untracked = section->findChild<QTableView *>(QStringLiteral("untrackedTable"))) {
                // Two rows selected, to see that they stay readable.
                untracked->selectRow(0);
                untracked->selectionModel()->select(untracked->model()->index(1, 0),
                                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
            }
            QCoreApplication::processEvents();
            verifyNothingCut(&window);
            QCOMPARE(window.size(), window.minimumSize());
            // Every column in view without scrolling sideways.
            for (auto *table : section->findChildren<QTableView *>()) {
                if (table->isVisibleTo(section))
                    QVERIFY2(table->horizontalScrollBar()->maximum() == 0, qPrintable(table->objectName()));
            }
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

    // The add-app sheet in its states: every text whole, the sheet grown to hold it.
private:
    // Looks apps up behind a gate, then fails with `failure` (an unknown app when empty).
    struct SheetClient : FakeSearchClient
    {
        CancelTokenPtr gate = CancelToken::create();
        QString failure;
        QCoro::Task<std::optional<AppInfo>> lookup(QString, QString, CancelTokenPtr) override
        {
            if (!gate->isCancelled())
                co_await qCoro(gate.get(), &CancelToken::cancelled);
            if (!failure.isEmpty())
                throw AppleRequestError(AppleRequestError::Kind::network, std::nullopt, failure, 3);
            co_return std::nullopt;
        }
    };

    // Besides what verifyNothingCut checks: wrapped labels have the height of all their lines,
    // and nothing reaches past the sheet's edge.
    static void verifySheetWhole(QWidget *sheet)
    {
        verifyNothingCut(sheet);
        for (auto *widget : sheet->findChildren<QWidget *>()) {
            if (!widget->isVisibleTo(sheet))
                continue;
            const QRect area(widget->mapTo(sheet, QPoint()), widget->size());
            QVERIFY2(sheet->rect().contains(area), qPrintable(widget->objectName()));
            if (auto *label = qobject_cast<QLabel *>(widget); label && label->wordWrap())
                QVERIFY2(label->height() >= label->heightForWidth(label->width()), qPrintable(label->text()));
            if (auto *bar = qobject_cast<QProgressBar *>(widget))
                QVERIFY(bar->height() >= bar->sizeHint().height());
        }
    }

private Q_SLOTS:
    void addAppSheetStates_data()
    {
        QTest::addColumn<QString>("failure"); // empty: the app is unknown
        QTest::addColumn<int>("lines");       // of the error
        QTest::newRow("one-line error") << "Connection refused" << 1;
        QTest::newRow("two-line error") << "" << 2;
        QTest::newRow("three-line error")
            << "Error transferring https://itunes.apple.com/lookup?id=284882215&country=us - server replied: "
               "Service Temporarily Unavailable. The connection was closed before the answer was complete."
            << 3;
    }

    void addAppSheetStates()
    {
        QFETCH(QString, failure);
        QFETCH(int, lines);
        auto client = std::make_shared<SheetClient>();
        client->failure = failure;
        ASOStore store(StoreDb::openInMemory(), client);
        MainWindow window(&store, m_tracker.get(), nullptr);
        window.show();
        auto *sheet = window.openAddApp();
        QVERIFY(QTest::qWaitForWindowExposed(sheet));
        const int idle = sheet->height();
        sheet->findChild<QLineEdit *>("addAppInput")->setText("284882215");
        QSignalSpy finished(sheet, &AddAppDialog::requestFinished);
        sheet->submit();
        QVERIFY(sheet->isWorking());
        QVERIFY(sheet->findChild<QProgressBar *>("addAppBusy")->isVisible());
        QCOMPARE(sheet->findChild<QPushButton *>("addAppSubmit")->text(), "Add && Discover");
        verifySheetWhole(sheet);
        save(sheet, "add-app-busy");

        client->gate->cancel();
        QTRY_COMPARE(finished.size(), 1);
        QCoreApplication::processEvents();
        auto *error = sheet->findChild<QLabel *>("addAppError");
        QVERIFY(error->isVisible());
        QCOMPARE(error->heightForWidth(error->width()) / error->fontMetrics().lineSpacing(), lines);
        QVERIFY(sheet->height() > idle);
        verifySheetWhole(sheet);
        save(sheet, QStringLiteral("add-app-error-%1-lines").arg(lines));
    }
};

QTEST_MAIN(TestScreens)
#include "tst_screens.moc"
