#include "linepacer.h"

#include <algorithm>

namespace {
// A writer this far behind the line lets the line slip instead of catching
// up in a burst longer than a UART's receive FIFO would hand over.
constexpr int SlipAfterBytes = 4;
}

LinePacer::LinePacer(Pacing pacing, Clock::duration burst, Clock::time_point start)
    : pacing(pacing)
    , burst(burst)
    , start(start)
    , lineFreeAt(start)
    , queuedEnd(start)
{
}

LinePacer::Clock::time_point LinePacer::queue(std::vector<unsigned char> bytes, Clock::time_point from)
{
    if (bytes.empty())
        return std::max(queuedEnd, from);
    const Clock::time_point first = std::max(queuedEnd, from);
    queuedEnd = first + ByteTime * static_cast<long>(bytes.size());
    frames.push_back(Frame{std::move(bytes), 0, from});
    return queuedEnd;
}

LinePacer::Clock::time_point LinePacer::nextByteTime() const
{
    return std::max(lineFreeAt, frames.front().from);
}

LinePacer::Clock::time_point LinePacer::boundaryAfter(Clock::time_point t) const
{
    const auto periods = (t - start + burst - Clock::duration(1)) / burst;
    return start + burst * std::max<Clock::rep>(periods, 0);
}

LinePacer::Clock::time_point LinePacer::dueAt() const
{
    if (frames.empty())
        return Clock::time_point::max();
    const Clock::time_point t = nextByteTime();
    return pacing == Pacing::Burst ? boundaryAfter(t) : t;
}

unsigned char LinePacer::takeByte()
{
    Frame &frame = frames.front();
    lineFreeAt = nextByteTime() + ByteTime;
    const unsigned char byte = frame.bytes[frame.next++];
    if (frame.next == frame.bytes.size()) {
        frames.pop_front();
        ++taken;
    }
    return byte;
}

std::vector<unsigned char> LinePacer::takeDue(Clock::time_point now)
{
    std::vector<unsigned char> out;
    if (frames.empty() || dueAt() > now)
        return out;
    switch (pacing) {
    case Pacing::Byte: {
        const Clock::duration late = now - nextByteTime();
        if (late > ByteTime * SlipAfterBytes) {
            // Everything still queued moves by as much.
            lineFreeAt = now;
            queuedEnd += late;
            for (Frame &frame : frames)
                frame.from += late;
        }
        out.push_back(takeByte());
        break;
    }
    case Pacing::Burst: {
        const Clock::time_point boundary = boundaryAfter(nextByteTime());
        while (!frames.empty() && nextByteTime() <= boundary)
            out.push_back(takeByte());
        break;
    }
    case Pacing::Frame: {
        const size_t left = frames.front().bytes.size() - frames.front().next;
        for (size_t i = 0; i < left; ++i)
            out.push_back(takeByte());
        break;
    }
    }
    return out;
}
