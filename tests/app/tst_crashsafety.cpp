// A monitor killed while it logs must leave its log files as they were after
// the last line it wrote: the header first, whole lines only, none missing.
// A child process runs the real window logging as fast as its event loop
// turns, and the test kills it with SIGKILL at a moment neither side chooses.

#include "logformat.h"
#include "mainwindow.h"
#include "wavesample.h"

#include "childwidget.h"
#include "windowdriver.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <csignal>
#include <sys/prctl.h>

namespace {

const char childFlag[] = "--log-until-killed";

// Runs in the child: the real window in test mode with "Datalog" ticked and a
// 0 ms interval, writing linesPerFile lines per file into directory until it
// is killed, with the time column when asked.
int logUntilKilled(int argc, char *argv[], const QString &directory, int linesPerFile, bool timeColumn)
{
    // Logging never ends by itself: should the test die first, the child
    // must not go on filling the disk.
    prctl(PR_SET_PDEATHSIG, SIGKILL);

    QApplication app(argc, argv);
    answerSettings([=](QDialog *d) {
        testMode(directory)(d);
        child<QSpinBox>(d, "newfilelines")->setValue(linesPerFile);
    }, true);
    MainWindow w;
    child<QCheckBox>(&w, "LogTimeBox")->setChecked(timeColumn);
    child<QCheckBox>(&w, "LogBox1")->setChecked(true);
    child<QSpinBox>(&w, "TaajuusSBox")->setValue(0);
    click(&w, "Start_Button");
    return app.exec();
}

// True once the log files in dir hold count data lines. Reads no more files
// than it needs: with a file per line the child begins thousands a second,
// and a look at all of them would fall ever further behind.
bool loggedAtLeast(const QString &dir, qsizetype count)
{
    qsizetype lines = 0;
    QDirIterator files(dir, {"*.txt"}, QDir::Files);
    while (lines < count && files.hasNext()) {
        QFile file(files.next());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray contents = file.readAll();
        lines += contents.count('\n') - (contents.startsWith(LogFormat::header) ? 1 : 0);
    }
    return lines >= count;
}

} // namespace

class tst_CrashSafety : public QObject
{
    Q_OBJECT

private slots:
    void killedWhileLogging_data();
    void killedWhileLogging();
};

// The child writes thousands of lines between two polls, so each row is killed
// at an unforeseeable line; small files put a roll-over close to every kill.
// The long row lasts a few seconds, so that files of several names are begun.
void tst_CrashSafety::killedWhileLogging_data()
{
    QTest::addColumn<int>("linesPerFile");
    QTest::addColumn<int>("killAfter");
    QTest::addColumn<bool>("timeColumn");
    QTest::newRow("one file, early") << LogFormat::defaultLinesPerFile << 1000 << false;
    QTest::newRow("one file, late") << LogFormat::defaultLinesPerFile << 30000 << false;
    QTest::newRow("1000 lines per file, several seconds") << 1000 << 120000 << false;
    QTest::newRow("7 lines per file") << 7 << 10000 << false;
    QTest::newRow("every line rolls over") << 1 << 5000 << false;
    QTest::newRow("time column, 7 lines per file") << 7 << 10000 << true;
}

void tst_CrashSafety::killedWhileLogging()
{
    QFETCH(int, linesPerFile);
    QFETCH(int, killAfter);
    QFETCH(bool, timeColumn);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());

    QProcess logger;
    logger.setProcessChannelMode(QProcess::ForwardedChannels);
    logger.start(QCoreApplication::applicationFilePath(),
                 {childFlag, dir.path(), QString::number(linesPerFile), timeColumn ? "time" : "plain"});
    QVERIFY(logger.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(loggedAtLeast(dir.path(), killAfter), 60000);
    const qsizetype seenBeforeKill = killAfter;
    QCOMPARE(logger.state(), QProcess::Running);
    logger.kill(); // SIGKILL
    QVERIFY(logger.waitForFinished());
    QCOMPARE(logger.exitStatus(), QProcess::CrashExit);

    const QFileInfoList files = logFiles(dir.path());
    QVERIFY(!files.isEmpty());

    // MainTimeout takes the phase of the waves from the count of drawn
    // samples; without plots nothing is drawn, so every line is sample 0.
    const ImuSample wave = waveSample(0);
    const std::array<int, 6> values{wave.accX, wave.accY, wave.accZ, wave.gyroX, wave.gyroY, wave.gyroZ};

    // Taken in the order they were begun, the files hold one unbroken run of
    // samples. The index counts the lines of a file from 0 and starts again
    // at each roll-over, which always begins a file of its own, also within
    // the same second.
    qsizetype sample = 0;
    for (qsizetype f = 0; f < files.size(); ++f) {
        const QString name = files[f].fileName();
        const bool newest = f == files.size() - 1;
        QFile file(files[f].filePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray contents = file.readAll();
        // Killed between creating the file and writing its header: nothing
        // was written to it, so nothing is lost.
        if (contents.isEmpty() && newest)
            continue;

        QVERIFY2(contents.endsWith('\n'), qPrintable(name + ": the last line is cut short"));
        QList<QByteArray> lines = contents.split('\n');
        lines.removeLast();
        QCOMPARE(lines.first() + '\n', LogFormat::headerLine(timeColumn));
        QVERIFY2(lines.size() - 1 <= linesPerFile, qPrintable(name + ": more lines than a file holds"));
        for (qsizetype i = 1; i < lines.size(); ++i, ++sample) {
            const QByteArray expected = LogFormat::dataLine(int(sample % linesPerFile), values).chopped(1);
            const QByteArray time = lines[i].mid(expected.size() + 1);
            const bool whole = timeColumn ? lines[i].startsWith(expected + ',')
                                                && LogFormat::parseTime(time.constData(), time.constData() + time.size())
                                          : lines[i] == expected;
            if (!whole)
                QFAIL(qPrintable(QStringLiteral("%1, line %2: \"%3\", expected \"%4\"")
                                         .arg(name).arg(i + 1)
                                         .arg(QString::fromLatin1(lines[i]), QString::fromLatin1(expected))));
        }
        // A file is begun only after the previous one rolled over.
        if (!newest)
            QVERIFY2(sample % linesPerFile == 0,
                     qPrintable(name + ": a later file was begun before this one was full"));
    }
    QVERIFY2(sample >= seenBeforeKill,
             qPrintable(QStringLiteral("%1 lines left, %2 seen before the kill").arg(sample).arg(seenBeforeKill)));
}

int main(int argc, char *argv[])
{
    if (argc == 5 && qstrcmp(argv[1], childFlag) == 0)
        return logUntilKilled(argc, argv, QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toInt(),
                              qstrcmp(argv[4], "time") == 0);

    QCoreApplication app(argc, argv);
    tst_CrashSafety test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_crashsafety.moc"
