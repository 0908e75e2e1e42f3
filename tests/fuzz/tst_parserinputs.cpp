#include "parserinput.h"

#include <QDir>
#include <QFile>
#include <QTest>

// Replays the fuzzer's seed inputs and every input that once went wrong.
class tst_ParserInputs : public QObject
{
    Q_OBJECT

private slots:
    void replay_data()
    {
        QTest::addColumn<QString>("path");
        int found = 0;
        for (const char *folder : {"corpus", "regressions"}) {
            const QDir dir(QStringLiteral(IMU_FUZZ_INPUTS "/") + folder);
            for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
                QTest::newRow(qPrintable(QString::fromLatin1(folder) + '/' + name)) << dir.filePath(name);
                ++found;
            }
        }
        // A row of its own fails, where an empty table would end the run.
        if (found == 0)
            QTest::newRow("no inputs") << QString();
    }

    void replay()
    {
        QFETCH(QString, path);
        QVERIFY2(!path.isEmpty(), "no inputs found under " IMU_FUZZ_INPUTS);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray input = f.readAll();
        const QString problem =
            runParserInput(reinterpret_cast<const uint8_t *>(input.constData()), size_t(input.size()));
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }
};

QTEST_GUILESS_MAIN(tst_ParserInputs)
#include "tst_parserinputs.moc"
