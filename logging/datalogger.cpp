#include "datalogger.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <sys/stat.h>
#include <utility>

namespace {

const char header[] = "indeksi,x-akseli1,y-akseli1,z-akseli1,x-akseli2,y-akseli2,z-akseli2\n";

// Retries and file checks are paced by this, in milliseconds.
constexpr qint64 retryInterval = 1000;

qint64 monotonicMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

Datalogger::Datalogger(QObject *parent)
    : QObject(parent)
{
    setClock({});
}

Datalogger::~Datalogger() = default;

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
    const QString directory = logDirectory.isEmpty() ? QStringLiteral(".") : logDirectory;
    const QString path = QDir::toNativeSeparators(directory) + QStringLiteral("//")
            + clock().toString(QStringLiteral("dd.MM, h.mm.ss")) + QStringLiteral(".txt");

    logFile.close();
    logFile.setFileName(path);
    fileCreated = false;
    lineCount = 0;

    const bool existed = QFileInfo::exists(path);
    // Unbuffered: each line goes to the operating system in one write, so a
    // killed program leaves only whole lines behind.
    if (!logFile.open(QIODevice::Append | QIODevice::Text | QIODevice::Unbuffered)) {
        // The name may exist and still not be writable (a directory, a file
        // without write permission), so the open result decides, not existence.
        fail(Failure::Create, path, logFile.errorString());
        return;
    }

    // A second file begun within the same second continues the first one;
    // a header in the middle would break the file for CSV readers.
    QString reason;
    if (logFile.size() == 0 && !writeLine(QByteArray(header), &reason)) {
        fail(Failure::Create, path, reason);
        // On a full disk every retry would otherwise leave an empty file.
        if (!existed && QFileInfo(path).size() == 0)
            QFile::remove(path);
        return;
    }

    fileCreated = true;
    lastCheck = now();
    linesSinceCheck = 0;
    emit NewFileCreated(QStringLiteral("New file created: ") + path);
}

void Datalogger::Log(int acc_x, int acc_y, int acc_z, int gyro_x, int gyro_y, int gyro_z)
{
    if (fileCreated && secondPassed(lastCheck))
        checkFileInPlace();
    if (!fileCreated && (!failing || secondPassed(lastAttempt)))
        CreateFile();
    if (!fileCreated) {
        ++notLogged;
        return;
    }

    QByteArray line;
    line.reserve(64);
    line += QByteArray::number(lineCount);
    for (int value : {acc_x, acc_y, acc_z, gyro_x, gyro_y, gyro_z}) {
        line += ',';
        line += QByteArray::number(value);
    }
    line += '\n';
    QString reason;
    if (!writeLine(line, &reason)) {
        fail(Failure::Write, logFile.fileName(), reason);
        ++notLogged;
        return;
    }
    ++lineCount;
    ++totalLines;
    ++linesSinceCheck;
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
    if (open.st_nlink == 0) {
        *deleted = true;
        return QStringLiteral("the file was deleted");
    }
    if (::stat(QFile::encodeName(logFile.fileName()).constData(), &named) != 0)
        return errno == ENOENT || errno == ENOTDIR ? QStringLiteral("the file was moved away")
                                                   : systemError(errno);
    if (named.st_dev != open.st_dev || named.st_ino != open.st_ino)
        return QStringLiteral("another file took its place");
    return {};
}

void Datalogger::fail(Failure failure, const QString &path, const QString &reason)
{
    logFile.close();
    fileCreated = false;
    lastAttempt = now();

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
