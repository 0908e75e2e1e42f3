// A long run of the monitor: samples through the real tick path in test mode,
// with both plots built (Autoscale partially checked, so the time axes follow
// the newest sample) and every sample logged. Prints the throughput, the tick
// time at the start and at the end of the run, the resident memory each
// sample costs, and checks that the log holds every sample.
//
//   bench_soak [samples, default 1000000]
//
// Runs offscreen unless QT_QPA_PLATFORM says otherwise. Pending repaints are
// let through every 256 ticks, as a busy event loop would; the tick times
// are those of the tick alone. A million samples take twenty to twenty-five
// minutes.
// Built with IMU_SANITIZE, a shorter run checks for leaks at exit.

#include "mainwindow.h"
#include "benchfigures.h"

#include "childwidget.h"
#include "windowdriver.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

void printTicks(const char *when, const std::vector<double> &ms)
{
    std::printf("tick time, %-6s %6zu ticks: median %.3f ms, 99th percentile %.3f ms\n", when,
                ms.size(), percentile(ms, 0.5), percentile(ms, 0.99));
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
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
