// Growable pointer array.
//
// A heap array of pointers that doubles when full. Elements belong to the
// caller; the release variants hand each element they drop to a release
// function the caller names (the font code passes Font_faceRelease for its
// arrays of faces), so the array itself knows nothing of what it holds.
#pragma once

#include <cstddef>
#include <cstdint>

struct Array {
    size_t capacity; // slots in items
    size_t count;    // slots in use
    void **items;    // heap block of capacity pointers, null while empty
};

// Gives up the caller's hold on one element.
typedef void (*Array_ReleaseFn)(void *item);
// The 8-bit name of one element, or null when it has none.
typedef const char *(*Array_NameFn)(const void *item);

// *out = a new empty array (no slots yet). 0, or 1 with *out null when
// memory runs out.
[[nodiscard]] int Array_create(Array **out);

// Appends item. When the array is full its capacity doubles (4 at least).
// 0, or 1 when memory runs out: the array is then unchanged.
[[nodiscard]] int Array_append(Array *array, void *item);

// Index of the first element equal to item, or the count when absent.
size_t Array_indexOf(const Array *array, const void *item);

// 1 when item is an element, else 0.
int Array_contains(const Array *array, const void *item);

// Removes the first element equal to item, moving the later ones down,
// and hands it to release (when not null). 1 when it was found, else 0
// (then nothing is released).
int Array_removeAndRelease(Array *array, void *item, Array_ReleaseFn release);

// The first element whose name (as nameOf gives it) equals name byte for
// byte, or null.
void *Array_findByName(const Array *array, const char *name, Array_NameFn nameOf);

// Hands every element to release (when not null), then frees the slots and
// the array. Null is ignored.
void Array_destroyAndRelease(Array *array, Array_ReleaseFn release);

// Searches a table of n records of stride bytes (an even number), each
// beginning with its unsigned 16-bit key (native byte order, no alignment
// needed), sorted ascending by key, by power-of-two steps: the first probe
// is at the largest power of two p not above n, less one (or at n - p when
// that key is below the searched one), and each later step halves. The
// index of a record with the key, or -1 (also for n 0).
int32_t Array_bsearchU16(const void *table, uint32_t n, uint32_t stride, uint16_t key);
