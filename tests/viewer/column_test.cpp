// Scrolled content columns on synthetic trees with known line heights:
// forward and backward scrolls across nested columns with their overshoot,
// the margins and the more-before/after flags, relayout keeping the
// anchor's fraction, restoring saved positions, the nesting limit, lazy
// loading and the view glue.
#include <gtest/gtest.h>

#include <vector>

#include "core/result.h"
#include "tests/support/heap_fixture.h"
#include "core/text/number.h"
#include "viewer/column.h"

namespace {

// A nested column behind a source handle that counts its acquisitions.
struct Nested {
    ScrollColumn column;
    ColumnSource source;
    int acquired = 0;
    int released = 0;

    static ScrollColumn *acquire(void *c)
    {
        Nested *n = static_cast<Nested *>(c);
        n->acquired++;
        return &n->column;
    }
    static void release(void *c, ScrollColumn *)
    {
        static_cast<Nested *>(c)->released++;
    }
    Nested()
    {
        ScrollColumn_init(nullptr, &column);
        source = ColumnSource{this, nullptr, acquire, release, nullptr};
    }
    ~Nested()
    {
        ScrollColumn_fini(&column);
    }
};

ColumnNode *list(uint32_t id = 0)
{
    ColumnNode *l = nullptr;
    EXPECT_EQ(ColumnList_create(&l), 0);
    l->id = id;
    l->loaded = 1;
    l->measured = 1;
    return l;
}

void line(ColumnNode *l, int32_t height, uint32_t id = 0)
{
    ColumnNode *n = nullptr;
    ASSERT_EQ(ColumnLine_create(&n, id, height), 0);
    ASSERT_EQ(ColumnList_append(l, n), 0);
}

void nested(ColumnNode *l, Nested *n, uint32_t id)
{
    ColumnNode *node = nullptr;
    ASSERT_EQ(ColumnNested_create(&node, id, &n->source), 0);
    ASSERT_EQ(ColumnList_append(l, node), 0);
}

class ColumnTest : public LeakCheckedHeapTest<> {
  protected:
    // Lines a 1000, b 2000, a nested column (id 7) of c 500 and d 500, and
    // e 3000: 7000 in all. The visible height is 2000.
    void SetUp() override
    {
        LeakCheckedHeapTest::SetUp();
        inner = new Nested;
        ScrollColumn_init(nullptr, &column);
        root = list(100);
        line(root, 1000);
        line(root, 2000);
        nested(root, inner, 7);
        line(root, 3000);
        innerList = list(200);
        line(innerList, 500);
        line(innerList, 500);
        Column_setContent(&inner->column, innerList);
        Column_setContent(&column, root);
        Column_setSize(&column, 400, 2000);
    }
    void TearDown() override
    {
        ScrollColumn_fini(&column);
        delete inner;
        LeakCheckedHeapTest::TearDown();
    }

    ScrollAnchor anchor()
    {
        ScrollAnchor a{};
        Column_getAnchor(&column, &a);
        return a;
    }
    // Puts the anchor at a line of the outer list.
    void anchorAt(int32_t index, int32_t extent, int32_t offset)
    {
        ScrollAnchor a{ScrollAnchor_line, nullptr, root, index, extent, 0, offset};
        Column_setAnchor(&column, &a);
    }

    ScrollColumn column;
    Nested *inner = nullptr;
    ColumnNode *root = nullptr;
    ColumnNode *innerList = nullptr;
};

TEST_F(ColumnTest, ScrollsForwardAndBackwardAcrossTheNestedColumn)
{
    int32_t overshoot = 0;
    // From the rest position (3640 above the first line) into line c.
    EXPECT_EQ(anchor().offset, -3640);
    ASSERT_EQ(Column_scrollForward(&column, 3640 + 3200, 0, &overshoot), 0);
    EXPECT_EQ(uint32_t(overshoot), Column_noOvershoot);
    ScrollAnchor a = anchor();
    EXPECT_EQ(a.kind, ScrollAnchor_line);
    EXPECT_EQ(a.source, &inner->source) << "the line lies in the nested column";
    EXPECT_EQ(a.list, innerList);
    EXPECT_EQ(a.index, 0);
    EXPECT_EQ(a.offset, 200);
    EXPECT_EQ(a.extent, 500);
    ScrollAnchor in{};
    Column_getAnchor(&inner->column, &in);
    EXPECT_EQ(in.list, innerList) << "the nested column holds the anchor too";
    EXPECT_EQ(in.source, nullptr);
    EXPECT_EQ(inner->acquired, inner->released);

    // Within the anchor line only the offset moves.
    ASSERT_EQ(Column_scrollForward(&column, 250, 0, &overshoot), 0);
    EXPECT_EQ(anchor().offset, 450);
    EXPECT_EQ(anchor().list, innerList);

    // Past the end: the last line takes the rest, the overshoot is what
    // lies beyond it minus the bottom margin.
    ASSERT_EQ(Column_scrollForward(&column, 5000, 0, &overshoot), 0); // to 8450
    a = anchor();
    EXPECT_EQ(a.list, root);
    EXPECT_EQ(a.index, 3);
    EXPECT_EQ(a.offset, 8450 - 4000);
    EXPECT_EQ(overshoot, 1450 - 3640);

    // Backward from line e (4100) into line b.
    anchorAt(3, 3000, 100);
    ASSERT_EQ(Column_scrollBackward(&column, -1500, 0, &overshoot), 0);
    EXPECT_EQ(uint32_t(overshoot), Column_noOvershoot);
    a = anchor();
    EXPECT_EQ(a.source, nullptr);
    EXPECT_EQ(a.index, 1);
    EXPECT_EQ(a.offset, 1600);
    // Backward into the nested column's last line.
    anchorAt(3, 3000, 100);
    ASSERT_EQ(Column_scrollBackward(&column, -300, 0, &overshoot), 0);
    EXPECT_EQ(anchor().list, innerList);
    EXPECT_EQ(anchor().index, 1);
    EXPECT_EQ(anchor().offset, 300);

    // Before the start: the first line, the overshoot -(rest + 3640).
    anchorAt(1, 2000, 1600); // 2600
    ASSERT_EQ(Column_scrollBackward(&column, -5000, 0, &overshoot), 0);
    a = anchor();
    EXPECT_EQ(a.index, 0);
    EXPECT_EQ(a.offset, -2400);
    EXPECT_EQ(overshoot, -(2400 + 3640));
    EXPECT_EQ(Column_topMargin(&column), 2400 - 3640);
}

TEST_F(ColumnTest, ScrollByKeepsTheMarginsAndReportsWhatIsLeft)
{
    // The range: from -3640 (the top margin at rest) to 7000 + 3640 - 2000.
    int32_t d = 100000;
    EXPECT_EQ(Column_scrollBy(&column, &d), 1);
    EXPECT_EQ(d, -3640 + 100000 - 8640);
    ASSERT_EQ(Column_refreshFlags(&column), 0);
    EXPECT_EQ(column.moreBefore, 1u);
    EXPECT_EQ(column.moreAfter, 0u) << "the bottom margin is in view";
    d = 10;
    EXPECT_EQ(Column_scrollBy(&column, &d), 0) << "nothing moves at the end";
    EXPECT_EQ(d, 10);

    d = -100000;
    EXPECT_EQ(Column_scrollBy(&column, &d), 1);
    EXPECT_EQ(d, 8640 - 100000 + 3640);
    EXPECT_EQ(Column_topMargin(&column), 0);
    ASSERT_EQ(Column_refreshFlags(&column), 0);
    EXPECT_EQ(column.moreBefore, 0u);
    EXPECT_EQ(column.moreAfter, 1u);

    // A partial scroll: everything moves.
    d = 4640;
    EXPECT_EQ(Column_scrollBy(&column, &d), 1);
    EXPECT_EQ(d, 0);
    EXPECT_EQ(anchor().index, 1);
    EXPECT_EQ(anchor().offset, 0);
    ASSERT_EQ(Column_refreshFlags(&column), 0);
    EXPECT_EQ(column.moreBefore, 1u);
    EXPECT_EQ(column.moreAfter, 1u);
}

TEST_F(ColumnTest, SettleBringsTheAnchorBackInsideTheMargins)
{
    anchorAt(0, 1000, -10000);
    EXPECT_GT(Column_topMargin(&column), 0);
    ASSERT_EQ(Column_settle(&column), 0);
    EXPECT_EQ(anchor().offset, -3640);
    EXPECT_EQ(column.moreBefore, 0u);
    EXPECT_EQ(column.moreAfter, 1u);

    // Past the bottom margin: back up so the view ends at 7000 + 3640.
    anchorAt(3, 3000, 6000); // 10000
    ASSERT_EQ(Column_settle(&column), 0);
    EXPECT_EQ(anchor().index, 3);
    EXPECT_EQ(anchor().offset, 8640 - 4000);
    EXPECT_EQ(column.moreBefore, 1u);
    EXPECT_EQ(column.moreAfter, 0u);

    // Content shorter than the view rests at the top.
    Column_setSize(&column, 400, 20000);
    ASSERT_EQ(Column_settle(&column), 0);
    EXPECT_EQ(anchor().offset, -3640);
    EXPECT_EQ(column.moreBefore, 0u);
    EXPECT_EQ(column.moreAfter, 0u);
}

TEST_F(ColumnTest, ExtentHasBothMargins)
{
    int32_t top = 0, height = 0;
    ASSERT_EQ(Column_extent(&column, &top, &height), 0);
    EXPECT_EQ(top, 7280 - 2000);
    EXPECT_EQ(height, 7000 + 3640);
    Column_setSize(&column, 400, 9000);
    ASSERT_EQ(Column_extent(&column, &top, &height), 0);
    EXPECT_EQ(top, 0) << "at least 0";

    // The lines in column coordinates, in order.
    std::vector<Rect> seen;
    auto visit = [](void *arg, ColumnNode *, const Rect *r) {
        static_cast<std::vector<Rect> *>(arg)->push_back(*r);
        return 0;
    };
    ASSERT_EQ(Column_visitLines(&column, visit, 0, 0, &seen), 0);
    ASSERT_EQ(seen.size(), 5u);
    const int32_t tops[] = {0, 1000, 3000, 3500, 4000};
    for (size_t i = 0; i < 5; i++)
        EXPECT_EQ(seen[i].y0, tops[i]) << i;
    EXPECT_EQ(seen[4].y1, 7000);
    seen.clear();
    ASSERT_EQ(Column_visitLines(&column, visit, 1, 1500, &seen), 0);
    EXPECT_EQ(seen.size(), 2u) << "stops once a line starts past the end";
}

// Lines whose height is lineWord per 1000 units of layout width.
int scaledRect(const ColumnNode *line, int32_t width, Rect *out)
{
    *out = Rect{0, -int32_t(line->lineWord * width / 1000), width, 0};
    return 0;
}

TEST_F(ColumnTest, RelayoutKeepsTheAnchorsFraction)
{
    for (uint32_t i = 0; i < root->count; i++)
        if (root->items[i]->kind == ColumnNode_line)
            root->items[i]->rect = scaledRect;
    Column_setSize(&column, 1000, 2000);
    anchorAt(1, 2000, 500); // a quarter into line b
    ASSERT_EQ(Column_relayout(&column, 3000, 4000), 0);
    ScrollAnchor a = anchor();
    EXPECT_EQ(a.index, 1);
    EXPECT_EQ(a.extent, 6000);
    EXPECT_EQ(a.offset, 1500);
    EXPECT_EQ(column.layoutWidth, 3000);
    EXPECT_EQ(Column_visibleHeight(&column), 4000);

    // The start anchor and anchors inside nested columns stay as they were.
    Column_defaultAnchor(&a);
    Column_setAnchor(&column, &a);
    ASSERT_EQ(Column_relayout(&column, 1000, 2000), 0);
    EXPECT_EQ(anchor().offset, -3640);
}

TEST_F(ColumnTest, RestoresSavedPositionsAndFallsBackToTheDefault)
{
    ColumnNode *sub = list(300);
    line(sub, 10);
    line(sub, 20);
    ASSERT_EQ(ColumnList_append(root, sub), 0);

    uint32_t ids[3] = {100, 300, 0};
    ScrollPosition saved{};
    saved.words[0] = ScrollAnchor_line;
    saved.words[1] = 1;
    saved.words[2] = 5;
    saved.ids = ids;
    saved.idCount = 2;
    ASSERT_EQ(Column_restorePosition(&column, &saved), 0);
    ScrollAnchor a = anchor();
    EXPECT_EQ(a.kind, ScrollAnchor_line);
    EXPECT_EQ(a.list, sub);
    EXPECT_EQ(a.index, 1);
    EXPECT_EQ(a.offset, 5);
    EXPECT_EQ(a.extent, 20);

    // An index past the end: the last item, offset 0.
    saved.words[1] = 9;
    ASSERT_EQ(Column_restorePosition(&column, &saved), 0);
    EXPECT_EQ(anchor().index, 1);
    EXPECT_EQ(anchor().offset, 0);

    // Into the nested column: its source goes into the anchor.
    ids[1] = 7;
    saved.words[1] = 1;
    ASSERT_EQ(Column_restorePosition(&column, &saved), 0);
    EXPECT_EQ(anchor().source, &inner->source);

    // An id that is gone, or a root that is not the first id: the default.
    ScrollAnchor def{};
    Column_defaultAnchor(&def);
    for (uint32_t gone : {999u, 0u}) {
        anchorAt(1, 2000, 7);
        ids[0] = gone == 0 ? 55 : 100;
        ids[1] = gone == 0 ? 300 : gone;
        ASSERT_EQ(Column_restorePosition(&column, &saved), 0);
        a = anchor();
        EXPECT_EQ(a.kind, def.kind) << gone;
        EXPECT_EQ(a.list, nullptr);
        EXPECT_EQ(a.offset, def.offset);
    }

    // Another kind: taken as saved.
    saved.words[0] = ScrollAnchor_end;
    saved.words[2] = 77;
    ASSERT_EQ(Column_restorePosition(&column, &saved), 0);
    EXPECT_EQ(anchor().kind, ScrollAnchor_end);
    EXPECT_EQ(anchor().offset, 77);

    // The snapshot: five words, the count, the ids.
    ids[0] = 100;
    ids[1] = 300;
    int32_t *snap = ScrollPosition_snapshot(&saved);
    ASSERT_NE(snap, nullptr);
    EXPECT_EQ(snap[5], 2);
    EXPECT_EQ(snap[6], 100);
    EXPECT_EQ(snap[7], 300);
    Mem_free(snap);
    Mem_failAfter(1);
    EXPECT_EQ(Column_restorePosition(&column, &saved), 1);
    Mem_failAfter(0);
}

TEST_F(ColumnTest, NestingStopsAtTenLevels)
{
    // A chain of 12 nested columns, each with one line of 100.
    std::vector<Nested *> chain;
    for (int i = 0; i < 12; i++)
        chain.push_back(new Nested);
    for (int i = 0; i < 12; i++) {
        ColumnNode *l = list();
        line(l, 100);
        if (i + 1 < 12)
            nested(l, chain[size_t(i) + 1], uint32_t(i + 1));
        Column_setContent(&chain[size_t(i)]->column, l);
    }
    ColumnNode *top = list(1);
    line(top, 100);
    nested(top, chain[0], 50);
    Column_setContent(&column, top);
    int32_t t = 0, h = 0;
    ASSERT_EQ(Column_extent(&column, &t, &h), 0);
    EXPECT_EQ(h, 11 * 100 + 3640) << "the column's own line and ten nested levels";
    for (Nested *n : chain) {
        EXPECT_EQ(n->acquired, n->released);
        delete n;
    }

    ScrollPath path;
    ScrollPath_init(&path);
    int32_t pushed = 0;
    while (ScrollPath_push(&path, nullptr, &column) == 0)
        pushed++;
    EXPECT_EQ(pushed, 10);
    ScrollPath_pop(&path);
    EXPECT_EQ(path.count, 9);
}

// A loader that fills its list with two lines of 400 and counts its runs.
int loadTwo(void *context, intptr_t, ColumnWalkState *state)
{
    ++*static_cast<int *>(context);
    for (int i = 0; i < 2; i++) {
        ColumnNode *n = nullptr;
        if (ColumnLine_create(&n, 0, 400) != 0)
            return 1;
        if (ColumnList_append(state->list, n) != 0) {
            ColumnNode_free(n);
            return 1;
        }
    }
    return 0;
}

TEST_F(ColumnTest, ListsLoadOnceAndUnmeasuredOnesStopALazyScroll)
{
    int runs = 0;
    ColumnNode *lazy = nullptr;
    ASSERT_EQ(ColumnList_create(&lazy), 0);
    lazy->loader = loadTwo;
    lazy->loaderContext = &runs;
    ASSERT_EQ(ColumnList_append(root, lazy), 0);

    int32_t overshoot = 0;
    anchorAt(3, 3000, 0);
    // Stopping at unmeasured content: the lazy list is not loaded, so the
    // content ends after line e.
    ASSERT_EQ(Column_scrollForward(&column, 3500, 1, &overshoot), 0);
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(overshoot, 500 - 3640);
    anchorAt(3, 3000, 0);
    ASSERT_EQ(Column_scrollForward(&column, 3500, 0, &overshoot), 0);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(anchor().list, lazy);
    EXPECT_EQ(anchor().index, 1);
    EXPECT_EQ(anchor().offset, 100);
    int32_t t = 0, h = 0;
    ASSERT_EQ(Column_extent(&column, &t, &h), 0);
    EXPECT_EQ(runs, 1) << "loaded once";
    EXPECT_EQ(h, 7800 + 3640);

    // Resetting the measures reaches nested columns too.
    Column_resetMeasures(&column);
    EXPECT_EQ(root->measured, 0u);
    EXPECT_EQ(innerList->measured, 0u);
    EXPECT_EQ(lazy->loaded, 1u);
}

TEST_F(ColumnTest, PathsDescendThroughAnchorsAndGiveEveryColumnBack)
{
    int32_t overshoot = 0;
    ASSERT_EQ(Column_scrollForward(&column, 3640 + 3200, 0, &overshoot), 0); // into line c
    int before = inner->acquired;
    ScrollPath path;
    ScrollPath_enter(&path, &column);
    ASSERT_EQ(path.count, 2);
    EXPECT_EQ(path.column[0], &column);
    EXPECT_EQ(path.column[1], &inner->column);
    EXPECT_EQ(path.source[1], &inner->source);
    EXPECT_EQ(inner->acquired, before + 1);

    // Storing writes every column along the path; the innermost holds the
    // line itself.
    ScrollAnchor a{ScrollAnchor_line, &inner->source, innerList, 1, 500, 0, 40};
    ScrollPath_storeAnchor(&path, &a);
    EXPECT_EQ(anchor().offset, 40);
    EXPECT_EQ(anchor().source, &inner->source);
    ScrollAnchor in{};
    Column_getAnchor(&inner->column, &in);
    EXPECT_EQ(in.index, 1);
    EXPECT_EQ(in.source, nullptr);

    ScrollPath_release(&path);
    EXPECT_EQ(path.count, 0);
    EXPECT_EQ(inner->acquired, inner->released) << "the nested column was given back";

    // The simple visit sees every line; the view's visit none without a
    // column.
    int lines = 0;
    auto count = [](void *arg, ColumnNode *, const Rect *) {
        ++*static_cast<int *>(arg);
        return 0;
    };
    ASSERT_EQ(Column_visitLinesSimple(&column, count, &lines), 0);
    EXPECT_EQ(lines, 5);
    ViewColumnState empty{};
    EXPECT_EQ(View_visitColumnLines(&empty, count, 0, 0, &lines), 0);
    EXPECT_EQ(lines, 5);
}

TEST_F(ColumnTest, FixedPointUsesWideIntermediates)
{
    EXPECT_EQ(Fixed_div(0x100000, 0x100), 0x10000000);
    EXPECT_EQ(Fixed_div(-0x30000, 0x20000), -0x18000);
    EXPECT_EQ(Fixed_div(5, 0), 0);
    EXPECT_EQ(Fixed_mul(0x4000000, 0x40000), 0x10000000);
    EXPECT_EQ(Fixed_mul(-0x20000, 0x8000), -0x10000);
}

TEST_F(ColumnTest, ViewGlueConvertsUnitsAndSetsTheColumnUp)
{
    ViewColumnState *state = nullptr;
    ASSERT_EQ(View_createColumnState(&column, &state), 0);
    Matrix m{0x10000, 0, 0, 0x10000, 0, 0};
    // Scale 2: a 800 x 4000 box is 400 x 2000 column units.
    Rect box{0, 0, 800, 4000};
    ASSERT_EQ(Column_setupForView(state, &box, &m, 0x20000), 0);
    EXPECT_EQ(column.layoutWidth, 400);
    EXPECT_EQ(Column_visibleHeight(&column), 2000);
    EXPECT_EQ(anchor().offset, -3640) << "settled at the top";
    EXPECT_EQ(column.moreBefore, 0u);
    EXPECT_EQ(column.moreAfter, 1u);
    uint32_t before = 9, after = 9;
    ASSERT_EQ(View_columnQuery(state, &before, &after), 0);
    EXPECT_EQ(before, 0u);
    EXPECT_EQ(after, 1u);

    // The same matrix: the box's move scrolls the column.
    Rect moved{0, 2000, 800, 6000};
    ASSERT_EQ(Column_setupForView(state, &moved, &m, 0x20000), 0);
    EXPECT_EQ(anchor().offset, -3640 + 1000);
    EXPECT_EQ(View_columnScrollPosition(state), 1000);
    EXPECT_EQ(column.moreBefore, 1u);

    // Scrolling in view units; a remainder lost to rounding stays signed.
    int32_t movedFlag = 0, d = 200;
    ASSERT_EQ(View_scrollColumn(state, &movedFlag, &d), 0);
    EXPECT_EQ(movedFlag, 1);
    EXPECT_EQ(d, 0);
    EXPECT_EQ(anchor().offset, -3640 + 1100);
    d = -1000000;
    ASSERT_EQ(View_scrollColumn(state, &movedFlag, &d), 0);
    EXPECT_EQ(d, 2 * (-500000 + 1100));
    int32_t top = 0, height = 0;
    ASSERT_EQ(View_columnExtent(state, &top, &height), 0);
    EXPECT_EQ(height, 2 * (7000 + 3640));

    Point p{200, 400};
    View_toColumnPoint(state, &p);
    EXPECT_EQ(p.x, 100);
    EXPECT_EQ(p.y, 200);
    View_freeColumnState(state);
    EXPECT_EQ(column.content, nullptr) << "freed with its content";
}

TEST(ColumnNoHeap, NullsAreHarmless)
{
    ColumnNode_free(nullptr);
    ColumnList_clear(nullptr);
    View_freeColumnState(nullptr);
    uint32_t a = 0, b = 0;
    EXPECT_EQ(View_columnQuery(nullptr, &a, &b), Res_noSuchPage);
}

} // namespace
