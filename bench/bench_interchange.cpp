// Exchange-file figures at 100,000 rows (50,000 tasks, 50,000 memos): backup, import into
// an empty database, restore with All over the database the backup came from.
#include "ZvBenchTiming.h"
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

// One top-level item with four sub-items, over and over, in both tables.
void fillItems(const zvtest::TempProgramFolder& folder, int perTable)
{
    // Texts of one to three lines.
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

namespace {

void report(const char* name, const TStopwatch::Lap& lap, double limitSeconds, bool ok, int& failures)
{
    ReportLap("interchange", name, lap, limitSeconds, ok, failures);
}

} // namespace

int benchInterchange(int argc, char** argv)
{
    const std::unique_ptr<QApplication> ownApp = BenchApplication(argc, argv);
    const int perTable = 50000;
    int failures = 0;

    zvtest::TempProgramFolder source;
    fillItems(source, perTable);
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
