#include "simoptions.h"

#include "linerate.h"

#include <QCommandLineParser>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <vector>

namespace {

// The most data bytes the settings dialog offers.
constexpr int MaxDataBytes = 99;
constexpr long long NoLimit = std::numeric_limits<long long>::max();

// Takes the text given to option name into *options; returns what is wrong
// with it, or nothing.
using Apply = std::function<QString(const QString &name, const QString &text, SimOptions *options)>;

// One option: its name, the name of its value (empty for a switch), its
// help, and how its value is taken (none for a switch).
struct OptionEntry
{
    QString name;
    QString valueName;
    QString description;
    Apply apply;
};

QString numberText(double value)
{
    return QString::number(value, 'g', 12);
}

// A number above low (of at least low, when lowAllowed) and at most high.
Apply real(double low, double high, bool lowAllowed, double SimOptions::*field)
{
    return [=](const QString &name, const QString &text, SimOptions *options) -> QString {
        bool parsed = false;
        const double value = text.toDouble(&parsed);
        const bool aboveLow = lowAllowed ? value >= low : value > low;
        if (!parsed || !std::isfinite(value) || !aboveLow || value > high)
            return QStringLiteral("--%1 must be a number %2 %3 and at most %4, not \"%5\"")
                .arg(name, lowAllowed ? QStringLiteral("of at least") : QStringLiteral("above"),
                     numberText(low), numberText(high), text);
        options->*field = value;
        return {};
    };
}

// A whole number from low to high, handed to store.
Apply whole(long long low, long long high, std::function<void(SimOptions *, long long)> store)
{
    return [=](const QString &name, const QString &text, SimOptions *options) -> QString {
        bool parsed = false;
        const long long value = text.toLongLong(&parsed);
        if (parsed && value >= low && value <= high) {
            store(options, value);
            return {};
        }
        const QString range = high == NoLimit ? QStringLiteral("of at least %1").arg(low)
                                              : QStringLiteral("from %1 to %2").arg(low).arg(high);
        return QStringLiteral("--%1 must be a whole number %2, not \"%3\"").arg(name, range, text);
    };
}

// A marker byte: 0 to 255, or "off" (also -1, as the settings record has it).
Apply marker(int FrameLayout::*field)
{
    return [=](const QString &name, const QString &text, SimOptions *options) -> QString {
        if (text == QLatin1String("off") || text == QLatin1String("-1")) {
            options->layout.*field = FrameLayout::Off;
            return {};
        }
        bool parsed = false;
        const int value = text.toInt(&parsed);
        if (!parsed || value < 0 || value > 255)
            return QStringLiteral("--%1 must be a byte value from 0 to 255 or \"off\", not \"%2\"").arg(name, text);
        options->layout.*field = value;
        return {};
    };
}

// A path that must not be empty; what names what it should be.
Apply path(QString SimOptions::*field, const QString &what)
{
    return [=](const QString &name, const QString &text, SimOptions *options) -> QString {
        if (text.isEmpty())
            return QStringLiteral("--%1 needs %2").arg(name, what);
        options->*field = text;
        return {};
    };
}

Apply pacing()
{
    return [](const QString &name, const QString &text, SimOptions *options) -> QString {
        const struct {
            const char *text;
            LinePacer::Pacing pacing;
        } choices[] = {{"byte", LinePacer::Pacing::Byte},
                       {"burst", LinePacer::Pacing::Burst},
                       {"frame", LinePacer::Pacing::Frame}};
        for (const auto &choice : choices) {
            if (text == QLatin1String(choice.text)) {
                options->pacing = choice.pacing;
                return {};
            }
        }
        return QStringLiteral("--%1 must be byte, burst or frame, not \"%2\"").arg(name, text);
    };
}

QString markerText(int value)
{
    return value == FrameLayout::Off ? QStringLiteral("off") : QString::number(value);
}

// "12 data bytes, end bytes 55 and 1"
QString layoutText(const FrameLayout &layout)
{
    QString text = QStringLiteral("%1 data bytes").arg(layout.dataByteCount);
    const auto markers = [&text](const QString &kind, int first, int second) {
        if (first != FrameLayout::Off && second != FrameLayout::Off)
            text += QStringLiteral(", %1 bytes %2 and %3").arg(kind).arg(first).arg(second);
        else if (first != FrameLayout::Off || second != FrameLayout::Off)
            text += QStringLiteral(", %1 byte %2 only, %3")
                        .arg(kind)
                        .arg(first != FrameLayout::Off ? 1 : 2)
                        .arg(std::max(first, second));
    };
    markers(QStringLiteral("start"), layout.startByte1, layout.startByte2);
    markers(QStringLiteral("end"), layout.endByte1, layout.endByte2);
    return text;
}

QString description()
{
    return QStringLiteral(
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
               "%1 data bytes carry gyroscope X, Y, Z, then acceleration X, Y, Z, each a\n"
               "big-endian signed 16-bit value; further data bytes are zero. The default layout\n"
               "is the settings dialog's untouched form: %2.")
        .arg(FrameLayout::SampleBytes)
        .arg(layoutText(FrameLayout::formDefault()));
}

QString markerHelp(const QString &which, int byDefault)
{
    return QStringLiteral("%1: a value 0-255, or off (default %2).").arg(which, markerText(byDefault));
}

QString rateHelp()
{
    const int frameLength = FrameLayout::formDefault().frameLength();
    return QStringLiteral("Frames per second, at most what the line carries. By default frames follow each "
                          "other as fast as %1 baud 8N1 carries them (%2 bytes per second, %3 frames per "
                          "second of %4 bytes).")
        .arg(LineRate::Baud)
        .arg(LineRate::BytesPerSecond)
        .arg(double(LineRate::BytesPerSecond) / frameLength, 0, 'f', 1)
        .arg(frameLength);
}

// The line, the frame layout and the pacing.
std::vector<OptionEntry> lineOptions()
{
    const FrameLayout form = FrameLayout::formDefault();
    const SimOptions defaults;
    return {
        {"help", {}, "Shows this text.", {}},
        {"device", "path", QStringLiteral("Writes to the serial device <path> (opened at %1 8N1) instead of "
                                          "making a pseudo-terminal.").arg(LineRate::Baud),
         path(&SimOptions::device, QStringLiteral("a path"))},
        {"link", "path", "Also makes <path> a symbolic link to the pseudo-terminal, and removes it on exit. A "
                         "link to a pseudo-terminal already there, such as one a killed run left, is replaced; "
                         "anything else is left alone.",
         path(&SimOptions::linkPath, QStringLiteral("a path"))},
        {"data-bytes", "n", QStringLiteral("Data bytes per frame, %1 to %2 (default %3).")
                                .arg(FrameLayout::SampleBytes).arg(MaxDataBytes).arg(form.dataByteCount),
         whole(FrameLayout::SampleBytes, MaxDataBytes,
               [](SimOptions *options, long long n) { options->layout.dataByteCount = int(n); })},
        {"start1", "byte", markerHelp("Start byte 1", form.startByte1), marker(&FrameLayout::startByte1)},
        {"start2", "byte", markerHelp("Start byte 2", form.startByte2), marker(&FrameLayout::startByte2)},
        {"end1", "byte", markerHelp("End byte 1", form.endByte1), marker(&FrameLayout::endByte1)},
        {"end2", "byte", markerHelp("End byte 2", form.endByte2), marker(&FrameLayout::endByte2)},
        {"rate", "hz", rateHelp(), real(0, 100000, false, &SimOptions::rate)},
        {"pacing", "how", "How the bytes reach the reader: byte (the default) one at a time at line time, as a "
                          "native UART delivers them; burst, what has gathered every --burst-ms, as a USB "
                          "adapter passes it on; frame, each frame in one write.",
         pacing()},
        {"burst-ms", "ms", QStringLiteral("With --pacing burst: milliseconds between bursts, 1 to 1000 "
                                          "(default %1, a common USB adapter latency).").arg(defaults.burstMs),
         whole(1, 1000, [](SimOptions *options, long long ms) { options->burstMs = int(ms); })},
    };
}

// What is sent, for how long, and what the line does to it.
std::vector<OptionEntry> runOptions()
{
    return {
        {"waves", {}, "Sends the monitor's test-mode waves (the default).", {}},
        {"replay", "file", "Sends the samples of a log file written by the monitor, in order, then stops. "
                           "Header lines are skipped.",
         path(&SimOptions::replayFile, QStringLiteral("a file"))},
        {"count", "n", "Stops after <n> frames.",
         whole(1, NoLimit, [](SimOptions *options, long long n) { options->count = n; })},
        {"seconds", "s", "Stops after <s> seconds.", real(0, 1e9, false, &SimOptions::seconds)},
        {"garbage", "p", "Between two frames, with probability <p> (0 to 1), inserts a burst of 1 to 20 random "
                         "bytes.",
         real(0, 1, true, &SimOptions::garbage)},
        {"drop", "p", "Loses each byte with probability <p> (0 to 1), as a noisy line does.",
         real(0, 1, true, &SimOptions::drop)},
        {"hangup-after", "s", "Closes the line after <s> seconds and exits, as an unplugged adapter does.",
         real(0, 1e9, false, &SimOptions::hangupAfter)},
        {"sent-times", "file", "Writes to <file>, for each frame sent, the frame's number from 0 and when its "
                               "last byte was written, in milliseconds since 1970 UTC: what a reader's "
                               "time stamps can be held against.",
         path(&SimOptions::sentTimesFile, QStringLiteral("a file"))},
        {"seed", "n", "Seed for the random garbage and losses, so that a run can be repeated.",
         whole(0, NoLimit, [](SimOptions *options, long long seed) {
             options->seed = static_cast<uint64_t>(seed);
             options->seedGiven = true;
         })},
    };
}

// Every option, in the order of the help text; values are taken, and
// checked, in this order too.
std::vector<OptionEntry> optionTable()
{
    std::vector<OptionEntry> table = lineOptions();
    for (OptionEntry &entry : runOptions())
        table.push_back(std::move(entry));
    return table;
}

// Options that exclude each other, and what to say when both are given.
const struct {
    const char *first;
    const char *second;
    const char *problem;
} Conflicts[] = {
    {"waves", "replay", "--waves and --replay cannot be used together"},
    {"link", "device", "--link names the pseudo-terminal, which --device does not make"},
};

// Fills in *options from what the parser found; what is wrong, or nothing.
QString takeValues(const QCommandLineParser &parser, const std::vector<OptionEntry> &table, SimOptions *options)
{
    if (!parser.positionalArguments().isEmpty())
        return QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first());
    for (const auto &conflict : Conflicts) {
        if (parser.isSet(conflict.first) && parser.isSet(conflict.second))
            return QString::fromLatin1(conflict.problem);
    }
    for (const OptionEntry &entry : table) {
        if (!entry.apply || !parser.isSet(entry.name))
            continue;
        const QString problem = entry.apply(entry.name, parser.value(entry.name), options);
        if (!problem.isEmpty())
            return problem;
    }
    if (parser.isSet("burst-ms") && options->pacing != LinePacer::Pacing::Burst)
        return QStringLiteral("--burst-ms goes with --pacing burst");
    if (options->layout.encode(ImuSample()).empty())
        return QStringLiteral("this frame layout cannot carry a sample");
    return {};
}

} // namespace

ParseResult parseSimOptions(const QStringList &arguments, SimOptions *options, QString *message)
{
    const std::vector<OptionEntry> table = optionTable();
    QCommandLineParser parser;
    parser.setApplicationDescription(description());
    for (const OptionEntry &entry : table)
        parser.addOption(QCommandLineOption(entry.name, entry.description, entry.valueName));

    if (!parser.parse(arguments)) {
        *message = parser.errorText();
        return ParseResult::Error;
    }
    if (parser.isSet("help")) {
        *message = parser.helpText();
        return ParseResult::Help;
    }
    SimOptions result;
    *message = takeValues(parser, table, &result);
    if (!message->isEmpty())
        return ParseResult::Error;
    *options = result;
    return ParseResult::Run;
}
