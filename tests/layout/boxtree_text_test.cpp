// The plain-text importer's document laid out by the box tree: every page
// group of the import becomes a published page of the importer's page size.
#include <gtest/gtest.h>

#include <string>

#include "document/edr/page.h"
#include "layout/layout.h"
#include "tests/document/plaintext_fixture.h"

namespace {

class BoxTreeTextTest : public TextFixture {};

TEST_F(BoxTreeTextTest, ThePlainTextDocumentPublishesPagesOfItsSize)
{
    run([&] {
        Edr_Doc *doc = newDoc();
        ASSERT_NE(doc, nullptr);
        std::string text;
        for (int i = 0; i < 150; i++)
            text += "line " + std::to_string(i) + "\n";
        ASSERT_EQ(open(doc, text), 0);
        uint32_t sections = rootChildren(doc);
        ASSERT_GE(sections, 1u);
        Edr_Doc_readLock(doc);
        int err = Layout_document(doc);
        Edr_Doc_readUnlock(doc);
        EXPECT_EQ(err, 0);
        uint32_t count = 0;
        Edr_Page_count(doc, &count);
        EXPECT_GE(count, 1u);
        for (uint32_t i = 0; i < count; i++) {
            int32_t key = -1;
            uint32_t kind = 0;
            ASSERT_EQ(Edr_Page_getKeyByIndex(&key, &kind, doc, i), 0);
            int32_t r[4];
            ASSERT_EQ(Edr_Page_getRect(doc, key, kind, r), 0);
            EXPECT_EQ(r[0], 0);
            EXPECT_EQ(r[1], -0xC0000) << "page " << i;
            EXPECT_EQ(r[2], 541983);
            EXPECT_EQ(r[3], 0);
        }
        Edr_Doc_release(doc);
    });
}

} // namespace
