#include "model/Schema.h"

// Every row's persistent identifier is its rowid `pk`. Columns of values that are never
// absent are NOT NULL. Enum fields hold raw text with no CHECK: an unknown stored value must
// still be readable. Relationships are the only foreign keys; deleting an app or a keyword
// deletes its links, and deleting an app its snapshots.
namespace Schema {

const QList<EntityType> &modelTypes()
{
    static const QList<EntityType> types = {
        {QStringLiteral("TrackedApp"), QStringLiteral("tracked_app"), QStringLiteral("apple_app_id"),
         {QStringLiteral("CREATE TABLE IF NOT EXISTS tracked_app ("
                         "pk INTEGER PRIMARY KEY, apple_app_id TEXT NOT NULL UNIQUE, name TEXT NOT NULL, "
                         "developer_name TEXT, icon_url TEXT, store_url TEXT, app_description TEXT, "
                         "primary_genre TEXT, genres TEXT NOT NULL, is_own INTEGER NOT NULL, "
                         "average_rating REAL, rating_count INTEGER, formatted_price TEXT, version TEXT, "
                         "tracked_countries TEXT NOT NULL, created_at INTEGER NOT NULL, "
                         "metadata_updated_at INTEGER)")}},
        {QStringLiteral("Keyword"), QStringLiteral("keyword"), QStringLiteral("normalized"),
         {QStringLiteral("CREATE TABLE IF NOT EXISTS keyword ("
                         "pk INTEGER PRIMARY KEY, normalized TEXT NOT NULL UNIQUE, display TEXT NOT NULL, "
                         "translated_en TEXT, created_at INTEGER NOT NULL)")}},
        {QStringLiteral("KeywordLink"), QStringLiteral("keyword_link"), QStringLiteral("key"),
         {QStringLiteral("CREATE TABLE IF NOT EXISTS keyword_link ("
                         "pk INTEGER PRIMARY KEY, key TEXT NOT NULL UNIQUE, "
                         "app_pk INTEGER REFERENCES tracked_app(pk) ON DELETE CASCADE, "
                         "keyword_pk INTEGER REFERENCES keyword(pk) ON DELETE CASCADE, "
                         "source_raw TEXT NOT NULL, detail TEXT, source_apple_app_id TEXT, "
                         "priority INTEGER NOT NULL, depth INTEGER NOT NULL, created_at INTEGER NOT NULL, "
                         "last_tested_at INTEGER)"),
          // The cascades and an app's or keyword's links look rows up by these.
          QStringLiteral("CREATE INDEX IF NOT EXISTS keyword_link_app ON keyword_link(app_pk)"),
          QStringLiteral("CREATE INDEX IF NOT EXISTS keyword_link_keyword ON keyword_link(keyword_pk)")}},
        {QStringLiteral("SearchObservation"), QStringLiteral("search_observation"), QStringLiteral("id"),
         {QStringLiteral("CREATE TABLE IF NOT EXISTS search_observation ("
                         "pk INTEGER PRIMARY KEY, id TEXT NOT NULL UNIQUE, keyword_normalized TEXT NOT NULL, "
                         "country TEXT NOT NULL, checked_at INTEGER NOT NULL, succeeded INTEGER NOT NULL, "
                         "requested_limit INTEGER NOT NULL, result_count INTEGER NOT NULL, "
                         "attempts INTEGER NOT NULL, error_message TEXT, is_latest INTEGER NOT NULL, "
                         "hits_data BLOB NOT NULL)"),
          QStringLiteral("CREATE INDEX IF NOT EXISTS search_observation_keyword_country_checked "
                         "ON search_observation(keyword_normalized, country, checked_at)"),
          // The latest observations of a storefront are a small subset; keep them at hand.
          QStringLiteral("CREATE INDEX IF NOT EXISTS search_observation_latest "
                         "ON search_observation(country) WHERE is_latest = 1"),
          // The latest of one keyword, which every search replaces, without visiting its history.
          QStringLiteral("CREATE INDEX IF NOT EXISTS search_observation_latest_keyword "
                         "ON search_observation(keyword_normalized, country) WHERE is_latest = 1")}},
        {QStringLiteral("RankSnapshot"), QStringLiteral("rank_snapshot"), QStringLiteral("key"),
         {QStringLiteral("CREATE TABLE IF NOT EXISTS rank_snapshot ("
                         "pk INTEGER PRIMARY KEY, key TEXT NOT NULL UNIQUE, "
                         "app_pk INTEGER REFERENCES tracked_app(pk) ON DELETE CASCADE, "
                         "keyword_normalized TEXT NOT NULL, country TEXT NOT NULL, observation_id TEXT NOT NULL, "
                         "state_raw TEXT NOT NULL, rank INTEGER, result_count INTEGER NOT NULL, "
                         "checked_at INTEGER NOT NULL)"),
          QStringLiteral("CREATE INDEX IF NOT EXISTS rank_snapshot_keyword_country_checked "
                         "ON rank_snapshot(keyword_normalized, country, checked_at)"),
          QStringLiteral("CREATE INDEX IF NOT EXISTS rank_snapshot_app ON rank_snapshot(app_pk)")}},
        {QStringLiteral("KeywordMetric"), QStringLiteral("keyword_metric"), QStringLiteral("key"),
         {QStringLiteral("CREATE TABLE IF NOT EXISTS keyword_metric ("
                         "pk INTEGER PRIMARY KEY, key TEXT NOT NULL UNIQUE, keyword_normalized TEXT NOT NULL, "
                         "country TEXT NOT NULL, popularity INTEGER, popularity_source_raw TEXT, "
                         "difficulty INTEGER, result_count INTEGER, top_rating_median INTEGER, "
                         "updated_at INTEGER NOT NULL, popularity_checked_at INTEGER)"),
          QStringLiteral("CREATE INDEX IF NOT EXISTS keyword_metric_country ON keyword_metric(country)")}},
        {QStringLiteral("RankAlert"), QStringLiteral("rank_alert"), QStringLiteral("id"),
         {QStringLiteral("CREATE TABLE IF NOT EXISTS rank_alert ("
                         "pk INTEGER PRIMARY KEY, id TEXT NOT NULL UNIQUE, apple_app_id TEXT NOT NULL, "
                         "app_name TEXT NOT NULL, keyword_normalized TEXT NOT NULL, keyword_display TEXT NOT NULL, "
                         "country TEXT NOT NULL, kind_raw TEXT NOT NULL, from_rank INTEGER, to_rank INTEGER, "
                         "observation_id TEXT NOT NULL, created_at INTEGER NOT NULL, is_read INTEGER NOT NULL)"),
          QStringLiteral("CREATE INDEX IF NOT EXISTS rank_alert_created ON rank_alert(created_at)"),
          QStringLiteral("CREATE INDEX IF NOT EXISTS rank_alert_app_country_created "
                         "ON rank_alert(apple_app_id, country, created_at)"),
          // The unread alerts alone, which the sidebar counts after every save that makes or
          // edits alerts: else it would read every alert.
          QStringLiteral("CREATE INDEX IF NOT EXISTS rank_alert_unread ON rank_alert(apple_app_id, is_read) WHERE is_read = 0")}},
        {QStringLiteral("RankState"), QStringLiteral("rank_state"), QStringLiteral("key"),
         {QStringLiteral("CREATE TABLE IF NOT EXISTS rank_state ("
                         "pk INTEGER PRIMARY KEY, key TEXT NOT NULL UNIQUE, apple_app_id TEXT NOT NULL, "
                         "keyword_normalized TEXT NOT NULL, country TEXT NOT NULL, "
                         "latest_observation_id TEXT NOT NULL, latest_state_raw TEXT NOT NULL, latest_rank INTEGER, "
                         "latest_result_count INTEGER NOT NULL, latest_checked_at INTEGER NOT NULL, "
                         "previous_state_raw TEXT, previous_rank INTEGER, previous_checked_at INTEGER, "
                         "last_found_at INTEGER)"),
          // An app's states in a storefront, and deleting all states of an app.
          QStringLiteral("CREATE INDEX IF NOT EXISTS rank_state_app_country ON rank_state(apple_app_id, country)")}},
        {QStringLiteral("StoreMeta"), QStringLiteral("store_meta"), QStringLiteral("key"),
         {QStringLiteral("CREATE TABLE IF NOT EXISTS store_meta ("
                         "pk INTEGER PRIMARY KEY, key TEXT NOT NULL UNIQUE, value INTEGER NOT NULL)")}},
    };
    return types;
}

}
