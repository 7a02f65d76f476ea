#include "platform/ZvWindowFront.h"

#include <QWidget>

namespace zv {

void BringToFront(QWidget* window)
{
    if (!window) return;
    // While minimised the window keeps its maximised and full-screen flags: only the
    // minimised one goes.
    const Qt::WindowStates state = window->windowState();
    if (state & Qt::WindowMinimized)
        window->setWindowState((state & ~Qt::WindowMinimized) | Qt::WindowActive);
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace zv
