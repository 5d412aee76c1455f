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
#include "layout/layout.h"
#include "platform/api/engine.h"

namespace {

constexpr int32_t kInitialStack = 16;

bool isWhite(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == 0x0B || c == 0x0C || c == u'\r';
}

bool isBlockDisplay(uint32_t d)
{
    return d == KwId_block || d == KwId_compact || d == KwId_listItem || d == KwId_runIn || d == KwId_table ||
           d == KwId_tableCell || d == KwId_tableRow || (d >= KwId_columnBlock && d <= KwId_markedBlock);
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
            if (id != PropId_height && id != PropId_left && id != PropId_position && id != PropId_top &&
                id != PropId_width && id != PropId_shape) {
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
    if (!Edr_Style_isFlag1(s) && Edr_Style_equalsEither(s, PropId_position, KwId_absolute, KwId_fixed))
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

// Moves the top entry to its next sibling.
int moveNext(Edr_StyleLookup *w)
{
    Edr_LookupEntry *e = top(w);
    Edr_Style_release(e->style);
    e->style = nullptr;
    Edr_Node *sibling = e->node ? Edr_Node_nextSibling(e->node) : nullptr;
    e->node = sibling;
    if (!sibling && w->inFloat) {
        if (w->floatDepth < 1) {
            w->floatEnded = 1;
            w->inFloat = 0;
        }
        w->floatDepth--;
    }
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
        auto *grown =
            static_cast<Edr_LookupEntry *>(Mem_realloc(w->stack, size_t(w->capacity) * 2 * sizeof(Edr_LookupEntry)));
        if (!grown)
            return Res_noMemory;
        w->stack = grown;
        w->capacity *= 2;
        e = top(w);
    }
    Edr_Node *child = Edr_Node_firstChild(e->node);
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
            if (int err = Edr_Style_setValue(*slot, static_cast<const Prop *>(Edr_Node_payload(top(w)->node))))
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

int Edr_StyleLookup_create(Edr_Doc *doc, Edr_Node *root, Edr_Style *rootStyle, Edr_StyleCtx *styleContext,
                           Edr_StyleLookup **out)
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
        Prop_setType(static_cast<Prop *>(Edr_Node_payload(w->synthetic)), PropId_position, KwId_absolute);
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

namespace {

void resetRunAndLine(LayoutCursor *c)
{
    c->run = 0;
    c->line = 0;
}

void raiseBoth(LayoutCursor *c, int32_t w)
{
    c->narrowest = std::max(c->narrowest, w + c->indentation);
    c->widest = std::max(c->widest, w + c->indentation);
}

bool isFloat(const Edr_Style *s)
{
    return Edr_Style_equalsEither(s, PropId_float, KwId_left, KwId_right);
}

// The width of chars[0..n) in the font (right - left + 1), 0 for none.
int measureChars(const LayoutFont &font, const char16_t *chars, uint32_t n, int32_t *width)
{
    *width = 0;
    if (!n)
        return Res_ok;
    Rect r{};
    if (int err = TextRun_measureFit(font.fonts, font.size, font.flags, nullptr, chars, n, font.charSpacing,
                                     font.wordSpacing, 0x7FFFFFFF, nullptr, &r))
        return err;
    *width = r.x1 - r.x0 + 1;
    return Res_ok;
}

int measureRun(LayoutCursor *c, const LayoutFont &font, const char16_t *chars, uint32_t n)
{
    int32_t w = 0;
    if (int err = measureChars(font, chars, n, &w))
        return err;
    Layout_advanceX(c, w);
    return Res_ok;
}

int measureBlock(LayoutCursor *c, Edr_Node *node, Edr_Style *s, int fixedWidth, bool floating, int *ended)
{
    if (Edr_Style_getProp74(s) == KwId_absolute)
        return Res_ok;
    if (floating && Edr_Style_get(s, PropId_clear, nullptr) == KwId_none)
        Layout_newLine(c);
    else
        resetRunAndLine(c);
    Edr_Edges m{}, b{}, p{};
    Edr_Style_getEdges(s, &m, &b, &p, c->box->availableWidth);
    int32_t edges = m.left + m.right + b.left + b.right + p.left + p.right;
    c->indentation += edges;
    int err = Edr_Measure_group(c, node, s, fixedWidth, ended);
    c->indentation -= edges;
    if (floating)
        Layout_newLine(c);
    else
        resetRunAndLine(c);
    return err;
}

int measureSizedBox(LayoutCursor *c, Edr_Node *node, Edr_Style *s, uint32_t display, int fixedWidth, bool floating,
                    int *ended)
{
    bool breaks = fixedWidth || floating;
    if (breaks)
        Layout_newLine(c);
    int32_t w = 0;
    int err = Res_ok;
    if (!Edr_Style_getLength(s, PropId_width, &w)) {
        err = Edr_Measure_group(c, node, s, fixedWidth, ended);
    } else {
        if (display == KwId_frameBox) {
            Edr_Node *child = Edr_Node_firstChild(node);
            if (typeOf(child) == Edr_NodeType_subdoc) {
                int32_t size[2] = {0, 0};
                Layout_subdocSize(child, size);
                w = std::max(w, size[0]);
            }
        } else {
            int32_t m = 0;
            if (Edr_Style_getMeasure(s, PropId_marginLeft, &m, c->box->availableWidth))
                w += m;
            m = 0;
            if (Edr_Style_getMeasure(s, PropId_marginRight, &m, c->box->availableWidth))
                w += m;
        }
        Layout_advanceY(c, w);
        Layout_advanceX(c, w);
    }
    if (breaks)
        Layout_newLine(c);
    return err;
}

int measureGroupItem(LayoutCursor *c, Edr_Node *node, Edr_Style *s, int fixedWidth, bool floating, int *ended)
{
    if (Edr_Style_equals(s, PropId_lineBreak, KwId_lineBreak)) {
        resetRunAndLine(c);
        return Res_ok;
    }
    uint32_t d = Edr_Style_get(s, PropId_display, nullptr);
    switch (d) {
    case KwId_table:
        return Edr_Measure_table(c, node, s);
    case KwId_inline:
        return Edr_Measure_group(c, node, s, fixedWidth, ended);
    case KwId_block: case KwId_compact: case KwId_listItem: case KwId_runIn: case KwId_markedBlock:
        return measureBlock(c, node, s, fixedWidth, floating, ended);
    case KwId_replacedBox: case KwId_frameBox:
        return measureSizedBox(c, node, s, d, fixedWidth, floating, ended);
    case KwId_controlBox:
        return Edr_Measure_control(c, node, s);
    default:
        return Res_ok;
    }
}

void postStackEvent(Edr_Doc *doc)
{
    EngineContext *context = doc ? doc->app : nullptr;
    if (!context || !context->eventProc)
        return;
    EventProcCodeMsg m{35, doc, nullptr, 0};
    (void)EventProc_postCode(context->eventProc, &m);
}

} // namespace

int Edr_Measure_group(LayoutCursor *c, Edr_Node *group, Edr_Style *style, int fixedWidth, int *endedWithSpace)
{
    Edr_Doc *doc = c->document;
    if (Edr_Style_stackLeft(doc) <= Edr_Measure_stackMargin) {
        postStackEvent(doc);
        return Res_stackExhausted;
    }
    if (doc && doc->app)
        Task_yield(doc->app);
    LayoutBox *box = c->box;
    int32_t savedWidth = box->availableWidth;
    int32_t w = 0;
    if (Edr_Style_getLength(style, PropId_width, &w) && w > 0) {
        if (Edr_Style_equals(style, PropId_overflow, KwId_visible)) {
            if (!Edr_Style_equals(style, PropId_display, KwId_tableCell))
                raiseBoth(c, w);
            box->availableWidth = w;
            fixedWidth = 1;
        } else {
            raiseBoth(c, w);
            return Res_ok;
        }
    }
    Edr_StyleLookup *walker = nullptr;
    int err = Edr_StyleLookup_create(doc, group, style, box->styleContext, &walker);
    for (int first = 1; !err; first = 0) {
        Edr_LookupItem item{};
        int brk = 0, end = 0;
        if ((err = Edr_StyleLookup_next(walker, &item, &brk, &end)) != 0 || !item.node)
            break;
        Edr_Style *s = item.style;
        c->whiteSpace = Edr_Style_get(s, PropId_whiteSpace, nullptr);
        bool floating = isFloat(s);
        switch (typeOf(item.node)) {
        case Edr_NodeType_group:
            err = measureGroupItem(c, item.node, s, fixedWidth, floating, endedWithSpace);
            break;
        case Edr_NodeType_text:
            err = Edr_Measure_text(c, item.node, s, fixedWidth, brk, first, end, endedWithSpace);
            break;
        case Edr_NodeType_image:
        case Edr_NodeType_picture:
            err = Layout_measureImage(c, s, item.node);
            break;
        case Edr_NodeType_subdoc: {
            uint32_t d = Edr_Style_get(s, PropId_display, nullptr);
            int32_t add = 0;
            if (d == KwId_frameBox) {
                int32_t size[2] = {0, 0};
                Layout_subdocSize(item.node, size);
                add = size[0];
            } else if (d == KwId_replacedBox && !Edr_Style_getLength(s, PropId_width, &add)) {
                add = 0;
            }
            Layout_advanceY(c, add);
            Layout_advanceX(c, add);
            break;
        }
        default:
            break;
        }
    }
    if (!err && fixedWidth && Edr_Style_equals(style, PropId_whiteSpace, KwId_nowrap))
        c->narrowest = std::max(c->narrowest, box->availableWidth);
    Edr_StyleLookup_free(walker);
    box->availableWidth = savedWidth;
    return err;
}

int Edr_Measure_text(LayoutCursor *c, Edr_Node *node, Edr_Style *style, int fixedWidth, int breakAfter,
                     int lineStart, int trim, int *endedWithSpace)
{
    const Edr_TextNode *t = Edr_Node_textPayload(node);
    if (!t || !t->chars || !t->length)
        return Res_ok;
    const char16_t *chars = t->chars;
    uint32_t start = 0, end = t->length;
    uint32_t mode = c->whiteSpace;
    bool collapse = mode == KwId_normal || mode == KwId_nowrap;
    if (collapse && (lineStart || *endedWithSpace)) {
        while (start < end && isWhite(chars[start]))
            start++;
        if (start == end)
            return Res_ok;
    }
    LayoutFont font{};
    if (int err = Layout_fontForStyle(c->box, style, &font))
        return err;
    *endedWithSpace = isWhite(chars[end - 1]) ? 1 : 0;
    if (collapse && trim)
        while (end > start && isWhite(chars[end - 1]))
            end--;
    int32_t whole = 0;
    if (int err = measureChars(font, chars + start, end - start, &whole))
        return err;
    Layout_advanceY(c, whole);
    if (mode == KwId_nowrap && !fixedWidth) {
        Layout_advanceX(c, whole);
    } else {
        uint32_t state = 0;
        for (uint32_t i = start; i < end;) {
            uint32_t runStart = i, runEnd;
            if (collapse) {
                while (i < end && !isWhite(chars[i]))
                    i++;
                runEnd = i;
                while (i < end && isWhite(chars[i]))
                    i++;
            } else if (mode == KwId_pre) {
                while (i < end && chars[i] != u'\n')
                    i++;
                runEnd = i;
                if (i < end)
                    i++;
            } else {
                uint32_t n = Layout_nextBreak(chars + i, end - i, &state);
                i += n ? n : end - i;
                runEnd = i;
            }
            if (int err = measureRun(c, font, chars + runStart, runEnd - runStart))
                return err;
            if (i < end || breakAfter)
                Layout_newLine(c);
        }
    }
    int32_t cap = 0x7FFFFFFF;
    if (!Edr_Style_getLength(style, PropId_width, &cap))
        cap = 0x7FFFFFFF;
    c->widest = std::max(std::min(c->widest, cap), c->narrowest);
    return Res_ok;
}

int Edr_Measure_table(LayoutCursor *c, Edr_Node *node, Edr_Style *style)
{
    if (int err = Layout_layoutTable(c->box, node, style))
        return err;
    const LayoutExtra *x = static_cast<const LayoutExtra *>(Edr_Node_getExtra(node));
    int32_t minW = x ? x->minWidth : 0, maxW = x ? x->maxWidth : 0, fixed = x ? x->fixedWidth : 0;
    bool floating = isFloat(style);
    if (floating)
        Layout_newLine(c);
    else
        resetRunAndLine(c);
    Layout_advanceX(c, std::max(minW, fixed));
    Layout_advanceY(c, std::max(maxW, fixed));
    if (floating)
        Layout_newLine(c);
    else
        resetRunAndLine(c);
    return Res_ok;
}

int Edr_Measure_control(LayoutCursor *c, Edr_Node *node, Edr_Style *style)
{
    Edr_Group *g = style::groupOf(node);
    if (!g || Edr_Node_subtype(node) != Edr_Subtype_formControl || Edr_Web_controlKind(nullptr, g->subtypeValue) == 128)
        return Res_ok;
    int32_t h = 0, w = 0, width = 0;
    if (!Edr_Style_getLength(style, PropId_height, &h))
        h = 0;
    if (!Edr_Style_getLength(style, PropId_width, &w))
        w = 0;
    EngineContext *context = c->document ? c->document->app : nullptr;
    if (int err = Layout_measureControl(context, node, style, h, w, &width))
        return err;
    if (Edr_Style_equals(style, PropId_display, KwId_controlBox)) {
        int32_t m = 0;
        if (Edr_Style_getMeasure(style, PropId_marginLeft, &m, c->box->availableWidth))
            width += m;
        m = 0;
        if (Edr_Style_getMeasure(style, PropId_marginRight, &m, c->box->availableWidth))
            width += m;
    }
    Layout_newLine(c);
    Layout_advanceX(c, width);
    Layout_advanceY(c, width);
    Layout_newLine(c);
    return Res_ok;
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
        if (d == KwId_block || d == KwId_compact || d == KwId_listItem || d == KwId_runIn || d == KwId_table ||
            d == KwId_tableCell || d == KwId_tableRow || d == KwId_columnBlock || d == KwId_framesetRows ||
            d == KwId_framesetColumns) {
            if (int err = Edr_Node_addRefLocked(doc, n))
                return err;
            *out = n;
            return Res_ok;
        }
    }
    return Res_ok;
}
