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
