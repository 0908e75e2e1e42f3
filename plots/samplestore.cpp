#include "samplestore.h"

#include <utility>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

static_assert(SampleStore::chunkBytes % MappedMemory::hugePage == 0, "a chunk is made of whole huge pages");

namespace {

// The extremes of count values side by side, eight at a time where the
// processor has the instructions for it (SSE2, on every x86-64): a view of a
// long history scans up to a block at both ends of each pixel column.
SampleStore::Span scan(const int16_t *values, std::int64_t count)
{
    SampleStore::Span span;
    std::int64_t i = 0;
#ifdef __SSE2__
    constexpr int lanes = 8;
    if (count >= lanes) {
        __m128i lowest = _mm_set1_epi16(span.min);
        __m128i highest = _mm_set1_epi16(span.max);
        for (; i + lanes <= count; i += lanes) {
            const __m128i eight = _mm_loadu_si128(reinterpret_cast<const __m128i *>(values + i));
            lowest = _mm_min_epi16(lowest, eight);
            highest = _mm_max_epi16(highest, eight);
        }
        int16_t low[lanes], high[lanes];
        _mm_storeu_si128(reinterpret_cast<__m128i *>(low), lowest);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(high), highest);
        for (int lane = 0; lane < lanes; ++lane)
            span.include({low[lane], high[lane]});
    }
#endif
    for (; i < count; ++i)
        span.include({values[i], values[i]});
    return span;
}

} // namespace

SampleStore::SampleStore(SampleStore &&other) noexcept
{
    *this = std::move(other);
}

SampleStore &SampleStore::operator=(SampleStore &&other) noexcept
{
    chunks = std::move(other.chunks);
    pyramid = std::move(other.pyramid);
    count = std::exchange(other.count, 0);
    changes = std::max(changes, other.changes) + 1;
    other.changes = changes;
    return *this;
}

void SampleStore::append(const Sample &sample)
{
    if (count % chunkSamples == 0)
        chunks.emplace_back(static_cast<int16_t *>(MappedMemory::map(chunkBytes)));
    int16_t *chunk = chunks.back().get();
    for (int column = 0; column < columns; ++column)
        chunk[offsetInChunk(column, count)] = sample[size_t(column)];
    ++count;

    // A finished block is summarised once, from the values just written.
    const Index blockStart = count - MinMaxPyramid::finestBlock;
    if (count % MinMaxPyramid::finestBlock == 0) {
        Span blocks[columns];
        for (int column = 0; column < columns; ++column)
            blocks[column] = scan(at(column, blockStart), MinMaxPyramid::finestBlock);
        pyramid.appendBlock(blocks);
    }
}

SampleStore::Span SampleStore::span(int column, Index first, Index last) const
{
    return spanOf(column, first, last, nullptr);
}

SampleStore::Span SampleStore::span(int column, Index first, Index last, MinMaxPyramid::Blocks &remembered) const
{
    return spanOf(column, first, last, &remembered);
}

SampleStore::Span SampleStore::spanOf(int column, Index first, Index last, MinMaxPyramid::Blocks *remembered) const
{
    return pyramid.span(
        column, first, last, count,
        [this, column](Index from, Index to) { return scan(at(column, from), to - from); }, remembered);
}

void SampleStore::clear()
{
    std::vector<Chunk>().swap(chunks);
    pyramid.clear();
    count = 0;
    ++changes;
}

std::size_t SampleStore::bytes() const
{
    return chunks.size() * chunkBytes + chunks.capacity() * sizeof(Chunk) + pyramid.bytes();
}
