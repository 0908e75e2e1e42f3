#ifndef PLOTPAIR_H
#define PLOTPAIR_H

#include "plotview.h"

#include <QObject>

#include <array>

class HistoryGraph;
class QCustomPlot;
class QWidget;
class SampleStore;
class SampleTimes;

// The acceleration and gyroscope plots, three curves each (X blue, Y green,
// Z red), that draw the six columns of a SampleStore, configured alike
// wherever they are shown: title, "Time" and "Magnitude" axes in a closed
// box, dotted grid, legend in the window's font at 10 points, dragging,
// zooming and selecting by mouse, the background colour, and each plot's
// view menu (PlotView). Graph indexes are fixed: 0 is X, 1 is Y, 2 is Z.
class PlotPair : public QObject
{
    Q_OBJECT

public:
    using Graphs = std::array<HistoryGraph *, 3>;  // X, Y, Z

    // Builds both plots as direct children of parent, which owns them and
    // this object, drawing store and times as HistoryGraph::setStore says;
    // parent places them.
    PlotPair(QWidget *parent, const SampleStore *store, const SampleTimes *times = nullptr);

    QCustomPlot *accelerationPlot() const { return accPlot; }
    QCustomPlot *gyroscopePlot() const { return gyroPlot; }
    PlotView *accelerationView() const { return accView; }
    PlotView *gyroscopeView() const { return gyroView; }
    const Graphs &accelerationGraphs() const { return accGraphs; }
    const Graphs &gyroscopeGraphs() const { return gyroGraphs; }

    // Has the six graphs draw store and times from now on, as in the
    // constructor.
    void setStore(const SampleStore *store, const SampleTimes *times = nullptr);
    void setImageFileChooser(const PlotView::ImageFileChooser &chooser);

signals:
    // A line for the user from one of the plot views.
    void message(const QString &text);

private:
    // The three graphs of plot, named prefix_Xaxis, prefix_Yaxis, prefix_Zaxis.
    static Graphs addGraphs(QCustomPlot *plot, const QString &prefix);

    QCustomPlot *accPlot;
    QCustomPlot *gyroPlot;
    PlotView *accView;
    PlotView *gyroView;
    Graphs accGraphs{};
    Graphs gyroGraphs{};
};

#endif // PLOTPAIR_H
