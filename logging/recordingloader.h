#ifndef RECORDINGLOADER_H
#define RECORDINGLOADER_H

#include "recording.h"

#include <QFutureWatcher>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <memory>

// Reads a series of log files into a Recording off the calling thread, so
// that the GUI thread goes on reading the line, logging and drawing: the
// files are listed, cut into pieces of at most pieceBytes, and the pieces
// read side by side on Qt's global thread pool, a few at a time ahead of
// the one whose samples are added next, in the series' order. The caller
// never waits: cancel() returns at once, and the reading stops after the
// pieces under way, giving its memory back.
class RecordingLoader : public QObject
{
    Q_OBJECT

public:
    // Large enough that the work per piece dwarfs handing it over, small
    // enough that even a single long file is read on every core.
    static constexpr qint64 pieceBytes = qint64(4) << 20;

    explicit RecordingLoader(QObject *parent = nullptr);
    // Cancels a load under way; it ends on its own.
    ~RecordingLoader() override;

    // Begins reading the files and folders at paths; a load under way is
    // cancelled first.
    void start(const QStringList &paths);
    // Stops the load under way; finished() follows, with nothing read.
    void cancel();
    bool loading() const { return job != nullptr; }

    // What was read, once finished() has come: empty after a cancel.
    Recording takeRecording();

signals:
    // Bytes of the files read so far and in all, now and then while reading.
    void progress(qint64 done, qint64 total);
    // The load ended: read, or cancelled.
    void finished();

private:
    struct Job;
    void end();
    void tellProgress();
    void letGoOfWatcher();

    std::shared_ptr<Job> job;
    // One for each load, let go with it: a load cancelled and followed by
    // another can still tell that it finished.
    QFutureWatcher<void> *watcher = nullptr;
    QTimer progressTimer;
    Recording read;
};

#endif // RECORDINGLOADER_H
