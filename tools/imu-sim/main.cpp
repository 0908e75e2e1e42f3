// imu-sim: plays the six-axis sensor on a serial line so the monitor can be
// tried, and tested end to end, without the hardware. See --help.

#include "simoptions.h"
#include "simulator.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void requestStop(int)
{
    stopRequested = 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    SimOptions options;
    QString message;
    switch (parseSimOptions(app.arguments(), &options, &message)) {
    case ParseResult::Help:
        std::printf("%s", qPrintable(message));
        return 0;
    case ParseResult::Error:
        std::fprintf(stderr, "imu-sim: %s (see --help)\n", qPrintable(message));
        return 1;
    case ParseResult::Run:
        break;
    }

    struct sigaction stop{};
    stop.sa_handler = requestStop;
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGTERM, &stop, nullptr);
    // A reader that vanished must not end the program mid-write.
    std::signal(SIGPIPE, SIG_IGN);
    return runSimulator(options, &stopRequested);
}
