// Sub-document forwarders and the top-image lookup. Each reads a node's
// payload under its document's read lock and passes display requests on to
// the display manager; the two documents' locks are never held together.
#include "viewer/subdoc.h"

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/edr/page.h"
#include "document/style/style.h"
#include "graphics/path.h"
#include "platform/url/url.h"
#include "viewer/dispman.h"
#include "viewer/dispqueue.h"
#include "viewer/fvdisplay.h"

namespace {

bool isSubdoc(Edr_Node *node)
{
    return node && Edr_Node_type(node) == Edr_NodeType_subdoc;
}

// The node's type when it is not a sub-document (0 for none), else 0.
int notSubdoc(Edr_Node *node)
{
    if (!node)
        return Res_missingArgument;
    return isSubdoc(node) ? 0 : int(Edr_Node_type(node));
}

} // namespace

void Edr_Subdoc_getSize(void *, Edr_Doc *doc, Edr_Node *node, int32_t *width, int32_t *height)
{
    *width = 0;
    *height = 0;
    if (!doc || !isSubdoc(node))
        return;
    Edr_Doc_readLock(doc);
    const Edr_SubdocNode *s = Edr_Node_subdocPayload(node);
    if (s) {
        *width = s->placement[4];
        *height = s->placement[5];
    }
    Edr_Doc_readUnlock(doc);
}

int32_t Edr_Subdoc_getScale(void *, Edr_Doc *doc, Edr_Node *node)
{
    if (!doc || !isSubdoc(node))
        return 0x10000;
    Edr_Doc_readLock(doc);
    const Edr_SubdocNode *s = Edr_Node_subdocPayload(node);
    int32_t scale = s ? s->placement[0] : 0x10000;
    Edr_Doc_readUnlock(doc);
    return scale;
}

int Edr_Subdoc_getTarget(Edr_Doc *doc, Edr_Node *node, Edr_Doc **child, intptr_t *pageKind,
                         intptr_t *pageKey)
{
    if (!doc || !node || !child || !pageKind || !pageKey || !isSubdoc(node))
        return 0;
    Edr_Doc_readLock(doc);
    const Edr_SubdocNode *s = Edr_Node_subdocPayload(node);
    if (s) {
        *child = s->child;
        *pageKind = s->pageKind;
        *pageKey = s->pageKey;
    }
    Edr_Doc_readUnlock(doc);
    return s ? 1 : 0;
}

int Edr_Subdoc_findPage(void *, Edr_Doc *doc, Edr_Node *node, Edr_Doc **child, uint32_t *pageIndex)
{
    if (!doc || !isSubdoc(node) || !child || !pageIndex)
        return 0;
    Edr_Doc_readLock(doc);
    const Edr_SubdocNode *s = Edr_Node_subdocPayload(node);
    Edr_Doc *c = s ? s->child : nullptr;
    intptr_t key = s ? s->pageKey : 0, kind = s ? s->pageKind : 0;
    // The node may be given a new child once the lock is dropped: the old
    // one stays alive through this reference until its page is found.
    if (c)
        Edr_Doc_addRef(c);
    Edr_Doc_readUnlock(doc);
    if (!c)
        return 0;
    Edr_Doc_readLock(c);
    int err = Edr_Page_indexOf(pageIndex, c, int32_t(key), uint32_t(kind));
    Edr_Doc_readUnlock(c);
    Edr_Doc_release(c);
    if (err)
        return 0;
    *child = c;
    return 1;
}

int Edr_Subdoc_queueKind4(FvDisplay *display, Edr_Doc *doc, Edr_Node *node, int32_t a, int32_t b,
                          uint32_t c)
{
    if (int type = notSubdoc(node))
        return type;
    return Dispman_queueKind4(display->engine, c, display->view, doc, 0, 0, node, a, b);
}

int Edr_Subdoc_queueZoom(FvDisplay *display, Edr_Doc *doc, Edr_Node *node, int32_t a, uint32_t b,
                         int32_t c, int32_t d)
{
    if (int type = notSubdoc(node))
        return type;
    return Dispman_queueZoom(display->engine, b, display->view, doc, 0, 0, node, a, c, d);
}

int Edr_Subdoc_queuePan(FvDisplay *display, Edr_Doc *doc, Edr_Node *node, int32_t a, int32_t b,
                        int32_t c)
{
    if (int type = notSubdoc(node))
        return type;
    return Dispman_queuePan(display->engine, c, display->view, doc, 0, 0, node, a, b);
}

int Edr_Doc_findTopImage(Edr_Doc *doc, Edr_Node **out)
{
    *out = nullptr;
    Edr_Node *root = doc ? Edr_Doc_root(doc) : nullptr;
    if (!root)
        return Res_ok;
    Edr_Node *first = Edr_Node_firstChild(root);
    if (!first || Edr_Node_type(first) != Edr_NodeType_group)
        return Res_ok;
    // A count at its maximum stays there and the node is never freed, so the reference holds either
    // way.
    (void)Edr_Node_addRefLocked(doc, first);
    Edr_Style *style = nullptr;
    int err = Edr_Style_computeForNode(doc, &style, nullptr, first);
    Edr_StylePayload p{};
    uint32_t number = 0;
    if (!err && Edr_Style_get(style, PropId_backgroundImageRef, &p) == PropType_int)
        number = uint32_t(p.word);
    Edr_Style_release(style);
    Edr_Node_dropRefLocked(doc, first);
    if (err || number == 0)
        return err;
    Edr_NumberedGroup *e = doc->numberedGroups;
    while (e && e->number != number)
        e = e->next;
    if (!e || !e->group)
        return Res_ok;
    Edr_Node *image = Edr_Node_firstChild(e->group);
    if (image && Edr_Node_type(image) == Edr_NodeType_image)
        *out = image;
    return Res_ok;
}

namespace {

int lookUpTopImage(Edr_Doc *doc, Edr_Node **image)
{
    Edr_Doc_readLock(doc);
    int err = Edr_Sect_lockAll(doc, nullptr);
    if (!err) {
        err = Edr_Doc_findTopImage(doc, image);
        Edr_Sect_unlockAll(doc);
    }
    return err; // still under the read lock
}

} // namespace

int Edr_Doc_hasTopImage(Edr_Doc *doc)
{
    if (!doc)
        return 0;
    Edr_Node *image = nullptr;
    int err = lookUpTopImage(doc, &image);
    Edr_Doc_readUnlock(doc);
    return !err && image ? 1 : 0;
}

int Edr_Doc_copyTopImageUrl(Edr_Doc *doc, Url **out)
{
    *out = nullptr;
    if (!doc)
        return Res_missingArgument;
    Edr_Node *image = nullptr;
    int err = lookUpTopImage(doc, &image);
    if (!err && image) {
        const Edr_ImageNode *payload = Edr_Node_imagePayload(image);
        if (payload && payload->imageUrl) {
            *out = Url_copy(payload->imageUrl);
            if (!*out)
                err = Res_noMemory;
        }
    }
    Edr_Doc_readUnlock(doc);
    return err;
}

void Edr_PathItems_free(Edr_PathItem *first)
{
    while (first) {
        Edr_PathItem *next = first->next;
        Path_destroy(first->path);
        Mem_free(first->block);
        Mem_free(first);
        first = next;
    }
}

uint32_t Color_clearTop(uint32_t word)
{
    return word & 0x00FFFFFFu;
}
