#pragma once

#include "clients/AppRecords.h"

#include <QByteArray>
#include <QDateTime>
#include <QHashFunctions>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

// One search of a keyword in a storefront as sent to Apple, successful or not, with its hits.
// Written once; afterwards it only loses isLatest and its hits.
struct SearchObservation
{
    // The row id; 0 until the record is stored. Identity, equality and hashing use only this.
    qint64 persistentId = 0;

    QUuid id;
    QString keywordNormalized;
    QString country;
    QDateTime checkedAt;
    bool succeeded = false;
    qint64 requestedLimit = 0;
    qint64 resultCount = 0;
    qint64 attempts = 0;
    std::optional<QString> errorMessage;
    // Only the newest successful observation of its keyword and storefront carries it.
    bool isLatest = false;
    // The hits as stored JSON (AppRecords::encodeHits); zero bytes once a newer one is latest.
    QByteArray hitsData;

    // The stored hits; anything that does not decode, zero bytes included, is no hits.
    QList<SearchHit> hits() const;

    friend bool operator==(const SearchObservation &a, const SearchObservation &b)
    {
        return a.persistentId == b.persistentId;
    }
    friend size_t qHash(const SearchObservation &observation, size_t seed = 0) noexcept
    {
        return qHash(observation.persistentId, seed);
    }
};
