#pragma once

// One table's sync inside the engine (TZvSyncEngine::TKind<R>, for tasks and for memos): the
// class, and what its files share. Its members are defined by job: the table's run and its
// model in ZvSyncTable.cpp, the server's listing in ZvSyncListing.cpp, taking in what the
// server has in ZvSyncIncoming.cpp, the local changes going up in ZvSyncUpload.cpp. Each
// file instantiates, for both kinds, the members of its own that the others call (a link
// error names one that is missing). Private to the layer.

#include "interchange/ZvICalendar.h"
#include "interchange/ZvRows.h"
#include "store/ZvDb.h"
#include "store/ZvError.h"
#include "sync/ZvSyncEngine.h"
#include "sync/ZvSyncState.h"

#include <QHash>
#include <QUrl>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace zv {

// An item's address in the collection from the key it is kept by (TZvDavClient::keyOf).
QUrl urlOfKey(const QUrl& collection, const QString& key);

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

    void run(std::function<void()> done) override;

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

    // The table's run and its model: local rows and what was synced (ZvSyncTable.cpp).
    void finishKind();
    void loadModel();
    void remember(const TZvSyncItem& item);
    void forget(const QString& id);
    bool readRow(const QString& id, R& r);

    // Every row written here is counted, so that the caller tells the sync's changes from
    // the user's.
    template <class F> void writeRows(F&& write)
    {
        const qint64 before = e.m_connection.dataChanges();
        std::forward<F>(write)();
        e.m_result.localWrites += e.m_connection.dataChanges() - before;
    }

    void insertRow(const R& r);
    void updateRow(const R& r);
    void deleteRow(const QString& id);
    R baseOf(const TZvSyncItem& item, const R& fallback) const;
    QString flattened(const QString& parentUid, const QString& self) const;
    QString parentUidOf(const QString& pid) const;
    void loadRows();
    void tableChanged();
    void itemError(const QString& error);

    // What the server has (ZvSyncListing.cpp).
    void onListing(const TZvDavListing& l);
    bool massDeletionAllowed();
    void fetchNext();

    // Taken in from the server (ZvSyncIncoming.cpp).
    void applySlice(const std::vector<TZvDavItem>& items);
    void addZones(icalcomponent* root);
    std::optional<R> serverRecord(const QByteArray& text);
    bool applyIncoming(const QUrl& url, const QString& etag, const QByteArray& data);
    bool merge(TZvSyncItem& item, const R& rawServer, const QString& etag, const QByteArray& data,
               bool synced);
    R asServerHolds(const R& local);
    void applyRemovals();
    void keepTwoLevels();

    // Local changes (ZvSyncUpload.cpp).
    void planUploads();
    void pump();
    template <class F> TZvDavClient::Done answered(F&& f);
    bool again(const QString& id);
    bool create(const QString& id);
    bool update(const QString& id);
    void advance(const R& done, const R& next);
    bool remove(const QString& id);
    void refetch(const QUrl& url, const QString& id, std::optional<typename TOp::Type> then);
    void failed(const char* verb, const QUrl& url, const TZvHttpAnswer& a);
    void flushWrites() override;

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

// Here, not in the engine's file: the table's members run their work through it too.
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

} // namespace zv
