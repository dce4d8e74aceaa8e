#include "CancelToken.h"

std::shared_ptr<CancelToken> CancelToken::create()
{
    return std::make_shared<CancelToken>();
}

void CancelToken::cancel()
{
    if (m_cancelled)
        return;
    m_cancelled = true;
    Q_EMIT cancelled();
}
