// Cache streams over a fake origin: the first open fills the cache, a fresh
// entry is served without the origin, a stale one is revalidated (the
// origin's "not modified" keeps the stored body), a redirect is followed
// and remembered under both URLs, origin errors are reported and not
// cached, an entry in use survives eviction, and the Cache row's
// properties, control codes and readers.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include "core/config/config.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "html/web/httpcache.h"
#include "core/time/httpdate.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"
#include "tests/support/task_fixture.h"

namespace {

// One resource of the fake origin.
struct Resource {
    std::string body;
    std::string cacheControl = "max-age=1000";
    std::string lastModified; // "" none
    std::string refresh;      // "" none
    std::string finalUrl;     // "" no redirect
    int32_t status = 200;
    int failOpen = 0;    // the origin's open fails with this
    int opens = 0;       // origin opens
    int notModified = 0; // conditional requests answered "not modified"
};

// The fake origin of the running test (tests only: one at a time).
std::map<std::string, Resource> *g_origin = nullptr;

Resource *resourceOf(HttpCacheEntry *entry)
{
    char *text = Url_toLatin1(entry->core.url);
    std::string key = text ? text : "";
    Mem_free(text);
    auto it = g_origin->find(key);
    return it == g_origin->end() ? nullptr : &it->second;
}

int fakeOpenOrigin(HttpCacheEntry *entry)
{
    Resource *r = resourceOf(entry);
    if (!r)
        return Res_fileCannotOpen;
    r->opens++;
    if (r->failOpen)
        return r->failOpen;
    const HttpCacheFields &f = entry->fields;
    if (f.lastModified != -1 && !r->lastModified.empty()) {
        int64_t lm = HttpDate_parse(r->lastModified.c_str());
        if (lm && lm <= f.lastModified) {
            r->notModified++;
            entry->httpStatus = 304;
            entry->fetchState = 2;
            return Res_ok;
        }
    }
    uint32_t accepted = 0;
    int err = Vfs_openMemory(entry->cache->ctx, reinterpret_cast<const uint8_t *>(r->body.data()),
                             r->body.size(), 0, 1, &entry->origin, &accepted);
    if (err)
        return err;
    if (!r->finalUrl.empty()) {
        Url_free(entry->origin->url);
        entry->origin->url = Url_newFromCstr(r->finalUrl.c_str());
    }
    entry->httpStatus = r->status;
    entry->fetchState = 1;
    return Res_ok;
}

// The headers come from the resource; the rest is the cache's own work.
int fakeFinish(HttpCacheEntry *entry)
{
    Resource *r = resourceOf(entry);
    HttpCacheHeaders h = {};
    h.cacheControl = r->cacheControl.empty() ? nullptr : r->cacheControl.c_str();
    h.lastModified = r->lastModified.empty() ? nullptr : r->lastModified.c_str();
    const Url *finalUrl = nullptr;
    if (entry->origin) {
        uintptr_t value = 0;
        if (Vfs_getInfo(entry->origin, VfsInfo_size, &value) == Res_ok && value)
            entry->totalLength = *reinterpret_cast<const uint64_t *>(value);
        finalUrl = entry->origin->url;
    }
    return HttpCacheEntry_readResponse(entry, &h, r->refresh.empty() ? nullptr : r->refresh.c_str(),
                                       finalUrl);
}

HttpCacheEntryOps g_fakeOps;

int fakeInit(HttpCacheEntry *entry)
{
    entry->origin = nullptr;
    entry->ops = &g_fakeOps;
    return Res_ok;
}

class CacheStreamTest : public TaskFixture {
  protected:
    void SetUp() override
    {
        TaskFixture::SetUp();
        static int serial = 0;
        dir = "/tmp/i70r/cachestream-" + std::to_string(getpid()) + "-" + std::to_string(serial++);
        mkdir("/tmp/i70r", 0700);
        mkdir(dir.c_str(), 0700);
        mkdir((dir + "/fc").c_str(), 0700);
        setenv("OKALA_DIRECTORY", dir.c_str(), 1);
        g_fakeOps = HttpCache_entryOps;
        g_fakeOps.openOrigin = fakeOpenOrigin;
        g_fakeOps.finish = fakeFinish;
        g_origin = &origin;
        ctx()->config = Config_createStore(ctx(), u"test");
        ASSERT_NE(ctx()->config, nullptr);
        inTask([&] {
            Config_setUstrA(ctx(), ctx()->config, u"Paths", "File.cache", u"file://localhost/fc",
                            0);
            Config_setIntA(ctx(), ctx()->config, nullptr, "Vexlan_CacheMaxSize", 1000, 0);
        });
    }
    void TearDown() override
    {
        inTask([&] {
            HttpCache_uninstall(ctx());
            Config_freeStore(ctx(), ctx()->config);
        });
        ctx()->config = nullptr;
        g_origin = nullptr;
        std::string cmd = "rm -rf '" + dir + "'";
        EXPECT_EQ(system(cmd.c_str()), 0);
        unsetenv("OKALA_DIRECTORY");
        TaskFixture::TearDown();
    }
    void inTask(std::function<void()> body)
    {
        Task_detach(spawn("cache", 3, std::move(body)));
        TestEngine_runAll(&e, 100000);
    }
    // Installs the cache; with fake set its entries use the fake origin.
    void install(bool fake = true)
    {
        inTask([&] { ASSERT_EQ(HttpCache_install(ctx()), 0); });
        ASSERT_NE(ctx()->httpCache, nullptr);
        if (fake)
            ctx()->httpCache->entryInit = fakeInit;
    }
    // Opens url through the cache (in a task); the result of the open.
    int open(const char *url, VfsHandle **out, uint32_t mode = 1)
    {
        int r = -1;
        inTask([&] {
            Url *u = Url_newFromCstr(url);
            uint32_t accepted = 0;
            r = Vfs_openCached(ctx(), u, mode, out, &accepted, 0, 0, 0);
            Url_free(u);
        });
        return r;
    }
    // Reads the stream to its end in pieces of want bytes.
    std::string readAll(VfsHandle *h, size_t want = 1000)
    {
        std::string out;
        inTask([&] {
            for (;;) {
                const uint8_t *p = nullptr;
                size_t n = 0;
                ASSERT_EQ(Vfs_getReadBuf(h, want, &p, &n), 0);
                if (!n)
                    break;
                out.append(reinterpret_cast<const char *>(p), n);
                ASSERT_EQ(Vfs_readDone(h, n), 0);
            }
        });
        return out;
    }
    int close(VfsHandle *h)
    {
        int r = -1;
        inTask([&] { r = Vfs_close(h); });
        return r;
    }
    // Opens, reads and closes url; "<error N>" when the open fails.
    std::string get(const char *url)
    {
        VfsHandle *h = nullptr;
        int r = open(url, &h);
        if (r)
            return "<error " + std::to_string(r) + ">";
        std::string body = readAll(h);
        EXPECT_EQ(close(h), 0);
        return body;
    }
    bool cached(const char *url)
    {
        bool found = false;
        inTask([&] {
            Url *u = Url_newFromCstr(url);
            found = FileCacheLookupProbe(u);
            Url_free(u);
        });
        return found;
    }
    bool FileCacheLookupProbe(const Url *u)
    {
        Lock_acquire(&ctx()->httpCache->store->lock);
        bool found = CacheStore_findEntry(ctx()->httpCache->store, u) != nullptr;
        Lock_release(&ctx()->httpCache->store->lock);
        return found;
    }
    std::string body(size_t n, char seed)
    {
        std::string s(n, 0);
        for (size_t i = 0; i < n; i++)
            s[i] = char(seed + i * 7 % 251);
        return s;
    }
    std::map<std::string, Resource> origin;
    std::string dir;
};

const char *kPage = "http://www.example.com/page";
const char *kOther = "http://www.example.com/other";
const char *kMoved = "http://www.example.com/moved";

TEST_F(CacheStreamTest, AFreshEntryIsServedWithoutTheOrigin)
{
    origin[kPage].body = body(300, 'a');
    install();
    EXPECT_EQ(get(kPage), body(300, 'a'));
    EXPECT_EQ(origin[kPage].opens, 1);
    EXPECT_TRUE(cached(kPage));
    origin[kPage].body = "changed at the origin";
    EXPECT_EQ(get(kPage), body(300, 'a')) << "served from the cache";
    EXPECT_EQ(origin[kPage].opens, 1);
    // Small reads cross the fetch steps and the stored end alike.
    VfsHandle *h = nullptr;
    ASSERT_EQ(open(kPage, &h), 0);
    EXPECT_EQ(readAll(h, 7), body(300, 'a'));
    EXPECT_EQ(close(h), 0);
}

TEST_F(CacheStreamTest, AStaleEntryRevalidatesAndNotModifiedKeepsTheBody)
{
    Resource &r = origin[kPage];
    r.body = body(200, 'b');
    r.cacheControl = "max-age=0";
    r.lastModified = "Sun, 06 Nov 1994 08:49:37 GMT";
    install();
    EXPECT_EQ(get(kPage), body(200, 'b'));
    EXPECT_EQ(r.opens, 1);
    r.body = "a body the cache must not take";
    EXPECT_EQ(get(kPage), body(200, 'b'));
    EXPECT_EQ(r.opens, 2);
    EXPECT_EQ(r.notModified, 1) << "the second open was a conditional request";
    // A newer document at the origin replaces the entry.
    r.body = body(150, 'c');
    r.lastModified = "Mon, 07 Nov 1994 08:49:37 GMT";
    EXPECT_EQ(get(kPage), body(150, 'c'));
    EXPECT_EQ(r.opens, 3);
    EXPECT_EQ(r.notModified, 1);
    EXPECT_EQ(get(kPage), body(150, 'c'));
    EXPECT_EQ(r.notModified, 2);
}

TEST_F(CacheStreamTest, ARedirectIsFollowedAndFoundUnderBothUrls)
{
    origin[kPage].body = body(100, 'd');
    origin[kPage].finalUrl = kMoved;
    origin[kMoved].body = "the moved page must come from the cache";
    install();
    VfsHandle *h = nullptr;
    ASSERT_EQ(open(kPage, &h), 0);
    EXPECT_EQ(readAll(h), body(100, 'd'));
    std::string seen;
    inTask([&] {
        Url *u = nullptr;
        ASSERT_EQ(Vfs_getUrl(h, &u), 0);
        char *text = Url_toLatin1(u);
        seen = text ? text : "";
        Mem_free(text);
    });
    EXPECT_EQ(seen, kMoved) << "the reader's URL is the final one";
    EXPECT_EQ(close(h), 0);
    EXPECT_EQ(get(kPage), body(100, 'd'));
    EXPECT_EQ(get(kMoved), body(100, 'd'));
    EXPECT_EQ(origin[kPage].opens, 1);
    EXPECT_EQ(origin[kMoved].opens, 0);
}

TEST_F(CacheStreamTest, WithoutCachedRedirectionsOnlyTheFinalUrlFindsTheEntry)
{
    inTask(
        [&] { Config_setIntA(ctx(), ctx()->config, nullptr, "Vexlan_CacheRedirections", 0, 0); });
    origin[kPage].body = body(100, 'e');
    origin[kPage].finalUrl = kMoved;
    install();
    EXPECT_EQ(get(kPage), body(100, 'e'));
    EXPECT_EQ(get(kMoved), body(100, 'e'));
    EXPECT_EQ(get(kPage), body(100, 'e'));
    EXPECT_EQ(origin[kPage].opens, 2);
}

TEST_F(CacheStreamTest, OriginErrorsAreReportedAndNotCached)
{
    origin[kPage].body = body(100, 'f');
    origin[kPage].failOpen = Res_fileCannotOpen;
    origin[kOther].body = "not found";
    origin[kOther].status = 404;
    install();
    VfsHandle *h = reinterpret_cast<VfsHandle *>(1);
    EXPECT_EQ(open(kPage, &h), Res_fileCannotOpen);
    EXPECT_EQ(h, nullptr);
    EXPECT_FALSE(cached(kPage));
    origin[kPage].failOpen = 0;
    origin[kPage].cacheControl = "max-age=0";
    EXPECT_EQ(get(kPage), body(100, 'f'));
    EXPECT_EQ(origin[kPage].opens, 2);
    EXPECT_TRUE(cached(kPage));
    // An error answer is read, but never kept.
    EXPECT_EQ(get(kOther), "not found");
    EXPECT_FALSE(cached(kOther));
    EXPECT_EQ(get(kOther), "not found");
    EXPECT_EQ(origin[kOther].opens, 2);
    // A stale entry whose origin fails is not served: the error is.
    origin[kPage].failOpen = Res_fileRead;
    EXPECT_EQ(get(kPage), "<error 782>");
}

TEST_F(CacheStreamTest, AnEntryInUseIsNotEvicted)
{
    const char *urls[] = {"http://h/a", "http://h/b", "http://h/c", "http://h/d"};
    for (int i = 0; i < 4; i++)
        origin[urls[i]].body = body(400, char('a' + i));
    install();
    VfsHandle *held = nullptr;
    ASSERT_EQ(open(urls[0], &held), 0);
    EXPECT_EQ(readAll(held, 100).size(), 400u);
    for (int i = 1; i < 4; i++)
        EXPECT_EQ(get(urls[i]), body(400, char('a' + i)));
    EXPECT_LE(ctx()->httpCache->memoryClass.bytesInUse, 1000u);
    EXPECT_FALSE(cached(urls[1])) << "the oldest idle entry made room";
    EXPECT_TRUE(cached(urls[0]));
    EXPECT_EQ(get(urls[0]), body(400, 'a')) << "the busy entry is still served";
    EXPECT_EQ(origin[urls[0]].opens, 1);
    EXPECT_EQ(close(held), 0);
}

TEST_F(CacheStreamTest, ReadersShareAnEntryWhileItFills)
{
    // Without a memory budget nothing is kept, and nothing goes to files.
    inTask([&] { Config_setIntA(ctx(), ctx()->config, nullptr, "Vexlan_CacheMaxSize", 0, 0); });
    origin[kPage].body = body(9000, 'g');
    install();
    VfsHandle *a = nullptr, *b = nullptr;
    ASSERT_EQ(open(kPage, &a), 0);
    inTask([&] { ASSERT_EQ(Vfs_clone(a, &b), 0); });
    HttpCacheEntry *entry = HttpCache_handleEntry(static_cast<HttpCacheHandle *>(a->priv));
    EXPECT_EQ(entry->core.shared, 1u);
    EXPECT_EQ(entry->store, &HttpCache_memoryStore);
    std::string first, second;
    inTask([&] {
        for (int turn = 0; turn < 40; turn++) {
            for (auto [h, out, want] :
                 {std::tuple{a, &first, size_t(700)}, std::tuple{b, &second, size_t(300)}}) {
                const uint8_t *p = nullptr;
                size_t n = 0;
                ASSERT_EQ(Vfs_getReadBuf(h, want, &p, &n), 0);
                out->append(reinterpret_cast<const char *>(p), n);
                ASSERT_EQ(Vfs_readDone(h, n), 0);
            }
        }
    });
    EXPECT_EQ(first, body(9000, 'g'));
    EXPECT_EQ(second, body(9000, 'g').substr(0, 40 * 300));
    EXPECT_EQ(close(a), 0);
    EXPECT_EQ(close(b), 0);
    EXPECT_FALSE(cached(kPage));
    EXPECT_EQ(get(kPage), body(9000, 'g'));
    EXPECT_EQ(origin[kPage].opens, 2);
}

// The end of the data is told after the entry's lock is released, so a
// reader of a shared entry may read its stream from the callback.
TEST_F(CacheStreamTest, TheEndIsToldOutsideTheEntryLock)
{
    origin[kPage].body = body(3000, 'p');
    install();
    VfsHandle *a = nullptr, *b = nullptr;
    ASSERT_EQ(open(kPage, &a), 0);
    inTask([&] { ASSERT_EQ(Vfs_clone(a, &b), 0); });
    struct Seen {
        VfsHandle *stream;
        int calls;
        uint32_t left;
    } seen = {b, 0, 0};
    inTask([&] {
        auto told = [](VfsHandle *, void *arg, uint32_t) -> int {
            Seen *s = static_cast<Seen *>(arg);
            s->calls++;
            return Vfs_getLength32(s->stream, &s->left);
        };
        ASSERT_EQ(Vfs_subscribe(b, told, &seen, 8), 0);
    });
    EXPECT_EQ(seen.calls, 1) << "the current events at once";
    EXPECT_EQ(readAll(a), body(3000, 'p'));
    EXPECT_EQ(seen.calls, 2);
    EXPECT_EQ(seen.left, 3000u);
    EXPECT_EQ(close(a), 0);
    EXPECT_EQ(close(b), 0);
}

TEST_F(CacheStreamTest, PropertiesPositionsAndControlCodes)
{
    Resource &r = origin[kPage];
    r.body = body(2500, 'h');
    r.refresh = "5; url=next.html";
    r.lastModified = "Sun, 06 Nov 1994 08:49:37 GMT";
    install();
    VfsHandle *h = reinterpret_cast<VfsHandle *>(1);
    EXPECT_EQ(open(kPage, &h, 2), Res_vfsNotAvailable) << "write access is refused";
    EXPECT_EQ(h, nullptr);
    ASSERT_EQ(open(kPage, &h, 0x11), 0);
    inTask([&] {
        uintptr_t value = 0;
        ASSERT_EQ(Vfs_getInfo(h, VfsInfo_size, &value), 0);
        ASSERT_NE(value, 0u);
        EXPECT_EQ(*reinterpret_cast<const uint64_t *>(value), 2500u);
        EXPECT_EQ(Vfs_getInfo(h, 4, &value), 0);
        EXPECT_EQ(int64_t(value), 784111777) << "Last-Modified";
        EXPECT_EQ(Vfs_getInfo(h, 17, &value), 0);
        EXPECT_EQ(value, 200u);
        EXPECT_EQ(Vfs_getInfo(h, 9, &value), Res_vfsNotAvailable);
        char *text = nullptr;
        ASSERT_EQ(Vfs_getHeader(h, "refresh:", &text), 0);
        EXPECT_STREQ(text, "5; url=next.html");
        Mem_free(text);
        EXPECT_EQ(Vfs_getHeader(h, "Date:", &text), Res_vfsNotAvailable);
        EXPECT_EQ(Vfs_seek(h, 2000), 0);
        uint64_t at = 0;
        ASSERT_EQ(Vfs_tell(h, &at), 0);
        EXPECT_EQ(at, 2000u);
        const uint8_t *p = nullptr;
        size_t n = 0;
        ASSERT_EQ(Vfs_getReadBuf(h, 4096, &p, &n), 0);
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(p), n), body(2500, 'h').substr(2000));
        EXPECT_EQ(Vfs_readDone(h, 4096), 0);
        ASSERT_EQ(Vfs_tell(h, &at), 0);
        EXPECT_EQ(at, 2500u) << "consuming stops at the stored end";
        EXPECT_EQ(Vfs_seek(h, 2501), Res_fileSeek);
        uint32_t left = 9;
        EXPECT_EQ(Vfs_getLength32(h, &left), 0);
        EXPECT_EQ(Vfs_setInfo(h, 5, 0), Res_vfsInfoNotSettable);
        // Cancelling puts the reader in the error state.
        EXPECT_EQ(Vfs_setInfo(h, 3, 0), 0);
        EXPECT_EQ(Vfs_tell(h, &at), Res_vfsBufferLent);
    });
    EXPECT_EQ(close(h), Res_vfsBufferLent);
    EXPECT_TRUE(cached(kPage)) << "a cancelled reader leaves a complete entry";
}

TEST_F(CacheStreamTest, ARetargetedReaderReadsTheReplacement)
{
    origin[kPage].body = body(100, 'i');
    origin[kOther].body = body(120, 'j');
    install();
    VfsHandle *h = nullptr, *other = nullptr;
    ASSERT_EQ(open(kPage, &h), 0);
    ASSERT_EQ(open(kOther, &other), 0);
    inTask([&] {
        HttpCacheHandle *reader = static_cast<HttpCacheHandle *>(h->priv);
        HttpCacheEntry *replacement =
            HttpCache_handleEntry(static_cast<HttpCacheHandle *>(other->priv));
        CacheEntry_addRefLocked(&replacement->core);
        ASSERT_EQ(HttpCache_handleRetarget(reader, replacement), 0);
        EXPECT_EQ(HttpCache_handleEntry(reader), replacement);
        EXPECT_EQ(replacement->readers, reader);
    });
    EXPECT_EQ(readAll(h), body(120, 'j'));
    EXPECT_EQ(close(h), 0);
    EXPECT_EQ(readAll(other), body(120, 'j'));
    EXPECT_EQ(close(other), 0);
}

TEST_F(CacheStreamTest, ALargeBodyGoesToADataFileAndComesBackAfterARestart)
{
    Resource &r = origin[kPage];
    r.body = body(5000, 'k');
    r.lastModified = "Sun, 06 Nov 1994 08:49:37 GMT";
    install();
    EXPECT_EQ(get(kPage), body(5000, 'k'));
    inTask([&] {
        Url *u = Url_newFromCstr(kPage);
        uint32_t fresh = 0, usable = 0;
        CacheEntry *core = CacheStore_lookup(ctx()->httpCache->store, u, &fresh, &usable, 0);
        Url_free(u);
        ASSERT_NE(core, nullptr);
        EXPECT_EQ(reinterpret_cast<HttpCacheEntry *>(core)->store, &HttpCache_fileStore);
        CacheEntry_release(core);
    });
    inTask([&] { HttpCache_uninstall(ctx()); });
    install();
    r.body = "the origin's copy must not be read";
    EXPECT_EQ(get(kPage), body(5000, 'k'));
    EXPECT_EQ(r.opens - r.notModified, 1) << "the body came from the data file";
}

TEST_F(CacheStreamTest, APartlyReadResponseIsNotKept)
{
    origin[kPage].body = body(3000, 'n');
    install();
    VfsHandle *h = nullptr;
    ASSERT_EQ(open(kPage, &h), 0);
    inTask([&] {
        const uint8_t *p = nullptr;
        size_t n = 0;
        ASSERT_EQ(Vfs_getReadBuf(h, 100, &p, &n), 0);
        EXPECT_EQ(n, 100u);
        ASSERT_EQ(Vfs_readDone(h, n), 0);
    });
    EXPECT_EQ(close(h), 0);
    EXPECT_FALSE(cached(kPage));
    EXPECT_EQ(get(kPage), body(3000, 'n'));
    EXPECT_EQ(origin[kPage].opens, 2);
}

TEST_F(CacheStreamTest, WithoutADataFileALargeBodyStaysInMemory)
{
    inTask([&] {
        Config_setUstrA(ctx(), ctx()->config, u"Paths", "File.cache",
                        u"file://localhost/no/such/dir", 0);
        Config_setIntA(ctx(), ctx()->config, nullptr, "Vexlan_CacheMaxSize", 100000, 0);
    });
    origin[kPage].body = body(60000, 'o');
    install();
    VfsHandle *h = nullptr;
    ASSERT_EQ(open(kPage, &h), 0);
    EXPECT_EQ(HttpCache_handleEntry(static_cast<HttpCacheHandle *>(h->priv))->store,
              &HttpCache_memoryStore);
    EXPECT_EQ(readAll(h, 4096), body(60000, 'o'));
    EXPECT_EQ(close(h), 0);
    EXPECT_EQ(get(kPage), body(60000, 'o'));
    EXPECT_EQ(origin[kPage].opens, 1);
}

TEST_F(CacheStreamTest, MemoryBodiesGrowFrom1024ByDoubling)
{
    install();
    inTask([&] {
        HttpCacheEntry *entry = nullptr;
        ASSERT_EQ(HttpCacheEntry_create(ctx()->httpCache, nullptr, &entry, nullptr), 0);
        ASSERT_EQ(HttpCache_memoryStore.select(entry), 0);
        std::string bytes = body(2100, 'm');
        const uint8_t *p = reinterpret_cast<const uint8_t *>(bytes.data());
        ASSERT_EQ(entry->store->write(entry, p, 100), 0);
        EXPECT_EQ(entry->capacity, 1024u);
        ASSERT_EQ(entry->store->write(entry, p + 100, 2000), 0);
        EXPECT_EQ(entry->capacity, 4096u);
        EXPECT_EQ(entry->stored, 2100u);
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(entry->body), 2100), bytes);
        HttpCacheEntry_free(entry);
    });
}

// The real origin: whatever the stream layer opens. A local file has no
// expiry, so each open reads it again.
TEST_F(CacheStreamTest, ALocalFileIsReadThroughTheCache)
{
    install(false);
    std::string file = dir + "/sheet.css";
    std::ofstream(file) << "p { color: red }";
    EXPECT_EQ(get("file://localhost/sheet.css"), "p { color: red }");
    std::ofstream(file) << "p { color: blue }";
    EXPECT_EQ(get("file://localhost/sheet.css"), "p { color: blue }");
    EXPECT_EQ(get("file://localhost/missing.css").rfind("<error ", 0), 0u);
}

} // namespace
