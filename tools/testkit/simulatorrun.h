#ifndef SIMULATORRUN_H
#define SIMULATORRUN_H

#include "testfailure.h"

#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

// One run of imu-sim as a child process. On a pseudo-terminal of its own
// the device path is the first line it prints.
class SimulatorRun
{
public:
    ~SimulatorRun();

    // Starts program with arguments and reads the device path; false when
    // it did not start or printed no path within a few seconds.
    bool start(const QString &program, const QStringList &arguments);

    bool running() const;
    // What it wrote to standard error so far (its summary, once it ended).
    QString errors();

    QProcess process;
    QString path;
};

// The samples of the log files in dir, oldest file first: acceleration X,
// Y, Z, gyroscope X, Y, Z of each line. On a line that is not a data line or
// whose index breaks its file's count from 0, fails the test and returns the
// samples before it.
QList<QList<int>> loggedSamples(const QString &dir, const char *file = IMU_CALLER_FILE,
                                int line = IMU_CALLER_LINE);

// The first count samples of the test-mode waves, in the same form.
QList<QList<int>> waveSamples(int count);

// How the samples that came out compare with those that were sent.
struct Delivery
{
    int received = 0; // samples that came out
    int invented = 0; // of those, never sent, or not in the order sent
    int spanned = 0;  // samples sent from the first one received to the last

    // The share of the samples sent meanwhile that came out.
    double keptShare() const { return spanned > 0 ? double(received - invented) / spanned : 0; }
};
Delivery compareWithSent(const QList<QList<int>> &received, const QList<QList<int>> &sent);

#endif // SIMULATORRUN_H
