#include "ZvExecParse.h"
#include "platform/ZvAutostart.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace zv;

class TestAutostart : public QObject
{
    Q_OBJECT

    QTemporaryDir m_config;

    static QString readAll(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    static void writeAll(const QString& path, const QString& text)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text.toUtf8());
    }
    QString autostartFolder() const { return m_config.path() + QStringLiteral("/autostart"); }

private slots:
    void init()
    {
        QDir(autostartFolder()).removeRecursively();
        ZvAutostart::setConfigHomeOverride(m_config.path());
    }
    void cleanupTestCase() { ZvAutostart::setConfigHomeOverride(QString()); }

    void followsXdgConfigHome()
    {
        ZvAutostart::setConfigHomeOverride(QString());
        const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", "/some/where");
        QCOMPARE(ZvAutostart::EntryPath(), QStringLiteral("/some/where/autostart/Zorvik Jotboard.desktop"));
        // A relative value is not a base folder: the default stands.
        qputenv("XDG_CONFIG_HOME", "relative/dir");
        QCOMPARE(ZvAutostart::AutostartFolder(), QDir::homePath() + QStringLiteral("/.config/autostart"));
        qputenv("XDG_CONFIG_HOME", saved);
    }

    void onCreatesFolderAndEntry()
    {
        QVERIFY(!QDir(autostartFolder()).exists());
        QVERIFY(!ZvAutostart::IsAutoStart());
        QVERIFY(ZvAutostart::SetAutoStart(true, QStringLiteral("/opt/zv/jotboard")));
        QVERIFY(ZvAutostart::IsAutoStart());
        const QString text = readAll(ZvAutostart::EntryPath());
        QVERIFY(text.startsWith(QStringLiteral("[Desktop Entry]\n")));
        QVERIFY(text.contains(QStringLiteral("\nExec=\"/opt/zv/jotboard\"\n")));
        QVERIFY(text.contains(QStringLiteral("\nType=Application\n")));
    }

    void existingEntryIsKept()
    {
        const QString foreign =
            QStringLiteral("[Desktop Entry]\nType=Application\nExec=/elsewhere/jotboard\n");
        writeAll(ZvAutostart::EntryPath(), foreign);
        QVERIFY(ZvAutostart::IsAutoStart());
        QVERIFY(ZvAutostart::SetAutoStart(true, QStringLiteral("/opt/zv/jotboard")));
        QCOMPARE(readAll(ZvAutostart::EntryPath()), foreign);
    }

    void offDeletesEntry()
    {
        QVERIFY(ZvAutostart::SetAutoStart(true, QStringLiteral("/opt/zv/jotboard")));
        QVERIFY(ZvAutostart::SetAutoStart(false, QString()));
        QVERIFY(!QFile::exists(ZvAutostart::EntryPath()));
        QVERIFY(!ZvAutostart::IsAutoStart());
        QVERIFY(ZvAutostart::SetAutoStart(false, QString())); // nothing there: nothing to do
    }

    void disabledEntry_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("disabled");
        QTest::newRow("plain") << "[Desktop Entry]\nExec=x\n" << false;
        QTest::newRow("hidden") << "[Desktop Entry]\nExec=x\nHidden=true\n" << true;
        QTest::newRow("hidden false") << "[Desktop Entry]\nHidden=false\n" << false;
        QTest::newRow("gnome off") << "[Desktop Entry]\nX-GNOME-Autostart-enabled=false\n" << true;
        QTest::newRow("gnome on") << "[Desktop Entry]\nX-GNOME-Autostart-enabled=true\n" << false;
        QTest::newRow("blanks") << "[Desktop Entry]\n  Hidden = true \n" << true;
        QTest::newRow("other group") << "[Desktop Entry]\nExec=x\n[Desktop Action a]\nHidden=true\n" << false;
        QTest::newRow("comment") << "[Desktop Entry]\n#Hidden=true\n" << false;
    }
    void disabledEntry()
    {
        QFETCH(QString, text);
        QFETCH(bool, disabled);
        QCOMPARE(ZvAutostart::EntryDisabled(text), disabled);
        writeAll(ZvAutostart::EntryPath(), text);
        QCOMPARE(ZvAutostart::IsAutoStart(), !disabled);
    }

    void disabledEntryIsAbsent()
    {
        const QString hidden = QStringLiteral("[Desktop Entry]\nExec=/elsewhere/jotboard\nHidden=true\n");
        writeAll(ZvAutostart::EntryPath(), hidden);
        // Off leaves a switched-off entry alone (it may mask a system-wide one)...
        QVERIFY(ZvAutostart::SetAutoStart(false, QString()));
        QCOMPARE(readAll(ZvAutostart::EntryPath()), hidden);
        // ...on replaces it with a working one.
        QVERIFY(ZvAutostart::SetAutoStart(true, QStringLiteral("/opt/zv/jotboard")));
        QVERIFY(ZvAutostart::IsAutoStart());
        QVERIFY(readAll(ZvAutostart::EntryPath()).contains(QStringLiteral("Exec=\"/opt/zv/jotboard\"")));
    }

    void execQuoting_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("exec");
        // Expected texts are as they stand in the file.
        QTest::newRow("space") << "/home/a b/jotboard"
                               << "\"/home/a b/jotboard\"";
        QTest::newRow("quote") << "/x/a\"b"
                               << "\"/x/a\\\\\"b\"";
        QTest::newRow("dollar") << "/x/$HOME"
                                << "\"/x/\\\\$HOME\"";
        QTest::newRow("backtick") << "/x/`id`"
                                  << "\"/x/\\\\`id\\\\`\"";
        QTest::newRow("backslash") << "/x/a\\b"
                                   << "\"/x/a\\\\\\\\b\"";
        QTest::newRow("percent") << "/x/100%u"
                                 << "\"/x/100%%u\"";
        QTest::newRow("newline") << "/x/a\nb"
                                 << "\"/x/a\\nb\"";
    }
    void execQuoting()
    {
        QFETCH(QString, path);
        QFETCH(QString, exec);
        QCOMPARE(ZvAutostart::ExecArgument(path), exec);
        QVERIFY(ZvAutostart::SetAutoStart(true, path));
        QVERIFY(
            readAll(ZvAutostart::EntryPath()).contains(QStringLiteral("\nExec=") + exec + QLatin1Char('\n')));
    }

    // What the session will run: with a data folder through env, so the same data opens.
    void execLine_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("dataFolder");
        QTest::addColumn<QStringList>("args");

        QTest::newRow("no data folder") << "/opt/zv/jotboard" << QString() << QStringList{"/opt/zv/jotboard"};
        QTest::newRow("data folder") << "/opt/zv/jotboard"
                                     << "/srv/notes/"
                                     << QStringList{"env", "ZVJ_HOME=/srv/notes/", "/opt/zv/jotboard"};
        QTest::newRow("spaces") << "/home/a b/jotboard"
                                << "/data dir/"
                                << QStringList{"env", "ZVJ_HOME=/data dir/", "/home/a b/jotboard"};
        QTest::newRow("quotes") << "/x/\"q\"/jotboard"
                                << "/d/it's \"here\"/"
                                << QStringList{"env", "ZVJ_HOME=/d/it's \"here\"/", "/x/\"q\"/jotboard"};
        QTest::newRow("shell characters")
            << "/x/$HOME/`id`/jotboard"
            << "/d/a\\b;c&d|e/" << QStringList{"env", "ZVJ_HOME=/d/a\\b;c&d|e/", "/x/$HOME/`id`/jotboard"};
        QTest::newRow("percent") << "/x/100%u/jotboard"
                                 << "/d/%f %%/"
                                 << QStringList{"env", "ZVJ_HOME=/d/%f %%/", "/x/100%u/jotboard"};
        QTest::newRow("line break") << "/x/jotboard"
                                    << "/d/a\nb/" << QStringList{"env", "ZVJ_HOME=/d/a\nb/", "/x/jotboard"};
    }
    void execLine()
    {
        QFETCH(QString, path);
        QFETCH(QString, dataFolder);
        QFETCH(QStringList, args);
        QVERIFY(ZvAutostart::SetAutoStart(true, path, dataFolder));
        const QString exec = zvtest::EntryValue(readAll(ZvAutostart::EntryPath()), QStringLiteral("Exec"));
        QCOMPARE(exec, ZvAutostart::ExecLine(path, dataFolder));
        bool ok = false;
        QCOMPARE(zvtest::ParseExec(exec, &ok), args);
        QVERIFY2(ok, qPrintable(exec));
    }

    void execLineAsWritten()
    {
        QCOMPARE(ZvAutostart::ExecLine(QStringLiteral("/path/jotboard"), QStringLiteral("/data dir/")),
                 QStringLiteral("env \"ZVJ_HOME=/data dir/\" \"/path/jotboard\""));
    }

    // An entry written with ZVJ_HOME set names the program folder this run uses, made
    // absolute: the session starts it from another working folder.
    void dataFolderToKeep_data()
    {
        QTest::addColumn<QByteArray>("zvjHome"); // "-" for unset
        QTest::addColumn<QString>("folder");
        QTest::newRow("unset") << QByteArray("-") << QString();
        QTest::newRow("empty") << QByteArray("") << QString();
        QTest::newRow("absolute") << QByteArray("/data dir/") << QStringLiteral("/data dir/");
        QTest::newRow("no final slash") << QByteArray("/data dir") << QStringLiteral("/data dir/");
        QTest::newRow("relative") << QByteArray("rel/dir")
                                  << QDir::currentPath() + QStringLiteral("/rel/dir/");
    }
    void dataFolderToKeep()
    {
        QFETCH(QByteArray, zvjHome);
        QFETCH(QString, folder);
        const QByteArray saved = qgetenv("ZVJ_HOME");
        const bool wasSet = qEnvironmentVariableIsSet("ZVJ_HOME");
        if (zvjHome == "-")
            qunsetenv("ZVJ_HOME");
        else
            qputenv("ZVJ_HOME", zvjHome);
        const QString kept = ZvAutostart::DataFolderToKeep();
        if (wasSet)
            qputenv("ZVJ_HOME", saved);
        else
            qunsetenv("ZVJ_HOME");
        QCOMPARE(kept, folder);
    }
};

QTEST_GUILESS_MAIN(TestAutostart)
#include "tst_autostart.moc"
