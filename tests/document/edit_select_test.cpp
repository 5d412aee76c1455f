// The selection: character classes, the builders of the selection modes,
// extension, whole objects, hidden text and the records' life cycle.
#include <gtest/gtest.h>

#include "document/edit/selection.h"
#include "tests/document/edit_fixture.h"

namespace {

using namespace edittest;

class Select : public EdrFixture {
  protected:
    void withRuns(std::vector<std::u16string> runs, std::vector<uint32_t> keys,
                  std::function<void(Edr_Doc *, std::vector<Edr_Node *> &)> fn)
    {
        withDoc([&](Edr_Doc *doc, Edr_Node *root) {
            setUpDoc(ctx(), doc);
            std::vector<Edr_Node *> t;
            para(doc, root, runs, &t, keys);
            fn(doc, t);
            Edr_Sel_clear(doc);
        });
    }
};

TEST(SelectChars, ClassesFollowTheTables)
{
    for (char16_t c : {u' ', u'\t', u'\n', u'\v', u'\f', u'\r'})
        EXPECT_TRUE(Edr_Sel_isWhiteSpace(c)) << int(c);
    for (char16_t c : {u'a', u'.', char16_t(0xA0), char16_t(0x3000)})
        EXPECT_FALSE(Edr_Sel_isWhiteSpace(c)) << int(c);
    for (char16_t c : {u'.', u',', u'!', u'"', char16_t(0x201C), char16_t(0x3001), char16_t(0x3011),
                       char16_t(0xFF0F), char16_t(0xFF20), char16_t(0xFF64)})
        EXPECT_TRUE(Edr_Sel_isWordBreak(c)) << int(c);
    for (char16_t c :
         {u'a', u'7', u' ', char16_t(0x3012), char16_t(0xFF10), char16_t(0xFF65), char16_t(0x201E)})
        EXPECT_FALSE(Edr_Sel_isWordBreak(c)) << int(c);
    for (char16_t c :
         {u'!', u'.', u'?', char16_t(0x3002), char16_t(0xFF01), char16_t(0xFF1F), char16_t(0xFF61)})
        EXPECT_TRUE(Edr_Sel_isSentenceEnd(c)) << int(c);
    for (char16_t c : {u',', u';', char16_t(0x3001)})
        EXPECT_FALSE(Edr_Sel_isSentenceEnd(c)) << int(c);
}

TEST_F(Select, BuildersOnOneParagraph)
{
    struct Case {
        const char *name;
        std::vector<std::u16string> runs;
        std::vector<uint32_t> keys;
        size_t node;
        uint32_t hit;
        uint32_t mode;
        const char *want;
    };
    const uint32_t P = kPlainKey, H = kHiddenKey, B = kBoldKey;
    const Case cases[] = {
        {"character", {u"abc"}, {}, 0, 1, Edr_SelMode_char, "\"abc\" [1,2) caret 1@\"abc\""},
        {"character at the end stays inside",
         {u"abc"},
         {},
         0,
         3,
         Edr_SelMode_char,
         "\"abc\" [3,3) caret 3@\"abc\""},
        {"offsets past the end are clamped",
         {u"abc"},
         {},
         0,
         99,
         Edr_SelMode_char,
         "\"abc\" [3,3) caret 3@\"abc\""},
        {"a line not laid out selects nothing", {u"abc"}, {}, 0, 1, Edr_SelMode_line, "none"},
        {"caret", {u"abc"}, {}, 0, 2, Edr_SelMode_caret, "\"abc\" [2,2) caret 2@\"abc\""},
        {"word with its trailing space",
         {u"one two three"},
         {},
         0,
         5,
         Edr_SelMode_word,
         "\"one two three\" [4,8) caret 5@\"one two three\""},
        {"punctuation selects itself and its spaces",
         {u"Hi,  there"},
         {},
         0,
         2,
         Edr_SelMode_word,
         "\"Hi,  there\" [2,5) caret 2@\"Hi,  there\""},
        {"a word before punctuation",
         {u"Hi, there"},
         {},
         0,
         0,
         Edr_SelMode_word,
         "\"Hi, there\" [0,2) caret 0@\"Hi, there\""},
        {"a word across two runs",
         {u"so wor", u"ld is"},
         {},
         0,
         4,
         Edr_SelMode_word,
         "\"so wor\" \"ld is\" [3,3) caret 4@\"so wor\""},
        {"a word begun in an earlier run",
         {u"so wor", u"ld is"},
         {},
         1,
         1,
         Edr_SelMode_word,
         "\"so wor\" \"ld is\" [3,3) caret 1@\"ld is\""},
        {"VT ends a word",
         {u"ab\vcd"},
         {},
         0,
         0,
         Edr_SelMode_word,
         "\"ab|cd\" [0,2) caret 0@\"ab|cd\""},
        {"a run beginning with VT ends the word",
         {u"ab", u"\vcd"},
         {},
         0,
         0,
         Edr_SelMode_word,
         "\"ab\" [0,2) caret 0@\"ab\""},
        {"a hidden trailing node is dropped",
         {u"word", u"xx"},
         {P, H},
         0,
         1,
         Edr_SelMode_word,
         "\"word\" [0,4) caret 1@\"word\""},
        {"a hidden node inside a word is kept",
         {u"wo", u"xx", u"rd ok"},
         {P, H, P},
         0,
         1,
         Edr_SelMode_word,
         "\"wo\" \"xx\" \"rd ok\" [0,3) caret 1@\"wo\""},
        {"sentence",
         {u"One two. Three four. Five"},
         {},
         0,
         11,
         Edr_SelMode_sentence,
         "\"One two. Three four. Five\" [9,21) caret 11@\"One two. Three four. Five\""},
        {"first sentence",
         {u"One two. Three"},
         {},
         0,
         2,
         Edr_SelMode_sentence,
         "\"One two. Three\" [0,9) caret 2@\"One two. Three\""},
        {"a sentence across runs",
         {u"A b. C", u"d. E"},
         {},
         1,
         0,
         Edr_SelMode_sentence,
         "\"A b. C\" \"d. E\" [5,3) caret 0@\"d. E\""},
        {"a hidden node never ends a sentence",
         {u"Go.", u"xx"},
         {P, H},
         0,
         0,
         Edr_SelMode_sentence,
         "\"Go.\" [0,3) caret 0@\"Go.\""},
        {"block",
         {u"ab", u"cd"},
         {},
         0,
         1,
         Edr_SelMode_block,
         "\"ab\" \"cd\" [0,2) caret 1@\"ab\""},
        {"formatting run",
         {u"a", u"b", u"c", u"d"},
         {P, B, B, P},
         1,
         0,
         Edr_SelMode_run,
         "\"b\" \"c\" [0,1) caret 0@\"b\""},
        {"formatting run at the start",
         {u"a", u"b", u"c"},
         {P, P, B},
         1,
         0,
         Edr_SelMode_run,
         "\"a\" \"b\" [0,1) caret 0@\"b\""},
        {"property 123 selects whole",
         {u"pic", u"x"},
         {kWholeKey, P},
         0,
         1,
         Edr_SelMode_word,
         "\"pic\" [0,0) caret 1@\"pic\""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        withRuns(c.runs, c.keys, [&](Edr_Doc *doc, std::vector<Edr_Node *> &t) {
            ASSERT_EQ(Edr_Sel_select(doc, t[c.node], c.hit, c.hit, c.mode), 0);
            EXPECT_EQ(selection(doc), c.want);
        });
    }
}

TEST_F(Select, ExtensionKeepsTheAnchor)
{
    withRuns({u"Hello ", u"world"}, {}, [&](Edr_Doc *doc, std::vector<Edr_Node *> &t) {
        ASSERT_EQ(Edr_Sel_select(doc, t[0], 0, 4, Edr_SelMode_extendStart), 0);
        EXPECT_EQ(selection(doc), "\"Hello \" [4,4) caret 4@\"Hello \"");
        // Forwards into the next run.
        ASSERT_EQ(Edr_Sel_select(doc, t[1], 0, 2, Edr_SelMode_extend), 0);
        EXPECT_EQ(selection(doc), "\"Hello \" \"world\" [4,2) caret 2@\"world\"");
        // Backwards before the anchor: the anchor's offset becomes the end.
        ASSERT_EQ(Edr_Sel_select(doc, t[0], 0, 1, Edr_SelMode_extend), 0);
        EXPECT_EQ(selection(doc), "\"Hello \" [1,4) caret 1@\"Hello \" back");
        // The anchor is now the end: extending forwards again keeps it.
        ASSERT_EQ(Edr_Sel_select(doc, t[1], 0, 3, Edr_SelMode_extend), 0);
        EXPECT_EQ(selection(doc), "\"Hello \" \"world\" [4,3) caret 3@\"world\"");
    });
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        setUpDoc(ctx(), doc);
        std::vector<Edr_Node *> t;
        para(doc, root, {u"one"}, &t);
        para(doc, root, {u"two"}, &t);
        ASSERT_EQ(Edr_Sel_select(doc, t[0], 0, 1, Edr_SelMode_extendStart), 0);
        // Another block: the selection is cleared.
        ASSERT_EQ(Edr_Sel_select(doc, t[1], 0, 1, Edr_SelMode_extend), 0);
        EXPECT_EQ(selection(doc), "none");
        // Extending without a selection starts a caret.
        ASSERT_EQ(Edr_Sel_select(doc, t[1], 0, 2, Edr_SelMode_extend), 0);
        EXPECT_EQ(selection(doc), "\"two\" [2,2) caret 2@\"two\"");
        Edr_Sel_clear(doc);
    });
}

TEST_F(Select, NodesTheLoaderRefusesAreNotSelectable)
{
    withRuns({u"ab", u"cd"}, {}, [&](Edr_Doc *doc, std::vector<Edr_Node *> &t) {
        ASSERT_EQ(Edr_Sel_select(doc, t[0], 0, 0, Edr_SelMode_word), 0);
        refused() = t[1];
        EXPECT_FALSE(Edr_Sel_isSelectable(doc, t[1]));
        // Mode 8 keeps the selection; any other mode clears it.
        EXPECT_EQ(Edr_Sel_select(doc, t[1], 0, 0, Edr_SelMode_extend), int(Res_notSelectable));
        EXPECT_NE(selection(doc), "none");
        EXPECT_EQ(Edr_Sel_select(doc, t[1], 0, 0, Edr_SelMode_char), int(Res_notSelectable));
        EXPECT_EQ(selection(doc), "none");
        // A group is never selectable.
        EXPECT_FALSE(Edr_Sel_isSelectable(doc, Edr_Node_parent(t[0])));
        // The editable flag follows the node test.
        ASSERT_EQ(Edr_Sel_select(doc, t[0], 0, 0, Edr_SelMode_block), 0);
        int flag = 0;
        ASSERT_EQ(Edr_Sel_isEditable(doc, &flag), 0);
        EXPECT_EQ(flag, 0);
        refused() = nullptr;
        ASSERT_EQ(Edr_Sel_isEditable(doc, &flag), 0);
        EXPECT_EQ(flag, 1);
    });
    // Without the loader's tests nothing is selectable.
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *p = group(doc, root, kBlock, kBlockKey);
        Edr_Node *t = text(doc, group(doc, p, kRun, kPlainKey), u"abc");
        EXPECT_EQ(Edr_Sel_select(doc, t, 0, 0, Edr_SelMode_char), int(Res_notSelectable));
        int flag = 0;
        ASSERT_EQ(Edr_Sel_isEditable(doc, &flag), 0);
        EXPECT_EQ(flag, 1);
    });
}

TEST_F(Select, CopiesHoldTheirNodes)
{
    withRuns({u"ab", u"cd"}, {}, [&](Edr_Doc *doc, std::vector<Edr_Node *> &t) {
        Edr_Selection *none = reinterpret_cast<Edr_Selection *>(1);
        ASSERT_EQ(Edr_Sel_copy(doc, &none), 0);
        EXPECT_EQ(none, nullptr);
        uint32_t before = Edr_Node_refCount(t[0]);
        ASSERT_EQ(Edr_Sel_select(doc, t[0], 0, 0, Edr_SelMode_block), 0);
        Edr_Selection *copy = nullptr;
        ASSERT_EQ(Edr_Sel_copy(doc, &copy), 0);
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(copy->nodes.count, 2u);
        // The current record and the copy each hold the node and the focus.
        EXPECT_EQ(Edr_Node_refCount(t[0]), before + 4);
        Edr_Sel_clear(doc);
        EXPECT_EQ(Edr_Node_refCount(t[0]), before + 2);
        Edr_Sel_free(doc, copy);
        EXPECT_EQ(Edr_Node_refCount(t[0]), before);
        Edr_Sel_free(doc, nullptr);
    });
}

} // namespace
