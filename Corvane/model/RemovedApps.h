#pragma once

#include <QString>

// An app being removed is recorded in the store's bookkeeping under this prefix and its ID, with
// its row id as the value, until the last of its rows is gone. Its app and its alerts are in no
// read meanwhile.
namespace RemovedApps {

inline const QString markerPrefix = QStringLiteral("appRemoval:");

// The IDs of the apps being removed, as a subquery.
inline QString ids()
{
    return QStringLiteral("(SELECT substr(key, %1) FROM store_meta WHERE key GLOB '%2*')")
        .arg(markerPrefix.size() + 1)
        .arg(markerPrefix);
}

}
