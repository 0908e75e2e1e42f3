#ifndef SAMPLESTORE_H
#define SAMPLESTORE_H

#include "minmaxpyramid.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// Every sample of a history, exactly, as what it is: six signed 16-bit
// values (acceleration X, Y, Z, gyroscope X, Y, Z, the columns 0 to 5), in
// the order appended, each known by its position. The values lie in chunks
// of chunkSamples samples, so that growing never moves what is stored, and
// within a chunk in blocks of the pyramid's finest block: the block's
// values of the first column, then those of the second, and so on, so that
// a run of one column within a block is contiguous and the six columns at
// one position lie close together. A MinMaxPyramid over the six columns
// gives the extremes of any run of positions in O(log n) steps.
//
// Bytes per sample: 12 for the values and 0.375 for the pyramid (4 bytes
// per column and block of 128 samples, and as much again for the levels
// above), plus what the newest chunk and the pyramid's growth hold in
// reserve: 12.6 measured over a week of samples (41.5 million). Chunks of
// 6 MiB are mapped from the system (MappedMemory) and given back to it at
// clear(); only the pages written become resident.
//
// Plain data: no Qt, nothing shared. One thread uses it at a time; a store
// filled on one thread can be moved to another and read there.
class SampleStore
{
public:
    static constexpr int columns = 6;
    static constexpr int chunkLevel = 19;
    static constexpr std::int64_t chunkSamples = std::int64_t(1) << chunkLevel;
    static constexpr std::size_t chunkBytes = columns * chunkSamples * sizeof(int16_t);

    using Index = MinMaxPyramid::Index;
    using Sample = std::array<int16_t, columns>;
    using Span = MinMaxPyramid::Span;

    SampleStore() = default;
    // Hands the samples over; the store moved from is left empty.
    SampleStore(SampleStore &&other) noexcept;
    SampleStore &operator=(SampleStore &&other) noexcept;

    void append(const Sample &sample);
    Index size() const { return count; }
    bool empty() const { return count == 0; }

    // The value of column (0 to 5) at position index, below size().
    int16_t value(int column, Index index) const { return *at(column, index); }
    // The smallest and largest value of column over positions [first, last),
    // clipped to the samples held; not found() when that holds none.
    Span span(int column, Index first, Index last) const;

    // As span(column, first, last), for a caller that asks again and again
    // for nearly the same runs, as a view redrawn over a long history does
    // for each pixel column: the pyramid is read only when the whole blocks
    // inside the run are others than those in remembered, which is updated.
    // What is remembered holds while version() stays the same.
    Span span(int column, Index first, Index last, MinMaxPyramid::Blocks &remembered) const;
    // Asks the processor to fetch what value() at first and at last - 1 and
    // span() over [first, last) read, ahead of asking for them.
    void prefetch(int column, Index first, Index last) const
    {
        if (first < 0 || last > count || first >= last)
            return;
        __builtin_prefetch(at(column, first));
        __builtin_prefetch(at(column, last - 1));
        pyramid.prefetch(column, first, last);
    }
    // Changes whenever samples already held change: at clear(), and when
    // another store is moved into this one. Appending leaves it.
    std::uint64_t version() const { return changes; }

    // Forgets every sample and gives the memory back.
    void clear();

    // The memory the store holds: whole chunks, the pyramids and the list
    // of chunks.
    std::size_t bytes() const;

private:
    struct Unmap
    {
        void operator()(int16_t *chunk) const { MappedMemory::unmap(chunk, chunkBytes); }
    };
    using Chunk = std::unique_ptr<int16_t[], Unmap>;

    Span spanOf(int column, Index first, Index last, MinMaxPyramid::Blocks *remembered) const;
    // Where a value lies in its chunk: block by block, the columns of a
    // block one after the other.
    static Index offsetInChunk(int column, Index index)
    {
        const Index inChunk = index & (chunkSamples - 1);
        return ((inChunk >> MinMaxPyramid::finestLevel) * columns + column) * MinMaxPyramid::finestBlock
               + (inChunk & (MinMaxPyramid::finestBlock - 1));
    }
    const int16_t *at(int column, Index index) const
    {
        return chunks[size_t(index >> chunkLevel)].get() + offsetInChunk(column, index);
    }

    std::vector<Chunk> chunks;
    MinMaxPyramid pyramid{columns};
    Index count = 0;
    std::uint64_t changes = 0;
};

#endif // SAMPLESTORE_H
