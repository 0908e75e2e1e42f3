#include "minmaxpyramid.h"

#include <QTest>
#include <QVector>

#include <algorithm>
#include <limits>

namespace {

// Values of both signs with repeats and long climbs, so that the extremes
// fall anywhere inside the blocks.
QVector<double> samples(int count)
{
    QVector<double> values;
    quint32 state = 12345;
    for (int i = 0; i < count; ++i) {
        state = state * 1664525u + 1013904223u;
        values << double(int(state >> 20) % 2001 - 1000) + (i % 97 == 0 ? 5000.0 : 0.0);
    }
    return values;
}

} // namespace

class tst_MinMaxPyramid : public QObject
{
    Q_OBJECT

private slots:
    void spans_data();
    void spans();
    void nanIsLeftOut();
    void clearStartsAfresh();
    void truncateThenAppend_data();
    void truncateThenAppend();
};

void tst_MinMaxPyramid::spans_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("step");  // between the run ends tried

    const int block = MinMaxPyramid::finestBlock;
    QTest::newRow("empty") << 0 << 1;
    QTest::newRow("one sample") << 1 << 1;
    QTest::newRow("one short of a block") << block - 1 << 1;
    QTest::newRow("one block") << block << 1;
    QTest::newRow("a block and one") << block + 1 << 1;
    QTest::newRow("several levels") << 5 * block + 7 << 1;
    QTest::newRow("many levels") << 20000 << 97;
}

// Every run agrees with a plain scan, reads at most the samples at its ends
// that no block covers, and runs past either end are clipped.
void tst_MinMaxPyramid::spans()
{
    QFETCH(int, count);
    QFETCH(int, step);

    const QVector<double> values = samples(count);
    MinMaxPyramid pyramid;
    for (double v : values)
        pyramid.append(v);
    QCOMPARE(pyramid.size(), count);

    for (int first = -1; first <= count + 1; first += step) {
        for (int last = first; last <= count + 1; last += step) {
            int reads = 0;
            const MinMaxPyramid::Span span = pyramid.span(first, last, [&](int i) {
                ++reads;
                return values.at(i);
            });
            const int from = std::max(first, 0), to = std::min(last, count);
            QVERIFY(reads <= 2 * (MinMaxPyramid::finestBlock - 1));
            QCOMPARE(span.found(), from < to);
            if (from >= to)
                continue;
            const auto [lowest, highest] = std::minmax_element(values.begin() + from, values.begin() + to);
            QCOMPARE(span.min, *lowest);
            QCOMPARE(span.max, *highest);
        }
    }
}

void tst_MinMaxPyramid::nanIsLeftOut()
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QVector<double> values(3 * MinMaxPyramid::finestBlock, nan);
    values[40] = -3;
    values[70] = 8;
    MinMaxPyramid pyramid;
    for (double v : values)
        pyramid.append(v);
    auto read = [&](int i) { return values.at(i); };

    const MinMaxPyramid::Span all = pyramid.span(0, values.size(), read);
    QCOMPARE(all.min, -3.0);
    QCOMPARE(all.max, 8.0);
    QVERIFY(!pyramid.span(0, 32, read).found());
}

void tst_MinMaxPyramid::clearStartsAfresh()
{
    MinMaxPyramid pyramid;
    for (int i = 0; i < 1000; ++i)
        pyramid.append(i);
    pyramid.clear();
    QCOMPARE(pyramid.size(), 0);

    const QVector<double> values{-1, 4, 2};
    for (double v : values)
        pyramid.append(v);
    const MinMaxPyramid::Span span = pyramid.span(0, 1000, [&](int i) { return values.at(i); });
    QCOMPARE(span.min, -1.0);
    QCOMPARE(span.max, 4.0);
}

void tst_MinMaxPyramid::truncateThenAppend_data()
{
    QTest::addColumn<int>("cut");
    QTest::addColumn<int>("kept");  // samples still summarised after the cut

    QTest::newRow("all") << 0 << 0;
    QTest::newRow("inside the first block") << 5 << 0;
    QTest::newRow("at a block") << 64 << 64;
    QTest::newRow("inside a block") << 1000 << 992;
    QTest::newRow("in the last block") << 4095 << 4064;
    QTest::newRow("beyond the end") << 5000 << 4096;
}

// Samples changed from some point on are summarised again from where the
// pyramid says, and every run then agrees with a plain scan.
void tst_MinMaxPyramid::truncateThenAppend()
{
    QFETCH(int, cut);
    QFETCH(int, kept);

    QVector<double> values = samples(4096);
    MinMaxPyramid pyramid;
    for (double v : values)
        pyramid.append(v);
    pyramid.truncate(cut);
    QCOMPARE(pyramid.size(), kept);

    // From the cut on the samples are others, and more of them.
    values.resize(std::min(cut, int(values.size())));
    for (double v : samples(4096 + 1000 - int(values.size())))
        values << -v / 2;
    for (int i = pyramid.size(); i < values.size(); ++i)
        pyramid.append(values.at(i));

    auto read = [&](int i) { return values.at(i); };
    for (int first = 0; first < values.size(); first += 181) {
        for (int last = first + 1; last <= values.size(); last += 263) {
            const auto [lowest, highest] = std::minmax_element(values.begin() + first, values.begin() + last);
            const MinMaxPyramid::Span span = pyramid.span(first, last, read);
            QCOMPARE(span.min, *lowest);
            QCOMPARE(span.max, *highest);
        }
    }
}

QTEST_APPLESS_MAIN(tst_MinMaxPyramid)
#include "tst_minmaxpyramid.moc"
