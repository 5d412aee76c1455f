// URL parsing, parts, rendering, comparison and host parts.
#include "tests/platform/file_fixture.h"

#include "core/result.h"
#include "core/text/fmt.h"

#include <cstring>

namespace {

using UrlTest = HeapFixture;

struct ParseCase {
    const char *text;
    uint32_t scheme;
    const char *host; // "(null)" for none
    const char *path;
    const char *query;
    const char *fragment;
};

std::string describe(const Url *u)
{
    return std::to_string(Url_getScheme(u)) + "|" + S(u->host) + "|" + S(u->path) + "|" +
           S(u->query) + "|" + S(u->fragment);
}

std::string expected(const ParseCase &c)
{
    return std::to_string(c.scheme) + "|" + c.host + "|" + c.path + "|" + c.query + "|" +
           c.fragment;
}

// The strict parser (opaque on, backslash off).
const ParseCase strictCases[] = {
    {"http://example.org/a/b?q=1#top", 5, "example.org", "/a/b", "q=1", "top"},
    {"HTTP://Example.ORG", 5, "Example.ORG", "", "(null)", "(null)"},
    {"file:///a/b", 3, "", "/a/b", "(null)", "(null)"},
    {"file://localhost/okala_dir/choices.txt", 3, "localhost", "/okala_dir/choices.txt", "(null)",
     "(null)"},
    {"C:\\docs\\a.doc", 3, "root", "/C:\\docs\\a.doc", "(null)", "(null)"},
    {"d:/x?y#z", 3, "root", "/d:/x?y#z", "(null)", "(null)"},
    {"mailto:someone", 8, "(null)", "someone", "(null)", "(null)"},
    {"foo:bar/baz", 11, "(null)", "bar/baz", "(null)", "(null)"},
    {"about:blank#x", 1, "(null)", "blank#x", "(null)", "(null)"},
    {"relative/path?q", 0, "(null)", "relative/path", "q", "(null)"},
    {"", 0, "(null)", "", "(null)", "(null)"},
    {"?", 0, "(null)", "", "", "(null)"},
    {"#", 0, "(null)", "", "(null)", ""},
    {"http://", 5, "", "", "(null)", "(null)"},
    {"http://h?#", 5, "h", "", "", ""},
    {"//host:8080/p", 0, "host:8080", "/p", "(null)", "(null)"},
    {"http://[::1]:8080/x", 5, "[::1]:8080", "/x", "(null)", "(null)"},
    {"http://u:p@h:1/", 5, "u:p@h:1", "/", "(null)", "(null)"},
    {"\\\\server\\share\\f", 0, "(null)", "\\\\server\\share\\f", "(null)", "(null)"},
    {"http://h/a%20b?c%23d#e%3F", 5, "h", "/a%20b", "c%23d", "e%3F"},
    {":nothing", 11, "(null)", "nothing", "(null)", "(null)"},
    {"a?b?c#d#e", 0, "(null)", "a", "b?c", "d#e"},
    {"h\xc3\xa9:x/y", 11, "(null)", "x/y", "(null)", "(null)"},
    {"\xe2\x82\xac:x", 0, "(null)", "\xe2\x82\xac:x", "(null)", "(null)"},
};

TEST_F(UrlTest, StrictParserTable)
{
    for (const ParseCase &c : strictCases) {
        Url *u = url(c.text);
        ASSERT_NE(u, nullptr) << c.text;
        EXPECT_EQ(describe(u), expected(c)) << c.text;
        Url_free(u);
    }
}

// The lenient parser (opaque off, backslash on, repairs).
const ParseCase lenientCases[] = {
    {"example.org:8080/x", 5, "example.org:8080", "/x", "(null)", "(null)"},
    {"ftp.site/pub", 4, "ftp.site", "/pub", "(null)", "(null)"},
    {"FTPserver", 4, "FTPserver", "/", "(null)", "(null)"},
    {"www.example.org", 5, "www.example.org", "/", "(null)", "(null)"},
    {"http://host", 5, "host", "/", "(null)", "(null)"},
    {"mailto:a@b", 8, "(null)", "a@b", "(null)", "(null)"},
    {"\\\\server\\share\\f.doc", 5, "server", "/share/f.doc", "(null)", "(null)"},
    {"[::1]:8080/x", 5, "[::1]:8080", "/x", "(null)", "(null)"},
    {"localhost:80", 5, "localhost:80", "/", "(null)", "(null)"},
    {"/abs/path", 0, "(null)", "/abs/path", "(null)", "(null)"},
};

TEST_F(UrlTest, LenientParserTable)
{
    for (const ParseCase &c : lenientCases) {
        std::u16string w = U(c.text);
        Url *u = Url_newLenient(w.c_str());
        ASSERT_NE(u, nullptr) << c.text;
        EXPECT_EQ(describe(u), expected(c)) << c.text;
        Url_free(u);
    }
}

TEST_F(UrlTest, SchemeTableAndKeptNames)
{
    Url *u = url("FoO:bar");
    EXPECT_EQ(Url_getScheme(u), 11u);
    char16_t *name = nullptr;
    EXPECT_EQ(Url_getPart(u, UrlPart_scheme, &name), 1);
    EXPECT_EQ(Take(name), "FoO");
    Url_free(u);
    u = url("HtTpS://x/");
    EXPECT_EQ(Url_getPart(u, UrlPart_scheme, &name), 1);
    EXPECT_EQ(Take(name), "https");
    EXPECT_EQ(u->schemeName, nullptr);
    Url_free(u);
    EXPECT_EQ(Url_schemeIdFromName(nullptr), 0u);
    EXPECT_EQ(Url_schemeIdFromName(u"MMS"), 9u);
    EXPECT_STREQ(Url_schemeName(10), "resource");
    EXPECT_EQ(Url_schemeName(11), nullptr);
    EXPECT_FALSE(Url_schemeIsHierarchical(0));
    EXPECT_FALSE(Url_schemeIsHierarchical(11));
    EXPECT_TRUE(Url_schemeIsHierarchical(9));
    u = url("x");
    EXPECT_EQ(Url_getPart(u, UrlPart_scheme, &name), 1);
    EXPECT_EQ(name, nullptr);
    Url_free(u);
}

TEST_F(UrlTest, PartsMaskAndRenderingRoundTrip)
{
    Url *u = url("file:///a/b");
    EXPECT_EQ(Url_getPartsMask(u), 1u | 2u | 4u);
    EXPECT_EQ(Take(Url_toString(u, 31)), "file:///a/b");
    Url_free(u);

    u = url("http:///p");
    EXPECT_EQ(Url_getPartsMask(u), 1u | 4u) << "an empty host counts only for file URLs";
    Url_free(u);

    const char *texts[] = {"http://u@h:81/a/b?x=1&y#f",
                           "mailto:me@x",
                           "foo:bar/baz",
                           "file:///a%20b",
                           "rel/x?q#",
                           "//h"};
    for (const char *t : texts) {
        u = url(t);
        EXPECT_EQ(Take(Url_toString(u, 31)), t);
        Url_free(u);
    }
    u = url("http://h/p?q#f");
    EXPECT_EQ(Take(Url_toString(u, UrlPart_path | UrlPart_query)), "/p?q");
    EXPECT_EQ(Take(Url_toString(u, UrlPart_scheme | UrlPart_extraSlashes | UrlPart_path)),
              "http:///p");
    EXPECT_EQ(TakeC(Url_toUtf8(u, 30)), "//h/p?q#f");
    Url_free(u);
}

TEST_F(UrlTest, GetPartDecodesFilePathsOnly)
{
    Url *u = url("file://localhost/a%3Fb%00c%2g%41");
    char16_t *p = nullptr;
    EXPECT_EQ(Url_getPart(u, UrlPart_path, &p), 1);
    EXPECT_EQ(Take(p), "/a?b%00c%2gA");
    EXPECT_EQ(Url_getPart(u, UrlPart_query, &p), 1);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(Url_getPart(u, 3, &p), 0) << "not a part code";
    Url_free(u);
    u = url("http://h/a%3Fb");
    EXPECT_EQ(Url_getPart(u, UrlPart_path, &p), 1);
    EXPECT_EQ(Take(p), "/a%3Fb");
    Url_free(u);
}

TEST_F(UrlTest, SetPartRehashesAndKeepsSchemeNames)
{
    Url *a = url("http://h/x");
    Url *b = url("http://h/y");
    EXPECT_FALSE(Url_equals(a, b));
    EXPECT_EQ(Url_setPart(b, UrlPart_path, u"/x"), 1);
    EXPECT_TRUE(Url_equals(a, b));
    EXPECT_EQ(Url_setPart(b, UrlPart_scheme, u"gopher"), 1);
    EXPECT_EQ(Url_getScheme(b), 11u);
    EXPECT_EQ(Take(Url_toString(b, 31)), "gopher://h/x");
    EXPECT_EQ(Url_setPart(b, UrlPart_scheme, u"FILE"), 1);
    EXPECT_EQ(Url_getScheme(b), 3u);
    EXPECT_EQ(b->schemeName, nullptr);
    EXPECT_EQ(Url_setPart(b, UrlPart_query, nullptr), 1);
    EXPECT_EQ(Url_setPart(b, 32, u"x"), 0);
    Url_free(a);
    Url_free(b);
}

TEST_F(UrlTest, CompareAndEquals)
{
    Url *a = url("http://Host/p?Q");
    Url *b = url("http://host/p?q");
    EXPECT_EQ(Url_compare(a, b, 2), 0);
    EXPECT_EQ(Url_compare(a, b, 8), 0);
    EXPECT_FALSE(Url_equals(a, b)) << "the hash sees the case of the host";
    Url_free(b);
    b = url("http://Host/P?Q");
    EXPECT_NE(Url_compare(a, b, 4), 0) << "paths compare exactly";
    EXPECT_GT(Url_compare(a, b, 4), 0);
    Url_free(b);
    b = url("https://Host/p?Q");
    EXPECT_LT(Url_compare(a, b, 1), 0);
    Url_free(b);
    b = url("HTTP://Host/p?Q");
    EXPECT_TRUE(Url_equals(a, b));
    Url_free(b);
    b = url("http:/p?Q");
    EXPECT_GT(Url_compare(a, b, 2), 0) << "a missing host sorts first";
    Url_free(a);
    Url_free(b);
    // A kept scheme name against the table names.
    a = url("zzz:x");
    b = url("http:x");
    EXPECT_GT(Url_compare(a, b, 1), 0);
    EXPECT_LT(Url_compare(b, a, 1), 0);
    Url_free(b);
    b = url("x");
    EXPECT_GT(Url_compare(a, b, 1), 0) << "id 11 beats a URL without scheme";
    Url_free(a);
    Url_free(b);
}

TEST_F(UrlTest, IsPathPrefixUsesDecodedPaths)
{
    Url *a = url("file://root/a%20b/");
    Url *b = url("file://ROOT/a b/c");
    EXPECT_TRUE(Url_isPathPrefix(a, b));
    EXPECT_FALSE(Url_isPathPrefix(b, a));
    Url *c = url("file://other/a b/c");
    EXPECT_FALSE(Url_isPathPrefix(a, c));
    Url_free(a);
    Url_free(b);
    Url_free(c);
}

TEST_F(UrlTest, HostPartsTable)
{
    struct Case {
        const char *host;
        int result;
        const char *user, *password, *name;
        uint16_t port;
    } cases[] = {
        {"h", 0, "(null)", "(null)", "h", 0},
        {"h:8080", 0, "(null)", "(null)", "h", 8080},
        {"u@h", 0, "u", "(null)", "h", 0},
        {"u:p@h:21", 0, "u", "p", "h", 21},
        {"u:p:q@h", 0, "u", "p:q", "h", 0},
        {"h:", 0, "(null)", "(null)", "h", 0},
        {"h:0", Res_urlBadPort, "", "", "", 0},
        {"h:65536", Res_urlBadPort, "", "", "", 0},
        {"h:65535", 0, "(null)", "(null)", "h", 65535},
        {"h:8x", Res_urlBadPort, "", "", "", 0},
        {"h:-1", Res_urlBadPort, "", "", "", 0},
        {"[::1]:8080", 0, "(null)", "(null)", "[::1]", 8080},
        {"[fe80::1]", 0, "(null)", "(null)", "[fe80::1]", 0},
        {"@h", 0, "", "(null)", "h", 0},
        {"", 0, "(null)", "(null)", "", 0},
    };
    for (const Case &c : cases) {
        Url *u = url(std::string("http://") + c.host + "/");
        char16_t *user = nullptr, *password = nullptr, *name = nullptr;
        uint16_t port = 1;
        int r = Url_getHostParts(u, &user, &password, &name, &port);
        EXPECT_EQ(r, c.result) << c.host;
        if (r == 0) {
            EXPECT_EQ(S(user), c.user) << c.host;
            EXPECT_EQ(S(password), c.password) << c.host;
            EXPECT_EQ(S(name), c.name) << c.host;
            EXPECT_EQ(port, c.port) << c.host;
        } else {
            EXPECT_EQ(name, nullptr);
            EXPECT_EQ(port, 0);
        }
        Mem_free(user);
        Mem_free(password);
        Mem_free(name);
        Url_free(u);
    }
    Url *u = url("mailto:x");
    char16_t *name = nullptr;
    EXPECT_EQ(Url_getHostParts(u, nullptr, nullptr, &name, nullptr), 0);
    EXPECT_EQ(name, nullptr);
    Url_free(u);
}

TEST_F(UrlTest, SetHostPartsRebuildsAndRefusesBadPorts)
{
    Url *u = url("http://u:p@h:81/x");
    EXPECT_EQ(Url_setHostParts(u, nullptr, nullptr, u"other", nullptr), 0);
    EXPECT_EQ(S(u->host), "u:p@other:81");
    EXPECT_EQ(Url_setHostParts(u, nullptr, nullptr, nullptr, u"99999"), Res_urlBadPort);
    EXPECT_EQ(S(u->host), "u:p@other:81") << "a bad port leaves the host";
    EXPECT_EQ(Url_setHostParts(u, u"", nullptr, nullptr, u""), 0);
    EXPECT_EQ(S(u->host), "other");
    Url *v = url("http://other/x");
    EXPECT_TRUE(Url_equals(u, v)) << "the hash follows the new host";
    Url_free(v);
    EXPECT_EQ(Url_setHostParts(u, u"me", u"pw", u"[::1]", u"8080"), 0);
    EXPECT_EQ(S(u->host), "me:pw@[::1]:8080");
    Url_free(u);
}

TEST_F(UrlTest, UserStringsBecomeFileUrls)
{
    struct Case {
        const char *text;
        int check;
        const char *rendered;
        const char *decodedPath;
    } cases[] = {
        {"/tmp/a b.doc", 1, "file://localhost//tmp/a b.doc", "//tmp/a b.doc"},
        {"/tmp/50%?#x", 1, "file://localhost//tmp/50%25%3F%23x", "//tmp/50%?#x"},
        {"http://h/p?q", 1, "http://h/p?q", "/p?q"},
        {"HTTPS://h/", 1, "https://h/", "/"},
        {"file:///x?y", 1, "file:///x%3Fy", "/x?y"},
        {"about:blank", 1, "about:blank", "blank"},
        {"http://h/p?q", 0, "file://localhost/http://h/p%3Fq", "/http://h/p?q"},
        {"docs/\xc3\xa9t\xc3\xa9.txt", 1, "file://localhost/docs/\xc3\xa9t\xc3\xa9.txt",
         "/docs/\xc3\xa9t\xc3\xa9.txt"},
    };
    for (const Case &c : cases) {
        Url *u = nullptr;
        ASSERT_EQ(Url_newFromUserString(c.text, &u, c.check), 0) << c.text;
        EXPECT_EQ(Take(Url_toString(u, 31)), c.rendered) << c.text;
        char16_t *p = nullptr;
        Url_getPart(u, UrlPart_path, &p);
        if (Url_getScheme(u) == UrlScheme_file)
            EXPECT_EQ(Take(p), c.decodedPath) << c.text;
        else
            Mem_free(p);
        Url_free(u);
    }
    Url *u = nullptr;
    std::u16string w = U("/x/\xc3\xa9");
    ASSERT_EQ(Url_newFromUserUstr(w.c_str(), &u, 1), 0);
    EXPECT_EQ(S(u->path), "//x/\xc3\xa9");
    Url_free(u);
}

TEST_F(UrlTest, FlagsClassAndDataParts)
{
    EXPECT_EQ(Url_getClass(nullptr), 1u);
    Url *u = url("http://h/");
    Url_setClass(u, 0x1F);
    EXPECT_EQ(Url_getClass(u), 0xFu);
    EXPECT_EQ(Url_getFlag16(u), 0u);
    Url_setFlag16(u, 0xFFFF);
    EXPECT_EQ(Url_getFlag16(u), 0x10u);
    EXPECT_EQ(Url_getScheme(u), 5u) << "flags leave the scheme alone";
    uint8_t *data = static_cast<uint8_t *>(Mem_malloc(4));
    std::memcpy(data, "body", 4);
    Url_setDataPart(ctx, u, "text/plain", data, 4);
    EXPECT_EQ(Url_getPartsMask(u) & 32, 32u);
    const char *type;
    const uint8_t *got;
    size_t len;
    Url_getDataPart(ctx, u, &type, &got, &len);
    EXPECT_STREQ(type, "text/plain");
    EXPECT_EQ(len, 4u);
    data = static_cast<uint8_t *>(Mem_malloc(4));
    Url_setDataPart(ctx, u, "x", data, 0);
    Url_getDataPart(ctx, u, &type, &got, &len);
    EXPECT_EQ(got, nullptr);
    EXPECT_EQ(len, 0u);
    Url_setDataPart(ctx, u, "x", nullptr, 9);
    Url_getDataPart(ctx, u, nullptr, nullptr, &len);
    EXPECT_EQ(len, 0u);
    Url *src = url("http://a/b?c#d");
    EXPECT_EQ(Url_storeTextForm(ctx, u, src), 0);
    EXPECT_STREQ(Url_getCstr(u), "http://a/b?c#d");
    Url *dst = url("x");
    EXPECT_EQ(Url_copyCstr(dst, u), 0);
    EXPECT_STREQ(Url_getCstr(dst), "http://a/b?c#d");
    EXPECT_EQ(Url_copyCstr(nullptr, u), Res_missingArgument);
    EXPECT_EQ(Url_assignLocation(dst, src), 0);
    EXPECT_TRUE(Url_equals(dst, src));
    Url_free(src);
    Url_free(dst);
    Url_free(u);
}

struct CountingHandler {
    UrlHandler base;
    int refs;
};

void retainCounting(UrlHandler *h)
{
    reinterpret_cast<CountingHandler *>(h)->refs++;
}

void releaseCounting(UrlHandler *h)
{
    reinterpret_cast<CountingHandler *>(h)->refs--;
}

const UrlHandlerOps countingOps = {retainCounting, releaseCounting};

TEST_F(UrlTest, HandlersAreRetainedByCopiesAndReleasedByFree)
{
    CountingHandler h = {{&countingOps, nullptr, 1}, 0};
    Url *u = url("http://h/");
    Url_setHandler(u, &h.base);
    EXPECT_EQ(h.refs, 1);
    Url *c = Url_copy(u);
    EXPECT_EQ(h.refs, 2);
    UrlPacked *p = Url_pack(u);
    EXPECT_EQ(h.refs, 2) << "the packed form does not retain";
    Url *back = Url_copy(reinterpret_cast<Url *>(p));
    EXPECT_EQ(h.refs, 3);
    EXPECT_EQ(Url_getHandler(back), &h.base);
    Url_free(back);
    Url_free(reinterpret_cast<Url *>(p));
    Url_free(c);
    Url_setHandler(u, nullptr);
    EXPECT_EQ(h.refs, 0);
    Url_free(u);
}

TEST_F(UrlTest, FormatterPrintsUrlsWithU)
{
    ASSERT_EQ(Url_registerFormat(), 0);
    Url *u = url("http://h/\xc3\xa9?q#f");
    char buf[64];
    Fmt_snprintf(buf, sizeof buf, "<%U>", static_cast<void *>(u));
    EXPECT_STREQ(buf, "<http://h/\xe9?q#f>") << "Latin-1 text";
    Url_unregisterFormat();
    Url_free(u);
}

TEST_F(UrlTest, ParsingSurvivesEveryAllocationFailure)
{
    const char *texts[] = {"http://u:p@host:80/a/b?q#f", "C:\\x\\y", "foo:opaque"};
    for (const char *t : texts) {
        std::u16string w = U(t);
        for (uint64_t n = 1;; n++) {
            size_t before = TestHeap_usedBytes();
            Mem_failAfter(n);
            Url *u = Url_newLenient(w.c_str());
            Mem_failAfter(0);
            if (u) {
                Url_free(u);
                break;
            }
            EXPECT_EQ(TestHeap_usedBytes(), before) << t << " failing allocation " << n;
            ASSERT_LT(n, 100u);
        }
    }
}

} // namespace
