// Metafile playback: format recognition and the WMF and EMF record loops.
#include "document/import/metafile.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"

namespace {

constexpr uint32_t kEmfSignature = 0x464D4520u;
constexpr uint32_t kPlaceableKey = 0x9AC6CDD7u;

uint32_t u16(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8;
}

int32_t i16(const uint8_t *p)
{
    return int16_t(u16(p));
}

uint32_t u32(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

int32_t i32(const uint8_t *p)
{
    return int32_t(u32(p));
}

// The low half of a 32-bit field, sign-extended.
int32_t low(const uint8_t *p)
{
    return i16(p);
}

bool placeable(const uint8_t *data, uint32_t length)
{
    if (length < 40 || u32(data) != kPlaceableKey || !Wmf_isHeader(data + 22))
        return false;
    uint32_t x = 0;
    for (uint32_t i = 0; i <= 20; i += 2)
        x ^= u16(data + i);
    return x == 0;
}

bool clipboard16(const uint8_t *data, uint32_t length)
{
    return length >= 26 && u16(data) < 9 && i16(data + 2) > 0 && i16(data + 4) > 0 &&
           Wmf_isHeader(data + 8);
}

bool clipboard32(const uint8_t *data, uint32_t length)
{
    return length >= 34 && u32(data) < 9 && i32(data + 4) > 0 && i32(data + 8) > 0 &&
           Wmf_isHeader(data + 16);
}

// Points of n (x, y) pairs of 16-bit values from p, or of 32-bit values
// (only their low halves used) when wide is set.
int readPoints(const uint8_t *p, uint32_t n, Point **out, bool wide = false)
{
    *out = static_cast<Point *>(Mem_malloc(size_t(n ? n : 1) * sizeof(Point)));
    if (!*out)
        return Res_noMemory;
    for (uint32_t i = 0; i < n; i++)
        (*out)[i] = wide ? Point{low(p + 8 * i), low(p + 8 * i + 4)}
                         : Point{i16(p + 4 * i), i16(p + 4 * i + 2)};
    return Res_ok;
}

int polyRecord(GdiDC *dc, const uint8_t *p, uint32_t n, int kind, bool wide = false)
{
    Point *pts = nullptr;
    int err = readPoints(p, n, &pts, wide);
    if (err)
        return err;
    if (kind == 0)
        err = Gdi_polygon(dc, n, pts);
    else if (n >= 2 || kind == 2)
        err = Gdi_polyline(dc, n, pts, kind == 2);
    Mem_free(pts);
    return err;
}

// k counts (16-bit when wide is 0, else 32-bit) at p, then the points
// (32-bit pairs when widePoints is set); Meta_errMalformed when they pass
// size.
int polyPolygon(GdiDC *dc, const uint8_t *p, uint32_t size, uint32_t k, int wide,
                bool widePoints = false)
{
    uint64_t countBytes = uint64_t(k) * (wide ? 4 : 2);
    if (countBytes > size)
        return Meta_errMalformed;
    uint32_t *counts = static_cast<uint32_t *>(Mem_malloc(size_t(k ? k : 1) * sizeof(uint32_t)));
    if (!counts)
        return Res_noMemory;
    uint64_t total = 0;
    for (uint32_t i = 0; i < k; i++) {
        counts[i] = wide ? u32(p + 4 * i) : uint32_t(i16(p + 2 * i) < 0 ? 0 : i16(p + 2 * i));
        total += counts[i];
    }
    int err = Res_ok;
    if (countBytes + total * (widePoints ? 8 : 4) > size) {
        err = Meta_errMalformed;
    } else if (total) {
        Point *pts = nullptr;
        err = readPoints(p + countBytes, uint32_t(total), &pts, widePoints);
        if (!err)
            err = Gdi_polyPolygon(dc, k, counts, pts);
        Mem_free(pts);
    }
    Mem_free(counts);
    return err;
}

int wmfRecord(GdiDC *dc, uint32_t fn, const uint8_t *p, uint32_t n)
{
    auto need = [n](uint32_t m) { return n >= m; };
    switch (fn & 0xFFu) {
    case 3:
        if (n != 2)
            return Meta_errMalformed;
        Gdi_setMapMode(dc, i16(p));
        return Res_ok;
    case 6: return need(2) ? Gdi_setPolyFillMode(dc, u16(p)) : Meta_errMalformed;
    case 9:
        if (!need(4))
            return Meta_errMalformed;
        Gdi_setTextColor(dc, u32(p));
        return Res_ok;
    case 11:
    case 12:
    case 13:
    case 14: {
        if (n != 4)
            return Meta_errMalformed;
        int32_t x = i16(p + 2), y = i16(p);
        uint32_t f = fn & 0xFFu;
        if (f == 11)
            Gdi_setWindowOrg(dc, x, y);
        else if (f == 12)
            Gdi_setWindowExt(dc, x, y);
        else if (f == 13)
            Gdi_setViewportOrg(dc, x, y);
        else
            Gdi_setViewportExt(dc, x, y);
        return Res_ok;
    }
    case 18:
        if (n != 8)
            return Meta_errMalformed;
        Gdi_scaleViewportExt(dc, int32_t(u16(p + 6)), int32_t(u16(p + 4)), int32_t(u16(p + 2)),
                             int32_t(u16(p)));
        return Res_ok;
    case 19: return need(4) ? Gdi_lineTo(dc, i16(p + 2), i16(p)) : Meta_errMalformed;
    case 20: return need(4) ? Gdi_moveTo(dc, i16(p + 2), i16(p)) : Meta_errMalformed;
    case 22:
        return need(8) ? Gdi_intersectClipRect(dc, i16(p + 6), i16(p + 4), i16(p + 2), i16(p))
                       : Meta_errMalformed;
    case 24:
        return need(8) ? Gdi_ellipse(dc, i16(p + 6), i16(p + 4), i16(p + 2), i16(p))
                       : Meta_errMalformed;
    case 26:
        return need(16) ? Gdi_pie(dc, i16(p + 14), i16(p + 12), i16(p + 10), i16(p + 8), i16(p + 6),
                                  i16(p + 4), i16(p + 2), i16(p))
                        : Meta_errMalformed;
    case 27:
        return need(8) ? Gdi_rectangle(dc, i16(p + 6), i16(p + 4), i16(p + 2), i16(p))
                       : Meta_errMalformed;
    case 29:
        return need(12) ? Gdi_patBlt(dc, i16(p + 10), i16(p + 8), i16(p + 6), i16(p + 4), u32(p))
                        : Meta_errMalformed;
    case 30: return Gdi_saveDC(dc);
    case 33: {
        if (!need(2))
            return Meta_errMalformed;
        int32_t len = i16(p);
        if (len < 0 || uint32_t(len) + 6 > n)
            return Meta_errMalformed;
        return Gdi_textOutA(dc, i16(p + n - 2), i16(p + n - 4), p + 2, uint32_t(len));
    }
    case 36:
    case 37: {
        if (!need(2))
            return Meta_errMalformed;
        uint32_t count = u16(p);
        if (uint64_t(count) * 4 + 2 > n)
            return Meta_errMalformed;
        if (count < 2)
            return Res_ok;
        return polyRecord(dc, p + 2, count, (fn & 0xFFu) == 36 ? 0 : 1);
    }
    case 39: return need(2) ? Gdi_restoreDC(dc) : Meta_errMalformed;
    case 45: return need(2) ? Gdi_selectObject(dc, int32_t(u16(p))) : Meta_errMalformed;
    case 46:
        if (!need(2))
            return Meta_errMalformed;
        Gdi_setTextAlign(dc, u16(p));
        return Res_ok;
    case 50: {
        if (!need(8))
            return Meta_errMalformed;
        int32_t y = i16(p), x = i16(p + 2), len = i16(p + 4);
        uint32_t options = u16(p + 6);
        uint32_t at = (options & 6u) ? 16 : 8;
        if (len < 0 || uint64_t(at) + uint32_t(len) > n)
            return Meta_errMalformed;
        return Gdi_textOutA(dc, x, y, p + at, uint32_t(len));
    }
    case 56:
        if (!need(2))
            return Meta_errMalformed;
        return polyPolygon(dc, p + 2, n - 2, u16(p), 0);
    case 64: {
        if (!need(16))
            return Meta_errMalformed;
        uint32_t rop = u32(p);
        if (u16(p + 8)) {
            int32_t h = i16(p + 8), w = i16(p + 10), y = i16(p + 12), x = i16(p + 14);
            return Gdi_stretchDib(dc, x, y, w, h, w, h, 0, p + 16, n - 16, rop);
        }
        if (!need(18))
            return Meta_errMalformed;
        int32_t h = i16(p + 10), w = i16(p + 12), y = i16(p + 14), x = i16(p + 16);
        return Gdi_stretchDib(dc, x, y, w, h, w, h, 0, p + 18, n - 18, rop);
    }
    case 65: {
        if (!need(20))
            return Meta_errMalformed;
        int32_t h = i16(p + 12), w = i16(p + 14), y = i16(p + 16), x = i16(p + 18);
        return Gdi_stretchDib(dc, x, y, w, h, i16(p + 6), i16(p + 4), 0, p + 20, n - 20, u32(p));
    }
    case 67: {
        if (!need(22))
            return Meta_errMalformed;
        int32_t h = i16(p + 14), w = i16(p + 16), y = i16(p + 18), x = i16(p + 20);
        return Gdi_stretchDib(dc, x, y, w, h, i16(p + 6), i16(p + 4), 0, p + 22, n - 22, u32(p));
    }
    case 66:
    case 247:
    case 249: return Gdi_createPlaceholder(dc, -1);
    case 240: return need(2) ? Gdi_deleteObject(dc, int32_t(u16(p))) : Meta_errMalformed;
    case 250:
        return need(10) ? Gdi_createPen(dc, -1, u16(p), i16(p + 2), u32(p + 6)) : Meta_errMalformed;
    case 251: {
        if (!need(20))
            return Meta_errMalformed;
        char16_t face[32];
        uint32_t len = 0;
        while (len < 32 && 18 + len < n && p[18 + len])
            face[len] = char16_t(p[18 + len]), len++;
        int32_t h = i16(p);
        return Gdi_createFont(dc, -1, face, len, h < 0 ? -h : h, i16(p + 8), p[10], p[11], p[12],
                              p[13], i16(p + 4));
    }
    case 252:
        return need(8) ? Gdi_createBrush(dc, -1, u16(p), u32(p + 2), u16(p + 6))
                       : Meta_errMalformed;
    case 255: return Gdi_createRegion(dc, -1);
    default: return Res_ok;
    }
}

int wmfPlay(GdiDC *dc)
{
    dc->isEmf = 0;
    Gdi_setMapMode(dc, 1);
    const uint8_t *h = nullptr;
    if (Meta_take(dc, 18, &h)) {
        Gdi_dcEnd(dc);
        return Meta_errTruncated;
    }
    int64_t budget = (int64_t(u32(h + 6)) - u16(h + 2)) * 2;
    dc->windowOrg = Point{dc->frame.x0, dc->frame.y0};
    dc->frame = Rect{0, 0, int32_t(int64_t(dc->frame.x1) - dc->frame.x0),
                     int32_t(int64_t(dc->frame.y1) - dc->frame.y0)};
    Gdi_updateTransform(dc);
    int err = Gdi_dcBegin(dc, int32_t(u16(h + 10)));
    if (err) {
        Gdi_dcEnd(dc);
        return err;
    }
    int pending = Res_ok;
    while (budget >= 1 && !pending) {
        const uint8_t *r = nullptr;
        if (Meta_take(dc, 6, &r))
            break;
        int64_t size = int64_t(u32(r)) * 2;
        budget -= size;
        int64_t bytes = size - 6;
        if (bytes < 0)
            break;
        const uint8_t *p = nullptr;
        if (bytes > 0 && (bytes > 0xFFFFFFFF || Meta_take(dc, uint32_t(bytes), &p)))
            break;
        static const uint8_t kNone[2] = {0, 0};
        pending = wmfRecord(dc, u16(r + 4), p ? p : kNone, uint32_t(bytes));
    }
    if (!pending)
        pending = Gdi_flush(dc);
    Gdi_dcEnd(dc);
    return pending;
}

uint32_t floatsAt(const uint8_t *p, uint32_t out[6])
{
    for (int i = 0; i < 6; i++)
        out[i] = u32(p + 4 * i);
    return 0;
}

int emfPoly16(GdiDC *dc, const uint8_t *p, uint32_t n, int kind, bool wide = false)
{
    if (n < 20)
        return Meta_errMalformed;
    uint32_t count = u32(p + 16);
    if (count && (n % 4))
        return Meta_errMalformed;
    if (uint64_t(count) * (wide ? 8 : 4) + 20 > n)
        return Meta_errMalformed;
    if (count < 2)
        return Res_ok;
    return polyRecord(dc, p + 20, count, kind, wide);
}

// Cubic curves from the current position: whole groups of three points.
int bezierTo(GdiDC *dc, const uint8_t *p, uint32_t n, bool wide)
{
    if (n < 20)
        return Meta_errMalformed;
    uint32_t count = u32(p + 16), size = wide ? 8 : 4;
    if (uint64_t(count) * size + 20 > n)
        return Meta_errMalformed;
    for (uint32_t i = 0; i + 3 <= count; i += 3) {
        Point pts[3];
        for (uint32_t j = 0; j < 3; j++) {
            const uint8_t *q = p + 20 + size * (i + j);
            pts[j] = wide ? Point{low(q), low(q + 4)} : Point{i16(q), i16(q + 2)};
        }
        int err = Gdi_bezierTo(dc, pts);
        if (err)
            return err;
    }
    return Res_ok;
}

int emfRecord(GdiDC *dc, uint32_t type, const uint8_t *p, uint32_t n)
{
    auto exact = [n](uint32_t m) { return n == m; };
    switch (type) {
    case 9:
    case 10:
    case 11:
    case 12:
        if (!exact(8))
            return Meta_errMalformed;
        if (type == 9)
            Gdi_setWindowExt(dc, i32(p), i32(p + 4));
        else if (type == 10)
            Gdi_setWindowOrg(dc, i32(p), i32(p + 4));
        else if (type == 11)
            Gdi_setViewportExt(dc, i32(p), i32(p + 4));
        else
            Gdi_setViewportOrg(dc, i32(p), i32(p + 4));
        return Res_ok;
    case 17:
        if (!exact(4))
            return Meta_errMalformed;
        Gdi_setMapMode(dc, i32(p));
        return Res_ok;
    case 19: return n >= 2 ? Gdi_setPolyFillMode(dc, u16(p)) : Meta_errMalformed;
    case 22:
        if (n < 2)
            return Meta_errMalformed;
        Gdi_setTextAlign(dc, u16(p));
        return Res_ok;
    case 24:
        if (n < 4)
            return Meta_errMalformed;
        Gdi_setTextColor(dc, u32(p));
        return Res_ok;
    case 27: return exact(8) ? Gdi_moveTo(dc, low(p), low(p + 4)) : Meta_errMalformed;
    case 30:
        return exact(16) ? Gdi_intersectClipRect(dc, low(p), low(p + 4), low(p + 8), low(p + 12))
                         : Meta_errMalformed;
    case 31:
        if (!exact(16))
            return Meta_errMalformed;
        Gdi_scaleViewportExt(dc, i32(p), i32(p + 4), i32(p + 8), i32(p + 12));
        return Res_ok;
    case 33: return Gdi_saveDC(dc);
    case 34: return exact(4) ? Gdi_restoreDC(dc) : Meta_errMalformed;
    case 35: {
        if (!exact(24))
            return Meta_errMalformed;
        uint32_t f[6];
        floatsAt(p, f);
        Gdi_setWorldTransform(dc, f);
        return Res_ok;
    }
    case 36: {
        if (!exact(28))
            return Meta_errMalformed;
        uint32_t f[6];
        floatsAt(p, f);
        Gdi_modifyWorldTransform(dc, u32(p + 24), f);
        return Res_ok;
    }
    case 37: return exact(4) ? Gdi_selectObject(dc, int32_t(u32(p) - 1u)) : Meta_errMalformed;
    case 38:
        return exact(20)
                   ? Gdi_createPen(dc, int32_t(u32(p) - 1u), u32(p + 4), i32(p + 8), u32(p + 16))
                   : Meta_errMalformed;
    case 39:
        return exact(16)
                   ? Gdi_createBrush(dc, int32_t(u32(p) - 1u), u32(p + 4), u32(p + 8), u32(p + 12))
                   : Meta_errMalformed;
    case 40: return exact(4) ? Gdi_deleteObject(dc, int32_t(u32(p) - 1u)) : Meta_errMalformed;
    case 42:
        return exact(16) ? Gdi_ellipse(dc, low(p), low(p + 4), low(p + 8), low(p + 12))
                         : Meta_errMalformed;
    case 43:
        return exact(16) ? Gdi_rectangle(dc, low(p), low(p + 4), low(p + 8), low(p + 12))
                         : Meta_errMalformed;
    case 47:
        return exact(32) ? Gdi_pie(dc, low(p), low(p + 4), low(p + 8), low(p + 12), low(p + 16),
                                   low(p + 20), low(p + 24), low(p + 28))
                         : Meta_errMalformed;
    case 49:
    case 93:
    case 94: return n >= 4 ? Gdi_createPlaceholder(dc, int32_t(u32(p) - 1u)) : Meta_errMalformed;
    case 54: return exact(8) ? Gdi_lineTo(dc, low(p), low(p + 4)) : Meta_errMalformed;
    case 59: return Gdi_beginPath(dc);
    case 60: Gdi_endPath(dc); return Res_ok;
    case 61: return Gdi_closeFigure(dc);
    case 62: return Gdi_fillPath(dc);
    case 63: return Gdi_strokeAndFillPath(dc);
    case 64: return Gdi_strokePath(dc);
    case 67: return Gdi_selectClipPath(dc);
    case 76:
        return n >= 36
                   ? Gdi_patBlt(dc, i32(p + 16), i32(p + 20), i32(p + 24), i32(p + 28), u32(p + 32))
                   : Meta_errMalformed;
    case 81: {
        if (n < 72)
            return Meta_errMalformed;
        uint32_t infoSize = u32(p + 44);
        if (infoSize > n - 72 + 72)
            return Meta_errMalformed;
        return Gdi_stretchDib(dc, i32(p + 16), i32(p + 20), i32(p + 64), i32(p + 68), i32(p + 64),
                              i32(p + 68), infoSize, p + 72, n - 72, u32(p + 60));
    }
    case 82: {
        if (n < 99)
            return Meta_errMalformed;
        char16_t face[32];
        uint32_t len = 0;
        while (len < 32 && u16(p + 32 + 2 * len))
            face[len] = char16_t(u16(p + 32 + 2 * len)), len++;
        int32_t h = i32(p + 4);
        return Gdi_createFont(dc, int32_t(u32(p) - 1u), face, len, h < 0 ? -h : h, i32(p + 20),
                              p[24], p[25], p[26], p[27], i32(p + 12));
    }
    case 83:
    case 84: {
        if (n < 68)
            return Meta_errMalformed;
        int32_t x = dc->updateCP ? i32(p) : i32(p + 28), y = i32(p + 32), count = i32(p + 36);
        if (count < 0)
            return Meta_errMalformed;
        uint64_t bytes = uint64_t(uint32_t(count)) * (type == 84 ? 2 : 1);
        if (68 + bytes > n)
            return Meta_errMalformed;
        if (type == 83)
            return Gdi_textOutA(dc, x, y, p + 68, uint32_t(count));
        if (!count)
            return Res_ok;
        char16_t *s = static_cast<char16_t *>(Mem_malloc((size_t(count) + 1) * sizeof(char16_t)));
        if (!s)
            return Res_noMemory;
        for (int32_t i = 0; i < count; i++)
            s[i] = char16_t(u16(p + 68 + 2 * i));
        s[count] = 0;
        uint32_t options = u32(p + 44);
        dc->rtlReading = (options & 0x80u) && !(options & 0x10u) ? 1 : 0;
        int err = Gdi_textOutW(dc, x, y, s);
        Mem_free(s);
        return err;
    }
    case 86: return emfPoly16(dc, p, n, 0);
    case 87: return emfPoly16(dc, p, n, 1);
    case 89: return emfPoly16(dc, p, n, 2);
    case 88: return bezierTo(dc, p, n, false);
    // The 32-bit forms of the polygon, polyline and curve records, as
    // other programs write them.
    case 3: return emfPoly16(dc, p, n, 0, true);
    case 4: return emfPoly16(dc, p, n, 1, true);
    case 5: return bezierTo(dc, p, n, true);
    case 6: return emfPoly16(dc, p, n, 2, true);
    case 8:
        if (n < 24)
            return Meta_errMalformed;
        return polyPolygon(dc, p + 24, n - 24, u32(p + 16), 1, true);
    case 91:
        if (n < 28)
            return Meta_errMalformed;
        return polyPolygon(dc, p + 24, n - 24, u32(p + 16), 1);
    case 95:
        return n >= 36
                   ? Gdi_createPen(dc, int32_t(u32(p) - 1u), u32(p + 20), i32(p + 24), u32(p + 32))
                   : Meta_errMalformed;
    default: return Res_ok;
    }
}

int emfPlay(GdiDC *dc, bool noFrame)
{
    dc->isEmf = 1;
    Gdi_setMapMode(dc, 1);
    const uint8_t *h = nullptr, *rest = nullptr;
    if (Meta_take(dc, 8, &h)) {
        Gdi_dcEnd(dc);
        return Meta_errTruncated;
    }
    uint32_t headerSize = u32(h + 4);
    // The header must hold the fields read below.
    if (headerSize < 88 || Meta_take(dc, headerSize - 8, &rest)) {
        Gdi_dcEnd(dc);
        return Meta_errTruncated;
    }
    int64_t budget = int64_t(u32(h + 48)) - headerSize;
    if (noFrame)
        dc->frame = Rect{i32(h + 8), i32(h + 12), i32(h + 16), i32(h + 20)};
    Gdi_updateTransform(dc);
    int err = Gdi_dcBegin(dc, int32_t(u16(h + 56)));
    if (err) {
        Gdi_dcEnd(dc);
        return err;
    }
    while (budget >= 1) {
        const uint8_t *r = nullptr;
        if (Meta_take(dc, 8, &r))
            break;
        uint32_t type = u32(r);
        int64_t size = int32_t(u32(r + 4));
        if (size < 0 || size > budget)
            break;
        budget -= size;
        const uint8_t *p = nullptr;
        uint32_t n = size > 8 ? uint32_t(size - 8) : 0;
        if (n && Meta_take(dc, n, &p))
            break;
        if ((type < 9 && type != 3 && type != 4 && type != 5 && type != 6 && type != 8) ||
            type > 95)
            continue;
        static const uint8_t kNone[4] = {0, 0, 0, 0};
        err = emfRecord(dc, type, p ? p : kNone, n);
        if (err) {
            Gdi_dcEnd(dc);
            return err;
        }
        if (size < 8)
            break;
    }
    err = Gdi_flush(dc);
    Gdi_dcEnd(dc);
    return err;
}

} // namespace

int Wmf_isHeader(const uint8_t *p)
{
    return u16(p) == 1 && u16(p + 2) == 9 && u32(p + 12) >= 5 && u16(p + 16) == 0;
}

int Wmf_playToDoc(const uint8_t *data, uint32_t length, Edr_Doc *doc, Edr_Node *parent,
                  const Rect *target, const Rect *frame, uint32_t keepAspect, GdiStyleFn callback,
                  void *context)
{
    if (!doc || !target || (!data && length))
        return Res_missingArgument;
    Edr_Node *group = nullptr;
    int err = Edr_Node_createGroup(doc, parent, Edr_Insert_lastChild, 0, &group);
    if (err)
        return err;
    GdiDC dc;
    Gdi_dcInit(doc->app, &dc, data, length, doc, group, target, frame, keepAspect, callback,
               context);
    const uint8_t *skip = nullptr;
    if (length >= 88 && u32(data + 40) == kEmfSignature)
        return emfPlay(&dc, frame == nullptr);
    if (placeable(data, length)) {
        if (Meta_take(&dc, 22, &skip)) {
            Gdi_dcEnd(&dc);
            return Meta_errTruncated;
        }
        dc.frame = Rect{i16(data + 6), i16(data + 8), i16(data + 10), i16(data + 12)};
        return wmfPlay(&dc);
    }
    if (clipboard16(data, length) || clipboard32(data, length)) {
        bool wide = !clipboard16(data, length);
        if (Meta_take(&dc, wide ? 16 : 8, &skip)) {
            Gdi_dcEnd(&dc);
            return Meta_errTruncated;
        }
        dc.frame = wide ? Rect{0, 0, i32(data + 4), i32(data + 8)}
                        : Rect{0, 0, i16(data + 2), i16(data + 4)};
        return wmfPlay(&dc);
    }
    if (length >= 18 && Wmf_isHeader(data))
        return wmfPlay(&dc);
    Gdi_dcEnd(&dc);
    return Meta_errNotMetafile;
}
