// The reader operations of Cache streams, straight and through the stream
// layer's Cache row: the notify order of the events a mask selects, masks
// and callbacks that call nothing, available counts by position and the
// missing length, and a shared entry whose callback reads the stream it
// was told by (the entry's lock is not held then).
#include <gtest/gtest.h>

#include <vector>

#include "core/result.h"
#include "html/web/httpcache.h"
#include "platform/vfs/vfs.h"
#include "tests/support/heap_fixture.h"
#include "tests/support/task_fixture.h"

namespace {

struct Reader {
    HttpCacheEntry entry = {};
    HttpCacheHandle handle = {};
    VfsHandle stream = {};
    Reader(uint64_t length, uint64_t position, EngineContext *ctx = nullptr)
    {
        stream.ctx = ctx; // the context whose registered Cache row the stream layer uses
        entry.ops = &HttpCache_entryOps;
        entry.totalLength = length;
        entry.readers = &handle;
        handle.entry = &entry;
        handle.position = position;
        stream.priv = &handle;
        stream.type = VfsType_cache;
    }
};

struct Calls {
    std::vector<uint32_t> bits;
    std::vector<VfsHandle *> handles;
};

int record(VfsHandle *handle, void *arg, uint32_t bit)
{
    Calls *c = static_cast<Calls *>(arg);
    c->bits.push_back(bit);
    c->handles.push_back(handle);
    return 99; // ignored
}

// A context with the stream types registered, for the calls through the
// stream layer.
class CacheStream : public LeakCheckedContextTest<> {};

TEST_F(CacheStream, NotifyReportsTheMaskedEventsLowestFirst)
{
    struct Case {
        uint32_t mask;
        bool callback;
        std::vector<uint32_t> bits;
    } cases[] = {
        {5, true, {1, 4}}, {0, true, {}},  {15, true, {1, 2, 4, 8}},
        {0xF0, true, {}},  {5, false, {}},
    };
    for (const Case &c : cases) {
        for (bool throughLayer : {false, true}) {
            Reader r(1000, 0, ctx);
            Calls calls;
            VfsEventFn fn = c.callback ? record : nullptr;
            int result = throughLayer ? Vfs_subscribe(&r.stream, fn, &calls, c.mask)
                                      : HttpCacheHandle_setNotify(&r.stream, fn, &calls, c.mask);
            EXPECT_EQ(result, 0);
            EXPECT_EQ(calls.bits, c.bits) << c.mask;
            for (VfsHandle *h : calls.handles)
                EXPECT_EQ(h, nullptr);
            EXPECT_EQ(r.handle.notify, fn);
            EXPECT_EQ(r.handle.userData, &calls);
            EXPECT_EQ(r.handle.mask, c.mask);
        }
    }
    Reader r(1000, 0);
    EXPECT_EQ(HttpCacheHandle_events(&r.stream), 15u);
}

TEST_F(CacheStream, AvailableCountsFromThePosition)
{
    struct Case {
        uint64_t length, position;
        int result;
        uint32_t count;
    } cases[] = {
        {1000, 0, 0, 1000},        {1000, 600, 0, 400},       {1000, 1000, 0, 0},
        {1000, 1500, 0, 0},      // beyond the end: nothing, not a wrapped count
        {0, 0, Res_fileSize, 0}, // no length reported
        {0, 600, Res_fileSize, 0}, {0x100000010, 0, 0, 0x10}, // the low 32 bits of the length
    };
    for (const Case &c : cases) {
        Reader r(c.length, c.position, ctx);
        uint32_t count = 12345;
        EXPECT_EQ(HttpCacheHandle_available(&r.stream, &count), c.result)
            << c.length << " " << c.position;
        EXPECT_EQ(count, c.count) << c.length << " " << c.position;
        count = 12345;
        EXPECT_EQ(Vfs_getLength32(&r.stream, &count), c.result);
        EXPECT_EQ(count, c.count);
    }
}

class SharedCacheStream : public TaskFixture {};

// The callback reads the stream that told it: the entry's lock must not be
// held while it runs (taking it again would deadlock and abort the engine).
TEST_F(SharedCacheStream, ACallbackMayReadTheStream)
{
    Reader r(1000, 250);
    r.entry.core.shared = 1;
    ASSERT_EQ(Lock_init(ctx(), &r.entry.core.entryLock), 0);
    struct Seen {
        Reader *reader;
        std::vector<uint32_t> counts;
    } seen{&r, {}};
    int result = -1;
    Task_detach(spawn("reader", 2, [&] {
        result = HttpCacheHandle_setNotify(
            &r.stream,
            [](VfsHandle *, void *arg, uint32_t bit) {
                Seen *s = static_cast<Seen *>(arg);
                uint32_t count = 0;
                EXPECT_EQ(HttpCacheHandle_available(&s->reader->stream, &count), 0);
                s->counts.push_back(bit * 10000 + count);
                EXPECT_EQ(HttpCacheHandle_events(&s->reader->stream), 15u);
                return 0;
            },
            &seen, 5);
    }));
    TestEngine_runAll(&e, 100000);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(seen.counts, (std::vector<uint32_t>{10750, 40750}));
    EXPECT_EQ(r.entry.core.entryLock.owner, nullptr);
    Lock_fini(&r.entry.core.entryLock);
}

} // namespace
