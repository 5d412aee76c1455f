// Body sources of the MIME reader: each kind released its own way, and the
// list that stores them by index.
#include <string>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/container/mimesrc.h"
#include "tests/support/heap_fixture.h"

namespace {

std::string &calls()
{
    static std::string log;
    return log;
}

void first(void *data)
{
    calls() += "first:" + std::string(static_cast<const char *>(data)) + " ";
}

void second(void *data)
{
    calls() += "second:" + std::string(static_cast<const char *>(data)) + " ";
}

MimeSrc *source(uint32_t kind, const char *data, bool buffers = false)
{
    MimeSrc *s = static_cast<MimeSrc *>(Mem_calloc(1, sizeof(MimeSrc)));
    s->kind = kind;
    s->release = first;
    s->release2 = second;
    s->data = const_cast<char *>(data);
    if (buffers) {
        s->buffers[0] = Mem_malloc(32);
        s->buffers[1] = Mem_malloc(48);
    }
    return s;
}

class MimeSrcTest : public LeakCheckedHeapTest<> {
  protected:
    void SetUp() override
    {
        LeakCheckedHeapTest<>::SetUp();
        calls().clear();
    }
};

TEST_F(MimeSrcTest, EachKindIsReleasedItsOwnWay)
{
    Mime_srcFree(source(MimeSrc_kindBytes, "bytes", true));
    Mime_srcFree(source(MimeSrc_kindPayload, "payload"));
    Mime_srcFree(source(7, "other"));
    MimeSrc *bare = source(MimeSrc_kindBytes, "none");
    bare->release = nullptr;
    Mime_srcFree(bare);
    Mime_srcFree(nullptr);
    EXPECT_EQ(calls(), "first:bytes second:payload first:other ");
}

TEST_F(MimeSrcTest, TheListStoresByIndexAndGrowsByDoubling)
{
    MimeSrcList list{};
    EXPECT_EQ(Mime_srcListPut(&list, 0, source(3, "a")), Res_ok);
    EXPECT_EQ(list.capacity, 2u);
    EXPECT_EQ(list.count, 1u);
    EXPECT_EQ(Mime_srcListPut(&list, 5, source(3, "b")), Res_ok);
    EXPECT_EQ(list.capacity, 8u);
    EXPECT_EQ(list.count, 6u);
    for (uint32_t i = 1; i < 5; i++)
        EXPECT_EQ(list.sources[i], nullptr) << i;
    // An index below the count keeps what is there and frees the newcomer.
    EXPECT_EQ(Mime_srcListPut(&list, 2, source(3, "late")), Res_ok);
    EXPECT_EQ(list.sources[2], nullptr);
    EXPECT_EQ(list.count, 6u);
    EXPECT_EQ(calls(), "first:late ");
    EXPECT_EQ(Mime_srcListPut(&list, 6, source(3, "c")), Res_ok);
    EXPECT_EQ(list.capacity, 8u);
    EXPECT_EQ(list.count, 7u);
    // Out of memory while growing: the source is freed, the list unchanged.
    MimeSrc *lost = source(3, "lost");
    Mem_failAfter(1);
    EXPECT_EQ(Mime_srcListPut(&list, 100, lost), Res_noMemory);
    Mem_failAfter(0);
    EXPECT_EQ(list.count, 7u);
    EXPECT_EQ(Mime_srcListPut(nullptr, 0, source(3, "nowhere")), Res_missingArgument);
    for (uint32_t i = 0; i < list.count; i++)
        Mime_srcFree(list.sources[i]);
    Mem_free(list.sources);
}

} // namespace
