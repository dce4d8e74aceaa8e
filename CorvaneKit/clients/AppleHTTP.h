#pragma once

#include "AppleRequestError.h"
#include "HTTPTransport.h"
#include "RateLimiter.h"
#include "support/CancelToken.h"
#include "support/Sleep.h"

#include <QJsonObject>
#include <QUrl>

#include <QCoroTask>

#include <exception>
#include <memory>

struct RetryPolicy
{
    double timeout = 15;    // seconds per attempt
    qint64 maxRetries = 3;  // retries after the first attempt
    double baseDelay = 2;   // seconds
    double maxDelay = 30;   // seconds
};

// Fetches a JSON object from Apple: paced by the shared limiter, retried with back-off,
// every failure turned into an AppleRequestError. Copies share the transport and limiter.
class AppleHTTP
{
public:
    struct JSONResult
    {
        QJsonObject json;
        qint64 attempts = 1;  // the attempt that succeeded
        double duration = 0;  // seconds, summed over the attempts that got a response
    };

    AppleHTTP(std::shared_ptr<HTTPTransport> transport, std::shared_ptr<RateLimiter> limiter,
              RetryPolicy policy = {}, SleepFunction sleep = realSleep());

    // Throws AppleRequestError only.
    QCoro::Task<JSONResult> getJSON(QUrl url, CancelTokenPtr cancel = {}) const;

    static AppleRequestError classify(std::exception_ptr error);

    const std::shared_ptr<HTTPTransport> &transport() const { return m_transport; }
    const std::shared_ptr<RateLimiter> &limiter() const { return m_limiter; }
    const RetryPolicy &policy() const { return m_policy; }
    const SleepFunction &sleep() const { return m_sleep; }

private:
    static QCoro::Task<JSONResult> run(AppleHTTP http, QUrl url, CancelTokenPtr cancel);

    std::shared_ptr<HTTPTransport> m_transport;
    std::shared_ptr<RateLimiter> m_limiter;
    RetryPolicy m_policy;
    SleepFunction m_sleep;
};
