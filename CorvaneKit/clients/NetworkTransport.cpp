#include "NetworkTransport.h"

#include "support/Sleep.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>

#include <QCoroNetworkReply>

namespace {

// Disconnects on scope exit (the token outlives this request) and disposes of the reply,
// unless its manager took it down already.
struct ReplyGuard
{
    QPointer<QNetworkReply> reply;
    QList<QMetaObject::Connection> connections;
    ~ReplyGuard()
    {
        for (const auto &c : connections)
            QObject::disconnect(c);
        if (reply)
            reply->deleteLater();
    }
};

bool isTransportFailure(QNetworkReply::NetworkError error)
{
    // Connection and proxy failures; content and protocol errors come with an HTTP status.
    return error > QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied;
}

} // namespace

NetworkTransport::NetworkTransport(QNetworkAccessManager *manager) : m_manager(manager)
{
}

QCoro::Task<HTTPTransport::Reply> NetworkTransport::get(QUrl url, double timeout, CancelTokenPtr cancel)
{
    return send(m_manager, std::move(url), timeout, std::move(cancel));
}

QCoro::Task<HTTPTransport::Reply> NetworkTransport::send(QPointer<QNetworkAccessManager> manager, QUrl url,
                                                         double timeout, CancelTokenPtr cancel)
{
    using Code = HTTPTransport::Error::Code;
    if (isCancelled(cancel))
        throw Error(Code::cancelled, QStringLiteral("cancelled"));
    if (!manager)
        throw Error(Code::other, QStringLiteral("The network session is no longer available."));

    QNetworkRequest request(url);
    request.setRawHeader("Accept", "application/json");
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    // Our own idle timer below decides; Qt's transfer time-out would look like an abort.
    request.setTransferTimeout(0);

    QNetworkReply *r = manager->get(request);
    ReplyGuard guard{r, {}};
    bool timedOut = false;
    bool aborted = false;

    // The limit is on silence, not on the whole transfer: any progress restarts it.
    QTimer idle;
    idle.setSingleShot(true);
    idle.setTimerType(Qt::PreciseTimer);
    guard.connections << QObject::connect(&idle, &QTimer::timeout, r, [&timedOut, r] {
        timedOut = true;
        r->abort();
    });
    if (timeout > 0) {
        const auto restart = [&idle] { idle.start(); };
        idle.setInterval(secondsToMilliseconds(timeout));
        guard.connections << QObject::connect(r, &QNetworkReply::metaDataChanged, &idle, restart)
                          << QObject::connect(r, &QNetworkReply::readyRead, &idle, restart)
                          << QObject::connect(r, &QNetworkReply::uploadProgress, &idle, restart)
                          << QObject::connect(r, &QNetworkReply::downloadProgress, &idle, restart);
        idle.start();
    }
    if (cancel) {
        guard.connections << QObject::connect(cancel.get(), &CancelToken::cancelled, r, [&aborted, r] {
            aborted = true;
            r->abort();
        });
    }

    co_await r;
    idle.stop();
    if (!guard.reply)
        throw Error(Code::other, QStringLiteral("The network session is no longer available."));

    if (timedOut)
        throw Error(Code::timedOut, QStringLiteral("The request timed out."));
    if (aborted)
        throw Error(Code::cancelled, QStringLiteral("cancelled"));

    const QNetworkReply::NetworkError error = r->error();
    if (error == QNetworkReply::OperationCanceledError)
        throw Error(Code::cancelled, r->errorString());
    if (error == QNetworkReply::TimeoutError)
        throw Error(Code::timedOut, r->errorString());
    if (isTransportFailure(error))
        throw Error(Code::other, r->errorString());

    // 4xx and 5xx are answers here, although Qt reports them as errors too.
    const QVariant status = r->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        Reply result;
        result.response.statusCode = status.toLongLong();
        result.response.headers = r->rawHeaderPairs();
        result.body = r->readAll();
        co_return result;
    }
    if (error != QNetworkReply::NoError)
        throw Error(Code::other, r->errorString());
    throw Error(Code::badServerResponse, QStringLiteral("bad server response"));
}
