// White-space collapsing, three-word values, the text tone table, colour
// transforms and the minimum of doubles.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/style/prop.h"
#include "graphics/pixelbuf.h"
#include "html/common.h"
#include "html/texttone.h"
#include "core/style/triple.h"
#include "tests/support/heap_fixture.h"

namespace {

using HtmlCommonTest = LeakCheckedContextTest<>;

// ------------------------------------------------------------ collapsing

TEST(CollapseSpaceRuns, Cases)
{
    struct Case {
        const char16_t *what;
        std::u16string in;
        std::u16string out;
    } cases[] = {
        {u"tab and line feed between letters", u"a\t\nb", u"a b"},
        {u"ideographic space becomes a blank", u"a\u3000b", u"a b"},
        {u"ideographic space in a run", u"a \u3000 b", u"a b"},
        {u"leading and trailing runs keep one blank", u"  a  ", u" a "},
        {u"control characters count as white space", std::u16string(u"a\x01\x1F" u"b"), u"a b"},
        {u"single blanks stay", u"a b c", u"a b c"},
        {u"code 33 is not white space", u"a!!b", u"a!!b"},
        {u"non-breaking space is not collapsed", u"a\u00A0\u00A0b", u"a\u00A0\u00A0b"},
        {u"only white space", u"\r\n\t ", u" "},
        {u"empty", u"", u""},
    };
    for (const Case &c : cases) {
        uint32_t n = uint32_t(c.in.size());
        uint32_t counted = Ustr_collapseSpaceRuns(nullptr, c.in.data(), n);
        std::u16string out(n + 1, u'#');
        uint32_t written = Ustr_collapseSpaceRuns(out.data(), c.in.data(), n);
        EXPECT_EQ(counted, written) << (const char *)c.what;
        EXPECT_EQ(out.substr(0, written), c.out);
        EXPECT_EQ(out[written], u'#') << "no terminator is written";
        EXPECT_EQ(written < n, c.out.size() < c.in.size());
    }
    EXPECT_EQ(Ustr_collapseSpaceRuns(nullptr, nullptr, 0), 0u);
}

// --------------------------------------------------------------- triples

TEST_F(HtmlCommonTest, TriplesCopyCompareAndFree)
{
    PropLineSpacing *a = nullptr, *b = nullptr, *c = nullptr;
    ASSERT_EQ(Obj_newTriple(&a, 1, 0x780000, 0x640000), 0);
    ASSERT_EQ(Obj_copyTriple(&b, a), 0);
    ASSERT_NE(b, a);
    EXPECT_EQ(Obj_tripleEquals(a, b), 1);
    ASSERT_EQ(Obj_newTriple(&c, 1, 0x780000, 0x640001), 0);
    EXPECT_EQ(Obj_tripleEquals(a, c), 0) << "third word differs";
    Obj_freeTriple(c);
    ASSERT_EQ(Obj_newTriple(&c, 2, 0x780000, 0x640000), 0);
    EXPECT_EQ(Obj_tripleEquals(a, c), 0) << "first word differs";
    Obj_freeTriple(c);
    Obj_freeTriple(b);
    Obj_freeTriple(nullptr);

    // Out of memory: 1 and a null out.
    Mem_failAfter(1);
    b = a;
    EXPECT_EQ(Obj_copyTriple(&b, a), 1);
    EXPECT_EQ(b, nullptr);
    Mem_failAfter(0);
    Obj_freeTriple(a);
}

TEST_F(HtmlCommonTest, PropertyTypeSeventeenCopiesAndComparesItsTriple)
{
    PropLineSpacing *rec = nullptr;
    ASSERT_EQ(Obj_newTriple(&rec, 1, 120 << 16, 100 << 16), 0);
    Prop v{}, copy{};
    Prop_set110(&v, rec);
    ASSERT_EQ(Prop_copy(&copy, &v), 0);
    EXPECT_NE(copy.payload, v.payload) << "a deep copy";
    EXPECT_TRUE(Prop_equal(&copy, &v));
    reinterpret_cast<PropLineSpacing *>(copy.payload)->base = 99 << 16;
    EXPECT_FALSE(Prop_equal(&copy, &v));
    Prop_free(&copy);
    Prop_free(&v);
}

// ------------------------------------------------------------ tone table

TEST_F(HtmlCommonTest, ToneTableStartsFromTheDefault)
{
    ASSERT_EQ(TextTone_init(ctx), 0);
    const uint8_t *t = static_cast<const uint8_t *>(ctx->textTone);
    ASSERT_NE(t, nullptr);
    struct {
        int index, value;
    } entries[] = {{0, 0}, {1, 32}, {2, 33}, {43, 64}, {123, 124}, {124, 124}, {128, 128},
                   {132, 132}, {133, 132}, {215, 194}, {254, 223}, {255, 255}};
    for (auto e : entries)
        EXPECT_EQ(t[e.index], e.value) << e.index;
    for (int i = 1; i < 254; i++) {
        EXPECT_GE(t[i + 1], t[i]) << i;
        EXPECT_LE(t[i + 1], t[i] + 1) << i;
    }
    for (int i = 124; i <= 132; i++)
        EXPECT_EQ(t[i], i);
    EXPECT_EQ(memcmp(t, TextTone_defaultTable(), TextTone_size), 0);

    // Tuning rewrites it in place; identity tuning gives the identity.
    TextTone_setTuning(ctx, 1.0, 0, 0);
    EXPECT_EQ(ctx->textTone, t);
    for (int i = 0; i < 256; i++)
        ASSERT_EQ(t[i], i) << i;

    TextTone_fini(ctx);
    EXPECT_EQ(ctx->textTone, nullptr);
    TextTone_fini(ctx); // a second teardown frees nothing twice
    TextTone_setTuning(ctx, 1.0, 0, 0); // no table: nothing
}

TEST_F(HtmlCommonTest, ToneTableOutOfMemory)
{
    Mem_failAfter(1);
    EXPECT_EQ(TextTone_init(ctx), 1);
    EXPECT_EQ(ctx->textTone, nullptr);
    Mem_failAfter(0);
}

// -------------------------------------------------------- colour transform

constexpr ColourTransform identity = {{0x10000, 0x10000, 0x10000, 0x10000}, {0, 0, 0, 0}};

TEST(ColourTransformTables, Cases)
{
    struct Case {
        const char *what;
        int32_t multiply, offset;
        uint32_t bits;
        std::vector<std::pair<int, int>> entries; // {index, value}
    } cases[] = {
        {"identity, 5 bits", 0x10000, 0, 5, {{0, 0}, {1, 1}, {15, 15}, {31, 31}}},
        {"identity, 6 bits", 0x10000, 0, 6, {{0, 0}, {32, 32}, {63, 63}}},
        {"identity, 8 bits", 0x10000, 0, 8, {{0, 0}, {128, 128}, {255, 255}}},
        {"halving", 0x8000, 0, 5, {{31, 15}, {1, 0}, {2, 1}}},
        {"offset of one level, clamped", 0x10000, 8 * 256, 5, {{0, 1}, {30, 31}, {31, 31}}},
        {"negative offset clamps to 0", 0x10000, -8 * 256, 5, {{0, 0}, {1, 0}, {2, 1}}},
        {"negative multiplier inverts", -0x10000, 255 * 256, 8, {{0, 255}, {255, 0}}},
        {"zero multiplier, grey offset", 0, 100 * 256, 8, {{0, 100}, {255, 100}}},
    };
    for (const Case &c : cases) {
        uint8_t table[256];
        ColourTransform_channelTable(c.multiply, c.offset, c.bits, table);
        for (auto [i, v] : c.entries)
            EXPECT_EQ(table[i], v) << c.what << " entry " << i;
    }
}

PixelBuf buffer(std::vector<uint8_t> &bytes, int32_t w, int32_t h, uint32_t stride, uint32_t format)
{
    PixelBuf b{};
    b.width = w;
    b.height = h;
    b.stride = stride;
    b.pixels = bytes.data();
    b.format = format;
    return b;
}

TEST(ColourTransform, Pictures565)
{
    // Two rows of two pixels, stride 6 bytes (one spare pixel per row).
    auto pix = [](uint32_t r, uint32_t g, uint32_t b) { return uint16_t(r << 11 | g << 5 | b); };
    const uint16_t in[6] = {pix(31, 63, 31), pix(1, 2, 3), 0xAAAA, pix(30, 0, 16), pix(0, 0, 0), 0xBBBB};
    std::vector<uint8_t> src(12), dst(12, 0x55);
    memcpy(src.data(), in, 12);
    PixelBuf s = buffer(src, 2, 2, 6, Pixel_format565), d = buffer(dst, 2, 2, 6, Pixel_format565);

    ColourTransform t = identity;
    t.multiply[0] = 0x8000;         // red halved
    t.offset[2] = 8 * 256;          // blue one level up, clamped
    PixelBuf_applyColourTransform(&d, &s, &t);
    uint16_t out[6];
    memcpy(out, dst.data(), 12);
    EXPECT_EQ(out[0], pix(15, 63, 31));
    EXPECT_EQ(out[1], pix(0, 2, 4));
    EXPECT_EQ(out[2], 0x5555) << "the spare pixel is not written";
    EXPECT_EQ(out[3], pix(15, 0, 17));
    EXPECT_EQ(out[4], pix(0, 0, 1));

    // The identity leaves the pixels as they are.
    PixelBuf_applyColourTransform(&d, &s, &identity);
    memcpy(out, dst.data(), 12);
    EXPECT_EQ(out[0], in[0]);
    EXPECT_EQ(out[1], in[1]);
    EXPECT_EQ(out[3], in[3]);
}

TEST(ColourTransform, GreyUsesTheGreyWords)
{
    std::vector<uint8_t> src = {0, 100, 255, 7}, dst(4, 9);
    PixelBuf s = buffer(src, 3, 1, 4, Pixel_formatGrey8), d = buffer(dst, 3, 1, 4, Pixel_formatGrey8);
    ColourTransform t = identity;
    t.multiply[0] = 0;              // the colour words do not apply
    t.multiply[3] = 0x8000;
    t.offset[3] = 10 * 256;
    PixelBuf_applyColourTransform(&d, &s, &t);
    EXPECT_EQ(dst, (std::vector<uint8_t>{10, 60, 138, 9}));
}

TEST(ColourTransform, OtherDestinationFormatsAreLeftAlone)
{
    std::vector<uint8_t> src(8, 0x12), dst(8, 0x34);
    PixelBuf s = buffer(src, 2, 1, 8, Pixel_formatRGBA), d = buffer(dst, 2, 1, 8, Pixel_formatRGBA);
    ColourTransform t = identity;
    t.multiply[0] = 0;
    PixelBuf_applyColourTransform(&d, &s, &t);
    EXPECT_EQ(dst, std::vector<uint8_t>(8, 0x34));
}

// --------------------------------------------------------------- minimum

TEST(DoubleArrayMin, Cases)
{
    const double nan = std::nan("");
    struct Case {
        const char *what;
        std::vector<double> values;
        double expect; // NaN: the result is NaN
    } cases[] = {
        {"mixed", {3.0, -1.5, 2.0}, -1.5},
        {"single", {4.25}, 4.25},
        {"NaN first stays", {nan, 1.0, -2.0}, nan},
        {"NaN later is passed over", {1.0, nan, 0.5}, 0.5},
        {"NaN last is passed over", {1.0, nan}, 1.0},
        {"infinities", {1.0, -INFINITY, INFINITY}, -INFINITY},
    };
    for (const Case &c : cases) {
        double r = Double_arrayMin(c.values.data(), c.values.size());
        if (std::isnan(c.expect))
            EXPECT_TRUE(std::isnan(r)) << c.what;
        else
            EXPECT_EQ(r, c.expect) << c.what;
    }
    // Of equal values the last wins: -0.0 after 0.0.
    const double zeros[2] = {0.0, -0.0};
    EXPECT_TRUE(std::signbit(Double_arrayMin(zeros, 2)));
}

} // namespace
