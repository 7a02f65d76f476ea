// One table's sync: the server's items taken in and merged with the rows here, and what
// the server deleted.

#include "sync/ZvSyncTable.h"

#include "store/pU_Funcs.h"
#include "sync/ZvSyncMerge.h"

#include <QRegularExpression>

namespace zv {

namespace {

bool isGuidForm(const QString& uid)
{
    static const QRegularExpression guid(
        QStringLiteral("^\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}$"));
    return guid.match(uid).hasMatch();
}

} // namespace

template <class R> void TZvSyncEngine::TKind<R>::applySlice(const std::vector<TZvDavItem>& items)
{
    bool changed = false;
    TZvTransaction t(e.m_connection, TZvTransaction::Mode::Write);
    for (const TZvDavItem& item : items) {
        if (item.gone) continue; // deleted since the listing: the next sync sees it
        if (!item.error.isEmpty()) {
            itemError(item.error);
            continue;
        }
        changed = applyIncoming(item.url, item.etag, item.data) || changed;
    }
    t.commit();
    e.m_done += int(items.size());
    emit e.progress(e.m_done, e.m_total);
    if (changed) tableChanged();
}

// The time zones a server's text defines, for its times.
template <class R> void TZvSyncEngine::TKind<R>::addZones(icalcomponent* root)
{
    if (!root || icalcomponent_isa(root) != ICAL_VCALENDAR_COMPONENT) return;
    for (icalcomponent* z = icalcomponent_get_first_component(root, ICAL_VTIMEZONE_COMPONENT); z;
         z = icalcomponent_get_next_component(root, ICAL_VTIMEZONE_COMPONENT))
        e.m_context->addTimeZone(icalcomponent_new_clone(z));
}

// The server's text read as a record with the server's ids (UID, parent UID); nothing
// when it holds no item of this kind.
template <class R> std::optional<R> TZvSyncEngine::TKind<R>::serverRecord(const QByteArray& text)
{
    InitICalLibrary();
    TZvICalComponent root(text.isEmpty() ? nullptr : icalparser_parse_string(text.constData()));
    addZones(root.get());
    icalcomponent* c = ICalItemOf<R>(root.get());
    if (!c) return std::nullopt;
    R r = ReadICalComponent<R>(c, *e.m_context).record;
    if (Rows::Id(r).isEmpty()) return std::nullopt;
    return r;
}

// One item as the server has it now, inside the slice's transaction. True when a row
// here changed.
template <class R>
bool TZvSyncEngine::TKind<R>::applyIncoming(const QUrl& url, const QString& etag, const QByteArray& data)
{
    const QString key = TZvDavClient::keyOf(url);
    const std::optional<R> found = serverRecord(data);
    QString id = m_idByHref.value(key);
    if (!found) {
        // No task or memo (an event, a journal among tasks): kept in mind, never touched.
        if (!id.isEmpty()) {
            TZvSyncItem& item = m_byId[id];
            item.etag = etag;
            e.m_state->save(m_kind, item, &data);
            return false;
        }
        TZvSyncItem& item = m_ignored[key];
        item.href = key;
        item.etag = etag;
        item.id.clear();
        e.m_state->save(m_kind, item, nullptr);
        return false;
    }
    const R& server = *found;
    const QString uid = Rows::Id(server);
    if (id.isEmpty() && m_idByUid.contains(uid)) {
        // The same item at another address.
        id = m_idByUid.value(uid);
        m_idByHref.remove(m_byId[id].href);
        m_byId[id].href = key;
        m_idByHref.insert(key, id);
    }
    if (!id.isEmpty()) return merge(m_byId[id], server, etag, data, true);
    // New here; or made here, with the server's answer lost: found again by its UID.
    TZvSyncItem item;
    if (m_ignored.contains(key)) item.rowid = m_ignored.take(key).rowid;
    item.id = isGuidForm(uid) && !m_byId.contains(uid) ? uid : NewGuidText();
    item.uid = uid;
    item.href = key;
    TZvSyncItem& kept = m_byId.insert(item.id, item).value();
    m_idByUid.insert(uid, item.id);
    m_idByHref.insert(key, item.id);
    return merge(kept, server, etag, data, false);
}

template <class R>
bool TZvSyncEngine::TKind<R>::merge(TZvSyncItem& item, const R& rawServer, const QString& etag,
                                    const QByteArray& data, bool synced)
{
    const QString parentUid = rawServer.pid == kRootId ? QString() : rawServer.pid;
    R server = rawServer;
    Rows::Id(server) = item.id;
    server.pid = flattened(parentUid, item.id);

    // What the server changed since the last sync, on its own terms (parents as UIDs).
    quint32 serverChanged = ICalAllParts;
    if (synced) {
        if (const std::optional<R> before = serverRecord(e.m_state->icalOf(item.rowid)))
            serverChanged = ChangedParts(rawServer, *before);
    }

    R local;
    const bool hasRow = readRow(item.id, local);
    bool changed = false;
    if (!hasRow && synced && serverChanged == 0) {
        // Deleted here, untouched there: the delete goes up later.
    } else if (!hasRow) {
        // New here; or deleted here and edited there, where the edit wins.
        if (synced) ++e.m_result.conflicts;
        insertRow(server);
        item.fields = SyncFieldsJson(server);
        ++e.m_result.down;
        changed = true;
    } else {
        TZvMergeInput<R> in{local, std::nullopt, server, serverChanged, std::nullopt};
        if (synced)
            in.base = baseOf(item, local);
        else
            in.localAsServer = asServerHolds(local);
        const TZvMergeResult<R> out = MergeItem(in);
        if (ChangedParts(out.merged, local) != 0 || out.merged.editTime != local.editTime) {
            updateRow(out.merged);
            ++e.m_result.down;
            changed = true;
        }
        if (out.textCopy) {
            R copy = *out.textCopy;
            Rows::Id(copy) = NewGuidText();
            insertRow(copy);
            changed = true;
        }
        if (out.conflict) ++e.m_result.conflicts;
        item.fields = SyncFieldsJson(out.base);
    }
    item.uid = Rows::Id(rawServer);
    item.etag = etag;
    item.parent = parentUid;
    e.m_state->save(m_kind, item, &data);
    return changed;
}

// A row as the server would hold it: written and read back (the parent as it is here).
template <class R> R TZvSyncEngine::TKind<R>::asServerHolds(const R& local)
{
    R up = local;
    const QString parentUid = parentUidOf(local.pid);
    up.pid = parentUid.isEmpty() ? kRootId : parentUid;
    R back = ReadICalComponent<R>(NewICalComponent(up, *e.m_context).get(), *e.m_context).record;
    Rows::Id(back) = Rows::Id(local);
    back.pid = local.pid;
    return back;
}

// ---- Deleted on the server ----

template <class R> void TZvSyncEngine::TKind<R>::applyRemovals()
{
    bool changed = false;
    TZvTransaction t(e.m_connection, TZvTransaction::Mode::Write);
    for (const QString& key : m_removed) {
        if (m_ignored.contains(key)) {
            e.m_state->remove(m_ignored.take(key).rowid);
            continue;
        }
        const QString id = m_idByHref.value(key);
        if (id.isEmpty()) continue;
        const TZvSyncItem item = m_byId[id];
        e.m_state->remove(item.rowid);
        forget(id);
        R local;
        if (!readRow(id, local)) continue; // deleted on both sides
        if (ChangedParts(local, baseOf(item, local)) != 0) {
            // Edited here: the edit wins, and the item goes up again as new.
            ++e.m_result.conflicts;
            continue;
        }
        deleteRow(id);
        ++e.m_result.down;
        changed = true;
    }
    t.commit();
    if (changed) tableChanged();
    e.whenGateOpen([this] { keepTwoLevels(); });
}

// Every parent shown here is a top-level item, and a parent the server changed shows
// (flattened) where the server says, unless the item was moved here since.
template <class R> void TZvSyncEngine::TKind<R>::keepTwoLevels()
{
    loadRows();
    bool changed = false;
    TZvTransaction t(e.m_connection, TZvTransaction::Mode::Write);
    TADOQuery q(&e.m_connection);
    for (int round = 0; round < 3; ++round) {
        bool moved = false;
        const QStringList ids = m_rowPid.keys();
        for (const QString& id : ids) {
            const QString pid = m_rowPid.value(id);
            QString want = pid;
            const auto item = m_byId.find(id);
            R base;
            bool asSynced = false;
            if (item != m_byId.end()) {
                base = baseOf(*item, base);
                asSynced = base.pid == pid;
                if (asSynced) want = flattened(item->parent, id);
            }
            if (want != kRootId) {
                const QString up = m_rowPid.value(want);
                if (want == id || !m_rowPid.contains(want))
                    want = kRootId;
                else if (up != kRootId)
                    want = m_rowPid.contains(up) && up != id ? up : kRootId;
            }
            if (want == pid) continue;
            writeRows([&] { Rows::SetPid(q, id, want); });
            m_rowPid.insert(id, want);
            if (asSynced) {
                // Shown elsewhere because of the server: no change of this machine.
                base.pid = want;
                item->fields = SyncFieldsJson(base);
                e.m_state->save(m_kind, *item, nullptr);
            }
            moved = changed = true;
        }
        if (!moved) break;
    }
    t.commit();
    if (changed) tableChanged();
    planUploads();
}

// For both kinds: the listing hands the fetched items and the removals over, and a refetch
// takes its item in (the rest of this file follows from these).
#define ZV_SYNC_INCOMING_FOR(R)                                                                              \
    template void TZvSyncEngine::TKind<R>::applySlice(const std::vector<TZvDavItem>&);                       \
    template bool TZvSyncEngine::TKind<R>::applyIncoming(const QUrl&, const QString&, const QByteArray&);    \
    template void TZvSyncEngine::TKind<R>::applyRemovals();
ZV_SYNC_INCOMING_FOR(TTaskInfo)
ZV_SYNC_INCOMING_FOR(TMemoInfo)
#undef ZV_SYNC_INCOMING_FOR

} // namespace zv
