#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include <chrono>
#include <future>
#include <thread>

// Holds the write lock of a database file on a connection and thread of its own, as another
// program may, until released or until `limit` passed.
class LockHolder
{
public:
    LockHolder(const QString &path, std::chrono::milliseconds limit) : m_thread([this, path, limit] { hold(path, limit); })
    {
        m_taken.get_future().wait();
    }
    ~LockHolder() { release(); }
    LockHolder(const LockHolder &) = delete;
    LockHolder &operator=(const LockHolder &) = delete;

    void release()
    {
        if (!m_thread.joinable())
            return;
        m_release.set_value();
        m_thread.join();
    }

private:
    void hold(const QString &path, std::chrono::milliseconds limit)
    {
        const auto name = QStringLiteral("holder");
        {
            auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(path);
            db.open();
            QSqlQuery(QStringLiteral("BEGIN IMMEDIATE"), db);
            m_taken.set_value();
            m_release.get_future().wait_for(limit);
            QSqlQuery(QStringLiteral("COMMIT"), db);
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }

    std::promise<void> m_taken;
    std::promise<void> m_release;
    std::thread m_thread;
};
