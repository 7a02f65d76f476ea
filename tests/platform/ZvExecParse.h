#pragma once

// Reads an Exec value back the way a desktop does (the reader's side of the Desktop Entry
// rules), so tests check what a launcher will really run rather than the written text.
#include <QString>
#include <QStringList>

namespace zvtest {

// The string-value escapes of the key file: \s \n \t \r \\.
inline QString UnescapeValue(const QString& value)
{
    QString out;
    for (int i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar next = value.at(++i);
        switch (next.unicode()) {
        case 's':
            out += QLatin1Char(' ');
            break;
        case 'n':
            out += QLatin1Char('\n');
            break;
        case 't':
            out += QLatin1Char('\t');
            break;
        case 'r':
            out += QLatin1Char('\r');
            break;
        default:
            out += next;
        }
    }
    return out;
}

// The arguments of an Exec value as it stands in the file; ok is false for a malformed one
// (an unclosed quote, a bad escape inside quotes, a lone %).
inline QStringList ParseExec(const QString& fileValue, bool* ok)
{
    *ok = true;
    const QString value = UnescapeValue(fileValue);
    QStringList args;
    QString current;
    bool inArg = false;
    for (int i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == QLatin1Char(' ')) {
            if (inArg) args << current;
            current.clear();
            inArg = false;
            continue;
        }
        if (c == QLatin1Char('"') && !inArg) {
            // A quoted argument: up to the closing quote, \" \` \$ \\ escaped.
            inArg = true;
            bool closed = false;
            for (++i; i < value.size(); ++i) {
                const QChar q = value.at(i);
                if (q == QLatin1Char('"')) {
                    closed = true;
                    break;
                }
                if (q == QLatin1Char('\\')) {
                    if (i + 1 == value.size() || !QStringLiteral("\"`$\\").contains(value.at(i + 1))) {
                        *ok = false;
                        return {};
                    }
                    current += value.at(++i);
                    continue;
                }
                if (q == QLatin1Char('%')) {
                    if (i + 1 == value.size() || value.at(i + 1) != QLatin1Char('%')) {
                        *ok = false;
                        return {};
                    }
                    ++i;
                }
                current += q;
            }
            if (!closed) {
                *ok = false;
                return {};
            }
            continue;
        }
        if (c == QLatin1Char('%')) {
            if (i + 1 == value.size() || value.at(i + 1) != QLatin1Char('%')) {
                *ok = false;
                return {};
            }
            ++i;
        }
        inArg = true;
        current += c;
    }
    if (inArg) args << current;
    return args;
}

// The value of a key in the [Desktop Entry] group of an entry's text (null when absent).
inline QString EntryValue(const QString& text, const QString& key)
{
    bool inMain = false;
    for (const QString& raw : text.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inMain = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (inMain && eq > 0 && line.left(eq).trimmed() == key) return line.mid(eq + 1).trimmed();
    }
    return QString();
}

} // namespace zvtest
