#include "store/ZvIniFile.h"

#include "store/ZvError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>
#include <fcntl.h>

namespace zv {

namespace {

constexpr int kMaxValue = 2047;

QStringList readLines(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QString text = QString::fromUtf8(f.readAll());
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& l : lines)
        if (l.endsWith(QLatin1Char('\r'))) l.chop(1);
    if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
    return lines;
}

bool isSection(const QString& line, QString* name)
{
    const QString t = line.trimmed();
    if (t.size() < 2 || !t.startsWith(QLatin1Char('['))) return false;
    const qsizetype close = t.indexOf(QLatin1Char(']'));
    if (close < 0) return false;
    *name = t.mid(1, close - 1).trimmed();
    return true;
}

bool isKey(const QString& line, QString* key, QString* value)
{
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq <= 0) return false;
    const QString k = line.left(eq).trimmed();
    if (k.isEmpty() || k.startsWith(QLatin1Char(';'))) return false;
    *key = k;
    *value = line.mid(eq + 1).trimmed();
    return true;
}

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Finds the key; returns false when the section or key is missing.
bool lookup(const QStringList& lines, const QString& section, const QString& key, QString* value)
{
    bool inSection = false;
    for (const QString& line : lines) {
        QString name, k, v;
        if (isSection(line, &name)) {
            inSection = sameName(name, section);
            continue;
        }
        if (inSection && isKey(line, &k, &v) && sameName(k, key)) {
            // Surrounding quotes are not part of the value, as with the profile functions.
            if (v.size() >= 2 && (v.front() == QLatin1Char('"') || v.front() == QLatin1Char('\'')) &&
                v.back() == v.front())
                v = v.mid(1, v.size() - 2);
            *value = v.left(kMaxValue);
            return true;
        }
    }
    return false;
}

[[noreturn]] void writeFailure(const QString& path)
{
    throw EZvError(QCoreApplication::translate("TIniFile", "Unable to write to %1")
                       .arg(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath())));
}

} // namespace

bool TIniFile::ParseInteger(const QString& raw, int* value)
{
    const QString text = raw.trimmed();
    bool ok = false;
    qlonglong v = 0;
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        v = text.mid(2).toLongLong(&ok, 16);
    else if (text.startsWith(QLatin1Char('$')))
        v = text.mid(1).toLongLong(&ok, 16);
    else if (!text.isEmpty() && !text.contains(QLatin1Char('+')))
        v = text.toLongLong(&ok, 10);
    if (!ok) return false;
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) || text.startsWith(QLatin1Char('$'))) {
        // Hexadecimal texts name the 32 bits, as colour numbers do.
        if (v > 0xFFFFFFFFLL || text.contains(QLatin1Char('-'))) return false;
        *value = int(quint32(v));
        return true;
    }
    if (v < INT_MIN || v > INT_MAX) return false;
    *value = int(v);
    return true;
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& defaultValue) const
{
    QString value;
    return lookup(readLines(m_path), section, key, &value) ? value : defaultValue;
}

bool TIniFile::ValueExists(const QString& section, const QString& key) const
{
    QString value;
    return lookup(readLines(m_path), section, key, &value);
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int defaultValue) const
{
    QString text;
    int value = 0;
    if (lookup(readLines(m_path), section, key, &text) && ParseInteger(text, &value)) return value;
    return defaultValue;
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool defaultValue) const
{
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    const QFileInfo info(m_path);
    const bool exists = info.exists();
    // A file or folder marked read-only is treated so even where the system would let us
    // write it (the administrator account): the file is never silently replaced, and the
    // folder gets no file of ours.
    static constexpr QFile::Permissions anyWrite = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    const auto writable = [](const QFileInfo& i) {
        return i.isWritable() && i.permissions().testAnyFlags(anyWrite);
    };
    if (exists && !writable(info)) writeFailure(m_path);

    QStringList lines = readLines(m_path);
    QString flat = value;
    flat.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QString newLine = key + QLatin1Char('=') + flat;

    qsizetype sectionAt = -1;
    qsizetype lastInSection = -1;
    qsizetype keyAt = -1;
    bool inSection = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString name, k, v;
        if (isSection(lines[i], &name)) {
            if (inSection) break;
            inSection = sameName(name, section);
            if (inSection) {
                sectionAt = i;
                lastInSection = i;
            }
            continue;
        }
        if (inSection) {
            if (!lines[i].trimmed().isEmpty()) lastInSection = i;
            if (isKey(lines[i], &k, &v) && sameName(k, key)) {
                keyAt = i;
                break;
            }
        }
    }
    if (keyAt >= 0)
        lines[keyAt] = newLine;
    else if (sectionAt >= 0)
        lines.insert(lastInSection + 1, newLine);
    else {
        if (!lines.isEmpty() && !lines.back().trimmed().isEmpty()) lines << QString();
        lines << QLatin1Char('[') + section + QLatin1Char(']') << newLine;
    }

    const QByteArray bytes = (lines.join(QLatin1String("\r\n")) + QLatin1String("\r\n")).toUtf8();
    const QFileInfo dirInfo(info.absolutePath());
    if (dirInfo.isDir() && writable(dirInfo)) {
        // Replace through a temporary file: a crash never leaves half a settings file. The
        // flush is checked on its own: commit() does not see a failed flush of the buffer, and
        // would put a cut temporary file (a full disk) in place of the settings.
        QSaveFile out(m_path);
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.flush() ||
            !out.commit())
            writeFailure(m_path);
        return;
    }
    if (!exists) writeFailure(m_path);
    // In place, the room for the new text taken first: a full disk then refuses the write
    // before a byte changes, instead of leaving the settings cut. The flush as above.
    QFile out(m_path);
    if (!out.open(QIODevice::ReadWrite) || ::posix_fallocate(out.handle(), 0, bytes.size()) != 0 ||
        out.write(bytes) != bytes.size() || !out.flush() || !out.resize(bytes.size()))
        writeFailure(m_path);
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int value)
{
    WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString& section, const QString& key, bool value)
{
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

} // namespace zv
