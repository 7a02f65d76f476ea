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
        // Every row into one array in table order, grouped afterwards by index: no list per
        // parent, and each lookup by id only where a row names another parent than the row
        // before it. The array goes as a whole at the end, so the nodes the caller makes
        // lie together in memory, which every later walk over the tree feels.
        const QByteArray pidName = ColumnOf<R>(&R::pid).toLatin1();
        int pidColumn = -2; // found at the first row
        std::vector<R> rows;
        q.Close();
        q.SQLClear();
        q.SQLAdd(QStringLiteral("select * from %1 order by rowid").arg(Table()));
        q.OpenEach([&] {
            if (pidColumn == -2) pidColumn = q.FindField(QLatin1StringView(pidName));
            if (pidColumn >= 0 && q.FieldAt(pidColumn).IsNull()) return;
            rows.emplace_back();
            R& r = rows.back();
            Read(q, r, true);
            // Sub-items follow their parent in the table: the parent's id they name is held
            // once, not once more per row (a tenth of a long list's memory).
            if (r.pid == kRootId) {
                r.pid = kRootId;
            } else if (rows.size() > 1) {
                const R& before = rows[rows.size() - 2];
                if (r.pid == before.pid)
                    r.pid = before.pid;
                else if (r.pid == Id(before))
                    r.pid = Id(before);
            }
        });
        std::vector<int> tops;
        for (size_t i = 0; i < rows.size(); ++i)
            if (rows[i].pid == kRootId) tops.push_back(int(i));
        if (tops.empty()) return;
        // The group of an id: the place among the top-level rows of the first one of that id.
        std::unordered_map<QString, int> groupOf;
        groupOf.reserve(tops.size());
        bool shared = false; // an id that repeats, or the root's: some rows go to two places
        for (size_t k = 0; k < tops.size(); ++k) {
            const QString& id = Id(rows[size_t(tops[k])]);
            shared |= !groupOf.emplace(id, int(k)).second || id == kRootId;
        }
        std::vector<int> group(rows.size(), -1);
        std::vector<int> first(tops.size() + 1, 0); // where each group starts in `members`
        const QString* lastPid = nullptr;
        int lastGroup = -1;
        for (size_t i = 0; i < rows.size(); ++i) {
            const QString& pid = rows[i].pid;
            if (!lastPid || pid != *lastPid) {
                const auto found = groupOf.find(pid);
                lastGroup = found == groupOf.end() ? -1 : found->second;
                lastPid = &pid;
            }
            group[i] = lastGroup;
            if (lastGroup >= 0) ++first[size_t(lastGroup) + 1];
        }
        for (size_t k = 1; k < first.size(); ++k)
            first[k] += first[k - 1];
        std::vector<int> members(size_t(first.back()));
        {
            std::vector<int> next(first.begin(), first.end() - 1);
            for (size_t i = 0; i < rows.size(); ++i)
                if (group[i] >= 0) members[size_t(next[size_t(group[i])]++)] = int(i);
        }
        for (int t : tops) {
            const int g = groupOf.find(Id(rows[size_t(t)]))->second;
            std::vector<R> children;
            children.reserve(size_t(first[size_t(g) + 1] - first[size_t(g)]));
            for (int m = first[size_t(g)]; m < first[size_t(g) + 1]; ++m) {
                R& c = rows[size_t(members[size_t(m)])];
                children.push_back(shared ? c : std::move(c));
                if (!Kind::subItemsExpand) children.back().expandFlag = false;
            }
            f(shared ? R(rows[size_t(t)]) : std::move(rows[size_t(t)]), std::move(children));
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
