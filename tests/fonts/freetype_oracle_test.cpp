// The reader against FreeType on the installed DejaVu Sans and Liberation
// fonts (tools/install-deps.sh installs them; missing fonts skip): a font
// engine configured on a scratch fonts folder opens each copied font, and
// every code point's glyph, every glyph's normalised advance and every
// pair of the font's 'kern' table equal FreeType's unscaled answers, and
// every side bearing the font's own 'hmtx'. FreeType is the oracle only.
#ifdef VEXLAN_HAVE_FREETYPE

#include "tests/fonts/font_engine_support.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H

#include <unistd.h>

namespace {

struct InstalledFont {
    const char *name;
    const char *paths[2];
    bool kerned; // has a 'kern' table
};

const InstalledFont fonts[] = {
    {"DejaVuSans.ttf", {"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", nullptr}, true},
    {"LiberationSans-Regular.ttf",
     {"/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",
      "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf"},
     true},
    {"LiberationSerif-Regular.ttf",
     {"/usr/share/fonts/truetype/liberation2/LiberationSerif-Regular.ttf",
      "/usr/share/fonts/truetype/liberation/LiberationSerif-Regular.ttf"},
     true},
    {"LiberationMono-Regular.ttf",
     {"/usr/share/fonts/truetype/liberation2/LiberationMono-Regular.ttf",
      "/usr/share/fonts/truetype/liberation/LiberationMono-Regular.ttf"},
     false},
};

std::string readWhole(const char *path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

uint32_t be(const std::string &b, size_t at, int bytes)
{
    uint32_t v = 0;
    for (int i = 0; i < bytes; i++)
        v = v << 8 | uint8_t(b[at + i]);
    return v;
}

// The pairs of the first format-0 horizontal subtable of 'kern', read
// here on their own: {left, right, value in font units}.
std::vector<std::array<int, 3>> kernPairs(const std::string &b)
{
    std::vector<std::array<int, 3>> out;
    for (uint32_t i = 0; i < be(b, 4, 2); i++) {
        size_t e = 12 + 16 * i;
        if (b.compare(e, 4, "kern") != 0)
            continue;
        size_t t = be(b, e + 8, 4);
        if (be(b, t + 4, 2) != 0 || be(b, t + 8, 2) != 1)
            return out;
        uint32_t n = be(b, t + 10, 2);
        for (uint32_t k = 0; k < n; k++) {
            size_t p = t + 18 + 6 * k;
            out.push_back({int(be(b, p, 2)), int(be(b, p + 2, 2)), int(int16_t(be(b, p + 4, 2)))});
        }
    }
    return out;
}

// The left side bearing of every glyph in font units, read here from
// 'hhea' and 'hmtx' on their own. (FreeType reports a glyph's bounding box
// instead, which differs where a font's 'hmtx' disagrees with its 'glyf'.)
std::vector<int> sideBearings(const std::string &b, uint32_t glyphs)
{
    size_t hhea = 0, hmtx = 0;
    for (uint32_t i = 0; i < be(b, 4, 2); i++) {
        size_t e = 12 + 16 * i;
        if (b.compare(e, 4, "hhea") == 0)
            hhea = be(b, e + 8, 4);
        if (b.compare(e, 4, "hmtx") == 0)
            hmtx = be(b, e + 8, 4);
    }
    uint32_t pairs = be(b, hhea + 34, 2);
    std::vector<int> out;
    for (uint32_t g = 0; g < glyphs; g++) {
        size_t at = g < pairs ? hmtx + 4 * g + 2 : hmtx + 4 * pairs + 2 * (g - pairs);
        out.push_back(int16_t(be(b, at, 2)));
    }
    return out;
}

class FreeTypeOracleTest : public FontEngineTest {
  protected:
    FT_Library library = nullptr;

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(FontEngineTest::SetUp());
        ASSERT_EQ(FT_Init_FreeType(&library), 0);
        // The fonts are copied into a fonts folder the engine is then
        // configured on.
        for (const InstalledFont &f : fonts) {
            std::string bytes = installed(f);
            if (!bytes.empty())
                writeFile(f.name, bytes);
        }
        Url *u = url("file://root" + dir + "/");
        ASSERT_EQ(FontEngine_configure(ctx, u), Res_ok);
        Url_free(u);
    }

    void TearDown() override
    {
        FT_Done_FreeType(library);
        FontEngineTest::TearDown();
    }

    // The installed font's bytes, or empty when it is not installed.
    static std::string installed(const InstalledFont &f)
    {
        for (const char *p : f.paths)
            if (p && access(p, R_OK) == 0)
                return readWhole(p);
        return {};
    }

    void compare(const InstalledFont &font, uint32_t lastCode)
    {
        std::string bytes = installed(font);
        if (bytes.empty()) {
            ADD_FAILURE() << font.name << " is not installed (tools/install-deps.sh installs it)";
            return;
        }
        FontFace *f = openFile(font.name);
        ASSERT_NE(f, nullptr) << font.name;
        FT_Face ft = nullptr;
        ASSERT_EQ(FT_New_Memory_Face(library, reinterpret_cast<const FT_Byte *>(bytes.data()),
                                     FT_Long(bytes.size()), 0, &ft),
                  0);
        ASSERT_EQ(f->glyphCount, ft->num_glyphs) << font.name;
        uint32_t upem = ft->units_per_EM;
        // Every code point: its glyph, advance and side bearing.
        std::vector<uint16_t> codes;
        for (uint32_t c = 0; c <= lastCode; c++)
            codes.push_back(uint16_t(c));
        std::vector<uint16_t> glyphs = map(f, codes);
        uint32_t mapped = 0;
        for (uint32_t c = 0; c <= lastCode; c++) {
            uint16_t want = uint16_t(FT_Get_Char_Index(ft, c));
            if (c >= 0xD800 && c <= 0xDFFF)
                continue; // FreeType's Unicode map may read the surrogates otherwise
            EXPECT_EQ(glyphs[c], want) << font.name << " U+" << std::hex << c;
            mapped += want != 0;
        }
        EXPECT_GT(mapped, 150u) << font.name;
        std::vector<uint16_t> all;
        for (uint32_t g = 0; g < f->glyphCount; g++)
            all.push_back(uint16_t(g));
        auto m = metrics(f, all);
        std::vector<int> bearings = sideBearings(bytes, f->glyphCount);
        for (uint32_t g = 0; g < f->glyphCount; g++) {
            FT_Fixed advance = 0;
            ASSERT_EQ(FT_Get_Advance(ft, g, FT_LOAD_NO_SCALE, &advance), 0);
            EXPECT_EQ(m[g].first, int(uint32_t(advance) * 16384u / upem))
                << font.name << " glyph " << g;
            EXPECT_EQ(m[g].second, bearings[g] * 16384 / int(upem)) << font.name << " glyph " << g;
        }
        // Every pair of the 'kern' table, and a pair that is not there.
        auto pairs = kernPairs(bytes);
        EXPECT_EQ(!pairs.empty(), font.kerned) << font.name;
        for (const auto &p : pairs) {
            FT_Vector v{0, 0};
            ASSERT_EQ(FT_Get_Kerning(ft, p[0], p[1], FT_KERNING_UNSCALED, &v), 0);
            EXPECT_EQ(v.x, p[2]);
            std::vector<int> got = kern(f, {uint16_t(p[0]), uint16_t(p[1])});
            EXPECT_EQ(int16_t(got[0] - 1000), int(v.x) * 16384 / int(upem))
                << font.name << " pair " << p[0] << ", " << p[1];
        }
        EXPECT_EQ(kern(f, {0, 0})[0], 1000);
        FT_Done_Face(ft);
    }
};

TEST_F(FreeTypeOracleTest, Latin1OfDejaVuSansAndLiberationSans)
{
    compare(fonts[0], 0xFF);
    compare(fonts[1], 0xFF);
}

TEST_F(FreeTypeOracleTest, EveryCodePointOfEachFont)
{
    for (const InstalledFont &f : fonts) {
        compare(f, 0xFFFF);
        closeAll();
    }
}

} // namespace

#endif
