// Link references: making, copying, releasing and resolving them.
#include "document/edr/linkref.h"

#include "core/result.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"

void Link_init(Link *link)
{
    link->kind = 1;
    link->document = nullptr;
    link->node = 0;
}

int Link_isKind(const Link *link, int32_t kind)
{
    return link && link->kind == kind;
}

void Link_release(Link *link)
{
    if (!link)
        return;
    if (link->document) {
        if (link->node)
            Edr_Node_release(link->document, reinterpret_cast<Edr_Node *>(link->node));
        Edr_Doc_release(link->document);
    }
    Link_init(link);
}

int Link_copy(Link *dst, const Link *src)
{
    if (!dst)
        return Res_nullInput;
    Link_init(dst);
    if (!src)
        return Res_ok;
    if (src->document) {
        Edr_Doc_addRef(src->document);
        if (src->node) {
            Edr_Doc_readLock(src->document);
            // A count at its maximum stays there: such a node is never freed.
            (void)Edr_Node_addRefLocked(src->document, reinterpret_cast<Edr_Node *>(src->node));
            Edr_Doc_readUnlock(src->document);
        }
    }
    *dst = *src;
    return Res_ok;
}

int Link_resolveTargetNode(Edr_Doc *doc, Edr_Node *node, Link *out)
{
    if (!out)
        return Res_nullInput;
    Link_init(out);
    if (!doc)
        return Res_nullInput;
    Edr_Node *held = nullptr;
    Edr_Doc_readLock(doc);
    Edr_Node *root = Edr_Doc_root(doc);
    int err = root ? Res_ok : Res_deadNode;
    if (!err && !node)
        node = root;
    if (!err && (Edr_Node_refCount(node) == 0 || (node->flags & Edr_Node_deletedBit)))
        err = Res_deadNode;
    if (!err) {
        // A count at its maximum stays there and the node is never freed, so the reference holds
        // either way.
        (void)Edr_Node_addRefLocked(doc, node);
        held = node;
    }
    Edr_Doc_readUnlock(doc);
    if (err)
        return err;
    Edr_Doc_addRef(doc);
    out->kind = doc->parent ? 2 : 1;
    out->document = doc;
    out->node = reinterpret_cast<intptr_t>(held);
    return Res_ok;
}

int Link_resolveTarget(Edr_Doc *doc, Link *out)
{
    return Link_resolveTargetNode(doc, nullptr, out);
}

int Link_resolveNode(const Link *link, Edr_Node **node, Edr_Doc **doc)
{
    if (!node || !doc)
        return Res_nullInput;
    *node = nullptr;
    *doc = nullptr;
    if (!link || !link->document)
        return Res_ok;
    Edr_Doc *d = link->document;
    Edr_Node *found = nullptr;
    Edr_Doc_readLock(d);
    Edr_Node *n = link->node ? reinterpret_cast<Edr_Node *>(link->node) : Edr_Doc_root(d);
    int err = Edr_Doc_root(d) ? Res_ok : Res_deadNode;
    if (!err && (n->flags & Edr_Node_deletedBit))
        err = Res_deadNode;
    if (!err) {
        // A count at its maximum stays there and the node is never freed, so the reference holds
        // either way.
        (void)Edr_Node_addRefLocked(d, n);
        found = n;
    }
    Edr_Doc_readUnlock(d);
    if (err)
        return err;
    Edr_Doc_addRef(d);
    *node = found;
    *doc = d;
    return Res_ok;
}
