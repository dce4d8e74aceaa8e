#include "model/AlertEditJournal.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace {

// Bytes that begin every frame, for finding the next one past damage; the checksum tells a
// marker from the same bytes inside a record.
constexpr char marker[] = {'\xa7', 'V', 'j', '\x1e'};
constexpr qsizetype markerSize = sizeof marker;
// The marker, the kind, the length and the checksum.
constexpr qsizetype headerSize = markerSize + 1 + 4 + 4;
constexpr char ownerKind = 'O';
constexpr char entryKind = 'E';
// Far more than a record of every alert an account holds.
constexpr quint32 largestFrame = 64 << 20;

// FNV-1a, going on from `hash`.
quint32 checksum(QByteArrayView bytes, quint32 hash = 2166136261u)
{
    for (const char c : bytes) {
        hash ^= quint8(c);
        hash *= 16777619u;
    }
    return hash;
}

void appendFixed(QByteArray &bytes, quint64 value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes.append(char((value >> (8 * i)) & 0xff));
}

quint64 takeFixed(QByteArrayView bytes, qsizetype at, int size)
{
    quint64 value = 0;
    for (int i = 0; i < size; ++i)
        value |= quint64(quint8(bytes.at(at + i))) << (8 * i);
    return value;
}

QByteArray frame(char kind, const QByteArray &payload)
{
    QByteArray bytes(marker, markerSize);
    bytes.append(kind);
    appendFixed(bytes, quint64(payload.size()), 4);
    // Over the kind and the length too: a damaged length fails the check.
    appendFixed(bytes, checksum(payload, checksum(QByteArrayView(bytes).sliced(markerSize))), 4);
    bytes.append(payload);
    return bytes;
}

std::optional<qint64> takeNumber(QByteArrayView bytes, qsizetype &at)
{
    quint64 value = 0;
    for (int shift = 0; at < bytes.size() && shift < 63; shift += 7) {
        const auto byte = quint8(bytes.at(at++));
        value |= quint64(byte & 0x7f) << shift;
        if (!(byte & 0x80))
            return value <= quint64(std::numeric_limits<qint64>::max()) ? std::optional<qint64>(qint64(value)) : std::nullopt;
    }
    return std::nullopt;
}

// The sound frame at `at`: its kind and what it holds.
std::optional<std::pair<char, QByteArrayView>> frameAt(QByteArrayView bytes, qsizetype at)
{
    if (bytes.size() - at < headerSize)
        return std::nullopt;
    const auto length = takeFixed(bytes, at + markerSize + 1, 4);
    if (length > largestFrame || quint64(bytes.size() - at - headerSize) < length)
        return std::nullopt;
    const auto payload = bytes.sliced(at + headerSize, qsizetype(length));
    if (checksum(payload, checksum(bytes.sliced(at + markerSize, 5))) != takeFixed(bytes, at + markerSize + 5, 4))
        return std::nullopt;
    return std::pair{bytes.at(at + markerSize), payload};
}

} // namespace

QByteArray AlertEditJournal::ownerFrame(Owner owner)
{
    QByteArray payload;
    appendFixed(payload, quint64(owner.database), 8);
    appendFixed(payload, quint64(owner.state), 8);
    return frame(ownerKind, payload);
}

QByteArray AlertEditJournal::entryFrame(qint64 sequence, const QByteArray &record)
{
    QByteArray payload;
    auto value = quint64(std::max<qint64>(sequence, 0));
    while (value >= 0x80) {
        payload.append(char(0x80 | (value & 0x7f)));
        value >>= 7;
    }
    payload.append(char(value));
    payload.append(record);
    return frame(entryKind, payload);
}

AlertEditJournal::Contents AlertEditJournal::read(QByteArrayView bytes)
{
    Contents contents;
    const QByteArrayView markerBytes(marker, markerSize);
    // Bytes passed over since the last sound frame.
    bool passedOver = false;
    qsizetype at = 0;
    while (at < bytes.size()) {
        const auto next = bytes.indexOf(markerBytes, at);
        if (next < 0) {
            passedOver = true;
            break;
        }
        passedOver = passedOver || next > at;
        // The owner only where the journal begins; anything else is no frame, and reading goes
        // on right after its marker rather than past what its length claims.
        const auto found = frameAt(bytes, next);
        bool sound = false;
        if (found && found->first == entryKind) {
            qsizetype offset = 0;
            if (const auto sequence = takeNumber(found->second, offset)) {
                contents.entries.append({*sequence, found->second.sliced(offset).toByteArray(), next});
                sound = true;
            }
        } else if (found && found->first == ownerKind && next == 0 && found->second.size() == 16) {
            contents.owner = Owner{qint64(takeFixed(found->second, 0, 8)), qint64(takeFixed(found->second, 8, 8))};
            sound = true;
        }
        if (!sound) {
            passedOver = true;
            at = next + 1;
            continue;
        }
        if (std::exchange(passedOver, false))
            ++contents.damaged;
        at = next + headerSize + found->second.size();
    }
    if (passedOver)
        ++contents.damaged;
    return contents;
}
