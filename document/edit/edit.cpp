// Text editing on the selection: reading the selected text and its
// formatting, replacing and deleting it, and changing run and paragraph
// formatting through registered style rules.
//
// A replacement makes every node it will link (and the new selection's
// node array) before it changes the tree, so running out of memory leaves
// tree and selection as they were.
#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/propids.h"
#include "core/style/stylerule.h"
#include "core/text/ustr.h"
#include "document/edit/edit_internal.h"
#include "document/edit/selection.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/edr/requests.h"
#include "document/style/lookup.h"
#include "document/style/style.h"
#include "platform/api/request.h"

namespace {

enum : uint32_t {
    propBlockKind = 34,
    propAlignment = 79,
    keywordListBlock = 134,
    firstNewKey = 3,
    charCR = 0x0D,
};

const char16_t placeholderText[1] = {char16_t(Edr_Sel_placeholder)};

bool isText(Edr_Node *n)
{
    return n && Edr_Node_type(n) == Edr_NodeType_text;
}

uint32_t styleWordOf(Edr_Node *n)
{
    return n && Edr_Node_type(n) == Edr_NodeType_group ? Edr_Node_group(n)->element : 0;
}

// An empty paragraph: no children, or a first child that is the single
// placeholder. Read lock held.
bool isEmptyParagraph(Edr_Node *n)
{
    if (!n || Edr_Node_type(n) != Edr_NodeType_group)
        return false;
    Edr_Node *first = Edr_Node_firstChild(n);
    if (!first)
        return true;
    Edr_TextSpan t = Edr_Sel_textOf(first);
    return t.length == 1 && t.chars[0] == Edr_Sel_placeholder;
}

// Links node relative to anchor. The tree holds no reference, so the
// anchor gets one for the call; a replaced anchor loses it in the call.
int link(Edr_Doc *doc, Edr_Node *anchor, int32_t mode, Edr_Node *node)
{
    if (int err = Edr_Node_addRefLive(doc, anchor))
        return err;
    int err = Edr_Node_insert(doc, anchor, mode, node, nullptr);
    if (err || mode != Edr_Insert_replace)
        Edr_Node_dropRefOpt(doc, anchor);
    return err;
}

int removeNode(Edr_Doc *doc, Edr_Node *node)
{
    if (int err = Edr_Node_addRefLive(doc, node))
        return err;
    return Edr_Node_remove(doc, node);
}

// The computed style of a group with the styles of its ancestors above it
// (one reference for the caller). Read lock held.
int computeChain(Edr_Doc *doc, Edr_Node *group, Edr_Style **out)
{
    *out = nullptr;
    uint32_t depth = 0;
    for (Edr_Node *n = group; n; n = Edr_Node_parent(n))
        depth++;
    Edr_Style *set = nullptr;
    for (uint32_t d = depth; d-- > 0;) {
        Edr_Node *n = group;
        for (uint32_t k = 0; k < d; k++)
            n = Edr_Node_parent(n);
        if (Edr_Node_type(n) != Edr_NodeType_group)
            continue;
        Edr_Style *next = nullptr;
        int err = Edr_Style_computeForNode(doc, &next, set, n);
        Edr_Style_release(set);
        if (err)
            return err;
        set = next;
    }
    *out = set;
    return Res_ok;
}

bool inListBlock(Edr_Doc *doc, Edr_Node *node)
{
    bool found = false;
    Edr_Doc_readLock(doc);
    for (Edr_Node *n = node; n && !found; n = Edr_Node_parent(n)) {
        if (Edr_Node_type(n) != Edr_NodeType_group)
            continue;
        Edr_Style *s = nullptr;
        if (Edr_Style_computeForNode(doc, &s, nullptr, n) == 0)
            found = Edr_Style_get(s, propBlockKind, nullptr) == keywordListBlock;
        Edr_Style_release(s);
    }
    Edr_Doc_readUnlock(doc);
    return found;
}

// ---------------------------------------------------------- prepared nodes

// The nodes a replacement will link, made in the order they are used.
struct Pool {
    Edr_Node **nodes;
    uint32_t count;
    uint32_t capacity;
    uint32_t next; // linking: the next node to hand out
    bool linking;
};

void Pool_free(Edr_Doc *doc, Pool *p)
{
    // Nodes never linked stay unlinked with no reference and are collected.
    for (uint32_t i = 0; i < p->count; i++)
        Edr_Node_release(doc, p->nodes[i]);
    Mem_free(p->nodes);
    *p = {};
}

int Pool_push(Pool *p, Edr_Node *node)
{
    if (p->count == p->capacity) {
        uint32_t cap = p->capacity ? p->capacity * 2 : 16;
        void *grown = Mem_realloc(p->nodes, cap * sizeof(Edr_Node *));
        if (!grown)
            return Res_noMemory;
        p->nodes = static_cast<Edr_Node **>(grown);
        p->capacity = cap;
    }
    p->nodes[p->count++] = node;
    return Res_ok;
}

// A run group (style, first id) holding one text node: made when
// preparing, handed out when linking. *text gets the text node.
int Pool_run(Edr_Doc *doc, Pool *p, uint32_t style, uint32_t id, const char16_t *chars, uint32_t n,
             Edr_Node **run, Edr_Node **text)
{
    if (p->linking) {
        *run = p->nodes[p->next++];
        *text = Edr_Node_firstChild(*run);
        return Res_ok;
    }
    Edr_Node *g = nullptr, *t = nullptr;
    int err = Edr_Node_createGroup(doc, nullptr, Edr_Insert_detach, style, &g);
    if (!err && (err = Pool_push(p, g)) != 0)
        Edr_Node_release(doc, g);
    if (err)
        return err;
    if (id) {
        const uint32_t ids[2] = {id, 0};
        if ((err = Edr_Node_setIds(doc, g, ids, 2)) != 0)
            return err;
    }
    if ((err = Edr_Node_createText(doc, g, Edr_Insert_lastChild, &t, n ? chars : placeholderText,
                                   n ? n : 1)) != 0)
        return err;
    Edr_Node_release(doc, t);
    *run = g;
    *text = t;
    return Res_ok;
}

int Pool_group(Edr_Doc *doc, Pool *p, uint32_t style, uint32_t id, Edr_Node **out)
{
    if (p->linking) {
        *out = p->nodes[p->next++];
        return Res_ok;
    }
    Edr_Node *g = nullptr;
    int err = Edr_Node_createGroup(doc, nullptr, Edr_Insert_detach, style, &g);
    if (!err && (err = Pool_push(p, g)) != 0)
        Edr_Node_release(doc, g);
    if (!err && id) {
        const uint32_t ids[2] = {id, 0};
        err = Edr_Node_setIds(doc, g, ids, 2);
    }
    *out = g;
    return err;
}

int Pool_text(Edr_Doc *doc, Pool *p, const char16_t *chars, uint32_t n, Edr_Node **out)
{
    if (p->linking) {
        *out = p->nodes[p->next++];
        return Res_ok;
    }
    Edr_Node *t = nullptr;
    int err = Edr_Node_createText(doc, nullptr, Edr_Insert_detach, &t, chars, n);
    if (!err && (err = Pool_push(p, t)) != 0)
        Edr_Node_release(doc, t);
    *out = t;
    return err;
}

// ------------------------------------------------------------ replacement

struct Edit {
    Edr_Doc *doc;
    Pool pool;
    Edr_Selection *r;   // the new selection
    uint32_t caretLeft; // the caret still to place, in units of the text
    Edr_Node *current;  // the node new content goes after
    Edr_Node *block;    // the current block
    uint32_t blockStyle;
    uint32_t blockId;
    uint32_t lastLength;
    bool trailingBreak;
};

bool linking(const Edit *e)
{
    return e->pool.linking;
}

// The current node is an empty paragraph that new content may replace: a
// no-break space the text itself inserted is content, not a placeholder.
// Read lock held.
bool isPlaceholderRun(const Edit *e)
{
    return isEmptyParagraph(e->current) &&
           !Edr_NodeList_contains(&e->r->nodes, Edr_Node_firstChild(e->current));
}

void placeCaret(Edit *e, Edr_Node *text, uint32_t offset)
{
    if (!linking(e) || e->r->focusNode || !text)
        return;
    if (Edr_Node_addRefLive(e->doc, text) == 0) {
        e->r->focusNode = text;
        e->r->caretOffset = offset;
    }
}

// Links a new run after the current node (replacing an empty paragraph)
// when the current node has the run's style word, else as its last child.
int linkRun(Edit *e, Edr_Node *run, uint32_t style)
{
    if (!linking(e))
        return Res_ok;
    Edr_Doc_readLock(e->doc);
    uint32_t currentStyle = styleWordOf(e->current);
    bool empty = isPlaceholderRun(e);
    Edr_Doc_readUnlock(e->doc);
    int32_t mode = currentStyle == style ? (empty ? Edr_Insert_replace : Edr_Insert_after)
                                         : Edr_Insert_lastChild;
    if (mode == Edr_Insert_replace && e->r->focusNode &&
        Edr_Node_parent(e->r->focusNode) == e->current) {
        // The caret sat in the placeholder being replaced: it moves along.
        Edr_Node_dropRefOpt(e->doc, e->r->focusNode);
        e->r->focusNode = nullptr;
        placeCaret(e, Edr_Node_firstChild(run), 0);
    }
    int err = link(e->doc, e->current, mode, run);
    if (!err)
        e->current = run;
    return err;
}

// Inserts text (LF already removed) after the current run with style and
// first id; fills the new selection with the inserted text nodes and the
// caret.
int insertSegments(Edit *e, const char16_t *text, uint32_t n, uint32_t style, uint32_t id)
{
    Edr_Doc *doc = e->doc;
    if (!n) {
        if (!inListBlock(doc, e->current))
            return Res_ok;
        Edr_Node *run = nullptr, *t = nullptr;
        int err = Pool_run(doc, &e->pool, style, id, nullptr, 0, &run, &t);
        if (!err)
            err = linkRun(e, run, style);
        placeCaret(e, t, 0);
        return err;
    }
    uint32_t breaks = 0;
    uint32_t at = 0;
    while (at < n) {
        uint32_t end = at;
        while (end < n && text[end] != charCR && text[end] != Edr_Sel_lineBreak)
            end++;
        bool vt = end < n && text[end] == Edr_Sel_lineBreak;
        bool cr = end < n && text[end] == charCR;
        uint32_t len = end - at + (vt ? 1 : 0);
        Edr_Node *run = nullptr, *t = nullptr;
        if (int err = Pool_run(doc, &e->pool, style, id, text + at, len, &run, &t))
            return err;
        // An empty segment in a paragraph that already has text before it
        // needs no placeholder (the run stays unlinked and is collected).
        bool skip = false;
        if (!len && linking(e)) {
            Edr_Doc_readLock(doc);
            skip = styleWordOf(e->current) == style && !isPlaceholderRun(e);
            Edr_Doc_readUnlock(doc);
        }
        if (!skip)
            if (int err = linkRun(e, run, style))
                return err;
        if (linking(e) && !e->r->focusNode && !skip) {
            if (e->caretLeft <= len + breaks)
                placeCaret(e, t, e->caretLeft >= breaks ? e->caretLeft - breaks : 0);
            else
                e->caretLeft -= len;
        }
        if (len) {
            if (linking(e))
                (void)Edr_NodeList_append(doc, &e->r->nodes, t);
            e->lastLength = len;
        }
        uint32_t next = end + 1;
        if (cr) {
            bool last = next >= n;
            if (len && !last)
                breaks++;
            Edr_Node *block = nullptr;
            if (int err = Pool_group(doc, &e->pool, e->blockStyle, e->blockId, &block))
                return err;
            if (linking(e)) {
                if (int err = link(doc, e->block, Edr_Insert_after, block))
                    return err;
            }
            e->block = block;
            e->current = block;
            if (last) {
                Edr_Node *prun = nullptr, *pt = nullptr;
                if (int err = Pool_run(doc, &e->pool, style, id, nullptr, 0, &prun, &pt))
                    return err;
                if (linking(e)) {
                    if (int err = link(doc, block, Edr_Insert_lastChild, prun))
                        return err;
                    e->current = prun;
                }
                placeCaret(e, pt, 0);
                e->trailingBreak = true;
            }
        } else if (vt && (next >= n || text[next] == charCR)) {
            Edr_Node *prun = nullptr, *pt = nullptr;
            if (int err = Pool_run(doc, &e->pool, style, id, nullptr, 0, &prun, &pt))
                return err;
            if (linking(e)) {
                if (int err = link(doc, e->current, Edr_Insert_after, prun))
                    return err;
                e->current = prun;
            }
        }
        at = vt || cr ? next : end;
        if (!vt && !cr)
            break;
    }
    return Res_ok;
}

// The first (forward) or last editable text node in the subtree of node.
struct FindText {
    Edr_Doc *doc;
    bool forward;
    Edr_Node *found;
};

int findTextVisitor(Edr_Node *node, int *stop, int *, void *context)
{
    FindText *f = static_cast<FindText *>(context);
    if (!isText(node))
        return Res_ok;
    int flag = 1;
    if (Edr_Doc_testNodeChain(f->doc, node, &flag) == 0 && flag) {
        f->found = node;
        if (f->forward)
            *stop = 1;
    }
    return Res_ok;
}

Edr_Node *findEditableText(Edr_Doc *doc, Edr_Node *start, bool forward)
{
    FindText f = {doc, forward, nullptr};
    (void)Edr_Node_walk(findTextVisitor, nullptr, &f, 0, start);
    return f.found;
}

// The caret beside node: the first editable text of the next sibling at
// 0, else the end of the last editable text of the previous one.
void placeNeighbour(Edit *e, Edr_Node *node)
{
    Edr_Doc_readLock(e->doc);
    Edr_Node *parent = Edr_Node_parent(node);
    Edr_Node *prev = nullptr;
    for (Edr_Node *c = parent ? Edr_Node_firstChild(parent) : nullptr; c && c != node;
         c = Edr_Node_nextSibling(c))
        prev = c;
    Edr_Node *next = parent ? Edr_Node_nextSibling(node) : nullptr;
    Edr_Doc_readUnlock(e->doc);
    Edr_Node *t = nullptr;
    uint32_t offset = 0;
    for (Edr_Node *n = next; n && !t; n = Edr_Node_nextSibling(n))
        t = findEditableText(e->doc, n, true);
    if (!t && prev) {
        t = findEditableText(e->doc, prev, false);
        offset = Edr_Sel_textOf(t).length;
    }
    placeCaret(e, t, offset);
}

bool isWholeBlock(Edr_Doc *doc, const Edr_Selection *s, Edr_Node *block)
{
    Edr_NodeList all = {};
    bool same = Edr_Sel_collect(doc, block, 0, &all) == 0 && all.count == s->nodes.count &&
                memcmp(all.items, s->nodes.items, all.count * sizeof(Edr_Node *)) == 0;
    Edr_NodeList_clear(doc, &all);
    return same;
}

// Removes the whole block (the caret to its neighbour) or, when it is the
// only one, empties it into one placeholder run.
int removeBlock(Edit *e, Edr_Node *block, uint32_t runStyle, uint32_t id)
{
    Edr_Doc *doc = e->doc;
    Edr_Doc_readLock(doc);
    Edr_Node *parent = Edr_Node_parent(block);
    bool alone = !parent || (Edr_Node_firstChild(parent) == block && !Edr_Node_nextSibling(block));
    Edr_Doc_readUnlock(doc);
    if (!alone) {
        if (!linking(e))
            return Res_ok;
        placeNeighbour(e, block);
        return removeNode(doc, block);
    }
    Edr_Node *run = nullptr, *t = nullptr;
    if (int err = Pool_run(doc, &e->pool, runStyle, id, nullptr, 0, &run, &t))
        return err;
    if (!linking(e))
        return Res_ok;
    if (int err = Edr_Node_removeVisibleChildren(doc, block))
        return err;
    int err = link(doc, block, Edr_Insert_lastChild, run);
    placeCaret(e, t, 0);
    return err;
}

struct Plan {
    Edr_Selection *s;
    Edr_Node *first;    // F
    Edr_Node *last;     // L
    Edr_Node *run;      // P
    uint32_t style;     // S
    uint32_t runId;     // P's first id
    uint32_t lastRunId; // L's parent's first id
    uint32_t firstChildStyle;
    Edr_Node *block;
    uint32_t blockStyle;
    uint32_t blockId;
    const char16_t *prefix;
    uint32_t prefixLength;
    const char16_t *suffix;
    uint32_t suffixLength;
    char16_t *text;
    uint32_t textLength;
    uint32_t caret;
    bool wholeBlock;
};

// Runs the replacement: first preparing (every node made), then linking.
int runEdit(Edit *e, const Plan *p)
{
    Edr_Doc *doc = e->doc;
    e->current = p->run;
    e->block = p->block;
    e->blockStyle = p->blockStyle;
    e->blockId = p->blockId;
    e->caretLeft = p->caret;
    e->lastLength = 0;
    e->trailingBreak = false;
    if (p->wholeBlock)
        return removeBlock(e, p->block, p->firstChildStyle, p->runId);

    Edr_Node *followF = nullptr, *followP = nullptr;
    if (linking(e)) {
        // c: every selected node after the first goes, and a run it leaves empty.
        for (uint32_t i = 0; i < p->s->nodes.count; i++) {
            Edr_Node *n = p->s->nodes.items[i];
            if (n == p->first || !Edr_Node_parent(n))
                continue;
            Edr_Node *parent = Edr_Node_parent(n);
            if (int err = removeNode(doc, n))
                return err;
            // Groups left empty go too (a run, and the paragraph of a
            // selection that reached into a following one).
            while (parent && parent != p->block && !Edr_Node_firstChild(parent) &&
                   Edr_Node_parent(parent)) {
                Edr_Node *up = Edr_Node_parent(parent);
                if (int err = removeNode(doc, parent))
                    return err;
                parent = up;
            }
        }
        // d
        Edr_Doc_readLock(doc);
        followF = Edr_Node_nextSibling(p->first);
        followP = Edr_Node_nextSibling(p->run);
        Edr_Doc_readUnlock(doc);
    }
    // e
    bool nothingLeft = !p->textLength && !p->suffixLength;
    if (p->prefixLength) {
        Edr_Node *t = nullptr;
        if (int err = Pool_text(doc, &e->pool, p->prefix, p->prefixLength, &t))
            return err;
        if (linking(e)) {
            if (int err = link(doc, p->first, Edr_Insert_replace, t))
                return err;
            if (nothingLeft)
                placeCaret(e, t, p->prefixLength);
        }
    } else if (linking(e)) {
        if (int err = removeNode(doc, p->first))
            return err;
    }
    // f
    if (int err = insertSegments(e, p->text, p->textLength, p->style, p->runId))
        return err;
    // g
    if (p->suffixLength) {
        Edr_Node *run = nullptr, *t = nullptr;
        if (int err = Pool_run(doc, &e->pool, p->style, p->lastRunId, p->suffix, p->suffixLength,
                               &run, &t))
            return err;
        if (linking(e)) {
            Edr_Doc_readLock(doc);
            bool empty = isPlaceholderRun(e);
            Edr_Doc_readUnlock(doc);
            if (empty && e->r->focusNode && Edr_Node_parent(e->r->focusNode) == e->current) {
                Edr_Node_dropRefOpt(doc, e->r->focusNode);
                e->r->focusNode = nullptr;
                placeCaret(e, t, 0);
            }
            if (int err = link(doc, e->current, empty ? Edr_Insert_replace : Edr_Insert_after, run))
                return err;
            e->current = run;
            if (!p->textLength) {
                uint32_t k = 0;
                while (k < p->suffixLength && p->suffix[k] != Edr_Sel_lineBreak &&
                       Edr_Sel_isWhiteSpace(p->suffix[k]))
                    k++;
                placeCaret(e, t, k);
            }
        }
    }
    // h
    Edr_Node *moved = nullptr;
    if (int err = Pool_group(doc, &e->pool, p->style, p->lastRunId, &moved))
        return err;
    if (linking(e) && followF) {
        Edr_Doc_readLock(doc);
        bool empty = isPlaceholderRun(e);
        Edr_Doc_readUnlock(doc);
        if (int err =
                link(doc, e->current,
                     empty && e->current != p->run ? Edr_Insert_replace : Edr_Insert_after, moved))
            return err;
        if (int err = link(doc, moved, Edr_Insert_lastChild, followF))
            return err;
        e->current = moved;
    }
    if (linking(e) && followP && Edr_Node_parent(followP)) {
        Edr_Doc_readLock(doc);
        bool empty = e->trailingBreak && isPlaceholderRun(e) && e->current != followP;
        Edr_Doc_readUnlock(doc);
        if (empty && e->r->focusNode && Edr_Node_parent(e->r->focusNode) == e->current) {
            Edr_Node_dropRefOpt(doc, e->r->focusNode);
            e->r->focusNode = nullptr;
            placeCaret(e, findEditableText(doc, followP, true), 0);
        }
        if (e->current != followP)
            if (int err =
                    link(doc, e->current, empty ? Edr_Insert_replace : Edr_Insert_after, followP))
                return err;
    }
    // A placeholder run for a paragraph that would be left empty.
    Edr_Node *spare = nullptr, *spareText = nullptr;
    if (int err = Pool_run(doc, &e->pool, p->style, p->runId, nullptr, 0, &spare, &spareText))
        return err;
    if (!linking(e))
        return Res_ok;
    // i: nothing is left where the text was; a run left empty goes too,
    // and a paragraph left without runs keeps a placeholder.
    if (!p->textLength && !p->prefixLength && !p->suffixLength) {
        Edr_Doc_readLock(doc);
        bool emptyRun = Edr_Node_parent(p->run) && !Edr_Node_firstChild(p->run);
        Edr_Doc_readUnlock(doc);
        placeNeighbour(e, p->run);
        if (emptyRun)
            if (int err = removeNode(doc, p->run))
                return err;
        Edr_Doc_readLock(doc);
        bool emptyBlock = !Edr_Node_firstChild(p->block);
        Edr_Doc_readUnlock(doc);
        if (emptyBlock) {
            if (int err = link(doc, p->block, Edr_Insert_lastChild, spare))
                return err;
            placeCaret(e, spareText, 0);
        }
    }
    return Res_ok;
}

void freePlan(Edr_Doc *doc, Plan *p)
{
    Edr_Sel_free(doc, p->s);
    Edr_Node_release(doc, p->block);
    Mem_free(p->text);
}

// Fills the plan from the selection copy. 0 with p->first null when there
// is no text to edit.
int makePlan(Edr_Doc *doc, Plan *p, const char16_t *text, uint32_t caret)
{
    const Edr_NodeList *l = &p->s->nodes;
    for (uint32_t i = 0; i < l->count && !p->first; i++)
        if (isText(l->items[i]))
            p->first = l->items[i];
    for (uint32_t i = l->count; i-- > 0 && !p->last;)
        if (isText(l->items[i]))
            p->last = l->items[i];
    if (!p->first)
        return Res_ok;
    Edr_Doc_readLock(doc);
    p->run = Edr_Node_parent(p->first);
    Edr_Node *lastRun = Edr_Node_parent(p->last);
    int err = !p->run || !lastRun                           ? int(Res_noParent)
              : Edr_Node_type(p->run) != Edr_NodeType_group ? int(Res_notGroup)
                                                            : 0;
    if (!err) {
        p->style = styleWordOf(p->run);
        p->runId = Edr_Sel_firstIdOf(p->run);
        p->lastRunId = Edr_Sel_firstIdOf(lastRun);
    }
    Edr_Doc_readUnlock(doc);
    if (err)
        return err;
    if ((err = Edr_Sel_blockOf(doc, p->run, &p->block)) != 0)
        return err;
    if (!p->block)
        return Res_notGroup;
    Edr_Doc_readLock(doc);
    p->blockStyle = styleWordOf(p->block);
    p->blockId = Edr_Sel_firstIdOf(p->block);
    p->firstChildStyle = styleWordOf(Edr_Node_firstChild(p->block));
    Edr_Doc_readUnlock(doc);

    Edr_TextSpan f = Edr_Sel_textOf(p->first), z = Edr_Sel_textOf(p->last);
    uint32_t start = p->first == l->items[0] ? std::min(p->s->startOffset, f.length) : 0;
    uint32_t end =
        p->last == l->items[l->count - 1] ? std::min(p->s->endOffset, z.length) : z.length;
    if (p->first == p->last)
        end = std::max(end, start);
    p->prefix = f.chars;
    p->prefixLength = start;
    p->suffix = z.chars + end;
    p->suffixLength = z.length - end;
    size_t n = 0;
    while (text && text[n])
        n++;
    p->text = static_cast<char16_t *>(Mem_malloc((n + 1) * sizeof(char16_t)));
    if (!p->text)
        return Res_noMemory;
    if (n)
        memcpy(p->text, text, n * sizeof(char16_t));
    p->textLength = uint32_t(Ustr_removeChar(p->text, n, u'\n'));
    p->caret = caret;
    p->wholeBlock =
        !p->textLength && !p->prefixLength && !p->suffixLength && isWholeBlock(doc, p->s, p->block);
    return Res_ok;
}

} // namespace

int Edr_Sel_replaceText(Edr_Doc *doc, const char16_t *text, uint32_t caret, int *unchanged)
{
    Plan p = {};
    int err = Edr_Sel_copy(doc, &p.s);
    if (err || !p.s)
        return err;
    if (unchanged && *unchanged) {
        if (p.s->nodes.count == 1) {
            // The caret moves into the one selected node.
            Edr_Node *node = p.s->nodes.items[0];
            if (p.s->focusNode != node && Edr_Node_addRefLive(doc, node) == 0) {
                Edr_Node_dropRefOpt(doc, p.s->focusNode);
                p.s->focusNode = node;
            }
            uint32_t length = Edr_Sel_textOf(node).length;
            p.s->caretOffset =
                std::min(p.s->startOffset + caret, std::max(length, p.s->startOffset));
            Edr_Sel_set(doc, p.s);
            return Res_ok;
        }
        *unchanged = 0;
    }
    if ((err = makePlan(doc, &p, text, caret)) != 0 || !p.first) {
        freePlan(doc, &p);
        return err;
    }
    Edit e = {};
    e.doc = doc;
    if ((err = Edr_Sel_create(&e.r)) == 0)
        err = runEdit(&e, &p);
    // The new selection's array holds every node it can get, so linking
    // never needs memory.
    if (!err) {
        uint32_t cap = e.pool.count + 2;
        e.r->nodes.items = static_cast<Edr_Node **>(Mem_malloc(cap * sizeof(Edr_Node *)));
        e.r->nodes.capacity = e.r->nodes.items ? cap : 0;
        err = e.r->nodes.items ? 0 : int(Res_noMemory);
    }
    if (!err) {
        e.pool.linking = true;
        e.pool.next = 0;
        err = runEdit(&e, &p);
    }
    if (!err && e.r) {
        if (p.textLength && e.r->nodes.count) {
            e.r->startOffset = 0;
            e.r->endOffset = e.lastLength;
        } else {
            // A caret: its node is the selection (the array has room).
            if (!e.r->nodes.count && e.r->focusNode)
                (void)Edr_NodeList_append(doc, &e.r->nodes, e.r->focusNode);
            e.r->startOffset = e.r->endOffset = e.r->caretOffset;
        }
    }
    Pool_free(doc, &e.pool);
    freePlan(doc, &p);
    if (err) {
        Edr_Sel_free(doc, e.r);
        return err;
    }
    if (!e.r->nodes.count) {
        Edr_Sel_free(doc, e.r);
        e.r = nullptr;
    }
    Edr_Sel_set(doc, e.r);
    return Res_ok;
}

int Edr_Sel_deleteText(Edr_Doc *doc)
{
    int unchanged = 0;
    return Edr_Sel_replaceText(doc, u"", 0, &unchanged);
}

int Edr_Sel_getText(Edr_Doc *doc, char16_t **text, uint32_t *caret)
{
    *text = nullptr;
    *caret = 0;
    Edr_Selection *s = nullptr;
    int err = Edr_Sel_copy(doc, &s);
    if (err || !s)
        return err;
    const Edr_NodeList *l = &s->nodes;
    Edr_Node *lastVisible = nullptr;
    for (uint32_t i = 0; i < l->count; i++)
        if (isText(l->items[i]) && !Edr_Sel_isHiddenText(doc, l->items[i]))
            lastVisible = l->items[i];
    uint32_t endPos = 0;
    if (lastVisible) {
        uint32_t len = Edr_Sel_textOf(lastVisible).length;
        endPos = lastVisible == l->items[l->count - 1] ? std::min(s->endOffset, len) : len;
    }
    size_t total = 0;
    for (uint32_t i = 0; i < l->count; i++)
        total += Edr_Sel_textOf(l->items[i]).length;
    char16_t *out = static_cast<char16_t *>(Mem_malloc((total + 1) * sizeof(char16_t)));
    if (!out) {
        Edr_Sel_free(doc, s);
        return Res_noMemory;
    }
    size_t n = 0;
    bool firstSeen = false;
    for (uint32_t i = 0; i < l->count; i++) {
        Edr_Node *node = l->items[i];
        if (!isText(node) || Edr_Sel_isHiddenText(doc, node))
            continue;
        Edr_TextSpan t = Edr_Sel_textOf(node);
        uint32_t from = !firstSeen ? std::min(s->startOffset, t.length) : 0;
        if (!firstSeen && node != l->items[0])
            from = 0;
        uint32_t to = node == lastVisible ? endPos : t.length;
        if (node == s->focusNode)
            *caret = uint32_t(n) + (s->caretOffset > from ? s->caretOffset - from : 0);
        if (to > from) {
            memcpy(out + n, t.chars + from, (to - from) * sizeof(char16_t));
            n += to - from;
        }
        firstSeen = true;
    }
    out[n] = 0;
    *caret = std::min<uint32_t>(*caret, uint32_t(n));
    *text = out;
    Edr_Sel_free(doc, s);
    return Res_ok;
}

// ----------------------------------------------------------- formatting

int Edr_Doc_internRule(Edr_Doc *doc, StyleRule *rule, uint32_t *key, int *owned)
{
    *key = 0;
    *owned = 0;
    Edr_Doc_readLock(doc);
    DocRequestTable *table = Edr_Doc_requestTable(doc);
    for (uint32_t i = 0; Request *q = DocRequests_lentAt(table, i); i++) {
        Request_lock(q);
        for (const StyleRule *r = Request_firstItem(q); r && !*key; r = Request_nextItem(q, r))
            if (StyleRule_firstKey(r) && StyleRule_equalProps(r, rule))
                *key = StyleRule_firstKey(r);
        Request_unlock(q);
        if (*key)
            break;
    }
    Request *first = DocRequests_lentAt(table, 0);
    uint32_t k = 0;
    if (!*key && first) {
        Request_lock(first);
        for (const StyleRule *r = Request_firstItem(first); r; r = Request_nextItem(first, r))
            k++;
        Request_unlock(first);
        k += firstNewKey;
        // A key that a registered rule already has is passed over.
        while (Edr_Sel_findRuleLocked(doc, k))
            k++;
        Request_addRef(first);
    }
    Edr_Doc_readUnlock(doc);
    if (*key)
        return Res_ok;
    int err = Res_ok;
    if (!first) {
        // The table's first record is made with the first rule.
        if ((err = Request_new(Edr_Doc_getApp(doc), 0, &first)) != 0)
            return err;
        Request_addRef(first);
        if ((err = Edr_Doc_addRequest(doc, first)) != 0) {
            Request_release(first);
            Request_release(first);
            return err;
        }
        k = firstNewKey;
    }
    if ((err = StyleRule_addMatch1(rule, k)) == 0) {
        StyleRule *give = rule;
        err = Request_addItem(first, &give);
        if (!give) {
            *owned = 1;
            *key = k;
        }
    }
    Request_release(first);
    return *owned ? Res_ok : err;
}

int Edr_Node_copyRule(Edr_Doc *doc, Edr_Node *group, StyleRule **out)
{
    *out = nullptr;
    Edr_Doc_readLock(doc);
    const StyleRule *rule = Edr_Sel_findRuleLocked(doc, Edr_Sel_firstIdOf(group));
    int err = Res_ok;
    if (rule && (err = StyleRule_create(out)) == 0 &&
        (err = StyleRule_appendProps(*out, rule)) != 0) {
        StyleRule_destroy(*out);
        *out = nullptr;
    }
    Edr_Doc_readUnlock(doc);
    return err;
}

int Edr_Sel_getComputedStyle(Edr_Doc *doc, Edr_Style **out)
{
    *out = nullptr;
    Edr_Selection *s = nullptr;
    int err = Edr_Sel_copy(doc, &s);
    if (err || !s || !s->nodes.count) {
        Edr_Sel_free(doc, s);
        return err;
    }
    Edr_Doc_readLock(doc);
    Edr_Node *parent = Edr_Node_parent(s->nodes.items[0]);
    if (parent)
        err = computeChain(doc, parent, out);
    Edr_Doc_readUnlock(doc);
    Edr_Sel_free(doc, s);
    return err;
}

int Edr_Sel_getAlignment(Edr_Doc *doc, uint32_t *type, uint32_t *value)
{
    *type = 0;
    *value = 0;
    Edr_Selection *s = nullptr;
    int err = Edr_Sel_copy(doc, &s);
    Edr_Node *block = nullptr;
    if (!err && s && s->nodes.count)
        err = Edr_Sel_blockOf(doc, s->nodes.items[0], &block);
    if (!err && block) {
        Edr_Style *set = nullptr;
        Edr_Doc_readLock(doc);
        err = computeChain(doc, block, &set);
        Edr_Doc_readUnlock(doc);
        Edr_StylePayload payload = {};
        if (!err && set) {
            *type = Edr_Style_get(set, propAlignment, &payload);
            *value = uint32_t(payload.word);
        }
        Edr_Style_release(set);
    }
    Edr_Node_release(doc, block);
    Edr_Sel_free(doc, s);
    return err;
}

int Edr_Sel_setAlignment(Edr_Doc *doc, uint32_t keyword)
{
    Edr_Selection *s = nullptr;
    int err = Edr_Sel_copy(doc, &s);
    Edr_Node *handled = nullptr;
    for (uint32_t i = 0; !err && s && i < s->nodes.count; i++) {
        Edr_Node *n = s->nodes.items[i];
        if (handled && Edr_Node_isWithin(doc, n, handled))
            continue;
        Edr_Node *block = nullptr;
        if ((err = Edr_Sel_blockOf(doc, n, &block)) != 0 || !block)
            break;
        if (Edr_Node_type(block) == Edr_NodeType_group) {
            Prop value = {};
            value.id = propAlignment;
            value.type = uint16_t(keyword);
            StyleRule *rule = nullptr;
            int changed = 0, owned = 0;
            uint32_t key = 0;
            err = Edr_Node_copyRule(doc, block, &rule);
            if (!err && !rule)
                err = Res_notFound;
            if (!err)
                err = StyleRule_setProp(rule, &value, &changed);
            if (!err)
                err = Edr_Doc_internRule(doc, rule, &key, &owned);
            if (!owned)
                StyleRule_destroy(rule);
            if (!err) {
                const uint32_t ids[2] = {key, 0};
                err = Edr_Node_setIds(doc, block, ids, 2);
            }
        }
        Edr_Node_release(doc, handled);
        handled = block;
    }
    Edr_Node_release(doc, handled);
    Edr_Sel_free(doc, s);
    return err;
}

int Edr_Sel_getRule(Edr_Doc *doc, StyleRule **out)
{
    *out = nullptr;
    Edr_Selection *s = nullptr;
    int err = Edr_Sel_copy(doc, &s);
    if (!err && s && s->nodes.count) {
        Edr_Doc_readLock(doc);
        Edr_Node *parent = Edr_Node_parent(s->nodes.items[0]);
        Edr_Doc_readUnlock(doc);
        err = Edr_Node_copyRule(doc, parent, out);
    }
    Edr_Sel_free(doc, s);
    return err;
}

int Edr_Sel_applyRule(Edr_Doc *doc, StyleRule *rule)
{
    Edr_Selection *s = nullptr;
    int err = Edr_Sel_copy(doc, &s);
    if (err || !s) {
        StyleRule_destroy(rule);
        return err;
    }
    uint32_t key = 0;
    int owned = 0;
    err = Edr_Doc_internRule(doc, rule, &key, &owned);
    if (!owned)
        StyleRule_destroy(rule);
    const uint32_t ids[2] = {key, 0};
    for (uint32_t i = 0; !err && i < s->nodes.count; i++) {
        Edr_Doc_readLock(doc);
        Edr_Node *parent = Edr_Node_parent(s->nodes.items[i]);
        if (parent)
            err = Edr_Node_addRefLive(doc, parent);
        Edr_Doc_readUnlock(doc);
        if (parent && !err) {
            err = Edr_Node_setIds(doc, parent, ids, 2);
            Edr_Node_dropRefOpt(doc, parent);
        }
    }
    Edr_Sel_free(doc, s);
    return err;
}
