// HTML attributes: the name table, the getters, lengths and font steps,
// and the default rules that loads add once per element type.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "core/style/propids.h"
#include "core/style/stylerule.h"
#include "document/edr/doc.h"
#include "html/attributes.h"
#include "html/defaultstyle.h"
#include "html/parser.h"
#include "platform/vfs/vfs.h"
#include "platform/url/url.h"
#include "platform/api/request.h"
#include "tests/html/html_fixture.h"
#include "tests/support/heap_fixture.h"

namespace {

TEST(HtmlAttributes, NameTable)
{
    for (uint32_t i = 1; i < Html_attrCount; i++) {
        std::u16string n;
        for (const char *c = Html_attrRecords[i].name; *c; c++)
            n += char16_t(*c >= 'a' && *c <= 'z' ? *c - 32 : *c);
        EXPECT_EQ(Html_attributeId(n.data(), n.size()), i) << Html_attrRecords[i].name;
    }
    EXPECT_EQ(Html_attributeId(u"bgcolour", 8), 0u);
    EXPECT_EQ(Html_attributeId(u"None", 4), 0u);
    EXPECT_EQ(Html_attrRecords[HtmlAttr_bgcolor].kind, HtmlAttrKind_colour);
    EXPECT_EQ(Html_attrRecords[HtmlAttr_width].kind, HtmlAttrKind_length);
    EXPECT_EQ(Html_attrRecords[HtmlAttr_title].kind, HtmlAttrKind_text);
    EXPECT_EQ(HtmlAttr_title, 143u);
    EXPECT_EQ(HtmlAttr_label, 71u);
    EXPECT_EQ(HtmlAttr_lang, 72u);
}

TEST(HtmlAttributes, Applicability)
{
    EXPECT_TRUE(Html_attrApplies(HtmlAttr_bgcolor, HtmlEl_Td));
    EXPECT_FALSE(Html_attrApplies(HtmlAttr_bgcolor, HtmlEl_P));
    EXPECT_TRUE(Html_attrApplies(HtmlAttr_align, HtmlEl_H6));
    EXPECT_FALSE(Html_attrApplies(HtmlAttr_align, HtmlEl_Span));
    EXPECT_FALSE(Html_attrApplies(HtmlAttr_align, Html_elementCount + 1));
    EXPECT_FALSE(Html_attrApplies(Html_attrCount, HtmlEl_P));
}

// A tag and its attribute spans, built from name/value pairs.
struct Tag {
    std::u16string text = u"<x";
    std::vector<HtmlTagSpan> spans{HtmlTagSpan{1, 1, -1, 0}};
    Tag &add(const char16_t *name, const char16_t *value)
    {
        text += u" ";
        HtmlTagSpan s{int32_t(text.size()), uint32_t(std::u16string(name).size()), -1, 0};
        text += name;
        if (value) {
            text += u"=";
            s.valueStart = int32_t(text.size());
            s.valueLength = uint32_t(std::u16string(value).size());
            text += value;
        }
        spans.push_back(s);
        return *this;
    }
    std::u16string get(uint32_t attr, bool *found = nullptr)
    {
        size_t n = 0;
        const char16_t *v =
            Html_getAttrTrimmed(text.data(), spans.data(), uint32_t(spans.size() - 1), attr, &n);
        if (found)
            *found = v != nullptr;
        return v ? std::u16string(v, n) : u"";
    }
};

TEST(HtmlAttributes, Getters)
{
    Tag t;
    t.add(u"CHECKED", nullptr)
        .add(u"nowrap", u"")
        .add(u"Width", u" 12 ")
        .add(u"width", u"99")
        .add(u"alt", nullptr);
    EXPECT_EQ(t.get(HtmlAttr_checked), u"checked"); // a boolean answers its own name
    EXPECT_EQ(t.get(HtmlAttr_nowrap), u"nowrap");
    EXPECT_EQ(t.get(HtmlAttr_width), u"12"); // the first occurrence counts
    bool found = false;
    EXPECT_EQ(t.get(HtmlAttr_alt, &found), u"");
    EXPECT_TRUE(found);
    t.get(HtmlAttr_title, &found);
    EXPECT_FALSE(found);
}

TEST(HtmlAttributes, Lengths)
{
    struct Case {
        const char16_t *text;
        uint16_t type;
        int32_t value;
    } cases[] = {
        {u"96", 2, 65536},
        {u" 96px", 2, 65536},
        {u"72pt", 2, 65536},
        {u"6pc", 2, 65536},
        {u"1in", 2, 65536},
        {u"1cm", 2, 25801},    // exact, not half an inch
        {u"2.54cm", 2, 65528}, // two fraction digits scale by 655
        {u"25.4mm", 2, 65536},
        {u"10mm", 2, 25801},
        {u"1.5em", 3, 98306}, // one digit scales by 6554
        {u"2ex", 3, 131072},
        {u"50%", 7, 50 << 16},
        {u"-96", 2, -65536},
        {u"+96", 2, 65536},
        {u"1.25 in", 2, 81911},
        {u"1.0000cm", 2, 25801},
        {u"99999", 2, (32767 << 16) / 96},
    };
    for (const Case &c : cases) {
        std::u16string t = c.text;
        HtmlLength len{};
        ASSERT_EQ(Html_parseLength(t.data(), t.size(), &len), 1) << std::string(t.begin(), t.end());
        EXPECT_EQ(len.type, c.type) << std::string(t.begin(), t.end());
        EXPECT_EQ(len.value, c.value) << std::string(t.begin(), t.end());
    }
    for (const char16_t *bad : {u"", u"px", u"-", u"border", u".x"}) {
        std::u16string t = bad;
        HtmlLength len{};
        EXPECT_EQ(Html_parseLength(t.data(), t.size(), &len), 0) << std::string(t.begin(), t.end());
    }
}

TEST(HtmlAttributes, FontStepsAndPixels)
{
    struct Case {
        const char16_t *text;
        int32_t pixels;
    } cases[] = {
        {u"1", 10},  {u"3", 16},  {u"7", 48},  {u"9", 48},   {u"0", 10},  {u"+1", 18},
        {u"+4", 48}, {u"-1", 13}, {u"-5", 10}, {u"2.5", 16}, {u"+0", 16},
    };
    for (const Case &c : cases) {
        std::u16string t = c.text;
        int32_t inches = 0;
        ASSERT_EQ(Html_parseFontStep(t.data(), t.size(), &inches), 1);
        EXPECT_EQ(inches, c.pixels * 65536 / 96) << std::string(t.begin(), t.end());
    }
    int32_t inches = 0;
    EXPECT_EQ(Html_parseFontStep(u"big", 3, &inches), 0);
    EXPECT_EQ(Html_getAttrInches(u"96", 2), 65536);
    EXPECT_EQ(Html_getAttrInches(u"32768", 5), -1);
    EXPECT_EQ(Html_getAttrInches(u"1x", 2), -1);
    EXPECT_EQ(Html_getAttrInches(u"", 0), -1);
}

// The rules of a loaded document's own request whose first key is key.
int rulesWithKey(Edr_Doc *doc, uint32_t key)
{
    int count = 0;
    Request *r = nullptr;
    EXPECT_EQ(Edr_Doc_getRequest(doc, nullptr, &r), 0);
    while (r) {
        Request_lock(r);
        for (StyleRule *rule = Request_firstItem(r); rule; rule = Request_nextItem(r, rule))
            if (StyleRule_firstKey(rule) == key)
                count++;
        Request_unlock(r);
        Request *next = nullptr;
        EXPECT_EQ(Edr_Doc_getRequest(doc, r, &next), 0);
        Request_release(r);
        r = next;
    }
    return count;
}

using HtmlDefaultStyleTest = HtmlFixture;

TEST_F(HtmlDefaultStyleTest, OneRulePerElementType)
{
    run([&] {
        Edr_Doc *doc = load("<p>a<p>b<b>c</b><b>d</b><input><select></select><span>e</span>");
        EXPECT_EQ(rulesWithKey(doc, HtmlEl_P), 1);
        EXPECT_EQ(rulesWithKey(doc, HtmlEl_B), 1);
        EXPECT_EQ(rulesWithKey(doc, HtmlEl_Input), 1);
        EXPECT_EQ(rulesWithKey(doc, HtmlEl_Select), 1);
        EXPECT_EQ(rulesWithKey(doc, HtmlEl_Okalawidget), 1); // shared by the controls
        EXPECT_EQ(rulesWithKey(doc, HtmlEl_Okalasection), 1);
        EXPECT_EQ(rulesWithKey(doc, HtmlEl_Span), 0); // no default style
        EXPECT_EQ(rulesWithKey(doc, HtmlEl_A), 2);    // link and visited colours
        Edr_Doc_release(doc);
    });
}

using HtmlDefaultRecordTest = LeakCheckedHeapTest<>;

TEST_F(HtmlDefaultRecordTest, RecordsAreValid)
{
    StyleRule *rule = nullptr;
    ASSERT_EQ(StyleRule_create(&rule), 0);
    for (uint32_t i = 0; i < Html_defaultPropCount; i++)
        EXPECT_EQ(Html_addDefaultProp(i, rule), 0) << i;
    EXPECT_EQ(Html_addDefaultProp(Html_defaultPropCount, rule), int(Html_errBadDefaultProp));
    // A second value of an id already in the rule is not added.
    StylePropItem *first = StyleRule_findProp(rule, PropId_marginTop);
    ASSERT_NE(first, nullptr);
    int margins = 0;
    for (StylePropItem *p = StyleRule_firstProp(rule); p; p = p->next)
        margins += p->value.id == PropId_marginTop;
    EXPECT_EQ(margins, 1);
    StyleRule_destroy(rule);
    for (uint32_t id = 0; id <= Html_elementCount; id++) {
        EXPECT_EQ(Html_defaultRows[id][0], id);
        bool ended = false;
        for (uint32_t b = 1; b < Html_defaultRowBytes && !ended; b++) {
            ended = Html_defaultRows[id][b] == 0xFF;
            if (!ended) {
                EXPECT_LT(Html_defaultRows[id][b], Html_defaultPropCount) << id;
            }
        }
        EXPECT_TRUE(ended) << id;
    }
}

} // namespace

namespace {

TEST(HtmlAttributes, CleanCharsetName)
{
    struct Case {
        const char16_t *in;
        const char16_t *out;
    } cases[] = {
        {u"windows-1251", u"windows-1251"},
        {u"  \"x-euc-jp", u"\"x-euc-jp"}, // a quote is printable
        {u"X-SJIS", u"SJIS"},
        {u"iso-8859-1-1987", u"iso-8859-1"},
        {u"koi8-r; more", u"koi8-r;"},
        {u"\tutf-8 x", u"utf-8"},
        {u"", u""},
    };
    for (const Case &c : cases) {
        std::u16string in = c.in;
        char16_t out[16];
        size_t n = Html_cleanCharsetName(in.data(), in.size(), out, 16);
        EXPECT_EQ(std::u16string(out, n), c.out) << std::string(in.begin(), in.end());
    }
    // The copy is cut to the room given.
    char16_t small[4];
    EXPECT_EQ(Html_cleanCharsetName(u"windows", 7, small, 4), 3u);
    EXPECT_EQ(std::u16string(small), u"win");
}

} // namespace

namespace {

using HtmlAttrPropTest = LeakCheckedHeapTest<>;

TEST_F(HtmlAttrPropTest, ValueTableAndNames)
{
    EXPECT_EQ(Html_valueId(u"0", 1), 21u);
    EXPECT_EQ(Html_valueId(u"YES", 3), 66u);
    EXPECT_EQ(Html_valueId(u"Left", 4), 44u);
    EXPECT_EQ(Html_valueId(u"sideways", 8), 0u);
    EXPECT_STREQ(Html_attrName(HtmlAttr_title), "title");
    EXPECT_STREQ(Html_attrName(0), "None");
    EXPECT_EQ(Html_attrName(Html_attrCount), nullptr);
    // Keyword values name themselves through the value table; numbers and
    // texts through their text form; other keywords have none.
    struct Case {
        Prop value;
        const char16_t *text;
    } cases[] = {
        {{HtmlAttr_valign, 47, 0, 0, 0}, u"middle"},
        {{HtmlAttr_align, 44, 0, 0, 0}, u"left"},
        {{HtmlAttr_span, PropType_int, 0, 3, 0}, u"3"},
        {{HtmlAttr_title, PropType_ustr, 0, reinterpret_cast<uintptr_t>(u"hi"), 2}, u"hi"},
        {{HtmlAttr_align, 67, 0, 0, 0}, nullptr},
    };
    for (const Case &c : cases) {
        char16_t *t = Html_attributeText(&c.value);
        if (!c.text) {
            EXPECT_EQ(t, nullptr);
            continue;
        }
        ASSERT_NE(t, nullptr) << c.value.id << " " << c.value.type;
        EXPECT_EQ(std::u16string(t), c.text);
        Mem_free(t);
    }
}

TEST(HtmlAttributes, NumbersAndPresence)
{
    Tag t;
    t.add(u"span", u" 12 ")
        .add(u"rowspan", u"65536")
        .add(u"colspan", u"4294967295")
        .add(u"start", u"-1")
        .add(u"tabindex", u"")
        .add(u"checked", nullptr)
        .add(u"char", u"x");
    const uint32_t n = uint32_t(t.spans.size() - 1);
    uint32_t x = 0;
    EXPECT_EQ(Html_getAttrU16(t.text.data(), t.spans.data(), n, HtmlAttr_span, &x), 1);
    EXPECT_EQ(x, 12u);
    EXPECT_EQ(Html_getAttrU16(t.text.data(), t.spans.data(), n, HtmlAttr_rowspan, &x), 0);
    EXPECT_EQ(Html_getAttrUint(t.text.data(), t.spans.data(), n, HtmlAttr_rowspan, &x), 1);
    EXPECT_EQ(x, 65536u);
    EXPECT_EQ(Html_getAttrUint(t.text.data(), t.spans.data(), n, HtmlAttr_colspan, &x), 1);
    EXPECT_EQ(x, 4294967295u);
    EXPECT_EQ(Html_getAttrUint(t.text.data(), t.spans.data(), n, HtmlAttr_start, &x), 0);
    EXPECT_EQ(Html_getAttrUint(t.text.data(), t.spans.data(), n, HtmlAttr_tabindex, &x), 0);
    EXPECT_EQ(Html_getAttrUint(t.text.data(), t.spans.data(), n, HtmlAttr_width, &x), 0);
    EXPECT_EQ(Html_attrPresent(t.text.data(), t.spans.data(), n, HtmlAttr_checked), 1);
    EXPECT_EQ(Html_attrPresent(t.text.data(), t.spans.data(), n, HtmlAttr_tabindex), 0);
    EXPECT_EQ(Html_attrPresent(t.text.data(), t.spans.data(), n, HtmlAttr_width), 0);
}

TEST_F(HtmlAttrPropTest, StoredByValueKind)
{
    Tag t;
    t.add(u"width", u"50%")
        .add(u"valign", u"Middle")
        .add(u"scope", u"row")
        .add(u"bgcolor", u"red")
        .add(u"span", u"3")
        .add(u"start", u"70000")
        .add(u"href", u"a.html")
        .add(u"title", u" T ")
        .add(u"lang", u"")
        .add(u"dynsrc", u"x");
    const uint32_t n = uint32_t(t.spans.size() - 1);
    StyleRule *list = nullptr;
    ASSERT_EQ(StyleRule_create(&list), 0);
    for (uint32_t attr = 1; attr < Html_attrCount; attr++)
        ASSERT_EQ(Html_setAttrProp(list, t.text.data(), t.spans.data(), n, attr), 0);
    struct Want {
        uint32_t attr;
        uint16_t type;
        const char16_t *text;
    } wants[] = {
        {HtmlAttr_width, PropType_percent, u"50.00%"},   {HtmlAttr_valign, 47, u"middle"},
        {HtmlAttr_scope, PropType_ustr, u"row"}, // not in the value table: kept as text
        {HtmlAttr_bgcolor, PropType_colour, u"#ff0000"}, {HtmlAttr_span, PropType_int, u"3"},
        {HtmlAttr_href, PropType_ustr, u"a.html"},       {HtmlAttr_title, PropType_ustr, u"T"},
    };
    for (const Want &w : wants) {
        StylePropItem *item = StyleRule_findProp(list, w.attr);
        ASSERT_NE(item, nullptr) << w.attr;
        EXPECT_EQ(item->value.type, w.type) << w.attr;
        char16_t *text = Html_attributeText(&item->value);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(std::u16string(text), w.text);
        Mem_free(text);
    }
    EXPECT_EQ(StyleRule_findProp(list, HtmlAttr_start), nullptr);  // above 65535
    EXPECT_EQ(StyleRule_findProp(list, HtmlAttr_lang), nullptr);   // empty
    EXPECT_EQ(StyleRule_findProp(list, HtmlAttr_dynsrc), nullptr); // no value kind
    StyleRule_destroy(list);
}

TEST_F(HtmlAttrPropTest, CleanUrlText)
{
    struct Case {
        const char16_t *in;
        int shiftJis;
        const char16_t *out;
    } cases[] = {
        {u"a\tb\nc\rd", 0, u"abcd"},
        {u"dir\\file.html", 0, u"dir/file.html"},
        {u"x\u00a5y\u2035", 0, u"x\u00a5y\u2035"},
        {u"x\u00a5y\u2035", 1, u"x\\\u00a5y~\u2035"},
        {u"", 0, u""},
    };
    for (const Case &c : cases) {
        size_t n = 0;
        char16_t *out = Html_cleanUrlText(c.in, std::u16string(c.in).size(), c.shiftJis, &n);
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(std::u16string(out, n), c.out);
        EXPECT_EQ(out[n], 0);
        Mem_free(out);
    }
}

using HtmlAttrNodeTest = HtmlFixture;

// The first group with element id under node, depth first.
Edr_Node *findElement(Edr_Node *node, uint32_t element)
{
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        if (Edr_Node_type(c) == Edr_NodeType_group && Edr_Node_group(c)->element == element)
            return c;
        if (Edr_Node_type(c) == Edr_NodeType_group)
            if (Edr_Node *found = findElement(c, element))
                return found;
    }
    return nullptr;
}

std::u16string attributeOf(Edr_Doc *doc, Edr_Node *node, const char16_t *name)
{
    char16_t *text = nullptr;
    EXPECT_EQ(Edr_Node_getAttribute(doc, node, name, uint32_t(std::u16string(name).size()), &text),
              0);
    std::u16string out = text ? text : u"(none)";
    Mem_free(text);
    return out;
}

TEST_F(HtmlAttrNodeTest, NodeSettings)
{
    run([&] {
        Edr_Doc *doc = load("<p class='b a' id=top title='Top para' lang=en dir=rtl "
                            "tabindex=7>x</p><a tabindex=7>z</a>"
                            "<img alt='  two\n words ' name=pic><bdo dir=ltr>y</bdo>");
        // Nodes of the tree are read through a reference of their own.
        Edr_Node *p = findElement(Edr_Doc_root(doc), HtmlEl_P);
        Edr_Node *img = findElement(Edr_Doc_root(doc), HtmlEl_Img);
        ASSERT_NE(p, nullptr);
        ASSERT_NE(img, nullptr);
        Edr_Doc_readLock(doc);
        EXPECT_EQ(Edr_Node_addRefLocked(doc, p), 0);
        EXPECT_EQ(Edr_Node_addRefLocked(doc, img), 0);
        Edr_Doc_readUnlock(doc);
        EXPECT_EQ(attributeOf(doc, p, u"title"), u"Top para");
        EXPECT_EQ(attributeOf(doc, p, u"LANG"), u"en");
        EXPECT_EQ(attributeOf(doc, p, u"summary"), u"(none)");
        char16_t *text = nullptr;
        ASSERT_EQ(Edr_Node_getClassNames(doc, p, &text), 0);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(std::u16string(text), u"b a");
        Mem_free(text);
        ASSERT_EQ(Edr_Node_getIdText(doc, p, &text), 0);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(std::u16string(text), u"top");
        Mem_free(text);
        EXPECT_EQ(Edr_Node_group(p)->ext->tabIndex, 0); // not on p
        Edr_Node *a = findElement(Edr_Doc_root(doc), HtmlEl_A);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(Edr_Node_group(a)->ext->tabIndex, 7);
        EXPECT_EQ(attributeOf(doc, img, u"alt"), u"two words");
        EXPECT_EQ(attributeOf(doc, img, u"name"), u"pic");
        Edr_Node_release(doc, p);
        Edr_Node_release(doc, img);
        Edr_Doc_release(doc);
    });
}

} // namespace

namespace {

std::string urlOf(Edr_Doc *doc, Edr_Node *node)
{
    Url *url = nullptr;
    EXPECT_EQ(Edr_Node_getUrl(doc, node, &url), 0);
    char *text = url ? Url_toUtf8(url, UrlPart_all) : nullptr;
    std::string out = text ? text : "(none)";
    Mem_free(text);
    Url_free(url);
    return out;
}

TEST_F(HtmlAttrNodeTest, LinkTargets)
{
    run([&] {
        // Latin-1 page: the e with acute accent goes out as %E9; a
        // backslash becomes '/', line breaks inside the value vanish.
        Edr_Doc *doc = load("<a href='dir\\x\xe9\n.html'>x</a><form action='go'></form><p>y</p>");
        Edr_Node *a = findElement(Edr_Doc_root(doc), HtmlEl_A);
        Edr_Node *form = findElement(Edr_Doc_root(doc), HtmlEl_Form);
        Edr_Node *p = findElement(Edr_Doc_root(doc), HtmlEl_P);
        ASSERT_NE(a, nullptr);
        ASSERT_NE(form, nullptr);
        Edr_Doc_readLock(doc);
        EXPECT_EQ(Edr_Node_addRefLocked(doc, a), 0);
        EXPECT_EQ(Edr_Node_addRefLocked(doc, form), 0);
        EXPECT_EQ(Edr_Node_addRefLocked(doc, p), 0);
        Edr_Doc_readUnlock(doc);
        std::string url = urlOf(doc, a);
        EXPECT_NE(url.find("dir/x%E9.html"), std::string::npos) << url;
        EXPECT_NE(urlOf(doc, form).find("go"), std::string::npos);
        EXPECT_EQ(urlOf(doc, p), "(none)");
        Edr_Node_release(doc, a);
        Edr_Node_release(doc, form);
        Edr_Node_release(doc, p);
        Edr_Doc_release(doc);
    });
}

} // namespace

namespace {

TEST_F(HtmlAttrNodeTest, EventAttributesAreKeptAsRecords)
{
    run([&] {
        Edr_Doc *doc =
            load("<p onclick='go()' onMouseOver=\"hi(1)\" onsubmit='no'>x</p><br onclick='no'>");
        Edr_Node *p = findElement(Edr_Doc_root(doc), HtmlEl_P);
        Edr_Node *br = findElement(Edr_Doc_root(doc), HtmlEl_Br);
        ASSERT_NE(p, nullptr);
        ASSERT_NE(br, nullptr);
        Edr_Doc_readLock(doc);
        EXPECT_EQ(Edr_Node_addRefLocked(doc, p), 0);
        EXPECT_EQ(Edr_Node_addRefLocked(doc, br), 0);
        Edr_Doc_readUnlock(doc);
        char16_t *text = Edr_Node_recordsToText(doc, p);
        ASSERT_NE(text, nullptr);
        std::u16string records(text);
        Mem_free(text);
        EXPECT_TRUE(records == u" onclick=\"go()\" onmouseover=\"hi(1)\"")
            << std::string(records.begin(), records.end());
        text = Edr_Node_recordsToText(doc, br); // not an attribute of br
        EXPECT_TRUE(!text || !text[0]);
        Mem_free(text);
        Edr_Node_release(doc, p);
        Edr_Node_release(doc, br);
        Edr_Doc_release(doc);
    });
}

} // namespace

namespace {

TEST_F(HtmlAttrNodeTest, ASecondBodyTagMergesIntoTheFirst)
{
    run([&] {
        Edr_Doc *doc =
            load("<body bgcolor=red title=first class=a><p>x</p><body class=b lang=en text=blue>");
        Edr_Node *body = findElement(Edr_Doc_root(doc), HtmlEl_Body);
        ASSERT_NE(body, nullptr);
        Edr_Doc_readLock(doc);
        EXPECT_EQ(Edr_Node_addRefLocked(doc, body), 0);
        Edr_Doc_readUnlock(doc);
        EXPECT_EQ(attributeOf(doc, body, u"title"), u"first");
        EXPECT_EQ(attributeOf(doc, body, u"lang"), u"en");
        uint32_t *ids = nullptr;
        uint32_t count = 0;
        ASSERT_EQ(Edr_Node_copyIdList(doc, body, &ids, &count), 0);
        // Both tags' attribute rules and both class names (the list ends
        // with a 0).
        EXPECT_EQ(count, 5u);
        Mem_free(ids);
        char16_t *classes = nullptr;
        ASSERT_EQ(Edr_Node_getClassNames(doc, body, &classes), 0);
        ASSERT_NE(classes, nullptr);
        std::u16string names(classes);
        Mem_free(classes);
        EXPECT_NE(names.find(u"a"), std::u16string::npos);
        EXPECT_NE(names.find(u"b"), std::u16string::npos);
        Edr_Node_release(doc, body);
        Edr_Doc_release(doc);
    });
}

} // namespace

namespace {

// Every group with element id under node, depth first.
void collectElements(Edr_Node *node, uint32_t element, std::vector<Edr_Node *> *out)
{
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        if (Edr_Node_type(c) != Edr_NodeType_group)
            continue;
        if (Edr_Node_group(c)->element == element)
            out->push_back(c);
        collectElements(c, element, out);
    }
}

// The keys of a group's id list (the list ends with a 0).
std::vector<uint32_t> keysOf(Edr_Doc *doc, Edr_Node *node)
{
    uint32_t *ids = nullptr;
    uint32_t count = 0;
    // Nodes are read through a reference of their own.
    Edr_Doc_readLock(doc);
    EXPECT_EQ(Edr_Node_addRefLocked(doc, node), 0);
    Edr_Doc_readUnlock(doc);
    EXPECT_EQ(Edr_Node_copyIdList(doc, node, &ids, &count), 0);
    Edr_Node_release(doc, node);
    std::vector<uint32_t> keys;
    for (uint32_t i = 0; i < count; i++)
        if (ids[i])
            keys.push_back(ids[i]);
    Mem_free(ids);
    return keys;
}

// Attribute rules are keyed by numbers that no interned name can take: a
// page with thousands of class names keeps each rule on its own element.
TEST_F(HtmlAttrNodeTest, AttributeRuleKeysStayApartFromManyNames)
{
    run([&] {
        std::string page = "<p align=center>x</p>";
        for (int i = 0; i < 6000; i++)
            page += "<span class=c" + std::to_string(i) + ">.</span>";
        page += "<p align=right>y</p>";
        Edr_Doc *doc = load(page);
        std::vector<Edr_Node *> paragraphs, spans;
        collectElements(Edr_Doc_root(doc), HtmlEl_P, &paragraphs);
        collectElements(Edr_Doc_root(doc), HtmlEl_Span, &spans);
        ASSERT_EQ(paragraphs.size(), 2u);
        ASSERT_EQ(spans.size(), 6000u);
        std::vector<uint32_t> ruleKeys;
        for (Edr_Node *p : paragraphs) {
            std::vector<uint32_t> keys = keysOf(doc, p);
            ASSERT_EQ(keys.size(), 1u);
            ruleKeys.push_back(keys[0]);
            // A rule key reads as no class name.
            char16_t *classes = nullptr;
            Edr_Doc_readLock(doc);
            EXPECT_EQ(Edr_Node_addRefLocked(doc, p), 0);
            Edr_Doc_readUnlock(doc);
            EXPECT_EQ(Edr_Node_getClassNames(doc, p, &classes), 0);
            Edr_Node_release(doc, p);
            EXPECT_TRUE(!classes || !classes[0]);
            Mem_free(classes);
        }
        EXPECT_NE(ruleKeys[0], ruleKeys[1]);
        for (Edr_Node *span : spans) {
            std::vector<uint32_t> keys = keysOf(doc, span);
            ASSERT_EQ(keys.size(), 1u);
            EXPECT_NE(keys[0], ruleKeys[0]);
            EXPECT_NE(keys[0], ruleKeys[1]);
        }
        Edr_Doc_release(doc);
    });
}

} // namespace

namespace {

// The image node of a group (its first image child) and that image's URL.
std::string imageUrlOf(Edr_Doc *doc, Edr_Node *group)
{
    for (Edr_Node *c = Edr_Node_firstChild(group); c; c = Edr_Node_nextSibling(c)) {
        if (Edr_Node_type(c) != Edr_NodeType_image)
            continue;
        Url *url = nullptr;
        Edr_Node_getImageInfo(doc, 0, c, &url, nullptr, nullptr, nullptr, nullptr, nullptr);
        char *text = url ? Url_toUtf8(url, UrlPart_all) : nullptr;
        std::string out = text ? text : "";
        Mem_free(text); // the URL itself is lent
        return out;
    }
    return "(no image)";
}

// src gives the image waiting in an img group its picture, and makes one
// for an input of type image; with images off the image stays empty.
TEST_F(HtmlAttrNodeTest, SourcesGiveImagesTheirPictures)
{
    for (bool enabled : {true, false}) {
        SCOPED_TRACE(enabled ? "images on" : "images off");
        run([&] {
            setInt("EnableImages", enabled ? 1 : 0);
            Edr_Doc *doc = load(
                "<img src=' http://example.com/a.png '><img>"
                "<input type=image src='http://example.com/go.gif'><input type=text src=x.png>");
            std::vector<Edr_Node *> images, inputs;
            collectElements(Edr_Doc_root(doc), HtmlEl_Img, &images);
            collectElements(Edr_Doc_root(doc), HtmlEl_Input, &inputs);
            ASSERT_EQ(images.size(), 2u);
            ASSERT_EQ(inputs.size(), 2u);
            Edr_Doc_readLock(doc);
            EXPECT_EQ(imageUrlOf(doc, images[0]), enabled ? "http://example.com/a.png" : "");
            EXPECT_EQ(imageUrlOf(doc, images[1]), "");
            EXPECT_EQ(imageUrlOf(doc, inputs[0]),
                      enabled ? "http://example.com/go.gif" : "(no image)");
            EXPECT_EQ(imageUrlOf(doc, inputs[1]), "(no image)");
            Edr_Doc_readUnlock(doc);
            Edr_Doc_release(doc);
            setInt("EnableImages", 1);
        });
    }
}

// The background attribute keeps its text as background-image and, with
// images on, makes a picture node (its address resolved against the page)
// in a numbered group of the document that the rule names for layout.
TEST_F(HtmlAttrNodeTest, ABackgroundMakesAPictureNodeItsRuleNames)
{
    for (bool enabled : {true, false}) {
        SCOPED_TRACE(enabled ? "images on" : "images off");
        run([&] {
            setInt("EnableImages", enabled ? 1 : 0);
            Edr_Doc *doc = nullptr;
            ASSERT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
            Url *page = Url_new(u"http://example.com/dir/page.html");
            ASSERT_EQ(Edr_Doc_setUrl(doc, page), 0);
            Url_free(page);
            VfsHandle *stream = memoryStream("<body background=' tile.png '>x");
            ASSERT_NE(stream, nullptr);
            stream->url = Url_new(u"http://example.com/dir/page.html"); // the page's own address
            ASSERT_EQ(
                Html_loadDocumentChunked(ctx(), doc, stream, Edr_Doc_root(doc), 0, nullptr, 4096),
                0);
            EXPECT_EQ(Vfs_close(stream), 0);
            // The rule holding background-image, and the number it names.
            int rules = 0;
            int32_t number = -1;
            Request *r = nullptr;
            EXPECT_EQ(Edr_Doc_getRequest(doc, nullptr, &r), 0);
            while (r) {
                Request_lock(r);
                for (StyleRule *rule = Request_firstItem(r); rule;
                     rule = Request_nextItem(r, rule)) {
                    if (!StyleRule_findProp(rule, PropId_backgroundImage))
                        continue;
                    rules++;
                    StylePropItem *ref = StyleRule_findProp(rule, PropId_backgroundImageRef);
                    number = ref ? Prop_getInt(&ref->value) : 0;
                }
                Request_unlock(r);
                Request *next = nullptr;
                EXPECT_EQ(Edr_Doc_getRequest(doc, r, &next), 0);
                Request_release(r);
                r = next;
            }
            EXPECT_EQ(rules, 1);
            if (enabled) {
                ASSERT_GT(number, 0);
                uint32_t n = uint32_t(number);
                Edr_Node *holder = nullptr;
                ASSERT_EQ(Edr_Doc_getNumberedGroup(doc, &n, &holder), 0);
                Edr_Doc_readLock(doc);
                EXPECT_EQ(imageUrlOf(doc, holder), "http://example.com/dir/tile.png");
                Edr_Doc_readUnlock(doc);
                Edr_Node_release(doc, holder);
            } else {
                EXPECT_EQ(number, 0);
            }
            Edr_Doc_release(doc);
            setInt("EnableImages", 1);
        });
    }
}

} // namespace
