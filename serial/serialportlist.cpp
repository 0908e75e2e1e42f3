#include "serialportlist.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStringList>

#include <algorithm>

#include <sys/stat.h>

namespace {

bool isCharacterDevice(const QString &path)
{
    struct stat info{};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISCHR(info.st_mode);
}

// Qt Serial Port is used here alone, and only to list the ports.
class SystemPortList : public SerialPortList
{
public:
    explicit SystemPortList(const QString &byIdDir) : byIdDir(byIdDir) {}

    QList<PortEntry> ports() const override
    {
        const QHash<QString, QString> links = deviceLinks(byIdDir);
        QList<PortEntry> entries;
        for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
            PortEntry entry;
            entry.systemLocation = info.systemLocation();
            // udev may still report a node that has just gone.
            if (!isCharacterDevice(entry.systemLocation))
                continue;
            entry.byIdPath = links.value(QFileInfo(entry.systemLocation).canonicalFilePath());
            entry.description = info.description();
            entry.manufacturer = info.manufacturer();
            entry.serialNumber = info.serialNumber();
            if (info.hasVendorIdentifier())
                entry.vendorId = info.vendorIdentifier();
            if (info.hasProductIdentifier())
                entry.productId = info.productIdentifier();
            entries << entry;
        }
        // ttyUSB2 before ttyUSB10.
        QCollator order;
        order.setNumericMode(true);
        std::sort(entries.begin(), entries.end(), [&order](const PortEntry &a, const PortEntry &b) {
            return order.compare(a.systemLocation, b.systemLocation) < 0;
        });
        return entries;
    }

private:
    QString byIdDir;
};

} // namespace

bool PortEntry::operator==(const PortEntry &other) const
{
    return systemLocation == other.systemLocation && byIdPath == other.byIdPath
           && description == other.description && manufacturer == other.manufacturer
           && serialNumber == other.serialNumber && vendorId == other.vendorId
           && productId == other.productId;
}

SerialPortList::~SerialPortList() = default;

std::unique_ptr<SerialPortList> SerialPortList::system(const QString &byIdDir)
{
    return std::make_unique<SystemPortList>(byIdDir);
}

QHash<QString, QString> deviceLinks(const QString &dir)
{
    QHash<QString, QString> links;
    const QFileInfoList entries = QDir(dir).entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot,
                                                          QDir::Name);
    for (const QFileInfo &link : entries) {
        if (!link.isSymLink())
            continue;
        const QString device = link.canonicalFilePath();
        if (device.isEmpty() || !isCharacterDevice(device) || links.contains(device))
            continue;
        links.insert(device, link.absoluteFilePath());
    }
    return links;
}

QString presentPortsText(const QList<PortEntry> &ports)
{
    if (ports.isEmpty())
        return QStringLiteral("No serial port is present: is the adapter plugged in?");
    QStringList names;
    for (const PortEntry &port : ports) {
        names << (port.byIdPath.isEmpty()
                      ? port.systemLocation
                      : QStringLiteral("%1 (%2)").arg(port.byIdPath, port.systemLocation));
    }
    return QStringLiteral("Serial ports present: %1").arg(names.join(QStringLiteral(", ")));
}
