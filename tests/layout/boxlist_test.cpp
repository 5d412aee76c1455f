// Child lists of layout boxes: page boxes made from a template share its
// frames, lists unlink first, middle and last boxes, every box is finished
// in order with the first error kept, and freeing a tree frees each box.
#include <gtest/gtest.h>

#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "layout/layout.h"
#include "tests/support/heap_fixture.h"

namespace {

using BoxListTest = LeakCheckedHeapTest<>;

std::vector<LayoutBox *> order(const BoxList *list)
{
    std::vector<LayoutBox *> v;
    for (LayoutBox *b = list->first; b; b = b->next)
        v.push_back(b);
    std::vector<LayoutBox *> back;
    for (LayoutBox *b = list->last; b; b = b->prev)
        back.insert(back.begin(), b);
    EXPECT_EQ(v, back) << "the links run the same both ways";
    return v;
}

TEST_F(BoxListTest, AChildCopiesTheTemplateAndSharesItsFrames)
{
    LayoutBox *parent = Box_create(nullptr);
    ASSERT_NE(parent, nullptr);
    parent->availableWidth = 1234;
    parent->flowMode = 3;
    LayoutBox *a = nullptr, *b = nullptr;
    ASSERT_EQ(Box_addChild(parent, &a, parent), 0);
    ASSERT_NE(parent->children, nullptr);
    ASSERT_EQ(Box_addChild(parent, &b, a), 0);
    EXPECT_EQ(a->availableWidth, 1234);
    EXPECT_EQ(b->flowMode, 3u);
    EXPECT_EQ(a->shared, parent->shared);
    EXPECT_EQ(parent->shared->refCount, 3u);
    // The copy of a linked box starts unlinked before it is appended.
    EXPECT_EQ(b->prev, a);
    EXPECT_EQ(b->next, nullptr);
    EXPECT_EQ(order(parent->children), (std::vector<LayoutBox *>{a, b}));

    // Out of memory leaves nothing behind.
    LayoutBox *c = reinterpret_cast<LayoutBox *>(1);
    Mem_failAfter(1);
    EXPECT_EQ(Box_addChild(parent, &c, parent), int(Res_noMemory));
    Mem_failAfter(0);
    EXPECT_EQ(c, nullptr);
    EXPECT_EQ(parent->shared->refCount, 3u);
    EXPECT_EQ(order(parent->children).size(), 2u);

    BoxList_freeAll(parent->children);
    parent->children = nullptr;
    EXPECT_EQ(parent->shared->refCount, 1u);
    Box_free(parent);
}

TEST_F(BoxListTest, UnlinkingKeepsTheListWhole)
{
    struct Case {
        int gone;
        std::vector<int> left;
    } cases[] = {{0, {1, 2}}, {1, {0, 2}}, {2, {0, 1}}};
    for (const Case &c : cases) {
        LayoutBox boxes[3]{};
        BoxList *list = BoxList_create(&boxes[0]);
        ASSERT_NE(list, nullptr);
        BoxList_append(list, &boxes[1]);
        BoxList_append(list, &boxes[2]);
        Box_unlinkChild(list, &boxes[c.gone]);
        EXPECT_EQ(boxes[c.gone].prev, nullptr);
        EXPECT_EQ(boxes[c.gone].next, nullptr);
        std::vector<LayoutBox *> want;
        for (int i : c.left)
            want.push_back(&boxes[i]);
        EXPECT_EQ(order(list), want);
        BoxList_free(list);
    }
    BoxList *empty = BoxList_create(nullptr);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->first, nullptr);
    BoxList_free(empty);
}

std::vector<LayoutBox *> *finished;
int finishFails(LayoutBox **box, int previous)
{
    finished->push_back(*box);
    EXPECT_EQ(previous, 0);
    return (*box)->savedWord;
}

TEST_F(BoxListTest, FinishingAllKeepsTheFirstError)
{
    std::vector<LayoutBox *> seen;
    finished = &seen;
    LayoutBox boxes[4]{};
    BoxList *list = BoxList_create(&boxes[0]);
    ASSERT_NE(list, nullptr);
    for (int i = 1; i < 4; i++)
        BoxList_append(list, &boxes[i]);
    boxes[0].finish = finishFails;
    boxes[1].finish = finishFails;
    boxes[1].savedWord = 7;
    boxes[2].finish = nullptr; // a box without the operation is passed over
    boxes[3].finish = finishFails;
    boxes[3].savedWord = 9;
    EXPECT_EQ(BoxList_finishAll(list), 7);
    EXPECT_EQ(seen, (std::vector<LayoutBox *>{&boxes[0], &boxes[1], &boxes[3]}));
    EXPECT_EQ(BoxList_finishAll(nullptr), 0);
    BoxList_free(list);
    finished = nullptr;
}

TEST_F(BoxListTest, FreeingATreeFreesNestedBoxes)
{
    LayoutBox *root = Box_create(nullptr);
    ASSERT_NE(root, nullptr);
    LayoutBox *page = nullptr, *nested = nullptr, *deeper = nullptr;
    ASSERT_EQ(Box_addChild(root, &page, root), 0);
    ASSERT_EQ(Box_addChild(page, &nested, root), 0);
    ASSERT_EQ(Box_addChild(nested, &deeper, root), 0);
    EXPECT_EQ(root->shared->refCount, 4u);
    Box_unlinkChild(root->children, page);
    Box_freeTree(page, 3);
    EXPECT_EQ(root->shared->refCount, 1u);
    BoxList_free(root->children);
    root->children = nullptr;
    Box_free(root);
    Box_freeTree(nullptr, 3);
}

} // namespace
