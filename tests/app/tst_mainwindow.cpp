#include "datafiles.h"
#include "mainwindow.h"
#include "options.h"
#include "ptypair.h"

#include "childwidget.h"
#include "fakeportlist.h"
#include "simulatorrun.h"
#include "unprivileged.h"
#include "windowdriver.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLCDNumber>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include <functional>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A frame of the dialog's default layout: gyroscope then acceleration, each
// value big-endian, then the end bytes 55 and 1.
QByteArray defaultFrame(QList<int> accThenGyro)
{
    QByteArray frame;
    const int wireOrder[] = {3, 4, 5, 0, 1, 2};
    for (int i : wireOrder) {
        const quint16 v = quint16(qint16(accThenGyro[i]));
        frame.append(char(v >> 8));
        frame.append(char(v & 0xff));
    }
    frame.append(char(55));
    frame.append(char(1));
    return frame;
}

// The descriptors of this process open on path.
int descriptorsOn(const QString &path)
{
    int count = 0;
    for (const QFileInfo &fd : QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System))
        count += fd.symLinkTarget() == path ? 1 : 0;
    return count;
}

// Opens path for reading as an ordinary user, in a child process: 0, or the
// errno value of the failure.
int openAsOrdinaryUser(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!becomeUnprivileged())
            ::_exit(255);
        const int fd = ::open(name.constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
        ::_exit(fd >= 0 ? 0 : errno);
    }
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// True when label shows the whole of its text: every wrapped line fits its
// width and all lines fit its height.
bool showsWholeText(const QLabel *label)
{
    const QRect room = label->contentsRect();
    const QRect needed = label->fontMetrics().boundingRect(QRect(0, 0, room.width(), 1 << 20),
                                                           Qt::TextWordWrap, label->text());
    return needed.width() <= room.width() && needed.height() <= room.height();
}

} // namespace

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void startup_data();
    void startup();
    void testModeTicksShowAndLog();
    void sensorModeStartFailures();
    void missingDeviceNamesThePortsPresent();
    void sensorModeAcquires();
    void optionsWhileRunningSwitchMode();
    void readIntervalPerMode();
    void startWhileAcquiring();
    void stopClosesThePortInEitherMode();
    void failedLoggingStaysInStatusBar();
    void statusBarNeverCovered_data();
    void statusBarNeverCovered();
    void helpBoxes();
    void logoChoice_data();
    void logoChoice();
    void installedLogoBesideBin();

private:
    QTemporaryDir logDir;
};

void tst_MainWindow::init()
{
    QVERIFY(logDir.isValid());
    QDir(logDir.path()).removeRecursively();
    QDir().mkpath(logDir.path());
}

void tst_MainWindow::startup_data()
{
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QStringList>("expectedMessages");
    QTest::newRow("untouched form confirmed")
        << true << QSize(1000, 750)
        << QStringList{"options updated.", "****************", "TEST MODE"};
    QTest::newRow("cancelled") << false << QSize(450, 750) << QStringList{};
}

void tst_MainWindow::startup()
{
    QFETCH(bool, accept);
    QFETCH(QSize, size);
    QFETCH(QStringList, expectedMessages);

    answerSettings({}, accept);
    MainWindow w;
    QCOMPARE(w.size(), size);
    QCOMPARE(messages(&w), expectedMessages);
    QCOMPARE(child<QSpinBox>(&w, "TaajuusSBox")->value(), 20);
    QVERIFY(!child<QCheckBox>(&w, "LogBox1")->isChecked());
    QVERIFY(!child<QTimer>(&w, "mainTimer")->isActive());
}

void tst_MainWindow::testModeTicksShowAndLog()
{
    answerSettings(testMode(logDir.path()), true);
    MainWindow w;
    auto *timer = child<QTimer>(&w, "mainTimer");
    const QStringList before = messages(&w);

    // Without plots nothing advances the phase: every tick is the n = 0 sample.
    QVERIFY(tick(&w));
    QCOMPARE(readouts(&w), (QList<int>{0, 5, 0, 0, 55, 0}));
    QVERIFY(loggedLines(logDir.path()).isEmpty());

    child<QCheckBox>(&w, "LogBox1")->setChecked(true);
    child<QSpinBox>(&w, "TaajuusSBox")->setValue(1);
    auto *status = child<QLabel>(&w, "linkStatus");
    QCOMPARE(status->text(), QStringLiteral("Stopped"));
    click(&w, "Start_Button");
    QCOMPARE(messages(&w).mid(0, before.size()), before);
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 1);
    QCOMPARE(status->text(), QStringLiteral("Test mode"));
    QTRY_VERIFY(loggedLines(logDir.path()).size() >= 3);

    click(&w, "Stop_Button");
    QVERIFY(!timer->isActive());
    QCOMPARE(child<QTextBrowser>(&w, "msgBrowser")->toPlainText(), QStringLiteral("Test stopped"));
    QCOMPARE(status->text(), QStringLiteral("Stopped"));

    const QStringList lines = loggedLines(logDir.path());
    for (int i = 0; i < lines.size(); ++i)
        QCOMPARE(lines[i], QStringLiteral("%1,0,5,0,0,55,0").arg(i));

    // Unticked "Datalog": ticks still show, but log nothing.
    child<QCheckBox>(&w, "LogBox1")->setChecked(false);
    QVERIFY(tick(&w));
    QVERIFY(tick(&w));
    QCOMPARE(loggedLines(logDir.path()).size(), lines.size());
}

void tst_MainWindow::sensorModeStartFailures()
{
    QTemporaryDir scratch;
    const QString regularFile = scratch.filePath("not-a-port");
    {
        QFile f(regularFile);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("plain text\n");
    }

    answerSettings(sensorMode(scratch.filePath("no-such-device"), logDir.path()), true);
    MainWindow w;
    auto *timer = child<QTimer>(&w, "mainTimer");

    // Stop before any Start keeps the earlier lines.
    click(&w, "Stop_Button");
    QCOMPARE(messages(&w),
             (QStringList{"options updated.", "****************", "Port already closed"}));

    click(&w, "Start_Button");
    QCOMPARE(messages(&w).at(messages(&w).size() - 2), QStringLiteral("USB open failed. Device does not exist."));
    QVERIFY(!timer->isActive());

    answerSettings([&](QDialog *d) { child<QLineEdit>(d, "devicenameField")->setText(regularFile); },
                   true);
    child<QAction>(&w, "actionOptions")->trigger();
    click(&w, "Start_Button");
    QCOMPARE(messages(&w).mid(messages(&w).size() - 2), (QStringList{"Unknown error!", "Not a serial device"}));
    QVERIFY(!timer->isActive());
    QCOMPARE(child<QLabel>(&w, "linkStatus")->text(), QStringLiteral("Stopped"));
}

// The fixed message stays as it was; the line after it says which ports
// there are to choose from, read when Start is pressed.
void tst_MainWindow::missingDeviceNamesThePortsPresent()
{
    const QString byId = QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    auto list = std::make_unique<FakePortList>(QList<PortEntry>{
        portEntry("/dev/ttyS0", {}, {}, {}),
        portEntry("/dev/ttyUSB1", byId, "FT232R USB UART", "FTDI"),
    });
    const auto present = list->entries;
    QTemporaryDir scratch;
    const FormEdit sensor = sensorMode(scratch.filePath("ttyUSB0"), logDir.path());
    answerSettings([&](QDialog *d) {
        sensor(d);
        qobject_cast<Options *>(d)->setPortList(std::move(list));
    }, true);
    MainWindow w;

    click(&w, "Start_Button");
    QCOMPARE(messages(&w).mid(messages(&w).size() - 2),
             (QStringList{"USB open failed. Device does not exist.",
                          "Serial ports present: /dev/ttyS0, " + byId + " (/dev/ttyUSB1)"}));

    present->clear();
    click(&w, "Start_Button");
    QCOMPARE(messages(&w).mid(messages(&w).size() - 2),
             (QStringList{"USB open failed. Device does not exist.",
                          "No serial port is present: is the adapter plugged in?"}));
    QVERIFY(!child<QTimer>(&w, "mainTimer")->isActive());
}

void tst_MainWindow::sensorModeAcquires()
{
    PtyPair pty;
    QVERIFY2(pty.isValid(), "no pseudo-terminal");
    answerSettings(sensorMode(pty.slavePath(), logDir.path()), true);
    MainWindow w;
    child<QCheckBox>(&w, "LogBox1")->setChecked(true);

    // A readout that overflows keeps showing its previous digits while its
    // value changes: every sample value must fit.
    QList<std::shared_ptr<QSignalSpy>> overflows;
    for (QLCDNumber *lcd : w.findChildren<QLCDNumber *>())
        overflows << std::make_shared<QSignalSpy>(lcd, &QLCDNumber::overflow);
    QCOMPARE(overflows.size(), 6);

    click(&w, "Start_Button");
    QCOMPARE(messages(&w).last(), QStringLiteral("Serial port opened"));
    QVERIFY(child<QTimer>(&w, "mainTimer")->isActive());

    // Acceleration comes first on the readouts and in the log although the
    // gyroscope comes first on the wire.
    QVERIFY(pty.write(defaultFrame({1, -2, 300, -32768, 32767, -10000})));
    QTRY_COMPARE(readouts(&w), (QList<int>{1, -2, 300, -32768, 32767, -10000}));
    QTRY_COMPARE(loggedSamples(logDir.path()), (QList<QList<int>>{{1, -2, 300, -32768, 32767, -10000}}));
    for (const auto &spy : overflows)
        QCOMPARE(spy->count(), 0);

    click(&w, "Stop_Button");
    QCOMPARE(child<QTextBrowser>(&w, "msgBrowser")->toPlainText(), QStringLiteral("USB closed"));
    QVERIFY(!child<QTimer>(&w, "mainTimer")->isActive());
}

void tst_MainWindow::optionsWhileRunningSwitchMode()
{
    PtyPair pty;
    QVERIFY(pty.isValid());
    answerSettings(sensorMode(pty.slavePath(), logDir.path()), true);
    MainWindow w;
    click(&w, "Start_Button");
    QVERIFY(pty.write(defaultFrame({-32768, 32767, 0, 32767, -32768, 1})));
    QTRY_COMPARE(readouts(&w), (QList<int>{-32768, 32767, 0, 32767, -32768, 1}));

    // The timer keeps running through the dialog; the next tick computes
    // the simulated sample instead of reading the port.
    answerSettings([](QDialog *d) { child<QRadioButton>(d, "TestProgram")->setChecked(true); }, true);
    child<QAction>(&w, "actionOptions")->trigger();
    QVERIFY(child<QTimer>(&w, "mainTimer")->isActive());
    QCOMPARE(messages(&w).last(), QStringLiteral("TEST MODE"));
    QTRY_COMPARE(readouts(&w), (QList<int>{0, 5, 0, 0, 55, 0}));

    // Back to the sensor: ticks read the port again.
    answerSettings([](QDialog *d) { child<QRadioButton>(d, "RealProgram")->setChecked(true); }, true);
    child<QAction>(&w, "actionOptions")->trigger();
    QVERIFY(pty.write(defaultFrame({7, 8, 9, 10, 11, 12})));
    QTRY_COMPARE(readouts(&w), (QList<int>{7, 8, 9, 10, 11, 12}));
}

// An interval of 0 reads the port no more than once a millisecond, while the
// test-mode waves still come as fast as the event loop turns. The status bar
// tells when sensor mode has no port to read.
void tst_MainWindow::readIntervalPerMode()
{
    PtyPair pty;
    QVERIFY(pty.isValid());
    answerSettings(testMode(logDir.path()), true);
    MainWindow w;
    auto *timer = child<QTimer>(&w, "mainTimer");
    auto *status = child<QLabel>(&w, "linkStatus");
    child<QSpinBox>(&w, "TaajuusSBox")->setValue(0);
    click(&w, "Start_Button");
    QCOMPARE(timer->interval(), 0);

    answerSettings(sensorMode(pty.slavePath(), logDir.path()), true);
    child<QAction>(&w, "actionOptions")->trigger();
    QCOMPARE(timer->interval(), 1);
    QTRY_COMPARE(status->text(), QStringLiteral("Not reading: no serial port open, press Start"));

    click(&w, "Start_Button");
    QCOMPARE(timer->interval(), 1);
    QCOMPARE(status->text(), QStringLiteral("Reading ") + pty.slavePath());
    QVERIFY(pty.write(defaultFrame({1, 2, 3, 4, 5, 6})));
    QTRY_COMPARE(readouts(&w), (QList<int>{1, 2, 3, 4, 5, 6}));

    answerSettings([](QDialog *d) { child<QRadioButton>(d, "TestProgram")->setChecked(true); }, true);
    child<QAction>(&w, "actionOptions")->trigger();
    QCOMPARE(timer->interval(), 0);
    QVERIFY(timer->isActive());
}

// Start while acquiring keeps the port: a frame split between the reads
// before and after it is logged whole, and every frame in order. A device
// chosen meanwhile is opened at the next Start after Stop; when that fails,
// acquiring stays stopped.
void tst_MainWindow::startWhileAcquiring()
{
    PtyPair first, second;
    QVERIFY(first.isValid() && second.isValid());
    answerSettings(sensorMode(first.slavePath(), logDir.path()), true);
    MainWindow w;
    child<QCheckBox>(&w, "LogBox1")->setChecked(true);
    auto *timer = child<QTimer>(&w, "mainTimer");
    auto *status = child<QLabel>(&w, "linkStatus");
    auto chooseDevice = [&](const QString &path) {
        answerSettings([=](QDialog *d) { child<QLineEdit>(d, "devicenameField")->setText(path); }, true);
        child<QAction>(&w, "actionOptions")->trigger();
    };
    click(&w, "Start_Button");

    QList<QList<int>> sent;
    QByteArray line;
    for (int i = 0; i < 6; ++i) {
        sent << QList<int>{i, -i, 100 + i, 0, 1, 2};
        line += defaultFrame(sent.last());
    }
    const int half = 2 * 14 + 7;
    QVERIFY(first.write(line.left(half)));
    QTRY_COMPARE(loggedSamples(logDir.path()), sent.mid(0, 2));
    chooseDevice(second.slavePath());
    click(&w, "Start_Button");
    click(&w, "Start_Button");
    QVERIFY(first.write(line.mid(half)));
    QTRY_COMPARE(loggedSamples(logDir.path()), sent);
    QCOMPARE(messages(&w).count(QStringLiteral("Serial port opened")), 1);
    QCOMPARE(status->text().startsWith(QStringLiteral("Reading ") + first.slavePath()), true);

    click(&w, "Stop_Button");
    click(&w, "Start_Button");
    QCOMPARE(messages(&w), (QStringList{"USB closed", "Serial port opened"}));
    QCOMPARE(status->text(), QStringLiteral("Reading ") + second.slavePath());

    click(&w, "Stop_Button");
    chooseDevice(logDir.filePath("no-such-device"));
    click(&w, "Start_Button");
    // The fixed message, then the ports present.
    QCOMPARE(messages(&w).at(messages(&w).size() - 2), QStringLiteral("USB open failed. Device does not exist."));
    QVERIFY(!timer->isActive());
    QCOMPARE(status->text(), QStringLiteral("Stopped"));
}

// A port opened in sensor mode and left open by a switch to test mode is
// closed by Stop, quietly: any program may open the device afterwards.
void tst_MainWindow::stopClosesThePortInEitherMode()
{
    PtyPair pty;
    QVERIFY(pty.isValid());
    QCOMPARE(::chmod(QFile::encodeName(pty.slavePath()).constData(), 0666), 0);
    const int ownDescriptors = descriptorsOn(pty.slavePath());
    answerSettings(sensorMode(pty.slavePath(), logDir.path()), true);
    MainWindow w;
    click(&w, "Start_Button");
    QCOMPARE(descriptorsOn(pty.slavePath()), ownDescriptors + 1);
    QCOMPARE(openAsOrdinaryUser(pty.slavePath()), EBUSY);

    answerSettings([](QDialog *d) { child<QRadioButton>(d, "TestProgram")->setChecked(true); }, true);
    child<QAction>(&w, "actionOptions")->trigger();
    click(&w, "Stop_Button");
    QCOMPARE(messages(&w), QStringList{"Test stopped"});
    QCOMPARE(descriptorsOn(pty.slavePath()), ownDescriptors);
    QCOMPARE(openAsOrdinaryUser(pty.slavePath()), 0);
}

// A log folder that is a file: the status bar says so from the first sample
// until logging resumes, through Stop, which empties the message area.
void tst_MainWindow::failedLoggingStaysInStatusBar()
{
    const QString folder = logDir.filePath("logs");
    QFile file(folder);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    answerSettings(testMode(folder), true);
    MainWindow w;
    auto *logStatus = child<QLabel>(&w, "logStatus");
    QVERIFY(logStatus->isHidden());
    child<QCheckBox>(&w, "LogBox1")->setChecked(true);
    QVERIFY(logStatus->isHidden());

    click(&w, "Start_Button");
    QTRY_VERIFY(!logStatus->isHidden());
    const QRegularExpression notLogging(QStringLiteral("^Not logging: %1//\\d\\d\\.\\d\\d, \\d+\\.\\d\\d\\.\\d\\d(-\\d+)?\\.txt: "
                                                       "%1 is a file, not a folder$")
                                            .arg(QRegularExpression::escape(folder)));
    QVERIFY2(notLogging.match(logStatus->text()).hasMatch(), qPrintable(logStatus->text()));
    QVERIFY(messages(&w).last().startsWith("File could not be created! " + folder + "//"));

    click(&w, "Stop_Button");
    QCOMPARE(messages(&w), QStringList{"Test stopped"});
    QVERIFY(!logStatus->isHidden());
    QVERIFY(notLogging.match(logStatus->text()).hasMatch());

    // Unticked, nothing is meant to be logged.
    child<QCheckBox>(&w, "LogBox1")->setChecked(false);
    QVERIFY(logStatus->isHidden());
    child<QCheckBox>(&w, "LogBox1")->setChecked(true);
    QVERIFY(!logStatus->isHidden());

    // The folder mended and confirmed again: the next sample is logged.
    QVERIFY(QFile::remove(folder));
    QVERIFY(QDir().mkdir(folder));
    answerSettings({}, true);
    child<QAction>(&w, "actionOptions")->trigger();
    QVERIFY(tick(&w));
    QVERIFY(logStatus->isHidden());
    QCOMPARE(loggedSamples(folder), (QList<QList<int>>{{0, 5, 0, 0, 55, 0}}));
}

void tst_MainWindow::statusBarNeverCovered_data()
{
    QTest::addColumn<QList<bool>>("plots"); // draw plots, acceleration, gyroscope
    QTest::addColumn<QSize>("size");

    for (const QSize &size : {QSize(1000, 750), QSize(450, 750)}) {
        const QString at = QStringLiteral(" at %1 wide").arg(size.width());
        QTest::newRow(qPrintable("no plots" + at)) << QList<bool>{false, false, false} << size;
        QTest::newRow(qPrintable("both plots" + at)) << QList<bool>{true, true, true} << size;
        QTest::newRow(qPrintable("acceleration only" + at)) << QList<bool>{true, true, false} << size;
        QTest::newRow(qPrintable("gyroscope only" + at)) << QList<bool>{true, false, true} << size;
    }
}

// The status bar is where a failure stays in sight: no widget may cover it,
// and a long "Not logging" reason, beside what the line does, is shown whole.
void tst_MainWindow::statusBarNeverCovered()
{
    QFETCH(QList<bool>, plots);
    QFETCH(QSize, size);

    const QString folder = logDir.filePath("a-folder-with-a-long-name-that-is-really-a-file");
    QFile file(folder);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    answerSettings([&](QDialog *d) {
        testMode(folder)(d);
        child<QCheckBox>(d, "checkBox")->setChecked(plots[0]);
        child<QCheckBox>(d, "checkBox_acc")->setChecked(plots[1]);
        child<QCheckBox>(d, "checkBox_gyro")->setChecked(plots[2]);
    }, true);
    MainWindow w;
    w.resize(size);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    child<QCheckBox>(&w, "LogBox1")->setChecked(true);
    QVERIFY(tick(&w));
    auto *logStatus = child<QLabel>(&w, "logStatus");
    QVERIFY(!logStatus->isHidden());
    QVERIFY(logStatus->text().size() > 100);

    auto *bar = child<QWidget>(&w, "statusBar");
    QTRY_VERIFY(showsWholeText(logStatus));
    // The window may grow by the lines the status bar needs.
    QCOMPARE(w.width(), size.width());
    QVERIFY(w.height() >= size.height());
    QVERIFY(w.rect().contains(bar->geometry()));
    for (QLabel *label : {logStatus, child<QLabel>(&w, "linkStatus")}) {
        QVERIFY2(showsWholeText(label), qPrintable(label->text()));
        QVERIFY(bar->rect().contains(QRect(label->mapTo(bar, QPoint(0, 0)), label->size())));
    }
    for (QWidget *widget : w.findChildren<QWidget *>()) {
        if (!widget->isVisible() || widget == bar || bar->isAncestorOf(widget))
            continue;
        const QRect placed(widget->mapTo(&w, QPoint(0, 0)), widget->size());
        QVERIFY2(!placed.intersects(bar->geometry()), qPrintable(widget->objectName()
                 + QStringLiteral(" (%1) covers part of the status bar").arg(widget->metaObject()->className())));
    }
}

void tst_MainWindow::helpBoxes()
{
    answerSettings({}, false);
    MainWindow w;

    QTemporaryDir cwd;
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(cwd.path()));
    auto restore = qScopeGuard([&] { QDir::setCurrent(previous); });

    struct Seen { QString title, text; bool hasIcon = false; };
    auto openBox = [&](const char *action) {
        Seen seen;
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            seen = {box->windowTitle(), box->text(), !box->iconPixmap().isNull()};
            box->accept();
        });
        child<QAction>(&w, action)->trigger();
        return seen;
    };

    // The readme of the source tree, from where the monitor is started.
    QVERIFY(QDir::setCurrent(QStringLiteral(IMU_SOURCE_DIR)));
    Seen readme = openBox("actionReadme");
    QVERIFY(QDir::setCurrent(cwd.path()));
    QCOMPARE(readme.title, QStringLiteral("Information"));
    const QStringList lines = readme.text.split('\n');
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0], QStringLiteral("Check readme.txt"));
    QCOMPARE(QFileInfo(lines[1]).canonicalFilePath(), QFileInfo(QStringLiteral(IMU_SOURCE_DIR "/readme.txt")).canonicalFilePath());
    QVERIFY(!readme.hasIcon);
    // None here or installed: where to find one.
    readme = openBox("actionReadme");
    QVERIFY(readme.text.startsWith(QStringLiteral("Check readme.txt\n")));
    QVERIFY(readme.text.contains(QStringLiteral("/usr/share/imu-monitor")));

    // No logo in the working directory: the text alone, and no message.
    const int messagesBefore = messages(&w).size();
    Seen about = openBox("actionAbout");
    QCOMPARE(about.title, QStringLiteral("Information"));
    QVERIFY(about.text.startsWith(QStringLiteral("This program is made by:\n\n")));
    QVERIFY(about.text.endsWith(QStringLiteral("\n\nVersion: 1.3.0_linux \n")));
    QCOMPARE(about.text.count('\n'), 9);
    QVERIFY(!about.hasIcon);
    QCOMPARE(messages(&w).size(), messagesBefore);

    QImage logo(16, 16, QImage::Format_RGB32);
    logo.fill(Qt::blue);
    QVERIFY(logo.save(cwd.filePath("logo.png")));
    about = openBox("actionAbout");
    QVERIFY(about.hasIcon);
}

namespace {

enum class LogoFile { None, Image, Broken, Folder };

void makeLogo(const QString &path, LogoFile kind)
{
    switch (kind) {
    case LogoFile::None:
        break;
    case LogoFile::Image: {
        QImage logo(8, 8, QImage::Format_ARGB32);
        logo.fill(Qt::red);
        QVERIFY(logo.save(path, "PNG"));
        break;
    }
    case LogoFile::Broken: {
        // A PNG signature and nothing after it, as a copy cut short leaves.
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write("\x89PNG\r\n\x1a\n"), qint64(8));
        break;
    }
    case LogoFile::Folder:
        QVERIFY(QDir().mkpath(path));
        break;
    }
}

} // namespace

void tst_MainWindow::logoChoice_data()
{
    QTest::addColumn<LogoFile>("working");
    QTest::addColumn<LogoFile>("installed");
    QTest::addColumn<QString>("expected");
    QTest::newRow("neither") << LogoFile::None << LogoFile::None << QString();
    QTest::newRow("working directory only") << LogoFile::Image << LogoFile::None << "working";
    QTest::newRow("installed only") << LogoFile::None << LogoFile::Image << "installed";
    QTest::newRow("working directory first") << LogoFile::Image << LogoFile::Image << "working";
    QTest::newRow("broken file in working directory")
        << LogoFile::Broken << LogoFile::Image << "installed";
    QTest::newRow("folder named logo.png") << LogoFile::Folder << LogoFile::Image << "installed";
    QTest::newRow("broken installed logo") << LogoFile::None << LogoFile::Broken << QString();
}

void tst_MainWindow::logoChoice()
{
    QFETCH(LogoFile, working);
    QFETCH(LogoFile, installed);
    QFETCH(QString, expected);

    QTemporaryDir root;
    QVERIFY(root.isValid());
    QDir dir(root.path());
    QVERIFY(dir.mkpath("work") && dir.mkpath("share/imu-monitor"));
    const QString workingLogo = dir.filePath("work/logo.png");
    const QString installedLogo = dir.filePath("share/imu-monitor/logo.png");
    makeLogo(workingLogo, working);
    makeLogo(installedLogo, installed);

    const QString chosen = chooseLogo(dir.filePath("work"), installedLogo);
    if (expected == "working")
        QCOMPARE(chosen, workingLogo);
    else if (expected == "installed")
        QCOMPARE(chosen, installedLogo);
    else
        QVERIFY2(chosen.isEmpty(), qPrintable(chosen));
    // Whatever is chosen is shown.
    if (!chosen.isEmpty())
        QVERIFY(!QPixmap(chosen).isNull());
}

// The package puts the programs in bin/ and the logo in
// share/imu-monitor/ of the same prefix.
void tst_MainWindow::installedLogoBesideBin()
{
    const QDir programDir(QCoreApplication::applicationDirPath());
    QCOMPARE(programDir.relativeFilePath(installedDataPath(QStringLiteral("logo.png"))),
             QStringLiteral("../share/imu-monitor/logo.png"));
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"

