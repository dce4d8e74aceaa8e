#pragma once

// How a benchmark program runs: its work folder, the smoke run, how it fails, and its data.
//
// The smoke run: with VANTU_BENCH_SMOKE=1 in the environment (CTest sets it; `make test` runs
// every bench_* program so), each benchmark runs once, on small inputs, so that a program that
// no longer builds, fails or crashes is caught without the time a measurement takes. A program
// takes part by
//   - picking its sizes with BenchRun::pick(full, small) (or asking BenchRun::smoke()): accounts,
//     text lengths, explicit iteration counts, anything that takes long at full size; nothing
//     large may be written in a smoke run, nor anything outside the work folder;
//   - ending main() with `return BenchRun::run(argc, argv);` (or `BenchRun::run(argc, argv,
//     &reporter)` with a reporter of its own) in place of benchmark::Initialize(),
//     RunSpecifiedBenchmarks() and Shutdown(): in a smoke run it runs each benchmark for one
//     iteration, and it returns 1 when a benchmark reported an error (state.SkipWithError()).
// Checks that must hold use BenchRun::require(ok, "what"), which reports what failed and ends
// the program with status 1, without a crash.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <errno.h>
#include <unistd.h>

namespace BenchRun {

// Whether this is a smoke run: VANTU_BENCH_SMOKE is set, to anything but "" or "0".
inline bool smoke()
{
    static const bool on = [] {
        const char *value = std::getenv("VANTU_BENCH_SMOKE");
        return value && *value && std::strcmp(value, "0") != 0;
    }();
    return on;
}

// `full` in a measurement, `small` in a smoke run.
template<typename T>
T pick(T full, T small)
{
    return smoke() ? small : full;
}

// The folder the program works in: its databases, and its settings rather than the user's. Valid
// while main() runs only.
inline QTemporaryDir *workDir = nullptr;

namespace Detail {

// The work folder's absolute path, copied when it was made: an end after main() returned finds
// main()'s folder object gone. Plain characters, never destroyed, and forgotten once the folder is
// removed, so that no later end removes whatever may then stand there.
inline char workPath[4096] = {};
inline std::atomic<bool> workPathKept{false};

inline void removeWorkDir()
{
    if (!workPathKept.exchange(false))
        return;
    std::error_code ignored;
    std::filesystem::remove_all(workPath, ignored);
}

}

// First thing in main(), before the settings or the application object are made: the run works
// in `dir`, its settings never the user's, and windows draw offscreen unless a platform was chosen.
inline void useWorkDir(QTemporaryDir &dir)
{
    // An invalid one's path is empty: a removal of that would remove the folder the program was
    // started in.
    const auto path = QFileInfo(dir.path()).absoluteFilePath().toStdString();
    if (!dir.isValid() || path.size() >= sizeof(Detail::workPath) || path.size() < 2) {
        std::fprintf(stderr, "%s: no work folder could be made\n", program_invocation_short_name);
        std::_Exit(1);
    }
    workDir = &dir;
    std::memcpy(Detail::workPath, path.c_str(), path.size() + 1);
    Detail::workPathKept = true;
    qputenv("HOME", dir.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The settings' writer saves what is left when the settings go, at exit, after `dir` has gone
    // with main(): the folder goes again after that (handlers registered before an object is made
    // run after it is destroyed).
    static const bool removedAtExit = std::atexit(Detail::removeWorkDir) == 0;
    Q_UNUSED(removedAtExit)
}

namespace Detail {

// Says `message` and ends the program with status 1, from any thread. Not through exit(): that
// runs the destructors of static objects (Qt's among them) while the threads of a store that is
// still open go on using them, and the process crashes on the way out. The work folder is
// removed, as its owner would on a normal end.
[[noreturn]] inline void end(const char *message)
{
    static std::atomic_flag ending = ATOMIC_FLAG_INIT;
    if (ending.test_and_set()) {
        // Another thread ends the program.
        for (;;)
            std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    std::cout.flush();
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, message);
    std::fflush(stderr);
    removeWorkDir();
    std::_Exit(1);
}

// An exception that nothing catches (a database that cannot be opened, say) ends the program as
// a failed requirement does, rather than aborting it.
[[noreturn]] inline void endUncaught()
{
    std::string message = "ended by std::terminate()";
    if (const auto thrown = std::current_exception()) {
        try {
            std::rethrow_exception(thrown);
        } catch (const std::exception &error) {
            message = std::string("an exception was not caught: ") + error.what();
        } catch (...) {
            message = "an exception was not caught";
        }
    }
    end(message.c_str());
}

inline const std::terminate_handler previousTerminate = std::set_terminate(endUncaught);

}

// Reports what failed ("<program>: <what> failed") and ends the program with status 1, from any
// thread, without a crash.
[[noreturn]] inline void fail(const char *what)
{
    Detail::end((std::string(what) + " failed").c_str());
}

// Stops the program when `ok` does not hold: a benchmark whose setup silently went wrong would
// measure something else.
inline void require(bool ok, const char *what)
{
    if (!ok)
        fail(what);
}

// The apps of bench/data/apps.json, each with its name and description, in many languages.
inline QJsonArray appCorpus()
{
    QFile file(QStringLiteral(VANTU_BENCH_DATA_DIR "/apps.json"));
    require(file.open(QIODevice::ReadOnly), qPrintable(QStringLiteral("reading ") + file.fileName()));
    return QJsonDocument::fromJson(file.readAll()).array();
}

namespace Detail {

// Passes everything on to the reporter that shows it, and keeps the errors the benchmarks reported.
class ErrorsKept : public benchmark::BenchmarkReporter
{
public:
    explicit ErrorsKept(benchmark::BenchmarkReporter &shown) : m_shown(shown) {}

    bool ReportContext(const Context &context) override { return m_shown.ReportContext(context); }
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const auto &run : runs) {
            if (run.error_occurred)
                errors.push_back(run.benchmark_name() + ": " + run.error_message);
        }
        m_shown.ReportRuns(runs);
    }
    void Finalize() override { m_shown.Finalize(); }

    std::vector<std::string> errors;

private:
    benchmark::BenchmarkReporter &m_shown;
};

}

// Runs the benchmarks the command line chooses, shown by `shown` (by default the console, in
// colour on a terminal), and returns the program's exit status: 0 when every one ran without
// an error, else 1 (an unknown argument, or a benchmark that reported an error, named on
// stderr). In a smoke run each benchmark runs for one iteration, unless the command line says
// otherwise (or the benchmark sets its own count).
inline int run(int argc, char **argv, benchmark::BenchmarkReporter *shown = nullptr)
{
    static char oneIteration[] = "--benchmark_min_time=0";
    // As the library would show the results (on the console, or as JSON), unless a reporter is
    // passed in.
    std::string format = "console";
    for (int i = 1; i < argc; ++i) {
        if (const std::string argument = argv[i]; argument.rfind("--benchmark_format=", 0) == 0)
            format = argument.substr(argument.find('=') + 1);
    }
    std::vector<char *> arguments(argv, argv + argc);
    if (smoke() && !arguments.empty())
        arguments.insert(arguments.begin() + 1, oneIteration);
    int count = int(arguments.size());
    arguments.push_back(nullptr);
    benchmark::Initialize(&count, arguments.data());
    if (benchmark::ReportUnrecognizedArguments(count, arguments.data()))
        return 1;
    benchmark::ConsoleReporter console(isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_Color
                                                             : benchmark::ConsoleReporter::OO_None);
    benchmark::JSONReporter json;
    benchmark::BenchmarkReporter *display = &console;
    if (shown)
        display = shown;
    else if (format == "json")
        display = &json;
    Detail::ErrorsKept kept(*display);
    benchmark::RunSpecifiedBenchmarks(&kept);
    benchmark::Shutdown();
    if (kept.errors.empty())
        return 0;
    std::cout.flush();
    for (const auto &error : kept.errors)
        std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, error.c_str());
    return 1;
}

}
