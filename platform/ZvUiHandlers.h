#pragma once

namespace zv {

// Installs the desktop's implementations behind the seams: message boxes (QMessageBox), the
// password prompt (QInputDialog), the system's (InstallSystemHandlers), the mail program
// (xdg-email) and the print dialog.
// Only the program calls this; tests answer the seams themselves.
void InstallDesktopHandlers();

} // namespace zv
