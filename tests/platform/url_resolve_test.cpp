// URL resolution, dot-segment removal, copies and the packed form.
#include "tests/platform/file_fixture.h"

#include <cstring>

#include "core/text/cstr.h"
#include "core/text/ustr.h"

namespace {

using UrlResolveTest = HeapFixture;

struct Pair {
    const char *base;
    const char *rel;
    const char *result;
};

const Pair pairs[] = {
    {"http://h/a/b/d", "../c", "http://h/a/c"},
    {"http://h/a/b/d?q#f", "", "http://h/a/b/d?q#f"},
    {"http://h/a/b/d?q", "#x", "http://h/a/b/d?q#x"},
    {"http://h/a/b/d?q#f", "?r", "http://h/a/b/d?r"},
    {"http://h/a/b/d", "//other/p/../q", "http://other/p/../q"},
    {"http://h/a/b/d", "/x/./y/../z", "http://h/x/z"},
    {"http://h/a/b/", "c", "http://h/a/b/c"},
    {"http://h/a/b/", ".", "http://h/a/b/"},
    {"http://h/a/b/", "..", "http://h/a/"},
    {"http://h/a/b/", "../../../../x", "http://h/x"},
    {"http://h", "x", "http://h/x"},
    {"http://h/a", "https://k/z", "https://k/z"},
    {"http://h/a/b", "HTTP:c", "http://h/a/c"},
    {"http://h/a", "mailto:me", "mailto:me"},
    {"mailto:me", "other", "mailto:other"},
    {"foo:a/b", "c?d#e", "foo:c?d#e"},
    {"file://root/tmp/d/", "%2e%2e/x", "file://root/tmp/d/%2e%2e/x"},
    {"file://localhost/a/b", "file:///c", "file://localhost/c"},
    {"rel/base", "x", "rel/x"},
    {"http://h/a/b", "./", "http://h/a/"},
    {"http://h/a/b", "g;x=1/../y", "http://h/a/y"},
};

TEST_F(UrlResolveTest, ResolutionPairs)
{
    for (const Pair &p : pairs) {
        Url *base = url(p.base);
        std::u16string rel = U(p.rel);
        Url *out = Url_resolveText(ctx, rel.c_str(), base);
        ASSERT_NE(out, nullptr) << p.base << " + " << p.rel;
        EXPECT_EQ(Take(Url_toString(out, 31)), p.result) << p.base << " + " << p.rel;
        Url *reparsed = url(p.result);
        EXPECT_EQ(out->hash, reparsed->hash) << "resolve rehashes: " << p.result;
        Url_free(reparsed);
        Url_free(out);
        Url_free(base);
    }
}

TEST_F(UrlResolveTest, ResultTakesBaseClassAndHandler)
{
    Url *base = url("http://h/a/");
    Url_setClass(base, 7);
    Url *out = Url_resolveText(ctx, u"b", base);
    EXPECT_EQ(Url_getClass(out), 7u);
    Url_free(out);
    out = Url_resolveText(ctx, u"", base);
    EXPECT_EQ(Url_getClass(out), 7u);
    Url_free(out);
    Url_free(base);
}

TEST_F(UrlResolveTest, DotSegmentTable)
{
    const char *cases[][2] = {
        {"/a/.", "/a/"},
        {"/a/..", "/"},
        {"/..", "/"},
        {"/a/b/../c", "/a/c"},
        {"/a/../c", "/c"},
        {"/../c", "/c"},
        {"/a/./b/./c", "/a/b/c"},
        {"/a/b/..", "/a/"},
        {"/./", "/"},
        {"/a//../b", "/a/b"},
        {"/../../x", "/x"},
        {"/a/..b/c", "/a/..b/c"},
        {"/a/b/.../c", "/a/b/.../c"},
        {".", "."},
        {"/", "/"},
        {"", ""},
        {"/a/b/c/../../../../d", "/d"},
    };
    for (auto &c : cases) {
        std::u16string p = U(c[0]);
        Url_removeDotSegments(p.data());
        EXPECT_EQ(S(p.c_str()), c[1]) << c[0];
    }
}

TEST_F(UrlResolveTest, NoRootedPathClimbsAboveItsRoot)
{
    // Every combination of short segments: after removal no ".." segment
    // is left in a path that began with "/".
    const char *segs[] = {"a", ".", "..", "", "b.", "..."};
    for (int n = 1; n <= 4; n++) {
        int total = 1;
        for (int i = 0; i < n; i++)
            total *= 6;
        for (int k = 0; k < total; k++) {
            std::string path;
            for (int i = 0, v = k; i < n; i++, v /= 6)
                path += std::string("/") + segs[v % 6];
            std::u16string w = U(path);
            Url_removeDotSegments(w.data());
            std::string out = S(w.c_str());
            EXPECT_EQ(out[0], '/') << path;
            EXPECT_EQ((out + "/").find("/../"), std::string::npos) << path << " -> " << out;
        }
    }
}

TEST_F(UrlResolveTest, CopiesAreDeepAndEqual)
{
    Url *u = url("http://user@h/p?q#f");
    Url_setClass(u, 3);
    Url_setFlag16(u, Url_memoryMark);
    uint8_t *data = static_cast<uint8_t *>(Mem_malloc(3));
    std::memcpy(data, "abc", 3);
    Url_setDataPart(ctx, u, "t", data, 3);
    Url_setCstr(u, Cstr_dup("text form"));
    Url *c = Url_copy(u);
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(Url_equals(u, c));
    EXPECT_NE(c->path, u->path);
    EXPECT_NE(c->data, u->data);
    EXPECT_EQ(std::memcmp(c->data, "abc", 3), 0);
    EXPECT_EQ(Url_getClass(c), 3u);
    EXPECT_EQ(Url_getFlag16(c), Url_memoryMark);
    EXPECT_STREQ(Url_getCstr(c), "text form");
    Url_free(c);
    Url_free(u);
}

UrlNameValue *makeList(std::initializer_list<std::pair<const char *, uint16_t>> items)
{
    UrlNameValue *head = nullptr, **tail = &head;
    for (auto &it : items) {
        UrlNameValue *n = static_cast<UrlNameValue *>(Mem_calloc(1, sizeof(UrlNameValue)));
        n->name = Ustr_fromCstr(it.first);
        n->value = it.second;
        *tail = n;
        tail = &n->next;
    }
    return head;
}

TEST_F(UrlResolveTest, PackedUrlsCopyBackEqual)
{
    const char *texts[] = {"http://h\xc3\xa9/\xe4\xb8\xad\xe6\x96\x87/a?q=1#frag",
                           "mailto:x",
                           "foo:bar",
                           "file:///",
                           "",
                           "x?\xf0\x9f\x98\x80"};
    for (const char *t : texts) {
        Url *u = url(t);
        Url_setClass(u, 5);
        uint8_t *data = static_cast<uint8_t *>(Mem_malloc(5));
        std::memcpy(data, "12345", 5);
        Url_setDataPart(ctx, u, "type/x", data, 5);
        Url_setNameValues(u, makeList({{"one", 1}, {"two", 2}}));
        Url_setCstr(u, Cstr_dup(t));
        UrlPacked *p = Url_pack(u);
        ASSERT_NE(p, nullptr);
        Url *back = Url_copy(reinterpret_cast<Url *>(p));
        ASSERT_NE(back, nullptr);
        EXPECT_TRUE(Url_equals(u, back)) << t;
        EXPECT_EQ(Take(Url_toString(back, 31)), t);
        EXPECT_EQ(Url_getClass(back), 5u);
        EXPECT_STREQ(back->dataType, "type/x");
        ASSERT_EQ(back->dataLength, 5u);
        EXPECT_EQ(std::memcmp(back->data, "12345", 5), 0);
        EXPECT_STREQ(Url_getCstr(back), t);
        ASSERT_NE(back->nameValues, nullptr);
        EXPECT_EQ(S(back->nameValues->name), "one");
        EXPECT_EQ(back->nameValues->value, 1);
        ASSERT_NE(back->nameValues->next, nullptr);
        EXPECT_EQ(S(back->nameValues->next->name), "two");
        EXPECT_EQ(back->nameValues->next->next, nullptr);
        // A packed block packs again into an independent block.
        UrlPacked *again = Url_pack(reinterpret_cast<Url *>(p));
        Url_free(reinterpret_cast<Url *>(p));
        Url *third = Url_unpack(again);
        EXPECT_TRUE(Url_equals(u, third)) << t;
        Url_free(third);
        Url_free(reinterpret_cast<Url *>(again));
        Url_free(back);
        Url_free(u);
    }
}

TEST_F(UrlResolveTest, PackKeepsLoneSurrogatesExactly)
{
    const char16_t text[] = {u'h', u't', u't', u'p', u':', u'/', u'/', u'h', u'/', 0xD800, u'a', 0};
    Url *u = Url_new(text);
    UrlPacked *p = Url_pack(u);
    Url *back = Url_unpack(p);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->path[1], 0xD800);
    EXPECT_TRUE(Url_equals(u, back));
    Url_free(back);
    Url_free(reinterpret_cast<Url *>(p));
    Url_free(u);
}

TEST_F(UrlResolveTest, ResolveAndPackSurviveAllocationFailures)
{
    Url *base = url("http://h/a/b/c?q#f");
    Url_setNameValues(base, makeList({{"n", 1}}));
    for (uint64_t n = 1;; n++) {
        size_t before = TestHeap_usedBytes();
        Mem_failAfter(n);
        Url *r = Url_resolveText(ctx, u"../x/./y?z#w", base);
        Mem_failAfter(0);
        if (r) {
            EXPECT_EQ(Take(Url_toString(r, 31)), "http://h/a/x/y?z#w");
            Url_free(r);
            break;
        }
        EXPECT_EQ(TestHeap_usedBytes(), before) << n;
        ASSERT_LT(n, 100u);
    }
    for (uint64_t n = 1;; n++) {
        size_t before = TestHeap_usedBytes();
        Mem_failAfter(n);
        UrlPacked *p = Url_pack(base);
        Url *back = p ? Url_unpack(p) : nullptr;
        Mem_failAfter(0);
        Url_free(reinterpret_cast<Url *>(p));
        if (back) {
            EXPECT_TRUE(Url_equals(back, base));
            Url_free(back);
            break;
        }
        EXPECT_EQ(TestHeap_usedBytes(), before) << n;
        ASSERT_LT(n, 100u);
    }
    Url_free(base);
}

} // namespace
