// The frames of the single-instance socket: what a reader takes, waits for, and refuses.
#include "platform/ZvSingleInstance.h"

#include <QtEndian>
#include <QtTest>

using namespace zv;
namespace W = InstanceWire;

namespace {
QByteArray header(quint8 version, quint32 length)
{
    QByteArray h(W::kMagic, 4);
    h.append(char(version));
    char len[4];
    qToBigEndian(length, len);
    h.append(len, 4);
    return h;
}
} // namespace

class TstInstanceWire : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip()
    {
        const QJsonObject body{{"command", "add-task"},
                               {"text", QString::fromUtf8("milk\r\n\xc3\xa4\x01 \"q\"")}};
        QByteArray buffer = W::Encode(body) + W::Encode({{"command", "show"}});
        QJsonObject got;
        QCOMPARE(W::Decode(buffer, &got), W::Parse::Frame);
        QCOMPARE(got, body);
        // The second frame stays for the next read.
        QCOMPARE(W::Decode(buffer, &got), W::Parse::Frame);
        QCOMPARE(got.value("command").toString(), QStringLiteral("show"));
        QVERIFY(buffer.isEmpty());
    }

    // A frame arriving byte by byte is waited for, never refused half-way.
    void partialFramesWait()
    {
        const QByteArray frame = W::Encode({{"command", "activate"}});
        for (qsizetype n = 0; n < frame.size(); ++n) {
            QByteArray part = frame.left(n);
            QCOMPARE(W::Decode(part, nullptr), W::Parse::NeedMore);
            QCOMPARE(part.size(), n);
        }
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("the old plain request") << QByteArray("activate\n");
        QTest::newRow("wrong magic, seen at once") << QByteArray("ZX");
        QTest::newRow("another version") << header(2, 2) + "{}";
        QTest::newRow("version 0") << header(0, 2) + "{}";
        QTest::newRow("longer than any request") << header(W::kVersion, W::kMaxBodyBytes + 1);
        QTest::newRow("length near 4 GB") << header(W::kVersion, 0xFFFFFFFFu);
        QTest::newRow("not JSON") << header(W::kVersion, 5) + "hello";
        QTest::newRow("a JSON array") << header(W::kVersion, 2) + "[]";
        QTest::newRow("a JSON text") << header(W::kVersion, 3) + "\"x\"";
        QTest::newRow("JSON cut short") << header(W::kVersion, 7) + "{\"a\":1,";
        QTest::newRow("empty body") << header(W::kVersion, 0);
    }
    void refused()
    {
        QFETCH(QByteArray, bytes);
        QString why;
        QCOMPARE(W::Decode(bytes, nullptr, &why), W::Parse::Bad);
        QVERIFY(!why.isEmpty());
    }

    // The longest text the command line accepts fits a frame even at the worst escaping.
    void longestTextFits()
    {
        const QString text(int(W::kMaxTextBytes), QChar(0x01));
        QByteArray frame = W::Encode({{"command", "add-task"}, {"text", text}});
        QJsonObject got;
        QCOMPARE(W::Decode(frame, &got), W::Parse::Frame);
        QCOMPARE(got.value("text").toString().size(), text.size());
    }
};

QTEST_GUILESS_MAIN(TstInstanceWire)
#include "tst_instancewire.moc"
