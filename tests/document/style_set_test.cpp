// Style sets: the defaults, sharing with the parent, the set's keywords,
// the cascade in weight bands with important and origin precedence, the
// fix-ups (ems walked from the last entry, size keywords, the counter of
// property 92), copy on write and the release chain, and the rule index
// (compound keys, ancestors, siblings, states, rules added later).
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/strtable.h"
#include "platform/url/url.h"
#include "tests/document/style_fixture.h"

using namespace styletest;

namespace {

class StyleSetTest : public EdrFixture {};

constexpr uint32_t kRed = 0xFF0000FF, kBlue = 0xFFFF0000, kGreen = 0xFF00FF00;

TEST_F(StyleSetTest, DefaultsFillTheApplicationTable)
{
    const Prop *d = Edr_App_get(ctx())->defaults;
    EXPECT_EQ(d[38].type, PropType_length);
    EXPECT_EQ(int32_t(d[38].payload), 10923);
    EXPECT_EQ(d[29].type, PropType_colour);
    EXPECT_EQ(uint32_t(d[29].payload), 0xFF000000u);
    EXPECT_EQ(d[43].type, 25);
    EXPECT_EQ(d[40].type, 103);
    EXPECT_EQ(d[64].type, PropType_length);
    EXPECT_EQ(int32_t(d[64].payload), 1820);
    EXPECT_EQ(d[128].type, PropType_int);
    EXPECT_EQ(int32_t(d[128].payload), 1);
    ASSERT_EQ(d[75].type, PropType_ustr);
    EXPECT_EQ(
        memcmp(reinterpret_cast<const char16_t *>(d[75].payload), u"\"\"''", 5 * sizeof(char16_t)),
        0);
    ASSERT_EQ(d[37].type, PropType_ustr);
    EXPECT_EQ(d[37].payload2, 10u);
    EXPECT_EQ(d[154].type, 0);
    EXPECT_EQ(d[153].type, 1);
    for (uint32_t id = 0; id < Edr_Style_propCount; id++)
        EXPECT_EQ(d[id].id, id);
}

TEST_F(StyleSetTest, InheritedIdsShareTheParentsValuesOthersTakeDefaults)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *p = group(doc, root), *c = group(doc, p);
        own(doc, p, 2, rule({col(29, kRed), col(2, kBlue), len(12, 5000)}));
        Edr_Style *ps = compute(doc, p);
        Edr_Style *cs = compute(doc, c, ps);
        EXPECT_EQ(cs->slots[29], ps->slots[29]); // shared, not copied
        EXPECT_EQ(wordOf(cs, 29), kRed);
        EXPECT_EQ(lengthOf(cs, 12), 5000); // 12 is inherited
        EXPECT_EQ(cs->slots[2], &cs->context->defaults[2]);
        EXPECT_EQ(cs->ownCount, 0);
        Edr_Style_release(cs);
        Edr_Style_release(ps);
    });
}

TEST_F(StyleSetTest, KeywordsOfTheSetItself)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *p = group(doc, root), *c = group(doc, p);
        own(doc, p, 2, rule({col(2, kBlue), num(92, 7), len(38, 20000)}));
        // 73 on a non-inherited id takes the parent's value; on 92 it is 0;
        // 120 reads the colour; 57 reads the default.
        own(doc, c, 2,
            rule({kw(2, 73), kw(92, 73), kw(8, 120), col(29, kGreen), kw(12, 57), kw(38, 73)}));
        Edr_Style *ps = compute(doc, p);
        Edr_Style *cs = compute(doc, c, ps);
        EXPECT_EQ(Edr_Style_get(cs, 2, nullptr), uint32_t(PropType_colour));
        EXPECT_EQ(wordOf(cs, 2), kBlue);
        EXPECT_EQ(Edr_Style_get(cs, 92, nullptr), uint32_t(PropType_int));
        EXPECT_EQ(int32_t(wordOf(cs, 92)), 7); // 0 + the parent's 7
        EXPECT_EQ(Edr_Style_get(cs, 8, nullptr), uint32_t(PropType_colour));
        EXPECT_EQ(wordOf(cs, 8), kGreen);
        EXPECT_EQ(lengthOf(cs, 12), 0);     // the default of 12
        EXPECT_EQ(lengthOf(cs, 38), 20000); // inherit copies the parent's size
        Prop small = len(38, 5), inherit = kw(38, 73);
        ASSERT_EQ(Edr_Style_setValue(cs, &small), 0);
        EXPECT_EQ(lengthOf(cs, 38), 5);
        ASSERT_EQ(Edr_Style_setValue(cs, &inherit), 0);
        EXPECT_EQ(lengthOf(cs, 38), 20000);
        Edr_Style_release(cs);
        Edr_Style_release(ps);
    });
}

TEST_F(StyleSetTest, ColourKeywordInTheColourSlotReadsTheDefaultInsteadOfLooping)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *g = group(doc, root);
        own(doc, g, 2, rule({kw(29, 120), kw(8, 120)}));
        Edr_Style *s = compute(doc, g);
        EXPECT_EQ(Edr_Style_get(s, 8, nullptr), uint32_t(PropType_colour));
        EXPECT_EQ(wordOf(s, 8), 0xFF000000u);
        Edr_Style_release(s);
    });
}

TEST_F(StyleSetTest, OverrideRuleReplacesTheWholeSet)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *g = group(doc, root);
        own(doc, g, 2, rule({col(29, kRed)}));
        Edr_Style *s = compute(doc, g);
        StyleRule *o = rule({len(38, 777)});
        Edr_Style_setOverrides(s, o);
        EXPECT_EQ(Edr_Style_get(s, 29, nullptr), 0u);
        EXPECT_EQ(lengthOf(s, 38), 777);
        Edr_Style_setOverrides(s, nullptr);
        EXPECT_EQ(wordOf(s, 29), kRed);
        StyleRule_destroy(o);
        Edr_Style_release(s);
    });
}

// One property (29) set by rules of several origins; which one wins.
struct Cascade {
    const char *name;
    uint32_t kindA; // sheet kind of rule A (weight 10), or 9 for the inline list
    bool importantA;
    uint32_t kindB; // the same for rule B (colour blue), added after A
    bool importantB;
    uint32_t expected;
};

TEST_F(StyleSetTest, ImportantAndOriginPrecedence)
{
    const Cascade cases[] = {
        {"later sheet wins at equal weight", 0, false, 0, false, kBlue},
        {"author sheet beats user sheet", 2, false, 1, false, kRed},
        {"important sheet beats a normal inline value", 0, true, 9, false, kRed},
        {"important inline beats important author", 2, true, 9, true, kBlue},
        {"important user beats important author", 1, true, 2, true, kRed},
        {"important author beats important plain sheet", 0, true, 2, true, kBlue},
        {"normal inline beats normal author", 2, false, 9, false, kBlue},
    };
    for (const Cascade &c : cases) {
        withDoc([&](Edr_Doc *doc, Edr_Node *root) {
            Edr_Node *g = group(doc, root, 0);
            ASSERT_EQ(Edr_Node_addId(doc, g, 5), 0);
            auto add = [&](uint32_t kind, bool imp, uint32_t colour) {
                Prop v = col(29, colour);
                if (imp)
                    v = important(v);
                if (kind == 9)
                    own(doc, g, 2, rule({v}));
                else
                    sheet(ctx(), doc, kind, {rule({v}, {{5, 0}}, 10)});
            };
            add(c.kindA, c.importantA, kRed);
            add(c.kindB, c.importantB, kBlue);
            Edr_Style *s = compute(doc, g);
            EXPECT_EQ(wordOf(s, 29), c.expected) << c.name;
            Edr_Style_release(s);
        });
    }
}

TEST_F(StyleSetTest, WeightBandsOrderSheetsAndOwnLists)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *g = group(doc, root);
        ASSERT_EQ(Edr_Node_addId(doc, g, 5), 0);
        // Heavier beats later within a band; the presentational list loses
        // to a kind-2 sheet, the inline list beats it; negative weights are
        // passed over.
        sheet(ctx(), doc, 0,
              {rule({len(51, 1), len(52, 1)}, {{5, 0}}, 20), rule({len(51, 2)}, {{5, 0}}, 10),
               rule({len(53, 9)}, {{5, 0}}, uint32_t(-5))});
        sheet(ctx(), doc, 2, {rule({len(54, 3), len(66, 3)}, {{5, 0}}, 1)});
        own(doc, g, 1, rule({len(54, 4), len(67, 4)}));
        own(doc, g, 2, rule({len(66, 5)}));
        Edr_Style *s = compute(doc, g);
        EXPECT_EQ(lengthOf(s, 51), 1);
        EXPECT_EQ(lengthOf(s, 52), 1);
        EXPECT_EQ(lengthOf(s, 53), 0);
        EXPECT_EQ(lengthOf(s, 54), 3);
        EXPECT_EQ(lengthOf(s, 66), 5);
        EXPECT_EQ(lengthOf(s, 67), 4);
        Edr_Style_release(s);
    });
}

TEST_F(StyleSetTest, TableDisplayIsNotOverriddenAndInheritKeepsTheDeclaredImportance)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *p = group(doc, root), *c = group(doc, p);
        ASSERT_EQ(Edr_Node_addId(doc, c, 5), 0);
        own(doc, p, 2, rule({important(col(2, kRed))}));
        // A normal "inherit" of the parent's important value does not make
        // the child's value important: a later normal value still wins.
        sheet(ctx(), doc, 0,
              {rule({kw(34, 134), kw(2, 73)}, {{5, 0}}, 1),
               rule({kw(34, 39), col(2, kBlue)}, {{5, 0}}, 2)});
        Edr_Style *ps = compute(doc, p);
        Edr_Style *cs = compute(doc, c, ps);
        EXPECT_EQ(Edr_Style_get(cs, 34, nullptr), 134u);
        EXPECT_EQ(wordOf(cs, 2), kBlue);
        Edr_Style_release(cs);
        Edr_Style_release(ps);
    });
}

TEST_F(StyleSetTest, OwnRulesApplyWithoutAnySheet)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *g = group(doc, root, 3);
        own(doc, g, 1, rule({len(51, 11)}));
        own(doc, g, 2, rule({len(53, 12)}));
        Edr_Style *s = compute(doc, g);
        EXPECT_EQ(lengthOf(s, 51), 11);
        EXPECT_EQ(lengthOf(s, 53), 12);
        Edr_Style_release(s);
    });
}

TEST_F(StyleSetTest, EmptyGroupsAreAlikeOnlyWithTheSameElementClassesAndNothingOfTheirOwn)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *base = group(doc, root, 3);
        // Class lists are stored 0-terminated; the count given includes the 0.
        const uint32_t five[] = {5, 0}, six[] = {6, 0}, fiveSeven[] = {5, 7, 0};
        ASSERT_EQ(Edr_Node_setIds(doc, base, five, 2), 0);
        struct Case {
            const char *what;
            uint32_t element;
            const uint32_t *ids;
            uint32_t idCount;
            int extra; // 1 a child, 2 an own rule list
            bool alike;
        };
        const Case cases[] = {
            {"the same element and class", 3, five, 2, 0, true},
            {"another element", 4, five, 2, 0, false},
            {"another class", 3, six, 2, 0, false},
            {"one class more", 3, fiveSeven, 3, 0, false},
            {"no class", 3, nullptr, 0, 0, false},
            {"a child", 3, five, 2, 1, false},
            {"an own rule list", 3, five, 2, 2, false},
        };
        for (const Case &c : cases) {
            Edr_Node *g = group(doc, root, c.element);
            if (c.ids) {
                ASSERT_EQ(Edr_Node_setIds(doc, g, c.ids, c.idCount), 0);
            }
            if (c.extra == 1)
                group(doc, g);
            if (c.extra == 2)
                own(doc, g, 2, rule({len(51, 11)}));
            Edr_Doc_readLock(doc);
            EXPECT_EQ(Edr_Style_sameEmptyGroups(base, g), c.alike) << c.what;
            EXPECT_EQ(Edr_Style_sameEmptyGroups(g, base), c.alike) << c.what << ", turned round";
            Edr_Doc_readUnlock(doc);
        }
        Edr_Node *bare1 = group(doc, root, 3), *bare2 = group(doc, root, 3);
        Edr_Doc_readLock(doc);
        EXPECT_TRUE(Edr_Style_sameEmptyGroups(bare1, bare2)) << "no class on either";
        EXPECT_FALSE(Edr_Style_sameEmptyGroups(root, bare1)) << "a group with children";
        Edr_Doc_readUnlock(doc);
    });
}

TEST_F(StyleSetTest, EmsResolveAgainstTheFontSize)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *p = group(doc, root), *c = group(doc, p);
        own(doc, p, 2, rule({len(38, 20000), pct(47, 150)}));
        own(doc, c, 2, rule({em(38, 0x18000), em(51, 0x20000), em(100, 0x10000), pct(44, 50)}));
        Edr_Style *ps = compute(doc, p);
        Edr_Style *cs = compute(doc, c, ps);
        EXPECT_EQ(lengthOf(ps, 47), 30000);             // 150% of its own 20000
        EXPECT_EQ(lengthOf(cs, 38), 30000);             // 1.5 em of the parent's 20000
        EXPECT_EQ(lengthOf(cs, 51), 60000);             // 2 em of its own 30000
        EXPECT_EQ(Edr_Style_get(cs, 100, nullptr), 0u); // an em outside the table takes the default
        EXPECT_EQ(Edr_Style_get(cs, 44, nullptr),
                  uint32_t(PropType_percent)); // the parent owns no length 44
        EXPECT_EQ(cs->emCount, 0);
        Edr_Style_release(cs);
        Edr_Style_release(ps);
    });
}

TEST_F(StyleSetTest, EmTableIsWalkedFromItsLastEntryWhileTheCountLasts)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *g = group(doc, root);
        own(doc, g, 2, rule({len(38, 10000)}));
        Edr_Style *s = compute(doc, g);
        // Ids 4 (first entry) and 21 (last entry) hold ems, but the count
        // says one: only the last entry is resolved.
        Prop z4 = len(4, 0), z21 = len(21, 0);
        ASSERT_EQ(Edr_Style_setValue(s, &z4), 0);
        ASSERT_EQ(Edr_Style_setValue(s, &z21), 0);
        Prop *v4 = const_cast<Prop *>(s->slots[4]);
        Prop *v21 = const_cast<Prop *>(s->slots[21]);
        v4->type = v21->type = PropType_em;
        v4->payload = v21->payload = 0x20000;
        s->emCount = 1;
        ASSERT_EQ(Edr_Style_resolveEms(s), 0);
        EXPECT_EQ(lengthOf(s, 21), 20000);
        EXPECT_EQ(Edr_Style_get(s, 4, nullptr), uint32_t(PropType_em));
        EXPECT_EQ(s->emCount, 0);
        Edr_Style_release(s);
    });
}

TEST_F(StyleSetTest, FontSizeKeywords)
{
    struct Case {
        int32_t parentSize;
        uint16_t keyword;
        int32_t expected;
    } const cases[] = {
        {10923, 161, 6372},
        {10923, 160, 21845},
        {10923, 85, 12743},
        {5000, 85, 6372},
        {30000, 85, 30000},
        {10923, 128, 9102},
        {30000, 128, 21845},
        {6000, 128, 6000},
        {12000, 85, 12743},
        {12000, 128, 10923},
        // No size in the value: the parent's size (the default for 57), not
        // a length made of the payload word.
        {12000, 999, 12000},
        {12000, 57, 10923},
    };
    for (const Case &c : cases) {
        withDoc([&](Edr_Doc *doc, Edr_Node *root) {
            Edr_Node *p = group(doc, root), *g = group(doc, p);
            own(doc, p, 2, rule({len(38, c.parentSize)}));
            own(doc, g, 2, rule({kw(38, c.keyword)}));
            Edr_Style *ps = compute(doc, p);
            Edr_Style *s = compute(doc, g, ps);
            EXPECT_EQ(lengthOf(s, 38), c.expected) << c.parentSize << " keyword " << c.keyword;
            Edr_Style_release(s);
            Edr_Style_release(ps);
        });
    }
}

TEST_F(StyleSetTest, SizeScaleAndEdgeKeywords)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *p = group(doc, root), *c = group(doc, p), *d = group(doc, p);
        own(doc, p, 2, rule({kw(43, 30)}));
        own(doc, c, 2, rule({kw(43, 41), kw(18, 145), kw(64, 146), kw(21, 97)}));
        own(doc, d, 2, rule({kw(43, 87)}));
        Edr_Style *ps = compute(doc, p);
        Edr_Style *cs = compute(doc, c, ps);
        Edr_Style *ds = compute(doc, d, ps);
        EXPECT_EQ(Edr_Style_get(cs, 43, nullptr), 30u); // 30 + 1, at most 30
        EXPECT_EQ(Edr_Style_get(ds, 43, nullptr), 25u); // the parent is 26 or more
        EXPECT_EQ(lengthOf(cs, 18), 3641);
        EXPECT_EQ(lengthOf(cs, 64), 910);
        EXPECT_EQ(lengthOf(cs, 21), 1820);
        Edr_Style_release(ds);
        Edr_Style_release(cs);
        Edr_Style_release(ps);
    });
}

TEST_F(StyleSetTest, CounterAddsTheParentsValueOnceOnly)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *p = group(doc, root), *c = group(doc, p), *d = group(doc, p);
        own(doc, p, 2, rule({num(92, 3)}));
        own(doc, c, 2, rule({num(92, 2)}));
        Edr_Style *ps = compute(doc, p);
        Edr_Style *cs = compute(doc, c, ps);
        Edr_Style *ds = compute(doc, d, ps);
        EXPECT_EQ(int32_t(wordOf(cs, 92)), 5);
        EXPECT_EQ(ds->slots[92], ps->slots[92]); // not owned: shares the parent's
        Prop v = len(51, 1);
        ASSERT_EQ(Edr_Style_setValue(cs, &v), 0); // the fix-ups run again
        EXPECT_EQ(int32_t(wordOf(cs, 92)), 5);
        Edr_Style_release(ds);
        Edr_Style_release(cs);
        Edr_Style_release(ps);
    });
}

TEST_F(StyleSetTest, DisplayFixUps)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *p = group(doc, root), *a = group(doc, p), *b = group(doc, p), *c = group(doc, p);
        own(doc, a, 2, rule({kw(34, 75), kw(36, 86)})); // floated: fixed
        own(doc, b, 2, rule({kw(34, 75)}));             // not floated, with a parent: kept
        own(doc, c, 2,
            rule({kw(34, 119), kw(74, 31), kw(36, 86)})); // positioned: float dropped, fixed
        Edr_Style *ps = compute(doc, p);
        Edr_Style *as = compute(doc, a, ps), *bs = compute(doc, b, ps), *cs = compute(doc, c, ps);
        EXPECT_EQ(Edr_Style_get(as, 34, nullptr), 134u);
        EXPECT_EQ(Edr_Style_get(bs, 34, nullptr), 75u);
        EXPECT_EQ(Edr_Style_get(cs, 34, nullptr), 39u);
        EXPECT_EQ(Edr_Style_get(cs, 36, nullptr), 0u);
        for (Edr_Style *s : {as, bs, cs, ps})
            Edr_Style_release(s);
    });
}

TEST_F(StyleSetTest, CopyOnWriteLeavesSharedSetsUntouched)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *p = group(doc, root), *c = group(doc, p);
        own(doc, p, 2, rule({col(29, kRed), len(51, 7)}));
        Edr_Style *ps = compute(doc, p);
        Edr_Style *cs = compute(doc, c, ps);
        Edr_Style *w = Edr_Style_retain(ps);
        ASSERT_EQ(Edr_Style_makeWritable(&w, doc), 0);
        ASSERT_NE(w, ps);
        EXPECT_EQ(ps->refCount, 2u); // the child's and ours
        EXPECT_EQ(w->refCount, 1u);
        Prop v = col(29, kBlue);
        ASSERT_EQ(Edr_Style_setValue(w, &v), 0);
        EXPECT_EQ(wordOf(w, 29), kBlue);
        EXPECT_EQ(lengthOf(w, 51), 7);
        EXPECT_EQ(wordOf(ps, 29), kRed);
        EXPECT_EQ(wordOf(cs, 29), kRed);
        Edr_Style *same = w;
        ASSERT_EQ(Edr_Style_makeWritable(&same, doc), 0);
        EXPECT_EQ(same, w); // one reference: unchanged
        Edr_Style_release(w);
        Edr_Style_release(cs);
        Edr_Style_release(ps);
    });
}

TEST_F(StyleSetTest, CopyOnWriteFailsCleanlyWithoutMemory)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *p = group(doc, root);
        own(doc, p, 2, rule({col(29, kRed), len(51, 7)}));
        Edr_Style *ps = compute(doc, p);
        for (int n = 1;; n++) {
            Edr_Style *w = Edr_Style_retain(ps);
            Mem_failAfter(n);
            int err = Edr_Style_makeWritable(&w, doc);
            Mem_failAfter(0);
            if (err) {
                EXPECT_EQ(err, Res_noMemory);
                EXPECT_EQ(w, ps);
                Edr_Style_release(w);
                continue;
            }
            EXPECT_NE(w, ps);
            Edr_Style_release(w);
            break;
        }
        EXPECT_EQ(ps->refCount, 1u);
        Edr_Style_release(ps);
    });
}

TEST_F(StyleSetTest, ReleasingTheLastChildReleasesTheChain)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *a = group(doc, root), *b = group(doc, a), *c = group(doc, b);
        ASSERT_NE(Edr_StyleCtx_get(doc), nullptr);
        size_t before = TestHeap_usedBytes();
        Edr_Style *as = compute(doc, a);
        Edr_Style *bs = compute(doc, b, as);
        Edr_Style *cs = compute(doc, c, bs);
        Edr_Style_release(as);
        Edr_Style_release(bs);
        EXPECT_EQ(as->refCount, 1u);
        Edr_Style_release(cs);
        EXPECT_EQ(TestHeap_usedBytes(), before);
    });
}

TEST_F(StyleSetTest, NonGroupIsRefused)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *t = nullptr;
        ASSERT_EQ(Edr_Node_createText(doc, root, Edr_Insert_lastChild, &t, u"x", 1), 0);
        Edr_Style *s = reinterpret_cast<Edr_Style *>(1);
        Edr_Doc_readLock(doc);
        EXPECT_EQ(Edr_Style_computeForNode(doc, &s, nullptr, t), Res_styleNotGroup);
        Edr_Doc_readUnlock(doc);
        EXPECT_EQ(s, nullptr);
    });
}

TEST_F(StyleSetTest, ComputeFailsCleanlyWithoutMemory)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *g = group(doc, root);
        ASSERT_EQ(Edr_Node_addId(doc, g, 5), 0);
        sheet(ctx(), doc, 2, {rule({len(51, 1), col(29, kRed)}, {{5, 0}}, 1)});
        own(doc, g, 2, rule({len(52, 2)}));
        ASSERT_NE(Edr_StyleCtx_get(doc), nullptr);
        for (int n = 1;; n++) {
            Edr_StyleCtx_dropIndex(doc->styleCtx);
            Edr_Style *s = nullptr;
            Edr_Doc_readLock(doc);
            Mem_failAfter(n);
            int err = Edr_Style_computeForNode(doc, &s, nullptr, g);
            Mem_failAfter(0);
            Edr_Doc_readUnlock(doc);
            if (err) {
                EXPECT_EQ(err, Res_noMemory);
                EXPECT_EQ(s, nullptr);
                continue;
            }
            EXPECT_EQ(wordOf(s, 29), kRed);
            Edr_Style_release(s);
            break;
        }
    });
}

// ------------------------------------------------------------ rule index

struct Names {
    uint32_t p, div, a, b, x, pa, pax, pb, star, span;
};

Names names(Edr_Doc *doc)
{
    EXPECT_EQ(Edr_Doc_setStringTable(doc, StrTable_create(nullptr)), 0);
    Names n{};
    auto in = [&](const char16_t *s) {
        uint32_t id = 0;
        EXPECT_EQ(Edr_Doc_internStringZ(doc, s, &id), 0);
        return id;
    };
    n.p = in(u"p");
    n.div = in(u"div");
    n.span = in(u"span");
    n.a = in(u".a");
    n.b = in(u".b");
    n.x = in(u"#x");
    n.pa = in(u"p.a");
    n.pax = in(u"p.a#x");
    n.pb = in(u"p.b");
    n.star = in(u"*");
    return n;
}

TEST_F(StyleSetTest, IndexMatchesCompoundKeysAncestorsSiblingsAndStates)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Names n = names(doc);
        Edr_Node *div = group(doc, root, n.div);
        Edr_Node *span = group(doc, div, n.span);
        Edr_Node *p = group(doc, div, n.p);
        ASSERT_EQ(Edr_Node_addId(doc, p, n.a), 0);
        ASSERT_EQ(Edr_Node_setIdName(doc, p, n.x), 0);
        sheet(ctx(), doc, 0,
              {rule({len(51, 1)}, {{n.pax, 0}}, 1),                         // compound: matches
               rule({len(52, 2)}, {{n.pb, 0}}, 1),                          // lacks .b
               rule({len(53, 3)}, {{n.div, 0}, {n.pa, 0}}, 1),              // descendant of div
               rule({len(54, 4)}, {{n.span, 0}, {n.p, 0}}, 1),              // span is no ancestor
               rule({len(66, 5)}, {{n.span, 0}, {100001, 0}, {n.p, 0}}, 1), // right after a span
               rule({len(67, 6)}, {{n.star, 0}}, 0),                        // universal
               rule({len(68, 7)}, {{n.p, 8}}, 1)});                         // a link state
        Edr_Style *ds = compute(doc, div);
        Edr_Style *ps = compute(doc, p, ds);
        EXPECT_EQ(lengthOf(ps, 51), 1);
        EXPECT_EQ(lengthOf(ps, 52), 0);
        EXPECT_EQ(lengthOf(ps, 53), 3);
        EXPECT_EQ(lengthOf(ps, 54), 0);
        EXPECT_EQ(lengthOf(ps, 66), 5);
        EXPECT_EQ(lengthOf(ps, 67), 6);
        EXPECT_EQ(lengthOf(ps, 68), 0);
        EXPECT_EQ(lengthOf(ds, 67), 6);
        Edr_Style_release(ps);
        (void)span;
        // Without a parent set, only rules of one step apply.
        Edr_Style *alone = compute(doc, p);
        EXPECT_EQ(lengthOf(alone, 51), 1);
        EXPECT_EQ(lengthOf(alone, 53), 0);
        Edr_Style_release(alone);
        Edr_Style_release(ds);
    });
}

TEST_F(StyleSetTest, LinkStatesFollowTheUrlAndItsFlag)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *g = group(doc, root);
        ASSERT_EQ(Edr_Node_addId(doc, g, 2), 0);
        sheet(ctx(), doc, 2,
              {rule({col(29, kRed)}, {{2, 8}}, 11), rule({col(29, kBlue)}, {{2, 16}}, 11)});
        Edr_Style *s = compute(doc, g);
        EXPECT_EQ(wordOf(s, 29), 0xFF000000u); // no URL: neither state
        Edr_Style_release(s);
        Url *link = Url_new(u"http://example.test/a");
        ASSERT_NE(link, nullptr);
        ASSERT_EQ(Edr_Node_setUrl(doc, g, link), 0);
        Url_free(link);
        Edr_Group *gr = Edr_Node_group(g);
        s = compute(doc, g);
        EXPECT_EQ(wordOf(s, 29), kRed);
        Edr_Style_release(s);
        gr->ext->urlFlag = 1;
        s = compute(doc, g);
        EXPECT_EQ(wordOf(s, 29), kBlue);
        Edr_Style_release(s);
    });
}

TEST_F(StyleSetTest, RulesAddedAfterCompilingAreFound)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *g = group(doc, root);
        ASSERT_EQ(Edr_Node_addId(doc, g, 1), 0);
        sheet(ctx(), doc, 2, {rule({len(51, 1)}, {{1, 0}}, 10)});
        Edr_Style *s = compute(doc, g);
        EXPECT_EQ(lengthOf(s, 51), 1);
        Edr_Style_release(s);
        // A rule added to the same sheet, then a new sheet.
        Request *q = nullptr;
        ASSERT_EQ(Edr_Doc_getRequest(doc, nullptr, &q), 0);
        StyleRule *r = rule({len(52, 2)}, {{1, 0}}, 10);
        ASSERT_EQ(Request_addItem(q, &r), 0);
        Request_release(q);
        s = compute(doc, g);
        EXPECT_EQ(lengthOf(s, 52), 2);
        Edr_Style_release(s);
        sheet(ctx(), doc, 2, {rule({len(53, 3)}, {{1, 0}}, 10)});
        s = compute(doc, g);
        EXPECT_EQ(lengthOf(s, 53), 3);
        Edr_Style_release(s);
    });
}

TEST_F(StyleSetTest, LockingTheSheetsReportsAndClearsChanges)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Names n = names(doc);
        (void)root;
        sheet(ctx(), doc, 1, {rule({len(51, 1)}, {{n.p, 0}}, 1)});
        int changed = -1;
        ASSERT_EQ(Edr_Sect_lockAll(doc, &changed), 0);
        EXPECT_EQ(changed, 1);
        EXPECT_EQ(doc->styleCtx->starId, n.star);
        EXPECT_EQ(doc->styleCtx->bodyId, 0u);
        Edr_Sect_unlockAll(doc);
        ASSERT_EQ(Edr_Sect_lockAll(doc, &changed), 0);
        EXPECT_EQ(changed, 0);
        Edr_Sect_unlockAll(doc);
    });
}

} // namespace
