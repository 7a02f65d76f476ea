// Installing for the user: `cmake --install` of this build into a scratch program folder and
// XDG data folder puts the application-menu entry and the icon where the desktop looks,
// keeps the user's data when run again; the uninstall step removes what install added and
// never the data, and says where the data stays.
#include "ZvExecParse.h"
#include "platform/ZvAutostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace zv;

namespace {

const QString kStage = QStringLiteral(ZVJ_STAGE_DIR);
const QString kUninstall = QStringLiteral(ZVJ_SOURCE_DIR "/resources/desktop/uninstall.cmake");
const QList<int> kIconSizes = {16, 22, 24, 32, 48, 64, 128, 256};

QByteArray bytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void write(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}

struct Run
{
    int code = -1;
    QString output;
};

} // namespace

class TstDesktopInstall : public QObject
{
    Q_OBJECT

    QString m_cmake;
    QString m_build;
    std::unique_ptr<QTemporaryDir> m_scratch;

    QString home() const { return m_scratch->filePath(QStringLiteral("home")); }

    // xdgDataHome: "-" leaves XDG_DATA_HOME unset, anything else is its value.
    Run cmake(const QStringList& args, const QString& xdgDataHome)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "DESTDIR"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("HOME"), home());
        if (xdgDataHome != QLatin1String("-")) env.insert(QStringLiteral("XDG_DATA_HOME"), xdgDataHome);
        QProcess p;
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(m_scratch->path());
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(m_cmake, args);
        Run run;
        if (!p.waitForFinished(120000)) {
            p.kill();
            p.waitForFinished();
            run.output = QStringLiteral("timed out");
            return run;
        }
        run.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        run.output = QString::fromLocal8Bit(p.readAll());
        return run;
    }
    Run install(const QString& prefix, const QString& xdg)
    {
        return cmake({QStringLiteral("--install"), m_build, QStringLiteral("--prefix"), prefix}, xdg);
    }
    Run uninstall(const QString& prefix, const QString& xdg)
    {
        return cmake({QStringLiteral("-DZVJ_PREFIX=") + prefix, QStringLiteral("-P"), kUninstall}, xdg);
    }
    // Where the entry and icon must land for an XDG_DATA_HOME value.
    QString dataHome(const QString& xdg) const
    {
        return QDir::isAbsolutePath(xdg) ? xdg : home() + QStringLiteral("/.local/share");
    }
    QString xdgValue(const QString& row) const
    {
        if (row == QLatin1String("unset")) return QStringLiteral("-");
        if (row == QLatin1String("relative")) return QStringLiteral("rel/data");
        return m_scratch->filePath(QStringLiteral("xdg data"));
    }
    static QString entryPath(const QString& data)
    {
        return data + QStringLiteral("/applications/zorvik-jotboard.desktop");
    }
    static QStringList iconPaths(const QString& data)
    {
        QStringList paths;
        for (int size : kIconSizes)
            paths << QStringLiteral("%1/icons/hicolor/%2x%2/apps/zorvik-jotboard.png").arg(data).arg(size);
        paths << data + QStringLiteral("/icons/hicolor/scalable/apps/zorvik-jotboard.svg");
        return paths;
    }

private slots:
    void initTestCase()
    {
        m_cmake = QStandardPaths::findExecutable(QStringLiteral("cmake"));
        if (m_cmake.isEmpty()) QSKIP("cmake is missing");
        m_build = QFileInfo(kStage).absolutePath();
        if (!QFileInfo::exists(m_build + QStringLiteral("/cmake_install.cmake")) ||
            !QFileInfo(kStage + QStringLiteral("/jotboard")).isExecutable())
            QSKIP("the program is not built");
    }

    void init()
    {
        m_scratch = std::make_unique<QTemporaryDir>();
        QVERIFY(m_scratch->isValid());
        QDir().mkpath(home());
    }

    void install_data()
    {
        QTest::addColumn<QString>("xdg");    // "unset", "relative" or "absolute"
        QTest::addColumn<QString>("folder"); // the program folder's name
        QTest::newRow("default data folder") << "unset"
                                             << "zorvik-jotboard";
        QTest::newRow("XDG_DATA_HOME") << "absolute"
                                       << "zorvik-jotboard";
        QTest::newRow("relative XDG_DATA_HOME is ignored") << "relative"
                                                           << "zorvik-jotboard";
        QTest::newRow("program folder with blanks and quotes") << "absolute"
                                                               << "Zorvik's \"odd\" $folder 100%";
    }

    void install()
    {
        QFETCH(QString, xdg);
        QFETCH(QString, folder);
        const QString prefix = m_scratch->filePath(folder);
        const QString xdgHome = xdgValue(xdg);
        const Run run = install(prefix, xdgHome);
        QVERIFY2(run.code == 0, qPrintable(run.output));

        const QString data = dataHome(xdgHome);
        const QString entry = entryPath(data);
        QVERIFY2(QFileInfo::exists(entry), qPrintable(run.output));
        const QString text = QString::fromUtf8(bytes(entry));
        QCOMPARE(zvtest::EntryValue(text, QStringLiteral("Type")), QStringLiteral("Application"));
        QCOMPARE(zvtest::EntryValue(text, QStringLiteral("Name")), QStringLiteral("Zorvik Jotboard"));
        QVERIFY(!zvtest::EntryValue(text, QStringLiteral("Comment")).isEmpty());
        QCOMPARE(zvtest::EntryValue(text, QStringLiteral("Icon")), QStringLiteral("zorvik-jotboard"));
        QCOMPARE(zvtest::EntryValue(text, QStringLiteral("Categories")),
                 QStringLiteral("Office;ProjectManagement;"));
        QCOMPARE(zvtest::EntryValue(text, QStringLiteral("Terminal")), QStringLiteral("false"));
        // Qt names the window class after the application.
        QCOMPARE(zvtest::EntryValue(text, QStringLiteral("StartupWMClass")),
                 QStringLiteral("Zorvik Jotboard"));

        // A launcher runs exactly the installed program.
        bool ok = false;
        const QStringList args = zvtest::ParseExec(zvtest::EntryValue(text, QStringLiteral("Exec")), &ok);
        QVERIFY(ok);
        QCOMPARE(args, QStringList{prefix + QStringLiteral("/jotboard")});
        QVERIFY(QFileInfo(args.first()).isExecutable());

        const QStringList icons = iconPaths(data);
        for (int i = 0; i < kIconSizes.size(); ++i) {
            const QImage image(icons.at(i));
            QVERIFY2(!image.isNull(), qPrintable(icons.at(i)));
            QCOMPARE(image.size(), QSize(kIconSizes.at(i), kIconSizes.at(i)));
            QVERIFY(image.hasAlphaChannel());
        }
        QVERIFY(bytes(icons.last()).startsWith("<svg "));

        // Nothing lands beside the program folder in the data folder but what belongs there.
        if (xdg == QLatin1String("relative"))
            QVERIFY(!QFileInfo::exists(m_scratch->filePath(QStringLiteral("rel"))));

        const QString validate = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        if (validate.isEmpty()) QSKIP("desktop-file-validate is missing (package desktop-file-utils)");
        QProcess check;
        check.setProcessChannelMode(QProcess::MergedChannels);
        check.start(validate, {entry});
        QVERIFY(check.waitForFinished(20000));
        const QString said = QString::fromLocal8Bit(check.readAll());
        QVERIFY2(check.exitCode() == 0 && said.trimmed().isEmpty(), qPrintable(said + text));
    }

    void reinstallKeepsData()
    {
        const QString prefix = m_scratch->filePath(QStringLiteral("prog"));
        const QString xdg = xdgValue(QStringLiteral("absolute"));
        Run run = install(prefix, xdg);
        QVERIFY2(run.code == 0, qPrintable(run.output));
        const QString db = prefix + QStringLiteral("/zvData.zvb");
        const QString ini = prefix + QStringLiteral("/zvConf.ini");
        QVERIFY(QFileInfo::exists(db));
        write(db, "the user's tasks");
        write(ini, "[option]\r\nhintSize=33\r\n");

        run = install(prefix, xdg);
        QVERIFY2(run.code == 0, qPrintable(run.output));
        QCOMPARE(bytes(db), QByteArray("the user's tasks"));
        QCOMPARE(bytes(ini), QByteArray("[option]\r\nhintSize=33\r\n"));
        QVERIFY(QFileInfo::exists(entryPath(xdg)));
    }

    void uninstall_data()
    {
        QTest::addColumn<QStringList>("userFiles");  // made in the program folder after install
        QTest::addColumn<bool>("removeDatabase");    // the user deleted zvData.zvb before
        QTest::addColumn<QString>("autostartNames"); // "this", "other" or "" (no entry)
        QTest::addColumn<bool>("folderStays");

        QTest::newRow("data stays") << QStringList{"zvConf.ini"} << false << "" << true;
        QTest::newRow("journal stays with the database")
            << QStringList{"zvConf.ini", "zvData.zvb-wal", "zvData.zvb-shm"} << false << "" << true;
        QTest::newRow("a file of the user's own in Temp")
            << QStringList{"Temp/letter.txt"} << false << "" << true;
        QTest::newRow("no data left: the folder goes") << QStringList{} << true << "" << false;
        QTest::newRow("autostart of this program goes") << QStringList{} << false << "this" << true;
        QTest::newRow("autostart of another program stays") << QStringList{} << false << "other" << true;
    }

    void uninstall()
    {
        QFETCH(QStringList, userFiles);
        QFETCH(bool, removeDatabase);
        QFETCH(QString, autostartNames);
        QFETCH(bool, folderStays);

        const QString prefix = m_scratch->filePath(QStringLiteral("my programs/zorvik-jotboard"));
        const QString xdg = xdgValue(QStringLiteral("absolute"));
        const Run installed = install(prefix, xdg);
        QVERIFY2(installed.code == 0, qPrintable(installed.output));
        // Another program's icon in the same theme folder.
        const QString foreignIcon = xdg + QStringLiteral("/icons/hicolor/48x48/apps/other-program.png");
        write(foreignIcon, "icon");

        QMap<QString, QByteArray> kept;
        for (const QString& name : userFiles) {
            write(prefix + QLatin1Char('/') + name, name.toUtf8() + " of the user");
            kept.insert(name, name.toUtf8() + " of the user");
        }
        if (removeDatabase)
            QVERIFY(QFile::remove(prefix + QStringLiteral("/zvData.zvb")));
        else
            kept.insert(QStringLiteral("zvData.zvb"), bytes(prefix + QStringLiteral("/zvData.zvb")));

        const QString autostart = home() + QStringLiteral("/.config/autostart/Zorvik Jotboard.desktop");
        if (!autostartNames.isEmpty()) {
            const QString program = autostartNames == QLatin1String("this")
                                        ? prefix + QStringLiteral("/jotboard")
                                        : QStringLiteral("/opt/other/jotboard");
            write(autostart, ZvAutostart::EntryText(program).toUtf8());
        }

        const Run run = uninstall(prefix, xdg);
        QVERIFY2(run.code == 0, qPrintable(run.output));

        // What install added is gone...
        for (const char* name : {"jotboard", "jotboard-help.html", "Images", "Sounds", "Sounds/Alarm.wav"})
            QVERIFY2(!QFileInfo::exists(prefix + QLatin1Char('/') + QLatin1String(name)), name);
        QVERIFY(!QFileInfo::exists(entryPath(xdg)));
        for (const QString& icon : iconPaths(xdg))
            QVERIFY2(!QFileInfo::exists(icon), qPrintable(icon));
        QVERIFY(QFileInfo::exists(foreignIcon));
        QCOMPARE(QFileInfo::exists(autostart), autostartNames == QLatin1String("other"));

        // ...and the data is untouched, and its place is named.
        for (auto it = kept.cbegin(); it != kept.cend(); ++it)
            QCOMPARE(bytes(prefix + QLatin1Char('/') + it.key()), it.value());
        QCOMPARE(QFileInfo::exists(prefix), folderStays);
        if (!userFiles.contains(QStringLiteral("Temp/letter.txt")))
            QVERIFY(!QFileInfo::exists(prefix + QStringLiteral("/Temp")));
        if (!removeDatabase)
            QVERIFY2(run.output.contains(QStringLiteral("Your data stays in ") + prefix + QLatin1Char('/')),
                     qPrintable(run.output));

        // Uninstalling twice is harmless.
        const Run again = uninstall(prefix, xdg);
        QVERIFY2(again.code == 0, qPrintable(again.output));
        for (auto it = kept.cbegin(); it != kept.cend(); ++it)
            QCOMPARE(bytes(prefix + QLatin1Char('/') + it.key()), it.value());
    }
};

QTEST_GUILESS_MAIN(TstDesktopInstall)
#include "tst_desktopinstall.moc"
