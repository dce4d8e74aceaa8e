#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <optional>

// How the journal of alert edits is laid out: frames, each a marker, its kind, the length of what
// it holds, a checksum, then what it holds. The first frame names the journal's owner; each later
// one holds one record of edits with its place among all edits. A damaged frame costs only
// itself: reading goes on at the next marker that begins a sound frame.
namespace AlertEditJournal {

struct Owner
{
    qint64 database = 0;
    qint64 state = 0;
    // 0 stands for none.
    bool named() const { return database != 0 && state != 0; }
    bool operator==(const Owner &) const = default;
};

struct Entry
{
    qint64 sequence = 0;
    QByteArray record;
    // Where its frame begins.
    qsizetype at = 0;
};

struct Contents
{
    // Absent unless the journal begins with a sound frame naming it; not so in a journal of an
    // earlier version.
    std::optional<Owner> owner;
    QList<Entry> entries;
    // Stretches of bytes that are no sound frame: each cost the frames it held.
    qsizetype damaged = 0;
};

QByteArray ownerFrame(Owner owner);
QByteArray entryFrame(qint64 sequence, const QByteArray &record);
Contents read(QByteArrayView bytes);

} // namespace AlertEditJournal
