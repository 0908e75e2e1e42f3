#ifndef RECORDING_H
#define RECORDING_H

#include "logreader.h"
#include "logseries.h"
#include "samplestore.h"
#include "sampletimes.h"

#include <QString>
#include <QStringList>

#include <vector>

// A series of log files read back: every sample in the order logged, when
// each was taken (SampleTimes; from the time column, or estimated where a
// file has none), the file and line each came from, and what could not be
// read. Plain data: filled on one thread, moved to another and read there.
class Recording
{
public:
    using Index = SampleStore::Index;

    struct File
    {
        QString path;
        Index firstSample = 0;
        Index samples = 0;
        bool timed = false;  // the file has the time column
        // Lines of its samples: see LogReader::Piece, here over the whole
        // file, lines counted from its first.
        std::vector<LogReader::Mark> marks;
    };

    // What a user must hear of: how much was read, and what was not.
    struct Report
    {
        int filesRead = 0;
        // Given but not read: named otherwise, unreadable, no log file.
        int filesSkipped = 0;
        qint64 linesSkipped = 0;
        // Every fault found: the files and lines skipped, a missing header,
        // times going backwards, files overlapping in time.
        qint64 problems = 0;
        // The first few, as "<file>:<line>: <reason>" or "<file>: <reason>".
        QStringList firstProblems;
        static constexpr int shownProblems = LogReader::maxProblems;
        // Some samples' times are estimated from the files' names.
        bool timesEstimated = false;
        // Memory ran out: the samples before that point are all there.
        bool incomplete = false;
    };

    struct Place
    {
        QString path;
        qint64 line = 0;     // from 1, the header included
        bool timed = false;  // its time is the file's, not estimated
    };
    // Where sample index (below samples.size()) was logged.
    Place placeOf(Index index) const;

    SampleStore samples;
    SampleTimes times;
    std::vector<File> files;  // the series' files in order, those read
    Report report;
};

// Builds a Recording from the pieces of a series' files, handed over in
// order (a file's pieces in order, the files in the series' order), on one
// thread at a time. The times of files without the time column are
// estimated at finish(): each file's lines are spread evenly from the time
// in its name over the time to the next file's name, or, where that time
// is longer than its lines take at the pace of the other files (the
// recording stopped in between), at that pace, and the rest is a gap. The
// last file takes the pace of the one before.
class RecordingBuilder
{
public:
    explicit RecordingBuilder(LogSeries series);
    ~RecordingBuilder();

    const LogSeries &series() const { return files; }
    // Adds the next piece of file (an index into the series), of form.
    void add(int file, LogReader::Form form, LogReader::Piece &&piece);
    // file is not read, for reason; or, after pieces of it were added, not
    // read any further.
    void refuse(int file, const QString &reason);
    // The recording, with the times of every sample. The builder is spent.
    Recording finish();

private:
    struct Progress;
    // Appends the piece's samples and their times; the line of the first
    // time that goes backwards in the file, or 0.
    qint64 addSamples(int file, LogReader::Form form, const LogReader::Piece &piece);
    void problem(const QString &where, const QString &reason);
    void placeTimes();

    LogSeries files;
    Recording recording;
    // For each file of the series: where reading it stands.
    std::vector<Progress> progress;
    // The offsets of the times of every file with the time column.
    TimeOffsets offsets;
    bool outOfMemory = false;
};

#endif // RECORDING_H
