// Takes the README's picture of the settings dialog's device menu, open over
// the ports of a bench with three USB adapters and a native UART, as udev
// describes them.
//
//   doc_screenshot_ports <output directory>
//
// Meant for a real display (tools/screenshots.sh runs it under Xvfb): the
// menu is a window of its own, so the picture is taken from the screen.

#include "options.h"
#include "outputdirectory.h"

#include "childwidget.h"
#include "fakeportlist.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QMenu>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <cstdio>

namespace {

QList<PortEntry> benchPorts()
{
    return {
        portEntry("/dev/ttyS0", {}, {}, {}),
        portEntry("/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
                  "FT232R USB UART", "FTDI", "A50285BI", 0x0403, 0x6001),
        portEntry("/dev/ttyUSB1", "/dev/serial/by-id/usb-1a86_USB_Serial-if00-port0", "USB Serial", "1a86",
                  {}, 0x1a86, 0x7523),
        portEntry("/dev/ttyACM0", "/dev/serial/by-id/usb-Arduino__www.arduino.cc__0043_75830333238351F0E1A1-if00",
                  "Arduino Uno", "Arduino (www.arduino.cc)", "75830333238351F0E1A1", 0x2341, 0x0043),
    };
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString path = outputDirectory(argc, argv).filePath(QStringLiteral("device-menu.png"));

    Options dialog;
    dialog.setPortList(std::make_unique<FakePortList>(benchPorts()));
    child<QGroupBox>(&dialog, "groupBox_2")->setChecked(true);
    dialog.move(20, 20);
    dialog.show();

    bool ok = false;
    // Give the dialog, then the menu, time to be mapped and painted.
    QTimer::singleShot(500, &app, [&] {
        child<QAction>(&dialog, "portAction")->trigger();
        QTimer::singleShot(500, &app, [&] {
            auto *menu = child<QMenu>(&dialog, "portMenu");
            menu->setActiveAction(menu->actions().at(1));
            QTimer::singleShot(300, &app, [&, menu] {
                const QRect area = dialog.frameGeometry().united(menu->geometry()).adjusted(0, 0, 8, 8);
                const QPixmap shot = dialog.screen()->grabWindow(0, area.x(), area.y(), area.width(),
                                                                 area.height());
                ok = shot.save(path);
                std::fprintf(ok ? stdout : stderr, "%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
                app.quit();
            });
        });
    });
    app.exec();
    return ok ? 0 : 1;
}
