// Link references: the empty link, kinds, release, and the lookup of the
// node a fragment or target names.
#include "html/link.h"

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/strtable.h"
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
    if (link->document)
        Edr_Doc_release(link->document);
    Link_init(link);
}

namespace {

struct NamedSearch {
    uint32_t element;
    uint32_t nameId;    // the name as written, or 0
    uint32_t idId;      // "#" and the name, or 0
    Edr_Node *found;
};

int visitNamed(Edr_Node *node, int *stop, int *, void *context)
{
    auto *s = static_cast<NamedSearch *>(context);
    if (Edr_Node_type(node) != Edr_NodeType_group)
        return Res_ok;
    Edr_Group *g = Edr_Node_group(node);
    if (!g || !g->ext || (s->element && g->element != s->element))
        return Res_ok;
    if ((s->nameId && g->ext->nameId == s->nameId) || (s->idId && g->ext->idName == s->idId)) {
        s->found = node;
        *stop = 1;
    }
    return Res_ok;
}

} // namespace

int Link_findNamed(Edr_Doc *doc, Edr_Node **out, uint32_t element, const char16_t *name, size_t length)
{
    if (!out)
        return Res_missingArgument;
    *out = nullptr;
    if (!doc || !name)
        return Res_missingArgument;
    auto *hashed = static_cast<char16_t *>(Mem_malloc((length + 2) * sizeof(char16_t)));
    if (!hashed)
        return Res_noMemory;
    hashed[0] = u'#';
    for (size_t i = 0; i < length; i++)
        hashed[i + 1] = name[i];
    hashed[length + 1] = 0;
    NamedSearch s{element, 0, 0, nullptr};
    int err = Res_ok;
    Edr_Doc_readLock(doc);
    if (doc->strings) {
        s.nameId = StrTable_findN(doc->strings, name, length);
        s.idId = StrTable_findN(doc->strings, hashed, length + 1);
    }
    // A name the table never saw names no node.
    if ((s.nameId || s.idId) && Edr_Doc_root(doc))
        err = Edr_Node_walk(visitNamed, nullptr, &s, 1, Edr_Doc_root(doc));
    if (!err && s.found)
        err = Edr_Node_addRefLocked(doc, s.found);
    if (!err)
        *out = s.found;
    Edr_Doc_readUnlock(doc);
    Mem_free(hashed);
    return err;
}
