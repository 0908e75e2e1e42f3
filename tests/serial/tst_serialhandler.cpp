#include "bytesource.h"
#include "framebytes.h"
#include "framelayout.h"
#include "ptypair.h"
#include "serialhandler.h"
#include "unprivileged.h"

#include <QDir>
#include <QLoggingCategory>
#include <QProcess>
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

} // namespace

class tst_SerialHandler : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void diagnostics_data();
    void diagnostics();
    void longReadKeepsEveryFrame();
    void moreThanOneBuffer();
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

void tst_SerialHandler::initTestCase()
{
    QVERIFY(tempDir.isValid());
    qtTestHandler = qInstallMessageHandler(recordDebug);
}

void tst_SerialHandler::init()
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

void tst_SerialHandler::readOnce(const QStringList &lines, const Samples &batch)
{
    handler->readSerial();
    QCOMPARE(debugLines, lines);
    QCOMPARE(batches(*batchSpy), QList<Samples>{batch});
    QCOMPARE(emitted(*spy), Samples{batch.last()});
}

void tst_SerialHandler::diagnostics_data()
{
    QTest::addColumn<Record>("record"); // empty: the settings never arrived
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<Samples>("samples");

    const QByteArray example = QByteArray::fromHex("0005fffe006401008000" "7fff");
    QTest::newRow("one frame, untouched dialog layout")
        << dialogLayout << example + "\x37\x01" << QStringList{"14"} << Samples{{256, -32768, 32767, 5, -2, 100}};
    QTest::newRow("dialog end bytes under the initial layout")
        << Record() << example + "\x37\x01" << QStringList{"14", "Check bytes not correct!"} << Samples();
    QTest::newRow("nothing waiting") << dialogLayout << QByteArray() << QStringList{"0"} << Samples();
    QTest::newRow("ten bytes") << dialogLayout << frame(a).left(10) << QStringList{"10", "Too short msg!"} << Samples();
    QTest::newRow("frame, then part of one") << dialogLayout << frame(a) + frame(b).left(6)
                                             << QStringList{"20", "Check bytes not correct!"} << Samples{values(a)};
    QTest::newRow("fewer than twelve data bytes") << Record{6, -1, -1, 55, 1} << QByteArray("abcdef\x37\x01")
        << QStringList{"8", "Frame has fewer than 12 data bytes, no sample"} << Samples();
}

// What one read writes to the debug output, and what it emits: the newest
// sample, at the end of the read's batch.
void tst_SerialHandler::diagnostics()
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
    const QList<Samples> reads = batches(*batchSpy);
    QCOMPARE(reads.size(), samples.size());
    if (!samples.isEmpty())
        QCOMPARE(reads.first().last(), samples.last());
    QCOMPARE(pty->bytesWaiting(), 0);
}

// A second of the line read at once, as a read every 1000 ms does: every
// frame in it is kept, none is dropped.
void tst_SerialHandler::longReadKeepsEveryFrame()
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
void tst_SerialHandler::moreThanOneBuffer()
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

void tst_SerialHandler::keptBytes_data()
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
void tst_SerialHandler::keptBytes()
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

void tst_SerialHandler::sourceFailures_data()
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

void tst_SerialHandler::sourceFailures()
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

void tst_SerialHandler::openFailures_data()
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

void tst_SerialHandler::openFailures()
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

void tst_SerialHandler::openAsOrdinaryUser_data()
{
    QTest::addColumn<bool>("heldExclusively");
    QTest::addColumn<int>("failure");
    // A pseudo-terminal's slave belongs to root and the tty group, as a USB
    // adapter belongs to root and the dialout group.
    QTest::newRow("not in the device's group") << false << int(OpenFailure::PermissionDenied);
    QTest::newRow("held by another program") << true << int(OpenFailure::Busy);
}

// What an ordinary user meets, told apart so the window can say what to do.
void tst_SerialHandler::openAsOrdinaryUser()
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
void tst_SerialHandler::reopenAsOrdinaryUser()
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

void tst_SerialHandler::layoutChangeDropsWaitingBytes()
{
    handler->updateOptions(Record(dialogLayout).data());
    QVERIFY(open(*handler, *pty));
    QVERIFY(send(*pty, frame(a) + frame(b)));
    handler->updateOptions(Record{16, -1, -1, 55, 1}.data());
    QCOMPARE(debugLines, QStringList{"Dropped 28 waiting bytes of the old frame layout"});
    QCOMPARE(pty->bytesWaiting(), 0);
    QCOMPARE(handler->takeStatistics().bytesDropped, 28);
}

void tst_SerialHandler::openOnPseudoTerminal()
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

void tst_SerialHandler::closeAndReadWithoutPort()
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

void tst_SerialHandler::portFollowsLatestOpen()
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

void tst_SerialHandler::deviceLost_data()
{
    QTest::addColumn<bool>("stopFirst");
    QTest::newRow("Stop after the loss") << true;
    QTest::newRow("destroyed while lost") << false;
}

void tst_SerialHandler::deviceLost()
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
    tst_SerialHandler test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_serialhandler.moc"
