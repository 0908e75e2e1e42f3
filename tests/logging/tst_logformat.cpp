#include "logformat.h"

#include <QDateTime>
#include <QTest>

#include <QScopeGuard>

#include <algorithm>
#include <ctime>

using Values = std::array<int, 6>;
Q_DECLARE_METATYPE(Values)

// What is written reads back as it was, and what the logger never writes is
// refused. The exact bytes are checked against literals in tst_datalogger.
class tst_LogFormat : public QObject
{
    Q_OBJECT

private slots:
    void lineRoundTrip_data();
    void lineRoundTrip();
    void notADataLine_data();
    void notADataLine();
    void headers();
    void timeAcrossDaylightSaving();
    void fileNameRoundTrip_data();
    void fileNameRoundTrip();
    void notALogFileName();
    void filesInTheOrderBegun();
};

void tst_LogFormat::lineRoundTrip_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<Values>("values");
    QTest::addColumn<qint64>("arrivedMs");
    const qint64 none = LogFormat::NoTime;
    QTest::newRow("first line, at rest") << 0 << Values{0, 0, 0, 0, 0, 0} << none;
    QTest::newRow("mixed signs") << 2 << Values{12, -3, 1024, 0, 7, -250} << none;
    QTest::newRow("extremes") << 49999 << Values{-32768, 32767, -32768, 32767, -1, 1} << none;
    QTest::newRow("with its time") << 7 << Values{1, 2, 3, 4, 5, 6} << Q_INT64_C(1797502107415);
    QTest::newRow("with a time before 1970") << 8 << Values{1, 2, 3, 4, 5, 6} << Q_INT64_C(-1001);
}

// Both forms, each with the line end of the logger, without one and with a
// spreadsheet's CRLF.
void tst_LogFormat::lineRoundTrip()
{
    QFETCH(int, index);
    QFETCH(Values, values);
    QFETCH(qint64, arrivedMs);
    const QByteArray line = LogFormat::dataLine(index, values, arrivedMs);
    QVERIFY(line.endsWith('\n'));
    QVERIFY(!LogFormat::isHeader(line));
    QCOMPARE(line.count(','), arrivedMs == LogFormat::NoTime ? 6 : 7);
    for (const QByteArray &read : {line, line.chopped(1), line.chopped(1) + "\r\n"}) {
        int readIndex = -1;
        qint64 readTime = 0;
        const std::optional<ImuSample> readSample = LogFormat::parseDataLine(read, &readIndex, &readTime);
        QVERIFY2(readSample, read.constData());
        QCOMPARE(readIndex, index);
        QCOMPARE(readTime, arrivedMs);
        const ImuSample &s = *readSample;
        QCOMPARE((Values{s.accX, s.accY, s.accZ, s.gyroX, s.gyroY, s.gyroZ}), values);
    }
}

void tst_LogFormat::notADataLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("error"); // LogFormat::LineError
    using E = LogFormat::LineError;
    QTest::newRow("empty") << QByteArray() << int(E::FieldCount);
    QTest::newRow("cut short") << QByteArray("1,2,3") << int(E::FieldCount);
    QTest::newRow("two values too many") << QByteArray("0,1,2,3,4,5,6,7,8") << int(E::FieldCount);
    QTest::newRow("a number for a time") << QByteArray("0,1,2,3,4,5,6,7") << int(E::BadTime);
    QTest::newRow("a time without its offset") << QByteArray("0,1,2,3,4,5,6,2026-12-10T14:03:27.415")
                                               << int(E::BadTime);
    QTest::newRow("the 30th of February") << QByteArray("0,1,2,3,4,5,6,2026-02-30T14:03:27.415+02:00")
                                          << int(E::BadTime);
    QTest::newRow("an empty field") << QByteArray("0,1,,3,4,5,6") << int(E::NotAnInteger);
    QTest::newRow("not a number") << QByteArray("0,1,2,x,4,5,6") << int(E::NotAnInteger);
    QTest::newRow("a decimal point") << QByteArray("0,1,2,3.5,4,5,6") << int(E::NotAnInteger);
    QTest::newRow("above a sensor value") << QByteArray("0,1,2,3,4,5,32768") << int(E::OutOfRange);
    QTest::newRow("below a sensor value") << QByteArray("0,-32769,2,3,4,5,6") << int(E::OutOfRange);
    QTest::newRow("an index beyond int") << QByteArray("99999999999,1,2,3,4,5,6") << int(E::OutOfRange);
    QTest::newRow("the header") << QByteArray(LogFormat::header) << int(E::NotAnInteger);
}

void tst_LogFormat::notADataLine()
{
    QFETCH(QByteArray, line);
    QFETCH(int, error);
    QVERIFY(!LogFormat::parseDataLine(line));
    LogFormat::Line read;
    QCOMPARE(int(LogFormat::parseLine(line.constData(), line.constData() + line.size(), &read)), error);
}

// Local time with its offset names one instant, also in the hour that a
// change to winter time repeats.
void tst_LogFormat::timeAcrossDaylightSaving()
{
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Europe/Helsinki");
    tzset();
    auto restore = qScopeGuard([&] {
        zone.isNull() ? qunsetenv("TZ") : qputenv("TZ", zone);
        tzset();
    });
    // 2026-10-25 03:30 local, once at +03:00, an hour later at +02:00.
    const qint64 first = Q_INT64_C(1792888200000);
    const qint64 second = first + 3600 * 1000;
    QCOMPARE(LogFormat::timeText(first), QByteArray("2026-10-25T03:30:00.000+03:00"));
    QCOMPARE(LogFormat::timeText(second), QByteArray("2026-10-25T03:30:00.000+02:00"));
    for (qint64 t : {first, second, first + 999}) {
        const QByteArray text = LogFormat::timeText(t);
        QCOMPARE(LogFormat::parseTime(text.constData(), text.constData() + text.size()), std::optional<qint64>(t));
    }
}

void tst_LogFormat::headers()
{
    QVERIFY(LogFormat::headerLine().endsWith('\n'));
    QCOMPARE(LogFormat::headerLine().chopped(1), QByteArray(LogFormat::header));
    QVERIFY(LogFormat::isHeader(LogFormat::headerLine()));
    QVERIFY(LogFormat::isHeader(LogFormat::header));
    QVERIFY(!LogFormat::isHeader("0,1,2,3,4,5,6"));
    QVERIFY(!LogFormat::headerHasTime(LogFormat::headerLine()));
    QCOMPARE(LogFormat::headerLine(true), QByteArray(LogFormat::header) + ",aika\n");
    QVERIFY(LogFormat::isHeader(LogFormat::headerLine(true)));
    QVERIFY(LogFormat::headerHasTime(LogFormat::headerLine(true)));
    QVERIFY(LogFormat::headerHasTime(QByteArray(LogFormat::header) + ",aika\r\n"));
}

void tst_LogFormat::fileNameRoundTrip_data()
{
    QTest::addColumn<QDateTime>("begun");
    QTest::addColumn<int>("number");
    QTest::newRow("one-digit hour") << QDateTime(QDate(2024, 12, 6), QTime(9, 5, 7)) << 1;
    QTest::newRow("two-digit hour, second file") << QDateTime(QDate(2024, 1, 1), QTime(23, 59, 1)) << 2;
    QTest::newRow("midnight, many files") << QDateTime(QDate(2024, 2, 29), QTime(0, 0, 0)) << 1234;
}

void tst_LogFormat::fileNameRoundTrip()
{
    QFETCH(QDateTime, begun);
    QFETCH(int, number);
    const QString path = LogFormat::filePath(QStringLiteral("logs"), LogFormat::stamp(begun), number);
    QVERIFY2(path.startsWith(QLatin1String("logs//")), qPrintable(path));
    const std::optional<LogFormat::FileStamp> found = LogFormat::parseFileName(path.mid(6));
    QVERIFY2(found, qPrintable(path));
    QCOMPARE(found->month, begun.date().month());
    QCOMPARE(found->day, begun.date().day());
    QCOMPARE(found->hour, begun.time().hour());
    QCOMPARE(found->minute, begun.time().minute());
    QCOMPARE(found->second, begun.time().second());
    QCOMPARE(found->number, number);
}

void tst_LogFormat::notALogFileName()
{
    for (const char *name : {"notes.txt", "06.12, 9.05.07.txt.bak", "06.12, 9.5.07.txt", "06.12 9.05.07.txt",
                             "06.12, 9.05.07-.txt", "logs//06.12, 9.05.07.txt"})
        QVERIFY2(!LogFormat::parseFileName(QString::fromLatin1(name)), name);
}

void tst_LogFormat::filesInTheOrderBegun()
{
    // As text, "10.00.00" comes before "9.59.59" and "-10" before "-9".
    const QStringList begun{"31.12, 9.59.59.txt",    "31.12, 9.59.59-2.txt", "31.12, 9.59.59-9.txt",
                            "31.12, 9.59.59-10.txt", "31.12, 10.00.00.txt",  "01.01, 0.00.00.txt"};
    for (int i = 0; i + 1 < begun.size() - 1; ++i) {
        const auto earlier = LogFormat::parseFileName(begun[i]);
        const auto later = LogFormat::parseFileName(begun[i + 1]);
        QVERIFY(earlier && later);
        QVERIFY2(*earlier < *later && !(*later < *earlier), qPrintable(begun[i] + " / " + begun[i + 1]));
    }
    // The year is not in the name: the new year's first file sorts first.
    QVERIFY(*LogFormat::parseFileName(begun.last()) < *LogFormat::parseFileName(begun.first()));
}

QTEST_GUILESS_MAIN(tst_LogFormat)
#include "tst_logformat.moc"
