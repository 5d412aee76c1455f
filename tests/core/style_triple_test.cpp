// Three-word values: copies, comparison and the property type that holds them.
#include <gtest/gtest.h>

#include "core/mem/mem.h"
#include "core/style/prop.h"
#include "core/style/triple.h"
#include "tests/support/heap_fixture.h"

namespace {

using TripleTest = LeakCheckedContextTest<>;

// --------------------------------------------------------------- triples

TEST_F(TripleTest, TriplesCopyCompareAndFree)
{
    PropLineSpacing *a = nullptr, *b = nullptr, *c = nullptr;
    ASSERT_EQ(Obj_newTriple(&a, 1, 0x780000, 0x640000), 0);
    ASSERT_EQ(Obj_copyTriple(&b, a), 0);
    ASSERT_NE(b, a);
    EXPECT_EQ(Obj_tripleEquals(a, b), 1);
    ASSERT_EQ(Obj_newTriple(&c, 1, 0x780000, 0x640001), 0);
    EXPECT_EQ(Obj_tripleEquals(a, c), 0) << "third word differs";
    Obj_freeTriple(c);
    ASSERT_EQ(Obj_newTriple(&c, 2, 0x780000, 0x640000), 0);
    EXPECT_EQ(Obj_tripleEquals(a, c), 0) << "first word differs";
    Obj_freeTriple(c);
    Obj_freeTriple(b);
    Obj_freeTriple(nullptr);

    // Out of memory: 1 and a null out.
    Mem_failAfter(1);
    b = a;
    EXPECT_EQ(Obj_copyTriple(&b, a), 1);
    EXPECT_EQ(b, nullptr);
    Mem_failAfter(0);
    Obj_freeTriple(a);
}

TEST_F(TripleTest, PropertyTypeSeventeenCopiesAndComparesItsTriple)
{
    PropLineSpacing *rec = nullptr;
    ASSERT_EQ(Obj_newTriple(&rec, 1, 120 << 16, 100 << 16), 0);
    Prop v{}, copy{};
    Prop_set110(&v, rec);
    ASSERT_EQ(Prop_copy(&copy, &v), 0);
    EXPECT_NE(copy.payload, v.payload) << "a deep copy";
    EXPECT_TRUE(Prop_equal(&copy, &v));
    reinterpret_cast<PropLineSpacing *>(copy.payload)->base = 99 << 16;
    EXPECT_FALSE(Prop_equal(&copy, &v));
    Prop_free(&copy);
    Prop_free(&v);
}

} // namespace
