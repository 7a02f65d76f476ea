#pragma once

#include "store/ZvSeams.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <functional>

namespace zv {

// ---- The notification seam ------------------------------------------------------------
// One call to the desktop's notification server (org.freedesktop.Notifications on the
// session bus). The program's fallback makes the call over Qt D-Bus; tests queue replies
// or install a handler and read the calls.
struct NotifyCall
{
    enum class Method
    {
        GetCapabilities,
        Notify,
        CloseNotification
    };
    Method method = Method::GetCapabilities;

    // Notify
    QString appName;
    quint32 replacesId = 0;
    QString appIcon;
    QString summary;
    QString body;
    QStringList actions; // key, label, key, label...
    QVariantMap hints;
    qint32 expireTimeout = -1;

    // CloseNotification
    quint32 id = 0;
};

struct NotifyReply
{
    // False when there is no session bus, no server on it, or it did not answer in time.
    bool reached = false;
    QStringList capabilities; // GetCapabilities
    quint32 id = 0;           // Notify: the server's id of the notification
};

using TZvNotifySeam = TZvSeam<NotifyCall, NotifyReply>;
// Without a handler the seam answers "no server"; the program installs NotifyOverSessionBus.
TZvNotifySeam& NotifySeam();

// The call made over Qt D-Bus on the session bus: unreached without a bus, without a
// server, or when the server does not answer within a moment (it is then left alone for a
// minute, so a hung server never holds reminders up again and again).
NotifyReply NotifyOverSessionBus(const NotifyCall& call);

// ---- Reminders as desktop notifications -------------------------------------------------
// A reminder dialog on screen is also announced through the desktop's notifications, so it
// is seen on another workspace or behind a full-screen window. Without a server nothing
// more happens and nothing is reported; the dialog is the reminder either way.
class TZvNotifications : public QObject
{
    Q_OBJECT
public:
    static TZvNotifications& instance();

    // The reminder dialog of task `tid` showing `text` has appeared. Sends (or replaces) that
    // task's notification; a click on it calls onClick, until reminderClosed.
    void reminderShown(const QString& tid, const QString& text, std::function<void()> onClick);
    // The task's reminder dialog has closed: its notification goes too.
    void reminderClosed(const QString& tid);
    // A notification of its own that needs no answer ("Zorvik Jotboard is already
    // running"): sent when a server is there, silently nothing otherwise. Returns whether
    // a server took it.
    bool announce(const QString& summary, const QString& body);

    // What the server reports (its D-Bus signals arrive here).
    void serverActionInvoked(quint32 id, const QString& actionKey);
    void serverNotificationClosed(quint32 id, quint32 reason);

    // The bus side: hear the server's signals on the session bus (once).
    void listenToSessionBus();

    // The server's id of the task's notification while it may still be shown, else 0.
    quint32 notificationId(const QString& tid) const;
    // Tests: forget every notification (nothing is sent), and ask a server that timed out
    // again at once.
    void resetForTests();

    // NotificationClosed reasons of the protocol.
    enum CloseReason : quint32
    {
        Expired = 1,
        DismissedByUser = 2,
        ClosedByCall = 3,
        Undefined = 4
    };

private slots:
    void onBusActionInvoked(uint id, const QString& actionKey);
    void onBusNotificationClosed(uint id, uint reason);

private:
    explicit TZvNotifications(QObject* parent);

    struct Shown
    {
        quint32 id = 0;
        bool clickIsAction = false; // the server offers actions: a click is ActionInvoked
        bool open = false;          // its dialog is still on screen
        std::function<void()> onClick;
    };
    QString tidOf(quint32 id) const;

    QHash<QString, Shown> m_shown;
    bool m_listening = false;
};

} // namespace zv
