// Node reference lists and the focus rules: growth, references taken and
// given back, copies under allocation failure, the swap of moveTo, which
// groups take the focus by document type, element and navigation mode, the
// focus ancestor, the tab order and the focus messages.
#include "core/result.h"
#include "tests/support/form_widgets.h"
#include "tests/document/events_fixture.h"

namespace {

class NodeListTest : public EdrFixture {};

TEST_F(NodeListTest, AppendGrowsAndHoldsReferences)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *g = makeGroup(doc, root, Edr_Insert_lastChild, 1);
        Edr_NodeList list;
        Edr_NodeList_init(&list);
        for (int i = 0; i < 16; i++)
            ASSERT_EQ(Edr_NodeList_append(doc, &list, g), 0);
        EXPECT_EQ(list.capacity, 16u);
        EXPECT_EQ(Edr_Node_refCount(g), 17u);
        ASSERT_EQ(Edr_NodeList_append(doc, &list, g), 0);
        EXPECT_EQ(list.count, 17u);
        EXPECT_EQ(list.capacity, 32u);
        Edr_NodeList_clear(doc, &list);
        EXPECT_EQ(Edr_Node_refCount(g), 1u);
        EXPECT_EQ(list.items, nullptr);
        EXPECT_EQ(list.count | list.capacity, 0u);

        // Without a document the array goes, the references stay.
        ASSERT_EQ(Edr_NodeList_append(doc, &list, g), 0);
        Edr_NodeList_clear(nullptr, &list);
        EXPECT_EQ(Edr_Node_refCount(g), 2u);
        Edr_Node_release(doc, g);
        Edr_Node_release(doc, g);
    });
}

TEST_F(NodeListTest, RefusedAppendsAppendNothing)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *g = makeGroup(doc, root, Edr_Insert_lastChild, 1);
        Edr_NodeList list;
        Edr_NodeList_init(&list);
        // A deleted node: refused, the array made all the same.
        g->flags |= Edr_Node_deletedBit;
        EXPECT_EQ(Edr_NodeList_append(doc, &list, g), Res_nodeDeleted);
        EXPECT_EQ(list.count, 0u);
        EXPECT_EQ(list.capacity, 16u);
        g->flags &= ~uint32_t(Edr_Node_deletedBit);
        // Growth that fails leaves the list as it was.
        for (int i = 0; i < 16; i++)
            ASSERT_EQ(Edr_NodeList_append(doc, &list, g), 0);
        Mem_failAfter(1);
        EXPECT_EQ(Edr_NodeList_append(doc, &list, g), Res_noMemory);
        Mem_failAfter(0);
        EXPECT_EQ(list.count, 16u);
        EXPECT_EQ(list.capacity, 16u);
        EXPECT_EQ(Edr_Node_refCount(g), 17u);
        Edr_NodeList_clear(doc, &list);
        Edr_Node_release(doc, g);
    });
}

TEST_F(NodeListTest, CopyTakesItsOwnReferences)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *a = makeGroup(doc, root, Edr_Insert_lastChild, 1);
        Edr_Node *b = makeGroup(doc, root, Edr_Insert_lastChild, 2);
        Edr_NodeList list, copy;
        Edr_NodeList_init(&list);
        // An empty source gives an empty copy.
        ASSERT_EQ(Edr_NodeList_copy(doc, &list, &copy), 0);
        EXPECT_EQ(copy.items, nullptr);
        for (Edr_Node *n : {a, b, a})
            ASSERT_EQ(Edr_NodeList_append(doc, &list, n), 0);
        ASSERT_EQ(Edr_NodeList_copy(doc, &list, &copy), 0);
        EXPECT_EQ(copy.count, 3u);
        EXPECT_EQ(copy.capacity, 3u);
        EXPECT_EQ(copy.items[1], b);
        EXPECT_EQ(Edr_Node_refCount(a), 5u);
        Edr_NodeList_clear(doc, &copy);
        // A deleted entry refuses the copy and gives back what was taken.
        b->flags |= Edr_Node_deletedBit;
        EXPECT_EQ(Edr_NodeList_copy(doc, &list, &copy), Res_nodeDeleted);
        b->flags &= ~uint32_t(Edr_Node_deletedBit);
        EXPECT_EQ(copy.items, nullptr);
        EXPECT_EQ(Edr_Node_refCount(a), 3u);
        Mem_failAfter(1);
        EXPECT_EQ(Edr_NodeList_copy(doc, &list, &copy), Res_noMemory);
        Mem_failAfter(0);
        EXPECT_EQ(Edr_Node_refCount(a), 3u);
        EXPECT_EQ(Edr_Node_refCount(b), 2u);
        Edr_NodeList_clear(doc, &list);
        Edr_Node_release(doc, a);
        Edr_Node_release(doc, b);
    });
}

TEST_F(NodeListTest, ContainsAndMoveTo)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *n[4];
        Edr_NodeList list;
        Edr_NodeList_init(&list);
        for (uint32_t i = 0; i < 4; i++) {
            n[i] = makeGroup(doc, root, Edr_Insert_lastChild, i);
            if (i < 3) {
                ASSERT_EQ(Edr_NodeList_append(doc, &list, n[i]), 0);
            }
        }
        EXPECT_TRUE(Edr_NodeList_contains(&list, n[2]));
        EXPECT_FALSE(Edr_NodeList_contains(&list, n[3]));
        // A swap with the entry at the index...
        Edr_NodeList_moveTo(&list, n[2], 0);
        EXPECT_EQ(list.items[0], n[2]);
        EXPECT_EQ(list.items[2], n[0]);
        // ...clamped to the last entry; an absent node changes nothing.
        Edr_NodeList_moveTo(&list, n[2], 99);
        EXPECT_EQ(list.items[2], n[2]);
        EXPECT_EQ(list.items[0], n[0]);
        Edr_NodeList_moveTo(&list, n[3], 0);
        EXPECT_EQ(list.items[0], n[0]);
        Edr_NodeList_clear(doc, &list);
        for (Edr_Node *x : n)
            Edr_Node_release(doc, x);
    });
}

// ----------------------------------------------------------------- focus

class FocusTest : public EdrFixture {};

Edr_Node *imageGroup(Edr_Doc *doc, Edr_Node *parent)
{
    Edr_Node *g = makeGroup(doc, parent, Edr_Insert_lastChild, 1);
    auto *rec = static_cast<Edr_PictureRecord *>(Mem_calloc(1, sizeof(Edr_PictureRecord)));
    EXPECT_EQ(Edr_Node_createTriple(doc, g, Edr_Insert_lastChild, nullptr, rec, 0, 0), 0);
    return g;
}

TEST_F(FocusTest, FocusableByTypeElementAndMode)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        static const char16_t kHandler[] = u"go()";
        TestForms forms(ctx());
        FormWidget *full = forms.control(doc, 0x100 | 0x200 | 0x4000, 0);
        FormWidget *partial = forms.control(doc, 0x100 | 0x4000, 0);
        Edr_Node *plain = makeGroup(doc, root, Edr_Insert_lastChild, 5);
        Edr_Node *link = makeGroup(doc, root, Edr_Insert_lastChild, 5);
        setUrl(doc, link, u"http://a.example/");
        Edr_Node *area = makeGroup(doc, root, Edr_Insert_lastChild, 16);
        Edr_Node *noFocus = makeGroup(doc, root, Edr_Insert_lastChild, 24);
        setUrl(doc, noFocus, u"http://a.example/");
        Edr_Node *clicky = makeGroup(doc, root, Edr_Insert_lastChild, 5);
        ASSERT_EQ(Edr_Node_addRecord(doc, clicky, Edr_Event_click, 0, 0, kHandler, 4, 0, 0), 0);
        Edr_Node *loady = makeGroup(doc, root, Edr_Insert_lastChild, 5);
        ASSERT_EQ(Edr_Node_addRecord(doc, loady, Edr_Event_load, 0, 0, kHandler, 4, 0, 0), 0);
        Edr_Node *input = makeGroup(doc, root, Edr_Insert_lastChild, 64);
        ASSERT_EQ(Edr_Node_setSubtypeValue(doc, input, Edr_Subtype_formControl, full), 0);
        Edr_Node *weak = makeGroup(doc, root, Edr_Insert_lastChild, 96);
        ASSERT_EQ(Edr_Node_setSubtypeValue(doc, weak, Edr_Subtype_formControl, partial), 0);
        Edr_Node *bare = makeGroup(doc, root, Edr_Insert_lastChild, 107);
        Edr_Node *image = imageGroup(doc, root);
        Edr_Node *text = makeText(doc, link, u"x");

        struct Case {
            Edr_Node *node;
            int other;  // a document of another type
            int html;   // an HTML document (type 227)
            int images; // navigation mode 1, HTML document
        };
        const Case cases[] = {
            {plain, 0, 0, 0},  {link, 1, 1, 1},  {area, 0, 1, 1},  {noFocus, 1, 0, 0},
            {clicky, 0, 1, 1}, {loady, 0, 0, 0}, {input, 0, 1, 1}, {weak, 0, 0, 0},
            {bare, 0, 0, 0},   {image, 0, 0, 1}, {text, 0, 0, 0},
        };
        for (const Case &c : cases) {
            EXPECT_EQ(Edr_Node_isFocusableLocked(doc, c.node), c.other);
        }
        ASSERT_EQ(Edr_Doc_setTypeCode(doc, 227), 0);
        for (const Case &c : cases)
            EXPECT_EQ(Edr_Node_isFocusableLocked(doc, c.node), c.html);
        Edr_App_setNavigationMode(ctx(), Edr_Nav_images);
        for (const Case &c : cases)
            EXPECT_EQ(Edr_Node_isFocusableLocked(doc, c.node), c.images);
        Edr_App_setNavigationMode(ctx(), Edr_Nav_links);
        for (Edr_Node *n :
             {plain, link, area, noFocus, clicky, loady, input, weak, bare, image, text})
            Edr_Node_release(doc, n);
    });
}

TEST_F(FocusTest, FocusAncestorAndTargets)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        TestForms forms(ctx());
        FormWidget *full = forms.control(doc, 0x100 | 0x200 | 0x4000, 0);
        ASSERT_EQ(Edr_Doc_setTypeCode(doc, 227), 0);
        Edr_Node *link = makeGroup(doc, root, Edr_Insert_lastChild, 5);
        setUrl(doc, link, u"http://a.example/");
        Edr_Node *span = makeGroup(doc, link, Edr_Insert_lastChild, 5);
        Edr_Node *text = makeText(doc, span, u"x");
        // A focusable select holding a focusable option: the select takes
        // the focus for both.
        Edr_Node *select = makeGroup(doc, root, Edr_Insert_lastChild, 96);
        ASSERT_EQ(Edr_Node_setSubtypeValue(doc, select, Edr_Subtype_formControl, full), 0);
        Edr_Node *option = makeGroup(doc, select, Edr_Insert_lastChild, 26);
        ASSERT_EQ(Edr_Node_setSubtypeValue(doc, option, Edr_Subtype_formControl, full), 0);
        Edr_Node *image = imageGroup(doc, span);

        Edr_Doc_readLock(doc);
        EXPECT_EQ(Edr_Node_findFocusAncestor(doc, text), link);
        EXPECT_EQ(Edr_Node_findFocusAncestor(doc, span), link);
        EXPECT_EQ(Edr_Node_findFocusAncestor(doc, option), select);
        EXPECT_EQ(Edr_Node_findFocusAncestor(doc, select), select);
        EXPECT_EQ(Edr_Node_findFocusAncestor(doc, root), nullptr);
        EXPECT_TRUE(Edr_Node_isFocusTarget(doc, text));    // any non-group under a link
        EXPECT_TRUE(Edr_Node_isFocusTarget(doc, link));    // its URL
        EXPECT_FALSE(Edr_Node_isFocusTarget(doc, span));   // a plain group inside it
        EXPECT_TRUE(Edr_Node_isFocusTarget(doc, select));  // its own focus ancestor
        EXPECT_FALSE(Edr_Node_isFocusTarget(doc, option)); // focus goes to the select
        EXPECT_FALSE(Edr_Node_isFocusTarget(doc, image));
        Edr_Doc_readUnlock(doc);

        Edr_App_setNavigationMode(ctx(), Edr_Nav_images);
        Edr_Doc_readLock(doc);
        EXPECT_EQ(Edr_Node_findFocusAncestor(doc, option), nullptr);
        EXPECT_EQ(Edr_Node_findFocusAncestor(doc, text), nullptr);
        EXPECT_EQ(Edr_Node_findFocusAncestor(doc, image), image);
        EXPECT_TRUE(Edr_Node_isFocusTarget(doc, image));
        Edr_Doc_readUnlock(doc);

        // Mode 2: nothing has a focus ancestor.
        Edr_App_setNavigationMode(ctx(), Edr_Nav_none);
        Edr_Doc_readLock(doc);
        for (Edr_Node *n : {text, link, span, select, option, image})
            EXPECT_EQ(Edr_Node_findFocusAncestor(doc, n), nullptr);
        Edr_Doc_readUnlock(doc);
        Edr_App_setNavigationMode(ctx(), Edr_Nav_links);
        for (Edr_Node *n : {link, span, text, select, option, image})
            Edr_Node_release(doc, n);
    });
}

TEST_F(FocusTest, TabOrderByTabIndex)
{
    AppRecorder rec;
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        rec.attach(ctx());
        // Links with tab indexes 0, 5, 3, 5; a plain group between them.
        const uint32_t tabs[] = {0, 5, 3, 5};
        Edr_Node *links[4];
        for (int i = 0; i < 4; i++) {
            links[i] = makeGroup(doc, root, Edr_Insert_lastChild, 5);
            setUrl(doc, links[i], u"http://a.example/");
            ASSERT_EQ(Edr_Node_setTabIndex(doc, links[i], tabs[i]), 0);
            if (i == 1)
                Edr_Node_release(doc, makeGroup(doc, root, Edr_Insert_lastChild, 5));
        }
        struct Case {
            int from;
            int forward;
            int to;
        };
        const Case cases[] = {
            {2, 1, 3},  // 3 forward: the first 5 met after it (index 3, then 1)
            {2, 0, 0},  // 3 backward: 0
            {1, 1, 3},  // 5 forward: the other 5 (a step of 0)
            {3, 1, 1},  // and back round
            {0, 0, -1}, // 0 backward: nothing at or below 0 but itself
        };
        for (const Case &c : cases) {
            rec.focus.clear();
            int err = Edr_Doc_focusByTab(doc, links[c.from], c.forward);
            AppMsg_drain(ctx()->eventProc);
            if (c.to < 0) {
                EXPECT_EQ(err, Res_noFocusTarget);
                EXPECT_TRUE(rec.focus.empty());
                continue;
            }
            ASSERT_EQ(err, 0);
            ASSERT_EQ(rec.focus.size(), 1u);
            EXPECT_EQ(rec.focus[0].type, int32_t(Edr_Focus_set));
            EXPECT_EQ(rec.focus[0].doc, doc);
            EXPECT_EQ(rec.focus[0].node, links[c.to]) << c.from << " " << c.forward;
        }
        // A node outside the focus order.
        EXPECT_EQ(Edr_Doc_focusByTab(doc, root, 1), Res_noFocusTarget);
        for (Edr_Node *l : links)
            EXPECT_EQ(Edr_Node_refCount(l), 1u);
        // Clearing the focus.
        rec.focus.clear();
        ASSERT_EQ(Edr_Doc_clearFocus(doc), 0);
        AppMsg_drain(ctx()->eventProc);
        ASSERT_EQ(rec.focus.size(), 1u);
        EXPECT_EQ(rec.focus[0].type, int32_t(Edr_Focus_cleared));
        // A deleted node cannot take the focus.
        links[0]->flags |= Edr_Node_deletedBit;
        EXPECT_EQ(Edr_Doc_setFocus(doc, links[0]), Res_nodeDeleted);
        links[0]->flags &= ~uint32_t(Edr_Node_deletedBit);
        for (Edr_Node *l : links)
            Edr_Node_release(doc, l);
        rec.detach(ctx());
    });
}

TEST_F(FocusTest, FocusMessageKeepsTheDocumentView)
{
    AppRecorder rec;
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        rec.attach(ctx());
        Edr_Node *g = makeGroup(doc, root, Edr_Insert_lastChild, 5);
        // While queued the message holds a view and a node reference.
        ASSERT_EQ(Edr_Doc_setFocus(doc, g), 0);
        EXPECT_EQ(doc->viewCount, 1u);
        EXPECT_EQ(Edr_Node_refCount(g), 2u);
        AppMsg_drain(ctx()->eventProc);
        EXPECT_EQ(doc->viewCount, 0u);
        EXPECT_EQ(Edr_Node_refCount(g), 1u);
        ASSERT_EQ(rec.focus.size(), 1u);
        Edr_Node_release(doc, g);
        rec.detach(ctx());
    });
}

} // namespace
