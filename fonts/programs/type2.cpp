// The Type 2 charstring interpreter of CFF fonts.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/bytestream.h"
#include "fonts/programs/cff.h"
#include "graphics/glyphpath.h"

namespace {

struct Type2Charstring {
    int32_t args[Type2_maxArguments];
    uint32_t depth;
    GlyphPath *outline;
    const Type2Context *context;
    uint32_t callDepth;
    int32_t x, y;
    int32_t width;
    uint32_t widthSeen; // the first stack-clearing operator has run
    uint32_t haveWidth; // it carried a width
    uint32_t stems;
    int32_t lastX, lastY;
    int32_t transient[Type2_transientSize];
    uint32_t moved; // a moveTo was written
};

// Maps (x, y) through the matrix and emits the delta from the last point.
void mapPoint(const Type2Charstring *s, int32_t x, int32_t y, int32_t *ox, int32_t *oy)
{
    const float *m = s->context->matrix;
    float fx = m[0] * static_cast<float>(x) + m[2] * static_cast<float>(y) + m[4];
    float fy = m[1] * static_cast<float>(x) + m[3] * static_cast<float>(y) + m[5];
    auto cut = [](float v) -> int32_t {
        if (!(v > -2147483520.0f))
            return INT32_MIN + 128;
        if (!(v < 2147483520.0f))
            return INT32_MAX - 128;
        return static_cast<int32_t>(v);
    };
    *ox = cut(fx);
    *oy = cut(fy);
}

int moveTo(Type2Charstring *s, int32_t dx, int32_t dy)
{
    s->x += dx;
    s->y += dy;
    int32_t px, py;
    mapPoint(s, s->x, s->y, &px, &py);
    int rc = GlyphPath_moveTo(s->outline, px - s->lastX, py - s->lastY);
    s->lastX = px;
    s->lastY = py;
    s->moved = 1;
    return rc;
}

int lineTo(Type2Charstring *s, int32_t dx, int32_t dy)
{
    s->x += dx;
    s->y += dy;
    int32_t px, py;
    mapPoint(s, s->x, s->y, &px, &py);
    int rc = GlyphPath_lineTo(s->outline, px - s->lastX, py - s->lastY);
    s->lastX = px;
    s->lastY = py;
    return rc;
}

int curveTo(Type2Charstring *s, int32_t dx1, int32_t dy1, int32_t dx2, int32_t dy2, int32_t dx3,
            int32_t dy3)
{
    int32_t x1 = s->x + dx1, y1 = s->y + dy1;
    int32_t x2 = x1 + dx2, y2 = y1 + dy2;
    int32_t x3 = x2 + dx3, y3 = y2 + dy3;
    int32_t p1x, p1y, p2x, p2y, p3x, p3y;
    mapPoint(s, x1, y1, &p1x, &p1y);
    mapPoint(s, x2, y2, &p2x, &p2y);
    mapPoint(s, x3, y3, &p3x, &p3y);
    int rc = GlyphPath_curveTo(s->outline, p1x - s->lastX, p1y - s->lastY, p2x - p1x, p2y - p1y,
                               p3x - p2x, p3y - p2y);
    s->x = x3;
    s->y = y3;
    s->lastX = p3x;
    s->lastY = p3y;
    return rc;
}

// The width rule: the first stack-clearing operator takes an extra first
// argument as the width. extra says whether the count has one.
void takeWidth(Type2Charstring *s, bool extra)
{
    if (s->widthSeen)
        return;
    s->widthSeen = 1;
    if (extra && s->depth > 0) {
        s->width = s->args[0];
        s->haveWidth = 1;
        memmove(s->args, s->args + 1, (s->depth - 1) * sizeof(int32_t));
        s->depth--;
    }
}

int32_t bias(uint32_t count)
{
    return count < 1240 ? 107 : count < 33900 ? 1131 : 32768;
}

int run(Type2Charstring *s, const uint8_t *bytes, uint32_t length);

int callSubr(Type2Charstring *s, bool global)
{
    if (s->depth < 1)
        return Type2_tooFewArguments;
    const FontFileEntry *list = global ? s->context->globalSubrs : s->context->localSubrs;
    uint32_t count = global ? s->context->globalCount : s->context->localCount;
    int64_t n = static_cast<int64_t>(s->args[--s->depth]) + bias(count);
    if (n < 0 || n >= count || !list[n].data || !list[n].length)
        return Type2_badSubr;
    if (s->callDepth >= Type2_maxSubrDepth)
        return Type2_badSubr;
    s->callDepth++;
    int rc = run(s, list[n].data, list[n].length);
    if (rc == -1)
        return Res_ok; // return already lowered the depth
    if (!rc)
        s->callDepth--;
    return rc;
}

// Stem hints: counted, then cleared.
void stems(Type2Charstring *s)
{
    takeWidth(s, s->depth & 1);
    s->stems += s->depth / 2;
    s->depth = 0;
}

int push(Type2Charstring *s, int32_t v)
{
    if (s->depth >= Type2_maxArguments)
        return Type2_badCharstring;
    s->args[s->depth++] = v;
    return Res_ok;
}

int drawOp(Type2Charstring *s, int op)
{
    int32_t *a = s->args;
    uint32_t n = s->depth;
    int rc = Res_ok;
    switch (op) {
    case 5: // rlineto
        if (n < 2 || n % 2)
            return Type2_tooFewArguments;
        for (uint32_t i = 0; !rc && i < n; i += 2)
            rc = lineTo(s, a[i], a[i + 1]);
        break;
    case 6: // hlineto
    case 7: // vlineto
        if (n < 1)
            return Type2_tooFewArguments;
        for (uint32_t i = 0; !rc && i < n; i++) {
            bool horizontal = (i % 2 == 0) == (op == 6);
            rc = horizontal ? lineTo(s, a[i], 0) : lineTo(s, 0, a[i]);
        }
        break;
    case 8: // rrcurveto
        if (n < 6 || n % 6)
            return Type2_tooFewArguments;
        for (uint32_t i = 0; !rc && i < n; i += 6)
            rc = curveTo(s, a[i], a[i + 1], a[i + 2], a[i + 3], a[i + 4], a[i + 5]);
        break;
    case 24: // rcurveline
        if (n < 8 || (n - 2) % 6)
            return Type2_tooFewArguments;
        for (uint32_t i = 0; !rc && i < n - 2; i += 6)
            rc = curveTo(s, a[i], a[i + 1], a[i + 2], a[i + 3], a[i + 4], a[i + 5]);
        if (!rc)
            rc = lineTo(s, a[n - 2], a[n - 1]);
        break;
    case 25: // rlinecurve
        if (n < 8 || (n - 6) % 2)
            return Type2_tooFewArguments;
        for (uint32_t i = 0; !rc && i < n - 6; i += 2)
            rc = lineTo(s, a[i], a[i + 1]);
        if (!rc)
            rc = curveTo(s, a[n - 6], a[n - 5], a[n - 4], a[n - 3], a[n - 2], a[n - 1]);
        break;
    case 26:   // vvcurveto
    case 27: { // hhcurveto
        if (n < 4 || (n % 4 != 0 && n % 4 != 1))
            return Type2_tooFewArguments;
        uint32_t i = 0;
        int32_t first = 0;
        if (n % 4 == 1)
            first = a[i++];
        for (; !rc && i < n; i += 4) {
            if (op == 26)
                rc = curveTo(s, first, a[i], a[i + 1], a[i + 2], 0, a[i + 3]);
            else
                rc = curveTo(s, a[i], first, a[i + 1], a[i + 2], a[i + 3], 0);
            first = 0;
        }
        break;
    }
    case 30:   // vhcurveto
    case 31: { // hvcurveto
        if (n < 4 || (n % 4 != 0 && n % 4 != 1))
            return Type2_tooFewArguments;
        bool horizontal = op == 31;
        for (uint32_t i = 0; !rc && i + 4 <= n; i += 4) {
            int32_t last = i + 5 == n ? a[i + 4] : 0;
            if (horizontal)
                rc = curveTo(s, a[i], 0, a[i + 1], a[i + 2], last, a[i + 3]);
            else
                rc = curveTo(s, 0, a[i], a[i + 1], a[i + 2], a[i + 3], last);
            horizontal = !horizontal;
        }
        break;
    }
    default: return Type2_badCharstring;
    }
    s->depth = 0;
    return rc;
}

int flexOp(Type2Charstring *s, int op)
{
    int32_t *a = s->args;
    uint32_t n = s->depth;
    int rc;
    switch (op) {
    case 34: // hflex
        if (n < 7)
            return Type2_tooFewArguments;
        rc = curveTo(s, a[0], 0, a[1], a[2], a[3], 0);
        if (!rc)
            rc = curveTo(s, a[4], 0, a[5], -a[2], a[6], 0);
        break;
    case 35: // flex
        if (n < 13)
            return Type2_tooFewArguments;
        rc = curveTo(s, a[0], a[1], a[2], a[3], a[4], a[5]);
        if (!rc)
            rc = curveTo(s, a[6], a[7], a[8], a[9], a[10], a[11]);
        break;
    case 36: // hflex1
        if (n < 9)
            return Type2_tooFewArguments;
        rc = curveTo(s, a[0], a[1], a[2], a[3], a[4], 0);
        if (!rc)
            rc = curveTo(s, a[5], 0, a[6], a[7], a[8], -(a[1] + a[3] + a[7]));
        break;
    default: { // 37 flex1
        if (n < 11)
            return Type2_tooFewArguments;
        int64_t dx = 0, dy = 0;
        for (int i = 0; i < 10; i += 2) {
            dx += a[i];
            dy += a[i + 1];
        }
        rc = curveTo(s, a[0], a[1], a[2], a[3], a[4], a[5]);
        if (!rc) {
            if ((dx < 0 ? -dx : dx) > (dy < 0 ? -dy : dy))
                rc = curveTo(s, a[6], a[7], a[8], a[9], a[10], static_cast<int32_t>(-dy));
            else
                rc = curveTo(s, a[6], a[7], a[8], a[9], static_cast<int32_t>(-dx), a[10]);
        }
        break;
    }
    }
    s->depth = 0;
    return rc;
}

// The escape operators 12 b.
int escapeOp(Type2Charstring *s, int op)
{
    int32_t *a = s->args;
    uint32_t n = s->depth;
    auto need = [&](uint32_t k) { return n >= k; };
    switch (op) {
    case 0: // dotsection
        return Res_ok;
    case 3:    // and
    case 4:    // or
    case 10:   // add
    case 11:   // sub
    case 12:   // div
    case 15:   // eq
    case 24: { // mul
        if (!need(2))
            return Type2_tooFewArguments;
        int64_t x = a[n - 2], y = a[n - 1], r = 0;
        switch (op) {
        case 3: r = x && y; break;
        case 4: r = x || y; break;
        case 10: r = x + y; break;
        case 11: r = x - y; break;
        case 12: r = y == 0 ? 0 : x / y; break;
        case 15: r = x == y; break;
        default: r = x * y; break;
        }
        a[n - 2] = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(r)));
        s->depth = n - 1;
        return Res_ok;
    }
    case 5:  // not
    case 9:  // abs
    case 14: // neg
        if (!need(1))
            return Type2_tooFewArguments;
        if (op == 5)
            a[n - 1] = !a[n - 1];
        else if (op == 9)
            a[n - 1] = a[n - 1] < 0 ? static_cast<int32_t>(0u - static_cast<uint32_t>(a[n - 1]))
                                    : a[n - 1];
        else
            a[n - 1] = static_cast<int32_t>(0u - static_cast<uint32_t>(a[n - 1]));
        return Res_ok;
    case 18: // drop
        if (!need(1))
            return Type2_tooFewArguments;
        s->depth = n - 1;
        return Res_ok;
    case 20: // put
        if (!need(2))
            return Type2_tooFewArguments;
        if (a[n - 1] < 0 || a[n - 1] >= static_cast<int32_t>(Type2_transientSize))
            return Type2_badTransientIndex;
        s->transient[a[n - 1]] = a[n - 2];
        s->depth = n - 2;
        return Res_ok;
    case 21: // get
        if (!need(1))
            return Type2_tooFewArguments;
        if (a[n - 1] < 0 || a[n - 1] >= static_cast<int32_t>(Type2_transientSize))
            return Type2_badTransientIndex;
        a[n - 1] = s->transient[a[n - 1]];
        return Res_ok;
    case 22: // ifelse
        if (!need(4))
            return Type2_tooFewArguments;
        a[n - 4] = a[n - 2] <= a[n - 1] ? a[n - 4] : a[n - 3];
        s->depth = n - 3;
        return Res_ok;
    case 23: // random
        if (n >= Type2_maxArguments)
            return Type2_stackOverflow;
        a[s->depth++] = 1;
        return Res_ok;
    case 26: // sqrt
        if (!need(1))
            return Type2_tooFewArguments;
        return Res_ok;
    case 27: // dup
        if (!need(1))
            return Type2_tooFewArguments;
        if (n >= Type2_maxArguments)
            return Type2_stackOverflow;
        a[n] = a[n - 1];
        s->depth = n + 1;
        return Res_ok;
    case 28: { // exch
        if (!need(2))
            return Type2_tooFewArguments;
        int32_t t = a[n - 1];
        a[n - 1] = a[n - 2];
        a[n - 2] = t;
        return Res_ok;
    }
    case 29: { // index
        if (!need(1))
            return Type2_tooFewArguments;
        int32_t i = a[n - 1];
        if (i < 0)
            i = 0;
        if (static_cast<uint32_t>(i) + 1 >= n) {
            if (n < 2)
                return Type2_tooFewArguments;
            return Type2_tooFewArguments;
        }
        a[n - 1] = a[n - 2 - static_cast<uint32_t>(i)];
        return Res_ok;
    }
    case 30: { // roll: n j roll
        if (!need(2))
            return Type2_tooFewArguments;
        if (n >= Type2_maxArguments)
            return Type2_stackOverflow;
        int32_t count = a[n - 2], j = a[n - 1];
        if (count < 0)
            return Type2_negativeRoll;
        s->depth = n - 2;
        if (static_cast<uint32_t>(count) > s->depth)
            return Type2_tooFewArguments;
        if (count == 0)
            return Res_ok;
        int32_t *base = a + s->depth - count;
        int32_t shift = ((j % count) + count) % count;
        int32_t tmp[Type2_maxArguments];
        for (int32_t i = 0; i < count; i++)
            tmp[(i + shift) % count] = base[i];
        memcpy(base, tmp, static_cast<size_t>(count) * sizeof(int32_t));
        return Res_ok;
    }
    case 34:
    case 35:
    case 36:
    case 37: return flexOp(s, op);
    default: return Type2_badCharstring;
    }
}

// Interprets bytes; -1 when a return ended them.
int run(Type2Charstring *s, const uint8_t *bytes, uint32_t length)
{
    uint32_t pos = 0;
    while (pos < length) {
        int v = bytes[pos++];
        int rc = Res_ok;
        if (v >= 32 || v == 28) {
            int32_t value;
            if (v == 28) {
                if (length - pos < 2)
                    return Type2_badCharstring;
                value = Bytes_peekS16Be(bytes + pos);
                pos += 2;
            } else if (v <= 246) {
                value = v - 139;
            } else if (v <= 254) {
                if (pos >= length)
                    return Type2_badCharstring;
                int w = bytes[pos++];
                value = v <= 250 ? (v - 247) * 256 + w + 108 : -(v - 251) * 256 - w - 108;
            } else {
                if (length - pos < 4)
                    return Type2_badCharstring;
                uint32_t u = Bytes_peekU32Be(bytes + pos);
                pos += 4;
                value = static_cast<int32_t>(u) / 65536;
            }
            rc = push(s, value);
            if (rc)
                return rc;
            continue;
        }
        uint32_t n = s->depth;
        switch (v) {
        case 1:
        case 3:
        case 18:
        case 23: stems(s); break;
        case 19:
        case 20: {
            stems(s);
            uint32_t maskBytes = (s->stems + 7) / 8;
            if (length - pos < maskBytes)
                return Type2_badCharstring;
            pos += maskBytes;
            break;
        }
        case 21: // rmoveto
            takeWidth(s, n == 3);
            if (s->depth < 2)
                return Type2_tooFewArguments;
            rc = moveTo(s, s->args[s->depth - 2], s->args[s->depth - 1]);
            s->depth = 0;
            break;
        case 4:  // vmoveto
        case 22: // hmoveto
            takeWidth(s, n == 2);
            if (s->depth < 1)
                return Type2_tooFewArguments;
            rc =
                v == 22 ? moveTo(s, s->args[s->depth - 1], 0) : moveTo(s, 0, s->args[s->depth - 1]);
            s->depth = 0;
            break;
        case 5:
        case 6:
        case 7:
        case 8:
        case 24:
        case 25:
        case 26:
        case 27:
        case 30:
        case 31: rc = drawOp(s, v); break;
        case 10:
        case 29: rc = callSubr(s, v == 29); break;
        case 11:
            if (s->callDepth == 0)
                return Type2_returnOutside;
            s->callDepth--;
            return -1;
        case 14: // endchar
            takeWidth(s, n == 1 || n == 5);
            if (s->depth >= 4) {
                const int32_t *a = s->args + s->depth - 4;
                rc = GlyphPath_setHeader(s->outline,
                                         static_cast<int16_t>(Cff_standardCodes[a[2] & 255]),
                                         static_cast<int16_t>(Cff_standardCodes[a[3] & 255]),
                                         static_cast<int16_t>(a[0]), static_cast<int16_t>(a[1]));
            }
            s->depth = 0;
            break;
        case 12: {
            if (pos >= length)
                return Type2_badCharstring;
            rc = escapeOp(s, bytes[pos++]);
            break;
        }
        default: return Type2_badCharstring;
        }
        if (rc)
            return rc;
    }
    return Res_ok;
}

} // namespace

void FontFile_freeEntryArray(FontFileEntry *entries, uint32_t *count)
{
    if (entries)
        for (uint32_t i = 0; i < *count; i++)
            Mem_free(entries[i].data);
    Mem_free(entries);
    *count = 0;
}

int Type2_buildGlyph(EmbeddedFont *, GlyphPath *outline, const uint8_t *bytes, uint32_t length,
                     const Type2Context *context, int32_t *sideBearing, int32_t *advance)
{
    if (sideBearing)
        *sideBearing = 0;
    if (advance)
        *advance = 0;
    Type2Charstring *s = static_cast<Type2Charstring *>(Mem_calloc(1, sizeof(Type2Charstring)));
    if (!s)
        return Res_noMemory;
    s->outline = outline;
    s->context = context;
    int rc = run(s, bytes, length);
    if (rc == -1)
        rc = Type2_returnOutside;
    if (!rc && advance)
        *advance = s->haveWidth ? context->nominalWidthX + s->width : context->defaultWidthX;
    Mem_free(s);
    return rc;
}
