#include "historygraph.h"
#include "logformat.h"
#include "mainwindow.h"
#include "recordingdialog.h"
#include "recordingviewer.h"

#include "childwidget.h"
#include "recordingwriter.h"
#include "simulatorrun.h"
#include "windowdriver.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QMimeData>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>

namespace {

// The viewer the window opened last.
RecordingViewer *openedViewer()
{
    RecordingViewer *found = nullptr;
    for (QWidget *window : QApplication::topLevelWidgets())
        if (auto *viewer = qobject_cast<RecordingViewer *>(window))
            found = viewer;
    return found;
}

// The times in the time column of dir's log files, oldest first.
QList<qint64> loggedTimes(const QString &dir)
{
    QList<qint64> times;
    for (const QFileInfo &file : logFiles(dir))
        for (const QByteArray &line : dataLines(file)) {
            qint64 time = LogFormat::NoTime;
            LogFormat::parseDataLine(line, nullptr, &time);
            times << time;
        }
    return times;
}

} // namespace

class tst_RecordingViewer : public QObject
{
    Q_OBJECT

private slots:
    void showsWhatWasLogged();
    void monitorGoesOnWhileLoading();
};

// Logged by the monitor over three files with the time column, then opened
// from File > Open recording: every sample is in the viewer, at its logged
// time, and each graph draws its own column of them.
void tst_RecordingViewer::showsWhatWasLogged()
{
    QTemporaryDir logDir;
    QVERIFY(logDir.isValid());
    answerSettings(
        [&](QDialog *d) {
            withPlots(testMode(logDir.path()))(d);
            child<QSpinBox>(d, "newfilelines")->setValue(700);
        },
        true);
    MainWindow w;
    child<QCheckBox>(&w, "LogTimeBox")->setChecked(true);
    child<QCheckBox>(&w, "LogBox1")->setChecked(true);
    const int samples = 2000;
    for (int i = 0; i < samples; ++i)
        QVERIFY(tick(&w));
    QCOMPARE(logFiles(logDir.path()).size(), 3);

    // The folder chosen in the dialog, and Open pressed.
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<RecordingDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->selectFile(logDir.path());
        static_cast<QDialog *>(dialog)->accept();
    });
    child<QAction>(&w, "actionOpenRecording")->trigger();
    RecordingViewer *viewer = openedViewer();
    QVERIFY(viewer);
    QTRY_VERIFY_WITH_TIMEOUT(viewer->recording(), 20000);

    const Recording &read = *viewer->recording();
    const QList<QList<int>> logged = loggedSamples(logDir.path());
    QCOMPARE(logged, waveSamples(samples));
    const QList<qint64> times = loggedTimes(logDir.path());
    QCOMPARE(read.samples.size(), samples);
    for (int i = 0; i < samples; ++i) {
        for (int column = 0; column < 6; ++column)
            QCOMPARE(int(read.samples.value(column, i)), logged[i][column]);
        QCOMPARE(read.times.msOf(i), double(times[i]));
    }
    QCOMPARE(read.report.filesRead, 3);
    QCOMPARE(read.report.problems, 0);

    const QList<HistoryGraph *> graphs = viewer->findChildren<HistoryGraph *>();
    QCOMPARE(graphs.size(), 6);
    for (int column = 0; column < 6; ++column) {
        QList<int> values;
        for (const QList<int> &sample : logged)
            values << sample[column];
        HistoryGraph *graph = graphs[column];
        bool found = false;
        const QCPRange keys = graph->getKeyRange(found);
        QVERIFY(found);
        QCOMPARE(keys.lower, times.first() / 1000.0);
        QCOMPARE(keys.upper, times.last() / 1000.0);
        const QCPRange range = graph->getValueRange(found);
        QCOMPARE(range.lower, double(*std::min_element(values.begin(), values.end())));
        QCOMPARE(range.upper, double(*std::max_element(values.begin(), values.end())));
    }
}

// A recording dropped on the monitor while it logs: the timer keeps firing
// and every sample of it is logged meanwhile; the recording is read whole.
void tst_RecordingViewer::monitorGoesOnWhileLoading()
{
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    RecordingPlan plan;
    plan.folder = scratch.filePath(QStringLiteral("recording"));
    plan.files = 8;
    plan.linesPerFile = 40000;
    plan.startMs = QDateTime::currentMSecsSinceEpoch() - 86400 * 1000;
    QVERIFY(writeRecording(plan));

    const QString logDir = scratch.filePath(QStringLiteral("logs"));
    QVERIFY(QDir().mkpath(logDir));
    answerWithPlots(testMode(logDir));
    MainWindow w;
    child<QCheckBox>(&w, "LogBox1")->setChecked(true);
    child<QSpinBox>(&w, "TaajuusSBox")->setValue(0);
    int ticks = 0;
    connect(child<QTimer>(&w, "mainTimer"), &QTimer::timeout, this, [&] { ++ticks; });
    click(&w, "Start_Button");
    QTRY_VERIFY(ticks > 0);

    QMimeData dropped;
    dropped.setUrls({QUrl::fromLocalFile(plan.folder)});
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &enter);
    QVERIFY(enter.isAccepted());
    const int ticksBefore = ticks;
    QApplication::sendEvent(&w, &drop);
    RecordingViewer *viewer = openedViewer();
    QVERIFY(viewer);
    // The drop only begins the reading.
    QVERIFY(!viewer->recording());
    QSignalSpy loaded(viewer, &RecordingViewer::loaded);
    QVERIFY(loaded.isValid());
    QVERIFY(loaded.wait(30000));
    const int ticksWhileLoading = ticks - ticksBefore;
    click(&w, "Stop_Button");

    QCOMPARE(viewer->recording()->samples.size(), plan.files * plan.linesPerFile);
    // How many depends on the machine's load; none would mean a stalled window.
    QVERIFY2(ticksWhileLoading >= 1, qPrintable(QStringLiteral("%1 ticks while loading").arg(ticksWhileLoading)));
    // Each tick of test mode logs a sample.
    QCOMPARE(loggedSamples(logDir), waveSamples(ticks));
}

QTEST_MAIN(tst_RecordingViewer)
#include "tst_recordingviewer.moc"
