// A laid-out table drawn through the banded page renderer: spaced, bordered
// cells with backgrounds, a cell spanning two columns and one spanning two
// rows, compared with a golden picture and at pixels the layout fixes.
//
// Set VEXLAN_WRITE_GOLDEN=1 to write the golden picture anew (into
// tests/fixtures/render/) and check it by eye before committing it.
#include <cstdlib>
#include <string>
#include <vector>

#include "core/style/prop.h"
#include "document/style/style.h"
#include "viewer/pagerender.h"
#include "layout/layout.h"
#include "tests/document/style_fixture.h"
#include "tests/graphics/png_support.h"
#include "tests/graphics/render_support.h"

using namespace styletest;

namespace {

constexpr int32_t kInch = 0x10000;
constexpr int32_t kPpi = 96;
constexpr int32_t kWidth = 3 * kPpi, kHeight = 2 * kPpi;

class TableRenderTest : public RenderFixture {};

Edr_Node *styled(Edr_Doc *doc, Edr_Node *parent, std::vector<Prop> props)
{
    Edr_Node *g = group(doc, parent);
    StyleRule *r = nullptr;
    EXPECT_EQ(StyleRule_create(&r), 0);
    for (const Prop &p : props)
        EXPECT_EQ(StyleRule_appendProp(r, &p), 0);
    own(doc, g, 2, r);
    return g;
}

void addBorders(std::vector<Prop> &props, int32_t width, uint32_t colour)
{
    for (uint32_t side : {0u, 1u, 2u, 3u}) {
        props.push_back(kw(PropId_borderTopStyle + side, KwId_solid));
        props.push_back(len(PropId_borderTopWidth + side, width));
        props.push_back(col(PropId_borderTopColor + side, colour));
    }
}

// Draws the first page of doc at 96 pixels per inch from its top-left
// corner.
void render(Edr_Doc *doc, Bitmap *b)
{
    int32_t key = 0;
    uint32_t kind = 0;
    Edr_PageEntry *entry = nullptr;
    EXPECT_EQ(Edr_Page_getKeyByIndex(&key, &kind, doc, 0), 0);
    EXPECT_EQ(Edr_Page_find(&entry, doc, key, kind, 0), 0);
    if (!entry)
        return;
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
}

} // namespace

TEST_F(TableRenderTest, SpacedCellsWithSpansDrawAsLaidOut)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *section =
            styled(doc, root,
                   {kw(PropId_display, KwId_block), len(PropId_width, 3 * kInch),
                    len(PropId_height, 2 * kInch), len(PropId_fontSize, kInch / 4)});
        // A grey table 2.5 inches wide with a twentieth-inch black border
        // and a tenth of an inch between its cells.
        std::vector<Prop> table = {kw(PropId_display, KwId_table), len(PropId_width, 5 * kInch / 2),
                                   len(PropId_borderSpacingX, kInch / 10),
                                   len(PropId_borderSpacingY, kInch / 10),
                                   col(PropId_backgroundColor, 0xFF808080u)};
        addBorders(table, kInch / 20, 0xFF000000u);
        Edr_Node *t = styled(doc, section, table);
        // Row 1: red over two columns, yellow spanning two rows.
        Edr_Node *r1 = styled(doc, t, {kw(PropId_display, KwId_tableRow)});
        styled(doc, r1,
               {kw(PropId_display, KwId_tableCell), num(97, 2), len(PropId_height, kInch / 2),
                col(PropId_backgroundColor, 0xFF0000FFu)});
        styled(doc, r1,
               {kw(PropId_display, KwId_tableCell), num(98, 2), len(PropId_width, kInch / 2),
                col(PropId_backgroundColor, 0xFF00FFFFu)});
        // Row 2: blue, then green with a white border.
        Edr_Node *r2 = styled(doc, t, {kw(PropId_display, KwId_tableRow)});
        styled(doc, r2,
               {kw(PropId_display, KwId_tableCell), len(PropId_width, kInch),
                len(PropId_height, kInch / 2), col(PropId_backgroundColor, 0xFFFF0000u)});
        std::vector<Prop> green = {kw(PropId_display, KwId_tableCell),
                                   col(PropId_backgroundColor, 0xFF00C000u)};
        addBorders(green, kInch / 20, 0xFFFFFFFFu);
        styled(doc, r2, green);

        Edr_Doc_readLock(doc);
        ASSERT_EQ(Layout_document(doc), 0);
        Bitmap *b = picture(kWidth, kHeight, 0x1234);
        render(doc, b);
        Edr_Doc_readUnlock(doc);

        // Inside the border, cells start 0.15 inch in (border and one
        // spacing); the first row is 0.5 inch high.
        EXPECT_EQ(at(b, 2, 2), to565(rgba(0, 0, 0)));
        EXPECT_EQ(at(b, 10, 10), to565(rgba(0x80, 0x80, 0x80)));
        EXPECT_EQ(at(b, 40, 40), to565(rgba(0xFF, 0, 0)));
        EXPECT_EQ(at(b, 40, 100), to565(rgba(0, 0, 0xFF)));
        // The grey spacing between the rows.
        EXPECT_EQ(at(b, 40, 67), to565(rgba(0x80, 0x80, 0x80)));
        // The yellow cell runs through both rows at the right.
        EXPECT_EQ(at(b, 215, 40), to565(rgba(0xFF, 0xFF, 0)));
        EXPECT_EQ(at(b, 215, 100), to565(rgba(0xFF, 0xFF, 0)));
        // Right of the table the page is white.
        EXPECT_EQ(at(b, 270, 100), to565(rgba(0xFF, 0xFF, 0xFF)));

        std::string golden = std::string(VEXLAN_FIXTURES) + "/render/table_golden.png";
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
