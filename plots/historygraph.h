#ifndef HISTORYGRAPH_H
#define HISTORYGRAPH_H

#include "samplekeys.h"
#include "samplestore.h"

#include <qcustomplot.h>

// A line graph of one column of a SampleStore that draws any view of a long
// history as a graph over every sample would, at a cost set by the plot's
// width: where more than about two samples fall on one pixel column, only
// the first and last of them and the smallest and largest are drawn, at
// most four points, the extremes taken from the store's pyramid and placed
// in the middle of the column. Zoomed in closer than that, it draws every
// sample. Value ranges (getValueRange) are the exact extremes of the
// samples in the key range, and selecting by a click finds the curve as
// drawn, old samples included.
//
// It draws lines only, without antialiasing, with line ends rounded to
// pixels as QCustomPlot's fast polylines (phFastPolylines) draw them, so
// the picture is the one that every sample would give that way. Where the
// points of a line share a pixel column they are drawn as one vertical line.
//
// The store holds the samples; the graph's own points (data()) are a copy
// of the newest of them at most, for code that reads a graph's points. They
// follow the store at catchUp() and are not drawn: data handed to the graph
// directly is not shown and is replaced at the next catchUp.
class HistoryGraph : public QCPGraph
{
    Q_OBJECT

public:
    using Index = SampleStore::Index;

    // Like QCPGraph, the graph belongs to the plot of its axes. It draws
    // nothing until it is given a store.
    HistoryGraph(QCPAxis *keyAxis, QCPAxis *valueAxis);

    // Draws column (0 to 5) of store from now on. The graph does not own the
    // store, which must outlive it or be replaced here first; nullptr draws
    // nothing. Follow with catchUp().
    void setStore(const SampleStore *store, int column);

    // Keeps at least the newest `newest` samples of the column as the
    // graph's own points, and at most half as many again: older ones are
    // let go a batch at a time, so that keeping costs little per sample. 0,
    // the default, keeps none.
    void setOwnPoints(int newest);
    // Brings the own points up to the store: adds the samples appended
    // since the last call or, when the store holds fewer samples than
    // then (it was cleared), starts again from its first. An empty store
    // leaves no points, and their memory is given back.
    void catchUp();

    QCPRange getKeyRange(bool &foundRange, QCP::SignDomain inSignDomain = QCP::sdBoth) const override;
    QCPRange getValueRange(bool &foundRange, QCP::SignDomain inSignDomain = QCP::sdBoth,
                           const QCPRange &inKeyRange = QCPRange()) const override;
    double selectTest(const QPointF &pos, bool onlySelectable, QVariant *details = nullptr) const override;

protected:
    void draw(QCPPainter *painter) override;
    void drawLinePlot(QCPPainter *painter, const QVector<QPointF> &lines) const override;

    // The points that a replot draws lines through, in pixel order: the
    // samples in view and one beyond each edge, reduced per pixel column
    // where more than about two share one.
    QVector<QPointF> visibleLines() const;

private:
    class OwnPoints;

    // What the last drawing found in one pixel column of a dense view.
    struct DrawnColumn
    {
        Index first = -1, next = -1;  // the samples [first, next)
        double firstValue = 0, lastValue = 0;
        SampleStore::Span extremes;
        MinMaxPyramid::Blocks blocks;
    };

    QVector<QCPGraphData> visiblePoints() const;
    double valueAt(Index index) const { return store->value(column, index); }
    // The samples with keys in range, as positions [first, last).
    std::pair<Index, Index> positionsIn(const QCPRange &range) const;

    const SampleStore *store = nullptr;
    int column = 0;
    SampleKeys keys;
    // Drawing is const; this is a cache of what the store held.
    mutable std::vector<DrawnColumn> drawnColumns;
    mutable std::uint64_t drawnVersion = 0;

    QSharedPointer<OwnPoints> ownPoints;
    int ownNewest = 0;
    Index ownEnd = 0;  // the position after the newest own point
};

#endif // HISTORYGRAPH_H
