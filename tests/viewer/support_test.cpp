// The viewer's small support routines: the one-tenth overlap rule, the
// largest of doubles, the configured test, the directional search's
// outputs and the direction scoring of focus steps, the walk over a page
// and its embedded pages, the resize notices and the column flags.
#include <cmath>
#include <limits>
#include <vector>

#include "core/container/obj.h"
#include "core/mem/mem.h"
#include "document/edr/page.h"
#include "tests/document/events_fixture.h"
#include "core/geom/matrix.h"
#include "core/task/listeners.h"
#include "viewer/pagerender.h"
#include "platform/api/app.h"
#include "viewer/focusnav.h"
#include "viewer/screen/resize.h"
#include "viewer/screen/screen.h"
#include "viewer/support.h"
#include "viewer/viewer.h"

namespace {

TEST(ViewSupport, OverlapsEnoughByTheTenthRule)
{
    const Rect a{0, 0, 100, 100};
    struct Case {
        Rect a, b;
        int result;
    } cases[] = {
        {a, {-50, 0, 9, 100}, 0},   // overlap 9, middle -20 outside a
        {a, {-50, 0, 10, 100}, 1},  // overlap of a tenth
        {a, {-2, 0, 6, 100}, 1},    // middle 2 inside a
        {a, {100, 0, 200, 100}, 0}, // touching along an edge
        {a, {0, 100, 100, 200}, 0},       {a, a, 1},
        {a, {91, 0, 150, 100}, 0}, // sticks out right: overlap 9, middle outside
        {a, {90, 0, 150, 100}, 1},        {a, {96, 0, 102, 100}, 1},    // middle 99 inside
        {a, {0, -50, 100, 9}, 0},                                       // the y axis alike
        {a, {0, -50, 100, 10}, 1},        {a, {-10, -10, 110, 110}, 1}, // b covers a
        {{0, 0, 9, 9}, {-1, 0, 1, 9}, 1},                               // a tenth of 9 is 0
    };
    for (const Case &c : cases)
        EXPECT_EQ(Rect_overlapsEnough(&c.a, &c.b), c.result)
            << c.b.x0 << "," << c.b.y0 << "," << c.b.x1 << "," << c.b.y1;
}

TEST(ViewSupport, LargestOfDoublesTakesEqualsButNeverNaN)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double a[] = {1.0, 3.0, 3.0};
    EXPECT_EQ(Double_maxOf(a, 3), 3.0);
    EXPECT_EQ(Double_maxOf(a, 1), 1.0);
    const double b[] = {1.0, nan, 0.5};
    EXPECT_EQ(Double_maxOf(b, 3), 1.0);
    const double c[] = {nan, 2.0};
    EXPECT_TRUE(std::isnan(Double_maxOf(c, 2))) << "a NaN first never compares";
    // -0.0 after 0.0 compares equal and replaces it.
    const double d[] = {0.0, -0.0};
    EXPECT_TRUE(std::signbit(Double_maxOf(d, 2)));
}

TEST(ViewSupport, NullContextIsNotConfigured)
{
    EXPECT_EQ(App_isConfigured(nullptr), 0);
    EXPECT_EQ(Html_registerHandler(nullptr), 0);
}

class FindInDirectionTest : public EdrFixture {};

TEST_F(FindInDirectionTest, FindAndMissSetTheThreeWords)
{
    constexpr static ObjClass plainClass{nullptr, int32_t(4 * sizeof(intptr_t)), nullptr,
                                         Obj_itemPlain};
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *links[2];
        auto *rec = static_cast<Edr_PageRec *>(Mem_calloc(1, sizeof(Edr_PageRec)));
        rec->doc = doc;
        const Rect boxes[2] = {{0, 0, 10, 10}, {0, 40, 10, 50}}; // the second below the first
        ObjHeader **tail = &rec->objects;
        for (int i = 0; i < 2; i++) {
            links[i] = makeGroup(doc, root, Edr_Insert_lastChild, 5);
            setUrl(doc, links[i], u"http://a.example/");
            ObjHeader *o = Obj_create(&plainClass, 0);
            o->node = links[i];
            Obj_setBox(o, &boxes[i]);
            *tail = o;
            tail = reinterpret_cast<ObjHeader **>(&o->owner[0]);
        }
        ASSERT_EQ(Edr_Page_publishLayout(doc, 0, 0, 0, rec, 0, 0), 0);

        // Down (x and y exchanged): the second link.
        Edr_Node *node = links[0];
        Edr_Doc *nodeDoc = doc;
        uint32_t serial = 1;
        Edr_Doc_readLock(doc);
        ASSERT_EQ(
            View_findInDirection(doc, 0x400, &node, &nodeDoc, &serial, &boxes[0], nullptr, nullptr),
            0);
        Edr_Doc_readUnlock(doc);
        EXPECT_EQ(node, links[1]);
        EXPECT_EQ(nodeDoc, doc);
        EXPECT_EQ(serial, 2u);
        Edr_Node_release(nodeDoc, node);
        Edr_Doc_release(nodeDoc);

        // Right: nothing, and all three words are cleared.
        node = links[0];
        nodeDoc = doc;
        serial = 1;
        ASSERT_EQ(
            View_findInDirection(doc, 0, &node, &nodeDoc, &serial, &boxes[0], nullptr, nullptr), 0);
        EXPECT_EQ(node, nullptr);
        EXPECT_EQ(nodeDoc, nullptr);
        EXPECT_EQ(serial, 0u);
        for (Edr_Node *n : links)
            Edr_Node_release(doc, n);
    });
}

TEST(FocusScore, CandidatesPerDirection)
{
    // The focus sits in the middle of the page; the search area covers the
    // page. Each direction's cases are written for travel to the right and
    // turned for the others, so the same scores must come back.
    const Rect region{-1000, -1000, 1000, 1000};
    struct Case {
        uint32_t extra; // strict or visible-only
        bool withRegion;
        Rect area, candidate;
        int taken;
        int64_t primary, secondary;
    } cases[] = {
        // Inside the leading edge: the distance of its near edge from it.
        {0, false, {10, -100, 500, 100}, {40, 0, 50, 10}, 1, 30, 0},
        // Starts before the edge but reaches back to the focus: negative.
        {0, false, {10, -100, 500, 100}, {5, 0, 20, 10}, 1, -5, 0},
        // With the strict flag both are rejected.
        {FocusDir_strict, false, {10, -100, 500, 100}, {40, 0, 50, 10}, 0, 0, 0},
        {FocusDir_strict, false, {10, -100, 500, 100}, {5, 0, 20, 10}, 0, 0, 0},
        // Wholly before the edge and the focus: 0x40000000 plus the gap,
        // and the sideways offset / 16.
        {0, false, {10, -100, 500, 100}, {-100, 60, -90, 80}, 1, 0x40000000 + 100, 3},
        {FocusDir_strict, false, {10, -100, 500, 100}, {-100, 60, -90, 80}, 1, 0x40000000 + 100, 3},
        // Centre outside the area across the travel, or beyond its far edge.
        {0, false, {10, -100, 500, 100}, {40, 150, 50, 160}, 0, 0, 0},
        {0, false, {10, -100, 500, 100}, {490, 0, 510, 10}, 0, 0, 0},
        // A gap that overflows gives the worst score.
        {0,
         false,
         {INT32_MAX - 10, -100, INT32_MAX, 100},
         {INT32_MIN, 0, INT32_MIN + 10, 10},
         1,
         0x7fffffff,
         0},
        // Visible only: off the region is rejected; inside it scores.
        {FocusDir_visibleOnly, true, {10, -100, 2000, 100}, {1500, 0, 1510, 10}, 0, 0, 0},
        {FocusDir_visibleOnly, true, {10, -100, 2000, 100}, {40, 0, 50, 10}, 1, 30, 0},
        // With a region but not visible-only: off the area scores last.
        {0, true, {10, -100, 500, 100}, {-100, 60, -90, 80}, 1, 0x7fffffff, 0},
    };
    const struct {
        uint32_t direction, turn;
    } directions[] = {
        {FocusDir_right, 0}, {FocusDir_left, 0x800}, {FocusDir_down, 0x400}, {FocusDir_up, 0x100}};
    auto unturn = [](const Rect &r, uint32_t flags) {
        Rect x = r;
        if (flags & 0x900)
            x = Rect{x.x1 == INT32_MIN ? INT32_MIN : -x.x1, x.y0,
                     x.x0 == INT32_MIN ? INT32_MAX : -x.x0, x.y1};
        if (flags & 0x500)
            x = Rect{x.y0, x.x0, x.y1, x.x1};
        return x;
    };
    for (const auto &d : directions) {
        for (const Case &c : cases) {
            if (c.area.x1 == INT32_MAX && d.turn)
                continue; // the overflow case only in the plain frame
            FocusScoreRecord record{};
            record.flags = d.direction | c.extra;
            record.region = c.withRegion ? &region : nullptr;
            record.focus = unturn(Rect{0, -10, 10, 10}, d.turn);
            record.area = unturn(c.area, d.turn);
            const Rect candidate = unturn(c.candidate, d.turn);
            int64_t primary = -1, secondary = -1;
            EXPECT_EQ(View_scoreCandidate(&record, &candidate, &primary, &secondary), c.taken)
                << d.direction << " " << c.candidate.x0 << "," << c.candidate.y0;
            if (c.taken) {
                EXPECT_EQ(primary, c.primary) << d.direction << " " << c.candidate.x0;
                EXPECT_EQ(secondary, c.secondary) << d.direction << " " << c.candidate.x0;
            }
        }
    }
    // Another direction value scores the plain distance from the focus's
    // top-left corner to the candidate's centre; the page offset moves
    // every candidate.
    FocusScoreRecord plain{};
    plain.focus = Rect{0, 0, 10, 10};
    plain.offset[0] = 30;
    plain.offset[1] = 40;
    const Rect c{-5, -5, 5, 5};
    int64_t primary = 0, secondary = 1;
    EXPECT_EQ(View_scoreCandidate(&plain, &c, &primary, &secondary), 1);
    EXPECT_EQ(primary, 50);
    EXPECT_EQ(secondary, 0);
}

} // namespace

namespace {

class PageTreeTest : public EdrFixture {};

struct Visit {
    Edr_Doc *doc;
    int32_t key, x, y;
};

int recordVisit(Edr_PageEntry *entry, void *argument, int32_t x, int32_t y)
{
    static_cast<std::vector<Visit> *>(argument)->push_back(
        {entry->rec ? entry->rec->doc : nullptr, entry->key, x, y});
    return 0;
}

TEST_F(PageTreeTest, VisitsEmbeddedPagesAtTheirOffsets)
{
    run([&] {
        Edr_Doc *parent = nullptr, *child = nullptr;
        Edr_Node *parentRoot = nullptr, *childRoot = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &parent, &parentRoot), 0);
        ASSERT_EQ(Edr_Doc_create(ctx(), &child, &childRoot), 0);
        auto *inner = static_cast<Edr_PageRec *>(Mem_calloc(1, sizeof(Edr_PageRec)));
        inner->doc = child;
        ASSERT_EQ(Edr_Page_publishLayout(child, 7, 0, 0, inner, 0, 0), 0);

        // The parent's page: a content piece, then a piece embedding the
        // child's page 7 with its x0 at 100 and its y1 at 300.
        static constexpr ObjClass plainClass{nullptr, int32_t(4 * sizeof(intptr_t)), nullptr,
                                             Obj_itemPlain};
        auto *content = static_cast<Edr_PageRec *>(Mem_calloc(1, sizeof(Edr_PageRec)));
        auto *embedded = static_cast<Edr_PageRec *>(Mem_calloc(1, sizeof(Edr_PageRec)));
        content->doc = parent;
        embedded->doc = parent;
        embedded->buildState = Edr_PageBuild_embedded;
        const int32_t bounds[4] = {100, 0, 200, 300};
        for (int i = 0; i < 4; i++)
            embedded->bounds[i] = bounds[i];
        Edr_Node *refNode = nullptr;
        ASSERT_EQ(Edr_Node_allocate(&refNode, Edr_NodeType_blob, sizeof(EmbeddedPageRef)), 0);
        *static_cast<EmbeddedPageRef *>(Edr_Node_payload(refNode)) =
            EmbeddedPageRef{child, *Matrix_identity(), 7, 0};
        ObjHeader *owner = Obj_create(&plainClass, 0);
        owner->node = refNode;
        embedded->objects = owner;
        content->nextRec = embedded;
        ASSERT_EQ(Edr_Page_publishLayout(parent, 5, 0, 0, content, 0, 0), 0);

        Edr_PageEntry *e = nullptr;
        ASSERT_EQ(Edr_Page_findByIndex(&e, parent, 0, 0), 0);
        std::vector<Visit> visits;
        View_visitPageTree(e, recordVisit, &visits, 1, 2);
        Edr_Page_release(e, 0);
        ASSERT_EQ(visits.size(), 2u);
        EXPECT_EQ(visits[0].key, 5);
        EXPECT_EQ(visits[0].x, 1);
        EXPECT_EQ(visits[0].y, 2);
        EXPECT_EQ(visits[1].doc, child);
        EXPECT_EQ(visits[1].key, 7);
        EXPECT_EQ(visits[1].x, 101);
        EXPECT_EQ(visits[1].y, 302);

        // A key pair the child does not have: only the page itself.
        static_cast<EmbeddedPageRef *>(Edr_Node_payload(refNode))->pageKey = 8;
        ASSERT_EQ(Edr_Page_findByIndex(&e, parent, 0, 0), 0);
        visits.clear();
        View_visitPageTree(e, recordVisit, &visits, 0, 0);
        Edr_Page_release(e, 0);
        EXPECT_EQ(visits.size(), 1u);

        // A page that embeds itself: the walk ends at the nesting limit
        // (the page, then seven levels below it) instead of running the
        // stack out.
        *static_cast<EmbeddedPageRef *>(Edr_Node_payload(refNode)) =
            EmbeddedPageRef{parent, *Matrix_identity(), 5, 0};
        ASSERT_EQ(Edr_Page_findByIndex(&e, parent, 0, 0), 0);
        visits.clear();
        View_visitPageTree(e, recordVisit, &visits, 0, 0);
        Edr_Page_release(e, 0);
        ASSERT_EQ(visits.size(), 8u);
        EXPECT_EQ(visits.back().doc, parent);
        EXPECT_EQ(visits.back().x, 700);
        EXPECT_EQ(visits.back().y, 2100);

        // The embedded piece does not own its item.
        embedded->objects = nullptr;
        Obj_destroy(owner);
        Mem_free(refNode);
        Edr_Doc_release(parent);
        Edr_Doc_release(child);
    });
}

std::vector<ResizeNotice> notices;
std::vector<int32_t> noticeCodes;

void onResizeStart(FvViewer *, void *argument)
{
    noticeCodes.push_back(5);
    notices.push_back(*static_cast<ResizeNotice *>(argument));
}

void onResizeDone(FvViewer *, void *argument)
{
    noticeCodes.push_back(6);
    notices.push_back(*static_cast<ResizeNotice *>(argument));
}

TEST_F(PageTreeTest, ResizeNoticesAndColumnFlags)
{
    run([&] {
        FvViewer viewer{};
        Listener_init(&viewer.listeners, &viewer);
        Screen screen{};
        screen.index = 3;
        notices.clear();
        noticeCodes.clear();
        EXPECT_EQ(Fv_notifyResizeStart(&viewer, &screen, 1, 1, 0), 0) << "nobody listens";
        ASSERT_EQ(Listener_add(&viewer.listeners, FvListen_resizeStart, onResizeStart), 1);
        ASSERT_EQ(Listener_add(&viewer.listeners, FvListen_resizeDone, onResizeDone), 1);
        EXPECT_EQ(Fv_notifyResizeStart(&viewer, &screen, 1, 1, 0), 1);
        EXPECT_EQ(Fv_notifyResizeDone(&viewer, &screen, 2, 0, 1), 1);
        EXPECT_EQ(Fv_notifyResizeDone(nullptr, &screen, 2, 0, 1), 0);
        ASSERT_EQ(notices.size(), 2u);
        EXPECT_EQ(noticeCodes, (std::vector<int32_t>{5, 6}));
        EXPECT_EQ(notices[0].screenIndex, 3);
        EXPECT_EQ(notices[0].rotating, 1);
        EXPECT_EQ(notices[0].sizeGiven, 0);
        EXPECT_EQ(notices[0].orientation, 1);
        EXPECT_EQ(notices[1].rotating, 0);
        EXPECT_EQ(notices[1].sizeGiven, 1);
        EXPECT_EQ(notices[1].orientation, 2);
        Listener_freeAll(&viewer.listeners);

        // Column flags of the shown page.
        int32_t before = 9, after = 9;
        EXPECT_EQ(App_readColumnFlags(nullptr, &before, &after), 0u);
        EXPECT_EQ(before, 0);
        EXPECT_EQ(after, 0);
        EngineInstance *saved = ctx()->instance;
        EngineInstance instance{};
        FvPage page{};
        page.columnMoreBefore = 1;
        page.columnMoreAfter = 2; // no column answered
        viewer.page = &page;
        instance.viewer = &viewer;
        ctx()->instance = &instance;
        EXPECT_EQ(App_readColumnFlags(ctx(), &before, &after), 2u);
        EXPECT_EQ(before, 1);
        EXPECT_EQ(after, 1);
        page.columnMoreBefore = 0;
        page.columnMoreAfter = 0;
        EXPECT_EQ(App_readColumnFlags(ctx(), &before, &after), 0u);
        EXPECT_EQ(before | after, 0);
        ctx()->instance = saved;
    });
}

} // namespace
