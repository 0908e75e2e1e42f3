#include "mappedmemory.h"

#include <sys/mman.h>

#include <cstdint>

namespace {

std::size_t wholeHugePages(std::size_t bytes)
{
    return (bytes + MappedMemory::hugePage - 1) / MappedMemory::hugePage * MappedMemory::hugePage;
}

} // namespace

void *MappedMemory::map(std::size_t bytes)
{
    bytes = wholeHugePages(bytes);
    // Mapped a huge page longer than asked, then trimmed to an aligned start.
    void *mapped = mmap(nullptr, bytes + hugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        throw std::bad_alloc();
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(mapped);
    char *start = reinterpret_cast<char *>((address + hugePage - 1) & ~std::uintptr_t(hugePage - 1));
    const std::size_t before = std::size_t(start - static_cast<char *>(mapped));
    if (before > 0)
        munmap(mapped, before);
    if (before < hugePage)
        munmap(start + bytes, hugePage - before);
    // Only a hint: without huge pages the memory is the same, in small pages.
    madvise(start, bytes, MADV_HUGEPAGE);
    return start;
}

void MappedMemory::unmap(void *memory, std::size_t bytes)
{
    munmap(memory, wholeHugePages(bytes));
}

std::size_t MappedMemory::footprint(std::size_t bytes)
{
    return bytes >= hugePage ? wholeHugePages(bytes) : bytes;
}
