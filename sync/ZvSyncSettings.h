#pragma once

// The sync's settings in zvConf.ini (section "sync") and its password, which never goes
// there: ZVJ_SYNC_PASSWORD for unattended use, else the desktop's secret store.

#include "sync/ZvSyncEngine.h"

#include <QString>
#include <optional>

namespace zv {

struct TZvSyncConfig
{
    QString url; // the server address as the user typed it
    QString user;
    QString tasks; // the chosen collections' addresses; empty: the program's own, by name
    QString memos;
    int interval = 15; // minutes
    bool enabled = false;
    QString pin;            // SHA-256 fingerprint of a certificate the user accepted
    bool plainHttp = false; // plain HTTP to another machine, after the user's yes

    static TZvSyncConfig Read(const QString& iniPath);
    // Every key, by the settings file's rules (raises when it cannot write).
    void Write(const QString& iniPath) const;
    bool configured() const { return !url.trimmed().isEmpty(); }
    // The address to use: as typed, https:// put in front when it names no scheme.
    QUrl serverUrl() const;
    // The name the password is kept under in the secret store.
    QString secretKey() const;
};

struct TZvPasswordLookup
{
    std::optional<QString> password; // nothing found
    bool fromEnvironment = false;
    bool storeAnswered = false; // a secret store runs
    QString storeError;         // it answered with a failure
};

// ZVJ_SYNC_PASSWORD when set, else the secret store's entry for the config's user and server.
TZvPasswordLookup LookUpSyncPassword(const TZvSyncConfig& config);
// Keeps the password in the secret store (an empty one removes it); false with the reason
// when no store took it. Never written anywhere else.
bool KeepSyncPassword(const TZvSyncConfig& config, const QString& password, QString* error);

// The engine's settings of a config and a password.
TZvSyncSettings SyncSettingsOf(const TZvSyncConfig& config, const QString& password,
                               const QString& appVersion);

// Installs the desktop's secret store (QtKeychain, its plain-text fallback off) behind the
// secret seam, where the program was built with it.
void InstallSecretStore();

// One sync of the program folder's database with its settings, to its end (no running
// program holds the database; the caller holds the single-instance lock). `progress` gets
// the items done and to do.
TZvSyncResult RunSyncAlone(const QString& programFolder, const QString& appVersion,
                           const std::function<void(int done, int total)>& progress = {});

} // namespace zv
