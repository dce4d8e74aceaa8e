#include "model/AlertEditCoding.h"
#include "model/RemovedApps.h"
#include "model/RowReader.h"
#include "model/StoreDb.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QSet>
#include <QUuid>

// Keyword metrics, ranking alerts and the store's bookkeeping.

Q_DECLARE_LOGGING_CATEGORY(lcStoreDb)

namespace {

using namespace StoredForm;

const QStringList metricColumns = {
    QStringLiteral("key"),        QStringLiteral("keyword_normalized"),   QStringLiteral("country"),
    QStringLiteral("popularity"), QStringLiteral("popularity_source_raw"), QStringLiteral("difficulty"),
    QStringLiteral("result_count"), QStringLiteral("top_rating_median"),  QStringLiteral("updated_at"),
    QStringLiteral("popularity_checked_at")};

QVariantList metricValues(const KeywordMetric &metric)
{
    return {text(metric.key),
            text(metric.keywordNormalized),
            text(metric.country),
            optionalInteger(metric.popularity),
            optionalText(metric.popularitySourceRaw),
            optionalInteger(metric.difficulty),
            optionalInteger(metric.resultCount),
            optionalInteger(metric.topRatingMedian),
            date(metric.updatedAt),
            optionalDate(metric.popularityCheckedAt)};
}

KeywordMetric readMetric(RowReader &row)
{
    KeywordMetric metric;
    metric.persistentId = row.integer();
    metric.key = row.text();
    metric.keywordNormalized = row.text();
    metric.country = row.text();
    metric.popularity = row.optionalInteger();
    metric.popularitySourceRaw = row.optionalText();
    metric.difficulty = row.optionalInteger();
    metric.resultCount = row.optionalInteger();
    metric.topRatingMedian = row.optionalInteger();
    metric.updatedAt = row.date();
    metric.popularityCheckedAt = row.optionalDate();
    return metric;
}

const QStringList alertColumns = {
    QStringLiteral("id"),           QStringLiteral("apple_app_id"), QStringLiteral("app_name"),
    QStringLiteral("keyword_normalized"), QStringLiteral("keyword_display"), QStringLiteral("country"),
    QStringLiteral("kind_raw"),     QStringLiteral("from_rank"),    QStringLiteral("to_rank"),
    QStringLiteral("observation_id"), QStringLiteral("created_at"), QStringLiteral("is_read")};

QVariantList alertValues(const RankAlert &alert)
{
    return {uuid(alert.id),
            text(alert.appleAppId),
            text(alert.appName),
            text(alert.keywordNormalized),
            text(alert.keywordDisplay),
            text(alert.country),
            text(alert.kindRaw),
            optionalInteger(alert.fromRank),
            optionalInteger(alert.toRank),
            uuid(alert.observationId),
            date(alert.createdAt),
            boolean(alert.isRead)};
}

// The texts of many alerts repeat (the app, its name, the keyword, the storefront, the kind): each
// read once and shared, so that a screen that keeps tens of thousands of alerts copies, drops and
// regroups them without touching a block of memory of its own for each of their texts.
RankAlert readAlert(RowReader &row, QSet<QString> &texts)
{
    const auto shared = [&texts](QString text) { return *texts.insert(std::move(text)); };
    RankAlert alert;
    alert.persistentId = row.integer();
    alert.id = row.uuid();
    alert.appleAppId = shared(row.text());
    alert.appName = shared(row.text());
    alert.keywordNormalized = shared(row.text());
    alert.keywordDisplay = shared(row.text());
    alert.country = shared(row.text());
    alert.kindRaw = shared(row.text());
    alert.fromRank = row.optionalInteger();
    alert.toRank = row.optionalInteger();
    alert.observationId = row.uuid();
    alert.createdAt = row.date();
    alert.isRead = row.boolean();
    return alert;
}

const QStringList metaColumns = {QStringLiteral("key"), QStringLiteral("value")};

const QString metricSelect =
    QStringLiteral("SELECT %1 FROM keyword_metric m ").arg(selectList(QStringLiteral("m"), metricColumns));
const QString alertSelect =
    QStringLiteral("SELECT %1 FROM rank_alert r ").arg(selectList(QStringLiteral("r"), alertColumns));
// The alerts of apps being removed are gone for every reader.
const QString alertShown = QStringLiteral("r.apple_app_id NOT IN %1").arg(RemovedApps::ids());

// The highest alert row id given so far, kept once the alerts with the highest ids may be deleted.
const QString alertIdsIssuedKey = QStringLiteral("alertIdsIssued");
// The stored value counts only as an integer from 0 to the largest alert id. Anything else (text,
// a real, a blob, a value out of range) counts as absent, else each new id would collide or not
// be an integer, and every save that raises an alert would fail.
QString issuedInRange(const QString &value)
{
    return QStringLiteral("CASE WHEN typeof(%1) = 'integer' AND %1 BETWEEN 0 AND %2 THEN %1 END")
        .arg(value)
        .arg(StoreDb::largestAlertId);
}
const QString issuedStored = QStringLiteral("(SELECT %1 FROM store_meta WHERE key = '%2')")
                                 .arg(issuedInRange(QStringLiteral("value")), alertIdsIssuedKey);
// The highest alert row id given so far: no alert has a higher one.
const QString highestAlertId =
    QStringLiteral("max(coalesce((SELECT max(pk) FROM rank_alert), 0), coalesce(%1, 0))").arg(issuedStored);
// The highest row id given here of a stored alert, found at the end of the row ids rather than
// by reading them. None past the largest alert id was: a new alert goes below such a one.
const QString highestGivenRow =
    QStringLiteral("(SELECT pk FROM rank_alert WHERE pk <= %1 ORDER BY pk DESC LIMIT 1)").arg(StoreDb::largestAlertId);
const QString highestGivenId = QStringLiteral("max(coalesce(%1, 0), coalesce(%2, 0))").arg(highestGivenRow, issuedStored);
// A new alert's row id: above every one given so far.
const QString newAlertId = QStringLiteral("SELECT ") + highestGivenId + QStringLiteral(" + 1");

const QString alertEditPrefix = QStringLiteral("alertEdit:");
const QString damagedAlertEditPrefix = QStringLiteral("alertEditDamaged:");

// The record, else a damaged one in its place, which names no alerts.
StoreDb::AlertEditRecord readAlertEdit(const QByteArray &bytes, qint64 highestIssued, const QString &where)
{
    if (auto record = AlertEditCoding::decode(bytes, highestIssued))
        return std::move(*record);
    qCWarning(lcStoreDb) << "a damaged record of alert edits is passed over:" << where;
    StoreDb::AlertEditRecord damaged;
    damaged.readable = false;
    return damaged;
}

// A list of row ids as the JSON array that json_each() reads: one statement for thousands of
// them rather than one each.
QString idList(const QList<qint64> &persistentIds)
{
    QByteArray ids = "[";
    for (const auto id : persistentIds)
        ids += QByteArray::number(id) + ',';
    if (ids.size() > 1)
        ids.chop(1);
    return QString::fromLatin1(ids + ']');
}

}

bool StoreDb::insert(KeywordMetric &metric)
{
    rowsChanged({.normalized = metric.keywordNormalized, .country = metric.country});
    return upsert(QStringLiteral("keyword_metric"), metricColumns, metricValues(metric), metric.persistentId);
}

bool StoreDb::update(const KeywordMetric &metric)
{
    rowsChanged({.normalized = metric.keywordNormalized, .country = metric.country});
    return updateRow(QStringLiteral("keyword_metric"), metricColumns, metricValues(metric), metric.persistentId);
}

std::optional<KeywordMetric> StoreDb::metric(const QString &key)
{
    std::optional<KeywordMetric> result;
    select(metricSelect + QStringLiteral("WHERE m.key = ?"), {key}, [&](const QSqlQuery &query) {
        RowReader row(query);
        result = readMetric(row);
    });
    return result;
}

QList<KeywordMetric> StoreDb::metricsOfCountry(const QString &country)
{
    QList<KeywordMetric> result;
    select(metricSelect + QStringLiteral("WHERE m.country = ? ORDER BY m.pk"), {country}, [&](const QSqlQuery &query) {
        RowReader row(query);
        result.append(readMetric(row));
    });
    return result;
}

QHash<QString, KeywordMetric> StoreDb::metricsOf(const QStringList &normalized, const QString &country)
{
    QHash<QString, KeywordMetric> result;
    if (normalized.isEmpty())
        return result;
    result.reserve(normalized.size());
    // In row order, so that of two rows of a keyword the later counts, as in metricsOfCountry().
    select(metricSelect
               + QStringLiteral("WHERE m.country = ? AND m.keyword_normalized IN (SELECT value FROM json_each(?)) "
                                "ORDER BY m.pk"),
           {country, QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(normalized)).toJson(QJsonDocument::Compact))},
           [&](const QSqlQuery &query) {
               RowReader row(query);
               auto metric = readMetric(row);
               result.insert(metric.keywordNormalized, metric);
           });
    return result;
}

QList<KeywordMetric> StoreDb::metricsWithPopularity()
{
    QList<KeywordMetric> result;
    select(metricSelect + QStringLiteral("WHERE m.popularity IS NOT NULL ORDER BY m.pk"), {},
           [&](const QSqlQuery &query) {
               RowReader row(query);
               result.append(readMetric(row));
           });
    return result;
}

bool StoreDb::insert(RankAlert &alert)
{
    // A stored alert given again is updated in place.
    const bool added = alert.persistentId == 0;
    // Else the save that raises it would fail, and with it the readings saved beside it.
    if (added && !alertIdLeft()) {
        qCWarning(lcStoreDb) << "no row id is left for a new alert: it is not saved";
        return false;
    }
    auto &counter = added ? m_alertsMark.added : m_alertsMark.rewritten;
    // A new alert's id is above every id given before, deleted or not: a reader that remembers
    // the highest id it saw finds every alert made since.
    const bool saved = upsert(QStringLiteral("rank_alert"), alertColumns, alertValues(alert), alert.persistentId,
                              added ? newAlertId : QString());
    counter += saved;
    return saved;
}

bool StoreDb::alertIdLeft()
{
    bool left = false;
    select(QStringLiteral("SELECT %1 < %2").arg(highestGivenId).arg(largestAlertId), {},
           [&](const QSqlQuery &query) { left = query.value(0).toBool(); });
    return left;
}

bool StoreDb::keepAlertIdsIssued()
{
    // A stored value that does not count is written right.
    return write(QStringLiteral("INSERT INTO store_meta (key, value) SELECT ?, %1 WHERE %1 IS NOT NULL "
                                "ON CONFLICT(key) DO UPDATE SET value = max(coalesce(%2, 0), excluded.value)")
                     .arg(highestGivenRow, issuedInRange(QStringLiteral("value"))),
                 {alertIdsIssuedKey});
}

bool StoreDb::update(const RankAlert &alert)
{
    const bool saved = updateRow(QStringLiteral("rank_alert"), alertColumns, alertValues(alert), alert.persistentId);
    m_alertsMark.rewritten += saved;
    return saved;
}

bool StoreDb::remove(const RankAlert &alert)
{
    keepAlertIdsIssued();
    const bool removed = removeRow(QStringLiteral("rank_alert"), alert.persistentId);
    m_alertsMark.removed += removed;
    return removed;
}

bool StoreDb::removeAlerts(const QList<qint64> &persistentIds)
{
    if (persistentIds.isEmpty())
        return true;
    ++m_alertsMark.removed;
    m_backgroundAlertEdits = m_backgroundAlertEdits || m_background;
    return keepAlertIdsIssued() && write(QStringLiteral("DELETE FROM rank_alert WHERE pk IN (SELECT value FROM json_each(?))"),
                 {idList(persistentIds)});
}

bool StoreDb::setAlertsRead(const QList<qint64> &persistentIds, bool read)
{
    if (persistentIds.isEmpty())
        return true;
    const bool saved = write(QStringLiteral("UPDATE rank_alert SET is_read = ? WHERE pk IN (SELECT value FROM json_each(?))"),
                             {read, idList(persistentIds)});
    ++m_alertsMark.flagged;
    m_backgroundAlertEdits = m_backgroundAlertEdits || m_background;
    return saved;
}

StoreDb::AlertsMark StoreDb::alertsMark()
{
    auto mark = m_alertsMark;
    select(QStringLiteral("PRAGMA data_version"), {}, [&](const QSqlQuery &query) { mark.others = query.value(0).toLongLong(); });
    return mark;
}

QList<RankAlert> StoreDb::alertsAfter(qint64 persistentId)
{
    return alerts(QStringLiteral("r.pk > ? AND r.pk <= %1").arg(largestAlertId),
                  QStringLiteral("ORDER BY r.created_at DESC, r.pk DESC"), {persistentId});
}

QList<std::pair<qint64, bool>> StoreDb::alertReadFlags()
{
    QList<std::pair<qint64, bool>> flags;
    // In one value, each alert's row id and flag as one number: reading a value costs far more
    // than a row, and the screen that follows the alerts reads every one of them.
    select(QStringLiteral("SELECT group_concat(r.pk * 2 + (r.is_read != 0)) FROM rank_alert r "
                          "WHERE r.pk BETWEEN 0 AND %1 AND %2")
               .arg(largestAlertId)
               .arg(alertShown),
           {},
           [&](const QSqlQuery &query) {
               const auto text = query.value(0).toString();
               flags.reserve(text.size() / 4);
               qint64 value = 0;
               for (const auto c : text) {
                   if (c == u',') {
                       flags.append({value >> 1, (value & 1) != 0});
                       value = 0;
                   } else {
                       value = value * 10 + (c.unicode() - u'0');
                   }
               }
               if (!text.isEmpty())
                   flags.append({value >> 1, (value & 1) != 0});
           });
    // Those whose ids would not make such a number, a row each: only damage leaves any.
    select(QStringLiteral("SELECT r.pk, r.is_read != 0 FROM rank_alert r WHERE (r.pk < 0 OR r.pk > %1) AND %2")
               .arg(largestAlertId)
               .arg(alertShown),
           {}, [&](const QSqlQuery &query) { flags.append({query.value(0).toLongLong(), query.value(1).toBool()}); });
    return flags;
}

QList<RankAlert> StoreDb::alerts(const QString &condition, const QString &order, const QVariantList &values)
{
    QList<RankAlert> result;
    const auto where = QStringLiteral("WHERE ") + alertShown + (condition.isEmpty() ? QString() : QStringLiteral(" AND ") + condition);
    QSet<QString> texts;
    select(alertSelect + where + u' ' + order, values, [&](const QSqlQuery &query) {
        RowReader row(query);
        result.append(readAlert(row, texts));
    });
    return result;
}

QList<RankAlert> StoreDb::alertsNewestFirst()
{
    return alerts({}, QStringLiteral("ORDER BY r.created_at DESC, r.pk DESC"), {});
}

QList<RankAlert> StoreDb::unreadAlerts()
{
    return alerts(QStringLiteral("r.is_read = 0"), QStringLiteral("ORDER BY r.pk"), {});
}

qint64 StoreDb::unreadAlertCount()
{
    qint64 count = 0;
    // Every unread one less those of apps being removed, each through the index of the unread
    // alone: testing every alert's app against those being removed would take as long again.
    select(QStringLiteral("SELECT (SELECT count(*) FROM rank_alert WHERE is_read = 0) - (SELECT count(*) FROM rank_alert "
                          "WHERE is_read = 0 AND apple_app_id IN %1)")
               .arg(RemovedApps::ids()),
           {}, [&](const QSqlQuery &query) { count = query.value(0).toLongLong(); });
    return count;
}

QList<RankAlert> StoreDb::alertsSince(const QDateTime &time)
{
    return alerts(QStringLiteral("r.created_at >= ?"), QStringLiteral("ORDER BY r.created_at, r.pk"), {date(time)});
}

namespace {

// A record's key: its place among all edits, then a random part that keeps keys apart.
QString alertEditKey(qint64 sequence)
{
    return alertEditPrefix + QStringLiteral("%1:").arg(sequence, 20, 10, QChar(u'0'))
        + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

// 0 for a key of an earlier version, which has only the random part.
qint64 alertEditSequence(const QString &key)
{
    const auto rest = QStringView(key).mid(alertEditPrefix.size());
    bool ok = false;
    const auto sequence = rest.left(rest.indexOf(u':')).toLongLong(&ok);
    return ok ? std::max<qint64>(sequence, 0) : 0;
}

}

QString StoreDb::recordAlertEdit(qint64 sequence, AlertEditKind kind, const QList<AlertIdRun> &runs)
{
    const auto key = alertEditKey(sequence);
    // The bookkeeping's values are SQLite's own, of any type: this one is a blob.
    if (!write(QStringLiteral("INSERT INTO store_meta (key, value) VALUES (?, ?)"),
               {key, AlertEditCoding::encode(kind, runs)}))
        return {};
    return key;
}

QList<StoreDb::AlertEditRecord> StoreDb::alertEditRecords()
{
    QList<AlertEditRecord> records;
    const auto highest = highestAlertIdIssued();
    select(QStringLiteral("SELECT key, value FROM store_meta WHERE key GLOB ? ORDER BY pk"), {alertEditPrefix + u'*'},
           [&](const QSqlQuery &query) {
               const auto key = query.value(0).toString();
               auto record = readAlertEdit(query.value(1).toByteArray(), highest, key);
               record.key = key;
               record.sequence = alertEditSequence(key);
               records.append(std::move(record));
           });
    records.append(journaledAlertEdits(highest));
    // Those of an earlier version keep their order, before every other.
    std::stable_sort(records.begin(), records.end(),
                     [](const AlertEditRecord &a, const AlertEditRecord &b) { return a.sequence < b.sequence; });
    return records;
}

bool StoreDb::setAlertEditRecordAside(const QString &key)
{
    return write(QStringLiteral("UPDATE store_meta SET key = ? WHERE key = ?"),
                 {damagedAlertEditPrefix + key.mid(alertEditPrefix.size()), key});
}

qint64 StoreDb::highestAlertIdIssued()
{
    qint64 highest = 0;
    select(QStringLiteral("SELECT ") + highestAlertId, {}, [&](const QSqlQuery &query) { highest = query.value(0).toLongLong(); });
    return highest;
}

namespace {

const QString databaseIdKey = QStringLiteral("databaseId");
const QString journalStateKey = QStringLiteral("editJournalState");

qint64 randomIdentity()
{
    // Positive and never 0, which stands for none.
    return qint64(QRandomGenerator::system()->generate64() >> 1) | 1;
}

}

QString StoreDb::alertEditJournalPath() const
{
    return m_path.isEmpty() ? QString() : m_path + QStringLiteral("-edits");
}

StoreDb::AlertEditJournalOwner StoreDb::alertEditJournalOwner()
{
    AlertEditJournalOwner owner;
    select(QStringLiteral("SELECT key, value FROM store_meta WHERE key IN (?, ?) AND typeof(value) = 'integer'"),
           {databaseIdKey, journalStateKey}, [&](const QSqlQuery &query) {
               (query.value(0).toString() == databaseIdKey ? owner.database : owner.state) = query.value(1).toLongLong();
           });
    return owner;
}

bool StoreDb::renewAlertEditJournalOwner()
{
    if (m_journaled)
        return false;
    return write(QStringLiteral("INSERT INTO store_meta (key, value) VALUES (?, ?) ON CONFLICT(key) DO UPDATE SET "
                                "value = iif(typeof(value) = 'integer' AND value != 0, value, excluded.value)"),
                 {databaseIdKey, randomIdentity()})
        && write(QStringLiteral("INSERT INTO store_meta (key, value) VALUES (?, ?) ON CONFLICT(key) DO UPDATE SET "
                                "value = excluded.value"),
                 {journalStateKey, randomIdentity()});
}

QList<StoreDb::AlertEditRecord> StoreDb::journaledAlertEdits(qint64 highest)
{
    QList<AlertEditRecord> records;
    m_journaled = false;
    QFile file(alertEditJournalPath());
    if (m_path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return records;
    const auto bytes = file.readAll();
    file.close();
    if (bytes.isEmpty())
        return records;
    const auto contents = AlertEditJournal::read(bytes);
    const auto owner = alertEditJournalOwner();
    if (!owner.named() || contents.owner != owner) {
        // Not this database's, or not of the state it is in: applying it would edit alerts the
        // user never edited. Kept for whoever wants to look, unless it holds nothing.
        if (contents.entries.isEmpty() && contents.damaged == 0)
            clearAlertEditJournal();
        else
            setAlertEditJournalAside();
        return records;
    }
    m_journaled = true;
    m_journalForeign = false;
    for (const auto &entry : contents.entries) {
        auto record = readAlertEdit(entry.record, highest, QStringLiteral("in the journal at byte %1").arg(entry.at));
        record.sequence = entry.sequence;
        records.append(std::move(record));
    }
    if (contents.damaged > 0) {
        qCWarning(lcStoreDb) << "the journal of alert edits holds" << contents.damaged
                             << "damaged stretches; the frames in them are passed over";
        AlertEditRecord damaged;
        damaged.readable = false;
        records.append(damaged);
    }
    return records;
}

void StoreDb::setAlertEditJournalAside()
{
    m_journal.reset();
    const auto path = alertEditJournalPath();
    const auto stem = path + QStringLiteral("-set-aside-")
        + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    auto aside = stem;
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = stem + u'-' + QString::number(n);
    if (QFile::rename(path, aside)) {
        qCWarning(lcStoreDb) << "a journal of alert edits of another database or state was set aside:" << aside;
        m_setAsideJournal = aside;
        m_journalForeign = false;
        return;
    }
    // Left where it is, and nothing is appended to it.
    qCWarning(lcStoreDb) << "a journal of alert edits of another database or state could not be set aside:" << path;
    m_journalForeign = true;
}

bool StoreDb::journalAlertEdit(qint64 sequence, AlertEditKind kind, const QList<AlertIdRun> &runs)
{
    if (m_path.isEmpty())
        return true;
    if (m_journalForeign)
        return false;
    if (!m_journal) {
        m_journal = std::make_unique<QFile>(alertEditJournalPath());
        if (!m_journal->open(QIODevice::WriteOnly | QIODevice::Append)) {
            qWarning() << "the journal of alert edits cannot be opened:" << m_journal->errorString();
            m_journal.reset();
            return false;
        }
    }
    QByteArray bytes;
    const auto start = m_journal->size();
    if (start == 0) {
        const auto owner = alertEditJournalOwner();
        if (!owner.named()) {
            qWarning() << "the database names no owner for a journal of alert edits";
            return false;
        }
        bytes = AlertEditJournal::ownerFrame(owner);
    } else if (!m_journaled) {
        // Not read here: another's, which this one's records would be read with.
        qWarning() << "a journal of alert edits not read here lies beside the database";
        m_journalForeign = true;
        m_journal.reset();
        return false;
    }
    bytes += AlertEditJournal::entryFrame(sequence, AlertEditCoding::encode(kind, runs));
    // Handed to the system before the click returns: it outlives the process from then on.
    if (m_journal->write(bytes) != bytes.size() || !m_journal->flush()) {
        qWarning() << "an alert edit could not be appended to the journal:" << m_journal->errorString();
        // Nothing half written stays to hide the records that follow.
        m_journal->resize(start);
        m_journal.reset();
        return false;
    }
    m_journaled = true;
    return true;
}

bool StoreDb::clearAlertEditJournal()
{
    m_journal.reset();
    QFile file(alertEditJournalPath());
    if (file.exists() && !file.resize(0)) {
        qWarning() << "the journal of alert edits could not be emptied:" << file.errorString();
        return false;
    }
    m_journaled = false;
    return true;
}

bool StoreDb::removeAlertEditRecord(const QString &key)
{
    return removeMeta(key);
}

QList<qint64> StoreDb::alertIdsOfApp(const QString &appleAppId)
{
    QList<qint64> ids;
    select(QStringLiteral("SELECT group_concat(pk) FROM rank_alert WHERE apple_app_id = ?"), {appleAppId},
           [&](const QSqlQuery &query) {
               const auto text = query.value(0).toString();
               if (text.isEmpty())
                   return;
               for (const auto &id : QStringView(text).split(u','))
                   ids.append(id.toLongLong());
           });
    return ids;
}

bool StoreDb::insert(StoreMeta &meta)
{
    return upsert(QStringLiteral("store_meta"), metaColumns, {text(meta.key), integer(meta.value)}, meta.persistentId);
}

std::optional<StoreMeta> StoreDb::meta(const QString &key)
{
    std::optional<StoreMeta> result;
    select(QStringLiteral("SELECT pk, key, value FROM store_meta WHERE key = ?"), {key}, [&](const QSqlQuery &query) {
        RowReader row(query);
        StoreMeta meta;
        meta.persistentId = row.integer();
        meta.key = row.text();
        meta.value = row.integer();
        result = meta;
    });
    return result;
}

bool StoreDb::removeMeta(const QString &key)
{
    return write(QStringLiteral("DELETE FROM store_meta WHERE key = ?"), {key});
}
