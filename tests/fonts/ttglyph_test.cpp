// TrueType glyph outlines: every glyph of the committed DejaVu Sans and
// Liberation Sans subsets against fontTools' reading of them
// (tests/fixtures/fonts/make_font_fixtures.py); hand-built 'glyf' records
// for the flag, coordinate and component forms, the transforms, point
// matching, the alignment, and the errors: bad repeats, glyphs that
// contain themselves, nesting and point limits, truncated data and
// allocation failures.
#include "tests/fonts/font_support.h"

#include <map>

namespace {

uint32_t ttGlyphBe16(const std::string &b, size_t at)
{
    return uint8_t(b[at]) << 8 | uint8_t(b[at + 1]);
}

uint32_t ttGlyphBe32(const std::string &b, size_t at)
{
    return ttGlyphBe16(b, at) << 16 | ttGlyphBe16(b, at + 2);
}

// One glyph of a fixture dump.
struct DumpGlyph {
    int id;
    std::string name, kind;
    std::vector<OutlinePoint> points;
};

struct Dump {
    int unitsPerEm = 0;
    std::vector<DumpGlyph> glyphs;
};

Dump readDump(const std::string &name)
{
    std::istringstream in(readFontFixture(name));
    Dump d;
    std::string word;
    int count = 0;
    in >> word >> d.unitsPerEm >> count;
    EXPECT_EQ(word, "font");
    while (in >> word) {
        EXPECT_EQ(word, "glyph");
        DumpGlyph g;
        int n = 0;
        in >> g.id >> g.name >> g.kind >> n;
        for (int i = 0; i < n; i++) {
            OutlinePoint p;
            in >> p.x >> p.y >> p.on >> p.end;
            g.points.push_back(p);
        }
        d.glyphs.push_back(g);
    }
    EXPECT_EQ(int(d.glyphs.size()), count);
    return d;
}

class TtGlyphTest : public FontTest {
  protected:
    // A face over a whole font file: its 'glyf' entry, units per em and a
    // locator over its 'loca'.
    FontFace *fontFileFace(const std::string &bytes)
    {
        std::map<std::string, std::pair<uint32_t, uint32_t>> tables;
        uint32_t n = ttGlyphBe16(bytes, 4);
        for (uint32_t i = 0; i < n; i++) {
            size_t at = 12 + 16 * i;
            tables[bytes.substr(at, 4)] = {ttGlyphBe32(bytes, at + 8), ttGlyphBe32(bytes, at + 12)};
        }
        uint32_t head = tables["head"].first, maxp = tables["maxp"].first,
                 loca = tables["loca"].first;
        uint32_t glyphs = ttGlyphBe16(bytes, maxp + 4);
        bool longOffsets = ttGlyphBe16(bytes, head + 50) != 0;
        std::vector<uint32_t> offsets;
        for (uint32_t g = 0; g <= glyphs; g++)
            offsets.push_back(longOffsets ? ttGlyphBe32(bytes, loca + 4 * g)
                                          : 2 * ttGlyphBe16(bytes, loca + 2 * g));
        FontFace *face = openFace(bytes, uint16_t(ttGlyphBe16(bytes, head + 18)));
        face->tables->tables[FontTable_glyf] = {tables["glyf"].first, tables["glyf"].second};
        locas.push_back(offsets);
        face->locationData = &locas.back();
        face->locateGlyph = testLocate;
        return face;
    }

    void checkFixture(const std::string &name, int wantNested)
    {
        Dump d = readDump(name + ".txt");
        FontFace *face = fontFileFace(readFontFixture(name + ".ttf"));
        EXPECT_EQ(face->unitsPerEm, d.unitsPerEm);
        const std::vector<uint32_t> &loca = locaOf(face);
        ASSERT_EQ(loca.size(), d.glyphs.size() + 1);
        std::map<std::string, int> kinds;
        for (const DumpGlyph &g : d.glyphs) {
            kinds[g.kind]++;
            if (loca[g.id] == loca[g.id + 1]) {
                // No data: the caller makes an empty outline without loading.
                EXPECT_EQ(g.kind, "empty") << g.name;
                continue;
            }
            EXPECT_EQ(load(face, uint16_t(g.id)), g.points)
                << name << " glyph " << g.id << " " << g.name;
        }
        EXPECT_GT(kinds["simple"], 30);
        EXPECT_GT(kinds["composite"] + kinds["nested"], 15);
        EXPECT_GE(kinds["nested"], wantNested);
    }
};

TEST_F(TtGlyphTest, EveryGlyphOfTheFontSubsetsMatchesFontTools)
{
    checkFixture("dejavu-sans", 7);
    checkFixture("liberation-sans", 0);
}

TEST_F(TtGlyphTest, ACompositeMadeOfAGlyphWithoutDataIsEmpty)
{
    // Liberation Sans draws U+00A0 as a composite of the space, whose data
    // ends where it starts: reading at its offset would give the glyph
    // after it.
    Dump d = readDump("liberation-sans.txt");
    FontFace *face = fontFileFace(readFontFixture("liberation-sans.ttf"));
    for (const DumpGlyph &g : d.glyphs) {
        if (g.name == "uni00A0") {
            EXPECT_EQ(g.kind, "composite");
            EXPECT_TRUE(load(face, uint16_t(g.id)).empty());
            return;
        }
    }
    FAIL() << "no uni00A0 in the subset";
}

TEST_F(TtGlyphTest, FlagRepeatsAndCoordinateForms)
{
    // Four points, one contour, two instruction bytes. Flags: 0x09 with
    // repeat 2 (three on-curve points, long coordinates), then 0x36
    // (off-curve, short positive x and y).
    Bytes a = glyphHeader(1);
    a.u16(3).u16(2).u8(0xAA).u8(0xBB);
    a.u8(0x09).u8(2).u8(0x36);
    a.u16(300).u16(uint16_t(-2)).u16(5).u8(7); // x
    a.u16(0).u16(0).u16(0).u8(9);              // y
    // Two contours; the short negative forms and the "same" forms:
    // p0 x short negative, y same; p1 y short negative, x same, on-curve;
    // p2 x short positive, y same; p3 y short negative, x long, on-curve.
    Bytes b = glyphHeader(2);
    b.u16(1).u16(3).u16(0);
    b.u8(0x02 | 0x20).u8(0x04 | 0x10 | 0x01).u8(0x02 | 0x10 | 0x20).u8(0x04 | 0x01);
    b.u8(10).u8(4).u16(uint16_t(-1000)); // x
    b.u8(3).u8(5);                       // y
    FontFace *face = glyfFace({a.s, b.s});
    std::vector<OutlinePoint> wantA = {
        {300, 0, 1, 0}, {298, 0, 1, 0}, {303, 0, 1, 0}, {310, 9, 0, 1}};
    std::vector<OutlinePoint> wantB = {
        {-10, 0, 0, 0}, {-10, -3, 1, 1}, {-6, -3, 0, 0}, {-1006, -8, 1, 1}};
    EXPECT_EQ(load(face, 0), wantA);
    EXPECT_EQ(load(face, 1), wantB);
}

TEST_F(TtGlyphTest, BadFlagsAndGlyphsWithoutPoints)
{
    struct Case {
        const char *what;
        std::string glyph;
        int result;
        size_t points;
    };
    auto withFlags = [](int end, const std::string &flagsAndCoords) {
        Bytes b = glyphHeader(1);
        b.u16(uint16_t(end)).u16(0).raw(flagsAndCoords);
        return b.s;
    };
    Case cases[] = {
        // Three points; the repeat count 3 writes four flags.
        {"repeat past the last point", withFlags(2, "\x39\x03" + std::string(8, '\0')),
         Res_glyphBadPoint, 0},
        // Exactly three points by a repeat of 2: all "same" coordinates.
        {"repeat to the last point", withFlags(2, "\x39\x02"), Res_ok, 3},
        {"no contours", glyphHeader(0).s, Res_ok, 0},
        {"last end 0xFFFF", withFlags(0xFFFF, ""), Res_ok, 0},
        // Coordinates cut off by the table's end.
        {"truncated coordinates", withFlags(1, std::string("\x00\x00\x00", 3)), Res_bufWindowShort,
         0},
        {"truncated end indices", glyphHeader(3).s + "\x00", Res_bufWindowShort, 0},
    };
    for (const Case &c : cases) {
        FontFace *face = glyfFace({c.glyph});
        int r = -1;
        std::vector<OutlinePoint> pts = load(face, 0, &r);
        EXPECT_EQ(r, c.result) << c.what;
        EXPECT_EQ(pts.size(), c.points) << c.what;
        EXPECT_EQ(face->reader->windowLength, 0u) << c.what << ": the window is released";
    }
}

TEST_F(TtGlyphTest, AnOffsetAtOrPastTheTableReadsTheFirstGlyph)
{
    FontFace *face = glyfFace({simpleGlyph({0}, {{5, 6, 1, 1}}), simpleGlyph({0}, {{7, 8, 1, 1}})});
    uint32_t length = face->tables->tables[FontTable_glyf].length;
    for (uint32_t offset : {length, length + 1, 0xFFFFFFFFu}) {
        GlyphPath *o = nullptr;
        ASSERT_EQ(TtGlyph_load(face, offset, &o, nullptr), Res_ok);
        EXPECT_EQ(decodeOutline(o), (std::vector<OutlinePoint>{{5, 6, 1, 1}}));
        GlyphPath_destroy(o);
    }
}

TEST_F(TtGlyphTest, AGlyfTableBeyondTheFileFailsCleanly)
{
    FontFace *face = glyfFace({simpleGlyph({0}, {{5, 6, 1, 1}})});
    face->tables->tables[FontTable_glyf] = {0xFFFFFFF0u, 0x100};
    GlyphPath *o = reinterpret_cast<GlyphPath *>(1);
    EXPECT_EQ(TtGlyph_load(face, 0x20, &o, nullptr), Res_bufWindowBeyond);
    EXPECT_EQ(o, nullptr);
}

// Glyphs 0 and 1: an L-shaped base and a two-point mark, for the
// composites below.
const std::vector<OutlinePoint> basePoints = {
    {0, 0, 1, 0}, {100, 0, 1, 0}, {100, -50, 0, 0}, {-7, 300, 1, 1}};
const std::vector<OutlinePoint> markPoints = {{10, 20, 1, 0}, {-3, 7, 0, 1}};

// Points moved, in 16 bits as the records hold them.
std::vector<OutlinePoint> moved(std::vector<OutlinePoint> pts, int dx, int dy)
{
    for (OutlinePoint &p : pts)
        p.x = int16_t(p.x + dx), p.y = int16_t(p.y + dy);
    return pts;
}

std::vector<OutlinePoint> concat(std::vector<OutlinePoint> a, const std::vector<OutlinePoint> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// x' = (a x + c y) / 65536 + dx with 2.14 inputs (times 4), truncating
// toward zero like the loader.
std::vector<OutlinePoint> transformed(std::vector<OutlinePoint> pts, int a, int b, int c, int d,
                                      int dx, int dy)
{
    for (OutlinePoint &p : pts) {
        int64_t x = p.x, y = p.y;
        p.x = int(int16_t((4 * a * x + 4 * c * y + int64_t(dx) * 65536) / 65536));
        p.y = int(int16_t((4 * b * x + 4 * d * y + int64_t(dy) * 65536) / 65536));
    }
    return pts;
}

TEST_F(TtGlyphTest, ComponentArgumentsAndTransforms)
{
    struct Case {
        const char *what;
        Component component;
        std::vector<OutlinePoint> want; // after the base
    };
    Case cases[] = {
        {"byte offsets, signed", {0x0002, 1, -5, 100, {}}, moved(markPoints, -5, 100)},
        {"word offsets", {0x0003, 1, -3000, 2000, {}}, moved(markPoints, -3000, 2000)},
        {"one scale (0.5)",
         {0x000A, 1, 1, 2, {0x2000}},
         transformed(markPoints, 0x2000, 0, 0, 0x2000, 1, 2)},
        {"x and y scales",
         {0x0042, 1, 0, 0, {0x4000 + 0x1000, -0x2000}},
         transformed(markPoints, 0x5000, 0, 0, -0x2000, 0, 0)},
        {"two by two",
         {0x0082, 1, 7, -7, {0x3000, 0x0400, -0x0800, 0x5000}},
         transformed(markPoints, 0x3000, 0x0400, -0x0800, 0x5000, 7, -7)},
        // Scale forms are checked in the order 0x0008, 0x0040, 0x0080.
        {"one scale wins",
         {0x00CA, 1, 0, 0, {0x6000}},
         transformed(markPoints, 0x6000, 0, 0, 0x6000, 0, 0)},
        // Point matching: base point 1 (100, 0) onto mark point 0 (10, 20),
        // with byte and with word point numbers.
        {"matched points (bytes)", {0x0000, 1, 1, 0, {}}, moved(markPoints, 90, -20)},
        {"matched points (words)", {0x0001, 1, 3, 1, {}}, moved(markPoints, -4, 293)},
    };
    for (const Case &c : cases) {
        FontFace *face = glyfFace({simpleGlyph({3}, basePoints), simpleGlyph({1}, markPoints),
                                   compositeGlyph({{0x0002, 0, 0, 0, {}}, c.component})});
        EXPECT_EQ(load(face, 2), concat(basePoints, c.want)) << c.what;
    }
}

TEST_F(TtGlyphTest, PointMatchingErrors)
{
    std::string base = simpleGlyph({3}, basePoints), mark = simpleGlyph({1}, markPoints);
    struct Case {
        const char *what;
        std::vector<Component> components;
        int result;
    } cases[] = {
        {"matching against an empty outline", {{0x0000, 1, 0, 0, {}}}, Res_glyphNoPoints},
        {"matching a component without data",
         {{0x0002, 0, 0, 0, {}}, {0x0000, 3, 0, 0, {}}},
         Res_glyphNoPoints},
        {"outline point past the last",
         {{0x0002, 0, 0, 0, {}}, {0x0000, 1, 4, 0, {}}},
         Res_glyphBadPoint},
        {"component point past the last",
         {{0x0002, 0, 0, 0, {}}, {0x0000, 1, 0, 2, {}}},
         Res_glyphBadPoint},
    };
    for (const Case &c : cases) {
        // Glyph 3 has no data (its offset equals glyph 4's).
        FontFace *face = glyfFace({base, mark, compositeGlyph(c.components), "", base});
        int r = 0;
        load(face, 2, &r);
        EXPECT_EQ(r, c.result) << c.what;
        EXPECT_EQ(face->reader->windowLength, 0u) << c.what;
    }
}

TEST_F(TtGlyphTest, CompositesThatContainThemselvesStop)
{
    std::string base = simpleGlyph({3}, basePoints);
    // Glyph 1 names itself; glyphs 2 and 3 name each other; glyph 4 names
    // glyph 1 (the self-containing one) through a legitimate level.
    FontFace *face =
        glyfFace({base, compositeGlyph({{0x0002, 0, 0, 0, {}}, {0x0002, 1, 0, 0, {}}}),
                  compositeGlyph({{0x0002, 3, 0, 0, {}}}), compositeGlyph({{0x0002, 2, 0, 0, {}}}),
                  compositeGlyph({{0x0002, 1, 0, 0, {}}})});
    for (uint16_t g : {1, 2, 3, 4}) {
        int r = 0;
        load(face, g, &r);
        EXPECT_EQ(r, Res_glyphSelfContained) << "glyph " << g;
        EXPECT_EQ(face->reader->windowLength, 0u);
    }
}

TEST_F(TtGlyphTest, NestingAndComponentLimits)
{
    std::string base = simpleGlyph({0}, {{1, 1, 1, 1}});
    // Glyph k + 1 holds glyph k twice: glyph k holds 2^k copies of the
    // base. Nesting stays below the depth limit; the copies do not stay
    // below the component limit from glyph 13 on.
    std::vector<std::string> glyphs = {base};
    for (int k = 0; k < 14; k++)
        glyphs.push_back(
            compositeGlyph({{0x0002, uint16_t(k), 0, 0, {}}, {0x0002, uint16_t(k), 5, 0, {}}}));
    // A chain of single components, one level deeper than the limit, and
    // one exactly at it.
    uint16_t chain = uint16_t(glyphs.size());
    for (uint32_t k = 0; k <= TtGlyph_maxDepth; k++)
        glyphs.push_back(compositeGlyph({{0x0002, uint16_t(k ? chain + k - 1 : 0), 0, 0, {}}}));
    FontFace *face = glyfFace(glyphs);
    EXPECT_EQ(load(face, 5).size(), 32u);
    EXPECT_EQ(load(face, 11).size(), 2048u);
    int r = 0;
    load(face, 13, &r);
    EXPECT_EQ(r, Res_glyphSelfContained);
    EXPECT_EQ(load(face, uint16_t(chain + TtGlyph_maxDepth - 1)).size(), 1u);
    load(face, uint16_t(chain + TtGlyph_maxDepth), &r);
    EXPECT_EQ(r, Res_glyphSelfContained);
}

TEST_F(TtGlyphTest, AnOutlineOfMoreThan65535PointsFails)
{
    // 40000 points with "same" coordinates: a flag 0x31 with repeat 255,
    // 156 times, then 64 more.
    Bytes b = glyphHeader(1);
    b.u16(39999).u16(0);
    for (int i = 0; i < 156; i++)
        b.u8(0x39).u8(255);
    b.u8(0x39).u8(63);
    FontFace *face = glyfFace({b.s, compositeGlyph({{0x0002, 0, 0, 0, {}}, {0x0002, 0, 0, 0, {}}}),
                               compositeGlyph({{0x0002, 0, 0, 0, {}}})});
    EXPECT_EQ(load(face, 0).size(), 40000u);
    EXPECT_EQ(load(face, 2).size(), 40000u);
    int r = 0;
    load(face, 1, &r);
    EXPECT_EQ(r, Res_glyphBadPoint);
}

// An advance operation that answers a side bearing and counts its calls.
struct MetricsProbe {
    int calls = 0;
    uint16_t bearing = 0;
    uint16_t lastCode = 0;
};

int probeAdvance(FontFace *face, const uint16_t *codes, uint32_t n, uint32_t runTag,
                 const uint8_t *tags, uint16_t *zero, uint16_t *advance)
{
    auto *p = static_cast<MetricsProbe *>(face->metricsData);
    p->calls++;
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(runTag, 0u);
    EXPECT_EQ(tags[0], 0);
    p->lastCode = codes[0];
    zero[0] = p->bearing;
    advance[0] = 9999;
    return Res_ok;
}

TEST_F(TtGlyphTest, LeftEdgeAlignment)
{
    struct Case {
        const char *what;
        uint16_t unitsPerEm;
        uint16_t headFlags;
        int xMin;
        int bearing; // 1/16384 em
        bool request;
        int calls;
        int shift; // font units
    } cases[] = {
        // xMin 100 at 2048 units is 800: no shift.
        {"bearing equal to xMin'", 2048, 0, 100, 800, true, 1, 0},
        {"bearing right of xMin'", 2048, 0, 100, 900, true, 1, 12}, // 2048 * 100 / 16384 = 12.5
        {"bearing left of xMin'", 2048, 0, 100, 700, true, 1, -12}, // truncated toward zero
        {"negative xMin", 1000, 0, -50, -500, true, 1, 19}, // xMin' -819; 1000 * 319 / 16384
        {"no request", 2048, 0, 100, 900, false, 0, 0},
        {"head flag bit 1", 2048, 2, 100, 900, true, 0, 0},
        // Units per em 0 never divides: no alignment at all.
        {"units per em 0", 0, 0, 100, 900, true, 0, 0},
        // xMin' -8192, bearing 32767: 65535 x 40959 passes 32 bits before
        // the division; 163833 units, in 16 bits.
        {"large shift", 65535, 0, -32768, 32767, true, 1, 163833},
    };
    for (const Case &c : cases) {
        std::vector<OutlinePoint> pts = {{c.xMin, 5, 1, 0}, {c.xMin + 10, 5, 1, 1}};
        FontFace *face = glyfFace({simpleGlyph({1}, pts, c.xMin)}, c.unitsPerEm);
        MetricsProbe probe;
        probe.bearing = uint16_t(c.bearing);
        face->metricsData = &probe;
        face->advance = probeAdvance;
        face->headFlags = c.headFlags;
        uint16_t code = 77;
        int r = 0;
        std::vector<OutlinePoint> got = load(face, 0, &r, c.request ? &code : nullptr);
        EXPECT_EQ(r, Res_ok) << c.what;
        EXPECT_EQ(got, moved(pts, c.shift, 0)) << c.what;
        EXPECT_EQ(probe.calls, c.calls) << c.what;
        if (c.calls) {
            EXPECT_EQ(probe.lastCode, 77) << c.what;
        }
    }
}

TEST_F(TtGlyphTest, ACompositeIsAlignedAsAWhole)
{
    // The composite's records are absolute: every point moves, not only
    // the first.
    FontFace *face = glyfFace({simpleGlyph({3}, basePoints),
                               compositeGlyph({{0x0002, 0, 0, 0, {}}, {0x0002, 0, 50, 0, {}}})});
    MetricsProbe probe;
    probe.bearing = 64; // xMin' 0: 2048 x 64 / 16384 = 8 units
    face->metricsData = &probe;
    face->advance = probeAdvance;
    uint16_t code = 1;
    EXPECT_EQ(load(face, 1, nullptr, &code),
              moved(concat(basePoints, moved(basePoints, 50, 0)), 8, 0));
    EXPECT_EQ(probe.calls, 1);
}

TEST_F(TtGlyphTest, EmptyGlyphsAreNotAligned)
{
    FontFace *face = glyfFace({glyphHeader(0, 100).s});
    MetricsProbe probe;
    face->metricsData = &probe;
    face->advance = probeAdvance;
    uint16_t code = 3;
    EXPECT_TRUE(load(face, 0, nullptr, &code).empty());
    EXPECT_EQ(probe.calls, 0);
}

TEST_F(TtGlyphTest, ReadersCalledDirectly)
{
    // The body readers at the reader's position, as the font engine calls
    // them: a simple body after its header, then a composite.
    FontFace *face =
        glyfFace({simpleGlyph({3}, basePoints), compositeGlyph({{0x0002, 0, 4, 4, {}}})});
    const std::vector<uint32_t> &loca = locaOf(face);
    GlyphPath *o = nullptr;
    ASSERT_EQ(GlyphPath_create(&o, GlyphPath_kindPoints), Res_ok);
    ASSERT_EQ(BufStream_setRange(ctx, face->reader, 6 + 10, loca[1] - 10), Res_ok);
    EXPECT_EQ(TtGlyph_readSimple(face, 1, o), Res_ok);
    EXPECT_EQ(decodeOutline(o), basePoints);
    // A composite appended to what the outline holds.
    ASSERT_EQ(BufStream_setRange(ctx, face->reader, 6 + loca[1] + 10, loca[2] - loca[1] - 10),
              Res_ok);
    EXPECT_EQ(TtGlyph_readComposite(face, o, loca[1]), Res_ok);
    EXPECT_EQ(decodeOutline(o), concat(basePoints, moved(basePoints, 4, 4)));
    EXPECT_EQ(face->reader->windowLength, 0u);
    // 0 contours empties the outline.
    EXPECT_EQ(TtGlyph_readSimple(face, 0, o), Res_ok);
    EXPECT_EQ(o->bytes, nullptr);
    GlyphPath_destroy(o);
}

TEST_F(TtGlyphTest, AllocationFailuresLeaveNothingBehind)
{
    FontFace *face =
        glyfFace({simpleGlyph({3}, basePoints), simpleGlyph({1}, markPoints),
                  compositeGlyph({{0x0002, 0, 0, 0, {}}, {0x0000, 1, 1, 0, {}}}),
                  compositeGlyph({{0x0002, 2, 0, 0, {}}, {0x000A, 1, 3, 3, {0x2000}}})});
    size_t before = TestHeap_usedBytes();
    for (uint64_t n = 1;; n++) {
        GlyphPath *o = reinterpret_cast<GlyphPath *>(1);
        Mem_failAfter(n);
        int r = TtGlyph_load(face, locaOf(face)[3], &o, nullptr);
        Mem_failAfter(0);
        if (r == Res_ok) {
            EXPECT_EQ(decodeOutline(o).size(), 8u); // the base, the matched mark, the scaled mark
            GlyphPath_destroy(o);
            break;
        }
        EXPECT_EQ(r, Res_noMemory) << "allocation " << n;
        EXPECT_EQ(o, nullptr);
        EXPECT_EQ(TestHeap_usedBytes(), before) << "allocation " << n;
        ASSERT_LT(n, 200u);
    }
}

} // namespace

// The default loader: the last glyph ends at the table's end (never at
// glyph 0's offset), an index past the glyph count is an empty outline and
// a glyph without data is a finished outline without a buffer.
TEST_F(TtGlyphTest, LoadGlyphByIndexEndsAtTheNextGlyphInsideTheFont)
{
    Bytes a = glyphHeader(1);
    a.u16(0).u16(0).u8(0x37).u8(5).u8(7); // one on-curve point (5, 7), short positive
    FontFace *face = glyfFace({a.s, std::string(), a.s});
    face->glyphCount = 3;
    face->headFlags = FontFace_headNoAlign;
    std::vector<OutlinePoint> want = {{5, 7, 1, 1}};
    for (uint16_t index : {0, 2}) {
        GlyphPath *o = nullptr;
        ASSERT_EQ(TrueType_loadGlyph(face, index, &o), Res_ok) << index;
        EXPECT_EQ(decodeOutline(o), want) << index;
        GlyphPath_destroy(o);
    }
    for (uint16_t index : {1, 3, 65535}) {
        GlyphPath *o = reinterpret_cast<GlyphPath *>(1);
        ASSERT_EQ(TrueType_loadGlyph(face, index, &o), Res_ok) << index;
        ASSERT_NE(o, nullptr);
        EXPECT_EQ(o->kind, GlyphPath_kindPoints);
        EXPECT_EQ(o->bytes, nullptr) << index;
        GlyphPath_destroy(o);
    }
    // A lookup error comes back with no outline.
    face->glyphCount = 5;
    GlyphPath *o = reinterpret_cast<GlyphPath *>(1);
    EXPECT_EQ(TrueType_loadGlyph(face, 4, &o), Res_notFound);
    EXPECT_EQ(o, nullptr);
}
