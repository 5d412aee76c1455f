// Path stroking, stroke bounds and dashing.
//
// One walk over the path serves the outline and its bounds: each piece,
// join and cap either writes its edges into the output path or grows the
// bounding box by the points those edges reach. A subpath's first piece
// keeps its start cap until the subpath ends, since a close joins it to the
// last piece instead. Dashing is a walk of its own that measures the mapped
// path and writes the dashes as moves and lines, which are then stroked.
#include "graphics/stroke.h"

#include <algorithm>

#include "core/geom/geom.h"
#include "core/result.h"
#include "graphics/curve.h"
#include "graphics/pathwalk.h"
#include "graphics/rastergeom.h"
#include "graphics/vector.h"

namespace {

inline int32_t wrap(int64_t v)
{
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v)));
}

inline int32_t strokeClamp32(int64_t v)
{
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

inline bool samePoint(Point a, Point b)
{
    return a.x == b.x && a.y == b.y;
}

inline int64_t absolute(int64_t v)
{
    return v < 0 ? -v : v;
}

// The distance between two points; points 2^31 or more apart along an axis
// are measured at half their difference and doubled.
uint64_t distanceBetween(Point a, Point b)
{
    int64_t dx = static_cast<int64_t>(b.x) - a.x, dy = static_cast<int64_t>(b.y) - a.y;
    if (dx >= INT32_MIN && dx <= INT32_MAX && dy >= INT32_MIN && dy <= INT32_MAX)
        return Path_pointDistance(a.x, a.y, b.x, b.y);
    return 2 * static_cast<uint64_t>(Path_pointDistance(0, 0, static_cast<int32_t>(dx / 2),
                                                        static_cast<int32_t>(dy / 2)));
}

// Each coordinate (a + b) / 2, truncated toward zero.
inline Point midpoint(Point a, Point b)
{
    return Point{static_cast<int32_t>((static_cast<int64_t>(a.x) + b.x) / 2),
                 static_cast<int32_t>((static_cast<int64_t>(a.y) + b.y) / 2)};
}

// The point through the walk's matrix; null stands for the identity, which
// maps every point onto itself.
inline Point mapPoint(const Matrix *m, const int32_t *p)
{
    if (!m)
        return Point{p[0], p[1]};
    Point out;
    Matrix_transformPoint(&out, p[0], p[1], m);
    return out;
}

inline const Matrix *walkMatrix(const Matrix *m)
{
    const Matrix *one = Matrix_identity();
    bool identity = m->a == one->a && m->b == one->b && m->c == one->c && m->d == one->d &&
                    m->tx == one->tx && m->ty == one->ty;
    return identity ? nullptr : m;
}

// ------------------------------------------------------------- corners

// The corners of a straight piece from P0 to P1: U on the first side (a
// quarter turn clockwise, y up, from the piece's direction), V on the
// second; 0 at P0, 1 at P1.
struct Corners {
    Point v0, u0, v1, u1;
};

// The point at the given distance from `from` in the direction (dx, dy):
// Geom_stepToward from `from` toward from + (dx, dy), without forming that
// point, which may lie outside the 32-bit range when `from` lies near its
// edge. A direction too wide for 32 bits is halved first.
Point stepAlong(Point from, int64_t dx, int64_t dy, int32_t distance)
{
    while (dx < INT32_MIN || dx > INT32_MAX || dy < INT32_MIN || dy > INT32_MAX) {
        dx /= 2;
        dy /= 2;
    }
    Point v;
    Geom_stepToward(&v, 0, 0, static_cast<int32_t>(dx), static_cast<int32_t>(dy), distance);
    return Point{wrap(static_cast<int64_t>(from.x) + v.x),
                 wrap(static_cast<int64_t>(from.y) + v.y)};
}

// With d = P1 - P0: U0 lies h from P0 along d turned a quarter (as
// Geom_rotateQuarter turns it with the flag clear: (d.y, -d.x)); U1 = U0 + d;
// V1 and V0 mirror U1 and U0 through P1 and P0.
void makeCorners(Corners *c, Point p0, Point p1, int32_t half)
{
    int64_t dx = static_cast<int64_t>(p1.x) - p0.x, dy = static_cast<int64_t>(p1.y) - p0.y;
    c->u0 = stepAlong(p0, dy, -dx, half);
    c->u1 = Point{wrap(c->u0.x + dx), wrap(c->u0.y + dy)};
    c->v1 = Point{wrap(2 * static_cast<int64_t>(p1.x) - c->u1.x),
                  wrap(2 * static_cast<int64_t>(p1.y) - c->u1.y)};
    c->v0 = Point{wrap(2 * static_cast<int64_t>(p0.x) - c->u0.x),
                  wrap(2 * static_cast<int64_t>(p0.y) - c->u0.y)};
}

// ---------------------------------------------------------- walk state

struct StrokeWalk;
typedef int (*JoinFn)(StrokeWalk *w, const Corners *prev, const Corners *cur);
typedef int (*CapFn)(StrokeWalk *w, const Corners *c, bool atEnd);

enum : int {
    State_empty = 0,   // nothing drawn in this subpath
    State_broken = 1,  // a hidden line ended the chain; the next piece starts a new one
    State_drawing = 2, // pieces drawn; the last one waits for a join or a cap
};

struct StrokeWalk {
    const Pen *pen;
    const Matrix *matrix;
    Path *out; // stroking: the output path; null when bounding
    Rect *box; // bounding: the growing box; null when stroking
    JoinFn join;
    CapFn startCap, endCap;
    Corners first, last; // the subpath's first piece and the last piece drawn
    int32_t half;        // width / 2, toward zero
    int64_t roundReach;  // half width of the square that holds a round cap or join
    int64_t dashReach;   // bounds of a dashed pen: the square about each piece end (0: none)
    int state;
    bool firstAtStart; // the subpath's first piece starts at the subpath's start (no hidden line
                       // before it)
    bool firstJoin;    // the next join inside a curve is the one with the element before it
    bool hasClip;
    Rect clip;         // the clip rectangle
    int64_t clipReach; // how far the pen reaches from the path
};

void grow(StrokeWalk *w, Point p)
{
    Rect_extendToPoint(w->box, p.x, p.y);
}

void growSquare(StrokeWalk *w, Point m, int64_t r)
{
    const Rect square = {strokeClamp32(m.x - r), strokeClamp32(m.y - r), strokeClamp32(m.x + r),
                         strokeClamp32(m.y + r)};
    Rect_union(w->box, &square);
}

// An edge chain through n points: a hidden line to the first, lines on.
int chain(StrokeWalk *w, const Point *pts, int n)
{
    int err = Path_lineToOp1(w->out, pts[0].x, pts[0].y);
    for (int i = 1; err == Res_ok && i < n; i++)
        err = Path_lineTo(w->out, pts[i].x, pts[i].y);
    return err;
}

// Stroke_segmentQuad: the piece's two offset edges, U0 to U1 and V1 to V0.
// The first chain of a subpath starts with a move.
int segment(StrokeWalk *w, const Corners *c, bool firstChain)
{
    if (w->box) {
        const Point pts[4] = {c->v0, c->u0, c->v1, c->u1};
        Rect_boundPoints(w->box, pts, 4, 0);
        if (w->dashReach) {
            growSquare(w, midpoint(c->u0, c->v0), w->dashReach);
            growSquare(w, midpoint(c->u1, c->v1), w->dashReach);
        }
        return Res_ok;
    }
    int err = firstChain ? Path_moveTo(w->out, c->u0.x, c->u0.y)
                         : Path_lineToOp1(w->out, c->u0.x, c->u0.y);
    if (err == Res_ok)
        err = Path_lineTo(w->out, c->u1.x, c->u1.y);
    if (err == Res_ok)
        err = Path_lineToOp1(w->out, c->v1.x, c->v1.y);
    if (err == Res_ok)
        err = Path_lineTo(w->out, c->v0.x, c->v0.y);
    return err;
}

// ----------------------------------------------------------------- arcs

// 2^30 * sec(45 degrees / 2^k): the factor that takes the midpoint of the
// chord of an arc of 90 / 2^k degrees out to the circle.
constexpr int64_t kSecant[12] = {
    1518500250, 1162209775, 1094777670, 1078937202, 1075036753, 1074065312,
    1073822681, 1073762037, 1073746877, 1073743087, 1073742140, 1073741903,
};

enum : uint32_t {
    Arc_maxDepth = 10, // halvings of a quarter before a sub-arc is drawn straight
    Arc_flatness = 64, // a sub-arc whose chord midpoint lies closer to the circle is drawn straight
};

// Stroke_arc: lines along the arc about centre from the current point
// (start) to end, a quarter turn at most. Sub-arcs wait on a stack; each is
// halved at the point of the circle over its chord's midpoint until that
// point lies within the flatness of the midpoint.
int strokeArc(StrokeWalk *w, Point centre, Point start, Point end)
{
    struct Pending {
        Point end;
        uint32_t depth;
    } stack[Arc_maxDepth + 1];
    uint32_t top = 0;
    Point s = start, e = end;
    uint32_t depth = 0;
    for (;;) {
        int64_t mx = (static_cast<int64_t>(s.x) + e.x) >> 1,
                my = (static_cast<int64_t>(s.y) + e.y) >> 1;
        int64_t qx = centre.x + (((mx - centre.x) * kSecant[depth]) >> 30);
        int64_t qy = centre.y + (((my - centre.y) * kSecant[depth]) >> 30);
        if (absolute(mx - qx) + absolute(my - qy) < Arc_flatness || depth >= Arc_maxDepth) {
            if (int err = Path_lineTo(w->out, e.x, e.y))
                return err;
            if (top == 0)
                return Res_ok;
            s = e;
            top--;
            e = stack[top].end;
            depth = stack[top].depth;
        } else {
            stack[top++] = Pending{e, depth + 1};
            e = Point{wrap(qx), wrap(qy)};
            depth++;
        }
    }
}

// A chain from start around the joint m to end along the circle of the
// pen's half width (counter-clockwise, y up, as Path_addArc draws), ending
// with a line to end. Where the two points lie so close together that the
// arc's direction could come out reversed by rounding (a turn of a few
// units), the chain is the straight line between them.
int joinArc(StrokeWalk *w, Point m, Point start, Point end)
{
    int err = Path_lineToOp1(w->out, start.x, start.y);
    if (err != Res_ok)
        return err;
    double sx = double(start.x) - m.x, sy = double(start.y) - m.y;
    double ex = double(end.x) - m.x, ey = double(end.y) - m.y;
    double cross = sx * ey - sy * ex, dot = sx * ex + sy * ey;
    int64_t chord = absolute(static_cast<int64_t>(end.x) - start.x) +
                    absolute(static_cast<int64_t>(end.y) - start.y);
    if (dot < 0 || (cross > 0 && chord >= 16)) {
        int64_t r = absolute(w->half);
        const Rect box = {strokeClamp32(m.x - r), strokeClamp32(m.y - r), strokeClamp32(m.x + r),
                          strokeClamp32(m.y + r)};
        err = Path_addArc(w->out, &box, start.x, start.y, end.x, end.y);
    }
    if (err == Res_ok)
        err = Path_lineTo(w->out, end.x, end.y);
    return err;
}

// ----------------------------------------------------------------- caps
//
// A cap closes the outline at an open end: the end cap runs from U1 to V1
// around the end of the last piece, the start cap from V0 to U0 around the
// start of the first.

int capButt(StrokeWalk *w, const Corners *c, bool atEnd)
{
    if (w->box)
        return Res_ok;
    const Point pts[2] = {atEnd ? c->u1 : c->v0, atEnd ? c->v1 : c->u0};
    return chain(w, pts, 2);
}

// Half the width beyond the end: the corners moved along the piece. A2 is
// the midpoint of A and B - A turned a quarter about A (clockwise, y up, at
// the end; the other way at the start); B2 = B + (A2 - A).
int capSquare(StrokeWalk *w, const Corners *c, bool atEnd)
{
    Point a = atEnd ? c->u1 : c->u0, b = atEnd ? c->v1 : c->v0;
    int64_t dx = static_cast<int64_t>(b.x) - a.x, dy = static_cast<int64_t>(b.y) - a.y;
    int64_t tx = atEnd ? a.x + dy : a.x - dy,
            ty = atEnd ? a.y - dx : a.y + dx; // the turned point, unwrapped
    Point a2 = {wrap((a.x + tx) / 2), wrap((a.y + ty) / 2)};
    Point b2 = {wrap(static_cast<int64_t>(b.x) + a2.x - a.x),
                wrap(static_cast<int64_t>(b.y) + a2.y - a.y)};
    if (w->box) {
        grow(w, a2);
        grow(w, b2);
        return Res_ok;
    }
    const Point end[4] = {a, a2, b2, b};
    const Point start[4] = {b, b2, a2, a};
    return chain(w, atEnd ? end : start, 4);
}

// Two quarter arcs about the midpoint of the two corners.
int capRound(StrokeWalk *w, const Corners *c, bool atEnd)
{
    Point from = atEnd ? c->u1 : c->v0, to = atEnd ? c->v1 : c->u0;
    Point m = midpoint(from, to);
    if (w->box) {
        growSquare(w, m, w->roundReach);
        return Res_ok;
    }
    Point tip;
    Geom_rotateQuarter(&tip, m.x, m.y, to.x, to.y, 0);
    int err = Path_lineToOp1(w->out, from.x, from.y);
    if (err == Res_ok)
        err = strokeArc(w, m, from, tip);
    if (err == Res_ok)
        err = strokeArc(w, m, tip, to);
    return err;
}

// A triangle: its base the arrow's width across the end, its tip the
// arrow's length beyond it.
int capArrow(StrokeWalk *w, const Corners *c, bool atEnd)
{
    Point a = atEnd ? c->u1 : c->u0, b = atEnd ? c->v1 : c->v0;
    Point m = midpoint(a, b);
    Point p = stepAlong(m, static_cast<int64_t>(a.x) - m.x, static_cast<int64_t>(a.y) - m.y,
                        w->pen->arrowHalfWidth);
    Point q = {wrap(2 * static_cast<int64_t>(m.x) - p.x),
               wrap(2 * static_cast<int64_t>(m.y) - p.y)};
    // Q - M turned a quarter (clockwise, y up, at the end) points along the
    // piece, away from it.
    int64_t qx = static_cast<int64_t>(q.x) - m.x, qy = static_cast<int64_t>(q.y) - m.y;
    Point tip = atEnd ? stepAlong(m, qy, -qx, w->pen->arrowLength)
                      : stepAlong(m, -qy, qx, w->pen->arrowLength);
    if (w->box) {
        grow(w, p);
        grow(w, tip);
        grow(w, q);
        return Res_ok;
    }
    const Point end[5] = {a, p, tip, q, b};
    const Point start[5] = {b, q, tip, p, a};
    return chain(w, atEnd ? end : start, 5);
}

// ---------------------------------------------------------------- joins
//
// A join closes the outline between the previous piece's end corners and
// the current piece's start corners.

// 1 when the path turns clockwise (y up) from the previous piece to the
// current one, so that the V side is the outer side.
int turnsClockwise(const Corners *prev, const Corners *cur)
{
    return Geom_isClockwise(wrap(static_cast<int64_t>(prev->u1.x) - prev->u0.x),
                            wrap(static_cast<int64_t>(prev->u1.y) - prev->u0.y),
                            wrap(static_cast<int64_t>(cur->u1.x) - cur->u0.x),
                            wrap(static_cast<int64_t>(cur->u1.y) - cur->u0.y));
}

// The joint: the midpoint of the previous piece's end corners.
inline Point joint(const Corners *prev)
{
    return midpoint(prev->v1, prev->u1);
}

// The edges on the inner side of a joint run through the joint itself, from
// the current piece's start corner to the previous piece's end corner (V0
// to V1 when the path turns clockwise, U1 to U0 otherwise). A straight
// edge between the two corners would cut a notch out of the current piece
// wherever the previous one is shorter than the overlap of the two
// (a short dash or curve piece before a sharp turn).
int innerEdges(StrokeWalk *w, const Corners *prev, const Corners *cur, int clockwise)
{
    Point m = joint(prev);
    const Point onU[3] = {prev->u1, m, cur->u0};
    const Point onV[3] = {cur->v0, m, prev->v1};
    return chain(w, clockwise ? onU : onV, 3);
}

// Stroke_joinBevel: the outer corners joined straight.
int joinBevel(StrokeWalk *w, const Corners *prev, const Corners *cur)
{
    if (w->box)
        return Res_ok;
    int clockwise = turnsClockwise(prev, cur);
    const Point outerV[2] = {cur->v0, prev->v1};
    const Point outerU[2] = {prev->u1, cur->u0};
    int err = chain(w, clockwise ? outerV : outerU, 2);
    return err == Res_ok ? innerEdges(w, prev, cur, clockwise) : err;
}

// The miter points: X where the two pieces' V edges meet, Y its mirror
// through the joint. false (a bevel) when X lies outside the 32-bit range,
// when Y would, or when the two lie farther apart than the miter limit.
bool miterPoints(const StrokeWalk *w, const Corners *prev, const Corners *cur, Point *x, Point *y)
{
    if (!Geom_lineIntersection(x, prev->v0.x, prev->v0.y, prev->v1.x, prev->v1.y, cur->v1.x,
                               cur->v1.y, cur->v0.x, cur->v0.y))
        return false;
    int64_t mx = static_cast<int64_t>(prev->u1.x) + prev->v1.x - x->x;
    int64_t my = static_cast<int64_t>(prev->u1.y) + prev->v1.y - x->y;
    if (mx < INT32_MIN || mx > INT32_MAX || my < INT32_MIN || my > INT32_MAX)
        return false;
    *y = Point{static_cast<int32_t>(mx), static_cast<int32_t>(my)};
    // Path_pointDistance(X, Y) <= limit, without the square root: the floor
    // of the root is at most L exactly when the square is below (L + 1)^2.
    if (w->pen->miterLimit < 0)
        return false;
    uint64_t dx = static_cast<uint64_t>(absolute(static_cast<int64_t>(x->x) - y->x));
    uint64_t dy = static_cast<uint64_t>(absolute(static_cast<int64_t>(x->y) - y->y));
    uint64_t bound = static_cast<uint64_t>(w->pen->miterLimit) + 1;
    if (dx >= bound || dy >= bound)
        return false;
    return dx * dx + dy * dy < bound * bound;
}

int joinMiter(StrokeWalk *w, const Corners *prev, const Corners *cur)
{
    Point x, y;
    if (!miterPoints(w, prev, cur, &x, &y))
        return joinBevel(w, prev, cur);
    int clockwise = turnsClockwise(prev, cur);
    if (w->box) {
        grow(w, clockwise ? x : y);
        return Res_ok;
    }
    const Point outerV[3] = {cur->v0, x, prev->v1};
    const Point outerU[3] = {prev->u1, y, cur->u0};
    int err = chain(w, clockwise ? outerV : outerU, 3);
    return err == Res_ok ? innerEdges(w, prev, cur, clockwise) : err;
}

int joinRound(StrokeWalk *w, const Corners *prev, const Corners *cur)
{
    Point m = joint(prev);
    if (w->box) {
        growSquare(w, m, w->roundReach);
        return Res_ok;
    }
    int clockwise = turnsClockwise(prev, cur);
    int err = innerEdges(w, prev, cur, clockwise);
    if (err != Res_ok)
        return err;
    return clockwise ? joinArc(w, m, cur->v0, prev->v1) : joinArc(w, m, prev->u1, cur->u0);
}

constexpr JoinFn kJoins[3] = {joinMiter, joinRound, joinBevel};
constexpr CapFn kCaps[4] = {capButt, capRound, capSquare, capArrow};

// ----------------------------------------------------------------- walk

// Stroke_onLine and Stroke_linePiece: a piece of non-zero length (a piece
// without length has no direction to offset along, and would spoil the
// joins on either side of it). Inside a curve, joins other than the first
// are bevels.
int addPiece(StrokeWalk *w, Point p0, Point p1, bool inCurve)
{
    if (samePoint(p0, p1))
        return Res_ok;
    Corners c;
    makeCorners(&c, p0, p1, w->half);
    int err = segment(w, &c, w->state == State_empty);
    if (err == Res_ok) {
        if (w->state == State_empty)
            w->first = c;
        else if (w->state == State_broken)
            err = w->startCap(w, &c, false);
        else if (!inCurve || w->firstJoin)
            err = w->join(w, &w->last, &c);
        else
            err = joinBevel(w, &w->last, &c);
    }
    w->state = State_drawing;
    w->firstJoin = false;
    w->last = c;
    return err;
}

int curvePiece(const int32_t *end, void *user)
{
    return addPiece(static_cast<StrokeWalk *>(user), Point{end[-3], end[-2]}, Point{end[0], end[1]},
                    true);
}

// Whether every point lies beyond one edge of the clip rectangle by more
// than the pen reaches, so that neither the curve's stroke nor its chord's
// can show inside.
bool beyondClip(const StrokeWalk *w, const Point *pts, int n)
{
    if (!w->hasClip)
        return false;
    const int64_t r = w->clipReach;
    bool left = true, right = true, below = true, above = true;
    for (int i = 0; i < n; i++) {
        left = left && pts[i].x < w->clip.x0 - r;
        right = right && pts[i].x > w->clip.x1 + r;
        below = below && pts[i].y > w->clip.y1 + r;
        above = above && pts[i].y < w->clip.y0 - r;
    }
    return left || right || below || above;
}

// Ends the subpath: the deferred start cap on the first piece and, when the
// chain is still open, the end cap on the last.
int endSubpath(StrokeWalk *w)
{
    int err = Res_ok;
    if (w->state == State_broken) {
        err = w->startCap(w, &w->first, false);
    } else if (w->state == State_drawing) {
        err = w->startCap(w, &w->first, false);
        if (err == Res_ok)
            err = w->endCap(w, &w->last, true);
    }
    if (err == Res_ok && w->state != State_empty && w->out)
        err = Path_lineToOp1(w->out, w->first.u0.x, w->first.u0.y);
    w->state = State_empty;
    w->firstAtStart = true;
    return err;
}

int onLine(const int32_t *points, void *user, const int32_t *last, const int32_t *)
{
    StrokeWalk *w = static_cast<StrokeWalk *>(user);
    if (!last)
        return Res_ok;
    return addPiece(w, mapPoint(w->matrix, last), mapPoint(w->matrix, points), false);
}

// The bounds of a curve spanning more than 2^24 units (far beyond any page)
// are not worth its flattening, which would give up to millions of pieces:
// its control polygon stands in for it, each control point adding the
// square the pen can reach around it. The curve lies inside the polygon's
// hull, so its stroke lies inside those squares; the polygon's first and
// last legs are the curve's end tangents, so the joins and caps at its
// ends come out as the stroke draws them, within the same squares.
constexpr int64_t kHugeCurve = int64_t(1) << 24;

bool hugeCurve(const StrokeWalk *w, const Point *p, int n)
{
    if (!w->box)
        return false;
    int64_t x0 = p[0].x, x1 = p[0].x, y0 = p[0].y, y1 = p[0].y;
    for (int i = 1; i < n; i++) {
        x0 = std::min<int64_t>(x0, p[i].x), x1 = std::max<int64_t>(x1, p[i].x);
        y0 = std::min<int64_t>(y0, p[i].y), y1 = std::max<int64_t>(y1, p[i].y);
    }
    return x1 - x0 > kHugeCurve || y1 - y0 > kHugeCurve;
}

int boundHugeCurve(StrokeWalk *w, const Point *p, int n)
{
    w->firstJoin = true;
    int err = Res_ok;
    for (int i = 1; err == Res_ok && i < n; i++)
        err = addPiece(w, p[i - 1], p[i], true);
    w->firstJoin = false;
    for (int i = 0; i < n; i++)
        growSquare(w, p[i], w->clipReach);
    return err;
}

int onQuad(const int32_t *points, void *user, const int32_t *last, const int32_t *)
{
    StrokeWalk *w = static_cast<StrokeWalk *>(user);
    if (!last)
        return Res_ok;
    const Point p[3] = {mapPoint(w->matrix, last), mapPoint(w->matrix, points),
                        mapPoint(w->matrix, points + 2)};
    if (beyondClip(w, p, 3))
        return addPiece(w, p[0], p[2], false);
    if (hugeCurve(w, p, 3))
        return boundHugeCurve(w, p, 3);
    const int32_t seg[Curve_quadWords] = {
        p[0].x, p[0].y, static_cast<int32_t>(Path_opQuad), p[1].x, p[1].y, p[2].x, p[2].y};
    w->firstJoin = true;
    int err = Curve_flatten(seg, curvePiece, w);
    w->firstJoin = false;
    return err;
}

int onCubic(const int32_t *points, void *user, const int32_t *last, const int32_t *)
{
    StrokeWalk *w = static_cast<StrokeWalk *>(user);
    if (!last)
        return Res_ok;
    const Point p[4] = {mapPoint(w->matrix, last), mapPoint(w->matrix, points),
                        mapPoint(w->matrix, points + 2), mapPoint(w->matrix, points + 4)};
    if (beyondClip(w, p, 4))
        return addPiece(w, p[0], p[3], false);
    if (hugeCurve(w, p, 4))
        return boundHugeCurve(w, p, 4);
    const int32_t curve[Curve_cubicWords] = {p[0].x, p[0].y, static_cast<int32_t>(Path_opCubic),
                                             p[1].x, p[1].y, p[2].x,
                                             p[2].y, p[3].x, p[3].y};
    w->firstJoin = true;
    int err = Curve_flattenCubic(curve, curvePiece, w);
    w->firstJoin = false;
    return err;
}

// Stroke_onBreak: a hidden line ends the chain with the end cap; the next
// piece starts a new one with the start cap. Before anything is drawn it
// means that the subpath's first piece will not start at its start.
int onBreak(const int32_t *, void *user, const int32_t *, const int32_t *)
{
    StrokeWalk *w = static_cast<StrokeWalk *>(user);
    if (w->state == State_empty)
        w->firstAtStart = false;
    if (w->state != State_drawing)
        return Res_ok;
    w->state = State_broken;
    return w->endCap(w, &w->last, true);
}

// Stroke_onClose: the closing piece back to the subpath's start is drawn as
// a line would be (joined to the last piece, or starting a chain after a
// break); then the last piece, which now ends at the start, is joined to
// the first. Where hidden lines leave the two without a common point (the
// chain was broken at the start, or the first piece begins after a hidden
// line) there is nothing to join: both ends get their caps, as at the end
// of an open subpath.
int onClose(const int32_t *, void *user, const int32_t *last, const int32_t *subpath)
{
    StrokeWalk *w = static_cast<StrokeWalk *>(user);
    if (!last || !subpath)
        return endSubpath(w);
    Point p = mapPoint(w->matrix, last), s = mapPoint(w->matrix, subpath);
    if (!samePoint(p, s)) {
        if (w->state == State_empty)
            w->firstAtStart = false;
        if (int err = addPiece(w, p, s, false))
            return err;
    }
    if (w->state != State_drawing || !w->firstAtStart)
        return endSubpath(w);
    int err = w->join(w, &w->last, &w->first);
    w->state = State_empty;
    w->firstAtStart = true;
    if (err == Res_ok && w->out)
        err = Path_lineToOp1(w->out, w->first.u0.x, w->first.u0.y);
    return err;
}

// Slot 0: the end of an open subpath (no points); an element of opcode 0
// in the buffer is not a path element.
int onEnd(const int32_t *points, void *user, const int32_t *, const int32_t *)
{
    if (points)
        return Res_notImplemented;
    return endSubpath(static_cast<StrokeWalk *>(user));
}

int onMove(const int32_t *, void *user, const int32_t *, const int32_t *)
{
    return endSubpath(static_cast<StrokeWalk *>(user));
}

int undefinedElement(const int32_t *, void *, const int32_t *, const int32_t *)
{
    return Res_notImplemented;
}

const PathWalkFn kStrokeWalk[16] = {
    onEnd,
    onBreak,
    undefinedElement,
    undefinedElement,
    onClose,
    onLine,
    onQuad,
    onCubic,
    undefinedElement,
    onMove,
    undefinedElement,
    undefinedElement,
    undefinedElement,
    undefinedElement,
    undefinedElement,
    undefinedElement,
};

// How far any cap of the pen reaches from the path (per axis).
int64_t capReach(uint32_t cap, int64_t half, const Pen *pen)
{
    switch (cap) {
    case Pen_capSquare: return (3 * half + 1) / 2; // half * sqrt(2) at most, for a cap at any angle
    case Pen_capArrow:
        return std::max(half, absolute(pen->arrowHalfWidth) + absolute(pen->arrowLength));
    default: return half;
    }
}

// Chooses the join and caps; 257 for join bits 3.
int setUp(StrokeWalk *w, const Pen *pen, const Matrix *matrix)
{
    *w = StrokeWalk{};
    uint32_t join = (pen->style >> Pen_joinShift) & 3;
    if (join == 3)
        return Res_strokeBadJoin;
    uint32_t startCap = (pen->style >> Pen_startCapShift) & 3,
             endCap = (pen->style >> Pen_endCapShift) & 3;
    w->pen = pen;
    w->matrix = walkMatrix(matrix);
    w->join = kJoins[join];
    w->startCap = kCaps[startCap];
    w->endCap = kCaps[endCap];
    w->half = pen->width / 2;
    int64_t half = absolute(w->half);
    // The arcs of round caps and joins come within a unit or two of the
    // circle (rounded corners, and the cubic arcs of the joins stay within
    // 0.03% of the radius).
    w->roundReach = half + (half >> 8) + 4;
    int64_t joinReach =
        join == Pen_joinMiter ? std::max(half, absolute(pen->miterLimit) / 2 + 1) : half;
    w->clipReach =
        std::max({capReach(startCap, half, pen), capReach(endCap, half, pen), joinReach}) +
        (half >> 8) + 4;
    w->state = State_empty;
    w->firstAtStart = true;
    return Res_ok;
}

int strokeWalk(StrokeWalk *w, const Path *path)
{
    int err = Path_walk(path, kStrokeWalk, w);
    if (err == Res_ok && w->state != State_empty)
        err = endSubpath(w); // a subpath that no move started, left open
    return err;
}

// ------------------------------------------------------------- dashing

struct DashWalk {
    Path *out;
    const Matrix *matrix;
    const int32_t *pattern;
    int64_t scale;
    bool solid;        // the period is below one output unit: no dashes
    uint32_t index;    // the pattern length being drawn
    int64_t remainder; // 16.16: what is left of it
    bool on;           // in a dash (else in a gap)
    bool moved;        // out has a current point from this walk
    bool firstOpen;    // the subpath's first dash has not written a line yet
    bool firstDash;    // the subpath began with a dash, whose first piece ends at firstEnd
    Point firstEnd;
    Point at; // out's current point
};

void restartPattern(DashWalk *w)
{
    w->index = 0;
    w->remainder = static_cast<int64_t>(w->pattern[0]) * w->scale;
    w->on = true;
}

// The next length of the pattern (the first again after the last), keeping
// the fraction of the remainder; dash and gap change places.
void nextLength(DashWalk *w)
{
    w->index++;
    if (w->pattern[w->index] < 0)
        w->index = 0;
    w->remainder = (w->remainder & 0xFFFF) + static_cast<int64_t>(w->pattern[w->index]) * w->scale;
    w->on = !w->on;
}

int moveTo(DashWalk *w, Point p)
{
    w->moved = true;
    w->at = p;
    return Path_moveTo(w->out, p.x, p.y);
}

// Dash_emit's output: a line to p in a dash, a move in a gap. A dash that
// ends where it is (a length that ran out exactly at the end of the line
// before) writes no line.
int emitPoint(DashWalk *w, Point p)
{
    if (!w->on)
        return moveTo(w, p);
    if (w->firstOpen) {
        w->firstOpen = false;
        w->firstDash = true;
        w->firstEnd = p;
    }
    if (samePoint(p, w->at))
        return Res_ok;
    w->at = p;
    return Path_lineTo(w->out, p.x, p.y);
}

// Steps from cur toward target by any distance that fits 64 bits.
Point advance(Point cur, Point target, uint64_t distance)
{
    while (distance > static_cast<uint64_t>(INT32_MAX)) {
        Geom_stepToward(&cur, cur.x, cur.y, target.x, target.y, INT32_MAX);
        distance -= INT32_MAX;
    }
    Geom_stepToward(&cur, cur.x, cur.y, target.x, target.y, static_cast<int32_t>(distance));
    return cur;
}

// Dash_line: the line from a to b (mapped), dashed. Each pattern length
// whose whole part fits in what is left of the line ends on it; the rest of
// the line is drawn in the phase it ends in and taken from the remainder.
int dashLine(DashWalk *w, Point a, Point b)
{
    int err = Res_ok;
    if (!w->moved)
        err = moveTo(w, a);
    if (err != Res_ok || samePoint(a, b))
        return err;
    if (w->solid) {
        w->at = b;
        return Path_lineTo(w->out, b.x, b.y);
    }
    uint64_t left = distanceBetween(a, b);
    Point cur = a;
    while (static_cast<uint64_t>(w->remainder >> 16) < left) {
        uint64_t step = static_cast<uint64_t>(w->remainder >> 16);
        cur = advance(cur, b, step);
        if ((err = emitPoint(w, cur)) != Res_ok)
            return err;
        left -= step;
        nextLength(w);
    }
    if ((err = emitPoint(w, b)) != Res_ok)
        return err;
    w->remainder -= static_cast<int64_t>(left) << 16;
    return Res_ok;
}

int dashPiece(const int32_t *end, void *user)
{
    return dashLine(static_cast<DashWalk *>(user), Point{end[-3], end[-2]}, Point{end[0], end[1]});
}

int dashOnMove(const int32_t *points, void *user, const int32_t *, const int32_t *)
{
    DashWalk *w = static_cast<DashWalk *>(user);
    restartPattern(w);
    w->firstOpen = true;
    w->firstDash = false;
    return moveTo(w, mapPoint(w->matrix, points));
}

// Dash_onOp1: a hidden line moves on without restarting the pattern; a
// first dash that has drawn nothing yet no longer starts at the subpath's
// start, so a close does not join to it.
int dashOnOp1(const int32_t *points, void *user, const int32_t *, const int32_t *)
{
    DashWalk *w = static_cast<DashWalk *>(user);
    w->firstOpen = false;
    return moveTo(w, mapPoint(w->matrix, points));
}

int dashOnLine(const int32_t *points, void *user, const int32_t *last, const int32_t *)
{
    DashWalk *w = static_cast<DashWalk *>(user);
    Point end = mapPoint(w->matrix, points);
    if (!last)
        return moveTo(w, end);
    return dashLine(w, mapPoint(w->matrix, last), end);
}

int dashOnQuad(const int32_t *points, void *user, const int32_t *last, const int32_t *)
{
    DashWalk *w = static_cast<DashWalk *>(user);
    Point c = mapPoint(w->matrix, points), end = mapPoint(w->matrix, points + 2);
    if (!last)
        return moveTo(w, end);
    Point start = mapPoint(w->matrix, last);
    if (!w->moved)
        if (int err = moveTo(w, start))
            return err;
    const int32_t seg[Curve_quadWords] = {
        start.x, start.y, static_cast<int32_t>(Path_opQuad), c.x, c.y, end.x, end.y};
    return Curve_flatten(seg, dashPiece, w);
}

int dashOnCubic(const int32_t *points, void *user, const int32_t *last, const int32_t *)
{
    DashWalk *w = static_cast<DashWalk *>(user);
    Point c1 = mapPoint(w->matrix, points), c2 = mapPoint(w->matrix, points + 2),
          end = mapPoint(w->matrix, points + 4);
    if (!last)
        return moveTo(w, end);
    Point start = mapPoint(w->matrix, last);
    if (!w->moved)
        if (int err = moveTo(w, start))
            return err;
    const int32_t curve[Curve_cubicWords] = {
        start.x, start.y, static_cast<int32_t>(Path_opCubic), c1.x, c1.y, c2.x, c2.y, end.x, end.y};
    return Curve_flattenCubic(curve, dashPiece, w);
}

// Dash_onClose: the closing line, dashed; a last dash that reaches the
// start while the subpath began with a dash continues along the first
// piece, so the two are stroked as one dash with a join at the start.
// Written solid, the subpath is closed.
int dashOnClose(const int32_t *, void *user, const int32_t *last, const int32_t *subpath)
{
    DashWalk *w = static_cast<DashWalk *>(user);
    if (!last || !subpath)
        return Res_ok;
    int err = dashLine(w, mapPoint(w->matrix, last), mapPoint(w->matrix, subpath));
    if (err == Res_ok && w->solid) {
        err = Path_close(w->out);
        w->moved = false;
    } else if (err == Res_ok && w->on && w->firstDash) {
        err = emitPoint(w, w->firstEnd);
    }
    w->firstOpen = false;
    w->firstDash = false;
    return err;
}

int dashOnEnd(const int32_t *points, void *, const int32_t *, const int32_t *)
{
    return points ? Res_notImplemented : Res_ok;
}

const PathWalkFn kDashWalk[16] = {
    dashOnEnd,        dashOnOp1,        undefinedElement, undefinedElement,
    dashOnClose,      dashOnLine,       dashOnQuad,       dashOnCubic,
    undefinedElement, dashOnMove,       undefinedElement, undefinedElement,
    undefinedElement, undefinedElement, undefinedElement, undefinedElement,
};

// Whether the pattern's lengths times the scale add up to less than one
// output unit (0x10000 in 16.16): stepping along it would not get anywhere.
bool periodBelowOneUnit(const int32_t *pattern, int32_t scale)
{
    if (scale <= 0)
        return true;
    int64_t sum = 0;
    for (size_t i = 0; pattern[i] >= 0; i++) {
        sum += static_cast<int64_t>(pattern[i]) * scale;
        if (sum >= 0x10000)
            return false;
    }
    return true;
}

} // namespace

int Path_dash(const Path *source, Path *out, const Matrix *matrix, const int32_t *pattern,
              int32_t dashScale)
{
    if (!source || !out || !matrix || !pattern)
        return Res_nullInput;
    if (pattern[0] < 1)
        return Res_ok;
    DashWalk w{};
    w.out = out;
    w.matrix = walkMatrix(matrix);
    w.pattern = pattern;
    w.scale = dashScale;
    w.solid = periodBelowOneUnit(pattern, dashScale);
    restartPattern(&w);
    return Path_walk(source, kDashWalk, &w);
}

int Path_stroke(EngineContext *, const Path *source, Path *out, const Matrix *matrix,
                const Pen *pen, int32_t dashScale, const Rect *clip)
{
    if (!source || !out || !matrix || !pen)
        return Res_nullInput;
    StrokeWalk w;
    if (int err = setUp(&w, pen, matrix))
        return err;
    w.out = out;
    if (clip) {
        w.hasClip = true;
        w.clip = *clip;
    }
    if (pen->dash && pen->dash[0] < 1)
        return Res_ok; // such a pen draws nothing
    if (!pen->dash || periodBelowOneUnit(pen->dash, dashScale))
        return strokeWalk(&w, source);
    Path *dashed = nullptr;
    int err = Path_create(&dashed, source->scale);
    if (err != Res_ok)
        return err;
    err = Path_dash(source, dashed, matrix, pen->dash, dashScale);
    if (err == Res_ok) {
        w.matrix = nullptr; // the dashes are mapped already
        err = strokeWalk(&w, dashed);
    }
    Path_destroy(dashed);
    return err;
}

int Path_strokeBounds(EngineContext *, const Path *source, Rect *out, const Matrix *matrix,
                      const Pen *pen)
{
    if (!out)
        return Res_nullInput;
    *out = Rect_emptyBound;
    if (!source || !matrix || !pen)
        return Res_nullInput;
    StrokeWalk w;
    if (int err = setUp(&w, pen, matrix))
        return err;
    if (pen->dash && pen->dash[0] < 1)
        return Res_ok; // such a pen draws nothing
    w.box = out;
    if (pen->dash)
        w.dashReach = w.clipReach;
    return strokeWalk(&w, source);
}
