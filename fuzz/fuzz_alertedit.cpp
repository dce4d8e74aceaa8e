// The reading of a stored record of alert edits. Whatever the bytes, a record read names only ids
// that were given, in runs ascending and apart; written again, it reads the same; it reads with
// the highest id it names as the highest given, never with one less; and edits made of its runs,
// combined, name each id once.

#include "model/AlertEditCoding.h"

#include "FuzzSupport.h"

#include <QHash>

#include <algorithm>

namespace {

// An account that made a million alerts: a damaged record names no more than that.
constexpr qint64 highestIssued = 1'000'000;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto detail = QString::fromLatin1(bytes.toHex(' '));
    const auto record = AlertEditCoding::decode(bytes, highestIssued);
    if (!record)
        return 0;
    const auto &runs = record->runs;
    for (qsizetype i = 0; i < runs.size(); ++i) {
        const auto &run = runs.at(i);
        FUZZ_CHECK(run.first >= 1 && run.first <= run.last && run.last <= highestIssued
                       && (i == 0 || runs.at(i - 1).last < run.first),
                   detail);
    }

    const auto again = AlertEditCoding::decode(AlertEditCoding::encode(record->kind, runs), highestIssued);
    FUZZ_CHECK(again && again->kind == record->kind && again->runs == runs, detail);
    if (!runs.isEmpty()) {
        FUZZ_CHECK(AlertEditCoding::decode(bytes, runs.last().last), detail);
        FUZZ_CHECK(!AlertEditCoding::decode(bytes, runs.last().last - 1), detail);
    }

    // Edits of every kind in turn, each naming two of the runs, so that edits overlap: what they
    // come to names each id once, as working through them id by id does.
    QList<std::pair<StoreDb::AlertEditKind, QList<AlertEditCoding::Run>>> edits;
    for (qsizetype i = 0; i < runs.size(); ++i)
        edits.append({StoreDb::AlertEditKind((i + int(record->kind)) % 3), {runs.at(i), runs.at(runs.size() - 1 - i)}});
    const auto outcome = AlertEditCoding::combine(edits);
    QList<std::pair<AlertEditCoding::Run, char>> named;
    const std::pair<const QList<AlertEditCoding::Run> *, char> lists[] = {
        {&outcome.removed, 'd'}, {&outcome.read, 'r'}, {&outcome.unread, 'u'}};
    for (const auto &[list, kind] : lists) {
        for (const auto &run : *list)
            named.append({run, kind});
    }
    std::sort(named.begin(), named.end(), [](const auto &a, const auto &b) { return a.first.first < b.first.first; });
    for (qsizetype i = 0; i < named.size(); ++i) {
        FUZZ_CHECK(named.at(i).first.first <= named.at(i).first.last, detail);
        FUZZ_CHECK(i == 0 || named.at(i - 1).first.last < named.at(i).first.first, detail);
    }
    qint64 ids = 0;
    for (const auto &run : runs)
        ids += run.last - run.first + 1;
    if (ids > 20000)
        return 0;
    QHash<qint64, char> expected;
    for (const auto &[kind, editRuns] : edits) {
        for (const auto &run : editRuns) {
            for (auto id = run.first; id <= run.last; ++id) {
                auto &outcomeOfId = expected[id];
                if (outcomeOfId != 'd')
                    outcomeOfId = "dru"[int(kind)];
            }
        }
    }
    QHash<qint64, char> found;
    for (const auto &[run, kind] : named) {
        for (auto id = run.first; id <= run.last; ++id)
            found.insert(id, kind);
    }
    FUZZ_CHECK(found == expected, detail);
    return 0;
}
