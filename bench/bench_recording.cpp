// Opening a week of log files in the recording viewer, and what it costs
// the monitor meanwhile.
//
//   bench_recording [folder] [files, default 830]
//
// Writes the week (files of 50000 lines: 41.5 million lines at the
// default, 1.4 GB) with the project's own log format, once without and once
// with the time column, into folder (kept and used again when it already
// holds them) or a temporary folder. For each form, from the page cache:
//   - the time `cat FILES | wc -l` takes, the floor for any reader;
//   - the time from opening the files in a viewer to its first full
//     drawing, and the viewer's resident memory;
//   - the CPU time of a replot of both plots with the whole week, a day, a
//     minute and 100 samples in view, beside that of a whole 1000-sample
//     recording: each view drawn as it first appears, and as it is dragged
//     by a pixel at a time;
// and, once, the frames that the monitor logs from imu-sim on a byte-paced
// pseudo-terminal while the week with the time column loads, against those
// sent.
//
// Runs offscreen unless QT_QPA_PLATFORM says otherwise.
#include "benchfigures.h"
#include "mainwindow.h"
#include "recordingviewer.h"

#include "childwidget.h"
#include "recordingwriter.h"
#include "simulatorrun.h"
#include "windowdriver.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QMimeData>
#include <QProcess>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <malloc.h>

namespace {

double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

QStringList filesIn(const QString &folder)
{
    QStringList paths;
    for (const QFileInfo &info : QDir(folder).entryInfoList({QStringLiteral("*.txt")}, QDir::Files))
        paths << info.filePath();
    return paths;
}

// A recording of files files in folder, written unless it is there.
void ensureRecording(const QString &folder, int files, int lines, bool withTime)
{
    if (filesIn(folder).size() == files)
        return;
    QDir(folder).removeRecursively();
    RecordingPlan plan;
    plan.folder = folder;
    plan.files = files;
    plan.linesPerFile = lines;
    plan.withTime = withTime;
    plan.startMs = (QDateTime::currentMSecsSinceEpoch() - 8 * 86400 * 1000LL) / 1000 * 1000;
    QElapsedTimer clock;
    clock.start();
    if (!writeRecording(plan))
        qFatal("could not write the recording");
    std::printf("wrote %d files of %d lines into %s in %.1f s\n", files, lines, qPrintable(folder),
                clock.nsecsElapsed() / 1e9);
}

// Seconds that `cat FILES | wc -l` takes.
double catWcSeconds(const QStringList &files)
{
    QProcess shell;
    QElapsedTimer clock;
    clock.start();
    shell.start(QStringLiteral("bash"),
                QStringList{QStringLiteral("-c"), QStringLiteral("cat \"$@\" | wc -l"), QStringLiteral("cat")} + files);
    shell.waitForFinished(-1);
    return clock.nsecsElapsed() / 1e9;
}

qint64 bytesOf(const QStringList &files)
{
    qint64 total = 0;
    for (const QString &file : files)
        total += QFileInfo(file).size();
    return total;
}

// A viewer of folder, shown and drawn whole.
struct OpenViewer
{
    RecordingViewer *viewer = nullptr;
    double seconds = 0;
};

OpenViewer openViewer(const QString &folder)
{
    OpenViewer opened;
    QElapsedTimer clock;
    clock.start();
    opened.viewer = new RecordingViewer({folder});
    opened.viewer->resize(1000, 760);
    opened.viewer->show();
    if (!opened.viewer->recording()) {
        QEventLoop loop;
        QObject::connect(opened.viewer, &RecordingViewer::loaded, &loop, &QEventLoop::quit);
        loop.exec();
    }
    // The drawing reaches the screen.
    QCoreApplication::processEvents();
    opened.seconds = clock.nsecsElapsed() / 1e9;
    return opened;
}

// The CPU time of replotting both plots of a viewer, in ms.
double replotMs(const QList<QCustomPlot *> &plots)
{
    const double start = threadCpuMs();
    for (QCustomPlot *plot : plots)
        plot->replot(QCustomPlot::rpImmediateRefresh);
    return threadCpuMs() - start;
}

// A view of a viewer's time axis, drawn as it first appears (zoomed out to
// it by a turn of the wheel, so that no pixel column holds the samples it
// held before) and as it is dragged by a pixel at a time: the CPU time of
// both.
struct View
{
    RecordingViewer *viewer;
    double lower, upper;

    std::pair<double, double> draw() const
    {
        const QList<QCustomPlot *> plots = viewer->findChildren<QCustomPlot *>();
        QCPAxis *time = plots.at(0)->xAxis;
        const double pixel = (upper - lower) / plots.at(0)->axisRect()->width();
        const double middle = (lower + upper) / 2, half = (upper - lower) / 2;
        time->setRange(middle - 0.85 * half, middle + 0.85 * half);
        replotMs(plots);
        time->setRange(lower, upper);
        const double first = replotMs(plots);
        double dragged = 0;
        for (int step = 1; step <= 4; ++step) {
            time->setRange(lower + step * pixel, upper + step * pixel);
            dragged += replotMs(plots) / 4;
        }
        return {first, dragged};
    }
};

// Each view of the week beside the whole of the 1000-sample recording, in
// turns, so that what else the machine does weighs on both alike.
void printCosts(RecordingViewer *week, RecordingViewer *small)
{
    const Recording &recording = *week->recording();
    const SampleTimes &times = recording.times;
    const double middle = times.msOf(recording.samples.size() / 2) / 1000;
    const Recording &few = *small->recording();
    const View base{small, few.times.msOf(0) / 1000, few.times.lastMs() / 1000};
    const struct
    {
        const char *name;
        View view;
    } views[] = {
        {"the whole week", {week, times.msOf(0) / 1000, times.lastMs() / 1000}},
        {"a day", {week, middle, middle + 86400}},
        {"a minute", {week, middle, middle + 60}},
        {"100 samples", {week, middle, times.msOf(recording.samples.size() / 2 + 100) / 1000}},
    };
    std::printf("  drawing both plots, CPU ms as a view first appears (zoomed out to) / dragged a pixel at a "
                "time, and the ratio to the whole 1000-sample recording (medians of 25 turns):\n");
    for (const auto &view : views) {
        std::vector<double> first, dragged, baseFirst, baseDragged, firstRatio, draggedRatio;
        for (int turn = 0; turn < 25; ++turn) {
            const auto [b1, b2] = base.draw();
            const auto [v1, v2] = view.view.draw();
            baseFirst.push_back(b1);
            baseDragged.push_back(b2);
            first.push_back(v1);
            dragged.push_back(v2);
            firstRatio.push_back(v1 / b1);
            draggedRatio.push_back(v2 / b2);
        }
        std::printf("    %-16s %6.2f / %6.2f ms (1000 samples: %5.2f / %5.2f ms)   %5.2f x / %5.2f x\n",
                    view.name, percentile(first, 0.5), percentile(dragged, 0.5), percentile(baseFirst, 0.5),
                    percentile(baseDragged, 0.5), percentile(firstRatio, 0.5), percentile(draggedRatio, 0.5));
        std::fflush(stdout);
    }
}

// Opens folder while the monitor reads imu-sim, byte-paced, logging every
// sample with both plots drawn; then compares the log with what was sent.
void monitorWhileLoading(const QString &folder)
{
    SimulatorRun sim;
    if (!sim.start(QStringLiteral(IMU_SIM_PATH), {QStringLiteral("--pacing"), QStringLiteral("byte")}))
        qFatal("imu-sim did not start");
    QTemporaryDir logDir;
    answerWithPlots(sensorMode(sim.path, logDir.path()));
    MainWindow monitor;
    monitor.show();
    child<QCheckBox>(&monitor, "Autoscale")->setCheckState(Qt::PartiallyChecked);
    child<QSpinBox>(&monitor, "TaajuusSBox")->setValue(20);
    child<QCheckBox>(&monitor, "LogBox1")->setChecked(true);
    int ticks = 0;
    qint64 longestTickGap = 0;
    QElapsedTimer sinceTick;
    QObject::connect(child<QTimer>(&monitor, "mainTimer"), &QTimer::timeout, [&] {
        if (ticks++ > 0)
            longestTickGap = std::max(longestTickGap, sinceTick.elapsed());
        sinceTick.start();
    });
    click(&monitor, "Start_Button");
    runFor(2000);

    // Dropped on the monitor, as a user opens it: dragged in, then let go.
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(folder)});
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QElapsedTimer clock;
    clock.start();
    QApplication::sendEvent(&monitor, &enter);
    QApplication::sendEvent(&monitor, &drop);
    RecordingViewer *viewer = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *found = qobject_cast<RecordingViewer *>(w))
            viewer = found;
    if (!viewer)
        qFatal("no viewer opened");
    if (!viewer->recording()) {
        QEventLoop loop;
        QObject::connect(viewer, &RecordingViewer::loaded, &loop, &QEventLoop::quit);
        loop.exec();
    }
    const double loadSeconds = clock.nsecsElapsed() / 1e9;
    runFor(2000);
    click(&monitor, "Stop_Button");
    const int seconds = 5 + int(loadSeconds);
    const Delivery delivery = compareWithSent(loggedSamples(logDir.path()), waveSamples(100 * seconds + 10000));
    std::printf("monitor reading imu-sim (byte-paced, read every 20 ms, both plots, every sample logged) "
                "while the week with the time column loaded in %.2f s: %d of %d frames sent logged, %d never "
                "sent; longest time between ticks %lld ms\n",
                loadSeconds, delivery.received - delivery.invented, delivery.spanned, delivery.invented,
                longestTickGap);
}

} // namespace

int main(int argc, char *argv[])
{
    offscreenUnlessSet();
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    QTemporaryDir scratch;
    const QString root = argc > 1 ? QString::fromLocal8Bit(argv[1]) : scratch.path();
    const int files = argc > 2 ? std::max(1, std::atoi(argv[2])) : 830;

    QString withTimeFolder;
    for (bool withTime : {false, true}) {
        const char *form = withTime ? "with the time column" : "without the time column";
        const QString folder = root + (withTime ? QStringLiteral("/with-time") : QStringLiteral("/without-time"));
        const QString smallFolder = root + (withTime ? QStringLiteral("/1k-with-time") : QStringLiteral("/1k"));
        ensureRecording(folder, files, LogFormat::defaultLinesPerFile, withTime);
        ensureRecording(smallFolder, 1, 1000, withTime);
        if (withTime)
            withTimeFolder = folder;

        const QStringList paths = filesIn(folder);
        catWcSeconds(paths);  // into the page cache
        const double catSeconds = catWcSeconds(paths);
        const qint64 bytes = bytesOf(paths);

        malloc_trim(0);
        const long before = residentBytes();
        const OpenViewer week = openViewer(folder);
        const long resident = residentBytes() - before;
        const Recording &recording = *week.viewer->recording();
        const double samples = double(recording.samples.size());
        std::printf("\n%s: %d files, %.2f GB, %.0f samples (%s)\n", form, int(paths.size()), bytes / 1e9, samples,
                    qPrintable(recordingSummary(recording)));
        std::printf("  cat FILES | wc -l: %.2f s; open to first full drawing: %.2f s = %.2f x cat | wc -l\n",
                    catSeconds, week.seconds, week.seconds / catSeconds);
        std::printf("  viewer's resident memory: %.0f MiB = %.2f x the files' size, %.1f B per sample "
                    "(store %.1f, times %.2f B per sample)\n",
                    resident / 1048576.0, double(resident) / double(bytes), double(resident) / samples,
                    double(recording.samples.bytes()) / samples, double(recording.times.bytes()) / samples);

        const OpenViewer small = openViewer(smallFolder);
        printCosts(week.viewer, small.viewer);
        delete small.viewer;
        delete week.viewer;
        QCoreApplication::processEvents();
    }
    std::printf("\n");
    monitorWhileLoading(withTimeFolder);
    return 0;
}
