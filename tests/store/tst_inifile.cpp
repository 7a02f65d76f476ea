// The settings file: value types and their defaults, names in any case, every write on
// disk at once, and the refused write that leaves the file as it was.
#include "ZvTestSupport.h"
#include "store/ZvError.h"
#include "store/ZvIniFile.h"

#include <QDir>
#include <QFile>
#include <QtTest>
#include <optional>

using namespace zv;
using zvtest::TempProgramFolder;

namespace {

using zvtest::fileBytes;
using zvtest::writeBytes;

QString writeError(const std::function<void()>& work)
{
    try {
        work();
    } catch (const EZvError& e) {
        return e.message();
    }
    return "<no error>";
}

// "section/key" as the program reads it: an integer or a boolean with its default.
void keyRow(const char* sectionKey, bool isBool, int defaultValue)
{
    QTest::newRow(sectionKey) << QString(sectionKey) << isBool << defaultValue;
}

void valueRow(const char* name, const char* text, bool isBool, int defaultValue, int value)
{
    QTest::newRow(name) << QString(text) << isBool << defaultValue << value;
}

int readAs(const TIniFile& ini, const QString& section, const QString& key, bool isBool, int defaultValue)
{
    return isBool ? int(ini.ReadBool(section, key, defaultValue != 0))
                  : ini.ReadInteger(section, key, defaultValue);
}

} // namespace

class TstIniFile : public QObject
{
    Q_OBJECT

private slots:
    void valueTypes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isBool");
        QTest::addColumn<int>("defaultValue");
        QTest::addColumn<int>("value");
        valueRow("decimal", "16", false, 20, 16);
        valueRow("negative", "-5", false, 20, -5);
        valueRow("blanks around", "  7  ", false, 20, 7);
        valueRow("0x", "0x10", false, 20, 16);
        valueRow("0X", "0X1f", false, 20, 31);
        valueRow("$", "$10", false, 20, 16);
        valueRow("all bits", "0xFFFFFFFF", false, 20, -1);
        valueRow("words", "abc", false, 20, 20);
        valueRow("trailing junk", "12abc", false, 20, 20);
        valueRow("empty", "", false, 20, 20);
        valueRow("bare prefix", "0x", false, 20, 20);
        valueRow("bad hex digit", "$1G", false, 20, 20);
        valueRow("fraction", "1.5", false, 20, 20);
        valueRow("too big", "2147483648", false, 20, 20);
        valueRow("hex too big", "0x100000000", false, 20, 20);
        valueRow("bool 1", "1", true, 0, 1);
        valueRow("bool 0", "0", true, 1, 0);
        valueRow("bool 2", "2", true, 0, 1);
        valueRow("bool -1", "-1", true, 0, 1);
        valueRow("bool hex", "0x10", true, 0, 1);
        valueRow("yes, default false", "yes", true, 0, 0);
        valueRow("yes, default true", "yes", true, 1, 1);
        valueRow("true is no integer", "true", true, 0, 0);
        valueRow("bool empty", "", true, 1, 1);
        valueRow("double quotes", "\"12\"", false, 20, 12);
        valueRow("single quotes", "'0x10'", false, 20, 16);
        valueRow("mismatched quotes", "\"12'", false, 20, 20);
        valueRow("a lone quote", "\"", false, 20, 20);
        valueRow("plus sign", "+5", false, 20, 20);
        valueRow("minus before hex", "-0x5", false, 20, 20);
        valueRow("minus inside hex", "0x-5", false, 20, 20);
        valueRow("too small", "-2147483649", false, 20, 20);
        valueRow("minus inside $", "$-5", false, 20, 20);
        valueRow("empty quotes", "''", false, 20, 20);
        valueRow("blanks inside quotes", "\" 7 \"", false, 20, 7);
    }
    void valueTypes()
    {
        QFETCH(QString, text);
        QFETCH(bool, isBool);
        QFETCH(int, defaultValue);
        QFETCH(int, value);
        TempProgramFolder home(false);
        writeBytes(home.iniPath(), ("[task]\r\nviewRange=" + text + "\r\n").toUtf8());
        QCOMPARE(readAs(TIniFile(home.iniPath()), "task", "viewRange", isBool, defaultValue), value);
    }

    // Every key the program reads as a number or a flag, with garbage in it, reads as its default.
    void garbageReadsAsDefault_data()
    {
        QTest::addColumn<QString>("sectionKey");
        QTest::addColumn<bool>("isBool");
        QTest::addColumn<int>("defaultValue");
        keyRow("option/hintSize", false, 20);
        keyRow("option/addOpenEn", true, 0);
        keyRow("option/runMinimizedEn", true, 0);
        keyRow("option/visitWebEn", true, 1);
        keyRow("task/viewListEn", true, 0);
        keyRow("task/viewDateEn", true, 0);
        keyRow("task/viewRange", false, 0);
        keyRow("task/viewAscEn", true, 1);
        keyRow("memo/viewAscEn", true, 1);
        keyRow("memo/viewListEn", true, 0);
        keyRow("memo/searchWideEn", true, 0);
        keyRow("form/Saved", true, 0);
        keyRow("form/Left", false, 100);
        keyRow("form/Maximized", true, 0);
    }
    void garbageReadsAsDefault()
    {
        QFETCH(QString, sectionKey);
        QFETCH(bool, isBool);
        QFETCH(int, defaultValue);
        const QString section = sectionKey.section('/', 0, 0), key = sectionKey.section('/', 1);
        TempProgramFolder home(false);
        const TIniFile ini(home.iniPath());
        for (const char* garbage : {"abc", "yes", "1e3", "0x", "\xff\xfe\x01\x02", "==", "- 1", "1 2"}) {
            writeBytes(home.iniPath(), ("[" + section + "]\r\n" + key + "=").toUtf8() + garbage + "\r\n");
            QCOMPARE(readAs(ini, section, key, isBool, defaultValue), defaultValue);
            QCOMPARE(ini.ReadString(section, key, "d"), QString::fromUtf8(garbage));
        }
        QByteArray noise(4096, '\0'); // a file that is no settings file at all
        for (int i = 0; i < noise.size(); ++i)
            noise[i] = char((i * 131 + 7) % 256);
        writeBytes(home.iniPath(), noise);
        QCOMPARE(readAs(ini, section, key, isBool, defaultValue), defaultValue);
    }

    // Lines that are no key of the section are passed over: the value read is the key's own.
    void fileShapes_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("value"); // of task/viewRange, default 20
        QTest::newRow("commented out") << QByteArray("[task]\r\n;viewRange=3\r\nviewRange=4\r\n") << 4;
        QTest::newRow("key before every section") << QByteArray("viewRange=3\r\n[task]\r\n") << 20;
        QTest::newRow("in another section") << QByteArray("[memo]\r\nviewRange=3\r\n[task]\r\n") << 20;
        QTest::newRow("unclosed section name") << QByteArray("[task\r\nviewRange=3\r\n") << 20;
        QTest::newRow("blanks around names") << QByteArray("  [ task ]  \r\n  viewRange  =  5  \r\n") << 5;
        QTest::newRow("no name before =") << QByteArray("[task]\r\n=3\r\n  =4\r\nviewRange=6\r\n") << 6;
        QTest::newRow("the first of two") << QByteArray("[task]\r\nviewRange=1\r\nviewRange=2\r\n") << 1;
        QTest::newRow("line feeds only") << QByteArray("[task]\nviewRange=7\n") << 7;
        QTest::newRow("empty brackets") << QByteArray("[]\r\nviewRange=3\r\n") << 20;
        QTest::newRow("no line break at the end") << QByteArray("[task]\r\nviewRange=4") << 4;
        QTest::newRow("a blank line last") << QByteArray("[memo]\r\nviewRange=3\r\n \r\n") << 20;
        QTest::newRow("a bracket alone") << QByteArray("[task]\r\n[\r\nviewRange=3\r\n") << 3;
        QTest::newRow("names in other case") << QByteArray("[TASK]\r\nVIEWRANGE=8\r\n") << 8;
        QTest::newRow("a note after the section") << QByteArray("[task] ; mine\r\nviewRange=5\r\n") << 5;
        QTest::newRow("a comment after blanks")
            << QByteArray("[task]\r\n  ;viewRange=3\r\nviewRange=4\r\n") << 4;
    }
    void fileShapes()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, value);
        TempProgramFolder home(false);
        writeBytes(home.iniPath(), text);
        TIniFile ini(home.iniPath());
        QCOMPARE(ini.ReadInteger("task", "viewRange", 20), value);
        // A write changes that key alone, or adds it to the section; the next read finds it.
        ini.WriteInteger("task", "viewRange", 9);
        QCOMPARE(ini.ReadInteger("task", "viewRange", 20), 9);
        QCOMPARE(ini.ReadInteger("memo", "viewRange", 20), text.startsWith("[memo]") ? 3 : 20);
    }

    // The disk fills while the settings are written: the write is refused with its message
    // and the file keeps every setting it had, with no temporary file left beside it.
    void fullDiskKeepsTheFile()
    {
        TempProgramFolder home(false);
        QByteArray before = "[option]\r\nhintSize=5\r\n[task]\r\nviewRange=2\r\n";
        writeBytes(home.iniPath(), before);
        TIniFile ini(home.iniPath());
        QString error;
        {
            zvtest::TFileSizeLimit limit(before.size() + 8);
            error =
                writeError([&] { ini.WriteString("option", "visitWeb", QString(100, QLatin1Char('x'))); });
        }
        QCOMPARE(error, "Unable to write to " + QDir::toNativeSeparators(home.iniPath()));
        QCOMPARE(fileBytes(home.iniPath()), before);
        QCOMPARE(QDir(home.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"zvConf.ini"});
        QCOMPARE(ini.ReadInteger("task", "viewRange", 0), 2);
    }

    // A folder marked read-only gets no file of ours: a writable settings file in it is
    // written in place, cut to its new length; on a full disk the write is refused and the
    // file keeps every setting it had.
    void readOnlyFolder_data()
    {
        QTest::addColumn<QString>("written");
        QTest::addColumn<bool>("diskFull");
        QTest::addColumn<QString>("read");
        QTest::newRow("longer") << "longer than before" << false << "longer than before";
        QTest::newRow("shorter") << "k" << false << "k";
        QTest::newRow("longer, the disk full") << "longer than before" << true << "kept";
    }
    void readOnlyFolder()
    {
        QFETCH(QString, written);
        QFETCH(bool, diskFull);
        QFETCH(QString, read);
        TempProgramFolder home(false);
        const QByteArray before = "[option]\r\nvisitWeb=kept\r\nhintSize=5\r\n";
        writeBytes(home.iniPath(), before);
        const QFile::Permissions readOnly = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                                            QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
        QVERIFY(QFile::setPermissions(home.path(), readOnly));
        const auto writableAgain =
            qScopeGuard([&] { QFile::setPermissions(home.path(), readOnly | QFile::WriteOwner); });
        TIniFile ini(home.iniPath());
        QString error;
        {
            std::optional<zvtest::TFileSizeLimit> limit;
            if (diskFull) limit.emplace(before.size());
            error = writeError([&] { ini.WriteString("option", "visitWeb", written); });
        }
        QCOMPARE(error,
                 diskFull ? "Unable to write to " + QDir::toNativeSeparators(home.iniPath()) : "<no error>");
        QCOMPARE(ini.ReadString("option", "visitWeb", QString()), read);
        QCOMPARE(ini.ReadInteger("option", "hintSize", 0), 5);
        QCOMPARE(QDir(home.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"zvConf.ini"});
    }

    void namesInAnyCase()
    {
        TempProgramFolder home(false);
        writeBytes(home.iniPath(), "\xEF\xBB\xBF[OPTION]\r\nHINTSIZE=5\r\n[Task]\r\nViewRange=2\r\n");
        TIniFile ini(home.iniPath());
        QCOMPARE(ini.ReadInteger("option", "hintSize", 20), 5); // an editor's byte-order mark hides nothing
        QCOMPARE(ini.ReadInteger("TASK", "viewrange", 0), 2);
        ini.WriteInteger("Option", "hintsize", 30);
        QCOMPARE(fileBytes(home.iniPath()),
                 QByteArray("[OPTION]\r\nhintsize=30\r\n[Task]\r\nViewRange=2\r\n"));
    }

    void firstWriteCreatesFileAndSection()
    {
        TempProgramFolder home(false);
        TIniFile ini(home.iniPath());
        QCOMPARE(ini.ReadBool("option", "visitWebEn", true), true);
        QVERIFY(!QFile::exists(home.iniPath())); // reading creates nothing
        ini.WriteBool("option", "visitWebEn", false);
        ini.WriteInteger("log", "privateTasks", -12);
        ini.WriteString("option", "visitWeb", "2009-06-19T22:22:17.000+02:00");
        ini.WriteBool("form", "Saved", true);
        QCOMPARE(fileBytes(home.iniPath()),
                 QByteArray("[option]\r\nvisitWebEn=0\r\nvisitWeb=2009-06-19T22:22:17.000+02:00\r\n\r\n"
                            "[log]\r\nprivateTasks=-12\r\n\r\n[form]\r\nSaved=1\r\n"));
        const TIniFile other(home.iniPath()); // another reader sees every write at once
        QCOMPARE(other.ReadBool("option", "visitWebEn", true), false);
        QCOMPARE(other.ReadInteger("log", "privateTasks", 0), -12);
        QCOMPARE(other.ReadString("option", "visitWeb", QString()), QString("2009-06-19T22:22:17.000+02:00"));
    }

    void deletedFileIsNotAnError()
    {
        TempProgramFolder home(false);
        TIniFile ini(home.iniPath());
        ini.WriteInteger("task", "viewRange", 2);
        ini.WriteBool("task", "viewAscEn", false);
        QVERIFY(QFile::remove(home.iniPath()));
        QCOMPARE(ini.ReadInteger("task", "viewRange", 0), 0);
        QCOMPARE(ini.ReadBool("task", "viewAscEn", true), true);
        ini.WriteInteger("task", "viewRange", 1);
        QCOMPARE(fileBytes(home.iniPath()), QByteArray("[task]\r\nviewRange=1\r\n"));
    }

    void longValueIsCut()
    {
        TempProgramFolder home(false);
        TIniFile ini(home.iniPath());
        QString value;
        for (int i = 0; i < 3000; ++i)
            value += QChar(u'a' + i % 26);
        ini.WriteString("option", "long", value);
        QCOMPARE(ini.ReadString("option", "long", QString()), value.left(2047));
    }

    void refusedWrite_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("read-only file") << "read-only file";
        QTest::newRow("missing folder") << "missing folder";
        QTest::newRow("a folder in its place") << "folder";
    }
    void refusedWrite()
    {
        QFETCH(QString, how);
        const bool readOnlyFile = how == "read-only file";
        TempProgramFolder home(false);
        const QString path = how == "missing folder" ? home.path() + "gone/zvConf.ini" : home.iniPath();
        if (how == "folder") QVERIFY(QDir(home.path()).mkdir("zvConf.ini"));
        const QByteArray before = "[option]\r\nhintSize=5\r\n";
        if (readOnlyFile) {
            writeBytes(path, before);
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        }
        TIniFile ini(path);
        const QString expected = "Unable to write to " + QDir::toNativeSeparators(path);
        QCOMPARE(writeError([&] { ini.WriteInteger("option", "hintSize", 6); }), expected);
        QCOMPARE(writeError([&] { ini.WriteBool("form", "Saved", true); }), expected);
        if (readOnlyFile) {
            QCOMPARE(fileBytes(path), before);
            QCOMPARE(ini.ReadInteger("option", "hintSize", 20), 5);
            QCOMPARE(QDir(home.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"zvConf.ini"});
        } else if (how == "folder") {
            QVERIFY(QFileInfo(path).isDir());
            QCOMPARE(ini.ReadInteger("option", "hintSize", 20), 20);
            QCOMPARE(QDir(home.path()).entryList(QDir::Files | QDir::Hidden), QStringList{});
        } else {
            QVERIFY(!QDir(home.path() + "gone").exists());
        }
    }
};

QTEST_GUILESS_MAIN(TstIniFile)
#include "tst_inifile.moc"
