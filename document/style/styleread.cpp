// Typed readers of style sets: simple reads by type, measures against a
// reference, colours with fallbacks, border sides, the line record and the
// horizontal and vertical box edges.
//
// With flag bit 0 (a narrow view), margins and paddings are limited so that
// a box never spends most of a narrow screen on its edges.
#include "document/style/styleread.h"

#include <algorithm>

#include "document/edr/doc.h"
#include "document/edr/layoutops.h"
#include "core/style/propids.h"

namespace {

int32_t payloadInt(const Edr_StylePayload &p)
{
    return int32_t(uint32_t(p.word));
}

// The measure of id against reference, 0 when unset.
int32_t measureOr0(const Edr_Style *set, uint32_t id, int32_t reference)
{
    int32_t v = 0;
    if (!Edr_Style_getMeasure(set, id, &v, reference))
        return 0;
    return v;
}

int32_t lengthOr0(const Edr_Style *set, uint32_t id)
{
    int32_t v = 0;
    return Edr_Style_getLength(set, id, &v) ? v : 0;
}

// Limits a pair {side 15, side 17} against reference (flag bit 0 only).
void limitPair(const Edr_Style *set, int32_t pair[2], int32_t reference)
{
    int32_t limit =
        Edr_Style_isFlag4(set) ? reference / 128 : std::min(reference / 2, int32_t(103082));
    int32_t small = reference / 128;
    int order[3] = {0, 1, -1};
    if (Edr_Style_equals(set, PropId_direction, KwId_rtl)) {
        order[0] = 1;
        order[1] = 0;
        order[2] = 1;
    }
    for (int i = 0; i < 3 && order[i] >= 0; i++) {
        if (int64_t(pair[0]) + pair[1] <= limit)
            break;
        pair[order[i]] = small;
    }
}

} // namespace

// ----------------------------------------------------------- simple reads

uint32_t Edr_Style_getValue(const Edr_Style *set, uint32_t id, uint32_t *type)
{
    uint32_t t = Edr_Style_get(set, id, nullptr);
    if (type)
        *type = t;
    return t;
}

namespace {

uintptr_t wordIfType(const Edr_Style *set, uint32_t id, uint32_t type)
{
    Edr_StylePayload p{};
    return Edr_Style_get(set, id, &p) == type ? p.word : 0;
}

} // namespace

uintptr_t Edr_Style_getString(const Edr_Style *set, uint32_t id)
{
    return wordIfType(set, id, PropType_ustr);
}

uintptr_t Edr_Style_getType11(const Edr_Style *set, uint32_t id)
{
    return wordIfType(set, id, PropType_matrix);
}

uintptr_t Edr_Style_getPayload16(const Edr_Style *set, uint32_t id)
{
    return wordIfType(set, id, PropType_columns);
}

int Edr_Style_getLength(const Edr_Style *set, uint32_t id, int32_t *out)
{
    Edr_StylePayload p{};
    if (Edr_Style_get(set, id, &p) != PropType_length)
        return 0;
    *out = payloadInt(p);
    return 1;
}

int Edr_Style_getKeyword(const Edr_Style *set, uint32_t id, int32_t *out)
{
    Edr_StylePayload p{};
    if (Edr_Style_get(set, id, &p) != PropType_int)
        return 0;
    *out = payloadInt(p);
    return 1;
}

int Edr_Style_getMeasure(const Edr_Style *set, uint32_t id, int32_t *out, int32_t reference)
{
    Edr_StylePayload p{};
    uint32_t type = Edr_Style_get(set, id, &p);
    if (type == PropType_length) {
        *out = payloadInt(p);
        return 1;
    }
    if (type != PropType_percent || reference == 0 || reference == Edr_Style_refUnknown)
        return 0;
    if (uint32_t(reference) == Edr_Style_refNoStore)
        return 1;
    *out = int32_t(int64_t(reference) * payloadInt(p) / (int64_t(100) << 16));
    return 1;
}

void Edr_Style_getWithFallback(const Edr_Style *set, uint32_t id, uint8_t out[4],
                               uint32_t paletteIndex)
{
    Edr_StylePayload p{};
    uint32_t type = Edr_Style_get(set, PropId_colourOverride, &p);
    if (type != PropType_colour)
        type = Edr_Style_get(set, id, &p);
    if (type == PropType_colour) {
        uint32_t w = uint32_t(p.word);
        out[0] = uint8_t(w);
        out[1] = uint8_t(w >> 8);
        out[2] = uint8_t(w >> 16);
        out[3] = uint8_t(w >> 24);
    } else if (type == KwId_transparent) {
        out[0] = out[1] = out[2] = out[3] = 0;
    } else {
        Edr_Layout_paletteColour(nullptr, paletteIndex, out);
    }
}

int Edr_Style_getProp47(const Edr_Style *set, int32_t base, int32_t *out)
{
    Edr_StylePayload p{};
    uint32_t type = Edr_Style_get(set, PropId_lineHeight, &p);
    if (type == PropType_length) {
        *out = payloadInt(p);
        return 1;
    }
    if (type == PropType_int) {
        *out = int32_t(int64_t(base) * payloadInt(p) / 65536);
        return 1;
    }
    return 0;
}

uint32_t Edr_Style_getProp79Or33(const Edr_Style *set)
{
    uint32_t t = Edr_Style_get(set, PropId_textAlign, nullptr);
    if (t)
        return t;
    return Edr_Style_equals(set, PropId_direction, KwId_rtl) ? KwId_right : KwId_left;
}

uint32_t Edr_Style_getProp74(const Edr_Style *set)
{
    if (Edr_Style_isFlag1(set))
        return KwId_static;
    switch (Edr_Style_get(set, PropId_position, nullptr)) {
    case KwId_absolute:
    case KwId_fixed: return KwId_absolute;
    case KwId_relative: return KwId_relative;
    default: return KwId_static;
    }
}

int Edr_Style_equals(const Edr_Style *set, uint32_t id, uint32_t value)
{
    return Edr_Style_get(set, id, nullptr) == value ? 1 : 0;
}

int Edr_Style_equalsEither(const Edr_Style *set, uint32_t id, uint32_t a, uint32_t b)
{
    uint32_t t = Edr_Style_get(set, id, nullptr);
    return t == a || t == b ? 1 : 0;
}

int Edr_Style_testProp87(const Edr_Style *set, int also49, int fallback)
{
    uint32_t t = Edr_Style_get(set, PropId_visibility, nullptr);
    if (t == KwId_hidden || (also49 && t == KwId_collapse))
        return 1;
    if (t == KwId_visible)
        return 0;
    return fallback;
}

uint32_t Edr_Style_borderKind(const Edr_Style *set, uint32_t id)
{
    switch (Edr_Style_get(set, id, nullptr)) {
    case KwId_dashed: return 3;
    case KwId_dotted: return 2;
    case KwId_double: return 5;
    case KwId_groove: return 6;
    case KwId_inset: return 8;
    case KwId_outset: return 9;
    case KwId_ridge: return 7;
    case KwId_solid: return 4;
    default: return 0;
    }
}

// ------------------------------------------------------------ box reads

int Edr_Style_getBorder(const Edr_Style *set, uint32_t side, Edr_Border *out)
{
    uint32_t styleId = PropId_outlineStyle, widthId = PropId_outlineWidth,
             colourId = PropId_outlineColor;
    if (!Edr_Style_borderKind(set, PropId_outlineStyle)) {
        switch (side) {
        case PropId_borderTopStyle:
            styleId = PropId_borderTopStyle, widthId = PropId_borderTopWidth,
            colourId = PropId_borderTopColor;
            break;
        case PropId_borderRightStyle:
            styleId = PropId_borderRightStyle, widthId = PropId_borderRightWidth,
            colourId = PropId_borderRightColor;
            break;
        case PropId_borderBottomStyle:
            styleId = PropId_borderBottomStyle, widthId = PropId_borderBottomWidth,
            colourId = PropId_borderBottomColor;
            break;
        default:
            styleId = PropId_borderLeftStyle, widthId = PropId_borderLeftWidth,
            colourId = PropId_borderLeftColor;
            break;
        }
    }
    out->kind = Edr_Style_borderKind(set, styleId);
    out->width = out->kind ? lengthOr0(set, widthId) : 0;
    Edr_Style_getWithFallback(set, colourId, out->colour, 1);
    return out->kind && out->width && out->colour[3] ? 1 : 0;
}

void Edr_Style_getLineRecord(const Edr_Style *set, int32_t out[6])
{
    int32_t flags = 0;
    switch (Edr_Style_get(set, PropId_stroke, nullptr)) {
    case KwId_lineSolid: flags |= 4; break;
    case KwId_lineOutline: flags |= 2; break;
    default: break;
    }
    switch (Edr_Style_get(set, PropId_startArrow, nullptr)) {
    case KwId_square: flags |= 16; break;
    case KwId_lineOutline: flags |= 8; break;
    case KwId_arrowFilled: flags |= 24; break;
    default: break;
    }
    switch (Edr_Style_get(set, PropId_endArrow, nullptr)) {
    case KwId_square: flags |= 64; break;
    case KwId_lineOutline: flags |= 32; break;
    case KwId_arrowFilled: flags |= 96; break;
    default: break;
    }
    int32_t v = 0;
    out[0] = flags;
    out[1] = Edr_Style_getLength(set, PropId_strokeWidth, &v) ? v : 655;
    out[2] = 0x10000;
    out[3] = Edr_Style_getLength(set, PropId_arrowWidth, &v) ? v : 3276;
    out[4] = Edr_Style_getLength(set, PropId_arrowLength, &v) ? v : 6553;
    out[5] = 0;
}

int Edr_Style_isNarrowBox(const Edr_Style *set)
{
    if (!Edr_Style_equals(set, PropId_overflow, KwId_hidden))
        return 0;
    if (!Edr_Style_isFlag1(set))
        return 1;
    int32_t v = 0;
    if (Edr_Style_getLength(set, PropId_width, &v) && v < 2730)
        return 1;
    if (Edr_Style_getLength(set, PropId_height, &v) && v < 2730)
        return 1;
    return 0;
}

void Edr_Style_getHorizontalEdges(const Edr_Style *set, int32_t margins[2], int32_t borders[2],
                                  int32_t paddings[2], int32_t reference)
{
    bool limit = Edr_Style_isFlag1(set);
    if (margins) {
        margins[0] = measureOr0(set, PropId_marginRight, reference);
        margins[1] = measureOr0(set, PropId_marginLeft, reference);
        if (limit)
            limitPair(set, margins, reference);
        if (margins[1] > -682666 && margins[1] < 0)
            margins[1] = 0;
        if (margins[0] < 0)
            margins[0] = 0;
    }
    if (borders) {
        if (Edr_Style_borderKind(set, PropId_outlineStyle)) {
            borders[0] = borders[1] = lengthOr0(set, PropId_outlineWidth);
        } else {
            borders[0] = Edr_Style_borderKind(set, PropId_borderRightStyle)
                             ? lengthOr0(set, PropId_borderRightWidth)
                             : 0;
            borders[1] = Edr_Style_borderKind(set, PropId_borderLeftStyle)
                             ? lengthOr0(set, PropId_borderLeftWidth)
                             : 0;
        }
        if (limit)
            limitPair(set, borders, reference);
    }
    if (paddings) {
        paddings[0] = measureOr0(set, PropId_paddingRight, reference);
        paddings[1] = measureOr0(set, PropId_paddingLeft, reference);
        if (limit)
            limitPair(set, paddings, reference);
    }
}

void Edr_Style_getVerticalEdges(const Edr_Style *set, Edr_Edges *margins, Edr_Edges *borders,
                                Edr_Edges *paddings, int32_t reference)
{
    int32_t limit = Edr_Style_isFlag4(set) ? 5461 : 68266;
    auto limited = [&](int32_t v) {
        return Edr_Style_isFlag1(set) && v > limit ? int32_t(5461) : v;
    };
    if (borders) {
        if (Edr_Style_borderKind(set, PropId_outlineStyle)) {
            borders->top = borders->bottom = lengthOr0(set, PropId_outlineWidth);
        } else {
            borders->top = Edr_Style_borderKind(set, PropId_borderTopStyle)
                               ? lengthOr0(set, PropId_borderTopWidth)
                               : 0;
            borders->bottom = Edr_Style_borderKind(set, PropId_borderBottomStyle)
                                  ? lengthOr0(set, PropId_borderBottomWidth)
                                  : 0;
        }
    }
    if (paddings) {
        paddings->top = limited(measureOr0(set, PropId_paddingTop, reference));
        paddings->bottom = limited(measureOr0(set, PropId_paddingBottom, reference));
    }
    if (margins) {
        margins->top = limited(measureOr0(set, PropId_marginTop, reference));
        margins->bottom = limited(measureOr0(set, PropId_marginBottom, reference));
    }
}

void Edr_Style_getEdges(const Edr_Style *set, Edr_Edges *margins, Edr_Edges *borders,
                        Edr_Edges *paddings, int32_t reference)
{
    int32_t m[2] = {}, b[2] = {}, p[2] = {};
    Edr_Style_getHorizontalEdges(set, margins ? m : nullptr, borders ? b : nullptr,
                                 paddings ? p : nullptr, reference);
    if (margins) {
        margins->right = m[0];
        margins->left = m[1];
    }
    if (borders) {
        borders->right = b[0];
        borders->left = b[1];
    }
    if (paddings) {
        paddings->right = p[0];
        paddings->left = p[1];
    }
    Edr_Style_getVerticalEdges(set, margins, borders, paddings, reference);
}

namespace {

uint32_t boxSizingOf(const Edr_Style *set)
{
    return set->context ? set->context->boxSizing : 0;
}

} // namespace

int Edr_Style_clampProp90(const Edr_Style *set, int32_t *out, int contentBox, int32_t reference)
{
    int32_t width = reference;
    bool has = Edr_Style_getMeasure(set, PropId_width, &width, reference) != 0;
    bool applied = false;
    int32_t v = 0;
    if (Edr_Style_getMeasure(set, PropId_maxWidth, &v, reference) && v > 0 && v < width) {
        width = v;
        applied = true;
    }
    if (Edr_Style_getMeasure(set, PropId_minWidth, &v, reference) && v > 0 && v > width) {
        width = v;
        applied = true;
    }
    if (!has && !applied)
        width = 0;
    uint32_t word = boxSizingOf(set);
    if ((word != 0) != (contentBox != 0)) {
        int32_t b[2] = {}, p[2] = {};
        Edr_Style_getHorizontalEdges(set, nullptr, b, p, reference);
        int32_t edges = b[0] + b[1] + p[0] + p[1];
        width = word ? width + edges : width - edges;
    }
    *out = width;
    return 1;
}

int Edr_Style_boxExtent(const Edr_Style *set, int32_t *out, int contentBox, int32_t reference)
{
    int32_t h = 0;
    if (!Edr_Style_getLength(set, PropId_height, &h)) {
        *out = 0;
        return 0;
    }
    uint32_t word = boxSizingOf(set);
    if ((word != 0) != (contentBox != 0)) {
        Edr_Edges b{}, p{};
        Edr_Style_getVerticalEdges(set, nullptr, &b, &p, reference);
        int32_t edges = b.top + b.bottom + p.top + p.bottom;
        h = word ? h + edges : h - edges;
    }
    *out = h;
    return 1;
}
