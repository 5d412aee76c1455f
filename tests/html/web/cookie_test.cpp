// The cookie store: the scripted operations against the goldens that
// make_cookie_goldens.py wrote with struct from the file layouts, a second
// store reading them back, corrupt files, the parser's and the store's
// cases (limits, MAX-AGE then EXPIRES, VERSION, server keys with high
// bytes, a 600-byte text in three blocks, the dot boundary of a domain),
// policies, and the atomic replacement of the files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "core/config/config.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/time/date.h"
#include "core/host/hostservices.h"
#include "html/web/cookie.h"
#include "platform/url/url.h"
#include "tests/support/task_fixture.h"

namespace {

constexpr int64_t kNow = 1704067200; // 2024-01-01 00:00:00 UTC

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

std::string le32(uint32_t v)
{
    std::string s(4, 0);
    for (int i = 0; i < 4; i++)
        s[size_t(i)] = char(v >> (8 * i));
    return s;
}

std::string record(uint32_t flags, uint32_t block, uint32_t key, uint32_t expiry, uint32_t lastUse)
{
    return le32(flags) + le32(block) + le32(key) + le32(expiry) + le32(lastUse);
}

class CookieTest : public TaskFixture {
  protected:
    void SetUp() override
    {
        TaskFixture::SetUp();
        static int serial = 0;
        dir = "/tmp/i70/cookies-" + std::to_string(getpid()) + "-" + std::to_string(serial++);
        mkdir("/tmp/i70", 0700);
        mkdir(dir.c_str(), 0700);
        mkdir((dir + "/ck").c_str(), 0700);
        setenv("OKALA_DIRECTORY", dir.c_str(), 1);
        ctx()->config = Config_createStore(ctx(), u"test");
        ASSERT_NE(ctx()->config, nullptr);
        inTask([&] { Config_setUstrA(ctx(), ctx()->config, u"Paths", "Cookies", u"/ck", 0); });
        setNow(kNow);
    }
    void TearDown() override
    {
        if (ctx()->cookies)
            inTask([&] { CookieStore_close(ctx()); });
        inTask([&] { Config_freeStore(ctx(), ctx()->config); });
        ctx()->config = nullptr;
        std::string cmd = "rm -rf '" + dir + "'";
        EXPECT_EQ(system(cmd.c_str()), 0);
        unsetenv("OKALA_DIRECTORY");
        TaskFixture::TearDown();
    }
    void setNow(int64_t seconds)
    {
        BrokenTime t;
        Time_gmtime(seconds, &t);
        HostLocalTime lt = {t.year + 1900, t.mon + 1, t.mday, t.hour, t.min, t.sec, t.wday, 0};
        Headless_setLocalTime(e.host, &lt);
    }
    void inTask(std::function<void()> body)
    {
        Task_detach(spawn("cookies", 3, std::move(body)));
        TestEngine_runAll(&e, 100000);
    }
    void open()
    {
        inTask([&] { ASSERT_EQ(CookieStore_open(ctx()), 0); });
        ASSERT_NE(ctx()->cookies, nullptr);
    }
    void close()
    {
        inTask([&] { CookieStore_close(ctx()); });
    }
    int store(const char *url, const char *value)
    {
        int r = -1;
        inTask([&] {
            Url *u = Url_newFromCstr(url);
            r = Cookie_storeHeader(ctx(), u, value, 0);
            Url_free(u);
        });
        return r;
    }
    std::string request(const char *url, int secure = 0)
    {
        std::string text; // nothing sent: empty
        inTask([&] {
            Url *u = Url_newFromCstr(url);
            char *out = nullptr;
            EXPECT_EQ(Cookie_buildRequestHeader(ctx(), u, secure, 0, &out), 0);
            if (out)
                text = out;
            Mem_free(out);
            Url_free(u);
        });
        return text;
    }
    std::string file(const char *name)
    {
        return readFile(dir + "/ck/" + name);
    }
    std::string golden(const char *name)
    {
        return readFile(std::string(VEXLAN_FIXTURES) + "/web/cookies/" + name);
    }
    std::string dir;
};

const char *kPage = "http://www.example.com/dir/page.html";
const char *k2025 = "; expires=Wed, 01 Jan 2025 00:00:00 GMT";

TEST_F(CookieTest, ScriptedOperationsMatchTheGoldensAndSurviveARestart)
{
    open();
    EXPECT_EQ(store(kPage, (std::string("a=1") + k2025).c_str()), 0);
    EXPECT_EQ(store(kPage, "s=session; path=/"), 0);
    EXPECT_EQ(store(kPage, "b=2; domain=.example.com; path=/; max-age=3600"), 0);
    EXPECT_EQ(store(kPage, (std::string("a=changed") + k2025).c_str()), 0);
    EXPECT_EQ(store(kPage, "c=3; max-age=0"), 0);
    std::string longText = readFile(std::string(VEXLAN_FIXTURES) + "/web/cookies/long600.txt");
    std::string longValue = longText.substr(0, longText.find(';')) + k2025;
    EXPECT_EQ(store("http://www.other.org/", longValue.c_str()), 0);
    EXPECT_EQ(request("http://www.other.org/"), longText.substr(0, longText.find(';')));
    inTask([&] {
        EXPECT_EQ(CookieStore_setPolicy(ctx(), "ads.example.net", CookiePolicy_block), 0);
        EXPECT_EQ(CookieStore_setPolicy(ctx(), "tracker.example.org", CookiePolicy_confirm), 0);
        EXPECT_EQ(CookieStore_setPolicy(ctx(), "x.example.net", CookiePolicy_block), 0);
        EXPECT_EQ(CookieStore_setPolicy(ctx(), "x.example.net", CookiePolicy_remove), 0);
        EXPECT_EQ(CookieStore_setPolicy(ctx(), "a.b", CookiePolicy_block), Res_cookieNoDomain);
        EXPECT_EQ(CookieStore_getPolicy(ctx(), "www.ads.example.net"),
                  uint32_t(CookiePolicy_block));
        EXPECT_EQ(CookieStore_getPolicy(ctx(), "x.example.net"), uint32_t(CookiePolicy_accept));
    });
    EXPECT_EQ(store("http://ads.example.net/", (std::string("z=1") + k2025).c_str()), 0);
    inTask([&] { EXPECT_EQ(CookieStore_deleteDomain(ctx(), "www.other.org"), 0); });
    EXPECT_EQ(store(kPage, (std::string("d=4; path=/x") + k2025).c_str()), 0);

    EXPECT_EQ(file("cdata.dat"), golden("cdata.dat"));
    EXPECT_EQ(file("cindex.dat"), golden("cindex.dat"));
    EXPECT_EQ(file("cpolicy.dat"), golden("cpolicy.dat"));
    EXPECT_EQ(request("http://www.example.com/dir/x"), "a=changed; s=session; b=2");
    EXPECT_FALSE(exists(dir + "/ck/cindex.dat.new"));
    close();

    // A second store reads them back; the session cookie is gone.
    open();
    EXPECT_EQ(ctx()->cookies->count, 3u);
    EXPECT_EQ(ctx()->cookies->openStatus, 0);
    EXPECT_EQ(request("http://www.example.com/dir/x"), "a=changed; b=2");
    EXPECT_EQ(request("http://www.example.com/x/y"), "b=2; d=4");
    EXPECT_EQ(request("http://ads.example.net/"), "");
    inTask([&] {
        EXPECT_EQ(CookieStore_getPolicy(ctx(), "tracker.example.org"),
                  uint32_t(CookiePolicy_confirm));
    });
    close();
    EXPECT_EQ(file("cdata.dat"), golden("cdata.dat"));
    EXPECT_EQ(file("cindex.dat"), golden("cindex.dat"));
    EXPECT_EQ(file("cpolicy.dat"), golden("cpolicy.dat"));
}

TEST_F(CookieTest, ParsingSetCookieValues)
{
    struct Case {
        const char *text;
        bool kept;
        const char *name, *value, *domain, *path;
        int64_t expires;
        uint32_t secure;
    } cases[] = {
        {"Set-Cookie2: a=1", false, nullptr, nullptr, nullptr, nullptr, 0, 0},
        {"set-cookie2:a=1", false, nullptr, nullptr, nullptr, nullptr, 0, 0},
        {"Set-Cookie: a = 1 ; Path=/p; path=/q; Secure", true, "a", "1", nullptr, "/p", 0, 1},
        {"x=y; max-age=60; expires=Thu, 01 Jan 1970 00:00:01 GMT", true, "x", "y", nullptr, nullptr,
         1, 0},
        {"x=y; expires=Thu, 01 Jan 1970 00:00:01 GMT; max-age=60", true, "x", "y", nullptr, nullptr,
         1, 0},
        {"x=y; max-age=60", true, "x", "y", nullptr, nullptr, kNow + 60, 0},
        {"x=y; expires=never", true, "x", "y", nullptr, nullptr, 0, 0},
        {"x=y; version=2", false, nullptr, nullptr, nullptr, nullptr, 0, 0},
        {"x=y; VERSION=1; comment=hi; other=z", true, "x", "y", nullptr, nullptr, 0, 0},
        {"x; domain=A.com; domain=b.com", true, "x", nullptr, "A.com", nullptr, 0, 0},
        {"\tx=\ty\t", true, "x", "y", nullptr, nullptr, 0, 0},
    };
    for (const Case &c : cases) {
        Cookie *k = Cookie_parseSetCookie(c.text, kNow);
        ASSERT_EQ(k != nullptr, c.kept) << c.text;
        if (!k)
            continue;
        auto same = [](const char *a, const char *b) {
            return (!a && !b) || (a && b && !strcmp(a, b));
        };
        EXPECT_TRUE(same(k->name, c.name)) << c.text;
        EXPECT_TRUE(same(k->value, c.value)) << c.text;
        EXPECT_TRUE(same(k->domain, c.domain)) << c.text;
        EXPECT_TRUE(same(k->path, c.path)) << c.text;
        EXPECT_EQ(k->expires, c.expires) << c.text;
        EXPECT_EQ(k->secure, c.secure) << c.text;
        Cookie_free(k);
    }
    // Name and value of 4097 bytes are refused; 4096 pass.
    std::string name(2048, 'n');
    Cookie *k = Cookie_parseSetCookie((name + "=" + std::string(2048, 'v')).c_str(), kNow);
    ASSERT_NE(k, nullptr);
    Cookie_free(k);
    EXPECT_EQ(Cookie_parseSetCookie((name + "=" + std::string(2049, 'v')).c_str(), kNow), nullptr);
}

TEST_F(CookieTest, RegistrableDomainsAndServerKeys)
{
    struct Case {
        const char *host;
        const char *domain; // null: none
    } cases[] = {
        {"www.example.com", "example.com"},
        {"a.b.example.com", "example.com"},
        {"example.com", "example.com"},
        {"www.bbc.co.uk", "bbc.co.uk"},
        {"a.b.example.de", "example.de"},
        {"www.example.de", "example.de"},
        {"x.abc.de", "abc.de"},
        {"shop.ORG.uk", "shop.ORG.uk"},
        {"localhost", "localhost"},
        {"a.b", nullptr},
        {"www.example.info", "example.info"},
        {"mycom", "mycom"},
    };
    for (const Case &c : cases) {
        size_t start = 0, n = 0;
        int has = Cookie_registrableDomain(c.host, strlen(c.host), &start, &n);
        ASSERT_EQ(has != 0, c.domain != nullptr) << c.host;
        if (has) {
            EXPECT_EQ(std::string(c.host + start, n), c.domain) << c.host;
        }
    }
    EXPECT_EQ(Cookie_serverKey("Aa", 2), Cookie_serverKey("BB", 2));
    EXPECT_EQ(Cookie_serverKey("abc", 3), uint32_t(96354));
    // A byte of 0x80 or above counts as negative.
    EXPECT_EQ(Cookie_serverKey("\x01\xE1", 2), 0u);
    EXPECT_EQ(Cookie_serverKey("\xFF", 1), 0xFFFFFFFFu);
    EXPECT_EQ(Cookie_serverKey("aaaaaaaaaaaaaaaaaaaa", 20), uint32_t([] {
                  uint32_t h = 0;
                  for (int i = 0; i < 20; i++)
                      h = h * 31 + 97;
                  return h;
              }()));
}

TEST_F(CookieTest, DomainsMustMatchTheHostAtADotBoundary)
{
    open();
    const char *cases[][3] = {
        // url, Set-Cookie value, expected result
        {"http://www.example.com/", "a=1; domain=example.com", "0"},
        {"http://www.example.com/", "a=1; domain=.example.com", "0"},
        {"http://example.com/", "a=1; domain=.example.com", "0"},
        {"http://badexample.com/", "a=1; domain=example.com", "13572"},
        {"http://www.example.com/", "a=1; domain=other.com", "13572"},
        {"http://www.example.com/", "a=1; domain=w.www.example.com", "13572"},
        {"http://www.example.com/", "a=1; domain=com", "13572"},
        // An address keeps a cookie only for itself: dropped without error.
        {"http://10.0.0.1/", "a=1; domain=0.0.1", "0"},
    };
    for (auto &c : cases)
        EXPECT_EQ(store(c[0], c[1]), atoi(c[2])) << c[0] << " " << c[1];
    // No host: 13571.
    EXPECT_EQ(store("about:blank", "a=1"), Res_cookieNoHost);
    EXPECT_EQ(request("http://badexample.com/"), "");
    EXPECT_EQ(request("http://10.0.0.1/"), "");
    // Two cookies a: domains "example.com" and ".example.com" are told
    // apart (the one from example.com itself lost its dot and replaced the
    // first).
    EXPECT_EQ(request("http://www.example.com/"), "a=1; a=1");
    EXPECT_EQ(ctx()->cookies->count, 2u);
    // A name whose server key collides with example.com's and that
    // ends in it without a dot before gets nothing.
    EXPECT_EQ(Cookie_hostKey("\x01\xE1"
                             "example.com"),
              Cookie_hostKey("example.com"));
    EXPECT_EQ(Cookie_domainMatches(".example.com", "www.example.com"), 1);
    EXPECT_EQ(Cookie_domainMatches("example.com", "EXAMPLE.com"), 1);
    EXPECT_EQ(Cookie_domainMatches("example.com", "badexample.com"), 0);
    EXPECT_EQ(Cookie_domainMatches("example.com", "\x01\xE1"
                                                  "example.com"),
              0);
}

TEST_F(CookieTest, SecurePathsAndExpiry)
{
    open();
    EXPECT_EQ(store("https://www.example.com/a/b", "s=1; secure; path=/"), 0);
    EXPECT_EQ(store("http://www.example.com/a/b", "p=2; path=/A"), 0);
    EXPECT_EQ(store("http://www.example.com/a/b", "d=3"), 0);
    EXPECT_EQ(store("http://www.example.com/a/b", "e=4; max-age=10"), 0);
    EXPECT_EQ(request("http://www.example.com/a/b"), "p=2; d=3; e=4");
    EXPECT_EQ(request("https://www.example.com/a/x", 1), "s=1; p=2; d=3; e=4");
    EXPECT_EQ(request("http://www.example.com/"), "");
    setNow(kNow + 10);
    EXPECT_EQ(request("http://www.example.com/a/b"), "p=2; d=3");
}

TEST_F(CookieTest, LimitsReplaceTheLeastRecentlyUsed)
{
    open();
    // 21 cookies of one domain: the 21st replaces the oldest of that domain.
    for (int i = 0; i < 21; i++) {
        setNow(kNow + i);
        std::string v = "c" + std::to_string(i) + "=" + std::to_string(i) + k2025;
        EXPECT_EQ(store("http://www.example.com/", v.c_str()), 0);
    }
    EXPECT_EQ(ctx()->cookies->count, 20u);
    std::string sent = request("http://www.example.com/");
    EXPECT_EQ(sent.find("c0="), std::string::npos);
    EXPECT_NE(sent.find("c20=20"), std::string::npos);
    close();
    // The overall limit (lowered to 5 here, as 300 would be): the next
    // cookie replaces the least recently used of all.
    inTask([&] { Config_setIntA(ctx(), ctx()->config, nullptr, "Vexlan_maxCookies", 5, 0); });
    writeFile(dir + "/ck/cindex.dat", "");
    writeFile(dir + "/ck/cdata.dat", "");
    open();
    const char *hosts[] = {"a.example.com", "b.example.org", "c.example.net",
                           "d.example.edu", "e.example.gov", "f.example.mil"};
    for (int i = 0; i < 6; i++) {
        setNow(kNow + 100 - i * 10 + (i == 5 ? 60 : 0));
        std::string v = std::string("k=") + std::to_string(i) + k2025;
        EXPECT_EQ(store((std::string("http://") + hosts[i] + "/").c_str(), v.c_str()), 0);
    }
    EXPECT_EQ(ctx()->cookies->count, 5u);
    // The oldest was the fifth (stamped kNow + 60).
    EXPECT_EQ(request("http://e.example.gov/"), "");
    EXPECT_EQ(request("http://f.example.mil/"), "k=5");
    EXPECT_EQ(request("http://a.example.com/"), "k=0");
}

TEST_F(CookieTest, ASixHundredByteTextTakesThreeBlocksChainedBothWays)
{
    open();
    std::string value =
        "big=" + std::string(600 - 1 - 4 - strlen(";Domain=www.example.com;Path=/"), 'q');
    EXPECT_EQ(store("http://www.example.com/", (value + k2025).c_str()), 0);
    std::string data = file("cdata.dat");
    ASSERT_EQ(data.size(), 16u + 3 * 268);
    auto word = [&](size_t block, int k) {
        const unsigned char *p =
            reinterpret_cast<const unsigned char *>(data.data()) + 16 + block * 268 + 4 * k;
        return uint32_t(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24);
    };
    EXPECT_EQ(word(0, 0), 256u);
    EXPECT_EQ(word(0, 1), 1u);
    EXPECT_EQ(word(0, 2), 0xFFFFFFFFu);
    EXPECT_EQ(word(1, 0), 256u);
    EXPECT_EQ(word(1, 1), 2u);
    EXPECT_EQ(word(1, 2), 0u);
    EXPECT_EQ(word(2, 0), 88u);
    EXPECT_EQ(word(2, 1), 0xFFFFFFFFu);
    EXPECT_EQ(word(2, 2), 1u);
    EXPECT_EQ(request("http://www.example.com/"), value);
}

TEST_F(CookieTest, CorruptIndexFilesResetTheStore)
{
    std::string header = std::string("Cook") + "Version 1.0" + std::string(1, '\0');
    std::string oneBlock =
        header + le32(4) + le32(0xFFFFFFFF) + le32(0xFFFFFFFF) + "a=1" + std::string(253, '\0');
    uint32_t key = Cookie_hostKey("example.com");
    struct Case {
        const char *what;
        std::string index;
        bool reset;
        uint32_t count;
    } cases[] = {
        {"good", record(1, 0, key, 0, 5), false, 1},
        {"21 bytes", record(1, 0, key, 0, 5) + "x", true, 0},
        {"empty", "empty", true, 0},
        {"empty padded", "empty" + std::string(15, '\0'), true, 0},
        {"session kind", record(1 << 2, 0, key, 0, 5), true, 0},
        {"bit 7", record(0x80, 0, key, 0, 5), true, 0},
        {"transient marks", record(0x61, 0, key, 0, 5), false, 1},
        {"zero bytes", "", false, 0},
        {"chain out of the file", record(0, 7, key, 0, 5), false, 0},
    };
    for (const Case &c : cases) {
        writeFile(dir + "/ck/cdata.dat", oneBlock);
        writeFile(dir + "/ck/cindex.dat", c.index);
        open();
        EXPECT_EQ(ctx()->cookies->openStatus, c.reset ? Res_cookieCorruptIndex : 0) << c.what;
        EXPECT_EQ(ctx()->cookies->count, c.count) << c.what;
        if (c.count) {
            EXPECT_EQ(ctx()->cookies->records[0].flags, 1u) << c.what;
        }
        EXPECT_EQ(file("cdata.dat"), c.reset ? header : oneBlock) << c.what;
        if (c.reset) {
            EXPECT_FALSE(exists(dir + "/ck/cindex.dat")) << c.what;
        }
        close();
    }
}

TEST_F(CookieTest, BadDataFilesAndChains)
{
    std::string header = std::string("Cook") + "Version 1.0" + std::string(1, '\0');
    uint32_t key = Cookie_hostKey("example.com");
    auto block = [](uint32_t used, uint32_t next, uint32_t prev, const std::string &text) {
        return le32(used) + le32(next) + le32(prev) + text + std::string(256 - text.size(), '\0');
    };
    // A bad data header: the files are deleted and made afresh.
    writeFile(dir + "/ck/cdata.dat", std::string("Junk") + "Version 1.0" + std::string(1, '\0'));
    writeFile(dir + "/ck/cindex.dat", record(0, 0, key, 0, 5));
    writeFile(dir + "/ck/cpolicy.dat", "BLOCK example.com\n");
    open();
    EXPECT_EQ(ctx()->cookies->count, 0u);
    EXPECT_EQ(file("cdata.dat"), header);
    EXPECT_FALSE(exists(dir + "/ck/cpolicy.dat"));
    close();
    // A chain looping through two blocks, a block naming itself, a block
    // claiming more than its payload: the records are dropped.
    std::string data =
        header + block(3, 1, 0xFFFFFFFF, "a=1") + block(3, 0, 0, "b=2") +
        block(3, 2, 0xFFFFFFFF, "c=3") + block(300, 0xFFFFFFFF, 0xFFFFFFFF, "d=4") +
        block(23, 0xFFFFFFFF, 0xFFFFFFFF, std::string("e=5;Domain=example.com") + '\0');
    writeFile(dir + "/ck/cdata.dat", data);
    writeFile(dir + "/ck/cindex.dat", record(0, 0, key, 0, 5) + record(0, 2, key, 0, 5) +
                                          record(0, 3, key, 0, 5) + record(0, 4, key, 0, 5));
    open();
    ASSERT_EQ(ctx()->cookies->count, 1u);
    EXPECT_EQ(ctx()->cookies->records[0].firstBlock, 4);
    EXPECT_EQ(request("http://example.com/"), "e=5");
    close();
    // Freeing a looping chain stops after as many blocks as the file holds.
    inTask([&] {
        Url *u = Url_newFromCstr("file://localhost/ck/loop.dat");
        writeFile(dir + "/ck/loop.dat",
                  header + block(3, 1, 0xFFFFFFFF, "a=1") + block(3, 0, 0, "b=2"));
        CookieFile *f = nullptr;
        ASSERT_EQ(CookieFile_open(ctx(), u, 256, &f), 0);
        char *text = nullptr;
        size_t n = 0;
        EXPECT_EQ(CookieFile_readChain(f, 0, &text, &n), -1);
        CookieFile_freeChain(f, 0);
        EXPECT_EQ(CookieFile_writeChain(f, "xyz", 4), 0);
        CookieFile_close(f);
        Url_free(u);
    });
}

TEST_F(CookieTest, PolicyFileWindows)
{
    std::string longLine = "BLOCK " + std::string(300, 'a') + ".com\nBLOCK late.example.com\n";
    struct Case {
        std::string text;
        const char *host;
        uint32_t policy;
    } cases[] = {
        {"# comment\n\r\n  \tBLOCK\tads.example.com\nCONFIRM example.com", "x.ads.example.com", 1},
        {"# comment\n\r\n  \tBLOCK\tads.example.com\nCONFIRM example.com", "www.example.com", 2},
        {"blockads.example.com\n", "ads.example.com", 1},
        {"BLOCK default\nCONFIRM good.example.com\n", "other.org", 1},
        {"BLOCK default\nCONFIRM good.example.com\n", "good.example.com", 2},
        {"ALLOW x.example.com\nBLOCK y.example.com", "y.example.com", 1},
        {longLine, "late.example.com", 0},
    };
    for (const Case &c : cases) {
        writeFile(dir + "/ck/cpolicy.dat", c.text);
        open();
        inTask([&] { EXPECT_EQ(CookieStore_getPolicy(ctx(), c.host), c.policy) << c.text; });
        close();
    }
}

TEST_F(CookieTest, LastUseIsRewrittenInPlaceAfterADay)
{
    open();
    EXPECT_EQ(store(kPage, (std::string("a=1") + k2025).c_str()), 0);
    EXPECT_EQ(store(kPage, (std::string("b=2") + k2025).c_str()), 0);
    setNow(kNow + 86401);
    EXPECT_EQ(request("http://www.example.com/dir/"), "a=1; b=2");
    std::string index = file("cindex.dat");
    ASSERT_EQ(index.size(), 40u);
    EXPECT_EQ(index.substr(16, 4), le32(uint32_t(kNow + 86391)));
    EXPECT_EQ(index.substr(36, 4), le32(uint32_t(kNow + 86391)));
    // Times after 2106 are kept saturated in the file (a and b have
    // expired by then and are dropped).
    close();
    setNow(int64_t(1) << 33);
    open();
    EXPECT_EQ(store(kPage, "c=3; max-age=100"), 0);
    index = file("cindex.dat");
    ASSERT_EQ(index.size(), 20u);
    EXPECT_EQ(index.substr(12, 8), le32(0xFFFFFFFF) + le32(0xFFFFFFFF));
    EXPECT_EQ(request("http://www.example.com/dir/"), "c=3");
}

TEST_F(CookieTest, FilesAreReplacedWholeThroughATemporaryFile)
{
    open();
    EXPECT_EQ(store(kPage, (std::string("a=1") + k2025).c_str()), 0);
    std::string before = file("cindex.dat");
    // A directory in the temporary file's place makes the write fail: the
    // old index stays as it was.
    mkdir((dir + "/ck/cindex.dat.new").c_str(), 0700);
    EXPECT_EQ(store(kPage, (std::string("b=2") + k2025).c_str()), 0);
    EXPECT_EQ(file("cindex.dat"), before);
    rmdir((dir + "/ck/cindex.dat.new").c_str());
    EXPECT_EQ(store(kPage, (std::string("c=3") + k2025).c_str()), 0);
    EXPECT_EQ(file("cindex.dat").size(), 60u);
}

} // namespace
