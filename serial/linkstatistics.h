#ifndef LINKSTATISTICS_H
#define LINKSTATISTICS_H

#include <array>

// What the reads did with the line since the counts were last taken.
struct LinkStatistics
{
    long long bytesTaken = 0;   // bytes read from the port
    long long bytesDropped = 0; // waiting bytes thrown away unread
    long long framesFound = 0;  // frames accepted (markers and framing hold)
    long long framesFailed = 0; // frame markers outside every accepted frame,
                                // and frames after a break that no frame
                                // followed: frames that lost bytes or were
                                // damaged
    long long samplesEmitted = 0; // samples decoded from the confirmed frames
    long long framesConfirmed = 0; // frames that follow a frame directly, or
                                   // begin the line, or that one follows

    // How often consecutive frame markers (end bytes, or start bytes when a
    // layout has only those) were that many bytes apart.
    static constexpr int SpacingsCounted = 128;
    std::array<int, SpacingsCounted> markerSpacings{};

    // The distance at which markers recur in at least two of three cases
    // out of at least eight, or 0 when there is none.
    int steadyMarkerSpacing() const
    {
        long long all = 0;
        int best = 0;
        for (int d = 1; d < SpacingsCounted; ++d) {
            all += markerSpacings[size_t(d)];
            if (markerSpacings[size_t(d)] > markerSpacings[size_t(best)])
                best = d;
        }
        const int most = markerSpacings[size_t(best)];
        return most >= 8 && 3 * most >= 2 * all ? best : 0;
    }
};

#endif // LINKSTATISTICS_H
