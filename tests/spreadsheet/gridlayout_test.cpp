// Worksheet grid layout: a hand-built 3 x 3 sheet laid out into one cell
// grid item (fills, horizontal, vertical and slanted lines by hand from
// the cell rectangles) with its cell text aligned inside the cells; the
// text placement table (merged, wrapping, spilling and rotated cells, the
// free room to either side, right-to-left sheets); shears; the palette.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "layout/layerlist.h"
#include "core/container/obj.h"
#include "core/geom/fixed.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "document/style/style.h"
#include "graphics/cellgrid.h"
#include "layout/floatarea.h"
#include "spreadsheet/gridlayout.h"
#include "layout/layout.h"
#include "layout/line.h"
#include "spreadsheet/sheetgrid.h"
#include "tests/document/style_fixture.h"
#include "tests/spreadsheet/sheetgrid_support.h"

using namespace styletest;
using namespace gridtest;

namespace {

constexpr int32_t kInch = 0x10000;
constexpr int32_t kRow = kInch / 4;
constexpr int32_t kLeft = 0x1000; // the line's left limit: the grid's origin

TEST(GridLayoutShear, ZeroForUprightAndNearVerticalAngles)
{
    for (int32_t a : {0, 90, -90, 91, -120, 180})
        EXPECT_EQ(Fixed_shearForAngle(kInch, a), 0) << a;
    EXPECT_EQ(Fixed_shearForAngle(kInch, 45), kInch);   // tan(-45) = -1
    EXPECT_EQ(Fixed_shearForAngle(kInch, -45), -kInch); // tan(45) = 1
    EXPECT_GT(Fixed_shearForAngle(kInch, 89), 0);
    EXPECT_LT(Fixed_shearForAngle(kInch, 89), kInch / 50);
}

class GridLayoutTest : public EdrFixture {
  protected:
    struct Box {
        LayoutBox box{};
        Box(Edr_Doc *doc)
        {
            box.context = doc->app;
            box.document = doc;
            box.styleContext = Edr_StyleCtx_get(doc);
            box.availableWidth = 8 * kInch;
            box.block.lineLeft = kLeft;
            box.block.lineRight = 8 * kInch;
            box.block.direction = KwId_ltr;
            Rect area = {0, -10 * kInch, 8 * kInch, 0};
            EXPECT_EQ(FloatArea_create(&area, &box.items), 0);
            box.layers = LayerList_create();
        }
        ~Box()
        {
            FloatArea_destroy(box.items);
            LayerList_freeItems(box.layers);
            LayerList_destroy(box.layers);
        }
    };

    // A 3 x 3 sheet, rows a quarter inch high, columns 1, 1/2 and 1 inch.
    static SheetGrid *sheet3x3()
    {
        SheetGrid *g = makeGrid(3, 3, kRow, 0, {kInch, kInch / 2, kInch});
        for (uint32_t i = 0; i < SheetGrid_paletteSize; i++)
            g->palette[i] = 0xFF000000u | i;
        g->palette[0] = 0xFF0000FFu;
        return g;
    }
    static void setFormats(SheetGrid *g, std::initializer_list<StyleRule *> rules)
    {
        g->formatTable->count = uint16_t(rules.size());
        g->formatTable->rules =
            static_cast<StyleRule **>(Mem_calloc(rules.size(), sizeof(StyleRule *)));
        std::copy(rules.begin(), rules.end(), g->formatTable->rules);
    }
};

struct Shown {
    std::u16string text;
    Rect box;
};

std::vector<Shown> texts(LayerList *list)
{
    std::vector<Shown> out;
    for (Layer *l = list->first; l; l = l->next)
        for (ObjHeader *o = l->first; o; o = Obj_next(o))
            if (Obj_itemKind(o) == Obj_itemText) {
                const ObjTextPart *t = static_cast<const ObjTextPart *>(Obj_part(o));
                out.push_back({std::u16string(t->chars + t->start, t->count), Obj_shownBox(o)});
            }
    return out;
}

const Shown *find(const std::vector<Shown> &v, const std::u16string &text)
{
    for (const Shown &s : v)
        if (s.text == text)
            return &s;
    return nullptr;
}

TEST_F(GridLayoutTest, AThreeByThreeSheetLaysOutToOneGridItemAndItsText)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        SheetGrid *g = sheet3x3();
        setFormats(
            g, {rule({kw(PropId_textAlign, KwId_left), kw(PropId_whiteSpace, KwId_nowrap)}),
                rule({kw(PropId_textAlign, KwId_right), kw(PropId_verticalAnchor, KwId_top)}),
                rule({kw(PropId_textAlign, KwId_center), kw(PropId_verticalAnchor, KwId_center)}),
                nullptr,
                rule({num(GridLayout_propRotation, 90), kw(PropId_whiteSpace, KwId_nowrap)})});
        setCells(g, {{0, 0, 1, u"Hi", 0},
                     {1, 1, 1, u"R", 1},
                     {1, 2, 1, u"Wide", 4},
                     {2, 0, 1, u"C", 2},
                     {2, 1, 1, u"p", 3}, // a format without a rule: the node's own style
                     {2, 2, 4, nullptr, 0}});
        setMerged(g, {{0, 0, 1, 0}}); // columns 0 and 1 of row 0
        setFills(g, {{{0, 0}, true, {0, 1}, 1, 2, 0, false, {}},
                     {{2, 2}, false, {}, 3, 4, 2, false, {}},
                     {{1, 0}, false, {}, 0, 70, 1, true, {45, -45}}});
        setSegments(&g->edgeLists->rows[0], {{0, 2, 1, 5, 0, 0}, {0, 0, 0, 6, 0, 0}});
        setSegments(&g->edgeLists->rows[3], {{1, 1, 6, 7, 0, 0}});
        setSegments(&g->edgeLists->columns[1], {{0, 2, 2, 8, 0, 0}});
        setSegments(&g->edgeLists->columns[3], {{1, 1, 6, 60, 45, 0}});
        Edr_Node *node = nullptr;
        ASSERT_EQ(Edr_Node_createRecordRef(doc, root, Edr_Insert_lastChild, &node, g,
                                           Excel_gridRecordFree),
                  0);
        Edr_Style *style = compute(doc, group(doc, root));
        ASSERT_NE(style, nullptr);
        {
            Box b(doc);
            Edr_Doc_readLock(doc);
            int err = GridLayout_run(&b.box, node, style);
            Edr_Doc_readUnlock(doc);
            ASSERT_EQ(err, 0);
            EXPECT_EQ(style->overrides, nullptr); // the set reads as before

            // The grid item is the first item of layer 0.
            LayerList_selectKey(b.box.layers, 0);
            ObjHeader *item = b.box.layers->current->first;
            LayerList_selectKey(b.box.layers, 1);
            ASSERT_NE(CellGrid_part(item), nullptr);
            EXPECT_EQ(item->node, node);
            const CellGridPart *part = CellGrid_part(item);
            const int32_t x1 = kLeft + kInch, x2 = x1 + kInch / 2, x3 = x2 + kInch;

            ASSERT_EQ(part->fills->count, 3u);
            const GridFill &a = part->fills->entries[0];
            EXPECT_EQ(a.colour, g->palette[2]); // solid: the second colour
            EXPECT_TRUE(a.corners[0].x == kLeft && a.corners[0].y == 0 && a.corners[1].x == x2 &&
                        a.corners[2].x == x2 && a.corners[2].y == -kRow && a.corners[3].x == kLeft);
            const GridFill &p = part->fills->entries[1];
            // The blend of palette 3 and 4: channels and alpha halved sums.
            EXPECT_EQ(p.colour, 0xFF000003u);
            EXPECT_EQ(p.corners[0].x, x2);
            EXPECT_EQ(p.corners[0].y, -2 * kRow);
            EXPECT_EQ(p.corners[2].y, -3 * kRow);
            const GridFill &s = part->fills->entries[2];
            EXPECT_EQ(s.colour, g->palette[0]); // index 70 reads entry 0
            // Bottom corners sheared: right by the second angle, left by the first.
            EXPECT_EQ(s.corners[2].x, x1 - kRow);
            EXPECT_EQ(s.corners[3].x, kLeft + kRow);
            EXPECT_EQ(s.corners[1].x, x1);

            const GridLineList *l = part->lines;
            ASSERT_EQ(l->horizontalCount, 2u); // the kind-0 segment makes no line
            EXPECT_EQ(l->horizontal[0].colour, g->palette[5]);
            EXPECT_EQ(l->horizontal[0].a, kLeft);
            EXPECT_EQ(l->horizontal[0].b, x3);
            EXPECT_EQ(l->horizontal[0].c, 0);
            EXPECT_EQ(l->horizontal[0].width, 1638);
            EXPECT_EQ(l->horizontal[0].flags, 10u | 1u << 4);
            EXPECT_EQ(l->horizontal[1].a, x1);
            EXPECT_EQ(l->horizontal[1].b, x2);
            EXPECT_EQ(l->horizontal[1].c, -3 * kRow); // along the bottom of the last row
            EXPECT_EQ(l->horizontal[1].width, 3276);
            EXPECT_EQ(l->horizontal[1].flags, 10u | 6u << 4);
            ASSERT_EQ(l->verticalCount, 1u);
            EXPECT_EQ(l->vertical[0].a, x1);
            EXPECT_EQ(l->vertical[0].b, 0);
            EXPECT_EQ(l->vertical[0].c, -3 * kRow);
            EXPECT_EQ(l->vertical[0].flags, 10u | 2u << 4);
            ASSERT_EQ(l->slantCount, 1u);
            const GridSlantLine &sl = l->slant[0];
            EXPECT_EQ(sl.colour, g->palette[0]); // index 60
            EXPECT_EQ(sl.start.x, x3 + kRow);    // the top end sheared by the row height
            EXPECT_EQ(sl.start.y, -kRow);
            EXPECT_EQ(sl.end.x, x3);
            EXPECT_EQ(sl.end.y, -2 * kRow);
            EXPECT_EQ(sl.width, 1638);
            EXPECT_EQ(sl.style, 6u);

            // The item's box holds all of it; the line goes on at its right.
            Rect box = Obj_box(item);
            EXPECT_LE(box.x0, kLeft);
            EXPECT_GE(box.x1, x3 + kRow);
            EXPECT_EQ(b.box.block.lineLeft, box.x1);
            // The grid takes no room in the line, yet the box's extent
            // reaches its far corner, so that a page sized by its content
            // shows every row and column.
            EXPECT_EQ(b.box.maxX, box.x1);
            EXPECT_EQ(b.box.minY, box.y0);
            EXPECT_LE(box.y0, -3 * kRow);

            std::vector<Shown> shown = texts(b.box.layers);
            const Shown *hi = find(shown, u"Hi");
            const Shown *r = find(shown, u"R");
            const Shown *c = find(shown, u"C");
            ASSERT_TRUE(hi && r && c) << shown.size();
            // Left text starts one inset in and sits on the cell's bottom.
            EXPECT_EQ(hi->box.x0, kLeft + GridLayout_textInset);
            EXPECT_EQ(hi->box.y0, -kRow);
            // Right text ends one inset before the cell's right edge, at
            // the cell's top.
            EXPECT_EQ(r->box.x1, x2 - GridLayout_textInset);
            EXPECT_EQ(r->box.y1, -kRow);
            // Centred text: its middle within a unit of the cell's.
            EXPECT_NEAR((int64_t(c->box.x0) + c->box.x1) / 2, kLeft + kInch / 2, 1);
            EXPECT_NEAR((int64_t(c->box.y0) + c->box.y1) / 2, -2 * kRow - kRow / 2, 1);
            const Shown *plain = find(shown, u"p");
            ASSERT_NE(plain, nullptr);
            EXPECT_EQ(plain->box.x0, x1 + GridLayout_textInset);
            // The text turned by 90 degrees stands upright: its box is
            // taller than wide, and it stays in its column.
            const Shown *up = find(shown, u"Wide");
            ASSERT_NE(up, nullptr);
            EXPECT_GT(int64_t(up->box.y1) - up->box.y0, int64_t(up->box.x1) - up->box.x0);
            EXPECT_GE(up->box.x0, x2 - kInch / 4);
            for (const Shown &t : shown)
                EXPECT_NE(t.text, u""); // the blank cell holds no text
        }
        Edr_Style_release(style);
    });
}

// The placement table: the cell is at row 0, column 1 of a sheet whose
// columns are 1, 1/2 and 1 inch wide, with filled cells where a case puts
// them.
TEST_F(GridLayoutTest, TextPlacementFollowsMergingWrappingAndSpilling)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        const int32_t w = kInch / 2, x1 = kLeft + kInch, openR = GridLayout_openRight;
        struct Case {
            const char *name;
            uint16_t align;
            uint16_t ws;
            bool merged;   // columns 1 and 2 merged
            bool blockers; // filled cells in columns 0 and 2
            bool rtl;
            int32_t box0, box1, clip0, clip1;
        } cases[] = {
            {"wrap left", KwId_left, KwId_normal, false, false, false, x1, x1 + w, x1, x1 + w},
            {"wrap fill", GridLayout_kwFill, KwId_normal, false, false, false, x1, x1 + openR, x1,
             x1 + w},
            {"merged centre", KwId_center, KwId_nowrap, true, false, false, x1 + 3 * w - 0x20000000,
             x1 + openR, x1, x1 + 3 * w},
            {"merged right", KwId_right, KwId_nowrap, true, false, false, x1 + GridLayout_openLeft,
             x1 + 3 * w, x1, x1 + 3 * w},
            {"merged justify", KwId_justify, KwId_nowrap, true, false, false, x1, x1 + 3 * w, x1,
             x1 + 3 * w},
            // Spilling left without a blocker: no right limit at all.
            {"spill left open", KwId_left, KwId_nowrap, false, false, false, x1, x1 + openR, x1,
             x1 + w + openR},
            // With a filled cell in column 2 the room ends at its left edge.
            {"spill left blocked", KwId_left, KwId_nowrap, false, true, false, x1, x1 + openR, x1,
             x1 + w},
            // Right text spills left back to column 0's right edge (a
            // filled cell), here no room; without it, over column 0.
            {"spill right blocked", KwId_right, KwId_nowrap, false, true, false,
             x1 + GridLayout_openLeft, x1 + w, x1, x1 + w},
            {"spill right open", KwId_right, KwId_nowrap, false, false, false,
             x1 + GridLayout_openLeft, x1 + w, x1 - kInch, x1 + w},
            {"spill centre across", GridLayout_kwCentreAcross, KwId_nowrap, false, false, false,
             x1 + w - 0x20000000, x1 + openR, x1 - kInch, x1 + w + openR},
            {"spill justify", KwId_justify, KwId_nowrap, false, false, false, x1, x1 + w, x1,
             x1 + w},
        };
        for (const Case &k : cases) {
            SCOPED_TRACE(k.name);
            SheetGrid *g = sheet3x3();
            setFormats(g, {rule({kw(PropId_textAlign, k.align), kw(PropId_whiteSpace, k.ws)})});
            if (k.blockers)
                setCells(g, {{0, 0, 1, u"a"}, {0, 1, 1, u"b"}, {0, 2, 1, u"c"}});
            else
                setCells(g, {{0, 0, 4, nullptr}, {0, 1, 1, u"b"}, {0, 2, 4, nullptr}});
            if (k.merged)
                setMerged(g, {{1, 0, 2, 0}});
            Edr_Node *node = nullptr;
            ASSERT_EQ(Edr_Node_createRecordRef(doc, root, Edr_Insert_lastChild, &node, g,
                                               Excel_gridRecordFree),
                      0);
            Box b(doc);
            GridLayoutCtx *ctx = nullptr;
            Edr_Style *style = compute(doc, group(doc, root));
            ASSERT_EQ(GridLayout_create(&ctx, node, style, &b.box), 0);
            ctx->originX = kLeft;
            Edr_Style_setOverrides(ctx->style, g->formatTable->rules[0]);
            GridTextPlacement p{};
            GridLayout_placeText(ctx, 1, &p);
            EXPECT_EQ(p.box[0], k.box0);
            EXPECT_EQ(p.box[1], k.box1);
            EXPECT_EQ(p.clip[0], k.clip0);
            EXPECT_EQ(p.clip[1], k.clip1);
            EXPECT_EQ(p.box[2], 0);
            EXPECT_EQ(p.box[3], -kRow);
            GridLayout_free(ctx, 1);
            EXPECT_EQ(style->overrides, nullptr);
            Edr_Style_release(style);
        }
    });
}

// The cell before the last column looks for a blocking cell like any
// other: a filled last column stops its spill.
TEST_F(GridLayoutTest, TheCellBeforeTheLastColumnIsStoppedByAFilledLastColumn)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        SheetGrid *g = sheet3x3();
        setFormats(g,
                   {rule({kw(PropId_textAlign, KwId_left), kw(PropId_whiteSpace, KwId_nowrap)})});
        setCells(g, {{0, 1, 1, u"b"}, {0, 2, 1, u"c"}});
        Edr_Node *node = nullptr;
        ASSERT_EQ(Edr_Node_createRecordRef(doc, root, Edr_Insert_lastChild, &node, g,
                                           Excel_gridRecordFree),
                  0);
        Box b(doc);
        Edr_Style *style = compute(doc, group(doc, root));
        GridLayoutCtx *ctx = nullptr;
        ASSERT_EQ(GridLayout_create(&ctx, node, style, &b.box), 0);
        ctx->originX = kLeft;
        Edr_Style_setOverrides(ctx->style, g->formatTable->rules[0]);
        GridTextPlacement p{};
        GridLayout_placeText(ctx, 0, &p);
        EXPECT_EQ(p.clip[1], kLeft + kInch + kInch / 2);
        GridLayout_free(ctx, 1);
        Edr_Style_release(style);
    });
}

TEST_F(GridLayoutTest, RightToLeftSheetsMirrorAndRotatedTextTradesAlignments)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        SheetGrid *g = sheet3x3();
        setFormats(g, {rule({kw(PropId_textAlign, KwId_left), kw(PropId_whiteSpace, KwId_nowrap)}),
                       rule({kw(PropId_textAlign, KwId_right), num(GridLayout_propRotation, 30)})});
        setCells(g, {{0, 0, 4, nullptr}, {0, 1, 1, u"b"}, {1, 1, 1, u"r", 1}});
        g->rightToLeft = 1;
        Edr_Node *node = nullptr;
        ASSERT_EQ(Edr_Node_createRecordRef(doc, root, Edr_Insert_lastChild, &node, g,
                                           Excel_gridRecordFree),
                  0);
        Box b(doc);
        Edr_Style *style = compute(doc, group(doc, root));
        GridLayoutCtx *ctx = nullptr;
        ASSERT_EQ(GridLayout_create(&ctx, node, style, &b.box), 0);
        ctx->originX = kLeft;
        ctx->rightToLeft = 1;
        ctx->mirror = 2 * kLeft + 5 * kInch / 2;
        // Column 1 (half an inch) mirrored: it lies 1 inch from the right end.
        Point tl, br;
        GridLayout_cellRect(ctx, 0, 1, 0, 1, &tl, &br);
        EXPECT_EQ(tl.x, kLeft + kInch);
        EXPECT_EQ(br.x, kLeft + kInch + kInch / 2);
        GridLayout_cellRect(ctx, 0, 0, 0, 0, &tl, &br);
        EXPECT_EQ(tl.x, kLeft + 3 * kInch / 2);
        EXPECT_EQ(br.x, kLeft + 5 * kInch / 2);
        // Indexes past the grid clamp to its last row and column.
        GridLayout_cellRect(ctx, 9, 9, 9, 9, &tl, &br);
        EXPECT_EQ(tl.x, kLeft);
        EXPECT_EQ(br.y, -3 * kRow);

        // On a mirrored sheet the two rooms trade places: a left text's
        // room to the right is the one over column 0, which now lies on
        // the right (the unbounded room over column 2 is on its left).
        Edr_Style_setOverrides(ctx->style, g->formatTable->rules[0]);
        GridTextPlacement p{};
        GridLayout_placeText(ctx, 1, &p);
        EXPECT_EQ(p.clip[1], kLeft + 5 * kInch / 2);
        EXPECT_EQ(p.clip[0], kLeft + kInch);

        // Rotated right text at 30 degrees turns the other way (-30) on the
        // mirrored sheet and becomes left aligned before the roles trade:
        // horizontal left gives vertical bottom (t < 0), vertical bottom
        // gives horizontal right.
        Edr_Style_setOverrides(ctx->style, g->formatTable->rules[1]);
        GridLayout_placeText(ctx, 2, &p);
        EXPECT_EQ(p.angle, -30);
        EXPECT_EQ(p.vertical, uint32_t(KwId_bottom));
        EXPECT_EQ(p.horizontal, uint32_t(KwId_right));
        // The box is the row height over sin 30 wide, ending at the cell's
        // right for a negative angle, and as high as the cell is wide.
        int64_t along = (int64_t(kRow) << 16) / Fixed_sinDeg(30);
        EXPECT_EQ(p.box[1] - p.box[0], along);
        EXPECT_EQ(p.box[2], -2 * kRow);
        EXPECT_EQ(p.box[2] - p.box[3], kInch / 2);
        GridLayout_free(ctx, 1);
        Edr_Style_release(style);
    });
}

// A right-to-left sheet laid out whole: column 0 lies on the right, and a
// wrapping text breaks into lines one below the other at the cell's left
// inset.
TEST_F(GridLayoutTest, AMirroredSheetAndWrappedLines)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        SheetGrid *g = makeGrid(1, 2, 2 * kInch, 0, {kInch / 2, kInch});
        g->rightToLeft = 1;
        g->palette[1] = 0xFF00FF00u;
        setFormats(g,
                   {rule({kw(PropId_textAlign, KwId_left), kw(PropId_verticalAnchor, KwId_top)})});
        setCells(g, {{0, 0, 1, u"aaa bbb ccc", 0}});
        setFills(g, {{{0, 0}, false, {}, 0, 1, 0, false, {}}});
        Edr_Node *node = nullptr;
        ASSERT_EQ(Edr_Node_createRecordRef(doc, root, Edr_Insert_lastChild, &node, g,
                                           Excel_gridRecordFree),
                  0);
        Edr_Style *style = compute(doc, group(doc, root));
        {
            Box b(doc);
            Edr_Doc_readLock(doc);
            int err = GridLayout_run(&b.box, node, style);
            Edr_Doc_readUnlock(doc);
            ASSERT_EQ(err, 0);
            LayerList_selectKey(b.box.layers, 0);
            ObjHeader *item = b.box.layers->current->first;
            LayerList_selectKey(b.box.layers, 1);
            ASSERT_NE(CellGrid_part(item), nullptr);
            const GridFill &f = CellGrid_part(item)->fills->entries[0];
            EXPECT_EQ(f.colour, 0xFF00FF00u);
            EXPECT_EQ(f.corners[0].x, kLeft + kInch); // column 0 on the right
            EXPECT_EQ(f.corners[1].x, kLeft + 3 * kInch / 2);
            std::vector<Shown> shown = texts(b.box.layers);
            ASSERT_GE(shown.size(), 2u);
            for (size_t i = 0; i < shown.size(); i++) {
                EXPECT_EQ(shown[i].box.x0, kLeft + kInch + GridLayout_textInset) << i;
                EXPECT_LE(shown[i].box.x1, kLeft + 3 * kInch / 2 - GridLayout_textInset) << i;
                if (i > 0) {
                    EXPECT_LE(shown[i].box.y1, shown[i - 1].box.y0) << i; // below the last
                }
            }
            EXPECT_EQ(shown[0].box.y1, 0); // top aligned
        }
        Edr_Style_release(style);
    });
}

TEST_F(GridLayoutTest, AGridWithoutCellsFillsOrSegmentsGivesAnEmptyItem)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        SheetGrid *g = makeGrid(0, 0, kRow, kInch);
        Edr_Node *node = nullptr;
        ASSERT_EQ(Edr_Node_createRecordRef(doc, root, Edr_Insert_lastChild, &node, g,
                                           Excel_gridRecordFree),
                  0);
        Box b(doc);
        ASSERT_EQ(GridLayout_run(&b.box, node, nullptr), 0);
        LayerList_selectKey(b.box.layers, 0);
        ObjHeader *item = b.box.layers->current->first;
        LayerList_selectKey(b.box.layers, 1);
        ASSERT_NE(CellGrid_part(item), nullptr);
        EXPECT_EQ(CellGrid_part(item)->fills->count, 0u);
        EXPECT_EQ(CellGrid_part(item)->lines->horizontalCount, 0u);
        EXPECT_EQ(b.box.block.lineLeft, kLeft); // nothing to move past
        EXPECT_EQ(b.box.maxX, 0);               // nor to reach
        EXPECT_EQ(b.box.minY, 0);
        // A node of another kind, or one without a grid, places nothing.
        GridLayoutCtx *ctx = nullptr;
        EXPECT_EQ(GridLayout_create(&ctx, root, nullptr, &b.box), Res_nullInput);
        EXPECT_EQ(ctx, nullptr);
        Edr_Node *empty = nullptr;
        ASSERT_EQ(
            Edr_Node_createRecordRef(doc, root, Edr_Insert_lastChild, &empty, nullptr, nullptr), 0);
        EXPECT_EQ(GridLayout_run(&b.box, empty, nullptr), 0);
        EXPECT_EQ(GridLayout_run(&b.box, root, nullptr), 0);
        EXPECT_EQ(b.box.layers->first->first, item); // nothing was added
    });
}

} // namespace
