// The display manager's passes driven through their threads: a view shows
// a page whose display list is a set of solid rectangles, scripted request
// sequences pan, zoom, place and switch it, and after the passes the view's
// pixels must equal a second view that draws the final geometry from
// scratch. A drawing hook in the rectangles counts what each pass draws,
// with which flags and on which thread; the screen's callback records the
// lock, unlock and present calls.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/container/obj.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/task.h"
#include "core/task/worker.h"
#include "document/edr/node.h"
#include "document/edr/page.h"
#include "graphics/bitmap.h"
#include "graphics/drawitem.h"
#include "graphics/path.h"
#include "graphics/pixelbuf.h"
#include "viewer/thumbqueue.h"
#include "tests/viewer/dispman_fixture.h"
#include "viewer/dispupdate.h"
#include "viewer/screen/screen.h"

namespace {

// A resolution at which a pixel is exactly 512 page units, so that pans by
// whole pixels move pages by whole pixels.
constexpr int32_t kRes = 128;
constexpr int32_t P(int32_t px)
{
    return px * 512;
}

constexpr uint32_t rgba(uint32_t r, uint32_t g, uint32_t b)
{
    return 0xFF000000u | b << 16 | g << 8 | r;
}

// A rectangle item: fills its own path in its colour; its draws are
// counted (all, and those made on the high-quality updater) with the flags
// of the last one. One item may queue a quick redraw whenever the
// high-quality updater draws it, standing for requests that keep arriving.
struct RectPart {
    Path *path;
    uint32_t colour;
    int draws;
    int hqDraws;
    uint32_t lastFlags;
    int measures;
    DispmanView *queueOnHq; // non-null: queue a redraw of this view from the high-quality pass
};

int rectDraw(EngineContext *ctx, ObjHeader *item, const Rect *, const Matrix *matrix,
             const DrawTarget *target, const DrawFlags *flags, intptr_t)
{
    RectPart *part = static_cast<RectPart *>(Obj_part(item));
    part->draws++;
    part->lastFlags = flags ? flags->flags : 0;
    DispmanCtx *dm = static_cast<DispmanCtx *>(ctx->dispman);
    if (dm && Task_current(ctx) == dm->hqUpdater) {
        part->hqDraws++;
        if (part->queueOnHq) {
            DispmanRedrawArg arg{part->queueOnHq, Rect{0, 0, 1, 1}};
            (void)Dispman_queueRedraw(ctx, DispmanSub_quick, 0, &arg);
        }
    }
    DrawItem *d = target->bitmap->drawItem;
    d->kind = DrawItem_kindPath;
    d->shape.path = FillRequest{};
    d->shape.path.path = part->path;
    d->shape.path.s = 3;
    d->shape.path.matrix = matrix;
    d->paintKind = DrawItem_sourceSolid;
    d->paint.solid = {Pixel_formatRGBA, part->colour & 0xFFFFFF};
    d->maskKind = DrawItem_sourceSolid;
    d->mask.solid = {Pixel_formatGrey8, 255};
    d->cachedRowOp = nullptr;
    return DrawItem_render(d, nullptr, nullptr, target);
}

int rectMeasure(EngineContext *, ObjHeader *item, const Rect *, const Matrix *, const DrawTarget *,
                const DrawFlags *, uint32_t *amount)
{
    static_cast<RectPart *>(Obj_part(item))->measures++;
    *amount = 100;
    return 0;
}

void rectFree(ObjHeader *item)
{
    Path_destroy(static_cast<RectPart *>(Obj_part(item))->path);
}

const ObjItemOps rectOps = {rectDraw, rectMeasure, nullptr, 1};
const ObjClass rectClass = {&rectOps, int32_t(sizeof(RectPart)), rectFree, Obj_itemPlain};

// A rectangle in pixels of the page (y down from its top edge).
struct PageRect {
    int32_t x0, y0, x1, y1;
    uint32_t colour;
};

// One screen with its pixels and a log of its callback's operations.
struct TestScreen {
    Screen screen{};
    std::vector<uint16_t> pixels;
    std::string ops;
};

int screenOp(Screen *, void *argument, int32_t op, const Rect *)
{
    static_cast<TestScreen *>(argument)->ops += char('0' + op);
    return 0;
}

class DispUpdateTest : public DispmanFixture {
  protected:
    void TearDown() override
    {
        run([this] {
            for (Edr_Doc *d : docs)
                Edr_Doc_release(d);
        });
        docs.clear();
        DispmanFixture::TearDown();
    }

    void setUpScreen(TestScreen &s, int32_t w, int32_t h)
    {
        s.pixels.assign(size_t(w) * h, 0x1234);
        s.screen.thirdWord = 50;
        s.screen.format = Pixel_format565;
        s.screen.resolution = kRes;
        s.screen.width = s.screen.fullWidth = w;
        s.screen.height = s.screen.fullHeight = h;
        s.screen.pixels = s.pixels.data();
        s.screen.lockOp = screenOp;
        s.screen.callbackArg = &s;
    }

    // A document whose page (key 1, kind 0) is w x h pixels of colour bg
    // with the rectangles on it; the items are returned in order.
    Edr_Doc *pageDoc(int32_t w, int32_t h, uint32_t bg, std::initializer_list<PageRect> rects,
                     std::vector<ObjHeader *> *items = nullptr)
    {
        Edr_Doc *doc = nullptr;
        EXPECT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
        Edr_PageRec *rec = static_cast<Edr_PageRec *>(Mem_calloc(1, sizeof(Edr_PageRec)));
        rec->doc = doc;
        rec->bounds[0] = 0;
        rec->bounds[1] = -P(h);
        rec->bounds[2] = P(w);
        rec->bounds[3] = 0;
        for (int i = 0; i < 4; i++)
            rec->background[i] = uint8_t(bg >> (8 * i));
        // Layout gives every page a first item that paints its background.
        std::vector<PageRect> all{{0, 0, w, h, bg}};
        all.insert(all.end(), rects.begin(), rects.end());
        ObjHeader *first = nullptr, *last = nullptr;
        for (const PageRect &r : all) {
            Rect box{P(r.x0), -P(r.y1), P(r.x1), -P(r.y0)};
            Path *path = nullptr;
            EXPECT_EQ(Path_create(&path, 0x10000), 0);
            EXPECT_EQ(Path_addRect(path, &box), 0);
            ObjHeader *item = Obj_create(&rectClass, 0);
            *static_cast<RectPart *>(Obj_part(item)) =
                RectPart{path, r.colour, 0, 0, 0, 0, nullptr};
            Obj_setBox(item, &box);
            if (last)
                Obj_setNext(last, item);
            else
                first = item;
            last = item;
            if (items && &r != &all[0])
                items->push_back(item);
        }
        rec->objects = first;
        EXPECT_EQ(Edr_Page_publishLayout(doc, 1, 0, 0, rec, 0, 1), 0);
        docs.push_back(doc);
        return doc;
    }

    // A view over s showing doc's page at (x, y) pixels from the view's
    // top-left corner with the given zoom; returns the page link.
    DispmanView *makeView(TestScreen &s, uint32_t colour = rgba(0x20, 0x40, 0x60))
    {
        DispmanView *view = nullptr;
        EXPECT_EQ(Dispman_createView(ctx(), &view, &s.screen, nullptr, colour, nullptr), 0);
        return view;
    }
    static Edr_Node *link(DispmanView *view, Edr_Doc *doc, int32_t x, int32_t y,
                          int32_t zoom = 0x10000)
    {
        const int32_t placement[6] = {zoom, 0, 0, zoom, P(x), -P(y)};
        Edr_Node *node = nullptr;
        EXPECT_EQ(Edr_Node_createSubdoc(view->backdropDoc, view->pageGroup, Edr_Insert_lastChild,
                                        &node, doc, placement, 1, 0),
                  0);
        Edr_Node_release(view->backdropDoc, node);
        return node;
    }
    static const int32_t *placement(Edr_Node *link)
    {
        return Edr_Node_subdocPayload(link)->placement;
    }
    void redrawAll(DispmanView *view, uint32_t subCode = DispmanSub_hqAndQuick)
    {
        EXPECT_EQ(Dispman_queueRedraw(ctx(), subCode, 1, view), 0);
    }
    void pan(DispmanView *view, Edr_Node *node, int32_t change, int32_t dx, int32_t dy)
    {
        EXPECT_EQ(Dispman_queuePan(ctx(), change, view, view->backdropDoc, 0, 0, node, dx, dy), 0);
    }
    void zoom(DispmanView *view, Edr_Node *node, uint32_t subCode, int32_t z, int32_t cx,
              int32_t cy)
    {
        EXPECT_EQ(Dispman_queueZoom(ctx(), subCode, view, view->backdropDoc, 0, 0, node, z, cx, cy),
                  0);
    }

    // The oracle: a fresh view over a screen of the same size showing the
    // same page link geometry, drawn from scratch; the pixels must match.
    void expectFreshDrawing(TestScreen &s, DispmanView *view)
    {
        TestScreen fresh;
        setUpScreen(fresh, s.screen.width, s.screen.height);
        DispmanView *other = nullptr;
        run([&] {
            other = makeView(fresh, view->background);
            for (Edr_Node *n = Edr_Node_firstChild(view->pageGroup); n;
                 n = Edr_Node_nextSibling(n)) {
                const Edr_SubdocNode *l = Edr_Node_subdocPayload(n);
                Edr_Node *copy = nullptr;
                ASSERT_EQ(Edr_Node_createSubdoc(other->backdropDoc, other->pageGroup,
                                                Edr_Insert_lastChild, &copy, l->child, l->placement,
                                                l->pageKey, l->pageKind),
                          0);
                Edr_Node_release(other->backdropDoc, copy);
            }
            redrawAll(other, DispmanSub_quick);
        });
        run([&] {
            EXPECT_EQ(s.pixels, fresh.pixels) << "the view differs from a fresh drawing";
            Dispman_destroyView(ctx(), &other);
        });
    }
    static uint16_t to565(uint32_t c)
    {
        return uint16_t(((c & 0xFF) >> 3) << 11 | (((c >> 8) & 0xFF) >> 2) << 5 |
                        ((c >> 16) & 0xFF) >> 3);
    }
    // The pixel at (x, y) counted from the view's top-left corner.
    static uint16_t pixel(const TestScreen &s, int32_t x, int32_t y)
    {
        return s.pixels[size_t(y) * s.screen.width + x];
    }
    static RectPart *part(ObjHeader *item)
    {
        return static_cast<RectPart *>(Obj_part(item));
    }

    std::vector<Edr_Doc *> docs;
};

constexpr uint32_t kWhite = rgba(0xF8, 0xF8, 0xF8), kRed = rgba(0xF8, 0, 0),
                   kBlue = rgba(0, 0, 0xF8), kGreen = rgba(0, 0xFC, 0);

// ------------------------------------------------------------- the oracle

TEST_F(DispUpdateTest, APanZoomAndSwitchSequenceEqualsAFreshDrawing)
{
    start();
    TestScreen s;
    setUpScreen(s, 120, 90);
    DispmanView *view = nullptr;
    Edr_Node *node = nullptr;
    Edr_Doc *second = nullptr;
    run([&] {
        Edr_Doc *doc = pageDoc(
            200, 160, kWhite,
            {{10, 10, 60, 40, kRed}, {100, 20, 190, 150, kBlue}, {30, 100, 80, 150, kGreen}});
        second = pageDoc(100, 70, kBlue, {{5, 5, 50, 30, kGreen}});
        view = makeView(s);
        node = link(view, doc, 0, 0);
        redrawAll(view);
    });
    // The first drawing shows the page's top-left corner.
    EXPECT_EQ(pixel(s, 15, 15), to565(kRed));
    EXPECT_EQ(pixel(s, 5, 5), to565(kWhite));
    expectFreshDrawing(s, view);

    // Pan steps in both directions, then the end.
    run([&] {
        pan(view, node, 2, -17, 9);
        pan(view, node, 2, -5, 0);
    });
    run([&] { pan(view, node, 2, 3, 14); });
    run([&] { pan(view, node, 3, 0, 0); });
    EXPECT_EQ(placement(node)[4], P(-19));
    EXPECT_EQ(placement(node)[5], P(23));
    EXPECT_EQ(view->panning, 0);
    expectFreshDrawing(s, view);

    // Zoom steps, the final zoom, a placement and a switch.
    run([&] { zoom(view, node, DispmanSub_zoomStep, 0x18000, 60, 45); });
    run([&] { zoom(view, node, DispmanSub_zoomFinal, 0x8000, 30, 20); });
    EXPECT_EQ(placement(node)[0], 0x8000);
    EXPECT_EQ(view->zooming, 0);
    expectFreshDrawing(s, view);
    run([&] {
        EXPECT_EQ(Dispman_queueKind4(ctx(), DispmanSub_hqAndQuick, view, view->backdropDoc, 0, 0,
                                     node, P(7), -P(3)),
                  0);
    });
    expectFreshDrawing(s, view);
    run([&] {
        EXPECT_EQ(Dispman_queueDocSwitch(ctx(), DispmanSub_hqAndQuick, view, view->backdropDoc, 0,
                                         0, node, second, 1, 0),
                  0);
    });
    EXPECT_EQ(Edr_Node_subdocPayload(node)->child, second);
    expectFreshDrawing(s, view);
}

// ------------------------------------------------------------------- pans

TEST_F(DispUpdateTest, APanStepScrollsAndRedrawsOnlyTheExposedBands)
{
    start();
    TestScreen s;
    setUpScreen(s, 100, 80);
    DispmanView *view = nullptr;
    Edr_Node *node = nullptr;
    std::vector<ObjHeader *> items;
    run([&] {
        // One rectangle near the left edge, one well inside the view.
        Edr_Doc *doc =
            pageDoc(300, 200, kWhite, {{45, 30, 55, 40, kRed}, {100, 30, 130, 50, kBlue}}, &items);
        view = makeView(s);
        node = link(view, doc, -50, 0);
        redrawAll(view);
    });
    int before[2] = {part(items[0])->draws, part(items[1])->draws};
    s.ops.clear();
    // Moving the page right by 10 exposes the left band only; the page's
    // left part (with the red rectangle) comes into view.
    run([&] { pan(view, node, 2, 10, 0); });
    EXPECT_EQ(part(items[1])->draws, before[1]) << "the kept pixels are scrolled, not drawn";
    EXPECT_EQ(s.ops, "012") << "lock and unlock around the move, one present after the band";
    EXPECT_EQ(view->panning, 1);
    // Both directions at once: two bands, still one present.
    s.ops.clear();
    run([&] { pan(view, node, 2, -4, -6); });
    EXPECT_EQ(part(items[1])->draws, before[1]);
    EXPECT_EQ(s.ops, "012");
    EXPECT_GT(part(items[0])->draws, before[0]) << "the rectangle in the exposed band is drawn";
    run([&] { pan(view, node, 3, 0, 0); });
    EXPECT_EQ(view->panning, 0);
    expectFreshDrawing(s, view);
}

TEST_F(DispUpdateTest, APanEndWithoutStepsDoesNothing)
{
    start();
    TestScreen s;
    setUpScreen(s, 60, 40);
    DispmanView *view = nullptr;
    Edr_Node *node = nullptr;
    std::vector<ObjHeader *> items;
    run([&] {
        Edr_Doc *doc = pageDoc(100, 100, kWhite, {{10, 10, 30, 30, kRed}}, &items);
        view = makeView(s);
        node = link(view, doc, 0, 0);
        redrawAll(view);
    });
    int draws = part(items[0])->draws;
    s.ops.clear();
    run([&] { pan(view, node, 3, 0, 0); });
    EXPECT_EQ(part(items[0])->draws, draws);
    EXPECT_EQ(s.ops, "");
    EXPECT_EQ(placement(node)[4], 0);
    EXPECT_EQ(view->hqList.count, 0);
}

TEST_F(DispUpdateTest, AZoomDuringAPanRunsAfterThePanEnds)
{
    start();
    TestScreen s;
    setUpScreen(s, 80, 60);
    DispmanView *view = nullptr;
    Edr_Node *node = nullptr;
    run([&] {
        Edr_Doc *doc = pageDoc(200, 200, kWhite, {{10, 10, 30, 30, kRed}});
        view = makeView(s);
        node = link(view, doc, 0, 0);
        redrawAll(view);
    });
    run([&] {
        pan(view, node, 2, -5, 0);
        zoom(view, node, DispmanSub_zoomFinal, 0x20000, 40, 30);
    });
    EXPECT_EQ(placement(node)[0], 0x10000) << "the zoom waits for the pan's end";
    EXPECT_EQ(view->panning, 1);
    run([&] { pan(view, node, 3, 0, 0); });
    EXPECT_EQ(placement(node)[0], 0x20000);
    EXPECT_EQ(view->panning, 0);
    expectFreshDrawing(s, view);
}

TEST_F(DispUpdateTest, TheLastFlingOrZoomStepIsFollowedByItsEnd)
{
    start();
    TestScreen s;
    setUpScreen(s, 80, 60);
    DispmanView *view = nullptr;
    Edr_Node *node = nullptr;
    run([&] {
        Edr_Doc *doc = pageDoc(200, 200, kWhite, {{10, 10, 30, 30, kRed}});
        view = makeView(s);
        node = link(view, doc, 0, 0);
        redrawAll(view);
    });
    // A fling step alone: the pass queues its end right behind it.
    run([&] { pan(view, node, 4, -8, 4); });
    EXPECT_EQ(placement(node)[4], P(-8));
    EXPECT_EQ(view->panning, 0);
    // A zoom step alone: its final form follows, which ends the gesture.
    run([&] { zoom(view, node, DispmanSub_zoomStep, 0x14000, 40, 30); });
    EXPECT_EQ(placement(node)[0], 0x14000);
    EXPECT_EQ(view->zooming, 0);
    EXPECT_EQ(view->hqList.count, 0);
    expectFreshDrawing(s, view);
}

TEST_F(DispUpdateTest, APanStopsAtTheLimitsAndTheBorder)
{
    set("DispmanPageBorderWidth", u"0");
    start();
    TestScreen s;
    setUpScreen(s, 100, 80);
    DispmanView *view = nullptr;
    Edr_Node *node = nullptr;
    run([&] {
        Edr_Doc *doc = pageDoc(300, 80, kWhite, {{10, 10, 30, 30, kRed}});
        view = makeView(s);
        node = link(view, doc, 0, 0);
        const Rect limits{0, 0, 100, 80};
        Dispman_setPanLimits(view, &limits);
        redrawAll(view);
    });
    // A page wider than the limits moves left until its right edge meets
    // the limits' right edge; the distance is cut, not reversed.
    run([&] { pan(view, node, 2, -150, 0); });
    run([&] { pan(view, node, 2, -150, 0); });
    EXPECT_EQ(placement(node)[4], P(-200));
    run([&] { pan(view, node, 2, 30, 0); });
    EXPECT_EQ(placement(node)[4], P(-170));
    run([&] { pan(view, node, 2, 500, 0); });
    EXPECT_EQ(placement(node)[4], 0) << "nor its left edge past the limits' left";
    run([&] { pan(view, node, 3, 0, 0); });
    expectFreshDrawing(s, view);
}

// ------------------------------------------------------------------ zooms

TEST_F(DispUpdateTest, ZoomIsClampedAndANarrowPageStaysInTheView)
{
    start();
    TestScreen s;
    setUpScreen(s, 100, 80);
    DispmanView *view = nullptr;
    Edr_Node *node = nullptr;
    run([&] {
        Edr_Doc *doc = pageDoc(400, 300, kWhite, {{10, 10, 30, 30, kRed}});
        view = makeView(s);
        node = link(view, doc, 0, 0);
        redrawAll(view);
    });
    run([&] { zoom(view, node, DispmanSub_zoomFinal, 0x7FFFFFFF, 50, 40); });
    EXPECT_EQ(placement(node)[0], 0x1000000) << "256 at most";
    run([&] { zoom(view, node, DispmanSub_zoomFinal, 1, 0, 0); });
    EXPECT_EQ(placement(node)[0], 4096) << "1/16 at least";
    // At 1/16 the page is 25 x 19 pixels: narrower than the view, it is
    // kept wholly inside it wherever the zoom was centred.
    Rect page = view->pageFrame;
    EXPECT_EQ(page.x1 - page.x0, 25);
    EXPECT_GE(page.x0, 0);
    EXPECT_LE(page.x1, 100);
    EXPECT_GE(page.y0, 0);
    EXPECT_LE(page.y1, 80);
    run([&] { zoom(view, node, DispmanSub_zoomFinal, 0x2000, 99, 1); });
    page = view->pageFrame;
    EXPECT_GE(page.x0, 0);
    EXPECT_LE(page.x1, 100);
    EXPECT_GE(page.y0, 0);
    EXPECT_LE(page.y1, 80);
    expectFreshDrawing(s, view);
}

TEST_F(DispUpdateTest, ARequestForAViewDestroyedMeanwhileIsDropped)
{
    start();
    TestScreen s;
    setUpScreen(s, 60, 40);
    std::vector<ObjHeader *> items;
    run([&] {
        Edr_Doc *doc = pageDoc(100, 100, kWhite, {{10, 10, 30, 30, kRed}}, &items);
        DispmanView *view = makeView(s);
        Edr_Node *node = link(view, doc, 0, 0);
        // The pan holds a view reference on the view's document, which the
        // discard gives back: the document's record then goes (the heap
        // check at the end sees it).
        pan(view, node, 2, 5, 5);
        redrawAll(view);
        Dispman_destroyView(ctx(), &view);
    });
    EXPECT_EQ(part(items[0])->draws, 0);
    EXPECT_EQ(s.ops, "");
}

// ------------------------------------------------------------- switches

TEST_F(DispUpdateTest, SwitchingToTheShownPageChangesNothing)
{
    start();
    TestScreen s;
    setUpScreen(s, 60, 40);
    DispmanView *view = nullptr;
    Edr_Node *node = nullptr;
    Edr_Doc *doc = nullptr;
    std::vector<ObjHeader *> items;
    run([&] {
        doc = pageDoc(100, 100, kWhite, {{10, 10, 30, 30, kRed}}, &items);
        view = makeView(s);
        node = link(view, doc, 0, 0);
        redrawAll(view);
    });
    int draws = part(items[0])->draws;
    s.ops.clear();
    run([&] {
        EXPECT_EQ(Dispman_queueDocSwitch(ctx(), DispmanSub_hqAndQuick, view, view->backdropDoc, 0,
                                         0, node, doc, 1, 0),
                  0);
        EXPECT_EQ(Dispman_queueDocSwitch(ctx(), DispmanSub_hqAndQuick, view, view->backdropDoc, 0,
                                         0, node, nullptr, 1, 0),
                  0);
        // A view cannot show itself: refused like a closed document.
        EXPECT_EQ(Dispman_queueDocSwitch(ctx(), DispmanSub_hqAndQuick, view, view->backdropDoc, 0,
                                         0, node, view->backdropDoc, 0, 0),
                  0);
    });
    EXPECT_EQ(Edr_Node_subdocPayload(node)->child, doc);
    EXPECT_EQ(part(items[0])->draws, draws);
    EXPECT_EQ(s.ops, "");
    EXPECT_EQ(ctx()->edrApp->pendingDestroys, 0u);
}

TEST_F(DispUpdateTest, ASwitchWhoseJobCannotBeSubmittedStillCompletes)
{
    start();
    TestScreen s;
    setUpScreen(s, 60, 40);
    DispmanView *view = nullptr;
    Edr_Node *node = nullptr;
    Edr_Doc *fresh = nullptr;
    WorkerPool *pool = ctx()->workers;
    run([&] {
        Edr_Doc *old = pageDoc(100, 100, kWhite, {{10, 10, 30, 30, kRed}});
        fresh = pageDoc(100, 100, kBlue, {{20, 5, 40, 25, kGreen}});
        view = makeView(s);
        node = link(view, old, 0, 0);
        redrawAll(view);
        // The view is the old document's last holder once the test lets go.
        docs.erase(docs.begin());
        Edr_Doc_release(old);
        ctx()->workers = nullptr; // no pool: the job cannot be submitted
        EXPECT_EQ(Dispman_queueDocSwitch(ctx(), DispmanSub_hqAndQuick, view, view->backdropDoc, 0,
                                         0, node, fresh, 1, 0),
                  0);
    });
    ctx()->workers = pool;
    EXPECT_EQ(Edr_Node_subdocPayload(node)->child, fresh);
    EXPECT_EQ(ctx()->edrApp->pendingDestroys, 0u) << "destroyed at once";
    EXPECT_EQ(pixel(s, 25, 10), to565(kGreen));
    expectFreshDrawing(s, view);
}

// --------------------------------------------------------- high quality

TEST_F(DispUpdateTest, AViewInterruptedMoreThanEightTimesFinishesItsList)
{
    start();
    TestScreen s;
    setUpScreen(s, 80, 60);
    DispmanView *view = nullptr;
    std::vector<ObjHeader *> items;
    run([&] {
        Edr_Doc *doc = pageDoc(
            80, 60, kWhite,
            {{1, 1, 20, 20, kRed}, {30, 10, 50, 30, kBlue}, {5, 35, 70, 55, kGreen}}, &items);
        view = makeView(s);
        link(view, doc, 0, 0);
        part(items[0])->queueOnHq = view;
        redrawAll(view, DispmanSub_hqOnly);
    });
    EXPECT_EQ(view->hqList.count, 0) << "the list was worked down";
    EXPECT_EQ(view->hqList.interruptedPasses, 0);
    EXPECT_EQ(dm()->interruptAllowed, 1u);
    // One uninterruptible drawing of the view's own area, then the page's
    // area: interrupted nine times before the ninth interruption lets it
    // finish.
    EXPECT_GE(part(items[0])->hqDraws, 10);
    EXPECT_TRUE(waiting(dm()->hqUpdater)) << "the thread survives its interruptions";
    part(items[0])->queueOnHq = nullptr;
    expectFreshDrawing(s, view);
}

TEST_F(DispUpdateTest, ARedrawWithSubCode3DrawsOnlyInTheHighQualityPass)
{
    start();
    TestScreen s;
    setUpScreen(s, 60, 40);
    DispmanView *view = nullptr;
    std::vector<ObjHeader *> items;
    run([&] {
        Edr_Doc *doc = pageDoc(60, 40, kWhite, {{10, 10, 30, 30, kRed}}, &items);
        view = makeView(s);
        link(view, doc, 0, 0);
        redrawAll(view, DispmanSub_hqOnly);
    });
    EXPECT_EQ(part(items[0])->draws, part(items[0])->hqDraws) << "nothing drawn by the quick pass";
    EXPECT_GE(part(items[0])->hqDraws, 1);
    EXPECT_EQ(pixel(s, 15, 15), to565(kRed));
    EXPECT_EQ(s.ops, "2") << "the high-quality pass presents once";
}

int signalPhase1(void *argument, int32_t phase, const DispmanRequest *)
{
    if (phase == 1)
        Sem_signal(static_cast<Sem *>(argument));
    return 0;
}

TEST_F(DispUpdateTest, OnlyAreasOfShownDocumentsWaitForHighQuality)
{
    start();
    TestScreen s;
    setUpScreen(s, 60, 40);
    run([&] {
        Edr_Doc *doc = pageDoc(60, 40, kWhite, {{10, 10, 30, 30, kRed}});
        Edr_Doc *other = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &other, nullptr), 0);
        DispmanView *view = makeView(s);
        link(view, doc, 0, 0);
        DispmanArea shown{doc, 1, 0, Rect{0, -P(20), P(20), 0}, 0};
        DispmanArea unshown{other, 1, 0, Rect{0, -P(20), P(20), 0}, 0};
        EXPECT_EQ(Dispman_queueArea(ctx(), DispmanSub_hqOnly, 0, &shown, 0, 1, nullptr), 0);
        EXPECT_EQ(Dispman_queueArea(ctx(), DispmanSub_hqOnly, 0, &unshown, 0, 1, nullptr), 0);
        // An observed redraw behind them wakes this task from the quick
        // pass, before the high-quality pass (below this task's priority)
        // has drawn the filed areas.
        Sem passed;
        Sem_init(ctx(), &passed, 0, 1);
        const intptr_t key[4] = {DispmanProgress_observer, 1, 2, 3};
        ASSERT_EQ(Dispman_addObserver(ctx(), key, signalPhase1, &passed), 0);
        EXPECT_EQ(Dispman_queueObjectRedraw(ctx(), &shown, 0, key), 0);
        Sem_wait(&passed);
        Sem_fini(&passed);
        EXPECT_EQ(view->hqList.count, 1);
        if (view->hqList.count) {
            EXPECT_EQ(view->hqList.areas[0].document, doc);
        }
        // The list keeps no reference: the unshown document may go now.
        Edr_Doc_release(other);
    });
}

TEST_F(DispUpdateTest, NoPresentWhenNothingWasDrawn)
{
    start();
    TestScreen s;
    setUpScreen(s, 60, 40);
    DispmanView *view = nullptr;
    Edr_Doc *other = nullptr;
    run([&] {
        Edr_Doc *doc = pageDoc(60, 40, kWhite, {{10, 10, 30, 30, kRed}});
        other = pageDoc(60, 40, kWhite, {});
        view = makeView(s);
        link(view, doc, 0, 0);
    });
    run([&] {
        // A rectangle outside the view, and an area of a page not shown.
        DispmanRedrawArg arg{view, Rect{100, 100, 120, 120}};
        EXPECT_EQ(Dispman_queueRedraw(ctx(), DispmanSub_quick, 0, &arg), 0);
        DispmanArea area{other, 1, 0, Rect{0, -P(10), P(10), 0}, 0};
        EXPECT_EQ(Dispman_queueArea(ctx(), DispmanSub_quick, 0, &area, 0, 1, nullptr), 0);
    });
    EXPECT_EQ(s.ops, "");
    run([&] { redrawAll(view, DispmanSub_quick); });
    EXPECT_EQ(s.ops, "2");
}

// -------------------------------------------------------------- observers

int observe(void *argument, int32_t phase, const DispmanRequest *)
{
    *static_cast<std::string *>(argument) += char('0' + phase);
    return 0;
}

TEST_F(DispUpdateTest, ObserversSeeBothPhasesOfAnObservedRedraw)
{
    start();
    TestScreen s;
    setUpScreen(s, 60, 40);
    DispmanView *view = nullptr;
    Edr_Doc *doc = nullptr, *hidden = nullptr;
    std::vector<ObjHeader *> items;
    std::string phases;
    const intptr_t key[4] = {DispmanProgress_observer, 7, 8, 9};
    run([&] {
        doc = pageDoc(60, 40, kWhite, {{10, 10, 30, 30, kRed}}, &items);
        hidden = pageDoc(60, 40, kWhite, {});
        view = makeView(s);
        link(view, doc, 0, 0);
        ASSERT_EQ(Dispman_addObserver(ctx(), key, observe, &phases), 0);
        DispmanArea area{doc, 1, 0, Rect{0, -P(40), P(60), 0}, 0};
        EXPECT_EQ(Dispman_queueObjectRedraw(ctx(), &area, 0, key), 0);
    });
    EXPECT_EQ(phases, "01");
    EXPECT_EQ(part(items[0])->draws, 1);
    EXPECT_EQ(s.ops, "2");
    // A page not shown: both phases, nothing drawn.
    phases.clear();
    run([&] {
        DispmanArea area{hidden, 1, 0, Rect{0, -P(40), P(60), 0}, 0};
        EXPECT_EQ(Dispman_queueObjectRedraw(ctx(), &area, 0, key), 0);
    });
    EXPECT_EQ(phases, "01");
    EXPECT_EQ(part(items[0])->draws, 1);
    // While rendering is disabled the request waits on the queue.
    phases.clear();
    run([&] {
        dm()->renderingEnabled = 0;
        DispmanArea area{doc, 1, 0, Rect{0, -P(40), P(60), 0}, 0};
        EXPECT_EQ(Dispman_queueObjectRedraw(ctx(), &area, 0, key), 0);
    });
    EXPECT_EQ(phases, "");
    EXPECT_EQ(dm()->queue.incoming.count, 1);
    run([&] {
        dm()->renderingEnabled = 1;
        Sem_signal(&dm()->quickWake);
    });
    EXPECT_EQ(phases, "01");
    run([&] { Dispman_removeObserver(ctx(), key); });
}

// ---------------------------------------------------------- redraw modes

TEST(DispDrawChoice, TheRedrawModeTable)
{
    struct Case {
        int32_t mode, limit;
        uint32_t subCode;
        int32_t zooming;
        uint32_t routine, flags;
    } cases[] = {
        {0x10001, 0, DispmanSub_quick, 0, DispmanRoutine_quick, DispmanDraw_quick},
        {0x10001, 500, DispmanSub_quick, 0, DispmanRoutine_budget, DispmanDraw_quick},
        {0x10002, 0, DispmanSub_quick, 0, DispmanRoutine_quick, 0},
        {0x10002, 0x40000000, DispmanSub_quick, 0, DispmanRoutine_budget, 0},
        {0x10003, 0, DispmanSub_quick, 0, DispmanRoutine_full, DispmanDraw_quick},
        {0x10004, 0, DispmanSub_quick, 0, DispmanRoutine_full, 0},
        {0x10005, 0, DispmanSub_quick, 0, DispmanRoutine_quick, 0},
        {0x10004, 0, DispmanSub_quick, 1, DispmanRoutine_quick, 0},
        {0x10001, 0, DispmanSub_hqOnly, 0, DispmanRoutine_full, 0},
        {0x10001, 0, DispmanSub_observed, 1, DispmanRoutine_full, 0},
    };
    for (const Case &c : cases) {
        DispmanView view{};
        view.redrawMode = c.mode;
        view.cost[DrawCost_limit] = c.limit;
        view.zooming = c.zooming;
        DispmanRequest r{};
        r.subCode = c.subCode;
        DispmanDrawChoice out{};
        Dispman_chooseDrawing(&r, &view, 0, &out);
        EXPECT_EQ(out.routine, c.routine) << std::hex << c.mode << " " << c.limit;
        EXPECT_EQ(out.flags, c.flags) << std::hex << c.mode << " " << c.limit;
    }
    // The high-quality pass (no request) draws fully; only the view's own
    // document at top level without draw-through is not cancellable.
    DispmanView view{};
    DispmanDrawChoice out{};
    Dispman_chooseDrawing(nullptr, &view, 1, &out);
    EXPECT_EQ(out.routine, DispmanRoutine_full);
    EXPECT_EQ(out.cancellable, 0);
    view.drawThrough = 1;
    Dispman_chooseDrawing(nullptr, &view, 1, &out);
    EXPECT_EQ(out.cancellable, 1);
    Dispman_chooseDrawing(nullptr, &view, 0, &out);
    EXPECT_EQ(out.cancellable, 1);
}

// The flags a quick request's items are drawn with, for a redraw-mode and
// cost-limit setting: the defaults, full quality, and the GUI host's.
struct ModeCase {
    const char16_t *mode;
    const char16_t *limit;
    bool fast;     // items drawn in their quick forms
    bool measured; // costs measured against the budget
};

class DispModeTest : public DispUpdateTest, public testing::WithParamInterface<ModeCase> {};

TEST_P(DispModeTest, QuickRequestsFollowTheRedrawMode)
{
    const ModeCase &c = GetParam();
    if (c.mode)
        set("RendererRedrawMode", c.mode);
    if (c.limit)
        set("RendererCostLimit", c.limit);
    start();
    TestScreen s;
    setUpScreen(s, 60, 40);
    DispmanView *view = nullptr;
    std::vector<ObjHeader *> items;
    run([&] {
        Edr_Doc *doc = pageDoc(60, 40, kWhite, {{10, 10, 30, 30, kRed}}, &items);
        view = makeView(s);
        link(view, doc, 0, 0);
        redrawAll(view, DispmanSub_quick);
    });
    RectPart *p = part(items[0]);
    EXPECT_EQ(p->draws, 1);
    EXPECT_EQ((p->lastFlags & DrawFlags_fastBoxes) != 0, c.fast);
    EXPECT_EQ(p->measures > 0, c.measured);
    EXPECT_EQ(pixel(s, 15, 15), to565(kRed));
}

INSTANTIATE_TEST_SUITE_P(Modes, DispModeTest,
                         testing::Values(ModeCase{nullptr, nullptr, true, false},
                                         ModeCase{u"65540", nullptr, false, false},
                                         ModeCase{u"65538", u"1073741824", false, true},
                                         ModeCase{u"65537", u"1073741824", true, true},
                                         ModeCase{u"65539", nullptr, true, false}),
                         [](const testing::TestParamInfo<ModeCase> &info) {
                             // Stable names: the mode and limit settings, or "default".
                             std::string name;
                             for (const char16_t *t : {info.param.mode, info.param.limit})
                                 for (; t && *t; t++)
                                     name += char(*t);
                             return (name.empty() ? std::string("default") : "mode" + name) + "_" +
                                    std::to_string(info.index);
                         });

// ------------------------------------------------------------ thumbnails

TEST_F(DispUpdateTest, AThumbnailJobForTheViewsOwnDocumentIsDropped)
{
    start();
    TestScreen s;
    setUpScreen(s, 60, 40);
    DispmanView *view = nullptr;
    run([&] {
        view = makeView(s);
        EXPECT_EQ(Dispman_onDocumentChanged(ctx(), 0, view->backdropDoc, 0, 0), 0);
        EXPECT_NE(dm()->thumbList, nullptr);
    });
    EXPECT_EQ(dm()->thumbList, nullptr);
}

TEST_F(DispUpdateTest, ThumbnailJobsMergeAndReachTheParentDocument)
{
    start();
    TestScreen s;
    setUpScreen(s, 60, 40);
    run([&] {
        busy(); // a busy document holds the thumbnail updater
        Edr_Doc *doc = pageDoc(60, 40, kWhite, {{10, 10, 30, 30, kRed}});
        DispmanView *view = makeView(s);
        link(view, doc, 0, 0);
        EXPECT_EQ(Dispman_onDocumentChanged(ctx(), 0, doc, 1, 0), 0);
        EXPECT_EQ(Dispman_onDocumentChanged(ctx(), 0, doc, 1, 0), 0);
        size_t n = 0;
        bool parent = false;
        for (ThumbEntry *e = dm()->thumbList; e; e = e->next) {
            n++;
            parent = parent || e->document == view->backdropDoc;
        }
        EXPECT_EQ(n, 2u) << "one job for the page, one for the document showing it";
        EXPECT_TRUE(parent);
    });
    EXPECT_NE(dm()->thumbList, nullptr) << "not woken while a document is busy";
}

// ------------------------------------------------------------ the scroll

TEST(DispScroll, OverlappingMovesEqualACopyThroughATemporaryBuffer)
{
    struct Move {
        Rect src;
        Point dst;
    } moves[] = {
        {{0, 0, 16, 12}, {3, 0}},  {{0, 0, 16, 12}, {-3, 0}}, {{0, 0, 16, 12}, {0, 2}},
        {{0, 0, 16, 12}, {0, -2}}, {{2, 1, 14, 11}, {4, 3}},  {{2, 1, 14, 11}, {0, 0}},
        {{3, 2, 13, 9}, {1, 4}},   {{5, 5, 10, 10}, {6, 4}},  {{0, 0, 16, 12}, {-20, 0}},
        {{4, 4, 4, 9}, {2, 2}},    {{-3, -2, 8, 7}, {1, 1}},  {{1, 1, 15, 11}, {0, -1}},
    };
    const uint32_t formats[] = {0, Pixel_format565, 5}; // 1-, 2- and 4-byte pixels
    for (uint32_t format : formats) {
        uint32_t bpp = Pixel_bytesPerPixel(format);
        const int32_t w = 16, h = 12;
        uint32_t stride = (w * bpp + 3) & ~3u;
        for (const Move &m : moves) {
            std::vector<uint8_t> pixels(size_t(stride) * h);
            for (size_t i = 0; i < pixels.size(); i++)
                pixels[i] = uint8_t(i * 7 + 1);
            std::vector<uint8_t> expected = pixels;
            // The reference: copy what lands inside through a buffer.
            std::vector<uint8_t> temp = pixels;
            int32_t dx = m.dst.x - m.src.x0, dy = m.dst.y - m.src.y0;
            for (int32_t y = m.src.y0; y < m.src.y1; y++)
                for (int32_t x = m.src.x0; x < m.src.x1; x++) {
                    if (x < 0 || y < 0 || x >= w || y >= h || x + dx < 0 || y + dy < 0 ||
                        x + dx >= w || y + dy >= h)
                        continue;
                    std::memcpy(&expected[size_t(y + dy) * stride + size_t(x + dx) * bpp],
                                &temp[size_t(y) * stride + size_t(x) * bpp], bpp);
                }
            Bitmap bitmap{};
            bitmap.width = w;
            bitmap.height = h;
            bitmap.stride = stride;
            bitmap.format = format;
            bitmap.pixels = pixels.data();
            Dispman_scrollBitmap(&bitmap, &m.src, &m.dst);
            EXPECT_EQ(pixels, expected) << "format " << format << " move (" << m.src.x0 << ","
                                        << m.src.y0 << ") to (" << m.dst.x << "," << m.dst.y << ")";
        }
    }
}

} // namespace
