#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

namespace zv {

// The version strings of an executable, read from its version block: the ELF section
// ".zvversion", found through the section headers (never by scanning the bytes, which
// would find the reader's own copy of any marker). The block is written at build time
// by cmake/ZvVersionBlock.cmake:
//   translation "LLLLCCCC" NUL, then name NUL value NUL pairs, to the end of the section
//   (an empty name also ends it).
class TZvVersionInfo : public QObject
{
    Q_OBJECT
public:
    static constexpr int kValueCount = 10;
    static inline const char* const kSectionName = ".zvversion";

    explicit TZvVersionInfo(QObject* parent = nullptr);

    // Empty means the program's own executable (reading sets it to that path).
    QString FilePath() const { return m_filePath; }
    virtual void setFilePath(const QString& path);

    // Index 0 "CompanyName" ... 9 "Comments"; out of range gives an empty text.
    QString GetValue(int index) const;
    bool HasInfo() const { return m_hasInfo; }
    QString Translation() const { return m_translation; }
    void ReadInfo();

    static QString ValueName(int index);
    // The section's bytes, or nothing when the file is no ELF file or lacks the section.
    static bool ReadSection(const QString& path, const QByteArray& sectionName, QByteArray* contents);
    static QString OwnExecutablePath();

private:
    QString m_filePath;
    QStringList m_values;
    bool m_hasInfo = false;
    QString m_translation;
};

} // namespace zv
