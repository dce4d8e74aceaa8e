#include "Storefront.h"

#include "support/JsonRead.h"
#include "support/Unicode.h"

#include <QHashFunctions>

QString Storefront::flag() const
{
    constexpr char32_t shift = 0x1F1A5;
    std::u32string shifted;
    for (const char32_t c : Unicode::uppercased(code).toStdU32String()) {
        if (c + shift <= 0x10FFFF)
            shifted.push_back(c + shift);
    }
    return QString::fromStdU32String(shifted);
}

const QList<Storefront> &Storefront::all()
{
    static const QList<Storefront> table = [] {
        static const char *const rows[][2] = {
            {"us", "United States"}, {"ca", "Canada"}, {"mx", "Mexico"}, {"br", "Brazil"}, {"ar", "Argentina"},
            {"cl", "Chile"}, {"co", "Colombia"}, {"pe", "Peru"}, {"ec", "Ecuador"}, {"gb", "United Kingdom"},
            {"ie", "Ireland"}, {"de", "Germany"}, {"at", "Austria"}, {"ch", "Switzerland"}, {"fr", "France"},
            {"be", "Belgium"}, {"nl", "Netherlands"}, {"lu", "Luxembourg"}, {"it", "Italy"}, {"es", "Spain"},
            {"pt", "Portugal"}, {"se", "Sweden"}, {"no", "Norway"}, {"dk", "Denmark"}, {"fi", "Finland"},
            {"is", "Iceland"}, {"pl", "Poland"}, {"cz", "Czechia"}, {"sk", "Slovakia"}, {"hu", "Hungary"},
            {"ro", "Romania"}, {"bg", "Bulgaria"}, {"gr", "Greece"}, {"hr", "Croatia"}, {"si", "Slovenia"},
            {"ee", "Estonia"}, {"lv", "Latvia"}, {"lt", "Lithuania"}, {"ua", "Ukraine"}, {"tr", "T\u00fcrkiye"},
            {"il", "Israel"}, {"ae", "United Arab Emirates"}, {"sa", "Saudi Arabia"}, {"qa", "Qatar"}, {"kw", "Kuwait"},
            {"bh", "Bahrain"}, {"om", "Oman"}, {"eg", "Egypt"}, {"ma", "Morocco"}, {"za", "South Africa"},
            {"ng", "Nigeria"}, {"ke", "Kenya"}, {"jp", "Japan"}, {"kr", "South Korea"}, {"cn", "China"},
            {"tw", "Taiwan"}, {"hk", "Hong Kong"}, {"sg", "Singapore"}, {"my", "Malaysia"}, {"th", "Thailand"},
            {"vn", "Vietnam"}, {"id", "Indonesia"}, {"ph", "Philippines"}, {"in", "India"}, {"pk", "Pakistan"},
            {"kz", "Kazakhstan"}, {"au", "Australia"}, {"nz", "New Zealand"},
        };
        QList<Storefront> list;
        for (const auto &row : rows)
            list.append(Storefront{QString::fromLatin1(row[0]), QString::fromUtf8(row[1])});
        return list;
    }();
    return table;
}

Storefront Storefront::named(const QString &code)
{
    for (const Storefront &storefront : all()) {
        if (storefront.code == code)
            return storefront;
    }
    return Storefront{code, Unicode::uppercased(code)};
}

bool Storefront::isSupported(const QString &code)
{
    for (const Storefront &storefront : all()) {
        if (storefront.code == code)
            return true;
    }
    return false;
}

const QStringList &Storefront::defaultFavorites()
{
    static const QStringList favorites{QStringLiteral("us"), QStringLiteral("gb"), QStringLiteral("de"),
                                       QStringLiteral("tr"), QStringLiteral("br")};
    return favorites;
}

const QSet<QString> &Storefront::englishCodes()
{
    static const QSet<QString> codes{QStringLiteral("us"), QStringLiteral("gb"), QStringLiteral("ca"),
                                     QStringLiteral("au"), QStringLiteral("nz"), QStringLiteral("ie")};
    return codes;
}

QJsonObject Storefront::toJson() const
{
    return QJsonObject{{QStringLiteral("code"), code}, {QStringLiteral("name"), name}};
}

std::optional<Storefront> Storefront::fromJson(const QJsonValue &value)
{
    const QJsonObject object = value.toObject();
    const std::optional<QString> code = JsonRead::string(object.value(QLatin1String("code")));
    const std::optional<QString> name = JsonRead::string(object.value(QLatin1String("name")));
    if (!value.isObject() || !code || !name)
        return std::nullopt;
    return Storefront{*code, *name};
}

size_t qHash(const Storefront &storefront, size_t seed) noexcept
{
    return qHashMulti(seed, storefront.code, storefront.name);
}
