#include "ui/cells/Formatters.h"

#include <QRegularExpression>

#include <unicode/numberformatter.h>
#include <unicode/reldatefmt.h>

#include <memory>
#include <optional>

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
    // Some locales' short format (the C locale's among them) still shows seconds.
    static const QRegularExpression seconds(QStringLiteral("[:.]ss?"));
    auto format = locale.timeFormat(QLocale::ShortFormat);
    format.remove(seconds);
    return locale.toString(time, format);
}

QString Formatters::abbreviatedDateTime(const QDateTime &moment, const QLocale &locale)
{
    const auto local = moment.toLocalTime();
    return abbreviatedDate(local.date(), locale) + QStringLiteral(", ") + shortTime(local.time(), locale);
}

QString Formatters::shortTime(const QDateTime &moment, const QLocale &locale)
{
    return shortTime(moment.toLocalTime().time(), locale);
}

namespace {

QString fromIcu(const icu::UnicodeString &text)
{
    return QString(reinterpret_cast<const QChar *>(text.getBuffer()), text.length());
}

icu::Locale icuLocale(const QLocale &locale)
{
    // The C (POSIX) locale names no language; ICU's root rules would write "1 years ago".
    if (locale.language() == QLocale::C)
        return icu::Locale("en_US");
    return icu::Locale(locale.name().toLatin1().constData());
}

// Building ICU formatters is slow and table cells ask per row, so the last locale's are kept.
const icu::number::LocalizedNumberFormatter &compactFormatter(const QLocale &locale)
{
    static QString name;
    static std::optional<icu::number::LocalizedNumberFormatter> formatter;
    if (!formatter || name != locale.name()) {
        name = locale.name();
        formatter = icu::number::NumberFormatter::withLocale(icuLocale(locale))
                        .notation(icu::number::Notation::compactShort());
    }
    return *formatter;
}

const icu::RelativeDateTimeFormatter *relativeFormatter(const QLocale &locale)
{
    static QString name;
    static std::unique_ptr<icu::RelativeDateTimeFormatter> formatter;
    if (!formatter || name != locale.name()) {
        name = locale.name();
        UErrorCode status = U_ZERO_ERROR;
        formatter = std::make_unique<icu::RelativeDateTimeFormatter>(icuLocale(locale), nullptr, UDAT_STYLE_LONG,
                                                                     UDISPCTX_CAPITALIZATION_NONE, status);
        if (U_FAILURE(status))
            formatter.reset();
    }
    return formatter.get();
}

}

QString Formatters::compactNumber(qint64 value, const QLocale &locale)
{
    UErrorCode status = U_ZERO_ERROR;
    const auto text = compactFormatter(locale).formatInt(value, status).toString(status);
    return U_SUCCESS(status) ? fromIcu(text) : QString::number(value);
}

QString Formatters::relativeTime(const QDateTime &moment, const QDateTime &now, const QLocale &locale)
{
    const bool past = moment < now;
    const QDateTime from = (past ? moment : now).toLocalTime();
    const QDateTime to = (past ? now : moment).toLocalTime();

    // Whole calendar units from the earlier to the later moment, largest first.
    qint64 amount = 0;
    URelativeDateTimeUnit unit = UDAT_REL_UNIT_SECOND;
    int months = (to.date().year() - from.date().year()) * 12 + to.date().month() - from.date().month();
    while (months > 0 && from.addMonths(months) > to)
        --months;
    qint64 days = from.date().daysTo(to.date());
    while (days > 0 && from.addDays(days) > to)
        --days;
    const qint64 seconds = from.addDays(days).secsTo(to);
    if (months >= 12) {
        amount = months / 12;
        unit = UDAT_REL_UNIT_YEAR;
    } else if (months > 0) {
        amount = months;
        unit = UDAT_REL_UNIT_MONTH;
    } else if (days >= 7) {
        amount = days / 7;
        unit = UDAT_REL_UNIT_WEEK;
    } else if (days > 0) {
        amount = days;
        unit = UDAT_REL_UNIT_DAY;
    } else if (seconds >= 3600) {
        amount = seconds / 3600;
        unit = UDAT_REL_UNIT_HOUR;
    } else if (seconds >= 60) {
        amount = seconds / 60;
        unit = UDAT_REL_UNIT_MINUTE;
    } else {
        amount = seconds;
    }

    const auto *formatter = relativeFormatter(locale);
    if (!formatter)
        return {};
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString text;
    if (amount == 0)
        formatter->format(UDAT_DIRECTION_PLAIN, UDAT_ABSOLUTE_NOW, text, status);
    else
        formatter->formatNumeric(double(past ? -amount : amount), unit, text, status);
    return U_SUCCESS(status) ? fromIcu(text) : QString();
}
