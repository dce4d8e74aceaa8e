#pragma once

#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

// One App Store storefront: its two-letter lower-case country code and English name.
struct Storefront
{
    QString code;
    QString name;

    QString id() const { return code; }

    // The code upper-cased, each scalar shifted into the regional indicator block.
    QString flag() const;

    // The 68 storefronts offered, in menu order.
    static const QList<Storefront> &all();

    // The table's entry for exactly this code (case-sensitive); otherwise a
    // storefront named after the code upper-cased.
    static Storefront named(const QString &code);
    static bool isSupported(const QString &code);

    static const QStringList &defaultFavorites();
    static const QSet<QString> &englishCodes();

    // The coding form: {"code": …, "name": …}.
    QJsonObject toJson() const;
    static std::optional<Storefront> fromJson(const QJsonValue &value);

    bool operator==(const Storefront &) const = default;
};

size_t qHash(const Storefront &storefront, size_t seed = 0) noexcept;
