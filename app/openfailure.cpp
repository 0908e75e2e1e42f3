#include "openfailure.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {

QString translated(const char *text)
{
    return QCoreApplication::translate("OpenFailure", text);
}

// The monitor only reads: what the device's group and mode let a user do.
QString permissionText(const QString &path)
{
    const QFileInfo device(path);
    if (!device.exists())
        return translated("Permission denied");
    const QString group = device.group();
    if (device.permissions().testFlag(QFileDevice::ReadGroup) && !group.isEmpty())
        return translated("Permission denied: add yourself to the %1 group").arg(group);
    // Qt keeps owner, group and others in the 0x7000, 0x70 and 0x7 nibbles.
    const int bits = int(device.permissions());
    const QString mode = QStringLiteral("0%1%2%3").arg((bits >> 12) & 7).arg((bits >> 4) & 7).arg(bits & 7);
    if (!device.permissions().testFlag(QFileDevice::ReadOwner))
        return translated("Permission denied: no one but root may read %1 (mode %2)").arg(path, mode);
    return translated("Permission denied: only %1 may read %2 (mode %3)")
        .arg(device.owner().isEmpty() ? QString::number(device.ownerId()) : device.owner(),
             path, mode);
}

} // namespace

QString openFailureText(OpenFailure failure, const QString &reason, const QString &path)
{
    switch (failure) {
    case OpenFailure::PermissionDenied:
        return permissionText(path);
    case OpenFailure::Busy:
        return translated("Device busy: another program has it open");
    case OpenFailure::NotASerialDevice:
        return translated("Not a serial device");
    case OpenFailure::None:
    case OpenFailure::Other:
        break;
    }
    return translated("The device could not be opened as a serial port: %1").arg(reason);
}
