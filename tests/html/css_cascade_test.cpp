// Style sheets in loaded pages: the style engine sees the rules of style
// elements, the user sheet and style attributes with their origins and
// !important, and imports that loop end.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/mem/mem.h"
#include "core/style/propids.h"
#include "core/style/stylerule.h"
#include "core/task/task.h"
#include "html/css/css.h"
#include "html/css/csstext.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/style/style.h"
#include "platform/api/request.h"
#include "tests/html/html_fixture.h"

namespace {

using CssCascadeTest = HtmlFixture;

// The first group with element id under node, depth first.
Edr_Node *findElement(Edr_Node *node, uint32_t element, int skip = 0)
{
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        if (Edr_Node_type(c) != Edr_NodeType_group)
            continue;
        if (Edr_Node_group(c)->element == element && skip-- == 0)
            return c;
        if (Edr_Node *found = findElement(c, element, skip))
            return found;
    }
    return nullptr;
}

// The colour word (0xAABBGGRR) the style engine gives the nth element.
uint32_t colourOf(Edr_Doc *doc, uint32_t element, int nth = 0)
{
    Edr_Node *node = findElement(Edr_Doc_root(doc), element, nth);
    EXPECT_NE(node, nullptr);
    if (!node)
        return 0;
    Edr_Style *set = nullptr;
    EXPECT_EQ(Edr_Style_computeForPath(doc, node, &set), 0);
    Edr_StylePayload v{};
    uint32_t type = set ? Edr_Style_get(set, PropId_color, &v) : 0;
    Edr_Style_release(set);
    return type == PropType_colour ? uint32_t(v.word) : 0;
}

constexpr uint32_t kRed = 0xff0000ff, kGreen = 0xff008000, kBlue = 0xffff0000, kYellow = 0xff00ffff;

TEST_F(CssCascadeTest, SheetsAttributesAndImportance)
{
    run([&] {
        Edr_Doc *doc = load("<html><head><style>"
                            "p { color: red } p.c { color: green } #i { color: blue }"
                            "em { color: red !important } em { color: green }"
                            "a:link { color: yellow }"
                            "div > p { color: yellow } p[title] { color: yellow }"
                            "@media print { h1 { color: yellow } }"
                            "</style></head><body>"
                            "<p>plain</p><p class=c>classed</p><p class=c id=i>with id</p>"
                            "<p class=c style='color: #ff0000'>inline</p>"
                            "<em style='color: blue'>important</em><h1>heading</h1>"
                            "<div><p title=t>child</p></div></body></html>");
        EXPECT_EQ(colourOf(doc, HtmlEl_P, 0), kRed);
        EXPECT_EQ(colourOf(doc, HtmlEl_P, 1), kGreen); // a class outweighs a type
        EXPECT_EQ(colourOf(doc, HtmlEl_P, 2), kBlue);  // an id outweighs a class
        EXPECT_EQ(colourOf(doc, HtmlEl_P, 3), kRed);   // the style attribute wins
        EXPECT_EQ(colourOf(doc, HtmlEl_Em), kRed);     // !important over later and inline rules
        EXPECT_NE(colourOf(doc, HtmlEl_H1), kYellow);  // another medium's rule
        EXPECT_EQ(colourOf(doc, HtmlEl_P, 4), kRed);   // child and attribute selectors dropped
        Edr_Doc_release(doc);
    });
}

TEST_F(CssCascadeTest, AuthorOutweighsUser)
{
    run([&] {
        std::string path = "file://" VEXLAN_FIXTURES "/html/user.css"; // p { color: green }
        std::u16string url(path.begin(), path.end());
        setText("Vexlan_userStyleSheet", url.c_str());
        Edr_Doc *doc = load("<style>p.a { color: red }</style><p>user</p><p class=a>author</p>");
        EXPECT_EQ(colourOf(doc, HtmlEl_P, 0), kGreen);
        EXPECT_EQ(colourOf(doc, HtmlEl_P, 1), kRed);
        Edr_Doc_release(doc);
        setText("Vexlan_userStyleSheet", u"");
    });
}

// The requests of a document and their rule counts.
std::vector<int> ruleCounts(Edr_Doc *doc)
{
    std::vector<int> out;
    Request *r = nullptr;
    EXPECT_EQ(Edr_Doc_getRequest(doc, nullptr, &r), 0);
    while (r) {
        int n = 0;
        for (StyleRule *rule = Request_firstItem(r); rule; rule = Request_nextItem(r, rule))
            n++;
        out.push_back(n);
        Request *next = nullptr;
        EXPECT_EQ(Edr_Doc_getRequest(doc, r, &next), 0);
        Request_release(r);
        r = next;
    }
    return out;
}

TEST_F(CssCascadeTest, ImportCyclesEnd)
{
    run([&] {
        std::string dir = "file://" VEXLAN_FIXTURES "/html/css/";
        // One sheet importing itself, and a ring of three: each sheet is
        // read once and the imports stop.
        for (const char *sheet : {"self.css", "ring_a.css"}) {
            std::string page = "<style>@import url(" + dir + sheet + ");</style><p>x</p>";
            Edr_Doc *doc = load(page);
            std::vector<int> counts = ruleCounts(doc);
            size_t sheets = 0;
            for (int n : counts)
                sheets += n == 1;
            EXPECT_EQ(sheets, std::string(sheet) == "self.css" ? 1u : 3u) << sheet;
            Edr_Doc_release(doc);
        }
    });
}

} // namespace

namespace {

// The rules of a request as text: weight, keys and CSS text.
std::string dumpRequest(Request *r)
{
    std::string out;
    for (StyleRule *rule = Request_firstItem(r); rule; rule = Request_nextItem(r, rule)) {
        out += std::to_string(rule->weight);
        for (StyleMatch *m = rule->matches; m; m = m->next)
            out += " " + std::to_string(m->key) + "/" + std::to_string(m->value);
        char16_t *css = Css_ruleToText(rule);
        for (const char16_t *c = css; c && *c; c++)
            out += char(*c);
        Mem_free(css);
        out += "\n";
    }
    return out;
}

TEST_F(CssCascadeTest, StreamsReadAsText)
{
    run([&] {
        // Fixed words and tokens across the 2048-byte block ends: the
        // stream reads as the same text does.
        Edr_Doc *doc = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
        for (size_t pad = 2030; pad < 2050; pad += 3) {
            std::string sheet(pad, ' ');
            sheet += "@font-face { font-family: x } p { color: red } /* c */ h1 { margin: 1px 2px }"
                     " @media screen { em { font: bold 12pt/1.5 serif } } url(";
            sheet += std::string(3000, 'a');
            Request *fromText = nullptr, *fromStream = nullptr;
            ASSERT_EQ(Request_new(ctx(), 2, &fromText), 0);
            ASSERT_EQ(Request_new(ctx(), 2, &fromStream), 0);
            std::u16string wide(sheet.begin(), sheet.end());
            EXPECT_EQ(Css_parseStyleSheetText(ctx(), doc, nullptr, fromText, wide.data(),
                                              wide.size(), nullptr, nullptr),
                      0);
            VfsHandle *stream = memoryStream(sheet);
            ASSERT_NE(stream, nullptr);
            EXPECT_EQ(Css_parseStyleSheetStream(ctx(), doc, nullptr, stream, fromStream, nullptr,
                                                nullptr),
                      0);
            EXPECT_EQ(Vfs_close(stream), 0);
            std::string a = dumpRequest(fromText), b = dumpRequest(fromStream);
            EXPECT_NE(a.find("color:#ff0000"), std::string::npos) << pad;
            EXPECT_EQ(a, b) << pad;
            Request_release(fromText);
            Request_release(fromStream);
        }
        Edr_Doc_release(doc);
    });
}

} // namespace

namespace {

TEST_F(CssCascadeTest, StyleServicesOfHtmlDocuments)
{
    run([&] {
        Edr_Doc *doc = load("<p>x");
        CssServices s{};
        ASSERT_EQ(Css_getServices(doc, &s), 1);
        EXPECT_EQ(Css_hasServices(doc), 1);
        StyleRule *rule = nullptr;
        ASSERT_EQ(StyleRule_create(&rule), 0);
        std::u16string text = u"color: red; margin: 1px";
        EXPECT_EQ(s.parseDeclarations(ctx(), 2, text.data(), text.size(), rule), 0);
        EXPECT_TRUE(StyleRule_hasNoProps(rule)); // another kind does nothing
        EXPECT_EQ(s.parseDeclarations(ctx(), 1, text.data(), text.size(), rule), 0);
        text = u"font-style: italic";
        EXPECT_EQ(s.parseDeclarations(ctx(), 1, text.data(), text.size(), rule), 0); // replaces
        char16_t *css = s.ruleToText(1, rule);
        ASSERT_NE(css, nullptr);
        EXPECT_TRUE(std::u16string(css) == u"font-style:italic");
        Mem_free(css);
        EXPECT_EQ(s.ruleToText(0, rule), nullptr);
        int changed = 0;
        EXPECT_EQ(s.parseProperty(ctx(), rule, u"margin", 6, u"2px", 3, &changed), 0);
        css = s.propertyToText(rule, u"margin");
        ASSERT_NE(css, nullptr);
        EXPECT_TRUE(std::u16string(css) == u"2px 2px 2px 2px");
        Mem_free(css);
        EXPECT_EQ(s.propertyIdByName(u"border-left-width"), uint32_t(PropId_borderLeftWidth));
        StyleRule_destroy(rule);
        Edr_Doc_release(doc);
        // Documents of other types carry none.
        Edr_Doc *plain = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &plain, nullptr), 0);
        EXPECT_EQ(Css_getServices(plain, &s), 0);
        EXPECT_EQ(s.ruleToText, nullptr);
        Edr_Doc_release(plain);
    });
}

} // namespace

namespace {

// Uses up stack until less than the declaration reserve is left, then
// parses; -1 when the platform cannot say how much stack is left.
int parseWithLittleStack(EngineContext *ctx, StyleRule *rule, int depth)
{
    volatile char pad[2048];
    pad[0] = char(depth);
    size_t left = Task_stackLeft(ctx, nullptr);
    if (!left)
        return -1;
    if (left < 40 * 1024)
        return Css_parseDeclarationsText(ctx, u"color: red; margin: 1px", 23, rule);
    int result = parseWithLittleStack(ctx, rule, depth + 1);
    return result + (pad[0] == char(depth) ? 0 : 1);
}

TEST_F(CssCascadeTest, LittleStackDropsDeclarationsWithoutFailing)
{
    run([&] {
        StyleRule *rule = nullptr;
        ASSERT_EQ(StyleRule_create(&rule), 0);
        int result = parseWithLittleStack(ctx(), rule, 0);
        if (result < 0) {
            StyleRule_destroy(rule);
            GTEST_SKIP() << "no stack measure";
        }
        EXPECT_EQ(result, 0);
        EXPECT_TRUE(StyleRule_hasNoProps(rule));
        // With room the same text applies.
        EXPECT_EQ(Css_parseDeclarationsText(ctx(), u"color: red; margin: 1px", 23, rule), 0);
        EXPECT_FALSE(StyleRule_hasNoProps(rule));
        StyleRule_destroy(rule);
    });
}

// A chain of imports deeper than the limit stops at the limit.
TEST_F(CssCascadeTest, ImportChainsStopAtTheirDepthLimit)
{
    char dir[] = "/tmp/vexlan-css-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const int sheets = 12;
    for (int i = 0; i < sheets; i++) {
        std::string path = std::string(dir) + "/d" + std::to_string(i) + ".css";
        FILE *f = fopen(path.c_str(), "w");
        ASSERT_NE(f, nullptr);
        fprintf(f, "@import \"d%d.css\";\nh%d { color: red }\n", i + 1, i % 6 + 1);
        fclose(f);
    }
    run([&] {
        std::string page =
            std::string("<style>@import url(file://") + dir + "/d0.css);</style><p>x</p>";
        Edr_Doc *doc = load(page);
        size_t loaded = 0;
        for (int n : ruleCounts(doc))
            loaded += n == 1;
        EXPECT_EQ(loaded, 8u);
        Edr_Doc_release(doc);
    });
    for (int i = 0; i < sheets; i++)
        remove((std::string(dir) + "/d" + std::to_string(i) + ".css").c_str());
    rmdir(dir);
}

} // namespace
