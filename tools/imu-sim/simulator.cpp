#include "simulator.h"

#include "devicelink.h"
#include "linenoise.h"
#include "linepacer.h"
#include "samplesource.h"
#include "simline.h"

#include <QDateTime>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <random>
#include <thread>

namespace {

using Clock = LinePacer::Clock;

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

Clock::time_point afterOrNever(Clock::time_point start, double seconds)
{
    return seconds > 0 ? after(start, seconds) : Clock::time_point::max();
}

// The frames of one run, from the source to the line: each pass of the
// loop produces a frame when one is due, or sends what the pacing hands
// over, or sleeps until one of the two is due.
class FrameRun
{
public:
    FrameRun(const SimOptions &options, SampleSource &source, SimLine &line, Clock::time_point start,
             std::FILE *sentTimes)
        : options(options)
        , source(source)
        , line(line)
        , noise(options.garbage, options.drop, options.seedGiven ? options.seed : std::random_device{}())
        , start(start)
        , endAt(afterOrNever(start, options.seconds))
        , hangupAt(afterOrNever(start, options.hangupAfter))
        , pacer(options.pacing, std::chrono::milliseconds(options.burstMs), start)
        , nextFrameAt(start)
        , sentTimes(sentTimes)
    {
    }

    enum class End { Finished, HungUp, Failed };

    // Runs until the end; *error says why when it failed. link goes when
    // the line is hung up: an unplugged adapter takes its by-id link along.
    End loop(const volatile std::sig_atomic_t *stop, std::unique_ptr<DeviceLink> &link, QString *error)
    {
        while (true) {
            const Clock::time_point now = Clock::now();
            if (now >= hangupAt) {
                link.reset();
                line.hangUp();
                return End::HungUp;
            }
            // A frame begun goes out whole; then the run ends.
            if (*stop || now >= endAt || (options.count >= 0 && sent + unheard >= options.count))
                producing = false;
            if (produce(now))
                continue;
            if (pacer.dueAt() <= now) {
                const long long before = pacer.framesTaken();
                if (!line.send(pacer.takeDue(now), error))
                    return End::Failed;
                noteSent(before);
                continue;
            }
            if (!producing && pacer.empty())
                return End::Finished;
            sleep(now);
        }
    }

    QString summary() const
    {
        QString text = QStringLiteral("sent %1 frames (%2 bytes)").arg(sent).arg(bytes);
        if (unheard > 0)
            text += QStringLiteral("; %1 more went unheard while nobody was reading").arg(unheard);
        return text;
    }

private:
    // No frame waits for a line still busy with the one before: a line
    // carries no more than LineRate::BytesPerSecond, whatever --rate asks.
    Clock::time_point frameDue() const { return std::max(nextFrameAt, pacer.queuedUntil()); }

    // Makes the next frame when it is due and queues it for the line, or
    // carries it away unheard when nobody reads. False when nothing was due.
    bool produce(Clock::time_point now)
    {
        if (!producing || now < frameDue())
            return false;
        const std::optional<ImuSample> sample = source.next();
        if (!sample) {
            producing = false;
            return true;
        }
        std::vector<unsigned char> frame = noise.pass(options.layout.encode(*sample));
        const size_t size = frame.size();
        Clock::time_point lineFree;
        if (line.readerKeepsUp()) {
            lineFree = pacer.queue(std::move(frame), nextFrameAt);
            if (sentTimes)
                queuedNumbers.push_back(sent + unheard);
            ++sent;
            bytes += static_cast<long long>(size);
        } else {
            // Carried away unheard, taking its time on the line.
            lineFree = nextFrameAt + LinePacer::ByteTime * static_cast<long>(size);
            ++unheard;
        }
        nextFrameAt = options.rate > 0 ? after(start, double(sent + unheard) / options.rate) : lineFree;
        return true;
    }

    // Notes when the frames whose last bytes the line just took went,
    // framesBefore having been taken before; each by its number in the run.
    void noteSent(long long framesBefore)
    {
        if (!sentTimes)
            return;
        const qint64 at = QDateTime::currentMSecsSinceEpoch();
        for (long long frame = framesBefore; frame < pacer.framesTaken() && !queuedNumbers.empty(); ++frame) {
            std::fprintf(sentTimes, "%lld,%lld\n", queuedNumbers.front(), static_cast<long long>(at));
            queuedNumbers.pop_front();
        }
    }

    // Short naps keep hang-up, end and Ctrl+C on time at any rate.
    void sleep(Clock::time_point now) const
    {
        Clock::time_point wake = std::min({pacer.dueAt(), hangupAt, now + std::chrono::milliseconds(50)});
        if (producing)
            wake = std::min({wake, frameDue(), endAt});
        std::this_thread::sleep_until(wake);
    }

    const SimOptions &options;
    SampleSource &source;
    SimLine &line;
    LineNoise noise;
    const Clock::time_point start;
    const Clock::time_point endAt;
    const Clock::time_point hangupAt;
    LinePacer pacer;
    Clock::time_point nextFrameAt;
    std::FILE *sentTimes;
    // The numbers in the run of the frames queued and not yet gone.
    std::deque<long long> queuedNumbers;
    bool producing = true;
    long long sent = 0;
    long long unheard = 0;
    long long bytes = 0;
};

std::unique_ptr<SampleSource> makeSource(const SimOptions &options, QString *error)
{
    if (options.replayFile.isEmpty())
        return std::make_unique<WaveSource>();
    return ReplaySource::load(options.replayFile, error);
}

std::unique_ptr<SimLine> makeLine(const SimOptions &options, QString *error)
{
    if (options.device.isEmpty())
        return PseudoTerminalLine::create(error);
    return DeviceLine::open(options.device, error);
}

} // namespace

int runSimulator(const SimOptions &options, const volatile std::sig_atomic_t *stop)
{
    QString error;
    const std::unique_ptr<SampleSource> source = makeSource(options, &error);
    if (!source)
        return fail(error);
    const std::unique_ptr<SimLine> line = makeLine(options, &error);
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

    std::unique_ptr<std::FILE, int (*)(std::FILE *)> sentTimes(nullptr, &std::fclose);
    if (!options.sentTimesFile.isEmpty()) {
        sentTimes.reset(std::fopen(QFile::encodeName(options.sentTimesFile).constData(), "w"));
        if (!sentTimes)
            return fail(QStringLiteral("cannot write %1: %2").arg(options.sentTimesFile, QString::fromLocal8Bit(std::strerror(errno))));
    }

    // The path goes alone on standard output, so scripts can read it.
    std::printf("%s\n", qPrintable(line->devicePath()));
    std::fflush(stdout);

    FrameRun run(options, *source, *line, Clock::now(), sentTimes.get());
    switch (run.loop(stop, link, &error)) {
    case FrameRun::End::Failed:
        return fail(error);
    case FrameRun::End::HungUp:
        say(QStringLiteral("hung up after %1 s").arg(options.hangupAfter));
        break;
    case FrameRun::End::Finished:
        // Frames already sent are the reader's to take before the line goes.
        line->drain(1000);
        break;
    }
    say(run.summary());
    return 0;
}
