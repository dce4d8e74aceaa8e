#include "model/StoreDb.h"
#include "store/ASOStore.h"
#include "ui/cells/EmptyStateView.h"
#include "ui/cells/StorefrontMenu.h"
#include "ui/research/ResearchView.h"

#include "FakeSearchClient.h"
#include "TestSettings.h"
#include "UiFixture.h"

#include <QClipboard>
#include <QComboBox>
#include <QCoroSignal>
#include <QLineEdit>
#include <QMenu>
#include <QHeaderView>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QToolButton>
#include <QtTest>

using namespace std::chrono_literals;

// Top terms from a script, held at a gate until the test opens it. A page holds `pageTerms`
// terms named t<offset>… out of `total`; a set `failure` fails every request.
struct ScriptedTerms : TopTermsProviding
{
    QStringList queries;
    QList<CancelTokenPtr> cancels; // of every request, in order
    qint64 total = 3, pageTerms = 3;
    std::optional<QString> week, failure;
    QStringList genres;
    QList<std::optional<qint64>> ranks; // by term index; none past its end
    QStringList names;                  // by term index; t<index> past its end
    CancelTokenPtr gate = CancelToken::create();

    QCoro::Task<TopTermsResponse> topTerms(QString country, std::optional<QString>, std::optional<qint64>,
                                           std::optional<qint64>, std::optional<QString> query, qint64, qint64 offset,
                                           CancelTokenPtr cancel) override
    {
        queries.append(query.value_or(QString()));
        cancels.append(cancel);
        if (!gate->isCancelled())
            co_await qCoro(gate.get(), &CancelToken::cancelled);
        if (failure)
            throw PopularityError(*failure);
        TopTermsResponse page{country, week, genres, total, {}};
        for (qint64 i = offset; i < std::min(total, offset + pageTerms); ++i)
            page.items.append({names.value(i, "t" + QString::number(i)), 100 - i % 100, "GAMES", ranks.value(i)});
        co_return page;
    }
};

// Popularity that always answers, unless told to fail.
struct ScriptedPopularity : PopularityProviding
{
    std::optional<QString> failure;
    QCoro::Task<PopularityResponse> popularity(QString country, QStringList terms, CancelTokenPtr) override
    {
        if (failure)
            throw PopularityError(*failure);
        PopularityResponse response{country, std::nullopt, {}};
        for (const auto &term : terms)
            response.items.append({term, 10, PopularityItem::Source::appleCountry});
        co_return response;
    }
};

class TestResearchView : public QObject
{
    Q_OBJECT

    TestSettings m_settings;
    std::shared_ptr<FakeSearchClient> m_client;
    std::shared_ptr<ScriptedPopularity> m_popularity;
    std::shared_ptr<ScriptedTerms> m_terms;
    std::unique_ptr<ASOStore> m_store;
    std::unique_ptr<ResearchView> m_view;

    void open()
    {
        m_view = std::make_unique<ResearchView>(m_store.get(), nullptr,
                                                [terms = m_terms]() -> std::shared_ptr<TopTermsProviding> { return terms; });
        m_view->resize(800, 500);
        m_view->show();
    }

    void release() { m_terms->gate->cancel(); }

    template<typename T> T *find(const char *name) const { return m_view->findChild<T *>(QLatin1String(name)); }

    // Which overlay shows: "error", "empty", "loading" or "".
    QString overlay() const
    {
        for (const QString name : {"Error", "Empty", "Loading"})
            if (!m_view->findChild<EmptyStateView *>("research" + name + "State")->isHidden())
                return name.toLower();
        return {};
    }

    // "Load More" as "hidden", "enabled" or "disabled".
    QString loadMore() const
    {
        const auto *button = find<QPushButton>("loadMoreButton");
        return button->isHidden() ? "hidden" : button->isEnabled() ? "enabled" : "disabled";
    }

    void track(const QString &apps) { trackApps(*m_store, apps); }

    static QStringList texts(const QMenu *menu)
    {
        QStringList texts;
        for (const auto *action : menu->actions())
            texts.append(action->text());
        return texts;
    }

private Q_SLOTS:
    void init()
    {
        TestSettings::reset();
        m_client = std::make_shared<FakeSearchClient>();
        m_popularity = std::make_shared<ScriptedPopularity>();
        m_terms = std::make_shared<ScriptedTerms>();
        m_store = std::make_unique<ASOStore>(StoreDb::openInMemory(), m_client, m_popularity);
    }

    void cleanup()
    {
        // Requests still held at the gate end before their screen goes.
        release();
        m_view.reset();
        m_store.reset();
    }

    void reload_data()
    {
        QTest::addColumn<bool>("firstLoaded"); // the first page arrived before the edits
        QTest::addColumn<QString>("edit");     // "query", "min" or "genre"
        QTest::addColumn<int>("atOnce");       // requests right after the edits
        QTest::addColumn<QStringList>("sent"); // queries of all requests in the end
        QTest::newRow("three letters rest once") << true << "query" << 1 << QStringList{"", "cat"};
        QTest::newRow("while the first page is on its way") << false << "query" << 4 << QStringList{"", "c", "ca", "cat"};
        QTest::newRow("minimum above the maximum") << true << "min" << 1 << QStringList{"", ""};
    }

    void reload()
    {
        QFETCH(bool, firstLoaded);
        QFETCH(QString, edit);
        m_terms->genres = {"GAMES"};
        open();
        // The first load does not wait.
        QCOMPARE(m_terms->queries.size(), 1);
        QCOMPARE(overlay(), "loading");
        if (firstLoaded) {
            release();
            QTRY_VERIFY(m_view->model()->hasLoaded());
            m_view->selectTerms({"t1"});
            QVERIFY(find<QToolButton>("trackInButton")->isEnabled());
        }
        m_view->setReloadDelay(10ms);
        if (edit == u"query") {
            QTest::keyClicks(find<QLineEdit>("researchSearch"), "cat");
        } else {
            find<QSpinBox>("maxPopularityField")->setValue(20);
            Q_EMIT find<QSpinBox>("maxPopularityField")->editingFinished();
            find<QSpinBox>("minPopularityField")->setValue(80);
            Q_EMIT find<QSpinBox>("minPopularityField")->editingFinished();
            QCOMPARE(m_view->model()->minPopularity(), 80);
            QCOMPARE(m_view->model()->maxPopularity(), 20);
        }
        QTEST(int(m_terms->queries.size()), "atOnce");
        release();
        QTRY_VERIFY(m_view->model()->hasLoaded() && !m_view->findChild<QTimer *>("reloadTimer")->isActive());
        QTEST(m_terms->queries, "sent");
        // The reload cleared the selection, which disables "Track in…".
        QVERIFY(m_view->selectedTerms().isEmpty());
        QVERIFY(!find<QToolButton>("trackInButton")->isEnabled());
    }

    void clamping_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<qint64>("stored");
        QTest::newRow("minimum 0") << "minPopularityField" << "0" << qint64(1);
        QTest::newRow("minimum -5") << "minPopularityField" << "-5" << qint64(1);
        QTest::newRow("maximum 250") << "maxPopularityField" << "250" << qint64(100);
    }

    void clamping()
    {
        QFETCH(QString, field);
        open();
        auto *spin = m_view->findChild<QSpinBox *>(field);
        spin->setFocus();
        spin->selectAll();
        QFETCH(QString, typed);
        QTest::keyClicks(spin, typed);
        QTest::keyClick(spin, Qt::Key_Return);
        const auto model = m_view->model();
        QTEST(field.startsWith(u"min") ? model->minPopularity() : model->maxPopularity(), "stored");
        QTEST(qint64(spin->value()), "stored");
    }

    void states_data()
    {
        QTest::addColumn<QString>("script"); // "gated", "fail", or "<total> <week>"
        QTest::addColumn<QString>("overlay");
        QTest::addColumn<QString>("footer");
        QTest::addColumn<QString>("loadMore");
        QTest::newRow("first page on its way") << "gated" << "loading" << "" << "hidden";
        QTest::newRow("failed") << "fail" << "error" << "" << "hidden";
        QTest::newRow("no terms") << "0 2026-11-30" << "empty" << "0 of 0 terms · Apple Ads, week of 2026-11-30"
                                  << "hidden";
        QTest::newRow("first of five pages") << "1000 -" << "" << "200 of 1000 terms" << "enabled";
    }

    void states()
    {
        QFETCH(QString, script);
        m_terms->pageTerms = 200;
        if (script == u"fail")
            m_terms->failure = "The popularity service is down.";
        m_terms->total = script.section(u' ', 0, 0).toLongLong();
        if (script.section(u' ', 1) != u"-")
            m_terms->week = script.section(u' ', 1);
        if (script != u"gated")
            release();
        open();
        QFETCH(QString, overlay);
        QTRY_COMPARE(this->overlay(), overlay);
        QTEST(m_view->footerText(), "footer");
        QTEST(loadMore(), "loadMore");
        if (script == u"fail")
            QCOMPARE(m_view->findChild<EmptyStateView *>("researchErrorState")->description(), *m_terms->failure);
    }

    // "Load More" while a page loads, and once every term is loaded.
    void paging()
    {
        m_terms->pageTerms = 200;
        m_terms->total = 400;
        release();
        open();
        QTRY_COMPARE(loadMore(), "enabled");
        m_view->selectTerms({"t5"});
        m_terms->gate = CancelToken::create();
        find<QPushButton>("loadMoreButton")->click();
        QCOMPARE(loadMore(), "disabled");
        release();
        QTRY_COMPARE(loadMore(), "hidden");
        QCOMPARE(m_view->footerText(), "400 of 400 terms");
        QCOMPARE(m_view->selectedTerms(), QStringList{"t5"});
    }

    void sorting_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<Qt::SortOrder>("order");
        QTest::addColumn<QStringList>("terms");
        // Popularity falls with the index; ranks t0 #10, t1 #9, t2 none, t3 #2, t4 none; the
        // terms t0, t1, then one beyond U+FFFF, one just below it and one in ASCII.
        QTest::newRow("as opened: popularity, descending") << -1 << Qt::DescendingOrder
                                                           << QStringList{"t0", "t1", "t2", "t3", "t4"};
        QTest::newRow("rank ascending, unranked last in model order")
            << 3 << Qt::AscendingOrder << QStringList{"t3", "t1", "t0", "t2", "t4"};
        QTest::newRow("rank descending, unranked first") << 3 << Qt::DescendingOrder
                                                         << QStringList{"t2", "t4", "t0", "t1", "t3"};
        QTest::newRow("term ascending, by code point") << 0 << Qt::AscendingOrder
                                                       << QStringList{"t0", "t1", "t4", "t3", "t2"};
    }

    void sorting()
    {
        QFETCH(int, column);
        QFETCH(Qt::SortOrder, order);
        m_terms->total = m_terms->pageTerms = 5;
        m_terms->ranks = {10, 9, std::nullopt, 2};
        const QStringList names{"t0", "t1", "\U0001D4AFerm", "\uFF54erm", "term"};
        m_terms->names = names;
        release();
        open();
        QTRY_VERIFY(m_view->model()->hasLoaded());
        auto *table = find<QTableView>("researchTable");
        if (column >= 0)
            table->sortByColumn(column, order);
        QStringList terms;
        for (int row = 0; row < table->model()->rowCount(); ++row)
            terms.append("t" + QString::number(names.indexOf(table->model()->index(row, 0).data().toString())));
        QTEST(terms, "terms");
    }

    void rowMenu_data()
    {
        QTest::addColumn<QStringList>("terms");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("copied");
        QTest::newRow("one term") << QStringList{"t1"} << "Track “t1” in…" << "t1";
        QTest::newRow("three terms") << QStringList{"t0", "t2", "t1"} << "Track 3 Terms in…" << "t0\nt1\nt2";
    }

    void rowMenu()
    {
        QFETCH(QStringList, terms);
        release();
        open();
        QTRY_VERIFY(m_view->model()->hasLoaded());
        m_view->selectTerms(terms);
        std::unique_ptr<QMenu> menu(m_view->contextMenu(m_view->selectedTerms(), nullptr));
        QFETCH(QString, title);
        QCOMPARE(texts(menu.get()), (QStringList{title, "Copy"}));
        menu->actions().last()->trigger();
        QTEST(QGuiApplication::clipboard()->text(), "copied");
        std::unique_ptr<QMenu> none(m_view->contextMenu({}, nullptr));
        QVERIFY(none->actions().isEmpty());

        // A right click on a row outside the selection opens its menu and keeps the selection.
        auto *table = find<QTableView>("researchTable");
        const auto sorted = m_view->selectedTerms();
        const auto outside = table->model()->index(3, 0);
        QTest::mouseClick(table->viewport(), Qt::RightButton, {}, table->visualRect(outside).center());
        QCOMPARE(m_view->selectedTerms(), sorted);
        if (auto *shown = m_view->findChild<QMenu *>(QStringLiteral("researchContextMenu")))
            shown->close();
    }

    void appItems_data()
    {
        QTest::addColumn<QString>("apps");
        QTest::addColumn<QStringList>("linked"); // typed keywords of app 1
        QTest::addColumn<QStringList>("terms");
        QTest::addColumn<QStringList>("items");
        QTest::newRow("no apps") << "" << QStringList{} << QStringList{"photo"} << QStringList{"Add an app first"};
        QTest::newRow("competitors only") << "c2" << QStringList{} << QStringList{"photo"}
                                          << QStringList{"Competitors", "App 2"};
        QTest::newRow("term differs in case and spacing")
            << "o1 c2" << QStringList{"photo editor", "collage"} << QStringList{"Photo  Editor", "collage"}
            << QStringList{"My Apps", "App 1  ✓", "Competitors", "App 2"};
        QTest::newRow("one term not tracked") << "o1" << QStringList{"photo editor"}
                                              << QStringList{"photo editor", "collage"} << QStringList{"My Apps", "App 1"};
    }

    void appItems()
    {
        QFETCH(QStringList, linked);
        QFETCH(QString, apps);
        track(apps);
        if (!linked.isEmpty())
            m_store->addKeywords(linked, *m_store->app("1"));
        open();
        QMenu menu;
        QFETCH(QStringList, terms);
        m_view->fillAppItems(&menu, terms);
        QTEST(texts(&menu), "items");
    }

    void status_data()
    {
        QTest::addColumn<QStringList>("terms");
        QTest::addColumn<QString>("popularityFailure");
        QTest::addColumn<QString>("adding");
        QTest::addColumn<QString>("outcome");
        const QString us = StorefrontMenu::label("us");
        QTest::newRow("one new") << QStringList{"photo"} << "" << "Adding “photo” to App 1…"
                                 << "Tracking 1 new keyword for App 1 in " + us + ".";
        QTest::newRow("two new") << QStringList{"photo", "blur"} << "" << "Adding 2 terms to App 1…"
                                 << "Tracking 2 new keywords for App 1 in " + us + ".";
        QTest::newRow("none new") << QStringList{"collage", "grid", "frame"} << "" << "Adding 3 terms to App 1…"
                                  << "Already tracked by App 1. Checked in " + us + ".";
        QTest::newRow("popularity failed") << QStringList{"photo"} << "Over quota." << "Adding “photo” to App 1…"
                                           << "Tracking 1 new keyword for App 1 in " + us + ". Popularity: Over quota.";
    }

    void status()
    {
        QFETCH(QStringList, terms);
        QFETCH(QString, popularityFailure);
        track("o1");
        m_store->addKeywords({"collage", "grid", "frame"}, *m_store->app("1"));
        if (!popularityFailure.isEmpty())
            m_popularity->failure = popularityFailure;
        release();
        open();
        QTRY_VERIFY(m_view->model()->hasLoaded());
        m_view->setReloadDelay(1h);
        QSignalSpy outcome(m_view.get(), &ResearchView::statusChanged);
        m_view->addTerms(terms, "1");
        QTEST(m_view->footerText(), "adding");
        // The storefront of the click holds, whatever is picked meanwhile.
        m_view->model()->setCountry("de");
        QTRY_COMPARE(outcome.size(), 1);
        QTEST(m_view->status(), "outcome");
        QTEST(m_view->footerText(), "outcome");
    }

    // An app removed while its terms are added gets no outcome line; an add to another app,
    // started later, still reports.
    void appRemovedMeanwhile()
    {
        track("o1 o2");
        release();
        open();
        QSignalSpy outcome(m_view.get(), &ResearchView::statusChanged);
        m_view->addTerms({"photo"}, "1");
        m_view->addTerms({"photo"}, "2");
        m_store->deleteApp(*m_store->app("1"));
        QTRY_COMPARE(outcome.size(), 1);
        QVERIFY(outcome.first().first().toString().contains("App 2"));
    }

    // The table's order of terms.
    QStringList shownTerms() const
    {
        const auto *model = find<QTableView>("researchTable")->model();
        QStringList terms;
        for (int row = 0; row < model->rowCount(); ++row)
            terms.append(model->index(row, 0).data().toString());
        return terms;
    }

    void columnMinimums_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("minimum");
        QTest::newRow("term") << 0 << 180;
        QTest::newRow("popularity") << 1 << 90;
        QTest::newRow("genre") << 2 << 120;
    }

    void columnMinimums()
    {
        QFETCH(int, column);
        open();
        auto *header = find<QTableView>("researchTable")->horizontalHeader();
        header->resizeSection(column, 20);
        QTEST(header->sectionSize(column), "minimum");
        QFETCH(int, minimum);
        header->resizeSection(column, minimum + 5);
        QCOMPARE(header->sectionSize(column), minimum + 5);
    }

    void tiesKeepModelOrder_data()
    {
        QTest::addColumn<int>("firstColumn");
        QTest::addColumn<Qt::SortOrder>("firstOrder");
        QTest::addColumn<int>("column");
        QTest::addColumn<Qt::SortOrder>("order");
        QTest::addColumn<QStringList>("terms");
        // Popularity falls with the index; ranks t0 #10, t1 #9, t2 none, t3 #2, t4 none; one genre.
        QTest::newRow("genre ascending after rank") << 3 << Qt::AscendingOrder << 2 << Qt::AscendingOrder
                                                    << QStringList{"t0", "t1", "t2", "t3", "t4"};
        QTest::newRow("genre descending after rank") << 3 << Qt::AscendingOrder << 2 << Qt::DescendingOrder
                                                     << QStringList{"t0", "t1", "t2", "t3", "t4"};
        QTest::newRow("unranked after popularity ascending")
            << 1 << Qt::AscendingOrder << 3 << Qt::AscendingOrder << QStringList{"t3", "t1", "t0", "t2", "t4"};
        QTest::newRow("unranked first after popularity ascending")
            << 1 << Qt::AscendingOrder << 3 << Qt::DescendingOrder << QStringList{"t2", "t4", "t0", "t1", "t3"};
    }

    void tiesKeepModelOrder()
    {
        m_terms->total = m_terms->pageTerms = 5;
        m_terms->ranks = {10, 9, std::nullopt, 2};
        release();
        open();
        QTRY_VERIFY(m_view->model()->hasLoaded());
        auto *table = find<QTableView>("researchTable");
        QFETCH(int, firstColumn);
        QFETCH(Qt::SortOrder, firstOrder);
        table->sortByColumn(firstColumn, firstOrder);
        QFETCH(int, column);
        QFETCH(Qt::SortOrder, order);
        table->sortByColumn(column, order);
        QTEST(shownTerms(), "terms");
    }

    void tryAgainKeepsSelection_data()
    {
        QTest::addColumn<int>("pageAfter");       // terms of the page that "Try Again" brings
        QTest::addColumn<QStringList>("selected"); // chosen before the failure: t1 and t2
        QTest::newRow("all come back") << 3 << QStringList{"t1", "t2"};
        QTest::newRow("one comes back") << 2 << QStringList{"t1"};
    }

    void tryAgainKeepsSelection()
    {
        track("o1");
        m_terms->total = 6;
        release();
        open();
        QTRY_COMPARE(loadMore(), "enabled");
        m_view->selectTerms({"t1", "t2"});
        // The next page fails, which shows the error over the rows.
        m_terms->failure = "The popularity service is down.";
        find<QPushButton>("loadMoreButton")->click();
        QTRY_COMPARE(overlay(), "error");
        m_terms->failure.reset();
        QFETCH(int, pageAfter);
        m_terms->pageTerms = pageAfter;
        m_terms->gate = CancelToken::create();
        find<QPushButton>("tryAgainButton")->click();
        // While the rows are away the terms are still chosen, for "Track in…" too.
        QVERIFY(m_view->model()->items().isEmpty());
        auto *trackIn = find<QToolButton>("trackInButton");
        QVERIFY(trackIn->isEnabled());
        QSignalSpy outcome(m_view.get(), &ResearchView::statusChanged);
        Q_EMIT trackIn->menu()->aboutToShow();
        trackIn->menu()->actions().last()->trigger();
        QCOMPARE(m_view->status(), "Adding 2 terms to App 1…");
        QTRY_COMPARE(outcome.size(), 1);
        release();
        QTRY_VERIFY(m_view->model()->hasLoaded() && overlay().isEmpty());
        QTEST(m_view->selectedTerms(), "selected");
        QVERIFY(find<QToolButton>("trackInButton")->isEnabled());
    }

    // Terms and app names with "&" read as written, with no shortcut key made of them.
    void ampersandsAreText()
    {
        track("o1");
        auto app = *m_store->app("1");
        app.name = "Tom & Jerry";
        m_store->db().update(app);
        open();
        std::unique_ptr<QMenu> menu(m_view->contextMenu({"salt & pepper"}, nullptr));
        const auto *track = menu->actions().first();
        QStringList shown;
        for (const auto *action : QList<QAction *>{menu->actions()} + track->menu()->actions()) {
            QVERIFY2(QKeySequence::mnemonic(action->text()).isEmpty(), qPrintable(action->text()));
            shown.append(QString(action->text()).replace("&&", "&"));
        }
        QCOMPARE(shown, (QStringList{"Track “salt & pepper” in…", "Copy", "My Apps", "Tom & Jerry"}));
    }

    // The genre picker: its divider only once genres exist, and no false "All genres" for a chosen
    // genre the service stopped offering.
    void genrePicker()
    {
        release();
        open();
        QTRY_VERIFY(m_view->model()->hasLoaded());
        auto *combo = find<QComboBox>("genreCombo");
        const auto items = [combo] {
            QStringList items;
            for (int i = 0; i < combo->count(); ++i)
                items.append(combo->itemData(i, Qt::AccessibleDescriptionRole).toString() == u"separator"
                                 ? "---" : combo->itemText(i));
            return items;
        };
        QCOMPARE(items(), QStringList{"All genres"});
        m_terms->genres = {"HEALTH_FITNESS", "GAMES"};
        m_view->setReloadDelay(1ms);
        QTest::keyClicks(find<QLineEdit>("researchSearch"), "t");
        QTRY_COMPARE(items(), (QStringList{"All genres", "---", "Health & Fitness", "Games"}));
        combo->setCurrentIndex(3);
        Q_EMIT combo->activated(3);
        QCOMPARE(m_view->model()->genre(), "GAMES");
        m_terms->genres = {"BOOKS"};
        QTRY_COMPARE(items(), (QStringList{"All genres", "---", "Books"}));
        QCOMPARE(m_view->model()->genre(), "GAMES");
        QCOMPARE(combo->currentText(), "");
    }

    // Taking the screen down moves the focus out of the field; nothing of it may reach the
    // half-destroyed screen (the sanitizers stop on the call, other builds see the commit).
    void destroyedWithFocus_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::newRow("minimum") << "minPopularityField" << "5";
        QTest::newRow("maximum") << "maxPopularityField" << "50";
        QTest::newRow("search") << "researchSearch" << "";
        QTest::newRow("genre") << "genreCombo" << "";
        QTest::newRow("storefront") << "storefrontMenu" << "";
        QTest::newRow("table") << "researchTable" << "";
    }

    void destroyedWithFocus()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        release();
        open();
        QTRY_VERIFY(m_view->model()->hasLoaded());
        m_view->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_view.get()));
        auto *widget = m_view->findChild<QWidget *>(field);
        QVERIFY(widget);
        widget->setFocus();
        QTRY_VERIFY(widget->hasFocus());
        QTest::keyClicks(widget, typed);
        const auto *model = m_view->model();
        QSignalSpy min(model, &ResearchModel::minPopularityChanged);
        QSignalSpy max(model, &ResearchModel::maxPopularityChanged);
        QSignalSpy query(model, &ResearchModel::queryChanged);
        m_view.reset();
        QCOMPARE(min.size() + max.size() + query.size(), 0);
    }

    void closedMidLoad_data()
    {
        QTest::addColumn<QString>("load");
        QTest::newRow("first page") << "first";
        QTest::newRow("try again") << "retry";
        QTest::newRow("load more") << "more";
    }

    // Closing the screen cancels the request of the page it is loading.
    void closedMidLoad()
    {
        QFETCH(QString, load);
        m_terms->total = 6;
        if (load == u"retry")
            m_terms->failure = "The popularity service is down.";
        if (load != u"first")
            release();
        open();
        if (load == u"retry") {
            QTRY_COMPARE(overlay(), "error");
            m_terms->failure.reset();
            m_terms->gate = CancelToken::create();
            find<QPushButton>("tryAgainButton")->click();
        } else if (load == u"more") {
            QTRY_COMPARE(loadMore(), "enabled");
            m_terms->gate = CancelToken::create();
            find<QPushButton>("loadMoreButton")->click();
        }
        QVERIFY(m_view->model()->isLoading());
        const auto cancel = m_terms->cancels.last();
        QVERIFY(cancel && !cancel->isCancelled());
        m_view.reset();
        QVERIFY(cancel->isCancelled());
    }

    // Several chosen terms stay chosen while the store's data version rises as they are
    // added to an app, and while a next page arrives.
    void multiRowSelectionSurvives_data()
    {
        QTest::addColumn<QString>("event");
        QTest::newRow("terms added to an app") << "add";
        QTest::newRow("next page") << "page";
    }

    void multiRowSelectionSurvives()
    {
        QFETCH(QString, event);
        track("o1");
        m_terms->total = 6;
        release();
        open();
        QTRY_COMPARE(loadMore(), "enabled");
        const QStringList chosen{"t0", "t2"};
        m_view->selectTerms(chosen);
        if (event == u"add") {
            QSignalSpy outcome(m_view.get(), &ResearchView::statusChanged);
            const auto version = m_store->dataVersion();
            m_view->addTerms(m_view->selectedTerms(), "1");
            QTRY_COMPARE(outcome.size(), 1);
            QVERIFY(m_store->dataVersion() > version);
        } else {
            find<QPushButton>("loadMoreButton")->click();
            QTRY_COMPARE(m_view->model()->items().size(), 6);
        }
        QCOMPARE(m_view->selectedTerms(), chosen);
        QCOMPARE(find<QTableView>("researchTable")->selectionModel()->selectedRows().size(), 2);
        QVERIFY(find<QToolButton>("trackInButton")->isEnabled());
    }
};

QTEST_MAIN(TestResearchView)
#include "tst_researchview.moc"
