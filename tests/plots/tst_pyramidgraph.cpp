#include "pyramidgraph.h"
#include "wavesample.h"

#include <QTest>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

namespace {

using Curve = std::function<double(int)>;
using Curves = std::array<Curve, 3>;

quint32 noise(quint32 n)
{
    n = (n ^ 61u) ^ (n >> 16);
    n *= 9u;
    n ^= n >> 4;
    n *= 0x27d4eb2du;
    return n ^ (n >> 15);
}

// Three curves of one plot, as a sensor or the test mode gives them.
const QMap<QString, Curves> &curveSets()
{
    static const QMap<QString, Curves> sets{
        {"test-mode waves",
         {[](int n) { return double(waveSample(n).accX); },
          [](int n) { return double(waveSample(n).gyroY); },
          [](int n) { return double(waveSample(n).gyroZ); }}},
        {"slow waves",
         {[](int n) { return std::trunc(10 * std::sin(0.0002 * n)); },
          [](int n) { return std::trunc(5 * std::cos(0.0001 * n)); },
          [](int n) { return std::trunc(15 * std::sin(0.00005 * n)); }}},
        {"accelerometer at rest",
         {[](int n) { return 16000.0 + noise(quint32(n)) % 200; },
          [](int n) { return 300.0 + noise(quint32(n) + 7u) % 50; },
          [](int n) { return -250.0 + noise(quint32(n) + 13u) % 80; }}},
        {"lone spikes and steps",
         {[](int n) { return n % 4999 == 0 ? 20000.0 : 0.0; },
          [](int n) { return n % 7919 == 3 ? -15000.0 : 100.0; },
          [](int n) { return (n / 20000) * 3000.0; }}},
    };
    return sets;
}

enum class Graph { Plain, Pyramid, Folding };

// The size of the monitor's plots, its pens, both axes fitted to the data.
// A folding graph keeps the newest 2^20 points, as the monitor's do.
std::unique_ptr<QCustomPlot> plotOf(const Curves &curves, int count, Graph kind)
{
    auto plot = std::make_unique<QCustomPlot>();
    plot->resize(600, 375);
    const QColor colours[] = {Qt::blue, Qt::green, Qt::red};
    for (int c = 0; c < 3; ++c) {
        PyramidGraph *pyramid =
            kind == Graph::Plain ? nullptr : new PyramidGraph(plot->xAxis, plot->yAxis);
        QCPGraph *graph = pyramid ? pyramid : plot->addGraph();
        graph->setPen(QPen(colours[c], 0));
        // The plain graph draws every point.
        graph->setAdaptiveSampling(false);
        graph->setAntialiased(false);
        if (kind == Graph::Folding) {
            pyramid->setFullResolution(1 << 20);
            for (int n = 0; n < count; ++n)
                pyramid->addPoint(n, curves[c](n));
        } else {
            for (int n = 0; n < count; ++n)
                graph->addData(n, curves[c](n));
        }
    }
    plot->rescaleAxes();
    return plot;
}

// The share of pixels that are the same in both pictures.
double sameShare(const QImage &a, const QImage &b)
{
    long same = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            same += a.pixel(x, y) == b.pixel(x, y);
    return double(same) / (a.width() * a.height());
}

// The plot as the monitor's window shows it: the first grab lays the hidden
// widget out at its size, which replots it.
QImage onScreen(std::unique_ptr<QCustomPlot> plot)
{
    plot->setPlottingHint(QCP::phFastPolylines, true);
    return plot->grab().toImage();
}

// Exposes the points that a replot draws lines through.
class VisibleLines : public PyramidGraph
{
public:
    using PyramidGraph::PyramidGraph;
    QVector<QPointF> lines() const
    {
        QVector<QPointF> points;
        getLines(&points, QCPDataRange(0, dataCount()));
        return points;
    }
};

} // namespace

class tst_PyramidGraph : public QObject
{
    Q_OBJECT

private slots:
    void pictureMatchesEveryPoint_data();
    void pictureMatchesEveryPoint();
    void denseViewIsBoundedByWidth();
    void valueRange_data();
    void valueRange();
    void followsReplacedData();
    void foldedPictureMatchesEveryPoint_data();
    void foldedPictureMatchesEveryPoint();
    void foldsOlderPoints();
    void foldedRanges();
};

void tst_PyramidGraph::pictureMatchesEveryPoint_data()
{
    QTest::addColumn<QString>("curveSet");
    QTest::addColumn<bool>("onScreen");  // else exported, as savePng renders
    QTest::addColumn<double>("leastShare");

    // An export is drawn as one polyline, and there the stroker places a
    // steep edge by the sub-pixel segments before it: every point and the
    // reduced view then differ by a pixel at some edges.
    for (const QString &name : curveSets().keys()) {
        QTest::newRow(qPrintable(name + ", on screen")) << name << true << 0.995;
        QTest::newRow(qPrintable(name + ", exported")) << name << false << 0.96;
    }
}

// 100,000 samples in view drawn through the pyramid look like the same
// samples drawn point by point.
void tst_PyramidGraph::pictureMatchesEveryPoint()
{
    QFETCH(QString, curveSet);
    QFETCH(bool, onScreen);
    QFETCH(double, leastShare);
    auto render = [&](std::unique_ptr<QCustomPlot> plot) {
        return onScreen ? ::onScreen(std::move(plot)) : plot->toPixmap().toImage();
    };
    const int count = 100000;
    const Curves &curves = curveSets()[curveSet];
    const QImage every = render(plotOf(curves, count, Graph::Plain));
    const QImage pyramid = render(plotOf(curves, count, Graph::Pyramid));
    QCOMPARE(pyramid.size(), every.size());

    const double share = sameShare(every, pyramid);
    qInfo("%.3f %% of pixels match", 100 * share);
    QVERIFY2(share >= leastShare, qPrintable(QString::number(100 * share) + " % of pixels match"));
}

// A replot of the whole history draws a few real points per pixel column;
// zoomed in, every point.
void tst_PyramidGraph::denseViewIsBoundedByWidth()
{
    QCustomPlot plot;
    plot.resize(600, 375);
    auto *graph = new VisibleLines(plot.xAxis, plot.yAxis);
    const Curve curve = curveSets()["test-mode waves"][2];
    for (int n = 0; n < 100000; ++n)
        graph->addData(n, curve(n));
    plot.xAxis->setRange(0, 120000);
    plot.toPixmap();  // lays the axis rect out

    const QVector<QPointF> whole = graph->lines();
    QVERIFY(!whole.isEmpty());
    QVERIFY2(whole.size() <= 8 * (plot.axisRect()->width() + 2), qPrintable(QString::number(whole.size())));
    // Each point drawn holds a value of a sample drawn into its pixel column.
    for (const QPointF &p : whole) {
        const double column = std::round(p.x());
        const int first = int(std::ceil(plot.xAxis->pixelToCoord(column - 0.5)));
        const int last = int(std::floor(plot.xAxis->pixelToCoord(column + 0.5)));
        const double value = plot.yAxis->pixelToCoord(p.y());
        bool sampled = false;
        for (int n = std::max(first, 0); n <= std::min(last, 99999) && !sampled; ++n)
            sampled = std::abs(value - curve(n)) < 1e-6;
        QVERIFY2(sampled, qPrintable(QStringLiteral("%1 at pixel column %2").arg(value).arg(column)));
    }

    plot.xAxis->setRange(5000, 5099);
    const QVector<QPointF> zoomed = graph->lines();
    QCOMPARE(zoomed.size(), 100 + 2);  // and one point beyond each edge
    for (int i = 0; i < zoomed.size(); ++i)
        QCOMPARE(zoomed[i].x(), plot.xAxis->coordToPixel(4999 + i));
}

void tst_PyramidGraph::valueRange_data()
{
    QTest::addColumn<QCPRange>("keys");
    QTest::addColumn<QCP::SignDomain>("signDomain");

    QTest::newRow("all points") << QCPRange() << QCP::sdBoth;
    QTest::newRow("a window") << QCPRange(1234.5, 5678) << QCP::sdBoth;
    QTest::newRow("one point") << QCPRange(500, 500) << QCP::sdBoth;
    QTest::newRow("between two points") << QCPRange(500.2, 500.8) << QCP::sdBoth;
    QTest::newRow("partly before the data") << QCPRange(-50, 40) << QCP::sdBoth;
    QTest::newRow("after the data") << QCPRange(20000, 30000) << QCP::sdBoth;
    QTest::newRow("positive values only") << QCPRange(0, 9000) << QCP::sdPositive;
}

// The same answer as QCPGraph's own scan of the points.
void tst_PyramidGraph::valueRange()
{
    QFETCH(QCPRange, keys);
    QFETCH(QCP::SignDomain, signDomain);

    QCustomPlot plot;
    QCPGraph *plain = plot.addGraph();
    auto *pyramid = new PyramidGraph(plot.xAxis, plot.yAxis);
    const Curve curve = curveSets()["accelerometer at rest"][2];
    for (int n = 0; n < 10000; ++n) {
        plain->addData(n, curve(n) + (n == 7777 ? 1e6 : 0));
        pyramid->addData(n, curve(n) + (n == 7777 ? 1e6 : 0));
    }

    bool plainFound = false, pyramidFound = false;
    const QCPRange expected = plain->getValueRange(plainFound, signDomain, keys);
    const QCPRange range = pyramid->getValueRange(pyramidFound, signDomain, keys);
    QCOMPARE(pyramidFound, plainFound);
    if (plainFound)
        QCOMPARE(range, expected);
}

// Data changed behind the graph's back is summarised anew.
void tst_PyramidGraph::followsReplacedData()
{
    QCustomPlot plot;
    auto *graph = new PyramidGraph(plot.xAxis, plot.yAxis);
    auto rangeOf = [graph] {
        bool found = false;
        const QCPRange range = graph->getValueRange(found);
        return found ? range : QCPRange(qQNaN(), qQNaN());
    };
    QVector<double> keys, values;
    for (int n = 0; n < 1000; ++n) {
        keys << n;
        values << n % 100;
    }
    graph->setData(keys, values, true);
    QCOMPARE(rangeOf(), QCPRange(0, 99));

    values[500] = -7;  // the same size, another point in the middle only
    values[999] = 1000;
    graph->setData(keys, values, true);
    QCOMPARE(rangeOf(), QCPRange(-7, 1000));

    graph->data()->removeAfter(100);
    QCOMPARE(rangeOf(), QCPRange(0, 99));
    graph->addData(101, 250);
    QCOMPARE(rangeOf(), QCPRange(0, 250));

    graph->clearPoints();
    QVERIFY(graph->data()->isEmpty());
    bool found = true;
    graph->getValueRange(found);
    QVERIFY(!found);
}

void tst_PyramidGraph::foldedPictureMatchesEveryPoint_data()
{
    QTest::addColumn<QString>("curveSet");
    for (const QString &name : curveSets().keys())
        QTest::newRow(qPrintable(name)) << name;
}

// A whole history of 4 million samples, most of them folded, looks like the
// same samples drawn point by point.
void tst_PyramidGraph::foldedPictureMatchesEveryPoint()
{
    QFETCH(QString, curveSet);
    const int count = 4000000;
    const Curves &curves = curveSets()[curveSet];
    auto folding = plotOf(curves, count, Graph::Folding);
    for (int c = 0; c < 3; ++c)
        QVERIFY(static_cast<PyramidGraph *>(folding->graph(c))->foldedCount() > 2 * (1 << 20));
    const QImage folded = onScreen(std::move(folding));
    const QImage every = onScreen(plotOf(curves, count, Graph::Plain));

    const double share = sameShare(every, folded);
    qInfo("%.3f %% of pixels match", 100 * share);
    QVERIFY2(share >= 0.995, qPrintable(QString::number(100 * share) + " % of pixels match"));
}

namespace {

// Folds in batches of 256 while keeping the newest 1000 points.
struct SmallFold
{
    QCustomPlot plot;
    PyramidGraph *graph = new PyramidGraph(plot.xAxis, plot.yAxis);
    std::vector<QCPGraphData> added;

    explicit SmallFold(int count)
    {
        graph->setFullResolution(1000);
        const Curve curve = curveSets()["lone spikes and steps"][1];
        for (int n = 0; n < count; ++n) {
            // Noise on the spikes and steps, so that the extremes fall
            // anywhere in a block.
            added.emplace_back(n, curve(n) + noise(quint32(n)) % 64);
            graph->addPoint(added.back().key, added.back().value);
        }
    }
};

} // namespace

// The newest points stay as added; each older block of 32 becomes its first,
// lowest, highest and last point, once.
void tst_PyramidGraph::foldsOlderPoints()
{
    const int count = 20000;
    SmallFold fold(count);
    const QCPGraphDataContainer &data = *fold.graph->data();
    const int folded = int(fold.graph->foldedCount());
    QCOMPARE(folded % 256, 0);
    QVERIFY(count - folded >= 1000 && count - folded < 1000 + 2 * 256);
    QCOMPARE(data.size(), folded / 8 + (count - folded));

    for (int b = 0; b < folded / 32; ++b) {
        const auto begin = fold.added.begin() + 32 * b;
        auto [lowest, highest] = std::minmax_element(begin, begin + 32, [](auto &x, auto &y) {
            return x.value < y.value;
        });
        // minmax_element takes the last of equal highest values; the graph the first.
        highest = std::find_if(begin, begin + 32, [&](auto &p) { return p.value == highest->value; });
        const QCPGraphData expected[] = {*begin, *std::min(lowest, highest), *std::max(lowest, highest),
                                         *(begin + 31)};
        for (int i = 0; i < 4; ++i) {
            const QCPGraphData &point = *(data.constBegin() + (4 * b + i));
            QCOMPARE(point.key, expected[i].key);
            QCOMPARE(point.value, expected[i].value);
        }
    }
    for (int n = folded; n < count; ++n) {
        const QCPGraphData &point = *(data.constBegin() + (folded / 8 + n - folded));
        QCOMPARE(point.key, fold.added[size_t(n)].key);
        QCOMPARE(point.value, fold.added[size_t(n)].value);
    }

    fold.graph->clearPoints();
    QVERIFY(fold.graph->data()->isEmpty());
    QCOMPARE(fold.graph->foldedCount(), 0);
}

// After folds, drawn or not in between, the value range of any key range is
// that of the points the graph now holds, and over whole blocks that of the
// samples added.
void tst_PyramidGraph::foldedRanges()
{
    SmallFold fold(5000);
    QCustomPlot plot;
    QCPGraph *plain = plot.addGraph();
    for (int more = 0; more < 3; ++more) {
        fold.plot.toPixmap();  // the pyramid catches up between folds
        for (int n = 0; n < 700; ++n) {
            const QCPGraphData point(fold.added.size(), double(noise(quint32(n + more)) % 1000));
            fold.added.push_back(point);
            fold.graph->addPoint(point.key, point.value);
        }
    }
    plain->data()->set(*fold.graph->data());
    const int folded = int(fold.graph->foldedCount());
    QVERIFY(folded > 4000);

    for (int first = 0; first < int(fold.added.size()); first += 317) {
        for (int last = first; last < int(fold.added.size()); last += 509) {
            const QCPRange keys(first, last);
            bool plainFound = false, found = false;
            const QCPRange expected = plain->getValueRange(plainFound, QCP::sdBoth, keys);
            QCOMPARE(fold.graph->getValueRange(found, QCP::sdBoth, keys), expected);
            QCOMPARE(found, plainFound);
        }
    }
    for (int block = 0; block + 64 <= folded; block += 96) {
        const auto begin = fold.added.begin() + block;
        const auto [lowest, highest] = std::minmax_element(begin, begin + 64, [](auto &x, auto &y) {
            return x.value < y.value;
        });
        bool found = false;
        QCOMPARE(fold.graph->getValueRange(found, QCP::sdBoth, QCPRange(block, block + 63)),
                 QCPRange(lowest->value, highest->value));
    }
}

QTEST_MAIN(tst_PyramidGraph)
#include "tst_pyramidgraph.moc"
