#include "linkstatus.h"

#include <QCoreApplication>

#include <cmath>

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("LinkStatus", text);
}
} // namespace

QString linkStatusText(const LinkStatistics &counts, double seconds, const FrameLayout &layout,
                       const SampleUse &use)
{
    const int frameLength = layout.frameLength();
    if (seconds <= 0)
        seconds = 1;
    const QString dot = QStringLiteral(" \u00b7 ");
    const auto perSecond = [seconds](long long count) { return count / seconds; };
    QString text = tr("%1 B/s").arg(std::llround(perSecond(counts.bytesTaken))) + dot
            + tr("%1 frames/s").arg(perSecond(counts.framesConfirmed), 0, 'f', 1);
    if (use.logged >= 0)
        text += dot + tr("%1 logged/s").arg(perSecond(use.logged), 0, 'f', 1);
    if (use.drawn >= 0)
        text += dot + tr("%1 drawn/s").arg(perSecond(use.drawn), 0, 'f', 1);

    // Dropped bytes held frames too, about one in frameLength.
    const double lost = double(counts.framesFailed)
            + (frameLength > 0 ? double(counts.bytesDropped) / frameLength : 0.0);
    if (lost > 0)
        text += dot + tr("%1% lost").arg(100.0 * lost / (double(counts.framesConfirmed) + lost), 0, 'f', 1);
    if (counts.bytesDropped > 0)
        text += dot + tr("%1 B/s dropped unread").arg(std::llround(perSecond(counts.bytesDropped)));
    if (counts.bytesTaken > 0 && counts.framesConfirmed == 0)
        text += dot + tr("no frame found: check the message frame setup");
    if (!layout.hasMarkers())
        text += dot + tr("frames unchecked");
    return text;
}

QString wrongLayoutHint(const LinkStatistics &counts, const FrameLayout &layout)
{
    if (counts.bytesTaken == 0 || counts.framesConfirmed > 0)
        return {};
    const int length = layout.frameLength();
    const int spacing = counts.steadyMarkerSpacing();
    const int dataBytes = spacing - (length - layout.dataByteCount);
    if (spacing == 0 || spacing == length || dataBytes < 1)
        return {};
    return tr("Frames seem to be %1 bytes long, the layout has %2: set Data bytes to %3")
        .arg(spacing).arg(length).arg(dataBytes);
}
