// The whole program's start with generated tasks and memos (`zvbench start [TOP [SUB]]`,
// 10,000 top-level items with 4 sub-items each unless given): the real executable on a
// program folder of its own, from the process's start to both trees loaded and the window
// painted, and its resident memory then.
#include "ZvBenchFrame.h"
#include "ZvTestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <cstdio>

void generateTasks(const QString& path, int topLevel, int children);
void generateMemos(const QString& path, int topLevel, int children);

int benchStart(int argc, char** argv)
{
    std::unique_ptr<QCoreApplication> ownApp;
    if (!QCoreApplication::instance()) ownApp = std::make_unique<QCoreApplication>(argc, argv);
    const TBenchSize size = BenchSize(argc, argv);
    zvtest::TempProgramFolder folder;
    generateTasks(folder.dbPath(), size.top, size.sub);
    generateMemos(folder.dbPath(), size.top, size.sub);
    std::printf("start: %d tasks and %d memos generated\n",
                folder.count(QStringLiteral("select count(*) from tasks")),
                folder.count(QStringLiteral("select count(*) from memos")));
    const QString stage = QStringLiteral(ZVJ_STAGE_DIR);
    for (const char* data : {"Images", "Sounds"}) {
        QDir from(stage + QLatin1Char('/') + QLatin1String(data));
        QDir().mkpath(folder.path() + QLatin1String(data));
        for (const QString& f : from.entryList(QDir::Files))
            QFile::copy(from.filePath(f), folder.path() + QLatin1String(data) + QLatin1Char('/') + f);
    }
    const QStringList wrap = QProcess::splitCommand(qEnvironmentVariable("ZVJ_BENCH_WRAP"));
    const int runs = wrap.isEmpty() ? 3 : 1;
    const int limitMs = wrap.isEmpty() ? 60000 : 1200000;
    int rc = 0;
    for (int run = 0; run < runs; ++run) {
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ZVJ_HOME"), folder.path());
        env.insert(QStringLiteral("ZVJ_BENCH_START"), QStringLiteral("1"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder.path());
        if (!env.contains(QStringLiteral("DISPLAY")))
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        program.setProcessEnvironment(env);
        // Timed from here, so the exec and the loading of the libraries count as well.
        QElapsedTimer sinceExec;
        sinceExec.start();
        // ZVJ_BENCH_WRAP runs the program under a profiler, e.g. "valgrind --tool=callgrind",
        // to see what dominates the load; the times printed are then the profiler's.
        QStringList command = wrap;
        command << stage + QStringLiteral("/jotboard");
        program.start(command.takeFirst(), command);
        QByteArray out;
        qint64 reported = -1;
        while (reported < 0 && program.state() != QProcess::NotRunning && sinceExec.elapsed() < limitMs) {
            program.waitForReadyRead(100);
            out += program.readAllStandardOutput();
            if (out.contains("start:") && out.endsWith('\n')) reported = sinceExec.elapsed();
        }
        if (!program.waitForFinished(limitMs)) {
            program.kill();
            std::printf("start: the program did not end\n");
            return 1;
        }
        out += program.readAllStandardOutput();
        for (const QByteArray& line : out.split('\n'))
            if (line.startsWith("start:"))
                std::printf("%s; %lld ms from exec\n", line.constData(), static_cast<long long>(reported));
        rc |= program.exitCode();
    }
    return rc;
}
