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

// Abbreviated date and short time of the moment in local time ("Dec 7, 2026, 9:00 AM").
QString abbreviatedDateTime(const QDateTime &moment, const QLocale &locale = QLocale::system());

}
