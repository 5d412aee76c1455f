// Hash tables: the 16-bit keyed table (hash formula, keys that share a
// bucket, bucket 0 and the empty key, value chains, prefixed keys, a random
// run against std::unordered_map, memory exhaustion), the byte interning
// table and use-counted record lists.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "core/container/intern.h"
#include "core/container/widedict.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "tests/support/heap_fixture.h"
#include "tests/support/test_engine.h"

namespace {

using U16 = std::u16string;

class HashTest : public LeakCheckedHeapTest<8u << 20> {};

void *val(uintptr_t v)
{
    return reinterpret_cast<void *>(v);
}

// The bucket hash of a key, in 64-bit arithmetic cut to 32 bits at each
// step: h starts as the first unit (0 for an empty key) and m as 63689;
// for each following unit c, h = c + m * h and then m = m * 378551.
uint32_t refHash(const U16 &k)
{
    if (k.empty())
        return 0;
    uint64_t h = k[0], m = 63689;
    for (size_t i = 1; i < k.size(); i++) {
        h = (k[i] + m * h) & 0xFFFFFFFFu;
        m = (m * 378551) & 0xFFFFFFFFu;
    }
    return static_cast<uint32_t>(h);
}

std::vector<uintptr_t> chainOf(const WideDictEntry *e)
{
    std::vector<uintptr_t> v;
    for (; e; e = e->nextValue)
        v.push_back(reinterpret_cast<uintptr_t>(e->value));
    return v;
}

// Keys whose hashes meet in one bucket are all kept (with 4 buckets many
// of them meet), including the keys of bucket 0 and the empty key.
TEST_F(HashTest, WideDictKeepsKeysThatShareABucket)
{
    WideDict *d = WideDict_create(4);
    ASSERT_NE(d, nullptr);
    std::vector<U16> keys = {u"", u"alpha", u"beta", u"gamma", u"delta", u"eps", u"zeta", u"eta"};
    int inBucket0 = 0;
    for (size_t i = 0; i < keys.size(); i++) {
        ASSERT_EQ(WideDict_add(d, keys[i].c_str(), val(i + 1), 0), 0) << i;
        inBucket0 += refHash(keys[i]) % 4 == 0;
    }
    EXPECT_GE(inBucket0, 2) << "the table must see keys of bucket 0";
    for (size_t i = 0; i < keys.size(); i++) {
        size_t bucket = 99;
        WideDictEntry *e = WideDict_lookup(d, keys[i].c_str(), nullptr, &bucket);
        ASSERT_NE(e, nullptr) << i;
        EXPECT_EQ(e->value, val(i + 1));
        EXPECT_EQ(bucket, refHash(keys[i]) % 4);
        EXPECT_EQ(U16(e->key), keys[i]);
    }
    EXPECT_EQ(WideDict_lookup(d, u"omega", nullptr, nullptr), nullptr);
    EXPECT_EQ(WideDict_remove(d, u"gamma", nullptr), 1);
    EXPECT_EQ(WideDict_lookup(d, u"gamma", nullptr, nullptr), nullptr);
    EXPECT_NE(WideDict_lookup(d, u"delta", nullptr, nullptr), nullptr);
    EXPECT_EQ(WideDict_remove(d, u"gamma", nullptr), 0);
    WideDict_free(d);
}

TEST_F(HashTest, WideDictSecondValues)
{
    WideDict *d = WideDict_create(16);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(WideDict_add(d, u"k", val(1), 0), 0);
    EXPECT_EQ(WideDict_add(d, u"k", val(2), 0), Res_slotInUse);
    EXPECT_EQ(WideDict_add(d, u"k", val(2), 1), 0);
    EXPECT_EQ(WideDict_add(d, u"k", val(3), 1), 0);
    EXPECT_EQ(chainOf(WideDict_lookup(d, u"k", nullptr, nullptr)),
              (std::vector<uintptr_t>{1, 2, 3}));
    EXPECT_EQ(WideDict_add(nullptr, u"k", val(1), 0), Res_nullInput);
    EXPECT_EQ(WideDict_add(d, nullptr, val(1), 0), Res_nullInput);
    EXPECT_EQ(WideDict_create(0), nullptr);
    WideDict_free(d);
    WideDict_free(nullptr);
}

TEST_F(HashTest, WideDictPrefixedKeys)
{
    WideDict *d = WideDict_create(32);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(WideDict_addPrefixed(d, u"svg", u"rect", val(10)), 0);
    ASSERT_EQ(WideDict_addPrefixed(d, u"svg", u"circle", val(11)), 0);
    ASSERT_EQ(WideDict_addPrefixed(d, u"xl", u"sheet", val(20)), 0);
    EXPECT_EQ(WideDict_addPrefixed(d, u"svg", u"rect", val(12)), Res_slotInUse);

    WideDictEntry *e = WideDict_lookup(d, u"svg", u"circle", nullptr);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(U16(e->key), u"svg:circle");
    EXPECT_EQ(e->value, val(11));
    EXPECT_EQ(WideDict_lookup(d, u"svg:circle", nullptr, nullptr), e);

    void **values;
    size_t count;
    ASSERT_EQ(WideDict_listKeys(d, u"svg", &values, &count, 1), 0);
    ASSERT_EQ(count, 2u) << "a refused add leaves nothing under the prefix";
    EXPECT_EQ(values[0], val(10));
    EXPECT_EQ(values[1], val(11));
    Mem_free(values);
    ASSERT_EQ(WideDict_listKeys(d, u"svg", &values, &count, 0), 0);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(values[0], val(10));
    Mem_free(values);
    ASSERT_EQ(WideDict_listKeys(d, u"none", &values, &count, 1), 0);
    EXPECT_EQ(values, nullptr);
    EXPECT_EQ(count, 0u);

    // Removing a prefixed key takes its value off the prefix as well; the
    // prefix goes with its last value.
    EXPECT_EQ(WideDict_remove(d, u"svg", u"rect"), 1);
    EXPECT_EQ(WideDict_lookup(d, u"svg", u"rect", nullptr), nullptr);
    EXPECT_EQ(chainOf(WideDict_lookup(d, u"svg", nullptr, nullptr)), (std::vector<uintptr_t>{11}));
    EXPECT_EQ(WideDict_remove(d, u"svg", u"circle"), 1);
    EXPECT_EQ(WideDict_lookup(d, u"svg", nullptr, nullptr), nullptr);
    EXPECT_EQ(WideDict_remove(d, u"svg", u"circle"), 0);
    EXPECT_NE(WideDict_lookup(d, u"xl", u"sheet", nullptr), nullptr);
    WideDict_free(d);
}

TEST_F(HashTest, WideDictOutOfMemoryLeavesTableAsItWas)
{
    WideDict *d = WideDict_create(8);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(WideDict_addPrefixed(d, u"p", u"one", val(1)), 0);
    size_t before = TestHeap_usedBytes();
    for (uint64_t n = 1;; n++) {
        Mem_failAfter(n);
        int r = WideDict_addPrefixed(d, u"p", u"two", val(2));
        Mem_failAfter(0);
        if (r == 0)
            break;
        ASSERT_EQ(r, Res_noMemory);
        ASSERT_EQ(TestHeap_usedBytes(), before) << "failing allocation " << n;
        ASSERT_EQ(WideDict_lookup(d, u"p", u"two", nullptr), nullptr);
        ASSERT_EQ(chainOf(WideDict_lookup(d, u"p", nullptr, nullptr)), (std::vector<uintptr_t>{1}));
    }
    EXPECT_EQ(chainOf(WideDict_lookup(d, u"p", nullptr, nullptr)), (std::vector<uintptr_t>{1, 2}));
    void **values;
    size_t count;
    Mem_failAfter(1);
    EXPECT_EQ(WideDict_listKeys(d, u"p", &values, &count, 1), Res_noMemory);
    EXPECT_EQ(values, nullptr);
    EXPECT_EQ(count, 0u);
    WideDict_free(d);
}

// Random adds (with and without second values) and removals against a map.
TEST_F(HashTest, WideDictRandomRunMatchesReference)
{
    WideDict *d = WideDict_create(13);
    ASSERT_NE(d, nullptr);
    std::map<U16, std::vector<uintptr_t>> ref;
    std::mt19937 rng(5);
    for (int step = 0; step < 3000; step++) {
        U16 key;
        for (size_t i = rng() % 3; i > 0; i--)
            key += static_cast<char16_t>(u'a' + rng() % 6);
        uintptr_t v = static_cast<uintptr_t>(step + 1);
        int op = static_cast<int>(rng() % 3);
        if (op == 2) {
            int r = WideDict_remove(d, key.c_str(), nullptr);
            ASSERT_EQ(r, ref.erase(key) ? 1 : 0);
            continue;
        }
        int r = WideDict_add(d, key.c_str(), val(v), op);
        auto it = ref.find(key);
        if (it != ref.end() && op == 0) {
            ASSERT_EQ(r, Res_slotInUse);
        } else {
            ASSERT_EQ(r, 0);
            ref[key].push_back(v);
        }
    }
    for (auto &[key, values] : ref)
        ASSERT_EQ(chainOf(WideDict_lookup(d, key.c_str(), nullptr, nullptr)), values);
    size_t entries = 0;
    for (size_t b = 0; b < d->bucketCount; b++)
        for (WideDictEntry *e = d->buckets[b]; e; e = e->nextKey)
            entries++;
    EXPECT_EQ(entries, ref.size());
    WideDict_free(d);
}

// ------------------------------------------------------- intern table

uint32_t refInternBucket(const std::string &s)
{
    uint32_t h = 5381;
    for (unsigned char c : s)
        h = h * 33u + c;
    return (h * 0x9e3779b9u) >> 22;
}

TEST_F(HashTest, InternSameTextSameAddress)
{
    InternTable *t = static_cast<InternTable *>(Mem_calloc(1, sizeof(InternTable)));
    ASSERT_NE(t, nullptr);
    const char *a = Intern_cstr(t, "Helvetica");
    ASSERT_NE(a, nullptr);
    EXPECT_STREQ(a, "Helvetica");
    char copy[] = "Helvetica";
    EXPECT_EQ(Intern_cstr(t, copy), a);
    EXPECT_NE(Intern_cstr(t, "helvetica"), a);
    EXPECT_EQ(Intern_bytes(t, "Helvetica-Bold", 9), a);

    // Strings with 0 bytes of their own are told apart by length.
    const char *z1 = Intern_bytes(t, "ab\0c", 4);
    const char *z2 = Intern_bytes(t, "ab\0d", 4);
    const char *z3 = Intern_bytes(t, "ab", 2);
    EXPECT_NE(z1, z2);
    EXPECT_NE(z1, z3);
    EXPECT_EQ(Intern_bytes(t, "ab\0c", 4), z1);
    EXPECT_EQ(memcmp(z1, "ab\0c\0", 5), 0);
    const char *empty = Intern_bytes(t, "", 0);
    EXPECT_STREQ(empty, "");
    EXPECT_EQ(Intern_bytes(t, "x", 0), empty);

    Intern_clear(t);
    Mem_free(t);
}

TEST_F(HashTest, InternBucketsAndMoveToFront)
{
    for (const char *s : {"", "a", "Times-Roman", "\xff\x80"})
        EXPECT_EQ(Intern_bucket(s, strlen(s)), refInternBucket(s)) << s;
    // Find three strings of one bucket, intern them, then ask for the
    // oldest: it comes to the front of the bucket.
    std::map<uint32_t, std::vector<std::string>> byBucket;
    std::vector<std::string> same;
    for (int i = 0; same.empty(); i++) {
        std::string s = "name" + std::to_string(i);
        auto &v = byBucket[refInternBucket(s)];
        v.push_back(s);
        if (v.size() == 3)
            same = v;
    }
    InternTable *t = static_cast<InternTable *>(Mem_calloc(1, sizeof(InternTable)));
    ASSERT_NE(t, nullptr);
    const char *first = Intern_cstr(t, same[0].c_str());
    Intern_cstr(t, same[1].c_str());
    const char *last = Intern_cstr(t, same[2].c_str());
    uint32_t b = refInternBucket(same[0]);
    EXPECT_EQ(t->heads[b]->bytes, last);
    EXPECT_EQ(Intern_cstr(t, same[0].c_str()), first);
    EXPECT_EQ(t->heads[b]->bytes, first);
    int n = 0;
    for (InternTableNode *p = t->heads[b]; p; p = p->next)
        n++;
    EXPECT_EQ(n, 3);

    Mem_failAfter(1);
    EXPECT_EQ(Intern_cstr(t, "new"), nullptr);
    Mem_failAfter(1);
    const char *hit = Intern_cstr(t, same[1].c_str());
    Mem_failAfter(0);
    EXPECT_NE(hit, nullptr) << "a hit needs no memory";
    EXPECT_EQ(hit, t->heads[b]->bytes);
    Intern_clear(t);
    for (auto *h : t->heads)
        EXPECT_EQ(h, nullptr);
    Mem_free(t);
}

// ------------------------------------------------------ intern lists

struct Key {
    uint32_t words[9];
};

int keyEqual(const void *record, const void *key)
{
    return memcmp(record, key, sizeof(Key)) == 0;
}

std::vector<uint32_t> listOrder(InternNode *head)
{
    std::vector<uint32_t> v;
    for (; head; head = head->next)
        v.push_back(static_cast<Key *>(head->record)->words[0]);
    return v;
}

void freeList(InternNode *head)
{
    while (head) {
        InternNode *next = head->next;
        Mem_free(head);
        head = next;
    }
}

TEST_F(HashTest, InternListCountsAndDrift)
{
    InternNode *head = nullptr;
    Key k[3] = {{{1}}, {{2}}, {{3}}};
    InternNode *n[3];
    for (int i = 0; i < 3; i++) {
        ASSERT_EQ(InternList_acquire(&head, &k[i], sizeof(Key), keyEqual, &n[i]), 0);
        EXPECT_EQ(n[i]->useCount, 1u);
        EXPECT_NE(n[i]->record, &k[i]) << "the node keeps a copy";
    }
    EXPECT_EQ(listOrder(head), (std::vector<uint32_t>{3, 2, 1}));

    Key again = k[0];
    InternNode *got;
    ASSERT_EQ(InternList_acquire(&head, &again, sizeof(Key), keyEqual, &got), 0);
    EXPECT_EQ(got, n[0]);
    EXPECT_EQ(got->useCount, 2u);
    EXPECT_EQ(listOrder(head), (std::vector<uint32_t>{3, 1, 2})) << "one place forward";
    ASSERT_EQ(InternList_acquire(&head, &again, sizeof(Key), keyEqual, &got), 0);
    EXPECT_EQ(listOrder(head), (std::vector<uint32_t>{1, 3, 2}));
    ASSERT_EQ(InternList_acquire(&head, &k[1], sizeof(Key), keyEqual, &got), 0);
    EXPECT_EQ(got->useCount, 2u);
    EXPECT_EQ(listOrder(head), (std::vector<uint32_t>{1, 2, 3}));
    ASSERT_EQ(InternList_acquire(&head, &k[1], sizeof(Key), keyEqual, &got), 0);
    EXPECT_EQ(listOrder(head), (std::vector<uint32_t>{1, 2, 3})) << "3 is not above 3";

    InternList_release(n[2]);
    InternList_release(n[2]);
    EXPECT_EQ(n[2]->useCount, 0u) << "never below 0";
    InternList_release(nullptr);

    Key fresh = {{9}};
    Mem_failAfter(1);
    EXPECT_EQ(InternList_acquire(&head, &fresh, sizeof(Key), keyEqual, &got), 1);
    EXPECT_EQ(got, nullptr);
    EXPECT_EQ(listOrder(head), (std::vector<uint32_t>{1, 2, 3}));
    freeList(head);
}

TEST_F(HashTest, InternListPurgeDropsUnusedNodesAndFreeDropsAll)
{
    // Counts (from the head) per case; purging keeps the used ones in order.
    struct Case {
        std::vector<uint32_t> counts, kept;
    } cases[] = {
        {{0, 2, 0}, {2}},
        {{0, 0}, {}},
        {{1, 0, 3, 0, 5}, {1, 3, 5}},
        {{}, {}},
    };
    for (const Case &c : cases) {
        InternNode *head = nullptr;
        for (size_t i = c.counts.size(); i-- > 0;) {
            Key k = {{uint32_t(i)}};
            InternNode *n = nullptr;
            ASSERT_EQ(InternList_acquire(&head, &k, sizeof(Key), keyEqual, &n), 0);
            n->useCount = c.counts[i];
        }
        InternList_purge(&head);
        std::vector<uint32_t> kept;
        for (InternNode *n = head; n; n = n->next)
            kept.push_back(n->useCount);
        EXPECT_EQ(kept, c.kept);
        // Freeing takes nodes still in use too.
        InternList_free(&head);
        EXPECT_EQ(head, nullptr);
    }
    InternList_free(nullptr);
}

TEST_F(HashTest, InternKeysCompareWordEightOnlyByZero)
{
    // Word 8 counts as zero or non-zero; words 0-7 count exactly.
    struct Case {
        uintptr_t a8, b8;
        int other; // index of a word 0-7 that differs, -1 for none
        int equal;
    } cases[] = {
        {1, 2, -1, 1}, {0, 0, -1, 1}, {0, 1, -1, 0}, {5, 0, -1, 0}, {1, 1, 0, 0}, {1, 1, 7, 0},
    };
    for (const Case &c : cases) {
        InternKey a{}, b{};
        for (int i = 0; i < 8; i++)
            a.words[i] = b.words[i] = uintptr_t(0x1000 + i);
        a.words[8] = c.a8;
        b.words[8] = c.b8;
        if (c.other >= 0)
            b.words[c.other]++;
        EXPECT_EQ(InternList_keyEqual(&a, &b), c.equal) << c.a8 << " " << c.b8 << " " << c.other;
    }
    // A pointer word keeps all its bits: keys differing only above bit 31
    // are not equal.
    InternKey p{}, q{};
    p.words[0] = uintptr_t(1) << (sizeof(uintptr_t) * 8 - 1);
    EXPECT_EQ(InternList_keyEqual(&p, &q), 0);

    // The list shares one node among equal keys.
    InternNode *head = reinterpret_cast<InternNode *>(uintptr_t(1));
    InternList_init(&head);
    EXPECT_EQ(head, nullptr);
    InternKey k1{}, k2{};
    k1.words[8] = 1;
    k2.words[8] = 2;
    InternNode *n1 = nullptr, *n2 = nullptr;
    ASSERT_EQ(InternList_acquire(&head, &k1, sizeof k1, InternList_keyEqual, &n1), 0);
    ASSERT_EQ(InternList_acquire(&head, &k2, sizeof k2, InternList_keyEqual, &n2), 0);
    EXPECT_EQ(n1, n2);
    EXPECT_EQ(n1->useCount, 2u);
    InternList_free(&head);
}

} // namespace
