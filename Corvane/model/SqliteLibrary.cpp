#include "model/SqliteLibrary.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>

#include <optional>

#include <dlfcn.h>

namespace {

template <typename Function>
bool find(void *library, Function &function, const char *name)
{
    function = reinterpret_cast<Function>(dlsym(library, name));
    return function != nullptr;
}

}

const SqliteLibrary *SqliteLibrary::get()
{
    static const auto found = []() -> std::optional<SqliteLibrary> {
        void *library = dlopen("libsqlite3.so.0", RTLD_NOW | RTLD_NOLOAD);
        if (!library)
            return std::nullopt;
        SqliteLibrary l;
        const bool all = find(library, l.open_v2, "sqlite3_open_v2") && find(library, l.close_v2, "sqlite3_close_v2")
                         && find(library, l.exec, "sqlite3_exec")
                         && find(library, l.busy_timeout, "sqlite3_busy_timeout")
                         && find(library, l.busy_handler, "sqlite3_busy_handler")
                         && find(library, l.extended_errcode, "sqlite3_extended_errcode")
                         && find(library, l.errmsg, "sqlite3_errmsg") && find(library, l.interrupt, "sqlite3_interrupt")
                         && find(library, l.wal_hook, "sqlite3_wal_hook")
                         && find(library, l.wal_checkpoint_v2, "sqlite3_wal_checkpoint_v2")
                         && find(library, l.blob_open, "sqlite3_blob_open")
                         && find(library, l.blob_reopen, "sqlite3_blob_reopen")
                         && find(library, l.blob_bytes, "sqlite3_blob_bytes")
                         && find(library, l.blob_read, "sqlite3_blob_read")
                         && find(library, l.blob_close, "sqlite3_blob_close")
                         && find(library, l.db_config, "sqlite3_db_config")
                         && find(library, l.db_status, "sqlite3_db_status");
        return all ? std::optional<SqliteLibrary>(l) : std::nullopt;
    }();
    return found ? &*found : nullptr;
}

sqlite3 *SqliteLibrary::handle(const QSqlDatabase &db)
{
    if (!db.isOpen())
        return nullptr;
    const auto handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}
