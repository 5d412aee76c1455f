// A laid-out page drawn through the banded page renderer: a header with a
// coloured background, a bordered block with a background colour and a
// path stroked and filled in its line, compared with a golden picture and
// at pixels the layout fixes.
//
// Set VEXLAN_WRITE_GOLDEN=1 to write the golden picture anew (into
// tests/fixtures/render/) and check it by eye before committing it.
#include <cstdlib>
#include <string>
#include <vector>

#include "core/style/prop.h"
#include "document/style/style.h"
#include "graphics/imageitem.h"
#include "viewer/pagerender.h"
#include "layout/replaced.h"
#include "layout/layout.h"
#include "tests/document/style_fixture.h"
#include "tests/graphics/png_support.h"
#include "tests/graphics/render_support.h"

using namespace styletest;

namespace {

constexpr int32_t kInch = 0x10000;
constexpr int32_t kPpi = 96;
constexpr int32_t kWidth = 3 * kPpi, kHeight = 2 * kPpi;

class ReplacedRenderTest : public RenderFixture {};

Edr_Node *styled(Edr_Doc *doc, Edr_Node *parent, std::initializer_list<Prop> props)
{
    Edr_Node *g = group(doc, parent);
    StyleRule *r = nullptr;
    EXPECT_EQ(StyleRule_create(&r), 0);
    for (const Prop &p : props)
        EXPECT_EQ(StyleRule_appendProp(r, &p), 0);
    own(doc, g, 2, r);
    return g;
}

// Draws page 1 of doc at 96 pixels per inch from its top-left corner.
Bitmap *render(ReplacedRenderTest *t, Edr_Doc *doc, Bitmap *b)
{
    int32_t key = 0;
    uint32_t kind = 0;
    Edr_PageEntry *entry = nullptr;
    EXPECT_EQ(Edr_Page_getKeyByIndex(&key, &kind, doc, 0), 0);
    EXPECT_EQ(Edr_Page_find(&entry, doc, key, kind, 0), 0);
    if (!entry)
        return b;
    Edr_PageRec *chain = Edr_Page_deref(entry);
    std::vector<uint8_t> band(Dispman_pageBandDefault);
    RenderBuffers *buffers = nullptr;
    EXPECT_EQ(RenderBuffers_create(doc->app, &buffers, band.data(), uint32_t(band.size())), 0);
    Matrix m{kPpi, 0, 0, kPpi, 0, kHeight};
    Rect clip{0, 0, kWidth, kHeight};
    DrawFlags flags;
    DrawFlags_clear(doc->app, &flags);
    flags.flags |= DrawFlags_offscreen | DrawFlags_noHighlights;
    EXPECT_EQ(PageRender_walk(doc->app, chain, &m, &clip, &clip, b, nullptr, &flags, nullptr,
                              nullptr, PageRender_drawBanded, buffers, 1, 0),
              0);
    RenderBuffers_free(buffers);
    Edr_Page_release(entry, 0);
    (void)t;
    return b;
}

TEST_F(ReplacedRenderTest, HeaderBordersAndAPathDrawAsLaidOut)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        // The header: a quarter-inch band of yellow across the page.
        Edr_Node *head = nullptr;
        ASSERT_EQ(Edr_Doc_getKeyedGroup(doc, 1, 0, &head), 0);
        own(doc, head, 2, rule({kw(PropId_display, KwId_block)}));
        styled(doc, head,
               {kw(PropId_display, KwId_block), len(PropId_height, kInch / 4),
                col(PropId_backgroundColor, 0xFF00FFFFu)});
        Edr_Node_release(doc, head);

        Edr_Node *section =
            styled(doc, root,
                   {kw(PropId_display, KwId_block), len(PropId_width, 3 * kInch),
                    len(PropId_height, 2 * kInch), len(PropId_fontSize, kInch / 4), num(116, 1)});
        // A block from the left edge, 2 inches wide and 1 inch high: a
        // tenth-inch red border around light blue.
        std::vector<Prop> box = {kw(PropId_display, KwId_block), len(PropId_width, 2 * kInch),
                                 len(PropId_height, kInch),
                                 col(PropId_backgroundColor, 0xFFFFC0A0u)};
        for (uint32_t side : {0u, 1u, 2u, 3u}) {
            box.push_back(kw(PropId_borderTopStyle + side, KwId_solid));
            box.push_back(len(PropId_borderTopWidth + side, kInch / 10));
            box.push_back(col(PropId_borderTopColor + side, 0xFF0000FFu));
        }
        Edr_Node *block = group(doc, section);
        StyleRule *r = nullptr;
        ASSERT_EQ(StyleRule_create(&r), 0);
        for (const Prop &p : box)
            ASSERT_EQ(StyleRule_appendProp(r, &p), 0);
        own(doc, block, 2, r);
        // In its first line: a half-inch square filled green and stroked
        // black.
        Edr_Node *shape =
            styled(doc, block,
                   {kw(125, 199), col(PropId_color, 0xFF00C000u),
                    col(PropId_drawColour, 0xFF000000u), len(PropId_strokeWidth, kInch / 48)});
        Path *p = RenderFixture::rectPath(Rect{0, 0, kInch / 2, kInch / 2});
        ASSERT_EQ(Edr_Node_createPath(doc, shape, Edr_Insert_lastChild, nullptr, p), 0);

        Edr_Doc_readLock(doc);
        ASSERT_EQ(Layout_document(doc), 0);
        Bitmap *b = picture(kWidth, kHeight, 0x1234);
        render(this, doc, b);
        Edr_Doc_readUnlock(doc);

        // The header band, the border and the background below it, the
        // square inside the block, and the white page right of the block.
        EXPECT_EQ(at(b, 150, 5), to565(rgba(0xFF, 0xFF, 0x00)));
        EXPECT_EQ(at(b, 150, 24 + 4), to565(rgba(0xFF, 0x00, 0x00)));
        EXPECT_EQ(at(b, 150, 24 + 40), to565(rgba(0xA0, 0xC0, 0xFF)));
        EXPECT_EQ(at(b, 10 + 24, 24 + 10 + 24), to565(rgba(0x00, 0xC0, 0x00)));
        EXPECT_EQ(at(b, 250, 100), to565(rgba(0xFF, 0xFF, 0xFF)));

        std::string golden = std::string(VEXLAN_FIXTURES) + "/render/replaced_golden.png";
        std::vector<uint8_t> rgb =
            png::rgbFrom565(static_cast<const uint16_t *>(b->pixels), kWidth, kHeight, b->stride);
        if (getenv("VEXLAN_WRITE_GOLDEN")) {
            EXPECT_TRUE(png::write(golden, rgb, kWidth, kHeight));
        }
        int w = 0, h = 0;
        std::vector<uint8_t> expected = png::read(golden, &w, &h);
        ASSERT_EQ(w, kWidth);
        ASSERT_EQ(h, kHeight);
        EXPECT_TRUE(expected == rgb) << "the drawing differs from " << golden;
    });
}

TEST_F(ReplacedRenderTest, ABackgroundImageTilesAlongItsRepeatedAxis)
{
    run([&] {
        // A quarter-inch red picture repeated across the top of a 1-inch
        // square: positions 0% put the first tile in the top-left corner.
        PixelBuf *red = nullptr;
        ASSERT_EQ(PixelBuf_create(&red, 4, 4, Pixel_format565, 0x10000), 0);
        PixelBuf_fillRect(red, 0, 0, 4, 4, to565(rgba(0xFF, 0, 0)));
        Rect tile{0, 0, kInch / 4, kInch / 4};
        ObjHeader *image = ImageItem_create(&tile);
        ASSERT_NE(image, nullptr);
        ImageItemPart *part = ImageItem_part(image);
        part->kind = ImageItem_bufferKind;
        part->picture = red;
        image->flags |= Obj_ownsData;
        BoxBackground bg{};
        bg.rect = {0, 0, kInch, kInch};
        bg.repeat = KwId_repeatX;
        ObjHeader *tiled = BoxBackground_makeTiled(&bg, image);
        ASSERT_NE(tiled, nullptr);

        Bitmap *b = picture(kPpi, kPpi, 0x1234);
        Matrix m{kPpi, 0, 0, kPpi, 0, 0};
        DrawTarget t{b, nullptr, 0, 0};
        DrawFlags flags;
        DrawFlags_clear(ctx(), &flags);
        ASSERT_EQ(Obj_itemOps(tiled)->draw(ctx(), tiled, nullptr, &m, &t, &flags, 0), 0);
        // Bitmap rows count down from the top (y = 1 inch).
        for (int32_t x : {5, 40, 70, 90})
            EXPECT_EQ(at(b, x, 5), to565(rgba(0xFF, 0, 0))) << x;
        for (int32_t x : {5, 50, 90})
            EXPECT_EQ(at(b, x, 60), 0x1234) << x;
        Obj_destroy(tiled);
    });
}

} // namespace
