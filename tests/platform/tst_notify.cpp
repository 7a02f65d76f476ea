// Reminders as desktop notifications. Through the seam: what is sent (summary, body with
// and without body markup, icon, the task's earlier notification replaced), the close that
// follows the dialog, which server reports count as a click, and silence without a server.
// Against a stand-in notification server on a private session bus (the test runs itself
// under dbus-run-session; the stand-in is this program started with
// --stand-in-notification-server): the same calls over real D-Bus, a click coming back,
// a server that hangs, and no bus at all.
#include "platform/ZvNotify.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include <cstdio>
#include <memory>
#include <unistd.h>
#include <vector>

using namespace zv;

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kControlPath = QStringLiteral("/StandIn");
const QString kControlInterface = QStringLiteral("org.zorvik.StandIn");

double timeScale()
{
    bool ok = false;
    const double scale = qEnvironmentVariable("ZVJ_TIMEOUT_SCALE").toDouble(&ok);
    return ok && scale >= 1 ? scale : 1.0;
}

NotifyReply capabilities(const QStringList& caps)
{
    NotifyReply r;
    r.reached = true;
    r.capabilities = caps;
    return r;
}

NotifyReply sentAs(quint32 id)
{
    NotifyReply r;
    r.reached = true;
    r.id = id;
    return r;
}

NotifyReply done()
{
    NotifyReply r;
    r.reached = true;
    return r;
}

QList<NotifyCall> callsOf(NotifyCall::Method method)
{
    QList<NotifyCall> out;
    for (const NotifyCall& c : NotifySeam().history())
        if (c.method == method) out << c;
    return out;
}

} // namespace

// ---- The stand-in notification server ------------------------------------------------------
// Records every call as a JSON line (also to the file after --log), answers as a server
// would, and on request from the control interface reports clicks, dismissals and expiry.

class StandInServer : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList capabilities{QStringLiteral("body"), QStringLiteral("actions")};
    QStringList calls;
    int delayMs = 0;
    QFile* log = nullptr;

    void record(const QJsonObject& call)
    {
        const QString line = QString::fromUtf8(QJsonDocument(call).toJson(QJsonDocument::Compact));
        calls << line;
        if (log) {
            log->write(line.toUtf8() + '\n');
            log->flush();
        }
    }

public slots:
    QStringList GetCapabilities()
    {
        if (delayMs > 0) QThread::msleep(delayMs);
        record({{QStringLiteral("method"), QStringLiteral("GetCapabilities")}});
        return capabilities;
    }
    uint Notify(const QString& app_name, uint replaces_id, const QString& app_icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int expire_timeout)
    {
        const uint id = replaces_id ? replaces_id : m_nextId++;
        QJsonObject h;
        for (auto it = hints.cbegin(); it != hints.cend(); ++it)
            h.insert(it.key(), it.value().typeId() == QMetaType::QString ? QJsonValue(it.value().toString())
                                                                         : QJsonValue(it.value().toInt()));
        record({{QStringLiteral("method"), QStringLiteral("Notify")},
                {QStringLiteral("app_name"), app_name},
                {QStringLiteral("replaces_id"), qint64(replaces_id)},
                {QStringLiteral("app_icon"), app_icon},
                {QStringLiteral("summary"), summary},
                {QStringLiteral("body"), body},
                {QStringLiteral("actions"), QJsonArray::fromStringList(actions)},
                {QStringLiteral("hints"), h},
                {QStringLiteral("expire_timeout"), expire_timeout},
                {QStringLiteral("id"), qint64(id)}});
        return id;
    }
    void CloseNotification(uint id)
    {
        record({{QStringLiteral("method"), QStringLiteral("CloseNotification")},
                {QStringLiteral("id"), qint64(id)}});
        emit NotificationClosed(id, 3);
    }
    QString GetServerInformation(QString& vendor, QString& version, QString& specVersion)
    {
        vendor = QStringLiteral("Zorvik tests");
        version = QStringLiteral("1");
        specVersion = QStringLiteral("1.2");
        return QStringLiteral("stand-in");
    }

signals:
    void NotificationClosed(uint id, uint reason);
    void ActionInvoked(uint id, const QString& action_key);

private:
    uint m_nextId = 41;
};

class StandInControl : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.zorvik.StandIn")
public:
    explicit StandInControl(StandInServer* server) : m_server(server) {}

public slots:
    QStringList Calls() { return m_server->calls; }
    void Reset(const QStringList& capabilities, int delayMs)
    {
        m_server->calls.clear();
        m_server->capabilities = capabilities;
        m_server->delayMs = delayMs;
    }
    // "click" (a server with actions: the action, then the close), "action" (the action of a
    // notification that stays), "click-closes" (a server without actions closes it),
    // "expire", "other-action".
    void Report(const QString& what, uint id)
    {
        if (what == QLatin1String("action")) {
            emit m_server->ActionInvoked(id, QStringLiteral("default"));
        } else if (what == QLatin1String("click")) {
            emit m_server->ActionInvoked(id, QStringLiteral("default"));
            emit m_server->NotificationClosed(id, 2);
        } else if (what == QLatin1String("click-closes")) {
            emit m_server->NotificationClosed(id, 2);
        } else if (what == QLatin1String("expire")) {
            emit m_server->NotificationClosed(id, 1);
        } else if (what == QLatin1String("other-action")) {
            emit m_server->ActionInvoked(id, QStringLiteral("snooze"));
        }
    }
    void Quit()
    {
        QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                                  Qt::QueuedConnection);
    }

private:
    StandInServer* m_server;
};

static int runStandIn(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    StandInServer server;
    StandInControl control(&server);
    std::unique_ptr<QFile> log;
    const QStringList args = QCoreApplication::arguments();
    const int at = args.indexOf(QStringLiteral("--log"));
    if (at > 0 && at + 1 < args.size()) {
        log = std::make_unique<QFile>(args.at(at + 1));
        if (!log->open(QIODevice::WriteOnly | QIODevice::Append)) return 3;
        server.log = log.get();
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return 2;
    if (!bus.registerObject(kPath, &server,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals) ||
        !bus.registerObject(kControlPath, &control, QDBusConnection::ExportAllSlots) ||
        !bus.registerService(kService))
        return 2;
    return app.exec();
}

// Shows and closes one reminder, for a run without a usable session bus.
static int runWithoutBus(int argc, char** argv)
{
    QApplication app(argc, argv);
    NotifySeam().setHandler(NotifyOverSessionBus);
    int clicks = 0;
    TZvNotifications::instance().reminderShown(QStringLiteral("{T1}"), QStringLiteral("Water the plants"),
                                               [&] { ++clicks; });
    TZvNotifications::instance().reminderClosed(QStringLiteral("{T1}"));
    QCoreApplication::processEvents();
    const bool shown = TZvNotifications::instance().notificationId(QStringLiteral("{T1}")) != 0;
    std::printf("%s\n", shown || clicks ? "noticed" : "nothing");
    return 0;
}

// ---- The tests ---------------------------------------------------------------------------------

class TstNotify : public QObject
{
    Q_OBJECT

    std::unique_ptr<QProcess> m_standIn;
    int m_clicks = 0;

    bool onPrivateBus() const { return qEnvironmentVariable("ZVJ_PRIVATE_BUS") == QLatin1String("1"); }

    // Answers the seam as a server with these capabilities that numbers its notifications.
    void serveWith(const QStringList& caps, quint32 firstId = 7)
    {
        auto next = std::make_shared<quint32>(firstId);
        NotifySeam().setHandler([caps, next](const NotifyCall& call) {
            switch (call.method) {
            case NotifyCall::Method::GetCapabilities:
                return capabilities(caps);
            case NotifyCall::Method::Notify:
                return sentAs(call.replacesId ? call.replacesId : (*next)++);
            case NotifyCall::Method::CloseNotification:
                break;
            }
            return done();
        });
    }
    std::function<void()> counter()
    {
        return [this] { ++m_clicks; };
    }

    bool standInRunning() const
    {
        QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
        return bus && bus->isServiceRegistered(kService).value();
    }
    void startStandIn()
    {
        if (m_standIn && m_standIn->state() == QProcess::Running) return;
        m_standIn = std::make_unique<QProcess>();
        m_standIn->setProcessChannelMode(QProcess::ForwardedChannels);
        m_standIn->start(QCoreApplication::applicationFilePath(),
                         {QStringLiteral("--stand-in-notification-server")});
        QVERIFY(m_standIn->waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(standInRunning(), 10000);
    }
    void stopStandIn()
    {
        if (!m_standIn) return;
        control(QStringLiteral("Quit"));
        if (!m_standIn->waitForFinished(5000)) m_standIn->kill();
        m_standIn->waitForFinished(2000);
        m_standIn.reset();
        QTRY_VERIFY_WITH_TIMEOUT(!standInRunning(), 5000);
    }
    static QDBusMessage control(const QString& method, const QVariantList& args = {})
    {
        QDBusMessage call = QDBusMessage::createMethodCall(kService, kControlPath, kControlInterface, method);
        call.setArguments(args);
        return QDBusConnection::sessionBus().call(call);
    }
    static bool controlled(const QString& method, const QVariantList& args = {})
    {
        return control(method, args).type() == QDBusMessage::ReplyMessage;
    }
    QList<QJsonObject> standInCalls(const QString& method) const
    {
        QList<QJsonObject> out;
        const QDBusMessage reply = control(QStringLiteral("Calls"));
        const QStringList lines = reply.arguments().value(0).toStringList();
        for (const QString& line : lines) {
            const QJsonObject call = QJsonDocument::fromJson(line.toUtf8()).object();
            if (call.value(QStringLiteral("method")).toString() == method) out << call;
        }
        return out;
    }

private slots:
    void init()
    {
        m_clicks = 0;
        NotifySeam().reset(); // no server, until a test says otherwise
        TZvNotifications::instance().resetForTests();
    }
    void cleanupTestCase() { stopStandIn(); }

    // ---- Through the seam ----

    void notifyCall_data()
    {
        QTest::addColumn<QStringList>("caps");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("body");

        QTest::newRow("plain text") << QStringList{"body"} << "Call the garage"
                                    << "Call the garage";
        QTest::newRow("line breaks become blanks")
            << QStringList{"body", "actions"} << "Line one\r\nLine two\nthree"
            << "Line one  Line two three";
        QTest::newRow("markup server: escaped")
            << QStringList{"body", "body-markup", "actions"} << "<b>Tom & Jerry</b> say \"hi\""
            << "&lt;b&gt;Tom &amp; Jerry&lt;/b&gt; say &quot;hi&quot;";
        QTest::newRow("no markup: as typed") << QStringList{"body"} << "<b>Tom & Jerry</b>"
                                             << "<b>Tom & Jerry</b>";
        QTest::newRow("empty text") << QStringList{"body"} << ""
                                    << "";
    }
    void notifyCall()
    {
        QFETCH(QStringList, caps);
        QFETCH(QString, text);
        QFETCH(QString, body);
        serveWith(caps);
        TZvNotifications::instance().reminderShown(QStringLiteral("{A}"), text, counter());

        const QList<NotifyCall>& history = NotifySeam().history();
        QCOMPARE(history.size(), 2);
        QCOMPARE(history.at(0).method, NotifyCall::Method::GetCapabilities);
        const NotifyCall& n = history.at(1);
        QCOMPARE(n.method, NotifyCall::Method::Notify);
        QCOMPARE(n.appName, QStringLiteral("Zorvik Jotboard"));
        QCOMPARE(n.summary, QStringLiteral("Task Reminder"));
        QCOMPARE(n.body, body);
        QCOMPARE(n.replacesId, 0u);
        QVERIFY(!n.appIcon.isEmpty());
        QCOMPARE(n.hints.value(QStringLiteral("desktop-entry")).toString(),
                 QStringLiteral("zorvik-jotboard"));
        // A click can only come back as an action where the server offers actions.
        QCOMPARE(n.actions.contains(QStringLiteral("default")), caps.contains(QStringLiteral("actions")));
        QCOMPARE(n.actions.size() % 2, 0);
        QCOMPARE(TZvNotifications::instance().notificationId(QStringLiteral("{A}")), 7u);
        QCOMPARE(m_clicks, 0);
    }

    void replaces_data()
    {
        QTest::addColumn<QString>("between"); // what happens between two reminders
        QTest::addColumn<QString>("second");  // task of the second reminder
        QTest::addColumn<quint32>("replaces");

        QTest::newRow("the same task again") << ""
                                             << "{A}" << 7u;
        QTest::newRow("another task") << ""
                                      << "{B}" << 0u;
        QTest::newRow("the server closed it") << "server closed"
                                              << "{A}" << 0u;
        QTest::newRow("dialog closed, notification left standing") << "dialog closed"
                                                                   << "{A}" << 7u;
    }
    void replaces()
    {
        QFETCH(QString, between);
        QFETCH(QString, second);
        QFETCH(quint32, replaces);
        serveWith({QStringLiteral("body")});
        TZvNotifications& n = TZvNotifications::instance();
        n.reminderShown(QStringLiteral("{A}"), QStringLiteral("first"), counter());
        if (between == QLatin1String("server closed"))
            n.serverNotificationClosed(7, TZvNotifications::Expired);
        if (between == QLatin1String("dialog closed")) n.reminderClosed(QStringLiteral("{A}"));
        n.reminderShown(second, QStringLiteral("second"), counter());
        const QList<NotifyCall> notifies = callsOf(NotifyCall::Method::Notify);
        QCOMPARE(notifies.size(), 2);
        QCOMPARE(notifies.at(1).replacesId, replaces);
    }

    void closedWithTheDialog()
    {
        serveWith({QStringLiteral("body")}, 9);
        TZvNotifications& n = TZvNotifications::instance();
        n.reminderShown(QStringLiteral("{A}"), QStringLiteral("text"), counter());
        n.reminderClosed(QStringLiteral("{A}"));
        QList<NotifyCall> closes = callsOf(NotifyCall::Method::CloseNotification);
        QCOMPARE(closes.size(), 1);
        QCOMPARE(closes.at(0).id, 9u);
        // Once is enough, and a task without a notification sends nothing.
        n.reminderClosed(QStringLiteral("{A}"));
        n.reminderClosed(QStringLiteral("{unknown}"));
        QCOMPARE(callsOf(NotifyCall::Method::CloseNotification).size(), 1);
    }

    void click_data()
    {
        QTest::addColumn<bool>("actions");       // the server offers actions
        QTest::addColumn<QStringList>("events"); // "action <key>", "closed <reason>", "dialog closed"
        QTest::addColumn<int>("clicks");

        QTest::newRow("click, server with actions") << true << QStringList{"action default", "closed 2"} << 1;
        QTest::newRow("another action") << true << QStringList{"action snooze"} << 0;
        QTest::newRow("dismissed, server with actions") << true << QStringList{"closed 2"} << 0;
        QTest::newRow("click, server without actions") << false << QStringList{"closed 2"} << 1;
        QTest::newRow("expired") << false << QStringList{"closed 1"} << 0;
        QTest::newRow("closed by the program") << false << QStringList{"closed 3"} << 0;
        QTest::newRow("click after the dialog closed")
            << true << QStringList{"dialog closed", "action default"} << 0;
        QTest::newRow("another program's notification") << true << QStringList{"action default 8"} << 0;
        QTest::newRow("two clicks") << true << QStringList{"action default", "action default"} << 2;
    }
    void click()
    {
        QFETCH(bool, actions);
        QFETCH(QStringList, events);
        QFETCH(int, clicks);
        serveWith(actions ? QStringList{"body", "actions"} : QStringList{"body"});
        TZvNotifications& n = TZvNotifications::instance();
        n.reminderShown(QStringLiteral("{A}"), QStringLiteral("text"), counter());
        for (const QString& event : events) {
            const QStringList part = event.split(QLatin1Char(' '));
            const quint32 id = part.size() > 2 ? part.at(2).toUInt() : 7;
            if (part.at(0) == QLatin1String("action")) n.serverActionInvoked(id, part.at(1));
            if (part.at(0) == QLatin1String("closed")) n.serverNotificationClosed(id, part.at(1).toUInt());
            if (part.at(0) == QLatin1String("dialog")) n.reminderClosed(QStringLiteral("{A}"));
        }
        QCOMPARE(m_clicks, clicks);
    }

    void clickThatClosesTheDialog()
    {
        // The usual answer to a click may end the dialog at once, inside the callback.
        serveWith({QStringLiteral("body"), QStringLiteral("actions")});
        TZvNotifications& n = TZvNotifications::instance();
        n.reminderShown(QStringLiteral("{A}"), QStringLiteral("text"), [&] {
            ++m_clicks;
            n.reminderClosed(QStringLiteral("{A}"));
        });
        n.serverActionInvoked(7, QStringLiteral("default"));
        n.serverActionInvoked(7, QStringLiteral("default"));
        QCOMPARE(m_clicks, 1);
        QCOMPARE(callsOf(NotifyCall::Method::CloseNotification).size(), 1);
    }

    void withoutServer_data()
    {
        QTest::addColumn<QStringList>("replies"); // "unreached", "caps", "no id"
        QTest::addColumn<int>("calls");
        QTest::newRow("no server") << QStringList{"unreached"} << 1;
        QTest::newRow("server gone before Notify") << QStringList{"caps", "unreached"} << 2;
        QTest::newRow("no id given") << QStringList{"caps", "no id"} << 2;
    }
    void withoutServer()
    {
        QFETCH(QStringList, replies);
        QFETCH(int, calls);
        for (const QString& r : replies)
            NotifySeam().queueAnswer(r == QLatin1String("caps")    ? capabilities({QStringLiteral("body")})
                                     : r == QLatin1String("no id") ? done()
                                                                   : NotifyReply{});
        TZvNotifications& n = TZvNotifications::instance();
        n.reminderShown(QStringLiteral("{A}"), QStringLiteral("text"), counter());
        QCOMPARE(NotifySeam().history().size(), calls);
        QCOMPARE(n.notificationId(QStringLiteral("{A}")), 0u);
        // Nothing to close, nothing to click.
        n.reminderClosed(QStringLiteral("{A}"));
        n.serverActionInvoked(0, QStringLiteral("default"));
        n.serverNotificationClosed(0, TZvNotifications::DismissedByUser);
        QCOMPARE(NotifySeam().history().size(), calls);
        QCOMPARE(m_clicks, 0);
    }

    // ---- Over a private session bus ----

    void busWithoutService()
    {
        if (!onPrivateBus()) QSKIP("no private session bus (dbus-run-session is missing)");
        stopStandIn();
        NotifySeam().setHandler(NotifyOverSessionBus);
        QElapsedTimer took;
        took.start();
        TZvNotifications::instance().reminderShown(QStringLiteral("{A}"), QStringLiteral("text"), counter());
        TZvNotifications::instance().reminderClosed(QStringLiteral("{A}"));
        QVERIFY2(took.elapsed() < 1000 * timeScale(), qPrintable(QString::number(took.elapsed())));
        QCOMPARE(NotifySeam().history().size(), 1);
        QCOMPARE(TZvNotifications::instance().notificationId(QStringLiteral("{A}")), 0u);
    }

    void standIn_data()
    {
        QTest::addColumn<QStringList>("caps");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("clickAs"); // how the server reports a click

        QTest::newRow("plain server") << QStringList{"body"} << "Pay <rent> & bills\nnow"
                                      << "Pay <rent> & bills now"
                                      << "click-closes";
        QTest::newRow("markup and actions")
            << QStringList{"body", "body-markup", "actions"} << "Pay <rent> & bills\nnow"
            << "Pay &lt;rent&gt; &amp; bills now"
            << "click";
    }
    void standIn()
    {
        QFETCH(QStringList, caps);
        QFETCH(QString, text);
        QFETCH(QString, body);
        QFETCH(QString, clickAs);
        if (!onPrivateBus()) QSKIP("no private session bus (dbus-run-session is missing)");
        startStandIn();
        QVERIFY(controlled(QStringLiteral("Reset"), {caps, 0}));
        NotifySeam().setHandler(NotifyOverSessionBus);
        TZvNotifications& n = TZvNotifications::instance();

        n.reminderShown(QStringLiteral("{A}"), text, counter());
        QList<QJsonObject> notifies = standInCalls(QStringLiteral("Notify"));
        QCOMPARE(notifies.size(), 1);
        const QJsonObject first = notifies.at(0);
        QCOMPARE(first.value(QStringLiteral("app_name")).toString(), QStringLiteral("Zorvik Jotboard"));
        QCOMPARE(first.value(QStringLiteral("summary")).toString(), QStringLiteral("Task Reminder"));
        QCOMPARE(first.value(QStringLiteral("body")).toString(), body);
        QVERIFY(!first.value(QStringLiteral("app_icon")).toString().isEmpty());
        QCOMPARE(
            first.value(QStringLiteral("hints")).toObject().value(QStringLiteral("desktop-entry")).toString(),
            QStringLiteral("zorvik-jotboard"));
        QCOMPARE(first.value(QStringLiteral("expire_timeout")).toInt(), 0);
        const quint32 id = quint32(first.value(QStringLiteral("id")).toInteger());
        QCOMPARE(n.notificationId(QStringLiteral("{A}")), id);

        // Shown again while it stands: the server replaces it.
        n.reminderShown(QStringLiteral("{A}"), text, counter());
        notifies = standInCalls(QStringLiteral("Notify"));
        QCOMPARE(notifies.size(), 2);
        QCOMPARE(quint32(notifies.at(1).value(QStringLiteral("replaces_id")).toInteger()), id);

        // A click comes back once, however the server reports it.
        QVERIFY(controlled(QStringLiteral("Report"), {clickAs, id}));
        QTRY_COMPARE_WITH_TIMEOUT(m_clicks, 1, int(5000 * timeScale()));
        QTest::qWait(200);
        QCOMPARE(m_clicks, 1);

        // The dialog closes: so does the notification (a fresh one, the clicked one is gone).
        n.reminderShown(QStringLiteral("{A}"), text, counter());
        const quint32 again = n.notificationId(QStringLiteral("{A}"));
        QVERIFY(again != 0);
        n.reminderClosed(QStringLiteral("{A}"));
        const QList<QJsonObject> closes = standInCalls(QStringLiteral("CloseNotification"));
        QCOMPARE(closes.size(), 1);
        QCOMPARE(quint32(closes.at(0).value(QStringLiteral("id")).toInteger()), again);
        QTRY_COMPARE_WITH_TIMEOUT(n.notificationId(QStringLiteral("{A}")), 0u, int(5000 * timeScale()));
        QCOMPARE(m_clicks, 1);
    }

    void hungServer()
    {
        if (!onPrivateBus()) QSKIP("no private session bus (dbus-run-session is missing)");
        startStandIn();
        QVERIFY(controlled(QStringLiteral("Reset"), {QStringList{"body"}, 4000}));
        NotifySeam().setHandler(NotifyOverSessionBus);
        TZvNotifications& n = TZvNotifications::instance();
        QElapsedTimer took;
        took.start();
        n.reminderShown(QStringLiteral("{A}"), QStringLiteral("text"), counter());
        // Bounded by the call's time-out, well before the server would answer.
        QVERIFY2(took.elapsed() < 3000, qPrintable(QString::number(took.elapsed())));
        QCOMPARE(n.notificationId(QStringLiteral("{A}")), 0u);
        // Left alone for a while: the next reminder does not wait again.
        took.restart();
        n.reminderShown(QStringLiteral("{B}"), QStringLiteral("text"), counter());
        QVERIFY2(took.elapsed() < 200, qPrintable(QString::number(took.elapsed())));
        QCOMPARE(n.notificationId(QStringLiteral("{B}")), 0u);
        stopStandIn();
    }

    void noSessionBus_data()
    {
        QTest::addColumn<QString>("address"); // DBUS_SESSION_BUS_ADDRESS, "-" for unset
        QTest::newRow("no bus address") << "-";
        QTest::newRow("a bus that is not there") << "unix:path=/nonexistent/zorvik-bus";
    }
    void noSessionBus()
    {
        QFETCH(QString, address);
        QTemporaryDir runtime;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        env.remove(QStringLiteral("DISPLAY")); // no X11 autolaunch of a bus either
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        if (address != QLatin1String("-")) env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
        QProcess child;
        child.setProcessEnvironment(env);
        QElapsedTimer took;
        took.start();
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--reminder-without-bus")});
        QVERIFY(child.waitForFinished(int(20000 * timeScale())));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(QString::fromLocal8Bit(child.readAllStandardOutput()), QStringLiteral("nothing\n"));
        // Nothing is reported: not even a warning on the console.
        const QString said = QString::fromLocal8Bit(child.readAllStandardError());
        QVERIFY2(said.trimmed().isEmpty(), qPrintable(said));
        QVERIFY2(took.elapsed() < 5000 * timeScale(), qPrintable(QString::number(took.elapsed())));
    }
};

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--stand-in-notification-server") == 0) return runStandIn(argc, argv);
        if (qstrcmp(argv[i], "--reminder-without-bus") == 0) return runWithoutBus(argc, argv);
    }
    // The bus tests must never reach the desktop's real notification server: run again on a
    // private session bus of our own when dbus-run-session is there.
    // Its configuration starts no service on demand: an installed notification daemon must not
    // be activated on it either.
    if (!qEnvironmentVariableIsSet("ZVJ_PRIVATE_BUS")) {
        const QString runner = QStandardPaths::findExecutable(QStringLiteral("dbus-run-session"));
        const QString config =
            QDir::tempPath() + QStringLiteral("/zvj-test-session-bus-%1.conf").arg(getuid());
        QFile file(config);
        const bool written =
            file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
            file.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                       " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                       "<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen>"
                       "<auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\"/>"
                       "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n") > 0;
        file.close();
        if (!runner.isEmpty() && written) {
            qputenv("ZVJ_PRIVATE_BUS", "1");
            const QByteArray path = runner.toLocal8Bit();
            const QByteArray configArg = "--config-file=" + config.toLocal8Bit();
            const QByteArray self = QFile::symLinkTarget(QStringLiteral("/proc/self/exe")).toLocal8Bit();
            std::vector<char*> args{const_cast<char*>(path.constData()),
                                    const_cast<char*>(configArg.constData()), const_cast<char*>("--"),
                                    const_cast<char*>(self.constData())};
            for (int i = 1; i < argc; ++i)
                args.push_back(argv[i]);
            args.push_back(nullptr);
            ::execv(path.constData(), args.data());
            qunsetenv("ZVJ_PRIVATE_BUS"); // could not: the bus tests skip
        }
    }
    QApplication app(argc, argv);
    TstNotify test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_notify.moc"
