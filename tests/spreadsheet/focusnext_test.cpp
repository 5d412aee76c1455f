// Directional focus search on synthetic focusable rectangles: the turned
// frame of Rect_orient, the band test between two rectangles, and
// Focus_findNext's scoring, stepping past hidden candidates and kept
// candidate, in all four orientations.
#include <vector>

#include "core/container/obj.h"
#include "core/mem/mem.h"
#include "document/edr/page.h"
#include "office/focus/focusband.h"
#include "spreadsheet/focus/focusnext.h"
#include "tests/document/events_fixture.h"

namespace {

constexpr ObjClass plainClass{nullptr, int32_t(4 * sizeof(intptr_t)), nullptr, Obj_itemPlain};

// The rectangle that Rect_orient turns into r under flags.
Rect unturn(const Rect &r, uint32_t flags)
{
    Rect x = r;
    if (flags & Rect_orientMirror)
        x = Rect{-x.x1, x.y0, -x.x0, x.y1};
    if (flags & Rect_orientSwap)
        x = Rect{x.y0, x.x0, x.y1, x.x1};
    return x;
}

TEST(RectOrient, SwapsThenMirrors)
{
    const Rect in{1, 2, 3, 5};
    struct Case {
        uint32_t flags;
        Rect out;
    } cases[] = {
        {0, {1, 2, 3, 5}},
        {0x400, {2, 1, 5, 3}},
        {0x800, {-3, 2, -1, 5}},
        {0x400 | 0x800, {-5, 1, -2, 3}},
        // 0x100 belongs to both masks, so with it both steps run.
        {0x100 | 0x400, {-5, 1, -2, 3}},
        {0x100 | 0x800, {-5, 1, -2, 3}},
        {0x100 | 0x400 | 0x800, {-5, 1, -2, 3}}, // swap first, then mirror
        {0x100, {-5, 1, -2, 3}},
        {0x200, {1, 2, 3, 5}},
    };
    for (const Case &c : cases) {
        Rect out;
        Rect_orient(&out, &in, c.flags);
        EXPECT_EQ(out.x0, c.out.x0) << std::hex << c.flags;
        EXPECT_EQ(out.y0, c.out.y0) << std::hex << c.flags;
        EXPECT_EQ(out.x1, c.out.x1) << std::hex << c.flags;
        EXPECT_EQ(out.y1, c.out.y1) << std::hex << c.flags;
        Rect back = unturn(out, c.flags);
        EXPECT_EQ(back.x0, in.x0);
        EXPECT_EQ(back.y1, in.y1);
    }
    // Mirroring the smallest coordinate wraps instead of overflowing.
    Rect edge{INT32_MIN, 0, 0, 1}, out;
    Rect_orient(&out, &edge, 0x800);
    EXPECT_EQ(out.x0, 0);
    EXPECT_EQ(out.x1, INT32_MIN);
}

class FocusSearchTest : public EdrFixture {
  protected:
    struct Placed {
        Edr_Node *node;
        Rect rect; // in the search frame
    };

    // Publishes one focusable link object per rectangle (given in the
    // frame of flags) on page (0, 0) of doc, in order.
    std::vector<Placed> place(Edr_Doc *doc, Edr_Node *root, uint32_t flags,
                              std::initializer_list<Rect> rects)
    {
        std::vector<Placed> placed;
        auto *rec = static_cast<Edr_PageRec *>(Mem_calloc(1, sizeof(Edr_PageRec)));
        rec->doc = doc;
        ObjHeader **tail = &rec->objects;
        for (const Rect &r : rects) {
            Edr_Node *link = makeGroup(doc, root, Edr_Insert_lastChild, 5);
            setUrl(doc, link, u"http://a.example/");
            ObjHeader *o = Obj_create(&plainClass, 0);
            o->node = link;
            Rect box = unturn(r, flags);
            Obj_setBox(o, &box);
            *tail = o;
            tail = reinterpret_cast<ObjHeader **>(&o->owner[0]);
            placed.push_back({link, r});
        }
        EXPECT_EQ(Edr_Page_publishLayout(doc, 0, 0, 0, rec, 0, 0), 0);
        return placed;
    }
    static void releaseAll(Edr_Doc *doc, const std::vector<Placed> &placed)
    {
        for (const Placed &p : placed)
            Edr_Node_release(doc, p.node);
    }
    // Searches from the first placed object; the node found (or null),
    // with the references given back.
    static Edr_Node *next(Edr_Doc *doc, const std::vector<Placed> &placed, uint32_t flags,
                          uint32_t *serial = nullptr)
    {
        const Rect &f = placed[0].rect;
        FocusItem item{doc, placed[0].node, 0, f.x0, f.y0, f.x1, f.y1};
        EXPECT_EQ(Focus_findNext(doc, &item, flags, nullptr, nullptr), 0);
        Edr_Node *found = item.node;
        if (serial)
            *serial = item.serial;
        if (item.node) {
            EXPECT_EQ(item.doc, doc);
            EXPECT_EQ(Edr_Node_refCount(item.node), 2u);
            Edr_Node_release(item.doc, item.node);
            Edr_Doc_release(item.doc);
        } else {
            EXPECT_EQ(item.doc, nullptr);
            EXPECT_EQ(item.serial, 0u);
        }
        return found;
    }
};

constexpr uint32_t orientations[] = {0, 0x800, 0x400, 0x100};

TEST_F(FocusSearchTest, StraightAheadBeatsNearerDiagonalInEveryOrientation)
{
    for (uint32_t flags : orientations) {
        withDoc([&](Edr_Doc *doc, Edr_Node *root) {
            // The diagonal object is nearer but outside the 45-degree wedge.
            auto p = place(doc, root, flags, {{0, 0, 10, 10}, {20, 30, 30, 40}, {40, 0, 50, 10}});
            EXPECT_EQ(next(doc, p, flags), p[2].node) << std::hex << flags;
            releaseAll(doc, p);
        });
    }
}

TEST_F(FocusSearchTest, NothingToTheRightClearsTheItem)
{
    for (uint32_t flags : orientations) {
        withDoc([&](Edr_Doc *doc, Edr_Node *root) {
            auto p = place(doc, root, flags, {{0, 0, 10, 10}, {-40, 0, -30, 10}, {20, 50, 30, 60}});
            EXPECT_EQ(next(doc, p, flags), nullptr) << std::hex << flags;
            releaseAll(doc, p);
        });
    }
}

TEST_F(FocusSearchTest, NearestInWalkOrderAmongEqualDistances)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        auto p =
            place(doc, root, 0, {{0, 0, 10, 10}, {30, 3, 40, 8}, {30, 0, 40, 10}, {60, 0, 70, 10}});
        uint32_t serial = 0;
        EXPECT_EQ(next(doc, p, 0, &serial), p[1].node);
        EXPECT_EQ(serial, 2u); // the focused object itself is number 1
        releaseAll(doc, p);
    });
}

TEST_F(FocusSearchTest, HiddenCandidateStepsToTheNextFartherOne)
{
    for (uint32_t flags : orientations) {
        withDoc([&](Edr_Doc *doc, Edr_Node *root) {
            // The tall object overlaps the focus and reaches into the band
            // to the near candidate; it scores farther (91) than that
            // candidate (40), so the search passes the near one over and
            // takes it.
            auto p = place(doc, root, flags, {{0, 0, 10, 10}, {50, 0, 60, 10}, {8, 5, 30, 100}});
            EXPECT_EQ(next(doc, p, flags), p[2].node) << std::hex << flags;
            releaseAll(doc, p);
        });
    }
}

TEST_F(FocusSearchTest, KeptCandidateWhenNothingFartherIsLeft)
{
    for (uint32_t flags : orientations) {
        withDoc([&](Edr_Doc *doc, Edr_Node *root) {
            // The blocker overlaps the focus but is never a candidate
            // itself (its left edge is not right of the focus's middle),
            // so the passed-over candidate comes back.
            auto p = place(doc, root, flags, {{0, 0, 10, 10}, {50, 0, 60, 10}, {4, 5, 30, 100}});
            EXPECT_EQ(next(doc, p, flags), p[1].node) << std::hex << flags;
            releaseAll(doc, p);
        });
    }
}

TEST_F(FocusSearchTest, BandHoldsObjectsBetweenTheSlantedEdges)
{
    for (uint32_t flags : orientations) {
        withDoc([&](Edr_Doc *doc, Edr_Node *root) {
            // a = {0, 0, 10, 10}, b = {100, 50, 110, 60}: at x = 50 the top
            // edge is at about 22 and the bottom edge at about 32.
            auto p = place(doc, root, flags, {{200, 200, 210, 210}});
            const Rect a{0, 0, 10, 10}, b{100, 50, 110, 60};
            struct Case {
                Rect object;
                int inside;
            } cases[] = {
                {{50, 25, 55, 30}, 1},  // between the edges
                {{50, 0, 55, 20}, 0},   // wholly above the top edge
                {{50, 34, 55, 40}, 0},  // wholly below the bottom edge
                {{50, 20, 55, 23}, 1},  // reaches over the top edge
                {{0, 0, 10, 60}, 0},    // left of the band
                {{110, 0, 120, 60}, 0}, // right of the band
                {{50, -50, 55, -40}, 0},
            };
            for (const Case &c : cases) {
                auto q = place(doc, root, flags, {c.object});
                EXPECT_EQ(Edr_Doc_anyFocusableBetween(doc, &a, &b, flags, nullptr, nullptr),
                          c.inside)
                    << std::hex << flags << std::dec << " " << c.object.x0 << "," << c.object.y0;
                releaseAll(doc, q);
            }
            // Nothing is searched when b does not start right of a.
            auto q = place(doc, root, flags, {{50, 25, 55, 30}});
            const Rect behind{5, 50, 110, 60};
            EXPECT_EQ(Edr_Doc_anyFocusableBetween(doc, &a, &behind, flags, nullptr, nullptr), 0);
            // A filter that counts nothing finds nothing.
            auto none = [](const ObjHeader *, void *) { return 0; };
            EXPECT_EQ(Edr_Doc_anyFocusableBetween(doc, &a, &b, flags, none, nullptr), 0);
            releaseAll(doc, q);
            releaseAll(doc, p);
        });
    }
}

} // namespace
