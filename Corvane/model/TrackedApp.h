#pragma once

#include "clients/AppRecords.h"

#include <QDateTime>
#include <QHashFunctions>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// An App Store app the user follows, own or competitor, with a copy of its store metadata.
// Its keyword links and rank snapshots are rows of their own that refer to it and are
// deleted with it (StoreDb).
struct TrackedApp
{
    // The row id; 0 until the record is stored. Identity, equality and hashing use only this.
    qint64 persistentId = 0;

    QString appleAppId;
    QString name;
    std::optional<QString> developerName;
    std::optional<QUrl> iconURL;
    std::optional<QUrl> storeURL;
    std::optional<QString> appDescription;
    std::optional<QString> primaryGenre;
    QStringList genres;
    bool isOwn = false;
    std::optional<double> averageRating;
    std::optional<qint64> ratingCount;
    std::optional<QString> formattedPrice;
    std::optional<QString> version;
    // Storefront codes in the order they were added.
    QStringList trackedCountries;
    QDateTime createdAt = QDateTime::currentDateTimeUtc();
    std::optional<QDateTime> metadataUpdatedAt;

    TrackedApp() = default;
    TrackedApp(const AppInfo &info, bool isOwn);

    // Copies the store metadata of `info`, absent values included, and stamps metadataUpdatedAt.
    // The app's ID, own flag, storefronts and creation time stay.
    void update(const AppInfo &info);

    // The stored metadata; bundle ID, numeric price and release dates are not kept.
    AppInfo appInfo() const;

    friend bool operator==(const TrackedApp &a, const TrackedApp &b) { return a.persistentId == b.persistentId; }
    friend size_t qHash(const TrackedApp &app, size_t seed = 0) noexcept { return qHash(app.persistentId, seed); }
};
