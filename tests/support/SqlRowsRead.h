#pragma once

#include "model/SqliteLibrary.h"

#include <QByteArray>
#include <QSqlDatabase>
#include <QStringList>

#include <dlfcn.h>

// Counts the rows that statements whose SQL contains a piece of text return on the open
// connections of this thread, such as the store's, while it lives: what a screen reads of a
// table, without a hook in the code under test. Goes through the SQLite library that the Qt
// driver loaded.
class SqlRowsRead
{
public:
    explicit SqlRowsRead(QByteArray sqlPart) : m_sqlPart(std::move(sqlPart))
    {
        const auto api = library();
        if (!api.trace || !api.sql)
            qFatal("SQLite's trace is not available");
        for (const auto &name : QSqlDatabase::connectionNames()) {
            if (auto *handle = SqliteLibrary::handle(QSqlDatabase::database(name, false)))
                m_handles.append(handle);
        }
        for (auto *handle : std::as_const(m_handles))
            api.trace(handle, traceRow, &SqlRowsRead::count, this);
    }
    ~SqlRowsRead()
    {
        for (auto *handle : std::as_const(m_handles))
            library().trace(handle, 0, nullptr, nullptr);
    }
    SqlRowsRead(const SqlRowsRead &) = delete;
    SqlRowsRead &operator=(const SqlRowsRead &) = delete;

    qsizetype rows = 0;

private:
    static constexpr unsigned traceRow = 0x04; // SQLITE_TRACE_ROW

    struct Api
    {
        int (*trace)(void *, unsigned, int (*)(unsigned, void *, void *, void *), void *) = nullptr;
        const char *(*sql)(void *) = nullptr;
    };

    static Api library()
    {
        static const Api api = [] {
            Api found;
            if (void *library = dlopen("libsqlite3.so.0", RTLD_NOW | RTLD_NOLOAD)) {
                found.trace = reinterpret_cast<decltype(found.trace)>(dlsym(library, "sqlite3_trace_v2"));
                found.sql = reinterpret_cast<decltype(found.sql)>(dlsym(library, "sqlite3_sql"));
            }
            return found;
        }();
        return api;
    }

    static int count(unsigned, void *context, void *statement, void *)
    {
        auto *self = static_cast<SqlRowsRead *>(context);
        const char *sql = library().sql(statement);
        if (sql && QByteArray::fromRawData(sql, qstrlen(sql)).contains(self->m_sqlPart))
            ++self->rows;
        return 0;
    }

    QByteArray m_sqlPart;
    QList<void *> m_handles;
};
