// The session history.
#include "html/web/sessionhistory.h"

#include "core/config/config.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "html/web/list.h"
#include "platform/url/url.h"

namespace {

void freeUrl(void *data)
{
    Url_free(static_cast<Url *>(data));
}

// 1 forward only, 2 back and forward, 3 back only, 4 neither. An empty
// history can go neither way.
int32_t navigationState(const SessionHistory *h)
{
    int32_t last = List_count(h->list) - 1;
    if (last < 0)
        return SessionHistory_neither;
    if (h->current >= last)
        return h->current != 0 ? SessionHistory_backOnly : SessionHistory_neither;
    return h->current > 0 ? SessionHistory_backAndForward : SessionHistory_forwardOnly;
}

void destroyHistory(SessionHistory *h)
{
    List_destroy(&h->list);
    Mem_free(h);
}

void closeHook(AppCloseHook *hook, EngineInstance *instance)
{
    SessionHistory *h = reinterpret_cast<SessionHistory *>(hook);
    if (instance && instance->closeHooks[1] == hook)
        instance->closeHooks[1] = nullptr;
    destroyHistory(h);
}

// The deferred open on the application thread; the text is freed here, or
// by the completion when the call never runs.
void openText(EngineInstance *instance, void *text)
{
    (void)AppEvent_openPath(instance, 0, static_cast<const char *>(text), 0);
    Mem_free(text);
}

void dropText(void *block)
{
    Mem_free(reinterpret_cast<void *>(static_cast<intptr_t *>(block)[3]));
}

} // namespace

SessionHistory *SessionHistory_create(EngineInstance *owner)
{
    SessionHistory *h = static_cast<SessionHistory *>(Mem_calloc(1, sizeof(SessionHistory)));
    if (!h)
        return nullptr;
    if (List_create(&h->list, freeUrl, 4, 4) != 0) {
        Mem_free(h);
        return nullptr;
    }
    h->hook.close = closeHook;
    h->current = -1;
    h->owner = owner;
    h->destroyFn = SessionHistory_destroy;
    return h;
}

void Session_historyAdd(SessionHistory *h, const Url *url)
{
    if (!h || !url)
        return;
    int32_t count = List_count(h->list);
    ListNode *cur = h->current >= 0 ? List_at(h->list, h->current) : nullptr;
    if (!(count > 0 && cur &&
          Url_compare(static_cast<const Url *>(List_nodeData(cur)), url, UrlPart_all) == 0)) {
        // The forward entries go first.
        while (List_count(h->list) > h->current + 1) {
            ListNode *n = List_at(h->list, List_count(h->list) - 1);
            if (List_remove(h->list, &n) != 0)
                break;
        }
        if (Url *copy = Url_copy(url)) {
            EngineContext *context = h->owner ? h->owner->context : nullptr;
            uint32_t max =
                Config_getIntA(context, context ? context->config : nullptr, nullptr,
                               "Vexlan_sessionHistoryMaxEntries", SessionHistory_defaultMaxEntries);
            while (max != 0 && uint32_t(List_count(h->list)) >= max) {
                ListNode *first = h->list->head;
                if (List_remove(h->list, &first) != 0)
                    break;
                h->current--;
            }
            if (List_insert(h->list, copy, nullptr, List_atTail))
                h->current = List_count(h->list) - 1;
            else
                Url_free(copy);
        }
    }
    if (h->notify)
        h->notify(navigationState(h), h->notifyData);
}

void SessionHistory_destroy(EngineInstance *owner)
{
    if (!owner || !owner->closeHooks[1])
        return;
    SessionHistory *h = reinterpret_cast<SessionHistory *>(owner->closeHooks[1]);
    owner->closeHooks[1] = nullptr;
    destroyHistory(h);
}

int SessionHistory_openCurrent(EngineInstance *owner)
{
    SessionHistory *h = owner ? reinterpret_cast<SessionHistory *>(owner->closeHooks[1]) : nullptr;
    ListNode *n = h && h->current >= 0 ? List_at(h->list, h->current) : nullptr;
    if (!n)
        return Res_notFound;
    char *text = Url_toUtf8(static_cast<const Url *>(List_nodeData(n)), UrlPart_all);
    if (!text)
        return Res_noMemory;
    return App_postCall(owner, openText, text, dropText) == 0 ? Res_ok : Res_noMemory;
}
