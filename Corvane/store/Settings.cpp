#include "store/Settings.h"

#include "clients/Storefront.h"
#include "store/SettingsWriter.h"

#include <algorithm>
#include <cmath>
#include <limits>

// Fixed when the application is built. Each user's tracked keywords go to this service, so a
// build that names none sends them nowhere until the user stores an address.
#ifndef VANTU_POPULARITY_SERVER
#define VANTU_POPULARITY_SERVER ""
#endif

namespace {

// A stored value as text; a text with commas in a settings file reads back as a list.
std::optional<QString> asText(const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::QStringList:
        return value.toStringList().join(QLatin1Char(','));
    case QMetaType::QByteArray:
        return QString::fromUtf8(value.toByteArray());
    default:
        return std::nullopt;
    }
}

// Whole part of a number, saturating; nothing when it is not a number.
std::optional<qint64> wholeNumber(double number)
{
    if (!std::isfinite(number))
        return std::nullopt;
    constexpr double highest = 9.2e18;
    return static_cast<qint64>(std::clamp(std::trunc(number), -highest, highest));
}

std::optional<qint64> asInteger(const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::Bool:
        return value.toBool() ? 1 : 0;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return value.toLongLong();
    case QMetaType::Double:
    case QMetaType::Float:
        return wholeNumber(value.toDouble());
    default:
        break;
    }
    const auto text = asText(value);
    if (!text)
        return std::nullopt;
    bool ok = false;
    const auto integer = text->trimmed().toLongLong(&ok);
    if (ok)
        return integer;
    const auto number = text->trimmed().toDouble(&ok);
    return ok ? wholeNumber(number) : std::nullopt;
}

}

Settings &Settings::shared()
{
    static Settings instance;
    return instance;
}

Settings::Settings()
    : m_writer(std::make_unique<SettingsWriter>(
        [] { return std::make_unique<QSettings>(QStringLiteral("Vantu"), QStringLiteral("Vantu")); }))
{
    load(QSettings(QStringLiteral("Vantu"), QStringLiteral("Vantu")));
    registerDefaults();
}

Settings::Settings(const QString &iniPath, QObject *parent)
    : QObject(parent),
      m_writer(std::make_unique<SettingsWriter>([iniPath] { return std::make_unique<QSettings>(iniPath, QSettings::IniFormat); }))
{
    load(QSettings(iniPath, QSettings::IniFormat));
    registerDefaults();
}

void Settings::load(const QSettings &settings)
{
    for (const auto &key : settings.allKeys())
        m_stored.insert(key, settings.value(key));
}

Settings::~Settings() = default;

QString Settings::defaultPopularityServer()
{
    return QStringLiteral(VANTU_POPULARITY_SERVER);
}

const QList<QPair<QString, QVariant>> &Settings::registeredDefaults()
{
    static const QList<QPair<QString, QVariant>> defaults = {
        {SettingsKey::defaultCountry, QStringLiteral("us")},
        {SettingsKey::favoriteCountries, Storefront::defaultFavorites().join(QLatin1Char(','))},
        {SettingsKey::searchLimit, 200},
        {SettingsKey::requestsPerMinute, 20},
        {SettingsKey::cacheMinutes, 60},
        {SettingsKey::discoveryBudget, 300},
        {SettingsKey::discoveryDepth, 3},
        {SettingsKey::relatedApps, 8},
        {SettingsKey::popularityServer, defaultPopularityServer()},
        {SettingsKey::trackingEnabled, true},
        {SettingsKey::trackingHour, 9},
        {SettingsKey::trackingScope, TrackingScopes::rawValue(TrackingScope::own)},
        {SettingsKey::alertsEnabled, true},
        {SettingsKey::alertMoveThreshold, 5},
        {SettingsKey::notificationsEnabled, false},
    };
    return defaults;
}

void Settings::registerDefaults()
{
    for (const auto &[key, value] : registeredDefaults())
        m_defaults.insert(key, value);
}

QVariant Settings::value(const QString &key) const
{
    const auto stored = m_stored.value(key);
    return stored.isValid() ? stored : m_defaults.value(key);
}

bool Settings::contains(const QString &key) const
{
    return m_stored.contains(key);
}

void Settings::setValue(const QString &key, const QVariant &value)
{
    m_stored.insert(key, value);
    m_writer->set(key, value);
    Q_EMIT changed(key);
}

void Settings::remove(const QString &key)
{
    m_stored.remove(key);
    m_writer->remove(key);
    Q_EMIT changed(key);
}

void Settings::clear()
{
    const auto keys = m_stored.keys();
    m_stored.clear();
    m_writer->clear();
    for (const auto &key : keys)
        Q_EMIT changed(key);
}

qint64 Settings::integer(const QString &key) const
{
    return asInteger(value(key)).value_or(0);
}

bool Settings::boolean(const QString &key) const
{
    const auto stored = value(key);
    if (stored.metaType().id() == QMetaType::Bool)
        return stored.toBool();
    if (const auto text = asText(stored)) {
        const auto word = text->trimmed().toLower();
        if (word == u"true" || word == u"yes")
            return true;
    }
    return asInteger(stored).value_or(0) != 0;
}

std::optional<QString> Settings::string(const QString &key) const
{
    return asText(value(key));
}

qint64 Settings::clamped(const QString &key, qint64 lowest, qint64 highest) const
{
    return std::clamp(integer(key), lowest, highest);
}

QString Settings::defaultCountry() const
{
    return string(SettingsKey::defaultCountry).value_or(QStringLiteral("us"));
}

QStringList Settings::favoriteCountries() const
{
    QStringList codes;
    const auto pieces = string(SettingsKey::favoriteCountries).value_or(QString()).split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const auto &piece : pieces) {
        if (Storefront::isSupported(piece))
            codes.append(piece);
    }
    return codes;
}

qint64 Settings::searchLimit() const
{
    return clamped(SettingsKey::searchLimit, 10, 200);
}

qint64 Settings::requestsPerMinute() const
{
    return clamped(SettingsKey::requestsPerMinute, 1, 60);
}

qint64 Settings::cacheMinutes() const
{
    return clamped(SettingsKey::cacheMinutes, 1, std::numeric_limits<qint64>::max());
}

qint64 Settings::discoveryBudget() const
{
    return clamped(SettingsKey::discoveryBudget, 5, 500);
}

qint64 Settings::discoveryDepth() const
{
    return clamped(SettingsKey::discoveryDepth, 0, 4);
}

qint64 Settings::relatedApps() const
{
    return clamped(SettingsKey::relatedApps, 0, 25);
}

std::optional<QUrl> Settings::popularityServerURL() const
{
    const auto stored = string(SettingsKey::popularityServer);
    if (!stored)
        return std::nullopt;
    // Only spaces and tabs are trimmed; a line break makes the text no URL.
    qsizetype first = 0;
    qsizetype last = stored->size();
    const auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (first < last && blank(stored->at(first)))
        ++first;
    while (last > first && blank(stored->at(last - 1)))
        --last;
    const QUrl url(stored->mid(first, last - first), QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty())
        return std::nullopt;
    return url;
}

bool Settings::trackingEnabled() const
{
    return boolean(SettingsKey::trackingEnabled);
}

qint64 Settings::trackingHour() const
{
    return clamped(SettingsKey::trackingHour, 0, 23);
}

TrackingScope Settings::trackingScope() const
{
    const auto stored = string(SettingsKey::trackingScope);
    return stored && TrackingScopes::fromRaw(*stored) == TrackingScope::all ? TrackingScope::all : TrackingScope::own;
}

bool Settings::alertsEnabled() const
{
    return boolean(SettingsKey::alertsEnabled);
}

qint64 Settings::alertMoveThreshold() const
{
    return clamped(SettingsKey::alertMoveThreshold, 1, 50);
}

bool Settings::notificationsEnabled() const
{
    return boolean(SettingsKey::notificationsEnabled);
}

double Settings::historyPanelWidth() const
{
    bool ok = false;
    const double width = m_stored.value(SettingsKey::historyPanelWidth).toDouble(&ok);
    // A width that cannot be a panel's would hide the panel or break the layout.
    return ok && std::isfinite(width) && width > 0 ? width : 340.0;
}

void registerDefaultSettings()
{
    Settings::shared().registerDefaults();
}
