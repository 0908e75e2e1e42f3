#ifndef SERIALHANDLER_H
#define SERIALHANDLER_H

#include "bytesource.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>

struct FrameLayout;

// Reads message frames from the sensor's serial line and emits one sample per
// read. Everything is reported through return codes and qDebug lines; no
// exception ever leaves this class.
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
    // opened as a serial port. The argument is ignored.
    int OpenUsb(int);

    // Closes the current port. Returns 1 when a port was open (also one whose
    // device has gone away), -1 when none was.
    int CloseUsb();

    // Makes a new port for the device path and opens it; true when open.
    // A port opened before is closed first, also when the new one fails.
    bool initializeSerial();

    // True when the frameLength bytes of readBuffer that end at index pos
    // form a valid frame (every switched-on start and end byte matches).
    // False for any pos at which no whole window lies inside the buffer.
    // During a read the buffer holds the kept bytes of the read before,
    // then the bytes taken from the port.
    bool checkBytesCorrect(int pos);

    // Bytes one read takes from the port at most.
    static constexpr int ReadCap = 256;
    // Bytes of an unfinished frame carried to the next read at most: one
    // less than the longest frame (99 data bytes and four markers).
    static constexpr int MaxKeptBytes = 102;

    // Reads from source from now on, as if a port had been opened on it;
    // the previous port is closed. Lets a harness drive readSerial() over
    // bytes held in memory. A null source leaves no port open.
    void attachByteSource(std::unique_ptr<ByteSource> source);

signals:
    // One sample: acceleration X, Y, Z, then gyroscope X, Y, Z, in sensor units.
    void SendData(int16_t a0, int16_t a1, int16_t a2, int16_t g0, int16_t g1, int16_t g2);

public slots:
    // Takes the frame layout from the five-entry option record {data byte
    // count, start byte 1, start byte 2, end byte 1, end byte 2}, -1 meaning
    // switched off. The record is copied; the pointer is not kept.
    void updateOptions(int *optionFrame);

    // Device path for the next OpenUsb(); an open port stays on its device.
    void receiveDevicename(QString devicename_);

    // Takes the waiting bytes (at most ReadCap; the rest wait for the next
    // call), finds the most recent valid frame among them and emits its
    // sample once. The bytes after that frame, at most frameLength - 1 of
    // them, are kept and stand in front of the next call's bytes, so that a
    // frame split between two reads is still found; a frame that was decoded
    // is never looked at again. Writes the count of bytes taken from the
    // port, and any diagnostics, to qDebug.
    void readSerial();

private:
    FrameLayout layout() const;
    // Copies a layout into the members the parser reads.
    void applyLayout(const FrameLayout &layout);
    // Forgets the bytes kept from the read before and clears the buffer.
    void dropKeptBytes();
    // Keeps the bytes of readBuffer from index from up to end (exclusive),
    // at most the newest frameLength - 1 of them, at the front of the
    // buffer, and clears the rest.
    void keepTail(int from, int end);

    std::unique_ptr<ByteSource> serialPort;
    unsigned char readBuffer[ReadCap + MaxKeptBytes];
    int keptBytes = 0; // at the front of readBuffer between reads
    unsigned char frameBuffer[20];
    bool frameFound = false;
    int dataByteCount;
    int startByte1;
    int startByte2;
    int endByte1;
    int endByte2;
    int frameLength;
    QString devicename;
};

#endif // SERIALHANDLER_H
