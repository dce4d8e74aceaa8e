#include "store/RankPoint.h"

#include <QTimeZone>

QDateTime RankPoint::distantPast()
{
    return QDateTime(QDate(1, 1, 1), QTime(0, 0), QTimeZone::utc());
}
