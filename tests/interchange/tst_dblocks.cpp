// The database keeps its locks through every file dialog of the program, and no file
// command reads or writes the database behind SQLite's back. What a lost lock costs is only
// seen from another process (locks are per process), so the checks run the sqlite3 program.
#include "ZvTestSupport.h"
#include "interchange/Dm_Io.h"
#include "interchange/ZvExchange.h"
#include "interchange/ZvICalFile.h"
#include "interchange/ZvReports.h"
#include "interchange/ZvRows.h"
#include "platform/ZvFileDialog.h"
#include "platform/ZvTree.h"
#include "platform/ZvTreePrint.h"
#include "store/ZvDbLocks.h"
#include "store/ZvGuard.h"

#include <QApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <sys/inotify.h>
#include <unistd.h>

using namespace zv;

namespace {

const QString kVersion = QStringLiteral("1.0.0.0");

// One statement in a process of its own, which opens the file, reads and closes it: the
// way a backup script or a second program meets the database.
QString sqliteOutside(const QString& db, const QString& sql)
{
    QProcess p;
    p.start(QStringLiteral("sqlite3"), {db, sql});
    if (!p.waitForFinished(10000) || p.exitCode() != 0)
        qWarning("sqlite3 failed: %s", p.readAllStandardError().constData());
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

std::vector<SelectedItem<TTaskInfo>> oneTask()
{
    TTaskInfo t;
    t.tid = NewGuidText();
    t.content = QStringLiteral("a task");
    return {SelectedItem<TTaskInfo>{t, 0, {}}};
}

TReportSource<TTaskInfo> oneTaskSource()
{
    return {[] { return oneTask(); }, [] {}, [] {}};
}

void addTask(TADOConnection& connection, const QString& tid, const QString& content)
{
    TADOQuery q(&connection);
    TTaskInfo t;
    t.tid = tid;
    t.pid = kRootId;
    t.content = content;
    TZvRows<TTaskInfo>::InsertFromText(q, t);
}

// Counts the opens of the database's files by anyone while it lives (inotify: watching
// opens nothing of the files).
class TOpenWatch
{
public:
    explicit TOpenWatch(const QString& db) : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        for (const char* suffix : {"", "-wal", "-shm"})
            inotify_add_watch(m_fd, QFile::encodeName(db + QLatin1String(suffix)).constData(), IN_OPEN);
    }
    ~TOpenWatch() { ::close(m_fd); }
    int opens() const
    {
        alignas(inotify_event) char buffer[4096];
        int count = 0;
        ssize_t n;
        while ((n = ::read(m_fd, buffer, sizeof buffer)) > 0)
            for (char* at = buffer; at < buffer + n;
                 at += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(at)->len)
                count += (reinterpret_cast<inotify_event*>(at)->mask & IN_OPEN) != 0;
        return count;
    }

private:
    int m_fd;
};

// An action, through the program's wrapper, that runs a nested event loop as a dialog does.
bool actionWithADialogLoop(const std::function<void()>& work)
{
    return Guarded([&] {
        work();
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    });
}

enum class Choice
{
    Cancel,
    Database, // the database file itself chosen in the dialog
};

// The dialog as the program makes it, open (not modal) on the program folder until its model
// has listed the folder and given every file its icon and type, the file name typed so that
// the completer lists the files too; then cancelled or the database chosen.
FileDialogResult browseProgramFolder(const QString& folder, FileDialogRequest request, Choice choice)
{
    request.directory = folder;
    const std::unique_ptr<QFileDialog> dialog(NewFileDialog(request));
    dialog->setNameFilters({QStringLiteral("Every file (*)")});
    dialog->open();
    auto* model = dialog->findChild<QFileSystemModel*>();
    if (!model) return {};
    const QString root = QDir(folder).canonicalPath();
    const auto listed = [&] {
        const QModelIndex parent = model->index(root);
        return parent.isValid() && !model->canFetchMore(parent) &&
               model->rowCount(parent) >= 3; // the database, its -wal and -shm
    };
    if (!QTest::qWaitFor(listed, 10000)) qWarning("the dialog did not list %s", qPrintable(root));
    const QModelIndex parent = model->index(root);
    for (int row = 0; row < model->rowCount(parent); ++row) {
        model->data(model->index(row, 0, parent), Qt::DecorationRole);
        model->data(model->index(row, 2, parent), Qt::DisplayRole);
    }
    if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        QTest::keyClicks(name, QStringLiteral("zv"));
    QTest::qWait(300); // the file-info thread's late answers
    FileDialogResult result;
    if (choice == Choice::Database) {
        dialog->selectFile(QStringLiteral("zvData.zvb"));
        result.fileName = QDir(folder).filePath(QStringLiteral("zvData.zvb"));
    }
    dialog->reject();
    return result;
}

} // namespace

class TstDbLocks : public QObject
{
    Q_OBJECT

private slots:
    void fileDialogsKeepTheLocks_data();
    void fileDialogsKeepTheLocks();
    void aStrayCloseKeepsTheLocks();
    void lostLocksAreRecovered();
    void actionsWithANestedLoopCheckAtTheirEnd_data();
    void actionsWithANestedLoopCheckAtTheirEnd();
    void lostLocksOnAFullDisk_data();
    void lostLocksOnAFullDisk();
    void theDatabaseIsNoFileOfACommand_data();
    void theDatabaseIsNoFileOfACommand();
};

void TstDbLocks::fileDialogsKeepTheLocks_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("choice");
    for (const char* command :
         {"Import", "Restore", "Backup", "Export", "Save", "Save All", "Print to file"}) {
        QTest::addRow("%s, cancelled", command) << command << int(Choice::Cancel);
        QTest::addRow("%s, the database chosen", command) << command << int(Choice::Database);
    }
}

void TstDbLocks::fileDialogsKeepTheLocks()
{
    QFETCH(QString, command);
    QFETCH(int, choice);
    zvtest::TempProgramFolder folder;
    TADOConnection& connection = folder.connection();
    addTask(connection, QStringLiteral("{before}"), QStringLiteral("before the dialog"));
    QVERIFY(HoldsDatabaseLocks(folder.dbPath()));

    int dialogs = 0;
    int opened = -1;
    FileDialogSeam::setHandler([&](QWidget*, const FileDialogRequest& request) {
        ++dialogs;
        const TOpenWatch watch(folder.dbPath());
        const FileDialogResult result = browseProgramFolder(folder.path(), request, Choice(choice));
        opened = watch.opens();
        return result;
    });
    // Whatever the command says of the chosen database (it refuses it), the box is answered.
    MessageSeam::setHandler([](const MessageRequest&) { return IdOk; });
    TIoDm io(&connection);
    io.setAppVersion(kVersion);
    if (command == QLatin1String("Import"))
        io.ImportDatabase();
    else if (command == QLatin1String("Restore"))
        io.RestoreDatabase();
    else if (command == QLatin1String("Backup"))
        io.BackupDatabase();
    else if (command == QLatin1String("Export"))
        ExportSelection(nullptr, oneTask(), kVersion);
    else if (command == QLatin1String("Save") || command == QLatin1String("Save All"))
        SaveReport(nullptr, command == QLatin1String("Save All"), oneTaskSource(), kVersion);
    else {
        QPrinter printer;
        printer.setOutputFileName(folder.path() + QStringLiteral("out.pdf"));
        QPrintDialog print(&printer);
        QVERIFY(ShieldPrintDialog(print));
        print.open();
        auto* browse = print.findChild<QToolButton*>(QStringLiteral("fileBrowser"));
        QVERIFY(browse);
        browse->setEnabled(true);
        browse->click();
        print.reject();
    }
    QCOMPARE(dialogs, 1);
    QCOMPARE(opened, 0); // nothing but SQLite opens the database's files
    QVERIFY(HoldsDatabaseLocks(folder.dbPath()));

    // Another process opens, reads and closes the database; then a change of ours must be
    // seen from outside, and stay in the files as a kill would leave them.
    QCOMPARE(sqliteOutside(folder.dbPath(), QStringLiteral("select count(*) from tasks")),
             QStringLiteral("1"));
    addTask(connection, QStringLiteral("{after}"), QStringLiteral("after the dialog"));
    QCOMPARE(sqliteOutside(folder.dbPath(), QStringLiteral("select content from tasks where tid='{after}'")),
             QStringLiteral("after the dialog"));
    QTemporaryDir killed;
    for (const char* suffix : {"", "-wal"})
        QFile::copy(folder.dbPath() + QLatin1String(suffix), killed.filePath(QStringLiteral("db")) + suffix);
    const QString copy = killed.filePath(QStringLiteral("db"));
    QCOMPARE(sqliteOutside(copy, QStringLiteral("pragma integrity_check")), QStringLiteral("ok"));
    QCOMPARE(sqliteOutside(copy, QStringLiteral("select count(*) from tasks")), QStringLiteral("2"));
}

// Whatever else in the process opens and closes the files (a desktop's own file dialog, a
// library looking at file types), SQLite's locks stay.
void TstDbLocks::aStrayCloseKeepsTheLocks()
{
    zvtest::TempProgramFolder folder;
    addTask(folder.connection(), QStringLiteral("{one}"), QStringLiteral("one"));
    for (const char* suffix : {"", "-wal", "-shm"}) {
        QFile stray(folder.dbPath() + QLatin1String(suffix));
        QVERIFY(stray.open(QIODevice::ReadOnly));
        stray.read(16);
    }
    QVERIFY(HoldsDatabaseLocks(folder.dbPath()));
    QCOMPARE(sqliteOutside(folder.dbPath(), QStringLiteral("select count(*) from tasks")),
             QStringLiteral("1"));
    addTask(folder.connection(), QStringLiteral("{two}"), QStringLiteral("two"));
    QCOMPARE(sqliteOutside(folder.dbPath(), QStringLiteral("select count(*) from tasks")),
             QStringLiteral("2"));
}

// A process that lost its locks anyway (here they are taken away) notices before its next
// write, saves its journal and locks again: nothing shown is lost.
void TstDbLocks::lostLocksAreRecovered()
{
    zvtest::TempProgramFolder folder;
    TADOConnection& connection = folder.connection();
    addTask(connection, QStringLiteral("{one}"), QStringLiteral("one"));
    const bool checks = DurabilityChecks();
    SetDurabilityChecks(false); // with checks on, a lost lock ends the program
    DropDatabaseLocksForTest(folder.dbPath());
    QVERIFY(!HoldsDatabaseLocks(folder.dbPath()));
    // The last process to close believes it is alone: it moves the journal in and deletes it.
    QCOMPARE(sqliteOutside(folder.dbPath(), QStringLiteral("select count(*) from tasks")),
             QStringLiteral("1"));
    addTask(connection, QStringLiteral("{two}"), QStringLiteral("two"));
    SetDurabilityChecks(checks);
    QVERIFY(HoldsDatabaseLocks(folder.dbPath()));
    QCOMPARE(sqliteOutside(folder.dbPath(), QStringLiteral("select group_concat(content) from tasks")),
             QStringLiteral("one,two"));
    connection.Close(); // and once closed, none are held: the files are free for others
    QVERIFY(!HoldsDatabaseLocks(folder.dbPath()));
}

// Locks lost inside an action that ran a nested event loop (where a dialog's library may have
// closed a descriptor) are taken again when the action ends; an action without one (a paint)
// skips the look, and its locks come back at the next write.
void TstDbLocks::actionsWithANestedLoopCheckAtTheirEnd_data()
{
    QTest::addColumn<bool>("nestedLoop");
    QTest::newRow("a dialog's loop ran") << true;
    QTest::newRow("no loop ran") << false;
}

void TstDbLocks::actionsWithANestedLoopCheckAtTheirEnd()
{
    QFETCH(bool, nestedLoop);
    zvtest::TempProgramFolder folder;
    TADOConnection& connection = folder.connection();
    addTask(connection, QStringLiteral("{one}"), QStringLiteral("one"));
    const bool checks = DurabilityChecks();
    SetDurabilityChecks(false); // the check a user's build makes; with checks on it is fatal
    EventLoopWaits();           // counting from here
    const auto drop = [&] { DropDatabaseLocksForTest(folder.dbPath()); };
    QVERIFY(nestedLoop ? actionWithADialogLoop(drop) : Guarded(drop));
    const bool held = HoldsDatabaseLocks(folder.dbPath());
    addTask(connection, QStringLiteral("{two}"), QStringLiteral("two"));
    SetDurabilityChecks(checks);
    QCOMPARE(held, nestedLoop);
    QVERIFY(HoldsDatabaseLocks(folder.dbPath()));
    QCOMPARE(sqliteOutside(folder.dbPath(), QStringLiteral("select group_concat(content) from tasks")),
             QStringLiteral("one,two"));
}

// Locks lost while the disk is full: the journal cannot be saved into the database file, so
// the write is refused (or the action ends with the box) instead of going into a journal that
// another process may delete; once there is room again the next write stores everything.
void TstDbLocks::lostLocksOnAFullDisk_data()
{
    QTest::addColumn<bool>("atActionEnd"); // else: at the next write
    QTest::newRow("the next write") << false;
    QTest::newRow("the end of an action") << true;
}

void TstDbLocks::lostLocksOnAFullDisk()
{
    QFETCH(bool, atActionEnd);
    zvtest::TempProgramFolder folder;
    TADOConnection& connection = folder.connection();
    // Pages the journal holds and the database file does not have yet.
    addTask(connection, QStringLiteral("{big}"), QString(200000, QLatin1Char('b')));
    const bool checks = DurabilityChecks();
    SetDurabilityChecks(false);
    DropDatabaseLocksForTest(folder.dbPath());
    QString shown;
    {
        zvtest::TFileSizeLimit limit(QFileInfo(folder.dbPath()).size());
        if (atActionEnd) {
            MessageSeam::queueAnswer(IdOk);
            EventLoopWaits();
            QVERIFY(!actionWithADialogLoop([] {}));
            shown = MessageSeam::texts().value(0);
        } else {
            shown = zvtest::raiseText(
                [&] { addTask(connection, QStringLiteral("{two}"), QStringLiteral("two")); });
        }
    }
    const QString expected = QStringLiteral("The database file '%1' was unlocked by another program, and its "
                                            "journal could not be saved: ")
                                 .arg(QDir::toNativeSeparators(folder.dbPath()));
    QVERIFY2(shown.startsWith(expected) && shown.contains(QLatin1String("disk")), qPrintable(shown));
    addTask(connection, QStringLiteral("{three}"), QStringLiteral("three"));
    SetDurabilityChecks(checks);
    QVERIFY(HoldsDatabaseLocks(folder.dbPath()));
    QCOMPARE(
        sqliteOutside(folder.dbPath(), QStringLiteral("select group_concat(length(content)) from tasks")),
        QStringLiteral("200000,5"));
}

void TstDbLocks::theDatabaseIsNoFileOfACommand_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QString>("box");
    for (const char* suffix : {"", "-wal", "-shm"}) {
        QTest::addRow("Import %s", suffix) << "Import" << suffix << "File read failure!";
        QTest::addRow("Restore %s", suffix) << "Restore" << suffix << "File read failure!";
        QTest::addRow("Backup %s", suffix) << "Backup" << suffix << "File write failure!";
        QTest::addRow("Export %s", suffix) << "Export" << suffix << "File Write Failure !";
        QTest::addRow("Import iCalendar %s", suffix)
            << "ImportICalendar" << suffix << "the program's own database";
        QTest::addRow("Export iCalendar %s", suffix) << "ExportICalendar" << suffix << "File Write Failure !";
        QTest::addRow("Save (text) %s", suffix) << "Save" << suffix << "File write failure!";
        QTest::addRow("Print to file %s", suffix) << "Print" << suffix << "the program's own database";
    }
}

void TstDbLocks::theDatabaseIsNoFileOfACommand()
{
    QFETCH(QString, command);
    QFETCH(QString, suffix);
    QFETCH(QString, box);
    zvtest::TempProgramFolder folder;
    TADOConnection& connection = folder.connection();
    addTask(connection, QStringLiteral("{kept}"), QStringLiteral("kept"));
    const QString target = folder.dbPath() + suffix;
    const QByteArray before = zvtest::fileBytes(folder.dbPath());
    FileDialogSeam::setNextFileName(target);
    MessageSeam::setHandler([](const MessageRequest&) { return IdOk; });

    TIoDm io(&connection);
    io.setAppVersion(kVersion);
    bool done = true;
    if (command == QLatin1String("Import"))
        done = io.ImportDatabase();
    else if (command == QLatin1String("Restore"))
        done = io.RestoreDatabase();
    else if (command == QLatin1String("Backup"))
        done = io.BackupDatabase();
    else if (command == QLatin1String("Export"))
        done = ExportSelection(nullptr, oneTask(), kVersion);
    else if (command == QLatin1String("ImportICalendar"))
        done = io.ImportICalendar();
    else if (command == QLatin1String("ExportICalendar"))
        done = ExportICalendarSelection(nullptr, oneTask(), kVersion);
    else if (command == QLatin1String("Save"))
        // The report's own extension goes in place of the chosen one: name it exactly.
        done = WriteReport(ReportFormat::Text, target, false, oneTaskSource(), kVersion);
    else {
        QPrinter printer;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(target);
        PrintDialogSeam().queueAnswer(true);
        TZvTree tree;
        done = Guarded([&] { PrintTree(nullptr, printer, tree); });
    }
    QVERIFY(!done);
    QVERIFY2(MessageSeam::texts().value(0).contains(box), qPrintable(MessageSeam::texts().join('|')));
    QCOMPARE(zvtest::fileBytes(folder.dbPath()), before);
    QVERIFY(HoldsDatabaseLocks(folder.dbPath()));
    QCOMPARE(sqliteOutside(folder.dbPath(), QStringLiteral("select content from tasks")),
             QStringLiteral("kept"));
}

QTEST_MAIN(TstDbLocks)
#include "tst_dblocks.moc"
