#include "windowdriver.h"

#include "childwidget.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLCDNumber>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextBrowser>
#include <QTime>
#include <QTimer>

#include <algorithm>

void answerSettings(FormEdit edit, bool accept)
{
    QTimer::singleShot(0, [edit, accept] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            qFatal("no modal settings dialog");
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
    if (!QMetaObject::invokeMethod(window, "OtaVastaanNaytteet", Q_ARG(QVector<ImuSample>, samples)))
        return false;
    if (samples.isEmpty())
        return true;
    const ImuSample &s = samples.constLast();
    return QMetaObject::invokeMethod(window, "OtaVastaanData", Q_ARG(int16_t, s.accX), Q_ARG(int16_t, s.accY),
                                     Q_ARG(int16_t, s.accZ), Q_ARG(int16_t, s.gyroX),
                                     Q_ARG(int16_t, s.gyroY), Q_ARG(int16_t, s.gyroZ));
}

namespace {
// "dd.MM, h.mm.ss" or, for a later file of the same second, "dd.MM, h.mm.ss-N":
// month, day, time and N, in an order that sorts as text.
QString begunAt(const QFileInfo &file)
{
    const QStringList dateAndTime = file.completeBaseName().split(QStringLiteral(", "));
    const QStringList dayAndMonth = dateAndTime.value(0).split('.');
    const QStringList timeAndNumber = dateAndTime.value(1).split('-');
    const QTime time = QTime::fromString(timeAndNumber.value(0), QStringLiteral("h.mm.ss"));
    const int number = timeAndNumber.size() > 1 ? timeAndNumber.value(1).toInt() : 1;
    return dayAndMonth.value(1) + dayAndMonth.value(0) + time.toString(QStringLiteral("hhmmss"))
            + QStringLiteral("%1").arg(number, 10, 10, QLatin1Char('0'));
}
} // namespace

QFileInfoList logFiles(const QString &dir)
{
    QFileInfoList files = QDir(dir).entryInfoList({"*.txt"}, QDir::Files);
    std::sort(files.begin(), files.end(),
              [](const QFileInfo &a, const QFileInfo &b) { return begunAt(a) < begunAt(b); });
    return files;
}

QStringList loggedLines(const QString &dir)
{
    QStringList lines;
    for (const QFileInfo &file : logFiles(dir)) {
        QFile f(file.filePath());
        if (!f.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : f.readAll().split('\n'))
            if (!line.isEmpty() && !line.startsWith("indeksi"))
                lines << QString::fromLatin1(line);
    }
    return lines;
}
