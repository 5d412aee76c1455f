// The pooled list against a reference model, and the session history.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/config/config.h"
#include "core/result.h"
#include "html/web/list.h"
#include "html/web/sessionhistory.h"
#include "platform/url/url.h"
#include "tests/support/heap_fixture.h"

namespace {

using ListTest = LeakCheckedContextTest<>;

void *word(intptr_t v)
{
    return reinterpret_cast<void *>(v);
}
intptr_t val(const void *p)
{
    return reinterpret_cast<intptr_t>(p);
}

std::vector<intptr_t> *destroyed; // data the destroy callback saw

void recordDestroy(void *data)
{
    destroyed->push_back(val(data));
}

std::vector<intptr_t> contents(const List *l)
{
    std::vector<intptr_t> out;
    for (ListNode *n = l->head; n; n = n->next)
        out.push_back(val(n->data));
    return out;
}

// The list's own invariants: count, tail, and a free chain disjoint from it.
void checkShape(const List *l)
{
    int32_t n = 0;
    const ListNode *last = nullptr;
    for (ListNode *x = l->head; x; x = x->next)
        n++, last = x;
    EXPECT_EQ(n, l->count);
    EXPECT_EQ(last, l->tail);
}

int compareWords(const void *a, const void *b)
{
    return val(a) < val(b) ? -1 : val(a) > val(b) ? 1 : 0;
}

TEST_F(ListTest, RandomOperationsAgreeWithAModel)
{
    std::vector<intptr_t> seen;
    destroyed = &seen;
    List *l = nullptr;
    ASSERT_EQ(List_create(&l, recordDestroy, 2, 1), 0);
    std::vector<intptr_t> model, expectDestroyed;
    std::mt19937 rng(12345);
    intptr_t next = 1;
    for (int step = 0; step < 2000; step++) {
        int op = int(rng() % 6);
        int32_t count = int32_t(model.size());
        int32_t at = count ? int32_t(rng() % uint32_t(count)) : 0;
        switch (op) {
        case 0:
            ASSERT_NE(List_insert(l, word(next), nullptr, List_atHead), nullptr);
            model.insert(model.begin(), next++);
            break;
        case 1:
            ASSERT_NE(List_insert(l, word(next), nullptr, List_atTail), nullptr);
            model.push_back(next++);
            break;
        case 2:
        case 3:
            if (!count)
                break;
            ASSERT_NE(
                List_insert(l, word(next), List_at(l, at), op == 2 ? List_before : List_after),
                nullptr);
            model.insert(model.begin() + at + (op == 3), next++);
            break;
        case 4: {
            if (!count)
                break;
            ListNode *n = List_at(l, at);
            ASSERT_EQ(List_remove(l, &n), 0);
            EXPECT_EQ(n, nullptr);
            expectDestroyed.push_back(model[size_t(at)]);
            model.erase(model.begin() + at);
            break;
        }
        default: {
            if (count < 2)
                break;
            int32_t to = int32_t(rng() % uint32_t(count));
            ListNode *node = List_at(l, at), *ref = List_at(l, to);
            int where = rng() % 2 ? List_before : List_after;
            ASSERT_EQ(List_move(l, node, ref, where), 0);
            if (at != to) {
                intptr_t v = model[size_t(at)];
                model.erase(model.begin() + at);
                auto r = std::find(model.begin(), model.end(), val(ref->data));
                model.insert(where == List_before ? r : r + 1, v);
            }
            break;
        }
        }
        ASSERT_EQ(contents(l), model) << "step " << step;
        ASSERT_EQ(List_count(l), int32_t(model.size()));
        checkShape(l);
    }
    EXPECT_EQ(seen, expectDestroyed);
    // Pool blocks grew by doubling: far fewer blocks than nodes ever used.
    int blocks = 0;
    for (ListBlock *b = l->blocks; b; b = b->next)
        blocks++;
    EXPECT_LT(blocks, 16);
    seen.clear();
    List_destroy(&l);
    EXPECT_EQ(l, nullptr);
    std::sort(seen.begin(), seen.end());
    std::sort(model.begin(), model.end());
    EXPECT_EQ(seen, model) << "destroy sees every remaining datum";
    List_destroy(&l); // null is ignored
}

TEST_F(ListTest, PoolNodesAreReused)
{
    List *l = nullptr;
    ASSERT_EQ(List_create(&l, nullptr, 4, 4), 0);
    ListNode *a = List_insert(l, word(1), nullptr, List_atTail);
    ListNode *keep = a;
    ASSERT_EQ(List_remove(l, &a), 0);
    EXPECT_EQ(List_insert(l, word(2), nullptr, List_atTail), keep)
        << "the freed node comes back first";
    for (int i = 0; i < 20; i++)
        ASSERT_NE(List_insert(l, word(i), nullptr, List_atTail), nullptr);
    EXPECT_EQ(l->growBy, 32u)
        << "blocks of 4, 4, 8 and 16 nodes cover 21 entries; the next would hold 32";
    List_destroy(&l);
}

TEST_F(ListTest, BadArgumentsAndOutOfMemory)
{
    List *l = nullptr;
    ASSERT_EQ(List_create(&l, nullptr, 1, 1), 0);
    EXPECT_EQ(List_insert(nullptr, word(1), nullptr, List_atHead), nullptr);
    EXPECT_EQ(List_insert(l, word(1), nullptr, List_before), nullptr) << "no reference";
    EXPECT_EQ(List_insert(l, word(1), nullptr, 7), nullptr);
    EXPECT_EQ(List_count(nullptr), 0);
    EXPECT_EQ(List_sort(l, nullptr, 0, 0), 1);
    EXPECT_EQ(List_forEach(l, nullptr, nullptr, nullptr), 1);
    ListNode *none = nullptr;
    EXPECT_EQ(List_remove(l, &none), 0);
    ASSERT_NE(List_insert(l, word(1), nullptr, List_atHead), nullptr);
    Mem_failAfter(1);
    EXPECT_EQ(List_insert(l, word(2), nullptr, List_atTail), nullptr) << "the pool cannot grow";
    Mem_failAfter(0);
    EXPECT_EQ(contents(l), (std::vector<intptr_t>{1}));
    checkShape(l);
    List_destroy(&l);
    Mem_failAfter(1);
    EXPECT_EQ(List_create(&l, nullptr, 1, 1), 1);
    EXPECT_EQ(l, nullptr);
    Mem_failAfter(0);
}

TEST_F(ListTest, SortedInsertSortAndFind)
{
    List *l = nullptr;
    ASSERT_EQ(List_create(&l, nullptr, 2, 2), 0);
    for (intptr_t v : {5, 1, 4, 1, 3})
        ASSERT_NE(List_insertSorted(l, word(v), compareWords, 0), nullptr);
    EXPECT_EQ(contents(l), (std::vector<intptr_t>{1, 1, 3, 4, 5}));
    List_destroy(&l);

    for (int swap = 0; swap < 2; swap++) {
        ASSERT_EQ(List_create(&l, nullptr, 2, 2), 0);
        for (intptr_t v : {3, 9, 1, 7, 5})
            List_insert(l, word(v), nullptr, List_atTail);
        EXPECT_EQ(List_sort(l, compareWords, 1, swap), 0);
        EXPECT_EQ(contents(l), (std::vector<intptr_t>{9, 7, 5, 3, 1})) << swap;
        EXPECT_EQ(List_sort(l, compareWords, 0, swap), 0);
        EXPECT_EQ(contents(l), (std::vector<intptr_t>{1, 3, 5, 7, 9})) << swap;
        checkShape(l);
        // Already in order: no change.
        EXPECT_EQ(List_sort(l, compareWords, 0, swap), 0);
        EXPECT_EQ(contents(l), (std::vector<intptr_t>{1, 3, 5, 7, 9}));
        EXPECT_EQ(List_findWith(l, word(7), nullptr, nullptr), List_at(l, 3));
        EXPECT_EQ(List_findWith(l, word(7), nullptr, List_at(l, 3)), nullptr);
        auto stopAtFive = [](const void *, const void *d) { return val(d) == 5 ? 2 : 1; };
        EXPECT_EQ(List_findWith(l, nullptr, stopAtFive, nullptr), nullptr);
        List_destroy(&l);
    }
    ASSERT_EQ(List_create(&l, nullptr, 2, 2), 0);
    List_insert(l, word(1), nullptr, List_atTail);
    EXPECT_EQ(List_sort(l, compareWords, 0, 0), 0) << "one entry";
    List_destroy(&l);
}

struct RemoveCtx {
    List *list;
    std::vector<intptr_t> visited;
};

TEST_F(ListTest, ForEachCallbackRemovesItsOwnNode)
{
    std::vector<intptr_t> seen;
    destroyed = &seen;
    List *l = nullptr;
    ASSERT_EQ(List_create(&l, recordDestroy, 2, 2), 0);
    for (intptr_t v = 1; v <= 6; v++)
        List_insert(l, word(v), nullptr, List_atTail);
    RemoveCtx c{l, {}};
    auto removeEven = [](ListNode *n, void *arg) {
        RemoveCtx *c = static_cast<RemoveCtx *>(arg);
        c->visited.push_back(val(n->data));
        if (val(n->data) % 2 == 0)
            return List_remove(c->list, &n);
        return 0;
    };
    EXPECT_EQ(List_forEach(l, removeEven, &c, nullptr), 0);
    EXPECT_EQ(c.visited, (std::vector<intptr_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(contents(l), (std::vector<intptr_t>{1, 3, 5}));
    EXPECT_EQ(seen, (std::vector<intptr_t>{2, 4, 6}));
    checkShape(l);
    auto stopAtThree = [](ListNode *n, void *) { return val(n->data) == 3 ? 1 : 0; };
    EXPECT_EQ(List_forEach(l, stopAtThree, nullptr, nullptr), 1);
    auto quitAtThree = [](ListNode *n, void *) { return val(n->data) == 3 ? -1 : 0; };
    EXPECT_EQ(List_forEach(l, quitAtThree, nullptr, nullptr), 0);
    // Replacing a datum destroys the old one.
    seen.clear();
    EXPECT_EQ(List_replaceData(l, &l->head->data, word(11)), 0);
    EXPECT_EQ(seen, (std::vector<intptr_t>{1}));
    EXPECT_EQ(List_nodeData(l->head), word(11));
    List_destroy(&l);
}

TEST_F(ListTest, WalkReadsAndFills)
{
    List *l = nullptr;
    ASSERT_EQ(List_create(&l, nullptr, 1, 1), 0);
    struct Log {
        std::vector<std::pair<int, intptr_t>> calls;
        intptr_t fillUpTo;
    } log{{}, 3};
    auto cb = [](int32_t op, void *arg, ListNode *n, ListWalkState *st) {
        Log *log = static_cast<Log *>(arg);
        if (op == 2 && st->fill) {
            intptr_t v = intptr_t(log->calls.size());
            n->data = word(v);
            if (v >= log->fillUpTo)
                st->done = 1;
        }
        log->calls.push_back({op, n ? val(n->data) : -1});
        return 0;
    };
    ListWalkState fill{1, 0};
    EXPECT_EQ(List_walk(l, &log, cb, &fill), 0);
    EXPECT_EQ(contents(l), (std::vector<intptr_t>{1, 2, 3}));
    log.calls.clear();
    ListWalkState read{0, 0};
    EXPECT_EQ(List_walk(l, &log, cb, &read), 0);
    EXPECT_EQ(log.calls,
              (std::vector<std::pair<int, intptr_t>>{{0, -1}, {2, 1}, {2, 2}, {2, 3}, {1, -1}}));
    auto refuse = [](int32_t op, void *, ListNode *, ListWalkState *) { return op == 0 ? 5 : 0; };
    EXPECT_EQ(List_walk(l, nullptr, refuse, &read), 1);
    List_destroy(&l);
}

// --------------------------------------------------------------- history

class HistoryTest : public LeakCheckedContextTest<> {
  protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(LeakCheckedContextTest<>::SetUp());
        ctx->config = Config_createStore(ctx, u"test");
        ASSERT_NE(ctx->config, nullptr);
        h = SessionHistory_create(heap.instance);
        ASSERT_NE(h, nullptr);
        h->notify = [](int32_t state, void *data) {
            static_cast<std::vector<int32_t> *>(data)->push_back(state);
        };
        h->notifyData = &states;
    }
    void TearDown() override
    {
        heap.instance->closeHooks[1] = &h->hook;
        SessionHistory_destroy(heap.instance);
        EXPECT_EQ(heap.instance->closeHooks[1], nullptr);
        Config_freeStore(ctx, ctx->config);
        ctx->config = nullptr;
        LeakCheckedContextTest<>::TearDown();
    }
    void add(const char *text)
    {
        Url *u = Url_newFromCstr(text);
        ASSERT_NE(u, nullptr);
        Session_historyAdd(h, u);
        Url_free(u);
    }
    std::vector<std::string> entries()
    {
        std::vector<std::string> out;
        for (ListNode *n = h->list->head; n; n = n->next) {
            char *t = Url_toUtf8(static_cast<Url *>(n->data), UrlPart_all);
            out.push_back(t ? t : "?");
            Mem_free(t);
        }
        return out;
    }
    SessionHistory *h = nullptr;
    std::vector<int32_t> states;
};

TEST_F(HistoryTest, BoundedAdditionsAndNavigationStates)
{
    Config_setIntA(ctx, ctx->config, nullptr, "Vexlan_sessionHistoryMaxEntries", 3, 0);
    EXPECT_EQ(h->current, -1);
    add("http://a.test/");
    add("http://b.test/");
    add("http://c.test/");
    EXPECT_EQ(states, (std::vector<int32_t>{4, 3, 3}));
    add("http://d.test/");
    EXPECT_EQ(entries(),
              (std::vector<std::string>{"http://b.test/", "http://c.test/", "http://d.test/"}));
    EXPECT_EQ(h->current, 2);

    // The current URL again: nothing added, the state reported again.
    states.clear();
    add("http://d.test/");
    EXPECT_EQ(entries().size(), 3u);
    EXPECT_EQ(states, (std::vector<int32_t>{3}));

    // Back to the first entry: a new URL drops the forward entries.
    h->current = 0;
    add("http://e.test/");
    EXPECT_EQ(entries(), (std::vector<std::string>{"http://b.test/", "http://e.test/"}));
    EXPECT_EQ(h->current, 1);

    // A fragment makes a new entry.
    add("http://e.test/#part");
    EXPECT_EQ(entries().size(), 3u);
    EXPECT_EQ(h->current, 2);
}

TEST_F(HistoryTest, StatesOfEachPosition)
{
    Config_setIntA(ctx, ctx->config, nullptr, "Vexlan_sessionHistoryMaxEntries", 0, 0); // no bound
    for (int i = 0; i < 70; i++)
        add(("http://x.test/" + std::to_string(i)).c_str());
    EXPECT_EQ(entries().size(), 70u) << "0 means no bound";
    // The state as the addition of the current URL reports it.
    struct {
        int32_t current, state;
    } cases[] = {{69, 3}, {30, 2}, {0, 1}};
    for (auto c : cases) {
        h->current = c.current;
        states.clear();
        add(("http://x.test/" + std::to_string(c.current)).c_str());
        EXPECT_EQ(states, (std::vector<int32_t>{c.state})) << c.current;
    }
}

TEST_F(HistoryTest, DefaultBoundIs64)
{
    for (int i = 0; i < 66; i++)
        add(("http://y.test/" + std::to_string(i)).c_str());
    EXPECT_EQ(entries().size(), 64u);
    EXPECT_EQ(entries().front(), "http://y.test/2");
    EXPECT_EQ(h->current, 63);
}

TEST_F(HistoryTest, OpeningTheCurrentEntry)
{
    heap.instance->closeHooks[1] = &h->hook;
    EXPECT_EQ(SessionHistory_openCurrent(heap.instance), Res_notFound) << "no current entry";
    add("http://a.test/#x");
    // No application queue: the call is refused and its text freed (the
    // fixture checks the heap).
    EXPECT_EQ(SessionHistory_openCurrent(heap.instance), 1);
    EXPECT_EQ(SessionHistory_openCurrent(nullptr), Res_notFound);
}

TEST_F(HistoryTest, AnEmptyHistoryCanGoNeitherWay)
{
    Url *u = Url_newFromCstr("http://a.test/");
    ASSERT_NE(u, nullptr);
    Mem_failAfter(1); // the copy fails: the history stays empty
    Session_historyAdd(h, u);
    Mem_failAfter(0);
    Url_free(u);
    EXPECT_EQ(List_count(h->list), 0);
    EXPECT_EQ(h->current, -1);
    EXPECT_EQ(states, (std::vector<int32_t>{4}));
}

TEST_F(HistoryTest, FailedCopyStillReportsTheState)
{
    add("http://a.test/");
    add("http://b.test/");
    h->current = 0;
    Url *u = Url_newFromCstr("http://c.test/");
    ASSERT_NE(u, nullptr);
    states.clear();
    Mem_failAfter(1);
    Session_historyAdd(h, u);
    Mem_failAfter(0);
    Url_free(u);
    EXPECT_EQ(entries(), (std::vector<std::string>{"http://a.test/"}))
        << "the forward entry went before the copy";
    EXPECT_EQ(states, (std::vector<int32_t>{4}));
}

} // namespace
