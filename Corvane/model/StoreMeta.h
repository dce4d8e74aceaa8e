#pragma once

#include <QHashFunctions>
#include <QString>

// One of the store's own bookkeeping values, under a string key.
struct StoreMeta
{
    // The row id; 0 until the record is stored. Identity, equality and hashing use only this.
    qint64 persistentId = 0;

    QString key;
    qint64 value = 0;

    StoreMeta() = default;
    StoreMeta(QString key, qint64 value);

    friend bool operator==(const StoreMeta &a, const StoreMeta &b) { return a.persistentId == b.persistentId; }
    friend size_t qHash(const StoreMeta &meta, size_t seed = 0) noexcept { return qHash(meta.persistentId, seed); }
};
