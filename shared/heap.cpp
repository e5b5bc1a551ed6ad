#include "heap.h"

#include <malloc.h>

void heap_keep_freed()
{
    mallopt(M_MMAP_THRESHOLD, 16 << 20);
    mallopt(M_TRIM_THRESHOLD, 32 << 20);
}
