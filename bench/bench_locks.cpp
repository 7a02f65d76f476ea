// What the database's lock handling costs: one check that the locks are held (read from
// /proc, before every write and after every dialog), and one stored row, with the
// open-file-description locks the program uses and with SQLite's classic POSIX locks.
#include "ZvTestSupport.h"
#include "interchange/ZvRows.h"
#include "store/ZvDb.h"
#include "store/ZvDbLocks.h"
#include "store/pU_Funcs.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

template <class F> double medianUs(int runs, F&& f)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        f();
        times.push_back(double(t.nsecsElapsed()) / 1e3);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

double rowUs(bool descriptorLocks)
{
    zv::UseDescriptorLocks(descriptorLocks);
    zvtest::TempProgramFolder folder;
    zv::TADOQuery q(&folder.connection());
    int n = 0;
    const double us = medianUs(300, [&] {
        zv::TTaskInfo t;
        t.tid = zv::NewGuidText();
        t.pid = zv::kRootId;
        t.content = QStringLiteral("row %1").arg(++n);
        zv::TZvRows<zv::TTaskInfo>::InsertFromText(q, t);
    });
    return us;
}

} // namespace

int benchLocks(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    double checkUs = 0;
    {
        zvtest::TempProgramFolder folder;
        folder.connection();
        checkUs = medianUs(2000, [&] { zv::HoldsDatabaseLocks(folder.dbPath()); });
    }
    const double posix = rowUs(false);
    const double ofd = rowUs(true);
    std::printf(
        "locks: check held %.1f us; one stored row (median of 300): %.0f us with open-file-description "
        "locks, %.0f us with POSIX locks\n",
        checkUs, ofd, posix);
    return 0;
}
