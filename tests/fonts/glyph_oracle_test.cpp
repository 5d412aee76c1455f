// Single glyphs of DejaVu Sans and Liberation Serif drawn by the engine as
// text items (a font list over a font engine configured on a folder of the
// installed fonts) against FreeType's anti-aliased rendering of the same
// glyph at the same pixel size and pen position, unhinted; and the
// substitution table rewriting a run before its glyphs are looked up.
// FreeType is the oracle only; missing fonts fail with a note
// (tools/install-deps.sh installs them).
#ifdef VEXLAN_HAVE_FREETYPE

#include "tests/fonts/font_engine_support.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <unistd.h>

#include <cmath>
#include <cstring>

#include "core/container/obj.h"
#include "core/context/context.h"
#include "fonts/fontlist.h"
#include "graphics/bitmap.h"
#include "graphics/drawitem.h"
#include "graphics/pixelbuf.h"
#include "core/time/locale.h"
#include "fonts/textitem.h"
#include "fonts/textrun.h"

namespace {

struct Installed {
    const char *file;
    const char *family;
    const char *path;
};

const Installed installedFonts[] = {
    {"DejaVuSans.ttf", "DejaVu Sans", "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"},
    {"LiberationSerif-Regular.ttf", "Liberation Serif",
     "/usr/share/fonts/truetype/liberation2/LiberationSerif-Regular.ttf"},
};

std::string readWhole(const char *path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

constexpr int W = 96, H = 96, penX = 16, baseUp = 24; // baseline 24 rows above the bottom

class GlyphOracleTest : public FontEngineTest {
  protected:
    FT_Library library = nullptr;

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(FontEngineTest::SetUp());
        ASSERT_EQ(FT_Init_FreeType(&library), 0);
        for (const Installed &f : installedFonts)
            if (access(f.path, R_OK) == 0)
                writeFile(f.file, readWhole(f.path));
        Url *u = url("file://root" + dir + "/");
        ASSERT_EQ(FontEngine_configure(ctx, u), Res_ok);
        Url_free(u);
    }

    void TearDown() override
    {
        FT_Done_FreeType(library);
        FontEngineTest::TearDown();
    }

    // The engine's coverage (0 to 255) of c in the font list at px pixels.
    std::vector<int> engine(FontList *fonts, char16_t c, int px)
    {
        std::vector<int> cover(W * H, 0);
        PixelBuf *buf = nullptr;
        EXPECT_EQ(PixelBuf_create(&buf, W, H, Pixel_format565, 0x10000), Res_ok);
        memset(buf->pixels, 0xFF, size_t(buf->stride) * H);
        Bitmap *b = nullptr;
        EXPECT_EQ(Bitmap_createLike(ctx, &b, buf), Res_ok);
        ObjHeader *item = Obj_create(&TextItem_class, 0);
        EXPECT_NE(item, nullptr);
        TextItemPart *p = static_cast<TextItemPart *>(Obj_part(item));
        p->base = ObjTextPart{fonts, px << 16, 0, nullptr, 0, 0, &c, 0, 1};
        p->colour = 0xFF000000;
        Rect box = {0, 0, 1, 1};
        Obj_setBox(item, &box);
        // 72 pixels an inch: a point is a pixel.
        Matrix m = {72, 0, 0, 72, penX, baseUp};
        DrawTarget target{b, nullptr, 0, 0};
        const ObjItemOps *ops = static_cast<const ObjItemOps *>(TextItem_class.ops);
        EXPECT_EQ(ops->draw(nullptr, item, nullptr, &m, &target, nullptr, 0), Res_ok);
        for (int y = 0; y < H; y++)
            for (int x = 0; x < W; x++) {
                uint16_t v;
                memcpy(&v, Bitmap_firstRow(b) + y * b->stride + x * 2, 2);
                int green = (v >> 5) & 63;
                cover[y * W + x] = 255 - green * 255 / 63;
            }
        Obj_destroy(item);
        Bitmap_destroy(b);
        PixelBuf_destroy(buf);
        return cover;
    }

    // FreeType's coverage of c at px pixels, unhinted, at the same pen.
    std::vector<int> freetype(FT_Face face, char16_t c, int px)
    {
        std::vector<int> cover(W * H, 0);
        EXPECT_EQ(FT_Set_Pixel_Sizes(face, 0, FT_UInt(px)), 0);
        EXPECT_EQ(FT_Load_Char(face, c, FT_LOAD_RENDER | FT_LOAD_NO_HINTING), 0);
        const FT_Bitmap &bm = face->glyph->bitmap;
        int top = H - baseUp - face->glyph->bitmap_top, left = penX + face->glyph->bitmap_left;
        for (unsigned r = 0; r < bm.rows; r++)
            for (unsigned k = 0; k < bm.width; k++) {
                int y = top + int(r), x = left + int(k);
                if (y >= 0 && y < H && x >= 0 && x < W)
                    cover[y * W + x] = bm.buffer[r * bm.pitch + k];
            }
        return cover;
    }

    static std::vector<int> soften(const std::vector<int> &a)
    {
        std::vector<int> out(a.size(), 0);
        for (int y = 1; y + 1 < H; y++)
            for (int x = 1; x + 1 < W; x++) {
                int s = 0;
                for (int dy = -1; dy <= 1; dy++)
                    for (int dx = -1; dx <= 1; dx++)
                        s += a[(y + dy) * W + x + dx];
                out[y * W + x] = s / 9;
            }
        return out;
    }
};

TEST_F(GlyphOracleTest, GlyphMasksMatchFreeType)
{
    EngineInstance instance{};
    instance.context = ctx;
    for (const Installed &f : installedFonts) {
        if (access(f.path, R_OK) != 0) {
            ADD_FAILURE() << f.path << " is not installed (tools/install-deps.sh installs it)";
            continue;
        }
        std::string bytes = readWhole(f.path);
        FT_Face ft = nullptr;
        ASSERT_EQ(FT_New_Memory_Face(library, reinterpret_cast<const FT_Byte *>(bytes.data()),
                                     FT_Long(bytes.size()), 0, &ft),
                  0);
        const char *families[] = {f.family};
        FontList *fonts = nullptr;
        ASSERT_EQ(Font_listCreate(&instance, families, 1, 0, nullptr, &fonts), Res_ok);
        ASSERT_GT(fonts->fontCount, 0u);
        for (int px : {12, 24, 48})
            for (char16_t c : {u'a', u'g', u'R', u'8', u'&'}) {
                std::vector<int> got = engine(fonts, c, px), want = freetype(ft, c, px);
                int64_t inkGot = 0, inkWant = 0, diff = 0;
                for (int i = 0; i < W * H; i++) {
                    inkGot += got[i];
                    inkWant += want[i];
                }
                std::vector<int> sg = soften(got), sw = soften(want);
                int worst = 0;
                for (int i = 0; i < W * H; i++) {
                    diff += std::abs(sg[i] - sw[i]);
                    worst = std::max(worst, std::abs(sg[i] - sw[i]));
                }
                std::string what =
                    std::string(f.family) + " '" + char(c) + "' " + std::to_string(px) + " px";
                ASSERT_GT(inkWant, 0) << what;
                // The same amount of ink, in the same places.
                EXPECT_NEAR(double(inkGot) / double(inkWant), 1.0, 0.05) << what;
                EXPECT_LT(double(diff) / double(inkWant), 0.08) << what;
                EXPECT_LT(worst, 24) << what; // of 255, after a 3 x 3 box blur
            }
        Font_listRelease(fonts);
        FT_Done_Face(ft);
    }
}

// The substitution table rewrites a run's characters before glyphs are
// looked up: with the yen entry installed the backslash takes the yen
// sign's glyph; without it, its own.
TEST_F(GlyphOracleTest, TheSubstitutionTableRewritesRunsBeforeMapping)
{
    const Installed &f = installedFonts[0];
    if (access(f.path, R_OK) != 0) {
        ADD_FAILURE() << f.path << " is not installed (tools/install-deps.sh installs it)";
        return;
    }
    std::string bytes = readWhole(f.path);
    FT_Face ft = nullptr;
    ASSERT_EQ(FT_New_Memory_Face(library, reinterpret_cast<const FT_Byte *>(bytes.data()),
                                 FT_Long(bytes.size()), 0, &ft),
              0);
    const uint16_t backslash = uint16_t(FT_Get_Char_Index(ft, 0x5C));
    const uint16_t yen = uint16_t(FT_Get_Char_Index(ft, 0xA5));
    FT_Done_Face(ft);
    ASSERT_NE(backslash, yen);
    EngineInstance instance{};
    instance.context = ctx;
    const char *families[] = {f.family};
    auto glyphsOf = [&](const std::u16string &text) {
        FontList *fonts = nullptr;
        EXPECT_EQ(Font_listCreate(&instance, families, 1, 0, nullptr, &fonts), Res_ok);
        std::vector<uint16_t> out;
        const uint16_t *glyphs = nullptr;
        const char16_t *chars = nullptr;
        uint32_t mask = 0, n = 0;
        Lock_acquire(&fonts->lock);
        EXPECT_EQ(TextRun_buildCharTable(fonts, 0, text.data(), uint32_t(text.size()), nullptr,
                                         &glyphs, nullptr, nullptr, &chars, &mask, &n),
                  Res_ok);
        for (uint32_t i = 0; i < n; i++)
            out.push_back(glyphs[i]);
        Lock_release(&fonts->lock);
        Font_listRelease(fonts);
        return out;
    };
    EXPECT_EQ(glyphsOf(u"a\\b")[1], backslash);
    CharFilter entry = {sizeof(CharFilter), Locale_yenMappingKind, 0x5C, 0x5C,
                        Locale_yenApplies,  Locale_yenMap,         0};
    ASSERT_EQ(FontCache_addCharMapping(ctx->fontEngine->charFilters, &entry), 1);
    std::vector<uint16_t> mapped = glyphsOf(u"a\\b");
    ASSERT_EQ(mapped.size(), 3u);
    EXPECT_EQ(mapped[1], yen);
    EXPECT_EQ(mapped[0], glyphsOf(u"a")[0]);
}

} // namespace

#endif
