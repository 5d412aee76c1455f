// Frame sets: rows and cols lists split over a size as a table of cases
// (percentages with a relative entry, pixels stretched, relative shares,
// digits and characters ignored, out of memory); the state flags; opening,
// nesting and closing sets with the current frame following; margins,
// borders and names; sources holding node references that are dropped when
// the frames are created or the state is freed; and the border rule.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "core/result.h"
#include "layout/frameset.h"
#include "platform/url/url.h"
#include "tests/document/edr_fixture.h"
#include "tests/support/heap_fixture.h"

namespace {

using FrameLengthTest = LeakCheckedHeapTest<>;

struct Split {
    std::vector<FrameLength> entries;
    uint32_t count = 0;
};

Split split(const std::u16string &text, int32_t total)
{
    Split s;
    FrameLength *e = nullptr;
    EXPECT_EQ(FrameSet_splitLengths(text.data(), text.size(), total, &e, &s.count), 0);
    if (e)
        s.entries.assign(e, e + std::max<uint32_t>(s.count, 1));
    Mem_free(e);
    return s;
}

TEST_F(FrameLengthTest, ListsSplitOverTheTotal)
{
    const int32_t T = 600000, W = 400 * 65536 / 96;
    const int32_t x100 = 100 * 65536 / 96, x200 = 200 * 65536 / 96;
    struct Case {
        const char *name;
        std::u16string text;
        int32_t total;
        std::vector<std::pair<uint32_t, int32_t>> want; // kind, size
    } cases[] = {
        {"half and the rest", u"50%,*", T, {{0, T / 2}, {2, T / 2}}},
        {"pixels stretched 1:2",
         u"100,200",
         W,
         {{1, W * 100 / 300}, {1, int32_t(int64_t(W) * 200 / 300)}}},
        {"relative shares count digits only", u"2.5*, 5*", T, {{2, T * 25 / 30}, {2, T * 5 / 30}}},
        {"percentages share what pixels leave",
         u"100,30%,40%",
         T,
         {{1, x100}, {0, 30 * (T - x100) / 70}, {0, 40 * (T - x100) / 70}}},
        {"pixels, a percentage and the rest",
         u"100,50%,*",
         T,
         {{1, x100}, {0, T / 2}, {2, T - x100 - T / 2}}},
        {"pixels wider than the total keep their size", u"200,200", x200, {{1, x200}, {1, x200}}},
        {"no room left for percentages or shares", u"200,10%,*", x100, {{1, x200}, {0, 0}, {2, 0}}},
        {"spaces and other characters ignored",
         u" 1 0 0 px , a2b0c0 ",
         W,
         {{1, W * 100 / 300}, {1, int32_t(int64_t(W) * 200 / 300)}}},
        {"at most ten digits, then to the comma",
         u"12345678901%*,2",
         T,
         {{1, 0x7FFFFFFF}, {1, 2 * 65536 / 96}}},
        {"an empty entry is zero pixels", u"50%,", T, {{0, T}, {1, 0}}},
    };
    for (const Case &c : cases) {
        Split s = split(c.text, c.total);
        ASSERT_EQ(s.count, c.want.size()) << c.name;
        for (size_t i = 0; i < c.want.size(); i++) {
            EXPECT_EQ(s.entries[i].kind, c.want[i].first) << c.name << " " << i;
            EXPECT_EQ(s.entries[i].value, c.want[i].second) << c.name << " " << i;
        }
    }
    // One entry gets the whole size and the count is 0.
    for (std::u16string one : {u"2.5*", u"30%", u"17", u""}) {
        Split s = split(one, T);
        EXPECT_EQ(s.count, 0u);
        ASSERT_EQ(s.entries.size(), 1u);
        EXPECT_EQ(s.entries[0].value, T);
    }
}

TEST_F(FrameLengthTest, RunningOutOfMemory)
{
    const std::u16string text = u"1,2,3,4,5";
    for (uint64_t n = 1;; n++) {
        FrameLength *e = reinterpret_cast<FrameLength *>(1);
        uint32_t count = 9;
        Mem_failAfter(n);
        int r = FrameSet_splitLengths(text.data(), text.size(), 1000, &e, &count);
        Mem_failAfter(0);
        if (r == 0) {
            EXPECT_EQ(count, 5u);
            Mem_free(e);
            break;
        }
        EXPECT_EQ(r, Res_noMemory);
        EXPECT_EQ(e, nullptr);
        EXPECT_EQ(count, 0u);
    }
}

class FrameStateTest : public EdrFixture {};

TEST_F(FrameStateTest, FlagsSetsAndTheCurrentFrame)
{
    run([&] {
        FrameState *s = nullptr;
        ASSERT_EQ(FrameState_create(nullptr, &s), 0);
        EXPECT_EQ(s->root->width, 0x84000);
        EXPECT_EQ(s->root->height, 445644);
        EXPECT_EQ(s->root->marginWidth, -1);
        EXPECT_EQ(s->current, s->root);
        // A body first: frameset mode is refused.
        FrameState_markBody(s);
        FrameState_enterFrameset(s);
        EXPECT_TRUE(FrameState_bodySeen(s));
        EXPECT_FALSE(FrameState_isFrameset(s));
        FrameState_free(&s, nullptr);
        EXPECT_EQ(s, nullptr);

        const int32_t viewport[2] = {-300000, 0};
        ASSERT_EQ(FrameState_create(viewport, &s), 0);
        EXPECT_EQ(s->root->width, 300000);
        EXPECT_EQ(s->root->height, 0);
        FrameState_enterFrameset(s);
        FrameState_markBody(s);
        EXPECT_FALSE(FrameState_bodySeen(s));
        EXPECT_TRUE(FrameState_isOutsideFrameset(s));
        // A frame outside a set is not added.
        ASSERT_EQ(FrameSet_addFrame(s, 1, 2, 1, 1, 0, 0), 0);
        EXPECT_EQ(s->current, s->root);

        ASSERT_EQ(FrameSet_open(s), 0);
        FrameSetRec *outer = s->openSet;
        EXPECT_FALSE(FrameState_isOutsideFrameset(s));
        ASSERT_EQ(FrameSet_addFrame(s, 100, 200, FrameLength_pixels, FrameLength_percent, 3, 4), 0);
        FrameRec *a = s->current;
        EXPECT_EQ(a->width, 100);
        EXPECT_EQ(a->height, 200);
        EXPECT_EQ(a->position[1], 4);
        EXPECT_EQ(a->frameBorder, 1);
        FrameSet_markWidth(s);
        FrameSet_markHeight(s);
        EXPECT_EQ(a->widthMark, 1u);
        EXPECT_EQ(a->heightMark, 1u);
        FrameSet_setMargin(s, 7, 1);
        FrameSet_setMargin(s, 8, 0);
        FrameSet_setBorder(s, 0);
        EXPECT_EQ(a->marginHeight, 7);
        EXPECT_EQ(a->marginWidth, 8);
        EXPECT_EQ(a->frameBorder, 0);
        ASSERT_EQ(FrameSet_setName(s, u"left!", 4), 0);
        ASSERT_EQ(FrameSet_setName(s, u"other", 5), 0); // only the first name counts
        EXPECT_EQ(std::u16string(a->name), u"left");

        ASSERT_EQ(FrameSet_open(s), 0);
        FrameSetRec *inner = s->openSet;
        EXPECT_EQ(inner->enclosing, outer);
        ASSERT_EQ(FrameSet_addFrame(s, 1, 1, FrameLength_relative, FrameLength_pixels, 0, 0), 0);
        FrameRec *b = s->current;
        FrameSet_markWidth(s); // relative kind: no mark
        EXPECT_EQ(b->widthMark, 0u);
        ASSERT_EQ(FrameSet_addFrame(s, 1, 1, FrameLength_pixels, FrameLength_pixels, 0, 0), 0);
        EXPECT_EQ(s->current->prevLast, b);
        FrameSet_close(s);
        EXPECT_EQ(s->openSet, outer);
        EXPECT_EQ(s->current, a);
        FrameSet_close(s);
        EXPECT_EQ(s->openSet, nullptr);
        EXPECT_EQ(s->current, s->root);
        EXPECT_EQ(s->firstSet, outer);
        EXPECT_EQ(outer->next, inner);
        FrameState_free(&s, nullptr);
    });
}

// Sources hold node references: replaced, dropped when the frames are
// created, and dropped by the free of a state whose frames never were.
TEST_F(FrameStateTest, SourcesHoldNodeReferences)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *node = nullptr;
        ASSERT_EQ(Edr_Node_createGroup(doc, root, Edr_Insert_lastChild, 3, &node), 0);
        uint32_t base = Edr_Node_refCount(node);
        for (bool create : {true, false}) {
            FrameState *s = nullptr;
            ASSERT_EQ(FrameState_create(nullptr, &s), 0);
            ASSERT_EQ(FrameSet_open(s), 0);
            ASSERT_EQ(FrameSet_addFrame(s, 0x20000, 2730, 1, 1, 0, 0), 0);
            FrameRec *f = s->current;
            ASSERT_EQ(
                FrameSet_setSource(s, node, doc, Url_newFromCstr("http://example.com/a.html")), 0);
            ASSERT_EQ(
                FrameSet_setSource(s, node, doc, Url_newFromCstr("http://example.com/b.html")), 0);
            EXPECT_EQ(Edr_Node_refCount(node), base + 1);
            EXPECT_NE(f->source, nullptr);
            ASSERT_EQ(FrameSet_addFrame(s, 1000, 0x30000, 1, 1, 0, 0), 0);
            FrameRec *g = s->current;
            if (create) {
                ASSERT_EQ(FrameState_createFrames(doc, s), 0);
                EXPECT_EQ(Edr_Node_refCount(node), base);
                EXPECT_EQ(f->node, nullptr);
                // The border: 2730 off each side larger than that; a side
                // not larger clears the border instead.
                EXPECT_EQ(f->width, 0x20000 - 2730);
                EXPECT_EQ(f->height, 2730);
                EXPECT_EQ(f->frameBorder, 0);
                EXPECT_EQ(g->width, 1000);
                EXPECT_EQ(g->height, 0x30000 - 2730);
                EXPECT_EQ(g->frameBorder, 0);
            }
            FrameState_free(&s, doc);
            EXPECT_EQ(Edr_Node_refCount(node), base);
        }
        // No current frame: the URL is freed and nothing is held.
        FrameState *s = nullptr;
        ASSERT_EQ(FrameState_create(nullptr, &s), 0);
        s->current = nullptr;
        EXPECT_EQ(FrameSet_setSource(s, node, doc, Url_newFromCstr("http://example.com/")), 0);
        EXPECT_EQ(Edr_Node_refCount(node), base);
        FrameState_free(&s, doc);
        Edr_Node_release(doc, node);
    });
}

// Long lists of the largest entries keep their sums in range (the
// sanitizer build checks the arithmetic): every size stays within the
// total or at the entry's own pixel size.
TEST_F(FrameLengthTest, LongListsOfHugeEntriesStayInRange)
{
    for (const char16_t *entry : {u"99999999999%,", u"99999999999,", u"99999999999*,"}) {
        std::u16string text;
        for (int i = 0; i < 5000; i++)
            text += entry;
        Split s = split(text, INT32_MAX);
        ASSERT_EQ(s.count, 5001u);
        for (const FrameLength &e : s.entries)
            EXPECT_GE(e.value, 0);
    }
}

// The grid of a frame set: cells handed out row by row with their sizes,
// kinds and places, none past the last; a set inside a cell splits that
// cell; a reset forgets every set.
TEST_F(FrameStateTest, GridCellsAreHandedOutRowByRow)
{
    run([&] {
        FrameState *s = nullptr;
        const int32_t viewport[2] = {0x40000, 0x30000};
        ASSERT_EQ(FrameState_create(viewport, &s), 0);
        ASSERT_EQ(FrameState_startFrameset(s), 0);
        const std::u16string rows = u"*,*", cols = u"25%,*";
        ASSERT_EQ(FrameSet_setGrid(s, rows.data(), rows.size(), cols.data(), cols.size()), 0);
        EXPECT_EQ(FrameState_rowLength(s), 2);
        // A second grid for the same set is ignored.
        ASSERT_EQ(FrameSet_setGrid(s, nullptr, 0, nullptr, 0), 0);
        struct Want {
            int32_t width, height;
            uint32_t rowKind, columnKind;
            int32_t row, column;
        } want[4] = {{0x10000, 0x18000, 2, 0, 0, 0},
                     {0x30000, 0x18000, 2, 2, 0, 1},
                     {0x10000, 0x18000, 2, 0, 1, 0},
                     {0x30000, 0x18000, 2, 2, 1, 1}};
        for (const Want &w : want) {
            ASSERT_EQ(FrameSet_placeFrame(s), 0);
            ASSERT_NE(s->current, nullptr);
            EXPECT_EQ(s->current->width, w.width);
            EXPECT_EQ(s->current->height, w.height);
            EXPECT_EQ(s->current->rowKind, w.rowKind);
            EXPECT_EQ(s->current->columnKind, w.columnKind);
            EXPECT_EQ(s->current->position[0], w.row);
            EXPECT_EQ(s->current->position[1], w.column);
        }
        ASSERT_EQ(FrameSet_placeFrame(s), 0);
        EXPECT_EQ(s->current, nullptr); // past the grid
        ASSERT_EQ(FrameSet_setName(s, u"x", 1), 0);
        FrameSet_close(s);
        FrameState_reset(s, nullptr);
        EXPECT_EQ(s->firstSet, nullptr);
        EXPECT_EQ(s->current, s->root);
        EXPECT_FALSE(FrameState_isFrameset(s));
        // A set in the second row's cell: its own lists split that cell.
        ASSERT_EQ(FrameState_startFrameset(s), 0);
        const std::u16string px = u"96,*";
        ASSERT_EQ(FrameSet_setGrid(s, px.data(), px.size(), nullptr, 0), 0);
        ASSERT_EQ(FrameSet_placeFrame(s), 0);
        ASSERT_EQ(FrameSet_placeFrame(s), 0);
        ASSERT_EQ(FrameState_startFrameset(s), 0);
        const std::u16string half = u"50%,50%";
        ASSERT_EQ(FrameSet_setGrid(s, nullptr, 0, half.data(), half.size()), 0);
        ASSERT_EQ(FrameSet_placeFrame(s), 0);
        EXPECT_EQ(s->current->width, 0x20000);
        EXPECT_EQ(s->current->height, 0x20000);
        FrameState_free(&s, nullptr);
    });
}

} // namespace
