// How many of the frames on the line reach the log, for each way a line
// hands its bytes over (imu-sim --pacing) and each read interval. The real
// window reads imu-sim's pseudo-terminal in sensor mode with "Datalog"
// ticked; the log is then compared with the frames sent meanwhile.
//
//   bench_line [seconds per run, default 10]
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

struct Pacing
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

Result measure(const Pacing &pacing, int intervalMs, int seconds)
{
    Result result;
    SimulatorRun sim;
    if (!sim.start(QStringLiteral(IMU_SIM_PATH), pacing.arguments))
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

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    if (seconds < 1) {
        std::fprintf(stderr, "bench_line: the seconds per run must be at least 1\n");
        return 1;
    }

    const Pacing pacings[] = {
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
    for (const Pacing &pacing : pacings) {
        std::printf("%-12s", pacing.name);
        std::fflush(stdout);
        for (int interval : intervals) {
            const Result r = measure(pacing, interval, seconds);
            const int logged = r.delivery.received - r.delivery.invented;
            std::printf(" | %5.1f %% (%4.2f) ", 100 * r.delivery.keptShare(),
                        r.ticks > 0 ? double(r.delivery.received) / r.ticks : 0.0);
            std::fflush(stdout);
            if (r.delivery.invented > 0) {
                std::fprintf(stderr, "\n%s at %d ms: %d logged samples were never sent (%d kept)\n",
                             pacing.name, interval, r.delivery.invented, logged);
                invented = true;
            }
        }
        std::printf("\n");
    }
    return invented ? 1 : 0;
}
