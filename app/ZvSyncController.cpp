#include "app/ZvSyncController.h"

#include "app/Fm_Main.h"
#include "components/ZvTray.h"
#include "interchange/ZvIoBusy.h"
#include "store/ZvGuard.h"
#include "store/ZvIniFile.h"
#include "store/ZvSeams.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QLocale>
#include <QTime>
#include <QTimer>

namespace zv {

namespace {

QString str(const char* text)
{
    return QCoreApplication::translate("TZvSyncController", text);
}

// Progress lines to a later process at most this often.
constexpr qint64 kProgressEveryMs = 500;
constexpr int kMinuteMs = 60000;

QString timeText(const QTime& t)
{
    return QLocale::system().toString(t, QLocale::ShortFormat);
}

} // namespace

TZvSyncController::TZvSyncController(TmainFm* main)
    : QObject(main), m_main(main), m_interval(new QTimer(this)), m_afterChange(new QTimer(this)),
      m_watch(new QTimer(this))
{
    Action_SyncNow = new QAction(str("Sync &Now"), this);
    Action_SyncNow->setObjectName(QStringLiteral("Action_SyncNow"));
    connect(Action_SyncNow, &QAction::triggered, this, [this] { Guarded([this] { SyncNow({}, true); }); });
    m_afterChange->setSingleShot(true);
    m_afterChange->setInterval(kAfterChangeMs);
    const auto background = [this] {
        Guarded([this] {
            if (Enabled()) SyncNow();
        });
    };
    connect(m_interval, &QTimer::timeout, this, background);
    connect(m_afterChange, &QTimer::timeout, this, background);
    m_watch->setInterval(kWatchMs);
    connect(m_watch, &QTimer::timeout, this, [this] { Guarded([this] { watch(); }); });
    Action_SyncNow->setVisible(false);
}

TZvSyncController::~TZvSyncController() = default;

TZvSyncConfig TZvSyncController::Config() const
{
    return TZvSyncConfig::Read(m_main->ConfFile);
}

bool TZvSyncController::Running() const
{
    return m_engine && m_engine->running();
}

void TZvSyncController::SettingsChanged()
{
    m_config = Config();
    const bool on = Enabled();
    Action_SyncNow->setVisible(on);
    Action_SyncNow->setEnabled(on);
    m_main->ShowSyncCommands(on);
    if (on) {
        m_interval->start(m_config.interval * kMinuteMs);
        m_watch->start();
    } else {
        m_interval->stop();
        m_afterChange->stop();
        m_watch->stop();
        m_failure.clear();
        if (m_main->ZvTrayIcon1) m_main->ZvTrayIcon1->setHintNote(QString());
    }
    if (m_stateText.isEmpty()) m_stateText = str("Not synced yet");
    showState(m_stateText, m_stateTip);
}

bool TZvSyncController::gateOpen() const
{
    if (IoBusy()) return false;
    for (const TZvFrame* f : {m_main->TaskFrame.data(), m_main->MemoFrame.data()})
        if (f && (f->Editing() || !f->Loaded())) return false;
    return true;
}

void TZvSyncController::watch()
{
    // The first sync of a run once both trees are loaded; later ones a while after the data
    // changed, whatever changed it (typing, a paste, a move, a restore, an import).
    if (!m_startDone) {
        if (!m_main->TaskFrame || !m_main->MemoFrame || !m_main->TaskFrame->Loaded() ||
            !m_main->MemoFrame->Loaded())
            return;
        m_startDone = true;
        m_seenChanges = m_main->ADOConnection1.dataChanges();
        showState(m_stateText, m_stateTip);
        SyncNow();
        return;
    }
    if (Running()) return;
    const qint64 now = m_main->ADOConnection1.dataChanges();
    if (now == m_seenChanges) return;
    m_seenChanges = now;
    m_afterChange->start();
}

void TZvSyncController::SyncNow(const TZvInstanceReply& reply, bool interactive)
{
    if (!reply.answered()) m_replies.push_back(reply);
    if (Running()) return;
    m_config = Config();
    m_interactive = interactive;
    if (!m_config.configured()) {
        TZvSyncResult r;
        r.error = str("Sync is not set up: zvConf.ini names no server (section \"sync\", key \"url\")");
        return onFinished(r);
    }
    const TZvPasswordLookup found = LookUpSyncPassword(m_config);
    m_password = found.password ? *found.password : m_sessionPassword.value_or(QString());
    m_passwordAsked = false;
    start();
}

void TZvSyncController::start(const QString& kind, TZvMassDeletion answer)
{
    m_changesAtStart = m_main->ADOConnection1.dataChanges();
    m_engine = std::make_unique<TZvSyncEngine>(m_main->ADOConnection1,
                                               SyncSettingsOf(m_config, m_password, m_main->appVersion()));
    if (!kind.isEmpty()) m_engine->setMassDeletion(kind, answer);
    m_engine->setGate([this] { return gateOpen(); });
    connect(m_engine.get(), &TZvSyncEngine::progress, this, &TZvSyncController::onProgress);
    connect(m_engine.get(), &TZvSyncEngine::finished, this,
            [this](const TZvSyncResult& r) { Guarded([&] { onFinished(r); }); });
    showState(str("Syncing…"));
    m_engine->start();
}

void TZvSyncController::Stop()
{
    m_watch->stop();
    m_interval->stop();
    m_afterChange->stop();
    if (Running()) m_engine->cancel();
}

void TZvSyncController::onProgress(int done, int total)
{
    const QLocale locale = QLocale::system();
    showState(str("Syncing… %1 of %2").arg(locale.toString(done), locale.toString(total)));
    static QElapsedTimer clock;
    if (!clock.isValid()) clock.start();
    if (clock.elapsed() - m_lastProgressMs < kProgressEveryMs) return;
    m_lastProgressMs = clock.elapsed();
    for (TZvInstanceReply& reply : m_replies)
        reply.progress(str("Syncing… %1 of %2").arg(done).arg(total));
}

// What only the user can answer, asked on Sync Now and never by a background sync: the
// password (once per run where no secret store keeps it), an unknown certificate, a mass
// deletion. True when a sync runs again with the answer.
bool TZvSyncController::askAndRetry(const TZvSyncResult& r)
{
    if (!m_interactive || !m_replies.empty()) return false;
    if (r.error.contains(QLatin1String("(401)")) && !m_passwordAsked && !m_config.user.isEmpty()) {
        m_passwordAsked = true;
        const std::optional<QString> password = PasswordPromptSeam().call(
            str("Password of %1 at %2:").arg(m_config.user, m_config.serverUrl().toDisplayString()));
        if (!password) return false;
        KeepPassword(m_config, *password);
        m_password = *password;
        start();
        return true;
    }
    if (!r.untrustedCertificate.isEmpty() && r.untrustedCertificate != m_config.pin) {
        if (!AskToTrust(r.untrustedCertificate)) return false;
        SyncNow({}, true);
        return true;
    }
    if (r.question) {
        const TZvSyncQuestion& q = *r.question;
        const QString what = q.kind == QLatin1String("tasks") ? str("tasks") : str("memos");
        const QString text =
            q.here
                ? str("The server no longer has %1 of the %2 %3 here (was it emptied, or restored from an "
                      "old "
                      "backup?).\n\nDelete them here too?\n\nYes: delete them here. No: keep them, and put "
                      "them on the server again.")
                      .arg(q.count)
                      .arg(q.total)
                      .arg(what)
                : str("%1 of the %2 %3 on the server are no longer here (was this database replaced by an "
                      "old copy?).\n\nDelete them on the server too?\n\nYes: delete them on the server. No: "
                      "keep them, and fetch them here again.")
                      .arg(q.count)
                      .arg(q.total)
                      .arg(what);
        const int answer = MessageSeam::show({kAppTitle, text, MsgIcon::Question, MsgButtons::YesNo});
        if (answer != IdYes && answer != IdNo) return false;
        start(q.kind, answer == IdYes ? TZvMassDeletion::Delete : TZvMassDeletion::RestoreInstead);
        return true;
    }
    return false;
}

void TZvSyncController::KeepPassword(const TZvSyncConfig& config, const QString& password)
{
    QString error;
    if (KeepSyncPassword(config, password, &error)) return;
    // Kept nowhere but in memory: asked again at the next start.
    m_sessionPassword = password;
    MsgWarning(
        str("The password cannot be kept: %1. It is asked once each time the program starts.").arg(error));
}

bool TZvSyncController::AskToTrust(const QString& fingerprint)
{
    const int answer = MessageSeam::show(
        {kAppTitle,
         str("The server's certificate is not signed by an authority this computer trusts.\n\n"
             "Its SHA-256 fingerprint is\n%1\n\nCompare it with the fingerprint your server's "
             "administrator gives you. Trust this certificate for this server?")
             .arg(fingerprint),
         MsgIcon::Warning, MsgButtons::YesNo});
    if (answer != IdYes) return false;
    m_config.pin = fingerprint;
    TIniFile(m_main->ConfFile).WriteString(QStringLiteral("sync"), QStringLiteral("pin"), fingerprint);
    return true;
}

bool TZvSyncController::AllowPlainHttp(TZvSyncConfig& config)
{
    const QUrl url = config.serverUrl();
    if (url.scheme() != QLatin1String("http") || config.plainHttp) return true;
    const QHostAddress host(url.host());
    if (url.host() == QLatin1String("localhost") || (!host.isNull() && host.isLoopback())) return true;
    const int answer = MessageSeam::show(
        {kAppTitle,
         str("%1 is reached by plain HTTP: your password and your items cross the network unprotected, and "
             "anyone on the way can read or change them.\n\nUse this address anyway?")
             .arg(url.toDisplayString(QUrl::RemoveUserInfo)),
         MsgIcon::Warning, MsgButtons::YesNo});
    if (answer != IdYes) return false;
    config.plainHttp = true;
    return true;
}

std::vector<TZvSyncLogEntry> TZvSyncController::Log() const
{
    TZvSyncState state(m_main->ADOConnection1);
    state.ensureTables();
    return state.lastLog(TZvSyncState::kLogEntries);
}

void TZvSyncController::onFinished(const TZvSyncResult& result)
{
    reloadWhenIdle(result.changedTables);
    // What the sync changed here is no change to send back; what the user changed while it
    // ran is, a while later.
    const qint64 now = m_main->ADOConnection1.dataChanges();
    const bool userChanged = now - m_changesAtStart > result.localWrites;
    m_seenChanges = now;
    if (userChanged && Enabled())
        m_afterChange->start();
    else
        m_afterChange->stop();
    if (askAndRetry(result)) return;
    m_interactive = false;
    m_last = result;

    std::vector<TZvInstanceReply> replies;
    replies.swap(m_replies);
    for (TZvInstanceReply& reply : replies) {
        if (result.succeeded())
            reply.succeed(QString(), result.summary());
        else
            reply.fail(result.line());
    }
    if (result.succeeded()) {
        m_failure.clear();
        m_main->ZvTrayIcon1->setHintNote(QString());
        QString text = str("Synced %1").arg(timeText(Clock::now().time()));
        if (result.advanced > 0)
            text += QStringLiteral(" · ") +
                    (result.advanced == 1
                         ? str("a repeating task moved to its next date")
                         : str("%1 repeating tasks moved to their next dates").arg(result.advanced));
        showState(text, (QStringList{result.summary()} + result.notes).join(QLatin1Char('\n')));
    } else {
        // Said once, where a person looks, and left there until a sync succeeds: no box
        // every quarter of an hour.
        m_failure = result.line();
        m_main->ZvTrayIcon1->setHintNote(str("Sync failed: %1").arg(m_failure));
        showState(str("Sync failed"), m_failure);
    }
    emit finished(result);
}

void TZvSyncController::showState(const QString& text, const QString& tip)
{
    m_stateText = text;
    m_stateTip = tip;
    // Nothing of the sync shows while it is off.
    const bool on = Enabled();
    for (TZvFrame* f : {m_main->TaskFrame.data(), m_main->MemoFrame.data()})
        if (f) f->ShowSyncState(on ? text : QString(), on ? tip : QString());
}

void TZvSyncController::reloadWhenIdle(const QSet<QString>& tables)
{
    if (tables.isEmpty()) return;
    // The trees load again from the rows, as after a restore, once no edit is under way.
    if (!gateOpen()) {
        QTimer::singleShot(200, this, [this, tables] { Guarded([&] { reloadWhenIdle(tables); }); });
        return;
    }
    m_main->ReloadTables(tables);
}

} // namespace zv
