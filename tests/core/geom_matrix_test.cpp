// 16.16 matrices: concatenation and its shortcuts, rounding, rotation,
// scaling, determinant, inversion, the higher-precision untransform, point
// mapping, the wide matrix and the 128-bit helpers. Expected values were
// worked out with exact integer arithmetic (Python) from the formulas, not
// by running this code.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "core/geom/int128.h"
#include "core/geom/matrix.h"

namespace {

const Matrix kIdentity = {0x10000, 0, 0, 0x10000, 0, 0};

void expectMatrix(const Matrix &want, const Matrix &got, const char *what)
{
    EXPECT_EQ(want.a, got.a) << what;
    EXPECT_EQ(want.b, got.b) << what;
    EXPECT_EQ(want.c, got.c) << what;
    EXPECT_EQ(want.d, got.d) << what;
    EXPECT_EQ(want.tx, got.tx) << what;
    EXPECT_EQ(want.ty, got.ty) << what;
}

void expectWide(const MatrixWide &want, const MatrixWide &got, const char *what)
{
    EXPECT_EQ(want.a, got.a) << what;
    EXPECT_EQ(want.b, got.b) << what;
    EXPECT_EQ(want.c, got.c) << what;
    EXPECT_EQ(want.d, got.d) << what;
    EXPECT_EQ(want.tx, got.tx) << what;
    EXPECT_EQ(want.ty, got.ty) << what;
}

TEST(Matrix, IdentityRecordAndSetter)
{
    expectMatrix(kIdentity, *Matrix_identity(), "constant");
    EXPECT_EQ(Matrix_identity(), Matrix_identity());
    Matrix m = {1, 2, 3, 4, 5, 6};
    Matrix_setIdentity(&m);
    expectMatrix(kIdentity, m, "set");
}

TEST(Matrix, TranslateAddsUntransformedOffsets)
{
    Matrix m = {0x20000, 0, 0, 0x20000, 0x10000, -0x10000};
    Matrix_translate(&m, 0x8000, 0x30000);
    expectMatrix({0x20000, 0, 0, 0x20000, 0x18000, 0x20000}, m, "translate");
    // Offsets wrap as 32-bit values.
    Matrix w = {0x10000, 0, 0, 0x10000, INT32_MAX, INT32_MIN};
    Matrix_translate(&w, 1, -1);
    EXPECT_EQ(INT32_MIN, w.tx);
    EXPECT_EQ(INT32_MAX, w.ty);
}

TEST(Matrix, ConcatTable)
{
    const Matrix m = {0x20000, 0x1000, -0x3000, 0x18000, 0x50000, -0x28000};
    const int32_t lo = INT32_MIN;
    struct {
        const char *what;
        Matrix m, n, want;
    } cases[] = {
        {"identity (translation shortcut)", m, kIdentity, m},
        {"translation",
         m,
         {0x10000, 0, 0, 0x10000, 0x12345, -0x6789},
         {0x20000, 0x1000, -0x3000, 0x18000, 0x62345, -0x2E789}},
        {"scale",
         m,
         {0x8000, 0, 0, 0x18000, 0x10000, 0x20000},
         {0x10000, 0x1800, -0x1800, 0x24000, 0x38000, -0x1C000}},
        // 0x18001 * 0.5 = 0xC000.8 -> 0xC001; 3 * 1.5 = 4.5 -> 5; 7 * 0.5 = 3.5
        // -> 4; -5 * 1.5 = -7.5 -> -7: halves round up.
        {"scale rounds half up",
         {0x18001, 3, 7, -5, 0x12345, -1},
         {0x8000, 0, 0, 0x18000, 0x10000, 0x20000},
         {0xC001, 5, 4, -7, 0x191A3, 0x1FFFF}},
        {"quarter turn (general)",
         m,
         {0, 0x10000, -0x10000, 0, 0, 0},
         {-0x1000, 0x20000, -0x18000, -0x3000, 0x28000, 0x50000}},
        {"general",
         m,
         {0x12345, 0x6789, -0x4321, 0xFEDC, 0x111, -0x222},
         {0x24258, 0xDF00, -0x9B4E, 0x16AE0, 0x6593D, -0x799B}},
        // Sums of two products of -2^31 reach 2^63, past a signed 64-bit
        // word; the kept low bits must still be those of the exact sum.
        {"extreme sums wrap exactly",
         {lo, lo, lo, lo, lo, lo},
         {lo, 1, lo, lo, lo, lo},
         {0, -0x8000, 0, -0x8000, INT32_MIN, 0x7FFF8000}},
    };
    for (auto &c : cases) {
        Matrix got = c.m;
        Matrix_concat(&got, &c.n);
        expectMatrix(c.want, got, c.what);
        Matrix out = {};
        Matrix_multiply(&out, &c.m, &c.n);
        expectMatrix(c.want, out, c.what);
    }
}

// The rounding rule of every product, shown through the scale of all six
// entries: 1.5 * 0.5 = 0.75 exactly; -1 * 0x8000 is -0.5 units and rounds up
// to 0; -1 * 0x8001 is just below -0.5 and rounds to -1.
TEST(Matrix, ScaleAllRoundsHalfUp)
{
    Matrix m = {0x18000, -1, -1, 0x10000, 0x7FFF, -0x7FFF};
    Matrix_scaleAll(&m, 0x8000);
    expectMatrix({0xC000, 0, 0, 0x8000, 0x4000, -0x3FFF}, m, "by 0.5");
    Matrix n = {-1, -1, 1, 3, 0, 0};
    Matrix_scaleAll(&n, 0x8001);
    expectMatrix({-1, -1, 1, 2, 0, 0}, n, "by 0x8001");
}

// Reference for concatenation: the general formula with exact 128-bit
// products, written independently of the code under test.
Matrix referenceConcat(const Matrix &m, const Matrix &n)
{
    auto r = [](__int128 s) {
        return static_cast<int32_t>(
            static_cast<uint32_t>(static_cast<uint64_t>((s + 0x8000) >> 16)));
    };
    auto p = [](int32_t x, int32_t y) { return static_cast<__int128>(x) * y; };
    Matrix o;
    o.a = r(p(m.a, n.a) + p(m.b, n.c));
    o.b = r(p(m.a, n.b) + p(m.b, n.d));
    o.c = r(p(m.c, n.a) + p(m.d, n.c));
    o.d = r(p(m.c, n.b) + p(m.d, n.d));
    o.tx = static_cast<int32_t>(static_cast<uint32_t>(r(p(m.tx, n.a) + p(m.ty, n.c))) +
                                static_cast<uint32_t>(n.tx));
    o.ty = static_cast<int32_t>(static_cast<uint32_t>(r(p(m.tx, n.b) + p(m.ty, n.d))) +
                                static_cast<uint32_t>(n.ty));
    return o;
}

// The three ways of concatenating agree with the general formula for every
// kind of n, with entries over the whole 32-bit range, and Matrix_multiply
// gives the same result whether out is separate, m or n.
TEST(Matrix, ShortcutsAndAliasingMatchGeneralFormula)
{
    std::mt19937 rng(12345);
    auto any = [&] { return static_cast<int32_t>(rng()); };
    auto small = [&] { return static_cast<int32_t>(rng() % 0x40000) - 0x20000; };
    for (int i = 0; i < 20000; i++) {
        bool wide = i % 2 == 0;
        auto pick = [&] { return wide ? any() : small(); };
        Matrix m = {pick(), pick(), pick(), pick(), pick(), pick()};
        Matrix n = {pick(), pick(), pick(), pick(), pick(), pick()};
        switch (i % 4) {
        case 0: // translation
            n.a = n.d = 0x10000;
            n.b = n.c = 0;
            break;
        case 1: // scale
            n.b = n.c = 0;
            break;
        case 2: // shear in one entry only
            (i & 8 ? n.b : n.c) = 0;
            break;
        default: break;
        }
        Matrix want = referenceConcat(m, n);
        Matrix got = m;
        Matrix_concat(&got, &n);
        ASSERT_EQ(0, memcmp(&want, &got, sizeof want)) << "case " << i;
        Matrix out;
        Matrix_multiply(&out, &m, &n);
        ASSERT_EQ(0, memcmp(&want, &out, sizeof want)) << "separate out, case " << i;
        Matrix asM = m;
        Matrix_multiply(&asM, &asM, &n);
        ASSERT_EQ(0, memcmp(&want, &asM, sizeof want)) << "out = m, case " << i;
        Matrix asN = n;
        Matrix_multiply(&asN, &m, &asN);
        ASSERT_EQ(0, memcmp(&want, &asN, sizeof want)) << "out = n, case " << i;
    }
    // Concatenating a matrix with itself.
    Matrix s = {0x20000, 0x1000, -0x3000, 0x18000, 0x50000, -0x28000};
    Matrix want = referenceConcat(s, s);
    Matrix_concat(&s, &s);
    expectMatrix(want, s, "m then m");
}

TEST(Matrix, RotationTable)
{
    struct {
        int32_t angle;
        Matrix want;
    } cases[] = {
        // cos 90 degrees is 6e-17 in double precision and truncates to 0.
        {0x5A0000, {0, 0x10000, -0x10000, 0, 0, 0}},
        {-0x5A0000, {0, -0x10000, 0x10000, 0, 0, 0}},
        {0xB40000, {-0x10000, 0, 0, -0x10000, 0, 0}},
        {0x2D0000, {0xB504, 0xB504, -0xB504, 0xB504, 0, 0}},
        // sin 30 degrees is 0.49999999999999994: truncation gives 0x7FFF.
        {0x1E0000, {0xDDB3, 0x7FFF, -0x7FFF, 0xDDB3, 0, 0}},
        {0x10000, {0xFFF6, 0x477, -0x477, 0xFFF6, 0, 0}},
        {0x168000, {0xEC83, 0x61F7, -0x61F7, 0xEC83, 0, 0}},
        // A tiny negative angle: the cosine truncates below 1.0, the sine to 0.
        {-0x10, {0xFFFF, 0, 0, 0xFFFF, 0, 0}},
    };
    for (auto &c : cases) {
        Matrix m = kIdentity;
        Matrix_rotation(&m, c.angle);
        expectMatrix(c.want, m, "rotated identity");
    }
    // A scaled and translated matrix: its translation turns too.
    Matrix m = {0x20000, 0, 0, 0x20000, 0x10000, 0x30000};
    Matrix_rotation(&m, 0x1E0000);
    expectMatrix({0x1BB66, 0xFFFE, -0xFFFE, 0x1BB66, -0xA24A, 0x31918}, m, "rotated scale");
    // Angle 0 leaves even a matrix the rotation could not reproduce alone.
    Matrix keep = {0x12345, 0x6789, -0x4321, 0xFEDC, 0x111, -0x222};
    Matrix before = keep;
    Matrix_rotation(&keep, 0);
    expectMatrix(before, keep, "angle 0");
}

TEST(Matrix, DeterminantIsExact)
{
    const int32_t lo = INT32_MIN, hi = INT32_MAX;
    struct {
        Matrix m;
        int64_t want;
    } cases[] = {
        {kIdentity, INT64_C(1) << 32},
        {{0x20000, 0x1000, -0x3000, 0x18000, 0, 0}, INT64_C(0x303000000)},
        {{0x10000, 0x20000, 0x8000, 0x10000, 0, 0}, 0},
        // The two extremes of the range: both fit a signed 64-bit value.
        {{lo, lo, hi, lo, 0, 0}, INT64_MAX - hi},
        {{lo, lo, lo, hi, 0, 0}, INT64_MIN + INT64_C(0x80000000)},
    };
    for (auto &c : cases)
        EXPECT_EQ(c.want, Matrix_det(&c.m));
}

TEST(Matrix, InvertTable)
{
    struct {
        const char *what;
        Matrix m, want;
    } cases[] = {
        {"translation only",
         {0x10000, 0, 0, 0x10000, 0x50000, -0x28000},
         {0x10000, 0, 0, 0x10000, -0x50000, 0x28000}},
        {"scale",
         {0x20000, 0, 0, 0x8000, 0x50000, -0x28000},
         {0x8000, 0, 0, 0x20000, -0x28000, 0x50000}},
        // 1/3 = 0x5555.55 rounds down, 1/1.5 = 0xAAAA.AA up; 1/1 stays exact.
        {"scale 3",
         {0x30000, 0, 0, 0x30000, 0x10000, 0x10000},
         {0x5555, 0, 0, 0x5555, -0x5555, -0x5555}},
        {"scale 1.5 by 1", {0x18000, 0, 0, 0x10000, 0x1234, 0}, {0xAAAB, 0, 0, 0x10000, -0xC23, 0}},
        {"quarter turn and offset",
         {0, 0x10000, -0x10000, 0, 0x64000, 0x32000},
         {0, -0x10000, 0x10000, 0, -0x32000, 0x64000}},
        {"general",
         {0x20000, 0x1000, -0x3000, 0x18000, 0x50000, -0x28000},
         {0x7F80, -0x550, 0xFF0, 0xAA01, -0x255A8, 0x1C392}},
        // Large determinants: a truncated 16.16 reciprocal of the determinant
        // would give 200 units for 1/200 (0x148 = 327.68 units) and all zeros
        // past a determinant of 65536.0, as if the matrix were singular.
        {"scale 200", {0xC80000, 0, 0, 0xC80000, 0, 0}, {0x148, 0, 0, 0x148, 0, 0}},
        {"page-sized image matrix",
         {612 << 16, 0, 0, 792 << 16, 0x10000, 0x20000},
         {0x6B, 0, 0, 0x53, -0x6B, -0xA6}},
        {"extreme translation",
         {0x10000, 0, 0, 0x10000, INT32_MIN, INT32_MAX},
         {0x10000, 0, 0, 0x10000, INT32_MIN, -INT32_MAX}},
        {"singular", {0x10000, 0x20000, 0x8000, 0x10000, 0x1234, 0x5678}, {0, 0, 0, 0, 0, 0}},
        {"all zero", {0, 0, 0, 0, 7, 9}, {0, 0, 0, 0, 0, 0}},
    };
    for (auto &c : cases) {
        Matrix out = {1, 1, 1, 1, 1, 1};
        Matrix_invert(&out, &c.m);
        expectMatrix(c.want, out, c.what);
        Matrix self = c.m;
        Matrix_invert(&self, &self);
        expectMatrix(c.want, self, c.what);
    }
}

// M then its inverse is the identity within a stated tolerance. Each 2x2
// entry of the inverse is within half a unit, so an entry of the product is
// within half a unit times the size (in whole units) of the entries it meets,
// plus half a unit of its own rounding; the translation likewise within half
// a unit per whole unit of offset, plus its roundings.
TEST(Matrix, InvertRoundTrip)
{
    const Matrix cases[] = {
        {0x10000, 0, 0, 0x10000, 0x50000, -0x28000},
        {0x20000, 0, 0, 0x8000, 0x50000, -0x28000},
        {0x30000, 0, 0, 0x30000, 0x640000, -0x320000},
        {0xB504, 0xB504, -0xB504, 0xB504, 0x123456, 0x654321},
        {0x20000, 0x1000, -0x3000, 0x18000, 0x50000, -0x28000},
        {0x8000, -0x4000, 0x2000, 0x6000, -0x10000, 0x10000},
        {0, 0x30000, -0x20000, 0, 0x1000000, 0x800000},
        {612 << 16, 0, 0, 792 << 16, 0x10000, 0x20000},
    };
    auto units = [](int32_t v) { return std::abs(static_cast<double>(v)) / 65536.0; };
    for (const Matrix &m : cases) {
        Matrix inv, prod;
        Matrix_invert(&inv, &m);
        Matrix_multiply(&prod, &m, &inv);
        double size = units(m.a) + units(m.b) + units(m.c) + units(m.d);
        double slack = 0.5 + 0.5 * size;
        EXPECT_NEAR(0x10000, prod.a, slack);
        EXPECT_NEAR(0, prod.b, slack);
        EXPECT_NEAR(0, prod.c, slack);
        EXPECT_NEAR(0x10000, prod.d, slack);
        double offsets = units(m.tx) + units(m.ty);
        EXPECT_NEAR(0, prod.tx, 1.5 + 0.5 * offsets * (1 + size));
        EXPECT_NEAR(0, prod.ty, 1.5 + 0.5 * offsets * (1 + size));
        // And the other way round: the inverse's entries meet the
        // matrix's, and its offsets are mapped back through the matrix.
        Matrix_multiply(&prod, &inv, &m);
        double invSize = units(inv.a) + units(inv.b) + units(inv.c) + units(inv.d);
        EXPECT_NEAR(0x10000, prod.a, 0.5 + 0.5 * size + invSize);
        EXPECT_NEAR(0x10000, prod.d, 0.5 + 0.5 * size + invSize);
        EXPECT_NEAR(0, prod.tx, 1.5 + 0.5 * offsets * (1 + size) * (1 + size));
        EXPECT_NEAR(0, prod.ty, 1.5 + 0.5 * offsets * (1 + size) * (1 + size));
    }
}

// Transforming and then untransforming gets the point back. The untransform
// itself is within a unit of the exact answer; the transform's own rounding
// (half a unit per axis) comes back magnified by the inverse's entries.
TEST(Matrix, UntransformRoundTrip)
{
    const Matrix cases[] = {
        {0x10000, 0, 0, 0x10000, 0x50000, -0x28000},
        {0x20000, 0, 0, 0x8000, 0x50000, -0x28000},
        {0x30000, 0, 0, 0x30000, 0x10000, 0x10000},
        {0xB504, 0xB504, -0xB504, 0xB504, 0x123456, 0x654321},
        {0x20000, 0x1000, -0x3000, 0x18000, 0x50000, -0x28000},
        {0x8000, -0x4000, 0x2000, 0x6000, -0x10000, 0x10000},
        {0, 0x30000, -0x20000, 0, 0x1000000, 0x800000},
        {612 << 16, 0, 0, 792 << 16, 0x10000, 0x20000},
    };
    const Point points[] = {{0, 0}, {0x10000, 0x20000}, {-0x123456, 0x654321}, {0x7FFFF, -3}};
    for (const Matrix &m : cases) {
        double det = (static_cast<double>(m.a) * m.d - static_cast<double>(m.b) * m.c) / 65536.0;
        double invSize = (std::abs(static_cast<double>(m.a)) + std::abs(static_cast<double>(m.b)) +
                          std::abs(static_cast<double>(m.c)) + std::abs(static_cast<double>(m.d))) /
                         std::abs(det);
        double slack = 1 + 0.5 * invSize;
        for (const Point &p : points) {
            // Points whose image does not fit 16.16 are out of range.
            double qx =
                (static_cast<double>(m.a) * p.x + static_cast<double>(m.c) * p.y) / 65536 + m.tx;
            double qy =
                (static_cast<double>(m.b) * p.x + static_cast<double>(m.d) * p.y) / 65536 + m.ty;
            if (std::abs(qx) >= 2147483648.0 || std::abs(qy) >= 2147483648.0)
                continue;
            Point q, back;
            Matrix_transformPoint(&q, p.x, p.y, &m);
            Matrix_untransformPoint(&back, q.x, q.y, &m);
            EXPECT_NEAR(p.x, back.x, slack);
            EXPECT_NEAR(p.y, back.y, slack);
        }
    }
}

TEST(Matrix, TransformPointRounding)
{
    struct {
        Matrix m;
        int32_t x, y;
        Point want;
    } cases[] = {
        {kIdentity, 0x123456, -0x654321, {0x123456, -0x654321}},
        {kIdentity, INT32_MIN, INT32_MAX, {INT32_MIN, INT32_MAX}},
        // 0.5 * 1 unit = 0.5 rounds up to 1; 0.5 * -1 = -0.5 rounds up to 0.
        {{0x8000, 0, 0, 0x8000, 0, 0}, 1, -1, {1, 0}},
        {{0x8000, 0, 0, 0x8000, 0, 0}, -1, 1, {0, 1}},
        // One rounding for the sum a*x + c*y: 0.5 + 0.5 units = 1, not 2.
        {{0x8000, 0, 0x8000, 0x10000, 0, 0}, 1, 1, {1, 1}},
        {{0x20000, 0x1000, -0x3000, 0x18000, 0x50000, -0x28000},
         0x10000,
         0x20000,
         {0x6A000, 0x9000}},
    };
    for (auto &c : cases) {
        Point p = {7, 7};
        Matrix_transformPoint(&p, c.x, c.y, &c.m);
        EXPECT_EQ(c.want.x, p.x);
        EXPECT_EQ(c.want.y, p.y);
    }
}

TEST(Matrix, TransformArrays)
{
    const Matrix m = {0x20000, 0x1000, -0x3000, 0x18000, 0x50000, -0x28000};
    const Point in[4] = {{0, 0}, {0x10000, 0x20000}, {-0x10000, 0x8000}, {3, -5}};
    Point want[4];
    for (int i = 0; i < 4; i++)
        Matrix_transformPoint(&want[i], in[i].x, in[i].y, &m);
    // The first two checked by hand; the others follow the single-point map.
    EXPECT_EQ(0x50000, want[0].x);
    EXPECT_EQ(-0x28000, want[0].y);
    EXPECT_EQ(0x6A000, want[1].x);
    EXPECT_EQ(0x9000, want[1].y);

    Point out[4] = {};
    Matrix_transformQuad(out, in, &m);
    for (int i = 0; i < 4; i++)
        EXPECT_TRUE(out[i].x == want[i].x && out[i].y == want[i].y) << i;
    Point tri[3] = {};
    Matrix_transformTriple(tri, in, &m);
    for (int i = 0; i < 3; i++)
        EXPECT_TRUE(tri[i].x == want[i].x && tri[i].y == want[i].y) << i;

    // In place: the array is both input and output.
    Point same[4] = {in[0], in[1], in[2], in[3]};
    Matrix_transformPoints(same, 4, same, &m);
    for (int i = 0; i < 4; i++)
        EXPECT_TRUE(same[i].x == want[i].x && same[i].y == want[i].y) << i;
    Matrix_transformTriple(same, in, &m);
    Matrix_transformQuad(same, same, &kIdentity);
    for (int i = 0; i < 3; i++)
        EXPECT_TRUE(same[i].x == want[i].x && same[i].y == want[i].y) << i;

    // A count of 0 touches nothing.
    Point untouched = {11, 22};
    Matrix_transformPoints(in, 0, &untouched, &m);
    EXPECT_EQ(11, untouched.x);
    EXPECT_EQ(22, untouched.y);
}

TEST(Matrix, UntransformTable)
{
    const int32_t lo = INT32_MIN;
    struct {
        const char *what;
        Matrix m;
        int32_t x, y;
        Point want;
    } cases[] = {
        {"scale 3 at its own offset",
         {0x30000, 0, 0, 0x30000, 0x10000, 0x10000},
         0x10000,
         0x10000,
         {0, 0}},
        // 1/3 has no exact 16.16 value (0x5555 is 7 units short over 3.0);
        // with 32 fraction bits in the inverse, (4, 7) comes back exactly.
        {"scale 3",
         {0x30000, 0, 0, 0x30000, 0x10000, 0x10000},
         0x40000,
         0x70000,
         {0x10000, 0x20000}},
        {"scale 1.5", {0x18000, 0, 0, 0x10000, 0x1234, 0}, 0x40000, 0x70000, {0x29E88, 0x70000}},
        // Exact answer (0x6B521.AE, 0x11F9C.99), rounded to nearest.
        {"general",
         {0x20000, 0x1000, -0x3000, 0x18000, 0x50000, -0x28000},
         0x123456,
         -0x6543,
         {0x6B522, 0x11F9D}},
        {"page-sized",
         {612 << 16, 0, 0, 792 << 16, 0x10000, 0x20000},
         0x100000,
         0x7FFFFFF,
         {0x646, 0x29555}},
        {"quarter turn", {0, 0x10000, -0x10000, 0, 0x64000, 0x32000}, 0, 0, {-0x32000, 0x64000}},
        {"singular", {0x10000, 0x20000, 0x8000, 0x10000, 0, 0}, 0x10000, 0x20000, {0, 0}},
        // Determinant -1 (in 32.32) with d = -2^31: (d * 2^32) / det is
        // 2^63, a division that traps when done naively. Here it wraps like
        // the rest of the arithmetic.
        {"quotient past 64 bits, d",
         {0, 1, 1, lo, 0x100, -0x200},
         0x10000,
         3,
         {0x2030000, -0x1000000}},
        {"quotient past 64 bits, a", {lo, 1, 1, 0, 0, 0}, 5, -7, {-0x70000, 0x50000}},
    };
    for (auto &c : cases) {
        Point p = {99, 99};
        Matrix_untransformPoint(&p, c.x, c.y, &c.m);
        EXPECT_EQ(c.want.x, p.x) << c.what;
        EXPECT_EQ(c.want.y, p.y) << c.what;
    }
}

TEST(MatrixWide, TransformPoint)
{
    // c * y is past 2^63 here; the kept bits must still be exact.
    const MatrixWide w = {INT64_C(0x123456789),     -3,      INT64_C(0x7FFFFFFFFFFF),
                          -INT64_C(0x800000000000), 0x10000, -0x20000};
    struct {
        MatrixWide w;
        int32_t x, y;
        Point want;
    } cases[] = {
        {w, 0x10000, 0x20000, {0x22345, -0x20000}},
        {w, -0x8000, 3, {0x1EE5D, -0x38000}},
        // 0.5 (2^31 in 32.32) times one unit: half rounds up; times -1: to 0.
        {{INT64_C(1) << 31, 0, 0, 0, 0, 0}, 1, 0, {1, 0}},
        {{INT64_C(1) << 31, 0, 0, 0, 0, 0}, -1, 0, {0, 0}},
        {{INT64_C(1) << 32, 0, 0, INT64_C(1) << 32, 5, -5}, 0x123456, -0x7, {0x12345B, -0xC}},
    };
    for (auto &c : cases) {
        Point p = {};
        MatrixWide_transformPoint(&p, c.x, c.y, &c.w);
        EXPECT_EQ(c.want.x, p.x);
        EXPECT_EQ(c.want.y, p.y);
    }
}

TEST(MatrixWide, MulWideTable)
{
    const MatrixWide one = {INT64_C(1) << 32, 0, 0, INT64_C(1) << 32, 0, 0};
    const Matrix n = {0x12345, 0x6789, -0x4321, 0xFEDC, 0x111, -0x222};
    const int64_t max = INT64_MAX;
    const int32_t max32 = INT32_MAX;
    struct {
        const char *what;
        MatrixWide w;
        Matrix n;
        MatrixWide want;
    } cases[] = {
        {"identity then n",
         one,
         n,
         {INT64_C(0x123450000), INT64_C(0x67890000), -INT64_C(0x43210000), INT64_C(0xFEDC0000),
          0x111, -0x222}},
        {"general",
         {INT64_C(0x123456789), -3, INT64_C(0x7FFFFFFFFFFF), -INT64_C(0x800000000000), 0x10000,
          -0x20000},
         n,
         {INT64_C(0x14B666666), INT64_C(0x75CCCCC9), INT64_C(0xB332FFFFFFFE),
          -INT64_C(0x4BA980000001), 0x1AA98, -0x19851}},
        // The shift truncates toward negative infinity: -1 * 0.5 is -1.
        {"no rounding", {-1, 0, 0, 1, 0, 0}, {0x8000, 0, 0, 0x8000, 0, 0}, {-1, 0, 0, 0, 0, 0}},
        // 97-bit sums: only their low 64 bits after the shift are kept.
        {"wide sums",
         {max, max, 0, 0, 0, 0},
         {max32, max32, max32, max32, 0, 0},
         {-INT64_C(0x1000000010000), -INT64_C(0x1000000010000), 0, 0, 0, 0}},
    };
    for (auto &c : cases) {
        MatrixWide w = c.w;
        Matrix_mulWide(&w, &c.n);
        expectWide(c.want, w, c.what);
    }
}

// Twelve turns of 30 degrees: the wide chain keeps 16 more bits of each
// entry than the same chain of 16.16 matrices.
TEST(MatrixWide, LongChainKeepsPrecision)
{
    const Matrix r = {0xDDB3, 0x7FFF, -0x7FFF, 0xDDB3, 0, 0};
    MatrixWide w = {INT64_C(1) << 32, 0, 0, INT64_C(1) << 32, 0, 0};
    Matrix m = kIdentity;
    for (int i = 0; i < 12; i++) {
        Matrix_mulWide(&w, &r);
        Matrix_concat(&m, &r);
    }
    expectWide(
        {INT64_C(0xFFF1434A), -INT64_C(0x55895), INT64_C(0x55896), INT64_C(0xFFF14349), 0, 0}, w,
        "wide chain");
    expectMatrix({0xFFF1, -7, 7, 0xFFF1, 0, 0}, m, "16.16 chain");
}

TEST(Int128, MultiplyTable)
{
    const int64_t lo = INT64_MIN, hi = INT64_MAX;
    struct {
        int64_t a, b;
        Int128 want;
    } cases[] = {
        {lo, lo, {0, INT64_C(0x4000000000000000)}},
        {lo, -1, {UINT64_C(0x8000000000000000), 0}},
        {-1, -1, {1, 0}},
        {hi, hi, {1, INT64_C(0x3FFFFFFFFFFFFFFF)}},
        {lo, hi, {UINT64_C(0x8000000000000000), -INT64_C(0x4000000000000000)}},
        {INT64_C(0x123456789ABCDEF0),
         -INT64_C(0x0FEDCBA987654321),
         {UINT64_C(0xDDC927701A9E7310), -INT64_C(0x121FA00AD77D743)}},
        {-5, 3, {UINT64_C(0xFFFFFFFFFFFFFFF1), -1}},
        {0, lo, {0, 0}},
    };
    for (auto &c : cases) {
        Int128 p = Int128_mul64(c.a, c.b);
        EXPECT_EQ(c.want.lo, p.lo) << c.a << " * " << c.b;
        EXPECT_EQ(c.want.hi, p.hi) << c.a << " * " << c.b;
    }
}

TEST(Int128, AddShiftLow)
{
    // Carry out of the low half, and wrap at 2^128.
    Int128 s = Int128_add({UINT64_MAX, 0}, {1, 0});
    EXPECT_EQ(0u, s.lo);
    EXPECT_EQ(1, s.hi);
    s = Int128_add({UINT64_MAX, -1}, {1, 0});
    EXPECT_EQ(0u, s.lo);
    EXPECT_EQ(0, s.hi);
    s = Int128_add({0, INT64_MAX}, {0, 1});
    EXPECT_EQ(INT64_MIN, s.hi);

    const Int128 v = {UINT64_C(0xDDC927701A9E7310), -INT64_C(0x121FA00AD77D743)};
    struct {
        unsigned n;
        Int128 want;
    } shifts[] = {
        {0, v},
        {1, {UINT64_C(0xEEE493B80D4F3988), -INT64_C(0x90FD0056BBEBA2)}},
        {16, {UINT64_C(0x28BDDDC927701A9E), -INT64_C(0x121FA00AD78)}},
        {63, {UINT64_C(0xFDBC0BFEA510517B), -1}},
        {64, {UINT64_C(0xFEDE05FF528828BD), -1}},
        {65, {UINT64_C(0xFF6F02FFA944145E), -1}},
        {100, {UINT64_C(0xFFFFFFFFFFEDE05F), -1}},
        {127, {UINT64_MAX, -1}},
    };
    for (auto &c : shifts) {
        Int128 r = Int128_shr(v, c.n);
        EXPECT_EQ(c.want.lo, r.lo) << c.n;
        EXPECT_EQ(c.want.hi, r.hi) << c.n;
    }
    Int128 pos = Int128_shr({0, 0x40}, 70);
    EXPECT_EQ(1u, pos.lo);
    EXPECT_EQ(0, pos.hi);
    EXPECT_EQ(-INT64_C(0x2236D88FE5618CF0), Int128_low64(v));
}

} // namespace
