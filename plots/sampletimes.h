#ifndef SAMPLETIMES_H
#define SAMPLETIMES_H

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class TimeColumn;

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
    SampleTimes(SampleTimes &&) noexcept;
    SampleTimes &operator=(SampleTimes &&) noexcept;
    ~SampleTimes();

    // Appends count samples, the first at firstMs and each next one stepMs
    // (0 or more) later.
    void appendEven(Index count, double firstMs, double stepMs);
    // Appends the samples of times, which it takes.
    void appendTimed(TimeColumn &&times);

    Index size() const { return count; }
    bool empty() const { return count == 0; }
    double msOf(Index index) const;
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
        // Timed: none earlier than floorMs.
        std::unique_ptr<TimeColumn> timed;
        double floorMs = 0;

        double at(Index i) const;
    };

    Index runOf(Index index) const
    {
        return Index(std::upper_bound(runFirsts.begin(), runFirsts.end(), index) - runFirsts.begin()) - 1;
    }
    void add(Run &&run);

    std::vector<Index> runFirsts;
    std::vector<Run> runs;
    std::vector<Index> breakAt;
    Index count = 0;
    double endMs = 0;
};

// The times of a run of samples that each came with its own (the log's time
// column), in milliseconds since 1970 UTC, in 2 bytes a sample: offsets of
// up to 65535 ms from the base of their segment, a new segment beginning
// where an offset would not fit. Times never fall: one earlier than the time
// before is kept as that time.
class TimeColumn
{
public:
    using Index = std::int64_t;

    // Appends the next sample's time. False when it was earlier than the
    // time before and is kept as that.
    bool append(std::int64_t ms);
    Index size() const { return Index(offsets.size()); }
    bool empty() const { return offsets.empty(); }
    std::int64_t at(Index index) const { return bases[size_t(segmentOf(index))] + offsets[size_t(index)]; }
    std::int64_t first() const { return bases.front(); }
    std::int64_t last() const { return lastMs; }
    // The samples that follow the one before by more than SampleTimes::gapMs.
    const std::vector<Index> &gaps() const { return gapsAt; }

    // The first of the samples [from, to) whose time reached(ms) takes,
    // for a reached that never turns false again as times rise; to when
    // there is none. aboutMs: a time near where it turns.
    template <typename Reached>
    Index first(Reached reached, double aboutMs, Index from, Index to) const;

    // Makes room for samples in all, so that appending up to them takes no
    // more memory (but for a new segment now and then); growing, it keeps
    // room for as many again, so that a long column is not copied often.
    void reserve(Index samples)
    {
        if (size_t(samples) > offsets.capacity())
            offsets.reserve(std::max(size_t(samples), 2 * offsets.capacity()));
    }
    // Gives back the room kept for growing.
    void squeeze();
    std::size_t bytes() const;

private:
    Index segmentOf(Index index) const;

    std::vector<Index> firsts;        // the first sample of each segment
    std::vector<std::int64_t> bases;  // that sample's time
    std::vector<std::uint16_t> offsets;
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
TimeColumn::Index TimeColumn::first(Reached reached, double aboutMs, Index from, Index to) const
{
    if (from >= to)
        return to;
    // The segments' bases rise with their times: the answer lies in the
    // last segment whose base falls short, or is the first of the next.
    // The view asks for nearby samples, so the search starts at from.
    const Index low = segmentOf(from), segments = Index(firsts.size());
    const Index next = firstReachingNear(low + 1, segments, low + 1, [&](Index s) {
        return firsts[size_t(s)] >= to || reached(double(bases[size_t(s)]));
    });
    const Index begin = std::max(from, firsts[size_t(next - 1)]);
    const Index end = next < segments ? std::min(firsts[size_t(next)], to) : to;
    // Within a segment times mostly rise at the sensor's pace: the answer
    // lies about where aboutMs falls between the segment's first time and
    // the next segment's, which the bases tell without reading offsets.
    const Index segment = next - 1;
    const std::int64_t base = bases[size_t(segment)];
    const auto timeAt = [&](Index i) { return double(base + offsets[size_t(i)]); };
    const Index lastIndex = next < segments ? firsts[size_t(next)] : size() - 1;
    const double lastTime = double(next < segments ? bases[size_t(next)] : lastMs);
    const Index firstIndex = firsts[size_t(segment)];
    Index guess = begin;
    if (lastTime > double(base)) {
        const double share = (aboutMs - double(base)) / (lastTime - double(base));
        guess = share > 0 ? firstIndex + Index(std::min(share, 1.0) * double(lastIndex - firstIndex)) : begin;
    }
    return firstReachingNear(begin, end, guess, [&](Index i) { return reached(timeAt(i)); });
}

inline double SampleTimes::Run::at(Index i) const
{
    return timed ? std::max(floorMs, double(timed->at(i))) : firstMs + double(i) * stepMs;
}

inline double SampleTimes::msOf(Index index) const
{
    const Run &run = runs[size_t(runOf(index))];
    return run.at(index - run.first);
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
    const Index begin = std::max(from, run.first) - run.first;
    const Index end = (next < high ? std::min(runs[size_t(next)].first, to) : to) - run.first;
    if (run.timed) {
        // Where the floor is reached, every sample is.
        if (reached(run.floorMs))
            return run.first + begin;
        return run.first + run.timed->first(reached, aboutMs, begin, end);
    }
    // Evenly spaced: a first guess from the spacing, made exact by the
    // times themselves.
    Index guess = begin;
    if (run.stepMs > 0) {
        const double at = std::ceil((aboutMs - run.firstMs) / run.stepMs);
        guess = at <= double(begin) ? begin : at >= double(end) ? end : Index(at);
    }
    while (guess > begin && reached(run.at(guess - 1)))
        --guess;
    while (guess < end && !reached(run.at(guess)))
        ++guess;
    return run.first + guess;
}

#endif // SAMPLETIMES_H
