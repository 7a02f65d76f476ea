// One table's sync: what the server lists, whether the deletions it implies may go ahead,
// and the fetching of what changed there.

#include "sync/ZvSyncTable.h"

#include "store/pU_Funcs.h"

namespace zv {

// ---- What the server has ----

template <class R> void TZvSyncEngine::TKind<R>::onListing(const TZvDavListing& l)
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
template <class R> bool TZvSyncEngine::TKind<R>::massDeletionAllowed()
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
    const auto tooMany = [](size_t n, int total) { return int(n) > kMassDeletion && int(n) * 10 > total; };
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

template <class R> void TZvSyncEngine::TKind<R>::fetchNext()
{
    if (m_fetchAt >= m_fetch.size()) return e.whenGateOpen([this] { applyRemovals(); });
    const size_t end = std::min(m_fetch.size(), m_fetchAt + size_t(kSlice));
    const std::vector<QUrl> batch(m_fetch.begin() + qsizetype(m_fetchAt), m_fetch.begin() + qsizetype(end));
    m_fetchAt = end;
    e.m_client->multiget(m_collection, batch, [this](const QString& error, std::vector<TZvDavItem> items) {
        e.guarded([&] {
            if (!error.isEmpty()) return e.finish(error);
            e.whenGateOpen([this, items = std::move(items)] {
                applySlice(items);
                fetchNext();
            });
        });
    });
}

// For both kinds: the table's run hands over to the listing, which does the rest of this file.
#define ZV_SYNC_LISTING_FOR(R) template void TZvSyncEngine::TKind<R>::onListing(const TZvDavListing&);
ZV_SYNC_LISTING_FOR(TTaskInfo)
ZV_SYNC_LISTING_FOR(TMemoInfo)
#undef ZV_SYNC_LISTING_FOR

} // namespace zv
