#ifndef LINEPACER_H
#define LINEPACER_H

#include "linerate.h"

#include <chrono>
#include <deque>
#include <vector>

// Hands the bytes of the frames to the line as a serial adapter hands them
// to a reader. Every byte takes ByteTime on the line, which carries
// LineRate::BytesPerSecond bytes a second, and a frame begins no earlier than
// it was queued for. What one write carries depends on the pacing:
//   Byte:  one byte at its line time, as a native UART delivers it. A
//          writer that fell behind catches up by a few bytes at most, as a
//          UART's receive FIFO would hand them over; further behind, the
//          line slips, since a UART never delivers faster than the line.
//   Burst: every byte whose line time has come, every burst period, as a
//          USB adapter passes on what it gathered.
//   Frame: a whole frame at the line time of its first byte.
class LinePacer
{
public:
    using Clock = std::chrono::steady_clock;
    enum class Pacing { Byte, Burst, Frame };

    static constexpr Clock::duration ByteTime =
        std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(1)) / LineRate::BytesPerSecond;

    // start: the line time of the first burst boundary. burst matters only
    // for Burst pacing and must then be positive.
    LinePacer(Pacing pacing, Clock::duration burst, Clock::time_point start);

    // Queues a frame's bytes to begin no earlier than from. Returns the line
    // time at which its last byte has been carried: when the next frame may
    // begin on a line that is kept busy.
    Clock::time_point queue(std::vector<unsigned char> bytes, Clock::time_point from);

    // When the next write is due; Clock::time_point::max() when nothing waits.
    Clock::time_point dueAt() const;

    // The bytes one write carries at now; empty when nothing is due.
    std::vector<unsigned char> takeDue(Clock::time_point now);

    bool empty() const { return frames.empty(); }

    // Frames whose last byte has been taken since construction.
    long long framesTaken() const { return taken; }

    // Line time after the last byte queued.
    Clock::time_point queuedUntil() const { return queuedEnd; }

private:
    struct Frame
    {
        std::vector<unsigned char> bytes;
        size_t next = 0;
        Clock::time_point from;
    };

    // Line time of the next byte to go.
    Clock::time_point nextByteTime() const;
    // The burst boundary at or after t.
    Clock::time_point boundaryAfter(Clock::time_point t) const;
    unsigned char takeByte();

    Pacing pacing;
    Clock::duration burst;
    Clock::time_point start;
    Clock::time_point lineFreeAt; // line time after the last byte taken
    Clock::time_point queuedEnd;  // line time after the last byte queued
    std::deque<Frame> frames;
    long long taken = 0;
};

#endif // LINEPACER_H
