#pragma once

namespace zv {

// Installs the real message-box handler (QMessageBox) behind MessageSeam. Only the
// program calls this; tests answer the seam themselves.
void InstallDesktopHandlers();

} // namespace zv
