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
    // Fills what is still open, and all in one call; call after the last
    // bar.
    void finish()
    {
        closeCore();
        if (rects.isEmpty())
            return;
        painter->save();
        painter->setPen(Qt::NoPen);
        painter->setBrush(colour);
        painter->drawRects(rects);
        painter->restore();
    }

private:
    void closeCore()
    {
        if (open)
            fill(coreLeft, coreRight, coreTop, coreBottom);
        open = false;
    }
    void fill(int left, int right, int top, int bottom)
    {
        rects.append(QRect(left, top, right - left + 1, bottom - top + 1));
    }

    QPainter *painter;
    QVector<QRect> rects;
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

// The samples of a view by pixel column, worked out once for every graph
// that draws the same samples at the same keys over the same pixels.
class HistoryGraph::Columns
{
public:
    struct Column
    {
        Index first = 0, next = 0;  // the samples [first, next)
        double pixel = 0;           // the column's centre
        bool afterBreak = false;    // the history breaks before first
    };

    // Works out the view of keyAxis over store at keys, unless it is the
    // one worked out last.
    void update(const SampleStore &store, const SampleKeys &keys, const QCPAxis &keyAxis);

    // The samples drawn: those in view and one beyond each edge, so that
    // the line runs on to the border, as QCPGraph draws.
    Index begin = 0, end = 0;
    // Few enough samples to draw each of them, as QCustomPlot's adaptive
    // sampling judges: not above two per pixel.
    bool everySample = true;
    // Otherwise the samples of each pixel column, in the order of the
    // samples, and none spanning a break.
    std::vector<Column> columns;

private:
    struct View
    {
        const SampleStore *store = nullptr;
        Index size = 0;
        std::uint64_t version = 0;
        SampleKeys keys;
        // Two points fix where every key lies: the axis' range, its place
        // and its length in pixels, and its direction.
        double keyAtPixel0 = 0, keyAtPixel1 = 0;
        int scaleType = 0;

        bool operator==(const View &other) const
        {
            return store == other.store && size == other.size && version == other.version && keys == other.keys
                   && keyAtPixel0 == other.keyAtPixel0 && keyAtPixel1 == other.keyAtPixel1
                   && scaleType == other.scaleType;
        }
    };
    View worked;
    bool valid = false;
};

void HistoryGraph::Columns::update(const SampleStore &store, const SampleKeys &keys, const QCPAxis &keyAxis)
{
    const View view{&store, store.size(), store.version(), keys, keyAxis.pixelToCoord(0), keyAxis.pixelToCoord(1),
                    int(keyAxis.scaleType())};
    if (valid && view == worked)
        return;
    worked = view;
    valid = true;
    columns.clear();

    const Index count = store.size();
    begin = keys.firstFrom(keyAxis.range().lower, 0, count);
    end = keys.firstAbove(keyAxis.range().upper, begin, count);
    begin = std::max<Index>(begin - 1, 0);
    end = std::min(end + 1, count);
    const double firstPixel = keyAxis.coordToPixel(keys.keyOf(begin));
    const double lastPixel = keyAxis.coordToPixel(keys.keyOf(end - 1));
    everySample = end - begin <= 2 * std::abs(lastPixel - firstPixel) + 2;
    if (everySample)
        return;

    const bool pixelsRise = lastPixel >= firstPixel;
    Index nextBreak = keys.nextBreak(begin, end);
    // The samples drawn into one pixel column: those from first to the
    // first whose key lies beyond the column's far border. Line ends go to
    // the nearest pixel, so a column's borders lie half-way between pixel
    // centres, and every point of a column may be drawn at its centre.
    const auto beyond = [&](double column, Index from) {
        const double border = keyAxis.pixelToCoord(pixelsRise ? column + 0.5 : column - 0.5);
        return pixelsRise ? keys.firstFrom(border, from, nextBreak) : keys.firstAbove(border, from, nextBreak);
    };
    const auto columnOf = [&](Index i) { return std::floor(keyAxis.coordToPixel(keys.keyOf(i)) + 0.5); };
    columns.reserve(size_t(std::abs(lastPixel - firstPixel)) + 2);
    Column next{begin, 0, columnOf(begin), false};
    next.next = beyond(next.pixel, begin + 1);
    for (;;) {
        columns.push_back(next);
        const Index first = next.next;
        if (first >= end)
            break;
        // No column spans a break.
        next.afterBreak = first == nextBreak;
        if (next.afterBreak)
            nextBreak = keys.nextBreak(first, end);
        // Where the history is dense, the next sample lies in the next
        // column, which one search finds; otherwise its own key tells.
        next.first = first;
        next.pixel += pixelsRise ? 1 : -1;
        next.next = beyond(next.pixel, first);
        if (next.next == first) {
            next.pixel = columnOf(first);
            next.next = beyond(next.pixel, first + 1);
        }
    }
}

HistoryGraph::HistoryGraph(QCPAxis *keyAxis, QCPAxis *valueAxis)
    : QCPGraph(keyAxis, valueAxis)
    , columns(std::make_shared<Columns>())
    , ownPoints(QSharedPointer<OwnPoints>::create())
{
    setData(ownPoints);
    // Antialiased, thousands of overlapping segments blend into a solid
    // band that a few segments per column cannot give; aliased, both light
    // the same pixels. QCustomPlot's performance notes advise it anyway.
    setAntialiased(false);
}

void HistoryGraph::setStore(const SampleStore *newStore, int newColumn, const SampleTimes *times)
{
    store = newStore;
    column = newColumn;
    keys = SampleKeys(times);
    ownPoints->clear();
    ownEnd = 0;
    drawnColumns.clear();
}

void HistoryGraph::shareColumns(const HistoryGraph &other)
{
    columns = other.columns;
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

QVector<QPointF> HistoryGraph::visibleLines() const
{
    QCPAxis *keyAxis = mKeyAxis.data();
    if (!store || store->empty() || !keyAxis || !mValueAxis)
        return {};
    columns->update(*store, keys, *keyAxis);
    const Columns &view = *columns;
    QVector<QPointF> lines = view.everySample ? dataToLines(everySample(view)) : columnLines(view);
    // As QCPGraph draws: key pixels ascending.
    if (keyAxis->rangeReversed() != (keyAxis->orientation() == Qt::Vertical))
        std::reverse(lines.begin(), lines.end());
    return lines;
}

QVector<QCPGraphData> HistoryGraph::everySample(const Columns &view) const
{
    QVector<QCPGraphData> points;
    points.reserve(view.end - view.begin + 1);
    for (Index i = view.begin, nextBreak = keys.nextBreak(view.begin, view.end); i < view.end; ++i) {
        // A point without a value before each sample that follows a break:
        // the line stops there.
        if (i == nextBreak) {
            points.append(QCPGraphData(keys.keyOf(i), std::numeric_limits<double>::quiet_NaN()));
            nextBreak = keys.nextBreak(i, view.end);
        }
        points.append(QCPGraphData(keys.keyOf(i), valueAt(i)));
    }
    return points;
}

QVector<QPointF> HistoryGraph::columnLines(const Columns &view) const
{
    // Redrawn over nearly the same view, most columns hold the same samples
    // as the last time, and the rest the same whole blocks of the pyramid;
    // a view dragged sideways by whole pixels holds the same columns, each
    // at another pixel. Both lists of columns run in the order of samples.
    if (drawnVersion != store->version()) {
        drawnColumns.clear();
        drawnVersion = store->version();
    }
    std::vector<DrawnColumn> &drawing = spareColumns;
    drawing.clear();
    drawing.reserve(view.columns.size());
    // The points go straight to pixels: each lies at its column's centre.
    const QCPAxis *valueAxis = mValueAxis.data();
    const bool keysAcross = mKeyAxis->orientation() == Qt::Horizontal;
    QVector<QPointF> lines;
    lines.reserve(int(4 * view.columns.size() + 8));
    const auto point = [&](double pixel, double value) {
        const double valuePixel = valueAxis->coordToPixel(value);
        lines.append(keysAcross ? QPointF(pixel, valuePixel) : QPointF(valuePixel, pixel));
    };

    // Whether the last drawing found the samples [first, next) in a column,
    // looking from *earlier on; leaves *earlier at the first column it did
    // not pass.
    const auto drawnBefore = [this](size_t *earlier, Index first, Index next) {
        while (*earlier < drawnColumns.size() && drawnColumns[*earlier].first < first)
            ++*earlier;
        return *earlier < drawnColumns.size() && drawnColumns[*earlier].first == first
               && drawnColumns[*earlier].next == next;
    };
    // Columns far apart read memory far apart: what a column not drawn
    // before reads is asked for a few columns ahead.
    constexpr size_t ahead = 6;
    size_t earlier = 0, earlierAhead = 0;
    const auto prefetch = [&](size_t c) {
        const Columns::Column &at = view.columns[c];
        if (!drawnBefore(&earlierAhead, at.first, at.next))
            store->prefetch(column, at.first, at.next);
    };
    for (size_t c = 0; c < std::min(ahead, view.columns.size()); ++c)
        prefetch(c);
    for (size_t c = 0; c < view.columns.size(); ++c) {
        const Columns::Column &at = view.columns[c];
        const Index first = at.first, next = at.next;
        if (c + ahead < view.columns.size())
            prefetch(c + ahead);
        if (drawnBefore(&earlier, first, next)) {
            drawing.push_back(drawnColumns[earlier]);
        } else {
            DrawnColumn fresh;
            if (earlier < drawnColumns.size())
                fresh.blocks = drawnColumns[earlier].blocks;
            fresh.first = first;
            fresh.next = next;
            fresh.firstValue = valueAt(first);
            fresh.lastValue = valueAt(next - 1);
            if (next - first > 2)
                fresh.extremes = store->span(column, first, next, fresh.blocks);
            drawing.push_back(fresh);
        }
        const DrawnColumn &drawn = drawing.back();
        if (at.afterBreak)
            point(at.pixel, std::numeric_limits<double>::quiet_NaN());
        point(at.pixel, drawn.firstValue);
        if (next - first > 2) {
            // All of the column's samples land on one pixel column, so the
            // extremes can be visited in the order that draws the least:
            // down first when the column ends higher than it starts.
            const bool rising = drawn.firstValue <= drawn.lastValue;
            const double towards = rising ? drawn.extremes.min : drawn.extremes.max;
            const double away = rising ? drawn.extremes.max : drawn.extremes.min;
            if (towards != drawn.firstValue)
                point(at.pixel, towards);
            if (away != drawn.lastValue)
                point(at.pixel, away);
        }
        if (next - first > 1)
            point(at.pixel, drawn.lastValue);
    }
    drawnColumns.swap(drawing);
    return lines;
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
    // are joined by the real segment between them, unless the bars light
    // its pixels already. On a device without scaling a bar is a
    // one-pixel-wide rectangle, which the painter fills row by row far
    // faster than it steps along a line.
    auto drawable = [](const QPointF &p) { return !qIsNaN(p.x()) && !qIsNaN(p.y()); };
    const bool barsAsRectangles = painter->deviceTransform().type() == QTransform::TxNone
                                  && painter->pen().style() == Qt::SolidLine
                                  && painter->pen().brush().style() == Qt::SolidPattern;
    QVector<QLine> segments;
    BarFiller bars(painter, painter->pen().color());
    segments.reserve(2 * int(painter->device()->width()) + 8);
    bool joined = false;
    QPoint previousEnd;
    // The last run's bar, when it was filled as a rectangle.
    bool previousBar = false;
    int previousTop = 0, previousBottom = 0;
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
        const bool bar = j > i + 1 && barsAsRectangles;
        // A segment between neighbouring bars lights rows between its ends
        // in those two columns only; where both bars span both ends, they
        // light all of them already.
        const bool covered = bar && previousBar && start.x() == previousEnd.x() + 1 && previousEnd.y() >= top
                             && previousEnd.y() <= bottom && start.y() >= previousTop && start.y() <= previousBottom;
        if (joined && !covered)
            segments.append(QLine(previousEnd, start));
        if (bar)
            bars.add(start.x(), top, bottom);
        else if (j > i + 1)
            segments.append(QLine(start.x(), top, start.x(), bottom));
        previousEnd = end;
        previousBar = bar;
        previousTop = top;
        previousBottom = bottom;
        joined = true;
        i = j;
    }
    bars.finish();
    painter->drawLines(segments);
}

#include "moc_historygraph.cpp"
