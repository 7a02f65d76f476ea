// TZvSendMessage over a recording stand-in for the mail system: result codes, the message
// it builds, its flags and its session.
#include "ZvTestSupport.h"
#include "interchange/ZvSndMsg.h"
#include "store/ZvGuard.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace zv;
using namespace zv::mapi;

namespace {

struct RecordingMapi : TZvMapi
{
    QStringList calls;
    QList<MapiMessage> sent;
    ULONG sendAnswer = SUCCESS_SUCCESS;
    ULONG resolveAnswer = SUCCESS_SUCCESS;

    ULONG MAPILogon(QWidget* w, const QString& p, const QString& pw, ULONG f, LHANDLE* s) override
    {
        calls << QString("logon %1").arg(f);
        return TZvMapi::MAPILogon(w, p, pw, f, s);
    }
    ULONG MAPILogoff(LHANDLE s, QWidget* w, ULONG f) override
    {
        calls << "logoff";
        TZvMapi::MAPILogoff(s, w, f);
        return MAPI_E_FAILURE; // dropped by the destructor
    }
    ULONG MAPIResolveName(LHANDLE s, QWidget* w, const QString& name, ULONG f, MapiRecipDesc* r) override
    {
        calls << QString("resolve %1 %2").arg(name.left(8)).arg(f);
        return resolveAnswer ? resolveAnswer : TZvMapi::MAPIResolveName(s, w, name, f, r);
    }
    ULONG MAPISendMail(LHANDLE, QWidget*, const MapiMessage& m, ULONG f) override
    {
        calls << QString("send %1").arg(f);
        sent << m;
        QDir::setCurrent(QDir::rootPath()); // a mail system may move the current folder
        return sendAnswer;
    }
};

} // namespace

class TestSendMessage : public QObject
{
    Q_OBJECT

private slots:
    void init() { zvtest::ResetSeams(); }

    void resultCodes_data()
    {
        QTest::addColumn<uint>("code");
        QTest::addColumn<QString>("shown"); // empty: silent
        QTest::newRow("1: the user's abort") << 1u << "";
        QTest::newRow("2") << 2u << "MAPI: General Failure. ErrorCode = 2.";
        QTest::newRow("7 is not in the table") << 7u << "MAPI: Unknown Error. ErrorCode = 7.";
        QTest::newRow("11") << 11u << "MAPI: Attachment Not Found. ErrorCode = 11.";
        QTest::newRow("21") << 21u << "MAPI: Ambiguous Recipient. ErrorCode = 21.";
        QTest::newRow("26") << 26u << "MAPI: Feature Not Supported. ErrorCode = 26.";
        QTest::newRow("27 is past the table") << 27u << "MAPI: Unknown Error. ErrorCode = 27.";
    }
    void resultCodes()
    {
        QFETCH(uint, code);
        QFETCH(QString, shown);
        MapiCheck(SUCCESS_SUCCESS);
        if (!shown.isEmpty()) MessageSeam::queueAnswer(IdOk);
        QVERIFY(!Guarded([&] { MapiCheck(code); }));
        QCOMPARE(MessageSeam::texts(), shown.isEmpty() ? QStringList{} : QStringList{shown});
        try {
            MapiCheck(code);
        } catch (const EMapiError& e) {
            QCOMPARE(e.ErrorCode, ULONG(code));
        } catch (const EMapiUserAbort& e) {
            QCOMPARE(e.message(), QStringLiteral("User Abort"));
        }
    }

    void sendFlagsAndRecipients_data()
    {
        QTest::addColumn<bool>("review");
        QTest::addColumn<bool>("resolve");
        QTest::addColumn<QStringList>("to");
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("defaults, no To")
            << true << true << QStringList{} << "" << QStringList{"logon 73", "resolve cc 9", "send 9"};
        QTest::newRow("a named profile")
            << true << false << QStringList{} << "work" << QStringList{"logon 9", "send 9"};
        QTest::newRow("no review, with To")
            << false << true << QStringList{"ann"} << ""
            << QStringList{"logon 73", "resolve ann 1", "resolve cc 1", "send 1"};
        // without review and without To the compose window is the only way to address it
        QTest::newRow("no review, no To")
            << false << false << QStringList{} << "" << QStringList{"logon 73", "send 9"};
    }
    void sendFlagsAndRecipients()
    {
        QFETCH(bool, review);
        QFETCH(bool, resolve);
        QFETCH(QStringList, to);
        QFETCH(QString, profile);
        QFETCH(QStringList, calls);
        RecordingMapi mapi;
        TZvSendMessage m(nullptr, &mapi);
        m.Review = review;
        m.ResolveNames = resolve;
        m.ProfileName = profile;
        m.ToRecipients = to;
        m.CcRecipients << "cc";
        m.Send();
        QCOMPARE(mapi.calls, calls);
        QCOMPARE(mapi.sent.first().lpRecips.back().lpszAddress, QStringLiteral("SMTP:cc"));
        QCOMPARE(mapi.sent.first().lpRecips.back().ulRecipClass, MAPI_CC);
    }

    void theMessage()
    {
        QTemporaryDir dir;
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        const QString cwd = QDir::currentPath();
        RecordingMapi mapi;
        TZvSendMessage m(nullptr, &mapi);
        m.ResolveNames = false;
        m.Subject = "plain";
        m.MessageText << "first"
                      << ""
                      << "third";
        m.BccRecipients << "di";
        m.CcRecipients << "cy";
        m.ToRecipients << "ann" << QString(300, 'n');
        m.Attachments << "Temp/../Temp/b.html"
                      << "/abs/a.zvx";
        m.Send();
        QCOMPARE(QDir::currentPath(), cwd); // the folder the mail system moved to is left again
        QDir::setCurrent(before);
        const MapiMessage& sent = mapi.sent.first();
        QCOMPARE(sent.lpszSubject, QStringLiteral("plain"));
        QCOMPARE(sent.lpszNoteText, QStringLiteral("first\r\n\r\nthird\r\n"));
        QStringList recips;
        for (const MapiRecipDesc& r : sent.lpRecips)
            recips
                << QString("%1 %2 %3").arg(r.ulRecipClass).arg(r.lpszName.size()).arg(r.lpszAddress.left(8));
        QCOMPARE(recips, (QStringList{"1 3 SMTP:ann", "1 255 SMTP:nnn", "2 2 SMTP:cy", "3 2 SMTP:di"}));
        QCOMPARE(sent.lpFiles.size(), size_t(2));
        QCOMPARE(sent.lpFiles[0].lpszPathName, cwd + "/Temp/b.html");
        QCOMPARE(sent.lpFiles[1].lpszPathName, QStringLiteral("/abs/a.zvx"));
        QCOMPARE(sent.lpFiles[0].nPosition, kPositionAnywhere);

        // linked controls replace subject and text; destroyed, they unlink themselves
        auto* edit = new QLineEdit("edited");
        auto* memo = new QPlainTextEdit("memo 1\nmemo 2");
        m.SubjectEdit = edit;
        m.MessageMemo = memo;
        m.Send();
        QCOMPARE(mapi.sent.last().lpszSubject, QStringLiteral("edited"));
        QCOMPARE(mapi.sent.last().lpszNoteText, QStringLiteral("memo 1\r\nmemo 2\r\n"));
        memo->clear(); // an emptied memo sends no text, not one empty line
        m.Send();
        QVERIFY(mapi.sent.last().lpszNoteText.isEmpty());
        delete edit;
        delete memo;
        m.Reset();
        QCOMPARE(m.Subject, QStringLiteral("plain")); // Reset keeps the subject
        QVERIFY(m.Attachments.isEmpty() && m.ToRecipients.isEmpty() && m.CcRecipients.isEmpty() &&
                m.BccRecipients.isEmpty() && m.MessageText.isEmpty());
        m.Send();
        QCOMPARE(mapi.sent.last().lpszSubject, QStringLiteral("plain"));
        QVERIFY(mapi.sent.last().lpszNoteText.isEmpty());
    }

    void oneSessionForAllSends()
    {
        RecordingMapi mapi;
        {
            TZvSendMessage m(nullptr, &mapi);
            m.Send();
            const LHANDLE session = m.session();
            m.Send();
            QCOMPARE(m.session(), session);
            QCOMPARE(mapi.calls.filter("logon").size(), 1);
            QVERIFY(mapi.isSessionOpen(session));
        } // destroyed with its frame: logged off, its failure dropped
        QCOMPARE(mapi.calls.last(), QStringLiteral("logoff"));
        QCOMPARE(mapi.openSessionCount(), 0);
    }

    void errorsStopTheSendAndRestoreCursorAndFolder()
    {
        const QString before = QDir::currentPath();
        RecordingMapi mapi;
        TZvSendMessage m(nullptr, &mapi);
        m.ToRecipients << "ann"
                       << "bo";
        mapi.resolveAnswer = MAPI_E_AMBIGUOUS_RECIPIENT;
        QVERIFY_THROWS_EXCEPTION(EMapiError, m.Send());
        QCOMPARE(mapi.calls.filter("resolve").size(), 1);
        QVERIFY(mapi.sent.isEmpty());
        mapi.resolveAnswer = SUCCESS_SUCCESS;
        mapi.sendAnswer = MAPI_USER_ABORT;
        QVERIFY_THROWS_EXCEPTION(EMapiUserAbort, m.Send());
        QCOMPARE(QDir::currentPath(), before);
        QVERIFY(!QGuiApplication::overrideCursor());
    }
};

QTEST_MAIN(TestSendMessage)
#include "tst_sndmsg.moc"
