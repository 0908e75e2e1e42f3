#include "simline.h"

#include "ptypair.h"
#include "serialline.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

namespace {
// A pseudo-terminal holds about 4 KiB for its reader; frames stop well short
// of that, so a write never blocks on a reader that went away.
constexpr int MaxUnreadBytes = 2048;
}

std::unique_ptr<PseudoTerminalLine> PseudoTerminalLine::create(QString *error)
{
    auto pty = std::make_unique<PtyPair>();
    if (!pty->isValid()) {
        *error = pty->errorString();
        return nullptr;
    }
    return std::unique_ptr<PseudoTerminalLine>(new PseudoTerminalLine(std::move(pty)));
}

PseudoTerminalLine::PseudoTerminalLine(std::unique_ptr<PtyPair> pty)
    : pty(std::move(pty))
{
}

PseudoTerminalLine::~PseudoTerminalLine() = default;

QString PseudoTerminalLine::devicePath() const
{
    return pty->slavePath();
}

bool PseudoTerminalLine::readerKeepsUp() const
{
    const int waiting = pty->bytesWaiting();
    return waiting >= 0 && waiting < MaxUnreadBytes;
}

bool PseudoTerminalLine::send(const std::vector<unsigned char> &bytes, QString *error)
{
    const QByteArray data(reinterpret_cast<const char *>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    if (pty->write(data))
        return true;
    *error = QStringLiteral("writing to %1 failed").arg(pty->slavePath());
    return false;
}

void PseudoTerminalLine::drain(int maxMs)
{
    // Bytes just written reach the reader's queue a moment later, so an
    // empty queue counts only once it has stayed empty for a while.
    QElapsedTimer waited;
    waited.start();
    int emptyChecks = 0;
    while (emptyChecks < 5 && waited.elapsed() < maxMs) {
        QThread::msleep(20);
        emptyChecks = pty->bytesWaiting() > 0 ? 0 : emptyChecks + 1;
    }
}

void PseudoTerminalLine::hangUp()
{
    pty->closeMaster();
}

std::unique_ptr<DeviceLine> DeviceLine::open(const QString &path, QString *error)
{
    std::string reason;
    auto line = SerialLine::open(QFile::encodeName(path).toStdString(), SerialLine::Direction::Write, &reason);
    if (!line) {
        *error = QStringLiteral("cannot open %1 as a serial port: %2").arg(path, QString::fromStdString(reason));
        return nullptr;
    }
    return std::unique_ptr<DeviceLine>(new DeviceLine(path, std::move(line)));
}

DeviceLine::DeviceLine(const QString &path, std::unique_ptr<SerialLine> line)
    : path(path)
    , line(std::move(line))
{
}

DeviceLine::~DeviceLine() = default;

QString DeviceLine::devicePath() const
{
    return path;
}

bool DeviceLine::send(const std::vector<unsigned char> &bytes, QString *error)
{
    std::string reason;
    if (line && line->write(bytes, &reason))
        return true;
    *error = QStringLiteral("writing to %1 failed: %2")
                 .arg(path, line ? QString::fromStdString(reason) : QStringLiteral("the line is closed"));
    return false;
}

void DeviceLine::hangUp()
{
    line.reset();
}
