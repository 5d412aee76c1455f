// A node's link and kind (html/nodeinfo.h).
#include "html/nodeinfo.h"

#include "core/result.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/edr/nodelist.h"
#include "html/docweb.h"
#include "platform/url/url.h"

namespace {

// The focusable walk of Edr_Doc_nthFocusable, looking for a given node.
struct NodeInfoIndexState {
    Edr_Doc *doc;
    Edr_Node *target;
    uint32_t seen;
    int32_t index;
};

int nodeInfoIndexVisit(Edr_Node *node, int *stop, int *, void *context)
{
    NodeInfoIndexState *s = static_cast<NodeInfoIndexState *>(context);
    if (!Edr_Node_isFocusTarget(s->doc, node))
        return Res_ok;
    if (node == s->target) {
        s->index = int32_t(s->seen);
        *stop = 1;
    }
    s->seen++;
    return Res_ok;
}

} // namespace

int Edr_Node_getInfo(Edr_Doc *doc, Edr_Node *node, Url **link, uint32_t *kind, int32_t *index,
                     int32_t *controlFlag)
{
    if (link)
        *link = nullptr;
    if (kind)
        *kind = 0;
    if (index)
        *index = -1;
    if (controlFlag)
        *controlFlag = 0;
    Edr_Doc_readLock(doc);
    if (doc->closed) {
        Edr_Doc_readUnlock(doc);
        return Res_docClosing;
    }
    int err = Edr_Node_checkLive(doc, node);
    if (err == Res_ok && Edr_Node_type(node) != Edr_NodeType_group) {
        node = Edr_Node_parent(node);
        if (!node)
            err = Res_noParent;
    }
    Edr_Node *linkGroup = nullptr;
    if (err == Res_ok) {
        uint32_t k = (node->flags & Edr_Node_subtypeMask) >> Edr_Node_subtypeShift;
        if (kind)
            *kind = k;
        if (index) {
            NodeInfoIndexState s{doc, node, 0, -1};
            (void)Edr_Node_walk(nodeInfoIndexVisit, nullptr, &s, 0, Edr_Doc_root(doc));
            *index = s.index;
        }
        if (controlFlag && k == Edr_Subtype_formControl) {
            uint32_t controlKind = 0;
            if (Form_ctlGetKind(Edr_Node_group(node)->subtypeValue, &controlKind) == Res_ok)
                *controlFlag = controlKind == 256 ? 1 : 0;
        }
        for (Edr_Node *g = node; g && link; g = Edr_Node_parent(g))
            if (Edr_Node_hasUrl(g)) {
                linkGroup = g;
                break;
            }
        if (linkGroup && Edr_Node_addRefLocked(doc, linkGroup) != Res_ok)
            linkGroup = nullptr;
    }
    Edr_Doc_readUnlock(doc);
    if (err != Res_ok || !linkGroup)
        return err;
    Url *relative = nullptr;
    err = Edr_Node_getUrl(doc, linkGroup, &relative);
    Edr_Node_release(doc, linkGroup);
    if (err != Res_ok || !relative)
        return err;
    Url *base = nullptr;
    if (Edr_Doc_getBaseUrl(doc, &base) == Res_ok && base) {
        Url *resolved = Url_resolve(base, relative);
        Url_free(base);
        if (resolved) {
            Url_free(relative);
            relative = resolved;
        }
    }
    *link = relative;
    return Res_ok;
}

int Edr_Node_getLink(Edr_Doc *doc, Edr_Node *node, Url **link)
{
    return Edr_Node_getInfo(doc, node, link, nullptr, nullptr, nullptr);
}
