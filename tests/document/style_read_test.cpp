// Typed style readers: measures against references, colour fallbacks,
// border sides, the line record, the limited horizontal and vertical box
// edges, and widths with limits and box sizing.
#include "document/style/styleread.h"
#include "tests/document/style_fixture.h"

using namespace styletest;

namespace {

class StyleReadTest : public EdrFixture {
  protected:
    // A root set with the values set on it, flags as given.
    void withSet(std::initializer_list<Prop> values, uint16_t flags,
                 std::function<void(Edr_Style *)> fn)
    {
        withDoc([&](Edr_Doc *doc, Edr_Node *root) {
            Edr_Node *g = group(doc, root);
            own(doc, g, 2, rule(values));
            Edr_Style *s = compute(doc, g);
            s->flags = flags;
            fn(s);
            Edr_Style_release(s);
        });
    }
};

TEST_F(StyleReadTest, MeasuresAgainstReferences)
{
    withSet({pct(90, 50), len(58, 300)}, 0, [](Edr_Style *s) {
        struct {
            uint32_t id;
            int32_t reference;
            int result;
            int32_t out;
        } const cases[] = {
            {90, 1000, 1, 500},
            {90, Edr_Style_refUnknown, 0, -1},
            {90, 0, 0, -1},
            {90, int32_t(Edr_Style_refNoStore), 1, -1},
            {58, Edr_Style_refUnknown, 1, 300},
            {100, 1000, 0, -1},
        };
        for (const auto &c : cases) {
            int32_t out = -1;
            EXPECT_EQ(Edr_Style_getMeasure(s, c.id, &out, c.reference), c.result)
                << c.id << " " << c.reference;
            EXPECT_EQ(out, c.out) << c.id << " " << c.reference;
        }
    });
}

TEST_F(StyleReadTest, ColourFallbacks)
{
    withSet({col(2, 0x80402010), kw(8, 148)}, 0, [](Edr_Style *s) {
        uint8_t c[4];
        Edr_Style_getWithFallback(s, 2, c, 1);
        EXPECT_EQ(c[0], 0x10);
        EXPECT_EQ(c[3], 0x80);
        Edr_Style_getWithFallback(s, 8, c, 1);
        EXPECT_EQ(c[0] | c[1] | c[2] | c[3], 0);
        Edr_Style_getWithFallback(s, 62, c, 17); // no colour: the palette's
        EXPECT_EQ(c[3], 0);
    });
    withSet({col(2, 0x80402010), col(154, 0xFF0000AA)}, 0, [](Edr_Style *s) {
        uint8_t c[4];
        Edr_Style_getWithFallback(s, 2, c, 1);
        EXPECT_EQ(c[0], 0xAA);
        EXPECT_EQ(c[3], 0xFF);
    });
}

TEST_F(StyleReadTest, BorderSides)
{
    withSet({kw(15, 54), len(19, 500), col(9, 0xFF0000FF), kw(17, 99), len(21, 400), kw(14, 59),
             len(18, 0)},
            0, [](Edr_Style *s) {
                Edr_Border b{};
                EXPECT_EQ(Edr_Style_getBorder(s, 15, &b), 1);
                EXPECT_EQ(b.kind, 3u);
                EXPECT_EQ(b.width, 500);
                EXPECT_EQ(b.colour[0], 0xFF);
                EXPECT_EQ(Edr_Style_getBorder(s, 17, &b), 0); // keyword not in the kind table
                EXPECT_EQ(b.kind, 0u);
                EXPECT_EQ(b.width, 0);
                EXPECT_EQ(Edr_Style_getBorder(s, 14, &b), 0); // a kind without width
                EXPECT_EQ(Edr_Style_getBorder(s, 99, &b), 0); // reads as side 17
            });
    withSet({kw(63, 129), len(64, 700), kw(15, 54), len(19, 500)}, 0, [](Edr_Style *s) {
        Edr_Border b{};
        EXPECT_EQ(Edr_Style_getBorder(s, 15, &b), 1);
        EXPECT_EQ(b.kind, 4u);
        EXPECT_EQ(b.width, 700);
    });
}

TEST_F(StyleReadTest, LineRecord)
{
    withSet({kw(129, 204), kw(130, 207), kw(131, 205), len(132, 1000), kw(133, 999)}, 0,
            [](Edr_Style *s) {
                int32_t r[6];
                Edr_Style_getLineRecord(s, r);
                EXPECT_EQ(r[0], 4 | 24 | 32);
                EXPECT_EQ(r[1], 655);
                EXPECT_EQ(r[2], 0x10000);
                EXPECT_EQ(r[3], 1000);
                EXPECT_EQ(r[4], 6553);
                EXPECT_EQ(r[5], 0);
            });
}

TEST_F(StyleReadTest, HorizontalEdgesAreLimitedInANarrowView)
{
    // Flag bit 0 set, bit 2 clear, reference 256: the limit is 128.
    withSet({len(67, 100), len(69, 100), len(52, -5), len(54, -600000)}, Edr_Style_flag1,
            [](Edr_Style *s) {
                int32_t m[2], b[2], p[2];
                Edr_Style_getHorizontalEdges(s, m, b, p, 256);
                EXPECT_EQ(p[0], 2);
                EXPECT_EQ(p[1], 100);
                EXPECT_EQ(m[0], 0); // a negative side-15 margin becomes 0
                EXPECT_EQ(m[1], 0); // a side-17 margin above -682666 becomes 0
                EXPECT_EQ(b[0], 0);
            });
    // Right to left: the side-17 member goes first.
    withSet({len(67, 100), len(69, 100), kw(33, 118)}, Edr_Style_flag1, [](Edr_Style *s) {
        int32_t p[2];
        Edr_Style_getHorizontalEdges(s, nullptr, nullptr, p, 256);
        EXPECT_EQ(p[0], 100);
        EXPECT_EQ(p[1], 2);
    });
    withSet({len(67, 100), len(69, 100)}, 0, [](Edr_Style *s) {
        int32_t p[2];
        Edr_Style_getHorizontalEdges(s, nullptr, nullptr, p, 256);
        EXPECT_EQ(p[0], 100);
        EXPECT_EQ(p[1], 100);
    });
}

TEST_F(StyleReadTest, VerticalEdgesAreLimitedInANarrowView)
{
    withSet({len(51, 70000), len(53, 60000), kw(14, 54), len(18, 90000)}, Edr_Style_flag1,
            [](Edr_Style *s) {
                Edr_Edges m{}, b{}, p{};
                Edr_Style_getEdges(s, &m, &b, &p, 1000);
                EXPECT_EQ(m.top, 5461);
                EXPECT_EQ(m.bottom, 60000);
                EXPECT_EQ(b.top, 90000); // borders are not limited
                EXPECT_EQ(b.bottom, 0);
            });
}

TEST_F(StyleReadTest, WidthWithLimitsAndBoxSizing)
{
    withSet({pct(90, 50), len(58, 300), len(67, 10), len(69, 20)}, 0, [](Edr_Style *s) {
        int32_t w = 0;
        EXPECT_EQ(Edr_Style_clampProp90(s, &w, 0, 1000), 1);
        EXPECT_EQ(w, 300); // capped by 58
        EXPECT_EQ(Edr_Style_clampProp90(s, &w, 1, 1000), 1);
        EXPECT_EQ(w, 270); // content box: paddings taken off
    });
    withSet({len(60, 400)}, 0, [](Edr_Style *s) {
        int32_t w = 0;
        EXPECT_EQ(Edr_Style_clampProp90(s, &w, 0, 1000), 1);
        EXPECT_EQ(w, 0); // no width, and 60 does not raise the reference
    });
    withSet({len(44, 500), len(66, 5), len(68, 7)}, 0, [](Edr_Style *s) {
        int32_t h = 0;
        EXPECT_EQ(Edr_Style_boxExtent(s, &h, 1, 1000), 1);
        EXPECT_EQ(h, 488);
    });
}

TEST_F(StyleReadTest, KeywordTests)
{
    withSet({kw(87, 49), kw(65, 69), len(90, 2000), kw(74, 65)}, 0, [](Edr_Style *s) {
        EXPECT_EQ(Edr_Style_testProp87(s, 1, 7), 1);
        EXPECT_EQ(Edr_Style_testProp87(s, 0, 7), 7);
        EXPECT_EQ(Edr_Style_isNarrowBox(s), 1);
        EXPECT_EQ(Edr_Style_getProp74(s), 31u);
        EXPECT_EQ(Edr_Style_getProp79Or33(s), 86u);
        s->flags = Edr_Style_flag1;
        EXPECT_EQ(Edr_Style_isNarrowBox(s), 1); // 90 below 1/24 inch
        EXPECT_EQ(Edr_Style_getProp74(s), 131u);
    });
}

} // namespace
