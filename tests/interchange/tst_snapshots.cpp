// The copy of the database kept before each restore and import, and Undo Last Restore/Import:
// the database as it was, byte for byte, put back into the open connection.
#include "ZvTestSupport.h"
#include "interchange/Dm_Io.h"
#include "store/ZvDbLocks.h"
#include "store/ZvDbSnapshot.h"
#include "store/ZvSeams.h"
#include "store/pU_Funcs.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTest>

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
        QVERIFY(run(command));
        QVERIFY(m_io->SnapshotTaken());
        QVERIFY(m_folder->dump() != before);
        QCOMPARE(copies().size(), 1);

        MessageSeam::queueAnswer(IdCancel);
        QVERIFY(!m_io->UndoLastRestoreImport());
        QVERIFY(MessageSeam::texts().last().startsWith("Put the database back as it was before the last " +
                                                       command + " ("));
        MessageSeam::queueAnswer(IdOk);
        QVERIFY(m_io->UndoLastRestoreImport());
        QCOMPARE(m_folder->dump(), before);
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
