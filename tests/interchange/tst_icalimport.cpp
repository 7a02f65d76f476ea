// Import of iCalendar files into the database and Export of the selection as a calendar:
// the tree on the way in, the closing message, durability under Cancel and a failed write.
#include "ZvTestSupport.h"
#include "interchange/Dm_Io.h"
#include "interchange/ZvICalFile.h"
#include "interchange/ZvIoBusy.h"
#include "store/pU_Funcs.h"

#include <QBuffer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>
#include <functional>
#include <optional>

using namespace zv;

namespace {

QByteArray calendar(const QByteArray& items)
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n" + items + "END:VCALENDAR\r\n";
}

// A task (VTODO) or a memo (VJOURNAL).
QByteArray item(const QByteArray& kind, const QByteArray& uid, const QByteArray& more = {})
{
    return "BEGIN:" + kind + "\r\nUID:" + uid + "\r\nSUMMARY:" + uid + "\r\nDTSTAMP:20240101T000000Z\r\n" +
           more + "END:" + kind + "\r\n";
}

QByteArray todo(const QByteArray& uid, const QByteArray& more = {})
{
    return item("VTODO", uid, more);
}

// Calendar data that asks the running import to stop once its second pass (or its first,
// which looks the file through) has read past `stopAt` bytes, as Cancel in the progress
// dialog does (which shows only after a second).
class TStoppingBuffer : public QBuffer
{
public:
    TStoppingBuffer(QByteArray* data, qint64 stopAt, std::function<void()> atStop, int pass = 2)
        : QBuffer(data), m_stopAt(stopAt), m_atStop(std::move(atStop)), m_pass(pass)
    {}
    bool seek(qint64 pos) override
    {
        if (pos == 0) ++m_passes;
        return QBuffer::seek(pos);
    }

protected:
    qint64 readData(char* data, qint64 size) override
    {
        if (m_passes == m_pass && pos() >= m_stopAt && m_atStop) {
            m_atStop();
            m_atStop = nullptr;
        }
        return QBuffer::readData(data, qMin(size, m_stopAt));
    }

private:
    qint64 m_stopAt;
    std::function<void()> m_atStop;
    int m_pass;
    int m_passes = 0;
};

// Calendar data whose reading fails in pass `pass` (1 looks the file through, 2 reads the
// items) once past `failAt` bytes, or, with failAt < 0, that cannot go back to its start for
// that pass (a pipe): a disk that fails under the import.
class TFailingBuffer : public QBuffer
{
public:
    TFailingBuffer(QByteArray* data, int pass, qint64 failAt) : QBuffer(data), m_pass(pass), m_failAt(failAt)
    {}
    bool seek(qint64 pos) override
    {
        if (pos == 0 && ++m_passes == m_pass && m_failAt < 0) return false;
        return QBuffer::seek(pos);
    }

protected:
    qint64 readData(char* data, qint64 size) override
    {
        if (m_passes == m_pass && m_failAt >= 0 && pos() >= m_failAt) return -1;
        return QBuffer::readData(data, qMin<qint64>(size, 4096));
    }

private:
    int m_pass;
    qint64 m_failAt;
    int m_passes = 0;
};

// Groups of seven sub-items that come before their top-level item: a stop in the middle
// of a group leaves sub-items whose parent was never stored.
QByteArray groups(int count, const QByteArray& extra = {}, const QByteArray& kind = "VTODO")
{
    QByteArray items;
    for (int g = 0; g < count; ++g) {
        const QByteArray parent = "p" + QByteArray::number(g);
        for (int c = 0; c < 7; ++c)
            items +=
                item(kind, parent + "c" + QByteArray::number(c), "RELATED-TO:" + parent + "\r\n" + extra);
        items += item(kind, parent, extra);
    }
    return calendar(items);
}

// Rows whose parent no row holds: out of every tree.
int orphans(const zvtest::TempProgramFolder& folder, const QString& table = QStringLiteral("tasks"),
            const QString& id = QStringLiteral("tid"))
{
    return folder.count(
        QStringLiteral("select count(*) from %1 where pid<>'root' and pid not in (select %2 from %1)")
            .arg(table, id));
}

TTaskInfo task(const QString& tid, const QString& pid, const QString& content)
{
    TTaskInfo t;
    t.tid = tid;
    t.pid = pid;
    t.content = content;
    t.createTime = EncodeDateTime(QDate(2024, 2, 3), QTime(4, 5, 6));
    t.editTime = t.createTime;
    return t;
}

} // namespace

class TstICalImport : public QObject
{
    Q_OBJECT
private slots:
    void init() { zvtest::ResetSeams(); }
    void cleanup() { Clock::setFixed(std::nullopt); }

    void importStoresTheTree()
    {
        zvtest::TempProgramFolder folder;
        const QString name = folder.path() + QStringLiteral("in.ics");
        zvtest::writeBytes(name, calendar(todo("child", "RELATED-TO:top\r\nDESCRIPTION:line two\r\n") +
                                          todo("grandchild", "RELATED-TO;RELTYPE=PARENT:child\r\n") +
                                          todo("top", "RRULE:FREQ=DAILY\r\nSTATUS:COMPLETED\r\n") +
                                          "BEGIN:VEVENT\r\nUID:e\r\nEND:VEVENT\r\n" +
                                          "BEGIN:VJOURNAL\r\nUID:j\r\nSUMMARY:note\r\nCATEGORIES:x\r\n"
                                          "END:VJOURNAL\r\n"));
        TIoDm io(&folder.connection());
        MessageSeam::queueAnswer(IdOk);
        QVERIFY(io.ImportICalendarFromFile(name));
        QCOMPARE(MessageSeam::history().size(), 1);
        QCOMPARE(MessageSeam::history().first().caption, QStringLiteral("Tip"));
        QCOMPARE(
            MessageSeam::texts().first(),
            QStringLiteral(
                "Imported 3 tasks and 1 memo. Not imported: 1 event; kept without repeat rule: 1 task; kept "
                "without categories: 1 memo."));
        const QString top =
            folder.scalar(QStringLiteral("select tid from tasks where content='top'")).toString();
        QVERIFY2(QRegularExpression(QStringLiteral("^\\{[0-9A-F-]{36}\\}$")).match(top).hasMatch(),
                 qPrintable(top));
        QCOMPARE(folder.count(QStringLiteral("select count(*) from tasks where pid='root'")), 1);
        QCOMPARE(folder.count(QStringLiteral("select count(*) from tasks where pid='%1'").arg(top)), 2);
        QCOMPARE(
            folder.scalar(QStringLiteral("select content from tasks where content like 'child%'")).toString(),
            QStringLiteral("child\r\nline two"));
        QCOMPARE(folder.count(QStringLiteral("select checkFlag from tasks where content='top'")), 1);
        QCOMPARE(folder.scalar(QStringLiteral("select content || pid from memos")).toString(),
                 QStringLiteral("noteroot"));
        QVERIFY(folder.connection().autocommit());

        // Every import adds new items: twice, twice as many, under new ids.
        MessageSeam::queueAnswer(IdOk);
        QVERIFY(io.ImportICalendarFromFile(name));
        QCOMPARE(folder.count(QStringLiteral("select count(distinct tid) from tasks")), 6);
        QCOMPARE(orphans(folder), 0);
    }

    void chooseAndRefuse_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // written to the chosen file; "-": none chosen
        QTest::addColumn<QString>("box");
        QTest::newRow("cancelled") << QByteArray("-") << "";
        QTest::newRow("not iCalendar") << QByteArray("<html></html>") << "The file is not an iCalendar file.";
        QTest::newRow("missing") << QByteArray() << "File read failure!";
        QTest::newRow("too many items")
            << QByteArray("BEGIN:VCALENDAR\r\n") +
                   QByteArray("BEGIN:VTODO\r\nEND:VTODO\r\n").repeated(1000001)
            << "The file holds more than 1,000,000 tasks and memos, more than the program imports at once.";
    }
    void chooseAndRefuse()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, box);
        zvtest::TempProgramFolder folder;
        const QString name = folder.path() + QStringLiteral("x.ics");
        if (!bytes.isEmpty() && bytes != "-") zvtest::writeBytes(name, bytes);
        QList<FileDialogRequest> seen;
        FileDialogSeam::setHandler([&](QWidget*, const FileDialogRequest& r) {
            seen << r;
            return FileDialogResult{bytes == "-" ? QString() : name, 0};
        });
        if (!box.isEmpty()) MessageSeam::queueAnswer(IdOk);
        TIoDm io(&folder.connection());
        QVERIFY(!io.ImportICalendar());
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen[0].mode, FileDialogRequest::Mode::Open);
        QCOMPARE(seen[0].filter, QStringLiteral("iCalendar file (*.ics)"));
        QCOMPARE(seen[0].defaultSuffix, QStringLiteral("ics"));
        QCOMPARE(MessageSeam::texts(), box.isEmpty() ? QStringList() : QStringList{box});
        if (!box.isEmpty()) QCOMPARE(MessageSeam::history().first().caption, QStringLiteral("Error"));
        QCOMPARE(folder.count(QStringLiteral("select count(*) from tasks")), 0);
        QVERIFY(!IoBusy());
    }

    // Cancel in the middle: every batch stored before it is seen by a second connection, a
    // sub-item whose top-level item was not reached is a top-level item itself, and the tip
    // says how many were imported.
    void cancelKeepsWholeBatchesInTheTrees_data()
    {
        QTest::addColumn<QByteArray>("kind");
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("id");
        QTest::addColumn<int>("pass");
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("tip"); // empty: none
        QTest::newRow("tasks") << QByteArray("VTODO") << "tasks"
                               << "tid" << 2 << 50 * 8 + 3 << "Cancelled. Imported %1 tasks and 0 memos.";
        QTest::newRow("memos") << QByteArray("VJOURNAL") << "memos"
                               << "mid" << 2 << 50 * 8 + 3 << "Cancelled. Imported 0 tasks and %1 memos.";
        QTest::newRow("while the file is looked through: nothing") << QByteArray("VTODO") << "tasks"
                                                                   << "tid" << 1 << 0 << "";
    }
    void cancelKeepsWholeBatchesInTheTrees()
    {
        QFETCH(QByteArray, kind);
        QFETCH(QString, table);
        QFETCH(QString, id);
        QFETCH(int, pass);
        QFETCH(int, stored);
        QFETCH(QString, tip);
        zvtest::TempProgramFolder folder;
        QByteArray data = groups(100, {}, kind);
        const QString count = QStringLiteral("select count(*) from ") + table;
        int seen = -1;
        // Items are read in chunks: the stop comes in the middle of a group, at the item
        // that crosses the end of the first chunk.
        TStoppingBuffer device(
            &data, data.indexOf("UID:p50c3"),
            [&] {
                seen = folder.count(count);
                TIoBusyNotifier::requestCancel();
            },
            pass);
        QVERIFY(device.open(QIODevice::ReadOnly));
        TIoDm io(&folder.connection());
        if (!tip.isEmpty()) MessageSeam::queueAnswer(IdOk);
        QVERIFY(io.ImportICalendarFrom(device));
        QCOMPARE(folder.count(count), stored);
        // Batches stored while the import ran were there for a second connection.
        QVERIFY2(seen <= stored && (seen > 0) == (stored > 0), qPrintable(QString::number(seen)));
        QCOMPARE(orphans(folder, table, id), 0);
        QCOMPARE(MessageSeam::texts(), tip.isEmpty() ? QStringList{} : QStringList{tip.arg(stored)});
        QVERIFY(folder.connection().autocommit());
    }

    // The file cannot be read to its end: the failure is reported, the import says false, and
    // what was stored before it is whole batches in the trees.
    void readFailureIsReported_data()
    {
        QTest::addColumn<int>("pass");
        QTest::addColumn<int>("failAt"); // bytes; -1: no way back to the start
        QTest::addColumn<bool>("anyStored");
        QTest::newRow("at once") << 1 << 0 << false;
        QTest::newRow("while the file is looked through") << 1 << 100000 << false;
        QTest::newRow("no way back to the start") << 2 << -1 << false;
        QTest::newRow("while the items are read") << 2 << 100000 << true;
    }
    void readFailureIsReported()
    {
        QFETCH(int, pass);
        QFETCH(int, failAt);
        QFETCH(bool, anyStored);
        zvtest::TempProgramFolder folder;
        QByteArray data = groups(100, "DESCRIPTION:" + QByteArray(300, 'x') + "\r\n");
        QVERIFY(data.size() > 200000);
        TFailingBuffer device(&data, pass, failAt);
        QVERIFY(device.open(QIODevice::ReadOnly));
        TIoDm io(&folder.connection());
        MessageSeam::queueAnswer(IdOk);
        QVERIFY(!io.ImportICalendarFrom(device));
        QCOMPARE(MessageSeam::texts().size(), 1);
        QVERIFY2(MessageSeam::texts().first().startsWith("File read failure!"),
                 qPrintable(MessageSeam::texts().first()));
        QVERIFY(folder.connection().autocommit());
        const int stored = folder.count(QStringLiteral("select count(*) from tasks"));
        QVERIFY2((stored > 0) == anyStored && stored < 800, qPrintable(QString::number(stored)));
        QCOMPARE(orphans(folder), 0);
    }

    // The database cannot grow: the database's own message, false, only whole batches and
    // no sub-item out of the trees.
    void failedWriteIsReported()
    {
        zvtest::TempProgramFolder folder;
        const QString name = folder.path() + QStringLiteral("big.ics");
        zvtest::writeBytes(name, groups(100, "DESCRIPTION:" + QByteArray(300, 'x') + "\r\n"));
        TIoDm io(&folder.connection());
        (void)folder.connection().autocommit();
        bool ok = true;
        {
            zvtest::TFileSizeLimit limit(QFileInfo(folder.dbPath() + QStringLiteral("-wal")).size() +
                                         600 * 1024);
            MessageSeam::queueAnswer(IdOk);
            ok = io.ImportICalendarFromFile(name);
        }
        QVERIFY(!ok);
        QCOMPARE(MessageSeam::texts().size(), 1);
        const QString shown = MessageSeam::texts().first();
        QVERIFY2(shown.contains(QLatin1String("disk")) || shown.contains(QLatin1String("full")),
                 qPrintable(shown));
        QVERIFY(folder.connection().autocommit());
        const int stored = folder.count(QStringLiteral("select count(*) from tasks"));
        QVERIFY2(stored > 0 && stored < 800, qPrintable(QString::number(stored)));
        QCOMPARE(folder.count(QStringLiteral("select count(*) from tasks where length(content) > 300")),
                 stored);
        QCOMPARE(orphans(folder), 0);
    }

    // The selection rules of Export, and the file read back by the import.
    void exportThenImport()
    {
        zvtest::TempProgramFolder folder;
        Clock::setFixed(QDateTime(QDate(2024, 6, 1), QTime(12, 0)));
        SelectedItem<TTaskInfo> top;
        top.record = task(QStringLiteral("{T}"), kRootId, QStringLiteral("top\r\nsecond line"));
        top.record.checkFlag = true;
        top.record.checkTime = EncodeDateTime(QDate(2024, 3, 4), QTime(5, 6, 7));
        top.children = {task(QStringLiteral("{C1}"), QStringLiteral("{T}"), QStringLiteral("one")),
                        task(QStringLiteral("{C2}"), QStringLiteral("{T}"), QStringLiteral("two"))};
        top.children[0].dueFlag = true;
        top.children[0].dueTime = EncodeDateTime(QDate(2024, 7, 8), QTime());
        SelectedItem<TTaskInfo> lone;
        lone.record =
            task(QStringLiteral("{S}"), QStringLiteral("{ELSEWHERE}"), QStringLiteral("lone sub-item"));
        lone.level = 1;
        const QString name = folder.path() + QStringLiteral("out.ics");
        QVERIFY(WriteICalendarSelection<TTaskInfo>(name, {top, lone}, QStringLiteral("1.0.0.1")));
        const QByteArray text = zvtest::fileBytes(name);
        QVERIFY(text.startsWith("BEGIN:VCALENDAR\r\n") && text.endsWith("END:VCALENDAR\r\n"));
        QVERIFY(text.contains("PRODID:-//Zorvik//Jotboard 1.0.0.1//EN"));
        QCOMPARE(text.count("BEGIN:VTODO"), 4);
        QCOMPARE(text.count("RELATED-TO;RELTYPE=PARENT:{T}"), 2);
        QVERIFY(!text.contains("ELSEWHERE"));

        MessageSeam::queueAnswer(IdOk);
        TIoDm io(&folder.connection());
        QVERIFY(io.ImportICalendarFromFile(name));
        QCOMPARE(MessageSeam::texts().first(), QStringLiteral("Imported 4 tasks and 0 memos."));
        const QString newTop =
            folder.scalar(QStringLiteral("select tid from tasks where content like 'top%'")).toString();
        QCOMPARE(
            folder
                .scalar(QStringLiteral("select group_concat(content, ',') from (select content from tasks "
                                       "where pid='%1' order by content)")
                            .arg(newTop))
                .toString(),
            QStringLiteral("one,two"));
        QCOMPARE(folder.count(QStringLiteral("select count(*) from tasks where pid='root'")), 2);
        const QVariantList row =
            folder
                .rows(QStringLiteral("select content, checkFlag, checkTime, createTime from "
                                     "tasks where tid='%1'")
                          .arg(newTop))
                .first();
        QCOMPARE(row.at(0).toString(), top.record.content);
        QCOMPARE(row.at(1).toInt(), 1);
        QCOMPARE(row.at(2).toDouble(), top.record.checkTime);
        QCOMPARE(row.at(3).toDouble(), top.record.createTime);
        QCOMPARE(
            QFromDateTime(
                folder.scalar(QStringLiteral("select dueTime from tasks where content='one'")).toDouble())
                .date(),
            QDate(2024, 7, 8));

        // Memos: the same rules.
        SelectedItem<TMemoInfo> memo;
        memo.record.mid = QStringLiteral("{M}");
        memo.record.pid = kRootId;
        memo.record.content = QStringLiteral("memo");
        TMemoInfo sub;
        sub.mid = QStringLiteral("{MS}");
        sub.pid = QStringLiteral("{M}");
        sub.content = QStringLiteral("sub memo");
        memo.children = {sub};
        QVERIFY(WriteICalendarSelection<TMemoInfo>(name, {memo}, QStringLiteral("1")));
        QCOMPARE(zvtest::fileBytes(name).count("BEGIN:VJOURNAL"), 2);
        QCOMPARE(zvtest::fileBytes(name).count("RELATED-TO;RELTYPE=PARENT:{M}"), 1);
    }

    void exportAction_data()
    {
        QTest::addColumn<bool>("memos");
        QTest::addColumn<bool>("selected");
        QTest::addColumn<QString>("file"); // the chosen name; empty: cancelled
        QTest::addColumn<QString>("box");
        QTest::addColumn<qint64>("sizeLimit"); // how large a file may grow; 0: no limit
        QTest::addColumn<int>("taskBytes");    // the selected task's text
        QTest::newRow("no task selected") << false << false << ""
                                          << "Please select a task!" << qint64(0) << 1;
        QTest::newRow("no memo selected") << true << false << ""
                                          << "Please select a memo!" << qint64(0) << 1;
        QTest::newRow("cancelled") << false << true << ""
                                   << "" << qint64(0) << 1;
        QTest::newRow("written") << true << true << "ok.ics"
                                 << "" << qint64(0) << 1;
        QTest::newRow("unwritable") << false << true << "no/such/folder/x.ics"
                                    << "File Write Failure !" << qint64(0) << 1;
        // The disk fills during the write: reported, and the file it would replace is intact.
        QTest::newRow("disk full, tasks") << false << true << "full.ics"
                                          << "File Write Failure !" << qint64(100) << 1;
        // Past the first MiB the file is written while the items are still being turned into text.
        QTest::newRow("disk full after the first MiB")
            << false << true << "full.ics"
            << "File Write Failure !" << qint64(1 << 20) << (3 << 20);
        QTest::newRow("disk full, memos") << true << true << "full.ics"
                                          << "File Write Failure !" << qint64(100) << 1;
    }
    void exportAction()
    {
        QFETCH(bool, memos);
        QFETCH(bool, selected);
        QFETCH(QString, file);
        QFETCH(QString, box);
        QFETCH(qint64, sizeLimit);
        QFETCH(int, taskBytes);
        zvtest::TempProgramFolder folder(false);
        const QByteArray before = "BEGIN:VCALENDAR\r\nX-EARLIER:kept\r\nEND:VCALENDAR\r\n";
        if (sizeLimit) zvtest::writeBytes(folder.path() + file, before);
        QList<FileDialogRequest> seen;
        FileDialogSeam::setHandler([&](QWidget*, const FileDialogRequest& r) {
            seen << r;
            return FileDialogResult{file.isEmpty() ? QString() : folder.path() + file, 0};
        });
        if (!box.isEmpty()) MessageSeam::queueAnswer(IdOk);
        std::vector<SelectedItem<TTaskInfo>> tasks;
        std::vector<SelectedItem<TMemoInfo>> memoItems;
        if (selected) {
            tasks.resize(1);
            tasks[0].record = task(QStringLiteral("{T}"), kRootId, QString(taskBytes, QLatin1Char('t')));
            memoItems.resize(1);
            memoItems[0].record.mid = QStringLiteral("{M}");
        }
        bool written = false;
        {
            std::optional<zvtest::TFileSizeLimit> limit;
            if (sizeLimit) limit.emplace(sizeLimit);
            written = memos ? ExportICalendarSelection(nullptr, memoItems, QStringLiteral("1"))
                            : ExportICalendarSelection(nullptr, tasks, QStringLiteral("1"));
        }
        QCOMPARE(written, file == QLatin1String("ok.ics"));
        if (sizeLimit) QCOMPARE(zvtest::fileBytes(folder.path() + file), before);
        QCOMPARE(MessageSeam::texts(), box.isEmpty() ? QStringList() : QStringList{box});
        if (!box.isEmpty())
            QCOMPARE(MessageSeam::history().first().caption,
                     selected ? QStringLiteral("Error") : QStringLiteral("Warning"));
        QCOMPARE(seen.size(), selected ? 1 : 0);
        if (selected) {
            QCOMPARE(seen[0].mode, FileDialogRequest::Mode::Save);
            QCOMPARE(seen[0].filter, QStringLiteral("iCalendar file (*.ics)"));
            QCOMPARE(seen[0].defaultSuffix, QStringLiteral("ics"));
            QVERIFY(seen[0].confirmOverwrite);
        }
    }
};

QTEST_MAIN(TstICalImport)
#include "tst_icalimport.moc"
