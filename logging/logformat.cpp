#include "logformat.h"

#include <QDateTime>
#include <QList>
#include <QRegularExpression>

#include <limits>

namespace LogFormat {

namespace {
// The columns after the index, in the order of the header.
constexpr int16_t ImuSample::*columns[] = {&ImuSample::accX, &ImuSample::accY, &ImuSample::accZ,
                                           &ImuSample::gyroX, &ImuSample::gyroY, &ImuSample::gyroZ};
} // namespace

QByteArray headerLine()
{
    return QByteArray(header) + '\n';
}

bool isHeader(const QByteArray &line)
{
    // Read back leniently: what begins with the index column's name can be
    // nothing but a header.
    static const QByteArray indexColumn = QByteArray(header).left(QByteArray(header).indexOf(','));
    return line.startsWith(indexColumn);
}

QByteArray dataLine(int index, const std::array<int, 6> &values)
{
    QByteArray line;
    line.reserve(64);
    line += QByteArray::number(index);
    for (int value : values) {
        line += ',';
        line += QByteArray::number(value);
    }
    line += '\n';
    return line;
}

std::optional<ImuSample> parseDataLine(const QByteArray &line, int *index)
{
    const QList<QByteArray> fields = line.trimmed().split(',');
    if (fields.size() != 7)
        return std::nullopt;
    bool good = false;
    const int lineIndex = fields[0].toInt(&good);
    if (!good)
        return std::nullopt;
    ImuSample sample;
    for (int i = 0; i < 6; ++i) {
        const int value = fields[i + 1].toInt(&good);
        if (!good || value < std::numeric_limits<int16_t>::min() || value > std::numeric_limits<int16_t>::max())
            return std::nullopt;
        sample.*columns[i] = int16_t(value);
    }
    if (index)
        *index = lineIndex;
    return sample;
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
