#pragma once

#include "HTTPTransport.h"

#include <QPointer>

class QNetworkAccessManager;

// The real transport: one GET over a shared QNetworkAccessManager, never from the cache.
class NetworkTransport : public HTTPTransport
{
public:
    // The manager is not owned; a transport whose manager is gone fails every request.
    explicit NetworkTransport(QNetworkAccessManager *manager);

    QCoro::Task<Reply> get(QUrl url, double timeout, CancelTokenPtr cancel) override;

private:
    static QCoro::Task<Reply> send(QPointer<QNetworkAccessManager> manager, QUrl url, double timeout,
                                   CancelTokenPtr cancel);

    QPointer<QNetworkAccessManager> m_manager;
};
