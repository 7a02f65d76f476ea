#include "interchange/pU_XmlTry.h"

#include "store/ZvDb.h"
#include "store/ZvError.h"
#include "store/pU_Funcs.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <QXmlStreamReader>
#include <algorithm>
#include <cstring>
#include <zlib.h>

namespace zv {

namespace {

QString trc(const char* text)
{
    return QCoreApplication::translate("Txmltry", text);
}

void putLength(QByteArray& out, qint64 length)
{
    const auto u = static_cast<quint64>(length);
    for (int i = 0; i < 8; ++i)
        out.append(char((u >> (8 * i)) & 0xFF));
}

qint64 getLength(const QByteArray& in)
{
    quint64 u = 0;
    for (int i = 0; i < 8; ++i)
        u |= quint64(static_cast<unsigned char>(in[i])) << (8 * i);
    return static_cast<qint64>(u);
}

// Writer that collects pugixml's output in memory.
struct ByteWriter : pugi::xml_writer
{
    QByteArray bytes;
    void write(const void* data, size_t size) override
    {
        bytes.append(static_cast<const char*>(data), qsizetype(size));
    }
};

// Strict decimal index of a position step; anything else is a conversion error.
int parseIndex(QStringView text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok || text.isEmpty() || text.front().isSpace() || text.back().isSpace())
        throw EZvError(trc("'%1' is not a valid integer value").arg(text.toString()));
    return value;
}

} // namespace

QByteArray PackExchangeContainer(const QByteArray& xml)
{
    QByteArray out;
    putLength(out, xml.size());

    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (deflateInit2(&zs, Z_BEST_COMPRESSION, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw EZvError(trc("Compression error"));
    const uLong bound = deflateBound(&zs, uLong(xml.size()));
    out.resize(8 + qsizetype(bound));
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(xml.constData()));
    zs.avail_in = uInt(xml.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data() + 8);
    zs.avail_out = uInt(bound);
    const int rc = deflate(&zs, Z_FINISH);
    const auto produced = qsizetype(zs.total_out);
    deflateEnd(&zs);
    if (rc != Z_STREAM_END) throw EZvError(trc("Compression error"));
    out.resize(8 + produced);
    return out;
}

qint64 ExchangeContainerLength(const QByteArray& header)
{
    if (header.size() < 8) throw EZvError(trc("The exchange file is too short"));
    const qint64 length = getLength(header);
    if (length <= 0 || length > kMaxExchangeXml) throw EZvError(trc("Invalid length in the exchange file"));
    return length;
}

QByteArray UnpackExchangeContainer(const QByteArray& container)
{
    const qint64 length = ExchangeContainerLength(container);

    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (inflateInit2(&zs, 15) != Z_OK) throw EZvError(trc("Decompression error"));
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(container.constData() + 8));
    zs.avail_in = uInt(container.size() - 8);

    // Deflate never expands more than about 1032 to 1: the buffer is made once, as large as
    // the claimed length or what the stream can yield at most, whichever is less.
    QByteArray out;
    out.reserve(qsizetype(std::min<qint64>(length, (qint64(container.size()) - 8) * 1040 + 64)));
    char scratch[16384];
    int rc = Z_OK;
    for (;;) {
        zs.next_out = reinterpret_cast<Bytef*>(scratch);
        zs.avail_out = sizeof scratch;
        rc = inflate(&zs, Z_NO_FLUSH);
        const qsizetype got = qsizetype(sizeof scratch - zs.avail_out);
        const qint64 room = length - out.size();
        if (room > 0) out.append(scratch, qsizetype(std::min<qint64>(room, got)));
        if (rc == Z_STREAM_END) break;
        if (rc == Z_BUF_ERROR && zs.avail_in == 0) break; // input ended inside the stream
        if (rc != Z_OK && rc != Z_BUF_ERROR) break;
    }
    inflateEnd(&zs);
    if (rc != Z_STREAM_END) throw EZvError(trc("The exchange file is damaged"));
    if (out.size() < length) throw EZvError(trc("The exchange file holds less data than it records"));
    return out;
}

Txmltry::Txmltry() = default;
Txmltry::~Txmltry() = default;

// pugixml is lenient: it takes a raw "&" or "<" in an attribute, text or a second element
// after the root, a repeated attribute and undeclared entities. A file like that is not
// one we wrote and may be read differently than its writer meant, so it is refused as a
// syntax error by a conforming reader first.
static void checkWellFormed(const QByteArray& bytes)
{
    // Read through a device, so the reader decodes a few kilobytes at a time; handed the
    // array itself it would hold the whole document again, decoded to UTF-16.
    QBuffer device;
    device.setData(bytes);
    device.open(QIODevice::ReadOnly);
    QXmlStreamReader reader(&device);
    while (!reader.atEnd())
        reader.readNext();
    if (reader.hasError())
        throw EZvError(trc("XML error at line %1, column %2: %3")
                           .arg(reader.lineNumber())
                           .arg(reader.columnNumber())
                           .arg(reader.errorString()));
}

void Txmltry::parse(QByteArray bytes)
{
    m_lastParent = pugi::xml_node();
    m_lastChild = pugi::xml_node();
    m_lastIndex = -1;
    m_document.reset();
    m_buffer.clear();
    checkWellFormed(bytes);
    // Parsed in place: the document points into the buffer, which it keeps, so a large
    // file is held once and not copied.
    m_buffer = std::move(bytes);
    m_buffer.detach();
    const pugi::xml_parse_result result = m_document.load_buffer_inplace(
        m_buffer.data(), size_t(m_buffer.size()), pugi::parse_default, pugi::encoding_auto);
    if (!result) {
        m_document.reset();
        m_buffer.clear();
        throw EZvError(trc("XML error at offset %1: %2")
                           .arg(qint64(result.offset))
                           .arg(QString::fromUtf8(result.description())));
    }
}

void Txmltry::LoadFromText(const QString& text)
{
    parse(text.toUtf8());
}

void Txmltry::LoadFromBytes(const QByteArray& bytes, bool compressed)
{
    parse(compressed ? UnpackExchangeContainer(bytes) : bytes);
}

void Txmltry::LoadFromFile(const QString& fileName, bool compressed)
{
    RefuseDatabaseFile(fileName);
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EZvError(trc("Cannot open file \"%1\". %2").arg(fileName, file.errorString()));
    // The recorded length is checked before the rest of the file is read.
    if (compressed) ExchangeContainerLength(file.peek(8));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EZvError(trc("Cannot read file \"%1\". %2").arg(fileName, file.errorString()));
    LoadFromBytes(bytes, compressed);
}

QByteArray Txmltry::XmlText() const
{
    ByteWriter writer;
    m_document.save(writer, PUGIXML_TEXT(""), pugi::format_raw | pugi::format_no_declaration,
                    pugi::encoding_utf8);
    return writer.bytes;
}

void Txmltry::SaveToFile(const QString& fileName, bool compressed)
{
    const QByteArray xml = XmlText();
    const QByteArray bytes = compressed ? PackExchangeContainer(xml) : xml;
    RefuseDatabaseFile(fileName);
    // The new file replaces the old one only when complete: a full disk keeps the last good
    // backup instead of leaving half of a new one in its place. The flush is checked on its
    // own: commit() does not see a failed flush of the buffer.
    QSaveFile file(fileName);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        throw EZvError(trc("Cannot create file \"%1\". %2").arg(fileName, file.errorString()));
    if (file.write(bytes) != bytes.size() || !file.flush() || !file.commit())
        throw EZvError(trc("Cannot write file \"%1\". %2").arg(fileName, file.errorString()));
}

int Txmltry::CommaCount(const QString& text)
{
    return int(text.count(QLatin1Char(',')));
}

pugi::xml_node Txmltry::childAt(pugi::xml_node parent, int index)
{
    pugi::xml_node child;
    if (m_lastParent == parent && m_lastIndex >= 0 && m_lastChild && m_lastChild.parent() == parent) {
        if (index == m_lastIndex) return m_lastChild;
        if (index == m_lastIndex + 1) child = m_lastChild.next_sibling();
    }
    if (!child) {
        child = parent.first_child();
        for (int i = 0; i < index && child; ++i)
            child = child.next_sibling();
    }
    m_lastParent = parent;
    m_lastChild = child;
    m_lastIndex = index;
    return child;
}

pugi::xml_node Txmltry::FindNode(const QString& path)
{
    m_pathRemainder = path;
    pugi::xml_node current = m_document.document_element();
    const qsizetype firstComma = m_pathRemainder.indexOf(QLatin1Char(','));
    if (firstComma >= 0) m_pathRemainder.remove(0, firstComma + 1);
    const int n = CommaCount(path);
    if (n == 0) return current;

    QStringView rest(m_pathRemainder);
    for (int i = 1; i <= n; ++i) {
        QStringView component;
        if (i == n) {
            component = rest;
        } else {
            const qsizetype comma = rest.indexOf(QLatin1Char(','));
            component = rest.left(comma);
            rest = rest.mid(comma + 1);
        }
        const qsizetype hash = component.indexOf(QLatin1Char('#'));
        if (hash >= 0) {
            const int index = parseIndex(component.mid(hash + 1));
            if (index >= 0) {
                // Counting children only as far as needed keeps long lists cheap.
                const pugi::xml_node child = childAt(current, index);
                if (child) current = child;
            }
        } else {
            const QByteArray name = component.toUtf8();
            for (pugi::xml_node child = current.first_child(); child; child = child.next_sibling()) {
                // Text nodes have no name in this library; a step never lands on one.
                if (*child.name() != 0 && std::strcmp(child.name(), name.constData()) == 0) {
                    current = child;
                    break;
                }
            }
        }
    }
    return current;
}

int Txmltry::ChildCount(const QString& path)
{
    const pugi::xml_node node = FindNode(path);
    int count = 0;
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling())
        ++count;
    return count;
}

QString Txmltry::ReadAttr(const QString& path, const QString& attrName)
{
    const QByteArray name = attrName.toUtf8();
    return ReadAttrOf(FindNode(path), path, name.constData());
}

QString Txmltry::ReadAttrOf(pugi::xml_node node, const QString& path, const char* attrName)
{
    const pugi::xml_attribute attr = node.attribute(attrName);
    if (!attr) {
        MsgError(trc("%1: %2 not Exist !").arg(path, QString::fromUtf8(attrName)));
        return QString();
    }
    return QString::fromUtf8(attr.value());
}

bool Txmltry::WriteAttr(const QString& path, const QString& attrName, const QString& value)
{
    pugi::xml_node node = FindNode(path);
    pugi::xml_attribute attr = node.attribute(attrName.toUtf8().constData());
    if (!attr) {
        MsgError(trc("%1: %2 not Exist !").arg(path, attrName));
        return false;
    }
    const QByteArray utf8 = value.toUtf8();
    attr.set_value(utf8.constData(), size_t(utf8.size()));
    return true;
}

} // namespace zv
