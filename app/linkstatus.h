#ifndef LINKSTATUS_H
#define LINKSTATUS_H

#include "linkstatistics.h"

#include <QString>

// The status bar's account of the line over the last seconds, for example
// "960 B/s · 68.6 frames/s · 50.0 shown/s · 27% skipped", followed by what
// to do about skipped frames, bytes dropped unread, or bytes that hold no
// frame. frameLength is the length in bytes of a frame of the current layout.
QString linkStatusText(const LinkStatistics &counts, double seconds, int frameLength);

#endif // LINKSTATUS_H
