// The forwarding entry points a host calls on a running engine with a text
// document shown: a posted settings load, the size of a laid-out page, dropping a document
// reference, embedding one document in another and the checks before a
// translation starts.
#include <gtest/gtest.h>

#include <string>

#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "tests/core/config_fixture.h"
#include "tests/platform/app_fixture.h"
#include "viewer/api/forward.h"
#include "viewer/viewer.h"

namespace {

class ForwardTest : public AppFixture {
  protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        ASSERT_EQ(start(), 1);
        ASSERT_TRUE(open(writeFile("a.txt", "alpha beta\n")));
        Headless_runTimers(host, 100);
    }
    FvViewer *viewer()
    {
        return Fv_fromApp(inst);
    }
    // The children of node, as their node types.
    static std::string childTypes(Edr_Node *node)
    {
        std::string s;
        for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c))
            s += std::to_string(Edr_Node_type(c)) + " ";
        return s;
    }
};

TEST_F(ForwardTest, PageSizeOfTheShownPageAndOfAMissingOne)
{
    onAppThread([&] {
        FvPage *page = viewer()->page;
        ASSERT_NE(page, nullptr);
        // A flowing text document lays its content out as page (0, 0).
        float w = -1, h = -1;
        EXPECT_EQ(App_pageSize(page, 0, 0, &w, &h), 1);
        EXPECT_GT(w, 0.0f);
        EXPECT_GT(h, 0.0f);
        // A page the document never laid out, and no page record at all:
        // 0 with both sizes cleared.
        EXPECT_EQ(App_pageSize(page, 999, 0, &w, &h), 0);
        EXPECT_EQ(w, 0.0f);
        EXPECT_EQ(h, 0.0f);
        w = h = -1;
        EXPECT_EQ(App_pageSize(nullptr, 1, 0, &w, &h), 0);
        EXPECT_EQ(w, 0.0f);
        EXPECT_EQ(h, 0.0f);
        EXPECT_EQ(App_pageSize(page, 0, 0, nullptr, nullptr), 1);
    });
}

// The host drops the reference it took; the last one frees the document
// (the tear-down's heap check sees a leak otherwise).
TEST_F(ForwardTest, ReleasingTheHostsReferences)
{
    onAppThread([&] {
        Edr_Doc *doc = nullptr;
        Edr_Node *root = nullptr;
        ASSERT_EQ(Edr_Doc_create(inst->context, &doc, &root), 0);
        Edr_Doc_addRef(doc);
        App_releaseDocument(doc);
        EXPECT_NE(Edr_Doc_root(doc), nullptr);
        App_releaseDocument(doc);
        App_releaseDocument(nullptr);
    });
}

// The child document goes in as a sub-document node inside a new group,
// the last child of the parent.
TEST_F(ForwardTest, EmbeddingAddsAGroupHoldingTheSubdocument)
{
    onAppThread([&] {
        Edr_Doc *doc = viewer()->page->document;
        Edr_Node *root = Edr_Doc_root(doc);
        std::string before = childTypes(root);
        Edr_Doc *child = nullptr;
        Edr_Node *childRoot = nullptr;
        ASSERT_EQ(Edr_Doc_create(inst->context, &child, &childRoot), 0);
        const int32_t placement[6] = {0, 0, 200, 100, 0, 0};
        EXPECT_EQ(App_embedDocument(inst->context, doc, root, placement, child, 0, 0), 0);
        Edr_Doc_release(child);
        std::string after = childTypes(root);
        ASSERT_EQ(after, before + std::to_string(Edr_NodeType_group) + " ");
        Edr_Node *group = nullptr;
        for (Edr_Node *c = Edr_Node_firstChild(root); c; c = Edr_Node_nextSibling(c))
            group = c;
        EXPECT_EQ(childTypes(group), std::to_string(Edr_NodeType_subdoc) + " ");
    });
}

// From the host thread a settings load is posted: the file's settings are
// in the configuration once the application thread has run it. The text
// is not copied, so it stays alive until then.
TEST_F(ForwardTest, SettingsLoadIsPostedToTheApplicationThread)
{
    const std::string url = "file://root" + writeFile("choices.txt", "[View]\nzoom=0x20\n");
    auto zoom = [&] {
        std::string value = "(missing)";
        onAppThread([&] {
            auto all = ConfigDump(inst->context->config);
            if (all.count("View/zoom"))
                value = all["View/zoom"];
        });
        return value;
    };
    EXPECT_EQ(zoom(), "(missing)");
    // zoom() posts its own call after the load, so the load has run by then.
    EXPECT_EQ(App_postLoadSettings(inst, url.c_str()), 1);
    EXPECT_EQ(zoom(), "32");
    EXPECT_EQ(App_postLoadSettings(inst, nullptr), 0);
    EXPECT_EQ(App_postLoadSettings(nullptr, url.c_str()), 0);
}

// Without a URL (a job that only serves pages) the call needs both a
// viewer and a document; missing either, nothing starts.
TEST_F(ForwardTest, TranslationWithoutAUrlNeedsAViewerAndADocument)
{
    onAppThread([&] {
        Edr_Doc *doc = nullptr;
        Edr_Node *root = nullptr;
        ASSERT_EQ(Edr_Doc_create(inst->context, &doc, &root), 0);
        App_translateDocument(inst->context, nullptr, nullptr, doc, root);
        EXPECT_EQ(doc->translating, 0u);
        App_translateDocument(inst->context, viewer(), nullptr, nullptr, root);
        EXPECT_EQ(doc->translating, 0u);
        EXPECT_EQ(Edr_Node_firstChild(root), nullptr);
        Edr_Doc_release(doc);
    });
}

} // namespace
