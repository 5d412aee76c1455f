// The inline content walk and intrinsic widths: items handed out in order
// with their sets, property nodes applied to the items after them, groups
// without a display value skipped, breaks between text nodes, and the
// narrowest and widest widths of a synthetic inline tree measured with the
// box font (every character the missing-glyph advance, 12744/16384 em, plus
// the one unit the measurement's inclusive box adds); the stack guard.
#include <string>
#include <vector>

#include "core/container/obj.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/propids.h"
#include "document/style/lookup.h"
#include "layout/measure.h"
#include "layout/layout.h"
#include "tests/document/style_fixture.h"

using namespace styletest;

namespace {

class StyleWalkTest : public EdrFixture {};

constexpr uint32_t kRed = 0xFF0000FF;
// With a font size of one inch every character is half an inch wide.
constexpr int32_t kInch = 0x10000;
constexpr int32_t kChar = 50976; // 12744 x ((72 points + 9) / 18) / 65536

int32_t textWidth(int chars)
{
    return chars * kChar + 1;
}

Edr_Node *text(Edr_Doc *doc, Edr_Node *parent, const std::u16string &s)
{
    Edr_Node *t = nullptr;
    EXPECT_EQ(
        Edr_Node_createText(doc, parent, Edr_Insert_lastChild, &t, s.c_str(), uint32_t(s.size())),
        0);
    return t;
}

Edr_Node *data(Edr_Doc *doc, Edr_Node *parent, const Prop &v)
{
    Edr_Node *d = nullptr;
    EXPECT_EQ(Edr_Node_createData(doc, parent, Edr_Insert_lastChild, &d, &v), 0);
    return d;
}

std::u16string textOf(Edr_Node *n)
{
    const Edr_TextNode *t = Edr_Node_textPayload(n);
    return std::u16string(t->chars, t->length);
}

struct Item {
    std::u16string text; // u"<g>" for a group, u"<d>" for a data node
    uint32_t colour;
    int breakAfter;
};

std::vector<Item> walk(Edr_Doc *doc, Edr_Node *root, Edr_Style *rootStyle)
{
    std::vector<Item> items;
    Edr_StyleLookup *w = nullptr;
    EXPECT_EQ(Edr_StyleLookup_create(doc, root, rootStyle, nullptr, &w), 0);
    for (;;) {
        Edr_LookupItem it{};
        int brk = 0, end = 0;
        EXPECT_EQ(Edr_StyleLookup_next(w, &it, &brk, &end), 0);
        if (!it.node)
            break;
        uint32_t type = Edr_Node_type(it.node);
        items.push_back({type == Edr_NodeType_text    ? textOf(it.node)
                         : type == Edr_NodeType_group ? u"<g>"
                                                      : u"<d>",
                         wordOf(it.style, 29), brk});
    }
    Edr_StyleLookup_free(w);
    return items;
}

LayoutCursor cursorFor(Edr_Doc *doc, LayoutBox *box)
{
    *box = LayoutBox{};
    box->context = doc->app;
    box->document = doc;
    box->availableWidth = 1000000;
    box->styleContext = Edr_StyleCtx_get(doc);
    LayoutCursor c{};
    c.box = box;
    c.document = doc;
    return c;
}

TEST_F(StyleWalkTest, ItemsPropertyNodesSkippedGroupsAndBreaks)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *block = group(doc, root);
        own(doc, block, 2, rule({kw(34, 39)}));
        text(doc, block, u"ab");
        Edr_Node *inl = group(doc, block); // display 74 by default: inline
        data(doc, inl, col(29, kRed));
        text(doc, inl, u"cd");
        Edr_Node *hidden = group(doc, block);
        Prop none{};
        Prop_setType(&none, 34, 0);
        own(doc, hidden, 2, rule({none}));
        text(doc, hidden, u"zz");
        text(doc, block, u" ef");
        Edr_Node *inner = group(doc, block);
        own(doc, inner, 2, rule({kw(34, 39)})); // a block: handed out, not entered
        text(doc, inner, u"no");
        Edr_Doc_readLock(doc);
        Edr_Style *bs = nullptr;
        ASSERT_EQ(Edr_Style_computeForNode(doc, &bs, nullptr, block), 0);
        std::vector<Item> items = walk(doc, block, bs);
        Edr_Style *before = bs;
        uint32_t colourBefore = wordOf(bs, 29);
        Edr_Style_release(bs);
        Edr_Doc_readUnlock(doc);
        ASSERT_EQ(items.size(), 4u);
        EXPECT_EQ(items[0].text, u"ab");
        EXPECT_EQ(items[0].breakAfter, 0); // "ab" then "cd": no white space at the join
        EXPECT_EQ(items[1].text, u"cd");
        EXPECT_EQ(items[1].colour, kRed);  // the property node is applied, not handed out
        EXPECT_EQ(items[1].breakAfter, 1); // " ef" starts with a space
        EXPECT_EQ(items[2].text, u" ef");
        EXPECT_EQ(items[2].colour, 0xFF000000u);
        EXPECT_EQ(items[3].text, u"<g>");
        EXPECT_EQ(items[3].breakAfter, 1);
        EXPECT_EQ(colourBefore, 0xFF000000u); // the root set was copied, not changed
        (void)before;
    });
}

TEST_F(StyleWalkTest, AFloatingGroupEndsWithItsChildrenEvenWhenItHasNone)
{
    // The text after a floating group is the block's own again: no float
    // end marker stands before it, whether the group holds text or nothing
    // (an object whose preview could not be read).
    for (bool empty : {false, true}) {
        SCOPED_TRACE(empty ? "empty" : "with text");
        withDoc([&](Edr_Doc *doc, Edr_Node *root) {
            Edr_Node *block = group(doc, root);
            own(doc, block, 2, rule({kw(34, 39)}));
            text(doc, block, u"before ");
            Edr_Node *floating = group(doc, block);
            own(doc, floating, 2, rule({kw(PropId_floatRegion, 74)}));
            if (!empty)
                text(doc, floating, u"in");
            Edr_Node *after = group(doc, block);
            text(doc, after, u"after");
            Edr_Doc_readLock(doc);
            Edr_Style *bs = nullptr;
            ASSERT_EQ(Edr_Style_computeForNode(doc, &bs, nullptr, block), 0);
            std::vector<Item> items = walk(doc, block, bs);
            Edr_Style_release(bs);
            Edr_Doc_readUnlock(doc);
            std::u16string all;
            for (const Item &i : items)
                all += i.text + u"|";
            EXPECT_EQ(all, empty ? u"before |<g>|<g>|after|" : u"before |<g>|in|<g>|after|")
                << std::string(all.begin(), all.end());
        });
    }
}

TEST_F(StyleWalkTest, PropertyNodeAtTheTopLevelCopiesTheRootSet)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *block = group(doc, root);
        data(doc, block, col(29, kRed));
        text(doc, block, u"x");
        Edr_Doc_readLock(doc);
        Edr_Style *bs = nullptr;
        ASSERT_EQ(Edr_Style_computeForNode(doc, &bs, nullptr, block), 0);
        std::vector<Item> items = walk(doc, block, bs);
        EXPECT_EQ(wordOf(bs, 29), 0xFF000000u);
        Edr_Style_release(bs);
        Edr_Doc_readUnlock(doc);
        ASSERT_EQ(items.size(), 1u);
        EXPECT_EQ(items[0].colour, kRed);
    });
}

struct Widths {
    int err;
    int32_t narrowest, widest;
};

Widths measure(Edr_Doc *doc, Edr_Node *g)
{
    LayoutBox box;
    LayoutCursor c = cursorFor(doc, &box);
    Edr_Doc_readLock(doc);
    Edr_Style *s = nullptr;
    EXPECT_EQ(Edr_Style_computeForNode(doc, &s, nullptr, g), 0);
    int ended = 0;
    int err = Edr_Measure_group(&c, g, s, 0, &ended);
    Edr_Style_release(s);
    Edr_Doc_readUnlock(doc);
    EXPECT_EQ(box.availableWidth, 1000000);
    return {err, c.narrowest, c.widest};
}

TEST_F(StyleWalkTest, IntrinsicWidthsOfInlineText)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *block = group(doc, root);
        own(doc, block, 2, rule({kw(34, 39), len(38, kInch), kw(88, 103)}));
        text(doc, block, u"aa bbb");
        Edr_Node *inl = group(doc, block);
        text(doc, inl, u"cc  dd ");
        Widths w = measure(doc, block);
        ASSERT_EQ(w.err, 0);
        // "bbb" and "cc" join without a break; the line holds both texts
        // (the two spaces count once, the trailing space is trimmed).
        EXPECT_EQ(w.narrowest, textWidth(3) + textWidth(2));
        EXPECT_EQ(w.widest, textWidth(6) + textWidth(5));
    });
}

TEST_F(StyleWalkTest, IntrinsicWidthsOfNoWrapPreAndCappedText)
{
    struct Case {
        uint16_t mode;
        const char16_t *text;
        int32_t cap;
        int32_t narrowest, widest;
    } const cases[] = {
        {104, u"aa bbb", 0, textWidth(6), textWidth(6)},          // no wrapping: one run
        {111, u"aa b\nccc", 0, textWidth(4), textWidth(8)},       // runs end at line feeds
        {103, u"aaaa bb", 3 * kChar, textWidth(4), textWidth(4)}, // the cap stops at the narrowest
        {209, u"aa bbb", 0, textWidth(3), textWidth(6)},          // break rules: "aa " then "bbb"
    };
    for (const Case &k : cases) {
        withDoc([&](Edr_Doc *doc, Edr_Node *root) {
            Edr_Node *block = group(doc, root);
            own(doc, block, 2, rule({kw(34, 39), len(38, kInch), kw(88, k.mode)}));
            Edr_Node *inl = group(doc, block);
            if (k.cap)
                own(doc, inl, 2, rule({len(90, k.cap)}));
            text(doc, inl, k.text);
            Widths w = measure(doc, block);
            ASSERT_EQ(w.err, 0);
            EXPECT_EQ(w.narrowest, k.narrowest) << k.mode;
            EXPECT_EQ(w.widest, k.widest) << k.mode;
        });
    }
}

// An object class whose destruction is counted through the object's first
// owner word.
void countDestroyed(ObjHeader *obj)
{
    ++*reinterpret_cast<int *>(obj->owner[1]);
}
const ObjClass countedClass = {nullptr, 0, countDestroyed, 0};

TEST_F(StyleWalkTest, MeasuredExtentsGoToTheExtraRecordWhichOwnsItsObject)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *block = group(doc, root);
        own(doc, block, 2, rule({kw(34, 39), len(38, kInch), kw(88, 103)}));
        Edr_Node *t = text(doc, block, u"aa bbb");
        LayoutBox box;
        (void)cursorFor(doc, &box);
        Edr_Doc_readLock(doc);
        Edr_Style *s = nullptr;
        ASSERT_EQ(Edr_Style_computeForNode(doc, &s, nullptr, block), 0);
        EXPECT_EQ(Edr_Node_measureExtra(&box, block, s), 0);
        // A text node carries no extra record and is not measured.
        EXPECT_EQ(Edr_Node_measureExtra(&box, t, s), 0);
        Edr_Style_release(s);
        Edr_Doc_readUnlock(doc);
        EXPECT_EQ(Edr_Node_getExtra(t), nullptr);
        LayoutExtra *x = static_cast<LayoutExtra *>(Edr_Node_getExtra(block));
        ASSERT_NE(x, nullptr);
        EXPECT_EQ(x->measuredWidth, textWidth(3));
        EXPECT_EQ(x->measuredHeight, textWidth(6));
        // The object hung on the record goes with it, once.
        int destroyed = 0;
        x->object = Obj_create(&countedClass, 0);
        ASSERT_NE(x->object, nullptr);
        x->object->owner[1] = reinterpret_cast<uintptr_t>(&destroyed);
        Edr_Node_extraDrop(doc->app, block);
        EXPECT_EQ(Edr_Node_getExtra(block), nullptr);
        EXPECT_EQ(destroyed, 1);
        Edr_Node_extraDrop(doc->app, block);
        EXPECT_EQ(destroyed, 1);
    });
}

TEST_F(StyleWalkTest, GroupWithAWidth)
{
    // Without property 65 keyword 156 the width is the answer and the
    // content is not walked; with it (the default) the content is measured
    // at that fixed width.
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *g = group(doc, root);
        own(doc, g, 2, rule({len(90, 65536), len(38, kInch), kw(65, 69)}));
        text(doc, g, u"aaaaaaaaaaaaaaaa");
        Widths w = measure(doc, g);
        ASSERT_EQ(w.err, 0);
        EXPECT_EQ(w.narrowest, 65536);
        EXPECT_EQ(w.widest, 65536);
    });
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *g = group(doc, root);
        own(doc, g, 2, rule({len(90, 65536), len(38, kInch), kw(88, 104)}));
        text(doc, g, u"aaa b");
        Widths w = measure(doc, g);
        ASSERT_EQ(w.err, 0);
        // Fixed width in no-wrap mode: the text is walked run by run, but a
        // break does not end a run there, and the width caps the line.
        EXPECT_EQ(w.narrowest, textWidth(3) + textWidth(1));
        EXPECT_EQ(w.widest, textWidth(3) + textWidth(1));
    });
}

TEST_F(StyleWalkTest, NestedBlocksAddTheirEdgesAndTablesTheirWidths)
{
    // An outer block holding a block with edges and a table: the table's
    // widths (laid out by table layout) count when its content is wider.
    auto build = [&](Edr_Doc *doc, Edr_Node *root, const char16_t *cellText) {
        Edr_Node *outer = group(doc, root);
        own(doc, outer, 2, rule({kw(34, 39), len(38, kInch), kw(88, 103)}));
        Edr_Node *inner = group(doc, outer);
        own(doc, inner, 2, rule({kw(34, 39), len(52, 1000), len(54, 2000), len(67, 30)}));
        text(doc, inner, u"aaaa");
        Edr_Node *table = group(doc, outer);
        own(doc, table, 2, rule({kw(34, 134)}));
        if (cellText) {
            Edr_Node *row = group(doc, table);
            own(doc, row, 2, rule({kw(34, 141)}));
            Edr_Node *cell = group(doc, row);
            own(doc, cell, 2, rule({kw(34, 136), len(38, kInch)}));
            text(doc, cell, cellText);
        }
        return outer;
    };
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        // An empty table adds nothing: the block's text and its edges.
        Widths w = measure(doc, build(doc, root, nullptr));
        ASSERT_EQ(w.err, 0);
        EXPECT_EQ(w.narrowest, textWidth(4) + 3030);
        EXPECT_EQ(w.widest, textWidth(4) + 3030);
    });
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Widths w = measure(doc, build(doc, root, u"aaaaaaaa bbbbbbbbbbbb"));
        ASSERT_EQ(w.err, 0);
        // The table is at least as wide as its longest word, and without
        // wrapping as wide as its whole text.
        EXPECT_GE(w.narrowest, textWidth(12));
        EXPECT_LT(w.narrowest, textWidth(21));
        EXPECT_GE(w.widest, textWidth(21));
    });
}

// Uses up stack until about `keep` bytes are left, then measures.
int measureWithLittleStack(Edr_Doc *doc, LayoutCursor *c, Edr_Node *g, Edr_Style *s, size_t keep)
{
    volatile char pad[2048];
    pad[0] = 1;
    if (Edr_Style_stackLeft(doc) > keep)
        return measureWithLittleStack(doc, c, g, s, keep) + pad[0] - 1;
    int ended = 0;
    return Edr_Measure_group(c, g, s, 0, &ended);
}

TEST_F(StyleWalkTest, StackGuardRefusesDeepNestingWithItsOwnCode)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        ASSERT_GT(Edr_Style_stackLeft(doc), Edr_Measure_stackMargin);
        Edr_Node *top = group(doc, root);
        ASSERT_EQ(Edr_Node_addId(doc, top, 1), 0);
        sheet(ctx(), doc, 0, {rule({kw(34, 39)}, {{1, 0}}, 1)});
        Edr_Node *g = top;
        for (int i = 0; i < 400; i++) {
            g = group(doc, g);
            ASSERT_EQ(Edr_Node_addId(doc, g, 1), 0);
        }
        text(doc, g, u"deep");
        LayoutBox box;
        LayoutCursor c = cursorFor(doc, &box);
        Edr_Doc_readLock(doc);
        Edr_Style *s = nullptr;
        ASSERT_EQ(Edr_Style_computeForNode(doc, &s, nullptr, top), 0);
        int err = measureWithLittleStack(doc, &c, top, s, Edr_Measure_stackMargin + 64 * 1024);
        EXPECT_EQ(err, Res_stackExhausted);
        EXPECT_EQ(box.availableWidth, 1000000);
        // With the whole stack the same tree measures.
        LayoutCursor d = cursorFor(doc, &box);
        int ended = 0;
        EXPECT_EQ(Edr_Measure_group(&d, top, s, 0, &ended), 0);
        Edr_Style_release(s);
        Edr_Doc_readUnlock(doc);
    });
}

TEST_F(StyleWalkTest, NearestBlockAncestor)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *block = group(doc, root);
        own(doc, block, 2, rule({kw(34, 136)}));
        Edr_Node *inl = group(doc, block);
        Edr_Node *t = text(doc, inl, u"x");
        Edr_Node *found = nullptr;
        Edr_Doc_readLock(doc);
        ASSERT_EQ(Edr_Style_findAncestorByProp34(doc, t, &found), 0);
        Edr_Doc_readUnlock(doc);
        EXPECT_EQ(found, block);
        Edr_Node_release(doc, found);
        Edr_Doc_readLock(doc);
        ASSERT_EQ(Edr_Style_findAncestorByProp34(doc, inl->parentNode->parentNode, &found), 0);
        Edr_Doc_readUnlock(doc);
        EXPECT_EQ(found, nullptr);
    });
}

} // namespace
