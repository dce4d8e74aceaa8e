#pragma once

#include "model/StoredForm.h"

#include <QSqlQuery>

// Reads the columns of the current row of a query one after the other, in the order of
// the SELECT list, so that each record's reader mirrors its column list.
class RowReader
{
public:
    explicit RowReader(const QSqlQuery &query, int firstColumn = 0)
        : m_query(query), m_column(firstColumn)
    {
    }

    QString text() { return StoredForm::toText(next()); }
    std::optional<QString> optionalText() { return StoredForm::toOptionalText(next()); }
    qint64 integer() { return StoredForm::toInteger(next()); }
    std::optional<qint64> optionalInteger() { return StoredForm::toOptionalInteger(next()); }
    std::optional<double> optionalDouble() { return StoredForm::toOptionalDouble(next()); }
    bool boolean() { return StoredForm::toBoolean(next()); }
    QDateTime date() { return StoredForm::toDate(next()); }
    std::optional<QDateTime> optionalDate() { return StoredForm::toOptionalDate(next()); }
    QUuid uuid() { return StoredForm::toUuid(next()); }
    std::optional<QUrl> optionalUrl() { return StoredForm::toOptionalUrl(next()); }
    QStringList list() { return StoredForm::toList(next()); }
    QByteArray bytes() { return StoredForm::toBytes(next()); }

    int column() const { return m_column; }

private:
    QVariant next() { return m_query.value(m_column++); }

    const QSqlQuery &m_query;
    int m_column;
};
