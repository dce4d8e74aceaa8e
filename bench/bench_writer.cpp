// A writer that saves as the window does, one small save after another, and never steps aside,
// while the database's log passes its bound and begins anew on another thread:
//   steady_writer/0: on this machine's disk;
//   steady_writer/1500: with every sync of another thread than the writer's taking 1.5 s more,
//     as on a USB stick, an SD card or a network home folder.
// Each writes for 30 s (1 s in a smoke run) and reports the saves refused (refused, target: 0),
// the longest save (longest_save_ms, target on the slow disk: under 1,000 ms) and the largest size
// of the log as a multiple of its bound (log_bounds, target on this machine's disk: at most 4), as
// its file size after each save shows it.
#include "model/StoreDb.h"

#include "DiskSyncs.h"
#include "TrackedAccounts.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>

#include <benchmark/benchmark.h>

namespace {

const auto writingTime =
    BenchRun::pick<std::chrono::milliseconds>(std::chrono::seconds(30), std::chrono::seconds(1));
// The application's own bound, in bytes of the log.
constexpr qint64 boundBytes = 16384 * (4096 + 24);

void steady_writer(benchmark::State &state)
{
    for (auto _ : state) {
        QFile::remove(TrackedAccounts::databasePath("writer"));
        auto db = StoreDb::openFile(TrackedAccounts::databasePath("writer"));
        const auto log = db->filePath() + QStringLiteral("-wal");
        DiskSyncs::watchThisThread();
        DiskSyncs::slowElsewhereMs = int(state.range(0));
        int refused = 0;
        qint64 longest = 0;
        qint64 largestLog = 0;
        QElapsedTimer running;
        running.start();
        for (int i = 0; std::chrono::milliseconds(running.elapsed()) < writingTime; ++i) {
            QElapsedTimer timer;
            timer.start();
            {
                StoreDb::Transaction save(*db);
                Keyword keyword(QStringLiteral("keyword %1").arg(i), QStringLiteral("Keyword %1 ").arg(i).repeated(300));
                if (!db->insert(keyword) || !save.commit())
                    ++refused;
            }
            longest = std::max(longest, timer.elapsed());
            largestLog = std::max(largestLog, QFileInfo(log).size());
            QCoreApplication::processEvents();
        }
        // Closing copies back the rest at the disk's own pace.
        DiskSyncs::slowElsewhereMs = 0;
        db.reset();
        state.counters["refused"] = refused;
        state.counters["longest_save_ms"] = double(longest);
        state.counters["log_bounds"] = double(largestLog) / double(boundBytes);
    }
}

}

int main(int argc, char **argv)
{
    QTemporaryDir dir;
    TrackedAccounts::useWorkDir(dir);
    QCoreApplication application(argc, argv);
    benchmark::RegisterBenchmark("steady_writer", steady_writer)->Arg(0)->Arg(1500)->Iterations(1)
        ->Unit(benchmark::kMillisecond)->UseRealTime();
    return BenchRun::run(argc, argv);
}
