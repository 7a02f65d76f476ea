// The row operations of the record kinds: a reader follows whatever column list a result
// has.
#include "ZvTestSupport.h"
#include "interchange/ZvRows.h"

#include <QTest>
#include <functional>

using namespace zv;
using zvtest::TempProgramFolder;

namespace {

using zvtest::appendRow;
using zvtest::raiseText;

// The store's message of one row operation on the row of r's id ("new text": a record never
// stored).
template <class R> QString failure(TADOQuery& q, const QString& op, R& r)
{
    using Rows = TZvRows<R>;
    return raiseText([&] {
        if (op == "count")
            Rows::Count(q);
        else if (op == "children")
            Rows::ForEachChild(q, kRootId, true, [](R) { QFAIL("a row read from a damaged table"); });
        else if (op == "two levels")
            Rows::ForEachTwoLevel(q, [](R, std::vector<R>) { QFAIL("a row read from a damaged table"); });
        else if (op == "new text" || op == "text")
            Rows::StoreText(q, r);
        else if (op == "paste")
            Rows::InsertFromText(q, Rows::FromText("pasted"));
        else if (op == "values")
            Rows::Write(q, r, TZvRecordKind<R>::createdFields());
        else if (op == "delete")
            Rows::Delete(q, Rows::Id(r));
        else if (op == "expand")
            Rows::SetExpanded(q, Rows::Id(r), true);
        else if (op == "move")
            Rows::SetPid(q, Rows::Id(r), "{B}");
        else if (op == "all")
            Rows::OpenAll(q);
        else
            Rows::OpenRow(q, Rows::Id(r));
    });
}

} // namespace

class TstRows : public QObject
{
    Q_OBJECT

private slots:
    void readerFollowsTheColumnList()
    {
        TempProgramFolder home;
        TADOQuery q(&home.connection());
        appendRow(q, "tasks", {"tid", "{T}", "pid", kRootId, "content", "task", "textColor", "7"});
        appendRow(q, "memos", {"mid", "{M}", "pid", kRootId, "content", "memo"});
        const auto task = [&q](const QString& sql) {
            OpenQuery(q, sql);
            TTaskInfo r;
            TZvRows<TTaskInfo>::Read(q, r, true);
            return r;
        };
        QCOMPARE(task("select * from tasks").content, QString("task"));
        OpenQuery(q, "select * from memos");
        TMemoInfo m;
        TZvRows<TMemoInfo>::Read(q, m, true);
        QCOMPARE(m.mid, QString("{M}"));
        QCOMPARE(m.content, QString("memo"));
        const TTaskInfo reversed =
            task("select dueTime, alarmTime, checkTime, editTime, createTime, backgroundColor, textColor, "
                 "expandFlag, alarmFlag, dueFlag, checkFlag, content, pid, tid from tasks");
        QCOMPARE(reversed.tid, QString("{T}"));
        QCOMPARE(reversed.pid, kRootId);
        QCOMPARE(reversed.content, QString("task"));
        QCOMPARE(reversed.textColor, 7);
        QCOMPARE(raiseText([&] { task("select tid, content from tasks"); }),
                 QString("Field 'pid' not found"));
        QCOMPARE(task("select * from tasks").textColor, 7);
    }

    // A damaged database: every row operation of either kind fails with the store's own
    // message instead of passing for done, and the text of a new item that could not be
    // stored leaves it without an id, so that the next edit stores it again.
    void damagedTablesFailEveryOperation_data()
    {
        QTest::addColumn<bool>("memos");
        QTest::addColumn<QString>("operation");
        for (bool memos : {false, true})
            for (const char* op : {"count", "children", "two levels", "new text", "text", "paste", "values",
                                   "delete", "expand", "move", "all", "row"})
                QTest::addRow("%s, %s", memos ? "memos" : "tasks", op) << memos << QString(op);
    }
    void damagedTablesFailEveryOperation()
    {
        QFETCH(bool, memos);
        QFETCH(QString, operation);
        TempProgramFolder home;
        home.exec("insert into tasks (tid, pid, content) values ('{A}', 'root', 'a')");
        home.exec("insert into memos (mid, pid, content) values ('{A}', 'root', 'a')");
        QByteArray bytes = zvtest::fileBytes(home.dbPath());
        bytes.replace(4096, 7 * 4096, QByteArray(7 * 4096, 'Z')); // both tables and their indexes
        zvtest::writeBytes(home.dbPath(), bytes);
        TADOQuery q(&home.connection());
        const QString id = operation == "new text" ? QString() : QString("{A}");
        TTaskInfo task;
        TMemoInfo memo;
        task.tid = memo.mid = id;
        QCOMPARE(memos ? failure(q, operation, memo) : failure(q, operation, task),
                 QString("database disk image is malformed"));
        QCOMPARE(memos ? memo.mid : task.tid, id);
        QVERIFY(home.connection().autocommit());
    }
};

QTEST_MAIN(TstRows)
#include "tst_rows.moc"
