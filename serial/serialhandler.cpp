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
    applyLayout(FrameLayout::fromOptionFrame(optionFrame));
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
    return 1;
}

void serialhandler::attachByteSource(std::unique_ptr<ByteSource> source)
{
    serialPort = std::move(source);
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

    const int bufferSize = static_cast<int>(sizeof readBuffer);
    bool deviceLost = false;
    bool timedOut = false;
    int i = 0;
    // Bytes beyond one buffer stay waiting in the port for the next call.
    while (i < bufferSize) {
        const ByteSource::Status waiting = serialPort->dataAvailable();
        if (waiting != ByteSource::Status::Ok) {
            deviceLost = waiting == ByteSource::Status::DeviceLost;
            break;
        }
        const ByteSource::Status read = serialPort->readByte(readBuffer[i], ReadTimeoutMs);
        if (read != ByteSource::Status::Ok) {
            deviceLost = read == ByteSource::Status::DeviceLost;
            timedOut = !deviceLost;
            break;
        }
        if (i >= frameLength - 1 && checkBytesCorrect(i)) {
            const int start = i + 1 - frameLength;
            const int copied = std::min(frameLength, static_cast<int>(sizeof frameBuffer));
            std::memcpy(frameBuffer, readBuffer + start, static_cast<size_t>(copied));
            frameFound = true;
        }
        ++i;
    }

    qDebug() << i;
    if (timedOut)
        qDebug() << "Serial read timed out";
    if (deviceLost) {
        // Nothing from a line that went away mid-read is trusted; the
        // readouts stay where the line stopped until Stop and Start.
        qDebug() << "Serial device lost";
        std::memset(readBuffer, 0, sizeof readBuffer);
        return;
    }

    if (i >= 1) {
        if (i < frameLength)
            qDebug() << "Too short msg!";
        else if (!checkBytesCorrect(i - 1))
            qDebug() << "Check bytes not correct!";
    }

    if (frameFound) {
        const int copied = std::min(frameLength, static_cast<int>(sizeof frameBuffer));
        if (const auto sample = layout().decode(frameBuffer, copied)) {
            emit SendData(sample->accX, sample->accY, sample->accZ,
                          sample->gyroX, sample->gyroY, sample->gyroZ);
        } else {
            qDebug() << "Frame has fewer than 12 data bytes, no sample";
        }
    }

    std::memset(readBuffer, 0, sizeof readBuffer);
}
