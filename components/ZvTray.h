#pragma once

#include <QIcon>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <functional>
#include <optional>

#include <QMenu>
class QTimer;
class QWidget;

namespace zv {

class TZvStatusNotifierItem;

// One icon in the notification area for the window that owns it. Mouse actions on the
// icon become events, a right press opens the pop-up menu, balloons show at the icon,
// and the owner window can hide to the tray instead of minimising or closing.
//
// Without a tray host (offscreen, a bare X server, a desktop without a notification
// area) the owner never hides without a way back: minimising goes to the task bar,
// a close request from the window manager reaches the owner, and no balloon shows. The
// host is looked for again every couple of seconds; hiding works as soon as one runs.
class TZvTrayIcon : public QObject
{
    Q_OBJECT
public:
    using ClickEvent = std::function<void(Qt::MouseButton button, Qt::KeyboardModifiers shift)>;
    using DblClickEvent =
        std::function<void(Qt::MouseButton button, Qt::KeyboardModifiers shift, bool& restoreApp)>;
    using NotifyEvent = std::function<void()>;

    static constexpr int kHintLength = 127;
    static constexpr int kBalloonTitleLength = 63;
    static constexpr int kBalloonTextLength = 255;
    static constexpr int kDefaultInterval = 250;
    static constexpr int kZeroIntervalSubstitute = 200;
    static constexpr int kTrayPollMs = 2000;

    explicit TZvTrayIcon(QWidget* owner);
    ~TZvTrayIcon() override;

    QWidget* owner() const { return m_owner; }

    // ---- Properties ----
    bool Active() const { return m_active; }
    void setActive(bool value);
    bool Animate() const { return m_animate; }
    void setAnimate(bool value);
    bool CloseToTray() const { return m_closeToTray; }
    void setCloseToTray(bool value) { m_closeToTray = value; }
    bool HideOnRestore() const { return m_hideOnRestore; }
    void setHideOnRestore(bool value) { m_hideOnRestore = value; }
    QString Hint() const { return m_hint; }
    void setHint(const QString& value);
    // A line shown below the hint (a failed sync, until one succeeds); empty: none.
    QString HintNote() const { return m_hintNote; }
    void setHintNote(const QString& value);
    QIcon Icon() const { return m_icon; }
    void setIcon(const QIcon& value);
    QList<QIcon> Images() const { return m_images; }
    void setImages(const QList<QIcon>& value);
    int ImageIndex() const { return m_imageIndex; }
    void setImageIndex(int value);
    int Interval() const { return m_interval; }
    void setInterval(int value);
    bool MinimizeToTray() const { return m_minimizeToTray; }
    void setMinimizeToTray(bool value) { m_minimizeToTray = value; }
    // The menu of a right press; the default menu until another is assigned. An assigned
    // menu that is destroyed leaves none.
    QMenu* PopupMenu() const { return m_popupMenu.data(); }
    void setPopupMenu(QMenu* menu);
    QMenu* DefaultMenu() const { return m_defaultMenu; }
    bool ShowHint() const { return m_showHint; }
    void setShowHint(bool value);

    // ---- Events ----
    ClickEvent OnClick;             // press of the left or middle button
    DblClickEvent OnDblClick;       // restoreApp comes in true; still true -> Restore
    NotifyEvent OnMinimize;         // the owner received a minimise request
    NotifyEvent OnRestore;          // Restore is starting
    NotifyEvent OnBalloonHintHide;  // not reported by every platform
    NotifyEvent OnBalloonHintClose; // not reported by every platform
    NotifyEvent OnBalloonHintClick;

    // ---- Operations ----
    // Brings the owner back: shown, not minimised, raised and active.
    void Restore();
    // Posted: the owner minimises (or hides to the tray) after the caller returns.
    void Minimize();
    // iconKind: 0 none, 1 information, 2 warning, 3 error.
    void ShowBalloonHint(const QString& title, const QString& text, int iconKind, int seconds);

    // The program's own close (Exit) closes the window for real.
    void setAllowClose(bool allow) { m_allowClose = allow; }
    bool allowClose() const { return m_allowClose; }

    // Whether a tray host runs now, as last seen.
    bool trayAvailable() const { return m_trayAvailable; }
    // Looks for the tray host again now (also done by a timer).
    void recheckTray();
    // Tests: pretend a tray host is there (true) or not (false); nullopt drops the pretence
    // (TrayHostSeam answers: without a handler, no host).
    static void setTrayAvailableOverride(std::optional<bool> available);
    static bool systemTrayAvailable();

    // The program's own StatusNotifierItem: there while a StatusNotifierItem host runs and
    // Qt's icon is not an item itself (Qt chooses once per process, so a panel that comes
    // after the start never sees Qt's icon). Qt's icon is hidden meanwhile.
    TZvStatusNotifierItem* statusNotifierItem() const { return m_sni; }

    bool InTray() const { return m_inTray; }
    bool animating() const;
    QSystemTrayIcon* systemTrayIcon() const { return m_tray; }
    // The icon as it was last handed to the tray.
    QIcon currentIcon() const { return m_currentIcon; }

    // The tool tip for a hint: its first 127 characters, CR (LF) separators as line breaks.
    static QString ToolTipText(const QString& hint);

signals:
    // The component itself has hidden the owner to the tray (minimise or close request,
    // Minimize, start-up hiding). The owner runs its hide steps here, never on a plain
    // hide event: minimising and stay-on-top changes hide and show the window too.
    void hiddenToTray();
    // Restore has shown the owner; wasHidden tells whether it was hidden before.
    void restored(bool wasHidden);
    void trayAvailableChanged(bool available);
    // A balloon was handed to the tray (title and text already cut).
    void balloonShown(const QString& title, const QString& text, int iconKind, int msecs);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void AddToTray();
    void RemoveFromTray();
    void ResetIcon();
    void NotifyTray();
    void HookOwner();
    void AnimateTick();
    void DoClick(Qt::MouseButton button);
    void DoDblClick(Qt::MouseButton button);
    void onActivated(QSystemTrayIcon::ActivationReason reason);
    void doMinimize();
    void hideOwnerToTray();
    bool hidesToTray() const { return m_active && m_trayAvailable; }
    QIcon iconToShow() const;
    void showError(const QString& text);
    void updateOwnItem();

    QPointer<QWidget> m_owner;
    bool m_active = true;
    bool m_animate = false;
    bool m_closeToTray = true;
    bool m_hideOnRestore = false;
    QString m_hint;
    QIcon m_icon;
    QList<QIcon> m_images;
    int m_imageIndex = 0;
    int m_interval = kDefaultInterval;
    bool m_minimizeToTray = false;
    QPointer<QMenu> m_popupMenu;
    bool m_showHint = true;
    QString m_hintNote;

    bool m_inTray = false;
    bool m_hooked = false;
    bool m_startupDone = false;
    bool m_ownStateChange = false;
    bool m_allowClose = false;
    bool m_hiddenToTray = false; // hidden by this component, not yet shown again
    bool m_trayAvailable = false;
    QSystemTrayIcon* m_tray = nullptr;
    QTimer* m_animTimer = nullptr;
    QTimer* m_trayPoll = nullptr;
    int m_frameIndex = 0;
    QIcon m_currentIcon;
    TZvStatusNotifierItem* m_sni = nullptr;
    qint64 m_sniIconKey = 0;
    QMenu* m_defaultMenu = nullptr;
    bool m_resumeAnimate = false;
};

} // namespace zv
