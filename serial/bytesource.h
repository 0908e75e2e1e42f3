#ifndef BYTESOURCE_H
#define BYTESOURCE_H

// Where the serial reader takes its bytes from: the serial port when the
// program runs, bytes held in memory when a test drives the reader.
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

    // What one block read did: count bytes were read; status Ok when every
    // byte asked for came (or none waited), NoData when a byte reported
    // waiting did not arrive in time, DeviceLost as for dataAvailable().
    struct Block
    {
        int count = 0;
        Status status = Status::Ok;
    };

    // Reads up to max of the bytes waiting now into buffer, without waiting
    // for more to arrive; each byte waits at most timeoutMs. The default asks
    // dataAvailable() and readByte() byte by byte; a port overrides it to
    // take a whole block in one call.
    virtual Block readWaiting(unsigned char *buffer, int max, unsigned int timeoutMs) noexcept
    {
        Block block;
        while (block.count < max) {
            const Status waiting = dataAvailable();
            if (waiting != Status::Ok) {
                if (waiting == Status::DeviceLost)
                    block.status = waiting;
                break;
            }
            const Status read = readByte(buffer[block.count], timeoutMs);
            if (read != Status::Ok) {
                block.status = read;
                break;
            }
            ++block.count;
        }
        return block;
    }

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
