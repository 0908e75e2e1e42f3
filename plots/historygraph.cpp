#include "historygraph.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

// Fills the one-pixel-wide bars of neighbouring pixel columns, given in the
// order drawn, as fewer and wider rectangles that light the same pixels. The
// raster engine pays for each row of a rectangle, however narrow, and a long
// history in view makes a band of tall bars of nearly the same extent. So
// the rows that a run of neighbouring bars all cover become one rectangle
// (the core), and each bar adds only its rows above and below the core.
class BarFiller
{
public:
    BarFiller(QPainter *painter, const QColor &colour) : painter(painter), colour(colour) {}

    void add(int x, int top, int bottom)
    {
        const bool neighbour = open && (x == coreRight + 1 || x == coreLeft - 1);
        if (neighbour && top <= coreTop && bottom >= coreBottom) {
            coreLeft = std::min(coreLeft, x);
            coreRight = std::max(coreRight, x);
        } else {
            closeCore();
            // Shrinking the core to the rows this bar shares with it pays
            // while the shared part is the larger part of the bar.
            const int sharedTop = std::max(top, coreTop);
            const int sharedBottom = std::min(bottom, coreBottom);
            const bool shrink = neighbour && 2 * (sharedBottom - sharedTop + 1) >= bottom - top + 1;
            coreTop = shrink ? sharedTop : top;
            coreBottom = shrink ? sharedBottom : bottom;
            coreLeft = coreRight = x;
            open = true;
        }
        if (top < coreTop)
            fill(x, x, top, coreTop - 1);
        if (bottom > coreBottom)
            fill(x, x, coreBottom + 1, bottom);
    }
    // Fills what is still open; call after the last bar.
    void finish() { closeCore(); }

private:
    void closeCore()
    {
        if (open)
            fill(coreLeft, coreRight, coreTop, coreBottom);
        open = false;
    }
    void fill(int left, int right, int top, int bottom)
    {
        painter->fillRect(QRect(left, top, right - left + 1, bottom - top + 1), colour);
    }

    QPainter *painter;
    QColor colour;
    bool open = false;
    int coreLeft = 0, coreRight = 0, coreTop = 0, coreBottom = 0;
};

} // namespace

// Holds a copy of the newest samples in place: appended at the end, let go
// from the front, and keeping its memory for what comes next.
class HistoryGraph::OwnPoints : public QCPGraphDataContainer
{
public:
    // Appends a point whose key is not below the last one.
    void append(const QCPGraphData &point) { mData.append(point); }
    // Keeps the newest `newest` points and lets the older ones go.
    void keepNewest(int newest)
    {
        if (size() <= newest)
            return;
        // Moved as bytes: the points are plain data.
        QCPGraphData *const first = mData.data() + mPreallocSize;
        std::memmove(first, first + (size() - newest), size_t(newest) * sizeof(QCPGraphData));
        mData.resize(mPreallocSize + newest);
    }
};

HistoryGraph::HistoryGraph(QCPAxis *keyAxis, QCPAxis *valueAxis)
    : QCPGraph(keyAxis, valueAxis)
    , ownPoints(QSharedPointer<OwnPoints>::create())
{
    setData(ownPoints);
    // Antialiased, thousands of overlapping segments blend into a solid
    // band that a few segments per column cannot give; aliased, both light
    // the same pixels. QCustomPlot's performance notes advise it anyway.
    setAntialiased(false);
}

void HistoryGraph::setStore(const SampleStore *newStore, int newColumn)
{
    store = newStore;
    column = newColumn;
    ownPoints->clear();
    ownEnd = 0;
    drawnColumns.clear();
}

void HistoryGraph::setOwnPoints(int newest)
{
    ownNewest = std::max(newest, 0);
    ownPoints->keepNewest(ownNewest);
    if (ownNewest == 0)
        ownPoints->squeeze();
}

void HistoryGraph::catchUp()
{
    const Index stored = store ? store->size() : 0;
    if (stored == 0) {
        ownPoints->clear();
        ownPoints->squeeze();
        ownEnd = 0;
        return;
    }
    // Points held that are not among the newest to keep, or that belong to
    // samples since cleared, go at once.
    const Index from = std::max<Index>(0, stored - ownNewest);
    if (stored < ownEnd || ownEnd < from) {
        ownPoints->clear();
        ownEnd = from;
    }
    if (ownNewest > 0 && ownEnd < stored) {
        // One point made and filled in: QCPGraphData's constructors are
        // calls into the library.
        QCPGraphData point;
        for (Index i = ownEnd; i < stored; ++i) {
            point.key = keys.keyOf(i);
            point.value = valueAt(i);
            ownPoints->append(point);
        }
        if (ownPoints->size() >= ownNewest + ownNewest / 2)
            ownPoints->keepNewest(ownNewest);
    }
    ownEnd = stored;
}

std::pair<HistoryGraph::Index, HistoryGraph::Index> HistoryGraph::positionsIn(const QCPRange &range) const
{
    const Index count = store->size();
    const Index first = keys.firstFrom(range.lower, 0, count);
    return {first, keys.firstAbove(range.upper, first, count)};
}

QCPRange HistoryGraph::getKeyRange(bool &foundRange, QCP::SignDomain inSignDomain) const
{
    const Index count = store ? store->size() : 0;
    Index first = 0, last = count - 1;
    if (inSignDomain == QCP::sdPositive)
        first = keys.firstAbove(0, 0, count);
    else if (inSignDomain == QCP::sdNegative)
        last = keys.firstFrom(0, 0, count) - 1;
    foundRange = first <= last;
    return foundRange ? QCPRange(keys.keyOf(first), keys.keyOf(last)) : QCPRange();
}

QCPRange HistoryGraph::getValueRange(bool &foundRange, QCP::SignDomain inSignDomain,
                                     const QCPRange &inKeyRange) const
{
    foundRange = false;
    if (!store)
        return QCPRange();
    // As in QCustomPlot, an empty key range means all of the samples.
    const auto [first, last] = inKeyRange == QCPRange() ? std::pair<Index, Index>(0, store->size())
                                                        : positionsIn(inKeyRange);
    SampleStore::Span span;
    if (inSignDomain == QCP::sdBoth) {
        span = store->span(column, first, last);
    } else {
        // The pyramid does not know the sign of its values; only a
        // logarithmic axis asks for one sign.
        for (Index i = first; i < last; ++i) {
            const int16_t value = store->value(column, i);
            if (inSignDomain == QCP::sdPositive ? value > 0 : value < 0)
                span.include({value, value});
        }
    }
    foundRange = span.found();
    return foundRange ? QCPRange(span.min, span.max) : QCPRange();
}

QVector<QCPGraphData> HistoryGraph::visiblePoints() const
{
    QVector<QCPGraphData> points;
    QCPAxis *keyAxis = mKeyAxis.data();
    if (!store || store->empty() || !keyAxis)
        return points;
    // One sample beyond each edge of the view, as QCPGraph draws, so that
    // the line runs on to the border.
    auto [begin, end] = positionsIn(keyAxis->range());
    begin = std::max<Index>(begin - 1, 0);
    end = std::min(end + 1, store->size());

    // The same threshold as QCustomPlot's adaptive sampling: below it every
    // sample is drawn.
    const double firstPixel = keyAxis->coordToPixel(keys.keyOf(begin));
    const double lastPixel = keyAxis->coordToPixel(keys.keyOf(end - 1));
    if (end - begin <= 2 * std::abs(lastPixel - firstPixel) + 2) {
        points.reserve(end - begin);
        for (Index i = begin; i < end; ++i)
            points.append(QCPGraphData(keys.keyOf(i), valueAt(i)));
        return points;
    }

    // Redrawn over nearly the same view, most columns hold the same samples
    // as the last time, and the rest the same whole blocks of the pyramid.
    if (drawnVersion != store->version()) {
        drawnColumns.clear();
        drawnVersion = store->version();
    }
    const bool pixelsRise = lastPixel >= firstPixel;
    points.reserve(4 * (int(std::abs(lastPixel - firstPixel)) + 2));
    for (Index first = begin, ordinal = 0; first < end; ++ordinal) {
        // The samples drawn into the same pixel column as this one. Line
        // ends go to the nearest pixel, so a column's borders lie half-way
        // between pixel centres.
        const double column = std::floor(keyAxis->coordToPixel(keys.keyOf(first)) + 0.5);
        const double border = keyAxis->pixelToCoord(pixelsRise ? column + 0.5 : column - 0.5);
        const Index next = pixelsRise ? keys.firstFrom(border, first + 1, end)
                                      : keys.firstAbove(border, first + 1, end);
        if (drawnColumns.size() == size_t(ordinal))
            drawnColumns.emplace_back();
        DrawnColumn &drawn = drawnColumns[size_t(ordinal)];
        if (drawn.first != first || drawn.next != next) {
            drawn.first = first;
            drawn.next = next;
            drawn.firstValue = valueAt(first);
            drawn.lastValue = valueAt(next - 1);
            if (next - first > 2)
                drawn.extremes = store->span(this->column, first, next, drawn.blocks);
        }

        points.append(QCPGraphData(keys.keyOf(first), drawn.firstValue));
        if (next - first > 2) {
            // All of the column's samples land on one pixel column, so the
            // extremes can be visited in the order that draws the least:
            // down first when the column ends higher than it starts.
            const double middle = keyAxis->pixelToCoord(column);
            const bool rising = drawn.firstValue <= drawn.lastValue;
            const double towards = rising ? drawn.extremes.min : drawn.extremes.max;
            const double away = rising ? drawn.extremes.max : drawn.extremes.min;
            if (towards != drawn.firstValue)
                points.append(QCPGraphData(middle, towards));
            if (away != drawn.lastValue)
                points.append(QCPGraphData(middle, away));
        }
        if (next - first > 1)
            points.append(QCPGraphData(keys.keyOf(next - 1), drawn.lastValue));
        first = next;
    }
    return points;
}

QVector<QPointF> HistoryGraph::visibleLines() const
{
    if (!mKeyAxis || !mValueAxis)
        return {};
    QVector<QCPGraphData> points = visiblePoints();
    // As QCPGraph draws: key pixels ascending.
    if (mKeyAxis->rangeReversed() != (mKeyAxis->orientation() == Qt::Vertical))
        std::reverse(points.begin(), points.end());
    return dataToLines(points);
}

void HistoryGraph::draw(QCPPainter *painter)
{
    if (!mKeyAxis || !mValueAxis || mKeyAxis->range().size() <= 0 || mLineStyle == lsNone)
        return;
    const QVector<QPointF> lines = visibleLines();
    // A selected graph is selected whole.
    if (selected() && mSelectionDecorator)
        mSelectionDecorator->applyPen(painter);
    else
        painter->setPen(mPen);
    painter->setBrush(Qt::NoBrush);
    drawLinePlot(painter, lines);
    if (mSelectionDecorator)
        mSelectionDecorator->drawDecoration(painter, selection());
}

double HistoryGraph::selectTest(const QPointF &pos, bool onlySelectable, QVariant *details) const
{
    if ((onlySelectable && mSelectable == QCP::stNone) || !store || store->empty() || !mKeyAxis
        || !mValueAxis || mLineStyle == lsNone)
        return -1;
    if (!mKeyAxis->axisRect()->rect().contains(pos.toPoint())
        && !mParentPlot->interactions().testFlag(QCP::iSelectPlottablesBeyondAxisRect))
        return -1;

    // The distance to the curve as drawn: to its points and its segments.
    const QVector<QPointF> lines = visibleLines();
    const QCPVector2D at(pos);
    double nearest = std::numeric_limits<double>::max();
    for (int i = 0; i < lines.size(); ++i) {
        if (qIsNaN(lines[i].y()))
            continue;
        nearest = std::min(nearest, (at - QCPVector2D(lines[i])).lengthSquared());
        if (i + 1 < lines.size() && !qIsNaN(lines[i + 1].y()))
            nearest = std::min(nearest, at.distanceSquaredToLine(QCPVector2D(lines[i]), QCPVector2D(lines[i + 1])));
    }
    if (nearest == std::numeric_limits<double>::max())
        return -1;
    if (details)
        details->setValue(QCPDataSelection(QCPDataRange(0, 1)));
    return std::sqrt(nearest);
}

void HistoryGraph::drawLinePlot(QCPPainter *painter, const QVector<QPointF> &lines) const
{
    // A vector export keeps the exact coordinates; antialiased lines blend
    // where they overlap, so merging them would change the picture.
    if (painter->modes().testFlag(QCPPainter::pmVectorized) || antialiased()) {
        QCPGraph::drawLinePlot(painter, lines);
        return;
    }
    if (painter->pen().style() == Qt::NoPen || painter->pen().color().alpha() == 0)
        return;
    applyDefaultAntialiasingHint(painter);

    // Drawn one by one, the segments between points on one pixel column
    // light that column from the lowest to the highest of them, and a
    // segment between columns lights the same pixels whatever came before.
    // So each run of points on one column becomes one vertical bar, and runs
    // are joined by the real segment between them. On a device without
    // scaling a bar is a one-pixel-wide rectangle, which the painter fills
    // row by row far faster than it steps along a line.
    auto drawable = [](const QPointF &p) { return !qIsNaN(p.x()) && !qIsNaN(p.y()); };
    const bool barsAsRectangles = painter->deviceTransform().type() == QTransform::TxNone
                                  && painter->pen().style() == Qt::SolidLine
                                  && painter->pen().brush().style() == Qt::SolidPattern;
    QVector<QLine> segments;
    BarFiller bars(painter, painter->pen().color());
    segments.reserve(2 * int(painter->device()->width()) + 8);
    bool joined = false;
    QPoint previousEnd;
    for (int i = 0; i < lines.size();) {
        if (!drawable(lines[i])) {
            joined = false;
            ++i;
            continue;
        }
        const QPoint start = lines[i].toPoint();
        QPoint end = start;
        int top = start.y(), bottom = start.y();
        int j = i + 1;
        for (; j < lines.size() && drawable(lines[j]) && qRound(lines[j].x()) == start.x(); ++j) {
            end = lines[j].toPoint();
            top = std::min(top, end.y());
            bottom = std::max(bottom, end.y());
        }
        if (joined)
            segments.append(QLine(previousEnd, start));
        if (j > i + 1) {
            if (barsAsRectangles)
                bars.add(start.x(), top, bottom);
            else
                segments.append(QLine(start.x(), top, start.x(), bottom));
        }
        previousEnd = end;
        joined = true;
        i = j;
    }
    bars.finish();
    painter->drawLines(segments);
}
