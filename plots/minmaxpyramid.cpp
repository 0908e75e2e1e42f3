#include "minmaxpyramid.h"

void MinMaxPyramid::appendBlock(const Span *blocks)
{
    // A new block may finish a pair at each level above it.
    levels.resize(std::max<size_t>(levels.size(), 1));
    levels[0].insert(levels[0].end(), blocks, blocks + columns);
    for (size_t level = 0; levels[level].size() % (2 * size_t(columns)) == 0; ++level) {
        if (levels.size() == level + 1)
            levels.emplace_back();
        const Span *pair = levels[level].data() + levels[level].size() - 2 * size_t(columns);
        for (int column = 0; column < columns; ++column) {
            Span merged = pair[column];
            merged.include(pair[columns + column]);
            levels[level + 1].push_back(merged);
        }
    }
}

MinMaxPyramid::Span MinMaxPyramid::blockSpan(int column, Index begin, Index end) const
{
    // Blocks that are the odd one out at their level are taken whole; the
    // rest pair up into the blocks of the level above.
    Span result;
    for (size_t level = 0; begin < end; ++level, begin /= 2, end /= 2) {
        const Span *spans = levels[level].data() + column;
        if (begin % 2 != 0)
            result.include(spans[begin++ * columns]);
        if (end % 2 != 0)
            result.include(spans[--end * columns]);
    }
    return result;
}

void MinMaxPyramid::prefetch(int column, Index first, Index last) const
{
    // The walk of blockSpan() over the whole blocks of the run.
    Index begin = (std::max<Index>(first, 0) + finestBlock - 1) / finestBlock;
    Index end = std::min(std::max<Index>(last, 0), covered()) / finestBlock;
    for (size_t level = 0; begin < end && level < levels.size(); ++level, begin /= 2, end /= 2) {
        const Span *spans = levels[level].data() + column;
        if (begin % 2 != 0)
            __builtin_prefetch(spans + begin++ * columns);
        if (end % 2 != 0)
            __builtin_prefetch(spans + --end * columns);
    }
}

void MinMaxPyramid::clear()
{
    // swap, not clear(): a long history's blocks would otherwise keep their
    // capacity.
    std::vector<Level>().swap(levels);
}

std::size_t MinMaxPyramid::bytes() const
{
    std::size_t total = levels.capacity() * sizeof(Level);
    for (const Level &spans : levels)
        total += MappedMemory::footprint(spans.capacity() * sizeof(Span));
    return total;
}
