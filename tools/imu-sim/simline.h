#ifndef SIMLINE_H
#define SIMLINE_H

#include <QString>

#include <memory>
#include <vector>

class PtyPair;
class SerialLine;

// The serial line the simulator sends its frames on.
class SimLine
{
public:
    virtual ~SimLine() = default;

    // The device to open in the monitor.
    virtual QString devicePath() const = 0;

    // False while the bytes sent before wait unread: a real line carries a
    // frame away whether or not anyone listens, so the caller skips it
    // instead of letting frames pile up.
    virtual bool readerKeepsUp() const = 0;

    // Sends all of bytes. False, with one line in *error, when the line
    // refuses them.
    virtual bool send(const std::vector<unsigned char> &bytes, QString *error) = 0;

    // Gives a reader up to maxMs milliseconds to take what was sent.
    virtual void drain(int maxMs) = 0;

    // Closes the line; the reader sees the device vanish.
    virtual void hangUp() = 0;
};

// A new pseudo-terminal: the monitor opens its slave side.
class PseudoTerminalLine final : public SimLine
{
public:
    // Nothing, with the reason in *error, when no pseudo-terminal can be made.
    static std::unique_ptr<PseudoTerminalLine> create(QString *error);
    ~PseudoTerminalLine() override;

    QString devicePath() const override;
    bool readerKeepsUp() const override;
    bool send(const std::vector<unsigned char> &bytes, QString *error) override;
    void drain(int maxMs) override;
    void hangUp() override;

private:
    explicit PseudoTerminalLine(std::unique_ptr<PtyPair> pty);
    std::unique_ptr<PtyPair> pty;
};

// An existing serial device, opened for writing at 9600 8N1.
class DeviceLine final : public SimLine
{
public:
    // Nothing, with the reason in *error, when the device cannot be opened
    // as a serial port for writing.
    static std::unique_ptr<DeviceLine> open(const QString &path, QString *error);
    ~DeviceLine() override;

    QString devicePath() const override;
    bool readerKeepsUp() const override { return true; }
    bool send(const std::vector<unsigned char> &bytes, QString *error) override;
    void drain(int) override {}
    void hangUp() override;

private:
    DeviceLine(const QString &path, std::unique_ptr<SerialLine> line);
    QString path;
    std::unique_ptr<SerialLine> line;
};

#endif // SIMLINE_H
