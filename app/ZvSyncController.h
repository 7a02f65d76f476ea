#pragma once

// The running program's side of the sync: one engine on the window's connection, its gate
// (no node being edited, no exchange operation busy), the trees reloaded after incoming
// changes, and the answers to later processes (--sync) that asked for it.

#include "platform/ZvSingleInstance.h"
#include "sync/ZvSyncSettings.h"

#include <QObject>
#include <memory>
#include <vector>

namespace zv {

class TmainFm;

class TZvSyncController : public QObject
{
    Q_OBJECT
public:
    explicit TZvSyncController(TmainFm* main);
    ~TZvSyncController() override;

    TZvSyncConfig Config() const;
    bool Running() const;
    // One sync now, or the one running; `reply` (a later process's --sync) gets its result.
    void SyncNow(const TZvInstanceReply& reply = TZvInstanceReply());
    // Ends a running sync (at Exit): what was applied stays.
    void Stop();

signals:
    void finished(const TZvSyncResult& result);

private:
    bool gateOpen() const;
    void onProgress(int done, int total);
    void onFinished(const TZvSyncResult& result);
    void reloadWhenIdle(const QSet<QString>& tables);

    TmainFm* m_main;
    std::unique_ptr<TZvSyncEngine> m_engine;
    std::vector<TZvInstanceReply> m_replies;
    qint64 m_lastProgressMs = 0;
};

} // namespace zv
