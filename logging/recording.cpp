#include "recording.h"

#include "framelayout.h"
#include "linerate.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <new>

namespace {

QString nameOf(const QString &path)
{
    return QFileInfo(path).fileName();
}

double median(std::vector<double> values)
{
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(values.size() / 2), values.end());
    return values[values.size() / 2];
}

// The pace of a sensor set up as the settings dialog suggests, in samples
// per millisecond: for a lone file whose own times say nothing.
double defaultPace()
{
    return double(LineRate::BytesPerSecond) / FrameLayout::formDefault().frameLength() / 1000;
}

// A file of the recording as the estimate of times sees it.
struct Span
{
    qint64 begunMs = 0;      // from its name
    qint64 modifiedMs = 0;
    Recording::Index samples = 0;
    bool timed = false;
    double firstMs = 0, lastMs = 0;  // of a timed file
    double stepMs = 0;               // the estimate, for the others
};

// The pace (samples a millisecond) of each run of files without the time
// column begun in the same second, over the time to the next file: empty
// where there is no next file or it does not come later.
struct Run
{
    size_t first = 0, end = 0;  // files [first, end)
    Recording::Index samples = 0;
    double spanMs = 0;          // to the next file; 0 when unknown
};

std::vector<Run> untimedRuns(const std::vector<Span> &spans)
{
    std::vector<Run> runs;
    for (size_t i = 0; i < spans.size();) {
        if (spans[i].timed) {
            ++i;
            continue;
        }
        Run run{i, i, 0, 0};
        while (run.end < spans.size() && !spans[run.end].timed && spans[run.end].begunMs == spans[i].begunMs)
            run.samples += spans[run.end++].samples;
        if (run.end < spans.size()) {
            const Span &next = spans[run.end];
            run.spanMs = std::max(0.0, (next.timed ? next.firstMs : double(next.begunMs)) - double(spans[i].begunMs));
        }
        runs.push_back(run);
        i = run.end;
    }
    return runs;
}

// The usual pace of the recording: that of the runs with a next file, else
// that of the timed files, else the last file's own from its last change.
double usualPace(const std::vector<Span> &spans, const std::vector<Run> &runs)
{
    std::vector<double> paces;
    for (const Run &run : runs)
        if (run.spanMs > 0)
            paces.push_back(double(run.samples) / run.spanMs);
    if (paces.empty())
        for (const Span &span : spans)
            if (span.timed && span.samples > 1 && span.lastMs > span.firstMs)
                paces.push_back(double(span.samples - 1) / (span.lastMs - span.firstMs));
    if (!paces.empty())
        return median(paces);
    const Span &last = spans.back();
    if (last.modifiedMs > last.begunMs)
        return double(last.samples) / double(last.modifiedMs - last.begunMs);
    return defaultPace();
}

// Spreads the samples of the files without the time column (see
// RecordingBuilder).
void estimateSteps(std::vector<Span> &spans)
{
    const std::vector<Run> runs = untimedRuns(spans);
    if (runs.empty())
        return;
    const double usual = usualPace(spans, runs);
    double previous = usual;
    for (const Run &run : runs) {
        double pace = previous;
        if (run.spanMs > 0) {
            // Longer than its lines take, by more than a gap and more than
            // the names' and the sensor's inexactness: it stopped inside.
            const double idle = run.spanMs - double(run.samples) / usual;
            const bool stopped = idle > std::max(double(SampleTimes::gapMs), 0.01 * run.spanMs);
            pace = stopped ? usual : double(run.samples) / run.spanMs;
        }
        previous = pace;
        for (size_t i = run.first; i < run.end; ++i)
            spans[i].stepMs = 1 / pace;
    }
}

// The line of the sample inFile of file.
qint64 lineOf(const Recording::File &file, Recording::Index inFile)
{
    auto mark = std::upper_bound(file.marks.begin(), file.marks.end(), inFile,
                                 [](Recording::Index i, const LogReader::Mark &m) { return i < m.sample; });
    --mark;
    return mark->line + (inFile - mark->sample);
}

} // namespace

Recording::Place Recording::placeOf(Index index) const
{
    // The last file that begins at or before index and holds samples.
    auto file = std::upper_bound(files.begin(), files.end(), index,
                                 [](Index i, const File &f) { return i < f.firstSample; });
    while (file != files.begin() && (--file)->samples == 0) {
    }
    return {file->path, lineOf(*file, index - file->firstSample), file->timed};
}

struct RecordingBuilder::Progress
{
    int file = -1;  // in the recording's files
    qint64 lines = 0;  // in the pieces added
    qint64 lastSampleLine = 0;
    TimeColumn times;
    bool refused = false;
    bool backwardsTold = false;  // once a file
};

RecordingBuilder::RecordingBuilder(LogSeries series)
    : files(std::move(series))
    , progress(files.files.size())
{
    for (const QString &refused : files.refused) {
        ++recording.report.filesSkipped;
        problem(refused, QString());
    }
}

RecordingBuilder::~RecordingBuilder() = default;

void RecordingBuilder::problem(const QString &where, const QString &reason)
{
    Recording::Report &report = recording.report;
    ++report.problems;
    if (report.firstProblems.size() < Recording::Report::shownProblems)
        report.firstProblems << (reason.isEmpty() ? where : where + QStringLiteral(": ") + reason);
}

void RecordingBuilder::refuse(int file, const QString &reason)
{
    Progress &state = progress[size_t(file)];
    if (state.refused)
        return;
    state.refused = true;
    if (state.file < 0)
        ++recording.report.filesSkipped;
    problem(nameOf(files.files[size_t(file)].path), reason);
}

void RecordingBuilder::add(int file, LogReader::Form form, LogReader::Piece &&piece)
{
    Progress &state = progress[size_t(file)];
    if (state.refused || outOfMemory)
        return;
    if (state.file < 0) {
        state.file = int(recording.files.size());
        recording.files.push_back({files.files[size_t(file)].path, recording.samples.size(), 0,
                                   form == LogReader::Form::WithTime, {}});
        ++recording.report.filesRead;
        // Files come in order, so their offsets follow one another.
        state.times = TimeColumn(&offsets);
    }
    // Those beyond the first few of the piece are counted all the same.
    recording.report.problems += piece.problemCount - qint64(piece.problems.size());
    recording.report.linesSkipped += piece.skipped;
    std::vector<std::pair<qint64, QString>> found;
    for (const LogReader::Problem &problem : piece.problems)
        found.emplace_back(state.lines + problem.line, QString::fromUtf8(problem.reason));
    try {
        if (const qint64 backwards = addSamples(file, form, piece); backwards > 0) {
            const std::pair<qint64, QString> problem{backwards, QStringLiteral("a time earlier than the line before; "
                                                                               "drawn at that time")};
            found.insert(std::upper_bound(found.begin(), found.end(), problem,
                                          [](const auto &a, const auto &b) { return a.first < b.first; }),
                         problem);
        }
    } catch (const std::bad_alloc &) {
        // What is stored stays whole; the rest of the series is let go.
        outOfMemory = true;
        recording.report.incomplete = true;
    }
    // In the order of the lines, whichever piece a file is cut into.
    const QString name = nameOf(files.files[size_t(file)].path);
    for (const auto &[line, reason] : found)
        problem(QStringLiteral("%1:%2").arg(name).arg(line), reason);
    state.lines += piece.lines;
}

qint64 RecordingBuilder::addSamples(int file, LogReader::Form form, const LogReader::Piece &piece)
{
    Progress &state = progress[size_t(file)];
    Recording::File &read = recording.files[size_t(state.file)];
    // The first mark of a piece is needed only where its sample's line
    // does not follow the last sample's.
    for (const LogReader::Mark &mark : piece.marks) {
        const LogReader::Mark inFile{read.samples + mark.sample, state.lines + mark.line};
        const bool follows = read.samples > 0 && mark.sample == 0 && inFile.line == state.lastSampleLine + 1;
        if (!follows)
            read.marks.push_back(inFile);
    }
    qint64 backwards = 0;
    for (size_t i = 0; i < piece.samples.size(); ++i) {
        const ImuSample &s = piece.samples[i];
        recording.samples.append({s.accX, s.accY, s.accZ, s.gyroX, s.gyroY, s.gyroZ});
        ++read.samples;
        if (form == LogReader::Form::WithTime && !state.times.append(piece.times[i]) && !state.backwardsTold) {
            state.backwardsTold = true;
            backwards = lineOf(read, read.samples - 1);
        }
    }
    if (!piece.samples.empty())
        state.lastSampleLine = lineOf(read, read.samples - 1);
    return backwards;
}

Recording RecordingBuilder::finish()
{
    try {
        placeTimes();
    } catch (const std::bad_alloc &) {
        // Samples without their times cannot be drawn.
        recording.samples.clear();
        recording.times = SampleTimes();
        recording.files.clear();
        recording.report.incomplete = true;
        problem(QStringLiteral("not enough memory for the times of the samples"), QString());
    }
    for (const Recording::File &file : recording.files)
        recording.report.timesEstimated |= !file.timed && file.samples > 0;
    return std::move(recording);
}

void RecordingBuilder::placeTimes()
{
    std::vector<Span> spans;
    std::vector<Progress *> states;
    for (size_t i = 0; i < progress.size(); ++i) {
        Progress &state = progress[i];
        if (state.file < 0 || recording.files[size_t(state.file)].samples == 0)
            continue;
        const Recording::File &read = recording.files[size_t(state.file)];
        // Memory that ran out between a sample and its time leaves the last
        // time to stand for it.
        while (read.timed && state.times.size() < read.samples)
            state.times.append(state.times.empty() ? files.files[i].begunMs : state.times.last());
        Span span{files.files[i].begunMs, files.files[i].modifiedMs, read.samples, read.timed, 0, 0, 0};
        if (read.timed) {
            span.firstMs = double(state.times.first());
            span.lastMs = double(state.times.last());
        }
        spans.push_back(span);
        states.push_back(&state);
    }
    if (spans.empty())
        return;
    estimateSteps(spans);
    recording.times = SampleTimes(std::move(offsets));
    for (size_t i = 0; i < spans.size(); ++i) {
        Progress &state = *states[i];
        const Recording::File &read = recording.files[size_t(state.file)];
        // A name tells the second a file was begun, which may lie before
        // the last line of the file before, in the same second.
        const double begins = read.timed ? spans[i].firstMs : double(spans[i].begunMs) + 1000;
        if (!recording.times.empty() && begins < recording.times.lastMs())
            problem(nameOf(read.path), read.timed ? QStringLiteral("begins before the file before it ends; its "
                                                                   "samples up to that end are drawn at it")
                                                  : QStringLiteral("begins before the file before it ends; "
                                                                   "drawn from that end"));
        if (read.timed) {
            recording.times.appendTimed(state.times);
        } else {
            recording.times.appendEven(read.samples, double(spans[i].begunMs), spans[i].stepMs);
        }
    }
}
