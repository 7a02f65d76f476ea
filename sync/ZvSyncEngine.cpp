#include "sync/ZvSyncEngine.h"

#include "interchange/ZvICalendar.h"
#include "interchange/ZvRows.h"
#include "store/ZvDb.h"
#include "store/ZvError.h"
#include "store/pU_Funcs.h"
#include "sync/ZvSyncMerge.h"
#include "sync/ZvSyncState.h"
#include "sync/ZvSyncText.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTimer>
#include <deque>

namespace zv {

namespace {

const QString kTasksName = QStringLiteral("Zorvik Jotboard tasks");
const QString kMemosName = QStringLiteral("Zorvik Jotboard memos");

// How often one item is tried again after another writer changed it meanwhile.
constexpr int kAttempts = 3;
// How long the sync waits before asking the gate again.
constexpr int kGateRetryMs = 200;

bool isGuidForm(const QString& uid)
{
    static const QRegularExpression guid(
        QStringLiteral("^\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}$"));
    return guid.match(uid).hasMatch();
}

// The name a new item gets on the server: its UID without braces, as a path segment.
QString fileNameOf(const QString& uid)
{
    QString name = uid;
    if (name.startsWith(QLatin1Char('{')) && name.endsWith(QLatin1Char('}')))
        name = name.mid(1, name.size() - 2);
    return QString::fromLatin1(QUrl::toPercentEncoding(name)) + QStringLiteral(".ics");
}

QString collectionKey(const QUrl& url)
{
    return url.adjusted(QUrl::RemoveUserInfo | QUrl::StripTrailingSlash).toString();
}

QUrl urlOfKey(const QUrl& collection, const QString& key)
{
    QUrl url = collection;
    url.setPath(key, QUrl::DecodedMode);
    return url;
}

} // namespace

QString TZvSyncResult::summary() const
{
    return SyncText("synced: %1 up, %2 down, %3 conflicts").arg(up).arg(down).arg(conflicts);
}

QString TZvSyncResult::line() const
{
    if (!error.isEmpty()) return error;
    if (question) {
        const QString what = question->kind == QLatin1String("tasks") ? SyncText("tasks") : SyncText("memos");
        return question->here
                   ? SyncText("The server no longer has %1 of the %2 %3 here: they are not deleted "
                              "without your yes")
                         .arg(question->count)
                         .arg(question->total)
                         .arg(what)
                   : SyncText("%1 of the %2 %3 on the server are no longer here: they are not deleted "
                              "on the server "
                              "without your yes")
                         .arg(question->count)
                         .arg(question->total)
                         .arg(what);
    }
    if (!itemErrors.isEmpty()) {
        QString text = summary() + QStringLiteral("; ") + itemErrors.first();
        if (itemErrors.size() > 1) text += SyncText(" (and %1 more)").arg(itemErrors.size() - 1);
        return text;
    }
    return summary();
}

// ---- One table --------------------------------------------------------------------------

class TZvSyncEngine::TKindBase
{
public:
    TKindBase(TZvSyncEngine& engine, const QUrl& collection) : e(engine), m_collection(collection) {}
    virtual ~TKindBase() = default;
    virtual void run(std::function<void()> done) = 0;
    // What the server acknowledged and is not stored yet, stored (a sync that ends early).
    virtual void flushWrites() = 0;

protected:
    TZvSyncEngine& e;
    QUrl m_collection;
};

template <class R> class TZvSyncEngine::TKind final : public TKindBase
{
    using Kind = TZvRecordKind<R>;
    using Rows = TZvRows<R>;

public:
    using TKindBase::TKindBase;

    void run(std::function<void()> done) override
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

private:
    struct TOp
    {
        enum Type
        {
            Create,
            Update,
            Delete
        };
        Type type;
        QString id;
    };

    // ---- The model: local rows and what was synced ----

    void loadModel()
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

    void remember(const TZvSyncItem& item)
    {
        m_byId.insert(item.id, item);
        m_idByUid.insert(item.uid, item.id);
        m_idByHref.insert(item.href, item.id);
    }

    void forget(const QString& id)
    {
        const auto it = m_byId.find(id);
        if (it == m_byId.end()) return;
        if (m_idByUid.value(it->uid) == id) m_idByUid.remove(it->uid);
        if (m_idByHref.value(it->href) == id) m_idByHref.remove(it->href);
        m_byId.erase(it);
    }

    bool readRow(const QString& id, R& r)
    {
        TADOQuery q(&e.m_connection);
        Rows::OpenRow(q, id);
        if (q.Eof()) return false;
        Rows::Read(q, r, true);
        q.Close();
        return true;
    }

    // Every row written here is counted, so that the caller tells the sync's changes from
    // the user's.
    template <class F> void writeRows(F&& write)
    {
        const qint64 before = e.m_connection.dataChanges();
        std::forward<F>(write)();
        e.m_result.localWrites += e.m_connection.dataChanges() - before;
    }

    void insertRow(const R& r)
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

    void updateRow(const R& r)
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

    void deleteRow(const QString& id)
    {
        writeRows([&] {
            TADOQuery q(&e.m_connection);
            ExecQuery(q, QStringLiteral("delete from %1 where %2=").arg(Rows::Table(), Rows::IdColumn()) +
                             QuoteId(id));
        });
        m_rowPid.remove(id);
    }

    R baseOf(const TZvSyncItem& item, const R& fallback) const
    {
        R base = fallback;
        SyncFieldsFromJson(item.fields, base);
        return base;
    }

    // The item the server's parent UID names, as the parent shown here: a sub-item's parent
    // is its top-level item (two levels), an unknown one or the item itself none.
    QString flattened(const QString& parentUid, const QString& self) const
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
    QString parentUidOf(const QString& pid) const
    {
        if (pid.isEmpty() || pid == kRootId) return QString();
        const auto it = m_byId.find(pid);
        return it == m_byId.end() ? pid : it->uid;
    }

    // ---- What the server has ----

    void onListing(const TZvDavListing& l)
    {
        if (!l.error.isEmpty()) return e.finish(l.error);
        m_listing = l;
        QSet<QString> listed;
        for (const auto& [url, etag] : l.members) {
            const QString key = TZvDavClient::keyOf(url);
            listed.insert(key);
            const QString id = m_idByHref.value(key);
            const TZvSyncItem* known = !id.isEmpty()             ? &m_byId[id]
                                       : m_ignored.contains(key) ? &m_ignored[key]
                                                                 : nullptr;
            if (!known || known->etag != etag) m_fetch.push_back(url);
        }
        if (l.complete) {
            for (auto it = m_idByHref.cbegin(); it != m_idByHref.cend(); ++it)
                if (!listed.contains(it.key())) m_removed.push_back(it.key());
            for (auto it = m_ignored.cbegin(); it != m_ignored.cend(); ++it)
                if (!listed.contains(it.key())) m_removed.push_back(it.key());
        } else {
            for (const QUrl& url : l.removed) {
                const QString key = TZvDavClient::keyOf(url);
                if (m_idByHref.contains(key) || m_ignored.contains(key)) m_removed.push_back(key);
            }
        }
        if (!massDeletionAllowed()) return;
        e.m_total += int(m_fetch.size());
        emit e.progress(e.m_done, e.m_total);
        fetchNext();
    }

    // More than kMassDeletion items and a tenth of the tree (or of the collection) would be
    // deleted: stop and ask, unless the user has answered for this run.
    bool massDeletionAllowed()
    {
        const TZvMassDeletion answer = e.m_massDeletion.value(m_kind, TZvMassDeletion::Ask);
        const QSet<QString> removed(m_removed.begin(), m_removed.end());
        std::vector<QString> here, there;
        for (const QString& key : m_removed) {
            const QString id = m_idByHref.value(key);
            if (!id.isEmpty() && m_rowPid.contains(id)) here.push_back(id);
        }
        for (const TZvSyncItem& item : std::as_const(m_byId))
            if (!m_rowPid.contains(item.id) && !removed.contains(item.href)) there.push_back(item.id);
        const int tree = int(m_rowPid.size());
        const int collection = m_listing.complete ? int(m_listing.members.size()) : int(m_byId.size());
        const auto tooMany = [](size_t n, int total) {
            return int(n) > kMassDeletion && int(n) * 10 > total;
        };
        const bool hereTooMany = tooMany(here.size(), tree), thereTooMany = tooMany(there.size(), collection);
        if ((hereTooMany || thereTooMany) && answer == TZvMassDeletion::Ask) {
            e.m_result.question = hereTooMany ? TZvSyncQuestion{m_kind, true, int(here.size()), tree}
                                              : TZvSyncQuestion{m_kind, false, int(there.size()), collection};
            e.finish();
            return false;
        }
        if (answer != TZvMassDeletion::RestoreInstead) return true;
        // Kept: what the server lost goes up again as new, what was lost here comes down again.
        TZvTransaction t(e.m_connection, TZvTransaction::Mode::Write);
        if (hereTooMany) {
            for (const QString& id : here) {
                e.m_state->remove(m_byId[id].rowid);
                forget(id);
            }
            m_removed.erase(std::remove_if(m_removed.begin(), m_removed.end(),
                                           [this](const QString& key) {
                                               return !m_idByHref.contains(key) && !m_ignored.contains(key);
                                           }),
                            m_removed.end());
        }
        if (thereTooMany) {
            for (const QString& id : there) {
                const TZvSyncItem item = m_byId[id];
                e.m_state->remove(item.rowid);
                forget(id);
                m_fetch.push_back(urlOfKey(m_collection, item.href));
            }
        }
        t.commit();
        return true;
    }

    void fetchNext()
    {
        if (m_fetchAt >= m_fetch.size()) return e.whenGateOpen([this] { applyRemovals(); });
        const size_t end = std::min(m_fetch.size(), m_fetchAt + size_t(kSlice));
        const std::vector<QUrl> batch(m_fetch.begin() + qsizetype(m_fetchAt),
                                      m_fetch.begin() + qsizetype(end));
        m_fetchAt = end;
        e.m_client->multiget(m_collection, batch,
                             [this](const QString& error, std::vector<TZvDavItem> items) {
                                 e.guarded([&] {
                                     if (!error.isEmpty()) return e.finish(error);
                                     e.whenGateOpen([this, items = std::move(items)] {
                                         applySlice(items);
                                         fetchNext();
                                     });
                                 });
                             });
    }

    void applySlice(const std::vector<TZvDavItem>& items)
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

    void tableChanged()
    {
        e.m_result.changedTables.insert(m_kind);
        emit e.tableChanged(m_kind);
    }

    void itemError(const QString& error)
    {
        m_itemErrors = true;
        e.m_result.itemErrors << error;
    }

    // The time zones a server's text defines, for its times.
    void addZones(icalcomponent* root)
    {
        if (!root || icalcomponent_isa(root) != ICAL_VCALENDAR_COMPONENT) return;
        for (icalcomponent* z = icalcomponent_get_first_component(root, ICAL_VTIMEZONE_COMPONENT); z;
             z = icalcomponent_get_next_component(root, ICAL_VTIMEZONE_COMPONENT))
            e.m_context->addTimeZone(icalcomponent_new_clone(z));
    }

    // The server's text read as a record with the server's ids (UID, parent UID); nothing
    // when it holds no item of this kind.
    std::optional<R> serverRecord(const QByteArray& text)
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
    bool applyIncoming(const QUrl& url, const QString& etag, const QByteArray& data)
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

    bool merge(TZvSyncItem& item, const R& rawServer, const QString& etag, const QByteArray& data,
               bool synced)
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
    R asServerHolds(const R& local)
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

    void applyRemovals()
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
    void keepTwoLevels()
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

    void loadRows()
    {
        m_rowPid.clear();
        TADOQuery q(&e.m_connection);
        OpenQuery(q, QStringLiteral("select %1, %2 from %3")
                         .arg(Rows::IdColumn(), ColumnOf<R>(&R::pid), Rows::Table()));
        for (q.First(); !q.Eof(); q.Next())
            m_rowPid.insert(q.FieldAt(0).AsString(), q.FieldAt(1).AsString());
        q.Close();
    }

    // ---- Local changes ----

    void planUploads()
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

    void pump()
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
    template <class F> TZvDavClient::Done answered(F&& f)
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

    bool again(const QString& id) { return ++m_attempts[id] <= kAttempts; }

    bool create(const QString& id)
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
        e.m_client->put(
            url, text, QString(), answered([=, this](const TZvHttpAnswer& a) {
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

    bool update(const QString& id)
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
    void advance(const R& done, const R& next)
    {
        R now;
        if (!readRow(Rows::Id(done), now)) return;
        if (ChangedParts(now, done) != 0) return;
        updateRow(next);
        e.m_result.changedTables.insert(m_kind);
    }

    bool remove(const QString& id)
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
                                   m_writes.push_back(
                                       [this, rowid = item.rowid] { e.m_state->remove(rowid); });
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
    void refetch(const QUrl& url, const QString& id, std::optional<typename TOp::Type> then)
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

    void failed(const char* verb, const QUrl& url, const TZvHttpAnswer& a)
    {
        // No answer at all: the server or the network is gone, and the sync ends here.
        if (a.status == 0) return e.finish(a.error);
        itemError(TZvDavClient::failureText(verb, url, a));
    }

    void flushWrites() override
    {
        if (m_writes.empty()) return;
        TZvTransaction t(e.m_connection, TZvTransaction::Mode::Write);
        for (const std::function<void()>& w : m_writes)
            w();
        t.commit();
        m_writes.clear();
    }

    void finishKind()
    {
        // A token is kept only after a clean run: an item left out comes again next time.
        TZvTransaction t(e.m_connection, TZvTransaction::Mode::Write);
        e.m_state->setCollection(m_kind, collectionKey(m_collection),
                                 m_itemErrors ? m_oldToken : m_listing.syncToken);
        t.commit();
        if (e.m_result.changedTables.contains(m_kind)) emit e.tableChanged(m_kind);
        m_done();
    }

    const QString m_kind = Rows::Table();
    std::function<void()> m_done;
    QHash<QString, QString> m_rowPid; // local id -> pid
    QHash<QString, TZvSyncItem> m_byId;
    QHash<QString, QString> m_idByUid;
    QHash<QString, QString> m_idByHref;
    QHash<QString, TZvSyncItem> m_ignored; // by href: server items of another kind
    TZvDavListing m_listing;
    QString m_oldToken;
    std::vector<QUrl> m_fetch;
    size_t m_fetchAt = 0;
    std::vector<QString> m_removed;
    bool m_itemErrors = false;
    std::deque<TOp> m_ops;
    int m_inFlight = 0;
    std::vector<std::function<void()>> m_writes;
    QHash<QString, int> m_attempts;
};

// ---- The engine ---------------------------------------------------------------------------

TZvSyncEngine::TZvSyncEngine(TADOConnection& connection, const TZvSyncSettings& settings, QObject* parent)
    : QObject(parent), m_connection(connection), m_settings(settings)
{}

TZvSyncEngine::~TZvSyncEngine()
{
    if (m_client) m_client->abortAll();
}

void TZvSyncEngine::setMassDeletion(const QString& kind, TZvMassDeletion answer)
{
    m_massDeletion.insert(kind, answer);
}

void TZvSyncEngine::start()
{
    if (m_running) return;
    ++m_run;
    m_running = true;
    m_result = TZvSyncResult();
    m_kinds.clear();
    m_kindIndex = 0;
    m_done = m_total = 0;
    if (m_client) m_client->deleteLater();
    m_client = new TZvDavClient(m_settings.account, this);
    guarded([this] {
        m_state = std::make_unique<TZvSyncState>(m_connection);
        m_state->ensureTables();
        m_context = std::make_unique<TZvICalContext>();
        resolveCollections();
    });
}

void TZvSyncEngine::cancel()
{
    finish(SyncText("The sync was stopped"));
}

template <class F> void TZvSyncEngine::guarded(F&& work)
{
    try {
        std::forward<F>(work)();
    } catch (const EZvError& e) {
        finish(e.message());
    } catch (const std::exception& e) {
        finish(QString::fromLocal8Bit(e.what()));
    }
}

void TZvSyncEngine::whenGateOpen(std::function<void()> work)
{
    if (!m_running) return;
    if (!m_gate || m_gate()) return guarded(work);
    QTimer::singleShot(kGateRetryMs, this, [this, run = m_run, work = std::move(work)] {
        if (run == m_run) whenGateOpen(work);
    });
}

void TZvSyncEngine::resolveCollections()
{
    resolve(QStringLiteral("tasks"), m_settings.tasks, "VTODO", kTasksName, [this](const QUrl& tasks) {
        m_tasksUrl = tasks;
        resolve(QStringLiteral("memos"), m_settings.memos, "VJOURNAL", kMemosName, [this](const QUrl& memos) {
            m_memosUrl = memos;
            runKinds();
        });
    });
}

void TZvSyncEngine::resolve(const QString& kind, const QUrl& chosen, const char* component,
                            const QString& name, std::function<void(const QUrl&)> next)
{
    const QString comp = QString::fromLatin1(component);
    const bool memos = kind == QLatin1String("memos");
    // Memos need a server that keeps journals; tasks cannot do without their collection.
    const auto refused = [this, memos, next](const QString& why) {
        if (!memos) return finish(why);
        m_result.notes << SyncText("Memos are not synced: %1").arg(why);
        next(QUrl());
    };
    const auto make = [this, name, comp, next, refused](const QUrl& url) {
        m_client->makeCalendar(url, name, comp, [this, url, next, refused](const QString& error) {
            guarded([&] {
                if (!error.isEmpty())
                    return refused(SyncText("the server did not make the collection (%1)").arg(error));
                next(url);
            });
        });
    };
    if (!chosen.isEmpty()) {
        m_client->properties(chosen, [=, this](int status, const QString& error, const TZvDavProps& props) {
            guarded([&] {
                if (status == 404) return make(chosen);
                if (!error.isEmpty()) return finish(error);
                if (!props.calendar)
                    return refused(SyncText("%1 is no calendar collection").arg(chosen.toDisplayString()));
                if (props.components && !props.components->contains(comp))
                    return refused(
                        SyncText("the collection %1 takes no %2").arg(chosen.toDisplayString(), comp));
                next(chosen);
            });
        });
        return;
    }
    const auto choose = [=, this] {
        for (const TZvDavCollection& c : m_discovery.collections)
            if (c.displayName == name && c.takes(comp)) return next(c.url);
        const QString slug = name.toLower().replace(QLatin1Char(' '), QLatin1Char('-')) + QLatin1Char('/');
        make(m_discovery.home.resolved(QUrl(slug)));
    };
    if (m_discovered) return choose();
    m_client->discover([=, this](const TZvDavDiscovery& d) {
        guarded([&] {
            if (!d.error.isEmpty()) return finish(d.error);
            m_discovery = d;
            m_discovered = true;
            choose();
        });
    });
}

void TZvSyncEngine::runKinds()
{
    if (m_tasksUrl.isValid()) m_kinds.push_back(std::make_unique<TKind<TTaskInfo>>(*this, m_tasksUrl));
    if (m_memosUrl.isValid()) m_kinds.push_back(std::make_unique<TKind<TMemoInfo>>(*this, m_memosUrl));
    m_kindIndex = 0;
    runNextKind();
}

void TZvSyncEngine::runNextKind()
{
    if (!m_running) return;
    if (m_kindIndex >= m_kinds.size()) return finish();
    TKindBase* kind = m_kinds[m_kindIndex++].get();
    guarded([this, kind] { kind->run([this] { runNextKind(); }); });
}

void TZvSyncEngine::finish(const QString& error)
{
    if (!m_running) return;
    m_running = false;
    ++m_run;
    if (!error.isEmpty() && m_result.error.isEmpty()) m_result.error = error;
    if (m_client) {
        m_result.untrustedCertificate = m_client->untrustedCertificate();
        m_client->abortAll();
    }
    try {
        // What the server has acknowledged is kept: the next sync need not find it again.
        if (m_kindIndex > 0 && m_kindIndex <= m_kinds.size() && m_connection.connected() &&
            !m_connection.transaction())
            m_kinds[m_kindIndex - 1]->flushWrites();
    } catch (const EZvError& e) {
        if (m_result.error.isEmpty()) m_result.error = e.message();
    }
    try {
        if (m_state && m_connection.connected() && !m_connection.transaction()) {
            TZvSyncLogEntry entry{Now(), m_result.up, m_result.down, m_result.conflicts,
                                  m_result.succeeded() ? QString() : m_result.line()};
            m_state->log(entry);
        }
    } catch (const EZvError& e) {
        if (m_result.error.isEmpty()) m_result.error = e.message();
    }
    // Announced once the callers' work on the stack has ended.
    QTimer::singleShot(0, this, [this, result = m_result] { emit finished(result); });
}

} // namespace zv
