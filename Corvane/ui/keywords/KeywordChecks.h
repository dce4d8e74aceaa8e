#pragma once

#include <QCoroTask>
#include <QPointer>
#include <QString>
#include <QStringList>

class ASOStore;

namespace KeywordChecks {

// Searches the keywords (normal forms) in the storefront one after another (a fresh stored
// search is reused unless `force`), applies each result to the app, then refreshes their
// popularity and raises the data version once, since searches save without raising it. Only
// the app's ID is held across the waits: the task stops quietly once the app or the store is
// gone. Keywords that are not stored are skipped.
QCoro::Task<> searchAndApply(QPointer<ASOStore> store, QString appleAppId, QString country, QStringList keywords,
                             bool force);

}
