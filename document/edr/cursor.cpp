// Node query cursors: filtered, lazily gathered node lists in document
// order that start again when the tree's structure stamp moves.
//
// Every read refreshes the cursor against the stamp and gathers, under the
// tree read lock, only as many matches as it needs; a later read resumes
// the walk after the last match already held.
#include "document/edr/cursor.h"

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/strtable.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "document/edr/edr_internal.h"
#include "document/edr/webops.h"

using edr::group;
using edr::isGroup;

namespace {

enum : uint32_t {
    kElementForm = 47,
    kControlKindExcluded = 144,
};

// ---------------------------------------------------------------- filters

bool isFormElement(Edr_Node *node)
{
    if (!isGroup(node))
        return false;
    uint32_t e = group(node)->element;
    if (e == 26 || e == 45 || e == 96 || e == 107)
        return true;
    if (e != 64)
        return false;
    // An input is a form element unless its control is of the excluded
    // kind; an input whose kind cannot be read counts.
    uint32_t kind = 0;
    const void *control = Edr_Node_isFormGroup(node) ? group(node)->subtypeValue : nullptr;
    return Edr_Web_controlGetKind(nullptr, control, &kind) != 0 || kind != kControlKindExcluded;
}

// Whether node passes filter f in a walk from start; kind 5 may replace
// the node that is gathered.
bool passes(const Edr_CursorFilter *f, Edr_Node *node, Edr_Node *start, Edr_Node **gathered)
{
    uint32_t e = 0, h = 0, n = 0;
    if (isGroup(node)) {
        e = group(node)->element;
        if (const Edr_GroupExt *ext = group(node)->ext) {
            h = ext->idName;
            n = ext->nameId;
        }
    }
    switch (f->kind) {
    case 1: return isFormElement(node);
    case 2: return e == 62 || e == 63;
    case 3: return e == 87;
    case 5:
        if ((e == 48 || e == 60) && group(node)->firstChild) {
            *gathered = group(node)->firstChild;
            return true;
        }
        return false;
    case 6: return node->parentNode == start;
    case 7: return node->parentNode == start && Edr_Node_type(node) != Edr_NodeType_text;
    case 8: return f->b != 0 && f->b == n;
    case 9: return f->a != 0 && f->a == h;
    case 10: return (f->b != 0 && f->b == n) || (f->a != 0 && f->a == h);
    case 11: return h != 0;
    // An element name the document never saw matches nothing (element 0
    // is the code of anonymous groups, not of a name).
    case 12: return f->b != 0 && f->b == e;
    default: return true;
    }
}

// The node to gather for node, or null when it does not match.
Edr_Node *match(const Edr_Cursor *c, Edr_Node *node, Edr_Node *start)
{
    if (!Edr_Node_isEnabled(node))
        return nullptr;
    Edr_Node *gathered = node;
    for (const Edr_CursorFilter *f = c->filters; f; f = f->nextFilter)
        if (!passes(f, node, start, &gathered))
            return nullptr;
    return gathered;
}

bool visitsAllNodes(const Edr_Cursor *c)
{
    for (const Edr_CursorFilter *f = c->filters; f; f = f->nextFilter)
        if (f->kind == 5 || f->kind == 6 || f->kind == 7)
            return true;
    return false;
}

void freeFilters(Edr_CursorFilter *f)
{
    while (f) {
        Edr_CursorFilter *next = f->nextFilter;
        Mem_free(f);
        f = next;
    }
}

// A copy of the chain in the same order into *out; 1 out of memory.
int copyFilters(const Edr_CursorFilter *f, Edr_CursorFilter **out)
{
    *out = nullptr;
    Edr_CursorFilter **tail = out;
    for (; f; f = f->nextFilter) {
        Edr_CursorFilter *copy =
            static_cast<Edr_CursorFilter *>(Mem_malloc(sizeof(Edr_CursorFilter)));
        if (!copy) {
            freeFilters(*out);
            *out = nullptr;
            return Res_noMemory;
        }
        *copy = *f;
        copy->nextFilter = nullptr;
        *tail = copy;
        tail = &copy->nextFilter;
    }
    return Res_ok;
}

// -------------------------------------------------------- refresh, gather

// Drops the matches when the stamp moved (or when forced). Read lock held.
void refresh(Edr_Cursor *c, bool force)
{
    if (!Edr_Doc_stampChanged(c->doc, &c->stamp) && !force)
        return;
    c->total = -1;
    Edr_NodeList_clear(c->doc, &c->found);
    c->formScope = isGroup(c->root) && group(c->root)->element == kElementForm;
}

struct Gather {
    Edr_Cursor *c;
    Edr_Node *start;
    uint32_t limit;
    Edr_Node *resumeAfter; // the last match held, to pass before testing
    int err;
};

bool ownedByRoot(Edr_Cursor *c, Edr_Node *node)
{
    if (!isFormElement(node))
        return false;
    Edr_Node *owner = nullptr;
    if (Edr_Web_findOwner(c->doc->app, c->doc, node, &owner) != 0)
        return false;
    bool owned = owner == c->root;
    Edr_Node_dropRefOpt(c->doc, owner);
    return owned;
}

int gatherVisit(Edr_Node *node, int *stop, int *, void *context)
{
    Gather *g = static_cast<Gather *>(context);
    if (node == g->start)
        return Res_ok;
    if (g->resumeAfter) {
        if (node == g->resumeAfter)
            g->resumeAfter = nullptr;
        return Res_ok;
    }
    Edr_Cursor *c = g->c;
    if (c->formScope && !ownedByRoot(c, node))
        return Res_ok;
    Edr_Node *m = match(c, node, g->start);
    if (!m)
        return Res_ok;
    int err = Edr_NodeList_append(c->doc, &c->found, m);
    if (err)
        return err;
    if (c->found.count >= g->limit)
        *stop = 1;
    return Res_ok;
}

// Gathers until found holds limit matches (UINT32_MAX: all). Read lock held.
int gather(Edr_Cursor *c, uint32_t limit)
{
    if (c->found.count >= limit)
        return Res_ok;
    Gather g{c, nullptr, limit, nullptr, Res_ok};
    g.start = c->root && !c->formScope ? c->root : Edr_Doc_root(c->doc);
    g.resumeAfter = c->found.count ? c->found.items[c->found.count - 1] : nullptr;
    int groupsOnly = !visitsAllNodes(c);
    if (!g.start || (groupsOnly && !isGroup(g.start)))
        return Res_ok;
    return Edr_Node_walkCore(c->doc, gatherVisit, nullptr, groupsOnly, 0, &g, nullptr, g.start);
}

uint32_t limitOf(int32_t limit)
{
    return limit < 0 ? UINT32_MAX : uint32_t(limit);
}

// Looks text up in the name table (read lock held); 0 when absent.
uint32_t findId(Edr_Doc *doc, const char16_t *text, bool hash, int *err)
{
    StrTable *table = Edr_Doc_stringTable(doc);
    if (!table || !text)
        return 0;
    size_t n = Ustr_len(text);
    if (!hash)
        return StrTable_findN(table, text, n);
    char16_t *name = static_cast<char16_t *>(Mem_malloc((n + 1) * sizeof(char16_t)));
    if (!name) {
        *err = Res_noMemory;
        return 0;
    }
    name[0] = u'#';
    for (size_t i = 0; i < n; i++)
        name[i + 1] = text[i];
    uint32_t id = StrTable_findN(table, name, n + 1);
    Mem_free(name);
    return id;
}

} // namespace

// ------------------------------------------------------------- lifecycle

int Edr_Cursor_create(Edr_Doc *doc, Edr_Node *root, Edr_Cursor **out)
{
    *out = nullptr;
    if (!doc)
        return Res_noDocument;
    Edr_Cursor *c = static_cast<Edr_Cursor *>(Mem_calloc(1, sizeof(Edr_Cursor)));
    if (!c)
        return Res_noMemory;
    c->doc = doc;
    c->total = -1;
    Edr_NodeList_init(&c->found);
    Edr_Doc_readLock(doc);
    int err = root ? Edr_Node_addRefLive(doc, root) : int(Res_ok);
    if (!err) {
        c->root = root;
        refresh(c, true);
    }
    Edr_Doc_readUnlock(doc);
    if (err) {
        Mem_free(c);
        return err;
    }
    *out = c;
    return Res_ok;
}

void Edr_Cursor_destroy(Edr_Cursor *c)
{
    if (!c)
        return;
    Edr_NodeList_clear(c->doc, &c->found);
    if (c->doc)
        Edr_Node_dropRefOpt(c->doc, c->root);
    freeFilters(c->filters);
    Mem_free(c);
}

int Edr_Cursor_clone(const Edr_Cursor *c, Edr_Cursor **out)
{
    *out = nullptr;
    if (!c || !c->doc)
        return Res_noDocument;
    Edr_Cursor *copy = static_cast<Edr_Cursor *>(Mem_calloc(1, sizeof(Edr_Cursor)));
    if (!copy)
        return Res_noMemory;
    *copy = *c;
    copy->root = nullptr;
    copy->filters = nullptr;
    Edr_NodeList_init(&copy->found);
    int err = copyFilters(c->filters, &copy->filters);
    if (!err)
        err = Edr_NodeList_copy(c->doc, &c->found, &copy->found);
    if (!err && c->root) {
        err = Edr_Node_addRefLocked(c->doc, c->root);
        if (!err)
            copy->root = c->root;
    }
    if (err) {
        Edr_Cursor_destroy(copy);
        return err;
    }
    *out = copy;
    return Res_ok;
}

int Edr_Cursor_addFilter(Edr_Cursor *c, uint32_t kind, const char16_t *text)
{
    if (!c || !c->doc)
        return Res_noDocument;
    Edr_CursorFilter *f = static_cast<Edr_CursorFilter *>(Mem_calloc(1, sizeof(Edr_CursorFilter)));
    if (!f)
        return Res_noMemory;
    f->kind = kind;
    int err = Res_ok;
    Edr_Doc_readLock(c->doc);
    if (kind == 8 || kind == 10 || kind == 12)
        f->b = findId(c->doc, text, false, &err);
    if (kind == 9 || kind == 10)
        f->a = findId(c->doc, text, true, &err);
    if (!err) {
        f->nextFilter = c->filters;
        c->filters = f;
        // The matches held were chosen without this filter.
        refresh(c, true);
    }
    Edr_Doc_readUnlock(c->doc);
    if (err)
        Mem_free(f);
    return err;
}

// ------------------------------------------------------------------ reads

int Edr_Cursor_count(Edr_Cursor *c, int32_t *out, int32_t limit)
{
    *out = 0;
    if (!c || !c->doc)
        return Res_noDocument;
    Edr_Doc_readLock(c->doc);
    refresh(c, false);
    int err = Res_ok;
    if (c->total >= 0) {
        *out = c->total;
    } else {
        uint32_t want = limitOf(limit);
        err = gather(c, want);
        if (!err && c->found.count < want)
            c->total = int32_t(c->found.count);
        *out = int32_t(c->found.count);
    }
    Edr_Doc_readUnlock(c->doc);
    return err;
}

int Edr_Cursor_countTwo(Edr_Cursor *c, int32_t *out)
{
    return Edr_Cursor_count(c, out, 2);
}

int Edr_Cursor_item(Edr_Cursor *c, uint32_t index, Edr_Node **out)
{
    *out = nullptr;
    if (!c || !c->doc)
        return Res_noDocument;
    Edr_Doc_readLock(c->doc);
    refresh(c, false);
    int err = Res_ok;
    if (c->found.count <= index && c->total < 0 && index < UINT32_MAX)
        err = gather(c, index + 1);
    if (!err && index < c->found.count) {
        err = Edr_Node_addRefLive(c->doc, c->found.items[index]);
        if (!err)
            *out = c->found.items[index];
    }
    Edr_Doc_readUnlock(c->doc);
    return err;
}

int Edr_Cursor_indexOf(Edr_Cursor *c, Edr_Node *node, int32_t *out)
{
    *out = -1;
    if (!c || !c->doc)
        return Res_noDocument;
    Edr_Doc_readLock(c->doc);
    refresh(c, false);
    int err = Res_ok;
    bool held = Edr_NodeList_contains(&c->found, node);
    if (!held && c->total < 0) {
        err = gather(c, UINT32_MAX);
        if (!err)
            c->total = int32_t(c->found.count);
    }
    for (uint32_t i = 0; !err && i < c->found.count; i++) {
        if (c->found.items[i] == node) {
            *out = int32_t(i);
            break;
        }
    }
    Edr_Doc_readUnlock(c->doc);
    return err;
}

// ---------------------------------------------------------------- queries

int Edr_Cursor_query(Edr_Cursor *c, uint32_t kind, const char16_t *text, uint32_t how,
                     Edr_Node **outNode, Edr_Cursor **outCursor)
{
    *outNode = nullptr;
    *outCursor = nullptr;
    Edr_Cursor *clone = nullptr;
    int err = Edr_Cursor_clone(c, &clone);
    if (!err)
        err = Edr_Cursor_addFilter(clone, kind, text);
    if (err) {
        Edr_Cursor_destroy(clone);
        return err;
    }
    int32_t n = 0;
    switch (how) {
    case Edr_Query_first: err = Edr_Cursor_item(clone, 0, outNode); break;
    case Edr_Query_cursor: *outCursor = clone; return Res_ok;
    case Edr_Query_auto:
        err = Edr_Cursor_countTwo(clone, &n);
        if (!err && n == 1)
            err = Edr_Cursor_item(clone, 0, outNode);
        else if (!err && n >= 2) {
            *outCursor = clone;
            return Res_ok;
        }
        break;
    default: break;
    }
    Edr_Cursor_destroy(clone);
    return err;
}

int Edr_Doc_query(Edr_Doc *doc, Edr_Node *root, uint32_t kind, const char16_t *text, uint32_t how,
                  Edr_Node **outNode, Edr_Cursor **outCursor)
{
    *outNode = nullptr;
    *outCursor = nullptr;
    Edr_Cursor *c = nullptr;
    int err = Edr_Cursor_create(doc, root, &c);
    if (err)
        return err;
    err = Edr_Cursor_query(c, kind, text, how, outNode, outCursor);
    Edr_Cursor_destroy(c);
    return err;
}
