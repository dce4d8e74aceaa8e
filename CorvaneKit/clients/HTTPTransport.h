#pragma once

#include "support/CancelToken.h"
#include "support/UserFacingError.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

#include <QCoroTask>

#include <optional>

// Performs one GET. Replaceable so that request logic can be tested without a network.
class HTTPTransport
{
public:
    struct Response
    {
        qint64 statusCode = 0;
        QList<QPair<QByteArray, QByteArray>> headers;

        // The value of a header, names compared without regard to case. Repeated headers
        // are joined with ", ".
        std::optional<QByteArray> header(const QByteArray &name) const
        {
            std::optional<QByteArray> value;
            for (const auto &[key, v] : headers) {
                if (key.compare(name, Qt::CaseInsensitive) != 0)
                    continue;
                value = value ? *value + ", " + v : v;
            }
            return value;
        }
    };

    struct Reply
    {
        QByteArray body;
        Response response;
    };

    // A failure before an HTTP response arrived.
    class Error : public UserFacingError
    {
    public:
        enum class Code { timedOut, cancelled, badServerResponse, other };

        Error(Code code, QString localizedDescription)
            : m_code(code), m_description(std::move(localizedDescription))
        {
        }

        Code code() const { return m_code; }
        QString description() const override { return m_description; }

    private:
        Code m_code;
        QString m_description;
    };

    virtual ~HTTPTransport() = default;

    // Any HTTP status is a reply, including 4xx and 5xx; failures throw Error. `timeout` is
    // the longest silence, in seconds, tolerated from the server. A cancelled token aborts.
    virtual QCoro::Task<Reply> get(QUrl url, double timeout, CancelTokenPtr cancel) = 0;
};
