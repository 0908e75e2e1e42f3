#include "logformat.h"
#include "recordingloader.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>

namespace {

struct LogFile
{
    QString name;
    QDateTime modified;
    QByteArray text;
};
using LogFiles = QList<LogFile>;

} // namespace

Q_DECLARE_METATYPE(LogFiles)

namespace {

// Milliseconds since 1970 of a local time "yyyy-MM-dd hh:mm:ss.zzz".
qint64 at(const char *local)
{
    return QDateTime::fromString(QString::fromLatin1(local), QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"))
            .toMSecsSinceEpoch();
}

QDateTime on(const char *local)
{
    return QDateTime::fromMSecsSinceEpoch(at(local));
}

// The sample of a line that carries v (below 10923): a different value in
// each column.
std::array<int, 6> sampleOf(int v)
{
    return {v, -v, 2 * v, v + 1, v - 1, 3 * v};
}

// count data lines from index, carrying first, first + 1, ...; with times
// from ms on, stepMs apart, when ms is given.
QByteArray lines(int index, int first, int count, qint64 ms = LogFormat::NoTime, qint64 stepMs = 15)
{
    QByteArray text;
    for (int i = 0; i < count; ++i)
        text += LogFormat::dataLine(index + i, sampleOf(first + i), ms == LogFormat::NoTime ? ms : ms + i * stepMs);
    return text;
}

QByteArray header(bool withTime = false)
{
    return LogFormat::headerLine(withTime);
}

// 1, 2, ..., n
QList<int> upTo(int n)
{
    QList<int> values;
    for (int v = 1; v <= n; ++v)
        values << v;
    return values;
}

// The lines of count samples from line 2 on, after the header.
QList<int> afterHeader(int count)
{
    QList<int> lines;
    for (int line = 2; line < count + 2; ++line)
        lines << line;
    return lines;
}

QList<double> evenly(qint64 firstMs, double stepMs, int count)
{
    QList<double> times;
    for (int i = 0; i < count; ++i)
        times << double(firstMs) + i * stepMs;
    return times;
}

} // namespace

class tst_Recording : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void series_data();
    void series();
    void cancel();
};

void tst_Recording::initTestCase()
{
    // Half an hour off a whole hour from UTC, so that no time is right by
    // chance in the wrong zone.
    qputenv("TZ", "Asia/Kolkata");
    tzset();
}

// A series opened as a user opens it: read in order, each sample with its
// file's line and its time, breaks where the recording stopped, and every
// line or file that holds no samples skipped and named.
void tst_Recording::series_data()
{
    QTest::addColumn<LogFiles>("files");
    QTest::addColumn<QStringList>("open");    // in the folder; empty: the folder
    QTest::addColumn<QList<int>>("values");   // the v of each sample, in order
    QTest::addColumn<QList<int>>("lines");    // and its line
    QTest::addColumn<QList<double>>("times"); // and its time; empty: not checked
    QTest::addColumn<QList<qint64>>("breaks");
    QTest::addColumn<bool>("estimated");
    QTest::addColumn<int>("skippedLines");
    QTest::addColumn<int>("skippedFiles");
    QTest::addColumn<QStringList>("problems"); // %1 stands for the folder

    const QDateTime march = on("2026-03-10 01:00:00.000");
    QTest::newRow("midnight, -2 to -10, the time column, one file not a log by its name")
            << LogFiles{{"10.03, 0.00.04.txt", march, header(true) + lines(0, 10, 2, at("2026-03-10 00:00:04.100"))},
                        {"09.03, 23.59.59.txt", march, header(true) + lines(0, 1, 3, at("2026-03-09 23:59:59.100"))},
                        {"10.03, 0.00.04-10.txt", march, header(true) + lines(0, 40, 1, at("2026-03-10 00:00:04.900"))},
                        {"10.03, 0.00.04-2.txt", march, header(true) + lines(0, 20, 2, at("2026-03-10 00:00:04.300"))},
                        {"10.03, 0.00.04-9.txt", march, header(true) + lines(0, 30, 1, at("2026-03-10 00:00:04.700"))},
                        {"readme.txt", march, "not a log\n"}}
            << QStringList{"10.03, 0.00.04-10.txt", "09.03, 23.59.59.txt", "10.03, 0.00.04-2.txt", "10.03, 0.00.04.txt",
                           "readme.txt", "10.03, 0.00.04-9.txt"}
            << QList<int>{1, 2, 3, 10, 11, 20, 21, 30, 40} << QList<int>{2, 3, 4, 2, 3, 2, 3, 2, 2}
            << QList<double>{double(at("2026-03-09 23:59:59.100")), double(at("2026-03-09 23:59:59.115")),
                             double(at("2026-03-09 23:59:59.130")), double(at("2026-03-10 00:00:04.100")),
                             double(at("2026-03-10 00:00:04.115")), double(at("2026-03-10 00:00:04.300")),
                             double(at("2026-03-10 00:00:04.315")), double(at("2026-03-10 00:00:04.700")),
                             double(at("2026-03-10 00:00:04.900"))}
            << QList<qint64>{3} << false << 0 << 1
            << QStringList{"%1/readme.txt: not named as a log file (dd.MM, h.mm.ss.txt)"};

    // Without the time column, each file spreads its lines up to the next
    // file's name; the last takes the pace of the one before.
    const QDateTime newYear = on("2027-01-01 00:00:10.000");
    QTest::newRow("New Year, times estimated")
            << LogFiles{{"01.01, 0.00.00.txt", newYear, header() + lines(0, 11, 5)},
                        {"31.12, 23.59.50.txt", newYear, header() + lines(0, 1, 10)}}
            << QStringList{} << upTo(15) << afterHeader(10) + afterHeader(5)
            << evenly(at("2026-12-31 23:59:50.000"), 1000, 15) << QList<qint64>{} << true << 0 << 0 << QStringList{};

    // The second file lasts far longer than its lines take at the first
    // file's pace: the recording stopped, and the rest is a gap.
    const QDateTime june = on("2026-06-05 12:00:00.000");
    QTest::newRow("a stop between files, times estimated")
            << LogFiles{{"05.06, 10.00.00.txt", june, header() + lines(0, 1, 20)},
                        {"05.06, 10.00.10.txt", june, header() + lines(0, 21, 10)},
                        {"05.06, 10.01.00.txt", june, header() + lines(0, 31, 10)}}
            << QStringList{} << upTo(40) << afterHeader(20) + afterHeader(10) + afterHeader(10)
            << evenly(at("2026-06-05 10:00:00.000"), 500, 30) + evenly(at("2026-06-05 10:01:00.000"), 500, 10)
            << QList<qint64>{30} << true << 0 << 0 << QStringList{};

    QTest::newRow("a stop inside a file with the time column, files overlapping")
            << LogFiles{{"05.06, 11.00.00.txt", june,
                         header(true) + lines(0, 1, 3, at("2026-06-05 11:00:00.000"))
                                 + lines(3, 4, 2, at("2026-06-05 11:05:00.000"))},
                        {"05.06, 11.05.00.txt", june, header(true) + lines(0, 6, 2, at("2026-06-05 11:05:00.010"), 20)}}
            << QStringList{} << upTo(7) << QList<int>{2, 3, 4, 5, 6, 2, 3}
            << QList<double>{double(at("2026-06-05 11:00:00.000")), double(at("2026-06-05 11:00:00.015")),
                             double(at("2026-06-05 11:00:00.030")), double(at("2026-06-05 11:05:00.000")),
                             double(at("2026-06-05 11:05:00.015")), double(at("2026-06-05 11:05:00.015")),
                             double(at("2026-06-05 11:05:00.030"))}
            << QList<qint64>{3} << false << 0 << 0
            << QStringList{"05.06, 11.05.00.txt: begins before the file before it ends; its samples up to that end "
                           "are drawn at it"};

    QByteArray garbage(3000, '\0');
    QRandomGenerator random(34);
    for (char &c : garbage)
        c = char(random.bounded(256));
    const QDateTime july = on("2026-07-07 12:00:00.000");
    QTest::newRow("bad lines and files, CRLF line ends")
            << LogFiles{{"07.07, 8.00.00.txt", july,
                         header() + lines(0, 1, 1) + "1,2,3\n" + "2,4,x,6,7,8,9\n" + "3,40000,1,1,1,1,1\n" + header()
                                 + lines(0, 2, 1).replace("\n", "\r\n") + lines(1, 3, 1) + "5,1,2,3"},
                        {"07.07, 8.01.00.txt", july, lines(0, 4, 2)},
                        {"07.07, 8.02.00.txt", july, ""},
                        {"07.07, 8.03.00.txt", july, "hello\nthis is a note, not a log\n"},
                        {"07.07, 8.04.00.txt", july, garbage},
                        {"notes.txt", july, "not taken from a folder\n"}}
            << QStringList{} << upTo(5) << QList<int>{2, 7, 8, 1, 2} << QList<double>{} << QList<qint64>{3} << true
            << 5 << 3
            << QStringList{"07.07, 8.00.00.txt:3: not 7 or 8 fields",
                           "07.07, 8.00.00.txt:4: a field is not a decimal integer",
                           "07.07, 8.00.00.txt:5: a value outside -32768 to 32767",
                           "07.07, 8.00.00.txt:6: a header line again",
                           "07.07, 8.00.00.txt:9: cut short: the file ends inside the line",
                           "07.07, 8.01.00.txt:1: no header line: the file begins with data",
                           "07.07, 8.02.00.txt: an empty file",
                           "07.07, 8.03.00.txt: not a log file: no header or data line in its first 4096 bytes",
                           "07.07, 8.04.00.txt: not a log file: no header or data line in its first 4096 bytes"};
}

void tst_Recording::series()
{
    QFETCH(LogFiles, files);
    QFETCH(QStringList, open);
    QFETCH(QList<int>, values);
    QFETCH(QList<int>, lines);
    QFETCH(QList<double>, times);
    QFETCH(QList<qint64>, breaks);
    QFETCH(bool, estimated);
    QFETCH(int, skippedLines);
    QFETCH(int, skippedFiles);
    QFETCH(QStringList, problems);

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    for (const LogFile &file : files) {
        QFile f(folder.filePath(file.name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(file.text), file.text.size());
        QVERIFY(f.flush());
        QVERIFY(f.setFileTime(file.modified, QFileDevice::FileModificationTime));
    }
    QStringList paths;
    for (const QString &name : open)
        paths << folder.filePath(name);
    if (paths.isEmpty())
        paths << folder.path();

    RecordingLoader loader;
    QSignalSpy finished(&loader, &RecordingLoader::finished);
    QVERIFY(finished.isValid());
    loader.start(paths);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20000);
    const Recording read = loader.takeRecording();

    QCOMPARE(read.samples.size(), values.size());
    QCOMPARE(read.times.size(), values.size());
    for (int i = 0; i < values.size(); ++i) {
        const std::array<int, 6> expected = sampleOf(values[i]);
        for (int column = 0; column < 6; ++column)
            QCOMPARE(int(read.samples.value(column, i)), expected[size_t(column)]);
        QCOMPARE(read.placeOf(i).line, lines[i]);
        if (!times.isEmpty())
            QVERIFY2(std::abs(read.times.msOf(i) - times[i]) < 0.01,
                     qPrintable(QStringLiteral("sample %1 at %2, not %3").arg(i).arg(read.times.msOf(i), 0, 'f', 3)
                                        .arg(times[i], 0, 'f', 3)));
        if (i > 0)
            QVERIFY(read.times.msOf(i) >= read.times.msOf(i - 1));
    }
    QCOMPARE(QList<qint64>(read.times.breaks().begin(), read.times.breaks().end()), breaks);
    QCOMPARE(read.report.timesEstimated, estimated);
    QCOMPARE(read.report.linesSkipped, skippedLines);
    QCOMPARE(read.report.filesSkipped, skippedFiles);
    QCOMPARE(read.report.firstProblems, problems.replaceInStrings(QStringLiteral("%1"), folder.path()));
    QCOMPARE(read.report.problems, problems.size());
}

// Cancel stops at once and leaves nothing read; the loader can start again.
void tst_Recording::cancel()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    for (int f = 0; f < 40; ++f) {
        QFile file(LogFormat::filePath(folder.path(), QStringLiteral("01.02, 3.%1.00").arg(f, 2, 10, QLatin1Char('0')), 1));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(header() + lines(0, 1, 10000));
    }
    RecordingLoader loader;
    QSignalSpy finished(&loader, &RecordingLoader::finished);
    loader.start({folder.path()});
    loader.cancel();
    QCOMPARE(finished.count(), 1);
    QVERIFY(!loader.loading());
    QCOMPARE(loader.takeRecording().samples.size(), 0);
    loader.start({folder.path()});
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 20000);
    QCOMPARE(loader.takeRecording().samples.size(), 40 * 10000);
}

QTEST_GUILESS_MAIN(tst_Recording)
#include "tst_recording.moc"
