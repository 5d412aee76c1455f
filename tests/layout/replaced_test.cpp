// Replaced content over small documents built through the document model:
// image sizes from width, height and the natural size; wide images in the
// page and reflowing modes; objects with their default size; box items
// that show nothing; background image positions; path items in lines; and
// page headers and footers chosen by page number with the room they keep.
#include <string>
#include <vector>

#include "layout/layerlist.h"
#include "core/container/obj.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/task/task.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/style/style.h"
#include "graphics/boxitem.h"
#include "graphics/imageitem.h"
#include "graphics/path.h"
#include "fonts/textitem.h"
#include "layout/block.h"
#include "layout/boxiter.h"
#include "layout/floatarea.h"
#include "layout/layout.h"
#include "layout/line.h"
#include "layout/replaced.h"
#include "tests/document/style_fixture.h"

using namespace styletest;

namespace {

class ReplacedTest : public EdrFixture {};

constexpr int32_t kInch = 0x10000;

Edr_Node *block(Edr_Doc *doc, Edr_Node *parent, std::initializer_list<Prop> props,
                uint32_t display = KwId_block)
{
    Edr_Node *b = group(doc, parent);
    std::vector<Prop> all = {kw(PropId_display, uint16_t(display)),
                             len(PropId_fontSize, kInch / 4)};
    all.insert(all.end(), props.begin(), props.end());
    StyleRule *r = nullptr;
    EXPECT_EQ(StyleRule_create(&r), 0);
    for (const Prop &p : all)
        EXPECT_EQ(StyleRule_appendProp(r, &p), 0);
    own(doc, b, 2, r);
    return b;
}

// A picture record node whose natural size is width x height.
Edr_Node *picture(Edr_Doc *doc, Edr_Node *parent, int32_t width, int32_t height)
{
    auto *rec = static_cast<Edr_PictureRecord *>(Mem_calloc(1, sizeof(Edr_PictureRecord)));
    rec->words[0] = width;
    rec->words[1] = height;
    Edr_Node *n = nullptr;
    EXPECT_EQ(Edr_Node_createTriple(doc, parent, Edr_Insert_lastChild, &n, rec, 0, 0), 0);
    return n;
}

Edr_Node *text(Edr_Doc *doc, Edr_Node *parent, const std::u16string &s)
{
    Edr_Node *t = nullptr;
    EXPECT_EQ(
        Edr_Node_createText(doc, parent, Edr_Insert_lastChild, &t, s.c_str(), uint32_t(s.size())),
        0);
    return t;
}

// A rectangle path node (w x h at the origin).
Edr_Node *rectPath(Edr_Doc *doc, Edr_Node *parent, int32_t w, int32_t h)
{
    Path *p = nullptr;
    EXPECT_EQ(Path_create(&p, 0x10000), 0);
    EXPECT_EQ(Path_moveTo(p, 0, 0), 0);
    EXPECT_EQ(Path_lineTo(p, w, 0), 0);
    EXPECT_EQ(Path_lineTo(p, w, h), 0);
    EXPECT_EQ(Path_lineTo(p, 0, h), 0);
    EXPECT_EQ(Path_close(p), 0);
    Edr_Node *n = nullptr;
    EXPECT_EQ(Edr_Node_createPath(doc, parent, Edr_Insert_lastChild, &n, p), 0);
    return n;
}

struct Item {
    const ObjClass *cls;
    Rect box;
};
using Line = std::vector<Item>;

struct Lines {
    std::vector<Line> lines;
    std::vector<int> results;
};

// Builds the block's lines on a box of the width (flow mode as given).
Lines layOut(Edr_Doc *doc, Edr_Node *node, int32_t width, uint32_t flowMode = 0)
{
    Lines out;
    Edr_Doc_readLock(doc);
    Edr_Style *bs = nullptr;
    EXPECT_EQ(Edr_Style_computeForNode(doc, &bs, nullptr, node), 0);
    LayoutBox box{};
    box.context = doc->app;
    box.document = doc;
    box.styleContext = Edr_StyleCtx_get(doc);
    box.flowMode = flowMode;
    box.availableWidth = width;
    box.block.direction = KwId_ltr;
    box.layers = LayerList_create();
    Rect area = {0, -100 * kInch, width, 0};
    EXPECT_EQ(FloatArea_create(&area, &box.items), 0);
    FloatArea_setBand(box.items, 0, 0, 0, 0);
    BoxIter *it = nullptr;
    EXPECT_EQ(BoxIter_create(&it, &box, node, bs, 0), 0);
    LineCounter counter{};
    for (int n = 0; n < 20; n++) {
        LayerList *list = LayerList_create();
        box.block.lineLeft = 0;
        box.block.lineRight = width;
        int r = Layout_buildLine(&box, it, node, bs, &counter, n == 0, list);
        BoxIter_commit(it);
        Line line;
        for (LayerList *l : {list, box.layers})
            for (Layer *layer = l->first; layer; layer = layer->next)
                for (ObjHeader *o = layer->first; o; o = Obj_next(o))
                    line.push_back({o->cls, Obj_shownBox(o)});
        LayerList_freeItems(box.layers);
        out.lines.push_back(line);
        out.results.push_back(r);
        LayerList_freeItems(list);
        LayerList_destroy(list);
        if (r != 0 && r != Layout_breakNeeded)
            break;
    }
    BoxIter_free(it);
    LayerList_destroy(box.layers);
    FloatArea_destroy(box.items);
    Edr_Style_release(bs);
    Edr_Doc_readUnlock(doc);
    return out;
}

std::vector<Rect> images(const Line &line)
{
    std::vector<Rect> out;
    for (const Item &i : line)
        if (i.cls == &ImageItem_class)
            out.push_back(i.box);
    return out;
}

int32_t width(const Rect &r)
{
    return r.x1 - r.x0;
}
int32_t height(const Rect &r)
{
    return r.y1 - r.y0;
}

TEST_F(ReplacedTest, ImageSizesKeepTheAspectRatioFromOneGivenSide)
{
    struct Case {
        const char *name;
        std::vector<Prop> props;
        int32_t target;
        int32_t w, h;
    } cases[] = {
        {"natural", {}, 0, 2 * kInch, kInch},
        {"width only", {len(PropId_width, kInch)}, 0, kInch, kInch / 2},
        {"height only", {len(PropId_height, 2 * kInch)}, 0, 4 * kInch, 2 * kInch},
        {"both", {len(PropId_width, kInch), len(PropId_height, 3 * kInch)}, 0, kInch, 3 * kInch},
        {"percent width", {pct(PropId_width, 50)}, 0, 3 * kInch, 3 * kInch / 2},
        {"negative width is absent", {len(PropId_width, -kInch)}, 0, 2 * kInch, kInch},
        {"target", {}, 3 * kInch, 3 * kInch, 3 * kInch / 2},
    };
    for (const Case &c : cases) {
        withDoc([&](Edr_Doc *doc, Edr_Node *root) {
            Edr_Node *g = group(doc, root);
            StyleRule *r = nullptr;
            ASSERT_EQ(StyleRule_create(&r), 0);
            for (const Prop &p : c.props)
                ASSERT_EQ(StyleRule_appendProp(r, &p), 0);
            own(doc, g, 2, r);
            Edr_Node *pic = picture(doc, g, 2 * kInch, kInch);
            Edr_Doc_readLock(doc);
            Edr_Style *s = nullptr;
            ASSERT_EQ(Edr_Style_computeForNode(doc, &s, nullptr, g), 0);
            LayoutBox box{};
            box.document = doc;
            box.availableWidth = 6 * kInch;
            IterEntry e{};
            e.node = pic;
            e.style = s;
            ObjHeader *item = nullptr;
            ASSERT_EQ(Layout_makeImageNodeItem(&box, &item, &e), 0);
            ASSERT_NE(item, nullptr);
            EXPECT_EQ(Layout_applyImageSize(&box, s, item, c.target, 0), 0) << c.name;
            Rect b = Obj_box(item);
            EXPECT_EQ(width(b), c.w) << c.name;
            EXPECT_EQ(height(b), c.h) << c.name;
            Obj_destroy(item);
            Edr_Style_release(s);
            Edr_Doc_readUnlock(doc);
        });
    }
}

TEST_F(ReplacedTest, AnImageWithoutANaturalSizeCannotBeMeasured)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *pic = picture(doc, root, 0, kInch);
        IterEntry e{};
        e.node = pic;
        ObjHeader *item = nullptr;
        LayoutBox box{};
        EXPECT_EQ(Layout_makeImageNodeItem(&box, &item, &e), int(Layout_cannotMeasure));
        EXPECT_EQ(item, nullptr);
    });
}

TEST_F(ReplacedTest, AWideImageMovesToTheNextLineOrIsScaledInFlowMode)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *b = block(doc, root, {});
        text(doc, b, u"ab ");
        picture(doc, b, 8 * kInch, 2 * kInch);
        text(doc, b, u"cd");

        // Page layout: the picture goes to a line of its own, placed
        // although it is wider, and ends that line.
        Lines page = layOut(doc, b, 6 * kInch);
        ASSERT_GE(page.lines.size(), 3u);
        EXPECT_TRUE(images(page.lines[0]).empty());
        std::vector<Rect> second = images(page.lines[1]);
        ASSERT_EQ(second.size(), 1u);
        EXPECT_EQ(second[0].x0, 0);
        EXPECT_EQ(width(second[0]), 8 * kInch);
        EXPECT_EQ(page.lines[1].size(), 1u); // nothing follows it on its line
        EXPECT_FALSE(page.lines[2].empty());

        // A reflowing mode scales it down to the line.
        Lines flow = layOut(doc, b, 6 * kInch, 1);
        std::vector<Rect> scaled;
        for (const Line &l : flow.lines)
            for (const Rect &r : images(l))
                scaled.push_back(r);
        ASSERT_EQ(scaled.size(), 1u);
        EXPECT_EQ(width(scaled[0]), 6 * kInch);
        EXPECT_EQ(height(scaled[0]), 6 * kInch / 4);
    });
}

TEST_F(ReplacedTest, AnObjectWithoutASizeHasTheDefaultSize)
{
    withDoc([&](Edr_Doc *, Edr_Node *) {
        LayoutBox box{};
        box.layers = LayerList_create();
        box.availableWidth = 6 * kInch;
        box.block.lineRight = 6 * kInch;
        IterEntry e{};
        ASSERT_EQ(Layout_placeObject(&box, nullptr, &e, nullptr), 0);
        ObjHeader *o = LayerList_firstItem(box.layers);
        ASSERT_NE(o, nullptr);
        Rect r = Obj_shownBox(o);
        EXPECT_EQ(width(r), 204800);
        EXPECT_EQ(height(r), 102400);
        EXPECT_EQ(box.block.lineLeft, 204800);
        LayerList_freeItems(box.layers);
        LayerList_destroy(box.layers);
    });
}

TEST_F(ReplacedTest, ScalingToFitKeepsTheRatio)
{
    int32_t w = 4 * kInch, h = 2 * kInch;
    Matrix m{};
    Layout_scaleToFit(kInch, &w, &h, &m);
    EXPECT_EQ(w, kInch);
    EXPECT_EQ(h, kInch / 2);
    EXPECT_EQ(m.a, 0x4000);
    EXPECT_EQ(m.d, 0x4000);
    int32_t zw = 0, zh = kInch;
    Layout_scaleToFit(kInch, &zw, &zh, nullptr);
    EXPECT_EQ(zw, 0);
    EXPECT_EQ(zh, kInch);
}

TEST_F(ReplacedTest, BoxItemsShowOnlyWhatIsThere)
{
    struct Case {
        const char *name;
        std::vector<Prop> props;
        int opaque;
        bool item;
        uint32_t alpha;
    } cases[] = {
        {"nothing", {}, 0, false, 0},
        {"transparent", {kw(PropId_backgroundColor, KwId_transparent)}, 0, false, 0},
        {"a colour", {col(PropId_backgroundColor, 0xFF0000FFu)}, 0, true, 0xFF},
        {"opaque", {}, 1, true, 0xFF},
        {"a border", {kw(PropId_borderTopStyle, KwId_solid)}, 0, true, 0},
        {"sized", {len(PropId_width, kInch), len(PropId_height, kInch)}, 0, true, 0},
    };
    for (const Case &c : cases) {
        withDoc([&](Edr_Doc *doc, Edr_Node *root) {
            Edr_Node *g = group(doc, root);
            StyleRule *r = nullptr;
            ASSERT_EQ(StyleRule_create(&r), 0);
            for (const Prop &p : c.props)
                ASSERT_EQ(StyleRule_appendProp(r, &p), 0);
            own(doc, g, 2, r);
            Edr_Doc_readLock(doc);
            Edr_Style *s = nullptr;
            ASSERT_EQ(Edr_Style_computeForNode(doc, &s, nullptr, g), 0);
            LayoutBox box{};
            box.document = doc;
            Rect content{kInch, kInch, 3 * kInch, 2 * kInch};
            const int32_t borders[4] = {100, 200, 300, 400}, paddings[4] = {10, 20, 30, 40};
            ObjHeader *item = nullptr;
            Rect extent{};
            ASSERT_EQ(Layout_makeBoxItem(&box, g, &item, &extent, s, &content, borders, paddings,
                                         c.opaque, 0),
                      0);
            EXPECT_EQ(item != nullptr, c.item) << c.name;
            if (item) {
                // The outer edge of the borders around the padding box.
                EXPECT_EQ(extent.x0, kInch - 330) << c.name;
                EXPECT_EQ(extent.y0, kInch - 220) << c.name;
                EXPECT_EQ(extent.x1, 3 * kInch + 440) << c.name;
                EXPECT_EQ(extent.y1, 2 * kInch + 110) << c.name;
                EXPECT_EQ(BoxItem_part(item)->background.colour >> 24, c.alpha) << c.name;
                Obj_destroy(item);
            } else {
                EXPECT_FALSE(Rect_isNonEmpty(&extent));
            }
            Edr_Style_release(s);
            Edr_Doc_readUnlock(doc);
        });
    }
}

TEST_F(ReplacedTest, BackgroundPositionsPlaceTheFirstTile)
{
    // A 1 x 1 inch image in a 4 x 2 inch rectangle from (1, 1).
    const Rect image{0, 0, kInch, kInch};
    struct Case {
        const char *name;
        uint32_t mode;
        int32_t value;
        int32_t x, y; // the tile's lower-left corner
    } cases[] = {
        {"0%", Background_percent, 0, kInch, 2 * kInch},
        {"50%", Background_percent, 50 << 16, 5 * kInch / 2, 3 * kInch / 2},
        {"100%", Background_percent, 100 << 16, 4 * kInch, kInch},
        {"absolute", Background_absolute, kInch / 2, 3 * kInch / 2, 3 * kInch / 2},
    };
    for (const Case &c : cases) {
        BoxBackground b{};
        b.rect = {kInch, kInch, 5 * kInch, 3 * kInch};
        b.xMode = b.yMode = c.mode;
        b.x = b.y = c.value;
        Point p{};
        BoxBackground_position(&b, &image, &p);
        EXPECT_EQ(p.x, c.x) << c.name;
        EXPECT_EQ(p.y, c.y) << c.name;
    }
}

TEST_F(ReplacedTest, AnUnknownBackgroundImageAddsNothing)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        // Numbered group 1 holds text, not an image; id 2 is not listed.
        uint32_t number = 1;
        Edr_Node *g = nullptr;
        ASSERT_EQ(Edr_Doc_getNumberedGroup(doc, &number, &g), 0);
        text(doc, g, u"x");
        LayoutBox box{};
        box.document = doc;
        box.layers = LayerList_create();
        for (int32_t id : {1, 2}) {
            BoxBackground *b = nullptr;
            Rect r{0, 0, kInch, kInch};
            ASSERT_EQ(BoxBackground_create(nullptr, id, &r, &b), 0);
            EXPECT_EQ(BoxBackground_addItem(&box, b, 0), 0);
            BoxBackground_free(b);
        }
        EXPECT_FALSE(LayerList_hasItems(box.layers));
        LayerList_destroy(box.layers);
        Edr_Node_release(doc, g);
        (void)root;
    });
}

// Path items of a path node in a block whose style gives the paint mode.
struct PathLine {
    int result;
    std::vector<Item> items;
    int32_t lineLeft;
};

PathLine placePath(Edr_Doc *doc, Edr_Node *root, uint32_t mode, int32_t w, int32_t h, int32_t room)
{
    Edr_Node *g = block(doc, root, {kw(125, uint16_t(mode)), col(PropId_drawColour, 0xFF0000FFu)},
                        KwId_inline);
    Edr_Node *p = rectPath(doc, g, w, h);
    PathLine out{};
    Edr_Doc_readLock(doc);
    Edr_Style *s = nullptr;
    EXPECT_EQ(Edr_Style_computeForNode(doc, &s, nullptr, g), 0);
    LayoutBox box{};
    box.document = doc;
    box.layers = LayerList_create();
    box.availableWidth = room;
    box.block.lineLeft = kInch;
    box.block.lineRight = kInch + room;
    IterEntry e{};
    e.node = p;
    e.style = s;
    out.result = PathItem_place(&box, nullptr, &e);
    for (Layer *l = box.layers->first; l; l = l->next)
        for (ObjHeader *o = l->first; o; o = Obj_next(o))
            out.items.push_back({o->cls, Obj_shownBox(o)});
    for (const Item &i : out.items)
        EXPECT_EQ(i.cls, &PathItem_class);
    ObjHeader *first = LayerList_firstItem(box.layers);
    if (first && out.items.size() == 2) {
        // The fill is painted first, the outline over it.
        EXPECT_EQ(PathItem_part(first)->paint->isStroke, 0u);
        EXPECT_EQ(PathItem_part(Obj_next(first))->paint->isStroke, 1u);
    }
    out.lineLeft = box.block.lineLeft;
    LayerList_freeItems(box.layers);
    LayerList_destroy(box.layers);
    Edr_Style_release(s);
    Edr_Doc_readUnlock(doc);
    return out;
}

TEST_F(ReplacedTest, PathItemsFollowThePaintMode)
{
    struct Case {
        uint32_t mode;
        size_t items;
    } cases[] = {{196, 1}, {197, 1}, {198, 1}, {199, 2}, {200, 2}, {0, 0}, {201, 0}};
    for (const Case &c : cases) {
        withDoc([&](Edr_Doc *doc, Edr_Node *root) {
            PathLine l = placePath(doc, root, c.mode, 2 * kInch, kInch, 6 * kInch);
            EXPECT_EQ(l.result, 0) << c.mode;
            ASSERT_EQ(l.items.size(), c.items) << c.mode;
            for (const Item &i : l.items) {
                // Both at the start limit, at one offset.
                EXPECT_EQ(i.box.x0, kInch) << c.mode;
                EXPECT_EQ(i.box.x1, 3 * kInch) << c.mode;
            }
            EXPECT_EQ(l.lineLeft, c.items ? 3 * kInch : kInch) << c.mode;
        });
    }
}

TEST_F(ReplacedTest, APathWithEmptyBoundsOrTooWideAddsNothing)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        // A flat path has no area to fill.
        PathLine flat = placePath(doc, root, 196, 2 * kInch, 0, 6 * kInch);
        EXPECT_EQ(flat.result, 0);
        EXPECT_TRUE(flat.items.empty());
        EXPECT_EQ(flat.lineLeft, kInch);
        // Stroked, it is a straight line: its pen gives it a box, and only
        // the stroke is kept.
        PathLine line = placePath(doc, root, 199, 2 * kInch, 0, 6 * kInch);
        EXPECT_EQ(line.result, 0);
        ASSERT_EQ(line.items.size(), 1u);
        EXPECT_LT(line.items[0].box.y0, line.items[0].box.y1);
        EXPECT_EQ(line.lineLeft, 3 * kInch);
        PathLine wide = placePath(doc, root, 199, 7 * kInch, kInch, 6 * kInch);
        EXPECT_EQ(wide.result, int(Layout_lineFull));
        EXPECT_TRUE(wide.items.empty());
        EXPECT_EQ(wide.lineLeft, kInch);
    });
}

TEST_F(ReplacedTest, AHiddenPathStillTakesItsRoom)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *g =
            block(doc, root, {kw(125, 196), kw(PropId_visibility, KwId_hidden)}, KwId_inline);
        Edr_Node *p = rectPath(doc, g, kInch, kInch);
        Edr_Doc_readLock(doc);
        Edr_Style *s = nullptr;
        ASSERT_EQ(Edr_Style_computeForNode(doc, &s, nullptr, g), 0);
        LayoutBox box{};
        box.layers = LayerList_create();
        box.availableWidth = 6 * kInch;
        box.block.lineRight = 6 * kInch;
        IterEntry e{};
        e.node = p;
        e.style = s;
        ASSERT_EQ(PathItem_place(&box, nullptr, &e), 0);
        ObjHeader *o = LayerList_firstItem(box.layers);
        ASSERT_NE(o, nullptr);
        EXPECT_TRUE(o->flags & Obj_hidden);
        EXPECT_EQ(box.block.lineLeft, kInch);
        LayerList_freeItems(box.layers);
        LayerList_destroy(box.layers);
        Edr_Style_release(s);
        Edr_Doc_readUnlock(doc);
    });
}

TEST_F(ReplacedTest, ADrawingPlacesItsNodesFromTheOffsetAndYieldsOnLongRuns)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *g = block(doc, root, {kw(125, 196)}, KwId_inline);
        // An offset for the nodes after it, then 300 paths.
        Prop offset{};
        Prop_set(&offset, 74, 10, uintptr_t(kInch), uint32_t(2 * kInch));
        ASSERT_EQ(Edr_Node_createData(doc, g, Edr_Insert_lastChild, nullptr, &offset), 0);
        for (int i = 0; i < 300; i++)
            rectPath(doc, g, kInch / 4, kInch / 4);
        Edr_Doc_readLock(doc);
        Edr_Style *s = nullptr;
        ASSERT_EQ(Edr_Style_computeForNode(doc, &s, nullptr, g), 0);
        LayoutBox box{};
        box.context = doc->app;
        box.document = doc;
        box.styleContext = Edr_StyleCtx_get(doc);
        box.layers = LayerList_create();
        box.availableWidth = 6 * kInch;
        box.bounds[0] = box.bounds[1] = INT32_MAX;
        box.bounds[2] = box.bounds[3] = INT32_MIN;
        BoxIter *it = nullptr;
        ASSERT_EQ(BoxIter_create(&it, &box, g, s, 1), 0);
        BoxIter_stopAtGroupsOn(it);

        // Another task of the same priority runs while the drawing is laid
        // out only when the walk yields.
        int progress = 0, seen = -1;
        Task_detach(spawn("other", 3, [&] { seen = progress; }));
        progress = 1;
        advance(1000);
        ASSERT_EQ(Layout_placeDrawing(&box, it, 3 * kInch, kInch, 0), 0);
        progress = 2;
        EXPECT_EQ(seen, 1);

        size_t count = 0;
        for (Layer *l = box.layers->first; l; l = l->next)
            for (ObjHeader *o = l->first; o; o = Obj_next(o)) {
                Rect r = Obj_shownBox(o);
                EXPECT_EQ(r.x0, 4 * kInch);
                EXPECT_EQ(r.y0, -3 * kInch);
                count++;
            }
        EXPECT_EQ(count, 300u);
        EXPECT_EQ(box.bounds[0], 4 * kInch);
        EXPECT_EQ(box.bounds[3], -3 * kInch + kInch / 4);
        BoxIter_free(it);
        LayerList_freeItems(box.layers);
        LayerList_destroy(box.layers);
        Edr_Style_release(s);
        Edr_Doc_readUnlock(doc);
    });
}

TEST_F(ReplacedTest, ADrawingPaintsAShapesOutlineOverItsFill)
{
    // A floating shape filled and outlined: painted the other way round the
    // fill would hide the inner half of the outline.
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *g = block(doc, root, {kw(125, 199)}, KwId_inline);
        rectPath(doc, g, kInch, kInch / 2);
        Edr_Doc_readLock(doc);
        Edr_Style *s = nullptr;
        ASSERT_EQ(Edr_Style_computeForNode(doc, &s, nullptr, g), 0);
        LayoutBox box{};
        box.context = doc->app;
        box.document = doc;
        box.styleContext = Edr_StyleCtx_get(doc);
        box.layers = LayerList_create();
        box.availableWidth = 6 * kInch;
        box.bounds[0] = box.bounds[1] = INT32_MAX;
        box.bounds[2] = box.bounds[3] = INT32_MIN;
        BoxIter *it = nullptr;
        ASSERT_EQ(BoxIter_create(&it, &box, g, s, 1), 0);
        BoxIter_stopAtGroupsOn(it);
        ASSERT_EQ(Layout_placeDrawing(&box, it, 0, 0, 0), 0);
        std::vector<uint32_t> strokes;
        for (Layer *l = box.layers->first; l; l = l->next)
            for (ObjHeader *o = l->first; o; o = Obj_next(o))
                if (PathItemPart *p = PathItem_part(o))
                    strokes.push_back(p->paint->isStroke);
        EXPECT_EQ(strokes, (std::vector<uint32_t>{0, 1}));
        BoxIter_free(it);
        LayerList_freeItems(box.layers);
        LayerList_destroy(box.layers);
        Edr_Style_release(s);
        Edr_Doc_readUnlock(doc);
    });
}

TEST_F(ReplacedTest, AReplacedBoxPlacesItsPictureWithItsInsets)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *b = block(doc, root, {});
        Edr_Node *box = block(doc, b,
                              {len(PropId_marginLeft, kInch / 2),
                               len(PropId_marginRight, kInch / 4), len(PropId_width, 2 * kInch)},
                              KwId_replacedBox);
        picture(doc, box, kInch, kInch);
        text(doc, b, u"x");
        Lines l = layOut(doc, b, 6 * kInch);
        ASSERT_FALSE(l.lines.empty());
        std::vector<Rect> shown = images(l.lines[0]);
        ASSERT_EQ(shown.size(), 1u);
        // Sized by the group's width, after its left margin.
        EXPECT_EQ(shown[0].x0, kInch / 2);
        EXPECT_EQ(width(shown[0]), 2 * kInch);
        EXPECT_EQ(height(shown[0]), 2 * kInch);
        // The text follows the right margin.
        bool text = false;
        for (const Item &i : l.lines[0])
            if (i.cls == &TextItem_class && i.box.x0 >= shown[0].x1 + kInch / 4)
                text = true;
        EXPECT_TRUE(text);

        // Without children but with a width and height: an empty box.
        Edr_Node *b2 = block(doc, root, {});
        block(doc, b2, {len(PropId_width, kInch), len(PropId_height, kInch / 2)}, KwId_replacedBox);
        Lines e = layOut(doc, b2, 6 * kInch);
        ASSERT_FALSE(e.lines.empty());
        size_t boxes = 0;
        for (const Item &i : e.lines[0])
            if (i.cls == &BoxItem_class) {
                EXPECT_EQ(width(i.box), kInch);
                EXPECT_EQ(height(i.box), kInch / 2);
                boxes++;
            }
        EXPECT_EQ(boxes, 1u);
    });
}

TEST_F(ReplacedTest, TheCursorAdvancesByTheImageAndItsMargins)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *g = block(doc, root,
                            {len(PropId_marginLeft, kInch / 8), len(PropId_marginRight, kInch / 4)},
                            KwId_inline);
        Edr_Node *pic = picture(doc, g, 2 * kInch, kInch);
        Edr_Node *none = picture(doc, g, 0, 0);
        Edr_Doc_readLock(doc);
        Edr_Style *s = nullptr;
        ASSERT_EQ(Edr_Style_computeForNode(doc, &s, nullptr, g), 0);
        LayoutBox box{};
        box.document = doc;
        box.availableWidth = 6 * kInch;
        LayoutCursor c{};
        c.box = &box;
        int32_t start[2] = {0, 0};
        LayoutCursor_init(&c, start, s);
        ASSERT_EQ(Layout_measureImage(&c, s, pic), 0);
        EXPECT_EQ(c.narrowest, 2 * kInch + kInch / 8 + kInch / 4);
        // An image that cannot be measured counts as nothing.
        LayoutCursor_init(&c, start, s);
        ASSERT_EQ(Layout_measureImage(&c, s, none), 0);
        EXPECT_EQ(c.narrowest, 0);
        Edr_Style_release(s);
        Edr_Doc_readUnlock(doc);
    });
}

TEST_F(ReplacedTest, AQuarterTurnSwapsTheImagesSides)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *pic = picture(doc, root, 2 * kInch, kInch);
        IterEntry e{};
        e.node = pic;
        LayoutBox box{};
        ObjHeader *item = nullptr;
        ASSERT_EQ(Layout_makeImageNodeItem(&box, &item, &e), 0);
        ASSERT_NE(item, nullptr);
        const Matrix turn{0, 0x10000, -0x10000, 0, 0, 0};
        ASSERT_EQ(Layout_setItemTransform(&box, item, &turn), 0);
        Rect r = Obj_box(item);
        EXPECT_EQ(width(r), kInch);
        EXPECT_EQ(height(r), 2 * kInch);
        ASSERT_NE(item->matrix, nullptr);
        Obj_destroy(item);
    });
}

TEST_F(ReplacedTest, LabelsAlignOnTheirPoint)
{
    struct Case {
        uint16_t align;
        int32_t shift; // in widths, halved
    } cases[] = {{0, 0}, {KwId_center, -1}, {KwId_right, -2}};
    for (const Case &c : cases) {
        withDoc([&](Edr_Doc *doc, Edr_Node *root) {
            Edr_Node *g = c.align ? block(doc, root, {kw(PropId_textAlign, c.align)}, KwId_inline)
                                  : block(doc, root, {}, KwId_inline);
            Edr_Node *t = text(doc, g, u"label");
            Edr_Doc_readLock(doc);
            Edr_Style *s = nullptr;
            ASSERT_EQ(Edr_Style_computeForNode(doc, &s, nullptr, g), 0);
            LayoutBox box{};
            box.document = doc;
            box.context = doc->app;
            IterEntry e{};
            e.node = t;
            e.style = s;
            ObjHeader *item = nullptr;
            ASSERT_EQ(Layout_makeLabelItem(&box, &e, &item, nullptr, kInch, 2 * kInch), 0);
            ASSERT_NE(item, nullptr);
            Rect r = Obj_box(item);
            int32_t w = width(r);
            EXPECT_GT(w, 0);
            EXPECT_EQ(item->origin[0], kInch + c.shift * (w / 2)) << c.align;
            EXPECT_EQ(item->origin[1], 2 * kInch) << c.align;
            Obj_destroy(item);
            Edr_Style_release(s);
            Edr_Doc_readUnlock(doc);
        });
    }
}

} // namespace
