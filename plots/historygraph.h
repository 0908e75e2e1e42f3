#ifndef HISTORYGRAPH_H
#define HISTORYGRAPH_H

#include "samplekeys.h"
#include "samplestore.h"

#include <qcustomplot.h>

#include <memory>

// A line graph of one column of a SampleStore that draws any view of a long
// history as a graph over every sample would, at a cost set by the plot's
// width: where more than about two samples fall on one pixel column, only
// the first and last of them and the smallest and largest are drawn, at
// most four points, the extremes taken from the store's pyramid and placed
// in the middle of the column. Zoomed in closer than that, it draws every
// sample. Value ranges (getValueRange) are the exact extremes of the
// samples in the key range, and selecting by a click finds the curve as
// drawn, old samples included. Where the history breaks (SampleKeys), the
// line stops and begins again after the gap.
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

    // Draws column (0 to 5) of store from now on, each sample at the key
    // that times gives it, and a gap at each break of times; without times,
    // sample i at key i. The graph does not own the store or the times, which
    // must outlive it or be replaced here first, and which must hold the
    // same samples; a nullptr store draws nothing. Follow with catchUp().
    void setStore(const SampleStore *store, int column, const SampleTimes *times = nullptr);

    // Works out which samples fall into which pixel column of a view, what
    // a graph does before it draws a dense view, together with other from
    // now on: once for the view they both show. It serves graphs on any
    // plot whose time axis spans the same range over the same pixels.
    void shareColumns(const HistoryGraph &other);

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
    class Columns;

    // What the last drawing found in one pixel column of a dense view.
    struct DrawnColumn
    {
        Index first = -1, next = -1;  // the samples [first, next)
        double firstValue = 0, lastValue = 0;
        SampleStore::Span extremes;
        MinMaxPyramid::Blocks blocks;
    };

    // The points of a view sparse enough to draw every sample.
    QVector<QCPGraphData> everySample(const Columns &view) const;
    // The lines of a view dense enough to be drawn by pixel columns, in the
    // order of the samples.
    QVector<QPointF> columnLines(const Columns &view) const;
    double valueAt(Index index) const { return store->value(column, index); }
    // The samples with keys in range, as positions [first, last).
    std::pair<Index, Index> positionsIn(const QCPRange &range) const;

    const SampleStore *store = nullptr;
    int column = 0;
    SampleKeys keys;
    std::shared_ptr<Columns> columns;
    // Drawing is const; this is a cache of what the store held, in the
    // order of the samples, and room for the next.
    mutable std::vector<DrawnColumn> drawnColumns;
    mutable std::vector<DrawnColumn> spareColumns;
    mutable std::uint64_t drawnVersion = 0;

    QSharedPointer<OwnPoints> ownPoints;
    int ownNewest = 0;
    Index ownEnd = 0;  // the position after the newest own point
};

#endif // HISTORYGRAPH_H
