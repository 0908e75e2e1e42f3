#ifndef MINMAXPYRAMID_H
#define MINMAXPYRAMID_H

#include "mappedmemory.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

// The smallest and largest of any run of 16-bit samples in O(log n) steps,
// without a copy of the samples: level k holds the span of each complete
// block of 2^(k + finestLevel) samples. The samples stay with the caller,
// which summarises each finished block of the finest size (appendBlock) and
// scans the few samples at the ends of a run that no block covers.
//
// One pyramid serves several columns of samples taken side by side: the
// spans of one block of all columns lie together, so that runs of the
// columns that end at the same positions, such as the curves of one plot,
// read the same memory. A span takes 4 bytes, so the blocks add 8 /
// finestBlock bytes per sample and column: 1/16 byte with blocks of 128.
class MinMaxPyramid
{
public:
    using Index = std::int64_t;

    // min > max when the run held no sample.
    struct Span
    {
        int16_t min = std::numeric_limits<int16_t>::max();
        int16_t max = std::numeric_limits<int16_t>::min();

        bool found() const { return min <= max; }
        void include(const Span &other)
        {
            min = std::min(min, other.min);
            max = std::max(max, other.max);
        }
    };

    static constexpr int finestLevel = 7;
    static constexpr Index finestBlock = Index(1) << finestLevel;

    explicit MinMaxPyramid(int columns) : columns(columns) {}

    // The spans of the next finestBlock samples of each column, in column
    // order.
    void appendBlock(const Span *blocks);
    // Forgets every block and gives the memory back.
    void clear();
    // The samples of each column that whole blocks cover, from the first on.
    Index covered() const { return levels.empty() ? 0 : Index(levels[0].size()) / columns * finestBlock; }
    // The memory the blocks hold.
    std::size_t bytes() const;

    // The whole blocks of a run and their span, as span() found them.
    struct Blocks
    {
        Index begin = 0, end = 0;  // in blocks of finestBlock samples
        Span span;
    };

    // The span of samples [first, last) of column, of the count that the
    // caller holds, clipped to them. scan(a, b) returns the span of the
    // column's samples [a, b), which lie within one block of finestBlock
    // samples; it is asked for at most 2 * (finestBlock - 1) samples and
    // those past the last whole block. A caller that asks again and again
    // for nearly the same run can hand what the last call found in
    // remembered: the levels are read only when the run's whole blocks are
    // others, and remembered is updated.
    template <typename Scan>
    Span span(int column, Index first, Index last, Index count, const Scan &scan,
              Blocks *remembered = nullptr) const;

    // Asks the processor to fetch what span(column, first, last) reads of
    // the blocks, so that spans asked for one after another, far apart,
    // wait for memory side by side rather than in turn.
    void prefetch(int column, Index first, Index last) const;

private:
    // The span of blocks [begin, end) of column.
    Span blockSpan(int column, Index begin, Index end) const;

    // Block b of column c at index b * columns + c.
    using Level = std::vector<Span, MappedMemory::Allocator<Span>>;

    int columns;
    std::vector<Level> levels;
};

template <typename Scan>
MinMaxPyramid::Span MinMaxPyramid::span(int column, Index first, Index last, Index count, const Scan &scan,
                                        Blocks *remembered) const
{
    first = std::max<Index>(first, 0);
    last = std::min(last, count);
    Span result;
    auto scanRun = [&](Index from, Index to) {
        while (from < to) {
            const Index blockEnd = std::min(to, (from / finestBlock + 1) * finestBlock);
            result.include(scan(from, blockEnd));
            from = blockEnd;
        }
    };
    Index blockBegin = (first + finestBlock - 1) / finestBlock;
    Index blockEnd = std::min(std::max<Index>(last, 0), covered()) / finestBlock;
    if (blockBegin >= blockEnd) {
        scanRun(first, last);
        return result;
    }
    scanRun(first, blockBegin * finestBlock);
    scanRun(blockEnd * finestBlock, last);
    if (remembered && remembered->begin == blockBegin && remembered->end == blockEnd) {
        result.include(remembered->span);
        return result;
    }
    const Span blocks = blockSpan(column, blockBegin, blockEnd);
    if (remembered)
        *remembered = {blockBegin, blockEnd, blocks};
    result.include(blocks);
    return result;
}

#endif // MINMAXPYRAMID_H
