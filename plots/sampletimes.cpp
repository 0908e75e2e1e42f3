#include "sampletimes.h"

#include <limits>
#include <utility>

static_assert(SampleTimes::gapMs > 0, "a gap is a time between samples");

SampleTimes::SampleTimes() = default;
SampleTimes::SampleTimes(TimeOffsets offsets)
    : offsets(std::move(offsets))
{
}
SampleTimes::SampleTimes(SampleTimes &&) noexcept = default;
SampleTimes &SampleTimes::operator=(SampleTimes &&) noexcept = default;
SampleTimes::~SampleTimes() = default;

void SampleTimes::appendEven(Index samples, double firstMs, double stepMs)
{
    if (samples <= 0)
        return;
    Run run;
    run.count = samples;
    run.firstMs = empty() ? firstMs : std::max(firstMs, endMs);
    run.stepMs = std::max(stepMs, 0.0);
    add(std::move(run), {});
}

void SampleTimes::appendTimed(const TimeColumn &times)
{
    if (times.empty())
        return;
    Run run;
    run.count = times.size();
    run.timed = true;
    run.floorMs = empty() ? -std::numeric_limits<double>::infinity() : endMs;
    run.segmentsBegin = Index(segmentFirsts.size());
    for (size_t s = 0; s < times.firsts.size(); ++s) {
        segmentFirsts.push_back(count + times.firsts[s]);
        segmentBases.push_back(times.bases[s]);
        segmentOffsets.push_back(times.offsetsBegin + times.firsts[s]);
    }
    run.segmentsEnd = Index(segmentFirsts.size());
    add(std::move(run), times.gaps());
}

void SampleTimes::add(Run &&run, const std::vector<Index> &gaps)
{
    run.first = count;
    run.startMs = at(run, run.first);
    if (count > 0 && run.startMs - endMs > gapMs)
        breakAt.push_back(run.first);
    // A gap in the column survives the floor only where both of its samples
    // lie after it.
    for (Index gap : gaps)
        if (at(run, run.first + gap) - at(run, run.first + gap - 1) > gapMs)
            breakAt.push_back(run.first + gap);
    count += run.count;
    endMs = at(run, count - 1);
    runFirsts.push_back(run.first);
    runs.push_back(std::move(run));
}

SampleTimes::Index SampleTimes::firstFrom(double ms, Index from, Index to) const
{
    return first([ms](double t) { return t >= ms; }, ms, from, to);
}

SampleTimes::Index SampleTimes::firstAbove(double ms, Index from, Index to) const
{
    return first([ms](double t) { return t > ms; }, ms, from, to);
}

SampleTimes::Index SampleTimes::nextBreak(Index from, Index to) const
{
    const auto found = std::upper_bound(breakAt.begin(), breakAt.end(), from);
    return found != breakAt.end() && *found < to ? *found : to;
}

std::size_t SampleTimes::bytes() const
{
    return runFirsts.capacity() * sizeof(Index) + runs.capacity() * sizeof(Run)
           + (segmentFirsts.capacity() + segmentOffsets.capacity()) * sizeof(Index)
           + segmentBases.capacity() * sizeof(std::int64_t) + offsets.bytes() + breakAt.capacity() * sizeof(Index);
}

bool TimeColumn::append(std::int64_t ms)
{
    const bool inOrder = empty() || ms >= lastMs;
    if (!inOrder)
        ms = lastMs;
    if (!empty() && ms - lastMs > SampleTimes::gapMs)
        gapsAt.push_back(count);
    if (empty() || ms - bases.back() > std::numeric_limits<std::uint16_t>::max()) {
        firsts.push_back(count);
        bases.push_back(ms);
    }
    store->append(std::uint16_t(ms - bases.back()));
    ++count;
    lastMs = ms;
    return inOrder;
}
