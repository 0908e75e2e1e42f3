#include "linkstatus.h"

#include <QCoreApplication>

#include <cmath>

namespace {
// 9600 baud, one start bit, eight data bits, one stop bit.
constexpr double LineBytesPerMs = 0.96;

QString tr(const char *text)
{
    return QCoreApplication::translate("LinkStatus", text);
}
} // namespace

QString linkStatusText(const LinkStatistics &counts, double seconds, int frameLength)
{
    if (seconds <= 0)
        seconds = 1;
    const QString dot = QStringLiteral(" \u00b7 ");
    const long long skipped = counts.framesFound - counts.samplesShown;
    const int skippedPercent = counts.framesFound > 0
            ? int(std::lround(100.0 * double(skipped) / double(counts.framesFound)))
            : 0;
    QString text = tr("%1 B/s").arg(std::llround(counts.bytesTaken / seconds)) + dot
            + tr("%1 frames/s").arg(counts.framesFound / seconds, 0, 'f', 1) + dot
            + tr("%1 shown/s").arg(counts.samplesShown / seconds, 0, 'f', 1) + dot
            + tr("%1% skipped").arg(skippedPercent);
    if (counts.bytesDropped > 0)
        text += dot + tr("%1 B/s dropped unread").arg(std::llround(counts.bytesDropped / seconds));
    if (counts.bytesTaken > 0 && counts.framesFound == 0)
        text += dot + tr("no frame found: check the message frame setup");
    else if (skipped > 0 || counts.bytesDropped > 0)
        text += dot + tr("set the read interval below %1 ms to keep every frame")
                          .arg(int(std::floor(frameLength / LineBytesPerMs)));
    return text;
}
