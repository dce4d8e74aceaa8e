#pragma once

#include <QDateTime>
#include <QHashFunctions>
#include <QString>

#include <optional>

// One keyword, unique by its normal form. Its links to apps are rows of their own that
// refer to it and are deleted with it (StoreDb).
struct Keyword
{
    // The row id; 0 until the record is stored. Identity, equality and hashing use only this.
    qint64 persistentId = 0;

    QString normalized;
    QString display;
    std::optional<QString> translatedEn;
    QDateTime createdAt = QDateTime::currentDateTimeUtc();

    Keyword() = default;
    // `normalized` must already be in the keyword normal form.
    Keyword(QString normalized, QString display);

    friend bool operator==(const Keyword &a, const Keyword &b) { return a.persistentId == b.persistentId; }
    friend size_t qHash(const Keyword &keyword, size_t seed = 0) noexcept { return qHash(keyword.persistentId, seed); }
};
