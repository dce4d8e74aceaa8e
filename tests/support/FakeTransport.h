#pragma once

#include "clients/HTTPTransport.h"

#include <QCoroTimer>
#include <QList>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>

// A transport with scripted answers. Each request takes the next step of the script
// (the last step repeats), or asks `respond` when that is set. Requests are recorded.
class FakeTransport : public HTTPTransport
{
public:
    struct Step
    {
        std::optional<HTTPTransport::Error> error; // thrown instead of answering
        qint64 status = 200;
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;
        int realDelayMs = 0; // real time spent before answering
        std::function<void()> before; // runs when the request arrives
    };

    static Step json(QByteArray body, qint64 status = 200)
    {
        Step s;
        s.status = status;
        s.headers = {{"Content-Type", "application/json"}};
        s.body = std::move(body);
        return s;
    }
    static Step status(qint64 code, QList<QPair<QByteArray, QByteArray>> headers = {})
    {
        Step s;
        s.status = code;
        s.headers = std::move(headers);
        return s;
    }
    static Step fail(HTTPTransport::Error::Code code, QString description)
    {
        Step s;
        s.error.emplace(code, std::move(description));
        return s;
    }

    QList<Step> steps;
    std::function<Step(const QUrl &)> respond;

    QList<QUrl> urls;
    QList<double> timeouts;

    QCoro::Task<Reply> get(QUrl url, double timeout, CancelTokenPtr) override
    {
        urls.append(url);
        timeouts.append(timeout);
        Step step;
        if (respond)
            step = respond(url);
        else if (!steps.isEmpty())
            step = steps.at(std::min<qsizetype>(urls.size() - 1, steps.size() - 1));
        return answer(std::move(step));
    }

private:
    static QCoro::Task<Reply> answer(Step step)
    {
        if (step.before)
            step.before();
        if (step.realDelayMs > 0)
            co_await QCoro::sleepFor(std::chrono::milliseconds(step.realDelayMs));
        if (step.error)
            throw *step.error;
        co_return Reply{step.body, Response{step.status, step.headers}};
    }
};
