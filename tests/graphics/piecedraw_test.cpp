// Page piece drawing: pixel rectangles, opacity culling, backgrounds with
// their alpha, empty rectangles, clip regions composited through the
// coverage-mask draw item (compared with the draw item alone and with the
// banded clip compositing), regions that meet nowhere and clip paths with
// an empty pixel box.
#include <vector>

#include "core/result.h"
#include "graphics/fill.h"
#include "graphics/piecedraw.h"
#include "tests/graphics/render_support.h"

namespace {

constexpr uint32_t kRed = rgba(0xF8, 0, 0), kBlue = rgba(0, 0, 0xF8), kGreen = rgba(0, 0xFC, 0);

TEST(RectToPixels, CornersScaledAndPlaced)
{
    Rect r{0, 0, 10, 10}, out;
    Rect_toPixels(&r, nullptr, 5, 5, 0x10000, &out);
    EXPECT_EQ(out.x0, 5);
    EXPECT_EQ(out.y0, 5);
    EXPECT_EQ(out.x1, 15);
    EXPECT_EQ(out.y1, 15);
    // Scale 64 of page units (1/1024 pixel here) through a translation.
    Matrix moved{0x10000, 0, 0, 0x10000, 1024, 10240};
    Rect page{0, -10240, 20480, 0};
    Rect_toPixels(&page, &moved, 0, 0, 64, &out);
    EXPECT_EQ(out.x0, 1);
    EXPECT_EQ(out.y0, 0);
    EXPECT_EQ(out.x1, 21);
    EXPECT_EQ(out.y1, 10);
    Matrix flip{0x10000, 0, 0, -0x10000, 0, 0};
    // The product of a real page coordinate and a full scale word does not
    // fit 32 bits.
    Rect big{0x100000, 0, 0x100001, 1};
    Rect_toPixels(&big, nullptr, 3, 0, 0x10000, &out);
    EXPECT_EQ(out.x0, 0x100003);
    Rect_toPixels(Rect_getInfinite(), &flip, 3, 3, 64, &out);
    EXPECT_TRUE(Rect_isInfinite(&out));
}

class PieceDrawTest : public RenderFixture {
  protected:
    // A 20 x 20 picture and the page matrix of the render fixture.
    int draw(Edr_PageRec *chain, Bitmap *b, const Rect *clip = nullptr)
    {
        Matrix m = pageMatrix(b->height);
        DrawTarget t{b, clip, 0, 0};
        DrawFlags flags{};
        return PieceChain_draw(ctx(), chain, &m, &t, &flags);
    }
    Edr_PageRec *filled(const Rect &r, uint32_t colour, uint32_t itemColour)
    {
        Edr_PageRec *p = piece(nullptr, r, colour);
        p->objects = pathItem(rectPath(r), itemColour);
        return p;
    }
};

// Drawing starts at the last opaque piece that covers the whole area; a
// piece whose clip paths miss its rectangle counts with the rectangle.
TEST_F(PieceDrawTest, PiecesUnderAnOpaqueCoveringPieceAreNotDrawn)
{
    run([&] {
        const Rect all{0, U(-20), U(20), 0};
        Edr_PageRec *first = filled(all, kRed, kRed);
        Edr_PageRec *second = filled(all, kBlue, kBlue);
        Edr_PageRec *third = filled(Rect{0, U(-20), U(10), 0}, rgba(0, 0, 0, 0x80), kGreen);
        first->nextRec = second;
        second->nextRec = third;
        Bitmap *b = picture(20, 20);
        ASSERT_EQ(draw(first, b), 0);
        EXPECT_EQ(drawsOf(first->objects), 0);
        EXPECT_EQ(drawsOf(second->objects), 1);
        EXPECT_EQ(at(b, 5, 5), to565(kGreen));
        EXPECT_EQ(at(b, 15, 5), to565(kBlue));

        // Clip paths outside the rectangle: still opaque over all of it.
        second->layout = clipEntry(rectPath(Rect{U(100), U(-120), U(110), U(-110)}));
        ASSERT_EQ(draw(first, b), 0);
        EXPECT_EQ(drawsOf(first->objects), 0);
        // A clip path inside: no longer covering, so the first is drawn.
        ClipEntry_freeList(second->layout);
        second->layout = clipEntry(rectPath(Rect{0, U(-10), U(20), 0}));
        ASSERT_EQ(draw(first, b), 0);
        EXPECT_EQ(drawsOf(first->objects), 1);
        EXPECT_EQ(at(b, 15, 15), to565(kRed)) << "outside the clip path";
        EXPECT_EQ(at(b, 15, 5), to565(kBlue));
        // A clip rectangle of the target inside the opaque piece culls too.
        Rect inner{0, 10, 20, 20};
        ASSERT_EQ(draw(first, b, &inner), 0);
        EXPECT_EQ(drawsOf(first->objects), 1);
        EXPECT_EQ(Edr_Page_freeRecords(first), 0);
    });
}

// Alpha 0 draws only the items; an empty rectangle draws its items with the
// target's clip and no background; a half-transparent background blends.
TEST_F(PieceDrawTest, BackgroundsFollowTheAlphaAndEmptyRectanglesHaveNone)
{
    run([&] {
        Bitmap *b = picture(20, 20, 0xFFFF);
        Edr_PageRec *clear = piece(nullptr, Rect{0, U(-20), U(20), 0}, rgba(0xFF, 0, 0, 0));
        clear->objects = pathItem(rectPath(Rect{0, U(-5), U(5), 0}), kBlue);
        ASSERT_EQ(draw(clear, b), 0);
        EXPECT_EQ(at(b, 2, 2), to565(kBlue));
        EXPECT_EQ(at(b, 10, 10), 0xFFFF);

        Edr_PageRec *empty = piece(nullptr, Rect{U(5), U(-5), U(5), 0}, kRed);
        empty->objects = pathItem(rectPath(Rect{U(10), U(-15), U(15), U(-10)}), kGreen);
        Rect clip{0, 0, 20, 12};
        ASSERT_EQ(draw(empty, b, &clip), 0);
        EXPECT_EQ(at(b, 12, 12), to565(kGreen));
        EXPECT_EQ(at(b, 12, 8), 0xFFFF) << "outside the target's clip";
        EXPECT_EQ(at(b, 2, 18), 0xFFFF) << "no background";

        Edr_PageRec *half = piece(nullptr, Rect{0, U(-20), U(20), 0}, rgba(0, 0, 0, 0x80));
        ASSERT_EQ(draw(half, b), 0);
        uint16_t grey = at(b, 10, 10);
        EXPECT_NE(grey, 0xFFFF);
        EXPECT_NE(grey, 0);
        for (Edr_PageRec *p : {clear, empty, half})
            EXPECT_EQ(Edr_Page_freeRecords(p), 0);
    });
}

// A piece with one clip path shows inside the path only, blending its
// background there; its pixels equal those of a draw item of the path
// alone (one sub-pixel bit) painted with the piece drawn unclipped, and the
// banded clip compositing agrees (the bands paint no piece backgrounds, so
// that comparison takes a transparent one).
TEST_F(PieceDrawTest, AClippedPieceMatchesTheDrawItemAloneAndTheBands)
{
    run([&] {
        const Rect all{0, U(-40), U(40), 0};
        auto triangle = [] { return polygon({U(3), U(-37), U(37), U(-30), U(12), U(-2)}); };
        Matrix m = pageMatrix(40);
        for (uint32_t alpha : {0x60u, 0u}) {
            Edr_PageRec *p = piece(nullptr, all, kBlue);
            p->objects = box(all, kBlue);
            Edr_PageRec *clipped = piece(nullptr, all, (kRed & 0xFFFFFF) | alpha << 24);
            clipped->objects = pathItem(rectPath(Rect{U(20), U(-40), U(40), 0}), kGreen);
            clipped->layout = clipEntry(triangle());
            p->nextRec = clipped;

            // The draw item alone: the page, and over it, through the
            // triangle, the piece drawn without its clip.
            Bitmap *alone = picture(40, 40, to565(kBlue));
            Bitmap *layer = picture(40, 40, to565(kBlue));
            Rect lit{0, 0, 40, 40}, right{20, 0, 40, 40};
            ASSERT_EQ(Bitmap_fillColourAlpha(layer, kRed & 0xFFFFFF, alpha, &lit), 0);
            ASSERT_EQ(Bitmap_fillColourAlpha(layer, kGreen & 0xFFFFFF, 255, &right), 0);
            Path *path = triangle();
            DrawItem *d = alone->drawItem;
            d->kind = DrawItem_kindPath;
            d->shape.path = FillRequest{path, 1, &m, 0, {}};
            d->paintKind = DrawItem_sourceBuffer;
            d->paint.buffer = {bufs.back(), 0, 0};
            d->maskKind = DrawItem_sourceSolid;
            d->mask.solid = {Pixel_formatGrey8, 255};
            d->cachedRowOp = nullptr;
            DrawTarget t{alone, nullptr, 0, 0};
            ASSERT_EQ(DrawItem_render(d, nullptr, nullptr, &t), 0);
            Path_destroy(path);

            Bitmap *pieces = picture(40, 40);
            ASSERT_EQ(draw(p, pieces), 0);
            EXPECT_TRUE(pixels(pieces) == pixels(alone)) << alpha;
            EXPECT_EQ(at(pieces, 35, 35), to565(kBlue)) << "outside the path";
            EXPECT_EQ(at(pieces, 30, 27), to565(kGreen)) << "inside, where the item is";
            EXPECT_EQ(at(pieces, 8, 27), at(layer, 8, 27)) << "inside, the piece's background";

            if (alpha == 0) {
                std::vector<uint8_t> memory(40 * 2 * 40 * 3);
                RenderBuffers *buffers = nullptr;
                ASSERT_EQ(
                    RenderBuffers_create(ctx(), &buffers, memory.data(), uint32_t(memory.size())),
                    0);
                Bitmap *banded = picture(40, 40);
                DrawFlags flags{};
                Rect pageRect{0, 0, 40, 40};
                EXPECT_EQ(PageRender_drawBanded(ctx(), buffers, p, &pageRect, nullptr, banded,
                                                &pageRect, &m, &flags, nullptr, nullptr, 0),
                          0);
                EXPECT_TRUE(pixels(banded) == pixels(alone));
                RenderBuffers_free(buffers);
            }
            EXPECT_EQ(Edr_Page_freeRecords(p), 0);
        }
    });
}

// Two clip paths whose row ranges do not meet leave nothing to show: the
// piece draws nothing and the chain goes on. So does a clip path whose
// pixel box is empty (the chain used to end there).
TEST_F(PieceDrawTest, ClipsThatMeetNowhereHideThePieceAndTheChainGoesOn)
{
    run([&] {
        const Rect all{0, U(-20), U(20), 0};
        for (int emptyBox : {0, 1}) {
            Edr_PageRec *first = filled(all, kBlue, kBlue);
            Edr_PageRec *hidden = filled(all, rgba(0xF8, 0, 0, 0x80), kRed);
            if (emptyBox)
                hidden->layout = clipEntry(polygon({U(2), U(-5), U(12), U(-5)}));
            else
                hidden->layout = clipEntry(rectPath(Rect{0, U(-20), U(20), U(-15)}),
                                           clipEntry(rectPath(Rect{0, U(-5), U(20), 0})));
            Edr_PageRec *last = filled(Rect{0, U(-20), U(5), 0}, kGreen, kGreen);
            first->nextRec = hidden;
            hidden->nextRec = last;
            CrossingTable *region = reinterpret_cast<CrossingTable *>(1);
            Bitmap *b = picture(20, 20);
            Matrix m = pageMatrix(20);
            EXPECT_EQ(PieceClip_buildRegion(hidden->layout, b, &m, &region),
                      emptyBox ? int(Res_pathEmptyArea) : 0);
            EXPECT_EQ(region, nullptr);
            ASSERT_EQ(draw(first, b), 0);
            EXPECT_EQ(drawsOf(hidden->objects), 0);
            EXPECT_EQ(at(b, 10, 10), to565(kBlue));
            EXPECT_EQ(at(b, 2, 10), to565(kGreen)) << "the chain went on";
            EXPECT_EQ(Edr_Page_freeRecords(first), 0);
        }
    });
}

// Out of memory anywhere ends the chain with 1 and frees every temporary.
TEST_F(PieceDrawTest, OutOfMemoryEndsTheChainCleanly)
{
    run([&] {
        const Rect all{0, U(-20), U(20), 0};
        Edr_PageRec *p = filled(all, kBlue, kBlue);
        Edr_PageRec *clipped = filled(all, rgba(0xF8, 0, 0, 0x80), kRed);
        clipped->layout = clipEntry(rectPath(Rect{0, U(-20), U(10), 0}), clipEntry(rectPath(all)));
        p->nextRec = clipped;
        Bitmap *b = picture(20, 20);
        int result = Res_noMemory;
        for (uint64_t n = 1; n < 60 && result == Res_noMemory; n++) {
            size_t before = TestHeap_usedBytes();
            Mem_failAfter(n);
            result = draw(p, b);
            Mem_failAfter(0);
            EXPECT_EQ(TestHeap_usedBytes(), before) << n;
        }
        EXPECT_EQ(result, 0);
        EXPECT_EQ(Edr_Page_freeRecords(p), 0);
    });
}

} // namespace
