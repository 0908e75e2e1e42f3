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
//
// A history too long to keep whole can be folded (setFullResolution): the
// newest points stay as they were added, and older ones are replaced, a
// large batch at a time, by their outline, which is what a view where one
// pixel column spans 32 or more of them draws anyway. The outline of each
// block of 32 points is four of them, in key order and with their own keys:
// the first, the lowest, the highest and the last. Zoomed into folded data,
// the graph draws the outline, and value ranges there are those of the
// outline, which are the exact extremes of whole blocks. An outline is never
// folded again.
class PyramidGraph : public QCPGraph
{
    Q_OBJECT

public:
    // Points in a folded block, and the points of its outline.
    static constexpr int foldedBlock = 32;
    static constexpr int outlinePoints = 4;

    // Like QCPGraph, the graph belongs to the plot of its axes.
    PyramidGraph(QCPAxis *keyAxis, QCPAxis *valueAxis);

    // Removes every point, folded ones too, and gives back the memory of the
    // points and the pyramid.
    void clearPoints();

    // From now on addPoint keeps at least the newest `newest` points as they
    // were added and folds older ones, a batch of about a quarter of that at
    // a time, so that folding costs little per point. 0, the default, keeps
    // every point.
    void setFullResolution(int newest);
    // Adds a point after the last one, as addData(key, value) does, then
    // folds a batch if as many points beyond those kept are waiting.
    void addPoint(double key, double value);

    // The points added that have been folded, and the time the folds took,
    // since construction or the last clearPoints.
    qint64 foldedCount() const { return foldedSamples; }
    qint64 foldNanoseconds() const { return foldTime; }

    QCPRange getValueRange(bool &foundRange, QCP::SignDomain inSignDomain = QCP::sdBoth,
                           const QCPRange &inKeyRange = QCPRange()) const override;

protected:
    void getOptimizedLineData(QVector<QCPGraphData> *lineData,
                              const QCPGraphDataContainer::const_iterator &begin,
                              const QCPGraphDataContainer::const_iterator &end) const override;
    void drawLinePlot(QCPPainter *painter, const QVector<QPointF> &lines) const override;

private:
    class Points;

    void fold(int count);
    void catchUp() const;
    MinMaxPyramid::Span span(QCPGraphDataContainer::const_iterator begin,
                             QCPGraphDataContainer::const_iterator end) const;

    // Drawing and range queries are const; the pyramid is a cache of the data.
    mutable MinMaxPyramid pyramid;
    mutable QCPGraphData firstSummarised, lastSummarised;

    // The container the graph was built with, which can remove points by
    // position; the outlines lie at its front, up to lastOutline.
    QSharedPointer<Points> points;
    int fullResolution = 0;
    int foldBatch = 0;
    int outlineCount = 0;
    QCPGraphData lastOutline;
    qint64 foldedSamples = 0;
    qint64 foldTime = 0;
};

#endif // PYRAMIDGRAPH_H
