// Keyword normal form and tokeniser over a corpus of app names and descriptions in many
// languages, next to a floor measured in the same run: plain ICU NFKC plus lower-casing of the
// same strings. normalize() is meant to stay within 3x of that floor.
#include "keywords/KeywordText.h"

#include "BenchRun.h"
#include "RatioReporter.h"

#include <benchmark/benchmark.h>

#include <QJsonArray>
#include <QJsonObject>

#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>

#include <unistd.h>

namespace {

struct Corpus
{
    QStringList names;
    QStringList descriptions;
    QStringList all;
};

Corpus loadCorpus()
{
    Corpus corpus;
    for (const QJsonValue &value : BenchRun::appCorpus()) {
        const QJsonObject app = value.toObject();
        corpus.names.append(app.value(QLatin1String("name")).toString());
        corpus.descriptions.append(app.value(QLatin1String("description")).toString());
    }
    corpus.all = corpus.names + corpus.descriptions;
    return corpus;
}

const Corpus &corpus()
{
    static const Corpus loaded = loadCorpus();
    return loaded;
}

// What any normal form must at least cost: ICU's NFKC and root-locale lower-casing, straight.
QString icuFloor(const QString &text)
{
    static const icu::Normalizer2 *const nfkc = [] {
        UErrorCode status = U_ZERO_ERROR;
        return icu::Normalizer2::getNFKCInstance(status);
    }();
    const icu::UnicodeString source(false, reinterpret_cast<const UChar *>(text.utf16()),
                                    static_cast<int32_t>(text.size()));
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString result = nfkc->normalize(source, status);
    result.toLower(icu::Locale::getRoot());
    return QString(reinterpret_cast<const QChar *>(result.getBuffer()), result.length());
}

template<typename Function>
void runOver(benchmark::State &state, const QStringList &texts, Function function)
{
    for (auto _ : state) {
        for (const QString &text : texts)
            benchmark::DoNotOptimize(function(text));
    }
    state.SetItemsProcessed(state.iterations() * texts.size());
}

}

int main(int argc, char **argv)
{
    const std::map<std::string, const QStringList *> sets{
        {"names", &corpus().names}, {"descriptions", &corpus().descriptions}, {"all", &corpus().all}};
    const std::map<std::string, std::function<QString(const QString &)>> normalisers{
        {"floor_icu_nfkc_lower", icuFloor}, {"normalize", KeywordText::normalize}};

    for (const auto &[setName, texts] : sets) {
        for (const auto &[name, function] : normalisers) {
            benchmark::RegisterBenchmark((name + "/" + setName).c_str(), [texts = texts, function = function](benchmark::State &state) {
                runOver(state, *texts, function);
            });
        }
        benchmark::RegisterBenchmark(("tokenize/" + setName).c_str(), [texts = texts](benchmark::State &state) {
            runOver(state, *texts, KeywordText::tokenize);
        });
    }

    RatioReporter reporter;
    const int status = BenchRun::run(argc, argv, &reporter);
    if (reporter.times.empty())
        return status;

    std::printf("\nRatio to the ICU floor (NFKC + lower-casing of the same strings; target for normalize: 3x):\n");
    for (const auto &[setName, texts] : sets) {
        const auto floor = reporter.times.find("floor_icu_nfkc_lower/" + setName);
        if (floor == reporter.times.end() || floor->second <= 0)
            continue;
        for (const char *name : {"normalize", "tokenize"}) {
            const auto time = reporter.times.find(std::string(name) + "/" + setName);
            if (time != reporter.times.end())
                std::printf("  %-10s %-13s %.2fx\n", name, setName.c_str(), time->second / floor->second);
        }
    }
    return status;
}
