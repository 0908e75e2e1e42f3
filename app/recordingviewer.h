#ifndef RECORDINGVIEWER_H
#define RECORDINGVIEWER_H

#include "recordingloader.h"

#include <QMainWindow>
#include <QStringList>

#include <memory>

class RecordingPlots;
class Ui_RecordingViewer;

// A window that shows a recording: the log files and folders it is given,
// read off the GUI thread with a progress bar and Cancel, then drawn whole
// on the acceleration and gyroscope plots against clock time. A status line
// tells the files, samples and time span read and what was skipped (the
// first few faults listed under Details), and a readout the time, file,
// line and values of the sample under the pointer. It deletes itself when
// closed; Cancel closes it.
class RecordingViewer : public QMainWindow
{
    Q_OBJECT

public:
    explicit RecordingViewer(const QStringList &paths, QWidget *parent = nullptr);
    ~RecordingViewer() override;

    // What was read; nullptr while reading.
    const Recording *recording() const { return read.get(); }

signals:
    // The recording is read and drawn whole, or found to hold nothing.
    void loaded();

private:
    void showProgress(qint64 done, qint64 total);
    void showRecording();
    void showSample(qint64 index);
    void showProblems();

    std::unique_ptr<Ui_RecordingViewer> ui;
    RecordingPlots *plots;
    RecordingLoader loader;
    bool cancelled = false;
    std::unique_ptr<Recording> read;
};

// The status line's words for a recording read.
QString recordingSummary(const Recording &recording);

#endif // RECORDINGVIEWER_H
