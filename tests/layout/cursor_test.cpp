// The layout cursor: starting from a position pair and a style (the fixed
// cell), advancing raises but never lowers the extents, and new lines
// under nowrap keep x unless the group is a table cell with a width.
#include <gtest/gtest.h>

#include "core/style/propids.h"
#include "layout/layout.h"
#include "tests/document/style_fixture.h"

using namespace styletest;

namespace {

class LayoutCursorTest : public EdrFixture {};

TEST_F(LayoutCursorTest, NewLinesUnderNowrapKeepXOutsideFixedCells)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Node *cell = group(doc, root);
        own(doc, cell, 2, rule({kw(PropId_display, KwId_tableCell), len(PropId_width, 0x20000)}));
        Edr_Node *plainCell = group(doc, root);
        own(doc, plainCell, 2, rule({kw(PropId_display, KwId_tableCell)}));
        Edr_Node *block = group(doc, root);
        own(doc, block, 2, rule({kw(PropId_display, KwId_block), len(PropId_width, 0x20000)}));
        struct Case {
            Edr_Node *node;
            uint32_t fixedCell;
        } cases[] = {{cell, 1}, {plainCell, 0}, {block, 0}, {nullptr, 0}};
        Edr_Style *rootStyle = compute(doc, root);
        for (const Case &c : cases) {
            Edr_Style *s = c.node ? compute(doc, c.node, rootStyle) : nullptr;
            int32_t start[2] = {7, 9};
            LayoutCursor cur{};
            cur.narrowest = cur.run = 55;
            LayoutCursor_init(&cur, start, s);
            EXPECT_EQ(cur.origin, start);
            EXPECT_EQ(cur.originY, 9);
            EXPECT_EQ(cur.run, 0);
            EXPECT_EQ(cur.narrowest, 0);
            EXPECT_EQ(cur.whiteSpace, uint32_t(KwId_normal));
            EXPECT_EQ(cur.keepRuns, c.fixedCell);
            cur.indentation = 3;
            Layout_advanceX(&cur, 10);
            Layout_advanceY(&cur, 4);
            EXPECT_EQ(cur.narrowest, 13);
            EXPECT_EQ(cur.widest, 7);
            // A negative advance lowers the position, never the extents.
            Layout_advanceX(&cur, -20);
            Layout_advanceY(&cur, -20);
            EXPECT_EQ(cur.run, -10);
            EXPECT_EQ(cur.narrowest, 13);
            EXPECT_EQ(cur.widest, 7);
            Layout_newLine(&cur);
            EXPECT_EQ(cur.run, 0);
            cur.whiteSpace = KwId_nowrap;
            Layout_advanceX(&cur, 5);
            Layout_newLine(&cur);
            EXPECT_EQ(cur.run, c.fixedCell ? 0 : 5);
            Edr_Style_release(s);
        }
        Edr_Style_release(rootStyle);
    });
}

} // namespace
