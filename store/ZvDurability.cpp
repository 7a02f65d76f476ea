#include "store/ZvDurability.h"

#include "store/ZvDbConnection.h"
#include "store/ZvSqliteDetail.h"

#include <QAbstractEventDispatcher>
#include <QtGlobal>

namespace zv {

using namespace detail;

namespace {
bool g_checks = [] {
#ifndef NDEBUG
    return true;
#else
    return qEnvironmentVariableIntValue("ZVJ_CHECKS") != 0;
#endif
}();
} // namespace

void SetDurabilityChecks(bool on)
{
    g_checks = on;
}

bool DurabilityChecks()
{
    return g_checks;
}

void CheckDurable(const char* where)
{
    if (!g_checks) return;
    for (const TADOConnection* c : openConnections())
        if (!c->autocommit())
            qFatal("Durability check failed at %s: the database connection is inside a transaction, so what "
                   "the user sees may not be stored",
                   where);
    CheckDatabaseLocks(where);
}

void WatchDurabilityAtIdle()
{
    static bool watching = false;
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (watching || !dispatcher) return;
    watching = true;
    QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock,
                     [] { CheckDurable("the event loop"); });
}

} // namespace zv
