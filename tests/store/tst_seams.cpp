// The seams as tests use them: one reset leaves nothing behind for the next test (answers,
// handlers, history, a pinned clock, clipboard text), and a message box or file dialog
// that nobody answers fails the test that reached it.
#include "ZvTestSupport.h"
#include "platform/ZvFileDialog.h"
#include "platform/ZvTreePrint.h"
#include "store/ZvSeams.h"

#include <QApplication>
#include <QProcess>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <vector>

using namespace zv;

namespace {

// One seam dirtied as a careless test would leave it, and whether it is clean again.
struct Probe
{
    const char* name;
    std::function<void()> dirty;
    std::function<bool()> clean;
};

template <class Request, class Answer>
Probe probe(const char* name, TZvSeam<Request, Answer>& seam, Request request, Answer answer)
{
    return {name,
            [&seam, request, answer] {
                seam.queueAnswer(answer);
                seam.queueAnswer(answer);
                seam.setHandler([answer](const Request&) { return answer; });
                seam.call(request);
            },
            [&seam] { return seam.queuedAnswers() == 0 && !seam.hasHandler() && seam.history().isEmpty(); }};
}

// A seam of the kind another unit adds later, listed nowhere.
TZvSeam<int, int>& laterSeam()
{
    static TZvSeam<int, int> seam([](const int&) { return 0; });
    return seam;
}

std::vector<Probe> probes()
{
    return {
        probe("message box", MessageSeam::seam(),
              MessageRequest{"Ask", "Sure?", MsgIcon::None, MsgButtons::OkCancel}, int(IdCancel)),
        probe("file dialog", FileDialogSeam::seam(), FileDialogRequest{}, FileDialogResult{"/tmp/x.zvx", 1}),
        probe("clipboard read", ClipboardSeam::reads(), SeamQuery{}, QStringLiteral("left")),
        probe("clipboard write", ClipboardSeam::writes(), QStringLiteral("left"), false),
        probe("desktop", DesktopSeam::seam(), QUrl("https://example.org/"), true),
        probe("sound", SoundSeam::seam(), QStringLiteral("Alarm.wav"), true),
        probe("tray host", TrayHostSeam::seam(), SeamQuery{}, true),
        probe("status notifier host", StatusNotifierHostSeam::seam(), SeamQuery{}, true),
        probe("clock", Clock::seam(), SeamQuery{}, QDateTime(QDate(2001, 2, 3), QTime(4, 5))),
        probe("mail program", MailProcessSeam(), MailProcessRequest{"xdg-email", {}},
              MailProcessResult{true, 0}),
        probe("print dialog", PrintDialogSeam(), PrintDialogRequest{}, true),
        probe("a seam added later", laterSeam(), 1, 2)};
}

} // namespace

// Run in a child process by TstSeams::strictMode: each function is one situation of a
// test, under the test-folder fixture; what a seam answered goes to the log.
class StrictVictims : public QObject
{
    Q_OBJECT
    std::unique_ptr<zvtest::TempProgramFolder> m_folder;

    static void box(MsgButtons buttons)
    {
        qInfo("answer=%d", MessageSeam::show({"Ask", "Delete the selected task?", MsgIcon::None, buttons}));
    }
    static void fileDialog()
    {
        FileDialogRequest r;
        r.caption = QStringLiteral("Export");
        r.filter = QStringLiteral("Zorvik Database (*.zvx)");
        qInfo("file=[%s]", qPrintable(FileDialogSeam::run(nullptr, r).fileName));
    }

private slots:
    void init() { m_folder = std::make_unique<zvtest::TempProgramFolder>(false); }
    void cleanup() { m_folder.reset(); }

    void unansweredOk() { box(MsgButtons::Ok); }
    void unansweredOkCancel() { box(MsgButtons::OkCancel); }
    void unansweredYesNo() { box(MsgButtons::YesNo); }
    void unansweredFromTheEventLoop()
    {
        // As a frame shows a box: from a posted event, while the test waits.
        QTimer::singleShot(0, [] { box(MsgButtons::YesNo); });
        QTest::qWait(50);
    }
    void unansweredFileDialog() { fileDialog(); }
    void queuedAnswer()
    {
        MessageSeam::queueAnswer(IdNo);
        box(MsgButtons::YesNo);
    }
    void handlerAnswers()
    {
        MessageSeam::setHandler([](const MessageRequest&) { return int(IdOk); });
        box(MsgButtons::OkCancel);
    }
    void queuedFileName()
    {
        FileDialogSeam::setNextFileName(QStringLiteral("/tmp/chosen.zvx"));
        fileDialog();
    }
    void fileDialogHandler()
    {
        FileDialogSeam::setHandler([](QWidget*, const FileDialogRequest&) {
            return FileDialogResult{"/tmp/h.zvx", 0};
        });
        fileDialog();
    }
    // The seam's own reset alone puts back the program's fallback: OK or Yes, no failure.
    void ownResetIsLenient()
    {
        MessageSeam::reset();
        box(MsgButtons::YesNo);
    }
    // One queued answer is one box: the second is unanswered.
    void secondBoxUnanswered()
    {
        MessageSeam::queueAnswer(IdOk);
        box(MsgButtons::OkCancel);
        box(MsgButtons::OkCancel);
    }
};

class TstSeams : public QObject
{
    Q_OBJECT

private slots:
    void init() { zvtest::ResetSeams(); }
    void cleanupTestCase() { zvtest::ResetSeams(); }

    void resetLeavesNothingBehind_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("viaFolder");
        const std::vector<Probe> all = probes();
        for (int i = 0; i < int(all.size()); ++i) {
            QTest::addRow("%s, ResetSeams", all[i].name) << i << false;
            QTest::addRow("%s, test folder", all[i].name) << i << true;
        }
    }

    void resetLeavesNothingBehind()
    {
        QFETCH(int, index);
        QFETCH(bool, viaFolder);
        const Probe p = probes().at(index);
        p.dirty();
        QVERIFY(!p.clean());
        if (viaFolder) {
            zvtest::TempProgramFolder folder(false);
        } else {
            zvtest::ResetSeams();
        }
        QVERIFY(p.clean());
    }

    // What the conveniences on top of the seams keep goes with the reset too.
    void resetPutsBackClockZoneClipboardAndTray()
    {
        const QDateTime pinned(QDate(2001, 2, 3), QTime(4, 5));
        Clock::setFixed(pinned);
        Clock::setUtcBiasOverride(-120);
        ClipboardSeam::setText(QStringLiteral("left behind"));
        TrayHostSeam::setAvailable(true);
        StatusNotifierHostSeam::setAvailable(true);
        QCOMPARE(Clock::now(), pinned);
        zvtest::ResetSeams();
        QVERIFY(qAbs(Clock::now().secsTo(QDateTime::currentDateTime())) < 5);
        QVERIFY(!Clock::utcBiasOverride());
        QCOMPARE(ClipboardSeam::text(), QString());
        QCOMPARE(TrayHostSeam::available(), false);
        QCOMPARE(StatusNotifierHostSeam::available(), false);

        Clock::setOffsetMs(3600 * 1000);
        zvtest::TempProgramFolder folder(false);
        QVERIFY(qAbs(Clock::now().secsTo(QDateTime::currentDateTime())) < 5);
    }

    void answersThenHandlerThenFallback()
    {
        TZvSeam<int, int>& seam = laterSeam();
        seam.queueAnswer(10);
        seam.queueAnswer(11);
        seam.setHandler([](const int& r) { return r * 100; });
        QCOMPARE(seam.call(1), 10);
        QCOMPARE(seam.call(2), 11);
        QCOMPARE(seam.call(3), 300);
        seam.setHandler(nullptr);
        QCOMPARE(seam.call(4), 0);
        seam.setFallback([](const int& r) { return -r; });
        QCOMPARE(seam.call(5), -5);
        seam.setFallback(nullptr); // the seam's own again
        QCOMPARE(seam.call(6), 0);
        QCOMPARE(seam.history(), QList<int>({1, 2, 3, 4, 5, 6}));
    }

    // The program asks the clock and the tray host all day: the history must not grow
    // without end.
    void historyKeepsOnlyTheLatest()
    {
        TZvSeam<int, int>& seam = laterSeam();
        const int limit = int(TZvSeam<int, int>::kHistoryLimit);
        for (int i = 0; i < limit + 5; ++i)
            seam.call(i);
        QCOMPARE(seam.history().size(), limit);
        QCOMPARE(seam.history().first(), 5);
        QCOMPARE(seam.history().last(), limit + 4);
    }

    // Without the program's handlers nothing reaches the desktop.
    void noHandlerTouchesNothing()
    {
        QCOMPARE(DesktopSeam::openUrl(QUrl("https://example.org/")), false);
        ClipboardSeam::setText(QStringLiteral("in memory"));
        QCOMPARE(ClipboardSeam::text(), QStringLiteral("in memory"));
        QCOMPARE(ClipboardSeam::writes().history(), QStringList{"in memory"});
        SoundSeam::play(QStringLiteral("Alarm.wav"));
        QCOMPARE(SoundSeam::seam().history(), QStringList{"Alarm.wav"});
        QCOMPARE(TrayHostSeam::available(), false);
        QCOMPARE(StatusNotifierHostSeam::available(), false);
    }

    // The fallbacks that stand in for the system when no handler is set answer "nothing
    // there": no mail program started, no secret store, a password prompt cancelled, no
    // reply made up for the network; a sound handler that is taken away plays no more.
    void fallbacksReachNothing_data()
    {
        QTest::addColumn<QString>("seam");
        for (const char* name : {"mail", "secret", "password", "network", "sound", "clipboard", "clock"})
            QTest::newRow(name) << QString(name);
    }
    void fallbacksReachNothing()
    {
        QFETCH(QString, seam);
        if (seam == "mail") {
            QVERIFY(!MailProcessSeam().call({QStringLiteral("xdg-email"), {}}).started);
        } else if (seam == "secret") {
            const SecretAnswer a = SecretSeam().call({SecretRequest::Op::Read, QStringLiteral("k"), {}});
            QVERIFY(!a.storeAnswered);
            QVERIFY(!a.found);
        } else if (seam == "password") {
            QVERIFY(!PasswordPromptSeam().call(QStringLiteral("server")));
        } else if (seam == "network") {
            const NetworkIntercept i = NetworkSeam().call({"GET", QUrl("https://example.org/"), {}});
            QVERIFY(i.kind == NetworkIntercept::Kind::Pass);
            QCOMPARE(i.status, 0);
        } else if (seam == "sound") {
            QStringList played;
            SoundSeam::setHandler([&](const QString& path) { played << path; });
            SoundSeam::play(QStringLiteral("a.wav"));
            SoundSeam::setHandler(nullptr);
            SoundSeam::play(QStringLiteral("b.wav"));
            QCOMPARE(played, QStringList{"a.wav"});
            QCOMPARE(SoundSeam::seam().history(), QStringList({"a.wav", "b.wav"}));
        } else if (seam == "clipboard") {
            QString written;
            ClipboardSeam::writes().setHandler([&](const QString& text) {
                written = text;
                return true;
            });
            ClipboardSeam::useMemoryClipboard(false); // leaves the handler
            ClipboardSeam::setText(QStringLiteral("to the system"));
            QCOMPARE(written, QStringLiteral("to the system"));
            ClipboardSeam::useMemoryClipboard(true);
            ClipboardSeam::setText(QStringLiteral("in memory"));
            QCOMPARE(written, QStringLiteral("to the system"));
            QCOMPARE(ClipboardSeam::text(), QStringLiteral("in memory"));
        } else if (seam == "clock") {
            Clock::setOffsetMs(-3600 * 1000);
            QVERIFY(qAbs(Clock::now().secsTo(QDateTime::currentDateTime()) - 3600) < 5);
        }
    }

    void strictMode_data()
    {
        QTest::addColumn<QString>("victim");
        QTest::addColumn<bool>("fails");
        QTest::addColumn<QString>("logged");
        const QString boxText = QStringLiteral("Unanswered message box \"Ask\": Delete the selected task?");
        const QString dialogText =
            QStringLiteral("Unanswered file dialog \"Export\" (Zorvik Database (*.zvx))");
        QTest::newRow("OK box") << "unansweredOk" << true << "answer=1";
        QTest::newRow("OK/Cancel box") << "unansweredOkCancel" << true << "answer=2";
        QTest::newRow("Yes/No box") << "unansweredYesNo" << true << "answer=2";
        QTest::newRow("box from the event loop") << "unansweredFromTheEventLoop" << true << boxText;
        QTest::newRow("file dialog") << "unansweredFileDialog" << true << "file=[]";
        QTest::newRow("file dialog text") << "unansweredFileDialog" << true << dialogText;
        QTest::newRow("box text") << "unansweredOkCancel" << true << boxText;
        QTest::newRow("second box") << "secondBoxUnanswered" << true << boxText;
        QTest::newRow("queued answer") << "queuedAnswer" << false << "answer=7";
        QTest::newRow("handler") << "handlerAnswers" << false << "answer=1";
        QTest::newRow("queued file name") << "queuedFileName" << false << "file=[/tmp/chosen.zvx]";
        QTest::newRow("file dialog handler") << "fileDialogHandler" << false << "file=[/tmp/h.zvx]";
        QTest::newRow("own reset is lenient") << "ownResetIsLenient" << false << "answer=6";
    }

    void strictMode()
    {
        QFETCH(QString, victim);
        QFETCH(bool, fails);
        QFETCH(QString, logged);
        QProcess child;
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--victims"), victim});
        QVERIFY(child.waitForFinished(zvtest::Scaled(30000)));
        const QString out = QString::fromUtf8(child.readAll());
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QVERIFY2((child.exitCode() != 0) == fails, qPrintable(out));
        QVERIFY2(out.contains(QLatin1String("PASS   : StrictVictims::") + victim) != fails, qPrintable(out));
        QVERIFY2(out.contains(logged), qPrintable(out));
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "--victims") == 0) {
        StrictVictims victims;
        QStringList args{QString::fromLocal8Bit(argv[0])};
        for (int i = 2; i < argc; ++i)
            args << QString::fromLocal8Bit(argv[i]);
        return QTest::qExec(&victims, args);
    }
    TstSeams test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_seams.moc"
