#include "historygraph.h"
#include "wavesample.h"

#include <QTest>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>

namespace {

using Curve = std::function<int16_t(int)>;
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
         {[](int n) { return waveSample(n).accX; },
          [](int n) { return waveSample(n).gyroY; },
          [](int n) { return waveSample(n).gyroZ; }}},
        {"slow waves",
         {[](int n) { return int16_t(10 * std::sin(0.0002 * n)); },
          [](int n) { return int16_t(5 * std::cos(0.0001 * n)); },
          [](int n) { return int16_t(15 * std::sin(0.00005 * n)); }}},
        {"accelerometer at rest",
         {[](int n) { return int16_t(16000 + noise(quint32(n)) % 200); },
          [](int n) { return int16_t(300 + noise(quint32(n) + 7u) % 50); },
          [](int n) { return int16_t(-250 + noise(quint32(n) + 13u) % 80); }}},
        {"lone spikes and steps",
         {[](int n) { return int16_t(n % 4999 == 0 ? 20000 : 0); },
          [](int n) { return int16_t(n % 7919 == 3 ? -15000 : 100); },
          [](int n) { return int16_t((n / 20000) * 3000); }}},
    };
    return sets;
}

// The same samples drawn by a plain graph per curve, which draws every
// point, and by history graphs over a store: at the size of the monitor's
// plots, with its pens, both axes fitted to the data.
struct Plots
{
    SampleStore store;  // outlives the history graphs
    std::unique_ptr<QCustomPlot> plain = std::make_unique<QCustomPlot>();
    std::unique_ptr<QCustomPlot> history = std::make_unique<QCustomPlot>();

    Plots(const Curves &curves, int count)
    {
        for (int n = 0; n < count; ++n)
            store.append({curves[0](n), curves[1](n), curves[2](n), 0, 0, 0});
        const QColor colours[] = {Qt::blue, Qt::green, Qt::red};
        for (int c = 0; c < 3; ++c) {
            QCPGraph *plainGraph = plain->addGraph();
            auto *historyGraph = new HistoryGraph(history->xAxis, history->yAxis);
            historyGraph->setStore(&store, c);
            for (QCPGraph *graph : {plainGraph, static_cast<QCPGraph *>(historyGraph)}) {
                graph->setPen(QPen(colours[c], 0));
                graph->setAntialiased(false);
            }
            plainGraph->setAdaptiveSampling(false);
            for (int n = 0; n < count; ++n)
                plainGraph->addData(n, curves[c](n));
        }
        for (QCustomPlot *plot : {plain.get(), history.get()}) {
            plot->resize(600, 375);
            plot->rescaleAxes();
        }
    }
};

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
QImage onScreen(QCustomPlot *plot)
{
    plot->setPlottingHint(QCP::phFastPolylines, true);
    return plot->grab().toImage();
}

// Exposes the points that a replot draws lines through.
class VisibleLines : public HistoryGraph
{
public:
    using HistoryGraph::HistoryGraph;
    using HistoryGraph::visibleLines;
};

} // namespace

class tst_HistoryGraph : public QObject
{
    Q_OBJECT

private slots:
    void pictureMatchesEveryPoint_data();
    void pictureMatchesEveryPoint();
    void everyViewOfALongHistory_data();
    void everyViewOfALongHistory();
    void redrawnAfterClear();
    void denseViewIsBoundedByWidth();
    void valueRange_data();
    void valueRange();

private:
    std::unique_ptr<Plots> longHistory;
};

void tst_HistoryGraph::pictureMatchesEveryPoint_data()
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
void tst_HistoryGraph::pictureMatchesEveryPoint()
{
    QFETCH(QString, curveSet);
    QFETCH(bool, onScreen);
    QFETCH(double, leastShare);
    auto render = [&](QCustomPlot *plot) {
        return onScreen ? ::onScreen(plot) : plot->toPixmap().toImage();
    };
    Plots plots(curveSets()[curveSet], 100000);
    const QImage every = render(plots.plain.get());
    const QImage history = render(plots.history.get());
    QCOMPARE(history.size(), every.size());

    const double share = sameShare(every, history);
    qInfo("%.3f %% of pixels match", 100 * share);
    QVERIFY2(share >= leastShare, qPrintable(QString::number(100 * share) + " % of pixels match"));
}

void tst_HistoryGraph::everyViewOfALongHistory_data()
{
    QTest::addColumn<QCPRange>("keys");

    // Three million samples, about twelve hours at the line's rate, with a
    // spike in the first hour; an hour is 246,960 samples.
    const double count = 3000000, spike = 200000;
    QTest::newRow("the whole history") << QCPRange(0, 1.2 * (count - 1));
    QTest::newRow("the oldest hour") << QCPRange(0, 246960);
    QTest::newRow("100 samples around the spike") << QCPRange(spike - 50, spike + 49);
    QTest::newRow("the newest minute") << QCPRange(count - 4116, count - 1);
}

// Any view of a history far longer than the graphs' own points, the oldest
// samples included, looks like a plain graph over every sample, its value
// range is the exact one, and a click on the curve as drawn selects it.
void tst_HistoryGraph::everyViewOfALongHistory()
{
    QFETCH(QCPRange, keys);
    if (!longHistory) {
        const Curves curves{[](int n) { return waveSample(n).accX; },
                            [](int n) { return int16_t(n == 200000 ? -15000 : 300 + noise(quint32(n)) % 50); },
                            [](int n) { return int16_t(15 * std::sin(0.00005 * n) + (n / 500000) * 40); }};
        longHistory = std::make_unique<Plots>(curves, 3000000);
    }
    QCustomPlot *plain = longHistory->plain.get();
    QCustomPlot *history = longHistory->history.get();

    bool found = false;
    QCPRange values;
    for (int c = 0; c < 3; ++c) {
        bool inPlain = false, inHistory = false;
        const QCPRange expected = plain->graph(c)->getValueRange(inPlain, QCP::sdBoth, keys);
        QCOMPARE(history->graph(c)->getValueRange(inHistory, QCP::sdBoth, keys), expected);
        QCOMPARE(inHistory, inPlain);
        values = found ? QCPRange(std::min(values.lower, expected.lower), std::max(values.upper, expected.upper))
                       : expected;
        found = true;
    }
    for (QCustomPlot *plot : {plain, history}) {
        plot->xAxis->setRange(keys);
        plot->yAxis->setRange(values);
        plot->yAxis->scaleRange(1.1);  // as a fit leaves it
    }
    const double share = sameShare(onScreen(plain), onScreen(history));
    qInfo("%.3f %% of pixels match", 100 * share);
    QVERIFY2(share >= 0.999, qPrintable(QString::number(100 * share) + " % of pixels match"));

    const double middle = std::round(keys.center());
    const QPointF onCurve(history->xAxis->coordToPixel(middle),
                          history->yAxis->coordToPixel(longHistory->store.value(1, qint64(middle))));
    const double distance = history->graph(1)->selectTest(onCurve, false);
    QVERIFY2(distance >= 0 && distance < 1, qPrintable(QString::number(distance)));
}

// After a clear the same view of as many other samples shows those, not
// what the last drawing found.
void tst_HistoryGraph::redrawnAfterClear()
{
    const int count = 100000;
    Plots plots(curveSets()["lone spikes and steps"], count);
    onScreen(plots.history.get());

    const Curves &others = curveSets()["slow waves"];
    plots.store.clear();
    for (int n = 0; n < count; ++n)
        plots.store.append({others[0](n), others[1](n), others[2](n), 0, 0, 0});
    for (int c = 0; c < 3; ++c) {
        plots.plain->graph(c)->data()->clear();
        for (int n = 0; n < count; ++n)
            plots.plain->graph(c)->addData(n, others[c](n));
    }
    const double share = sameShare(onScreen(plots.plain.get()), onScreen(plots.history.get()));
    QVERIFY2(share >= 0.995, qPrintable(QString::number(100 * share) + " % of pixels match"));
}

// A replot of the whole history draws a few real points per pixel column;
// zoomed in, every point.
void tst_HistoryGraph::denseViewIsBoundedByWidth()
{
    const Curve curve = curveSets()["test-mode waves"][2];
    SampleStore store;
    for (int n = 0; n < 100000; ++n)
        store.append({curve(n), 0, 0, 0, 0, 0});
    QCustomPlot plot;
    plot.resize(600, 375);
    auto *graph = new VisibleLines(plot.xAxis, plot.yAxis);
    graph->setStore(&store, 0);
    plot.xAxis->setRange(0, 120000);
    plot.toPixmap();  // lays the axis rect out

    const QVector<QPointF> whole = graph->visibleLines();
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
    const QVector<QPointF> zoomed = graph->visibleLines();
    QCOMPARE(zoomed.size(), 100 + 2);  // and one point beyond each edge
    for (int i = 0; i < zoomed.size(); ++i)
        QCOMPARE(zoomed[i].x(), plot.xAxis->coordToPixel(4999 + i));
}

void tst_HistoryGraph::valueRange_data()
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
void tst_HistoryGraph::valueRange()
{
    QFETCH(QCPRange, keys);
    QFETCH(QCP::SignDomain, signDomain);

    const Curve curve = curveSets()["accelerometer at rest"][2];
    auto valueAt = [&](int n) { return int16_t(curve(n) + (n == 7777 ? 30000 : 0)); };
    Plots plots({valueAt, valueAt, valueAt}, 10000);

    bool plainFound = false, found = false;
    const QCPRange expected = plots.plain->graph(0)->getValueRange(plainFound, signDomain, keys);
    const QCPRange range = plots.history->graph(0)->getValueRange(found, signDomain, keys);
    QCOMPARE(found, plainFound);
    if (plainFound)
        QCOMPARE(range, expected);
}

QTEST_MAIN(tst_HistoryGraph)
#include "tst_historygraph.moc"
