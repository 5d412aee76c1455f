// Glyph outlines: the byte codes, point-record appends, the missing box and
// the quadratic contour builder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/result.h"
#include "graphics/glyphpath.h"
#include "graphics/path.h"
#include "graphics/contour.h"
#include "tests/support/heap_fixture.h"

namespace {

using Codes = std::vector<uint8_t>;

Codes glyphPathBytesOf(const GlyphPath *o)
{
    GlyphPathMeasure m;
    GlyphPath_measure(o, &m);
    return o->bytes ? Codes(o->bytes, o->bytes + m.length) : Codes();
}

class GlyphPathTest : public LeakCheckedHeapTest<> {};

TEST_F(GlyphPathTest, NarrowAndWideCodes)
{
    struct Case {
        int op; // 0 moveTo, 1 lineTo, 2 curveTo
        int32_t v[6];
        Codes want;
    };
    const Case cases[] = {
        {0, {127, -128}, {0, 127, 0x80}},
        {0, {128, 0}, {16, 128, 0, 0, 0}},
        {1, {-129, 1}, {0, 0, 0, 17, 0x7F, 0xFF, 1, 0}},
        {1, {3, 4}, {0, 0, 0, 1, 3, 4}},
        {2, {1, 2, 3, 4, 5, 6}, {0, 0, 0, 2, 1, 2, 3, 4, 5, 6}},
        {2, {1, 2, 3, 4, 5, 300}, {0, 0, 0, 18, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 0x2C, 1}},
    };
    for (const Case &c : cases) {
        GlyphPath *o = nullptr;
        ASSERT_EQ(GlyphPath_create(&o, GlyphPath_kindCodes), Res_ok);
        int r = c.op == 0   ? GlyphPath_moveTo(o, c.v[0], c.v[1])
                : c.op == 1 ? GlyphPath_lineTo(o, c.v[0], c.v[1])
                            : GlyphPath_curveTo(o, c.v[0], c.v[1], c.v[2], c.v[3], c.v[4], c.v[5]);
        ASSERT_EQ(r, Res_ok);
        ASSERT_EQ(GlyphPath_end(o), Res_ok);
        Codes want = c.want;
        want.push_back(GlyphCode_end);
        EXPECT_EQ(glyphPathBytesOf(o), want) << c.op << " " << c.v[0];
        EXPECT_EQ(o->byteCapacity, want.size()); // trimmed
        GlyphPath_destroy(o);
    }
}

TEST_F(GlyphPathTest, HeaderMeasureAndOtherKinds)
{
    GlyphPath *o = nullptr;
    ASSERT_EQ(GlyphPath_create(&o, GlyphPath_kindCodes), Res_ok);
    ASSERT_EQ(GlyphPath_setHeader(o, 1, -1, 256, 0), Res_ok);
    EXPECT_EQ(o->lastStart, 0u);
    EXPECT_EQ(o->lastSize, 9u);
    ASSERT_EQ(GlyphPath_lineTo(o, 1, 1), Res_ok); // the header counts as a code: no moveTo first
    ASSERT_EQ(GlyphPath_close(o), Res_ok);
    ASSERT_EQ(GlyphPath_finish(o), Res_ok);
    EXPECT_EQ(glyphPathBytesOf(o), (Codes{13, 1, 0, 0xFF, 0xFF, 0, 1, 0, 0, 1, 1, 1, 5, 6}));
    GlyphPathMeasure m;
    GlyphPath_count(o, &m);
    EXPECT_EQ(m.count, 4u);
    EXPECT_EQ(m.length, 14u);
    EXPECT_EQ(m.end, o->bytes + 13);
    GlyphPath_destroy(o);

    // A kind-0 outline ignores the byte codes; an empty one measures zero.
    ASSERT_EQ(GlyphPath_create(&o, GlyphPath_kindPoints), Res_ok);
    EXPECT_EQ(GlyphPath_lineTo(o, 1, 1), Res_ok);
    EXPECT_EQ(o->bytes, nullptr);
    GlyphPath_measure(o, &m);
    EXPECT_EQ(m.count, 0u);
    EXPECT_EQ(m.end, nullptr);
    GlyphPath_destroy(o);
    ASSERT_EQ(GlyphPath_create(&o, GlyphPath_kindPath), Res_ok);
    ASSERT_NE(o->path, nullptr);
    EXPECT_EQ(o->path->scale, 0x10000);
    GlyphPath_destroy(o);
}

TEST_F(GlyphPathTest, GrowsByDoublingFrom1024)
{
    GlyphPath *o = nullptr;
    ASSERT_EQ(GlyphPath_create(&o, GlyphPath_kindCodes), Res_ok);
    ASSERT_EQ(GlyphPath_moveTo(o, 0, 0), Res_ok);
    EXPECT_EQ(o->byteCapacity, 1024u);
    for (int i = 0; i < 400; i++)
        ASSERT_EQ(GlyphPath_lineTo(o, 1, 1), Res_ok);
    EXPECT_EQ(o->byteCapacity, 2048u);
    ASSERT_EQ(GlyphPath_end(o), Res_ok);
    GlyphPathMeasure m;
    GlyphPath_count(o, &m);
    EXPECT_EQ(m.count, 402u);
    EXPECT_EQ(m.length, 3u + 400 * 3 + 1);
    GlyphPath_destroy(o);
}

TEST_F(GlyphPathTest, AppendWithAndWithoutReset)
{
    GlyphPath *a = nullptr, *b = nullptr;
    ASSERT_EQ(GlyphPath_create(&a, GlyphPath_kindCodes), Res_ok);
    ASSERT_EQ(GlyphPath_create(&b, GlyphPath_kindCodes), Res_ok);
    ASSERT_EQ(GlyphPath_lineTo(a, 10, 0), Res_ok);
    ASSERT_EQ(GlyphPath_end(a), Res_ok);
    ASSERT_EQ(GlyphPath_moveTo(b, 1, 2), Res_ok);
    ASSERT_EQ(GlyphPath_lineTo(b, 3, 4), Res_ok);
    ASSERT_EQ(GlyphPath_end(b), Res_ok);
    ASSERT_EQ(GlyphPath_append(a, b, 100, -1, 1), Res_ok);
    EXPECT_EQ(glyphPathBytesOf(a), (Codes{0, 0, 0, 1, 10, 0, 10, 16, 101, 0, 1, 0, 1, 3, 4, 6}));
    ASSERT_EQ(GlyphPath_append(a, b, 0, 0, 0), Res_ok);
    EXPECT_EQ(glyphPathBytesOf(a), (Codes{0, 0, 0, 1,  10, 0, 10, 16, 101, 0, 1, 0,
                                          1, 3, 4, 16, 1,  0, 2,  0,  1,   3, 4, 6}));
    GlyphPathMeasure m;
    GlyphPath_count(a, &m);
    EXPECT_EQ(m.count, 8u);
    EXPECT_EQ(a->lastStart + a->lastSize, m.length);
    // A component offset packs dx low and dy high.
    GlyphPath *c = nullptr;
    ASSERT_EQ(GlyphPath_create(&c, GlyphPath_kindCodes), Res_ok);
    ASSERT_EQ(GlyphPath_appendComponent(c, b, 0x10000, 0, 0, 0x10000, 0xFFFF0005u), Res_ok);
    EXPECT_EQ(glyphPathBytesOf(c), (Codes{10, 16, 6, 0, 1, 0, 1, 3, 4, 6}));
    GlyphPath_destroy(a);
    GlyphPath_destroy(b);
    GlyphPath_destroy(c);
}

TEST_F(GlyphPathTest, PointRecordsAppendWithTransform)
{
    // Source: narrow (1, 2) then wide delta (300, -1) flagged on-curve.
    GlyphPath *src = nullptr, *dst = nullptr;
    ASSERT_EQ(GlyphPath_create(&src, GlyphPath_kindPoints), Res_ok);
    ASSERT_EQ(GlyphPath_reserve(src, 8), Res_ok);
    const uint8_t recs[] = {0x01, 1, 2, 0x10 | 0x02, 0x2C, 1, 0xFF, 0xFF};
    memcpy(src->bytes, recs, sizeof recs);
    src->lastStart = 3;
    src->lastSize = 5;
    ASSERT_EQ(GlyphPath_finish(src), Res_ok);
    EXPECT_EQ(src->byteCapacity, 8u);
    EXPECT_EQ(src->bytes[3] & GlyphPoint_last, GlyphPoint_last);
    ASSERT_EQ(GlyphPath_create(&dst, GlyphPath_kindPoints), Res_ok);
    // Scale x by 2, offset (5, -3).
    ASSERT_EQ(GlyphPath_appendRecords(dst, src, 0x20000, 0, 0, 0x10000, 0xFFFD0005u), Res_ok);
    ASSERT_EQ(GlyphPath_appendRecords(dst, src, 0x10000, 0, 0, 0x10000, 0), Res_ok);
    EXPECT_EQ(glyphPathBytesOf(dst), (Codes{0x15, 7, 0, 0xFF, 0xFF, 0x16, 0x5F, 2, 0xFE, 0xFF, //
                                            0x15, 1, 0, 2,    0,    0x1E, 0x2D, 1, 1,    0}));
    GlyphPathMeasure m;
    GlyphPath_countRecords(dst, &m);
    EXPECT_EQ(m.count, 4u);
    GlyphPath *copy = GlyphPath_cloneRecords(dst);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(glyphPathBytesOf(copy), glyphPathBytesOf(dst));
    GlyphPath_destroy(copy);
    GlyphPath_destroy(src);
    GlyphPath_destroy(dst);
}

TEST_F(GlyphPathTest, MissingGlyphBox)
{
    GlyphPath *o = GlyphPath_missingGlyph(16384 * 2);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(glyphPathBytesOf(o), (Codes{16, 0,    2,    0,  0,  17,   0,    0, 0,    10, 17,
                                          0,  8,    0,    0,  17, 0,    0,    0, 0xF6, 5, //
                                          16, 0x40, 0xF8, 64, 0,  17,   0x80, 7, 0,    0,  17,
                                          0,  0,    0x80, 9,  17, 0x80, 0xF8, 0, 0,    5,  6}));
    GlyphPath_destroy(o);
    EXPECT_EQ(GlyphPath_missingAdvance(16384), 12744u);
    EXPECT_EQ(GlyphPath_missingAdvance(8192), 6372u);
    // Values truncate toward zero: every one is 0 at this size.
    o = GlyphPath_missingGlyph(3);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(glyphPathBytesOf(o), (Codes{0, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 5, 0,
                                          0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 5, 6}));
    GlyphPath_destroy(o);
}

// Contour point sequences: (x, y, on) in, path elements out.
TEST_F(GlyphPathTest, QuadraticContours)
{
    struct Pt {
        int32_t x, y;
        int on;
    };
    struct Case {
        std::vector<Pt> points;
        std::vector<int32_t> want; // the path's words after the points
    };
    GlyphPath *o = nullptr;
    ASSERT_EQ(GlyphPath_create(&o, GlyphPath_kindPath), Res_ok);
    Path *ref = nullptr;
    ASSERT_EQ(Path_create(&ref, 0x10000), Res_ok);
    auto check = [&](const std::vector<Pt> &pts, auto build) {
        Path_reset(o->path);
        Path_reset(ref);
        ContourState st{};
        for (const Pt &p : pts)
            ASSERT_EQ(Contour_addPoint(o, &st, p.x, p.y, p.on), Res_ok);
        EXPECT_EQ(st.x, pts.back().x);
        EXPECT_EQ(st.onCurve, uint32_t(pts.back().on));
        build();
        ASSERT_EQ(o->path->count, ref->count);
        EXPECT_TRUE(std::equal(o->path->buffer, o->path->write, ref->buffer));
    };
    check({{0, 0, 1}, {10, 10, 0}, {20, 0, 1}}, [&] {
        ASSERT_EQ(Path_moveTo(ref, 0, 0), Res_ok);
        ASSERT_EQ(Path_quadTo(ref, 10, 10, 20, 0), Res_ok);
    });
    check({{0, 0, 1}, {10, 10, 0}, {20, 10, 0}, {30, 0, 1}, {40, 0, 1}}, [&] {
        ASSERT_EQ(Path_moveTo(ref, 0, 0), Res_ok);
        ASSERT_EQ(Path_quadTo(ref, 10, 10, 15, 10), Res_ok);
        ASSERT_EQ(Path_quadTo(ref, 20, 10, 30, 0), Res_ok);
        ASSERT_EQ(Path_lineTo(ref, 40, 0), Res_ok);
    });
    check({{0, 10, 0}, {-11, 0, 0}, {0, -10, 1}}, [&] {
        ASSERT_EQ(Path_moveTo(ref, -5, 5), Res_ok);
        ASSERT_EQ(Path_quadTo(ref, -11, 0, 0, -10), Res_ok);
    });
    check({{0, 10, 0}, {7, 7, 1}, {9, 9, 1}}, [&] {
        ASSERT_EQ(Path_moveTo(ref, 7, 7), Res_ok);
        ASSERT_EQ(Path_lineTo(ref, 9, 9), Res_ok);
    });
    Path_destroy(ref);
    GlyphPath_destroy(o);
}

} // namespace
