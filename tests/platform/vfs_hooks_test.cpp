// Host stream hooks: which stream events reach the host and with what,
// the record's life, and objects with a finaliser.
#include "tests/platform/file_fixture.h"

#include <string>

#include "core/result.h"
#include "platform/vfs/hosthooks.h"
#include "platform/vfs/vfs.h"

namespace {

std::string &events()
{
    static std::string log;
    return log;
}

void note(const std::string &s)
{
    events() += s + " ";
}

int onOpen(void *, const Url *, uint32_t flag, uint32_t *cookie)
{
    note("open" + std::to_string(flag));
    *cookie = 77;
    return 0;
}
int onNotify(void *, uint32_t cookie, uintptr_t value)
{
    note("notify" + std::to_string(cookie) + ":" + std::to_string(value));
    return 0;
}
int onBuffer(void *, uint32_t cookie, VfsHandle *, const uint8_t *, size_t len)
{
    note("buffer" + std::to_string(cookie) + ":" + std::to_string(len));
    return 0;
}
int onConsumed(void *, uint32_t cookie, size_t n)
{
    note("consumed" + std::to_string(cookie) + ":" + std::to_string(n));
    return 0;
}
int onSeek(void *, uint32_t cookie, uint64_t offset)
{
    note("seek" + std::to_string(cookie) + ":" + std::to_string(offset));
    return 0;
}
int onClose(void *hookCtx, uint32_t cookie)
{
    note("close" + std::to_string(cookie) + (hookCtx ? "+ctx" : ""));
    return 0;
}

class VfsHooksTest : public HeapFixture {
  protected:
    size_t baseline = 0;
    static constexpr uint8_t data[] = "0123456789";

    void SetUp() override
    {
        HeapFixture::SetUp();
        events().clear();
        baseline = TestHeap_usedBytes();
    }

    void TearDown() override
    {
        HostHooks_free(ctx);
        EXPECT_EQ(TestHeap_usedBytes(), baseline);
        HeapFixture::TearDown();
    }

    // Reads, seeks, notifies and closes a memory stream with cookie.
    void exercise(uint32_t cookie)
    {
        VfsHandle *h = nullptr;
        uint32_t accepted = 0;
        ASSERT_EQ(Vfs_openMemory(ctx, data, 10, 0, 0x31, &h, &accepted), Res_ok);
        h->hookCookie = cookie;
        const uint8_t *p = nullptr;
        size_t len = 0;
        ASSERT_EQ(Vfs_getReadBuf(h, 4, &p, &len), Res_ok);
        ASSERT_EQ(Vfs_readDone(h, 4), Res_ok);
        ASSERT_EQ(Vfs_seek(h, 2), Res_ok);
        EXPECT_EQ(Vfs_seek(h, 0x100000000), Res_fileSeek); // failures are not reported
        EXPECT_EQ(Vfs_notifyMonitor(h, 5), Res_ok);
        EXPECT_EQ(Vfs_close(h), Res_ok);
    }
};

constexpr uint8_t VfsHooksTest::data[];

TEST_F(VfsHooksTest, WithoutHooksNothingIsReported)
{
    exercise(9);
    uint32_t cookie = 5;
    EXPECT_EQ(HostHooks_onOpen(ctx, nullptr, 1, &cookie), Res_ok);
    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(HostHooks_onNotify(ctx, 1, 2), Res_ok);
    EXPECT_EQ(HostHooks_onBuffer(ctx, 1, nullptr, nullptr, 0), Res_ok);
    EXPECT_EQ(HostHooks_onConsumed(ctx, 1, 2), Res_ok);
    EXPECT_EQ(HostHooks_onSeek(ctx, 1, 2), Res_ok);
    EXPECT_EQ(HostHooks_onClose(ctx, 1), Res_ok);
    EXPECT_EQ(HostHooks_onClose(nullptr, 1), Res_ok);
    EXPECT_EQ(
        HostHooks_install(nullptr, onOpen, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
        Res_ok);
    EXPECT_EQ(events(), "");
}

TEST_F(VfsHooksTest, WatchedStreamsReportEveryStep)
{
    void *hookCtx = Mem_malloc(32);
    ASSERT_EQ(
        HostHooks_install(ctx, onOpen, onNotify, onBuffer, onConsumed, onSeek, onClose, hookCtx),
        Res_ok);
    exercise(0);
    EXPECT_EQ(events(), "") << "a stream without a cookie is not watched";
    exercise(3);
    EXPECT_EQ(events(), "buffer3:10 consumed3:4 seek3:2 notify3:5 close3+ctx ");
}

TEST_F(VfsHooksTest, OnlyTheSlotsGivenReport)
{
    ASSERT_EQ(HostHooks_install(ctx, nullptr, nullptr, nullptr, nullptr, nullptr, onClose, nullptr),
              Res_ok);
    exercise(4);
    EXPECT_EQ(events(), "close4 ");
}

TEST_F(VfsHooksTest, ReinstallingKeepsOneRecordAndFreesTheOldContext)
{
    ASSERT_EQ(
        HostHooks_install(ctx, onOpen, nullptr, nullptr, nullptr, nullptr, nullptr, Mem_malloc(16)),
        Res_ok);
    void *record = ctx->streamHooks;
    void *second = Mem_malloc(16);
    ASSERT_EQ(HostHooks_install(ctx, nullptr, nullptr, nullptr, nullptr, nullptr, onClose, second),
              Res_ok);
    ASSERT_EQ(HostHooks_install(ctx, nullptr, nullptr, nullptr, nullptr, nullptr, onClose, second),
              Res_ok);
    EXPECT_EQ(ctx->streamHooks, record);
    uint32_t cookie = 1;
    EXPECT_EQ(HostHooks_onOpen(ctx, nullptr, 0, &cookie), Res_ok);
    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(HostHooks_onClose(ctx, 2), Res_ok);
    EXPECT_EQ(events(), "close2+ctx ");
    HostHooks_free(ctx);
    EXPECT_EQ(ctx->streamHooks, nullptr);
    HostHooks_free(ctx);
    // Out of memory: nothing is installed and the block stays the caller's.
    void *third = Mem_malloc(16);
    Mem_failAfter(1);
    EXPECT_EQ(HostHooks_install(ctx, onOpen, nullptr, nullptr, nullptr, nullptr, nullptr, third),
              Res_noMemory);
    Mem_failAfter(0);
    EXPECT_EQ(ctx->streamHooks, nullptr);
    Mem_free(third);
}

TEST_F(VfsHooksTest, ModuleStepsClearTheirWord)
{
    ctx->hostHooksState = ctx;
    EXPECT_EQ(HostHooks_initModule(ctx), Res_ok);
    EXPECT_EQ(ctx->hostHooksState, nullptr);
    ctx->hostHooksState = ctx;
    HostHooks_finiModule(ctx);
    EXPECT_EQ(ctx->hostHooksState, nullptr);
    EXPECT_EQ(HostHooks_initModule(nullptr), Res_ok);
    HostHooks_finiModule(nullptr);
    EXPECT_EQ(HostHooks_noop(), Res_ok);
}

// Cache streams come from the HTTP cache (none here: the open is refused);
// a URL with a handler object goes the plain way.
TEST_F(VfsHooksTest, CachedOpens)
{
    ASSERT_EQ(HostHooks_install(ctx, onOpen, nullptr, nullptr, nullptr, nullptr, onClose, nullptr),
              Res_ok);
    Url *web = url("http://example.com/page");
    VfsHandle *h = reinterpret_cast<VfsHandle *>(1);
    uint32_t accepted = 9;
    EXPECT_EQ(Vfs_openCached(ctx, web, 0x201, &h, &accepted, 0, 0, 0), Res_vfsNotAvailable);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(accepted, 0u);
    EXPECT_EQ(events(), "") << "no type row has flags, so the host is not asked";
    static const UrlHandlerOps ops = {[](UrlHandler *) {}, [](UrlHandler *) {}};
    UrlHandler handler = {&ops, nullptr, VfsType_about};
    Url *about = url("about:blank");
    Url_setHandler(about, &handler);
    ASSERT_EQ(Vfs_openCached(ctx, about, 1, &h, &accepted, 0, 0, 0), Res_ok);
    EXPECT_EQ(h->type, VfsType_about);
    EXPECT_EQ(h->hookCookie, 0u);
    EXPECT_EQ(Vfs_close(h), Res_ok);
    EXPECT_EQ(events(), "");
    Url_free(web);
    Url_free(about);
}

TEST_F(VfsHooksTest, ObjectsWithAFinaliser)
{
    Obj *a = Obj_newDefault();
    ASSERT_NE(a, nullptr);
    EXPECT_NE(a->finalize, nullptr);
    EXPECT_EQ(a->clone, Obj_clone);
    a->words[0] = 42;
    Obj *b = a->clone(a);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(b, a);
    EXPECT_EQ(b->words[0], 42u);
    static int finalized = 0;
    b->finalize = [](Obj *) { finalized++; };
    Obj_finalizeFree(&a);
    Obj_finalizeFree(&b);
    EXPECT_EQ(a, nullptr);
    EXPECT_EQ(b, nullptr);
    EXPECT_EQ(finalized, 1);
    Obj_finalizeFree(&a);
    Obj_finalizeFree(nullptr);
    EXPECT_EQ(Obj_clone(nullptr), nullptr);
    Mem_failAfter(1);
    EXPECT_EQ(Obj_newDefault(), nullptr);
    Mem_failAfter(0);
}

} // namespace
