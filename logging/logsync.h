#ifndef LOGSYNC_H
#define LOGSYNC_H

#include <QObject>
#include <QString>
#include <QThreadPool>

#include <functional>

// Makes what was written to the log durable, off the GUI thread: a data
// sync of a file (its lines on the disk, not only in the kernel's cache),
// or a sync of a folder (a new file's name in it). A power cut or a kernel
// crash then loses only what was written since the last sync. The jobs run
// one at a time in the order asked; the caller never waits for a disk.
class LogSync : public QObject
{
    Q_OBJECT

public:
    // What a job does to a descriptor: fdatasync() for a file, fsync() for a
    // folder. Returns 0, or the errno value of the failure.
    enum class Target { File, Folder };
    using SyncCall = std::function<int(int fd, Target target)>;

    explicit LogSync(QObject *parent = nullptr);
    // Waits for the jobs asked for: their lines reach the disk before the
    // program ends.
    ~LogSync() override;

    // Syncs the lines written to fd so far, for the file at path. fd is
    // duplicated at once, so the caller may close it right after.
    void syncFile(int fd, const QString &path);
    // Syncs the folder at path, so that the files just made in it keep
    // their names after a power cut.
    void syncFolder(const QString &path);
    // Waits until every job asked for so far is done.
    void waitForDone();

    // Replaces fdatasync()/fsync(), which every job calls on its own thread.
    // For tests that count the syncs.
    void setSyncCall(SyncCall call);

signals:
    // A sync failed (an I/O error of the disk, a full disk): what was
    // written to path may not survive a power cut. Emitted on the thread
    // that owns this object.
    void syncFailed(const QString &path, const QString &reason);

private:
    void run(int fd, Target target, const QString &path);

    QThreadPool worker;
    SyncCall syncCall;
};

#endif // LOGSYNC_H
