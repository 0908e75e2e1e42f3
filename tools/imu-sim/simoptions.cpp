#include "simoptions.h"

#include <QCommandLineParser>

#include <cmath>
#include <limits>

namespace {

// Each check fills in one field or says what is wrong with the text given.
class ValueReader
{
public:
    explicit ValueReader(const QCommandLineParser &parser) : parser(parser) {}

    bool ok() const { return problem.isEmpty(); }
    QString error() const { return problem; }

    void number(const QString &name, double low, double high, bool lowIncluded, double *out)
    {
        if (!ok() || !parser.isSet(name))
            return;
        bool parsed = false;
        const double value = parser.value(name).toDouble(&parsed);
        const bool aboveLow = lowIncluded ? value >= low : value > low;
        if (!parsed || !std::isfinite(value) || !aboveLow || value > high) {
            problem = QStringLiteral("--%1 must be a number %2 %3 and at most %4, not \"%5\"")
                          .arg(name, lowIncluded ? "of at least" : "above")
                          .arg(low)
                          .arg(high)
                          .arg(parser.value(name));
            return;
        }
        *out = value;
    }

    void integer(const QString &name, long long low, long long high, long long *out)
    {
        if (!ok() || !parser.isSet(name))
            return;
        bool parsed = false;
        const long long value = parser.value(name).toLongLong(&parsed);
        if (!parsed || value < low || value > high) {
            problem = QStringLiteral("--%1 must be a whole number from %2 to %3, not \"%4\"")
                          .arg(name)
                          .arg(low)
                          .arg(high)
                          .arg(parser.value(name));
            return;
        }
        *out = value;
    }

    // A marker byte: 0 to 255, or "off" (also -1, as the settings record has it).
    void marker(const QString &name, int *out)
    {
        if (!ok() || !parser.isSet(name))
            return;
        const QString text = parser.value(name);
        if (text == QLatin1String("off") || text == QLatin1String("-1")) {
            *out = FrameLayout::Off;
            return;
        }
        bool parsed = false;
        const int value = text.toInt(&parsed);
        if (!parsed || value < 0 || value > 255) {
            problem = QStringLiteral("--%1 must be a byte value from 0 to 255 or \"off\", not \"%2\"")
                          .arg(name, text);
            return;
        }
        *out = value;
    }

private:
    const QCommandLineParser &parser;
    QString problem;
};

} // namespace

ParseResult parseSimOptions(const QStringList &arguments, SimOptions *options, QString *message)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Plays a six-axis motion sensor on a serial line for imu-monitor.\n"
        "\n"
        "Without --device it makes a pseudo-terminal, prints its path on the first line\n"
        "of its output (type that path into \"Device\" in the monitor's settings and\n"
        "choose \"Wireless mode\"), and sends frames to it until interrupted or until\n"
        "--count, --seconds or the end of a replayed file stops it. With --link, type the\n"
        "link's path instead: it is the same for every run, so a monitor waiting for a\n"
        "simulator that was stopped takes up the next one started with the same --link.\n"
        "\n"
        "A frame is optional start bytes, the data bytes and optional end bytes. The first\n"
        "twelve data bytes carry gyroscope X, Y, Z, then acceleration X, Y, Z, each a\n"
        "big-endian signed 16-bit value; further data bytes are zero. The default layout\n"
        "is the settings dialog's untouched form: 12 data bytes, end bytes 55 and 1."));
    parser.addOptions({
        {"help", "Shows this text."},
        {"device", "Writes to the serial device <path> (opened at 9600 8N1) instead of making a pseudo-terminal.", "path"},
        {"link", "Also makes <path> a symbolic link to the pseudo-terminal, and removes it on exit. A link to a pseudo-terminal already there, such as one a killed run left, is replaced; anything else is left alone.", "path"},
        {"data-bytes", "Data bytes per frame, 12 to 99 (default 12).", "n"},
        {"start1", "Start byte 1: a value 0-255, or off (default off).", "byte"},
        {"start2", "Start byte 2: a value 0-255, or off (default off).", "byte"},
        {"end1", "End byte 1: a value 0-255, or off (default 55).", "byte"},
        {"end2", "End byte 2: a value 0-255, or off (default 1).", "byte"},
        {"rate", "Frames per second, at most what the line carries. By default frames follow each other as fast as 9600 baud 8N1 carries them (960 bytes per second, 68.6 frames per second of 14 bytes).", "hz"},
        {"pacing", "How the bytes reach the reader: byte (the default) one at a time at line time, as a native UART delivers them; burst, what has gathered every --burst-ms, as a USB adapter passes it on; frame, each frame in one write.", "how"},
        {"burst-ms", "With --pacing burst: milliseconds between bursts, 1 to 1000 (default 16, a common USB adapter latency).", "ms"},
        {"waves", "Sends the monitor's test-mode waves (the default)."},
        {"replay", "Sends the samples of a log file written by the monitor, in order, then stops. Header lines are skipped.", "file"},
        {"count", "Stops after <n> frames.", "n"},
        {"seconds", "Stops after <s> seconds.", "s"},
        {"garbage", "Between two frames, with probability <p> (0 to 1), inserts a burst of 1 to 20 random bytes.", "p"},
        {"drop", "Loses each byte with probability <p> (0 to 1), as a noisy line does.", "p"},
        {"hangup-after", "Closes the line after <s> seconds and exits, as an unplugged adapter does.", "s"},
        {"seed", "Seed for the random garbage and losses, so that a run can be repeated.", "n"},
    });

    if (!parser.parse(arguments)) {
        *message = parser.errorText();
        return ParseResult::Error;
    }
    if (parser.isSet("help")) {
        *message = parser.helpText();
        return ParseResult::Help;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *message = QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first());
        return ParseResult::Error;
    }
    if (parser.isSet("waves") && parser.isSet("replay")) {
        *message = QStringLiteral("--waves and --replay cannot be used together");
        return ParseResult::Error;
    }

    SimOptions result;
    ValueReader read(parser);
    long long dataBytes = result.layout.dataByteCount;
    read.integer("data-bytes", FrameLayout::SampleBytes, 99, &dataBytes);
    result.layout.dataByteCount = static_cast<int>(dataBytes);
    read.marker("start1", &result.layout.startByte1);
    read.marker("start2", &result.layout.startByte2);
    read.marker("end1", &result.layout.endByte1);
    read.marker("end2", &result.layout.endByte2);
    read.number("rate", 0, 100000, false, &result.rate);
    read.integer("count", 1, std::numeric_limits<long long>::max(), &result.count);
    read.number("seconds", 0, 1e9, false, &result.seconds);
    read.number("garbage", 0, 1, true, &result.garbage);
    read.number("drop", 0, 1, true, &result.drop);
    read.number("hangup-after", 0, 1e9, false, &result.hangupAfter);
    long long burstMs = result.burstMs;
    read.integer("burst-ms", 1, 1000, &burstMs);
    result.burstMs = static_cast<int>(burstMs);
    long long seed = 0;
    read.integer("seed", 0, std::numeric_limits<long long>::max(), &seed);
    if (!read.ok()) {
        *message = read.error();
        return ParseResult::Error;
    }
    if (parser.isSet("pacing")) {
        const QString pacing = parser.value("pacing");
        if (pacing == QLatin1String("byte")) {
            result.pacing = LinePacer::Pacing::Byte;
        } else if (pacing == QLatin1String("burst")) {
            result.pacing = LinePacer::Pacing::Burst;
        } else if (pacing == QLatin1String("frame")) {
            result.pacing = LinePacer::Pacing::Frame;
        } else {
            *message = QStringLiteral("--pacing must be byte, burst or frame, not \"%1\"").arg(pacing);
            return ParseResult::Error;
        }
    }
    if (parser.isSet("burst-ms") && result.pacing != LinePacer::Pacing::Burst) {
        *message = QStringLiteral("--burst-ms goes with --pacing burst");
        return ParseResult::Error;
    }
    result.seed = static_cast<uint64_t>(seed);
    result.seedGiven = parser.isSet("seed");
    result.device = parser.value("device");
    if (parser.isSet("device") && result.device.isEmpty()) {
        *message = QStringLiteral("--device needs a path");
        return ParseResult::Error;
    }
    result.linkPath = parser.value("link");
    if (parser.isSet("link") && result.linkPath.isEmpty()) {
        *message = QStringLiteral("--link needs a path");
        return ParseResult::Error;
    }
    if (parser.isSet("link") && parser.isSet("device")) {
        *message = QStringLiteral("--link names the pseudo-terminal, which --device does not make");
        return ParseResult::Error;
    }
    result.replayFile = parser.value("replay");
    if (parser.isSet("replay") && result.replayFile.isEmpty()) {
        *message = QStringLiteral("--replay needs a file");
        return ParseResult::Error;
    }
    *options = result;
    return ParseResult::Run;
}
