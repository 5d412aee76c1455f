// The font catalogue over fonts folders made by
// tests/fixtures/fonts/make_font_folders.py, and font lists over the
// built-in font map with the fonts that the Debian font packages install.
#include "fonts/catalogue.h"

#include "tests/fonts/font_engine_support.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "graphics/glyphcache.h"
#include "core/context/context.h"
#include "fonts/base14.h"
#include "fonts/fontlist.h"
#include "fonts/fontmap.h"
#include "fonts/spaces.h"
#include "fonts/synthesis.h"
#include "graphics/glyphpath.h"
#include "graphics/path.h"
#include "fonts/textrun.h"

namespace {

std::string nameOf(const FontFace *face)
{
    return face && face->name ? face->name : "";
}

bool hasName(const FontFace *face, const std::string &name)
{
    return Css_fontNameMatches(face->name, name.c_str()) == 0;
}

class CatalogueTest : public FontEngineTest {
  protected:
    // Configures the font engine on a fixture folder. The result.
    int configure(const std::string &folder)
    {
        Url *u =
            url("file://root" + std::string(VEXLAN_FIXTURES) + "/fonts/folders/" + folder + "/");
        int r = FontEngine_configure(ctx, u);
        Url_free(u);
        return r;
    }

    std::vector<FontFace *> catalogue()
    {
        std::vector<FontFace *> out;
        FontCatalogue *c = ctx->fontEngine ? ctx->fontEngine->catalogue : nullptr;
        for (uint32_t i = 0; c && i < c->faceCount; i++)
            out.push_back(c->faces[i]);
        return out;
    }

    FontFace *named(const std::string &name)
    {
        for (FontFace *f : catalogue())
            if (hasName(f, name))
                return f;
        return nullptr;
    }
};

TEST_F(CatalogueTest, ALibraryLineWithFiveCommasStopsTheMapAndLeavesNoEngine)
{
    EXPECT_EQ(configure("badlibrary"), Res_fontMapLine);
    EXPECT_EQ(ctx->fontEngine, nullptr);
}

TEST_F(CatalogueTest, AScannedFileTakesItsSupplementWhateverItsCase)
{
    ASSERT_EQ(configure("supplement"), Res_ok);
    std::vector<FontFace *> faces = catalogue();
    ASSERT_EQ(faces.size(), 1u);
    EXPECT_EQ(nameOf(faces[0]), "Tahoma Test:sans-serif: language:unicode");
    EXPECT_EQ(faces[0]->kind, FontFile_trueType);
    EXPECT_EQ(faces[0]->styleWord, 3u);
}

TEST_F(CatalogueTest, OnlyAnEf1FileThatALibraryLineNamesIsAdded)
{
    ASSERT_EQ(configure("ef1"), Res_ok);
    std::vector<FontFace *> faces = catalogue();
    ASSERT_EQ(faces.size(), 1u);
    // An ".ef1" face answers to the map's names only, with the map's style.
    EXPECT_EQ(nameOf(faces[0]), "Named Face:named-family:unicode");
    EXPECT_EQ(faces[0]->styleWord, 6u);
    EXPECT_EQ(faces[0]->kind, FontFile_ef1);
}

TEST_F(CatalogueTest, EveryFaceWithTheLargestGlyphCountBecomesUnicode)
{
    ASSERT_EQ(configure("unicode"), Res_ok);
    ASSERT_EQ(catalogue().size(), 3u);
    for (const char *big : {"Big A", "Big B"}) {
        FontFace *f = named(big);
        ASSERT_NE(f, nullptr) << big;
        EXPECT_TRUE(hasName(f, "unicode")) << nameOf(f);
    }
    ASSERT_NE(named("Small"), nullptr);
    EXPECT_FALSE(hasName(named("Small"), "unicode"));
    // A second naming pass cuts the old "unicode" before adding it again.
    ASSERT_EQ(FontCatalogue_nameFaces(ctx->fontEngine->catalogue), Res_ok);
    EXPECT_EQ(nameOf(named("Big A")), "Big A:unicode");
}

TEST_F(CatalogueTest, BothFacesOfACollectionArrive)
{
    ASSERT_EQ(configure("collection"), Res_ok);
    std::vector<FontFace *> faces = catalogue();
    ASSERT_EQ(faces.size(), 2u);
    EXPECT_EQ(nameOf(faces[0]), "First");
    EXPECT_EQ(nameOf(faces[1]), "Second:unicode");
    EXPECT_EQ(faces[0]->kind, FontFile_collection);
    EXPECT_EQ(faces[1]->glyphCount, 70u);
    // Each face reads its own tables: 'A' maps in both.
    for (FontFace *f : faces) {
        uint16_t code = 'A', glyph = 0;
        uint8_t tag = 0;
        uint32_t left = 1;
        ASSERT_EQ(f->map(f, &code, 1, 0, &glyph, &tag, &left), Res_ok);
        EXPECT_NE(glyph, 0) << nameOf(f);
    }
}

TEST_F(CatalogueTest, ABadFileInTheMiddleIsSkippedAndTheNamingPassRuns)
{
    ASSERT_EQ(configure("badmiddle"), Res_ok);
    std::vector<FontFace *> faces = catalogue();
    ASSERT_EQ(faces.size(), 2u);
    EXPECT_EQ(nameOf(faces[0]), "Alpha");
    EXPECT_EQ(nameOf(faces[1]), "Gamma:unicode");
}

TEST_F(CatalogueTest, AMissingFolderGivesAnEmptyCatalogue)
{
    ASSERT_EQ(configure("no-such-folder"), Res_ok);
    EXPECT_EQ(FontCatalogue_isEmpty(ctx->fontEngine->catalogue), Res_fontCatalogueEmpty);
}

TEST_F(CatalogueTest, OpeningFacesOfFilesThatAreNoFonts)
{
    writeFile("plain.txt", "text");
    writeFile("version.ttf", std::string(64, 'x'));
    writeFile("broken.ttf", fontFixture("tt-macwin.ttf").substr(0, 200));
    writeFile("pack.ffs", fontFixture("pack.ffs"));
    struct Case {
        const char *file;
        int result;
    } cases[] = {
        {"plain.txt", Res_fontUnsupported},
        {"pack.ffs", Res_fontUnsupported}, // no font-pack operations installed
        {"version.ttf", Res_fontUnsupported},
        {"broken.ttf", Res_fontFileUnreadable}, // cut short: any read error reads as this
        {"missing.ttf", Res_fileCannotOpen},
    };
    for (const Case &c : cases) {
        Url *u = fileUrl(c.file);
        FontFace *faces[FontCollection_maxFaces];
        uint32_t count = 9;
        EXPECT_EQ(FontFile_openFaces(ctx, u, faces, &count), c.result) << c.file;
        EXPECT_EQ(count, 0u) << c.file;
        Url_free(u);
    }
}

TEST_F(CatalogueTest, MapSectionsFillDefaultsSupplementsAndBuffered)
{
    writeFile("map", "[Buffered]\nbig.ttf\n[Defaults]\nArial: Helvetica,sans-serif \n"
                     "[Supplements]\nx.ttf:mono\n[Other]\nignored line\n");
    Url *dir = url("file://root" + this->dir + "/");
    FontCatalogue *c = ctx->fontEngine->catalogue;
    ASSERT_EQ(FontCatalogue_readMap(ctx, c, dir), Res_ok);
    Url_free(dir);
    ASSERT_EQ(c->defaultCount, 1u);
    EXPECT_STREQ(c->defaults[0].name, "Arial");
    EXPECT_STREQ(c->defaults[0].substitutes, "Helvetica,sans-serif");
    ASSERT_EQ(c->supplementCount, 1u);
    EXPECT_STREQ(c->supplements[0].substitutes, "mono");
    const char *const *names = nullptr;
    uint32_t count = 0;
    FontEngine_getMemoryList(ctx, &names, &count);
    ASSERT_EQ(count, 1u);
    EXPECT_STREQ(names[0], "big.ttf");
}

TEST_F(CatalogueTest, RunningOutOfMemoryFailsTheScanCleanly)
{
    Url *u = url("file://root" + std::string(VEXLAN_FIXTURES) + "/fonts/folders/badmiddle/");
    for (int n = 1;; n++) {
        FontCatalogue *c = nullptr;
        ASSERT_EQ(FontCatalogue_create(ctx, &c), Res_ok);
        Mem_failAfter(n);
        int r = FontCatalogue_scanDirectory(ctx, c, u);
        Mem_failAfter(0);
        uint32_t faces = c->faceCount;
        FontCatalogue_free(c);
        if (r == Res_ok) {
            EXPECT_EQ(faces, 2u);
            break;
        }
        ASSERT_EQ(r, Res_noMemory) << "allocation " << n;
        ASSERT_LT(n, 400);
    }
    Url_free(u);
}

// ------------------------------------------- font lists, built-in map

bool installed(const char *path)
{
    struct stat st;
    return stat(path, &st) == 0;
}

const char liberation[] = "/usr/share/fonts/truetype/liberation2/";
const char droid[] = "/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf";

class FontListTest : public FontEngineTest {
  protected:
    EngineInstance instance{};

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(FontEngineTest::SetUp());
        if (!installed((std::string(liberation) + "LiberationSans-Regular.ttf").c_str()) ||
            !installed(droid))
            GTEST_SKIP() << "the Liberation and Droid fonts are not installed";
        FontEngine_registerBuiltins(ctx);
        Url *u = url("file://root/okala_dir/Fonts/");
        ASSERT_EQ(FontEngine_configure(ctx, u), Res_ok);
        Url_free(u);
        instance.context = ctx;
    }

    FontList *list(std::vector<const char *> families, uint32_t flags = 3)
    {
        FontList *l = nullptr;
        EXPECT_EQ(Font_listCreate(&instance, families.data(), uint32_t(families.size()), flags,
                                  nullptr, &l),
                  Res_ok);
        return l;
    }

    static FontFace *faceAt(FontList *l, uint32_t i)
    {
        uint32_t n = 0;
        FontInstance *const *h = Font_listHandles(l, &n);
        return i < n ? h[i]->face : nullptr;
    }

    // The file of a list's first face.
    static std::string fileOf(FontList *l)
    {
        FontFace *f = faceAt(l, 0);
        if (f && f->kind == FontFace_kindSynthesis)
            f = f->parent;
        if (!f)
            return "none";
        FontCatalogue *c = f->source->fontEngine->catalogue;
        for (uint32_t i = 0; i < c->faceCount; i++)
            if (c->faces[i] == f && c->urls[i])
                return S(c->urls[i]->path);
        return "none";
    }

    // The glyphs, fonts and advances of text in the list.
    struct Measured {
        std::vector<uint16_t> glyphs, advances;
        std::vector<uint8_t> fonts;
    };
    static Measured measure(FontList *l, const std::u16string &text)
    {
        const uint8_t *fonts = nullptr;
        const uint16_t *glyphs = nullptr, *first = nullptr, *advances = nullptr;
        uint32_t mask = 0, count = 0;
        Measured m;
        EXPECT_EQ(TextRun_buildCharTable(l, 0, text.data(), uint32_t(text.size()), &fonts, &glyphs,
                                         &first, &advances, nullptr, &mask, &count),
                  Res_ok);
        for (uint32_t i = 0; i < count; i++) {
            m.glyphs.push_back(glyphs[i]);
            m.fonts.push_back(fonts[i] & 7);
            m.advances.push_back(advances[i]);
        }
        return m;
    }
};

TEST_F(FontListTest, FamiliesResolveToTheirPackagedFiles)
{
    const std::string lib = liberation;
    const std::string droidFile = droid;
    struct Case {
        const char *family;
        std::string file;
    } cases[] = {
        {"Arial", lib + "LiberationSans-Regular.ttf"},
        {"Helvetica", lib + "LiberationSans-Regular.ttf"},
        {"Times New Roman", lib + "LiberationSerif-Regular.ttf"},
        {"Courier", lib + "LiberationMono-Regular.ttf"},
        {"Symbol", "/okala_dir/Fonts/msyrr.ef1"},
        {"ZapfDingbats", "/okala_dir/Fonts/dbtrr.ef1"},
        {"MS Mincho", droidFile},
        {"SimSun", droidFile},
        {"No Such Family", lib + "LiberationSans-Regular.ttf"}, // the default, sans-serif
    };
    for (const Case &c : cases) {
        FontList *l = list({c.family});
        ASSERT_NE(l, nullptr) << c.family;
        EXPECT_EQ(fileOf(l), c.file) << c.family;
        Font_listRelease(l);
    }
    FontList *bold = list({"Arial"}, 6);
    EXPECT_EQ(fileOf(bold), lib + "LiberationSans-Bold.ttf");
    Font_listRelease(bold);
}

TEST_F(FontListTest, ACjkCharacterInAnArialListFallsThroughToDroid)
{
    FontList *l = list({"Arial"});
    ASSERT_NE(l, nullptr);
    Measured m = measure(l, u"A\u4E2D\u2003");
    ASSERT_EQ(m.glyphs.size(), 3u);
    EXPECT_EQ(m.fonts[0], 0);
    FontFace *cjk = faceAt(l, m.fonts[1]);
    ASSERT_NE(cjk, nullptr);
    EXPECT_NE(m.fonts[1], 0);
    EXPECT_TRUE(hasName(cjk, "unicode")) << nameOf(cjk);
    EXPECT_NE(m.glyphs[1], 0);
    // The em space measures one em, whichever face gives it.
    EXPECT_EQ(m.advances[2], 16384);
    Font_listRelease(l);
}

TEST_F(FontListTest, StandardMetricsHelveticaMeasuresBase14AndDrawsLiberation)
{
    FontList *l = list({"Helvetica"}, 3 | FontMatch_symbolVariant);
    ASSERT_NE(l, nullptr);
    FontFace *f = faceAt(l, 0);
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(f->kind, FontFace_kindSynthesis);
    EXPECT_EQ(nameOf(f), "SynthesisMetrics:Helvetica");
    EXPECT_EQ(fileOf(l), std::string(liberation) + "LiberationSans-Regular.ttf");
    Measured m = measure(l, u"A");
    EXPECT_EQ(m.glyphs[0], 'A'); // glyph ids are the codes
    EXPECT_EQ(m.advances[0], 10928);
    // Its outline of 'A' is the real face's.
    GlyphPath *mine = nullptr, *real = nullptr;
    ASSERT_EQ(l->fonts[0].ops->outline(l, 0, 'A', &mine), Res_ok);
    FontFace *p = f->parent;
    uint16_t code = 'A', glyph = 0;
    uint8_t tag = 0;
    uint32_t left = 1;
    ASSERT_EQ(p->map(p, &code, 1, 0, &glyph, &tag, &left), Res_ok);
    ASSERT_EQ(p->outline(p, glyph, &real), Res_ok);
    ASSERT_GT(real->lastSize, 0u);
    ASSERT_EQ(mine->lastStart + mine->lastSize, real->lastStart + real->lastSize);
    EXPECT_EQ(memcmp(mine->bytes, real->bytes, real->lastStart + real->lastSize), 0);
    GlyphPath_destroy(mine);
    GlyphPath_destroy(real);
    Font_listRelease(l);
}

TEST_F(FontListTest, HandlesAreSharedAndPurgedOnTheLastRelease)
{
    FontEngine *fe = ctx->fontEngine;
    FontList *a = list({"Arial"});
    FontList *b = list({"Arial"});
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    uint32_t na = 0, nb = 0;
    FontInstance *h = Font_listHandles(a, &na)[0];
    EXPECT_EQ(Font_listHandles(b, &nb)[0], h);
    EXPECT_EQ(h->refs, 2u);
    uint32_t open = fe->instanceCount;
    // An outline cached for the handle goes with it.
    Path *path = nullptr;
    ASSERT_EQ(Path_create(&path, 0x10000), Res_ok);
    Path *kept = path;
    ASSERT_EQ(LruCache_insert(fe->pathCache, reinterpret_cast<uintptr_t>(h), 36, &kept), 1);
    Font_listRelease(a);
    EXPECT_EQ(h->refs, 1u);
    EXPECT_EQ(fe->instanceCount, open);
    Path *found = nullptr;
    EXPECT_EQ(LruCache_find(fe->pathCache, reinterpret_cast<uintptr_t>(h), 36, &found), 1);
    Font_listRelease(b);
    EXPECT_EQ(fe->instanceCount, 0u);
    EXPECT_EQ(LruCache_find(fe->pathCache, reinterpret_cast<uintptr_t>(h), 36, &found), 0);
    Path_destroy(path);
    // A retained list needs two releases.
    FontList *c = list({"Times"});
    FontList *same = nullptr;
    Font_listRetain(&instance, &same, c);
    EXPECT_EQ(same, c);
    Font_listRelease(c);
    EXPECT_GT(fe->instanceCount, 0u);
    Font_listRelease(same);
    EXPECT_EQ(fe->instanceCount, 0u);
}

TEST_F(FontListTest, RunningOutOfMemoryLeavesNoHandleOpen)
{
    FontEngine *fe = ctx->fontEngine;
    for (uint32_t flags : {3u, 3u | FontMatch_symbolVariant, 6u}) {
        for (int n = 1;; n++) {
            const char *families[] = {"Helvetica", "SimSun"};
            FontList *l = reinterpret_cast<FontList *>(1);
            Mem_failAfter(n);
            int r = Font_listCreate(&instance, families, 2, flags, nullptr, &l);
            Mem_failAfter(0);
            if (r == Res_ok) {
                ASSERT_NE(l, nullptr);
                EXPECT_GE(l->fontCount, 2u);
                Font_listRelease(l);
                EXPECT_EQ(fe->instanceCount, 0u);
                break;
            }
            ASSERT_EQ(r, Res_noMemory) << "allocation " << n;
            EXPECT_EQ(l, nullptr);
            EXPECT_EQ(fe->instanceCount, 0u) << "allocation " << n;
            ASSERT_LT(n, 200);
        }
    }
}

TEST_F(FontListTest, CaptionsMeasureInTheDefaultFamily)
{
    Rect r{1, 2, 3, 4};
    ASSERT_EQ(Font_measureCaption(&instance, u"", &r), Res_ok);
    EXPECT_EQ(r.x0, 0);
    EXPECT_EQ(r.x1, 0);
    ASSERT_EQ(Font_measureCaption(&instance, u"Caption", &r), Res_ok);
    EXPECT_GT(r.x1, r.x0);
    EXPECT_EQ(ctx->fontEngine->instanceCount, 0u);
}

TEST_F(CatalogueTest, LanguageModulesRegisterTheirFilesAndPackSupportOnce)
{
    FontEngine *fe = ctx->fontEngine;
    EXPECT_EQ(fe->packOps, nullptr);
    FontEngine_registerBuiltins(ctx);
    int32_t count = RomFs_count(ctx);
    std::vector<std::string> paths;
    for (int32_t i = 0; i < count; i++)
        if (RomFs_entries(ctx)[i].path)
            paths.push_back(RomFs_entries(ctx)[i].path);
    for (const char *want : {"/okala_dir/Fonts/msyrr.ef1", "/okala_dir/Fonts/dbtrr.ef1",
                             "/okala_dir/Fonts/bincmaps/adobe-japan1-ucs2.dat",
                             "/okala_dir/Fonts/bincmaps/hkm314-b5-h.dat"})
        EXPECT_NE(std::find(paths.begin(), paths.end(), want), paths.end()) << want;
    ASSERT_NE(fe->packOps, nullptr);
    EXPECT_NE(fe->cmapFormats->entries[CmapFormat_bitmap].map, nullptr);
    FontPackOps *ops = fe->packOps;
    FontEngine_registerBuiltins(ctx); // a second time changes nothing
    EXPECT_EQ(RomFs_count(ctx), count);
    EXPECT_EQ(fe->packOps, ops);
    // With pack support a font pack opens.
    writeFile("pack.ffs", fontFixture("pack.ffs"));
    Url *u = fileUrl("pack.ffs");
    FontFace *faces[FontCollection_maxFaces];
    uint32_t n = 0;
    EXPECT_EQ(FontFile_openFaces(ctx, u, faces, &n), Res_ok);
    ASSERT_EQ(n, 1u);
    EXPECT_EQ(faces[0]->kind, FontFile_fontPack);
    Font_faceRelease(faces[0]);
    Url_free(u);
}

// Hosts register the built-in files after the font engine is configured:
// the catalogue is read again so that the map's lines naming them count.
TEST_F(CatalogueTest, BuiltInFilesRegisteredAfterConfigurationJoinTheCatalogue)
{
    Url *u = url("file://root/okala_dir/Fonts/");
    ASSERT_EQ(FontEngine_configure(ctx, u), Res_ok);
    Url_free(u);
    EXPECT_EQ(named("Symbol PS"), nullptr);
    FontEngine_registerBuiltins(ctx);
    FontFace *symbol = named("Symbol PS");
    ASSERT_NE(symbol, nullptr);
    EXPECT_EQ(symbol->kind, FontFile_ef1);
    EXPECT_NE(named("ZapfDingbats"), nullptr);
}

TEST_F(CatalogueTest, TheEnginesSpacesFace)
{
    FontFace *f = ctx->fontEngine->spacesFont;
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->kind, FontFace_kindSpaces);
    EXPECT_EQ(nameOf(f), "%VexlanFont{Spaces}%");
    EXPECT_EQ(f->styleWord, 3u);
    EXPECT_EQ(f->mapRank, 62u);
    const uint16_t codes[] = {0x2003, 0xFEFF, 'A', 0x205F};
    uint16_t glyphs[4] = {}, first[4] = {}, advances[4] = {9, 9, 9, 9};
    uint8_t tags[4] = {};
    uint32_t left = 4;
    ASSERT_EQ(f->map(f, codes, 4, 2, glyphs, tags, &left), Res_ok);
    EXPECT_EQ(left, 1u);
    EXPECT_EQ(glyphs[0], 4);
    EXPECT_EQ(glyphs[1], 11);
    EXPECT_EQ(glyphs[2], 0);
    ASSERT_EQ(f->advance(f, glyphs, 4, 2, tags, first, advances), Res_ok);
    EXPECT_EQ(advances[0], 16384);
    EXPECT_EQ(advances[1], 0);
    EXPECT_EQ(advances[2], 9); // not this face's
    EXPECT_EQ(advances[3], 3640);
    GlyphPath *o = nullptr;
    ASSERT_EQ(f->outline(f, 4, &o), Res_ok);
    EXPECT_EQ(o->lastSize, 0u);
    GlyphPath_destroy(o);
    FontFace *out = reinterpret_cast<FontFace *>(1);
    EXPECT_EQ(SynthesisFace_create(f, nullptr, &out), Res_nullInput);
    EXPECT_EQ(out, nullptr);
}

TEST_F(CatalogueTest, WithoutAnEngineInstanceAListIsTheBoxFont)
{
    FontList *l = nullptr;
    ASSERT_EQ(Font_listCreate(nullptr, nullptr, 0, 0, nullptr, &l), Res_ok);
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->fontCount, 1u);
    EXPECT_EQ(l->averageAdvance, BoxFont_advance);
    uint32_t n = 5;
    EXPECT_EQ(Font_listHandles(l, &n), nullptr);
    EXPECT_EQ(n, 0u);
    Font_listRelease(l);
}

} // namespace
