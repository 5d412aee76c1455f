// Embedded font objects and document fonts: glyph tables and their
// visibility, outline expansion, registration in the engine's fonts,
// embedded TrueType programs and width-override faces.
#include "tests/fonts/font_engine_support.h"

#include <cstring>

#include "core/container/array.h"
#include "fonts/cmap.h"
#include "fonts/docfonts.h"
#include "fonts/embeddedfont.h"
#include "graphics/glyphpath.h"

namespace {

class DocFontsTest : public FontEngineTest {
  protected:
    EmbeddedFont *font = nullptr;

    void TearDown() override
    {
        EmbeddedFont_release(font);
        font = nullptr;
        FontEngineTest::TearDown();
    }

    void create(uint16_t unitsPerEm = 1000)
    {
        ASSERT_EQ(EmbeddedFont_create(ctx, "F", unitsPerEm, 1, &font), 0);
    }

    // An ended kind-1 outline: a move and a line of the given size.
    static GlyphPath *square(int8_t d)
    {
        GlyphPath *o = nullptr;
        EXPECT_EQ(GlyphPath_create(&o, GlyphPath_kindCodes), 0);
        EXPECT_EQ(GlyphPath_moveTo(o, d, d), 0);
        EXPECT_EQ(GlyphPath_lineTo(o, d, 0), 0);
        EXPECT_EQ(GlyphPath_close(o), 0);
        EXPECT_EQ(GlyphPath_end(o), 0);
        return o;
    }

    static std::vector<uint8_t> bytes(const GlyphPath *o)
    {
        GlyphPathMeasure m;
        GlyphPath_count(o, &m);
        return std::vector<uint8_t>(o->bytes, o->bytes + m.length);
    }

    uint16_t mapChar(uint16_t c)
    {
        uint16_t g = 0;
        uint8_t tag = 0xF8;
        uint32_t remaining = 1;
        EXPECT_EQ(font->face->map(font->face, &c, 1, 3, &g, &tag, &remaining), 0);
        EXPECT_EQ(tag, g ? 0xFB : 0xF8);
        return g;
    }

    uint16_t advance(FontFace *face, uint16_t glyph, uint16_t *sb = nullptr)
    {
        uint8_t tag = 2;
        uint16_t s = 7, a = 7;
        EXPECT_EQ(face->advance(face, &glyph, 1, 2, &tag, &s, &a), 0);
        if (sb)
            *sb = s;
        return a;
    }

    std::vector<uint8_t> outline(uint16_t glyph)
    {
        GlyphPath *o = nullptr;
        EXPECT_EQ(font->face->outline(font->face, glyph, &o), 0);
        std::vector<uint8_t> b = o ? bytes(o) : std::vector<uint8_t>();
        GlyphPath_destroy(o);
        return b;
    }

    size_t registered()
    {
        Array *a = ctx->fontEngine->fonts;
        return a ? a->count : 0;
    }
};

TEST_F(DocFontsTest, FaceOfAnEmbeddedFont)
{
    create();
    FontFace *f = font->face;
    EXPECT_EQ(f->kind, FontFace_kindEmbedded);
    char expected[64];
    snprintf(expected, sizeof expected, "vexlanEmbedded:Forge:%p", static_cast<void *>(f));
    EXPECT_STREQ(f->name, expected);
    EXPECT_EQ(f->metrics[0], -1784);
    EXPECT_EQ(f->metrics[4], -3536);
    EXPECT_EQ(f->unitsPerEm, 1000);
    // Glyph 0 is the box with its advance once the font is finished.
    EXPECT_EQ(advance(f, 0), 0);
    ASSERT_EQ(EmbeddedFont_finish(font), 0);
    EXPECT_EQ(advance(f, 0), EmbeddedFont_defaultAdvance);
    GlyphPath *box = GlyphPath_missingGlyph(16384);
    EXPECT_EQ(outline(0), bytes(box));
    GlyphPath_destroy(box);
    EXPECT_EQ(EmbeddedFont_glyphCount(font), 1);
}

TEST_F(DocFontsTest, GlyphsBecomeVisibleAtFinish)
{
    create(2048);
    ASSERT_EQ(EmbeddedFont_addGlyph(font, 'B', square(10), 0, 1024), 0);
    ASSERT_EQ(EmbeddedFont_addGlyph(font, 'A', square(20), 128, 2048), 0);
    ASSERT_EQ(EmbeddedFont_finish(font), 0);
    EXPECT_EQ(mapChar('A'), 2);
    EXPECT_EQ(mapChar('B'), 1);
    uint16_t sb = 0;
    EXPECT_EQ(advance(font->face, 2, &sb), 16384);
    EXPECT_EQ(sb, 1024);
    EXPECT_EQ(advance(font->face, 1), 8192);
    EXPECT_EQ(advance(font->face, 0xFFFF), 0);
    // Added after finish: invisible until the next finish.
    ASSERT_EQ(EmbeddedFont_addGlyph(font, 'C', square(30), 0, 1024), 0);
    EXPECT_EQ(mapChar('C'), 0);
    EXPECT_EQ(advance(font->face, 3), 0);
    ASSERT_EQ(EmbeddedFont_finish(font), 0);
    EXPECT_EQ(mapChar('C'), 3);
    EXPECT_EQ(advance(font->face, 3), 8192);
    EXPECT_EQ(font->face->glyphCount, 4);
    // The code table in code order.
    ASSERT_EQ(EmbeddedFont_glyphCount(font), 4);
    EXPECT_EQ(EmbeddedFont_glyphCode(font, 1), 'A');
    EXPECT_EQ(EmbeddedFont_glyphCode(font, 3), 'C');
}

TEST_F(DocFontsTest, CodeZeroReplacesTheDefaultGlyph)
{
    create(1000);
    GlyphPath *own = square(5);
    std::vector<uint8_t> ownBytes = bytes(own);
    ASSERT_EQ(EmbeddedFont_addGlyph(font, 0, own, 0, 500), 0);
    ASSERT_EQ(EmbeddedFont_finish(font), 0);
    EXPECT_EQ(advance(font->face, 0), 8192);
    EXPECT_EQ(outline(0), ownBytes);
    EXPECT_EQ(font->face->glyphCount, 1);
    ASSERT_EQ(EmbeddedFont_addEmptyGlyph(font, 0, 250), 0);
    ASSERT_EQ(EmbeddedFont_finish(font), 0);
    EXPECT_EQ(advance(font->face, 0), 4096);
    EXPECT_EQ(outline(0), std::vector<uint8_t>{GlyphCode_end});
}

TEST_F(DocFontsTest, ComponentsAndAccents)
{
    create(16384);
    GlyphPath *part = square(3);
    std::vector<uint8_t> partBytes = bytes(part);
    ASSERT_EQ(EmbeddedFont_addComponent(font, 77, part), 0);
    // A glyph: its own move, a reference to 77, a reference to 99 (missing).
    GlyphPath *g = nullptr;
    ASSERT_EQ(GlyphPath_create(&g, GlyphPath_kindCodes), 0);
    ASSERT_EQ(GlyphPath_moveTo(g, 1, 2), 0);
    const uint8_t refs[] = {GlyphCode_skip4, 77, 0, 0, 0, GlyphCode_skip4, 99, 0, 0, 0,
                            GlyphCode_end};
    ASSERT_EQ(GlyphPath_reserve(g, sizeof refs), 0);
    memcpy(g->bytes + g->lastStart + g->lastSize, refs, sizeof refs);
    g->lastStart += g->lastSize + uint32_t(sizeof refs) - 1;
    g->lastSize = 1;
    ASSERT_EQ(EmbeddedFont_addGlyph(font, 'x', g, 0, 100), 0);
    // A glyph with only a missing reference.
    GlyphPath *lone = nullptr;
    ASSERT_EQ(GlyphPath_create(&lone, GlyphPath_kindCodes), 0);
    ASSERT_EQ(GlyphPath_moveTo(lone, 4, 4), 0);
    const uint8_t missing[] = {GlyphCode_skip4, 1, 2, 3, 4, GlyphCode_end};
    ASSERT_EQ(GlyphPath_reserve(lone, sizeof missing), 0);
    memcpy(lone->bytes + lone->lastStart + lone->lastSize, missing, sizeof missing);
    lone->lastStart += lone->lastSize + uint32_t(sizeof missing) - 1;
    lone->lastSize = 1;
    ASSERT_EQ(EmbeddedFont_addGlyph(font, 'y', lone, 0, 100), 0);
    ASSERT_EQ(EmbeddedFont_finish(font), 0);

    std::vector<uint8_t> x = outline(1);
    std::vector<uint8_t> want = {GlyphCode_moveTo, 1, 2};
    want.insert(want.end(), partBytes.begin(), partBytes.end() - 1); // without its end code
    want.push_back(GlyphCode_end);
    EXPECT_EQ(x, want);
    EXPECT_EQ(outline(2), (std::vector<uint8_t>{GlyphCode_moveTo, 4, 4, GlyphCode_end}));

    // An accented glyph of 'x' with 'y' moved by (10, 20).
    GlyphPath *acc = nullptr;
    ASSERT_EQ(GlyphPath_create(&acc, GlyphPath_kindCodes), 0);
    ASSERT_EQ(GlyphPath_setHeader(acc, 'x', 'y', 10, 20), 0);
    ASSERT_EQ(GlyphPath_end(acc), 0);
    ASSERT_EQ(EmbeddedFont_addGlyph(font, 'z', acc, 0, 100), 0);
    ASSERT_EQ(EmbeddedFont_finish(font), 0);
    std::vector<uint8_t> z = outline(3);
    std::vector<uint8_t> head(x.begin(), x.end() - 1);
    ASSERT_GT(z.size(), head.size() + 1);
    EXPECT_TRUE(std::equal(head.begin(), head.end(), z.begin()));
    EXPECT_EQ(z[head.size()], GlyphCode_reset);
    EXPECT_EQ(z[head.size() + 1], GlyphCode_moveTo | GlyphCode_wide);
    EXPECT_EQ(z[head.size() + 2], 14); // 4 + 10
    EXPECT_EQ(z[head.size() + 4], 24); // 4 + 20
    EXPECT_EQ(z.back(), GlyphCode_end);
}

TEST_F(DocFontsTest, SelfReferenceEnds)
{
    create(16384);
    GlyphPath *c = nullptr;
    ASSERT_EQ(GlyphPath_create(&c, GlyphPath_kindCodes), 0);
    ASSERT_EQ(GlyphPath_moveTo(c, 1, 1), 0);
    const uint8_t refs[] = {GlyphCode_skip4, 5, 0, 0, 0, GlyphCode_end};
    ASSERT_EQ(GlyphPath_reserve(c, sizeof refs), 0);
    memcpy(c->bytes + c->lastStart + c->lastSize, refs, sizeof refs);
    c->lastStart += c->lastSize + uint32_t(sizeof refs) - 1;
    c->lastSize = 1;
    GlyphPath *g = GlyphPath_cloneRecords(c);
    ASSERT_EQ(EmbeddedFont_addComponent(font, 5, c), 0);
    // The component references itself: expansion stops at a fixed depth.
    GlyphPath *glyph = nullptr;
    ASSERT_EQ(GlyphPath_create(&glyph, GlyphPath_kindCodes), 0);
    ASSERT_EQ(GlyphPath_reserve(glyph, 6), 0);
    memcpy(glyph->bytes, refs, 6);
    glyph->lastStart = 5;
    glyph->lastSize = 1;
    GlyphPath_destroy(g);
    ASSERT_EQ(EmbeddedFont_addGlyph(font, 'q', glyph, 0, 1), 0);
    ASSERT_EQ(EmbeddedFont_finish(font), 0);
    std::vector<uint8_t> o = outline(1);
    EXPECT_EQ(o.size(), 3u * EmbeddedFont_maxComponentDepth + 1);
}

TEST_F(DocFontsTest, KerningPairs)
{
    create(16384);
    ASSERT_EQ(EmbeddedFont_addGlyph(font, 'A', square(1), 0, 100), 0);
    ASSERT_EQ(EmbeddedFont_addGlyph(font, 'V', square(1), 0, 100), 0);
    ASSERT_EQ(EmbeddedFont_addKerning(font, 2, 1, -30), 0);
    ASSERT_EQ(EmbeddedFont_addKerning(font, 1, 2, -20), 0);
    ASSERT_EQ(EmbeddedFont_finish(font), 0);
    uint16_t glyphs[3] = {1, 2, 1};
    uint8_t tags[3] = {1, 1, 2};
    uint16_t adv[3] = {100, 100, 100};
    ASSERT_EQ(font->face->kerning(font->face, glyphs, 3, 1, tags, adv), 0);
    EXPECT_EQ(adv[0], 80);
    EXPECT_EQ(adv[1], 100); // its neighbour is of another slot
}

TEST_F(DocFontsTest, RegistrationAndUnregistration)
{
    create();
    ASSERT_EQ(FontEngine_registerEmbedded(ctx, font), 0);
    EXPECT_EQ(registered(), 1u);
    EXPECT_EQ(font->face->refCount, 2u);
    Font_unregister(ctx, font->face);
    EXPECT_EQ(registered(), 0u);
    EXPECT_EQ(font->face->refCount, 1u);
    Font_unregister(ctx, nullptr);
    Font_unregister(ctx, font->face); // not registered: nothing
    EXPECT_EQ(font->face->refCount, 1u);
    // A font still registered when the engine goes is released with it.
    ASSERT_EQ(FontEngine_registerEmbedded(ctx, font), 0);
}

uint8_t *heapCopy(const std::string &s)
{
    uint8_t *b = static_cast<uint8_t *>(Mem_malloc(s.size()));
    memcpy(b, s.data(), s.size());
    return b;
}

// The font with its 'cmap' entry renamed, so that it has none.
std::string withoutCmap(std::string font)
{
    uint16_t tables = uint16_t(uint8_t(font[4]) << 8 | uint8_t(font[5]));
    for (uint16_t i = 0; i < tables; i++) {
        size_t at = 12 + 16 * size_t(i);
        if (font.compare(at, 4, "cmap") == 0)
            font[at + 3] = 'q';
    }
    return font;
}

TEST_F(DocFontsTest, EmbeddedTrueType)
{
    std::string symbol = fontFixture("tt-symbol.ttf");
    FontFace *f = nullptr;
    ASSERT_EQ(FontEngine_openEmbeddedTrueType(ctx, heapCopy(symbol), symbol.size(), &f, 0, 0), 0);
    EXPECT_EQ(f->kind, FontFace_kindEmbeddedTrueType);
    char expected[64];
    snprintf(expected, sizeof expected, "vexlanEmbedded:TrueType:%p", static_cast<void *>(f));
    EXPECT_STREQ(f->name, expected);
    EXPECT_EQ(registered(), 1u);
    // The (3, 0) map: 0x41 and 0xF041 name the same glyph.
    EXPECT_EQ(map1(f, 0x41), 36);
    EXPECT_EQ(map1(f, 0xF041), 36);
    EXPECT_GT(Font_codePairCount(f), 0);
    EXPECT_GT(Font_glyphCount(f), 36u);
    Font_unregister(ctx, f);
    Font_faceRelease(f);
    EXPECT_EQ(registered(), 0u);

    // Without 'cmap' every code is the glyph of the same number.
    std::string bare = withoutCmap(symbol);
    ASSERT_EQ(FontEngine_openEmbeddedTrueType(ctx, heapCopy(bare), bare.size(), &f, 0, 0), 0);
    EXPECT_EQ(map1(f, 0x41), 0x41);
    EXPECT_EQ(map1(f, 7), 7);
    EXPECT_EQ(Font_codePairCount(f), -1);
    Font_unregister(ctx, f);
    Font_faceRelease(f);

    // A broken program stays the caller's and nothing is registered.
    std::string junk("\x00\x01\x00\x00junk", 8);
    uint8_t *data = heapCopy(junk);
    EXPECT_NE(FontEngine_openEmbeddedTrueType(ctx, data, junk.size(), &f, 0, 0), 0);
    EXPECT_EQ(f, nullptr);
    EXPECT_EQ(registered(), 0u);
    Mem_free(data);
}

TEST_F(DocFontsTest, WidthFaces)
{
    FontFace *root = open("tt-symbol.ttf");
    ASSERT_NE(root, nullptr);
    FontFace *w = nullptr;
    ASSERT_EQ(WidthFace_create(root, &w), 0);
    EXPECT_EQ(w->kind, FontFace_kindWidthOverride);
    EXPECT_EQ(w->parent, root);
    // The operations never stay empty.
    EXPECT_NE(w->map, nullptr);
    EXPECT_NE(w->outline, nullptr);
    EXPECT_NE(w->kerning, nullptr);
    // All-zero widths add nothing: the default entry answers.
    const WidthEntry zeros[] = {{65, 0, 0}, {66, 0, 0}};
    ASSERT_EQ(WidthFace_addWidths(w, zeros, 2), 0);
    ASSERT_EQ(WidthFace_setDefault(w, {0, WidthFace_fromThousandths(500), 0}), 0);
    EXPECT_EQ(advance(w, 65), 8192);
    const WidthEntry widths[] = {{70, WidthFace_fromThousandths(250), 3}, {66, 0, 0}, {65, 100, 1}};
    ASSERT_EQ(WidthFace_addWidths(w, widths, 3), 0);
    ASSERT_EQ(FontEngine_finishWidthFace(ctx, w), 0);
    ASSERT_EQ(FontEngine_finishWidthFace(ctx, w), 0);
    EXPECT_EQ(registered(), 1u);
    char expected[64];
    snprintf(expected, sizeof expected, "vexlanEmbedded:Alter:%p:", static_cast<void *>(w));
    EXPECT_STREQ(w->name, expected);
    uint16_t sb = 0;
    EXPECT_EQ(advance(w, 70, &sb), 4096);
    EXPECT_EQ(sb, 3);
    EXPECT_EQ(advance(w, 65), 100);
    EXPECT_EQ(advance(w, 66), 8192);
    // The map is the identity; the outline is the parent's for the code.
    uint16_t g = 0;
    uint8_t tag = 0;
    uint32_t remaining = 1;
    uint16_t code = 0xF041;
    ASSERT_EQ(w->map(w, &code, 1, 0, &g, &tag, &remaining), 0);
    EXPECT_EQ(g, 0xF041);
    GlyphPath *o = nullptr;
    ASSERT_EQ(w->outline(w, 0xF041, &o), 0);
    EXPECT_NE(o, nullptr);
    GlyphPath_destroy(o);
    Font_unregister(ctx, w);
    Font_faceRelease(w);
}

TEST_F(DocFontsTest, WidthFaceNames)
{
    FontFace *root = open("tt-symbol.ttf");
    ASSERT_NE(root, nullptr);
    const struct {
        const char *old;
        bool changed;
    } cases[] = {{"Arial", true}, {"A:B", false}};
    for (const auto &c : cases) {
        FontFace *w = nullptr;
        ASSERT_EQ(WidthFace_create(root, &w), 0);
        ASSERT_EQ(Font_faceSetName(c.old, w), 0);
        ASSERT_EQ(FontEngine_finishWidthFace(ctx, w), 0);
        char expected[96];
        if (c.changed)
            snprintf(expected, sizeof expected, "vexlanEmbedded:Alter:%p%s", static_cast<void *>(w),
                     c.old);
        else
            snprintf(expected, sizeof expected, "%s", c.old);
        EXPECT_STREQ(w->name, expected);
        // A face without a table measures everything 0.
        EXPECT_EQ(advance(w, 65), 0);
        Font_unregister(ctx, w);
        Font_faceRelease(w);
    }
}

} // namespace
