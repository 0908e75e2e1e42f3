#ifndef SERIALHANDLER_H
#define SERIALHANDLER_H

#include "bytesource.h"
#include "framelayout.h"
#include "frameparser.h"
#include "imusample.h"
#include "linkstatistics.h"
#include "serialline.h"

#include <QObject>
#include <QString>
#include <QVector>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

// The sensor's serial line: opens and closes the port, notices a device that
// went away and opens the same path again, and on every read hands the
// waiting bytes to a FrameParser and emits the samples it found, each
// read's together. Everything is reported through return codes and qDebug
// lines; no exception ever leaves this class.
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
    const FrameLayout &currentLayout() const { return parser.layout(); }

    // The counts since the last call, which starts them again.
    LinkStatistics takeStatistics();

    // Reads from source from now on, as if a port had been opened on it;
    // the previous port is closed. Lets a harness drive readSerial() over
    // bytes held in memory. A null source leaves no port open.
    void attachByteSource(std::unique_ptr<ByteSource> source);

    // Bytes one read takes from the port at most: 4.3 s of the line, more
    // than the longest read interval and a tick held up by a modal dialog.
    static constexpr int ReadCap = 4096;

signals:
    // The sample of every frame that one read decoded, oldest first; emitted
    // once per read that decoded any, before SendData(). arrivals holds, for
    // each, when its frame's last byte reached the computer, in milliseconds
    // since 1970 UTC: the read takes every waiting byte, so the newest has
    // just come, and a frame that B bytes followed came B bytes' time at the
    // line rate before the read.
    void SendSamples(const QVector<ImuSample> &samples, const QVector<qint64> &arrivals);

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

    // Takes the waiting bytes (up to ReadCap) and emits the samples of the
    // frames they complete (see FrameParser): all of them, in line order,
    // through SendSamples(), then the newest through SendData(). Only when
    // more bytes wait than one read takes are the oldest dropped, so that
    // the readouts stay at most one read behind the line. Writes the count
    // of bytes taken from the port, and any diagnostics, to qDebug.
    void readSerial();

private:
    // Drops what waits at the port beyond count bytes, oldest first; true
    // when any went.
    bool dropWaitingBeyond(int count, const char *why);
    // Takes what waits at the port, up to ReadCap bytes, into readBuffer.
    // Returns the count taken, or -1 when the device went away.
    int takeWaitingBytes();
    // Opens path as the port; on failure nothing, and the reason kept.
    std::unique_ptr<ByteSource> openPort(const QString &path);
    void reportRead(int taken, const FrameParser::Result &read) const;
    // readAt: when the read of taken bytes was made, in milliseconds since
    // 1970 UTC.
    void emitSamples(const std::vector<FrameParser::Frame> &frames, int taken, qint64 readAt);

    std::unique_ptr<ByteSource> serialPort;
    // The bytes of the current read, as the port handed them over.
    std::array<unsigned char, ReadCap> readBuffer{};
    FrameParser parser;
    QString devicename;

    QString portPath;
    bool lost = false;
    OpenFailure lastOpenFailure = OpenFailure::None;
    QString lastOpenError;
    // The port's share of the link statistics; the parser counts frames.
    long long bytesTaken = 0;
    long long bytesDropped = 0;
};

#endif // SERIALHANDLER_H
