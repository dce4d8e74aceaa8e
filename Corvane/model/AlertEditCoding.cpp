#include "model/AlertEditCoding.h"

#include <algorithm>
#include <iterator>
#include <map>

namespace {

using Run = StoreDb::AlertIdRun;

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

// Ids as runs that never overlap nor touch, by their first id.
class RunSet
{
public:
    // Adds the run; returns the parts of it that were not in the set yet, ascending.
    QList<Run> add(Run run)
    {
        QList<Run> fresh;
        // The first id of the run not yet known to be in the set.
        auto next = run.first;
        bool covered = false;
        auto start = run.first;
        auto end = run.last;
        auto it = m_runs.upper_bound(run.first);
        // Written so that no sum passes the ends of the range of ids.
        if (it != m_runs.begin() && std::prev(it)->second >= run.first - 1)
            --it;
        while (it != m_runs.end() && it->first - 1 <= run.last) {
            if (!covered && it->first > next)
                fresh.append({next, it->first - 1});
            if (it->second >= run.last)
                covered = true;
            else
                next = std::max(next, it->second + 1);
            start = std::min(start, it->first);
            end = std::max(end, it->second);
            it = m_runs.erase(it);
        }
        if (!covered)
            fresh.append({next, run.last});
        m_runs.emplace(start, end);
        return fresh;
    }

    QList<Run> runs() const
    {
        QList<Run> runs;
        runs.reserve(qsizetype(m_runs.size()));
        for (const auto &[first, last] : m_runs)
            runs.append({first, last});
        return runs;
    }

private:
    std::map<qint64, qint64> m_runs;
};

} // namespace

QList<Run> AlertEditCoding::runsOf(QList<qint64> persistentIds)
{
    auto &ids = persistentIds;
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    QList<Run> runs;
    for (const auto id : std::as_const(ids)) {
        if (!runs.isEmpty() && runs.last().last == id - 1)
            runs.last().last = id;
        else
            runs.append({id, id});
    }
    return runs;
}

QByteArray AlertEditCoding::encode(StoreDb::AlertEditKind kind, const QList<Run> &runs)
{
    QByteArray bytes(1, kindCodes[int(kind)]);
    qint64 end = 0;
    for (const auto &run : runs) {
        appendNumber(bytes, quint64(run.first - end));
        appendNumber(bytes, quint64(run.last - run.first));
        end = run.last;
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
        // Each run begins after the one before and ends at an id that was given. Checked before
        // the sums, which would wrap.
        if (!more || *gap == 0 || *gap > highest - end || *more > highest - end - *gap)
            return std::nullopt;
        const auto first = end + *gap;
        end = first + *more;
        record.runs.append({qint64(first), qint64(end)});
    }
    return record;
}

AlertEditCoding::Outcome AlertEditCoding::combine(const QList<std::pair<StoreDb::AlertEditKind, QList<Run>>> &edits)
{
    // Deleted alerts first, which no mark changes; then the marks newest first: the parts of an
    // older mark that a newer one covers no longer count.
    RunSet removed;
    RunSet decided;
    Outcome outcome;
    for (const auto &[kind, runs] : edits) {
        if (kind != StoreDb::AlertEditKind::remove)
            continue;
        for (const auto &run : runs) {
            removed.add(run);
            decided.add(run);
        }
    }
    for (auto edit = edits.crbegin(); edit != edits.crend(); ++edit) {
        const auto kind = edit->first;
        if (kind == StoreDb::AlertEditKind::remove)
            continue;
        for (const auto &run : edit->second)
            (kind == StoreDb::AlertEditKind::markRead ? outcome.read : outcome.unread) += decided.add(run);
    }
    outcome.removed = removed.runs();
    const auto byFirst = [](const Run &a, const Run &b) { return a.first < b.first; };
    std::sort(outcome.read.begin(), outcome.read.end(), byFirst);
    std::sort(outcome.unread.begin(), outcome.unread.end(), byFirst);
    return outcome;
}
