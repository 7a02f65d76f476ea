// One running instance per program folder, checked with two real processes of the staged
// program (offscreen): a later start on the same folder hands over to the first and ends
// without touching the database; a start on another folder is an instance of its own.
#include "ZvTestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <memory>
#include <vector>

namespace {

const QString kExe = QStringLiteral(ZVJ_STAGE_DIR "/jotboard");

// Every file below a folder with its size and modification time (not for the shared-memory
// index, which the running instance's reads touch).
QStringList listing(const QString& folder)
{
    QStringList out;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        out << QStringLiteral("%1 %2 %3")
                   .arg(QDir(folder).relativeFilePath(info.filePath()))
                   .arg(info.isDir() ? -1 : info.size())
                   .arg(info.fileName().endsWith(QLatin1String("-shm"))
                            ? 0
                            : info.lastModified().toMSecsSinceEpoch());
    }
    out.sort();
    return out;
}

void copyFolder(const QString& from, const QString& to)
{
    QDir().mkpath(to);
    const QDir source(from);
    for (const QFileInfo& info : source.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (info.isDir())
            copyFolder(info.filePath(), to + QLatin1Char('/') + info.fileName());
        else
            QFile::copy(info.filePath(), to + QLatin1Char('/') + info.fileName());
    }
}

} // namespace

class TstSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void secondStart_data();
    void secondStart();
    void terminateRunsExit();
    void simultaneousStarts();
    void cleanupTestCase();

private:
    // A program folder with a fresh database and the staged pictures, sound and help.
    std::unique_ptr<QTemporaryDir> makeFolder();
    std::unique_ptr<QProcess> start(const QString& folder);

    QTemporaryDir m_runtime;
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<QProcess> m_first;
};

std::unique_ptr<QTemporaryDir> TstSingleInstance::makeFolder()
{
    auto dir = std::make_unique<QTemporaryDir>();
    zvtest::MakeDatabase(dir->filePath(QStringLiteral("zvData.zvb")));
    const QString stage = QStringLiteral(ZVJ_STAGE_DIR);
    copyFolder(stage + QStringLiteral("/Images"), dir->filePath(QStringLiteral("Images")));
    copyFolder(stage + QStringLiteral("/Sounds"), dir->filePath(QStringLiteral("Sounds")));
    QFile::copy(stage + QStringLiteral("/jotboard-help.html"),
                dir->filePath(QStringLiteral("jotboard-help.html")));
    return dir;
}

std::unique_ptr<QProcess> TstSingleInstance::start(const QString& folder)
{
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ZVJ_HOME"), folder + QLatin1Char('/'));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // All processes of this test share one runtime folder (the lock file lives there) and
    // never see the user's autostart entries.
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_runtime.filePath(QStringLiteral("config")));
    process->setProcessEnvironment(env);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->start(kExe, {});
    return process;
}

void TstSingleInstance::initTestCase()
{
    if (!QFileInfo(kExe).isExecutable()) QSKIP("the staged program is not built");
    QVERIFY(m_runtime.isValid());
    QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_home = makeFolder();
    m_first = start(m_home->path());
    QVERIFY2(m_first->waitForStarted(5000), qPrintable(m_first->errorString()));
    // Give it time to open its database and start listening.
    QTest::qWait(1500);
    QCOMPARE(m_first->state(), QProcess::Running);
}

void TstSingleInstance::secondStart_data()
{
    QTest::addColumn<QString>("folder"); // "first", "other", or "first without database"
    QTest::addColumn<bool>("handsOver");

    QTest::newRow("same folder") << "first" << true;
    QTest::newRow("same folder, database missing") << "first without database" << true;
    QTest::newRow("another folder") << "other" << false;
}

void TstSingleInstance::secondStart()
{
    QFETCH(QString, folder);
    QFETCH(bool, handsOver);

    std::unique_ptr<QTemporaryDir> other;
    QString path = m_home->path();
    const QString db = m_home->filePath(QStringLiteral("zvData.zvb"));
    const QString aside = m_runtime.filePath(QStringLiteral("zvData.zvb.aside"));
    if (folder == QLatin1String("other")) {
        other = makeFolder();
        path = other->path();
    } else if (folder == QLatin1String("first without database")) {
        // The running instance keeps its open file; the name is gone from the folder.
        QVERIFY(QFile::rename(db, aside));
    }
    const QStringList before = listing(path);

    auto second = start(path);
    QVERIFY2(second->waitForStarted(5000), qPrintable(second->errorString()));
    const bool ended = second->waitForFinished(3000);
    const QString output = QString::fromLocal8Bit(second->readAll());

    if (handsOver) {
        QVERIFY2(ended, "a second start on the same folder must end at once");
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QVERIFY2(second->exitCode() == 0, qPrintable(output));
        // Nothing was opened or created in the folder: no database, no journal, no settings.
        QCOMPARE(listing(path), before);
    } else {
        QVERIFY2(!ended,
                 qPrintable(QStringLiteral("a start on another folder is its own instance: %1").arg(output)));
        second->terminate();
        if (!second->waitForFinished(5000)) second->kill();
        second->waitForFinished(2000);
    }
    if (folder == QLatin1String("first without database")) QVERIFY(QFile::rename(aside, db));
    QCOMPARE(m_first->state(), QProcess::Running);
}

void TstSingleInstance::terminateRunsExit()
{
    const QString ini = m_home->filePath(QStringLiteral("zvConf.ini"));
    m_first->terminate();
    QVERIFY(m_first->waitForFinished(10000));
    QCOMPARE(m_first->exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_first->exitCode(), 0);
    QFile file(ini);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    QVERIFY2(text.contains(QStringLiteral("[form]"), Qt::CaseInsensitive), qPrintable(text));
    for (const char* key : {"Left=", "Top=", "Right=", "Bottom=", "Saved=1"})
        QVERIFY2(text.contains(QLatin1String(key)), key);
    // Exit checkpoints the journal into the database file.
    QCOMPARE(QFileInfo(m_home->filePath(QStringLiteral("zvData.zvb-wal"))).size(), 0);
}

void TstSingleInstance::simultaneousStarts()
{
    // Three starts at the same moment on a fresh folder: the lock decides, one instance stays.
    auto home = makeFolder();
    std::vector<std::unique_ptr<QProcess>> processes;
    for (int i = 0; i < 3; ++i)
        processes.push_back(start(home->path()));
    for (auto& process : processes)
        QVERIFY(process->waitForStarted(5000));
    QElapsedTimer waited;
    waited.start();
    auto running = [&] {
        return std::count_if(processes.begin(), processes.end(),
                             [](const auto& p) { return p->state() == QProcess::Running; });
    };
    while (running() > 1 && waited.elapsed() < 8000)
        QTest::qWait(100);
    QTest::qWait(500);
    QCOMPARE(running(), 1);
    for (auto& process : processes) {
        if (process->state() == QProcess::Running) {
            process->terminate();
            QVERIFY(process->waitForFinished(10000));
        }
        QCOMPARE(process->exitStatus(), QProcess::NormalExit);
        QCOMPARE(process->exitCode(), 0);
    }
}

void TstSingleInstance::cleanupTestCase()
{
    if (m_first && m_first->state() != QProcess::NotRunning) {
        m_first->kill();
        m_first->waitForFinished(2000);
    }
}

QTEST_GUILESS_MAIN(TstSingleInstance)
#include "tst_singleinstance.moc"
