// Writes the application-menu entry for an installed executable (used by `cmake --install`,
// so the entry's Exec is quoted by the program's own Desktop Entry rules).
//   zvdesktopentry <installed executable> <entry file to write>
#include "platform/ZvDesktopEntry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: zvdesktopentry <installed executable> <entry file>\n");
        return 2;
    }
    const QString entry = args.at(2);
    if (!QDir().mkpath(QFileInfo(entry).absolutePath())) {
        std::fprintf(stderr, "zvdesktopentry: cannot make the folder of %s\n", qPrintable(entry));
        return 1;
    }
    QSaveFile file(entry);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(zv::ZvDesktopEntry::ApplicationEntryText(args.at(1)).toUtf8()) < 0 || !file.commit()) {
        std::fprintf(stderr, "zvdesktopentry: cannot write %s: %s\n", qPrintable(entry),
                     qPrintable(file.errorString()));
        return 1;
    }
    return 0;
}
