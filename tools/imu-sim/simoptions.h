#ifndef SIMOPTIONS_H
#define SIMOPTIONS_H

#include "framelayout.h"
#include "linepacer.h"

#include <QString>
#include <QStringList>

#include <cstdint>

// What the simulator was asked to do, from its command line.
struct SimOptions
{
    // As the settings dialog suggests it.
    FrameLayout layout = FrameLayout::formDefault();

    QString device;         // empty: make a pseudo-terminal
    QString linkPath;       // a symbolic link to make to the pseudo-terminal; empty: none
    double rate = 0;        // frames per second; 0 paces at the line rate
    LinePacer::Pacing pacing = LinePacer::Pacing::Byte;
    int burstMs = 16;       // with burst pacing: how often bytes are passed on
    QString replayFile;     // empty: the test-mode waves
    QString sentTimesFile;  // where to note when each frame went; empty: nowhere
    long long count = -1;   // frames to send; -1: no limit
    double seconds = -1;    // run time; -1: no limit
    double garbage = 0;     // chance of a burst of random bytes between frames
    double drop = 0;        // chance of each byte being lost
    double hangupAfter = -1; // close the line after this many seconds; -1: never
    uint64_t seed = 0;
    bool seedGiven = false;
};

enum class ParseResult { Run, Help, Error };

// Reads the arguments (the program name first). Run: options is filled in.
// Help: message holds the usage text. Error: message is one line saying
// what is wrong, naming the option; options is left as it was.
ParseResult parseSimOptions(const QStringList &arguments, SimOptions *options, QString *message);

#endif // SIMOPTIONS_H
