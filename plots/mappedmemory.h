#ifndef MAPPEDMEMORY_H
#define MAPPEDMEMORY_H

#include <cstddef>
#include <new>

// Memory for a long history: large blocks are mapped from the system, not
// taken from the heap, so that what is freed goes back to the system
// whatever else the heap holds, and they lie in huge pages where the system
// offers them (transparent huge pages, 2 MiB), since a view of a long
// history reads a few values far apart and would otherwise wait for the
// page tables at each of them. A page becomes resident when first written.
namespace MappedMemory {

constexpr std::size_t hugePage = std::size_t(2) << 20;

// At least bytes bytes, aligned to a huge page; bytes is rounded up to whole
// huge pages. Throws std::bad_alloc, as new does, when memory runs out.
void *map(std::size_t bytes);
// Gives back what map(bytes) returned, with the same bytes.
void unmap(void *memory, std::size_t bytes);

// What an Allocator takes for a block of bytes bytes.
std::size_t footprint(std::size_t bytes);

// An allocator for containers that grow large: blocks of a huge page or more
// are mapped, smaller ones come from new.
template <typename T>
struct Allocator
{
    using value_type = T;

    Allocator() = default;
    template <typename U>
    Allocator(const Allocator<U> &) {}

    T *allocate(std::size_t count)
    {
        const std::size_t bytes = count * sizeof(T);
        return static_cast<T *>(bytes >= hugePage ? map(bytes) : ::operator new(bytes));
    }
    void deallocate(T *memory, std::size_t count)
    {
        const std::size_t bytes = count * sizeof(T);
        if (bytes >= hugePage)
            unmap(memory, bytes);
        else
            ::operator delete(memory);
    }

    template <typename U>
    bool operator==(const Allocator<U> &) const { return true; }
    template <typename U>
    bool operator!=(const Allocator<U> &) const { return false; }
};

} // namespace MappedMemory

#endif // MAPPEDMEMORY_H
