#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>
#include <QVariant>

#include <optional>

// How record values are written into and read back from database columns: dates as
// integer milliseconds since the Unix epoch (UTC), UUIDs as upper-case hyphenated text,
// lists of strings as compact JSON arrays, booleans as 0/1. An absent optional is NULL.
namespace StoredForm {

QString uuidText(const QUuid &uuid);
// "alias.pk, alias.a, alias.b, …": the row id, then the columns, as the record readers expect.
QString selectList(const QString &alias, const QStringList &columns);
QDateTime dateFromMilliseconds(qint64 ms);

// Values to bind. A non-optional text or byte array is never bound as NULL, even when empty.
QVariant text(const QString &value);
QVariant optionalText(const std::optional<QString> &value);
QVariant integer(qint64 value);
QVariant optionalInteger(const std::optional<qint64> &value);
QVariant optionalDouble(const std::optional<double> &value);
QVariant boolean(bool value);
QVariant date(const QDateTime &value);
QVariant optionalDate(const std::optional<QDateTime> &value);
QVariant uuid(const QUuid &value);
QVariant optionalUrl(const std::optional<QUrl> &value);
QVariant list(const QStringList &value);
QVariant bytes(const QByteArray &value);

// Values read back. A column that does not hold what it should reads as the type's empty value.
QString toText(const QVariant &value);
std::optional<QString> toOptionalText(const QVariant &value);
qint64 toInteger(const QVariant &value);
std::optional<qint64> toOptionalInteger(const QVariant &value);
std::optional<double> toOptionalDouble(const QVariant &value);
bool toBoolean(const QVariant &value);
QDateTime toDate(const QVariant &value);
std::optional<QDateTime> toOptionalDate(const QVariant &value);
QUuid toUuid(const QVariant &value);
std::optional<QUrl> toOptionalUrl(const QVariant &value);
QStringList toList(const QVariant &value);
QByteArray toBytes(const QVariant &value);

}
