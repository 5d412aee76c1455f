// Display-item list drawing: which items the walks call, when they poll
// for a stop and what ends them; the item clip's geometry; page-unit
// rectangles; band heights; thumbnail sizes and rendering; the bitmap
// access wrappers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/container/obj.h"
#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/task.h"
#include "document/edr/page.h"
#include "graphics/bitmap.h"
#include "graphics/drawitem.h"
#include "graphics/path.h"
#include "tests/document/edr_fixture.h"
#include "viewer/dispman.h"
#include "graphics/itemwalk.h"
#include "viewer/itemlist.h"
#include "graphics/pixelbuf.h"

namespace {

// The walk's log: which items were drawn or measured, and what each one
// answers.
struct WalkLog {
    std::string calls;
    int answer[8] = {};
    uint32_t amount[8] = {};
    int stopAt = -1; // the item that asks its task to stop
};

WalkLog *theLog = nullptr;

int indexOf(ObjHeader *item)
{
    return int(item->spare[0]);
}

int drawItem(EngineContext *, ObjHeader *item, const Rect *, const Matrix *, const DrawTarget *,
             const DrawFlags *, intptr_t extra)
{
    int i = indexOf(item);
    theLog->calls += "d" + std::to_string(i) + (extra == 77 ? "" : "?") + " ";
    if (i == theLog->stopAt)
        Task_requestStop(Task_current(nullptr));
    return i < 8 ? theLog->answer[i] : 0;
}

int measureItem(EngineContext *, ObjHeader *item, const Rect *, const Matrix *, const DrawTarget *,
                const DrawFlags *, uint32_t *amount)
{
    int i = indexOf(item);
    theLog->calls += "m" + std::to_string(i) + " ";
    *amount = theLog->amount[i];
    return theLog->answer[i];
}

const ObjItemOps itemOps = {drawItem, measureItem, nullptr, 1};
const ObjClass itemClass = {&itemOps, 0, nullptr, Obj_itemPlain};

// A class whose measure slot writes its identifier word, as the engine's
// text, glyph-run and box items do.
int identifyItem(EngineContext *, ObjHeader *item, const Rect *, const Matrix *, const DrawTarget *,
                 const DrawFlags *, uint32_t *amount)
{
    theLog->calls += "i" + std::to_string(indexOf(item)) + " ";
    *amount = 0x47526E73;
    return 0;
}

const ObjItemOps identOps = {drawItem, identifyItem, nullptr, 0};
const ObjClass identClass = {&identOps, 0, nullptr, Obj_itemText};

class ItemListTest : public EdrFixture {
  protected:
    void SetUp() override
    {
        EdrFixture::SetUp();
        theLog = &log;
        pixels.assign(100 * 100, 0);
        run([this] {
            ASSERT_EQ(Bitmap_create(ctx(), &bitmap, 100, 100, 4, 0x10000, pixels.data(), 0), 0);
        });
        target = DrawTarget{bitmap, nullptr, 0, 0};
        Matrix_setIdentity(&identity);
    }
    void TearDown() override
    {
        for (ObjHeader *o : items)
            Obj_destroy(o);
        Bitmap_destroy(bitmap);
        theLog = nullptr;
        EdrFixture::TearDown();
    }
    // A chain of items with boxes (pixel units at scale 1.0).
    ObjHeader *chain(std::initializer_list<Rect> boxes)
    {
        return chain(std::vector<Rect>(boxes));
    }
    ObjHeader *chain(const std::vector<Rect> &boxes)
    {
        ObjHeader *first = nullptr, *last = nullptr;
        for (const Rect &b : boxes) {
            ObjHeader *o = Obj_create(&itemClass, 0);
            o->spare[0] = items.size();
            Obj_setBox(o, &b);
            items.push_back(o);
            if (last)
                Obj_setNext(last, o);
            else
                first = o;
            last = o;
        }
        return first;
    }
    int draw(ObjHeader *first, const Rect *clip, uint32_t flags = 0)
    {
        DrawFlags f{};
        f.flags = flags;
        int r = -1;
        run([&] {
            r = View_drawItemList(ctx(), first, clip, &identity, &target, &f, 77);
            Task_clearStop(ctx());
        });
        return r;
    }

    // The walk through an index, logged as draw() logs the plain walk.
    std::string drawIndexed(const ItemIndex *ix, ObjHeader *first, const Rect *clip,
                            uint32_t flags = 0, int *result = nullptr)
    {
        log.calls.clear();
        DrawFlags f{};
        f.flags = flags;
        int r = -1;
        run([&] {
            r = View_drawIndexedList(ctx(), ix, first, clip, &identity, &target, &f, 77);
            Task_clearStop(ctx());
        });
        if (result)
            *result = r;
        return log.calls;
    }
    std::string drawPlain(ObjHeader *first, const Rect *clip, uint32_t flags = 0,
                          int *result = nullptr)
    {
        log.calls.clear();
        int r = draw(first, clip, flags);
        if (result)
            *result = r;
        return log.calls;
    }

    WalkLog log;
    std::vector<uint16_t> pixels;
    std::vector<ObjHeader *> items;
    Bitmap *bitmap = nullptr;
    DrawTarget target{};
    Matrix identity{};
};

TEST_F(ItemListTest, HiddenAndOutsideItemsAreNeitherDrawnNorMeasured)
{
    ObjHeader *first =
        chain({{0, 0, 10, 10}, {20, 20, 30, 30}, {200, 200, 210, 210}, {5, 5, 6, 6}});
    items[1]->flags |= Obj_hidden;
    // The last item's box is moved into view by its origin.
    items[2]->origin[0] = -195;
    items[2]->origin[1] = -195;
    EXPECT_EQ(draw(first, nullptr), 0);
    EXPECT_EQ(log.calls, "d0 d2 d3 ");
    // The clip argument cuts the walk's area too.
    log.calls.clear();
    const Rect clip{0, 0, 5, 5};
    EXPECT_EQ(draw(first, &clip), 0);
    EXPECT_EQ(log.calls, "d0 ");

    log.calls.clear();
    log.amount[0] = 5;
    log.amount[2] = 7;
    log.amount[3] = 100;
    uint32_t amount = 0;
    DrawFlags f{};
    f.cost[DrawCost_limit] = 1000;
    run([&] {
        EXPECT_EQ(View_measureItemList(ctx(), first, nullptr, &identity, &target, &f, &amount), 0);
    });
    EXPECT_EQ(log.calls, "m0 m2 m3 ");
    EXPECT_EQ(amount, 112u);
    // The sum passing the limit ends the walk; the first error ends it too.
    log.calls.clear();
    f.cost[DrawCost_limit] = 6;
    run([&] {
        EXPECT_EQ(View_measureItemList(ctx(), first, nullptr, &identity, &target, &f, &amount), 0);
    });
    EXPECT_EQ(log.calls, "m0 m2 ");
    EXPECT_EQ(amount, 12u);
    log.calls.clear();
    log.answer[2] = 9;
    f.cost[DrawCost_limit] = 1000;
    run([&] {
        EXPECT_EQ(View_measureItemList(ctx(), first, nullptr, &identity, &target, &f, &amount), 9);
    });
    EXPECT_EQ(log.calls, "m0 m2 ");
    // An empty list measures 0x10000.
    run([&] {
        EXPECT_EQ(View_measureItemList(ctx(), nullptr, nullptr, &identity, &target, &f, &amount),
                  0);
    });
    EXPECT_EQ(amount, 0x10000u);
}

TEST_F(ItemListTest, IdentifierWordsAreNotCosts)
{
    // A text page under the host's limit of 0x40000000: its items' identifier
    // words (each above the limit) must not make it over budget.
    ObjHeader *first = chain({{0, 0, 10, 10}, {20, 20, 30, 30}, {40, 40, 50, 50}});
    items[0]->cls = &identClass;
    items[2]->cls = &identClass;
    log.amount[1] = 40;
    uint32_t amount = 0;
    DrawFlags f{};
    f.cost[DrawCost_limit] = 0x40000000;
    run([&] {
        EXPECT_EQ(View_measureItemList(ctx(), first, nullptr, &identity, &target, &f, &amount), 0);
    });
    EXPECT_EQ(log.calls, "m1 ");
    EXPECT_EQ(amount, 40u);
}

TEST_F(ItemListTest, AStopEndsTheWalkAndOtherErrorsAreIgnored)
{
    ObjHeader *first = chain({{0, 0, 10, 10}, {0, 0, 10, 10}, {0, 0, 10, 10}});
    log.answer[0] = 5;
    log.answer[1] = Res_stopRequested;
    EXPECT_EQ(draw(first, nullptr), Res_stopRequested);
    EXPECT_EQ(log.calls, "d0 d1 ");
    // A stop asked for during an item is seen at the next poll.
    log.calls.clear();
    log.answer[1] = 0;
    log.stopAt = 0;
    EXPECT_EQ(draw(first, nullptr), Res_stopRequested);
    EXPECT_EQ(log.calls, "d0 ");
    // Without polling the walk goes on.
    log.calls.clear();
    EXPECT_EQ(draw(first, nullptr, DrawFlags_noPoll), 0);
    EXPECT_EQ(log.calls, "d0 d1 d2 ");
}

TEST_F(ItemListTest, AnItemOutsideTheClipIsSkippedWithoutPolling)
{
    // The first item asks for a stop; the one after it lies outside the
    // target, so the walk ends without polling again.
    ObjHeader *first = chain({{0, 0, 10, 10}, {500, 500, 510, 510}});
    log.stopAt = 0;
    EXPECT_EQ(draw(first, nullptr), 0);
    EXPECT_EQ(log.calls, "d0 ");
    // An empty area: nothing is called.
    log.calls.clear();
    const Rect away{300, 300, 400, 400};
    EXPECT_EQ(draw(first, &away), 0);
    EXPECT_EQ(log.calls, "");
}

// A long list drawn band by band through its index calls exactly the items
// the whole walk calls, in the same order: boxes of every height (items
// across all bands, slivers, empty boxes), hidden items, items placed by
// their origin, a walk from the second item, and a stop during a band.
TEST_F(ItemListTest, AnIndexedListDrawsWhatTheWholeListDraws)
{
    uint32_t seed = 99;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return int32_t((seed >> 8) % n);
    };
    std::vector<Rect> boxes;
    for (int i = 0; i < 400; i++) {
        int32_t x = next(110) - 5, y = next(110) - 5;
        int32_t w = i % 50 == 0 ? 200 : next(12), h = i % 37 == 0 ? 200 : next(12);
        if (i % 41 == 0)
            y = -150;                              // reaches from far below into the first rows
        boxes.push_back(Rect{x, y, x + w, y + h}); // w or h 0: an empty box
    }
    ObjHeader *first = chain(boxes);
    for (size_t i = 0; i < items.size(); i += 29)
        items[i]->flags |= Obj_hidden;
    for (size_t i = 3; i < items.size(); i += 31) {
        items[i]->origin[0] = 7;
        items[i]->origin[1] = -9;
    }
    ItemIndex *ix = nullptr;
    ASSERT_EQ(ItemIndex_create(first, &ix), 0);
    ASSERT_NE(ix, nullptr);
    for (int32_t band : {1, 3, 10, 40, 120}) {
        for (int32_t y0 = -10; y0 < 110; y0 += band) {
            const Rect clip{-20, y0, 120, y0 + band};
            std::string whole = drawPlain(first, &clip);
            EXPECT_EQ(drawIndexed(ix, first, &clip), whole) << "band " << y0 << " +" << band;
            // From the second item on (a page background left out).
            std::string rest = drawPlain(items[1], &clip);
            EXPECT_EQ(drawIndexed(ix, items[1], &clip), rest) << "band " << y0 << " +" << band;
        }
    }
    // The unclipped target, and a first the index does not start with
    // (the list is then walked as it is).
    EXPECT_EQ(drawIndexed(ix, first, nullptr), drawPlain(first, nullptr));
    EXPECT_EQ(drawIndexed(ix, items[5], nullptr), drawPlain(items[5], nullptr));
    // A stop asked for by an item ends both walks at the same place.
    const Rect clip{-20, 20, 120, 60};
    std::string whole = drawPlain(first, &clip);
    ASSERT_GT(whole.size(), 12u);
    log.stopAt = std::stoi(whole.substr(1, whole.find(' ') - 1));
    int plainResult = 0, indexedResult = 0;
    whole = drawPlain(first, &clip, 0, &plainResult);
    EXPECT_EQ(drawIndexed(ix, first, &clip, 0, &indexedResult), whole);
    EXPECT_EQ(plainResult, Res_stopRequested);
    EXPECT_EQ(indexedResult, Res_stopRequested);
    // Without polling the walk goes on past it.
    EXPECT_EQ(drawIndexed(ix, first, &clip, DrawFlags_noPoll),
              drawPlain(first, &clip, DrawFlags_noPoll));
    ItemIndex_free(ix);
    // A short list is not indexed, and a walk without an index is the
    // plain walk.
    log.stopAt = -1;
    ObjHeader *few = chain({{0, 0, 10, 10}, {20, 20, 30, 30}});
    ASSERT_EQ(ItemIndex_create(few, &ix), 0);
    EXPECT_EQ(ix, nullptr);
    EXPECT_EQ(drawIndexed(nullptr, few, nullptr), drawPlain(few, nullptr));
    ItemIndex_free(nullptr);
}

TEST(ItemClip, TheTargetAreaInItemUnits)
{
    std::vector<uint16_t> px(106 * 212);
    Bitmap b{};
    b.width = 106;
    b.height = 212;
    b.scale = 106; // pixels per inch: an item unit is 1/65536 inch
    b.pixels = px.data();
    const Rect clip{0, 0, 50, 60};
    DrawTarget t{&b, &clip, 6, 0};
    Matrix m{0x10000, 0, 0, 0x10000, 100, -50};
    Rect out{};
    View_itemClip(&t, &m, &out);
    // ((0 - 6 - 1) x 65536) / 106 = -4327, then less the translation.
    EXPECT_EQ(out.x0, -4327 - 100);
    EXPECT_EQ(out.y0, -618 + 50);
    EXPECT_EQ(out.x1, 27821 - 100);
    EXPECT_EQ(out.y1, 37714 + 50);
    // Without a clip the bitmap's own rectangle counts; a quarter turn
    // swaps the axes.
    t.clip = nullptr;
    Matrix turn{0, 0x10000, -0x10000, 0, 0, 0};
    View_itemClip(&t, &turn, &out);
    EXPECT_EQ(out.x0, -618);
    EXPECT_EQ(out.x1, int32_t(213 * 65536 / 106));
    EXPECT_EQ(out.y0, -int32_t(101 * 65536 / 106));
    EXPECT_EQ(out.y1, 4327);

    Rect r{10, 20, 30, 40};
    View_untransformRect(&r, &m);
    EXPECT_EQ(r.x0, -90);
    EXPECT_EQ(r.y0, 70);
    EXPECT_EQ(r.x1, -70);
    EXPECT_EQ(r.y1, 90);
}

TEST(ItemList, RectanglesInPageUnits)
{
    Edr_Doc *doc = reinterpret_cast<Edr_Doc *>(0x10);
    ViewPageContext page{doc, {0, 0, 100, 100}, 10, 0x20000};
    DispmanArea a{};
    const Rect r{50, 20, 150, 40};
    View_rectToPageUnits(&a, &r, &page);
    EXPECT_EQ(a.document, doc);
    EXPECT_EQ(a.pageKey, 0);
    EXPECT_EQ(a.rect.x0, 25);
    EXPECT_EQ(a.rect.y0, 5);
    EXPECT_EQ(a.rect.x1, 50);
    EXPECT_EQ(a.rect.y1, 15);
    const Rect outside{200, 0, 300, 10};
    View_rectToPageUnits(&a, &outside, &page);
    EXPECT_EQ(a.document, nullptr);
}

TEST(ItemList, BandHeights)
{
    struct Case {
        uint32_t size;
        int32_t width, height;
        int result, bandHeight, bands;
    } cases[] = {
        {8192, 240, 320, 0, 17, 19}, // 17 rows of 480 bytes per band
        {8192, 240, 17, 0, 17, 1},
        {8192, 240, 18, 0, 9, 2},    // two bands of one height
        {8192, 241, 320, 0, 16, 20}, // rows of 484 bytes: 16 per band
        {479, 240, 320, Res_bandNoRow, 0, 0},
        {8192, 240, 0, 0, 0, 0},
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> buffer(c.size);
        ViewBandParams p{buffer.data(), c.size, 4, c.width, c.height};
        int32_t bh = -1, n = -1;
        EXPECT_EQ(View_bandHeight(nullptr, &p, nullptr, &bh, &n), c.result)
            << c.width << "x" << c.height;
        EXPECT_EQ(bh, c.bandHeight) << c.width << "x" << c.height;
        EXPECT_EQ(n, c.bands) << c.width << "x" << c.height;
    }
}

TEST(ItemList, ThumbnailSizes)
{
    struct Case {
        const char *name;
        int32_t w, h, wl, hl, ratio;
        int result;
        int32_t tw, th, d;
    } cases[] = {
        // A page smaller than the limits keeps its size (d would be 0).
        {"tiny", 10, 5, 100, 80, 0x20000, 0, 10, 5, 1},
        {"tinyNarrow", 3, 40, 100, 80, 0x20000, 0, 3, 39, 1}, // the ratio truncates
        // Portrait: the long side is fitted to the height limit.
        {"portrait", 300, 600, 100, 150, 0x20000, 0, 75, 150, 4},
        {"landscape", 800, 600, 200, 100, 0x20000, 0, 200, 100, 4}, // the short side capped
        // Past the ratio limit the short side is fitted first.
        {"wide", 1000, 100, 120, 90, 0x20000, 0, 120, 100, 1},
        {"tall", 100, 2000, 50, 300, 0x40000, 0, 50, 300, 2},
        {"empty", 0, 100, 100, 100, 0x20000, Res_nullInput, 0, 0, 1},
        {"noLimit", 100, 100, 0, 100, 0x20000, Res_nullInput, 0, 0, 1},
    };
    for (const Case &c : cases) {
        int32_t tw = -1, th = -1, d = -1;
        EXPECT_EQ(View_thumbnailSize(c.w, c.h, c.wl, c.hl, c.ratio, &tw, &th, &d), c.result)
            << c.name;
        EXPECT_EQ(tw, c.tw) << c.name;
        EXPECT_EQ(th, c.th) << c.name;
        EXPECT_EQ(d, c.d) << c.name;
    }
}

TEST_F(ItemListTest, ThumbnailsOfPublishedPages)
{
    run([&] {
        Edr_Doc *doc = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, nullptr), 0);
        // Sides in 16.16 inches.
        auto publish = [&](int32_t key, int32_t w, int32_t h) {
            Edr_PageRec *rec = static_cast<Edr_PageRec *>(Mem_calloc(1, sizeof(Edr_PageRec)));
            rec->doc = doc;
            rec->bounds[1] = -h;
            rec->bounds[2] = w;
            ASSERT_EQ(Edr_Page_publishLayout(doc, key, 0, 0, rec, 0, 1), 0);
        };
        publish(1, 300 << 16, 600 << 16);
        publish(2, 0, 0);
        publish(4, 0x88000, 0xB0000); // 8.5 x 11 inches
        publish(5, 0x2000, 0x4000);   // 1/8 x 1/4 inch
        PixelBuf *thumb = nullptr;
        // Pages of any size fill the limit along their fitted side.
        struct Case {
            int32_t key, widthLimit, heightLimit, ratio, width, height;
        } cases[] = {
            {1, 100, 150, 0x20000, 75, 150},
            {4, 100, 150, 0x20000, 100, 150}, // fitted by its height, cut at the right
            {4, 100, 100, 0x20000, 77, 100},
            {4, 100, 100, 0x10000, 100, 100}, // past the ratio limit: fitted by its width, cut
            {5, 40, 80, 0x20000, 40, 80},
        };
        for (const Case &c : cases) {
            ASSERT_EQ(View_renderThumbnail(ctx(), doc, c.key, 0, &thumb, c.widthLimit,
                                           c.heightLimit, c.ratio),
                      0)
                << c.key;
            ASSERT_NE(thumb, nullptr);
            EXPECT_EQ(thumb->width, c.width)
                << c.key << " " << c.widthLimit << "x" << c.heightLimit;
            EXPECT_EQ(thumb->height, c.height)
                << c.key << " " << c.widthLimit << "x" << c.heightLimit;
            EXPECT_NE(thumb->pixels, nullptr);
            PixelBuf_destroy(thumb);
        }
        // An empty page makes no thumbnail; an absent one is the page
        // list's error.
        EXPECT_EQ(View_renderThumbnail(ctx(), doc, 2, 0, &thumb, 100, 150, 0x20000), Res_nullInput);
        EXPECT_EQ(thumb, nullptr);
        EXPECT_EQ(View_renderThumbnail(ctx(), doc, 3, 0, &thumb, 100, 150, 0x20000),
                  Edr_Page_noSuchPage);
        // Out of memory at each step leaves nothing.
        for (uint64_t n = 1; n < 4; n++) {
            Mem_failAfter(n);
            int r = View_renderThumbnail(ctx(), doc, 1, 0, &thumb, 100, 150, 0x20000);
            Mem_failAfter(0);
            if (r == 0) {
                PixelBuf_destroy(thumb);
                break;
            }
            EXPECT_EQ(thumb, nullptr);
        }
        Edr_Doc_release(doc);
    });
}

TEST_F(ItemListTest, RectanglePathsAndDrawFlags)
{
    run([&] {
        Path *path = nullptr;
        const Rect r{0, 0, 10, 10};
        ASSERT_EQ(View_rectPath(&path, &r, 0x10000, 2), 0);
        ASSERT_NE(path, nullptr);
        Path_destroy(path);
        Mem_failAfter(1);
        EXPECT_EQ(View_rectPath(&path, &r, 0x10000, 2), Res_noMemory);
        Mem_failAfter(0);
        EXPECT_EQ(path, nullptr);
    });
    DrawFlags f;
    std::memset(&f, 0xAB, sizeof(f));
    DrawFlags_clear(nullptr, &f);
    EXPECT_EQ(f.flags | f.lead | f.trail, 0u);
    for (int32_t q : f.quality)
        EXPECT_EQ(q, 0);
    EXPECT_EQ(uint32_t(f.cost[0]), 0xABABABABu); // the costs stay
}

TEST_F(ItemListTest, SolidPaintsFillTheItemsArea)
{
    run([&] {
        DrawItem *item = nullptr;
        ASSERT_EQ(DrawItem_create(&item), 0);
        const Rect clip{0, 0, 2, 2};
        DrawTarget t{bitmap, &clip, 0, 0};
        PaintRecord none{Paint_solid, {0xFF, 0, 0, 0}};
        EXPECT_EQ(Paint_setupItem(ctx(), &none, item, &t), 0);
        EXPECT_EQ(pixels[99 * 100], 0);
        PaintRecord red{Paint_solid, {0xFF, 0, 0, 0xFF}};
        EXPECT_EQ(Paint_setupItem(ctx(), &red, item, &t), 0);
        EXPECT_EQ(item->paint.solid.value, 0x0000FFu);
        // The clip's 2 x 2 pixels at the bottom left (y-up) are red.
        int red4 = 0;
        for (uint16_t p : pixels)
            red4 += p == 0xF800;
        EXPECT_EQ(red4, 4);
        EXPECT_EQ(pixels[99 * 100], 0xF800);
        EXPECT_EQ(pixels[98 * 100 + 1], 0xF800);
        PaintRecord image{Paint_image, {}}, other{9, {}};
        EXPECT_EQ(Paint_setupItem(ctx(), &image, item, &t), Res_notImplemented);
        EXPECT_EQ(Paint_setupItem(ctx(), &other, item, &t), 0);
        DrawItem_destroy(item);
    });
}

// The access callback: its modes, and a bitmap that has no pixels after
// the access began.
struct Access {
    std::string modes;
    void *give = nullptr;
};

void accessFn(Bitmap *bitmap, void *context, int32_t mode)
{
    Access *a = static_cast<Access *>(context);
    a->modes += std::to_string(mode);
    if (mode == 0)
        bitmap->pixels = a->give;
}

TEST(BitmapAccess, WrappersCallTheCallback)
{
    uint16_t px[4] = {};
    uint16_t *indirect = px;
    Access a;
    Bitmap b{};
    b.pixels = &indirect;
    b.flags = Bitmap_flagIndirect | 0x40;
    uint32_t flags = 0;
    EXPECT_EQ(Bitmap_pixels(&b, &flags), px);
    EXPECT_EQ(flags, uint32_t(Bitmap_flagIndirect | 0x40));
    EXPECT_EQ(Bitmap_pixels(nullptr, &flags), nullptr);
    // No callback: nothing happens.
    EXPECT_EQ(Bitmap_beginAccess(&b), 0);
    Bitmap_endAccess(&b);
    Bitmap_syncAccess(&b);
    b.access = accessFn;
    b.accessContext = &a;
    b.flags = 0;
    a.give = px;
    EXPECT_EQ(Bitmap_beginAccess(&b), 0);
    a.give = nullptr;
    EXPECT_EQ(Bitmap_beginAccess(&b), 1);
    Bitmap_syncAccess(&b);
    Bitmap_endAccess(&b);
    b.flags = 0x10;
    Bitmap_syncAccess(&b);
    EXPECT_EQ(a.modes, "0021");
    EXPECT_EQ(Bitmap_beginAccess(nullptr), 0);
}

} // namespace
