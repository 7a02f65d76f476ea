// One table's sync: its run from start to end, and its model of the rows here and of what
// was synced.

#include "sync/ZvSyncTable.h"

#include "store/pU_Funcs.h"
#include "sync/ZvSyncMerge.h"

namespace zv {

namespace {

QString collectionKey(const QUrl& url)
{
    return url.adjusted(QUrl::RemoveUserInfo | QUrl::StripTrailingSlash).toString();
}

} // namespace

QUrl urlOfKey(const QUrl& collection, const QString& key)
{
    QUrl url = collection;
    url.setPath(key, QUrl::DecodedMode);
    return url;
}

template <class R> void TZvSyncEngine::TKind<R>::run(std::function<void()> done)
{
    m_done = std::move(done);
    const QString key = collectionKey(m_collection);
    const QString was = e.m_state->collection(m_kind);
    if (!was.isEmpty() && was != key) {
        // Another collection now: what was synced with the old one says nothing here.
        TZvTransaction t(e.m_connection, TZvTransaction::Mode::Write);
        e.m_state->removeAll(m_kind);
        e.m_state->setCollection(m_kind, key, QString());
        t.commit();
    }
    m_oldToken = was == key ? e.m_state->token(m_kind) : QString();
    loadModel();
    e.m_client->listChanges(m_collection, m_oldToken,
                            [this](const TZvDavListing& l) { e.guarded([&] { onListing(l); }); });
}

template <class R> void TZvSyncEngine::TKind<R>::finishKind()
{
    // A token is kept only after a clean run: an item left out comes again next time.
    TZvTransaction t(e.m_connection, TZvTransaction::Mode::Write);
    e.m_state->setCollection(m_kind, collectionKey(m_collection),
                             m_itemErrors ? m_oldToken : m_listing.syncToken);
    t.commit();
    if (e.m_result.changedTables.contains(m_kind)) emit e.tableChanged(m_kind);
    m_done();
}

// ---- The model: local rows and what was synced ----

template <class R> void TZvSyncEngine::TKind<R>::loadModel()
{
    loadRows();
    m_byId.clear();
    m_idByUid.clear();
    m_idByHref.clear();
    m_ignored.clear();
    for (TZvSyncItem& item : e.m_state->items(m_kind)) {
        if (item.id.isEmpty())
            m_ignored.insert(item.href, item);
        else
            remember(item);
    }
}

template <class R> void TZvSyncEngine::TKind<R>::remember(const TZvSyncItem& item)
{
    m_byId.insert(item.id, item);
    m_idByUid.insert(item.uid, item.id);
    m_idByHref.insert(item.href, item.id);
}

template <class R> void TZvSyncEngine::TKind<R>::forget(const QString& id)
{
    const auto it = m_byId.find(id);
    if (it == m_byId.end()) return;
    if (m_idByUid.value(it->uid) == id) m_idByUid.remove(it->uid);
    if (m_idByHref.value(it->href) == id) m_idByHref.remove(it->href);
    m_byId.erase(it);
}

template <class R> bool TZvSyncEngine::TKind<R>::readRow(const QString& id, R& r)
{
    TADOQuery q(&e.m_connection);
    Rows::OpenRow(q, id);
    if (q.Eof()) return false;
    Rows::Read(q, r, true);
    q.Close();
    return true;
}

template <class R> void TZvSyncEngine::TKind<R>::insertRow(const R& r)
{
    writeRows([&] {
        TADOQuery q(&e.m_connection);
        Rows::OpenEmpty(q);
        Rows::Append(q, r);
        q.Post();
        q.Close();
    });
    m_rowPid.insert(Rows::Id(r), r.pid);
}

template <class R> void TZvSyncEngine::TKind<R>::updateRow(const R& r)
{
    static const std::vector<TZvMember<R>> members = [] {
        std::vector<TZvMember<R>> m{&R::editTime};
        for (const TZvSyncGroup<R>& g : Kind::syncGroups())
            m.insert(m.end(), g.members.begin(), g.members.end());
        return m;
    }();
    writeRows([&] {
        TADOQuery q(&e.m_connection);
        Rows::Write(q, r, TZvMembers<R>(members));
    });
    m_rowPid.insert(Rows::Id(r), r.pid);
}

template <class R> void TZvSyncEngine::TKind<R>::deleteRow(const QString& id)
{
    writeRows([&] {
        TADOQuery q(&e.m_connection);
        ExecQuery(q, QStringLiteral("delete from %1 where %2=").arg(Rows::Table(), Rows::IdColumn()) +
                         QuoteId(id));
    });
    m_rowPid.remove(id);
}

template <class R> R TZvSyncEngine::TKind<R>::baseOf(const TZvSyncItem& item, const R& fallback) const
{
    R base = fallback;
    SyncFieldsFromJson(item.fields, base);
    return base;
}

// The item the server's parent UID names, as the parent shown here: a sub-item's parent
// is its top-level item (two levels), an unknown one or the item itself none.
template <class R>
QString TZvSyncEngine::TKind<R>::flattened(const QString& parentUid, const QString& self) const
{
    if (parentUid.isEmpty()) return kRootId;
    QString p = m_idByUid.value(parentUid);
    if (p.isEmpty() && m_rowPid.contains(parentUid)) p = parentUid; // an own item not synced yet
    if (p.isEmpty() || p == self || !m_rowPid.contains(p)) return kRootId;
    const QString q = m_rowPid.value(p);
    const QString top = q == kRootId || !m_rowPid.contains(q) ? p : q;
    return top == self ? kRootId : top;
}

// The UID a parent shown here has on the server (none for the top level).
template <class R> QString TZvSyncEngine::TKind<R>::parentUidOf(const QString& pid) const
{
    if (pid.isEmpty() || pid == kRootId) return QString();
    const auto it = m_byId.find(pid);
    return it == m_byId.end() ? pid : it->uid;
}

template <class R> void TZvSyncEngine::TKind<R>::loadRows()
{
    m_rowPid.clear();
    TADOQuery q(&e.m_connection);
    OpenQuery(
        q,
        QStringLiteral("select %1, %2 from %3").arg(Rows::IdColumn(), ColumnOf<R>(&R::pid), Rows::Table()));
    for (q.First(); !q.Eof(); q.Next())
        m_rowPid.insert(q.FieldAt(0).AsString(), q.FieldAt(1).AsString());
    q.Close();
}

template <class R> void TZvSyncEngine::TKind<R>::tableChanged()
{
    e.m_result.changedTables.insert(m_kind);
    emit e.tableChanged(m_kind);
}

template <class R> void TZvSyncEngine::TKind<R>::itemError(const QString& error)
{
    m_itemErrors = true;
    e.m_result.itemErrors << error;
}

// For both kinds: the engine runs the table, and its other files use the model (the rest of
// this file follows from these).
#define ZV_SYNC_TABLE_FOR(R)                                                                                 \
    template void TZvSyncEngine::TKind<R>::run(std::function<void()>);                                       \
    template void TZvSyncEngine::TKind<R>::finishKind();                                                     \
    template void TZvSyncEngine::TKind<R>::remember(const TZvSyncItem&);                                     \
    template void TZvSyncEngine::TKind<R>::forget(const QString&);                                           \
    template bool TZvSyncEngine::TKind<R>::readRow(const QString&, R&);                                      \
    template void TZvSyncEngine::TKind<R>::insertRow(const R&);                                              \
    template void TZvSyncEngine::TKind<R>::updateRow(const R&);                                              \
    template void TZvSyncEngine::TKind<R>::deleteRow(const QString&);                                        \
    template R TZvSyncEngine::TKind<R>::baseOf(const TZvSyncItem&, const R&) const;                          \
    template QString TZvSyncEngine::TKind<R>::flattened(const QString&, const QString&) const;               \
    template QString TZvSyncEngine::TKind<R>::parentUidOf(const QString&) const;                             \
    template void TZvSyncEngine::TKind<R>::loadRows();                                                       \
    template void TZvSyncEngine::TKind<R>::tableChanged();                                                   \
    template void TZvSyncEngine::TKind<R>::itemError(const QString&);
ZV_SYNC_TABLE_FOR(TTaskInfo)
ZV_SYNC_TABLE_FOR(TMemoInfo)
#undef ZV_SYNC_TABLE_FOR

} // namespace zv
