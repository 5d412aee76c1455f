// The web cache store against a reference model under random publishing,
// lookups, releases, evictions and clears, and the store's own cases:
// over budget, the newest stamp, ties, data-part URLs, doomed entries,
// one-entry eviction and stamps after 2038.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "html/web/cachestore.h"
#include "core/mem/mem.h"
#include "platform/url/url.h"
#include "tests/support/task_fixture.h"

namespace {

struct TestEntry {
    CacheEntry core; // first: the store hands back CacheEntry pointers
    int id;
};

struct World {
    std::vector<int> destroyed;
    std::vector<int> done;
    int ownUrl = 1;
};

World *gWorld = nullptr; // set by each test for the client callbacks

void destroyEntry(CacheEntry *e)
{
    TestEntry *t = reinterpret_cast<TestEntry *>(e);
    gWorld->destroyed.push_back(t->id);
    Url_free(e->url);
    Lock_fini(&e->entryLock);
    delete t;
}

void doneEntry(CacheEntry *e)
{
    gWorld->done.push_back(reinterpret_cast<TestEntry *>(e)->id);
}

const CacheEntryClient kClient = {destroyEntry, doneEntry};

int notSelf(CacheEntry *e, void *arg)
{
    return e != arg;
}

void makeRoom(CacheStore *store, uint32_t *wanted, CacheEntry *entry)
{
    CacheStore_evictUntil(store, wanted, &entry->cls->bytesInUse, notSelf, entry);
}

const char *kUrls[] = {"http://a.example/1", "http://a.example/2", "http://b.example/",
                       "http://b.example/x?q", "http://c.example/"};

class CacheStoreTest : public TaskFixture {
  protected:
    void SetUp() override
    {
        TaskFixture::SetUp();
        gWorld = &world;
    }
    // Runs body on an engine task (locks need one).
    void inTask(std::function<void()> body)
    {
        Task_detach(spawn("cache", 3, std::move(body)));
        TestEngine_runAll(&e, 100000);
    }
    // A published entry with one reference (the creator's).
    TestEntry *publish(CacheStore *store, CacheClass *cls, int id, const char *url, int64_t stamp,
                       uint32_t size)
    {
        TestEntry *t = new TestEntry{};
        t->id = id;
        EXPECT_EQ(CacheEntry_init(ctx(), &t->core, store, &kClient, cls, id % 2), 0);
        t->core.url = url ? Url_newFromCstr(url) : nullptr;
        t->core.timeStamp = stamp;
        t->core.size = size;
        t->core.refCount = 1;
        CacheEntry_notifyClient(&t->core);
        return t;
    }
    std::vector<int> listed(CacheStore *store)
    {
        std::vector<int> ids;
        for (CacheEntry *e = store->head; e; e = e->next)
            ids.push_back(reinterpret_cast<TestEntry *>(e)->id);
        return ids;
    }
    World world;
};

// The model: listed entries in order, with their references.
struct ModelEntry {
    int id;
    int url;
    int64_t stamp;
    uint32_t size;
    uint32_t refs;
    bool doomed;
};

struct Model {
    std::vector<ModelEntry> list;
    uint32_t budget, maxEntries;
    std::vector<int> gone;

    uint32_t bytes() const
    {
        uint32_t b = 0;
        for (const ModelEntry &m : list)
            b += m.refs ? 0 : m.size;
        return b;
    }
    uint32_t count() const
    {
        uint32_t n = 0;
        for (const ModelEntry &m : list)
            n += m.refs ? 0 : 1;
        return n;
    }
    void removeAt(size_t i)
    {
        gone.push_back(list[i].id);
        list.erase(list.begin() + long(i));
    }
    // Evicts idle entries (not skip) from the head: wanted 0 one entry,
    // else until the idle bytes dropped by wanted.
    void evictUntil(uint32_t wanted, int skip)
    {
        uint32_t total0 = bytes();
        uint32_t target = wanted > total0 ? 0 : total0 - wanted;
        for (size_t i = 0; i < list.size() && (wanted == 0 || bytes() > target);) {
            if (list[i].refs == 0 && list[i].id != skip) {
                removeAt(i);
                if (wanted == 0)
                    return;
                i = 0;
            } else {
                i++;
            }
        }
    }
    // The last reference of a listed entry went.
    void settle(size_t i)
    {
        ModelEntry m = list[i];
        if (m.doomed || m.size > budget) {
            removeAt(i);
            return;
        }
        uint32_t inUse = bytes() - m.size; // the entry is idle but not counted yet
        bool room = false;
        uint32_t wanted = 0;
        if (inUse + m.size > budget) {
            wanted = m.size - (budget - inUse);
            room = true;
        }
        if (count() - 1 >= maxEntries)
            room = true;
        if (room) {
            // The idle totals the store sees leave the settling entry out.
            list[i].refs = 1;
            evictUntil(wanted, m.id);
            auto it = std::find_if(list.begin(), list.end(),
                                   [&](const ModelEntry &x) { return x.id == m.id; });
            it->refs = 0;
            i = size_t(it - list.begin());
        }
        list.erase(list.begin() + long(i));
        list.push_back(m);
    }
    int find(int url) const
    {
        const ModelEntry *best = nullptr;
        for (const ModelEntry &m : list)
            if (!m.doomed && m.url == url && url != 3 && (!best || m.stamp > best->stamp))
                best = &m;
        return best ? best->id : -1;
    }
};

TEST_F(CacheStoreTest, RandomOperationsFollowTheModel)
{
    inTask([&] {
        CacheStore *store = nullptr;
        ASSERT_EQ(CacheStore_create(ctx(), nullptr, nullptr, &store), 0);
        CacheClass cls = {};
        cls.byteBudget = 1000;
        cls.maxEntries = 6;
        cls.makeRoom = makeRoom;
        Model model;
        model.budget = 1000;
        model.maxEntries = 6;
        std::vector<TestEntry *> held; // one reference each
        std::mt19937 rng(7);
        int nextId = 1;
        auto modelAt = [&](int id) {
            for (size_t i = 0; i < model.list.size(); i++)
                if (model.list[i].id == id)
                    return i;
            return size_t(-1);
        };
        auto release = [&](size_t k) {
            TestEntry *t = held[k];
            held.erase(held.begin() + long(k));
            size_t i = modelAt(t->id);
            ASSERT_NE(i, size_t(-1));
            if (--model.list[i].refs == 0)
                model.settle(i);
            CacheEntry_release(&t->core);
        };
        for (int step = 0; step < 3000; step++) {
            int op = int(rng() % 10);
            if (op < 4) {
                int url = int(rng() % 5);
                int64_t stamp = int64_t(rng() % 4) + (int64_t(1) << 32);
                uint32_t size = rng() % 420;
                int id = nextId++;
                model.list.push_back({id, url, stamp, size, 1, false});
                TestEntry *t = publish(store, &cls, id, kUrls[url], stamp, size);
                held.push_back(t);
                if (rng() % 3)
                    release(held.size() - 1);
            } else if (op < 6) {
                int url = int(rng() % 5);
                Url *u = Url_newFromCstr(kUrls[url]);
                if (url == 3) {
                    ASSERT_EQ(Url_copyDataBytes(u, reinterpret_cast<const uint8_t *>("a=1"), 3), 0);
                }
                uint32_t fresh = 9, usable = 9;
                CacheEntry *e = CacheStore_lookup(store, u, &fresh, &usable, 0);
                Url_free(u);
                int want = model.find(url);
                ASSERT_EQ(e ? reinterpret_cast<TestEntry *>(e)->id : -1, want) << step;
                EXPECT_EQ(fresh + usable, 0u);
                if (e) {
                    model.list[modelAt(want)].refs++;
                    held.push_back(reinterpret_cast<TestEntry *>(e));
                }
            } else if (op < 8) {
                if (!held.empty())
                    release(rng() % held.size());
            } else if (op < 9) {
                uint32_t wanted = rng() % 2 ? 0 : rng() % 600;
                uint32_t modelWanted = wanted;
                uint32_t before = model.bytes();
                model.evictUntil(modelWanted, -1);
                Lock_acquire(&store->lock);
                CacheStore_evictUntil(store, &wanted, &cls.bytesInUse, nullptr, nullptr);
                Lock_release(&store->lock);
                CacheStore_drainFree(store);
                EXPECT_EQ(wanted, before - model.bytes());
            } else {
                uint32_t keepBusy = rng() % 4 != 0;
                for (size_t i = 0; i < model.list.size();) {
                    if (keepBusy && model.list[i].refs) {
                        model.list[i++].doomed = true;
                    } else {
                        model.removeAt(i);
                    }
                }
                CacheStore_clear(store, keepBusy);
                // Without keep busy the referenced entries are recycled as
                // well: their references are gone with them.
                if (!keepBusy)
                    held.clear();
            }
            std::vector<int> want;
            for (const ModelEntry &m : model.list)
                want.push_back(m.id);
            ASSERT_EQ(listed(store), want) << "step " << step;
            ASSERT_EQ(cls.bytesInUse, model.bytes()) << step;
            ASSERT_EQ(cls.count, model.count()) << step;
            std::vector<int> a = world.destroyed, b = model.gone;
            std::sort(a.begin(), a.end());
            std::sort(b.begin(), b.end());
            ASSERT_EQ(a, b) << step;
        }
        for (size_t k = held.size(); k-- > 0;)
            release(k);
        CacheStore_destroy(store);
    });
}

TEST_F(CacheStoreTest, StoreCases)
{
    inTask([&] {
        CacheStore *store = nullptr;
        ASSERT_EQ(CacheStore_create(ctx(), nullptr, nullptr, &store), 0);
        CacheClass cls = {};
        cls.byteBudget = 100;
        cls.makeRoom = makeRoom;
        // Larger than the budget: recycled at its last release.
        TestEntry *big = publish(store, &cls, 1, kUrls[0], 5, 101);
        CacheEntry_release(&big->core);
        EXPECT_EQ(world.destroyed, std::vector<int>{1});
        EXPECT_EQ(world.done, std::vector<int>{1});
        // Stamps 10 and 20: the newer wins wherever it sits; equal stamps
        // go to the head. A stamp after 2038 is newer than one before.
        TestEntry *a = publish(store, &cls, 2, kUrls[0], 20, 10);
        TestEntry *b = publish(store, &cls, 3, kUrls[0], 10, 10);
        TestEntry *c = publish(store, &cls, 4, kUrls[1], 7, 10);
        TestEntry *d = publish(store, &cls, 5, kUrls[1], 7, 10);
        TestEntry *late = publish(store, &cls, 6, kUrls[2], int64_t(1) << 31, 10);
        TestEntry *early = publish(store, &cls, 7, kUrls[2], 0x7FFFFFFF, 10);
        for (TestEntry *t : {a, b, c, d, late, early})
            CacheEntry_release(&t->core);
        Lock_acquire(&store->lock);
        Url *u0 = Url_newFromCstr(kUrls[0]), *u1 = Url_newFromCstr(kUrls[1]),
            *u2 = Url_newFromCstr(kUrls[2]);
        EXPECT_EQ(CacheStore_findEntry(store, u0), &a->core);
        EXPECT_EQ(CacheStore_findEntry(store, u1), &c->core);
        EXPECT_EQ(CacheStore_findEntry(store, u2), &late->core);
        // A URL with a data part is never found.
        Url *posted = Url_newFromCstr(kUrls[0]);
        ASSERT_EQ(Url_copyDataBytes(posted, reinterpret_cast<const uint8_t *>("x"), 1), 0);
        EXPECT_EQ(CacheStore_findEntry(store, posted), nullptr);
        // An alias finds the entry too.
        CacheAlias alias = {Url_newFromCstr("http://alias.example/"), 0, nullptr};
        c->core.aliases = &alias;
        EXPECT_EQ(CacheStore_findEntry(store, alias.url), &c->core);
        c->core.aliases = nullptr;
        Url_free(alias.url);
        // One-entry eviction removes the head only.
        uint32_t wanted = 0;
        CacheStore_evictUntil(store, &wanted, &cls.bytesInUse, nullptr, nullptr);
        Lock_release(&store->lock);
        CacheStore_drainFree(store);
        EXPECT_EQ(wanted, 10u);
        EXPECT_EQ(listed(store), (std::vector<int>{3, 4, 5, 6, 7}));
        // Clearing with keep busy dooms a referenced entry: no longer found,
        // recycled at its release.
        uint32_t fresh, usable;
        CacheEntry *held = CacheStore_lookup(store, u1, &fresh, &usable, 0);
        ASSERT_EQ(held, &c->core);
        EXPECT_EQ(cls.count, 4u);
        CacheStore_clearKeepBusy(store);
        EXPECT_EQ(listed(store), std::vector<int>{4});
        EXPECT_EQ(CacheStore_lookup(store, u1, &fresh, &usable, 0), nullptr);
        CacheEntry_release(held);
        EXPECT_EQ(listed(store), std::vector<int>{});
        EXPECT_EQ(world.destroyed.size(), 7u);
        Url_free(u0);
        Url_free(u1);
        Url_free(u2);
        Url_free(posted);
        CacheStore_destroy(store);
    });
}

int onlySelf(CacheEntry *e, void *arg)
{
    return e == arg;
}

// A make-room slot that gives up the settling entry itself.
void evictSelf(CacheStore *store, uint32_t *wanted, CacheEntry *entry)
{
    CacheStore_evictUntil(store, wanted, &entry->cls->bytesInUse, onlySelf, entry);
}

TEST_F(CacheStoreTest, AMakeRoomSlotThatEvictsTheSettlingEntryLeavesItUncounted)
{
    inTask([&] {
        CacheStore *store = nullptr;
        ASSERT_EQ(CacheStore_create(ctx(), nullptr, nullptr, &store), 0);
        CacheClass cls = {};
        cls.byteBudget = 100;
        cls.maxEntries = 1;
        cls.makeRoom = evictSelf;
        TestEntry *kept = publish(store, &cls, 1, kUrls[0], 1, 10);
        CacheEntry_release(&kept->core);
        TestEntry *busy = publish(store, &cls, 2, kUrls[1], 1, 10);
        // The count is at its maximum: the slot evicts in one-entry mode
        // and takes the settling entry itself, which must not be counted.
        TestEntry *self = publish(store, &cls, 3, kUrls[2], 1, 10);
        CacheEntry_release(&self->core);
        EXPECT_EQ(world.destroyed, std::vector<int>{3});
        EXPECT_EQ(cls.count, 1u);
        EXPECT_EQ(cls.bytesInUse, 10u);
        EXPECT_EQ(listed(store), (std::vector<int>{1, 2}));
        CacheEntry_release(&busy->core);
        CacheStore_destroy(store);
    });
}

TEST_F(CacheStoreTest, AnUnpublishedEntryIsRecycledAtItsLastRelease)
{
    inTask([&] {
        CacheStore *store = nullptr;
        ASSERT_EQ(CacheStore_create(ctx(), nullptr, nullptr, &store), 0);
        CacheClass cls = {};
        cls.byteBudget = 100;
        TestEntry *t = new TestEntry{};
        t->id = 9;
        ASSERT_EQ(CacheEntry_init(ctx(), &t->core, store, &kClient, &cls, 1), 0);
        t->core.refCount = 2;
        CacheEntry_release(&t->core);
        EXPECT_TRUE(world.done.empty());
        CacheEntry_release(&t->core);
        EXPECT_EQ(world.done, std::vector<int>{9});
        EXPECT_EQ(world.destroyed, std::vector<int>{9});
        CacheStore_destroy(store);
    });
}

} // namespace
