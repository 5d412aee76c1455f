// The small shared services: rectangles through a matrix, pair lists,
// palettes from colour stops (the short two-entry form, interpolation, a
// stop behind the previous one, bad buffers) and the image store's move
// to the front of its list.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "core/context/context.h"
#include "core/geom/matrix.h"
#include "core/geom/rect.h"
#include "graphics/image.h"
#include "graphics/pixelbuf.h"
#include "tests/support/heap_fixture.h"
#include "word/shared/imagetouch.h"
#include "word/shared/pairlist.h"
#include "word/shared/palette.h"
#include "graphics/rects.h"

namespace {

TEST(RectTransform, BoundsOfTheFourMappedCorners)
{
    struct Case {
        Matrix m;
        Rect in, out;
    } cases[] = {
        // A quarter turn: (x, y) -> (-y, x).
        {{0, 0x10000, -0x10000, 0, 0, 0}, {0, 0, 20, 30}, {-30, 0, 0, 20}},
        // Scale x by 2 with a shear of 0.5 and a translation.
        {{0x20000, 0, 0x8000, 0x10000, 7, -3}, {0, 0, 10, 10}, {7, -3, 32, 7}},
        // A mirror: the corners swap, the bounds stay ordered.
        {{-0x10000, 0, 0, 0x10000, 0, 0}, {2, 3, 5, 9}, {-5, 3, -2, 9}},
    };
    for (const Case &c : cases) {
        Rect r = c.in;
        Rect_transform(&r, &c.m);
        EXPECT_TRUE(Rect_equal(&r, &c.out)) << r.x0 << "," << r.y0 << "," << r.x1 << "," << r.y1;
    }
    Rect r{1, 2, 3, 4};
    Rect_transform(&r, nullptr);
    const Rect same{1, 2, 3, 4};
    EXPECT_TRUE(Rect_equal(&r, &same));
    // The unbounded rectangle is not mapped into a wrapped one.
    Rect inf = *Rect_getInfinite();
    Matrix shift{0x10000, 0, 0, 0x10000, 5, 5};
    Rect_transform(&inf, &shift);
    EXPECT_TRUE(Rect_isInfinite(&inf));
}

using PairListTest = LeakCheckedHeapTest<>;

TEST_F(PairListTest, PairsHeaderCopyAndEquality)
{
    PairList *list = nullptr;
    ASSERT_EQ(PairList_new(&list, 3, 0xAAAA, 0xBBBB), 0);
    EXPECT_EQ(Mem_blockSize(list) >= 12 + 8 * 3, true);
    uint32_t pair[2] = {9, 9};
    EXPECT_EQ(PairList_get(list, 2, pair), 0);
    EXPECT_EQ(pair[0], 0u); // new pairs are zero
    for (uint32_t i = 0; i < 3; i++) {
        const uint32_t p[2] = {i, 100 + i};
        EXPECT_EQ(PairList_set(list, i, p), 0);
    }
    const uint32_t p[2] = {1, 1};
    EXPECT_EQ(PairList_set(list, 3, p), PairList_badIndex);
    EXPECT_EQ(PairList_get(list, 3, pair), PairList_badIndex);
    EXPECT_EQ(pair[0], 0u);
    EXPECT_EQ(pair[1], 0u);
    EXPECT_EQ(PairList_get(list, 1, pair), 0);
    EXPECT_EQ(pair[0], 1u);
    EXPECT_EQ(pair[1], 101u);

    uint32_t count = 0, a = 0, b = 0;
    PairList_header(list, &count, &a, nullptr);
    PairList_header(list, nullptr, nullptr, &b);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(a, 0xAAAAu);
    EXPECT_EQ(b, 0xBBBBu);

    PairList *copy = nullptr;
    ASSERT_EQ(PairList_copy(&copy, list), 0);
    EXPECT_EQ(PairList_equal(list, copy), 1);
    const uint32_t changed[2] = {2, 103};
    PairList_set(copy, 2, changed);
    EXPECT_EQ(PairList_equal(list, copy), 0);
    PairList_free(copy);
    ASSERT_EQ(PairList_new(&copy, 3, 0xAAAA, 0xBBBC), 0); // another header word
    for (uint32_t i = 0; i < 3; i++) {
        const uint32_t q[2] = {i, 100 + i};
        PairList_set(copy, i, q);
    }
    EXPECT_EQ(PairList_equal(list, copy), 0);
    EXPECT_EQ(PairList_equal(nullptr, nullptr), 1);
    EXPECT_EQ(PairList_equal(list, nullptr), 0);
    PairList_free(copy);

    // Out of memory: nothing made, nothing leaked.
    Mem_failAfter(1);
    EXPECT_EQ(PairList_copy(&copy, list), 1);
    EXPECT_EQ(copy, nullptr);
    Mem_failAfter(1);
    EXPECT_EQ(PairList_new(&copy, 1, 0, 0), 1);
    EXPECT_EQ(copy, nullptr);
    PairList_free(list);
    PairList_free(nullptr);
}

struct Row {
    std::vector<uint8_t> bytes;
    PixelBuf buf{};
    explicit Row(int32_t width, uint32_t format = Pixel_formatRGBA)
    {
        bytes.assign(size_t(width) * 4, 0xEE);
        buf.width = width;
        buf.height = 1;
        buf.stride = uint32_t(width * 4);
        buf.format = format;
        buf.pixels = bytes.data();
    }
    uint32_t at(int i) const
    {
        uint32_t v;
        memcpy(&v, bytes.data() + size_t(i) * 4, 4);
        return v;
    }
};

TEST(PaletteFromStops, TwoStopsAtTheEndsMakeTheShortPaletteUnlessFlagged)
{
    const uint32_t stops[] = {2, 0, 0xFF0000FF, 255, 0xFFFF0000};
    EXPECT_EQ(Palette_isTwoEntry(stops, 0), 1);
    EXPECT_EQ(Palette_isTwoEntry(stops, 1), 0);
    Row two(2);
    ASSERT_EQ(Palette_fromStops(&two.buf, stops, 0), 0);
    EXPECT_EQ(two.at(0), 0xFF0000FFu);
    EXPECT_EQ(two.at(1), 0xFFFF0000u);

    // With the flag: 256 entries, red falling and blue rising one step per
    // entry.
    Row full(256);
    ASSERT_EQ(Palette_fromStops(&full.buf, stops, 1), 0);
    EXPECT_EQ(full.at(0), 0xFF0000FFu);
    EXPECT_EQ(full.at(255), 0xFFFF0000u);
    for (uint32_t i = 0; i < 255; i++)
        ASSERT_EQ(full.at(int(i)), 0xFF000000u | (i << 16) | (255 - i)) << i;
    // Two stops elsewhere are never the short form.
    const uint32_t inner[] = {2, 1, 0, 255, 0};
    EXPECT_EQ(Palette_isTwoEntry(inner, 0), 0);
    Row small(2);
    EXPECT_EQ(Palette_fromStops(&small.buf, inner, 0), Palette_badBuffer);
}

TEST(PaletteFromStops, InterpolatesBetweenStopsAndStopsAtAStopBehind)
{
    // Before the first stop its colour; 100 to 200 a ramp of 0 to 200 in
    // red (2 a step) with green dropping; after the last stop its colour.
    const uint32_t stops[] = {3, 50, 0x00000010, 100, 0x0000FF00, 200, 0x000000C8};
    Row p(256);
    ASSERT_EQ(Palette_fromStops(&p.buf, stops, 0), 0);
    for (int i = 0; i <= 50; i++)
        ASSERT_EQ(p.at(i), 0x10u) << i;
    EXPECT_EQ(p.at(100), 0xFF00u);
    EXPECT_EQ(p.at(150), 0x7F64u); // green 255 - 100 x 2.55 (truncated), red 100
    EXPECT_EQ(p.at(200), 0xC8u);
    for (int i = 201; i < 256; i++)
        ASSERT_EQ(p.at(i), 0xC8u) << i;
    // Between 50 and 100: red 16 falling to 0, green rising to 255.
    EXPECT_EQ(p.at(75) & 0xFF, 8u);

    // The third stop lies before the second: the filling ends at the
    // second, whose colour fills the rest.
    const uint32_t behind[] = {4, 0, 0x0, 128, 0x800000, 64, 0xFFFFFF, 255, 0xFF};
    Row q(256);
    ASSERT_EQ(Palette_fromStops(&q.buf, behind, 0), 0);
    EXPECT_EQ(q.at(64), 0x400000u);
    EXPECT_EQ(q.at(128), 0x800000u);
    for (int i = 129; i < 256; i++)
        ASSERT_EQ(q.at(i), 0x800000u) << i;
    // One stop fills everything; a position above 255 counts as 255.
    const uint32_t one[] = {1, 300, 0x123456};
    Row r(256);
    ASSERT_EQ(Palette_fromStops(&r.buf, one, 0), 0);
    for (int i = 0; i < 256; i++)
        ASSERT_EQ(r.at(i), 0x123456u);
}

TEST(PaletteFromStops, BadInputIsRefusedAndLeavesTheBuffer)
{
    const uint32_t stops[] = {3, 0, 1, 100, 2, 255, 3};
    const uint32_t none[] = {0};
    Row narrow(255), grey(256, Pixel_format565), ok(256);
    const std::vector<uint8_t> before = narrow.bytes;
    EXPECT_EQ(Palette_fromStops(&narrow.buf, stops, 0), Palette_badBuffer);
    EXPECT_EQ(narrow.bytes, before);
    EXPECT_EQ(Palette_fromStops(&grey.buf, stops, 0), Palette_badBuffer);
    EXPECT_EQ(Palette_fromStops(&ok.buf, none, 0), Palette_noStops);
    EXPECT_EQ(Palette_fromStops(&ok.buf, nullptr, 0), 8);
    EXPECT_EQ(Palette_fromStops(nullptr, stops, 0), 8);
}

// A store of three images linked by hand (locks never initialised do
// nothing): a queued image moves to the head, the others stay in place.
TEST(ImageStoreTouch, QueuedImagesMoveToTheHead)
{
    EngineContext app{};
    ImageStore store{};
    app.imageStore = &store;
    ImageObject images[3]{};
    auto relink = [&]() {
        store.first = &images[0];
        store.last = &images[2];
        for (int i = 0; i < 3; i++) {
            images[i].prev = i > 0 ? &images[i - 1] : nullptr;
            images[i].next = i < 2 ? &images[i + 1] : nullptr;
        }
    };
    auto order = [&]() {
        std::vector<int> o;
        for (ImageObject *i = store.first; i; i = i->next) {
            o.push_back(int(i - images));
            if (i->next) {
                EXPECT_EQ(i->next->prev, i);
            }
        }
        EXPECT_EQ(store.last, &images[o.back()]);
        EXPECT_EQ(store.first->prev, nullptr);
        return o;
    };
    ImageHandle handle{};
    handle.app = &app;
    struct Case {
        int image;
        int32_t state;
        std::vector<int> after;
    } cases[] = {
        {2, ImageState_queued, {2, 0, 1}}, {1, ImageState_available, {1, 0, 2}},
        {0, ImageState_queued, {0, 1, 2}}, {2, ImageState_decoding, {0, 1, 2}},
        {1, ImageState_done, {0, 1, 2}},   {2, ImageState_failed, {0, 1, 2}},
    };
    for (const Case &c : cases) {
        relink();
        images[c.image].state = c.state;
        handle.image = &images[c.image];
        ImageStore_touch(&handle);
        EXPECT_EQ(order(), c.after) << c.image << " in state " << c.state;
        images[c.image].state = 0;
    }
    // An image that is not in the list is left out of it.
    relink();
    ImageObject loose{};
    loose.state = ImageState_queued;
    handle.image = &loose;
    ImageStore_touch(&handle);
    EXPECT_EQ(order(), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(loose.next, nullptr);
    // No image, no store, no handle: nothing happens.
    handle.image = nullptr;
    ImageStore_touch(&handle);
    app.imageStore = nullptr;
    ImageStore_touch(&handle);
    ImageStore_touch(nullptr);
}

} // namespace
