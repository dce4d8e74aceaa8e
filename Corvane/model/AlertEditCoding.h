#pragma once

#include "model/StoreDb.h"

#include <QByteArray>
#include <QList>

#include <optional>

// How a record of alert edits is stored: the kind and the row ids, as runs of consecutive ids,
// each a gap from the end of the one before and a length, in variable-length numbers. Marking or
// deleting every alert makes a few runs: a few bytes for thousands of alerts.
namespace AlertEditCoding {

QByteArray encode(StoreDb::AlertEditKind kind, QList<qint64> persistentIds);

// The record's kind and ids, ascending and each once, with no key. Absent when the bytes are
// damaged: not a record, or naming an id above `highestIssued`, the highest alert row id given so
// far. No alert has a higher one, so a record never names more alerts than were ever made.
std::optional<StoreDb::AlertEditRecord> decode(const QByteArray &bytes, qint64 highestIssued);

} // namespace AlertEditCoding
