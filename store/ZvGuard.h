#pragma once

#include "ZvDb.h"
#include "pU_Funcs.h"

#include <exception>
#include <utility>

namespace zv {

// Qt lets no exception cross its event dispatch: every entry point (action, timer,
// posted event, tree callback, dialog button) runs its work through this wrapper, which
// shows the program-wide error box and returns. The action ends there; the program goes on.
// Every entry point also starts and ends with everything stored: no transaction may be open
// when the user's input (or a timer, or a nested event loop) reaches the program.
template <class F> bool Guarded(F&& work)
{
    CheckDurable("the start of an action");
    try {
        std::forward<F>(work)();
        CheckDurable("the end of an action");
        return true;
    } catch (const ESilentAbort&) {
    } catch (const EZvError& e) {
        ShowAppError(e.message());
    } catch (const std::exception& e) {
        ShowAppError(QString::fromLocal8Bit(e.what()));
    }
    CheckDurable("the end of an action");
    return false;
}

} // namespace zv
