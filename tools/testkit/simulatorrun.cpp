#include "simulatorrun.h"

#include "logformat.h"
#include "testfailure.h"
#include "windowdriver.h"
#include "wavesample.h"

#include <QFileInfo>

#include <optional>

namespace {
// A sample in the form the runs are compared in.
QList<int> columns(const ImuSample &s)
{
    return {s.accX, s.accY, s.accZ, s.gyroX, s.gyroY, s.gyroZ};
}
} // namespace

SimulatorRun::~SimulatorRun()
{
    if (process.state() != QProcess::NotRunning) {
        process.terminate();
        process.waitForFinished(5000);
    }
}

bool SimulatorRun::start(const QString &program, const QStringList &arguments)
{
    process.start(program, arguments);
    if (!process.waitForStarted(5000))
        return false;
    while (!process.canReadLine()) {
        if (!process.waitForReadyRead(5000))
            return false;
    }
    path = QString::fromLocal8Bit(process.readLine()).trimmed();
    return !path.isEmpty();
}

bool SimulatorRun::running() const
{
    return process.state() != QProcess::NotRunning;
}

QString SimulatorRun::errors()
{
    return QString::fromLocal8Bit(process.readAllStandardError());
}

QList<QList<int>> loggedSamples(const QString &dir, const char *file, int line)
{
    QList<QList<int>> samples;
    for (const QFileInfo &log : logFiles(dir)) {
        const QList<QByteArray> lines = dataLines(log);
        for (int i = 0; i < lines.size(); ++i) {
            int index = -1;
            const std::optional<ImuSample> s = LogFormat::parseDataLine(lines[i], &index);
            if (!s || index != i) {
                failTest(QStringLiteral("%1: data line %2 is \"%3\"")
                             .arg(log.fileName()).arg(i).arg(QString::fromLatin1(lines[i])), file, line);
                return samples;
            }
            samples << columns(*s);
        }
    }
    return samples;
}

QList<QList<int>> waveSamples(int count)
{
    QList<QList<int>> samples;
    samples.reserve(count);
    for (int n = 0; n < count; ++n) {
        samples << columns(waveSample(n));
    }
    return samples;
}

Delivery compareWithSent(const QList<QList<int>> &received, const QList<QList<int>> &sent)
{
    Delivery delivery;
    delivery.received = int(received.size());
    int first = -1, from = 0;
    for (const QList<int> &sample : received) {
        const qsizetype at = sent.indexOf(sample, from);
        if (at < 0) {
            ++delivery.invented;
            continue;
        }
        if (first < 0)
            first = int(at);
        from = int(at) + 1;
    }
    delivery.spanned = first < 0 ? 0 : from - first;
    return delivery;
}
