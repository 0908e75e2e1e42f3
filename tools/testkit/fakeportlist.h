#ifndef FAKEPORTLIST_H
#define FAKEPORTLIST_H

#include "serialportlist.h"

#include <memory>
#include <utility>

// Ports as a test or a picture wants them present. The entries are shared
// with the test, which may change them after handing the list over.
class FakePortList : public SerialPortList
{
public:
    explicit FakePortList(QList<PortEntry> present = {})
        : entries(std::make_shared<QList<PortEntry>>(std::move(present)))
    {
    }

    QList<PortEntry> ports() const override
    {
        ++*reads;
        return *entries;
    }

    std::shared_ptr<QList<PortEntry>> entries;
    // How often the ports were listed.
    std::shared_ptr<int> reads = std::make_shared<int>(0);
};

// An adapter as udev describes it; byId empty for none.
inline PortEntry portEntry(const QString &location, const QString &byId, const QString &description,
                           const QString &manufacturer, const QString &serialNumber = {},
                           int vendorId = -1, int productId = -1)
{
    PortEntry port;
    port.systemLocation = location;
    port.byIdPath = byId;
    port.description = description;
    port.manufacturer = manufacturer;
    port.serialNumber = serialNumber;
    port.vendorId = vendorId;
    port.productId = productId;
    return port;
}

#endif // FAKEPORTLIST_H
