// Node query cursors: every filter kind over one small tree, lazy
// gathering and counting, items and positions, re-gathering when the
// tree's stamp moves, the controls a form owns, the three ways a query
// answers, and queries under allocation failure.
#include <string>
#include <vector>

#include "core/result.h"
#include "core/text/strtable.h"
#include "document/edr/cursor.h"
#include "tests/support/form_widgets.h"
#include "tests/document/events_fixture.h"

namespace {

class CursorTest : public EdrFixture {
  protected:
    // The tree, with each group's letter:
    //   root
    //    A div name "alpha" id "one"
    //      B p id "two"            (text "hello")
    //      text "t"
    //      C div name "two"
    //    D p name "alpha"
    //    E (element 48)
    //      F p
    //    G (element 0)
    struct Tree {
        Edr_Node *n[7];
        Edr_Node *texts[2];
    };
    uint32_t id(Edr_Doc *doc, const char16_t *text)
    {
        uint32_t v = 0;
        EXPECT_EQ(Edr_Doc_internStringZ(doc, text, &v), 0);
        return v;
    }
    void build(Edr_Doc *doc, Edr_Node *root, Tree *t)
    {
        ASSERT_EQ(Edr_Doc_setStringTable(doc, StrTable_create(nullptr)), 0);
        uint32_t div = id(doc, u"div"), p = id(doc, u"p");
        Edr_Node **n = t->n;
        n[0] = makeGroup(doc, root, Edr_Insert_lastChild, div);
        n[1] = makeGroup(doc, n[0], Edr_Insert_lastChild, p);
        t->texts[0] = makeText(doc, n[1], u"hello");
        t->texts[1] = makeText(doc, n[0], u"t");
        n[2] = makeGroup(doc, n[0], Edr_Insert_lastChild, div);
        n[3] = makeGroup(doc, root, Edr_Insert_lastChild, p);
        n[4] = makeGroup(doc, root, Edr_Insert_lastChild, 48);
        n[5] = makeGroup(doc, n[4], Edr_Insert_lastChild, p);
        n[6] = makeGroup(doc, root, Edr_Insert_lastChild, 0);
        ASSERT_EQ(Edr_Node_setInternedText(doc, n[0], u"alpha", 5), 0);
        ASSERT_EQ(Edr_Node_setIdText(doc, n[0], u"one", 3), 0);
        ASSERT_EQ(Edr_Node_setIdText(doc, n[1], u"two", 3), 0);
        ASSERT_EQ(Edr_Node_setInternedText(doc, n[2], u"two", 3), 0);
        ASSERT_EQ(Edr_Node_setInternedText(doc, n[3], u"alpha", 5), 0);
    }
    void release(Edr_Doc *doc, Tree *t)
    {
        for (Edr_Node *x : t->n)
            Edr_Node_release(doc, x);
        for (Edr_Node *x : t->texts)
            Edr_Node_release(doc, x);
    }
    // The matches of a cursor as letters ('t' for the text "t", 'h' for
    // "hello").
    std::string letters(Edr_Cursor *c, const Tree &t)
    {
        std::string s;
        for (uint32_t i = 0;; i++) {
            Edr_Node *m = nullptr;
            EXPECT_EQ(Edr_Cursor_item(c, i, &m), 0);
            if (!m)
                break;
            char ch = '?';
            for (int k = 0; k < 7; k++)
                if (t.n[k] == m)
                    ch = char('A' + k);
            if (m == t.texts[0])
                ch = 'h';
            if (m == t.texts[1])
                ch = 't';
            s += ch;
            Edr_Node_release(c->doc, m);
        }
        return s;
    }
};

TEST_F(CursorTest, FilterKinds)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Tree t;
        build(doc, root, &t);
        struct Case {
            int rootIndex; // -1: the whole document
            uint32_t kind;
            const char16_t *text;
            const char *expect;
        };
        const Case cases[] = {
            {-1, 0, nullptr, "ABCDEFG"}, {-1, 4, nullptr, "ABCDEFG"},
            {-1, 12, u"div", "AC"},      {-1, 12, u"P", "BDF"}, // names compare ignoring case
            {-1, 12, u"span", ""}, // an unknown name matches no anonymous group
            {-1, 8, u"alpha", "AD"},     {-1, 8, u"one", ""}, // an id is no name
            {-1, 9, u"one", "A"},        {-1, 9, u"alpha", ""},
            {-1, 10, u"two", "BC"}, // an id or a name
            {-1, 11, nullptr, "AB"},     {-1, 8, nullptr, ""},
            {-1, 5, nullptr, "F"},  // the first child in its group's place
            {0, 0, nullptr, "BC"},  // below A only
            {0, 6, nullptr, "BtC"}, // A's children, text included
            {0, 7, nullptr, "BC"},       {1, 0, nullptr, ""},
        };
        for (const Case &c : cases) {
            Edr_Cursor *cur = nullptr;
            ASSERT_EQ(Edr_Cursor_create(doc, c.rootIndex < 0 ? nullptr : t.n[c.rootIndex], &cur),
                      0);
            ASSERT_EQ(Edr_Cursor_addFilter(cur, c.kind, c.text), 0);
            EXPECT_EQ(letters(cur, t), c.expect) << c.kind << " " << c.rootIndex;
            Edr_Cursor_destroy(cur);
        }
        // Filters chain: names among the children of A.
        Edr_Cursor *cur = nullptr;
        ASSERT_EQ(Edr_Cursor_create(doc, t.n[0], &cur), 0);
        ASSERT_EQ(Edr_Cursor_addFilter(cur, 7, nullptr), 0);
        ASSERT_EQ(Edr_Cursor_addFilter(cur, 8, u"two"), 0);
        EXPECT_EQ(letters(cur, t), "C");
        Edr_Cursor_destroy(cur);
        // A disabled group is no match.
        ASSERT_EQ(Edr_Node_setEnabled(doc, t.n[3], 0), 0);
        ASSERT_EQ(Edr_Cursor_create(doc, nullptr, &cur), 0);
        EXPECT_EQ(letters(cur, t), "ABCEFG");
        Edr_Cursor_destroy(cur);
        for (Edr_Node *x : t.n)
            EXPECT_EQ(Edr_Node_refCount(x), 1u);
        release(doc, &t);
    });
}

TEST_F(CursorTest, GathersOnlyAsFarAsAsked)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Tree t;
        build(doc, root, &t);
        Edr_Cursor *c = nullptr;
        ASSERT_EQ(Edr_Cursor_create(doc, nullptr, &c), 0);
        Edr_Node *m = nullptr;
        ASSERT_EQ(Edr_Cursor_item(c, 0, &m), 0);
        EXPECT_EQ(m, t.n[0]);
        EXPECT_EQ(c->found.count, 1u);
        Edr_Node_release(doc, m);
        int32_t n = 0;
        ASSERT_EQ(Edr_Cursor_countTwo(c, &n), 0);
        EXPECT_EQ(n, 2);
        EXPECT_EQ(c->total, -1); // more may follow
        ASSERT_EQ(Edr_Cursor_item(c, 4, &m), 0);
        EXPECT_EQ(m, t.n[4]);
        EXPECT_EQ(c->found.count, 5u);
        Edr_Node_release(doc, m);
        ASSERT_EQ(Edr_Cursor_count(c, &n, -1), 0);
        EXPECT_EQ(n, 7);
        EXPECT_EQ(c->total, 7);
        ASSERT_EQ(Edr_Cursor_count(c, &n, 1), 0);
        EXPECT_EQ(n, 7); // the total, once known
        // Past the end: 0 and no node.
        m = t.n[0];
        EXPECT_EQ(Edr_Cursor_item(c, 7, &m), 0);
        EXPECT_EQ(m, nullptr);
        int32_t at = 0;
        ASSERT_EQ(Edr_Cursor_indexOf(c, t.n[3], &at), 0);
        EXPECT_EQ(at, 3);
        ASSERT_EQ(Edr_Cursor_indexOf(c, root, &at), 0);
        EXPECT_EQ(at, -1);
        // A clone carries the matches gathered so far.
        Edr_Cursor *copy = nullptr;
        ASSERT_EQ(Edr_Cursor_clone(c, &copy), 0);
        EXPECT_EQ(copy->found.count, 7u);
        EXPECT_EQ(Edr_Node_refCount(t.n[6]), 3u);
        Edr_Cursor_destroy(copy);
        Edr_Cursor_destroy(c);
        EXPECT_EQ(Edr_Node_refCount(t.n[6]), 1u);

        // indexOf gathers everything when it must.
        ASSERT_EQ(Edr_Cursor_create(doc, nullptr, &c), 0);
        ASSERT_EQ(Edr_Cursor_indexOf(c, t.n[6], &at), 0);
        EXPECT_EQ(at, 6);
        Edr_Cursor_destroy(c);
        release(doc, &t);
    });
}

TEST_F(CursorTest, TreeChangesRefreshTheMatches)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Tree t;
        build(doc, root, &t);
        Edr_Cursor *c = nullptr;
        ASSERT_EQ(Edr_Cursor_create(doc, nullptr, &c), 0);
        ASSERT_EQ(Edr_Cursor_addFilter(c, 12, u"p"), 0);
        int32_t n = 0;
        ASSERT_EQ(Edr_Cursor_count(c, &n, -1), 0);
        EXPECT_EQ(n, 3);
        // A new p before B: counted again, and in document order.
        Edr_Node *extra =
            makeGroup(doc, t.n[1], Edr_Insert_before, Edr_Node_group(t.n[1])->element);
        ASSERT_EQ(Edr_Cursor_count(c, &n, -1), 0);
        EXPECT_EQ(n, 4);
        Edr_Node *m = nullptr;
        ASSERT_EQ(Edr_Cursor_item(c, 0, &m), 0);
        EXPECT_EQ(m, extra);
        Edr_Node_release(doc, m);
        // Removing D and the new one.
        ASSERT_EQ(Edr_Node_remove(doc, extra), 0);
        ASSERT_EQ(Edr_Node_detach(doc, t.n[3], t.n[3]), 0);
        ASSERT_EQ(Edr_Cursor_count(c, &n, -1), 0);
        EXPECT_EQ(n, 2);
        int32_t at = 0;
        ASSERT_EQ(Edr_Cursor_indexOf(c, t.n[5], &at), 0);
        EXPECT_EQ(at, 1);
        Edr_Cursor_destroy(c);
        release(doc, &t);
    });
}

TEST_F(CursorTest, FormRootCollectsTheControlsItOwns)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        TestForms forms(ctx());
        // Bit 13 is what the document model reads as enabled.
        FormWidget *text = forms.control(doc, 1u << 13, 1);
        FormWidget *hidden = forms.control(doc, 1u << 13, 144);
        std::vector<Edr_Node *> made;
        auto group = [&](Edr_Node *parent, uint32_t element, FormWidget *control) {
            Edr_Node *g = makeGroup(doc, parent, Edr_Insert_lastChild, element);
            if (control) {
                EXPECT_EQ(Edr_Node_setSubtypeValue(doc, g, Edr_Subtype_formControl, control), 0);
            }
            made.push_back(g);
            return g;
        };
        Edr_Node *outside = group(root, 64, text);
        Edr_Node *form = group(root, 47, nullptr);
        Edr_Node *input = group(form, 64, text);
        Edr_Node *box = group(form, 1, nullptr);
        Edr_Node *select = group(box, 96, nullptr);
        group(box, 64, hidden); // of the excluded kind
        Edr_Node *button = group(form, 26, nullptr);
        group(form, 1, nullptr); // not a control
        Edr_Node *other = group(root, 47, nullptr);
        group(other, 107, nullptr); // owned by the other form
        (void)outside;

        Edr_Cursor *c = nullptr;
        ASSERT_EQ(Edr_Cursor_create(doc, form, &c), 0);
        EXPECT_EQ(c->formScope, 1u);
        int32_t n = 0;
        ASSERT_EQ(Edr_Cursor_count(c, &n, -1), 0);
        ASSERT_EQ(n, 3);
        Edr_Node *want[] = {input, select, button};
        for (uint32_t i = 0; i < 3; i++)
            EXPECT_EQ(c->found.items[i], want[i]) << i;
        Edr_Cursor_destroy(c);
        // The form elements of the whole document.
        ASSERT_EQ(Edr_Cursor_create(doc, nullptr, &c), 0);
        ASSERT_EQ(Edr_Cursor_addFilter(c, 1, nullptr), 0);
        ASSERT_EQ(Edr_Cursor_count(c, &n, -1), 0);
        EXPECT_EQ(n, 5);
        Edr_Cursor_destroy(c);
        for (Edr_Node *g : made)
            Edr_Node_release(doc, g);
    });
}

TEST_F(CursorTest, QueriesAnswerThreeWays)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Tree t;
        build(doc, root, &t);
        Edr_Node *node = nullptr;
        Edr_Cursor *cur = nullptr;
        // First match.
        ASSERT_EQ(Edr_Doc_query(doc, nullptr, 12, u"p", Edr_Query_first, &node, &cur), 0);
        EXPECT_EQ(node, t.n[1]);
        EXPECT_EQ(cur, nullptr);
        Edr_Node_release(doc, node);
        // The cursor.
        ASSERT_EQ(Edr_Doc_query(doc, nullptr, 12, u"p", Edr_Query_cursor, &node, &cur), 0);
        ASSERT_NE(cur, nullptr);
        EXPECT_EQ(node, nullptr);
        EXPECT_EQ(letters(cur, t), "BDF");
        Edr_Cursor_destroy(cur);
        // Auto: none, one, many.
        struct Case {
            uint32_t kind;
            const char16_t *text;
            int node; // index of the node handed out, -1 none
            bool cursor;
        };
        const Case cases[] = {
            {9, u"zzz", -1, false}, {9, u"one", 0, false}, {12, u"div", -1, true}};
        for (const Case &c : cases) {
            node = t.n[0];
            cur = reinterpret_cast<Edr_Cursor *>(&node);
            ASSERT_EQ(Edr_Doc_query(doc, nullptr, c.kind, c.text, Edr_Query_auto, &node, &cur), 0);
            EXPECT_EQ(node, c.node < 0 ? nullptr : t.n[c.node]);
            EXPECT_EQ(cur != nullptr, c.cursor);
            Edr_Node_release(doc, node);
            Edr_Cursor_destroy(cur);
        }
        // Narrowing a cursor that has gathered already: the new filter
        // applies to what it hands out.
        Edr_Cursor *all = nullptr;
        ASSERT_EQ(Edr_Cursor_create(doc, nullptr, &all), 0);
        int32_t n = 0;
        ASSERT_EQ(Edr_Cursor_count(all, &n, -1), 0);
        ASSERT_EQ(Edr_Cursor_query(all, 12, u"p", Edr_Query_first, &node, &cur), 0);
        EXPECT_EQ(node, t.n[1]);
        Edr_Node_release(doc, node);
        Edr_Cursor_destroy(all);
        for (Edr_Node *x : t.n)
            EXPECT_EQ(Edr_Node_refCount(x), 1u);
        release(doc, &t);
    });
}

TEST_F(CursorTest, QueriesUnderAllocationFailure)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Tree t;
        build(doc, root, &t);
        for (uint64_t fail = 1;; fail++) {
            Edr_Node *node = nullptr;
            Edr_Cursor *cur = nullptr;
            Mem_failAfter(fail);
            int err = Edr_Doc_query(doc, t.n[0], 10, u"two", Edr_Query_auto, &node, &cur);
            Mem_failAfter(0);
            if (err == Res_noMemory) {
                EXPECT_EQ(cur, nullptr);
                for (Edr_Node *x : t.n)
                    ASSERT_EQ(Edr_Node_refCount(x), 1u) << fail;
                continue;
            }
            ASSERT_EQ(err, 0);
            ASSERT_NE(cur, nullptr);
            EXPECT_EQ(letters(cur, t), "BC");
            Edr_Cursor_destroy(cur);
            break;
        }
        // Without a document.
        Edr_Cursor *cur = nullptr;
        EXPECT_EQ(Edr_Cursor_create(nullptr, nullptr, &cur), Res_noDocument);
        Edr_Cursor empty{};
        int32_t n = 0;
        EXPECT_EQ(Edr_Cursor_count(&empty, &n, -1), Res_noDocument);
        EXPECT_EQ(Edr_Cursor_addFilter(&empty, 0, nullptr), Res_noDocument);
        release(doc, &t);
    });
}

} // namespace
