#include "store/ASOStore.h"
#include "support/TaskRunner.h"
#include "support/Unicode.h"

#include "FakeSearchClient.h"
#include "TestSettings.h"

#include <QCoroFuture>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

// Competitor analysis over stored searches, and the operations that bring keywords or apps in.
class TestCompetitors : public QObject
{
    Q_OBJECT
    TestSettings m_settings;
    std::shared_ptr<FakeSearchClient> m_client;
    std::unique_ptr<ASOStore> m_store;

    TrackedApp track(const QString &id, bool own = false, const QStringList &keywords = {})
    {
        TrackedApp app(AppInfo{id, "App " + id}, own);
        app.trackedCountries = {"us"};
        m_store->db().insert(app);
        m_store->addKeywords(keywords, app);
        return app;
    }
    // Searches the keyword, finding the apps in this order; "!" fails.
    void search(const QString &keyword, const QStringList &ids, const QString &country = "us")
    {
        m_client->answer = [ids](auto) {
            return ids == QStringList{"!"} ? throw FakeSearchClient::failure() : FakeSearchClient::results(ids);
        };
        TaskRunner::run(m_store->observation(*m_store->keyword(keyword), country, true));
    }
    // Per row: keyword, then the sort keys of my rank, their rank, lead, sample size, popularity, difficulty.
    static QString render(const QList<CompetitorKeywordRow> &rows)
    {
        QStringList out;
        for (const auto &r : rows) {
            out.append(r.keyword);
            for (const qint64 k : {r.myRankSortKey(), r.theirRankSortKey(), r.leadSortKey(),
                                   qint64(r.sampleSize.value_or(-1)), r.popularitySortKey(), r.difficultySortKey()})
                out.last() += u' ' + QString::number(std::clamp<qint64>(k, -99999, 99999));
        }
        return out.join(", ");
    }

    // Every field of every row, for comparing two analyses.
    static QString describe(const QList<CompetitorKeywordRow> &rows)
    {
        QStringList out;
        const auto position = [](const KeywordGap::Position &p) {
            return RankingStates::rawValue(p.state) + u'@' + QString::number(p.rank.value_or(-1));
        };
        for (const auto &r : rows)
            out.append(QStringList{r.id, r.keyword, position(r.mine), position(r.theirs), QString::number(r.leadSortKey()),
                                   QString::number(r.sampleSize.value_or(-1)), QString::number(r.popularity.value_or(-1)),
                                   r.popularitySource ? PopularitySources::rawValue(*r.popularitySource) : "-",
                                   QString::number(r.difficulty.value_or(-1))}
                           .join(u' '));
        return out.join("; ");
    }
    static QString describe(const QList<KeywordGap::Suggestion> &suggestions)
    {
        QStringList out;
        for (const auto &s : suggestions)
            out.append(QStringList{s.appleAppId, s.name, s.developerName.value_or("-"),
                                   s.iconURL.value_or(QUrl()).toString(), s.primaryGenre.value_or("-"),
                                   QString::number(s.ratingCount.value_or(-1)), s.keywords.join(u','),
                                   QString::number(s.averageRank), QString::number(s.bestRank)}
                           .join(u' '));
        return out.join("; ");
    }
    // The whole analysis of the app against the competitor in the storefront.
    static QStringList analyse(ASOStore &store, const TrackedApp &mine, const TrackedApp &theirs, const QString &country)
    {
        const auto coverage = store.evidenceCoverage(mine, country);
        const auto gap = store.keywordGapRows(mine, theirs, country);
        return {QStringLiteral("%1 %2 %3").arg(coverage.keywords).arg(coverage.succeeded).arg(coverage.failed),
                describe(store.suggestedCompetitors(mine, country, 25)), describe(store.comparisonRows(mine, theirs, country)),
                describe(gap.opportunities), describe(gap.untracked)};
    }
    // The same from the evidence decoded in full, as the library defines it.
    static QStringList reference(ASOStore &store, const TrackedApp &mine, const TrackedApp &theirs, const QString &country)
    {
        const auto keywords = store.linkedKeywords(mine);
        const auto other = store.linkedKeywords(theirs);
        const auto evidence = store.latestEvidence(keywords + other, country);
        const auto sorted = [](const QSet<QString> &set) {
            QStringList list(set.cbegin(), set.cend());
            std::sort(list.begin(), list.end(), Unicode::lessThan);
            return list;
        };
        KeywordGap::EvidenceMap own;
        qint64 succeeded = 0, failed = 0;
        for (const auto &keyword : keywords) {
            own.insert(keyword, evidence[keyword]);
            succeeded += evidence[keyword].kind == KeywordGap::Evidence::Kind::results;
            failed += evidence[keyword].kind == KeywordGap::Evidence::Kind::failed;
        }
        QSet<QString> excluded{mine.appleAppId};
        for (const auto &app : store.apps())
            excluded.insert(app.appleAppId);
        const auto comparisons = KeywordGap::compare(sorted(keywords), evidence, mine.appleAppId, theirs.appleAppId);
        return {QStringLiteral("%1 %2 %3").arg(keywords.size()).arg(succeeded).arg(failed),
                describe(KeywordGap::suggestions(own, excluded, 20, succeeded >= 2 ? 2 : 1, 25)),
                describe(store.competitorKeywordRows(comparisons, country)),
                describe(store.competitorKeywordRows(KeywordGap::opportunities(comparisons, 50, 10), country)),
                describe(store.competitorKeywordRows(
                    KeywordGap::untracked(sorted(other), keywords, evidence, mine.appleAppId, theirs.appleAppId), country))};
    }

private Q_SLOTS:
    void init()
    {
        TestSettings::reset();
        TestSettings::set(SettingsKey::favoriteCountries, "de");
        TestSettings::set(SettingsKey::popularityServer, "");
        m_client = std::make_shared<FakeSearchClient>();
        m_store = std::make_unique<ASOStore>(StoreDb::openInMemory(), m_client);
    }

    void analysis()
    {
        const auto mine = track("11111", true, {"Alpha", "beta", "gamma", "delta", "zeta"});
        const auto theirs = track("c", false, {"delta", "omega", "psi"});
        track("10"), track("2"), track("own", true);
        search("alpha", {"7", "11111", "c", "10"}), search("alpha", {"!"}), search("beta", {"c", "7", "2"});
        search("gamma", {"!"}), search("gamma", {"11111"}, "gb"), search("zeta", {}), search("omega", {"9", "c"});
        KeywordMetric metric("alpha", "us");
        metric.popularity = 40, metric.difficulty = 30, m_store->db().insert(metric);

        // A keyword keeps its newest successful search after a failure; failed only; never searched.
        const auto coverage = m_store->evidenceCoverage(mine, "us");
        QCOMPARE(QList<qint64>({coverage.keywords, coverage.succeeded, coverage.failed}), QList<qint64>({5, 3, 1}));
        // Two shared keywords needed when two have results, else one; tracked apps never suggested.
        QCOMPARE(m_store->suggestedCompetitors(mine, "us", 25).value(0).keywords, QStringList({"alpha", "beta"}));
        QCOMPARE(m_store->suggestedCompetitors(mine, "us", 25).size(), 1);
        QCOMPARE(m_store->suggestedCompetitors(theirs, "us", 25).value(0).keywords, QStringList{"omega"});
        QCOMPARE(render(m_store->comparisonRows(mine, theirs, "us")),
                 "Alpha 2 3 1 4 40 30, beta 99999 1 -10000 3 -1 12, delta 99999 99999 -99999 -1 -1 99999, "
                 "gamma 99999 99999 -99999 -1 -1 99999, zeta 99999 99999 -5000 0 -1 0");
        // Opportunities only from the app's keywords; untracked never lists a keyword both track.
        const auto gap = m_store->keywordGapRows(mine, theirs, "us");
        QCOMPARE(render(gap.opportunities), "beta 99999 1 -10000 3 -1 12");
        QCOMPARE(render(gap.untracked), "omega 99999 2 -10000 2 -1 8, psi 99999 99999 -99999 -1 -1 99999");
        // No own apps, not the app itself, numbers by value.
        const auto competitors = m_store->competitors(mine);
        QCOMPARE(competitors.size() == 3 ? competitors[0].name + ", " + competitors[1].name : "", "App 2, App 10");
    }

    // The analysis keeps copies of the searches it decoded: after every kind of change they must
    // still give what a store that never saw the database before gives, and what the evidence
    // decoded in full gives.
    void analysisAfterChanges()
    {
        QTemporaryDir dir;
        const auto path = dir.filePath("vantu.sqlite");
        m_store = std::make_unique<ASOStore>(StoreDb::openFile(path), m_client);
        auto mine = track("11111", true, {"alpha", "beta", "gamma", "delta", "kappa"});
        auto theirs = track("300", false, {"delta", "omega", "psi", "kappa"});
        // Hits as "<id>:<rank>"; names, developers and genres differ from hit to hit.
        int searches = 0;
        const auto answer = [&](const QString &keyword, const QStringList &hits, const QString &country = "us") {
            ++searches;
            m_client->answer = [hits, searches](const QString &term) {
                if (hits == QStringList{"!"})
                    throw FakeSearchClient::failure();
                SearchResponse response;
                for (const auto &hit : hits) {
                    const auto id = hit.section(u':', 0, 0), rank = hit.section(u':', 1, 1);
                    const auto tag = QStringLiteral(" %1 %2 %3").arg(term).arg(searches).arg(rank);
                    response.hits.append(SearchHit{id, "App " + id + tag, searches % 2 ? std::optional("Maker" + tag) : std::nullopt,
                                                   QUrl("https://example.com/" + id + "/" + term + ".png"), {}, "Genre" + tag,
                                                   10 * searches, 4.0, rank.toInt()});
                }
                response.resultCount = response.hits.size();
                return response;
            };
            TaskRunner::run(m_store->observation(*m_store->keyword(keyword), country, true));
        };
        QString country = "us";
        const auto check = [&](const char *step) {
            const auto cached = analyse(*m_store, mine, theirs, country);
            for (const auto &suffix : {"", "-wal"})
                QFile::copy(path + suffix, dir.filePath(QString::number(searches) + step + ".sqlite" + suffix));
            ASOStore fresh(StoreDb::openFile(dir.filePath(QString::number(searches) + step + ".sqlite")), m_client);
            if (cached != analyse(fresh, mine, theirs, country) || cached != reference(*m_store, mine, theirs, country))
                QFAIL(qPrintable(QStringLiteral("%1\ncached:    %2\nfresh:     %3\nreference: %4")
                                     .arg(step, cached.join(" | "), analyse(fresh, mine, theirs, country).join(" | "),
                                          reference(*m_store, mine, theirs, country).join(" | "))));
        };

        // Tracked, so never suggested: an ID too long to be kept as a number.
        track("1000000000000000000");
        check("nothing searched");
        answer("alpha", {"7:1", "11111:2", "300:3", "0123:4", "x7:5", "8:6", "7:7", "1000000000000000000:8"});
        answer("beta", {"8:1", "7:2", "300:3", "0123:4", "1000000000000000000:5"});
        answer("delta", {"300:1", "8:2"});
        answer("omega", {"9:1", "300:2", "8:3"});
        answer("kappa", {"!"});
        check("first searches");
        // A newer search replaces a copy; ranks out of order, ties and gaps.
        answer("beta", {"x7:3", "8:2", "7:2", "11111:30", "300:2"});
        answer("gamma", {"7:25", "8:4", "8:1", "9:19"});
        check("searched again");
        m_store->addKeywords({"epsilon", "omega"}, mine);
        answer("epsilon", {"!"});
        answer("epsilon", {"8:1", "11111:2", "7:3"});
        answer("alpha", {"8:9", "x7:2", "8:3", "11111:4", "8:3"});
        answer("alpha", {"!"});
        check("linked");
        m_store->unlink("beta", mine);
        m_store->unlink("psi", theirs);
        check("unlinked");
        auto seven = track("7");
        check("a suggestion tracked");
        m_store->deleteApp(seven);
        check("a suggestion deleted");
        // A latest search whose hits no longer decode counts as one without hits.
        SearchObservation broken{0, QUuid::createUuid(), "gamma", "us", QDateTime::currentDateTimeUtc(), true, 200, 1, 1,
                                 {}, true, "[{\"appleAppId\": 5}]"};
        m_store->db().clearLatestObservations("gamma", "us");
        m_store->db().insert(broken);
        check("undecodable hits");
        country = "gb";
        answer("alpha", {"8:1", "300:2"}, "gb");
        answer("delta", {"8:1", "11111:2", "300:3"}, "gb");
        answer("omega", {"!"}, "gb");
        check("another storefront");
        country = "us";
        answer("delta", {"11111:1", "9:2", "8:3"});
        check("back, after a search");
        {
            // Another connection's change shows as well.
            auto other = QSqlDatabase::addDatabase("QSQLITE", "other");
            other.setDatabaseName(path);
            QVERIFY(other.open());
            QVERIFY(QSqlQuery(other).exec("UPDATE search_observation SET is_latest = 0 WHERE keyword_normalized = 'omega'"));
            QVERIFY(QSqlQuery(other).exec("DELETE FROM keyword_link WHERE keyword_pk IN "
                                          "(SELECT pk FROM keyword WHERE normalized = 'alpha')"));
            // Hits kept as text rather than bytes read the same.
            QVERIFY(QSqlQuery(other).exec("UPDATE search_observation SET hits_data = CAST(hits_data AS TEXT) "
                                          "WHERE keyword_normalized = 'delta' AND is_latest = 1"));
            other.close();
        }
        QSqlDatabase::removeDatabase("other");
        check("written elsewhere");
        m_store->deleteApp(theirs);
        check("competitor deleted");
        m_store = std::make_unique<ASOStore>(StoreDb::openInMemory(), m_client);
    }

    // Enough searches that their hits are read in batches, each batch's copies landing with their
    // own keywords, and that the latest searches are listed whole. From a file, the pool's threads
    // read them ahead, on connections of their own, as the competitors section has them read;
    // hits they cannot read (kept as text) are read here afterwards, and not ahead again. Reads
    // ahead that fail (the file out of their reach for a while) are tried ahead again, until
    // they have failed a few times in a row.
    void manySearches_data()
    {
        QTest::addColumn<bool>("inFile");
        QTest::addColumn<int>("failures"); // of the reads ahead, before the file is back
        QTest::newRow("in memory") << false << 0;
        QTest::newRow("in a file") << true << 0;
        QTest::newRow("in a file, out of reach once") << true << 1;
        QTest::newRow("in a file, out of reach for good") << true << 3;
    }
    void manySearches()
    {
        QFETCH(bool, inFile);
        QFETCH(int, failures);
        QTemporaryDir dir;
        const auto path = dir.filePath("vantu.sqlite");
        if (inFile)
            m_store = std::make_unique<ASOStore>(StoreDb::openFile(path), m_client);
        QStringList mine, theirs;
        for (int i = 0; i < 700; ++i)
            (i < 520 ? mine : theirs).append(QStringLiteral("word %1").arg(i));
        theirs += mine.mid(260);
        const auto app = track("11111", true, mine);
        const auto competitor = track("300", false, theirs);
        for (int i = 0; i < 700; ++i) {
            QStringList ids;
            for (int hit = 0; hit < 25; ++hit)
                ids.append(QString::number(500 + (i * 7 + hit * 3) % 40));
            ids.insert(i % 23, "11111");
            ids.insert((i * 5) % 27, "300");
            search(QStringLiteral("word %1").arg(i), i % 17 == 3 ? QStringList{"!"} : ids);
        }
        if (inFile) {
            auto other = QSqlDatabase::addDatabase("QSQLITE", "other");
            other.setDatabaseName(path);
            QVERIFY(other.open());
            QVERIFY(QSqlQuery(other).exec("UPDATE search_observation SET hits_data = CAST(hits_data AS TEXT) "
                                          "WHERE keyword_normalized LIKE 'word %5'"));
            other.close();
            QSqlDatabase::removeDatabase("other");
        }
        const auto readAhead = [&] {
            const auto reads = m_store->readCompetitorSearches({app, competitor}, "us");
            for (const auto &read : reads)
                QCoro::waitFor(qCoro(read).waitForFinished());
            return !reads.isEmpty();
        };
        // Moved away, the file is out of the reach of new connections; this one keeps it open.
        const auto away = path + ".away";
        for (int i = 0; i < failures; ++i) {
            QVERIFY(QFile::rename(path, away));
            const bool readsAhead = readAhead();
            QVERIFY(QFile::rename(away, path));
            QVERIFY(readsAhead);
        }
        // Until the last attempt failed, the searches are read ahead again, not here.
        QCOMPARE(readAhead(), inFile && failures < 3);
        QVERIFY(!readAhead());
        QCOMPARE(analyse(*m_store, app, competitor, "us"), reference(*m_store, app, competitor, "us"));
        m_store = std::make_unique<ASOStore>(StoreDb::openInMemory(), m_client);
    }

    void bringIn_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QStringList>("input"); // terms, keywords, or the app ID and the storefront selling it
        QTest::addColumn<QString>("expected");  // count or own flag | requests | storefronts | rows in gb... | popularity asked | version change
        QTest::newRow("research: in turn, fresh search reused, unusable skipped") << "research" << QStringList{"Focus Timer", "x", "Tracked", "habit"}
            << "2 | gb|Focus Timer|200 gb|habit|200 | us gb | focus timer FOUND Manual | habit FOUND Manual | tracked FOUND Manual | 1 | 2";
        QTest::newRow("research: nothing chosen") << "research" << QStringList{} << "0 | | us gb | tracked NOT_CHECKED Manual | 1 | 2";
        QTest::newRow("research: app deleted during the first search") << "research" << QStringList{"delete", "habit"} << "2 | gb|delete|200 | | 0 | 2";
        QTest::newRow("copy: fresh search reused, unusable skipped") << "copy" << QStringList{"tracked", "habit", "x"}
            << "0 | gb|habit|200 | us | habit FOUND Manual: Added from competitor App c | tracked FOUND Manual | 1 | 2";
        QTest::newRow("copy: nothing chosen") << "copy" << QStringList{} << "0 | | us | tracked NOT_CHECKED Manual | 1 | 2";
        QTest::newRow("copy: app deleted during the first search") << "copy" << QStringList{"delete"} << "0 | gb|delete|200 | | 0 | 2";
        QTest::newRow("track: sold only where viewed") << "track" << QStringList{"55555", "gb"} << "0 | 55555|us 55555|de 55555|gb | us gb | 0 | 2";
        QTest::newRow("track: sold nowhere") << "track" << QStringList{"55555", ""} << "-1 | 55555|us 55555|de 55555|gb | | 0 | 0";
        QTest::newRow("track: own app stays own") << "track" << QStringList{"11111"} << "1 | | us gb | tracked NOT_CHECKED Manual | 0 | 1";
    }
    void bringIn()
    {
        QFETCH(QString, operation);
        QFETCH(QStringList, input);
        const auto app = track("11111", true, {"Tracked"});
        const auto competitor = track("c");
        search("tracked", {"11111"}, "gb");
        m_client->answer = [this](const QString &term) {
            if (term == u"delete")
                m_store->deleteApp(*m_store->app("11111"));
            return FakeSearchClient::results({"11111"});
        };
        m_client->searches.clear();
        m_client->lookupScript.insert(input.value(1), "found");
        const auto before = m_store->dataVersion();
        qint64 count = 0;
        if (operation == u"research")
            count = TaskRunner::run(m_store->addResearchTerms(input, app, "gb")).value->value_or(-1);
        else if (operation == u"copy")
            TaskRunner::run(m_store->addCompetitorKeywords(input, competitor, app, "gb"));
        else if (const auto added = TaskRunner::run(m_store->addCompetitor(input[0], "gb")).value)
            count = added->isOwn;
        else
            count = -1;
        const auto subject = m_store->app(operation == u"track" ? input[0] : "11111");
        QStringList out{QString::number(count), (m_client->lookups + m_client->searches).join(u' '),
                        subject ? subject->trackedCountries.join(u' ') : ""};
        for (const auto &row : m_store->rows(subject.value_or(TrackedApp()), "gb"))
            out.append(row.id + u' ' + RankingStates::rawValue(row.state) + u' ' + row.provenance);
        std::sort(out.begin() + 3, out.end());
        out << QString::number(m_store->popularityError() ? 1 : 0) << QString::number(m_store->dataVersion() - before);
        QTEST(out.join(" | ").simplified(), "expected");
    }
};

QTEST_GUILESS_MAIN(TestCompetitors)
#include "tst_competitors.moc"
