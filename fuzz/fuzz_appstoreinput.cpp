// What a user pastes as an app. Whatever the text, parse() either names an app ID it accepts or
// gives a message; the ID and storefront it finds read the same when written back as an ID, as
// "id" plus the ID and as a store link.

#include "clients/AppStoreInput.h"

#include "FuzzSupport.h"

#include <algorithm>

using namespace AppStoreInput;

namespace {

bool isStorefrontCode(const QString &code)
{
    return code.size() == 2 && std::all_of(code.cbegin(), code.cend(), [](QChar c) { return c >= u'a' && c <= u'z'; });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString input = Fuzz::text(data, size);
    const ParseResult result = parse(input);
    const QString detail = Fuzz::codePoints(input);
    if (const auto *error = std::get_if<ParseError>(&result)) {
        FUZZ_CHECK(!error->description().isEmpty(), detail);
        return 0;
    }

    const Parsed parsed = std::get<Parsed>(result);
    FUZZ_CHECK(isValidAppleAppId(parsed.appleAppId), detail);
    FUZZ_CHECK(!parsed.countryCode || isStorefrontCode(*parsed.countryCode), detail);

    const Parsed bare{parsed.appleAppId, std::nullopt};
    FUZZ_CHECK(parse(parsed.appleAppId) == ParseResult(bare), detail);
    FUZZ_CHECK(parse(QStringLiteral("id") + parsed.appleAppId) == ParseResult(bare), detail);
    const QString storefront = parsed.countryCode ? *parsed.countryCode + u'/' : QString();
    const QString link = QStringLiteral("https://apps.apple.com/") + storefront + QStringLiteral("app/name/id") + parsed.appleAppId;
    FUZZ_CHECK(parse(link) == result, detail + QStringLiteral(" → ") + link);
    return 0;
}
