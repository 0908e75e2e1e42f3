#ifndef SAMPLETIMES_H
#define SAMPLETIMES_H

#include "mappedmemory.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class TimeColumn;

// The offsets of the timed samples of a history (see TimeColumn), in the
// order of the samples: 2 bytes each, in chunks of mapped memory that
// growing never moves.
class TimeOffsets
{
public:
    using Index = std::int64_t;

    void append(std::uint16_t offset)
    {
        if (count % chunkOffsets == 0)
            chunks.emplace_back(static_cast<std::uint16_t *>(MappedMemory::map(chunkBytes)));
        chunks.back()[count++ & (chunkOffsets - 1)] = offset;
    }
    Index size() const { return count; }
    std::uint16_t operator[](Index k) const { return chunks[size_t(k >> chunkLevel)][k & (chunkOffsets - 1)]; }
    std::size_t bytes() const { return chunks.size() * chunkBytes + chunks.capacity() * sizeof(chunks[0]); }

private:
    // A huge page each.
    static constexpr int chunkLevel = 20;
    static constexpr Index chunkOffsets = Index(1) << chunkLevel;
    static constexpr std::size_t chunkBytes = std::size_t(chunkOffsets) * sizeof(std::uint16_t);
    struct Unmap
    {
        void operator()(std::uint16_t *chunk) const { MappedMemory::unmap(chunk, chunkBytes); }
    };
    std::vector<std::unique_ptr<std::uint16_t[], Unmap>> chunks;
    Index count = 0;
};

// When each sample of a history was taken, in milliseconds since 1970 UTC,
// and where the history breaks: a graph draws a break as a gap, not as a
// line across it. Times never fall as positions rise.
//
// The samples come in runs, appended in order: evenly spaced ones, whose
// times are estimated, or ones with times of their own (a TimeColumn). A
// run never begins before the one before it ends: an evenly spaced run is
// moved later as a whole, and the samples of a timed run taken before that
// end are placed at it. A break lies wherever a sample follows the one
// before it by more than gapMs, except inside an evenly spaced run, whose
// spacing is a guess.
//
// Timed samples take 2 bytes each: offsets of up to 65535 ms from the base
// of their segment, the segments of every run in one table, so that a
// search over a long history reads a few places close together.
//
// Plain data, as SampleStore: one thread at a time, movable to another.
class SampleTimes
{
public:
    using Index = std::int64_t;

    // Longer than the line ever pauses while it is read (a frame takes
    // about 15 ms, and every frame of a read is timed by where it lay in
    // it), and shorter than any Stop and Start by hand or an adapter
    // unplugged and plugged in again.
    static constexpr std::int64_t gapMs = 3000;

    SampleTimes();
    // Times whose timed runs keep their offsets in offsets.
    explicit SampleTimes(TimeOffsets offsets);
    SampleTimes(SampleTimes &&) noexcept;
    SampleTimes &operator=(SampleTimes &&) noexcept;
    ~SampleTimes();

    // Appends count samples, the first at firstMs and each next one stepMs
    // (0 or more) later.
    void appendEven(Index count, double firstMs, double stepMs);
    // Appends the samples of times, whose offsets lie in the offsets given
    // at construction.
    void appendTimed(const TimeColumn &times);

    Index size() const { return count; }
    bool empty() const { return count == 0; }
    double msOf(Index index) const { return at(runs[size_t(runOf(index))], index); }
    // The end of the last run: the time of the last sample.
    double lastMs() const { return endMs; }

    // The first of the samples [from, to) taken at ms or later (firstFrom)
    // or later than ms (firstAbove); to when there is none.
    Index firstFrom(double ms, Index from, Index to) const;
    Index firstAbove(double ms, Index from, Index to) const;
    // The first of the samples [from, to) whose time reached(ms) takes, for
    // a reached that never turns false again as times rise; to when there
    // is none. aboutMs: a time near where it turns.
    template <typename Reached>
    Index first(Reached reached, double aboutMs, Index from, Index to) const;
    // The first sample in (from, to) that follows a break; to when none does.
    Index nextBreak(Index from, Index to) const;
    // Every sample that follows a break, in order.
    const std::vector<Index> &breaks() const { return breakAt; }

    std::size_t bytes() const;

private:
    // Samples [first, first + count) of the history.
    struct Run
    {
        Index first = 0, count = 0;
        double startMs = 0;  // the first sample's time
        // Evenly spaced: the time of sample first + i is firstMs + i * stepMs.
        double firstMs = 0, stepMs = 0;
        // Timed: segments [segmentsBegin, segmentsEnd) of the table, none
        // earlier than floorMs.
        bool timed = false;
        Index segmentsBegin = 0, segmentsEnd = 0;
        double floorMs = 0;
    };

    Index runOf(Index index) const
    {
        return Index(std::upper_bound(runFirsts.begin(), runFirsts.end(), index) - runFirsts.begin()) - 1;
    }
    // The segment of the timed sample index among segments [low, high).
    Index segmentOf(Index index, Index low, Index high) const
    {
        return Index(std::upper_bound(segmentFirsts.begin() + low, segmentFirsts.begin() + high, index)
                     - segmentFirsts.begin())
               - 1;
    }
    double timedAt(Index segment, Index index) const
    {
        return double(segmentBases[size_t(segment)]
                      + offsets[segmentOffsets[size_t(segment)] + index - segmentFirsts[size_t(segment)]]);
    }
    // The time of sample index of run.
    double at(const Run &run, Index index) const
    {
        if (!run.timed)
            return run.firstMs + double(index - run.first) * run.stepMs;
        return std::max(run.floorMs, timedAt(segmentOf(index, run.segmentsBegin, run.segmentsEnd), index));
    }
    template <typename Reached>
    Index firstTimed(const Run &run, Reached reached, double aboutMs, Index from, Index to) const;
    void add(Run &&run, const std::vector<Index> &gaps);

    std::vector<Index> runFirsts;
    std::vector<Run> runs;
    // The segments of the timed runs: the first sample of each (its index
    // in the history), its time, and where its offsets begin.
    std::vector<Index> segmentFirsts;
    std::vector<std::int64_t> segmentBases;
    std::vector<Index> segmentOffsets;
    TimeOffsets offsets;
    std::vector<Index> breakAt;
    Index count = 0;
    double endMs = 0;
};

// The times of one run of samples that each came with its own (the log's
// time column) while they are read, in milliseconds since 1970 UTC, in the
// form SampleTimes keeps them: offsets of up to 65535 ms from the base of
// their segment, a new segment beginning where an offset would not fit.
// The offsets go to a TimeOffsets that the columns of a history fill one
// after the other. Times never fall: one earlier than the time before is
// kept as that time.
class TimeColumn
{
public:
    using Index = std::int64_t;

    TimeColumn() = default;
    // Keeps its offsets in offsets, from its end on; no other column may
    // append there until this one is complete.
    explicit TimeColumn(TimeOffsets *offsets) : store(offsets), offsetsBegin(offsets->size()) {}

    // Appends the next sample's time. False when it was earlier than the
    // time before and is kept as that.
    bool append(std::int64_t ms);
    Index size() const { return count; }
    bool empty() const { return count == 0; }
    std::int64_t first() const { return bases.front(); }
    std::int64_t last() const { return lastMs; }
    // The samples that follow the one before by more than SampleTimes::gapMs.
    const std::vector<Index> &gaps() const { return gapsAt; }

private:
    friend class SampleTimes;

    TimeOffsets *store = nullptr;
    Index offsetsBegin = 0;
    Index count = 0;
    std::vector<Index> firsts;        // the first sample of each segment
    std::vector<std::int64_t> bases;  // that sample's time
    std::vector<Index> gapsAt;
    std::int64_t lastMs = 0;
};

// The first position in [from, to) where reached(position) holds, for a
// reached that never turns false again as positions rise; to when none.
template <typename Reached>
std::int64_t firstReaching(std::int64_t from, std::int64_t to, Reached reached)
{
    while (from < to) {
        const std::int64_t middle = from + (to - from) / 2;
        if (reached(middle))
            to = middle;
        else
            from = middle + 1;
    }
    return from;
}

// As firstReaching, for an answer that likely lies near guess: the search
// widens from there in steps that double, so that it reads only a few
// places close together when the guess is good.
template <typename Reached>
std::int64_t firstReachingNear(std::int64_t from, std::int64_t to, std::int64_t guess, Reached reached)
{
    if (from >= to)
        return to;
    guess = std::clamp(guess, from, to - 1);
    std::int64_t low = from, high = to, step = 1;
    if (reached(guess)) {
        high = guess;
        while (high - step >= from && reached(high - step)) {
            high -= step;
            step *= 2;
        }
        low = std::max(from, high - step + 1);
    } else {
        low = guess + 1;
        while (low + step - 1 < to && !reached(low + step - 1)) {
            low += step;
            step *= 2;
        }
        high = std::min(to, low + step - 1);
    }
    return firstReaching(low, high, reached);
}

template <typename Reached>
SampleTimes::Index SampleTimes::first(Reached reached, double aboutMs, Index from, Index to) const
{
    from = std::max<Index>(from, 0);
    to = std::min(to, count);
    if (from >= to)
        return to;
    // Runs follow one another in time: the answer lies in the last run
    // whose first sample falls short, or is the first of the next. A view
    // asks for nearby samples, so the search starts at from.
    const Index low = runOf(from), high = Index(runs.size());
    const Index next = firstReachingNear(low + 1, high, low + 1, [&](Index r) {
        return runs[size_t(r)].first >= to || reached(runs[size_t(r)].startMs);
    });
    const Run &run = runs[size_t(next - 1)];
    const Index begin = std::max(from, run.first);
    const Index end = next < high ? std::min(runs[size_t(next)].first, to) : to;
    if (run.timed)
        return firstTimed(run, reached, aboutMs, begin, end);
    // Evenly spaced: a first guess from the spacing, made exact by the
    // times themselves.
    Index guess = begin;
    if (run.stepMs > 0) {
        const double at = std::ceil((aboutMs - run.firstMs) / run.stepMs) + double(run.first);
        guess = at <= double(begin) ? begin : at >= double(end) ? end : Index(at);
    }
    while (guess > begin && reached(this->at(run, guess - 1)))
        --guess;
    while (guess < end && !reached(this->at(run, guess)))
        ++guess;
    return guess;
}

template <typename Reached>
SampleTimes::Index SampleTimes::firstTimed(const Run &run, Reached reached, double aboutMs, Index from,
                                           Index to) const
{
    // Where the floor is reached, every sample is.
    if (reached(run.floorMs))
        return from;
    // The segments' bases rise with their times: the answer lies in the
    // last segment whose base falls short, or is the first of the next.
    const Index low = segmentOf(from, run.segmentsBegin, run.segmentsEnd), segments = run.segmentsEnd;
    const Index next = firstReachingNear(low + 1, segments, low + 1, [&](Index s) {
        return segmentFirsts[size_t(s)] >= to || reached(double(segmentBases[size_t(s)]));
    });
    const Index segment = next - 1;
    const Index begin = std::max(from, segmentFirsts[size_t(segment)]);
    const Index end = next < segments ? std::min(segmentFirsts[size_t(next)], to) : to;
    // Within a segment times mostly rise at the sensor's pace: the answer
    // lies about where aboutMs falls between the segment's first time and
    // the next one's, which the table tells without reading offsets.
    const double base = double(segmentBases[size_t(segment)]);
    const Index firstIndex = segmentFirsts[size_t(segment)];
    const Index lastIndex = next < segments ? segmentFirsts[size_t(next)] : run.first + run.count - 1;
    const double lastTime = next < segments ? double(segmentBases[size_t(next)]) : timedAt(segment, lastIndex);
    Index guess = begin;
    if (lastTime > base) {
        const double share = (aboutMs - base) / (lastTime - base);
        guess = share > 0 ? firstIndex + Index(std::min(share, 1.0) * double(lastIndex - firstIndex)) : begin;
    }
    return firstReachingNear(begin, end, guess, [&](Index i) { return reached(timedAt(segment, i)); });
}

#endif // SAMPLETIMES_H
