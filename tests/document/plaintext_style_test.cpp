// The text style sheet: the values that a loaded text document's groups
// compute from it (page rule, link rules, paragraph rule), the sheet's
// kind and weights, and the variants of page mode, the single-page
// setting and caller margins.
#include <gtest/gtest.h>

#include "fonts/fontlist.h"

#include <string>

#include "core/style/proprecords.h"
#include "core/style/stylerule.h"
#include "document/import/plaintext.h"
#include "document/style/style.h"
#include "layout/layout.h"
#include "platform/api/request.h"
#include "tests/document/plaintext_fixture.h"

namespace {

class TextStyleTest : public TextFixture {
  protected:
    // The set of node computed under parent (null: none), read lock held.
    static Edr_Style *compute(Edr_Doc *doc, Edr_Node *node, Edr_Style *parent)
    {
        Edr_Style *s = nullptr;
        Edr_Doc_readLock(doc);
        int err = Edr_Style_computeForNode(doc, &s, parent, node);
        Edr_Doc_readUnlock(doc);
        EXPECT_EQ(err, 0);
        return s;
    }
    // The type and payload word of a property, as "type:word".
    static std::string value(const Edr_Style *s, uint32_t id)
    {
        Edr_StylePayload p{};
        uint32_t type = Edr_Style_get(s, id, &p);
        if (type == PropType_ustr)
            return "9:" + S(Edr_Style_valueText(Edr_Style_getProp(s, id)));
        if (type >= PropType_firstKeyword || type == 0)
            return std::to_string(type);
        return std::to_string(type) + ":" + std::to_string(uint32_t(p.word));
    }
    static std::string spacing(const Edr_Style *s)
    {
        const Prop *p = Edr_Style_getProp(s, 110);
        if (!p || p->type != PropType_lineSpacing || !p->payload)
            return "none";
        const PropLineSpacing *r = reinterpret_cast<const PropLineSpacing *>(p->payload);
        return std::to_string(r->kind) + "," + std::to_string(r->value) + "," +
               std::to_string(r->base);
    }
    static uint32_t palette(uint32_t index)
    {
        uint8_t c[4];
        Layout_paletteColour(index, c);
        return uint32_t(c[0]) | uint32_t(c[1]) << 8 | uint32_t(c[2]) << 16 | uint32_t(c[3]) << 24;
    }
};

TEST_F(TextStyleTest, LoadedDocumentComputesTheSheetsValues)
{
    run([&] {
        Edr_Doc *doc = newDoc();
        ASSERT_EQ(open(doc, "x http://a.b/ y"), 0);
        Edr_Node *root = Edr_Doc_root(doc);
        Edr_Node *text = childAt(root, 0);
        Edr_Node *link = childAt(text, 1);
        ASSERT_NE(link, nullptr);
        Edr_Style *rootSet = compute(doc, root, nullptr);
        Edr_Style *textSet = compute(doc, text, rootSet);
        Edr_Style *linkSet = compute(doc, link, textSet);

        // The page rule on the text group (whole mode: a height of 12 inches).
        EXPECT_EQ(value(textSet, 90), "2:541983");
        EXPECT_EQ(value(textSet, 44), "2:786432");
        EXPECT_EQ(value(textSet, 59), value(rootSet, 59));
        // Eight characters of the (box) font at 8 points.
        const int64_t unit = (0x80000 + 9) / 18;
        EXPECT_EQ(value(textSet, 102),
                  "2:" + std::to_string(8 * int64_t(BoxFont_advance) * unit / 65536));
        EXPECT_EQ(value(textSet, 103), "2:81920");
        EXPECT_EQ(value(textSet, 38), "2:7281");
        EXPECT_EQ(value(textSet, 51), "2:65536");
        EXPECT_EQ(value(textSet, 53), "2:65536");
        EXPECT_EQ(value(textSet, 52), "2:81920");
        EXPECT_EQ(value(textSet, 54), "2:81920");
        EXPECT_EQ(value(textSet, 37), "9:monospace");
        EXPECT_EQ(value(textSet, 2), "8:" + std::to_string(0xFFFFFFFFu));
        EXPECT_EQ(value(textSet, 88), "209");
        EXPECT_EQ(value(textSet, 34), "39");
        EXPECT_EQ(spacing(textSet), "1,7864320,6553600");
        // Nothing of it reaches the root.
        EXPECT_NE(value(rootSet, 90), "2:541983");

        // The link rule of state 8 (a URL without the flag).
        EXPECT_EQ(value(linkSet, 29), "8:" + std::to_string(palette(2)));
        EXPECT_EQ(value(linkSet, 80), "151");
        // Inherited from the page rule.
        EXPECT_EQ(value(linkSet, 37), "9:monospace");
        EXPECT_EQ(value(linkSet, 38), "2:7281");

        EXPECT_EQ(Edr_Doc_getTypeCodeLocked(doc), uint32_t(TextDoc_typeCode));
        Edr_Style_release(linkSet);
        Edr_Style_release(textSet);
        Edr_Style_release(rootSet);
        Edr_Doc_release(doc);
    });
}

// One sheet of kind 2: the page rule (key 1, weight 10), the link rules
// (key 2 with states 8 and 16, weight 11), raised by the kind's 2000.
TEST_F(TextStyleTest, SheetKindRulesAndWeights)
{
    run([&] {
        Edr_Doc *doc = newDoc();
        ASSERT_EQ(open(doc, "x"), 0);
        Request *sheet = nullptr;
        ASSERT_EQ(Edr_Doc_getRequest(doc, nullptr, &sheet), 0);
        ASSERT_NE(sheet, nullptr);
        EXPECT_EQ(Request_getKind(sheet), 2u);
        std::string rules;
        for (StyleRule *r = Request_firstItem(sheet); r; r = Request_nextItem(sheet, r)) {
            rules += std::to_string(r->weight) + ":";
            for (StyleMatch *m = r->matches; m; m = m->next)
                rules += std::to_string(m->key) + "/" + std::to_string(m->value);
            rules += " ";
        }
        EXPECT_EQ(rules, "2010:1/0 2011:2/8 2011:2/16 ");
        StyleRule *visited = Request_itemAt(sheet, 2);
        ASSERT_NE(visited, nullptr);
        StylePropItem *colour = StyleRule_findProp(visited, 29);
        ASSERT_NE(colour, nullptr);
        EXPECT_EQ(Prop_getColour(&colour->value), palette(11));
        Request *next = nullptr;
        ASSERT_EQ(Edr_Doc_getRequest(doc, sheet, &next), 0);
        EXPECT_EQ(next, nullptr);
        Request_release(sheet);
        Edr_Doc_release(doc);
    });
}

// Page mode sets the page height (59) instead of the box height (44); the
// single-page setting sets neither.
TEST_F(TextStyleTest, HeightByMode)
{
    struct Case {
        const char *name;
        bool paged;
        uint32_t singlePage;
        bool has44, has59;
    };
    const Case cases[] = {
        {"whole", false, 0, true, false},
        {"paged", true, 0, false, true},
        {"single page", true, 1, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        run([&] {
            setInt(u"eDR", "page.on.demand", c.paged);
            setInt(u"Core", "Vexlan_TextDaSinglePage", c.singlePage);
            Edr_Doc *doc = newDoc();
            ASSERT_EQ(open(doc, "text"), 0);
            Edr_Style *rootSet = compute(doc, Edr_Doc_root(doc), nullptr);
            Edr_Style *s = compute(doc, childAt(Edr_Doc_root(doc), 0), rootSet);
            EXPECT_EQ(value(s, 44) == "2:786432", c.has44);
            EXPECT_EQ(value(s, 59) == "2:786432", c.has59);
            Edr_Style_release(s);
            Edr_Style_release(rootSet);
            Edr_Doc_release(doc);
        });
    }
}

TEST_F(TextStyleTest, PowerzoomParagraphRule)
{
    run([&] {
        setInt(nullptr, "OptimiseTextDaForPowerzoom", 1);
        Edr_Doc *doc = newDoc();
        ASSERT_EQ(open(doc, std::string(150, 'w') + "\nnext"), 0);
        Edr_Node *text = childAt(Edr_Doc_root(doc), 0);
        Edr_Node *paragraph = childAt(text, 1);
        ASSERT_NE(paragraph, nullptr);
        Edr_Style *rootSet = compute(doc, Edr_Doc_root(doc), nullptr);
        Edr_Style *textSet = compute(doc, text, rootSet);
        Edr_Style *s = compute(doc, paragraph, textSet);
        EXPECT_EQ(value(s, 34), "39");
        for (uint32_t id = 51; id <= 54; id++)
            EXPECT_EQ(value(s, id), "2:0") << id;
        EXPECT_EQ(spacing(s), "1,7864320,6553600");
        EXPECT_EQ(value(s, 37), "9:monospace");
        Edr_Style_release(s);
        Edr_Style_release(textSet);
        Edr_Style_release(rootSet);
        Edr_Doc_release(doc);
    });
}

// Caller margins replace the defaults member by member when not negative.
TEST_F(TextStyleTest, CallerMargins)
{
    run([&] {
        Edr_Doc *doc = newDoc();
        const int32_t margins[2] = {-1, 5000};
        ASSERT_EQ(TextDoc_setupStyles(ctx(), doc, 0, 0, 0, margins), 0);
        Request *sheet = nullptr;
        ASSERT_EQ(Edr_Doc_getRequest(doc, nullptr, &sheet), 0);
        StyleRule *pageRule = Request_firstItem(sheet);
        std::string got;
        for (uint32_t id : {51u, 53u, 54u, 52u})
            got += std::to_string(Prop_getLength(&StyleRule_findProp(pageRule, id)->value)) + " ";
        EXPECT_EQ(got, "65536 65536 5000 5000 ");
        Request_release(sheet);
        Edr_Doc_release(doc);
    });
}

} // namespace
