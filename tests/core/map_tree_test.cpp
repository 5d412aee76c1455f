// The keyed map's tree primitives by name: the lookup from a start node,
// rotations keeping the order and the parents, and 1000 ascending keys
// removed one by one with every lookup right and the root black.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "core/container/map.h"
#include "tests/support/heap_fixture.h"

namespace {

void *k(intptr_t n)
{
    return reinterpret_cast<void *>(n);
}
intptr_t mapNum(const void *p)
{
    return reinterpret_cast<intptr_t>(p);
}
int32_t compareNumbers(const void *stored, const void *probe)
{
    return mapNum(stored) < mapNum(probe) ? -1 : mapNum(stored) > mapNum(probe) ? 1 : 0;
}
void ignore(void *) {}

class MapTreeTest : public LeakCheckedHeapTest<> {
  protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(LeakCheckedHeapTest::SetUp());
        ASSERT_EQ(Map_create(nullptr, compareNumbers, nullptr, ignore, 0, &map), 0);
    }
    void TearDown() override
    {
        EXPECT_EQ(Map_destroy(map), 0);
        LeakCheckedHeapTest::TearDown();
    }
    MapNode *root()
    {
        return map->header->left;
    }
    // In-order keys, checking parents on the way.
    std::string inOrder(const MapNode *n, const MapNode *parent)
    {
        if (n == map->nil)
            return "";
        EXPECT_EQ(n->parent, parent) << mapNum(n->key);
        return inOrder(n->left, n) + std::to_string(mapNum(n->key)) + " " + inOrder(n->right, n);
    }
    Map *map = nullptr;
};

TEST_F(MapTreeTest, FindFromAStartNode)
{
    EXPECT_EQ(List_treeFind(k(1), root(), map), nullptr); // empty: the root is nil
    EXPECT_EQ(List_treeFind(k(1), nullptr, map), nullptr);
    for (intptr_t i = 1; i <= 15; i++)
        ASSERT_EQ(Map_insert(map, k(i), k(i * 10)), 0);
    for (intptr_t i = 1; i <= 15; i++) {
        MapNode *n = List_treeFind(k(i), root(), map);
        ASSERT_NE(n, nullptr);
        EXPECT_EQ(mapNum(n->value), i * 10);
    }
    EXPECT_EQ(List_treeFind(k(0), root(), map), nullptr);
    EXPECT_EQ(List_treeFind(k(16), root(), map), nullptr);
    // From a subtree only its keys are found.
    MapNode *left = root()->left;
    EXPECT_NE(List_treeFind(k(1), left, map), nullptr);
    EXPECT_EQ(List_treeFind(k(15), left, map), nullptr);
}

TEST_F(MapTreeTest, RotationsKeepOrderAndParents)
{
    for (intptr_t i = 1; i <= 7; i++)
        ASSERT_EQ(Map_insert(map, k(i), k(i)), 0);
    const std::string order = "1 2 3 4 5 6 7 ";
    MapNode *r = root();
    Map_rotateLeft(map, r);
    EXPECT_EQ(root(), r->parent);
    EXPECT_EQ(root()->left, r);
    EXPECT_EQ(inOrder(root(), map->header), order);
    Map_rotateRight(map, root());
    EXPECT_EQ(root(), r);
    EXPECT_EQ(inOrder(root(), map->header), order);
    // A rotation below the root, of a node with a left child.
    MapNode *x = root()->right;
    ASSERT_NE(x->left, map->nil);
    Map_rotateRight(map, x);
    EXPECT_EQ(root()->right, x->parent);
    EXPECT_EQ(inOrder(root(), map->header), order);
    EXPECT_EQ(map->nil->parent, map->nil); // nil links get no parent
}

TEST_F(MapTreeTest, RemovingAThousandKeysKeepsLookupsAndABlackRoot)
{
    const intptr_t n = 1000;
    for (intptr_t i = 1; i <= n; i++)
        ASSERT_EQ(Map_insert(map, k(i), k(i + 5000)), 0);
    // Removed in an order that is neither ascending nor descending.
    for (intptr_t step = 0; step < n; step++) {
        intptr_t gone = (step * 389) % n + 1;
        ASSERT_EQ(Map_remove(map, k(gone)), 0) << gone;
        EXPECT_FALSE(root()->red) << step;
        EXPECT_EQ(List_treeFind(k(gone), root(), map), nullptr);
        if (step % 50 == 0 || step > n - 10) {
            for (intptr_t probe = 1; probe <= n; probe++) {
                bool removed = false;
                for (intptr_t s = 0; s <= step && !removed; s++)
                    removed = (s * 389) % n + 1 == probe;
                MapNode *found = List_treeFind(k(probe), root(), map);
                ASSERT_EQ(found == nullptr, removed) << probe;
                if (found) {
                    EXPECT_EQ(mapNum(found->value), probe + 5000);
                }
            }
        }
    }
    EXPECT_EQ(root(), map->nil);
    EXPECT_EQ(map->count, 0);
}

} // namespace
