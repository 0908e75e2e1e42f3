#include "sensorplots.h"

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

SensorPlots::SensorPlots(QWidget *window)
    : QObject(window)
{
    QFont legendFont = window->font();
    legendFont.setPointSize(10);

    accPlot = new QCustomPlot(window);
    configurePlot(accPlot, QStringLiteral("Acceleration"), legendFont);
    gyroPlot = new QCustomPlot(window);
    configurePlot(gyroPlot, QStringLiteral("Gyro"), legendFont);

    const QPen gridPen = linePen(Qt::black, Qt::DotLine);
    for (QCustomPlot *plot : {accPlot, gyroPlot}) {
        plot->xAxis->grid()->setPen(gridPen);
        plot->yAxis->grid()->setPen(gridPen);
    }

    accGraphs = addGraphs(accPlot, QStringLiteral("Acc"), 0);
    gyroGraphs = addGraphs(gyroPlot, QStringLiteral("Gyro"), 3);

    const QBrush background(QColor(240, 235, 226, 255));
    accPlot->setBackground(background);
    gyroPlot->setBackground(background);

    accView = new PlotView(accPlot, QStringLiteral("acceleration"));
    gyroView = new PlotView(gyroPlot, QStringLiteral("gyroscope"));
    for (PlotView *view : {accView, gyroView})
        connect(view, &PlotView::message, this, &SensorPlots::message);
}

SensorPlots::Graphs SensorPlots::addGraphs(QCustomPlot *plot, const QString &prefix, int firstColumn)
{
    // Graph indexes are fixed: 0 is X, 1 is Y, 2 is Z on both plots.
    const QPen pens[] = {linePen(Qt::blue), linePen(Qt::green), linePen(Qt::red)};
    const char *axes[] = {"_Xaxis", "_Yaxis", "_Zaxis"};
    Graphs graphs{};
    for (int i = 0; i < 3; ++i) {
        graphs[i] = new HistoryGraph(plot->xAxis, plot->yAxis);
        graphs[i]->setName(prefix + QLatin1String(axes[i]));
        graphs[i]->setPen(pens[i]);
        graphs[i]->setStore(&samples, firstColumn + i);
        graphs[i]->setOwnPoints(ownPoints);
    }
    return graphs;
}

void SensorPlots::layOut(bool acceleration, bool gyroscope)
{
    showAcceleration = acceleration;
    showGyroscope = gyroscope;
    place();
    accPlot->setVisible(acceleration);
    gyroPlot->setVisible(gyroscope);
}

void SensorPlots::setArea(const QRect &rect)
{
    area = rect;
    place();
}

void SensorPlots::place()
{
    // A hidden plot keeps its place until it is shown again.
    if (showAcceleration && showGyroscope) {
        const int upper = area.height() / 2;
        accPlot->setGeometry(area.x(), area.y(), area.width(), upper);
        gyroPlot->setGeometry(area.x(), area.y() + upper, area.width(), area.height() - upper);
    } else if (showAcceleration) {
        accPlot->setGeometry(area);
    } else if (showGyroscope) {
        gyroPlot->setGeometry(area);
    }
}

void SensorPlots::followTime(QCustomPlot *plot, TimeAxis timeAxis, double last)
{
    // A 0..0 range asked for at the first sample is empty, and the plot
    // keeps its previous range then.
    switch (timeAxis) {
    case TimeAxis::FollowsNewest:
        plot->xAxis->setRange(last - 200, last + 20);
        break;
    case TimeAxis::ShowsAll:
        plot->xAxis->setRange(0, 1.2 * last);
        break;
    case TimeAxis::Stays:
        break;
    }
}

void SensorPlots::append(const ImuSample &sample)
{
    // The graphs draw from the store, so a sample costs the same however
    // many came before it.
    samples.append({sample.accX, sample.accY, sample.accZ, sample.gyroX, sample.gyroY, sample.gyroZ});
}

void SensorPlots::showNewest(TimeAxis timeAxis)
{
    // Nothing to follow before the first sample.
    if (samples.empty())
        return;
    for (const Graphs &graphs : {accGraphs, gyroGraphs})
        for (HistoryGraph *graph : graphs)
            graph->catchUp();
    const double last = double(samples.size() - 1);
    followTime(accPlot, timeAxis, last);
    followTime(gyroPlot, timeAxis, last);
    accView->followData();
    accPlot->replot();
    gyroView->followData();
    gyroPlot->replot();
}

void SensorPlots::clear()
{
    // Clearing is the only way a long history shrinks, so the store and the
    // graphs give their memory back too.
    samples.clear();
    for (HistoryGraph *graph : accGraphs)
        graph->catchUp();
    accPlot->replot();
    for (HistoryGraph *graph : gyroGraphs)
        graph->catchUp();
    gyroPlot->replot();
}

void SensorPlots::setImageFileChooser(const PlotView::ImageFileChooser &chooser)
{
    accView->setImageFileChooser(chooser);
    gyroView->setImageFileChooser(chooser);
}
