// Layer lists: key order (the stacking example, the lowest layer, a
// randomized run against a stable sort of (key, item)), collapsing, both
// merges, groups pushed and popped and wrapped into containers, fixed
// axes with translation, transformation, clipping (text items cut at the
// crossing character), rectangle collection, and running out of memory.
// Every test runs on its own leak-checked heap, so items and payloads that
// are not freed show up.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "layout/layerlist.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/geom/matrix.h"
#include "graphics/layerpayload.h"
#include "fonts/textitem.h"
#include "fonts/textrun.h"
#include "layout/rectcollector.h"
#include "tests/support/heap_fixture.h"

namespace {

// ---------------------------------------------------------------- classes

int destroyed = 0;

struct PlainPart {
    int32_t id;
};

struct ContainerPart {
    ObjContainerPart base;
    int32_t id;
};

struct TextPart {
    ObjTextPart base;
    int32_t id;
    char16_t text[32];
};

void freePlain(ObjHeader *)
{
    destroyed++;
}

void freeContainer(ObjHeader *item)
{
    destroyed++;
    for (ObjHeader *c = Obj_children(item); c;) {
        ObjHeader *next = Obj_next(c);
        Obj_destroy(c);
        c = next;
    }
    LayerPayload_release(
        static_cast<LayerPayload *>(static_cast<ContainerPart *>(Obj_part(item))->base.payload));
}

const ObjClass kPlain = {nullptr, sizeof(PlainPart), freePlain, Obj_itemPlain};
const ObjClass kContainer = {nullptr, sizeof(ContainerPart), freeContainer, Obj_itemContainer};
const ObjClass kText = {nullptr, sizeof(TextPart), freePlain, Obj_itemText};

int32_t idOf(ObjHeader *item)
{
    switch (Obj_itemKind(item)) {
    case Obj_itemContainer: return static_cast<ContainerPart *>(Obj_part(item))->id;
    case Obj_itemText: return static_cast<TextPart *>(Obj_part(item))->id;
    default: return static_cast<PlainPart *>(Obj_part(item))->id;
    }
}

ObjHeader *make(const ObjClass *cls, int32_t id, Rect box = {0, 0, 10, 10})
{
    ObjHeader *item = Obj_create(cls, 0);
    EXPECT_NE(item, nullptr);
    if (cls == &kContainer)
        static_cast<ContainerPart *>(Obj_part(item))->id = id;
    else if (cls == &kText)
        static_cast<TextPart *>(Obj_part(item))->id = id;
    else
        static_cast<PlainPart *>(Obj_part(item))->id = id;
    Obj_setBox(item, &box);
    return item;
}

ObjHeader *item(int32_t id, Rect box = {0, 0, 10, 10})
{
    return make(&kPlain, id, box);
}

std::vector<int32_t> chainIds(ObjHeader *first)
{
    std::vector<int32_t> ids;
    for (ObjHeader *i = first; i; i = Obj_next(i))
        ids.push_back(idOf(i));
    return ids;
}

std::vector<int32_t> layerIds(const Layer *layer)
{
    return chainIds(layer->first);
}

std::vector<int32_t> keys(const LayerList *list)
{
    std::vector<int32_t> k;
    for (Layer *l = list->first; l; l = l->next)
        k.push_back(l->key);
    return k;
}

// The list's shape holds: last is the last layer, current is one of them,
// each layer's last item ends its chain.
void expectSound(const LayerList *list)
{
    bool currentFound = false;
    const Layer *last = nullptr;
    for (const Layer *l = list->first; l; l = l->next) {
        currentFound |= l == list->current;
        last = l;
        ObjHeader *end = nullptr;
        for (ObjHeader *i = l->first; i; i = Obj_next(i))
            end = i;
        EXPECT_EQ(l->lastItem, end);
    }
    EXPECT_EQ(list->last, last);
    EXPECT_TRUE(currentFound);
}

// Takes all items in painting order and frees them.
std::vector<int32_t> drain(LayerList *list)
{
    ObjHeader *items = nullptr;
    EXPECT_EQ(LayerList_takeItems(list, &items), 0);
    std::vector<int32_t> ids = chainIds(items);
    while (items) {
        ObjHeader *next = Obj_next(items);
        Obj_destroy(items);
        items = next;
    }
    return ids;
}

class LayerListTest : public LeakCheckedHeapTest<> {
  protected:
    void SetUp() override
    {
        LeakCheckedHeapTest<>::SetUp();
        destroyed = 0;
        list = LayerList_create();
        ASSERT_NE(list, nullptr);
    }
    void TearDown() override
    {
        LayerList_freeItems(list);
        LayerList_destroy(list);
        LeakCheckedHeapTest<>::TearDown();
    }
    // Appends an item with an optional stacking index.
    void add(LayerList *l, int32_t id, const int32_t *stacking)
    {
        LayerList_selectKey(l, stacking ? LayerList_mapKey(*stacking) : LayerList_normalKey);
        LayerList_append(l, item(id));
    }
    LayerList *list = nullptr;
};

// ------------------------------------------------------------------ keys

TEST_F(LayerListTest, StackingIndexesPaintInKeyOrder)
{
    EXPECT_EQ(keys(list), (std::vector<int32_t>{1}));
    const int32_t five = 5, minusOne = -1, zero = 0;
    add(list, 'a', &five);     // key 7: the single empty layer is relabelled
    add(list, 'b', &minusOne); // key -1
    add(list, 'c', &zero);     // key 2
    add(list, 'd', nullptr);   // key 1
    expectSound(list);
    EXPECT_EQ(keys(list), (std::vector<int32_t>{-1, 1, 2, 7}));
    EXPECT_EQ(drain(list), (std::vector<int32_t>{'b', 'd', 'c', 'a'}));
}

TEST_F(LayerListTest, MapKeyTable)
{
    const std::pair<int32_t, int32_t> cases[] = {
        {0, 2},
        {5, 7},
        {INT32_MAX - 3, INT32_MAX - 1},
        {INT32_MAX - 2, INT32_MAX},
        {INT32_MAX, INT32_MAX},
        {-1, -1},
        {-100, -100},
        {INT32_MIN + 1, INT32_MIN + 1},
        {INT32_MIN, INT32_MIN + 1},
    };
    for (auto [k, want] : cases)
        EXPECT_EQ(LayerList_mapKey(k), want) << k;
}

TEST_F(LayerListTest, TheLowestLayerIsNewAndFirst)
{
    // On a fresh list the lowest key makes a new layer instead of
    // relabelling the empty normal layer.
    LayerList_selectKey(list, LayerList_lowestKey);
    EXPECT_EQ(keys(list), (std::vector<int32_t>{INT32_MIN, 1}));
    EXPECT_EQ(list->current, list->first);
    LayerList_append(list, item(2));
    LayerList_selectKey(list, 1);
    LayerList_append(list, item(3));
    LayerList_selectFirst(list);
    LayerList_prepend(list, item(1));
    EXPECT_EQ(keys(list), (std::vector<int32_t>{INT32_MIN, 1}));
    expectSound(list);
    EXPECT_EQ(drain(list), (std::vector<int32_t>{1, 2, 3}));

    LayerList *fresh = LayerList_create();
    LayerList_selectFirst(fresh);
    EXPECT_EQ(keys(fresh), (std::vector<int32_t>{INT32_MIN, 1}));
    LayerList_destroy(fresh);
}

TEST_F(LayerListTest, SelectingSearchesFromTheCurrentLayer)
{
    for (int32_t k : {10, 3, 7, 20, 3, -4, 7, 15}) {
        LayerList_selectKey(list, k);
        LayerList_append(list, item(k));
    }
    EXPECT_EQ(keys(list), (std::vector<int32_t>{-4, 3, 7, 10, 15, 20}));
    expectSound(list);
    EXPECT_EQ(list->current->key, 15);
    LayerList_selectKey(list, 20); // after the current one
    EXPECT_EQ(list->current, list->last);
    LayerList_selectKey(list, 5); // before it: searched from the first
    EXPECT_EQ(keys(list), (std::vector<int32_t>{-4, 3, 5, 7, 10, 15, 20}));
    EXPECT_EQ(list->current->key, 5);
    EXPECT_EQ(layerIds(list->first->next), (std::vector<int32_t>{3, 3}));
}

// A randomized run: items appended or prepended with random stacking
// indexes (and to the lowest layer), with other lists merged in, come out
// as a stable sort of (key, insertion order) says.
TEST_F(LayerListTest, RandomizedAgainstAStableSort)
{
    std::mt19937 rng(19);
    struct Model {
        int32_t key;
        int64_t seq;
        int32_t id;
    };
    std::vector<Model> model;
    int64_t seq = 0, front = 0;
    int32_t nextId = 0;
    const int32_t stackings[] = {-3, -1, 0, 1, 2, 5, 40, INT32_MAX, INT32_MIN};
    auto keyFor = [&](int choice) -> int32_t {
        if (choice == 9)
            return LayerList_normalKey;
        if (choice == 10)
            return LayerList_lowestKey;
        return LayerList_mapKey(stackings[choice]);
    };
    auto select = [&](LayerList *l, int32_t key) {
        if (key == LayerList_lowestKey)
            LayerList_selectFirst(l);
        else
            LayerList_selectKey(l, key);
    };
    for (int round = 0; round < 400; round++) {
        int op = int(rng() % 10);
        if (op < 8) {
            int32_t key = keyFor(int(rng() % 11));
            select(list, key);
            int32_t id = nextId++;
            if (op == 7) {
                LayerList_prepend(list, item(id));
                model.push_back({key, --front, id});
            } else {
                LayerList_append(list, item(id));
                model.push_back({key, ++seq, id});
            }
        } else {
            // A second list, merged in: its lowest items go to the front of
            // its next layer when there is one.
            // The model follows its layer keys too: a single empty layer
            // takes the key selected (but the lowest).
            LayerList *other = LayerList_create();
            ASSERT_NE(other, nullptr);
            std::vector<Model> sub;
            std::vector<int32_t> subLayers = {LayerList_normalKey};
            int64_t subSeq = 0;
            for (int n = int(rng() % 8); n > 0; n--) {
                int32_t key = keyFor(int(rng() % 11));
                select(other, key);
                if (key != INT32_MIN && subLayers.size() == 1 && sub.empty())
                    subLayers[0] = key;
                else if (std::find(subLayers.begin(), subLayers.end(), key) == subLayers.end())
                    subLayers.insert(std::upper_bound(subLayers.begin(), subLayers.end(), key),
                                     key);
                int32_t id = nextId++;
                LayerList_append(other, item(id));
                sub.push_back({key, ++subSeq, id});
            }
            std::stable_sort(sub.begin(), sub.end(),
                             [](const Model &a, const Model &b) { return a.key < b.key; });
            if (subLayers.size() > 1 && subLayers[0] == INT32_MIN)
                for (Model &m : sub)
                    if (m.key == INT32_MIN)
                        m.key = subLayers[1];
            for (Model &m : sub)
                model.push_back({m.key, ++seq, m.id});
            ASSERT_EQ(LayerList_merge(list, other), 0);
            EXPECT_FALSE(LayerList_hasItems(other));
            expectSound(other);
            LayerList_destroy(other);
        }
    }
    expectSound(list);
    std::vector<int32_t> k = keys(list);
    EXPECT_TRUE(std::is_sorted(k.begin(), k.end()));
    EXPECT_EQ(std::adjacent_find(k.begin(), k.end()), k.end()) << "a key twice";
    std::stable_sort(model.begin(), model.end(), [](const Model &a, const Model &b) {
        return a.key != b.key ? a.key < b.key : a.seq < b.seq;
    });
    std::vector<int32_t> want;
    for (const Model &m : model)
        want.push_back(m.id);
    EXPECT_EQ(drain(list), want);
}

// -------------------------------------------------------- collapse, merge

TEST_F(LayerListTest, CollapseKeepsStackedLayersApart)
{
    for (int32_t k : {INT32_MIN, -3, 1, 2, 5}) {
        LayerList_selectKey(list, k);
        LayerList_append(list, item(k == INT32_MIN ? 0 : k));
    }
    LayerList_collapseAll(list, 2, 1);
    expectSound(list);
    EXPECT_EQ(keys(list), (std::vector<int32_t>{INT32_MIN, -3, 2, 5}));
    EXPECT_EQ(list->current->key, 2);
    EXPECT_EQ(layerIds(list->current), (std::vector<int32_t>{1, 2}));
    // Every layer kept: nothing to merge into, so key 1 is selected.
    LayerList_collapseAll(list, 7, 1);
    EXPECT_EQ(keys(list), (std::vector<int32_t>{INT32_MIN, -3, 1, 2, 5}));
    EXPECT_EQ(list->current->key, 1);
    EXPECT_TRUE(layerIds(list->current).empty());
    expectSound(list);
    // Without keep, everything but the lowest layer becomes one layer.
    LayerList_collapseAll(list, 1, 0);
    EXPECT_EQ(keys(list), (std::vector<int32_t>{INT32_MIN, 1}));
    EXPECT_EQ(layerIds(list->last), (std::vector<int32_t>{-3, 1, 2, 5}));
    expectSound(list);
    EXPECT_EQ(drain(list), (std::vector<int32_t>{0, -3, 1, 2, 5}));

    // A merged layer that takes a key above a kept layer moves to its place.
    LayerList *two = LayerList_create();
    LayerList_append(two, item(1));
    LayerList_selectKey(two, 5);
    LayerList_append(two, item(5));
    LayerList_collapseAll(two, 7, 1);
    EXPECT_EQ(keys(two), (std::vector<int32_t>{5, 7}));
    EXPECT_EQ(two->current->key, 7);
    expectSound(two);
    EXPECT_EQ(drain(two), (std::vector<int32_t>{5, 1}));
    LayerList_destroy(two);

    // A list of only the lowest layer (taking the items collapses into the
    // first layer, which keeps its key): nothing to merge, key 1 is
    // selected.
    LayerList *low = LayerList_create();
    LayerList_selectFirst(low);
    ObjHeader *none = nullptr;
    ASSERT_EQ(LayerList_takeItems(low, &none), 0);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(keys(low), (std::vector<int32_t>{INT32_MIN}));
    LayerList_collapseAll(low, 4, 0);
    EXPECT_EQ(keys(low), (std::vector<int32_t>{1}));
    EXPECT_EQ(low->current->key, 1);
    LayerList_destroy(low);
}

TEST_F(LayerListTest, SortedMergeJoinsEqualKeys)
{
    LayerList_append(list, item(10));
    LayerList_selectKey(list, 5);
    LayerList_append(list, item(50));
    LayerList *other = LayerList_create();
    for (auto [k, id] : {std::pair{INT32_MIN, 0}, {3, 30}, {5, 51}, {9, 90}, {1, 11}}) {
        LayerList_selectKey(other, k);
        LayerList_append(other, item(id));
    }
    LayerList_selectKey(other, 12); // an empty layer, dropped
    ASSERT_EQ(LayerList_mergeSorted(list, other), 0);
    expectSound(list);
    // other's lowest items went to the front of its next layer (key 1).
    EXPECT_EQ(keys(list), (std::vector<int32_t>{1, 3, 5, 9}));
    EXPECT_EQ(layerIds(list->first), (std::vector<int32_t>{10, 0, 11}));
    EXPECT_EQ(list->current->key, 5);
    EXPECT_EQ(keys(other), (std::vector<int32_t>{1}));
    EXPECT_FALSE(LayerList_hasItems(other));
    expectSound(other);
    // other stays usable.
    LayerList_append(other, item(99));
    ASSERT_EQ(LayerList_merge(list, other), 0);
    LayerList_destroy(other);
    ASSERT_EQ(LayerList_merge(list, list), 0); // into itself: nothing moves
    expectSound(list);
    EXPECT_EQ(drain(list), (std::vector<int32_t>{10, 0, 11, 99, 30, 50, 51, 90}));
}

TEST_F(LayerListTest, MergedLowestLayerWithoutSuccessorKeepsItsItems)
{
    LayerList_append(list, item(1));
    // other ends up with the lowest layer alone: taking its items collapses
    // it into its first layer, the lowest.
    LayerList *other = LayerList_create();
    LayerList_selectFirst(other);
    LayerList_append(other, item(10));
    LayerList_selectKey(other, 1);
    LayerList_append(other, item(11));
    ObjHeader *taken = nullptr;
    ASSERT_EQ(LayerList_takeItems(other, &taken), 0);
    EXPECT_EQ(chainIds(taken), (std::vector<int32_t>{10, 11}));
    while (taken) {
        ObjHeader *next = Obj_next(taken);
        Obj_destroy(taken);
        taken = next;
    }
    EXPECT_EQ(keys(other), (std::vector<int32_t>{INT32_MIN}));
    LayerList_append(other, item(2));
    ASSERT_EQ(LayerList_merge(list, other), 0);
    expectSound(list);
    EXPECT_EQ(keys(list), (std::vector<int32_t>{INT32_MIN, 1}));
    EXPECT_FALSE(LayerList_hasItems(other));
    LayerList_destroy(other);
    EXPECT_EQ(drain(list), (std::vector<int32_t>{2, 1}));
}

// ------------------------------------------------------------ payload mode

TEST_F(LayerListTest, NestedGroupsPushPopAndWrap)
{
    LayerList_append(list, item('A'));
    int arg1 = 1, arg2 = 2;
    ASSERT_EQ(LayerList_pushLayer(list, &arg1), 0);
    EXPECT_TRUE(LayerList_isPayloadMode(list));
    Layer *g1 = list->current;
    EXPECT_EQ(g1->parent, list->first);
    ASSERT_NE(g1->payload, nullptr);
    LayerList_append(list, item('B'));
    ASSERT_EQ(LayerList_pushLayer(list, &arg2), 0);
    Layer *g2 = list->current;
    EXPECT_EQ(g2->parent, g1);
    LayerList_append(list, item('C'));
    ASSERT_EQ(LayerList_popLayer(list), 0); // continues g1 after g2
    Layer *c1 = list->current;
    EXPECT_EQ(c1->parent, list->first);
    LayerList_append(list, item('D'));
    ASSERT_EQ(LayerList_pushLayer(list, &arg2), 0); // an empty group
    ASSERT_EQ(LayerList_popLayer(list), 0);
    ASSERT_EQ(LayerList_popLayer(list), 0); // back to the top level
    Layer *top = list->current;
    EXPECT_EQ(top->parent, nullptr);
    LayerList_append(list, item('E'));
    Layer *before = list->current;
    ASSERT_EQ(LayerList_popLayer(list), 0); // no parent: nothing happens
    EXPECT_EQ(list->current, before);
    expectSound(list);
    // The layers in order: A | B | C | D | (empty) | (empty) | E.
    std::vector<std::vector<int32_t>> shape;
    for (Layer *l = list->first; l; l = l->next)
        shape.push_back(layerIds(l));
    EXPECT_EQ(shape,
              (std::vector<std::vector<int32_t>>{{'A'}, {'B'}, {'C'}, {'D'}, {}, {}, {'E'}}));

    // Moving the list moves the groups' origins with the items.
    LayerList_translate(list, 3, 4);
    EXPECT_EQ(LayerPayload_origin(g2->payload)->x, 3);
    EXPECT_EQ(LayerPayload_origin(g2->payload)->y, 4);

    ObjHeader *record = make(&kContainer, 'R', Rect{-5, -5, 5, 5});
    LayerPayload *p1 = g1->payload;
    ASSERT_EQ(LayerList_wrapLayers(list, record), 0);
    expectSound(list);
    EXPECT_EQ(list->first, list->last);
    EXPECT_FALSE(LayerList_hasItems(list));
    EXPECT_EQ(chainIds(Obj_children(record)), (std::vector<int32_t>{'A'}));
    // One container per non-empty group layer, chained after the record.
    EXPECT_EQ(chainIds(record).size(), 5u);
    std::vector<std::vector<int32_t>> children;
    for (ObjHeader *c = Obj_next(record); c; c = Obj_next(c)) {
        children.push_back(chainIds(Obj_children(c)));
        LayerPayload *payload =
            static_cast<LayerPayload *>(static_cast<ContainerPart *>(Obj_part(c))->base.payload);
        ASSERT_NE(payload, nullptr);
        Rect want, got = Obj_box(c);
        LayerPayload_bounds(payload, &want);
        EXPECT_TRUE(Rect_equal(&got, &want));
    }
    EXPECT_EQ(children, (std::vector<std::vector<int32_t>>{{'B'}, {'C'}, {'D'}, {'E'}}));
    EXPECT_EQ(static_cast<ContainerPart *>(Obj_part(Obj_next(record)))->base.payload, p1);
    while (record) {
        ObjHeader *next = Obj_next(record);
        Obj_destroy(record);
        record = next;
    }
    EXPECT_EQ(destroyed, 5 + 5);
}

TEST_F(LayerListTest, KeyModeWrapHandsItemsOver)
{
    // A key-mode list wraps like takeItems into the record's children.
    const int32_t five = 5;
    add(list, 2, &five);
    add(list, 1, nullptr);
    ObjHeader *record = make(&kContainer, 'R', Rect{1, 2, 3, 4});
    LayerList_append(list, item(3)); // key 1 is current
    ASSERT_EQ(LayerList_wrapLayers(list, record), 0);
    EXPECT_EQ(chainIds(Obj_children(record)), (std::vector<int32_t>{1, 3, 2}));
    EXPECT_EQ(Obj_next(record), nullptr);
    // Not a container: refused, nothing moves.
    LayerList_append(list, item(4));
    ObjHeader *plain = item(9);
    EXPECT_EQ(LayerList_wrapLayers(list, plain), Res_nullInput);
    EXPECT_TRUE(LayerList_hasItems(list));
    Obj_destroy(plain);
    Obj_destroy(record);
}

TEST_F(LayerListTest, PayloadMergeAppendsGroups)
{
    LayerList_append(list, item(1));
    LayerList *other = LayerList_create();
    LayerList_append(other, item(2)); // no payload: joins list's last layer
    ASSERT_EQ(LayerList_pushLayer(other, nullptr), 0);
    LayerList_append(other, item(3));
    ASSERT_EQ(LayerList_pushLayer(other, nullptr), 0); // empty: dropped
    ASSERT_EQ(LayerList_merge(list, other), 0);
    EXPECT_TRUE(LayerList_isPayloadMode(list));
    expectSound(list);
    expectSound(other);
    EXPECT_FALSE(LayerList_hasItems(other));
    std::vector<std::vector<int32_t>> shape;
    for (Layer *l = list->first; l; l = l->next)
        shape.push_back(layerIds(l));
    EXPECT_EQ(shape, (std::vector<std::vector<int32_t>>{{1, 2}, {3}}));
    EXPECT_NE(list->last->payload, nullptr);
    EXPECT_EQ(list->last->parent, nullptr);
    // A group whose first layer must become a new last layer of list.
    LayerList_append(other, item(4));
    ASSERT_EQ(LayerList_merge(list, other), 0); // list's last has a payload
    EXPECT_EQ(layerIds(list->last), (std::vector<int32_t>{4}));
    EXPECT_EQ(list->last->payload, nullptr);
    LayerList_destroy(other);
    // Wrapped: a layer without payload takes the record's box.
    ObjHeader *record = make(&kContainer, 'R', Rect{1, 2, 3, 4});
    ASSERT_EQ(LayerList_wrapLayers(list, record), 0);
    EXPECT_EQ(chainIds(Obj_children(record)), (std::vector<int32_t>{1, 2}));
    ObjHeader *group = Obj_next(record);
    ASSERT_NE(group, nullptr);
    ObjHeader *plainGroup = Obj_next(group);
    ASSERT_NE(plainGroup, nullptr);
    EXPECT_EQ(chainIds(Obj_children(plainGroup)), (std::vector<int32_t>{4}));
    EXPECT_EQ(static_cast<ContainerPart *>(Obj_part(plainGroup))->base.payload, nullptr);
    Rect box = Obj_box(plainGroup);
    const Rect recordBox = {1, 2, 3, 4};
    EXPECT_TRUE(Rect_equal(&box, &recordBox));
    while (record) {
        ObjHeader *next = Obj_next(record);
        Obj_destroy(record);
        record = next;
    }
}

// ------------------------------------------------- moving and collecting

TEST_F(LayerListTest, FixedAxesAndTranslation)
{
    LayerList_append(list, item(1, Rect{0, 0, 10, 10}));
    LayerList_selectKey(list, 3);
    ObjHeader *box = make(&kContainer, 2, Rect{100, 100, 200, 200});
    ObjHeader *child = item(3, Rect{110, 110, 120, 120});
    ObjHeader *ownFixed = item(4, Rect{130, 130, 140, 140});
    Obj_setFixedAxes(ownFixed, 1);
    Obj_setNext(child, ownFixed);
    Obj_setChildren(box, child);
    LayerList_append(list, box);

    LayerList_setFixed(list, 2); // fixed along y
    EXPECT_EQ(Obj_fixedAxes(box), 2u);
    EXPECT_EQ(box->flags & Obj_fixedMask, Obj_fixedY);
    EXPECT_EQ(box->flags & ~Obj_fixedMask, Obj_initialFlags); // other bits kept
    EXPECT_EQ(Obj_fixedAxes(child), 2u);
    EXPECT_EQ(Obj_fixedAxes(ownFixed), 1u); // a fixed child keeps its axes
    EXPECT_TRUE(list->first->marked && list->last->marked);

    LayerList_translate(list, 5, 7);
    Rect r = Obj_box(LayerList_firstItem(list));
    EXPECT_EQ(r.x0, 5);
    EXPECT_EQ(r.y0, 0);
    r = Obj_box(box);
    EXPECT_EQ(r.x0, 105);
    EXPECT_EQ(r.y1, 200);
    r = Obj_box(child);
    EXPECT_EQ(r.x0, 115);
    EXPECT_EQ(r.y0, 110);
    r = Obj_box(ownFixed); // fixed in x itself, and its container in y
    EXPECT_EQ(r.x0, 130);
    EXPECT_EQ(r.y0, 130);

    // Fixed items are left out of the collected rectangle.
    RectCollector collector;
    LayerList_collectRects(list, &collector);
    EXPECT_TRUE(Rect_equal(&collector.bounds, &Rect_emptyBound));

    LayerList_setFixed(list, 0); // unfixes the marked layers, children included
    EXPECT_EQ(Obj_fixedAxes(box), 0u);
    EXPECT_EQ(Obj_fixedAxes(ownFixed), 0u);
    EXPECT_FALSE(list->first->marked);
    LayerList_translate(list, -5, 3);
    r = Obj_box(box);
    EXPECT_EQ(r.x0, 100);
    EXPECT_EQ(r.y0, 103);
    r = Obj_box(ownFixed);
    EXPECT_EQ(r.x0, 125);
    EXPECT_EQ(r.y0, 133);

    // Collection takes ordered boxes of items fixed on no axis: a
    // zero-size box counts, an inverted one does not.
    LayerList_append(list, item(5, Rect{-50, -60, -50, -60}));
    LayerList_append(list, item(6, Rect{500, 500, 400, 400}));
    LayerList_collectRects(list, &collector);
    const Rect want = {-50, -60, 200, 203};
    EXPECT_TRUE(Rect_equal(&collector.bounds, &want))
        << collector.bounds.x0 << " " << collector.bounds.y0 << " " << collector.bounds.x1 << " "
        << collector.bounds.y1;
    EXPECT_EQ(Rect_isOrdered(&want), 1);
    const Rect flat = {3, 3, 3, 3}, inverted = {4, 0, 3, 9};
    EXPECT_EQ(Rect_isOrdered(&flat), 1);
    EXPECT_EQ(Rect_isOrdered(&inverted), 0);
}

TEST_F(LayerListTest, TransformAboutAnOrigin)
{
    LayerList_append(list, item(1, Rect{10, 0, 20, 5}));
    ObjHeader *fixed = item(2, Rect{10, 0, 20, 5});
    Obj_setFixedAxes(fixed, 2);
    LayerList_append(list, fixed);
    ASSERT_EQ(LayerList_pushLayer(list, nullptr), 0);
    *LayerPayload_origin(list->current->payload) = Point{20, 10};
    // A quarter turn (x -> y, y -> -x) about (10, 10).
    const Matrix turn = {0, 0x10000, -0x10000, 0, 0, 0};
    const Point origin = {10, 10};
    ASSERT_EQ(LayerList_transform(list, &turn, &origin, 0), 0);
    Rect r = Obj_box(LayerList_firstItem(list));
    // Corners (10,0) (20,5) map to (20,10) (15,20).
    EXPECT_EQ(r.x0, 15);
    EXPECT_EQ(r.y0, 10);
    EXPECT_EQ(r.x1, 20);
    EXPECT_EQ(r.y1, 20);
    r = Obj_box(fixed);
    EXPECT_EQ(r.x0, 10); // fixed items stay
    EXPECT_EQ(LayerPayload_origin(list->current->payload)->x, 20);
    ASSERT_EQ(LayerList_transform(list, &turn, &origin, 1), 0);
    EXPECT_EQ(LayerPayload_origin(list->current->payload)->x, 10);
    EXPECT_EQ(LayerPayload_origin(list->current->payload)->y, 20);
}

// A text item of the drawing class: its run is drawn from the left end of
// its baseline, under its own matrix.
ObjHeader *runItem(const char16_t *chars, int32_t x0, int32_t y0)
{
    ObjHeader *it = Obj_create(&TextItem_class, 0);
    EXPECT_NE(it, nullptr);
    TextItemPart *p = static_cast<TextItemPart *>(Obj_part(it));
    p->base.chars = chars;
    p->base.count = uint32_t(std::char_traits<char16_t>::length(chars));
    p->base.size = 144 * 1000;
    Rect ink{};
    EXPECT_EQ(TextRun_measureFit(nullptr, p->base.size, 0, nullptr, chars, p->base.count, 0, 0,
                                 INT32_MAX, nullptr, &ink),
              0);
    p->baseline = -ink.y0;
    const Rect box = {x0, y0, x0 + ink.x1, y0 + ink.y1 - ink.y0};
    Obj_setBox(it, &box);
    return it;
}

// What the item's glyphs cover as the item class measures them.
Rect inkOf(ObjHeader *it)
{
    Rect r = Rect_emptyBound;
    EXPECT_EQ(Obj_itemOps(it)->bounds(nullptr, it, &r), 0);
    return r;
}

Rect mappedBox(const Rect &r, const Matrix &m, const Point &origin)
{
    Point c[4];
    Rect_toQuad(c, &r);
    for (Point &p : c) {
        Matrix_transformPoint(&p, p.x - origin.x, p.y - origin.y, &m);
        p = Point{p.x + origin.x, p.y + origin.y};
    }
    Rect out{};
    Rect_boundPoints(&out, c, 4, 1);
    return out;
}

void expectNear(const Rect &got, const Rect &want, int32_t slack, const char *what)
{
    EXPECT_NEAR(got.x0, want.x0, slack) << what;
    EXPECT_NEAR(got.y0, want.y0, slack) << what;
    EXPECT_NEAR(got.x1, want.x1, slack) << what;
    EXPECT_NEAR(got.y1, want.y1, slack) << what;
}

TEST_F(LayerListTest, TransformTurnsTextRunsWithTheirBoxes)
{
    // Matrices that keep boxes upright, so the turned run's ink is exactly
    // the mapped ink: each applied once, then once more to the result.
    struct Case {
        const char *name;
        Matrix m;
    } cases[] = {
        {"quarter turn", {0, 0x10000, -0x10000, 0, 0, 0}},
        {"quarter turn back, moved", {0, -0x10000, 0x10000, 0, 300, -200}},
        {"mirror in x", {-0x10000, 0, 0, 0x10000, 0, 0}},
        {"twice as wide, half as tall", {0x20000, 0, 0, 0x8000, 0, 0}},
    };
    const Point origin = {5000, 7000};
    for (const Case &c : cases) {
        ObjHeader *it = runItem(u"Turned", 1000, 2000);
        ObjHeader *holder = make(&kContainer, 1, Obj_box(it));
        ObjHeader *child = runItem(u"Inner", 1500, 2500);
        Obj_setChildren(holder, child);
        LayerList_append(list, it);
        LayerList_append(list, holder);
        for (int round = 0; round < 2; round++) {
            const Rect ink = inkOf(it), inner = inkOf(child);
            ASSERT_EQ(LayerList_transform(list, &c.m, &origin, 0), 0) << c.name;
            ASSERT_NE(it->matrix, nullptr) << c.name;
            expectNear(inkOf(it), mappedBox(ink, c.m, origin), 2, c.name);
            expectNear(inkOf(child), mappedBox(inner, c.m, origin), 2, c.name);
            // The box still holds the ink.
            const Rect box = Obj_box(it), now = inkOf(it);
            EXPECT_LE(box.x0, now.x0 + 1) << c.name;
            EXPECT_GE(box.x1, now.x1 - 1) << c.name;
            EXPECT_LE(box.y0, now.y0 + 1) << c.name;
            EXPECT_GE(box.y1, now.y1 - 1) << c.name;
        }
        LayerList_freeItems(list);
        LayerList_clear(list);
    }

    // A turn that is not a quarter: the pen, the run's direction and its
    // height follow the matrix.
    ObjHeader *it = runItem(u"Turned", 1000, 2000);
    LayerList_append(list, it);
    const int32_t baseline = static_cast<TextItemPart *>(Obj_part(it))->baseline;
    const Rect before = Obj_box(it);
    Matrix turn = *Matrix_identity();
    Matrix_rotation(&turn, 30 << 16);
    ASSERT_EQ(LayerList_transform(list, &turn, &origin, 0), 0);
    ASSERT_NE(it->matrix, nullptr);
    EXPECT_NEAR(it->matrix->a, 56756, 2); // cos 30
    EXPECT_NEAR(it->matrix->b, 32768, 2); // sin 30
    Point pen{};
    Matrix_transformPoint(&pen, before.x0 - origin.x, before.y0 + baseline - origin.y, &turn);
    const Rect after = Obj_box(it);
    EXPECT_NEAR(after.x0 + it->matrix->tx, pen.x + origin.x, 1);
    EXPECT_NEAR(after.y0 + baseline + it->matrix->ty, pen.y + origin.y, 1);

    // A move alone gives no matrix.
    ObjHeader *moved = runItem(u"Moved", 0, 0);
    LayerList_append(list, moved);
    const Matrix shift = {0x10000, 0, 0, 0x10000, 40, 50};
    ASSERT_EQ(LayerList_transform(list, &shift, &origin, 0), 0);
    EXPECT_EQ(moved->matrix, nullptr);
    EXPECT_EQ(Obj_box(moved).x0, 40);

    // A turned run crossing a clip edge is not cut by its advance along x.
    const Rect clip = {after.x0 + (after.x1 - after.x0) / 2, after.y0 - 1000, after.x1 + 1000,
                       after.y1 + 1000};
    ASSERT_EQ(LayerList_clipToRect(list, &clip, 0), 0);
    EXPECT_EQ(static_cast<TextItemPart *>(Obj_part(it))->base.count, 6u);
}

TEST_F(LayerListTest, TransformWithoutMemoryForATurnStops)
{
    ObjHeader *it = runItem(u"Turned", 1000, 2000);
    LayerList_append(list, it);
    const Rect before = Obj_box(it);
    const Matrix turn = {0, 0x10000, -0x10000, 0, 0, 0};
    const Point origin = {0, 0};
    Mem_failAfter(1);
    EXPECT_EQ(LayerList_transform(list, &turn, &origin, 0), Res_noMemory);
    Mem_failAfter(0);
    EXPECT_EQ(it->matrix, nullptr);
    const Rect now = Obj_box(it);
    EXPECT_TRUE(Rect_equal(&before, &now));
}

// ---------------------------------------------------------------- clipping

TEST_F(LayerListTest, EmptyRectangleFreesEverything)
{
    LayerList_append(list, item(1));
    LayerList_selectKey(list, 4);
    ObjHeader *box = make(&kContainer, 2);
    Obj_setChildren(box, item(3));
    LayerList_append(list, box);
    for (Rect empty : {Rect{0, 0, 0, 100}, Rect{0, 10, 100, 5}}) {
        ASSERT_EQ(LayerList_clipToRect(list, &empty, 0), 0);
        EXPECT_FALSE(LayerList_hasItems(list));
        expectSound(list);
        LayerList_append(list, item(9));
    }
    EXPECT_EQ(destroyed, 3 + 1);
}

// The characters of a text item that lie wholly inside [x0, x1), by the
// measurer's prefix widths.
std::u16string expectedCut(ObjTextPart *t, int32_t itemX0, int32_t x0, int32_t x1)
{
    std::u16string kept;
    for (uint32_t i = 0; i < t->count; i++) {
        Rect before{}, after{};
        EXPECT_EQ(TextRun_measureFit(t->fonts, t->size, t->styleFlags, t->style,
                                     t->chars + t->start, i, t->charSpacing, t->wordSpacing,
                                     INT32_MAX, nullptr, &before),
                  0);
        EXPECT_EQ(TextRun_measureFit(t->fonts, t->size, t->styleFlags, t->style,
                                     t->chars + t->start, i + 1, t->charSpacing, t->wordSpacing,
                                     INT32_MAX, nullptr, &after),
                  0);
        if (itemX0 + before.x1 >= x0 && itemX0 + after.x1 <= x1)
            kept += t->chars[t->start + i];
    }
    return kept;
}

ObjHeader *textItem(int32_t id, const char16_t *text, int32_t x0)
{
    ObjHeader *it = make(&kText, id);
    TextPart *part = static_cast<TextPart *>(Obj_part(it));
    size_t n = std::char_traits<char16_t>::length(text);
    memcpy(part->text, text, n * sizeof(char16_t));
    part->base.chars = part->text;
    part->base.count = uint32_t(n);
    part->base.size = 144 * 1000; // 12 points
    Rect all{};
    EXPECT_EQ(TextRun_measureFit(nullptr, part->base.size, 0, nullptr, part->text, uint32_t(n), 0,
                                 0, INT32_MAX, nullptr, &all),
              0);
    Rect box = {x0, 0, x0 + all.x1, 100};
    Obj_setBox(it, &box);
    return it;
}

std::u16string textOf(ObjHeader *it)
{
    ObjTextPart *t = &static_cast<TextPart *>(Obj_part(it))->base;
    return std::u16string(t->chars + t->start, t->count);
}

TEST_F(LayerListTest, ClipCutsTextAtTheCrossingCharacter)
{
    ObjHeader *across = textItem(1, u"abcdefghij", 0);
    ObjHeader *left = textItem(2, u"klmnop", -20000);
    ObjHeader *inside = textItem(3, u"qr", 3000);
    ObjHeader *outside = item(4, Rect{9000, 9000, 9100, 9100});
    ObjHeader *touching = item(5, Rect{7200, 0, 8000, 100}); // meets only the edge
    for (ObjHeader *it : {across, left, inside, outside, touching})
        LayerList_append(list, it);
    ObjTextPart before = static_cast<TextPart *>(Obj_part(across))->base;
    Rect acrossBox = Obj_box(across);
    const Rect clip = {2500, -50, 7200, 150};
    std::u16string want = expectedCut(&before, acrossBox.x0, clip.x0, clip.x1);
    ASSERT_FALSE(want.empty());

    ASSERT_EQ(LayerList_clipToRect(list, &clip, 0), 0);
    expectSound(list);
    EXPECT_EQ(layerIds(list->first), (std::vector<int32_t>{1, 3}));
    EXPECT_EQ(textOf(across), want);
    // The box shrinks to the kept characters.
    Rect box = Obj_box(across);
    EXPECT_GE(box.x0, clip.x0);
    EXPECT_LE(box.x1, clip.x1);
    Rect kept{};
    ObjTextPart *t = &static_cast<TextPart *>(Obj_part(across))->base;
    ASSERT_EQ(TextRun_measureFit(nullptr, t->size, 0, nullptr, t->chars + t->start, t->count, 0, 0,
                                 INT32_MAX, nullptr, &kept),
              0);
    EXPECT_EQ(box.x1 - box.x0, kept.x1);
    EXPECT_EQ(textOf(inside), u"qr");
    EXPECT_EQ(destroyed, 3);

    // A clip that leaves no whole character frees the item.
    const Rect sliver = {box.x0 + 1, -50, box.x0 + 2, 150};
    ASSERT_EQ(LayerList_clipToRect(list, &sliver, 0), 0);
    EXPECT_FALSE(LayerList_hasItems(list));
}

TEST_F(LayerListTest, ClipReachesIntoContainers)
{
    ObjHeader *box = make(&kContainer, 1, Rect{0, 0, 1000, 1000});
    ObjHeader *in = item(2, Rect{10, 10, 20, 20});
    ObjHeader *out = item(3, Rect{900, 900, 990, 990});
    Obj_setNext(in, out);
    Obj_setChildren(box, in);
    LayerList_append(list, box);
    LayerList_append(list, item(4, Rect{2000, 0, 2100, 10}));
    const Rect clip = {0, 0, 500, 500};
    ASSERT_EQ(LayerList_clipToRect(list, &clip, 0), 0);
    EXPECT_EQ(layerIds(list->first), (std::vector<int32_t>{1}));
    EXPECT_EQ(chainIds(Obj_children(box)), (std::vector<int32_t>{2}));
    EXPECT_EQ(destroyed, 2);
}

// ------------------------------------------------------------ no memory

TEST_F(LayerListTest, RunningOutOfMemoryChangesNothing)
{
    Mem_failAfter(1);
    EXPECT_EQ(LayerList_create(), nullptr);
    Mem_failAfter(2);
    EXPECT_EQ(LayerList_create(), nullptr); // the layer failed; the head is freed

    LayerList_append(list, item(1));
    Mem_failAfter(1);
    LayerList_selectKey(list, 9);
    EXPECT_EQ(keys(list), (std::vector<int32_t>{1}));
    EXPECT_EQ(list->current, list->first);

    // Push: the payload, then the layer (whose payload is released).
    for (int n : {1, 2}) {
        Mem_failAfter(n);
        EXPECT_EQ(LayerList_pushLayer(list, nullptr), Res_noMemory) << n;
        EXPECT_EQ(list->first, list->last);
    }
    Mem_failAfter(0);
    ASSERT_EQ(LayerList_pushLayer(list, nullptr), 0);
    LayerList_append(list, item(2));
    Mem_failAfter(1);
    EXPECT_EQ(LayerList_popLayer(list), Res_noMemory);
    Mem_failAfter(0);

    // A merge whose first layer needs a layer of its own in list.
    LayerList *keyed = LayerList_create();
    LayerList *other = LayerList_create();
    LayerList_selectKey(other, 6);
    LayerList_append(other, item(3));
    Mem_failAfter(1);
    EXPECT_EQ(LayerList_merge(keyed, other), Res_noMemory);
    EXPECT_FALSE(LayerList_hasItems(keyed));
    EXPECT_TRUE(LayerList_hasItems(other));
    ASSERT_EQ(LayerList_merge(keyed, other), 0);
    EXPECT_EQ(keys(keyed), (std::vector<int32_t>{1, 6}));

    // Wrapping stops at the first container it cannot make; the layers not
    // wrapped stay with their items.
    ASSERT_EQ(LayerList_pushLayer(list, nullptr), 0);
    LayerList_append(list, item(4));
    ObjHeader *record = make(&kContainer, 'R');
    Mem_failAfter(2);
    EXPECT_EQ(LayerList_wrapLayers(list, record), Res_noMemory);
    expectSound(list);
    EXPECT_EQ(chainIds(Obj_children(record)), (std::vector<int32_t>{1}));
    EXPECT_EQ(chainIds(record).size(), 2u);
    EXPECT_EQ(layerIds(list->last), (std::vector<int32_t>{4}));
    Mem_failAfter(0);
    while (record) {
        ObjHeader *next = Obj_next(record);
        Obj_destroy(record);
        record = next;
    }
    LayerList_freeItems(keyed);
    LayerList_destroy(keyed);
    LayerList_destroy(other);
}

} // namespace
