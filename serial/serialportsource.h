#ifndef SERIALPORTSOURCE_H
#define SERIALPORTSOURCE_H

#include "bytesource.h"
#include "serialline.h"

#include <memory>
#include <string>

// A serial device opened read-only at 9600 baud, 8 data bits, no parity,
// one stop bit, no flow control. Every LibSerial exception stays inside this
// class, and destroying it never ends the program, whatever state the device
// is in.
class SerialPortSource final : public ByteSource
{
public:
    // Opens the device at path (bytes as the file system takes them).
    // Returns nothing and puts a short reason into *error when the path
    // cannot be opened, is not a terminal, or refuses the line settings.
    static std::unique_ptr<SerialPortSource> open(const std::string &path, std::string *error,
                                                  OpenFailure *failure = nullptr);

    ~SerialPortSource() override;

    SerialPortSource(const SerialPortSource &) = delete;
    SerialPortSource &operator=(const SerialPortSource &) = delete;

    // A hang-up (unplugged adapter, closed pseudo-terminal master) or any
    // error of the device is reported as DeviceLost, now and ever after.
    Status dataAvailable() noexcept override;
    Status readByte(unsigned char &byte, unsigned int timeoutMs) noexcept override;
    // Asks the driver how many bytes wait and reads them in one call.
    Block readWaiting(unsigned char *buffer, int max, unsigned int timeoutMs) noexcept override;
    int waitingCount() noexcept override;
    int discard(int count) noexcept override;

private:
    // True when the device has hung up or failed; marks the line lost.
    bool hungUp(int fd) noexcept;

    explicit SerialPortSource(std::unique_ptr<SerialLine> line);

    std::unique_ptr<SerialLine> line;
    bool lost = false;
};

#endif // SERIALPORTSOURCE_H
