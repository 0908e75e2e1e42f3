#ifndef LOGREADER_H
#define LOGREADER_H

#include "imusample.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Reading log files back, a piece at a time, so that the pieces of a long
// series can be read side by side: bytes in, samples and what was wrong
// out. No file, no thread, no Qt object; the loader around it reads the
// bytes (RecordingLoader), and the fuzzer feeds it any.
//
// A piece is a stretch of a file's bytes; its lines are those that begin in
// it, so that every line belongs to exactly one piece. Lines end at a line
// feed; a carriage return before it is ignored.
namespace LogReader {

// The columns of a file's data lines, or that it is no log file.
enum class Form { Plain, WithTime, NotALog };
// How many bytes of a file's start openingOf() looks at.
constexpr std::size_t probeBytes = 4096;
// What the first lines of a file tell: the form of its lines, that of its
// first header or data line, and where that line begins (the offset of its
// first byte in the file). A file whose first probeBytes hold neither is
// no log file.
struct Opening
{
    Form form = Form::NotALog;
    std::int64_t firstLine = 0;
};
// The opening of a file whose first bytes are [begin, end).
Opening openingOf(const char *begin, const char *end);

// The bytes of a file to read for its piece [pieceBegin, pieceEnd): from
// the byte before it (the file's first for the first piece), which tells
// whether a line begins with the piece, to far enough past its end that its
// last line ends there, if that is a data line. Clip to the file's end.
struct Window
{
    std::int64_t from = 0, to = 0;
};
Window windowOf(std::int64_t pieceBegin, std::int64_t pieceEnd);

// Where the lines of a piece [pieceBegin, pieceEnd) of a file lie in the
// bytes [0, size) read for it, its window (windowOf()) clipped to the file.
struct Lines
{
    std::size_t begin = 0, end = 0;  // in the bytes read
    bool endsFile = false;           // end is the file's end
};
// readFrom: the file offset of the first byte read; atEnd: the bytes read
// reach the file's end.
Lines linesOf(const char *bytes, std::size_t size, std::int64_t readFrom, std::int64_t pieceBegin,
              std::int64_t pieceEnd, bool atEnd);

// A line that was not read as a sample, or another fault in a file.
struct Problem
{
    std::int64_t line = 0;  // from 1, within what was read
    const char *reason = "";
};

// The line of a sample that does not follow the line of the sample before.
struct Mark
{
    std::int64_t sample = 0;  // among the samples read
    std::int64_t line = 0;    // from 1
};

// What the lines of a piece hold.
struct Piece
{
    std::vector<ImuSample> samples;
    // The time of each sample, in a file with the time column: milliseconds
    // since 1970 UTC.
    std::vector<std::int64_t> times;
    // The first sample's line, and every sample's whose line does not come
    // right after the line of the sample before: what it takes to name the
    // line of any sample.
    std::vector<Mark> marks;
    std::int64_t lines = 0;    // lines in the piece, blank ones too
    std::int64_t skipped = 0;  // lines that hold something but no sample
    std::int64_t problemCount = 0;  // every skipped line, and the missing header
    std::vector<Problem> problems;  // the first maxProblems of them
};
constexpr int maxProblems = 10;

// Reads the lines [begin, end) of a file that opens with opening (not
// NotALog); begin is the start of a line, at offset at in the file.
// endsFile: end is the file's end, so that a last line without its line
// feed was cut short; otherwise such a line was cut where the piece was
// read, which happens only to a line longer than any data line.
//
// A sample comes from each data line of the file's form. Skipped and
// counted: a data line of the other form, a line that is no data line
// (LogFormat::parseLine's reason), a line too long for one, a header other
// than the file's first line of content, and a last line cut short.
// Counted but read: a first line of content that is a data line, which
// leaves the file without a header. Blank lines are neither.
Piece read(const char *begin, const char *end, const Opening &opening, std::int64_t at, bool endsFile);

} // namespace LogReader

#endif // LOGREADER_H
