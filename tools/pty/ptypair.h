#ifndef PTYPAIR_H
#define PTYPAIR_H

#include <QByteArray>
#include <QString>

// A pseudo-terminal pair that stands in for a USB serial adapter: the program
// under test opens slavePath() as its serial device, the test plays the
// sensor by writing to the master side. The line is raw, so every byte value
// 0-255 arrives unchanged.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();

    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    // False when the pair could not be made; errorString() says why.
    bool isValid() const;
    QString errorString() const;

    // Path of the slave side, e.g. "/dev/pts/3".
    QString slavePath() const;

    // Writes all of bytes to the master side; false on failure or after
    // closeMaster().
    bool write(const QByteArray &bytes);

    // Bytes written to the master that wait, unread, at the slave side;
    // -1 once the line has hung up. Writes arrive at the slave a moment
    // later, so wait for this (QTRY_COMPARE) before reading.
    int bytesWaiting() const;

    // What the slave side has sent so far and the master not yet read, taken
    // without waiting; empty when nothing has come.
    QByteArray readFromMaster();

    // Closes the master side: the slave hangs up like an unplugged adapter.
    void closeMaster();

private:
    int master = -1;
    // Kept open so bytesWaiting() can look at the slave's input queue while
    // the program under test holds the device.
    int observer = -1;
    QString slave;
    QString error;
};

#endif // PTYPAIR_H
