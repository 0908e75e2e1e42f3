#include "pyramidgraph.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <utility>

namespace {

// Bit for bit, so that a NaN point compares equal to itself.
bool samePoint(const QCPGraphData &a, const QCPGraphData &b)
{
    return std::memcmp(&a.key, &b.key, sizeof a.key) == 0
           && std::memcmp(&a.value, &b.value, sizeof a.value) == 0;
}

// The end of the run of points from it on that satisfy inColumn (which holds
// for a leading run only), found from a guess of the run's length: two or
// three looks when the guess is right, a widening search when it is not.
template <typename Iterator, typename InColumn>
Iterator columnEnd(Iterator it, Iterator end, long expected, const InColumn &inColumn)
{
    // Every point before lo is in the column, none from hi on.
    Iterator lo = it + 1;
    Iterator hi = end;
    const Iterator guess = end - lo > expected - 1 ? lo + (expected - 1) : end;
    if (guess != end && inColumn(*guess)) {
        lo = guess + 1;
        for (long step = 1; lo != end; step *= 2) {
            const Iterator probe = end - lo > step ? lo + step : end;
            if (probe == end || !inColumn(*probe)) {
                hi = probe;
                break;
            }
            lo = probe + 1;
        }
    } else {
        hi = guess;
        for (long step = 1; hi != lo; step *= 2) {
            const Iterator probe = hi - lo > step ? hi - step : lo;
            if (inColumn(*probe)) {
                lo = probe + 1;
                break;
            }
            hi = probe;
        }
    }
    return std::partition_point(lo, hi, inColumn);
}

// The lowest and the highest point of [begin, end), the first of equals,
// NaN left out; both are begin when every value is NaN.
template <typename Iterator>
std::pair<Iterator, Iterator> extremes(Iterator begin, Iterator end)
{
    Iterator lowest = end, highest = end;
    for (Iterator it = begin; it != end; ++it) {
        if (qIsNaN(it->value))
            continue;
        if (lowest == end || it->value < lowest->value)
            lowest = it;
        if (highest == end || it->value > highest->value)
            highest = it;
    }
    if (lowest == end)
        lowest = highest = begin;
    return {lowest, highest};
}

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

// QCPDataContainer removes points by key only. A fold writes the outlines
// over the start of the run it folds, where the keys no longer rise, and
// then removes the rest of the run by position.
class PyramidGraph::Points : public QCPGraphDataContainer
{
public:
    // Removes the points [first, last), counted from constBegin(), keeping
    // the capacity for the points still to come.
    void removeAt(int first, int last)
    {
        const auto origin = mData.begin() + mPreallocSize;
        mData.erase(origin + first, origin + last);
    }
};

PyramidGraph::PyramidGraph(QCPAxis *keyAxis, QCPAxis *valueAxis)
    : QCPGraph(keyAxis, valueAxis)
    , points(QSharedPointer<Points>::create())
{
    setData(points);
    // Antialiased, thousands of overlapping segments blend into a solid
    // band that a few segments per column cannot give; aliased, both light
    // the same pixels. QCustomPlot's performance notes advise it anyway.
    setAntialiased(false);
}

void PyramidGraph::clearPoints()
{
    mDataContainer->clear();
    mDataContainer->squeeze();
    pyramid.clear();
    outlineCount = 0;
    foldedSamples = 0;
    foldTime = 0;
}

void PyramidGraph::setFullResolution(int newest)
{
    fullResolution = std::max(newest, 0);
    // The outlines of a batch fill whole blocks of the pyramid, so the
    // blocks over the outlines before a fold stay as they are.
    const int unit = MinMaxPyramid::finestBlock * foldedBlock / outlinePoints;
    foldBatch = std::max(unit, (fullResolution / 4 + unit - 1) / unit * unit);
}

void PyramidGraph::addPoint(double key, double value)
{
    addData(key, value);
    if (fullResolution > 0 && dataCount() - outlineCount >= fullResolution + foldBatch)
        fold(foldBatch);
}

void PyramidGraph::fold(int count)
{
    // Data handed over as a container of its own is kept whole.
    if (mDataContainer != points)
        return;
    QElapsedTimer timer;
    timer.start();
    catchUp();
    QCPGraphDataContainer &data = *mDataContainer;
    // Outlines that are no longer where they were left belong to data that
    // has since been replaced: all of it is new.
    if (outlineCount > data.size()
        || (outlineCount > 0 && !samePoint(*(data.constBegin() + (outlineCount - 1)), lastOutline)))
        outlineCount = 0;

    // Block b's outline goes to 4b..4b+3 of the run, which only block b
    // itself has been read from.
    const auto first = data.begin() + outlineCount;
    auto out = first;
    for (auto block = first; block != first + count; block += foldedBlock) {
        const auto [lowest, highest] = extremes(block, block + foldedBlock);
        const QCPGraphData outline[outlinePoints] = {*block, *std::min(lowest, highest),
                                                     *std::max(lowest, highest),
                                                     *(block + (foldedBlock - 1))};
        out = std::copy(std::begin(outline), std::end(outline), out);
    }
    const int outlinesEnd = int(out - data.begin());
    points->removeAt(outlinesEnd, outlineCount + count);

    // The pyramid still holds for the outlines before this fold; the rest
    // moved and is summarised again.
    pyramid.truncate(outlineCount);
    if (pyramid.size() > 0)
        lastSummarised = *(data.constBegin() + (pyramid.size() - 1));
    outlineCount = outlinesEnd;
    lastOutline = *(data.constBegin() + (outlineCount - 1));
    foldedSamples += count;
    catchUp();
    foldTime += timer.nsecsElapsed();
}

void PyramidGraph::catchUp() const
{
    const QCPGraphDataContainer &data = *mDataContainer;
    const int summarised = pyramid.size();
    if (summarised > data.size()
        || (summarised > 0
            && (!samePoint(*data.constBegin(), firstSummarised)
                || !samePoint(*(data.constBegin() + (summarised - 1)), lastSummarised))))
        pyramid.clear();
    if (pyramid.size() == data.size())
        return;

    for (auto it = data.constBegin() + pyramid.size(); it != data.constEnd(); ++it)
        pyramid.append(it->value);
    firstSummarised = *data.constBegin();
    lastSummarised = *(data.constEnd() - 1);
}

MinMaxPyramid::Span PyramidGraph::span(QCPGraphDataContainer::const_iterator begin,
                                       QCPGraphDataContainer::const_iterator end) const
{
    const auto origin = mDataContainer->constBegin();
    return pyramid.span(int(begin - origin), int(end - origin),
                        [origin](int i) { return (origin + i)->value; });
}

QCPRange PyramidGraph::getValueRange(bool &foundRange, QCP::SignDomain inSignDomain,
                                     const QCPRange &inKeyRange) const
{
    // The pyramid does not know the sign of its values.
    if (inSignDomain != QCP::sdBoth)
        return QCPGraph::getValueRange(foundRange, inSignDomain, inKeyRange);

    catchUp();
    const QCPGraphDataContainer &data = *mDataContainer;
    auto begin = data.constBegin();
    auto end = data.constEnd();
    // As in QCustomPlot, an empty key range means all of the data.
    if (inKeyRange != QCPRange()) {
        begin = data.findBegin(inKeyRange.lower, false);
        end = data.findEnd(inKeyRange.upper, false);
    }
    const MinMaxPyramid::Span found = span(begin, end);
    foundRange = found.found();
    return foundRange ? QCPRange(found.min, found.max) : QCPRange();
}

void PyramidGraph::getOptimizedLineData(QVector<QCPGraphData> *lineData,
                                        const QCPGraphDataContainer::const_iterator &begin,
                                        const QCPGraphDataContainer::const_iterator &end) const
{
    QCPAxis *keyAxis = mKeyAxis.data();
    if (!lineData || !keyAxis || begin == end) {
        QCPGraph::getOptimizedLineData(lineData, begin, end);
        return;
    }
    // The same threshold as QCustomPlot's adaptive sampling, so below it the
    // graph draws every point whether that is on or off.
    const double firstPixel = keyAxis->coordToPixel(begin->key);
    const double lastPixel = keyAxis->coordToPixel((end - 1)->key);
    if (end - begin <= 2 * std::abs(lastPixel - firstPixel) + 2) {
        QCPGraph::getOptimizedLineData(lineData, begin, end);
        return;
    }

    catchUp();
    lineData->clear();
    const bool pixelsRise = lastPixel >= firstPixel;
    long columnSize = 1;
    for (auto it = begin; it != end;) {
        // The points drawn into the same pixel column as this one. Line ends
        // go to the nearest pixel, so a column's borders lie half-way
        // between pixel centres. A column holds about as many points as the
        // one before.
        const double column = std::floor(keyAxis->coordToPixel(it->key) + 0.5);
        const double border = keyAxis->pixelToCoord(pixelsRise ? column + 0.5 : column - 0.5);
        const auto next = columnEnd(it, end, columnSize, [&](const QCPGraphData &point) {
            return pixelsRise ? point.key < border : point.key <= border;
        });
        columnSize = long(next - it);

        const QCPGraphData &first = *it;
        const QCPGraphData &last = *(next - 1);
        lineData->append(first);
        if (columnSize > 2) {
            // All of the column's points land on one pixel column, so the
            // extremes can be visited in the order that draws the least: down
            // first when the column ends higher than it starts.
            const MinMaxPyramid::Span extremes = span(it, next);
            if (extremes.found()) {
                const double middle = keyAxis->pixelToCoord(column);
                const bool rising = first.value <= last.value;
                const double towards = rising ? extremes.min : extremes.max;
                const double away = rising ? extremes.max : extremes.min;
                if (towards != first.value)
                    lineData->append(QCPGraphData(middle, towards));
                if (away != last.value)
                    lineData->append(QCPGraphData(middle, away));
            }
        }
        if (columnSize > 1)
            lineData->append(last);
        it = next;
    }
}

void PyramidGraph::drawLinePlot(QCPPainter *painter, const QVector<QPointF> &lines) const
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
