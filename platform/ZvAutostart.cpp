#include "platform/ZvAutostart.h"

#include "platform/ZvDesktopEntry.h"
#include "platform/ZvSingleInstance.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

namespace zv::ZvAutostart {

namespace {
QString& configHomeOverride()
{
    static QString folder;
    return folder;
}

QString readEntry(const QString& path, bool* exists)
{
    QFile file(path);
    *exists = file.exists();
    if (!*exists || !file.open(QIODevice::ReadOnly)) return QString();
    return QString::fromUtf8(file.readAll());
}

// An entry of ours that is there and not switched off.
bool enabledEntryExists()
{
    bool exists = false;
    const QString text = readEntry(EntryPath(), &exists);
    return exists && !EntryDisabled(text);
}
} // namespace

void setConfigHomeOverride(const QString& folder)
{
    configHomeOverride() = folder;
}

QString AutostartFolder()
{
    QString home = configHomeOverride();
    if (home.isEmpty()) {
        // The base-directory rules ignore a relative XDG_CONFIG_HOME.
        const QString env = qEnvironmentVariable("XDG_CONFIG_HOME");
        home = QDir::isAbsolutePath(env) ? env : QDir::homePath() + QStringLiteral("/.config");
    }
    return QDir::cleanPath(home) + QStringLiteral("/autostart");
}

QString EntryPath()
{
    return AutostartFolder() + QLatin1Char('/') + kEntryFileName;
}

bool IsAutoStart()
{
    return enabledEntryExists();
}

bool SetAutoStart(bool on, const QString& executablePath, const QString& dataFolder)
{
    const QString path = EntryPath();
    if (!on) {
        // A disabled entry already says "off"; removing it could unmask a system entry.
        if (!enabledEntryExists()) return true;
        return QFile::remove(path);
    }
    if (enabledEntryExists()) return true; // whatever program it names, the user's entry stays as it is
    if (!QDir().mkpath(AutostartFolder())) return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(EntryText(executablePath, dataFolder).toUtf8());
    return file.commit();
}

QString ExecArgument(const QString& argument)
{
    QString quoted;
    quoted.reserve(argument.size() + 8);
    quoted += QLatin1Char('"');
    for (const QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        if (c == QLatin1Char('%')) quoted += QLatin1Char('%'); // a literal percent, not a field code
        quoted += c;
    }
    quoted += QLatin1Char('"');

    // The value escapes of the key file come on top of the quoting.
    QString value;
    value.reserve(quoted.size() + 8);
    for (const QChar c : quoted) {
        switch (c.unicode()) {
        case '\\':
            value += QStringLiteral("\\\\");
            break;
        case '\n':
            value += QStringLiteral("\\n");
            break;
        case '\t':
            value += QStringLiteral("\\t");
            break;
        case '\r':
            value += QStringLiteral("\\r");
            break;
        default:
            value += c;
        }
    }
    return value;
}

QString ExecLine(const QString& executablePath, const QString& dataFolder)
{
    const QString program = ExecArgument(executablePath);
    if (dataFolder.isEmpty()) return program;
    return QStringLiteral("env ") + ExecArgument(QStringLiteral("ZVJ_HOME=") + dataFolder) +
           QLatin1Char(' ') + program;
}

QString DataFolderToKeep()
{
    return qEnvironmentVariableIsEmpty("ZVJ_HOME") ? QString() : ProgramFolder();
}

QString EntryText(const QString& executablePath, const QString& dataFolder)
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Zorvik Jotboard\n"
                          "Comment=To-do list and memos in the notification area\n"
                          "Exec=%1\n"
                          "Icon=%2\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(ExecLine(executablePath, dataFolder), ZvDesktopEntry::kIconName);
}

bool EntryDisabled(const QString& entryText)
{
    bool inMainGroup = false;
    const QStringList lines = entryText.split(QLatin1Char('\n'));
    for (QString line : lines) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
        if (line.startsWith(QLatin1Char('['))) {
            inMainGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inMainGroup) continue;
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq < 0) continue;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        if (key == QLatin1String("Hidden") && value.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return true;
        if (key == QLatin1String("X-GNOME-Autostart-enabled") &&
            value.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace zv::ZvAutostart
