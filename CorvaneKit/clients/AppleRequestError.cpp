#include "AppleRequestError.h"

#include <array>
#include <utility>

namespace {

constexpr std::array kinds = {
    std::pair{AppleRequestError::Kind::timeout, u"timeout"},
    std::pair{AppleRequestError::Kind::network, u"network"},
    std::pair{AppleRequestError::Kind::rateLimited, u"rateLimited"},
    std::pair{AppleRequestError::Kind::http, u"http"},
    std::pair{AppleRequestError::Kind::malformed, u"malformed"},
    std::pair{AppleRequestError::Kind::cancelled, u"cancelled"},
};

} // namespace

AppleRequestError::AppleRequestError(Kind kind, std::optional<qint64> status, QString detail, qint64 attempts,
                                     std::optional<double> retryAfter)
    : kind(kind), status(status), detail(std::move(detail)), attempts(attempts), retryAfter(retryAfter)
{
}

QString AppleRequestError::description() const
{
    const QString suffix = attempts >= 2 ? QStringLiteral(" (after %1 attempts)").arg(attempts) : QString();
    const QString code = QString::number(status.value_or(0));
    switch (kind) {
    case Kind::timeout:
        return QStringLiteral("Apple did not respond in time") + suffix + u'.';
    case Kind::network:
        return QStringLiteral("Network error while contacting Apple") + suffix + QStringLiteral(": ") + detail;
    case Kind::rateLimited:
        return QStringLiteral("Apple rate-limited the request (HTTP ") + code + u')' + suffix
            + QStringLiteral(". Lower the request rate in Settings.");
    case Kind::http:
        return QStringLiteral("Apple returned HTTP ") + code + suffix + u'.';
    case Kind::malformed:
        return QStringLiteral("Apple returned an unexpected response") + suffix + QStringLiteral(": ") + detail;
    case Kind::cancelled:
        return QStringLiteral("Request was cancelled.");
    }
    return {};
}

bool AppleRequestError::operator==(const AppleRequestError &other) const
{
    return kind == other.kind && status == other.status && detail == other.detail && attempts == other.attempts
        && retryAfter == other.retryAfter;
}

QString AppleRequestError::rawValue(Kind kind)
{
    for (const auto &[k, raw] : kinds) {
        if (k == kind)
            return QString::fromUtf16(raw);
    }
    return {};
}

std::optional<AppleRequestError::Kind> AppleRequestError::kindFromRaw(QStringView raw)
{
    for (const auto &[k, name] : kinds) {
        if (raw == QStringView(name))
            return k;
    }
    return std::nullopt;
}
