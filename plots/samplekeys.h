#ifndef SAMPLEKEYS_H
#define SAMPLEKEYS_H

#include "sampletimes.h"

#include <cmath>
#include <cstdint>

// Where the samples of a history lie on a graph's key axis, and which
// samples lie at a key: the one place where a graph turns positions into
// keys and back. Without times, sample i lies at key i, the live plots'
// time counted in drawn samples. With times (a recording), a sample lies at
// the second it was taken, in seconds since 1970 UTC as QCustomPlot's
// date-time axis counts them, and the history may break. Keys must not fall
// as positions rise, so that a run of keys is a run of positions.
class SampleKeys
{
public:
    using Index = std::int64_t;

    SampleKeys() = default;
    // Keys from times, which must outlive these keys; nullptr counts samples.
    explicit SampleKeys(const SampleTimes *times) : times(times) {}

    double keyOf(Index index) const { return times ? times->msOf(index) / 1000 : double(index); }

    // The first of the samples [from, to) whose key is key or above; to when
    // there is none.
    Index firstFrom(double key, Index from, Index to) const
    {
        // Compared as keys, as keyOf() gives them, not as times: the time of
        // a key is rounded.
        return times ? times->first([key](double ms) { return ms / 1000 >= key; }, key * 1000, from, to)
                     : clamped(std::ceil(key), from, to);
    }
    // The first of the samples [from, to) whose key is above key; to when
    // there is none.
    Index firstAbove(double key, Index from, Index to) const
    {
        return times ? times->first([key](double ms) { return ms / 1000 > key; }, key * 1000, from, to)
                     : clamped(std::floor(key) + 1, from, to);
    }
    bool operator==(const SampleKeys &other) const { return times == other.times; }
    bool operator!=(const SampleKeys &other) const { return times != other.times; }

    // The first sample in (from, to) that follows a break in the history,
    // where a graph leaves a gap; to when there is none.
    Index nextBreak(Index from, Index to) const { return times ? times->nextBreak(from, to) : to; }

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

    const SampleTimes *times = nullptr;
};

#endif // SAMPLEKEYS_H
