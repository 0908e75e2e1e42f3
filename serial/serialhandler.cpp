#include "serialhandler.h"

#include "framelayout.h"
#include "serialportsource.h"

#include <QDebug>
#include <QFile>

#include <algorithm>
#include <cstring>
#include <string>

namespace {
// Each byte is asked for only after the port reported one waiting.
constexpr unsigned int ReadTimeoutMs = 1;
}

serialhandler::serialhandler(QObject *parent)
    : QObject(parent)
    , devicename(QStringLiteral("/dev/ttyUSB0"))
{
    applyLayout(FrameLayout());
    std::memset(readBuffer, 0, sizeof readBuffer);
    std::memset(frameBuffer, 0, sizeof frameBuffer);
}

serialhandler::~serialhandler() = default;

FrameLayout serialhandler::layout() const
{
    FrameLayout current;
    current.dataByteCount = dataByteCount;
    current.startByte1 = startByte1;
    current.startByte2 = startByte2;
    current.endByte1 = endByte1;
    current.endByte2 = endByte2;
    return current;
}

void serialhandler::updateOptions(int *optionFrame)
{
    if (!optionFrame)
        return;
    const FrameLayout next = FrameLayout::fromOptionFrame(optionFrame);
    // Kept bytes belong to frames of the old layout; the same layout
    // confirmed again loses nothing.
    if (next != layout())
        dropKeptBytes();
    applyLayout(next);
}

void serialhandler::applyLayout(const FrameLayout &layout)
{
    dataByteCount = layout.dataByteCount;
    startByte1 = layout.startByte1;
    startByte2 = layout.startByte2;
    endByte1 = layout.endByte1;
    endByte2 = layout.endByte2;
    frameLength = layout.frameLength();
}

void serialhandler::receiveDevicename(QString devicename_)
{
    devicename = devicename_;
}

int serialhandler::OpenUsb(int)
{
    if (!QFile::exists(devicename)) {
        qDebug() << "device does not exist";
        qDebug() << devicename;
        return -1;
    }
    if (!initializeSerial()) {
        qDebug() << "Serial port is not open";
        return 0;
    }
    return 1;
}

bool serialhandler::initializeSerial()
{
    // Closing first also lets the same device be opened again: LibSerial
    // opens it for exclusive use.
    serialPort.reset();
    dropKeptBytes();
    std::string error;
    serialPort = SerialPortSource::open(QFile::encodeName(devicename).toStdString(), &error);
    if (!serialPort)
        qDebug().noquote() << "Cannot use" << devicename << "as a serial port:" << QString::fromStdString(error);
    return serialPort != nullptr;
}

int serialhandler::CloseUsb()
{
    if (!serialPort)
        return -1;
    serialPort.reset();
    dropKeptBytes();
    return 1;
}

void serialhandler::attachByteSource(std::unique_ptr<ByteSource> source)
{
    serialPort = std::move(source);
    dropKeptBytes();
}

void serialhandler::dropKeptBytes()
{
    keptBytes = 0;
    std::memset(readBuffer, 0, sizeof readBuffer);
}

void serialhandler::keepTail(int from, int end)
{
    const int longest = std::min(frameLength - 1, static_cast<int>(MaxKeptBytes));
    const int count = std::clamp(end - from, 0, std::max(longest, 0));
    std::memmove(readBuffer, readBuffer + end - count, static_cast<size_t>(count));
    std::memset(readBuffer + count, 0, sizeof readBuffer - static_cast<size_t>(count));
    keptBytes = count;
}

bool serialhandler::checkBytesCorrect(int pos)
{
    const int bufferSize = static_cast<int>(sizeof readBuffer);
    if (frameLength < 1 || pos < frameLength - 1 || pos >= bufferSize)
        return false;
    return layout().matches(readBuffer + pos + 1 - frameLength, frameLength);
}

void serialhandler::readSerial()
{
    frameFound = false;
    // The timer may still tick after Stop, or when switching out of test mode.
    if (!serialPort) {
        qDebug() << "No serial port open, nothing read";
        return;
    }

    // On a real line a read rarely ends at a frame's end: the bytes of the
    // unfinished frame were kept last time and come first now.
    int end = keptBytes;
    int frameEnd = 0; // just after the newest valid window
    bool deviceLost = false;
    bool timedOut = false;
    int taken = 0;
    // Bytes beyond ReadCap stay waiting in the port for the next call.
    while (taken < ReadCap) {
        const ByteSource::Status waiting = serialPort->dataAvailable();
        if (waiting != ByteSource::Status::Ok) {
            deviceLost = waiting == ByteSource::Status::DeviceLost;
            break;
        }
        const ByteSource::Status read = serialPort->readByte(readBuffer[end], ReadTimeoutMs);
        if (read != ByteSource::Status::Ok) {
            deviceLost = read == ByteSource::Status::DeviceLost;
            timedOut = !deviceLost;
            break;
        }
        // Only windows that end in a new byte are tested: every window that
        // ends in a kept byte was tested by the read before.
        if (checkBytesCorrect(end)) {
            const int start = end + 1 - frameLength;
            const int copied = std::min(frameLength, static_cast<int>(sizeof frameBuffer));
            std::memcpy(frameBuffer, readBuffer + start, static_cast<size_t>(copied));
            frameFound = true;
            frameEnd = end + 1;
        }
        ++end;
        ++taken;
    }

    qDebug() << taken;
    if (timedOut)
        qDebug() << "Serial read timed out";
    if (deviceLost) {
        // Nothing from a line that went away mid-read is trusted; the
        // readouts stay where the line stopped until Stop and Start.
        qDebug() << "Serial device lost";
        dropKeptBytes();
        return;
    }

    if (taken >= 1) {
        if (end < frameLength)
            qDebug() << "Too short msg!";
        else if (!checkBytesCorrect(end - 1))
            qDebug() << "Check bytes not correct!";
    }

    std::optional<ImuSample> sample;
    if (frameFound) {
        const int copied = std::min(frameLength, static_cast<int>(sizeof frameBuffer));
        sample = layout().decode(frameBuffer, copied);
        if (!sample)
            qDebug() << "Frame has fewer than 12 data bytes, no sample";
    }
    // A decoded frame is never tested again: only what follows it is kept.
    keepTail(frameEnd, end);
    if (sample) {
        emit SendData(sample->accX, sample->accY, sample->accZ,
                      sample->gyroX, sample->gyroY, sample->gyroZ);
    }
}
