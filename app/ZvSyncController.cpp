#include "app/ZvSyncController.h"

#include "app/Fm_Main.h"
#include "interchange/ZvIoBusy.h"
#include "store/ZvGuard.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

namespace zv {

namespace {

QString str(const char* text)
{
    return QCoreApplication::translate("TZvSyncController", text);
}

// Progress lines to a later process at most this often.
constexpr qint64 kProgressEveryMs = 500;

} // namespace

TZvSyncController::TZvSyncController(TmainFm* main) : QObject(main), m_main(main) {}

TZvSyncController::~TZvSyncController() = default;

TZvSyncConfig TZvSyncController::Config() const
{
    return TZvSyncConfig::Read(m_main->ConfFile);
}

bool TZvSyncController::Running() const
{
    return m_engine && m_engine->running();
}

bool TZvSyncController::gateOpen() const
{
    if (IoBusy()) return false;
    for (const TZvFrame* f : {m_main->TaskFrame.data(), m_main->MemoFrame.data()})
        if (f && (f->Editing() || !f->Loaded())) return false;
    return true;
}

void TZvSyncController::SyncNow(const TZvInstanceReply& reply)
{
    if (!reply.answered()) m_replies.push_back(reply);
    if (Running()) return;
    const TZvSyncConfig config = Config();
    if (!config.configured()) {
        TZvSyncResult r;
        r.error = str("Sync is not set up: zvConf.ini names no server (section \"sync\", key \"url\")");
        return onFinished(r);
    }
    const TZvPasswordLookup password = LookUpSyncPassword(config);
    m_engine = std::make_unique<TZvSyncEngine>(
        m_main->ADOConnection1,
        SyncSettingsOf(config, password.password.value_or(QString()), m_main->appVersion()));
    m_engine->setGate([this] { return gateOpen(); });
    connect(m_engine.get(), &TZvSyncEngine::progress, this, &TZvSyncController::onProgress);
    connect(m_engine.get(), &TZvSyncEngine::finished, this,
            [this](const TZvSyncResult& r) { Guarded([&] { onFinished(r); }); });
    m_engine->start();
}

void TZvSyncController::Stop()
{
    if (Running()) m_engine->cancel();
}

void TZvSyncController::onProgress(int done, int total)
{
    static QElapsedTimer clock;
    if (!clock.isValid()) clock.start();
    if (clock.elapsed() - m_lastProgressMs < kProgressEveryMs) return;
    m_lastProgressMs = clock.elapsed();
    for (TZvInstanceReply& reply : m_replies)
        reply.progress(str("Syncing… %1 of %2").arg(done).arg(total));
}

void TZvSyncController::onFinished(const TZvSyncResult& result)
{
    std::vector<TZvInstanceReply> replies;
    replies.swap(m_replies);
    for (TZvInstanceReply& reply : replies) {
        if (result.succeeded())
            reply.succeed(QString(), result.summary());
        else
            reply.fail(result.line());
    }
    reloadWhenIdle(result.changedTables);
    emit finished(result);
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
