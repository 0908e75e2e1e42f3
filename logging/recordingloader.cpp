#include "recordingloader.h"

#include <QFile>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <new>
#include <unistd.h>

namespace {

// A stretch of a file; its lines are those that begin in it.
struct Piece
{
    int file = 0;
    qint64 begin = 0, end = 0;
};

// What reading a piece gave.
struct PieceRead
{
    LogReader::Form form = LogReader::Form::NotALog;
    LogReader::Piece lines;
    QString refusal;  // why the file is not read, when it is not
};

// Reads up to size bytes at offset; the count read, or -1 with errno.
qint64 readAt(int fd, char *into, qint64 size, qint64 offset)
{
    qint64 got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, into + got, size_t(size - got), offset + got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += n;
    }
    return got;
}

PieceRead readPiece(const Piece &piece, const LogSeries::File &file, std::vector<char> &buffer)
{
    PieceRead result;
    if (file.size == 0) {
        result.refusal = QStringLiteral("an empty file");
        return result;
    }
    const int fd = ::open(QFile::encodeName(file.path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        result.refusal = QStringLiteral("cannot be read: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return result;
    }
    char probe[LogReader::probeBytes];
    const qint64 probed = readAt(fd, probe, qint64(sizeof probe), 0);
    const LogReader::Window window = LogReader::windowOf(piece.begin, piece.end);
    const qint64 readFrom = window.from;
    const qint64 wanted = window.to - window.from;
    buffer.resize(size_t(wanted));
    const qint64 got = probed < 0 ? -1 : readAt(fd, buffer.data(), wanted, readFrom);
    const int readError = errno;
    ::close(fd);
    if (got < 0) {
        result.refusal = QStringLiteral("cannot be read: %1").arg(QString::fromLocal8Bit(std::strerror(readError)));
        return result;
    }
    const LogReader::Opening opening = LogReader::openingOf(probe, probe + probed);
    result.form = opening.form;
    if (result.form == LogReader::Form::NotALog) {
        result.refusal = QStringLiteral("not a log file: no header or data line in its first %1 bytes")
                                 .arg(LogReader::probeBytes);
        return result;
    }
    const LogReader::Lines lines =
            LogReader::linesOf(buffer.data(), size_t(got), readFrom, piece.begin, piece.end, got < wanted);
    result.lines = LogReader::read(buffer.data() + lines.begin, buffer.data() + lines.end, opening,
                                   readFrom + qint64(lines.begin), lines.endsFile);
    return result;
}

} // namespace

// One load, shared by the threads that read it and by the loader, which
// may be gone before they are.
struct RecordingLoader::Job : std::enable_shared_from_this<RecordingLoader::Job>
{
    QStringList paths;
    std::atomic<bool> cancelled{false};
    std::atomic<qint64> bytesDone{0};
    std::atomic<qint64> bytesInAll{0};

    // Filled by the first thread before any other starts.
    std::unique_ptr<RecordingBuilder> builder;
    std::vector<Piece> pieces;

    std::mutex mutex;
    std::condition_variable changed;
    size_t nextPiece = 0;   // the next to read
    size_t added = 0;       // pieces added to the recording, in order
    int reading = 0;        // pieces being read
    bool adding = false;    // a thread is adding pieces
    std::map<size_t, PieceRead> waiting;  // read, not yet added

    Recording recording;

    // Enough pieces read ahead of the next to add that no thread waits for
    // another, few enough that little memory waits.
    size_t readAhead() const { return size_t(2 * QThread::idealThreadCount() + 2); }

    void run();
    void readPieces();
    void addWaiting(std::unique_lock<std::mutex> &lock);
    void stop()
    {
        std::lock_guard<std::mutex> lock(mutex);
        cancelled = true;
        changed.notify_all();
    }
};

void RecordingLoader::Job::run()
{
    LogSeries series = LogSeries::list(paths);
    qint64 total = 0;
    for (size_t f = 0; f < series.files.size(); ++f) {
        const qint64 size = series.files[f].size;
        total += size;
        // An empty file is a piece too, so that it is told of in its place.
        qint64 at = 0;
        do {
            pieces.push_back({int(f), at, std::min(size, at + pieceBytes)});
            at += pieceBytes;
        } while (at < size);
    }
    bytesInAll = total;
    builder = std::make_unique<RecordingBuilder>(std::move(series));

    // This thread reads too; the others help where the pool has room.
    const int helpers = std::max(QThread::idealThreadCount(), 1) - 1;
    // Each holds the job: it may start after this one ends.
    for (int i = 0; i < helpers; ++i)
        (void)QtConcurrent::run(QThreadPool::globalInstance(), [self = shared_from_this()] { self->readPieces(); });
    readPieces();

    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return added == pieces.size() || (cancelled && reading == 0 && !adding); });
    if (!cancelled)
        recording = builder->finish();
    builder.reset();
    waiting.clear();
}

void RecordingLoader::Job::readPieces()
{
    std::vector<char> buffer;
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        changed.wait(lock, [this] {
            return cancelled || nextPiece >= pieces.size() || nextPiece - added < readAhead();
        });
        if (cancelled || nextPiece >= pieces.size())
            return;
        const size_t index = nextPiece++;
        ++reading;
        lock.unlock();
        PieceRead read;
        const Piece &piece = pieces[index];
        try {
            read = readPiece(piece, builder->series().files[size_t(piece.file)], buffer);
        } catch (const std::bad_alloc &) {
            read = PieceRead();
            read.refusal = QStringLiteral("not enough memory to read it");
        }
        lock.lock();
        --reading;
        waiting.emplace(index, std::move(read));
        addWaiting(lock);
        changed.notify_all();
    }
}

void RecordingLoader::Job::addWaiting(std::unique_lock<std::mutex> &lock)
{
    // One thread adds at a time, each piece in turn, whichever thread read
    // it; the others go on reading.
    if (adding)
        return;
    adding = true;
    for (auto next = waiting.find(added); !cancelled && next != waiting.end(); next = waiting.find(added)) {
        PieceRead read = std::move(next->second);
        waiting.erase(next);
        lock.unlock();
        const Piece &piece = pieces[added];
        if (!read.refusal.isEmpty())
            builder->refuse(piece.file, read.refusal);
        else
            builder->add(piece.file, read.form, std::move(read.lines));
        bytesDone += piece.end - piece.begin;
        read = PieceRead();
        lock.lock();
        ++added;
        changed.notify_all();
    }
    adding = false;
}

RecordingLoader::RecordingLoader(QObject *parent)
    : QObject(parent)
{
    progressTimer.setInterval(100);
    connect(&progressTimer, &QTimer::timeout, this, &RecordingLoader::tellProgress);
}

RecordingLoader::~RecordingLoader()
{
    if (job)
        job->stop();
}

void RecordingLoader::start(const QStringList &paths)
{
    cancel();
    read = Recording();
    job = std::make_shared<Job>();
    job->paths = paths;
    watcher = new QFutureWatcher<void>(this);
    connect(watcher, &QFutureWatcher<void>::finished, this, &RecordingLoader::end);
    watcher->setFuture(QtConcurrent::run(QThreadPool::globalInstance(), [job = job] { job->run(); }));
    progressTimer.start();
}

void RecordingLoader::cancel()
{
    if (!job)
        return;
    // The threads end on their own, with the memory they hold; what they
    // finish is not waited for.
    job->stop();
    job.reset();
    letGoOfWatcher();
    progressTimer.stop();
    emit finished();
}

void RecordingLoader::letGoOfWatcher()
{
    // Later: this may run inside its signal.
    watcher->disconnect(this);
    watcher->deleteLater();
    watcher = nullptr;
}

void RecordingLoader::tellProgress()
{
    if (job)
        emit progress(job->bytesDone, job->bytesInAll);
}

void RecordingLoader::end()
{
    if (!job)
        return;
    progressTimer.stop();
    tellProgress();
    read = std::move(job->recording);
    job.reset();
    letGoOfWatcher();
    emit finished();
}

Recording RecordingLoader::takeRecording()
{
    return std::move(read);
}

#include "moc_recordingloader.cpp"
