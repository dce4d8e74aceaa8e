#pragma once

#include <QString>
#include <QVariant>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class QSettings;

// Saves changes of settings to their file on a thread of its own, in the order they were made:
// saving the file syncs it to the disk, which the thread that changes them must not wait for.
// The thread starts with the first change. Destruction saves what is left and waits for it.
class SettingsWriter
{
public:
    // `open` makes the settings that write, on the writer's thread.
    explicit SettingsWriter(std::function<std::unique_ptr<QSettings>()> open);
    ~SettingsWriter();
    SettingsWriter(const SettingsWriter &) = delete;
    SettingsWriter &operator=(const SettingsWriter &) = delete;

    void set(const QString &key, const QVariant &value);
    void remove(const QString &key);
    void clear();

private:
    struct Change
    {
        enum class Kind { set, remove, clear } kind;
        QString key;
        QVariant value;
    };

    void add(Change change);
    void run();

    std::function<std::unique_ptr<QSettings>()> m_open;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<Change> m_changes;
    bool m_stop = false;
    std::thread m_thread;
};
