#include "serialline.h"

#include "linerate.h"

#include <libserial/SerialPort.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// LibSerial names its speeds rather than counting them; this one must be the
// speed the rest of the program reckons with.
constexpr LibSerial::BaudRate LineBaudRate = LibSerial::BaudRate::BAUD_9600;
static_assert(LineRate::Baud == 9600, "LineBaudRate must match LineRate::Baud");

OpenFailure failureOf(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return OpenFailure::PermissionDenied;
    case EBUSY:
        return OpenFailure::Busy;
    case ENOTTY:
        return OpenFailure::NotASerialDevice;
    default:
        return OpenFailure::Other;
    }
}

// LibSerial, given something that is not a terminal (a regular file,
// /dev/null, a directory), keeps the descriptor after its open throws and
// then cannot close it. Checking first keeps such paths away from it.
std::string terminalCheck(const std::string &path, SerialLine::Direction direction, OpenFailure *failure)
{
    const int access = direction == SerialLine::Direction::Read ? O_RDONLY : O_WRONLY;
    const int fd = ::open(path.c_str(), access | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        *failure = failureOf(error);
        return std::strerror(error);
    }
    const bool terminal = ::isatty(fd) == 1;
    ::close(fd);
    if (terminal)
        return std::string();
    *failure = OpenFailure::NotASerialDevice;
    return "not a terminal";
}

} // namespace

SerialLine::SerialLine()
    : serialPort(std::make_unique<LibSerial::SerialPort>())
{
}

SerialLine::~SerialLine()
{
    close();
}

std::unique_ptr<SerialLine> SerialLine::open(const std::string &path, Direction direction,
                                             std::string *error, OpenFailure *failure)
{
    OpenFailure ignored = OpenFailure::None;
    if (!failure)
        failure = &ignored;
    *failure = OpenFailure::None;
    const std::string problem = terminalCheck(path, direction, failure);
    if (!problem.empty()) {
        *error = problem;
        return nullptr;
    }

    std::unique_ptr<SerialLine> line(new SerialLine);
    errno = 0;
    try {
        line->serialPort->Open(path, direction == Direction::Read ? std::ios_base::in
                                                                  : std::ios_base::out);
        line->serialPort->SetBaudRate(LineBaudRate);
        line->serialPort->SetCharacterSize(LibSerial::CharacterSize::CHAR_SIZE_8);
        line->serialPort->SetParity(LibSerial::Parity::PARITY_NONE);
        line->serialPort->SetStopBits(LibSerial::StopBits::STOP_BITS_1);
        line->serialPort->SetFlowControl(LibSerial::FlowControl::FLOW_CONTROL_NONE);
    } catch (const std::exception &e) {
        // LibSerial's open failures leave errno as the system set it.
        *failure = errno != 0 ? failureOf(errno) : OpenFailure::Other;
        *error = e.what();
        return nullptr; // the destructor disposes of the half-open port
    }
    return line;
}

LibSerial::SerialPort &SerialLine::port()
{
    return *serialPort;
}

bool SerialLine::write(const std::vector<unsigned char> &bytes, std::string *error) noexcept
{
    try {
        serialPort->Write(bytes);
        return true;
    } catch (const std::exception &e) {
        *error = e.what();
    } catch (...) {
        *error = "unknown error";
    }
    return false;
}

void SerialLine::close() noexcept
{
    if (!serialPort)
        return;
    int fd = -1;
    try {
        if (serialPort->IsOpen()) {
            fd = serialPort->GetFileDescriptor();
            // LibSerial opens the device for exclusive use and leaves it so.
            // On a pseudo-terminal that mode outlives the close, and an
            // ordinary user could then not open the device again (EBUSY).
            ::ioctl(fd, TIOCNXCL);
            serialPort->Close();
        }
        serialPort.reset();
        return;
    } catch (...) {
    }
    if (closeOverDeadDescriptor(fd)) {
        serialPort.reset();
        return;
    }
    // Out of options: keep the object for the rest of the run rather than
    // let its destructor end the program.
    static_cast<void>(serialPort.release());
}

bool SerialLine::closeOverDeadDescriptor(int fd) noexcept
{
    // Close() first restores the saved line settings, which fails on a
    // descriptor that is dead (device gone) or was never a terminal; the
    // port then stays "open" and its destructor would call std::terminate.
    // Putting a fresh pseudo-terminal master on the same descriptor number
    // (dup2 closes the dead one) lets the restore and the close succeed.
    const int spare = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (spare < 0)
        return false;
    const bool swapped = fd >= 0 && ::dup2(spare, fd) == fd;
    ::close(spare);
    if (!swapped)
        return false;
    try {
        serialPort->Close();
        return true;
    } catch (...) {
        return false;
    }
}
