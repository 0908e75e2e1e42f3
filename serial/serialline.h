#ifndef SERIALLINE_H
#define SERIALLINE_H

#include <memory>
#include <string>
#include <vector>

namespace LibSerial {
class SerialPort;
}

// Why a device could not be opened as a serial line.
enum class OpenFailure {
    None,
    PermissionDenied, // the user may not open it (not in the dialout group)
    Busy,             // another program holds it for exclusive use
    NotASerialDevice, // it is not a terminal
    Other             // the reason text says what
};

// A serial device opened through LibSerial at 9600 baud, 8 data bits, no
// parity, one stop bit, no flow control, for reading or for writing. Opening
// refuses what is not a terminal, and destroying the line never ends the
// program, whatever state the device is in.
class SerialLine
{
public:
    enum class Direction { Read, Write };

    // Opens the device at path (bytes as the file system takes them).
    // Returns nothing and puts a short reason into *error (and its kind into
    // *failure, when given) when the path cannot be opened, is not a
    // terminal, or refuses the line settings.
    static std::unique_ptr<SerialLine> open(const std::string &path, Direction direction,
                                            std::string *error, OpenFailure *failure = nullptr);

    ~SerialLine();

    SerialLine(const SerialLine &) = delete;
    SerialLine &operator=(const SerialLine &) = delete;

    // The open port. Its calls throw; callers catch.
    LibSerial::SerialPort &port();

    // Writes all of bytes, waiting while the driver's buffer is full. False,
    // with the reason in *error, when the device refuses them.
    bool write(const std::vector<unsigned char> &bytes, std::string *error) noexcept;

private:
    SerialLine();
    void close() noexcept;
    // Closes the port whose descriptor fd went bad; false when it cannot.
    bool closeOverDeadDescriptor(int fd) noexcept;

    std::unique_ptr<LibSerial::SerialPort> serialPort;
};

#endif // SERIALLINE_H
