#ifndef BYTESOURCE_H
#define BYTESOURCE_H

// Where the frame parser takes its bytes from: the serial port when the
// program runs, an in-memory buffer when a harness drives the parser.
// Implementations never throw; every failure is a Status.
class ByteSource
{
public:
    enum class Status {
        Ok,         // a byte is waiting / a byte was read
        NoData,     // no byte is waiting / none arrived within the time-out
        DeviceLost  // the device has gone away; every later call says so too
    };

    virtual ~ByteSource() = default;

    // Ok when at least one received byte is waiting to be read, NoData when
    // none is, DeviceLost once the device has gone away.
    virtual Status dataAvailable() noexcept = 0;

    // Reads the next received byte into byte, waiting at most timeoutMs
    // milliseconds. Ok: byte holds it. NoData: nothing arrived in time and
    // byte is unchanged. DeviceLost: as for dataAvailable().
    virtual Status readByte(unsigned char &byte, unsigned int timeoutMs) noexcept = 0;

    // How many received bytes wait to be read; -1 when that cannot be told.
    virtual int waitingCount() noexcept { return -1; }

    // Throws away up to count of the oldest waiting bytes, without waiting;
    // returns how many went.
    virtual int discard(int count) noexcept
    {
        static_cast<void>(count);
        return 0;
    }
};

#endif // BYTESOURCE_H
