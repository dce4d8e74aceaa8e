// The reading of the journal of alert edits. Whatever the bytes, what is read, framed again, reads
// the same with nothing damaged; and damaged bytes between sound frames cost only themselves: the
// frames before and after them are read, and they count as one damaged stretch.

#include "model/AlertEditJournal.h"

#include "FuzzSupport.h"

#include <algorithm>

namespace {

bool sameEntries(const QList<AlertEditJournal::Entry> &a, const QList<AlertEditJournal::Entry> &b)
{
    return std::equal(a.cbegin(), a.cend(), b.cbegin(), b.cend(), [](const auto &x, const auto &y) {
        return x.sequence == y.sequence && x.record == y.record;
    });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto detail = QString::fromLatin1(bytes.toHex(' '));

    const auto contents = AlertEditJournal::read(bytes);
    QByteArray framed = contents.owner ? AlertEditJournal::ownerFrame(*contents.owner) : QByteArray();
    for (qsizetype i = 0; i < contents.entries.size(); ++i) {
        const auto &entry = contents.entries.at(i);
        FUZZ_CHECK(entry.sequence >= 0 && entry.at >= 0 && (i == 0 || contents.entries.at(i - 1).at < entry.at), detail);
        framed += AlertEditJournal::entryFrame(entry.sequence, entry.record);
    }
    const auto again = AlertEditJournal::read(framed);
    FUZZ_CHECK(again.owner == contents.owner && sameEntries(again.entries, contents.entries) && again.damaged == 0,
               detail);

    // The bytes as damage inside a journal.
    const AlertEditJournal::Owner owner{0x1234, 0x5678};
    const auto before = AlertEditJournal::ownerFrame(owner) + AlertEditJournal::entryFrame(1, QByteArray::fromHex("720100"));
    const QList<AlertEditJournal::Entry> after{{2, QByteArray::fromHex("640503"), 0}, {3, QByteArray::fromHex("75"), 0}};
    QByteArray journal = before + bytes;
    for (const auto &entry : after)
        journal += AlertEditJournal::entryFrame(entry.sequence, entry.record);
    const auto read = AlertEditJournal::read(journal);
    FUZZ_CHECK(read.owner == owner && !read.entries.isEmpty() && read.entries.first().sequence == 1, detail);
    // Unless a sound frame begins inside them, which may hold what follows.
    const bool frameInside = std::any_of(read.entries.cbegin(), read.entries.cend(), [&](const auto &entry) {
        return entry.at >= before.size() && entry.at < before.size() + bytes.size();
    });
    if (!frameInside) {
        FUZZ_CHECK(read.entries.size() == 3 && sameEntries(read.entries.mid(1), after), detail);
        FUZZ_CHECK(read.damaged == (bytes.isEmpty() ? 0 : 1), detail);
    }
    return 0;
}
