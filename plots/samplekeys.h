#ifndef SAMPLEKEYS_H
#define SAMPLEKEYS_H

#include <cmath>
#include <cstdint>

// Where the samples of a history lie on a graph's key axis, and which
// samples lie at a key: the one place where a graph turns positions into
// keys and back. Here sample i lies at key i, the live plots' time counted
// in drawn samples. Keys must not fall as positions rise, so that a run of
// keys is a run of positions.
class SampleKeys
{
public:
    using Index = std::int64_t;

    double keyOf(Index index) const { return double(index); }

    // The first of the samples [from, to) whose key is key or above; to
    // when there is none.
    Index firstFrom(double key, Index from, Index to) const { return clamped(std::ceil(key), from, to); }
    // The first of the samples [from, to) whose key is above key; to when
    // there is none.
    Index firstAbove(double key, Index from, Index to) const { return clamped(std::floor(key) + 1, from, to); }

private:
    // Compared as doubles first: a key far off the history fits no Index.
    static Index clamped(double position, Index from, Index to)
    {
        if (!(position > double(from)))
            return from;
        if (position >= double(to))
            return to;
        return Index(position);
    }
};

#endif // SAMPLEKEYS_H
