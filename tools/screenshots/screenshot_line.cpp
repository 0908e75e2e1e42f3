// Takes the README's picture of the main window reading imu-sim in sensor
// mode, with the status bar's account of the line.
//
//   doc_screenshot_line <output directory>
//
// Meant for a real display (tools/screenshots.sh runs it under Xvfb).

#include "mainwindow.h"
#include "outputdirectory.h"

#include "childwidget.h"
#include "simulatorrun.h"
#include "windowdriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QDir out = outputDirectory(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));

    SimulatorRun sim;
    if (!sim.start(QStringLiteral(IMU_SIM_PATH), {}))
        qFatal("imu-sim did not start");
    QTemporaryDir logDir;
    answerWithPlots(sensorMode(sim.path, logDir.path()));
    MainWindow window;
    window.show();
    child<QCheckBox>(&window, "Autoscale")->setCheckState(Qt::PartiallyChecked);
    child<QCheckBox>(&window, "LogBox1")->setChecked(true);
    child<QAbstractButton>(&window, "Start_Button")->click();

    // A few status bar updates in, so that the figures have settled.
    bool ok = false;
    QTimer::singleShot(4500, &app, [&] {
        const QString path = out.filePath(QStringLiteral("sensor-mode.png"));
        ok = window.grab().save(path);
        std::fprintf(ok ? stdout : stderr, "%s %s (status: %s)\n", ok ? "wrote" : "could not write",
                     qPrintable(path), qPrintable(child<QLabel>(&window, "linkStatus")->text()));
        app.quit();
    });
    app.exec();
    return ok ? 0 : 1;
}
