// Host stream hooks and objects with a finaliser.
//
// The hook wrappers are called by the stream layer only for streams that
// carry a cookie, and each is a no-op without an installed record, so a
// host that never installs hooks pays one pointer test per call.
#include "platform/vfs/hosthooks.h"

#include "core/mem/mem.h"
#include "core/result.h"
#include "platform/api/engine.h"

namespace {

HostStreamHooks *hooksOf(EngineContext *ctx)
{
    return ctx ? static_cast<HostStreamHooks *>(ctx->streamHooks) : nullptr;
}

void emptyFinalizer(Obj *) {}

} // namespace

int HostHooks_install(EngineContext *context, decltype(HostStreamHooks::onOpen) onOpen,
                      decltype(HostStreamHooks::onNotify) onNotify,
                      decltype(HostStreamHooks::onBuffer) onBuffer,
                      decltype(HostStreamHooks::onConsumed) onConsumed,
                      decltype(HostStreamHooks::onSeek) onSeek,
                      decltype(HostStreamHooks::onClose) onClose, void *hookCtx)
{
    if (!context)
        return Res_ok;
    HostStreamHooks *h = hooksOf(context);
    if (!h) {
        h = static_cast<HostStreamHooks *>(Mem_calloc(1, sizeof(HostStreamHooks)));
        if (!h)
            return Res_noMemory;
        context->streamHooks = h;
    }
    // The record owns its context block: one replaced by another would
    // otherwise be lost.
    if (h->hookCtx != hookCtx)
        Mem_free(h->hookCtx);
    h->onOpen = onOpen;
    h->onNotify = onNotify;
    h->onBuffer = onBuffer;
    h->onConsumed = onConsumed;
    h->onSeek = onSeek;
    h->onClose = onClose;
    h->hookCtx = hookCtx;
    return Res_ok;
}

void HostHooks_free(EngineContext *context)
{
    HostStreamHooks *h = hooksOf(context);
    if (!h)
        return;
    Mem_free(h->hookCtx);
    Mem_free(h);
    context->streamHooks = nullptr;
}

int HostHooks_onOpen(EngineContext *context, const Url *url, uint32_t flag, uint32_t *cookie)
{
    if (cookie)
        *cookie = 0;
    HostStreamHooks *h = hooksOf(context);
    return h && h->onOpen ? h->onOpen(h->hookCtx, url, flag, cookie) : Res_ok;
}

int HostHooks_onNotify(EngineContext *context, uint32_t cookie, uintptr_t value)
{
    HostStreamHooks *h = hooksOf(context);
    return h && h->onNotify ? h->onNotify(h->hookCtx, cookie, value) : Res_ok;
}

int HostHooks_onBuffer(EngineContext *context, uint32_t cookie, VfsHandle *handle,
                       const uint8_t *ptr, size_t len)
{
    HostStreamHooks *h = hooksOf(context);
    return h && h->onBuffer ? h->onBuffer(h->hookCtx, cookie, handle, ptr, len) : Res_ok;
}

int HostHooks_onConsumed(EngineContext *context, uint32_t cookie, size_t n)
{
    HostStreamHooks *h = hooksOf(context);
    return h && h->onConsumed ? h->onConsumed(h->hookCtx, cookie, n) : Res_ok;
}

int HostHooks_onSeek(EngineContext *context, uint32_t cookie, uint64_t offset)
{
    HostStreamHooks *h = hooksOf(context);
    return h && h->onSeek ? h->onSeek(h->hookCtx, cookie, offset) : Res_ok;
}

int HostHooks_onClose(EngineContext *context, uint32_t cookie)
{
    HostStreamHooks *h = hooksOf(context);
    return h && h->onClose ? h->onClose(h->hookCtx, cookie) : Res_ok;
}

int HostHooks_initModule(EngineContext *context)
{
    if (context)
        context->hostHooksState = nullptr;
    return Res_ok;
}

void HostHooks_finiModule(EngineContext *context)
{
    if (context)
        context->hostHooksState = nullptr;
}

int HostHooks_noop()
{
    return Res_ok;
}

// ----------------------------------------------- objects with a finaliser

Obj *Obj_newDefault()
{
    Obj *obj = static_cast<Obj *>(Mem_calloc(1, sizeof(Obj)));
    if (!obj)
        return nullptr;
    obj->finalize = emptyFinalizer;
    obj->clone = Obj_clone;
    return obj;
}

Obj *Obj_clone(Obj *obj)
{
    if (!obj)
        return nullptr;
    Obj *copy = static_cast<Obj *>(Mem_malloc(sizeof(Obj)));
    if (copy)
        *copy = *obj;
    return copy;
}

void Obj_finalizeFree(Obj **obj)
{
    if (!obj || !*obj)
        return;
    if ((*obj)->finalize)
        (*obj)->finalize(*obj);
    Mem_free(*obj);
    *obj = nullptr;
}
