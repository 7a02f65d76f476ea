#include "components/ZvVersionInfo.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using zv::TZvVersionInfo;

namespace {

const QString kNotAvailable = QStringLiteral("Value Not Available");

bool runObjcopy(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("objcopy"), args);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// A copy of this test program whose version block is `block` (none when empty).
QString withBlock(const QTemporaryDir& dir, const QString& name, const QByteArray& block)
{
    const QString target = dir.filePath(name);
    QStringList args{QStringLiteral("--remove-section"), QStringLiteral(".zvversion")};
    if (!block.isEmpty()) {
        const QString blob = dir.filePath(name + ".blob");
        QFile f(blob);
        if (!f.open(QIODevice::WriteOnly) || f.write(block) != block.size()) return QString();
        f.close();
        args << QStringLiteral("--add-section") << QStringLiteral(".zvversion=") + blob;
    }
    args << QCoreApplication::applicationFilePath() << target;
    return runObjcopy(args) ? target : QString();
}

QByteArray block(const QList<QByteArray>& texts)
{
    QByteArray out;
    for (const QByteArray& t : texts)
        out += t + '\0';
    return out;
}

QStringList values(const TZvVersionInfo& info)
{
    QStringList out;
    for (int i = 0; i < TZvVersionInfo::kValueCount; ++i)
        out << info.GetValue(i);
    return out;
}

void checkProgramBlock(const QString& path, const QString& fileVersion)
{
    TZvVersionInfo info;
    info.setFilePath(path);
    QVERIFY(info.HasInfo());
    QCOMPARE(info.Translation(), QStringLiteral("040904E4"));
    const QStringList parts = fileVersion.split('.');
    QCOMPARE(parts.size(), 4);
    QCOMPARE(values(info),
             (QStringList{"https://www.zorvik.example/", "Zorvik Jotboard", fileVersion, "jotboard", "", "",
                          "jotboard", "Zorvik Jotboard", parts.at(0) + '.' + parts.at(1), ""}));
}

} // namespace

class TstZvVersionInfo : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void ownExecutable();
    void stagedProgram();
    void blocks_data();
    void blocks();
    void noBlock_data();
    void noBlock();
    void sameFilePathReadsNothing();
};

void TstZvVersionInfo::initTestCase()
{
    if (!runObjcopy({QStringLiteral("--version")})) QSKIP("objcopy is needed to make test files");
}

void TstZvVersionInfo::ownExecutable()
{
#ifdef ZVJ_VERSION_BLOCK_FILE_VERSION
    // An empty path means the running program.
    TZvVersionInfo info;
    QCOMPARE(info.FilePath(), QCoreApplication::applicationFilePath());
    checkProgramBlock(QCoreApplication::applicationFilePath(),
                      QStringLiteral(ZVJ_VERSION_BLOCK_FILE_VERSION));
#else
    QSKIP("this test program carries no version block");
#endif
}

void TstZvVersionInfo::stagedProgram()
{
    const QString program = QStringLiteral(ZVJ_STAGE_DIR "/jotboard");
    if (!QFile::exists(program)) QSKIP("the program is not built");
    TZvVersionInfo info;
    info.setFilePath(program);
    const QString version = info.GetValue(2);
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d+\\.\\d+\\.\\d+\\.\\d+$")).match(version).hasMatch(),
             qPrintable(version));
    checkProgramBlock(program, version);
}

void TstZvVersionInfo::blocks_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("no Comments") << block({"040904E4", "CompanyName", "c", "FileDescription", "d",
                                           "FileVersion", "2.3.4.5", "InternalName", "i", "LegalCopyright",
                                           "l", "LegalTrademarks", "t", "OriginalFilename", "o",
                                           "ProductName", "p", "ProductVersion", "2.3"})
                                 << QStringList{"c", "d", "2.3.4.5", "i", "l", "t", "o", "p", "2.3", ""};
    QTest::newRow("any order, UTF-8") << block({"040904E4", "Comments", "Grüße", "FileVersion", "1.2.3.4"})
                                      << QStringList{"", "", "1.2.3.4", "", "", "", "", "", "", "Grüße"};
    QTest::newRow("last value without its NUL") << QByteArray("040904E4\0FileVersion\0"
                                                              "9.8.7.6",
                                                              28)
                                                << QStringList{"", "", "9.8.7.6", "", "", "", "", "", "", ""};
    // Without a translation the strings cannot be addressed.
    QTest::newRow("no translation") << block({"FileVersion", "1.0.0.1"})
                                    << QStringList{"", "", "", "", "", "", "", "", "", ""};
}

void TstZvVersionInfo::blocks()
{
    QFETCH(QByteArray, contents);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    const QString file = withBlock(dir, QStringLiteral("copy"), contents);
    QVERIFY(!file.isEmpty());
    TZvVersionInfo info;
    info.setFilePath(file);
    QVERIFY(info.HasInfo());
    QCOMPARE(values(info), expected);
}

void TstZvVersionInfo::noBlock_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("section stripped") << "stripped";
    QTest::newRow("plain text") << "text";
    // The block's bytes in a file that is no ELF file: never found by their look.
    QTest::newRow("marker in a text file") << "marker";
    QTest::newRow("missing file") << "missing";
    QTest::newRow("empty file") << "empty";
}

void TstZvVersionInfo::noBlock()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QString file = dir.filePath(QStringLiteral("file"));
    if (kind == "stripped") {
        file = withBlock(dir, QStringLiteral("stripped"), QByteArray());
        QVERIFY(!file.isEmpty());
    } else if (kind != "missing") {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        if (kind == "text")
            f.write("FileVersion=1.0.0.1\n");
        else if (kind == "marker")
            f.write(block({"040904E4", "FileVersion", "1.0.0.1", ".zvversion"}));
    }
    TZvVersionInfo info;
    info.setFilePath(file);
    QVERIFY(!info.HasInfo());
    QCOMPARE(values(info), QStringList(TZvVersionInfo::kValueCount, kNotAvailable));
}

void TstZvVersionInfo::sameFilePathReadsNothing()
{
    QTemporaryDir dir;
    const QString file =
        withBlock(dir, QStringLiteral("copy"), block({"040904E4", "FileVersion", "3.1.4.1"}));
    QVERIFY(!file.isEmpty());
    TZvVersionInfo info;
    info.setFilePath(file);
    QCOMPARE(info.GetValue(2), QStringLiteral("3.1.4.1"));

    // The file changes; naming it again does not read it again.
    QVERIFY(QFile::remove(file));
    QVERIFY(QFile::copy(
        withBlock(dir, QStringLiteral("other"), block({"040904E4", "FileVersion", "2.7.1.8"})), file));
    info.setFilePath(file);
    QCOMPARE(info.GetValue(2), QStringLiteral("3.1.4.1"));
    info.ReadInfo();
    QCOMPARE(info.GetValue(2), QStringLiteral("2.7.1.8"));
}

QTEST_MAIN(TstZvVersionInfo)
#include "tst_ZvVersionInfo.moc"
