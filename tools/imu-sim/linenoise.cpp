#include "linenoise.h"

LineNoise::LineNoise(double garbage, double drop, uint64_t seed)
    : garbage(garbage)
    , drop(drop)
    , random(seed)
{
}

std::vector<unsigned char> LineNoise::pass(const std::vector<unsigned char> &frame)
{
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    std::vector<unsigned char> sent;
    sent.reserve(frame.size() + 20);
    if (garbage > 0 && chance(random) < garbage) {
        const int burst = std::uniform_int_distribution<int>(1, 20)(random);
        std::uniform_int_distribution<int> byte(0, 255);
        for (int i = 0; i < burst; ++i)
            sent.push_back(static_cast<unsigned char>(byte(random)));
    }
    sent.insert(sent.end(), frame.begin(), frame.end());
    if (drop > 0) {
        std::vector<unsigned char> kept;
        kept.reserve(sent.size());
        for (unsigned char b : sent) {
            if (chance(random) >= drop)
                kept.push_back(b);
        }
        sent.swap(kept);
    }
    return sent;
}
