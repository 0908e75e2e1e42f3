#include "samplesource.h"

#include "logformat.h"
#include "wavesample.h"

#include <QFile>

#include <limits>

std::optional<ImuSample> WaveSource::next()
{
    // Wraps instead of overflowing after two thousand million frames.
    const int current = n;
    n = n == std::numeric_limits<int>::max() ? 0 : n + 1;
    return waveSample(current);
}

ReplaySource::ReplaySource(std::vector<ImuSample> samples)
    : samples(std::move(samples))
{
}

std::unique_ptr<ReplaySource> ReplaySource::load(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return nullptr;
    }

    std::vector<ImuSample> samples;
    int lineNumber = 0;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        ++lineNumber;
        if (line.isEmpty() || LogFormat::isHeader(line))
            continue;
        // Lines with or without the time column; the times are not played.
        LogFormat::Line read;
        const LogFormat::LineError problem = LogFormat::parseLine(line.constData(), line.constData() + line.size(), &read);
        if (problem != LogFormat::LineError::None) {
            *error = QStringLiteral("%1 line %2 is not a log line (%3): \"%4\"")
                         .arg(path)
                         .arg(lineNumber)
                         .arg(QString::fromLatin1(LogFormat::describe(problem)), QString::fromLatin1(line.left(80)));
            return nullptr;
        }
        samples.push_back(read.sample);
    }
    if (samples.empty()) {
        *error = QStringLiteral("%1 holds no samples").arg(path);
        return nullptr;
    }
    return std::unique_ptr<ReplaySource>(new ReplaySource(std::move(samples)));
}

std::optional<ImuSample> ReplaySource::next()
{
    if (position >= samples.size())
        return std::nullopt;
    return samples[position++];
}
