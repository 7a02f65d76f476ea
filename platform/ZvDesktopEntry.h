#pragma once

#include <QString>

namespace zv {

// The program's place in the desktop's application menu: the entry that `cmake --install`
// puts in $XDG_DATA_HOME/applications, and the icon name it installs in the hicolor theme.
namespace ZvDesktopEntry {

inline const QString kFileName = QStringLiteral("zorvik-jotboard.desktop");
// Also the desktop file name the program announces (QGuiApplication::setDesktopFileName
// takes it without ".desktop"), so the desktop matches the window with the entry.
inline const QString kDesktopId = QStringLiteral("zorvik-jotboard");
inline const QString kIconName = QStringLiteral("zorvik-jotboard");

// The X11 window class the window carries (Qt uses the application name): the entry's
// StartupWMClass, so a running window is grouped under its launcher.
QString WindowClass();

// The whole application entry for the installed executable.
QString ApplicationEntryText(const QString& executablePath);

} // namespace ZvDesktopEntry
} // namespace zv
