#pragma once

#include <QString>

namespace zv {

// "Start with the desktop session": an XDG autostart entry of our own,
//   $XDG_CONFIG_HOME/autostart/Zorvik Jotboard.desktop   (default ~/.config/autostart)
// Its presence is the setting. An entry that switches itself off (Hidden=true or
// X-GNOME-Autostart-enabled=false) counts as absent, and is left in place: a hidden user
// entry may be what masks a system-wide one of the same name.
namespace ZvAutostart {

inline const QString kEntryFileName = QStringLiteral("Zorvik Jotboard.desktop");

// Tests point the configuration folder elsewhere; empty goes back to the environment.
void setConfigHomeOverride(const QString& folder);

// $XDG_CONFIG_HOME when set and absolute, else ~/.config; then "/autostart".
QString AutostartFolder();
QString EntryPath();

// An enabled entry of ours exists.
bool IsAutoStart();

// on: write the entry for that executable (and data folder, see ExecLine) unless an enabled
// one exists (whatever program it names); the folder is made when missing. off: delete an
// enabled entry. Returns false when the file system refused; callers stay silent about it.
bool SetAutoStart(bool on, const QString& executablePath, const QString& dataFolder = QString());

// The Exec value that starts the executable. With a data folder (a program folder chosen by
// ZVJ_HOME) the entry starts it through env, so the session opens the same data, and a
// running instance on that folder is found:  env "ZVJ_HOME=/data dir/" "/path/jotboard"
QString ExecLine(const QString& executablePath, const QString& dataFolder = QString());

// The data folder a new entry must carry for this run: the program folder when ZVJ_HOME
// chose it (made absolute: the session starts the entry from another folder), else empty.
QString DataFolderToKeep();

// The whole entry written for an executable.
QString EntryText(const QString& executablePath, const QString& dataFolder = QString());

// One Exec argument as the Desktop Entry rules want it, ready to stand in the file:
// double-quoted with ", `, $ and \ escaped, % doubled, then the string-value escapes.
QString ExecArgument(const QString& argument);

// Whether the text of an entry file switches the entry off.
bool EntryDisabled(const QString& entryText);

} // namespace ZvAutostart
} // namespace zv
