#ifndef RECORDINGPLOTS_H
#define RECORDINGPLOTS_H

#include "plotview.h"
#include "samplekeys.h"

#include <QObject>

class PlotPair;
class QCustomPlot;
class QWidget;
class SampleStore;
class SampleTimes;

// The acceleration and gyroscope plots of a recording (PlotPair), against a
// clock-time axis: the local time of day, with the date where the view
// spans days and milliseconds where it spans seconds. Both plots show the
// same stretch of time, one above the other, each time at the same pixel
// on both: dragging or zooming one moves the other. A plot
// whose value axis the user keeps fitted refits as the time axis moves.
class RecordingPlots : public QObject
{
    Q_OBJECT

public:
    using Index = std::int64_t;

    // Builds both plots, empty, as children of parent, the acceleration plot
    // above the gyroscope plot in parent's layout.
    explicit RecordingPlots(QWidget *parent);

    QCustomPlot *accelerationPlot() const;
    QCustomPlot *gyroscopePlot() const;

    // Draws samples at times from now on (both must outlive the plots or be
    // replaced here first) and shows all of them, the value axes fitted.
    void show(const SampleStore *samples, const SampleTimes *times);

    // The sample nearest to key on the time axis; -1 when there is none.
    Index nearest(double key) const;

    void setImageFileChooser(const PlotView::ImageFileChooser &chooser);

signals:
    // The pointer is over a plot's data area, nearest to sample; -1 when it
    // left it.
    void pointedAt(qint64 sample);
    // A line for the user from one of the plot views.
    void message(const QString &text);

private:
    void follow(QCustomPlot *plot, QCustomPlot *other, PlotView *view);
    void alignTimeAxes();

    PlotPair *pair;
    const SampleStore *store = nullptr;
    SampleKeys keys;
};

#endif // RECORDINGPLOTS_H
