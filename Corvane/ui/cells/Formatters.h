#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// How the screens write times and figures, in the user's locale.
namespace Formatters {

// The locale's abbreviated date: its long date without the weekday and with short month
// names ("Dec 7, 2026", "7. Dez. 2026").
QString abbreviatedDate(const QDate &date, const QLocale &locale = QLocale::system());

// The locale's short time ("9:00 AM", "09:00").
QString shortTime(const QTime &time, const QLocale &locale = QLocale::system());

// The short time of the moment in local time.
QString shortTime(const QDateTime &moment, const QLocale &locale = QLocale::system());

// Abbreviated date and short time of the moment in local time ("Dec 7, 2026, 9:00 AM").
QString abbreviatedDateTime(const QDateTime &moment, const QLocale &locale = QLocale::system());

// A count in the locale's short compact notation, as ICU writes it: below 1000 the plain
// number; above, the thousands (K), millions (M), billions (B) or trillions (T) with two
// significant digits while under 100 of the unit and whole units from there, rounded half to
// even, a trailing ".0" dropped and the unit raised when rounding reaches the next one:
// 950 "950", 1234 "1.2K", 12345 "12K", 123456 "123K", 999999 "1M", 1234567 "1.2M".
QString compactNumber(qint64 value, const QLocale &locale = QLocale::system());

// `moment` relative to `now` in words with a number ("5 minutes ago", "in 2 hours", "1 day ago"):
// the largest calendar unit (year, month, week, day, hour, minute, second) of which at least one
// whole lies between the two, counted whole. Less than a second apart reads "now".
QString relativeTime(const QDateTime &moment, const QDateTime &now, const QLocale &locale = QLocale::system());

}
