// The inline content walk (Edr_StyleLookup) and the intrinsic-width
// measurement of groups, text, tables and form controls.
//
// The walker keeps a stack with one entry per open level: the node reached
// at that level and its style set. Each call classifies the top entry
// (descend into it, skip it, apply it as a property) and steps until it
// reaches an item to hand out. Group sets are computed from the set of the
// level that encloses them; other nodes share that set.
//
// The measurement recurses through nested blocks. Before it does, it asks
// how much stack the calling thread really has left; below the margin it
// posts code 35 (layout failed) to the engine's event processor and
// returns Res_stackExhausted, so the caller sees the refusal instead of a
// success with half-measured widths.
#include "document/style/lookup.h"

#include <algorithm>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/propids.h"
#include "core/task/eventproc.h"
#include "document/edr/docmsg.h"
#include "core/task/task.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/style/style.h"
#include "document/style/style_internal.h"
#include "document/style/styleread.h"
#include "fonts/textrun.h"
#include "core/host/hostservices.h"
#include "document/edr/webops.h"
#include "platform/api/engine.h"

namespace {

constexpr int32_t kInitialStack = 16;

bool isWhite(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == 0x0B || c == 0x0C || c == u'\r';
}

bool isBlockDisplay(uint32_t d)
{
    return d == KwId_block || d == KwId_compact || d == KwId_listItem || d == KwId_runIn ||
           d == KwId_table || d == KwId_tableCell || d == KwId_tableRow ||
           (d >= KwId_columnBlock && d <= KwId_markedBlock);
}

uint32_t typeOf(const Edr_Node *n)
{
    return n ? n->flags & Edr_Node_typeMask : 0;
}

Edr_LookupEntry *top(Edr_StyleLookup *w)
{
    return &w->stack[w->depth - 1];
}

Edr_Style **enclosingSlot(Edr_StyleLookup *w)
{
    return w->depth >= 2 ? &w->stack[w->depth - 2].style : &w->rootStyle;
}

// The set of node under parentStyle: computed for a group, shared otherwise.
int styleFor(Edr_StyleLookup *w, Edr_Node *node, Edr_Style *parentStyle, Edr_Style **out)
{
    *out = nullptr;
    if (typeOf(node) == Edr_NodeType_group)
        return Edr_Style_computeIn(w->styleContext, out, parentStyle, node);
    *out = Edr_Style_retain(parentStyle);
    return Res_ok;
}

void classify(Edr_StyleLookup *w)
{
    w->apply = 0;
    w->floatEndPending = 0;
    if (w->depth == 0) {
        w->descend = w->skip = 0;
        return;
    }
    Edr_LookupEntry *e = top(w);
    Edr_Node *n = e->node;
    if (!n) {
        w->descend = 0;
        w->skip = 1;
        return;
    }
    if (typeOf(n) != Edr_NodeType_group) {
        w->descend = 0;
        w->skip = 0;
        if (typeOf(n) == Edr_NodeType_data) {
            uint32_t id = static_cast<const Prop *>(Edr_Node_payload(n))->id;
            if (id != PropId_height && id != PropId_left && id != PropId_position &&
                id != PropId_top && id != PropId_width && id != PropId_shape) {
                w->apply = 1;
                w->skip = 1;
            }
        }
        return;
    }
    const Edr_Style *s = e->style;
    uint32_t d = Edr_Style_get(s, PropId_display, nullptr);
    if (d == KwId_none) {
        w->descend = 0;
        w->skip = 1;
    } else if (isBlockDisplay(d)) {
        w->descend = 0;
        w->skip = 0;
    } else {
        uint32_t lb = Edr_Style_get(s, PropId_lineBreak, nullptr);
        w->descend = 1;
        w->skip = lb >= KwId_breakFirst && lb <= KwId_lineBreak ? 0 : 1;
    }
    if (!Edr_Style_isFlag1(s) &&
        Edr_Style_equalsEither(s, PropId_position, KwId_absolute, KwId_fixed))
        w->descend = w->skip = 0;
    if (Edr_Style_equalsEither(s, PropId_float, KwId_left, KwId_right))
        w->descend = w->skip = 0;
    if (Edr_Style_get(s, PropId_floatRegion, nullptr) != 0) {
        w->skip = 0;
        w->inFloat = 1;
        w->floatDepth = 0;
    } else if (w->inFloat) {
        uint32_t c = Edr_Style_get(s, PropId_verticalAnchor, nullptr);
        if (c != KwId_bottom && c != KwId_middle && c != KwId_top) {
            w->skip = 0;
            w->descend = 1;
            w->floatEndPending = 1;
            w->floatDepth++;
        }
    }
    if (w->floatEnded) {
        w->skip = 0;
        w->floatEnded = 0;
    }
}

// The children of a group inside a floating group are over: the float
// ends with its own children.
void lookupFloatLevelEnded(Edr_StyleLookup *w)
{
    if (!w->inFloat)
        return;
    if (w->floatDepth < 1) {
        w->floatEnded = 1;
        w->inFloat = 0;
    }
    w->floatDepth--;
}

// Moves the top entry to its next sibling.
int moveNext(Edr_StyleLookup *w)
{
    Edr_LookupEntry *e = top(w);
    Edr_Style_release(e->style);
    e->style = nullptr;
    Edr_Node *sibling = e->node ? Edr_Node_nextSibling(e->node) : nullptr;
    e->node = sibling;
    if (!sibling)
        lookupFloatLevelEnded(w);
    return styleFor(w, sibling, *enclosingSlot(w), &e->style);
}

int step(Edr_StyleLookup *w)
{
    Edr_LookupEntry *e = top(w);
    if (!e->node) {
        Edr_Style_release(e->style);
        e->style = nullptr;
        w->depth--;
        return w->depth > 0 ? moveNext(w) : Res_ok;
    }
    if (!w->descend)
        return moveNext(w);
    if (w->depth == w->capacity) {
        auto *grown = static_cast<Edr_LookupEntry *>(
            Mem_realloc(w->stack, size_t(w->capacity) * 2 * sizeof(Edr_LookupEntry)));
        if (!grown)
            return Res_noMemory;
        w->stack = grown;
        w->capacity *= 2;
        e = top(w);
    }
    Edr_Node *child = Edr_Node_firstChild(e->node);
    // A group without children ends its level at once (an empty floating
    // group ends its float, so that what follows it is not taken in).
    if (!child)
        lookupFloatLevelEnded(w);
    Edr_LookupEntry *n = &w->stack[w->depth++];
    n->node = child;
    n->style = nullptr;
    return styleFor(w, child, e->style, &n->style);
}

int advance(Edr_StyleLookup *w)
{
    classify(w);
    while (w->skip) {
        if (w->apply) {
            Edr_Style **slot = enclosingSlot(w);
            if (int err = Edr_Style_makeWritable(slot, w->document))
                return err;
            if (int err = Edr_Style_setValue(
                    *slot, static_cast<const Prop *>(Edr_Node_payload(top(w)->node))))
                return err;
        }
        if (int err = step(w))
            return err;
        classify(w);
    }
    return Res_ok;
}

int breakBetween(Edr_StyleLookup *w)
{
    if (w->depth == 0)
        return 1;
    if (!w->currentNode)
        return 0;
    Edr_Node *next = top(w)->node;
    if (typeOf(w->currentNode) != Edr_NodeType_text || typeOf(next) != Edr_NodeType_text)
        return 1;
    const Edr_TextNode *a = Edr_Node_textPayload(w->currentNode);
    const Edr_TextNode *b = Edr_Node_textPayload(next);
    static constexpr char16_t kX[] = u"x";
    const char16_t *ta = a->chars ? a->chars : kX;
    const char16_t *tb = b->chars ? b->chars : kX;
    uint32_t la = a->chars ? a->length : 1, lb = b->chars ? b->length : 1;
    if (!la || !lb)
        return 1;
    return isWhite(ta[la - 1]) || isWhite(tb[0]) ? 1 : 0;
}

} // namespace

// ------------------------------------------------------------------- walk

int Edr_StyleLookup_create(Edr_Doc *doc, Edr_Node *root, Edr_Style *rootStyle,
                           Edr_StyleCtx *styleContext, Edr_StyleLookup **out)
{
    *out = nullptr;
    Edr_StyleLookup *w = static_cast<Edr_StyleLookup *>(Mem_calloc(1, sizeof(Edr_StyleLookup)));
    if (!w)
        return Res_noMemory;
    w->document = doc;
    w->rootStyle = Edr_Style_retain(rootStyle);
    w->styleContext = styleContext ? styleContext : Edr_StyleCtx_get(doc);
    w->stack = static_cast<Edr_LookupEntry *>(Mem_calloc(kInitialStack, sizeof(Edr_LookupEntry)));
    int err = Res_ok;
    if (!w->stack || !w->styleContext) {
        err = Res_noMemory;
    } else {
        w->capacity = kInitialStack;
        w->depth = 1;
        w->stack[0].node = typeOf(root) == Edr_NodeType_group ? Edr_Node_firstChild(root) : nullptr;
        err = styleFor(w, w->stack[0].node, rootStyle, &w->stack[0].style);
    }
    if (!err)
        err = Edr_Node_allocate(&w->synthetic, Edr_NodeType_data, sizeof(Prop));
    if (!err) {
        Prop_setType(static_cast<Prop *>(Edr_Node_payload(w->synthetic)), PropId_position,
                     KwId_absolute);
        err = advance(w);
    }
    if (err) {
        Edr_StyleLookup_free(w);
        return err;
    }
    *out = w;
    return Res_ok;
}

int Edr_StyleLookup_next(Edr_StyleLookup *w, Edr_LookupItem *item, int *breakAllowed, int *end)
{
    Edr_Style_release(w->currentStyle);
    w->currentStyle = nullptr;
    w->currentNode = nullptr;
    int err = Res_ok;
    if (w->depth > 0) {
        if (w->floatEndPending) {
            w->currentNode = w->synthetic;
            w->currentStyle = Edr_Style_retain(*enclosingSlot(w));
            w->floatEndPending = 0;
        } else {
            w->currentNode = top(w)->node;
            w->currentStyle = Edr_Style_retain(top(w)->style);
        }
        err = step(w);
        if (!err)
            err = advance(w);
    }
    item->node = w->currentNode;
    item->style = w->currentStyle;
    *breakAllowed = breakBetween(w);
    *end = w->depth == 0 ? 1 : 0;
    return err;
}

void Edr_StyleLookup_free(Edr_StyleLookup *w)
{
    if (!w)
        return;
    Edr_Style_release(w->currentStyle);
    for (int32_t i = 0; i < w->depth; i++)
        Edr_Style_release(w->stack[i].style);
    Edr_Style_release(w->rootStyle);
    Mem_free(w->synthetic);
    Mem_free(w->stack);
    Mem_free(w);
}

// -------------------------------------------------------------- measuring

size_t Edr_Style_stackLeft(Edr_Doc *doc)
{
    EngineContext *context = doc ? doc->app : nullptr;
    if (context && Task_hasCurrent(context))
        return Task_stackLeft(context, nullptr);
    return Host_stackLeft();
}

// ------------------------------------------------------ block ancestor

int Edr_Style_findAncestorByProp34(Edr_Doc *doc, Edr_Node *node, Edr_Node **out)
{
    *out = nullptr;
    for (Edr_Node *n = node; n; n = n->parentNode) {
        if (typeOf(n) != Edr_NodeType_group)
            continue;
        Edr_Style *s = nullptr;
        if (int err = Edr_Style_computeForNode(doc, &s, nullptr, n))
            return err;
        uint32_t d = Edr_Style_get(s, PropId_display, nullptr);
        Edr_Style_release(s);
        if (d == KwId_block || d == KwId_compact || d == KwId_listItem || d == KwId_runIn ||
            d == KwId_table || d == KwId_tableCell || d == KwId_tableRow || d == KwId_columnBlock ||
            d == KwId_framesetRows || d == KwId_framesetColumns) {
            if (int err = Edr_Node_addRefLocked(doc, n))
                return err;
            *out = n;
            return Res_ok;
        }
    }
    return Res_ok;
}
