// Sub-document forwarders (size, scale, target, page position, display
// requests refused for other nodes), the top-image lookup, path-record
// chains, and the style set of a node computed from the root down.
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "document/edr/page.h"
#include "viewer/subdoc.h"
#include "graphics/path.h"
#include "platform/url/url.h"
#include "tests/document/manager_fixture.h"
#include "tests/document/style_fixture.h"

using namespace styletest;

namespace {

class SubdocTest : public MgrFixture {};

const int32_t kPlacement[6] = {0x18000, 1, 2, 3, 640, 480};

TEST_F(SubdocTest, SizeScaleAndTargetOfSubdocumentsAndOtherNodes)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Doc *child = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &child, nullptr), 0);
        Edr_Node *sub = nullptr;
        ASSERT_EQ(
            Edr_Node_createSubdoc(doc, root, Edr_Insert_lastChild, &sub, child, kPlacement, 7, 2),
            0);
        Url *u = Url_newFromCstr("http://example.org/a.png");
        Edr_Node *image = nullptr;
        const int32_t ip[5] = {};
        ASSERT_EQ(Edr_Node_createImage(doc, root, Edr_Insert_lastChild, &image, u, ip, 0), 0);
        Url_free(u);
        int32_t w = -1, h = -1;
        Edr_Subdoc_getSize(nullptr, doc, sub, &w, &h);
        EXPECT_EQ(w, 640);
        EXPECT_EQ(h, 480);
        EXPECT_EQ(Edr_Subdoc_getScale(nullptr, doc, sub), 0x18000);
        Edr_Subdoc_getSize(nullptr, doc, image, &w, &h);
        EXPECT_EQ(w, 0);
        EXPECT_EQ(h, 0);
        EXPECT_EQ(Edr_Subdoc_getScale(nullptr, doc, image), 0x10000);
        Edr_Doc *got = nullptr;
        intptr_t kind = 0, key = 0;
        EXPECT_EQ(Edr_Subdoc_getTarget(doc, sub, &got, &kind, &key), 1);
        EXPECT_EQ(got, child);
        EXPECT_EQ(kind, 2);
        EXPECT_EQ(key, 7);
        EXPECT_EQ(Edr_Subdoc_getTarget(doc, sub, nullptr, &kind, &key), 0);
        EXPECT_EQ(Edr_Subdoc_getTarget(doc, image, &got, &kind, &key), 0);
        // Requests for the view of a node that is not a sub-document give
        // the node's type and queue nothing (the display is never read).
        Edr_Node *g = group(doc, root);
        EXPECT_EQ(Edr_Subdoc_queueZoom(nullptr, doc, g, 0x20000, 0, 1, 1), 1);
        EXPECT_EQ(Edr_Subdoc_queuePan(nullptr, doc, image, 1, 1, 2), 7);
        EXPECT_EQ(Edr_Subdoc_queueKind4(nullptr, doc, g, 0, 0, 0), 1);
        Edr_Node_release(doc, image);
        Edr_Node_release(doc, sub);
        Edr_Doc_release(child);
    });
}

TEST_F(SubdocTest, FindPageLooksInTheChildsPageList)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Doc *child = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &child, nullptr), 0);
        ASSERT_EQ(Edr_Page_publishLayout(child, 3, 0, 0, page(child, 10, 10), 0, 0), 0);
        ASSERT_EQ(Edr_Page_publishLayout(child, 7, 2, 0, page(child, 10, 10), 0, 0), 0);
        Edr_Node *sub = nullptr, *missing = nullptr;
        ASSERT_EQ(
            Edr_Node_createSubdoc(doc, root, Edr_Insert_lastChild, &sub, child, kPlacement, 7, 2),
            0);
        ASSERT_EQ(Edr_Node_createSubdoc(doc, root, Edr_Insert_lastChild, &missing, child,
                                        kPlacement, 9, 0),
                  0);
        Edr_Doc *got = nullptr;
        uint32_t index = 99;
        EXPECT_EQ(Edr_Subdoc_findPage(nullptr, doc, sub, &got, &index), 1);
        EXPECT_EQ(got, child);
        EXPECT_EQ(index, 1u);
        got = nullptr;
        EXPECT_EQ(Edr_Subdoc_findPage(nullptr, doc, missing, &got, &index), 0);
        EXPECT_EQ(got, nullptr);
        EXPECT_EQ(Edr_Subdoc_findPage(nullptr, doc, root, &got, &index), 0);
        Edr_Node_release(doc, sub);
        Edr_Node_release(doc, missing);
        Edr_Doc_release(child);
        AppMsg_drain(ctx()->eventProc);
    });
}

// Makes the top group of a document, its property 145 given by value,
// and the numbered group with first child made by firstChild.
struct TopCase {
    const char *name;
    int kind; // 0 integer naming the group, 1 a string, 2 integer 0, 3 an unknown number
    bool imageFirst;
};

TEST_F(SubdocTest, TopImageFromTheFirstGroupsNumberedGroup)
{
    const TopCase cases[] = {
        {"image", 0, true},    {"text first", 0, false},    {"string value", 1, true},
        {"number 0", 2, true}, {"unknown number", 3, true},
    };
    for (const TopCase &c : cases) {
        SCOPED_TRACE(c.name);
        withDoc([&](Edr_Doc *doc, Edr_Node *root) {
            uint32_t number = 0;
            Edr_Node *numbered = nullptr;
            ASSERT_EQ(Edr_Doc_getNumberedGroup(doc, &number, &numbered), 0);
            ASSERT_NE(number, 0u);
            Url *u = Url_newFromCstr("http://example.org/top.png");
            const int32_t ip[5] = {};
            Edr_Node *n = nullptr;
            if (!c.imageFirst) {
                ASSERT_EQ(Edr_Node_createText(doc, numbered, Edr_Insert_lastChild, &n, u"t", 1), 0);
                Edr_Node_release(doc, n);
            }
            ASSERT_EQ(Edr_Node_createImage(doc, numbered, Edr_Insert_lastChild, &n, u, ip, 0), 0);
            Edr_Node_release(doc, n);
            Edr_Node *top = group(doc, root);
            Prop v{};
            if (c.kind == 1) {
                Prop_setUstr(&v, 145, Ustr_dup(u"7"), 1);
            } else {
                Prop_setInt(&v, 145,
                            c.kind == 0   ? int32_t(number)
                            : c.kind == 2 ? 0
                                          : int32_t(number) + 5);
            }
            own(doc, top, 2, rule({v}));
            Prop_free(&v);
            bool want = c.kind == 0 && c.imageFirst;
            EXPECT_EQ(Edr_Doc_hasTopImage(doc), want ? 1 : 0);
            Url *copy = reinterpret_cast<Url *>(1);
            EXPECT_EQ(Edr_Doc_copyTopImageUrl(doc, &copy), 0);
            if (want) {
                ASSERT_NE(copy, nullptr);
                EXPECT_TRUE(Url_equals(copy, u));
                EXPECT_NE(copy, u);
            } else {
                EXPECT_EQ(copy, nullptr);
            }
            Url_free(copy);
            Url_free(u);
            Edr_Node_release(doc, numbered);
        });
    }
}

TEST_F(SubdocTest, DocumentWithoutGroupsHasNoTopImage)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *t = nullptr;
        ASSERT_EQ(Edr_Node_createText(doc, root, Edr_Insert_lastChild, &t, u"x", 1), 0);
        Edr_Node_release(doc, t);
        EXPECT_EQ(Edr_Doc_hasTopImage(doc), 0);
        Url *copy = nullptr;
        EXPECT_EQ(Edr_Doc_copyTopImageUrl(doc, &copy), 0);
        EXPECT_EQ(copy, nullptr);
    });
}

TEST_F(SubdocTest, PathRecordChainsAndClearedTopBytes)
{
    Edr_PathItem *first = nullptr;
    for (int i = 0; i < 3; i++) {
        Edr_PathItem *p = static_cast<Edr_PathItem *>(Mem_calloc(1, sizeof(Edr_PathItem)));
        ASSERT_NE(p, nullptr);
        p->block = i == 1 ? nullptr : Mem_malloc(40);
        if (i != 2) {
            ASSERT_EQ(Path_create(&p->path, 0), 0);
        }
        p->next = first;
        first = p;
    }
    Edr_PathItems_free(first); // the heap check of the fixture sees the rest
    Edr_PathItems_free(nullptr);
    EXPECT_EQ(Color_clearTop(0xFF123456u), 0x123456u);
    EXPECT_EQ(Color_clearTop(0x00ABCDEFu), 0xABCDEFu);
}

TEST_F(SubdocTest, StyleOfAPathComputedFromTheRootDown)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *a = group(doc, root);
        own(doc, a, 2, rule({len(38, 20 << 16), col(29, 0xFF0000FF)}));
        Edr_Node *b = group(doc, a);
        own(doc, b, 2, rule({len(90, 1234)}));
        Edr_Node *c = group(doc, b);
        Edr_Doc_readLock(doc);
        Edr_Style *s = nullptr;
        ASSERT_EQ(Edr_Style_computeForPath(doc, c, &s), 0);
        ASSERT_NE(s, nullptr);
        // Inherited from a two levels up; width is not inherited.
        EXPECT_EQ(wordOf(s, 29), 0xFF0000FFu);
        Edr_StylePayload w{};
        if (Edr_Style_get(s, 90, &w) == PropType_length) {
            EXPECT_NE(int32_t(w.word), 1234);
        }
        Edr_Style_release(s);
        Edr_Doc_readUnlock(doc);
        Edr_Node *t = nullptr;
        ASSERT_EQ(Edr_Node_createText(doc, c, Edr_Insert_lastChild, &t, u"x", 1), 0);
        Edr_Doc_readLock(doc);
        s = reinterpret_cast<Edr_Style *>(1);
        EXPECT_NE(Edr_Style_computeForPath(doc, t, &s), 0);
        EXPECT_EQ(s, nullptr);
        Edr_Doc_readUnlock(doc);
        Edr_Node_release(doc, t);
    });
}

} // namespace
