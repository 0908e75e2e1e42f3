#include "serialportsource.h"

#include <libserial/SerialPort.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

// LibSerial, given something that is not a terminal (a regular file,
// /dev/null, a directory), keeps the descriptor after its open throws and
// then cannot close it. Checking first keeps such paths away from it.
std::string terminalCheck(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::strerror(errno);
    const bool terminal = ::isatty(fd) == 1;
    ::close(fd);
    return terminal ? std::string() : std::string("not a terminal");
}

} // namespace

SerialPortSource::SerialPortSource()
    : port(std::make_unique<LibSerial::SerialPort>())
{
}

SerialPortSource::~SerialPortSource()
{
    closePort();
}

std::unique_ptr<SerialPortSource> SerialPortSource::open(const std::string &path, std::string *error)
{
    const std::string problem = terminalCheck(path);
    if (!problem.empty()) {
        *error = problem;
        return nullptr;
    }

    std::unique_ptr<SerialPortSource> source(new SerialPortSource);
    try {
        // The sensor only talks; the device is never written.
        source->port->Open(path, std::ios_base::in);
        source->port->SetBaudRate(LibSerial::BaudRate::BAUD_9600);
        source->port->SetCharacterSize(LibSerial::CharacterSize::CHAR_SIZE_8);
        source->port->SetParity(LibSerial::Parity::PARITY_NONE);
        source->port->SetStopBits(LibSerial::StopBits::STOP_BITS_1);
        source->port->SetFlowControl(LibSerial::FlowControl::FLOW_CONTROL_NONE);
    } catch (const std::exception &e) {
        *error = e.what();
        return nullptr; // the destructor disposes of the half-open port
    }
    return source;
}

ByteSource::Status SerialPortSource::dataAvailable() noexcept
{
    if (lost)
        return Status::DeviceLost;
    try {
        // Not IsDataAvailable(): it hides a vanished device behind "no data",
        // whereas this one throws once the device is gone.
        if (port->GetNumberOfBytesAvailable() > 0)
            return Status::Ok;
        pollfd hangup{port->GetFileDescriptor(), POLLIN, 0};
        if (::poll(&hangup, 1, 0) > 0 && (hangup.revents & (POLLHUP | POLLERR | POLLNVAL))) {
            lost = true;
            return Status::DeviceLost;
        }
        return Status::NoData;
    } catch (...) {
        lost = true;
        return Status::DeviceLost;
    }
}

ByteSource::Status SerialPortSource::readByte(unsigned char &byte, unsigned int timeoutMs) noexcept
{
    if (lost)
        return Status::DeviceLost;
    try {
        unsigned char received = 0;
        port->ReadByte(received, timeoutMs);
        byte = received;
        return Status::Ok;
    } catch (const LibSerial::ReadTimeout &) {
        return Status::NoData;
    } catch (...) {
        lost = true;
        return Status::DeviceLost;
    }
}

void SerialPortSource::closePort() noexcept
{
    if (!port)
        return;
    int fd = -1;
    try {
        if (port->IsOpen()) {
            fd = port->GetFileDescriptor();
            port->Close();
        }
        port.reset();
        return;
    } catch (...) {
    }

    // Close() first restores the saved line settings, which fails on a
    // descriptor that is dead (device gone) or was never a terminal; the
    // port then stays "open" and its destructor would call std::terminate.
    // Putting a fresh pseudo-terminal master on the same descriptor number
    // (dup2 closes the dead one) lets the restore and the close succeed.
    const int spare = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0 && spare >= 0) {
        const bool swapped = ::dup2(spare, fd) == fd;
        ::close(spare);
        if (swapped) {
            try {
                port->Close();
                port.reset();
                return;
            } catch (...) {
            }
        }
    } else if (spare >= 0) {
        ::close(spare);
    }
    // Out of options: keep the object for the rest of the run rather than
    // let its destructor end the program.
    static_cast<void>(port.release());
}
