#include "ui/cells/Formatters.h"

#include <QRegularExpression>

QString Formatters::abbreviatedDate(const QDate &date, const QLocale &locale)
{
    auto format = locale.dateFormat(QLocale::LongFormat);
    // The weekday with the separator that follows or precedes it goes; month names get short.
    static const QRegularExpression weekday(QStringLiteral("d{4}[,.]?\\s*|[,]?\\s*d{4}"));
    format.remove(weekday);
    format.replace(QStringLiteral("MMMM"), QStringLiteral("MMM"));
    return locale.toString(date, format.trimmed());
}

QString Formatters::shortTime(const QTime &time, const QLocale &locale)
{
    return locale.toString(time, QLocale::ShortFormat);
}

QString Formatters::abbreviatedDateTime(const QDateTime &moment, const QLocale &locale)
{
    const auto local = moment.toLocalTime();
    return abbreviatedDate(local.date(), locale) + QStringLiteral(", ") + shortTime(local.time(), locale);
}
