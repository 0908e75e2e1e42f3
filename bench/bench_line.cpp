// How many of the frames on the line reach the log, for each way a line
// hands its bytes over (imu-sim --pacing) and each read interval, and how
// many on a line that loses bytes or carries garbage. The real window reads
// imu-sim's pseudo-terminal in sensor mode with "Datalog" ticked; the log is
// then compared with the frames sent meanwhile.
//
//   bench_line [seconds per run, default 10] [pacing|noise|cpu, default all]
//
// The cpu table gives the share of one core that the monitor's process
// takes while it reads a byte-paced line with both plots drawn (the time
// axis following the newest sample) and every sample logged. Runs
// offscreen unless QT_QPA_PLATFORM says otherwise.

#include "benchfigures.h"
#include "linerate.h"
#include "mainwindow.h"

#include "childwidget.h"
#include "ptypair.h"
#include "simulatorrun.h"
#include "windowdriver.h"

#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

struct Line
{
    const char *name;
    QStringList arguments;
};

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double processCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

struct Result
{
    Delivery delivery;
    int ticks = 0;
    double cpuShare = 0; // of one core, while acquiring
};

Result measure(const Line &line, int intervalMs, int seconds, bool plots = false)
{
    Result result;
    SimulatorRun sim;
    if (!sim.start(QStringLiteral(IMU_SIM_PATH), line.arguments))
        qFatal("imu-sim did not start");
    QTemporaryDir logDir;
    const FormEdit sensor = sensorMode(sim.path, logDir.path());
    answerSettings(plots ? withPlots(sensor) : sensor, true);
    MainWindow w;
    if (plots) {
        w.show();
        child<QCheckBox>(&w, "Autoscale")->setCheckState(Qt::PartiallyChecked);
    }
    child<QSpinBox>(&w, "TaajuusSBox")->setValue(intervalMs);
    child<QCheckBox>(&w, "LogBox1")->setChecked(true);
    QObject::connect(child<QTimer>(&w, "mainTimer"), &QTimer::timeout, [&] { ++result.ticks; });
    click(&w, "Start_Button");
    const double cpuStart = processCpuSeconds();
    runFor(seconds * 1000);
    result.cpuShare = (processCpuSeconds() - cpuStart) / seconds;
    click(&w, "Stop_Button");
    result.delivery = compareWithSent(loggedSamples(logDir.path()), waveSamples(100 * seconds + 10000));
    return result;
}

// Share of the frames kept, by pacing and read interval.
bool pacingTable(int seconds)
{
    const Line pacings[] = {
        {"byte", {"--pacing", "byte"}},
        {"burst 16 ms", {"--pacing", "burst", "--burst-ms", "16"}},
        {"burst 4 ms", {"--pacing", "burst", "--burst-ms", "4"}},
        {"frame", {"--pacing", "frame"}},
    };
    const int intervals[] = {5, 10, 14, 20, 50, 100, 250, 1000};

    std::printf("Share of the frames sent that reached the log (samples logged per tick), "
                "default layout at %d baud, %d s a run\n\n", LineRate::Baud, seconds);
    std::printf("%-12s", "pacing");
    for (int interval : intervals)
        std::printf(" | %5d ms        ", interval);
    std::printf("\n");
    bool invented = false;
    for (const Line &pacing : pacings) {
        std::printf("%-12s", pacing.name);
        std::fflush(stdout);
        for (int interval : intervals) {
            const Result r = measure(pacing, interval, seconds);
            std::printf(" | %5.1f %% (%4.2f) ", 100 * r.delivery.keptShare(),
                        r.ticks > 0 ? double(r.delivery.received) / r.ticks : 0.0);
            std::fflush(stdout);
            invented = invented || r.delivery.invented > 0;
        }
        std::printf("\n");
    }
    if (invented)
        std::printf("LOGGED SAMPLES THAT WERE NEVER SENT on a clean line\n");
    return !invented;
}

// Frames kept and samples invented on a faulty line, bytes one at a time,
// read every 10 ms.
void noiseTable(int seconds)
{
    const Line lines[] = {
        {"clean line", {}},
        {"--drop 0.01", {"--drop", "0.01", "--seed", "1"}},
        {"--drop 0.05", {"--drop", "0.05", "--seed", "2"}},
        {"--garbage 0.2", {"--garbage", "0.2", "--seed", "3"}},
        {"--garbage 0.2 --drop 0.01", {"--garbage", "0.2", "--drop", "0.01", "--seed", "4"}},
        {"--garbage 0.2 --drop 0.05", {"--garbage", "0.2", "--drop", "0.05", "--seed", "5"}},
    };
    std::printf("\nA faulty line, bytes one at a time, read every 10 ms, %d s a run\n\n", seconds);
    std::printf("%-26s | frames logged | logged samples never sent\n", "imu-sim");
    for (const Line &line : lines) {
        QStringList arguments = line.arguments;
        arguments << "--pacing" << "byte";
        const Result r = measure(Line{line.name, arguments}, 10, seconds);
        std::printf("%-26s | %11.1f %% | %6.2f %% (%d of %d)\n", line.name, 100 * r.delivery.keptShare(),
                    r.delivery.received > 0 ? 100.0 * r.delivery.invented / r.delivery.received : 0.0,
                    r.delivery.invented, r.delivery.received);
        std::fflush(stdout);
    }

    // Nothing but random bytes at the line rate: whatever is logged was
    // never sent.
    PtyPair line;
    if (!line.isValid())
        qFatal("no pseudo-terminal: %s", qPrintable(line.errorString()));
    QTemporaryDir logDir;
    answerSettings(sensorMode(line.slavePath(), logDir.path()), true);
    MainWindow w;
    child<QSpinBox>(&w, "TaajuusSBox")->setValue(10);
    child<QCheckBox>(&w, "LogBox1")->setChecked(true);
    QRandomGenerator random(6);
    QTimer noise;
    QObject::connect(&noise, &QTimer::timeout, [&] {
        QByteArray bytes(10, Qt::Uninitialized);
        for (char &b : bytes)
            b = char(random.bounded(256));
        line.write(bytes);
    });
    noise.start(10); // 1000 bytes a second, at most what the line carries
    click(&w, "Start_Button");
    runFor(seconds * 1000);
    click(&w, "Stop_Button");
    std::printf("%-26s | %13s | %lld samples logged\n", "random bytes only", "-",
                static_cast<long long>(loggedLines(logDir.path()).size()));
}

// The monitor's share of a core at two read intervals, plots and log on.
void cpuTable(int seconds)
{
    std::printf("\nCPU of the monitor, byte pacing, both plots drawn (Autoscale partially checked), "
                "Datalog on, %d s a run\n\n", seconds);
    std::printf("read interval | CPU, share of one core | frames logged\n");
    for (int interval : {20, 5}) {
        const Result r = measure(Line{"byte", {"--pacing", "byte"}}, interval, seconds, true);
        std::printf("%10d ms | %20.1f %% | %11.1f %%\n", interval, 100 * r.cpuShare,
                    100 * r.delivery.keptShare());
        std::fflush(stdout);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    offscreenUnlessSet();
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const QString which = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    if (seconds < 1 || (!which.isEmpty() && which != "pacing" && which != "noise" && which != "cpu")) {
        std::fprintf(stderr, "usage: bench_line [seconds per run, at least 1] [pacing|noise|cpu]\n");
        return 1;
    }
    bool clean = true;
    if (which.isEmpty() || which == "pacing")
        clean = pacingTable(seconds);
    if (which.isEmpty() || which == "noise")
        noiseTable(seconds);
    if (which.isEmpty() || which == "cpu")
        cpuTable(seconds);
    return clean ? 0 : 1;
}
