#ifndef PYRAMIDGRAPH_H
#define PYRAMIDGRAPH_H

#include "minmaxpyramid.h"

#include <qcustomplot.h>

// A line graph that keeps every point yet draws a view of a long history at
// a cost set by the plot's width: where more than about two points fall on
// one pixel column, only the first and last of them and the smallest and
// largest are drawn, at most four points, the extremes found in a min/max
// pyramid and placed in the middle of the column. Zoomed in closer than that, it draws
// every point, as QCPGraph does. The value range of any key range
// (getValueRange) comes from the pyramid too.
//
// It draws without antialiasing, with line ends rounded to pixels as
// QCustomPlot's fast polylines (phFastPolylines) draw them, so the picture is
// the one that every point would give that way. Where the points of a line
// share a pixel column they are drawn as one vertical line.
//
// The pyramid follows data that grows at its end (addData with rising keys)
// and catches up at the next drawing or range query. Data shrunk or replaced
// otherwise is noticed by its size and its first and last points, and the
// pyramid is built anew from it.
class PyramidGraph : public QCPGraph
{
    Q_OBJECT

public:
    // Like QCPGraph, the graph belongs to the plot of its axes.
    PyramidGraph(QCPAxis *keyAxis, QCPAxis *valueAxis);

    // Removes every point and gives back the memory of the points and the
    // pyramid.
    void clearPoints();

    QCPRange getValueRange(bool &foundRange, QCP::SignDomain inSignDomain = QCP::sdBoth,
                           const QCPRange &inKeyRange = QCPRange()) const override;

protected:
    void getOptimizedLineData(QVector<QCPGraphData> *lineData,
                              const QCPGraphDataContainer::const_iterator &begin,
                              const QCPGraphDataContainer::const_iterator &end) const override;
    void drawLinePlot(QCPPainter *painter, const QVector<QPointF> &lines) const override;

private:
    void catchUp() const;
    MinMaxPyramid::Span span(QCPGraphDataContainer::const_iterator begin,
                             QCPGraphDataContainer::const_iterator end) const;

    // Drawing and range queries are const; the pyramid is a cache of the data.
    mutable MinMaxPyramid pyramid;
    mutable QCPGraphData firstSummarised, lastSummarised;
};

#endif // PYRAMIDGRAPH_H
