#ifndef LINENOISE_H
#define LINENOISE_H

#include <cstdint>
#include <random>
#include <vector>

// The faults of a noisy line, applied to each frame on its way out.
class LineNoise
{
public:
    // garbage: chance (0 to 1) of a burst of 1 to 20 random bytes before a
    // frame. drop: chance (0 to 1) of each byte, burst bytes included, being
    // lost. The same seed gives the same faults.
    LineNoise(double garbage, double drop, uint64_t seed);

    // The bytes that reach the line for one frame.
    std::vector<unsigned char> pass(const std::vector<unsigned char> &frame);

private:
    double garbage;
    double drop;
    std::mt19937_64 random;
};

#endif // LINENOISE_H
