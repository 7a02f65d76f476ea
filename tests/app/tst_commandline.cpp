// The command line: what it accepts, and each capture command with and without a running
// instance, checked with real processes of the staged program (offscreen) and plain SQL.
// Also what the single-instance socket refuses: bytes of another protocol, and a request
// from another user id (run as uid 65534 where the test runs as root).
#include "ZvSyncTestKit.h"
#include "ZvTestSupport.h"
#include "app/ZvCommandLine.h"
#include "platform/ZvSingleInstance.h"
#include "store/pU_Funcs.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUuid>
#include <QtTest>
#include <cstdio>
#include <memory>
#include <unistd.h>

using namespace zv;
using Action = TZvCommandLine::Action;

namespace {

const QString kExe = QStringLiteral(ZVJ_STAGE_DIR "/jotboard");
const QRegularExpression
    kGuid(QStringLiteral("^\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}$"));

struct Run
{
    int code = -1;
    QString out;
    QString err;
};

// A client of another user: sends one valid request and prints what comes back.
const char* kOtherUserClient = R"(
import json, socket, struct, sys
s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
s.connect("\0" + sys.argv[1])
body = json.dumps({"command": "add-task", "text": "from another user"}).encode()
try:
    s.sendall(b"ZVJB" + bytes([1]) + struct.pack(">I", len(body)) + body)
except BrokenPipeError:
    pass  # refused before the request was read
s.settimeout(5)
data = b""
while True:
    try:
        chunk = s.recv(4096)
    except ConnectionResetError:
        break  # the refusal closes with the request unread: the reset follows the answer
    if not chunk:
        break
    data += chunk
print(data[9:].decode(errors="replace"))
)";

} // namespace

class TstCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void parse_data();
    void parse();
    void captureText_data();
    void captureText();

    void helpVersionUsage_data();
    void helpVersionUsage();
    void captureAlone_data();
    void captureAlone();
    void captureAloneFails_data();
    void captureAloneFails();
    void readOnlyDatabaseAsAnotherUser();
    void aStartThatHoldsTheLockIsWaitedFor();
    void handedToTheRunningInstance();
    void windowCommandsStartTheProgram_data();
    void windowCommandsStartTheProgram();
    void socketRefusesStrangers();
    void syncAlone_data();
    void syncAlone();
    void syncHandedOverAndMassDeletionRefused();

private:
    Run run(const QStringList& args, const QByteArray& input = {}, const QString& home = {});
    std::unique_ptr<QProcess> startInstance();
    QString home() const { return m_folder->path(); }

    QTemporaryDir m_runtime;
    std::unique_ptr<zvtest::TempProgramFolder> m_folder;
    std::unique_ptr<QProcess> m_instance;
};

void TstCommandLine::initTestCase()
{
    QVERIFY(m_runtime.isValid());
    QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // The lock file lives in the runtime folder: this process and the program share it.
    qputenv("XDG_RUNTIME_DIR", m_runtime.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", m_runtime.filePath(QStringLiteral("config")).toUtf8());
}

void TstCommandLine::cleanup()
{
    if (m_instance && m_instance->state() != QProcess::NotRunning) {
        m_instance->terminate();
        if (!m_instance->waitForFinished(zvtest::Scaled(10000))) m_instance->kill();
    }
    m_instance.reset();
    m_folder.reset();
}

// ---- Parsing ------------------------------------------------------------------------------

void TstCommandLine::parse_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("verbose");

    QTest::newRow("none") << QStringList{} << int(Action::Start) << "" << false;
    QTest::newRow("add-task") << QStringList{"--add-task", "milk"} << int(Action::AddTask) << "milk" << false;
    QTest::newRow("add-task=") << QStringList{"--add-task=a=b"} << int(Action::AddTask) << "a=b" << false;
    QTest::newRow("text that looks like an option")
        << QStringList{"--add-memo", "--help"} << int(Action::AddMemo) << "--help" << false;
    QTest::newRow("stdin, verbose after")
        << QStringList{"--add-memo", "-", "--verbose"} << int(Action::AddMemo) << "-" << true;
    QTest::newRow("verbose first") << QStringList{"--verbose", "--new-task"} << int(Action::NewTask) << ""
                                   << true;
    QTest::newRow("new-memo") << QStringList{"--new-memo"} << int(Action::NewMemo) << "" << false;
    QTest::newRow("show") << QStringList{"--show"} << int(Action::Show) << "" << false;
    QTest::newRow("help") << QStringList{"--help"} << int(Action::Help) << "" << false;
    QTest::newRow("version") << QStringList{"--version"} << int(Action::Version) << "" << false;
    QTest::newRow("sync") << QStringList{"--sync", "--verbose"} << int(Action::Sync) << "" << true;
    QTest::newRow("unknown option") << QStringList{"--synch"} << int(Action::Invalid) << "" << false;
    QTest::newRow("a value for sync") << QStringList{"--sync=now"} << int(Action::Invalid) << "" << false;
    QTest::newRow("short option") << QStringList{"-h"} << int(Action::Invalid) << "" << false;
    QTest::newRow("Qt's own option") << QStringList{"-platform", "xcb"} << int(Action::Invalid) << ""
                                     << false;
    QTest::newRow("a plain argument") << QStringList{"milk"} << int(Action::Invalid) << "" << false;
    QTest::newRow("no text") << QStringList{"--add-task"} << int(Action::Invalid) << "" << false;
    QTest::newRow("two commands") << QStringList{"--show", "--new-task"} << int(Action::Invalid) << ""
                                  << false;
    QTest::newRow("the same twice") << QStringList{"--add-task", "a", "--add-task", "b"}
                                    << int(Action::Invalid) << "" << false;
    QTest::newRow("value for a switch") << QStringList{"--show=1"} << int(Action::Invalid) << "" << false;
}

void TstCommandLine::parse()
{
    QFETCH(QStringList, args);
    QFETCH(int, action);
    QFETCH(QString, text);
    QFETCH(bool, verbose);
    const TZvCommandLine c = TZvCommandLine::Parse(args);
    QCOMPARE(int(c.action), action);
    QCOMPARE(c.error.isEmpty(), action != int(Action::Invalid));
    if (action == int(Action::Invalid)) return;
    QCOMPARE(c.text, text);
    QCOMPARE(c.verbose, verbose);
}

void TstCommandLine::captureText_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("expected"); // the text, or a part of the error

    QTest::newRow("plain") << "milk" << QByteArray() << true << "milk";
    QTest::newRow("LF lines get CR LF") << "a\nb\n" << QByteArray() << true << "a\r\nb\r\n";
    QTest::newRow("CR LF stays") << "a\r\nb" << QByteArray() << true << "a\r\nb";
    QTest::newRow("lone CR") << "a\rb" << QByteArray() << true << "a\r\nb";
    QTest::newRow("stdin whole") << "-" << QByteArray("one\ntwo\n\nthree") << true
                                 << "one\r\ntwo\r\n\r\nthree";
    QTest::newRow("stdin UTF-8") << "-" << QByteArray("caf\xc3\xa9") << true
                                 << QString::fromUtf8("caf\xc3\xa9");
    QTest::newRow("empty") << "" << QByteArray() << false << "empty";
    QTest::newRow("blanks and breaks") << " \n\t\r\n" << QByteArray() << false << "empty";
    QTest::newRow("stdin empty") << "-" << QByteArray() << false << "empty";
    QTest::newRow("stdin not UTF-8") << "-" << QByteArray("\xff\xfe x") << false << "UTF-8";
    QTest::newRow("NUL") << "-" << QByteArray("a\0b", 3) << false << "NUL";
    QTest::newRow("exactly 1 MB") << "-" << QByteArray(int(InstanceWire::kMaxTextBytes), 'x') << true << "";
    QTest::newRow("1 MB and a byte") << "-" << QByteArray(int(InstanceWire::kMaxTextBytes) + 1, 'x') << false
                                     << "1 MB";
    QTest::newRow("argument over 1 MB")
        << QString(int(InstanceWire::kMaxTextBytes) / 2 + 1, QChar(0xe9)) << QByteArray() << false << "1 MB";
}

void TstCommandLine::captureText()
{
    QFETCH(QString, argument);
    QFETCH(QByteArray, input);
    QFETCH(bool, ok);
    QFETCH(QString, expected);
    std::FILE* in = std::tmpfile();
    QVERIFY(in);
    std::fwrite(input.constData(), 1, size_t(input.size()), in);
    std::rewind(in);
    QString text, error;
    QCOMPARE(CaptureText(argument, in, &text, &error), ok);
    std::fclose(in);
    if (ok) {
        if (!expected.isEmpty()) QCOMPARE(text, expected);
        QVERIFY(error.isEmpty());
    } else {
        QVERIFY2(error.contains(expected), qPrintable(error));
    }
}

// ---- Processes --------------------------------------------------------------------------

Run TstCommandLine::run(const QStringList& args, const QByteArray& input, const QString& folder)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ZVJ_HOME"), folder.isEmpty() ? home() : folder);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(kExe, args);
    if (!p.waitForStarted(5000)) return {};
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(zvtest::Scaled(30000))) {
        p.kill();
        p.waitForFinished(2000);
        return {};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

std::unique_ptr<QProcess> TstCommandLine::startInstance()
{
    auto p = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ZVJ_HOME"), home());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p->setProcessEnvironment(env);
    p->setProcessChannelMode(QProcess::MergedChannels);
    p->start(kExe, {});
    p->waitForStarted(5000);
    // Listening once a request is answered.
    const QString name = TSingleInstance::ServerName(kAppTitle, home());
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < zvtest::Scaled(10000)) {
        QLocalSocket s;
        s.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
        s.connectToServer(name);
        if (s.waitForConnected(200)) break;
        QTest::qWait(100);
    }
    return p;
}

void TstCommandLine::helpVersionUsage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::newRow("help") << QStringList{"--help"} << 0 << "Usage: jotboard"
                          << "";
    QTest::newRow("version") << QStringList{"--version"} << 0 << "Zorvik Jotboard 1."
                             << "";
    QTest::newRow("unknown option: usage, 2") << QStringList{"--bogus"} << 2 << ""
                                              << "jotboard: unknown option '--bogus'\nUsage: jotboard";
    QTest::newRow("no text: 2") << QStringList{"--add-memo"} << 2 << ""
                                << "needs a text";
    QTest::newRow("empty text: 2, no database touched") << QStringList{"--add-task", "  "} << 2 << ""
                                                        << "jotboard: the text is empty\n";
}

void TstCommandLine::helpVersionUsage()
{
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, out);
    QFETCH(QString, err);
    if (!QFileInfo(kExe).isExecutable()) QSKIP("the staged program is not built");
    // No folder at all: none of these may need one.
    const Run r = run(args, {}, QStringLiteral("/nonexistent/"));
    QCOMPARE(r.code, code);
    if (out.isEmpty())
        QCOMPARE(r.out, QString());
    else
        QVERIFY2(r.out.startsWith(out), qPrintable(r.out));
    if (err.isEmpty())
        QCOMPARE(r.err, QString());
    else
        QVERIFY2(r.err.startsWith(err) || r.err.contains(err), qPrintable(r.err));
}

void TstCommandLine::captureAlone_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("content");
    QTest::newRow("task") << QStringList{"--add-task", "milk"} << QByteArray() << "tasks"
                          << "milk";
    QTest::newRow("task, verbose") << QStringList{"--verbose", "--add-task", "eggs  \n"} << QByteArray()
                                   << "tasks"
                                   << "eggs";
    QTest::newRow("memo from stdin") << QStringList{"--add-memo", "-"} << QByteArray("first\nsecond\n")
                                     << "memos"
                                     << "first\r\nsecond";
}

void TstCommandLine::captureAlone()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, input);
    QFETCH(QString, table);
    QFETCH(QString, content);
    if (!QFileInfo(kExe).isExecutable()) QSKIP("the staged program is not built");
    m_folder = std::make_unique<zvtest::TempProgramFolder>();
    const Run r = run(args, input);
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(r.err, QString());
    const QString id = m_folder
                           ->scalar(QStringLiteral("select %1 from %2")
                                        .arg(table == QLatin1String("tasks") ? "tid" : "mid", table))
                           .toString();
    QVERIFY2(kGuid.match(id).hasMatch(), qPrintable(id));
    QCOMPARE(m_folder->count("select count(*) from " + table), 1);
    QCOMPARE(m_folder->scalar("select content from " + table).toString(), content);
    QCOMPARE(m_folder->scalar("select pid from " + table).toString(), QStringLiteral("root"));
    const double created = m_folder->scalar("select createTime from " + table).toDouble();
    QVERIFY(qAbs(created - zv::Now()) * 86400 < 60);
    if (args.contains(QStringLiteral("--verbose")))
        QVERIFY2(r.out.contains(id), qPrintable(r.out));
    else
        QCOMPARE(r.out, QString()); // quiet on success
    // No settings written, and the journal written back as at Exit.
    QVERIFY(!QFileInfo::exists(m_folder->iniPath()));
    QCOMPARE(QFileInfo(m_folder->dbPath() + "-wal").size(), 0);
}

void TstCommandLine::captureAloneFails_data()
{
    QTest::addColumn<QByteArray>("database"); // "none", or the bytes of the file
    QTest::newRow("no database") << QByteArray("none");
    QTest::newRow("not a database") << QByteArray("this is not an SQLite file at all, just text");
    QTest::newRow("a damaged header")
        << QByteArray("SQLite format 3\0\x10\x00garbage", 24) + QByteArray(4000, 'x');
}

void TstCommandLine::captureAloneFails()
{
    QFETCH(QByteArray, database);
    if (!QFileInfo(kExe).isExecutable()) QSKIP("the staged program is not built");
    m_folder = std::make_unique<zvtest::TempProgramFolder>(false);
    if (database != "none") {
        QFile f(m_folder->dbPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(database);
    }
    const Run r = run({"--add-task", "milk"});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.out, QString());
    // One line, the program's name first.
    QVERIFY2(r.err.startsWith(QLatin1String("jotboard: ")) && r.err.count(QLatin1Char('\n')) == 1,
             qPrintable(r.err));
    // Nothing made: a missing database stays missing.
    if (database == "none") QVERIFY(!QFileInfo::exists(m_folder->dbPath()));
}

void TstCommandLine::readOnlyDatabaseAsAnotherUser()
{
    if (!QFileInfo(kExe).isExecutable()) QSKIP("the staged program is not built");
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (geteuid() != 0 || setpriv.isEmpty()) QSKIP("needs root and setpriv to run as another user");
    // As root nothing is read-only: the command runs as uid 65534 on a database it may
    // read but not write.
    QTemporaryDir base(QStringLiteral("/tmp/zvj-ro-XXXXXX"));
    QFile::setPermissions(base.path(), QFileDevice::Permissions(0x7755));
    m_folder = std::make_unique<zvtest::TempProgramFolder>();
    const QString folder = base.filePath(QStringLiteral("home/"));
    QDir().mkpath(folder);
    QVERIFY(QFile::copy(m_folder->dbPath(), folder + "zvData.zvb"));
    QFile::setPermissions(base.filePath("home"), QFileDevice::Permissions(0x7755));
    QFile::setPermissions(folder + "zvData.zvb", QFileDevice::Permissions(0x4444));
    const QString runtime = base.filePath(QStringLiteral("run"));
    QDir().mkpath(runtime);
    QVERIFY(::chown(QFile::encodeName(runtime).constData(), 65534, 65534) == 0);
    QFile::setPermissions(runtime, QFileDevice::Permissions(0x7700));

    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ZVJ_HOME"), folder);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.insert(QStringLiteral("HOME"), runtime);
    // A build with coverage counters writes them at exit, into the build folder that this
    // user may not write, and says so on standard error: they go to its own folder instead.
    env.insert(QStringLiteral("GCOV_PREFIX"), runtime + QStringLiteral("/gcov"));
    p.setProcessEnvironment(env);
    p.start(setpriv, {"--reuid=65534", "--regid=65534", "--clear-groups", kExe, "--add-task", "milk"});
    QVERIFY(p.waitForFinished(zvtest::Scaled(30000)));
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QCOMPARE(p.exitCode(), 1);
    QVERIFY2(err.startsWith(QLatin1String("jotboard: ")) && err.count(QLatin1Char('\n')) == 1,
             qPrintable(err));
    QCOMPARE(m_folder->count("select count(*) from tasks"), 0);
}

void TstCommandLine::aStartThatHoldsTheLockIsWaitedFor()
{
    if (!QFileInfo(kExe).isExecutable()) QSKIP("the staged program is not built");
    m_folder = std::make_unique<zvtest::TempProgramFolder>();
    // This process stands for a start that holds the lock but is not listening yet.
    TSingleInstance holder(kAppTitle, home());
    InstanceAnswer unused;
    QCOMPARE(holder.HandOff({{"command", "none"}}, &unused), TSingleInstance::Outcome::Alone);

    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ZVJ_HOME"), home());
    p.setProcessEnvironment(env);
    QElapsedTimer t;
    t.start();
    p.start(kExe, {"--add-task", "after the wait"});
    QTest::qWait(1500);
    QCOMPARE(p.state(), QProcess::Running); // waiting, not writing beside the other
    QCOMPARE(m_folder->count("select count(*) from tasks"), 0);
    holder.Unlock();
    QVERIFY(p.waitForFinished(zvtest::Scaled(15000)));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(m_folder->count("select count(*) from tasks where content='after the wait'"), 1);

    // A holder that never lets go: the command gives up with one line after the limit.
    QCOMPARE(holder.HandOff({{"command", "none"}}, &unused), TSingleInstance::Outcome::Alone);
    t.restart();
    const Run r = run({"--add-task", "never"});
    QCOMPARE(r.code, 1);
    QVERIFY(t.elapsed() >= TSingleInstance::kAnswerLimitMs - 500);
    QVERIFY2(r.err.startsWith(QLatin1String("jotboard: ")), qPrintable(r.err));
    QCOMPARE(m_folder->count("select count(*) from tasks where content='never'"), 0);
    holder.Unlock();
}

void TstCommandLine::handedToTheRunningInstance()
{
    if (!QFileInfo(kExe).isExecutable()) QSKIP("the staged program is not built");
    m_folder = std::make_unique<zvtest::TempProgramFolder>();
    m_instance = startInstance();
    QCOMPARE(m_instance->state(), QProcess::Running);

    Run r = run({"--verbose", "--add-task", "milk\nand bread"});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    const QString id = m_folder->scalar("select tid from tasks").toString();
    QVERIFY2(kGuid.match(id).hasMatch(), qPrintable(id));
    // The id printed is the one the instance stored, at once (durable before it answered).
    QVERIFY2(r.out.contains(id) && r.out.contains(QLatin1String("running")), qPrintable(r.out));
    QCOMPARE(m_folder->scalar("select content from tasks").toString(), QStringLiteral("milk\r\nand bread"));

    r = run({"--add-memo", "-"}, "memo\nfrom stdin\n");
    QVERIFY2(r.code == 0 && r.out.isEmpty() && r.err.isEmpty(), qPrintable(r.err));
    QCOMPARE(m_folder->scalar("select content from memos").toString(), QStringLiteral("memo\r\nfrom stdin"));

    for (const char* command : {"--show", "--new-task", "--new-memo"}) {
        r = run({command});
        QVERIFY2(r.code == 0 && r.err.isEmpty(), qPrintable(command + (": " + r.err)));
    }
    r = run({});
    QCOMPARE(r.code, 0); // a second start ends at once
    QCOMPARE(m_instance->state(), QProcess::Running);
    // The tray's Add Task and Add Memo left new items in their editors: nothing stored for them.
    QCOMPARE(m_folder->count("select count(*) from tasks"), 1);
    QCOMPARE(m_folder->count("select count(*) from memos"), 1);
}

void TstCommandLine::windowCommandsStartTheProgram_data()
{
    QTest::addColumn<QString>("option");
    QTest::newRow("show") << "--show";
    QTest::newRow("new-task") << "--new-task";
    QTest::newRow("new-memo") << "--new-memo";
}

// With none running, a window command starts the program, shown even when it would start
// hidden in the tray.
void TstCommandLine::windowCommandsStartTheProgram()
{
    QFETCH(QString, option);
    if (!QFileInfo(kExe).isExecutable()) QSKIP("the staged program is not built");
    m_folder = std::make_unique<zvtest::TempProgramFolder>();
    QFile ini(m_folder->iniPath());
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[option]\r\nrunMinimizedEn=1\r\n");
    ini.close();
    m_instance = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ZVJ_HOME"), home());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_instance->setProcessEnvironment(env);
    m_instance->start(kExe, {option});
    QVERIFY(m_instance->waitForStarted(5000));
    // Its state, asked over its socket as the scripts do.
    const auto state = [this]() -> QJsonObject {
        QLocalSocket s;
        s.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
        s.connectToServer(TSingleInstance::ServerName(kAppTitle, home()));
        if (!s.waitForConnected(200)) return {};
        s.write(InstanceWire::Encode({{"command", "state"}}));
        QByteArray buffer;
        QJsonObject answer;
        for (int i = 0; i < 50 && InstanceWire::Decode(buffer, &answer) != InstanceWire::Parse::Frame; ++i)
            if (s.waitForReadyRead(100)) buffer += s.readAll();
        return QJsonDocument::fromJson(answer.value("message").toString().toUtf8()).object();
    };
    QTRY_COMPARE_WITH_TIMEOUT(state().value("window").toString(), QStringLiteral("shown"),
                              zvtest::Scaled(10000));
    QTest::qWait(500); // where "Run program minimized" would have hidden it by now
    QCOMPARE(state().value("window").toString(), QStringLiteral("shown"));
    QCOMPARE(m_instance->state(), QProcess::Running);
}

void TstCommandLine::socketRefusesStrangers()
{
    if (!QFileInfo(kExe).isExecutable()) QSKIP("the staged program is not built");
    m_folder = std::make_unique<zvtest::TempProgramFolder>();
    m_instance = startInstance();
    const QString name = TSingleInstance::ServerName(kAppTitle, home());

    // Bytes of another protocol: the connection goes, with no answer.
    const QList<QByteArray> strangers = {QByteArray("activate\n"), QByteArray("ZVJB\x02\0\0\0\x02{}", 11),
                                         QByteArray("ZVJB\x01\xff\xff\xff\xff", 9),
                                         InstanceWire::Encode({{"text", "no command"}})};
    for (const QByteArray& bytes : strangers) {
        QLocalSocket s;
        s.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
        s.connectToServer(name);
        QVERIFY(s.waitForConnected(2000));
        s.write(bytes);
        s.waitForBytesWritten(1000);
        QByteArray got;
        QElapsedTimer t;
        t.start();
        while (s.state() == QLocalSocket::ConnectedState && t.elapsed() < 5000)
            if (s.waitForReadyRead(100)) got += s.readAll();
        got += s.readAll();
        QVERIFY2(s.state() != QLocalSocket::ConnectedState, bytes.constData());
        QJsonObject answer;
        // A frame of the protocol without a command is answered with a refusal; the rest
        // gets nothing.
        if (!got.isEmpty()) {
            QCOMPARE(InstanceWire::Decode(got, &answer), InstanceWire::Parse::Frame);
            QCOMPARE(answer.value("ok").toBool(true), false);
        }
    }

    // Another user: refused, nothing stored. Root may run the client as uid 65534; the
    // abstract namespace lets it reach the name.
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (geteuid() == 0 && !setpriv.isEmpty() && QFileInfo::exists(QStringLiteral("/usr/bin/python3"))) {
        QProcess p;
        p.start(setpriv, {"--reuid=65534", "--regid=65534", "--clear-groups", "/usr/bin/python3", "-c",
                          QString::fromLatin1(kOtherUserClient), name});
        QVERIFY(p.waitForFinished(zvtest::Scaled(15000)));
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        QVERIFY2(p.exitCode() == 0, qPrintable(QString::fromUtf8(p.readAllStandardError())));
        QVERIFY2(out.contains(QLatin1String("another user")) && out.contains(QLatin1String("\"ok\":false")),
                 qPrintable(out));
    } else {
        qWarning("not run as root with setpriv: the other-user request is not tried");
    }
    QCOMPARE(m_folder->count("select count(*) from tasks"), 0);

    // The instance goes on serving its own user.
    QCOMPARE(m_instance->state(), QProcess::Running);
    const Run r = run({"--add-task", "still served"});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(m_folder->count("select count(*) from tasks where content='still served'"), 1);
}

// ---- --sync -------------------------------------------------------------------------------

namespace {

// zvConf.ini's sync section for a server and a fresh pair of collections.
void writeSyncSettings(const QString& folder, const zvtest::TDavServer* server, const QString& tag)
{
    QFile ini(folder + QStringLiteral("zvConf.ini"));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write(QStringLiteral("[sync]\nurl=%1\nuser=%2\ntasks=%3\nmemos=%4\nenabled=1\n")
                  .arg(server->url().toString(), server->user(),
                       server->home().resolved(QUrl(tag + QStringLiteral("-t/"))).toString(),
                       server->home().resolved(QUrl(tag + QStringLiteral("-m/"))).toString())
                  .toUtf8());
}

void addRows(zvtest::TempProgramFolder& folder, int count)
{
    for (int i = 0; i < count; ++i)
        folder.exec(
            QStringLiteral("insert into tasks (tid, pid, content, checkFlag) values ('%1', 'root', 'row "
                           "%2', 0)")
                .arg(NewGuidText())
                .arg(i));
}

} // namespace

void TstCommandLine::syncAlone_data()
{
    QTest::addColumn<bool>("setUp");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::newRow("synced") << true << "s3cret pass" << 0 << "synced: 1 up, 0 down, 0 conflicts\n"
                            << "";
    QTest::newRow("a refused password") << true << "wrong guess" << 1 << ""
                                        << "jotboard: The server refused the user name or password (401)\n";
    QTest::newRow("not set up")
        << false << "" << 1 << ""
        << "jotboard: Sync is not set up: zvConf.ini names no server (section \"sync\", "
           "key \"url\")\n";
}

void TstCommandLine::syncAlone()
{
    QFETCH(bool, setUp);
    QFETCH(QString, password);
    QFETCH(int, code);
    QFETCH(QString, out);
    QFETCH(QString, err);
    if (!QFileInfo(kExe).isExecutable()) QSKIP("the staged program is not built");
    ZV_SERVER(server, zvtest::TDavServer::Kind::Radicale);
    m_folder = std::make_unique<zvtest::TempProgramFolder>();
    if (setUp) writeSyncSettings(home(), server, QUuid::createUuid().toString(QUuid::WithoutBraces).left(8));
    addRows(*m_folder, 1);
    qputenv("ZVJ_SYNC_PASSWORD", password.toUtf8());
    const Run r = run({"--sync"});
    qunsetenv("ZVJ_SYNC_PASSWORD");
    QCOMPARE(r.err, err);
    QCOMPARE(r.out, out);
    QCOMPARE(r.code, code);
}

// With the program running it syncs and answers; alone, a sync that would delete most of
// the server's items refuses and says why.
void TstCommandLine::syncHandedOverAndMassDeletionRefused()
{
    if (!QFileInfo(kExe).isExecutable()) QSKIP("the staged program is not built");
    ZV_SERVER(server, zvtest::TDavServer::Kind::Radicale);
    m_folder = std::make_unique<zvtest::TempProgramFolder>();
    const QString tag = QUuid::createUuid().toString(QUuid::WithoutBraces).left(8);
    writeSyncSettings(home(), server, tag);
    addRows(*m_folder, 25);
    qputenv("ZVJ_SYNC_PASSWORD", server->password().toUtf8());
    m_instance = startInstance();
    QCOMPARE(m_instance->state(), QProcess::Running);
    Run r = run({"--sync"});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(r.out, QStringLiteral("synced: 25 up, 0 down, 0 conflicts\n"));
    m_instance->terminate();
    QVERIFY(m_instance->waitForFinished(zvtest::Scaled(10000)));

    m_folder->exec("delete from tasks");
    r = run({"--sync"});
    qunsetenv("ZVJ_SYNC_PASSWORD");
    QCOMPARE(r.code, 1);
    QCOMPARE(r.out, QString());
    QVERIFY2(r.err.startsWith(QLatin1String("jotboard: 25 of the 25 tasks on the server are no longer here")),
             qPrintable(r.err));
    const QUrl tasks = server->home().resolved(QUrl(tag + QStringLiteral("-t/")));
    QCOMPARE(server->request("PROPFIND", tasks, {}, {{"Depth", "1"}}).body.count(".ics</"), 25);
}

QTEST_GUILESS_MAIN(TstCommandLine)
#include "tst_commandline.moc"
