// Measures the cost of drawing one sample on both plots of the real main
// window as the history since the last clear grows, for each state of the
// Autoscale box, and the memory the history holds per sample.
//
//   bench_plots [largest history, default 5000000] [samples per read, default 1000]
//
// Runs offscreen unless QT_QPA_PLATFORM says otherwise. Samples reach the
// window as the serial reader hands them over, a read at a time, each read
// logged (Datalog is off here), drawn and followed by one replot. The history
// is filled with reads of the given size; the cost of a sample is timed with
// reads of one sample, 200 of them per state, as medians both on the clock
// and in this thread's CPU time; the CPU time hardly moves when other work
// shares the machine, so the ratios are taken from it. 41500000 samples are
// a week at the line's 68.6 frames per second. At the end it reports the
// size of the plots' store of samples, the memory after Clear plots, and
// the CPU time that growing the largest history takes, read by read, apart
// from the drawing: the store's and that of the graphs' own points.
#include "mainwindow.h"
#include "benchfigures.h"
#include "wavesample.h"

#include "childwidget.h"
#include "historygraph.h"
#include "samplestore.h"
#include "sensorplots.h"
#include "windowdriver.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <malloc.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// CPU time this thread has used, in nanoseconds.
qint64 threadCpuNs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// Bytes handed out by malloc and not yet freed: unlike the resident size, it
// drops as soon as memory is freed, even where the allocator keeps the pages.
double mallocInUseMiB()
{
    const struct mallinfo2 info = mallinfo2();
    return double(info.uordblks + info.hblkhd) / 1048576.0;
}

// The thread CPU time, in seconds, that growing a history of count samples
// takes, read by read as the window grows it: the store's appends, and the
// six graphs bringing their own points up to the store after each read.
std::pair<double, double> growthSeconds(long count, int perRead)
{
    // The samples are made beforehand, so that only the growing is timed.
    std::vector<SampleStore::Sample> samples(1 << 16);
    for (size_t n = 0; n < samples.size(); ++n) {
        const ImuSample s = waveSample(static_cast<int>(n));
        samples[n] = {s.accX, s.accY, s.accZ, s.gyroX, s.gyroY, s.gyroZ};
    }
    SampleStore store;
    QCustomPlot plot;
    std::vector<HistoryGraph *> graphs;
    for (int column = 0; column < SampleStore::columns; ++column) {
        graphs.push_back(new HistoryGraph(plot.xAxis, plot.yAxis));
        graphs.back()->setStore(&store, column);
        graphs.back()->setOwnPoints(SensorPlots::ownPoints);
    }
    qint64 appendNs = 0, catchUpNs = 0;
    for (long n = 0; n < count;) {
        const qint64 start = threadCpuNs();
        for (const long end = std::min(count, n + perRead); n < end; ++n)
            store.append(samples[size_t(n) % samples.size()]);
        const qint64 appended = threadCpuNs();
        for (HistoryGraph *graph : graphs)
            graph->catchUp();
        catchUpNs += threadCpuNs() - appended;
        appendNs += appended - start;
    }
    return {appendNs / 1e9, catchUpNs / 1e9};
}

// Feeds samples the way the serial side does, so each one is stored, shown
// on the readouts and drawn on both plots.
class Feeder
{
public:
    Feeder(MainWindow *window, int perRead) : window(window), perRead(perRead) {}

    void feedOne() { feed(1); }

    // Draws until the history holds `target` samples; the pending repaints
    // are let through after every read, as the event loop would.
    void fillTo(long target)
    {
        while (count < target) {
            feed(int(std::min<long>(perRead, target - count)));
            QCoreApplication::processEvents();
        }
    }

    struct Costs
    {
        double draw, withPaint, drawCpu;  // median ms
    };

    // Median time of one sample (store, readouts, both plots drawn), of the
    // same with the repaint of the window that follows it, and the CPU time
    // of the first.
    Costs measure(int samples)
    {
        std::vector<double> draw, withPaint, drawCpu;
        QElapsedTimer timer;
        for (int i = 0; i < samples; ++i) {
            const qint64 cpuStart = threadCpuNs();
            timer.start();
            feedOne();
            const qint64 drawn = timer.nsecsElapsed();
            drawCpu.push_back((threadCpuNs() - cpuStart) / 1e6);
            QCoreApplication::processEvents();
            const qint64 painted = timer.nsecsElapsed();
            draw.push_back(drawn / 1e6);
            withPaint.push_back(painted / 1e6);
        }
        return {percentile(draw, 0.5), percentile(withPaint, 0.5), percentile(drawCpu, 0.5)};
    }

    long count = 0;

private:
    void feed(int samples)
    {
        QVector<ImuSample> read(samples);
        for (ImuSample &s : read)
            s = waveSample(static_cast<int>(count++));
        if (!deliver(window, read))
            qFatal("the window took no samples");
    }

    MainWindow *window;
    int perRead;
};

} // namespace

int main(int argc, char *argv[])
{
    offscreenUnlessSet();
    QApplication app(argc, argv);
    const long largest = argc > 1 ? std::atol(argv[1]) : 5000000;
    const int perRead = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1000;

    QTemporaryDir logDir;
    // Sensor mode with both plots: samples come only from the feeder.
    answerWithPlots(idleSensorMode(logDir.path()));
    MainWindow window;
    window.show();
    QCoreApplication::processEvents();
    auto *autoscale = child<QCheckBox>(&window, "Autoscale");
    auto *clearPlots = [&]() -> QAbstractButton * {
        for (auto *b : window.findChildren<QAbstractButton *>())
            if (b->text() == QLatin1String("Clear plots"))
                return b;
        qFatal("no Clear plots button");
    }();

    Feeder feeder(&window, perRead);
    // Warm up fonts, caches and pixmaps, then start from an empty history.
    feeder.fillTo(2000);
    clearPlots->click();
    feeder.count = 0;
    QCoreApplication::processEvents();
    const long rssEmpty = residentBytes();
    const double mallocEmpty = mallocInUseMiB();

    // Unchecked comes last: the time axes then stay at the window that the
    // partially checked run left, as when a user unticks the box while
    // following the data, so every history size is timed with the same view.
    // The fill to the next size runs in that state too.
    const struct { Qt::CheckState state; const char *name; } states[] = {
        {Qt::Checked, "checked"},
        {Qt::PartiallyChecked, "partially checked"},
        {Qt::Unchecked, "unchecked"},
    };
    const int perState = 200;
    std::vector<std::vector<double>> drawCpuMs(3);

    std::printf("%-10s %-18s %12s %14s %12s %14s\n", "history", "Autoscale", "draw ms",
                "draw+paint ms", "draw CPU ms", "bytes/sample");
    std::vector<long> sizes;
    for (long size : {1000L, 10000L, 100000L, 1000000L, 5000000L})
        if (size <= largest)
            sizes.push_back(size);
    if (sizes.empty() || largest > sizes.back())
        sizes.push_back(largest);
    for (long size : sizes) {
        autoscale->setCheckState(Qt::Unchecked);
        feeder.fillTo(size);
        QCoreApplication::processEvents();
        const double bytesPerSample = double(residentBytes() - rssEmpty) / feeder.count;
        for (int s = 0; s < 3; ++s) {
            autoscale->setCheckState(states[s].state);
            const Feeder::Costs costs = feeder.measure(perState);
            drawCpuMs[s].push_back(costs.drawCpu);
            std::printf("%-10ld %-18s %12.3f %14.3f %12.3f %14.1f\n", size, states[s].name,
                        costs.draw, costs.withPaint, costs.drawCpu, bytesPerSample);
            std::fflush(stdout);
        }
    }

    if (drawCpuMs[0].size() >= 2) {
        std::printf("\nCPU time per sample at the largest history / at 1000:\n");
        for (int s = 0; s < 3; ++s)
            std::printf("  %-18s %.2f\n", states[s].name, drawCpuMs[s].back() / drawCpuMs[s].front());
    }

    const long rssFull = residentBytes();
    const double mallocFull = mallocInUseMiB();
    const long samplesDrawn = feeder.count;
    const SampleStore &history = window.findChild<SensorPlots *>()->history();
    std::printf("\nstore: %.1f MiB, %.2f bytes per sample\n", history.bytes() / 1048576.0,
                double(history.bytes()) / double(history.size()));
    clearPlots->click();
    QCoreApplication::processEvents();
    std::printf("resident memory: %.1f MiB empty, %.1f MiB at %ld samples, %.1f MiB after "
                "Clear plots\n",
                rssEmpty / 1048576.0, rssFull / 1048576.0, samplesDrawn,
                residentBytes() / 1048576.0);
    std::printf("malloc in use:   %.1f MiB empty, %.1f MiB at %ld samples, %.1f MiB after "
                "Clear plots\n",
                mallocEmpty, mallocFull, samplesDrawn, mallocInUseMiB());
    const auto [appendSeconds, catchUpSeconds] = growthSeconds(largest, perRead);
    std::printf("growing a history of %ld samples, %d a read (CPU time): the store %.2f s, the "
                "graphs' own points %.2f s, %.2f s in all\n",
                largest, perRead, appendSeconds, catchUpSeconds, appendSeconds + catchUpSeconds);
    return 0;
}
