// The XML path helper and the exchange container.
#include "ZvTestSupport.h"
#include "interchange/ZvExchange.h"
#include "interchange/pU_XmlTry.h"
#include "store/ZvError.h"
#include "store/ZvSeams.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <zlib.h>

using namespace zv;

namespace {

const char* kDoc =
    "<zorvik app=\"a\"><tasks n=\"tasks\">"
    "<task tid=\"t0\"/><other tid=\"t1\"/><task tid=\"t2\"/><task tid=\"t3\"/><task tid=\"t4\"/>"
    "</tasks><memos n=\"memos\"><memo mid=\"m0\"/></memos></zorvik>";

QByteArray lengthBytes(qint64 length)
{
    QByteArray out;
    for (int i = 0; i < 8; ++i)
        out.append(char((quint64(length) >> (8 * i)) & 0xFF));
    return out;
}

QByteArray zlibOf(const QByteArray& data)
{
    uLongf size = compressBound(uLong(data.size()));
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.constData()),
              uLong(data.size()), 9);
    out.resize(qsizetype(size));
    return out;
}

// The name of the node a path ends on, with the attribute that tells it apart.
QString where(Txmltry& xml, const QString& path)
{
    const pugi::xml_node node = xml.FindNode(path);
    QString text = QString::fromUtf8(node.name());
    for (const char* a : {"tid", "mid", "n"})
        if (node.attribute(a)) text += QLatin1Char(':') + QString::fromUtf8(node.attribute(a).value());
    return text;
}

} // namespace

class TstXmlTry : public QObject
{
    Q_OBJECT
private slots:
    void init() { zvtest::ResetSeams(); }

    void findNode_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("root alone") << "zorvik"
                                    << "zorvik";
        QTest::newRow("first component never compared") << "x,tasks"
                                                        << "tasks:tasks";
        QTest::newRow("name step") << "zorvik,memos"
                                   << "memos:memos";
        QTest::newRow("name steps are case-sensitive") << "zorvik,Memos"
                                                       << "zorvik";
        QTest::newRow("missing name stays at the parent") << "zorvik,notes"
                                                          << "zorvik";
        QTest::newRow("missing step, later steps go on from there") << "zorvik,nothing,memos"
                                                                    << "memos:memos";
        QTest::newRow("position step") << "zorvik,tasks,task#0"
                                       << "task:t0";
        QTest::newRow("position counts every child whatever its name") << "zorvik,tasks,anything#1"
                                                                       << "other:t1";
        QTest::newRow("text before # ignored") << "zorvik,tasks,#4"
                                               << "task:t4";
        QTest::newRow("index past the end stays") << "zorvik,tasks,task#5"
                                                  << "tasks:tasks";
        QTest::newRow("negative index stays") << "zorvik,tasks,task#-1"
                                              << "tasks:tasks";
        QTest::newRow("position step on the root") << "zorvik,#1"
                                                   << "memos:memos";
    }
    void findNode()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        Txmltry xml;
        xml.LoadFromText(QString::fromUtf8(kDoc));
        QCOMPARE(where(xml, path), expected);
    }

    void positionStepsInAnyOrder()
    {
        // The walk remembers the last position step; going back must still be right.
        Txmltry xml;
        xml.LoadFromText(QString::fromUtf8(kDoc));
        for (int i : {0, 1, 2, 3, 4, 3, 0, 4, 2, 2})
            QCOMPARE(xml.ReadAttr(QStringLiteral("zorvik,tasks,task#%1").arg(i), QStringLiteral("tid")),
                     QStringLiteral("t%1").arg(i));
        QCOMPARE(where(xml, QStringLiteral("zorvik,memos,memo#0")), QStringLiteral("memo:m0"));
        QCOMPARE(where(xml, QStringLiteral("zorvik,tasks,task#1")), QStringLiteral("other:t1"));
        QVERIFY(MessageSeam::texts().isEmpty());
    }

    void badIndexRaises()
    {
        Txmltry xml;
        xml.LoadFromText(QString::fromUtf8(kDoc));
        QVERIFY_THROWS_EXCEPTION(EZvError, xml.FindNode(QStringLiteral("zorvik,tasks,task#x")));
        QVERIFY_THROWS_EXCEPTION(EZvError, xml.FindNode(QStringLiteral("zorvik,tasks,task#")));
    }

    void childCount()
    {
        Txmltry xml;
        xml.LoadFromText(QString::fromUtf8(kDoc));
        QCOMPARE(xml.ChildCount(QStringLiteral("zorvik,tasks")), 5);
        QCOMPARE(xml.ChildCount(QStringLiteral("zorvik")), 2);
        // A missing container counts the children of the node the walk stopped at.
        QCOMPARE(xml.ChildCount(QStringLiteral("zorvik,notes")), 2);
        QCOMPARE(xml.ChildCount(QStringLiteral("zorvik,tasks,task#0")), 0);
    }

    void attributes()
    {
        Txmltry xml;
        xml.LoadFromText(QStringLiteral(
            "<zorvik a=\"\" b=\"x\"><tasks><task/><task/><task/><task/><task/></tasks></zorvik>"));
        QCOMPARE(xml.ReadAttr(QStringLiteral("zorvik"), QStringLiteral("a")), QString());
        QCOMPARE(xml.ReadAttr(QStringLiteral("zorvik"), QStringLiteral("b")), QStringLiteral("x"));
        QVERIFY(MessageSeam::texts().isEmpty()); // present but empty is no error

        MessageSeam::queueAnswer(IdOk);
        MessageSeam::queueAnswer(IdOk);
        QCOMPARE(xml.ReadAttr(QStringLiteral("zorvik,tasks,task#5"), QStringLiteral("tid")), QString());
        QCOMPARE(xml.ReadAttr(QStringLiteral("zorvik,tasks,task#4"), QStringLiteral("due-time")), QString());
        QCOMPARE(MessageSeam::texts(),
                 QStringList({QStringLiteral("zorvik,tasks,task#5: tid not Exist !"),
                              QStringLiteral("zorvik,tasks,task#4: due-time not Exist !")}));
        QCOMPARE(MessageSeam::history().first().caption, QStringLiteral("Error"));

        zvtest::ResetSeams();
        MessageSeam::queueAnswer(IdOk);
        const QByteArray before = xml.XmlText();
        QVERIFY(!xml.WriteAttr(QStringLiteral("zorvik"), QStringLiteral("c"), QStringLiteral("v")));
        QCOMPARE(xml.XmlText(), before); // never created
        QCOMPARE(MessageSeam::texts(), QStringList(QStringLiteral("zorvik: c not Exist !")));
        QVERIFY(xml.WriteAttr(QStringLiteral("zorvik"), QStringLiteral("a"), QStringLiteral("<&\">")));
        QCOMPARE(xml.ReadAttr(QStringLiteral("zorvik"), QStringLiteral("a")), QStringLiteral("<&\">"));
    }

    void commaCount()
    {
        QCOMPARE(Txmltry::CommaCount(QString()), 0);
        QCOMPARE(Txmltry::CommaCount(QStringLiteral("zorvik,tasks,task#3")), 2);
        QCOMPARE(Txmltry::CommaCount(QStringLiteral(",,")), 2);
    }

    void templateDocument()
    {
        const QString text = ExchangeTemplate();
        QCOMPARE(text.size(), 149);
        QCOMPARE(text.count(QLatin1Char('\r')), 9);
        QVERIFY(!text.contains(QLatin1Char('\n')));
        Txmltry xml;
        xml.LoadFromText(text);
        // Whitespace between elements is dropped: position steps count the elements only.
        QCOMPARE(xml.ChildCount(QStringLiteral("zorvik")), 4);
        QCOMPARE(xml.ChildCount(QStringLiteral("zorvik,tasks")), 0);
        QCOMPARE(where(xml, QStringLiteral("zorvik,#3")), QStringLiteral("peers"));
    }

    void savedFileRoundTrip_data()
    {
        QTest::addColumn<bool>("compressed");
        QTest::newRow("plain") << false;
        QTest::newRow("compressed") << true;
    }
    void savedFileRoundTrip()
    {
        QFETCH(bool, compressed);
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("f.zvx"));
        Txmltry out;
        out.LoadFromText(QString::fromUtf8(kDoc));
        out.FindNode(QStringLiteral("zorvik")).append_attribute("text").set_value("a\nb\r\nc\t\xc3\xa4");
        out.SaveToFile(name, compressed);

        QFile file(name);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(!bytes.startsWith("<?xml")); // no declaration of our own
        if (compressed) {
            const QByteArray xmlText = out.XmlText();
            QCOMPARE(bytes.left(8), lengthBytes(xmlText.size()));
            // A plain zlib stream: 0x78 0xDA is the header of level 9 with a 32K window.
            QCOMPARE(quint8(bytes[8]), quint8(0x78));
            QCOMPARE(quint8(bytes[9]), quint8(0xDA));
            QCOMPARE(UnpackExchangeContainer(bytes), xmlText);
        }
        Txmltry in;
        in.LoadFromFile(name, compressed);
        QCOMPARE(in.ReadAttr(QStringLiteral("zorvik"), QStringLiteral("text")),
                 QString::fromUtf8("a\nb\r\nc\t\xc3\xa4"));
        QCOMPARE(in.ReadAttr(QStringLiteral("zorvik,tasks,#4"), QStringLiteral("tid")), QStringLiteral("t4"));
    }

    void brokenContainer_data()
    {
        const QByteArray xml("<zorvik app=\"Brisk-Mate\"/>");
        const QByteArray good = PackExchangeContainer(xml);
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("shorter than the length") << good.left(5);
        QTest::newRow("length only") << good.left(8);
        QTest::newRow("truncated by one byte") << good.left(good.size() - 1);
        QTest::newRow("cut inside the stream") << good.left(12);
        QTest::newRow("length larger than the data") << (lengthBytes(xml.size() + 1) + good.mid(8));
        QTest::newRow("length 0") << (lengthBytes(0) + good.mid(8));
        QTest::newRow("negative length") << (lengthBytes(-5) + good.mid(8));
        QTest::newRow("length 2^62") << (lengthBytes(qint64(1) << 62) + good.mid(8));
        QTest::newRow("not zlib") << (lengthBytes(xml.size()) + QByteArray("plain bytes, no stream"));
        QByteArray damaged = good;
        damaged[good.size() - 2] = char(damaged[good.size() - 2] ^ 0x55); // checksum
        QTest::newRow("damaged checksum") << damaged;
        QTest::newRow("plain XML file") << xml;
        QTest::newRow("zlib of non-XML") << PackExchangeContainer("this is no XML");
        QTest::newRow("zlib of broken XML") << PackExchangeContainer("<zorvik><tasks></zorvik>");
    }
    void brokenContainer()
    {
        QFETCH(QByteArray, bytes);
        Txmltry xml;
        QVERIFY_THROWS_EXCEPTION(EZvError, xml.LoadFromBytes(bytes, true));
        QVERIFY(MessageSeam::texts().isEmpty()); // Txmltry itself shows nothing
    }

    void containerEdges()
    {
        const QByteArray xml("<zorvik app=\"Brisk-Mate\"/>");
        // Output beyond the recorded length is ignored; data after the stream too.
        const QByteArray longer = lengthBytes(xml.size()) + zlibOf(xml + "<garbage");
        QCOMPARE(UnpackExchangeContainer(longer), xml);
        QCOMPARE(UnpackExchangeContainer(PackExchangeContainer(xml) + "tail"), xml);
        // Several megabytes go through the growing buffer intact.
        QByteArray big;
        for (int i = 0; i < 200000; ++i)
            big += QByteArray::number(i) + ',';
        QCOMPARE(UnpackExchangeContainer(PackExchangeContainer(big)), big);
    }

    // Text a lenient reader would take, but that no writer of ours makes, is refused with
    // where it goes wrong; the document read before it is gone, and the next good one reads.
    void malformedTextRefused_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("a raw & in a value") << QByteArray("<zorvik app=\"a & b\"/>");
        QTest::newRow("a raw < in a value") << QByteArray("<zorvik app=\"a < b\"/>");
        QTest::newRow("a raw & in text") << QByteArray("<zorvik>a & b</zorvik>");
        QTest::newRow("a second root") << QByteArray("<zorvik/><zorvik/>");
        QTest::newRow("an attribute twice") << QByteArray("<zorvik app=\"a\" app=\"b\"/>");
        QTest::newRow("an undeclared entity") << QByteArray("<zorvik app=\"&nbsp;\"/>");
        QTest::newRow("an element left open") << QByteArray("<zorvik><tasks></zorvik>");
        QTest::newRow("a double hyphen in a comment") << QByteArray("<zorvik><!-- a -- b --></zorvik>");
        QTest::newRow("a control character") << QByteArray("<zorvik app=\"\x01\"/>");
        QTest::newRow("cut in a tag") << QByteArray("<zorvik><tas");
        QTest::newRow("a NUL") << QByteArray("<zorvik>\0</zorvik>", 18);
    }
    void malformedTextRefused()
    {
        QFETCH(QByteArray, text);
        Txmltry xml;
        xml.LoadFromText(QString::fromUtf8(kDoc));
        const QString error = zvtest::raiseText([&] { xml.LoadFromBytes(text, false); });
        QVERIFY2(error.startsWith("XML error at "), qPrintable(error));
        QCOMPARE(xml.ChildCount(QStringLiteral("zorvik,tasks")), 0);
        xml.LoadFromText(QString::fromUtf8(kDoc));
        QCOMPARE(where(xml, QStringLiteral("zorvik,tasks,#2")), QStringLiteral("task:t2"));
    }

    void missingFileRaises()
    {
        Txmltry xml;
        QVERIFY_THROWS_EXCEPTION(EZvError, xml.LoadFromFile(QStringLiteral("/nonexistent/x.zvx"), true));
        // A file that opens but fails when read is reported, not parsed as the part read.
        QVERIFY(zvtest::raiseText([&] {
                    xml.LoadFromFile(QStringLiteral("/proc/self/mem"), false);
                }).startsWith("Cannot read file \"/proc/self/mem\"."));
        xml.LoadFromText(QStringLiteral("<a/>"));
        QVERIFY_THROWS_EXCEPTION(EZvError, xml.SaveToFile(QStringLiteral("/nonexistent/x.zvx"), true));
    }
};

QTEST_MAIN(TstXmlTry)
#include "tst_xmltry.moc"
