// Path scan conversion: the device path, the crossing table and its two
// emitters, span reduction and the intersection of two tables.
//
// A table is built in two walks over the device path. The first counts,
// per sub-row, how many crossings the row can receive (a line one in each
// row between its ends, a quadratic curve two and a cubic three in each
// row of its hull, since their flattened pieces rise and fall that often
// at most) as a difference array that one prefix pass turns into room;
// the second flattens the curves and adds every line's crossings. Both
// walks see the same points, so no row ever receives more crossings than
// its room.
#include "graphics/fill.h"

#include <algorithm>
#include <cstring>

#include "graphics/curve.h"
#include "core/geom/int128.h"
#include "graphics/pathwalk.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/pathbounds.h"
#include "graphics/bitmap.h"
#include "graphics/drawitem.h"
#include "graphics/keptpath.h"
#include "graphics/path.h"
#include "graphics/spanpainter.h"

namespace {

// ------------------------------------------------------------- arithmetic

// floor(a * b / c) and the remainder a * b - q * c (in [0, c)), for b >= 0
// and c > 0, exactly: the product may need more than 64 bits.
struct Quotient {
    int64_t q;
    int64_t r;
};

Quotient mulDivFloor(int64_t a, int64_t b, int64_t c)
{
    uint64_t ua = a < 0 ? 0 - uint64_t(a) : uint64_t(a);
    uint64_t ub = uint64_t(b), uc = uint64_t(c);
    uint64_t q, r;
    if (ua < (uint64_t(1) << 31) && ub < (uint64_t(1) << 32)) {
        uint64_t p = ua * ub;
        q = p / uc;
        r = p % uc;
    } else {
        // Long division of the 128-bit product, a bit at a time; c stays
        // below 2^40 here, so the running remainder fits.
        Int128 p = Int128_mul64(int64_t(ua), int64_t(ub));
        uint64_t hi = uint64_t(p.hi), lo = p.lo;
        q = 0;
        r = 0;
        for (int i = 127; i >= 0; i--) {
            uint64_t bit = i >= 64 ? (hi >> (i - 64)) & 1 : (lo >> i) & 1;
            r = (r << 1) | bit;
            q <<= 1;
            if (r >= uc) {
                r -= uc;
                q |= 1;
            }
        }
    }
    if (a >= 0)
        return Quotient{int64_t(q), int64_t(r)};
    if (r == 0)
        return Quotient{-int64_t(q), 0};
    return Quotient{-int64_t(q) - 1, int64_t(uc - r)};
}

inline uint32_t absValue(int32_t v)
{
    return v < 0 ? 0u - uint32_t(v) : uint32_t(v);
}

// --------------------------------------------------------- row-count walk

struct CountWalk {
    uint32_t *d; // the difference array, one word per sub-row (modulo 2^32)
    uint32_t rowCount;
    uint32_t shift; // 8 - s
    int64_t bias;   // half a sub-row
    int64_t yOffset;
};

// Adds k to every row of lo..hi.
void countRange(CountWalk *w, int64_t lo, int64_t hi, uint32_t k)
{
    if (lo >= int64_t(w->rowCount) || hi < 1)
        return;
    w->d[lo < 0 ? 0 : lo] += k;
    if (hi + 1 < int64_t(w->rowCount))
        w->d[hi + 1] -= k;
}

void countLine(CountWalk *w, int32_t ya, int32_t yb)
{
    int64_t ra = (ya + w->yOffset + w->bias) >> w->shift;
    int64_t rb = (yb + w->yOffset + w->bias) >> w->shift;
    if (ra == rb)
        return;
    countRange(w, std::min(ra, rb), std::max(ra, rb), 1);
}

// A curve's hull, rows of whole pixels.
void countCurve(CountWalk *w, int64_t lo, int64_t hi, uint32_t k)
{
    int64_t top = ((lo + w->yOffset) & ~int64_t(255)) >> w->shift;
    int64_t bottom = ((hi + w->yOffset + 256) & ~int64_t(255)) >> w->shift;
    countRange(w, top, bottom, k);
}

int countClose(const int32_t *, void *user, const int32_t *last, const int32_t *start)
{
    if (last && start)
        countLine(static_cast<CountWalk *>(user), last[1], start[1]);
    return 0;
}

int countLineSlot(const int32_t *p, void *user, const int32_t *last, const int32_t *)
{
    if (last)
        countLine(static_cast<CountWalk *>(user), last[1], p[1]);
    return 0;
}

int countQuad(const int32_t *p, void *user, const int32_t *last, const int32_t *)
{
    if (!last)
        return 0;
    int64_t lo = std::min({last[1], p[1], p[3]}), hi = std::max({last[1], p[1], p[3]});
    countCurve(static_cast<CountWalk *>(user), lo, hi, 2);
    return 0;
}

int countCubic(const int32_t *p, void *user, const int32_t *last, const int32_t *)
{
    if (!last)
        return 0;
    int64_t lo = std::min({last[1], p[1], p[3], p[5]}), hi = std::max({last[1], p[1], p[3], p[5]});
    countCurve(static_cast<CountWalk *>(user), lo, hi, 3);
    return 0;
}

// ---------------------------------------------------------------- edge walk

struct EdgeWalk {
    EdgeRows rows;
    int64_t yOffset;
};

void edgeLine(EdgeWalk *w, const int32_t *a, const int32_t *b)
{
    Edge_addLine(&w->rows, a[0], a[1] + w->yOffset, b[0], b[1] + w->yOffset);
}

int edgeClose(const int32_t *, void *user, const int32_t *last, const int32_t *start)
{
    if (last && start)
        edgeLine(static_cast<EdgeWalk *>(user), last, start);
    return 0;
}

int edgeLineSlot(const int32_t *p, void *user, const int32_t *last, const int32_t *)
{
    if (last)
        edgeLine(static_cast<EdgeWalk *>(user), last, p);
    return 0;
}

int edgePiece(const int32_t *end, void *user)
{
    edgeLine(static_cast<EdgeWalk *>(user), end - 3, end);
    return 0;
}

// Curves are copied with their start point in front, as the flatteners
// read them: the previous element's point is not always right before the
// opcode word (after a close it is not).
// 1 when a curve's hull lies wholly above or below the table's rows: its
// pieces would cross none, so it is not flattened at all.
bool outsideRows(const EdgeWalk *w, int64_t lo, int64_t hi)
{
    const int64_t half = (int64_t(1) << w->rows.shift) >> 1;
    return ((hi + w->yOffset + half) >> w->rows.shift) <= 0 ||
           ((lo + w->yOffset + half) >> w->rows.shift) >= int64_t(w->rows.rowCount);
}

int edgeQuad(const int32_t *p, void *user, const int32_t *last, const int32_t *)
{
    if (!last)
        return 0;
    if (outsideRows(static_cast<EdgeWalk *>(user), std::min({last[1], p[1], p[3]}),
                    std::max({last[1], p[1], p[3]})))
        return 0;
    const int32_t seg[Curve_quadWords] = {last[0], last[1], int32_t(Path_opQuad), p[0], p[1],
                                          p[2],    p[3]};
    return Curve_flatten(seg, edgePiece, user);
}

int edgeCubic(const int32_t *p, void *user, const int32_t *last, const int32_t *)
{
    if (!last)
        return 0;
    if (outsideRows(static_cast<EdgeWalk *>(user), std::min({last[1], p[1], p[3], p[5]}),
                    std::max({last[1], p[1], p[3], p[5]})))
        return 0;
    const int32_t seg[Curve_cubicWords] = {
        last[0], last[1], int32_t(Path_opCubic), p[0], p[1], p[2], p[3], p[4], p[5]};
    // A line crosses a row when ytop < centre <= ybottom: pieces wholly
    // below the first centre or at or above the last one cross nothing.
    const EdgeWalk *w = static_cast<const EdgeWalk *>(user);
    const int64_t step = int64_t(1) << w->rows.shift, half = step >> 1;
    const int64_t y0 = half - w->yOffset,
                  y1 = (int64_t(w->rows.rowCount) - 1) * step + half - w->yOffset - 1;
    return Curve_flattenCubicBand(seg, y0, y1, edgePiece, user);
}

// Every slot not listed answers 259: a walk over an element of another
// opcode stops there.
int otherElement(const int32_t *, void *, const int32_t *, const int32_t *)
{
    return Res_notImplemented;
}

constexpr PathWalkFn other = otherElement;

// Slots: 0 end of an open subpath, 1 hidden line, 4 close, 5 line, 6 quad,
// 7 cubic, 9 move (closes the subpath before it).
constexpr PathWalkFn countSkipHidden[16] = {
    countClose, nullptr,    other, other, countClose, countLineSlot, countQuad, countCubic,
    other,      countClose, other, other, other,      other,         other,     other};
constexpr PathWalkFn countWithHidden[16] = {
    countClose, countLineSlot, other, other, countClose, countLineSlot, countQuad, countCubic,
    other,      countClose,    other, other, other,      other,         other,     other};
constexpr PathWalkFn edgesSkipHidden[16] = {
    edgeClose, nullptr,   other, other, edgeClose, edgeLineSlot, edgeQuad, edgeCubic,
    other,     edgeClose, other, other, other,     other,        other,    other};
constexpr PathWalkFn edgesWithHidden[16] = {
    edgeClose, edgeLineSlot, other, other, edgeClose, edgeLineSlot, edgeQuad, edgeCubic,
    other,     edgeClose,    other, other, other,     other,        other,    other};

// ----------------------------------------------------------------- sorting

inline uint32_t key(uint32_t v)
{
    return v & Crossing_xMask;
}

inline void exchange(uint32_t *c, int i, int j)
{
    if (key(c[j]) < key(c[i]))
        std::swap(c[i], c[j]);
}

// Rows mostly arrive in order or nearly so: shapes are added left to right
// (a sheet's column lines, a line of glyphs), so a row is often one
// ascending run, or a few. The first out-of-order crossing is found
// first; an ordered row costs one pass. Short rows are finished by
// insertion, longer ones by an introspective sort. Crossings at the same
// x may end in any order: every reader of a row (the span painter, span
// reduction, intersection) takes all crossings at one x together.
enum : uint32_t { kFillInsertionMost = 24 };

void fillInsertFrom(uint32_t *c, uint32_t from, uint32_t n)
{
    for (uint32_t i = from; i < n; i++) {
        uint32_t v = c[i], k = key(v);
        uint32_t j = i;
        while (j > 0 && key(c[j - 1]) > k) {
            c[j] = c[j - 1];
            j--;
        }
        c[j] = v;
    }
}

void sortRow(uint32_t *c, uint32_t n)
{
    if (n < 2)
        return;
    if (n == 2) {
        exchange(c, 0, 1);
        return;
    }
    if (n == 4) {
        exchange(c, 0, 1);
        exchange(c, 0, 2);
        exchange(c, 0, 3);
        exchange(c, 1, 2);
        exchange(c, 1, 3);
        exchange(c, 2, 3);
        return;
    }
    uint32_t first = 1;
    while (first < n && key(c[first - 1]) <= key(c[first]))
        first++;
    if (first == n)
        return;
    if (n <= kFillInsertionMost) {
        fillInsertFrom(c, first, n);
        return;
    }
    std::sort(c, c + n, [](uint32_t a, uint32_t b) { return key(a) < key(b); });
}

// ----------------------------------------------------------------- matrices

// The factor that maps a path of pathScale into a bitmap of bitmapScale
// with 8 fractional bits: (bitmap scale x 2^24) / path scale, a 16.16
// number (256.0 for equal scales).
int scaleFactor(int32_t bitmapScale, int32_t pathScale, int32_t *out)
{
    if (pathScale <= 0)
        return Res_nullInput;
    int64_t f = (int64_t(bitmapScale) * (int64_t(1) << 24)) / pathScale;
    if (f > INT32_MAX || f < INT32_MIN)
        return Res_nullInput;
    *out = int32_t(f);
    return Res_ok;
}

// The two halves of a pen fill's mapping. The stroker works in a space
// where the path is scaled uniformly by k = 2^e x factor (e the ceiling
// log2 of the matrix's largest 2x2 entry), so that one unit there is never
// larger than a device unit; `toDevice` then maps the outline into device
// space with 2x2 entries of at most 1.0 and the scaled translation.
struct PenSpace {
    Matrix toStroker;
    Matrix toDevice;
    int32_t k; // 16.16
};

int penSpace(const Matrix &m, int32_t factor, PenSpace *out)
{
    uint32_t largest = std::max({absValue(m.a), absValue(m.b), absValue(m.c), absValue(m.d)});
    uint32_t e = Bits_ceilLog2(largest);
    int64_t k = e >= 16 ? int64_t(factor) << (e - 16) : int64_t(factor) >> (16 - e);
    if (e > 47 || k > INT32_MAX || k < INT32_MIN)
        return Res_nullInput;
    out->k = int32_t(k);
    out->toStroker = Matrix{int32_t(k), 0, 0, int32_t(k), 0, 0};
    Matrix scaled = m;
    Matrix_scaleAll(&scaled, factor);
    auto norm = [e](int32_t v) {
        if (e <= 16)
            return int32_t(uint32_t(v) << (16 - e));
        int64_t half = int64_t(1) << (e - 17);
        return int32_t((int64_t(v) + half) >> (e - 16));
    };
    out->toDevice = Matrix{norm(m.a), norm(m.b), norm(m.c), norm(m.d), scaled.tx, scaled.ty};
    return Res_ok;
}

// The pen with its lengths in stroker units.
Pen scaledPen(const Pen &pen, int32_t k)
{
    auto mul = [k](int32_t v) {
        int64_t p = (int64_t(v) * k) >> 16;
        return int32_t(std::clamp<int64_t>(p, INT32_MIN, INT32_MAX));
    };
    Pen out = pen;
    out.width = mul(pen.width);
    out.miterLimit = mul(pen.miterLimit);
    out.arrowHalfWidth = mul(pen.arrowHalfWidth);
    out.arrowLength = mul(pen.arrowLength);
    return out;
}

// The rectangle enclosing r's four corners mapped through m.
Rect mapRect(const Rect &r, const Matrix &m)
{
    Point corners[4];
    Rect_toQuad(corners, &r);
    Matrix_transformQuad(corners, corners, &m);
    Rect out;
    Rect_boundPoints(&out, corners, 4, 1);
    return out;
}

inline int32_t clampToInt32(int64_t v)
{
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// The stroker's clip: the clip rectangle in pixels mapped back into its
// space and grown by the pen's reach. Null for the unbounded clip.
const Rect *strokerClip(const Rect &clip, const PenSpace &space, const Pen &pen, Rect *out)
{
    if (Rect_isInfinite(&clip))
        return nullptr;
    Rect device = {clampToInt32(int64_t(clip.x0) * 256), clampToInt32(int64_t(clip.y0) * 256),
                   clampToInt32(int64_t(clip.x1) * 256), clampToInt32(int64_t(clip.y1) * 256)};
    Matrix back;
    Matrix_invert(&back, &space.toDevice);
    *out = mapRect(device, back);
    int64_t reach =
        std::max({int64_t(absValue(pen.width)), int64_t(absValue(pen.miterLimit)),
                  int64_t(absValue(pen.arrowLength)), int64_t(absValue(pen.arrowHalfWidth))});
    *out = Rect{clampToInt32(out->x0 - reach), clampToInt32(out->y0 - reach),
                clampToInt32(out->x1 + reach), clampToInt32(out->y1 + reach)};
    return out;
}

// ----------------------------------------------------------- table layout

// The scratch buffer sized for `words` 32-bit words, computed in 64 bits.
int scratchWords(Bitmap *bitmap, uint64_t words, uint32_t **out)
{
    *out = nullptr;
    if (words == 0)
        words = 1;
    if (words > UINT32_MAX / 4)
        return Res_noMemory;
    void *p = nullptr;
    uint32_t size = 0;
    int r = Bitmap_scratchBuffer(bitmap, 0, uint32_t(words * 4), &p, &size);
    if (r != Res_ok)
        return Res_noMemory;
    *out = static_cast<uint32_t *>(p);
    return Res_ok;
}

// Turns the per-row room counts of rows into offsets of consecutive
// records and clears each record's count word.
void Rows_layout(uint32_t *rows, uint32_t *records, uint32_t rowCount)
{
    uint32_t at = 0;
    for (uint32_t r = 0; r < rowCount; r++) {
        uint32_t room = rows[r];
        rows[r] = at;
        records[at] = 0;
        at += room;
    }
}

uint32_t *lastGroupOf(uint32_t *rows, uint32_t rowCount, uint32_t s)
{
    uint32_t group = 1u << s;
    return rowCount >= group ? rows + (rowCount - group) : rows;
}

// The y-up pixel of crossing-table row memory: the first painted pixel row
// of a chunk is its bottom one, and the painter walks upward.
struct RowsUp {
    uint8_t *destination;
    ptrdiff_t destinationStride;
    const uint8_t *source;
    ptrdiff_t sourceStride;
    const uint8_t *mask;
    ptrdiff_t maskStride;
};

RowsUp fromRow(uint8_t *destination, ptrdiff_t destinationStride, const uint8_t *source,
               ptrdiff_t sourceStride, const uint8_t *mask, ptrdiff_t maskStride, int32_t row)
{
    return RowsUp{destination + row * destinationStride,
                  -destinationStride,
                  source + row * sourceStride,
                  -sourceStride,
                  mask + row * maskStride,
                  -maskStride};
}

} // namespace

// ------------------------------------------------------------ small pieces

uint32_t Bits_ceilLog2(uint32_t v)
{
    uint32_t e = 0;
    while (e < 32 && (uint64_t(1) << e) < v)
        e++;
    return e;
}

void Rows_sortCrossings(const uint32_t *rows, uint32_t *records, uint32_t rowCount)
{
    for (uint32_t r = 0; r < rowCount; r++) {
        uint32_t *rec = records + rows[r];
        sortRow(rec + 1, rec[0]);
    }
}

void Edge_addLine(const EdgeRows *rows, int64_t x0, int64_t y0, int64_t x1, int64_t y1)
{
    if (y0 == y1)
        return;
    const uint32_t direction = y0 > y1 ? uint32_t(Crossing_directionBit) : 0u;
    // The bottom end is the one with the larger y; rows are stepped from
    // there toward smaller y.
    int64_t xb = x0, yb = y0, xt = x1, yt = y1;
    if (y0 < y1) {
        xb = x1, yb = y1, xt = x0, yt = y0;
    }
    const uint32_t shift = rows->shift;
    const int64_t step = int64_t(1) << shift, half = step >> 1;
    int64_t rowTop = (yt + half) >> shift, rowBottom = (yb + half) >> shift;
    if (rowTop < 0)
        rowTop = 0;
    if (rowBottom > int64_t(rows->rowCount))
        rowBottom = rows->rowCount;
    if (rowTop >= rowBottom)
        return;
    // The x at the centre of the first row to emit: xb + dx * t / dy, t the
    // distance of that centre above the bottom end, kept as xi + xf / dy
    // with 0 <= xf < dy.
    const int64_t dy = yb - yt, dx = xt - xb;
    int64_t r = rowBottom - 1;
    if (dx == 0) {
        // An upright edge (the sides of cells and rectangles): one column
        // for every row.
        int64_t column = (xb + half) >> shift;
        uint32_t word = direction | (column < 0                         ? 0
                                     : column > int64_t(Crossing_xMask) ? Crossing_xMask
                                                                        : uint32_t(column));
        for (; r >= rowTop; r--) {
            uint32_t *rec = rows->records + rows->rows[r];
            rec[++rec[0]] = word;
        }
        return;
    }
    int64_t t = yb - (r * step + half);
    Quotient start = mulDivFloor(dx, t, dy);
    int64_t xi = xb + start.q, xf = start.r;
    // One row up moves t by a sub-row.
    Quotient per = mulDivFloor(dx, step, dy);
    for (;; r--) {
        int64_t column = (xi + half) >> shift;
        uint32_t cx = column < 0                         ? 0
                      : column > int64_t(Crossing_xMask) ? Crossing_xMask
                                                         : uint32_t(column);
        uint32_t *rec = rows->records + rows->rows[r];
        uint32_t n = ++rec[0];
        rec[n] = direction | cx;
        if (r == rowTop)
            break;
        xi += per.q;
        xf += per.r;
        if (xf >= dy) {
            xf -= dy;
            xi++;
        }
    }
}

// ------------------------------------------------------------- preparing

int Fill_prepareDevicePath(const FillRequest *request, Bitmap *bitmap, FillContext *fc, Rect *clip)
{
    *fc = FillContext{};
    Path *device = bitmap->clipPath;
    fc->devicePath = device;
    fc->s = request->s;
    fc->bitmap = bitmap;
    const Path *path = request->path;
    if (!path || !device)
        return Res_nullInput;
    int32_t factor = 0;
    int r = scaleFactor(bitmap->scale, path->scale, &factor);
    if (r != Res_ok)
        return r;
    Matrix m = request->matrix ? *request->matrix : *Matrix_identity();
    const int32_t keepScale = device->scale;
    const bool looking = request->kept && request->keptKey;
    const bool keeping = looking && request->keepNew;
    const KeptPathKey key{request->keptKey, request->penKind ? 1u : 0u, bitmap->scale, &m};
    Rect box;
    bool kept = false;
    if (request->penKind == 0) {
        fc->fillRule = request->pen.style;
        fc->hiddenLines = 1;
    } else {
        fc->fillRule = Fill_ruleNonZero;
        fc->hiddenLines = 0;
    }
    if (looking)
        kept = KeptPaths_fetch(request->kept, &key, device, &box) != 0;
    if (kept) {
        r = Res_ok;
    } else if (request->penKind == 0) {
        Matrix scaled = m;
        Matrix_scaleAll(&scaled, factor);
        r = Path_reserveFor(device, path);
        if (r == Res_ok)
            r = Path_copyTransformed(device, path, &scaled);
    } else {
        PenSpace space;
        r = penSpace(m, factor, &space);
        if (r == Res_ok) {
            Pen pen = scaledPen(request->pen, space.k);
            // A pen of at least one pixel: 256 device units, which the
            // normalised space never makes smaller.
            if ((pen.style & Pen_atLeastOnePixel) && pen.width < 256)
                pen.width = 256;
            // An outline kept for other bands is made whole. The band's clip
            // only turns curves beyond it into straight pieces, which changes
            // no pixel inside it.
            Rect room;
            const Rect *strokeClip = keeping ? nullptr : strokerClip(*clip, space, pen, &room);
            Path_reset(device);
            r = Path_stroke(bitmap->owner, path, device, &space.toStroker, &pen, space.k,
                            strokeClip);
            if (r == Res_ok)
                r = Path_copyTransformed(device, device, &space.toDevice);
        }
    }
    device->scale = keepScale;
    if (r != Res_ok)
        return r;

    if (!kept) {
        r = Edr_Draw_getBounds2(bitmap->owner, device, &box);
        if (r != Res_ok)
            return r;
        // Paths wholly above the band before this one go: a band may still
        // draw a path that ends a little above it (boxes are coarse).
        if (keeping)
            KeptPaths_store(request->kept, &key, device, &box,
                            clampToInt32((2 * int64_t(clip->y1) - clip->y0) * 256));
    }
    Rect pixels = {int32_t(box.x0 >> 8), int32_t(box.y0 >> 8),
                   int32_t((int64_t(box.x1) + 255) >> 8), int32_t((int64_t(box.y1) + 255) >> 8)};
    Rect_intersect(clip, &pixels);
    if (clip->x0 >= clip->x1 || clip->y0 >= clip->y1)
        return Res_ok;
    fc->xOffset = clip->x0 - pixels.x0;
    Path_translate(device, int32_t(uint32_t(-int64_t(pixels.x0) * 256)),
                   int32_t(uint32_t(-int64_t(clip->y0) * 256)));
    return Res_ok;
}

int Fill_buildCrossings(const FillContext *fc, CrossingTable *table)
{
    const uint32_t s = fc->s > Fill_maxSubpixelBits ? Fill_maxSubpixelBits : fc->s;
    const uint32_t rowCount = table->rowCount;
    table->fillRule = fc->fillRule;
    uint32_t *base = nullptr;
    int r = scratchWords(fc->bitmap, rowCount, &base);
    if (r != Res_ok)
        return r;
    memset(base, 0, size_t(rowCount) * 4);

    // Room per row.
    CountWalk count{base, rowCount, 8 - s, int64_t(1) << (7 - std::min<uint32_t>(s, 7)),
                    table->yOffset};
    if (s == 8)
        count.bias = 0; // sub-rows of one device unit: centres on the units themselves
    r = Path_walk(fc->devicePath, fc->hiddenLines ? countWithHidden : countSkipHidden, &count);
    if (r != Res_ok)
        return r;
    uint64_t total = 0;
    uint32_t running = 1;
    for (uint32_t i = 0; i < rowCount; i++) {
        running += base[i];
        base[i] = running;
        total += running;
    }
    r = scratchWords(fc->bitmap, uint64_t(rowCount) + total, &base);
    if (r != Res_ok)
        return r;
    uint32_t *records = base + rowCount;
    Rows_layout(base, records, rowCount);
    table->rows = base;
    table->records = records;
    table->lastGroup = lastGroupOf(base, rowCount, s);

    EdgeWalk edges{EdgeRows{base, records, rowCount, 8 - s}, table->yOffset};
    r = Path_walk(fc->devicePath, fc->hiddenLines ? edgesWithHidden : edgesSkipHidden, &edges);
    if (r != Res_ok)
        return r;
    Rows_sortCrossings(base, records, rowCount);
    return Res_ok;
}

int Fill_newCrossingTable(CrossingTable **out, const FillRequest *request, Bitmap *bitmap)
{
    *out = nullptr;
    CrossingTable *table = static_cast<CrossingTable *>(Mem_calloc(1, sizeof(CrossingTable)));
    if (!table)
        return Res_noMemory;
    FillContext fc;
    Rect clip;
    Rect_setInvertedEmpty(&clip);
    int r = Fill_prepareDevicePath(request, bitmap, &fc, &clip);
    if (r == Res_ok && (clip.x0 >= clip.x1 || clip.y0 >= clip.y1))
        r = Res_pathEmptyArea;
    uint64_t rows = 0;
    if (r == Res_ok) {
        rows = uint64_t(int64_t(clip.y1) - clip.y0)
               << std::min<uint32_t>(fc.s, Fill_maxSubpixelBits);
        if (rows > UINT32_MAX / 4)
            r = Res_noMemory;
    }
    if (r == Res_ok) {
        table->rowCount = uint32_t(rows);
        table->yOffset = 0;
        r = Fill_buildCrossings(&fc, table);
    }
    if (r != Res_ok) {
        Mem_free(table);
        return r;
    }
    table->yOffset = clip.y0 * 256;
    table->clipX0 = clip.x0;
    table->clipX1 = clip.x1;
    // The scratch buffer now belongs to the table.
    bitmap->scratch[0] = nullptr;
    bitmap->scratchSize[0] = 0;
    *out = table;
    return Res_ok;
}

int Fill_deviceBounds(EngineContext *context, const FillRequest *request, int32_t targetScale,
                      Rect *out)
{
    *out = Rect_emptyBound;
    if (!request->path)
        return Res_nullInput;
    int32_t factor = 0;
    int r = scaleFactor(targetScale, request->path->scale, &factor);
    if (r != Res_ok)
        return r;
    Matrix m = request->matrix ? *request->matrix : *Matrix_identity();
    if (request->penKind == 0) {
        Matrix_scaleAll(&m, factor);
        return Edr_Draw_getBounds(context, request->path, &m, out);
    }
    PenSpace space;
    r = penSpace(m, factor, &space);
    if (r != Res_ok)
        return r;
    Pen pen = scaledPen(request->pen, space.k);
    if ((pen.style & Pen_atLeastOnePixel) && pen.width < 256)
        pen.width = 256;
    r = Path_strokeBounds(context, request->path, out, &space.toStroker, &pen);
    if (r != Res_ok || out->x0 > out->x1 || out->y0 > out->y1)
        return r;
    *out = mapRect(*out, space.toDevice);
    return Res_ok;
}

// ---------------------------------------------------------------- drawing

int Fill_renderWithTable(SpanRecord *spans, RowOpSetupFn setup, uint8_t *destination,
                         ptrdiff_t destinationStride, const uint8_t *source, ptrdiff_t sourceStride,
                         const uint8_t *mask, ptrdiff_t maskStride, const uint8_t *coverageTable)
{
    const FillContext &fc = spans->fill;
    const uint32_t s = fc.s;
    if (spans->chunkRows <= 0 || s > 3)
        return Res_ok;
    // Table row 0 is the chunk's bottom row: its distance above the work
    // rectangle's bottom, where the device path has y = 0.
    CrossingTable table{};
    table.rowCount = uint32_t(spans->chunkRows) << s;
    table.yOffset =
        clampToInt32(-(int64_t(spans->height) - spans->rowsDone - spans->chunkRows) * 256);
    int r = Fill_buildCrossings(&fc, &table);
    if (r != Res_ok)
        return r;
    RowsUp up = fromRow(destination, destinationStride, source, sourceStride, mask, maskStride,
                        spans->chunkRows - 1);
    SpanPaint paint{up.destination,
                    up.destinationStride,
                    up.source,
                    up.sourceStride,
                    up.mask,
                    up.maskStride,
                    &table,
                    fc.xOffset,
                    uint32_t(spans->width),
                    uint32_t(spans->chunkRows),
                    s,
                    table.fillRule,
                    setup,
                    coverageTable};
    return SpanPainter_paint(&paint);
}

int Fill_renderPreparedTable(SpanRecord *spans, RowOpSetupFn setup, uint8_t *destination,
                             ptrdiff_t destinationStride, const uint8_t *source,
                             ptrdiff_t sourceStride, const uint8_t *mask, ptrdiff_t maskStride,
                             const uint8_t *coverageTable)
{
    const PreparedTableSpans &pt = spans->table;
    if (!pt.table || pt.s > 3)
        return Res_ok;
    CrossingTable copy = *pt.table;
    const uint32_t s = pt.s;
    // d: how far the chunk's bottom lies below the table's first row, in
    // pixel rows (negative: the chunk starts that many rows up the table).
    int64_t d = int64_t(spans->rowsDone) + spans->chunkRows - spans->height - pt.yOffset;
    if (d < 0) {
        uint64_t drop = uint64_t(-d) << s;
        if (drop >= copy.rowCount)
            return Res_ok;
        copy.rows += drop;
        copy.rowCount -= uint32_t(drop);
    }
    int64_t n =
        std::min<int64_t>(copy.rowCount >> s, d > 0 ? spans->chunkRows - d : spans->chunkRows);
    if (n <= 0)
        return Res_ok;
    copy.lastGroup = copy.rows + ((n - 1) << s);
    int32_t bottom = int32_t(spans->chunkRows - 1 - (d > 0 ? d : 0));
    RowsUp up =
        fromRow(destination, destinationStride, source, sourceStride, mask, maskStride, bottom);
    SpanPaint paint{up.destination,
                    up.destinationStride,
                    up.source,
                    up.sourceStride,
                    up.mask,
                    up.maskStride,
                    &copy,
                    pt.xOffset,
                    uint32_t(spans->width),
                    uint32_t(n),
                    s,
                    copy.fillRule,
                    setup,
                    coverageTable};
    return SpanPainter_paint(&paint);
}

// ---------------------------------------------------------------- tables

void Rows_reduceToSpans(const uint32_t *rows, uint32_t *records, uint32_t rowCount,
                        uint32_t evenOdd)
{
    for (uint32_t r = 0; r < rowCount; r++) {
        uint32_t *rec = records + rows[r];
        uint32_t n = rec[0], kept = 0;
        uint32_t *c = rec + 1;
        if (evenOdd) {
            for (uint32_t i = 0; i < n; i++) {
                uint32_t x = key(c[i]);
                if (kept && c[kept - 1] == x)
                    kept--;
                else
                    c[kept++] = x;
            }
        } else {
            int32_t winding = 0;
            uint32_t start = 0;
            for (uint32_t i = 0; i < n; i++) {
                uint32_t x = key(c[i]);
                int32_t before = winding;
                winding += (c[i] & Crossing_directionBit) ? -1 : 1;
                if (before == 0 && winding != 0) {
                    start = x;
                } else if (before != 0 && winding == 0 && x > start) {
                    if (kept && c[kept - 1] == start) {
                        c[kept - 1] = x;
                    } else {
                        c[kept++] = start;
                        c[kept++] = x;
                    }
                }
            }
        }
        rec[0] = kept;
    }
}

namespace {

// One input of an intersection: its rows from the overlap's first, its
// crossings moved to the result's origin.
struct Input {
    const CrossingTable *t;
    uint32_t firstRow;
    uint32_t shift; // sub-columns to subtract
    bool evenOdd;
};

inline uint32_t movedX(const Input &in, uint32_t v)
{
    uint32_t x = key(v);
    return x > in.shift ? x - in.shift : 0;
}

// Merges one row of both inputs into out (room for both counts); returns
// the count written.
uint32_t intersectRow(const Input &a, const uint32_t *ra, const Input &b, const uint32_t *rb,
                      uint32_t *out)
{
    const uint32_t na = ra[0], nb = rb[0];
    uint32_t ia = 0, ib = 0, written = 0;
    int32_t wa = 0, wb = 0;
    bool inside = false;
    while (ia < na || ib < nb) {
        uint32_t xa = ia < na ? movedX(a, ra[1 + ia]) : UINT32_MAX;
        uint32_t xb = ib < nb ? movedX(b, rb[1 + ib]) : UINT32_MAX;
        uint32_t x = std::min(xa, xb);
        // Every crossing of either input at this x is taken together.
        while (ia < na && movedX(a, ra[1 + ia]) == x) {
            uint32_t v = ra[1 + ia++];
            wa = a.evenOdd ? wa ^ 1 : wa + ((v & Crossing_directionBit) ? -1 : 1);
        }
        while (ib < nb && movedX(b, rb[1 + ib]) == x) {
            uint32_t v = rb[1 + ib++];
            wb = b.evenOdd ? wb ^ 1 : wb + ((v & Crossing_directionBit) ? -1 : 1);
        }
        bool now = wa != 0 && wb != 0;
        if (now != inside) {
            out[written++] = x;
            inside = now;
        }
    }
    return written;
}

} // namespace

int CrossingTable_intersect(const CrossingTable *a, const CrossingTable *b, CrossingTable **out,
                            uint32_t s)
{
    *out = nullptr;
    if (s > Fill_maxSubpixelBits)
        s = Fill_maxSubpixelBits;
    // The even-odd table first whenever either is.
    if (a->fillRule == Fill_ruleNonZero && b->fillRule != Fill_ruleNonZero)
        std::swap(a, b);
    const uint32_t shift = 8 - s;
    int64_t aStart = a->yOffset, aEnd = aStart + (int64_t(a->rowCount) << shift);
    int64_t bStart = b->yOffset, bEnd = bStart + (int64_t(b->rowCount) << shift);
    int64_t start = std::max(aStart, bStart), end = std::min(aEnd, bEnd);
    if (start >= end)
        return Res_ok;
    const uint32_t rowCount = uint32_t((end - start) >> shift);
    if (rowCount == 0)
        return Res_ok;
    Input ia{a, uint32_t((start - aStart) >> shift), 0, a->fillRule != Fill_ruleNonZero};
    Input ib{b, uint32_t((start - bStart) >> shift), 0, b->fillRule != Fill_ruleNonZero};
    const int32_t clipX0 = std::max(a->clipX0, b->clipX0), clipX1 = std::min(a->clipX1, b->clipX1);
    uint64_t moveA = uint64_t(int64_t(clipX0) - a->clipX0) << s;
    uint64_t moveB = uint64_t(int64_t(clipX0) - b->clipX0) << s;
    ia.shift = uint32_t(std::min<uint64_t>(moveA, Crossing_xMask));
    ib.shift = uint32_t(std::min<uint64_t>(moveB, Crossing_xMask));

    // Room: each result row holds at most the crossings of both inputs.
    uint64_t words = rowCount, crossings = 0;
    for (uint32_t r = 0; r < rowCount; r++) {
        uint64_t n = uint64_t(CrossingTable_row(a, ia.firstRow + r)[0]) +
                     CrossingTable_row(b, ib.firstRow + r)[0];
        words += 1 + n;
        crossings += n;
    }
    if (crossings == 0)
        return Res_ok;
    if (words > UINT32_MAX / 4)
        return Res_noMemory;
    CrossingTable *table = static_cast<CrossingTable *>(Mem_calloc(1, sizeof(CrossingTable)));
    uint32_t *block = static_cast<uint32_t *>(Mem_malloc(size_t(words) * 4));
    if (!table || !block) {
        Mem_free(table);
        Mem_free(block);
        return Res_noMemory;
    }
    uint32_t *records = block + rowCount;
    uint32_t at = 0;
    for (uint32_t r = 0; r < rowCount; r++) {
        const uint32_t *ra = CrossingTable_row(a, ia.firstRow + r);
        const uint32_t *rb = CrossingTable_row(b, ib.firstRow + r);
        block[r] = at;
        uint32_t n = intersectRow(ia, ra, ib, rb, records + at + 1);
        records[at] = n;
        at += 1 + ra[0] + rb[0];
    }
    table->rows = block;
    table->records = records;
    table->rowCount = rowCount;
    table->lastGroup = lastGroupOf(block, rowCount, s);
    table->yOffset = int32_t(start);
    table->clipX0 = clipX0;
    table->clipX1 = clipX1;
    table->fillRule = Fill_ruleEvenOdd;
    *out = table;
    return Res_ok;
}

void CrossingTable_free(CrossingTable *table)
{
    if (!table)
        return;
    Mem_free(table->rows);
    Mem_free(table);
}

void CrossingTable_bounds(const CrossingTable *table, uint32_t s, Rect *out)
{
    int32_t top = table->yOffset >> 8;
    uint32_t rows = table->rowCount >> std::min<uint32_t>(s, Fill_maxSubpixelBits);
    *out = Rect{table->clipX0, top, table->clipX1, int32_t(uint32_t(top) + rows)};
}
