#pragma once

#include <QByteArray>
#include <QCache>
#include <QDeadlineTimer>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QUrl>

#include <QCoroTask>

#include <functional>
#include <optional>

class QNetworkAccessManager;

// Loads app icons for every view of the process: one cache keyed by address (many rows show
// the same icon), one request per address however many views ask meanwhile, and only from
// addresses that are safe to fetch artwork from.
class IconLoader : public QObject
{
    Q_OBJECT
public:
    // Fetches the bytes at `url`, giving up (nothing) on failure or beyond `limit` bytes.
    using Fetch = std::function<QCoro::Task<std::optional<QByteArray>>(QUrl url, qint64 limit)>;

    static constexpr qint64 maxBytes = 2 * 1024 * 1024;

    // The application's loader, over the network.
    static IconLoader &shared();

    explicit IconLoader(Fetch fetch, QObject *parent = nullptr);
    ~IconLoader() override;

    // The loaded image; otherwise a null image, and a load starts unless one is running, the
    // address failed a short while ago or may not be fetched. finished() tells when it ends.
    QImage image(const QUrl &url);

    // The plain network fetch, through `manager`.
    static Fetch networkFetch(QNetworkAccessManager *manager);

Q_SIGNALS:
    // A load of `url` ended; image(url) now holds the image, or stays null on failure.
    void finished(const QUrl &url);

private:
    QCoro::Task<> load(QUrl url);

    Fetch m_fetch;
    QCache<QUrl, QImage> m_images;
    QSet<QUrl> m_running;
    QHash<QUrl, QDeadlineTimer> m_failed;
};
