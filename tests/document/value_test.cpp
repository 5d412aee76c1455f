// Typed cell values: setters, the conversion table, copies and the faults
// of number handling (the smallest integer's text, NaN and huge numbers
// made integers, a failed setter during a conversion).
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/mem/mem.h"
#include "document/style/value.h"
#include "tests/support/heap_fixture.h"

namespace {

std::u16string textOf(const Edr_Value *v)
{
    return v->text ? std::u16string(v->text) : std::u16string(u"<null>");
}

class ValueTest : public LeakCheckedHeapTest<> {};

struct ConvertCase {
    const char *name;
    uint32_t from;
    int32_t n;
    double x;
    const char16_t *text; // for type 3 (null: no text)
    uint32_t to;
    int result;
    int32_t wantInt;
    double wantNumber;
    const char16_t *wantText;
};

TEST_F(ValueTest, ConversionTable)
{
    const double nan = std::nan("");
    const ConvertCase cases[] = {
        {"digits then letters", 3, 0, 0, u"12abc", 1, 0, 12, 0, u"12"},
        {"2.9 truncates", 2, 0, 2.9, nullptr, 1, 0, 2, 0, u"2"},
        {"-2.9 truncates toward zero", 2, 0, -2.9, nullptr, 1, 0, -2, 0, u"-2"},
        {"7 to number", 1, 7, 0, nullptr, 2, 0, 0, 7.0, u"7"},
        {"INT_MIN keeps every digit", 2, 0, -2147483648.0, nullptr, 1, 0, INT32_MIN, 0,
         u"-2147483648"},
        {"NaN gives 0", 2, 0, nan, nullptr, 1, 0, 0, 0, u"0"},
        {"huge clamps high", 2, 0, 1e300, nullptr, 1, 0, INT32_MAX, 0, u"2147483647"},
        {"huge clamps low", 2, 0, -1e300, nullptr, 1, 0, INT32_MIN, 0, u"-2147483648"},
        {"text beyond the range clamps", 3, 0, 0, u"99999999999", 1, 0, INT32_MAX, 0,
         u"2147483647"},
        {"text with spaces and sign", 3, 0, 0, u"  -42x", 1, 0, -42, 0, u"-42"},
        {"text without digits", 3, 0, 0, u"abc", 1, 0, 0, 0, u"0"},
        {"no text to integer", 3, 0, 0, nullptr, 1, 0, 0, 0, u"0"},
        {"no text to number", 3, 0, 0, nullptr, 2, 0, 0, 0.0, u"0"},
        {"text to number", 3, 0, 0, u"2.5e3", 2, 0, 0, 2500.0, u"2500"},
        {"integer to text keeps its text", 1, 12, 0, nullptr, 3, 0, 0, 0, u"12"},
        {"number to text keeps its text", 2, 0, 0.5, nullptr, 3, 0, 0, 0, u".5"},
        {"same type", 1, 5, 0, nullptr, 1, 0, 5, 0, u"5"},
    };
    for (const ConvertCase &c : cases) {
        SCOPED_TRACE(c.name);
        Edr_Value *v = Edr_Value_new(u"cell", nullptr, c.from);
        ASSERT_NE(v, nullptr);
        int set = c.from == 1   ? Edr_Value_setInt(v, c.n)
                  : c.from == 2 ? Edr_Value_setNumber(v, c.x)
                                : Edr_Value_setText(v, c.text);
        ASSERT_EQ(set, 0);
        EXPECT_EQ(Edr_Value_convert(v, c.to), c.result);
        EXPECT_EQ(Edr_Value_getType(v), c.to);
        if (c.to == 1) {
            EXPECT_EQ(Edr_Value_getInt(v), c.wantInt);
        }
        if (c.to == 2) {
            EXPECT_EQ(Edr_Value_getNumber(v), c.wantNumber);
        }
        EXPECT_EQ(textOf(v), std::u16string(c.wantText));
        Edr_Value_free(v);
    }
}

TEST_F(ValueTest, SevenRoundTrip)
{
    Edr_Value *v = Edr_Value_new(nullptr, nullptr, 1);
    ASSERT_EQ(Edr_Value_setInt(v, 7), 0);
    ASSERT_EQ(Edr_Value_convert(v, 2), 0);
    EXPECT_EQ(textOf(v), u"7");
    ASSERT_EQ(Edr_Value_convert(v, 1), 0);
    EXPECT_EQ(Edr_Value_getInt(v), 7);
    EXPECT_EQ(textOf(v), u"7");
    Edr_Value_free(v);
}

TEST_F(ValueTest, SettersCheckTheType)
{
    Edr_Value *v = Edr_Value_new(nullptr, nullptr, 3);
    ASSERT_EQ(Edr_Value_setText(v, u"keep"), 0);
    EXPECT_EQ(Edr_Value_setInt(v, 1), 8);
    EXPECT_EQ(Edr_Value_setNumber(v, 1.0), 8);
    EXPECT_EQ(textOf(v), u"keep");
    EXPECT_EQ(Edr_Value_getInt(v), 0);
    EXPECT_EQ(Edr_Value_setInt(nullptr, 1), 16);
    EXPECT_EQ(Edr_Value_setText(nullptr, u"x"), 16);
    EXPECT_EQ(Edr_Value_convert(nullptr, 1), 16);
    EXPECT_EQ(Edr_Value_convert(v, 0), 16);
    Edr_Value *untyped = Edr_Value_new(nullptr, nullptr, 0);
    EXPECT_EQ(Edr_Value_convert(untyped, 1), 8);
    EXPECT_EQ(Edr_Value_getBuffer(untyped), nullptr);
    EXPECT_EQ(Edr_Value_copyPair(untyped), nullptr);
    EXPECT_EQ(Edr_Value_getType(nullptr), 0u);
    Edr_Value_free(untyped);
    Edr_Value_free(v);
}

// A setter that runs out of memory during a conversion leaves the value as
// it was: its type, payload and text still agree.
TEST_F(ValueTest, FailedSetterKeepsTheValue)
{
    Edr_Value *v = Edr_Value_new(nullptr, nullptr, 2);
    ASSERT_EQ(Edr_Value_setNumber(v, 2.9), 0);
    Mem_failAfter(1);
    EXPECT_EQ(Edr_Value_convert(v, 1), 1);
    Mem_failAfter(0);
    EXPECT_EQ(Edr_Value_getType(v), 2u);
    EXPECT_EQ(Edr_Value_getNumber(v), 2.9);
    EXPECT_EQ(textOf(v), u"2.9");
    Mem_failAfter(1);
    EXPECT_EQ(Edr_Value_setNumber(v, 4.0), 1);
    Mem_failAfter(0);
    EXPECT_EQ(Edr_Value_getNumber(v), 2.9);
    Edr_Value_free(v);
}

TEST_F(ValueTest, CopiesAndClone)
{
    const uint32_t key[2] = {7, 9};
    Edr_Value *v = Edr_Value_new(u"A1", key, 2);
    ASSERT_EQ(Edr_Value_setNumber(v, -0.25), 0);
    EXPECT_EQ(std::u16string(Edr_Value_getBuffer(v)), u"A1");
    uint32_t *pair = Edr_Value_copyPair(v);
    ASSERT_NE(pair, nullptr);
    EXPECT_EQ(pair[0], 7u);
    EXPECT_EQ(pair[1], 9u);
    Mem_free(pair);
    char16_t *text = Edr_Value_textCopy(v);
    EXPECT_EQ(std::u16string(text), u"-.25");
    Mem_free(text);
    Edr_Value *c = Edr_Value_clone(v);
    ASSERT_NE(c, nullptr);
    EXPECT_NE(c->label, v->label);
    EXPECT_EQ(std::u16string(c->label), u"A1");
    EXPECT_EQ(c->key[1], 9u);
    EXPECT_EQ(Edr_Value_getNumber(c), -0.25);
    EXPECT_EQ(textOf(c), u"-.25");
    Edr_Value_free(c);
    // Every allocation of a clone may fail: nothing leaks.
    for (int n = 1; n <= 3; n++) {
        Mem_failAfter(n);
        Edr_Value_free(Edr_Value_clone(v));
        Mem_failAfter(0);
    }
    Edr_Value_free(v);
    Edr_Value_free(nullptr);
}

} // namespace
