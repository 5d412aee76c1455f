// The page list: sorted publishing with the page-added position, replacing
// and refusing records, removal, lookups and their locks, stale purging,
// thumbnail bounds and transfer, record freeing, counted holders, held
// page-added notices and the page window through the page hook.
#include <string>
#include <vector>

#include "core/result.h"
#include "document/edr/node.h"
#include "core/container/obj.h"
#include "core/geom/matrix.h"
#include "viewer/pagerender.h"
#include "graphics/path.h"
#include "graphics/pixelbuf.h"
#include "tests/document/manager_fixture.h"
#include "viewer/docview.h"

namespace {

class PageTest : public MgrFixture {
  protected:
    // From a task: publishes (key, kind) and lets the message arrive (two
    // page-added notices of one document would merge while queued).
    void publish(Edr_Doc *doc, int32_t key, uint32_t kind, Edr_PageRec *r = nullptr,
                 uint32_t tag = 0, int keepTaller = 0, int noThumb = 0)
    {
        if (!r)
            r = page(doc, 100, 100);
        EXPECT_EQ(Edr_Page_publishLayout(doc, key, kind, tag, r, keepTaller, noThumb), 0);
        AppMsg_drain(ctx()->eventProc);
    }
    static std::string keys(Edr_Doc *doc)
    {
        std::string s;
        uint32_t n = 0;
        EXPECT_EQ(Edr_Page_count(doc, &n), 0);
        for (uint32_t i = 0; i < n; i++) {
            int32_t key = 0;
            uint32_t kind = 0;
            EXPECT_EQ(Edr_Page_getKeyByIndex(&key, &kind, doc, i), 0);
            s += "(" + std::to_string(key) + "," + std::to_string(kind) + ")";
        }
        return s;
    }
    static HighlightStyle *view(Edr_Doc *doc)
    {
        return static_cast<HighlightStyle *>(doc->pageList->view);
    }
    // The page hook: logs L<index> / U<index> by the page's key.
    static int hook(void *context, void *cell, intptr_t how, intptr_t)
    {
        const Edr_PageRef *p = static_cast<const Edr_PageRef *>(cell);
        *static_cast<std::string *>(context) += (how == Edr_PageHook_unload ? "U"
                                                 : how == 0                 ? "L"
                                                                            : "R") +
                                                std::to_string(p->key) + " ";
        return 0;
    }
    void setHook(Edr_Doc *doc)
    {
        doc->hookContext = &hooks;
        doc->pageHook = hook;
    }
    std::string hooks;
};

TEST_F(PageTest, PublishingKeepsKeyKindOrderAndPostsThePosition)
{
    run([&] {
        Edr_Doc *doc = newDoc();
        publish(doc, 3, 0);
        publish(doc, 2, 5);
        publish(doc, 3, 2);
        EXPECT_EQ(codes, "1:0 1:0 1:2 ");
        codes.clear();
        publish(doc, 3, 1);
        EXPECT_EQ(codes, "1:2 ");
        EXPECT_EQ(keys(doc), "(2,5)(3,0)(3,1)(3,2)");
        uint32_t index = 9;
        EXPECT_EQ(Edr_Page_indexOf(&index, doc, 3, 2), 0);
        EXPECT_EQ(index, 3u);
        EXPECT_EQ(Edr_Page_indexOf(&index, doc, 4, 0), int(Edr_Page_noSuchPage));
        EXPECT_EQ(Edr_Page_indexOfKey(doc, 3), 1u);
        EXPECT_EQ(Edr_Page_indexOfKey(doc, 9), 4u);
        int32_t key = 0;
        uint32_t kind = 0;
        EXPECT_EQ(Edr_Page_getKeyByIndex(&key, &kind, doc, 4), int(Edr_Page_noSuchPage));
        Edr_Doc_release(doc);
    });
}

// Replacing a page posts nothing and frees the old record; the tag follows.
TEST_F(PageTest, ReplacingAPageSwapsTheRecordAndTag)
{
    run([&] {
        Edr_Doc *doc = newDoc();
        publish(doc, 1, 0, page(doc, 10, 10), 7);
        codes.clear();
        Edr_PageRec *fresh = page(doc, 20, 30);
        publish(doc, 1, 0, fresh, 8);
        EXPECT_EQ(codes, "");
        EXPECT_EQ(Edr_Page_getTag(doc, 1, 0), 8u);
        EXPECT_EQ(Edr_Page_getTag(doc, 2, 0), 0u);
        Edr_PageEntry *e = nullptr;
        ASSERT_EQ(Edr_Page_find(&e, doc, 1, 0, 0), 0);
        EXPECT_EQ(Edr_Page_deref(e), fresh);
        EXPECT_EQ(Edr_Page_first(e), e);
        EXPECT_EQ(Edr_Page_nextEntry(e), nullptr);
        Edr_Page_release(e, 0);
        float w = 0, h = 0;
        EXPECT_EQ(Edr_Page_getSizeFloat(doc, 1, 0, &w, &h), 0);
        EXPECT_EQ(w, 20.0f);
        EXPECT_EQ(h, 30.0f);
        EXPECT_EQ(Edr_Page_getSizeFloat(doc, 5, 0, &w, &h), int(Edr_Page_noSuchPage));
        EXPECT_EQ(w, 0.0f);
        EXPECT_EQ(h, 0.0f);
        Edr_Doc_release(doc);
    });
}

// keepTaller refuses an unset height or a shorter page (the refused record
// is freed: the fixture's leak check sees it) and takes a taller one.
TEST_F(PageTest, KeepTallerRefusesUnsetAndShorterRecords)
{
    run([&] {
        Edr_Doc *doc = newDoc();
        Edr_PageRec *current = page(doc, 10, 100);
        publish(doc, 0, 0, current);
        Edr_PageRec *unset = page(doc, 10, 100);
        unset->bounds[1] = int32_t(0x80000000u);
        publish(doc, 0, 0, unset, 0, 1);
        Edr_PageEntry *e = nullptr;
        ASSERT_EQ(Edr_Page_find(&e, doc, 0, 0, 0), 0);
        EXPECT_EQ(e->rec, current);
        Edr_Page_release(e, 0);
        publish(doc, 0, 0, page(doc, 10, 50), 0, 1);
        ASSERT_EQ(Edr_Page_find(&e, doc, 0, 0, 0), 0);
        EXPECT_EQ(e->rec, current);
        Edr_Page_release(e, 0);
        Edr_PageRec *taller = page(doc, 10, 200);
        publish(doc, 0, 0, taller, 0, 1);
        ASSERT_EQ(Edr_Page_find(&e, doc, 0, 0, 0), 0);
        EXPECT_EQ(e->rec, taller);
        Edr_Page_release(e, 0);
        Edr_Doc_release(doc);
    });
}

TEST_F(PageTest, RemovingPostsCode2AndAnAbsentPageChangesNothing)
{
    run([&] {
        Edr_Doc *doc = newDoc();
        publish(doc, 1, 0);
        publish(doc, 2, 0);
        codes.clear();
        EXPECT_EQ(Edr_Page_publishLayout(doc, 5, 0, 0, nullptr, 0, 0), 0);
        AppMsg_drain(ctx()->eventProc);
        EXPECT_EQ(codes, "");
        EXPECT_EQ(keys(doc), "(1,0)(2,0)");
        EXPECT_EQ(Edr_Page_publishLayout(doc, 1, 0, 0, nullptr, 0, 0), 0);
        AppMsg_drain(ctx()->eventProc);
        EXPECT_EQ(codes, "2 ");
        EXPECT_EQ(keys(doc), "(2,0)");
        Edr_Doc_release(doc);
    });
}

// While notices are held, new pages go into the list (and count) at once
// but the page-added notice waits for the last release, which posts one
// carrying the first position added; removals still post at once, and a
// hold that added nothing posts nothing.
TEST_F(PageTest, HeldNoticesArePostedOnceAtTheLastRelease)
{
    run([&] {
        Edr_Doc *doc = newDoc();
        publish(doc, 5, 0);
        codes.clear();
        ASSERT_EQ(Edr_Page_holdNotices(doc), 0);
        ASSERT_EQ(Edr_Page_holdNotices(doc), 0);
        for (int32_t key : {7, 2, 9, 6})
            publish(doc, key, 0);
        publish(doc, 5, 0); // replaced: no notice of its own
        EXPECT_EQ(Edr_Page_publishLayout(doc, 9, 0, 0, nullptr, 0, 0), 0);
        AppMsg_drain(ctx()->eventProc);
        EXPECT_EQ(codes, "2 ");
        EXPECT_EQ(keys(doc), "(2,0)(5,0)(6,0)(7,0)");
        ASSERT_EQ(Edr_Page_releaseNotices(doc), 0);
        AppMsg_drain(ctx()->eventProc);
        EXPECT_EQ(codes, "2 ");
        ASSERT_EQ(Edr_Page_releaseNotices(doc), 0);
        AppMsg_drain(ctx()->eventProc);
        EXPECT_EQ(codes, "2 1:0 ");
        codes.clear();
        ASSERT_EQ(Edr_Page_holdNotices(doc), 0);
        publish(doc, 6, 0);
        ASSERT_EQ(Edr_Page_releaseNotices(doc), 0);
        AppMsg_drain(ctx()->eventProc);
        EXPECT_EQ(codes, "");
        // Unheld again: every new page is announced as it comes.
        publish(doc, 8, 0);
        EXPECT_EQ(codes, "1:4 ");
        EXPECT_EQ(Edr_Page_releaseNotices(doc), 0); // nothing held
        EXPECT_EQ(Edr_Page_holdNotices(nullptr), int(Res_nullInput));
        Edr_Doc_release(doc);
    });
}

// A lookup holds both locks as its mode says and counts the access; a miss
// holds nothing.
TEST_F(PageTest, FindHoldsTheLocksAndAMissHoldsNone)
{
    run([&] {
        Edr_Doc *doc = newDoc();
        publish(doc, 1, 0);
        codes.clear();
        Edr_PageEntry *e = reinterpret_cast<Edr_PageEntry *>(1);
        EXPECT_EQ(Edr_Page_find(&e, doc, 1, 1, Edr_Page_treeWrite | Edr_Page_listWrite),
                  int(Edr_Page_noSuchPage));
        EXPECT_EQ(e, nullptr);
        ASSERT_EQ(Edr_Page_tryWriteLockList(doc), 0);
        Edr_Page_writeUnlockList(doc);
        ASSERT_EQ(Edr_Doc_writeLock(doc), 0);
        Edr_Doc_writeUnlock(doc);

        ASSERT_EQ(Edr_Page_find(&e, doc, 1, 0, 0), 0);
        EXPECT_EQ(Edr_Page_tryWriteLockList(doc), int(Res_readersPresent));
        Edr_PageEntry *again = nullptr;
        ASSERT_EQ(Edr_Page_findByIndex(&again, doc, 0, 0), 0);
        EXPECT_EQ(again, e);
        Edr_Page_release(again, 0);
        Edr_Page_release(e, 0);
        ASSERT_EQ(Edr_Page_tryWriteLockList(doc), 0);
        Edr_Page_writeUnlockList(doc);
        EXPECT_EQ(Edr_Page_findByIndex(&again, doc, 1, 0), int(Edr_Page_noSuchPage));

        ASSERT_EQ(Edr_Page_find(&e, doc, 1, 0, Edr_Page_treeWrite | Edr_Page_listWrite), 0);
        EXPECT_EQ(doc->treeLock.lock.owner, doc->pageList->lock.lock.owner);
        Edr_Page_release(e, Edr_Page_treeWrite | Edr_Page_listWrite);
        EXPECT_EQ(doc->treeLock.lock.owner, nullptr);
        EXPECT_EQ(doc->pageList->lock.lock.owner, nullptr);
        AppMsg_drain(ctx()->eventProc);
        EXPECT_EQ(codes, "21 22 21 22 ");
        Edr_Doc_release(doc);
    });
}

// Marked keys go with the next purge unless republished meanwhile.
TEST_F(PageTest, PurgingRemovesStaleEntriesThatWereNotRepublished)
{
    run([&] {
        Edr_Doc *doc = newDoc();
        publish(doc, 1, 0);
        publish(doc, 1, 1);
        publish(doc, 2, 0);
        codes.clear();
        ASSERT_EQ(Edr_Page_purgeStale(doc), 0);
        AppMsg_drain(ctx()->eventProc);
        EXPECT_EQ(codes, ""); // nothing stale
        ASSERT_EQ(Edr_Page_markKey(doc, 1), 0);
        publish(doc, 1, 1);
        ASSERT_EQ(Edr_Page_purgeStale(doc), 0);
        AppMsg_drain(ctx()->eventProc);
        EXPECT_EQ(codes, "2 ");
        EXPECT_EQ(keys(doc), "(1,1)(2,0)");
        Edr_Doc_release(doc);
    });
}

// Publishing in order, then before and after the page touched last, with
// removals and stale marks between: lookups by key and by index, counts
// and purges agree with the sorted list.
TEST_F(PageTest, LookupsStayRightAroundThePageTouchedLast)
{
    run([&] {
        Edr_Doc *doc = newDoc();
        for (int32_t key = 0; key < 6; key++)
            publish(doc, key, 0);
        publish(doc, 2, 1); // before the last one
        publish(doc, 9, 0); // after it
        EXPECT_EQ(keys(doc), "(0,0)(1,0)(2,0)(2,1)(3,0)(4,0)(5,0)(9,0)");
        uint32_t index = 0;
        ASSERT_EQ(Edr_Page_indexOf(&index, doc, 2, 1), 0);
        EXPECT_EQ(index, 3u);
        EXPECT_EQ(Edr_Page_indexOfKey(doc, 3), 4u);
        EXPECT_EQ(Edr_Page_indexOfKey(doc, 1), 1u);
        EXPECT_EQ(Edr_Page_publishLayout(doc, 3, 0, 0, nullptr, 0, 0), 0); // removed
        AppMsg_drain(ctx()->eventProc);
        publish(doc, 4, 0); // replaced
        EXPECT_EQ(Edr_Page_indexOfKey(doc, 4), 4u);
        int32_t key = 0;
        uint32_t kind = 0;
        ASSERT_EQ(Edr_Page_getKeyByIndex(&key, &kind, doc, 5), 0);
        EXPECT_EQ(key, 5);
        ASSERT_EQ(Edr_Page_getKeyByIndex(&key, &kind, doc, 1), 0);
        EXPECT_EQ(key, 1);
        // Key 2's two pages go stale; one comes back, the other is purged.
        ASSERT_EQ(Edr_Page_markKey(doc, 2), 0);
        publish(doc, 2, 1);
        ASSERT_EQ(Edr_Page_purgeStale(doc), 0);
        AppMsg_drain(ctx()->eventProc);
        EXPECT_EQ(keys(doc), "(0,0)(1,0)(2,1)(4,0)(5,0)(9,0)");
        publish(doc, 7, 0);
        ASSERT_EQ(Edr_Page_indexOf(&index, doc, 7, 0), 0);
        EXPECT_EQ(index, 5u);
        ASSERT_EQ(Edr_Page_indexOf(&index, doc, 0, 0), 0);
        EXPECT_EQ(index, 0u);
        Edr_Doc_release(doc);
    });
}

// Thumbnail bounds are the page size in 1/8 units; a side below one unit
// gives none.
TEST_F(PageTest, ThumbnailBoundsAreEighthsOfThePage)
{
    run([&] {
        Edr_Doc *doc = newDoc();
        Edr_PageRec *r = page(doc, 50, 100);
        int32_t out[4];
        EXPECT_TRUE(Edr_Page_getBounds(ctx(), r, out));
        EXPECT_EQ(out[0], 0);
        EXPECT_EQ(out[1], 0);
        EXPECT_EQ(out[2], 400);
        EXPECT_EQ(out[3], 800);
        r->bounds[2] = 0x1000; // 1/16 unit wide
        EXPECT_FALSE(Edr_Page_getBounds(ctx(), r, out));
        r->bounds[2] = 0x2000; // exactly one eighth
        EXPECT_TRUE(Edr_Page_getBounds(ctx(), r, out));
        EXPECT_EQ(out[2], 1);
        EXPECT_EQ(Edr_Page_freeRecords(r), 0);
        Edr_Doc_release(doc);
    });
}

TEST(PageFit, SidesFitTheLimits)
{
    struct Case {
        int32_t w, h, minimum, maximum, fw, fh;
    };
    const Case cases[] = {
        {400, 800, 0, 0, 400, 800},                           // no limits
        {400, 800, 0, 100, 50, 100},                          // longer side down to the maximum
        {800, 400, 0, 100, 100, 50}, {10, 40, 20, 0, 20, 80}, // shorter side up to the minimum
        {40, 10, 20, 0, 80, 20},     {400, 800, 20, 100, 50, 100},
        {5, 1000, 20, 100, 20, 100}, // scaled up, down, then raised
        {0, 10, 20, 100, 0, 10},     // an empty side stays
        {30, 30, 20, 100, 30, 30},   // within the limits
    };
    for (const Case &c : cases) {
        int32_t w = c.w, h = c.h;
        Edr_Page_fitThumb(&w, &h, c.minimum, c.maximum);
        EXPECT_EQ(w, c.fw) << c.w << "x" << c.h;
        EXPECT_EQ(h, c.fh) << c.w << "x" << c.h;
    }
}

// The thumbnail moves to the new record when its size still fits, is
// resampled into the new size over the old page colour when the size
// changed, and stays with the old record when the publisher
// says so.
TEST_F(PageTest, TheThumbnailMovesToTheNewRecordOfTheSameSize)
{
    auto withThumb = [](Edr_PageRec *r, int32_t w, int32_t h) {
        EXPECT_EQ(PixelBuf_create(&r->thumb, w, h, Pixel_format565, 8), 0);
        PixelBuf_fillRect(r->thumb, 0, 0, w, h, 0x1234);
        return r;
    };
    run([&] {
        Edr_Doc *doc = newDoc();
        publish(doc, 0, 0, withThumb(page(doc, 10, 20), 80, 160));
        PixelBuf *thumb = nullptr;
        {
            Edr_PageEntry *e = nullptr;
            ASSERT_EQ(Edr_Page_find(&e, doc, 0, 0, 0), 0);
            thumb = e->rec->thumb;
            Edr_Page_release(e, 0);
        }
        Edr_PageRec *same = page(doc, 10, 20);
        publish(doc, 0, 0, same);
        EXPECT_EQ(same->thumb, thumb);
        Edr_PageRec *keep = page(doc, 10, 20);
        publish(doc, 0, 0, keep, 0, 0, 1);
        EXPECT_EQ(keep->thumb, nullptr); // freed with the old record
        Edr_PageRec *old = withThumb(page(doc, 10, 20), 80, 160);
        old->background[0] = 0xFF; // red, opaque
        old->background[3] = 0xFF;
        publish(doc, 0, 0, old);
        Edr_PageRec *bigger = page(doc, 20, 10);
        publish(doc, 0, 0, bigger);
        ASSERT_NE(bigger->thumb, nullptr);
        EXPECT_EQ(bigger->thumb->width, 160);
        EXPECT_EQ(bigger->thumb->height, 80);
        auto px = [&](int x, int y) {
            return reinterpret_cast<const uint16_t *>(bigger->thumb->pixels +
                                                      size_t(y) * bigger->thumb->stride)[x];
        };
        // Resampled to 40 x 80, its proportions kept, over the old page
        // colour.
        EXPECT_EQ(px(0, 0), 0x1234);
        EXPECT_EQ(px(39, 79), 0x1234);
        EXPECT_EQ(px(40, 0), 0xF800);
        EXPECT_EQ(px(159, 79), 0xF800);
        Edr_Doc_release(doc);
    });
}

// Everything a record owns goes with it; holders free their chain with the
// last reference.
TEST_F(PageTest, RecordsFreeWhatTheyOwnAndHoldersFreeWithTheLastReference)
{
    run([&] {
        Edr_Doc *doc = newDoc();
        static constexpr ObjClass cls{nullptr, 16, nullptr, Obj_itemPlain};
        auto objects = [](int n) {
            ObjHeader *chain = nullptr;
            for (int i = 0; i < n; i++) {
                ObjHeader *o = Obj_create(&cls, 0);
                o->matrix = static_cast<Matrix *>(Mem_calloc(1, sizeof(Matrix)));
                Obj_setNext(o, chain);
                chain = o;
            }
            return chain;
        };
        Edr_PageRec *a = page(doc, 1, 1);
        a->block = Mem_malloc(32);
        Path *clipPath = nullptr;
        ASSERT_EQ(Path_create(&clipPath, 0x10000), 0);
        a->layout = static_cast<ClipEntry *>(Mem_calloc(1, sizeof(ClipEntry)));
        a->layout->path = clipPath;
        a->layout->matrix = static_cast<Matrix *>(Mem_calloc(1, sizeof(Matrix)));
        a->objects = objects(3);
        a->overlays = objects(2);
        ASSERT_EQ(Edr_Page_setAltRect(a, nullptr), 0);
        ASSERT_EQ(Edr_Page_setAltRect(a, nullptr), 0); // replaces the first
        EXPECT_TRUE(Edr_Page_hasAltRect(a));
        EXPECT_NE(Edr_Page_rectOrDefault(a), a->bounds);
        Edr_PageRec *b = page(doc, 1, 1);
        b->buildState = Edr_PageBuild_embedded;
        b->matrix = static_cast<Matrix *>(Mem_calloc(1, sizeof(Matrix)));
        b->overlays = objects(1);
        EXPECT_EQ(Edr_Page_rectOrDefault(b), b->bounds);
        a->nextRec = b;
        Edr_PageRecRef *ref = nullptr;
        ASSERT_EQ(Edr_PageRecRef_create(ctx(), a, &ref), 0);
        Edr_PageRecRef_addRef(ref);
        Edr_PageRecRef_release(ref);
        EXPECT_EQ(ref->refs, 1u);
        Edr_PageRecRef_release(ref);
        Edr_PageRecRef_release(nullptr);
        Edr_Doc_release(doc);
    });
}

// The window follows the current page: pages leaving it are unloaded,
// pages entering it loaded.
TEST_F(PageTest, TheWindowLoadsAndUnloadsPagesAroundTheCurrentOne)
{
    run([&] {
        Edr_Doc *doc = newDoc();
        for (int32_t k = 0; k < 10; k++)
            publish(doc, k, 0);
        setHook(doc);
        view(doc)->thumbMax = 3;
        struct Step {
            int32_t current;
            int32_t first, last;
            const char *hooks;
        };
        const Step steps[] = {
            {0, 0, 2, "L0 L1 L2 "},
            {5, 4, 6, "U0 U1 U2 L4 L5 L6 "},
            {6, 5, 7, "U4 L7 "},
            {9, 7, 9, "U5 U6 L8 L9 "},
        };
        for (const Step &s : steps) {
            hooks.clear();
            ASSERT_EQ(Edr_Page_updateWindow(doc, s.current), 0);
            EXPECT_EQ(view(doc)->windowFirst, s.first) << s.current;
            EXPECT_EQ(view(doc)->windowLast, s.last) << s.current;
            EXPECT_EQ(hooks, s.hooks) << s.current;
        }
        // Without a window width every page of the old window goes.
        view(doc)->thumbMax = 0;
        hooks.clear();
        ASSERT_EQ(Edr_Page_updateWindow(doc, 3), 0);
        EXPECT_EQ(hooks, "U7 U8 U9 ");
        EXPECT_EQ(view(doc)->windowFirst, -1);
        // A document without the start flag keeps its window.
        view(doc)->thumbMax = 3;
        ASSERT_EQ(Edr_Doc_clearStartFlag(doc), 0);
        hooks.clear();
        ASSERT_EQ(Edr_Page_updateWindow(doc, 3), 0);
        EXPECT_EQ(hooks, "");
        Edr_Doc_release(doc);
    });
}

TEST_F(PageTest, AWindowOfFiveAroundPageZeroOfThreePagesIsAllOfThem)
{
    run([&] {
        Edr_Doc *doc = newDoc();
        for (int32_t k = 0; k < 3; k++)
            publish(doc, k, 0);
        setHook(doc);
        view(doc)->thumbMax = 5;
        ASSERT_EQ(Edr_Page_updateWindow(doc, 0), 0);
        EXPECT_EQ(view(doc)->windowFirst, 0);
        EXPECT_EQ(view(doc)->windowLast, 2);
        EXPECT_EQ(hooks, "L0 L1 L2 ");
        Edr_Doc_release(doc);
    });
}

// Page on demand keeps the current page alone.
TEST_F(PageTest, PageOnDemandKeepsOnlyTheCurrentPage)
{
    run([&] {
        Edr_Doc *doc = newDoc();
        for (int32_t k = 0; k < 6; k++)
            publish(doc, k, 0);
        setHook(doc);
        doc->pageOnDemand = 1;
        ASSERT_EQ(Edr_Doc_orFeatureFlags(doc, Edr_featurePageOnDemand), 0);
        ASSERT_EQ(Edr_Page_updateWindow(doc, 4), 0);
        ASSERT_EQ(Edr_Page_updateWindow(doc, 5), 0);
        EXPECT_EQ(hooks, "L4 U4 L5 ");
        Edr_Doc_release(doc);
    });
}

// A page request reaches the hook for a top document always; for a
// sub-document of an unmarked parent only inside the window.
TEST_F(PageTest, PageRequestsOfASubDocumentStayInsideTheWindow)
{
    run([&] {
        Edr_Doc *parent = newDoc(false);
        Edr_Doc *child = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &child, nullptr), 0);
        const int32_t placement[6] = {0x10000, 0, 0, 0, 0, 0};
        ASSERT_EQ(Edr_Node_createSubdoc(parent, parent->root, Edr_Insert_lastChild, nullptr, child,
                                        placement, 0, 0),
                  0);
        for (int32_t k = 0; k < 5; k++)
            publish(child, k, 0);
        setHook(child);
        setHook(parent);
        publish(parent, 0, 0);
        view(parent)->thumbMax = 1;
        EXPECT_EQ(Edr_Page_requestByKey(parent, 0, 0, 7), 0);
        EXPECT_EQ(hooks, "R0 ");
        view(child)->thumbMax = 2;
        view(child)->windowFirst = 1;
        view(child)->windowLast = 2;
        hooks.clear();
        EXPECT_EQ(Edr_Page_requestByKey(child, 4, 0, 7), 0);
        EXPECT_EQ(Edr_Page_requestByKey(child, 2, 0, 7), 0);
        EXPECT_EQ(Edr_Page_requestByKey(child, 9, 0, 7), 0);
        EXPECT_EQ(hooks, "R2 ");
        view(child)->thumbMax = 0;
        EXPECT_EQ(Edr_Page_requestByKey(child, 4, 0, 7), 0);
        EXPECT_EQ(hooks, "R2 R4 ");
        Edr_Doc_release(child);
        Edr_Doc_release(parent);
    });
}

} // namespace
