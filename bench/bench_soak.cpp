// A long run of the monitor: samples through the real tick path in test mode,
// with both plots built (Autoscale partially checked, so the time axes follow
// the newest sample) and every sample logged. Prints the throughput, the tick
// time at the start and at the end of the run, the resident memory each
// sample costs, and checks that the log holds every sample.
//
//   bench_soak [samples, default 1000000]
//   bench_soak logging [seconds, default 60]
//
// The second form measures the logger alone at the line's pace (68.6 lines
// a second), for the same number of seconds in each variant: the process's
// CPU time per line (the syncing thread's included), with the syncs to the
// disk, with the sync call replaced by one that does nothing, and with the
// syncs and the time column.
//
// Runs offscreen unless QT_QPA_PLATFORM says otherwise. Pending repaints are
// let through every 256 ticks, as a busy event loop would; the tick times
// are those of the tick alone. A million samples take twenty to twenty-five
// minutes.
// Built with IMU_SANITIZE, a shorter run checks for leaks at exit.

#include "mainwindow.h"
#include "benchfigures.h"
#include "datalogger.h"
#include "linerate.h"

#include "childwidget.h"
#include "windowdriver.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>
#include <vector>

namespace {

void printTicks(const char *when, const std::vector<double> &ms)
{
    std::printf("tick time, %-6s %6zu ticks: median %.3f ms, 99th percentile %.3f ms\n", when,
                ms.size(), percentile(ms, 0.5), percentile(ms, 0.99));
}

// CPU time of the whole process, every thread, in seconds.
double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
            + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Logs at the line's frame rate for the given seconds; prints the CPU per
// line and the syncs made.
void logAtLinePace(const char *variant, double seconds, bool sync, bool timeColumn)
{
    QTemporaryDir dir;
    Datalogger logger;
    logger.ReceiveFilename(dir.path());
    logger.setTimeColumn(timeColumn);
    std::atomic<int> syncs{0};
    if (!sync)
        logger.syncer().setSyncCall([&](int, LogSync::Target) { ++syncs; return 0; });
    else
        logger.syncer().setSyncCall([&](int fd, LogSync::Target target) {
            ++syncs;
            return (target == LogSync::Target::File ? ::fdatasync(fd) : ::fsync(fd)) == 0 ? 0 : errno;
        });
    // 14 bytes a frame: 68.6 frames a second.
    const double framesPerSecond = double(LineRate::BytesPerSecond) / 14;
    const long lines = long(seconds * framesPerSecond);
    long written = 0;
    QTimer pace;
    pace.setTimerType(Qt::PreciseTimer);
    pace.setInterval(int(1000 / framesPerSecond));
    QEventLoop loop;
    QObject::connect(&pace, &QTimer::timeout, &loop, [&] {
        const ImuSample sample{int16_t(written), int16_t(-written), 1000, 0, 7, -32768};
        logger.logSample(sample, QDateTime::currentMSecsSinceEpoch());
        if (++written == lines)
            loop.quit();
    });
    const double cpuBefore = processCpuSeconds();
    pace.start();
    loop.exec();
    logger.syncNow();
    logger.syncer().waitForDone();
    const double cpu = processCpuSeconds() - cpuBefore;
    std::printf("%-22s %6ld lines: %.1f us CPU per line, %d syncs\n", variant, written,
                1e6 * cpu / double(written), syncs.load());
    std::fflush(stdout);
}

int logging(double seconds)
{
    std::printf("the logger alone at 68.6 lines a second, %.0f s a variant\n", seconds);
    logAtLinePace("synced to the disk", seconds, true, false);
    logAtLinePace("never synced", seconds, false, false);
    logAtLinePace("synced, time column", seconds, true, true);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    offscreenUnlessSet();
    QApplication app(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "logging") == 0)
        return logging(argc > 2 ? std::atof(argv[2]) : 60);
    const long samples = argc > 1 ? std::atol(argv[1]) : 1000000;
    if (samples < 1) {
        std::fprintf(stderr, "bench_soak: the sample count must be at least 1\n");
        return 1;
    }
    const long window = std::min(10000L, samples);

    QTemporaryDir logDir;
    answerWithPlots(testMode(logDir.path()));
    MainWindow w;
    w.show();
    child<QCheckBox>(&w, "Autoscale")->setCheckState(Qt::PartiallyChecked);
    child<QCheckBox>(&w, "LogBox1")->setChecked(true);
    QCoreApplication::processEvents();

    std::printf("%ld samples: test mode, both plots, Autoscale partially checked, Datalog on, "
                "repaints every 256 ticks\n", samples);
    std::fflush(stdout);
    const long rssStart = residentBytes();
    std::vector<double> first, last;
    first.reserve(static_cast<size_t>(window));
    last.reserve(static_cast<size_t>(window));
    QElapsedTimer run, tickTimer;
    run.start();
    for (long n = 0; n < samples; ++n) {
        tickTimer.start();
        if (!tick(&w))
            qFatal("no tick slot");
        const double ms = tickTimer.nsecsElapsed() / 1e6;
        if (n < window)
            first.push_back(ms);
        if (n >= samples - window)
            last.push_back(ms);
        if (n % 256 == 255)
            QCoreApplication::processEvents();
        if (n % 100000 == 99999) {
            std::printf("%ld samples, %.0f s\n", n + 1, run.elapsed() / 1000.0);
            std::fflush(stdout);
        }
    }
    const double seconds = run.nsecsElapsed() / 1e9;
    const long rssEnd = residentBytes();

    std::printf("\n%ld samples in %.1f s: %.0f samples per second\n", samples, seconds, samples / seconds);
    printTicks("first", first);
    printTicks("last", last);
    std::printf("resident memory: %.1f MiB at start, %.1f MiB at end, %.1f bytes per sample\n",
                rssStart / 1048576.0, rssEnd / 1048576.0, double(rssEnd - rssStart) / samples);

    const long logged = loggedLines(logDir.path()).size();
    std::printf("log lines: %ld of %ld samples%s\n", logged, samples,
                logged == samples ? ", none lost" : " - LINES MISSING");
    return logged == samples ? 0 : 1;
}
