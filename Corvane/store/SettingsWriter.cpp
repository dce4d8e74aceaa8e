#include "store/SettingsWriter.h"

#include <QLoggingCategory>
#include <QSettings>

namespace {

Q_LOGGING_CATEGORY(lcSettings, "vantu.settings")

}

SettingsWriter::SettingsWriter(std::function<std::unique_ptr<QSettings>()> open) : m_open(std::move(open)) {}

SettingsWriter::~SettingsWriter()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void SettingsWriter::set(const QString &key, const QVariant &value)
{
    add({Change::Kind::set, key, value});
}

void SettingsWriter::remove(const QString &key)
{
    add({Change::Kind::remove, key, {}});
}

void SettingsWriter::clear()
{
    add({Change::Kind::clear, {}, {}});
}

void SettingsWriter::add(Change change)
{
    {
        const std::lock_guard lock(m_mutex);
        m_changes.push_back(std::move(change));
        if (!m_thread.joinable())
            m_thread = std::thread([this] { run(); });
    }
    m_wake.notify_all();
}

void SettingsWriter::run()
{
    const auto settings = m_open();
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !m_changes.empty(); });
        if (m_changes.empty())
            break;
        const auto changes = std::exchange(m_changes, {});
        lock.unlock();
        for (const auto &change : changes) {
            switch (change.kind) {
            case Change::Kind::set:
                settings->setValue(change.key, change.value);
                break;
            case Change::Kind::remove:
                settings->remove(change.key);
                break;
            case Change::Kind::clear:
                settings->clear();
                break;
            }
        }
        // Changes made meanwhile go with the next save.
        settings->sync();
        if (settings->status() != QSettings::NoError)
            qCWarning(lcSettings) << "the settings could not be saved to" << settings->fileName();
        lock.lock();
    }
}
