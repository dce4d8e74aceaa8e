#pragma once

#include "store/Settings.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QVariant>

// Keeps a test's settings away from the user's and from other tests running at the same time:
// the home and configuration folders move into a temporary folder of the process's own.
// Create one (for example as a member of the test object) before anything reads settings,
// since the settings folder is fixed at the first use of settings in a process.
class TestSettings
{
public:
    TestSettings()
    {
        qputenv("HOME", m_home.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", (m_home.path() + QStringLiteral("/.config")).toUtf8());
        QStandardPaths::setTestModeEnabled(true);
        reset();
    }

    // Forgets every stored value; the registered defaults apply again.
    static void reset() { Settings::shared().clear(); }

    static void set(const QString &key, const QVariant &value) { Settings::shared().setValue(key, value); }

    QString home() const { return m_home.path(); }

private:
    QTemporaryDir m_home;
};
