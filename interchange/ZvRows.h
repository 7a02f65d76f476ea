#pragma once

#include "interchange/ZvRecordKind.h"
#include "store/ZvDb.h"
#include "store/pU_Funcs.h"

#include <QString>
#include <QStringList>
#include <unordered_map>
#include <vector>

namespace zv {

// A record's member read from, or written into, the current row's field.
template <class R> void ReadMember(const TField& f, R& r, const TZvMember<R>& member)
{
    std::visit(
        [&](auto m) {
            using V = std::remove_reference_t<decltype(r.*m)>;
            if constexpr (std::is_same_v<V, QString>)
                r.*m = f.AsString();
            else if constexpr (std::is_same_v<V, bool>)
                r.*m = f.AsBoolean();
            else if constexpr (std::is_same_v<V, int>)
                r.*m = f.AsInteger();
            else
                r.*m = f.AsDateTime();
        },
        member);
}

template <class R> void WriteMember(TField f, const R& r, const TZvMember<R>& member)
{
    std::visit(
        [&](auto m) {
            using V = std::remove_cv_t<std::remove_reference_t<decltype(r.*m)>>;
            if constexpr (std::is_same_v<V, QString>)
                f.setAsString(r.*m);
            else if constexpr (std::is_same_v<V, bool>)
                f.setAsBoolean(r.*m);
            else if constexpr (std::is_same_v<V, int>)
                f.setAsInteger(r.*m);
            else
                f.setAsDateTime(r.*m);
        },
        member);
}

// The fields of a record kind in the current result, found by name once per column list
// rather than for each field of every row: a tree load reads thousands of rows of one list,
// and those lookups were a quarter of the program's start.
template <class R> class TZvColumnSet
{
public:
    TField operator()(TADOQuery& q, size_t which)
    {
        const auto& fields = TZvRecordKind<R>::fields();
        if (q.layoutId() != m_layout) {
            m_index.resize(fields.size());
            for (size_t i = 0; i < fields.size(); ++i)
                m_index[i] = q.FindField(QLatin1StringView(fields[i].column));
            m_layout = q.layoutId();
        }
        // A column the result lacks is asked for by name, which raises its own message.
        return m_index[which] < 0 ? q.FieldByName(QString::fromLatin1(fields[which].column))
                                  : q.FieldAt(m_index[which]);
    }

private:
    std::vector<int> m_index;
    quint64 m_layout = 0;
};

// The row operations of an item table, over its record kind. Ids enter the SQL quoted, item
// text only ever as a field value.
template <class R> class TZvRows
{
public:
    using Kind = TZvRecordKind<R>;

    static QString& Id(R& r) { return r.*Kind::id; }
    static const QString& Id(const R& r) { return r.*Kind::id; }
    static QString Table() { return QString::fromLatin1(Kind::table); }
    static QString IdColumn() { return ColumnOf<R>(Kind::id); }

    // The current row into a record; a sub-item's expand flag only where the kind reads it.
    static void Read(TADOQuery& q, R& r, bool topLevel)
    {
        static TZvColumnSet<R> columns;
        const auto& fields = Kind::fields();
        for (size_t i = 0; i < fields.size(); ++i)
            ReadMember(columns(q, i), r, fields[i].member);
        if (!topLevel && !Kind::subItemsExpand) r.expandFlag = false;
    }

    static int Count(TADOQuery& q)
    {
        OpenQuery(q, QStringLiteral("select count(*) as cnt from ") + Table());
        q.First();
        const int n = q.FieldByName(QStringLiteral("cnt")).AsInteger();
        q.Close();
        return n;
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
    static void StoreText(TADOQuery& q, R& r)
    {
        QString newId;
        if (!Id(r).isEmpty()) {
            OpenRow(q, Id(r));
            q.Edit();
        } else {
            newId = NewGuidText();
            Kind::initCreated(r, Now());
            OpenEmpty(q);
            q.Append();
            q.FieldByName(IdColumn()).setAsString(newId);
            write(q, r, Kind::createdFields());
        }
        r.editTime = Now();
        write(q, r, {&R::content, &R::editTime});
        q.Post();
        q.Close();
        if (!newId.isEmpty()) Id(r) = newId;
    }

    // A new top-level item of a text from outside (the clipboard's, the command line's):
    // the line breaks typed text has (LF or lone CR become CR LF), trailing blanks and
    // control characters cut, a new id, now as its times.
    static R FromText(const QString& text)
    {
        R r;
        r.content = TrimRight(CrLfLineBreaks(text));
        Id(r) = NewGuidText();
        r.pid = kRootId;
        r.createTime = Now();
        r.editTime = Now();
        return r;
    }

    // A row made from pasted text: the record holds its id and times already.
    static void InsertFromText(TADOQuery& q, const R& r)
    {
        OpenEmpty(q);
        q.Append();
        write(q, r, {Kind::id, &R::pid, &R::content});
        write(q, r, Kind::fromTextFields());
        write(q, r, {&R::createTime, &R::editTime});
        q.Post();
        q.Close();
    }

    // A new row of a record from outside the program (an iCalendar import), for the caller
    // to post: every value a file carries, the ids included; not the expand flag, which is
    // how this program shows the tree, not data.
    static void Append(TADOQuery& q, const R& r)
    {
        static TZvColumnSet<R> columns;
        const auto& fields = Kind::fields();
        q.Append();
        for (size_t i = 0; i < fields.size(); ++i)
            if (fields[i].attribute) WriteMember(columns(q, i), r, fields[i].member);
    }

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
    static void Write(TADOQuery& q, const R& r, const std::vector<TZvMember<R>>& members)
    {
        Edit(q, Id(r), [&](TADOQuery& row) { write(row, r, members); });
    }
    template <class Group> static void Write(TADOQuery& q, const R& r, Group group)
    {
        Write(q, r, Kind::group(group));
    }

    // The row and, by a second statement, the rows below it.
    static void Delete(TADOQuery& q, const QString& id)
    {
        ExecQuery(q, QStringLiteral("delete from %1 where %2=").arg(Table(), IdColumn()) + QuoteId(id));
        ExecQuery(q, QStringLiteral("delete from %1 where %2=").arg(Table(), ColumnOf<R>(&R::pid)) +
                         QuoteId(id));
    }

    static void SetExpanded(TADOQuery& q, const QString& id, bool expanded)
    {
        ExecQuery(q, QStringLiteral("update %1 set %2=%3 where %4=")
                             .arg(Table(), ColumnOf<R>(&R::expandFlag),
                                  expanded ? QStringLiteral("True") : QStringLiteral("False"), IdColumn()) +
                         QuoteId(id));
    }

    static void SetPid(TADOQuery& q, const QString& id, const QString& pid)
    {
        ExecQuery(q, QStringLiteral("update %1 set %2=%3 where %4=")
                             .arg(Table(), ColumnOf<R>(&R::pid), QuoteId(pid), IdColumn()) +
                         QuoteId(id));
    }

    // Every row of the table, or the row of one id (an empty result when there is none), or
    // no row, each as an editable result.
    static void OpenAll(TADOQuery& q) { OpenQuery(q, QStringLiteral("select * from ") + Table()); }
    static void OpenRow(TADOQuery& q, const QString& id)
    {
        OpenQuery(q, QStringLiteral("select * from %1 where %2=").arg(Table(), IdColumn()) + QuoteId(id));
        q.First();
    }
    static void OpenEmpty(TADOQuery& q)
    {
        OpenQuery(q, QStringLiteral("select * from %1 where 1=0").arg(Table()));
    }

private:
    static void write(TADOQuery& q, const R& r, const std::vector<TZvMember<R>>& members)
    {
        for (const TZvMember<R>& m : members)
            WriteMember(q.FieldByName(ColumnOf<R>(m)), r, m);
    }
};

// The text of the first `count` incomplete tasks in the order of their text (an unset flag
// counts as incomplete), for the tray's hint.
QStringList FirstIncompleteTasks(TADOQuery& q, int count);

} // namespace zv
