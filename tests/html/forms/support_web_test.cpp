// The web support routines: the response cache's sink (growth from
// nothing, the cut at the limit, no 32-bit wrap, trimming), the teardown
// of host-question records by kind, the HTML handler's character table
// and the list-widget stub.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "html/forms/websupport.h"
#include "tests/support/heap_fixture.h"

namespace {

class WebSupportTest : public LeakCheckedHeapTest<> {};

// A sink over an engine block; the resize and append operations note what
// they were asked.
struct TestSink {
    CacheSink sink;
    std::vector<uint32_t> resizes;
    std::vector<uint32_t> neededs;
    int failResize = 0;
};

TestSink *testOf(CacheSink *s)
{
    return reinterpret_cast<TestSink *>(s);
}

int resizeSink(CacheSink *s, uint32_t capacity, uint32_t needed, int)
{
    TestSink *t = testOf(s);
    if (t->failResize)
        return t->failResize;
    t->resizes.push_back(capacity);
    t->neededs.push_back(needed);
    uint8_t *grown = static_cast<uint8_t *>(Mem_realloc(s->buffer, capacity ? capacity : 1));
    if (!grown)
        return Res_noMemory;
    s->buffer = grown;
    s->capacity = capacity;
    return 0;
}

int appendSink(CacheSink *s, const void *data, uint32_t n)
{
    memcpy(s->buffer + s->size, data, n);
    s->size += n;
    return 0;
}

const CacheSinkOps kOps = {{}, resizeSink, nullptr, appendSink};

TEST_F(WebSupportTest, SinkGrowsByDoublingFrom1024)
{
    TestSink t{};
    t.sink.ops = &kOps;
    std::vector<uint8_t> data(2000, 7);
    EXPECT_EQ(CacheSink_write(&t.sink, data.data(), 0), 0);
    EXPECT_TRUE(t.resizes.empty());
    ASSERT_EQ(CacheSink_write(&t.sink, data.data(), 1000), 0);
    ASSERT_EQ(CacheSink_write(&t.sink, data.data(), 1000), 0);
    ASSERT_EQ(CacheSink_write(&t.sink, data.data(), 2000), 0);
    EXPECT_EQ(t.resizes, (std::vector<uint32_t>{1024, 2048, 4096}));
    EXPECT_EQ(t.neededs[0], 1024u); // without a buffer the needed size is the capacity
    EXPECT_EQ(t.neededs[1], 2000u);
    EXPECT_EQ(t.sink.size, 4000u);
    ASSERT_EQ(CacheSink_trim(&t.sink), 0);
    EXPECT_EQ(t.sink.capacity, 4000u);
    ASSERT_EQ(CacheSink_trim(&t.sink), 0);
    EXPECT_EQ(t.resizes.size(), 4u); // equal sizes: nothing to trim
    // A failing resize is the result, nothing appended.
    t.failResize = 13;
    EXPECT_EQ(CacheSink_write(&t.sink, data.data(), 10), 13);
    EXPECT_EQ(t.sink.size, 4000u);
    Mem_free(t.sink.buffer);
}

TEST_F(WebSupportTest, SinkCutsAtItsLimit)
{
    TestSink t{};
    t.sink.ops = &kOps;
    t.sink.limit = 3000;
    std::vector<uint8_t> data(3000, 1);
    ASSERT_EQ(CacheSink_write(&t.sink, data.data(), 2900), 0);
    EXPECT_EQ(t.resizes, (std::vector<uint32_t>{3000})); // the limit is the first capacity
    EXPECT_EQ(CacheSink_write(&t.sink, data.data(), 200), Res_sinkCut);
    EXPECT_EQ(t.sink.size, 3000u); // 100 appended
    EXPECT_EQ(CacheSink_write(&t.sink, data.data(), 5), Res_sinkCut);
    EXPECT_EQ(t.sink.size, 3000u);
    Mem_free(t.sink.buffer);
}

TEST_F(WebSupportTest, SinkNeverWrapsPast4GiB)
{
    // A sink that claims nearly 4 GiB: size + n and the doubled capacity
    // would wrap in 32 bits; growth is refused instead.
    TestSink t{};
    t.sink.ops = &kOps;
    uint8_t byte = 0;
    t.sink.buffer = &byte;
    t.sink.capacity = 0xC0000000u;
    t.sink.size = 0xBFFFFF00u;
    EXPECT_EQ(CacheSink_write(&t.sink, &byte, 0x200), Res_noMemory);
    EXPECT_TRUE(t.resizes.empty());
    EXPECT_EQ(t.sink.size, 0xBFFFFF00u);
    // With a limit above 4 GiB and no buffer, the limit cannot be a capacity.
    TestSink u{};
    u.sink.ops = &kOps;
    u.sink.limit = 0x100000000ull + 10;
    EXPECT_EQ(CacheSink_write(&u.sink, &byte, 1), Res_noMemory);
    EXPECT_TRUE(u.resizes.empty());
}

char *block()
{
    return static_cast<char *>(Mem_malloc(16));
}

TEST_F(WebSupportTest, HostQuestionTextsAreFreedByKind)
{
    struct Case {
        int32_t kind;
        uintptr_t word3;
        std::vector<int> owned; // record words (1-8) holding blocks
    } cases[] = {
        {0, 0, {5, 6, 7}}, {1, 0, {3, 4}}, {2, 0, {3, 4}}, {3, 0, {3}},
        {4, 0, {4}},       {5, 1, {4}},    {6, 0, {}},
    };
    for (const Case &c : cases) {
        HostQuestionRecord r{};
        r.kind = c.kind;
        for (int w : c.owned)
            r.words[w - 1] = reinterpret_cast<uintptr_t>(block());
        if (c.word3)
            r.words[2] = c.word3;
        HostQuestion_freeTexts(&r); // the heap check sees what is left
        for (int w : c.owned)
            EXPECT_EQ(r.words[w - 1], 0u) << c.kind;
    }
    // Kind 5 with word 3 equal to 2 also frees word 7.
    HostQuestionRecord r{};
    r.kind = 5;
    r.words[2] = 2;
    r.words[3] = reinterpret_cast<uintptr_t>(block());
    r.words[6] = reinterpret_cast<uintptr_t>(block());
    HostQuestion_freeTexts(&r);
    EXPECT_EQ(r.words[6], 0u);
    HostQuestion_freeTexts(nullptr);
    // The wait record goes with its answer.
    HostQuestionWait *wait =
        static_cast<HostQuestionWait *>(Mem_calloc(1, sizeof(HostQuestionWait)));
    ASSERT_NE(wait, nullptr);
    wait->answer = block();
    HostQuestion_destroyWait(wait);
    HostQuestion_destroyWait(nullptr);
}

TEST_F(WebSupportTest, HtmlCharTableAndListLimit)
{
    const uint8_t *table = nullptr;
    ASSERT_EQ(Html_getCharTable(&table), 0);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table[uint8_t(' ')], HtmlChar_space);
    EXPECT_EQ(table[uint8_t('\n')] & HtmlChar_space, HtmlChar_space);
    EXPECT_EQ(table[uint8_t('g')], HtmlChar_letter);
    EXPECT_EQ(table[uint8_t('F')], HtmlChar_letter | HtmlChar_hex);
    EXPECT_EQ(table[uint8_t('7')], HtmlChar_digit | HtmlChar_hex);
    EXPECT_EQ(table[uint8_t('<')], 0);
    EXPECT_EQ(FormList_setLimit(nullptr, 3), 0);
}

} // namespace
