#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "imusample.h"

#include <QElapsedTimer>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>
#include <memory>

class Datalogger;
class Options;
class QLabel;
class RecordingViewer;
class SensorPlots;
class QTimer;
class Ui_MainWindow;
class serialhandler;

// The monitor's window and controller. It owns the serial reader, the data
// logger and the settings dialog, wires them together, runs the settings
// dialog before it is first shown, and on every timer tick fetches a sample
// from the sensor (or computes one in test mode), shows it on the readouts,
// draws it and logs it. Recordings open in viewers of their own beside it.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

private:
    QString versionString;
    std::unique_ptr<serialhandler> serialHandler;
    std::unique_ptr<Options> options;
    std::unique_ptr<Datalogger> dataLogger;
    QTimer *mainTimer = nullptr;
    std::unique_ptr<Ui_MainWindow> ui;
    bool plotsBuilt = false;

    // The current sample: the only copy of the latest values.
    ImuSample current;

    // The plots and the history drawn on them; valid only while plotsBuilt
    // is set. A child of the window.
    SensorPlots *plots = nullptr;
    // Samples drawn since start or the last clear (0 while no plots are
    // built); also the phase of the test-mode waves.
    int sampleCount() const;

private slots:
    void AvaaOptions();
    void AvaaAbout();
    void AvaaReadme();
    void AvaaTallenne();
    void OtaVastaanOptions(int *optionFrame);
    void OtaVastaanViesti(QString msg);
    void on_Start_Button_clicked();
    void on_Stop_Button_clicked();
    void OtaVastaanData(int16_t a0, int16_t a1, int16_t a2, int16_t g0, int16_t g1, int16_t g2);
    void OtaVastaanNaytteet(const QVector<ImuSample> &samples, const QVector<qint64> &arrivals);
    void PaivitaLcdt();
    void InitialisoiKuvaajat();
    // Appends a read's samples to the plots and redraws them once.
    void PiirraKuvaajat(const QVector<ImuSample> &samples);
    void SkaalaaKuvaajat();
    void TyhjennaKuvaajat();
    void MainTimeout();

private:
    // Logs, draws and shows samples, oldest first; arrivals: when each came,
    // in milliseconds since 1970 UTC, for the log's time column.
    void present(const QVector<ImuSample> &samples, const QVector<qint64> &arrivals);

    // The status bar: what the line did over the last second, or why
    // nothing comes. Once a second while acquiring, which also tries to
    // reopen a lost device.
    void startLinkStatus(const QString &text);
    void updateLinkStatus();
    void reportDeviceLost();
    // Tries to reopen a lost device and says how that went.
    void retryLostDevice();
    // Ends acquiring: the line is no longer read.
    void stopAcquiring();
    // True while samples come in the current mode: the timer runs, and in
    // sensor mode a port is open and its device present.
    bool acquiring() const;
    // Why the port could not be opened, in words that say what to do.
    QString openFailureText() const;
    // The part of the window the plots fill: right of the form, between the
    // bars at the top and the status bar, which they must never cover.
    QRect plotArea() const;
    void layOutPlots();
    // Datalog's tool tip names the folder the files go to.
    void describeLogFolder(const QString &directory);
    // The timer interval for the interval asked for, in the current mode.
    int tickInterval(int requested) const;
    // Shows in the status bar why nothing is logged while Datalog is ticked.
    void updateLogStatus();

    // Shows the log files and folders at paths in a viewer of their own;
    // the monitor goes on acquiring and logging meanwhile.
    void openRecording(const QStringList &paths);

    bool eventFilter(QObject *watched, QEvent *event) override;
    // Log files or folders dropped on the window open as a recording.
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    // The viewers close with the monitor, which ends the program.
    void closeEvent(QCloseEvent *event) override;

    QLabel *linkStatus = nullptr;
    QLabel *logStatus = nullptr;
    // The height of the form's widgets, which the bars must leave free.
    int formHeight = 0;
    QTimer *linkTimer = nullptr;
    QElapsedTimer linkClock;
    // Samples drawn and log lines written, for the status bar's rates.
    long long samplesDrawn = 0;
    long long drawnAtStatus = 0;
    long long loggedAtStatus = 0;
    // The read interval of the last Start.
    int startedInterval = 0;
    // The last reason a returned device could not be opened that the
    // message area was given; each is given once.
    QString reportedOpenFailure;
    // The wrong-layout hint last given in the message area.
    QString reportedLayoutHint;
    // Where the logs go: where the recordings to open are.
    QString logFolder;
    // The recording viewers open: top-level windows that delete themselves
    // when closed.
    QList<QPointer<RecordingViewer>> viewers;
};

#endif // MAINWINDOW_H
