#ifndef FRAMEPARSER_H
#define FRAMEPARSER_H

#include "framelayout.h"
#include "imusample.h"
#include "linkstatistics.h"

#include <array>
#include <optional>
#include <vector>

// Finds the message frames of one layout in the bytes of a serial line and
// decodes their samples. Bytes go in as they were read, any number at a
// time, and however the line is cut into reads, the same frames come out.
// No port, no clock, no output of its own: what it saw is returned as values.
//
// A frame is a window whose markers match and that sits where a frame can:
// with end bytes, right after the end bytes of a frame before it; with start
// bytes only, right before the start bytes of the next frame, so it is
// decoded a frame later. Such a frame goes out at once. A window after a
// break (other bytes such as garbage, bytes dropped) counts only when
// nothing in it may belong to a marker of another frame, and only once the
// next frame follows it directly. On a line whose markers show it losing
// bytes, it counts only after one end byte of a frame whose other one was
// lost: after garbage it may be a frame that lost bytes, topped up with
// garbage. Nothing counts while the markers recur steadily at a distance
// other than a frame's length. Frames never overlap: a window that begins
// inside a frame decoded before is not looked at.
class FrameParser
{
public:
    // Starts at the beginning of a line: a frame there needs nothing before it.
    explicit FrameParser(const FrameLayout &layout = FrameLayout());

    const FrameLayout &layout() const { return frameLayout; }
    // Reads by layout from now on; what was read before was framed by the
    // old one and is forgotten, as by restart(false).
    void setLayout(const FrameLayout &layout);

    // Forgets every byte of the line read so far: bytes were lost between
    // them and what comes next. atLineStart: the next byte is the first the
    // device sends since it was opened.
    void restart(bool atLineStart);

    // A frame that one feed() completed.
    struct Frame
    {
        ImuSample sample;
        // Where the frame's last byte lies in the bytes of that feed(),
        // counted from 1; bytes given after it: count - end. Zero or below
        // when it came in an earlier feed (a frame waits for the next one).
        int end = 0;
    };

    // How a feed's bytes end, judged with those kept before them as the
    // last window of a frame's length: a read that ends where a frame ends
    // is the line at its best.
    enum class Tail {
        TooShort,  // fewer bytes than a frame's length
        NotAFrame, // the markers of the last window do not match
        Frame      // they match (the window need not count as a frame)
    };

    struct Result
    {
        std::vector<Frame> frames; // confirmed frames, in line order
        bool undecodable = false;  // a frame with fewer than twelve data
                                   // bytes came, which carries no sample
        Tail tail = Tail::TooShort;
    };

    // Takes the next count bytes of the line and returns the frames they
    // complete. The bytes after the newest frame are kept, so that a frame
    // split between two feeds is found; a decoded frame is never looked at
    // again. Between feeds it keeps less than a frame and the two bytes on
    // either side of it that decide whether it is one: 104 bytes at most
    // for the longest layout the settings offer (99 data bytes, four
    // markers).
    Result feed(const unsigned char *bytes, int count);

    // The frame counts since the last call, which starts them again:
    // framesFound, framesFailed, framesConfirmed, samplesEmitted (samples
    // given out) and markerSpacings. The byte counts are left at zero.
    LinkStatistics takeCounts();

private:
    // Where the window ending at index end stands: no frame; a frame that
    // follows the one before it (see the class comment); a frame after a
    // lone end byte, or after a break, which the next frame must confirm.
    enum class Placement { None, Follows, AfterEndByte, AfterBreak };

    // A frame found after a break, waiting for the next frame to follow it
    // directly: its sample, if the layout carries one, and the index just
    // past its last byte.
    struct Held
    {
        std::optional<ImuSample> sample;
        int end = 0;
    };

    // The distances between the last frame markers on the line: they tell
    // a line that loses bytes and one framed by another layout.
    class MarkerHistory
    {
    public:
        // The marker ending at line position at; returns its distance from
        // the one before, 0 for the first.
        long long note(long long at, int frameLength);
        // Markers closer than a frame's length within the last LossMemory.
        bool lossSeenRecently() const { return markersSinceLoss < LossMemory; }
        // Most of the last markers the same distance apart, and not a frame's.
        bool saysOtherLayout(int frameLength) const;
        // A line that lost bytes before a break goes on losing them after it;
        // only a new line (atLineStart) starts with a clean record.
        void forget(bool atLineStart);

    private:
        static constexpr int LossMemory = 64;
        long long lastMarker = -1;
        std::array<long long, 8> recent{};
        size_t recentCount = 0;
        int markersSinceLoss = LossMemory;
    };

    // True when the frameLength bytes of the buffer that end at index pos
    // form a valid frame (every switched-on start and end byte matches).
    bool checkBytesCorrect(int pos) const;
    Tail tailAt(int end) const;

    // Bytes after a window that must be read before it can be judged, and
    // bytes before the kept ones that are kept to judge the next window.
    int lookahead() const;
    int context() const;

    // Judges the window that the byte at index end - 1 completes and adds
    // its frame to result when it is one.
    void judgeNewByte(int end, Result &result);
    // Counts a frame from start to end placed so, and gives out its sample
    // (and that of a held frame it confirms) or holds it.
    void acceptFrame(int start, int end, Placement placement, Result &result);
    Placement placementOf(int end) const;
    // With start bytes only; begins: the window starts the line or follows
    // the last frame.
    Placement placementByStartBytes(int start, int end, bool begins) const;
    // True when the byte at index at is one end byte of a frame whose other
    // end byte was lost.
    bool lostEndByteAt(int at) const;
    // True when a frame of the layout ends at index end: its end bytes match.
    bool endBytesAt(int end) const;
    // True when the window from start to end may hold the end of another
    // frame: end bytes that could end before end, or an end byte value in
    // its first four bytes.
    bool frameEndsInside(int start, int end) const;
    // True when the window from start to end may hold the beginning of
    // another frame: start bytes after start, or a start byte value in its
    // last four bytes.
    bool frameStartsInside(int start, int end) const;

    // A frame's own marker (end bytes, or with start bytes only its start
    // bytes) found outside the frames decoded so far: where a frame was that
    // failed the check. Each is counted as a failed frame unless a frame
    // decoded later turns out to hold it.
    void noteMarkerAt(int last);
    void noteMarkerSpacing(int last);
    void markersInsideFrame(int start, int end);
    void countFailedFramesBefore(int index);

    // Keeps what follows the newest frame, or the windows not yet judged,
    // with the bytes needed to judge them, at the front of the buffer.
    void keepTail();

    FrameLayout frameLayout;
    int frameLength = 0; // frameLayout.frameLength(), asked for at every byte
    // The kept bytes of the line, then those of the current feed.
    std::vector<unsigned char> readBuffer;
    // Bytes of the line that were before readBuffer's first one.
    long long lineBytesBefore = 0;
    // Windows that begin before keptFrom were judged already. followOn is
    // where a window right after the last frame begins, -1 when that frame
    // is gone; lineStart says index 0 is the first byte since the line began.
    int keptFrom = 0;
    int followOn = -1;
    bool lineStart = true;
    // Indexes in readBuffer of the markers not yet counted, oldest first.
    std::vector<int> pendingMarkers;
    MarkerHistory markers;
    std::optional<Held> held;
    LinkStatistics counts;
};

#endif // FRAMEPARSER_H
