// Page rendering: a synthetic page (background, box items, rectangles and
// paths, a piece with two clip paths, an embedded page) drawn through the
// display manager's 71680-byte band memory, through one band holding the
// whole page and through the piece chain drawing, compared with each other
// and with a golden picture; the band cases; the walk around embedded
// pages; the image routine; cost measuring; the backdrop, damage and frame.
//
// Set VEXLAN_WRITE_GOLDEN=1 to write the golden picture anew (into
// tests/fixtures/render/) from the banded drawing; check it by eye before
// committing it.
#include <cstdlib>
#include <string>
#include <vector>

#include "core/result.h"
#include "core/task/task.h"
#include "graphics/drawlist.h"
#include "graphics/keptpath.h"
#include "graphics/piecedraw.h"
#include "graphics/stroke.h"
#include "viewer/thumbrender.h"
#include "viewer/thumbqueue.h"
#include "tests/graphics/png_support.h"
#include "tests/graphics/render_support.h"
#include "graphics/rects.h"

namespace {

constexpr int32_t kWidth = 240, kHeight = 320;
constexpr uint32_t kPageColour = rgba(0xE0, 0xE8, 0xF0);
constexpr uint32_t kInnerColour = rgba(0x30, 0x30, 0x38);

struct Painted {
    std::vector<Rect> rects;
};

void notePainted(void *argument, const Rect *rect)
{
    static_cast<Painted *>(argument)->rects.push_back(*rect);
}

class PageRenderTest : public RenderFixture {
  protected:
    // The scene: the outer page chain (page, clipped piece, embedded page)
    // of doc and the embedded page, page (0, 0) of inner.
    struct Scene {
        Edr_Doc *doc = nullptr;
        Edr_Doc *inner = nullptr;
        Edr_PageRec *chain = nullptr;
        Edr_PageRec *embedded = nullptr; // the embedded-page piece
        Edr_Node *refNode = nullptr;
        ObjHeader *owner = nullptr;
        ObjHeader *stripe = nullptr; // an outer item crossing the embedded page
    };

    // From a task.
    void build(Scene *s)
    {
        ASSERT_EQ(Edr_Doc_create(ctx(), &s->doc, nullptr), 0);
        ASSERT_EQ(Edr_Doc_create(ctx(), &s->inner, nullptr), 0);

        // The embedded page: 100 x 100 pixels, dark, with a framed box and
        // a triangle.
        Rect innerRect{0, U(-100), U(100), 0};
        Edr_PageRec *inner = piece(s->inner, innerRect, kInnerColour);
        ObjHeader *framed = box(Rect{U(10), U(-60), U(60), U(-10)}, rgba(0x20, 0x90, 0x40));
        allBorders(framed, BorderStyle_solid, rgba(0xFF, 0x90, 0x00), U(3));
        inner->objects = chain({box(innerRect, kInnerColour), framed,
                                pathItem(polygon({U(50), U(-95), U(95), U(-95), U(95), U(-50)}),
                                         rgba(0xFF, 0xFF, 0xFF))});
        ASSERT_EQ(Edr_Page_publishLayout(s->inner, 0, 0, 0, inner, 0, 0), 0);

        // The outer page.
        Rect pageRect{0, U(-kHeight), U(kWidth), 0};
        Edr_PageRec *page = piece(s->doc, pageRect, kPageColour);
        ObjHeader *solid = box(Rect{U(10), U(-70), U(110), U(-10)}, rgba(0xFF, 0xE0, 0x80));
        allBorders(solid, BorderStyle_solid, rgba(0xC0, 0x40, 0x20), U(4));
        ObjHeader *inset = box(Rect{U(130), U(-70), U(230), U(-10)}, rgba(0xFF, 0xFF, 0xFF));
        allBorders(inset, BorderStyle_inset, rgba(0x40, 0x40, 0x40), U(6));
        ObjHeader *outset = box(Rect{U(10), U(-150), U(110), U(-90)}, 0);
        allBorders(outset, BorderStyle_outset, rgba(0xC0, 0xC0, 0xC0), U(5));
        ObjHeader *mixed = box(Rect{U(130), U(-150), U(230), U(-90)}, rgba(0xD0, 0xF0, 0xFF));
        borders(mixed, BoxBorder_x0, BorderStyle_solid, rgba(0xE0, 0x00, 0x00), U(8));
        borders(mixed, BoxBorder_y1, BorderStyle_double, rgba(0x00, 0x00, 0xE0), U(6));
        borders(mixed, BoxBorder_y0, BorderStyle_outset, rgba(0x00, 0x80, 0x00), U(4));
        borders(mixed, BoxBorder_x1, BorderStyle_inset, rgba(0x80, 0x00, 0x80), U(2));
        mixed->origin[1] = U(-4); // shown 4 pixels lower
        ObjHeader *triangle = pathItem(polygon({U(120), U(-160), U(235), U(-200), U(125), U(-205)}),
                                       rgba(0xFF, 0x80, 0x00));
        ObjHeader *under =
            pathItem(rectPath(Rect{U(10), U(-310), U(110), U(-170)}), rgba(0xA0, 0xE0, 0xA0));
        s->stripe =
            pathItem(rectPath(Rect{U(120), U(-260), U(236), U(-240)}), rgba(0xE0, 0x20, 0x60));
        page->objects = chain(
            {box(pageRect, kPageColour), solid, inset, outset, mixed, triangle, under, s->stripe});

        // A transparent piece seen only where its two clip paths overlap.
        Edr_PageRec *clipped = piece(s->doc, Rect{U(10), U(-310), U(110), U(-170)}, 0);
        clipped->objects = chain(
            {pathItem(polygon({U(10), U(-310), U(110), U(-170), U(10), U(-170)}),
                      rgba(0x20, 0x40, 0xF0)),
             pathItem(polygon({U(60), U(-300), U(100), U(-240), U(60), U(-180), U(20), U(-240)}),
                      rgba(0xF0, 0x20, 0xF0, 0xA0))});
        clipped->layout = clipEntry(rectPath(Rect{U(20), U(-300), U(100), U(-200)}),
                                    clipEntry(rectPath(Rect{U(40), U(-280), U(105), U(-180)})));

        // The embedded page, placed at (130, 210) from the top-left.
        s->embedded =
            piece(s->doc, Rect{U(130), U(-310), U(230), U(-210)}, 0, Edr_PageBuild_embedded);
        ASSERT_EQ(Edr_Node_allocate(&s->refNode, Edr_NodeType_blob, sizeof(EmbeddedPageRef)), 0);
        *static_cast<EmbeddedPageRef *>(Edr_Node_payload(s->refNode)) =
            EmbeddedPageRef{s->inner, *Matrix_identity(), 0, 0};
        s->owner = Obj_create(&testPathClass, 0);
        s->owner->node = s->refNode;
        s->embedded->objects = s->owner;

        page->nextRec = clipped;
        clipped->nextRec = s->embedded;
        s->chain = page;
    }
    void release(Scene *s)
    {
        EXPECT_EQ(Edr_Page_freeRecords(s->chain), 0);
        Obj_destroy(s->owner);
        Mem_free(s->refNode);
        Edr_Doc_release(s->doc);
        Edr_Doc_release(s->inner);
    }

    // Draws the scene with the walk and the banded routine through band
    // memory of size bytes.
    int drawBanded(Scene *s, Bitmap *b, uint32_t size, Painted *painted, int recurse = 1)
    {
        std::vector<uint8_t> memory(size);
        RenderBuffers *buffers = nullptr;
        EXPECT_EQ(RenderBuffers_create(ctx(), &buffers, memory.data(), size), 0);
        Matrix m = pageMatrix(kHeight);
        Rect clip{0, 0, kWidth, kHeight};
        DrawFlags flags{};
        int r = PageRender_walk(ctx(), s->chain, &m, &clip, &clip, b, nullptr, &flags, notePainted,
                                painted, PageRender_drawBanded, buffers, recurse, 0);
        RenderBuffers_free(buffers);
        return r;
    }
    // The same with the piece chain drawing: the outer chain, then the
    // embedded page's chain over its area.
    void drawPieces(Scene *s, Bitmap *b)
    {
        Matrix m = pageMatrix(kHeight);
        DrawFlags flags{};
        DrawTarget t{b, nullptr, 0, 0};
        ASSERT_EQ(PieceChain_draw(ctx(), s->chain, &m, &t, &flags), 0);
        Edr_PageEntry *entry = nullptr;
        Matrix combined;
        ASSERT_EQ(PagePiece_findEmbedded(s->embedded, &m, &entry, &combined), 0);
        Rect area{130, 10, 230, 110};
        DrawTarget inner{b, &area, 0, 0};
        EXPECT_EQ(PieceChain_draw(ctx(), Edr_Page_deref(entry), &combined, &inner, &flags), 0);
        Edr_Page_release(entry, 0);
    }
};

TEST_F(PageRenderTest, BandsWholePagePiecesAndTheGoldenPictureAgree)
{
    run([&] {
        Scene s;
        ASSERT_NO_FATAL_FAILURE(build(&s));
        Bitmap *banded = picture(kWidth, kHeight);
        Bitmap *whole = picture(kWidth, kHeight, 0x1234);
        Bitmap *pieces = picture(kWidth, kHeight, 0x4321);

        Painted bandPaint, wholePaint;
        ASSERT_EQ(drawBanded(&s, banded, Dispman_pageBandDefault, &bandPaint), 0);
        ASSERT_EQ(drawBanded(&s, whole, kWidth * kHeight * 2 * 3, &wholePaint), 0);
        drawPieces(&s, pieces);

        std::vector<uint16_t> a = pixels(banded), b = pixels(whole), c = pixels(pieces);
        EXPECT_TRUE(a == b) << "banded and whole-page drawings differ";
        EXPECT_TRUE(a == c) << "banded and piece-chain drawings differ";

        // One band over the whole page paints every pixel once: the outer
        // page's rectangles leave the embedded page out, which its own
        // chain paints.
        const Rect innerArea{130, 10, 230, 110};
        int64_t area = 0;
        for (size_t i = 0; i < wholePaint.rects.size(); i++) {
            const Rect &r = wholePaint.rects[i];
            area += int64_t(r.x1 - r.x0) * (r.y1 - r.y0);
            for (size_t j = i + 1; j < wholePaint.rects.size(); j++)
                EXPECT_TRUE(Rect_disjoint(&r, &wholePaint.rects[j]))
                    << i << " and " << j << " overlap";
        }
        EXPECT_EQ(area, int64_t(kWidth) * kHeight);
        ASSERT_EQ(wholePaint.rects.size(), 5u) << "four outer parts, then the embedded page";
        EXPECT_TRUE(Rect_equal(&wholePaint.rects.back(), &innerArea));
        // The band memory cuts the page into bands; the stripe crossing the
        // embedded page is drawn only by the outer page's bands.
        EXPECT_GT(bandPaint.rects.size(), wholePaint.rects.size());

        std::string golden = std::string(VEXLAN_FIXTURES) + "/render/pagerender_golden.png";
        std::vector<uint8_t> rgb = png::rgbFrom565(static_cast<const uint16_t *>(banded->pixels),
                                                   kWidth, kHeight, banded->stride);
        if (getenv("VEXLAN_WRITE_GOLDEN")) {
            EXPECT_TRUE(png::write(golden, rgb, kWidth, kHeight));
        }
        int w = 0, h = 0;
        std::vector<uint8_t> expected = png::read(golden, &w, &h);
        ASSERT_EQ(w, kWidth);
        ASSERT_EQ(h, kHeight);
        EXPECT_TRUE(expected == rgb) << "the drawing differs from " << golden;

        // Pixels the scene fixes: the page colour, the embedded page's
        // colour under the stripe, the stripe outside it, the clipped
        // piece inside both clips and the backdrop outside them.
        // (Memory row r holds the page's pixels from y = -r - 1 to -r.)
        EXPECT_EQ(at(banded, 2, 2), to565(kPageColour));
        EXPECT_EQ(at(banded, 135, 250), to565(kInnerColour))
            << "the stripe stays out of the embedded page";
        EXPECT_EQ(at(banded, 125, 250), to565(rgba(0xE0, 0x20, 0x60)));
        EXPECT_EQ(at(banded, 41, 204), to565(rgba(0x20, 0x40, 0xF0))) << "inside both clip paths";
        EXPECT_EQ(at(banded, 25, 240), to565(rgba(0xA0, 0xE0, 0xA0)))
            << "inside one clip path only";
        EXPECT_EQ(at(banded, 45, 295), to565(rgba(0xA0, 0xE0, 0xA0))) << "below both clip paths";
        release(&s);
    });
}

// A damaged rectangle inside an embedded page draws nothing of the outer
// chain; without recursion nothing at all.
TEST_F(PageRenderTest, ARectangleInsideAnEmbeddedPageDrawsOnlyThatPage)
{
    run([&] {
        Scene s;
        ASSERT_NO_FATAL_FAILURE(build(&s));
        Bitmap *b = picture(kWidth, kHeight);
        std::vector<uint8_t> memory(Dispman_pageBandDefault);
        RenderBuffers *buffers = nullptr;
        ASSERT_EQ(RenderBuffers_create(ctx(), &buffers, memory.data(), Dispman_pageBandDefault), 0);
        Matrix m = pageMatrix(kHeight);
        Rect page{0, 0, kWidth, kHeight}, clip{150, 30, 200, 80};
        DrawFlags flags{};
        for (int recurse : {0, 1}) {
            Painted painted;
            ASSERT_EQ(PageRender_walk(ctx(), s.chain, &m, &clip, &page, b, nullptr, &flags,
                                      notePainted, &painted, PageRender_drawBanded, buffers,
                                      recurse, 0),
                      0);
            EXPECT_EQ(drawsOf(s.stripe), 0);
            ASSERT_EQ(painted.rects.size(), size_t(recurse));
            if (recurse) {
                EXPECT_TRUE(Rect_equal(&painted.rects[0], &clip));
            }
        }
        EXPECT_EQ(at(b, 195, 320 - 80), to565(kInnerColour));
        EXPECT_EQ(at(b, 149, 320 - 80), 0xDEAD);
        RenderBuffers_free(buffers);
        release(&s);
    });
}

// The walk without memory for its rectangle list reports it and draws
// nothing (rather than 0 with nothing drawn); a list that cannot grow
// leaves its rectangles whole, embedded areas included.
TEST_F(PageRenderTest, TheWalkReportsMissingMemoryAndDrawsWholeRectanglesWhenTheListCannotGrow)
{
    run([&] {
        Scene s;
        ASSERT_NO_FATAL_FAILURE(build(&s));
        // A second view of the embedded page: its cut needs a longer list.
        Edr_PageRec *twice =
            piece(s.doc, Rect{U(130), U(-200), U(230), U(-100)}, 0, Edr_PageBuild_embedded);
        twice->objects = s.owner;
        s.embedded->nextRec = twice;
        Bitmap *b = picture(kWidth, kHeight);
        std::vector<uint8_t> memory(Dispman_pageBandDefault);
        RenderBuffers *buffers = nullptr;
        ASSERT_EQ(RenderBuffers_create(ctx(), &buffers, memory.data(), Dispman_pageBandDefault), 0);
        Matrix m = pageMatrix(kHeight);
        Rect page{0, 0, kWidth, kHeight};
        DrawFlags flags{};
        auto walk = [&](Painted *painted) {
            return PageRender_walk(ctx(), s.chain, &m, &page, &page, b, nullptr, &flags,
                                   notePainted, painted, PageRender_drawBanded, buffers, 0, 0);
        };
        Painted painted;
        Mem_failAfter(1);
        EXPECT_EQ(walk(&painted), int(Res_noMemory));
        Mem_failAfter(0);
        EXPECT_TRUE(painted.rects.empty());

        // The list grows for the second page's cut: both areas stay out.
        ASSERT_EQ(walk(&painted), 0);
        const Rect second{130, 120, 230, 220};
        for (const Rect &r : painted.rects)
            EXPECT_TRUE(Rect_disjoint(&r, &second));
        // When it cannot grow, the rectangle holding the second page stays
        // whole and is drawn. Failing each allocation in turn finds the
        // growth; every other failure is only a drawing error, ignored.
        bool covered = false;
        for (uint64_t n = 2; n < 40 && !covered; n++) {
            painted.rects.clear();
            Mem_failAfter(n);
            EXPECT_EQ(walk(&painted), 0) << n;
            Mem_failAfter(0);
            for (const Rect &r : painted.rects)
                covered = covered || !Rect_disjoint(&r, &second);
        }
        EXPECT_TRUE(covered);
        RenderBuffers_free(buffers);
        release(&s);
    });
}

// A page that embeds itself would recurse without end: the walk stops at
// the document depth limit, where the innermost level is drawn whole, so
// every pixel is painted once.
TEST_F(PageRenderTest, APageThatEmbedsItselfStopsAtTheDepthLimit)
{
    run([&] {
        Edr_Doc *doc = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
        Rect all{0, U(-100), U(100), 0};
        Edr_PageRec *page = piece(doc, all, kPageColour);
        page->objects = box(all, kPageColour);
        Edr_PageRec *self =
            piece(doc, Rect{U(10), U(-90), U(90), U(-10)}, 0, Edr_PageBuild_embedded);
        Edr_Node *node = nullptr;
        ASSERT_EQ(Edr_Node_allocate(&node, Edr_NodeType_blob, sizeof(EmbeddedPageRef)), 0);
        // Each level at half size, so that every one is drawn.
        *static_cast<EmbeddedPageRef *>(Edr_Node_payload(node)) =
            EmbeddedPageRef{doc, Matrix{0x8000, 0, 0, 0x8000, 0, 0}, 0, 0};
        ObjHeader *owner = pathItem(nullptr, 0);
        owner->node = node;
        self->objects = owner;
        page->nextRec = self;
        ASSERT_EQ(Edr_Page_publishLayout(doc, 0, 0, 0, page, 0, 0), 0);

        Bitmap *b = picture(100, 100);
        std::vector<uint8_t> memory(Dispman_pageBandDefault);
        RenderBuffers *buffers = nullptr;
        ASSERT_EQ(RenderBuffers_create(ctx(), &buffers, memory.data(), Dispman_pageBandDefault), 0);
        Matrix m = pageMatrix(100);
        Rect clip{0, 0, 100, 100};
        DrawFlags flags{};
        Painted painted;
        EXPECT_EQ(PageRender_walk(ctx(), page, &m, &clip, &clip, b, nullptr, &flags, notePainted,
                                  &painted, PageRender_drawBanded, buffers, 1, 0),
                  0);
        int64_t area = 0;
        for (const Rect &r : painted.rects)
            area += int64_t(r.x1 - r.x0) * (r.y1 - r.y0);
        EXPECT_EQ(area, 100 * 100);
        for (uint16_t p : pixels(b))
            ASSERT_EQ(p, to565(kPageColour));
        RenderBuffers_free(buffers);

        ThumbEntry entry{0, doc, 5, 0, 0, 0, nullptr, nullptr};
        EXPECT_EQ(ThumbRender_isEmbedded(page, &entry), 0);
        Obj_destroy(owner);
        Mem_free(node);
        Edr_Doc_release(doc);
    });
}

// ------------------------------------------------------------ band cases

class BandTest : public RenderFixture {
  protected:
    // A page of w x h pixels with the page background item and a stripe.
    Edr_PageRec *page(Edr_Doc *doc, int32_t w, int32_t h)
    {
        Rect r{0, U(-h), U(w), 0};
        Edr_PageRec *p = piece(doc, r, kPageColour);
        p->objects = chain({box(r, kPageColour),
                            pathItem(rectPath(Rect{0, U(-h), U(w), U(-h) + U(1)}), rgba(0, 0, 0))});
        return p;
    }
    int draw(Edr_PageRec *chain, Bitmap *b, const Rect &rect, uint32_t size, Painted *painted,
             const DrawFlags &flags)
    {
        std::vector<uint8_t> memory(size ? size : 1);
        RenderBuffers *buffers = nullptr;
        EXPECT_EQ(RenderBuffers_create(ctx(), &buffers, memory.data(), size), 0);
        Matrix m = pageMatrix(b->height);
        Rect pageRect{0, 0, b->width, b->height};
        int r = PageRender_drawBanded(ctx(), buffers, chain, &rect, nullptr, b, &pageRect, &m,
                                      &flags, notePainted, painted, 0);
        RenderBuffers_free(buffers);
        return r;
    }
};

// 8192 bytes and 240 two-byte pixels: 17 rows a band, 19 bands for 320
// rows (the last aligned to the bottom); a height that is not a multiple
// of the band height repeats rows of the band above.
TEST_F(BandTest, BandsHaveOneHeightAndTheLastIsAlignedToTheBottom)
{
    run([&] {
        Edr_PageRec *p = page(nullptr, 240, 320);
        Bitmap *b = picture(240, 320);
        Painted painted;
        DrawFlags flags{};
        ASSERT_EQ(draw(p, b, Rect{0, 0, 240, 320}, 8192, &painted, flags), 0);
        ASSERT_EQ(painted.rects.size(), 19u);
        for (size_t i = 0; i < painted.rects.size(); i++) {
            EXPECT_EQ(painted.rects[i].y1 - painted.rects[i].y0, 17) << i;
        }
        EXPECT_EQ(painted.rects[0].y1, 320);
        EXPECT_EQ(painted.rects.back().y0, 0);
        EXPECT_EQ(painted.rects[17].y0, 320 - 18 * 17);
        EXPECT_EQ(painted.rects.back().y1, 17) << "overlaps the band above, which ends at 14";
        EXPECT_EQ(at(b, 5, 319), 0) << "the bottom stripe is drawn once the band reaches it";
        EXPECT_EQ(at(b, 5, 0), to565(kPageColour));

        // A rectangle of 10 rows through 8 rows a band: 2 bands of 5.
        painted.rects.clear();
        ASSERT_EQ(draw(p, b, Rect{0, 100, 10, 110}, 8 * 20, &painted, flags), 0);
        ASSERT_EQ(painted.rects.size(), 2u);
        EXPECT_EQ(painted.rects[1].y0, 100);
        EXPECT_EQ(painted.rects[1].y1, 105);
        EXPECT_EQ(Edr_Page_freeRecords(p), 0);
    });
}

TEST_F(BandTest, MemoryForLessThanOneRowDrawsNothing)
{
    run([&] {
        Edr_PageRec *p = page(nullptr, 240, 320);
        Bitmap *b = picture(240, 320);
        Painted painted;
        DrawFlags flags{};
        EXPECT_EQ(draw(p, b, Rect{0, 0, 240, 320}, 479, &painted, flags),
                  int(PageRender_bandTooSmall));
        // With clip paths the memory is cut in three: 3 x 480 bytes hold a
        // row each, 1439 bytes do not.
        p->layout = clipEntry(rectPath(Rect{0, U(-320), U(240), 0}));
        EXPECT_EQ(draw(p, b, Rect{0, 0, 240, 320}, 1439, &painted, flags),
                  int(PageRender_bandTooSmall));
        EXPECT_TRUE(painted.rects.empty());
        EXPECT_EQ(draw(p, b, Rect{0, 0, 240, 320}, 1440, &painted, flags), 0);
        EXPECT_EQ(painted.rects.size(), 320u);
        EXPECT_EQ(at(b, 9, 0), to565(kPageColour));
        // An empty rectangle draws nothing and asks for no memory.
        painted.rects.clear();
        EXPECT_EQ(draw(p, b, Rect{5, 5, 5, 9}, 0, &painted, flags), 0);
        EXPECT_TRUE(painted.rects.empty());
        EXPECT_EQ(Edr_Page_freeRecords(p), 0);
    });
}

// Highlight items are drawn over the band unless flags bit 3 asks for
// none; then every band starts from the page colour.
TEST_F(BandTest, HighlightsAreDrawnUnlessFlagsBit3)
{
    run([&] {
        Edr_PageRec *p = page(nullptr, 40, 40);
        ObjHeader *mark =
            pathItem(rectPath(Rect{U(10), U(-30), U(30), U(-10)}), rgba(0xFF, 0xFF, 0));
        p->overlays = mark;
        Bitmap *b = picture(40, 40);
        Painted painted;
        DrawFlags flags{};
        // Bands of 8 rows: the mark (rows 10 to 30) is drawn in the three
        // bands it reaches.
        ASSERT_EQ(draw(p, b, Rect{0, 0, 40, 40}, 40 * 2 * 8, &painted, flags), 0);
        EXPECT_EQ(drawsOf(mark), 3);
        EXPECT_EQ(at(b, 20, 20), to565(rgba(0xFF, 0xFF, 0)));
        flags.flags = DrawFlags_noHighlights;
        ASSERT_EQ(draw(p, b, Rect{0, 0, 40, 40}, 40 * 2 * 8, &painted, flags), 0);
        EXPECT_EQ(drawsOf(mark), 3);
        EXPECT_EQ(at(b, 20, 20), to565(kPageColour));
        EXPECT_EQ(Edr_Page_freeRecords(p), 0);
    });
}

// A piece whose predecessor lies outside the band still composites over
// the band as it was before it (the backdrop is taken right before every
// clipped piece).
TEST_F(BandTest, AClippedPieceAfterAPieceOutsideTheBandShowsTheBandBeforeIt)
{
    run([&] {
        Edr_PageRec *p = page(nullptr, 40, 40);
        Edr_PageRec *away = piece(nullptr, Rect{U(0), U(-40), U(40), U(-30)}, 0);
        away->objects = pathItem(rectPath(Rect{U(0), U(-40), U(40), U(-30)}), rgba(0, 0xFF, 0));
        Edr_PageRec *clipped = piece(nullptr, Rect{0, U(-20), U(40), 0}, 0);
        clipped->objects = pathItem(rectPath(Rect{0, U(-20), U(40), 0}), rgba(0xFF, 0, 0));
        clipped->layout = clipEntry(rectPath(Rect{U(10), U(-15), U(30), U(-5)}));
        p->nextRec = away;
        away->nextRec = clipped;
        Bitmap *b = picture(40, 40);
        Painted painted;
        DrawFlags flags{};
        // Bands of 8 rows: the first band (rows 0-7) misses the piece away.
        ASSERT_EQ(draw(p, b, Rect{0, 0, 40, 40}, 40 * 2 * 8 * 3, &painted, flags), 0);
        EXPECT_EQ(at(b, 12, 6), to565(rgba(0xFF, 0, 0)));
        EXPECT_EQ(at(b, 2, 6), to565(kPageColour));
        EXPECT_EQ(at(b, 2, 12), to565(kPageColour));
        EXPECT_EQ(at(b, 2, 35), to565(rgba(0, 0xFF, 0)));
        EXPECT_EQ(Edr_Page_freeRecords(p), 0);
    });
}

// ---------------------------------------------------------- image pages

class ImagePageTest : public BandTest {
  protected:
    DispmanCtx dm{};
    DispmanView view{};
    std::vector<uint8_t> memory;
    void SetUp() override
    {
        BandTest::SetUp();
        ctx()->dispman = &dm;
    }
    void TearDown() override
    {
        ctx()->dispman = nullptr;
        BandTest::TearDown();
    }
};

TEST_F(ImagePageTest, ThePageImageRoutineScalesThePageImageOrFallsBackToThePageColour)
{
    run([&] {
        Edr_PageRec *p = page(nullptr, 40, 40);
        view.bitmap = picture(40, 40);
        Matrix m = pageMatrix(40);
        Rect r{0, 0, 40, 40};
        DrawFlags flags{};
        // No page image: the page colour, noted as damage.
        ASSERT_EQ(
            PageRender_drawWithImage(ctx(), &view, p, &r, nullptr, view.bitmap, &r, &m, &flags), 0);
        EXPECT_EQ(at(view.bitmap, 5, 39), to565(kPageColour));
        EXPECT_TRUE(Rect_equal(&view.damage, &r));
        // A page image with band memory too small for a row: 4354.
        ASSERT_EQ(PixelBuf_create(&p->thumb, 5, 5, Pixel_format565, 8), 0);
        memory.resize(79);
        dm.pageBandMemory = memory.data();
        dm.pageBandSize = 79;
        EXPECT_EQ(
            PageRender_drawWithImage(ctx(), &view, p, &r, nullptr, view.bitmap, &r, &m, &flags),
            int(PageRender_imageBandTooSmall));
        // The page image scaled to the page, band by band: a picture whose
        // left half is green and right half blue stays so at eight times
        // the size.
        memory.resize(800);
        dm.pageBandMemory = memory.data();
        dm.pageBandSize = 800;
        Edr_Page_freeObjects(p->objects); // nothing drawn over the image
        p->objects = nullptr;
        PixelBuf_fillRect(p->thumb, 0, 0, 5, 5, 0x07E0);
        PixelBuf_fillRect(p->thumb, 3, 0, 2, 5, 0x001F);
        PixelBuf_fillRect(static_cast<PixelBuf *>(bufs.back()), 0, 0, 40, 40, 0x0F0F);
        ASSERT_EQ(
            PageRender_drawWithImage(ctx(), &view, p, &r, nullptr, view.bitmap, &r, &m, &flags), 0);
        for (int y : {0, 13, 27, 39}) {
            EXPECT_EQ(at(view.bitmap, 2, y), 0x07E0) << y;
            EXPECT_EQ(at(view.bitmap, 37, y), 0x001F) << y;
        }
        EXPECT_EQ(at(view.bitmap, 20, 20), 0x07E0); // pixel 2 of 5, still green
        // Only part of the page asked for: the rest stays as it was.
        PixelBuf_fillRect(static_cast<PixelBuf *>(bufs.back()), 0, 0, 40, 40, 0x0F0F);
        Rect part{30, 10, 40, 25};
        ASSERT_EQ(
            PageRender_drawWithImage(ctx(), &view, p, &part, nullptr, view.bitmap, &r, &m, &flags),
            0);
        EXPECT_EQ(at(view.bitmap, 35, 39 - 12), 0x001F);
        EXPECT_EQ(at(view.bitmap, 5, 39 - 12), 0x0F0F);
        // A page with its own drawing object draws nothing here.
        ASSERT_EQ(Edr_Page_setAltRect(p, nullptr), 0);
        PixelBuf_fillRect(static_cast<PixelBuf *>(bufs.back()), 0, 0, 40, 40, 0x0F0F);
        ASSERT_EQ(
            PageRender_drawWithImage(ctx(), &view, p, &r, nullptr, view.bitmap, &r, &m, &flags), 0);
        EXPECT_EQ(at(view.bitmap, 5, 39), 0x0F0F);
        EXPECT_EQ(Edr_Page_freeRecords(p), 0);
    });
}

TEST_F(ImagePageTest, CostsAreSummedUntilTheLimitIsPassed)
{
    run([&] {
        Edr_PageRec *p = page(nullptr, 40, 40);
        Edr_Page_freeObjects(p->objects);
        p->objects = chain({pathItem(rectPath(Rect{0, U(-4), U(4), 0}), rgba(0, 0, 0), 30),
                            pathItem(rectPath(Rect{0, U(-4), U(4), 0}), rgba(0, 0, 0), 50)});
        ObjHeader *hidden = pathItem(rectPath(Rect{0, U(-4), U(4), 0}), rgba(0, 0, 0), 1000);
        hidden->flags |= Obj_hidden;
        Obj_setNext(Obj_next(p->objects), hidden);
        Edr_PageRec *second = piece(nullptr, Rect{0, U(-40), U(40), 0}, 0);
        second->objects = pathItem(rectPath(Rect{0, U(-4), U(4), 0}), rgba(0, 0, 0), 7);
        p->nextRec = second;
        view.bitmap = picture(40, 40);
        Matrix m = pageMatrix(40);
        Rect r{0, 0, 40, 40};
        DrawFlags flags{};
        flags.cost[DrawCost_limit] = 1000;
        uint32_t cost = 0;
        ASSERT_EQ(PageRender_measureCost(ctx(), p, &r, &view, &r, &m, &flags, &cost), 0);
        EXPECT_EQ(cost, 87u) << "hidden items are not measured";
        flags.cost[DrawCost_limit] = 60;
        ASSERT_EQ(PageRender_measureCost(ctx(), p, &r, &view, &r, &m, &flags, &cost), 0);
        EXPECT_EQ(cost, 80u) << "the second piece is not measured once the limit is passed";
        EXPECT_EQ(PageRender_measureCost(ctx(), p, &r, &view, &r, &m, nullptr, &cost),
                  int(Res_nullInput));
        EXPECT_EQ(cost, 0xFFFFFFFFu);
        EXPECT_EQ(Edr_Page_freeRecords(p), 0);
    });
}

// ------------------------------------------------- backdrop, damage, frame

TEST_F(ImagePageTest, BackdropTilesRepeatFromTheOrigin)
{
    run([&] {
        Edr_PageRec *p = page(nullptr, 200, 200);
        view.bitmap = picture(200, 200);
        Painted painted;
        // Without a tile: the page colour.
        Rect r{0, 0, 64, 64};
        ASSERT_EQ(PageRender_drawBackdrop(p, &r, &view), 0);
        EXPECT_EQ(at(view.bitmap, 0, 199), to565(kPageColour));
        // A 64 x 64 tile: x from 0 to 64 touches columns 0 and 1, the
        // second cut to nothing and not drawn.
        PixelBuf *tile = nullptr;
        ASSERT_EQ(PixelBuf_create(&tile, 64, 64, Pixel_format565, 0x10000), 0);
        PixelBuf_fillRect(tile, 0, 0, 64, 64, 0x00FF);
        PixelBuf_fillRect(tile, 0, 63, 1, 1, 0xF000); // its lower-left pixel
        view.backdropTile = tile;
        view.damage = Rect{0, 0, 0, 0};
        view.hooks.beginEnd = [](Edr_ScreenHooks *hooks, int phase) {
            if (phase == 0)
                ++*static_cast<int *>(hooks->user);
        };
        int fills = 0;
        view.hooks.user = &fills;
        ASSERT_EQ(PageRender_drawBackdrop(p, &r, &view), 0);
        EXPECT_EQ(fills, 1);
        EXPECT_TRUE(Rect_equal(&view.damage, &r));
        Rect wide{10, 10, 150, 100};
        fills = 0;
        ASSERT_EQ(PageRender_drawBackdrop(p, &wide, &view), 0);
        EXPECT_EQ(fills, 3 * 2);
        EXPECT_EQ(at(view.bitmap, 128, 199 - 64), 0xF000) << "the tile at (128, 64)";
        EXPECT_EQ(at(view.bitmap, 129, 199 - 64), 0x00FF);
        Rect all{0, 0, 150, 100};
        EXPECT_TRUE(Rect_equal(&view.damage, &all));
        PixelBuf_destroy(tile);
        EXPECT_EQ(Edr_Page_freeRecords(p), 0);
    });
}

// The frame is drawn on the sides of the page frame that a drawn rectangle
// reaches, in grey; formats without a 16-bit packing get none.
TEST_F(ImagePageTest, TheFrameLinesFollowThePageFrameSides)
{
    run([&] {
        view.bitmap = picture(20, 20);
        view.pageFrame = Rect{2, 3, 15, 18};
        view.frameFlag = 1;
        Rect left{0, 0, 8, 20};
        PageRender_noteDrawn(&view, &left);
        const uint16_t grey = to565(0xFF808080);
        EXPECT_EQ(at(view.bitmap, 2, 20 - 10), grey);    // column x0
        EXPECT_EQ(at(view.bitmap, 5, 20 - 1 - 3), grey); // row y0
        EXPECT_EQ(at(view.bitmap, 5, 20 - 18), grey);    // row y1 - 1
        EXPECT_EQ(at(view.bitmap, 14, 20 - 10), 0xDEAD) << "x1 not reached";
        EXPECT_EQ(at(view.bitmap, 3, 20 - 10), 0xDEAD);
        EXPECT_EQ(at(view.bitmap, 1, 20 - 10), 0xDEAD);
        Rect right{8, 0, 20, 20};
        PageRender_noteDrawn(&view, &right);
        EXPECT_EQ(at(view.bitmap, 14, 20 - 10), grey);
        Rect both{0, 0, 20, 20};
        EXPECT_TRUE(Rect_equal(&view.damage, &both));

        for (uint32_t format : {uint32_t(Pixel_formatGrey8), uint32_t(Pixel_formatRGBA)}) {
            Bitmap *b = picture(20, 20, 0, format);
            view.bitmap = b;
            PageRender_noteDrawn(&view, &both);
            const uint8_t *pixelsAt = static_cast<const uint8_t *>(b->pixels);
            for (size_t i = 0; i < size_t(b->stride) * 20; i++)
                ASSERT_EQ(pixelsAt[i], 0) << "format " << format;
        }
        // Packing by format, and a rectangle reaching out of the bitmap.
        Bitmap *b444 = picture(4, 4, 0, Pixel_format444);
        Rect out{-5, -5, 2, 100};
        Bitmap_fillRect16(b444, &out, rgba(0xF0, 0x80, 0x10));
        EXPECT_EQ(at(b444, 1, 3), 0xF81);
        EXPECT_EQ(at(b444, 2, 3), 0);
        Bitmap *b555 = picture(4, 4, 0, Pixel_format555);
        Bitmap_fillRect16(b555, nullptr, rgba(0xF8, 0x80, 0x08));
        EXPECT_EQ(at(b555, 3, 0), (1 << 10) | (16 << 5) | 31);
    });
}

} // namespace

namespace {

// A drawing list over a w x h page of strokes and fills that cross several
// 17-row bands, in page units.
void pagerenderTestDrawing(DrawStyle *style, int32_t w, int32_t h)
{
    DrawStyle_init(style);
    uint32_t seed = 5;
    auto next = [&seed](int32_t below) {
        seed = seed * 1103515245u + 12345u;
        return int32_t((seed >> 8) % uint32_t(below));
    };
    for (int i = 0; i < 120; i++) {
        int32_t x = next(w - 40), y = -next(h - 50) - 45;
        Path *p = nullptr;
        ASSERT_EQ(Path_create(&p, 0x10000), 0);
        DrawPaint paint = DrawPaint_defaults;
        if (i % 2) {
            paint.fillColour = 0;
            paint.strokeColour = 0xFF000000u | uint32_t(next(0xFFFFFF));
            paint.penWidth = U(2);
            paint.penFlags = Pen_joinRound << Pen_joinShift | Pen_capRound << Pen_startCapShift;
            ASSERT_EQ(Path_moveTo(p, U(x), U(y)), 0);
            ASSERT_EQ(
                Path_curveTo(p, U(x + 10), U(y + 40), U(x + 30), U(y - 10), U(x + 35), U(y + 44)),
                0);
        } else {
            paint.fillColour = 0xC0000000u | uint32_t(next(0xFFFFFF));
            paint.strokeColour = 0xFF202020u;
            paint.penWidth = U(1);
            Rect r{U(x), U(y), U(x + 5 + next(30)), U(y + 5 + next(40))};
            ASSERT_EQ(Path_addRect(p, &r), 0);
        }
        ASSERT_EQ(DrawStyle_appendPath(style, p, &paint), 0);
        Path_destroy(p);
    }
}

} // namespace

// Figures that cross bands are drawn from paths kept between the bands: the
// page comes out as drawn in one band, and once drawn the store is empty
// and no bitmap points at it.
TEST_F(BandTest, DrawingListsAcrossBandsMatchOneBandAndKeepNothingAfterwards)
{
    run([&] {
        const int32_t w = 240, h = 320;
        DrawStyle style{};
        pagerenderTestDrawing(&style, w, h);
        Rect bounds{};
        ASSERT_EQ(DrawList_bounds(ctx(), style.words, style.used, &bounds), 0);
        ObjHeader *list = Obj_create(&DrawListItem_class, 0);
        ASSERT_NE(list, nullptr);
        DrawListItemPart *part = static_cast<DrawListItemPart *>(Obj_part(list));
        *part = DrawListItemPart{style.words, style.used, bounds};
        Obj_setBox(list, &bounds);
        Rect all{0, U(-h), U(w), 0};
        Edr_PageRec *p = piece(nullptr, all, kPageColour);
        p->objects = chain({box(all, kPageColour), list});

        std::vector<std::vector<uint16_t>> drawn;
        for (uint32_t size : {uint32_t(w) * h * 2, 8192u, 1024u}) {
            SCOPED_TRACE(size);
            Bitmap *b = picture(w, h);
            std::vector<uint8_t> memory(size);
            RenderBuffers *buffers = nullptr;
            ASSERT_EQ(RenderBuffers_create(ctx(), &buffers, memory.data(), size), 0);
            Matrix m = pageMatrix(h);
            Rect page{0, 0, w, h};
            DrawFlags flags{};
            ASSERT_EQ(PageRender_drawBanded(ctx(), buffers, p, &page, nullptr, b, &page, &m, &flags,
                                            nullptr, nullptr, 0),
                      0);
            EXPECT_EQ(buffers->kept.capacity, 0u);
            EXPECT_EQ(buffers->kept.bytes, 0u);
            EXPECT_EQ(buffers->bandBitmap->keptPaths, nullptr);
            EXPECT_EQ(buffers->scratchBitmap->keptPaths, nullptr);
            if (size != uint32_t(w) * h * 2) {
                EXPECT_GT(buffers->kept.hits, 0u) << "later bands took kept paths";
            }
            RenderBuffers_free(buffers);
            drawn.push_back(pixels(b));
        }
        size_t painted = 0;
        for (uint16_t v : drawn[0])
            painted += v != to565(kPageColour) ? 1 : 0;
        EXPECT_GT(painted, size_t(w) * h / 10) << "the figures cover a good part of the page";
        EXPECT_EQ(drawn[1], drawn[0]);
        EXPECT_EQ(drawn[2], drawn[0]);
        EXPECT_EQ(Edr_Page_freeRecords(p), 0);
        DrawStyle_free(&style);
    });
}
