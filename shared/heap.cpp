#include "heap.h"

#include <cstdint>
#include <malloc.h>
#include <sys/mman.h>

void heap_keep_freed()
{
    mallopt(M_MMAP_THRESHOLD, 16 << 20);
    mallopt(M_TRIM_THRESHOLD, 32 << 20);
}

void heap_advise_huge(void *p, size_t bytes)
{
    constexpr uintptr_t huge_page = uintptr_t(2) << 20;
    const uintptr_t start = (uintptr_t(p) + huge_page - 1) & ~(huge_page - 1);
    const uintptr_t end = (uintptr_t(p) + bytes) & ~(huge_page - 1);
    if (p && end > start)
        madvise(reinterpret_cast<void *>(start), end - start, MADV_HUGEPAGE);
}
