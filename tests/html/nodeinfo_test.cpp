// A node's link, kind and focus index on a synthetic tree.
#include <gtest/gtest.h>

#include "core/mem/mem.h"
#include "core/result.h"
#include "html/nodeinfo.h"
#include "platform/url/url.h"
#include "tests/document/edr_fixture.h"

namespace {

using NodeInfoTest = EdrFixture;

TEST_F(NodeInfoTest, LinksKindsAndFocusIndex)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *plain = nullptr, *link = nullptr, *a = nullptr, *b = nullptr;
        ASSERT_EQ(Edr_Node_createGroup(doc, root, Edr_Insert_lastChild, 0, &plain), 0);
        ASSERT_EQ(Edr_Node_createText(doc, plain, Edr_Insert_lastChild, &a, u"a", 1), 0);
        ASSERT_EQ(Edr_Node_createGroup(doc, root, Edr_Insert_lastChild, 0, &link), 0);
        ASSERT_EQ(Edr_Node_createText(doc, link, Edr_Insert_lastChild, &b, u"b", 1), 0);
        Url *url = Url_new(u"http://example.org/x");
        ASSERT_NE(url, nullptr);
        ASSERT_EQ(Edr_Node_setUrl(doc, link, url), 0);
        Url_free(url);
        // A text node stands for its group.
        Url *got = nullptr;
        uint32_t kind = 9;
        int32_t index = 9, control = 9;
        ASSERT_EQ(Edr_Node_getInfo(doc, b, &got, &kind, &index, &control), 0);
        ASSERT_NE(got, nullptr);
        char *text = Url_toUtf8(got, 31);
        EXPECT_STREQ(text, "http://example.org/x");
        Mem_free(text);
        Url_free(got);
        EXPECT_EQ(kind, 0u);
        EXPECT_EQ(index, 0);
        EXPECT_EQ(control, 0);
        ASSERT_EQ(Edr_Node_getInfo(doc, a, &got, nullptr, &index, nullptr), 0);
        EXPECT_EQ(got, nullptr);
        EXPECT_EQ(index, -1);
        ASSERT_EQ(Edr_Node_getLink(doc, link, &got), 0);
        EXPECT_NE(got, nullptr);
        Url_free(got);
        for (Edr_Node *n : {plain, link, a, b})
            Edr_Node_release(doc, n);
    });
}

} // namespace
