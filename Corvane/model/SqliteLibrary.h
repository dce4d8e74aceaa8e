#pragma once

#include <sqlite3.h>

class QSqlDatabase;

// The functions of SQLite that Qt's driver does not offer, found in the very library the driver
// loaded: a second copy linked in beside it would not know the driver's connections.
struct SqliteLibrary
{
    decltype(&sqlite3_open_v2) open_v2 = nullptr;
    decltype(&sqlite3_close_v2) close_v2 = nullptr;
    decltype(&sqlite3_exec) exec = nullptr;
    decltype(&sqlite3_busy_timeout) busy_timeout = nullptr;
    decltype(&sqlite3_busy_handler) busy_handler = nullptr;
    decltype(&sqlite3_extended_errcode) extended_errcode = nullptr;
    decltype(&sqlite3_errmsg) errmsg = nullptr;
    decltype(&sqlite3_interrupt) interrupt = nullptr;
    decltype(&sqlite3_wal_hook) wal_hook = nullptr;
    decltype(&sqlite3_wal_checkpoint_v2) wal_checkpoint_v2 = nullptr;
    decltype(&sqlite3_blob_open) blob_open = nullptr;
    decltype(&sqlite3_blob_reopen) blob_reopen = nullptr;
    decltype(&sqlite3_blob_bytes) blob_bytes = nullptr;
    decltype(&sqlite3_blob_read) blob_read = nullptr;
    decltype(&sqlite3_blob_close) blob_close = nullptr;
    decltype(&sqlite3_db_config) db_config = nullptr; // variadic, as SQLite declares it
    decltype(&sqlite3_db_status) db_status = nullptr;

    // Absent until a connection of the driver loaded the library, or when any function is missing.
    static const SqliteLibrary *get();
    // The SQLite connection of an open database of Qt's driver; null for any other.
    static sqlite3 *handle(const QSqlDatabase &db);
};
