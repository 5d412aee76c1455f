// Box states: entering a block saves the box's block state in a frame one
// deeper than the current top (frames are allocated once per depth and
// reused), leaving it restores the state with the block's bounds united
// in; and the block state read from a computed style.
#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/propids.h"
#include "document/edr/doc.h"
#include "document/style/style.h"
#include "document/style/styleread.h"
#include "layout/floatarea.h"
#include "layout/layout.h"

namespace {

constexpr int32_t kUnconstrained = 0x2AAAAAAA;
constexpr uint32_t kMarkedBlockFlags = 73;
constexpr uint32_t kOverflowHiddenFlags = 40;
constexpr uint32_t kTooWideFlags = 12;

bool boundsEmpty(const int32_t b[4])
{
    return b[0] > b[2] || b[1] > b[3];
}

void emptyBounds(int32_t b[4])
{
    b[0] = b[1] = INT32_MAX;
    b[2] = b[3] = INT32_MIN;
}

bool isAuto(const Edr_Style *style, uint32_t id)
{
    uint32_t t = Edr_Style_get(style, id, nullptr);
    return t == 0 || t == KwId_auto;
}

} // namespace

LayoutBox *Box_create(Edr_Doc *doc)
{
    LayoutBox *box = static_cast<LayoutBox *>(Mem_calloc(1, sizeof(LayoutBox)));
    BoxShared *shared = static_cast<BoxShared *>(Mem_calloc(1, sizeof(BoxShared)));
    if (!box || !shared) {
        Mem_free(box);
        Mem_free(shared);
        return nullptr;
    }
    shared->refCount = 1;
    box->shared = shared;
    box->document = doc;
    box->context = doc ? doc->app : nullptr;
    emptyBounds(box->bounds);
    box->block.itemMark = Layout_unset;
    return box;
}

void Box_free(LayoutBox *box)
{
    if (!box)
        return;
    BoxShared *shared = box->shared;
    if (shared && --shared->refCount == 0) {
        while (shared->top)
            Box_popState(box);
        BoxFrame *f = shared->bottom;
        while (f) {
            BoxFrame *deeper = f->deeper;
            Mem_free(f);
            f = deeper;
        }
        Mem_free(shared);
    }
    Mem_free(box);
}

int Box_pushState(LayoutBox *box)
{
    BoxShared *shared = box->shared;
    BoxFrame *top = shared->top;
    BoxFrame *f = top ? top->deeper : shared->bottom;
    if (!f) {
        f = static_cast<BoxFrame *>(Mem_calloc(1, sizeof(BoxFrame)));
        if (!f)
            return Res_noMemory;
        if (top)
            top->deeper = f;
        else
            shared->bottom = f;
    }
    f->below = top;
    f->stateFlags = box->stateFlags;
    f->availableWidth = box->availableWidth;
    f->savedWord = box->savedWord;
    std::memcpy(f->avail, box->avail, sizeof(f->avail));
    std::memcpy(f->bounds, box->bounds, sizeof(f->bounds));
    f->maxX = box->maxX;
    f->minY = box->minY;
    f->block = box->block;
    emptyBounds(box->bounds);
    shared->top = f;
    return Res_ok;
}

void Box_popState(LayoutBox *box)
{
    BoxShared *shared = box->shared;
    BoxFrame *f = shared ? shared->top : nullptr;
    if (!f)
        return;
    if (box->block.itemMark != Layout_unset && box->items)
        FloatArea_setClearOffset(box->items, box->block.itemMark);
    if (!boundsEmpty(box->bounds)) {
        int64_t x0 = int64_t(box->bounds[0]) - box->block.margin[2];
        int64_t x1 = int64_t(box->bounds[2]) + box->block.margin[3];
        x0 = std::clamp<int64_t>(x0, INT32_MIN, INT32_MAX);
        x1 = std::clamp<int64_t>(std::max(x1, x0), INT32_MIN, INT32_MAX);
        box->bounds[0] = int32_t(x0);
        box->bounds[2] = int32_t(x1);
    }
    if (!boundsEmpty(f->bounds)) {
        if (boundsEmpty(box->bounds)) {
            std::memcpy(box->bounds, f->bounds, sizeof(box->bounds));
        } else {
            box->bounds[0] = std::min(box->bounds[0], f->bounds[0]);
            box->bounds[1] = std::min(box->bounds[1], f->bounds[1]);
            box->bounds[2] = std::max(box->bounds[2], f->bounds[2]);
            box->bounds[3] = std::max(box->bounds[3], f->bounds[3]);
        }
    }
    box->stateFlags = f->stateFlags;
    box->availableWidth = f->availableWidth;
    box->savedWord = f->savedWord;
    std::memcpy(box->avail, f->avail, sizeof(box->avail));
    box->block = f->block;
    box->maxX = std::max(box->maxX, f->maxX);
    box->minY = std::min(box->minY, f->minY);
    shared->top = f->below;
}

void Box_applyStyle(LayoutBox *box, Edr_Style *style)
{
    BlockState &b = box->block;
    const BoxFrame *enclosing = box->shared ? box->shared->top : nullptr;
    b.boxFlags = 0;
    b.itemMark = Layout_unset;
    b.position = box->flowMode ? uint32_t(KwId_static) : Edr_Style_getProp74(style);
    bool absolute = b.position == KwId_absolute;
    int32_t reference =
        absolute ? int32_t(int64_t(box->avail[2]) - box->avail[0]) : box->availableWidth;

    Edr_Edges m{}, bo{}, p{};
    int32_t band = box->items ? FloatArea_bandWidth(box->items) : reference;
    Edr_Style_getEdges(style, &m, &bo, &p, band);
    const int32_t margins[4] = {m.top, m.bottom, m.left, m.right};
    const int32_t borders[4] = {bo.top, bo.bottom, bo.left, bo.right};
    const int32_t paddings[4] = {p.top, p.bottom, p.left, p.right};
    std::memcpy(b.margin, margins, sizeof(b.margin));
    std::memcpy(b.border, borders, sizeof(b.border));
    std::memcpy(b.padding, paddings, sizeof(b.padding));
    b.display = Edr_Style_get(style, PropId_display, nullptr);
    b.direction = Edr_Style_get(style, PropId_direction, nullptr);
    b.floatSide = Edr_Style_get(style, PropId_float, nullptr);
    b.textAlign = Edr_Style_getProp79Or33(style);

    box->maxX = box->minY = 0;
    b.width = 0;
    int32_t width = 0;
    bool hasWidth =
        !isAuto(style, PropId_width) && Edr_Style_clampProp90(style, &width, 0, reference) != 0;
    if (hasWidth) {
        b.boxFlags |= BoxFlag_width;
        b.width = width == INT32_MIN ? INT32_MAX : (width < 0 ? -width : width);
    }
    if (Edr_Style_get(style, PropId_boxRecord, nullptr) != 0 && box->flowMode != 3) {
        b.width = kUnconstrained;
        b.boxFlags |= kMarkedBlockFlags;
    }
    if (b.display == KwId_markedBlock)
        b.boxFlags |= BoxFlag_outOfFlow;
    if (hasWidth && box->flowMode == 0 && int64_t(b.width) + b.margin[2] + b.margin[3] > reference)
        b.boxFlags |= kTooWideFlags;
    bool leftSet = !isAuto(style, PropId_left), rightSet = !isAuto(style, PropId_right);
    if (leftSet)
        b.boxFlags |= BoxFlag_left;
    if (rightSet)
        b.boxFlags |= BoxFlag_right;
    if (Edr_Style_get(style, PropId_overflow, nullptr) == KwId_hidden)
        b.boxFlags |= kOverflowHiddenFlags;
    bool floated = b.floatSide == KwId_left || b.floatSide == KwId_right;
    if (absolute || floated) {
        b.boxFlags |= BoxFlag_outOfFlow;
        if (absolute)
            b.boxFlags |= BoxFlag_positioned;
    }
    if (b.position == KwId_relative)
        b.boxFlags |= BoxFlag_positioned;
    box->stateFlags &= ~uint32_t(BoxState_shrinkToFit | BoxState_resetsCounter);
    if ((floated || absolute) && !hasWidth && !(leftSet && rightSet))
        box->stateFlags |= BoxState_shrinkToFit;
    if (Edr_Style_get(style, PropId_counterReset, nullptr) == KwId_listItem)
        box->stateFlags |= BoxState_resetsCounter;

    // Alignment in the container: the enclosing block's text-align, then
    // the auto margins.
    uint32_t h =
        enclosing && !absolute && b.position != KwId_relative ? enclosing->block.textAlign : 0;
    bool autoLeft = Edr_Style_get(style, PropId_marginLeft, nullptr) == KwId_auto;
    bool autoRight = Edr_Style_get(style, PropId_marginRight, nullptr) == KwId_auto;
    if (!absolute) {
        if (autoLeft && autoRight)
            h = KwId_center;
        else if (autoLeft)
            h = KwId_right;
        else if (autoRight)
            h = KwId_left;
    } else if (autoLeft && autoRight) {
        if (!leftSet)
            h = rightSet ? KwId_right : KwId_left;
        else if (!rightSet)
            h = KwId_left;
        else if (hasWidth)
            h = KwId_center;
    } else if (autoLeft) {
        h = rightSet ? KwId_right : KwId_left;
    } else if (autoRight) {
        h = !leftSet && rightSet ? KwId_right : KwId_left;
    }
    // The start side is no alignment.
    bool rtl = b.direction == KwId_rtl;
    if ((!rtl && h == KwId_left) || (rtl && h == KwId_right))
        h = 0;
    b.hAlign = h;
}
