#include "array.h"

#include "mem.h"

#include <cstring>

static inline unsigned char* array_slot(Array* a, int i) {
    return static_cast<unsigned char*>(a->data) + size_t(i) * size_t(a->elementSize);
}

Array* array_create(int capacity, int elementSize) {
    if (capacity < 0) capacity = 0;
    if (elementSize < 0) elementSize = 0;
    Array* a = static_cast<Array*>(mem_malloc(sizeof(Array)));
    a->count = 0;
    a->elementSize = elementSize;
    a->capacity = capacity;
    a->data = mem_malloc(size_t(capacity) * size_t(elementSize));
    return a;
}

void array_destroy(Array* a) {
    if (!a) return;
    mem_free(a->data);
    mem_free(a);
}

int array_add(Array* a, const void* element) {
    if (a->count >= a->capacity) return 0;
    std::memcpy(array_slot(a, a->count), element, size_t(a->elementSize));
    a->count++;
    return 1;
}

void* array_get(Array* a, int index) {
    if (index < 0 || index >= a->count) return nullptr;
    return array_slot(a, index);
}

int array_set(Array* a, int index, const void* element) {
    if (index < 0 || index >= a->count) return 0;
    std::memcpy(array_slot(a, index), element, size_t(a->elementSize));
    return 1;
}

int array_insert(Array* a, int index, const void* element) {
    if (index < 0 || index > a->count || a->count >= a->capacity) return 0;
    // Highest slot first, one element at a time, so nothing is overwritten before it moved.
    for (int i = a->count; i > index; --i)
        std::memcpy(array_slot(a, i), array_slot(a, i - 1), size_t(a->elementSize));
    std::memcpy(array_slot(a, index), element, size_t(a->elementSize));
    a->count++;
    return 1;
}

int array_swap(Array* a, int i, int j) {
    if (i < 0 || i >= a->count || j < 0 || j >= a->count) return 0;
    if (i == j) return 1;
    unsigned char tmp[256];
    unsigned char* pi = array_slot(a, i);
    unsigned char* pj = array_slot(a, j);
    // Through a bounded temporary, in chunks, so any element size works without allocation.
    for (size_t done = 0, n = size_t(a->elementSize); done < n;) {
        size_t k = n - done < sizeof(tmp) ? n - done : sizeof(tmp);
        std::memcpy(tmp, pi + done, k);
        std::memcpy(pi + done, pj + done, k);
        std::memcpy(pj + done, tmp, k);
        done += k;
    }
    return 1;
}
