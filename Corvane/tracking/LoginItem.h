#pragma once

#include <QString>

#include <optional>

// Opening the application at login through an XDG autostart entry of the user's own,
// $XDG_CONFIG_HOME/autostart/vantu.desktop (~/.config/autostart/ when the variable is unset).
// Unlike some desktops' login item services, autostart asks nobody for approval, so an entry
// is either there and in force or it is not.
namespace LoginItem {

enum class Status { notRegistered, enabled };

// Where the entry lives, from the environment at the time of the call.
QString entryPath();

// Enabled while the entry exists and does not hide itself ("Hidden=true" switches an entry off).
Status status();

// The Exec value that starts this executable: the path quoted and escaped for a desktop entry.
QString execValue(const QString &executablePath);

// The whole entry for the given executable.
QByteArray entryContents(const QString &executablePath);

}

// Writes (true) or removes (false) the autostart entry for the running executable. Absent when
// all went well, else the message for the user. Removing an entry that is not there succeeds.
std::optional<QString> setOpenAtLogin(bool open);
