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
};

QTEST_MAIN(TstRows)
#include "tst_rows.moc"
