#ifndef LOGFORMAT_H
#define LOGFORMAT_H

#include "imusample.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <limits>
#include <optional>
#include <tuple>

class QDateTime;

// The log files' format, for the logger that writes them and for every
// program that reads them back (imu-sim's replay, the tests).
//
// A file is the header line, then one line per sample: the sample's index in
// the file from 0, then acceleration X, Y, Z and gyroscope X, Y, Z, in plain
// decimal, separated by single commas and ended by a line feed. A file with
// the time column has an eighth column, "aika": when the sample arrived, in
// local time with milliseconds and the offset from UTC,
// "2026-12-10T14:03:27.415+02:00". It is named
// "<directory>//dd.MM, h.mm.ss.txt" after the local time it was begun, and
// "<stamp>-2.txt", "<stamp>-3.txt", ... for later files of the same second.
namespace LogFormat {

// Data lines in a file before the next one is begun, until the user chooses.
constexpr int defaultLinesPerFile = 50000;

// The first line of every file, without its line end.
constexpr char header[] = "indeksi,x-akseli1,y-akseli1,z-akseli1,x-akseli2,y-akseli2,z-akseli2";
// What the time column adds to it.
constexpr char timeColumn[] = ",aika";
// The header with its line end, as written.
QByteArray headerLine(bool withTime = false);
// True for a header line (with or without its line end). A file continued
// from another run may hold more than one.
bool isHeader(const QByteArray &line);
// True for the header of a file with the time column.
bool headerHasTime(const QByteArray &line);

// What the line [begin, end), without its line feed, is as a header: none,
// or the header of a file without or with the time column. As isHeader(),
// it takes any line that begins with the index column's name for a header;
// only the exact header with the time column (a carriage return after it
// ignored) counts as that.
enum class Header { None, Plain, WithTime };
Header headerOf(const char *begin, const char *end);

// Marks a sample without a time.
constexpr qint64 NoTime = std::numeric_limits<qint64>::min();

// The data line for index and values (acceleration X, Y, Z, gyroscope X, Y,
// Z), with its line end: the logger's six values, as it was given them, and
// the time column when arrivedMs (milliseconds since 1970 UTC) is not NoTime.
QByteArray dataLine(int index, const std::array<int, 6> &values, qint64 arrivedMs = NoTime);

// The time column's text for arrivedMs, in the machine's local time.
QByteArray timeText(qint64 arrivedMs);
// The time of such a text, milliseconds since 1970 UTC; nothing for any
// other text.
std::optional<qint64> parseTime(const char *begin, const char *end);

// One data line read back.
struct Line
{
    int index = 0;
    ImuSample sample;
    qint64 arrivedMs = NoTime; // NoTime in a line without the time column
};
// Why a line is no data line.
enum class LineError {
    None,
    FieldCount,   // neither seven nor eight fields
    NotAnInteger, // a field that is not a decimal integer
    OutOfRange,   // a value outside -32768 to 32767, or an index outside int
    BadTime       // an eighth field that is not a time of the time column
};
// Reads the data line [begin, end), without its line feed; a carriage
// return before it (a file saved again by a spreadsheet) is ignored. Fills
// *line unless it is no data line.
LineError parseLine(const char *begin, const char *end, Line *line);
// The longest line, in bytes without its line feed, that parseLine() can
// take: eleven characters in each of the seven number fields, the commas,
// the time and a carriage return. Anything longer is no data line.
constexpr int longestLine = 7 * 11 + 7 + 29 + 1;
// The reason in words, such as "not a decimal integer".
const char *describe(LineError error);

// The sample of a data line of either form, and its index and time into
// *index and *arrivedMs when asked for; surrounding white space is ignored.
// Nothing for what parseLine() refuses.
std::optional<ImuSample> parseDataLine(const QByteArray &line, int *index = nullptr,
                                       qint64 *arrivedMs = nullptr);

// The stamp of a file begun at time: "dd.MM, h.mm.ss", the hour without a
// leading zero.
QString stamp(const QDateTime &time);
// The path of the number-th file (from 1) begun in directory within the
// second of stamp. The directory is taken as it is and "//" always follows it.
QString filePath(const QString &directory, const QString &stamp, int number);

// When a file was begun, as its name tells; the year is not in the name.
struct FileStamp
{
    int month = 0, day = 0;
    int hour = 0, minute = 0, second = 0;
    int number = 1; // 1 for the first file of its second, then 2, 3, ...

    // Orders files in the order they were begun within one year, where the
    // text order of the names breaks (a one-digit hour, "-10" after "-9").
    bool operator<(const FileStamp &other) const
    {
        return std::tie(month, day, hour, minute, second, number)
                < std::tie(other.month, other.day, other.hour, other.minute, other.second, other.number);
    }
};
// The stamp in a file name (without its folder); nothing for a name that is
// not a log file's.
std::optional<FileStamp> parseFileName(const QString &name);

} // namespace LogFormat

#endif // LOGFORMAT_H
