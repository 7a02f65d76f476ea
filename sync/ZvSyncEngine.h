#pragma once

// One sync of the database's tasks and memos with a CalDAV server. Asynchronous: the
// network is waited for on the event loop, and incoming changes are applied in slices, each
// committed in a transaction of its own before control returns. Local changes are found by
// comparing every row with its values as last synced, so no path of change is missed.

#include "store/ZvDateTime.h"
#include "sync/ZvDavClient.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

namespace zv {

class TADOConnection;
class TZvSyncState;
class TZvICalContext;

struct TZvSyncSettings
{
    TZvDavAccount account;
    // The chosen collections; empty: the ones named "Zorvik Jotboard tasks" / "… memos" in
    // the user's calendar home, made when missing. A chosen one that is missing is made.
    QUrl tasks;
    QUrl memos;
    QString appVersion; // for the PRODID of what is written
};

// A sync that would delete many items stops before deleting and asks.
struct TZvSyncQuestion
{
    QString kind;      // "tasks" or "memos"
    bool here = false; // true: items here (the server lost them); false: items on the server
    int count = 0;
    int total = 0;
};

// What to do with such deletions in the next run, per table.
enum class TZvMassDeletion
{
    Ask,           // stop and ask (the default)
    Delete,        // the user said yes
    RestoreInstead // keep them: upload the items here again, or fetch the server's again
};

struct TZvSyncResult
{
    int up = 0;             // items written to or deleted on the server
    int down = 0;           // items made, changed or deleted here
    int conflicts = 0;      // items changed on both sides, or written by another meanwhile
    int advanced = 0;       // repeating tasks moved to their next date
    QString error;          // what ended the sync; empty when it ran to its end
    QStringList itemErrors; // items left out (too large, refused); the rest was synced
    std::optional<TZvSyncQuestion> question;
    QString untrustedCertificate; // the fingerprint, when an unknown certificate ended it
    QStringList notes;            // e.g. memos not synced: the server keeps no journals
    QSet<QString> changedTables;  // tables whose rows the sync changed
    qint64 localWrites = 0;       // rows of the data it wrote here (TADOConnection::dataChanges)

    bool succeeded() const { return error.isEmpty() && itemErrors.isEmpty() && !question; }
    // "synced: 3 up, 5 down, 0 conflicts"
    QString summary() const;
    // One line: the summary, or why it failed.
    QString line() const;
};

class TZvSyncEngine : public QObject
{
    Q_OBJECT
public:
    TZvSyncEngine(TADOConnection& connection, const TZvSyncSettings& settings, QObject* parent = nullptr);
    ~TZvSyncEngine() override;

    void setMassDeletion(const QString& kind, TZvMassDeletion answer);
    // Asked before every slice of incoming changes: false (a node is being edited, an
    // exchange operation runs) makes the sync wait and ask again a little later.
    void setGate(std::function<bool()> gate) { m_gate = std::move(gate); }

    void start();
    bool running() const { return m_running; }
    // Ends a running sync at once (what was applied stays); finished follows.
    void cancel();

    // How many items go up or down in one transaction, and how many requests run at once.
    static constexpr int kSlice = 100;
    static constexpr int kParallel = 4;
    // A sync deletes at most this many items, and not more than a tenth of a tree or a
    // collection, without asking.
    static constexpr int kMassDeletion = 20;

signals:
    void progress(int done, int total);
    // Rows of the table changed (a slice was committed).
    void tableChanged(const QString& table);
    void finished(const TZvSyncResult& result);

private:
    class TKindBase;
    template <class R> class TKind;
    friend class TKindBase;
    template <class R> friend class TKind;

    void resolveCollections();
    void resolve(const QString& kind, const QUrl& chosen, const char* component, const QString& name,
                 std::function<void(const QUrl&)> next);
    void runKinds();
    void runNextKind();
    void finish(const QString& error = QString());
    // Runs `work`; what it raises ends the sync with its message.
    template <class F> void guarded(F&& work);
    // Runs `work` now when the gate is open, otherwise a little later.
    void whenGateOpen(std::function<void()> work);

    TADOConnection& m_connection;
    TZvSyncSettings m_settings;
    std::unique_ptr<TZvSyncState> m_state;
    std::unique_ptr<TZvICalContext> m_context;
    TZvDavClient* m_client = nullptr;
    std::function<bool()> m_gate;
    QHash<QString, TZvMassDeletion> m_massDeletion;
    TZvSyncResult m_result;
    bool m_running = false;
    quint64 m_run = 0; // each start and end: a timer of an earlier run finds it changed
    TZvDavDiscovery m_discovery;
    bool m_discovered = false;
    QUrl m_tasksUrl;
    QUrl m_memosUrl;
    std::vector<std::unique_ptr<TKindBase>> m_kinds;
    size_t m_kindIndex = 0;
    int m_done = 0;
    int m_total = 0;
};

} // namespace zv
