// The copy of the database kept before each restore and import, and Undo Last Restore/Import:
// the database as it was, byte for byte, put back into the open connection.
#include "ZvTestSupport.h"
#include "interchange/Dm_Io.h"
#include "store/ZvDbCreate.h"
#include "store/ZvDbLocks.h"
#include "store/ZvDbSnapshot.h"
#include "store/ZvDbTransaction.h"
#include "store/ZvSeams.h"
#include "store/pU_Funcs.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTest>
#include <optional>
#include <sqlite3.h>

using namespace zv;

class TstSnapshots : public QObject
{
    Q_OBJECT

    std::unique_ptr<zvtest::TempProgramFolder> m_folder;
    std::unique_ptr<TIoDm> m_io;

    QString snapshots() const { return m_folder->path() + QStringLiteral("Snapshots/"); }
    QStringList copies() const { return QDir(snapshots()).entryList(QDir::Files, QDir::Name); }

    // Rows with nulls, a blob and reals, as another program may leave them.
    void seed()
    {
        m_folder->exec("insert into tasks (tid,pid,content,checkFlag,createTime,checkTime) values "
                       "('{A}','root','A',1,45000.25,null),('{A1}','{A}','A1',null,45000.5,45001.125),"
                       "('{B}','root',x'00ff','0',0.1,1e-300)");
        m_folder->exec("insert into memos (mid,pid,content,assignTime) values ('{M}','root','memo',45000)");
    }

    QString file() const { return m_folder->path() + QStringLiteral("b.zvx"); }

    // A backup of the rows as they are, which then change: a restore takes them back.
    void prepare()
    {
        seed();
        QVERIFY(m_io->BackupToFile(file()));
        m_folder->exec("update tasks set content='changed', expandFlag=1 where tid='{A}'");
        m_folder->exec("delete from tasks where tid='{A1}'");
    }

    // The command of that name; true as the command returns.
    bool run(const QString& command)
    {
        if (command == "iCalendar import") {
            QByteArray ics("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//t//EN\r\nBEGIN:VTODO\r\nUID:u1\r\n"
                           "SUMMARY:from a calendar\r\nEND:VTODO\r\nEND:VCALENDAR\r\n");
            QBuffer buffer(&ics);
            buffer.open(QIODevice::ReadOnly);
            MessageSeam::queueAnswer(IdOk); // the tip that says what was imported
            return m_io->ImportICalendarFrom(buffer);
        }
        return command == "restore" ? m_io->RestoreFromFile(file()) : m_io->ImportFromFile(file());
    }

private slots:
    void init()
    {
        m_folder = std::make_unique<zvtest::TempProgramFolder>();
        m_io = std::make_unique<TIoDm>(&m_folder->connection());
        m_io->setAskHandler([](const TReplaceQuestion&) { return int(IdYesToAll); });
    }
    void cleanup()
    {
        m_io.reset();
        m_folder.reset();
    }

    void commands_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("restore") << "restore";
        QTest::newRow("import") << "import";
        QTest::newRow("iCalendar import") << "iCalendar import";
    }

    // Undo Last Restore/Import puts the copy back: every table, every row, every byte as
    // before, the connection still holding its locks and writing on.
    void commands()
    {
        QFETCH(QString, command);
        prepare();
        const QString before = m_folder->dump();
        QVERIFY(!m_io->CanUndoRestoreImport());
        MessageSeam::queueAnswer(IdOk); // nothing to undo yet: a tip, and nothing changes
        QVERIFY(!m_io->UndoLastRestoreImport());
        QCOMPARE(MessageSeam::texts().last(), QString("There is no restore or import to undo."));
        QCOMPARE(m_folder->dump(), before);
        QVERIFY(run(command));
        QVERIFY(m_io->SnapshotTaken());
        QVERIFY(m_folder->dump() != before);
        QCOMPARE(copies().size(), 1);

        MessageSeam::queueAnswer(IdCancel);
        QVERIFY(!m_io->UndoLastRestoreImport());
        QVERIFY(MessageSeam::texts().last().startsWith("Put the database back as it was before the last " +
                                                       command + " ("));
        MessageSeam::queueAnswer(IdOk);
        const qint64 changes = m_folder->connection().dataChanges();
        QVERIFY(m_io->UndoLastRestoreImport());
        QCOMPARE(m_folder->dump(), before);
        // The data changed: a sync is due, as after any other change.
        QVERIFY(m_folder->connection().dataChanges() > changes);
        QVERIFY(HoldsDatabaseLocks(m_folder->dbPath()));
        QVERIFY(m_folder->connection().autocommit());
        zv::TADOQuery q(&m_folder->connection());
        zvtest::appendRow(q, "tasks", {"tid", "{later}", "pid", "root"});
        QCOMPARE(m_folder->count("select count(*) from tasks where tid='{later}'"), 1);
        // Used up: nothing more to undo.
        QCOMPARE(copies(), QStringList());
        QVERIFY(!m_io->CanUndoRestoreImport());
    }

    // A copy that cannot be written stops the command before it changes anything, saying why.
    void noCopyNoChange_data() { commands_data(); }
    void noCopyNoChange()
    {
        QFETCH(QString, command);
        prepare();
        const QString before = m_folder->dump();
        zvtest::writeBytes(m_folder->path() + "Snapshots", "a file where the folder goes");
        MessageSeam::queueAnswer(IdOk); // the error box
        QVERIFY(!run(command));
        QVERIFY(!m_io->SnapshotTaken());
        QVERIFY2(
            MessageSeam::texts().last().startsWith("No copy of the database could be kept before the change, "
                                                   "so nothing was changed: Cannot make the folder"),
            qPrintable(MessageSeam::texts().last()));
        QCOMPARE(m_folder->dump(), before);
    }

    // The newest five copies are kept; each undo goes back one more.
    void newestFive()
    {
        prepare();
        QList<int> counts;
        for (int i = 0; i < 7; ++i) {
            QVERIFY(run("import"));
            counts << m_folder->count("select count(*) from tasks");
        }
        QCOMPARE(copies(), QStringList({"000003-import.zvb", "000004-import.zvb", "000005-import.zvb",
                                        "000006-import.zvb", "000007-import.zvb"}));
        for (int i = 0; i < 2; ++i) {
            MessageSeam::queueAnswer(IdOk);
            QVERIFY(m_io->UndoLastRestoreImport());
        }
        QCOMPARE(copies().size(), 3);
        QCOMPARE(m_folder->count("select count(*) from tasks"), counts.at(4));
    }

    // Tables named to be kept (the sync state) keep their rows now, also one made after the copy.
    void keptTables()
    {
        prepare();
        m_folder->exec("create table zv_kept (name text, value integer)");
        m_folder->exec("insert into zv_kept values ('a', 1)");
        KeepAcrossCopies("zv_kept");
        KeepAcrossCopies("zv_kept_later");
        QVERIFY(run("import"));
        m_folder->exec("update zv_kept set value=2");
        m_folder->exec("create table zv_kept_later (x)");
        m_folder->exec("insert into zv_kept_later values (x'0102')");
        MessageSeam::queueAnswer(IdOk);
        QVERIFY(m_io->UndoLastRestoreImport());
        QCOMPARE(m_folder->count("select count(*) from tasks"), 2);
        QCOMPARE(m_folder->count("select value from zv_kept where name='a'"), 2);
        QCOMPARE(m_folder->scalar("select hex(x) from zv_kept_later").toString(), "0102");
    }

    // A copy that cannot be made whole is no copy: the command is told why, and no file, cut
    // or whole, is left to pass for one; the database stays as it was.
    void takeFails_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("the disk full") << "full"
                                       << "disk";
        QTest::newRow("its name taken by a folder") << "folder"
                                                    << "Cannot write '%1'";
        QTest::newRow("the folder a file") << "file"
                                           << "Cannot make the folder '%1'";
    }
    void takeFails()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        seed();
        const QString before = m_folder->dump();
        if (kind == "folder") QVERIFY(QDir().mkpath(snapshots() + "000001-import.zvb/inside"));
        if (kind == "file") zvtest::writeBytes(m_folder->path() + "Snapshots", "a file");
        TZvSnapshots kept(m_folder->path());
        QString error;
        {
            std::optional<zvtest::TFileSizeLimit> limit;
            if (kind == "full") {
                QVERIFY(QDir().mkpath(snapshots()));
                limit.emplace(QFileInfo(m_folder->dbPath()).size() / 2);
            }
            error = zvtest::raiseText([&] { kept.take(m_folder->connection(), "Import"); });
        }
        const QString named =
            QDir::toNativeSeparators(kind == "folder" ? snapshots() + "000001-import.zvb" : snapshots());
        QVERIFY2(error.contains(message.contains("%1") ? message.arg(named) : message), qPrintable(error));
        if (kind != "file") QCOMPARE(QDir(snapshots()).entryList(QDir::Files), QStringList());
        QVERIFY(!kept.latest());
        QCOMPARE(m_folder->dump(), before);
    }

    // Copies are numbered on from the newest whole copy; files of other names in the folder
    // (a cut ".part", a user's own) are neither counted, put back nor removed.
    void otherFilesInTheFolder()
    {
        seed();
        QVERIFY(QDir().mkpath(snapshots()));
        zvtest::writeBytes(snapshots() + "000009-import.zvb.part", "cut short");
        zvtest::writeBytes(snapshots() + "notes.zvb", "mine");
        zvtest::writeBytes(snapshots() + "12-import.zvb", "mine too");
        TZvSnapshots kept(m_folder->path());
        QVERIFY(!kept.latest());
        QCOMPARE(kept.take(m_folder->connection(), "Restore"), snapshots() + "000001-restore.zvb");
        for (int i = 0; i < TZvSnapshots::kKept; ++i)
            kept.take(m_folder->connection(), "import");
        const auto latest = kept.latest();
        QVERIFY(latest);
        QCOMPARE(latest->path, snapshots() + "000006-import.zvb");
        QCOMPARE(latest->command, QString("import"));
        QCOMPARE(copies(), QStringList({"000002-import.zvb", "000003-import.zvb", "000004-import.zvb",
                                        "000005-import.zvb", "000006-import.zvb", "000009-import.zvb.part",
                                        "12-import.zvb", "notes.zvb"}));
    }

    // A copy that cannot be put back whole changes nothing and says why: the database keeps
    // every row, and the connection its locks, and writes on.
    void putBackFails_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("no such file") << "missing"
                                      << "Cannot open '%1': unable to open database file";
        QTest::newRow("another password") << "password"
                                          << "'%1' is not a copy of this database";
        QTest::newRow("no password in it") << "no password"
                                           << "'%1' is not a copy of this database";
        QTest::newRow("another program's database") << "foreign"
                                                    << "'%1' is not a copy of this database";
        QTest::newRow("a transaction open") << "transaction"
                                            << "a transaction is already open";
        QTest::newRow("a transaction begun past the store") << "begun"
                                                            << "a transaction is already open";
        QTest::newRow("another program writing") << "busy"
                                                 << "database is locked";
        QTest::newRow("the disk full") << "full"
                                       << "disk";
        QTest::newRow("the live database itself") << "live"
                                                  << "is the program's own database";
    }
    void putBackFails()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        seed();
        TADOConnection& connection = m_folder->connection();
        QString copy = m_folder->path() + "copy.zvb";
        if (kind == "password" || kind == "foreign") {
            CreateDatabaseFile(copy, "create table tasks (tid text);",
                               kind == "password" ? "other" : "mavrude");
            if (kind == "foreign") {
                sqlite3* raw = nullptr;
                QCOMPARE(sqlite3_open(QFile::encodeName(copy).constData(), &raw), SQLITE_OK);
                QCOMPARE(sqlite3_exec(raw, "drop table zv_meta", nullptr, nullptr, nullptr), SQLITE_OK);
                sqlite3_close(raw);
            }
        } else if (kind == "no password") {
            WriteDatabaseCopy(connection, copy);
            sqlite3* raw = nullptr;
            QCOMPARE(sqlite3_open(QFile::encodeName(copy).constData(), &raw), SQLITE_OK);
            QCOMPARE(sqlite3_exec(raw, "delete from zv_meta", nullptr, nullptr, nullptr), SQLITE_OK);
            sqlite3_close(raw);
        } else if (kind == "live") {
            copy = m_folder->dbPath();
            message = "'%1' is the program's own database";
        } else if (kind != "missing") {
            WriteDatabaseCopy(connection, copy);
        }
        m_folder->exec("update tasks set content='after the copy'");
        connection.checkpoint(); // an empty journal: the first page written meets the full disk
        const QString before = m_folder->dump();
        // Another program in the middle of a write holds the file for itself.
        sqlite3* other = nullptr;
        const auto release = qScopeGuard([&] { sqlite3_close(other); });
        if (kind == "busy") {
            QCOMPARE(sqlite3_open(QFile::encodeName(m_folder->dbPath()).constData(), &other), SQLITE_OK);
            QCOMPARE(sqlite3_exec(other, "begin immediate", nullptr, nullptr, nullptr), SQLITE_OK);
        }
        std::optional<TZvTransaction> open;
        if (kind == "transaction") open.emplace(connection, TZvTransaction::Mode::Write);
        if (kind == "begun")
            QCOMPARE(sqlite3_exec(connection.handle(), "begin", nullptr, nullptr, nullptr), SQLITE_OK);
        QString error;
        {
            std::optional<zvtest::TFileSizeLimit> limit;
            if (kind == "full") limit.emplace(16);
            error = zvtest::raiseText([&] {
                if (kind == "live")
                    WriteDatabaseCopy(connection, copy);
                else
                    PutBackDatabaseCopy(connection, copy);
            });
        }
        QVERIFY2(
            error.contains(message.contains("%1") ? message.arg(QDir::toNativeSeparators(copy)) : message),
            qPrintable(error));
        open.reset();
        if (kind == "begun")
            QCOMPARE(sqlite3_exec(connection.handle(), "rollback", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(other);
        other = nullptr;
        QCOMPARE(m_folder->dump(), before);
        QVERIFY(HoldsDatabaseLocks(m_folder->dbPath()));
        zv::TADOQuery q(&connection);
        zvtest::appendRow(q, "tasks", {"tid", "{later}", "pid", "root"});
        QCOMPARE(m_folder->count("select count(*) from tasks where tid='{later}'"), 1);
    }

    // A file in the folder that is no copy of this database is refused; nothing changes.
    void foreignCopyRefused()
    {
        prepare();
        QVERIFY(run("import"));
        const QString before = m_folder->dump();
        zvtest::writeBytes(snapshots() + "000002-restore.zvb", "not a database at all");
        MessageSeam::queueAnswer(IdOk);
        MessageSeam::queueAnswer(IdOk);
        QVERIFY(!m_io->UndoLastRestoreImport());
        QCOMPARE(m_folder->dump(), before);
        QVERIFY2(MessageSeam::texts().last().contains("000002-restore.zvb' is not a copy of this database"),
                 qPrintable(MessageSeam::texts().last()));
        QCOMPARE(copies().size(), 2);
    }
};

QTEST_MAIN(TstSnapshots)
#include "tst_snapshots.moc"
