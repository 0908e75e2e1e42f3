#ifndef DATALOGGER_H
#define DATALOGGER_H

#include <QDateTime>
#include <QFile>
#include <QObject>
#include <QString>

#include <functional>

// Writes every sample it is given as one comma-separated line and begins a
// new time-stamped file after a set number of lines. Every line reaches the
// operating system before Log() returns, so a killed program loses nothing.
class Datalogger : public QObject
{
    Q_OBJECT

public:
    explicit Datalogger(QObject *parent = nullptr);
    ~Datalogger() override;

    // Replaces the source of the local time used in file names; an empty
    // function restores the system clock. Meant for tests that need to
    // predict names or begin two files within one second.
    void setClock(std::function<QDateTime()> source);

signals:
    // One line of text for the user: "New file created: <path>",
    // "File could not be created!" or "Log file could not be written!".
    void NewFileCreated(const QString &message);

public slots:
    // Directory for the files begun from now on; the file being written is
    // kept. An empty text means the working directory. If the current file
    // could not be created, the next Log() begins a file in this directory.
    void ReceiveFilename(const QString &filename);

    // Begins the file "<directory>//dd.MM, h.mm.ss.txt" stamped with the
    // clock's time, appending to a file of that name if one exists, and
    // reports it through NewFileCreated. Closes the previous file.
    void CreateFile();

    // Writes "<index>,acc_x,acc_y,acc_z,gyro_x,gyro_y,gyro_z\n", beginning a
    // file first if none is being written. The index counts the data lines of
    // the current file from 0. After the line the file rolls over if it now
    // holds the configured number of lines; the next call begins the next file.
    void Log(int acc_x, int acc_y, int acc_z, int gyro_x, int gyro_y, int gyro_z);

    // Data lines per file, effective for the file being written. 0 (or less)
    // means that files never roll over.
    void ReceiveNewfileIndex(int newfileIndex_);

private:
    // Writes one whole line with a single write; on a failed or short write
    // removes any partial line and reports the failure once per file.
    void writeLine(const QByteArray &line);

    QFile logFile;
    QString logDirectory;
    bool fileCreated = false;
    int lineCount = 0;
    int newfileIndex = 50000;

    bool writeFailureReported = false;
    std::function<QDateTime()> clock;
};

#endif // DATALOGGER_H
