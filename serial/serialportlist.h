#ifndef SERIALPORTLIST_H
#define SERIALPORTLIST_H

#include <QHash>
#include <QList>
#include <QString>

#include <memory>

// One serial port present on the machine, as udev describes it.
struct PortEntry
{
    QString systemLocation;   // the device node, such as "/dev/ttyUSB0"
    QString byIdPath;         // its /dev/serial/by-id/ link; empty when none
    QString description;      // such as "FT232R USB UART"; may be empty
    QString manufacturer;     // such as "FTDI"; may be empty
    QString serialNumber;     // may be empty
    int vendorId = -1;        // USB vendor and product ids; -1 when unknown
    int productId = -1;

    // The path to open: the by-id link where there is one, since it names
    // the adapter itself and survives a replug that changes the ttyUSB
    // number.
    QString stablePath() const { return byIdPath.isEmpty() ? systemLocation : byIdPath; }

    bool operator==(const PortEntry &other) const;
};

// The serial ports present. Reading and writing the port stay with
// serialhandler; this only says what could be opened.
class SerialPortList
{
public:
    virtual ~SerialPortList();

    // Read afresh at every call: adapters come and go.
    virtual QList<PortEntry> ports() const = 0;

    // The ports of this machine, from udev, with the links of byIdDir.
    static std::unique_ptr<SerialPortList>
    system(const QString &byIdDir = QStringLiteral("/dev/serial/by-id"));
};

// The links in dir, keyed by the canonical path of the device each leads
// to. Links that lead nowhere, or not to a character device, are left out;
// of several links to one device the first by name is kept.
QHash<QString, QString> deviceLinks(const QString &dir);

// The line that tells the user which ports there are, after a device path
// that does not exist.
QString presentPortsText(const QList<PortEntry> &ports);

#endif // SERIALPORTLIST_H
