// 200,000 characters of pasted text through each text function of the metadata editor (analysis,
// coverage, suggestions, tidy and auto-fill), the link stripping and the developer-suffix removal,
// with the inputs that once made them quadratic. Each should take well under 100 ms.
#include "keywords/CandidateGenerator.h"
#include "keywords/KeywordText.h"
#include "keywords/MetadataOptimizer.h"

#include "BenchRun.h"

#include <benchmark/benchmark.h>

#include <QJsonArray>
#include <QJsonObject>
#include <QRandomGenerator>

#include <string>
#include <utility>

namespace {

constexpr qsizetype pastedLength = 200000;

// App descriptions of many languages run together, as a paste of a web page might give.
const QString &pasted()
{
    static const QString text = [] {
        const QJsonArray apps = BenchRun::appCorpus();
        QString all;
        while (all.size() < pastedLength) {
            for (const QJsonValue &app : apps)
                all += app.toObject().value(QLatin1String("description")).toString() + u'\n';
        }
        return all.left(pastedLength);
    }();
    return text;
}

// Keywords the user tracks: pairs of words from the start of the pasted text, so that the prose
// covers some of them and the made-up words none.
const QList<MetadataOptimizer::Target> &targets()
{
    static const QList<MetadataOptimizer::Target> list = [] {
        QList<MetadataOptimizer::Target> result;
        const QStringList words = KeywordText::meaningfulTokens(pasted().left(4000));
        for (qsizetype i = 0; i + 1 < words.size() && result.size() < 40; i += 3)
            result.append({words[i] + u' ' + words[i + 1], 10 + i % 90,
                           i % 3 ? std::optional<qint64>(i % 100) : std::nullopt});
        return result;
    }();
    return list;
}

// 200,000 characters of made-up words, nearly all distinct: the worst case for anything that looks
// words up by scanning a list.
const QString &distinctWords()
{
    static const QString text = [] {
        QRandomGenerator random(42);
        QString all;
        while (all.size() < pastedLength) {
            for (int i = 3 + random.bounded(7); i > 0; --i)
                all += QChar(u'a' + random.bounded(26));
            all += random.bounded(12) ? QStringLiteral(" ") : QStringLiteral(", ");
        }
        return all.left(pastedLength);
    }();
    return text;
}

// "a-a-a-…a.cz": every dash starts a word that runs on to a dot without a known ending.
QString dashedAddress(qsizetype length)
{
    return QStringLiteral("a-").repeated((length - 4) / 2) + QStringLiteral("a.cz");
}

QString blanks(qsizetype count)
{
    return QStringLiteral("Acme") + QString(count, u' ') + QStringLiteral("Labs");
}

template<typename Function>
void run(benchmark::State &state, Function function)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(function());
}

void developerSuffix(benchmark::State &state, const QString &developer)
{
    CandidateGenerator::Input input;
    input.developerName = developer;
    input.maxCandidates = 10;
    run(state, [&] { return CandidateGenerator::generate(input).candidates.size(); });
}

}

int main(int argc, char **argv)
{
    using namespace MetadataOptimizer;
    const QString shortField = QStringLiteral("photo,editor,filters,collage");
    const auto add = [](const std::string &name, auto function) {
        benchmark::RegisterBenchmark(name.c_str(), [function](benchmark::State &state) { run(state, function); })
            ->Unit(benchmark::kMillisecond);
    };

    const std::pair<std::string, const QString *> texts[] = {{"prose", &pasted()}, {"words", &distinctWords()}};
    for (const auto &[kind, text] : texts) {
        const QString *t = text;
        add("analyze/" + kind + "_as_name_and_subtitle",
            [t, &shortField] { return analyze(*t, *t, shortField, targets()).issues.size(); });
        add("analyze/" + kind + "_as_keyword_field", [t] { return analyze({}, {}, *t, targets()).issues.size(); });
        add("indexedWords/" + kind + "_in_all_three", [t] { return indexedWords(*t, *t, *t).size(); });
        add("coverage/" + kind + "_in_all_three", [t] { return coverage(*t, *t, *t, targets()).size(); });
        add("suggestWords/" + kind + "_as_keyword_field", [t] { return suggestWords({}, {}, *t, targets()).size(); });
        add("tidyKeywordField/" + kind + "_as_name_and_subtitle",
            [t, &shortField] { return tidyKeywordField(*t, *t, shortField).size(); });
        add("tidyKeywordField/" + kind + "_as_keyword_field", [t] { return tidyKeywordField({}, {}, *t).size(); });
        add("buildKeywordField/" + kind + "_as_name_and_subtitle",
            [t, &shortField] { return buildKeywordField(*t, *t, {shortField}, targets()).size(); });
        add("buildKeywordField/" + kind + "_kept", [t] { return buildKeywordField({}, {}, {*t}, targets()).size(); });
    }
    add("singular/one_word", [] { return singular(QString(pastedLength, u'x')).size(); });

    add("stripURLs/prose", [] { return KeywordText::stripURLs(pasted()).size(); });
    const QString dashed40k = dashedAddress(40000);
    const QString dashed200k = dashedAddress(pastedLength);
    add("stripURLs/dashed_address_40k", [&dashed40k] { return KeywordText::stripURLs(dashed40k).size(); });
    add("stripURLs/dashed_address_200k", [&dashed200k] { return KeywordText::stripURLs(dashed200k).size(); });
    benchmark::RegisterBenchmark("developerSuffix/prose", developerSuffix, pasted())->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("developerSuffix/blanks_16k", developerSuffix, blanks(16000))
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("developerSuffix/blanks_200k", developerSuffix, blanks(pastedLength))
        ->Unit(benchmark::kMillisecond);

    return BenchRun::run(argc, argv);
}
