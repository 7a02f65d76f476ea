// The data files shipped in the program folder: pictures, the alarm sound and the help page.
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QSet>
#include <QTextBlock>
#include <QTextDocument>
#include <QtEndian>
#include <QtTest>

namespace {

QString resourcePath(const QString& relative)
{
    return QStringLiteral(ZVJ_SOURCE_DIR "/resources/") + relative;
}

double meanLightness(const QImage& image)
{
    double sum = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            sum += QColor(image.pixel(x, y)).lightnessF();
    return sum / (image.width() * image.height());
}

struct HelpAnchors
{
    QSet<QString> names;
    QSet<QString> links; // internal links, without the '#'
};

HelpAnchors readHelp()
{
    HelpAnchors result;
    QFile file(resourcePath(QStringLiteral("jotboard-help.html")));
    if (!file.open(QIODevice::ReadOnly)) return result;
    QTextDocument doc;
    doc.setHtml(QString::fromUtf8(file.readAll()));
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            for (const QString& name : format.anchorNames())
                result.names.insert(name);
            const QString href = format.anchorHref();
            if (href.startsWith(QLatin1Char('#'))) result.links.insert(href.mid(1));
        }
    return result;
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void backgroundPictures_data();
    void backgroundPictures();
    void itemRowsAlternate();
    void appIcon();
    void alarmSound();
    void helpAnchors_data();
    void helpAnchors();
    void helpLinksLead_data();
    void helpLinksLead();
};

void TestResources::backgroundPictures_data()
{
    QTest::addColumn<QString>("name");
    for (const char* name : {"toolsbarBackground.bmp", "searchbarBackground.bmp", "groupBackground.bmp",
                             "itemBackground0.bmp", "itemBackground1.bmp"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

// The program loads these names exactly (case matters) and draws black text over them.
void TestResources::backgroundPictures()
{
    QFETCH(QString, name);
    const QString path = resourcePath(QStringLiteral("Images/") + name);
    QVERIFY2(QFileInfo::exists(path), qPrintable(path));
    QVERIFY(QFileInfo(path).size() < 30 * 1024);
    QImage image(path, "BMP");
    QVERIFY(!image.isNull());
    QVERIFY2(meanLightness(image) > 0.85, "too dark behind black text");
}

void TestResources::itemRowsAlternate()
{
    const QImage even(resourcePath(QStringLiteral("Images/itemBackground0.bmp")));
    const QImage odd(resourcePath(QStringLiteral("Images/itemBackground1.bmp")));
    const double difference = meanLightness(even) - meanLightness(odd);
    // Visible, but gentle.
    QVERIFY2(qAbs(difference) > 0.01 && qAbs(difference) < 0.08, qPrintable(QString::number(difference)));
}

void TestResources::appIcon()
{
    const QString path = resourcePath(QStringLiteral("Images/appIcon.png"));
    QVERIFY(QFileInfo(path).size() < 30 * 1024);
    const QImage image(path, "PNG");
    QVERIFY(!image.isNull());
    QVERIFY(image.size() == QSize(64, 64) || image.size() == QSize(128, 128));
    QVERIFY(image.hasAlphaChannel());
}

// QSoundEffect plays only plain PCM WAV; check the header the way a player reads it.
void TestResources::alarmSound()
{
    QFile file(resourcePath(QStringLiteral("Sounds/Alarm.wav")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray data = file.readAll();
    QVERIFY(data.size() > 44);
    QCOMPARE(data.mid(0, 4), QByteArray("RIFF"));
    QCOMPARE(data.mid(8, 8), QByteArray("WAVEfmt "));
    const auto* d = reinterpret_cast<const uchar*>(data.constData());
    QCOMPARE(qFromLittleEndian<quint32>(d + 4), quint32(data.size() - 8));
    QCOMPARE(qFromLittleEndian<quint16>(d + 20), quint16(1)); // PCM
    QCOMPARE(qFromLittleEndian<quint16>(d + 22), quint16(1)); // mono
    QCOMPARE(qFromLittleEndian<quint32>(d + 24), quint32(22050));
    QCOMPARE(qFromLittleEndian<quint16>(d + 34), quint16(16));
    QCOMPARE(data.mid(36, 4), QByteArray("data"));
    const quint32 bytes = qFromLittleEndian<quint32>(d + 40);
    QCOMPARE(qint64(bytes), qint64(data.size() - 44));
    const double seconds = bytes / 2.0 / 22050.0;
    QVERIFY2(seconds >= 0.5 && seconds <= 3.0, qPrintable(QString::number(seconds)));

    int peak = 0;
    for (quint32 i = 0; i + 1 < bytes; i += 2)
        peak = qMax(peak, qAbs(int(qFromLittleEndian<qint16>(d + 44 + i))));
    QVERIFY2(peak > 8000, "alarm too quiet");
    QVERIFY2(peak < 32767, "alarm clips");
    // The chime fades out: the last sample is near silence, so the end does not click.
    QVERIFY(qAbs(int(qFromLittleEndian<qint16>(d + 44 + bytes - 2))) < 500);
}

void TestResources::helpAnchors_data()
{
    QTest::addColumn<QString>("anchor");
    for (const char* a : {"contents", "tasks", "task-editing", "task-views", "reminders", "memos",
                          "memo-editing", "search", "exchange", "options", "tray"})
        QTest::newRow(a) << QString::fromLatin1(a);
}

// Each help context opens the help window at its own anchor.
void TestResources::helpAnchors()
{
    QFETCH(QString, anchor);
    static const HelpAnchors help = readHelp();
    QVERIFY2(!help.names.isEmpty(), "help page missing or unreadable");
    QVERIFY2(help.names.contains(anchor), qPrintable(anchor));
}

void TestResources::helpLinksLead_data()
{
    QTest::addColumn<QString>("link");
    const HelpAnchors help = readHelp();
    QVERIFY(!help.links.isEmpty());
    for (const QString& link : help.links)
        QTest::newRow(qPrintable(link)) << link;
}

void TestResources::helpLinksLead()
{
    QFETCH(QString, link);
    static const HelpAnchors help = readHelp();
    QVERIFY2(help.names.contains(link), qPrintable(QStringLiteral("dead link #") + link));
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
