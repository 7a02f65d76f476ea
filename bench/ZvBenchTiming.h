#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <ctime>
#include <memory>

// The application an area needs when it runs on its own (none when "all" made one).
inline std::unique_ptr<QApplication> BenchApplication(int& argc, char** argv)
{
    if (QCoreApplication::instance()) return nullptr;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    return std::make_unique<QApplication>(argc, argv);
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

// One timed step against its target; a failure or a miss counts in `failures`.
inline void ReportLap(const char* area, const char* name, const TStopwatch::Lap& lap, double limitSeconds,
                      bool ok, int& failures)
{
    const bool inTime = lap.wallMs <= qint64(limitSeconds * 1000);
    const char* verdict = !ok ? "FAILED" : inTime ? "ok" : "TOO SLOW";
    std::printf("%s %-18s %7lld ms, cpu %7lld ms (target <= %.1f s) %s\n", area, name,
                static_cast<long long>(lap.wallMs), static_cast<long long>(lap.cpuMs), limitSeconds, verdict);
    if (!ok || !inTime) ++failures;
}
