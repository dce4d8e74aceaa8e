#pragma once

#include "keywords/DiscoveryPlanner.h"
#include "keywords/KeywordSource.h"
#include "model/Keyword.h"
#include "model/TrackedApp.h"

#include <QDateTime>
#include <QHashFunctions>
#include <QString>

#include <optional>

// The link of a keyword to an app: where the keyword came from and how urgently discovery
// should search it. One app may hold several links to one keyword, one per source.
struct KeywordLink
{
    // The row id; 0 until the record is stored. Identity, equality and hashing use only this.
    qint64 persistentId = 0;

    // App ID, normal form and source raw value joined with "|"; set once, never recomputed.
    QString key;
    // Row ids of the linked app and keyword; deleting either deletes the link.
    std::optional<qint64> appPersistentId;
    std::optional<qint64> keywordPersistentId;
    QString sourceRaw;
    std::optional<QString> detail;
    std::optional<QString> sourceAppleAppId;
    qint64 priority = 0;
    qint64 depth = 0;
    QDateTime createdAt = QDateTime::currentDateTimeUtc();
    std::optional<QDateTime> lastTestedAt;

    KeywordLink() = default;
    // A link of the keyword to the app for a candidate proposed at discovery `depth`, at
    // `position` in its batch as the caller counts it. The app and the keyword must be stored
    // already. The candidate's text is not kept: the keyword carries it.
    KeywordLink(const TrackedApp &app, const Keyword &keyword, const PlannedCandidate &candidate, qint64 depth,
                qint64 position);

    // The search priority of a link of this source at position 0; later positions cost one
    // each, up to 99.
    static qint64 basePriority(KeywordSource source);
    static QString makeKey(const QString &appleAppId, const QString &normalized, KeywordSource source);

    friend bool operator==(const KeywordLink &a, const KeywordLink &b) { return a.persistentId == b.persistentId; }
    friend size_t qHash(const KeywordLink &link, size_t seed = 0) noexcept { return qHash(link.persistentId, seed); }
};
