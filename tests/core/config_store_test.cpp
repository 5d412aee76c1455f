// The configuration store: defaults stored on first read, integer text,
// 8-bit and 16-bit keys, setters, the keyed lists under it, and settings
// that keep their value when a replacement cannot be stored.
#include "tests/core/config_fixture.h"

#include <unistd.h>

#include <string>

#include "core/config/keyedlist.h"
#include "core/text/ustr.h"
#include "core/result.h"

namespace {

using ConfigStoreTest = ConfigFixture;

TEST_F(ConfigStoreTest, FirstIntReadStoresItsDefaultInTheDefaultDomain)
{
    EXPECT_EQ(Config_getInt(ctx, store, nullptr, u"k", 5), 5u);
    EXPECT_EQ(stored("default", "k"), "5");
    EXPECT_EQ(Config_getInt(ctx, store, nullptr, u"k", 9), 5u);
    EXPECT_EQ(Config_getInt(ctx, store, u"default", u"k", 9), 5u);
    EXPECT_EQ(ConfigDump(store).size(), 1u);
    EXPECT_EQ(store->changed, 1u);
}

TEST_F(ConfigStoreTest, TextThatIsNotAnUnsignedNumberGivesTheDefaultAndStays)
{
    for (const char *text : {"0x10", "-1", " 7", "", "7 ", "+7", "12a"}) {
        SCOPED_TRACE(text);
        Config_setUstr(ctx, store, u"d", u"k", W(text).c_str(), 0);
        EXPECT_EQ(Config_getInt(ctx, store, u"d", u"k", 3), 3u);
        EXPECT_EQ(Config_getInt(ctx, store, u"d", u"k", 4), 4u);
        EXPECT_EQ(stored("d", "k"), text);
    }
    Config_setUstr(ctx, store, u"d", u"k", u"4294967297", 0);
    EXPECT_EQ(Config_getInt(ctx, store, u"d", u"k", 3), 1u) << "digits wrap modulo 2^32";
}

TEST_F(ConfigStoreTest, IntegersAreStoredAsUnsignedDecimalText)
{
    Config_setInt(ctx, store, u"d", u"minus", uint32_t(-1), 0);
    Config_setInt(ctx, store, u"d", u"colour", 0x808080ffu, 0);
    Config_setInt(ctx, store, u"d", u"zero", 0, 0);
    EXPECT_EQ(stored("d", "minus"), "4294967295");
    EXPECT_EQ(stored("d", "colour"), "2155905279");
    EXPECT_EQ(stored("d", "zero"), "0");
    EXPECT_EQ(Config_getInt(ctx, store, u"d", u"colour", 0), 0x808080ffu);
    EXPECT_EQ(static_cast<int32_t>(Config_getInt(ctx, store, u"d", u"minus", 0)), -1);
}

TEST_F(ConfigStoreTest, EightBitAndSixteenBitKeysReachTheSameSetting)
{
    EXPECT_EQ(Config_getIntA(ctx, store, u"D", "Zoom", 7), 7u);
    EXPECT_EQ(Config_getInt(ctx, store, u"D", u"Zoom", 1), 7u);
    Config_setIntA(ctx, store, u"D", "Zoom", 12, 0);
    EXPECT_EQ(Config_getInt(ctx, store, u"D", u"Zoom", 1), 12u);
    Config_setUstr(ctx, store, u"D", u"Zoom", u"13", 0);
    EXPECT_EQ(Config_getIntA(ctx, store, u"D", "Zoom", 1), 13u);
    EXPECT_EQ(ConfigDump(store).size(), 1u);

    // Keys and domains differ by case.
    EXPECT_EQ(Config_getIntA(ctx, store, u"D", "zoom", 2), 2u);
    EXPECT_EQ(Config_getIntA(ctx, store, u"d", "Zoom", 3), 3u);
    EXPECT_EQ(ConfigDump(store).size(), 3u);
}

// An 8-bit key is widened byte for byte when stored, so a lookup with the
// same 8-bit key must find it again rather than storing its default over
// the value.
TEST_F(ConfigStoreTest, LatinOneEightBitKeyFindsWhatItStored)
{
    Config_setUstrA(ctx, store, u"d", "caf\xe9", u"9", 0);
    EXPECT_EQ(stored("d", "caf\xe9"), "9");
    EXPECT_EQ(Config_getIntA(ctx, store, u"d", "caf\xe9", 1), 9u);
    EXPECT_EQ(Config_getInt(ctx, store, u"d", u"caf\u00e9", 1), 9u);
    char16_t *v = Config_getUstrA(ctx, store, u"d", "caf\xe9", u"x");
    EXPECT_EQ(N(v), "9");
    Mem_free(v);
    EXPECT_EQ(ConfigDump(store).size(), 1u);
}

TEST_F(ConfigStoreTest, StringReadsCopyAndStoreTheirDefault)
{
    EXPECT_EQ(getUstr(u"d", "name", u"first"), "first");
    EXPECT_EQ(getUstr(u"d", "name", u"second"), "first");

    // A null default leaves a key without value; an integer read of it then
    // stores its own default.
    EXPECT_EQ(getUstr(u"d", "empty", nullptr), "(null)");
    EXPECT_EQ(stored("d", "empty"), "(null)");
    EXPECT_EQ(getUstr(u"d", "empty", u"later"), "(null)");
    EXPECT_EQ(Config_getInt(ctx, store, u"d", u"empty", 6), 6u);
    EXPECT_EQ(stored("d", "empty"), "6");
}

TEST_F(ConfigStoreTest, NullStoreOrKeyAnswersTheDefaultAndStoresNothing)
{
    EXPECT_EQ(Config_getInt(ctx, nullptr, nullptr, u"k", 4), 4u);
    EXPECT_EQ(Config_getIntA(ctx, store, nullptr, nullptr, 4), 4u);
    char16_t *v = Config_getUstr(ctx, nullptr, nullptr, u"k", u"dflt");
    EXPECT_EQ(N(v), "dflt");
    Mem_free(v);
    EXPECT_EQ(Config_getUstrA(ctx, store, nullptr, nullptr, nullptr), nullptr);
    Config_setInt(ctx, nullptr, nullptr, u"k", 1, 0);
    Config_setUstr(ctx, store, nullptr, nullptr, u"v", 0);
    EXPECT_TRUE(ConfigDump(store).empty());
    EXPECT_EQ(store->changed, 0u);
    Config_freeStore(ctx, nullptr);
}

TEST_F(ConfigStoreTest, PutsMarkTheDomainOnlyWithMarkOne)
{
    EXPECT_EQ(Config_put(store, u"d", u"a", nullptr, u"1", 0), 1);
    KeyedEntry *e = nullptr;
    ASSERT_EQ(KeyedList_get(store->domains, u"d", KeyedList_keyUstr, &e), 0);
    ConfigDomain *d = reinterpret_cast<ConfigDomain *>(e);
    EXPECT_EQ(d->mark, 0);
    EXPECT_EQ(Config_put(store, u"d", u"b", nullptr, u"1", 2), 1);
    EXPECT_EQ(d->mark, 0);
    EXPECT_EQ(Config_put(store, u"d", u"c", nullptr, u"1", 1), 1);
    EXPECT_EQ(d->mark, 1);
    EXPECT_EQ(Config_put(store, u"d", nullptr, nullptr, u"1", 1), 0) << "a put needs a key";
}

TEST_F(ConfigStoreTest, DatPathIsTheWorkingDirectoryAndTheStoreName)
{
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    std::string dir = cwd;
    if (dir.back() != '/')
        dir += '/';
    ASSERT_NE(store->datPath, nullptr);
    EXPECT_EQ(std::string(store->datPath), dir + "x.dat");

    // The name goes to Latin-1; what it cannot hold becomes '?'.
    ConfigStore *other = Config_createStore(ctx, u"caf\u00e9\u4e2d");
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(std::string(other->datPath), dir + "caf\xe9?.dat");
    Config_freeStore(ctx, other);
    EXPECT_EQ(Config_createStore(ctx, nullptr), nullptr);
}

TEST_F(ConfigStoreTest, CreateStoreUnderAllocationFailureLeaksNothing)
{
    for (uint64_t n = 1;; n++) {
        size_t before = TestHeap_usedBytes();
        Mem_takeOutOfMemory();
        Mem_failAfter(n);
        ConfigStore *s = Config_createStore(ctx, u"name");
        bool failed = Mem_takeOutOfMemory();
        Mem_failAfter(0);
        if (s) {
            if (failed) {
                EXPECT_EQ(s->datPath, nullptr) << "only datPath may be lost";
            }
            Config_freeStore(ctx, s);
        }
        EXPECT_EQ(TestHeap_usedBytes(), before);
        if (!failed)
            break;
        ASSERT_LT(n, 50u);
    }
}

// A replacement that cannot be stored must leave the old value in place,
// whichever allocation fails (key copy, value copy or the table node).
TEST_F(ConfigStoreTest, ReplacementThatCannotBeStoredKeepsTheOldValue)
{
    Config_setUstr(ctx, store, u"d", u"k", u"old", 0);
    Config_setInt(ctx, store, u"d", u"n", 1, 0);
    size_t used = TestHeap_usedBytes();
    uint64_t n = 1;
    for (;; n++) {
        Mem_takeOutOfMemory();
        Mem_failAfter(n);
        Config_setUstr(ctx, store, u"d", u"k", u"new", 0);
        bool failed = Mem_takeOutOfMemory();
        Mem_failAfter(0);
        if (!failed)
            break;
        EXPECT_EQ(stored("d", "k"), "old") << "allocation " << n;
        EXPECT_EQ(TestHeap_usedBytes(), used);
        ASSERT_LT(n, 50u);
    }
    EXPECT_GE(n, 4u) << "key, value, record and node allocations all tried";
    EXPECT_EQ(stored("d", "k"), "new");

    for (n = 1;; n++) {
        Mem_takeOutOfMemory();
        Mem_failAfter(n);
        Config_setIntA(ctx, store, u"d", "n", 2, 0);
        bool failed = Mem_takeOutOfMemory();
        Mem_failAfter(0);
        if (!failed)
            break;
        EXPECT_EQ(Config_getInt(ctx, store, u"d", u"n", 0), 1u);
        ASSERT_LT(n, 50u);
    }
    EXPECT_EQ(Config_getInt(ctx, store, u"d", u"n", 0), 2u);
}

TEST_F(ConfigStoreTest, DefaultThatCannotBeStoredIsStillReturned)
{
    for (uint64_t n = 1;; n++) {
        Mem_takeOutOfMemory();
        Mem_failAfter(n);
        uint32_t v = Config_getInt(ctx, store, u"new", u"k", 77);
        bool failed = Mem_takeOutOfMemory();
        Mem_failAfter(0);
        EXPECT_EQ(v, 77u);
        if (!failed)
            break;
        std::string s = stored("new", "k");
        EXPECT_TRUE(s == "(missing)") << s;
        ASSERT_LT(n, 50u);
    }
    EXPECT_EQ(stored("new", "k"), "77");
}

// ------------------------------------------------------------ keyed lists

class KeyedListTest : public ConfigFixture {
  protected:
    KeyedList *list = nullptr;

    void TearDown() override
    {
        if (list) {
            EXPECT_EQ(KeyedList_destroy(list), 0);
        }
        ConfigFixture::TearDown();
    }

    KeyedEntry *entry(const char16_t *key, const char16_t *value)
    {
        KeyedEntry *e = static_cast<KeyedEntry *>(Mem_calloc(1, sizeof(KeyedEntry)));
        e->key = Ustr_dup(key);
        e->value = value ? Ustr_dup(value) : nullptr;
        return e;
    }

    std::string order()
    {
        std::string s;
        KeyedEntry *e = nullptr;
        for (KeyedList_next(list, nullptr, &e); e; KeyedList_next(list, e, &e))
            s += N(static_cast<char16_t *>(e->key)) + "=" + N(static_cast<char16_t *>(e->value)) +
                 " ";
        return s;
    }
};

TEST_F(KeyedListTest, NewestFirstAndOneEntryPerKey)
{
    ASSERT_EQ(KeyedList_create(ctx, &list, KeyedList_keyUstr), 0);
    ASSERT_EQ(KeyedList_put(list, entry(u"a", u"1")), 0);
    ASSERT_EQ(KeyedList_put(list, entry(u"b", u"2")), 0);
    ASSERT_EQ(KeyedList_put(list, entry(u"c", u"3")), 0);
    EXPECT_EQ(order(), "c=3 b=2 a=1 ");
    ASSERT_EQ(KeyedList_put(list, entry(u"b", u"4")), 0);
    EXPECT_EQ(order(), "b=4 c=3 a=1 ");

    int removed = -1;
    EXPECT_EQ(KeyedList_remove(list, u"c", &removed), 0);
    EXPECT_EQ(removed, 1);
    EXPECT_EQ(KeyedList_remove(list, u"c", &removed), 0);
    EXPECT_EQ(removed, 0);
    EXPECT_EQ(order(), "b=4 a=1 ");

    KeyedEntry *e = nullptr;
    EXPECT_EQ(KeyedList_get(list, "a", KeyedList_keyCstr, &e), 0);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(N(static_cast<char16_t *>(e->value)), "1");
    EXPECT_EQ(KeyedList_get(list, u"A", KeyedList_keyUstr, &e), Res_notFound);
    EXPECT_EQ(e, nullptr);
    EXPECT_EQ(KeyedList_get(list, "a", KeyedList_key4, &e), Res_notFound) << "mixed types";

    KeyedEntry stranger{};
    EXPECT_EQ(KeyedList_next(list, &stranger, &e), 0);
    EXPECT_EQ(e, nullptr);
}

TEST_F(KeyedListTest, ArgumentChecksAndDeadLists)
{
    EXPECT_EQ(KeyedList_create(ctx, nullptr, 1), Res_missingArgument);
    ASSERT_EQ(KeyedList_create(ctx, &list, KeyedList_keyUstr), 0);
    KeyedEntry *e = nullptr;
    KeyedEntry noKey{};
    EXPECT_EQ(KeyedList_put(list, nullptr), Res_missingArgument);
    EXPECT_EQ(KeyedList_put(list, &noKey), Res_missingArgument);
    EXPECT_EQ(KeyedList_get(nullptr, u"a", 1, &e), Res_missingArgument);
    EXPECT_EQ(KeyedList_get(list, nullptr, 1, &e), Res_missingArgument);
    EXPECT_EQ(KeyedList_next(list, nullptr, nullptr), Res_missingArgument);
    int removed;
    EXPECT_EQ(KeyedList_remove(list, u"a", nullptr), Res_missingArgument);
    EXPECT_EQ(KeyedList_remove(nullptr, u"a", &removed), Res_missingArgument);
    EXPECT_EQ(KeyedList_destroy(nullptr), Res_missingArgument);

    list->magic = KeyedList_dying;
    EXPECT_EQ(KeyedList_put(list, &noKey), Res_missingArgument);
    EXPECT_EQ(KeyedList_destroy(list), Res_missingArgument);
    list->magic = KeyedList_alive;
}

TEST_F(KeyedListTest, KeyEquality)
{
    uint8_t a8[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    uint8_t b8[8] = {1, 2, 3, 4, 5, 6, 7, 9};
    EXPECT_TRUE(KeyedList_keysEqual("ab", 0, "ab", 0));
    EXPECT_FALSE(KeyedList_keysEqual("ab", 0, "abc", 0));
    EXPECT_TRUE(KeyedList_keysEqual(u"ab", 1, u"ab", 1));
    EXPECT_FALSE(KeyedList_keysEqual(u"ab", 1, u"aB", 1));
    EXPECT_TRUE(KeyedList_keysEqual(u"ab", 1, "ab", 0));
    EXPECT_TRUE(KeyedList_keysEqual("ab", 0, u"ab", 1));
    EXPECT_FALSE(KeyedList_keysEqual(u"ab", 1, "a", 0));
    EXPECT_TRUE(KeyedList_keysEqual(u"\u00ff", 1, "\xff", 0));
    EXPECT_TRUE(KeyedList_keysEqual(a8, KeyedList_key4, b8, KeyedList_key4));
    EXPECT_FALSE(KeyedList_keysEqual(a8, KeyedList_key8, b8, KeyedList_key8));
    EXPECT_FALSE(KeyedList_keysEqual(a8, KeyedList_key8, a8, KeyedList_key4));
    EXPECT_FALSE(KeyedList_keysEqual(a8, 7, a8, 7));
    EXPECT_FALSE(KeyedList_keysEqual(nullptr, 1, u"a", 1));
}

} // namespace
