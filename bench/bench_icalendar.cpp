// iCalendar figures: Export iCalendar of 50,000 tasks (10,000 top-level tasks with four
// sub-tasks each), the import of that 50,000-item file into an empty database, and the peak
// memory of importing a file of 100 MB.
#include "ZvBenchTiming.h"
#include "ZvTestSupport.h"
#include "interchange/Dm_Io.h"
#include "interchange/ZvICalFile.h"
#include "interchange/ZvRows.h"
#include "store/ZvSeams.h"
#include "store/pU_Funcs.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <cstdio>
#include <memory>

void fillItems(const zvtest::TempProgramFolder& folder, int perTable);

namespace {

// The selection a frame hands over when every top-level task is selected.
std::vector<zv::SelectedItem<zv::TTaskInfo>> everyTask(zvtest::TempProgramFolder& folder)
{
    std::vector<zv::SelectedItem<zv::TTaskInfo>> items;
    QHash<QString, size_t> topLevel;
    std::vector<zv::TTaskInfo> children;
    zv::TADOQuery q(&folder.connection());
    zv::OpenQuery(q, QStringLiteral("select * from tasks"));
    for (q.First(); !q.Eof(); q.Next()) {
        zv::TTaskInfo r;
        zv::TZvRows<zv::TTaskInfo>::Read(q, r, true);
        if (r.pid == zv::kRootId) {
            topLevel.insert(r.tid, items.size());
            items.push_back({r, 0, {}});
        } else {
            children.push_back(r);
        }
    }
    q.Close();
    for (zv::TTaskInfo& child : children)
        items[topLevel.value(child.pid)].children.push_back(std::move(child));
    return items;
}

// About 100 MB: one top-level task with four sub-tasks, over and over, each with a
// description, a due day, a reminder and its times.
qint64 writeLargeFile(const QString& name, qint64 bytes)
{
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
    QByteArray chunk = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//bench//EN\r\n";
    const QByteArray words = QByteArray("a line of the description that goes on ").repeated(5);
    qint64 written = 0;
    for (int i = 0; written < bytes; ++i) {
        const QByteArray uid = "item-" + QByteArray::number(i);
        chunk += "BEGIN:VTODO\r\nUID:" + uid +
                 "\r\nDTSTAMP:20240101T000000Z\r\nCREATED:20230101T100000Z\r\n"
                 "LAST-MODIFIED:20230202T100000Z\r\nSUMMARY:Task number " +
                 QByteArray::number(i) + "\r\nDESCRIPTION:" + words + "\r\nDUE;VALUE=DATE:20250101\r\n";
        if (i % 5) chunk += "RELATED-TO:item-" + QByteArray::number(i - i % 5) + "\r\n";
        chunk +=
            "BEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:x\r\nTRIGGER;VALUE=DATE-TIME:20241231T090000Z\r\n"
            "END:VALARM\r\nEND:VTODO\r\n";
        if (chunk.size() > (1 << 20)) {
            written += file.write(chunk);
            chunk.clear();
        }
    }
    chunk += "END:VCALENDAR\r\n";
    written += file.write(chunk);
    return written;
}

// The peak resident memory of this process, in KiB; `reset` starts a new peak.
qint64 peakKiB(bool reset = false)
{
    if (reset) {
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        if (clear.open(QIODevice::WriteOnly)) clear.write("5");
    }
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').first().toLongLong();
    return 0;
}

} // namespace

int benchICalendar(int argc, char** argv)
{
    const std::unique_ptr<QApplication> ownApp = BenchApplication(argc, argv);
    const int count = 50000;
    int failures = 0;
    const auto answerBoxes = [] {
        zv::MessageSeam::setHandler([](const zv::MessageRequest&) { return int(zv::IdOk); });
    };

    zvtest::TempProgramFolder source;
    fillItems(source, count);
    answerBoxes();
    const std::vector<zv::SelectedItem<zv::TTaskInfo>> selection = everyTask(source);
    const QString file = source.path() + QStringLiteral("bench.ics");
    TStopwatch timer;
    timer.restart();
    const bool exported = zv::WriteICalendarSelection(file, selection, QStringLiteral("bench"));
    ReportLap("icalendar", "export 50,000", timer.lap(), 3.0, exported, failures);
    std::printf("icalendar file size              %7lld KiB\n",
                static_cast<long long>(QFileInfo(file).size() / 1024));

    {
        zvtest::TempProgramFolder target;
        answerBoxes();
        zv::TIoDm into(&target.connection());
        timer.restart();
        const bool imported = into.ImportICalendarFromFile(file);
        const TStopwatch::Lap done = timer.lap();
        const bool complete =
            target.count(QStringLiteral("select count(*) from tasks")) == count &&
            target.count(QStringLiteral("select count(*) from tasks where pid='root'")) == count / 5;
        ReportLap("icalendar", "import 50,000", done, 3.0, imported && complete, failures);
    }

    {
        zvtest::TempProgramFolder target;
        answerBoxes();
        const QString large = target.path() + QStringLiteral("large.ics");
        const qint64 size = writeLargeFile(large, qint64(100) << 20);
        zv::TIoDm into(&target.connection());
        const qint64 before = peakKiB(true);
        timer.restart();
        const bool imported = into.ImportICalendarFromFile(large);
        const TStopwatch::Lap done = timer.lap();
        const qint64 peak = peakKiB();
        const int items = target.count(QStringLiteral("select count(*) from tasks"));
        std::printf(
            "icalendar import of %lld MiB: %d tasks in %lld ms; peak memory %lld MiB, %lld MiB above the "
            "%lld MiB before it %s\n",
            static_cast<long long>(size >> 20), items, static_cast<long long>(done.wallMs),
            static_cast<long long>(peak / 1024), static_cast<long long>((peak - before) / 1024),
            static_cast<long long>(before / 1024), imported ? "ok" : "FAILED");
        if (!imported) ++failures;
    }

    if (!zv::MessageSeam::texts().isEmpty())
        std::printf("icalendar messages: %s\n",
                    qPrintable(zv::MessageSeam::texts().join(QStringLiteral(" | "))));
    return failures == 0 ? 0 : 1;
}
