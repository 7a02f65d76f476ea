#include "platform/ZvDesktopEntry.h"

#include "platform/ZvAutostart.h"
#include "store/pU_Funcs.h"

namespace zv::ZvDesktopEntry {

QString WindowClass()
{
    return kAppTitle;
}

QString ApplicationEntryText(const QString& executablePath)
{
    // StartupNotify=false: a second start, and a start into the tray, end without showing a
    // window, which would leave a launcher's busy cursor spinning until its time-out.
    const QString exec = ZvAutostart::ExecArgument(executablePath);
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Version=1.4\n"
                          "Name=Zorvik Jotboard\n"
                          "GenericName=Organiser\n"
                          "Comment=To-do list and memos in the notification area\n"
                          "Keywords=to-do;todo;tasks;memos;notes;reminders;\n"
                          "Exec=%1\n"
                          "Icon=%2\n"
                          "Terminal=false\n"
                          "Categories=Office;ProjectManagement;\n"
                          "StartupNotify=false\n"
                          "StartupWMClass=%3\n"
                          "X-GNOME-UsesNotifications=true\n"
                          // The application menu and the dock offer these; a desktop's
                          // keyboard settings can bind them to a shortcut.
                          "Actions=new-task;new-memo;\n"
                          "\n"
                          "[Desktop Action new-task]\n"
                          "Name=New Task\n"
                          "Exec=%1 --new-task\n"
                          "\n"
                          "[Desktop Action new-memo]\n"
                          "Name=New Memo\n"
                          "Exec=%1 --new-memo\n")
        .arg(exec, kIconName, WindowClass());
}

} // namespace zv::ZvDesktopEntry
