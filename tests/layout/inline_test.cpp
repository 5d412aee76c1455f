// Inline objects: form controls in a line (retried on later lines, then
// shrunk to the line; placed in the first band outside a line), vertical
// alignment of items, outline items, page-record pieces ordered by their
// items, index lists, and the two small services outside layout.
#include <string>
#include <vector>

#include "layout/layerlist.h"
#include "core/container/obj.h"
#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "document/edr/page.h"
#include "document/style/style.h"
#include "graphics/boxitem.h"
#include "fonts/textitem.h"
#include "html/docweb.h"
#include "layout/boxiter.h"
#include "layout/floatarea.h"
#include "layout/layout.h"
#include "layout/line.h"
#include "tests/support/form_widgets.h"
#include "tests/document/style_fixture.h"
#include "tests/support/heap_fixture.h"

using namespace styletest;

namespace {

constexpr int32_t kInch = 0x10000;

class InlineTest : public EdrFixture {};

class InlineRecords : public LeakCheckedHeapTest<> {};

// A box over a float area of the width, one line from 0 to lineWidth.
struct LineBox {
    LayoutBox box{};
    LayerList *line = nullptr;
    LineState st{};

    LineBox(Edr_Doc *doc, int32_t width, int32_t lineWidth)
    {
        box.context = doc->app;
        box.document = doc;
        box.styleContext = Edr_StyleCtx_get(doc);
        box.availableWidth = width;
        box.block.lineRight = lineWidth;
        box.block.direction = KwId_ltr;
        Rect area = {0, -10 * kInch, width, 0};
        EXPECT_EQ(FloatArea_create(&area, &box.items), 0);
        FloatArea_setBand(box.items, 0, 0, 0, 0);
        box.layers = LayerList_create();
        box.bounds[0] = box.bounds[1] = INT32_MAX;
        box.bounds[2] = box.bounds[3] = INT32_MIN;
        line = LayerList_create();
        st.line = line;
        st.startOfLine = 1;
        st.span = lineWidth;
        st.direction = KwId_ltr;
    }
    ~LineBox()
    {
        FloatArea_destroy(box.items);
        for (LayerList *l : {line, box.layers}) {
            LayerList_freeItems(l);
            LayerList_destroy(l);
        }
    }
};

std::vector<Rect> boxes(LayerList *list)
{
    std::vector<Rect> out;
    for (Layer *l = list->first; l; l = l->next)
        for (ObjHeader *o = l->first; o; o = Obj_next(o))
            out.push_back(Obj_shownBox(o));
    return out;
}

TEST_F(InlineTest, AControlWiderThanEveryLineIsRetriedThenShrunk)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        TestForms forms(ctx());
        FormWidget *control = forms.control(doc, uint32_t(Form_Widget_flagItem) | FormWidget_sized,
                                            0, 0, -kInch / 4, 3 * kInch, 0);
        Edr_Node *b = group(doc, root);
        own(doc, b, 2, rule({kw(PropId_display, KwId_block)}));
        Edr_Node *c = group(doc, b);
        own(doc, c, 2, rule({kw(PropId_display, KwId_controlBox)}));
        ASSERT_EQ(Edr_Node_setSubtypeValue(doc, c, Edr_Subtype_formControl, control), 0);
        Edr_Doc_readLock(doc);
        Edr_Style *bs = nullptr;
        ASSERT_EQ(Edr_Style_computeForNode(doc, &bs, nullptr, b), 0);
        {
            LineBox lb(doc, kInch, kInch);
            BoxIter *it = nullptr;
            ASSERT_EQ(BoxIter_create(&it, &lb.box, b, bs, 0), 0);
            IterEntry e{};
            ASSERT_EQ(BoxIter_next(it, &e, &lb.box), 0);
            ASSERT_EQ(e.node, c);
            // Pushed back while the entry has been retried fewer than 50 times.
            EXPECT_EQ(Layout_placeWidget(&lb.box, &lb.st, it, &e, nullptr, 0),
                      int(Layout_lineFull));
            EXPECT_FALSE(LayerList_hasItems(lb.line));
            IterEntry again{};
            ASSERT_EQ(BoxIter_next(it, &again, &lb.box), 0);
            EXPECT_EQ(again.node, c);
            EXPECT_EQ(again.rewinds, 1);
            // The 50th time it is shrunk to the line and placed.
            again.rewinds = 50;
            ASSERT_EQ(Layout_placeWidget(&lb.box, &lb.st, it, &again, nullptr, 0), 0);
            std::vector<Rect> placed = boxes(lb.line);
            ASSERT_EQ(placed.size(), 1u);
            EXPECT_EQ(placed[0].x0, 0);
            EXPECT_EQ(placed[0].x1, kInch);
            EXPECT_EQ(lb.box.block.lineLeft, kInch);
            // The control keeps its own rectangle.
            EXPECT_EQ(control->rect[2], 3 * kInch);
            BoxIter_free(it);
        }
        {
            // Outside a line: at the start and top of the first free band.
            LineBox lb(doc, 4 * kInch, 4 * kInch);
            FloatArea_setBand(lb.box.items, kInch / 2, 0, kInch, 0);
            BoxIter *it = nullptr;
            ASSERT_EQ(BoxIter_create(&it, &lb.box, b, bs, 0), 0);
            IterEntry e{};
            ASSERT_EQ(BoxIter_next(it, &e, &lb.box), 0);
            ASSERT_EQ(Layout_placeWidget(&lb.box, nullptr, it, &e, nullptr, 0), 0);
            std::vector<Rect> placed = boxes(lb.box.layers);
            ASSERT_EQ(placed.size(), 1u);
            EXPECT_EQ(placed[0].x0, kInch / 2);
            EXPECT_EQ(placed[0].y1, -kInch);
            EXPECT_EQ(placed[0].x1 - placed[0].x0, 3 * kInch);
            EXPECT_EQ(lb.box.bounds[0], kInch / 2);
            // A control not shown as an item places nothing.
            control->flags = FormWidget_sized;
            ASSERT_EQ(Layout_placeWidget(&lb.box, nullptr, it, &e, nullptr, 0), 0);
            EXPECT_EQ(boxes(lb.box.layers).size(), 1u);
            BoxIter_free(it);
        }
        Edr_Style_release(bs);
        Edr_Doc_readUnlock(doc);
    });
}

TEST_F(InlineTest, VerticalAlignmentShiftsTextAndFlagsOtherItems)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        struct Case {
            Prop value;
            bool text;
            uint32_t flags; // align bits expected
            int shiftSign;  // -1 down, 0 none, 1 up
        };
        const Case cases[] = {
            {kw(PropId_verticalAlign, KwId_sub), false, Obj_alignBottom, 0},
            {kw(PropId_verticalAlign, KwId_super), false, Obj_alignTop, 0},
            {kw(PropId_verticalAlign, KwId_sub), true, 0, -1},
            {kw(PropId_verticalAlign, KwId_super), true, 0, 1},
            {kw(PropId_verticalAlign, KwId_top), true, Obj_alignTop, 0},
            {kw(PropId_verticalAlign, KwId_bottom), false, Obj_alignBottom, 0},
            {kw(PropId_verticalAlign, KwId_baseline), true, 0, 0},
            {len(PropId_verticalAlign, 1234), false, 0, 1},
            {kw(PropId_verticalAlign, KwId_textTop), true, 0, 1},
        };
        for (const Case &c : cases) {
            Edr_Node *g = group(doc, root);
            own(doc, g, 2, rule({kw(PropId_display, KwId_inline), c.value}));
            Edr_Style *s = compute(doc, g);
            LayoutBox box{};
            box.document = doc;
            box.context = doc->app;
            ObjHeader *item =
                c.text ? Obj_create(&TextItem_class, 0) : BoxItem_create(Rect_getInfinite());
            ASSERT_NE(item, nullptr);
            Rect r = {0, -100, 500, 400};
            Obj_setBox(item, &r);
            item->flags |= Obj_alignTop | Obj_alignBottom;
            int32_t shift = 99;
            Layout_verticalAlign(&box, s, item, &shift, 1000, 300);
            EXPECT_EQ(item->flags & (Obj_alignTop | Obj_alignBottom), c.flags);
            EXPECT_EQ(shift > 0 ? 1 : shift < 0 ? -1 : 0, c.shiftSign);
            if (!c.text && c.shiftSign) {
                EXPECT_EQ(shift, 1234);
            }
            Obj_destroy(item);
            Edr_Style_release(s);
        }
    });
}

TEST_F(InlineTest, AnOutlineItemSurroundsTheAreaWithItsEdges)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        LineBox lb(doc, 4 * kInch, 4 * kInch);
        const int32_t edge[3] = {BorderStyle_solid, int32_t(0xFF0000FFu), 0x100};
        ASSERT_EQ(Layout_makeOutlineItem(&lb.box, nullptr, 10, -20, 1000, 500, edge), 0);
        ObjHeader *item = LayerList_firstItem(lb.box.layers);
        ASSERT_NE(item, nullptr);
        Rect r = Obj_box(item);
        EXPECT_EQ(r.x0, 10);
        EXPECT_EQ(r.y1, -20);
        EXPECT_EQ(r.x1, 10 + 1000 + 0x200);
        EXPECT_EQ(r.y0, -20 - 500 - 0x200);
        BoxItemPart *part = BoxItem_part(item);
        for (const BoxBorder &b : part->borders) {
            EXPECT_EQ(b.width, 0x100);
            EXPECT_EQ(b.style, uint32_t(BorderStyle_solid));
        }
        EXPECT_EQ(part->background.colour, 0u);
        EXPECT_EQ(lb.box.bounds[0], 10);
        EXPECT_EQ(lb.box.bounds[3], -20);
    });
}

TEST_F(InlineRecords, PagePiecesFollowTheirItems)
{
    Edr_PageRec templ{};
    templ.words1[0] = 7;
    templ.bounds[2] = 300;
    templ.boundsTail = 5;
    templ.background[3] = 0xFF;
    templ.buildState = 0;
    Rect r = {0, 0, 1, 1};
    ObjHeader *a = BoxItem_create(&r);
    ObjHeader *b = BoxItem_create(&r);
    ObjHeader *c = BoxItem_create(&r);
    ASSERT_TRUE(a && b && c);
    Obj_setNext(a, b);
    Obj_setNext(b, c);
    templ.objects = a;
    Edr_PageRec *pb = nullptr, *px = nullptr, *pa = nullptr;
    ASSERT_EQ(PagePiece_create(&pb, &templ, b), 0);
    ASSERT_EQ(PagePiece_create(&px, &templ, nullptr), 0);
    ASSERT_EQ(PagePiece_create(&pa, &templ, a), 0);
    EXPECT_EQ(pb->words1[0], 7);
    EXPECT_EQ(pb->bounds[2], 300);
    EXPECT_EQ(pb->boundsTail, 5);
    EXPECT_EQ(pb->background[3], 0);
    EXPECT_EQ(pb->buildState, 3u);
    EXPECT_EQ(pb->objects, b);
    EXPECT_EQ(px->buildState, 0u);
    EXPECT_EQ(px->objects, nullptr);
    PagePiece_append(&templ, pb);
    PagePiece_append(&templ, px);
    PagePiece_append(&templ, pa);
    PagePiece_orderByItems(&templ);
    EXPECT_EQ(templ.nextRec, pa);
    EXPECT_EQ(pa->nextRec, pb);
    EXPECT_EQ(pb->nextRec, px);
    EXPECT_EQ(px->nextRec, nullptr);
    // Only content records with two pieces or more are ordered.
    templ.buildState = 3;
    templ.nextRec = pb;
    pb->nextRec = pa;
    pa->nextRec = nullptr;
    PagePiece_orderByItems(&templ);
    EXPECT_EQ(templ.nextRec, pb);
    Mem_free(pa);
    Mem_free(pb);
    Mem_free(px);
    Obj_destroy(a);
    Obj_destroy(b);
    Obj_destroy(c);
}

TEST_F(InlineRecords, IndexListsKeepPositions)
{
    Rect r = {0, 0, 1, 1};
    ObjHeader *a = BoxItem_create(&r), *b = BoxItem_create(&r), *c = BoxItem_create(&r);
    IndexList list{};
    for (ObjHeader *o : {a, b, c})
        ASSERT_EQ(IndexList_moveToEnd(&list, o), 0);
    EXPECT_EQ(list.count, 3u);
    EXPECT_EQ(IndexList_position(c), 2u);
    ASSERT_EQ(IndexList_moveToEnd(&list, a), 0);
    EXPECT_EQ(IndexList_position(b), 0u);
    EXPECT_EQ(IndexList_position(c), 1u);
    EXPECT_EQ(IndexList_position(a), 2u);
    IndexList_remove(&list, c);
    EXPECT_EQ(list.count, 2u);
    EXPECT_EQ(IndexList_position(a), 1u);
    IndexList_remove(&list, c); // absent: nothing
    EXPECT_EQ(list.count, 2u);
    EXPECT_EQ(IndexList_moveToEnd(nullptr, a), int(Res_nullInput));
    Mem_failAfter(1);
    EXPECT_EQ(IndexList_moveToEnd(&list, c), int(Res_noMemory));
    Mem_failAfter(0);
    EXPECT_EQ(list.count, 2u);
    IndexList_free(&list);
    EXPECT_EQ(list.count, 0u);
    for (ObjHeader *o : {a, b, c})
        Obj_destroy(o);
}

TEST_F(InlineRecords, SmallServices)
{
    Rect r = {10, 20, 40, 70};
    Rect_moveTo(&r, -5, 100);
    EXPECT_EQ(r.x0, -5);
    EXPECT_EQ(r.y0, 100);
    EXPECT_EQ(r.x1, 25);
    EXPECT_EQ(r.y1, 150);
    size_t la = 9, lb = 9, total = 0;
    Ustr_pairLengths(u"abc", nullptr, &la, &lb, &total);
    EXPECT_EQ(la, 3u);
    EXPECT_EQ(lb, 0u);
    EXPECT_EQ(total, 5u);
    Ustr_pairLengths(u"ab", u"xyz", &la, &lb, &total);
    EXPECT_EQ(total, 7u);
}

} // namespace
