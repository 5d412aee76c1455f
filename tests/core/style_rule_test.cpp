// Style rules: weights, setting with precedence, the tail pointer through
// replacements and removals, comparison of value sets both ways, clones,
// and every allocation failing in turn.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "core/style/prop.h"
#include "core/style/stylerule.h"
#include "core/text/ustr.h"
#include "tests/support/heap_fixture.h"
#include "tests/support/test_engine.h"

namespace {

class StyleRuleTest : public LeakCheckedHeapTest<> {};

Prop intProp(uint32_t id, int32_t n, uint16_t flags = 0)
{
    Prop v;
    Prop_setInt(&v, id, n);
    v.flags = flags;
    return v;
}

// The rule's values as "id=n" in order, checking the tail pointer too.
std::vector<std::string> contents(const StyleRule *r)
{
    std::vector<std::string> v;
    const StylePropItem *last = nullptr;
    for (const StylePropItem *p = r->firstProp; p; p = p->next) {
        v.push_back(std::to_string(p->value.id) + "=" + std::to_string(Prop_getInt(&p->value)));
        last = p;
    }
    EXPECT_EQ(r->lastProp, last) << "tail pointer";
    return v;
}

using Strings = std::vector<std::string>;

TEST_F(StyleRuleTest, WeightIsTheSumOfMatchWeights)
{
    StyleRule *r;
    ASSERT_EQ(StyleRule_create(&r), 0);
    EXPECT_EQ(StyleRule_firstKey(r), 0u);
    ASSERT_EQ(StyleRule_addMatch1(r, 7), 0);
    ASSERT_EQ(StyleRule_addMatch1(r, 8), 0);
    ASSERT_EQ(StyleRule_addMatch10(r, 9), 0);
    EXPECT_EQ(r->weight, 12u);
    EXPECT_EQ(StyleRule_firstKey(r), 7u);
    std::vector<uint32_t> keys;
    for (StyleMatch *m = r->matches; m; m = m->next)
        keys.push_back(m->key);
    EXPECT_EQ(keys, (std::vector<uint32_t>{7, 8, 9}));
    ASSERT_EQ(StyleRule_addMatch(r, 1, 5, 0xFFFFFFF5u), 0);
    EXPECT_EQ(r->weight, 1u) << "the sum wraps";
    Mem_failAfter(1);
    EXPECT_EQ(StyleRule_addMatch10(r, 2), 1);
    EXPECT_EQ(r->weight, 1u);
    StyleRule_setWeight(r, 2011);
    EXPECT_EQ(r->weight, 2011u);
    StyleRule_destroy(r);
    StyleRule_destroy(nullptr);
    EXPECT_EQ(StyleRule_firstKey(nullptr), 0u);
}

TEST_F(StyleRuleTest, SetPropPrecedenceAndReplacement)
{
    StyleRule *r;
    ASSERT_EQ(StyleRule_create(&r), 0);
    struct Step {
        const char *what;
        Prop value;
        int changed;
        Strings after;
    } steps[] = {
        {"new id appends", intProp(1, 10), 1, {"1=10"}},
        {"second id appends", intProp(2, 20, Prop_flagPrecedence), 1, {"1=10", "2=20"}},
        {"equal value: no change", intProp(1, 10), 0, {"1=10", "2=20"}},
        {"plain value over a precedence one: kept", intProp(2, 99), 0, {"1=10", "2=20"}},
        {"precedence over precedence: replaced",
         intProp(2, 21, Prop_flagPrecedence),
         1,
         {"1=10", "2=21"}},
        {"replacing the last keeps the tail",
         intProp(2, 22, Prop_flagPrecedence),
         1,
         {"1=10", "2=22"}},
        {"appending after a replaced tail", intProp(3, 30), 1, {"1=10", "2=22", "3=30"}},
        {"precedence over plain: replaced in place",
         intProp(1, 11, Prop_flagPrecedence),
         1,
         {"1=11", "2=22", "3=30"}},
    };
    for (auto &s : steps) {
        int changed = -1;
        ASSERT_EQ(StyleRule_setProp(r, &s.value, &changed), 0) << s.what;
        EXPECT_EQ(changed, s.changed) << s.what;
        EXPECT_EQ(contents(r), s.after) << s.what;
    }
    StylePropItem *second = StyleRule_findProp(r, 2);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(Prop_testFlags(&second->value, Prop_flagPrecedence), 1);
    EXPECT_EQ(StyleRule_findProp(r, 4), nullptr);

    // A failed copy leaves the rule as it was.
    Prop fresh = intProp(1, 12, Prop_flagPrecedence);
    int changed;
    Mem_failAfter(1);
    EXPECT_EQ(StyleRule_setProp(r, &fresh, &changed), 1);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(contents(r), (Strings{"1=11", "2=22", "3=30"}));
    StyleRule_destroy(r);
}

TEST_F(StyleRuleTest, RemoveKeepsBothEndsRight)
{
    StyleRule *r;
    ASSERT_EQ(StyleRule_create(&r), 0);
    Prop only = intProp(5, 1);
    ASSERT_EQ(StyleRule_appendProp(r, &only), 0);
    int removed = -1;
    StyleRule_removeProp(r, 5, &removed);
    EXPECT_EQ(removed, 1);
    EXPECT_EQ(r->firstProp, nullptr);
    EXPECT_EQ(r->lastProp, nullptr);
    EXPECT_EQ(StyleRule_hasNoProps(r), 1);

    for (uint32_t id = 1; id <= 4; id++) {
        Prop v = intProp(id, static_cast<int32_t>(id * 10));
        ASSERT_EQ(StyleRule_appendProp(r, &v), 0);
    }
    StyleRule_removeProp(r, 4, &removed);
    EXPECT_EQ(contents(r), (Strings{"1=10", "2=20", "3=30"}));
    StyleRule_removeProp(r, 1, &removed);
    StyleRule_removeProp(r, 9, &removed);
    EXPECT_EQ(removed, 0);
    Prop tail = intProp(7, 70);
    ASSERT_EQ(StyleRule_appendProp(r, &tail), 0);
    EXPECT_EQ(contents(r), (Strings{"2=20", "3=30", "7=70"}));
    StyleRule_clearProps(r);
    EXPECT_EQ(StyleRule_hasNoProps(r), 1);
    EXPECT_EQ(r->lastProp, nullptr);
    StyleRule_destroy(r);
}

TEST_F(StyleRuleTest, AppendOnceAppendAllAndWalk)
{
    StyleRule *r;
    ASSERT_EQ(StyleRule_create(&r), 0);
    Prop a = intProp(1, 1), b = intProp(2, 2), a2 = intProp(1, 9);
    ASSERT_EQ(StyleRule_appendPropOnce(r, &a), 0);
    ASSERT_EQ(StyleRule_appendPropOnce(r, &b), 0);
    ASSERT_EQ(StyleRule_appendPropOnce(r, &a2), 0);
    EXPECT_EQ(contents(r), (Strings{"1=1", "2=2"}));
    ASSERT_EQ(StyleRule_appendProp(r, &a2), 0);
    EXPECT_EQ(contents(r), (Strings{"1=1", "2=2", "1=9"})) << "appendProp does not check";

    ASSERT_EQ(StyleRule_appendProps(r, r), 0);
    EXPECT_EQ(contents(r), (Strings{"1=1", "2=2", "1=9", "1=1", "2=2", "1=9"}))
        << "a rule appended to itself is copied once";

    std::vector<uint32_t> walked;
    StylePropItem *cur = nullptr;
    for (StylePropItem *p = StyleRule_firstProp(r); p;) {
        p = StyleRule_nextProp(p, &cur);
        walked.push_back(cur->value.id);
    }
    EXPECT_EQ(walked, (std::vector<uint32_t>{1, 2, 1, 1, 2, 1}));
    EXPECT_EQ(StyleRule_nextProp(nullptr, &cur), nullptr);
    EXPECT_EQ(cur, nullptr);
    EXPECT_EQ(StyleRule_firstProp(nullptr), nullptr);
    StyleRule_destroy(r);
}

TEST_F(StyleRuleTest, EqualPropsComparesBothWays)
{
    StyleRule *x, *y;
    ASSERT_EQ(StyleRule_create(&x), 0);
    ASSERT_EQ(StyleRule_create(&y), 0);
    Prop a = intProp(1, 1), b = intProp(2, 2);
    EXPECT_EQ(StyleRule_appendProp(x, &a), 0);
    EXPECT_EQ(StyleRule_appendProp(x, &a), 0);
    EXPECT_EQ(StyleRule_appendProp(y, &a), 0);
    EXPECT_EQ(StyleRule_appendProp(y, &b), 0);
    EXPECT_EQ(StyleRule_equalProps(x, y), 0) << "{a, a} and {a, b} differ";
    EXPECT_EQ(StyleRule_equalProps(y, x), 0);

    StyleRule_clearProps(x);
    EXPECT_EQ(StyleRule_appendProp(x, &b), 0);
    EXPECT_EQ(StyleRule_appendProp(x, &a), 0);
    EXPECT_EQ(StyleRule_addMatch10(x, 3), 0);
    EXPECT_EQ(StyleRule_equalProps(x, y), 1) << "order, keys and weights do not count";
    EXPECT_EQ(StyleRule_appendProp(x, &b), 0);
    EXPECT_EQ(StyleRule_equalProps(x, y), 0) << "different counts";
    EXPECT_EQ(StyleRule_equalProps(x, nullptr), 0);
    EXPECT_EQ(StyleRule_equalProps(nullptr, nullptr), 0);
    StyleRule *e1, *e2;
    EXPECT_EQ(StyleRule_create(&e1), 0);
    EXPECT_EQ(StyleRule_create(&e2), 0);
    EXPECT_EQ(StyleRule_equalProps(e1, e2), 1);
    StyleRule_destroy(e1);
    StyleRule_destroy(e2);
    StyleRule_destroy(x);
    StyleRule_destroy(y);
}

StyleRule *sampleRule()
{
    StyleRule *r;
    if (StyleRule_create(&r))
        return nullptr;
    EXPECT_EQ(StyleRule_addMatch10(r, 4), 0);
    EXPECT_EQ(StyleRule_addMatch(r, 5, 77, 1), 0);
    Prop s;
    Prop_setUstr(&s, 37, Ustr_dupN(u"monospace", 9), 9);
    EXPECT_EQ(StyleRule_appendProp(r, &s), 0);
    Prop_free(&s);
    Prop n = intProp(38, 7281, Prop_flagPrecedence);
    EXPECT_EQ(StyleRule_appendProp(r, &n), 0);
    StyleRule_setWeight(r, 2011);
    return r;
}

TEST_F(StyleRuleTest, CloneIsDeepAndKeepsTheWeight)
{
    StyleRule *src = sampleRule();
    ASSERT_NE(src, nullptr);
    StyleRule *c;
    ASSERT_EQ(StyleRule_clone(&c, src), 0);
    EXPECT_EQ(c->weight, 2011u);
    EXPECT_EQ(StyleRule_equalProps(c, src), 1);
    ASSERT_NE(c->matches, nullptr);
    EXPECT_EQ(c->matches->key, 4u);
    ASSERT_NE(c->matches->next, nullptr);
    EXPECT_EQ(c->matches->next->value, 77u);
    EXPECT_NE(c->firstProp->value.payload, src->firstProp->value.payload);
    EXPECT_EQ(c->lastProp->value.flags, Prop_flagPrecedence);
    StyleRule_destroy(src);
    StyleRule_destroy(c);

    EXPECT_EQ(StyleRule_clone(&c, nullptr), 0);
    EXPECT_EQ(c, nullptr);
}

TEST_F(StyleRuleTest, CloneAndAppendUnderEveryAllocationFailure)
{
    StyleRule *src = sampleRule();
    ASSERT_NE(src, nullptr);
    size_t before = TestHeap_usedBytes();
    for (uint64_t n = 1;; n++) {
        StyleRule *c = reinterpret_cast<StyleRule *>(1);
        Mem_failAfter(n);
        int r = StyleRule_clone(&c, src);
        Mem_failAfter(0);
        if (r == 0) {
            EXPECT_EQ(StyleRule_equalProps(c, src), 1);
            StyleRule_destroy(c);
            break;
        }
        EXPECT_EQ(r, 1);
        EXPECT_EQ(c, nullptr);
        ASSERT_EQ(TestHeap_usedBytes(), before) << "failing allocation " << n;
    }

    StyleRule *dst;
    ASSERT_EQ(StyleRule_create(&dst), 0);
    Mem_failAfter(2); // the string copy of the first value
    EXPECT_EQ(StyleRule_appendProps(dst, src), 1);
    EXPECT_EQ(StyleRule_hasNoProps(dst), 1) << "the half-made item is freed";
    EXPECT_EQ(dst->lastProp, nullptr);
    StyleRule_destroy(dst);
    StyleRule_destroy(src);
}

} // namespace
