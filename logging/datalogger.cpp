#include "datalogger.h"

#include <QByteArray>
#include <QDir>

#include <utility>

namespace {

const char header[] = "indeksi,x-akseli1,y-akseli1,z-akseli1,x-akseli2,y-akseli2,z-akseli2\n";

} // namespace

Datalogger::Datalogger(QObject *parent)
    : QObject(parent)
    , clock(&QDateTime::currentDateTime)
{
}

Datalogger::~Datalogger() = default;

void Datalogger::setClock(std::function<QDateTime()> source)
{
    clock = source ? std::move(source) : std::function<QDateTime()>(&QDateTime::currentDateTime);
}

void Datalogger::ReceiveFilename(const QString &filename)
{
    logDirectory = filename;

    // Without an open file every line is being dropped; a corrected directory
    // should end that now rather than after a whole file's worth of samples.
    if (fileCreated && !logFile.isOpen()) {
        fileCreated = false;
        lineCount = 0;
    }
}

void Datalogger::CreateFile()
{
    // An empty directory would otherwise put the file in the root directory.
    const QString directory = logDirectory.isEmpty() ? QStringLiteral(".") : logDirectory;
    const QString path = QDir::toNativeSeparators(directory) + QStringLiteral("//")
            + clock().toString(QStringLiteral("dd.MM, h.mm.ss")) + QStringLiteral(".txt");

    logFile.close();
    logFile.setFileName(path);
    writeFailureReported = false;

    // Unbuffered: each line goes to the operating system in one write, so a
    // killed program leaves only whole lines behind.
    if (!logFile.open(QIODevice::Append | QIODevice::Text | QIODevice::Unbuffered)) {
        // The name may exist and still not be writable (a directory, a file
        // without write permission), so the open result decides, not existence.
        qDebug("Datalogger: cannot open %s: %s", qPrintable(path),
               qPrintable(logFile.errorString()));
        emit NewFileCreated(QStringLiteral("File could not be created!"));
        return;
    }
    emit NewFileCreated(QStringLiteral("New file created: ") + path);
}

void Datalogger::Log(int acc_x, int acc_y, int acc_z, int gyro_x, int gyro_y, int gyro_z)
{
    if (!fileCreated) {
        CreateFile();
        fileCreated = true;
        // A second file begun within the same second continues the first one;
        // a header in the middle would break the file for CSV readers.
        if (logFile.isOpen() && logFile.size() == 0)
            writeLine(QByteArray(header));
    }

    QByteArray line;
    line.reserve(64);
    line += QByteArray::number(lineCount);
    for (int value : {acc_x, acc_y, acc_z, gyro_x, gyro_y, gyro_z}) {
        line += ',';
        line += QByteArray::number(value);
    }
    line += '\n';
    if (logFile.isOpen())
        writeLine(line);

    ++lineCount;
    // At or past the limit rather than exactly at it, so that lowering the
    // limit below the lines already written still ends the file.
    if (newfileIndex > 0 && lineCount >= newfileIndex) {
        fileCreated = false;
        lineCount = 0;
    }
}

void Datalogger::ReceiveNewfileIndex(int newfileIndex_)
{
    newfileIndex = newfileIndex_;
}

void Datalogger::writeLine(const QByteArray &line)
{
    const qint64 written = logFile.write(line);
    if (written == line.size() && logFile.flush())
        return;

    // A line cut short by a full disk or a size limit would corrupt the file
    // for every reader; take it back so the file keeps only whole lines.
    if (written > 0 && written < line.size())
        logFile.resize(logFile.size() - written);

    if (!writeFailureReported) {
        writeFailureReported = true;
        const QString reason = written < 0 || logFile.error() != QFileDevice::NoError
                ? logFile.errorString()
                : QStringLiteral("only %1 of %2 bytes written").arg(written).arg(line.size());
        qDebug("Datalogger: cannot write to %s: %s", qPrintable(logFile.fileName()),
               qPrintable(reason));
        emit NewFileCreated(QStringLiteral("Log file could not be written!"));
    }
}
