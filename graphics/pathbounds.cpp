// Path bounding boxes in two walks: end points first, then the curves whose
// control points lie outside the box so far.
#include "graphics/pathbounds.h"

#include "graphics/curve.h"
#include "graphics/pathwalk.h"
#include "core/result.h"
#include "graphics/curveclip.h"

namespace {

struct BoundsWalk {
    const Matrix *matrix; // null: the points as they are
    Rect box;             // grown by both walks
    int hasCurves;        // the first walk met a curve
};

// The point at p, through the walk's matrix.
Point mapped(const BoundsWalk *w, const int32_t *p)
{
    Point out{p[0], p[1]};
    if (w->matrix)
        Matrix_transformPoint(&out, p[0], p[1], w->matrix);
    return out;
}

void extendTo(BoundsWalk *w, const int32_t *p)
{
    Point q = mapped(w, p);
    Rect_extendToPoint(&w->box, q.x, q.y);
}

int extendCallback(const int32_t *end, void *user)
{
    Rect_extendToPoint(static_cast<Rect *>(user), end[0], end[1]);
    return 0;
}

bool inClosed(const Rect *r, int32_t x, int32_t y)
{
    return r->x0 <= x && x <= r->x1 && r->y0 <= y && y <= r->y1;
}

// The slot of every code the path format does not define.
int undefinedCode(const int32_t *, void *, const int32_t *, const int32_t *)
{
    return Res_notImplemented;
}

// First walk: the one point of moves and lines, the end of curves.
int firstPoint(const int32_t *points, void *user, const int32_t *, const int32_t *)
{
    extendTo(static_cast<BoundsWalk *>(user), points);
    return 0;
}

int firstQuad(const int32_t *points, void *user, const int32_t *, const int32_t *)
{
    BoundsWalk *w = static_cast<BoundsWalk *>(user);
    w->hasCurves = 1;
    extendTo(w, points + 2);
    return 0;
}

int firstCubic(const int32_t *points, void *user, const int32_t *, const int32_t *)
{
    BoundsWalk *w = static_cast<BoundsWalk *>(user);
    w->hasCurves = 1;
    extendTo(w, points + 4);
    return 0;
}

// Second walk: a curve whose control points lie outside the box is
// flattened into it. Its points are mapped into a buffer laid out like the
// path (start, a word, controls, end). A curve without a previous point
// (a damaged path that starts with one) has only its end to offer, which
// the first walk took.
int secondQuad(const int32_t *points, void *user, const int32_t *last, const int32_t *)
{
    BoundsWalk *w = static_cast<BoundsWalk *>(user);
    if (!last)
        return 0;
    Point p0 = mapped(w, last), c = mapped(w, points), p2 = mapped(w, points + 2);
    if (inClosed(&w->box, c.x, c.y))
        return 0;
    const int32_t seg[Curve_quadWords] = {p0.x, p0.y, static_cast<int32_t>(Path_opQuad), c.x, c.y,
                                          p2.x, p2.y};
    Curve_flattenQuad(seg, &w->box);
    return 0;
}

int secondCubic(const int32_t *points, void *user, const int32_t *last, const int32_t *)
{
    BoundsWalk *w = static_cast<BoundsWalk *>(user);
    if (!last)
        return 0;
    Point p0 = mapped(w, last), c1 = mapped(w, points), c2 = mapped(w, points + 2),
          p3 = mapped(w, points + 4);
    if (inClosed(&w->box, c1.x, c1.y) && inClosed(&w->box, c2.x, c2.y))
        return 0;
    const int32_t curve[Curve_cubicWords] = {
        p0.x, p0.y, static_cast<int32_t>(Path_opCubic), c1.x, c1.y, c2.x, c2.y, p3.x, p3.y};
    return Curve_flattenCubicClipped(curve, extendCallback, &w->box, &w->box);
}

// Slot 0 (the end of an open subpath) and slot 4 (close) add nothing and
// are skipped; codes the format does not define end the walk.
const PathWalkFn kFirstWalk[16] = {
    nullptr,       firstPoint,    undefinedCode, undefinedCode, nullptr,       firstPoint,
    firstQuad,     firstCubic,    undefinedCode, firstPoint,    undefinedCode, undefinedCode,
    undefinedCode, undefinedCode, undefinedCode, undefinedCode,
};

const PathWalkFn kSecondWalk[16] = {
    nullptr,       nullptr,       undefinedCode, undefinedCode, nullptr,       nullptr,
    secondQuad,    secondCubic,   undefinedCode, nullptr,       undefinedCode, undefinedCode,
    undefinedCode, undefinedCode, undefinedCode, undefinedCode,
};

} // namespace

void Curve_flattenQuad(const int32_t *segment, Rect *box)
{
    Curve_flattenStep(segment, box, extendCallback, box, 0);
}

int Edr_Draw_getBounds(EngineContext *, const Path *path, const Matrix *matrix, Rect *out)
{
    if (!out)
        return Res_nullInput;
    *out = Rect_emptyBound;
    if (!path)
        return Res_nullInput;
    BoundsWalk w{matrix, Rect_emptyBound, 0};
    int err = Path_walk(path, kFirstWalk, &w);
    if (err == 0 && w.hasCurves)
        err = Path_walk(path, kSecondWalk, &w);
    if (err == 0)
        *out = w.box;
    return err;
}

int Edr_Draw_getBounds2(EngineContext *context, const Path *path, Rect *out)
{
    return Edr_Draw_getBounds(context, path, nullptr, out);
}
