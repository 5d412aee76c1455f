// Display views: the tile check, what a new view holds and links, updates
// that change nothing and updates that do, the queries through a page
// link, the hit test's centre flag, and destroying a view while a pass
// draws into it (a task trace on the hand-driven clock).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/style/stylerule.h"
#include "document/edr/node.h"
#include "document/edr/page.h"
#include "graphics/bitmap.h"
#include "core/host/hostservices.h"
#include "viewer/api/forward.h"
#include "platform/api/request.h"
#include "tests/viewer/dispman_fixture.h"
#include "viewer/screen/screen.h"

namespace
{

constexpr int32_t inch = 65536;

class DispViewTest : public DispmanFixture
{
  protected:
    Screen screen(int32_t w, int32_t h, uint32_t format = 4)
    {
        pixels.assign(size_t(w) * h * 2, 0);
        Screen s{};
        s.word2 = 50;
        s.format = format;
        s.resolution = 106;
        s.width = s.fullWidth = w;
        s.height = s.fullHeight = h;
        s.pixels = pixels.data();
        return s;
    }
    // A document with a published one-inch page (key 1, kind 0).
    Edr_Doc *pageDoc()
    {
        Edr_Doc *doc = nullptr;
        EXPECT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
        Edr_PageRec *rec = static_cast<Edr_PageRec *>(Mem_calloc(1, sizeof(Edr_PageRec)));
        rec->doc = doc;
        rec->bounds[1] = -inch;
        rec->bounds[2] = inch;
        EXPECT_EQ(Edr_Page_publishLayout(doc, 1, 0, 0, rec, 0, 1), 0);
        return doc;
    }
    // A page link to doc's page in the view's page group, moved by (tx, ty).
    static Edr_Node *link(DispmanView *view, Edr_Doc *doc, int32_t tx, int32_t ty)
    {
        const int32_t placement[6] = {0x10000, 0, 0, 0x10000, tx, ty};
        Edr_Node *node = nullptr;
        EXPECT_EQ(Edr_Node_createSubdoc(view->backdropDoc, view->pageGroup, Edr_Insert_lastChild,
                                        &node, doc, placement, 1, 0),
                  0);
        Edr_Node_release(view->backdropDoc, node);
        return node;
    }

    std::vector<uint8_t> pixels;
};

TEST_F(DispViewTest, ThePageBufferMustHoldATile)
{
    set("DispmanPageBufferSize", u"11");
    start();
    Screen s = screen(20, 10);
    run([&] {
        DispmanView *view = reinterpret_cast<DispmanView *>(1);
        EXPECT_EQ(Dispman_createView(ctx(), &view, &s, nullptr, 0xFF000000u, nullptr),
                  Res_dispmanNoTile);
        EXPECT_EQ(view, nullptr);
        EXPECT_EQ(dm()->views, nullptr);
        // Twelve bytes hold a 2 x 1 tile of 16-bit pixels.
        dm()->pageBandSize = 12;
        ASSERT_EQ(Dispman_createView(ctx(), &view, &s, nullptr, 0xFF000000u, nullptr), 0);
        Dispman_destroyView(ctx(), &view);
        EXPECT_EQ(view, nullptr);
        // A 4-byte format needs a 2 x 1 tile too (the width steps past the
        // side), which sixteen bytes do not hold but 24 do.
        Screen wide = screen(4, 4, 6);
        dm()->pageBandSize = 16;
        EXPECT_EQ(Dispman_createView(ctx(), &view, &wide, nullptr, 0, nullptr), Res_dispmanNoTile);
        dm()->pageBandSize = 24;
        ASSERT_EQ(Dispman_createView(ctx(), &view, &wide, nullptr, 0, nullptr), 0);
        Dispman_destroyView(ctx(), &view);
    });
}

TEST_F(DispViewTest, ANewViewIsLinkedFirstWithItsGeometryAndStyle)
{
    set("RendererQualityText", u"9");
    start();
    Screen s = screen(212, 106);
    run([&] {
        DispmanView *a = nullptr, *b = nullptr;
        ASSERT_EQ(Dispman_createView(ctx(), &a, &s, nullptr, 0xFF332211u, nullptr), 0);
        const Rect clip{10, 20, 30, 40};
        ASSERT_EQ(Dispman_createView(ctx(), &b, &s, &clip, 0xFF332211u, nullptr), 0);
        EXPECT_EQ(dm()->views, b);
        EXPECT_EQ(b->next, a);
        EXPECT_EQ(a->previous, b);
        EXPECT_EQ(a->viewRect.x1, 212);
        EXPECT_EQ(a->viewRect.y1, 106);
        EXPECT_EQ(b->viewRect.x0, 10);
        EXPECT_EQ(b->viewRect.y1, 40);
        EXPECT_EQ(a->panLimits.x0, 212);
        EXPECT_EQ(a->panLimits.y0, 106);
        EXPECT_EQ(a->panLimits.x1, 0);
        EXPECT_EQ(a->viewMatrix.a, 0x10000);
        EXPECT_EQ(a->viewMatrix.ty, inch);
        EXPECT_EQ(a->minZoom, 4096);
        EXPECT_EQ(a->maxZoom, 0x1000000);
        EXPECT_EQ(a->quality[3], 9);
        EXPECT_EQ(a->cost[1], 377);
        EXPECT_EQ(a->redrawMode, 0x10001);
        ASSERT_NE(a->bitmap, nullptr);
        EXPECT_EQ(a->bitmap->width, 212);
        EXPECT_EQ(a->bitmap->scale, 106);
        EXPECT_EQ(a->bitmap->pixels, pixels.data());
        Edr_Doc *doc = nullptr;
        Edr_Node *group = nullptr;
        Dispman_viewDocument(a, &doc, &group);
        EXPECT_EQ(doc, a->backdropDoc);
        EXPECT_EQ(group, a->pageGroup);
        EXPECT_EQ(Edr_Doc_getMarkFlag(doc), 1u);
        // The "screensize" rule: the view's size in inches, the colour and
        // display block, matched on the group's id.
        Request *q = nullptr;
        ASSERT_EQ(Edr_Doc_getRequest(doc, nullptr, &q), 0);
        StyleRule *rule = Request_firstItem(q);
        ASSERT_NE(rule, nullptr);
        EXPECT_EQ(Prop_getLength(&StyleRule_findProp(rule, PropId_width)->value), 2 * inch);
        EXPECT_EQ(Prop_getLength(&StyleRule_findProp(rule, PropId_height)->value), inch);
        EXPECT_EQ(StyleRule_findProp(rule, PropId_display)->value.type, 39);
        EXPECT_NE(StyleRule_findProp(rule, PropId_backgroundColor), nullptr);
        EXPECT_EQ(StyleRule_firstKey(rule), 1u);
        Request_release(q);

        // Pan limits: clipped to the view rectangle, and reset.
        const Rect limits{-5, 10, 300, 50};
        Dispman_setPanLimits(a, &limits);
        EXPECT_EQ(a->panLimits.x0, 0);
        EXPECT_EQ(a->panLimits.x1, 212);
        EXPECT_EQ(a->panLimits.y1, 50);
        Dispman_resetPanLimits(a);
        EXPECT_EQ(a->panLimits.x0, 212);

        Dispman_destroyView(ctx(), &a);
        EXPECT_EQ(dm()->views, b);
        EXPECT_EQ(b->next, nullptr);
        Dispman_destroyView(ctx(), &b);
        EXPECT_EQ(dm()->views, nullptr);
    });
}

TEST_F(DispViewTest, AnIdenticalUpdateDoesNotRedraw)
{
    start();
    Screen s = screen(100, 50);
    Screen same = s;
    Screen taller = s;
    taller.height = 60;
    run([&] {
        DispmanView *view = nullptr;
        ASSERT_EQ(Dispman_createView(ctx(), &view, &s, nullptr, 0, nullptr), 0);
        Bitmap *bitmap = view->bitmap;
        ASSERT_EQ(Dispman_updateView(ctx(), view, &same, nullptr), 0);
        EXPECT_EQ(view->client, &same);
        EXPECT_EQ(view->bitmap, bitmap);
        EXPECT_EQ(dm()->queue.incoming.count, 0);
        // A taller client: a new bitmap, geometry and style, and the newly
        // visible rows are queued for drawing.
        view->panning = 1;
        dm()->hqPendingSaved = 1;
        ASSERT_EQ(Dispman_updateView(ctx(), view, &taller, nullptr), 0);
        EXPECT_EQ(view->bitmap->height, 60);
        EXPECT_EQ(view->viewRect.y1, 60);
        EXPECT_EQ(view->panning, 0);
        EXPECT_EQ(dm()->hqPending, 1u);
        ASSERT_EQ(dm()->queue.incoming.count, 1);
        const DispmanRequest &r = dm()->queue.incoming.entries[0];
        EXPECT_EQ(r.redraw.view, view);
        EXPECT_EQ(r.redraw.rect.y0, 50);
        EXPECT_EQ(r.redraw.rect.y1, 60);
        Request *q = nullptr;
        ASSERT_EQ(Edr_Doc_getRequest(view->backdropDoc, nullptr, &q), 0);
        EXPECT_EQ(Prop_getLength(&StyleRule_findProp(Request_firstItem(q), PropId_height)->value),
                  int32_t(60 * int64_t(inch) / 106));
        Request_release(q);
        Dispman_destroyView(ctx(), &view);
    });
}

TEST_F(DispViewTest, QueriesGoThroughThePageLink)
{
    start();
    Screen s = screen(212, 212);
    Edr_Doc *doc = nullptr;
    run([&] {
        doc = pageDoc();
        DispmanView *view = nullptr;
        ASSERT_EQ(Dispman_createView(ctx(), &view, &s, nullptr, 0, nullptr), 0);
        Matrix m;
        EXPECT_EQ(Dispman_viewMatrix(view, &m), Res_dispmanNoPage);
        Point p{0, 0}, out{};
        EXPECT_EQ(Dispman_toViewPoint(&out, view, 106, 106, &p), Res_dispmanNoPage);

        // The page (one inch square) placed half an inch in from the left
        // and the top: it covers the view's centre.
        Edr_Node *node = link(view, doc, inch / 2, -inch / 2);
        view->current = node;
        ASSERT_EQ(Dispman_viewMatrix(view, &m), 0);
        EXPECT_EQ(m.tx, inch / 2);
        EXPECT_EQ(m.ty, 2 * inch - inch / 2);
        // The page's top-left corner lands at (53, 159) in y-up pixels.
        ASSERT_EQ(Dispman_toViewPoint(&out, view, 106, 106, &p), 0);
        EXPECT_EQ(out.x, 53);
        EXPECT_EQ(out.y, 159);
        Rect r{0, -inch, inch, 0}, vr{};
        ASSERT_EQ(Dispman_toViewRect(view, 106, 106, &r, &vr), 0);
        EXPECT_EQ(vr.x0, 53);
        EXPECT_EQ(vr.x1, 159);
        EXPECT_EQ(vr.y0, 53);
        EXPECT_EQ(vr.y1, 159);
        int32_t scale = 0;
        ASSERT_EQ(Dispman_viewScale(view, 106, 106, &scale), 0);
        EXPECT_EQ(scale, 0x10000);
        EXPECT_EQ(Dispman_viewScale(view, 5, 5, &scale), Res_dispmanNoPage);
        Point two[2] = {{0, 0}, {inch, -inch}}, got[2];
        ASSERT_EQ(Dispman_pageToViewPoints(view, node, doc, 2, two, got), 0);
        EXPECT_EQ(got[1].x, 159);
        EXPECT_EQ(got[1].y, 53);
        EXPECT_EQ(Dispman_pageToViewPoints(view, node, view->backdropDoc, 2, two, got),
                  Res_dispmanNoPage);

        // The hit test: away from the page nothing is found, unless a
        // centre flag makes it test the view's centre.
        Edr_Node *hit = nullptr;
        Edr_Doc *hitDoc = nullptr;
        Point at{5, 5}, where{};
        EXPECT_EQ(
            Dispman_hitTest(&hit, &hitDoc, 0, nullptr, nullptr, &where, nullptr, view, 0, &at),
            Res_dispmanNoPage);
        EXPECT_EQ(hit, nullptr);
        for (uint32_t flag : {0x10u, 0x20u, 0x40u}) {
            ASSERT_EQ(Dispman_hitTest(&hit, &hitDoc, 0, nullptr, nullptr, &where, nullptr, view,
                                      flag, &at),
                      0)
                << flag;
            EXPECT_EQ(hit, node);
            EXPECT_EQ(hitDoc, doc); // these flags reach the linked document
            // The centre in the linked page's units.
            EXPECT_EQ(where.x, inch / 2);
            EXPECT_EQ(where.y, -inch / 2);
        }
        at = Point{106, 106};
        ASSERT_EQ(
            Dispman_hitTest(&hit, &hitDoc, 0, nullptr, nullptr, &where, nullptr, view, 0, &at), 0);
        EXPECT_EQ(hitDoc, view->backdropDoc);
        // The thin queries: a page link is neither a link nor an image.
        char16_t *target = reinterpret_cast<char16_t *>(1);
        EXPECT_EQ(Dispman_linkAt(view, &at, &target), 0);
        EXPECT_EQ(target, nullptr);
        Edr_Node *image = node;
        EXPECT_EQ(Dispman_imageAt(view, &at, &image), 0);
        EXPECT_EQ(image, nullptr);
        Point away{1, 1};
        EXPECT_EQ(Dispman_linkAt(view, &away, &target), Res_dispmanNoPage);

        Dispman_destroyView(ctx(), &view);
        Edr_Doc_release(doc);
    });
}

// A pass holds the view's render lock; destroying the view waits until the
// pass has ended.
TEST_F(DispViewTest, DestroyWaitsForARunningPass)
{
    start();
    Screen s = screen(40, 40);
    DispmanView *view = nullptr;
    run([&] { ASSERT_EQ(Dispman_createView(ctx(), &view, &s, nullptr, 0, nullptr), 0); });
    Sem go{};
    run([&] { Sem_init(ctx(), &go, 0, 1); });
    std::string trace;
    Task_detach(spawn("pass", 2, [&] {
        Lock_acquire(&view->renderLock);
        trace += "pass@" + std::to_string(AlienTimer_getMs(e.host)) + " ";
        Sem_wait(&go);
        trace += "passEnd@" + std::to_string(AlienTimer_getMs(e.host)) + " ";
        Lock_release(&view->renderLock);
    }));
    TestEngine_runAll(&e, 1000);
    Task_detach(spawn("destroyer", 3, [&] {
        trace += "destroy ";
        DispmanView *v = view;
        Dispman_destroyView(ctx(), &v);
        trace += "gone@" + std::to_string(AlienTimer_getMs(e.host)) + " ";
    }));
    TestEngine_runAll(&e, 1000);
    EXPECT_EQ(trace, "pass@0 destroy ");
    EXPECT_EQ(dm()->views, view);
    advance(40);
    Sem_signal(&go);
    TestEngine_runAll(&e, 1000);
    EXPECT_EQ(trace, "pass@0 destroy passEnd@40 gone@40 ");
    EXPECT_EQ(dm()->views, nullptr);
}

// A replaced sub-document redraws every view, whole.
TEST_F(DispViewTest, AReplacedSubdocumentRedrawsTheViews)
{
    start();
    Screen s = screen(30, 20);
    run([&] {
        DispmanView *a = nullptr, *b = nullptr;
        ASSERT_EQ(Dispman_createView(ctx(), &a, &s, nullptr, 0, nullptr), 0);
        const Rect clip{1, 2, 3, 4};
        ASSERT_EQ(Dispman_createView(ctx(), &b, &s, &clip, 0, nullptr), 0);
        Edr_Doc *doc = nullptr;
        Edr_Node *root = nullptr, *group = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, &root), 0);
        ASSERT_EQ(Edr_Node_createGroup(doc, root, Edr_Insert_lastChild, 0, &group), 0);
        // The removal takes the reference from createGroup.
        EXPECT_EQ(App_replaceSubdoc(ctx(), group, doc, nullptr, 0, 0), 0);
        ASSERT_EQ(dm()->queue.incoming.count, 2);
        const DispmanRequest *r = dm()->queue.incoming.entries;
        EXPECT_EQ(r[0].redraw.view, b);
        EXPECT_EQ(r[0].redraw.rect.x1, 3);
        EXPECT_EQ(r[0].subCode, 4u);
        EXPECT_EQ(r[1].redraw.view, a);
        EXPECT_EQ(r[1].redraw.rect.x1, 30);
        Edr_Doc_release(doc);
        Dispman_destroyView(ctx(), &a);
        Dispman_destroyView(ctx(), &b);
    });
}

TEST(ScreenSize, OrientationSwapsWidthAndHeight)
{
    Screen s{};
    s.width = 240;
    s.height = 320;
    for (uint32_t o = 0; o < 4; o++) {
        s.flags = (o << Screen_orientationShift) | Screen_flagIndirect | (3u << 8);
        EXPECT_EQ(Screen_width(&s), o & 1 ? 320 : 240) << o;
        EXPECT_EQ(Screen_height(&s), o & 1 ? 240 : 320) << o;
    }
    EXPECT_EQ(Screen_width(nullptr), 0);
}

} // namespace
