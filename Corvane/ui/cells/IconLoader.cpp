#include "ui/cells/IconLoader.h"

#include "support/WebAddress.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImageReader>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>

#include <QCoroNetworkReply>

namespace {

// Icons are drawn at most a few dozen pixels wide; a larger image is decoded smaller so that
// an oversized artwork does not hold much memory in the cache.
constexpr int largestEdge = 512;
// About a thousand icons of the largest kind.
constexpr int cacheKilobytes = 256 * 1024;
// A failed address is not asked again for this long, so that repainting rows does not hammer it.
constexpr qint64 retryAfterMs = 5 * 60 * 1000;

QImage decode(const QByteArray &data)
{
    QBuffer buffer;
    buffer.setData(data);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > largestEdge || size.height() > largestEdge))
        reader.setScaledSize(size.scaled(largestEdge, largestEdge, Qt::KeepAspectRatio));
    return reader.read();
}

QCoro::Task<std::optional<QByteArray>> fetchOverNetwork(QPointer<QNetworkAccessManager> manager, QUrl url, qint64 limit)
{
    if (!manager)
        co_return std::nullopt;
    QNetworkRequest request(url);
    // Every redirect is judged like the first address, so an artwork host cannot send the fetch
    // to this computer or its network; nor from a secure address to a plain one.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    // A silent server must not keep the address "loading" for good.
    request.setTransferTimeout(30 * 1000);
    QPointer<QNetworkReply> reply = manager->get(request);
    bool tooLarge = false;
    const auto check = [&tooLarge, limit, r = reply.data()](qint64 received) {
        const qint64 announced = r->header(QNetworkRequest::ContentLengthHeader).toLongLong();
        if (!tooLarge && (received > limit || announced > limit)) {
            tooLarge = true;
            r->abort();
        }
    };
    const auto progress = QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                                           [check](qint64 received, qint64) { check(received); });
    const auto metaData = QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [check] { check(0); });
    const auto redirect = QObject::connect(reply, &QNetworkReply::redirected, reply, [r = reply.data()](const QUrl &to) {
        const auto target = r->url().resolved(to);
        const bool downgrade = r->url().scheme() == u"https" && target.scheme() != u"https";
        if (WebAddress::isSafeArtwork(target) && !downgrade)
            Q_EMIT r->redirectAllowed();
        else
            r->abort();
    });
    co_await reply.data();
    if (!reply)
        co_return std::nullopt;
    QObject::disconnect(progress);
    QObject::disconnect(metaData);
    QObject::disconnect(redirect);
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (tooLarge || reply->error() != QNetworkReply::NoError || status != 200)
        co_return std::nullopt;
    co_return reply->readAll();
}

}

IconLoader &IconLoader::shared()
{
    static QPointer<IconLoader> loader;
    if (!loader) {
        auto *manager = new QNetworkAccessManager;
        loader = new IconLoader(networkFetch(manager), QCoreApplication::instance());
        manager->setParent(loader);
    }
    return *loader;
}

IconLoader::IconLoader(Fetch fetch, QObject *parent)
    : QObject(parent)
    , m_fetch(std::move(fetch))
    , m_images(cacheKilobytes)
{
}

IconLoader::~IconLoader() = default;

IconLoader::Fetch IconLoader::networkFetch(QNetworkAccessManager *manager)
{
    return [manager = QPointer<QNetworkAccessManager>(manager)](QUrl url, qint64 limit) {
        return fetchOverNetwork(manager, std::move(url), limit);
    };
}

QImage IconLoader::image(const QUrl &url)
{
    if (const QImage *cached = m_images.object(url))
        return *cached;
    if (m_running.contains(url) || !WebAddress::isSafeArtwork(url))
        return {};
    const auto failed = m_failed.constFind(url);
    if (failed != m_failed.cend() && !failed->hasExpired())
        return {};
    m_failed.remove(url);
    m_running.insert(url);
    load(url);
    // A fetch that answers at once has filled the cache already.
    if (const QImage *cached = m_images.object(url))
        return *cached;
    return {};
}

QCoro::Task<> IconLoader::load(QUrl url)
{
    QPointer<IconLoader> self(this);
    const auto data = co_await m_fetch(url, maxBytes);
    if (!self)
        co_return;
    m_running.remove(url);
    QImage decoded;
    if (data && data->size() <= maxBytes)
        decoded = decode(*data);
    if (decoded.isNull()) {
        m_failed.insert(url, QDeadlineTimer(retryAfterMs));
    } else {
        const auto cost = std::max<qsizetype>(1, decoded.sizeInBytes() / 1024);
        m_images.insert(url, new QImage(std::move(decoded)), cost);
    }
    Q_EMIT finished(url);
}
