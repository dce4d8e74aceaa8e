#include "model/RemovedApps.h"
#include "model/RowReader.h"
#include "model/SqliteLibrary.h"
#include "model/StoreDb.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlDriver>
#include <QSqlQuery>

// Searches and the readings of tracked apps in them.

namespace {

using namespace StoredForm;

const QStringList observationColumns = {
    QStringLiteral("id"),          QStringLiteral("keyword_normalized"), QStringLiteral("country"),
    QStringLiteral("checked_at"),  QStringLiteral("succeeded"),          QStringLiteral("requested_limit"),
    QStringLiteral("result_count"), QStringLiteral("attempts"),          QStringLiteral("error_message"),
    QStringLiteral("is_latest"),   QStringLiteral("hits_data")};

QVariantList observationValues(const SearchObservation &observation)
{
    return {uuid(observation.id),
            text(observation.keywordNormalized),
            text(observation.country),
            date(observation.checkedAt),
            boolean(observation.succeeded),
            integer(observation.requestedLimit),
            integer(observation.resultCount),
            integer(observation.attempts),
            optionalText(observation.errorMessage),
            boolean(observation.isLatest),
            bytes(observation.hitsData)};
}

SearchObservation readObservation(RowReader &row)
{
    SearchObservation observation;
    observation.persistentId = row.integer();
    observation.id = row.uuid();
    observation.keywordNormalized = row.text();
    observation.country = row.text();
    observation.checkedAt = row.date();
    observation.succeeded = row.boolean();
    observation.requestedLimit = row.integer();
    observation.resultCount = row.integer();
    observation.attempts = row.integer();
    observation.errorMessage = row.optionalText();
    observation.isLatest = row.boolean();
    observation.hitsData = row.bytes();
    return observation;
}

const QStringList snapshotColumns = {
    QStringLiteral("key"),         QStringLiteral("app_pk"),     QStringLiteral("keyword_normalized"),
    QStringLiteral("country"),     QStringLiteral("observation_id"), QStringLiteral("state_raw"),
    QStringLiteral("rank"),        QStringLiteral("result_count"), QStringLiteral("checked_at")};

QVariantList snapshotValues(const RankSnapshot &snapshot)
{
    return {text(snapshot.key),
            optionalInteger(snapshot.appPersistentId),
            text(snapshot.keywordNormalized),
            text(snapshot.country),
            uuid(snapshot.observationId),
            text(snapshot.stateRaw),
            optionalInteger(snapshot.rank),
            integer(snapshot.resultCount),
            date(snapshot.checkedAt)};
}

RankSnapshot readSnapshot(RowReader &row)
{
    RankSnapshot snapshot;
    snapshot.persistentId = row.integer();
    snapshot.key = row.text();
    snapshot.appPersistentId = row.optionalInteger();
    snapshot.keywordNormalized = row.text();
    snapshot.country = row.text();
    snapshot.observationId = row.uuid();
    snapshot.stateRaw = row.text();
    snapshot.rank = row.optionalInteger();
    snapshot.resultCount = row.integer();
    snapshot.checkedAt = row.date();
    return snapshot;
}

const QStringList stateColumns = {
    QStringLiteral("key"),
    QStringLiteral("apple_app_id"),
    QStringLiteral("keyword_normalized"),
    QStringLiteral("country"),
    QStringLiteral("latest_observation_id"),
    QStringLiteral("latest_state_raw"),
    QStringLiteral("latest_rank"),
    QStringLiteral("latest_result_count"),
    QStringLiteral("latest_checked_at"),
    QStringLiteral("previous_state_raw"),
    QStringLiteral("previous_rank"),
    QStringLiteral("previous_checked_at"),
    QStringLiteral("last_found_at")};

QVariantList stateValues(const RankState &state)
{
    return {text(state.key),
            text(state.appleAppId),
            text(state.keywordNormalized),
            text(state.country),
            uuid(state.latestObservationId),
            text(state.latestStateRaw),
            optionalInteger(state.latestRank),
            integer(state.latestResultCount),
            date(state.latestCheckedAt),
            optionalText(state.previousStateRaw),
            optionalInteger(state.previousRank),
            optionalDate(state.previousCheckedAt),
            optionalDate(state.lastFoundAt)};
}

RankState readState(RowReader &row)
{
    RankState state;
    state.persistentId = row.integer();
    state.key = row.text();
    state.appleAppId = row.text();
    state.keywordNormalized = row.text();
    state.country = row.text();
    state.latestObservationId = row.uuid();
    state.latestStateRaw = row.text();
    state.latestRank = row.optionalInteger();
    state.latestResultCount = row.integer();
    state.latestCheckedAt = row.date();
    state.previousStateRaw = row.optionalText();
    state.previousRank = row.optionalInteger();
    state.previousCheckedAt = row.optionalDate();
    state.lastFoundAt = row.optionalDate();
    return state;
}

// The keywords as the JSON array that json_each() reads: one statement probes an index once per
// keyword.
QString keywordList(const QSet<QString> &keywords)
{
    return QString::fromUtf8(
        QJsonDocument(QJsonArray::fromStringList(QStringList(keywords.cbegin(), keywords.cend())))
            .toJson(QJsonDocument::Compact));
}

const QString observationSelect = QStringLiteral("SELECT %1 FROM search_observation o ")
                                      .arg(selectList(QStringLiteral("o"), observationColumns));
const QString snapshotSelect =
    QStringLiteral("SELECT %1 FROM rank_snapshot s ").arg(selectList(QStringLiteral("s"), snapshotColumns));
const QString stateSelect =
    QStringLiteral("SELECT %1 FROM rank_state r ").arg(selectList(QStringLiteral("r"), stateColumns));

}

bool StoreDb::insert(SearchObservation &observation)
{
    return upsert(QStringLiteral("search_observation"), observationColumns,
                  observationValues(observation), observation.persistentId);
}

bool StoreDb::update(const SearchObservation &observation)
{
    return updateRow(QStringLiteral("search_observation"), observationColumns, observationValues(observation),
                     observation.persistentId);
}

QList<SearchObservation> StoreDb::observations(const QString &where, const QVariantList &values)
{
    QList<SearchObservation> result;
    select(observationSelect + where, values, [&](const QSqlQuery &query) {
        RowReader row(query);
        result.append(readObservation(row));
    });
    return result;
}

std::optional<SearchObservation> StoreDb::observation(qint64 persistentId)
{
    const auto found = observations(QStringLiteral("WHERE o.pk = ?"), {persistentId});
    return found.isEmpty() ? std::nullopt : std::optional(found.first());
}

std::optional<SearchObservation> StoreDb::observationById(const QUuid &id)
{
    const auto found = observations(QStringLiteral("WHERE o.id = ?"), {uuid(id)});
    return found.isEmpty() ? std::nullopt : std::optional(found.first());
}

std::optional<SearchObservation> StoreDb::cachedObservation(const QString &normalized, const QString &country,
                                                            const QDateTime &cutoff, qint64 minimumLimit)
{
    // An older successful observation has lost its hits; answering with it would read as a
    // search in which no app was found.
    const auto found = observations(QStringLiteral("WHERE o.keyword_normalized = ? AND o.country = ? "
                                                   "AND o.succeeded = 1 AND o.is_latest = 1 "
                                                   "AND o.checked_at >= ? AND o.requested_limit >= ? "
                                                   "ORDER BY o.checked_at DESC, o.pk DESC LIMIT 1"),
                                    {normalized, country, date(cutoff), minimumLimit});
    return found.isEmpty() ? std::nullopt : std::optional(found.first());
}

QList<SearchObservation> StoreDb::latestObservations(const QString &country)
{
    return observations(QStringLiteral("WHERE o.country = ? AND o.is_latest = 1 ORDER BY o.pk"), {country});
}

QList<SearchObservation> StoreDb::latestObservations(const QSet<QString> &keywords, const QString &country)
{
    if (keywords.isEmpty())
        return {};
    // The storefront's latest searches carry their hits, tens of KB each: only these are read, and
    // found through the keywords rather than by a look at every latest search of the storefront.
    return observations(QStringLiteral("INDEXED BY search_observation_latest_keyword "
                                       "WHERE o.keyword_normalized IN (SELECT value FROM json_each(?)) "
                                       "AND o.country = ? AND o.is_latest = 1 ORDER BY o.pk"),
                        {keywordList(keywords), country});
}

namespace {

// A row of pk, checked_at, keyword_normalized, length(hits_data).
StoreDb::LatestSearch latestSearch(const QSqlQuery &query)
{
    RowReader row(query);
    StoreDb::LatestSearch entry;
    entry.persistentId = row.integer();
    entry.checkedAt = row.date();
    entry.keywordNormalized = row.text();
    entry.hitsSize = row.integer();
    return entry;
}

} // namespace

QList<StoreDb::LatestSearch> StoreDb::latestSearches(const QString &country)
{
    QList<LatestSearch> result;
    // length() of a blob reads its size only, not the hits.
    select(QStringLiteral("SELECT pk, checked_at, keyword_normalized, length(hits_data) FROM search_observation "
                          "WHERE country = ? AND is_latest = 1 ORDER BY pk"),
           {country}, [&](const QSqlQuery &query) { result.append(latestSearch(query)); });
    return result;
}

QList<StoreDb::LatestSearch> StoreDb::latestSearches(const QSet<QString> &keywords, const QString &country)
{
    QList<LatestSearch> result;
    if (keywords.isEmpty())
        return result;
    result.reserve(keywords.size());
    // One probe of the latest rows' index per keyword, rather than every latest row of the storefront.
    select(QStringLiteral("SELECT pk, checked_at, keyword_normalized, length(hits_data) FROM search_observation "
                          "WHERE keyword_normalized IN (SELECT value FROM json_each(?)) AND country = ? AND is_latest = 1 "
                          "ORDER BY pk"),
           {keywordList(keywords),
            country},
           [&](const QSqlQuery &query) { result.append(latestSearch(query)); });
    return result;
}

QHash<qint64, QByteArray> StoreDb::observationHits(const QList<qint64> &persistentIds)
{
    QHash<qint64, QByteArray> result;
    if (persistentIds.isEmpty())
        return result;
    QJsonArray ids;
    for (const auto id : persistentIds)
        ids.append(id);
    result.reserve(persistentIds.size());
    select(QStringLiteral("SELECT pk, hits_data FROM search_observation WHERE pk IN (SELECT value FROM json_each(?))"),
           {QString::fromUtf8(QJsonDocument(ids).toJson(QJsonDocument::Compact))}, [&](const QSqlQuery &query) {
               RowReader row(query);
               const auto id = row.integer();
               result.insert(id, row.bytes());
           });
    return result;
}

namespace {

QString idsJson(const QList<qint64> &persistentIds)
{
    QJsonArray ids;
    for (const auto id : persistentIds)
        ids.append(id);
    return QString::fromUtf8(QJsonDocument(ids).toJson(QJsonDocument::Compact));
}

const QString blobHitsQuery = QStringLiteral(
    "SELECT pk FROM search_observation WHERE pk IN (SELECT value FROM json_each(?)) AND typeof(hits_data) = 'blob'");

// Reads the hits stored as a blob (`blobs`) with SQLite's incremental blob reads on the
// connection; whether each was read.
QList<bool> readBlobs(const QSqlDatabase &db, const QSet<qint64> &blobs, const QList<qint64> &persistentIds,
                      QList<QByteArray> &buffers)
{
    QList<bool> read(persistentIds.size(), false);
    const auto *sqlite = SqliteLibrary::get();
    auto *connection = SqliteLibrary::handle(db);
    if (!sqlite || !connection)
        return read;
    sqlite3_blob *blob = nullptr;
    for (qsizetype i = 0; i < persistentIds.size(); ++i) {
        const auto id = persistentIds.at(i);
        if (!blobs.contains(id))
            continue;
        const int opened = blob ? sqlite->blob_reopen(blob, id)
                                : sqlite->blob_open(connection, "main", "search_observation", "hits_data", id, 0, &blob);
        auto &bytes = buffers[i];
        if (opened == SQLITE_OK) {
            bytes.resize(sqlite->blob_bytes(blob));
            if (sqlite->blob_read(blob, bytes.data(), int(bytes.size()), 0) == SQLITE_OK) {
                read[i] = true;
                continue;
            }
        }
        // A failed open leaves the handle unusable.
        if (blob) {
            sqlite->blob_close(blob);
            blob = nullptr;
        }
    }
    if (blob)
        sqlite->blob_close(blob);
    return read;
}

} // namespace

QList<bool> StoreDb::observationHitsInto(const QList<qint64> &persistentIds, QList<QByteArray> &buffers)
{
    Q_ASSERT(buffers.size() >= persistentIds.size());
    // Hits stored as anything but a blob (text, say) are read as the statement reads them.
    QSet<qint64> blobs;
    if (SqliteLibrary::get() && !persistentIds.isEmpty())
        select(blobHitsQuery, {idsJson(persistentIds)},
               [&](const QSqlQuery &query) { blobs.insert(query.value(0).toLongLong()); });
    auto read = readBlobs(database(), blobs, persistentIds, buffers);
    // What was not read directly, the statement reads, and reports why it fails.
    QList<qint64> others;
    for (qsizetype i = 0; i < persistentIds.size(); ++i) {
        if (!read[i])
            others.append(persistentIds.at(i));
    }
    const auto stored = observationHits(others);
    for (qsizetype i = 0; i < persistentIds.size(); ++i) {
        if (const auto found = stored.constFind(persistentIds.at(i)); !read[i] && found != stored.cend()) {
            buffers[i] = *found;
            read[i] = true;
        }
    }
    return read;
}

std::optional<QString> StoreDb::fileForOtherReaders() const
{
    if (m_path.isEmpty() || m_inTransaction)
        return std::nullopt;
    return m_path;
}

StoreDb::HitsReader::HitsReader(const QString &path) : m_name(QStringLiteral("vantu.hitsreader.%1").arg(quintptr(this)))
{
    auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
    db.open();
}

StoreDb::HitsReader::~HitsReader()
{
    QSqlDatabase::database(m_name, false).close();
    QSqlDatabase::removeDatabase(m_name);
}

QList<bool> StoreDb::HitsReader::hitsInto(const QList<qint64> &persistentIds, QList<QByteArray> &buffers)
{
    Q_ASSERT(buffers.size() >= persistentIds.size());
    const auto db = QSqlDatabase::database(m_name, false);
    QSet<qint64> blobs;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (db.isOpen() && SqliteLibrary::get() && query.prepare(blobHitsQuery)) {
        query.addBindValue(idsJson(persistentIds));
        if (query.exec()) {
            while (query.next())
                blobs.insert(query.value(0).toLongLong());
        }
    }
    return readBlobs(db, blobs, persistentIds, buffers);
}

QSet<QString> StoreDb::keywordsWithFailedSearches(const QSet<QString> &keywords, const QString &country)
{
    QSet<QString> result;
    if (keywords.isEmpty())
        return result;
    // One index probe per keyword rather than a pass over every failed search of the storefront.
    select(QStringLiteral("SELECT value FROM json_each(?) WHERE EXISTS (SELECT 1 FROM search_observation "
                          "WHERE keyword_normalized = value AND country = ? AND succeeded = 0)"),
           {keywordList(keywords),
            country},
           [&](const QSqlQuery &query) { result.insert(query.value(0).toString()); });
    return result;
}

QList<SearchObservation> StoreDb::successfulObservationsNewestFirst()
{
    return observations(QStringLiteral("WHERE o.succeeded = 1 ORDER BY o.checked_at DESC, o.pk DESC"), {});
}

QList<std::pair<QString, QString>> StoreDb::observedKeywordCountries()
{
    QList<std::pair<QString, QString>> result;
    // From the index alone; a pair with failed searches only just yields no observations later.
    select(QStringLiteral("SELECT DISTINCT keyword_normalized, country FROM search_observation"), {},
           [&](const QSqlQuery &query) { result.append({query.value(0).toString(), query.value(1).toString()}); });
    return result;
}

QList<StoreDb::Latestness> StoreDb::successfulObservationsNewestFirst(const QString &normalized,
                                                                      const QString &country)
{
    QList<Latestness> result;
    // length() of a blob reads its size only, not the hits.
    select(QStringLiteral("SELECT pk, is_latest, length(hits_data) > 0 FROM search_observation "
                          "WHERE keyword_normalized = ? AND country = ? AND succeeded = 1 "
                          "ORDER BY checked_at DESC, pk DESC"),
           {normalized, country}, [&](const QSqlQuery &query) {
               RowReader row(query);
               Latestness entry;
               entry.persistentId = row.integer();
               entry.isLatest = row.boolean();
               entry.hasHits = row.boolean();
               result.append(entry);
           });
    return result;
}

bool StoreDb::setLatest(qint64 observationPersistentId, bool isLatest)
{
    return write(isLatest ? QStringLiteral("UPDATE search_observation SET is_latest = 1 WHERE pk = ?")
                          : QStringLiteral("UPDATE search_observation SET is_latest = 0, hits_data = X'' WHERE pk = ?"),
                 {observationPersistentId});
}

bool StoreDb::clearLatestObservations(const QString &normalized, const QString &country)
{
    return write(QStringLiteral("UPDATE search_observation INDEXED BY search_observation_latest_keyword "
                                "SET is_latest = 0, hits_data = X'' "
                                "WHERE keyword_normalized = ? AND country = ? AND is_latest = 1"),
                 {normalized, country});
}

bool StoreDb::insert(RankSnapshot &snapshot)
{
    return upsert(QStringLiteral("rank_snapshot"), snapshotColumns, snapshotValues(snapshot), snapshot.persistentId);
}

std::optional<RankSnapshot> StoreDb::snapshotByKey(const QString &key)
{
    std::optional<RankSnapshot> result;
    select(snapshotSelect + QStringLiteral("WHERE s.key = ?"), {key}, [&](const QSqlQuery &query) {
        RowReader row(query);
        result = readSnapshot(row);
    });
    return result;
}

QList<RankSnapshot> StoreDb::snapshotsOfApp(qint64 appPersistentId, const QString &normalized,
                                            const QString &country)
{
    QList<RankSnapshot> result;
    select(snapshotSelect + QStringLiteral("WHERE s.app_pk = ? AND s.keyword_normalized = ? AND s.country = ? "
                                           "ORDER BY s.checked_at, s.pk"),
           {appPersistentId, normalized, country}, [&](const QSqlQuery &query) {
               RowReader row(query);
               result.append(readSnapshot(row));
           });
    return result;
}

QList<StoreDb::AppSnapshot> StoreDb::snapshotsOfAppsOldestFirst()
{
    QList<AppSnapshot> result;
    select(QStringLiteral("SELECT %1, a.apple_app_id FROM rank_snapshot s JOIN tracked_app a ON a.pk = s.app_pk "
                          "WHERE a.apple_app_id NOT IN %2 ORDER BY s.checked_at, s.pk")
               .arg(selectList(QStringLiteral("s"), snapshotColumns), RemovedApps::ids()),
           {}, [&](const QSqlQuery &query) {
               RowReader row(query);
               AppSnapshot entry{readSnapshot(row), QString()};
               entry.appleAppId = row.text();
               result.append(entry);
           });
    return result;
}

QList<std::pair<QString, QString>> StoreDb::snapshotKeywordCountries()
{
    QList<std::pair<QString, QString>> result;
    select(QStringLiteral("SELECT DISTINCT keyword_normalized, country FROM rank_snapshot"), {},
           [&](const QSqlQuery &query) { result.append({query.value(0).toString(), query.value(1).toString()}); });
    return result;
}

QList<StoreDb::AppSnapshot> StoreDb::snapshotsOfKeywordByApp(const QString &normalized, const QString &country)
{
    QList<AppSnapshot> result;
    // CROSS JOIN keeps the snapshots outermost, found through their keyword index.
    select(QStringLiteral("SELECT %1, a.apple_app_id FROM rank_snapshot s CROSS JOIN tracked_app a ON a.pk = s.app_pk "
                          "WHERE s.keyword_normalized = ? AND s.country = ? AND a.apple_app_id NOT IN %2 "
                          "ORDER BY s.app_pk, s.checked_at, s.pk")
               .arg(selectList(QStringLiteral("s"), snapshotColumns), RemovedApps::ids()),
           {normalized, country}, [&](const QSqlQuery &query) {
               RowReader row(query);
               AppSnapshot entry{readSnapshot(row), QString()};
               entry.appleAppId = row.text();
               result.append(entry);
           });
    return result;
}

bool StoreDb::insert(RankState &state)
{
    rowsChanged({.normalized = state.keywordNormalized, .appleAppId = state.appleAppId, .country = state.country});
    return upsert(QStringLiteral("rank_state"), stateColumns, stateValues(state), state.persistentId);
}

bool StoreDb::update(const RankState &state)
{
    rowsChanged({.normalized = state.keywordNormalized, .appleAppId = state.appleAppId, .country = state.country});
    return updateRow(QStringLiteral("rank_state"), stateColumns, stateValues(state), state.persistentId);
}

std::optional<RankState> StoreDb::rankState(const QString &key)
{
    std::optional<RankState> result;
    select(stateSelect + QStringLiteral("WHERE r.key = ?"), {key}, [&](const QSqlQuery &query) {
        RowReader row(query);
        result = readState(row);
    });
    return result;
}

QHash<QString, RankState> StoreDb::rankStates(const QStringList &keys)
{
    QHash<QString, RankState> result;
    if (keys.isEmpty())
        return result;
    // The keys go in as a JSON array so that one prepared statement serves any number of them.
    select(stateSelect + QStringLiteral("WHERE r.key IN (SELECT value FROM json_each(?))"),
           {QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(keys)).toJson(QJsonDocument::Compact))},
           [&](const QSqlQuery &query) {
               RowReader row(query);
               auto state = readState(row);
               result.insert(state.key, std::move(state));
           });
    return result;
}

QList<RankState> StoreDb::rankStatesOfApp(const QString &appleAppId, const QString &country)
{
    QList<RankState> result;
    select(stateSelect + QStringLiteral("WHERE r.apple_app_id = ? AND r.country = ? ORDER BY r.pk"),
           {appleAppId, country}, [&](const QSqlQuery &query) {
               RowReader row(query);
               result.append(readState(row));
           });
    return result;
}


bool StoreDb::removeAllRankStates()
{
    rowsChanged({});
    return write(QStringLiteral("DELETE FROM rank_state"), {});
}
