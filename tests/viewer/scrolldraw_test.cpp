// Scrolled-column views: the items and highlights drawn moved up by the
// scroll position, the kinds, and the band-by-band render into the page.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/container/obj.h"
#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "document/edr/page.h"
#include "graphics/bitmap.h"
#include "graphics/drawitem.h"
#include "graphics/pixelbuf.h"
#include "tests/document/edr_fixture.h"
#include "viewer/column.h"
#include "viewer/dispman.h"
#include "viewer/scrolldraw.h"

namespace {

std::string *theCalls = nullptr;

// Logs "<id>@<band top>" and paints the whole target 0x1234.
int drawItem(EngineContext *, ObjHeader *item, const Rect *, const Matrix *,
             const DrawTarget *target, const DrawFlags *, intptr_t)
{
    *theCalls += std::to_string(item->spare[0]) + "@" + std::to_string(-target->dy) + " ";
    return Bitmap_fillColour(target->bitmap, item->spare[0] == 9 ? 0x00FF0000 : 0x0000FF00);
}

int measureItem(EngineContext *, ObjHeader *, const Rect *, const Matrix *, const DrawTarget *,
                const DrawFlags *, uint32_t *amount)
{
    *amount = 0;
    return 0;
}

const ObjItemOps itemOps = {drawItem, measureItem, nullptr};
const ObjClass itemClass = {&itemOps, 0, nullptr, Obj_itemPlain};

class ScrollDrawTest : public EdrFixture {
  protected:
    void SetUp() override
    {
        EdrFixture::SetUp();
        theCalls = &calls;
        pagePixels.assign(100 * 100, 0);
        bandPixels.assign(100 * 30, 0);
        run([this] {
            ASSERT_EQ(Bitmap_create(ctx(), &pageBitmap, 100, 100, 4, 0x10000, pagePixels.data(), 0),
                      0);
            ASSERT_EQ(Bitmap_create(ctx(), &bandBitmap, 100, 30, 4, 0x10000, bandPixels.data(), 0),
                      0);
            ASSERT_EQ(PixelBuf_wrap(&band, 100, 30, 4, 0x10000, bandPixels.data(), 200), 0);
        });
        ScrollColumn_init(nullptr, &column);
        ASSERT_EQ(View_createColumnState(&column, &state), 0);
        view.column = state;
        item = Obj_create(&itemClass, 0);
        item->spare[0] = 1;
        const Rect box{0, 1000, 50, 1010};
        Obj_setBox(item, &box);
        highlight = Obj_create(&itemClass, 0);
        highlight->spare[0] = 9;
        const Rect hbox{0, 1000, 10, 1002};
        Obj_setBox(highlight, &hbox);
        view.items = item;
        view.highlights = highlight;
        Matrix_setIdentity(&request.matrix);
        page.background[3] = 255;
    }
    void TearDown() override
    {
        Obj_destroy(item);
        Obj_destroy(highlight);
        View_freeColumnState(state);
        ScrollColumn_fini(&column);
        PixelBuf_destroy(band);
        Bitmap_destroy(bandBitmap);
        Bitmap_destroy(pageBitmap);
        theCalls = nullptr;
        EdrFixture::TearDown();
    }

    std::string calls;
    std::vector<uint16_t> pagePixels, bandPixels;
    Bitmap *pageBitmap = nullptr, *bandBitmap = nullptr;
    PixelBuf *band = nullptr;
    ScrollColumn column{};
    ViewColumnState *state = nullptr;
    ScrolledView view{};
    ScrolledRequest request{};
    ObjHeader *item = nullptr, *highlight = nullptr;
    Edr_PageRec page{};
};

TEST_F(ScrollDrawTest, ItemsAreDrawnMovedUpByTheScrollPosition)
{
    DrawTarget target{pageBitmap, nullptr, 0, 0};
    request.target = &target;
    run([&] {
        // At 0 the item lies far below the 100-pixel target.
        EXPECT_EQ(View_drawScrolledItems(ctx(), &view, 0, &request), 0);
        EXPECT_EQ(calls, "");
        EXPECT_EQ(View_drawScrolledItems(ctx(), &view, 950, &request), 0);
        EXPECT_EQ(calls, "1@0 ");
        calls.clear();
        request.kind = ScrolledDraw_highlights;
        EXPECT_EQ(View_drawScrolledItems(ctx(), &view, 950, &request), 0);
        EXPECT_EQ(calls, "9@0 ");
        calls.clear();
        request.kind = 2;
        EXPECT_EQ(View_drawScrolledItems(ctx(), &view, 950, &request), 0);
        EXPECT_EQ(calls, "") << "other kinds draw nothing";

        // The highlights at the column's own scroll position; the kind goes
        // back to 0.
        Column_setScrollPosition(&column, 990);
        EXPECT_EQ(View_drawScrolledHighlights(ctx(), &view, &request), 0);
        EXPECT_EQ(calls, "9@0 ");
        EXPECT_EQ(request.kind, uint32_t(ScrolledDraw_items));
    });
}

TEST_F(ScrollDrawTest, RendersBandsFromTheBottomUpIntoThePage)
{
    ScrolledBands bands{band, bandBitmap, 30, 0x000000FF, &page, nullptr, pageBitmap};
    const Rect rect{0, 0, 100, 100};
    Column_setScrollPosition(&column, 990); // the item covers rows 10 to 20
    run([&] { EXPECT_EQ(View_renderBands(ctx(), &view, &rect, &request, &bands), 0); });
    // Bands 70, 40, 10 and the last one at 0: the item meets the two top ones.
    EXPECT_EQ(calls, "1@10 9@10 1@0 9@0 ");
    // Every row of the page was painted from a band: the last band drawn
    // (rows 0 to 30) holds the highlight's colour, the others the
    // background's.
    EXPECT_NE(pagePixels[5 * 100 + 5], 0);
    EXPECT_NE(pagePixels[95 * 100 + 5], 0);
    EXPECT_NE(pagePixels[5 * 100 + 5], pagePixels[95 * 100 + 5]);

    ScrolledBands none{};
    run([&] { EXPECT_EQ(View_renderBands(ctx(), &view, &rect, &request, &none), 8); });
}

TEST_F(ScrollDrawTest, RenderScrolledSetsTheColumnUpFirst)
{
    ColumnNode *l = nullptr;
    ASSERT_EQ(ColumnList_create(&l), 0);
    l->loaded = l->measured = 1;
    for (int i = 0; i < 3; i++) {
        ColumnNode *n = nullptr;
        ASSERT_EQ(ColumnLine_create(&n, 0, 1000), 0);
        ASSERT_EQ(ColumnList_append(l, n), 0);
    }
    Column_setContent(&column, l);
    ScrolledBands bands{band, bandBitmap, 30, 0x000000FF, &page, nullptr, pageBitmap};
    const Rect rect{0, 0, 100, 100};
    const Rect box{0, 990, 100, 1090};
    run([&] {
        EXPECT_EQ(View_renderScrolled(ctx(), &view, &box, 0x10000, &rect, &request, &bands), 0);
    });
    EXPECT_EQ(Column_scrollPosition(&column), 990);
    EXPECT_EQ(column.layoutWidth, 100);
    EXPECT_EQ(Column_visibleHeight(&column), 100);
    EXPECT_EQ(calls, "1@10 9@10 1@0 9@0 ");
}

} // namespace
