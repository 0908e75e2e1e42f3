#include "logsync.h"

#include <QFile>
#include <QMetaObject>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

int systemSync(int fd, LogSync::Target target)
{
    const int result = target == LogSync::Target::File ? ::fdatasync(fd) : ::fsync(fd);
    return result == 0 ? 0 : errno;
}

} // namespace

LogSync::LogSync(QObject *parent)
    : QObject(parent)
    , syncCall(systemSync)
{
    // One thread: the jobs never overtake each other.
    worker.setMaxThreadCount(1);
    worker.setExpiryTimeout(-1);
}

LogSync::~LogSync()
{
    worker.waitForDone();
}

void LogSync::syncFile(int fd, const QString &path)
{
    if (fd < 0)
        return;
    run(::fcntl(fd, F_DUPFD_CLOEXEC, 0), Target::File, path);
}

void LogSync::syncFolder(const QString &path)
{
    run(::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), Target::Folder, path);
}

void LogSync::waitForDone()
{
    worker.waitForDone();
}

void LogSync::setSyncCall(SyncCall call)
{
    waitForDone();
    syncCall = call ? std::move(call) : SyncCall(systemSync);
}

void LogSync::run(int fd, Target target, const QString &path)
{
    if (fd < 0) {
        emit syncFailed(path, QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    // The job holds its own descriptor: the file may be closed, or the next
    // one begun, while the disk catches up.
    worker.start([this, fd, target, path, call = syncCall] {
        const int error = call(fd, target);
        ::close(fd);
        if (error != 0) {
            QMetaObject::invokeMethod(this, [this, path, error] {
                emit syncFailed(path, QString::fromLocal8Bit(std::strerror(error)));
            }, Qt::QueuedConnection);
        }
    });
}

#include "moc_logsync.cpp"
