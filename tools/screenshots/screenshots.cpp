// Takes the README's pictures of the real program: the settings dialog as it
// opens, with a USB adapter's by-id path in the device field, the main window in test mode with both plots after a few hundred
// samples, the time axes following the newest sample, and the same window
// once each plot's value axis has been fitted by a double-click.
//
//   doc_screenshots <output directory>
//
// Meant for a real display (tools/screenshots.sh runs it under Xvfb).

#include "mainwindow.h"
#include "outputdirectory.h"

#include "childwidget.h"
#include "windowdriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

bool save(QWidget *w, const QString &path)
{
    const bool ok = w->grab().save(path);
    std::fprintf(ok ? stdout : stderr, "%s %s\n", ok ? "wrote" : "could not write",
                 qPrintable(path));
    return ok;
}

// A left double-click in the bottom left corner of a widget, as the user
// gives it: on a plot, clear of curves, axes and legend, which a click would
// select.
void doubleClick(QWidget *w)
{
    const QPointF corner(8, w->height() - 8);
    const QPointF global = w->mapToGlobal(corner);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                              QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
        const bool down = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick;
        QMouseEvent event(type, corner, global, Qt::LeftButton,
                          down ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(w, &event);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QDir out = outputDirectory(argc, argv);
    const int samples = 400;
    bool ok = true;

    QTemporaryDir logDir;
    // Give the dialog time to be mapped and painted before grabbing it, then
    // confirm its preselected choices: test mode with both plots.
    QTimer::singleShot(500, [&] {
        auto *d = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!d)
            qFatal("no settings dialog");
        child<QGroupBox>(d, "groupBox_2")->setChecked(true);
        child<QLineEdit>(d, "devicenameField")
            ->setText(QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"));
        ok &= save(d, out.filePath(QStringLiteral("settings-dialog.png")));
        withPlots(testMode(logDir.path()))(d);
        d->accept();
    });
    MainWindow window;
    window.show();

    child<QCheckBox>(&window, "Autoscale")->setCheckState(Qt::PartiallyChecked);
    child<QSpinBox>(&window, "TaajuusSBox")->setValue(5);
    int ticks = 0;
    QObject::connect(child<QTimer>(&window, "mainTimer"), &QTimer::timeout, &app, [&] {
        if (++ticks == samples) {
            ok &= save(&window, out.filePath(QStringLiteral("main-window.png")));
            child<QAbstractButton>(&window, "Stop_Button")->click();
            // A double-click fits a plot's value axis to the samples in view.
            for (QWidget *plot : window.findChildren<QWidget *>())
                if (plot->inherits("QCustomPlot"))
                    doubleClick(plot);
            QTimer::singleShot(200, &app, [&] {
                ok &= save(&window, out.filePath(QStringLiteral("fitted-value-axes.png")));
                app.quit();
            });
        }
    });
    child<QAbstractButton>(&window, "Start_Button")->click();
    app.exec();
    return ok ? 0 : 1;
}
