#include "recordingdialog.h"

#include <QFileInfo>

RecordingDialog::RecordingDialog(QWidget *parent, const QString &folder)
    : QFileDialog(parent, tr("Open recording: log files, or a folder of them"), folder)
{
    setObjectName(QStringLiteral("recordingDialog"));
    // Qt's own dialog, on every desktop: a native one would go into a
    // folder on Open instead of choosing it.
    setOption(QFileDialog::DontUseNativeDialog);
    setFileMode(QFileDialog::ExistingFiles);
    setNameFilters({tr("Log files (*.txt)"), tr("All files (*)")});
}

void RecordingDialog::accept()
{
    const QStringList selected = selectedFiles();
    if (selected.size() == 1 && QFileInfo(selected.first()).isDir()) {
        picked = selected;
        QDialog::accept();
        return;
    }
    QFileDialog::accept();
    if (result() == QDialog::Accepted)
        picked = selectedFiles();
}

#include "moc_recordingdialog.cpp"
