// Exchange-file figures at 100,000 rows (50,000 tasks, 50,000 memos): backup, import into
// an empty database, restore with All over the database the backup came from.
#include "ZvTestSupport.h"
#include "interchange/Dm_Io.h"
#include "store/ZvSeams.h"
#include "store/pU_Funcs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <cstdio>
#include <ctime>
#include <memory>

namespace {

void fill(const zvtest::TempProgramFolder& folder, int perTable)
{
    // One top-level item with four sub-items, over and over; texts of one to three lines.
    const QString id = QStringLiteral("printf('{%08X-0000-0000-0000-%012X}', i/5, i)");
    const QString parent =
        QStringLiteral("CASE WHEN i%5=0 THEN 'root' ELSE printf('{%08X-0000-0000-0000-%012X}', "
                       "i/5, i-i%5) END");
    const QString text =
        QStringLiteral("'Item number ' || i || CASE WHEN i%3=0 THEN char(13,10) || 'second line "
                       "of the item' ELSE '' END");
    const QString rows =
        QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i+1 FROM n WHERE i<%1) ")
            .arg(perTable - 1);
    folder.exec(
        QStringLiteral("BEGIN;") + rows +
        QStringLiteral("INSERT INTO tasks (tid,pid,content,checkFlag,dueFlag,alarmFlag,expandFlag,textColor,"
                       "backgroundColor,createTime,editTime,checkTime,alarmTime,dueTime) SELECT %1,%2,%3,"
                       "(i&1),i%7=0,i%11=0,0,0,0,40000+i/1000.0,40000+i/1000.0,0,0,0 FROM n;")
            .arg(id, parent, text) +
        rows +
        QStringLiteral("INSERT INTO memos (mid,pid,content,expandFlag,assignTime,createTime,editTime) "
                       "SELECT %1,%2,%3,0,40000+i/1000.0,40000+i/1000.0,40000+i/1000.0 FROM n; COMMIT;")
            .arg(id, parent, text));
}

// Wall-clock time is what the targets mean; the CPU time beside it tells a slow run on a
// busy machine from a slow program.
struct TStopwatch
{
    struct Lap
    {
        qint64 wallMs;
        qint64 cpuMs;
    };
    QElapsedTimer wall;
    std::clock_t cpu = 0;
    void restart()
    {
        wall.restart();
        cpu = std::clock();
    }
    Lap lap() const { return {wall.elapsed(), qint64((std::clock() - cpu) * 1000 / CLOCKS_PER_SEC)}; }
};

void report(const char* name, const TStopwatch::Lap& lap, double limitSeconds, bool ok, int& failures)
{
    const bool inTime = lap.wallMs <= qint64(limitSeconds * 1000);
    const char* verdict = !ok ? "FAILED" : inTime ? "ok" : "TOO SLOW";
    std::printf("interchange %-18s %7lld ms, cpu %7lld ms (target <= %.1f s) %s\n", name,
                static_cast<long long>(lap.wallMs), static_cast<long long>(lap.cpuMs), limitSeconds, verdict);
    if (!ok || !inTime) ++failures;
}

} // namespace

int benchInterchange(int argc, char** argv)
{
    std::unique_ptr<QApplication> ownApp;
    if (!QCoreApplication::instance()) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        ownApp = std::make_unique<QApplication>(argc, argv);
    }
    const int perTable = 50000;
    int failures = 0;

    zvtest::TempProgramFolder source;
    fill(source, perTable);
    const QString file = source.path() + QStringLiteral("bench.zvx");
    zv::TIoDm io(&source.connection());
    io.setAppVersion(QStringLiteral("bench"));
    io.setAskHandler([](const zv::TReplaceQuestion&) { return int(zv::IdYesToAll); });

    TStopwatch timer;
    timer.restart();
    const bool backedUp = io.BackupToFile(file);
    report("backup", timer.lap(), 1.5, backedUp, failures);
    std::printf("interchange file size          %7lld KiB\n",
                static_cast<long long>(QFileInfo(file).size() / 1024));

    {
        zvtest::TempProgramFolder target;
        zv::TIoDm into(&target.connection());
        timer.restart();
        const bool imported = into.ImportFromFile(file);
        const TStopwatch::Lap done = timer.lap();
        const bool complete = target.count(QStringLiteral("select count(*) from tasks")) == perTable &&
                              target.count(QStringLiteral("select count(*) from memos")) == perTable;
        report("import", done, 3.0, imported && complete, failures);
    }

    timer.restart();
    const bool restored = io.RestoreFromFile(file);
    const TStopwatch::Lap done = timer.lap();
    const bool same = source.count(QStringLiteral("select count(*) from tasks")) == perTable &&
                      source.count(QStringLiteral("select count(*) from memos")) == perTable;
    report("restore with All", done, 4.0, restored && same, failures);

    if (!zv::MessageSeam::texts().isEmpty())
        std::printf("interchange messages: %s\n",
                    qPrintable(zv::MessageSeam::texts().join(QStringLiteral(" | "))));
    return failures == 0 ? 0 : 1;
}
