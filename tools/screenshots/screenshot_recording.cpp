// Takes the README's picture of a week of logs in the recording viewer: 830
// files of 50000 lines with the time column, with a Stop of two hours and an
// adapter unplugged for a minute in them, read whole, the pointer over the
// gyroscope plot.
//
//   doc_screenshot_recording <output directory> [folder of the week]
//
// Writes the week into the folder given (kept for the next time) or into a
// temporary one, about half a minute. Meant for a real display
// (tools/screenshots.sh runs it under Xvfb).

#include "outputdirectory.h"
#include "recordingviewer.h"

#include "recordingwriter.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QDir out = outputDirectory(argc, argv);
    QTemporaryDir scratch;
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : scratch.path();

    if (QDir(folder).entryList({QStringLiteral("*.txt")}, QDir::Files).size() != 830) {
        RecordingPlan plan;
        plan.folder = folder;
        plan.withTime = true;
        // A week from a Monday morning, 9.05.
        const QDate monday = QDate::currentDate().addDays(-14 - QDate::currentDate().dayOfWeek() + 1);
        plan.startMs = QDateTime(monday, QTime(9, 5, 7)).toMSecsSinceEpoch();
        plan.pauses = {{16000000, 2 * 3600 * 1000}, {29000000, 60 * 1000}};
        std::printf("writing a week of logs into %s\n", qPrintable(folder));
        std::fflush(stdout);
        if (!writeRecording(plan))
            return 1;
    }

    // Quitting closes it, and it deletes itself.
    auto *viewer = new RecordingViewer({folder});
    viewer->resize(1100, 800);
    viewer->show();
    bool ok = false;
    QObject::connect(viewer, &RecordingViewer::loaded, &app, [&] {
        // The pointer over the gyroscope plot, a third of the way in.
        QTimer::singleShot(500, &app, [&] {
            QCustomPlot *gyro = viewer->findChildren<QCustomPlot *>().at(1);
            const QPointF at(gyro->axisRect()->left() + gyro->axisRect()->width() / 3.0,
                             gyro->axisRect()->center().y());
            QMouseEvent move(QEvent::MouseMove, at, gyro->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                             Qt::NoModifier);
            QApplication::sendEvent(gyro, &move);
            QTimer::singleShot(300, &app, [&] {
                const QString path = out.filePath(QStringLiteral("recording-viewer.png"));
                ok = viewer->grab().save(path);
                std::fprintf(ok ? stdout : stderr, "%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
                app.quit();
            });
        });
    });
    app.exec();
    return ok ? 0 : 1;
}
