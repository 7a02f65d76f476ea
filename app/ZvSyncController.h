#pragma once

// The running program's side of the sync: one engine on the window's connection, its gate
// (no node being edited, no exchange operation busy), the trees reloaded after incoming
// changes, the answers to later processes (--sync), and while sync is on: the timers (at
// start once both trees are loaded, on the interval, about 10 s after a local change),
// "Sync Now", the state in the frames' status bars and a failure in the tray's hint until
// a sync succeeds. A background sync never asks anything; Sync Now may ask for the
// password (once per run where no secret store answers), about an unknown certificate and
// before a mass deletion.

#include "platform/ZvSingleInstance.h"
#include "sync/ZvSyncSettings.h"
#include "sync/ZvSyncState.h"

#include <QObject>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QTimer;

namespace zv {

class TmainFm;

class TZvSyncController : public QObject
{
    Q_OBJECT
public:
    explicit TZvSyncController(TmainFm* main);
    ~TZvSyncController() override;

    // "Sync &Now": visible and enabled only while sync is on.
    QAction* Action_SyncNow = nullptr;

    TZvSyncConfig Config() const;
    bool Enabled() const { return m_config.enabled && m_config.configured(); }
    bool Running() const;
    // One sync now, or the one running; `reply` (a later process's --sync) gets its result.
    // An interactive one (Sync Now) may ask the user.
    void SyncNow(const TZvInstanceReply& reply = TZvInstanceReply(), bool interactive = false);
    // Ends a running sync (at Exit): what was applied stays.
    void Stop();
    // The settings changed (the Sync dialog): actions, timers and the status panel follow.
    void SettingsChanged();
    // The password into the secret store; where none takes it, the user is told and it is
    // kept in memory for this run only.
    void KeepPassword(const TZvSyncConfig& config, const QString& password);
    // The last result, and the failure shown until a sync succeeds.
    const std::optional<TZvSyncResult>& LastResult() const { return m_last; }
    QString Failure() const { return m_failure; }
    // The last syncs, the latest first.
    std::vector<TZvSyncLogEntry> Log() const;
    // An unknown certificate shown to the user by its fingerprint; when he trusts it, it is
    // pinned (zvConf.ini, section "sync", key "pin"). True when trusted.
    bool AskToTrust(const QString& fingerprint);
    // Plain HTTP to another machine only after the user's yes (kept as "plainhttp"); true
    // when the address may be used.
    static bool AllowPlainHttp(TZvSyncConfig& config);

    // The timers' times.
    static constexpr int kAfterChangeMs = 10000;
    static constexpr int kWatchMs = 2000;

signals:
    void finished(const TZvSyncResult& result);

private:
    bool gateOpen() const;
    // A sync with the password in hand; with `kind`, the user's answer to its mass deletion.
    void start(const QString& kind = QString(), TZvMassDeletion answer = TZvMassDeletion::Ask);
    void onProgress(int done, int total);
    void onFinished(const TZvSyncResult& result);
    bool askAndRetry(const TZvSyncResult& result);
    void reloadWhenIdle(const QSet<QString>& tables);
    void showState(const QString& text, const QString& tip = QString());
    void watch();

    TmainFm* m_main;
    TZvSyncConfig m_config;
    std::unique_ptr<TZvSyncEngine> m_engine;
    std::vector<TZvInstanceReply> m_replies;
    bool m_interactive = false;
    bool m_passwordAsked = false;
    std::optional<QString> m_sessionPassword;
    QString m_password;
    QString m_stateText;
    QString m_stateTip;
    std::optional<TZvSyncResult> m_last;
    QString m_failure;
    QTimer* m_interval;
    QTimer* m_afterChange;
    QTimer* m_watch;
    qint64 m_seenChanges = -1;
    qint64 m_changesAtStart = 0;
    bool m_startDone = false;
    qint64 m_lastProgressMs = 0;
};

} // namespace zv
