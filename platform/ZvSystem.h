#pragma once

// The seams themselves are declared in ZvSeams.h (clipboard, desktop, sound, tray host) and
// ZvFileDialog.h (file dialogs); this unit holds what the desktop really does behind them.
#include "store/ZvSeams.h"

namespace zv {

// Installs the desktop's file dialog, clipboard, page opener, sound and tray-host check as
// the handlers of their seams. Only the program calls this; tests answer the seams.
void InstallSystemHandlers();

} // namespace zv
