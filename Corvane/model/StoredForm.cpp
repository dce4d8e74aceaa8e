#include "model/StoredForm.h"

#include "clients/AppRecords.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTimeZone>

namespace StoredForm {

QString uuidText(const QUuid &uuid)
{
    return uuid.toString(QUuid::WithoutBraces).toUpper();
}

QString selectList(const QString &alias, const QStringList &columns)
{
    QStringList prefixed{alias + QStringLiteral(".pk")};
    for (const auto &column : columns)
        prefixed.append(alias + QLatin1Char('.') + column);
    return prefixed.join(QStringLiteral(", "));
}

QDateTime dateFromMilliseconds(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

QVariant text(const QString &value)
{
    // Qt binds a null QString as NULL, which a NOT NULL column refuses.
    return value.isNull() ? QVariant(QString(QLatin1String(""))) : QVariant(value);
}

QVariant optionalText(const std::optional<QString> &value)
{
    return value ? text(*value) : QVariant();
}

QVariant integer(qint64 value)
{
    return QVariant(value);
}

QVariant optionalInteger(const std::optional<qint64> &value)
{
    return value ? QVariant(*value) : QVariant();
}

QVariant optionalDouble(const std::optional<double> &value)
{
    return value ? QVariant(*value) : QVariant();
}

QVariant boolean(bool value)
{
    return QVariant(qint64(value ? 1 : 0));
}

QVariant date(const QDateTime &value)
{
    return QVariant(value.toMSecsSinceEpoch());
}

QVariant optionalDate(const std::optional<QDateTime> &value)
{
    return value ? date(*value) : QVariant();
}

QVariant uuid(const QUuid &value)
{
    return QVariant(uuidText(value));
}

QVariant optionalUrl(const std::optional<QUrl> &value)
{
    return value ? QVariant(AppRecords::urlText(*value)) : QVariant();
}

QVariant list(const QStringList &value)
{
    return QVariant(QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(value)).toJson(QJsonDocument::Compact)));
}

QVariant bytes(const QByteArray &value)
{
    // A null QByteArray would be bound as NULL; zero bytes are a value of their own.
    return value.isNull() ? QVariant(QByteArray("", 0)) : QVariant(value);
}

QString toText(const QVariant &value)
{
    return value.isNull() ? QString() : value.toString();
}

std::optional<QString> toOptionalText(const QVariant &value)
{
    if (value.isNull())
        return std::nullopt;
    return value.toString();
}

qint64 toInteger(const QVariant &value)
{
    return value.isNull() ? 0 : value.toLongLong();
}

std::optional<qint64> toOptionalInteger(const QVariant &value)
{
    if (value.isNull())
        return std::nullopt;
    return value.toLongLong();
}

std::optional<double> toOptionalDouble(const QVariant &value)
{
    if (value.isNull())
        return std::nullopt;
    return value.toDouble();
}

bool toBoolean(const QVariant &value)
{
    return toInteger(value) != 0;
}

QDateTime toDate(const QVariant &value)
{
    return dateFromMilliseconds(toInteger(value));
}

std::optional<QDateTime> toOptionalDate(const QVariant &value)
{
    if (value.isNull())
        return std::nullopt;
    return dateFromMilliseconds(value.toLongLong());
}

QUuid toUuid(const QVariant &value)
{
    return QUuid::fromString(toText(value));
}

std::optional<QUrl> toOptionalUrl(const QVariant &value)
{
    if (value.isNull())
        return std::nullopt;
    return QUrl(value.toString(), QUrl::StrictMode);
}

QStringList toList(const QVariant &value)
{
    QStringList result;
    const auto document = QJsonDocument::fromJson(toText(value).toUtf8());
    for (const auto &entry : document.array()) {
        if (entry.isString())
            result.append(entry.toString());
    }
    return result;
}

QByteArray toBytes(const QVariant &value)
{
    return value.isNull() ? QByteArray() : value.toByteArray();
}

}
