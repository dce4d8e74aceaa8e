#pragma once

#include "support/UserFacingError.h"

#include <QString>
#include <QStringView>

#include <optional>

// The one error that every request to Apple's web service ends in.
struct AppleRequestError : UserFacingError
{
    enum class Kind { timeout, network, rateLimited, http, malformed, cancelled };

    Kind kind;
    std::optional<qint64> status;   // present when a response came back
    QString detail;                 // short technical detail
    qint64 attempts = 1;            // attempts made before giving up
    std::optional<double> retryAfter; // seconds the server asked us to wait

    AppleRequestError(Kind kind, std::optional<qint64> status, QString detail, qint64 attempts = 1,
                      std::optional<double> retryAfter = std::nullopt);

    QString description() const override;

    bool operator==(const AppleRequestError &other) const;

    static QString rawValue(Kind kind);
    static std::optional<Kind> kindFromRaw(QStringView raw);
};
