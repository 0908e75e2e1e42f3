#include "windowdriver.h"

#include "childwidget.h"
#include "logformat.h"
#include "testfailure.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLCDNumber>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextBrowser>
#include <QTimer>

#include <algorithm>

void answerSettings(FormEdit edit, bool accept, const char *file, int line)
{
    QTimer::singleShot(0, [edit, accept, file, line] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog) {
            failTest(QStringLiteral("no modal settings dialog to answer"), file, line);
            return;
        }
        if (edit)
            edit(dialog);
        if (accept)
            dialog->accept();
        else
            dialog->reject();
    });
}

FormEdit sensorMode(const QString &device, const QString &logDir)
{
    return [=](QDialog *d) {
        child<QRadioButton>(d, "RealProgram")->setChecked(true);
        child<QCheckBox>(d, "checkBox")->setChecked(false);
        child<QLineEdit>(d, "devicenameField")->setText(device);
        child<QLineEdit>(d, "filenameField")->setText(logDir);
    };
}

FormEdit idleSensorMode(const QString &logDir)
{
    return [=](QDialog *d) {
        child<QRadioButton>(d, "RealProgram")->setChecked(true);
        child<QCheckBox>(d, "checkBox")->setChecked(false);
        child<QLineEdit>(d, "filenameField")->setText(logDir);
    };
}

FormEdit testMode(const QString &logDir)
{
    return [=](QDialog *d) {
        child<QRadioButton>(d, "TestProgram")->setChecked(true);
        child<QCheckBox>(d, "checkBox")->setChecked(false);
        child<QLineEdit>(d, "filenameField")->setText(logDir);
    };
}

FormEdit withPlots(FormEdit edit)
{
    return [=](QDialog *d) {
        if (edit)
            edit(d);
        for (const char *plots : {"checkBox", "checkBox_acc", "checkBox_gyro"})
            child<QCheckBox>(d, plots)->setChecked(true);
    };
}

void answerWithPlots(FormEdit edit, const char *file, int line)
{
    answerSettings(withPlots(std::move(edit)), true, file, line);
}

QList<int> readouts(QWidget *window)
{
    QList<int> values;
    for (const char *name : {"acc_X", "acc_Y", "acc_Z", "gyro_X", "gyro_Y", "gyro_Z"})
        values << child<QLCDNumber>(window, name)->intValue();
    return values;
}

QStringList messages(QWidget *window)
{
    return child<QTextBrowser>(window, "msgBrowser")->toPlainText().split('\n', Qt::SkipEmptyParts);
}

void click(QWidget *window, const char *button)
{
    child<QPushButton>(window, button)->click();
}

bool tick(QObject *window)
{
    return QMetaObject::invokeMethod(window, "MainTimeout");
}

bool deliver(QObject *window, const QVector<ImuSample> &samples)
{
    // All of them arrive now.
    const QVector<qint64> arrivals(samples.size(), QDateTime::currentMSecsSinceEpoch());
    if (!QMetaObject::invokeMethod(window, "OtaVastaanNaytteet", Q_ARG(QVector<ImuSample>, samples),
                                   Q_ARG(QVector<qint64>, arrivals)))
        return false;
    if (samples.isEmpty())
        return true;
    const ImuSample &s = samples.constLast();
    return QMetaObject::invokeMethod(window, "OtaVastaanData", Q_ARG(int16_t, s.accX), Q_ARG(int16_t, s.accY),
                                     Q_ARG(int16_t, s.accZ), Q_ARG(int16_t, s.gyroX),
                                     Q_ARG(int16_t, s.gyroY), Q_ARG(int16_t, s.gyroZ));
}

QFileInfoList logFiles(const QString &dir)
{
    QFileInfoList files = QDir(dir).entryInfoList({"*.txt"}, QDir::Files);
    // Other names sort first, among themselves as the folder lists them.
    auto begun = [](const QFileInfo &file) { return LogFormat::parseFileName(file.fileName()); };
    std::stable_sort(files.begin(), files.end(),
                     [&](const QFileInfo &a, const QFileInfo &b) { return begun(a) < begun(b); });
    return files;
}

QList<QByteArray> dataLines(const QFileInfo &file)
{
    QList<QByteArray> lines;
    QFile f(file.filePath());
    // A file removed since the folder was listed holds nothing now.
    if (!f.open(QIODevice::ReadOnly))
        return lines;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (!line.isEmpty() && !LogFormat::isHeader(line))
            lines << line;
    return lines;
}

QStringList loggedLines(const QString &dir)
{
    QStringList lines;
    for (const QFileInfo &file : logFiles(dir))
        for (const QByteArray &line : dataLines(file))
            lines << QString::fromLatin1(line);
    return lines;
}
