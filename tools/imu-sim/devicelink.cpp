#include "devicelink.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Where Linux puts the slave sides of pseudo-terminals.
const char PseudoTerminals[] = "/dev/pts/";

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// The target of the link at path; empty when it is no link.
QString linkTarget(const QByteArray &path)
{
    char target[4096];
    const ssize_t length = ::readlink(path.constData(), target, sizeof target);
    if (length <= 0 || length >= ssize_t(sizeof target))
        return {};
    return QFile::decodeName(QByteArray(target, int(length)));
}

} // namespace

DeviceLink::DeviceLink(const QString &path, const QString &target) : linkPath(path), target(target) {}

std::unique_ptr<DeviceLink> DeviceLink::make(const QString &path, const QString &target, QString *error)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat existing{};
    if (::lstat(name.constData(), &existing) == 0) {
        if (!S_ISLNK(existing.st_mode)) {
            *error = QStringLiteral("--link: %1 exists and is not a symbolic link; it is left as it is").arg(path);
            return nullptr;
        }
        const QString old = linkTarget(name);
        if (!old.startsWith(QLatin1String(PseudoTerminals))) {
            *error = QStringLiteral("--link: %1 leads to %2, not to a pseudo-terminal; it is left as it is")
                         .arg(path, old);
            return nullptr;
        }
    } else if (errno != ENOENT) {
        *error = QStringLiteral("--link: cannot use %1: %2").arg(path, systemError());
        return nullptr;
    }

    // Made aside and renamed over the old one, so that the name never
    // leads nowhere while a monitor may be looking for it.
    const QByteArray fresh = name + ".imu-sim-" + QByteArray::number(qint64(::getpid()));
    ::unlink(fresh.constData());
    if (::symlink(QFile::encodeName(target).constData(), fresh.constData()) != 0) {
        *error = QStringLiteral("--link: cannot make %1: %2").arg(path, systemError());
        return nullptr;
    }
    if (std::rename(fresh.constData(), name.constData()) != 0) {
        *error = QStringLiteral("--link: cannot make %1: %2").arg(path, systemError());
        ::unlink(fresh.constData());
        return nullptr;
    }
    return std::unique_ptr<DeviceLink>(new DeviceLink(path, target));
}

DeviceLink::~DeviceLink()
{
    const QByteArray name = QFile::encodeName(linkPath);
    if (linkTarget(name) == target)
        ::unlink(name.constData());
}
