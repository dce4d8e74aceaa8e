#include "store/ASOStore.h"

#include "clients/AppleHTTP.h"
#include "clients/ITunesClient.h"
#include "clients/NetworkTransport.h"
#include "store/Settings.h"

#include <QNetworkAccessManager>

ASOStore::ASOStore(std::unique_ptr<StoreDb> db, std::shared_ptr<AppSearching> itunes,
                   std::shared_ptr<PopularityProviding> popularityOverride, QObject *parent)
    : QObject(parent),
      m_db(std::move(db)),
      m_network(new QNetworkAccessManager(this)),
      m_limiter(std::make_shared<RateLimiter>(Settings::shared().requestsPerMinute())),
      m_itunes(std::move(itunes)),
      m_popularityOverride(std::move(popularityOverride)),
      m_now([] { return QDateTime::currentDateTimeUtc(); })
{
    if (!m_itunes) {
        // The client shares the store's limiter, so a rate set before a search paces it.
        AppleHTTP http(std::make_shared<NetworkTransport>(m_network), m_limiter, RetryPolicy{15.0, 3, 2.0, 30.0},
                       realSleep());
        m_itunes = std::make_shared<ITunesClient>(std::move(http), QUrl(QStringLiteral("https://itunes.apple.com")));
    }
    m_db->setRowsChangeHandler([this](const StoreDb::RowsChange &change) { noteRowsChange(change); });
    m_followTimer.setSingleShot(true);
    m_followTimer.setInterval(followInterval);
    connect(&m_followTimer, &QTimer::timeout, this, &ASOStore::followChanges);
    connect(m_db.get(), &StoreDb::committed, this, &ASOStore::noteSaved);
    m_writesHeld = writesHeld();
    const auto followWritesHeld = [this] {
        if (writesHeld() == m_writesHeld)
            return;
        m_writesHeld = writesHeld();
        Q_EMIT writesHeldChanged(m_writesHeld);
    };
    // Alert edits written into a background save that was rolled back are read again from their
    // records.
    connect(m_db.get(), &StoreDb::backgroundSaveEnded, this, [this](bool saved) {
        if (saved)
            clearAlertEditJournalIfSaved();
        else
            alertEditsRolledBack();
    });
    // Edits that quitting or a crash cut short.
    loadAlertEdits(true);
    connect(m_db.get(), &StoreDb::damaged, this, [this, followWritesHeld](const QString &message) {
        followWritesHeld();
        Q_EMIT databaseDamaged(message);
    });
    if (m_db->writesHeld()) {
        // The file is being checked after an unclean end: the repairs write, so they wait for
        // it to pass, and the screens read again what they changed.
        connect(m_db.get(), &StoreDb::writesReleased, this, [this, followWritesHeld] {
            followWritesHeld();
            renewAlertEditJournalOwner();
            clearUnknownPopularitySources();
            migrateLayoutIfNeeded();
            raiseDataVersion();
            finishRemovals();
        });
        return;
    }
    // So that a journal begun later in this run, while the database cannot be written, names a
    // state that no copy of the file from before this run has.
    renewAlertEditJournalOwner();
    clearUnknownPopularitySources();
    migrateLayoutIfNeeded();
    // A removal that quitting or a crash cut short.
    finishRemovals();
}

ASOStore::~ASOStore()
{
    // While this object still follows what it tells.
    m_db->endBackgroundSave();
    saveAlertEditsAtQuit();
    m_db->setRowsChangeHandler({});
}

QString ASOStore::StoreError::description() const
{
    if (m_kind == Kind::notSaved)
        return m_message;
    if (m_kind == Kind::cancelled)
        return QStringLiteral("Adding the app with ID ") + m_appleAppId + QStringLiteral(" was cancelled.");
    return QStringLiteral("No app with ID ") + m_appleAppId
        + QStringLiteral(" was returned by Apple in your favorite storefronts. Check the ID; the app may be "
                         "removed or unavailable there.");
}

void ASOStore::setDataVersion(qint64 version)
{
    if (version == m_dataVersion)
        return;
    m_dataVersion = version;
    Q_EMIT dataVersionChanged(m_dataVersion);
    noteDataVersion();
}

ASOStore::Burst::Burst(ASOStore *store) : m_store(store)
{
    if (m_store)
        ++m_store->m_bursts;
}

ASOStore::Burst::~Burst()
{
    if (!m_store || --m_store->m_bursts > 0)
        return;
    m_store->m_followTimer.stop();
    m_store->followChanges();
    m_store->m_db->checkpointInBackground();
}

void ASOStore::noteSaved()
{
    if (m_bursts == 0) {
        Q_EMIT saved();
        return;
    }
    m_savedPending = true;
    if (!m_followTimer.isActive())
        m_followTimer.start();
}

void ASOStore::noteDataVersion()
{
    if (m_bursts == 0) {
        Q_EMIT dataVersionSettled(m_dataVersion);
        return;
    }
    m_versionPending = true;
    if (!m_followTimer.isActive())
        m_followTimer.start();
}

void ASOStore::followChanges()
{
    if (std::exchange(m_savedPending, false))
        Q_EMIT saved();
    if (std::exchange(m_versionPending, false))
        Q_EMIT dataVersionSettled(m_dataVersion);
}

void ASOStore::raiseDataVersion()
{
    setDataVersion(m_dataVersion + 1);
}

void ASOStore::setPopularityError(const std::optional<QString> &error)
{
    if (error == m_popularityError)
        return;
    m_popularityError = error;
    Q_EMIT popularityErrorChanged(m_popularityError);
}

void ASOStore::setDiscoveries(QHash<QString, std::shared_ptr<DiscoveryRun>> discoveries)
{
    m_discoveries = std::move(discoveries);
    Q_EMIT discoveriesChanged();
}

QStringList ASOStore::uniquedPreservingOrder(const QStringList &list)
{
    QStringList result;
    QSet<QString> seen;
    for (const auto &item : list) {
        if (!seen.contains(item)) {
            seen.insert(item);
            result.append(item);
        }
    }
    return result;
}
