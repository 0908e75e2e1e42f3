#include "logreader.h"

#include "logformat.h"

#include <algorithm>
#include <cstring>

namespace LogReader {

namespace {

// The line feed at or after at in [at, end), or nullptr.
const char *lineFeed(const char *at, const char *end)
{
    return at < end ? static_cast<const char *>(std::memchr(at, '\n', size_t(end - at))) : nullptr;
}

class PieceReader
{
public:
    explicit PieceReader(const Opening &opening) : withTime(opening.form == Form::WithTime), firstLine(opening.firstLine)
    {
    }

    // The line [begin, end) at offset in the file.
    void line(const char *begin, const char *end, std::int64_t offset, bool complete, bool endsFile)
    {
        ++piece.lines;
        // Too long first: a piece may hold only the start of a long line,
        // which it cannot tell from one cut short by the file's end.
        if (end - begin > LogFormat::longestLine) {
            skip("longer than any data line");
            return;
        }
        if (!complete && endsFile) {
            skip("cut short: the file ends inside the line");
            return;
        }
        const char *content = end > begin && end[-1] == '\r' ? end - 1 : end;
        if (content == begin)
            return;
        if (LogFormat::headerOf(begin, end) != LogFormat::Header::None) {
            if (offset != firstLine)
                skip("a header line again");
            return;
        }
        LogFormat::Line read;
        if (const LogFormat::LineError error = LogFormat::parseLine(begin, end, &read);
            error != LogFormat::LineError::None) {
            skip(LogFormat::describe(error));
            return;
        }
        if (offset == firstLine)
            note("no header line: the file begins with data");
        const bool timed = read.arrivedMs != LogFormat::NoTime;
        if (timed != withTime) {
            skip(timed ? "a time, in a file without the time column" : "no time, in a file with the time column");
            return;
        }
        if (piece.samples.empty() || piece.lines != lastSampleLine + 1)
            piece.marks.push_back({std::int64_t(piece.samples.size()), piece.lines});
        lastSampleLine = piece.lines;
        piece.samples.push_back(read.sample);
        if (withTime)
            piece.times.push_back(read.arrivedMs);
    }

    Piece piece;

private:
    void note(const char *reason)
    {
        ++piece.problemCount;
        if (piece.problems.size() < size_t(maxProblems))
            piece.problems.push_back({piece.lines, reason});
    }
    void skip(const char *reason)
    {
        ++piece.skipped;
        note(reason);
    }

    bool withTime;
    std::int64_t firstLine;
    std::int64_t lastSampleLine = 0;
};

} // namespace

Opening openingOf(const char *begin, const char *end)
{
    end = std::min(end, begin + probeBytes);
    for (const char *at = begin; at < end;) {
        const char *feed = lineFeed(at, end);
        const char *lineEnd = feed ? feed : end;
        const std::int64_t offset = at - begin;
        switch (LogFormat::headerOf(at, lineEnd)) {
        case LogFormat::Header::Plain:
            return {Form::Plain, offset};
        case LogFormat::Header::WithTime:
            return {Form::WithTime, offset};
        case LogFormat::Header::None:
            break;
        }
        LogFormat::Line read;
        if (LogFormat::parseLine(at, lineEnd, &read) == LogFormat::LineError::None)
            return {read.arrivedMs == LogFormat::NoTime ? Form::Plain : Form::WithTime, offset};
        if (!feed)
            break;
        at = feed + 1;
    }
    return {};
}

Window windowOf(std::int64_t pieceBegin, std::int64_t pieceEnd)
{
    // A data line and its carriage return and line feed.
    constexpr std::int64_t margin = LogFormat::longestLine + 2;
    return {std::max<std::int64_t>(pieceBegin - 1, 0), pieceEnd + margin};
}

Lines linesOf(const char *bytes, std::size_t size, std::int64_t readFrom, std::int64_t pieceBegin,
              std::int64_t pieceEnd, bool atEnd)
{
    const char *end = bytes + size;
    const auto offset = [&](std::int64_t at) {
        return bytes + std::clamp<std::int64_t>(at - readFrom, 0, std::int64_t(size));
    };
    // The first line that begins in the piece follows the first line feed
    // at or after the byte before the piece.
    const char *first = offset(pieceBegin);
    if (pieceBegin > 0) {
        const char *feed = lineFeed(offset(pieceBegin - 1), end);
        first = feed ? feed + 1 : end;
    }
    const char *pieceLast = offset(pieceEnd - 1);
    if (first >= offset(pieceEnd) || pieceEnd <= pieceBegin)
        return {size, size, false};
    // The last line that begins in it ends at the first line feed at or
    // after its last byte.
    const char *feed = lineFeed(pieceLast, end);
    return {size_t(first - bytes), feed ? size_t(feed + 1 - bytes) : size, !feed && atEnd};
}

Piece read(const char *begin, const char *end, const Opening &opening, std::int64_t at, bool endsFile)
{
    PieceReader reader(opening);
    for (const char *line = begin; line < end;) {
        const char *feed = lineFeed(line, end);
        reader.line(line, feed ? feed : end, at + (line - begin), feed != nullptr, endsFile);
        line = feed ? feed + 1 : end;
    }
    return std::move(reader.piece);
}

} // namespace LogReader
