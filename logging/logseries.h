#ifndef LOGSERIES_H
#define LOGSERIES_H

#include "logformat.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// A series of log files, as the user picks it (files, and folders for every
// log file in them), in the order the files were begun.
struct LogSeries
{
    struct File
    {
        QString path;
        qint64 size = 0;
        // When it was begun, as its name tells, in milliseconds since 1970
        // UTC, and its number within that second (1, then 2 for "-2", ...).
        qint64 begunMs = 0;
        int number = 1;
        qint64 modifiedMs = 0;  // when it was last written
    };

    std::vector<File> files;
    // "<path>: <reason>" for each file or folder given that holds no file
    // of the series (a file named otherwise, one that cannot be read, a
    // folder without log files).
    QStringList refused;

    // The series of the files and folders at paths. A file given twice, or
    // also through its folder, is taken once. Looks at the file system.
    static LogSeries list(const QStringList &paths);
};

// When a file named with stamp was begun, in milliseconds since 1970 UTC:
// the name has no year, so it is the latest year that puts the begin no
// later than the file's last change, as a file is begun before it is
// written (give or take a day, for clocks and time zones). A series that
// crosses New Year so comes out in order, even from copies modified later.
// Nothing when the stamp is no time of any year near modified.
std::optional<qint64> begunMs(const LogFormat::FileStamp &stamp, const QDateTime &modified);

#endif // LOGSERIES_H
