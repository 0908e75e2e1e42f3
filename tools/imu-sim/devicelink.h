#ifndef DEVICELINK_H
#define DEVICELINK_H

#include <QString>

#include <memory>

// A symbolic link to the simulator's pseudo-terminal, so that the monitor is
// given one name for every run, as a /dev/serial/by-id link names an
// adapter whatever ttyUSB number it gets.
class DeviceLink
{
public:
    // Makes path a link to target. A link to a pseudo-terminal is replaced,
    // as a link a run before this one left behind; anything else at path is
    // left alone. Nothing, with the reason in *error, when path cannot be
    // made a link.
    static std::unique_ptr<DeviceLink> make(const QString &path, const QString &target, QString *error);

    // Removes the link, unless another run has pointed it elsewhere since.
    ~DeviceLink();

    DeviceLink(const DeviceLink &) = delete;
    DeviceLink &operator=(const DeviceLink &) = delete;

    QString path() const { return linkPath; }

private:
    DeviceLink(const QString &path, const QString &target);
    QString linkPath;
    QString target;
};

#endif // DEVICELINK_H
