#include "sampletimes.h"

#include <cmath>
#include <limits>
#include <memory>
#include <utility>

SampleTimes::SampleTimes() = default;
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
    add(std::move(run));
}

void SampleTimes::appendTimed(TimeColumn &&times)
{
    if (times.empty())
        return;
    Run run;
    run.count = times.size();
    run.floorMs = empty() ? -std::numeric_limits<double>::infinity() : endMs;
    run.timed = std::make_unique<TimeColumn>(std::move(times));
    add(std::move(run));
}

void SampleTimes::add(Run &&run)
{
    run.first = count;
    run.startMs = run.at(0);
    const double before = endMs;
    if (count > 0 && run.at(0) - before > gapMs)
        breakAt.push_back(run.first);
    if (run.timed) {
        // A gap in the column survives the floor only where both of its
        // samples lie after it.
        for (Index gap : run.timed->gaps())
            if (run.at(gap) - run.at(gap - 1) > gapMs)
                breakAt.push_back(run.first + gap);
    }
    count += run.count;
    endMs = run.at(run.count - 1);
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
    std::size_t total = runFirsts.capacity() * sizeof(Index) + runs.capacity() * sizeof(Run)
                        + breakAt.capacity() * sizeof(Index);
    for (const Run &run : runs)
        if (run.timed)
            total += sizeof(TimeColumn) + run.timed->bytes();
    return total;
}

bool TimeColumn::append(std::int64_t ms)
{
    const bool inOrder = empty() || ms >= lastMs;
    if (!inOrder)
        ms = lastMs;
    if (!empty() && ms - lastMs > SampleTimes::gapMs)
        gapsAt.push_back(size());
    if (empty() || ms - bases.back() > std::numeric_limits<std::uint16_t>::max()) {
        firsts.push_back(size());
        bases.push_back(ms);
    }
    offsets.push_back(std::uint16_t(ms - bases.back()));
    lastMs = ms;
    return inOrder;
}

TimeColumn::Index TimeColumn::segmentOf(Index index) const
{
    return Index(std::upper_bound(firsts.begin(), firsts.end(), index) - firsts.begin()) - 1;
}

void TimeColumn::squeeze()
{
    firsts.shrink_to_fit();
    bases.shrink_to_fit();
    offsets.shrink_to_fit();
    gapsAt.shrink_to_fit();
}

std::size_t TimeColumn::bytes() const
{
    return firsts.capacity() * sizeof(Index) + bases.capacity() * sizeof(std::int64_t)
           + offsets.capacity() * sizeof(std::uint16_t) + gapsAt.capacity() * sizeof(Index);
}
