#pragma once

#include "pU_Funcs.h"

#include <exception>
#include <utility>

namespace zv {

// Qt lets no exception cross its event dispatch: every entry point (action, timer,
// posted event, tree callback, dialog button) runs its work through this wrapper, which
// shows the program-wide error box and returns. The action ends there; the program goes on.
template <class F> bool Guarded(F&& work)
{
    try {
        std::forward<F>(work)();
        return true;
    } catch (const ESilentAbort&) {
    } catch (const EZvError& e) {
        ShowAppError(e.message());
    } catch (const std::exception& e) {
        ShowAppError(QString::fromLocal8Bit(e.what()));
    }
    return false;
}

} // namespace zv
