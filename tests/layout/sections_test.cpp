// Section pages of a document laid out without pages: opening and closing
// pages against a section list (content edges, items moved up to end at 0,
// page records from the box's page template, the background fill), empty
// pages, a closed list, section jobs run into pages of their own, and
// sub-document pages.
#include <algorithm>
#include <cstring>

#include "layout/layerlist.h"
#include "core/container/obj.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "platform/vfs/imagesource.h"
#include "core/style/propids.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "graphics/image.h"
#include "layout/replaced.h"
#include "platform/vfs/vfs.h"
#include "document/edr/page.h"
#include "layout/sections.h"
#include "graphics/boxitem.h"
#include "layout/bytesrc.h"
#include "layout/floatarea.h"
#include "layout/layout.h"
#include "tests/document/style_fixture.h"

#include <fstream>
#include <sstream>
#include <string>

using namespace styletest;

namespace {

class SectionsTest : public EdrFixture {};

// A box over a section list of the width, with a page template.
struct SectionBox {
    LayoutBox *box = nullptr;
    ByteSrcList *list = nullptr;
    Edr_PageRec templ{};

    void make(Edr_Doc *doc, int32_t width)
    {
        box = Box_create(doc);
        ASSERT_NE(box, nullptr);
        ASSERT_EQ(ByteSrcList_create(doc->app, width, &list), 0);
        box->sources = &list->base;
        templ.doc = doc;
        templ.words1[0] = 11;
        templ.words1[1] = 12;
        const int32_t bounds[4] = {0, Layout_unset, width, 0};
        std::memcpy(templ.bounds, bounds, sizeof(bounds));
        templ.boundsTail = 13;
        templ.background[0] = 99; // not part of the template
        box->pageRecord = &templ;
    }
    void done()
    {
        Edr_Sect_freeLists(box);
        box->sources = nullptr;
        box->pageRecord = nullptr;
        Box_free(box);
        ByteSrcList_free(list);
    }
    SectionPage *page(uint32_t i)
    {
        ByteSrcEntry *e = ByteSrcList_entry(list, i);
        EXPECT_NE(e, nullptr);
        EXPECT_EQ(e ? e->kind : 99u, uint32_t(ByteSrc_page));
        return e ? static_cast<SectionPage *>(e->src.data) : nullptr;
    }
};

ObjHeader *item(int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    Rect r = {x0, y0, x1, y1};
    return BoxItem_create(&r);
}

TEST_F(SectionsTest, ContentEdgesAreAFiftiethOfTheListWidth)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        SectionBox s;
        s.make(doc, 5000);
        ASSERT_EQ(Edr_Sect_begin(s.box, 1), 0);
        EXPECT_EQ(s.box->avail[0], 100);
        EXPECT_EQ(s.box->avail[2], 4900);
        EXPECT_EQ(s.box->availableWidth, 4800);
        EXPECT_EQ(s.box->flowMode, 3u);
        EXPECT_NE(s.box->layers, nullptr);
        EXPECT_NE(s.box->items, nullptr);
        EXPECT_EQ(s.list->base.count, 1u);
        // Not yet closed: the page's box is empty and it has no record.
        Rect extent{};
        Edr_Sect_pageExtent(s.page(0), &extent);
        EXPECT_EQ(extent.x0, INT32_MIN);
        EXPECT_EQ(Edr_Sect_pageRef(s.page(0)), nullptr);
        s.done();
    });
}

TEST_F(SectionsTest, ClosingMovesItemsUpToZeroAndMakesAPageRecord)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        SectionBox s;
        s.make(doc, 5000);
        Edr_Node *g = group(doc, root);
        own(doc, g, 2, rule({col(PropId_backgroundColor, 0xFF204060)}));
        Edr_Style *background = compute(doc, g);
        ByteSrcList_setInfoStyle(s.list, background);
        ASSERT_EQ(Edr_Sect_begin(s.box, 1), 0);
        ObjHeader *a = item(300, 100, 600, 400), *b = item(1000, 500, 1200, 900);
        LayerList_append(s.box->layers, a);
        LayerList_append(s.box->layers, b);
        SectionPage *page = s.page(0);
        ASSERT_EQ(Edr_Sect_end(s.box, 1), 0);
        EXPECT_EQ(s.box->layers, nullptr);
        EXPECT_EQ(s.box->items, nullptr);
        Rect extent{};
        Edr_Sect_pageExtent(page, &extent);
        EXPECT_EQ(extent.x0, 100);
        EXPECT_EQ(extent.y0, -800);
        EXPECT_EQ(extent.x1, 4900);
        EXPECT_EQ(extent.y1, 0);
        Edr_PageRecRef *holder = Edr_Sect_pageRef(page);
        ASSERT_NE(holder, nullptr);
        Edr_PageRec *record = holder->chain;
        EXPECT_EQ(record->doc, doc);
        EXPECT_EQ(record->words1[0], 11);
        EXPECT_EQ(record->words1[1], 12);
        EXPECT_EQ(record->bounds[1], Layout_unset);
        EXPECT_EQ(record->bounds[2], 5000);
        EXPECT_EQ(record->boundsTail, 13);
        EXPECT_EQ(record->background[0], 0);
        // The background fill comes first, then the items moved by -900.
        ObjHeader *fill = record->objects;
        ASSERT_NE(fill, nullptr);
        ASSERT_NE(BoxItem_part(fill), nullptr);
        EXPECT_EQ(BoxItem_part(fill)->background.colour, 0xFF204060u);
        Rect fb = Obj_box(fill);
        EXPECT_EQ(fb.x0, 100);
        EXPECT_EQ(fb.y0, -1800);
        EXPECT_EQ(fb.x1, 4900);
        EXPECT_EQ(fb.y1, 0);
        Rect ab = Obj_box(a), bb = Obj_box(b);
        EXPECT_EQ(ab.y0, -800);
        EXPECT_EQ(ab.y1, -500);
        EXPECT_EQ(bb.y0, -400);
        EXPECT_EQ(bb.y1, 0);
        Edr_PageRecRef_release(holder);
        Edr_Style_release(background);
        s.done();
    });
}

TEST_F(SectionsTest, AnEmptyPageKeepsAnEmptyBoxButGetsARecord)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        SectionBox s;
        s.make(doc, 5000);
        Edr_Node *g = group(doc, root);
        own(doc, g, 2, rule({col(PropId_backgroundColor, 0xFF0000FF)}));
        Edr_Style *background = compute(doc, g);
        ByteSrcList_setInfoStyle(s.list, background);
        ASSERT_EQ(Edr_Sect_begin(s.box, 1), 0);
        ASSERT_EQ(Edr_Sect_end(s.box, 0), 0);
        EXPECT_NE(s.box->layers, nullptr); // kept without the free flag
        Rect extent{};
        Edr_Sect_pageExtent(s.page(0), &extent);
        EXPECT_EQ(extent.x0, INT32_MIN);
        EXPECT_EQ(extent.y1, INT32_MIN);
        Edr_PageRecRef *holder = Edr_Sect_pageRef(s.page(0));
        ASSERT_NE(holder, nullptr);
        EXPECT_EQ(holder->chain->objects, nullptr); // and no background
        Edr_PageRecRef_release(holder);
        // Closing again replaces the record.
        ASSERT_EQ(Edr_Sect_end(s.box, 1), 0);
        Edr_Style_release(background);
        s.done();
    });
}

TEST_F(SectionsTest, AClosedListTakesNoEntriesButPagesStillOpenAndClose)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *) {
        SectionBox s;
        s.make(doc, 2500);
        ByteSrcList_close(s.list);
        ASSERT_EQ(Edr_Sect_begin(s.box, 1), 0);
        EXPECT_EQ(s.list->base.count, 0u);
        EXPECT_EQ(s.box->avail[0], 50);
        LayerList_append(s.box->layers, item(0, 0, 10, 10));
        ASSERT_EQ(Edr_Sect_end(s.box, 1), 0); // the items go with the lists
        EXPECT_EQ(s.box->layers, nullptr);
        EXPECT_EQ(s.list->base.count, 0u);
        s.done();
    });
}

TEST_F(SectionsTest, BackgroundsOfTransparentAndPictureStyles)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        SectionBox s;
        s.make(doc, 1000);
        ASSERT_EQ(Edr_Sect_begin(s.box, 1), 0);
        Edr_Node *clear = group(doc, root);
        own(doc, clear, 2, rule({col(PropId_backgroundColor, 0x00FFFFFF)}));
        Edr_Style *cs = compute(doc, clear);
        Rect page = {0, -100, 1000, 0};
        ASSERT_EQ(Edr_Sect_paintBackground(cs, &page, s.box), 0);
        EXPECT_EQ(LayerList_hasItems(s.box->layers), 0);
        // A job for such a block takes the list's default background.
        Edr_Node *def = group(doc, root);
        own(doc, def, 2, rule({col(PropId_backgroundColor, 0xFF00FF00)}));
        Edr_Style *ds = compute(doc, def);
        ByteSrcList_setInfoStyle(s.list, ds);
        SectionJob *job = Edr_Sect_newJob(s.box, cs);
        ASSERT_NE(job, nullptr);
        EXPECT_EQ(job->background, ds);
        Edr_Sect_freeJob(job);
        // A picture number with a transparent colour paints no fill.
        Edr_Node *pic = group(doc, root);
        own(doc, pic, 2, rule({num(PropId_backgroundImageRef, 4), col(PropId_backgroundColor, 0)}));
        Edr_Style *ps = compute(doc, pic);
        ASSERT_EQ(Edr_Sect_paintBackground(ps, &page, s.box), 0);
        EXPECT_EQ(LayerList_hasItems(s.box->layers), 0);
        job = Edr_Sect_newJob(s.box, ps);
        ASSERT_NE(job, nullptr);
        EXPECT_EQ(job->background, ps); // its own picture wins
        Edr_Sect_freeJob(job);
        Edr_Style_release(cs);
        Edr_Style_release(ds);
        Edr_Style_release(ps);
        s.done();
    });
}

// A page whose style names a document picture (a numbered group holding
// an image node) gets the picture tiled over the page, behind the colour
// fill; a number without a picture adds nothing.
TEST_F(SectionsTest, ABackgroundPictureIsTiledOverThePage)
{
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/images/png/ga8.png", std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    const std::string png = bytes.str();
    ASSERT_FALSE(png.empty());
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        ASSERT_EQ(ImageStore_acquire(ctx(), ImageStore_noWorkers, 4), Res_ok);
        ASSERT_EQ(Edr_App_registerImageCodecs(ctx()), Res_ok);
        VfsHandle *h = nullptr;
        uint32_t accepted = 0;
        ASSERT_EQ(Vfs_openMemory(ctx(), reinterpret_cast<const uint8_t *>(png.data()), png.size(),
                                 0, Vfs_modeRead | Vfs_modeSeekable, &h, &accepted),
                  0);
        ImageSource *source = nullptr;
        ASSERT_EQ(ImageSource_createForStream(h, &source), 0);
        ImageHandle *image = nullptr;
        ASSERT_EQ(Image_open(ctx(), source, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0,
                             ImageOpt_recognise | ImageOpt_staticSubsample, 0, &image),
                  0);
        uint32_t number = 0;
        Edr_Node *holder = nullptr;
        ASSERT_EQ(Edr_Doc_getNumberedGroup(doc, &number, &holder), 0);
        ASSERT_EQ(Edr_Node_createImageFrom(doc, holder, Edr_Insert_lastChild, nullptr, image), 0);
        Edr_Node_release(doc, holder);

        SectionBox s;
        s.make(doc, 1000);
        ASSERT_EQ(Edr_Sect_begin(s.box, 1), 0);
        Rect page = {0, -100, 1000, 0};
        // Layer by layer, the classes of the items.
        auto classes = [&] {
            std::vector<const ObjClass *> out;
            for (Layer *l = s.box->layers->first; l; l = l->next)
                for (ObjHeader *o = l->first; o; o = Obj_next(o))
                    out.push_back(o->cls);
            return out;
        };
        Edr_Node *missing = group(doc, root);
        own(doc, missing, 2,
            rule({num(PropId_backgroundImageRef, int32_t(number + 7)),
                  col(PropId_backgroundColor, 0)}));
        Edr_Style *ms = compute(doc, missing);
        ASSERT_EQ(Edr_Sect_paintBackground(ms, &page, s.box), 0);
        EXPECT_TRUE(classes().empty());
        Edr_Node *pic = group(doc, root);
        own(doc, pic, 2,
            rule({num(PropId_backgroundImageRef, int32_t(number)),
                  col(PropId_backgroundColor, 0xFF00FF00)}));
        Edr_Style *ps = compute(doc, pic);
        ASSERT_EQ(Edr_Sect_paintBackground(ps, &page, s.box), 0);
        std::vector<const ObjClass *> got = classes();
        ASSERT_EQ(got.size(), 2u);
        EXPECT_TRUE(std::find(got.begin(), got.end(), &TiledImage_class) != got.end());
        // The tiled picture covers the page rectangle.
        for (Layer *l = s.box->layers->first; l; l = l->next)
            for (ObjHeader *o = l->first; o; o = Obj_next(o))
                if (o->cls == &TiledImage_class) {
                    EXPECT_EQ(o->origin[0], page.x0);
                    EXPECT_EQ(o->origin[1], page.y0);
                }
        LayerList_freeItems(s.box->layers);
        Edr_Style_release(ms);
        Edr_Style_release(ps);
        s.done();
    });
    // The picture goes with the document, before the store.
    run([&] { ImageStore_release(ctx()); });
}

TEST_F(SectionsTest, SubdocumentPagesHoldTheirChildDocument)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        SectionBox s;
        s.make(doc, 1000);
        Edr_Doc *child = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &child, nullptr), 0);
        const int32_t placement[6] = {0x10000, 0, 0, 0, 10, 10};
        Edr_Node *sub = nullptr;
        ASSERT_EQ(
            Edr_Node_createSubdoc(doc, root, Edr_Insert_lastChild, &sub, child, placement, 1, 0),
            0);
        ASSERT_EQ(Edr_Sect_begin(s.box, 1), 0);
        LayerList_append(s.box->layers, item(0, 0, 10, 10));
        ASSERT_EQ(Edr_Sect_addSubdoc(s.box, sub), 0);
        // [page, sub-document page, the page opened after it]
        ASSERT_EQ(s.list->base.count, 3u);
        ByteSrcEntry *e = ByteSrcList_entry(s.list, 1);
        ASSERT_EQ(e->kind, uint32_t(ByteSrc_subdoc));
        EXPECT_EQ(e->node, sub);
        // The child has no such page: nothing is kept open.
        EXPECT_EQ(e->open(e->src.data), 0);
        EXPECT_EQ(e->page(e->src.data), nullptr);
        e->close(e->src.data);
        EXPECT_EQ(s.list->position, 2u);
        EXPECT_EQ(ByteSrcList_current(s.list), ByteSrcList_entry(s.list, 2)->src.data);
        // A node that is not a sub-document is refused.
        EXPECT_EQ(Edr_Sect_addSubdoc(s.box, root), Res_missingArgument);
        Edr_Node_release(doc, sub);
        Edr_Doc_release(child);
        s.done(); // the entry's reference on the child goes with it
    });
}

TEST_F(SectionsTest, NestedBlocksBecomeJobsThatRunIntoPagesOfTheirOwn)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *sect = group(doc, root);
        own(doc, sect, 2, rule({kw(PropId_display, KwId_block)}));
        Edr_Node *block = group(doc, sect);
        own(doc, block, 2,
            rule({kw(PropId_display, KwId_block), len(PropId_height, 0x20000),
                  col(PropId_backgroundColor, 0xFF0000FF)}));
        Edr_Doc_readLock(doc);
        ASSERT_EQ(Edr_Sect_lockAll(doc, nullptr), 0);
        Edr_Style *style = nullptr;
        ASSERT_EQ(Edr_Style_computeForNode(doc, &style, nullptr, sect), 0);
        Edr_Style *bs = nullptr;
        ASSERT_EQ(Edr_Style_computeForNode(doc, &bs, style, block), 0);
        LayoutBox *section = Box_create(doc);
        ASSERT_NE(section, nullptr);
        section->flowMode = 3;
        section->styleContext = Edr_StyleCtx_get(doc);
        int32_t rect[4] = {0, Layout_unset, 0x50000, 0};
        std::memcpy(section->pageRect, rect, sizeof(rect));
        std::memcpy(section->avail, rect, sizeof(rect));
        section->availableWidth = 0x50000;
        Edr_Sect_prepareBox(section);
        EXPECT_EQ(section->nestedBlock, &Edr_Sect_layoutBlock);
        SectionRec rec{};
        rec.style = style;
        rec.index = 0;
        LayoutBox *page = nullptr;
        ASSERT_EQ(Layout_newPageBox(section, &page, &rec), 0);
        ASSERT_NE(page->sources, nullptr);
        ByteSrcList *list = ByteSrcList_of(page->sources);
        EXPECT_EQ(list->width, 0x50000);
        LayoutBox *current = page;
        ASSERT_EQ(Edr_Sect_layoutBlock(&current, block, bs), 0);
        // [the page before the block, the job, the page opened after it]
        ASSERT_EQ(list->base.count, 3u);
        EXPECT_EQ(ByteSrcList_entry(list, 1)->kind, uint32_t(ByteSrc_job));
        EXPECT_EQ(ByteSrcList_entry(list, 1)->argument, block);
        EXPECT_EQ(page->avail[0], 0x50000 / 50);
        // Finishing the page runs the job: its page takes the job's place.
        LayoutBox *p = page;
        ASSERT_EQ(Layout_finishPage(&p, 0), 0);
        EXPECT_EQ(page->sources, nullptr);
        Edr_PageEntry *e = nullptr;
        ASSERT_EQ(Edr_Page_find(&e, doc, 0, 0, 0), 0);
        ByteSrcList *published = ByteSrcList_of(Edr_Page_deref(e)->sources);
        ASSERT_NE(published, nullptr);
        ASSERT_EQ(published->base.count, 3u);
        for (uint32_t i = 0; i < 3; i++)
            EXPECT_EQ(ByteSrcList_entry(published, i)->kind, uint32_t(ByteSrc_page)) << i;
        Rect extent{};
        Edr_Sect_pageExtent(ByteSrcList_entry(published, 1)->src.data, &extent);
        EXPECT_EQ(extent.y1, 0);
        EXPECT_LT(extent.y0, 0);
        EXPECT_EQ(extent.x0, 0x50000 / 50);
        Edr_Page_release(e, 0);
        BoxList_freeAll(section->children);
        section->children = nullptr;
        Box_free(section);
        Edr_Style_release(bs);
        Edr_Style_release(style);
        Edr_Sect_unlockAll(doc);
        Edr_Doc_readUnlock(doc);
    });
}

} // namespace
