// Link references: the empty link and its release, and the node a name
// or an id names.
#include <gtest/gtest.h>

#include <string>

#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "html/link.h"
#include "html/parser.h"
#include "tests/html/html_fixture.h"

namespace {

using LinkTest = HtmlFixture;

TEST(Link, TheEmptyLinkIsATopReference)
{
    Link link{0, nullptr, 5};
    Link_init(&link);
    EXPECT_TRUE(Link_isKind(&link, 1));
    EXPECT_FALSE(Link_isKind(&link, 2));
    EXPECT_FALSE(Link_isKind(nullptr, 1));
    link.kind = 2;
    Link_release(&link);
    EXPECT_TRUE(Link_isKind(&link, 1));
    Link_release(nullptr);
}

// The text of the first text node under node, depth first.
std::string firstText(Edr_Node *node)
{
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        if (Edr_Node_type(c) == Edr_NodeType_text) {
            Edr_TextNode *t = Edr_Node_textPayload(c);
            return t ? std::string(t->chars, t->chars + t->length) : "";
        }
        if (Edr_Node_type(c) == Edr_NodeType_group) {
            std::string s = firstText(c);
            if (!s.empty())
                return s;
        }
    }
    return "";
}

TEST_F(LinkTest, NamedNodesAreFoundByNameOrIdInDocumentOrder)
{
    run([&] {
        Edr_Doc *doc = load("<p>start</p><a name=top>anchor</a><p id=top>para</p><div id=Mid>mid</div>"
                            "<a name=here></a><p>after</p><span id=here>late</span>");
        struct Case {
            std::u16string name;
            uint32_t element;
            const char *text; // null: not found
        } cases[] = {
            {u"top", 0, "anchor"},          // the name comes first in the document
            {u"top", HtmlEl_P, "para"},     // only p elements
            {u"Mid", 0, "mid"},
            {u"mid", 0, "mid"},             // the name table ignores ASCII case
            {u"here", 0, ""},               // the empty anchor itself
            {u"nowhere", 0, nullptr},
            {u"", 0, nullptr},
        };
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(c.name.begin(), c.name.end()));
            Edr_Node *node = nullptr;
            ASSERT_EQ(Link_findNamed(doc, &node, c.element, c.name.data(), c.name.size()), 0);
            if (!c.text) {
                EXPECT_EQ(node, nullptr);
                continue;
            }
            ASSERT_NE(node, nullptr);
            EXPECT_EQ(firstText(node), c.text);
            Edr_Node_release(doc, node);
        }
        Edr_Node *node = nullptr;
        EXPECT_EQ(Link_findNamed(doc, nullptr, 0, u"top", 3), Res_missingArgument);
        EXPECT_EQ(Link_findNamed(nullptr, &node, 0, u"top", 3), Res_missingArgument);
        Edr_Doc_release(doc);
    });
}

} // namespace
