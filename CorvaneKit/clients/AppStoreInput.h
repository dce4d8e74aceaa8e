#pragma once

#include "support/UserFacingError.h"

#include <QString>

#include <optional>
#include <variant>

// Turns what the user pastes (an app ID, "id" plus the ID, or an App Store link)
// into the app's ID and the link's storefront, or says what is wrong with it.
namespace AppStoreInput {

struct Parsed
{
    QString appleAppId;
    std::optional<QString> countryCode; // the link's first path segment, when it is two letters

    bool operator==(const Parsed &) const = default;
};

class ParseError : public UserFacingError
{
public:
    enum class Kind { invalidId, unsupportedScheme, notAppStoreHost, empty, notIdOrURL, noIdInURL };

    explicit ParseError(Kind kind, QString value = {}) : kind(kind), value(std::move(value)) {}

    // value: the offending ID, scheme or host (lower-cased); empty for the other kinds.
    Kind kind;
    QString value;

    QString description() const override;
    bool operator==(const ParseError &other) const { return kind == other.kind && value == other.value; }
};

using ParseResult = std::variant<Parsed, ParseError>;

ParseResult parse(const QString &text);

// 5 to 12 ASCII digits, the first not "0".
bool isValidAppleAppId(const QString &text);

} // namespace AppStoreInput
