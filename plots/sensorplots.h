#ifndef SENSORPLOTS_H
#define SENSORPLOTS_H

#include "imusample.h"
#include "plotview.h"

#include <QObject>
#include <QRect>

#include <array>
#include <cstdint>

class PyramidGraph;
class QCustomPlot;
class QWidget;

// The acceleration and gyroscope plots of the main window, three curves
// each (X, Y, Z): built once as children of the window, laid out by the
// plots chosen, fed one sample at a time with the time axes following the
// data, and cleared. Every sample drawn since the last clear is kept in the
// graphs: the newest fullResolution of them as they were drawn, older ones
// folded into their outline (PyramidGraph), which is what a view of them
// draws anyway once a pixel column spans 32 samples.
class SensorPlots : public QObject
{
    Q_OBJECT

public:
    // Samples per graph always kept as drawn: about four hours at the
    // line's rate.
    static constexpr int fullResolution = 1 << 20;

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

    // Appends one sample at time sampleCount, without moving the axes or
    // replotting: for a batch of samples that showNewest() then shows.
    void append(const ImuSample &sample);
    // Moves the time axes to the newest sample and replots both plots,
    // hidden ones too.
    void showNewest(TimeAxis timeAxis);

    // Empties the graphs; the axis ranges stay.
    void clear();

    // Samples drawn since construction or the last clear: the time of the
    // next sample.
    int samplesDrawn() const { return sampleCount; }

    PlotView *accelerationView() const { return accView; }
    PlotView *gyroscopeView() const { return gyroView; }
    void setImageFileChooser(const PlotView::ImageFileChooser &chooser);

signals:
    // A line for the user from one of the plot views.
    void message(const QString &text);

private:
    using Graphs = std::array<PyramidGraph *, 3>;  // X, Y, Z

    Graphs addGraphs(QCustomPlot *plot, const QString &prefix);
    // Appends the X, Y and Z values of a sample at time to the graphs of
    // one plot.
    static void appendTo(const Graphs &graphs, double time, const std::array<int16_t, 3> &values);
    static void followTime(QCustomPlot *plot, TimeAxis timeAxis, double last);

    void place();

    QCustomPlot *accPlot;
    QCustomPlot *gyroPlot;
    PlotView *accView;
    PlotView *gyroView;
    Graphs accGraphs{};
    Graphs gyroGraphs{};

    int sampleCount = 0;
    bool showAcceleration = false;
    bool showGyroscope = false;
    QRect area;
};

#endif // SENSORPLOTS_H
