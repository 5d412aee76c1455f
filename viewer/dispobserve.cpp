// Render observers: a keyed table of callbacks that watch the redraws of
// kind-6 requests. The context's observer table is an array of twelve
// bucket heads; a record is found by the four progress words of a request.
#include <cstring>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "viewer/dispman.h"
#include "viewer/dispupdate.h"

struct DispmanObserver {
    intptr_t key[4];
    DispmanObserverFn fn;
    void *argument;
    DispmanObserver *next;
};

namespace {

constexpr uint32_t buckets = 12;

DispmanObserver **bucketOf(DispmanCtx *dm, const intptr_t key[4])
{
    uint64_t h = 0;
    for (int i = 0; i < 4; i++)
        h = h * 31 + uint64_t(key[i]);
    return static_cast<DispmanObserver **>(dm->observers) + h % buckets;
}

DispmanObserver **findSlot(DispmanCtx *dm, const intptr_t key[4])
{
    DispmanObserver **slot = bucketOf(dm, key);
    while (*slot && std::memcmp((*slot)->key, key, sizeof((*slot)->key)) != 0)
        slot = &(*slot)->next;
    return slot;
}

DispmanCtx *dispmanOf(EngineContext *context)
{
    return context ? static_cast<DispmanCtx *>(context->dispman) : nullptr;
}

} // namespace

int Dispman_addObserver(EngineContext *context, const intptr_t key[4], DispmanObserverFn fn,
                        void *argument)
{
    DispmanCtx *dm = dispmanOf(context);
    if (!dm || !dm->observers || !fn || !key)
        return Res_missingArgument;
    DispmanObserver **slot = findSlot(dm, key);
    if (!*slot) {
        DispmanObserver *o = static_cast<DispmanObserver *>(Mem_calloc(1, sizeof(DispmanObserver)));
        if (!o)
            return Res_noMemory;
        std::memcpy(o->key, key, sizeof(o->key));
        *slot = o;
    }
    (*slot)->fn = fn;
    (*slot)->argument = argument;
    return Res_ok;
}

void Dispman_removeObserver(EngineContext *context, const intptr_t key[4])
{
    DispmanCtx *dm = dispmanOf(context);
    if (!dm || !dm->observers || !key)
        return;
    DispmanObserver **slot = findSlot(dm, key);
    if (DispmanObserver *o = *slot) {
        *slot = o->next;
        Mem_free(o);
    }
}

DispmanObserver *Dispman_findObserver(DispmanCtx *dm, const DispmanRequest *request)
{
    if (!dm->observers || request->kind != DispmanKind_observed ||
        request->progress[0] != DispmanProgress_observer)
        return nullptr;
    return *findSlot(dm, request->progress);
}

int Dispman_callObserver(DispmanObserver *observer, int32_t phase, const DispmanRequest *request)
{
    return observer ? observer->fn(observer->argument, phase, request) : 0;
}

void Dispman_freeObservers(DispmanCtx *dm)
{
    if (!dm->observers)
        return;
    DispmanObserver **heads = static_cast<DispmanObserver **>(dm->observers);
    for (uint32_t i = 0; i < buckets; i++) {
        while (DispmanObserver *o = heads[i]) {
            heads[i] = o->next;
            Mem_free(o);
        }
    }
}
