#include "datalogger.h"

#include "logformat.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <sys/stat.h>
#include <utility>

namespace {

// Retries and file checks are paced by this, in milliseconds.
constexpr qint64 retryInterval = 1000;

qint64 monotonicMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Names of one second tried before giving up, should a folder be full of them.
constexpr int maxNameTries = 1000;

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// True when something other than a folder stands at path.
bool notAFolder(const QString &path)
{
    struct stat found;
    return ::stat(QFile::encodeName(path).constData(), &found) == 0 && !S_ISDIR(found.st_mode);
}

} // namespace

Datalogger::Datalogger(QObject *parent)
    : QObject(parent)
{
    setClock({});
    syncTimer.setSingleShot(true);
    syncTimer.setInterval(syncDelayMs);
    connect(&syncTimer, &QTimer::timeout, this, &Datalogger::syncNow);
    connect(&sync, &LogSync::syncFailed, this, &Datalogger::syncFailed);

    // A file-size limit (ulimit -f) would otherwise kill the program with
    // SIGXFSZ in the middle of a line. Ignored, the write fails with EFBIG
    // and is reported like a full disk, and the cut line is taken back. A
    // handler the program set up itself is left alone.
    struct sigaction current;
    if (::sigaction(SIGXFSZ, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
        std::signal(SIGXFSZ, SIG_IGN);
}

// The last lines are synced; the syncer waits for the disk before it goes.
Datalogger::~Datalogger()
{
    syncNow();
}

void Datalogger::setClock(std::function<QDateTime()> source)
{
    if (source) {
        clock = std::move(source);
        ticks = [this] { return clock().toMSecsSinceEpoch(); };
    } else {
        // Local time can jump; pacing must not stall or race when it does.
        clock = &QDateTime::currentDateTime;
        ticks = &monotonicMilliseconds;
    }
}

void Datalogger::ReceiveFilename(const QString &filename)
{
    logDirectory = filename;

    // A corrected directory should end the failures now, not a second later.
    if (failing)
        lastAttempt = now() - retryInterval;
}

void Datalogger::CreateFile()
{
    // An empty directory would otherwise put the file in the root directory.
    const QString directory = QDir::toNativeSeparators(logDirectory.isEmpty() ? QStringLiteral(".") : logDirectory);
    const QString stamp = LogFormat::stamp(clock());
    // The path of the second's first file names the second in this folder.
    const QString firstOfSecond = LogFormat::filePath(directory, stamp, 1);

    syncNow();
    logFile.close();
    fileCreated = false;
    lineCount = 0;
    fileFolder = directory;

    // Each file is new, so that none holds two runs of the index: a file begun
    // within the same second as another (a roll-over, a retry, a program
    // started again) is named "<stamp>-2.txt", "<stamp>-3.txt" and so on.
    // Exclusive creation also keeps out another monitor logging here.
    int number = firstOfSecond == lastFirstOfSecond ? lastNumber + 1 : 1;
    QString path;
    for (int tries = 0;; ++tries, ++number) {
        path = LogFormat::filePath(directory, stamp, number);
        logFile.setFileName(path);
        // Unbuffered: each line goes to the operating system in one write, so a
        // killed program leaves only whole lines behind.
        if (logFile.open(QIODevice::NewOnly | QIODevice::Append | QIODevice::Text | QIODevice::Unbuffered))
            break;
        struct stat taken;
        if (tries < maxNameTries && ::lstat(QFile::encodeName(path).constData(), &taken) == 0)
            continue;
        // The name may be free and the folder still unusable (missing, not a
        // folder, without write permission): the open result decides.
        const QString reason = notAFolder(directory) ? QStringLiteral("%1 is a file, not a folder").arg(directory)
                                                     : logFile.errorString();
        fail(Failure::Create, path, reason);
        return;
    }
    lastFirstOfSecond = firstOfSecond;
    lastNumber = number;

    timeColumn = timeColumnWanted;
    lastArrival = LogFormat::NoTime;
    QString reason;
    if (!writeLine(LogFormat::headerLine(timeColumn), &reason)) {
        fail(Failure::Create, path, reason);
        // On a full disk every retry would otherwise leave an empty file.
        if (QFileInfo(path).size() == 0)
            QFile::remove(path);
        return;
    }

    fileCreated = true;
    lastCheck = now();
    linesSinceCheck = 0;
    // A file that is not yet named in its folder on the disk vanishes whole
    // in a power cut.
    sync.syncFolder(directory);
    lineWritten();
    emit NewFileCreated(QStringLiteral("New file created: ") + path);
}

void Datalogger::Log(int acc_x, int acc_y, int acc_z, int gyro_x, int gyro_y, int gyro_z)
{
    // The clock is asked only for a file that has the time column.
    write({acc_x, acc_y, acc_z, gyro_x, gyro_y, gyro_z}, LogFormat::NoTime);
}

void Datalogger::logSample(const ImuSample &s, qint64 arrivedMs)
{
    write({s.accX, s.accY, s.accZ, s.gyroX, s.gyroY, s.gyroZ}, arrivedMs);
}

void Datalogger::setTimeColumn(bool on)
{
    timeColumnWanted = on;
}

void Datalogger::write(const std::array<int, 6> &values, qint64 arrivedMs)
{
    if (fileCreated && secondPassed(lastCheck))
        checkFileInPlace();
    if (!fileCreated && (!failing || secondPassed(lastAttempt)))
        CreateFile();
    if (!fileCreated) {
        ++notLogged;
        return;
    }

    if (timeColumn)
        lastArrival = std::max(arrivedMs != LogFormat::NoTime ? arrivedMs : clock().toMSecsSinceEpoch(), lastArrival);
    const QByteArray line = LogFormat::dataLine(lineCount, values, timeColumn ? lastArrival : LogFormat::NoTime);
    QString reason;
    if (!writeLine(line, &reason)) {
        fail(Failure::Write, logFile.fileName(), reason);
        ++notLogged;
        return;
    }
    ++lineCount;
    ++totalLines;
    ++linesSinceCheck;
    lineWritten();
    if (failing)
        reportResumed();

    // At or past the limit rather than exactly at it, so that lowering the
    // limit below the lines already written still ends the file.
    if (newfileIndex > 0 && lineCount >= newfileIndex) {
        fileCreated = false;
        lineCount = 0;
    }
}

void Datalogger::ReceiveNewfileIndex(int newfileIndex_)
{
    newfileIndex = newfileIndex_;
}

void Datalogger::lineWritten()
{
    unsynced = true;
    if (!syncTimer.isActive())
        syncTimer.start();
}

void Datalogger::syncNow()
{
    syncTimer.stop();
    if (unsynced && logFile.isOpen())
        sync.syncFile(logFile.handle(), logFile.fileName());
    unsynced = false;
}

void Datalogger::syncFailed(const QString &path, const QString &reason)
{
    const QString why = QStringLiteral("could not be synced to the disk: ") + reason;
    if (fileCreated && path == logFile.fileName())
        fail(Failure::Write, path, why);
    else
        qDebug("Datalogger: %s %s", qPrintable(path), qPrintable(why));
}

bool Datalogger::writeLine(const QByteArray &line, QString *reason)
{
    qint64 written = logFile.write(line);
    if (written > 0 && written < line.size()) {
        // A short write carries no error; writing the rest either completes
        // the line or fails with the cause (a full disk, a size limit).
        const qint64 rest = logFile.write(line.constData() + written, line.size() - written);
        if (rest > 0)
            written += rest;
    }
    if (written == line.size() && logFile.flush())
        return true;

    // Taken before resize(), which clears the error.
    *reason = logFile.error() != QFileDevice::NoError
            ? logFile.errorString()
            : QStringLiteral("only %1 of %2 bytes written").arg(written).arg(line.size());

    // A line cut short would corrupt the file for every reader; take it back
    // so the file keeps only whole lines.
    if (written > 0 && written < line.size())
        logFile.resize(logFile.size() - written);
    return false;
}

void Datalogger::checkFileInPlace()
{
    bool deleted = false;
    const QString reason = lostFileReason(&deleted);
    lastCheck = now();
    if (!reason.isEmpty()) {
        // The lines since the last check may have gone into the file after it
        // was deleted; no reader will ever see them.
        if (deleted)
            notLogged += linesSinceCheck;
        fail(Failure::Write, logFile.fileName(), reason);
    }
    linesSinceCheck = 0;
}

QString Datalogger::lostFileReason(bool *deleted) const
{
    struct stat open;
    struct stat named;
    if (::fstat(logFile.handle(), &open) != 0)
        return systemError(errno);
    *deleted = open.st_nlink == 0;
    // Before the deletion: a folder removed and a file put at its path also
    // deletes the open file, but it is the folder that needs mending.
    if (notAFolder(fileFolder))
        return QStringLiteral("the folder %1 was replaced by a file").arg(fileFolder);
    if (*deleted)
        return QStringLiteral("the file was deleted");
    if (::stat(QFile::encodeName(logFile.fileName()).constData(), &named) != 0)
        return errno == ENOENT || errno == ENOTDIR ? QStringLiteral("the file was moved away")
                                                   : systemError(errno);
    if (named.st_dev != open.st_dev || named.st_ino != open.st_ino)
        return QStringLiteral("another file took its place");
    return {};
}

void Datalogger::fail(Failure failure, const QString &path, const QString &reason)
{
    syncNow();
    logFile.close();
    fileCreated = false;
    lastAttempt = now();
    failureText = path + QStringLiteral(": ") + reason;

    if (failing) {
        qDebug("Datalogger: still failing: %s: %s", qPrintable(path), qPrintable(reason));
        return;
    }
    failing = true;
    qDebug("Datalogger: %s: %s", qPrintable(path), qPrintable(reason));
    const QString what = failure == Failure::Create ? QStringLiteral("File could not be created! ")
                                                    : QStringLiteral("Log file could not be written! ");
    emit NewFileCreated(what + path + QStringLiteral(": ") + reason);
}

void Datalogger::reportResumed()
{
    failing = false;
    failureText.clear();
    emit NewFileCreated(QStringLiteral("Logging resumed: ") + logFile.fileName());
    if (notLogged == 1)
        emit NewFileCreated(QStringLiteral("1 sample was not logged"));
    else if (notLogged > 1)
        emit NewFileCreated(QStringLiteral("%1 samples were not logged").arg(notLogged));
    notLogged = 0;
}

qint64 Datalogger::now() const
{
    return ticks();
}

bool Datalogger::secondPassed(qint64 since) const
{
    const qint64 t = now();
    // A clock set back must not hold off retries until it catches up.
    return t - since >= retryInterval || t < since;
}

#include "moc_datalogger.cpp"
