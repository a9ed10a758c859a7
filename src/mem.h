// mem: the heap entry points, including blocks aligned to any power of two.
//
// Heap exhaustion ends the process with one line ("mem: out of memory ...", exit code 1), so
// callers never see a null pointer.
#pragma once
#include <cstddef>

void mem_init(void);
void mem_deinit(void);

void* mem_malloc(size_t size);
void mem_free(void* p);

// Returns a block of `size` bytes whose address is a multiple of `alignment` (a power of two;
// anything smaller than a pointer is raised to pointer alignment, a non-power of two is rounded
// up). The pointer-sized word just below the returned address holds the start of the heap block.
// Release it with mem_alignedFree (never mem_free).
void* mem_alignedMalloc(size_t size, size_t alignment);
void mem_alignedFree(void* p);
