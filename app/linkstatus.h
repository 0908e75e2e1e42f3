#ifndef LINKSTATUS_H
#define LINKSTATUS_H

#include "framelayout.h"
#include "linkstatistics.h"

#include <QString>

// What the window did with the samples over the same seconds: lines logged
// and samples drawn, -1 where it does not log or draw.
struct SampleUse
{
    long long logged = -1;
    long long drawn = -1;
};

// The status bar's account of the line over the last seconds, for example
// "960 B/s · 68.6 frames/s · 68.6 logged/s · 68.6 drawn/s", followed by the
// share of frames lost when some were (damaged on the line, or dropped
// unread), the bytes dropped, or a hint when bytes hold no frame at all;
// "frames unchecked" while layout has no start or end byte, so that nothing
// tells a frame from the bytes around it.
QString linkStatusText(const LinkStatistics &counts, double seconds, const FrameLayout &layout,
                       const SampleUse &use = {});

// When bytes came but no frame of layout could be confirmed, and the markers
// recur at a steady distance other than the layout's frame length, what
// that says, for example "Frames seem to be 17 bytes long, the layout has
// 14: set Data bytes to 15"; empty otherwise.
QString wrongLayoutHint(const LinkStatistics &counts, const FrameLayout &layout);

#endif // LINKSTATUS_H
