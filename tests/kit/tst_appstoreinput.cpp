#include "clients/AppStoreInput.h"

#include <QtTest>

using AppStoreInput::ParseError;
using Kind = ParseError::Kind;

Q_DECLARE_METATYPE(ParseError::Kind)

class TestAppStoreInput : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void accepted_data();
    void accepted();
    void rejected_data();
    void rejected();
    void descriptions();
};

void TestAppStoreInput::accepted_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("country"); // "-" = none

    QTest::newRow("bare ID with blanks") << "  123456789\n" << "123456789" << "-";
    QTest::newRow("id prefix") << "id123456789" << "123456789" << "-";
    QTest::newRow("ID prefix") << "ID123456789" << "123456789" << "-";
    QTest::newRow("Unicode blanks trimmed") << QString::fromUtf8("\u3000\u00a0123456789\u2029\u0085") << "123456789" << "-";
    QTest::newRow("store link") << "https://apps.apple.com/us/app/photo-lab/id123456789" << "123456789" << "us";
    QTest::newRow("no storefront") << "https://apps.apple.com/app/id123456789" << "123456789" << "-";
    QTest::newRow("tracking query") << "https://itunes.apple.com/us/app/photo-lab/id123456789?mt=8&uo=4" << "123456789" << "us";
    QTest::newRow("language hint") << "https://apps.apple.com/gb/app/photo-lab/id123456789?l=fr" << "123456789" << "gb";
    QTest::newRow("store-app scheme") << "itms-apps://itunes.apple.com/app/id123456789" << "123456789" << "-";
    QTest::newRow("developer page") << "https://apps.apple.com/us/developer/acme-labs/id284882218" << "284882218" << "us";
    QTest::newRow("encoded slug") << "https://apps.apple.com/jp/app/%E5%86%99%E7%9C%9F/id123456789" << "123456789" << "jp";
    QTest::newRow("stray percent in slug") << "https://apps.apple.com/us/app/100%-fun/id123456789" << "123456789" << "us";
    QTest::newRow("no scheme") << "apps.apple.com/gb/app/some-app/id123456789" << "123456789" << "gb";
    QTest::newRow("upper-case storefront") << "apps.apple.com/US/app/some-app/id123456789" << "123456789" << "us";
    QTest::newRow("first segment not letters") << "apps.apple.com/1a/app/some-app/id123456789" << "123456789" << "-";
    QTest::newRow("storefront not decoded") << "https://apps.apple.com/%D1%80%D1%84/app/x/id123456789" << "123456789" << "-";
    QTest::newRow("ID in query") << "https://apps.apple.com/us/app/x?id=123456789" << "123456789" << "us";
    QTest::newRow("first id item counts") << "https://apps.apple.com/app?x=1&id=123456789&id=987654321" << "123456789" << "-";
    QTest::newRow("path beats query") << "https://apps.apple.com/app/id123456789?id=987654321" << "123456789" << "-";
    QTest::newRow("last ID segment wins") << "https://apps.apple.com/id123456789/id987654321" << "987654321" << "-";
    QTest::newRow("escaped segment") << "https://apps.apple.com/app/%69d%31%32%33%34%35" << "12345" << "-";
    QTest::newRow("fourth host") << "http://appsto.re/us/app/id123456789" << "123456789" << "us";
}

void TestAppStoreInput::accepted()
{
    QFETCH(QString, input);
    QFETCH(QString, id);
    QFETCH(QString, country);
    const AppStoreInput::ParseResult result = AppStoreInput::parse(input);
    const auto *parsed = std::get_if<AppStoreInput::Parsed>(&result);
    if (!parsed)
        QFAIL(qPrintable(std::get<ParseError>(result).description()));
    const std::optional<QString> expectedCountry = country == QLatin1String("-") ? std::nullopt : std::optional(country);
    QCOMPARE(*parsed, (AppStoreInput::Parsed{id, expectedCountry}));
}

void TestAppStoreInput::rejected_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("value");

    QTest::newRow("empty") << "" << Kind::empty << "";
    QTest::newRow("blanks") << QString::fromUtf8(" \t\u00a0\n") << Kind::empty << "";
    QTest::newRow("too short") << "1234" << Kind::invalidId << "1234";
    QTest::newRow("too short after prefix") << "id1234" << Kind::invalidId << "1234";
    QTest::newRow("leading zero") << "0123456" << Kind::invalidId << "0123456";
    QTest::newRow("thirteen digits") << "1234567890123" << Kind::invalidId << "1234567890123";
    QTest::newRow("id alone") << "id" << Kind::notIdOrURL << "";
    QTest::newRow("dotted capital I is no prefix") << QString::fromUtf8("\u0130d123456789") << Kind::notIdOrURL << "";
    QTest::newRow("full-width digits") << QString::fromUtf8("\uff11\uff12\uff13\uff14\uff15") << Kind::notIdOrURL << "";
    QTest::newRow("word") << "hello" << Kind::notIdOrURL << "";
    QTest::newRow("dot after a blank") << "photo lab.com" << Kind::notIdOrURL << "";
    QTest::newRow("dot after a no-break space") << QString::fromUtf8("photo\u00a0lab.com") << Kind::notIdOrURL << "";
    QTest::newRow("ftp") << "ftp://apps.apple.com/app/id123456789" << Kind::unsupportedScheme << "ftp";
    QTest::newRow("other host") << "https://Example.COM/app/id123456789" << Kind::notAppStoreHost << "example.com";
    QTest::newRow("subdomain") << "https://www.apps.apple.com/app/id123456789" << Kind::notAppStoreHost << "www.apps.apple.com";
    QTest::newRow("no host") << "https:///app/id123456789" << Kind::notAppStoreHost << "";
    QTest::newRow("query ID is case-sensitive") << "https://apps.apple.com/us/app/x?ID=123456789" << Kind::noIdInURL << "";
    QTest::newRow("query id without value") << "https://apps.apple.com/us/app/x?id" << Kind::noIdInURL << "";
    QTest::newRow("segment with letter") << "https://apps.apple.com/us/app/id12a" << Kind::noIdInURL << "";
    QTest::newRow("undecodable segment kept") << "https://apps.apple.com/app/id12%FF" << Kind::noIdInURL << "";
    QTest::newRow("short link without ID") << "https://apple.co/3xYz" << Kind::noIdInURL << "";
    QTest::newRow("segment ID with zero") << "https://apps.apple.com/us/app/id0123" << Kind::invalidId << "0123";
}

void TestAppStoreInput::rejected()
{
    QFETCH(QString, input);
    QFETCH(Kind, kind);
    QFETCH(QString, value);
    const AppStoreInput::ParseResult result = AppStoreInput::parse(input);
    const auto *error = std::get_if<ParseError>(&result);
    if (!error)
        QFAIL(qPrintable(QStringLiteral("parsed as ") + std::get<AppStoreInput::Parsed>(result).appleAppId));
    QCOMPARE(*error, ParseError(kind, value));
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
