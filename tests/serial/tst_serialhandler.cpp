#include "bytesource.h"
#include "framelayout.h"
#include "ptypair.h"
#include "serialhandler.h"
#include "unprivileged.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QProcess>
#include <QThread>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <array>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <functional>
#include <memory>

using Record = QList<int>;
using Samples = QList<QList<int>>;

namespace {

// Every debug line is recorded so that a test compares the whole sequence:
// a wrong, missing or extra line fails. Other messages go on to Qt Test.
QStringList debugLines;
QtMessageHandler qtTestHandler = nullptr;

void recordDebug(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg)
        debugLines << message;
    else
        qtTestHandler(type, context, message);
}

const char openFlag[] = "--open-as-nobody";
constexpr int cannotDropPrivileges = 3;

const Record dialogLayout{12, -1, -1, 55, 1};
const Record initialLayout{12, -1, -1, 37, 1};
const ImuSample a{1, 2, 3, 4, 5, 6};
const ImuSample b{-1, 1000, -1000, 12345, -12345, 7};

QByteArray frame(const ImuSample &sample, const Record &record = dialogLayout)
{
    const auto bytes = FrameLayout::fromOptionFrame(record.constData()).encode(sample);
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
}

QList<int> values(const ImuSample &s)
{
    return {s.accX, s.accY, s.accZ, s.gyroX, s.gyroY, s.gyroZ};
}

// The samples of every SendSamples batch, one list per read.
QList<Samples> batches(QSignalSpy &spy)
{
    QList<Samples> reads;
    for (const QList<QVariant> &arguments : spy) {
        reads << Samples();
        for (const ImuSample &s : arguments.at(0).value<QVector<ImuSample>>())
            reads.last() << values(s);
    }
    spy.clear();
    return reads;
}

Samples emitted(QSignalSpy &spy)
{
    Samples samples;
    for (const QList<QVariant> &arguments : spy) {
        samples << QList<int>();
        for (const QVariant &value : arguments)
            samples.last() << value.value<int16_t>();
    }
    spy.clear();
    return samples;
}

// Reports a byte waiting, then hands out bytes until it fails with failure,
// or hands out 0xAA for ever: what a pseudo-terminal cannot do on demand.
class FailingSource : public ByteSource
{
public:
    FailingSource(QByteArray bytes, Status failure) : bytes(std::move(bytes)), failure(failure) {}
    Status dataAvailable() noexcept override { return Status::Ok; }
    Status readByte(unsigned char &byte, unsigned int) noexcept override
    {
        if (failure != Status::Ok && position == bytes.size())
            return failure;
        byte = failure == Status::Ok ? 0xAA : static_cast<unsigned char>(bytes[position++]);
        return Status::Ok;
    }

private:
    QByteArray bytes;
    Status failure;
    qsizetype position = 0;
};

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::System).size());
}

// Points handler at pty and opens it, which writes no debug line.
bool open(serialhandler &handler, const PtyPair &pty)
{
    handler.receiveDevicename(pty.slavePath());
    const QStringList before = debugLines;
    return handler.OpenUsb(0) == 1 && debugLines == before;
}

// Writes bytes as the sensor and waits until all of them wait at the port.
bool send(PtyPair &pty, const QByteArray &bytes)
{
    const int target = pty.bytesWaiting() + int(bytes.size());
    return pty.write(bytes) && QTest::qWaitFor([&] { return pty.bytesWaiting() == target; });
}

// The same for a few bytes at a time, thousands of times over: the bytes
// reach the slave side within microseconds, so spin rather than sleep.
bool sendNow(PtyPair &pty, const QByteArray &bytes)
{
    const int target = pty.bytesWaiting() + int(bytes.size());
    if (!pty.write(bytes))
        return false;
    QElapsedTimer waited;
    waited.start();
    while (pty.bytesWaiting() != target) {
        if (waited.elapsed() > 5000)
            return false;
        QThread::usleep(20);
    }
    return true;
}

} // namespace

class tst_serialhandler : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void parse_data();
    void parse();
    void everyByteValue();
    void everyFrameOfARead();
    void longReadKeepsEveryFrame();
    void moreThanOneBuffer();
    void frameSplitAcrossReads_data();
    void frameSplitAcrossReads();
    void keptBytes_data();
    void keptBytes();
    void sourceFailures_data();
    void sourceFailures();
    void openFailures_data();
    void openFailures();
    void openAsOrdinaryUser_data();
    void openAsOrdinaryUser();
    void reopenAsOrdinaryUser();
    void layoutChangeDropsWaitingBytes();
    void openOnPseudoTerminal();
    void closeAndReadWithoutPort();
    void portFollowsLatestOpen();
    void deviceLost_data();
    void deviceLost();

private:
    QTemporaryDir tempDir;
    // Reads once, which must write lines to the debug output and emit batch
    // as its one batch.
    void readOnce(const QStringList &lines, const Samples &batch);

    std::unique_ptr<PtyPair> pty;
    std::unique_ptr<serialhandler> handler;
    std::unique_ptr<QSignalSpy> spy;
    std::unique_ptr<QSignalSpy> batchSpy;
};

void tst_serialhandler::initTestCase()
{
    QVERIFY(tempDir.isValid());
    qtTestHandler = qInstallMessageHandler(recordDebug);
}

void tst_serialhandler::init()
{
    pty = std::make_unique<PtyPair>();
    QVERIFY2(pty->isValid(), qPrintable(pty->errorString()));
    handler = std::make_unique<serialhandler>();
    spy = std::make_unique<QSignalSpy>(handler.get(), &serialhandler::SendData);
    QVERIFY(spy->isValid());
    batchSpy = std::make_unique<QSignalSpy>(handler.get(), &serialhandler::SendSamples);
    QVERIFY(batchSpy->isValid());
    debugLines.clear();
}

void tst_serialhandler::readOnce(const QStringList &lines, const Samples &batch)
{
    handler->readSerial();
    QCOMPARE(debugLines, lines);
    QCOMPARE(batches(*batchSpy), QList<Samples>{batch});
    QCOMPARE(emitted(*spy), Samples{batch.last()});
}

void tst_serialhandler::parse_data()
{
    QTest::addColumn<Record>("record"); // empty: the settings never arrived
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<Samples>("samples");

    const QByteArray example = QByteArray::fromHex("0005fffe006401008000" "7fff");
    const Samples exampleSample{{256, -32768, 32767, 5, -2, 100}};
    const Record start2{12, -1, 7, -1, -1}, end1{12, -1, -1, 9, -1}, starts{16, 170, 85, 55, 1};
    const Record noMarkers{12, -1, -1, -1, -1}, startsOnly{12, 170, 85, -1, -1};

    QTest::newRow("one frame, untouched dialog layout")
        << dialogLayout << example + "\x37\x01" << QStringList{"14"} << exampleSample;
    QTest::newRow("one frame, initial layout") << Record() << example + "\x25\x01" << QStringList{"14"} << exampleSample;
    QTest::newRow("dialog end bytes under the initial layout")
        << Record() << example + "\x37\x01" << QStringList{"14", "Check bytes not correct!"} << Samples();
    QTest::newRow("two frames: the second counts")
        << dialogLayout << frame(a) + frame(b) << QStringList{"28"} << Samples{values(b)};
    QTest::newRow("nothing waiting") << dialogLayout << QByteArray() << QStringList{"0"} << Samples();
    QTest::newRow("ten bytes") << dialogLayout << frame(a).left(10) << QStringList{"10", "Too short msg!"} << Samples();
    // The end bytes of a frame say where the next begins; a frame after a
    // break waits for the next one to follow it directly.
    QTest::newRow("begins with the end of a frame")
        << dialogLayout << frame(a).right(5) + frame(b) << QStringList{"19"} << Samples{values(b)};
    QTest::newRow("begins in the middle of a frame")
        << dialogLayout << frame(a).mid(2, 4) + frame(b) + frame(a) << QStringList{"32"} << Samples{values(a)};
    QTest::newRow("begins in the middle of a frame, no frame after it")
        << dialogLayout << frame(a).mid(2, 4) + frame(b) << QStringList{"18"} << Samples();
    QTest::newRow("one end byte of the frame before lost")
        << dialogLayout << frame(a).remove(13, 1) + frame(b) + frame(a) << QStringList{"41"} << Samples{values(a)};
    QTest::newRow("frame, then part of one") << dialogLayout << frame(a) + frame(b).left(6)
                                             << QStringList{"20", "Check bytes not correct!"} << Samples{values(a)};
    // After garbage a window counts only when it holds no end bytes but its
    // own: a frame that lost a byte holds those of the frame before it.
    QTest::newRow("garbage before two frames") << dialogLayout << "xyz" + frame(a) + frame(b)
                                               << QStringList{"31"} << Samples{values(b)};
    QTest::newRow("garbage, then a frame and one that lost a byte")
        << dialogLayout << "xyz" + frame(a) + frame(b).remove(3, 1) << QStringList{"30"}
        << Samples();
    QTest::newRow("end byte lost, then a frame that lost a byte")
        << dialogLayout << frame(b).remove(12, 1) + frame(a).remove(3, 1) << QStringList{"26"} << Samples();
    QTest::newRow("end byte lost, then a frame that lost three bytes")
        << dialogLayout << frame(b).remove(13, 1) + frame(a).remove(8, 1).remove(5, 1).remove(2, 1)
        << QStringList{"24"} << Samples();
    QTest::newRow("garbage ending in end bytes, then a frame that lost a byte")
        << dialogLayout << QByteArray("xyz\x37\x01", 5) + frame(b).remove(3, 1) << QStringList{"18"}
        << Samples();
    QTest::newRow("garbage with end bytes between frames")
        << dialogLayout << frame(b) + QByteArray("\x37\x37\x01\x00", 4) + frame(a) << QStringList{"32"}
        << Samples{values(b)};
    // The window that ends at the damaged frame's end bytes begins with the
    // end byte of the frame before it.
    QTest::newRow("byte lost inside a frame")
        << dialogLayout << frame(a) + frame(b).remove(3, 1) << QStringList{"27"} << Samples{values(a)};
    // Nothing marks where a frame begins: frames are the twelve-byte blocks
    // of the line, one after the other.
    QTest::newRow("all markers off: twelve bytes at a time")
        << noMarkers << frame(a, noMarkers) + frame(b, noMarkers) + "12345" << QStringList{"29"}
        << Samples{values(b)};
    // With start bytes only, a frame is judged by the start of the next.
    QTest::newRow("only start byte 2") << start2 << frame(b, start2)
        << QStringList{"13"} << Samples();
    QTest::newRow("only start byte 2, next frame begun") << start2 << frame(b, start2) + frame(a, start2).left(2)
        << QStringList{"15", "Check bytes not correct!"} << Samples{values(b)};
    QTest::newRow("start bytes only, garbage after a frame") << startsOnly
        << frame(a, startsOnly) + "xyz" << QStringList{"17", "Check bytes not correct!"} << Samples{values(a)};
    QTest::newRow("start bytes only, byte lost inside a frame") << startsOnly
        << frame(a, startsOnly) + frame(b, startsOnly).remove(5, 1) + frame(a, startsOnly).left(2)
        << QStringList{"29", "Check bytes not correct!"} << Samples{values(a)};
    QTest::newRow("only end byte 1") << end1 << frame(b, end1) << QStringList{"13"} << Samples{values(b)};
    QTest::newRow("start bytes: sample from the data bytes")
        << starts << "\x37\x01" + frame(b, starts) + frame(a, starts) << QStringList{"42"} << Samples{values(a)};
    QTest::newRow("fewer than twelve data bytes") << Record{6, -1, -1, 55, 1} << QByteArray("abcdef\x37\x01")
        << QStringList{"8", "Frame has fewer than 12 data bytes, no sample"} << Samples();
    QTest::newRow("marker that cannot fit the frame") << Record{0, -1, 5, -1, -1} << QByteArray("\x05\x05")
        << QStringList{"2", "Check bytes not correct!"} << Samples();
}

void tst_serialhandler::parse()
{
    QFETCH(Record, record);
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    QFETCH(Samples, samples);

    if (!record.isEmpty())
        handler->updateOptions(record.data());
    QVERIFY(open(*handler, *pty));
    QVERIFY(send(*pty, bytes));
    handler->readSerial();
    QCOMPARE(debugLines, lines);
    QCOMPARE(emitted(*spy), samples);
    // The batch of the read ends in the sample shown.
    const QList<Samples> reads = batches(*batchSpy);
    QCOMPARE(reads.size(), samples.size());
    if (!samples.isEmpty())
        QCOMPARE(reads.first().last(), samples.last());
    QCOMPARE(pty->bytesWaiting(), 0);
}

void tst_serialhandler::everyByteValue()
{
    handler->updateOptions(Record(dialogLayout).data());
    QVERIFY(open(*handler, *pty));
    const FrameLayout layout = FrameLayout::fromOptionFrame(dialogLayout.constData());
    for (int first = 0; first < 256; first += 12) {
        unsigned char data[12];
        for (int k = 0; k < 12; ++k)
            data[k] = static_cast<unsigned char>(first + k);
        QVERIFY(send(*pty, QByteArray(reinterpret_cast<const char *>(data), 12) + "\x37\x01"));
        handler->readSerial();
        QCOMPARE(emitted(*spy), Samples{values(*layout.decode(data, 12))});
    }
}

// Frames between garbage, a damaged frame and a partial one, all in one
// read: every whole frame comes out, in line order.
void tst_serialhandler::everyFrameOfARead()
{
    handler->updateOptions(Record(dialogLayout).data());
    QVERIFY(open(*handler, *pty));
    handler->takeStatistics();
    // After garbage a frame waits for the next one to follow it; then both
    // come out. The frame after the damaged one follows its end bytes.
    QVERIFY(send(*pty, frame(a) + frame(b) + "xyz" + frame(a) + frame(b) + frame(b).remove(3, 1) + frame(b)
                           + frame(a) + "xyz" + frame(b) + frame(a).left(5)));
    handler->readSerial();
    QCOMPARE(batches(*batchSpy), QList<Samples>{(Samples{values(a), values(b), values(a), values(b),
                                                         values(b), values(a)})});
    QCOMPARE(emitted(*spy), Samples{values(a)});
    const LinkStatistics counted = handler->takeStatistics();
    QCOMPARE(counted.framesFound, 7);
    QCOMPARE(counted.framesConfirmed, 6);
    QCOMPARE(counted.samplesEmitted, 6);
    // The frame that lost a byte still ended in its end bytes. After it
    // the line is known to lose bytes, so the frame after the second
    // garbage may be one that lost some: it fails and no frame confirms it.
    QCOMPARE(counted.framesFailed, 2);

    QVERIFY(send(*pty, frame(a).mid(5) + frame(b)));
    handler->readSerial();
    QCOMPARE(batches(*batchSpy), QList<Samples>{(Samples{values(a), values(b)})});
}

// A second of the line read at once, as a read every 1000 ms does: every
// frame in it is kept, none is dropped.
void tst_serialhandler::longReadKeepsEveryFrame()
{
    handler->updateOptions(Record(dialogLayout).data());
    QVERIFY(open(*handler, *pty));
    QByteArray second;
    Samples sent;
    for (int16_t k = 0; second.size() < 1000; ++k) {
        second += frame(ImuSample{k, k, k, k, k, k});
        sent << values(ImuSample{k, k, k, k, k, k});
    }
    second.truncate(1000);
    sent.removeLast(); // cut short
    QVERIFY(send(*pty, second));
    handler->takeStatistics();

    readOnce({"1000", "Check bytes not correct!"}, sent);
    const LinkStatistics counted = handler->takeStatistics();
    QCOMPARE((std::array<long long, 3>{counted.bytesTaken, counted.bytesDropped, counted.framesFound}),
             (std::array<long long, 3>{1000, 0, 71}));
    QCOMPARE(counted.framesFailed, 0);
}

// More waiting than one read takes, after a tick held up for seconds: the
// oldest bytes go, so that the readouts do not fall further behind, and
// every frame in what is read comes out. A pseudo-terminal holds no more
// than the cap, so the bytes wait in memory here.
void tst_serialhandler::moreThanOneBuffer()
{
    class HeldBytes : public ByteSource
    {
    public:
        explicit HeldBytes(QByteArray bytes) : bytes(std::move(bytes)) {}
        Status dataAvailable() noexcept override { return bytes.isEmpty() ? Status::NoData : Status::Ok; }
        Status readByte(unsigned char &byte, unsigned int) noexcept override
        {
            if (bytes.isEmpty())
                return Status::NoData;
            byte = static_cast<unsigned char>(bytes.front());
            bytes.remove(0, 1);
            return Status::Ok;
        }
        int waitingCount() noexcept override { return int(bytes.size()); }
        int discard(int count) noexcept override
        {
            const int gone = qMin(count, int(bytes.size()));
            bytes.remove(0, gone);
            return gone;
        }

    private:
        QByteArray bytes;
    };

    QByteArray burst;
    for (int16_t k = 0; burst.size() < 5000; ++k)
        burst += frame(ImuSample{k, k, k, k, k, k});
    burst.truncate(5000);
    handler->updateOptions(Record(dialogLayout).data());
    handler->attachByteSource(std::make_unique<HeldBytes>(burst));
    handler->takeStatistics();

    // Frames 65 to 356 lie whole in the last 4096 bytes.
    Samples kept;
    for (int16_t k = 65; k <= 356; ++k)
        kept << values(ImuSample{k, k, k, k, k, k});
    readOnce({"Dropped 904 waiting bytes to keep up with the line", "4096", "Check bytes not correct!"}, kept);
    const LinkStatistics counted = handler->takeStatistics();
    QCOMPARE((std::array<long long, 3>{counted.bytesTaken, counted.bytesDropped, counted.framesFound}),
             (std::array<long long, 3>{4096, 904, 292}));
    QCOMPARE(counted.samplesEmitted, 292);

    debugLines.clear();
    handler->readSerial();
    QCOMPARE(debugLines, QStringList{"0"});
    QCOMPARE(spy->count(), 0);
}

void tst_serialhandler::frameSplitAcrossReads_data()
{
    QTest::addColumn<Record>("record");
    QTest::addColumn<int>("chunk");

    const struct {
        const char *name;
        Record record;
    } layouts[] = {
        {"untouched dialog layout", dialogLayout},
        {"start bytes only", {12, 170, 85, -1, -1}},
        {"99 data bytes and all markers", {99, 170, 85, 55, 1}},
    };
    for (const auto &layout : layouts) {
        const int length = FrameLayout::fromOptionFrame(layout.record.constData()).frameLength();
        for (int chunk = 1; chunk <= 4 * length; ++chunk)
            QTest::addRow("%s, %d-byte reads", layout.name, chunk) << layout.record << chunk;
    }
}

// A line hands the reader its bytes a few at a time, or in bursts of several
// frames, so a read seldom ends where a frame ends. However the stream is
// cut, every frame comes out exactly once, in order, and the sample shown
// after each read is the newest of that read.
void tst_serialhandler::frameSplitAcrossReads()
{
    QFETCH(Record, record);
    QFETCH(int, chunk);
    const FrameLayout layout = FrameLayout::fromOptionFrame(record.constData());
    const int length = layout.frameLength();

    Samples sent;
    QByteArray stream = frame(ImuSample{9, 9, 9, 9, 9, 9}, record).right(5); // the line was opened mid-frame
    for (int k = 1; k <= 6; ++k) {
        const ImuSample sample{int16_t(3 * k), int16_t(-k), int16_t(1000 + k),
                               int16_t(2 * k), int16_t(-300 - k), int16_t(4 * k)};
        sent << values(sample);
        stream += frame(sample, record);
    }
    // Frames with start bytes only are judged by the start of the next.
    stream += frame(ImuSample{9, 9, 9, 9, 9, 9}, record).left(2);
    // Only the real frames may match, or the expectations below are wrong.
    const auto *bytes = reinterpret_cast<const unsigned char *>(stream.constData());
    for (int start = 0; start + length <= stream.size() - 2; ++start)
        QCOMPARE(layout.matches(bytes + start, length), (start - 5) % length == 0 && start >= 5);

    handler->updateOptions(record.data());
    QVERIFY(open(*handler, *pty));
    Samples got;
    for (int at = 0; at < stream.size(); at += chunk) {
        QVERIFY(sendNow(*pty, stream.mid(at, chunk)));
        handler->readSerial();
        const QList<Samples> read = batches(*batchSpy);
        const Samples shown = emitted(*spy);
        QCOMPARE(read.size(), shown.size());
        if (!read.isEmpty()) {
            QCOMPARE(shown.first(), read.first().last());
            got += read.first();
        }
    }
    QCOMPARE(got, sent);
}

void tst_serialhandler::keptBytes_data()
{
    QTest::addColumn<std::function<void(serialhandler &)>>("between");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<Samples>("samples");

    const QStringList dropped{"7", "Too short msg!"};
    QTest::newRow("nothing between") << std::function<void(serialhandler &)>([](serialhandler &) {})
                                     << QStringList{"7"} << Samples{values(a)};
    QTest::newRow("same layout confirmed again")
        << std::function<void(serialhandler &)>([](serialhandler &h) { h.updateOptions(Record(dialogLayout).data()); })
        << QStringList{"7"} << Samples{values(a)};
    // The kept half and the new one would make a 13-byte frame ending in 1.
    QTest::newRow("other layout") << std::function<void(serialhandler &)>([](serialhandler &h) {
        h.updateOptions(Record{12, -1, -1, -1, 1}.data());
    }) << dropped << Samples();
    QTest::newRow("port opened again")
        << std::function<void(serialhandler &)>([](serialhandler &h) { QCOMPARE(h.OpenUsb(0), 1); })
        << dropped << Samples();
    QTest::newRow("port closed and opened") << std::function<void(serialhandler &)>([](serialhandler &h) {
        QCOMPARE(h.CloseUsb(), 1);
        QCOMPARE(h.OpenUsb(0), 1);
    }) << dropped << Samples();
}

// The first half of a frame waits for the second in the reader, unless what
// came between means it belongs to another line or another layout.
void tst_serialhandler::keptBytes()
{
    QFETCH(std::function<void(serialhandler &)>, between);
    QFETCH(QStringList, lines);
    QFETCH(Samples, samples);

    handler->updateOptions(Record(dialogLayout).data());
    QVERIFY(open(*handler, *pty));
    QVERIFY(send(*pty, frame(a).left(7)));
    handler->readSerial();
    QCOMPARE(debugLines, (QStringList{"7", "Too short msg!"}));
    between(*handler);
    debugLines.clear();
    QVERIFY(send(*pty, frame(a).mid(7)));
    handler->readSerial();
    QCOMPARE(debugLines, lines);
    QCOMPARE(emitted(*spy), samples);
}

void tst_serialhandler::sourceFailures_data()
{
    QTest::addColumn<ByteSource::Status>("failure");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("emissions");

    QTest::newRow("read times out after a frame")
        << ByteSource::Status::NoData << QStringList{"14", "Serial read timed out"} << 1;
    QTest::newRow("device lost after a frame")
        << ByteSource::Status::DeviceLost << QStringList{"14", "Serial device lost"} << 0;
    QTest::newRow("source that never runs dry")
        << ByteSource::Status::Ok << QStringList{"4096", "Check bytes not correct!"} << 0;
}

void tst_serialhandler::sourceFailures()
{
    QFETCH(ByteSource::Status, failure);
    QFETCH(QStringList, lines);
    QFETCH(int, emissions);

    handler->updateOptions(Record(dialogLayout).data());
    handler->attachByteSource(std::make_unique<FailingSource>(frame(a), failure));
    handler->readSerial();
    QCOMPARE(debugLines, lines);
    QCOMPARE(spy->count(), emissions);
    QCOMPARE(handler->CloseUsb(), 1);
}

void tst_serialhandler::openFailures_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("result");
    QTest::addColumn<QStringList>("lines");

    const QString missing = tempDir.filePath("ttyMissing");
    QTest::newRow("missing device") << missing << -1 << QStringList{"device does not exist", '"' + missing + '"'};
    QTest::newRow("empty path") << QString() << -1 << QStringList{"device does not exist", "\"\""};
    if (!QFile::exists("/dev/ttyUSB0")) {
        QTest::newRow("default device, absent here")
            << QStringLiteral("/dev/ttyUSB0") << -1 << QStringList{"device does not exist", "\"/dev/ttyUSB0\""};
    }
    QFile file(tempDir.filePath("notes.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("12345678901234\n") > 0);
    file.close();
    for (const QString &path : {file.fileName(), QStringLiteral("/dev/null"), tempDir.path()}) {
        QTest::addRow("not a terminal: %s", qPrintable(path)) << path << 0
            << QStringList{"Cannot use " + path + " as a serial port: not a terminal", "Serial port is not open"};
    }
}

void tst_serialhandler::openFailures()
{
    QFETCH(QString, path);
    QFETCH(int, result);
    QFETCH(QStringList, lines);

    if (path != "/dev/ttyUSB0") // that one is the name a new handler starts with
        handler->receiveDevicename(path);
    QCOMPARE(handler->OpenUsb(0), result);
    QCOMPARE(debugLines, lines);
    if (result == 0)
        QCOMPARE(handler->openFailure(), OpenFailure::NotASerialDevice);
    QCOMPARE(handler->CloseUsb(), -1);
    // Nothing is left behind that a later open or the destructor trips over.
    QVERIFY(open(*handler, *pty));
}

void tst_serialhandler::openAsOrdinaryUser_data()
{
    QTest::addColumn<bool>("heldExclusively");
    QTest::addColumn<int>("failure");
    // A pseudo-terminal's slave belongs to root and the tty group, as a USB
    // adapter belongs to root and the dialout group.
    QTest::newRow("not in the device's group") << false << int(OpenFailure::PermissionDenied);
    QTest::newRow("held by another program") << true << int(OpenFailure::Busy);
}

// What an ordinary user meets, told apart so the window can say what to do.
void tst_serialhandler::openAsOrdinaryUser()
{
    QFETCH(bool, heldExclusively);
    QFETCH(int, failure);
    if (geteuid() != 0)
        QSKIP("needs root to make a device that an ordinary user cannot open");

    const QByteArray slave = QFile::encodeName(pty->slavePath());
    int holder = -1;
    if (heldExclusively) {
        QCOMPARE(::chmod(slave.constData(), 0666), 0);
        holder = ::open(slave.constData(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
        QVERIFY(holder >= 0);
        QCOMPARE(::ioctl(holder, TIOCEXCL), 0);
    }
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {openFlag, pty->slavePath()});
    QVERIFY(child.waitForFinished(10000));
    if (holder >= 0)
        ::close(holder);
    if (child.exitCode() == cannotDropPrivileges)
        QSKIP("running as root, but becoming nobody failed");
    QCOMPARE(child.exitCode(), 0);
    QCOMPARE(QString::fromLatin1(child.readAllStandardOutput()).trimmed(), QStringLiteral("0 %1").arg(failure));
}

// Stop then Start: the monitor's own exclusive hold on a pseudo-terminal must
// not outlive its close, or an ordinary user is refused as "busy".
void tst_serialhandler::reopenAsOrdinaryUser()
{
    if (geteuid() == 0)
        QCOMPARE(::chmod(QFile::encodeName(pty->slavePath()).constData(), 0666), 0);
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {openFlag, pty->slavePath(), "3"});
    QVERIFY(child.waitForFinished(10000));
    if (child.exitCode() == cannotDropPrivileges)
        QSKIP("running as root, but becoming nobody failed");
    QCOMPARE(child.exitCode(), 0);
    QCOMPARE(QString::fromLatin1(child.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts),
             QStringList(3, QStringLiteral("1 %1").arg(int(OpenFailure::None))));
}

void tst_serialhandler::layoutChangeDropsWaitingBytes()
{
    handler->updateOptions(Record(dialogLayout).data());
    QVERIFY(open(*handler, *pty));
    QVERIFY(send(*pty, frame(a) + frame(b)));
    handler->updateOptions(Record{16, -1, -1, 55, 1}.data());
    QCOMPARE(debugLines, QStringList{"Dropped 28 waiting bytes of the old frame layout"});
    QCOMPARE(pty->bytesWaiting(), 0);
    QCOMPARE(handler->takeStatistics().bytesDropped, 28);
}

void tst_serialhandler::openOnPseudoTerminal()
{
    handler->receiveDevicename(pty->slavePath());
    for (int argument : {0, 1, -1, 10, INT_MAX, INT_MIN}) {
        QCOMPARE(handler->OpenUsb(argument), 1);
        QVERIFY(send(*pty, frame(a, initialLayout)));
        handler->readSerial();
        QCOMPARE(emitted(*spy), Samples{values(a)});
    }
    QCOMPARE(debugLines, QStringList(6, "14"));
}

void tst_serialhandler::closeAndReadWithoutPort()
{
    QCOMPARE(handler->CloseUsb(), -1);
    QCOMPARE(handler->CloseUsb(), -1);
    QVERIFY(open(*handler, *pty));
    QCOMPARE(handler->CloseUsb(), 1);
    QCOMPARE(handler->CloseUsb(), -1);
    QVERIFY(debugLines.isEmpty());

    // A timer tick after Stop touches no port.
    QVERIFY(send(*pty, frame(a, initialLayout)));
    handler->readSerial();
    QCOMPARE(debugLines, QStringList{"No serial port open, nothing read"});
    QCOMPARE(spy->count(), 0);
    QCOMPARE(pty->bytesWaiting(), 14);
}

void tst_serialhandler::portFollowsLatestOpen()
{
    PtyPair second;
    QVERIFY2(second.isValid(), qPrintable(second.errorString()));
    QVERIFY(open(*handler, *pty));
    const int descriptors = openDescriptors();
    QVERIFY(open(*handler, *pty)); // the same device again, without Stop
    QCOMPARE(openDescriptors(), descriptors);

    // A new name changes nothing until the next open.
    handler->receiveDevicename(second.slavePath());
    QVERIFY(send(*pty, frame(a, initialLayout)));
    QVERIFY(send(second, frame(b, initialLayout)));
    handler->readSerial();
    QCOMPARE(emitted(*spy), Samples{values(a)});
    QCOMPARE(second.bytesWaiting(), 14);

    // Opening replaces (and closes) the port and drops what waited before.
    QCOMPARE(handler->OpenUsb(0), 1);
    QCOMPARE(openDescriptors(), descriptors);
    QVERIFY(send(*pty, frame(a, initialLayout)));
    QVERIFY(send(second, frame(b, initialLayout)));
    handler->readSerial();
    QCOMPARE(emitted(*spy), Samples{values(b)});
    QCOMPARE(pty->bytesWaiting(), 14);
}

void tst_serialhandler::deviceLost_data()
{
    QTest::addColumn<bool>("stopFirst");
    QTest::newRow("Stop after the loss") << true;
    QTest::newRow("destroyed while lost") << false;
}

void tst_serialhandler::deviceLost()
{
    QFETCH(bool, stopFirst);
    QVERIFY(open(*handler, *pty));
    pty->closeMaster();
    handler->readSerial();
    handler->readSerial();
    QCOMPARE(debugLines, (QStringList{"0", "Serial device lost", "0", "Serial device lost"}));
    QCOMPARE(spy->count(), 0);
    if (stopFirst) {
        QCOMPARE(handler->CloseUsb(), 1);
    } else {
        handler = std::make_unique<serialhandler>(); // the old one goes with its dead port
        spy = std::make_unique<QSignalSpy>(handler.get(), &serialhandler::SendData);
    }

    // The adapter is plugged in again and Start pressed.
    PtyPair again;
    QVERIFY2(again.isValid(), qPrintable(again.errorString()));
    QVERIFY(open(*handler, again));
    QVERIFY(send(again, frame(a, initialLayout)));
    handler->readSerial();
    QCOMPARE(emitted(*spy), Samples{values(a)});
}

// In a child process: becomes an ordinary user, opens the device at the path
// given (times over, closing it in between) and prints OpenUsb()'s result and
// openFailure() for each open.
int openAsNobody(const char *path, int times)
{
    if (!becomeUnprivileged())
        return cannotDropPrivileges;
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    serialhandler handler;
    handler.receiveDevicename(QString::fromLocal8Bit(path));
    for (int i = 0; i < times; ++i) {
        const int result = handler.OpenUsb(0);
        std::printf("%d %d\n", result, int(handler.openFailure()));
        handler.CloseUsb();
    }
    return 0;
}

int main(int argc, char *argv[])
{
    if ((argc == 3 || argc == 4) && qstrcmp(argv[1], openFlag) == 0)
        return openAsNobody(argv[2], argc == 4 ? std::atoi(argv[3]) : 1);
    QCoreApplication app(argc, argv);
    tst_serialhandler test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_serialhandler.moc"
