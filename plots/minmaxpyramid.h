#ifndef MINMAXPYRAMID_H
#define MINMAXPYRAMID_H

#include <algorithm>
#include <limits>
#include <vector>

// The smallest and largest of any run of samples in O(log n) steps, without a
// copy of the samples: level k holds the span of each complete block of
// 2^(k + finestLevel) samples. The samples themselves stay with the caller,
// which hands a reader for the few at the ends of a run that no block covers.
//
// Appending costs O(1) amortised. The blocks add 32 / 2^finestLevel bytes per
// sample (one byte with blocks of 32), against 16 for a graph's own point.
class MinMaxPyramid
{
public:
    // min > max when the run held no sample, or only NaN.
    struct Span
    {
        double min = std::numeric_limits<double>::infinity();
        double max = -std::numeric_limits<double>::infinity();
        bool found() const { return min <= max; }
    };

    static constexpr int finestLevel = 5;
    static constexpr int finestBlock = 1 << finestLevel;

    void append(double value);
    // Forgets every sample and gives the memory back.
    void clear();
    // Forgets the samples from first on, and those of the unfinished block
    // before it, so that the caller appends again from size(): for samples
    // that changed in place. Keeps the memory.
    void truncate(int first);
    int size() const { return count; }

    // The span of samples [first, last), clipped to the samples appended.
    // value(i) must return sample i as it was appended; it is called for at
    // most 2 * (finestBlock - 1) samples. NaN samples are left out.
    template <typename Reader>
    Span span(int first, int last, const Reader &value) const;

private:
    static void include(Span &span, double value)
    {
        if (value < span.min)
            span.min = value;
        if (value > span.max)
            span.max = value;
    }
    static Span merged(Span a, const Span &b)
    {
        a.min = std::min(a.min, b.min);
        a.max = std::max(a.max, b.max);
        return a;
    }

    std::vector<std::vector<Span>> levels;
    Span unfinishedBlock;
    int count = 0;
};

template <typename Reader>
MinMaxPyramid::Span MinMaxPyramid::span(int first, int last, const Reader &value) const
{
    first = std::max(first, 0);
    last = std::min(last, count);
    Span result;
    int blockBegin = (first + finestBlock - 1) / finestBlock;
    int blockEnd = std::max(last, 0) / finestBlock;
    if (blockBegin >= blockEnd) {
        for (int i = first; i < last; ++i)
            include(result, value(i));
        return result;
    }
    for (int i = first; i < blockBegin * finestBlock; ++i)
        include(result, value(i));
    for (int i = blockEnd * finestBlock; i < last; ++i)
        include(result, value(i));
    // Blocks that are the odd one out at their level are taken whole; the
    // rest pair up into the blocks of the level above.
    for (size_t level = 0; blockBegin < blockEnd; ++level, blockBegin /= 2, blockEnd /= 2) {
        const std::vector<Span> &spans = levels[level];
        if (blockBegin % 2 != 0)
            result = merged(result, spans[size_t(blockBegin++)]);
        if (blockEnd % 2 != 0)
            result = merged(result, spans[size_t(--blockEnd)]);
    }
    return result;
}

#endif // MINMAXPYRAMID_H
