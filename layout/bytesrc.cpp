// The section list: a body-source list with a current position.
#include "layout/bytesrc.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/lock.h"
#include "document/style/style.h"

namespace {

// Makes room at index and stores entry there, under the lock.
int insertAt(ByteSrcList *list, uint32_t index, ByteSrcEntry *entry)
{
    MimeSrcList *b = &list->base;
    Lock_acquire(&b->lock);
    if (b->count >= b->capacity) {
        uint64_t capacity = b->capacity ? uint64_t(b->capacity) * 2 : uint64_t(MimeSrc_listStart);
        MimeSrc **grown =
            capacity > 0x10000000u
                ? nullptr
                : static_cast<MimeSrc **>(Mem_realloc(b->sources, capacity * sizeof(MimeSrc *)));
        if (!grown) {
            Lock_release(&b->lock);
            return Res_noMemory;
        }
        std::memset(grown + b->capacity, 0, (capacity - b->capacity) * sizeof(MimeSrc *));
        b->sources = grown;
        b->capacity = uint32_t(capacity);
    }
    if (index > b->count)
        index = b->count;
    std::memmove(b->sources + index + 1, b->sources + index,
                 (b->count - index) * sizeof(MimeSrc *));
    b->sources[index] = &entry->src;
    b->count++;
    Lock_release(&b->lock);
    return Res_ok;
}

ByteSrcEntry *newEntry(uint32_t kind, void *record)
{
    ByteSrcEntry *e = static_cast<ByteSrcEntry *>(Mem_calloc(1, sizeof(ByteSrcEntry)));
    if (!e)
        return nullptr;
    e->src.kind = kind;
    e->src.data = record;
    e->kind = kind;
    return e;
}

// Frees an entry that never joined the list, leaving its record alone.
void dropEntry(ByteSrcEntry *e)
{
    Mem_free(e);
}

} // namespace

int ByteSrcList_create(EngineContext *ctx, int32_t width, ByteSrcList **out)
{
    *out = nullptr;
    ByteSrcList *list = static_cast<ByteSrcList *>(Mem_calloc(1, sizeof(ByteSrcList)));
    if (!list)
        return Res_noMemory;
    if (int err = Lock_init(ctx, &list->base.lock)) {
        Mem_free(list);
        return err;
    }
    list->width = width;
    *out = list;
    return Res_ok;
}

void ByteSrcList_free(ByteSrcList *list)
{
    if (!list)
        return;
    Edr_Style_release(list->info.style);
    list->info.style = nullptr;
    for (uint32_t i = 0; i < list->base.count; i++)
        Mime_srcFree(list->base.sources[i]);
    Mem_free(list->base.sources);
    Lock_fini(&list->base.lock);
    Mem_free(list);
}

ByteSrcList *ByteSrcList_of(MimeSrcList *base)
{
    return reinterpret_cast<ByteSrcList *>(base);
}

ByteSrcEntry *ByteSrcList_entry(ByteSrcList *list, uint32_t index)
{
    if (!list || index >= list->base.count)
        return nullptr;
    return reinterpret_cast<ByteSrcEntry *>(list->base.sources[index]);
}

void *ByteSrcList_current(ByteSrcList *list)
{
    if (!list)
        return nullptr;
    Lock_acquire(&list->base.lock);
    ByteSrcEntry *e = ByteSrcList_entry(list, list->position);
    Lock_release(&list->base.lock);
    return e ? e->src.data : nullptr;
}

ByteSrcInfo *ByteSrcList_info(ByteSrcList *list)
{
    return list ? &list->info : nullptr;
}

void ByteSrcList_advance(ByteSrcList *list)
{
    Lock_acquire(&list->base.lock);
    if (list->position < list->base.count)
        list->position++;
    Lock_release(&list->base.lock);
}

int ByteSrcList_isOpen(const ByteSrcList *list)
{
    return list && list->state == ByteSrcList_open ? 1 : 0;
}

int32_t ByteSrcList_width(const ByteSrcList *list)
{
    return list ? list->width : 0;
}

void ByteSrcList_close(ByteSrcList *list)
{
    Lock_acquire(&list->base.lock);
    list->state = ByteSrcList_closed;
    Lock_release(&list->base.lock);
}

void ByteSrcList_setInfoStyle(ByteSrcList *list, Edr_Style *style)
{
    Edr_Style *old = list->info.style;
    list->info.style = Edr_Style_retain(style);
    Edr_Style_release(old);
}

int ByteSrcList_insertPage(ByteSrcList *list, void *record, ByteSrcPageRefFn pageRef,
                           ByteSrcExtentFn extent, MimeSrcFn destroy)
{
    ByteSrcEntry *e = newEntry(ByteSrc_page, record);
    if (!e)
        return Res_noMemory;
    e->src.release = destroy;
    e->pageRef = pageRef;
    e->extent = extent;
    int err = insertAt(list, list->position, e);
    if (err)
        dropEntry(e);
    return err;
}

int ByteSrcList_insertJob(ByteSrcList *list, void *record, void *argument, ByteSrcRunFn run,
                          MimeSrcFn destroy)
{
    ByteSrcEntry *e = newEntry(ByteSrc_job, record);
    if (!e)
        return Res_noMemory;
    e->src.release = destroy;
    e->argument = argument;
    e->run = run;
    int err = insertAt(list, list->position, e);
    if (err)
        dropEntry(e);
    return err;
}

int ByteSrcList_insertSubdoc(ByteSrcList *list, void *record, Edr_Node *node, ByteSrcOpenFn open,
                             ByteSrcCloseFn close, ByteSrcPageFn page, MimeSrcFn destroy)
{
    ByteSrcEntry *e = newEntry(ByteSrc_subdoc, record);
    if (!e)
        return Res_noMemory;
    e->src.release2 = destroy;
    e->node = node;
    e->open = open;
    e->close = close;
    e->page = page;
    int err = insertAt(list, list->position, e);
    if (err)
        dropEntry(e);
    return err;
}

int ByteSrcList_runJobs(ByteSrcList *list)
{
    for (uint32_t i = 0; list && i < list->base.count;) {
        ByteSrcEntry *e = ByteSrcList_entry(list, i);
        if (!e || e->kind != ByteSrc_job) {
            i++;
            continue;
        }
        list->position = i + 1;
        int err = e->run ? e->run(e->src.data, e->argument, list) : Res_ok;
        if (err)
            return err;
        // The job is done: it leaves the list, and its pages take its place.
        Lock_acquire(&list->base.lock);
        MimeSrcList *b = &list->base;
        std::memmove(b->sources + i, b->sources + i + 1, (b->count - i - 1) * sizeof(MimeSrc *));
        b->sources[--b->count] = nullptr;
        Lock_release(&list->base.lock);
        Mime_srcFree(&e->src);
        list->position = i;
    }
    return Res_ok;
}
