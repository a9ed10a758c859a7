// array: a fixed-capacity array of equal-sized elements. It never grows.
//
// Elements are copied in and out byte-wise (elementSize bytes). Operations that would touch a slot
// outside the array (index out of range, adding to a full array) do nothing and return 0 (or null
// from array_get); callers that know their indices may ignore the results.
#pragma once

struct Array {
    int count;        // elements stored
    int elementSize;  // bytes per element
    void* data;       // capacity * elementSize bytes
    int capacity;     // slots in data
};

Array* array_create(int capacity, int elementSize);
void array_destroy(Array* array);
// Copies the element into slot count, then count + 1.
int array_add(Array* array, const void* element);
// Address of slot index (no copy); index must be below count.
void* array_get(Array* array, int index);
// Copies the element into slot index (index < count).
int array_set(Array* array, int index, const void* element);
// Moves slots index..count-1 up by one, copies the element into slot index, count + 1.
// index == count behaves like array_add.
int array_insert(Array* array, int index, const void* element);
// Exchanges slots a and b.
int array_swap(Array* array, int a, int b);
