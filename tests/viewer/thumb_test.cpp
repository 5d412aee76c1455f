// The thumbnail queue (merging, busy entries, removal and the empty-queue
// message), the viewer's callback record, and the thumbnail pass: marking
// through views, pictures drawn through the 12288-byte band memory and
// stored with scale word 8, the kinds, pages whose size changed, closed
// and failed documents, and the stop.
#include <string>
#include <vector>

#include "core/result.h"
#include "core/task/lock.h"
#include "core/task/task.h"
#include "graphics/piecedraw.h"
#include "viewer/thumbqueue.h"
#include "viewer/thumbrender.h"
#include "platform/api/app.h"
#include "viewer/screen/ident.h"
#include "tests/graphics/render_support.h"
#include "viewer/viewer.h"

namespace {

// Thumbnail page units: 1/8192 pixel (the pass maps a page of w x 8192
// units onto a picture w pixels wide).
constexpr int32_t T(int32_t px)
{
    return px * 8192;
}

constexpr uint32_t kPage = rgba(0xF0, 0xF0, 0xE0), kInk = rgba(0x10, 0x30, 0xC0);

// An item that notes the draw flags it was last drawn with.
struct FlagsPart {
    int draws;
    uint32_t flags;
};

int flagsDraw(EngineContext *, ObjHeader *item, const Rect *, const Matrix *, const DrawTarget *,
              const DrawFlags *flags, intptr_t)
{
    FlagsPart *part = static_cast<FlagsPart *>(Obj_part(item));
    part->draws++;
    part->flags = flags ? flags->flags : 0;
    return 0;
}

const ObjItemOps flagsOps = {flagsDraw, nullptr, nullptr, 0};
const ObjClass flagsClass = {&flagsOps, int32_t(sizeof(FlagsPart)), nullptr, Obj_itemPlain};

class ThumbTest : public RenderFixture {
  protected:
    void SetUp() override
    {
        RenderFixture::SetUp();
        band.resize(Dispman_thumbBandDefault);
        dm.context = ctx();
        Lock_init(ctx(), &dm.thumbLock);
        Lock_init(ctx(), &dm.viewLock);
        dm.thumbLockOnClear = 1;
        dm.thumbBandMemory = band.data();
        dm.thumbBandSize = Dispman_thumbBandDefault;
        ctx()->dispman = &dm;
        run([this] {
            EXPECT_EQ(EventProc_addListener(ctx(), ctx()->eventProc, 1, onCode, this), 0);
            EXPECT_EQ(EventProc_addListener(ctx(), ctx()->eventProc, 9, onPage, this), 0);
        });
    }
    void TearDown() override
    {
        run([this] {
            ThumbQueue_clear(&dm);
            EXPECT_EQ(EventProc_removeListener(ctx()->eventProc, 1, onCode, this), 0);
            EXPECT_EQ(EventProc_removeListener(ctx()->eventProc, 9, onPage, this), 0);
            flushListeners();
        });
        ctx()->dispman = nullptr;
        RenderFixture::TearDown();
    }
    static void onCode(EngineContext *, EventProcMsg *msg, void *self, int *)
    {
        const EventProcCodeMsg *m = static_cast<const EventProcCodeMsg *>(msg->payload);
        if (m->code == ThumbQueue_emptyCode)
            static_cast<ThumbTest *>(self)->log += "empty ";
    }
    static void onPage(EngineContext *, EventProcMsg *msg, void *self, int *)
    {
        const EventProcKind9Msg *m = static_cast<const EventProcKind9Msg *>(msg->payload);
        static_cast<ThumbTest *>(self)->log +=
            "page" + std::to_string(m->pageKey) + "," + std::to_string(m->pageKind) + " ";
    }
    std::string delivered()
    {
        AppMsg_drain(ctx()->eventProc);
        std::string s = log;
        log.clear();
        return s;
    }
    size_t queued()
    {
        size_t n = 0;
        for (ThumbEntry *e = dm.thumbList; e; e = e->next)
            n++;
        return n;
    }
    // Queues page (key, kind) of doc with a view reference of its own.
    int queue(uint32_t kind, Edr_Doc *doc, int32_t key, uint32_t pageKind = 0)
    {
        Edr_Doc_addView(doc);
        return ThumbQueue_add(&dm, kind, doc, key, pageKind);
    }
    // Publishes page (key, 0) of doc: w x h thumbnail pixels with a framed
    // box and a stripe.
    Edr_PageRec *publish(Edr_Doc *doc, int32_t key, int32_t w = 120, int32_t h = 160)
    {
        Rect r{0, T(-h), T(w), 0};
        Edr_PageRec *p = piece(doc, r, kPage);
        ObjHeader *framed = box(Rect{T(10), T(-60), T(70), T(-10)}, rgba(0xFF, 0xE0, 0x80));
        allBorders(framed, BorderStyle_solid, kInk, T(3));
        p->objects = chain(
            {box(r, kPage), framed,
             pathItem(polygon({T(5), T(-h + 5), T(w - 5), T(-h + 40), T(5), T(-h + 40)}), kInk)});
        EXPECT_EQ(Edr_Page_publishLayout(doc, key, 0, 0, p, 0, 0), 0);
        return p;
    }
    static Edr_PageRec *find(Edr_Doc *doc, int32_t key)
    {
        Edr_PageEntry *e = nullptr;
        if (Edr_Page_find(&e, doc, key, 0, 0))
            return nullptr;
        Edr_PageRec *r = Edr_Page_deref(e);
        Edr_Page_release(e, 0);
        return r;
    }

    DispmanCtx dm{};
    std::vector<uint8_t> band;
    std::string log;
};

// ------------------------------------------------------------------ queue

TEST_F(ThumbTest, TheQueueMergesRequestsForAPageThatIsNotBusy)
{
    run([&] {
        Edr_Doc *doc = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
        EXPECT_EQ(queue(0, doc, 3), 0);
        EXPECT_EQ(queue(2, doc, 3), int(ThumbQueue_merged))
            << "merged: the caller's reference dropped";
        EXPECT_EQ(queued(), 1u);
        EXPECT_EQ(dm.thumbList->kind, 2u);
        EXPECT_EQ(queue(1, doc, 3), 0) << "merged into a kind-1 request";
        EXPECT_EQ(queue(0, doc, 3, 1), 0) << "another page kind";
        EXPECT_EQ(queued(), 2u);
        dm.thumbList->busy = 1;
        EXPECT_EQ(queue(0, doc, 3), 0) << "a busy entry is not matched";
        EXPECT_EQ(queued(), 3u);
        EXPECT_EQ(dm.thumbList->next->next->previous, dm.thumbList->next);

        // Out of memory: the list and the caller's reference stay.
        Edr_Doc_addView(doc);
        Mem_failAfter(1);
        EXPECT_EQ(ThumbQueue_add(&dm, 0, doc, 9, 0), int(Res_noMemory));
        Mem_failAfter(0);
        Edr_Doc_releaseView(doc);
        EXPECT_EQ(queued(), 3u);
        EXPECT_EQ(delivered(), "");

        // Removing steps the cursor back; the last removal posts code 8.
        ThumbEntry *cursor = nullptr;
        ThumbQueue_next(&dm, &cursor);
        ThumbQueue_next(&dm, &cursor);
        ThumbEntry *third = cursor->next;
        ThumbQueue_remove(&dm, &cursor);
        EXPECT_EQ(cursor, dm.thumbList);
        EXPECT_EQ(cursor->next, third);
        EXPECT_EQ(third->previous, cursor);
        ThumbQueue_remove(&dm, &cursor);
        EXPECT_EQ(cursor, nullptr);
        EXPECT_EQ(dm.thumbList, third);
        EXPECT_EQ(delivered(), "");
        cursor = third;
        ThumbQueue_remove(&dm, &cursor);
        EXPECT_EQ(cursor, nullptr);
        EXPECT_EQ(dm.thumbList, nullptr);
        EXPECT_EQ(ThumbQueue_next(&dm, &cursor), nullptr);
        EXPECT_EQ(delivered(), "empty ");
        // Clearing an empty list posts it too.
        ThumbQueue_clear(&dm);
        EXPECT_EQ(delivered(), "empty ");
        Edr_Doc_release(doc);
    });
}

TEST_F(ThumbTest, TheCallbackRecordHoldsTheModeAndIdentityOperations)
{
    run([&] {
        FvViewer viewer{};
        EXPECT_EQ(FvViewer_installIdentOps(nullptr), 0);
        EXPECT_EQ(FvViewer_installIdentOps(&viewer), 0) << "no callback record yet";
        EXPECT_EQ(FvViewer_createCallbacks(nullptr), int(Res_nullInput));
        ASSERT_EQ(FvViewer_createCallbacks(&viewer), 0);
        ASSERT_NE(viewer.viewCallbacks, nullptr);
        EXPECT_EQ(viewer.viewCallbacks->ops, nullptr);
        ASSERT_NE(viewer.viewCallbacks->modeOps, nullptr);
        ASSERT_NE(viewer.viewCallbacks->identOps, nullptr);
        EXPECT_EQ(viewer.viewCallbacks->identOps->stop, Ident_stop);
        EXPECT_EQ(viewer.viewCallbacks->identOps->running, Ident_isRunning);
        Mem_failAfter(1);
        EXPECT_EQ(FvViewer_installIdentOps(&viewer), 0);
        Mem_failAfter(0);
        EXPECT_EQ(viewer.viewCallbacks->identOps, nullptr);
        EXPECT_EQ(FvViewer_installIdentOps(&viewer), 1);
        ASSERT_EQ(FvViewer_createCallbacks(&viewer), 0) << "a second record replaces the first";
        FvViewer_freeCallbacks(&viewer);
        EXPECT_EQ(viewer.viewCallbacks, nullptr);
        FvViewer_freeCallbacks(&viewer);
        Mem_failAfter(1);
        EXPECT_EQ(FvViewer_createCallbacks(&viewer), int(Res_noMemory));
        Mem_failAfter(0);
        EXPECT_EQ(viewer.viewCallbacks, nullptr);
    });
}

// ------------------------------------------------------------------- pass

// A marked request renders the page through the thumbnail band memory
// into a format-4 picture with scale word 8, equal to the page drawn in
// one piece, stores it and posts the page update.
TEST_F(ThumbTest, APassStoresTheDrawnPictureAndTellsTheApplication)
{
    run([&] {
        Edr_Doc *doc = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
        publish(doc, 0);
        dm.markAllDoc = doc;
        DispmanView view{};
        dm.views = &view; // a view of another document marks nothing itself
        ASSERT_EQ(queue(0, doc, 0), 0);
        ASSERT_EQ(Dispman_thumbnailPass(ctx()), 0);
        Edr_PageRec *page = find(doc, 0);
        ASSERT_NE(page, nullptr);
        PixelBuf *pic = page->thumb;
        ASSERT_NE(pic, nullptr);
        EXPECT_EQ(pic->width, 120);
        EXPECT_EQ(pic->height, 160);
        EXPECT_EQ(pic->format, uint32_t(Pixel_format565));
        EXPECT_EQ(pic->scale, int32_t(Thumb_pictureScale));
        EXPECT_EQ(queued(), 0u);
        EXPECT_EQ(delivered(), "page0,0 empty ");

        Bitmap *reference = picture(120, 160, 0, Pixel_format565, Thumb_pictureScale);
        Matrix m{0x10000, 0, 0, 0x10000, 0, 160 * 65536 / 8};
        DrawTarget t{reference, nullptr, 0, 0};
        DrawFlags flags{};
        ASSERT_EQ(PieceChain_draw(ctx(), page, &m, &t, &flags), 0);
        Bitmap *stored = nullptr;
        ASSERT_EQ(Bitmap_createLike(ctx(), &stored, pic), 0);
        bitmaps.push_back(stored);
        EXPECT_TRUE(pixels(stored) == pixels(reference));
        EXPECT_EQ(at(stored, 20, 20), to565(rgba(0xFF, 0xE0, 0x80)));
        EXPECT_EQ(at(stored, 20, 140), to565(kInk));
        dm.views = nullptr;
        Edr_Doc_release(doc);
    });
}

// A thumbnail is a still picture of its page: items are drawn off screen,
// without highlights, and told to show an animation's first frame.
TEST_F(ThumbTest, APassDrawsItemsAsAStill)
{
    run([&] {
        Edr_Doc *doc = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
        Rect r{0, T(-160), T(120), 0};
        Edr_PageRec *p = piece(doc, r, kPage);
        ObjHeader *probe = Obj_create(&flagsClass, 0);
        ASSERT_NE(probe, nullptr);
        Rect inner{T(10), T(-60), T(70), T(-10)};
        Obj_setBox(probe, &inner);
        p->objects = chain({box(r, kPage), probe});
        ASSERT_EQ(Edr_Page_publishLayout(doc, 0, 0, 0, p, 0, 0), 0);
        dm.markAllDoc = doc;
        DispmanView view{};
        dm.views = &view;
        ASSERT_EQ(queue(0, doc, 0), 0);
        ASSERT_EQ(Dispman_thumbnailPass(ctx()), 0);
        const FlagsPart *part = static_cast<const FlagsPart *>(Obj_part(probe));
        EXPECT_GT(part->draws, 0);
        EXPECT_EQ(part->flags & (DrawFlags_offscreen | DrawFlags_noHighlights | DrawFlags_still),
                  uint32_t(DrawFlags_offscreen | DrawFlags_noHighlights | DrawFlags_still));
        EXPECT_EQ(delivered(), "page0,0 empty ");
        dm.views = nullptr;
        Edr_Doc_release(doc);
    });
}

// Unmarked entries stay; a kind-1 entry ends the pass; a kind-2 entry
// frees the stored picture; a closed document's entry goes.
TEST_F(ThumbTest, KindsDecideWhatAnEntryDoesAndHowThePassEnds)
{
    run([&] {
        Edr_Doc *doc = nullptr, *other = nullptr, *gone = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
        ASSERT_EQ(Edr_Doc_create(ctx(), &other, nullptr), 0);
        ASSERT_EQ(Edr_Doc_create(ctx(), &gone, nullptr), 0);
        publish(doc, 0, 30, 40);
        publish(doc, 1, 30, 40);
        publish(other, 0, 30, 40);
        DispmanView view{};
        dm.views = &view;
        dm.markAllDoc = doc;
        ASSERT_EQ(queue(0, other, 0), 0);
        ASSERT_EQ(queue(ThumbKind_renderLast, doc, 0), 0);
        ASSERT_EQ(queue(0, doc, 1), 0);
        ASSERT_EQ(queue(0, gone, 0), 0);
        Edr_Doc_release(gone); // closed: its entry is dropped when met
        ASSERT_EQ(Dispman_thumbnailPass(ctx()), 0);
        EXPECT_NE(find(doc, 0)->thumb, nullptr);
        EXPECT_EQ(find(doc, 1)->thumb, nullptr) << "the pass ended after the kind-1 entry";
        EXPECT_EQ(find(other, 0)->thumb, nullptr);
        ASSERT_EQ(queued(), 3u);
        EXPECT_EQ(dm.thumbList->document, other) << "unmarked, left queued";
        EXPECT_EQ(dm.thumbList->marked, 0u);
        EXPECT_EQ(delivered(), "page0,0 ");

        ASSERT_EQ(Dispman_thumbnailPass(ctx()), 0);
        EXPECT_NE(find(doc, 1)->thumb, nullptr);
        ASSERT_EQ(queued(), 1u) << "the closed document's entry went";
        EXPECT_EQ(delivered(), "page1,0 ");

        ASSERT_EQ(queue(ThumbKind_discard, doc, 0), 0);
        ASSERT_EQ(Dispman_thumbnailPass(ctx()), 0);
        EXPECT_EQ(find(doc, 0)->thumb, nullptr);
        EXPECT_NE(find(doc, 1)->thumb, nullptr);
        EXPECT_EQ(delivered(), "");
        dm.views = nullptr;
        Edr_Doc_release(doc);
        Edr_Doc_release(other);
    });
}

// Entries are marked when the view's backdrop page embeds their page; the
// backdrop document's own entries are dropped, and so are those of the
// failed document.
TEST_F(ThumbTest, ViewsMarkTheEntriesTheyShow)
{
    run([&] {
        Edr_Doc *doc = nullptr, *backdrop = nullptr, *failed = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
        ASSERT_EQ(Edr_Doc_create(ctx(), &backdrop, nullptr), 0);
        ASSERT_EQ(Edr_Doc_create(ctx(), &failed, nullptr), 0);
        publish(doc, 0, 30, 40);
        publish(doc, 1, 30, 40);
        // The backdrop page shows page (1, 0) of doc.
        Edr_PageRec *b = piece(backdrop, Rect{0, T(-100), T(100), 0}, kPage);
        Edr_PageRec *shown =
            piece(backdrop, Rect{T(10), T(-50), T(40), T(-10)}, 0, Edr_PageBuild_embedded);
        Edr_Node *node = nullptr;
        ASSERT_EQ(Edr_Node_allocate(&node, Edr_NodeType_blob, sizeof(EmbeddedPageRef)), 0);
        *static_cast<EmbeddedPageRef *>(Edr_Node_payload(node)) =
            EmbeddedPageRef{doc, *Matrix_identity(), 1, 0};
        ObjHeader *owner = pathItem(nullptr, 0);
        owner->node = node;
        shown->objects = owner;
        b->nextRec = shown;
        ASSERT_EQ(Edr_Page_publishLayout(backdrop, 0, 0, 0, b, 0, 0), 0);
        DispmanView view{};
        view.backdropDoc = backdrop;
        dm.views = &view;
        dm.failedDoc = failed;

        ASSERT_EQ(queue(0, doc, 0), 0);
        ASSERT_EQ(queue(0, doc, 1), 0);
        ASSERT_EQ(queue(0, backdrop, 0), 0);
        ASSERT_EQ(queue(0, failed, 0), 0);
        {
            ThumbEntry probe{0, doc, 1, 0, 0, 0, nullptr, nullptr};
            EXPECT_EQ(ThumbRender_isEmbedded(b, &probe), 1);
            probe.pageKey = 0;
            EXPECT_EQ(ThumbRender_isEmbedded(b, &probe), 0);
        }
        ASSERT_EQ(Dispman_thumbnailPass(ctx()), 0);
        EXPECT_EQ(find(doc, 0)->thumb, nullptr);
        EXPECT_NE(find(doc, 1)->thumb, nullptr);
        ASSERT_EQ(queued(), 1u);
        EXPECT_EQ(dm.thumbList->pageKey, 0);
        EXPECT_EQ(dm.thumbList->document, doc);
        dm.views = nullptr;
        dm.failedDoc = nullptr;
        Obj_destroy(owner);
        Mem_free(node);
        for (Edr_Doc *d : {doc, backdrop, failed})
            Edr_Doc_release(d);
    });
}

// A picture whose page changed size while it was drawn is cut or
// extended to the new size, keeping its top rows.
struct Resize {
    Edr_PageRec *page;
    int32_t width, height;
};

int resizeDraw(EngineContext *, ObjHeader *item, const Rect *, const Matrix *, const DrawTarget *,
               const DrawFlags *, intptr_t)
{
    Resize *r = *static_cast<Resize **>(Obj_part(item));
    r->page->bounds[1] = T(-r->height);
    r->page->bounds[2] = T(r->width);
    return 0;
}
const ObjItemOps resizeOps = {resizeDraw, nullptr, nullptr};
const ObjClass resizeClass = {&resizeOps, int32_t(sizeof(Resize *)), nullptr, Obj_itemPlain};

TEST_F(ThumbTest, APageThatChangedSizeGetsItsPictureCutOrExtended)
{
    run([&] {
        Edr_Doc *doc = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
        Edr_PageRec *page = publish(doc, 0, 30, 40);
        Resize resize{page, 50, 20};
        ObjHeader *item = Obj_create(&resizeClass, 0);
        *static_cast<Resize **>(Obj_part(item)) = &resize;
        const Rect everywhere{0, T(-40), T(30), 0};
        Obj_setBox(item, &everywhere);
        Obj_setNext(Obj_next(Obj_next(page->objects)), item);
        dm.markAllDoc = doc;
        DispmanView view{};
        dm.views = &view;
        ASSERT_EQ(queue(0, doc, 0), 0);
        ASSERT_EQ(Dispman_thumbnailPass(ctx()), 0);
        PixelBuf *pic = page->thumb;
        ASSERT_NE(pic, nullptr);
        EXPECT_EQ(pic->width, 50);
        EXPECT_EQ(pic->height, 20);
        auto px = [&](int x, int row) {
            return reinterpret_cast<const uint16_t *>(pic->pixels + size_t(row) * pic->stride)[x];
        };
        EXPECT_EQ(px(20, 15), to565(rgba(0xFF, 0xE0, 0x80))) << "the top rows stay";
        EXPECT_EQ(px(40, 5), to565(kPage)) << "new columns in the page colour";
        dm.views = nullptr;
        Edr_Doc_release(doc);
    });
}

// Out of memory ends the pass: every entry is freed and the document is
// remembered as failed. A stop request also empties the queue.
TEST_F(ThumbTest, OutOfMemoryAndStopsEndThePassAndEmptyTheQueue)
{
    run([&] {
        Edr_Doc *doc = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
        publish(doc, 0, 30, 40);
        publish(doc, 1, 30, 40);
        dm.markAllDoc = doc;
        DispmanView view{};
        dm.views = &view;
        int result = Res_noMemory;
        for (uint64_t n = 1; n < 200 && result == Res_noMemory; n++) {
            ASSERT_EQ(queue(0, doc, 0), 0);
            ASSERT_EQ(queue(0, doc, 1), 0);
            dm.failedDoc = nullptr;
            Mem_failAfter(n);
            result = Dispman_thumbnailPass(ctx());
            Mem_failAfter(0);
            if (result == Res_noMemory) {
                EXPECT_EQ(queued(), 0u) << n;
                EXPECT_EQ(dm.failedDoc, doc) << n;
            } else {
                EXPECT_EQ(result, 0) << n;
                ThumbQueue_clear(&dm);
            }
        }
        EXPECT_EQ(result, 0);
        (void)delivered();

        ASSERT_EQ(queue(0, doc, 0), 0);
        ASSERT_EQ(queue(0, doc, 1), 0);
        ASSERT_EQ(Task_requestStop(Task_current(ctx())), 0);
        EXPECT_EQ(Dispman_thumbnailPass(ctx()), int(Res_stopRequested));
        EXPECT_EQ(queued(), 0u);
        EXPECT_EQ(delivered(), "empty ");
        dm.views = nullptr;
        Edr_Doc_release(doc);
    });
}

} // namespace
