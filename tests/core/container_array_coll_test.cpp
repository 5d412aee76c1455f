// Growable arrays and collections: array growth and release, the default
// list under a random walk checked against std::list, anchors and items
// that are not on the list, sorted insertion, custom tables with missing
// slots, and the destroy check.
#include <gtest/gtest.h>

#include <cstddef>
#include <list>
#include <random>
#include <vector>

#include "core/container/array.h"
#include "core/container/coll.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "tests/support/heap_fixture.h"
#include "tests/support/test_engine.h"

namespace {

class ContainerTest : public LeakCheckedHeapTest<> {};

// ---------------------------------------------------------------- arrays

struct Named {
    const char *name;
    int released;
};

void releaseNamed(void *item)
{
    static_cast<Named *>(item)->released++;
}

const char *nameOfNamed(const void *item)
{
    return static_cast<const Named *>(item)->name;
}

TEST_F(ContainerTest, ArrayGrowsByDoublingFromFour)
{
    Array *a;
    ASSERT_EQ(Array_create(&a), 0);
    EXPECT_EQ(a->capacity, 0u);
    int items[9];
    size_t expectCap[] = {4, 4, 4, 4, 8, 8, 8, 8, 16};
    for (int i = 0; i < 9; i++) {
        ASSERT_EQ(Array_append(a, &items[i]), 0);
        EXPECT_EQ(a->capacity, expectCap[i]) << "after append " << i + 1;
        EXPECT_EQ(a->count, static_cast<size_t>(i + 1));
    }
    for (int i = 0; i < 9; i++)
        EXPECT_EQ(Array_indexOf(a, &items[i]), static_cast<size_t>(i));
    int other;
    EXPECT_EQ(Array_indexOf(a, &other), 9u);
    EXPECT_EQ(Array_contains(a, &other), 0);
    EXPECT_EQ(Array_contains(a, &items[8]), 1);
    Array_destroyAndRelease(a, nullptr);
}

TEST_F(ContainerTest, ArrayAppendOutOfMemoryLeavesItUnchanged)
{
    Array *a;
    Mem_failAfter(1);
    EXPECT_EQ(Array_create(&a), 1);
    EXPECT_EQ(a, nullptr);
    ASSERT_EQ(Array_create(&a), 0);
    int items[5];
    for (int i = 0; i < 4; i++)
        ASSERT_EQ(Array_append(a, &items[i]), 0);
    Mem_failAfter(1);
    EXPECT_EQ(Array_append(a, &items[4]), 1);
    EXPECT_EQ(a->count, 4u);
    EXPECT_EQ(a->capacity, 4u);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(a->items[i], &items[i]);
    EXPECT_EQ(Array_append(a, &items[4]), 0);
    Array_destroyAndRelease(a, nullptr);
}

TEST_F(ContainerTest, ArrayRemoveFindAndRelease)
{
    Named n[4] = {{"Tahoma", 0}, {"Arial", 0}, {"arial", 0}, {nullptr, 0}};
    Array *a;
    ASSERT_EQ(Array_create(&a), 0);
    for (auto &x : n)
        ASSERT_EQ(Array_append(a, &x), 0);
    EXPECT_EQ(Array_findByName(a, "Arial", nameOfNamed), &n[1]);
    EXPECT_EQ(Array_findByName(a, "arial", nameOfNamed), &n[2]) << "names compare exactly";
    EXPECT_EQ(Array_findByName(a, "Times", nameOfNamed), nullptr);
    EXPECT_EQ(Array_findByName(a, nullptr, nameOfNamed), nullptr);

    EXPECT_EQ(Array_removeAndRelease(a, &n[1], releaseNamed), 1);
    EXPECT_EQ(n[1].released, 1);
    ASSERT_EQ(a->count, 3u);
    EXPECT_EQ(a->items[0], &n[0]);
    EXPECT_EQ(a->items[1], &n[2]);
    EXPECT_EQ(a->items[2], &n[3]);
    EXPECT_EQ(Array_removeAndRelease(a, &n[1], releaseNamed), 0);
    EXPECT_EQ(n[1].released, 1) << "an element not held is not released";

    Array_destroyAndRelease(a, releaseNamed);
    EXPECT_EQ(n[0].released, 1);
    EXPECT_EQ(n[1].released, 1);
    EXPECT_EQ(n[2].released, 1);
    EXPECT_EQ(n[3].released, 1);
    Array_destroyAndRelease(nullptr, releaseNamed);
}

// ----------------------------------------------------------- collections

// The link sits at a non-zero offset, as in the records that use it.
struct Item {
    int a, b, c;
    CollLink link;
    int value;
};

const size_t kLink = offsetof(Item, link);

std::vector<int> forward(Coll *c)
{
    std::vector<int> v;
    for (void *p = Coll_first(c); p; p = c->methods->next(c, p))
        v.push_back(static_cast<Item *>(p)->value);
    return v;
}

std::vector<int> backward(Coll *c)
{
    std::vector<int> v;
    for (void *p = c->methods->last(c); p; p = c->methods->prev(c, p))
        v.push_back(static_cast<Item *>(p)->value);
    return v;
}

int matchValue(const void *key, const void *item)
{
    return *static_cast<const int *>(key) == static_cast<const Item *>(item)->value;
}

// 0 when a belongs before b: ascending values, equal values in arrival order.
int ascending(const void *a, const void *b)
{
    return static_cast<const Item *>(a)->value < static_cast<const Item *>(b)->value ? 0 : 1;
}

TEST_F(ContainerTest, CollAppendRemoveHeadAndFind)
{
    Coll c;
    ASSERT_EQ(Coll_create(&c, nullptr, kLink), 0);
    Item it[3] = {};
    for (int i = 0; i < 3; i++) {
        it[i].value = 10 + i;
        ASSERT_EQ(c.methods->append(&c, &it[i]), 0);
    }
    EXPECT_EQ(forward(&c), (std::vector<int>{10, 11, 12}));
    EXPECT_EQ(Coll_count(&c), 3u);
    int key = 11;
    EXPECT_EQ(Coll_find(&c, &key), nullptr) << "no match function yet";
    Coll_setMatchFn(&c, matchValue);
    EXPECT_EQ(Coll_find(&c, &key), &it[1]);
    key = 99;
    EXPECT_EQ(Coll_find(&c, &key), nullptr);

    EXPECT_EQ(Coll_remove(&c, &it[0]), 0);
    EXPECT_EQ(Coll_first(&c), &it[1]);
    EXPECT_EQ(Coll_count(&c), 2u);
    EXPECT_EQ(Coll_remove(&c, &it[0]), Res_nullInput) << "an item no longer on the list";
    EXPECT_EQ(Coll_count(&c), 2u);
    EXPECT_EQ(Coll_destroy(&c), Coll_stillHolds);
    EXPECT_EQ(c.methods, nullptr);
}

TEST_F(ContainerTest, CollClearEmptiesListAndCount)
{
    Coll c;
    ASSERT_EQ(Coll_create(&c, nullptr, kLink), 0);
    Item it[2] = {};
    c.methods->append(&c, &it[0]);
    Coll_pushFront(&c, &it[1]);
    c.methods->clear(&c);
    EXPECT_EQ(Coll_first(&c), nullptr);
    EXPECT_EQ(Coll_count(&c), 0u) << "the count follows the list";
    EXPECT_EQ(Coll_destroy(&c), 0);
}

TEST_F(ContainerTest, CollAnchorsMustBeOnTheList)
{
    Coll c, other;
    ASSERT_EQ(Coll_create(&c, nullptr, kLink), 0);
    ASSERT_EQ(Coll_create(&other, nullptr, kLink), 0);
    Item mine[2] = {}, foreign = {}, loose = {}, fresh = {};
    mine[0].value = 1;
    mine[1].value = 2;
    c.methods->append(&c, &mine[0]);
    c.methods->append(&c, &mine[1]);
    other.methods->append(&other, &foreign);
    EXPECT_EQ(c.methods->insertBefore(&c, &fresh, &loose), Res_nullInput);
    EXPECT_EQ(c.methods->insertAfter(&c, &fresh, &foreign), Res_nullInput);
    EXPECT_EQ(Coll_remove(&c, &foreign), Res_nullInput);
    EXPECT_EQ(c.methods->insertBefore(&c, &fresh, nullptr), Res_nullInput);
    EXPECT_EQ(c.methods->append(&c, nullptr), Res_nullInput);
    EXPECT_EQ(forward(&c), (std::vector<int>{1, 2}));
    EXPECT_EQ(Coll_count(&c), 2u);
    EXPECT_EQ(Coll_first(&other), &foreign);
    Coll_remove(&c, &mine[0]);
    Coll_remove(&c, &mine[1]);
    Coll_remove(&other, &foreign);
    EXPECT_EQ(Coll_destroy(&c), 0);
    EXPECT_EQ(Coll_destroy(&other), 0);
}

TEST_F(ContainerTest, CollSortedInsertKeepsArrivalOrderOfEquals)
{
    Coll c;
    ASSERT_EQ(Coll_create(&c, nullptr, kLink), 0);
    c.compare = ascending;
    int values[] = {5, 1, 4, 1, 5, 9, 2, 6, 5};
    Item it[9] = {};
    for (int i = 0; i < 9; i++) {
        it[i].value = values[i];
        it[i].a = i;
        ASSERT_EQ(c.methods->insertSorted(&c, &it[i]), 0);
    }
    EXPECT_EQ(forward(&c), (std::vector<int>{1, 1, 2, 4, 5, 5, 5, 6, 9}));
    std::vector<int> arrivalOfFives;
    for (void *p = Coll_first(&c); p; p = c.methods->next(&c, p))
        if (static_cast<Item *>(p)->value == 5)
            arrivalOfFives.push_back(static_cast<Item *>(p)->a);
    EXPECT_EQ(arrivalOfFives, (std::vector<int>{0, 4, 8}));
    EXPECT_EQ(backward(&c), (std::vector<int>{9, 6, 5, 5, 5, 4, 2, 1, 1}));
    c.methods->clear(&c);
    Coll_destroy(&c);
}

// Random pushes, appends, inserts and removals against std::list.
TEST_F(ContainerTest, CollRandomWalkMatchesReference)
{
    Coll c;
    ASSERT_EQ(Coll_create(&c, nullptr, kLink), 0);
    const int kItems = 64;
    Item it[kItems] = {};
    bool on[kItems] = {};
    for (int i = 0; i < kItems; i++)
        it[i].value = i;
    std::list<int> ref;
    std::mt19937 rng(11);
    for (int step = 0; step < 4000; step++) {
        int i = static_cast<int>(rng() % kItems);
        if (on[i]) {
            ASSERT_EQ(Coll_remove(&c, &it[i]), 0);
            ref.remove(i);
            on[i] = false;
            continue;
        }
        int how = static_cast<int>(rng() % 4);
        if (ref.empty() && how >= 2)
            how = 0;
        if (how == 0) {
            ASSERT_EQ(Coll_pushFront(&c, &it[i]), 0);
            ref.push_front(i);
        } else if (how == 1) {
            ASSERT_EQ(c.methods->append(&c, &it[i]), 0);
            ref.push_back(i);
        } else {
            auto pos = ref.begin();
            std::advance(pos, rng() % ref.size());
            int anchor = *pos;
            if (how == 2) {
                ASSERT_EQ(c.methods->insertBefore(&c, &it[i], &it[anchor]), 0);
                ref.insert(pos, i);
            } else {
                ASSERT_EQ(c.methods->insertAfter(&c, &it[i], &it[anchor]), 0);
                ref.insert(std::next(pos), i);
            }
        }
        on[i] = true;
        if (step % 97 == 0) {
            ASSERT_EQ(forward(&c), std::vector<int>(ref.begin(), ref.end()));
            ASSERT_EQ(backward(&c), std::vector<int>(ref.rbegin(), ref.rend()));
            ASSERT_EQ(Coll_count(&c), ref.size());
        }
    }
    ASSERT_EQ(forward(&c), std::vector<int>(ref.begin(), ref.end()));
    for (int i = 0; i < kItems; i++)
        if (on[i])
            Coll_remove(&c, &it[i]);
    EXPECT_EQ(Coll_destroy(&c), 0);
}

int refuseAll(Coll *, void *)
{
    return 77;
}

TEST_F(ContainerTest, CollCustomTableAndMissingPieces)
{
    Coll plain;
    ASSERT_EQ(Coll_create(&plain, nullptr, kLink), 0);
    CollMethods custom = *plain.methods;
    EXPECT_EQ(Coll_destroy(&plain), 0);
    custom.append = refuseAll;
    custom.pushFront = nullptr;
    Coll c;
    ASSERT_EQ(Coll_create(&c, &custom, kLink), 0);
    EXPECT_NE(c.methods, &custom) << "the collection keeps its own copy";
    custom.append = nullptr;
    Item it = {};
    EXPECT_EQ(c.methods->append(&c, &it), 77);
    EXPECT_EQ(Coll_pushFront(&c, &it), Res_nullInput);
    EXPECT_EQ(Coll_destroy(&c), 0);

    EXPECT_EQ(Coll_create(nullptr, nullptr, 0), Res_nullInput);
    EXPECT_EQ(Coll_first(nullptr), nullptr);
    EXPECT_EQ(Coll_find(nullptr, &it), nullptr);
    EXPECT_EQ(Coll_remove(nullptr, &it), Res_nullInput);
    EXPECT_EQ(Coll_destroy(nullptr), Res_nullInput);
    EXPECT_EQ(Coll_count(nullptr), 0u);

    Mem_failAfter(1);
    EXPECT_EQ(Coll_create(&c, nullptr, kLink), Res_noMemory);
    EXPECT_EQ(c.methods, nullptr);
    EXPECT_EQ(Coll_pushFront(&c, &it), Res_nullInput) << "no table after a failed create";
    EXPECT_EQ(Coll_destroy(&c), Res_nullInput);
}

} // namespace
