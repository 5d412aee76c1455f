// 16.16 affine transforms: concatenation with its translation and scale
// shortcuts, rotation, scaling, inversion, the higher-precision untransform,
// point mapping and the wide (32.32) matrix.
//
// Every product of two 16.16 values is taken in 64 bits. Rounded results
// keep bits 16 to 47 of (sum + 0x8000); those bits depend only on the sum
// modulo 2^64, so the sums are built in uint64_t, where wrapping is defined,
// and give the same low 32 bits as the exact sum would.
#include "core/geom/matrix.h"

#include <cmath>

#include "core/geom/int128.h"

static const Matrix identityMatrix = {0x10000, 0, 0, 0x10000, 0, 0};

// The 64-bit product p * q, wrapping.
static inline uint64_t mulW(int64_t p, int64_t q)
{
    return static_cast<uint64_t>(p) * static_cast<uint64_t>(q);
}

// A 16.16 result from a 32-fraction-bit sum: (sum + 0x8000) >> 16, low 32
// bits kept (round half up).
static inline int32_t round16(uint64_t sum)
{
    return static_cast<int32_t>(static_cast<uint32_t>((sum + 0x8000u) >> 16));
}

// A 16.16 result from a 48-fraction-bit sum: (sum + 2^31) >> 32, low 32 bits
// kept (round half up).
static inline int32_t round32(uint64_t sum)
{
    return static_cast<int32_t>(static_cast<uint32_t>((sum + 0x80000000u) >> 32));
}

// p + q on 32-bit values, wrapping.
static inline int32_t add32(int32_t p, int32_t q)
{
    return static_cast<int32_t>(static_cast<uint32_t>(p) + static_cast<uint32_t>(q));
}

// -p on a 32-bit value, wrapping.
static inline int32_t neg32(int32_t p)
{
    return static_cast<int32_t>(0u - static_cast<uint32_t>(p));
}

// (num * 2^16) / den truncated toward zero, as a value modulo 2^64: the
// quotient of num / den carried 16 bits further by long division of the
// remainder. Works on magnitudes, so no quotient or negation can trap.
static uint64_t divExtend16(int64_t num, int64_t den)
{
    uint64_t n = num < 0 ? 0u - static_cast<uint64_t>(num) : static_cast<uint64_t>(num);
    uint64_t d = den < 0 ? 0u - static_cast<uint64_t>(den) : static_cast<uint64_t>(den);
    uint64_t q = n / d, r = n % d;
    for (int i = 0; i < 16; i++) {
        // r < d < 2^63, so doubling it cannot overflow.
        r <<= 1;
        q <<= 1;
        if (r >= d) {
            r -= d;
            q |= 1;
        }
    }
    return (num < 0) != (den < 0) ? 0u - q : q;
}

// num / den rounded to nearest, halves toward positive infinity, as a value
// modulo 2^64 (callers keep the low 32 bits). Works on magnitudes, so
// INT64_MIN needs no negation.
static uint64_t divRoundHalfUp(int64_t num, int64_t den)
{
    uint64_t n = num < 0 ? 0u - static_cast<uint64_t>(num) : static_cast<uint64_t>(num);
    uint64_t d = den < 0 ? 0u - static_cast<uint64_t>(den) : static_cast<uint64_t>(den);
    uint64_t q = n / d, r = n % d;
    if ((num < 0) != (den < 0)) {
        // A negative quotient: an exact half goes up, toward zero.
        if (r > d - r)
            q++;
        return 0u - q;
    }
    if (r >= d - r)
        q++;
    return q;
}

void Matrix_setIdentity(Matrix *m)
{
    *m = identityMatrix;
}

const Matrix *Matrix_identity()
{
    return &identityMatrix;
}

void Matrix_translate(Matrix *m, int32_t dx, int32_t dy)
{
    m->tx = add32(m->tx, dx);
    m->ty = add32(m->ty, dy);
}

// "m then n" for n without shear: each product rounded on its own.
static void concatScale(Matrix *m, const Matrix *n)
{
    Matrix r;
    r.a = round16(mulW(m->a, n->a));
    r.b = round16(mulW(m->b, n->d));
    r.c = round16(mulW(m->c, n->a));
    r.d = round16(mulW(m->d, n->d));
    r.tx = add32(round16(mulW(m->tx, n->a)), n->tx);
    r.ty = add32(round16(mulW(m->ty, n->d)), n->ty);
    *m = r;
}

// "m then n", the general formula: each entry a rounded sum of two products,
// plus n's offsets for tx and ty.
static void concatGeneral(Matrix *m, const Matrix *n)
{
    Matrix r;
    r.a = round16(mulW(m->a, n->a) + mulW(m->b, n->c));
    r.b = round16(mulW(m->a, n->b) + mulW(m->b, n->d));
    r.c = round16(mulW(m->c, n->a) + mulW(m->d, n->c));
    r.d = round16(mulW(m->c, n->b) + mulW(m->d, n->d));
    r.tx = add32(round16(mulW(m->tx, n->a) + mulW(m->ty, n->c)), n->tx);
    r.ty = add32(round16(mulW(m->tx, n->b) + mulW(m->ty, n->d)), n->ty);
    *m = r;
}

void Matrix_concat(Matrix *m, const Matrix *n)
{
    if (n->b != 0 || n->c != 0) {
        concatGeneral(m, n);
    } else if (n->a != 0x10000 || n->d != 0x10000) {
        concatScale(m, n);
    } else {
        // n is a translation: the products by 1.0 are exact.
        m->tx = add32(m->tx, n->tx);
        m->ty = add32(m->ty, n->ty);
    }
}

void Matrix_multiply(Matrix *out, const Matrix *m, const Matrix *n)
{
    // Work on copies: out may be either input.
    Matrix first = *m;
    Matrix second = *n;
    Matrix_concat(&first, &second);
    *out = first;
}

void Matrix_rotation(Matrix *m, int32_t angle)
{
    if (angle == 0)
        return;
    const double pi = 3.14159265358979323846;
    double radians = static_cast<double>(angle) * 2.0 * pi / 360.0 / 65536.0;
    // Truncation toward zero: a cosine of 6e-17 at 90 degrees becomes 0.
    int32_t p = static_cast<int32_t>(std::cos(radians) * 65536.0);
    int32_t q = static_cast<int32_t>(std::sin(radians) * 65536.0);
    Matrix r = {p, q, neg32(q), p, 0, 0};
    Matrix_concat(m, &r);
}

void Matrix_scaleAll(Matrix *m, int32_t factor)
{
    m->a = round16(mulW(m->a, factor));
    m->b = round16(mulW(m->b, factor));
    m->c = round16(mulW(m->c, factor));
    m->d = round16(mulW(m->d, factor));
    m->tx = round16(mulW(m->tx, factor));
    m->ty = round16(mulW(m->ty, factor));
}

int64_t Matrix_det(const Matrix *m)
{
    // |a*d| and |b*c| are at most 2^62, and they cannot both reach it with
    // opposite signs (that would need +2^31 in 32 bits), so the difference
    // always fits a signed 64-bit value.
    return static_cast<int64_t>(m->a) * m->d - static_cast<int64_t>(m->b) * m->c;
}

void Matrix_invert(Matrix *out, const Matrix *m)
{
    Matrix src = *m;
    int64_t det = Matrix_det(&src);
    if (det == 0) {
        *out = Matrix{0, 0, 0, 0, 0, 0};
        return;
    }
    // Each 2x2 entry is entry / det as a rounded 16.16 quotient. (Taking a
    // truncated 16.16 reciprocal of det first and multiplying by it loses
    // up to 1/reciprocal of every entry: a 200x scale inverts 39% short, and
    // any determinant past 65536.0 inverts to all zeros, the answer for a
    // singular matrix.) Negated entries divide by -det, which always fits.
    const int64_t one = static_cast<int64_t>(1) << 32;
    Matrix inv;
    inv.a = static_cast<int32_t>(static_cast<uint32_t>(divRoundHalfUp(src.d * one, det)));
    inv.b = static_cast<int32_t>(static_cast<uint32_t>(divRoundHalfUp(src.b * one, -det)));
    inv.c = static_cast<int32_t>(static_cast<uint32_t>(divRoundHalfUp(src.c * one, -det)));
    inv.d = static_cast<int32_t>(static_cast<uint32_t>(divRoundHalfUp(src.a * one, det)));
    // Each sum rounded once, then negated. For a pure translation the
    // entries are exactly 1.0 and this is -tx, -ty.
    inv.tx = neg32(round16(mulW(inv.c, src.ty) + mulW(inv.a, src.tx)));
    inv.ty = neg32(round16(mulW(inv.d, src.ty) + mulW(inv.b, src.tx)));
    *out = inv;
}

void Matrix_untransformPoint(Point *out, int32_t x, int32_t y, const Matrix *m)
{
    int64_t det = Matrix_det(m);
    if (det == 0) {
        *out = Point{0, 0};
        return;
    }
    // The inverse's 2x2 part with 32 fraction bits: (entry * 2^32) / det is
    // the 16.16 quotient, carried 16 bits further. Negated entries divide
    // by -det, which always fits.
    const int64_t one = static_cast<int64_t>(1) << 32;
    uint64_t ia = divExtend16(m->d * one, det);
    uint64_t ib = divExtend16(m->b * one, -det);
    uint64_t ic = divExtend16(m->c * one, -det);
    uint64_t id = divExtend16(m->a * one, det);
    // Times a 16.16 coordinate the products carry 48 fraction bits. The sums
    // are exact modulo 2^64, all that the rounded low 32 bits depend on.
    uint64_t ux = static_cast<uint64_t>(static_cast<int64_t>(x));
    uint64_t uy = static_cast<uint64_t>(static_cast<int64_t>(y));
    uint64_t utx = static_cast<uint64_t>(static_cast<int64_t>(m->tx));
    uint64_t uty = static_cast<uint64_t>(static_cast<int64_t>(m->ty));
    uint64_t sx = ia * ux + ic * uy - (ia * utx + ic * uty);
    uint64_t sy = ib * ux + id * uy - (ib * utx + id * uty);
    out->x = round32(sx);
    out->y = round32(sy);
}

void Matrix_transformPoint(Point *out, int32_t x, int32_t y, const Matrix *m)
{
    int32_t nx = add32(m->tx, round16(mulW(m->a, x) + mulW(m->c, y)));
    int32_t ny = add32(m->ty, round16(mulW(m->b, x) + mulW(m->d, y)));
    out->x = nx;
    out->y = ny;
}

void Matrix_transformPoints(const Point *in, size_t count, Point *out, const Matrix *m)
{
    for (size_t i = 0; i < count; i++) {
        // Read the whole input point before writing: in may be out.
        int32_t x = in[i].x, y = in[i].y;
        Matrix_transformPoint(&out[i], x, y, m);
    }
}

void Matrix_transformTriple(Point *out, const Point *in, const Matrix *m)
{
    Matrix_transformPoints(in, 3, out, m);
}

void Matrix_transformQuad(Point *out, const Point *in, const Matrix *m)
{
    Matrix_transformPoints(in, 4, out, m);
}

void MatrixWide_transformPoint(Point *out, int32_t x, int32_t y, const MatrixWide *w)
{
    uint64_t sx = mulW(w->a, x) + mulW(w->c, y);
    uint64_t sy = mulW(w->b, x) + mulW(w->d, y);
    int32_t nx = add32(w->tx, round32(sx));
    int32_t ny = add32(w->ty, round32(sy));
    out->x = nx;
    out->y = ny;
}

// (p * q + r * s) >> 16 exactly, low 64 bits kept.
static int64_t wideEntry(int64_t p, int32_t q, int64_t r, int32_t s)
{
    Int128 sum = Int128_add(Int128_mul64(p, q), Int128_mul64(r, s));
    return Int128_low64(Int128_shr(sum, 16));
}

void Matrix_mulWide(MatrixWide *w, const Matrix *n)
{
    MatrixWide r;
    r.a = wideEntry(w->a, n->a, w->b, n->c);
    r.b = wideEntry(w->a, n->b, w->b, n->d);
    r.c = wideEntry(w->c, n->a, w->d, n->c);
    r.d = wideEntry(w->c, n->b, w->d, n->d);
    r.tx = add32(round16(mulW(w->tx, n->a) + mulW(w->ty, n->c)), n->tx);
    r.ty = add32(round16(mulW(w->tx, n->b) + mulW(w->ty, n->d)), n->ty);
    *w = r;
}
