// Tree building from markup: each case is loaded whole and in small and
// odd-sized chunks, and every load must give the expected tree.
#include <gtest/gtest.h>

#include <string>

#include "core/style/prop.h"
#include "core/style/stylerule.h"
#include "core/text/ustr.h"
#include "layout/frameset.h"
#include "tests/html/html_fixture.h"

namespace {

struct Case {
    const char *markup;
    const char *tree;
};

class HtmlTreeTest : public HtmlFixture {
  protected:
    void expectTrees(const Case *cases, size_t n)
    {
        run([&] {
            for (size_t i = 0; i < n; i++) {
                SCOPED_TRACE(cases[i].markup);
                EXPECT_EQ(tree(cases[i].markup), cases[i].tree);
                for (uint32_t chunk : {1u, 3u, 7u, 64u})
                    EXPECT_EQ(tree(cases[i].markup, chunk), cases[i].tree) << "chunk " << chunk;
            }
        });
    }
    template <size_t N> void expectTrees(const Case (&cases)[N])
    {
        expectTrees(cases, N);
    }
};

TEST_F(HtmlTreeTest, TokenizerEdgeCases)
{
    const Case cases[] = {
        {"a < b", "\"a < b\""},
        {"   \n  <p>x", "p(\"x\")"},
        {"<br/>", "br"},
        {"<P>a</P>", "p(\"a\")"},
        {"<p class=x>a", "p(\"a\")"},
        {"<p class = \"x\">a", "p(\"a\")"},
        {"<input checked>", "input"},
        {"<b x<i>y", "b(i(\"y\"))"},
        {"a<3 b", "\"a<3 b\""},
        {"<foo>a</foo>", "\"a\""},
        {"<!-- a -- b -->x", "\"x\""},
        {"<!-- a --  >x", "\"x\""},
        {"a<!-- c -->b", "\"a\" \"b\""},
        {"<!---->x", "\"x\""},
        {"<!-x>y", "\"<!-x>y\""},
        {"a<![CDATA[ <b>x ]]>b", "\"a\" ![cdata \"b\""},
        {"<!DOCTYPE html><p>a", "!doctype p(\"a\")"},
        {"<?xml version=\"1.0\"?><p>a", "?xml p(\"a\")"},
    };
    expectTrees(cases);
}

TEST_F(HtmlTreeTest, CharacterReferences)
{
    const Case cases[] = {
        {"&amp; &amp &amp=", "\"& & &=\""},
        {"&ampx &AMP;", "\"&ampx &AMP;\""},
        {"&lt;p&gt;", "\"<p>\""},
        {"&#150;", "\"\xe2\x80\x93\""},
        {"&#65", "\"A\""},
        {"&#65;&#x42;&#X43;", "\"ABC\""},
        {"&#0;", "\"&#0;\""},
        {"&#65x", "\"&#65x\""},
        {"&#x;", "\"&#x;\""},
        {"&copy2024 &notin; &notit;", "\"\xc2\xa9"
                                      "2024 \xe2\x88\x89 &notit;\""},
        {"&hellip;&hellip", "\"\xe2\x80\xa6&hellip\""},
        {"&#x1F600;", "\"\xf0\x9f\x98\x80\""},
        {"&#x10FFFF;", "\"\xf4\x8f\xbf\xbf\""},
        {"&#xD800; &#x110000; &#99999999999;", "\"\xef\xbf\xbd \xef\xbf\xbd ?\""},
        {"<p title=\"a&amp;b\">x", "p(\"x\")"},
    };
    expectTrees(cases);
}

TEST_F(HtmlTreeTest, ImpliedAndClosedElements)
{
    const Case cases[] = {
        {"<p>a<p>b", "p(\"a\") p(\"b\")"},
        {"<ul><li>a<li>b</ul>c", "ul(li(\"a\") li(\"b\")) \"c\""},
        {"<html><title>T</title>", "html(head(title))"},
        {"<html><p>x", "html(body(p(\"x\")))"},
        {"<html><head><title>T</title><body><p>x", "html(head(title) body(p(\"x\")))"},
        {"<table><td>x", "table(tr(td(\"x\")))"},
        {"<table><tr><td>a<td>b</table>c", "table(tr(td(\"a\") td(\"b\"))) \"c\""},
        {"<h1>a<h2>b</h1>c", "h1(\"a\" h2(\"b\")) \"c\""},
        // dd does not close dt; dt closes both.
        {"<dl><dt>a<dd>b<dt>c</dl>", "dl(dt(\"a\" dd(\"b\")) dt(\"c\"))"},
        {"<q>x</q>", "q(\"\"\" \"x\" \"\"\")"},
        {"<img src=a>x", "img(@image) \"x\""},
    };
    expectTrees(cases);
}

TEST_F(HtmlTreeTest, FormattingReopensAcrossBlocks)
{
    const Case cases[] = {
        {"<b>x<div>y</div>z</b>", "b(\"x\") div(b(\"y\")) b(\"z\")"},
        // Reopened in the order of their element ids.
        {"<i><b>x<p>y", "i(b(\"x\")) p(b(i(\"y\")))"},
        {"<b>x</p>y", "b(\"x\" \"y\")"},
        {"<font>a<li>b</li>c", "font(\"a\" li(\"b\") \"c\")"},
        {"<font>a<li>b</font>c", "font(\"a\" li(\"b\")) \"c\""},
        {"<font><font>x<p>y", "font(font(\"x\")) p(font(font(\"y\")))"},
    };
    expectTrees(cases);
}

TEST_F(HtmlTreeTest, StrayTagsAndOnceOnlyElements)
{
    const Case cases[] = {
        {"<td>x", "\"x\""},
        {"<tr><td>x</td></tr>y", "\"x\" \"y\""},
        {"</p>x</div>", "\"x\""},
        {"a</br>b</img>c", "\"a\" br \"b\" \"c\""},
        {"<body>a<body>b", "body(\"a\" \"b\")"},
        {"<html><head><head>x", "html(head(\"x\"))"},
        {"<!DOCTYPE html><!DOCTYPE html>a", "!doctype \"a\""},
    };
    expectTrees(cases);
}

TEST_F(HtmlTreeTest, RawTextElements)
{
    const Case cases[] = {
        {"<script>if (a<b) x();</script>y", "script \"y\""},
        {"<style>p { color: red }</style>y", "style \"y\""},
        {"<xmp><b>x</b></xmp>", "xmp(\"<b>x</b>\")"},
        {"<plaintext>a<p>b</plaintext>c", "plaintext(\"a<p>b\") \"c\""},
        {"<textarea>a<b></textarea>c", "textarea \"c\""},
        {"<noscript><p>hi</p></noscript>", "noscript p(\"hi\")"},
        // An inline frame holds a document of its own; its content is not shown.
        {"<iframe><p>x</iframe>y", "iframe(@subdoc) \"y\""},
        {"<script>a</style>b</script>c", "script \"c\""},
        // At the end of the input an unclosed raw element's text is markup.
        {"<title>a<b>c", "title \"a\" b(\"c\")"},
        {"<title>a<b", "title \"a\""},
        {"<script>x = '<b>'; y", "script \"x = '\" b(\"'; y\")"},
        {"abc<p", "\"abc\""},
        {"abc<p class=\"x", "\"abc\""},
        {"a<!-- b > c", "\"a\" \" c\""},
        {"a<!-- b", "\"a\""},
    };
    expectTrees(cases);
}

TEST_F(HtmlTreeTest, ConditionalComments)
{
    const Case cases[] = {
        {"<!--[if IE 5]>x<![endif]-->", "!--[if \"x\""},
        {"<!--[if IE]>x<![endif]-->", "!--[if \"x\""},
        {"<!--[if gte IE 6]>x<![endif]-->", "!--[if"},
        {"<!--[if lt IE 6]>x<![endif]-->", "!--[if \"x\""},
        {"<!--[if lt IE 5]>x<![endif]-->", "!--[if"},
        {"<!--[if lte IE 5.5]>x<![endif]-->", "!--[if \"x\""},
        {"<!--[if gt IE 5.01]>x<![endif]-->", "!--[if"},
        {"<!--[if gt IE 4]>x<![endif]-->", "!--[if \"x\""},
        {"<!--[if gte IE 5]>x<![endif]-->", "!--[if \"x\""},
        {"<!--[if !vml]>x<![endif]-->", "!--[if \"x\""},
        {"<!--[if mso]>x<![endif]-->", "!--[if"},
        {"<!--[if IE]><b>x</b><![endif]-->y", "!--[if b(\"x\") \"y\""},
        // The first end closes the comment; the inner start read again is
        // dropped, and so is the second end.
        {"<!--[if IE]>a<!--[if IE]>b<![endif]-->c<![endif]-->d", "!--[if \"a\" \"bc\" \"d\""},
    };
    expectTrees(cases);
}

TEST_F(HtmlTreeTest, DocumentTypeDecidesTheMode)
{
    const struct {
        const char *markup;
        uint32_t mode;
    } cases[] = {
        {"<p>x", Html_modeQuirks},
        {"<!DOCTYPE html>", Html_modeQuirks},
        {"<!DOCTYPE html >", Html_modeStandards},
        {"  \n<!doctype html >", Html_modeStandards},
        {"<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01//EN\">", Html_modeStandards},
        {"<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01//EN\" "
         "\"http://www.w3.org/TR/html4/strict.dtd\">",
         Html_modeStandards},
        {"<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">", Html_modeQuirks},
        {"<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\" "
         "\"http://www.w3.org/TR/html4/loose.dtd\">",
         Html_modeStandards},
        {"<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Frameset//EN\">", Html_modeQuirks},
        {"<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 3.2 Final//EN\">", Html_modeQuirks},
        {"<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 3.2 Final//EN\" \"http://x/y.dtd\">",
         Html_modeQuirks},
        {"<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" "
         "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">",
         Html_modeStandards},
        {"<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01//EN>", Html_modeQuirks},
        {"<!DOCTYPE HTML SYSTEM \"about:legacy-compat\">", Html_modeStandards},
        {"<!DOCTYPE HTML FOO \"-//W3C//DTD HTML 4.01 Transitional//EN\">", Html_modeStandards},
        {"<!-- c --><!DOCTYPE html >", Html_modeQuirks},
        {"<?xml version=\"1.0\"?><!DOCTYPE html >", Html_modeQuirks},
        {"<p><!DOCTYPE html >", Html_modeQuirks},
    };
    run([&] {
        for (const auto &c : cases) {
            SCOPED_TRACE(c.markup);
            Edr_Doc *doc = load(c.markup);
            EXPECT_EQ(Edr_Doc_getMode(doc), c.mode);
            Edr_Doc_release(doc);
        }
    });
}

TEST_F(HtmlTreeTest, TheFirstTitleNamesTheDocument)
{
    run([&] {
        Edr_Doc *doc = load("<title>a &amp; b</title><title>second</title>");
        char16_t *title = nullptr;
        ASSERT_EQ(Edr_Doc_copyAuxText(doc, &title), 0);
        EXPECT_EQ(S(title), "a & b");
        Mem_free(title);
        Edr_Doc_release(doc);
    });
}

TEST_F(HtmlTreeTest, ManyFormattingElementsCloseWithoutRecursion)
{
    // Every font is closed around the block and reopened inside it; the
    // closes repeat in a loop, so depth costs no stack.
    std::string markup;
    for (int i = 0; i < 3000; i++)
        markup += "<font>";
    markup += "x<p>y";
    run([&] {
        int err = -1;
        Edr_Doc *doc = load(markup, 0, &err);
        EXPECT_EQ(err, 0);
        std::string t = render(doc);
        EXPECT_EQ(t.substr(0, 5), "font(");
        EXPECT_NE(t.find("p(font(font("), std::string::npos)
            << t.substr(t.size() > 300 ? t.size() - 300 : 0);
        EXPECT_NE(t.find("\"y\""), std::string::npos);
        Edr_Doc_release(doc);
    });
}

TEST_F(HtmlTreeTest, LowStackEndsTheBuildWithItsOwnError)
{
    run([&] {
        Edr_Doc *doc = nullptr;
        Edr_Node *root = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, &root), 0);
        HtmlParser p;
        ASSERT_EQ(Html_parserInit(ctx(), &p, doc), 0);
        ASSERT_EQ(Edr_Node_acquire(doc, root, &p.current), 0);
        // A margin larger than any stack trips the guard.
        p.stackMargin = SIZE_MAX / 2;
        EXPECT_EQ(Html_impliedClose(ctx(), &p, 0, HtmlEl_P), int(Html_errTooDeep));
        EXPECT_EQ(Html_parserFinish(ctx(), &p, 1), 0);
        Edr_Doc_release(doc);
    });
}

// A frame-set document is made of rows of frames: text and every other
// element are dropped, and a body (before or after) decides between a
// frame-set document and a flow.
TEST_F(HtmlTreeTest, FramesGoIntoRowsOfTheirFrameset)
{
    const Case cases[] = {
        {"<html><head><title>t</title></head><frameset><frame src=a><frame "
         "src=b></frameset></html>",
         "html(head(title) frameset(okalafh(frame(@subdoc)) okalafh(frame)))"},
        {"<frameset>x<p>y</p><noframes>z</noframes><frame></frameset>", "frameset(okalafh(frame))"},
        {"<frameset><frame></frameset><body>x<p>y", "frameset(okalafh(frame))"},
        {"<body>x<frameset><frame></frameset>y", "body(\"x\" \"y\")"},
        {"<frameset><frame><frameset><frame><frame></frameset><frame></frameset>",
         "frameset(okalafh(frame) okalafh(frameset(okalafh(frame) okalafh(frame))) "
         "okalafh(frame))"},
        // Outside a frame-set document a frame is placed like any element.
        {"<p>a</p>", "p(\"a\")"},
    };
    expectTrees(cases);
}

TEST_F(HtmlTreeTest, FormControlsTakeTheirOwnText)
{
    const Case cases[] = {
        // Option texts belong to the options; other text of a select and
        // elements that are no part of it are dropped.
        {"<select>x<option>A</option>y<option value=v>B</select>z", "select(option option) \"z\""},
        {"<select><p>x</p><option>a<b>c</b></select>", "select(option)"},
        {"<select><option>a<script>s</script></select>", "select(option(script))"},
        // A select inside a select ends the open one and makes nothing.
        {"<select><option>a<select><option>b", "select(option) \"b\""},
        // Options and option groups outside a select are dropped.
        {"<optgroup label=x><option>a</optgroup>", "\"a\""},
        // No control starts inside a button.
        {"<button>Go<input><select></button>x", "button(\"Go\") \"x\""},
    };
    expectTrees(cases);
}

TEST_F(HtmlTreeTest, AreasNeedAnOpenMapAndObjectsNest)
{
    const Case cases[] = {
        {"<area href=x><map><area href=y></map>", "map"},
        {"<object data=a><param name=src value=b></object><embed src=c><applet code=d>t</applet>",
         "object(param) embed applet(\"t\")"},
    };
    expectTrees(cases);
}

// A row holds as many frames as the frame set's cols list has entries; a
// frameset inside a frameset takes a place in the row like a frame and
// starts its own rows.
TEST_F(HtmlTreeTest, RowsHoldAsManyFramesAsTheSetHasColumns)
{
    run([&] {
        Edr_Doc *doc = nullptr;
        Edr_Node *root = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, &root), 0);
        Edr_Node *top = nullptr;
        ASSERT_EQ(Edr_Node_createGroup(doc, root, Edr_Insert_lastChild, HtmlEl_Okalasection, &top),
                  0);
        HtmlParser p;
        ASSERT_EQ(Html_parserInit(ctx(), &p, doc), 0);
        ASSERT_EQ(FrameState_create(nullptr, &p.layout), 0);
        ASSERT_EQ(Edr_Node_acquire(doc, top, &p.current), 0);
        p.element = HtmlEl_Okalasection;
        auto tag = [&](uint32_t id) {
            EXPECT_EQ(Html_handleTag(ctx(), &p, nullptr, 0, id, nullptr, 0), 0);
        };
        tag(HtmlEl_Frameset);
        p.layout->openSet->size[1] = 2; // what a cols list of two entries gives
        tag(HtmlEl_Frame);
        tag(HtmlEl_Frame);
        tag(HtmlEl_Frame);
        tag(HtmlEl_Frameset);
        EXPECT_EQ(FrameState_cursor(p.layout), 0);
        tag(HtmlEl_Frame);
        EXPECT_EQ(FrameState_cursor(p.layout), 1);
        // The end of the inner frameset: its row, then itself.
        EXPECT_EQ(Html_impliedClose(ctx(), &p, 1, HtmlEl_Frameset), 0);
        EXPECT_EQ(Html_endElement(ctx(), &p, 0, HtmlEl_Frameset), 0);
        tag(HtmlEl_Frame);
        EXPECT_EQ(FrameState_cursor(p.layout), 1);
        // Text of a frame-set document is dropped.
        char16_t text[] = u"x";
        EXPECT_EQ(Html_flushText(&p, text, 1), 0);
        Edr_Doc_readLock(doc);
        EXPECT_EQ(
            renderNode(top),
            "okalasection(frameset(okalafh(frame frame) okalafh(frame frameset(okalafh(frame))) "
            "okalafh(frame)))");
        Edr_Doc_readUnlock(doc);
        EXPECT_EQ(Html_parserFinish(ctx(), &p, 1), 0);
        FrameState_free(&p.layout, doc);
        Edr_Node_release(doc, top);
        Edr_Doc_release(doc);
    });
}

// An option's text: each run without the white space at its ends and with
// inner runs of white space as one space; an option with a label keeps the
// label whatever its text.
TEST_F(HtmlTreeTest, AnOptionCollectsItsTextOrItsLabel)
{
    run([&] {
        Edr_Doc *doc = nullptr;
        Edr_Node *root = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, &root), 0);
        HtmlParser p;
        ASSERT_EQ(Html_parserInit(ctx(), &p, doc), 0);
        ASSERT_EQ(Edr_Node_acquire(doc, root, &p.current), 0);
        auto tag = [&](uint32_t id) {
            EXPECT_EQ(Html_handleTag(ctx(), &p, nullptr, 0, id, nullptr, 0), 0);
        };
        auto flush = [&](const char16_t *t) {
            std::u16string copy = t;
            EXPECT_EQ(Html_flushText(&p, copy.data(), copy.size()), 0);
        };
        auto collected = [&] {
            return std::u16string(p.optionText ? p.optionText : u"", p.optionLength);
        };
        // Outside an option a select's text is dropped.
        tag(HtmlEl_Select);
        flush(u"dropped");
        tag(HtmlEl_Option);
        flush(u"  one \t\n two  ");
        flush(u"&amp;three");
        EXPECT_EQ(collected(), u"one two&three");
        EXPECT_EQ(Html_endElement(ctx(), &p, 0, HtmlEl_Option), 0);
        EXPECT_EQ(collected(), u"");
        tag(HtmlEl_Option);
        StyleRule *list = nullptr;
        ASSERT_EQ(StyleRule_create(&list), 0);
        Prop label{};
        Prop_setUstr(&label, 71, Ustr_dup(u"Label"), 5);
        ASSERT_EQ(StyleRule_appendProp(list, &label), 0);
        Prop_free(&label);
        ASSERT_EQ(Edr_Node_setPropList(doc, p.optionNode, 0, list), 0);
        flush(u"text");
        flush(u"more");
        EXPECT_EQ(collected(), u"Label");
        EXPECT_EQ(Html_endElement(ctx(), &p, 0, HtmlEl_Option), 0);
        EXPECT_EQ(Html_endElement(ctx(), &p, 0, HtmlEl_Select), 0);
        Edr_Doc_readLock(doc);
        EXPECT_EQ(renderNode(root), "#0(select(option option))");
        Edr_Doc_readUnlock(doc);
        EXPECT_EQ(Html_parserFinish(ctx(), &p, 1), 0);
        Edr_Doc_release(doc);
    });
}

} // namespace
