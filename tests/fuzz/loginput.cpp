#include "loginput.h"

#include "logformat.h"
#include "logreader.h"
#include "recording.h"
#include "samplekeys.h"

#include <algorithm>
#include <cstring>

namespace {

// When the file was begun, as its name would tell, and last written.
constexpr qint64 begunMs = 1780000000000;
constexpr qint64 modifiedMs = begunMs + 3600 * 1000;

struct Read
{
    Recording recording;
    qint64 lines = 0;  // lines counted by the pieces
};

// The file [bytes, bytes + size) read as the loader reads it, in pieces of
// pieceBytes.
Read readInPieces(const char *bytes, qint64 size, qint64 pieceBytes)
{
    LogSeries series;
    series.files.push_back({QStringLiteral("fuzz.txt"), size, begunMs, 1, modifiedMs});
    RecordingBuilder builder(std::move(series));
    Read read;
    const LogReader::Opening opening =
            LogReader::openingOf(bytes, bytes + std::min<qint64>(size, qint64(LogReader::probeBytes)));
    if (size == 0 || opening.form == LogReader::Form::NotALog) {
        builder.refuse(0, QStringLiteral("not read"));
        read.recording = builder.finish();
        return read;
    }
    for (qint64 at = 0; at < size; at += pieceBytes) {
        const qint64 end = std::min(size, at + pieceBytes);
        const LogReader::Window window = LogReader::windowOf(at, end);
        const char *from = bytes + window.from;
        const qint64 got = std::min<qint64>(window.to, size) - window.from;
        const LogReader::Lines lines = LogReader::linesOf(from, size_t(got), window.from, at, end, size < window.to);
        LogReader::Piece piece = LogReader::read(from + lines.begin, from + lines.end, opening,
                                                 window.from + qint64(lines.begin), lines.endsFile);
        read.lines += piece.lines;
        builder.add(0, opening.form, std::move(piece));
    }
    read.recording = builder.finish();
    return read;
}

QString differs(const Recording &whole, const Recording &pieces)
{
    if (whole.samples.size() != pieces.samples.size())
        return QStringLiteral("%1 samples whole, %2 in pieces").arg(whole.samples.size()).arg(pieces.samples.size());
    for (Recording::Index i = 0; i < whole.samples.size(); ++i) {
        for (int column = 0; column < SampleStore::columns; ++column)
            if (whole.samples.value(column, i) != pieces.samples.value(column, i))
                return QStringLiteral("sample %1 differs in column %2").arg(i).arg(column);
        if (whole.times.msOf(i) != pieces.times.msOf(i))
            return QStringLiteral("sample %1 at %2 whole, at %3 in pieces").arg(i).arg(whole.times.msOf(i))
                    .arg(pieces.times.msOf(i));
        if (whole.placeOf(i).line != pieces.placeOf(i).line)
            return QStringLiteral("sample %1 on line %2 whole, on line %3 in pieces").arg(i)
                    .arg(whole.placeOf(i).line).arg(pieces.placeOf(i).line);
    }
    const Recording::Report &a = whole.report, &b = pieces.report;
    if (a.linesSkipped != b.linesSkipped || a.problems != b.problems || a.firstProblems != b.firstProblems
        || a.filesRead != b.filesRead || a.filesSkipped != b.filesSkipped)
        return QStringLiteral("reports differ: %1 skipped, %2 problems (%3) whole; %4, %5 (%6) in pieces")
                .arg(a.linesSkipped).arg(a.problems).arg(a.firstProblems.join(QStringLiteral("; ")))
                .arg(b.linesSkipped).arg(b.problems).arg(b.firstProblems.join(QStringLiteral("; ")));
    if (whole.times.breaks() != pieces.times.breaks())
        return QStringLiteral("breaks differ");
    return QString();
}

// Every sample read is its line's: written again, it reads back the same.
QString writtenAgain(const char *bytes, qint64 size)
{
    const LogReader::Opening opening =
            LogReader::openingOf(bytes, bytes + std::min<qint64>(size, qint64(LogReader::probeBytes)));
    const LogReader::Form form = opening.form;
    if (form == LogReader::Form::NotALog)
        return QString();
    const LogReader::Piece piece = LogReader::read(bytes, bytes + size, opening, 0, true);
    for (size_t i = 0; i < piece.samples.size(); ++i) {
        const ImuSample &s = piece.samples[i];
        const qint64 time = form == LogReader::Form::WithTime ? piece.times[i] : LogFormat::NoTime;
        QByteArray line = LogFormat::dataLine(0, {s.accX, s.accY, s.accZ, s.gyroX, s.gyroY, s.gyroZ}, time);
        line.chop(1);
        LogFormat::Line again;
        if (LogFormat::parseLine(line.constData(), line.constData() + line.size(), &again) != LogFormat::LineError::None
            || again.sample != s || again.arrivedMs != time)
            return QStringLiteral("sample %1 does not read back from %2").arg(i).arg(QString::fromLatin1(line));
    }
    return QString();
}

// The searches of keys agree with a plain scan, over the whole and over
// parts.
QString searched(const SampleTimes &times)
{
    const SampleKeys keys(&times);
    const SampleKeys::Index count = times.size();
    const auto scan = [&](double key, bool above, SampleKeys::Index from, SampleKeys::Index to) {
        SampleKeys::Index i = from;
        while (i < to && (above ? keys.keyOf(i) <= key : keys.keyOf(i) < key))
            ++i;
        return i;
    };
    for (SampleKeys::Index i = 0; i < std::min<SampleKeys::Index>(count, 300); ++i) {
        if (i > 0 && times.msOf(i) < times.msOf(i - 1))
            return QStringLiteral("sample %1 earlier than the one before").arg(i);
        const double between = i + 1 < count ? (keys.keyOf(i) + keys.keyOf(i + 1)) / 2 : keys.keyOf(i) + 1;
        const SampleKeys::Index to = std::min(count, i + 4);
        for (double key : {keys.keyOf(i), between, keys.keyOf(i) - 0.0005}) {
            for (SampleKeys::Index from : {std::max<SampleKeys::Index>(i - 3, 0), i}) {
                if (keys.firstFrom(key, from, to) != scan(key, false, from, to)
                    || keys.firstAbove(key, from, to) != scan(key, true, from, to))
                    return QStringLiteral("the search for key %1 in [%2, %3) is not the scan's")
                            .arg(key, 0, 'f', 4).arg(from).arg(to);
            }
        }
    }
    // Over the whole, from far away.
    for (SampleKeys::Index i = 0; i < count; i += std::max<SampleKeys::Index>(count / 16, 1)) {
        const double key = keys.keyOf(i);
        if (keys.firstFrom(key, 0, count) != scan(key, false, 0, count)
            || keys.firstAbove(key, 0, count) != scan(key, true, 0, count))
            return QStringLiteral("the search for key %1 over every sample is not the scan's").arg(key, 0, 'f', 4);
    }
    return QString();
}

} // namespace

QString runLogInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return QString();
    const qint64 pieceBytes = 1 + (data[0] + 256 * data[1]) % 4096;
    const char *bytes = reinterpret_cast<const char *>(data + 2);
    const qint64 length = qint64(size - 2);

    const Read whole = readInPieces(bytes, length, std::max<qint64>(length, 1));
    const Read pieces = readInPieces(bytes, length, pieceBytes);
    if (QString problem = differs(whole.recording, pieces.recording); !problem.isEmpty())
        return problem;
    // Lines end at line feeds; a last line may lack one.
    const qint64 feeds = qint64(std::count(bytes, bytes + length, '\n'));
    const qint64 lines = feeds + (length > 0 && bytes[length - 1] != '\n' ? 1 : 0);
    if (whole.recording.report.filesRead == 1 && (whole.lines != lines || pieces.lines != lines))
        return QStringLiteral("%1 lines, counted %2 whole and %3 in pieces").arg(lines).arg(whole.lines)
                .arg(pieces.lines);
    if (QString problem = writtenAgain(bytes, length); !problem.isEmpty())
        return problem;
    return searched(whole.recording.times);
}
