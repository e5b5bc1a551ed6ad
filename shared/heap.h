// heap: how the C library's allocator treats the memory the EXR library
// takes and gives back for every block of 32 rows it codes.
#ifndef HEAP_H
#define HEAP_H

#include <cstddef>

// Keeps freed memory for reuse instead of returning it to the system at
// once. The EXR library allocates and frees its block buffers and Huffman
// tables (hundreds of KB each) for every block; by default the allocator
// maps and unmaps them each time, and every page touched afresh is a page
// fault, which made a third of a plain copy's time. Allocations below 16 MB
// come from the heap, whose top is given back only when 32 MB lie free
// there; the peak resident memory stays the same. Every program calls it
// first thing in main (a 2 MP copy: 1,600 page faults instead of 8,800, and
// 30 % less time); calling it again changes nothing.
void heap_keep_freed();

// Asks the system to back the whole 2 MB pages inside [p, p + bytes) with
// huge pages, for a large buffer that will be touched throughout: one
// fault a 2 MB page instead of 512, and fewer TLB misses. Only a hint;
// nothing changes where the system does not take it.
void heap_advise_huge(void *p, size_t bytes);

#endif
