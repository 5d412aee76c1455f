// Node attachments on a synthetic tree: shared data and its destructor,
// replacing data, the node's header bit, teardown with the document; the
// n-th focusable node; the doubled-box point test; item-tree walks with
// estimated leaf rectangles and their stack guard.
#include <gtest/gtest.h>

#include <vector>

#include "core/context/context.h"
#include "core/result.h"
#include "document/edr/attach.h"
#include "platform/url/url.h"
#include "tests/document/edr_fixture.h"

namespace {

class AttachTest : public EdrFixture {
  protected:
    static std::vector<intptr_t> &freed()
    {
        static std::vector<intptr_t> list; // test-side record of destructor calls
        return list;
    }
    static void destructor(void *data)
    {
        freed().push_back(reinterpret_cast<intptr_t>(data));
    }
    void SetUp() override
    {
        EdrFixture::SetUp();
        freed().clear();
    }
};

TEST_F(AttachTest, SharedDataRunsItsDestructorOnceWithTheLastShare)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *a = nullptr, *b = nullptr;
        ASSERT_EQ(Edr_Node_createGroup(doc, root, Edr_Insert_lastChild, 0, &a), 0);
        ASSERT_EQ(Edr_Node_createGroup(doc, root, Edr_Insert_lastChild, 0, &b), 0);
        void *data = reinterpret_cast<void *>(intptr_t(0x1000));
        ASSERT_EQ(Edr_Node_setPrivate(doc, a, data, destructor), 0);
        ASSERT_EQ(Edr_Node_setPrivate(doc, b, data, destructor), 0);
        EXPECT_NE(a->flags & Edr_Node_privateBit, 0u);
        void *got = nullptr;
        EXPECT_EQ(Edr_Node_getPrivate(doc, b, &got), 0);
        EXPECT_EQ(got, data);
        Edr_PrivateDestructor d = nullptr;
        EXPECT_EQ(Edr_Node_getPrivateDestructor(doc, a, &d), 0);
        EXPECT_EQ(d, &destructor);

        Edr_Node_clearPrivate(doc, a);
        EXPECT_TRUE(freed().empty());
        EXPECT_EQ(a->flags & Edr_Node_privateBit, 0u);
        EXPECT_EQ(Edr_Node_getPrivate(doc, a, &got), 0);
        EXPECT_EQ(got, nullptr);
        Edr_Node_clearPrivate(doc, b);
        EXPECT_EQ(freed(), std::vector<intptr_t>{0x1000});
        EXPECT_EQ(b->flags & Edr_Node_privateBit, 0u);
        Edr_Node_clearPrivate(doc, nullptr);
        Edr_Node_release(doc, a);
        Edr_Node_release(doc, b);
    });
}

TEST_F(AttachTest, ReplacingDataRunsTheOldDestructorWhenNotShared)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *a = nullptr, *b = nullptr;
        ASSERT_EQ(Edr_Node_createGroup(doc, root, Edr_Insert_lastChild, 0, &a), 0);
        ASSERT_EQ(Edr_Node_createGroup(doc, root, Edr_Insert_lastChild, 0, &b), 0);
        void *one = reinterpret_cast<void *>(intptr_t(1)),
             *two = reinterpret_cast<void *>(intptr_t(2));
        ASSERT_EQ(Edr_Node_setPrivate(doc, a, one, destructor), 0);
        ASSERT_EQ(Edr_Node_setPrivate(doc, a, two, destructor), 0);
        EXPECT_EQ(freed(), std::vector<intptr_t>{1});
        // Shared: replacing on one node keeps the data for the other.
        ASSERT_EQ(Edr_Node_setPrivate(doc, b, two, destructor), 0);
        ASSERT_EQ(Edr_Node_setPrivate(doc, a, one, destructor), 0);
        EXPECT_EQ(freed(), std::vector<intptr_t>{1});
        // Null data detaches only.
        ASSERT_EQ(Edr_Node_setPrivate(doc, b, nullptr, nullptr), 0);
        EXPECT_EQ(freed(), (std::vector<intptr_t>{1, 2}));
        EXPECT_EQ(b->flags & Edr_Node_privateBit, 0u);
        Edr_Node_release(doc, a);
        Edr_Node_release(doc, b);
    });
    // The document's teardown let go of the data still attached to a.
    EXPECT_EQ(freed(), (std::vector<intptr_t>{1, 2, 1}));
}

TEST_F(AttachTest, ManyNodesGrowTheTableAndReuseFreeEntries)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        std::vector<Edr_Node *> nodes(40);
        for (size_t i = 0; i < nodes.size(); i++) {
            ASSERT_EQ(Edr_Node_createGroup(doc, root, Edr_Insert_lastChild, 0, &nodes[i]), 0);
            ASSERT_EQ(Edr_Node_setPrivate(doc, nodes[i], reinterpret_cast<void *>(intptr_t(i + 1)),
                                          destructor),
                      0);
        }
        EXPECT_EQ(doc->sideRecord->capacity, 64u);
        Edr_Node_clearPrivate(doc, nodes[3]);
        ASSERT_EQ(
            Edr_Node_setPrivate(doc, nodes[3], reinterpret_cast<void *>(intptr_t(99)), nullptr), 0);
        EXPECT_EQ(doc->sideRecord->count, 40u);
        void *got = nullptr;
        EXPECT_EQ(Edr_Node_getPrivate(doc, nodes[39], &got), 0);
        EXPECT_EQ(got, reinterpret_cast<void *>(intptr_t(40)));
        for (Edr_Node *n : nodes)
            Edr_Node_release(doc, n);
    });
    EXPECT_EQ(freed().size(), 40u); // 39 at teardown, 1 when node 3 was cleared
}

TEST_F(AttachTest, FocusableNodesInTreeOrder)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *plain = nullptr, *link = nullptr, *a = nullptr, *b = nullptr;
        ASSERT_EQ(Edr_Node_createGroup(doc, root, Edr_Insert_lastChild, 0, &plain), 0);
        ASSERT_EQ(Edr_Node_createText(doc, plain, Edr_Insert_lastChild, &a, u"a", 1), 0);
        ASSERT_EQ(Edr_Node_createGroup(doc, root, Edr_Insert_lastChild, 0, &link), 0);
        ASSERT_EQ(Edr_Node_createText(doc, link, Edr_Insert_lastChild, &b, u"b", 1), 0);
        Url *url = Url_new(u"http://example.org/x");
        ASSERT_NE(url, nullptr);
        ASSERT_EQ(Edr_Node_setUrl(doc, link, url), 0);
        Url_free(url);
        EXPECT_EQ(Edr_Doc_nthFocusable(doc, 0), link);
        EXPECT_EQ(Edr_Doc_nthFocusable(doc, 1), b);
        EXPECT_EQ(Edr_Doc_nthFocusable(doc, 2), nullptr);
        for (Edr_Node *n : {plain, link, a, b})
            Edr_Node_release(doc, n);
    });
}

TEST_F(AttachTest, PointInDoubledBox)
{
    EXPECT_EQ(Rect_pointInDoubled(10, 20, 20, 40, 0, 0), 1);
    EXPECT_EQ(Rect_pointInDoubled(10, 20, 21, 40, 0, 0), 2);
    EXPECT_EQ(Rect_pointInDoubled(10, 20, 20, 41, 0, 0), 2);
    EXPECT_EQ(Rect_pointInDoubled(10, 20, 0, 0, 0, 1), 0);
}

TEST_F(AttachTest, EstimatedRectangles)
{
    Rect r{10, 30, 50, 60};
    ItemTree_estimateRect(100, &r);
    EXPECT_EQ(r.y0, 30 * 40 / 80);
    EXPECT_EQ(r.x1, 90);
    // A width of twice x0 divides by zero: the rectangle stays as it is.
    Rect centred{50, 30, 60, 40};
    ItemTree_estimateRect(100, &centred);
    EXPECT_EQ(centred.y0, 30);
    EXPECT_EQ(centred.x1, 60);
    Rect empty{10, 30, 10, 60};
    ItemTree_estimateRect(100, &empty);
    EXPECT_EQ(empty.x1, 10);
}

struct WalkLog {
    std::vector<int> leaves;
    std::vector<Rect> rects;
};

int leafRect(void *item, Rect *out)
{
    int v = int(reinterpret_cast<intptr_t>(item));
    *out = Rect{10, v * 10, 20, v * 10 + 5};
    return 0;
}

int onLeaf(ItemTreeVisitor *v, void *item, const Rect *rect)
{
    WalkLog *log = static_cast<WalkLog *>(v->argument);
    log->leaves.push_back(int(reinterpret_cast<intptr_t>(item)));
    log->rects.push_back(*rect);
    return 0;
}

TEST_F(AttachTest, ItemTreeWalkLoadsAndEstimates)
{
    ItemTreeChild leaves[2] = {{0, nullptr, reinterpret_cast<void *>(intptr_t(1)), leafRect},
                               {0, nullptr, reinterpret_cast<void *>(intptr_t(2)), leafRect}};
    ItemTreeNode sub{leaves, 2, nullptr, 1, 0, 100};
    ItemTreeChild top[2] = {{1, &sub, nullptr, nullptr},
                            {0, nullptr, reinterpret_cast<void *>(intptr_t(3)), leafRect}};
    ItemTreeNode root{nullptr, 0, nullptr, 0, 0, 100};
    static ItemTreeChild *topChildren = top;
    root.loader = [](ItemTreeVisitor *, ItemTreeNode *n) {
        n->children = topChildren;
        n->count = 2;
        return 0;
    };
    WalkLog log;
    ItemTreeVisitor v{};
    v.leaf = onLeaf;
    v.leafCallbacks = 1;
    v.loadAllowed = 1;
    v.argument = &log;
    ASSERT_EQ(ItemTree_walk(&v, &root), 0);
    EXPECT_EQ(log.leaves, (std::vector<int>{1, 2, 3}));
    // The sub-tree is loaded but not exact: its leaves are estimated.
    EXPECT_EQ(log.rects[0].x1, 90);
    EXPECT_EQ(log.rects[0].y0, 10 * 10 / 80);
    EXPECT_EQ(log.rects[2].x1, 20); // the loaded root is exact
    // Reverse order.
    log = WalkLog{};
    v.reverse = 1;
    ASSERT_EQ(ItemTree_walk(&v, &root), 0);
    EXPECT_EQ(log.leaves, (std::vector<int>{3, 2, 1}));
    // Not loaded and loading not allowed: nothing is visited.
    log = WalkLog{};
    ItemTreeNode unloaded{nullptr, 0, root.loader, 0, 0, 100};
    v.loadAllowed = 0;
    ASSERT_EQ(ItemTree_walk(&v, &unloaded), 0);
    EXPECT_TRUE(log.leaves.empty());
}

TEST_F(AttachTest, DeepItemTreesStopAtTheStackGuard)
{
    std::vector<ItemTreeNode> nodes(5000);
    std::vector<ItemTreeChild> links(5000);
    for (size_t i = 0; i + 1 < nodes.size(); i++) {
        links[i] = ItemTreeChild{1, &nodes[i + 1], nullptr, nullptr};
        nodes[i] = ItemTreeNode{&links[i], 1, nullptr, 1, 1, 0};
    }
    nodes.back() = ItemTreeNode{nullptr, 0, nullptr, 1, 1, 0};
    ItemTreeVisitor v{};
    v.loadAllowed = 1;
    v.stackBudget = 16 * 1024;
    EXPECT_EQ(ItemTree_walk(&v, &nodes[0]), Res_stackExhausted);
    v.stackBudget = 0;
    std::vector<ItemTreeNode> shallow(nodes.begin() + 4990, nodes.end());
    for (size_t i = 0; i + 1 < shallow.size(); i++)
        links[4990 + i].subtree = &shallow[i + 1], shallow[i].children = &links[4990 + i];
    EXPECT_EQ(ItemTree_walk(&v, &shallow[0]), 0);
}

} // namespace
