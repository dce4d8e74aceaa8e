#pragma once

#include "FakeSearchClient.h"
#include "support/CancelToken.h"

#include <QCoroSignal>

// A scripted client whose searches wait at a gate until the test opens it, so that a run can be
// caught in the middle of a search.
class GatedSearchClient : public FakeSearchClient
{
public:
    // Searches that wait at the gate now.
    int waiting = 0;

    void open() { m_gate->cancel(); }

    QCoro::Task<SearchResponse> search(QString term, QString country, int limit, CancelTokenPtr cancel) override
    {
        if (!m_gate->isCancelled()) {
            ++waiting;
            co_await qCoro(m_gate.get(), &CancelToken::cancelled);
            --waiting;
        }
        co_return co_await FakeSearchClient::search(term, country, limit, cancel);
    }

private:
    CancelTokenPtr m_gate = CancelToken::create();
};
