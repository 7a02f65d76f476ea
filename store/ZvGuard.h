#pragma once

#include "store/ZvDb.h"
#include "store/pU_Funcs.h"

#include <exception>
#include <utility>

namespace zv {

// Qt lets no exception cross its event dispatch: every entry point (action, timer,
// posted event, tree callback, dialog button) runs its work through this wrapper, which
// shows the program-wide error box and returns. The action ends there; the program goes on.
// Every entry point also starts and ends with everything stored: no transaction may be open
// when the user's input (or a timer, or a nested event loop) reaches the program.
// An action may have run a modal dialog: at its end the database's locks are checked in
// every build (see TADOConnection::secureLocks).
template <class F> bool Guarded(F&& work)
{
    CheckDurable("the start of an action");
    bool done = false;
    try {
        std::forward<F>(work)();
        done = true;
    } catch (const ESilentAbort&) {
    } catch (const EZvError& e) {
        ShowAppError(e.message());
    } catch (const std::exception& e) {
        ShowAppError(QString::fromLocal8Bit(e.what()));
    }
    CheckDurable("the end of an action");
    try {
        CheckDatabaseLocks("the end of an action");
    } catch (const EZvError& e) {
        ShowAppError(e.message());
        done = false;
    }
    return done;
}

} // namespace zv
