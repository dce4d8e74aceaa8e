#pragma once

// Database files as a crash or a faulty disk leaves them, for the tests of start-up and damage.
#include "clients/AppRecords.h"
#include "model/StoreDb.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>
#include <QtTest>

#include <functional>

namespace DamagedDatabase {

inline QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Runs statements on the file through a connection of the test's own, which is gone afterwards.
// Returns the first value the last statement gave. An empty statement calls `meanwhile`.
inline QVariant rawQuery(const QString &path, const QStringList &statements, const std::function<void()> &meanwhile = {})
{
    QVariant last;
    {
        auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
        db.setDatabaseName(path);
        if (!db.open())
            qFatal("cannot open the test database");
        QSqlQuery query(db);
        for (const auto &statement : statements) {
            if (statement.isEmpty() && meanwhile)
                meanwhile();
            else if (!query.exec(statement))
                qFatal("cannot run %s", qPrintable(statement));
            else if (query.next())
                last = query.value(0);
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    return last;
}

// A closed database file with one app ("42") and keywords that fill several pages of their table.
inline void writeFilled(const QString &path)
{
    auto db = StoreDb::openFile(path);
    StoreDb::Transaction save(*db);
    TrackedApp app(AppInfo{QStringLiteral("42"), QStringLiteral("App")}, true);
    db->insert(app);
    for (int i = 0; i < 300; ++i) {
        Keyword keyword(QStringLiteral("keyword %1").arg(i), QStringLiteral("Keyword %1 ").arg(i).repeated(20));
        db->insert(keyword);
    }
    QVERIFY(save.commit());
}

// A closed database file with app "42" linked to `count` keywords, each with a latest successful
// search in "us" of 100 hits: some 9 kB of hits a search, so that most of the file is hits.
inline void writeSearched(const QString &path, int count)
{
    auto db = StoreDb::openFile(path);
    StoreDb::Transaction save(*db);
    TrackedApp app(AppInfo{QStringLiteral("42"), QStringLiteral("App")}, true);
    db->insert(app);
    QList<SearchHit> hits;
    for (int rank = 1; rank <= 100; ++rank)
        hits.append(SearchHit{QString::number(1000 + rank), QStringLiteral("App %1").arg(rank), {}, {}, {}, {}, rank, 4.5, rank});
    const auto hitsData = AppRecords::encodeHits(hits);
    const auto checkedAt = QDateTime::currentDateTimeUtc();
    for (int i = 0; i < count; ++i) {
        Keyword keyword(QStringLiteral("keyword %1").arg(i), QStringLiteral("Keyword %1").arg(i));
        db->insert(keyword);
        KeywordLink link(app, keyword, PlannedCandidate{keyword.display, KeywordSource::manual, {}, {}}, 0, 0);
        db->insert(link);
        SearchObservation search{0, QUuid::createUuid(), keyword.normalized, QStringLiteral("us"), checkedAt, true,
                                 200, hits.size(), 1, {}, true, hitsData};
        db->insert(search);
    }
    QVERIFY(save.commit());
}

// Overwrites the root page of the table, as a disk or a stray write would.
inline void damageTable(const QString &path, const QString &table)
{
    const auto root = rawQuery(path, {QStringLiteral("SELECT rootpage FROM sqlite_master WHERE name = '%1'").arg(table)});
    const auto pageSize = rawQuery(path, {QStringLiteral("PRAGMA page_size")}).toLongLong();
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite) || !file.seek((root.toLongLong() - 1) * pageSize))
        qFatal("cannot damage the test database");
    file.write(QByteArray(pageSize, '\xA5'));
}

inline void damageKeywordTable(const QString &path)
{
    damageTable(path, QStringLiteral("keyword"));
}

// The file as the last run left it when it ended uncleanly, with the table damaged or not.
inline void leaveUncleanEnd(const QString &path, bool damaged, const QString &damagedTable = QStringLiteral("keyword"))
{
    writeFilled(path);
    if (damaged)
        damageTable(path, damagedTable);
    QFile marker(StoreDb::runningMarkerPath(path));
    QVERIFY(marker.open(QIODevice::WriteOnly));
}

}
