#include "logformat.h"

#include <QDateTime>
#include <QRegularExpression>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <string>
#include <string_view>

namespace LogFormat {

namespace {
// The columns after the index, in the order of the header.
constexpr int16_t ImuSample::*columns[] = {&ImuSample::accX, &ImuSample::accY, &ImuSample::accZ,
                                           &ImuSample::gyroX, &ImuSample::gyroY, &ImuSample::gyroZ};

// "2026-12-10T14:03:27.415+02:00"
constexpr int TimeTextLength = 29;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The decimal number of the count digits at at, or -1 when one is no digit.
int digits(const char *at, int count)
{
    int value = 0;
    for (int i = 0; i < count; ++i) {
        if (!isDigit(at[i]))
            return -1;
        value = 10 * value + (at[i] - '0');
    }
    return value;
}

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
qint64 daysFromCivil(int year, int month, int day)
{
    year -= month <= 2 ? 1 : 0;
    const qint64 era = (year >= 0 ? year : year - 399) / 400;
    const int yearOfEra = int(year - era * 400);
    const int dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

int daysInMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// A decimal integer field: an optional minus sign and up to ten digits.
LineError parseInteger(const char *begin, const char *end, qint64 *value)
{
    const bool negative = begin != end && *begin == '-';
    const char *at = negative ? begin + 1 : begin;
    if (at == end || end - at > 10)
        return at == end ? LineError::NotAnInteger : LineError::OutOfRange;
    qint64 magnitude = 0;
    for (; at != end; ++at) {
        if (!isDigit(*at))
            return LineError::NotAnInteger;
        magnitude = 10 * magnitude + (*at - '0');
    }
    *value = negative ? -magnitude : magnitude;
    return LineError::None;
}

} // namespace

QByteArray headerLine(bool withTime)
{
    return QByteArray(header) + (withTime ? timeColumn : "") + '\n';
}

bool headerHasTime(const QByteArray &line)
{
    return line.trimmed() == QByteArray(header) + timeColumn;
}

bool isHeader(const QByteArray &line)
{
    return headerOf(line.constData(), line.constData() + line.size()) != Header::None;
}

Header headerOf(const char *begin, const char *end)
{
    // Read back leniently: what begins with the index column's name can be
    // nothing but a header.
    static const std::string_view indexColumn = std::string_view(header).substr(0, std::string_view(header).find(','));
    static const std::string withTime = std::string(header) + timeColumn;
    const std::string_view line(begin, size_t(end - begin));
    if (line.substr(0, indexColumn.size()) != indexColumn)
        return Header::None;
    const std::string_view withoutCr = !line.empty() && line.back() == '\r' ? line.substr(0, line.size() - 1) : line;
    return withoutCr == withTime ? Header::WithTime : Header::Plain;
}

QByteArray dataLine(int index, const std::array<int, 6> &values, qint64 arrivedMs)
{
    QByteArray line;
    line.reserve(arrivedMs == NoTime ? 48 : 80);
    line += QByteArray::number(index);
    for (int value : values) {
        line += ',';
        line += QByteArray::number(value);
    }
    if (arrivedMs != NoTime) {
        line += ',';
        line += timeText(arrivedMs);
    }
    line += '\n';
    return line;
}

QByteArray timeText(qint64 arrivedMs)
{
    // The C library rather than QDateTime: it is called for every line, and
    // the offset must be the one in force at that instant.
    const qint64 seconds = arrivedMs >= 0 ? arrivedMs / 1000 : -((-arrivedMs + 999) / 1000);
    const int milliseconds = int(arrivedMs - seconds * 1000);
    const std::time_t when = std::time_t(seconds);
    std::tm local{};
    localtime_r(&when, &local);
    const long offset = std::labs(local.tm_gmtoff);
    char text[48];
    const int length = std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld",
                                     local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                                     local.tm_min, local.tm_sec, milliseconds, local.tm_gmtoff < 0 ? '-' : '+',
                                     offset / 3600, offset % 3600 / 60);
    return QByteArray(text, length);
}

std::optional<qint64> parseTime(const char *begin, const char *end)
{
    if (end - begin != TimeTextLength)
        return std::nullopt;
    const char *t = begin;
    if (t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' || t[16] != ':' || t[19] != '.'
        || (t[23] != '+' && t[23] != '-') || t[26] != ':')
        return std::nullopt;
    const int year = digits(t, 4), month = digits(t + 5, 2), day = digits(t + 8, 2);
    const int hour = digits(t + 11, 2), minute = digits(t + 14, 2), second = digits(t + 17, 2);
    const int milli = digits(t + 20, 3), offsetHours = digits(t + 24, 2), offsetMinutes = digits(t + 27, 2);
    if (year < 0 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour < 0
        || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || milli < 0
        || offsetHours < 0 || offsetHours > 14 || offsetMinutes < 0 || offsetMinutes > 59)
        return std::nullopt;
    const qint64 offset = (t[23] == '-' ? -1 : 1) * (offsetHours * 3600 + offsetMinutes * 60);
    const qint64 seconds = daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second - offset;
    return seconds * 1000 + milli;
}

LineError parseLine(const char *begin, const char *end, Line *line)
{
    if (begin != end && end[-1] == '\r')
        --end;
    // Field i runs from starts[i] to the comma at starts[i + 1] - 1, the
    // last one to end.
    const char *starts[9];
    int count = 0;
    starts[count++] = begin;
    for (const char *at = begin; at != end; ++at) {
        if (*at == ',') {
            if (count == 8)
                return LineError::FieldCount;
            starts[count++] = at + 1;
        }
    }
    if (count != 7 && count != 8)
        return LineError::FieldCount;
    const auto fieldEnd = [&](int i) { return i + 1 < count ? starts[i + 1] - 1 : end; };
    qint64 value = 0;
    if (const LineError error = parseInteger(starts[0], fieldEnd(0), &value); error != LineError::None)
        return error;
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        return LineError::OutOfRange;
    Line read;
    read.index = int(value);
    for (int i = 0; i < 6; ++i) {
        if (const LineError error = parseInteger(starts[i + 1], fieldEnd(i + 1), &value); error != LineError::None)
            return error;
        if (value < std::numeric_limits<int16_t>::min() || value > std::numeric_limits<int16_t>::max())
            return LineError::OutOfRange;
        read.sample.*columns[i] = int16_t(value);
    }
    if (count == 8) {
        const std::optional<qint64> time = parseTime(starts[7], end);
        if (!time)
            return LineError::BadTime;
        read.arrivedMs = *time;
    }
    *line = read;
    return LineError::None;
}

const char *describe(LineError error)
{
    switch (error) {
    case LineError::None:
        break;
    case LineError::FieldCount:
        return "not 7 or 8 fields";
    case LineError::NotAnInteger:
        return "a field is not a decimal integer";
    case LineError::OutOfRange:
        return "a value outside -32768 to 32767";
    case LineError::BadTime:
        return "the time is not of the form 2026-12-10T14:03:27.415+02:00";
    }
    return "a data line";
}

std::optional<ImuSample> parseDataLine(const QByteArray &line, int *index, qint64 *arrivedMs)
{
    const QByteArray trimmed = line.trimmed();
    Line read;
    if (parseLine(trimmed.constData(), trimmed.constData() + trimmed.size(), &read) != LineError::None)
        return std::nullopt;
    if (index)
        *index = read.index;
    if (arrivedMs)
        *arrivedMs = read.arrivedMs;
    return read.sample;
}

QString stamp(const QDateTime &time)
{
    return time.toString(QStringLiteral("dd.MM, h.mm.ss"));
}

QString filePath(const QString &directory, const QString &stamp, int number)
{
    const QString suffix = number > 1 ? QStringLiteral("-%1.txt").arg(number) : QStringLiteral(".txt");
    return directory + QStringLiteral("//") + stamp + suffix;
}

std::optional<FileStamp> parseFileName(const QString &name)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(\\d\\d)\\.(\\d\\d), (\\d\\d?)\\.(\\d\\d)\\.(\\d\\d)(?:-(\\d+))?\\.txt$"));
    const QRegularExpressionMatch match = pattern.match(name);
    if (!match.hasMatch())
        return std::nullopt;
    FileStamp found;
    found.day = match.captured(1).toInt();
    found.month = match.captured(2).toInt();
    found.hour = match.captured(3).toInt();
    found.minute = match.captured(4).toInt();
    found.second = match.captured(5).toInt();
    if (match.hasCaptured(6))
        found.number = match.captured(6).toInt();
    return found;
}

} // namespace LogFormat
