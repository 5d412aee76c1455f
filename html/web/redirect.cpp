// Document redirections, the redirection policy and user questions.
#include "html/web/redirect.h"

#include <cstring>

#include "core/config/config.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "html/forms/websupport.h"
#include "core/task/eventproc.h"
#include "core/task/lock.h"
#include "core/task/postedvalue.h"
#include "core/task/timerq.h"
#include "core/task/worker.h"
#include "document/edr/doc.h"
#include "document/edr/docevents.h"
#include "document/edr/docmsg.h"
#include "html/docweb.h"
#include "html/link.h"
#include "platform/api/engine.h"
#include "platform/url/url.h"

struct RedirectState {
    int32_t delay;  // never 0
    Url *target;    // owned while pending
    WorkerJob *job; // the running redirection, or null
    uint32_t timer; // the pending timer, or 0
};

namespace {

// ------------------------------------------------------------- questions

// The waiter of a question: the toolkit's wait record first (its answer
// slot keeps a text answer), then the references and the answer word.
// HostQuestion_destroyWait frees it whole.
struct Waiter {
    HostQuestionWait wait;
    int32_t references; // the asker's and one per live message
    int32_t answer;
};

char *duplicate(uintptr_t word)
{
    const char *text = reinterpret_cast<const char *>(word);
    if (!text)
        return nullptr;
    size_t n = strlen(text) + 1;
    char *copy = static_cast<char *>(Mem_malloc(n));
    if (copy)
        memcpy(copy, text, n);
    return copy;
}

// Replaces the texts of record that its kind owns by copies. On failure
// the copies made are freed and the record's texts cleared. 0 or 1.
int duplicateTexts(HostQuestionRecord *record)
{
    int words[3] = {0, 0, 0};
    switch (record->kind) {
    case UserQuestion_cookie: words[0] = 5, words[1] = 6, words[2] = 7; break;
    case UserQuestion_twoUrls:
    case UserQuestion_redirect: words[0] = 3, words[1] = 4; break;
    case UserQuestion_openUrl: words[0] = 3; break;
    case UserQuestion_text: words[0] = 4; break;
    case UserQuestion_message:
        words[0] = 4;
        if (record->words[2] == 2)
            words[1] = 7;
        break;
    default: break;
    }
    bool failed = false;
    for (int w : words) {
        if (!w)
            continue;
        uintptr_t &slot = record->words[w - 1];
        char *copy = failed ? nullptr : duplicate(slot);
        if (slot && !copy)
            failed = true;
        slot = reinterpret_cast<uintptr_t>(copy);
    }
    if (failed) {
        HostQuestion_freeTexts(record);
        return Res_noMemory;
    }
    return Res_ok;
}

Waiter *waiterOf(const HostQuestionRecord *record)
{
    return reinterpret_cast<Waiter *>(record->words[1]);
}

// Drops one reference; the last one frees the waiter. When only the
// asker's is left, it is woken.
void dropReference(Waiter *w)
{
    Lock_acquire(&w->wait.lock);
    int32_t left = --w->references;
    if (left == 1)
        Sem_signal(&w->wait.answerSem);
    Lock_release(&w->wait.lock);
    if (!left)
        HostQuestion_destroyWait(&w->wait);
}

void releaseMessage(EventProcMsg *msg, void *)
{
    auto *record = static_cast<HostQuestionRecord *>(msg->payload);
    if (!record)
        return;
    HostQuestion_freeTexts(record);
    if (Waiter *w = waiterOf(record))
        dropReference(w);
    Mem_free(record);
    msg->payload = nullptr;
}

int copyMessage(const EventProcMsg *src, EventProcMsg *dst)
{
    if (!dst)
        return Res_ok;
    auto *from = static_cast<const HostQuestionRecord *>(src->payload);
    auto *record = static_cast<HostQuestionRecord *>(Mem_malloc(sizeof(HostQuestionRecord)));
    if (!record)
        return Res_noMemory;
    *record = *from;
    if (duplicateTexts(record)) {
        Mem_free(record);
        return Res_noMemory;
    }
    Waiter *w = waiterOf(record);
    Lock_acquire(&w->wait.lock);
    w->references++;
    Lock_release(&w->wait.lock);
    dst->payload = record;
    return Res_ok;
}

Waiter *newWaiter(EngineContext *ctx, int32_t answer)
{
    auto *w = static_cast<Waiter *>(Mem_calloc(1, sizeof(Waiter)));
    if (!w)
        return nullptr;
    if (Lock_init(ctx, &w->wait.lock)) {
        Mem_free(w);
        return nullptr;
    }
    if (Lock_init(ctx, &w->wait.lock2)) {
        Lock_fini(&w->wait.lock);
        Mem_free(w);
        return nullptr;
    }
    if (Sem_init(ctx, &w->wait.answerSem, 0, 1)) {
        Lock_fini(&w->wait.lock2);
        Lock_fini(&w->wait.lock);
        Mem_free(w);
        return nullptr;
    }
    w->references = 1;
    w->answer = answer;
    return w;
}

// --------------------------------------------------------- redirections

RedirectState *stateOf(Edr_Doc *doc)
{
    return doc ? doc->redirect : nullptr;
}

void runRedirection(void *argument)
{
    auto *doc = static_cast<Edr_Doc *>(argument);
    RedirectState *r = stateOf(doc);
    Link link;
    if (Link_resolveTarget(doc, &link) != Res_ok)
        return;
    Url *target = r->target;
    r->target = nullptr;
    Url *own = nullptr;
    if (Edr_Doc_getUrl(doc, &own) == Res_ok && own) {
        if (Redirect_isAllowed(doc->app, own, target, 0, 0)) {
            // The open takes the target over.
            (void)Edr_Doc_followUrl(doc->app, doc, target, &link, 33, nullptr);
            target = nullptr;
        }
        Url_free(own);
    }
    Url_free(target);
    Link_release(&link);
}

void startRedirection(EngineContext *ctx, void *argument)
{
    auto *doc = static_cast<Edr_Doc *>(static_cast<TimerRun *>(argument)->argument);
    RedirectState *r = stateOf(doc);
    if (!r || r->job || !r->target)
        return;
    if (Worker_submit(ctx, &r->job, 1, runRedirection, doc, nullptr, 4096, "doRedirectionWorker") !=
        Res_ok)
        r->job = nullptr;
}

} // namespace

int UserQuestion_ask(EventProc *processor, const HostQuestionRecord *request)
{
    if (!processor || !request)
        return Res_missingArgument;
    auto *answerWord = reinterpret_cast<int32_t *>(request->words[0]);
    EventProcMsg *msg = static_cast<EventProcMsg *>(Mem_calloc(1, sizeof(EventProcMsg)));
    auto *record = static_cast<HostQuestionRecord *>(Mem_malloc(sizeof(HostQuestionRecord)));
    Waiter *w =
        msg && record ? newWaiter(processor->context, answerWord ? *answerWord : 0) : nullptr;
    if (record)
        *record = *request;
    if (!w || duplicateTexts(record)) {
        if (w)
            HostQuestion_destroyWait(&w->wait);
        Mem_free(record);
        Mem_free(msg);
        return Res_noMemory;
    }
    record->words[0] = reinterpret_cast<uintptr_t>(&w->answer);
    record->words[1] = reinterpret_cast<uintptr_t>(w);
    if (record->kind == UserQuestion_text)
        record->words[4] = reinterpret_cast<uintptr_t>(&w->wait.answer);
    w->references++; // the message's
    msg->kind = UserQuestion_messageKind;
    msg->freeFn = releaseMessage;
    msg->copyFn = copyMessage;
    msg->payload = record;
    // The post owns the message from here, also when it fails.
    int err = EventProc_post(processor, msg);
    Lock_acquire(&w->wait.lock);
    bool wait = w->references > 1;
    Lock_release(&w->wait.lock);
    if (wait && Sem_waitStoppable(&w->wait.answerSem) != Res_ok) {
        dropReference(w);
        return Res_stopRequested;
    }
    if (!err) {
        if (answerWord)
            *answerWord = w->answer;
        if (request->kind == UserQuestion_text && request->words[4]) {
            char *text = duplicate(reinterpret_cast<uintptr_t>(w->wait.answer));
            if (w->wait.answer && !text)
                err = Res_noMemory;
            *reinterpret_cast<char **>(request->words[4]) = text;
        }
    }
    dropReference(w);
    return err;
}

int Redirect_isAllowed(EngineContext *context, const Url *from, const Url *to, int32_t flags,
                       int force)
{
    if (!context || !from || !to)
        return 0;
    uint32_t policy =
        Config_getIntA(context, context->config, nullptr, "Vexlan_httpRedirectionPolicy", 2);
    int leavingSecure =
        Url_getScheme(from) == UrlScheme_https && Url_getScheme(to) != UrlScheme_https;
    char *fromText = Url_toUtf8(from, UrlPart_all);
    char *toText = Url_toUtf8(to, UrlPart_all);
    int allowed = fromText && toText;
    if (allowed && (policy == 1 || (policy == 2 && leavingSecure) || force)) {
        int32_t answer = 1;
        HostQuestionRecord q{};
        q.kind = UserQuestion_redirect;
        q.words[0] = reinterpret_cast<uintptr_t>(&answer);
        q.words[2] = reinterpret_cast<uintptr_t>(fromText);
        q.words[3] = reinterpret_cast<uintptr_t>(toText);
        q.words[4] = uintptr_t(leavingSecure);
        q.words[5] = uintptr_t(uint32_t(flags));
        allowed = UserQuestion_ask(context->eventProc, &q) == Res_ok && answer != 0;
    }
    if (allowed) {
        // The notice that a redirection is followed: both addresses as
        // text, leaving https, and the caller's flags (the posted copy
        // owns its texts).
        PostedValue notice{};
        notice.kind = 2;
        notice.words[0] = reinterpret_cast<uintptr_t>(fromText);
        notice.words[1] = reinterpret_cast<uintptr_t>(toText);
        notice.words[2] = uintptr_t(leavingSecure);
        notice.words[3] = uintptr_t(uint32_t(flags));
        notice.words[4] = uintptr_t(force);
        (void)EventQ_postValueCopy(context->eventProc, &notice);
    }
    Mem_free(fromText);
    Mem_free(toText);
    return allowed;
}

int Redirect_create(Edr_Doc *doc)
{
    doc->redirect = static_cast<RedirectState *>(Mem_calloc(1, sizeof(RedirectState)));
    return doc->redirect ? Res_ok : Res_noMemory;
}

void Redirect_cancel(Edr_Doc *doc)
{
    RedirectState *r = stateOf(doc);
    if (!r)
        return;
    if (r->timer)
        (void)TimerQ_cancel(doc->app->eventProc, &r->timer);
    if (r->job) {
        (void)Worker_cancel(r->job);
        Worker_waitAndFree(r->job);
        r->job = nullptr;
    }
    Url_free(r->target);
    r->target = nullptr;
}

void Redirect_free(Edr_Doc *doc)
{
    if (!doc || !doc->redirect)
        return;
    Redirect_cancel(doc);
    Mem_free(doc->redirect);
    doc->redirect = nullptr;
}

int Redirect_schedule(Edr_Doc *doc, int32_t delay, Url *target)
{
    RedirectState *r = stateOf(doc);
    if (!r) {
        Url_free(target);
        return Res_missingArgument;
    }
    Redirect_cancel(doc);
    r->delay = delay > 0 ? delay : 1;
    r->target = target;
    EngineContext *ctx = doc->app;
    int err = TimerQ_add(ctx, ctx ? ctx->eventProc : nullptr, r->delay, 0, startRedirection, doc,
                         &r->timer);
    if (err) {
        Url_free(r->target);
        r->target = nullptr;
        r->timer = 0;
    }
    return err;
}

int Host_askQuestion(EventProc *processor, HostQuestion *question)
{
    if (!question)
        return Res_missingArgument;
    HostQuestionRecord q{};
    q.kind = question->kind;
    q.words[0] = reinterpret_cast<uintptr_t>(&question->answer);
    q.words[2] = reinterpret_cast<uintptr_t>(question->texts[0]);
    q.words[3] = reinterpret_cast<uintptr_t>(question->texts[1]);
    return UserQuestion_ask(processor, &q);
}
