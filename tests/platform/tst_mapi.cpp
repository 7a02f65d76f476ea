// The Simple-MAPI-shaped layer over xdg-email: its arguments, sessions and result codes,
// with real runs of a stand-in mail tool placed first on PATH.
#include "ZvTestSupport.h"
#include "platform/ZvMapi.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace zv;
using namespace zv::mapi;

using Recips = std::vector<MapiRecipDesc>;
Q_DECLARE_METATYPE(Recips)

namespace {

MapiRecipDesc recip(ULONG cls, const QString& name, const QString& address = {})
{
    return MapiRecipDesc{cls, name, address};
}

// Records its arguments NUL-separated, takes a moment, ends with ZVJ_FAKE_MAIL_STATUS.
const char* const kStandIn = "#!/bin/sh\n"
                             "for a in \"$@\"; do printf '%s\\0' \"$a\"; done > \"$ZVJ_FAKE_MAIL_LOG\"\n"
                             "sleep 0.3\n"
                             "exit \"${ZVJ_FAKE_MAIL_STATUS:-0}\"\n";

// A mail program as xdg-email finds it through MAILER: records the mailto text it is given
// and stays open for ZVJ_MAILER_STAYS seconds, as one does until the user quits it.
const char* const kMailer = "#!/bin/sh\n"
                            "printf '%s' \"$1\" > \"$ZVJ_MAILER_LOG\"\n"
                            "sleep \"${ZVJ_MAILER_STAYS:-0}\"\n";

} // namespace

class TestMapi : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QByteArray m_path;

    QString file(const QString& name) const { return m_dir.filePath(name); }
    static bool writeScript(const QString& path, const char* text)
    {
        QFile script(path);
        return script.open(QIODevice::WriteOnly) && script.write(text) > 0 && script.flush() &&
               script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                     QFileDevice::ExeOwner);
    }

private slots:
    void initTestCase()
    {
        m_path = qgetenv("PATH");
        QVERIFY(QDir().mkpath(file("bin")));
        QVERIFY(writeScript(file("bin/xdg-email"), kStandIn));
        QVERIFY(writeScript(file("mailer"), kMailer));
        qputenv("PATH", (file("bin") + ':').toUtf8() + m_path);
        qputenv("ZVJ_FAKE_MAIL_LOG", file("args.log").toUtf8());
        for (const char* name : {"Tasks.html", "Tasks two.zvx"})
            QFile(file(name)).open(QIODevice::WriteOnly);
    }
    void init()
    {
        zvtest::ResetSeams();
        MailProcessSeam().setHandler([](const MailProcessRequest& r) { return RunMailProcess(r); });
    }
    void cleanupTestCase()
    {
        qputenv("PATH", m_path);
        MailProcessSeam().reset();
    }

    void arguments_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<Recips>("recips");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("classes in their places, SMTP: dropped")
            << "S"
            << Recips{recip(MAPI_TO, "ann", "SMTP:ann@x.org"), recip(MAPI_BCC, "bob@x.org"),
                      recip(MAPI_CC, "cy", "smtp:cy@x.org"), recip(MAPI_ORIG, "me@x.org")}
            << QStringList{"--utf8", "--subject", "S", "--cc", "cy@x.org", "--bcc", "bob@x.org", "ann@x.org"};
        // xdg-email refuses an option without text; it takes a plain argument only when it
        // looks like an address, and one starting with "-" as an option (with the next one)
        QTest::newRow("empty subject left out; To names that are no plain argument")
            << "" << Recips{UnresolvedRecipient(MAPI_TO, "ann"), recip(MAPI_TO, "--attach=/etc/x@y")}
            << QStringList{"--utf8", "--to", "ann", "--to", "--attach=/etc/x@y"};
    }
    void arguments()
    {
        QFETCH(QString, subject);
        QFETCH(Recips, recips);
        QFETCH(QStringList, expected);
        MapiMessage m;
        m.lpszSubject = subject;
        m.lpRecips = recips;
        QCOMPARE(TZvMapi::XdgEmailRequest(m).program, QStringLiteral("xdg-email"));
        QCOMPARE(TZvMapi::XdgEmailRequest(m).arguments, expected);
    }

    void recipientNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("length");
        const QString face = QString::fromUtf8("\xF0\x9F\x98\x80"); // two UTF-16 units
        QTest::newRow("255 kept") << QString(255, 'a') << 255;
        QTest::newRow("256 cut to 255") << QString(256, 'a') << 255;
        QTest::newRow("a surrogate pair is never split") << QString(254, 'a') + face << 254;
    }
    void recipientNames()
    {
        QFETCH(QString, name);
        QFETCH(int, length);
        const MapiRecipDesc r = UnresolvedRecipient(MAPI_BCC, name);
        QCOMPARE(r.lpszName, name.left(length));
        QCOMPARE(r.lpszAddress, "SMTP:" + name.left(length));
        QCOMPARE(r.ulRecipClass, MAPI_BCC);
        MapiRecipDesc resolved;
        TZvMapi layer;
        QCOMPARE(layer.MAPIResolveName(0, nullptr, " SMTP:ann@x.org ", 0, &resolved), SUCCESS_SUCCESS);
        QCOMPARE(resolved.lpszAddress, QStringLiteral("SMTP:ann@x.org"));
        QCOMPARE(layer.MAPIResolveName(0, nullptr, " ", 0, &resolved), MAPI_E_UNKNOWN_RECIPIENT);
    }

    void sessions()
    {
        TZvMapi layer;
        LHANDLE a = 0, b = 0;
        QCOMPARE(layer.MAPILogon(nullptr, {}, {}, MAPI_USE_DEFAULT | MAPI_DIALOG | MAPI_LOGON_UI, &a),
                 SUCCESS_SUCCESS);
        QCOMPARE(layer.MAPILogon(nullptr, "work", "pw", MAPI_DIALOG | MAPI_LOGON_UI, &b), SUCCESS_SUCCESS);
        QVERIFY(a && b && a != b);
        MailProcessSeam().queueAnswer({true, 0});
        QCOMPARE(layer.MAPISendMail(a, nullptr, {}, MAPI_DIALOG), SUCCESS_SUCCESS);
        QCOMPARE(layer.MAPILogoff(a, nullptr, 0), SUCCESS_SUCCESS);
        QVERIFY(!layer.isSessionOpen(a) && layer.isSessionOpen(b));
        QCOMPARE(layer.MAPILogoff(a, nullptr, 0), MAPI_E_INVALID_SESSION);
        QCOMPARE(layer.MAPISendMail(a, nullptr, {}, MAPI_DIALOG), MAPI_E_INVALID_SESSION);
        MailProcessSeam().queueAnswer({true, 0});
        QCOMPARE(layer.MAPISendMail(0, nullptr, {}, MAPI_DIALOG),
                 SUCCESS_SUCCESS); // a session for one message
        // a missing attachment: nothing is started
        MapiMessage m;
        m.lpFiles = {MapiFileDesc{0, kPositionAnywhere, file("gone.html"), {}}};
        QCOMPARE(layer.MAPISendMail(b, nullptr, m, MAPI_DIALOG), MAPI_E_ATTACHMENT_NOT_FOUND);
        QCOMPARE(MailProcessSeam().history().size(), 2);
    }

    void exitStatus_data()
    {
        QTest::addColumn<QString>("path"); // "stand-in" or "empty"
        QTest::addColumn<int>("status");
        QTest::addColumn<uint>("result");
        QTest::newRow("sent or discarded") << "stand-in" << 0 << uint(SUCCESS_SUCCESS);
        QTest::newRow("syntax error") << "stand-in" << 1 << uint(MAPI_E_FAILURE);
        QTest::newRow("attachment gone") << "stand-in" << 2 << uint(MAPI_E_ATTACHMENT_NOT_FOUND);
        QTest::newRow("no mail program: silent") << "stand-in" << 3 << uint(MAPI_USER_ABORT);
        QTest::newRow("mail program failed") << "stand-in" << 4 << uint(MAPI_E_FAILURE);
        QTest::newRow("no xdg-email: silent") << "empty" << 0 << uint(MAPI_USER_ABORT);
    }
    void exitStatus()
    {
        QFETCH(QString, path);
        QFETCH(int, status);
        QFETCH(uint, result);
        QFile::remove(file("args.log"));
        qputenv("ZVJ_FAKE_MAIL_STATUS", QByteArray::number(status));
        if (path == "empty") qputenv("PATH", file("no-such-folder").toUtf8());
        MapiMessage m;
        m.lpszSubject = QString::fromUtf8("Grüße");
        m.lpszNoteText = "Tasks.html: a\r\nTasks.zvx: b\r\n";
        m.lpRecips = {UnresolvedRecipient(MAPI_TO, "ann@x.org")};
        m.lpFiles = {MapiFileDesc{0, kPositionAnywhere, file("Tasks.html"), {}},
                     MapiFileDesc{0, kPositionAnywhere, file("Tasks two.zvx"), {}}};
        // while the mail program runs, timers run (the windows paint) and the cursor is busy
        int ticks = 0;
        bool busy = false;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            ++ticks;
            busy = QGuiApplication::overrideCursor() &&
                   QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor;
        });
        timer.start(20);
        TZvMapi layer;
        const ULONG got = layer.MAPISendMail(0, nullptr, m, MAPI_DIALOG | MAPI_LOGON_UI);
        qputenv("PATH", (file("bin") + ':').toUtf8() + m_path);
        QCOMPARE(got, ULONG(result));
        QVERIFY(!QGuiApplication::overrideCursor());
        if (path == "empty") return;
        QVERIFY(ticks >= 3 && busy);
        QFile log(file("args.log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.readAll().split('\0'),
                 (QList<QByteArray>{"--utf8", "--subject",
                                    "Gr\xc3\xbc\xc3\x9f"
                                    "e",
                                    "--body", "Tasks.html: a\nTasks.zvx: b\n", "--attach",
                                    file("Tasks.html").toUtf8(), "--attach", file("Tasks two.zvx").toUtf8(),
                                    "ann@x.org", ""}));
    }

    // The real xdg-email, and a mail program found through MAILER. The body's CR LF breaks
    // reach the compose window as CR LF, never doubled; a mail program that stays open
    // (xdg-email waits for it) has the message: the send ends after the wait, and the
    // hand-off is collected once it ends.
    void handOffThroughXdgEmail_data()
    {
        QTest::addColumn<int>("stays"); // seconds the mail program stays open
        QTest::addColumn<int>("waitMs");
        QTest::newRow("the mail program returns at once") << 0 << kMailHandOffWaitMs;
        QTest::newRow("the mail program stays open past the wait") << 3 << 1000;
    }
    void handOffThroughXdgEmail()
    {
        QFETCH(int, stays);
        QFETCH(int, waitMs);
        if (QStandardPaths::findExecutable("xdg-email", {"/usr/bin"}).isEmpty()) QSKIP("no xdg-email");
        qputenv("PATH", m_path); // the real one
        qputenv("MAILER", file("mailer").toUtf8());
        qputenv("ZVJ_MAILER_LOG", file("mailto.log").toUtf8());
        qputenv("ZVJ_MAILER_STAYS", QByteArray::number(stays));
        MailProcessSeam().setHandler(
            [waitMs](const MailProcessRequest& r) { return RunMailProcess(r, waitMs); });
        MapiMessage m;
        m.lpszSubject = "S";
        m.lpszNoteText = "line 1\r\nline 2\r\n";
        QElapsedTimer clock;
        clock.start();
        const ULONG got = TZvMapi().MAPISendMail(0, nullptr, m, MAPI_DIALOG | MAPI_LOGON_UI);
        const qint64 took = clock.elapsed();
        qputenv("PATH", (file("bin") + ':').toUtf8() + m_path);
        qunsetenv("MAILER");
        QCOMPARE(got, SUCCESS_SUCCESS);
        QCOMPARE(MailProcessesStillRunning(), stays > 0 ? 1 : 0);
        if (stays > 0) QVERIFY2(took < stays * 1000, qPrintable(QString::number(took)));
        // collected: its end was reaped, and the object goes with it
        QVERIFY(QTest::qWaitFor([] { return MailProcessesStillRunning() == 0; }, stays * 1000 + 5000));
        QCOMPARE(zvtest::fileBytes(file("mailto.log")),
                 QByteArray("mailto:?subject=S&body=line%201%0D%0Aline%202"));
    }
};

QTEST_MAIN(TestMapi)
#include "tst_mapi.moc"
