// The document's deferred-load queue: sub-documents, images and calls
// that importers and editing post while the tree is built, carried out by
// the eDR manager's pass.
//
// The queue is the document's translateAux record {head, tail, lock,
// accepting}. The lock guards only the list and the accepting flag; items
// are handled outside it, with a yield before each, and every item holds
// counted references to its nodes (and its child document), so a node
// deleted meanwhile is never touched through a dangling pointer.
#include "document/types/translate.h"

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/eventproc.h"
#include "document/edr/docmsg.h"
#include "core/task/task.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/manager/manager.h"
#include "graphics/image.h"
#include "platform/api/engine.h"
#include "platform/api/errortext.h"
#include "platform/url/url.h"
#include "platform/vfs/hosthooks.h"

namespace {

Edr_LoadItem *&headOf(Edr_TranslateAux *q)
{
    return q->head;
}

Edr_LoadItem *&tailOf(Edr_TranslateAux *q)
{
    return q->tail;
}

// Gives back everything an item holds and frees it.
void disposeItem(Edr_LoadItem *item, Edr_Doc *doc)
{
    if (item->kind == Edr_LoadItem_subdoc) {
        Edr_Doc *child = item->childDoc;
        if (child)
            Edr_Node_release(child, item->childNode);
        Edr_Node_release(item->parentDoc, item->node);
        Edr_Doc_release(child);
        Url_free(item->url);
        Obj_finalizeFree(&item->arg);
    } else {
        Edr_Node_release(doc, item->node);
    }
    Mem_free(item);
}

// Appends under the lock; a queue that no longer accepts disposes of the
// item at once. 0, or Res_docClosing when it was disposed of.
int append(Edr_Doc *doc, Edr_LoadItem *item)
{
    Edr_TranslateAux *q = doc->translateAux;
    bool accepted = false;
    if (q) {
        Lock_acquire(&q->lock);
        if (q->count) {
            if (tailOf(q))
                tailOf(q)->next = item;
            else
                headOf(q) = item;
            tailOf(q) = item;
            accepted = true;
        }
        Lock_release(&q->lock);
    }
    if (!accepted) {
        disposeItem(item, doc);
        return Res_docClosing;
    }
    return Res_ok;
}

Edr_LoadItem *newItem(uint32_t kind)
{
    Edr_LoadItem *item = static_cast<Edr_LoadItem *>(Mem_calloc(1, sizeof(Edr_LoadItem)));
    if (item)
        item->kind = kind;
    return item;
}

// Reports a sub-document that did not load, through the child document.
void reportSubdoc(EngineContext *app, Edr_Doc *child, int code, bool tried)
{
    if (!app || !app->eventProc || !child)
        return;
    Edr_Mgr_busyBegin(child);
    EventProcDocMsg m{tried ? 2 : 4, tried ? code : 0, nullptr,
                      Ustr_dup(tried ? Engine_unknownErrorText(code) : u"Aborted")};
    (void)EventProc_postDoc(child, app->eventProc, &m);
}

void runSubdoc(Edr_Doc *doc, Edr_LoadItem *item, bool work)
{
    EngineContext *app = Edr_Doc_getApp(doc);
    bool tried = work && item->active;
    int err = Res_ok;
    if (tried) {
        Edr_Node *holder = nullptr;
        err = Edr_Node_getFirstSubdoc(item->parentDoc, item->node, &holder);
        if (err == Res_ok && !holder)
            err = Res_notFound;
        if (err == Res_ok) {
            Edr_SubdocNode *payload = Edr_Node_subdocPayload(holder);
            err = Edr_Node_replaceSubdoc(app, item->parentDoc, holder, item->childDoc,
                                         payload->pageKey, payload->pageKind);
        }
        if (err == Res_ok) {
            Url *url = item->url;
            Obj *arg = item->arg;
            item->url = nullptr;
            item->arg = nullptr;
            if (item->done)
                item->done(app, item->childDoc, item->childNode, url, arg);
            else {
                Url_free(url);
                Obj_finalizeFree(&arg);
            }
        }
        Edr_Node_release(item->parentDoc, holder);
    }
    if (!tried || err != Res_ok)
        reportSubdoc(app, item->childDoc, err, tried);
}

// Starts an image node's load; the node is marked failed when it cannot.
void loadImage(Edr_Doc *doc, Edr_Node *node)
{
    Edr_ImageNode *payload = Edr_Node_imagePayload(node);
    if (!payload || payload->image)
        return;
    Url *url = nullptr; // lent by the node
    Edr_Node_getImageInfo(doc, 0, node, &url, nullptr, nullptr, nullptr, nullptr, nullptr);
    ImageHandle *image = nullptr;
    int err =
        url ? Image_openUrl(Edr_Doc_getApp(doc), url, Edr_Doc_chargeLoad, doc, nullptr, &image)
            : Res_notFound;
    if (err != Res_ok) {
        Edr_Node_setImageState(node, 1);
        return;
    }
    payload->image = image;
    Edr_Node_setImageState(node, (payload->loadState & 7) == 0 ? 4 : 1);
    Image_setReadyCallbacks(image, Edr_Node_imageReady, nullptr, node);
}

void runItem(Edr_Doc *doc, Edr_LoadItem *item, bool work)
{
    switch (item->kind) {
    case Edr_LoadItem_subdoc: runSubdoc(doc, item, work); break;
    case Edr_LoadItem_image:
        if (work && item->active)
            loadImage(doc, item->node);
        else
            Edr_Node_setImageState(item->node, 1);
        break;
    default:
        if (work && item->call)
            item->call(item->node, item->words[0], item->words[1], item->words[2]);
        break;
    }
    disposeItem(item, doc);
}

// Takes a reference to a node for an item: Res_nodeDeleted when it was deleted.
int holdNode(Edr_Doc *doc, Edr_Node *node)
{
    return node ? Edr_Node_addRefLive(doc, node) : Res_ok;
}

} // namespace

void Edr_LoadQueue_stopAccepting(Edr_Doc *doc)
{
    Edr_TranslateAux *q = doc ? doc->translateAux : nullptr;
    if (!q)
        return;
    Lock_acquire(&q->lock);
    q->count = 0;
    Lock_release(&q->lock);
}

void Edr_LoadQueue_cancel(Edr_Doc *doc, uint32_t mask)
{
    Edr_TranslateAux *q = doc ? doc->translateAux : nullptr;
    if (!q)
        return;
    Lock_acquire(&q->lock);
    for (Edr_LoadItem *i = headOf(q); i; i = i->next) {
        if ((i->kind == Edr_LoadItem_subdoc && (mask & 1)) ||
            (i->kind == Edr_LoadItem_image && (mask & 2)))
            i->active = 0;
    }
    Lock_release(&q->lock);
}

void Edr_LoadQueue_runAll(Edr_Doc *doc, int work)
{
    Edr_TranslateAux *q = doc ? doc->translateAux : nullptr;
    if (!q)
        return;
    EngineContext *app = Edr_Doc_getApp(doc);
    Lock_acquire(&q->lock);
    Edr_LoadItem *last = tailOf(q);
    Lock_release(&q->lock);
    if (!last)
        return;
    for (;;) {
        Task_yield(app);
        Lock_acquire(&q->lock);
        Edr_LoadItem *item = headOf(q);
        if (item) {
            headOf(q) = item->next;
            if (!item->next)
                tailOf(q) = nullptr;
            item->next = nullptr;
        }
        Lock_release(&q->lock);
        if (!item)
            return;
        bool withWork = work && !doc->closed;
        runItem(doc, item, withWork);
        if (item == last)
            return;
    }
}

void Translate_stopPageWork(Edr_Doc *doc)
{
    Edr_LoadQueue_stopAccepting(doc);
    Edr_LoadQueue_runAll(doc, 0);
}

int Edr_LoadQueue_postSubdoc(Edr_Doc *parent, Edr_Node *parentNode, Edr_Doc *child,
                             Edr_Node *childNode, Url *url, Edr_SubdocDoneFn done, Obj *arg)
{
    // A URL already open in the parent or an ancestor would load for ever.
    for (Edr_Doc *d = parent; d;) {
        Url *own = nullptr;
        bool same = Edr_Doc_getUrl(d, &own) == Res_ok && own && url && Url_equals(own, url);
        Url_free(own);
        if (same) {
            Url_free(url);
            Obj_finalizeFree(&arg);
            return Res_subdocLoop;
        }
        Edr_Doc *up = nullptr;
        Edr_Doc_getParentDoc(d, &up);
        d = up;
    }
    Edr_LoadItem *item = newItem(Edr_LoadItem_subdoc);
    int err = item ? Res_ok : Res_noMemory;
    if (err == Res_ok && (err = holdNode(parent, parentNode)) == Res_ok) {
        item->node = parentNode;
        if ((err = holdNode(child, childNode)) != Res_ok)
            Edr_Node_release(parent, parentNode);
    }
    if (err != Res_ok) {
        Mem_free(item);
        Url_free(url);
        Obj_finalizeFree(&arg);
        return err;
    }
    Edr_Doc_addRef(child);
    item->parentDoc = parent;
    item->childDoc = child;
    item->childNode = childNode;
    item->url = url;
    item->arg = arg;
    item->done = done;
    item->active = 1;
    if (append(parent, item) == Res_ok)
        // A change whose pass cannot be scheduled now is retried by the next change.
        (void)Edr_Mgr_queueChange(parent);
    return Res_ok;
}

int Edr_LoadQueue_postImage(Edr_Doc *doc, Edr_Node *image, int wake)
{
    Edr_LoadItem *item = newItem(Edr_LoadItem_image);
    if (!item)
        return Res_noMemory;
    int err = holdNode(doc, image);
    if (err != Res_ok) {
        Mem_free(item);
        return err;
    }
    item->node = image;
    item->active = 1;
    if (append(doc, item) == Res_ok && wake)
        // A change whose pass cannot be scheduled now is retried by the next change.
        (void)Edr_Mgr_queueChange(doc);
    return Res_ok;
}

int Edr_LoadQueue_postCall(Edr_Doc *doc, Edr_LoadCallFn function, Edr_Node *node, intptr_t a,
                           intptr_t b, intptr_t c)
{
    Edr_LoadItem *item = newItem(Edr_LoadItem_call);
    if (!item)
        return Res_noMemory;
    int err = holdNode(doc, node);
    if (err != Res_ok) {
        Mem_free(item);
        return err;
    }
    item->node = node;
    item->call = function;
    item->words[0] = a;
    item->words[1] = b;
    item->words[2] = c;
    if (append(doc, item) == Res_ok)
        // A change whose pass cannot be scheduled now is retried by the next change.
        (void)Edr_Mgr_queueChange(doc);
    return Res_ok;
}
