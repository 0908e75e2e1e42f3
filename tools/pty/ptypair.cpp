#include "ptypair.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

PtyPair::PtyPair()
{
    master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        error = QStringLiteral("cannot make a pseudo-terminal: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    slave = QString::fromLocal8Bit(::ptsname(master));

    // Raw from the start: no echo, no CR/LF translation, no signal characters,
    // so bytes written before the program sets its own modes pass unchanged.
    termios mode{};
    if (::tcgetattr(master, &mode) == 0) {
        ::cfmakeraw(&mode);
        ::tcsetattr(master, TCSANOW, &mode);
    }

    observer = ::open(slave.toLocal8Bit().constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (observer < 0)
        error = QStringLiteral("cannot open %1: %2").arg(slave, QString::fromLocal8Bit(std::strerror(errno)));
}

PtyPair::~PtyPair()
{
    closeMaster();
    if (observer >= 0)
        ::close(observer);
}

bool PtyPair::isValid() const
{
    return master >= 0 && observer >= 0;
}

QString PtyPair::errorString() const
{
    return error;
}

QString PtyPair::slavePath() const
{
    return slave;
}

bool PtyPair::write(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (master >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(master, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return done == bytes.size();
}

int PtyPair::bytesWaiting() const
{
    int count = 0;
    if (observer < 0 || ::ioctl(observer, FIONREAD, &count) != 0)
        return -1;
    return count;
}

QByteArray PtyPair::readFromMaster()
{
    QByteArray received;
    char chunk[512];
    pollfd ready{master, POLLIN, 0};
    while (master >= 0 && ::poll(&ready, 1, 0) > 0 && (ready.revents & POLLIN)) {
        const ssize_t n = ::read(master, chunk, sizeof chunk);
        if (n <= 0)
            break;
        received.append(chunk, n);
    }
    return received;
}

void PtyPair::closeMaster()
{
    if (master >= 0) {
        ::close(master);
        master = -1;
    }
}
