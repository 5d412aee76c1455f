// Property values: text forms (pixels at 96 dpi against a reference over
// the whole 32-bit range, fixed decimals, "#%.6x" colours), deep copies of
// every owned type with out-of-memory at each allocation, reference counts,
// equality by type, release, flags, and the helpers that values rely on.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "core/container/stoplist.h"
#include "core/geom/matrix.h"
#include "core/geom/tabstops.h"
#include "core/mem/mem.h"
#include "core/style/prop.h"
#include "core/style/triple.h"
#include "core/style/proprecords.h"
#include "core/text/ustr.h"
#include "platform/vfs/helpers.h"
#include "tests/support/heap_fixture.h"
#include "tests/support/test_engine.h"

namespace {

using U16 = std::u16string;

class PropTest : public LeakCheckedHeapTest<> {};

// Takes a heap string and gives it back as a std::u16string.
U16 take(char16_t *s)
{
    if (!s)
        return u"<null>";
    U16 r(s);
    Mem_free(s);
    return r;
}

U16 textOf(const Prop &v)
{
    return take(Prop_toText(&v));
}

char16_t *heapString(const U16 &s)
{
    return Ustr_dupN(s.c_str(), s.size());
}

// Pixels of a 16.16 inch length, from the description in doubles.
std::string refPixels(int32_t v)
{
    double px = v >= 0 ? 96.0 * (static_cast<double>(v) + 48) / 65536
                       : 96.0 * (static_cast<double>(v) - 48) / 65536;
    return std::to_string(static_cast<long long>(std::trunc(px))) + "px";
}

TEST_F(PropTest, LengthsInPixelsAt96PerInch)
{
    struct {
        int32_t v;
        const char16_t *want;
    } cases[] = {
        {65536, u"96px"},
        {-65536, u"-96px"},
        {0, u"0px"},
        {634, u"0px"},
        {635, u"1px"},
        {-635, u"-1px"},
        {32768, u"48px"},
        {-1, u"0px"},
        {INT32_MAX, u"3145728px"},
        {INT32_MIN, u"-3145728px"},
    };
    Prop v;
    for (auto &c : cases) {
        Prop_setLength(&v, 90, c.v);
        EXPECT_EQ(textOf(v), U16(c.want)) << c.v;
    }
    // The whole range against the double reference: nothing wraps.
    std::mt19937 rng(1);
    for (int i = 0; i < 2000; i++) {
        int32_t x = static_cast<int32_t>(rng());
        Prop_setLength(&v, 90, x);
        std::string want = refPixels(x);
        ASSERT_EQ(textOf(v), U16(want.begin(), want.end())) << x;
    }
}

TEST_F(PropTest, FixedPointAndOtherTextForms)
{
    struct {
        uint16_t type;
        uint32_t word;
        const char16_t *want;
    } cases[] = {
        {PropType_percent, 32768, u"0.50%"},
        {PropType_percent, 100u << 16, u"100.00%"},
        {PropType_em, 0x18000, u"1.50Em"},
        {PropType_ex, static_cast<uint32_t>(-0x8000), u"-0.50Ex"},
        {PropType_inches, 0x10000 + 0x28F, u"1.01in"},
        {PropType_int, static_cast<uint32_t>(-12345), u"-12345"},
        {PropType_int, 0x7FFFFFFF, u"2147483647"},
        {PropType_colour, 0xFF563412u, u"#123456"},
        {PropType_colour, 0, u"#000000"},
        {PropType_colour, 0xFFFFFFFFu, u"#ffffff"},
    };
    Prop v;
    for (auto &c : cases) {
        Prop_setWord(&v, 1, c.type, c.word);
        EXPECT_EQ(textOf(v), U16(c.want)) << c.type << " " << c.word;
    }
    const uint16_t silent[] = {PropType_none,
                               PropType_none6,
                               PropType_pointer,
                               PropType_matrix,
                               PropType_tabStops,
                               PropType_record111,
                               19,
                               300};
    for (uint16_t type : silent) {
        Prop_set(&v, 1, type, 0, 0);
        EXPECT_EQ(Prop_toText(&v), nullptr) << type;
    }
    const uint8_t rgba[4] = {0x12, 0xAB, 0x07, 0x80};
    Prop_setColour(&v, 2, rgba);
    EXPECT_EQ(Prop_getColour(&v), 0x8007AB12u);
    EXPECT_EQ(textOf(v), u"#12ab07");

    EXPECT_EQ(take(Prop_formatFixed(-0x18000, 0)), u"-1") << "truncated toward zero";
    EXPECT_EQ(take(Prop_formatFixed(0x18000, 0)), u"1");
    EXPECT_EQ(take(Prop_formatFixed(0x10000, 3)), u"1.000");
    EXPECT_EQ(take(Prop_formatColour(0x00030201u)), u"#010203");

    char16_t *s = heapString(u"Arial Black");
    Prop_setUstr(&v, 37, s, 5);
    EXPECT_EQ(textOf(v), u"Arial") << "the value's length counts";
    Prop_free(&v);
}

TEST_F(PropTest, TextOutOfMemory)
{
    Prop v;
    Prop_setWord(&v, 1, PropType_percent, 32768);
    for (uint64_t n = 1; n <= 2; n++) {
        Mem_failAfter(n);
        EXPECT_EQ(Prop_toText(&v), nullptr) << n;
        Mem_failAfter(0);
        EXPECT_EQ(TestHeap_usedBytes(), baseline) << n;
    }
    EXPECT_EQ(textOf(v), u"0.50%");
}

// ------------------------------------------------------------ lifetime

struct Counted {
    PropCounted base;
    int *destroyed;
};

void destroyCounted(PropCounted *self)
{
    Counted *c = reinterpret_cast<Counted *>(self);
    (*c->destroyed)++;
    Mem_free(c);
}

Counted *newCounted(int *destroyed)
{
    Counted *c = static_cast<Counted *>(Mem_malloc(sizeof(Counted)));
    c->base = PropCounted{1, destroyCounted};
    c->destroyed = destroyed;
    return c;
}

// One value of every owned type, freshly made.
void makeOwned(Prop *out, uint16_t type)
{
    switch (type) {
    case PropType_ustr: Prop_setUstr(out, 37, heapString(u"Courier"), 7); break;
    case PropType_matrix: {
        Matrix *m = static_cast<Matrix *>(Mem_malloc(sizeof(Matrix)));
        *m = Matrix{1, 2, 3, 4, 5, 6};
        Prop_setMatrix(out, 120, m);
        break;
    }
    case PropType_tabStops: {
        TabStopList *l;
        EXPECT_EQ(TabStops_create(&l, 2), 0);
        TabStops_set(l, 0, {100, 1});
        TabStops_set(l, 1, {200, 2});
        Prop_set105(out, l);
        break;
    }
    case PropType_stops: {
        StopList *l;
        EXPECT_EQ(StopList_create(&l, 2), 0);
        StopList_set(l, 1, {0x10000, 0xFF});
        Prop_set109(out, l);
        break;
    }
    case PropType_columns: {
        PropColumns *c;
        EXPECT_EQ(PropColumns_create(&c, 3), 0);
        c->flags = 2;
        c->columns[2] = {1000, 50};
        Prop_set94(out, c);
        break;
    }
    case PropType_lineSpacing: {
        PropLineSpacing *s;
        EXPECT_EQ(Obj_newTriple(&s, 1, 120 << 16, 100 << 16), 0);
        Prop_set110(out, s);
        break;
    }
    case PropType_record111: {
        Prop18 *r;
        EXPECT_EQ(Prop18_new(&r), 0);
        Prop_set111(out, r);
        break;
    }
    }
}

const uint16_t kOwnedTypes[] = {PropType_ustr,     PropType_matrix,  PropType_tabStops,
                                PropType_stops,    PropType_columns, PropType_lineSpacing,
                                PropType_record111};

TEST_F(PropTest, DeepCopiesAreIndependentAndEqualWhereComparable)
{
    for (uint16_t type : kOwnedTypes) {
        Prop a, b;
        makeOwned(&a, type);
        Prop_setFlags(&a, 5, 0xFFFF);
        ASSERT_EQ(Prop_copy(&b, &a), 0) << type;
        EXPECT_EQ(b.id, a.id);
        EXPECT_EQ(b.type, type);
        EXPECT_EQ(b.flags, 5);
        EXPECT_NE(b.payload, a.payload) << "a copy owns its own payload: " << type;
        bool comparable = type != PropType_matrix && type != PropType_stops;
        EXPECT_EQ(Prop_equal(&a, &b), comparable ? 1 : 0) << type;
        Prop_free(&a);
        EXPECT_EQ(a.type, 0);
        EXPECT_EQ(a.payload, 0u);
        // b is still whole after a is gone (the sanitizer build checks reads).
        Prop c;
        ASSERT_EQ(Prop_copy(&c, &b), 0);
        Prop_free(&b);
        Prop_free(&c);
    }
    Prop a, b;
    makeOwned(&a, PropType_matrix);
    EXPECT_EQ(Prop_copy(&b, &a), 0);
    EXPECT_EQ(memcmp(reinterpret_cast<Matrix *>(b.payload), reinterpret_cast<Matrix *>(a.payload),
                     sizeof(Matrix)),
              0);
    EXPECT_EQ(Prop_equal(&a, &a), 0) << "matrices are never equal, even to themselves";
    Prop_free(&a);
    Prop_free(&b);

    // A null matrix stays null.
    Prop_setMatrix(&a, 120, nullptr);
    ASSERT_EQ(Prop_copy(&b, &a), 0);
    EXPECT_EQ(b.payload, 0u);
}

TEST_F(PropTest, CopyOutOfMemoryLeavesAFreeableValue)
{
    for (uint16_t type : kOwnedTypes) {
        Prop a;
        makeOwned(&a, type);
        Prop b;
        Mem_failAfter(1);
        int r = Prop_copy(&b, &a);
        Mem_failAfter(0);
        EXPECT_EQ(r, 1) << type;
        EXPECT_EQ(b.id, a.id);
        EXPECT_EQ(b.type, a.type);
        EXPECT_EQ(b.payload, 0u);
        Prop_free(&b);
        Prop_free(&a);
    }
}

TEST_F(PropTest, CountedObjectsShareReferences)
{
    int destroyed = 0;
    Prop a, b, c;
    Prop_set(&a, 60, PropType_counted, reinterpret_cast<uintptr_t>(newCounted(&destroyed)), 0);
    ASSERT_EQ(Prop_copy(&b, &a), 0);
    ASSERT_EQ(Prop_copy(&c, &b), 0);
    EXPECT_EQ(b.payload, a.payload);
    EXPECT_EQ(reinterpret_cast<PropCounted *>(a.payload)->refs, 3u);
    EXPECT_EQ(Prop_equal(&a, &b), 0) << "counted objects are never equal";
    Prop_free(&a);
    Prop_free(&b);
    EXPECT_EQ(destroyed, 0);
    Prop_free(&c);
    EXPECT_EQ(destroyed, 1);

    // A reference that cannot be taken fails the copy and takes nothing.
    Counted *full = newCounted(&destroyed);
    full->base.refs = UINT32_MAX;
    Prop_set(&a, 60, PropType_counted13, reinterpret_cast<uintptr_t>(full), 0);
    EXPECT_EQ(Prop_copy(&b, &a), 1);
    Prop_free(&b);
    EXPECT_EQ(full->base.refs, UINT32_MAX);
    full->base.refs = 1;
    Prop_free(&a);
    EXPECT_EQ(destroyed, 2);
}

TEST_F(PropTest, EqualityByType)
{
    Prop a, b;
    struct {
        const char *what;
        uint16_t typeA;
        uintptr_t wordA;
        uint32_t word2A;
        uint16_t typeB;
        uintptr_t wordB;
        uint32_t word2B;
        int equal;
    } cases[] = {
        {"same int", PropType_int, 5, 0, PropType_int, 5, 0, 1},
        {"different int", PropType_int, 5, 0, PropType_int, 6, 0, 0},
        {"int against length", PropType_int, 5, 0, PropType_length, 5, 0, 0},
        {"percent ignores word2", PropType_percent, 9, 1, PropType_percent, 9, 2, 1},
        {"pointer and length", PropType_pointer, 0x1000, 4, PropType_pointer, 0x1000, 4, 1},
        {"pointer, other length", PropType_pointer, 0x1000, 4, PropType_pointer, 0x1000, 5, 0},
        {"none", PropType_none, 1, 0, PropType_none, 2, 0, 1},
        {"type 6", PropType_none6, 1, 0, PropType_none6, 2, 0, 1},
        {"type 18 by id and type", PropType_record111, 0x10, 0, PropType_record111, 0x20, 0, 1},
        {"keyword", 209, 0, 0, 209, 7, 0, 1},
        {"other keyword", 209, 0, 0, 210, 0, 0, 0},
        {"stop lists", PropType_stops, 0, 0, PropType_stops, 0, 0, 0},
    };
    for (auto &c : cases) {
        Prop_set(&a, 7, c.typeA, c.wordA, c.word2A);
        Prop_set(&b, 7, c.typeB, c.wordB, c.word2B);
        EXPECT_EQ(Prop_equal(&a, &b), c.equal) << c.what;
    }
    Prop_setInt(&a, 7, 5);
    Prop_setInt(&b, 8, 5);
    EXPECT_EQ(Prop_equal(&a, &b), 0) << "different ids";

    // Strings: length first, then the characters.
    Prop_setUstr(&a, 37, heapString(u"Times"), 5);
    Prop_setUstr(&b, 37, heapString(u"Timex"), 5);
    EXPECT_EQ(Prop_equal(&a, &b), 0);
    b.payload2 = 4;
    EXPECT_EQ(Prop_equal(&a, &b), 0);
    a.payload2 = 4;
    EXPECT_EQ(Prop_equal(&a, &b), 1);
    Prop_free(&a);
    Prop_free(&b);

    // Records with their own equality.
    makeOwned(&a, PropType_tabStops);
    makeOwned(&b, PropType_tabStops);
    EXPECT_EQ(Prop_equal(&a, &b), 1);
    reinterpret_cast<TabStopList *>(b.payload)->stops[1].stopKind = 3;
    EXPECT_EQ(Prop_equal(&a, &b), 0);
    Prop_free(&a);
    Prop_free(&b);
    makeOwned(&a, PropType_lineSpacing);
    makeOwned(&b, PropType_lineSpacing);
    EXPECT_EQ(Prop_equal(&a, &b), 1);
    reinterpret_cast<PropLineSpacing *>(b.payload)->kind = 2;
    EXPECT_EQ(Prop_equal(&a, &b), 0);
    Prop_free(&a);
    Prop_free(&b);
    makeOwned(&a, PropType_columns);
    makeOwned(&b, PropType_columns);
    EXPECT_EQ(Prop_equal(&a, &b), 1);
    reinterpret_cast<PropColumns *>(b.payload)->columns[0].gap = 1;
    EXPECT_EQ(Prop_equal(&a, &b), 0);
    Prop_free(&a);
    Prop_free(&b);
}

TEST_F(PropTest, FreeKeywordsAndBorrowedPointers)
{
    Prop v;
    Prop_set(&v, 34, 39, 0x1234, 9);
    Prop_free(&v);
    EXPECT_EQ(v.type, 0);
    EXPECT_EQ(v.payload, 0x1234u) << "nothing owned, nothing touched";
    int borrowed = 0;
    Prop_set(&v, 5, PropType_pointer, reinterpret_cast<uintptr_t>(&borrowed), 4);
    Prop_free(&v);
    EXPECT_EQ(v.type, 0);
    Prop_set(&v, 5, PropType_counted, 0, 0);
    Prop_free(&v); // a null object is fine
}

TEST_F(PropTest, ConstructorsAccessorsAndFlags)
{
    Prop v;
    Prop_set(&v, 1, 2, 3, 4);
    v.flags = 0xFF;
    Prop_setInt(&v, 10, -7);
    EXPECT_EQ(v.flags, 0) << "constructors clear the flags";
    EXPECT_EQ(Prop_getId(&v), 10u);
    EXPECT_EQ(Prop_getType(&v), PropType_int);
    EXPECT_EQ(Prop_getInt(&v), -7);
    Prop_setLength(&v, 90, -65536);
    EXPECT_EQ(Prop_getLength(&v), -65536);
    Prop_set136(&v, 55, 0xABCD);
    EXPECT_EQ(Prop_getId(&v), 136u);
    EXPECT_EQ(Prop_getType(&v), 55);
    EXPECT_EQ(Prop_getPayload(&v), 0xABCDu);
    Prop_clear(&v);
    EXPECT_EQ(v.id, 0u);
    EXPECT_EQ(v.type, 0);
    EXPECT_EQ(v.payload, 0xABCDu) << "clear leaves the payload";
    Prop_zero(&v);
    EXPECT_EQ(v.payload, 0u);

    Prop_setFlags(&v, 1, 1);
    EXPECT_EQ(Prop_testFlags(&v, Prop_flagPrecedence), 1);
    Prop_setFlags(&v, 6, 6);
    EXPECT_EQ(v.flags, 7);
    Prop_setFlags(&v, 0, 1);
    EXPECT_EQ(v.flags, 6);
    EXPECT_EQ(Prop_testFlags(&v, 1), 0);
    EXPECT_EQ(Prop_testFlags(&v, 3), 1);

    Prop_setUstr(&v, 37, heapString(u"Mono"), 4);
    char16_t *dup = Prop_dupUstr(&v);
    EXPECT_NE(dup, reinterpret_cast<char16_t *>(v.payload));
    EXPECT_EQ(take(dup), u"Mono");
    Prop_free(&v);
    Prop_setInt(&v, 1, 1);
    EXPECT_EQ(Prop_dupUstr(&v), nullptr);
}

// ------------------------------------------------------------- helpers

TEST_F(PropTest, AppendCstrAndType18Payload)
{
    char16_t *s = Ustr_appendCstr(nullptr, "ab");
    EXPECT_EQ(U16(s), u"ab");
    s = Ustr_appendCstr(s, "\xE9z");
    EXPECT_EQ(U16(s), u"ab\u00E9z") << "bytes read as Latin-1";
    EXPECT_EQ(Ustr_appendCstr(s, nullptr), s);
    Mem_failAfter(1);
    EXPECT_EQ(Ustr_appendCstr(s, "more"), nullptr);
    Mem_failAfter(0);
    EXPECT_EQ(U16(s), u"ab\u00E9z") << "the old string survives a failure";
    Mem_free(s);

    Prop18 *p;
    ASSERT_EQ(Prop18_new(&p), 0);
    const uint32_t fresh[5] = {0, 0, 6, 85, 0};
    EXPECT_EQ(memcmp(p->words, fresh, sizeof fresh), 0);
    Prop18 *q;
    p->words[4] = 9;
    ASSERT_EQ(Prop18_copy(&q, p), 0);
    EXPECT_EQ(q->words[4], 9u);
    Prop18_free(q);
    Mem_failAfter(1);
    EXPECT_EQ(Prop18_copy(&q, p), 1);
    EXPECT_EQ(q, nullptr);
    Mem_failAfter(1);
    EXPECT_EQ(Prop18_new(&q), 1);
    EXPECT_EQ(q, nullptr);
    Prop18_free(p);
    Prop18_free(nullptr);
}

} // namespace
