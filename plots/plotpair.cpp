#include "plotpair.h"

#include "historygraph.h"

#include <qcustomplot.h>

namespace {

// Interactions, axis box, title, labels and legend; the same for both plots.
void configurePlot(QCustomPlot *plot, const QString &title, const QFont &legendFont)
{
    // Each segment is drawn on its own from ends rounded to pixels: faster
    // for one-pixel lines, and a reduced long history lights exactly the
    // pixels that every point would.
    plot->setPlottingHint(QCP::phFastPolylines, true);

    // There is no interaction flag for the title alone: the title element is
    // made selectable below and iSelectOther lets the mouse select it.
    plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom | QCP::iSelectOther
                          | QCP::iSelectPlottables | QCP::iSelectAxes | QCP::iSelectLegend);
    plot->axisRect()->setRangeDrag(Qt::Horizontal | Qt::Vertical);
    plot->axisRect()->setRangeZoom(Qt::Horizontal | Qt::Vertical);

    // The ranges come first: the top and right axes copy them once and are
    // not linked, so they stay at 0..100 while the time axis follows the data.
    plot->xAxis->setRange(0, 100);
    plot->yAxis->setRange(0, 100);
    plot->axisRect()->setupFullAxesBox();

    plot->plotLayout()->insertRow(0);
    auto *titleElement = new QCPTextElement(plot, title);
    titleElement->setSelectable(true);
    plot->plotLayout()->addElement(0, 0, titleElement);
    plot->xAxis->setLabel(QStringLiteral("Time"));
    plot->yAxis->setLabel(QStringLiteral("Magnitude"));

    plot->legend->setVisible(true);
    plot->legend->setFont(legendFont);
    plot->legend->setSelectedFont(legendFont);
    plot->legend->setSelectableParts(QCPLegend::spItems);
}

// A one-pixel line whatever the zoom: width 0 is a cosmetic pen.
QPen linePen(const QColor &colour, Qt::PenStyle style = Qt::SolidLine)
{
    return QPen(colour, 0, style);
}

} // namespace

PlotPair::PlotPair(QWidget *parent, const SampleStore *store, const SampleTimes *times)
    : QObject(parent)
{
    QFont legendFont = parent->font();
    legendFont.setPointSize(10);

    accPlot = new QCustomPlot(parent);
    configurePlot(accPlot, QStringLiteral("Acceleration"), legendFont);
    gyroPlot = new QCustomPlot(parent);
    configurePlot(gyroPlot, QStringLiteral("Gyro"), legendFont);

    const QPen gridPen = linePen(Qt::black, Qt::DotLine);
    for (QCustomPlot *plot : {accPlot, gyroPlot}) {
        plot->xAxis->grid()->setPen(gridPen);
        plot->yAxis->grid()->setPen(gridPen);
    }

    accGraphs = addGraphs(accPlot, QStringLiteral("Acc"));
    gyroGraphs = addGraphs(gyroPlot, QStringLiteral("Gyro"));
    // The six curves draw the same samples at the same times: where the
    // plots' time axes agree, the pixel columns are worked out once.
    for (const Graphs &graphs : {accGraphs, gyroGraphs})
        for (HistoryGraph *graph : graphs)
            graph->shareColumns(*accGraphs[0]);
    setStore(store, times);

    const QBrush background(QColor(240, 235, 226, 255));
    accPlot->setBackground(background);
    gyroPlot->setBackground(background);

    accView = new PlotView(accPlot, QStringLiteral("acceleration"));
    gyroView = new PlotView(gyroPlot, QStringLiteral("gyroscope"));
    for (PlotView *view : {accView, gyroView})
        connect(view, &PlotView::message, this, &PlotPair::message);
}

PlotPair::Graphs PlotPair::addGraphs(QCustomPlot *plot, const QString &prefix)
{
    const QPen pens[] = {linePen(Qt::blue), linePen(Qt::green), linePen(Qt::red)};
    const char *axes[] = {"_Xaxis", "_Yaxis", "_Zaxis"};
    Graphs graphs{};
    for (int i = 0; i < 3; ++i) {
        graphs[i] = new HistoryGraph(plot->xAxis, plot->yAxis);
        graphs[i]->setName(prefix + QLatin1String(axes[i]));
        graphs[i]->setPen(pens[i]);
    }
    return graphs;
}

void PlotPair::setStore(const SampleStore *store, const SampleTimes *times)
{
    // The acceleration columns come first in a sample, then the gyroscope's.
    for (int i = 0; i < 3; ++i) {
        accGraphs[i]->setStore(store, i, times);
        gyroGraphs[i]->setStore(store, 3 + i, times);
    }
}

void PlotPair::setImageFileChooser(const PlotView::ImageFileChooser &chooser)
{
    accView->setImageFileChooser(chooser);
    gyroView->setImageFileChooser(chooser);
}

#include "moc_plotpair.cpp"
