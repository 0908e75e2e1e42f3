#include "minmaxpyramid.h"

#include <QTest>
#include <QVector>


namespace {

using Index = MinMaxPyramid::Index;
using Span = MinMaxPyramid::Span;

// Values of both signs with repeats and long climbs, so that the extremes
// fall anywhere inside the blocks.
QVector<int16_t> samples(int count)
{
    QVector<int16_t> values;
    quint32 state = 12345;
    for (int i = 0; i < count; ++i) {
        state = state * 1664525u + 1013904223u;
        values << int16_t(int(state >> 20) % 2001 - 1000 + (i % 397 == 0 ? 5000 : 0));
    }
    return values;
}

// Two columns: the values and the same values turned upside down.
int16_t valueOf(const QVector<int16_t> &values, int column, Index i)
{
    return column == 0 ? values[i] : int16_t(-1 - values[i]);
}

Span scan(const QVector<int16_t> &values, int column, Index from, Index to)
{
    Span span;
    for (Index i = from; i < to; ++i)
        span.include({valueOf(values, column, i), valueOf(values, column, i)});
    return span;
}

// Summarises the whole blocks of both columns, as the pyramid's owner does.
void summarise(MinMaxPyramid &pyramid, const QVector<int16_t> &values)
{
    const Index block = MinMaxPyramid::finestBlock;
    for (Index b = 0; (b + 1) * block <= values.size(); ++b) {
        const Span blocks[] = {scan(values, 0, b * block, (b + 1) * block), scan(values, 1, b * block, (b + 1) * block)};
        pyramid.appendBlock(blocks);
    }
}

} // namespace

class tst_MinMaxPyramid : public QObject
{
    Q_OBJECT

private slots:
    void spans_data();
    void spans();
    void clearStartsAfresh();
};

void tst_MinMaxPyramid::spans_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("step");  // between the run ends tried

    const int block = int(MinMaxPyramid::finestBlock);
    QTest::newRow("empty") << 0 << 1;
    QTest::newRow("one sample") << 1 << 1;
    QTest::newRow("one short of a block") << block - 1 << 1;
    QTest::newRow("one block") << block << 1;
    QTest::newRow("a block and one") << block + 1 << 3;
    QTest::newRow("several levels") << 5 * block + 7 << 7;
    QTest::newRow("many levels") << 80000 << 997;
}

// Every run of each column agrees with a plain scan and runs past either
// end are clipped.
// The caller scans only within one block at a time, and at most the samples
// at the ends of a run that no block covers.
void tst_MinMaxPyramid::spans()
{
    QFETCH(int, count);
    QFETCH(int, step);

    const QVector<int16_t> values = samples(count);
    MinMaxPyramid pyramid(2);
    summarise(pyramid, values);
    const Index tail = count % MinMaxPyramid::finestBlock;
    QCOMPARE(pyramid.covered(), count - tail);

    for (int first = -1; first <= count + 1; first += step) {
        for (int last = first; last <= count + 1; last += step) {
            for (int column = 0; column < 2; ++column) {
                Index scanned = 0;
                const Span span = pyramid.span(column, first, last, count, [&](Index from, Index to) {
                    [&] { QCOMPARE(from / MinMaxPyramid::finestBlock, (to - 1) / MinMaxPyramid::finestBlock); }();
                    scanned += to - from;
                    return scan(values, column, from, to);
                });
                QVERIFY(scanned <= 2 * (MinMaxPyramid::finestBlock - 1) + tail);
                const Span expected = scan(values, column, std::max(first, 0), std::min(last, count));
                QCOMPARE(span.found(), expected.found());
                if (expected.found()) {
                    QCOMPARE(span.min, expected.min);
                    QCOMPARE(span.max, expected.max);
                }
            }
        }
    }
}

void tst_MinMaxPyramid::clearStartsAfresh()
{
    MinMaxPyramid pyramid(2);
    summarise(pyramid, samples(1000));
    pyramid.clear();
    QCOMPARE(pyramid.covered(), 0);

    const QVector<int16_t> values = samples(300);
    summarise(pyramid, values);
    const Span span = pyramid.span(1, 0, 1000, values.size(), [&](Index from, Index to) { return scan(values, 1, from, to); });
    const Span expected = scan(values, 1, 0, values.size());
    QCOMPARE(span.min, expected.min);
    QCOMPARE(span.max, expected.max);
}

QTEST_APPLESS_MAIN(tst_MinMaxPyramid)
#include "tst_minmaxpyramid.moc"
