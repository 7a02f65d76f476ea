#pragma once

#include <QByteArray>
#include <QString>
#include <pugixml.hpp>

namespace zv {

// The exchange container: an 8-byte signed little-endian length of the XML text, then a
// zlib stream (level 9, window 15, memory level 8, default strategy) of exactly that text.
QByteArray PackExchangeContainer(const QByteArray& xml);
// Takes exactly the recorded number of bytes of the inflated output. A length of 0 or
// less, a stream that yields fewer bytes, a stream cut short or damaged raise EZvError.
// The length is checked against what the stream really yields, so a file claiming a huge
// length fails without an allocation of that size.
QByteArray UnpackExchangeContainer(const QByteArray& container);
// The largest XML text a container may record: a larger or non-positive length is refused
// from the header alone, before anything is inflated.
constexpr qint64 kMaxExchangeXml = qint64(1) << 30;
// The length recorded in the first 8 bytes, checked as above.
qint64 ExchangeContainerLength(const QByteArray& header);

// The XML path helper through which every reader and writer of the exchange file works.
// Paths are comma-separated: the first component stands for the document element and is
// never compared; each further one is a name step (first child of that name) or a
// position step ("anything#3": the fourth child, whatever its name). A step that finds
// nothing leaves the walk where it is.
class Txmltry
{
public:
    Txmltry();
    ~Txmltry();
    Txmltry(const Txmltry&) = delete;
    Txmltry& operator=(const Txmltry&) = delete;

    void LoadFromText(const QString& text);
    void LoadFromFile(const QString& fileName, bool compressed);
    void LoadFromBytes(const QByteArray& bytes, bool compressed);
    void SaveToFile(const QString& fileName, bool compressed);
    QByteArray XmlText() const; // the document as written into a file (UTF-8, no declaration)

    pugi::xml_node FindNode(const QString& path);
    int ChildCount(const QString& path);
    // A missing attribute shows "<path>: <attr> not Exist !" and reads as empty text.
    QString ReadAttr(const QString& path, const QString& attrName);
    // The same read on a node the caller already found with FindNode(path): readers that
    // take many attributes of one item walk its path once.
    QString ReadAttrOf(pugi::xml_node node, const QString& path, const char* attrName);
    // Sets an existing attribute; a missing one shows the same box, returns false and is
    // never created.
    bool WriteAttr(const QString& path, const QString& attrName, const QString& value);
    static int CommaCount(const QString& text);

    pugi::xml_document& document() { return m_document; }

private:
    void parse(QByteArray bytes);
    pugi::xml_node childAt(pugi::xml_node parent, int index);

    QString m_pathRemainder;
    QByteArray m_buffer; // the parsed text; the document's strings point into it
    pugi::xml_document m_document;
    // Readers walk the items by position one after another: remembering the last position
    // step keeps that walk linear instead of quadratic.
    pugi::xml_node m_lastParent;
    pugi::xml_node m_lastChild;
    int m_lastIndex = -1;
};

} // namespace zv
