#pragma once

#include <QObject>

#include <memory>

// A cancellation flag shared by a long operation and whoever may stop it.
// Work checks isCancelled() at its own safe points; sleeps wake on cancelled().
class CancelToken : public QObject
{
    Q_OBJECT
public:
    static std::shared_ptr<CancelToken> create();

    bool isCancelled() const { return m_cancelled; }

    // Idempotent: the signal fires on the first call only.
    void cancel();

Q_SIGNALS:
    void cancelled();

private:
    bool m_cancelled = false;
};

using CancelTokenPtr = std::shared_ptr<CancelToken>;

inline bool isCancelled(const CancelTokenPtr &token)
{
    return token && token->isCancelled();
}
