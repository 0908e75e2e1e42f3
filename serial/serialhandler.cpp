#include "serialhandler.h"

#include "framelayout.h"
#include "linerate.h"
#include "serialdiagnostics.h"
#include "serialportsource.h"

#include <QDateTime>
#include <QDebug>
#include <QFile>

#include <cmath>
#include <string>
#include <utility>

Q_LOGGING_CATEGORY(lcSerial, "imu.serial")
Q_LOGGING_CATEGORY(lcSerialReads, "imu.serial.reads")

namespace {
// Each byte is asked for only after the port reported one waiting.
constexpr unsigned int ReadTimeoutMs = 1;
}

serialhandler::serialhandler(QObject *parent)
    : QObject(parent)
    , devicename(QString::fromLatin1(DefaultSerialDevice))
{
}

serialhandler::~serialhandler() = default;

void serialhandler::updateOptions(int *optionFrame)
{
    if (!optionFrame)
        return;
    const FrameLayout next = FrameLayout::fromOptionFrame(optionFrame);
    // The same layout confirmed again loses nothing.
    if (next == parser.layout())
        return;
    // What was read or waits now was framed by the old layout.
    parser.setLayout(next);
    dropWaitingBeyond(0, "of the old frame layout");
}

void serialhandler::receiveDevicename(QString devicename_)
{
    devicename = devicename_;
}

int serialhandler::OpenUsb(int)
{
    if (!QFile::exists(devicename)) {
        qCDebug(lcSerial) << "device does not exist";
        qCDebug(lcSerial) << devicename;
        return -1;
    }
    if (!initializeSerial()) {
        qCDebug(lcSerial) << "Serial port is not open";
        return 0;
    }
    return 1;
}

bool serialhandler::initializeSerial()
{
    // Closing first also lets the same device be opened again: LibSerial
    // opens it for exclusive use.
    serialPort.reset();
    portPath = devicename;
    attachByteSource(openPort(devicename));
    if (!serialPort)
        qCDebug(lcSerial).noquote() << "Cannot use" << devicename << "as a serial port:" << lastOpenError;
    return serialPort != nullptr;
}

int serialhandler::reopenLostPort()
{
    if (!QFile::exists(portPath))
        return -1;
    std::unique_ptr<ByteSource> port = openPort(portPath);
    if (!port) {
        qCDebug(lcSerial).noquote() << "Cannot reopen" << portPath << ":" << lastOpenError;
        return 0;
    }
    attachByteSource(std::move(port));
    return 1;
}

std::unique_ptr<ByteSource> serialhandler::openPort(const QString &path)
{
    std::string error;
    std::unique_ptr<ByteSource> port =
        SerialPortSource::open(QFile::encodeName(path).toStdString(), &error, &lastOpenFailure);
    lastOpenError = QString::fromStdString(error);
    return port;
}

int serialhandler::CloseUsb()
{
    if (!serialPort)
        return -1;
    attachByteSource(nullptr);
    return 1;
}

void serialhandler::attachByteSource(std::unique_ptr<ByteSource> source)
{
    serialPort = std::move(source);
    lost = false;
    // Whatever comes next is the first byte of a line.
    parser.restart(true);
}

LinkStatistics serialhandler::takeStatistics()
{
    LinkStatistics counts = parser.takeCounts();
    counts.bytesTaken = std::exchange(bytesTaken, 0);
    counts.bytesDropped = std::exchange(bytesDropped, 0);
    return counts;
}

bool serialhandler::dropWaitingBeyond(int count, const char *why)
{
    if (!serialPort)
        return false;
    const int waiting = serialPort->waitingCount();
    if (waiting <= count)
        return false;
    const int dropped = serialPort->discard(waiting - count);
    if (dropped <= 0)
        return false;
    qCDebug(lcSerial).noquote() << "Dropped" << dropped << "waiting bytes" << why;
    bytesDropped += dropped;
    return true;
}

void serialhandler::readSerial()
{
    // The timer may still tick after Stop, or when switching out of test mode.
    if (!serialPort) {
        qCDebug(lcSerialReads) << "No serial port open, nothing read";
        return;
    }
    // A tick held up for seconds may find more than one read takes; the
    // readouts would otherwise fall further behind at every tick.
    if (dropWaitingBeyond(ReadCap, "to keep up with the line"))
        parser.restart(false); // the kept bytes no longer join what comes next

    const int taken = takeWaitingBytes();
    const qint64 readAt = QDateTime::currentMSecsSinceEpoch();
    if (taken < 0) {
        // Nothing from a line that went away mid-read is trusted; the
        // readouts stay where the line stopped.
        qCDebug(lcSerial) << "Serial device lost";
        parser.restart(false);
        if (!lost) {
            lost = true;
            emit deviceLost();
        }
        return;
    }
    const FrameParser::Result read = parser.feed(readBuffer.data(), taken);
    reportRead(taken, read);
    emitSamples(read.frames, taken, readAt);
}

int serialhandler::takeWaitingBytes()
{
    bool gone = false;
    bool timedOut = false;
    int taken = 0;
    // Bytes beyond ReadCap stay waiting in the port for the next call.
    while (taken < ReadCap) {
        const ByteSource::Block block =
            serialPort->readWaiting(readBuffer.data() + taken, ReadCap - taken, ReadTimeoutMs);
        taken += block.count;
        if (block.status != ByteSource::Status::Ok) {
            gone = block.status == ByteSource::Status::DeviceLost;
            timedOut = !gone;
            break;
        }
        if (block.count == 0)
            break;
    }
    bytesTaken += taken;
    qCDebug(lcSerialReads) << taken;
    if (timedOut)
        qCDebug(lcSerialReads) << "Serial read timed out";
    return gone ? -1 : taken;
}

void serialhandler::reportRead(int taken, const FrameParser::Result &read) const
{
    if (taken >= 1 && read.tail == FrameParser::Tail::TooShort)
        qCDebug(lcSerialReads) << "Too short msg!";
    else if (taken >= 1 && read.tail == FrameParser::Tail::NotAFrame)
        qCDebug(lcSerialReads) << "Check bytes not correct!";
    if (read.undecodable)
        qCDebug(lcSerialReads) << "Frame has fewer than 12 data bytes, no sample";
}

void serialhandler::emitSamples(const std::vector<FrameParser::Frame> &frames, int taken, qint64 readAt)
{
    if (frames.empty())
        return;
    QVector<ImuSample> samples;
    QVector<qint64> arrivals;
    samples.reserve(qsizetype(frames.size()));
    arrivals.reserve(qsizetype(frames.size()));
    for (const FrameParser::Frame &frame : frames) {
        samples.append(frame.sample);
        const double bytesAfter = taken - frame.end;
        arrivals.append(readAt - std::llround(1000.0 * bytesAfter / LineRate::BytesPerSecond));
    }
    const ImuSample newest = samples.constLast();
    emit SendSamples(samples, arrivals);
    emit SendData(newest.accX, newest.accY, newest.accZ, newest.gyroX, newest.gyroY, newest.gyroZ);
}

#include "moc_serialhandler.cpp"
