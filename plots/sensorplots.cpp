#include "sensorplots.h"

#include "historygraph.h"

#include <qcustomplot.h>

SensorPlots::SensorPlots(QWidget *window)
    : QObject(window)
    , pair(new PlotPair(window, &samples))
    , accPlot(pair->accelerationPlot())
    , gyroPlot(pair->gyroscopePlot())
{
    for (const PlotPair::Graphs &graphs : {pair->accelerationGraphs(), pair->gyroscopeGraphs()})
        for (HistoryGraph *graph : graphs)
            graph->setOwnPoints(ownPoints);
    connect(pair, &PlotPair::message, this, &SensorPlots::message);
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
    catchUp();
    const double last = double(samples.size() - 1);
    followTime(accPlot, timeAxis, last);
    followTime(gyroPlot, timeAxis, last);
    pair->accelerationView()->followData();
    accPlot->replot();
    pair->gyroscopeView()->followData();
    gyroPlot->replot();
}

void SensorPlots::clear()
{
    // Clearing is the only way a long history shrinks, so the store and the
    // graphs give their memory back too.
    samples.clear();
    catchUp();
    accPlot->replot();
    gyroPlot->replot();
}

void SensorPlots::catchUp()
{
    for (const PlotPair::Graphs &graphs : {pair->accelerationGraphs(), pair->gyroscopeGraphs()})
        for (HistoryGraph *graph : graphs)
            graph->catchUp();
}

void SensorPlots::setImageFileChooser(const PlotView::ImageFileChooser &chooser)
{
    pair->setImageFileChooser(chooser);
}

#include "moc_sensorplots.cpp"
