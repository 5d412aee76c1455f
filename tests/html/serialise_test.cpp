// HTML serialisation: hand-written pages written back out against their
// goldens, text that needs escaping, and the text read back in giving the
// same tree.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "core/text/ustr.h"
#include "fonts/fontengine.h"
#include "fonts/fontlist.h"
#include "html/forms/widgetclass.h"
#include "html/serialise.h"
#include "tests/html/html_fixture.h"

namespace {

std::string readFixture(const std::string &name)
{
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/html/serialise/" + name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    std::string text = s.str();
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

class SerialiseTest : public HtmlFixture {
  protected:
    void SetUp() override
    {
        HtmlFixture::SetUp();
        ASSERT_EQ(Form_initModule(ctx()), 0);
        ASSERT_EQ(Font_listCreate(nullptr, nullptr, 0, 0, nullptr, &Form_module(ctx())->font), 0);
    }
    void TearDown() override
    {
        run([this] { Form_freeModule(ctx()); });
        HtmlFixture::TearDown();
    }
    // From a task: the document's top group written out (without the
    // group itself).
    static std::string serialise(Edr_Doc *doc, int markup = 1)
    {
        char16_t *text = nullptr;
        Edr_Node *top = Edr_Node_firstChild(Edr_Doc_root(doc));
        EXPECT_EQ(Html_serialise(doc, top, markup, 1, &text), 0);
        std::string s = text ? S(text) : "(null)";
        Mem_free(text);
        return s;
    }
};

// Each page is written out as its golden, and the golden read back in
// builds the same tree and writes out the same text again.
TEST_F(SerialiseTest, PagesMatchTheirGoldensAndReloadToTheSameTree)
{
    for (const char *name : {"text", "markup", "form"}) {
        SCOPED_TRACE(name);
        std::string html = readFixture(std::string(name) + ".html");
        std::string golden = readFixture(std::string(name) + ".golden");
        run([&] {
            Edr_Doc *doc = load(html);
            std::string out = serialise(doc);
            EXPECT_EQ(out, golden);
            Edr_Doc *again = load(out);
            EXPECT_EQ(render(again), render(doc));
            EXPECT_EQ(serialise(again), out);
            Edr_Doc_release(again);
            Edr_Doc_release(doc);
        });
    }
}

// Markup off: the text of the text nodes, unescaped.
TEST_F(SerialiseTest, TextOnly)
{
    run([&] {
        Edr_Doc *doc = load("<p>a &lt; b</p><div>c &amp; <b>d</b></div>");
        EXPECT_EQ(serialise(doc, 0), "a < bc & d");
        Edr_Doc_release(doc);
    });
}

// Loading text at a node puts its tree under the node.
TEST_F(SerialiseTest, LoadTextAtANode)
{
    run([&] {
        Edr_Doc *doc = load("<div id=x></div>");
        Edr_Node *top = Edr_Node_firstChild(Edr_Doc_root(doc));
        Edr_Node *div = Edr_Node_firstChild(top);
        ASSERT_NE(div, nullptr);
        EXPECT_EQ(Html_loadTextAtNode(doc, div, 0, u"<b>1 &amp; 2</b>"), 0);
        EXPECT_EQ(render(doc), "div(b(\"1 & 2\"))");
        EXPECT_EQ(Html_loadTextAtNode(doc, nullptr, 0, u"x"), int(Res_missingArgument));
        Edr_Doc_release(doc);
    });
}

} // namespace
