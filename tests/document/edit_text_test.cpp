// Text editing on the selection: replacement and deletion compared as
// tree dumps, the caret, the selected text, and formatting through
// registered rules.
#include <gtest/gtest.h>

#include "core/style/stylerule.h"
#include "document/edit/selection.h"
#include "document/edr/requests.h"
#include "document/style/style.h"
#include "platform/api/request.h"
#include "tests/document/edit_fixture.h"

namespace {

using namespace edittest;

class EditText : public EdrFixture {
  protected:
    // Runs fn on a fresh document holding one paragraph of the runs.
    void withPara(std::vector<std::u16string> runs,
                  std::function<void(Edr_Doc *, Edr_Node *, std::vector<Edr_Node *> &)> fn)
    {
        withDoc([&](Edr_Doc *doc, Edr_Node *root) {
            setUpDoc(ctx(), doc);
            std::vector<Edr_Node *> t;
            para(doc, root, runs, &t);
            fn(doc, root, t);
            Edr_Sel_clear(doc);
        });
    }
    static void select(Edr_Doc *doc, Edr_Node *n, uint32_t at, uint32_t mode)
    {
        ASSERT_EQ(Edr_Sel_select(doc, n, at, at, mode), 0);
    }
    // A range from (a, i) to (b, j) through the caret and extension modes.
    static void range(Edr_Doc *doc, Edr_Node *a, uint32_t i, Edr_Node *b, uint32_t j)
    {
        select(doc, a, i, Edr_SelMode_extendStart);
        select(doc, b, j, Edr_SelMode_extend);
    }
    static int replace(Edr_Doc *doc, const std::u16string &text, uint32_t caret)
    {
        int unchanged = 0;
        return Edr_Sel_replaceText(doc, text.c_str(), caret, &unchanged);
    }
};

TEST_F(EditText, ReplacementsGiveTheExpectedTrees)
{
    struct Case {
        const char *name;
        std::u16string text;
        uint32_t caret;
        const char *tree;
        const char *selection;
    };
    const Case cases[] = {
        {"word by one CR two", u"one\rtwo", 7,
         "<10:1 <20:2 \"Hello \"> <20:2 \"one\">> <10:1 <20:2 \"two\">>",
         "\"one\" \"two\" [0,3) caret 3@\"two\""},
        {"text ending in CR", u"one\r", 4,
         "<10:1 <20:2 \"Hello \"> <20:2 \"one\">> <10:1 <20:2 \"_\">>",
         "\"one\" [0,3) caret 0@\"_\""},
        {"text ending in VT", u"one\v", 4, "<10:1 <20:2 \"Hello \"> <20:2 \"one|\"> <20:2 \"_\">>",
         "\"one|\" [0,4) caret 4@\"one|\""},
        {"LF removed", u"o\nn\ne", 1, "<10:1 <20:2 \"Hello \"> <20:2 \"one\">>",
         "\"one\" [0,3) caret 1@\"one\""},
        {"VT then CR", u"a\v\rb", 0,
         "<10:1 <20:2 \"Hello \"> <20:2 \"a|\"> <20:2 \"_\">> <10:1 <20:2 \"b\">>",
         "\"a|\" \"b\" [0,1) caret 0@\"a|\""},
        {"deleted", u"", 0, "<10:1 <20:2 \"Hello \">>", "\"Hello \" [6,6) caret 6@\"Hello \""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        withPara({u"Hello world"}, [&](Edr_Doc *doc, Edr_Node *, std::vector<Edr_Node *> &t) {
            select(doc, t[0], 7, Edr_SelMode_word);
            ASSERT_EQ(selection(doc), "\"Hello world\" [6,11) caret 7@\"Hello world\"");
            ASSERT_EQ(replace(doc, c.text, c.caret), 0);
            EXPECT_EQ(body(doc), c.tree);
            EXPECT_EQ(selection(doc), c.selection);
        });
    }
}

TEST_F(EditText, TheRestOfTheParagraphMovesBehindTheBreak)
{
    withPara({u"ab cd", u"ef"}, [&](Edr_Doc *doc, Edr_Node *, std::vector<Edr_Node *> &t) {
        range(doc, t[0], 2, t[0], 3); // the space
        ASSERT_EQ(replace(doc, u"\r", 1), 0);
        EXPECT_EQ(body(doc), "<10:1 <20:2 \"ab\">> <10:1 <20:2 \"cd\"> <20:2 \"ef\">>");
        EXPECT_EQ(selection(doc), "\"cd\" [0,0) caret 0@\"cd\"");
    });
}

TEST_F(EditText, AnInsertedNoBreakSpaceIsTextNotAPlaceholder)
{
    withPara({u"Hello world"}, [&](Edr_Doc *doc, Edr_Node *, std::vector<Edr_Node *> &t) {
        range(doc, t[0], 6, t[0], 7);
        ASSERT_EQ(replace(doc, u"b\r\u00A0", 0), 0);
        EXPECT_EQ(body(doc),
                  "<10:1 <20:2 \"Hello \"> <20:2 \"b\">> <10:1 <20:2 \"_\"> <20:2 \"orld\">>");
        EXPECT_EQ(selection(doc), "\"b\" \"_\" [0,1) caret 0@\"b\"");
    });
}

TEST_F(EditText, ReplacingAcrossRunsDropsTheEmptiedRun)
{
    withPara({u"Hello ", u"big", u"world"},
             [&](Edr_Doc *doc, Edr_Node *, std::vector<Edr_Node *> &t) {
                 range(doc, t[0], 3, t[2], 2);
                 ASSERT_EQ(replace(doc, u"X", 1), 0);
                 EXPECT_EQ(body(doc), "<10:1 <20:2 \"Hel\"> <20:2 \"X\"> <20:2 \"rld\">>");
                 EXPECT_EQ(selection(doc), "\"X\" [0,1) caret 1@\"X\"");
             });
}

TEST_F(EditText, DeletingEndsWithTheCaretInTheRightPlace)
{
    // Ending inside a word: the caret goes behind the rest's leading spaces.
    withPara({u"ab  cd"}, [&](Edr_Doc *doc, Edr_Node *, std::vector<Edr_Node *> &t) {
        range(doc, t[0], 1, t[0], 3);
        ASSERT_EQ(Edr_Sel_deleteText(doc), 0);
        EXPECT_EQ(body(doc), "<10:1 <20:2 \"a\"> <20:2 \" cd\">>");
        EXPECT_EQ(selection(doc), "\" cd\" [1,1) caret 1@\" cd\"");
    });
    // The whole text of the only paragraph: one placeholder run remains.
    withPara({u"one ", u"two"}, [&](Edr_Doc *doc, Edr_Node *, std::vector<Edr_Node *> &t) {
        select(doc, t[1], 0, Edr_SelMode_block);
        ASSERT_EQ(Edr_Sel_deleteText(doc), 0);
        EXPECT_EQ(body(doc), "<10:1 <20:2 \"_\">>");
        EXPECT_EQ(selection(doc), "\"_\" [0,0) caret 0@\"_\"");
    });
    // A whole run in the middle: the caret goes to the next text.
    withPara({u"one ", u"two ", u"six"}, [&](Edr_Doc *doc, Edr_Node *, std::vector<Edr_Node *> &t) {
        select(doc, t[1], 1, Edr_SelMode_word);
        ASSERT_EQ(Edr_Sel_deleteText(doc), 0);
        EXPECT_EQ(body(doc), "<10:1 <20:2 \"one \"> <20:2 \"six\">>");
        EXPECT_EQ(selection(doc), "\"six\" [0,0) caret 0@\"six\"");
    });
    // A whole paragraph among others is removed; the caret goes next door.
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        setUpDoc(ctx(), doc);
        std::vector<Edr_Node *> t;
        para(doc, root, {u"first"}, &t);
        para(doc, root, {u"second"}, &t);
        select(doc, t[0], 0, Edr_SelMode_block);
        ASSERT_EQ(Edr_Sel_deleteText(doc), 0);
        EXPECT_EQ(body(doc), "<10:1 <20:2 \"second\">>");
        EXPECT_EQ(selection(doc), "\"second\" [0,0) caret 0@\"second\"");
        Edr_Sel_clear(doc);
    });
}

TEST_F(EditText, InAListAnEmptiedRunKeepsAPlaceholder)
{
    using namespace styletest;
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        setUpDoc(ctx(), doc);
        sheet(ctx(), doc, 0, {rule({kw(34, 134)}, {{6, 0}}, 10)});
        Edr_Node *list = group(doc, root, 30, 6);
        std::vector<Edr_Node *> t;
        para(doc, list, {u"one ", u"two"}, &t);
        ASSERT_EQ(Edr_Sel_select(doc, t[0], 1, 1, Edr_SelMode_word), 0);
        ASSERT_EQ(Edr_Sel_deleteText(doc), 0);
        EXPECT_EQ(body(doc), "<30:6 <10:1 <20:2 \"_\"> <20:2 \"two\">>>");
        EXPECT_EQ(selection(doc), "\"_\" [0,0) caret 0@\"_\"");
        Edr_Sel_clear(doc);
    });
}

TEST_F(EditText, DeletingTextThatSpansParagraphs)
{
    withPara({u"Hello world"}, [&](Edr_Doc *doc, Edr_Node *, std::vector<Edr_Node *> &t) {
        select(doc, t[0], 7, Edr_SelMode_word);
        ASSERT_EQ(replace(doc, u"a\rb", 0), 0);
        ASSERT_EQ(body(doc), "<10:1 <20:2 \"Hello \"> <20:2 \"a\">> <10:1 <20:2 \"b\">>");
        ASSERT_EQ(Edr_Sel_deleteText(doc), 0);
        EXPECT_EQ(body(doc), "<10:1 <20:2 \"Hello \">>");
        EXPECT_EQ(selection(doc), "\"Hello \" [6,6) caret 6@\"Hello \"");
    });
    // The first paragraph loses all its text: it keeps a placeholder.
    withPara({u"Hello"}, [&](Edr_Doc *doc, Edr_Node *, std::vector<Edr_Node *> &t) {
        select(doc, t[0], 1, Edr_SelMode_word);
        ASSERT_EQ(replace(doc, u"a\rb", 0), 0);
        ASSERT_EQ(body(doc), "<10:1 <20:2 \"a\">> <10:1 <20:2 \"b\">>");
        ASSERT_EQ(Edr_Sel_deleteText(doc), 0);
        EXPECT_EQ(body(doc), "<10:1 <20:2 \"_\">>");
        EXPECT_EQ(selection(doc), "\"_\" [0,0) caret 0@\"_\"");
    });
}

TEST_F(EditText, TheUnchangedFlagOnlyMovesTheCaret)
{
    withPara({u"Hello world"}, [&](Edr_Doc *doc, Edr_Node *, std::vector<Edr_Node *> &t) {
        select(doc, t[0], 7, Edr_SelMode_word);
        int unchanged = 1;
        ASSERT_EQ(Edr_Sel_replaceText(doc, u"ignored", 2, &unchanged), 0);
        EXPECT_EQ(unchanged, 1);
        EXPECT_EQ(body(doc), "<10:1 <20:2 \"Hello world\">>");
        EXPECT_EQ(selection(doc), "\"Hello world\" [6,11) caret 8@\"Hello world\"");
    });
    // The caret moves into the selected node even when it was elsewhere.
    withPara({u"Hello world"}, [&](Edr_Doc *doc, Edr_Node *, std::vector<Edr_Node *> &t) {
        range(doc, t[0], 6, t[0], 7);
        ASSERT_EQ(replace(doc, u"one\r", 4), 0);
        EXPECT_EQ(body(doc), "<10:1 <20:2 \"Hello \"> <20:2 \"one\">> <10:1 <20:2 \"orld\">>");
        EXPECT_EQ(selection(doc), "\"one\" [0,3) caret 0@\"orld\"");
        int unchanged = 1;
        ASSERT_EQ(Edr_Sel_replaceText(doc, u"", 1, &unchanged), 0);
        EXPECT_EQ(selection(doc), "\"one\" [0,3) caret 1@\"one\"");
    });
    // Over several nodes the flag is cleared and the text replaced.
    withPara({u"ab", u"cd"}, [&](Edr_Doc *doc, Edr_Node *, std::vector<Edr_Node *> &t) {
        range(doc, t[0], 1, t[1], 1);
        int unchanged = 1;
        ASSERT_EQ(Edr_Sel_replaceText(doc, u"Z", 1, &unchanged), 0);
        EXPECT_EQ(unchanged, 0);
        EXPECT_EQ(body(doc), "<10:1 <20:2 \"a\"> <20:2 \"Z\"> <20:2 \"d\">>");
    });
}

TEST_F(EditText, AScriptedSession)
{
    withPara({u"The quick brown fox"}, [&](Edr_Doc *doc, Edr_Node *root,
                                           std::vector<Edr_Node *> &t) {
        select(doc, t[0], 5, Edr_SelMode_word);
        EXPECT_EQ(selection(doc), "\"The quick brown fox\" [4,10) caret 5@\"The quick brown fox\"");
        ASSERT_EQ(replace(doc, u"slow\r", 5), 0);
        EXPECT_EQ(body(doc), "<10:1 <20:2 \"The \"> <20:2 \"slow\">> <10:1 <20:2 \"brown fox\">>");
        EXPECT_EQ(selection(doc), "\"slow\" [0,4) caret 0@\"brown fox\"");

        Edr_Node *second = Edr_Node_firstChild(
            Edr_Node_firstChild(Edr_Node_nextSibling(Edr_Node_firstChild(root))));
        select(doc, second, 7, Edr_SelMode_word);
        ASSERT_EQ(replace(doc, u"cat\vdog", 7), 0);
        EXPECT_EQ(body(doc), "<10:1 <20:2 \"The \"> <20:2 \"slow\">> "
                             "<10:1 <20:2 \"brown \"> <20:2 \"cat|\"> <20:2 \"dog\">>");
        EXPECT_EQ(selection(doc), "\"cat|\" \"dog\" [0,3) caret 3@\"dog\"");

        Edr_Node *block = Edr_Node_nextSibling(Edr_Node_firstChild(root));
        Edr_Node *brown = Edr_Node_firstChild(Edr_Node_firstChild(block));
        Edr_Node *dog = Edr_Node_firstChild(
            Edr_Node_nextSibling(Edr_Node_nextSibling(Edr_Node_firstChild(block))));
        range(doc, brown, 2, dog, 1);
        char16_t *text = nullptr;
        uint32_t caret = 0;
        ASSERT_EQ(Edr_Sel_getText(doc, &text, &caret), 0);
        EXPECT_EQ(std::u16string(text), u"own cat\vd");
        EXPECT_EQ(caret, 9u);
        Mem_free(text);

        ASSERT_EQ(Edr_Sel_deleteText(doc), 0);
        EXPECT_EQ(body(doc),
                  "<10:1 <20:2 \"The \"> <20:2 \"slow\">> <10:1 <20:2 \"br\"> <20:2 \"og\">>");
        EXPECT_EQ(selection(doc), "\"og\" [0,0) caret 0@\"og\"");
    });
}

TEST_F(EditText, WithoutASelectionNothingHappens)
{
    withPara({u"abc"}, [&](Edr_Doc *doc, Edr_Node *, std::vector<Edr_Node *> &) {
        EXPECT_EQ(replace(doc, u"x", 0), 0);
        EXPECT_EQ(Edr_Sel_deleteText(doc), 0);
        char16_t *text = nullptr;
        uint32_t caret = 9;
        EXPECT_EQ(Edr_Sel_getText(doc, &text, &caret), 0);
        EXPECT_EQ(text, nullptr);
        EXPECT_EQ(body(doc), "<10:1 <20:2 \"abc\">>");
    });
}

TEST_F(EditText, OutOfMemoryAtAnyAllocationChangesNothing)
{
    for (const std::u16string text : {u"one\rtwo\v", u""}) {
        bool done = false;
        for (uint64_t n = 1; !done && n < 400; n++) {
            withDoc([&](Edr_Doc *doc, Edr_Node *root) {
                setUpDoc(ctx(), doc);
                std::vector<Edr_Node *> t;
                para(doc, root, {u"Hello ", u"big", u"world"}, &t);
                range(doc, t[0], 3, t[2], 2);
                std::string tree = body(doc), sel = selection(doc);
                Mem_failAfter(n);
                int err = replace(doc, text, 2);
                Mem_failAfter(0);
                if (err == 0) {
                    done = true;
                } else {
                    EXPECT_EQ(err, 1) << n;
                    EXPECT_EQ(body(doc), tree) << n;
                    EXPECT_EQ(selection(doc), sel) << n;
                }
                Edr_Sel_clear(doc);
            });
        }
        EXPECT_TRUE(done);
    }
}

TEST_F(EditText, GetTextLeavesHiddenTextOut)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        setUpDoc(ctx(), doc);
        std::vector<Edr_Node *> t;
        para(doc, root, {u"ab", u"HID", u"cd", u"ee"}, &t,
             {kPlainKey, kHiddenKey, kPlainKey, kPlainKey});
        range(doc, t[0], 1, t[3], 1);
        char16_t *text = nullptr;
        uint32_t caret = 0;
        ASSERT_EQ(Edr_Sel_getText(doc, &text, &caret), 0);
        EXPECT_EQ(std::u16string(text), u"bcde");
        EXPECT_EQ(caret, 4u); // the focus is the last node, at 1
        Mem_free(text);
        select(doc, t[0], 1, Edr_SelMode_caret);
        ASSERT_EQ(Edr_Sel_getText(doc, &text, &caret), 0);
        EXPECT_EQ(std::u16string(text), u"");
        EXPECT_EQ(caret, 0u);
        Mem_free(text);
        Edr_Sel_clear(doc);
    });
}

uint32_t ruleCount(Edr_Doc *doc)
{
    Request *q = DocRequests_lentAt(Edr_Doc_requestTable(doc), 0);
    uint32_t n = 0;
    for (StyleRule *r = Request_firstItem(q); r; r = Request_nextItem(q, r))
        n++;
    return n;
}

TEST_F(EditText, InterningFindsEqualRulesAndNeverReusesAKey)
{
    using namespace styletest;
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        setUpDoc(ctx(), doc);
        // Five rules: a new key would be 5 + 3 = 8. Register 8 and 9 first
        // in a second table record so that the count-based key collides.
        sheet(ctx(), doc, 0, {rule({num(92, 8)}, {{8, 0}}, 10), rule({num(92, 9)}, {{9, 0}}, 10)});
        uint32_t key = 0;
        int owned = 0;
        StyleRule *same = rule({num(92, 2)});
        ASSERT_EQ(Edr_Doc_internRule(doc, same, &key, &owned), 0);
        EXPECT_EQ(key, uint32_t(kBoldKey));
        EXPECT_EQ(owned, 0);
        StyleRule_destroy(same);
        EXPECT_EQ(ruleCount(doc), 5u);

        StyleRule *fresh = rule({num(92, 77)});
        ASSERT_EQ(Edr_Doc_internRule(doc, fresh, &key, &owned), 0);
        EXPECT_EQ(owned, 1);
        EXPECT_EQ(key, 10u);
        EXPECT_EQ(ruleCount(doc), 6u);
        // Interning it again finds it.
        StyleRule *again = rule({num(92, 77)});
        uint32_t key2 = 0;
        ASSERT_EQ(Edr_Doc_internRule(doc, again, &key2, &owned), 0);
        EXPECT_EQ(key2, key);
        EXPECT_EQ(owned, 0);
        StyleRule_destroy(again);
    });
}

TEST_F(EditText, RulesAndAlignmentChangeTheSelectedRunsAndBlocks)
{
    using namespace styletest;
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        setUpDoc(ctx(), doc);
        std::vector<Edr_Node *> t;
        para(doc, root, {u"ab", u"cd"}, &t, {kPlainKey, kBoldKey});
        para(doc, root, {u"ef"}, &t);
        select(doc, t[0], 0, Edr_SelMode_char);

        StyleRule *r = nullptr;
        ASSERT_EQ(Edr_Sel_getRule(doc, &r), 0);
        ASSERT_NE(r, nullptr);
        ASSERT_NE(StyleRule_findProp(r, 92), nullptr);
        EXPECT_EQ(StyleRule_findProp(r, 92)->value.payload, 1u);
        Edr_Style *style = nullptr;
        ASSERT_EQ(Edr_Sel_getComputedStyle(doc, &style), 0);
        ASSERT_NE(style, nullptr);
        EXPECT_EQ(wordOf(style, 92), 1u);
        Edr_Style_release(style);

        // The rule of the bold run, applied to the selection's run.
        Prop bold = num(92, 2);
        int changed = 0;
        ASSERT_EQ(StyleRule_setProp(r, &bold, &changed), 0);
        ASSERT_EQ(Edr_Sel_applyRule(doc, r), 0);
        EXPECT_EQ(body(doc), "<10:1 <20:5 \"ab\"> <20:5 \"cd\">> <10:1 <20:2 \"ef\">>");

        // Alignment over both paragraphs: each block gets one new rule.
        range(doc, t[0], 0, t[1], 1);
        ASSERT_EQ(Edr_Sel_setAlignment(doc, 117), 0);
        std::string tree = body(doc);
        EXPECT_EQ(tree.substr(0, 6), "<10:8 ") << tree;
        uint32_t type = 0, value = 0;
        ASSERT_EQ(Edr_Sel_getAlignment(doc, &type, &value), 0);
        EXPECT_EQ(type, 117u);
        // The same alignment again reuses the interned rule.
        ASSERT_EQ(Edr_Sel_setAlignment(doc, 117), 0);
        EXPECT_EQ(body(doc), tree);
        Edr_Sel_clear(doc);
    });
}

} // namespace
