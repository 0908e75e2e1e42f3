#include "samplestore.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <vector>

namespace {

using Index = SampleStore::Index;

// A different value in each column, over the whole int16 range, both ends
// included.
int16_t valueAt(Index n, int column)
{
    if (n % 1009 == 5)
        return column % 2 ? -32768 : 32767;
    return int16_t((quint32(n) * 2654435761u + quint32(column) * 40503u) >> 16);
}

} // namespace

class tst_SampleStore : public QObject
{
    Q_OBJECT

private slots:
    void keepsEverySample();
};

// Samples over several chunks read back exactly at every position, once the
// store has been handed over to another owner; the extremes of runs,
// random ones and those at the ends, are those of a plain scan; a clear
// gives every byte back and the store starts again at position 0.
void tst_SampleStore::keepsEverySample()
{
    const Index count = 3 * SampleStore::chunkSamples + 1000;
    SampleStore filled;
    for (Index n = 0; n < count; ++n)
        filled.append({valueAt(n, 0), valueAt(n, 1), valueAt(n, 2), valueAt(n, 3), valueAt(n, 4), valueAt(n, 5)});
    SampleStore store = std::move(filled);
    QCOMPARE(store.size(), count);

    Index wrong = 0;
    for (Index n = 0; n < count; ++n)
        for (int column = 0; column < SampleStore::columns; ++column)
            wrong += store.value(column, n) != valueAt(n, column);
    QCOMPARE(wrong, 0);

    QVector<std::pair<Index, Index>> runs{{0, count}, {-5, 3}, {count - 1, count + 10}, {count - 130, count},
                                          {SampleStore::chunkSamples - 1, SampleStore::chunkSamples + 1},
                                          {777, 777}, {count, count + 1}};
    QRandomGenerator random(2024);
    while (runs.size() < 200) {
        const Index first = Index(random.bounded(quint64(count)));
        // Short runs as often as long ones.
        const Index length = Index(random.bounded(quint64(random.bounded(2) ? 300 : count - first + 1)));
        runs.append({first, first + length});
    }
    for (const auto &[first, last] : runs) {
        for (int column = 0; column < SampleStore::columns; ++column) {
            SampleStore::Span expected;
            for (Index n = std::max<Index>(first, 0); n < std::min(last, count); ++n)
                expected.include({valueAt(n, column), valueAt(n, column)});
            const SampleStore::Span span = store.span(column, first, last);
            QCOMPARE(span.found(), expected.found());
            QVERIFY2(!span.found() || (span.min == expected.min && span.max == expected.max),
                     qPrintable(QStringLiteral("column %1, [%2, %3)").arg(column).arg(first).arg(last)));
        }
    }

    store.clear();
    QCOMPARE(store.size(), 0);
    QCOMPARE(store.bytes(), size_t(0));
    QVERIFY(!store.span(0, 0, count).found());
    store.append({1, 2, 3, 4, 5, 6});
    QCOMPARE(store.value(5, 0), int16_t(6));
    QCOMPARE(store.span(2, 0, 1).max, int16_t(3));
}

QTEST_APPLESS_MAIN(tst_SampleStore)
#include "tst_samplestore.moc"
