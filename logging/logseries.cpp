#include "logseries.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <tuple>

namespace {

// Files are begun before they are written; a day of slack covers clocks
// and time zones without taking a file for a year older than it is.
constexpr qint64 slackMs = 24 * 3600 * 1000;
// 29 February comes back within eight years.
constexpr int yearsBack = 8;

} // namespace

std::optional<qint64> begunMs(const LogFormat::FileStamp &stamp, const QDateTime &modified)
{
    const QTime time(stamp.hour, stamp.minute, stamp.second);
    if (!time.isValid())
        return std::nullopt;
    const qint64 latest = modified.toMSecsSinceEpoch() + slackMs;
    const int year = modified.toLocalTime().date().year();
    for (int y = year; y > year - yearsBack; --y) {
        const QDate date(y, stamp.month, stamp.day);
        if (!date.isValid())
            continue;
        const qint64 begun = QDateTime(date, time).toMSecsSinceEpoch();
        if (begun <= latest)
            return begun;
    }
    return std::nullopt;
}

LogSeries LogSeries::list(const QStringList &paths)
{
    LogSeries series;
    QSet<QString> taken;
    // Takes a file into the series, or says why it is none; named: given by
    // name rather than found in a folder. True for a file of the series.
    const auto take = [&](const QFileInfo &info, bool named) {
        const QString path = info.canonicalFilePath();
        if (taken.contains(path))
            return true;
        const std::optional<LogFormat::FileStamp> stamp = LogFormat::parseFileName(info.fileName());
        const std::optional<qint64> begun = stamp ? begunMs(*stamp, info.lastModified()) : std::nullopt;
        if (!begun) {
            if (named)
                series.refused << QStringLiteral("%1: not named as a log file (dd.MM, h.mm.ss.txt)")
                                          .arg(info.filePath());
            return false;
        }
        if (!info.isReadable()) {
            series.refused << QStringLiteral("%1: cannot be read").arg(info.filePath());
            return true;
        }
        taken.insert(path);
        series.files.push_back({info.filePath(), info.size(), *begun, stamp->number,
                                info.lastModified().toMSecsSinceEpoch()});
        return true;
    };

    for (const QString &path : paths) {
        const QFileInfo info(path);
        if (info.isDir()) {
            bool found = false;
            for (const QFileInfo &entry : QDir(path).entryInfoList({QStringLiteral("*.txt")}, QDir::Files))
                found |= take(entry, false);
            if (!found)
                series.refused << QStringLiteral("%1: no log files in this folder").arg(path);
        } else if (info.isFile()) {
            take(info, true);
        } else {
            series.refused << QStringLiteral("%1: %2").arg(path, info.exists() ? QStringLiteral("not a file or folder")
                                                                                 : QStringLiteral("does not exist"));
        }
    }
    // Parsed, not sorted as text: "9.05" after "10.05" in text order, "-10"
    // after "-9".
    std::stable_sort(series.files.begin(), series.files.end(), [](const File &a, const File &b) {
        return std::tie(a.begunMs, a.number) < std::tie(b.begunMs, b.number);
    });
    return series;
}
