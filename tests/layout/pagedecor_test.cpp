// Page headers and footers in full layout passes: the first, even and odd
// page ids pick the section entry of each page; a footer without room is
// dropped; a negative top margin keeps exactly its magnitude free.
#include <algorithm>
#include <string>
#include <vector>

#include "core/container/obj.h"
#include "document/edr/doc.h"
#include "document/edr/page.h"
#include "document/style/style.h"
#include "layout/layerlist.h"
#include "layout/floatarea.h"
#include "layout/block.h"
#include "layout/layout.h"
#include "tests/document/style_fixture.h"

using namespace styletest;

namespace {

constexpr int32_t kInch = 0x10000;

class PageDecorTest : public EdrFixture {};

Edr_Node *text(Edr_Doc *doc, Edr_Node *parent, const std::u16string &s)
{
    Edr_Node *t = nullptr;
    EXPECT_EQ(
        Edr_Node_createText(doc, parent, Edr_Insert_lastChild, &t, s.c_str(), uint32_t(s.size())),
        0);
    return t;
}

Edr_Node *para(Edr_Doc *doc, Edr_Node *parent, const std::u16string &s,
               std::initializer_list<Prop> extra = {})
{
    Edr_Node *b = group(doc, parent);
    std::vector<Prop> props = {kw(PropId_display, KwId_block)};
    props.insert(props.end(), extra.begin(), extra.end());
    StyleRule *r = nullptr;
    EXPECT_EQ(StyleRule_create(&r), 0);
    for (const Prop &p : props)
        EXPECT_EQ(StyleRule_appendProp(r, &p), 0);
    own(doc, b, 2, r);
    text(doc, b, s);
    return b;
}

// The header (slot 0) or footer (slot 1) group of section entry key, with
// one paragraph of s.
void decor(Edr_Doc *doc, intptr_t key, uint32_t slot, const std::u16string &s,
           std::initializer_list<Prop> extra = {})
{
    Edr_Node *g = nullptr;
    ASSERT_EQ(Edr_Doc_getKeyedGroup(doc, key, slot, &g), 0);
    own(doc, g, 2, rule({kw(PropId_display, KwId_block)}));
    para(doc, g, s, extra);
    Edr_Node_release(doc, g);
}

// A section of 6 x 4 inch pages with 40 short paragraphs.
Edr_Node *section(Edr_Doc *doc, Edr_Node *root, std::initializer_list<Prop> page)
{
    Edr_Node *s = group(doc, root);
    std::vector<Prop> props = {kw(PropId_display, KwId_block), len(PropId_width, 6 * kInch),
                               len(PropId_height, 4 * kInch), len(PropId_fontSize, kInch / 4)};
    props.insert(props.end(), page.begin(), page.end());
    StyleRule *r = nullptr;
    EXPECT_EQ(StyleRule_create(&r), 0);
    for (const Prop &p : props)
        EXPECT_EQ(StyleRule_appendProp(r, &p), 0);
    own(doc, s, 2, r);
    for (int i = 0; i < 40; i++)
        para(doc, s, u"body " + std::u16string(1, char16_t(u'a' + i % 26)));
    return s;
}

struct Piece {
    std::u16string text;
    Rect box;
};

// The text items of every published page.
std::vector<std::vector<Piece>> pages(Edr_Doc *doc)
{
    Edr_Doc_readLock(doc);
    EXPECT_EQ(Layout_document(doc), 0);
    Edr_Doc_readUnlock(doc);
    std::vector<std::vector<Piece>> out;
    uint32_t count = 0;
    Edr_Page_count(doc, &count);
    for (uint32_t i = 0; i < count; i++) {
        int32_t key = -1;
        uint32_t kind = 0;
        EXPECT_EQ(Edr_Page_getKeyByIndex(&key, &kind, doc, i), 0);
        Edr_PageEntry *e = nullptr;
        EXPECT_EQ(Edr_Page_find(&e, doc, key, kind, 0), 0);
        if (!e)
            continue;
        std::vector<Piece> page;
        for (ObjHeader *o = Edr_Page_deref(e)->objects; o; o = Obj_next(o)) {
            if (Obj_itemKind(o) != Obj_itemText)
                continue;
            const ObjTextPart *t = static_cast<const ObjTextPart *>(Obj_part(o));
            if (t->chars)
                page.push_back({std::u16string(t->chars + t->start, t->count), Obj_shownBox(o)});
        }
        Edr_Page_release(e, 0);
        out.push_back(page);
    }
    return out;
}

bool has(const std::vector<Piece> &page, const std::u16string &s)
{
    return std::any_of(page.begin(), page.end(), [&](const Piece &p) { return p.text == s; });
}

// The top of the highest body text of the page.
int32_t bodyTop(const std::vector<Piece> &page)
{
    int32_t top = INT32_MIN;
    for (const Piece &p : page)
        if (p.text.rfind(u"body", 0) == 0)
            top = std::max(top, p.box.y1);
    return top;
}

TEST_F(PageDecorTest, PagesOneTwoAndThreeUseTheFirstEvenAndOddIds)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        decor(doc, 1, 0, u"first");
        decor(doc, 2, 0, u"even");
        decor(doc, 3, 0, u"odd");
        section(doc, root, {num(113, 1), num(114, 2), num(115, 3)});
        std::vector<std::vector<Piece>> p = pages(doc);
        ASSERT_GE(p.size(), 3u);
        const char16_t *expected[3] = {u"first", u"even", u"odd"};
        for (size_t i = 0; i < 3; i++)
            for (const char16_t *name : expected)
                EXPECT_EQ(has(p[i], name), name == expected[i]) << "page " << i + 1;
        // The header's room is kept: the body starts below it.
        for (size_t i = 0; i < 3; i++) {
            int32_t headerBottom = INT32_MAX;
            for (const Piece &piece : p[i])
                if (piece.text == expected[i])
                    headerBottom = piece.box.y0;
            EXPECT_LE(bodyTop(p[i]), headerBottom) << "page " << i + 1;
        }
    });
}

TEST_F(PageDecorTest, SeparateHeaderAndFooterIds)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        decor(doc, 7, 0, u"head");
        decor(doc, 8, 1, u"foot");
        section(doc, root, {num(116, 7), num(119, 8)});
        std::vector<std::vector<Piece>> p = pages(doc);
        ASSERT_GE(p.size(), 1u);
        EXPECT_TRUE(has(p[0], u"head"));
        ASSERT_TRUE(has(p[0], u"foot"));
        // The footer sits at the bottom and the body stays above it.
        int32_t footTop = 0, lowestBody = 0;
        for (const Piece &piece : p[0]) {
            if (piece.text == u"foot") {
                footTop = piece.box.y1;
                EXPECT_GE(piece.box.y0, -4 * kInch);
                EXPECT_LT(piece.box.y0, -3 * kInch);
            } else if (piece.text.rfind(u"body", 0) == 0) {
                lowestBody = std::min(lowestBody, piece.box.y0);
            }
        }
        EXPECT_GE(lowestBody, footTop);
        // Only first-page ids were given: page 2 has neither.
        ASSERT_GE(p.size(), 2u);
        EXPECT_FALSE(has(p[1], u"head"));
        EXPECT_FALSE(has(p[1], u"foot"));
    });
}

TEST_F(PageDecorTest, AFooterTallerThanThePageIsDropped)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        decor(doc, 8, 1, u"tall", {len(PropId_height, 5 * kInch)});
        section(doc, root, {num(119, 8)});
        std::vector<std::vector<Piece>> p = pages(doc);
        ASSERT_GE(p.size(), 1u);
        EXPECT_FALSE(has(p[0], u"tall"));
        // It reserves nothing: the body reaches the bottom of the page.
        int32_t lowest = 0;
        for (const Piece &piece : p[0])
            lowest = std::min(lowest, piece.box.y0);
        EXPECT_LT(lowest, -3 * kInch);
    });
}

TEST_F(PageDecorTest, ANegativeTopMarginKeepsExactlyItsMagnitude)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        decor(doc, 1, 0, u"tall head", {len(PropId_height, 2 * kInch)});
        section(doc, root, {num(116, 1), len(PropId_marginTop, -kInch / 2)});
        section(doc, root, {num(116, 1), len(PropId_marginTop, kInch / 2)});
        std::vector<std::vector<Piece>> p = pages(doc);
        ASSERT_GE(p.size(), 2u);
        // Negative: the body starts half an inch down, under the header.
        EXPECT_LE(bodyTop(p[0]), -kInch / 2);
        EXPECT_GT(bodyTop(p[0]), -kInch);
        // Positive: raised to the header's height.
        size_t second = p.size() - 1;
        for (size_t i = 1; i < p.size(); i++)
            if (has(p[i], u"tall head") && i > 0 && bodyTop(p[i]) < -kInch) {
                second = i;
                break;
            }
        EXPECT_LE(bodyTop(p[second]), -2 * kInch);
    });
}

// The left edge of the header's text laid out on a hand-made page box of
// the section's style, in flow mode flowMode.
int32_t headerLeft(Edr_Doc *doc, Edr_Node *sectionNode, uint32_t flowMode)
{
    Edr_Doc_readLock(doc);
    Edr_Style *style = nullptr;
    EXPECT_EQ(Edr_Style_computeForNode(doc, &style, nullptr, sectionNode), 0);
    LayoutBox *box = Box_create(doc);
    box->styleContext = Edr_StyleCtx_get(doc);
    const int32_t page[4] = {0, -4 * kInch, 6 * kInch, 0};
    for (int i = 0; i < 4; i++)
        box->pageRect[i] = box->avail[i] = page[i];
    box->availableWidth = 6 * kInch;
    box->block.width = 6 * kInch;
    box->block.contentRight = 6 * kInch;
    box->flowMode = flowMode;
    box->nestedBlock = Layout_nestedBlock;
    box->layers = LayerList_create();
    Rect area{page[0], page[1], page[2], page[3]};
    EXPECT_EQ(FloatArea_create(&area, &box->items), 0);
    SectionRec rec{};
    rec.style = style;
    rec.paged = 1;
    rec.owner = box;
    box->section = &rec;
    EXPECT_EQ(PageDecor_place(box), 0);
    int32_t left = INT32_MIN;
    for (Layer *l = box->layers->first; l; l = l->next)
        for (ObjHeader *o = l->first; o; o = Obj_next(o))
            if (Obj_itemKind(o) == Obj_itemText)
                left = Obj_shownBox(o).x0;
    LayerList_freeItems(box->layers);
    LayerList_destroy(box->layers);
    FloatArea_destroy(box->items);
    Box_free(box);
    Edr_Style_release(style);
    Edr_Doc_readUnlock(doc);
    return left;
}

TEST_F(PageDecorTest, FlowModeCutsTheHeaderMarginsToAHundredAndTwentyEighthOfThePage)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        decor(doc, 1, 0, u"head");
        Edr_Node *s = group(doc, root);
        own(doc, s, 2,
            rule({kw(PropId_display, KwId_block), len(PropId_fontSize, kInch / 4), num(116, 1),
                  len(PropId_marginLeft, kInch)}));
        EXPECT_EQ(headerLeft(doc, s, 0), kInch);
        EXPECT_EQ(headerLeft(doc, s, 1), 6 * kInch / 128);
    });
}

} // namespace
