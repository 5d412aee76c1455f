// Link references: the empty link, copies and releases, target names
// resolved across frames, the node a fragment names and its rectangle, and
// stepping through a document's links.
#include "html/link.h"

#include <algorithm>

#include "core/container/obj.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/stylerule.h"
#include "core/text/strtable.h"
#include "core/task/lock.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/edr/pageobj.h"
#include "html/attributes.h"
#include "html/parser.h"
#include "platform/api/engine.h"

namespace {

struct NamedSearch {
    uint32_t element;
    uint32_t nameId; // the name as written, or 0
    uint32_t idId;   // "#" and the name, or 0
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

int Link_findNamed(Edr_Doc *doc, Edr_Node **out, uint32_t element, const char16_t *name,
                   size_t length)
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

// ------------------------------------------------------------ target names

namespace {

// Whether text[0..length) equals the ASCII word, without ASCII case.
bool equalsWord(const char16_t *text, size_t length, const char *word)
{
    size_t i = 0;
    for (; i < length && word[i]; i++) {
        char16_t c = text[i];
        if (c >= u'A' && c <= u'Z')
            c = char16_t(c + 32);
        if (c != char16_t(word[i]))
            return false;
    }
    return i == length && !word[i];
}

// The outermost document of doc's parent chain.
Edr_Doc *topOf(Edr_Doc *doc)
{
    while (doc->parent)
        doc = doc->parent;
    return doc;
}

// The documents of the application, in its list order, each with a
// reference, into a new array. 0 or 1.
int listDocuments(EngineContext *app, Edr_Doc ***out, uint32_t *count)
{
    *out = nullptr;
    *count = 0;
    Edr_App *ea = app ? Edr_App_get(app) : nullptr;
    if (!ea)
        return Res_ok;
    Lock_acquire(&ea->lock);
    uint32_t n = 0;
    for (Edr_Doc *d = ea->firstDoc; d; d = d->nextDoc)
        n++;
    auto **docs = n ? static_cast<Edr_Doc **>(Mem_malloc(n * sizeof(Edr_Doc *))) : nullptr;
    if (n && !docs) {
        Lock_release(&ea->lock);
        return Res_noMemory;
    }
    uint32_t k = 0;
    for (Edr_Doc *d = ea->firstDoc; d && k < n; d = d->nextDoc) {
        Edr_Doc *held = nullptr;
        Edr_Doc_tryAddRef(d, &held);
        if (held)
            docs[k++] = held;
    }
    Lock_release(&ea->lock);
    *out = docs;
    *count = k;
    return Res_ok;
}

// The frame named name of element type element in the documents: a
// reference to it into *out (left untouched when none).
int findFrame(Edr_Doc **docs, uint32_t count, uint32_t element, const char16_t *name, size_t length,
              Link *out, bool *found)
{
    for (uint32_t i = 0; i < count && !*found; i++) {
        Edr_Node *frame = nullptr;
        int err = Link_findNamed(docs[i], &frame, element, name, length);
        if (err)
            return err;
        if (!frame)
            continue;
        err = Link_resolveTargetNode(docs[i], frame, out);
        Edr_Node_release(docs[i], frame);
        if (err)
            return err;
        *found = true;
    }
    return Res_ok;
}

} // namespace

int Link_resolveFrameTarget(EngineContext *context, Edr_Doc *current, const char16_t *name,
                            size_t length, Link *out)
{
    if (!out)
        return Res_nullInput;
    Link_init(out);
    if (!current || !name)
        return Res_nullInput;
    if (equalsWord(name, length, "_self"))
        return Link_resolveTarget(current, out);
    if (equalsWord(name, length, "_blank"))
        return Res_ok;
    if (equalsWord(name, length, "_parent"))
        return current->parent ? Link_resolveTarget(current->parent, out) : Res_ok;
    if (equalsWord(name, length, "_top"))
        return Link_resolveTarget(topOf(current), out);
    Edr_Doc **docs = nullptr;
    uint32_t count = 0;
    int err = listDocuments(context ? context : current->app, &docs, &count);
    if (err)
        return err;
    bool found = false;
    err = findFrame(docs, count, HtmlEl_Frame, name, length, out, &found);
    if (!err && !found)
        err = findFrame(docs, count, HtmlEl_Iframe, name, length, out, &found);
    for (uint32_t i = 0; i < count; i++)
        Edr_Doc_release(docs[i]);
    Mem_free(docs);
    if (err) {
        Link_release(out);
        return err;
    }
    if (!found)
        out->kind = 0;
    return Res_ok;
}

int Link_fromNode(EngineContext *context, Edr_Doc *doc, Edr_Node *node, Link *out)
{
    if (!out)
        return Res_nullInput;
    Link_init(out);
    if (!doc || !node)
        return Res_nullInput;
    // The node's own target attribute.
    char16_t *target = nullptr;
    size_t length = 0;
    if (Edr_Node_type(node) == Edr_NodeType_group) {
        StyleRule *list = nullptr;
        int err = Edr_Node_getPropList0(doc, node, &list);
        if (err)
            return err;
        StylePropItem *item = list ? StyleRule_findProp(list, HtmlAttr_target) : nullptr;
        if (item && item->value.type == PropType_ustr && item->value.payload2) {
            length = item->value.payload2;
            target = Ustr_dupN(reinterpret_cast<const char16_t *>(item->value.payload), length);
            if (!target) {
                StyleRule_destroy(list);
                return Res_noMemory;
            }
        }
        StyleRule_destroy(list);
    }
    if (!target) {
        int err = Edr_Doc_copyTargetName(doc, &target);
        if (err)
            return err;
        if (!target)
            return 1;
        length = Ustr_len(target);
        // No new windows: a base target "_blank" loads into this frame.
        if (equalsWord(target, length, "_blank")) {
            Mem_free(target);
            return Link_resolveTarget(doc, out);
        }
    }
    int err = Link_resolveFrameTarget(context, doc, target, length, out);
    Mem_free(target);
    if (err)
        return err;
    if (out->kind == 0)
        Link_release(out);
    return Res_ok;
}

// ------------------------------------------------------------- fragments

namespace {

// The nodes of the document in document order from a given node on.
struct OrderWalk {
    Edr_Node *from;
    Edr_Node **nodes;
    uint32_t count;
    uint32_t capacity;
    int linksOnly; // collect only groups that carry a URL
    int failed;
};

int push(OrderWalk *w, Edr_Node *node)
{
    if (w->count == w->capacity) {
        uint32_t capacity = w->capacity ? w->capacity * 2 : 64;
        auto *grown =
            static_cast<Edr_Node **>(Mem_realloc(w->nodes, capacity * sizeof(Edr_Node *)));
        if (!grown)
            return Res_noMemory;
        w->nodes = grown;
        w->capacity = capacity;
    }
    w->nodes[w->count++] = node;
    return Res_ok;
}

int visitOrder(Edr_Node *node, int *stop, int *, void *context)
{
    auto *w = static_cast<OrderWalk *>(context);
    if (w->from) {
        if (node != w->from)
            return Res_ok;
        w->from = nullptr;
    }
    if (w->linksOnly && !(Edr_Node_type(node) == Edr_NodeType_group && Edr_Node_hasUrl(node)))
        return Res_ok;
    if (push(w, node)) {
        w->failed = 1;
        *stop = 1;
    }
    return Res_ok;
}

// Walks the document under the read lock into w. 0 or an error.
int collect(Edr_Doc *doc, OrderWalk *w)
{
    Edr_Doc_readLock(doc);
    Edr_Node *root = Edr_Doc_root(doc);
    int err = root ? Edr_Node_walk(visitOrder, nullptr, w, 0, root) : Res_deadNode;
    Edr_Doc_readUnlock(doc);
    if (!err && w->failed)
        err = Res_noMemory;
    return err;
}

// A node of the list and its position, sorted by address for the lookup.
struct Indexed {
    Edr_Node *node;
    uint32_t index;
};

bool byAddress(const Indexed &a, const Indexed &b)
{
    return a.node < b.node;
}

// The object walk: the earliest listed node whose laid-out objects show
// something, and the union of those objects' rectangles.
struct RectSearch {
    Indexed *sorted;
    uint32_t count;
    uint32_t best; // count when none
    Edr_ObjBounds bounds;
};

bool isEmptyRect(const int32_t r[4])
{
    return r[0] >= r[2] || r[1] >= r[3];
}

int visitObject(ObjHeader *object, void *context)
{
    auto *s = static_cast<RectSearch *>(context);
    Edr_Node *node = object ? object->node : nullptr;
    if (!node)
        return 0;
    Indexed key{node, 0};
    Indexed *hit = std::lower_bound(s->sorted, s->sorted + s->count, key, byAddress);
    if (hit == s->sorted + s->count || hit->node != node || hit->index > s->best)
        return 0;
    Edr_ObjBounds one{{0, 0, 0, 0}, 0, 0};
    Edr_Obj_accumulateBounds(object, &one);
    if (isEmptyRect(one.rect))
        return 0;
    if (hit->index < s->best) {
        s->best = hit->index;
        s->bounds = one;
        return 0;
    }
    Edr_Obj_accumulateBounds(object, &s->bounds);
    return 0;
}

} // namespace

int Link_fragmentRect(Edr_Doc *doc, const char16_t *name, int32_t rect[4], int32_t *page)
{
    if (!doc || !name || !rect || !page)
        return Res_nullInput;
    for (int i = 0; i < 4; i++)
        rect[i] = 0;
    *page = 0;
    size_t length = Ustr_len(name);
    if (length == 0 || equalsWord(name, length, "top"))
        return Res_ok;
    Edr_Node *named = nullptr;
    int err = Link_findNamed(doc, &named, 0, name, length);
    if (err || !named)
        return err;
    // The named node and everything after it in document order: the first
    // of them that shows something gives the rectangle.
    OrderWalk w{named, nullptr, 0, 0, 0, 0};
    err = collect(doc, &w);
    Indexed *sorted = nullptr;
    if (!err && w.count) {
        sorted = static_cast<Indexed *>(Mem_malloc(w.count * sizeof(Indexed)));
        if (!sorted)
            err = Res_noMemory;
    }
    if (!err && w.count) {
        for (uint32_t i = 0; i < w.count; i++)
            sorted[i] = Indexed{w.nodes[i], i};
        std::sort(sorted, sorted + w.count, byAddress);
        RectSearch s{sorted, w.count, w.count, {{0, 0, 0, 0}, 0, 0}};
        Edr_ObjWalkOps ops{nullptr, visitObject};
        err = Edr_Node_walkObjects(doc, nullptr, &ops, &s);
        if (!err && s.best < w.count)
            for (int i = 0; i < 4; i++)
                rect[i] = s.bounds.rect[i];
    }
    // A rectangle still empty but partly set starts no further up or left
    // than the document.
    if (!err && isEmptyRect(rect)) {
        if (rect[0] < 0)
            rect[0] = 0;
        if (rect[1] < 0)
            rect[1] = 0;
        if (rect[3] > 0)
            rect[3] = 0;
    }
    Mem_free(sorted);
    Mem_free(w.nodes);
    Edr_Node_release(doc, named);
    return err;
}

// ------------------------------------------------------------ link stepping

int Link_findNth(Edr_Doc *doc, Edr_Node *start, Edr_Node **out, uint32_t flags, int *found)
{
    if (!out || !found)
        return Res_nullInput;
    *out = nullptr;
    *found = 0;
    if (!doc)
        return Res_nullInput;
    OrderWalk w{nullptr, nullptr, 0, 0, 1, 0};
    int err = collect(doc, &w);
    if (err) {
        Mem_free(w.nodes);
        return err;
    }
    bool back = (flags & (Link_stepBack | Link_stepBackAlt)) != 0;
    int64_t n = flags & Link_stepCountMask;
    int64_t at = back ? int64_t(w.count) : -1;
    for (uint32_t i = 0; start && i < w.count; i++)
        if (w.nodes[i] == start) {
            at = i;
            break;
        }
    int64_t want = back ? at - n : at + n;
    if (want >= 0 && want < int64_t(w.count)) {
        Edr_Node *node = w.nodes[size_t(want)];
        Edr_Doc_readLock(doc);
        if (!(node->flags & Edr_Node_deletedBit)) {
            (void)Edr_Node_addRefLocked(doc, node);
            *out = node;
            *found = 1;
        }
        Edr_Doc_readUnlock(doc);
    }
    Mem_free(w.nodes);
    return Res_ok;
}
