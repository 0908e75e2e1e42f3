#ifndef LINKSTATISTICS_H
#define LINKSTATISTICS_H

// What the reads did with the line since the counts were last taken.
struct LinkStatistics
{
    long long bytesTaken = 0;   // bytes read from the port
    long long bytesDropped = 0; // waiting bytes thrown away unread
    long long framesFound = 0;  // frames accepted (markers and framing hold)
    long long framesFailed = 0; // frame markers outside every accepted frame:
                                // frames that lost bytes or were damaged
    long long samplesEmitted = 0; // samples decoded from the frames found
};

#endif // LINKSTATISTICS_H
