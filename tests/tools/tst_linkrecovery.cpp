// The status bar's account of the line and the monitor's way through an
// unplugged adapter, with imu-sim playing the sensor and the real window
// reading it.

#include "framelayout.h"
#include "linerate.h"
#include "mainwindow.h"
#include "ptypair.h"

#include "childwidget.h"
#include "simulatorrun.h"
#include "unprivileged.h"
#include "windowdriver.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <memory>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char ordinaryUserFlag[] = "--as-ordinary-user";
constexpr int cannotDropPrivileges = 3;

class Simulator : public SimulatorRun
{
public:
    bool start(const QStringList &arguments) { return SimulatorRun::start(QStringLiteral(IMU_SIM_PATH), arguments); }
};

// Points link at target in one step, as udev moves a /dev/serial/by-id link.
bool pointLink(const QString &link, const QString &target)
{
    const QString fresh = link + QStringLiteral(".new");
    QFile::remove(fresh);
    return QFile::link(target, fresh) && std::rename(QFile::encodeName(fresh).constData(),
                                                     QFile::encodeName(link).constData()) == 0;
}

// The messages from the first line equal to from on.
QStringList messagesFrom(QWidget *w, const QString &from)
{
    const QStringList all = messages(w);
    const qsizetype at = all.indexOf(from);
    return at < 0 ? QStringList() : all.mid(at);
}

// A frame of the dialog's default layout.
QByteArray frame(const ImuSample &sample)
{
    const int record[] = {12, -1, -1, 55, 1};
    const auto bytes = FrameLayout::fromOptionFrame(record).encode(sample);
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
}

} // namespace

// Runs in a child process as an ordinary user, since root opens a device
// whatever its mode and whoever holds it.
class tst_LinkRecoveryAsUser : public QObject
{
    Q_OBJECT

private slots:
    void returnedDeviceCannotBeOpened();
};

// The device comes back on its path but cannot be opened: the status bar
// says why for as long as it lasts and the message area says it once per
// cause. Once the device can be opened, reading goes on, and Stop and Start
// open it again.
void tst_LinkRecoveryAsUser::returnedDeviceCannotBeOpened()
{
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    const QString link = scratch.filePath(QStringLiteral("usb-imu-if00"));
    const QString notADevice = scratch.filePath(QStringLiteral("notes.txt"));
    QFile notes(notADevice);
    QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("12345678901234\n") > 0);
    notes.close();

    auto unplugged = std::make_unique<PtyPair>();
    QVERIFY2(unplugged->isValid(), qPrintable(unplugged->errorString()));
    QVERIFY(pointLink(link, unplugged->slavePath()));
    answerSettings(sensorMode(link, scratch.path()), true);
    MainWindow w;
    auto *status = child<QLabel>(&w, "linkStatus");
    click(&w, "Start_Button");
    QCOMPARE(messages(&w).last(), QStringLiteral("Serial port opened"));
    unplugged->closeMaster();
    QTRY_VERIFY(messages(&w).contains("Serial device lost"));

    const QString back = QStringLiteral("Device back but cannot be opened: ");
    // The device's group may not read it either: joining a group is no help.
    const QString denied = back + QStringLiteral("Permission denied: no one but root may read %1 (mode 0000)").arg(link);
    const QString notSerial = back + QStringLiteral("Not a serial device");
    const QString busy = back + QStringLiteral("Device busy: another program has it open");

    PtyPair forbidden;
    QVERIFY(forbidden.isValid());
    QCOMPARE(::chmod(QFile::encodeName(forbidden.slavePath()).constData(), 0), 0);
    QVERIFY(pointLink(link, forbidden.slavePath()));
    QTRY_COMPARE_WITH_TIMEOUT(status->text(), denied, 5000);
    QTest::qWait(2500); // tried again twice, told once

    QVERIFY(pointLink(link, notADevice));
    QTRY_COMPARE_WITH_TIMEOUT(status->text(), notSerial, 5000);

    PtyPair held;
    QVERIFY(held.isValid());
    const int holder = ::open(QFile::encodeName(held.slavePath()).constData(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
    QVERIFY(holder >= 0);
    QCOMPARE(::ioctl(holder, TIOCEXCL), 0);
    QVERIFY(pointLink(link, held.slavePath()));
    QTRY_COMPARE_WITH_TIMEOUT(status->text(), busy, 5000);
    QTest::qWait(1500);

    // The other program lets go.
    QCOMPARE(::ioctl(holder, TIOCNXCL), 0);
    ::close(holder);
    QTRY_VERIFY_WITH_TIMEOUT(messages(&w).endsWith("Serial port opened"), 5000);
    QCOMPARE(status->text(), QStringLiteral("Reading ") + link);
    QCOMPARE(messagesFrom(&w, "Serial device lost"),
             (QStringList{"Serial device lost", denied, notSerial, busy, "Serial port opened"}));
    QVERIFY(held.write(frame({1, 2, 3, 4, 5, 6})));
    QTRY_COMPARE(readouts(&w), (QList<int>{1, 2, 3, 4, 5, 6}));

    // Stop, then Start on the same pseudo-terminal: the monitor's own
    // exclusive hold went with its close.
    click(&w, "Stop_Button");
    click(&w, "Start_Button");
    QCOMPARE(messages(&w), (QStringList{"USB closed", "Serial port opened"}));
    QVERIFY(held.write(frame({7, 8, 9, 10, 11, 12})));
    QTRY_COMPARE(readouts(&w), (QList<int>{7, 8, 9, 10, 11, 12}));
}

class tst_LinkRecovery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void figuresMatchTheLine();
    void lostDeviceComesBackOnItsPath();
    void stopWhileWaiting();
    void returnedDeviceCannotBeOpened();

private:
    // Starts acquiring, logging, on device; the window must be made already.
    void start(MainWindow &w);

    QTemporaryDir scratch;
    QString logDir;
    QString link;
};

void tst_LinkRecovery::initTestCase()
{
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    QVERIFY(scratch.isValid());
}

void tst_LinkRecovery::init()
{
    logDir = scratch.filePath(QTest::currentTestFunction());
    QVERIFY(QDir().mkpath(logDir));
    link = scratch.filePath(QStringLiteral("usb-imu-%1-if00").arg(QTest::currentTestFunction()));
}

void tst_LinkRecovery::start(MainWindow &w)
{
    child<QCheckBox>(&w, "LogBox1")->setChecked(true);
    click(&w, "Start_Button");
    QCOMPARE(messages(&w).last(), QStringLiteral("Serial port opened"));
}

// At the line rate and the default 20 ms interval: about 960 bytes and 68.6
// frames a second arrive, more than one a tick, and every one is logged.
void tst_LinkRecovery::figuresMatchTheLine()
{
    Simulator sim;
    QVERIFY(sim.start({"--pacing", "byte"}));
    answerSettings(sensorMode(sim.path, logDir), true);
    MainWindow w;
    auto *status = child<QLabel>(&w, "linkStatus");
    QCOMPARE(status->text(), QStringLiteral("Stopped"));

    struct Update
    {
        QString text;
        qsizetype logged;
        qint64 atMs;
    };
    QList<Update> updates;
    QElapsedTimer clock;
    clock.start();
    connect(child<QTimer>(&w, "linkTimer"), &QTimer::timeout, this,
            [&] { updates << Update{status->text(), loggedLines(logDir).size(), clock.elapsed()}; });
    start(w);
    QCOMPARE(status->text(), QStringLiteral("Reading ") + sim.path);
    QTRY_VERIFY_WITH_TIMEOUT(updates.size() >= 4, 20000);
    click(&w, "Stop_Button");
    QCOMPARE(status->text(), QStringLiteral("Stopped"));

    // imu-sim paces at the line rate: 960 bytes, 68.6 frames a second.
    const double sentBytes = LineRate::BytesPerSecond;
    const double sentFrames = sentBytes / FrameLayout::formDefault().frameLength();
    const Update &before = updates[updates.size() - 2], &last = updates.last();
    // A clean line: nothing lost, so no share of it is shown.
    const QRegularExpression figures(QString::fromUtf8(
        "^(\\d+) B/s · ([\\d.]+) frames/s · ([\\d.]+) logged/s$"));
    const QRegularExpressionMatch m = figures.match(last.text);
    QVERIFY2(m.hasMatch(), qPrintable(last.text));
    const double bytes = m.captured(1).toDouble(), frames = m.captured(2).toDouble();
    const double logged = m.captured(3).toDouble();
    const double loggedPerSecond = double(last.logged - before.logged) * 1000.0 / double(last.atMs - before.atMs);
    qInfo("%s; logged %.1f a second", qPrintable(last.text), loggedPerSecond);
    QVERIFY(qAbs(bytes - sentBytes) <= 0.1 * sentBytes);
    QVERIFY(qAbs(frames - sentFrames) <= 0.1 * sentFrames);
    // Every frame found is logged.
    QVERIFY(qAbs(logged - frames) <= 0.02 * frames);
    QVERIFY(qAbs(logged - loggedPerSecond) <= 0.1 * loggedPerSecond);
}

// The adapter is unplugged and plugged in again: the window says so, waits
// for the device on the path it opened (another device named meanwhile is
// not taken), and goes on logging into the same file.
void tst_LinkRecovery::lostDeviceComesBackOnItsPath()
{
    Simulator unplugged;
    QVERIFY(unplugged.start({"--hangup-after", "2"}));
    QVERIFY(pointLink(link, unplugged.path));
    answerSettings(sensorMode(link, logDir), true);
    MainWindow w;
    auto *status = child<QLabel>(&w, "linkStatus");
    start(w);

    QTRY_VERIFY_WITH_TIMEOUT(!unplugged.running(), 10000);
    QTRY_COMPARE(messagesFrom(&w, "Serial device lost"), QStringList{"Serial device lost"});
    QCOMPARE(status->text(), QStringLiteral("Device lost: %1, waiting for it to return").arg(link));
    const QList<QList<int>> beforeLoss = loggedSamples(logDir);
    QVERIFY(beforeLoss.size() >= 20);

    // Another device chosen while waiting is for the next Start only.
    PtyPair other;
    QVERIFY2(other.isValid(), qPrintable(other.errorString()));
    QVERIFY(other.write(QByteArray(14, '\x01')));
    answerSettings([&](QDialog *d) { child<QLineEdit>(d, "devicenameField")->setText(other.slavePath()); }, true);
    child<QAction>(&w, "actionOptions")->trigger();
    QTest::qWait(2500);
    QCOMPARE(other.bytesWaiting(), 14);
    QVERIFY(!messagesFrom(&w, "Serial device lost").contains("Serial port opened"));
    QCOMPARE(loggedSamples(logDir), beforeLoss);

    Simulator replugged;
    QVERIFY(replugged.start({}));
    QVERIFY(pointLink(link, replugged.path));
    QTRY_VERIFY_WITH_TIMEOUT(messagesFrom(&w, "Serial device lost").contains("Serial port opened"), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(loggedSamples(logDir).size() >= beforeLoss.size() + 30, 20000);
    QTRY_VERIFY(status->text().contains("frames/s"));
    click(&w, "Stop_Button");
    QCOMPARE(messages(&w), QStringList{"USB closed"});

    // One file, its index unbroken (loggedSamples checks), nothing invented
    // on either side of the loss.
    QCOMPARE(logFiles(logDir).size(), 1);
    const QList<QList<int>> all = loggedSamples(logDir);
    QCOMPARE(all.mid(0, beforeLoss.size()), beforeLoss);
    QCOMPARE(compareWithSent(beforeLoss, waveSamples(100000)).invented, 0);
    QCOMPARE(compareWithSent(all.mid(beforeLoss.size()), waveSamples(100000)).invented, 0);
}

void tst_LinkRecovery::stopWhileWaiting()
{
    Simulator unplugged;
    QVERIFY(unplugged.start({"--hangup-after", "1"}));
    QVERIFY(pointLink(link, unplugged.path));
    answerSettings(sensorMode(link, logDir), true);
    MainWindow w;
    start(w);
    QTRY_VERIFY_WITH_TIMEOUT(messages(&w).contains("Serial device lost"), 10000);

    click(&w, "Stop_Button");
    QCOMPARE(messages(&w), QStringList{"USB closed"});
    QCOMPARE(child<QLabel>(&w, "linkStatus")->text(), QStringLiteral("Stopped"));

    // Back on its path, the device is no longer waited for.
    Simulator replugged;
    QVERIFY(replugged.start({}));
    QVERIFY(pointLink(link, replugged.path));
    QTest::qWait(2500);
    QCOMPARE(messages(&w), QStringList{"USB closed"});
    QVERIFY(!child<QTimer>(&w, "mainTimer")->isActive());
}

void tst_LinkRecovery::returnedDeviceCannotBeOpened()
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), {ordinaryUserFlag});
    QVERIFY(child.waitForFinished(120000));
    if (child.exitCode() == cannotDropPrivileges)
        QSKIP("running as root, but becoming nobody failed");
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
}

int main(int argc, char *argv[])
{
    const bool asUser = argc >= 2 && qstrcmp(argv[1], ordinaryUserFlag) == 0;
    if (asUser && !becomeUnprivileged())
        return cannotDropPrivileges;
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    QTEST_SET_MAIN_SOURCE_PATH
    if (asUser) {
        tst_LinkRecoveryAsUser test;
        return QTest::qExec(&test, {argv[0]});
    }
    tst_LinkRecovery test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_linkrecovery.moc"
