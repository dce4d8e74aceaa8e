#include "workflows/ResearchModel.h"

#include "support/TaskRunner.h"

#include <QCoroTimer>
#include <QtTest>

// The research model over a scripted service: what a page request sends, paging across pages
// that repeat terms, late answers of an older reload, and failures.
class TestResearch : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void scenarios_data();
    void scenarios();
    void genreNames_data();
    void genreNames();
};

// Answers from a script, one entry per request: "a b|7" a page of terms a and b out of 7,
// "!text" a failure; a leading "~" answers late. Records each request's filters and offset.
struct FakeService : TopTermsProviding
{
    QStringList script, calls;

    QCoro::Task<TopTermsResponse> topTerms(QString, std::optional<QString>, std::optional<qint64> min,
                                           std::optional<qint64> max, std::optional<QString> query, qint64 limit,
                                           qint64 offset, CancelTokenPtr) override
    {
        const auto text = [](const auto &value) { return value ? QVariant(*value).toString() : QStringLiteral("-"); };
        calls.append(QStringList{text(min), text(max), text(query), QString::number(offset)}.join(u' '));
        const QString answer = script.value(calls.size() - 1);
        if (answer.startsWith(u'~'))
            co_await QCoro::sleepFor(std::chrono::milliseconds(30));
        if (answer.contains(u'!') || limit != 200)
            throw PopularityError(answer.section(u'!', 1));
        TopTermsResponse page{{}, {}, {}, answer.section(u'|', 1).toLongLong(), {}};
        for (const auto &term : answer.section(u'|', 0, 0).remove(u'~').split(u' ', Qt::SkipEmptyParts))
            page.items.append({term, 50, QStringLiteral("GAMES"), std::nullopt});
        co_return page;
    }
};

// "a b | more loaded !Down": the terms, then the paging flags and the error.
static QString state(const ResearchModel &m)
{
    QStringList terms;
    for (const auto &item : m.items())
        terms.append(item.term);
    return terms.join(u' ') + QStringLiteral(" |") + (m.canLoadMore() ? " more" : "") + (m.hasLoaded() ? " loaded" : "")
        + (m.isLoading() ? " loading" : "") + (m.error() ? " !" + *m.error() : QString());
}

void TestResearch::scenarios_data()
{
    // filters: minimum/maximum/query, else the full range; script: answers separated by ";";
    // steps: r reload, m load more, c a reload cancelled at once; sent: the requests as
    // "minimum maximum query offset", where "- - - " stands for the full range without query.
    for (const char *column : {"filters", "script", "steps", "sent", "state"})
        QTest::addColumn<QString>(column);
    QTest::newRow("term on two pages, then nothing new") << "" << "a b c|9;c d d|9;c|9" << "rmmmm"
                                                          << "0, 3, 6" << "a b c d d | loaded";
    QTest::newRow("failure keeps terms") << "" << "a b|6;!Down" << "rmm" << "0, 2" << "a b | loaded !Down";
    QTest::newRow("load more while a page loads") << "" << "a|3;~b|3;c|3" << "rmm" << "0, 1" << "a b | more loaded";
    QTest::newRow("late page of an older reload") << "" << "~a b|2;x|1" << "rr" << "0, 0" << "x | loaded";
    QTest::newRow("late failure of an older reload") << "" << "~!Down;x|1" << "rr" << "0, 0" << "x | loaded";
    QTest::newRow("cancelled failure") << "" << "~!Down" << "c" << "0" << " |";
    QTest::newRow("no service") << "" << "-" << "rm" << "" << " | loaded !" + ResearchModel::noServiceMessage();
    QTest::newRow("raised minimum, trimmed query") << "5/100/ cat\t" << "a|1" << "rm" << "5 - cat 0" << "a | loaded";
    QTest::newRow("crossed range, blank query") << "80/20/ \n" << "|0" << "r" << "20 80 - 0" << " | loaded";
    QTest::newRow("beyond both ends") << "0/150/" << "|0" << "r" << "0" << " | loaded";
}

void TestResearch::scenarios()
{
    QFETCH(QString, filters);
    QFETCH(QString, script);
    QFETCH(QString, steps);
    auto service = std::make_shared<FakeService>();
    service->script = script.split(u';');
    // "-" in the script: no service is set up for that request.
    ResearchModel model(QStringLiteral("de"), [service]() -> std::shared_ptr<TopTermsProviding> {
        return service->script.value(service->calls.size()) == u"-" ? nullptr : service;
    });
    const auto range = (filters.isEmpty() ? QStringLiteral("1/100/") : filters).split(u'/');
    model.setMinPopularity(range[0].toLongLong());
    model.setMaxPopularity(range[1].toLongLong());
    model.setQuery(range[2]);
    // Answers that are not late arrive before the step returns; late ones are awaited at the end.
    std::vector<QCoro::Task<>> tasks;
    for (const QChar step : steps) {
        const auto token = CancelToken::create();
        tasks.push_back(step == u'm' ? model.loadMore() : model.reload(token));
        if (step == u'c')
            token->cancel();
    }
    for (auto &task : tasks)
        TaskRunner::run(std::move(task));
    QTEST(service->calls.join(QStringLiteral(", ")).remove(QStringLiteral("- - - ")), "sent");
    QTEST(state(model), "state");
}

void TestResearch::genreNames_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("name");
    QTest::newRow("fixed, not joined") << "SOCIAL_NETWORKING" << "Social Networking";
    QTest::newRow("fixed with an ampersand") << "PRODUCTIVITY_UTILITIES" << "Productivity & Utilities";
    QTest::newRow("two parts") << "HEALTH_FITNESS" << "Health & Fitness";
    QTest::newRow("one part") << "GAMES" << "Games";
    QTest::newRow("empty parts dropped") << "_FOOD__DRINK_" << "Food & Drink";
    QTest::newRow("empty") << "" << "";
}

void TestResearch::genreNames()
{
    QFETCH(QString, code);
    QTEST(genreDisplayName(code), "name");
}

QTEST_GUILESS_MAIN(TestResearch)
#include "tst_research.moc"
