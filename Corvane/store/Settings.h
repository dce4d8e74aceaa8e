#pragma once

#include "store/TrackingScope.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariant>

#include <memory>
#include <optional>

// The names of the settings the application keeps.
namespace SettingsKey {
inline const QString defaultCountry = QStringLiteral("defaultCountry");
inline const QString favoriteCountries = QStringLiteral("favoriteCountries");
inline const QString searchLimit = QStringLiteral("searchLimit");
inline const QString requestsPerMinute = QStringLiteral("requestsPerMinute");
inline const QString cacheMinutes = QStringLiteral("cacheMinutes");
inline const QString discoveryBudget = QStringLiteral("discoveryBudget");
inline const QString discoveryDepth = QStringLiteral("discoveryDepth");
inline const QString relatedApps = QStringLiteral("relatedApps");
inline const QString popularityServer = QStringLiteral("popularityServer");
inline const QString trackingEnabled = QStringLiteral("trackingEnabled");
inline const QString trackingHour = QStringLiteral("trackingHour");
inline const QString trackingScope = QStringLiteral("trackingScope");
inline const QString alertsEnabled = QStringLiteral("alertsEnabled");
inline const QString alertMoveThreshold = QStringLiteral("alertMoveThreshold");
inline const QString notificationsEnabled = QStringLiteral("notificationsEnabled");
inline const QString historyPanelWidth = QStringLiteral("historyPanelWidth");
}

class SettingsWriter;

// The user's settings over QSettings, with registered defaults that live in memory only and
// are never written. The stored values are read once, when the settings are made; changes
// apply from the next read and are saved to the file on a thread of their own, since saving
// it syncs the disk. Readers clamp numbers without writing them back. Values read from the settings file arrive as text: a number key that holds something
// that is not a number reads as 0 and is then clamped.
class Settings : public QObject
{
    Q_OBJECT
public:
    // The process's settings (organisation and application "Vantu"), with the defaults
    // registered. Created on first use.
    static Settings &shared();

    // Settings kept in the INI file at `path`, with the defaults registered.
    explicit Settings(const QString &iniPath, QObject *parent = nullptr);
    ~Settings() override;

    // The fifteen keys with their defaults, in registration order.
    static const QList<QPair<QString, QVariant>> &registeredDefaults();
    // Registers them (again); nothing is written.
    void registerDefaults();

    // The stored value, else the registered default, else an invalid value.
    QVariant value(const QString &key) const;
    bool contains(const QString &key) const;
    // As the settings screens change a key; observers learn of it through changed().
    void setValue(const QString &key, const QVariant &value);
    void remove(const QString &key);
    // Forgets every stored value; the registered defaults apply again.
    void clear();

    // Generic typed reads of value(). A number that is not whole is cut to its integer part.
    qint64 integer(const QString &key) const;
    bool boolean(const QString &key) const;
    // Absent when no text is stored and none is registered.
    std::optional<QString> string(const QString &key) const;

    // Storefront when nothing else names one; "us" when no text is there.
    QString defaultCountry() const;
    // The stored codes split at ",", keeping, in order and with repeats, only the exact codes
    // of the storefront table.
    QStringList favoriteCountries() const;
    qint64 searchLimit() const;        // 10 to 200
    qint64 requestsPerMinute() const;  // 1 to 60
    qint64 cacheMinutes() const;       // at least 1
    qint64 discoveryBudget() const;    // 5 to 500
    qint64 discoveryDepth() const;     // 0 to 4
    qint64 relatedApps() const;        // 0 to 25
    // The popularity service's base URL; absent when unset, not a URL or without a scheme.
    std::optional<QUrl> popularityServerURL() const;
    bool trackingEnabled() const;
    qint64 trackingHour() const;       // 0 to 23
    // Only a stored "ALL" means every app.
    TrackingScope trackingScope() const;
    bool alertsEnabled() const;
    qint64 alertMoveThreshold() const; // 1 to 50
    bool notificationsEnabled() const;
    // Width of the rank-history panel in pixels; 340 unless a positive finite width is stored.
    double historyPanelWidth() const;

    // The popularity service this build uses (the VANTU_POPULARITY_SERVER build setting);
    // empty when none was configured, so that nothing is sent until the user stores one.
    static QString defaultPopularityServer();

Q_SIGNALS:
    void changed(const QString &key);

private:
    Settings();
    void load(const QSettings &settings);
    qint64 clamped(const QString &key, qint64 lowest, qint64 highest) const;

    QHash<QString, QVariant> m_stored;
    QHash<QString, QVariant> m_defaults;
    std::unique_ptr<SettingsWriter> m_writer;
};

// Registers the defaults of the process's settings; the application calls it first thing.
void registerDefaultSettings();
