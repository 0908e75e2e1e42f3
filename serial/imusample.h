#ifndef IMUSAMPLE_H
#define IMUSAMPLE_H

#include <cstdint>

// One reading of the sensor, in the order used everywhere inside the program:
// acceleration X, Y, Z, then gyroscope X, Y, Z, in the sensor's own units.
// The one shape of a sample from the frame parser to the readouts, the plots
// and the log line; only the wire (gyroscope first) orders it otherwise.
struct ImuSample
{
    int16_t accX = 0;
    int16_t accY = 0;
    int16_t accZ = 0;
    int16_t gyroX = 0;
    int16_t gyroY = 0;
    int16_t gyroZ = 0;

    bool operator==(const ImuSample &other) const
    {
        return accX == other.accX && accY == other.accY && accZ == other.accZ
            && gyroX == other.gyroX && gyroY == other.gyroY && gyroZ == other.gyroZ;
    }
    bool operator!=(const ImuSample &other) const { return !(*this == other); }
};

#endif // IMUSAMPLE_H
