#include "wavesample.h"

#include <cmath>

ImuSample waveSample(int n)
{
    const double x = n;
    ImuSample sample;
    sample.accX = int16_t(10 * std::sin(0.2 * x));
    sample.accY = int16_t(5 * std::cos(0.1 * x));
    sample.accZ = int16_t(15 * std::sin(0.05 * x));
    sample.gyroX = int16_t(20 * std::sin(0.2 * x));
    sample.gyroY = int16_t(55 * std::cos(0.3 * x));
    sample.gyroZ = int16_t(150 * std::sin(0.05 * x));
    return sample;
}
