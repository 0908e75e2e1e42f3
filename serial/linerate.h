#ifndef LINERATE_H
#define LINERATE_H

// The serial line runs at 9600 baud, 8N1: every byte travels as a start bit,
// eight data bits and a stop bit, so the line carries 960 bytes a second at
// most. The port opens at this speed, the simulator paces its bytes by it,
// and rates are judged against it.
struct LineRate
{
    static constexpr int Baud = 9600;
    static constexpr int BitsPerByte = 10; // start, 8 data, stop
    static constexpr int BytesPerSecond = Baud / BitsPerByte;
};

// The device a USB serial adapter usually appears as: the reader opens it
// until told another, and the settings dialog offers it.
inline constexpr char DefaultSerialDevice[] = "/dev/ttyUSB0";

#endif // LINERATE_H
