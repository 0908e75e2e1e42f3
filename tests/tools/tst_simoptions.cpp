#include "simoptions.h"

#include <QTest>

#include <functional>

using Change = std::function<void(SimOptions &)>;
Q_DECLARE_METATYPE(Change)

namespace {

constexpr int Off = FrameLayout::Off;

// Every field, so that a comparison shows what differs.
QString describe(const SimOptions &o)
{
    const FrameLayout &l = o.layout;
    return QStringLiteral("layout %1,%2,%3,%4,%5 device \"%6\" link \"%7\" rate %8 pacing %9 burst %10 "
                          "replay \"%11\" count %12 seconds %13 garbage %14 drop %15 hangup %16 seed %17%18")
        .arg(l.dataByteCount).arg(l.startByte1).arg(l.startByte2).arg(l.endByte1).arg(l.endByte2)
        .arg(o.device, o.linkPath).arg(o.rate).arg(int(o.pacing)).arg(o.burstMs)
        .arg(o.replayFile).arg(o.count).arg(o.seconds).arg(o.garbage).arg(o.drop).arg(o.hangupAfter)
        .arg(o.seed).arg(o.seedGiven ? " given" : "");
}

ParseResult parse(const QStringList &arguments, SimOptions *options, QString *message)
{
    return parseSimOptions(QStringList{"imu-sim"} + arguments, options, message);
}

} // namespace

class tst_SimOptions : public QObject
{
    Q_OBJECT

private slots:
    void accepts_data();
    void accepts();
    void rejects_data();
    void rejects();
    void helpFollowsTheDefaults();
};

void tst_SimOptions::accepts_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<Change>("change"); // from the options without arguments

    QTest::newRow("nothing given") << QStringList{} << Change([](SimOptions &) {});
    QTest::newRow("markers off by name and as -1") << QStringList{"--end1", "off", "--end2", "-1"}
        << Change([](SimOptions &o) { o.layout.endByte1 = o.layout.endByte2 = Off; });
    QTest::newRow("start bytes and the longest frame")
        << QStringList{"--start1", "170", "--start2", "0", "--data-bytes", "99", "--end1", "255"}
        << Change([](SimOptions &o) { o.layout = {99, 170, 0, 255, 1}; });
    QTest::newRow("probabilities at their bounds") << QStringList{"--garbage", "0", "--drop", "1"}
        << Change([](SimOptions &o) { o.drop = 1; });
    QTest::newRow("bursts of 4 ms") << QStringList{"--pacing", "burst", "--burst-ms", "4"}
        << Change([](SimOptions &o) { o.pacing = LinePacer::Pacing::Burst; o.burstMs = 4; });
    QTest::newRow("whole frames at a rate") << QStringList{"--pacing", "frame", "--rate", "68.5"}
        << Change([](SimOptions &o) { o.pacing = LinePacer::Pacing::Frame; o.rate = 68.5; });
    QTest::newRow("a replay, for one frame") << QStringList{"--replay", "log.txt", "--count", "1"}
        << Change([](SimOptions &o) { o.replayFile = "log.txt"; o.count = 1; });
    QTest::newRow("seed zero counts as given") << QStringList{"--seed", "0"}
        << Change([](SimOptions &o) { o.seedGiven = true; });
    QTest::newRow("time limits") << QStringList{"--seconds", "0.5", "--hangup-after", "2"}
        << Change([](SimOptions &o) { o.seconds = 0.5; o.hangupAfter = 2; });
    QTest::newRow("a device") << QStringList{"--device", "/dev/ttyUSB0"}
        << Change([](SimOptions &o) { o.device = "/dev/ttyUSB0"; });
    QTest::newRow("a link, with the waves named") << QStringList{"--link", "/tmp/imu", "--waves"}
        << Change([](SimOptions &o) { o.linkPath = "/tmp/imu"; });
}

void tst_SimOptions::accepts()
{
    QFETCH(QStringList, arguments);
    QFETCH(Change, change);

    // Without arguments: the settings dialog's untouched layout, at the line
    // rate, byte by byte, without faults or limits.
    SimOptions expected;
    expected.layout = {12, Off, Off, 55, 1};
    change(expected);

    SimOptions options;
    QString message;
    QCOMPARE(parse(arguments, &options, &message), ParseResult::Run);
    QCOMPARE(message, QString());
    QCOMPARE(describe(options), describe(expected));
}

void tst_SimOptions::rejects_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("problem");

    const auto row = [](const char *name, const QStringList &arguments, const char *problem) {
        QTest::newRow(name) << arguments << QString::fromUtf8(problem);
    };
    row("unknown option", {"--speed", "3"}, "Unknown option 'speed'.");
    row("value missing", {"--rate"}, "Missing value after '--rate'.");
    row("stray argument", {"/dev/ttyUSB0"}, "unexpected argument \"/dev/ttyUSB0\"");
    row("rate zero", {"--rate", "0"}, "--rate must be a number above 0 and at most 100000, not \"0\"");
    row("rate not a number", {"--rate", "fast"}, "--rate must be a number above 0 and at most 100000, not \"fast\"");
    row("rate infinite", {"--rate", "inf"}, "--rate must be a number above 0 and at most 100000, not \"inf\"");
    row("run time too long", {"--seconds", "2e9"},
        "--seconds must be a number above 0 and at most 1000000000, not \"2e9\"");
    row("garbage above one", {"--garbage", "1.5"},
        "--garbage must be a number of at least 0 and at most 1, not \"1.5\"");
    row("negative drop", {"--drop", "-0.1"}, "--drop must be a number of at least 0 and at most 1, not \"-0.1\"");
    row("too few data bytes", {"--data-bytes", "11"}, "--data-bytes must be a whole number from 12 to 99, not \"11\"");
    row("data bytes not whole", {"--data-bytes", "12.5"},
        "--data-bytes must be a whole number from 12 to 99, not \"12.5\"");
    row("marker above a byte", {"--start1", "256"},
        "--start1 must be a byte value from 0 to 255 or \"off\", not \"256\"");
    row("marker neither value nor off", {"--end2", "on"},
        "--end2 must be a byte value from 0 to 255 or \"off\", not \"on\"");
    row("count zero", {"--count", "0"}, "--count must be a whole number of at least 1, not \"0\"");
    row("negative seed", {"--seed", "-1"}, "--seed must be a whole number of at least 0, not \"-1\"");
    row("unknown pacing", {"--pacing", "bits"}, "--pacing must be byte, burst or frame, not \"bits\"");
    row("burst period above a second", {"--pacing", "burst", "--burst-ms", "1001"},
        "--burst-ms must be a whole number from 1 to 1000, not \"1001\"");
    row("burst period without bursts", {"--burst-ms", "16"}, "--burst-ms goes with --pacing burst");
    row("waves and replay", {"--waves", "--replay", "log.txt"}, "--waves and --replay cannot be used together");
    row("empty device", {"--device", ""}, "--device needs a path");
    row("empty replay", {"--replay", ""}, "--replay needs a file");
    row("link with a device", {"--link", "/tmp/imu", "--device", "/dev/ttyUSB0"},
        "--link names the pseudo-terminal, which --device does not make");
}

// A bad value is named with what would do, and nothing is taken.
void tst_SimOptions::rejects()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, problem);

    SimOptions options;
    options.rate = 42;
    QString message;
    QCOMPARE(parse(arguments, &options, &message), ParseResult::Error);
    QCOMPARE(message, problem);
    QCOMPARE(options.rate, 42.0);
}

void tst_SimOptions::helpFollowsTheDefaults()
{
    SimOptions options;
    QString text;
    QCOMPARE(parse({"--rate", "5", "--help"}, &options, &text), ParseResult::Help);
    for (const char *part : {"untouched form: 12 data bytes, end bytes 55 and 1.",
                             "Data bytes per frame, 12 to 99 (default 12).",
                             "Start byte 2: a value 0-255, or off (default off).",
                             "End byte 1: a value 0-255, or off (default 55).",
                             "End byte 2: a value 0-255, or off (default 1).",
                             "960 bytes per second, 68.6 frames per second", "opened at 9600 8N1"}) {
        // The help is wrapped to the terminal: compare words, not lines.
        const QString words = text.simplified();
        QVERIFY2(words.contains(QLatin1String(part)), part);
    }
}

QTEST_GUILESS_MAIN(tst_SimOptions)
#include "tst_simoptions.moc"
