// Shape geometry: the outline-table interpreter, the stars, custom
// geometry, the outlines of the telling preset types, path mapping from
// the 21600 space, arcs and shade sub-paths.
#include "office/shape/geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <numbers>

#include "core/geom/geom.h"
#include "core/geom/matrix.h"
#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/number.h"
#include "graphics/path.h"
#include "office/shape/box_outlines.h"
#include "office/shape/outlines.h"

namespace {

// Box arithmetic wraps rather than overflows: a hostile box or adjust value
// gives a wrong outline, never undefined behaviour.
int32_t sub(int32_t a, int32_t b)
{
    return int32_t(uint32_t(a) - uint32_t(b));
}

int32_t add(int32_t a, int32_t b)
{
    return int32_t(uint32_t(a) + uint32_t(b));
}

int32_t neg(int32_t a)
{
    return int32_t(0u - uint32_t(a));
}

int32_t propValue(const ShapeGeom *shape, uint32_t id, int32_t fallback)
{
    uint32_t v = 0;
    if (shape->props.value && shape->props.value(shape->props.set, id, &v))
        return int32_t(v);
    return fallback;
}

bool propPresent(const ShapeGeom *shape, uint32_t id, int32_t *out)
{
    uint32_t v = 0;
    if (!shape->props.value || !shape->props.value(shape->props.set, id, &v))
        return false;
    *out = int32_t(v);
    return true;
}

const OutlineEntry *findOutline(uint32_t type)
{
    for (const OutlineEntry &e : kOutlines)
        if (e.type == type)
            return &e;
    return nullptr;
}

// The points of a star of n points: 2n directions at equal steps of
// 180 / n degrees from the top centre, counter-clockwise, alternately on
// the outer ellipse (the box's) and the inner one (half-axes ax, ay).
int buildStar(Path *path, uint32_t points, int32_t w, int32_t h, int32_t ax, int32_t ay)
{
    const int32_t cx = w / 2, cy = h / 2;
    for (uint32_t k = 0; k < 2 * points; k++) {
        double angle = (90.0 + 180.0 * double(k) / double(points)) * std::numbers::pi / 180.0;
        // The direction as an 8.24 unit-circle pair.
        int32_t dx = int32_t(std::lround(std::cos(angle) * double(Shape_fractionOne)));
        int32_t dy = int32_t(std::lround(std::sin(angle) * double(Shape_fractionOne)));
        bool outer = (k & 1) == 0;
        int32_t x = add(cx, Shape_scaleFraction(dx, outer ? w / 2 : ax));
        int32_t y = add(cy, Shape_scaleFraction(dy, outer ? h / 2 : ay));
        int err = k == 0 ? Path_moveTo(path, x, y) : Path_lineTo(path, x, y);
        if (err)
            return err;
    }
    return Path_close(path);
}

uint32_t starPoints(uint32_t type)
{
    switch (type) {
    case 187: return 4;
    case 58: return 8;
    case 59: return 16;
    case 92: return 24;
    case 60: return 32;
    default: return 0;
    }
}

int polygon(Path *path, const int32_t (*pts)[2], size_t count)
{
    int err = Path_moveTo(path, pts[0][0], pts[0][1]);
    for (size_t i = 1; !err && i < count; i++)
        err = Path_lineTo(path, pts[i][0], pts[i][1]);
    return err ? err : Path_close(path);
}

// arrow (tip on the right) and leftArrow (tip on the left): a is the
// shaft's length from the tip side, b the shaft's inset from the bottom.
int blockArrow(Path *path, const ShapeGeom *shape, int32_t w, int32_t h, bool left)
{
    int32_t p = 0;
    int32_t a = propPresent(shape, ShapeProp_adjust1, &p)
                    ? Shape_scaleAdjust(p, w)
                    : int32_t(int64_t(w) * (left ? 1 : 3) / 4);
    int32_t b = propPresent(shape, ShapeProp_adjust2, &p) ? Shape_scaleAdjust(p, h) : h / 4;
    int32_t tip = left ? 0 : w, end = left ? w : 0;
    const int32_t top = sub(h, b);
    const int32_t pts[][2] = {{tip, h / 2}, {a, 0}, {a, b}, {end, b}, {end, top}, {a, top}, {a, h}};
    return polygon(path, pts, std::size(pts));
}

// The outlines that are built in code of their own: directly in the box,
// or in a 21600 square mapped into the box.
int codedOutline(EscherDrawing *drawing, Path *path, const ShapeGeom *shape, int32_t w, int32_t h,
                 int32_t a1, int32_t sign, ShadePath **shades)
{
    switch (shape->type) {
    case 13: return blockArrow(path, shape, w, h, false);
    case 66: return blockArrow(path, shape, w, h, true);
    default: {
        bool built = false;
        int err = Shape_buildBoxOutline(path, shape, w, h, a1, sign, shades, &built);
        if (built)
            return err;
        return Shape_buildSquareOutline(drawing, path, shape, w, h, a1, shades, &built);
    }
    }
}

// Reads vertex index i (two signed 32-bit values for 8-byte elements,
// else two unsigned 16-bit values) mapped into the box. false past the
// end of the array.
struct VertexReader {
    ShapeArray vertices;
    int32_t next;
    int64_t left, top, right, bottom;
    int32_t w, h;
};

bool readVertex(VertexReader *r, int32_t *x, int32_t *y)
{
    const ShapeArray &a = r->vertices;
    if (r->next >= a.count || a.size < 4)
        return false;
    const uint8_t *e = a.elements + size_t(r->next) * size_t(a.size);
    int64_t vx, vy;
    if (a.size == 8) {
        vx = int32_t(uint32_t(e[0]) | uint32_t(e[1]) << 8 | uint32_t(e[2]) << 16 |
                     uint32_t(e[3]) << 24);
        vy = int32_t(uint32_t(e[4]) | uint32_t(e[5]) << 8 | uint32_t(e[6]) << 16 |
                     uint32_t(e[7]) << 24);
    } else {
        vx = uint16_t(e[0] | e[1] << 8);
        vy = uint16_t(e[2] | e[3] << 8);
    }
    r->next++;
    int64_t dx = r->right - r->left, dy = r->bottom - r->top;
    *x = dx ? int32_t((vx - r->left) * r->w / dx) : 0;
    *y = dy ? int32_t((r->bottom - vy) * r->h / dy) : 0;
    return true;
}

// Starts a subpath at the next vertex when the path has no current point.
// 0, the path error, or -1 when the vertices ran out.
int startIfNeeded(Path *path, VertexReader *r)
{
    Point current;
    if (Path_currentPoint(path, &current))
        return Res_ok;
    int32_t x, y;
    if (!readVertex(r, &x, &y))
        return -1;
    return Path_moveTo(path, x, y);
}

enum : uint32_t {
    kSegLines = 0,
    kSegCurves = 1,
    kSegMove = 2,
    kSegClose = 3,
    kSegEnd = 4,
};

// One segment entry; -1 ends the outline (vertices ran out or an end
// entry), otherwise 0 or a path error.
int runSegment(Path *path, VertexReader *r, uint32_t entry)
{
    const uint32_t kind = entry >> 13, count = entry & 0x1FFF;
    int32_t p[6];
    int err;
    switch (kind) {
    case kSegLines:
        if ((err = startIfNeeded(path, r)) != Res_ok)
            return err;
        for (uint32_t i = 0; i < count; i++) {
            if (!readVertex(r, &p[0], &p[1]))
                return -1;
            if ((err = Path_lineTo(path, p[0], p[1])) != Res_ok)
                return err;
        }
        return Res_ok;
    case kSegCurves:
        if ((err = startIfNeeded(path, r)) != Res_ok)
            return err;
        for (uint32_t i = 0; i < count; i++) {
            for (int k = 0; k < 3; k++)
                if (!readVertex(r, &p[2 * k], &p[2 * k + 1]))
                    return -1;
            if ((err = Path_curveTo(path, p[0], p[1], p[2], p[3], p[4], p[5])) != Res_ok)
                return err;
        }
        return Res_ok;
    case kSegMove:
        if (!readVertex(r, &p[0], &p[1]))
            return -1;
        return Path_moveTo(path, p[0], p[1]);
    case kSegClose: return Path_close(path);
    case kSegEnd: return -1;
    default: return Res_ok; // other kinds carry nothing the outline uses
    }
}

void pathBounds(const Path *path, int32_t *left, int32_t *top, int32_t *right, int32_t *bottom)
{
    const int32_t *w = Path_buffer(path), *end = w + Path_wordCount(path);
    bool any = false;
    int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    while (w < end) {
        uint32_t n = uint32_t(*w) & 3;
        if (w + 1 + 2 * n > end)
            break;
        for (uint32_t i = 0; i < n; i++) {
            int32_t x = w[1 + 2 * i], y = w[2 + 2 * i];
            if (!any) {
                x0 = x1 = x;
                y0 = y1 = y;
                any = true;
            }
            x0 = std::min(x0, x);
            x1 = std::max(x1, x);
            y0 = std::min(y0, y);
            y1 = std::max(y1, y);
        }
        w += 1 + 2 * n;
    }
    *left = x0;
    *top = y0;
    *right = x1;
    *bottom = y1;
}

int32_t scaleFor(int32_t size, int64_t side)
{
    return side ? int32_t((int64_t(size) << 16) / side) : 0;
}

} // namespace

int32_t Shape_scaleAdjust(int32_t value, int32_t size)
{
    return int32_t(int64_t(value) * size / Shape_space);
}

int32_t Shape_scaleFraction(int32_t fraction, int32_t size)
{
    return int32_t(int64_t(fraction) * size / int64_t(Shape_fractionOne));
}

int32_t Shape_defaultAdjust(uint32_t type)
{
    if (type >= 189 && type <= 200)
        return 1350;
    switch (type) {
    case 85:
    case 86:
    case 87:
    case 88:
    case 188: return 1800;
    case 57:
    case 58:
    case 59:
    case 60:
    case 64:
    case 84:
    case 92:
    case 97:
    case 98:
    case 185:
    case 186: return 2700;
    case 2:
    case 21: return 3600;
    case 7:
    case 8:
    case 9:
    case 10:
    case 11:
    case 16:
    case 22:
    case 23:
    case 53:
    case 54:
    case 183: return 5400;
    case 107:
    case 108: return 5505;
    case 182: return 6480;
    case 187: return 8100;
    case 89:
    case 90: return 9257;
    case 91: return 15120;
    case 15:
    case 55:
    case 93:
    case 94: return 16200;
    case 96: return 17520;
    case 65: return 19000;
    case 95: return int32_t(0xFF4C0000u); // -180 degrees
    default: return 10800;
    }
}

bool Shape_hasNoOutline(uint32_t type)
{
    return type == 14 || type == 17 || type == 18 || (type >= 24 && type <= 31) || type == 100 ||
           type == 129 || (type >= 136 && type <= 175);
}

int Shape_runOutline(Path *path, const int32_t *table, uint32_t count, int32_t w, int32_t h)
{
    uint32_t i = 0;
    int err = Res_ok;
    auto x = [&](uint32_t k) { return Shape_scaleFraction(table[k], w); };
    auto y = [&](uint32_t k) { return Shape_scaleFraction(table[k], h); };
    while (!err && i < count) {
        switch (table[i]) {
        case 'M':
            if (i + 2 >= count)
                return Res_ok;
            err = Path_moveTo(path, x(i + 1), y(i + 2));
            i += 3;
            break;
        case 'L':
            if (i + 2 >= count)
                return Res_ok;
            err = Path_lineTo(path, x(i + 1), y(i + 2));
            i += 3;
            break;
        case 'B':
            if (i + 6 >= count)
                return Res_ok;
            err = Path_curveTo(path, x(i + 1), y(i + 2), x(i + 3), y(i + 4), x(i + 5), y(i + 6));
            i += 7;
            break;
        case 'C':
            err = Path_close(path);
            i++;
            break;
        case 'F': return Path_close(path);
        default: return Res_ok;
        }
    }
    return err;
}

int Shape_buildCustomPath(Path *path, const ShapeGeom *shape, int32_t w, int32_t h)
{
    ShapeArray segments{};
    VertexReader r{};
    if (!shape->props.array ||
        !shape->props.array(shape->props.set, ShapeProp_vertices, &r.vertices) ||
        !shape->props.array(shape->props.set, ShapeProp_segments, &segments))
        return Res_ok;
    if (segments.size < 2 || segments.count <= 0 || r.vertices.count <= 0)
        return Res_ok;
    r.left = propValue(shape, ShapeProp_geoLeft, 0);
    r.top = propValue(shape, ShapeProp_geoTop, 0);
    r.right = propValue(shape, ShapeProp_geoRight, Shape_space);
    r.bottom = propValue(shape, ShapeProp_geoBottom, Shape_space);
    r.w = w;
    r.h = h;
    for (int32_t i = 0; i < segments.count; i++) {
        const uint8_t *e = segments.elements + size_t(i) * size_t(segments.size);
        int err = runSegment(path, &r, uint32_t(e[0] | e[1] << 8));
        if (err == -1)
            return Res_ok;
        if (err)
            return err;
    }
    return Res_ok;
}

int Shape_buildPath(EscherDrawing *drawing, Path *path, const ShapeGeom *shape, int32_t w,
                    int32_t h, ShadePath **shades)
{
    if (shape->flags & ShapeFlag_flipH)
        w = neg(w);
    if (shape->flags & ShapeFlag_flipV)
        h = neg(h);
    const int32_t sign = (w < 0) == (h < 0) ? 1 : -1;
    const uint32_t type = shape->type;
    if (type > Shape_lastPresetType || Shape_hasNoOutline(type))
        return Res_ok;
    const int32_t adjust = propValue(shape, ShapeProp_adjust1, Shape_defaultAdjust(type));
    const int32_t aw = Shape_scaleAdjust(adjust, w), ah = Shape_scaleAdjust(adjust, h);
    if (type == 0)
        return Shape_buildCustomPath(path, shape, w, h);
    if (const OutlineEntry *e = findOutline(type))
        return Shape_runOutline(path, e->words, e->count, w, h);
    if (uint32_t n = starPoints(type))
        return buildStar(path, n, w, h, aw, ah);
    return codedOutline(drawing, path, shape, w, h, adjust, sign, shades);
}

int Shape_scalePath(EscherDrawing *, Path *path, int32_t w, int32_t h, uint32_t source, int swap)
{
    int32_t left, top, right, bottom;
    switch (source) {
    case ShapeSource_centred:
        left = top = -Shape_space / 2;
        right = bottom = Shape_space / 2;
        break;
    case ShapeSource_square:
        left = top = 0;
        right = bottom = Shape_space;
        break;
    default: pathBounds(path, &left, &top, &right, &bottom); break;
    }
    if (swap)
        Int_swap(&top, &bottom);
    Matrix m{};
    m.a = scaleFor(w, int64_t(right) - left);
    m.d = scaleFor(h, int64_t(bottom) - top);
    // The translation is rounded like every matrix product, so that the
    // source's edge lands on the box's edge rather than one unit outside.
    m.tx = int32_t(-((int64_t(left) * m.a + 0x8000) >> 16));
    m.ty = int32_t(-((int64_t(top) * m.d + 0x8000) >> 16));
    return Path_copyTransformed(path, path, &m);
}

int Shape_addArc(Path *path, const Rect *rect, int32_t sx, int32_t sy, int32_t ex, int32_t ey,
                 int mirrored)
{
    if (!mirrored)
        return Path_addArc(path, rect, sx, sy, ex, ey);
    // The sweep runs the other way round in the y-flipped space.
    const Matrix flip = {0x10000, 0, 0, -0x10000, 0, 0};
    int err = Path_copyTransformed(path, path, &flip);
    if (err)
        return err;
    Rect r = {rect->x0, neg(rect->y0), rect->x1, neg(rect->y1)};
    int arc = Path_addArc(path, &r, sx, neg(sy), ex, neg(ey));
    err = Path_copyTransformed(path, path, &flip);
    return arc ? arc : err;
}

void Shape_pickPoint(int32_t out[2], const int32_t *xs, const int32_t *ys, uint32_t code)
{
    out[0] = xs[code >> 4];
    out[1] = ys[code & 15];
}

void Int_swap(int32_t *a, int32_t *b)
{
    int32_t t = *a;
    *a = *b;
    *b = t;
}

Path *Shape_addShadePath(ShadePath **list, uint32_t kind, uint32_t value)
{
    ShadePath *item = static_cast<ShadePath *>(Mem_calloc(1, sizeof(ShadePath)));
    if (!item)
        return nullptr;
    if (Path_create(&item->path, 0x10000) != Res_ok) {
        Mem_free(item);
        return nullptr;
    }
    item->kind = kind;
    item->value = value;
    item->next = *list;
    *list = item;
    return item->path;
}

void ShadePathList_free(ShadePath *list)
{
    while (list) {
        ShadePath *next = list->next;
        Path_destroy(list->path);
        Mem_free(list);
        list = next;
    }
}
