#pragma once

#include <QString>

class QWidget;

namespace zv {

// Brings a shown window to the front. A minimised one comes back from the task bar in the
// state it had before it was minimised (maximised or full screen stay so; showNormal()
// would lose that), then it is raised and made active. An activation token (from the later
// start that asked for it) is handed to the platform just before the activation request:
// on Wayland only a token lets a window come forward, where the compositor grants it.
void BringToFront(QWidget* window, const QString& activationToken = QString());

// Sets the XDG activation token the next activation request of this process uses (Qt's
// wayland platform reads XDG_ACTIVATION_TOKEN at QWindow::requestActivate()).
void SetActivationToken(const QString& token);

// The program runs on the native Wayland platform: it can neither place its windows, nor
// keep them on top, nor raise them without a token.
bool OnWayland();

} // namespace zv
