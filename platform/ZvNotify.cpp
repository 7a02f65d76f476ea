#include "platform/ZvNotify.h"

#include "platform/ZvDesktopEntry.h"
#include "platform/ZvSingleInstance.h"
#include "store/ZvGuard.h"
#include "store/pU_Funcs.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QPointer>
#include <QUrl>

namespace zv {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kDefaultAction = QStringLiteral("default");

// A server that does not answer must not hold the reminder up for long; after a time-out
// it is left alone for a while rather than asked again at every reminder.
constexpr int kCallTimeoutMs = 1500;
constexpr int kQuietAfterTimeoutMs = 60000;

QDeadlineTimer& quietUntil()
{
    static QDeadlineTimer deadline; // expired: ask
    return deadline;
}

} // namespace

NotifyReply NotifyOverSessionBus(const NotifyCall& call)
{
    if (!quietUntil().hasExpired()) return {};
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return {};

    QDBusMessage message;
    switch (call.method) {
    case NotifyCall::Method::GetCapabilities:
        message =
            QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("GetCapabilities"));
        break;
    case NotifyCall::Method::Notify:
        // Listen before asking: a click may come before the reply has been read.
        TZvNotifications::instance().listenToSessionBus();
        message = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
        message << call.appName << call.replacesId << call.appIcon << call.summary << call.body
                << call.actions << call.hints << call.expireTimeout;
        break;
    case NotifyCall::Method::CloseNotification:
        message =
            QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("CloseNotification"));
        message << call.id;
        break;
    }
    // Blocking without an event loop: nothing of the program runs while waiting.
    const QDBusMessage answer = bus.call(message, QDBus::Block, kCallTimeoutMs);
    if (answer.type() != QDBusMessage::ReplyMessage) {
        const QString error = answer.errorName();
        if (error == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
            error == QLatin1String("org.freedesktop.DBus.Error.Timeout") ||
            error == QLatin1String("org.freedesktop.DBus.Error.TimedOut"))
            quietUntil().setRemainingTime(kQuietAfterTimeoutMs);
        return {};
    }

    NotifyReply reply;
    reply.reached = true;
    const QList<QVariant> args = answer.arguments();
    if (call.method == NotifyCall::Method::GetCapabilities && !args.isEmpty())
        reply.capabilities = args.first().toStringList();
    else if (call.method == NotifyCall::Method::Notify && !args.isEmpty())
        reply.id = args.first().toUInt();
    return reply;
}

namespace {

// The program's icon: its name in the icon theme once installed there, else our own
// picture in the program folder, which every server can show.
QString appIcon()
{
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) &&
        QIcon::hasThemeIcon(ZvDesktopEntry::kIconName))
        return ZvDesktopEntry::kIconName;
    const QString picture = ProgramFolder() + QStringLiteral("Images/appIcon.png");
    if (QFileInfo::exists(picture)) return QUrl::fromLocalFile(picture).toString();
    return ZvDesktopEntry::kIconName;
}

QPointer<TZvNotifications>& theInstance()
{
    static QPointer<TZvNotifications> instance;
    return instance;
}

} // namespace

TZvNotifySeam& NotifySeam()
{
    static TZvNotifySeam seam([](const NotifyCall&) { return NotifyReply{}; });
    return seam;
}

TZvNotifications::TZvNotifications(QObject* parent) : QObject(parent) {}

TZvNotifications& TZvNotifications::instance()
{
    // Owned by the application object, so it goes before the bus connection does.
    QPointer<TZvNotifications>& instance = theInstance();
    if (!instance) instance = new TZvNotifications(QCoreApplication::instance());
    return *instance;
}

void TZvNotifications::listenToSessionBus()
{
    if (m_listening) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    m_listening = true;
    bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                SLOT(onBusActionInvoked(uint, QString)));
    bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                SLOT(onBusNotificationClosed(uint, uint)));
}

void TZvNotifications::reminderShown(const QString& tid, const QString& text, std::function<void()> onClick)
{
    NotifyCall ask;
    ask.method = NotifyCall::Method::GetCapabilities;
    // Asked at every reminder: reminders are rare, and the server may have been replaced.
    const NotifyReply server = NotifySeam().call(ask);
    if (!server.reached) return;
    const bool markup = server.capabilities.contains(QLatin1String("body-markup"));
    const bool actions = server.capabilities.contains(QLatin1String("actions"));

    NotifyCall notify;
    notify.method = NotifyCall::Method::Notify;
    notify.appName = kAppTitle;
    notify.replacesId = notificationId(tid);
    notify.appIcon = appIcon();
    notify.summary = tr("Task Reminder");
    notify.body = SingleLine(text);
    // A server with markup would read "<" and "&" of the task's text as tags and entities.
    if (markup) notify.body = notify.body.toHtmlEscaped();
    if (actions) notify.actions = {kDefaultAction, tr("Show")};
    notify.hints.insert(QStringLiteral("desktop-entry"), ZvDesktopEntry::kDesktopId);
    notify.hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(1));
    // The dialog waits for an answer; so does its notification, until the dialog closes.
    notify.expireTimeout = 0;

    const NotifyReply sent = NotifySeam().call(notify);
    if (!sent.reached || sent.id == 0) {
        m_shown.remove(tid);
        return;
    }
    m_shown.insert(tid, Shown{sent.id, actions, true, std::move(onClick)});
}

bool TZvNotifications::announce(const QString& summary, const QString& body)
{
    NotifyCall notify;
    notify.method = NotifyCall::Method::Notify;
    notify.appName = kAppTitle;
    notify.appIcon = appIcon();
    notify.summary = summary;
    notify.body = body;
    notify.hints.insert(QStringLiteral("desktop-entry"), ZvDesktopEntry::kDesktopId);
    notify.hints.insert(QStringLiteral("transient"), true);
    notify.expireTimeout = -1; // the server's own time
    const NotifyReply sent = NotifySeam().call(notify);
    return sent.reached;
}

void TZvNotifications::reminderClosed(const QString& tid)
{
    auto it = m_shown.find(tid);
    if (it == m_shown.end() || !it->open) return;
    // The dialog is gone: a late click has nothing to bring forward. The id is kept until
    // the server says the notification went, so a next reminder replaces one left standing.
    it->open = false;
    it->onClick = nullptr;
    NotifyCall close;
    close.method = NotifyCall::Method::CloseNotification;
    close.id = it->id;
    NotifySeam().call(close);
}

void TZvNotifications::resetForTests()
{
    m_shown.clear();
    quietUntil() = QDeadlineTimer();
}

quint32 TZvNotifications::notificationId(const QString& tid) const
{
    const auto it = m_shown.constFind(tid);
    return it == m_shown.constEnd() ? 0 : it->id;
}

QString TZvNotifications::tidOf(quint32 id) const
{
    for (auto it = m_shown.constBegin(); it != m_shown.constEnd(); ++it)
        if (it->id == id) return it.key();
    return QString();
}

void TZvNotifications::serverActionInvoked(quint32 id, const QString& actionKey)
{
    // The signal reaches every client of the server: only our own notifications count.
    const QString tid = tidOf(id);
    if (tid.isNull() || actionKey != kDefaultAction) return;
    // A copy: the callback may close the reminder and so drop its own entry.
    const std::function<void()> onClick = m_shown.value(tid).onClick;
    if (onClick) Guarded([&] { onClick(); });
}

void TZvNotifications::serverNotificationClosed(quint32 id, quint32 reason)
{
    const QString tid = tidOf(id);
    if (tid.isNull()) return;
    const Shown shown = m_shown.take(tid);
    // A server without actions closes a notification when it is clicked; one with actions
    // reports the click as an action, and a close is only a dismissal.
    if (reason == DismissedByUser && !shown.clickIsAction && shown.onClick) Guarded([&] { shown.onClick(); });
}

void TZvNotifications::onBusActionInvoked(uint id, const QString& actionKey)
{
    serverActionInvoked(id, actionKey);
}

void TZvNotifications::onBusNotificationClosed(uint id, uint reason)
{
    serverNotificationClosed(id, reason);
}

} // namespace zv
