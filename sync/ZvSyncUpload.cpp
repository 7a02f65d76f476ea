// One table's sync: the changes made here, written to the server.

#include "sync/ZvSyncTable.h"

#include "store/pU_Funcs.h"
#include "sync/ZvSyncMerge.h"

namespace zv {

namespace {

// How often one item is tried again after another writer changed it meanwhile.
constexpr int kAttempts = 3;

// The name a new item gets on the server: its UID without braces, as a path segment.
QString fileNameOf(const QString& uid)
{
    QString name = uid;
    if (name.startsWith(QLatin1Char('{')) && name.endsWith(QLatin1Char('}')))
        name = name.mid(1, name.size() - 2);
    return QString::fromLatin1(QUrl::toPercentEncoding(name)) + QStringLiteral(".ics");
}

} // namespace

// ---- Local changes ----

template <class R> void TZvSyncEngine::TKind<R>::planUploads()
{
    TADOQuery q(&e.m_connection);
    Rows::OpenAll(q);
    QSet<QString> present;
    for (q.First(); !q.Eof(); q.Next()) {
        R row;
        Rows::Read(q, row, true);
        const QString& id = Rows::Id(row);
        present.insert(id);
        const auto item = m_byId.constFind(id);
        if (item == m_byId.cend())
            m_ops.push_back({TOp::Create, id});
        else if (ChangedParts(row, baseOf(*item, row)) != 0)
            m_ops.push_back({TOp::Update, id});
    }
    q.Close();
    for (const TZvSyncItem& item : std::as_const(m_byId))
        if (!present.contains(item.id)) m_ops.push_back({TOp::Delete, item.id});
    e.m_total += int(m_ops.size());
    emit e.progress(e.m_done, e.m_total);
    pump();
}

template <class R> void TZvSyncEngine::TKind<R>::pump()
{
    if (!e.m_running) return;
    while (m_inFlight < kParallel && !m_ops.empty()) {
        const TOp op = m_ops.front();
        m_ops.pop_front();
        bool sent = false;
        switch (op.type) {
        case TOp::Create:
            sent = create(op.id);
            break;
        case TOp::Update:
            sent = update(op.id);
            break;
        case TOp::Delete:
            sent = remove(op.id);
            break;
        }
        if (!sent) ++e.m_done;
    }
    if (m_inFlight == 0 && m_ops.empty()) {
        flushWrites();
        finishKind();
    }
}

// A request's end: counted, then the next ones.
template <class R> template <class F> TZvDavClient::Done TZvSyncEngine::TKind<R>::answered(F&& f)
{
    return [this, f = std::forward<F>(f)](const TZvHttpAnswer& a) {
        --m_inFlight;
        e.guarded([&] {
            f(a);
            ++e.m_done;
            emit e.progress(e.m_done, e.m_total);
            pump();
        });
    };
}

template <class R> bool TZvSyncEngine::TKind<R>::again(const QString& id)
{
    return ++m_attempts[id] <= kAttempts;
}

template <class R> bool TZvSyncEngine::TKind<R>::create(const QString& id)
{
    R row;
    if (!readRow(id, row)) return false;
    if (m_byId.contains(id)) return update(id);
    const QString uid = id;
    const QUrl url = m_collection.resolved(QUrl(fileNameOf(uid)));
    R up = row;
    Rows::Id(up) = uid;
    const QString parentUid = parentUidOf(row.pid);
    up.pid = parentUid.isEmpty() ? kRootId : parentUid;
    TZvICalComponent calendar = NewICalCalendar(e.m_settings.appVersion);
    icalcomponent_add_component(calendar.get(), NewICalComponent(up, *e.m_context).release());
    const QByteArray text = ICalText(calendar.get());
    ++m_inFlight;
    e.m_client->put(url, text, QString(), answered([=, this](const TZvHttpAnswer& a) {
                        if (a.ok()) {
                            TZvSyncItem item{
                                0, id, uid, TZvDavClient::keyOf(url), a.etag, parentUid, SyncFieldsJson(row)};
                            remember(item);
                            m_writes.push_back([this, id, text] {
                                const auto it = m_byId.find(id);
                                if (it != m_byId.end()) e.m_state->save(m_kind, *it, &text);
                            });
                            ++e.m_result.up;
                        } else if (a.status == 412) {
                            // There already: made by an earlier sync whose answer was lost, or by
                            // another machine with this id. Fetched and taken as the same item.
                            refetch(url, id, TOp::Update);
                        } else {
                            failed("PUT", url, a);
                        }
                    }));
    return true;
}

template <class R> bool TZvSyncEngine::TKind<R>::update(const QString& id)
{
    R row;
    if (!readRow(id, row)) return false;
    const auto found = m_byId.find(id);
    if (found == m_byId.end()) return create(id);
    const TZvSyncItem item = *found;
    const R base = baseOf(item, row);
    const quint32 parts = ChangedParts(row, base);
    if (parts == 0) return false;

    // Only the parts that changed are written into the text last fetched.
    InitICalLibrary();
    const QByteArray old = e.m_state->icalOf(item.rowid);
    TZvICalComponent root(old.isEmpty() ? nullptr : icalparser_parse_string(old.constData()));
    icalcomponent* c = ICalItemOf<R>(root.get());
    R up = row;
    Rows::Id(up) = item.uid;
    const QString parentUid = parts & ICalPartParent ? parentUidOf(row.pid) : item.parent;
    up.pid = parentUid.isEmpty() ? kRootId : parentUid;
    // LAST-MODIFIED: the edit's time for a new text, the moment of upload for the rest.
    if (!(parts & ICalPartText)) up.editTime = std::max(row.editTime, Now());
    if (!c) {
        root = NewICalCalendar(e.m_settings.appVersion);
        c = NewICalComponent(up, *e.m_context).release();
        icalcomponent_add_component(root.get(), c);
    } else {
        UpdateICalComponent(c, up, *e.m_context, parts);
    }
    R uploaded = row;
    bool advanced = false;
    if constexpr (std::is_same_v<R, TTaskInfo>) {
        if ((parts & ICalPartCompletion) && row.checkFlag && !base.checkFlag && AdvanceRepeatingTask(c)) {
            // Done once, not for ever: the series goes on at its next date.
            const R next = ReadICalComponent<R>(c, *e.m_context).record;
            uploaded.checkFlag = false;
            uploaded.checkTime = 0;
            for (const TTaskFields g : {TTaskFields::Due, TTaskFields::Alarm})
                for (const TZvMember<R>& m : Kind::group(g))
                    std::visit([&](auto p) { uploaded.*p = next.*p; }, m);
            advanced = true;
        }
    }
    const QByteArray text = ICalText(root.get());
    const QUrl url = urlOfKey(m_collection, item.href);
    ++m_inFlight;
    e.m_client->put(url, text, item.etag, answered([=, this](const TZvHttpAnswer& a) {
                        if (a.ok()) {
                            const auto it = m_byId.find(id);
                            if (it == m_byId.end()) return;
                            it->etag = a.etag;
                            it->parent = parentUid;
                            it->fields = SyncFieldsJson(uploaded);
                            m_writes.push_back([this, id, text, row, uploaded, advanced] {
                                const auto kept = m_byId.find(id);
                                if (kept != m_byId.end()) e.m_state->save(m_kind, *kept, &text);
                                if (advanced) advance(row, uploaded);
                            });
                            ++e.m_result.up;
                            if (advanced) ++e.m_result.advanced;
                        } else if (a.status == 412) {
                            ++e.m_result.conflicts;
                            refetch(url, id, TOp::Update);
                        } else if (a.status == 404) {
                            // Deleted there meanwhile: the edit wins, the item goes up as new.
                            flushWrites();
                            TZvTransaction t(e.m_connection, TZvTransaction::Mode::Write);
                            e.m_state->remove(item.rowid);
                            t.commit();
                            forget(id);
                            ++e.m_result.conflicts;
                            if (again(id)) m_ops.push_back({TOp::Create, id});
                        } else {
                            failed("PUT", url, a);
                        }
                    }));
    return true;
}

// The repeating task's next date here too, unless it was changed here meanwhile.
template <class R> void TZvSyncEngine::TKind<R>::advance(const R& done, const R& next)
{
    R now;
    if (!readRow(Rows::Id(done), now)) return;
    if (ChangedParts(now, done) != 0) return;
    updateRow(next);
    e.m_result.changedTables.insert(m_kind);
}

template <class R> bool TZvSyncEngine::TKind<R>::remove(const QString& id)
{
    R row;
    if (readRow(id, row)) return false; // back meanwhile (a restore): it goes up next time
    const auto found = m_byId.find(id);
    if (found == m_byId.end()) return false;
    const TZvSyncItem item = *found;
    const QUrl url = urlOfKey(m_collection, item.href);
    ++m_inFlight;
    e.m_client->remove(url, item.etag, answered([=, this](const TZvHttpAnswer& a) {
                           if (a.ok() || a.status == 404) {
                               forget(id);
                               m_writes.push_back([this, rowid = item.rowid] { e.m_state->remove(rowid); });
                               ++e.m_result.up;
                           } else if (a.status == 412) {
                               // Edited there meanwhile: the edit wins, the item comes back.
                               ++e.m_result.conflicts;
                               refetch(url, id, std::nullopt);
                           } else {
                               failed("DELETE", url, a);
                           }
                       }));
    return true;
}

// The server's item now, taken in as incoming (merged), then written again if needed.
template <class R>
void TZvSyncEngine::TKind<R>::refetch(const QUrl& url, const QString& id,
                                      std::optional<typename TOp::Type> then)
{
    flushWrites();
    ++m_inFlight;
    e.m_client->get(url, [=, this](const TZvHttpAnswer& a) {
        --m_inFlight;
        e.guarded([&] {
            if (a.status == 0) return e.finish(a.error);
            if (a.ok()) {
                e.whenGateOpen([=, this] {
                    TZvTransaction t(e.m_connection, TZvTransaction::Mode::Write);
                    const bool changed = applyIncoming(url, a.etag, a.body);
                    t.commit();
                    if (changed) tableChanged();
                    if (then && again(id)) m_ops.push_back({*then, id});
                    pump();
                });
                return;
            }
            if (a.status == 404 && then && again(id)) m_ops.push_back({TOp::Create, id});
            pump();
        });
    });
}

template <class R>
void TZvSyncEngine::TKind<R>::failed(const char* verb, const QUrl& url, const TZvHttpAnswer& a)
{
    // No answer at all: the server or the network is gone, and the sync ends here.
    if (a.status == 0) return e.finish(a.error);
    itemError(TZvDavClient::failureText(verb, url, a));
}

template <class R> void TZvSyncEngine::TKind<R>::flushWrites()
{
    if (m_writes.empty()) return;
    TZvTransaction t(e.m_connection, TZvTransaction::Mode::Write);
    for (const std::function<void()>& w : m_writes)
        w();
    t.commit();
    m_writes.clear();
}

// For both kinds: the incoming side hands over to the uploads, and the engine stores what the
// server acknowledged when a sync ends early (the rest of this file follows from these).
#define ZV_SYNC_UPLOAD_FOR(R)                                                                                \
    template void TZvSyncEngine::TKind<R>::planUploads();                                                    \
    template void TZvSyncEngine::TKind<R>::flushWrites();
ZV_SYNC_UPLOAD_FOR(TTaskInfo)
ZV_SYNC_UPLOAD_FOR(TMemoInfo)
#undef ZV_SYNC_UPLOAD_FOR

} // namespace zv
