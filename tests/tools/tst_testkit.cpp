// A helper of the test kit that cannot do its job fails the test that
// called it, with the reason, and the run goes on to the next test.
// Broken uses of the helpers run as a test of their own in a child process,
// whose report this test reads.

#include "childwidget.h"
#include "logformat.h"
#include "simulatorrun.h"
#include "windowdriver.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

const char childFlag[] = "--broken-helpers";

// Each function but the last meets a helper that cannot do its job.
class BrokenHelpers : public QObject
{
    Q_OBJECT

private slots:
    void missingChild()
    {
        QWidget window;
        child<QCheckBox>(&window, "LogBox1")->setChecked(true);
    }
    void notALogLine()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QFile file(dir.filePath("01.03, 8.00.00.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(LogFormat::headerLine() + LogFormat::dataLine(0, {1, 2, 3, 4, 5, 6}) + "1,2,3\n");
        file.close();
        QCOMPARE(loggedSamples(dir.path()), (QList<QList<int>>{{1, 2, 3, 4, 5, 6}}));
    }
    void noDialogToAnswer()
    {
        answerSettings({}, true);
        QTest::qWait(20);
    }
    void afterTheFailures() { QVERIFY(true); }
};

} // namespace

class tst_TestKit : public QObject
{
    Q_OBJECT

private slots:
    void failuresFailTheirTest();
};

void tst_TestKit::failuresFailTheirTest()
{
    QProcess run;
    run.start(QCoreApplication::applicationFilePath(), {childFlag});
    QVERIFY(run.waitForFinished(30000));
    const QString report = QString::fromLocal8Bit(run.readAllStandardOutput() + run.readAllStandardError());
    QCOMPARE(run.exitStatus(), QProcess::NormalExit);
    // Qt Test's exit code is the number of failed tests.
    QVERIFY2(run.exitCode() == 3, qPrintable(report));
    for (const char *expected : {"FAIL!  : BrokenHelpers::missingChild() child LogBox1 of QWidget not found",
                                 "FAIL!  : BrokenHelpers::notALogLine() 01.03, 8.00.00.txt: data line 1 is \"1,2,3\"",
                                 "FAIL!  : BrokenHelpers::noDialogToAnswer() no modal settings dialog to answer",
                                 "PASS   : BrokenHelpers::afterTheFailures()"})
        QVERIFY2(report.contains(QLatin1String(expected)), qPrintable(report));
    // Each report points at the test's own line that called the helper.
    QCOMPARE(report.count(QLatin1String("tst_testkit.cpp(")), 3);
    // The samples before the broken line came back, and nothing else failed.
    QVERIFY2(!report.contains(QLatin1String("Compared lists differ")), qPrintable(report));
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc == 2 && qstrcmp(argv[1], childFlag) == 0) {
        BrokenHelpers broken;
        return QTest::qExec(&broken, 1, argv);
    }
    tst_TestKit test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_testkit.moc"
