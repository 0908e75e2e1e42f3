#include "ptypair.h"
#include "serialportlist.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

bool isCharacterDevice(const QString &path)
{
    struct stat info{};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISCHR(info.st_mode);
}

PortEntry port(const QString &location, const QString &byId)
{
    PortEntry entry;
    entry.systemLocation = location;
    entry.byIdPath = byId;
    return entry;
}

} // namespace

class tst_SerialPortList : public QObject
{
    Q_OBJECT

private slots:
    void listingOfThisMachine();
    void linksToDevices();
    void presentPorts_data();
    void presentPorts();
};

// Whatever is plugged in here, possibly nothing: each entry is a device
// that can be opened, and its link leads to it.
void tst_SerialPortList::listingOfThisMachine()
{
    const auto list = SerialPortList::system();
    const QList<PortEntry> ports = list->ports();
    qInfo("%lld serial ports present", static_cast<long long>(ports.size()));
    for (const PortEntry &p : ports) {
        QVERIFY2(isCharacterDevice(p.systemLocation), qPrintable(p.systemLocation));
        if (p.byIdPath.isEmpty())
            continue;
        QCOMPARE(QFileInfo(p.byIdPath).absolutePath(), QStringLiteral("/dev/serial/by-id"));
        QCOMPARE(QFileInfo(p.byIdPath).canonicalFilePath(), QFileInfo(p.systemLocation).canonicalFilePath());
        QCOMPARE(p.stablePath(), p.byIdPath);
    }
    // Listed afresh, the same ports again (nobody plugs anything in here).
    QCOMPARE(list->ports().size(), ports.size());
}

// A by-id folder in miniature: links to a pseudo-terminal, which is a
// character device as an adapter's node is, and what must be left out.
void tst_SerialPortList::linksToDevices()
{
    PtyPair adapter;
    QVERIFY2(adapter.isValid(), qPrintable(adapter.errorString()));
    QTemporaryDir byId;
    QVERIFY(byId.isValid());
    const QDir dir(byId.path());
    QFile plain(dir.filePath("plain-file"));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();

    QVERIFY(QFile::link(adapter.slavePath(), dir.filePath("usb-FTDI_FT232R_USB_UART_A1-if00-port0")));
    // A second name for the same device: the first by name is kept.
    QVERIFY(QFile::link(adapter.slavePath(), dir.filePath("usb-zz-second-name")));
    QVERIFY(QFile::link(dir.filePath("gone"), dir.filePath("usb-unplugged-if00-port0")));
    QVERIFY(QFile::link(plain.fileName(), dir.filePath("usb-not-a-device")));
    QVERIFY(QFile::link(QStringLiteral("/dev/null"), dir.filePath("usb-null")));

    const QHash<QString, QString> links = deviceLinks(byId.path());
    QCOMPARE(links.size(), 2);
    QCOMPARE(links.value(QFileInfo(adapter.slavePath()).canonicalFilePath()),
             dir.filePath("usb-FTDI_FT232R_USB_UART_A1-if00-port0"));
    QCOMPARE(links.value(QStringLiteral("/dev/null")), dir.filePath("usb-null"));

    QVERIFY(deviceLinks(dir.filePath("no-such-folder")).isEmpty());
}

void tst_SerialPortList::presentPorts_data()
{
    QTest::addColumn<QList<PortEntry>>("ports");
    QTest::addColumn<QString>("text");

    const QString ftdi = QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    QTest::newRow("none") << QList<PortEntry>{}
                          << "No serial port is present: is the adapter plugged in?";
    QTest::newRow("one adapter") << QList<PortEntry>{port("/dev/ttyUSB1", ftdi)}
                                 << "Serial ports present: " + ftdi + " (/dev/ttyUSB1)";
    QTest::newRow("adapter and native port")
        << QList<PortEntry>{port("/dev/ttyS0", {}), port("/dev/ttyUSB1", ftdi)}
        << "Serial ports present: /dev/ttyS0, " + ftdi + " (/dev/ttyUSB1)";
}

void tst_SerialPortList::presentPorts()
{
    QFETCH(QList<PortEntry>, ports);
    QFETCH(QString, text);
    QCOMPARE(presentPortsText(ports), text);
}

QTEST_MAIN(tst_SerialPortList)
#include "tst_serialportlist.moc"
