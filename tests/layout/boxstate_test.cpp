// Box states: pushing and popping (bounds emptied and united back, widened
// by the block's margins; an empty block leaving the parent's bounds as
// they were; frames reused per depth; the item mark given back to the
// float area), and the block state read from styles: the alignment table
// of auto margins for boxes in flow and absolute boxes, widths and flags.
#include <initializer_list>
#include <vector>

#include "core/mem/mem.h"
#include "core/style/propids.h"
#include "layout/floatarea.h"
#include "layout/layout.h"
#include "tests/document/style_fixture.h"

using namespace styletest;

namespace {

class BoxStateTest : public EdrFixture {};

void setBounds(LayoutBox *box, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    box->bounds[0] = x0;
    box->bounds[1] = y0;
    box->bounds[2] = x1;
    box->bounds[3] = y1;
}

TEST_F(BoxStateTest, PushAndPopKeepTheParentsBounds)
{
    run([&] {
        LayoutBox *box = Box_create(nullptr);
        ASSERT_NE(box, nullptr);
        setBounds(box, 0, -100, 50, 0);
        box->maxX = 50;
        box->minY = -100;
        box->block.textAlign = KwId_center;
        ASSERT_EQ(Box_pushState(box), 0);
        BoxFrame *first = box->shared->top;
        EXPECT_GT(box->bounds[0], box->bounds[2]);
        // An empty block leaves the parent's bounds as they were.
        box->block.margin[2] = box->block.margin[3] = 7;
        Box_popState(box);
        EXPECT_EQ(box->bounds[0], 0);
        EXPECT_EQ(box->bounds[2], 50);
        EXPECT_EQ(box->block.textAlign, uint32_t(KwId_center));
        // A block with content: widened by its margins and united in; the
        // extents keep the larger reach.
        ASSERT_EQ(Box_pushState(box), 0);
        EXPECT_EQ(box->shared->top, first); // the frame is reused
        ASSERT_EQ(Box_pushState(box), 0);
        BoxFrame *second = box->shared->top;
        EXPECT_NE(second, first);
        box->block.margin[2] = 10;
        box->block.margin[3] = 20;
        box->block.textAlign = KwId_right;
        setBounds(box, 40, -300, 90, -200);
        box->maxX = 90;
        box->minY = -300;
        Box_popState(box);
        EXPECT_EQ(box->bounds[0], 30);
        EXPECT_EQ(box->bounds[1], -300);
        EXPECT_EQ(box->bounds[2], 110);
        EXPECT_EQ(box->bounds[3], -200);
        EXPECT_EQ(box->maxX, 90);
        EXPECT_EQ(box->minY, -300);
        EXPECT_EQ(box->block.textAlign, uint32_t(KwId_center));
        Box_popState(box);
        EXPECT_EQ(box->bounds[0], 0);
        EXPECT_EQ(box->bounds[2], 110);
        EXPECT_EQ(box->shared->top, nullptr);
        // The item mark becomes the float area's clear offset.
        Rect area = {0, -1000, 500, 0};
        ASSERT_EQ(FloatArea_create(&area, &box->items), 0);
        ASSERT_EQ(Box_pushState(box), 0);
        box->block.itemMark = 120;
        Box_popState(box);
        EXPECT_EQ(FloatArea_clearOffset(box->items), 120);
        FloatArea_destroy(box->items);
        // Freeing with frames still pushed pops them.
        ASSERT_EQ(Box_pushState(box), 0);
        ASSERT_EQ(Box_pushState(box), 0);
        Box_free(box);
        Box_free(nullptr);
    });
}

TEST_F(BoxStateTest, AutoMarginsAlignTheBlock)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Style *rootStyle = compute(doc, root);
        Prop autoL = kw(PropId_marginLeft, KwId_auto), autoR = kw(PropId_marginRight, KwId_auto);
        Prop abs = kw(PropId_position, KwId_absolute), rtl = kw(PropId_direction, KwId_rtl);
        Prop left = len(PropId_left, 0x1000), right = len(PropId_right, 0x1000),
             width = len(PropId_width, 0x8000);
        struct Case {
            std::vector<Prop> props;
            uint32_t enclosing; // the enclosing block's text-align (0: no frame)
            uint32_t hAlign;
        } cases[] = {
            {{autoL, autoR}, 0, KwId_center},
            {{autoL}, 0, KwId_right},
            {{autoR}, 0, 0}, // left is the start side
            {{autoR, rtl}, 0, KwId_left},
            {{autoL, rtl}, 0, 0},           // right is the start side under rtl
            {{}, KwId_center, KwId_center}, // no auto margin: the enclosing alignment
            {{}, 0, 0},
            {{abs, autoL, autoR}, KwId_center, 0}, // absolute: no enclosing alignment
            {{abs, autoL, autoR, right}, 0, KwId_right},
            {{abs, autoL, autoR, left, right, width}, 0, KwId_center},
            {{abs, autoL, autoR, left, right}, 0, 0},
            {{abs, autoL, right}, 0, KwId_right},
            {{abs, autoL}, 0, 0},
            {{abs, autoR, right}, 0, KwId_right},
            {{abs, autoR, left, right}, 0, 0},
        };
        int i = 0;
        for (const Case &c : cases) {
            Edr_Node *g = group(doc, root);
            StyleRule *r = nullptr;
            ASSERT_EQ(StyleRule_create(&r), 0);
            Prop block = kw(PropId_display, KwId_block);
            ASSERT_EQ(StyleRule_appendProp(r, &block), 0);
            for (const Prop &p : c.props)
                ASSERT_EQ(StyleRule_appendProp(r, &p), 0);
            own(doc, g, 2, r);
            Edr_Style *s = compute(doc, g, rootStyle);
            LayoutBox *box = Box_create(doc);
            ASSERT_NE(box, nullptr);
            box->availableWidth = 0x80000;
            box->avail[2] = 0x80000;
            if (c.enclosing) {
                box->block.textAlign = c.enclosing;
                ASSERT_EQ(Box_pushState(box), 0);
            }
            Box_applyStyle(box, s);
            EXPECT_EQ(box->block.hAlign, c.hAlign) << "case " << i;
            Box_free(box);
            Edr_Style_release(s);
            i++;
        }
        Edr_Style_release(rootStyle);
    });
}

TEST_F(BoxStateTest, WidthsAndFlagsFromTheStyle)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        Edr_Style *rootStyle = compute(doc, root);
        Edr_Node *wide = group(doc, root);
        own(doc, wide, 2,
            rule({kw(PropId_display, KwId_block), len(PropId_width, 0x90000),
                  len(PropId_marginLeft, 0x1000)}));
        Edr_Node *floated = group(doc, root);
        own(doc, floated, 2, rule({kw(PropId_display, KwId_block), kw(PropId_float, KwId_left)}));
        LayoutBox *box = Box_create(doc);
        ASSERT_NE(box, nullptr);
        box->availableWidth = 0x80000;
        Edr_Style *s = compute(doc, wide, rootStyle);
        Box_applyStyle(box, s);
        EXPECT_EQ(box->block.width, 0x90000);
        EXPECT_EQ(box->block.boxFlags & 13u, 13u); // a width, wider than the container
        EXPECT_EQ(box->block.itemMark, int32_t(Layout_unset));
        EXPECT_EQ(box->stateFlags & BoxState_shrinkToFit, 0u);
        Edr_Style_release(s);
        s = compute(doc, floated, rootStyle);
        Box_applyStyle(box, s);
        EXPECT_EQ(box->block.width, 0);
        EXPECT_EQ(box->block.boxFlags & BoxFlag_outOfFlow, uint32_t(BoxFlag_outOfFlow));
        EXPECT_EQ(box->stateFlags & BoxState_shrinkToFit, uint32_t(BoxState_shrinkToFit));
        Edr_Style_release(s);
        Box_free(box);
        Edr_Style_release(rootStyle);
    });
}

} // namespace
