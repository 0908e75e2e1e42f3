#ifndef RECORDINGWRITER_H
#define RECORDINGWRITER_H

#include "logformat.h"

#include <QString>

#include <array>
#include <vector>

// Writes a recording as the monitor's logger would have: log files of a
// number of lines, begun one after the other at the sensor's pace, each
// named after the time it was begun and last changed at its last line.
// For the benchmarks and the README's pictures, which need a week of it.
struct RecordingPlan
{
    QString folder;
    int files = 830;
    int linesPerFile = LogFormat::defaultLinesPerFile;
    bool withTime = false;
    qint64 startMs = 0;
    // A sensor on the dialog's default layout: 14-byte frames at 960 bytes
    // a second.
    double msPerSample = 14 * 1000.0 / 960;
    // Times the line stopped: after sample, for ms (a Stop, an unplugged
    // adapter). The logger goes on in the same file.
    struct Pause
    {
        qint64 afterSample = 0;
        qint64 ms = 0;
    };
    std::vector<Pause> pauses;
};

// Writes plan's files; false, with a message on stderr, when one cannot be
// written.
bool writeRecording(const RecordingPlan &plan);

// The sample of a sensor on a bench at localMs (milliseconds since 1970 in
// local time): at rest, gravity along Z, with noise and the gyroscope's
// bias, drifting with the day's temperature, and handled now and then on
// working days (acceleration X, Y, Z, gyroscope X, Y, Z).
std::array<int, 6> recordedSample(qint64 localMs);

#endif // RECORDINGWRITER_H
