// The HTTP cache: header reading and freshness against the table that
// make_freshness.py wrote from a small model of the expiration rules; a
// fake origin stream whose small bodies stay in memory and large ones go
// to data files that come back after a restart; the file cache index with
// its backup protocol, damaged indexes and damaged data files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/config/config.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "html/web/filecache.h"
#include "html/web/httpcache.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"
#include "tests/support/task_fixture.h"

namespace {

std::vector<std::string> split(const std::string &line)
{
    std::vector<std::string> cols;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        cols.push_back(
            line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return cols;
        start = tab + 1;
    }
}

TEST(HttpCacheFreshness, MatchesTheModel)
{
    TestEngine e{};
    ASSERT_TRUE(TestEngine_open(&e));
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/web/freshness.txt");
    ASSERT_TRUE(in.good());
    std::string line;
    int rows = 0;
    while (std::getline(in, line)) {
        std::vector<std::string> c = split(line);
        ASSERT_EQ(c.size(), 19u) << line;
        auto text = [&](int i) { return c[size_t(i)] == "-" ? nullptr : c[size_t(i)].c_str(); };
        HttpCacheHeaders h = {text(0), text(1), text(2), text(3), text(4), text(5)};
        std::string urlText = c[6];
        bool posted = urlText.size() > 7 && urlText.substr(urlText.size() - 7) == "#posted";
        Url *url = Url_newFromCstr(urlText.c_str());
        ASSERT_NE(url, nullptr);
        if (posted) {
            ASSERT_EQ(Url_copyDataBytes(url, reinterpret_cast<const uint8_t *>("a=1"), 3), 0);
        }
        HttpCacheFields f = {-1, -1, -1, -1, -1, 0, std::stoll(c[8]), -1, -1, -1, -1, 0};
        int64_t now = std::stoll(c[10]);
        HttpCache_readHeaders(&f, &h, std::stoll(c[9]));
        HttpCache_computeFreshness(&f, url, std::stoi(c[7]), 0);
        EXPECT_EQ(f.freshnessLifetime, std::stoll(c[11])) << line;
        EXPECT_EQ(f.correctedInitialAge, std::stoll(c[12])) << line;
        EXPECT_EQ(f.mustRevalidate, uint32_t(std::stoi(c[13]))) << line;
        for (uint32_t kind = 0; kind < 5; kind++) {
            uint32_t fresh = 9, usable = 9;
            HttpCache_useDecision(&f, kind, now, &fresh, &usable);
            std::string got = std::to_string(fresh) + std::to_string(usable);
            EXPECT_EQ(got, c[14 + kind]) << "kind " << kind << ": " << line;
        }
        Url_free(url);
        rows++;
    }
    EXPECT_GT(rows, 400);
    TestEngine_close(&e);
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

uint32_t word(const std::string &s, size_t at)
{
    const unsigned char *p = reinterpret_cast<const unsigned char *>(s.data()) + at;
    return uint32_t(p[0] | p[1] << 8 | p[2] << 16) | uint32_t(p[3]) << 24;
}

// The records of an index: their start offsets, and the end.
std::vector<size_t> recordStarts(const std::string &index)
{
    std::vector<size_t> starts;
    size_t pos = 8;
    while (pos + 100 <= index.size()) {
        starts.push_back(pos);
        size_t next = pos + 100;
        for (int i = 0; i < 10; i++)
            next += (word(index, pos + 60 + 4 * size_t(i)) + 3) & ~3u;
        pos = next;
    }
    starts.push_back(pos);
    return starts;
}

std::string body(size_t n, char seed)
{
    std::string s(n, 0);
    for (size_t i = 0; i < n; i++)
        s[i] = char(seed + i * 7 % 251);
    return s;
}

class FileCacheTest : public TaskFixture {
  protected:
    void SetUp() override
    {
        TaskFixture::SetUp();
        static int serial = 0;
        dir = "/tmp/i70/filecache-" + std::to_string(getpid()) + "-" + std::to_string(serial++);
        mkdir("/tmp/i70", 0700);
        mkdir(dir.c_str(), 0700);
        mkdir((dir + "/fc").c_str(), 0700);
        setenv("OKALA_DIRECTORY", dir.c_str(), 1);
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
    void install()
    {
        inTask([&] { ASSERT_EQ(HttpCache_install(ctx()), 0); });
        ASSERT_NE(ctx()->httpCache, nullptr);
    }
    void uninstall()
    {
        inTask([&] { HttpCache_uninstall(ctx()); });
    }
    // Fetches url from a memory stream holding bytes, as an origin.
    void fetch(const char *url, const std::string &bytes, int32_t status = 200)
    {
        inTask([&] {
            HttpCache *cache = ctx()->httpCache;
            Url *u = Url_newFromCstr(url);
            HttpCacheEntry *entry = nullptr;
            ASSERT_EQ(HttpCacheEntry_create(cache, u, &entry, nullptr), 0);
            Url_free(u);
            uint32_t accepted = 0;
            ASSERT_EQ(Vfs_openMemory(ctx(), reinterpret_cast<const uint8_t *>(bytes.data()),
                                     bytes.size(), 0, 1, &entry->origin, &accepted),
                      0);
            entry->httpStatus = status;
            entry->core.refCount = 1;
            ASSERT_EQ(entry->ops->openOrigin(entry), 0);
            EXPECT_EQ(entry->fetchState, 1u);
            ASSERT_EQ(entry->ops->finish(entry), 0);
            EXPECT_EQ(entry->totalLength, bytes.size());
            HttpCacheEntry_chooseStore(entry);
            ASSERT_EQ(entry->store->prepare(entry, entry->totalLength, 0), 0);
            ASSERT_EQ(entry->ops->fetch(entry, UINT64_MAX), 0);
            EXPECT_EQ(entry->stored, bytes.size());
            EXPECT_EQ(entry->complete, 1u);
            EXPECT_EQ(entry->ops->closeOrigin(entry), 1);
            HttpCacheEntry_publish(entry);
            CacheEntry_release(&entry->core);
        });
    }
    // The cached body of url ("<none>" when not cached) and whether it is
    // in a data file.
    std::string cached(const char *url, bool *inFile = nullptr)
    {
        std::string out = "<none>";
        inTask([&] {
            HttpCache *cache = ctx()->httpCache;
            Url *u = Url_newFromCstr(url);
            uint32_t fresh, usable;
            CacheEntry *core = CacheStore_lookup(cache->store, u, &fresh, &usable, 0);
            Url_free(u);
            if (!core)
                return;
            HttpCacheEntry *entry = reinterpret_cast<HttpCacheEntry *>(core);
            if (inFile)
                *inFile = entry->store == &HttpCache_fileStore;
            out.clear();
            for (uint64_t at = 0; at < entry->stored;) {
                const uint8_t *p = nullptr;
                size_t n = 0;
                ASSERT_EQ(entry->store->read(entry, at, 3000, &p, &n), 0);
                ASSERT_GT(n, 0u);
                out.append(reinterpret_cast<const char *>(p), n);
                entry->store->releaseRead(entry, p);
                at += n;
            }
            CacheEntry_release(core);
        });
        return out;
    }
    std::string path(const char *name)
    {
        return dir + "/fc/" + name;
    }
    std::string dir;
};

const char *kSmall = "http://www.example.com/small";
const char *kLarge = "http://www.example.com/large";
const char *kHuge = "http://www.example.com/huge";
const char *kThird = "https://www.example.org/third?x=1";

TEST_F(FileCacheTest, SmallBodiesStayInMemoryLargeOnesComeBackAfterARestart)
{
    install();
    fetch(kSmall, body(100, 'a'));
    fetch(kLarge, body(800, 'b'));
    fetch(kHuge, body(10000, 'c'));
    bool inFile = true;
    EXPECT_EQ(cached(kSmall, &inFile), body(100, 'a'));
    EXPECT_FALSE(inFile);
    EXPECT_EQ(cached(kLarge, &inFile), body(800, 'b'));
    EXPECT_TRUE(inFile);
    EXPECT_EQ(cached(kHuge), body(10000, 'c'));
    EXPECT_TRUE(exists(path("index.dat")));
    EXPECT_FALSE(exists(path("index-bak.dat")));
    uninstall();

    std::string index = readFile(path("index.dat"));
    ASSERT_GE(index.size(), 8u);
    EXPECT_EQ(word(index, 0), 0xCACEF17Fu);
    EXPECT_EQ(word(index, 4), 3u);
    std::vector<size_t> starts = recordStarts(index);
    ASSERT_EQ(starts.size(), 3u);
    EXPECT_EQ(starts.back(), index.size());
    size_t r = starts[0];
    EXPECT_EQ(word(index, r + 36), 800u); // content length, low word
    EXPECT_EQ(word(index, r + 40), 0u);
    EXPECT_EQ(word(index, r + 44), 200u);                   // HTTP status
    EXPECT_EQ(word(index, r + 48), 800u);                   // stored length
    EXPECT_EQ(word(index, r + 64), 2 * strlen(kLarge) + 2); // the cached URL, UTF-16
    EXPECT_EQ(word(index, r + 68), 0u);                     // no content type

    install();
    EXPECT_EQ(cached(kSmall), "<none>");
    EXPECT_EQ(cached(kLarge, &inFile), body(800, 'b'));
    EXPECT_TRUE(inFile);
    EXPECT_EQ(cached(kHuge), body(10000, 'c'));
    EXPECT_EQ(ctx()->httpCache->fileClass.count, 2u);
    EXPECT_EQ(ctx()->httpCache->fileClass.bytesInUse, 10800u);
}

TEST_F(FileCacheTest, DamagedIndexesKeepTheRecordsBeforeTheDamage)
{
    install();
    fetch(kLarge, body(800, 'b'));
    fetch(kHuge, body(5000, 'c'));
    fetch(kThird, body(700, 'd'));
    uninstall();
    std::string good = readFile(path("index.dat"));
    std::vector<size_t> starts = recordStarts(good);
    ASSERT_EQ(starts.size(), 4u);
    struct Case {
        const char *what;
        std::string index;
        int result;
        int kept;
    } cases[] = {
        {"whole", good, 0, 3},
        {"cut inside the third record", good.substr(0, starts[2] + 50), Res_fileRead, 2},
        {"cut at the end of the second", good.substr(0, starts[2]), 0, 2},
        {"header only", good.substr(0, 8), 0, 0},
        {"version 2", good.substr(0, 4) + std::string("\x02\0\0\0", 4) + good.substr(8), 0, 0},
        {"bad magic", "XXXX" + good.substr(4), 0, 0},
        {"cut inside the header", good.substr(0, 5), 0, 0},
    };
    auto withLength = [&](size_t record, int item, uint32_t value) {
        std::string s = good;
        size_t at = starts[record] + 60 + 4 * size_t(item);
        for (int i = 0; i < 4; i++)
            s[at + size_t(i)] = char(value >> (8 * i));
        return s;
    };
    for (const Case &c : cases) {
        writeFile(path("index.dat"), c.index);
        int r = -1;
        install();
        inTask([&] {
            // A second load over the first: the entries are already there.
            r = FileCache_loadIndex(ctx()->httpCache);
        });
        EXPECT_EQ(r, c.result) << c.what;
        EXPECT_EQ(int(ctx()->httpCache->fileClass.count), c.kept) << c.what;
        // Reset the data files: uninstall keeps them, and rewrites the index.
        uninstall();
    }
    struct Bad {
        const char *what;
        std::string index;
        int kept;
    } bad[] = {
        {"odd UTF-16 length", withLength(1, 1, 7), 1},
        {"length past the file", withLength(2, 0, 0x7FFFFFF0), 2},
        {"huge length", withLength(0, 9, 0xFFFFFFFF), 0},
    };
    for (const Bad &b : bad) {
        writeFile(path("index.dat"), b.index);
        install();
        EXPECT_EQ(int(ctx()->httpCache->fileClass.count), b.kept) << b.what;
        uninstall();
        writeFile(path("index.dat"), good);
    }
}

TEST_F(FileCacheTest, ALeftoverBackupIsReadAndRestored)
{
    install();
    fetch(kLarge, body(800, 'b'));
    fetch(kHuge, body(5000, 'c'));
    uninstall();
    std::string good = readFile(path("index.dat"));
    // An interrupted save: the backup holds the last good index, index.dat
    // is whatever the save had written.
    writeFile(path("index-bak.dat"), good);
    writeFile(path("index.dat"), good.substr(0, 30));
    install();
    EXPECT_EQ(cached(kHuge), body(5000, 'c'));
    EXPECT_EQ(ctx()->httpCache->fileClass.count, 2u);
    EXPECT_FALSE(exists(path("index-bak.dat")));
    EXPECT_EQ(readFile(path("index.dat")), good);
    uninstall();
}

TEST_F(FileCacheTest, ATruncatedDataFileDropsItsEntryOnly)
{
    install();
    fetch(kLarge, body(800, 'b'));
    fetch(kHuge, body(5000, 'c'));
    std::string dataFile;
    inTask([&] {
        HttpCacheEntry *e = reinterpret_cast<HttpCacheEntry *>(ctx()->httpCache->store->head);
        char16_t *p = nullptr;
        ASSERT_EQ(Url_getPart(e->dataUrl, UrlPart_path, &p), 1);
        for (char16_t *q = p; *q; q++)
            dataFile += char(*q);
        Mem_free(p);
    });
    uninstall();
    std::string bytes = readFile(dir + dataFile);
    ASSERT_EQ(bytes.size(), 800u);
    writeFile(dir + dataFile, bytes.substr(0, 799));
    install();
    EXPECT_EQ(cached(kLarge), "<none>");
    EXPECT_EQ(cached(kHuge), body(5000, 'c'));
    EXPECT_FALSE(exists(dir + dataFile));
}

// Makes a published, idle file-store entry with the given fields.
void makeFileEntry(HttpCache *cache, const char *url, const char *dataUrl, const int64_t times[7],
                   uint64_t length, int32_t status, uint64_t stored, uint32_t noCache,
                   HttpCacheEntry **out)
{
    Url *u = Url_newFromCstr(url);
    HttpCacheEntry *e = nullptr;
    ASSERT_EQ(HttpCacheEntry_create(cache, u, &e, nullptr), 0);
    Url_free(u);
    HttpCacheFields &f = e->fields;
    int64_t *fields[7] = {&f.date,   &f.lastModified, &f.expires,     &f.age,
                          &f.maxAge, &f.requestTime,  &f.responseTime};
    for (int i = 0; i < 7; i++)
        *fields[i] = times[i];
    f.noCache = noCache;
    e->totalLength = length;
    e->httpStatus = status;
    e->stored = stored;
    (void)HttpCache_fileStore.select(e);
    e->dataUrl = Url_newFromCstr(dataUrl);
    e->core.refCount = 1;
    *out = e;
}

TEST_F(FileCacheTest, TheSavedIndexMatchesTheGolden)
{
    install();
    inTask([&] {
        HttpCache *cache = ctx()->httpCache;
        const int64_t first[7] = {1700000000, 1690000000, -1, 30, 600, 1699999990, 1700000000};
        HttpCacheEntry *a = nullptr;
        makeFileEntry(cache, "http://www.example.com/page?x=1", "file://localhost/fc/1a.dat", first,
                      1000, 200, 1000, 0, &a);
        ASSERT_NE(a, nullptr);
        a->contentType = static_cast<char16_t *>(Mem_malloc(20));
        memcpy(a->contentType, u"text/html", 20);
        a->charset = static_cast<char16_t *>(Mem_malloc(12));
        memcpy(a->charset, u"utf-8", 12);
        a->texts[0] = static_cast<char16_t *>(Mem_malloc(12));
        memcpy(a->texts[0], u"third", 12);
        a->streamName = static_cast<char *>(Mem_malloc(5));
        memcpy(a->streamName, "main", 5);
        HttpCacheEntry_publish(a);
        CacheEntry_release(&a->core);

        const int64_t second[7] = {int64_t(1) << 33, -1, 0, -1, -1, 1699999990, 1700000000};
        HttpCacheEntry *b = nullptr;
        makeFileEntry(cache, "https://a.example.org/", "file://localhost/fc/7.dat", second,
                      (uint64_t(1) << 32) + 5, 301, 3, 1, &b);
        ASSERT_NE(b, nullptr);
        b->auth = static_cast<HttpCacheAuth *>(Mem_calloc(1, sizeof(HttpCacheAuth)));
        const char16_t *texts[4] = {u"https://b.example.org/", u"realm", u"", u"x"};
        for (int i = 0; i < 4; i++) {
            size_t n = (std::u16string(texts[i]).size() + 1) * sizeof(char16_t);
            b->auth->texts[i] = static_cast<char16_t *>(Mem_malloc(n));
            memcpy(b->auth->texts[i], texts[i], n);
        }
        b->auth->words[0] = 301;
        b->auth->words[1] = 7;
        HttpCacheEntry_publish(b);
        CacheEntry_release(&b->core);
    });
    uninstall();
    EXPECT_EQ(readFile(path("index.dat")),
              readFile(std::string(VEXLAN_FIXTURES) + "/web/filecache/index.dat"));
    EXPECT_FALSE(exists(path("index-bak.dat")));

    // Read back over data files of the stored lengths.
    writeFile(path("1a.dat"), std::string(1000, 'x'));
    writeFile(path("7.dat"), "abc");
    install();
    inTask([&] {
        HttpCache *cache = ctx()->httpCache;
        ASSERT_EQ(cache->fileClass.count, 2u);
        HttpCacheEntry *a = reinterpret_cast<HttpCacheEntry *>(cache->store->head);
        HttpCacheEntry *b = reinterpret_cast<HttpCacheEntry *>(a->core.next);
        EXPECT_EQ(a->fields.date, 1700000000);
        EXPECT_EQ(a->fields.expires, -1);
        EXPECT_EQ(a->fields.maxAge, 600);
        EXPECT_EQ(std::u16string(a->contentType), u"text/html");
        EXPECT_EQ(std::string(a->streamName), "main");
        EXPECT_EQ(a->fields.freshnessLifetime, 600);
        EXPECT_EQ(b->fields.date, int64_t(0xFFFFFFFE));
        EXPECT_EQ(b->fields.expires, 0);
        EXPECT_EQ(b->totalLength, (uint64_t(1) << 32) + 5);
        EXPECT_EQ(b->fields.noCache, 1u);
        EXPECT_EQ(b->fields.mustRevalidate, 1u);
        ASSERT_NE(b->auth, nullptr);
        EXPECT_EQ(b->auth->words[0], 0u); // not read back
        EXPECT_EQ(std::u16string(b->auth->texts[1]), u"realm");
        EXPECT_EQ(std::u16string(b->auth->texts[2]), u"");
    });
}

TEST_F(FileCacheTest, LastModifiedFallsBackToDateThenTheDeviceClock)
{
    install();
    inTask([&] {
        HttpCacheEntry *e = nullptr;
        ASSERT_EQ(HttpCacheEntry_create(ctx()->httpCache, nullptr, &e, nullptr), 0);
        e->fields.requestTime = 77;
        EXPECT_EQ(HttpCacheEntry_lastModified(e), -1);
        Config_setIntA(ctx(), ctx()->config, nullptr, "Vexlan_UseDeviceDateForLastModified", 1, 0);
        EXPECT_EQ(HttpCacheEntry_lastModified(e), 77);
        e->fields.date = 50;
        EXPECT_EQ(HttpCacheEntry_lastModified(e), 50);
        e->fields.lastModified = 40;
        EXPECT_EQ(HttpCacheEntry_lastModified(e), 40);
        HttpCacheEntry_free(e);
    });
}

TEST_F(FileCacheTest, HasEntryComparesUrlsAndSkipsErrorsWhenAsked)
{
    install();
    fetch(kLarge, body(800, 'b'), 404);
    inTask([&] {
        HttpCache *cache = ctx()->httpCache;
        Url *u = Url_newFromCstr(kLarge);
        EXPECT_EQ(FileCache_hasEntry(cache, u, 0), 1);
        EXPECT_EQ(FileCache_hasEntry(cache, u, 1), 0);
        ASSERT_EQ(Url_copyDataBytes(u, reinterpret_cast<const uint8_t *>("x"), 1), 0);
        EXPECT_EQ(FileCache_hasEntry(cache, u, 0), 0);
        Url_free(u);
        u = Url_newFromCstr("http://www.example.com/other");
        EXPECT_EQ(FileCache_hasEntry(cache, u, 0), 0);
        Url_free(u);
    });
}

} // namespace
