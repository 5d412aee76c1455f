// Display lists and the items the viewer makes: unlinking (absent items,
// the tail, the only item), construction flags, caller bits, shapes and
// out of memory.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/boxitem.h"
#include "fonts/glyphrun.h"
#include "graphics/path.h"
#include "fonts/textitem.h"
#include "layout/replaced.h"
#include "tests/support/heap_fixture.h"
#include "tests/support/test_engine.h"
#include "viewer/displayitem.h"

namespace {

class DisplayItemTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(TestEngine_open(&e));
        baseline = TestHeap_usedBytes();
        list = DisplayList_new();
        ASSERT_NE(list, nullptr);
    }
    void TearDown() override
    {
        DisplayList_free(list);
        EXPECT_EQ(TestHeap_usedBytes(), baseline);
        TestEngine_close(&e);
    }
    DisplayItem *shape(int32_t strokeWidth = 1)
    {
        DisplayItem *item = nullptr;
        EXPECT_EQ(DisplayItem_newShape(e.context, list, &item, 0, 0, 10, 10, nullptr, 0xFF00FF00u,
                                       0xFF000000u, strokeWidth),
                  0);
        return item;
    }
    std::vector<DisplayItem *> items()
    {
        std::vector<DisplayItem *> out;
        for (DisplayItem *i = list->head; i; i = Obj_next(i))
            out.push_back(i);
        return out;
    }
    TestEngine e{};
    size_t baseline = 0;
    DisplayList *list = nullptr;
};

TEST_F(DisplayItemTest, RemovingAnAbsentItemChangesNothing)
{
    DisplayItem *a = shape(), *b = shape();
    DisplayList other{};
    DisplayItem *stranger = nullptr;
    ASSERT_EQ(DisplayItem_newShape(e.context, &other, &stranger, 0, 0, 1, 1, nullptr, 0, 0, 0), 0);
    DisplayList_removeItem(list, stranger);
    EXPECT_EQ(items(), (std::vector<DisplayItem *>{a, b}));
    EXPECT_EQ(list->tail, b);
    EXPECT_EQ(other.head, stranger); // untouched, still alive
    DisplayList_removeItem(list, nullptr);
    DisplayList_removeItem(nullptr, a);
    EXPECT_EQ(items().size(), 2u);
    DisplayItem_free(DisplayList_takeHead(&other));
}

TEST_F(DisplayItemTest, RemovingTheTailMovesItBackAndTheOnlyItemEmptiesTheList)
{
    DisplayItem *a = shape(), *b = shape(), *c = shape();
    DisplayList_removeItem(list, c);
    EXPECT_EQ(list->tail, b);
    EXPECT_EQ(Obj_next(b), nullptr);
    DisplayList_removeItem(list, a);
    EXPECT_EQ(list->head, b);
    EXPECT_EQ(list->tail, b);
    DisplayList_removeItem(list, b);
    EXPECT_EQ(list->head, nullptr);
    EXPECT_EQ(list->tail, nullptr);
    // Appending after that starts the list again.
    DisplayItem *d = shape();
    EXPECT_EQ(list->head, d);
    EXPECT_EQ(list->tail, d);
    // Taking the head hands the chain over and empties the list.
    DisplayItem *e2 = shape();
    DisplayItem *chain = DisplayList_takeHead(list);
    EXPECT_EQ(chain, d);
    EXPECT_EQ(Obj_next(chain), e2);
    EXPECT_EQ(list->head, nullptr);
    EXPECT_EQ(list->tail, nullptr);
    DisplayItem_free(d);
    DisplayItem_free(e2);
}

TEST_F(DisplayItemTest, AShapeOfStrokeWidthZeroHasStrokeStyleZero)
{
    const struct {
        int32_t width;
        uint32_t style;
    } cases[] = {{0, 0}, {-3, 0}, {1, 4}, {7, 4}};
    for (auto c : cases) {
        DisplayItem *item = shape(c.width);
        BoxItemPart *part = BoxItem_part(item);
        ASSERT_NE(part, nullptr);
        for (const BoxBorder &b : part->borders)
            EXPECT_EQ(b.style, c.style) << c.width;
        EXPECT_EQ(part->background.colour, 0xFF00FF00u);
        Rect box = Obj_box(item);
        EXPECT_EQ(box.x1, 10);
    }
}

TEST_F(DisplayItemTest, FlagsUserBitsAndTransforms)
{
    DisplayItem *owned = DisplayItem_new(&BoxItem_class, 5, 6, nullptr, 7);
    ASSERT_NE(owned, nullptr);
    EXPECT_EQ(owned->flags, 1u | 2u | 8u); // owns, holds its fonts, bit 3; its own font
    EXPECT_EQ(owned->origin[0], 5);
    DisplayItem *shared = DisplayItem_new(&BoxItem_class, 0, 0, nullptr, 0);
    EXPECT_EQ(shared->flags, 8u | (1u << 10));
    // Caller bits: ((bits and not mask) xor value) and 3, never the flags.
    DisplayItem_setUserBits(owned, 0, 1u << 8);
    EXPECT_EQ(DisplayItem_userBits(owned), 1u << 8);
    DisplayItem_setUserBits(owned, 0, 3u << 8);
    EXPECT_EQ(DisplayItem_userBits(owned), 2u << 8);
    DisplayItem_setUserBits(owned, 3u << 8, 1u << 8);
    EXPECT_EQ(DisplayItem_userBits(owned), 1u << 8);
    EXPECT_EQ(owned->flags, 11u);
    // A new transform replaces (and frees) the old one.
    Matrix *m = static_cast<Matrix *>(Mem_malloc(sizeof(Matrix)));
    Matrix_setIdentity(m);
    DisplayItem_setTransform(owned, m);
    EXPECT_EQ(owned->matrix, m);
    Matrix *n = static_cast<Matrix *>(Mem_malloc(sizeof(Matrix)));
    Matrix_setIdentity(n);
    DisplayItem_setTransform(owned, n);
    EXPECT_EQ(owned->matrix, n);
    DisplayItem_free(owned);
    DisplayItem_free(shared);
}

TEST_F(DisplayItemTest, PathsAndPolygonsAndOutOfMemory)
{
    const Point square[4] = {{0, 0}, {0x10000, 0}, {0x10000, 0x10000}, {0, 0x10000}};
    DisplayItem *poly = nullptr;
    ASSERT_EQ(DisplayItem_newPolygon(e.context, list, &poly, square, 4, 0xFF0000FFu, 0), 0);
    ASSERT_NE(PathItem_part(poly), nullptr);
    EXPECT_EQ(PathItem_part(poly)->paint->isStroke, 0u);
    Rect box = Obj_box(poly);
    EXPECT_EQ((std::vector<int32_t>{box.x0, box.y0, box.x1, box.y1}),
              (std::vector<int32_t>{0, 0, 0x10000, 0x10000}));
    EXPECT_EQ(list->tail, poly);
    // Out of memory at each step: the item and the path it was to own go.
    for (uint64_t n = 1; n < 4; n++) {
        Path *path = nullptr;
        ASSERT_EQ(Path_create(&path, 0x10000), 0);
        ASSERT_EQ(Path_moveTo(path, 0, 0), 0);
        ASSERT_EQ(Path_lineTo(path, 5, 5), 0);
        PathPaint paint{1, {0, 0x10000, 0x10000, 0, 0, 0}};
        DisplayItem *item = reinterpret_cast<DisplayItem *>(1);
        Mem_failAfter(n);
        int r = DisplayItem_newPath(e.context, list, &item, 0, 0, nullptr, path, &paint,
                                    0xFF000000u, DisplayItem_optOwns);
        Mem_failAfter(0);
        if (r == Res_noMemory) {
            EXPECT_EQ(item, nullptr);
        } else {
            EXPECT_EQ(r, 0);
            EXPECT_EQ(list->tail, item);
        }
    }
}

TEST_F(DisplayItemTest, TextItemsCopyTheirTextAndTakeTheirExtentAsTheBox)
{
    char16_t text[] = u"abc";
    DisplayItem *item = nullptr;
    ASSERT_EQ(DisplayItem_newText(e.context, list, &item, 3, 4, nullptr, text, nullptr, 12 << 16,
                                  0xFF000000u, 1),
              0);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(list->tail, item);
    text[0] = u'x'; // the item keeps its own copy
    TextItemPart *part = static_cast<TextItemPart *>(Obj_part(item));
    EXPECT_EQ(part->base.chars[0], u'a');
    EXPECT_EQ(part->base.count, 3u);
    Rect box = Obj_box(item);
    EXPECT_GT(box.x1, box.x0);
    EXPECT_LT(box.y0, 0); // below the baseline
    EXPECT_EQ(part->baseline, -box.y0);
    EXPECT_EQ(item->origin[0], 3);
    // A longer text measures wider.
    ASSERT_EQ(DisplayItem_setText(item, u"abcdef"), 0);
    Rect wider{};
    ASSERT_EQ(DisplayItem_measureText(item, &wider), 0);
    EXPECT_GT(wider.x1, box.x1);
    EXPECT_EQ(DisplayItem_setText(shape(), u"x"), Res_nullInput);
}

// Only a glyph-run item answers with its data; any other item answers
// null after reading nothing but its class pointer (a one-word record here,
// so that a read beyond it shows in the sanitizer build).
TEST_F(DisplayItemTest, DataIfClassAnswersOnlyForGlyphRunItems)
{
    ObjHeader *run = Obj_create(&GlyphRunItem_class, 0);
    ASSERT_NE(run, nullptr);
    EXPECT_EQ(DisplayItem_dataIfClass(run), Obj_part(run));
    Obj_destroy(run);
    EXPECT_EQ(DisplayItem_dataIfClass(shape()), nullptr);
    for (const ObjClass *cls : {&BoxItem_class, &TextItem_class}) {
        auto word = std::make_unique<const ObjClass *>(cls);
        EXPECT_EQ(DisplayItem_dataIfClass(reinterpret_cast<DisplayItem *>(word.get())), nullptr);
    }
}

} // namespace
