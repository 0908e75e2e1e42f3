#include "minmaxpyramid.h"

void MinMaxPyramid::append(double value)
{
    include(unfinishedBlock, value);
    if (++count % finestBlock != 0)
        return;

    // A finished block may finish a pair at each level above it.
    Span block = unfinishedBlock;
    unfinishedBlock = Span();
    for (size_t level = 0;; ++level) {
        if (levels.size() == level)
            levels.emplace_back();
        std::vector<Span> &spans = levels[level];
        spans.push_back(block);
        if (spans.size() % 2 != 0)
            break;
        block = merged(spans[spans.size() - 2], spans.back());
    }
}

void MinMaxPyramid::clear()
{
    // swap, not clear(): a long history's blocks would otherwise keep their
    // capacity.
    std::vector<std::vector<Span>>().swap(levels);
    unfinishedBlock = Span();
    count = 0;
}

void MinMaxPyramid::truncate(int first)
{
    if (first >= count)
        return;
    // Each level holds the blocks that lie wholly before first; the level
    // above still holds exactly the pairs of the level below.
    size_t blocks = size_t(std::max(first, 0) / finestBlock);
    for (std::vector<Span> &spans : levels) {
        spans.resize(std::min(spans.size(), blocks));
        blocks /= 2;
    }
    unfinishedBlock = Span();
    count = int(levels.empty() ? 0 : levels[0].size()) * finestBlock;
}
