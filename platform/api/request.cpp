// Request objects: the shared rule list, its count and its change notice.
//
// The lock guards the count, the URL, the notice pair and the rule list;
// the notice itself runs after the lock is released, since it usually
// queues work for the document that holds the request and may take that
// document's locks.
#include "platform/api/request.h"

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/stylerule.h"
#include "platform/url/url.h"

namespace {

// What an added rule's weight is raised by for each kind.
uint32_t kindWeight(uint32_t kind)
{
    if (kind == 1)
        return 1000;
    if (kind == 2)
        return 2000;
    return 0;
}

} // namespace

int Request_new(EngineContext *context, uint32_t kind, Request **out)
{
    if (!out)
        return Res_missingArgument;
    *out = nullptr;
    Request *r = static_cast<Request *>(Mem_calloc(1, sizeof(Request)));
    if (!r)
        return Res_noMemory;
    int err = Lock_init(context, &r->lock);
    if (err) {
        Mem_free(r);
        return err;
    }
    r->refCount = 1;
    r->kind = kind;
    r->changed = 1;
    *out = r;
    return Res_ok;
}

void Request_addRef(Request *request)
{
    if (!request)
        return;
    Lock_acquire(&request->lock);
    request->refCount++;
    Lock_release(&request->lock);
}

void Request_release(Request *request)
{
    if (!request)
        return;
    Lock_acquire(&request->lock);
    uint32_t left = --request->refCount;
    Lock_release(&request->lock);
    if (left)
        return;
    Url_free(request->url);
    StyleRule *rule = request->first;
    while (rule) {
        StyleRule *next = rule->next;
        StyleRule_destroy(rule);
        rule = next;
    }
    Lock_fini(&request->lock);
    Mem_free(request);
}

int Request_setUrl(Request *request, const Url *url)
{
    if (!request)
        return Res_missingArgument;
    Url *copy = nullptr;
    if (url) {
        copy = Url_copy(url);
        if (!copy)
            return Res_noMemory;
    }
    Lock_acquire(&request->lock);
    Url *old = request->url;
    request->url = copy;
    Lock_release(&request->lock);
    Url_free(old);
    return Res_ok;
}

Url *Request_getUrl(const Request *request)
{
    return request ? request->url : nullptr;
}

int Request_addItem(Request *request, StyleRule **rule)
{
    if (!request || !rule || !*rule)
        return Res_missingArgument;
    StyleRule *r = *rule;
    r->weight += kindWeight(request->kind);
    Lock_acquire(&request->lock);
    r->owner = request;
    r->next = nullptr;
    if (request->last)
        request->last->next = r;
    else
        request->first = r;
    request->last = r;
    request->changed = 1;
    *rule = nullptr;
    RequestNoticeFn fn = request->noticeFn;
    void *arg = request->noticeArg;
    Lock_release(&request->lock);
    if (fn && arg)
        return fn(arg);
    return Res_ok;
}

void Request_lock(Request *request)
{
    Lock_acquire(&request->lock);
}

void Request_unlock(Request *request)
{
    Lock_release(&request->lock);
}

StyleRule *Request_firstItem(const Request *request)
{
    return request ? request->first : nullptr;
}

StyleRule *Request_nextItem(const Request *, const StyleRule *rule)
{
    return rule ? rule->next : nullptr;
}

StyleRule *Request_itemAt(Request *request, uint32_t index)
{
    if (!request)
        return nullptr;
    Lock_acquire(&request->lock);
    StyleRule *r = request->first;
    while (r && index--)
        r = r->next;
    Lock_release(&request->lock);
    return r;
}

void Request_setCallback(Request *request, void *argument, RequestNoticeFn function)
{
    Lock_acquire(&request->lock);
    request->noticeArg = argument;
    request->noticeFn = function;
    Lock_release(&request->lock);
}

void *Request_getCallback(Request *request)
{
    Lock_acquire(&request->lock);
    void *arg = request->noticeArg;
    Lock_release(&request->lock);
    return arg;
}

int Request_isKind2(const Request *request)
{
    return request && request->kind == 2;
}

uint32_t Request_getKind(const Request *request)
{
    return request ? request->kind : 0;
}
