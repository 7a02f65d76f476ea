#include "components/ZvTray.h"

#include "platform/ZvNotify.h"
#include "platform/ZvStatusNotifier.h"
#include "store/ZvGuard.h"
#include "store/ZvSeams.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QTimer>
#include <QWidget>
#include <QWindowStateChangeEvent>

namespace zv {

namespace {
// Qt's choice for the process, made with its first tray icon.
std::optional<bool>& qtIconIsItem()
{
    static std::optional<bool> choice;
    return choice;
}
} // namespace

TZvTrayIcon::TZvTrayIcon(QWidget* owner) : QObject(owner), m_owner(owner)
{
    if (!qtIconIsItem()) qtIconIsItem() = QtChoosesStatusNotifier();
    m_tray = new QSystemTrayIcon(this);
    connect(m_tray, &QSystemTrayIcon::activated, this, &TZvTrayIcon::onActivated);
    connect(m_tray, &QSystemTrayIcon::messageClicked, this, [this] {
        Guarded([&] {
            if (OnBalloonHintClick) OnBalloonHintClick();
        });
    });

    // The default menu: Close first, Restore second.
    m_defaultMenu = new QMenu();
    QAction* close = m_defaultMenu->addAction(tr("&Close"));
    connect(close, &QAction::triggered, this, [] { QCoreApplication::exit(0); });
    QAction* restore = m_defaultMenu->addAction(tr("&Restore"));
    connect(restore, &QAction::triggered, this, [this] { Guarded([&] { Restore(); }); });
    setPopupMenu(m_defaultMenu);

    m_trayAvailable = systemTrayAvailable();
    m_trayPoll = new QTimer(this);
    m_trayPoll->setInterval(kTrayPollMs);
    connect(m_trayPoll, &QTimer::timeout, this, [this] { Guarded([&] { recheckTray(); }); });
    m_trayPoll->start();

    if (m_active) AddToTray();
}

TZvTrayIcon::~TZvTrayIcon()
{
    RemoveFromTray();
    delete m_sni;
    m_sni = nullptr;
    if (m_owner) m_owner->removeEventFilter(this);
    m_tray->setContextMenu(nullptr);
    delete m_defaultMenu;
}

// ---- Tray host -----------------------------------------------------------------------

void TZvTrayIcon::setTrayAvailableOverride(std::optional<bool> available)
{
    TrayHostSeam::setAvailable(available);
}

bool TZvTrayIcon::systemTrayAvailable()
{
    return TrayHostSeam::available();
}

void TZvTrayIcon::updateOwnItem()
{
    const bool host = m_active && m_inTray && StatusNotifierHostSeam::available();
    if (!host) {
        if (m_sni) {
            delete m_sni;
            m_sni = nullptr;
            m_sniIconKey = 0;
        }
        return;
    }
    if (m_sni) return;
    // Qt's own icon is an item already (the host was there at the start): nothing to add.
    if (*qtIconIsItem() && m_tray->isVisible()) return;
    m_sni = new TZvStatusNotifierItem(this);
    connect(m_sni, &TZvStatusNotifierItem::activateRequested, this,
            [this] { onActivated(QSystemTrayIcon::Trigger); });
    connect(m_sni, &TZvStatusNotifierItem::secondaryActivateRequested, this,
            [this] { onActivated(QSystemTrayIcon::MiddleClick); });
    connect(m_sni, &TZvStatusNotifierItem::registeredChanged, this,
            [this] { Guarded([&] { recheckTray(); }); });
    m_sni->setMenu(m_popupMenu.data());
    // One icon: the item stands for Qt's (an XEmbed icon docked meanwhile goes).
    m_tray->hide();
    NotifyTray();
}

void TZvTrayIcon::recheckTray()
{
    const bool qtNow = systemTrayAvailable();
    // Qt's icon first: when it is an item itself, no item of our own is needed.
    if (m_inTray && qtNow && !m_sni && !m_tray->isVisible()) {
        NotifyTray();
        m_tray->show();
    }
    updateOwnItem();
    const bool now = qtNow || (m_sni && m_sni->registered());
    if (now == m_trayAvailable) return;
    m_trayAvailable = now;
    if (m_inTray) {
        // Dock at the new host (or stop asking a host that has gone).
        NotifyTray();
        m_tray->setVisible(now && !m_sni);
    }
    if (!now && m_owner && m_hiddenToTray && !m_owner->isVisible()) {
        // The host went away with the window in it: give the window back on the task bar.
        m_hiddenToTray = false;
        m_ownStateChange = true;
        m_owner->showMinimized();
        m_ownStateChange = false;
    }
    emit trayAvailableChanged(now);
}

// ---- Icon ----------------------------------------------------------------------------

QString TZvTrayIcon::ToolTipText(const QString& hint)
{
    QString tip = hint.left(kHintLength);
    tip.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    tip.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return tip;
}

QIcon TZvTrayIcon::iconToShow() const
{
    if (!m_currentIcon.isNull()) return m_currentIcon;
    const QIcon appIcon = QGuiApplication::windowIcon();
    if (!appIcon.isNull()) return appIcon;
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        const QIcon standard = app->style()->standardIcon(QStyle::SP_ComputerIcon);
        if (!standard.isNull()) return standard;
    }
    // A tray icon needs some picture; a plain square is better than none.
    QPixmap square(16, 16);
    square.fill(Qt::darkBlue);
    return QIcon(square);
}

void TZvTrayIcon::NotifyTray()
{
    const QIcon icon = iconToShow();
    QString tip = m_showHint ? ToolTipText(m_hint) : QString();
    if (m_showHint && !m_hintNote.isEmpty()) tip += QLatin1Char('\n') + ToolTipText(m_hintNote);
    m_tray->setIcon(icon);
    m_tray->setToolTip(tip);
    if (m_sni) {
        // The pictures are made again only for another icon, not for every hint.
        if (icon.cacheKey() != m_sniIconKey) {
            m_sniIconKey = icon.cacheKey();
            m_sni->setIcon(icon);
        }
        m_sni->setToolTip(tip);
    }
}

void TZvTrayIcon::AddToTray()
{
    if (m_inTray) return;
    if (!m_hooked) HookOwner();
    // Without a host the icon waits: it is handed over as soon as one appears.
    NotifyTray();
    m_inTray = true;
    // Qt's icon first: when it is an item itself (the host was there at the start), it stays.
    if (m_trayAvailable && !m_sni) m_tray->show();
    updateOwnItem();
}

void TZvTrayIcon::RemoveFromTray()
{
    if (!m_inTray) return;
    m_tray->hide();
    m_inTray = false;
    updateOwnItem();
}

void TZvTrayIcon::ResetIcon()
{
    if (m_active) NotifyTray();
}

void TZvTrayIcon::showError(const QString& text)
{
    MessageSeam::show({tr("Zorvik TrayIcon Error"), text, MsgIcon::None, MsgButtons::Ok});
}

// ---- Property setters ----------------------------------------------------------------

void TZvTrayIcon::setActive(bool value)
{
    if (value) {
        m_active = true;
        AddToTray();
        if (m_resumeAnimate && m_animate && m_animTimer) m_animTimer->start();
    } else {
        if (m_animTimer && m_animTimer->isActive()) {
            m_animTimer->stop();
            m_resumeAnimate = true;
        }
        m_active = false;
        RemoveFromTray();
    }
}

void TZvTrayIcon::setAnimate(bool value)
{
    m_animate = value;
    if (!m_active) return;
    m_resumeAnimate = value;
    if (value) {
        if (!m_animTimer) {
            m_animTimer = new QTimer(this);
            connect(m_animTimer, &QTimer::timeout, this, [this] { Guarded([&] { AnimateTick(); }); });
        }
        if (m_interval == 0) m_interval = kZeroIntervalSubstitute;
        m_animTimer->setInterval(m_interval > 0 ? m_interval : kZeroIntervalSubstitute);
    } else {
        if (m_animTimer) m_animTimer->stop();
        if (!m_icon.isNull())
            m_currentIcon = m_icon;
        else if (m_imageIndex >= 0 && m_imageIndex < m_images.size())
            m_currentIcon = m_images.at(m_imageIndex);
        ResetIcon();
    }
    if (m_animTimer) {
        if (value)
            m_animTimer->start();
        else
            m_animTimer->stop();
    }
}

void TZvTrayIcon::setHint(const QString& value)
{
    if (value == m_hint) return;
    m_hint = value;
    if (m_showHint && m_inTray) NotifyTray();
}

void TZvTrayIcon::setHintNote(const QString& value)
{
    if (value == m_hintNote) return;
    m_hintNote = value;
    if (m_showHint && m_inTray) NotifyTray();
}

void TZvTrayIcon::setShowHint(bool value)
{
    m_showHint = value;
    if (m_inTray) NotifyTray();
}

void TZvTrayIcon::setIcon(const QIcon& value)
{
    m_icon = value;
    m_currentIcon = value;
    if (m_inTray) ResetIcon();
}

void TZvTrayIcon::setImages(const QList<QIcon>& value)
{
    m_images = value;
    if (m_icon.isNull() && m_imageIndex >= 0 && m_imageIndex < m_images.size()) {
        m_currentIcon = m_images.at(m_imageIndex);
        if (m_inTray) ResetIcon();
    }
}

void TZvTrayIcon::setImageIndex(int value)
{
    m_imageIndex = value;
    if (!m_inTray) return;
    if (m_images.isEmpty()) {
        showError(tr("SetImageIndex: No image list assigned"));
        return;
    }
    if (value >= 0 && value < m_images.size()) m_currentIcon = m_images.at(value);
    ResetIcon();
}

void TZvTrayIcon::setInterval(int value)
{
    m_interval = value;
    // A zero or negative interval would spin the timer: the running animation keeps a pace.
    if (m_animTimer) m_animTimer->setInterval(value > 0 ? value : kZeroIntervalSubstitute);
}

void TZvTrayIcon::setPopupMenu(QMenu* menu)
{
    // Only the menu in the property is watched, so a destroyed signal always means "the
    // property's menu is going". The handler must not read the menu back through the
    // QPointer<QMenu>: when QWidget's destructor sends the signal, the object is no longer
    // a QMenu, and the pointer's downcast is undefined behaviour.
    if (QMenu* old = m_popupMenu.data()) disconnect(old, &QObject::destroyed, this, nullptr);
    m_popupMenu = menu;
    m_tray->setContextMenu(menu);
    if (m_sni) m_sni->setMenu(menu);
    if (menu && menu != m_defaultMenu) {
        // A destroyed menu leaves the property empty.
        connect(menu, &QObject::destroyed, this, [this] {
            m_popupMenu = nullptr;
            m_tray->setContextMenu(nullptr);
            if (m_sni) m_sni->setMenu(nullptr);
        });
    }
}

bool TZvTrayIcon::animating() const
{
    return m_animTimer && m_animTimer->isActive();
}

void TZvTrayIcon::AnimateTick()
{
    if (m_images.isEmpty() || !m_inTray) return;
    if (m_frameIndex >= m_images.size()) m_frameIndex = 0;
    m_currentIcon = m_images.at(m_frameIndex);
    ResetIcon();
    ++m_frameIndex;
    if (m_frameIndex > m_images.size() - 1) m_frameIndex = 0;
}

// ---- Mouse ---------------------------------------------------------------------------

void TZvTrayIcon::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    Guarded([&] {
        switch (reason) {
        case QSystemTrayIcon::Trigger:
            DoClick(Qt::LeftButton);
            break;
        case QSystemTrayIcon::MiddleClick:
            DoClick(Qt::MiddleButton);
            break;
        case QSystemTrayIcon::DoubleClick:
            DoDblClick(Qt::LeftButton);
            break;
        case QSystemTrayIcon::Context: // the tray shows the context menu itself
        case QSystemTrayIcon::Unknown:
            break;
        }
    });
}

void TZvTrayIcon::DoClick(Qt::MouseButton button)
{
    if (OnClick) OnClick(button, QGuiApplication::queryKeyboardModifiers());
}

void TZvTrayIcon::DoDblClick(Qt::MouseButton button)
{
    bool restoreApp = true;
    if (OnDblClick) OnDblClick(button, QGuiApplication::queryKeyboardModifiers(), restoreApp);
    if (restoreApp) Restore();
}

// ---- Owner window --------------------------------------------------------------------

void TZvTrayIcon::HookOwner()
{
    if (m_hooked || !m_owner) return;
    m_owner->installEventFilter(this);
    m_hooked = true;
}

void TZvTrayIcon::hideOwnerToTray()
{
    if (!m_owner) return;
    AddToTray();
    // Already hidden: no second round of the owner's hide steps.
    const bool wasVisible = m_owner->isVisible();
    m_ownStateChange = true;
    m_owner->hide();
    m_ownStateChange = false;
    m_hiddenToTray = true;
    if (wasVisible) emit hiddenToTray();
}

bool TZvTrayIcon::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_owner.data() || !m_owner) return QObject::eventFilter(watched, event);

    switch (event->type()) {
    case QEvent::Show:
        m_hiddenToTray = false;
        if (!m_startupDone) {
            // A window that starts minimised starts hidden in the tray.
            m_startupDone = true;
            if (m_owner->isMinimized() && hidesToTray()) {
                QMetaObject::invokeMethod(
                    this,
                    [this] {
                        Guarded([&] {
                            if (m_owner && m_owner->isVisible() && m_owner->isMinimized() && hidesToTray())
                                hideOwnerToTray();
                        });
                    },
                    Qt::QueuedConnection);
            }
        }
        break;
    case QEvent::WindowStateChange: {
        if (m_ownStateChange) break;
        const auto* change = static_cast<QWindowStateChangeEvent*>(event);
        const bool nowMinimized = m_owner->windowState() & Qt::WindowMinimized;
        const bool wasMinimized = change->oldState() & Qt::WindowMinimized;
        if (nowMinimized && !wasMinimized) {
            Guarded([&] {
                if (OnMinimize) OnMinimize();
            });
            if (m_minimizeToTray && hidesToTray()) {
                // Leave the state change to finish first; then hide.
                QMetaObject::invokeMethod(
                    this,
                    [this] {
                        Guarded([&] {
                            if (m_owner && m_owner->isVisible() && hidesToTray()) hideOwnerToTray();
                        });
                    },
                    Qt::QueuedConnection);
            }
        }
        break;
    }
    case QEvent::Close:
        if (m_allowClose || !m_closeToTray || !hidesToTray()) break; // the owner decides
        event->ignore();
        Guarded([&] { hideOwnerToTray(); });
        return true;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

// ---- Operations ----------------------------------------------------------------------

void TZvTrayIcon::Restore()
{
    if (OnRestore) OnRestore();
    if (!m_owner) return;
    const bool wasHidden = !m_owner->isVisible();
    m_hiddenToTray = false;
    if (m_owner->windowState() & Qt::WindowMinimized) {
        m_ownStateChange = true;
        m_owner->setWindowState(m_owner->windowState() & ~Qt::WindowMinimized);
        m_ownStateChange = false;
    }
    m_owner->show();
    m_owner->raise();
    m_owner->activateWindow();
    if (m_hideOnRestore) RemoveFromTray();
    emit restored(wasHidden);
}

void TZvTrayIcon::Minimize()
{
    QMetaObject::invokeMethod(
        this, [this] { Guarded([&] { doMinimize(); }); }, Qt::QueuedConnection);
}

void TZvTrayIcon::doMinimize()
{
    if (!m_owner) return;
    if (OnMinimize) OnMinimize();
    if (m_minimizeToTray && hidesToTray()) {
        hideOwnerToTray();
        return;
    }
    // No tray to hide in (or no wish to): the task bar keeps a way back.
    m_ownStateChange = true;
    m_owner->showMinimized();
    m_ownStateChange = false;
}

void TZvTrayIcon::ShowBalloonHint(const QString& title, const QString& text, int iconKind, int seconds)
{
    if (!m_trayAvailable || !m_inTray) return; // nowhere to show it
    QSystemTrayIcon::MessageIcon icon = QSystemTrayIcon::NoIcon;
    switch (iconKind) {
    case 1:
        icon = QSystemTrayIcon::Information;
        break;
    case 2:
        icon = QSystemTrayIcon::Warning;
        break;
    case 3:
        icon = QSystemTrayIcon::Critical;
        break;
    default:
        break;
    }
    const QString cutTitle = title.left(kBalloonTitleLength);
    const QString cutText = text.left(kBalloonTextLength);
    const int msecs = seconds * 1000;
    // An item has no balloon of its own: the desktop's notifications show it, as for Qt's.
    if (m_sni)
        TZvNotifications::instance().announce(cutTitle, cutText);
    else
        m_tray->showMessage(cutTitle, cutText, icon, msecs);
    emit balloonShown(cutTitle, cutText, iconKind, msecs);
}

} // namespace zv
