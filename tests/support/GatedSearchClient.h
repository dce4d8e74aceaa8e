#pragma once

#include "FakeSearchClient.h"
#include "support/CancelToken.h"

#include <QCoroSignal>

// A scripted client whose searches wait at a gate until the test opens it, so that a run can be
// caught in the middle of a search. A search whose token is cancelled while it waits fails as
// cancelled, as a real one does.
class GatedSearchClient : public FakeSearchClient
{
public:
    // Searches that wait at the gate now.
    int waiting = 0;

    void open() { m_gate->cancel(); }

    QCoro::Task<SearchResponse> search(QString term, QString country, int limit, CancelTokenPtr cancel) override
    {
        if (!m_gate->isCancelled() && !isCancelled(cancel)) {
            ++waiting;
            // Whichever comes first: the gate opens or the search is cancelled.
            const auto either = CancelToken::create();
            QObject::connect(m_gate.get(), &CancelToken::cancelled, either.get(), &CancelToken::cancel);
            if (cancel)
                QObject::connect(cancel.get(), &CancelToken::cancelled, either.get(), &CancelToken::cancel);
            co_await qCoro(either.get(), &CancelToken::cancelled);
            --waiting;
        }
        if (isCancelled(cancel))
            throw AppleRequestError(AppleRequestError::Kind::cancelled, std::nullopt, QStringLiteral("cancelled"));
        co_return co_await FakeSearchClient::search(term, country, limit, cancel);
    }

private:
    CancelTokenPtr m_gate = CancelToken::create();
};
