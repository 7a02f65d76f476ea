#include "sync/ZvSyncSettings.h"

#include "store/ZvDb.h"
#include "store/ZvError.h"
#include "store/ZvIniFile.h"
#include "store/ZvSeams.h"
#include "sync/ZvSyncText.h"

#include <QCoreApplication>
#include <QEventLoop>

#ifdef ZVJ_HAVE_KEYCHAIN
#include <QTimer>
#include <qt6keychain/keychain.h>
#endif

namespace zv {

namespace {

const QString kSection = QStringLiteral("sync");
const QString kSecretService = QStringLiteral("Zorvik Jotboard");

} // namespace

TZvSyncConfig TZvSyncConfig::Read(const QString& iniPath)
{
    const TIniFile ini(iniPath);
    TZvSyncConfig c;
    c.url = ini.ReadString(kSection, QStringLiteral("url"), QString()).trimmed();
    c.user = ini.ReadString(kSection, QStringLiteral("user"), QString());
    c.tasks = ini.ReadString(kSection, QStringLiteral("tasks"), QString()).trimmed();
    c.memos = ini.ReadString(kSection, QStringLiteral("memos"), QString()).trimmed();
    c.interval = ini.ReadInteger(kSection, QStringLiteral("interval"), 15);
    if (c.interval < 1) c.interval = 15;
    c.enabled = ini.ReadBool(kSection, QStringLiteral("enabled"), false);
    c.pin = ini.ReadString(kSection, QStringLiteral("pin"), QString()).trimmed();
    c.plainHttp = ini.ReadBool(kSection, QStringLiteral("plainhttp"), false);
    return c;
}

void TZvSyncConfig::Write(const QString& iniPath) const
{
    TIniFile ini(iniPath);
    ini.WriteString(kSection, QStringLiteral("url"), url);
    ini.WriteString(kSection, QStringLiteral("user"), user);
    ini.WriteString(kSection, QStringLiteral("tasks"), tasks);
    ini.WriteString(kSection, QStringLiteral("memos"), memos);
    ini.WriteInteger(kSection, QStringLiteral("interval"), interval);
    ini.WriteBool(kSection, QStringLiteral("enabled"), enabled);
    ini.WriteString(kSection, QStringLiteral("pin"), pin);
    ini.WriteBool(kSection, QStringLiteral("plainhttp"), plainHttp);
}

QUrl TZvSyncConfig::serverUrl() const
{
    const QString typed = url.trimmed();
    if (typed.isEmpty()) return QUrl();
    QUrl u(typed.contains(QLatin1String("://")) ? typed : QStringLiteral("https://") + typed);
    if (u.path().isEmpty()) u.setPath(QStringLiteral("/"));
    return u;
}

QString TZvSyncConfig::secretKey() const
{
    return QStringLiteral("sync:%1@%2").arg(user, serverUrl().adjusted(QUrl::RemoveUserInfo).toString());
}

TZvPasswordLookup LookUpSyncPassword(const TZvSyncConfig& config)
{
    TZvPasswordLookup found;
    if (qEnvironmentVariableIsSet("ZVJ_SYNC_PASSWORD")) {
        found.password = qEnvironmentVariable("ZVJ_SYNC_PASSWORD");
        found.fromEnvironment = true;
        return found;
    }
    if (config.user.isEmpty()) return found;
    const SecretAnswer a = SecretSeam().call({SecretRequest::Op::Read, config.secretKey(), QString()});
    found.storeAnswered = a.storeAnswered;
    found.storeError = a.error;
    if (a.found) found.password = a.value;
    return found;
}

bool KeepSyncPassword(const TZvSyncConfig& config, const QString& password, QString* error)
{
    const SecretAnswer a =
        SecretSeam().call({password.isEmpty() ? SecretRequest::Op::Remove : SecretRequest::Op::Write,
                           config.secretKey(), password});
    if (a.storeAnswered && a.error.isEmpty()) return true;
    *error = a.storeAnswered ? a.error : SyncText("no secret store answers on this desktop");
    return false;
}

TZvSyncSettings SyncSettingsOf(const TZvSyncConfig& config, const QString& password,
                               const QString& appVersion)
{
    TZvSyncSettings s;
    s.account = {config.serverUrl(), config.user, password, config.pin, config.plainHttp};
    s.tasks = config.tasks.isEmpty() ? QUrl() : QUrl(config.tasks);
    s.memos = config.memos.isEmpty() ? QUrl() : QUrl(config.memos);
    s.appVersion = appVersion;
    return s;
}

void InstallSecretStore()
{
#ifdef ZVJ_HAVE_KEYCHAIN
    SecretSeam().setHandler([](const SecretRequest& r) {
        std::unique_ptr<QKeychain::Job> job;
        switch (r.op) {
        case SecretRequest::Op::Read:
            job = std::make_unique<QKeychain::ReadPasswordJob>(kSecretService);
            break;
        case SecretRequest::Op::Write: {
            auto write = std::make_unique<QKeychain::WritePasswordJob>(kSecretService);
            write->setTextData(r.value);
            job = std::move(write);
            break;
        }
        case SecretRequest::Op::Remove:
            job = std::make_unique<QKeychain::DeletePasswordJob>(kSecretService);
            break;
        }
        job->setAutoDelete(false);
        // Never the library's unprotected file: where no store runs, nothing is kept.
        job->setInsecureFallback(false);
        job->setKey(r.key);
        QEventLoop loop;
        QObject::connect(job.get(), &QKeychain::Job::finished, &loop, &QEventLoop::quit);
        bool ended = false;
        QObject::connect(job.get(), &QKeychain::Job::finished, [&ended] { ended = true; });
        QTimer::singleShot(15000, &loop, &QEventLoop::quit);
        job->start();
        if (!ended) loop.exec();
        SecretAnswer a;
        if (!ended) return a; // a store that does not answer is none
        switch (job->error()) {
        case QKeychain::NoError:
            a.storeAnswered = a.found = true;
            if (r.op == SecretRequest::Op::Read)
                a.value = static_cast<QKeychain::ReadPasswordJob*>(job.get())->textData();
            break;
        case QKeychain::EntryNotFound:
            a.storeAnswered = true;
            break;
        case QKeychain::AccessDenied:
        case QKeychain::AccessDeniedByUser:
        case QKeychain::CouldNotDeleteEntry:
            a.storeAnswered = true;
            a.error = job->errorString();
            break;
        default:
            // No store, or none reachable (no session bus): the library says "Unknown error".
            a.error = job->errorString();
        }
        return a;
    });
#endif
}

TZvSyncResult RunSyncAlone(const QString& programFolder, const QString& appVersion,
                           const std::function<void(int, int)>& progress)
{
    TZvSyncResult failed;
    const TZvSyncConfig config = TZvSyncConfig::Read(programFolder + QStringLiteral("zvConf.ini"));
    if (!config.configured()) {
        failed.error =
            SyncText("Sync is not set up: zvConf.ini names no server (section \"sync\", key \"url\")");
        return failed;
    }
    const TZvPasswordLookup password = LookUpSyncPassword(config);
    TADOConnection connection;
    try {
        connection.setConnectionString(TADOConnection::BuildConnectionString(programFolder));
        connection.Open();
    } catch (const EZvError& e) {
        failed.error = e.message();
        return failed;
    }
    TZvSyncEngine engine(connection,
                         SyncSettingsOf(config, password.password.value_or(QString()), appVersion));
    if (progress) QObject::connect(&engine, &TZvSyncEngine::progress, progress);
    std::optional<TZvSyncResult> result;
    QEventLoop loop;
    QObject::connect(&engine, &TZvSyncEngine::finished, [&](const TZvSyncResult& r) {
        result = r;
        loop.quit();
    });
    engine.start();
    if (!result) loop.exec();
    // A refused password where none was found: say where one is looked for.
    if (result->error.contains(QLatin1String("(401)")) && !password.password)
        result->error +=
            SyncText(": no password is kept for %1 (secret store, or ZVJ_SYNC_PASSWORD)").arg(config.user);
    try {
        // Written back into the database file, as at Exit: nothing is left in the journal.
        connection.checkpoint();
        connection.Close();
    } catch (const EZvError& e) {
        if (result->error.isEmpty()) result->error = e.message();
    }
    return *result;
}

} // namespace zv
