#pragma once

// What the sync's tests share: waiting for an asynchronous answer, and a server per kind
// started once per test program (skipped when not installed).

#include "ZvDavServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace zvtest {

// Lets events through until `start` calls its callback (or `limitMs` pass); its answer. Events
// are processed by hand: a test that ended a window (QCoreApplication::exit) leaves every
// later event loop of the process returning at once.
template <class T>
std::optional<T> await(const std::function<void(std::function<void(T)>)>& start, qint64 limitMs = 60000)
{
    std::optional<T> result;
    start([&](T value) { result = std::move(value); });
    QTimer tick;
    tick.start(50);
    QElapsedTimer waited;
    waited.start();
    while (!result && waited.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return result;
}

// One server of each kind for the whole test program, started on first use. Nothing when
// it is not installed (the test skips); one that is installed and does not start fails.
inline TDavServer* server(TDavServer::Kind kind, QString* why, bool* broken)
{
    static std::map<TDavServer::Kind, std::unique_ptr<TDavServer>> servers;
    std::unique_ptr<TDavServer>& s = servers[kind];
    *broken = false;
    if (!TDavServer::installed(kind)) {
        *why = QStringLiteral("%1 is not installed").arg(QString::fromLatin1(TDavServer::nameOf(kind)));
        return nullptr;
    }
    if (!s) s = std::make_unique<TDavServer>(kind);
    if (!s->running() && !s->start(why)) {
        *broken = true;
        return nullptr;
    }
    return s.get();
}

inline void addServerColumn()
{
    QTest::addColumn<int>("serverKind");
}

// Each server kind with its name, for the rows of a data table.
inline void forEachServer(const std::function<void(int kind, const QString& name)>& f)
{
    for (TDavServer::Kind kind : {TDavServer::Kind::Radicale, TDavServer::Kind::Xandikos})
        f(int(kind), QString::fromLatin1(TDavServer::nameOf(kind)));
}

} // namespace zvtest

// The server of a kind, or the test skips (not installed) or fails (it does not start).
#define ZV_SERVER(var, kind)                                                                                 \
    QString zvWhy_;                                                                                          \
    bool zvBroken_ = false;                                                                                  \
    zvtest::TDavServer* var = zvtest::server(kind, &zvWhy_, &zvBroken_);                                     \
    if (!var && zvBroken_) QFAIL(qPrintable(zvWhy_));                                                        \
    if (!var) QSKIP(qPrintable(zvWhy_));
// The server of the current row.
#define ZV_SERVER_OF_ROW(var)                                                                                \
    QFETCH(int, serverKind);                                                                                 \
    ZV_SERVER(var, zvtest::TDavServer::Kind(serverKind))
