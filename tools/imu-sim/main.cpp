// imu-sim: plays the six-axis sensor on a serial line so the monitor can be
// tried, and tested end to end, without the hardware. See --help.

#include "devicelink.h"
#include "linenoise.h"
#include "linepacer.h"
#include "samplesource.h"
#include "simline.h"
#include "simoptions.h"

#include <QCoreApplication>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <random>
#include <thread>

namespace {

using Clock = LinePacer::Clock;

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void requestStop(int)
{
    stopRequested = 1;
}

void say(const QString &line)
{
    std::fprintf(stderr, "imu-sim: %s\n", qPrintable(line));
}

int fail(const QString &problem)
{
    say(problem);
    return 1;
}

Clock::time_point after(Clock::time_point start, double seconds)
{
    return start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

int run(const SimOptions &options)
{
    std::unique_ptr<SampleSource> source;
    QString error;
    if (options.replayFile.isEmpty()) {
        source = std::make_unique<WaveSource>();
    } else if (!(source = ReplaySource::load(options.replayFile, &error))) {
        return fail(error);
    }

    std::unique_ptr<SimLine> line;
    if (options.device.isEmpty())
        line = PseudoTerminalLine::create(&error);
    else
        line = DeviceLine::open(options.device, &error);
    if (!line)
        return fail(error);
    // Made before the path is printed, so that whoever reads the path finds
    // the link too. Removed when the run ends, however it ends.
    std::unique_ptr<DeviceLink> link;
    if (!options.linkPath.isEmpty()) {
        if (!(link = DeviceLink::make(options.linkPath, line->devicePath(), &error)))
            return fail(error);
        say(QStringLiteral("%1 leads to %2").arg(link->path(), line->devicePath()));
    }

    // The path goes alone on standard output, so scripts can read it.
    std::printf("%s\n", qPrintable(line->devicePath()));
    std::fflush(stdout);

    LineNoise noise(options.garbage, options.drop, options.seedGiven ? options.seed : std::random_device{}());

    const Clock::time_point start = Clock::now();
    const Clock::time_point never = Clock::time_point::max();
    const Clock::time_point endAt = options.seconds > 0 ? after(start, options.seconds) : never;
    const Clock::time_point hangupAt = options.hangupAfter > 0 ? after(start, options.hangupAfter) : never;
    LinePacer pacer(options.pacing, std::chrono::milliseconds(options.burstMs), start);
    Clock::time_point nextFrameAt = start;

    long long sent = 0, unheard = 0, bytes = 0;
    bool producing = true;
    bool hungUp = false;
    while (true) {
        const Clock::time_point now = Clock::now();
        if (now >= hangupAt) {
            // An unplugged adapter takes its by-id link with it.
            link.reset();
            line->hangUp();
            hungUp = true;
            break;
        }
        // A frame begun goes out whole; then the run ends.
        if (stopRequested || now >= endAt || (options.count >= 0 && sent + unheard >= options.count))
            producing = false;

        // No frame waits for a line still busy with the one before: a line
        // carries no more than 960 bytes a second, whatever --rate asks.
        const Clock::time_point frameDue = std::max(nextFrameAt, pacer.queuedUntil());
        if (producing && now >= frameDue) {
            const std::optional<ImuSample> sample = source->next();
            if (!sample) {
                producing = false;
                continue;
            }
            std::vector<unsigned char> frame = noise.pass(options.layout.encode(*sample));
            const size_t size = frame.size();
            Clock::time_point lineFree;
            if (line->readerKeepsUp()) {
                lineFree = pacer.queue(std::move(frame), nextFrameAt);
                ++sent;
                bytes += static_cast<long long>(size);
            } else {
                // Carried away unheard, taking its time on the line.
                lineFree = nextFrameAt + LinePacer::ByteTime * static_cast<long>(size);
                ++unheard;
            }
            nextFrameAt = options.rate > 0 ? after(start, double(sent + unheard) / options.rate) : lineFree;
            continue;
        }
        if (pacer.dueAt() <= now) {
            if (!line->send(pacer.takeDue(now), &error))
                return fail(error);
            continue;
        }
        if (!producing && pacer.empty())
            break;

        // Short naps keep hang-up, end and Ctrl+C on time at any rate.
        Clock::time_point wake = std::min({pacer.dueAt(), hangupAt, now + std::chrono::milliseconds(50)});
        if (producing)
            wake = std::min({wake, frameDue, endAt});
        std::this_thread::sleep_until(wake);
    }

    if (hungUp) {
        say(QStringLiteral("hung up after %1 s").arg(options.hangupAfter));
    } else {
        // Frames already sent are the reader's to take before the line goes.
        line->drain(1000);
    }
    QString summary = QStringLiteral("sent %1 frames (%2 bytes)").arg(sent).arg(bytes);
    if (unheard > 0)
        summary += QStringLiteral("; %1 more went unheard while nobody was reading").arg(unheard);
    say(summary);
    return 0;
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
        return fail(message + QStringLiteral(" (see --help)"));
    case ParseResult::Run:
        break;
    }
    if (options.layout.encode(ImuSample()).empty())
        return fail(QStringLiteral("this frame layout cannot carry a sample"));

    struct sigaction stop{};
    stop.sa_handler = requestStop;
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGTERM, &stop, nullptr);
    // A reader that vanished must not end the program mid-write.
    std::signal(SIGPIPE, SIG_IGN);
    return run(options);
}
