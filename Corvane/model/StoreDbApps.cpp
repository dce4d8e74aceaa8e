#include "model/RemovedApps.h"
#include "model/RowReader.h"
#include "model/StoreDb.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <limits>

// Tracked apps, keywords and the links between them.

namespace {

using namespace StoredForm;

const QStringList appColumns = {
    QStringLiteral("apple_app_id"),    QStringLiteral("name"),           QStringLiteral("developer_name"),
    QStringLiteral("icon_url"),        QStringLiteral("store_url"),      QStringLiteral("app_description"),
    QStringLiteral("primary_genre"),   QStringLiteral("genres"),         QStringLiteral("is_own"),
    QStringLiteral("average_rating"),  QStringLiteral("rating_count"),   QStringLiteral("formatted_price"),
    QStringLiteral("version"),         QStringLiteral("tracked_countries"), QStringLiteral("created_at"),
    QStringLiteral("metadata_updated_at")};

QVariantList appValues(const TrackedApp &app)
{
    return {text(app.appleAppId),           text(app.name),
            optionalText(app.developerName), optionalUrl(app.iconURL),
            optionalUrl(app.storeURL),       optionalText(app.appDescription),
            optionalText(app.primaryGenre),  list(app.genres),
            boolean(app.isOwn),              optionalDouble(app.averageRating),
            optionalInteger(app.ratingCount), optionalText(app.formattedPrice),
            optionalText(app.version),       list(app.trackedCountries),
            date(app.createdAt),             optionalDate(app.metadataUpdatedAt)};
}

TrackedApp readApp(RowReader &row)
{
    TrackedApp app;
    app.persistentId = row.integer();
    app.appleAppId = row.text();
    app.name = row.text();
    app.developerName = row.optionalText();
    app.iconURL = row.optionalUrl();
    app.storeURL = row.optionalUrl();
    app.appDescription = row.optionalText();
    app.primaryGenre = row.optionalText();
    app.genres = row.list();
    app.isOwn = row.boolean();
    app.averageRating = row.optionalDouble();
    app.ratingCount = row.optionalInteger();
    app.formattedPrice = row.optionalText();
    app.version = row.optionalText();
    app.trackedCountries = row.list();
    app.createdAt = row.date();
    app.metadataUpdatedAt = row.optionalDate();
    return app;
}

const QStringList keywordColumns = {QStringLiteral("normalized"), QStringLiteral("display"),
                                    QStringLiteral("translated_en"), QStringLiteral("created_at")};

QVariantList keywordValues(const Keyword &keyword)
{
    return {text(keyword.normalized), text(keyword.display), optionalText(keyword.translatedEn),
            date(keyword.createdAt)};
}

Keyword readKeyword(RowReader &row)
{
    Keyword keyword;
    keyword.persistentId = row.integer();
    keyword.normalized = row.text();
    keyword.display = row.text();
    keyword.translatedEn = row.optionalText();
    keyword.createdAt = row.date();
    return keyword;
}

const QStringList linkColumns = {
    QStringLiteral("key"),        QStringLiteral("app_pk"),   QStringLiteral("keyword_pk"),
    QStringLiteral("source_raw"), QStringLiteral("detail"),   QStringLiteral("source_apple_app_id"),
    QStringLiteral("priority"),   QStringLiteral("depth"),    QStringLiteral("created_at"),
    QStringLiteral("last_tested_at")};

QVariantList linkValues(const KeywordLink &link)
{
    return {text(link.key),
            optionalInteger(link.appPersistentId),
            optionalInteger(link.keywordPersistentId),
            text(link.sourceRaw),
            optionalText(link.detail),
            optionalText(link.sourceAppleAppId),
            integer(link.priority),
            integer(link.depth),
            date(link.createdAt),
            optionalDate(link.lastTestedAt)};
}

KeywordLink readLink(RowReader &row)
{
    KeywordLink link;
    link.persistentId = row.integer();
    link.key = row.text();
    link.appPersistentId = row.optionalInteger();
    link.keywordPersistentId = row.optionalInteger();
    link.sourceRaw = row.text();
    link.detail = row.optionalText();
    link.sourceAppleAppId = row.optionalText();
    link.priority = row.integer();
    link.depth = row.integer();
    link.createdAt = row.date();
    link.lastTestedAt = row.optionalDate();
    return link;
}

const QString appSelect = QStringLiteral("SELECT %1 FROM tracked_app a WHERE a.apple_app_id NOT IN %2 ")
                              .arg(selectList(QStringLiteral("a"), appColumns), RemovedApps::ids());
const QString keywordSelect =
    QStringLiteral("SELECT %1 FROM keyword k ").arg(selectList(QStringLiteral("k"), keywordColumns));
const QString linkSelect =
    QStringLiteral("SELECT %1 FROM keyword_link l ").arg(selectList(QStringLiteral("l"), linkColumns));

}

bool StoreDb::insert(TrackedApp &app)
{
    // Else the new app would take over the row of the one being removed, with its history.
    for (const auto &removal : appRemovals()) {
        if (removal.appleAppId != app.appleAppId)
            continue;
        qint64 removed = 0;
        while ((removed = continueRemoval(removal, std::numeric_limits<qint64>::max())) > 0) {
        }
        if (removed < 0)
            return false;
    }
    return upsert(QStringLiteral("tracked_app"), appColumns, appValues(app), app.persistentId);
}

bool StoreDb::update(const TrackedApp &app)
{
    return updateRow(QStringLiteral("tracked_app"), appColumns, appValues(app), app.persistentId);
}

bool StoreDb::remove(const TrackedApp &app)
{
    // Its links go with it.
    rowsChanged({.appleAppId = app.appleAppId});
    return removeRow(QStringLiteral("tracked_app"), app.persistentId);
}

std::optional<TrackedApp> StoreDb::app(qint64 persistentId)
{
    std::optional<TrackedApp> result;
    select(appSelect + QStringLiteral("AND a.pk = ?"), {persistentId}, [&](const QSqlQuery &query) {
        RowReader row(query);
        result = readApp(row);
    });
    return result;
}

std::optional<TrackedApp> StoreDb::appByAppleId(const QString &appleAppId)
{
    std::optional<TrackedApp> result;
    select(appSelect + QStringLiteral("AND a.apple_app_id = ?"), {appleAppId}, [&](const QSqlQuery &query) {
        RowReader row(query);
        result = readApp(row);
    });
    return result;
}

QList<TrackedApp> StoreDb::apps()
{
    QList<TrackedApp> result;
    select(appSelect + QStringLiteral("ORDER BY a.pk"), {}, [&](const QSqlQuery &query) {
        RowReader row(query);
        result.append(readApp(row));
    });
    return result;
}

bool StoreDb::insert(Keyword &keyword)
{
    rowsChanged({.normalized = keyword.normalized});
    return upsert(QStringLiteral("keyword"), keywordColumns, keywordValues(keyword), keyword.persistentId);
}

bool StoreDb::update(const Keyword &keyword)
{
    // Its former normal form is not known here.
    rowsChanged({});
    return updateRow(QStringLiteral("keyword"), keywordColumns, keywordValues(keyword), keyword.persistentId);
}

bool StoreDb::remove(const Keyword &keyword)
{
    rowsChanged({.normalized = keyword.normalized, .keywordPersistentId = keyword.persistentId});
    return removeRow(QStringLiteral("keyword"), keyword.persistentId);
}

std::optional<Keyword> StoreDb::keyword(qint64 persistentId)
{
    std::optional<Keyword> result;
    select(keywordSelect + QStringLiteral("WHERE k.pk = ?"), {persistentId}, [&](const QSqlQuery &query) {
        RowReader row(query);
        result = readKeyword(row);
    });
    return result;
}

std::optional<Keyword> StoreDb::keywordByNormalized(const QString &normalized)
{
    std::optional<Keyword> result;
    select(keywordSelect + QStringLiteral("WHERE k.normalized = ?"), {normalized}, [&](const QSqlQuery &query) {
        RowReader row(query);
        result = readKeyword(row);
    });
    return result;
}

QHash<QString, QString> StoreDb::keywordDisplays(const QStringList &normalized)
{
    QHash<QString, QString> result;
    if (normalized.isEmpty())
        return result;
    result.reserve(normalized.size());
    select(QStringLiteral("SELECT normalized, display FROM keyword WHERE normalized IN (SELECT value FROM json_each(?))"),
           {QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(normalized)).toJson(QJsonDocument::Compact))},
           [&](const QSqlQuery &query) { result.insert(query.value(0).toString(), query.value(1).toString()); });
    return result;
}

bool StoreDb::insert(KeywordLink &link)
{
    if (link.keywordPersistentId && link.appPersistentId)
        rowsChanged({.keywordPersistentId = link.keywordPersistentId, .appPersistentId = link.appPersistentId});
    else
        rowsChanged({});
    return upsert(QStringLiteral("keyword_link"), linkColumns, linkValues(link), link.persistentId);
}

bool StoreDb::update(const KeywordLink &link)
{
    // The stored link may have named another keyword or app.
    rowsChanged({});
    return updateRow(QStringLiteral("keyword_link"), linkColumns, linkValues(link), link.persistentId);
}

bool StoreDb::remove(const KeywordLink &link)
{
    rowsChanged({});
    return removeRow(QStringLiteral("keyword_link"), link.persistentId);
}

std::optional<KeywordLink> StoreDb::link(qint64 persistentId)
{
    std::optional<KeywordLink> result;
    select(linkSelect + QStringLiteral("WHERE l.pk = ?"), {persistentId}, [&](const QSqlQuery &query) {
        RowReader row(query);
        result = readLink(row);
    });
    return result;
}

std::optional<KeywordLink> StoreDb::linkByKey(const QString &key)
{
    std::optional<KeywordLink> result;
    select(linkSelect + QStringLiteral("WHERE l.key = ?"), {key}, [&](const QSqlQuery &query) {
        RowReader row(query);
        result = readLink(row);
    });
    return result;
}

QList<StoreDb::LinkedKeyword> StoreDb::linksOfApp(qint64 appPersistentId)
{
    QList<LinkedKeyword> result;
    const auto sql = QStringLiteral("SELECT %1, %2 FROM keyword_link l LEFT JOIN keyword k ON k.pk = l.keyword_pk "
                                    "WHERE l.app_pk = ? ORDER BY l.pk")
                         .arg(selectList(QStringLiteral("l"), linkColumns),
                              selectList(QStringLiteral("k"), keywordColumns));
    select(sql, {appPersistentId}, [&](const QSqlQuery &query) {
        RowReader row(query);
        LinkedKeyword entry{readLink(row), std::nullopt};
        if (!query.isNull(row.column()))
            entry.keyword = readKeyword(row);
        result.append(entry);
    });
    return result;
}

QSet<QString> StoreDb::keywordsOfApp(qint64 appPersistentId)
{
    QSet<QString> result;
    select(QStringLiteral("SELECT k.normalized FROM keyword_link l JOIN keyword k ON k.pk = l.keyword_pk "
                          "WHERE l.app_pk = ?"),
           {appPersistentId}, [&](const QSqlQuery &query) { result.insert(query.value(0).toString()); });
    return result;
}

qint64 StoreDb::linkCountOfApp(qint64 appPersistentId)
{
    qint64 count = 0;
    select(QStringLiteral("SELECT count(*) FROM keyword_link WHERE app_pk = ?"), {appPersistentId},
           [&](const QSqlQuery &query) { count = query.value(0).toLongLong(); });
    return count;
}

QList<StoreDb::KeywordRowSource> StoreDb::keywordRowSources(const TrackedApp &app, const QString &country)
{
    return keywordRowSources(app, country, QString(), {});
}

QList<StoreDb::KeywordRowSource> StoreDb::keywordRowSources(const TrackedApp &app, const QString &country,
                                                            const QStringList &normalized)
{
    // The normal forms go in as a JSON array so that one prepared statement serves any number.
    return keywordRowSources(app, country, QStringLiteral("AND k.normalized IN (SELECT value FROM json_each(?)) "),
                             {QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(normalized)).toJson(QJsonDocument::Compact))});
}

QStringList StoreDb::keywordNormalForms(const QList<qint64> &keywordPersistentIds)
{
    QJsonArray ids;
    for (const auto id : keywordPersistentIds)
        ids.append(id);
    QStringList result;
    select(QStringLiteral("SELECT normalized FROM keyword WHERE pk IN (SELECT value FROM json_each(?))"),
           {QString::fromUtf8(QJsonDocument(ids).toJson(QJsonDocument::Compact))},
           [&](const QSqlQuery &query) { result.append(query.value(0).toString()); });
    return result;
}

QList<StoreDb::KeywordRowSource> StoreDb::keywordRowSources(const TrackedApp &app, const QString &country,
                                                            const QString &where, const QVariantList &values)
{
    // One pass over the links; the state and the metric are found through their unique keys.
    QList<KeywordRowSource> result;
    select(QStringLiteral("SELECT k.normalized, k.display, k.translated_en, l.source_raw, l.detail, r.pk, "
                          "r.latest_state_raw, r.latest_rank, r.latest_result_count, r.latest_checked_at, "
                          "r.previous_state_raw, r.previous_rank, r.previous_checked_at, r.last_found_at, "
                          "m.pk, m.popularity, m.popularity_source_raw, m.difficulty, l.pk "
                          "FROM keyword_link l JOIN keyword k ON k.pk = l.keyword_pk "
                          "LEFT JOIN rank_state r ON r.key = ? || '|' || k.normalized || '|' || ? "
                          "LEFT JOIN keyword_metric m ON m.key = k.normalized || '|' || ? "
                          "WHERE l.app_pk = ? ")
               + where + QStringLiteral("ORDER BY l.pk"),
           QVariantList{app.appleAppId, country, country, app.persistentId} + values, [&](const QSqlQuery &query) {
               RowReader row(query);
               KeywordRowSource source;
               source.normalized = row.text();
               source.display = row.text();
               source.translatedEn = row.optionalText();
               source.sourceRaw = row.text();
               source.detail = row.optionalText();
               if (!query.isNull(row.column())) {
                   RankState state;
                   state.persistentId = row.integer();
                   state.latestStateRaw = row.text();
                   state.latestRank = row.optionalInteger();
                   state.latestResultCount = row.integer();
                   state.latestCheckedAt = row.date();
                   state.previousStateRaw = row.optionalText();
                   state.previousRank = row.optionalInteger();
                   state.previousCheckedAt = row.optionalDate();
                   state.lastFoundAt = row.optionalDate();
                   source.state = state;
               }
               RowReader metricRow(query, 14);
               if (!query.isNull(metricRow.column())) {
                   KeywordMetric metric;
                   metric.persistentId = metricRow.integer();
                   metric.popularity = metricRow.optionalInteger();
                   metric.popularitySourceRaw = metricRow.optionalText();
                   metric.difficulty = metricRow.optionalInteger();
                   source.metric = metric;
               }
               source.linkPersistentId = query.value(18).toLongLong();
               result.append(source);
           });
    return result;
}

QList<KeywordLink> StoreDb::linksOfAppToKeyword(qint64 appPersistentId, const QString &normalized)
{
    QList<KeywordLink> result;
    select(linkSelect + QStringLiteral("JOIN keyword k ON k.pk = l.keyword_pk "
                                       "WHERE l.app_pk = ? AND k.normalized = ? ORDER BY l.pk"),
           {appPersistentId, normalized}, [&](const QSqlQuery &query) {
               RowReader row(query);
               result.append(readLink(row));
           });
    return result;
}

QList<KeywordLink> StoreDb::linksOfKeyword(qint64 keywordPersistentId)
{
    QList<KeywordLink> result;
    select(linkSelect + QStringLiteral("WHERE l.keyword_pk = ? ORDER BY l.pk"), {keywordPersistentId},
           [&](const QSqlQuery &query) {
               RowReader row(query);
               result.append(readLink(row));
           });
    return result;
}

bool StoreDb::isLinked(qint64 appPersistentId, const QString &normalized)
{
    bool linked = false;
    select(QStringLiteral("SELECT 1 FROM keyword_link WHERE keyword_pk = (SELECT pk FROM keyword WHERE normalized = ?) "
                          "AND app_pk = ? LIMIT 1"),
           {normalized, appPersistentId}, [&](const QSqlQuery &) { linked = true; });
    return linked;
}

bool StoreDb::removeLinksOfAppToKeyword(qint64 appPersistentId, const QString &normalized)
{
    rowsChanged({.normalized = normalized, .appPersistentId = appPersistentId});
    return write(QStringLiteral("DELETE FROM keyword_link WHERE app_pk = ? "
                                "AND keyword_pk IN (SELECT pk FROM keyword WHERE normalized = ?)"),
                 {appPersistentId, normalized});
}

bool StoreDb::markLinksTested(const QList<qint64> &appPersistentIds, const QString &normalized,
                              const QDateTime &testedAt)
{
    // Through the keyword's links: a keyword has a link per app at most per source, an app may
    // have thousands, and every search marks the links of each app it concerns. The apps go in
    // as a JSON array so that one statement serves any number of them.
    if (appPersistentIds.isEmpty())
        return true;
    QJsonArray apps;
    for (const auto id : appPersistentIds)
        apps.append(id);
    return write(QStringLiteral("UPDATE keyword_link INDEXED BY keyword_link_keyword SET last_tested_at = ? "
                                "WHERE keyword_pk IN (SELECT pk FROM keyword WHERE normalized = ?) "
                                "AND app_pk IN (SELECT value FROM json_each(?))"),
                 {date(testedAt), normalized, QString::fromUtf8(QJsonDocument(apps).toJson(QJsonDocument::Compact))});
}
