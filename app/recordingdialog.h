#ifndef RECORDINGDIALOG_H
#define RECORDINGDIALOG_H

#include <QFileDialog>
#include <QStringList>

// Asks which recording to open: one or several log files, or a folder,
// which stands for every log file in it. A folder is chosen by selecting it
// and pressing Open; a double-click goes into it, as in any file dialog.
class RecordingDialog : public QFileDialog
{
    Q_OBJECT

public:
    // Opens in folder (the log folder, where recordings are).
    RecordingDialog(QWidget *parent, const QString &folder);

    // The files, or the one folder, chosen.
    QStringList chosen() const { return picked; }

protected:
    void accept() override;

private:
    QStringList picked;
};

#endif // RECORDINGDIALOG_H
