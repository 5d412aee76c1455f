// The keyed map: red-black invariants against a reference model, the exact
// shape after a fixed sequence, duplicates, walks and failures.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <string>

#include "core/result.h"
#include "core/container/map.h"
#include "tests/support/task_fixture.h"
#include "tests/support/heap_fixture.h"
#include "tests/support/test_engine.h"

namespace {

// Keys are small numbers carried in the key word; values carry the key in
// their upper bits and a serial number below, so that a found value tells
// which entry it came from.
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

int keysFreed;
int valuesFreed;
void freeKey(void *)
{
    keysFreed++;
}
void freeValue(void *)
{
    valuesFreed++;
}

class MapTest : public LeakCheckedHeapTest<> {
  protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(LeakCheckedHeapTest::SetUp());
        keysFreed = valuesFreed = 0;
        ASSERT_EQ(Map_create(nullptr, compareNumbers, freeKey, freeValue, 0, &map), 0);
    }
    void TearDown() override
    {
        if (map) {
            EXPECT_EQ(Map_destroy(map), 0);
        }
        LeakCheckedHeapTest::TearDown();
    }

    // Preorder: colour and key, children in parentheses, "." for a leaf.
    std::string shape(const MapNode *n)
    {
        if (n == map->nil)
            return ".";
        std::string s = (n->red ? "R" : "B") + std::to_string(mapNum(n->key));
        if (n->left != map->nil || n->right != map->nil)
            s += "(" + shape(n->left) + "," + shape(n->right) + ")";
        return s;
    }
    std::string shape()
    {
        return shape(map->header->left);
    }
    MapNode *nodeOf(intptr_t key)
    {
        MapNode *n = map->header->left;
        while (n != map->nil && mapNum(n->key) != key)
            n = mapNum(n->key) > key ? n->left : n->right;
        return n;
    }

    // Checks every red-black invariant below n and returns its black height;
    // keys are collected in order.
    int check(const MapNode *n, const MapNode *parent, std::string *keys)
    {
        if (n == map->nil)
            return 1;
        EXPECT_EQ(n->parent, parent);
        if (n->red) {
            EXPECT_FALSE(n->left->red);
            EXPECT_FALSE(n->right->red);
        }
        int lh = check(n->left, n, keys);
        *keys += std::to_string(mapNum(n->key)) + " ";
        int rh = check(n->right, n, keys);
        EXPECT_EQ(lh, rh) << "black heights differ under " << mapNum(n->key);
        if (n->left != map->nil) {
            EXPECT_LE(mapNum(n->left->key), mapNum(n->key));
        }
        if (n->right != map->nil) {
            EXPECT_GE(mapNum(n->right->key), mapNum(n->key));
        }
        return lh + (n->red ? 0 : 1);
    }
    std::string checkAll()
    {
        std::string keys;
        EXPECT_FALSE(map->nil->red);
        EXPECT_FALSE(map->header->red);
        EXPECT_EQ(map->nil->key, nullptr);
        MapNode *root = map->header->left;
        EXPECT_FALSE(root->red);
        check(root, map->header, &keys);
        return keys;
    }

    Map *map = nullptr;
};

TEST_F(MapTest, ThreeAscendingKeysMakeABlackRootWithRedChildren)
{
    for (intptr_t i = 1; i <= 3; i++)
        ASSERT_EQ(Map_insert(map, k(i), k(100 + i)), 0);
    EXPECT_EQ(shape(), "B2(R1,R3)");
    int red = -1;
    void *left = nullptr, *right = nullptr;
    ASSERT_EQ(Map_nodeInfo(map, k(2), &red, &left, &right), 0);
    EXPECT_EQ(red, 0);
    EXPECT_EQ(mapNum(left), 101);
    EXPECT_EQ(mapNum(right), 103);
    ASSERT_EQ(Map_nodeInfo(map, k(3), &red, &left, &right), 0);
    EXPECT_EQ(red, 1);
    EXPECT_EQ(left, nullptr);
    EXPECT_EQ(right, nullptr);
    EXPECT_EQ(Map_nodeInfo(map, k(9), &red, &left, &right), Res_mapNotFound);
    EXPECT_EQ(mapNum(Map_rootValue(map)), 102);

    std::string order;
    EXPECT_EQ(Map_walk(
                  map,
                  [](void *key, void *, void *data) {
                      *static_cast<std::string *>(data) += std::to_string(mapNum(key));
                      return 0;
                  },
                  &order),
              0);
    EXPECT_EQ(order, "132");
    EXPECT_EQ(map->walkCallback, nullptr);
    // The first non-zero answer stops the walk and comes back.
    EXPECT_EQ(Map_walk(
                  map, [](void *key, void *, void *) { return mapNum(key) == 3 ? 7 : 0; }, nullptr),
              7);
    EXPECT_EQ(Map_walk(map, nullptr, nullptr), 0);
}

TEST_F(MapTest, AFixedSequenceGivesAFixedShape)
{
    for (intptr_t i = 1; i <= 10; i++)
        ASSERT_EQ(Map_insert(map, k(i), k(100 + i)), 0);
    EXPECT_EQ(shape(), "B4(B2(B1,B3),B6(B5,R8(B7,B9(.,R10))))");

    // Removing a node with two children moves its successor node (with its
    // own key and value) into the removed node's place and colour.
    MapNode *five = nodeOf(5);
    ASSERT_EQ(Map_remove(map, k(4)), 0);
    EXPECT_EQ(shape(), "B5(B2(B1,B3),B8(B6(.,R7),B9(.,R10)))");
    EXPECT_EQ(map->header->left, five);
    EXPECT_EQ(mapNum(five->value), 105);

    ASSERT_EQ(Map_remove(map, k(8)), 0);
    EXPECT_EQ(shape(), "B5(B2(B1,B3),B9(B6(.,R7),B10))");
    ASSERT_EQ(Map_remove(map, k(1)), 0);
    EXPECT_EQ(shape(), "B5(B2(.,R3),R9(B6(.,R7),B10))");
    EXPECT_EQ(map->count, 7);
    EXPECT_EQ(keysFreed, 3);
    EXPECT_EQ(valuesFreed, 3);
    checkAll();
}

TEST_F(MapTest, EqualKeysCoexistAndTheFirstOnThePathIsFound)
{
    ASSERT_EQ(Map_insert(map, k(5), k(1)), 0);
    ASSERT_EQ(Map_insert(map, k(5), k(2)), 0);
    EXPECT_EQ(map->count, 2);
    EXPECT_EQ(shape(), "B5(.,R5)");
    void *v = nullptr;
    ASSERT_EQ(Map_find(map, k(5), &v), 0);
    EXPECT_EQ(mapNum(v), 1);
    ASSERT_EQ(Map_remove(map, k(5)), 0);
    ASSERT_EQ(Map_find(map, k(5), &v), 0);
    EXPECT_EQ(mapNum(v), 2);
    EXPECT_EQ(shape(), "B5");
}

TEST_F(MapTest, MissingKeysAndBadArguments)
{
    void *v = k(1);
    EXPECT_EQ(Map_find(map, k(3), &v), Res_mapNotFound);
    EXPECT_EQ(v, nullptr);
    EXPECT_EQ(Map_remove(map, k(3)), Res_mapNotFound);
    EXPECT_EQ(Map_rootValue(map), nullptr);
    EXPECT_EQ(Map_rootValue(nullptr), nullptr);
    EXPECT_EQ(Map_insert(nullptr, k(1), k(1)), Res_missingArgument);
    EXPECT_EQ(Map_insert(map, nullptr, k(1)), Res_missingArgument);
    EXPECT_EQ(Map_find(map, k(1), nullptr), Res_missingArgument);
    EXPECT_EQ(Map_find(map, nullptr, &v), Res_missingArgument);
    EXPECT_EQ(Map_remove(nullptr, k(1)), Res_missingArgument);
    int red;
    EXPECT_EQ(Map_nodeInfo(map, k(1), &red, nullptr, &v), Res_missingArgument);
    EXPECT_EQ(Map_walk(nullptr, nullptr, nullptr), Res_missingArgument);
    EXPECT_EQ(Map_destroy(nullptr), Res_missingArgument);

    Map *other = nullptr;
    EXPECT_EQ(Map_create(nullptr, nullptr, freeKey, freeValue, 0, &other), Res_missingArgument);
    EXPECT_EQ(Map_create(nullptr, compareNumbers, freeKey, nullptr, 0, &other),
              Res_missingArgument);
    EXPECT_EQ(Map_create(nullptr, compareNumbers, freeKey, freeValue, 0, nullptr),
              Res_missingArgument);
    // A missing freeKey is allowed.
    ASSERT_EQ(Map_create(nullptr, compareNumbers, nullptr, freeValue, 0, &other), 0);
    ASSERT_EQ(Map_insert(other, k(1), k(1)), 0);
    EXPECT_EQ(Map_destroy(other), 0);
    EXPECT_EQ(valuesFreed, 1);
}

TEST_F(MapTest, OutOfMemoryLeavesNothingBehind)
{
    for (int n = 1; n <= 3; n++) {
        Map *other = nullptr;
        Mem_failAfter(uint64_t(n));
        EXPECT_EQ(Map_create(nullptr, compareNumbers, freeKey, freeValue, 0, &other), Res_noMemory);
        EXPECT_EQ(other, nullptr);
        Mem_failAfter(0);
    }
    ASSERT_EQ(Map_insert(map, k(1), k(1)), 0);
    Mem_failAfter(1);
    EXPECT_EQ(Map_insert(map, k(2), k(2)), Res_noMemory);
    EXPECT_EQ(map->count, 1);
    EXPECT_EQ(shape(), "B1");
}

TEST_F(MapTest, RandomInsertsAndRemovesKeepTheInvariantsAndMatchAModel)
{
    std::mt19937 rng(1234);
    std::multimap<intptr_t, intptr_t> model;
    intptr_t serial = 0;
    for (int step = 0; step < 4000; step++) {
        intptr_t key = 1 + intptr_t(rng() % 64);
        if (rng() % 3 != 0) {
            intptr_t value = key << 20 | ++serial;
            ASSERT_EQ(Map_insert(map, k(key), k(value)), 0);
            model.emplace(key, value);
        } else {
            void *found = nullptr;
            int r = Map_find(map, k(key), &found);
            auto range = model.equal_range(key);
            if (range.first == range.second) {
                EXPECT_EQ(r, Res_mapNotFound);
                EXPECT_EQ(Map_remove(map, k(key)), Res_mapNotFound);
                continue;
            }
            ASSERT_EQ(r, 0);
            // The entry found is the one removed.
            EXPECT_EQ(mapNum(found) >> 20, key);
            ASSERT_EQ(Map_remove(map, k(key)), 0);
            bool erased = false;
            for (auto it = range.first; it != range.second; ++it) {
                if (it->second == mapNum(found)) {
                    model.erase(it);
                    erased = true;
                    break;
                }
            }
            EXPECT_TRUE(erased);
        }
        if (step % 50 == 0 || step > 3950) {
            std::string expect;
            for (auto &kv : model)
                expect += std::to_string(kv.first) + " ";
            ASSERT_EQ(checkAll(), expect) << "step " << step;
            ASSERT_EQ(map->count, int32_t(model.size()));
        }
    }
    // Every value still in the map is one the model holds.
    std::multimap<intptr_t, intptr_t> seen;
    Map_walk(
        map,
        [](void *key, void *value, void *data) {
            static_cast<std::multimap<intptr_t, intptr_t> *>(data)->emplace(mapNum(key),
                                                                            mapNum(value));
            return 0;
        },
        &seen);
    EXPECT_EQ(seen.size(), model.size());
    for (auto &kv : seen) {
        auto range = model.equal_range(kv.first);
        bool there = false;
        for (auto it = range.first; it != range.second; ++it)
            there |= it->second == kv.second;
        EXPECT_TRUE(there);
    }
    int removedValues = valuesFreed;
    size_t left = model.size();
    EXPECT_EQ(Map_destroy(map), 0);
    map = nullptr;
    EXPECT_EQ(valuesFreed - removedValues, int(left));
    EXPECT_EQ(keysFreed, valuesFreed);
}

class LockedMapTest : public TaskFixture {};

TEST_F(LockedMapTest, ALockedMapWorksFromATaskAndReleasesItsLock)
{
    Map *m = nullptr;
    ASSERT_EQ(Map_create(ctx(), compareNumbers, freeKey, freeValue, 1, &m), 0);
    int found = 0;
    spawn("user", 1, [&] {
        Map_insert(m, k(1), k(11));
        Map_insert(m, k(2), k(12));
        void *v = nullptr;
        found = Map_find(m, k(2), &v) == 0 && mapNum(v) == 12;
        Map_remove(m, k(1));
        Map_destroy(m);
    });
    EXPECT_EQ(slice(), 0);
    EXPECT_EQ(found, 1);
}

} // namespace
