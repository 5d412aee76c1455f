// The layout box tree over documents built through the document model (a
// root with three sections): a section that is not displayed publishes
// nothing, an unbounded empty section gets the default height, a paged
// section publishes pages of its size with their background items, a
// negative width keeps its magnitude, unchanged sections are left alone,
// stale pages go, further pages come in order, and deep nesting trips the
// stack guard without a crash.
#include <cstring>

#include "core/mem/mem.h"
#include "core/task/eventproc.h"
#include "core/result.h"
#include "core/style/propids.h"
#include "document/edr/page.h"
#include "document/style/style.h"
#include "layout/floatarea.h"
#include "layout/layout.h"
#include "layout/listmarker.h"
#include "tests/document/style_fixture.h"
#include "viewer/dispqueue.h"

#include <vector>

using namespace styletest;

namespace {

class BoxTreeTest : public EdrFixture {};

struct Sections {
    Edr_Node *hidden, *unbounded, *paged;
};

// Section 0 is not displayed, section 1 has no size, section 2 a negative
// width and a height.
Sections build(Edr_Doc *doc, Edr_Node *root)
{
    Sections s{};
    s.hidden = group(doc, root);
    own(doc, s.hidden, 2, rule({kw(PropId_display, KwId_none)}));
    s.unbounded = group(doc, root);
    own(doc, s.unbounded, 2, rule({kw(PropId_display, KwId_block)}));
    s.paged = group(doc, root);
    own(doc, s.paged, 2,
        rule({kw(PropId_display, KwId_block), len(PropId_width, -0x50000),
              len(PropId_height, 0x60000)}));
    return s;
}

int pass(Edr_Doc *doc)
{
    Edr_Doc_readLock(doc);
    int err = Layout_document(doc);
    Edr_Doc_readUnlock(doc);
    return err;
}

uint32_t pageCount(Edr_Doc *doc)
{
    uint32_t n = 0;
    Edr_Page_count(doc, &n);
    return n;
}

bool hasItems(Edr_Doc *doc, int32_t key, uint32_t kind)
{
    Edr_PageEntry *e = nullptr;
    if (Edr_Page_find(&e, doc, key, kind, 0) != 0)
        return false;
    bool items = Edr_Page_deref(e)->objects != nullptr;
    Edr_Page_release(e, 0);
    return items;
}

TEST_F(BoxTreeTest, SectionsPublishPagesOfTheirSize)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        build(doc, root);
        ASSERT_EQ(pass(doc), 0);
        EXPECT_EQ(pageCount(doc), 2u);
        int32_t r[4];
        EXPECT_EQ(Edr_Page_getRect(doc, 0, 0, r), int(Edr_Page_noSuchPage));
        ASSERT_EQ(Edr_Page_getRect(doc, 1, 0, r), 0);
        EXPECT_EQ(r[0], 0);
        EXPECT_EQ(r[1], -0xBB162);
        EXPECT_EQ(r[2], 0x84000);
        EXPECT_EQ(r[3], 0);
        ASSERT_EQ(Edr_Page_getRect(doc, 2, 0, r), 0);
        EXPECT_EQ(r[1], -0x60000);
        EXPECT_EQ(r[2], 0x50000);
        // Each page carries its background item.
        EXPECT_TRUE(hasItems(doc, 1, 0));
        EXPECT_TRUE(hasItems(doc, 2, 0));
    });
}

// One section laid out by itself, as a pass does for each changed one:
// only its page is published.
TEST_F(BoxTreeTest, ASectionLaidOutAlonePublishesItsOwnPage)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Sections s = build(doc, root);
        Edr_Doc_readLock(doc);
        int err = Edr_Page_markKey(doc, 2);
        Edr_Style *rootStyle = nullptr;
        if (!err)
            err = Edr_Sect_lockAll(doc, nullptr);
        if (!err) {
            err = Edr_Style_computeForNode(doc, &rootStyle, nullptr, doc->root);
            if (!err)
                err = Layout_section(doc, 2, 1, rootStyle, s.paged);
            Edr_Style_release(rootStyle);
            Edr_Sect_unlockAll(doc);
        }
        Edr_Doc_readUnlock(doc);
        ASSERT_EQ(err, 0);
        EXPECT_EQ(pageCount(doc), 1u);
        int32_t r[4];
        EXPECT_EQ(Edr_Page_getRect(doc, 1, 0, r), int(Edr_Page_noSuchPage));
        ASSERT_EQ(Edr_Page_getRect(doc, 2, 0, r), 0);
        EXPECT_EQ(r[1], -0x60000);
        EXPECT_EQ(r[2], 0x50000);
        EXPECT_TRUE(hasItems(doc, 2, 0));
    });
}

TEST_F(BoxTreeTest, UnchangedSectionsAreNotLaidOut)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Sections s = build(doc, root);
        s.unbounded->flags &= ~uint32_t(Edr_Node_changedBit);
        s.paged->flags &= ~uint32_t(Edr_Node_changedBit);
        ASSERT_EQ(pass(doc), 0);
        EXPECT_EQ(pageCount(doc), 0u);
        s.paged->flags |= Edr_Node_changedBit;
        ASSERT_EQ(pass(doc), 0);
        EXPECT_EQ(pageCount(doc), 1u);
        int32_t r[4];
        EXPECT_EQ(Edr_Page_getRect(doc, 2, 0, r), 0);
    });
}

// Counts the code-2 messages (stale pages removed) of the document.
struct StaleCount {
    Edr_Doc *doc;
    int removed;
};
void countRemoved(EngineContext *, EventProcMsg *msg, void *context, int *)
{
    StaleCount *c = static_cast<StaleCount *>(context);
    const EventProcCodeMsg *m = static_cast<const EventProcCodeMsg *>(msg->payload);
    if (m->document == c->doc && m->code == 2)
        c->removed++;
}

TEST_F(BoxTreeTest, APassWithFewerPagesRemovesTheStaleOnes)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        StaleCount count{doc, 0};
        ASSERT_EQ(EventProc_addListener(ctx(), ctx()->eventProc, 1, countRemoved, &count), 0);
        build(doc, root);
        // A page 1 of section 2 left from an earlier, longer layout.
        Edr_PageRec *old = static_cast<Edr_PageRec *>(Mem_calloc(1, sizeof(Edr_PageRec)));
        ASSERT_NE(old, nullptr);
        old->doc = doc;
        int32_t bounds[4] = {0, -0x60000, 0x50000, 0};
        std::memcpy(old->bounds, bounds, sizeof(bounds));
        ASSERT_EQ(Edr_Page_publishLayout(doc, 2, 1, 0, old, 0, 0), 0);
        ASSERT_EQ(pageCount(doc), 1u);
        ASSERT_EQ(pass(doc), 0);
        EXPECT_EQ(pageCount(doc), 2u);
        int32_t r[4];
        EXPECT_EQ(Edr_Page_getRect(doc, 2, 1, r), int(Edr_Page_noSuchPage));
        EXPECT_EQ(Edr_Page_getRect(doc, 2, 0, r), 0);
        AppMsg_drain(ctx()->eventProc);
        EXPECT_EQ(count.removed, 1);
        EXPECT_EQ(EventProc_removeListener(ctx()->eventProc, 1, countRemoved, &count), 0);
        flushListeners();
    });
}

TEST_F(BoxTreeTest, FurtherPagesComeInOrderAndHeldPagesWait)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Sections s = build(doc, root);
        Edr_Doc_readLock(doc);
        ASSERT_EQ(Edr_Sect_lockAll(doc, nullptr), 0);
        Edr_Style *style = compute(doc, s.paged);
        LayoutBox section{};
        section.context = doc->app;
        section.document = doc;
        int32_t rect[4] = {0, -0x60000, 0x50000, 0};
        std::memcpy(section.pageRect, rect, sizeof(rect));
        SectionRec rec{};
        rec.style = style;
        rec.index = 2;
        rec.paged = 1;
        LayoutBox *page = nullptr;
        ASSERT_EQ(Layout_newPageBox(&section, &page, &rec), 0);
        FloatArea_setBand(page->items, 0x1000, 0x2000, 0, 0);
        LayoutBox *first = page;
        int moved = 0;
        ASSERT_EQ(page->overflow(&page, &moved), 0);
        EXPECT_EQ(moved, 1);
        EXPECT_NE(page, first);
        EXPECT_EQ(page->section->pageNumber, 1);
        // The new page keeps the band's side margins.
        int32_t l, r, t, b;
        FloatArea_margins(page->items, &l, &r, &t, &b);
        EXPECT_EQ(l, 0x1000);
        EXPECT_EQ(r, 0x2000);
        // The first page was finished (published) when layout moved on.
        EXPECT_EQ(first->layers, nullptr);
        EXPECT_EQ(pageCount(doc), 1u);
        // A held page stays for the cleanup.
        Layout_holdPage(page);
        LayoutBox *second = page;
        ASSERT_EQ(Layout_nextPage(&page, &moved), 0);
        EXPECT_NE(second->layers, nullptr);
        EXPECT_EQ(pageCount(doc), 1u);
        for (LayoutBox *p = section.children->first; p; p = p->next) {
            LayoutBox *q = p;
            EXPECT_EQ(Layout_finishPage(&q, 0), 0);
        }
        EXPECT_EQ(pageCount(doc), 3u);
        for (uint32_t kind = 0; kind < 3; kind++) {
            int32_t key = -1;
            uint32_t k = 99;
            ASSERT_EQ(Edr_Page_getKeyByIndex(&key, &k, doc, kind), 0);
            EXPECT_EQ(key, 2);
            EXPECT_EQ(k, kind);
        }
        while (LayoutBox *p = section.children->first) {
            section.children->first = p->next;
            Mem_free(p);
        }
        Mem_free(section.children);
        Edr_Style_release(style);
        Edr_Sect_unlockAll(doc);
        Edr_Doc_readUnlock(doc);
    });
}

struct Report {
    int32_t key;
    uint32_t kind;
    Rect rect;
    int32_t mode;
    int32_t thumbnails;
};
std::vector<Report> *reports;

int recordArea(EngineContext *, uint32_t, int32_t mode, const DispmanArea *area, int32_t thumbnails,
               uint32_t, const intptr_t *)
{
    reports->push_back({area->pageKey, area->pageKind, area->rect, mode, thumbnails});
    return 0;
}

TEST_F(BoxTreeTest, PagesPublishedAfterTheStartAreReportedToTheView)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        build(doc, root);
        std::vector<Report> seen;
        reports = &seen;
        doc->displayHooks.argument = doc->app;
        doc->displayHooks.areaChanged = recordArea;
        // While the document is not started nothing is reported.
        ASSERT_EQ(Edr_Doc_clearStartFlag(doc), 0);
        ASSERT_EQ(pass(doc), 0);
        EXPECT_TRUE(seen.empty());
        ASSERT_EQ(Edr_Doc_setStartFlag(doc), 0);
        for (Edr_Node *n = Edr_Node_firstChild(root); n; n = Edr_Node_nextSibling(n))
            n->flags |= Edr_Node_changedBit;
        ASSERT_EQ(pass(doc), 0);
        ASSERT_EQ(seen.size(), 2u);
        EXPECT_EQ(seen[0].key, 1);
        EXPECT_EQ(seen[0].rect.y0, -0xBB162);
        EXPECT_EQ(seen[0].rect.x1, 0x84000);
        EXPECT_EQ(seen[1].key, 2);
        EXPECT_EQ(seen[1].kind, 0u);
        EXPECT_EQ(seen[1].rect.y0, -0x60000);
        EXPECT_EQ(seen[1].rect.x1, 0x50000);
        // The page's whole rectangle, given as an area, and its thumbnail
        // told of the change.
        for (const Report &r : seen) {
            EXPECT_EQ(r.mode, 0);
            EXPECT_EQ(r.thumbnails, 1);
        }
        doc->displayHooks.areaChanged = nullptr;
        reports = nullptr;
    });
}

TEST_F(BoxTreeTest, APageWithoutPagesHandsItsSourcesOverAndReportsEverything)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Sections s = build(doc, root);
        std::vector<Report> seen;
        reports = &seen;
        doc->displayHooks.argument = doc->app;
        doc->displayHooks.areaChanged = recordArea;
        Edr_Doc_readLock(doc);
        ASSERT_EQ(Edr_Sect_lockAll(doc, nullptr), 0);
        Edr_Style *style = compute(doc, s.unbounded);
        LayoutBox *section = Box_create(doc);
        ASSERT_NE(section, nullptr);
        section->flowMode = 3;
        int32_t rect[4] = {0, Layout_unset, 0x50000, 0};
        std::memcpy(section->pageRect, rect, sizeof(rect));
        SectionRec rec{};
        rec.style = style;
        rec.index = 1;
        LayoutBox *page = nullptr;
        ASSERT_EQ(Layout_newPageBox(section, &page, &rec), 0);
        ASSERT_NE(page->sources, nullptr);
        page->pageRecord->bounds[1] = -0x10000;
        LayoutBox *p = page;
        ASSERT_EQ(Layout_finishPage(&p, 0), 0);
        EXPECT_EQ(page->sources, nullptr);
        Edr_PageEntry *e = nullptr;
        ASSERT_EQ(Edr_Page_find(&e, doc, 1, 0, 0), 0);
        EXPECT_NE(Edr_Page_deref(e)->sources, nullptr);
        Edr_Page_release(e, 0);
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_TRUE(Rect_isInfinite(&seen[0].rect));
        BoxList_freeAll(section->children);
        section->children = nullptr;
        Box_free(section);
        Edr_Style_release(style);
        Edr_Sect_unlockAll(doc);
        Edr_Doc_readUnlock(doc);
        doc->displayHooks.areaChanged = nullptr;
        reports = nullptr;
    });
}

// Recurses with a sizeable frame until the guard refuses.
int descend(LayoutBox *box, Edr_Node *node, Edr_Style *style, int depth, int *levels)
{
    volatile char frame[4096];
    frame[0] = char(depth);
    LayoutBox *b = box;
    int err = Layout_nestedBlock(&b, node, style);
    if (err)
        return err;
    ++*levels;
    if (depth > 100000)
        return -1;
    return descend(box, node, style, depth + 1, levels) + frame[0] * 0;
}

TEST_F(BoxTreeTest, DeepNestingTripsTheStackGuard)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Sections s = build(doc, root);
        Edr_Style *style = compute(doc, s.unbounded);
        LayoutBox box{};
        box.context = doc->app;
        box.document = doc;
        int levels = 0;
        Edr_Doc_readLock(doc);
        EXPECT_EQ(descend(&box, s.unbounded, style, 0, &levels), int(Res_stackExhausted));
        Edr_Doc_readUnlock(doc);
        EXPECT_GT(levels, 0);
        Edr_Style_release(style);
    });
}

TEST_F(BoxTreeTest, ANestedBlockThatResetsTheCounterNestsAList)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Sections s = build(doc, root);
        Edr_Style *style = compute(doc, s.unbounded);
        LayoutBox box{};
        box.context = doc->app;
        box.document = doc;
        ListCounter outer{};
        ListCounter_push(&outer, &box);
        box.stateFlags = BoxState_resetsCounter;
        struct Case {
            int32_t outerCount;
            uint32_t edgeMask;
        } cases[] = {{0, 0}, {2, 12}};
        for (const Case &c : cases) {
            outer.count = c.outerCount;
            box.block.edgeMask = 0;
            LayoutBox *b = &box;
            Edr_Doc_readLock(doc);
            EXPECT_EQ(Layout_nestedBlock(&b, s.unbounded, style), 0);
            Edr_Doc_readUnlock(doc);
            EXPECT_EQ(box.block.edgeMask, c.edgeMask);
            EXPECT_EQ(box.counters, &outer); // the nested list's counter is popped
        }
        Edr_Style_release(style);
    });
}

} // namespace
