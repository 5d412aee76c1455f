// Display views: the tile check, what a new view holds and links, updates
// that change nothing and updates that do, the queries through a page
// link, the hit test's centre flag, and destroying a view while a pass
// draws into it (a task trace on the hand-driven clock).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/style/stylerule.h"
#include "document/edr/node.h"
#include "document/edr/page.h"
#include "document/edr/pageobj.h"
#include "core/container/obj.h"
#include "viewer/docview.h"
#include "graphics/bitmap.h"
#include "core/host/hostservices.h"
#include "viewer/api/forward.h"
#include "platform/api/request.h"
#include "platform/url/url.h"
#include "tests/viewer/dispman_fixture.h"
#include "viewer/screen/screen.h"

namespace {

constexpr int32_t inch = 65536;

class DispViewTest : public DispmanFixture {
  protected:
    Screen screen(int32_t w, int32_t h, uint32_t format = 4)
    {
        pixels.assign(size_t(w) * h * 2, 0);
        Screen s{};
        s.thirdWord = 50;
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

// Display items of a plain class, one page of doc with a chain of them.
constexpr ObjClass walkPlainClass{nullptr, int32_t(4 * sizeof(intptr_t)), nullptr, Obj_itemPlain};

ObjHeader *walkItem(int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    ObjHeader *o = Obj_create(&walkPlainClass, 0);
    Rect box{x0, y0, x1, y1};
    Obj_setBox(o, &box);
    return o;
}

void publishItems(Edr_Doc *doc, int32_t key, std::initializer_list<ObjHeader *> items)
{
    auto *rec = static_cast<Edr_PageRec *>(Mem_calloc(1, sizeof(Edr_PageRec)));
    rec->doc = doc;
    rec->bounds[1] = -inch;
    rec->bounds[2] = inch;
    ObjHeader *last = nullptr;
    for (ObjHeader *o : items) {
        if (last)
            Obj_setNext(last, o);
        else
            rec->objects = o;
        last = o;
    }
    ASSERT_EQ(Edr_Page_publishLayout(doc, key, 0, 0, rec, 0, 1), 0);
}

// A page link of the view to doc's page key (kind 0).
Edr_Node *linkPage(DispmanView *view, Edr_Doc *doc, int32_t key)
{
    const int32_t placement[6] = {0x10000, 0, 0, 0x10000, 0, 0};
    Edr_Node *node = nullptr;
    EXPECT_EQ(Edr_Node_createSubdoc(view->backdropDoc, view->pageGroup, Edr_Insert_lastChild, &node,
                                    doc, placement, key, 0),
              0);
    Edr_Node_release(view->backdropDoc, node);
    return node;
}

int collectItem(ObjHeader *o, void *context)
{
    static_cast<std::vector<ObjHeader *> *>(context)->push_back(o);
    return 0;
}

// The walks of a document's laid-out objects visit what the display's views
// show of it: nothing while no view links a page of it, the linked pages'
// items once each however many views link them, never the pages that are
// only published.
TEST_F(DispViewTest, TheObjectWalkVisitsOnlyTheShownPages)
{
    start();
    Screen s = screen(106, 106);
    run([&] {
        Edr_Doc *doc = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
        ObjHeader *a1 = walkItem(0, -20, 10, -10), *a2 = walkItem(30, -20, 40, -10);
        ObjHeader *b1 = walkItem(0, -20, 10, -10);
        publishItems(doc, 1, {a1, a2});
        publishItems(doc, 2, {b1});
        const Edr_ObjWalkOps ops{nullptr, collectItem};
        auto walk = [&] {
            std::vector<ObjHeader *> got;
            EXPECT_EQ(Edr_Node_walkObjects(doc, nullptr, &ops, &got), 0);
            return got;
        };
        EXPECT_TRUE(walk().empty()) << "no view shows the document";

        DispmanView *a = nullptr, *b = nullptr;
        ASSERT_EQ(Dispman_createView(ctx(), &a, &s, nullptr, 0, nullptr), 0);
        EXPECT_TRUE(walk().empty()) << "a view that shows nothing";
        linkPage(a, doc, 1);
        EXPECT_EQ(walk(), (std::vector<ObjHeader *>{a1, a2}));

        // The area limits the walk to the objects that meet it.
        std::vector<ObjHeader *> got;
        const int32_t area[4] = {25, -30, 50, 0};
        EXPECT_EQ(View_walkObjects(doc, collectItem, &got, area, nullptr), 0);
        EXPECT_EQ(got, (std::vector<ObjHeader *>{a2}));

        // A second view on page 1 and page 2: page 1 is still walked once.
        ASSERT_EQ(Dispman_createView(ctx(), &b, &s, nullptr, 0, nullptr), 0);
        linkPage(b, doc, 1);
        linkPage(b, doc, 2);
        std::vector<ObjHeader *> both = walk();
        EXPECT_EQ(both.size(), 3u);
        EXPECT_EQ(std::count(both.begin(), both.end(), a1), 1);
        EXPECT_EQ(std::count(both.begin(), both.end(), b1), 1);

        // A visitor's stop value ends the walk and is the result.
        int visits = 0;
        auto stop = [](ObjHeader *, void *c) {
            ++*static_cast<int *>(c);
            return 7;
        };
        EXPECT_EQ(View_walkObjects(doc, stop, &visits, nullptr, nullptr), 7);
        EXPECT_EQ(visits, 1);

        Dispman_destroyView(ctx(), &a);
        Dispman_destroyView(ctx(), &b);
        EXPECT_TRUE(walk().empty());
        Edr_Doc_release(doc);
    });
}

// The focus walk over the shown page: candidates are objects of focus
// targets (a group with a URL and what it holds), inside the area; every
// object's candidate and inside bits are set on the way, hidden objects
// keep their candidate bit untested. The objects of one node and their
// bounds come from the same walk.
TEST_F(DispViewTest, FocusableObjectsOfTheShownPage)
{
    start();
    Screen s = screen(106, 106);
    run([&] {
        Edr_Doc *doc = nullptr;
        Edr_Node *root = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, &root), 0);
        auto group = [&] {
            Edr_Node *n = nullptr;
            EXPECT_EQ(Edr_Node_createGroup(doc, root, Edr_Insert_lastChild, 5, &n), 0);
            return n;
        };
        Edr_Node *link = group();
        Url *url = Url_new(u"http://a.example/");
        ASSERT_NE(url, nullptr);
        EXPECT_EQ(Edr_Node_setUrl(doc, link, url), 0);
        Url_free(url);
        Edr_Node *text = nullptr;
        ASSERT_EQ(Edr_Node_createText(doc, link, Edr_Insert_lastChild, &text, u"go", 2), 0);
        Edr_Node *plain = group();
        auto item = [](Edr_Node *node, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                       uint32_t flags = 0) {
            ObjHeader *o = walkItem(x0, y0, x1, y1);
            o->node = node;
            o->flags = flags;
            return o;
        };
        ObjHeader *onLink = item(link, 0, 0, 10, 10);
        ObjHeader *onPlain = item(plain, 0, 20, 10, 30);
        ObjHeader *onText = item(text, 20, 0, 30, 10);
        ObjHeader *fixed = item(link, 0, 0, 5, 5, Obj_hidden);
        ObjHeader *far = item(link, 100, 100, 110, 110, Obj_focusInside);
        publishItems(doc, 0, {onLink, onPlain, onText, fixed, far});
        DispmanView *view = nullptr;
        ASSERT_EQ(Dispman_createView(ctx(), &view, &s, nullptr, 0, nullptr), 0);
        linkPage(view, doc, 0);

        std::vector<ObjHeader *> got;
        auto collect = [](ObjHeader *o, void *extra) {
            static_cast<std::vector<ObjHeader *> *>(extra)->push_back(o);
            return 0;
        };
        const int32_t area[4] = {0, 0, 25, 15};
        ASSERT_EQ(Edr_Doc_walkFocusables(doc, collect, area, &got), 0);
        ASSERT_EQ(got.size(), 2u);
        EXPECT_EQ(got[0], onLink);
        EXPECT_EQ(got[1], onText);
        const uint32_t both = Obj_focusCandidate | Obj_focusInside;
        EXPECT_EQ(onLink->flags & both, both);
        EXPECT_EQ(onText->flags & both, both);
        EXPECT_EQ(onPlain->flags & both, 0u);
        EXPECT_EQ(fixed->flags & both, uint32_t(Obj_focusInside));  // not tested again
        EXPECT_EQ(far->flags & both, uint32_t(Obj_focusCandidate)); // outside now

        Edr_ObjWalkOps ops{Edr_Obj_matchKey, Edr_Obj_accumulateBounds};
        Edr_ObjBounds bounds{{0, 0, 0, 0}, INT32_MAX, INT32_MAX};
        far->origin[0] = -50;
        ASSERT_EQ(Edr_Node_walkObjects(doc, link, &ops, &bounds), 0);
        EXPECT_EQ(bounds.rect[0], 0);
        EXPECT_EQ(bounds.rect[2], 60);
        EXPECT_EQ(bounds.rect[3], 110);
        EXPECT_EQ(bounds.minX, 0);
        EXPECT_EQ(bounds.minY, 0);
        Dispman_destroyView(ctx(), &view);
        for (Edr_Node *n : {link, text, plain})
            Edr_Node_release(doc, n);
        Edr_Doc_release(doc);
    });
}

// After a layout pass the views that show a page of the document are
// redrawn whole; other views are left alone.
TEST_F(DispViewTest, APublishedPassRedrawsTheViewsOfTheDocument)
{
    start();
    Screen s = screen(30, 20);
    run([&] {
        Edr_Doc *doc = pageDoc(), *other = pageDoc();
        EXPECT_EQ(View_publishLayout(doc), 0);
        EXPECT_EQ(dm()->queue.incoming.count, 0) << "no view";
        DispmanView *a = nullptr, *b = nullptr;
        ASSERT_EQ(Dispman_createView(ctx(), &a, &s, nullptr, 0, nullptr), 0);
        const Rect clip{1, 2, 3, 4};
        ASSERT_EQ(Dispman_createView(ctx(), &b, &s, &clip, 0, nullptr), 0);
        linkPage(a, other, 1);
        linkPage(b, doc, 1);
        ASSERT_EQ(View_publishLayout(doc), 0);
        ASSERT_EQ(dm()->queue.incoming.count, 1);
        const DispmanRequest *r = dm()->queue.incoming.entries;
        EXPECT_EQ(r[0].redraw.view, b);
        EXPECT_EQ(r[0].redraw.rect.x0, 1);
        EXPECT_EQ(r[0].redraw.rect.x1, 3);
        EXPECT_EQ(r[0].subCode, uint32_t(DispmanSub_hqAndQuick));
        Dispman_destroyView(ctx(), &a);
        Dispman_destroyView(ctx(), &b);
        Edr_Doc_release(doc);
        Edr_Doc_release(other);
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

// The point hit test: a pixel on the page gives the page link and the point
// in view-document units; a pixel beside every page gives nothing.
TEST_F(DispViewTest, ThePointHitTestFindsThePageUnderAPixel)
{
    start();
    Screen s = screen(212, 212);
    Edr_Doc *doc = nullptr;
    run([&] {
        doc = pageDoc();
        DispmanView *view = nullptr;
        ASSERT_EQ(Dispman_createView(ctx(), &view, &s, nullptr, 0, nullptr), 0);
        Point where{7, 7};
        Edr_Node *hit = reinterpret_cast<Edr_Node *>(1);
        EXPECT_EQ(View_hitTestPoint(view, 106, 106, &where, &hit), 0); // no page yet
        EXPECT_EQ(hit, nullptr);
        Edr_Node *node = link(view, doc, inch / 2, -inch / 2);
        view->current = node;
        ASSERT_EQ(View_hitTestPoint(view, 106, 106, &where, &hit), 1);
        EXPECT_EQ(hit, node);
        // The centre pixel is one inch from each edge of the view document
        // (106 pixels at 106 per inch).
        Point expected{}, centre{106, 106};
        ASSERT_EQ(Dispman_hitTest(nullptr, nullptr, 0, nullptr, nullptr, &expected, nullptr, view,
                                  0, &centre),
                  0);
        Point again{};
        ASSERT_EQ(View_hitTestPoint(view, 106, 106, &again, nullptr), 1);
        EXPECT_EQ(again.x, expected.x);
        EXPECT_EQ(again.y, expected.y);
        EXPECT_EQ(again.x, inch);
        hit = node;
        EXPECT_EQ(View_hitTestPoint(view, 5, 5, &where, &hit), 0);
        EXPECT_EQ(hit, nullptr);
        EXPECT_EQ(View_hitTestPoint(nullptr, 106, 106, &where, &hit), 0);
        Dispman_destroyView(ctx(), &view);
        Edr_Doc_release(doc);
    });
}
