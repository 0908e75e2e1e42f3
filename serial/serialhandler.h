#ifndef SERIALHANDLER_H
#define SERIALHANDLER_H

#include "bytesource.h"
#include "framelayout.h"
#include "linkstatistics.h"
#include "serialline.h"

#include <QObject>
#include <QString>
#include <QVector>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// Reads message frames from the sensor's serial line and emits the sample of
// every frame, each read's samples together. Everything is reported through
// return codes and qDebug lines; no exception ever leaves this class.
class serialhandler : public QObject
{
    Q_OBJECT

public:
    explicit serialhandler(QObject *parent = nullptr);
    ~serialhandler() override;

    // Opens the device named by receiveDevicename() ("/dev/ttyUSB0" until
    // then) at 9600 baud 8N1 without flow control, replacing (and closing)
    // any port opened before. Returns 1 when the port is open, -1 when no
    // file exists at the path, 0 when the file exists but could not be
    // opened as a serial port (openFailure() then says why). The argument is
    // ignored.
    int OpenUsb(int);

    // Closes the current port. Returns 1 when a port was open (also one whose
    // device has gone away), -1 when none was.
    int CloseUsb();

    // Makes a new port for the device path and opens it; true when open.
    // A port opened before is closed first, also when the new one fails.
    bool initializeSerial();

    // Why the last open that returned 0 failed.
    OpenFailure openFailure() const { return lastOpenFailure; }
    // The system's words for it.
    QString openFailureReason() const { return lastOpenError; }

    // True from the read that found the open device gone until the next
    // open or close.
    bool deviceIsLost() const { return lost; }

    // True while a port is in place, also one whose device was lost.
    bool portIsOpen() const { return serialPort != nullptr; }

    // The path the current (or lost) port was opened on; empty before.
    QString openedPath() const { return portPath; }

    // After a loss, tries to open the same path again; a device that is
    // still missing costs a stat only. Returns as OpenUsb() does; on 0 or
    // -1 the lost port stays in place, so that Stop still closes it.
    int reopenLostPort();

    // The layout frames are read by.
    const FrameLayout &currentLayout() const { return frameLayout; }

    // The counts since the last call, which starts them again.
    LinkStatistics takeStatistics();

    // True when the frameLength bytes of readBuffer that end at index pos
    // form a valid frame (every switched-on start and end byte matches).
    // False for any pos at which no whole window lies inside the buffer.
    // During a read the buffer holds the kept bytes of the read before,
    // then the bytes taken from the port.
    bool checkBytesCorrect(int pos);

    // Reads from source from now on, as if a port had been opened on it;
    // the previous port is closed. Lets a harness drive readSerial() over
    // bytes held in memory. A null source leaves no port open.
    void attachByteSource(std::unique_ptr<ByteSource> source);

    // Bytes one read takes from the port at most: 4.3 s of the line, more
    // than the longest read interval and a tick held up by a modal dialog.
    static constexpr int ReadCap = 4096;
    // Bytes carried to the next read at most: an unfinished frame of the
    // longest layout (99 data bytes and four markers) less one byte, and the
    // two bytes before it or after it that decide whether it is a frame.
    static constexpr int MaxKeptBytes = 104;

signals:
    // The sample of every frame that one read decoded, oldest first; emitted
    // once per read that decoded any, before SendData().
    void SendSamples(const QVector<ImuSample> &samples);

    // The newest sample of a read: acceleration X, Y, Z, then gyroscope X, Y,
    // Z, in sensor units. Once per read that decoded any frame.
    void SendData(int16_t a0, int16_t a1, int16_t a2, int16_t g0, int16_t g1, int16_t g2);

    // The open device went away (an adapter unplugged); once per loss.
    void deviceLost();

public slots:
    // Takes the frame layout from the five-entry option record {data byte
    // count, start byte 1, start byte 2, end byte 1, end byte 2}, -1 meaning
    // switched off. The record is copied; the pointer is not kept. A layout
    // other than the current one drops the bytes of the old one: those kept
    // from the last read and those waiting at the port.
    void updateOptions(int *optionFrame);

    // Device path for the next OpenUsb(); an open port stays on its device.
    void receiveDevicename(QString devicename_);

    // Takes the waiting bytes, finds every frame among them and emits their
    // samples: all of them, in line order, through SendSamples(), then the
    // newest through SendData(). Only when more bytes wait than one read
    // takes (ReadCap) are the oldest dropped, so that the readouts stay at
    // most one read behind the line.
    //
    // A frame is a window whose markers match and that sits where a frame
    // can: with end bytes, right after the end bytes of a frame before it;
    // with start bytes only, right before the start bytes of the next frame,
    // so it is decoded a frame later. Such a frame goes out at once. A window
    // after a break (other bytes such as garbage, bytes dropped) counts only
    // when nothing in it may belong to a marker of another frame, and only
    // once the next frame follows it directly. On a line whose markers show
    // it losing bytes, it counts only after one end byte of a frame whose
    // other one was lost: after garbage it may be a frame that lost bytes,
    // topped up with garbage. Nothing counts while the
    // markers recur steadily at a distance other than a frame's length.
    // Frames never overlap: a window that begins inside a frame decoded
    // before is not looked at.
    //
    // The bytes after the newest frame are kept and stand in front of the
    // next call's bytes, so that a frame split between two reads is found; a
    // frame that was decoded is never looked at again. Writes the count of
    // bytes taken from the port, and any diagnostics, to qDebug.
    void readSerial();

private:
    // Takes the layout frames are read by from now on.
    void applyLayout(const FrameLayout &layout);

    // Bytes after a window that must be read before it can be judged, and
    // bytes before the kept ones that are kept to judge the next window.
    int lookahead() const;
    int context() const;
    // Where the window ending at index end stands: no frame; a frame that
    // follows the one before it (see readSerial()); a frame after a lone end
    // byte, or after a break, which the next frame must confirm.
    enum class Placement { None, Follows, AfterEndByte, AfterBreak };
    Placement placementOf(int end);
    // True when the byte at index at is one end byte of a frame whose other
    // end byte was lost.
    bool lostEndByteAt(int at) const;
    // True when a frame of the layout ends at index end: its end bytes match.
    bool endBytesAt(int end) const;
    // True when the window from start to end may hold the end of another
    // frame: end bytes that could end before end, or an end byte value in
    // its first four bytes.
    bool frameEndsInside(int start, int end) const;
    // True when the window from start to end may hold the beginning of
    // another frame: start bytes after start, or a start byte value in its
    // last four bytes.
    bool frameStartsInside(int start, int end) const;

    // Forgets every byte of the line read so far. atLineStart: the next byte
    // is the first of the line (it was just opened).
    void forgetLine(bool atLineStart);
    // Keeps what follows the newest frame (frameEnd, -1 for none) up to end,
    // with the bytes needed to judge it, at the front of the buffer.
    void keepTail(int frameEnd, int end);
    // Drops what waits at the port beyond count bytes, oldest first.
    void dropWaitingBeyond(int count, const char *why);

    // Takes what waits at the port, up to ReadCap bytes, into readBuffer
    // from index end on, judging each byte; end moves past them. Returns the
    // count taken, or -1 when the device went away.
    int takeWaitingBytes(int &end, QVector<ImuSample> &samples);

    // Judges the window that the byte just stored at index end - 1 completes
    // and decodes it into samples when it is a frame.
    void judgeNewByte(int end, QVector<ImuSample> &samples);

    // A frame's own marker (end bytes, or with start bytes only its start
    // bytes) found outside the frames decoded so far: where a frame was that
    // failed the check. Each is counted as a failed frame unless a frame
    // decoded later turns out to hold it.
    void noteMarkerAt(int last);
    void markersInsideFrame(int start, int end);
    // Counts the distance from the marker before, for the layout check.
    void noteMarkerSpacing(int last);
    // True when the last markers recur steadily at a distance other than
    // the frame length: the line carries frames of another layout.
    bool markersSayOtherLayout() const;
    // True when markers came closer together than a frame's length within
    // the last LossMemory markers: the line is losing bytes.
    bool lossSeenRecently() const;
    void countFailedFramesBefore(int index);

    std::unique_ptr<ByteSource> serialPort;
    unsigned char readBuffer[ReadCap + MaxKeptBytes];
    unsigned char frameBuffer[20];
    bool frameFound = false;
    FrameLayout frameLayout;
    int frameLength = 0; // frameLayout.frameLength(), asked for at every byte
    QString devicename;

    // The line between reads: readBuffer holds keptBytes bytes; windows that
    // begin before keptFrom were judged already. followOn is where a window
    // right after the last frame begins, -1 when that frame is gone;
    // lineStart says index 0 is the first byte since the port opened.
    int keptBytes = 0;
    int keptFrom = 0;
    // Indexes in readBuffer of the markers not yet counted, oldest first.
    std::vector<int> pendingMarkers;
    // Bytes of the line that were before readBuffer's first one.
    long long lineBytesBefore = 0;
    // Where in the line the last marker ended, -1 for none, and the
    // distances between the last markers.
    long long lastMarker = -1;
    std::array<long long, 8> recentSpacings{};
    size_t recentSpacingCount = 0;
    static constexpr int LossMemory = 64;
    int markersSinceLoss = LossMemory;
    // A frame found after a break, waiting for the next frame to follow it
    // directly; its sample, if the layout carries one.
    bool holding = false;
    std::optional<ImuSample> heldSample;
    // A frame of this read had too few data bytes for a sample.
    bool undecodable = false;
    int followOn = -1;
    bool lineStart = true;

    QString portPath;
    bool lost = false;
    OpenFailure lastOpenFailure = OpenFailure::None;
    QString lastOpenError;
    LinkStatistics statistics;
};

#endif // SERIALHANDLER_H
