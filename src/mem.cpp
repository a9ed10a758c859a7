#include "mem.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

void mem_init(void) {}
void mem_deinit(void) {}

[[noreturn]] static void mem_outOfMemory(size_t size) {
    std::printf("mem: out of memory (%zu bytes)\n", size);
    std::fflush(stdout);
    std::exit(1);
}

void* mem_malloc(size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) mem_outOfMemory(size);
    return p;
}

void mem_free(void* p) { std::free(p); }

void* mem_alignedMalloc(size_t size, size_t alignment) {
    size_t a = sizeof(void*);
    while (a < alignment && a != 0) a <<= 1;
    if (a == 0 || size > SIZE_MAX - a - sizeof(void*)) mem_outOfMemory(size);
    // Room for the block, the worst-case alignment gap and the pointer word below the block.
    size_t total = size + a + sizeof(void*);
    void* raw = std::malloc(total);
    if (!raw) mem_outOfMemory(total);
    uintptr_t aligned = (reinterpret_cast<uintptr_t>(raw) + sizeof(void*) + a - 1) & ~uintptr_t(a - 1);
    reinterpret_cast<void**>(aligned)[-1] = raw;
    return reinterpret_cast<void*>(aligned);
}

void mem_alignedFree(void* p) {
    if (!p) return;
    std::free(static_cast<void**>(p)[-1]);
}
