// Block layout: one group node into a layout box by its display value,
// with positioned, floated and own-layer boxes, tables, inline-block cells,
// frame sets and the floats the line builder deferred.
#include <algorithm>
#include <cstring>

#include "layout/layerlist.h"
#include "core/container/obj.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/style/stylerule.h"
#include "core/task/task.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "document/edr/docmsg.h"
#include "document/edr/node.h"
#include "document/style/lookup.h"
#include "document/style/style.h"
#include "document/style/styleread.h"
#include "layout/block.h"
#include "layout/boxiter.h"
#include "layout/floatarea.h"
#include "layout/frameset.h"
#include "document/edr/webops.h"
#include "layout/layout.h"
#include "layout/line.h"
#include "layout/listmarker.h"

namespace {

constexpr uint32_t kHtmlType = 227;
constexpr uint32_t kFlagTooWide = 4;
constexpr uint32_t kFlagExcludes = 32;
constexpr uint32_t kFlagOpenWidth = 64;
constexpr uint32_t kFlagCentreLeft = 128;
constexpr uint32_t kFlagCentreRight = 0x100;
// Layer key of positioned boxes without a z-index.
constexpr int32_t kPositionedKey = 2;

int32_t sat(int64_t v)
{
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

uint32_t keyword(const Edr_Style *style, uint32_t id)
{
    return style ? Edr_Style_get(style, id, nullptr) : 0;
}

bool isAuto(const Edr_Style *style, uint32_t id)
{
    uint32_t t = keyword(style, id);
    return t == 0 || t == KwId_auto;
}

void post(Edr_Doc *doc, int32_t code)
{
    EngineContext *app = doc ? doc->app : nullptr;
    if (!app || !app->eventProc)
        return;
    EventProcCodeMsg m{code, doc, nullptr, 0};
    // A notice that cannot be posted is lost; what it reports is done either way.
    (void)EventProc_postCode(app->eventProc, &m);
}

void translateRect(Rect *r, int32_t dx, int32_t dy)
{
    if (!Rect_isNonEmpty(r))
        return;
    r->x0 = sat(int64_t(r->x0) + dx);
    r->x1 = sat(int64_t(r->x1) + dx);
    r->y0 = sat(int64_t(r->y0) + dy);
    r->y1 = sat(int64_t(r->y1) + dy);
}

// The first free rectangle of the box's float area from the left, or all
// zeros.
Rect firstFree(LayoutBox *box)
{
    const Rect *r = nullptr;
    if (box->items)
        FloatArea_first(box->items, &r, FloatArea_fromLeft);
    return r ? *r : Rect{0, 0, 0, 0};
}

int32_t lengthOr(const Edr_Style *style, uint32_t id, int32_t reference, int32_t fallback,
                 bool *given)
{
    int32_t v = 0;
    bool ok = !isAuto(style, id) && Edr_Style_getMeasure(style, id, &v, reference) != 0;
    if (given)
        *given = ok;
    return ok ? v : fallback;
}

// The enclosing block's content edges in the float area, from the frame
// that holds the parent's state.
void containerEdges(const LayoutBox *box, const FloatArea *area, int32_t *left, int32_t *right)
{
    const BoxFrame *parent = box->shared ? box->shared->top : nullptr;
    int32_t cl = parent ? parent->block.contentLeft : 0;
    int32_t cr = parent ? parent->block.contentRight : 0;
    *left = sat(int64_t(area->area.x0) + cl);
    *right = sat(int64_t(area->area.x1) - cr);
}

} // namespace

// ------------------------------------------------------------ rectangles

void Rect_setEmpty(Rect *r)
{
    *r = Rect_emptyBound;
}

int Rect_isNonEmpty(const Rect *r)
{
    return r->x0 <= r->x1 && r->y0 <= r->y1 ? 1 : 0;
}

void Rect_unionNonEmpty(Rect *r, const Rect *s)
{
    if (!Rect_isNonEmpty(s))
        return;
    if (!Rect_isNonEmpty(r)) {
        *r = *s;
        return;
    }
    Rect_union(r, s);
}

void Rect_addItemBounds(Rect *r, const ObjHeader *item, Rect *out, const Rect *clip)
{
    Rect box = Obj_shownBox(item);
    if (clip && Rect_isNonEmpty(clip))
        Rect_intersect(&box, clip);
    if (out)
        *out = box;
    Rect_unionNonEmpty(r, &box);
}

// ------------------------------------------------------------ predicates

int Layout_isBlockDisplay(const Edr_Style *style)
{
    switch (keyword(style, PropId_display)) {
    case KwId_block:
    case KwId_compact:
    case KwId_listItem:
    case KwId_runIn:
    case KwId_table:
    case KwId_tableCell:
    case KwId_tableRow:
    case KwId_columnBlock:
    case KwId_framesetRows:
    case KwId_framesetColumns:
    case KwId_markedBlock: return 1;
    default: return 0;
    }
}

int Layout_isTablePart(const Edr_Style *style, Edr_Node *node)
{
    if (!node || Edr_Node_type(node) != Edr_NodeType_group)
        return 0;
    uint32_t k = keyword(style, PropId_lineBreak);
    return k >= 181 && k <= 186 ? 1 : 0;
}

int Layout_isTableSection(const Edr_Style *style, Edr_Node *node)
{
    if (!node || Edr_Node_type(node) != Edr_NodeType_group)
        return 0;
    uint32_t k = keyword(style, PropId_lineBreak);
    return k >= 181 && k <= 187 ? 1 : 0;
}

int Layout_isOutOfFlow(const Edr_Style *style, Edr_Node *node)
{
    if (!node || Edr_Node_type(node) != Edr_NodeType_group)
        return 0;
    return keyword(style, PropId_display) != KwId_none &&
                   keyword(style, PropId_position) == KwId_absolute
               ? 1
               : 0;
}

int Layout_isOffsetMarker(Edr_Node *node)
{
    return BoxIter_isAbsoluteMarker(node);
}

int Layout_noRegion(LayoutBox **, int *moved)
{
    *moved = 0;
    return Res_ok;
}

// ------------------------------------------------------------ regions

int Layout_breakRegion(LayoutBox **box, const Rect **out, int32_t mode, LineCounter *lines)
{
    *out = nullptr;
    int moved = 0;
    if (!(*box)->overflow)
        return Res_ok;
    int err = (*box)->overflow(box, &moved);
    if (err || !moved)
        return err;
    if (lines)
        LineCounter_newLine(lines);
    if ((*box)->items)
        FloatArea_first((*box)->items, out, mode);
    return Res_ok;
}

// ------------------------------------------------------------ entry

int Layout_layoutBlock(LayoutBox **box, Edr_Node *node, Edr_Style *style, int32_t leftOffset,
                       int32_t rightOffset, LineCounter *lines, uint32_t edgeMask)
{
    EngineContext *app = (*box)->context;
    if (app && Task_hasCurrent(app)) {
        int stop = Task_checkStop(app);
        if (stop)
            return stop;
    }
    if (keyword(style, PropId_display) == KwId_none)
        return Res_ok;
    LineCounter own{};
    if (!lines)
        lines = &own;
    int err = Box_pushState(*box);
    if (err)
        return err;
    LayoutBox *b = *box;
    Box_applyStyle(b, style);
    if (b->flowMode == 0)
        PageDecor_noteStories(b, style);
    b->block.leftOffset = leftOffset;
    b->block.rightOffset = rightOffset;
    b->block.edgeMask = edgeMask;
    uint32_t hidden = b->hiddenItems;
    b->hiddenItems = Edr_Style_testProp87(style, 1, int(hidden)) ? 1 : 0;
    uint32_t startCount = LineCounter_count(lines);
    const BlockState &s = b->block;
    bool own_layer = Edr_Doc_getTypeCode(b->document) == kHtmlType && b->flowMode != 3 &&
                     ((s.boxFlags & (BoxFlag_outOfFlow | BoxFlag_positioned)) || s.hAlign ||
                      ((s.textAlign == KwId_right || s.textAlign == KwId_center) &&
                       (b->stateFlags & BoxState_shrinkToFit)));
    if (own_layer)
        err = Layout_layoutOwnLayer(box, node, style, lines);
    else
        err = Layout_layoutByDisplay(box, node, style, lines);
    b = *box;
    if (LineCounter_count(lines) == startCount && b->block.position != KwId_absolute)
        LineCounter_newLine(lines);
    Box_popState(b);
    b->hiddenItems = hidden;
    return err;
}

int Layout_layoutByDisplay(LayoutBox **box, Edr_Node *node, Edr_Style *style, LineCounter *lines)
{
    LayoutBox *b = *box;
    if (b->flowMode && b->block.position == KwId_absolute) {
        if (keyword(style, PropId_visibility) == KwId_hidden)
            return Res_ok;
        bool given = false;
        int32_t left = lengthOr(style, PropId_left, b->availableWidth, 0, &given);
        int64_t end = int64_t(b->avail[0]) + left + b->block.margin[2] +
                      (b->block.width == Layout_unconstrained ? 0 : b->block.width);
        if (end < 0)
            return Res_ok;
    }
    uint32_t display = b->block.display;
    int err = Res_ok;
    switch (display) {
    case KwId_table: {
        uint32_t shrink = b->stateFlags & BoxState_shrinkToFit;
        b->stateFlags &= ~uint32_t(BoxState_shrinkToFit);
        // Layout_clearPosition cannot fail.
        (void)Layout_clearPosition(b, style);
        err = b->flowMode == 3 ? int(Layout_lineFull) : Layout_placeTable(box, style, node);
        LineCounter_newLine(lines);
        if (err == Layout_lineFull && (*box)->nestedBlock) {
            (*box)->lines = lines;
            err = (*box)->nestedBlock(box, node, style);
        }
        (*box)->stateFlags = ((*box)->stateFlags & ~uint32_t(BoxState_shrinkToFit)) | shrink;
        return err;
    }
    case KwId_columnBlock: (*box)->lines = lines; return Columns_layoutBlock(box, style, node);
    case KwId_framesetRows:
    case KwId_framesetColumns: {
        int32_t size[2] = {0, 0};
        return Layout_layoutFrameSet(box, node, style, size);
    }
    case KwId_replacedBox:
    case 0: return Res_ok;
    case KwId_controlBox: {
        IterEntry entry{};
        entry.style = style;
        entry.node = node;
        return Layout_placeFormControl(*box, nullptr, &entry);
    }
    case KwId_listItem: {
        uint32_t type = keyword(style, PropId_listStyleType);
        if (type != KwId_disc && type != KwId_circle && type != KwId_square) {
            // An item that gives its own number takes it; the items after
            // it count on from there.
            int32_t own = 0;
            if (Edr_Web_listOrdinal(nullptr, b->document, node, &own))
                ListCounter_set(b, own);
            else
                ListCounter_increment(b);
        }
        break;
    }
    default: break;
    }
    if (!(*box)->nestedBlock)
        return Res_ok;
    (*box)->lines = lines;
    return (*box)->nestedBlock(box, node, style);
}

// ------------------------------------------------------------ positioned boxes

int Layout_positionBox(LayoutBox *box, Edr_Style *style, uint32_t *flags)
{
    *flags = 0;
    const BlockState &b = box->block;
    Rect c = {box->avail[0], box->avail[1], box->avail[2], box->avail[3]};
    int32_t w = sat(int64_t(c.x1) - c.x0);
    Rect f = firstFree(box);
    int64_t vEdges = int64_t(b.margin[0]) + b.margin[1] + b.border[0] + b.border[1] + b.padding[0] +
                     b.padding[1];
    int64_t hEdges = int64_t(b.margin[2]) + b.margin[3] + b.border[2] + b.border[3] + b.padding[2] +
                     b.padding[3];
    int32_t height = 0;
    bool hasHeight = Edr_Style_boxExtent(style, &height, 1, w) != 0;
    bool hasTop = false, hasBottom = false, hasLeft = false, hasRight = false;
    int32_t top = lengthOr(style, PropId_top, w, 0, &hasTop);
    int32_t bottom = lengthOr(style, PropId_bottom, w, 0, &hasBottom);
    int32_t left = lengthOr(style, PropId_left, w, 0, &hasLeft);
    int32_t right = lengthOr(style, PropId_right, w, 0, &hasRight);
    bool hasWidth = (b.boxFlags & BoxFlag_width) != 0;
    Rect r = c;
    if (b.position == KwId_relative) {
        r = f;
        if (hasWidth)
            r.x1 = sat(int64_t(r.x0) + b.width + hEdges);
        if (hasHeight)
            r.y0 = sat(int64_t(r.y1) - vEdges - height);
    } else {
        if (hasLeft || hasRight)
            *flags |= Layout_placedX;
        if (hasTop || hasBottom)
            *flags |= Layout_placedY;
        bool open = c.y0 <= Layout_openLow;
        if (hasTop) {
            r.y1 = sat(int64_t(c.y1) - top);
            if (hasHeight)
                r.y0 = sat(int64_t(r.y1) - height - vEdges);
            else if (hasBottom && !open)
                r.y0 = sat(int64_t(c.y0) + bottom);
        } else {
            r.y1 = f.y1;
            if (hasBottom && hasHeight) {
                r.y0 = open ? sat(int64_t(f.y1) - height - vEdges) : sat(int64_t(c.y0) + bottom);
                r.y1 = sat(int64_t(r.y0) + height + vEdges);
            } else if (hasHeight) {
                r.y0 = sat(int64_t(f.y1) - height - vEdges);
            } else if (hasBottom && !open) {
                r.y0 = sat(int64_t(c.y0) + bottom);
            }
        }
        if (r.y0 >= r.y1)
            r.y0 = sat(int64_t(r.y1) - 1 - vEdges);
        if (hasLeft)
            r.x0 = sat(int64_t(c.x0) + left);
        else if (!hasRight)
            r.x0 = sat(int64_t(box->items ? box->items->area.x0 : c.x0) + b.leftOffset);
        if (hasLeft || !hasRight)
            r.x1 = f.x1;
        if (hasLeft && hasWidth) {
            r.x1 = sat(int64_t(r.x0) + b.width + hEdges);
        } else {
            r.x1 = sat(int64_t(r.x1) - right);
            if (hasWidth) {
                if (hasRight)
                    r.x0 = sat(int64_t(r.x1) - b.width - hEdges);
                else
                    r.x1 = sat(int64_t(r.x0) + b.width + hEdges);
            }
        }
        if (r.x0 > r.x1) {
            if (!hasRight)
                r.x1 = sat(int64_t(r.x0) + hEdges + 1);
            else
                r.x0 = sat(int64_t(r.x1) - 1 - hEdges);
        }
    }
    r.x0 = sat(int64_t(r.x0) + b.margin[2] + b.border[2]);
    r.x1 = sat(int64_t(r.x1) - b.margin[3] - b.border[3]);
    r.y1 = sat(int64_t(r.y1) - b.margin[0] - b.border[0]);
    if (r.y0 > Layout_openLow)
        r.y0 = sat(int64_t(r.y0) + b.margin[1] + b.border[1]);
    box->avail[0] = r.x0;
    box->avail[1] = r.y0;
    box->avail[2] = r.x1;
    box->avail[3] = r.y1;
    return Res_ok;
}

int Layout_makeFloatArea(LayoutBox *box)
{
    BlockState &b = box->block;
    int64_t marginSum = int64_t(b.margin[2]) + b.margin[3];
    int64_t w =
        int64_t(b.width == Layout_unconstrained ? 0 : b.width) + (marginSum > 0 ? marginSum : 0);
    bool positioned = b.position == KwId_absolute || b.position == KwId_fixed;
    int64_t availW =
        positioned ? int64_t(box->avail[2]) - box->avail[0] : int64_t(box->availableWidth);
    if (box->flowMode && !(b.boxFlags & kFlagOpenWidth) && w > availW)
        w = availW;
    Rect r{};
    if (b.position == KwId_absolute) {
        r.x0 = sat(int64_t(box->avail[0]) - b.margin[2] - b.border[2]);
        r.x1 = sat(int64_t(box->avail[2]) + b.margin[3] + b.border[3]);
        r.y1 = sat(int64_t(box->avail[3]) + b.margin[0] + b.border[0]);
    } else if (b.floatSide == KwId_left || b.floatSide == KwId_right) {
        r.x0 = 0;
        r.x1 = sat(std::max(w, availW));
        r.y1 = 0;
    } else {
        Rect f = firstFree(box);
        r.x0 = f.x0;
        r.x1 = sat(std::max(int64_t(f.x0) + w, int64_t(f.x1)));
        r.y1 = f.y1;
    }
    r.y0 = Layout_unset;
    if (r.x0 >= r.x1)
        r.x1 = sat(int64_t(r.x0) + 1);
    box->availableWidth = sat(int64_t(r.x1) - r.x0 - b.margin[2] - b.margin[3]);
    b.leftOffset = 0;
    b.rightOffset = 0;
    if (b.margin[2] < 0) {
        r.x0 = sat(int64_t(r.x0) + b.margin[2]);
        b.leftOffset = -b.margin[2];
    }
    if (b.margin[3] < 0) {
        r.x1 = sat(int64_t(r.x1) - b.margin[3]);
        b.rightOffset = -b.margin[3];
    }
    return FloatArea_create(&r, &box->items);
}

int Layout_placeFloat(LayoutBox **box, LayerList *layers, Rect *rect)
{
    const BlockState &b = (*box)->block;
    int64_t w = int64_t(rect->x1) - rect->x0 + b.margin[2] + b.margin[3];
    int64_t h = int64_t(rect->y1) - rect->y0 + b.margin[0] + b.margin[1];
    bool leftSide = b.floatSide == KwId_left;
    int32_t mode = leftSide ? FloatArea_fromLeft : FloatArea_fromRight;
    Rect chosen{};
    bool seen = false, found = false, broke = false;
    for (;;) {
        const Rect *r = nullptr;
        FloatArea_first((*box)->items, &r, mode);
        for (; r; FloatArea_next((*box)->items, &r)) {
            chosen = *r;
            seen = true;
            if (int64_t(r->x1) - r->x0 >= w && int64_t(r->y1) - r->y0 >= h) {
                found = true;
                break;
            }
        }
        if (found || broke)
            break;
        broke = true;
        const Rect *next = nullptr;
        int err = Layout_breakRegion(box, &next, mode, (*box)->lines);
        if (err)
            return err;
        if (!next)
            break;
    }
    if (!seen)
        return Layout_lineFull;
    // The float's margin box goes to the chosen rectangle's top and side.
    int64_t outerX0 = int64_t(rect->x0) - b.margin[2];
    int64_t outerY1 = int64_t(rect->y1) + b.margin[0];
    int64_t targetX0 = leftSide ? chosen.x0 : int64_t(chosen.x1) - w;
    int32_t dx = sat(targetX0 - outerX0);
    int32_t dy = sat(int64_t(chosen.y1) - outerY1);
    LayerList_translate(layers, dx, dy);
    translateRect(rect, dx, dy);
    (*box)->layerOffset[0] = sat(int64_t((*box)->layerOffset[0]) + dx);
    (*box)->layerOffset[1] = sat(int64_t((*box)->layerOffset[1]) + dy);
    int32_t bottom = sat(int64_t(rect->y0) - b.margin[1]);
    Rect taken = leftSide
                     ? Rect{INT32_MIN, bottom, sat(int64_t(rect->x1) + b.margin[3]), INT32_MAX}
                     : Rect{sat(int64_t(rect->x0) - b.margin[2]), bottom, INT32_MAX, INT32_MAX};
    return FloatArea_occupy((*box)->items, &taken);
}

int Layout_layoutOwnLayer(LayoutBox **box, Edr_Node *node, Edr_Style *style, LineCounter *lines)
{
    LayoutBox *b = *box;
    // Layout_clearPosition cannot fail.
    (void)Layout_clearPosition(b, style);
    uint32_t placed = 0;
    if (b->block.boxFlags & BoxFlag_positioned)
        Layout_positionBox(b, style, &placed);
    LayerList *own = LayerList_create();
    if (!own)
        return Res_noMemory;
    LayerList *savedLayers = b->layers;
    FloatArea *savedItems = b->items;
    b->layers = own;
    // An own layer stays on the page it starts on: its content does not
    // break to a new region.
    auto savedOverflow = b->overflow;
    b->overflow = Layout_noRegion;
    int err = Res_ok;
    bool made = false;
    LineCounter fresh{};
    LineCounter *use = lines;
    if (b->block.boxFlags & BoxFlag_outOfFlow) {
        err = Layout_makeFloatArea(b);
        made = !err;
        if (err)
            b->items = savedItems;
        use = &fresh;
    }
    if (!err)
        err = Layout_layoutByDisplay(box, node, style, use);
    b = *box;
    if (made)
        FloatArea_destroy(b->items);
    b->items = savedItems;
    b->layers = savedLayers;
    b->overflow = savedOverflow;
    const BlockState &s = b->block;
    bool absolute = s.position == KwId_absolute;
    if (s.position == KwId_relative)
        LayerList_setFixed(own, 0);
    Rect bounds = Box_boundsRect(b);
    if (!err && Rect_isNonEmpty(&bounds) && b->items) {
        // Alignment in the container.
        int32_t dx = 0;
        int32_t left = 0, right = 0;
        containerEdges(b, b->items, &left, &right);
        if (!(s.boxFlags & kFlagTooWide)) {
            int64_t freeRight = int64_t(right) - bounds.x1;
            int64_t gapLeft = int64_t(bounds.x0) - left;
            if (s.hAlign == KwId_left)
                dx = sat(-gapLeft);
            else if (s.hAlign == KwId_right)
                dx = sat(freeRight);
            else if (s.hAlign == KwId_center)
                dx = sat((freeRight - gapLeft) / 2);
            if (absolute && (s.boxFlags & BoxFlag_width) && (s.boxFlags & kFlagCentreLeft) &&
                (s.boxFlags & kFlagCentreRight)) {
                int32_t l = lengthOr(style, PropId_left, b->availableWidth, 0, nullptr);
                int32_t r = lengthOr(style, PropId_right, b->availableWidth, 0, nullptr);
                dx = sat(int64_t(dx) + (int64_t(l) - r) / 2);
            }
            if (int64_t(bounds.x0) + dx < left && !absolute)
                dx = sat(int64_t(left) - bounds.x0);
        }
        b->layerOffset[0] = sat(int64_t(b->layerOffset[0]) + dx);
        translateRect(&bounds, dx, 0);
    }
    if (!err && Rect_isNonEmpty(&bounds)) {
        // What the move so far did to the items; placement below moves
        // the list itself.
        LayerList_translate(own, b->layerOffset[0], b->layerOffset[1]);
        b->layerOffset[0] = b->layerOffset[1] = 0;
        if (!absolute) {
            bool floated = s.floatSide == KwId_left || s.floatSide == KwId_right;
            if (floated) {
                err = Layout_placeFloat(box, own, &bounds);
                b = *box;
                b->layerOffset[0] = b->layerOffset[1] = 0;
            } else if (s.boxFlags & (kFlagExcludes | kFlagTooWide | kFlagOpenWidth)) {
                Rect taken{INT32_MIN, sat(int64_t(bounds.y0) - s.margin[1]), INT32_MAX, INT32_MAX};
                err = FloatArea_occupy(b->items, &taken);
            }
            if (!err && s.position == KwId_relative) {
                int32_t w = b->availableWidth;
                bool given = false;
                int32_t dx = lengthOr(style, PropId_left, w, 0, &given);
                if (!given)
                    dx = -lengthOr(style, PropId_right, w, 0, nullptr);
                int32_t dy = -lengthOr(style, PropId_top, w, 0, &given);
                if (!given)
                    dy = lengthOr(style, PropId_bottom, w, 0, nullptr);
                b->layerOffset[0] = dx;
                b->layerOffset[1] = dy;
            }
        } else {
            Rect c = {b->avail[0], b->avail[1], b->avail[2], b->avail[3]};
            int32_t dx = 0, dy = 0;
            if (isAuto(style, PropId_left) && !isAuto(style, PropId_right))
                dx = sat(int64_t(c.x1) + s.margin[3] + s.border[3] - bounds.x1);
            if (isAuto(style, PropId_top) && !isAuto(style, PropId_bottom) && c.y0 > Layout_openLow)
                dy = sat(int64_t(c.y0) - s.margin[1] - s.border[1] - bounds.y0);
            b->layerOffset[0] = dx;
            b->layerOffset[1] = dy;
            translateRect(&bounds, dx, dy);
            b->maxX = std::max(b->maxX, bounds.x1);
            b->minY = std::min(b->minY, bounds.y0);
            Rect_setEmpty(&bounds);
        }
        Box_setBoundsRect(b, bounds);
    }
    if (!err) {
        LayerList_translate(own, b->layerOffset[0], b->layerOffset[1]);
        if (absolute)
            LayerList_setFixed(own, placed & 3);
        if (absolute || s.position == KwId_relative) {
            int32_t z = 0;
            int32_t key = Edr_Style_getKeyword(style, PropId_zIndex, &z) ? LayerList_mapKey(z)
                                                                         : kPositionedKey;
            LayerList_collapseAll(own, key, 0);
        }
        err = LayerList_merge(b->layers, own);
    }
    if (err)
        LayerList_freeItems(own);
    LayerList_destroy(own);
    b->layerOffset[0] = b->layerOffset[1] = 0;
    return err;
}

// ------------------------------------------------------------ deferred floats

int Layout_layoutDeferred(LayoutBox **box, BoxIter *iter, Rect *out)
{
    for (;;) {
        IterEntry e{};
        BoxIter_takeDeferred(iter, &e);
        if (!e.node)
            return Res_ok;
        if (Edr_Node_type(e.node) != Edr_NodeType_group)
            continue;
        LayoutBox *b = *box;
        Rect saved = Box_boundsRect(b);
        Rect empty = Rect_emptyBound;
        Box_setBoundsRect(b, empty);
        LineCounter fresh{};
        int err = Layout_layoutBlock(box, e.node, e.style, b->block.contentLeft,
                                     b->block.contentRight, &fresh, 0);
        b = *box;
        Rect placed = Box_boundsRect(b);
        if (out)
            Rect_unionNonEmpty(out, &placed);
        Rect_unionNonEmpty(&placed, &saved);
        Box_setBoundsRect(b, placed);
        if (err)
            return err;
    }
}

// ------------------------------------------------------------ cells

int Layout_layoutCell(LayoutBox **box, Edr_Node *node, Edr_Style *style, int32_t x, int32_t y,
                      int32_t size[2])
{
    if (size)
        size[0] = size[1] = 0;
    LayoutBox *b = *box;
    int32_t width = Layout_unconstrained, height = Layout_unconstrained;
    bool hasHeight = false;
    width = lengthOr(style, PropId_width, b->availableWidth, Layout_unconstrained, nullptr);
    height = lengthOr(style, PropId_height, b->availableWidth, Layout_unconstrained, &hasHeight);
    int64_t x1 = int64_t(x) + width;
    Rect cell{x, INT32_MIN, x1 > INT32_MAX ? INT32_MAX : int32_t(x1), y};
    if (cell.x0 >= cell.x1 || y < -0x7FFFFFFF)
        return Res_ok;
    FloatArea *area = nullptr;
    int err = FloatArea_create(&cell, &area);
    if (err)
        return err;
    LayerList *own = LayerList_create();
    if (!own) {
        FloatArea_destroy(area);
        return Res_noMemory;
    }
    err = Box_pushState(b);
    if (err) {
        LayerList_destroy(own);
        FloatArea_destroy(area);
        return err;
    }
    Box_applyStyle(b, style);
    FloatArea *savedItems = b->items;
    LayerList *savedLayers = b->layers;
    auto savedOverflow = b->overflow;
    b->items = area;
    b->layers = own;
    b->overflow = Layout_noRegion;
    b->block.leftOffset = b->block.rightOffset = 0;
    b->availableWidth = sat(int64_t(cell.x1) - cell.x0);
    b->avail[0] = cell.x0;
    b->avail[1] = cell.y0;
    b->avail[2] = cell.x1;
    b->avail[3] = cell.y1;
    FloatArea_setBand(area, 0, 0, 0, 0);
    LineCounter lines{};
    err = Layout_layoutByDisplay(box, node, style, &lines);
    b = *box;
    Rect content = Box_boundsRect(b);
    int32_t contentHeight =
        Rect_isNonEmpty(&content) ? sat(int64_t(y) - content.y0 + LineCounter_extent(&lines)) : 0;
    b->items = savedItems;
    b->layers = savedLayers;
    b->overflow = savedOverflow;
    uint32_t anchor = keyword(style, PropId_verticalAnchor);
    if (!err && anchor == KwId_bottom)
        LayerList_translate(own, 0, contentHeight);
    else if (!err && anchor == KwId_middle)
        LayerList_translate(own, 0, contentHeight / 2);
    if (!err && hasHeight && keyword(style, PropId_overflow) == KwId_hidden &&
        contentHeight > height) {
        int64_t bottom = int64_t(y) - height;
        int32_t ascent = 0, descent = 0;
        (void)Layout_textAscent(b, style, &ascent, &descent);
        bottom -= int64_t(ascent) + descent;
        Rect clip{cell.x0, bottom < INT32_MIN ? INT32_MIN : int32_t(bottom), cell.x1, y};
        err = LayerList_clipToRect(own, &clip, 0);
    }
    if (!err) {
        if (const Matrix *m =
                reinterpret_cast<const Matrix *>(Edr_Style_getType11(style, PropId_transform))) {
            int32_t h = hasHeight ? height : contentHeight;
            Point origin{sat(int64_t(x) + (width == Layout_unconstrained ? 0 : width / 2)),
                         anchor == KwId_bottom   ? sat(int64_t(y) + h / 2)
                         : anchor == KwId_middle ? y
                                                 : sat(int64_t(y) - h / 2)};
            err = LayerList_transform(own, m, &origin, 0);
        }
    }
    if (!err)
        err = LayerList_merge(b->layers, own);
    if (err)
        LayerList_freeItems(own);
    LayerList_destroy(own);
    FloatArea_destroy(area);
    if (size) {
        size[0] = Rect_isNonEmpty(&content) ? sat(int64_t(content.x1) - x) : 0;
        if (width != Layout_unconstrained)
            size[0] = width;
        size[1] = hasHeight ? height : contentHeight;
    }
    Box_popState(b);
    return err;
}

// ------------------------------------------------------------ frame sets

namespace {

// A frame set's rows or cols list split over total: *entries (Mem_free)
// and their number, 0 when the set gives no list or one of one entry.
int blocklayoutFrameList(Edr_Doc *doc, Edr_Node *node, const char16_t *name, int32_t total,
                         FrameLength **entries, uint32_t *count)
{
    *entries = nullptr;
    *count = 0;
    // The set's element keeps its lists as text among its attributes.
    const Edr_Group *g = Edr_Node_group(node);
    const StyleRule *attrs = g && g->ext ? g->ext->props[0] : nullptr;
    const StylePropItem *item =
        attrs ? StyleRule_findProp(attrs, Edr_Web_attributeId(doc->app, name, Ustr_len(name)))
              : nullptr;
    int err = Res_ok;
    if (item && item->value.type == PropType_ustr)
        err = FrameSet_splitLengths(reinterpret_cast<const char16_t *>(item->value.payload),
                                    item->value.payload2, total, entries, count);
    if (!err && *count == 0) {
        Mem_free(*entries);
        *entries = nullptr;
    }
    return err;
}

// Lays out the children of a frame set (rows: one below the other) or of
// one of its rows (side by side) inside the box of width by height whose
// top-left corner is (x, y). cols is the enclosing set's cols list, which
// a row splits its width by. A child takes its list entry along the
// direction and the whole box across it; without a list a frame fills
// the box and any other child takes its own laid-out extent. size
// receives the extent used.
int blocklayoutFrameSet(LayoutBox **box, Edr_Node *node, Edr_Style *style, int32_t x, int32_t y,
                        int32_t width, int32_t height, const FrameLength *cols, uint32_t colCount,
                        int32_t size[2])
{
    size[0] = size[1] = 0;
    // Frame sets nest as deep as the markup: too little stack left for
    // another level is reported and the rest is missing.
    if (Edr_Style_stackLeft((*box)->document) <= Layout_nestedStackMargin) {
        post((*box)->document, DocMsg_codeStackExhausted);
        return Res_stackExhausted;
    }
    uint32_t kind = keyword(style, PropId_display);
    bool across = kind == KwId_framesetColumns && (*box)->flowMode == 0;
    FrameLength *own[2] = {nullptr, nullptr}; // rows, cols of a frame set
    uint32_t ownCount[2] = {0, 0};
    int err = Res_ok;
    if (kind == KwId_framesetRows) {
        err = blocklayoutFrameList((*box)->document, node, u"rows", height, &own[0], &ownCount[0]);
        if (!err)
            err =
                blocklayoutFrameList((*box)->document, node, u"cols", width, &own[1], &ownCount[1]);
    }
    const FrameLength *list = across ? cols : own[0];
    uint32_t count = across ? colCount : ownCount[0];
    const int32_t x0 = x, y0 = y;
    uint32_t index = 0;
    for (Edr_Node *c = Edr_Node_firstChild(node); c && !err; c = Edr_Node_nextSibling(c)) {
        if (Edr_Node_type(c) != Edr_NodeType_group)
            continue;
        Edr_Style *cs = nullptr;
        err = Edr_Style_computeForNode((*box)->document, &cs, style, c);
        if (err)
            break;
        uint32_t display = keyword(cs, PropId_display);
        if (display == KwId_none) {
            Edr_Style_release(cs);
            continue;
        }
        // Past the last entry of a list a child gets no room.
        bool listed = list != nullptr;
        int32_t along =
            listed ? (index < count ? list[index].value : 0) : (across ? width : height);
        index++;
        int32_t w = across ? along : width, h = across ? height : along;
        int32_t extent[2] = {0, 0};
        int32_t border = 0;
        if (display == KwId_framesetRows || display == KwId_framesetColumns) {
            // A row of this set splits by its cols; a nested set by its own.
            bool row = display == KwId_framesetColumns && kind == KwId_framesetRows;
            err = blocklayoutFrameSet(box, c, cs, x, y, w, h, row ? own[1] : nullptr,
                                      row ? ownCount[1] : 0, extent);
            if (listed || row)
                extent[0] = w, extent[1] = h;
        } else if (display == KwId_frameBox) {
            Rect r{x, sat(int64_t(y) - h), sat(int64_t(x) + w), y};
            err = Layout_placeFrameDocument(*box, c, cs, &r);
            extent[0] = w;
            extent[1] = h;
        } else {
            err = Layout_layoutCell(box, c, cs, x, y, extent);
            int32_t borders[2] = {0, 0};
            Edr_Style_getHorizontalEdges(cs, nullptr, borders, nullptr, (*box)->availableWidth);
            border = borders[1];
            if (listed)
                (across ? extent[0] : extent[1]) = along;
        }
        Edr_Style_release(cs);
        Rect placed{x, sat(int64_t(y) - extent[1]), sat(int64_t(x) + extent[0]), y};
        Rect all = Box_boundsRect(*box);
        Rect_unionNonEmpty(&all, &placed);
        Box_setBoundsRect(*box, all);
        if (across) {
            x = sat(int64_t(x) + extent[0] + 2 * int64_t(border));
            size[0] = sat(int64_t(x) - x0);
            size[1] = std::max(size[1], extent[1]);
        } else {
            y = sat(int64_t(y) - extent[1] - 2 * int64_t(border));
            size[1] = sat(int64_t(y0) - y);
            size[0] = std::max(size[0], extent[0]);
        }
    }
    Mem_free(own[0]);
    Mem_free(own[1]);
    return err;
}

} // namespace

int Layout_layoutFrameSet(LayoutBox **box, Edr_Node *node, Edr_Style *style, int32_t size[2])
{
    LayoutBox *b = *box;
    Rect f = firstFree(b);
    // The set fills the box it is given, else the free width and the
    // page's height (a page without a bottom: the frame-set window's).
    int32_t width = size[0] > 0   ? size[0]
                    : f.x1 > f.x0 ? sat(int64_t(f.x1) - f.x0)
                                  : b->availableWidth;
    int32_t height = size[1];
    if (height <= 0)
        height = b->pageRect[1] != Layout_unset && b->pageRect[3] > b->pageRect[1]
                     ? sat(int64_t(b->pageRect[3]) - b->pageRect[1])
                     : FrameState_rootHeight;
    return blocklayoutFrameSet(box, node, style, f.x0, f.y1, width, height, nullptr, 0, size);
}

// ------------------------------------------------------------ tables

int Layout_placeTable(LayoutBox **box, Edr_Style *style, Edr_Node *node)
{
    Edr_Doc *doc = (*box)->document;
    if (Edr_Style_stackLeft(doc) <= Layout_nestedStackMargin) {
        // Too deep for a table: reported, and the caller learns that the
        // table is missing.
        post(doc, DocMsg_codeStackExhausted);
        return Res_stackExhausted;
    }
    uint32_t savedInTable = (*box)->inTable;
    (*box)->inTable = savedInTable + 1;
    LayerList *list = LayerList_create();
    if (!list) {
        (*box)->inTable = savedInTable;
        return Res_noMemory;
    }
    int err = Res_ok;
    // The band still holds the edges of the last line laid out, which may
    // be an indented paragraph's: the table starts from its own block's
    // edges.
    FloatArea_setBand((*box)->items, (*box)->block.leftOffset, (*box)->block.rightOffset, 0, 0);
    const Rect *r = nullptr;
    FloatArea_first((*box)->items, &r, FloatArea_fromLeft);
    if (!r)
        err = Layout_breakRegion(box, &r, FloatArea_fromLeft, (*box)->lines);
    int32_t minWidth = 0, maxWidth = 0;
    if (!err && r)
        err = TableLayout_measure(*box, node, style, &minWidth, &maxWidth);
    Rect chosen{};
    bool found = false;
    if (!err && r) {
        // The widest rectangle seen, for a table wider than them all.
        Rect widest = *r;
        bool broke = false;
        for (;;) {
            for (; r; FloatArea_next((*box)->items, &r)) {
                if ((*box)->flowMode || int64_t(r->x1) - r->x0 >= minWidth) {
                    chosen = *r;
                    found = true;
                    break;
                }
                if (int64_t(r->x1) - r->x0 > int64_t(widest.x1) - widest.x0)
                    widest = *r;
            }
            if (found || broke)
                break;
            broke = true;
            err = Layout_breakRegion(box, &r, FloatArea_fromLeft, (*box)->lines);
            if (err || !r)
                break;
            widest = *r;
        }
        if (!err && !found) {
            // Not even the widest room holds the table: it is laid out
            // there with its columns at their minimum widths, as wide as
            // it must be, reaching past the right edge.
            chosen = widest;
            found = true;
        }
    }
    if (!err && !found)
        err = Layout_lineFull;
    Rect table = Rect_emptyBound;
    if (!err)
        err = TableLayout_run(box, node, style, &chosen, list, &table);
    LayoutBox *b = *box;
    if (!err && Rect_isNonEmpty(&table)) {
        const BlockState &s = b->block;
        bool floated = s.floatSide == KwId_left || s.floatSide == KwId_right;
        if (!floated) {
            if (Edr_Doc_getTypeCode(doc) != kHtmlType) {
                int64_t freeWidth = int64_t(chosen.x1) - chosen.x0 - (int64_t(table.x1) - table.x0);
                int32_t dx = 0;
                if (s.hAlign == KwId_center)
                    dx = sat(freeWidth / 2);
                else if (s.hAlign == KwId_right)
                    dx = sat(freeWidth);
                LayerList_translate(list, dx, 0);
                translateRect(&table, dx, 0);
            }
            Rect taken{INT32_MIN, table.y0, INT32_MAX, INT32_MAX};
            err = FloatArea_occupy(b->items, &taken);
        }
        Rect all = Box_boundsRect(b);
        Rect_unionNonEmpty(&all, &table);
        Box_setBoundsRect(b, all);
    }
    if (!err)
        err = LayerList_merge(b->layers, list);
    if (err)
        LayerList_freeItems(list);
    LayerList_destroy(list);
    b->inTable = savedInTable;
    return err;
}
