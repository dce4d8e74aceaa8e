#pragma once

// The largest size a file reached, as the database's log between two moments.
#include <QString>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include <sys/stat.h>

// Reads the size of a file every 10 ms on a thread of its own, without opening it, until destroyed.
class FileSizeProbe
{
public:
    explicit FileSizeProbe(const QString &path) : m_path(path.toStdString()), m_thread([this] { run(); }) {}
    ~FileSizeProbe()
    {
        m_stop = true;
        m_thread.join();
    }
    FileSizeProbe(const FileSizeProbe &) = delete;
    FileSizeProbe &operator=(const FileSizeProbe &) = delete;

    qint64 largest() const { return m_largest; }

private:
    void run()
    {
        while (!m_stop) {
            struct stat info{};
            if (::stat(m_path.c_str(), &info) == 0 && info.st_size > m_largest)
                m_largest = info.st_size;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    std::string m_path;
    std::atomic<bool> m_stop{false};
    std::atomic<qint64> m_largest{0};
    std::thread m_thread;
};
