#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "datafiles.h"
#include "datalogger.h"
#include "linkstatus.h"
#include "logformat.h"
#include "openfailure.h"
#include "options.h"
#include "recordingdialog.h"
#include "recordingviewer.h"
#include "sensorplots.h"
#include "serialhandler.h"
#include "serialportlist.h"
#include "wavesample.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QLabel>
#include <QMimeData>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QPixmap>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// How the time axes follow the samples, by the tri-state Autoscale box.
SensorPlots::TimeAxis timeAxisOf(const QCheckBox *autoscale)
{
    switch (autoscale->checkState()) {
    case Qt::PartiallyChecked:
        return SensorPlots::TimeAxis::FollowsNewest;
    case Qt::Checked:
        return SensorPlots::TimeAxis::ShowsAll;
    case Qt::Unchecked:
        break;
    }
    return SensorPlots::TimeAxis::Stays;
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , versionString(QStringLiteral(IMU_VERSION "_linux"))
    , ui(std::make_unique<Ui_MainWindow>())
{
    ui->setupUi(this);
    // Log files dropped anywhere on the window, the message area included,
    // open as a recording.
    setAcceptDrops(true);
    ui->msgBrowser->setAcceptDrops(false);

    serialHandler = std::make_unique<serialhandler>();
    dataLogger = std::make_unique<Datalogger>();
    options = std::make_unique<Options>();
    mainTimer = new QTimer(this);
    mainTimer->setObjectName(QStringLiteral("mainTimer"));
    linkTimer = new QTimer(this);
    linkTimer->setObjectName(QStringLiteral("linkTimer"));
    linkTimer->setInterval(1000);
    // The state of the line, and below it, only while Datalog is ticked and
    // nothing reaches a file, why: kept apart from the message area, which
    // Stop empties. Each has the bar's whole width and wraps rather than
    // hide the end of a long path.
    auto *statusPanel = new QWidget(this);
    auto *statusLines = new QVBoxLayout(statusPanel);
    statusLines->setContentsMargins(0, 0, 0, 0);
    statusLines->setSpacing(0);
    linkStatus = new QLabel(tr("Stopped"), statusPanel);
    linkStatus->setObjectName(QStringLiteral("linkStatus"));
    logStatus = new QLabel(statusPanel);
    logStatus->setObjectName(QStringLiteral("logStatus"));
    logStatus->hide();
    for (QLabel *line : {linkStatus, logStatus}) {
        line->setWordWrap(true);
        statusLines->addWidget(line);
    }
    ui->statusBar->addPermanentWidget(statusPanel, 1);
    // The plots fill what the bars leave free beside the form, and the form
    // is never cut off by the status bar.
    formHeight = ui->centralWidget->childrenRect().bottom() + 1;
    ui->centralWidget->installEventFilter(this);

    // Samples and logger messages: every frame of a read is drawn and logged,
    // and the newest is shown on the readouts.
    connect(serialHandler.get(), &serialhandler::SendData, this, &MainWindow::OtaVastaanData);
    connect(serialHandler.get(), &serialhandler::SendSamples, this, &MainWindow::OtaVastaanNaytteet);
    connect(dataLogger.get(), &Datalogger::NewFileCreated, this, &MainWindow::OtaVastaanViesti);
    // Menus
    connect(ui->actionOpenRecording, &QAction::triggered, this, &MainWindow::AvaaTallenne);
    connect(ui->actionQuit, &QAction::triggered, this, &QWidget::close);
    connect(ui->actionOptions, &QAction::triggered, this, &MainWindow::AvaaOptions);
    connect(ui->actionAbout, &QAction::triggered, this, &MainWindow::AvaaAbout);
    connect(ui->actionReadme, &QAction::triggered, this, &MainWindow::AvaaReadme);
    // Settings broadcast: the window reports the update before the serial
    // reader takes the new frame layout.
    connect(options.get(), &Options::SendOptions, this, &MainWindow::OtaVastaanOptions);
    connect(options.get(), &Options::SendOptions, serialHandler.get(), &serialhandler::updateOptions);
    connect(options.get(), &Options::SendFilename, dataLogger.get(), &Datalogger::ReceiveFilename);
    connect(options.get(), &Options::SendDeviceName, serialHandler.get(), &serialhandler::receiveDevicename);
    connect(options.get(), &Options::SendNewfileIndex, dataLogger.get(), &Datalogger::ReceiveNewfileIndex);
    connect(options.get(), &Options::SendFilename, this, &MainWindow::describeLogFolder);
    // Acquisition
    connect(mainTimer, &QTimer::timeout, this, &MainWindow::MainTimeout);
    // The state of the line, for the status bar
    connect(linkTimer, &QTimer::timeout, this, &MainWindow::updateLinkStatus);
    connect(serialHandler.get(), &serialhandler::deviceLost, this, &MainWindow::reportDeviceLost);
    connect(ui->LogBox1, &QCheckBox::toggled, this, &MainWindow::updateLogStatus);
    connect(ui->LogTimeBox, &QCheckBox::toggled, dataLogger.get(), &Datalogger::setTimeColumn);

    // The settings are chosen before the window is first shown; a cancelled
    // dialog leaves every object at its defaults.
    options->exec();
    if (options->drawPlots) {
        InitialisoiKuvaajat();
        resize(1000, 750);
        layOutPlots();
    } else {
        resize(450, 750);
    }
}

// The reader, the logger and the dialog go with the window, and so do the
// viewers still open. Every log line is already flushed, so nothing is left
// to write.
MainWindow::~MainWindow()
{
    for (const QPointer<RecordingViewer> &viewer : viewers)
        delete viewer.data();
}

void MainWindow::AvaaOptions()
{
    options->exec();
    if (!options->drawPlots)
        return;
    if (plotsBuilt) {
        SkaalaaKuvaajat();
        resize(1000, 750);
        layOutPlots();
    } else {
        InitialisoiKuvaajat();
    }
}

void MainWindow::AvaaAbout()
{
    QMessageBox box;
    box.setWindowTitle(QStringLiteral("Information"));
    box.setText(tr("This program is made by:\n"
                   "\n"
                   "The imu-monitor developers\n"
                   "imu-monitor@example.org\n"
                   "\n"
                   "at the imu-monitor project,\n"
                   "a bench monitor for six-axis motion sensors\n"
                   "\n"
                   "Version: %1 \n")
                    .arg(versionString));
    const QString logo = chooseLogo(QDir::currentPath(), installedDataPath(QStringLiteral("logo.png")));
    if (!logo.isEmpty())
        box.setIconPixmap(QPixmap(logo));
    box.exec();
}

void MainWindow::AvaaReadme()
{
    QMessageBox box;
    box.setWindowTitle(QStringLiteral("Information"));
    const QString readme = chooseReadme(QDir::currentPath(), installedDataPath(QStringLiteral("readme.txt")));
    const QString where = !readme.isEmpty()
            ? readme
            : tr("It lies in the top folder of the source tree, and the package installs it in "
                 "/usr/share/imu-monitor.");
    qDebug().noquote() << "Readme box names" << (readme.isEmpty() ? QStringLiteral("no readme.txt found") : readme);
    box.setText(tr("Check readme.txt") + QLatin1Char('\n') + where);
    box.exec();
}

void MainWindow::AvaaTallenne()
{
    RecordingDialog dialog(this, logFolder);
    if (dialog.exec() == QDialog::Accepted && !dialog.chosen().isEmpty())
        openRecording(dialog.chosen());
}

void MainWindow::openRecording(const QStringList &paths)
{
    auto *viewer = new RecordingViewer(paths);
    // Beside the monitor, each next one a little further on.
    viewers.removeAll(nullptr);
    viewer->move(frameGeometry().topRight() + QPoint(8 + 24 * int(viewers.size()), 24 * int(viewers.size())));
    viewers << viewer;
    viewer->show();
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && std::all_of(urls.begin(), urls.end(), [](const QUrl &url) { return url.isLocalFile(); }))
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    QStringList paths;
    for (const QUrl &url : event->mimeData()->urls())
        paths << url.toLocalFile();
    event->acceptProposedAction();
    openRecording(paths);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    for (const QPointer<RecordingViewer> &viewer : viewers)
        if (viewer)
            viewer->close();
    QMainWindow::closeEvent(event);
}

void MainWindow::OtaVastaanOptions(int *optionFrame)
{
    Q_UNUSED(optionFrame);
    ui->msgBrowser->append(QStringLiteral("options updated."));
    ui->msgBrowser->append(QStringLiteral("****************"));
    if (options->testMode)
        ui->msgBrowser->append(QStringLiteral("TEST MODE"));
    // The mode may have changed under a running timer.
    if (mainTimer->isActive())
        mainTimer->setInterval(tickInterval(startedInterval));
}

void MainWindow::OtaVastaanViesti(QString msg)
{
    ui->msgBrowser->append(msg);
}

// Start while acquiring keeps the open port, so that no frame in flight is
// lost; only a changed read interval takes effect. Otherwise (stopped, the
// device lost, or the mode changed since) it opens the device named now.
// Should that open fail, acquiring stops: the timer would otherwise tick on
// a closed port while the status bar went on as if the line were read.
void MainWindow::on_Start_Button_clicked()
{
    const int interval = ui->TaajuusSBox->value();
    startedInterval = interval;
    if (acquiring()) {
        mainTimer->setInterval(tickInterval(interval));
        return;
    }
    if (options->testMode) {
        mainTimer->start(tickInterval(interval));
        startLinkStatus(tr("Test mode"));
        return;
    }
    switch (serialHandler->OpenUsb(interval)) {
    case -1:
        ui->msgBrowser->append(QStringLiteral("USB open failed. Device does not exist."));
        ui->msgBrowser->append(presentPortsText(options->portList().ports()));
        serialHandler->CloseUsb(); // the port of an earlier Start, if any
        stopAcquiring();
        break;
    case 1:
        ui->msgBrowser->append(QStringLiteral("Serial port opened"));
        mainTimer->start(tickInterval(interval));
        startLinkStatus(tr("Reading %1").arg(serialHandler->openedPath()));
        break;
    default:
        ui->msgBrowser->append(QStringLiteral("Unknown error!"));
        ui->msgBrowser->append(openFailureText());
        stopAcquiring();
        break;
    }
}

// A port opened in sensor mode is closed in either mode: one left open after
// a switch to test mode would be held from every other program.
void MainWindow::on_Stop_Button_clicked()
{
    const bool closed = serialHandler->CloseUsb() == 1;
    if (options->testMode)
        ui->msgBrowser->setText(QStringLiteral("Test stopped"));
    else if (closed)
        ui->msgBrowser->setText(QStringLiteral("USB closed"));
    else
        ui->msgBrowser->append(QStringLiteral("Port already closed"));
    stopAcquiring();
    // A power cut soon after Stop loses nothing logged.
    dataLogger->syncNow();
}

void MainWindow::stopAcquiring()
{
    mainTimer->stop();
    linkTimer->stop();
    linkStatus->setText(tr("Stopped"));
    reportedOpenFailure.clear();
}

bool MainWindow::acquiring() const
{
    if (!mainTimer->isActive())
        return false;
    return options->testMode || (serialHandler->portIsOpen() && !serialHandler->deviceIsLost());
}

int MainWindow::tickInterval(int requested) const
{
    // At 0 ms a sensor-mode timer would read the port at every turn of the
    // event loop, a core kept busy for a byte a millisecond at most.
    return options->testMode ? requested : std::max(requested, 1);
}

// The newest sample of a read: the readouts show it. It was logged, drawn
// and shown with the rest of its read in OtaVastaanNaytteet.
void MainWindow::OtaVastaanData(int16_t a0, int16_t a1, int16_t a2, int16_t g0, int16_t g1, int16_t g2)
{
    const ImuSample newest{a0, a1, a2, g0, g1, g2};
    if (newest == current)
        return;
    current = newest;
    PaivitaLcdt();
}

// Every sample of a read, oldest first, and when each arrived.
void MainWindow::OtaVastaanNaytteet(const QVector<ImuSample> &samples, const QVector<qint64> &arrivals)
{
    present(samples, arrivals);
}

// The one road of samples, from the line or the test-mode waves: each is
// logged and drawn, the plots are redrawn once for all of them, and the
// readouts show the newest.
void MainWindow::present(const QVector<ImuSample> &samples, const QVector<qint64> &arrivals)
{
    if (samples.isEmpty())
        return;
    if (ui->LogBox1->isChecked()) {
        for (qsizetype i = 0; i < samples.size(); ++i)
            dataLogger->logSample(samples[i], arrivals.value(i, LogFormat::NoTime));
        updateLogStatus();
    }
    if (plotsBuilt)
        PiirraKuvaajat(samples);
    current = samples.constLast();
    PaivitaLcdt();
}

void MainWindow::PaivitaLcdt()
{
    ui->acc_X->display(int(current.accX));
    ui->acc_Y->display(int(current.accY));
    ui->acc_Z->display(int(current.accZ));
    ui->gyro_X->display(int(current.gyroX));
    ui->gyro_Y->display(int(current.gyroY));
    ui->gyro_Z->display(int(current.gyroZ));
}

void MainWindow::MainTimeout()
{
    if (!options->testMode) {
        // Logging, drawing and display follow in OtaVastaanNaytteet when the
        // read delivers samples. A lost device is waited for once a second.
        if (!serialHandler->deviceIsLost())
            serialHandler->readSerial();
        return;
    }

    // Simulated sensor: waves whose phase is the number of drawn samples.
    present({waveSample(sampleCount())}, {QDateTime::currentMSecsSinceEpoch()});
}

void MainWindow::updateLogStatus()
{
    const bool failing = ui->LogBox1->isChecked() && dataLogger->isFailing();
    const QString text = failing ? tr("Not logging: %1").arg(dataLogger->failureDescription()) : QString();
    if (logStatus->text() != text)
        logStatus->setText(text);
    logStatus->setVisible(failing);
}

void MainWindow::startLinkStatus(const QString &text)
{
    reportedOpenFailure.clear();
    serialHandler->takeStatistics();
    drawnAtStatus = samplesDrawn;
    loggedAtStatus = dataLogger->linesWritten();
    linkClock.start();
    linkStatus->setText(text);
    linkTimer->start();
}

void MainWindow::updateLinkStatus()
{
    if (options->testMode) {
        linkStatus->setText(tr("Test mode"));
        return;
    }
    if (serialHandler->deviceIsLost()) {
        retryLostDevice();
        return;
    }
    if (!serialHandler->portIsOpen()) {
        // Switched from test mode to sensor mode while the timer ran.
        linkStatus->setText(tr("Not reading: no serial port open, press Start"));
        return;
    }
    const double seconds = linkClock.restart() / 1000.0;
    SampleUse use;
    if (ui->LogBox1->isChecked())
        use.logged = dataLogger->linesWritten() - loggedAtStatus;
    if (plotsBuilt)
        use.drawn = samplesDrawn - drawnAtStatus;
    drawnAtStatus = samplesDrawn;
    loggedAtStatus = dataLogger->linesWritten();
    const LinkStatistics counts = serialHandler->takeStatistics();
    const FrameLayout layout = serialHandler->currentLayout();
    QString text = linkStatusText(counts, seconds, layout, use);
    const QString hint = wrongLayoutHint(counts, layout);
    if (!hint.isEmpty()) {
        text += QStringLiteral(" \u00b7 ") + hint;
        // Once for each length seen, not every second.
        if (hint != reportedLayoutHint)
            ui->msgBrowser->append(hint);
        reportedLayoutHint = hint;
    } else if (counts.framesConfirmed > 0) {
        reportedLayoutHint.clear();
    }
    linkStatus->setText(text);
}

void MainWindow::retryLostDevice()
{
    // The same path only: a by-id link comes back on the same adapter,
    // whatever ttyUSB number it gets.
    switch (serialHandler->reopenLostPort()) {
    case 1:
        ui->msgBrowser->append(QStringLiteral("Serial port opened"));
        startLinkStatus(tr("Reading %1").arg(serialHandler->openedPath()));
        break;
    case -1:
        linkStatus->setText(tr("Device lost: %1, waiting for it to return").arg(serialHandler->openedPath()));
        break;
    default: {
        // Back but refused (no permission, held by another program, not a
        // serial device): tried again every second, told once per cause.
        const QString why = tr("Device back but cannot be opened: %1").arg(openFailureText());
        linkStatus->setText(why);
        if (why != reportedOpenFailure) {
            ui->msgBrowser->append(why);
            reportedOpenFailure = why;
        }
        break;
    }
    }
}

void MainWindow::reportDeviceLost()
{
    ui->msgBrowser->append(QStringLiteral("Serial device lost"));
    linkStatus->setText(tr("Device lost: %1, waiting for it to return").arg(serialHandler->openedPath()));
}

QString MainWindow::openFailureText() const
{
    return ::openFailureText(serialHandler->openFailure(), serialHandler->openFailureReason(),
                             serialHandler->openedPath());
}

void MainWindow::InitialisoiKuvaajat()
{
    plots = new SensorPlots(this);
    connect(plots, &SensorPlots::message, this, &MainWindow::OtaVastaanViesti);
    SkaalaaKuvaajat();

    auto *clearButton = new QPushButton(this);
    clearButton->move(300, 650);
    clearButton->setText(QStringLiteral("Clear plots"));
    // In a window made short by hand, the status bar stays on top of it.
    clearButton->stackUnder(ui->statusBar);
    clearButton->show();
    connect(clearButton, &QPushButton::clicked, this, &MainWindow::TyhjennaKuvaajat);

    plotsBuilt = true;
}

void MainWindow::SkaalaaKuvaajat()
{
    const bool acceleration = options->plotAcceleration;
    const bool gyroscope = options->plotGyroscope;
    // With no plot chosen the window shrinks to the form alone.
    if (!acceleration && !gyroscope)
        resize(450, 750);
    layOutPlots();
    plots->layOut(acceleration, gyroscope);
}

QRect MainWindow::plotArea() const
{
    const QRect free = ui->centralWidget->geometry();
    return QRect(400, free.top(), std::max(width() - 400, 0), free.height());
}

void MainWindow::layOutPlots()
{
    if (!plots)
        return;
    // A window not shown yet has not placed its bars for its size.
    if (!isVisible())
        layout()->setGeometry(rect());
    plots->setArea(plotArea());
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    // The bars move and grow with the window, and the status bar with a
    // second line when logging fails: the central widget fills the rest.
    if (watched == ui->centralWidget && (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
        layOutPlots();
        // A status bar grown by a line (logging failed) or two (a narrow
        // window) makes the window taller rather than cover the form.
        const int bars = height() - ui->centralWidget->height();
        setMinimumHeight(bars + formHeight);
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::describeLogFolder(const QString &directory)
{
    const QString folder = QDir(directory.isEmpty() ? QStringLiteral(".") : directory).absolutePath();
    logFolder = folder;
    ui->LogBox1->setToolTip(tr("Writes every sample to a new file in %1, named after the time it "
                               "begins (dd.MM, h.mm.ss.txt)").arg(QDir::toNativeSeparators(folder)));
}

void MainWindow::PiirraKuvaajat(const QVector<ImuSample> &samples)
{
    for (const ImuSample &s : samples)
        plots->append(s);
    samplesDrawn += samples.size();
    plots->showNewest(timeAxisOf(ui->Autoscale));
}

void MainWindow::TyhjennaKuvaajat()
{
    plots->clear();
}

int MainWindow::sampleCount() const
{
    return plotsBuilt ? plots->samplesDrawn() : 0;
}

#include "moc_mainwindow.cpp"
