// The document messages of the event processor: constructors and the
// release and copy operation of each kind.
#include "document/edr/docmsg.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "platform/url/url.h"
#include "platform/vfs/hosthooks.h"

namespace {

// A new payload block holding a copy of source's n bytes, or null.
template <typename T> T *newPayload(const T *source)
{
    T *p = static_cast<T *>(Mem_malloc(sizeof(T)));
    if (p)
        memcpy(static_cast<void *>(p), source, sizeof(T));
    return p;
}

bool kind2HoldsView(const EventProcKind2Msg *m)
{
    return m->type == 3 || m->type == 4 || m->type == 6;
}

// Kind-1 merge: a queued code message with the same code and document.
int mergeCode(const EventProcMsg *fresh, const EventProcMsg *queued)
{
    if (queued->kind != EventProc_kindCode || !queued->payload || !fresh->payload)
        return 0;
    const EventProcCodeMsg *a = static_cast<const EventProcCodeMsg *>(fresh->payload);
    const EventProcCodeMsg *b = static_cast<const EventProcCodeMsg *>(queued->payload);
    return a->code == b->code && a->document == b->document;
}

void releaseOpenUrlPayload(const EventProcKind6Msg *m)
{
    Edr_Doc_releaseView(m->view);
    Url_free(m->url);
    Link link = m->link;
    Link_release(&link);
    Obj *object = m->object;
    Obj_finalizeFree(&object);
}

// The payload of msg as a T, or null; the release operations end with
// dropPayload.
template <typename T> T *payloadOf(const EventProcMsg *msg)
{
    return msg ? static_cast<T *>(msg->payload) : nullptr;
}

void dropPayload(EventProcMsg *msg)
{
    Mem_free(msg->payload);
    msg->payload = nullptr;
}

// The first step of every copy: dst's payload cleared, a null source
// payload copied as null. *done is set when nothing more is to be made.
bool copyStart(const EventProcMsg *src, EventProcMsg *dst, int *result)
{
    if (!src || !dst) {
        *result = Res_missingArgument;
        return false;
    }
    dst->payload = nullptr;
    *result = Res_ok;
    return src->payload != nullptr;
}

// Copies a payload that owns a text: the text first, the only step that
// can fail once the block exists.
template <typename T> int copyWithText(const EventProcMsg *src, EventProcMsg *dst, T **out)
{
    T *p = newPayload(static_cast<const T *>(src->payload));
    if (!p)
        return Res_noMemory;
    if (p->text && !(p->text = Ustr_dup(p->text))) {
        Mem_free(p);
        return Res_noMemory;
    }
    *out = p;
    dst->payload = p;
    return Res_ok;
}

template <typename T> int copyPlain(const EventProcMsg *src, EventProcMsg *dst, T **out)
{
    T *p = newPayload(static_cast<const T *>(src->payload));
    if (!p)
        return Res_noMemory;
    *out = p;
    dst->payload = p;
    return Res_ok;
}

} // namespace

// ------------------------------------------------ release and copy by kind

void EventProc_releaseDoc(EventProcMsg *msg, void *)
{
    if (EventProcDocMsg *m = payloadOf<EventProcDocMsg>(msg)) {
        Edr_Doc_releaseView(m->view);
        Mem_free(m->text);
        dropPayload(msg);
    }
}

int EventProc_copyDoc(const EventProcMsg *src, EventProcMsg *dst)
{
    int r;
    if (!copyStart(src, dst, &r))
        return r;
    EventProcDocMsg *m = nullptr;
    if ((r = copyWithText(src, dst, &m)) == Res_ok)
        Edr_Doc_addView(m->view);
    return r;
}

void EventProc_releaseCode(EventProcMsg *msg, void *)
{
    if (EventProcCodeMsg *m = payloadOf<EventProcCodeMsg>(msg)) {
        Edr_Doc_releaseView(m->view);
        dropPayload(msg);
    }
}

int EventProc_copyCode(const EventProcMsg *src, EventProcMsg *dst)
{
    int r;
    if (!copyStart(src, dst, &r))
        return r;
    EventProcCodeMsg *m = nullptr;
    if ((r = copyPlain(src, dst, &m)) == Res_ok)
        Edr_Doc_addView(m->view);
    return r;
}

void EventProc_releaseTyped(EventProcMsg *msg, void *)
{
    if (EventProcKind2Msg *m = payloadOf<EventProcKind2Msg>(msg)) {
        if (kind2HoldsView(m))
            Edr_Doc_releaseView(static_cast<Edr_Doc *>(m->subject));
        dropPayload(msg);
    }
}

int EventProc_copyTyped(const EventProcMsg *src, EventProcMsg *dst)
{
    int r;
    if (!copyStart(src, dst, &r))
        return r;
    EventProcKind2Msg *m = nullptr;
    if ((r = copyPlain(src, dst, &m)) == Res_ok && kind2HoldsView(m))
        Edr_Doc_addView(static_cast<Edr_Doc *>(m->subject));
    return r;
}

void EventProc_releaseOpenUrl(EventProcMsg *msg, void *)
{
    if (EventProcKind6Msg *m = payloadOf<EventProcKind6Msg>(msg)) {
        releaseOpenUrlPayload(m);
        dropPayload(msg);
    }
}

int EventProc_copyOpenUrl(const EventProcMsg *src, EventProcMsg *dst)
{
    int r;
    if (!copyStart(src, dst, &r))
        return r;
    const auto *m = static_cast<const EventProcKind6Msg *>(src->payload);
    // An object has a single owner: a message carrying one stays unique.
    if (m->object)
        return Res_notImplemented;
    Url *url = nullptr;
    if (m->url && !(url = Url_copy(m->url)))
        return Res_noMemory;
    Link link;
    if (Link_copy(&link, &m->link) != Res_ok) {
        Url_free(url);
        return Res_noMemory;
    }
    EventProcKind6Msg *p = nullptr;
    if ((r = copyPlain(src, dst, &p)) != Res_ok) {
        Url_free(url);
        Link_release(&link);
        return r;
    }
    Edr_Doc_addView(p->view);
    p->url = url;
    p->link = link;
    return Res_ok;
}

void EventProc_releaseViewDoc(EventProcMsg *msg, void *)
{
    if (EventProcKind7Msg *m = payloadOf<EventProcKind7Msg>(msg)) {
        Edr_Doc_releaseView(m->view);
        Edr_Doc_release(m->document);
        dropPayload(msg);
    }
}

int EventProc_copyViewDoc(const EventProcMsg *src, EventProcMsg *dst)
{
    int r;
    if (!copyStart(src, dst, &r))
        return r;
    EventProcKind7Msg *m = nullptr;
    if ((r = copyPlain(src, dst, &m)) == Res_ok) {
        Edr_Doc_addView(m->view);
        Edr_Doc_addRef(m->document);
    }
    return r;
}

void EventProc_releasePageUpdate(EventProcMsg *msg, void *)
{
    if (EventProcKind9Msg *m = payloadOf<EventProcKind9Msg>(msg)) {
        Edr_Doc_releaseView(m->view);
        dropPayload(msg);
    }
}

int EventProc_copyPageUpdate(const EventProcMsg *src, EventProcMsg *dst)
{
    int r;
    if (!copyStart(src, dst, &r))
        return r;
    EventProcKind9Msg *m = nullptr;
    if ((r = copyPlain(src, dst, &m)) == Res_ok)
        Edr_Doc_addView(m->view);
    return r;
}

void EventProc_releaseViewText(EventProcMsg *msg, void *)
{
    if (EventProcKind11Msg *m = payloadOf<EventProcKind11Msg>(msg)) {
        Edr_Doc_releaseView(m->view);
        Mem_free(m->text);
        dropPayload(msg);
    }
}

int EventProc_copyViewText(const EventProcMsg *src, EventProcMsg *dst)
{
    int r;
    if (!copyStart(src, dst, &r))
        return r;
    EventProcKind11Msg *m = nullptr;
    if ((r = copyWithText(src, dst, &m)) == Res_ok)
        Edr_Doc_addView(m->view);
    return r;
}

// ----------------------------------------------------------- constructors

int EventProc_postDoc(Edr_Doc *document, EventProc *processor, const EventProcDocMsg *source)
{
    if (!source)
        return Res_missingArgument;
    EventProcDocMsg *m = newPayload(source);
    if (!m) {
        Mem_free(source->text);
        return Res_noMemory;
    }
    m->view = document;
    Edr_Doc_addView(document);
    return EventProc_postPayload(processor, EventProc_kindReport, m, EventProc_releaseDoc,
                                 EventProc_copyDoc, nullptr);
}

int EventProc_postCode(EventProc *processor, const EventProcCodeMsg *source)
{
    if (!source)
        return Res_missingArgument;
    EventProcCodeMsg *m = newPayload(source);
    if (!m)
        return Res_noMemory;
    m->view = m->document;
    Edr_Doc_addView(m->document);
    bool merges =
        m->code == DocMsg_codePageDropped ||
        (m->code == DocMsg_codePageAdded && (!m->document || m->document->startFlag != 0));
    return EventProc_postPayload(processor, EventProc_kindCode, m, EventProc_releaseCode,
                                 EventProc_copyCode, merges ? mergeCode : nullptr);
}

int EventProc_postPlainCode(EventProc *processor, const EventProcCodeMsg *source)
{
    if (!source)
        return Res_missingArgument;
    EventProcCodeMsg *m = newPayload(source);
    if (!m)
        return Res_noMemory;
    m->view = nullptr;
    return EventProc_postPayload(processor, EventProc_kindCode, m, EventProc_releaseCode,
                                 EventProc_copyCode, nullptr);
}

int EventProc_postKind2(EventProc *processor, const EventProcKind2Msg *source)
{
    if (!source)
        return Res_missingArgument;
    EventProcKind2Msg *m = newPayload(source);
    if (!m)
        return Res_noMemory;
    if (kind2HoldsView(m))
        Edr_Doc_addView(static_cast<Edr_Doc *>(m->subject));
    return EventProc_postPayload(processor, EventProc_kindTyped, m, EventProc_releaseTyped,
                                 EventProc_copyTyped, nullptr);
}

int EventProc_postKind6(EventProc *processor, const EventProcKind6Msg *source)
{
    if (!source)
        return Res_missingArgument;
    EventProcKind6Msg *m = newPayload(source);
    if (!m) {
        releaseOpenUrlPayload(source);
        return Res_noMemory;
    }
    return EventProc_postPayload(processor, EventProc_kindOpenUrl, m, EventProc_releaseOpenUrl,
                                 EventProc_copyOpenUrl, nullptr);
}

int EventProc_postKind7(EventProc *processor, const EventProcKind7Msg *source)
{
    if (!source)
        return Res_missingArgument;
    EventProcKind7Msg *m = newPayload(source);
    if (!m)
        return Res_noMemory;
    Edr_Doc_addView(m->view);
    Edr_Doc_addRef(m->document);
    return EventProc_postPayload(processor, EventProc_kindViewDoc, m, EventProc_releaseViewDoc,
                                 EventProc_copyViewDoc, nullptr);
}

int EventProc_postKind9(Edr_Doc *document, EventProc *processor, const EventProcKind9Msg *source)
{
    if (!source)
        return Res_missingArgument;
    EventProcKind9Msg *m = newPayload(source);
    if (!m)
        return Res_noMemory;
    m->view = document;
    Edr_Doc_addView(document);
    return EventProc_postPayload(processor, EventProc_kindPageUpdate, m,
                                 EventProc_releasePageUpdate, EventProc_copyPageUpdate, nullptr);
}

int EventProc_postKind11(EventProc *processor, const EventProcKind11Msg *source)
{
    if (!source)
        return Res_missingArgument;
    EventProcKind11Msg *m = newPayload(source);
    if (!m) {
        Edr_Doc_releaseView(source->view);
        Mem_free(source->text);
        return Res_noMemory;
    }
    return EventProc_postPayload(processor, EventProc_kindViewText, m, EventProc_releaseViewText,
                                 EventProc_copyViewText, nullptr);
}
