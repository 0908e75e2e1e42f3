#include "serialportsource.h"

#include "serialline.h"

#include <libserial/SerialPort.h>

#include <poll.h>
#include <unistd.h>

#include <algorithm>

SerialPortSource::SerialPortSource(std::unique_ptr<SerialLine> line)
    : line(std::move(line))
{
}

SerialPortSource::~SerialPortSource() = default;

std::unique_ptr<SerialPortSource> SerialPortSource::open(const std::string &path, std::string *error,
                                                         OpenFailure *failure)
{
    // The sensor only talks; the device is never written.
    auto line = SerialLine::open(path, SerialLine::Direction::Read, error, failure);
    if (!line)
        return nullptr;
    return std::unique_ptr<SerialPortSource>(new SerialPortSource(std::move(line)));
}

ByteSource::Status SerialPortSource::dataAvailable() noexcept
{
    if (lost)
        return Status::DeviceLost;
    try {
        LibSerial::SerialPort &port = line->port();
        // Not IsDataAvailable(): it hides a vanished device behind "no data",
        // whereas this one throws once the device is gone.
        if (port.GetNumberOfBytesAvailable() > 0)
            return Status::Ok;
        return hungUp(port.GetFileDescriptor()) ? Status::DeviceLost : Status::NoData;
    } catch (...) {
        lost = true;
        return Status::DeviceLost;
    }
}

bool SerialPortSource::hungUp(int fd) noexcept
{
    pollfd hangup{fd, POLLIN, 0};
    if (::poll(&hangup, 1, 0) > 0 && (hangup.revents & (POLLHUP | POLLERR | POLLNVAL)))
        lost = true;
    return lost;
}

ByteSource::Block SerialPortSource::readWaiting(unsigned char *buffer, int max, unsigned int timeoutMs) noexcept
{
    Block block;
    if (lost) {
        block.status = Status::DeviceLost;
        return block;
    }
    LibSerial::DataBuffer data;
    try {
        LibSerial::SerialPort &port = line->port();
        const int waiting = std::min(port.GetNumberOfBytesAvailable(), max);
        if (waiting <= 0) {
            if (hungUp(port.GetFileDescriptor()))
                block.status = Status::DeviceLost;
            return block;
        }
        // Only bytes known to wait are asked for, so the time-out is reached
        // only by a device that took back what it announced.
        try {
            port.Read(data, static_cast<size_t>(waiting), timeoutMs);
        } catch (const LibSerial::ReadTimeout &) {
            block.status = Status::NoData;
        }
    } catch (...) {
        lost = true;
        block.status = Status::DeviceLost;
        return block;
    }
    block.count = static_cast<int>(std::min(data.size(), static_cast<size_t>(max)));
    std::copy(data.begin(), data.begin() + block.count, buffer);
    return block;
}

ByteSource::Status SerialPortSource::readByte(unsigned char &byte, unsigned int timeoutMs) noexcept
{
    if (lost)
        return Status::DeviceLost;
    try {
        unsigned char received = 0;
        line->port().ReadByte(received, timeoutMs);
        byte = received;
        return Status::Ok;
    } catch (const LibSerial::ReadTimeout &) {
        return Status::NoData;
    } catch (...) {
        lost = true;
        return Status::DeviceLost;
    }
}

int SerialPortSource::waitingCount() noexcept
{
    if (lost)
        return -1;
    try {
        return line->port().GetNumberOfBytesAvailable();
    } catch (...) {
        return -1; // the next read finds out what happened
    }
}

int SerialPortSource::discard(int count) noexcept
{
    if (lost || count <= 0)
        return 0;
    int fd = -1;
    try {
        fd = line->port().GetFileDescriptor();
    } catch (...) {
        return 0;
    }
    // Only bytes known to wait are asked for, so no read blocks.
    unsigned char scratch[512];
    int gone = 0;
    while (gone < count) {
        const ssize_t n = ::read(fd, scratch, static_cast<size_t>(std::min<int>(count - gone, sizeof scratch)));
        if (n <= 0)
            break;
        gone += static_cast<int>(n);
    }
    return gone;
}
