#include "platform/ZvWindowFront.h"

#include <QGuiApplication>
#include <QWidget>

namespace zv {

void SetActivationToken(const QString& token)
{
    if (!token.isEmpty()) qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
}

bool OnWayland()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

void BringToFront(QWidget* window, const QString& activationToken)
{
    if (!window) return;
    // While minimised the window keeps its maximised and full-screen flags: only the
    // minimised one goes.
    const Qt::WindowStates state = window->windowState();
    if (state & Qt::WindowMinimized)
        window->setWindowState((state & ~Qt::WindowMinimized) | Qt::WindowActive);
    window->show();
    window->raise();
    SetActivationToken(activationToken);
    window->activateWindow();
}

} // namespace zv
