#ifndef DATALOGGER_H
#define DATALOGGER_H

#include "logformat.h"
#include "logsync.h"

#include <QDateTime>
#include <QFile>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

// Writes every sample it is given as one comma-separated line and begins a
// new time-stamped file after a set number of lines. Every line reaches the
// operating system before Log() returns, so a killed program loses nothing.
// Within syncDelayMs of a line, and before a file is closed, the file's
// lines are synced to the disk off the GUI thread, and a new file's folder
// when the file is made: a power cut loses at most about a second of lines.
//
// When a file cannot be begun or written, or disappears from its path, the
// logger reports it once, drops the samples that follow, and tries a new file
// at the first sample a second or more after the last attempt. The report of
// the new file is followed by "Logging resumed: <path>" and the number of
// samples that were dropped.
class Datalogger : public QObject
{
    Q_OBJECT

public:
    explicit Datalogger(QObject *parent = nullptr);
    ~Datalogger() override;

    // Replaces the local time used in file names; the pacing of retries and of
    // file checks then follows the same clock. An empty function restores the
    // system clock for names and a monotonic clock for pacing. Meant for tests
    // that need to predict names or pass seconds without waiting.
    void setClock(std::function<QDateTime()> source);

    // Data lines written since construction, in every file.
    qint64 linesWritten() const { return totalLines; }
    // True from a failed create or write until a line reaches a file again.
    bool isFailing() const { return failing; }
    // While failing: "<path>: <reason>" of the latest attempt; empty otherwise.
    QString failureDescription() const { return failureText; }

    // The longest a written line waits for its sync, in milliseconds.
    static constexpr int syncDelayMs = 900;
    // The syncs to the disk; tests count them through its setSyncCall().
    LogSync &syncer() { return sync; }

signals:
    // One line of text for the user:
    //   "New file created: <path>"                    a file was begun
    //   "File could not be created! <path>: <reason>"  first failure of a run
    //   "Log file could not be written! <path>: <reason>"
    //                                                  first failure of a run
    //   "Logging resumed: <path>"                      first line after a run
    //   "<n> samples were not logged"                  right after resuming
    // Failed retries within a run of failures go only to the debug output.
    void NewFileCreated(const QString &message);

public slots:
    // Directory for the files begun from now on; the file being written is
    // kept. An empty text means the working directory. While logging fails,
    // the next Log() tries this directory at once, without waiting a second.
    void ReceiveFilename(const QString &filename);

    // Begins the file named after the clock's time in the directory (see
    // logformat.h) and writes its header. The file is always a new one: when
    // that name is taken (a file begun earlier in the same second, by this
    // run or another), the next number of that second is tried. Closes the previous
    // file; the next line has the index 0. Reports the new file, or the
    // failure if it is the first of a run; a file that this call created but
    // could not write the header into is removed again.
    void CreateFile();

    // Writes "<index>,acc_x,acc_y,acc_z,gyro_x,gyro_y,gyro_z\n", beginning a
    // file first if none is being written. The index counts the data lines in
    // the current file from 0; a sample that no file took is not counted in
    // it but among the samples not logged. After the line the file rolls over
    // if it now holds the configured number of lines; the next call begins the
    // next file. At most once a second the open file is compared with the file
    // at its path; one that was deleted, moved or replaced counts as a failed
    // write, and when it was deleted the lines since the last comparison count
    // as not logged too. In a file with the time column, the time is the
    // clock's now.
    void Log(int acc_x, int acc_y, int acc_z, int gyro_x, int gyro_y, int gyro_z);

    // As Log(), for a sample that arrived at arrivedMs (milliseconds since
    // 1970 UTC). In a file with the time column the line ends with that
    // time, or with the time of the line before when it is earlier: times
    // never go backwards within a file.
    void logSample(const ImuSample &sample, qint64 arrivedMs);

    // Whether the files begun from now on have the time column; a file
    // never changes its columns in the middle. Off at construction.
    void setTimeColumn(bool on);

    // Data lines per file, effective for the file being written. 0 (or less)
    // means that files never roll over.
    void ReceiveNewfileIndex(int newfileIndex_);

    // Syncs the lines written since the last sync now, without waiting for
    // the disk: when acquiring stops, a power cut soon after loses nothing.
    void syncNow();

private:
    enum class Failure { Create, Write };

    // arrivedMs NoTime: the sample arrived now.
    void write(const std::array<int, 6> &values, qint64 arrivedMs);

    // Writes one whole line with a single write. On a failed or short write
    // removes any partial line and returns false with the reason.
    bool writeLine(const QByteArray &line, QString *reason);

    // Compares the open file with the file at its path and fails the file if
    // they differ.
    void checkFileInPlace();
    // Why the open file is no longer the one at its path; empty if it is.
    QString lostFileReason(bool *deleted) const;

    // Ends writing to the current file and begins or continues a run of
    // failures, which only its first failure reports.
    void fail(Failure failure, const QString &path, const QString &reason);
    // Ends a run of failures with the first line written after it.
    void reportResumed();
    // A line reached the file: it is synced within syncDelayMs.
    void lineWritten();
    // A sync found the disk failing: the lines may not survive a power cut.
    void syncFailed(const QString &path, const QString &reason);

    // Milliseconds on the pacing clock.
    qint64 now() const;
    bool secondPassed(qint64 since) const;

    QFile logFile;
    QString logDirectory;
    bool fileCreated = false; // a file is open and takes lines
    int lineCount = 0;
    qint64 totalLines = 0;
    int newfileIndex = LogFormat::defaultLinesPerFile;

    // The folder of the current file, and the path of the first file of
    // the last file's second and that file's number: a new file may share
    // the second.
    QString fileFolder;
    QString lastFirstOfSecond;
    int lastNumber = 0;

    bool failing = false;
    QString failureText;
    qint64 notLogged = 0;
    qint64 lastAttempt = 0;
    qint64 lastCheck = 0;
    int linesSinceCheck = 0;

    std::function<QDateTime()> clock;
    std::function<qint64()> ticks;

    // The time column: asked for the next file; in the current one; the
    // time of the current file's last line.
    bool timeColumnWanted = false;
    bool timeColumn = false;
    qint64 lastArrival = LogFormat::NoTime;

    LogSync sync;
    // Runs from the first line after a sync until the next sync.
    QTimer syncTimer;
    bool unsynced = false;
};

#endif // DATALOGGER_H
