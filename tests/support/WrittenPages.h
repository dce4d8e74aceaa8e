#pragma once

// Counts the pages SQLite writes into database files and their logs, at SQLite's side: a file
// system layer over the default one, made the default, so that every connection opened after
// install() goes through it, on whichever thread. Between two syncs of a file only its distinct
// pages count, since a page written again before the sync reaches the disk once: for a database
// file a page is its offset over the page size, for a log the slot of a frame (a header of 24
// bytes and a page, after the log's header of 32 bytes). A file's truncation forgets the pages it
// cut off, so that a log begun anew counts its pages again.
//
// SQLite is the library Qt's driver loads (a second copy linked in would not see the driver's
// connections); loading it here by its name gives that same one.
#include <sqlite3.h>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include <dlfcn.h>

namespace WrittenPages {

struct Pages
{
    std::int64_t log = 0;
    std::int64_t file = 0;
    // Pages written again into a frame of the log that already held one before a sync: SQLite
    // does so for a page it writes a second time in one save, and its commit then reads back
    // and rewrites every frame after the first such.
    std::int64_t logRewrites = 0;
};

// Past this many bytes a log refuses writes as a full disk does; none while negative.
inline std::int64_t logLimit = -1;

// While set, a sync of a log waits until it is cleared, as on a slow disk; syncsWaiting counts
// those that wait.
inline bool holdLogSyncs = false;
inline int syncsWaiting = 0;
inline std::condition_variable syncsLetGo;

namespace Detail {

// The pages of one file (by name: every connection's handle of it) written since its last sync.
struct Written
{
    bool log = false;
    std::int64_t pageSize = 4096;
    std::set<std::int64_t> unsynced;
    // Of a log, the frames whose page (not only header) was written since the last sync.
    std::set<std::int64_t> unsyncedFrames;
};

inline std::mutex mutex;
inline std::map<std::string, Written> files;
inline Pages totals;
inline sqlite3_vfs *realVfs = nullptr;
inline sqlite3_vfs shim;

// Our handle, followed in the same allocation by the real file system's.
struct File
{
    sqlite3_file base;
    sqlite3_file *real;
    Written *written;
};

inline sqlite3_file *real(sqlite3_file *file)
{
    return reinterpret_cast<File *>(file)->real;
}

inline std::int64_t bigEndian(const void *data, int bytes)
{
    std::int64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = value << 8 | static_cast<const unsigned char *>(data)[i];
    return value;
}

constexpr std::int64_t logHeader = 32;
constexpr std::int64_t frameHeader = 24;

inline void noteWrite(Written &written, const void *data, int amount, sqlite3_int64 offset)
{
    std::int64_t page = 0;
    if (written.log) {
        // The log's header tells its page size; it is no page.
        if (offset < logHeader) {
            if (const auto size = offset == 0 && amount >= 12 ? bigEndian(static_cast<const char *>(data) + 8, 4) : 0;
                size >= 512)
                written.pageSize = size;
            return;
        }
        page = (offset - logHeader) / (frameHeader + written.pageSize);
        if (amount == written.pageSize && !written.unsyncedFrames.insert(page).second)
            ++totals.logRewrites;
    } else {
        // Page 1 starts with the file's header, which tells the page size (1 stands for 65536).
        if (const auto size = offset == 0 && amount >= 18 ? bigEndian(static_cast<const char *>(data) + 16, 2) : 0;
            size == 1 || size >= 512)
            written.pageSize = size == 1 ? 65536 : size;
        page = offset / written.pageSize;
    }
    if (written.unsynced.insert(page).second)
        ++(written.log ? totals.log : totals.file);
}

inline int xClose(sqlite3_file *file)
{
    const int result = real(file)->pMethods->xClose(real(file));
    file->pMethods = nullptr;
    return result;
}
inline int xRead(sqlite3_file *file, void *data, int amount, sqlite3_int64 offset)
{
    return real(file)->pMethods->xRead(real(file), data, amount, offset);
}
inline int xWrite(sqlite3_file *file, const void *data, int amount, sqlite3_int64 offset)
{
    if (auto *written = reinterpret_cast<File *>(file)->written; written && written->log && logLimit >= 0
        && offset + amount > logLimit)
        return SQLITE_FULL;
    const int result = real(file)->pMethods->xWrite(real(file), data, amount, offset);
    if (auto *written = reinterpret_cast<File *>(file)->written; written && result == SQLITE_OK) {
        const std::lock_guard lock(mutex);
        noteWrite(*written, data, amount, offset);
    }
    return result;
}
// The pages past the new end never reach the disk; those before it still will. (SQLite truncates
// a database file to its size after each copy of its log, which drops nothing.)
inline int xTruncate(sqlite3_file *file, sqlite3_int64 size)
{
    const int result = real(file)->pMethods->xTruncate(real(file), size);
    if (auto *written = reinterpret_cast<File *>(file)->written) {
        const std::lock_guard lock(mutex);
        const auto start = written->log ? std::max<std::int64_t>(size - logHeader, 0) : size;
        const auto length = written->log ? frameHeader + written->pageSize : written->pageSize;
        const auto first = (start + length - 1) / length;
        written->unsynced.erase(written->unsynced.lower_bound(first), written->unsynced.end());
        written->unsyncedFrames.erase(written->unsyncedFrames.lower_bound(first), written->unsyncedFrames.end());
    }
    return result;
}
inline int xSync(sqlite3_file *file, int flags)
{
    if (auto *written = reinterpret_cast<File *>(file)->written; written && written->log) {
        std::unique_lock lock(mutex);
        ++syncsWaiting;
        syncsLetGo.wait(lock, [] { return !holdLogSyncs; });
        --syncsWaiting;
    }
    const int result = real(file)->pMethods->xSync(real(file), flags);
    if (auto *written = reinterpret_cast<File *>(file)->written; written && result == SQLITE_OK) {
        const std::lock_guard lock(mutex);
        written->unsynced.clear();
        written->unsyncedFrames.clear();
    }
    return result;
}
inline int xFileSize(sqlite3_file *file, sqlite3_int64 *size)
{
    return real(file)->pMethods->xFileSize(real(file), size);
}
inline int xLock(sqlite3_file *file, int level)
{
    return real(file)->pMethods->xLock(real(file), level);
}
inline int xUnlock(sqlite3_file *file, int level)
{
    return real(file)->pMethods->xUnlock(real(file), level);
}
inline int xCheckReservedLock(sqlite3_file *file, int *out)
{
    return real(file)->pMethods->xCheckReservedLock(real(file), out);
}
inline int xFileControl(sqlite3_file *file, int op, void *argument)
{
    return real(file)->pMethods->xFileControl(real(file), op, argument);
}
inline int xSectorSize(sqlite3_file *file)
{
    return real(file)->pMethods->xSectorSize(real(file));
}
inline int xDeviceCharacteristics(sqlite3_file *file)
{
    return real(file)->pMethods->xDeviceCharacteristics(real(file));
}
inline int xShmMap(sqlite3_file *file, int region, int size, int extend, void volatile **mapped)
{
    return real(file)->pMethods->xShmMap(real(file), region, size, extend, mapped);
}
inline int xShmLock(sqlite3_file *file, int offset, int n, int flags)
{
    return real(file)->pMethods->xShmLock(real(file), offset, n, flags);
}
inline void xShmBarrier(sqlite3_file *file)
{
    real(file)->pMethods->xShmBarrier(real(file));
}
inline int xShmUnmap(sqlite3_file *file, int deleteFlag)
{
    return real(file)->pMethods->xShmUnmap(real(file), deleteFlag);
}
inline int xFetch(sqlite3_file *file, sqlite3_int64 offset, int amount, void **pages)
{
    return real(file)->pMethods->xFetch(real(file), offset, amount, pages);
}
inline int xUnfetch(sqlite3_file *file, sqlite3_int64 offset, void *pages)
{
    return real(file)->pMethods->xUnfetch(real(file), offset, pages);
}

// One table for each version of the real file's methods, so that SQLite calls only those it has.
#define WRITTEN_PAGES_METHODS(version)                                                                            \
    {version,     xClose,      xRead,    xWrite,     xTruncate, xSync,   xFileSize,                               \
     xLock,       xUnlock,     xCheckReservedLock,   xFileControl,       xSectorSize, xDeviceCharacteristics,      \
     xShmMap,     xShmLock,    xShmBarrier,          xShmUnmap,          xFetch,      xUnfetch}
inline const sqlite3_io_methods methods[] = {WRITTEN_PAGES_METHODS(0), WRITTEN_PAGES_METHODS(1),
                                             WRITTEN_PAGES_METHODS(2), WRITTEN_PAGES_METHODS(3)};
#undef WRITTEN_PAGES_METHODS

inline int xOpen(sqlite3_vfs *, sqlite3_filename name, sqlite3_file *file, int flags, int *outFlags)
{
    auto *ours = reinterpret_cast<File *>(file);
    ours->real = reinterpret_cast<sqlite3_file *>(ours + 1);
    ours->written = nullptr;
    const int result = realVfs->xOpen(realVfs, name, ours->real, flags, outFlags);
    if (result != SQLITE_OK || !ours->real->pMethods) {
        file->pMethods = nullptr;
        return result;
    }
    if (name && flags & (SQLITE_OPEN_MAIN_DB | SQLITE_OPEN_WAL)) {
        const std::lock_guard lock(mutex);
        ours->written = &files[name];
        ours->written->log = (flags & SQLITE_OPEN_WAL) != 0;
    }
    file->pMethods = &methods[std::min(ours->real->pMethods->iVersion, 3)];
    return SQLITE_OK;
}

}

// Makes the counting layer SQLite's default file system, for the connections opened from now on.
// False when SQLite cannot be found.
inline bool install()
{
    using namespace Detail;
    static const bool installed = [] {
        void *library = dlopen("libsqlite3.so.0", RTLD_NOW);
        if (!library)
            return false;
        const auto find = reinterpret_cast<decltype(&sqlite3_vfs_find)>(dlsym(library, "sqlite3_vfs_find"));
        const auto registered = reinterpret_cast<decltype(&sqlite3_vfs_register)>(dlsym(library, "sqlite3_vfs_register"));
        if (!find || !registered || !(realVfs = find(nullptr)))
            return false;
        // The real one's other functions keep its own data, and do not tell its handles apart from ours.
        shim = *realVfs;
        shim.pNext = nullptr;
        shim.szOsFile = int(sizeof(File)) + realVfs->szOsFile;
        shim.zName = "writtenpages";
        shim.xOpen = xOpen;
        return registered(&shim, 1) == SQLITE_OK;
    }();
    return installed;
}

// Holds the syncs of logs from now on (see holdLogSyncs), or lets them go.
inline void holdSyncs(bool hold)
{
    const std::lock_guard lock(Detail::mutex);
    holdLogSyncs = hold;
    if (!hold)
        syncsLetGo.notify_all();
}

inline int syncsHeld()
{
    const std::lock_guard lock(Detail::mutex);
    return syncsWaiting;
}

// The pages written since the start, or since the last reset().
inline Pages written()
{
    const std::lock_guard lock(Detail::mutex);
    return Detail::totals;
}

// Counts from now on: a page written before and again after counts again.
inline void reset()
{
    const std::lock_guard lock(Detail::mutex);
    Detail::totals = {};
    for (auto &[name, file] : Detail::files) {
        file.unsynced.clear();
        file.unsyncedFrames.clear();
    }
}

}
