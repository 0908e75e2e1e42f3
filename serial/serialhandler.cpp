#include "serialhandler.h"

#include "framelayout.h"
#include "linerate.h"
#include "serialdiagnostics.h"
#include "serialportsource.h"

#include <QDebug>
#include <QFile>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <utility>

Q_LOGGING_CATEGORY(lcSerial, "imu.serial")
Q_LOGGING_CATEGORY(lcSerialReads, "imu.serial.reads")

namespace {
// Each byte is asked for only after the port reported one waiting.
constexpr unsigned int ReadTimeoutMs = 1;
// Bytes at the edge of a window, next to where a frame before or after it
// would lie, that must not look like its markers when the window follows
// garbage. A frame rarely loses more than four bytes at once.
constexpr int SuspectBytes = 4;
}

serialhandler::serialhandler(QObject *parent)
    : QObject(parent)
    , devicename(QString::fromLatin1(DefaultSerialDevice))
{
    applyLayout(FrameLayout());
    std::memset(readBuffer, 0, sizeof readBuffer);
    std::memset(frameBuffer, 0, sizeof frameBuffer);
}

serialhandler::~serialhandler() = default;

void serialhandler::updateOptions(int *optionFrame)
{
    if (!optionFrame)
        return;
    const FrameLayout next = FrameLayout::fromOptionFrame(optionFrame);
    // The same layout confirmed again loses nothing.
    if (next == frameLayout)
        return;
    applyLayout(next);
    // What was read or waits now was framed by the old layout.
    forgetLine(false);
    dropWaitingBeyond(0, "of the old frame layout");
}

void serialhandler::applyLayout(const FrameLayout &layout)
{
    frameLayout = layout;
    frameLength = layout.frameLength();
}

void serialhandler::receiveDevicename(QString devicename_)
{
    devicename = devicename_;
}

int serialhandler::OpenUsb(int)
{
    if (!QFile::exists(devicename)) {
        qCDebug(lcSerial) << "device does not exist";
        qCDebug(lcSerial) << devicename;
        return -1;
    }
    if (!initializeSerial()) {
        qCDebug(lcSerial) << "Serial port is not open";
        return 0;
    }
    return 1;
}

bool serialhandler::initializeSerial()
{
    // Closing first also lets the same device be opened again: LibSerial
    // opens it for exclusive use.
    serialPort.reset();
    lost = false;
    forgetLine(true);
    portPath = devicename;
    std::string error;
    serialPort = SerialPortSource::open(QFile::encodeName(devicename).toStdString(), &error, &lastOpenFailure);
    lastOpenError = QString::fromStdString(error);
    if (!serialPort)
        qCDebug(lcSerial).noquote() << "Cannot use" << devicename << "as a serial port:" << QString::fromStdString(error);
    return serialPort != nullptr;
}

int serialhandler::reopenLostPort()
{
    if (!QFile::exists(portPath))
        return -1;
    std::string error;
    auto port = SerialPortSource::open(QFile::encodeName(portPath).toStdString(), &error, &lastOpenFailure);
    lastOpenError = QString::fromStdString(error);
    if (!port) {
        qCDebug(lcSerial).noquote() << "Cannot reopen" << portPath << ":" << QString::fromStdString(error);
        return 0;
    }
    serialPort = std::move(port);
    lost = false;
    forgetLine(true);
    return 1;
}

int serialhandler::CloseUsb()
{
    if (!serialPort)
        return -1;
    serialPort.reset();
    lost = false;
    forgetLine(true);
    return 1;
}

void serialhandler::attachByteSource(std::unique_ptr<ByteSource> source)
{
    serialPort = std::move(source);
    lost = false;
    forgetLine(true);
}

LinkStatistics serialhandler::takeStatistics()
{
    return std::exchange(statistics, LinkStatistics());
}

int serialhandler::lookahead() const
{
    // Only a layout that marks where frames begin, and not where they end,
    // needs the beginning of the next frame to know where one ends.
    if (frameLayout.endByte1 != FrameLayout::Off || frameLayout.endByte2 != FrameLayout::Off)
        return 0;
    if (frameLayout.startByte2 != FrameLayout::Off)
        return 2;
    return frameLayout.startByte1 != FrameLayout::Off ? 1 : 0;
}

int serialhandler::context() const
{
    return frameLayout.endByte1 != FrameLayout::Off || frameLayout.endByte2 != FrameLayout::Off ? 2 : 0;
}

void serialhandler::forgetLine(bool atLineStart)
{
    keptBytes = 0;
    keptFrom = 0;
    followOn = -1;
    // The bytes dropped with the line are counted as dropped, not as frames.
    pendingMarkers.clear();
    holding = false;
    lastMarker = -1;
    recentSpacingCount = 0;
    lineBytesBefore = 0;
    lineStart = atLineStart;
    // A line that lost bytes before a break goes on losing them after it.
    if (atLineStart)
        markersSinceLoss = LossMemory;
    std::memset(readBuffer, 0, sizeof readBuffer);
}

void serialhandler::keepTail(int frameEnd, int end)
{
    // Every window that ends before end, less the lookahead, was judged;
    // those that end later begin no earlier than this, nor inside a frame
    // decoded before.
    const int unjudged = std::max(end - (frameLength - 1 + lookahead()), 0);
    const int tail = std::min(std::max({frameEnd, unjudged, keptFrom}), end);
    const int from = std::max(tail - context(), 0);
    const int count = end - from;
    std::memmove(readBuffer, readBuffer + from, static_cast<size_t>(count));
    std::memset(readBuffer + count, 0, sizeof readBuffer - static_cast<size_t>(count));
    keptBytes = count;
    keptFrom = tail - from;
    // Markers before what is kept were counted already.
    countFailedFramesBefore(from);
    lineBytesBefore += from;
    for (int &at : pendingMarkers)
        at -= from;
    const int after = frameEnd >= 0 ? frameEnd : followOn;
    followOn = after >= from ? after - from : -1;
    lineStart = lineStart && from == 0;
}

void serialhandler::dropWaitingBeyond(int count, const char *why)
{
    if (!serialPort)
        return;
    const int waiting = serialPort->waitingCount();
    if (waiting <= count)
        return;
    const int dropped = serialPort->discard(waiting - count);
    if (dropped <= 0)
        return;
    qCDebug(lcSerial).noquote() << "Dropped" << dropped << "waiting bytes" << why;
    statistics.bytesDropped += dropped;
}

bool serialhandler::checkBytesCorrect(int pos)
{
    const int bufferSize = static_cast<int>(sizeof readBuffer);
    if (frameLength < 1 || pos < frameLength - 1 || pos >= bufferSize)
        return false;
    return frameLayout.matches(readBuffer + pos + 1 - frameLength, frameLength);
}

bool serialhandler::endBytesAt(int end) const
{
    if (frameLayout.endByte2 != FrameLayout::Off && (end < 0 || readBuffer[end] != frameLayout.endByte2))
        return false;
    if (frameLayout.endByte1 != FrameLayout::Off && (end < 1 || readBuffer[end - 1] != frameLayout.endByte1))
        return false;
    return true;
}

serialhandler::Placement serialhandler::placementOf(int end)
{
    const int start = end + 1 - frameLength;
    if (start < keptFrom || !checkBytesCorrect(end))
        return Placement::None;
    const bool begins = start == followOn || (start == 0 && lineStart);
    if (context() > 0) {
        if (begins || endBytesAt(start - 1))
            return Placement::Follows;
        // After garbage: trusted only when it holds no end bytes but its own.
        // A frame that lost bytes holds those of the frame before it.
        if (frameEndsInside(start, end))
            return Placement::None;
        // One end byte of the frame before survived: that frame may have lost
        // the other, and this one begin right after it.
        return lostEndByteAt(start - 1) ? Placement::AfterEndByte : Placement::AfterBreak;
    }
    if (lookahead() == 0)
        return Placement::Follows; // without markers frames are consecutive blocks
    // Start bytes only: the next frame begins right after this one, or, after
    // garbage, no other frame begins inside it. A frame that lost bytes
    // holds the start bytes of the frame after it.
    if ((frameLayout.startByte1 == FrameLayout::Off || readBuffer[end + 1] == frameLayout.startByte1)
        && (frameLayout.startByte2 == FrameLayout::Off || readBuffer[end + 2] == frameLayout.startByte2))
        return Placement::Follows;
    if (frameStartsInside(start, end))
        return Placement::None;
    return begins ? Placement::Follows : Placement::AfterBreak;
}

bool serialhandler::lostEndByteAt(int at) const
{
    // With one end byte there is nothing left of a marker that lost it.
    if (at < 0 || frameLayout.endByte1 == FrameLayout::Off || frameLayout.endByte2 == FrameLayout::Off)
        return false;
    return readBuffer[at] == frameLayout.endByte1 || readBuffer[at] == frameLayout.endByte2;
}

bool serialhandler::frameEndsInside(int start, int end) const
{
    // A frame that lost bytes begins with as many of the frame before it,
    // whose end bytes may be damaged too: a lone end byte value among the
    // first few gives it away.
    for (int at = start; at < std::min(start + SuspectBytes, end - 1); ++at) {
        if (readBuffer[at] == frameLayout.endByte1 || readBuffer[at] == frameLayout.endByte2)
            return true;
    }
    // A byte before the buffer is unknown and could be an end byte.
    for (int last = start; last < end; ++last) {
        if (frameLayout.endByte2 != FrameLayout::Off && readBuffer[last] != frameLayout.endByte2)
            continue;
        if (frameLayout.endByte1 != FrameLayout::Off && last >= 1 && readBuffer[last - 1] != frameLayout.endByte1)
            continue;
        return true;
    }
    return false;
}

bool serialhandler::frameStartsInside(int start, int end) const
{
    // A frame that lost bytes ends with as many of the frame after it, whose
    // start bytes may be damaged too.
    for (int at = std::max(end + 1 - SuspectBytes, start + 2); at <= end; ++at) {
        if (readBuffer[at] == frameLayout.startByte1 || readBuffer[at] == frameLayout.startByte2)
            return true;
    }
    // The lookahead bytes after end are in the buffer.
    for (int first = start + 1; first <= end; ++first) {
        if (frameLayout.startByte1 != FrameLayout::Off && readBuffer[first] != frameLayout.startByte1)
            continue;
        if (frameLayout.startByte2 != FrameLayout::Off && readBuffer[first + 1] != frameLayout.startByte2)
            continue;
        return true;
    }
    return false;
}

void serialhandler::noteMarkerAt(int last)
{
    int first = last;
    if (context() > 0) {
        if (!endBytesAt(last))
            return;
        noteMarkerSpacing(last);
        // A frame cut by the start of the line lost nothing after it began.
        if (lineBytesBefore + last < frameLength - 1)
            return;
        first = frameLayout.endByte1 != FrameLayout::Off ? last - 1 : last;
    } else if (frameLayout.startByte1 != FrameLayout::Off || frameLayout.startByte2 != FrameLayout::Off) {
        first = frameLayout.startByte2 != FrameLayout::Off ? last - 1 : last;
        if (first < 0 || (frameLayout.startByte1 != FrameLayout::Off && readBuffer[first] != frameLayout.startByte1)
            || (frameLayout.startByte2 != FrameLayout::Off && readBuffer[first + 1] != frameLayout.startByte2))
            return;
        noteMarkerSpacing(last);
    } else {
        return; // without markers nothing tells where a frame was
    }
    // Markers in a frame decoded before are its own, or its data.
    if (first >= keptFrom && first >= 0)
        pendingMarkers.push_back(last);
}

void serialhandler::noteMarkerSpacing(int last)
{
    const long long at = lineBytesBefore + last;
    const long long spacing = lastMarker >= 0 ? at - lastMarker : 0;
    lastMarker = at;
    if (spacing > 0 && spacing < LinkStatistics::SpacingsCounted)
        ++statistics.markerSpacings[size_t(spacing)];
    if (spacing > 0) {
        recentSpacings[size_t(recentSpacingCount % recentSpacings.size())] = spacing;
        ++recentSpacingCount;
    }
    // Markers closer than a frame's length: bytes were lost between them.
    if (spacing > 0 && spacing < frameLength)
        markersSinceLoss = 0;
    else if (spacing > 0 && markersSinceLoss < LossMemory)
        ++markersSinceLoss;
}

bool serialhandler::lossSeenRecently() const
{
    return markersSinceLoss < LossMemory;
}

bool serialhandler::markersSayOtherLayout() const
{
    if (recentSpacingCount < recentSpacings.size())
        return false;
    // Most of the last markers the same distance apart, and not a frame's.
    for (long long spacing : recentSpacings) {
        if (spacing == frameLength)
            continue;
        const auto same = std::count(recentSpacings.begin(), recentSpacings.end(), spacing);
        if (4 * same >= 3 * long(recentSpacings.size()))
            return true;
    }
    return false;
}

void serialhandler::markersInsideFrame(int start, int end)
{
    pendingMarkers.erase(std::remove_if(pendingMarkers.begin(), pendingMarkers.end(),
                                        [&](int at) { return at >= start && at < end; }),
                         pendingMarkers.end());
}

void serialhandler::countFailedFramesBefore(int index)
{
    const auto counted = std::lower_bound(pendingMarkers.begin(), pendingMarkers.end(), index);
    statistics.framesFailed += counted - pendingMarkers.begin();
    pendingMarkers.erase(pendingMarkers.begin(), counted);
}

void serialhandler::judgeNewByte(int end, QVector<ImuSample> &samples)
{
    noteMarkerAt(end - 1);
    // Each new byte completes at most one window that was not judged yet.
    const int windowEnd = end - 1 - lookahead();
    const Placement placement = placementOf(windowEnd);
    if (placement == Placement::None)
        return;
    const int start = windowEnd + 1 - frameLength;
    const int copied = std::min(frameLength, static_cast<int>(sizeof frameBuffer));
    std::memcpy(frameBuffer, readBuffer + start, static_cast<size_t>(copied));
    frameFound = true;
    followOn = windowEnd + 1;
    // Frames do not overlap: what begins inside this one is not a frame.
    keptFrom = followOn;
    ++statistics.framesFound;
    markersInsideFrame(start, followOn);
    countFailedFramesBefore(start);
    const std::optional<ImuSample> sample = frameLayout.decode(readBuffer + start, frameLength);
    undecodable = undecodable || !sample;
    const bool follows = placement == Placement::Follows;
    if (holding && !follows)
        ++statistics.framesFailed; // the frame held before was not confirmed
    if (markersSayOtherLayout()) {
        // The line is framed by another layout: what matches here are
        // stray bytes that happen to look like markers.
        statistics.framesFailed += holding && follows ? 2 : 1;
        holding = false;
        return;
    }
    if (!follows) {
        holding = false;
        // After garbage on a line that loses bytes the window may be a frame
        // that lost some, topped up with garbage: nothing can confirm where
        // it began.
        if (placement == Placement::AfterBreak && lossSeenRecently()) {
            ++statistics.framesFailed;
            return;
        }
        // Otherwise it may still be the bytes of two frames, or of a wrong
        // layout: it waits for a frame right after it.
        holding = true;
        heldSample = sample;
        return;
    }
    if (holding) {
        holding = false;
        ++statistics.framesConfirmed;
        if (heldSample)
            samples.append(*heldSample);
    }
    ++statistics.framesConfirmed;
    if (sample)
        samples.append(*sample);
}

void serialhandler::readSerial()
{
    frameFound = false;
    undecodable = false;
    // The timer may still tick after Stop, or when switching out of test mode.
    if (!serialPort) {
        qCDebug(lcSerialReads) << "No serial port open, nothing read";
        return;
    }

    // A tick held up for seconds may find more than one read takes; the
    // readouts would otherwise fall further behind at every tick.
    const long long droppedBefore = statistics.bytesDropped;
    dropWaitingBeyond(ReadCap, "to keep up with the line");
    if (statistics.bytesDropped != droppedBefore)
        forgetLine(false); // the kept bytes no longer join what comes next

    // On a real line a read rarely ends at a frame's end: the bytes of the
    // unfinished frame were kept last time and come first now.
    int end = keptBytes;
    QVector<ImuSample> samples;
    const int taken = takeWaitingBytes(end, samples);
    if (taken < 0) {
        // Nothing from a line that went away mid-read is trusted; the
        // readouts stay where the line stopped.
        qCDebug(lcSerial) << "Serial device lost";
        forgetLine(false);
        if (!lost) {
            lost = true;
            emit deviceLost();
        }
        return;
    }
    if (taken >= 1) {
        if (end < frameLength)
            qCDebug(lcSerialReads) << "Too short msg!";
        else if (!checkBytesCorrect(end - 1))
            qCDebug(lcSerialReads) << "Check bytes not correct!";
    }
    if (undecodable)
        qCDebug(lcSerialReads) << "Frame has fewer than 12 data bytes, no sample";

    // A marker that no window still to be judged can hold was a frame lost.
    countFailedFramesBefore(end - (frameLength - 1 + lookahead()));
    // A decoded frame is never judged again: only what follows it is kept.
    keepTail(frameFound ? followOn : -1, end);
    if (samples.isEmpty())
        return;
    statistics.samplesEmitted += samples.size();
    const ImuSample newest = samples.constLast();
    emit SendSamples(samples);
    emit SendData(newest.accX, newest.accY, newest.accZ, newest.gyroX, newest.gyroY, newest.gyroZ);
}

int serialhandler::takeWaitingBytes(int &end, QVector<ImuSample> &samples)
{
    bool gone = false;
    bool timedOut = false;
    int taken = 0;
    // Bytes beyond ReadCap stay waiting in the port for the next call.
    while (taken < ReadCap) {
        const ByteSource::Block block = serialPort->readWaiting(readBuffer + end, ReadCap - taken, ReadTimeoutMs);
        for (int k = 0; k < block.count; ++k)
            judgeNewByte(++end, samples);
        taken += block.count;
        if (block.status != ByteSource::Status::Ok) {
            gone = block.status == ByteSource::Status::DeviceLost;
            timedOut = !gone;
            break;
        }
        if (block.count == 0)
            break;
    }
    statistics.bytesTaken += taken;
    qCDebug(lcSerialReads) << taken;
    if (timedOut)
        qCDebug(lcSerialReads) << "Serial read timed out";
    return gone ? -1 : taken;
}
