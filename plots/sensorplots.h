#ifndef SENSORPLOTS_H
#define SENSORPLOTS_H

#include "imusample.h"
#include "plotpair.h"
#include "plotview.h"
#include "samplestore.h"

#include <QObject>
#include <QRect>

class QCustomPlot;
class QWidget;

// The acceleration and gyroscope plots of the main window, three curves
// each (X, Y, Z): built once as children of the window, laid out by the
// plots chosen, fed one sample at a time with the time axes following the
// data, and cleared. Every sample drawn since the last clear is kept
// exactly, in a SampleStore that the six graphs of a PlotPair draw from.
class SensorPlots : public QObject
{
    Q_OBJECT

public:
    // The newest samples that each graph also keeps as its own points, for
    // code that reads a graph's data: about four hours at the line's rate.
    static constexpr int ownPoints = 1 << 20;

    // How the time axes move at each drawn sample.
    enum class TimeAxis {
        Stays,           // where it was, or where the user dragged it
        FollowsNewest,   // the newest 200 samples and room for 20 more
        ShowsAll,        // every sample and a fifth more room
    };

    // Builds both plots as direct children of window, which owns them and
    // this object; both stay unplaced until layOut.
    explicit SensorPlots(QWidget *window);

    // Shows the chosen plots in the area given by setArea, one above the
    // other in equal halves when both are chosen, and hides the others. The
    // graphs and their samples are kept.
    void layOut(bool acceleration, bool gyroscope);
    // The part of the window the shown plots fill, in the window's
    // coordinates; the plots are placed there at once.
    void setArea(const QRect &area);

    // Appends one sample at time samplesDrawn(), without moving the axes or
    // replotting: for a batch of samples that showNewest() then shows.
    void append(const ImuSample &sample);
    // Brings the graphs' own points up to the samples appended, moves the
    // time axes to the newest sample and replots both plots, hidden ones
    // too.
    void showNewest(TimeAxis timeAxis);

    // Forgets every sample and gives the memory back; the axis ranges stay.
    void clear();

    // Samples drawn since construction or the last clear: the time of the
    // next sample.
    int samplesDrawn() const { return int(samples.size()); }
    // Every sample drawn since construction or the last clear.
    const SampleStore &history() const { return samples; }

    PlotView *accelerationView() const { return pair->accelerationView(); }
    PlotView *gyroscopeView() const { return pair->gyroscopeView(); }
    void setImageFileChooser(const PlotView::ImageFileChooser &chooser);

signals:
    // A line for the user from one of the plot views.
    void message(const QString &text);

private:
    static void followTime(QCustomPlot *plot, TimeAxis timeAxis, double last);

    void place();
    // Has each graph's own points follow the store.
    void catchUp();

    PlotPair *pair;
    QCustomPlot *accPlot;
    QCustomPlot *gyroPlot;

    SampleStore samples;
    bool showAcceleration = false;
    bool showGyroscope = false;
    QRect area;
};

#endif // SENSORPLOTS_H
