// Inline objects: the text format of a style and its metrics, text items,
// vertical alignment, form controls in a line and outline items.
#include <algorithm>
#include <cstring>

#include "core/container/intern.h"
#include "layout/layerlist.h"
#include "core/container/obj.h"
#include "core/context/context.h"
#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/propids.h"
#include "core/task/lock.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/style/style.h"
#include "document/style/styleread.h"
#include "fonts/fontlist.h"
#include "graphics/boxitem.h"
#include "fonts/textitem.h"
#include "document/edr/webops.h"
#include "layout/block.h"
#include "layout/boxiter.h"
#include "layout/floatarea.h"
#include "layout/layout.h"
#include "layout/line.h"
#include "layout/listmarker.h"

namespace {

// Engine style properties read here.
constexpr uint32_t kPropTextMark = 95;    // a marked run: double or no underline
constexpr uint32_t kPropHiddenText = 137; // hidden (69) text
constexpr uint32_t kPropTextFlag = 138;   // 195 sets TextFormat_flag138
constexpr uint32_t kVariantEngine = 194;
constexpr uint32_t kTextFlagValue = 195;
constexpr uint32_t kColourProp = 29;
constexpr int32_t kDefaultSize = 0x100000; // 16.0 points
constexpr int32_t kTinySize = 0x80000;     // 8.0 points
constexpr int32_t kWidgetTextSize = 0x90000;
constexpr int32_t kWidgetRetries = 50;

uint32_t weightStep(uint32_t keyword)
{
    if (keyword >= KwId_weight100 && keyword <= KwId_weight900)
        return keyword - KwId_weight100;
    if (keyword == KwId_normal)
        return 3;
    if (keyword == KwId_bold)
        return 6;
    return 0;
}

int32_t saturate(int64_t v)
{
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

LayoutCache *cacheOf(const LayoutBox *box)
{
    return box && box->document ? static_cast<LayoutCache *>(Edr_Page_listHead2(box->document))
                                : nullptr;
}

// The largest size text keeps in the reflowing modes: the application
// record's size word (8.0 points unless changed); 0 when there is none.
int32_t reflowLimit(const LayoutBox *box)
{
    EngineContext *app = box ? box->context : nullptr;
    if (!app && box && box->document)
        app = box->document->app;
    return app && app->edrApp ? int32_t(app->edrApp->reflowLimit) : 0;
}

uint32_t colourOf(const Edr_Style *style)
{
    uint8_t c[4] = {0, 0, 0, 0xFF};
    Edr_Style_getWithFallback(style, kColourProp, c, 0);
    return uint32_t(c[0]) | uint32_t(c[1]) << 8 | uint32_t(c[2]) << 16 | uint32_t(c[3]) << 24;
}

} // namespace

// ------------------------------------------------------------- text format

int32_t Layout_log2Fixed(int32_t value)
{
    if (value <= 0x10000)
        return 0;
    int64_t n = (int64_t(value) + 0x8000) >> 16;
    int32_t k = 0;
    while (k < 15 && (int64_t(1) << (k + 1)) <= n)
        k++;
    int64_t p = int64_t(1) << k;
    return saturate((int64_t(k) << 16) + ((n - p) << 16) / p);
}

int32_t Layout_fontSizeScale(int32_t size, uint32_t mode)
{
    int32_t factor = mode == 1   ? Layout_scaleMode1
                     : mode == 3 ? Layout_scaleMode3
                                 : Layout_scaleSubSuper;
    return saturate(int64_t(size) * factor / 65536);
}

int Layout_textFormat(LayoutBox *box, Edr_Style *style, TextFormat *out)
{
    *out = TextFormat{};
    out->decoration = TextDecor_initial;
    out->size = kDefaultSize;
    // One decoration line, as thick as the font's own decoration: the
    // run reads word 1 as a thickness in document units, where 1 would be
    // far too thin to show.
    out->styleWords[0] = 1;
    out->styleWords[1] = 0;
    if (!style)
        return Res_ok;
    out->flags = weightStep(Edr_Style_get(style, PropId_fontWeight, nullptr));
    uint32_t fontStyle = Edr_Style_get(style, PropId_fontStyle, nullptr);
    if (fontStyle == KwId_italic)
        out->flags |= TextFormat_italic;
    else if (fontStyle == KwId_oblique)
        out->flags |= TextFormat_oblique;
    uint32_t variant = Edr_Style_get(style, PropId_fontVariant, nullptr);
    if (variant == KwId_smallCaps)
        out->flags |= TextFormat_smallCaps;
    else if (variant == kVariantEngine)
        out->flags |= TextFormat_variant194;
    if (Edr_Style_get(style, kPropTextFlag, nullptr) == kTextFlagValue)
        out->flags |= TextFormat_flag138;

    uint32_t ws = Edr_Style_get(style, PropId_whiteSpace, nullptr);
    if (ws == KwId_pre || ws == KwId_preWrap)
        out->decoration &= ~uint32_t(TextDecor_collapse);
    switch (Edr_Style_get(style, PropId_textDecoration, nullptr)) {
    case KwId_underline: out->decoration |= TextDecor_underline; break;
    case KwId_overline: out->decoration |= TextDecor_overline; break;
    case KwId_lineThrough: out->decoration |= TextDecor_lineThrough; break;
    default: break;
    }
    if (Edr_Style_get(style, kPropHiddenText, nullptr) == KwId_hidden)
        out->decoration |= TextDecor_hidden;
    if (Edr_Style_get(style, PropId_direction, nullptr) == KwId_rtl)
        out->decoration |= TextDecor_rightToLeft;
    uint32_t mark = Edr_Style_get(style, kPropTextMark, nullptr);
    if (mark == 60 || mark == 129 || mark == 162 || mark == 167 || mark == 168)
        out->decoration |= TextDecor_underline;
    if (mark == 60 || mark == 168)
        out->styleWords[0] = 2, out->styleWords[1] = 0;
    else if (mark == 162)
        out->styleWords[0] = 0, out->styleWords[1] = 0;

    int32_t length = 0;
    if (Edr_Style_getLength(style, PropId_fontSize, &length)) {
        int64_t points = int64_t(length) * 72;
        out->size = points < 0x10000 ? kTinySize : saturate(points);
    }
    int32_t limit = box && box->flowMode ? reflowLimit(box) : 0;
    if (limit > 0 && out->size > limit)
        out->size = saturate(int64_t(limit) +
                             Layout_log2Fixed(saturate(int64_t(out->size) - limit + 0x10000)));
    uint32_t va = Edr_Style_get(style, PropId_verticalAlign, nullptr);
    if (va == KwId_sub || va == KwId_super)
        out->size = Layout_fontSizeScale(out->size, 0);

    int32_t spacing = 0;
    if (Edr_Style_getLength(style, PropId_letterSpacing, &spacing))
        out->letterSpacing = spacing;
    spacing = 0;
    if (Edr_Style_getLength(style, PropId_wordSpacing, &spacing))
        out->wordSpacing = spacing;

    LayoutCache *cache = cacheOf(box);
    if (!cache)
        return Res_ok;
    EngineContext *app = box->context ? box->context : box->document->app;
    const char16_t *family =
        reinterpret_cast<const char16_t *>(Edr_Style_getString(style, PropId_fontFamily));
    int err = FontCache_get(app, &cache->fonts, family, out->flags, &out->font);
    if (err && err != Res_noMemory && family) {
        // A family no font answers to: the default family, so that the text
        // is still laid out.
        err = FontCache_get(app, &cache->fonts, nullptr, out->flags, &out->font);
    }
    if (err && err != Res_noMemory) {
        out->font = nullptr; // the box font measures and draws it
        err = Res_ok;
    }
    return err;
}

void Layout_formatAscent(const TextFormat *format, int32_t *ascent, int32_t *descent)
{
    int32_t a = BoxFont_ascent, d = BoxFont_descent;
    if (FontList *list = format->font) {
        Lock_acquire(&list->lock);
        if (list->fontCount) {
            a = list->fonts[0].ascent;
            d = list->fonts[0].descent;
        }
        Lock_release(&list->lock);
    }
    *ascent = saturate(int64_t(a) * format->size / 0x120000);
    *descent = saturate(-int64_t(d) * format->size / 0x120000);
}

int Layout_textAscent(LayoutBox *box, Edr_Style *style, int32_t *ascent, int32_t *descent)
{
    *ascent = *descent = 0;
    TextFormat f{};
    int err = Layout_textFormat(box, style, &f);
    if (err)
        return err;
    Layout_formatAscent(&f, ascent, descent);
    return Res_ok;
}

// -------------------------------------------------------------- text items

namespace {

// The edges {margin, border, padding} summed per side of a style that
// makes an inline element: display inline, position static, no float.
bool inlineElement(const Edr_Style *style)
{
    return style && Edr_Style_get(style, PropId_display, nullptr) == KwId_inline &&
           Edr_Style_getProp74(style) == KwId_static &&
           !Edr_Style_equalsEither(style, PropId_float, KwId_left, KwId_right);
}

void inlineInsets(const Edr_Style *style, int32_t reference, int32_t *left, int32_t *right)
{
    int32_t m[2] = {0, 0}, b[2] = {0, 0}, p[2] = {0, 0};
    Edr_Style_getHorizontalEdges(style, m, b, p, reference);
    // Pairs are {side 15 (right), side 17 (left)}.
    *right = saturate(int64_t(m[0]) + b[0] + p[0]);
    *left = saturate(int64_t(m[1]) + b[1] + p[1]);
}

// Whether node is the first (last) child of its parent group.
bool firstChild(const Edr_Node *node)
{
    const Edr_Node *parent = node ? Edr_Node_parent(node) : nullptr;
    return parent && Edr_Node_firstChild(parent) == node;
}

bool lastChild(const Edr_Node *node)
{
    return node && !Edr_Node_nextSibling(node);
}

} // namespace

int Layout_makeTextItem(LayoutBox *box, LineState *state, const ObjClass *cls,
                        const IterEntry *entry, const TextFormat *format, int transformed,
                        const char16_t *chars, uint32_t count, int32_t advance,
                        const int32_t extent[2])
{
    if (!cls)
        cls = &TextItem_class;
    Edr_Style *style = entry->style;
    const TextFormat *shared = format;
    uint32_t flags = 0;
    if (LayoutCache *cache = cacheOf(box)) {
        InternNode *node = nullptr;
        if (InternList_acquire(&cache->textStyles, format, sizeof(TextFormat),
                               Layout_textFormatEqual, &node))
            return Res_noMemory;
        shared = static_cast<const TextFormat *>(node->record);
        flags |= Obj_formatInterned;
    }
    ObjHeader *item = Obj_create(cls, 0);
    if (!item)
        return Res_noMemory;
    if (transformed) {
        char16_t *copy =
            static_cast<char16_t *>(Mem_malloc((size_t(count) + 1) * sizeof(char16_t)));
        if (!copy) {
            Obj_destroy(item);
            return Res_noMemory;
        }
        std::memcpy(copy, chars, count * sizeof(char16_t));
        copy[count] = 0;
        item->block = copy;
        chars = copy;
        flags |= Obj_ownsData;
    }
    bool hidden = Edr_Style_testProp87(style, 1, box->hiddenItems ? 1 : 0) != 0;
    if (hidden)
        flags |= Obj_hidden;
    item->flags |= flags;
    item->node = entry->node;
    TextItemPart *part = static_cast<TextItemPart *>(Obj_part(item));
    part->base.fonts = shared->font;
    part->base.size = shared->size;
    part->base.styleFlags = shared->decoration;
    part->base.style = shared->styleWords;
    part->base.charSpacing = shared->letterSpacing;
    part->base.wordSpacing = shared->wordSpacing;
    part->base.chars = chars;
    part->base.start = 0;
    part->base.count = count;
    part->colour = colourOf(style);

    int32_t y0 = extent[0], y1 = extent[1];
    int32_t fontSize = 0;
    if (!Edr_Style_getLength(style, PropId_fontSize, &fontSize))
        fontSize = kDefaultSize / 72;
    Layout_raise(&box->contentHeight, fontSize);
    int32_t lineHeight = 0;
    if (Edr_Style_getProp47(style, fontSize, &lineHeight) && lineHeight > 0) {
        // The item takes the line height, centred on its own extent.
        int64_t half = (int64_t(lineHeight) - (int64_t(y1) - y0)) / 2;
        y0 = saturate(y0 - half);
        y1 = saturate(int64_t(y0) + lineHeight);
    }
    part->baseline = saturate(-int64_t(y0));
    Rect r = {0, y0, std::max(advance, 0), y1};
    Obj_setBox(item, &r);
    if (style != state->blockStyle) {
        // Text of an inline element keeps the element's vertical alignment.
        int32_t shift = 0;
        Layout_verticalAlign(box, style, item, &shift, 0, 0);
        if (shift) {
            r.y0 = saturate(int64_t(r.y0) + shift);
            r.y1 = saturate(int64_t(r.y1) + shift);
            Obj_setBox(item, &r);
        }
    }

    // The insets of the inline element the text starts or ends.
    int32_t lead = 0, trail = 0;
    bool starts = false, ends = false;
    bool element = inlineElement(style);
    if (element) {
        int32_t left = 0, right = 0;
        inlineInsets(style, box->availableWidth, &left, &right);
        bool rtl = box->block.direction == KwId_rtl;
        starts = entry->resume == 0 && firstChild(entry->node);
        const char16_t *t = nullptr;
        uint32_t at = 0, rest = 0;
        Layout_nodeText(entry, &t, &at, &rest);
        ends = lastChild(entry->node) && (!t || rest <= count);
        lead = starts ? (rtl ? right : left) : 0;
        trail = ends ? (rtl ? left : right) : 0;
    }
    int32_t *lineLeft = &box->block.lineLeft, *lineRight = &box->block.lineRight;
    uint32_t direction = state->direction ? state->direction : box->block.direction;
    Layout_placeAtLimit(item, direction, lineLeft, lineRight, lead, trail);
    LayerList *list = state->reverse ? state->reverse : state->line;
    if (element) {
        // The element's border and background behind the text, with the
        // start and end edges only where the text starts or ends it.
        Rect text = Obj_box(item);
        Edr_Edges m{}, b{}, p{};
        Edr_Style_getEdges(style, &m, &b, &p, box->availableWidth);
        bool rtl = box->block.direction == KwId_rtl;
        bool leftSide = rtl ? ends : starts, rightSide = rtl ? starts : ends;
        const int32_t borders[4] = {b.top, b.bottom, leftSide ? b.left : 0,
                                    rightSide ? b.right : 0};
        const int32_t paddings[4] = {p.top, p.bottom, leftSide ? p.left : 0,
                                     rightSide ? p.right : 0};
        ObjHeader *back = nullptr;
        Rect extentRect{};
        int err = Layout_makeBoxItem(box, entry->node, &back, &extentRect, style, &text, borders,
                                     paddings, 0, 0);
        if (err) {
            Obj_destroy(item);
            return err;
        }
        if (back) {
            if (hidden)
                back->flags |= Obj_hidden;
            LayerList_append(list, back);
        }
    }
    LayerList_append(list, item);
    return Res_ok;
}

// -------------------------------------------------------- vertical alignment

int Layout_parentTextMetrics(LayoutBox *box, Edr_Style *style, int32_t *ascent, int32_t *descent)
{
    return Layout_textAscent(box, style, ascent, descent);
}

void Layout_verticalAlign(LayoutBox *box, Edr_Style *style, ObjHeader *item, int32_t *shift,
                          int32_t lineAscent, int32_t lineDescent)
{
    (void)lineAscent;
    (void)lineDescent;
    item->flags &= ~uint32_t(Obj_alignTop | Obj_alignBottom);
    *shift = 0;
    if (!style || (item->node && Layout_isBlockLevel(style, item->node)))
        return;
    bool text = Obj_itemKind(item) == Obj_itemText;
    Rect r = Obj_box(item);
    Edr_StylePayload p{};
    uint32_t type = Edr_Style_get(style, PropId_verticalAlign, &p);
    switch (type) {
    case KwId_sub:
    case KwId_super: {
        if (!text) {
            item->flags |= type == KwId_sub ? Obj_alignBottom : Obj_alignTop;
            return;
        }
        // A third of the parent's text height below or above the baseline.
        int32_t a = 0, d = 0;
        if (Layout_parentTextMetrics(box, style, &a, &d) == Res_ok)
            *shift = type == KwId_sub ? -(a / 3) : a / 3;
        return;
    }
    case KwId_baseline: return;
    case KwId_bottom: item->flags |= Obj_alignBottom; return;
    case KwId_top: item->flags |= Obj_alignTop; return;
    default: break;
    }
    if (type == PropType_length) {
        *shift = int32_t(uint32_t(p.word));
        return;
    }
    if (type == PropType_percent) {
        int32_t size = 0, lh = 0;
        Edr_Style_getLength(style, PropId_fontSize, &size);
        if (!Edr_Style_getProp47(style, size, &lh))
            lh = size;
        *shift = saturate(int64_t(lh) * int32_t(uint32_t(p.word)) / (100 * 65536));
        return;
    }
    int32_t a = 0, d = 0;
    if (type != KwId_middle && type != KwId_textBottom && type != KwId_textTop)
        return;
    if (Layout_parentTextMetrics(box, style, &a, &d) != Res_ok)
        return;
    if (type == KwId_middle) // centre between the parent's ascent and descent
        *shift = saturate((int64_t(a) - d) / 2 - (int64_t(r.y1) + r.y0) / 2);
    else if (type == KwId_textBottom)
        *shift = saturate(-int64_t(d) - r.y0);
    else
        *shift = saturate(int64_t(a) - r.y1);
}

// ------------------------------------------------------------ form controls

namespace {

struct WidgetPart {
    Edr_Node *node;
};

void *controlOf(Edr_Node *node)
{
    Edr_Group *g = node ? Edr_Node_group(node) : nullptr;
    return g && Edr_Node_subtype(node) == Edr_Subtype_formControl ? g->subtypeValue : nullptr;
}

int widgetDraw(EngineContext *, ObjHeader *item, const Rect *, const Matrix *matrix,
               const DrawTarget *target, const DrawFlags *, intptr_t)
{
    // The control draws itself through the form layer, in the item's box
    // at the item's place.
    WidgetPart *part = static_cast<WidgetPart *>(Obj_part(item));
    void *control = part ? controlOf(part->node) : nullptr;
    if (!control || (item->flags & Obj_hidden))
        return Res_ok;
    Rect box = Obj_box(item);
    const int32_t rect[4] = {box.x0, box.y0, box.x1, box.y1};
    Matrix m = matrix ? *matrix : *Matrix_identity();
    if (item->matrix)
        Matrix_multiply(&m, item->matrix, &m);
    return Edr_Web_widgetDraw(nullptr, control, rect, item->origin[0], item->origin[1], &m, target);
}

int widgetIdentify(EngineContext *, ObjHeader *, const Rect *, const Matrix *, const DrawTarget *,
                   const DrawFlags *, uint32_t *amount)
{
    if (amount)
        *amount = 0x57494447; // "WIDG"
    return Res_ok;
}

int widgetBounds(EngineContext *, ObjHeader *item, Rect *bounds)
{
    Rect r = Obj_shownBox(item);
    Rect_union(bounds, &r);
    return Res_ok;
}

const ObjItemOps kWidgetOps = {widgetDraw, widgetIdentify, widgetBounds};

int32_t widthOf(const Rect &r)
{
    return saturate(int64_t(r.x1) - r.x0);
}

} // namespace

const ObjClass Layout_widgetItemClass = {&kWidgetOps, int32_t(sizeof(WidgetPart)), nullptr,
                                         Obj_itemPlain};

int Layout_makeWidgetItem(LayoutBox *box, Edr_Node *node, Edr_Style *style, Rect *rect,
                          int32_t height, int32_t *baseline, LayerList *layers, int32_t width,
                          ObjHeader **made)
{
    if (made)
        *made = nullptr;
    *rect = Rect{0, 0, 0, 0};
    void *control = controlOf(node);
    ObjHeader *item = Obj_create(&Layout_widgetItemClass, 0);
    if (!item)
        return Res_noMemory;
    static_cast<WidgetPart *>(Obj_part(item))->node = node;
    item->node = node;
    if (Edr_Style_testProp87(style, 1, box->hiddenItems ? 1 : 0))
        item->flags |= Obj_hidden;
    // The natural size: the widget's own rectangle.
    int32_t natural[4] = {0, 0, 0, 0};
    if (control)
        (void)Edr_Web_widgetGetRect(nullptr, control, natural);
    Obj_setBox(item, reinterpret_cast<const Rect *>(natural));
    int32_t shift = 0;
    Layout_verticalAlign(box, style, item, &shift, 0, 0);
    if (*baseline != Layout_unset)
        shift = *baseline;
    else
        *baseline = shift;

    TextFormat format{};
    int err = Layout_textFormat(box, style, &format);
    int32_t size = 0;
    if (!err && !Edr_Style_getLength(style, PropId_fontSize, &size))
        format.size = kWidgetTextSize;
    if (!err) {
        if (LayoutCache *cache = cacheOf(box)) {
            InternNode *interned = nullptr;
            err = InternList_acquire(&cache->textStyles, &format, sizeof(TextFormat),
                                     Layout_textFormatEqual, &interned);
        }
    }
    Rect r = Obj_box(item);
    if (!err && width > 0 && height > 0) {
        r = Rect{0, -height, width, 0};
    } else if (!err && control) {
        err = Edr_Web_widgetApplyStyle(nullptr, control, &format, colourOf(style),
                                       Edr_Style_get(style, PropId_direction, nullptr) == KwId_rtl);
        int32_t wr[4] = {0, 0, 0, 0};
        if (!err)
            err = Edr_Web_widgetGetRect(nullptr, control, wr);
        r = Rect{wr[0], wr[1], wr[2], wr[3]};
        int32_t pw = 0, ph = 0;
        if (!err && width <= 0 &&
            Edr_Web_widgetPreferredSize(nullptr, control, &pw, &ph) == Res_ok) {
            if (widthOf(r) < pw)
                r.x1 = saturate(int64_t(r.x0) + pw);
            if (int64_t(r.y1) - r.y0 < ph)
                r.y0 = saturate(int64_t(r.y1) - ph);
        }
        if (!err && width > 0)
            r.x1 = saturate(int64_t(r.x0) + width);
        if (!err) {
            const int32_t set[4] = {r.x0, r.y0, r.x1, r.y1};
            err = Edr_Web_widgetSetRect(nullptr, control, set);
        }
    }
    if (err) {
        Obj_destroy(item);
        return err;
    }
    // The item lies in its rectangle, moved by the baseline shift.
    r.y0 = saturate(int64_t(r.y0) + shift);
    r.y1 = saturate(int64_t(r.y1) + shift);
    Obj_setBox(item, &r);
    LayerList_selectKey(layers, 1);
    LayerList_append(layers, item);
    *rect = r;
    if (made)
        *made = item;
    return Res_ok;
}

int Layout_widgetItems(LayoutBox *box, Edr_Node *node, Edr_Style *style, LayerList *layers,
                       Rect *rect, int32_t width, int32_t height)
{
    *rect = Rect{0, 0, 0, 0};
    void *control = controlOf(node);
    uint32_t flags = 0;
    if (control)
        (void)Edr_Web_widgetGetFlags(nullptr, control, &flags);
    if (!(flags & Form_Widget_flagItem)) {
        // Not shown as an item: it only takes a place of at least 1 by 1.
        int32_t wr[4] = {0, 0, 0, 0};
        if (control)
            (void)Edr_Web_widgetGetRect(nullptr, control, wr);
        *rect = Rect{0, -std::max(1, saturate(int64_t(wr[3]) - wr[1])),
                     std::max(1, widthOf({wr[0], wr[1], wr[2], wr[3]})), 0};
        return Layout_nothingFits;
    }
    int32_t baseline = Layout_unset;
    int err = Layout_makeWidgetItem(box, node, style, rect, height, &baseline, layers, width);
    const Rect outer = *rect;
    int32_t wo[4] = {0, 0, 0, 0};
    if (!err && control)
        (void)Edr_Web_widgetGetRect(nullptr, control, wo);
    for (Edr_Node *c = Edr_Node_firstChild(node); !err && c; c = Edr_Node_nextSibling(c)) {
        void *nested = controlOf(c);
        uint32_t cf = 0, kind = 0;
        if (!nested || Edr_Web_widgetGetFlags(nullptr, nested, &cf) != Res_ok)
            continue;
        // Nested controls, and the inner parts of this one (a field's text,
        // a button's caption: parts of no control kind of their own).
        bool part = Edr_Web_controlGetKind(nullptr, nested, &kind) == Res_ok && kind == 0;
        if (!(cf & Form_Widget_flagNest) && !part)
            continue;
        Rect cr{};
        int32_t cb = Layout_unset;
        ObjHeader *made = nullptr;
        err = Layout_makeWidgetItem(box, c, style, &cr, 0, &cb, layers, 0, &made);
        // The control measures its inner parts from its top down, the line's
        // y grows upwards: the part goes as far below the item's top as
        // it lies below the control's.
        int32_t wp[4] = {0, 0, 0, 0};
        if (!err && part && made && Edr_Web_widgetGetRect(nullptr, nested, wp) == Res_ok) {
            cr.y1 = saturate(int64_t(outer.y1) - (int64_t(wp[1]) - wo[1]));
            cr.y0 = saturate(int64_t(outer.y1) - (int64_t(wp[3]) - wo[1]));
            Obj_setBox(made, &cr);
        }
        if (!err)
            Rect_union(rect, &cr);
    }
    return err;
}

namespace {

// Moves every item of the list by (dx, dy) and unites their boxes into
// *bounds.
void placeItems(LayerList *layers, int32_t dx, int32_t dy)
{
    LayerList_translate(layers, dx, dy);
}

int makeAll(LayoutBox *box, IterEntry *entry, Edr_Style *style, LayerList **out, Rect *rect,
            int32_t width)
{
    *out = LayerList_create();
    if (!*out)
        return Res_noMemory;
    int err = Layout_widgetItems(box, entry->node, style, *out, rect, width, 0);
    if (err && err != Layout_nothingFits) {
        LayerList_freeItems(*out);
        LayerList_destroy(*out);
        *out = nullptr;
    }
    return err;
}

void dropAll(LayerList *layers)
{
    if (!layers)
        return;
    LayerList_freeItems(layers);
    LayerList_destroy(layers);
}

} // namespace

int Layout_measureControl(EngineContext *, Edr_Node *node, Edr_Style *, int32_t, int32_t width,
                          int32_t *outWidth)
{
    // A width given by the style holds; otherwise the control is as wide
    // as its own rectangle or its preferred size, whichever is wider.
    *outWidth = 0;
    if (width > 0) {
        *outWidth = width;
        return Res_ok;
    }
    void *control = controlOf(node);
    if (!control)
        return Res_ok;
    int32_t wr[4] = {0, 0, 0, 0};
    (void)Edr_Web_widgetGetRect(nullptr, control, wr);
    int32_t pw = 0, ph = 0;
    if (Edr_Web_widgetPreferredSize(nullptr, control, &pw, &ph) != Res_ok)
        pw = 0;
    *outWidth = std::max(widthOf({wr[0], wr[1], wr[2], wr[3]}), pw);
    return Res_ok;
}

int Layout_placeWidget(LayoutBox *box, LineState *state, BoxIter *iter, IterEntry *entry,
                       Edr_Style *style, int32_t width)
{
    if (!style)
        style = entry->style;
    LayerList *items = nullptr;
    Rect r{};
    int err = makeAll(box, entry, style, &items, &r, width);
    if (err == Layout_nothingFits) {
        dropAll(items);
        return Res_ok;
    }
    if (err)
        return err;
    bool rtl = box->block.direction == KwId_rtl;
    int32_t w = widthOf(r);
    int32_t dx = 0, dy = 0;
    if (!state) {
        // Outside a line: the first free band, at its start and top.
        const Rect *band = nullptr;
        if (box->items)
            FloatArea_first(box->items, &band, rtl ? FloatArea_fromRight : FloatArea_fromLeft);
        int32_t x = band ? (rtl ? band->x1 - w : band->x0) : box->avail[0];
        int32_t y = band ? band->y1 : box->avail[3];
        dx = saturate(int64_t(x) - r.x0);
        dy = saturate(int64_t(y) - r.y1);
        placeItems(items, dx, dy);
        Rect moved = {r.x0 + dx, r.y0 + dy, r.x1 + dx, r.y1 + dy};
        Rect *bounds = reinterpret_cast<Rect *>(box->bounds);
        Rect_union(bounds, &moved);
        err = LayerList_merge(box->layers, items);
        dropAll(items);
        return err;
    }
    int32_t lineWidth = saturate(int64_t(box->block.lineRight) - box->block.lineLeft);
    int32_t avail = box->availableWidth;
    if (w > lineWidth && avail < w) {
        if (entry->rewinds < kWidgetRetries && iter) {
            dropAll(items);
            BoxIter_rewindTo(iter, entry);
            return Layout_lineFull;
        }
        // Shrunk to the line: made again at the line's width, once more
        // when still too wide; the widget's own rectangle comes back after.
        void *control = controlOf(entry->node);
        int32_t saved[4] = {0, 0, 0, 0};
        if (control)
            (void)Edr_Web_widgetGetRect(nullptr, control, saved);
        for (int attempt = 0; attempt < 2 && w > lineWidth; attempt++) {
            dropAll(items);
            items = nullptr;
            if (control) {
                int32_t narrow[4] = {saved[0], saved[1], saturate(int64_t(saved[0]) + lineWidth),
                                     saved[3]};
                (void)Edr_Web_widgetSetRect(nullptr, control, narrow);
            }
            err = makeAll(box, entry, style, &items, &r, lineWidth);
            if (err && err != Layout_nothingFits)
                break;
            err = Res_ok;
            w = widthOf(r);
        }
        if (control)
            (void)Edr_Web_widgetSetRect(nullptr, control, saved);
        if (err)
            return err;
    }
    int32_t x;
    if (rtl) {
        box->block.lineRight = saturate(int64_t(box->block.lineRight) - w);
        x = box->block.lineRight;
    } else {
        x = box->block.lineLeft;
        box->block.lineLeft = saturate(int64_t(box->block.lineLeft) + w);
    }
    dx = saturate(int64_t(x) - r.x0);
    placeItems(items, dx, 0);
    LayerList *target = state->reverse ? state->reverse : state->line;
    err = LayerList_merge(target, items);
    dropAll(items);
    return err;
}

// ------------------------------------------------------------ outline items

int Layout_makeOutlineItem(LayoutBox *box, Edr_Node *node, int32_t x, int32_t y, int32_t width,
                           int32_t height, const int32_t edge[3])
{
    int32_t e = edge[2];
    Rect r = {x, saturate(int64_t(y) - height - 2 * int64_t(e)),
              saturate(int64_t(x) + width + 2 * int64_t(e)), y};
    ObjHeader *item = BoxItem_create(&r);
    if (!item)
        return Res_noMemory;
    item->node = node;
    // Every side takes the edge {style, colour, width}; no fill.
    BoxItemPart *part = BoxItem_part(item);
    for (BoxBorder &b : part->borders)
        b = BoxBorder{uint32_t(edge[0]), uint32_t(edge[1]), e};
    part->background = ViewBackground{0, nullptr};
    Rect_union(reinterpret_cast<Rect *>(box->bounds), &r);
    LayerList_selectKey(box->layers, 1);
    LayerList_append(box->layers, item);
    return Res_ok;
}
