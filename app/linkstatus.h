#ifndef LINKSTATUS_H
#define LINKSTATUS_H

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
// unread), the bytes dropped, or a hint when bytes hold no frame at all.
// frameLength is the length in bytes of a frame of the current layout.
QString linkStatusText(const LinkStatistics &counts, double seconds, int frameLength,
                       const SampleUse &use = {});

#endif // LINKSTATUS_H
