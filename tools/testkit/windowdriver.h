#ifndef WINDOWDRIVER_H
#define WINDOWDRIVER_H

#include "imusample.h"
#include "testfailure.h"

#include <QByteArray>
#include <QFileInfoList>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

class QDialog;
class QObject;
class QWidget;

// Drives the real main window the way a user does: answers the settings
// dialog, clicks buttons and reads the readouts, the message area and the
// log files. Shared by the tests and the benchmarks.

// What is done to the settings form before OK or Cancel is pressed.
using FormEdit = std::function<void(QDialog *)>;

// Answers the next modal settings dialog from inside its event loop: applies
// edit (if any), then presses OK (accept) or Cancel. Fails the test when no
// modal dialog is open by then.
void answerSettings(FormEdit edit, bool accept, const char *file = IMU_CALLER_FILE, int line = IMU_CALLER_LINE);

// "Wireless mode" on device, plots off, logs into logDir.
FormEdit sensorMode(const QString &device, const QString &logDir);
// "Wireless mode" on the device the form offers, plots off, logs into
// logDir: for a window that is handed its samples and never started.
FormEdit idleSensorMode(const QString &logDir);
// "Test mode", plots off, logs into logDir.
FormEdit testMode(const QString &logDir);
// edit, then "Draw plots" on with both plots chosen.
FormEdit withPlots(FormEdit edit);
// Answers the next settings dialog with OK after edit, with "Draw plots" on
// and both plots chosen.
void answerWithPlots(FormEdit edit, const char *file = IMU_CALLER_FILE, int line = IMU_CALLER_LINE);

// The six readouts: acceleration X, Y, Z, then gyroscope X, Y, Z.
QList<int> readouts(QWidget *window);
// The message area, one entry per non-empty line.
QStringList messages(QWidget *window);
void click(QWidget *window, const char *button);
// Runs one timer tick of the window now.
bool tick(QObject *window);
// Hands the window samples as the serial reader does for one read: all of
// them, then the newest on its own.
bool deliver(QObject *window, const QVector<ImuSample> &samples);

// The log files in dir in the order they were begun, as their names tell
// (within one year); other files come first.
QFileInfoList logFiles(const QString &dir);

// The data lines of one log file, header lines dropped; none when the file
// cannot be read.
QList<QByteArray> dataLines(const QFileInfo &file);

// All data lines of every log file in dir, oldest file first, header lines
// dropped.
QStringList loggedLines(const QString &dir);

#endif // WINDOWDRIVER_H
