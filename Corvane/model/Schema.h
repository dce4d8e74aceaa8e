#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The database schema: nine tables, one per entity type, built only from modelTypes().
namespace Schema {

// Version 1.0.0, kept in PRAGMA user_version as major * 10000 + minor * 100 + patch.
inline constexpr int major = 1;
inline constexpr int minor = 0;
inline constexpr int patch = 0;
inline constexpr int userVersion = major * 10000 + minor * 100 + patch;

struct EntityType
{
    QString name;          // the entity's type name
    QString table;         // its table
    QString uniqueColumn;  // the column of its one unique property
    QStringList statements; // CREATE TABLE, then its indexes; each safe to run again
};

// In this order: TrackedApp, Keyword, KeywordLink, SearchObservation, RankSnapshot,
// KeywordMetric, RankAlert, RankState, StoreMeta. Tables referred to come first.
const QList<EntityType> &modelTypes();

}
