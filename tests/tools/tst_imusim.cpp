#include "framelayout.h"
#include "linerate.h"
#include "logformat.h"
#include "mainwindow.h"
#include "ptypair.h"
#include "serialhandler.h"
#include "wavesample.h"

#include "childwidget.h"
#include "simulatorrun.h"
#include "windowdriver.h"

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QFileInfo>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QProcess>
#include <QGroupBox>
#include <QSpinBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <qcustomplot.h>

#include <cmath>
#include <functional>
#include <memory>

namespace {

// The simulator under test, started with arguments.
class Simulator : public SimulatorRun
{
public:
    bool start(const QStringList &arguments) { return SimulatorRun::start(QStringLiteral(IMU_SIM_PATH), arguments); }
};

QList<QList<int>> values(const QList<ImuSample> &samples)
{
    QList<QList<int>> out;
    for (const ImuSample &s : samples)
        out << QList<int>{s.accX, s.accY, s.accZ, s.gyroX, s.gyroY, s.gyroZ};
    return out;
}

} // namespace

class tst_ImuSim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void badArguments_data();
    void badArguments();
    void help();
    void roundTrip_data();
    void roundTrip();
    void writesToADevice();
    void monitorLogsWhatWasSent();
    void monitorKeepsEveryFrame_data();
    void monitorKeepsEveryFrame();
    void replayOfAMonitorLog_data();
    void replayOfAMonitorLog();
    void arrivalTimes_data();
    void arrivalTimes();
    void wrongLayoutIsNamed_data();
    void wrongLayoutIsNamed();
    void noisyLine_data();
    void noisyLine();
    void hangUpAndRecover_data();
    void hangUpAndRecover();
    void linkForEveryRun();

private:
    // Runs the real window on the simulator's device, logging into logDir,
    // until done() holds (at most timeoutMs); then presses Stop.
    void acquire(MainWindow &w, const std::function<bool()> &done, int timeoutMs = 60000);
    void acquireLines(MainWindow &w, int lines);
    // Reads the simulator, started with arguments, every intervalMs until
    // lines samples are logged, with both plots drawn, and compares the log
    // with what was sent. drawn: the points on each graph at the end.
    // optionFrame: the message frame panel's layout; empty for the untouched form.
    void readAt(int intervalMs, const QStringList &arguments, int lines, Delivery &delivery,
                int &drawn, const QList<int> &optionFrame = {});

    QTemporaryDir scratch;
    QString logDir;
};

void tst_ImuSim::initTestCase()
{
    // The serial reader writes a line per read; thousands of reads here.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    QVERIFY(scratch.isValid());
}

void tst_ImuSim::init()
{
    logDir = scratch.filePath(QTest::currentTestFunction() + QString::fromLatin1(QTest::currentDataTag()));
    QDir(logDir).removeRecursively();
    QVERIFY(QDir().mkpath(logDir));
}

void tst_ImuSim::badArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("problem");

    const QString malformed = scratch.filePath("malformed.txt");
    const QString headerOnly = scratch.filePath("header-only.txt");
    const QString notATerminal = scratch.filePath("plain-file");
    {
        QFile f(malformed);
        f.open(QIODevice::WriteOnly);
        f.write(LogFormat::headerLine() + LogFormat::dataLine(0, {1, 2, 3, 4, 5, 6}) + "1,2,3\n");
    }
    {
        QFile f(headerOnly);
        f.open(QIODevice::WriteOnly);
        f.write(LogFormat::headerLine());
    }
    {
        QFile f(notATerminal);
        f.open(QIODevice::WriteOnly);
    }

    QTest::newRow("unknown option") << QStringList{"--speed", "3"} << "Unknown option 'speed'";
    QTest::newRow("stray argument") << QStringList{"/dev/ttyUSB0"} << "unexpected argument";
    QTest::newRow("rate zero") << QStringList{"--rate", "0"} << "--rate must be";
    QTest::newRow("rate not a number") << QStringList{"--rate", "fast"} << "--rate must be";
    QTest::newRow("garbage above one") << QStringList{"--garbage", "1.5"} << "--garbage must be";
    QTest::newRow("negative drop") << QStringList{"--drop", "-0.1"} << "--drop must be";
    QTest::newRow("too few data bytes") << QStringList{"--data-bytes", "11"} << "--data-bytes must be";
    QTest::newRow("too many data bytes") << QStringList{"--data-bytes", "100"} << "--data-bytes must be";
    QTest::newRow("marker above a byte") << QStringList{"--start1", "256"} << "--start1 must be";
    QTest::newRow("count zero") << QStringList{"--count", "0"} << "--count must be";
    QTest::newRow("unknown pacing") << QStringList{"--pacing", "bits"} << "--pacing must be byte, burst or frame";
    QTest::newRow("burst period zero") << QStringList{"--pacing", "burst", "--burst-ms", "0"} << "--burst-ms must be";
    QTest::newRow("burst period without bursts") << QStringList{"--burst-ms", "16"} << "--burst-ms goes with --pacing burst";
    QTest::newRow("waves and replay") << QStringList{"--waves", "--replay", malformed} << "cannot be used together";
    QTest::newRow("missing replay file") << QStringList{"--replay", scratch.filePath("none.txt")} << "cannot read";
    QTest::newRow("malformed replay line") << QStringList{"--replay", malformed} << "line 3 is not a log line";
    QTest::newRow("replay without samples") << QStringList{"--replay", headerOnly} << "holds no samples";
    QTest::newRow("missing device") << QStringList{"--device", scratch.filePath("ttyNone")} << "No such file";
    QTest::newRow("device not a terminal") << QStringList{"--device", notATerminal} << "not a terminal";
    QTest::newRow("link without a path") << QStringList{"--link", ""} << "--link needs a path";
    QTest::newRow("link with a device") << QStringList{"--link", scratch.filePath("imu"), "--device", notATerminal}
                                        << "--link names the pseudo-terminal";
    QTest::newRow("link over a file") << QStringList{"--link", notATerminal} << "exists and is not a symbolic link";
    QTest::newRow("link over another link") << QStringList{"--link", scratch.filePath("to-a-file")}
                                            << "not to a pseudo-terminal";
    QFile::link(notATerminal, scratch.filePath("to-a-file"));
}

void tst_ImuSim::badArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, problem);

    QProcess sim;
    sim.start(QStringLiteral(IMU_SIM_PATH), arguments);
    QVERIFY(sim.waitForFinished(10000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 1);
    QCOMPARE(sim.readAllStandardOutput(), QByteArray());
    const QStringList lines = QString::fromLocal8Bit(sim.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines[0].startsWith("imu-sim: ") && lines[0].contains(problem), qPrintable(lines[0]));
}

void tst_ImuSim::help()
{
    QProcess sim;
    sim.start(QStringLiteral(IMU_SIM_PATH), {"--help"});
    QVERIFY(sim.waitForFinished(10000));
    QCOMPARE(sim.exitCode(), 0);
    const QString text = QString::fromLocal8Bit(sim.readAllStandardOutput());
    for (const char *option : {"--device", "--data-bytes", "--start1", "--start2", "--end1", "--end2",
                               "--rate", "--waves", "--replay", "--count", "--seconds", "--garbage",
                               "--drop", "--hangup-after", "--seed", "--pacing", "--burst-ms", "--link", "--help"})
        QVERIFY2(text.contains(QLatin1String(option)), option);
}

void tst_ImuSim::roundTrip_data()
{
    QTest::addColumn<QStringList>("layoutArguments");
    QTest::addColumn<QList<int>>("optionFrame");

    QTest::newRow("untouched settings form") << QStringList{} << QList<int>{12, -1, -1, 55, 1};
    QTest::newRow("start bytes, 16 data bytes, one end byte")
        << QStringList{"--start1", "170", "--start2", "85", "--data-bytes", "16", "--end2", "off"}
        << QList<int>{16, 170, 85, 55, -1};
}

// Every frame the simulator sends reaches the serial reader intact: each
// sample that comes out equals the one sent in its place, in order, and
// none is missing after the first, however late the reads come.
void tst_ImuSim::roundTrip()
{
    QFETCH(QStringList, layoutArguments);
    QFETCH(QList<int>, optionFrame);
    const int frames = 20;
    const int frameGapMs = 100;

    Simulator sim;
    QVERIFY(sim.start(layoutArguments + QStringList{"--rate", QString::number(1000 / frameGapMs),
                                                    "--count", QString::number(frames)}));
    serialhandler reader;
    reader.updateOptions(optionFrame.data());
    reader.receiveDevicename(sim.path);
    QCOMPARE(reader.OpenUsb(0), 1);

    QList<ImuSample> received;
    connect(&reader, &serialhandler::SendSamples, this,
            [&](const QVector<ImuSample> &samples) { received += samples; });
    while (sim.running()) {
        reader.readSerial();
        QTest::qWait(2);
    }
    reader.readSerial();
    QCOMPARE(sim.process.exitCode(), 0);

    const QList<QList<int>> sent = waveSamples(frames);
    const QList<QList<int>> got = values(received);
    const Delivery delivery = compareWithSent(got, sent);
    QVERIFY(!got.isEmpty());
    QVERIFY2(delivery.invented == 0, "a sample came out that was not sent in that order");
    QCOMPARE(got.last(), sent.last());
    // Frames sent before the port was opened are discarded by the open.
    QCOMPARE(delivery.received, delivery.spanned);
}

void tst_ImuSim::writesToADevice()
{
    PtyPair adapter;
    QVERIFY2(adapter.isValid(), qPrintable(adapter.errorString()));
    QProcess sim;
    sim.start(QStringLiteral(IMU_SIM_PATH), {"--device", adapter.slavePath(), "--start1", "0", "--rate", "200", "--count", "3"});
    QVERIFY(sim.waitForFinished(10000));
    QCOMPARE(sim.exitCode(), 0);

    FrameLayout layout;
    layout.startByte1 = 0;
    layout.endByte1 = 55;
    QByteArray expected;
    for (int n = 0; n < 3; ++n) {
        const std::vector<unsigned char> frame = layout.encode(waveSample(n));
        expected.append(reinterpret_cast<const char *>(frame.data()), qsizetype(frame.size()));
    }
    QByteArray got;
    QTRY_COMPARE((got += adapter.readFromMaster()), expected);
}

void tst_ImuSim::acquire(MainWindow &w, const std::function<bool()> &done, int timeoutMs)
{
    child<QCheckBox>(&w, "LogBox1")->setChecked(true);
    click(&w, "Start_Button");
    QCOMPARE(messages(&w).last(), QStringLiteral("Serial port opened"));
    QTRY_VERIFY_WITH_TIMEOUT(done(), timeoutMs);
    click(&w, "Stop_Button");
}

void tst_ImuSim::acquireLines(MainWindow &w, int lines)
{
    // A sample a tick at most: 50 a second, fewer on a busy machine.
    acquire(w, [&] { return loggedLines(logDir).size() >= lines; }, 60000 + 100 * lines);
}

void tst_ImuSim::readAt(int intervalMs, const QStringList &arguments, int lines, Delivery &delivery,
                        int &drawn, const QList<int> &optionFrame)
{
    Simulator sim;
    QVERIFY(sim.start(arguments));
    const FormEdit sensor = sensorMode(sim.path, logDir);
    answerSettings(withPlots([&](QDialog *d) {
        sensor(d);
        // The message frame panel, as the user would fill it in.
        if (optionFrame.isEmpty())
            return;
        child<QSpinBox>(d, "DataBytes")->setValue(optionFrame[0]);
        const char *groups[] = {"XSB1", "XSB2", "XEB1", "XEB2"};
        const char *values[] = {"StartByte1", "StartByte2", "EndByte1", "EndByte2"};
        for (int i = 0; i < 4; ++i) {
            child<QGroupBox>(d, groups[i])->setChecked(optionFrame[i + 1] >= 0);
            if (optionFrame[i + 1] >= 0)
                child<QSpinBox>(d, values[i])->setValue(optionFrame[i + 1]);
        }
    }), true);
    MainWindow w;
    child<QSpinBox>(&w, "TaajuusSBox")->setValue(intervalMs);
    acquireLines(w, lines);
    delivery = compareWithSent(loggedSamples(logDir), waveSamples(100000));
    drawn = -1;
    for (QCustomPlot *plot : w.findChildren<QCustomPlot *>()) {
        for (int graph = 0; graph < plot->graphCount(); ++graph) {
            const int points = plot->graph(graph)->dataCount();
            if (drawn >= 0 && points != drawn)
                QFAIL("the graphs hold different numbers of points");
            drawn = points;
        }
    }
}

// At the line rate (68.6 frames a second) and the default 20 ms tick, more
// frames arrive than there are ticks: a read takes them all, so the log
// holds more samples than there were ticks, each one sent, in order, and
// the readouts show the newest. With the bytes one at a time, as a native
// UART hands them over.
void tst_ImuSim::monitorLogsWhatWasSent()
{
    Simulator sim;
    QVERIFY(sim.start({"--pacing", "byte"}));
    answerSettings(sensorMode(sim.path, logDir), true);
    MainWindow w;
    QSignalSpy ticks(child<QTimer>(&w, "mainTimer"), &QTimer::timeout);
    QVERIFY(ticks.isValid());
    acquireLines(w, 150);

    const QList<QList<int>> logged = loggedSamples(logDir);
    qInfo("%lld samples logged in %lld ticks", static_cast<long long>(logged.size()),
          static_cast<long long>(ticks.size()));
    QVERIFY2(logged.size() > ticks.size(),
             qPrintable(QStringLiteral("%1 samples logged in %2 ticks").arg(logged.size()).arg(ticks.size())));
    const Delivery delivery = compareWithSent(logged, waveSamples(100000));
    QCOMPARE(delivery.invented, 0);
    QCOMPARE(delivery.received, delivery.spanned);
    QCOMPARE(readouts(&w), logged.last());
}

void tst_ImuSim::monitorKeepsEveryFrame_data()
{
    QTest::addColumn<int>("intervalMs");
    QTest::addColumn<QStringList>("pacing");
    QTest::addColumn<QList<int>>("optionFrame"); // empty: the untouched form
    const QStringList byte{"--pacing", "byte"};
    // Bursts, like those of a USB adapter, shorter and longer than a frame.
    const QStringList burst4{"--pacing", "burst", "--burst-ms", "4"};
    const QStringList burst16{"--pacing", "burst", "--burst-ms", "16"};
    QTest::newRow("bytes one at a time, 10 ms") << 10 << byte << QList<int>{};
    QTest::newRow("bursts every 4 ms, 10 ms") << 10 << burst4 << QList<int>{};
    QTest::newRow("whole frames, 10 ms") << 10 << QStringList{"--pacing", "frame"} << QList<int>{};
    QTest::newRow("bytes one at a time, 20 ms") << 20 << byte << QList<int>{};
    QTest::newRow("bursts every 16 ms, 20 ms") << 20 << burst16 << QList<int>{};
    QTest::newRow("bytes one at a time, 100 ms") << 100 << byte << QList<int>{};
    QTest::newRow("bursts every 16 ms, 100 ms") << 100 << burst16 << QList<int>{};
    // Start bytes above 99, as 0xAA 0x55 of many sensors, set in the dialog.
    QTest::newRow("start bytes 170 and 85, bytes one at a time, 20 ms")
        << 20 << (byte + QStringList{"--start1", "170", "--start2", "85"}) << QList<int>{12, 170, 85, 55, 1};
}

// Whatever the read interval and however the line cuts the frames, every
// frame reaches the log and the plots: a frame split between two reads is
// put together from both, and a read takes every frame that came since the
// last one, so a tick that comes late costs nothing.
void tst_ImuSim::monitorKeepsEveryFrame()
{
    QFETCH(int, intervalMs);
    QFETCH(QStringList, pacing);
    QFETCH(QList<int>, optionFrame);

    Delivery delivery;
    int drawn = 0;
    readAt(intervalMs, pacing, 250, delivery, drawn, optionFrame);
    if (QTest::currentTestFailed())
        return;
    const int logged = delivery.received - delivery.invented;
    qInfo("%s: %d of %d frames logged, %d drawn", QTest::currentDataTag(), logged, delivery.spanned, drawn);
    QCOMPARE(delivery.invented, 0);
    QVERIFY(logged >= 0.99 * delivery.spanned);
    // Drawing goes on until Stop, logging too: the plots hold what the log
    // holds, from the same first frame.
    QCOMPARE(drawn, delivery.received);
}

void tst_ImuSim::arrivalTimes_data()
{
    QTest::addColumn<int>("intervalMs");
    QTest::addColumn<QStringList>("pacing");
    QTest::addColumn<int>("toleranceMs");
    const QStringList byte{"--pacing", "byte"};
    QTest::newRow("bytes one at a time, 20 ms reads") << 20 << byte << 30;
    // Up to 17 frames in one read: each is timed by where it lay in it.
    QTest::newRow("bytes one at a time, 250 ms reads") << 250 << byte << 30;
    // A USB adapter hands over 16 ms of the line at once.
    QTest::newRow("bursts every 16 ms, 20 ms reads") << 20 << QStringList{"--pacing", "burst", "--burst-ms", "16"}
                                                     << 50;
}

// With the time column, every line of 30 s of logging has a time, the
// times never go back and follow the line's 68.6 frames a second, and each
// is within the adapter's latency of when the simulator wrote the frame's
// last byte. A time is judged where the simulator kept the line going up to
// the read that took the frame: a line that pauses after a frame (here, a
// simulator held up on a busy machine) makes the frame seem later, which no
// reader can tell.
void tst_ImuSim::arrivalTimes()
{
    QFETCH(int, intervalMs);
    QFETCH(QStringList, pacing);
    QFETCH(int, toleranceMs);
    QTemporaryDir scratch;
    const QString sentFile = scratch.filePath("sent.txt");
    const int wanted = 30 * 686 / 10;
    Simulator sim;
    QVERIFY(sim.start(pacing + QStringList{"--sent-times", sentFile, "--count", QString::number(wanted + 300)}));
    answerSettings(sensorMode(sim.path, logDir), true);
    MainWindow w;
    child<QSpinBox>(&w, "TaajuusSBox")->setValue(intervalMs);
    child<QCheckBox>(&w, "LogTimeBox")->setChecked(true);
    acquireLines(w, wanted);
    QVERIFY(sim.process.waitForFinished(30000));

    // When each frame went, by its number in the run: wave sample n.
    QFile sent(sentFile);
    QVERIFY(sent.open(QIODevice::ReadOnly));
    QHash<int, qint64> sentAt;
    for (const QByteArray &line : sent.readAll().split('\n'))
        if (!line.isEmpty())
            sentAt.insert(line.split(',').value(0).toInt(), line.split(',').value(1).toLongLong());

    QList<qint64> times;
    QList<QList<int>> logged;
    for (const QFileInfo &file : logFiles(logDir)) {
        for (const QByteArray &line : dataLines(file)) {
            qint64 time = 0;
            const std::optional<ImuSample> sample = LogFormat::parseDataLine(line, nullptr, &time);
            QVERIFY2(sample && time != LogFormat::NoTime, line.constData());
            logged << values({*sample});
            times << time;
        }
    }
    const QList<QList<int>> waves = waveSamples(wanted + 300);
    const qsizetype first = waves.indexOf(logged.first());
    QVERIFY(first >= 0);
    QCOMPARE(logged, waves.mid(first, logged.size()));

    for (qsizetype i = 1; i < times.size(); ++i)
        QVERIFY2(times[i] >= times[i - 1], qPrintable(QStringLiteral("line %1").arg(i)));
    // The line's own pace: 68.6 frames a second, unless the simulator fell
    // behind it on a busy machine.
    const double lineSpacing = 1000.0 * 14 / LineRate::BytesPerSecond;
    const double spacing = double(times.last() - times.first()) / double(times.size() - 1);
    const double sentSpacing = double(sentAt.value(int(first + times.size() - 1)) - sentAt.value(int(first)))
            / double(times.size() - 1);
    QVERIFY(sentSpacing >= lineSpacing - 0.05);
    QVERIFY2(std::abs(spacing / sentSpacing - 1) <= 0.01,
             qPrintable(QStringLiteral("%1 ms, sent %2 ms apart").arg(spacing).arg(sentSpacing)));
    const int framesPerRead = intervalMs * LineRate::BytesPerSecond / 14 / 1000 + 2;
    auto lineKeptGoing = [&](int frame) {
        for (int next = frame; next < frame + framesPerRead && sentAt.contains(next + 1); ++next)
            if (sentAt.value(next + 1) - sentAt.value(next) > lineSpacing + 5)
                return false;
        return true;
    };
    qint64 worst = 0;
    int judged = 0;
    for (qsizetype i = 0; i < times.size(); ++i) {
        const int frame = int(first + i);
        QVERIFY(sentAt.contains(frame));
        if (!lineKeptGoing(frame))
            continue;
        ++judged;
        worst = std::max(worst, std::abs(times[i] - sentAt.value(frame)));
    }
    qInfo("%s: %lld lines, %.3f ms apart, %d judged, at most %lld ms from when the frame went",
          QTest::currentDataTag(), static_cast<long long>(times.size()), spacing, judged,
          static_cast<long long>(worst));
    QVERIFY(judged >= times.size() / 2);
    QVERIFY(worst <= toleranceMs);
}

void tst_ImuSim::wrongLayoutIsNamed_data()
{
    QTest::addColumn<int>("dataBytes");
    for (int dataBytes : {13, 16, 20})
        QTest::addRow("%d data bytes sent", dataBytes) << dataBytes;
}

// The line sends longer frames than the layout expects: windows whose end
// bytes match turn up, but none is followed by another, and once the markers
// recur steadily at another distance none counts at all; the window names
// that distance.
void tst_ImuSim::wrongLayoutIsNamed()
{
    QFETCH(int, dataBytes);
    Simulator sim;
    QVERIFY(sim.start({"--data-bytes", QString::number(dataBytes)}));
    answerSettings(sensorMode(sim.path, logDir), true);
    MainWindow w;
    child<QCheckBox>(&w, "LogBox1")->setChecked(true);
    click(&w, "Start_Button");
    const QString hint = QStringLiteral("Frames seem to be %1 bytes long, the layout has 14: set Data bytes to %2")
                             .arg(dataBytes + 2).arg(dataBytes);
    auto *status = child<QLabel>(&w, "linkStatus");
    QTRY_VERIFY_WITH_TIMEOUT(status->text().endsWith(hint), 15000);
    QTest::qWait(2500);
    QVERIFY2(status->text().endsWith(hint), qPrintable(status->text()));
    QCOMPARE(messages(&w).count(hint), 1);
    click(&w, "Stop_Button");
    // A window at the very start of the line is trusted without a frame
    // after it, so a Start that lands a frame length before end bytes can
    // log that one window; nothing after it.
    QVERIFY2(loggedLines(logDir).size() <= 1, qPrintable(loggedLines(logDir).join(' ')));
}

void tst_ImuSim::replayOfAMonitorLog_data()
{
    QTest::addColumn<bool>("timeColumn");
    QTest::newRow("seven columns") << false;
    QTest::newRow("with the time column") << true;
}

void tst_ImuSim::replayOfAMonitorLog()
{
    QFETCH(bool, timeColumn);
    // A log of 300 test-mode samples (the waves move on only with plots).
    const QString firstDir = logDir + "/first";
    QVERIFY(QDir().mkpath(firstDir));
    {
        answerWithPlots(testMode(firstDir));
        MainWindow w;
        child<QCheckBox>(&w, "LogTimeBox")->setChecked(timeColumn);
        child<QCheckBox>(&w, "LogBox1")->setChecked(true);
        for (int i = 0; i < 300; ++i)
            QVERIFY(tick(&w));
    }
    const QStringList files = QDir(firstDir).entryList({"*.txt"}, QDir::Files);
    QCOMPARE(files.size(), 1);
    const QList<QList<int>> first = loggedSamples(firstDir);
    QCOMPARE(first.size(), 300);

    Simulator sim;
    QVERIFY(sim.start({"--replay", firstDir + '/' + files.first()}));
    answerSettings(sensorMode(sim.path, logDir), true);
    MainWindow w;
    acquire(w, [&] { return !sim.running(); });
    QVERIFY2(sim.errors().contains("sent 300 frames"), "the replay stopped early");

    const QList<QList<int>> second = loggedSamples(logDir);
    QVERIFY(second.size() >= 20);
    QVERIFY2(compareWithSent(second, first).invented == 0, "the replayed log is not a subsequence of the first");
}

void tst_ImuSim::noisyLine_data()
{
    QTest::addColumn<QStringList>("faults");
    QTest::addColumn<double>("neverSentAtMost"); // share of the logged samples
    QTest::addColumn<double>("keptAtLeast");     // share of the frames sent
    // Random bytes between frames cost the frames whose first bytes look
    // like end bytes, and the frame after a burst that the next frame does
    // not confirm: 0.92 kept measured.
    QTest::newRow("garbage 0.2") << QStringList{"--garbage", "0.2"} << 0.01 << 0.85;
    QTest::newRow("garbage 0.2, bursts")
        << QStringList{"--garbage", "0.2", "--pacing", "burst", "--burst-ms", "4"} << 0.01 << 0.85;
    // A frame that lost a byte is never shown: its window would take in a
    // byte of the frame before. The frame after it follows its end bytes and
    // is shown at once. About half the frames lose one at 5 % (0.48 kept
    // measured), one in seven at 1 % (0.86).
    QTest::newRow("drop 0.05") << QStringList{"--drop", "0.05"} << 0.005 << 0.4;
    QTest::newRow("drop 0.01, whole frames") << QStringList{"--drop", "0.01", "--pacing", "frame"} << 0.005 << 0.8;
    // Once the line is seen losing bytes, a frame after garbage no longer
    // counts. What still slips through is garbage exactly as long as the
    // bytes the next frame lost (0.9 % of the logged samples measured).
    QTest::newRow("garbage 0.2, drop 0.05") << QStringList{"--garbage", "0.2", "--drop", "0.05"} << 0.03 << 0.3;
}

// A faulty line read every 10 ms: what reaches the log was sent, and
// garbage between frames costs few of them.
void tst_ImuSim::noisyLine()
{
    QFETCH(QStringList, faults);
    QFETCH(double, neverSentAtMost);
    QFETCH(double, keptAtLeast);
    const int wanted = qEnvironmentVariableIntValue("IMU_NOISE_SAMPLES") > 0
                           ? qEnvironmentVariableIntValue("IMU_NOISE_SAMPLES")
                           : 200;

    Delivery delivery;
    int drawn = 0;
    readAt(10, faults + QStringList{"--seed", "7"}, wanted, delivery, drawn);
    if (QTest::currentTestFailed())
        return;
    const double neverSent = double(delivery.invented) / double(delivery.received);
    const int logged = delivery.received - delivery.invented;
    const double kept = double(logged) / double(qMax(1, delivery.spanned));
    qInfo("%s: %d of %d logged samples never sent (%.3f%%); %d of %d frames logged",
          QTest::currentDataTag(), delivery.invented, delivery.received, 100 * neverSent, logged,
          delivery.spanned);
    QVERIFY(neverSent <= neverSentAtMost);
    QVERIFY(kept >= keptAtLeast);
}

// An unplugged adapter: the window keeps running and keeps every line logged
// before the loss; Stop closes the lost port and Start opens a new device.
void tst_ImuSim::hangUpAndRecover_data()
{
    QTest::addColumn<QString>("pacing");
    for (const char *pacing : {"byte", "burst", "frame"})
        QTest::newRow(pacing) << QString::fromLatin1(pacing);
}

void tst_ImuSim::hangUpAndRecover()
{
    QFETCH(QString, pacing);
    Simulator unplugged;
    QVERIFY(unplugged.start({"--hangup-after", "1.5", "--pacing", pacing}));
    answerSettings(sensorMode(unplugged.path, logDir), true);
    MainWindow w;
    child<QCheckBox>(&w, "LogBox1")->setChecked(true);
    click(&w, "Start_Button");
    QTRY_VERIFY_WITH_TIMEOUT(!unplugged.running(), 10000);
    QVERIFY(unplugged.errors().contains("hung up"));

    // Ticks go on against the lost device and log nothing more.
    auto *timer = child<QTimer>(&w, "mainTimer");
    QSignalSpy ticks(timer, &QTimer::timeout);
    QTRY_VERIFY(ticks.size() >= 10);
    const QStringList beforeLoss = loggedLines(logDir);
    QVERIFY(!beforeLoss.isEmpty());
    QTRY_VERIFY(ticks.size() >= 20);
    QCOMPARE(loggedLines(logDir), beforeLoss);
    QVERIFY(timer->isActive());

    click(&w, "Stop_Button");
    QCOMPARE(messages(&w), QStringList{"USB closed"});

    Simulator replugged;
    QVERIFY(replugged.start({}));
    answerSettings([&](QDialog *d) { child<QLineEdit>(d, "devicenameField")->setText(replugged.path); }, true);
    child<QAction>(&w, "actionOptions")->trigger();
    acquireLines(w, beforeLoss.size() + 20);

    const QStringList all = loggedLines(logDir);
    QCOMPARE(all.mid(0, beforeLoss.size()), beforeLoss);
    QCOMPARE(compareWithSent(loggedSamples(logDir).mid(beforeLoss.size()), waveSamples(100000)).invented, 0);
}

// One name for every run: the monitor reads through the link, and when the
// simulator is stopped (SIGTERM, as a desktop session ends it) the link goes
// with it; the next run's link brings the waiting monitor back.
void tst_ImuSim::linkForEveryRun()
{
    const QString link = scratch.filePath("imu-sim-link");
    // Left by a run that was killed: replaced.
    QVERIFY(QFile::link(QStringLiteral("/dev/pts/2147483647"), link));

    Simulator first;
    QVERIFY(first.start({"--link", link}));
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(QFileInfo(link).symLinkTarget(), first.path);

    answerSettings(sensorMode(link, logDir), true);
    MainWindow w;
    child<QCheckBox>(&w, "LogBox1")->setChecked(true);
    click(&w, "Start_Button");
    QCOMPARE(messages(&w).last(), QStringLiteral("Serial port opened"));
    QTRY_VERIFY_WITH_TIMEOUT(loggedLines(logDir).size() >= 20, 30000);

    first.process.terminate();
    QVERIFY(first.process.waitForFinished(10000));
    QCOMPARE(first.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(first.process.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
    QVERIFY(!QFileInfo::exists(link));
    QTRY_VERIFY_WITH_TIMEOUT(messages(&w).contains("Serial device lost"), 10000);
    const qsizetype beforeLoss = loggedLines(logDir).size();

    Simulator second;
    QVERIFY(second.start({"--link", link}));
    QCOMPARE(QFileInfo(link).symLinkTarget(), second.path);
    QTRY_VERIFY_WITH_TIMEOUT(messages(&w).last() == QStringLiteral("Serial port opened"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(loggedLines(logDir).size() >= beforeLoss + 20, 30000);
    click(&w, "Stop_Button");
    const Delivery delivery = compareWithSent(loggedSamples(logDir).mid(beforeLoss), waveSamples(100000));
    QCOMPARE(delivery.invented, 0);

    second.process.terminate();
    QVERIFY(second.process.waitForFinished(10000));
    QVERIFY(!QFileInfo(link).isSymLink());

    // A file of the user's at the path is never replaced.
    const QString notes = scratch.filePath("notes.txt");
    {
        QFile f(notes);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("mine\n");
    }
    QProcess refused;
    refused.start(QStringLiteral(IMU_SIM_PATH), {"--link", notes});
    QVERIFY(refused.waitForFinished(10000));
    QCOMPARE(refused.exitCode(), 1);
    QVERIFY(!QFileInfo(notes).isSymLink());
    QFile f(notes);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("mine\n"));
}

QTEST_MAIN(tst_ImuSim)
#include "tst_imusim.moc"
