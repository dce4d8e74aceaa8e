// The reading of a stored record of alert edits. Whatever the bytes, a record read names only ids
// that were given, ascending and each once; written again, it reads the same; and it reads with
// the highest id it names as the highest given, never with one less.

#include "model/AlertEditCoding.h"

#include "FuzzSupport.h"

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
    const auto &ids = record->persistentIds;
    for (qsizetype i = 0; i < ids.size(); ++i)
        FUZZ_CHECK(ids.at(i) >= 1 && ids.at(i) <= highestIssued && (i == 0 || ids.at(i - 1) < ids.at(i)), detail);

    const auto again = AlertEditCoding::decode(AlertEditCoding::encode(record->kind, ids), highestIssued);
    FUZZ_CHECK(again && again->kind == record->kind && again->persistentIds == ids, detail);
    if (!ids.isEmpty()) {
        FUZZ_CHECK(AlertEditCoding::decode(bytes, ids.last()), detail);
        FUZZ_CHECK(!AlertEditCoding::decode(bytes, ids.last() - 1), detail);
    }
    return 0;
}
