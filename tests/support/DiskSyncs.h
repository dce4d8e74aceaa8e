#pragma once

// Counts the disk syncs of one thread against all others, standing in for the C library's sync
// calls: SQLite and Qt, loaded after the test executable, find these first; and makes those of
// the other threads as slow as a slow disk's, or stops them, when asked. Include it in one file
// of a test executable only.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <dlfcn.h>

namespace DiskSyncs {

inline std::atomic<std::thread::id> watched{};
inline std::atomic<int> onWatched{0};
inline std::atomic<int> elsewhere{0};
// How long every sync of another thread than the watched one takes at least.
inline std::atomic<int> slowElsewhereMs{0};

// Counts from now on, the calling thread's syncs apart.
inline void watchThisThread()
{
    watched = std::this_thread::get_id();
    onWatched = 0;
    elsewhere = 0;
}

inline std::mutex gateMutex;
inline std::condition_variable gateChanged;
inline bool gateClosed = false;
inline int atGate = 0;

// While it lives, the other threads than the watched one stop at their next sync until it lets
// them go: a test steps in at a known point of their work, such as a copy that has begun.
class HeldSyncs
{
public:
    HeldSyncs()
    {
        const std::lock_guard lock(gateMutex);
        gateClosed = true;
    }
    ~HeldSyncs() { letGo(); }
    HeldSyncs(const HeldSyncs &) = delete;
    HeldSyncs &operator=(const HeldSyncs &) = delete;

    // Whether a thread stopped at a sync within `timeout`.
    static bool awaitOne(std::chrono::milliseconds timeout = std::chrono::seconds(60))
    {
        std::unique_lock lock(gateMutex);
        return gateChanged.wait_for(lock, timeout, [] { return atGate > 0; });
    }
    static void letGo()
    {
        const std::lock_guard lock(gateMutex);
        gateClosed = false;
        gateChanged.notify_all();
    }
};

inline void count()
{
    if (std::this_thread::get_id() == watched.load()) {
        ++onWatched;
        return;
    }
    ++elsewhere;
    if (const int delay = slowElsewhereMs.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    std::unique_lock lock(gateMutex);
    if (!gateClosed)
        return;
    ++atGate;
    gateChanged.notify_all();
    gateChanged.wait(lock, [] { return !gateClosed; });
    --atGate;
}

template <typename Function>
Function real(const char *name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}

extern "C" int fsync(int fd)
{
    static const auto sync = DiskSyncs::real<int (*)(int)>("fsync");
    DiskSyncs::count();
    return sync(fd);
}

extern "C" int fdatasync(int fd)
{
    static const auto sync = DiskSyncs::real<int (*)(int)>("fdatasync");
    DiskSyncs::count();
    return sync(fd);
}
