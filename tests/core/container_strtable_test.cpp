// Interned name table: built-in ids, case-insensitive finding and
// interning, growth past the first capacity with every id kept, names
// beyond the built-in block, joined names, the 16-bit id limit and memory
// exhaustion at every allocation.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "core/text/strtable.h"
#include "core/text/ustr.h"
#include "tests/support/heap_fixture.h"
#include "tests/support/test_engine.h"

namespace {

using U16 = std::u16string;

class StrTableTest : public LeakCheckedHeapTest<32u << 20> {};

// The name of id as a std::u16string (through StrTable_getName).
U16 nameOf(const StrTable *t, uint16_t id)
{
    char16_t *s = StrTable_getName(t, id);
    if (!s)
        return u"<null>";
    U16 r(s);
    Mem_free(s);
    return r;
}

// The engine's case rule folded onto a whole string, for reference keys.
U16 folded(const U16 &s)
{
    U16 r = s;
    for (auto &c : r)
        c = static_cast<char16_t>(Ustr_lowerChar(c));
    return r;
}

const char kAB[] = "a\0b\0";

TEST_F(StrTableTest, BuiltinIdsAndAddedNames)
{
    StrTable *t = StrTable_create(kAB);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(StrTable_find(t, u"a"), 1);
    EXPECT_EQ(StrTable_find(t, u"B"), 2);
    EXPECT_EQ(StrTable_find(t, u"ab"), 0);
    EXPECT_EQ(StrTable_findN(t, u"a", 0), 0) << "no empty name in the table";
    EXPECT_EQ(StrTable_intern(t, u"ab"), 3);
    EXPECT_EQ(StrTable_intern(t, u"AB"), 3);
    EXPECT_EQ(StrTable_find(t, u"aB"), 3);
    EXPECT_EQ(StrTable_intern(t, u"A"), 1) << "a built-in name is never added again";

    EXPECT_EQ(nameOf(t, 1), u"a");
    EXPECT_EQ(nameOf(t, 3), u"ab");
    EXPECT_EQ(StrTable_getName(t, 0), nullptr);
    EXPECT_EQ(StrTable_getName(t, 4), nullptr);

    const char *n8;
    const char16_t *n16;
    size_t len;
    StrTable_entryAt(t, 2, &n8, &n16, &len);
    EXPECT_STREQ(n8, "b");
    EXPECT_EQ(n16, nullptr);
    EXPECT_EQ(len, 1u);
    StrTable_entryAt(t, 3, &n8, &n16, &len);
    EXPECT_EQ(n8, nullptr);
    EXPECT_EQ(U16(n16), u"ab");
    EXPECT_EQ(len, 2u);
    for (uint16_t bad : {0, 4, 65535}) {
        StrTable_entryAt(t, bad, &n8, &n16, &len);
        EXPECT_EQ(n8, nullptr);
        EXPECT_EQ(n16, nullptr);
        EXPECT_EQ(len, 0u);
    }
    StrTable_destroy(t);
    StrTable_destroy(nullptr);
}

TEST_F(StrTableTest, EmptyNameAndLengthsCutAtZero)
{
    StrTable *t = StrTable_create(nullptr);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(StrTable_find(t, u""), 0);
    uint16_t empty = StrTable_intern(t, u"");
    EXPECT_EQ(empty, 1);
    EXPECT_EQ(StrTable_findN(t, u"xyz", 0), empty);
    uint16_t ab = StrTable_intern(t, u"ab");
    // A name handed with a length that runs past a 0 unit ends at the 0.
    const char16_t withZero[] = {u'a', u'b', 0, u'c'};
    EXPECT_EQ(StrTable_internN(t, withZero, 4), ab);
    EXPECT_EQ(StrTable_findN(t, u"abc", 2), ab);
    StrTable_destroy(t);
}

TEST_F(StrTableTest, LatinLettersFoldBeyondAscii)
{
    StrTable *t = StrTable_create(nullptr);
    ASSERT_NE(t, nullptr);
    uint16_t id = StrTable_intern(t, u"\u00C4rger\u0141");
    EXPECT_EQ(StrTable_find(t, u"\u00E4RGER\u0142"), id);
    // Characters above U+017F are not folded.
    uint16_t sigma = StrTable_intern(t, u"\u03A3");
    EXPECT_NE(StrTable_intern(t, u"\u03C3"), sigma);
    StrTable_destroy(t);
}

// A sorted built-in block larger than the first capacity, then a few
// hundred added names in random order and case: every id keeps its name,
// every spelling finds it, and the names are found in the reference's
// order.
TEST_F(StrTableTest, GrowthKeepsEveryIdAgainstReference)
{
    std::vector<std::string> builtin;
    for (int i = 0; i < 45; i++) {
        char buf[16];
        snprintf(buf, sizeof buf, "b%02d", i);
        builtin.push_back(buf);
    }
    std::string block;
    for (auto &s : builtin)
        block += s + '\0';
    block += '\0';
    StrTable *t = StrTable_create(block.data());
    ASSERT_NE(t, nullptr);

    std::map<U16, uint16_t> ref; // folded name -> id
    for (size_t i = 0; i < builtin.size(); i++)
        ref[U16(builtin[i].begin(), builtin[i].end())] = static_cast<uint16_t>(i + 1);

    std::mt19937 rng(7);
    const char16_t letters[] = u"aBcDeF\u00C0\u00E0_-";
    for (int n = 0; n < 400; n++) {
        U16 name;
        size_t len = 1 + rng() % 5;
        for (size_t i = 0; i < len; i++)
            name += letters[rng() % 10];
        uint16_t id = StrTable_intern(t, name.c_str());
        ASSERT_NE(id, 0);
        auto it = ref.find(folded(name));
        if (it == ref.end()) {
            EXPECT_EQ(id, ref.size() + 1) << "new names take the next id";
            ref[folded(name)] = id;
        } else {
            EXPECT_EQ(id, it->second);
        }
    }
    ASSERT_GT(ref.size(), 100u);
    for (auto &[key, id] : ref) {
        EXPECT_EQ(folded(nameOf(t, id)), key);
        U16 upper = key;
        for (auto &c : upper)
            c = static_cast<char16_t>(Ustr_upperChar(c));
        EXPECT_EQ(StrTable_find(t, upper.c_str()), id);
    }
    // The sorted index runs in the table's name order.
    uint32_t total = t->builtinCount + t->addedCount;
    EXPECT_EQ(total, ref.size());
    for (uint32_t p = 1; p < total; p++) {
        U16 a = nameOf(t, t->posToId[p - 1]), b = nameOf(t, t->posToId[p]);
        size_t n = std::min(a.size(), b.size());
        int c = Ustr_nicmp(a.c_str(), b.c_str(), n);
        EXPECT_TRUE(c < 0 || (c == 0 && a.size() < b.size())) << p;
    }
    StrTable_destroy(t);
}

TEST_F(StrTableTest, JoinedNames)
{
    StrTable *t = StrTable_create(nullptr);
    ASSERT_NE(t, nullptr);
    uint16_t font = StrTable_intern(t, u"font");
    uint16_t dash = StrTable_intern(t, u"-");
    uint16_t size = StrTable_intern(t, u"size");
    uint16_t whole = StrTable_intern(t, u"font-size");
    uint16_t ids[] = {font, dash, size, 0};
    EXPECT_EQ(StrTable_findJoined(t, ids), whole);
    uint16_t reversed[] = {size, dash, font, 0};
    EXPECT_EQ(StrTable_findJoined(t, reversed), 0);
    uint16_t unknown[] = {font, 999, dash, size, 0};
    EXPECT_EQ(StrTable_findJoined(t, unknown), whole) << "an unknown id adds nothing";
    uint16_t none[] = {0};
    EXPECT_EQ(StrTable_findJoined(t, none), 0);

    // Longer than the stack buffer: assembled on the heap.
    uint16_t longName = StrTable_intern(t, u"font-sizefont-sizefont-size");
    uint16_t three[] = {whole, whole, whole, 0};
    EXPECT_EQ(StrTable_findJoined(t, three), longName);
    uint32_t added = t->addedCount;
    EXPECT_EQ(StrTable_findJoined(t, reversed), 0);
    EXPECT_EQ(t->addedCount, added) << "joining adds nothing";
    StrTable_destroy(t);
}

// Ids are 16-bit: the table refuses the name after id 65535 instead of
// wrapping to an id already given.
TEST_F(StrTableTest, IdsStopAt65535)
{
    StrTable *t = StrTable_create(nullptr);
    ASSERT_NE(t, nullptr);
    char16_t name[8] = u"n00000";
    for (uint32_t i = 0; i < StrTable_maxId; i++) {
        uint32_t v = i;
        for (int d = 5; d >= 1; d--, v /= 10)
            name[d] = static_cast<char16_t>(u'0' + v % 10);
        ASSERT_EQ(StrTable_intern(t, name), i + 1);
    }
    EXPECT_EQ(StrTable_intern(t, u"zzz"), 0);
    EXPECT_EQ(StrTable_find(t, u"zzz"), 0);
    EXPECT_EQ(StrTable_find(t, u"N65534"), 65535);
    EXPECT_EQ(nameOf(t, 65535), u"n65534");
    StrTable_destroy(t);
}

TEST_F(StrTableTest, OutOfMemoryAtEveryStep)
{
    std::string block;
    for (int i = 0; i < 30; i++)
        block += "k" + std::to_string(100 + i) + '\0';
    block += '\0';
    for (uint64_t n = 1;; n++) {
        Mem_failAfter(n);
        StrTable *t = StrTable_create(block.data());
        Mem_failAfter(0);
        if (t) {
            EXPECT_EQ(StrTable_find(t, u"K129"), 30);
            StrTable_destroy(t);
            break;
        }
        EXPECT_EQ(TestHeap_usedBytes(), baseline) << "create, failing allocation " << n;
    }

    StrTable *t = StrTable_create(block.data());
    ASSERT_NE(t, nullptr);
    std::vector<U16> names;
    for (int i = 0; i < 60; i++) {
        U16 name = u"added" + U16(1, static_cast<char16_t>(u'A' + i % 26)) +
                   U16(static_cast<size_t>(i / 26 + 1), u'x');
        for (uint64_t n = 1;; n++) {
            uint32_t before = t->addedCount;
            Mem_failAfter(n);
            uint16_t id = StrTable_intern(t, name.c_str());
            Mem_failAfter(0);
            if (id) {
                EXPECT_EQ(id, 30 + names.size() + 1);
                break;
            }
            ASSERT_EQ(t->addedCount, before);
            ASSERT_EQ(StrTable_find(t, name.c_str()), 0);
        }
        names.push_back(name);
        for (size_t j = 0; j < names.size(); j++)
            ASSERT_EQ(StrTable_find(t, names[j].c_str()), 31 + j);
    }
    StrTable_destroy(t);
}

} // namespace
