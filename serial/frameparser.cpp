#include "frameparser.h"

#include <algorithm>
#include <utility>

namespace {
// Bytes at the edge of a window, next to where a frame before or after it
// would lie, that must not look like its markers when the window follows
// garbage. A frame rarely loses more than four bytes at once.
constexpr int SuspectBytes = 4;
}

FrameParser::FrameParser(const FrameLayout &layout)
    : frameLayout(layout)
    , frameLength(layout.frameLength())
{
}

void FrameParser::setLayout(const FrameLayout &layout)
{
    frameLayout = layout;
    frameLength = layout.frameLength();
    restart(false);
}

void FrameParser::restart(bool atLineStart)
{
    readBuffer.clear();
    keptFrom = 0;
    followOn = -1;
    // The bytes lost with the line are not frames lost: they are counted
    // where they were dropped, if at all.
    pendingMarkers.clear();
    held.reset();
    markers.forget(atLineStart);
    lineBytesBefore = 0;
    lineStart = atLineStart;
}

LinkStatistics FrameParser::takeCounts()
{
    return std::exchange(counts, LinkStatistics());
}

FrameParser::Result FrameParser::feed(const unsigned char *bytes, int count)
{
    Result result;
    const int kept = int(readBuffer.size());
    if (count > 0)
        readBuffer.insert(readBuffer.end(), bytes, bytes + count);
    const int end = int(readBuffer.size());
    for (int next = kept + 1; next <= end; ++next)
        judgeNewByte(next, result);
    result.tail = tailAt(end);
    // Frames were placed by index in the buffer; the caller counts from the
    // first byte it gave.
    for (Frame &frame : result.frames)
        frame.end -= kept;
    // A marker that no window still to be judged can hold was a frame lost.
    countFailedFramesBefore(end - (frameLength - 1 + lookahead()));
    keepTail();
    return result;
}

FrameParser::Tail FrameParser::tailAt(int end) const
{
    if (end < frameLength)
        return Tail::TooShort;
    return checkBytesCorrect(end - 1) ? Tail::Frame : Tail::NotAFrame;
}

int FrameParser::lookahead() const
{
    // Only a layout that marks where frames begin, and not where they end,
    // needs the beginning of the next frame to know where one ends.
    if (frameLayout.endByte1 != FrameLayout::Off || frameLayout.endByte2 != FrameLayout::Off)
        return 0;
    if (frameLayout.startByte2 != FrameLayout::Off)
        return 2;
    return frameLayout.startByte1 != FrameLayout::Off ? 1 : 0;
}

int FrameParser::context() const
{
    return frameLayout.endByte1 != FrameLayout::Off || frameLayout.endByte2 != FrameLayout::Off ? 2 : 0;
}

void FrameParser::keepTail()
{
    // Every window that ends before the end, less the lookahead, was judged;
    // those that end later begin no earlier than this, nor inside a frame
    // decoded before. A decoded frame is never judged again.
    const int end = int(readBuffer.size());
    const int unjudged = std::max(end - (frameLength - 1 + lookahead()), 0);
    const int tail = std::min(std::max(unjudged, keptFrom), end);
    const int from = std::max(tail - context(), 0);
    readBuffer.erase(readBuffer.begin(), readBuffer.begin() + from);
    keptFrom = tail - from;
    // Markers before what is kept were counted already.
    countFailedFramesBefore(from);
    lineBytesBefore += from;
    for (int &at : pendingMarkers)
        at -= from;
    if (held)
        held->end -= from;
    followOn = followOn >= from ? followOn - from : -1;
    lineStart = lineStart && from == 0;
}

bool FrameParser::checkBytesCorrect(int pos) const
{
    if (frameLength < 1 || pos < frameLength - 1 || pos >= int(readBuffer.size()))
        return false;
    return frameLayout.matches(readBuffer.data() + pos + 1 - frameLength, frameLength);
}

bool FrameParser::endBytesAt(int end) const
{
    if (frameLayout.endByte2 != FrameLayout::Off && (end < 0 || readBuffer[end] != frameLayout.endByte2))
        return false;
    if (frameLayout.endByte1 != FrameLayout::Off && (end < 1 || readBuffer[end - 1] != frameLayout.endByte1))
        return false;
    return true;
}

FrameParser::Placement FrameParser::placementOf(int end) const
{
    const int start = end + 1 - frameLength;
    if (start < keptFrom || !checkBytesCorrect(end))
        return Placement::None;
    const bool begins = start == followOn || (start == 0 && lineStart);
    if (context() == 0) {
        if (lookahead() == 0)
            return Placement::Follows; // without markers frames are consecutive blocks
        return placementByStartBytes(start, end, begins);
    }
    if (begins || endBytesAt(start - 1))
        return Placement::Follows;
    // After garbage: trusted only when it holds no end bytes but its own.
    // A frame that lost bytes holds those of the frame before it.
    if (frameEndsInside(start, end))
        return Placement::None;
    // One end byte of the frame before survived: that frame may have lost
    // the other, and this one begin right after it.
    return lostEndByteAt(start - 1) ? Placement::AfterEndByte : Placement::AfterBreak;
}

FrameParser::Placement FrameParser::placementByStartBytes(int start, int end, bool begins) const
{
    // The next frame begins right after this one, or, after garbage, no
    // other frame begins inside it. A frame that lost bytes holds the start
    // bytes of the frame after it.
    if ((frameLayout.startByte1 == FrameLayout::Off || readBuffer[end + 1] == frameLayout.startByte1)
        && (frameLayout.startByte2 == FrameLayout::Off || readBuffer[end + 2] == frameLayout.startByte2))
        return Placement::Follows;
    if (frameStartsInside(start, end))
        return Placement::None;
    return begins ? Placement::Follows : Placement::AfterBreak;
}

bool FrameParser::lostEndByteAt(int at) const
{
    // With one end byte there is nothing left of a marker that lost it.
    if (at < 0 || frameLayout.endByte1 == FrameLayout::Off || frameLayout.endByte2 == FrameLayout::Off)
        return false;
    return readBuffer[at] == frameLayout.endByte1 || readBuffer[at] == frameLayout.endByte2;
}

bool FrameParser::frameEndsInside(int start, int end) const
{
    // A frame that lost bytes begins with as many of the frame before it,
    // whose end bytes may be damaged too: a lone end byte value among the
    // first few gives it away.
    for (int at = start; at < std::min(start + SuspectBytes, end - 1); ++at) {
        if (readBuffer[at] == frameLayout.endByte1 || readBuffer[at] == frameLayout.endByte2)
            return true;
    }
    // A byte before the buffer is unknown and could be an end byte.
    for (int last = start; last < end; ++last) {
        if (frameLayout.endByte2 != FrameLayout::Off && readBuffer[last] != frameLayout.endByte2)
            continue;
        if (frameLayout.endByte1 != FrameLayout::Off && last >= 1 && readBuffer[last - 1] != frameLayout.endByte1)
            continue;
        return true;
    }
    return false;
}

bool FrameParser::frameStartsInside(int start, int end) const
{
    // A frame that lost bytes ends with as many of the frame after it, whose
    // start bytes may be damaged too.
    for (int at = std::max(end + 1 - SuspectBytes, start + 2); at <= end; ++at) {
        if (readBuffer[at] == frameLayout.startByte1 || readBuffer[at] == frameLayout.startByte2)
            return true;
    }
    // The lookahead bytes after end are in the buffer.
    for (int first = start + 1; first <= end; ++first) {
        if (frameLayout.startByte1 != FrameLayout::Off && readBuffer[first] != frameLayout.startByte1)
            continue;
        if (frameLayout.startByte2 != FrameLayout::Off && readBuffer[first + 1] != frameLayout.startByte2)
            continue;
        return true;
    }
    return false;
}

void FrameParser::noteMarkerAt(int last)
{
    int first = last;
    if (context() > 0) {
        if (!endBytesAt(last))
            return;
        noteMarkerSpacing(last);
        // A frame cut by the start of the line lost nothing after it began.
        if (lineBytesBefore + last < frameLength - 1)
            return;
        first = frameLayout.endByte1 != FrameLayout::Off ? last - 1 : last;
    } else if (frameLayout.startByte1 != FrameLayout::Off || frameLayout.startByte2 != FrameLayout::Off) {
        first = frameLayout.startByte2 != FrameLayout::Off ? last - 1 : last;
        if (first < 0 || (frameLayout.startByte1 != FrameLayout::Off && readBuffer[first] != frameLayout.startByte1)
            || (frameLayout.startByte2 != FrameLayout::Off && readBuffer[first + 1] != frameLayout.startByte2))
            return;
        noteMarkerSpacing(last);
    } else {
        return; // without markers nothing tells where a frame was
    }
    // Markers in a frame decoded before are its own, or its data.
    if (first >= keptFrom && first >= 0)
        pendingMarkers.push_back(last);
}

void FrameParser::noteMarkerSpacing(int last)
{
    const long long spacing = markers.note(lineBytesBefore + last, frameLength);
    if (spacing > 0 && spacing < LinkStatistics::SpacingsCounted)
        ++counts.markerSpacings[size_t(spacing)];
}

long long FrameParser::MarkerHistory::note(long long at, int frameLength)
{
    const long long spacing = lastMarker >= 0 ? at - lastMarker : 0;
    lastMarker = at;
    if (spacing <= 0)
        return 0;
    recent[recentCount % recent.size()] = spacing;
    ++recentCount;
    // Markers closer than a frame's length: bytes were lost between them.
    if (spacing < frameLength)
        markersSinceLoss = 0;
    else if (markersSinceLoss < LossMemory)
        ++markersSinceLoss;
    return spacing;
}

bool FrameParser::MarkerHistory::saysOtherLayout(int frameLength) const
{
    if (recentCount < recent.size())
        return false;
    for (long long spacing : recent) {
        if (spacing == frameLength)
            continue;
        const auto same = std::count(recent.begin(), recent.end(), spacing);
        if (4 * same >= 3 * long(recent.size()))
            return true;
    }
    return false;
}

void FrameParser::MarkerHistory::forget(bool atLineStart)
{
    lastMarker = -1;
    recentCount = 0;
    if (atLineStart)
        markersSinceLoss = LossMemory;
}

void FrameParser::markersInsideFrame(int start, int end)
{
    pendingMarkers.erase(std::remove_if(pendingMarkers.begin(), pendingMarkers.end(),
                                        [&](int at) { return at >= start && at < end; }),
                         pendingMarkers.end());
}

void FrameParser::countFailedFramesBefore(int index)
{
    const auto counted = std::lower_bound(pendingMarkers.begin(), pendingMarkers.end(), index);
    counts.framesFailed += counted - pendingMarkers.begin();
    pendingMarkers.erase(pendingMarkers.begin(), counted);
}

void FrameParser::judgeNewByte(int end, Result &result)
{
    noteMarkerAt(end - 1);
    // Each new byte completes at most one window that was not judged yet.
    const int windowEnd = end - 1 - lookahead();
    const Placement placement = placementOf(windowEnd);
    if (placement == Placement::None)
        return;
    const int start = windowEnd + 1 - frameLength;
    followOn = windowEnd + 1;
    // Frames do not overlap: what begins inside this one is not a frame.
    keptFrom = followOn;
    ++counts.framesFound;
    markersInsideFrame(start, followOn);
    countFailedFramesBefore(start);
    acceptFrame(start, followOn, placement, result);
}

void FrameParser::acceptFrame(int start, int end, Placement placement, Result &result)
{
    const std::optional<ImuSample> sample = frameLayout.decode(readBuffer.data() + start, frameLength);
    result.undecodable = result.undecodable || !sample;
    const bool follows = placement == Placement::Follows;
    if (held && !follows)
        ++counts.framesFailed; // the frame held before was not confirmed
    if (markers.saysOtherLayout(frameLength)) {
        // The line is framed by another layout: what matches here are
        // stray bytes that happen to look like markers.
        counts.framesFailed += held && follows ? 2 : 1;
        held.reset();
        return;
    }
    if (!follows) {
        held.reset();
        // After garbage on a line that loses bytes the window may be a frame
        // that lost some, topped up with garbage: nothing can confirm where
        // it began.
        if (placement == Placement::AfterBreak && markers.lossSeenRecently()) {
            ++counts.framesFailed;
            return;
        }
        // Otherwise it may still be the bytes of two frames, or of a wrong
        // layout: it waits for a frame right after it.
        held = Held{sample, end};
        return;
    }
    const auto giveOut = [&](const std::optional<ImuSample> &decoded, int at) {
        ++counts.framesConfirmed;
        if (!decoded)
            return;
        result.frames.push_back(Frame{*decoded, at});
        ++counts.samplesEmitted;
    };
    if (held)
        giveOut(held->sample, held->end);
    held.reset();
    giveOut(sample, end);
}
