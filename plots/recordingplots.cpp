#include "recordingplots.h"

#include "plotpair.h"
#include "samplestore.h"

#include <qcustomplot.h>

#include <QLayout>

#include <cmath>

namespace {

// Local clock time, with as much of the date and of the second as the
// distance between ticks calls for.
class ClockTicker : public QCPAxisTickerDateTime
{
protected:
    double getTickStep(const QCPRange &range) override
    {
        const double step = QCPAxisTickerDateTime::getTickStep(range);
        const double day = 86400;
        if (step >= day)
            setDateTimeFormat(QStringLiteral("ddd dd.MM."));
        else if (range.size() >= day)
            setDateTimeFormat(QStringLiteral("dd.MM. hh:mm"));
        else if (step >= 60)
            setDateTimeFormat(QStringLiteral("hh:mm"));
        else if (step >= 1)
            setDateTimeFormat(QStringLiteral("hh:mm:ss"));
        else
            setDateTimeFormat(QStringLiteral("hh:mm:ss.zzz"));
        return step;
    }
};

} // namespace

RecordingPlots::RecordingPlots(QWidget *parent)
    : QObject(parent)
    , pair(new PlotPair(parent, nullptr))
{
    const QSharedPointer<QCPAxisTicker> ticker(new ClockTicker);
    for (QCustomPlot *plot : {accelerationPlot(), gyroscopePlot()}) {
        if (parent->layout())
            parent->layout()->addWidget(plot);
        plot->xAxis->setTicker(ticker);
        // The pointer is followed without a button held.
        plot->setMouseTracking(true);
        connect(plot, &QCustomPlot::mouseMove, this, [this, plot](QMouseEvent *event) {
            const QPointF at = event->position();
            if (!plot->axisRect()->rect().contains(at.toPoint())) {
                emit pointedAt(-1);
                return;
            }
            emit pointedAt(nearest(plot->xAxis->pixelToCoord(at.x())));
        });
    }
    follow(accelerationPlot(), gyroscopePlot(), pair->accelerationView());
    follow(gyroscopePlot(), accelerationPlot(), pair->gyroscopeView());
    // One above the other, a time lies at the same pixel on both plots: the
    // data areas take the same margins, the wider of the two.
    for (QCustomPlot *plot : {accelerationPlot(), gyroscopePlot()})
        connect(plot, &QCustomPlot::afterReplot, this, &RecordingPlots::alignTimeAxes);
    connect(pair, &PlotPair::message, this, &RecordingPlots::message);
}

QCustomPlot *RecordingPlots::accelerationPlot() const
{
    return pair->accelerationPlot();
}

QCustomPlot *RecordingPlots::gyroscopePlot() const
{
    return pair->gyroscopePlot();
}

void RecordingPlots::follow(QCustomPlot *plot, QCustomPlot *other, PlotView *view)
{
    connect(plot->xAxis, qOverload<const QCPRange &>(&QCPAxis::rangeChanged), this,
            [plot, other, view](const QCPRange &range) {
                view->followData();
                // An equal range changes nothing, so the other plot's
                // answer ends here.
                if (other->xAxis->range() != range) {
                    other->xAxis->setRange(range);
                    other->replot(QCustomPlot::rpQueuedReplot);
                }
                plot->replot(QCustomPlot::rpQueuedReplot);
            });
}

void RecordingPlots::alignTimeAxes()
{
    QCPAxisRect *acc = accelerationPlot()->axisRect(), *gyro = gyroscopePlot()->axisRect();
    const int left = std::max(acc->margins().left(), gyro->margins().left());
    const int right = std::max(acc->margins().right(), gyro->margins().right());
    for (QCPAxisRect *rect : {acc, gyro}) {
        if (rect->margins().left() == left && rect->margins().right() == right)
            continue;
        rect->setMinimumMargins(QMargins(left, 0, right, 0));
        rect->parentPlot()->replot(QCustomPlot::rpQueuedReplot);
    }
}

void RecordingPlots::show(const SampleStore *samples, const SampleTimes *times)
{
    store = samples;
    keys = SampleKeys(times);
    pair->setStore(samples, times);
    pair->accelerationView()->fitBothAxes();
    pair->gyroscopeView()->fitBothAxes();
}

RecordingPlots::Index RecordingPlots::nearest(double key) const
{
    const Index count = store ? store->size() : 0;
    if (count == 0)
        return -1;
    const Index after = keys.firstFrom(key, 0, count);
    if (after == 0)
        return 0;
    if (after == count)
        return count - 1;
    return key - keys.keyOf(after - 1) <= keys.keyOf(after) - key ? after - 1 : after;
}

void RecordingPlots::setImageFileChooser(const PlotView::ImageFileChooser &chooser)
{
    pair->setImageFileChooser(chooser);
}

#include "moc_recordingplots.cpp"
