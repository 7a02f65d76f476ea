#include "components/ZvVersionInfo.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QtEndian>

#include <elf.h>
#include <type_traits>

namespace zv {

namespace {

const char* const kNames[TZvVersionInfo::kValueCount] = {
    "CompanyName",     "FileDescription",  "FileVersion", "InternalName",   "LegalCopyright",
    "LegalTrademarks", "OriginalFilename", "ProductName", "ProductVersion", "Comments"};

// No version block is ever this large; a larger section is not ours.
constexpr quint64 kMaxSectionSize = 1 << 20;
constexpr quint64 kMaxSections = 1 << 16;

template <class T> T fromFile(T value, bool bigEndian)
{
    if constexpr (sizeof(T) == 1)
        return value;
    else
        return bigEndian ? qFromBigEndian(value) : qFromLittleEndian(value);
}

bool readAt(QFile& file, quint64 offset, void* data, qint64 size)
{
    if (offset > quint64(file.size()) || quint64(size) > quint64(file.size()) - offset) return false;
    return file.seek(qint64(offset)) && file.read(static_cast<char*>(data), size) == size;
}

template <class Ehdr, class Shdr>
bool findSection(QFile& file, bool big, const QByteArray& wanted, QByteArray* contents)
{
    Ehdr eh;
    if (!readAt(file, 0, &eh, sizeof eh)) return false;
    const quint64 shoff = fromFile(eh.e_shoff, big);
    const quint64 shentsize = fromFile(eh.e_shentsize, big);
    quint64 shnum = fromFile(eh.e_shnum, big);
    quint64 shstrndx = fromFile(eh.e_shstrndx, big);
    if (shoff == 0 || shentsize < sizeof(Shdr)) return false;

    auto header = [&](quint64 index, Shdr* sh) {
        return readAt(file, shoff + index * shentsize, sh, sizeof(Shdr));
    };
    // Many sections: the real counts live in the first section header.
    Shdr first;
    if (!header(0, &first)) return false;
    if (shnum == 0) shnum = fromFile(first.sh_size, big);
    if (shstrndx == SHN_XINDEX) shstrndx = fromFile(first.sh_link, big);
    if (shnum == 0 || shnum > kMaxSections || shstrndx >= shnum) return false;

    Shdr strings;
    if (!header(shstrndx, &strings)) return false;
    const quint64 strOffset = fromFile(strings.sh_offset, big);
    const quint64 strSize = fromFile(strings.sh_size, big);
    if (strSize > kMaxSectionSize) return false;
    QByteArray names(qsizetype(strSize), '\0');
    if (!readAt(file, strOffset, names.data(), names.size())) return false;

    for (quint64 i = 1; i < shnum; ++i) {
        Shdr sh;
        if (!header(i, &sh)) return false;
        const quint64 nameAt = fromFile(sh.sh_name, big);
        if (nameAt >= strSize) continue;
        const char* name = names.constData() + nameAt;
        const qsizetype room = names.size() - qsizetype(nameAt);
        if (qstrnlen(name, uint(room)) == uint(room)) continue; // unterminated name
        if (wanted != name) continue;
        if (fromFile(sh.sh_type, big) == SHT_NOBITS) return false;
        const quint64 size = fromFile(sh.sh_size, big);
        if (size > kMaxSectionSize) return false;
        QByteArray data(qsizetype(size), '\0');
        if (!readAt(file, fromFile(sh.sh_offset, big), data.data(), data.size())) return false;
        *contents = data;
        return true;
    }
    return false;
}

} // namespace

TZvVersionInfo::TZvVersionInfo(QObject* parent) : QObject(parent)
{
    ReadInfo();
}

QString TZvVersionInfo::ValueName(int index)
{
    if (index < 0 || index >= kValueCount) return QString();
    return QString::fromLatin1(kNames[index]);
}

QString TZvVersionInfo::OwnExecutablePath()
{
    if (QCoreApplication::instance()) return QCoreApplication::applicationFilePath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

void TZvVersionInfo::setFilePath(const QString& path)
{
    if (path == m_filePath) return;
    m_filePath = path;
    ReadInfo();
}

QString TZvVersionInfo::GetValue(int index) const
{
    if (index < 0 || index >= m_values.size()) return QString();
    return m_values.at(index);
}

bool TZvVersionInfo::ReadSection(const QString& path, const QByteArray& sectionName, QByteArray* contents)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    unsigned char ident[EI_NIDENT];
    if (!readAt(file, 0, ident, EI_NIDENT)) return false;
    if (ident[EI_MAG0] != ELFMAG0 || ident[EI_MAG1] != ELFMAG1 || ident[EI_MAG2] != ELFMAG2 ||
        ident[EI_MAG3] != ELFMAG3)
        return false;
    bool big = false;
    if (ident[EI_DATA] == ELFDATA2MSB)
        big = true;
    else if (ident[EI_DATA] != ELFDATA2LSB)
        return false;
    if (ident[EI_CLASS] == ELFCLASS64)
        return findSection<Elf64_Ehdr, Elf64_Shdr>(file, big, sectionName, contents);
    if (ident[EI_CLASS] == ELFCLASS32)
        return findSection<Elf32_Ehdr, Elf32_Shdr>(file, big, sectionName, contents);
    return false;
}

void TZvVersionInfo::ReadInfo()
{
    if (m_filePath.isEmpty()) m_filePath = OwnExecutablePath();

    QByteArray block;
    m_hasInfo = ReadSection(m_filePath, QByteArray(kSectionName), &block) && !block.isEmpty();
    m_translation.clear();

    QStringList values;
    if (!m_hasInfo) {
        for (int i = 0; i < kValueCount; ++i)
            values << QCoreApplication::translate("TZvVersionInfo", "Value Not Available");
        m_values = values;
        return;
    }

    // Split into NUL-terminated texts; a last text without its NUL still counts.
    QList<QByteArray> parts = block.split('\0');
    if (!parts.isEmpty() && parts.last().isEmpty()) parts.removeLast();
    QHash<QByteArray, QString> found;
    bool translated = false;
    if (!parts.isEmpty()) {
        const QByteArray& translation = parts.first();
        bool ok = false;
        translation.toUInt(&ok, 16);
        translated = ok && translation.size() == 8;
        if (translated) m_translation = QString::fromLatin1(translation).toUpper();
    }
    // Without a translation the strings cannot be addressed: all empty.
    if (translated) {
        for (qsizetype i = 1; i + 1 < parts.size(); i += 2) {
            if (parts.at(i).isEmpty()) break;
            if (!found.contains(parts.at(i))) found.insert(parts.at(i), QString::fromUtf8(parts.at(i + 1)));
        }
    }
    for (int i = 0; i < kValueCount; ++i)
        values << found.value(QByteArray(kNames[i]));
    m_values = values;
}

} // namespace zv
