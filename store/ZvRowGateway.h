#pragma once

#include "ZvDb.h"
#include "ZvRecords.h"
#include "pU_Funcs.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace zv {

// A value column of an item table with its attribute in the exchange file.
struct TZvExchangeColumn
{
    const char* column;
    const char* attribute;
    bool time; // ISO time text in the file, a date-time in the table
};

// The rows of one item table: every column name of it is spelled here, once. The frames,
// the exchange module and the reports reach the rows through these gateways.
template <class R> struct TZvRowGateway;

// The groups of task columns the task list changes on a stored row.
enum class TTaskFields
{
    Completion, // checkFlag, checkTime
    Due,        // dueFlag, dueTime
    Alarm,      // alarmFlag, alarmTime
    Colors      // textColor, backgroundColor
};

template <> struct TZvRowGateway<TTaskInfo>
{
    static const QString& table();
    static const QString& idColumn();
    static QString& id(TTaskInfo& r) { return r.tid; }
    static const QString& id(const TTaskInfo& r) { return r.tid; }
    // The current row into a record (expandFlag is kept for a top-level row only).
    static void read(TADOQuery& q, TTaskInfo& r, bool topLevel);
    // A record about to be stored for the first time by the editor gets its first values.
    static void initCreated(TTaskInfo& r, TDateTime now);
    // The columns a new row gets besides its id, content and editTime: stored by the
    // editor, and made from pasted text.
    static void writeCreated(TADOQuery& q, const TTaskInfo& r);
    static void writeFromText(TADOQuery& q, const TTaskInfo& r);
    // One group of the record's values into the row being edited.
    static void write(TADOQuery& q, const TTaskInfo& r, TTaskFields fields);
    // Every value besides the ids and expandFlag, as an import stores a new row.
    static void writeValues(TADOQuery& q, const TTaskInfo& r);
    // The text of the first `count` incomplete tasks in the order of their text (an unset
    // flag counts as incomplete).
    static QStringList firstIncomplete(TADOQuery& q, int count);
    // The values after the ids, in the exchange file's order.
    static const std::vector<TZvExchangeColumn>& exchangeColumns();
};

template <> struct TZvRowGateway<TMemoInfo>
{
    static const QString& table();
    static const QString& idColumn();
    static QString& id(TMemoInfo& r) { return r.mid; }
    static const QString& id(const TMemoInfo& r) { return r.mid; }
    static void read(TADOQuery& q, TMemoInfo& r, bool topLevel);
    static void initCreated(TMemoInfo& r, TDateTime now);
    static void writeCreated(TADOQuery& q, const TMemoInfo& r);
    static void writeFromText(TADOQuery& q, const TMemoInfo& r);
    static void writeValues(TADOQuery& q, const TMemoInfo& r);
    static const std::vector<TZvExchangeColumn>& exchangeColumns();
};

// The row operations of an item table, over its gateway. Ids enter the SQL quoted, item
// text only ever as a field value.
template <class R> class TZvRows
{
public:
    using Gateway = TZvRowGateway<R>;

    static int Count(TADOQuery& q)
    {
        OpenQuery(q, QStringLiteral("select count(*) as cnt from ") + Gateway::table());
        q.First();
        const int n = q.FieldByName(QStringLiteral("cnt")).AsInteger();
        q.Close();
        return n;
    }

    // The rows whose pid is `pid`, each read into a record and handed to f, in the order
    // the database returns them.
    template <class F> static void ForEachChild(TADOQuery& q, const QString& pid, bool topLevel, F&& f)
    {
        OpenQuery(q, QStringLiteral("select * from %1 where pid=").arg(Gateway::table()) + QuoteId(pid));
        for (q.First(); !q.Eof(); q.Next()) {
            R r;
            Gateway::read(q, r, topLevel);
            f(std::move(r));
        }
    }

    // The text of an edit: the stored row is changed, or, for a record never stored, a new
    // row is made. The record gets its new id only once the row is stored, so a failed
    // insert leaves a node that the next edit stores again, never one without its row.
    static void StoreText(TADOQuery& q, R& r)
    {
        QString newId;
        if (!Gateway::id(r).isEmpty()) {
            OpenQuery(
                q, QStringLiteral("select * from %1 where %2=").arg(Gateway::table(), Gateway::idColumn()) +
                       QuoteId(Gateway::id(r)));
            q.First();
            q.Edit();
        } else {
            newId = NewGuidText();
            Gateway::initCreated(r, Now());
            OpenQuery(q, QStringLiteral("select * from %1 where 1=0").arg(Gateway::table()));
            q.Append();
            q.FieldByName(Gateway::idColumn()).setAsString(newId);
            Gateway::writeCreated(q, r);
        }
        r.editTime = Now();
        q.FieldByName(QStringLiteral("content")).setAsString(r.content);
        q.FieldByName(QStringLiteral("editTime")).setAsDateTime(r.editTime);
        q.Post();
        q.Close();
        if (!newId.isEmpty()) Gateway::id(r) = newId;
    }

    // A row made from pasted text: the record holds its id and times already.
    static void InsertFromText(TADOQuery& q, const R& r)
    {
        OpenQuery(q, QStringLiteral("select * from %1 where 1=0").arg(Gateway::table()));
        q.Append();
        q.FieldByName(Gateway::idColumn()).setAsString(Gateway::id(r));
        q.FieldByName(QStringLiteral("pid")).setAsString(r.pid);
        q.FieldByName(QStringLiteral("content")).setAsString(r.content);
        Gateway::writeFromText(q, r);
        q.FieldByName(QStringLiteral("createTime")).setAsDateTime(r.createTime);
        q.FieldByName(QStringLiteral("editTime")).setAsDateTime(r.editTime);
        q.Post();
        q.Close();
    }

    // Opens the row of `id`, lets `assign` set fields, and posts it.
    template <class F> static void Edit(TADOQuery& q, const QString& id, F&& assign)
    {
        OpenQuery(q, QStringLiteral("select * from %1 where %2=").arg(Gateway::table(), Gateway::idColumn()) +
                         QuoteId(id));
        q.First();
        q.Edit();
        assign(q);
        q.Post();
        q.Close();
    }

    // One group of the record's values stored on its row (see the gateway's write).
    template <class Fields> static void Write(TADOQuery& q, const R& r, Fields fields)
    {
        Edit(q, Gateway::id(r), [&](TADOQuery& row) { Gateway::write(row, r, fields); });
    }

    // The row and, by a second statement, the rows below it.
    static void Delete(TADOQuery& q, const QString& id)
    {
        ExecQuery(q, QStringLiteral("delete from %1 where %2=").arg(Gateway::table(), Gateway::idColumn()) +
                         QuoteId(id));
        ExecQuery(q, QStringLiteral("delete from %1 where pid=").arg(Gateway::table()) + QuoteId(id));
    }

    static void SetExpanded(TADOQuery& q, const QString& id, bool expanded)
    {
        ExecQuery(q,
                  QStringLiteral("update %1 set expandFlag=%2 where %3=")
                          .arg(Gateway::table(), expanded ? QStringLiteral("True") : QStringLiteral("False"),
                               Gateway::idColumn()) +
                      QuoteId(id));
    }

    static void SetPid(TADOQuery& q, const QString& id, const QString& pid)
    {
        ExecQuery(q, QStringLiteral("update %1 set pid=%2 where %3=")
                             .arg(Gateway::table(), QuoteId(pid), Gateway::idColumn()) +
                         QuoteId(id));
    }
};

} // namespace zv
