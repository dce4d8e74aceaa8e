#include "model/AlertEditCoding.h"

#include <algorithm>
#include <iterator>

namespace {

void appendNumber(QByteArray &bytes, quint64 value)
{
    while (value >= 0x80) {
        bytes.append(char(0x80 | (value & 0x7f)));
        value >>= 7;
    }
    bytes.append(char(value));
}

std::optional<quint64> takeNumber(const QByteArray &bytes, qsizetype &at)
{
    quint64 value = 0;
    for (int shift = 0; at < bytes.size() && shift < 64; shift += 7) {
        const auto byte = quint8(bytes.at(at++));
        value |= quint64(byte & 0x7f) << shift;
        if (!(byte & 0x80))
            return value;
    }
    return std::nullopt;
}

constexpr char kindCodes[] = {'d', 'r', 'u'};

} // namespace

QByteArray AlertEditCoding::encode(StoreDb::AlertEditKind kind, QList<qint64> persistentIds)
{
    auto &ids = persistentIds;
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    QByteArray bytes(1, kindCodes[int(kind)]);
    qint64 end = 0;
    for (qsizetype i = 0; i < ids.size();) {
        auto last = i;
        while (last + 1 < ids.size() && ids.at(last + 1) == ids.at(last) + 1)
            ++last;
        appendNumber(bytes, quint64(ids.at(i) - end));
        appendNumber(bytes, quint64(last - i));
        end = ids.at(last);
        i = last + 1;
    }
    return bytes;
}

std::optional<StoreDb::AlertEditRecord> AlertEditCoding::decode(const QByteArray &bytes, qint64 highestIssued)
{
    if (bytes.isEmpty())
        return std::nullopt;
    const auto code = std::find(std::begin(kindCodes), std::end(kindCodes), bytes.at(0));
    if (code == std::end(kindCodes))
        return std::nullopt;
    StoreDb::AlertEditRecord record;
    record.kind = StoreDb::AlertEditKind(code - std::begin(kindCodes));
    const auto highest = quint64(std::max<qint64>(highestIssued, 0));
    qsizetype at = 1;
    quint64 end = 0;
    while (at < bytes.size()) {
        const auto gap = takeNumber(bytes, at);
        const auto more = gap ? takeNumber(bytes, at) : std::nullopt;
        // Each run begins after the one before and ends at an id that was given: a damaged record
        // yields none rather than billions. Checked before the sums, which would wrap.
        if (!more || *gap == 0 || *gap > highest - end || *more > highest - end - *gap)
            return std::nullopt;
        const auto first = end + *gap;
        end = first + *more;
        for (auto id = first; id <= end; ++id)
            record.persistentIds.append(qint64(id));
    }
    return record;
}
