// List markers of list items in a document: bullets in the cached courier
// font list at 15 points, counter texts in the item's own format, markers
// that share one interned format, hidden and coloured markers; interned
// formats no item uses go after a pass, and the document frees its font
// lists and formats when it goes.
#include <string>

#include "core/container/intern.h"
#include "core/container/obj.h"
#include "core/style/propids.h"
#include "document/edr/doc.h"
#include "fonts/textitem.h"
#include "layout/layout.h"
#include "layout/line.h"
#include "layout/listmarker.h"
#include "tests/document/style_fixture.h"

using namespace styletest;

namespace {

class ListMarkerDocTest : public EdrFixture {};

LayoutCache *cacheOf(Edr_Doc *doc)
{
    return static_cast<LayoutCache *>(Edr_Page_listHead2(doc));
}

// The marker of a list item whose own rule holds props.
ObjHeader *marker(Edr_Doc *doc, Edr_Node *root, LayoutBox &box, std::initializer_list<Prop> props)
{
    Edr_Node *item = group(doc, root);
    own(doc, item, 2, rule(props));
    Edr_Style *style = compute(doc, item);
    ObjHeader *out = nullptr;
    Edr_Doc_readLock(doc);
    EXPECT_EQ(Layout_makeListMarker(&box, style, &out), 0);
    Edr_Doc_readUnlock(doc);
    Edr_Style_release(style);
    return out;
}

// The font size of a plain group, in points (16.16).
int32_t pointsOf(Edr_Doc *doc, Edr_Node *root)
{
    Edr_Style *s = compute(doc, group(doc, root));
    int32_t points = lengthOf(s, PropId_fontSize) * 72;
    Edr_Style_release(s);
    return points;
}

TextItemPart *partOf(ObjHeader *item)
{
    return static_cast<TextItemPart *>(Obj_part(item));
}

std::u16string textOf(ObjHeader *item)
{
    const ObjTextPart &t = partOf(item)->base;
    return std::u16string(t.chars + t.start, t.count);
}

TEST_F(ListMarkerDocTest, BulletsAndNumbersByListStyleType)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        SectionRec section{};
        LayoutBox box{};
        box.context = doc->app;
        box.document = doc;
        box.section = &section;
        ListCounter counter{};
        ListCounter_push(&counter, &box);
        counter.count = 3;
        struct Case {
            uint16_t type;
            std::u16string text;
            bool bullet;
        } cases[] = {
            {KwId_disc, u"\u2022", true},     {KwId_circle, u"\u25E6", true},
            {KwId_square, u"\u25AA", true},   {KwId_none, u"\u00A0", true},
            {KwId_decimal, u"3. ", false},    {KwId_upperRoman, u"III. ", false},
            {KwId_lowerAlpha, u"c. ", false},
        };
        for (const Case &c : cases) {
            ObjHeader *item = marker(doc, root, box, {kw(PropId_listStyleType, c.type)});
            ASSERT_NE(item, nullptr);
            EXPECT_EQ(item->cls, &TextItem_class);
            EXPECT_EQ(textOf(item), c.text) << c.type;
            const TextItemPart *p = partOf(item);
            EXPECT_TRUE(item->flags & Obj_formatInterned);
            ASSERT_NE(p->format, nullptr);
            EXPECT_EQ(p->base.style, static_cast<TextFormat *>(p->format->record)->styleWords);
            if (c.bullet) {
                EXPECT_EQ(p->base.size, 0xF0000);
                // The bullet font is the cache's courier list of the bullet key.
                FontCacheEntry *e = cacheOf(doc)->fonts;
                while (e && !(e->family && std::u16string(e->family) == u"courier"))
                    e = e->next;
                ASSERT_NE(e, nullptr);
                EXPECT_EQ(e->key, uint32_t(FontCache_bulletKey));
                EXPECT_EQ(p->base.fonts, e->fonts);
            } else {
                // The item's own format: its font size in points.
                EXPECT_EQ(p->base.size, pointsOf(doc, root));
            }
            // Measured: the run's extent from the pen.
            Rect b = Obj_box(item);
            EXPECT_LT(b.x0, b.x1) << c.type;
            EXPECT_LT(b.y0, b.y1) << c.type;
            Obj_destroy(item);
        }
    });
}

TEST_F(ListMarkerDocTest, WithoutATypeTheMarkerIsADisc)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        LayoutBox box{};
        box.context = doc->app;
        box.document = doc;
        ObjHeader *item = marker(doc, root, box, {});
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(textOf(item), u"\u2022");
        Obj_destroy(item);
    });
}

TEST_F(ListMarkerDocTest, MarkersShareOneInternedFormatUntilTheyGo)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        LayoutBox box{};
        box.context = doc->app;
        box.document = doc;
        ObjHeader *a = marker(doc, root, box, {kw(PropId_listStyleType, KwId_disc)});
        ObjHeader *b = marker(doc, root, box,
                              {kw(PropId_listStyleType, KwId_square),
                               kw(PropId_visibility, KwId_hidden), col(PropId_color, 0xFF3366CC)});
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(partOf(a)->format, partOf(b)->format);
        EXPECT_EQ(partOf(a)->format->useCount, 2u);
        EXPECT_EQ(cacheOf(doc)->textStyles, partOf(a)->format);
        EXPECT_EQ(cacheOf(doc)->textStyles->next, nullptr);
        EXPECT_FALSE(a->flags & Obj_hidden);
        EXPECT_TRUE(b->flags & Obj_hidden);
        EXPECT_EQ(partOf(b)->colour, 0xFF3366CCu);
        // A pass keeps formats in use and drops the others.
        Obj_destroy(a);
        Edr_Doc_readLock(doc);
        EXPECT_EQ(Layout_document(doc), 0);
        Edr_Doc_readUnlock(doc);
        EXPECT_NE(cacheOf(doc)->textStyles, nullptr);
        Obj_destroy(b);
        Edr_Doc_readLock(doc);
        EXPECT_EQ(Layout_document(doc), 0);
        Edr_Doc_readUnlock(doc);
        EXPECT_EQ(cacheOf(doc)->textStyles, nullptr);
        // One more marker is left for the document's teardown to free with
        // the font lists (the fixture checks the heap).
        ObjHeader *c = marker(doc, root, box, {kw(PropId_listStyleType, KwId_circle)});
        ASSERT_NE(c, nullptr);
        Obj_destroy(c);
        EXPECT_NE(cacheOf(doc)->fonts, nullptr);
    });
}

} // namespace
