#include "clients/AppStoreInput.h"

#include <QtTest>

using AppStoreInput::ParseError;
using Kind = ParseError::Kind;

class TestAppStoreInput : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void parse_data();
    void parse();
    void descriptions();
};

// "id country" when parsed ("-" for no country), else "!kind value".
void TestAppStoreInput::parse_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");

    QTest::newRow("bare ID with blanks") << "  123456789\n" << "123456789 -";
    QTest::newRow("ID prefix") << "ID123456789" << "123456789 -";
    QTest::newRow("Unicode blanks trimmed") << QString::fromUtf8("\u3000\u00a0123456789\u2029\u0085") << "123456789 -";
    QTest::newRow("store link") << "https://apps.apple.com/us/app/photo-lab/id123456789" << "123456789 us";
    QTest::newRow("no storefront") << "https://apps.apple.com/app/id123456789" << "123456789 -";
    QTest::newRow("tracking query") << "https://itunes.apple.com/us/app/photo-lab/id123456789?mt=8&uo=4" << "123456789 us";
    QTest::newRow("store-app scheme") << "itms-apps://itunes.apple.com/app/id123456789" << "123456789 -";
    QTest::newRow("stray percent in slug") << "https://apps.apple.com/us/app/100%-fun/id123456789" << "123456789 us";
    QTest::newRow("no scheme") << "apps.apple.com/gb/app/some-app/id123456789" << "123456789 gb";
    QTest::newRow("upper-case storefront") << "apps.apple.com/US/app/some-app/id123456789" << "123456789 us";
    QTest::newRow("first segment not letters") << "apps.apple.com/1a/app/some-app/id123456789" << "123456789 -";
    QTest::newRow("storefront not decoded") << "https://apps.apple.com/%D1%80%D1%84/app/x/id123456789" << "123456789 -";
    QTest::newRow("ID in query") << "https://apps.apple.com/us/app/x?id=123456789" << "123456789 us";
    QTest::newRow("first id item counts") << "https://apps.apple.com/app?x=1&id=123456789&id=987654321" << "123456789 -";
    QTest::newRow("path beats query") << "https://apps.apple.com/app/id123456789?id=987654321" << "123456789 -";
    QTest::newRow("last ID segment wins") << "https://apps.apple.com/id123456789/id987654321" << "987654321 -";
    QTest::newRow("escaped segment") << "https://apps.apple.com/app/%69d%31%32%33%34%35" << "12345 -";
    QTest::newRow("fourth host") << "http://appsto.re/us/app/id123456789" << "123456789 us";

    QTest::newRow("blanks") << QString::fromUtf8(" \t\u00a0\n") << "!empty";
    QTest::newRow("too short after prefix") << "id1234" << "!invalidId 1234";
    QTest::newRow("leading zero") << "0123456" << "!invalidId 0123456";
    QTest::newRow("thirteen digits") << "1234567890123" << "!invalidId 1234567890123";
    QTest::newRow("id alone") << "id" << "!notIdOrURL";
    QTest::newRow("dotted capital I is no prefix") << QString::fromUtf8("\u0130d123456789") << "!notIdOrURL";
    QTest::newRow("full-width digits") << QString::fromUtf8("\uff11\uff12\uff13\uff14\uff15") << "!notIdOrURL";
    QTest::newRow("word") << "hello" << "!notIdOrURL";
    QTest::newRow("dot after a no-break space") << QString::fromUtf8("photo\u00a0lab.com") << "!notIdOrURL";
    QTest::newRow("ftp") << "ftp://apps.apple.com/app/id123456789" << "!unsupportedScheme ftp";
    QTest::newRow("other host") << "https://Example.COM/app/id123456789" << "!notAppStoreHost example.com";
    QTest::newRow("subdomain") << "https://www.apps.apple.com/app/id123456789" << "!notAppStoreHost www.apps.apple.com";
    QTest::newRow("query ID is case-sensitive") << "https://apps.apple.com/us/app/x?ID=123456789" << "!noIdInURL";
    QTest::newRow("query id without value") << "https://apps.apple.com/us/app/x?id" << "!noIdInURL";
    QTest::newRow("segment with letter") << "https://apps.apple.com/us/app/id12a" << "!noIdInURL";
    QTest::newRow("short link without ID") << "https://apple.co/3xYz" << "!noIdInURL";
    QTest::newRow("segment ID with zero") << "https://apps.apple.com/us/app/id0123" << "!invalidId 0123";
}

void TestAppStoreInput::parse()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    static const char *const kinds[] = {"invalidId", "unsupportedScheme", "notAppStoreHost", "empty", "notIdOrURL", "noIdInURL"};
    const AppStoreInput::ParseResult result = AppStoreInput::parse(input);
    const auto *parsed = std::get_if<AppStoreInput::Parsed>(&result);
    const auto *error = std::get_if<ParseError>(&result);
    const QString actual = parsed ? parsed->appleAppId + u' ' + parsed->countryCode.value_or("-")
                                  : (QStringLiteral("!") + QLatin1String(kinds[int(error->kind)]) + u' ' + error->value).trimmed();
    QCOMPARE(actual, expected);
}

void TestAppStoreInput::descriptions()
{
    const auto text = [](Kind kind, const QString &value = {}) { return ParseError(kind, value).description(); };
    QCOMPARE(text(Kind::invalidId, "1234"), "\"1234\" is not a valid App Store app ID (expected 5-12 digits).");
    QCOMPARE(text(Kind::unsupportedScheme, "ftp"), "Unsupported URL scheme \"ftp\".");
    QCOMPARE(text(Kind::notAppStoreHost, "e.com"), "\"e.com\" is not an App Store host. Paste a link from apps.apple.com.");
    QCOMPARE(text(Kind::empty), "Enter an App Store URL or a numeric app ID.");
    QCOMPARE(text(Kind::notIdOrURL), "Input is neither a numeric app ID nor a valid URL. Example: https://apps.apple.com/us/app/example/id123456789");
    QCOMPARE(text(Kind::noIdInURL),
             "Could not find an app ID in that URL. App Store links end with /id followed by digits, e.g. /id123456789.");
}

QTEST_GUILESS_MAIN(TestAppStoreInput)
#include "tst_appstoreinput.moc"
