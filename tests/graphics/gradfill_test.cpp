// Gradient fills: directions from angles, the stops of each direction
// (reversed, as given, mirrored both ways), presets with their stop
// counts, headers by fill kind, the shade-derived second colour, caller
// stops, gradient records and running out of memory.
#include <gtest/gtest.h>

#include <vector>

#include "core/container/gradient.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/gradfill.h"
#include "tests/support/heap_fixture.h"

namespace {

constexpr int32_t kOne = 0x10000;
constexpr uint32_t kRed = 0xFF0000FF, kBlue = 0xFFFF0000;

struct Stop {
    int32_t position;
    uint32_t colour;
    bool operator==(const Stop &) const = default;
};

class GradFillTest : public LeakCheckedHeapTest<> {
  protected:
    FillSettings twoColours(int32_t angle, uint32_t corner = 0)
    {
        FillSettings s{};
        s.kind = FillKind_linear;
        s.colour1[0] = 0xFF;
        s.colour1[3] = 0xFF;
        s.colour2[2] = 0xFF;
        s.colour2[3] = 0xFF;
        s.angle = angle;
        s.focusCorner = corner;
        return s;
    }
    std::vector<Stop> stopsOf(const FillSettings &s)
    {
        Gradient *g = nullptr;
        EXPECT_EQ(Fill_buildGradient(&s, &g), Res_ok);
        std::vector<Stop> out;
        if (!g)
            return out;
        for (int32_t i = 0; i < g->count; i++)
            out.push_back({g->stops[i].position, g->stops[i].value});
        Gradient_free(g);
        return out;
    }
};

TEST_F(GradFillTest, DirectionsFromAngles)
{
    const std::pair<int32_t, uint32_t> cases[] = {
        {0, 0},    {24, 0},  {25, 1},  {45, 1},  {90, 2},  {135, 3}, {180, 0}, {-45, 3},
        {-180, 0}, {-24, 0}, {-25, 3}, {-90, 2}, {225, 1}, {360, 3}, {-360, 1}};
    for (auto [angle, d] : cases)
        EXPECT_EQ(Fill_direction(angle), d) << angle;
}

TEST_F(GradFillTest, StopsByDirection)
{
    // Horizontal: reversed.
    EXPECT_EQ(stopsOf(twoColours(180)), (std::vector<Stop>{{0, kBlue}, {kOne, kRed}}));
    EXPECT_EQ(stopsOf(twoColours(0)), (std::vector<Stop>{{0, kBlue}, {kOne, kRed}}));
    // Vertical: as they stand.
    EXPECT_EQ(stopsOf(twoColours(90)), (std::vector<Stop>{{0, kRed}, {kOne, kBlue}}));
    // Diagonal toward corner 0: out to the middle and back, three stops.
    EXPECT_EQ(stopsOf(twoColours(45, 0)),
              (std::vector<Stop>{{0, kRed}, {kOne / 2, kBlue}, {kOne, kRed}}));
    EXPECT_EQ(stopsOf(twoColours(135, 2)),
              (std::vector<Stop>{{0, kRed}, {kOne / 2, kBlue}, {kOne, kRed}}));
    // The other pairing runs from the middle out.
    EXPECT_EQ(stopsOf(twoColours(45, 1)),
              (std::vector<Stop>{{0, kBlue}, {kOne / 2, kRed}, {kOne, kBlue}}));
    EXPECT_EQ(stopsOf(twoColours(-45, 0)),
              (std::vector<Stop>{{0, kBlue}, {kOne / 2, kRed}, {kOne, kBlue}}));
}

TEST_F(GradFillTest, PresetsKeepTheirStopsAndTakeColourTwoLast)
{
    FillSettings s = twoColours(90);
    s.preset = 140; // ten stops
    std::vector<Stop> v = stopsOf(s);
    ASSERT_EQ(v.size(), 10u);
    EXPECT_EQ(v[0], (Stop{0, 0xFFF5EBDC}));
    EXPECT_EQ(v[1], (Stop{0x147B, 0xFFC3A783})); // 0.08 0x83A7C3
    EXPECT_EQ(v[9], (Stop{kOne, kBlue}));

    s.angle = 45;
    v = stopsOf(s);
    ASSERT_EQ(v.size(), 19u);
    EXPECT_EQ(v[0], (Stop{0, 0xFFF5EBDC}));
    EXPECT_EQ(v[9], (Stop{kOne / 2, kBlue}));
    EXPECT_EQ(v[18], (Stop{kOne, 0xFFF5EBDC}));
    for (size_t i = 1; i < v.size(); i++)
        EXPECT_LE(v[i - 1].position, v[i].position) << i;

    // Every preset builds with its own count; 145 starts half way.
    const std::pair<uint32_t, size_t> counts[] = {{136, 5}, {137, 6}, {139, 4}, {141, 8}, {145, 4},
                                                  {146, 3}, {147, 7}, {155, 8}, {156, 9}, {159, 8}};
    for (auto [preset, n] : counts) {
        s.angle = 90;
        s.preset = preset;
        EXPECT_EQ(stopsOf(s).size(), n) << preset;
    }
    s.preset = 145;
    EXPECT_EQ(stopsOf(s)[0], (Stop{kOne / 2, 0xFFC48884}));
    for (uint32_t preset = FillPreset_first; preset <= FillPreset_last; preset++) {
        s.preset = preset;
        std::vector<Stop> p = stopsOf(s);
        ASSERT_GE(p.size(), 3u) << preset;
        EXPECT_EQ(p.back(), (Stop{kOne, kBlue})) << preset;
    }
    // An index outside the presets is a plain two-colour fill.
    s.preset = 160;
    EXPECT_EQ(stopsOf(s).size(), 2u);
}

TEST_F(GradFillTest, HeadersByKind)
{
    struct Case {
        uint32_t kind, corner;
        uint32_t mode;
        int32_t start[2], end[2];
    } cases[] = {
        {FillKind_focus, 0, 1, {kOne - 0x4000, kOne - 0x8000}, {kOne, kOne}},
        {FillKind_centre, 0, 1, {0, 0}, {kOne / 2, kOne / 2}},
        {FillKind_linear, 0, 0, {0, 0}, {0, kOne}},
        {FillKind_linear, 1, 0, {0, 0}, {kOne, kOne}},
        {FillKind_linear, 2, 0, {0, 0}, {kOne, 0}},
        {FillKind_linear, 3, 0, {kOne, 0}, {0, kOne}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.kind * 10 + c.corner);
        FillSettings s = twoColours(90, c.corner);
        s.kind = c.kind;
        s.focusX = 0x4000;
        s.focusY = 0x8000;
        Gradient *g = nullptr;
        ASSERT_EQ(Fill_buildGradient(&s, &g), Res_ok);
        ASSERT_NE(g, nullptr);
        EXPECT_EQ(g->one, 1u);
        EXPECT_EQ(g->zero, 0u);
        EXPECT_EQ(g->mode, c.mode);
        EXPECT_EQ(g->start[0], c.start[0]);
        EXPECT_EQ(g->start[1], c.start[1]);
        EXPECT_EQ(g->end[0], c.end[0]);
        EXPECT_EQ(g->end[1], c.end[1]);
        Gradient_free(g);
    }
    for (uint32_t kind : {0u, 1u, 3u, 4u, 8u}) {
        FillSettings s = twoColours(90);
        s.kind = kind;
        Gradient *g = reinterpret_cast<Gradient *>(&s);
        EXPECT_EQ(Fill_buildGradient(&s, &g), Res_ok);
        EXPECT_EQ(g, nullptr) << kind;
    }
}

TEST_F(GradFillTest, ShadeDerivedSecondColour)
{
    const uint8_t c[4] = {200, 100, 0, 255};
    // Darker: amount 0x80 halves each channel; alpha from colour 2.
    EXPECT_EQ(Fill_shadeColour(c, 0x800000, 0x40), 0x40003264u);
    EXPECT_EQ(Fill_shadeColour(c, 0x000000, 0xFF), 0xFF000000u);
    // Lighter (code 2): amount 0 is white, amounts toward 0xFF approach
    // the colour itself, and each channel stays between the two.
    EXPECT_EQ(Fill_shadeColour(c, 0x000200, 0xFF), 0xFFFFFFFFu);
    EXPECT_EQ(Fill_shadeColour(c, 0x800200, 0xFF), 0xFF7FB1E3u);
    for (uint32_t t = 0; t < 256; t += 15) {
        uint32_t v = Fill_shadeColour(c, t << 16 | 0x200, 0xFF);
        for (int i = 0; i < 3; i++) {
            uint32_t ch = v >> (8 * i) & 0xFF;
            EXPECT_GE(ch, c[i]) << t;
            EXPECT_LE(ch, 255u);
        }
    }
    FillSettings s = twoColours(90);
    s.flags = FillFlag_shadeColour;
    s.shade = 0x800000;
    s.colour2[3] = 0x7F;
    std::vector<Stop> v = stopsOf(s);
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[1], (Stop{kOne, 0x7F00007Fu}));
}

TEST_F(GradFillTest, CallerStops)
{
    const StopEntry given[] = {{0x1000, 0xFF000001}, {0x4000, 0xFF000002}, {0x8000, 0xFF000003}};
    FillSettings s = twoColours(90);
    s.stops = given;
    s.stopCount = 3;
    s.preset = 140; // ignored with caller stops
    EXPECT_EQ(stopsOf(s),
              (std::vector<Stop>{{0x1000, 0xFF000001}, {0x4000, 0xFF000002}, {kOne, 0xFF000003}}));
    // 11 stops at a diagonal would need 21: refused.
    std::vector<StopEntry> many(25, StopEntry{0, 0});
    s.stops = many.data();
    s.stopCount = 25;
    Gradient *g = nullptr;
    EXPECT_EQ(Fill_buildGradient(&s, &g), Res_stopCountInvalid);
    EXPECT_EQ(g, nullptr);
    s.stopCount = 11;
    s.angle = 45;
    EXPECT_EQ(Fill_buildGradient(&s, &g), Res_stopCountInvalid);
    EXPECT_EQ(g, nullptr);
}

TEST_F(GradFillTest, GradientRecords)
{
    Gradient *g = nullptr;
    EXPECT_EQ(Gradient_create(&g, 1), Res_stopCountInvalid);
    EXPECT_EQ(Gradient_create(&g, 21), Res_stopCountInvalid);
    ASSERT_EQ(Gradient_create(&g, 20), Res_ok);
    EXPECT_EQ(g->count, 20);
    EXPECT_EQ(Gradient_setStop(g, 20, StopEntry{0, 0}), Res_stopIndexInvalid);
    EXPECT_EQ(Gradient_setStop(g, -1, StopEntry{0, 0}), Res_stopIndexInvalid);
    EXPECT_EQ(Gradient_setStop(g, 0, StopEntry{-5, 1}), Res_ok);
    EXPECT_EQ(Gradient_setStop(g, 19, StopEntry{0x20000, 2}), Res_ok);
    EXPECT_EQ(g->stops[0].position, 0);
    EXPECT_EQ(g->stops[19].position, kOne);
    Gradient_free(g);
    Gradient_free(nullptr);
}

TEST_F(GradFillTest, RunningOutOfMemoryFailsCleanly)
{
    FillSettings s = twoColours(45);
    s.preset = 140;
    for (uint64_t n = 1;; n++) {
        Gradient *g = nullptr;
        Mem_failAfter(n);
        int err = Fill_buildGradient(&s, &g);
        Mem_failAfter(0);
        if (err == Res_ok) {
            ASSERT_NE(g, nullptr);
            Gradient_free(g);
            break;
        }
        ASSERT_EQ(err, Res_noMemory);
        ASSERT_EQ(g, nullptr);
    }
}

} // namespace
