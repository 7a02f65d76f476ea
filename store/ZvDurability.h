#pragma once

namespace zv {

// Durability checks: every change shown to the user is committed before control returns
// to the event loop. With checks on (debug builds, tests, ZVJ_CHECKS=1), a connection
// found inside a transaction at such a point ends the program with the place named, so
// that a leak fails at once instead of losing data silently.
void SetDurabilityChecks(bool on);
bool DurabilityChecks();
// Called at entry points and idle points; `where` names the place in the failure text.
void CheckDurable(const char* where);
// Runs CheckDurable whenever the running event loop is about to wait for events.
void WatchDurabilityAtIdle();
// How often an event loop has waited for events so far. An action during which the count
// changed ran a nested loop (a dialog, a menu, a drag), where a library may have opened and
// closed the database's files; one during which it did not (a paint, a keystroke's filter)
// cannot have, and its lock check is skipped: tens of rows are painted per frame.
unsigned long long EventLoopWaits();

} // namespace zv
