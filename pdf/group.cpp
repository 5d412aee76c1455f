// Page group records and their marker stacks.
#include "pdf/group.h"

#include <cfloat>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"

const float PdfGroup_defaultRect[4] = {-FLT_MAX, -FLT_MAX, FLT_MAX, FLT_MAX};

namespace
{

PdfGroupRecord *lastOf(PdfGroupRecord *r)
{
    while (r->next)
        r = r->next;
    return r;
}

void moveItems(PdfGroupRecord *to, ObjList *list)
{
    if (!list)
        return;
    if (list->head) {
        ObjHeader *tail = to->items;
        while (tail && Obj_next(tail))
            tail = Obj_next(tail);
        if (tail)
            Obj_setNext(tail, list->head);
        else
            to->items = list->head;
    }
    Mem_free(list);
}

} // namespace

int PdfGroup_create(ObjList *list, const float *rect, uint32_t kind, PdfGroupRecord **out)
{
    *out = nullptr;
    PdfGroupRecord *r = static_cast<PdfGroupRecord *>(Mem_calloc(1, sizeof(PdfGroupRecord)));
    if (!r)
        return Res_noMemory;
    std::memcpy(r->rect, rect ? rect : PdfGroup_defaultRect, sizeof r->rect);
    r->kind = kind;
    moveItems(r, list);
    *out = r;
    return Res_ok;
}

void PdfGroup_appendItems(PdfGroupRecord *record, ObjList *list)
{
    if (record)
        moveItems(lastOf(record), list);
}

void PdfGroup_freeItems(PdfGroupRecord *record)
{
    ObjHeader *item = record->items;
    while (item) {
        ObjHeader *next = Obj_next(item);
        Obj_destroy(item);
        item = next;
    }
    record->items = nullptr;
}

void PdfGroup_freeChain(PdfGroupRecord *first)
{
    while (first) {
        PdfGroupRecord *next = first->next;
        PdfGroup_freeItems(first);
        PdfGroup_clearMarkers(first);
        Mem_free(first);
        first = next;
    }
}

int PdfGroup_pushMarker(PdfGroupRecord *record, const intptr_t *words, intptr_t fourth)
{
    PdfMarker *m = static_cast<PdfMarker *>(Mem_calloc(1, sizeof(PdfMarker)));
    if (!m)
        return Res_noMemory;
    std::memcpy(m->words, words, sizeof m->words);
    m->fourth = fourth;
    m->next = record->markers;
    record->markers = m;
    return Res_ok;
}

void PdfGroup_clearMarkers(PdfGroupRecord *record)
{
    while (record->markers) {
        PdfMarker *next = record->markers->next;
        Mem_free(record->markers);
        record->markers = next;
    }
}

int PdfGroup_replaceMarkers(PdfGroupRecord *record, const intptr_t *words, intptr_t fourth)
{
    // The new entry is made first, so that a failure leaves the stack whole.
    PdfMarker *m = static_cast<PdfMarker *>(Mem_calloc(1, sizeof(PdfMarker)));
    if (!m)
        return Res_noMemory;
    PdfGroup_clearMarkers(record);
    std::memcpy(m->words, words, sizeof m->words);
    m->fourth = fourth;
    record->markers = m;
    return Res_ok;
}
