// Stroke-font glyphs: the glyph coding, the fixed-point helpers, stroking
// of open, closed and cornered contours, and whole glyphs of the synthetic
// pack tests/fixtures/fontpack/stroke.ffs (made by make_fontpack.py there).
#include "tests/fonts/font_engine_support.h"

#include <algorithm>
#include <fstream>

#include "fonts/strokefont.h"
#include "graphics/glyphpath.h"
#include "graphics/path.h"

namespace {

struct Pt {
    int32_t x, y, on;
    bool operator==(const Pt &o) const
    {
        return x == o.x && y == o.y && on == o.on;
    }
};

FontPackBytes bytesOf(const std::vector<uint8_t> &b)
{
    return FontPackBytes{b.data(), b.data() + b.size(), 0};
}

TEST(StrokeFontCoding, PointCodes)
{
    struct Case {
        std::vector<uint8_t> bytes;
        Pt want;
        size_t used;
    } cases[] = {
        {{0x00, 0x00, 0x00, 0x10, 0xFF, 0xF0}, {16, -16, 1}, 6}, // explicit, on-curve
        {{0x40, 0x00, 0x00, 0x10, 0xFF, 0xF0}, {16, -16, 0}, 6}, // explicit, off-curve
        {{0x00, 0x05}, {2, 0, 0}, 2},                            // 5 >> 1, odd: off-curve
        {{0x80, 0x05}, {-3, 0, 0}, 2},                           // quadrant 2: -5 >> 1
        {{0x00, 0x04}, {2, 0, 1}, 2},
        {{0x40, 0x0A}, {0, 10, 1}, 2},  // quadrant 1: (-b, a)
        {{0xC0, 0x0A}, {0, -10, 1}, 2}, // quadrant 3: (b, -a)
        // Second range: t = 2300 - 2200 = 100: a = 1 (odd: off-curve), b = 101.
        {{0x08, 0xFC}, {0, 101, 0}, 2},
        // Third range: t = 1 x 256 + 5 = 261: a = 1, b = 262.
        {{uint8_t((12605 >> 8) | 0), uint8_t(12605 & 255), 5}, {0, 262, 0}, 3},
        // Fourth range: t = (0 x 256 + 1) x 256 + 2 = 258: a = 0, b = 258.
        {{uint8_t(14652 >> 8), uint8_t(14652 & 255), 1, 2}, {0, 258, 1}, 4},
        // v = 0 in quadrant 2 is no explicit point: (0, 0).
        {{0x80, 0x00}, {0, 0, 1}, 2},
    };
    for (const Case &c : cases) {
        FontPackBytes in = bytesOf(c.bytes);
        Pt got{};
        int on = 0;
        FontPack_decodePoint(&in, &got.x, &got.y, &on);
        got.on = on;
        EXPECT_EQ(in.failed, 0);
        EXPECT_TRUE(got == c.want) << std::hex << int(c.bytes[0]) << " " << int(c.bytes[1]) << ": "
                                   << std::dec << got.x << "," << got.y << "," << got.on;
        EXPECT_EQ(size_t(in.at - c.bytes.data()), c.used);
    }
    // A code whose extra bytes are missing fails.
    std::vector<uint8_t> shortBytes = {0x00, 0x00, 0x00};
    FontPackBytes in = bytesOf(shortBytes);
    int32_t x, y;
    int on;
    FontPack_decodePoint(&in, &x, &y, &on);
    EXPECT_EQ(in.failed, 1);
}

TEST(StrokeFontCoding, NumbersAndGroups)
{
    struct Case {
        std::vector<uint8_t> bytes;
        uint32_t want;
    } numbers[] = {{{0xF5, 0x03}, 53}, {{0x07}, 7}, {{0xEF}, 239}, {{0xF0, 0xF1, 0x01}, 0x110}};
    for (const Case &c : numbers) {
        FontPackBytes in = bytesOf(c.bytes);
        EXPECT_EQ(FontPack_readVarUint(&in), c.want);
        EXPECT_EQ(in.at, in.end);
    }
    // Nothing but continuation bytes: the number never ends.
    std::vector<uint8_t> endless(12, 0xFF);
    FontPackBytes in = bytesOf(endless);
    FontPack_readVarUint(&in);
    EXPECT_EQ(in.failed, 1);

    // Four fields: byte 1 gives f3 = 5, f2 = 2, f1 = 1, f0 = 0 and goes on;
    // byte 2 adds f3 bits 3-5 = 1, f0 bit 1 = 1.
    std::vector<uint8_t> group = {uint8_t(1 | 5 << 1 | 2 << 4 | 1 << 6), uint8_t(1 << 1 | 1 << 7)};
    in = bytesOf(group);
    uint16_t f[4];
    FontPack_decodeVarFields(&in, f);
    EXPECT_EQ(f[3], 5 + (1 << 3));
    EXPECT_EQ(f[2], 2);
    EXPECT_EQ(f[1], 1);
    EXPECT_EQ(f[0], 2);
    EXPECT_EQ(in.at, in.end);

    std::vector<uint8_t> two = {uint8_t(1 | 3 << 1 | 9 << 4), uint8_t(2 << 1 | 1 << 4)};
    in = bytesOf(two);
    uint16_t a, b;
    FontPack_decodeContourPair(&in, &a, &b);
    EXPECT_EQ(a, 9 + (1 << 4));
    EXPECT_EQ(b, 3 + (2 << 3));
}

TEST(StrokeFontCoding, FixedPoint)
{
    EXPECT_EQ(Fixed_mulSigned(100, 0x18000), 150);
    EXPECT_EQ(Fixed_mulSigned(-100, 0x18000), -150);
    EXPECT_EQ(Fixed_mulSigned(3, -0x8000), -2); // the magnitude rounds, then the sign
    EXPECT_EQ(Fixed_mulSigned(100, 6553), 10);  // 9.9994 to the nearest
    EXPECT_EQ(Fixed_divSigned(1, 2), 0x8000);
    EXPECT_EQ(Fixed_divSigned(-3, 2), -0x18000);
    EXPECT_EQ(Fixed_divSigned(5, 0), INT32_MAX);
    EXPECT_EQ(Geom_intHypot(3, 4), 5);
    EXPECT_EQ(Geom_intHypot(-300, 400), 500);
    EXPECT_EQ(Geom_intHypot(0, 0), 0);
    EXPECT_EQ(Geom_intHypot(1000, 1), 1000);
    EXPECT_EQ(Geom_approxLength(-3, 4), 5);
    EXPECT_EQ(Geom_approxLength(10, 10), 15);
}

// A set holding the given contours.
StrokeContours *setOf(const std::vector<std::vector<Pt>> &contours)
{
    StrokeContours *s = StrokeContours_create();
    for (const auto &c : contours) {
        uint32_t first = s->pointCount;
        for (const Pt &p : c)
            EXPECT_EQ(StrokeContours_addPoint(s, p.x, p.y, p.on), Res_ok);
        EXPECT_EQ(StrokeContours_endContour(s, first), Res_ok);
    }
    return s;
}

std::vector<std::vector<Pt>> contoursOf(const StrokeContours *s)
{
    std::vector<std::vector<Pt>> out;
    for (uint32_t c = 0; c < s->contourCount; c++) {
        uint32_t first, last;
        StrokeContours_range(s, c, &first, &last);
        std::vector<Pt> pts;
        for (uint32_t i = first; i <= last; i++)
            pts.push_back(Pt{s->xs[i], s->ys[i], s->flags[i] & 1});
        out.push_back(pts);
    }
    return out;
}

int64_t area(const std::vector<Pt> &p)
{
    int64_t a = 0;
    for (size_t i = 0; i < p.size(); i++) {
        const Pt &s = p[i], &t = p[(i + 1) % p.size()];
        a += int64_t(s.x) * t.y - int64_t(t.x) * s.y;
    }
    return a;
}

// Contour sets live on the engine heap: the tests run in an engine context.
class StrokeContoursTest : public FontEngineTest {};

TEST_F(StrokeContoursTest, OpenClosedAndCornered)
{
    // One point: nothing; two points: a rectangle with square ends.
    StrokeContours *s = Stroke_contours(setOf({{{5, 5, 1}}, {{0, 0, 1}, {100, 0, 1}}}), 10,
                                        StrokeJoin_mitre, StrokeCap_square, 1);
    ASSERT_NE(s, nullptr);
    auto c = contoursOf(s);
    ASSERT_EQ(c.size(), 1u);
    // The left side out and the right side back.
    EXPECT_EQ(c[0], (std::vector<Pt>{{-10, 10, 1}, {110, 10, 1}, {110, -10, 1}, {-10, -10, 1}}));
    StrokeContours_free(s);

    // A ring: two outlines of opposite direction, 10 outside and inside.
    s = Stroke_contours(setOf({{{0, 0, 1}, {100, 0, 1}, {100, 100, 1}, {0, 100, 1}, {0, 0, 1}}}),
                        10, StrokeJoin_mitre, StrokeCap_square, 1);
    ASSERT_NE(s, nullptr);
    c = contoursOf(s);
    ASSERT_EQ(c.size(), 2u);

    EXPECT_GT(area(c[0]) * area(c[1]) < 0, 0) << area(c[0]) << " " << area(c[1]);
    auto box = [](const std::vector<Pt> &p) {
        int32_t x0 = INT32_MAX, x1 = INT32_MIN;
        for (const Pt &q : p)
            x0 = std::min(x0, q.x), x1 = std::max(x1, q.x);
        return std::make_pair(x0, x1);
    };
    auto b0 = box(c[0]), b1 = box(c[1]);
    EXPECT_EQ(std::min(b0.first, b1.first), -10);
    EXPECT_EQ(std::max(b0.second, b1.second), 110);
    EXPECT_EQ(std::max(b0.first, b1.first), 10);
    EXPECT_EQ(std::min(b0.second, b1.second), 90);
    // Without closed detection the same points are one open outline.
    s = Stroke_contours(s, 0, 0, 0, 0);
    StrokeContours_free(s);
    s = Stroke_contours(setOf({{{0, 0, 1}, {100, 0, 1}, {100, 100, 1}, {0, 100, 1}, {0, 0, 1}}}),
                        10, StrokeJoin_mitre, StrokeCap_square, 0);
    EXPECT_EQ(contoursOf(s).size(), 1u);
    StrokeContours_free(s);

    // A right angle is mitred (the mitre lies 10 x sqrt 2 from the
    // corner); a very sharp corner is bevelled on its outer side.
    s = Stroke_contours(setOf({{{0, 0, 1}, {100, 0, 1}, {100, 100, 1}}}), 10, StrokeJoin_mitre,
                        StrokeCap_square, 1);
    c = contoursOf(s);
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0].size(), 6u); // two caps' corners, a mitre and an inner point
    EXPECT_NE(std::find(c[0].begin(), c[0].end(), Pt{110, -10, 1}), c[0].end());
    EXPECT_NE(std::find(c[0].begin(), c[0].end(), Pt{90, 10, 1}), c[0].end());
    StrokeContours_free(s);
    s = Stroke_contours(setOf({{{0, 0, 1}, {200, 0, 1}, {0, 20, 1}}}), 10, StrokeJoin_mitre,
                        StrokeCap_square, 1);
    c = contoursOf(s);
    ASSERT_EQ(c.size(), 1u);
    // Two points for each cap, two bevel points outside, and two inside
    // (the inner offset lines meet beyond the short segment).
    EXPECT_EQ(c[0].size(), 8u);
    for (const Pt &p : c[0])
        EXPECT_LE(p.x, 200 + 2 * 10) << p.x << "," << p.y;
    StrokeContours_free(s);
}

class StrokePackTest : public FontEngineTest {
  protected:
    FontFace *pack = nullptr;

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(FontEngineTest::SetUp());
        ASSERT_EQ(FontPack_installOps(&ctx->fontEngine->packOps), 1);
        std::ifstream in(std::string(VEXLAN_FIXTURES) + "/fontpack/stroke.ffs", std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        pack = openBytes(ss.str(), "stroke.ffs");
        ASSERT_NE(pack, nullptr);
    }

    // The points of the glyph's path (move, line and curve points).
    std::vector<Pt> outline(uint16_t glyph, int *result = nullptr)
    {
        GlyphPath *o = nullptr;
        int r = pack->outline(pack, glyph, &o);
        if (result)
            *result = r;
        else
            EXPECT_EQ(r, Res_ok) << "glyph " << glyph;
        std::vector<Pt> pts;
        if (o && o->kind == GlyphPath_kindPath)
            for (const int32_t *w = o->path->buffer; w < o->path->write;) {
                uint32_t op = uint32_t(*w++), n = op & 3;
                for (uint32_t i = 0; i < n; i++, w += 2)
                    pts.push_back(Pt{w[0], w[1], int32_t(op & 15)});
            }
        GlyphPath_destroy(o);
        return pts;
    }

    static std::pair<Pt, Pt> bounds(const std::vector<Pt> &p)
    {
        Pt lo{INT32_MAX, INT32_MAX, 0}, hi{INT32_MIN, INT32_MIN, 0};
        for (const Pt &q : p) {
            lo.x = std::min(lo.x, q.x), lo.y = std::min(lo.y, q.y);
            hi.x = std::max(hi.x, q.x), hi.y = std::max(hi.y, q.y);
        }
        return {lo, hi};
    }
};

TEST_F(StrokePackTest, MissingGlyphsAreTheBox)
{
    GlyphPath *box = GlyphPath_missingGlyph(2048);
    ASSERT_NE(box, nullptr);
    for (uint16_t g : {uint16_t(0), uint16_t(8), uint16_t(0xFFFF)}) {
        GlyphPath *o = nullptr;
        ASSERT_EQ(FontPack_glyphOutline(pack, g, &o), Res_ok);
        ASSERT_EQ(o->kind, box->kind);
        EXPECT_EQ(o->lastStart, box->lastStart);
        EXPECT_EQ(memcmp(o->bytes, box->bytes, box->lastStart + box->lastSize), 0) << g;
        GlyphPath_destroy(o);
    }
    GlyphPath_destroy(box);
}

TEST_F(StrokePackTest, GlyphsAreStrokedSkeletons)
{
    // The bar, raised by the half width 10 and stroked 10 to each side with
    // square ends: x 40-60, y 0-200.
    auto bar = bounds(outline(1));
    EXPECT_EQ(bar.first.x, 40);
    EXPECT_EQ(bar.second.x, 60);
    EXPECT_EQ(bar.first.y, 0);
    EXPECT_EQ(bar.second.y, 200);
    // The ring: two subpaths.
    auto ring = outline(2);
    EXPECT_EQ(std::count_if(ring.begin(), ring.end(), [](const Pt &p) { return p.on == 9; }), 2);
    auto rb = bounds(ring);
    EXPECT_EQ(rb.first.x, 10);
    EXPECT_EQ(rb.second.x, 130);
    // Shifted by 41 units; scaled twice as high.
    auto shifted = bounds(outline(3));
    EXPECT_EQ(shifted.first.x, 81);
    EXPECT_EQ(shifted.second.x, 101);
    auto tall = bounds(outline(4));
    EXPECT_EQ(tall.first.x, 40);
    EXPECT_EQ(tall.second.y, 380);
    // A glyph that names itself: inside a component the component counts
    // are 0, so the component adds nothing and the glyph is empty.
    EXPECT_TRUE(outline(5).empty());
}

TEST_F(StrokePackTest, OutOfMemoryLeavesNothing)
{
    for (int n = 1; n < 40; n++) {
        Mem_failAfter(n);
        GlyphPath *o = nullptr;
        int r = FontPack_glyphOutline(pack, 2, &o);
        Mem_failAfter(0);
        if (r == Res_ok) {
            GlyphPath_destroy(o);
            break;
        }
        EXPECT_EQ(r, Res_noMemory) << n;
        EXPECT_EQ(o, nullptr);
    }
}

} // namespace
