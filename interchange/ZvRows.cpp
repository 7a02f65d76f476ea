#include "interchange/ZvRows.h"

#include "store/ZvScopeExit.h"

namespace zv {

namespace {

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

} // namespace

template <class R> TField TZvColumnSet<R>::operator()(TADOQuery& q, size_t which)
{
    const auto fields = TZvRecordKind<R>::fields();
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

template <class R> QString TZvRows<R>::Table()
{
    return QString::fromLatin1(Kind::table);
}

template <class R> QString TZvRows<R>::IdColumn()
{
    return ColumnOf<R>(Kind::id);
}

template <class R> void TZvRows<R>::Read(TADOQuery& q, R& r, bool topLevel)
{
    static TZvColumnSet<R> columns;
    const auto fields = Kind::fields();
    for (size_t i = 0; i < fields.size(); ++i)
        ReadMember(columns(q, i), r, fields[i].member);
    if (!topLevel && !Kind::subItemsExpand) r.expandFlag = false;
}

template <class R> int TZvRows<R>::Count(TADOQuery& q)
{
    OpenQuery(q, QStringLiteral("select count(*) as cnt from ") + Table());
    q.First();
    const int n = q.FieldByName(QStringLiteral("cnt")).AsInteger();
    q.Close();
    return n;
}

template <class R> void TZvRows<R>::StoreText(TADOQuery& q, R& r)
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

template <class R> R TZvRows<R>::FromText(const QString& text)
{
    R r;
    r.content = TrimRight(CrLfLineBreaks(text));
    Id(r) = NewGuidText();
    r.pid = kRootId;
    r.createTime = Now();
    r.editTime = Now();
    return r;
}

template <class R> void TZvRows<R>::InsertFromText(TADOQuery& q, const R& r)
{
    OpenEmpty(q);
    q.Append();
    write(q, r, {Kind::id, &R::pid, &R::content});
    write(q, r, Kind::fromTextFields());
    write(q, r, {&R::createTime, &R::editTime});
    q.Post();
    q.Close();
}

template <class R> void TZvRows<R>::Append(TADOQuery& q, const R& r)
{
    static TZvColumnSet<R> columns;
    const auto fields = Kind::fields();
    q.Append();
    for (size_t i = 0; i < fields.size(); ++i)
        if (fields[i].attribute) WriteMember(columns(q, i), r, fields[i].member);
}

template <class R> void TZvRows<R>::Write(TADOQuery& q, const R& r, TZvMembers<R> members)
{
    Edit(q, Id(r), [&](TADOQuery& row) { write(row, r, members); });
}

template <class R> void TZvRows<R>::Delete(TADOQuery& q, const QString& id)
{
    ExecQuery(q, QStringLiteral("delete from %1 where %2=").arg(Table(), IdColumn()) + QuoteId(id));
    ExecQuery(q, QStringLiteral("delete from %1 where %2=").arg(Table(), ColumnOf<R>(&R::pid)) + QuoteId(id));
}

template <class R> void TZvRows<R>::SetExpanded(TADOQuery& q, const QString& id, bool expanded)
{
    ExecQuery(q, QStringLiteral("update %1 set %2=%3 where %4=")
                         .arg(Table(), ColumnOf<R>(&R::expandFlag),
                              expanded ? QStringLiteral("True") : QStringLiteral("False"), IdColumn()) +
                     QuoteId(id));
}

template <class R> void TZvRows<R>::SetPid(TADOQuery& q, const QString& id, const QString& pid)
{
    ExecQuery(q, QStringLiteral("update %1 set %2=%3 where %4=")
                         .arg(Table(), ColumnOf<R>(&R::pid), QuoteId(pid), IdColumn()) +
                     QuoteId(id));
}

template <class R> void TZvRows<R>::OpenAll(TADOQuery& q)
{
    OpenQuery(q, QStringLiteral("select * from ") + Table());
}

template <class R> void TZvRows<R>::OpenChildren(TADOQuery& q, const QString& pid)
{
    OpenQuery(q,
              QStringLiteral("select * from %1 where %2=").arg(Table(), ColumnOf<R>(&R::pid)) + QuoteId(pid));
}

template <class R> void TZvRows<R>::OpenRow(TADOQuery& q, const QString& id)
{
    OpenQuery(q, QStringLiteral("select * from %1 where %2=").arg(Table(), IdColumn()) + QuoteId(id));
    q.First();
}

template <class R> void TZvRows<R>::OpenEmpty(TADOQuery& q)
{
    OpenQuery(q, QStringLiteral("select * from %1 where 1=0").arg(Table()));
}

template <class R> void TZvRows<R>::write(TADOQuery& q, const R& r, TZvMembers<R> members)
{
    for (const TZvMember<R>& m : members)
        WriteMember(q.FieldByName(ColumnOf<R>(m)), r, m);
}

template <class R>
void TZvRows<R>::write(TADOQuery& q, const R& r, std::initializer_list<TZvMember<R>> members)
{
    write(q, r, TZvMembers<R>(members.begin(), members.size()));
}

template class TZvColumnSet<TTaskInfo>;
template class TZvColumnSet<TMemoInfo>;
template class TZvRows<TTaskInfo>;
template class TZvRows<TMemoInfo>;

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
