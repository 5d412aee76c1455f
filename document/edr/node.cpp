// eDR nodes: allocation, the creators, linking with its six modes,
// unlinking and the unlinked chain, reference counts, dead-node collection
// and restore, non-recursive teardown, image load states and node events.
//
// Linking checks everything it needs before it changes anything: a node
// is either linked completely or left where it was, so a creator whose
// linking fails can free its node without leaving a pointer to it in the
// tree. A run that would end up inside itself (a group moved under its own
// descendant, or an anchor inside the moved run) is refused.
#include "document/edr/node.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "platform/vfs/imagesource.h"
#include "core/task/eventproc.h"
#include "document/edr/doc.h"
#include "document/edr/edr_internal.h"
#include "document/manager/manager.h"
#include "document/types/translate.h"
#include "graphics/drawlist.h"
#include "graphics/image.h"
#include "graphics/path.h"
#include "document/edr/loadprogress.h"
#include "document/edr/webops.h"
#include "document/edr/layoutops.h"
#include "document/edr/attachtable.h"
#include "platform/url/url.h"

using edr::count;
using edr::group;
using edr::isGroup;

namespace {

uint32_t typeOf(const Edr_Node *n)
{
    return n->flags & Edr_Node_typeMask;
}

bool isFormControl(const Edr_Node *n)
{
    return isGroup(n) &&
           ((n->flags & Edr_Node_subtypeMask) >> Edr_Node_subtypeShift) == Edr_Subtype_formControl;
}

void setChanged(Edr_Node *n)
{
    n->flags |= Edr_Node_changedBit;
}

// The node before n in its parent's child list, or null when n is first.
Edr_Node *prevSibling(Edr_Node *n)
{
    Edr_Node *prev = nullptr;
    for (Edr_Node *c = group(n->parentNode)->firstChild; c && c != n; c = c->next)
        prev = c;
    return prev;
}

// Removes n alone from the unlinked chain; false when it is not there.
bool takeFromChain(Edr_Doc *doc, Edr_Node *n)
{
    for (Edr_Node **link = &doc->unlinked; *link; link = &(*link)->next) {
        if (*link == n) {
            *link = n->next;
            n->next = nullptr;
            return true;
        }
    }
    return false;
}

void unregisterControls(Edr_Doc *doc, Edr_Node *first, Edr_Node *last)
{
    for (Edr_Node *n = first; n; n = n->next) {
        if (isFormControl(n))
            (void)Edr_Web_unregisterControl(doc->app, doc, n);
        if (n == last)
            break;
    }
}

// True when x is node or one of the siblings after it.
bool inRun(Edr_Node *node, Edr_Node *x)
{
    if (x == node)
        return true;
    if (!node->parentNode || x->parentNode != node->parentNode)
        return false;
    for (Edr_Node *n = node->next; n; n = n->next)
        if (n == x)
            return true;
    return false;
}

// True when moving node's run under parent (next to anchor) would put the
// run inside itself.
bool wouldNest(Edr_Node *node, Edr_Node *parent, Edr_Node *anchor)
{
    if (anchor && inRun(node, anchor))
        return true;
    // A run without children can only hold parent itself, not one of its
    // ancestors: the common case (a new node) costs nothing per level of
    // depth, so deep trees build in linear time.
    bool childless = true;
    for (Edr_Node *n = node; n && childless; n = node->parentNode ? n->next : nullptr)
        if (isGroup(n) && group(n)->firstChild)
            childless = false;
    if (childless)
        return inRun(node, parent);
    for (Edr_Node *x = parent; x; x = x->parentNode)
        if (inRun(node, x))
            return true;
    return false;
}

void queueChange(Edr_Doc *doc)
{
    // A change whose pass cannot be scheduled now is retried by the next change.
    (void)Edr_Mgr_queueChange(doc);
}

// Detaches node alone to the end of the unlinked chain.
void detachAlone(Edr_Doc *doc, Edr_Node *node)
{
    if (node->parentNode)
        edr::unlinkRun(doc, node, node);
    else
        takeFromChain(doc, node);
    edr::appendUnlinked(doc, node);
}

void freePicture(Edr_PictureRecord *rec)
{
    if (!rec)
        return;
    if (rec->ownsBuffer)
        Mem_free(rec->buffer);
    Mem_free(rec);
}

// The teardown visitor: marks the node deleted and lets go of what its
// payload holds outside the node's own block.
int teardown(Edr_Node *node, int *, int *, void *context)
{
    Edr_Doc *doc = static_cast<Edr_Doc *>(context);
    node->flags |= Edr_Node_deletedBit;
    Edr_Node_detachPrivate(doc, node);
    switch (typeOf(node)) {
    case Edr_NodeType_group: {
        Edr_Group *g = group(node);
        uint32_t sub = (node->flags & Edr_Node_subtypeMask) >> Edr_Node_subtypeShift;
        if (sub == Edr_Subtype_formControl && g->subtypeValue) {
            (void)Edr_Web_unregisterControl(doc->app, doc, node);
            Edr_Web_releaseControl(doc->app, doc, g->subtypeValue);
        } else if (sub == Edr_Subtype_word && g->subtypeValue) {
            Edr_Web_freeValue(doc->app, g->subtypeValue);
        } else if (sub == Edr_Subtype_url) {
            Url_free(static_cast<Url *>(g->subtypeValue));
        }
        g->subtypeValue = nullptr;
        Mem_free(g->ids);
        g->ids = nullptr;
        Edr_Layout_extraFree(doc->app, g->extra);
        g->extra = nullptr;
        edr::freeExt(g->ext);
        g->ext = nullptr;
        break;
    }
    case Edr_NodeType_path:
    case Edr_NodeType_text:
    case Edr_NodeType_blob: break;
    case Edr_NodeType_picture: {
        Edr_PictureNode *p = static_cast<Edr_PictureNode *>(Edr_Node_payload(node));
        freePicture(p->record);
        p->record = nullptr;
        break;
    }
    case Edr_NodeType_subdoc: {
        Edr_SubdocNode *s = Edr_Node_subdocPayload(node);
        if (s->child) {
            Edr_Doc *child = s->child;
            s->child = nullptr;
            Edr_Doc_writeLockWait(child);
            if (child->parent == doc)
                child->parent = nullptr;
            if (child->hostNode == node)
                child->hostNode = nullptr;
            Edr_Doc_writeUnlock(child);
            Edr_Doc_release(child);
        }
        break;
    }
    case Edr_NodeType_data: Prop_free(static_cast<Prop *>(Edr_Node_payload(node))); break;
    case Edr_NodeType_image: {
        Edr_ImageNode *im = Edr_Node_imagePayload(node);
        if (im->imageUrl) {
            if (im->image)
                Image_detachFromNode(im->image);
            Url_free(im->imageUrl);
            im->imageUrl = nullptr;
            Edr_Node_setImageState(node, 1);
        }
        break;
    }
    case Edr_NodeType_drawList: (void)Edr_Node_adjustDrawListShares(doc, node, -1); break;
    case Edr_NodeType_grid: {
        Edr_GridNode *gr = static_cast<Edr_GridNode *>(Edr_Node_payload(node));
        if (gr->freeRecord)
            gr->freeRecord(gr->record);
        gr->record = nullptr;
        break;
    }
    default: break;
    }
    return 0;
}

void freeLeaf(Edr_Node *n)
{
    if (typeOf(n) == Edr_NodeType_image) {
        Edr_ImageNode *im = Edr_Node_imagePayload(n);
        if (im->image)
            ImageHandle_release(im->image);
    }
    Mem_free(n);
}

// Links with out and the change queue in the common way of the creators:
// on failure the new node is taken off everything and destroyed.
int linkNew(Edr_Doc *doc, Edr_Node *anchor, int32_t mode, Edr_Node *node, Edr_Node **out)
{
    int err = Edr_Node_insert(doc, anchor, mode, node, out);
    if (err)
        edr::discardNode(doc, node);
    return err;
}

// Writes count into the header (count fits 16 bits).
void setCount(Edr_Node *n, uint32_t c)
{
    n->flags = (n->flags & ~uint32_t(Edr_Node_countMask)) | (c << Edr_Node_countShift);
}

} // namespace

namespace edr {

void appendUnlinked(Edr_Doc *doc, Edr_Node *first)
{
    Edr_Node **link = &doc->unlinked;
    while (*link)
        link = &(*link)->next;
    *link = first;
}

void unlinkRun(Edr_Doc *doc, Edr_Node *first, Edr_Node *last)
{
    Edr_Node *parent = first->parentNode;
    Edr_Group *g = group(parent);
    if (!last)
        last = g->lastChild;
    unregisterControls(doc, first, last);
    for (Edr_Node *n = first;; n = n->next) {
        n->parentNode = nullptr;
        if (n == last)
            break;
    }
    Edr_Node *prev = nullptr;
    for (Edr_Node *c = g->firstChild; c && c != first; c = c->next)
        prev = c;
    if (prev)
        prev->next = last->next;
    else
        g->firstChild = last->next;
    if (g->lastChild == last)
        g->lastChild = prev;
    setChanged(parent);
    last->next = nullptr;
    doc->stamp = uint16_t(doc->stamp + 1);
}

void discardNode(Edr_Doc *doc, Edr_Node *node)
{
    if (!node)
        return;
    Edr_Doc_writeLockWait(doc);
    if (!node->parentNode)
        takeFromChain(doc, node);
    Edr_Doc_writeUnlock(doc);
    Edr_Node_destroy(doc, node);
}

} // namespace edr

// ------------------------------------------------------------- payloads

void *Edr_Node_payload(Edr_Node *node)
{
    return node + 1;
}

void *Edr_Node_payloadOrNull(Edr_Node *node)
{
    return node ? node + 1 : nullptr;
}

Edr_Group *Edr_Node_group(Edr_Node *node)
{
    return group(node);
}

Edr_TextNode *Edr_Node_textPayload(Edr_Node *node)
{
    return reinterpret_cast<Edr_TextNode *>(node + 1);
}

Edr_ImageNode *Edr_Node_imagePayload(Edr_Node *node)
{
    return reinterpret_cast<Edr_ImageNode *>(node + 1);
}

Edr_SubdocNode *Edr_Node_subdocPayload(Edr_Node *node)
{
    return reinterpret_cast<Edr_SubdocNode *>(node + 1);
}

// -------------------------------------------------------------- creation

int Edr_Node_allocate(Edr_Node **out, uint32_t type, size_t payloadBytes)
{
    *out = nullptr;
    Edr_Node *n = static_cast<Edr_Node *>(Mem_calloc(1, sizeof(Edr_Node) + payloadBytes));
    if (!n)
        return Res_noMemory;
    n->flags = Edr_Node_newFlags | (type & Edr_Node_typeMask);
    *out = n;
    return Res_ok;
}

int Edr_Node_newGroup(Edr_Node **out, uint32_t element)
{
    int err = Edr_Node_allocate(out, Edr_NodeType_group, sizeof(Edr_Group));
    if (!err)
        group(*out)->element = element;
    return err;
}

int Edr_Node_createGroup(Edr_Doc *doc, Edr_Node *anchor, int32_t mode, uint32_t element,
                         Edr_Node **out)
{
    if (out)
        *out = nullptr;
    Edr_Node *n = nullptr;
    int err = Edr_Node_newGroup(&n, element);
    if (err)
        return err;
    return linkNew(doc, anchor, mode, n, out);
}

int Edr_Node_createPath(Edr_Doc *doc, Edr_Node *anchor, int32_t mode, Edr_Node **out, Path *path)
{
    if (out)
        *out = nullptr;
    if (!path)
        return Res_missingArgument;
    if (path->scale != 0x10000)
        return Res_badPathScale;
    Path_trim(path);
    if (!path->count) {
        Path_destroy(path);
        return Res_ok;
    }
    Edr_Node *n = nullptr;
    int err = Edr_Node_allocate(&n, Edr_NodeType_path, Path_embeddedBytes(path));
    if (err)
        return err;
    Path_embed(Edr_Node_payload(n), path);
    err = linkNew(doc, anchor, mode, n, out);
    if (!err)
        Path_destroy(path);
    return err;
}

int Edr_Node_createText(Edr_Doc *doc, Edr_Node *anchor, int32_t mode, Edr_Node **out,
                        const char16_t *chars, uint32_t length)
{
    if (out)
        *out = nullptr;
    if (!chars && length)
        return Res_missingArgument;
    Edr_Node *n = nullptr;
    int err = Edr_Node_allocate(&n, Edr_NodeType_text,
                                sizeof(Edr_TextNode) + (size_t(length) + 1) * sizeof(char16_t));
    if (err)
        return err;
    Edr_TextNode *t = Edr_Node_textPayload(n);
    t->chars = reinterpret_cast<char16_t *>(t + 1);
    t->length = length;
    for (uint32_t i = 0; i < length; i++)
        t->chars[i] = chars[i] ? chars[i] : char16_t(0xFFFD);
    t->chars[length] = 0;
    return linkNew(doc, anchor, mode, n, out);
}

int Edr_Node_createTriple(Edr_Doc *doc, Edr_Node *anchor, int32_t mode, Edr_Node **out,
                          Edr_PictureRecord *w1, intptr_t w2, intptr_t w3)
{
    if (out)
        *out = nullptr;
    Edr_Node *n = nullptr;
    int err = Edr_Node_allocate(&n, Edr_NodeType_picture, sizeof(Edr_PictureNode));
    if (err)
        return err;
    Edr_PictureNode *p = static_cast<Edr_PictureNode *>(Edr_Node_payload(n));
    p->record = w1;
    p->callerWords[0] = w2;
    p->callerWords[1] = w3;
    err = Edr_Node_insert(doc, anchor, mode, n, out);
    if (err) {
        p->record = nullptr; // the record stays the caller's
        edr::discardNode(doc, n);
    }
    return err;
}

int Edr_Node_createSubdoc(Edr_Doc *doc, Edr_Node *anchor, int32_t mode, Edr_Node **out,
                          Edr_Doc *child, const int32_t placement[6], intptr_t key, intptr_t kind)
{
    if (out)
        *out = nullptr;
    if (!child)
        return Res_missingArgument;
    Edr_Doc_readLock(doc);
    uint32_t depth = doc->depth;
    Edr_Doc_readUnlock(doc);
    if (depth >= Edr_maxDepth)
        return Res_depthReached;
    Edr_Node *n = nullptr;
    int err = Edr_Node_allocate(&n, Edr_NodeType_subdoc, sizeof(Edr_SubdocNode));
    if (err)
        return err;
    Edr_SubdocNode *s = Edr_Node_subdocPayload(n);
    Edr_Doc_addRef(child);
    s->child = child;
    if (placement)
        memcpy(s->placement, placement, sizeof(s->placement));
    s->pageKey = key;
    s->pageKind = kind;
    Edr_Doc_writeLockWait(child);
    child->parent = doc;
    child->hostNode = n;
    child->depth = depth + 1;
    Edr_Doc_writeUnlock(child);
    err = linkNew(doc, anchor, mode, n, out);
    if (!err)
        // A change whose pass cannot be scheduled now is retried by the next change.
        (void)Edr_Mgr_queueChange(child);
    return err;
}

int Edr_Node_replaceSubdoc(EngineContext *, Edr_Doc *doc, Edr_Node *node, Edr_Doc *child,
                           intptr_t key, intptr_t kind)
{
    if (!node || typeOf(node) != Edr_NodeType_subdoc)
        return Res_missingArgument;
    int err = Edr_Doc_writeLock(doc);
    if (err)
        return err;
    Edr_SubdocNode *s = Edr_Node_subdocPayload(node);
    Edr_Doc *old = s->child;
    Edr_Doc_addRef(child);
    s->child = child;
    s->pageKey = key;
    s->pageKind = kind;
    uint32_t depth = doc->depth;
    setChanged(node);
    Edr_Doc_writeUnlock(doc);
    if (child) {
        Edr_Doc_writeLockWait(child);
        child->parent = doc;
        child->hostNode = node;
        child->depth = depth + 1;
        Edr_Doc_writeUnlock(child);
    }
    if (old && old != child) {
        Edr_Doc_writeLockWait(old);
        if (old->hostNode == node) {
            old->parent = nullptr;
            old->hostNode = nullptr;
        }
        Edr_Doc_writeUnlock(old);
    }
    if (old && !Edr_Doc_dropRefKeep(old))
        Edr_Doc_destroyOnWorker(old);
    queueChange(doc);
    return Res_ok;
}

int Edr_Node_createData(Edr_Doc *doc, Edr_Node *anchor, int32_t mode, Edr_Node **out,
                        const Prop *value)
{
    if (out)
        *out = nullptr;
    if (!value)
        return Res_missingArgument;
    Edr_Node *n = nullptr;
    int err = Edr_Node_allocate(&n, Edr_NodeType_data, sizeof(Prop));
    if (err)
        return err;
    err = Prop_copy(static_cast<Prop *>(Edr_Node_payload(n)), value);
    if (err) {
        Prop_free(static_cast<Prop *>(Edr_Node_payload(n)));
        Mem_free(n);
        return err;
    }
    return linkNew(doc, anchor, mode, n, out);
}

int Edr_Node_createBlob(Edr_Doc *doc, Edr_Node *anchor, int32_t mode, Edr_Node **out,
                        const void *bytes, uint32_t length)
{
    if (out)
        *out = nullptr;
    if (!bytes && length)
        return Res_missingArgument;
    Edr_Node *n = nullptr;
    int err = Edr_Node_allocate(&n, Edr_NodeType_blob, sizeof(Edr_BlobNode) + length);
    if (err)
        return err;
    Edr_BlobNode *b = static_cast<Edr_BlobNode *>(Edr_Node_payload(n));
    b->length = length;
    if (length)
        memcpy(b + 1, bytes, length);
    return linkNew(doc, anchor, mode, n, out);
}

int Edr_Node_createDrawList(Edr_Doc *doc, Edr_Node *anchor, int32_t mode, Edr_Node **out,
                            const int32_t *words, uint32_t count)
{
    if (out)
        *out = nullptr;
    if (!words && count)
        return Res_missingArgument;
    Edr_DrawList *list = static_cast<Edr_DrawList *>(
        Mem_calloc(1, sizeof(Edr_DrawList) + size_t(count ? count - 1 : 0) * sizeof(int32_t)));
    if (!list)
        return Res_noMemory;
    list->count = count;
    list->shares = 1;
    if (count)
        memcpy(list->words, words, count * sizeof(int32_t));
    Rect bounds{};
    int err = DrawList_bounds(doc->app, list->words, count, &bounds);
    list->bounds[0] = bounds.x0;
    list->bounds[1] = bounds.y0;
    list->bounds[2] = bounds.x1;
    list->bounds[3] = bounds.y1;
    Edr_Node *n = nullptr;
    if (!err)
        err = Edr_Node_allocate(&n, Edr_NodeType_drawList, sizeof(Edr_DrawList *));
    if (err) {
        Mem_free(list);
        return err;
    }
    *static_cast<Edr_DrawList **>(Edr_Node_payload(n)) = list;
    if (out)
        list->shares++;
    err = Edr_Node_insert(doc, anchor, mode, n, out);
    if (err) {
        list->shares = 1;
        edr::discardNode(doc, n);
    }
    return err;
}

int Edr_Node_shareDrawList(Edr_Doc *doc, Edr_Node *anchor, int32_t mode, Edr_Node **out,
                           Edr_Node *source)
{
    if (out)
        *out = nullptr;
    if (!source || typeOf(source) != Edr_NodeType_drawList)
        return Res_missingArgument;
    Edr_DrawList *list = *static_cast<Edr_DrawList **>(Edr_Node_payload(source));
    if (!list)
        return Res_missingArgument;
    Edr_Node *n = nullptr;
    int err = Edr_Node_allocate(&n, Edr_NodeType_drawList, sizeof(Edr_DrawList *));
    if (err)
        return err;
    err = Edr_Doc_writeLock(doc);
    if (err) {
        Mem_free(n);
        return err;
    }
    list->shares += out ? 2 : 1;
    Edr_Doc_writeUnlock(doc);
    *static_cast<Edr_DrawList **>(Edr_Node_payload(n)) = list;
    err = Edr_Node_insert(doc, anchor, mode, n, out);
    if (err) {
        if (out)
            (void)Edr_Node_adjustDrawListShares(doc, n, -1);
        edr::discardNode(doc, n);
    }
    return err;
}

int Edr_Node_adjustDrawListShares(Edr_Doc *doc, Edr_Node *node, int32_t delta)
{
    if (!node || typeOf(node) != Edr_NodeType_drawList)
        return Res_missingArgument;
    if (delta < 0) {
        Edr_Doc_writeLockWait(doc);
    } else {
        int err = Edr_Doc_writeLock(doc);
        if (err)
            return err;
    }
    Edr_DrawList **slot = static_cast<Edr_DrawList **>(Edr_Node_payload(node));
    Edr_DrawList *list = *slot;
    if (list) {
        list->shares += uint32_t(delta);
        if (list->shares == 0) {
            Mem_free(list);
            *slot = nullptr;
        }
    }
    Edr_Doc_writeUnlock(doc);
    return Res_ok;
}

int Edr_Node_compareDrawList(Edr_Doc *, const int32_t *words, uint32_t count, Edr_Node *node)
{
    if (!node || typeOf(node) != Edr_NodeType_drawList)
        return 1;
    Edr_DrawList *list = *static_cast<Edr_DrawList **>(Edr_Node_payload(node));
    if (!list || list->count != count)
        return 1;
    return DrawList_equal(list->words, words, count);
}

int Edr_Node_createRecordRef(Edr_Doc *doc, Edr_Node *anchor, int32_t mode, Edr_Node **out,
                             void *record, Edr_RecordFreeFn freeRecord)
{
    if (out)
        *out = nullptr;
    Edr_Node *n = nullptr;
    int err = Edr_Node_allocate(&n, Edr_NodeType_grid, sizeof(Edr_GridNode));
    if (err) {
        if (freeRecord)
            freeRecord(record);
        return err;
    }
    Edr_GridNode *gr = static_cast<Edr_GridNode *>(Edr_Node_payload(n));
    gr->record = record;
    gr->freeRecord = freeRecord;
    return linkNew(doc, anchor, mode, n, out);
}

// ---------------------------------------------------------------- images

int Edr_Node_createImageKind(Edr_Doc *doc, Edr_Node *anchor, int32_t mode, Edr_Node **out,
                             const Url *url, const int32_t placement[5], uint32_t flags,
                             uint32_t kind)
{
    if (out)
        *out = nullptr;
    Edr_Node *n = nullptr;
    int err = Edr_Node_allocate(&n, Edr_NodeType_image, sizeof(Edr_ImageNode));
    if (err)
        return err;
    n->flags &= ~uint32_t(Edr_Node_enabledBit);
    Edr_ImageNode *im = Edr_Node_imagePayload(n);
    im->owner = doc;
    if (placement)
        memcpy(im->placement, placement, sizeof(im->placement));
    im->imageFlags = flags;
    if (url) {
        im->imageUrl = Url_copy(url);
        if (!im->imageUrl) {
            Mem_free(n);
            return Res_noMemory;
        }
        Url *docUrl = nullptr;
        if (Edr_Doc_getUrl(doc, &docUrl) == 0 && docUrl) {
            if (Edr_Doc_referrerAllowed(doc, docUrl, im->imageUrl)) {
                char *text = Url_toLatin1(docUrl);
                if (text)
                    Url_setCstr(im->imageUrl, text);
            }
            Url_setClass(im->imageUrl, Url_getClass(docUrl));
        }
        Url_free(docUrl);
    }
    Edr_Node_setImageState(n, (flags & 1) ? 1 : kind);
    err = Edr_Node_insert(doc, anchor, mode, n, out);
    if (err) {
        Edr_Node_setImageState(n, 1);
        edr::discardNode(doc, n);
        return err;
    }
    (void)Translate_registerImage(doc, n);
    return Res_ok;
}

int Edr_Node_createImage(Edr_Doc *doc, Edr_Node *anchor, int32_t mode, Edr_Node **out,
                         const Url *url, const int32_t placement[5], uint32_t flags)
{
    return Edr_Node_createImageKind(doc, anchor, mode, out, url, placement, flags, 4);
}

int Edr_Node_createImageFrom(Edr_Doc *doc, Edr_Node *anchor, int32_t mode, Edr_Node **out,
                             ImageHandle *image)
{
    if (out)
        *out = nullptr;
    Edr_Node *n = nullptr;
    int err = Edr_Node_allocate(&n, Edr_NodeType_image, sizeof(Edr_ImageNode));
    if (err)
        return err;
    Edr_ImageNode *im = Edr_Node_imagePayload(n);
    im->owner = doc;
    uint32_t caps = 0;
    if (image)
        (void)Image_getDocImageInfo(image, nullptr, nullptr, &caps);
    Edr_Node_setImageState(n, (caps & ImageCap_final) ? 1 : 4);
    err = Edr_Node_insert(doc, anchor, mode, n, out);
    if (err) {
        Edr_Node_setImageState(n, 1);
        edr::discardNode(doc, n);
        return err;
    }
    im->image = image;
    if (image)
        Image_setReadyCallbacks(image, Edr_Node_imageReady, nullptr, n);
    return Res_ok;
}

int Edr_Node_createImageStream(Edr_Doc *doc, Edr_Node *anchor, int32_t mode, Edr_Node **out,
                               VfsHandle *stream, int32_t width, int32_t height, uint32_t flags)
{
    if (out)
        *out = nullptr;
    if (!stream)
        return Res_missingArgument;
    // The source takes the stream (closing it when it cannot be made); the
    // image store decodes from it as the node's picture is wanted.
    ImageSource *source = nullptr;
    int err = ImageSource_createForStream(stream, &source);
    if (err)
        return err;
    ImageHandle *image = nullptr;
    err = Image_open(Edr_Doc_getApp(doc), source, nullptr, nullptr, nullptr, nullptr, nullptr,
                     width > 0 ? width : 0, height > 0 ? height : 0, flags, 0, &image);
    if (err)
        return err;
    err = Edr_Node_createImageFrom(doc, anchor, mode, out, image);
    if (err)
        ImageHandle_release(image);
    return err;
}

void Edr_Node_getImageInfo(Edr_Doc *, intptr_t, Edr_Node *node, Url **url, int32_t *size,
                           int32_t *first, int32_t *fourth, int32_t *fifth, int *loaded)
{
    if (!node || typeOf(node) != Edr_NodeType_image)
        return;
    Edr_ImageNode *im = Edr_Node_imagePayload(node);
    if (url)
        *url = im->imageUrl;
    if (size) {
        size[0] = size[1] = 0;
        int32_t info[6];
        if (im->image && Image_getDocImageInfo(im->image, info, nullptr, nullptr) == Res_ok) {
            size[0] = info[0];
            size[1] = info[1];
        }
    }
    if (first)
        *first = im->placement[0];
    if (fourth)
        *fourth = im->placement[3];
    if (fifth)
        *fifth = im->placement[4];
    if (loaded)
        *loaded = (im->loadState & 3) != 0;
}

void Edr_Node_setImageState(Edr_Node *node, uint32_t target)
{
    Edr_ImageNode *im = Edr_Node_imagePayload(node);
    Edr_Doc *owner = im->owner;
    LoadProgress *stats = owner ? owner->loadStats : nullptr;
    uint32_t state = im->loadState & 7;
    switch (target) {
    case 0:
        if (state != 0) {
            // Progress counts only feed the progress notice; the load goes on either way.
            (void)LoadProgress_addTotal(stats, 1, -1);
            if (owner)
                Edr_Mgr_busyEnd(owner);
        }
        break;
    case 1:
        if (state == 1)
            return;
        if (state == 2 && owner)
            Edr_Mgr_busyEnd(owner);
        if (state == 4) {
            // Progress counts only feed the progress notice; the load goes on either way.
            (void)LoadProgress_addDone(stats, 1, 1);
            if (owner)
                Edr_Mgr_busyEnd(owner);
        }
        break;
    case 2:
        if (state == 1 || state == 2)
            return;
        if (owner)
            Edr_Mgr_busyBegin(owner);
        // Progress counts only feed the progress notice; the load goes on either way.
        (void)LoadProgress_addDone(stats, 1, 1);
        if (owner)
            Edr_Mgr_busyEnd(owner);
        break;
    case 4:
        if (state == 4)
            return;
        if (LoadProgress_addTotal(stats, 1, 1) != 0) {
            target = 1;
            break;
        }
        if (owner)
            Edr_Mgr_busyBegin(owner);
        break;
    default: return;
    }
    im->loadState = (im->loadState & ~7u) | target;
}

void Edr_Node_imageReady(void *argument, int32_t, int32_t, int32_t, int32_t)
{
    Edr_Node *node = static_cast<Edr_Node *>(argument);
    Edr_ImageNode *im = Edr_Node_imagePayload(node);
    Edr_Doc *doc = im->owner;
    uint32_t caps = 0;
    int32_t size[6] = {0, 0, 0, 0, 0, 0};
    if (!im->image || Image_getDocImageInfo(im->image, size, nullptr, &caps) != 0)
        return;
    // A report before the picture is final is progress; the final one
    // completes the node.
    bool progress = (caps & ImageCap_final) == 0;
    if (progress)
        Edr_Node_setImageState(node, 2);
    if (caps & ImageCap_final) {
        if (Image_getDocImageState(im->image) && doc && doc->app && doc->app->eventProc) {
            EventProcKind5Msg m{};
            m.action = 1;
            m.code = 3;
            (void)EventProc_postKind5(doc->app->eventProc, &m);
        }
        Edr_Node_setImageState(node, 1);
        // The picture's size (or its failure) is known now: the page is
        // laid out again so that it takes its own room, or none.
        if (doc)
            (void)Edr_Mgr_queueChange(doc);
        return;
    }
    int64_t area = int64_t(size[0]) * int64_t(size[1]);
    if ((im->loadState & 2) || !progress) {
        if (area >= 1024 || progress)
            (void)Edr_Doc_callImageHook(doc, node, 0, 0);
    }
    // The picture changed in place (more of it decoded, or the next frame
    // of an animation, which never reports itself final): its area is
    // redrawn, by the node's modification posted to the document's event
    // task (this callback runs under the image's locks; reports until then
    // come to one redraw).
    if (doc)
        (void)Edr_Node_postOnce(doc, node, 1, 0, 0);
}

// --------------------------------------------------------------- linking

int Edr_Node_insert(Edr_Doc *doc, Edr_Node *anchor, int32_t mode, Edr_Node *node, Edr_Node **out)
{
    if (out)
        *out = nullptr;
    if (!doc || !node)
        return Res_missingArgument;
    int err = Edr_Doc_writeLock(doc);
    if (err)
        return err;
    Edr_Node *parent = nullptr;
    bool linked = false;
    if (doc->closing) {
        err = Res_docClosing;
        goto done;
    }
    if (mode == Edr_Insert_detach) {
        detachAlone(doc, node);
        goto done;
    }
    if (mode > Edr_Insert_replace || mode < 0) {
        // An unknown mode links nothing, so it must not look like success:
        // no reference is handed out and no change is queued.
        err = Res_missingArgument;
        goto done;
    }

    // Every check before any change.
    if (!anchor || count(anchor) == 0) {
        err = Res_deadNode;
        goto done;
    }
    if (mode == Edr_Insert_firstChild || mode == Edr_Insert_lastChild) {
        if (!isGroup(anchor)) {
            err = Res_notGroup;
            goto done;
        }
        parent = anchor;
    } else {
        parent = anchor->parentNode;
        if (!parent) {
            err = Res_noParent;
            goto done;
        }
    }
    if (node == doc->root) {
        err = Res_noParent;
        goto done;
    }
    if (wouldNest(node, parent, parent == anchor ? nullptr : anchor)) {
        err = Res_wouldNest;
        goto done;
    }

    {
        // Take the node (with its following siblings) out of where it is.
        Edr_Node *last = node;
        if (doc->unlinked == node) {
            doc->unlinked = node->next;
            node->next = nullptr;
        } else if (node->parentNode) {
            edr::unlinkRun(doc, node, nullptr);
        } else {
            takeFromChain(doc, node);
        }
        for (Edr_Node *n = node;; n = n->next) {
            n->parentNode = parent;
            last = n;
            if (!n->next)
                break;
        }

        Edr_Group *g = group(parent);
        switch (mode) {
        case Edr_Insert_firstChild:
            last->next = g->firstChild;
            g->firstChild = node;
            if (!g->lastChild)
                g->lastChild = last;
            break;
        case Edr_Insert_lastChild:
            if (g->lastChild)
                g->lastChild->next = node;
            else
                g->firstChild = node;
            g->lastChild = last;
            break;
        case Edr_Insert_before:
        case Edr_Insert_replace: {
            Edr_Node *prev = prevSibling(anchor);
            if (prev)
                prev->next = node;
            else
                g->firstChild = node;
            last->next = anchor;
            break;
        }
        case Edr_Insert_after:
            last->next = anchor->next;
            anchor->next = node;
            if (g->lastChild == anchor)
                g->lastChild = last;
            break;
        default: break;
        }
        if (mode != Edr_Insert_after)
            setChanged(parent);
        if (mode == Edr_Insert_replace) {
            Edr_Node_dropRefLocked(doc, anchor);
            detachAlone(doc, anchor);
        }
        linked = true;

        // Form controls of the run join their forms; a refusal takes the
        // whole run back out to the unlinked chain.
        for (Edr_Node *n = node; n; n = n->next) {
            if (isFormControl(n) && (err = Edr_Web_registerControl(doc->app, n)) != 0) {
                edr::unlinkRun(doc, node, last);
                edr::appendUnlinked(doc, node);
                linked = false;
                break;
            }
            if (n == last)
                break;
        }
        if (linked)
            doc->stamp = uint16_t(doc->stamp + 1);
    }

done:
    if (out && !err) {
        if (Edr_Node_addRefLocked(doc, node) == 0)
            *out = node;
    }
    Edr_Doc_writeUnlock(doc);
    if (!err && mode != Edr_Insert_detach)
        queueChange(doc);
    (void)linked;
    return err;
}

int Edr_Node_detach(Edr_Doc *doc, Edr_Node *first, Edr_Node *last)
{
    if (!first)
        return Res_ok;
    int err = Edr_Doc_writeLock(doc);
    if (err)
        return err;
    if (first->parentNode) {
        edr::unlinkRun(doc, first, last);
        edr::appendUnlinked(doc, first);
    } else if (!last || last == first) {
        detachAlone(doc, first);
    }
    Edr_Doc_writeUnlock(doc);
    queueChange(doc);
    return Res_ok;
}

int Edr_Node_remove(Edr_Doc *doc, Edr_Node *node)
{
    if (!node)
        return Res_ok;
    int err = Edr_Doc_writeLock(doc);
    if (err)
        return err;
    if (node == doc->root) {
        err = Res_noParent;
    } else if (count(node) == 0) {
        err = Res_deadNode;
    } else {
        Edr_Node_dropRefLocked(doc, node);
        if (node->parentNode) {
            detachAlone(doc, node);
            doc->stamp = uint16_t(doc->stamp + 1);
        }
    }
    Edr_Doc_writeUnlock(doc);
    if (!err)
        queueChange(doc);
    return err;
}

int Edr_Node_removeVisibleChildren(Edr_Doc *doc, Edr_Node *groupNode)
{
    int err = Edr_Doc_writeLock(doc);
    if (err)
        return err;
    if (!isGroup(groupNode) || count(groupNode) == 0) {
        err = isGroup(groupNode) ? int(Res_deadNode) : int(Res_notGroup);
    } else {
        for (;;) {
            Edr_Node *first = group(groupNode)->firstChild;
            while (first && !Edr_Node_isEnabled(first))
                first = first->next;
            if (!first)
                break;
            Edr_Node *last = first;
            while (last->next && Edr_Node_isEnabled(last->next))
                last = last->next;
            edr::unlinkRun(doc, first, last);
            edr::appendUnlinked(doc, first);
        }
    }
    Edr_Doc_writeUnlock(doc);
    if (!err)
        queueChange(doc);
    return err;
}

// -------------------------------------------------------------- teardown

void Edr_Node_destroy(Edr_Doc *doc, Edr_Node *node)
{
    if (!node)
        return;
    (void)Edr_Node_walk(teardown, nullptr, doc, 0, node);
    // Free without recursion: a group's children are threaded in front of
    // the rest of the work through its last child's next link, and the
    // group itself waits on a free list until its children are gone.
    node->next = nullptr;
    Edr_Node *work = node;
    Edr_Node *groups = nullptr;
    while (work) {
        Edr_Node *n = work;
        work = n->next;
        if (isGroup(n)) {
            Edr_Group *g = group(n);
            if (g->firstChild) {
                g->lastChild->next = work;
                work = g->firstChild;
            }
            n->next = groups;
            groups = n;
        } else {
            freeLeaf(n);
        }
    }
    while (groups) {
        Edr_Node *next = groups->next;
        Mem_free(groups);
        groups = next;
    }
}

// ---------------------------------------------------- reference counting

int Edr_Node_checkLive(Edr_Doc *doc, Edr_Node *node)
{
    if (!node)
        return Res_ok;
    Lock_acquire(&doc->mutex);
    uint32_t c = count(node);
    Lock_release(&doc->mutex);
    return c ? int(Res_ok) : int(Res_deadNode);
}

int Edr_Node_acquire(Edr_Doc *doc, Edr_Node *node, Edr_Node **out)
{
    *out = nullptr;
    if (!node)
        return Res_missingArgument;
    Edr_Doc_readLock(doc);
    Lock_acquire(&doc->mutex);
    int err = Res_ok;
    uint32_t c = count(node);
    if (c == 0)
        err = Res_deadNode;
    else if (c == Edr_Node_maxCount)
        err = Res_refCountFull;
    else {
        node->flags += Edr_Node_countUnit;
        *out = node;
    }
    Lock_release(&doc->mutex);
    Edr_Doc_readUnlock(doc);
    return err;
}

int Edr_Node_addRefLive(Edr_Doc *doc, Edr_Node *node)
{
    Lock_acquire(&doc->mutex);
    int err = Res_ok;
    if (node->flags & Edr_Node_deletedBit)
        err = Res_nodeDeleted;
    else if (count(node) == Edr_Node_maxCount)
        err = Res_refCountFull;
    else
        node->flags += Edr_Node_countUnit;
    Lock_release(&doc->mutex);
    return err;
}

int Edr_Node_addRefLocked(Edr_Doc *doc, Edr_Node *node)
{
    Lock_acquire(&doc->mutex);
    int err = Res_ok;
    if (count(node) == Edr_Node_maxCount)
        err = Res_refCountFull;
    else
        node->flags += Edr_Node_countUnit;
    Lock_release(&doc->mutex);
    return err;
}

void Edr_Node_dropRefLocked(Edr_Doc *doc, Edr_Node *node)
{
    Lock_acquire(&doc->mutex);
    uint32_t c = count(node);
    if (c)
        setCount(node, c - 1);
    Lock_release(&doc->mutex);
}

void Edr_Node_dropRefOpt(Edr_Doc *doc, Edr_Node *node)
{
    if (!node)
        return;
    Edr_Node_dropRefLocked(doc, node);
}

void Edr_Node_release(Edr_Doc *doc, Edr_Node *node)
{
    if (!node)
        return;
    Edr_Doc_readLock(doc);
    Edr_Node_dropRefLocked(doc, node);
    Edr_Doc_readUnlock(doc);
}

uint32_t Edr_Node_refCount(const Edr_Node *node)
{
    return node ? count(node) : 0;
}

// --------------------------------------------------------- change marking

int Edr_Node_setStyle(Edr_Doc *doc, Edr_Node *groupNode, uint32_t style)
{
    int err = Edr_Doc_writeLock(doc);
    if (err)
        return err;
    if (!isGroup(groupNode)) {
        err = Res_notGroup;
    } else {
        group(groupNode)->element = style;
        setChanged(groupNode);
    }
    Edr_Doc_writeUnlock(doc);
    if (!err)
        queueChange(doc);
    return err;
}

int Edr_Node_touch(Edr_Doc *doc, Edr_Node *node)
{
    int err = Edr_Doc_writeLock(doc);
    if (err)
        return err;
    if (node && isGroup(node) && count(node)) {
        node->flags &= ~uint32_t(Edr_Node_subtypeMask);
        setChanged(node);
    }
    Edr_Doc_writeUnlock(doc);
    queueChange(doc);
    return Res_ok;
}

namespace {

struct ChangeScan {
    uint32_t any;
};

int scanChanged(Edr_Node *node, int *, int *, void *context)
{
    ChangeScan *s = static_cast<ChangeScan *>(context);
    if (!isGroup(node))
        s->any |= node->flags & Edr_Node_changedBit;
    node->flags &= ~uint32_t(Edr_Node_changedBit);
    return 0;
}

} // namespace

int Edr_Doc_collectRootChanges(Edr_Doc *doc)
{
    int err = Edr_Doc_writeLock(doc);
    if (err)
        return err;
    bool pod = doc->pageOnDemand && (doc->featureFlags & Edr_featurePageOnDemand);
    bool anyChanged = false;
    for (Edr_Node *c = group(doc->root)->firstChild; c; c = c->next) {
        if (pod) {
            bool sel = (c->flags & Edr_Node_selectedBit) != 0;
            c->flags &= ~uint32_t(Edr_Node_changedBit | Edr_Node_selectedBit);
            if (sel)
                c->flags |= Edr_Node_changedBit;
        } else {
            ChangeScan s{0};
            (void)Edr_Node_walk(scanChanged, nullptr, &s, 0, c);
            if (s.any)
                c->flags |= Edr_Node_changedBit;
        }
        if (c->flags & Edr_Node_changedBit)
            anyChanged = true;
    }
    if (!anyChanged) {
        for (Edr_Node *c = group(doc->root)->firstChild; c; c = c->next)
            if (!(pod && (c->flags & Edr_Node_droppedBit)))
                c->flags |= Edr_Node_changedBit;
    }
    Edr_Doc_writeUnlock(doc);
    return Res_ok;
}

int Edr_Doc_collectDead(Edr_Doc *doc, Edr_Node **list)
{
    *list = nullptr;
    int err = Edr_Doc_writeLock(doc);
    if (err)
        return err;
    Edr_Node **tail = list;
    Edr_Node **link = &doc->unlinked;
    while (*link) {
        Edr_Node *n = *link;
        if (count(n) != 0) {
            link = &n->next;
            continue;
        }
        *link = n->next;
        n->next = nullptr;
        n->flags |= Edr_Node_deletedBit;
        if (isGroup(n)) {
            Edr_Group *g = group(n);
            Edr_Node *kids = g->firstChild;
            if (kids) {
                unregisterControls(doc, kids, g->lastChild);
                for (Edr_Node *k = kids; k; k = k->next)
                    k->parentNode = nullptr;
                g->firstChild = g->lastChild = nullptr;
                edr::appendUnlinked(doc, kids);
            }
        }
        *tail = n;
        tail = &n->next;
    }
    Edr_Doc_writeUnlock(doc);
    return Res_ok;
}

void Edr_Doc_restoreDead(Edr_Doc *doc, Edr_Node *list)
{
    if (!list)
        return;
    Edr_Doc_writeLockWait(doc);
    for (Edr_Node *n = list; n; n = n->next)
        n->flags &= ~uint32_t(Edr_Node_deletedBit);
    edr::appendUnlinked(doc, list);
    Edr_Doc_writeUnlock(doc);
}

void Edr_Doc_freeDead(Edr_Doc *doc, Edr_Node *list)
{
    while (list) {
        Edr_Node *next = list->next;
        list->next = nullptr;
        Edr_Node_destroy(doc, list);
        list = next;
    }
}

// ---------------------------------------------------------------- events

namespace {

void toKind5(const Edr_NodeEvent *e, EventProcKind5Msg *m)
{
    *m = EventProcKind5Msg{};
    m->action = int32_t(e->action);
    m->code = int32_t(e->type);
    m->detail = int32_t(e->ownsTarget);
    m->words[0] = e->relayout;
    m->words[1] = e->queueChange;
    for (int i = 0; i < 6; i++)
        m->words[2 + i] = e->more[i];
    m->words[8] = e->extra;
    m->words[9] = intptr_t(e->cancelled);
    m->words[10] = intptr_t(e->defaultPrevented);
    m->words[11] = reinterpret_cast<intptr_t>(e->target);
}

} // namespace

void Edr_NodeEvent_fromMsg(const void *payload, Edr_NodeEvent *e)
{
    const EventProcKind5Msg *m = static_cast<const EventProcKind5Msg *>(payload);
    *e = Edr_NodeEvent{};
    e->action = uint32_t(m->action);
    e->type = uint32_t(m->code);
    e->ownsTarget = uint32_t(m->detail);
    e->relayout = m->words[0];
    e->queueChange = m->words[1];
    for (int i = 0; i < 6; i++)
        e->more[i] = m->words[2 + i];
    e->extra = m->words[8];
    e->cancelled = uint32_t(m->words[9]);
    e->defaultPrevented = uint32_t(m->words[10]);
    e->target = reinterpret_cast<Edr_Node *>(m->words[11]);
}

int Edr_Doc_postNodeEvent(Edr_Doc *doc, Edr_Node *node, const Edr_NodeEvent *event)
{
    if (!doc || !node || !event)
        return Res_missingArgument;
    if (doc->closed || doc->closing)
        return Res_docClosing;
    if (node->flags & Edr_Node_deletedBit)
        return Res_deadNode;
    Edr_NodeEvent copy = *event;
    bool took = false;
    if (!copy.ownsTarget) {
        int err = Edr_Node_addRefLocked(doc, node);
        if (err)
            return err;
        copy.ownsTarget = 1;
        took = true;
    }
    copy.cancelled = 0;
    copy.defaultPrevented = 0;
    copy.target = node;
    EventProcKind5Msg m;
    toKind5(&copy, &m);
    int err = EventProc_postKind5(doc->events, &m);
    if (err && took)
        Edr_Node_dropRefLocked(doc, node);
    return err;
}

int Edr_Node_postOnce(Edr_Doc *doc, Edr_Node *node, intptr_t a, intptr_t b, intptr_t c)
{
    if (!node)
        return Res_missingArgument;
    if (!a && (node->flags & Edr_Node_notifiedBit))
        return Res_ok;
    node->flags |= Edr_Node_notifiedBit;
    Edr_NodeEvent e{};
    e.action = 5;
    e.type = 26;
    e.ownsTarget = 0;
    e.relayout = a;
    e.queueChange = b;
    e.extra = c;
    return Edr_Doc_postNodeEvent(doc, node, &e);
}
