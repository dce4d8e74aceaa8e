#pragma once

#include "model/StoreDb.h"

#include <QByteArray>
#include <QList>

#include <optional>
#include <utility>

// How a record of alert edits is stored: the kind and the row ids, as runs of consecutive ids,
// each a gap from the end of the one before and a length, in variable-length numbers. Marking or
// deleting every alert makes a few runs: a few bytes for thousands of alerts.
namespace AlertEditCoding {

using Run = StoreDb::AlertIdRun;

// The ids as runs: ascending, each id once, consecutive ids in one run.
QList<Run> runsOf(QList<qint64> persistentIds);

// The runs must be ascending and none overlapping.
QByteArray encode(StoreDb::AlertEditKind kind, const QList<Run> &runs);

// The record's kind and runs, with no key. Absent when the bytes are damaged: not a record, or
// naming an id above `highestIssued`, the highest alert row id given so far. No alert has a
// higher one, so a record never names more alerts than were ever made.
std::optional<StoreDb::AlertEditRecord> decode(const QByteArray &bytes, qint64 highestIssued);

// What edits made one after another come to, each alert once: deleted when any of them deleted
// it, else marked as the last of them that marked it. Each list ascending, none overlapping.
struct Outcome
{
    QList<Run> removed;
    QList<Run> read;
    QList<Run> unread;
};
// The edits oldest first. Takes time and memory as the runs they name, not as their ids.
Outcome combine(const QList<std::pair<StoreDb::AlertEditKind, QList<Run>>> &edits);

} // namespace AlertEditCoding
