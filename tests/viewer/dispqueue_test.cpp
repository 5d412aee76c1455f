// The display manager's request queue: the merge rules of a batch as a
// table of hand-built requests, the view references that merging gives
// back, random producer sequences against a small reference merger, the
// growth and shrinking of the arrays, the producers, and the views'
// high-quality lists.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "tests/document/edr_fixture.h"
#include "viewer/dispman.h"
#include "viewer/dispqueue.h"

namespace {

DispmanView *const viewA = reinterpret_cast<DispmanView *>(0x1000);
DispmanView *const viewB = reinterpret_cast<DispmanView *>(0x2000);
Edr_Node *const nodeA = reinterpret_cast<Edr_Node *>(0x3000);
Edr_Node *const nodeB = reinterpret_cast<Edr_Node *>(0x4000);

class DispQueueTest : public EdrFixture {
  protected:
    void SetUp() override
    {
        EdrFixture::SetUp();
        run([this] {
            ASSERT_EQ(
                DispmanQueue_init(ctx(), &queue, DispmanQueue_baseCapacity, &interruptAllowed), 0);
            ASSERT_EQ(Edr_Doc_create(ctx(), &docA, nullptr), 0);
            ASSERT_EQ(Edr_Doc_create(ctx(), &docB, nullptr), 0);
        });
    }
    void TearDown() override
    {
        run([this] {
            DispmanQueue_free(&queue);
            // Every view reference a request took has come back.
            EXPECT_EQ(docA->viewCount, 0u);
            EXPECT_EQ(docB->viewCount, 0u);
            Edr_Doc_release(docA);
            Edr_Doc_release(docB);
        });
        EdrFixture::TearDown();
    }

    static DispmanRequest redraw(DispmanView *view, uint32_t sub, Rect r = {0, 0, 10, 10})
    {
        DispmanRequest q{};
        q.kind = DispmanKind_redraw;
        q.subCode = sub;
        q.redraw.view = view;
        q.redraw.rect = r;
        return q;
    }
    static DispmanRequest area(uint32_t kind, Edr_Doc *doc, uint32_t sub, Rect r = {0, 0, 10, 10})
    {
        DispmanRequest q{};
        q.kind = kind;
        q.subCode = sub;
        q.area = DispmanArea{doc, 1, 0, r, 0};
        return q;
    }
    // Kinds 2 to 5 with a view reference on doc (and on the new document).
    static DispmanRequest page(uint32_t kind, uint32_t sub, Edr_Doc *doc, Edr_Node *node,
                               int32_t a = 0, int32_t b = 0, Edr_Doc *newDoc = nullptr)
    {
        DispmanRequest q{};
        q.kind = kind;
        q.subCode = sub;
        q.page.view = viewA;
        Edr_Doc_getView(&q.page.document, doc);
        q.page.node = node;
        if (kind == DispmanKind_pan)
            q.page.pan = {a, b};
        else if (kind == DispmanKind_zoom)
            q.page.zoom = {a, b, 0};
        else if (kind == DispmanKind_position)
            q.page.position = {a, b};
        else if (kind == DispmanKind_switchDoc && newDoc) {
            Edr_Doc_getView(&q.page.switchDoc.document, newDoc);
            q.page.switchDoc.pageKey = a;
        }
        return q;
    }
    // Pushes the requests, takes the batch and pops it.
    std::vector<DispmanRequest> batch(const std::vector<DispmanRequest> &in)
    {
        for (const DispmanRequest &q : in)
            EXPECT_EQ(DispmanQueue_push(&queue, &q), 0);
        EXPECT_EQ(DispmanQueue_takeBatch(&queue), 1);
        std::vector<DispmanRequest> out;
        DispmanRequest q;
        for (DispmanQueue_pop(&queue, &q); q.kind != DispmanKind_none; DispmanQueue_pop(&queue, &q))
            out.push_back(q);
        return out;
    }
    static std::string subs(const std::vector<DispmanRequest> &v)
    {
        std::string s;
        for (const DispmanRequest &q : v)
            s += std::to_string(q.kind) + ":" + std::to_string(q.subCode) + " ";
        return s;
    }
    void discardAll(std::vector<DispmanRequest> &v)
    {
        for (DispmanRequest &q : v)
            DispmanQueue_discard(&q);
    }

    DispmanQueue queue{};
    uint32_t interruptAllowed = 1;
    Edr_Doc *docA = nullptr, *docB = nullptr;
};

struct MergeCase {
    const char *name;
    std::vector<uint32_t> subs; // kind-0 sub-codes, same view and rectangle
    const char *left;           // the sub-codes left, in order
};

TEST_F(DispQueueTest, RedrawAndAreaMergeByRank)
{
    const MergeCase cases[] = {
        {"2then4", {2, 4}, "4"},
        {"4then2", {4, 2}, "4"},
        {"2and3stay", {2, 3}, "2 3"},
        {"3and2stay", {3, 2}, "3 2"},
        {"sameTwice", {3, 3}, "3"},
        // Only the current reference is compared: the 3 that equalled the
        // first reference stays when a 4 takes over.
        {"4takesOver", {2, 3, 4, 2, 3}, "3 4"},
        {"3then4then4", {3, 4, 4}, "4"},
    };
    run([&] {
        for (uint32_t kind : {uint32_t(DispmanKind_redraw), uint32_t(DispmanKind_area)}) {
            for (const MergeCase &c : cases) {
                std::vector<DispmanRequest> in;
                for (uint32_t s : c.subs)
                    in.push_back(kind == DispmanKind_redraw ? redraw(viewA, s)
                                                            : area(kind, docA, s));
                std::vector<DispmanRequest> out = batch(in);
                std::string got;
                for (const DispmanRequest &q : out)
                    got += (got.empty() ? "" : " ") + std::to_string(q.subCode);
                EXPECT_EQ(got, c.left) << c.name << " kind " << kind;
            }
        }
        // Another view or rectangle is not merged.
        std::vector<DispmanRequest> out = batch(
            {redraw(viewA, 2), redraw(viewB, 2), redraw(viewA, 2, {0, 0, 5, 5}), redraw(viewA, 2)});
        EXPECT_EQ(out.size(), 3u);
        // Observed redraws of the same area leave the first.
        out = batch({area(DispmanKind_observed, docA, 13), area(DispmanKind_observed, docA, 13),
                     area(DispmanKind_observed, docB, 13)});
        EXPECT_EQ(out.size(), 2u);
    });
}

TEST_F(DispQueueTest, PanStepsSumWithOneViewReference)
{
    run([&] {
        std::vector<DispmanRequest> out = batch({page(DispmanKind_pan, 5, docA, nodeA, 1, 2),
                                                 page(DispmanKind_pan, 5, docA, nodeA, 10, 20),
                                                 page(DispmanKind_pan, 5, docA, nodeA, 100, 200)});
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].page.pan.dx, 111);
        EXPECT_EQ(out[0].page.pan.dy, 222);
        EXPECT_EQ(docA->viewCount, 1u);
        EXPECT_EQ(queue.working.lastPan, 0);
        discardAll(out);
        EXPECT_EQ(docA->viewCount, 0u);

        // A step followed by its end is not merged; the end is the last pan.
        out = batch({page(DispmanKind_pan, 5, docA, nodeA, 1, 1),
                     page(DispmanKind_pan, 6, docA, nodeA),
                     page(DispmanKind_pan, 5, docA, nodeB, 3, 3)});
        EXPECT_EQ(subs(out), "2:5 2:6 2:5 ");
        EXPECT_EQ(queue.working.lastPan, 1);
        EXPECT_EQ(docA->viewCount, 3u);
        discardAll(out);
    });
}

TEST_F(DispQueueTest, ZoomStepsKeepTheLastValue)
{
    run([&] {
        std::vector<DispmanRequest> out = batch({page(DispmanKind_zoom, 9, docA, nodeA, 0x10000),
                                                 page(DispmanKind_zoom, 10, docA, nodeA, 0x8000),
                                                 page(DispmanKind_zoom, 9, docA, nodeA, 0x20000),
                                                 page(DispmanKind_zoom, 9, docA, nodeA, 0x30000),
                                                 page(DispmanKind_zoom, 11, docA, nodeA, 0x11000),
                                                 page(DispmanKind_zoom, 11, docA, nodeA, 0x12000)});
        EXPECT_EQ(subs(out), "3:9 3:10 3:11 ");
        EXPECT_EQ(out[0].page.zoom.zoom, 0x30000);
        EXPECT_EQ(out[2].page.zoom.zoom, 0x12000);
        EXPECT_EQ(queue.working.lastZoom, 2);
        EXPECT_EQ(docA->viewCount, 3u);
        discardAll(out);
    });
}

TEST_F(DispQueueTest, PositionAndSwitchKeepTheLatestAndMoveReferences)
{
    run([&] {
        // Equal sub-codes: the first entry takes the later position.
        std::vector<DispmanRequest> out = batch({page(DispmanKind_position, 2, docA, nodeA, 1, 1),
                                                 page(DispmanKind_position, 2, docA, nodeA, 7, 8)});
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].page.position.x, 7);
        discardAll(out);
        // A later request of higher rank survives with its own (the latest)
        // position.
        out = batch({page(DispmanKind_position, 2, docA, nodeA, 1, 1),
                     page(DispmanKind_position, 4, docA, nodeA, 5, 6)});
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].subCode, 4u);
        EXPECT_EQ(out[0].page.position.x, 5);
        EXPECT_EQ(out[0].page.position.y, 6);
        EXPECT_EQ(docA->viewCount, 1u);
        discardAll(out);
        // Equal rank, different sub-codes: both stay.
        out = batch({page(DispmanKind_position, 2, docA, nodeA),
                     page(DispmanKind_position, 3, docA, nodeA)});
        EXPECT_EQ(out.size(), 2u);
        discardAll(out);

        // Switches: the surviving entry holds the latest new document's
        // reference; the replaced one is given back.
        out = batch({page(DispmanKind_switchDoc, 2, docA, nodeA, 1, 0, docB),
                     page(DispmanKind_switchDoc, 2, docA, nodeA, 2, 0, docA)});
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].page.switchDoc.document, docA);
        EXPECT_EQ(out[0].page.switchDoc.pageKey, 2);
        EXPECT_EQ(docA->viewCount, 2u);
        EXPECT_EQ(docB->viewCount, 0u);
        discardAll(out);
        out = batch({page(DispmanKind_switchDoc, 2, docA, nodeA, 1, 0, docB),
                     page(DispmanKind_switchDoc, 4, docA, nodeA, 2, 0, nullptr)});
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].page.switchDoc.document, nullptr);
        EXPECT_EQ(docB->viewCount, 0u);
        discardAll(out);
    });
}

TEST_F(DispQueueTest, EmptyPopInterruptFlagAndFrontPush)
{
    run([&] {
        DispmanRequest q;
        q.kind = 7;
        DispmanQueue_pop(&queue, &q);
        EXPECT_EQ(q.kind, uint32_t(DispmanKind_none));
        EXPECT_EQ(DispmanQueue_takeBatch(&queue), 0);

        // A batch without interrupts clears the flag; one with keeps it.
        interruptAllowed = 1;
        std::vector<DispmanRequest> out = batch({redraw(viewA, 2)});
        EXPECT_EQ(interruptAllowed, 0u);
        interruptAllowed = 1;
        DispmanRequest r = redraw(viewB, 2);
        r.interrupt = 1;
        out = batch({redraw(viewA, 2), r});
        EXPECT_EQ(interruptAllowed, 1u);

        // A front push is the next entry popped, and the last pan follows
        // its entry.
        EXPECT_EQ(DispmanQueue_push(&queue, &r), 0);
        DispmanRequest p = page(DispmanKind_pan, 7, docA, nodeA, 1, 1);
        EXPECT_EQ(DispmanQueue_push(&queue, &p), 0);
        EXPECT_EQ(DispmanQueue_takeBatch(&queue), 1);
        EXPECT_EQ(queue.working.lastPan, 1);
        DispmanQueue_pop(&queue, &q);
        DispmanRequest end = redraw(viewA, 3);
        EXPECT_EQ(DispmanQueue_pushFront(&queue, &end), 0);
        EXPECT_EQ(queue.working.lastPan, 2);
        DispmanQueue_pop(&queue, &q);
        EXPECT_EQ(q.subCode, 3u);
        DispmanQueue_pop(&queue, &q);
        EXPECT_EQ(q.kind, uint32_t(DispmanKind_pan));
        DispmanQueue_discard(&q);
        DispmanQueue_discard(&q); // a second discard gives nothing back twice
        EXPECT_EQ(docA->viewCount, 0u);
    });
}

TEST_F(DispQueueTest, ArraysGrowBySixteenAndShrinkAfterSeventeenBatches)
{
    run([&] {
        for (int i = 0; i < 40; i++) {
            DispmanRequest q = redraw(viewA, 2, {i, 0, i + 1, 1});
            ASSERT_EQ(DispmanQueue_push(&queue, &q), 0);
        }
        EXPECT_EQ(queue.incoming.capacity, 48);
        EXPECT_EQ(DispmanQueue_takeBatch(&queue), 1);
        EXPECT_EQ(queue.working.count, 40);
        // The big array comes back as the incoming one; small batches shrink
        // it by 16 after 17 of them, not before. The arrays alternate, so
        // the big one is counted every second batch.
        int batches = 0;
        while (queue.incoming.capacity != 32 && queue.working.capacity != 32 && batches < 100) {
            DispmanRequest q = redraw(viewA, 2);
            ASSERT_EQ(DispmanQueue_push(&queue, &q), 0);
            ASSERT_EQ(DispmanQueue_takeBatch(&queue), 1);
            batches++;
        }
        EXPECT_EQ(batches, 2 * 17);
        // Out of memory when the array must grow: the push fails cleanly
        // and the queue keeps what it had.
        DispmanRequest q = redraw(viewA, 2);
        while (queue.incoming.count < queue.incoming.capacity)
            ASSERT_EQ(DispmanQueue_push(&queue, &q), 0);
        uint16_t count = queue.incoming.count, capacity = queue.incoming.capacity;
        Mem_failAfter(1);
        EXPECT_EQ(DispmanQueue_push(&queue, &q), Res_noMemory);
        Mem_failAfter(0);
        EXPECT_EQ(queue.incoming.count, count);
        EXPECT_EQ(queue.incoming.capacity, capacity);
        EXPECT_EQ(DispmanQueue_push(&queue, &q), 0);
        EXPECT_EQ(queue.incoming.capacity, capacity + 16);
    });
}

// ------------------------------------------------ the reference merger

// The merge rules written out plainly over a list of requests.
std::vector<DispmanRequest> referenceMerge(std::vector<DispmanRequest> v, int *lastPan,
                                           int *lastZoom)
{
    auto rank = [](uint32_t s) { return s & 6; };
    auto sameArea = [](const DispmanArea &a, const DispmanArea &b) {
        return a.document == b.document && a.pageKey == b.pageKey && a.pageKind == b.pageKind &&
               a.rect.x0 == b.rect.x0 && a.rect.y0 == b.rect.y0 && a.rect.x1 == b.rect.x1 &&
               a.rect.y1 == b.rect.y1 && a.notify == b.notify;
    };
    std::vector<bool> gone(v.size(), false);
    int ref[10];
    for (int &r : ref)
        r = -1;
    for (int i = 0; i < int(v.size()); i++) {
        DispmanRequest &e = v[i];
        int slot = int(e.kind);
        if (e.kind == DispmanKind_zoom)
            slot = e.subCode == 9 ? 7 : e.subCode == 10 ? 8 : 3;
        int &r = ref[slot];
        if (r < 0) {
            r = i;
            continue;
        }
        DispmanRequest &f = v[r];
        bool same = false;
        switch (e.kind) {
        case 0:
            same = e.redraw.view == f.redraw.view && e.redraw.rect.x0 == f.redraw.rect.x0 &&
                   e.redraw.rect.x1 == f.redraw.rect.x1;
            break;
        case 1:
        case 6: same = sameArea(e.area, f.area); break;
        default: same = e.page.node == f.page.node;
        }
        if (!same)
            continue;
        if (e.kind == 6) {
            gone[i] = true;
        } else if (e.kind == 2 || e.kind == 3) {
            if (e.subCode == f.subCode) {
                if (e.kind == 2) {
                    f.page.pan.dx += e.page.pan.dx;
                    f.page.pan.dy += e.page.pan.dy;
                } else {
                    f.page.zoom.zoom = e.page.zoom.zoom;
                }
                gone[i] = true;
            } else {
                r = i;
            }
        } else if (rank(e.subCode) > rank(f.subCode)) {
            gone[r] = true;
            r = i;
        } else if (e.subCode == f.subCode || rank(e.subCode) < rank(f.subCode)) {
            if (e.kind == 4)
                f.page.position = e.page.position;
            gone[i] = true;
        }
    }
    std::vector<DispmanRequest> out;
    *lastPan = *lastZoom = -1;
    for (int i = 0; i < int(v.size()); i++) {
        if (gone[i])
            continue;
        if (i == ref[2])
            *lastPan = int(out.size());
        if (i == ref[3])
            *lastZoom = int(out.size());
        out.push_back(v[i]);
    }
    return out;
}

TEST_F(DispQueueTest, RandomBatchesMatchTheReferenceMerger)
{
    run([&] {
        std::mt19937 rng(1234);
        auto pick = [&rng](int n) { return int(rng() % uint32_t(n)); };
        for (int round = 0; round < 300; round++) {
            std::vector<DispmanRequest> in;
            int n = 1 + pick(24);
            for (int i = 0; i < n; i++) {
                int kind = pick(5);
                kind = kind == 1 ? 2 : kind == 4 ? 6 : kind; // kinds 0, 2, 3, 4 and 6; 1 below
                if (pick(6) == 0)
                    kind = 1;
                Edr_Node *node = pick(2) ? nodeA : nodeB;
                static const uint32_t redrawSubs[] = {2, 3, 4};
                static const uint32_t zoomSubs[] = {9, 10, 11, 12};
                DispmanRequest q{};
                switch (kind) {
                case 0:
                    q = redraw(pick(2) ? viewA : viewB, redrawSubs[pick(3)], {pick(2), 0, 10, 10});
                    break;
                case 1:
                case 6:
                    q = area(uint32_t(kind), pick(2) ? docA : docB,
                             kind == 6 ? 13 : redrawSubs[pick(3)]);
                    break;
                case 2:
                    q = page(2, uint32_t(5 + pick(3)), docA, node, pick(9) - 4, pick(9) - 4);
                    break;
                case 3: q = page(3, zoomSubs[pick(4)], docA, node, 0x1000 * (1 + pick(16))); break;
                default: q = page(4, uint32_t(pick(5)), docA, node, pick(100), pick(100));
                }
                in.push_back(q);
            }
            int refPan = -1, refZoom = -1;
            std::vector<DispmanRequest> expect = referenceMerge(in, &refPan, &refZoom);
            std::vector<DispmanRequest> out = batch(in);
            ASSERT_EQ(subs(out), subs(expect)) << "round " << round;
            for (size_t i = 0; i < out.size(); i++) {
                if (out[i].kind == DispmanKind_pan) {
                    EXPECT_EQ(out[i].page.pan.dx, expect[i].page.pan.dx) << round;
                    EXPECT_EQ(out[i].page.pan.dy, expect[i].page.pan.dy) << round;
                }
                if (out[i].kind == DispmanKind_zoom) {
                    EXPECT_EQ(out[i].page.zoom.zoom, expect[i].page.zoom.zoom) << round;
                }
                if (out[i].kind == DispmanKind_position) {
                    EXPECT_EQ(out[i].page.position.x, expect[i].page.position.x) << round;
                }
            }
            EXPECT_EQ(queue.working.lastPan, refPan) << round;
            EXPECT_EQ(queue.working.lastZoom, refZoom) << round;
            // One view reference per surviving page request.
            uint32_t held = 0;
            for (const DispmanRequest &q : out)
                held += q.kind >= 2 && q.kind <= 5;
            ASSERT_EQ(docA->viewCount, held) << round;
            discardAll(out);
        }
    });
}

// ---------------------------------------------------- high-quality lists

TEST_F(DispQueueTest, HighQualityListsDropContainedAreasAndSearchAllButTheLast)
{
    run([&] {
        DispmanHqList list;
        Dispman_hqListInit(&list);
        DispmanRequest notify{};
        notify.progress[0] = DispmanProgress_notify;
        auto add = [&](Rect r, bool n, Edr_Doc *doc) {
            DispmanArea a{doc, 1, 0, r, 0};
            EXPECT_EQ(Dispman_hqListAdd(nullptr, &list, &a, n ? &notify : nullptr), 0);
        };
        add({0, 0, 100, 100}, false, docA);
        add({10, 10, 20, 20}, true, docA);    // inside the first: dropped, its flag kept
        add({10, 10, 20, 20}, false, docB);   // another document: kept
        add({-5, -5, 200, 200}, false, docA); // swallows the first
        EXPECT_EQ(list.count, 4);
        EXPECT_EQ(Dispman_hqListPrepare(&list), 1);
        ASSERT_EQ(list.count, 2);
        EXPECT_EQ(list.areas[0].document, docB);
        EXPECT_EQ(list.areas[1].rect.x1, 200);
        EXPECT_EQ(list.areas[1].notify, 1);

        // The notifying area is the last one: not found.
        DispmanArea found{docA, 9, 9, {1, 1, 2, 2}, 9};
        EXPECT_EQ(Dispman_hqListFindNotifying(&list, docA, 1, 0, &found), 0);
        EXPECT_EQ(found.document, nullptr);
        EXPECT_EQ(found.rect.x1, 0);
        add({500, 500, 600, 600}, false, docB);
        EXPECT_EQ(Dispman_hqListFindNotifying(&list, docA, 1, 0, &found), 1);
        EXPECT_EQ(found.rect.x1, 200);

        // The stack pops from the top.
        EXPECT_EQ(Dispman_hqListTop(&list)->rect.x0, 500);
        Dispman_hqListDropTop(&list);
        Dispman_hqListDropTop(&list);
        Dispman_hqListDropTop(&list);
        Dispman_hqListDropTop(&list);
        EXPECT_EQ(Dispman_hqListTop(&list), nullptr);
        EXPECT_EQ(Dispman_hqListPrepare(&list), 0);
        Dispman_hqListFree(&list);
    });
}

} // namespace
