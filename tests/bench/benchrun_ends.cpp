// A benchmark program that ends as its first argument says: "thread" and "destructor" through
// std::terminate() after main() returned (a thread left joinable, an exception out of a
// destructor), "fail" through a failed requirement within main(); without one it ends well. It
// prints its work folder first.
#include "BenchRun.h"

#include <QTemporaryDir>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

// Destroyed after main() returned, and after everything main() registered for the exit.
std::thread leftJoinable;

struct ThrowsWhenDestroyed
{
    bool armed = false;
    ~ThrowsWhenDestroyed() noexcept(false)
    {
        if (armed)
            throw std::runtime_error("thrown by a destructor");
    }
} throwing;

}

int main(int argc, char **argv)
{
    QTemporaryDir dir;
    BenchRun::useWorkDir(dir);
    std::printf("%s\n", qPrintable(dir.path()));
    std::fflush(stdout);
    const std::string how = argc > 1 ? argv[1] : "";
    if (how == "thread")
        leftJoinable = std::thread([] {});
    else if (how == "destructor")
        throwing.armed = true;
    else if (how == "fail")
        BenchRun::require(false, "a requirement");
    return 0;
}
