#pragma once

#include <QString>

namespace zv {

// The settings file with the private-profile rules: section and key names compared
// without regard to case, every write goes to disk at once (file and section created
// when missing), values read as at most 2047 characters. Reading a missing file gives
// the defaults. A refused write raises "Unable to write to <path>".
class TIniFile
{
public:
    explicit TIniFile(const QString& path) : m_path(path) {}

    QString path() const { return m_path; }

    QString ReadString(const QString& section, const QString& key, const QString& defaultValue) const;
    int ReadInteger(const QString& section, const QString& key, int defaultValue) const;
    bool ReadBool(const QString& section, const QString& key, bool defaultValue) const;
    bool ValueExists(const QString& section, const QString& key) const;

    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int value);
    void WriteBool(const QString& section, const QString& key, bool value);

    // Integer text by the profile rules: decimal with an optional "-", or hexadecimal
    // after "0x", "0X" or "$". Anything else is not an integer.
    static bool ParseInteger(const QString& text, int* value);

private:
    QString m_path;
};

} // namespace zv
