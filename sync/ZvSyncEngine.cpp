#include "sync/ZvSyncEngine.h"

#include "sync/ZvSyncTable.h"
#include "sync/ZvSyncText.h"

#include <QTimer>

namespace zv {

namespace {

const QString kTasksName = QStringLiteral("Zorvik Jotboard tasks");
const QString kMemosName = QStringLiteral("Zorvik Jotboard memos");

// How long the sync waits before asking the gate again.
constexpr int kGateRetryMs = 200;

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
