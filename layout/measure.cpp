// The intrinsic widths of a group's content: the narrowest width it can
// take and the width it takes without wrapping, measured into a
// LayoutCursor over the inline content walk (document/style/lookup.h);
// table and float layout use them. The measurement recurses into blocks,
// so every call checks the stack left first and refuses with
// Res_stackExhausted (after posting code 35, layout failed, to the
// engine's event processor) rather than overrun it.
#include "layout/measure.h"

#include <algorithm>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/propids.h"
#include "core/task/eventproc.h"
#include "core/task/task.h"
#include "document/edr/doc.h"
#include "document/edr/docmsg.h"
#include "document/edr/node.h"
#include "document/edr/webops.h"
#include "document/style/lookup.h"
#include "document/style/style.h"
#include "document/style/styleread.h"
#include "fonts/textrun.h"
#include "layout/layout.h"

namespace {

bool Measure_isWhite(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == 0x0B || c == 0x0C || c == u'\r';
}

uint32_t Measure_typeOf(const Edr_Node *n)
{
    return n ? n->flags & Edr_Node_typeMask : 0;
}

void Measure_resetRunAndLine(LayoutCursor *c)
{
    c->run = 0;
    c->line = 0;
}

void Measure_raiseBoth(LayoutCursor *c, int32_t w)
{
    c->narrowest = std::max(c->narrowest, w + c->indentation);
    c->widest = std::max(c->widest, w + c->indentation);
}

bool Measure_isFloat(const Edr_Style *s)
{
    return Edr_Style_equalsEither(s, PropId_float, KwId_left, KwId_right);
}

// The width of chars[0..n) in the font (right - left + 1), 0 for none.
int Measure_chars(const LayoutFont &font, const char16_t *chars, uint32_t n, int32_t *width)
{
    *width = 0;
    if (!n)
        return Res_ok;
    Rect r{};
    if (int err = TextRun_measureFit(font.fonts, font.size, font.flags, nullptr, chars, n,
                                     font.charSpacing, font.wordSpacing, 0x7FFFFFFF, nullptr, &r))
        return err;
    *width = r.x1 - r.x0 + 1;
    return Res_ok;
}

int Measure_run(LayoutCursor *c, const LayoutFont &font, const char16_t *chars, uint32_t n)
{
    int32_t w = 0;
    if (int err = Measure_chars(font, chars, n, &w))
        return err;
    Layout_advanceX(c, w);
    return Res_ok;
}

int Measure_block(LayoutCursor *c, Edr_Node *node, Edr_Style *s, int fixedWidth, bool floating,
                  int *ended)
{
    if (Edr_Style_getProp74(s) == KwId_absolute)
        return Res_ok;
    if (floating && Edr_Style_get(s, PropId_clear, nullptr) == KwId_none)
        Layout_newLine(c);
    else
        Measure_resetRunAndLine(c);
    Edr_Edges m{}, b{}, p{};
    Edr_Style_getEdges(s, &m, &b, &p, c->box->availableWidth);
    int32_t edges = m.left + m.right + b.left + b.right + p.left + p.right;
    c->indentation += edges;
    int err = Edr_Measure_group(c, node, s, fixedWidth, ended);
    c->indentation -= edges;
    if (floating)
        Layout_newLine(c);
    else
        Measure_resetRunAndLine(c);
    return err;
}

int Measure_sizedBox(LayoutCursor *c, Edr_Node *node, Edr_Style *s, uint32_t display,
                     int fixedWidth, bool floating, int *ended)
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
            if (Measure_typeOf(child) == Edr_NodeType_subdoc) {
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

int Measure_groupItem(LayoutCursor *c, Edr_Node *node, Edr_Style *s, int fixedWidth, bool floating,
                      int *ended)
{
    if (Edr_Style_equals(s, PropId_lineBreak, KwId_lineBreak)) {
        Measure_resetRunAndLine(c);
        return Res_ok;
    }
    uint32_t d = Edr_Style_get(s, PropId_display, nullptr);
    switch (d) {
    case KwId_table: return Edr_Measure_table(c, node, s);
    case KwId_inline: return Edr_Measure_group(c, node, s, fixedWidth, ended);
    case KwId_block:
    case KwId_compact:
    case KwId_listItem:
    case KwId_runIn:
    case KwId_markedBlock: return Measure_block(c, node, s, fixedWidth, floating, ended);
    case KwId_replacedBox:
    case KwId_frameBox: return Measure_sizedBox(c, node, s, d, fixedWidth, floating, ended);
    case KwId_controlBox: return Edr_Measure_control(c, node, s);
    default: return Res_ok;
    }
}

void Measure_postStackEvent(Edr_Doc *doc)
{
    EngineContext *context = doc ? doc->app : nullptr;
    if (!context || !context->eventProc)
        return;
    EventProcCodeMsg m{DocMsg_codeStackExhausted, doc, nullptr, 0};
    // A notice that cannot be posted is lost; what it reports is done either way.
    (void)EventProc_postCode(context->eventProc, &m);
}

} // namespace

int Edr_Measure_group(LayoutCursor *c, Edr_Node *group, Edr_Style *style, int fixedWidth,
                      int *endedWithSpace)
{
    Edr_Doc *doc = c->document;
    if (Edr_Style_stackLeft(doc) <= Edr_Measure_stackMargin) {
        Measure_postStackEvent(doc);
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
                Measure_raiseBoth(c, w);
            box->availableWidth = w;
            fixedWidth = 1;
        } else {
            Measure_raiseBoth(c, w);
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
        bool floating = Measure_isFloat(s);
        switch (Measure_typeOf(item.node)) {
        case Edr_NodeType_group:
            err = Measure_groupItem(c, item.node, s, fixedWidth, floating, endedWithSpace);
            break;
        case Edr_NodeType_text:
            err = Edr_Measure_text(c, item.node, s, fixedWidth, brk, first, end, endedWithSpace);
            break;
        case Edr_NodeType_image:
        case Edr_NodeType_picture: err = Layout_measureImage(c, s, item.node); break;
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
        default: break;
        }
    }
    if (!err && fixedWidth && Edr_Style_equals(style, PropId_whiteSpace, KwId_nowrap))
        c->narrowest = std::max(c->narrowest, box->availableWidth);
    Edr_StyleLookup_free(walker);
    box->availableWidth = savedWidth;
    return err;
}

int Edr_Measure_text(LayoutCursor *c, Edr_Node *node, Edr_Style *style, int fixedWidth,
                     int breakAfter, int lineStart, int trim, int *endedWithSpace)
{
    const Edr_TextNode *t = Edr_Node_textPayload(node);
    if (!t || !t->chars || !t->length)
        return Res_ok;
    const char16_t *chars = t->chars;
    uint32_t start = 0, end = t->length;
    uint32_t mode = c->whiteSpace;
    bool collapse = mode == KwId_normal || mode == KwId_nowrap;
    if (collapse && (lineStart || *endedWithSpace)) {
        while (start < end && Measure_isWhite(chars[start]))
            start++;
        if (start == end)
            return Res_ok;
    }
    LayoutFont font{};
    if (int err = Layout_fontForStyle(c->box, style, &font))
        return err;
    *endedWithSpace = Measure_isWhite(chars[end - 1]) ? 1 : 0;
    if (collapse && trim)
        while (end > start && Measure_isWhite(chars[end - 1]))
            end--;
    int32_t whole = 0;
    if (int err = Measure_chars(font, chars + start, end - start, &whole))
        return err;
    Layout_advanceY(c, whole);
    if (mode == KwId_nowrap && !fixedWidth) {
        Layout_advanceX(c, whole);
    } else {
        uint32_t state = 0;
        for (uint32_t i = start; i < end;) {
            uint32_t runStart = i, runEnd;
            if (collapse) {
                while (i < end && !Measure_isWhite(chars[i]))
                    i++;
                runEnd = i;
                while (i < end && Measure_isWhite(chars[i]))
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
            if (int err = Measure_run(c, font, chars + runStart, runEnd - runStart))
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
    bool floating = Measure_isFloat(style);
    if (floating)
        Layout_newLine(c);
    else
        Measure_resetRunAndLine(c);
    Layout_advanceX(c, std::max(minW, fixed));
    Layout_advanceY(c, std::max(maxW, fixed));
    if (floating)
        Layout_newLine(c);
    else
        Measure_resetRunAndLine(c);
    return Res_ok;
}

int Edr_Measure_control(LayoutCursor *c, Edr_Node *node, Edr_Style *style)
{
    Edr_Group *g = Measure_typeOf(node) == Edr_NodeType_group
                       ? static_cast<Edr_Group *>(Edr_Node_payload(node))
                       : nullptr;
    if (!g || Edr_Node_subtype(node) != Edr_Subtype_formControl ||
        Edr_Web_controlKind(nullptr, g->subtypeValue) == 128)
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
