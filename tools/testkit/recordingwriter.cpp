#include "recordingwriter.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <cmath>
#include <cstdio>
#include <utime.h>

std::array<int, 6> recordedSample(qint64 localMs)
{
    constexpr qint64 day = 86400 * 1000;
    const double hour = double(localMs % day) / 3600000;
    // 1 January 1970 was a Thursday: day 0 is weekday 3 from Monday as 0.
    const int weekday = int((localMs / day + 3) % 7);
    const double warmth = std::sin(2 * M_PI * (hour - 9) / 24);
    // Handled for two minutes in every twenty of a working day.
    const bool handled = weekday < 5 && hour > 8.5 && hour < 17 && (localMs / 60000) % 20 < 2;
    const double t = double(localMs) / 1000;
    const double swing = handled ? std::sin(2 * M_PI * 0.7 * t) * std::sin(M_PI * double(localMs % 120000) / 120000) : 0;
    quint32 noise = quint32(localMs) * 2654435761u;
    const auto jitter = [&noise](int range) {
        noise = noise * 1664525u + 1013904223u;
        return int(noise >> 16) % (2 * range + 1) - range;
    };
    return {310 + int(60 * warmth) + int(2600 * swing) + jitter(25),
            -120 + int(40 * warmth) + int(1900 * swing * std::cos(0.3 * t)) + jitter(25),
            16340 - int(30 * warmth) - int(900 * std::abs(swing)) + jitter(30),
            -153 + int(4 * warmth) + int(1400 * swing) + jitter(9),
            87 - int(3 * warmth) + int(800 * swing * std::sin(0.5 * t)) + jitter(9),
            -41 + int(2 * warmth) + int(2100 * swing * std::cos(0.9 * t)) + jitter(9)};
}

bool writeRecording(const RecordingPlan &plan)
{
    QDir().mkpath(plan.folder);
    const qint64 localOffsetMs = qint64(QDateTime::fromMSecsSinceEpoch(plan.startMs).offsetFromUtc()) * 1000;
    qint64 n = 0;
    qint64 pausedMs = 0;
    size_t pause = 0;
    const auto timeOf = [&](qint64 sample) {
        return plan.startMs + pausedMs + qint64(std::llround(double(sample) * plan.msPerSample));
    };
    for (int f = 0; f < plan.files; ++f) {
        const qint64 begunMs = timeOf(n);
        const QString path = LogFormat::filePath(plan.folder, LogFormat::stamp(QDateTime::fromMSecsSinceEpoch(begunMs)), 1);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path), qPrintable(file.errorString()));
            return false;
        }
        QByteArray text = LogFormat::headerLine(plan.withTime);
        text.reserve(plan.linesPerFile * (plan.withTime ? 68 : 36));
        qint64 lastMs = begunMs;
        for (int line = 0; line < plan.linesPerFile; ++line, ++n) {
            lastMs = timeOf(n);
            text += LogFormat::dataLine(line, recordedSample(lastMs + localOffsetMs),
                                        plan.withTime ? lastMs : LogFormat::NoTime);
            if (pause < plan.pauses.size() && plan.pauses[pause].afterSample == n)
                pausedMs += plan.pauses[pause++].ms;
        }
        if (file.write(text) != text.size()) {
            std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path), qPrintable(file.errorString()));
            return false;
        }
        file.close();
        const utimbuf times{time_t(lastMs / 1000), time_t(lastMs / 1000)};
        utime(QFile::encodeName(path).constData(), &times);
    }
    return true;
}
