// Shape placement: the shapes of tests/fixtures/office/drawing/place.bin
// (make_drawing_fixtures.py) placed into a fresh document, checked on the
// nodes made and on the rectangles the shape hook sees: the width and
// height swap of rotated shapes, a flipped group mirroring its child, a
// deleted group's subtree skipped, the default line width, picture fills
// drawn alone; and the arrow trimming of paths.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/geom/matrix.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "graphics/path.h"
#include "office/officeart/escher.h"
#include "office/shape/place.h"
#include "tests/document/edr_fixture.h"

namespace {

std::string drawingFixture(const std::string &name)
{
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/office/drawing/" + name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct Placed {
    uint32_t id;
    int32_t rect[4];
    int32_t rotation;
};

struct Hooks {
    std::vector<Placed> placed;
    uint32_t rules = 0;
};

int recordShape(void *user, Edr_Node *, const EscherShape *shape, const int32_t rect[4],
                int32_t rotation)
{
    static_cast<Hooks *>(user)->placed.push_back(
        {shape->shapeId, {rect[0], rect[1], rect[2], rect[3]}, rotation});
    return Res_ok;
}

int countRules(void *user, StyleRule *, uint32_t *id)
{
    *id = ++static_cast<Hooks *>(user)->rules;
    return Res_ok;
}

// One line per node: "data 74 (x,y)", "data 128 len=683", "data 125 k199",
// "path", "group {...}".
void describe(Edr_Node *node, std::vector<std::string> *out)
{
    for (Edr_Node *n = Edr_Node_firstChild(node); n; n = Edr_Node_nextSibling(n)) {
        char buf[96];
        switch (Edr_Node_type(n)) {
        case Edr_NodeType_data: {
            const Prop *p = static_cast<const Prop *>(Edr_Node_payloadOrNull(n));
            if (p->type == PropType_pointer)
                snprintf(buf, sizeof buf, "data %u (%d,%d)", p->id, int32_t(uint32_t(p->payload)),
                         int32_t(p->payload2));
            else if (p->type == PropType_colour)
                snprintf(buf, sizeof buf, "data %u #%08x", p->id, uint32_t(p->payload));
            else if (p->type == PropType_length)
                snprintf(buf, sizeof buf, "data %u len=%d", p->id, int32_t(p->payload));
            else if (p->type == PropType_stops)
                snprintf(buf, sizeof buf, "data %u stops=%d #%08x #%08x", p->id,
                         reinterpret_cast<const StopList *>(p->payload)->count,
                         reinterpret_cast<const StopList *>(p->payload)->stops[0].value,
                         reinterpret_cast<const StopList *>(p->payload)->stops[1].value);
            else if (p->type == PropType_matrix) {
                const Matrix *m = reinterpret_cast<const Matrix *>(p->payload);
                snprintf(buf, sizeof buf, "data %u {%d,%d,%d,%d}", p->id, m->a, m->b, m->c, m->d);
            } else
                snprintf(buf, sizeof buf, "data %u k%u", p->id, p->type);
            out->push_back(buf);
            break;
        }
        case Edr_NodeType_path: out->push_back("path"); break;
        case Edr_NodeType_group: {
            std::vector<std::string> inner;
            describe(n, &inner);
            std::string s = "group {";
            for (size_t i = 0; i < inner.size(); i++)
                s += (i ? "; " : "") + inner[i];
            out->push_back(s + "}");
            break;
        }
        default: out->push_back("node " + std::to_string(Edr_Node_type(n)));
        }
    }
}

bool has(const std::vector<std::string> &nodes, const std::string &line)
{
    for (const std::string &n : nodes)
        if (n == line)
            return true;
    return false;
}

// Shape entries of place.bin's drawing.
enum : int32_t {
    Patriarch = 0,
    Rotated30 = 1,
    Rotated45 = 2,
    Rotated90 = 3,
    FlippedGroup = 4,
    DeletedGroup = 6,
    Line = 8,
    PictureFill = 9,
    DeflatedPictureFill = 10,
    GradientFill = 11,
    DiamondLine = 12,
    MissingPictureFill = 13,
};

class ShapePlaceTest : public EdrFixture {
  protected:
    // Places entry index of place.bin's drawing over rect into a fresh
    // document; *nodes describes the root's children.
    int place(int32_t index, ShapeRect rect, std::vector<std::string> *nodes, Hooks *hooks)
    {
        int result = -1;
        std::string bytes = drawingFixture("place.bin");
        withDoc([&](Edr_Doc *doc, Edr_Node *root) {
            EscherDrawing *d = nullptr;
            EscherDrawingGroup *g = nullptr;
            ASSERT_EQ(Escher_openDrawingMemory(
                          ctx(), reinterpret_cast<const uint8_t *>(bytes.data()),
                          uint32_t(bytes.size()), &d, countRules, recordShape, nullptr, hooks),
                      Res_ok);
            EXPECT_EQ(Escher_readDrawingGroup(d, &g), Res_ok);
            if (g) {
                result = Shape_placeTree(doc, root, d, g, index, &rect, 0);
                nodes->clear();
                describe(root, nodes);
                Escher_drawingGroupFreeBlips(d, g);
            }
            Escher_drawingStateFree(d);
        });
        return result;
    }
};

TEST_F(ShapePlaceTest, RotationSwapsTheBoxFrom45To135Degrees)
{
    struct Case {
        int32_t index;
        uint32_t id;
        ShapeRect expected;
    };
    const Case cases[] = {
        {Rotated30, 1025, {0, 0, 200, 100}},
        {Rotated45, 1026, {50, -50, 100, 200}},
        {Rotated90, 1027, {50, -50, 100, 200}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.id);
        Hooks hooks;
        std::vector<std::string> nodes;
        ASSERT_EQ(place(c.index, {0, 0, 200, 100}, &nodes, &hooks), Res_ok);
        ASSERT_EQ(hooks.placed.size(), 1u);
        EXPECT_EQ(hooks.placed[0].id, c.id);
        const int32_t *r = hooks.placed[0].rect;
        EXPECT_EQ((ShapeRect{r[0], r[1], r[2], r[3]}).x, c.expected.x);
        EXPECT_EQ(r[1], c.expected.y);
        EXPECT_EQ(r[2], c.expected.w);
        EXPECT_EQ(r[3], c.expected.h);
        // A rotated leaf is drawn inside a group that carries its matrix.
        ASSERT_EQ(nodes.size(), 1u);
        EXPECT_EQ(nodes[0].rfind("group {data 134 {", 0), 0u) << nodes[0];
        char origin[48];
        // The outline's origin is the box's bottom-left corner (y grows
        // downward in the box, upward in the outline).
        snprintf(origin, sizeof origin, "data 74 (%d,%d); path", c.expected.x,
                 c.expected.y + c.expected.h);
        EXPECT_NE(nodes[0].find(origin), std::string::npos) << nodes[0];
    }
    // 90 degrees: the matrix is a quarter turn (no scale left on the axes).
    Hooks hooks;
    std::vector<std::string> nodes;
    ASSERT_EQ(place(Rotated90, {0, 0, 200, 100}, &nodes, &hooks), Res_ok);
    EXPECT_EQ(nodes[0].rfind("group {data 134 {0,-65536,65536,0}", 0), 0u) << nodes[0];
}

TEST_F(ShapePlaceTest, FlippedGroupMirrorsItsChild)
{
    Hooks hooks;
    std::vector<std::string> nodes;
    ASSERT_EQ(place(FlippedGroup, {0, 0, 400, 400}, &nodes, &hooks), Res_ok);
    // The child fills the left quarter of the group space: flipped, it
    // lies in the right quarter (x 300 to 400) with a negative width.
    ASSERT_EQ(hooks.placed.size(), 2u);
    EXPECT_EQ(hooks.placed[0].id, 1029u);
    EXPECT_EQ(std::vector<int32_t>(hooks.placed[0].rect, hooks.placed[0].rect + 4),
              (std::vector<int32_t>{400, 0, -100, 400}));
    EXPECT_EQ(hooks.placed[1].id, 1028u);
    EXPECT_EQ(std::vector<int32_t>(hooks.placed[1].rect, hooks.placed[1].rect + 4),
              (std::vector<int32_t>{400, 0, -400, 400}));
    // The child's outline is built mirrored, growing left from its
    // origin: the origin is the box's right edge, so that it stays inside.
    EXPECT_TRUE(has(nodes, "data 74 (400,400)"));
    EXPECT_TRUE(has(nodes, "path"));
}

TEST_F(ShapePlaceTest, DeletedShapeSkipsItsSubtree)
{
    Hooks hooks;
    std::vector<std::string> nodes;
    ASSERT_EQ(place(DeletedGroup, {0, 0, 400, 400}, &nodes, &hooks), Res_ok);
    EXPECT_TRUE(hooks.placed.empty());
    EXPECT_TRUE(nodes.empty());
    // Through the patriarch: every shape but the deleted group and its child.
    ASSERT_EQ(place(Patriarch, {0, 0, 400, 400}, &nodes, &hooks), Res_ok);
    std::vector<uint32_t> ids;
    for (const Placed &p : hooks.placed)
        ids.push_back(p.id);
    EXPECT_EQ(ids, (std::vector<uint32_t>{1025, 1026, 1027, 1029, 1028, 1032, 1033, 1034, 1035,
                                          1036, 1037, 1024}));
}

TEST_F(ShapePlaceTest, LineWidthZeroUsesTheDefaultAndArrowheadsFollowIt)
{
    Hooks hooks;
    std::vector<std::string> nodes;
    ASSERT_EQ(place(Line, {0, 0, 1000000, 0}, &nodes, &hooks), Res_ok);
    EXPECT_TRUE(has(nodes, "data 128 len=683")); // 0x2AB
    EXPECT_TRUE(has(nodes, "data 125 k199"));    // a line shape is filled by default
    // Start arrowhead: base 0x2AB + 0x555 = 0x800, length x 3, width x 3 / 2.
    EXPECT_TRUE(has(nodes, "data 130 k207"));
    EXPECT_TRUE(has(nodes, "data 133 len=6144"));
    EXPECT_TRUE(has(nodes, "data 132 len=3072"));
    EXPECT_EQ(nodes.back(), "data 131 k206"); // reset after the path
}

TEST_F(ShapePlaceTest, GradientFillBecomesAStopList)
{
    Hooks hooks;
    std::vector<std::string> nodes;
    ASSERT_EQ(place(GradientFill, {0, 0, 1000, 1000}, &nodes, &hooks), Res_ok);
    EXPECT_TRUE(has(nodes, "data 125 k200")); // gradient fill and line
    // The gradient's two stops (in the order the fill builder gives for
    // angle 0) carried over as a stop list; no solid colour.
    EXPECT_TRUE(has(nodes, "data 109 stops=2 #ffff0000 #ff0000ff"))
        << ::testing::PrintToString(nodes);
    EXPECT_FALSE(has(nodes, "data 29 #ff0000ff"));
}

TEST_F(ShapePlaceTest, DiamondStartDrawsNoArrowhead)
{
    Hooks hooks;
    std::vector<std::string> nodes;
    ASSERT_EQ(place(DiamondLine, {0, 0, 100000, 0}, &nodes, &hooks), Res_ok);
    EXPECT_TRUE(has(nodes, "data 128 len=910")); // 12700 EMU = 1 point
    EXPECT_FALSE(has(nodes, "data 130 k207"));
    for (const std::string &n : nodes)
        EXPECT_TRUE(n.rfind("data 132 ", 0) != 0 && n.rfind("data 133 ", 0) != 0) << n;
}

TEST_F(ShapePlaceTest, PictureFillWithoutLineDrawsOnlyThePicture)
{
    for (int32_t index : {PictureFill, DeflatedPictureFill}) {
        SCOPED_TRACE(index);
        Hooks hooks;
        std::vector<std::string> nodes;
        ASSERT_EQ(place(index, {10, 20, 300, 200}, &nodes, &hooks), Res_ok);
        // The metafile's group and nothing of the shape's own outline.
        ASSERT_EQ(nodes.size(), 1u);
        EXPECT_EQ(nodes[0].rfind("group {", 0), 0u);
        EXPECT_NE(nodes[0].find("node 9"), std::string::npos) << nodes[0]; // the played rectangle
        ASSERT_EQ(hooks.placed.size(), 1u);
    }
}

TEST_F(ShapePlaceTest, DeepGroupNestingEndsWithTheStackGuard)
{
    // Each group holds the next one level deeper, far deeper than the stack
    // allows (the record reader cannot make this; a caller's table can).
    const uint32_t depth = 100000;
    std::vector<EscherShape> shapes(depth);
    for (uint32_t i = 0; i < depth; i++) {
        shapes[i].flags = EscherFsp_group;
        shapes[i].level = int32_t(i);
        shapes[i].anchorWidth = shapes[i].anchorHeight = 0x10000;
    }
    EscherDrawingGroup group = {};
    group.shapes = shapes.data();
    group.count = group.capacity = depth;
    Hooks hooks;
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        EscherDrawing drawing = {};
        drawing.context = ctx();
        drawing.shapeHook = recordShape;
        drawing.styleHook = countRules;
        drawing.user = &hooks;
        const ShapeRect rect = {0, 0, 1000, 1000};
        EXPECT_EQ(Shape_placeTree(doc, root, &drawing, &group, 0, &rect, 0), Res_stackExhausted);
    });
    EXPECT_TRUE(hooks.placed.empty());
}

TEST_F(ShapePlaceTest, PictureFillWithoutPictureDrawsTheFill)
{
    Hooks hooks;
    std::vector<std::string> nodes;
    ASSERT_EQ(place(MissingPictureFill, {0, 0, 300, 200}, &nodes, &hooks), Res_ok);
    EXPECT_EQ(nodes, (std::vector<std::string>{"data 126 k201", "data 129 k205", "data 125 k196",
                                               "data 29 #ffffffff", "data 74 (0,200)", "path"}));
}

TEST_F(ShapePlaceTest, TrimForArrowsMovesTheEndsAlongTheirSegments)
{
    struct Case {
        int32_t start, end;
        int32_t expected[4]; // first point, last point
    };
    const Case cases[] = {
        {1000, 0, {1000, 0, 10000, 0}},
        {0, 2500, {0, 0, 7500, 0}},
        {1000, 1000, {1000, 0, 9000, 0}},
        // Longer than the segment: pulled in by halving until under 1001.
        {20000, 0, {625, 0, 10000, 0}},
    };
    run([&] {
        for (const Case &c : cases) {
            Path *p = nullptr;
            ASSERT_EQ(Path_create(&p, 0x10000), Res_ok);
            ASSERT_EQ(Path_moveTo(p, 0, 0), Res_ok);
            ASSERT_EQ(Path_lineTo(p, 10000, 0), Res_ok);
            EXPECT_EQ(Path_trimForArrows(p, c.start, c.end), Res_ok);
            EXPECT_EQ(p->buffer[1], c.expected[0]);
            EXPECT_EQ(p->buffer[2], c.expected[1]);
            EXPECT_EQ(p->write[-2], c.expected[2]);
            EXPECT_EQ(p->write[-1], c.expected[3]);
            Path_destroy(p);
        }
    });
}

// A piece of its own (the cloud callout's thought bubbles) is painted with
// the shape's fill and line as they are, where a shade sub-path scales the
// fill by its factor.
TEST_F(ShapePlaceTest, OwnPiecesTakeTheShapesFillAsItIs)
{
    const uint8_t fill[4] = {0x12, 0x34, 0x56, 0xFF};
    const int32_t noArrows[2] = {0, 0};
    auto emit = [&](uint32_t kind, uint32_t value) {
        std::vector<std::string> nodes;
        withDoc([&](Edr_Doc *doc, Edr_Node *root) {
            ShadePath *list = nullptr;
            Path *path = Shape_addShadePath(&list, kind, value);
            ASSERT_NE(path, nullptr);
            ASSERT_EQ(Path_moveTo(path, 0, 0), Res_ok);
            ASSERT_EQ(Path_lineTo(path, 100, 0), Res_ok);
            ASSERT_EQ(Path_lineTo(path, 100, 100), Res_ok);
            ASSERT_EQ(
                Shape_emitShadePaths(list, nullptr, doc, root, fill, ShapePaint_fillLine, noArrows),
                Res_ok);
            describe(root, &nodes);
        });
        return nodes;
    };
    std::vector<std::string> own = emit(ShadePath_own, 0xFFFFFFFFu);
    std::vector<std::string> unscaled = emit(ShadePath_shade, 0x10000);
    std::vector<std::string> darker = emit(ShadePath_shade, 0x8000);
    ASSERT_EQ(own.size(), 3u) << ::testing::PrintToString(own);
    EXPECT_EQ(own[0], "data 125 k199");
    EXPECT_EQ(own[1], unscaled.back() == "path" ? unscaled[unscaled.size() - 2] : "");
    EXPECT_NE(own[1], darker[darker.size() - 2]);
    EXPECT_EQ(own[2], "path");
}

} // namespace
