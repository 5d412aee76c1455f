// The counted list of the widget toolkit: a singly linked list of pointer
// words, used for a widget's children, the class registry and class
// chains. Walks go by index or by a cell cursor; the end of a walk, an
// index beyond the end and a value not found answer 14080, an empty list
// 14081, and the callers take both as the end of the walk.
#pragma once

#include <cstdint>

#include "core/task/lock.h"

struct EngineContext;

struct PtrCell {
    PtrCell *next;
    void *value;
};

struct PtrList {
    uint32_t count;
    PtrCell *head;
    PtrCell *tail;
    uint32_t kind;     // 10
    uint32_t spare[2]; // 0
    Lock lock;         // kept for the list's owners; no operation here takes it
    Sem sem;           // count 0, maximum 1; likewise
};

// A new empty list through *out; 1 when memory runs out.
[[nodiscard]] int PtrList_create(EngineContext *context, PtrList **out);
// Frees the cells and the list (null allowed); the values are the caller's.
void PtrList_destroy(PtrList *list);
// Frees every cell; the list stays.
void PtrList_clear(PtrList *list);
// Adds value at the end or the front. 0, 1, or Res_formNoWidget for a null
// list.
[[nodiscard]] int PtrList_append(PtrList *list, void *value);
[[nodiscard]] int PtrList_prepend(PtrList *list, void *value);
// Inserts value before the index-th cell (0 the front, the count the
// end); Res_listEnd for an index beyond the end (nothing is kept).
[[nodiscard]] int PtrList_insertAt(PtrList *list, uint32_t index, void *value);
// Removes the index-th cell; its value into *value when not null.
int PtrList_removeAt(PtrList *list, uint32_t index, void **value);
// Removes the first cell holding value; Res_listEnd when none does.
int PtrList_removeFirst(PtrList *list, const void *value);
// The value at index into *value (cleared first).
int PtrList_get(const PtrList *list, uint32_t index, void **value);
// The index of the first cell holding value (by identity).
int PtrList_indexOf(const PtrList *list, const void *value, uint32_t *index);
// Cell cursor: the first cell and its value; then the next cell after
// *cursor, moving it on.
int PtrList_first(const PtrList *list, PtrCell **cursor, void **value);
int PtrList_next(PtrCell **cursor, void **value);
uint32_t PtrList_count(const PtrList *list);
// Appends every value of source to list; stops at the first error.
int PtrList_appendAll(PtrList *list, const PtrList *source);
