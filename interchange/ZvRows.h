#pragma once

#include "interchange/ZvRecordKind.h"
#include "store/ZvDb.h"
#include "store/pU_Funcs.h"

#include <QString>
#include <QStringList>
#include <initializer_list>
#include <unordered_map>
#include <vector>

namespace zv {

// The fields of a record kind in the current result, found by name once per column list
// rather than for each field of every row: a tree load reads thousands of rows of one list,
// and those lookups were a quarter of the program's start.
template <class R> class TZvColumnSet
{
public:
    TField operator()(TADOQuery& q, size_t which);

private:
    std::vector<int> m_index;
    quint64 m_layout = 0;
};

// The row operations of an item table, over its record kind. Ids enter the SQL quoted, item
// text only ever as a field value. Compiled once for each kind (ZvRows.cpp), as the
// report writers and the iCalendar mapping are; only what takes a caller's function is here.
template <class R> class TZvRows
{
public:
    using Kind = TZvRecordKind<R>;

    static QString& Id(R& r) { return r.*Kind::id; }
    static const QString& Id(const R& r) { return r.*Kind::id; }
    static QString Table();
    static QString IdColumn();

    // The current row into a record; a sub-item's expand flag only where the kind reads it.
    static void Read(TADOQuery& q, R& r, bool topLevel);

    static int Count(TADOQuery& q);

    // The rows whose pid is `pid`, each read into a record and handed to f, in the order
    // the database returns them.
    template <class F> static void ForEachChild(TADOQuery& q, const QString& pid, bool topLevel, F&& f)
    {
        OpenChildren(q, pid);
        for (q.First(); !q.Eof(); q.Next()) {
            R r;
            Read(q, r, topLevel);
            f(std::move(r));
        }
    }

    // The table as the two-level tree shows it, in one ordered pass: each row whose pid is
    // the root's, in table order, handed to f with the rows whose pid is its id, in table
    // order. Rows under no top-level row (and their own children) are left out; a null pid
    // is nobody's child.
    template <class F> static void ForEachTwoLevel(TADOQuery& q, F&& f)
    {
        const QByteArray pidName = ColumnOf<R>(&R::pid).toLatin1();
        int pidColumn = -2; // found at the first row
        std::unordered_map<QString, std::vector<R>> byParent;
        q.Close();
        q.SQLClear();
        q.SQLAdd(QStringLiteral("select * from %1 order by rowid").arg(Table()));
        q.OpenEach([&] {
            if (pidColumn == -2) pidColumn = q.FindField(QLatin1StringView(pidName));
            if (pidColumn >= 0 && q.FieldAt(pidColumn).IsNull()) return;
            R r;
            Read(q, r, true);
            byParent[r.pid].push_back(std::move(r));
        });
        const auto tops = byParent.find(kRootId);
        if (tops == byParent.end()) return;
        // A group that belongs to one parent alone is moved; an id that repeats shares copies.
        std::unordered_map<QString, int> uses;
        for (const R& r : tops->second)
            ++uses[Id(r)];
        const std::vector<R> topsCopy = uses.count(kRootId) ? tops->second : std::vector<R>();
        const std::vector<R>& topList = topsCopy.empty() ? tops->second : topsCopy;
        for (size_t i = 0; i < topList.size(); ++i) {
            R r = topsCopy.empty() ? std::move(tops->second[i]) : topsCopy[i];
            std::vector<R> children;
            const auto kids = byParent.find(Id(r));
            if (kids != byParent.end()) {
                if (uses[Id(r)] == 1 && Id(r) != kRootId)
                    children = std::move(kids->second);
                else
                    children = kids->second;
                for (R& c : children)
                    if (!Kind::subItemsExpand) c.expandFlag = false;
            }
            f(std::move(r), std::move(children));
        }
    }

    // The text of an edit: the stored row is changed, or, for a record never stored, a new
    // row is made. The record gets its new id only once the row is stored, so a failed
    // insert leaves a node that the next edit stores again, never one without its row.
    static void StoreText(TADOQuery& q, R& r);

    // A new top-level item of a text from outside (the clipboard's, the command line's):
    // the line breaks typed text has (LF or lone CR become CR LF), trailing blanks and
    // control characters cut, a new id, now as its times.
    static R FromText(const QString& text);

    // A row made from pasted text: the record holds its id and times already.
    static void InsertFromText(TADOQuery& q, const R& r);

    // A new row of a record from outside the program (an iCalendar import), for the caller
    // to post: every value a file carries, the ids included; not the expand flag, which is
    // how this program shows the tree, not data.
    static void Append(TADOQuery& q, const R& r);

    // Opens the row of `id`, lets `assign` set fields, and posts it.
    template <class F> static void Edit(TADOQuery& q, const QString& id, F&& assign)
    {
        OpenRow(q, id);
        q.Edit();
        assign(q);
        q.Post();
        q.Close();
    }

    // A group of the record's values stored on its row.
    static void Write(TADOQuery& q, const R& r, TZvMembers<R> members);
    template <class Group> static void Write(TADOQuery& q, const R& r, Group group)
    {
        Write(q, r, Kind::group(group));
    }

    // The row and, by a second statement, the rows below it.
    static void Delete(TADOQuery& q, const QString& id);
    static void SetExpanded(TADOQuery& q, const QString& id, bool expanded);
    static void SetPid(TADOQuery& q, const QString& id, const QString& pid);

    // Every row of the table, the rows whose pid is `pid`, or the row of one id (an empty
    // result when there is none), or no row, each as an editable result.
    static void OpenAll(TADOQuery& q);
    static void OpenChildren(TADOQuery& q, const QString& pid);
    static void OpenRow(TADOQuery& q, const QString& id);
    static void OpenEmpty(TADOQuery& q);

private:
    static void write(TADOQuery& q, const R& r, TZvMembers<R> members);
    static void write(TADOQuery& q, const R& r, std::initializer_list<TZvMember<R>> members);
};

extern template class TZvColumnSet<TTaskInfo>;
extern template class TZvColumnSet<TMemoInfo>;
extern template class TZvRows<TTaskInfo>;
extern template class TZvRows<TMemoInfo>;

// The text of the first `count` incomplete tasks in the order of their text (an unset flag
// counts as incomplete), for the tray's hint.
QStringList FirstIncompleteTasks(TADOQuery& q, int count);

} // namespace zv
