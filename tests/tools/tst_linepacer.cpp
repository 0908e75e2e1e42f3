#include "linepacer.h"

#include <QList>
#include <QTest>

#include <numeric>

using Clock = LinePacer::Clock;
using std::chrono::milliseconds;

Q_DECLARE_METATYPE(LinePacer::Pacing)

namespace {

qint64 byteTimes(double count)
{
    return qint64(count * double(std::chrono::nanoseconds(LinePacer::ByteTime).count()));
}

qint64 ms(int count)
{
    return std::chrono::nanoseconds(milliseconds(count)).count();
}

// Frames of distinct bytes, so that their order shows in what comes out.
std::vector<unsigned char> frameOf(int size, int first)
{
    std::vector<unsigned char> bytes(static_cast<size_t>(size));
    std::iota(bytes.begin(), bytes.end(), static_cast<unsigned char>(first));
    return bytes;
}

} // namespace

class tst_LinePacer : public QObject
{
    Q_OBJECT

private slots:
    void onTime_data();
    void onTime();
    void lateWriter_data();
    void lateWriter();
    void aSecondCarriesTheLineRate();
};

void tst_LinePacer::onTime_data()
{
    QTest::addColumn<LinePacer::Pacing>("pacing");
    QTest::addColumn<int>("burstMs");
    QTest::addColumn<QList<int>>("frameSizes");
    QTest::addColumn<QList<qint64>>("queuedAt");   // nanoseconds after the start
    QTest::addColumn<QList<qint64>>("writeTimes"); // nanoseconds after the start
    QTest::addColumn<QList<int>>("writeSizes");

    const auto Byte = LinePacer::Pacing::Byte;
    QTest::newRow("bytes one at a time at line time") << Byte << 16 << QList<int>{3} << QList<qint64>{0}
        << QList<qint64>{0, byteTimes(1), byteTimes(2)} << QList<int>{1, 1, 1};
    QTest::newRow("a frame queued behind another waits for the line")
        << Byte << 16 << QList<int>{2, 2} << QList<qint64>{0, 0}
        << QList<qint64>{0, byteTimes(1), byteTimes(2), byteTimes(3)} << QList<int>{1, 1, 1, 1};
    QTest::newRow("a frame queued for later waits for its time")
        << Byte << 16 << QList<int>{1, 1} << QList<qint64>{0, byteTimes(10)}
        << QList<qint64>{0, byteTimes(10)} << QList<int>{1, 1};
    QTest::newRow("whole frames, back to back") << LinePacer::Pacing::Frame << 16 << QList<int>{14, 14}
        << QList<qint64>{0, 0} << QList<qint64>{0, byteTimes(14)} << QList<int>{14, 14};
    // A burst carries the bytes whose line time has come by its boundary.
    QTest::newRow("16 ms bursts") << LinePacer::Pacing::Burst << 16 << QList<int>{14, 14}
        << QList<qint64>{0, 0} << QList<qint64>{0, ms(16), ms(32)} << QList<int>{1, 15, 12};
    QTest::newRow("4 ms bursts") << LinePacer::Pacing::Burst << 4 << QList<int>{14} << QList<qint64>{0}
        << QList<qint64>{0, ms(4), ms(8), ms(12), ms(16)} << QList<int>{1, 3, 4, 4, 2};
}

// A writer that writes whenever a write is due sees the line's timing.
void tst_LinePacer::onTime()
{
    QFETCH(LinePacer::Pacing, pacing);
    QFETCH(int, burstMs);
    QFETCH(QList<int>, frameSizes);
    QFETCH(QList<qint64>, queuedAt);
    QFETCH(QList<qint64>, writeTimes);
    QFETCH(QList<int>, writeSizes);

    const Clock::time_point start{std::chrono::hours(1)};
    LinePacer pacer(pacing, milliseconds(burstMs), start);
    std::vector<unsigned char> sent;
    for (int i = 0; i < frameSizes.size(); ++i) {
        const std::vector<unsigned char> frame = frameOf(frameSizes[i], int(sent.size()));
        sent.insert(sent.end(), frame.begin(), frame.end());
        pacer.queue(frame, start + std::chrono::nanoseconds(queuedAt[i]));
    }

    QList<qint64> times;
    QList<int> sizes;
    std::vector<unsigned char> received;
    while (pacer.dueAt() != Clock::time_point::max() && times.size() < 100) {
        const Clock::time_point due = pacer.dueAt();
        const std::vector<unsigned char> bytes = pacer.takeDue(due);
        times << std::chrono::nanoseconds(due - start).count();
        sizes << int(bytes.size());
        received.insert(received.end(), bytes.begin(), bytes.end());
    }
    QCOMPARE(times, writeTimes);
    QCOMPARE(sizes, writeSizes);
    QVERIFY(received == sent);
    QVERIFY(pacer.empty());
}

void tst_LinePacer::lateWriter_data()
{
    QTest::addColumn<double>("lateBy");       // byte times after the first byte's line time
    QTest::addColumn<int>("taken");           // bytes handed over at that moment
    QTest::addColumn<double>("nextDue");      // byte times after the start
    QTest::addColumn<double>("queuedUntil");  // byte times after the start

    // A UART's receive FIFO hands over a few bytes that waited for the reader.
    QTest::newRow("three byte times late: catches up") << 3.0 << 4 << 4.0 << 6.0;
    QTest::newRow("four byte times late: catches up") << 4.0 << 5 << 5.0 << 6.0;
    // Further behind, the line never runs faster than its rate: it slips.
    QTest::newRow("ten byte times late: the line slips") << 10.0 << 1 << 11.0 << 16.0;
}

void tst_LinePacer::lateWriter()
{
    QFETCH(double, lateBy);
    QFETCH(int, taken);
    QFETCH(double, nextDue);
    QFETCH(double, queuedUntil);

    const Clock::time_point start{std::chrono::hours(1)};
    LinePacer pacer(LinePacer::Pacing::Byte, milliseconds(16), start);
    pacer.queue(frameOf(6, 0), start);
    const Clock::time_point now = start + std::chrono::nanoseconds(byteTimes(lateBy));
    int count = 0;
    while (pacer.dueAt() <= now)
        count += int(pacer.takeDue(now).size());
    QCOMPARE(count, taken);
    QCOMPARE(std::chrono::nanoseconds(pacer.dueAt() - start).count(), byteTimes(nextDue));
    QCOMPARE(std::chrono::nanoseconds(pacer.queuedUntil() - start).count(), byteTimes(queuedUntil));
}

// 9600 baud 8N1: ten bits a byte, 960 bytes a second.
void tst_LinePacer::aSecondCarriesTheLineRate()
{
    QCOMPARE(LineRate::BytesPerSecond, 960);
    const Clock::time_point start{};
    LinePacer pacer(LinePacer::Pacing::Frame, milliseconds(16), start);
    const Clock::duration carried = pacer.queue(std::vector<unsigned char>(960), start) - start;
    QVERIFY2(std::chrono::abs(carried - std::chrono::seconds(1)) < std::chrono::microseconds(1),
             qPrintable(QString::number(std::chrono::nanoseconds(carried).count())));
}

QTEST_GUILESS_MAIN(tst_LinePacer)
#include "tst_linepacer.moc"
