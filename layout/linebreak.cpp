// The small arithmetic of lines: the line counter, line alignment, placing
// an item at a line limit, clearing past floats, tab stops and break
// opportunities.
#include "core/container/obj.h"
#include "core/geom/tabstops.h"
#include "core/result.h"
#include "core/style/propids.h"
#include "document/style/style.h"
#include "document/style/styleread.h"
#include "layout/floatarea.h"
#include "layout/layout.h"
#include "layout/line.h"

namespace {

bool isWhite(uint32_t c)
{
    return c == 32 || (c >= 9 && c <= 13);
}

// Thai marks that never begin a break: U+0E31, U+0E33 to U+0E3A, U+0E45 and
// U+0E47 to U+0E4E.
bool isThaiMark(uint32_t c)
{
    return c == 0x0E31 || (c >= 0x0E33 && c <= 0x0E3A) || c == 0x0E45 ||
           (c >= 0x0E47 && c <= 0x0E4E);
}

int32_t addWrap(int32_t a, int32_t b)
{
    return int32_t(uint32_t(a) + uint32_t(b));
}

} // namespace

void LineCounter_newLine(LineCounter *lines)
{
    lines->extent = 0;
    lines->count++;
}

uint32_t LineCounter_count(const LineCounter *lines)
{
    return lines->count;
}

int32_t LineCounter_extent(const LineCounter *lines)
{
    return lines->extent;
}

void LineCounter_reset(LineCounter *lines)
{
    lines->extent = 0;
    lines->count = 0;
}

void Layout_raise(int32_t *value, int32_t candidate)
{
    if (candidate > *value)
        *value = candidate;
}

int32_t Layout_alignOffset(uint32_t textAlign, uint32_t whiteSpace, uint32_t direction,
                           int32_t free)
{
    if (free < 0 && whiteSpace != KwId_nowrap && whiteSpace != KwId_pre)
        return 0;
    bool rtl = direction == KwId_rtl;
    switch (textAlign) {
    case KwId_left: return rtl ? -free : 0;
    case KwId_right: return rtl ? 0 : free;
    case KwId_center: return rtl ? -(free / 2) : free / 2;
    default: return 0; // justify and anything else
    }
}

void Layout_placeAtLimit(ObjHeader *item, uint32_t direction, int32_t *left, int32_t *right,
                         int32_t leading, int32_t trailing)
{
    Rect box = Obj_box(item);
    int32_t width = int32_t(int64_t(box.x1) - box.x0);
    int32_t total = addWrap(addWrap(width, leading), trailing);
    int32_t x;
    if (direction == KwId_rtl) {
        *right = addWrap(*right, -total);
        x = addWrap(*right, leading);
    } else {
        x = addWrap(*left, leading);
        *left = addWrap(*left, total);
    }
    // The item's box keeps its size and starts at x.
    int32_t dx = int32_t(uint32_t(x) - uint32_t(box.x0));
    box.x0 = x;
    box.x1 = addWrap(box.x1, dx);
    Obj_setBox(item, &box);
}

int Layout_clearPosition(LayoutBox *box, const Edr_Style *style)
{
    if (!box || !box->items || !style)
        return Res_ok;
    switch (Edr_Style_get(style, PropId_clear, nullptr)) {
    case KwId_left: FloatArea_clearTo(box->items, 0); break;
    case KwId_right: FloatArea_clearTo(box->items, 1); break;
    case KwId_both: FloatArea_clearTo(box->items, 2); break;
    default: break;
    }
    return Res_ok;
}

// ------------------------------------------------------------------ tab stops

TabList *Layout_tabStops(const Edr_Style *style, TabList *out, int32_t width, uint32_t flow)
{
    if (!style || !out)
        return nullptr;
    int32_t interval = 0;
    if (!Edr_Style_getLength(style, PropId_tabInterval, &interval))
        return nullptr;
    *out = TabList{};
    int32_t origin = 0;
    if (!flow && Edr_Style_getLength(style, PropId_tabOrigin, &origin))
        out->origin = origin;
    if (flow && interval > width / 4)
        interval = width / 4;
    out->interval = interval;
    Edr_StylePayload p{};
    if (Edr_Style_get(style, PropId_tabStops, &p) == PropType_tabStops && p.word) {
        const TabStopList *list = reinterpret_cast<const TabStopList *>(p.word);
        if (list->stopCount > 0) {
            out->stopCount = list->stopCount;
            out->stops = &list->stops[0].stopPosition;
            static_assert(sizeof(TabStop) == 2 * sizeof(int32_t), "stops are word pairs");
            if (flow && width > 0 && list->stops[list->stopCount - 1].stopPosition > width)
                out->spreadWidth = width;
        }
    }
    return out;
}

namespace {

int32_t stopPosition(const TabList *tabs, int32_t i)
{
    if (tabs->spreadWidth)
        return int32_t(int64_t(i + 1) * (tabs->spreadWidth / tabs->stopCount));
    return tabs->stops[2 * i];
}

} // namespace

int Layout_tabStop(const TabList *tabs, int32_t *x)
{
    if (!tabs)
        return 0;
    int32_t ref = tabs->direction == KwId_rtl ? tabs->ref[1] : tabs->ref[0];
    for (int32_t i = 0; i < tabs->stopCount; i++) {
        int64_t t = int64_t(tabs->origin) + stopPosition(tabs, i);
        if (t <= *x)
            continue;
        if (i == tabs->stopCount - 1 && (uint32_t(tabs->stops[2 * i + 1]) & 7) != 0) {
            // A last stop that aligns text other than to its left: the
            // run steps on a little instead of jumping to it.
            *x = addWrap(*x, 4096);
            return 1;
        }
        *x = (*x < ref && ref < t) ? ref : int32_t(t);
        return 1;
    }
    if (*x < ref) {
        *x = ref;
        return 1;
    }
    if (tabs->interval > 0) {
        int64_t k = (int64_t(*x) - tabs->origin) / tabs->interval;
        int64_t next = int64_t(tabs->origin) + k * tabs->interval;
        while (next <= *x)
            next += tabs->interval;
        *x = next > INT32_MAX ? INT32_MAX : int32_t(next);
        return 1;
    }
    return tabs->interval == 0 ? 1 : 0;
}

// ------------------------------------------------------- break opportunities

int LineBreak_isWordChar(uint32_t c)
{
    if (isWhite(c))
        return 0;
    switch (c >> 8) {
    case 0x00:
    case 0x01:
    case 0x03:
    case 0x04:
    case 0x05:
    case 0x06:
    case 0x09:
    case 0x0A:
    case 0x0B:
    case 0x1E:
    case 0x20: return 1;
    default: return 0;
    }
}

int LineBreak_findBefore(const char16_t *text, uint32_t length, uint32_t *index)
{
    uint32_t i = *index;
    if (i < length && !LineBreak_isWordChar(text[i]) && !isThaiMark(text[i]))
        return 1;
    while (i > 0) {
        uint32_t c = text[i - 1];
        if (isWhite(c)) {
            *index = i - 1;
            return 1;
        }
        if (!LineBreak_isWordChar(c)) {
            // A break after c, unless a mark would begin the next piece;
            // then before c, unless c is a mark itself.
            if (i >= length || !isThaiMark(text[i])) {
                *index = i;
                return 1;
            }
            if (!isThaiMark(c) && i - 1 > 0) {
                *index = i - 1;
                return 1;
            }
        }
        i--;
    }
    *index = 0;
    return 0;
}

int LineBreak_findAfter(const char16_t *text, uint32_t length, uint32_t *index)
{
    uint32_t i = *index;
    if (i > 0 && i <= length && !LineBreak_isWordChar(text[i - 1]) && !isThaiMark(text[i - 1]) &&
        (i == length || !isThaiMark(text[i])))
        return 1;
    while (i < length && LineBreak_isWordChar(text[i]))
        i++;
    while (i < length && isThaiMark(text[i]))
        i++;
    *index = i;
    return i < length ? 1 : 0;
}
