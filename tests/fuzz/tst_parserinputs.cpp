#include "loginput.h"
#include "parserinput.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace {

using Driver = QString (*)(const uint8_t *data, size_t size);

} // namespace

Q_DECLARE_METATYPE(Driver)

// Replays the fuzzers' seed inputs and every input that once went wrong:
// the frame parser's and the log reader's, each through its own driver.
class tst_ParserInputs : public QObject
{
    Q_OBJECT

private slots:
    void replay_data()
    {
        QTest::addColumn<Driver>("driver");
        QTest::addColumn<QString>("path");
        const struct
        {
            const char *folder;
            Driver driver;
        } inputs[] = {
            {"corpus", runParserInput},
            {"regressions", runParserInput},
            {"log-corpus", runLogInput},
            {"log-regressions", runLogInput},
        };
        for (const auto &input : inputs) {
            const QDir dir(QStringLiteral(IMU_FUZZ_INPUTS "/") + input.folder);
            const QStringList names = dir.entryList(QDir::Files, QDir::Name);
            // A row of its own fails, where an empty table would end the run.
            if (names.isEmpty() && !QString::fromLatin1(input.folder).endsWith(QLatin1String("regressions")))
                QTest::newRow(input.folder) << input.driver << QString();
            for (const QString &name : names)
                QTest::newRow(qPrintable(QString::fromLatin1(input.folder) + '/' + name))
                        << input.driver << dir.filePath(name);
        }
    }

    void replay()
    {
        QFETCH(Driver, driver);
        QFETCH(QString, path);
        QVERIFY2(!path.isEmpty(), "no inputs found under " IMU_FUZZ_INPUTS);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray input = f.readAll();
        const QString problem = driver(reinterpret_cast<const uint8_t *>(input.constData()), size_t(input.size()));
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }
};

QTEST_GUILESS_MAIN(tst_ParserInputs)
#include "tst_parserinputs.moc"
