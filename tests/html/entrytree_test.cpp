// The lazily expanded entry tree: building through open callbacks, growth
// of child arrays, reopening, release order, and walks over references.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/result.h"
#include "html/entrytree.h"
#include "tests/support/heap_fixture.h"

namespace {

std::vector<std::string> *events;

void *tag(intptr_t v)
{
    return reinterpret_cast<void *>(v);
}

void releaseLog(void *data)
{
    events->push_back("release " + std::to_string(reinterpret_cast<intptr_t>(data)));
}

class EntryTreeTest : public LeakCheckedContextTest<> {
  protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(LeakCheckedContextTest<>::SetUp());
        events = &log;
        ASSERT_EQ(EntryTree_create(ctx, &tree), 0);
    }
    void TearDown() override
    {
        EntryTree_free(tree);
        LeakCheckedContextTest<>::TearDown();
    }
    EntryTree *tree = nullptr;
    std::vector<std::string> log;
};

// Opens a list with leaves value*10 + 1 .. value*10 + 3 and, for value 1, a
// nested list of value 2 in the middle.
int openThree(EntryTreeCursor *c, void *data, intptr_t value)
{
    events->push_back("open " + std::to_string(reinterpret_cast<intptr_t>(data)));
    for (intptr_t i = 1; i <= 3; i++) {
        int r = EntryTree_addLeaf(c, tag(value * 10 + i), 0, 0, releaseLog);
        if (r)
            return r;
        EntryTree_advance(c);
        if (value == 1 && i == 2) {
            r = EntryTree_addList(c, tag(2), 2, openThree, releaseLog);
            if (r)
                return r;
            EntryTree_advance(c);
        }
    }
    return 0;
}

int logLeaf(EntryTreeWalker *, EntryTreeLeaf *leaf)
{
    events->push_back("leaf " + std::to_string(reinterpret_cast<intptr_t>(leaf->data)));
    return 0;
}

TEST_F(EntryTreeTest, CreationDefaults)
{
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(tree->templateWords[i], 0);
    EXPECT_EQ(tree->templateWords[6], -3640);
    EXPECT_EQ(EntryTree_getState(tree), 0);
    int32_t a = 0, b = 0;
    EntryTree_getParams(tree, &a, &b);
    EXPECT_EQ(a, 2);
    EXPECT_EQ(b, 2);
}

TEST_F(EntryTreeTest, WalkOpensListsOnceInOrderAndInReverse)
{
    ASSERT_EQ(EntryTree_setRoot(tree, tag(1), 1, openThree, releaseLog), 0);
    EntryTreeWalker w{};
    w.leaf = logLeaf;
    EXPECT_EQ(EntryTree_walk(&w, tree, tree->root), 0);
    EXPECT_EQ(log, (std::vector<std::string>{"open 1", "leaf 11", "leaf 12", "open 2", "leaf 21",
                                             "leaf 22", "leaf 23", "leaf 13"}));
    EXPECT_EQ(tree->root->opened, 1);
    EXPECT_EQ(tree->root->loaded, 1);
    log.clear();
    w.reverse = 1;
    EXPECT_EQ(EntryTree_walk(&w, tree, tree->root), 0);
    EXPECT_EQ(log, (std::vector<std::string>{"leaf 13", "leaf 23", "leaf 22", "leaf 21", "leaf 12",
                                             "leaf 11"}))
        << "opened lists are not opened again";
    // Children are released before their parent.
    log.clear();
    EntryTree_free(tree);
    tree = nullptr;
    EXPECT_EQ(log,
              (std::vector<std::string>{"release 11", "release 12", "release 21", "release 22",
                                        "release 23", "release 2", "release 13", "release 1"}));
}

TEST_F(EntryTreeTest, ReopeningDoesNotDuplicateChildren)
{
    ASSERT_EQ(EntryTree_setRoot(tree, tag(7), 7, openThree, releaseLog), 0);
    EntryTreeCursor c{tree, 0, tree->root, 0};
    EXPECT_EQ(EntryTree_needsOpen(&c), 1);
    EXPECT_EQ(EntryTree_nodeData(&c), tag(7));
    ASSERT_EQ(openThree(&c, tag(7), 7), 0);
    EXPECT_EQ(tree->root->children->count, 3u);
    // The same children again, from index 0: each new one is released.
    log.clear();
    c.index = 0;
    ASSERT_EQ(openThree(&c, tag(7), 7), 0);
    EXPECT_EQ(tree->root->children->count, 3u);
    EXPECT_EQ(log, (std::vector<std::string>{"open 7", "release 71", "release 72", "release 73"}));
    c.index = 1;
    EXPECT_EQ(EntryTree_currentData(&c), tag(72));
    c.index = 3;
    EXPECT_EQ(EntryTree_currentData(&c), nullptr) << "at the end of the children";
}

TEST_F(EntryTreeTest, ChildArraysDoubleFromTwo)
{
    ASSERT_EQ(EntryTree_setRoot(tree, nullptr, 0, nullptr, nullptr), 0);
    EntryTreeCursor c{tree, 0, tree->root, 0};
    std::vector<uint32_t> capacities;
    for (intptr_t i = 0; i < 9; i++) {
        ASSERT_EQ(EntryTree_addLeaf(&c, tag(i), 0, 0, nullptr), 0);
        EntryTree_advance(&c);
        capacities.push_back(tree->root->children->capacity);
    }
    EXPECT_EQ(capacities, (std::vector<uint32_t>{2, 2, 4, 4, 8, 8, 8, 8, 16}));
    EXPECT_EQ(tree->root->children->count, 9u);
    // A store far beyond the count grows to cover it; the gap stays empty.
    EntryTreeChildren *children = tree->root->children;
    EntryTreeLeaf *far = static_cast<EntryTreeLeaf *>(Mem_calloc(1, sizeof(EntryTreeLeaf)));
    ASSERT_EQ(EntryTree_storeChild(children, 40, reinterpret_cast<EntryTreeEntry *>(far)), 0);
    EXPECT_EQ(children->capacity, 64u);
    EXPECT_EQ(children->count, 41u);
    EXPECT_EQ(children->entries[20], nullptr);
    EntryTreeWalker w{};
    EXPECT_EQ(EntryTree_walk(&w, tree, tree->root), 0) << "empty slots are passed over";
}

TEST_F(EntryTreeTest, OutOfMemoryLeavesTheCallerItsData)
{
    ASSERT_EQ(EntryTree_setRoot(tree, nullptr, 0, nullptr, nullptr), 0);
    EntryTreeCursor c{tree, 0, tree->root, 0};
    ASSERT_EQ(EntryTree_addLeaf(&c, tag(1), 0, 0, releaseLog), 0);
    EntryTree_advance(&c);
    ASSERT_EQ(EntryTree_addLeaf(&c, tag(2), 0, 0, releaseLog), 0);
    EntryTree_advance(&c);
    // The third child needs the array to grow: that allocation fails.
    Mem_failAfter(2);
    EXPECT_EQ(EntryTree_addLeaf(&c, tag(3), 0, 0, releaseLog), 1);
    Mem_failAfter(0);
    EXPECT_EQ(log, (std::vector<std::string>{"release 0"})) << "released with its data cleared";
    EXPECT_EQ(tree->root->children->count, 2u);
    Mem_failAfter(1);
    EXPECT_EQ(EntryTree_addList(&c, tag(4), 0, nullptr, releaseLog), 1);
    Mem_failAfter(0);
    EntryTree *other = nullptr;
    Mem_failAfter(1);
    EXPECT_EQ(EntryTree_create(ctx, &other), 1);
    EXPECT_EQ(other, nullptr);
    Mem_failAfter(0);
}

// References: each tree's root holds one leaf and one reference to the
// next tree in `ring`.
struct Ring {
    EntryTree *trees[3];
    int32_t links; // how many of them link on (the last closes the ring when 3)
};
Ring *ring;

EntryTree *resolveRing(void *reference)
{
    intptr_t i = reinterpret_cast<intptr_t>(reference);
    return i < ring->links ? ring->trees[(i + 1) % 3] : nullptr;
}

int openRing(EntryTreeCursor *c, void *, intptr_t value)
{
    int r = EntryTree_addLeaf(c, tag(100 + value), 0, 0, nullptr);
    EntryTree_advance(c);
    if (!r)
        r = EntryTree_addRef(c, tag(value), 0, resolveRing, 0, 0, nullptr);
    EntryTree_advance(c);
    return r;
}

TEST_F(EntryTreeTest, ReferencesAreWalkedAndCyclesEndTheWalk)
{
    Ring r{{tree, nullptr, nullptr}, 2};
    ring = &r;
    ASSERT_EQ(EntryTree_create(ctx, &r.trees[1]), 0);
    ASSERT_EQ(EntryTree_create(ctx, &r.trees[2]), 0);
    for (intptr_t i = 0; i < 3; i++)
        ASSERT_EQ(EntryTree_setRoot(r.trees[i], nullptr, i, openRing, nullptr), 0);
    EntryTreeWalker w{};
    w.leaf = logLeaf;
    int refs = 0;
    w.user = &refs;
    w.reference = [](EntryTreeWalker *w, EntryTreeRef *) {
        ++*static_cast<int *>(w->user);
        return 0;
    };
    EXPECT_EQ(EntryTree_walk(&w, tree, tree->root), 0);
    EXPECT_EQ(log, (std::vector<std::string>{"leaf 100", "leaf 101", "leaf 102"}));
    EXPECT_EQ(refs, 3);

    // The last tree now leads back to the first: the walk ends with an error.
    r.links = 3;
    log.clear();
    EXPECT_EQ(EntryTree_walk(&w, tree, tree->root), Res_entryTreeCycle);
    EXPECT_EQ(log, (std::vector<std::string>{"leaf 100", "leaf 101", "leaf 102"}));

    // The stop flag ends a walk quietly.
    log.clear();
    w.leaf = [](EntryTreeWalker *w, EntryTreeLeaf *leaf) {
        events->push_back("leaf " + std::to_string(reinterpret_cast<intptr_t>(leaf->data)));
        w->stop = 1;
        return 0;
    };
    EXPECT_EQ(EntryTree_walk(&w, tree, tree->root), 0);
    EXPECT_EQ(log, (std::vector<std::string>{"leaf 100"}));
    EntryTree_free(r.trees[1]);
    EntryTree_free(r.trees[2]);
}

// A chain of nested lists deeper than the walk's bound.
int openDeep(EntryTreeCursor *c, void *, intptr_t value)
{
    int r = EntryTree_addList(c, nullptr, value + 1, openDeep, nullptr);
    EntryTree_advance(c);
    return r;
}

TEST_F(EntryTreeTest, DeepNestingEndsTheWalk)
{
    ASSERT_EQ(EntryTree_setRoot(tree, nullptr, 0, openDeep, nullptr), 0);
    EntryTreeWalker w{};
    EXPECT_EQ(EntryTree_walk(&w, tree, tree->root), Res_entryTreeTooDeep);
    // A callback's status ends the walk with that status.
    EntryTree *other = nullptr;
    ASSERT_EQ(EntryTree_create(ctx, &other), 0);
    ASSERT_EQ(
        EntryTree_setRoot(
            other, nullptr, 0, [](EntryTreeCursor *, void *, intptr_t) { return 77; }, nullptr),
        0);
    EXPECT_EQ(EntryTree_walk(&w, other, other->root), 77);
    EXPECT_EQ(other->root->opened, 0);
    EntryTree_free(other);
}

} // namespace
