// How many of the frames on the line reach the log, for each way a line
// hands its bytes over (imu-sim --pacing) and each read interval, and how
// many on a line that loses bytes or carries garbage. The real window reads
// imu-sim's pseudo-terminal in sensor mode with "Datalog" ticked; the log is
// then compared with the frames sent meanwhile.
//
//   bench_line [seconds per run, default 10] [pacing|noise, default both]
//
// Reads more often than a frame takes on the line (14.6 ms for the default
// 14-byte frame at 9600 baud 8N1) keep every frame whose bytes arrive spread
// out; at longer intervals a read shows one sample, the newest. Runs
// offscreen unless QT_QPA_PLATFORM says otherwise.

#include "mainwindow.h"

#include "childwidget.h"
#include "simulatorrun.h"
#include "windowdriver.h"

#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

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

struct Result
{
    Delivery delivery;
    int ticks = 0;
};

Result measure(const Line &line, int intervalMs, int seconds)
{
    Result result;
    SimulatorRun sim;
    if (!sim.start(QStringLiteral(IMU_SIM_PATH), line.arguments))
        qFatal("imu-sim did not start");
    QTemporaryDir logDir;
    answerSettings(sensorMode(sim.path, logDir.path()), true);
    MainWindow w;
    child<QSpinBox>(&w, "TaajuusSBox")->setValue(intervalMs);
    child<QCheckBox>(&w, "LogBox1")->setChecked(true);
    QObject::connect(child<QTimer>(&w, "mainTimer"), &QTimer::timeout, [&] { ++result.ticks; });
    click(&w, "Start_Button");
    runFor(seconds * 1000);
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
    const int intervals[] = {5, 10, 14, 20, 50};

    std::printf("Share of the frames sent that reached the log (samples logged per tick), "
                "default layout at 9600 baud, %d s a run\n\n", seconds);
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
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const QString which = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    if (seconds < 1 || (!which.isEmpty() && which != "pacing" && which != "noise")) {
        std::fprintf(stderr, "usage: bench_line [seconds per run, at least 1] [pacing|noise]\n");
        return 1;
    }
    bool clean = true;
    if (which != "noise")
        clean = pacingTable(seconds);
    if (which != "pacing")
        noiseTable(seconds);
    return clean ? 0 : 1;
}
