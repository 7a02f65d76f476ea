#include "interchange/ZvRows.h"

#include "store/ZvScopeExit.h"

namespace zv {

QStringList FirstIncompleteTasks(TADOQuery& q, int count)
{
    // Read no more rows than are wanted; the limit is the query's own, so it is put back on
    // every way out.
    q.setMaxRecords(count);
    const auto unlimit = ScopeExit([&q] { q.setMaxRecords(0); });
    const QString content = ColumnOf<TTaskInfo>(&TTaskInfo::content);
    // "checkFlag=False" alone would not match a NULL flag, which loads as incomplete.
    OpenQuery(q, QStringLiteral("select %1 from %2 where (%3=False or %3 is null) order by %1 ASC")
                     .arg(content, TZvRows<TTaskInfo>::Table(), ColumnOf<TTaskInfo>(&TTaskInfo::checkFlag)));
    QStringList texts;
    for (q.First(); !q.Eof(); q.Next())
        texts << q.FieldByName(content).AsString();
    q.Close();
    return texts;
}

} // namespace zv
