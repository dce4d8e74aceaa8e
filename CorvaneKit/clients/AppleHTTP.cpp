#include "AppleHTTP.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace {

// The whole header as a decimal number of seconds; a date or anything else gives none.
std::optional<double> parseRetryAfter(const std::optional<QByteArray> &header)
{
    if (!header)
        return std::nullopt;
    static const QRegularExpression number(QStringLiteral(R"(\A[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?\z)"));
    const QString text = QString::fromLatin1(*header);
    if (!number.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

bool isRetryable(const AppleRequestError &e)
{
    switch (e.kind) {
    case AppleRequestError::Kind::timeout:
    case AppleRequestError::Kind::network:
    case AppleRequestError::Kind::rateLimited:
    case AppleRequestError::Kind::malformed:
        return true;
    case AppleRequestError::Kind::http:
        return e.status && *e.status >= 500;
    case AppleRequestError::Kind::cancelled:
        return false;
    }
    return false;
}

QString httpDetail(qint64 status)
{
    return QStringLiteral("HTTP ") + QString::number(status);
}

} // namespace

AppleHTTP::AppleHTTP(std::shared_ptr<HTTPTransport> transport, std::shared_ptr<RateLimiter> limiter,
                     RetryPolicy policy, SleepFunction sleep)
    : m_transport(std::move(transport)), m_limiter(std::move(limiter)), m_policy(policy), m_sleep(std::move(sleep))
{
}

QCoro::Task<AppleHTTP::JSONResult> AppleHTTP::getJSON(QUrl url, CancelTokenPtr cancel) const
{
    // The request runs on a copy, so it does not depend on this object staying alive.
    return run(*this, std::move(url), std::move(cancel));
}

QCoro::Task<AppleHTTP::JSONResult> AppleHTTP::run(AppleHTTP http, QUrl url, CancelTokenPtr cancel)
{
    const RetryPolicy &policy = http.m_policy;
    qint64 attempt = 1;
    double duration = 0;
    while (true) {
        if (http.m_limiter)
            co_await http.m_limiter->acquire();

        std::exception_ptr failure;
        try {
            if (isCancelled(cancel))
                throw AppleRequestError(AppleRequestError::Kind::cancelled, std::nullopt, QStringLiteral("cancelled"));
            QElapsedTimer started;
            started.start();
            const HTTPTransport::Reply reply = co_await http.m_transport->get(url, policy.timeout, cancel);
            duration += static_cast<double>(started.nsecsElapsed()) / 1e9;

            const qint64 status = reply.response.statusCode;
            if (status == 429 || status == 403) {
                throw AppleRequestError(AppleRequestError::Kind::rateLimited, status, httpDetail(status), 1,
                                        parseRetryAfter(reply.response.header("Retry-After")));
            }
            if (status < 200 || status > 299)
                throw AppleRequestError(AppleRequestError::Kind::http, status, httpDetail(status));

            QJsonParseError parseError;
            const QJsonDocument document = QJsonDocument::fromJson(reply.body, &parseError);
            if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
                throw AppleRequestError(AppleRequestError::Kind::malformed, status,
                                        QStringLiteral("Response body was not valid JSON"));
            }
            co_return JSONResult{document.object(), attempt, duration};
        } catch (...) {
            failure = std::current_exception();
        }

        const AppleRequestError e = classify(failure);
        if (!isRetryable(e) || attempt > policy.maxRetries)
            throw AppleRequestError(e.kind, e.status, e.detail, attempt, e.retryAfter);

        const double backoff = std::min(policy.baseDelay * std::pow(2.0, static_cast<double>(attempt - 1)), policy.maxDelay);
        const double delay = std::min(std::max(backoff, e.retryAfter.value_or(0)), policy.maxDelay);
        if (e.kind == AppleRequestError::Kind::rateLimited && http.m_limiter)
            http.m_limiter->penalize(delay);
        co_await http.m_sleep(delay, cancel);
        ++attempt;
    }
}

AppleRequestError AppleHTTP::classify(std::exception_ptr error)
{
    using Kind = AppleRequestError::Kind;
    if (!error)
        return AppleRequestError(Kind::network, std::nullopt, QStringLiteral("unknown error"));
    try {
        std::rethrow_exception(error);
    } catch (const AppleRequestError &e) {
        return e;
    } catch (const HTTPTransport::Error &e) {
        switch (e.code()) {
        case HTTPTransport::Error::Code::timedOut:
            return AppleRequestError(Kind::timeout, std::nullopt, QStringLiteral("timed out"));
        case HTTPTransport::Error::Code::cancelled:
            return AppleRequestError(Kind::cancelled, std::nullopt, QStringLiteral("cancelled"));
        case HTTPTransport::Error::Code::badServerResponse:
        case HTTPTransport::Error::Code::other:
            break;
        }
        return AppleRequestError(Kind::network, std::nullopt, e.description());
    } catch (const UserFacingError &e) {
        return AppleRequestError(Kind::network, std::nullopt, e.description());
    } catch (const std::exception &e) {
        return AppleRequestError(Kind::network, std::nullopt, QString::fromUtf8(e.what()));
    } catch (...) {
        return AppleRequestError(Kind::network, std::nullopt, QStringLiteral("unknown error"));
    }
}
