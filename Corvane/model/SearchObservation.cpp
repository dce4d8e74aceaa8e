#include "model/SearchObservation.h"

QList<SearchHit> SearchObservation::hits() const
{
    return AppRecords::decodeHits(hitsData).value_or(QList<SearchHit>());
}
