// The row operations of the record kinds: a reader follows whatever column list a result
// has.
#include "ZvTestSupport.h"
#include "interchange/ZvRowChanges.h"
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

// The two-level tree of the table of R's kind as "top[child child] ...", and beside it the
// children of "A" read one level at a time.
template <class R> QString twoLevelTree(TempProgramFolder& home, const QString& rows, QString* childrenOfA)
{
    const QString table = QString::fromLatin1(TZvRecordKind<R>::table);
    const QString idColumn = ColumnOf<R>(TZvRecordKind<R>::id);
    TADOQuery q(&home.connection());
    for (const QString& row : rows.split(' ')) {
        const QString id = row.section(':', 0, 0), pid = row.section(':', 1);
        if (pid == "-")
            home.exec(QString("insert into %1 (%2, content) values ('%3', 'x')").arg(table, idColumn, id));
        else
            appendRow(q, table, {idColumn, id, "pid", pid, "content", id});
    }
    QStringList shown;
    TZvRows<R>::ForEachTwoLevel(q, [&](R top, std::vector<R> children) {
        QStringList kids;
        for (const R& c : children)
            kids << c.content;
        shown << top.content + "[" + kids.join(' ') + "]";
    });
    QStringList kids;
    TZvRows<R>::ForEachChild(q, "A", false, [&](R r) { kids << r.content; });
    *childrenOfA = kids.join(' ');
    return shown.join(' ');
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

    // The two-level load in one pass: top-level rows in table order, each with the rows that
    // name it as their parent in table order, wherever they stand in the table; rows under
    // no top-level row, and rows without a parent, left out. `rows`: id:pid pairs in table
    // order ("-" a null pid); `tree`: each top-level id with its children in brackets.
    void twoLevelLoadGroupsByParent_data()
    {
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QString>("tree");
        QTest::addColumn<QString>("childrenOfA"); // read one level at a time, A there or not
        QTest::newRow("children after their parent") << "A:root B:root A1:A B1:A B2:B"
                                                     << "A[A1 B1] B[B2]"
                                                     << "A1 B1";
        QTest::newRow("a child before its parent") << "A1:A A:root A2:A"
                                                   << "A[A1 A2]"
                                                   << "A1 A2";
        QTest::newRow("orphan and third level left out") << "A:root X:GONE A1:A D:A1"
                                                         << "A[A1]"
                                                         << "A1";
        QTest::newRow("a null parent is nobody's") << "A:root N:- N1:N"
                                                   << "A[]"
                                                   << "";
        QTest::newRow("children interleaved") << "A:root B:root A1:A B1:B A2:A B2:B"
                                              << "A[A1 A2] B[B1 B2]"
                                              << "A1 A2";
        QTest::newRow("an id that repeats shares its children") << "A:root A1:A A:root B:root"
                                                                << "A[A1] A[A1] B[]"
                                                                << "A1";
        QTest::newRow("a top-level row with the root's id") << "root:root A:root A1:A"
                                                            << "root[root A] A[A1]"
                                                            << "A1";
        QTest::newRow("no top-level row") << "A1:A B1:B"
                                          << ""
                                          << "A1";
    }
    void twoLevelLoadGroupsByParent()
    {
        QFETCH(QString, rows);
        QFETCH(QString, tree);
        QFETCH(QString, childrenOfA);
        // Either kind: the tasks' table has other columns around the same pid.
        for (const bool memos : {true, false}) {
            TempProgramFolder home;
            QString children;
            QCOMPARE(memos ? twoLevelTree<TMemoInfo>(home, rows, &children)
                           : twoLevelTree<TTaskInfo>(home, rows, &children),
                     tree);
            QCOMPARE(children, childrenOfA);
        }
    }

    // Undo puts rows back only while they are as the change left them: a row edited, deleted
    // or taken again elsewhere since refuses the whole step, writing nothing; how the tree
    // was shown (expanded) is no change.
    void undoRefusedAfterChangesElsewhere_data()
    {
        QTest::addColumn<QString>("change");    // the step undone
        QTest::addColumn<QString>("elsewhere"); // done since; "" nothing
        QTest::addColumn<bool>("refused");
        const QString edit = "update tasks set content='b' where tid='{A}'";
        const QString remove = "delete from tasks where tid='{A}'";
        const QString insert = "insert into tasks (tid,pid,content) values ('{N}','{A}','n')";
        QTest::newRow("an edit") << edit << "" << false;
        QTest::newRow("an edit, edited again")
            << edit << "update tasks set content='c' where tid='{A}'" << true;
        QTest::newRow("an edit, expanded since")
            << edit << "update tasks set expandFlag=1 where tid='{A}'" << false;
        QTest::newRow("an edit, the row gone") << edit << remove << true;
        QTest::newRow("a delete") << remove << "" << false;
        QTest::newRow("a delete, the id taken again")
            << remove << "insert into tasks (tid,pid,content) values ('{A}','root','new')" << true;
        QTest::newRow("an insert") << insert << "" << false;
        QTest::newRow("an insert, the row gone") << insert << "delete from tasks where tid='{N}'" << true;
        QTest::newRow("an insert, its row edited")
            << insert << "update tasks set content='m' where tid='{N}'" << true;
    }
    void undoRefusedAfterChangesElsewhere()
    {
        QFETCH(QString, change);
        QFETCH(QString, elsewhere);
        QFETCH(bool, refused);
        TempProgramFolder home;
        home.exec("insert into tasks (tid,pid,content) values ('{A}','root','a'),('{B}','root','b')");
        const TZvItemTable& t = ItemTableOf<TTaskInfo>();
        const QStringList ids{"{A}", "{N}"};
        const std::vector<TZvRowImage> before = ReadItemImages(home.connection(), t, ids, true);
        home.exec(change);
        std::vector<TZvRowChange> changes =
            RowChanges(t, before, ReadItemImages(home.connection(), t, ids, true));
        QCOMPARE(changes.size(), size_t(1));
        if (!elsewhere.isEmpty()) home.exec(elsewhere);
        const QString now = home.dump();
        QCOMPARE(zvtest::raiseText([&] { ApplyRowChanges(home.connection(), t, changes, true); }),
                 refused ? "The items have been changed elsewhere since; this step can be neither undone nor "
                           "redone"
                         : "<no error>");
        QVERIFY(home.connection().autocommit());
        if (refused) {
            QCOMPARE(home.dump(), now);
        } else {
            QCOMPARE(home.scalar("select group_concat(x) from (select tid || ':' || content as x from tasks "
                                 "order by tid)")
                         .toString(),
                     QString("{A}:a,{B}:b"));
        }
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
