// Sync figures against a local server (Radicale by default, or Xandikos): the first upload
// of N tasks + N memos, the first download into an empty second machine, a sync with
// nothing changed and one after a single edit (targets: 1 s each), with the program's CPU
// time beside the wall time (the rest is the server's and the network's) and the peak
// memory of a full sync against the memory before it.
//   zvbench sync [items per table, default 50000] [radicale|xandikos]
#include "ZvBenchTiming.h"
#include "ZvDavServer.h"
#include "ZvSyncTestKit.h"
#include "ZvTestSupport.h"
#include "sync/ZvSyncEngine.h"

#include <QUuid>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

void fillItems(const zvtest::TempProgramFolder& folder, int perTable);

namespace {

long statusKb(const char* key)
{
    std::ifstream f("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(key);
    while (std::getline(f, line))
        if (line.compare(0, n, key) == 0) return std::stol(line.substr(n + 1));
    return 0;
}

// The peak from here on (Linux keeps one per process; writing 5 starts it again).
void resetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

zv::TZvSyncResult timedSync(zvtest::TempProgramFolder& folder, const zv::TZvSyncSettings& settings,
                            TStopwatch::Lap& lap)
{
    zv::TZvSyncEngine engine(folder.connection(), settings);
    TStopwatch clock;
    clock.restart();
    // A first upload of 100,000 items may take hours on a server that writes them one by one.
    const std::optional<zv::TZvSyncResult> r = zvtest::await<zv::TZvSyncResult>(
        [&](auto done) {
            QObject::connect(&engine, &zv::TZvSyncEngine::finished, done);
            engine.start();
        },
        qint64(24) * 3600 * 1000);
    lap = clock.lap();
    return r.value_or(zv::TZvSyncResult());
}

} // namespace

int benchSync(int argc, char** argv)
{
    auto app = BenchApplication(argc, argv);
    const int perTable = argc > 1 && std::atoi(argv[1]) > 0 ? std::atoi(argv[1]) : 50000;
    const bool xandikos = argc > 2 && std::strcmp(argv[2], "xandikos") == 0;
    const auto kind = xandikos ? zvtest::TDavServer::Kind::Xandikos : zvtest::TDavServer::Kind::Radicale;
    if (!zvtest::TDavServer::installed(kind)) {
        std::printf("sync: %s is not installed\n", zvtest::TDavServer::nameOf(kind));
        return 0;
    }
    zvtest::TDavServer server(kind);
    QString why;
    if (!server.start(&why)) {
        std::printf("sync: %s\n", qPrintable(why));
        return 1;
    }
    const QString tag = QUuid::createUuid().toString(QUuid::WithoutBraces).left(8);
    const zv::TZvSyncSettings settings{{server.url(), server.user(), server.password(), QString(), false},
                                       server.home().resolved(QUrl(tag + QStringLiteral("-tasks/"))),
                                       server.home().resolved(QUrl(tag + QStringLiteral("-memos/"))),
                                       QStringLiteral("bench")};
    int failures = 0;
    zvtest::TempProgramFolder a;
    fillItems(a, perTable);
    const auto report = [&](const char* name, const zv::TZvSyncResult& r, const TStopwatch::Lap& lap,
                            double limit) {
        std::printf("sync (%s, %d + %d items): %-38s %8.1f s wall, %7.1f s program CPU (%s)\n",
                    zvtest::TDavServer::nameOf(kind), perTable, perTable, name, lap.wallMs / 1000.0,
                    lap.cpuMs / 1000.0, qPrintable(r.line()));
        if (!r.succeeded() || (limit > 0 && lap.wallMs > limit * 1000)) ++failures;
    };
    TStopwatch::Lap lap{};
    const long before = statusKb("VmRSS:");
    resetPeak();
    zv::TZvSyncResult r = timedSync(a, settings, lap);
    report("first upload", r, lap, 0);
    std::printf("sync: memory %ld MB before the first upload, peak %ld MB during it\n", before / 1024,
                statusKb("VmHWM:") / 1024);

    zvtest::TempProgramFolder b;
    const long beforeB = statusKb("VmRSS:");
    resetPeak();
    r = timedSync(b, settings, lap);
    report("first download (empty machine)", r, lap, 0);
    std::printf("sync: memory %ld MB before the first download, peak %ld MB during it\n", beforeB / 1024,
                statusKb("VmHWM:") / 1024);

    r = timedSync(a, settings, lap);
    report("nothing changed", r, lap, 1.0);
    a.exec("update tasks set content = 'edited once', editTime = editTime + 1 where rowid = 1");
    r = timedSync(a, settings, lap);
    report("one local edit", r, lap, 1.0);
    return failures ? 1 : 0;
}
