// Zorvik Jotboard: program start.
#include "app/Dm_Common.h"
#include "app/Fm_Main.h"
#include "app/ZvCommandLine.h"
#include "app/ZvFrameFactories.h"
#include "components/ZvTray.h"
#include "components/ZvVersionInfo.h"
#include "interchange/Dm_Io.h"
#include "platform/ZvNotify.h"
#include "platform/ZvSingleInstance.h"
#include "platform/ZvStatusNotifier.h"
#include "platform/ZvUiHandlers.h"
#include "store/ZvDb.h"
#include "store/ZvGuard.h"
#include "sync/ZvSyncSettings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onTerminate(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

// SIGTERM (and SIGHUP, SIGINT) run the steps of Exit on the event loop, so an edit in
// progress and the window's placement are stored.
void watchTerminationSignals(QObject* owner, std::function<void()> onExit)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, owner, [notifier, onExit] {
        char c;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &c, 1);
        notifier->setEnabled(false);
        onExit();
    });
    struct sigaction sa = {};
    sa.sa_handler = onTerminate;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
}

} // namespace

// ZVJ_BENCH_START=1 (the benchmark's start mode): once both trees are loaded and the
// window has painted, print the time since the process began and the resident memory, then
// end as Exit does.
static void reportStartWhenLoaded(zv::TmainFm* window, const QElapsedTimer& sinceStart)
{
    auto* poll = new QTimer(window);
    poll->setInterval(2);
    QObject::connect(poll, &QTimer::timeout, window, [window, poll, &sinceStart] {
        if (!window->TaskFrame || !window->MemoFrame || !window->TaskFrame->Loaded() ||
            !window->MemoFrame->Loaded())
            return;
        poll->stop();
        window->repaint();
        // Peak, not current, resident memory: the load's transient buffers count too.
        long peakKb = 0;
        if (FILE* f = std::fopen("/proc/self/status", "r")) {
            char line[256];
            while (std::fgets(line, sizeof line, f))
                if (std::sscanf(line, "VmHWM: %ld kB", &peakKb) == 1) break;
            std::fclose(f);
        }
        // The CPU time beside the wall time tells a busy machine from a slow start.
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        const double cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                             (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
        std::printf("start: %.1f ms from main to both trees loaded and painted (CPU %.0f ms), peak "
                    "resident %.1f MB\n",
                    double(sinceStart.nsecsElapsed()) / 1e6, cpuMs, double(peakKb) / 1024.0);
        std::fflush(stdout);
        zv::Guarded([window] { window->ExitProgram(); });
    });
    poll->start();
}

namespace {

QStringList argumentsOf(int argc, char** argv)
{
    QStringList out;
    for (int i = 1; i < argc; ++i)
        out << QString::fromLocal8Bit(argv[i]);
    return out;
}

void printOut(const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

// --add-task and --add-memo need no display: they run without a window system.
int runCapture(int argc, char** argv, const zv::TZvCommandLine& command)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(zv::kAppTitle);
    const QString folder = zv::ProgramFolder();
    zv::TSingleInstance instance(zv::kAppTitle, folder);
    return zv::RunCapture(command, instance, folder, stdin, stdout, stderr);
}

// --sync needs no display either: a running program syncs, or this process does.
int runSync(int argc, char** argv, const zv::TZvCommandLine& command)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(zv::kAppTitle);
    zv::InstallSecretStore();
    const QString folder = zv::ProgramFolder();
    zv::TSingleInstance instance(zv::kAppTitle, folder);
    zv::TZvVersionInfo version;
    return zv::RunSync(command, instance, folder, version.GetValue(2), stdout, stderr);
}

} // namespace

int main(int argc, char** argv)
{
    QElapsedTimer sinceStart;
    sinceStart.start();

    const zv::TZvCommandLine command = zv::TZvCommandLine::Parse(argumentsOf(argc, argv));
    switch (command.action) {
    case zv::TZvCommandLine::Action::Invalid:
        zv::PrintError(stderr, command.error);
        std::fputs(qPrintable(zv::TZvCommandLine::Usage(QStringLiteral("jotboard"))), stderr);
        return zv::TZvCommandLine::kBadInput;
    case zv::TZvCommandLine::Action::Help:
        printOut(zv::TZvCommandLine::Usage(QStringLiteral("jotboard")));
        return zv::TZvCommandLine::kDone;
    case zv::TZvCommandLine::Action::Version: {
        QCoreApplication app(argc, argv);
        zv::TZvVersionInfo info;
        const QString version = info.GetValue(2);
        printOut(
            QStringLiteral("%1 %2\n").arg(zv::kAppTitle, version.isEmpty() ? QStringLiteral("?") : version));
        return zv::TZvCommandLine::kDone;
    }
    case zv::TZvCommandLine::Action::AddTask:
    case zv::TZvCommandLine::Action::AddMemo:
        return runCapture(argc, argv, command);
    case zv::TZvCommandLine::Action::Sync:
        return runSync(argc, argv, command);
    case zv::TZvCommandLine::Action::Start:
    case zv::TZvCommandLine::Action::NewTask:
    case zv::TZvCommandLine::Action::NewMemo:
    case zv::TZvCommandLine::Action::Show:
        break;
    }

    // With QT_QPA_PLATFORM unset Qt follows the session: the native wayland platform when
    // WAYLAND_DISPLAY is set, xcb on X11. QT_QPA_PLATFORM=xcb still forces X11 (XWayland),
    // where the window can be placed and raised.
    QApplication app(argc, argv);
    // No display name: Qt would append it to every window title ("Ask — Zorvik Jotboard"),
    // and the dialogs' captions are their own texts.
    QApplication::setApplicationName(zv::kAppTitle);
    QApplication::setDesktopFileName(QStringLiteral("zorvik-jotboard"));
    // A dialog or message box closed while the window is in the tray must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);
    zv::InstallDesktopHandlers();
    zv::NotifySeam().setHandler(zv::NotifyOverSessionBus);
    zv::InstallStatusNotifierHandlers();
    zv::InstallSecretStore();
    // Debug builds and ZVJ_CHECKS=1 stop at once when a transaction is open while the event
    // loop waits: what the user sees must already be on disk.
    zv::WatchDurabilityAtIdle();

    const QString folder = zv::ProgramFolder();
    zv::TSingleInstance instance(zv::kAppTitle, folder);
    if (command.action == zv::TZvCommandLine::Action::Start) {
        if (instance.ActivateRunningInstance()) return 0;
    } else {
        // --show, --new-task, --new-memo: the running program does it; with none running,
        // this process becomes the program and does it itself.
        zv::InstanceAnswer answer;
        switch (instance.HandOff(command.Request(), &answer)) {
        case zv::TSingleInstance::Outcome::HandedOver:
            if (!answer.ok) {
                zv::PrintError(stderr, answer.error);
                return zv::TZvCommandLine::kFailed;
            }
            if (command.verbose)
                printOut(QCoreApplication::translate("main", "Handed to the running program\n"));
            return zv::TZvCommandLine::kDone;
        case zv::TSingleInstance::Outcome::Failed:
            zv::PrintError(stderr, answer.error);
            return zv::TZvCommandLine::kFailed;
        case zv::TSingleInstance::Outcome::Alone:
            break;
        }
    }
    instance.Listen();

    zv::RegisterFrames();
    auto* main = new zv::TmainFm(folder);
    auto* io = new zv::TIoDm(&main->ADOConnection1, main, main);
    auto* common = new zv::TcommonDm(main, main);
    main->AttachModules(io, common);

    instance.setRequestHandler([main](const zv::InstanceRequest& request, zv::TZvInstanceReply reply) {
        // Whatever went wrong, the later start gets an answer. A request that waits (an item
        // for its frame, a sync) answers later by itself.
        if (!zv::Guarded([&] { main->HandleInstanceRequest(request, reply); }) && !reply.answered())
            reply.fail(QCoreApplication::translate("main", "the request failed"));
    });
    // A StatusNotifierItem host coming or going is looked at at once, not at the next poll.
    QObject::connect(&zv::TZvSniHostWatch::instance(), &zv::TZvSniHostWatch::availableChanged, main,
                     [main] { zv::Guarded([main] { main->ZvTrayIcon1->recheckTray(); }); });
    watchTerminationSignals(main, [main] { zv::Guarded([main] { main->ExitProgram(); }); });
    // Ending the desktop session stores everything and never holds the session up.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, main,
                     [main](QSessionManager&) { zv::Guarded([main] { main->ExitProgram(); }); });

    // A window command starts this run shown, whatever "Run program minimized" says.
    if (command.action != zv::TZvCommandLine::Action::Start) main->RunMinimizedEn = false;
    main->show();
    if (command.action == zv::TZvCommandLine::Action::NewTask)
        zv::Guarded([main] { main->Action_AddTask->trigger(); });
    else if (command.action == zv::TZvCommandLine::Action::NewMemo)
        zv::Guarded([main] { main->Action_AddMemo->trigger(); });
    if (qEnvironmentVariableIntValue("ZVJ_BENCH_START")) reportStartWhenLoaded(main, sinceStart);
    const int rc = app.exec();
    delete main;
    return rc;
}
