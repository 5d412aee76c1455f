// The block builder: the content of one block laid out line by line into
// the bands of the float area, with the block's margins, borders,
// paddings, indent, line spacing and list marker; nested blocks go back to
// block layout, absolutely placed content and anchored drawings are placed
// at their positions.
#include <algorithm>
#include <cstring>

#include "layout/layerlist.h"
#include "core/container/obj.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/style/proprecords.h"
#include "core/task/task.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/style/style.h"
#include "document/style/styleread.h"
#include "layout/block.h"
#include "layout/columns.h"
#include "layout/boxiter.h"
#include "layout/floatarea.h"
#include "layout/layout.h"
#include "layout/line.h"
#include "layout/listmarker.h"

namespace {

constexpr uint32_t kYieldPasses = 32;
// A line that makes no progress this many times in a row gives up its
// entry, so that a block always ends.
constexpr int kStallLimit = 3;
constexpr int32_t kFlowIndentLimit = 0x192AA;
constexpr int32_t kFlowNegativeLimit = -0xA6AAA;
constexpr int32_t kContentWidthLimit = 0x1FFFFFFF;
// Kinds of anchored objects (engine property 139).
constexpr uint32_t kAnchorKinds[] = {130, 210, 211, 212, 213, 214};
constexpr uint32_t kAnchorBehind = 212;
constexpr uint32_t kAnchorNoWrap = 211;
constexpr uint32_t kAnchorFullBand = 213;
constexpr uint32_t kPlaceAbsolute = 219;
constexpr uint32_t kPlaceFromOrigin1 = 221;
constexpr uint32_t kPlaceFromOrigin2 = 223;
constexpr uint32_t kWrapBoth = 215;
constexpr uint32_t kWrapToRight = 216;
constexpr uint32_t kWrapToLeft = 217;
constexpr uint32_t kPropAnchorKind = PropId_floatRegion;
constexpr uint32_t kPropWrap = 140;
constexpr uint32_t kPropPlaceX = 141;
constexpr uint32_t kPropPlaceY = 142;
constexpr uint32_t kMarkerInside = KwId_inside;

int32_t sat(int64_t v)
{
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

uint32_t keyword(const Edr_Style *style, uint32_t id)
{
    return style ? Edr_Style_get(style, id, nullptr) : 0;
}

bool isWhite(char16_t c)
{
    return c == 9 || c == 10 || c == 11 || c == 12 || c == 13 || c == 32;
}

// Later content never rises above y: the float area's bands start below it.
void keepBelow(FloatArea *area, int32_t y)
{
    int64_t offset = int64_t(area->area.y1) - y;
    if (offset > FloatArea_clearOffset(area) && offset <= INT32_MAX)
        FloatArea_setClearOffset(area, int32_t(offset));
}

// Takes a horizontal strip of the content band from the float area.
int occupyStrip(FloatArea *area, int32_t x0, int32_t x1, int32_t y0, int32_t y1)
{
    if (y0 >= y1)
        return Res_ok;
    Rect r{x0, y0, x1, y1};
    int err = FloatArea_occupy(area, &r);
    if (!err)
        keepBelow(area, y0);
    return err;
}

// Clearing keeps the bands below what was placed already.
void clearKeepingLines(LayoutBox *box, const Edr_Style *style)
{
    if (!box->items)
        return;
    int32_t before = FloatArea_clearOffset(box->items);
    // Layout_clearPosition cannot fail.
    (void)Layout_clearPosition(box, style);
    if (FloatArea_clearOffset(box->items) < before)
        FloatArea_setClearOffset(box->items, before);
}

// The ascent and descent of a line's items (positive distances); items
// aligned to the line's top or bottom do not count.
struct Metrics {
    int32_t ascent;
    int32_t descent;
    bool any;
};

Metrics lineMetrics(const LayerList *line)
{
    Metrics m{0, 0, false};
    for (Layer *layer = line->first; layer; layer = layer->next)
        for (ObjHeader *item = layer->first; item; item = Obj_next(item)) {
            m.any = true;
            if (item->flags & (Obj_alignTop | Obj_alignBottom))
                continue;
            Rect r = Obj_shownBox(item);
            m.ascent = std::max(m.ascent, r.y1);
            m.descent = std::max(m.descent, sat(-int64_t(r.y0)));
        }
    return m;
}

// Moves the items aligned to the line's top or bottom there.
void alignEdgeItems(LayerList *line, int32_t top, int32_t bottom)
{
    for (Layer *layer = line->first; layer; layer = layer->next)
        for (ObjHeader *item = layer->first; item; item = Obj_next(item)) {
            Rect r = Obj_shownBox(item);
            if (item->flags & Obj_alignTop)
                item->origin[1] = sat(int64_t(item->origin[1]) + top - r.y1);
            else if (item->flags & Obj_alignBottom)
                item->origin[1] = sat(int64_t(item->origin[1]) + bottom - r.y0);
        }
}

// The extent of a line's items, empty when it has none.
Rect itemsExtent(const LayerList *list)
{
    Rect r = Rect_emptyBound;
    for (Layer *layer = list->first; layer; layer = layer->next)
        for (ObjHeader *item = layer->first; item; item = Obj_next(item))
            Rect_addItemBounds(&r, item, nullptr, nullptr);
    return r;
}

// The first item of the line, leftmost first.
ObjHeader *leftmostItem(const LayerList *list)
{
    ObjHeader *best = nullptr;
    int32_t x = INT32_MAX;
    for (Layer *layer = list->first; layer; layer = layer->next)
        for (ObjHeader *item = layer->first; item; item = Obj_next(item)) {
            Rect r = Obj_shownBox(item);
            if (!best || r.x0 < x) {
                best = item;
                x = r.x0;
            }
        }
    return best;
}

void moveItem(ObjHeader *item, int32_t dx, int32_t dy)
{
    item->origin[0] = sat(int64_t(item->origin[0]) + dx);
    item->origin[1] = sat(int64_t(item->origin[1]) + dy);
}

void dropItems(LayerList *line)
{
    LayerList_freeItems(line);
    LayerList_clear(line);
}

// The extra space above and below a line of natural height by the line
// spacing rule (or line-height without one).
void spacing(const PropLineSpacing *rule, int32_t natural, bool hasItems, const Edr_Style *style,
             int32_t *above, int32_t *below)
{
    *above = *below = 0;
    if (rule) {
        if (rule->kind == 0) {
            int64_t extra = int64_t(rule->value) - natural;
            *above = sat(extra / 2);
            *below = sat(extra - extra / 2);
        } else if (rule->kind == 1) {
            // The value is a percentage: value / 100 is the 16.16 factor.
            int64_t factor = int64_t(rule->value) / 100;
            *below = sat(int64_t(natural) * factor / 0x10000 - natural);
        } else if (rule->kind == 2) {
            int64_t extra = int64_t(std::max(rule->value, natural)) - natural;
            *above = sat(extra / 2);
            *below = sat(extra - extra / 2);
        }
        return;
    }
    int32_t lineHeight = 0;
    if (hasItems && style &&
        Edr_Style_getProp47(style, Edr_Style_fontSize(const_cast<Edr_Style *>(style)),
                            &lineHeight) &&
        lineHeight > 0) {
        int64_t extra = int64_t(lineHeight) - natural;
        *above = sat(extra / 2);
        *below = sat(extra - extra / 2);
    }
}

const PropLineSpacing *spacingRule(const Edr_Style *style)
{
    Edr_StylePayload p{};
    if (Edr_Style_get(style, PropId_lineSpacing, &p) != PropType_lineSpacing)
        return nullptr;
    return reinterpret_cast<const PropLineSpacing *>(p.word);
}

bool anchorKind(uint32_t kind)
{
    for (uint32_t k : kAnchorKinds)
        if (k == kind)
            return true;
    return false;
}

// The working values of one block build.
struct Build {
    LayoutBox **box;
    Edr_Node *node;
    BoxIter *iter;
    Edr_Style *style;
    LineCounter *lines;
    LayerList *line;
    ObjHeader *marker;
    int32_t markerWidth;
    bool markerInside;
    bool handedMarker; // the marker went to the first nested block
    const PropLineSpacing *rule;
    int32_t contentWidth;
    bool explicitWidth;
    int32_t explicitHeight;
    int32_t indent;
    bool first;
    int32_t contentTop;
    int32_t outerTop;
    Rect blockRect;     // the lines and nested blocks placed on rectBox
    Rect linesRect;     // the extent of the lines' items on rectBox
    LayoutBox *rectBox; // the page the two rectangles were gathered on
    LayoutBox *topBox;  // the page the block's top edge was placed on
    uint32_t whiteSpace;
    uint32_t passes;
    int stalls;
};

LayoutBox *cur(const Build &b)
{
    return *b.box;
}

// Every page has its own coordinates: when layout has gone on to a new page
// the rectangles gathered on the previous one are left behind, so that they
// neither stretch the block nor push later content down on the new page.
void followPage(Build &b)
{
    if (cur(b) == b.rectBox)
        return;
    b.blockRect = Rect_emptyBound;
    b.linesRect = Rect_emptyBound;
    b.rectBox = cur(b);
}

// Whether a block asking for a page break before it needs a new page: the
// flow is paged and something already stands on the current page.
bool blockStartsPage(const Build &b)
{
    LayoutBox *box = cur(b);
    if (!box->section || !box->section->paged || !box->overflow)
        return false;
    Rect placed = Box_boundsRect(box);
    return Rect_isNonEmpty(&placed) || (b.rectBox == box && Rect_isNonEmpty(&b.blockRect));
}

int32_t bandLeft(const Build &b)
{
    LayoutBox *box = cur(b);
    return sat(int64_t(box->items->area.x0) + box->block.contentLeft);
}

int32_t bandRight(const Build &b)
{
    LayoutBox *box = cur(b);
    return sat(int64_t(box->items->area.x1) - box->block.contentRight);
}

// Set-up steps: width, height, indent, edges, content limits and marker.
int setUp(Build &b)
{
    LayoutBox *box = cur(b);
    BlockState &s = box->block;
    if ((s.boxFlags & BoxFlag_width) && s.display == KwId_tableCell)
        box->stateFlags |= BoxState_tableCell;
    clearKeepingLines(box, b.style);
    FloatArea *area = box->items;
    int32_t areaWidth = sat(int64_t(area->area.x1) - area->area.x0);
    int32_t available = sat(int64_t(areaWidth) - s.leftOffset - s.rightOffset);
    if (s.display != KwId_table && s.display != KwId_tableCell) {
        if (s.position == KwId_absolute) {
            b.explicitWidth = true;
            b.contentWidth = available;
        } else if ((s.boxFlags & BoxFlag_width) &&
                   int64_t(s.width) + s.margin[2] + s.margin[3] <= areaWidth) {
            b.explicitWidth = true;
            b.contentWidth =
                sat(int64_t(s.width) - s.padding[2] - s.padding[3] - s.border[2] - s.border[3]);
        }
    }
    int32_t height = 0;
    b.explicitHeight = keyword(b.style, PropId_height) != KwId_auto &&
                               Edr_Style_boxExtent(b.style, &height, 1, available)
                           ? height
                           : -1;
    int32_t indent = 0;
    if (!Edr_Style_getMeasure(b.style, PropId_textIndent, &indent, available))
        indent = 0;
    s.textAlign = Edr_Style_getProp79Or33(b.style);
    if (box->flowMode) {
        int32_t limit = Edr_Style_isFlag4(b.style) ? available / 128 : kFlowIndentLimit;
        if (indent > limit)
            indent = available / 128;
        else if (indent < 0 && indent > kFlowNegativeLimit)
            indent = 0;
    }
    // Dropped edges.
    uint32_t mask = s.edgeMask;
    if (mask == 0) {
        s.boxFlags |= 2;
    } else if (mask == 16) {
        if (box->section && box->section->paged)
            s.margin[0] = 0;
        s.boxFlags |= 2;
    } else {
        static constexpr int kSide[4] = {2, 3, 0, 1}; // bits: left, right, top, bottom
        for (int bit = 0; bit < 4; bit++)
            if (mask & (1u << bit)) {
                int side = kSide[bit];
                s.margin[side] = s.border[side] = s.padding[side] = 0;
            }
        if (mask != 15)
            s.boxFlags |= 2;
    }
    int64_t leftInset = int64_t(s.margin[2]) + s.border[2] + s.padding[2];
    int64_t rightInset = int64_t(s.margin[3]) + s.border[3] + s.padding[3];
    s.contentLeft = sat(int64_t(s.leftOffset) + leftInset);
    if (box->flowMode) {
        int32_t most = available / 100 * 70;
        if (s.contentLeft > most)
            s.contentLeft = s.leftOffset;
        else if (s.contentLeft < -(available / 128) && s.contentLeft > kFlowNegativeLimit)
            s.contentLeft = -(available / 128);
    }
    if (!b.explicitWidth) {
        int64_t width = int64_t(available) - leftInset - rightInset;
        s.contentRight = sat(int64_t(s.rightOffset) + rightInset);
        if (width < 0) {
            width = 0;
            s.contentRight = sat(int64_t(areaWidth) - s.contentLeft - areaWidth / 20 - 1);
        }
        b.contentWidth = sat(width);
    } else {
        int64_t right = int64_t(areaWidth) - s.contentLeft - b.contentWidth;
        if (right < 0) {
            b.contentWidth = sat(int64_t(b.contentWidth) + right);
            right = 0;
        }
        s.contentRight = sat(right);
    }
    if (s.margin[0] < 0)
        s.margin[0] = 0;
    // The list marker.
    if (s.display == KwId_listItem) {
        int err = Layout_makeListMarker(box, b.style, &b.marker);
        if (err)
            return err;
        if (b.marker) {
            Rect r = Obj_box(b.marker);
            b.markerWidth = std::max<int32_t>(Layout_minMarkerWidth, sat(int64_t(r.x1) - r.x0));
            uint32_t position = 0;
            const Prop *own = Edr_Style_getProp(b.style, PropId_listStylePosition);
            if (own)
                position = own->type;
            b.markerInside = (!own && !(box->stateFlags & BoxState_resetsCounter) &&
                              ListCounter_value(box) == 0) ||
                             position == kMarkerInside;
            if (b.markerInside) {
                indent = sat(int64_t(indent) + b.markerWidth);
            } else if (box->flowMode) {
                if (s.direction == KwId_rtl)
                    s.contentRight = sat(int64_t(s.contentRight) + b.markerWidth);
                else
                    s.contentLeft = sat(int64_t(s.contentLeft) + b.markerWidth);
            }
        }
    }
    // A block that a list item starts with shows the item's marker on its
    // first line.
    if (!b.marker && b.lines && b.lines->handedMarker) {
        b.marker = b.lines->handedMarker;
        b.markerWidth = b.lines->handedMarkerWidth;
        b.markerInside = false;
        b.lines->handedMarker = nullptr;
    }
    b.indent = indent;
    b.rule = spacingRule(b.style);
    b.whiteSpace = keyword(b.style, PropId_whiteSpace);
    if (Layout_isBlockLevel(b.style, b.node))
        box->noWrap = b.whiteSpace == KwId_nowrap ? 1 : 0;
    b.line = LayerList_create();
    return b.line ? Res_ok : Res_noMemory;
}

// The first line of the block: its top edge, the space above and the
// anchored objects.
int firstLine(Build &b, int32_t bandTop)
{
    LayoutBox *box = cur(b);
    BlockState &s = box->block;
    int32_t pending = LineCounter_extent(b.lines);
    b.topBox = box;
    b.outerTop = sat(int64_t(bandTop) - std::max(pending, s.margin[0]));
    b.contentTop = sat(int64_t(b.outerTop) - s.border[0] - s.padding[0]);
    if (s.border[0] > 0 || s.padding[0] > 0) {
        int err = occupyStrip(box->items, bandLeft(b), bandRight(b), b.contentTop, bandTop);
        if (err)
            return err;
        LineCounter_newLine(b.lines);
    } else {
        Layout_raise(&b.lines->extent, s.margin[0]);
        b.contentTop = bandTop;
        b.outerTop = bandTop;
    }
    if (box->positioned) {
        int32_t x = sat(int64_t(box->items->area.x0) + s.contentLeft - s.margin[2]);
        int err = box->positioned(box, b.style, b.node, x, b.outerTop);
        if (err)
            return err;
    }
    return Res_ok;
}

// Places the marker on the block's first line.
void placeMarker(Build &b, int32_t baseline, int32_t bandTop, bool hasItems, Rect *lineRect)
{
    LayoutBox *box = cur(b);
    const BlockState &s = box->block;
    Rect r = Obj_shownBox(b.marker);
    int32_t dy = hasItems ? baseline : sat(int64_t(bandTop) - r.y1);
    int32_t x;
    if (s.direction == KwId_rtl) {
        x = b.markerInside ? sat(int64_t(box->avail[2]) - s.contentRight - b.markerWidth)
                           : sat(int64_t(bandRight(b)));
    } else {
        ObjHeader *first = hasItems ? leftmostItem(b.line) : nullptr;
        x = first ? sat(int64_t(Obj_shownBox(first).x0) - b.markerWidth)
                  : (b.markerInside ? bandLeft(b) : sat(int64_t(bandLeft(b)) - b.markerWidth));
    }
    moveItem(b.marker, sat(int64_t(x) - r.x0), dy);
    if (b.markerInside) {
        Rect shown = Obj_shownBox(b.marker);
        Rect_unionNonEmpty(lineRect, &shown);
    }
    LayerList_selectKey(b.line, LayerList_normalKey);
    LayerList_append(b.line, b.marker);
    b.marker = nullptr;
}

// Reads the next entry after a line: absolute-position markers, nested
// blocks and out-of-flow children, table parts and breaks. *ended when the
// content is over.
int afterLine(Build &b, bool *ended)
{
    *ended = false;
    for (;;) {
        BoxIter_commit(b.iter);
        IterEntry e{};
        int err = BoxIter_next(b.iter, &e, cur(b));
        if (err)
            return err;
        if (!e.node) {
            *ended = true;
            return Res_ok;
        }
        LayoutBox *box = cur(b);
        // A drawing in the line starts with such a marker too: one that a
        // full line handed back is the next line's, not an absolute block.
        if (Layout_isOffsetMarker(e.node) && keyword(b.style, kPropAnchorKind) == 0 &&
            keyword(e.style, kPropAnchorKind) != KwId_inline) {
            err = Box_pushState(box);
            if (err)
                return err;
            Box_applyStyle(box, e.style);
            err = Layout_absoluteBlock(b.box, b.iter, e.style, e.node);
            box = cur(b);
            box->block.margin[2] = box->block.margin[3] = 0;
            Box_popState(box);
            if (err)
                return err;
            continue;
        }
        if (Layout_isBlockLevel(e.style, e.node) || Layout_isOutOfFlow(e.style, e.node)) {
            if (Layout_isTablePart(e.style, e.node)) {
                const Rect *r = nullptr;
                err = Layout_breakRegion(b.box, &r, FloatArea_fromLeft, b.lines);
                if (err)
                    return err;
                box = cur(b);
            }
            if (keyword(e.style, PropId_pageBreakBefore) == KwId_always && blockStartsPage(b)) {
                // A block that asks for a new page starts one, unless
                // nothing has been placed on this page yet.
                const Rect *r = nullptr;
                err = Layout_breakRegion(b.box, &r, FloatArea_fromLeft, b.lines);
                if (err)
                    return err;
                box = cur(b);
                followPage(b);
            }
            LayoutBox *before = box;
            // The column being filled, when a column set is.
            const ColumnContext *beforeSet = box->columnContext;
            int32_t beforeColumn = beforeSet ? beforeSet->index : 0;
            Rect saved = Box_boundsRect(box);
            Box_setBoundsRect(box, Rect_emptyBound);
            err = Layout_layoutBlock(b.box, e.node, e.style, box->block.contentLeft,
                                     box->block.contentRight, b.lines, 0);
            box = cur(b);
            // A marker that no nested block took comes back to the item.
            if (b.handedMarker) {
                b.handedMarker = false;
                if (b.lines->handedMarker && !b.marker)
                    b.marker = b.lines->handedMarker;
                else if (b.lines->handedMarker)
                    Obj_destroy(b.lines->handedMarker);
                b.lines->handedMarker = nullptr;
            }
            Rect child = Box_boundsRect(box);
            if (box != before) {
                // The child went on to a new page: what was placed before
                // it stays with the page it is on, and the child's part on
                // the new page starts this page's bounds.
                Rect old = Box_boundsRect(before);
                Rect_unionNonEmpty(&old, &saved);
                Box_setBoundsRect(before, old);
                saved = Rect_emptyBound;
            } else if (beforeSet && box->columnContext == beforeSet &&
                       beforeSet->index != beforeColumn) {
                // The child went on in the next column: what was placed
                // before it lies in the earlier columns, and keeping below it
                // would leave this column no room.
                saved = Rect_emptyBound;
            }
            followPage(b);
            if (!Layout_isDecorationGroup(e.node, box->document))
                Rect_unionNonEmpty(&b.blockRect, &child);
            Rect_unionNonEmpty(&child, &saved);
            Box_setBoundsRect(box, child);
            if (Rect_isNonEmpty(&child))
                keepBelow(box->items, child.y0);
            if (err)
                return err;
            b.stalls = 0;
            continue;
        }
        if (Layout_isTablePart(e.style, e.node)) {
            const Rect *r = nullptr;
            err = Layout_breakRegion(b.box, &r, FloatArea_fromLeft, b.lines);
            if (err)
                return err;
            continue;
        }
        if (Edr_Node_type(e.node) == Edr_NodeType_group &&
            keyword(e.style, PropId_lineBreak) == KwId_lineBreak) {
            clearKeepingLines(box, e.style);
            continue;
        }
        BoxIter_rewindTo(b.iter, &e);
        return Res_ok;
    }
}

// Finish: the block rectangle, its border and background, and the space
// below.
int finish(Build &b)
{
    followPage(b);
    LayoutBox *box = cur(b);
    BlockState &s = box->block;
    // A block that began on an earlier page has its top edge there: on this
    // page it starts at its first content.
    bool topHere = !b.first && b.topBox == box;
    bool shrink = (box->stateFlags & BoxState_shrinkToFit) != 0;
    bool fixedHeight =
        keyword(b.style, PropId_height) != 0 && keyword(b.style, PropId_height) != KwId_auto;
    Rect rect = b.blockRect;
    if (shrink || b.explicitWidth || fixedHeight)
        Rect_unionNonEmpty(&rect, &b.linesRect);
    int32_t left = bandLeft(b);
    if (!Rect_isNonEmpty(&rect)) {
        int32_t top = topHere ? b.contentTop : box->items->band.y1;
        rect = Rect{left, top, left, top};
    } else if (shrink && !b.explicitWidth &&
               (s.textAlign == KwId_right || s.textAlign == KwId_center)) {
        box->alignShift = sat(int64_t(rect.x0) - left);
    } else {
        rect.x0 = left;
    }
    if (rect.x1 < rect.x0)
        rect.x1 = rect.x0;
    bool pageRoot = box->section && b.node && box->section->style == b.style;
    bool decoration = Layout_isDecorationGroup(b.node, box->document);
    if (!pageRoot && !decoration) {
        int64_t width = int64_t(rect.x1) - rect.x0;
        if (!b.explicitWidth) {
            if (width < b.contentWidth && b.contentWidth < kContentWidthLimit && !shrink)
                rect.x1 = sat(int64_t(rect.x0) + b.contentWidth);
            else if (width > b.contentWidth)
                rect.x1 = sat(int64_t(rect.x0) + b.contentWidth);
        } else {
            int32_t want = b.contentWidth;
            if (box->flowMode)
                want = std::min(want, b.contentWidth);
            if (!shrink && s.width != Layout_unconstrained)
                rect.x1 = sat(int64_t(rect.x0) + want);
        }
        if (b.explicitHeight >= 0 && int64_t(rect.y1) - rect.y0 < b.explicitHeight)
            rect.y0 = sat(int64_t(rect.y1) - b.explicitHeight);
        bool childless = !Edr_Node_firstChild(b.node);
        if (box->flowMode != 3 || childless) {
            int err = Layout_addBlockItem(box, b.node, b.style, &rect);
            if (err)
                return err;
        }
    }
    int32_t bottom = rect.y0;
    if (s.boxFlags & 2) {
        if (s.border[1] > 0 || s.padding[1] > 0) {
            int64_t below = int64_t(rect.y0) - s.border[1] - s.padding[1];
            bottom = sat(below - LineCounter_extent(b.lines));
            LineCounter_newLine(b.lines);
            int err = occupyStrip(box->items, bandLeft(b), bandRight(b), bottom, rect.y0);
            if (err)
                return err;
        }
        if (s.margin[1] < 0)
            s.margin[1] = 0;
        Layout_raise(&b.lines->extent, s.margin[1]);
    }
    // Everything above an in-flow block's bottom is spent across the whole
    // width: the band beside its content (a list's marker gutter, its
    // padding) must not take the next line.
    bool inFlow = !shrink && s.floatSide != KwId_left && s.floatSide != KwId_right &&
                  s.position != KwId_absolute && s.position != KwId_fixed;
    if (inFlow && Rect_isNonEmpty(&b.blockRect)) {
        Rect spent{INT32_MIN, bottom, INT32_MAX, INT32_MAX};
        int err = FloatArea_occupy(box->items, &spent);
        if (err)
            return err;
    }
    // The block's border box joins the bounds.
    Rect outer{sat(int64_t(rect.x0) - s.border[2] - s.padding[2]), bottom,
               sat(int64_t(rect.x1) + s.border[3] + s.padding[3]), topHere ? b.outerTop : rect.y1};
    if (outer.y1 < outer.y0)
        outer.y1 = outer.y0;
    Rect all = Box_boundsRect(box);
    Rect_unionNonEmpty(&all, &outer);
    Box_setBoundsRect(box, all);
    return Res_ok;
}

// Whether the line just built in a band beside a float keeps its words
// whole and within the band: a band too narrow for the next word or
// picture is passed over for a wider one (the full width above the float,
// or below it).
bool fitsNarrowBand(Build &b, const Rect &band, int result)
{
    // A line runs out of its band at its end side (a hanging indent may
    // start it before the band).
    Rect extent = itemsExtent(b.line);
    bool rtl = cur(b)->block.direction == KwId_rtl;
    if (Rect_isNonEmpty(&extent) && (rtl ? extent.x0 < band.x0 : extent.x1 > band.x1))
        return false;
    if (result == Layout_contentEnd)
        return true;
    // Nothing of the content fitted.
    if (!LayerList_hasItems(b.line))
        return false;
    IterEntry e{};
    if (BoxIter_next(b.iter, &e, cur(b)) != Res_ok || !e.node)
        return true;
    BoxIter_rewindTo(b.iter, &e);
    if (e.resume <= 0 || Edr_Node_type(e.node) != Edr_NodeType_text)
        return true;
    const Edr_TextNode *t = Edr_Node_textPayload(e.node);
    uint32_t at = uint32_t(e.resume);
    if (!t || !t->chars || at >= t->length)
        return true;
    return !(LineBreak_isWordChar(t->chars[at - 1]) && LineBreak_isWordChar(t->chars[at]));
}

// One pass of the line loop. *done when the block's content is over.
int linePass(Build &b, bool *done)
{
    *done = false;
    LayoutBox *box = cur(b);
    FloatArea *area = box->items;
    FloatArea_setBand(area, 0, 0, 0, 0);
    const Rect *free = nullptr;
    FloatArea_first(area, &free, FloatArea_fromLeft);
    if (!free) {
        int err = Layout_breakRegion(b.box, &free, FloatArea_fromLeft, b.lines);
        if (err)
            return err;
        if (!free)
            return Layout_lineFull;
        box = cur(b);
        area = box->items;
    }
    if (b.first) {
        int err = firstLine(b, free->y1);
        if (err)
            return err;
        // An item that starts with a block hands its marker to that
        // block's first line instead of a line of its own.
        if (b.marker && !b.markerInside && b.lines && !b.lines->handedMarker) {
            IterEntry e{};
            err = BoxIter_next(b.iter, &e, box);
            if (err)
                return err;
            if (e.node) {
                bool startsBlock = Layout_isBlockLevel(e.style, e.node) &&
                                   !Layout_isOutOfFlow(e.style, e.node) &&
                                   !Layout_isTablePart(e.style, e.node);
                BoxIter_rewindTo(b.iter, &e);
                if (startsBlock) {
                    b.lines->handedMarker = b.marker;
                    b.lines->handedMarkerWidth = b.markerWidth;
                    b.marker = nullptr;
                    b.handedMarker = true;
                }
            }
        }
    }
    BlockState &s = box->block;
    FloatArea_setBand(area, s.contentLeft, s.contentRight, 0, 0);
    if (box->flowMode) {
        int64_t x0 = std::max<int64_t>(area->band.x0, box->pageRect[0]);
        int64_t x1 = std::min<int64_t>(area->band.x1, box->pageRect[2]);
        if (x0 < x1)
            FloatArea_setBand(area, sat(x0 - area->area.x0), sat(int64_t(area->area.x1) - x1), 0,
                              0);
    }
    box->availableWidth = FloatArea_bandWidth(area);
    uint32_t ws = b.whiteSpace;
    if (ws == KwId_nowrap && (box->stateFlags & BoxState_tableCell))
        ws = KwId_normal;
    if (ws == KwId_normal || ws == KwId_nowrap) {
        int err = Layout_skipBlankText(b.iter, box);
        if (err)
            return err;
    }
    BoxIter_mark(b.iter);
    const Rect *band = nullptr;
    FloatArea_first(area, &band, FloatArea_fromLeft);
    int32_t spentIndent = 0;
    // Bands beside a float that split a word or overflow were passed over;
    // when no band takes the line whole, the walk runs again taking the
    // first band as it is.
    bool passedNarrow = false, takeAny = false;
    for (;;) {
        if (!band && passedNarrow && !takeAny) {
            takeAny = true;
            FloatArea_first(area, &band, FloatArea_fromLeft);
            continue;
        }
        if (!band) {
            // No band holds the line: the next region.
            const Rect *next = nullptr;
            int err = Layout_breakRegion(b.box, &next, FloatArea_fromLeft, b.lines);
            if (err)
                return err;
            b.indent = sat(int64_t(b.indent) + spentIndent);
            return next ? int(Res_ok) : int(Layout_lineFull);
        }
        Rect bandRect = *band;
        s.lineLeft = bandRect.x0;
        s.lineRight = bandRect.x1;
        spentIndent = b.indent;
        if (s.direction == KwId_rtl)
            s.lineRight = sat(int64_t(s.lineRight) - b.indent);
        else
            s.lineLeft = sat(int64_t(s.lineLeft) + b.indent);
        b.indent = 0;
        int res = Layout_buildLine(box, b.iter, b.node, b.style, b.lines, b.first ? 1 : 0, b.line);
        if (res == Layout_restart) {
            dropItems(b.line);
            BoxIter_commit(b.iter);
            b.indent = spentIndent;
            Rect floats = Rect_emptyBound;
            int err = Layout_layoutDeferred(b.box, b.iter, &floats);
            return err == Layout_lineFull ? Res_ok : err;
        }
        bool contentEnd = res == Layout_contentEnd;
        Metrics m = lineMetrics(b.line);
        if (res == Layout_breakNeeded && !m.any) {
            IterEntry e{};
            int err = BoxIter_next(b.iter, &e, box);
            if (err)
                return err;
            if (e.node) {
                err = Layout_textAscent(box, e.style, &m.ascent, &m.descent);
                BoxIter_rewindTo(b.iter, &e);
                if (err)
                    return err;
            }
        } else if (res && res != Layout_breakNeeded && !contentEnd) {
            return res;
        }
        if (b.marker && b.first) {
            Rect r = Obj_box(b.marker);
            m.ascent = std::max(m.ascent, r.y1);
            m.descent = std::max(m.descent, sat(-int64_t(r.y0)));
        }
        int32_t natural = sat(int64_t(m.ascent) + m.descent);
        int32_t above = 0, below = 0;
        spacing(b.rule, natural, m.any, b.style, &above, &below);
        int32_t pending = m.any || natural > 0 ? LineCounter_extent(b.lines) : 0;
        int64_t height = int64_t(pending) + above + natural + below;
        box->lineHeight = natural;
        bool tooLow = int64_t(bandRect.y1) - bandRect.y0 < height;
        bool narrow = !takeAny && bandRect.x1 - bandRect.x0 < area->band.x1 - area->band.x0 &&
                      !fitsNarrowBand(b, bandRect, res);
        if (narrow)
            passedNarrow = true;
        if ((tooLow || narrow) && FloatArea_getFlag(area) == 0) {
            // The band is too low for the line, or too narrow beside a
            // float: the next band.
            dropItems(b.line);
            BoxIter_resetToMark(b.iter);
            b.indent = spentIndent;
            FloatArea_next(area, &band);
            continue;
        }
        int32_t top = bandRect.y1;
        int32_t baseline = sat(int64_t(top) - pending - above - m.ascent);
        int32_t dx = Layout_alignOffset(s.textAlign, ws, s.direction,
                                        sat(int64_t(s.lineRight) - s.lineLeft));
        LayerList_translate(b.line, dx, baseline);
        int32_t lineBottom = sat(int64_t(top) - height);
        alignEdgeItems(b.line, sat(int64_t(top) - pending - above),
                       sat(int64_t(baseline) - m.descent));
        Rect lineRect{area->band.x0, lineBottom, area->band.x1, sat(int64_t(top) - pending)};
        if (b.marker && b.first)
            placeMarker(b, baseline, top, m.any, &lineRect);
        Rect extent = itemsExtent(b.line);
        followPage(b);
        Rect_unionNonEmpty(&b.linesRect, &extent);
        if (height > 0) {
            int err = occupyStrip(area, area->band.x0, area->band.x1, lineBottom, top);
            if (err)
                return err;
            Rect_unionNonEmpty(&b.blockRect, &lineRect);
        }
        bool hadItems = LayerList_hasItems(b.line) != 0;
        if (hadItems || natural > 0)
            LineCounter_newLine(b.lines);
        if (hadItems) {
            int err = LayerList_merge(box->layers, b.line);
            if (err)
                return err;
            Rect all = Box_boundsRect(box);
            Rect_unionNonEmpty(&all, &extent);
            Box_setBoundsRect(box, all);
        }
        b.first = false;
        bool progress = hadItems || !BoxIter_atMark(b.iter);
        int err = Layout_layoutDeferred(b.box, b.iter, nullptr);
        if (err && err != Layout_lineFull)
            return err;
        bool ended = false;
        err = afterLine(b, &ended);
        if (err)
            return err;
        if (ended) {
            *done = true;
            return Res_ok;
        }
        (void)contentEnd;
        b.stalls = progress ? 0 : b.stalls + 1;
        if (b.stalls >= kStallLimit) {
            // Nothing of the entry could be placed: it is passed over.
            IterEntry e{};
            err = BoxIter_next(b.iter, &e, cur(b));
            if (err)
                return err;
            BoxIter_commit(b.iter);
            b.stalls = 0;
            if (!e.node)
                *done = true;
        }
        return Res_ok;
    }
}

} // namespace

int Layout_buildBlock(LayoutBox **box, Edr_Node *node, BoxIter *iter, Edr_Style *style,
                      LineCounter *lines)
{
    LineCounter own{};
    if (!lines)
        lines = (*box)->lines;
    if (!lines)
        lines = &own;
    if (!(*box)->items)
        return Res_ok;
    Build b{};
    b.box = box;
    b.node = node;
    b.iter = iter;
    b.style = style;
    b.lines = lines;
    b.first = true;
    b.blockRect = Rect_emptyBound;
    b.linesRect = Rect_emptyBound;
    b.rectBox = *box;
    b.topBox = *box;
    int err = setUp(b);
    EngineContext *app = (*box)->context;
    bool task = app && Task_hasCurrent(app);
    while (!err) {
        bool done = false;
        err = linePass(b, &done);
        if (err || done)
            break;
        if (++b.passes % kYieldPasses == 0 && task)
            Task_yield(app);
    }
    if (!err)
        err = finish(b);
    if (b.marker)
        Obj_destroy(b.marker);
    if (b.line) {
        LayerList_freeItems(b.line);
        LayerList_destroy(b.line);
    }
    return err;
}

// ------------------------------------------------------------ absolute content

int Layout_absoluteBlock(LayoutBox **box, BoxIter *iter, Edr_Style *style, Edr_Node *marker)
{
    int32_t width = Layout_unconstrained, height = Layout_unconstrained, left = 0, top = 0;
    for (;;) {
        IterEntry e{};
        int err = BoxIter_next(iter, &e, *box);
        if (err)
            return err;
        if (!e.node)
            break;
        const Prop *p = Edr_Node_type(e.node) == Edr_NodeType_data
                            ? static_cast<const Prop *>(Edr_Node_payloadOrNull(e.node))
                            : nullptr;
        int32_t *slot = nullptr;
        if (p && p->type == PropType_length) {
            if (p->id == PropId_height)
                slot = &height;
            else if (p->id == PropId_left)
                slot = &left;
            else if (p->id == PropId_top)
                slot = &top;
            else if (p->id == PropId_width)
                slot = &width;
        }
        if (!slot) {
            BoxIter_rewindTo(iter, &e);
            break;
        }
        *slot = int32_t(p->payload);
    }
    const Prop *mp = static_cast<const Prop *>(Edr_Node_payloadOrNull(marker));
    LayoutBox *b = *box;
    if (mp && mp->type == 10) {
        // The payload carries the position.
        int32_t x = int32_t(uint32_t(mp->payload));
        int32_t y = int32_t(mp->payload2);
        BoxIter_stopAtAbsoluteOn(iter);
        int err = Layout_placeDrawing(b, iter, x, y, 0);
        BoxIter_stopAtAbsoluteOff(iter);
        BoxIter_commit(iter);
        return err;
    }
    int64_t x0 = int64_t(b->avail[0]) + left;
    int64_t y1 = int64_t(b->avail[3]) - top;
    int64_t x1 = std::min<int64_t>(x0 + width, INT32_MAX);
    int64_t y0 = std::max<int64_t>(y1 - height, INT32_MIN);
    if (!(x0 < x1 && y0 < y1) || x0 < INT32_MIN || y1 > INT32_MAX) {
        // Nothing to show: the content up to the next marker is skipped.
        BoxIter_stopAtAbsoluteOn(iter);
        for (;;) {
            IterEntry e{};
            int err = BoxIter_next(iter, &e, b);
            if (err || !e.node) {
                BoxIter_stopAtAbsoluteOff(iter);
                BoxIter_commit(iter);
                return err;
            }
        }
    }
    Rect r{int32_t(x0), int32_t(y0), int32_t(x1), int32_t(y1)};
    int32_t savedPage[4];
    std::memcpy(savedPage, b->pageRect, sizeof(savedPage));
    FloatArea *savedItems = b->items;
    b->pageRect[0] = r.x0;
    b->pageRect[1] = r.y0;
    b->pageRect[2] = r.x1;
    b->pageRect[3] = r.y1;
    Rect areaRect{r.x0, INT32_MIN, r.x1, r.y1};
    FloatArea *area = nullptr;
    int err = FloatArea_create(&areaRect, &area);
    if (!err) {
        b->items = area;
        auto savedOverflow = b->overflow;
        b->overflow = Layout_noRegion;
        b->block.leftOffset = b->block.rightOffset = 0;
        LineCounter fresh{};
        BoxIter_stopAtAbsoluteOn(iter);
        err = Layout_buildBlock(box, nullptr, iter, style, &fresh);
        BoxIter_stopAtAbsoluteOff(iter);
        b = *box;
        b->overflow = savedOverflow;
        FloatArea_destroy(area);
    }
    b->items = savedItems;
    std::memcpy(b->pageRect, savedPage, sizeof(savedPage));
    return err;
}

// ------------------------------------------------------------ anchored objects

int Layout_positionedObjects(LayoutBox *box, Edr_Style *style, Edr_Node *node, int32_t x, int32_t y)
{
    if (!node || Edr_Node_type(node) != Edr_NodeType_group || !Edr_Node_firstChild(node))
        return Res_ok;
    BoxIter *iter = nullptr;
    int err = BoxIter_create(&iter, box, node, style, 1);
    if (err)
        return err;
    for (;;) {
        IterEntry e{};
        BoxIter_commit(iter);
        err = BoxIter_next(iter, &e, box);
        if (err || !e.node)
            break;
        if (Edr_Node_type(e.node) != Edr_NodeType_group)
            continue;
        uint32_t kind = keyword(e.style, kPropAnchorKind);
        if (!anchorKind(kind))
            continue;
        int32_t w = box->availableWidth;
        int32_t left = 0, top = 0, width = 0, height = 0;
        // An unset or unusable property leaves the value set above.
        (void)Edr_Style_getMeasure(e.style, PropId_left, &left, w);
        (void)Edr_Style_getMeasure(e.style, PropId_top, &top, w);
        (void)Edr_Style_getMeasure(e.style, PropId_width, &width, w);
        (void)Edr_Style_getMeasure(e.style, PropId_height, &height, w);
        if (top < 0 && kind != kAnchorBehind)
            top = 0;
        uint32_t px = keyword(e.style, kPropPlaceX), py = keyword(e.style, kPropPlaceY);
        int64_t ox = px == kPlaceAbsolute                                 ? left
                     : px == kPlaceFromOrigin1 || px == kPlaceFromOrigin2 ? int64_t(x) + left
                                                                          : x;
        int64_t oy = py == kPlaceAbsolute                                 ? -int64_t(top)
                     : py == kPlaceFromOrigin1 || py == kPlaceFromOrigin2 ? int64_t(y) - top
                                                                          : y;
        if (kind != kAnchorBehind && kind != kAnchorNoWrap) {
            // Inside the page.
            ox = std::clamp<int64_t>(
                ox, box->pageRect[0],
                std::max<int64_t>(box->pageRect[0], int64_t(box->pageRect[2]) - width));
            if (box->pageRect[1] != Layout_unset)
                oy = std::clamp<int64_t>(
                    oy, std::min<int64_t>(box->pageRect[3], int64_t(box->pageRect[1]) + height),
                    box->pageRect[3]);
        }
        LayerList *list = LayerList_create();
        if (!list) {
            err = Res_noMemory;
            break;
        }
        LayerList *saved = box->layers;
        box->layers = list;
        // An anchored object stands beside the flow: its items do not join
        // the block's bounds, or the content after the block would start
        // below the object instead of flowing beside it (the float area
        // keeps the room it takes).
        Rect bounds = Box_boundsRect(box);
        BoxIter *sub = nullptr;
        err = BoxIter_create(&sub, box, e.node, e.style, 1);
        if (!err) {
            BoxIter_stopAtGroupsOn(sub);
            err = Layout_placeDrawing(box, sub, sat(ox), sat(-oy), 0);
            BoxIter_free(sub);
        }
        Box_setBoundsRect(box, bounds);
        box->layers = saved;
        if (!err) {
            if (kind == kAnchorBehind) {
                if (!box->backLayers)
                    box->backLayers = LayerList_create();
                err = box->backLayers ? LayerList_merge(box->backLayers, list) : Res_noMemory;
            } else {
                err = LayerList_merge(box->layers, list);
            }
        }
        if (!err && kind != kAnchorBehind && kind != kAnchorNoWrap && box->items) {
            Rect r{sat(ox), sat(oy - height), sat(ox + width), sat(oy)};
            uint32_t wrap = keyword(e.style, kPropWrap);
            if (kind == kAnchorFullBand) {
                r.x0 = INT32_MIN;
                r.x1 = INT32_MAX;
            } else if (wrap == kWrapToRight) {
                r.x1 = INT32_MAX;
            } else if (wrap == kWrapToLeft) {
                r.x0 = INT32_MIN;
            } else {
                (void)kWrapBoth;
            }
            if (r.x0 < r.x1 && r.y0 < r.y1)
                err = FloatArea_occupy(box->items, &r);
        }
        if (err)
            LayerList_freeItems(list);
        LayerList_destroy(list);
        if (err)
            break;
    }
    BoxIter_free(iter);
    return err;
}

// ------------------------------------------------------------ small operations

int Layout_isBlockLevel(const Edr_Style *style, Edr_Node *node)
{
    if (!node || Edr_Node_type(node) != Edr_NodeType_group)
        return 0;
    return Layout_isBlockDisplay(style);
}

int Layout_skipLineBreak(IterEntry *entry)
{
    const char16_t *text = nullptr;
    uint32_t start = 0, length = 0;
    Layout_nodeText(entry, &text, &start, &length);
    if (!text || length == 0)
        return 0;
    char16_t c = text[start];
    if (length >= 2 && ((c == 13 && text[start + 1] == 10) || (c == 10 && text[start + 1] == 13))) {
        entry->resume += 2;
        return 1;
    }
    if (c == 10 || c == 13 || c == 11) {
        entry->resume += 1;
        return 1;
    }
    return 0;
}

int Layout_skipBlankText(BoxIter *iter, LayoutBox *box)
{
    for (;;) {
        IterEntry e{};
        int err = BoxIter_next(iter, &e, box);
        if (err || !e.node)
            return err;
        bool blank = Edr_Node_type(e.node) == Edr_NodeType_text;
        if (blank) {
            const char16_t *text = nullptr;
            uint32_t start = 0, length = 0;
            Layout_nodeText(&e, &text, &start, &length);
            for (uint32_t i = 0; i < length && blank; i++)
                blank = text[start + i] < 127 && isWhite(text[start + i]);
        }
        if (!blank) {
            BoxIter_rewindTo(iter, &e);
            return Res_ok;
        }
    }
}

int Layout_addBlockItem(LayoutBox *box, Edr_Node *node, Edr_Style *style, const Rect *content)
{
    const BlockState &s = box->block;
    ObjHeader *item = nullptr;
    Rect extent{};
    LayerList_selectFirst(box->layers);
    int err =
        Layout_makeBoxItem(box, node, &item, &extent, style, content, s.border, s.padding, 0, 0);
    if (!err && item) {
        LayerList_prepend(box->layers, item);
        Rect all = Box_boundsRect(box);
        Rect_unionNonEmpty(&all, &extent);
        Box_setBoundsRect(box, all);
    }
    LayerList_selectKey(box->layers, LayerList_normalKey);
    return err;
}

int Layout_isDecorationGroup(Edr_Node *node, Edr_Doc *doc)
{
    if (!node || !doc)
        return 0;
    for (const Edr_KeyedGroup *k = doc->keyedGroups; k; k = k->next)
        for (Edr_Node *g : k->groups)
            if (g == node)
                return 1;
    return 0;
}
