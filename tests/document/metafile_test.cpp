// Metafile playback: the fixtures of tests/fixtures/metafile (made by
// make_metafiles.py, two of them converted by LibreOffice) play into the
// expected node sequences; errors for what is no metafile, cut headers,
// malformed records and unbalanced states; the device context's mapping.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/geom/matrix.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "graphics/drawlist.h"
#include "document/import/gdi.h"
#include "document/import/metafile.h"
#include "core/mem/mem.h"
#include "tests/document/edr_fixture.h"
#include "tests/support/heap_fixture.h"

namespace {

std::vector<uint8_t> metafileFixture(const char *name)
{
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/metafile/" + name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string metafileNarrow(const char16_t *s, uint32_t n)
{
    std::string out;
    for (uint32_t i = 0; i < n; i++)
        out += s[i] < 128 ? char(s[i]) : '?';
    return out;
}

// One line per node: "data 74 (x,y)", "data 86 k147", "draw N", "text Hi",
// "group {...}".
void metafileDescribe(Edr_Node *node, std::vector<std::string> *out)
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
                snprintf(buf, sizeof buf, "data %u len", p->id);
            else if (p->type == PropType_ustr)
                snprintf(buf, sizeof buf, "data %u \"%s\"", p->id,
                         metafileNarrow(reinterpret_cast<const char16_t *>(p->payload), p->payload2)
                             .c_str());
            else if (p->type == PropType_matrix) {
                const Matrix *m = reinterpret_cast<const Matrix *>(p->payload);
                snprintf(buf, sizeof buf, "data %u {%d,%d,%d,%d}", p->id, m->a, m->b, m->c, m->d);
            } else if (p->type == PropType_counted)
                snprintf(buf, sizeof buf, "data %u clip", p->id);
            else
                snprintf(buf, sizeof buf, "data %u k%u", p->id, p->type);
            out->push_back(buf);
            break;
        }
        case Edr_NodeType_drawList: {
            Edr_DrawList *list = *static_cast<Edr_DrawList **>(Edr_Node_payloadOrNull(n));
            uint32_t entries = 0;
            const int32_t *c = list->words;
            DrawPaint paint = DrawPaint_defaults;
            while (c < list->words + list->count) {
                Path view{};
                DrawStyle_readEntry(&c, &view, &paint);
                entries++;
            }
            snprintf(buf, sizeof buf, "draw %u", entries);
            out->push_back(buf);
            break;
        }
        case Edr_NodeType_text: {
            const Edr_TextNode *t = static_cast<const Edr_TextNode *>(Edr_Node_payloadOrNull(n));
            out->push_back("text " + metafileNarrow(t->chars, t->length));
            break;
        }
        case Edr_NodeType_group: {
            std::vector<std::string> inner;
            metafileDescribe(n, &inner);
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

const std::vector<std::string> kInitial = {"data 86 k147", "data 79 k86", "data 129 k204",
                                           "data 29 #ff000000", "data 127 #ff000000"};

std::vector<std::string> withInitial(std::vector<std::string> rest)
{
    std::vector<std::string> all = kInitial;
    all.insert(all.end(), rest.begin(), rest.end());
    return all;
}

int countRules(void *context, StyleRule *, uint32_t *id)
{
    *id = ++*static_cast<uint32_t *>(context);
    return 0;
}

class MetafileTest : public EdrFixture {
  protected:
    // Plays data into a fresh document; *nodes describes the picture's group.
    int play(const std::vector<uint8_t> &data, std::vector<std::string> *nodes,
             const Rect &target = {0, 0, 400, 200}, const Rect *frame = nullptr)
    {
        int result = -1;
        withDoc([&](Edr_Doc *doc, Edr_Node *root) {
            result = Wmf_playToDoc(data.data(), uint32_t(data.size()), doc, root, &target, frame, 0,
                                   countRules, &rules);
            if (nodes) {
                nodes->clear();
                if (Edr_Node *g = Edr_Node_firstChild(root))
                    metafileDescribe(g, nodes);
            }
        });
        return result;
    }
    uint32_t rules = 0;
};

TEST_F(MetafileTest, WrappersPlayTheSamePicture)
{
    std::vector<std::string> plain;
    ASSERT_EQ(play(metafileFixture("shapes.wmf"), &plain), 0);
    EXPECT_EQ(plain, withInitial({"data 74 (0,0)", "draw 3"}));
    for (const char *name : {"placeable.wmf", "clip16.wmf", "clip32.wmf"}) {
        std::vector<std::string> nodes;
        EXPECT_EQ(play(metafileFixture(name), &nodes), 0) << name;
        EXPECT_EQ(nodes, plain) << name;
    }
}

TEST_F(MetafileTest, WhatIsNoMetafileFails)
{
    EXPECT_EQ(play(metafileFixture("bad_checksum.wmf"), nullptr), Meta_errNotMetafile)
        << "a wrong checksum is not placeable";
    EXPECT_EQ(play(std::vector<uint8_t>(17, 0), nullptr), Meta_errNotMetafile);
    EXPECT_EQ(play(std::vector<uint8_t>(64, 0xAB), nullptr), Meta_errNotMetafile);
    std::vector<uint8_t> emf = metafileFixture("stock.emf");
    emf[4] = 0xFF; // a header size past the data
    emf[5] = 0x7F;
    EXPECT_EQ(play(emf, nullptr), Meta_errTruncated);
}

TEST_F(MetafileTest, OnlyTheLowByteOfTheFunctionCounts)
{
    std::vector<uint8_t> data = metafileFixture("lines.wmf");
    std::vector<std::string> want;
    ASSERT_EQ(play(data, &want), 0);
    EXPECT_EQ(want, withInitial({"data 74 (0,0)", "draw 2"})) << "two lines: two entries";
    // The first window record: function 0x020B at offset 18 + 4.
    ASSERT_EQ(data[22], 0x0B);
    data[23] = 0x7F;
    std::vector<std::string> nodes;
    EXPECT_EQ(play(data, &nodes), 0);
    EXPECT_EQ(nodes, want);
}

TEST_F(MetafileTest, SecondLineCarriesNoPaintWords)
{
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        std::vector<uint8_t> data = metafileFixture("lines.wmf");
        Rect target{0, 0, 100, 100};
        ASSERT_EQ(Wmf_playToDoc(data.data(), uint32_t(data.size()), doc, root, &target, nullptr, 0,
                                nullptr, nullptr),
                  0);
        Edr_Node *n = Edr_Node_firstChild(Edr_Node_firstChild(root));
        while (n && Edr_Node_type(n) != Edr_NodeType_drawList)
            n = Edr_Node_nextSibling(n);
        ASSERT_NE(n, nullptr);
        Edr_DrawList *list = *static_cast<Edr_DrawList **>(Edr_Node_payloadOrNull(n));
        const int32_t *c = list->words;
        DrawPaint paint = DrawPaint_defaults;
        Path view{};
        DrawStyle_readEntry(&c, &view, &paint);
        EXPECT_EQ(paint.fillColour, 0u);
        EXPECT_EQ(paint.strokeColour, 0xFF008000u);
        EXPECT_EQ(uint32_t(c[0]) & 0x7FFFu, 4u) << "outline only, no paint words";
        // The window (0, 0)-(100, 100) fills the target: the points
        // (10, 10), (50, 50) and (10, 90) go to y = -10, -50 and -90.
        EXPECT_EQ(list->bounds[0], 10);
        EXPECT_EQ(list->bounds[2], 50);
        EXPECT_EQ(list->bounds[1], -90);
        EXPECT_EQ(list->bounds[3], -10);
    });
}

TEST_F(MetafileTest, SavedStatesCloseTheirClips)
{
    std::vector<std::string> nodes;
    ASSERT_EQ(play(metafileFixture("states.wmf"), &nodes), 0);
    EXPECT_EQ(nodes, withInitial({"data 74 (0,0)", "data 136 clip", "data 136 clip", "draw 1",
                                  "data 136 k208", "data 136 k208"}));
    // A restore with nothing saved fails.
    std::vector<uint8_t> data = metafileFixture("states.wmf");
    ASSERT_EQ(data[18 + 20 + 4], 0x1E); // the SaveDC record after the window
    data[18 + 20 + 4] = 0x00;
    EXPECT_EQ(play(data, nullptr), Meta_errNoSavedState);
}

TEST_F(MetafileTest, TextAndRotatedText)
{
    std::vector<std::string> nodes;
    ASSERT_EQ(play(metafileFixture("text.wmf"), &nodes), 0);
    EXPECT_EQ(nodes,
              withInitial({"data 29 #ffff0000", "data 37 \"Times\"", "data 38 len", "data 43 k25",
                           "data 41 k0", "data 80 k0", "data 74 (10,20)", "text Hi there",
                           "data 37 \"Courier\"", "data 38 len", "data 74 (100,150)",
                           "group {data 134 {0,65536,-65536,0}; data 86 k147; text Up}"}))
        << "an empty face is Times; spaces and tabs make nothing";
}

TEST_F(MetafileTest, TopDownBitmapIsCopiedWhole)
{
    std::vector<std::string> nodes;
    ASSERT_EQ(play(metafileFixture("bitmap.wmf"), &nodes), 0);
    EXPECT_EQ(nodes, withInitial({"data 74 (40,20)", "group {group {}}"}));
    EXPECT_EQ(rules, 2u) << "one rule for each group";
}

TEST_F(MetafileTest, EmfStockObjectsAndPaths)
{
    std::vector<std::string> nodes;
    ASSERT_EQ(play(metafileFixture("stock.emf"), &nodes), 0);
    EXPECT_EQ(nodes, withInitial({"data 74 (0,0)", "draw 2"}));
    withDoc([&](Edr_Doc *doc, Edr_Node *root) {
        std::vector<uint8_t> data = metafileFixture("stock.emf");
        Rect target{0, 0, 100, 100};
        ASSERT_EQ(Wmf_playToDoc(data.data(), uint32_t(data.size()), doc, root, &target, nullptr, 0,
                                nullptr, nullptr),
                  0);
        Edr_Node *n = Edr_Node_firstChild(Edr_Node_firstChild(root));
        while (Edr_Node_type(n) != Edr_NodeType_drawList)
            n = Edr_Node_nextSibling(n);
        Edr_DrawList *list = *static_cast<Edr_DrawList **>(Edr_Node_payloadOrNull(n));
        const int32_t *c = list->words;
        DrawPaint paint = DrawPaint_defaults;
        Path view{};
        DrawStyle_readEntry(&c, &view, &paint);
        EXPECT_EQ(paint.fillColour, 0xFFFFFFFFu) << "the white stock brush";
        EXPECT_EQ(paint.strokeColour, 0u) << "the null stock pen";
        DrawStyle_readEntry(&c, &view, &paint);
        EXPECT_EQ(paint.fillColour, 0xFF00FF00u);
    });
    ASSERT_EQ(play(metafileFixture("path.emf"), &nodes, Rect{0, 0, 99, 99}), 0);
    EXPECT_EQ(nodes, withInitial({"data 74 (0,0)", "draw 1", "data 74 (30,40)", "text OK"}))
        << "no font selected: the text goes out without font properties";
}

TEST_F(MetafileTest, MalformedRecordsFail)
{
    std::vector<uint8_t> data = metafileFixture("lines.wmf");
    // The second LineTo (last before the end record) claims a longer
    // parameter list than it has: the walk sees 2 bytes for a polyline.
    size_t last = data.size() - 6 - 10;
    ASSERT_EQ(data[last + 4], 0x13);
    data[last + 4] = 0x25; // polyline with a count of 10 in 4 bytes
    data[last + 6] = 10;
    EXPECT_EQ(play(data, nullptr), Meta_errMalformed);
    data[last + 6] = 0; // no points draw nothing
    EXPECT_EQ(play(data, nullptr), 0);
}

TEST_F(MetafileTest, CutStreamsEndQuietly)
{
    std::vector<uint8_t> data = metafileFixture("shapes.wmf");
    for (size_t n = 18; n < data.size(); n += 7) {
        std::vector<uint8_t> cut(data.begin(), data.begin() + long(n));
        EXPECT_EQ(play(cut, nullptr), 0) << n;
    }
}

TEST_F(MetafileTest, OfficePicturesPlay)
{
    for (const char *name : {"office_shapes.wmf", "office_shapes.emf"}) {
        std::vector<std::string> nodes;
        EXPECT_EQ(play(metafileFixture(name), &nodes), 0) << name;
        bool drawn = false;
        for (const std::string &s : nodes)
            drawn = drawn || s.rfind("draw ", 0) == 0;
        EXPECT_TRUE(drawn) << name;
    }
}

// The device context's mapping, without a document.
TEST(GdiTest, WindowMapsOntoTheTarget)
{
    GdiDC dc;
    Rect target{0, 0, 400, 200};
    Gdi_dcInit(nullptr, &dc, nullptr, 0, nullptr, nullptr, &target, nullptr, 0, nullptr, nullptr);
    Gdi_setMapMode(&dc, 1);
    dc.frame = Rect{0, 0, 0, 0};
    Gdi_setWindowOrg(&dc, 100, 100);
    dc.windowOrg = Point{0, 0};
    dc.frame = Rect{100, 100, 100, 100};
    Gdi_setWindowExt(&dc, 200, 100);
    Point p{};
    Matrix_transformPoint(&p, 100, 100, &dc.dcMatrix);
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 0);
    Matrix_transformPoint(&p, 300, 200, &dc.dcMatrix);
    EXPECT_EQ(p.x, 400);
    EXPECT_EQ(p.y, -200);
    EXPECT_EQ(dc.lineScale, 0x20000);
    DrawStyle_free(&dc.drawList);
}

TEST(GdiTest, MappingModesAndExtents)
{
    struct Case {
        uint32_t isEmf;
        int32_t mode;
        int32_t a, d; // the DC matrix's scales after the records
    };
    // Window extent 100 x 100, viewport extent 200 x 100, into a target as
    // large as the 100 x 100 frame: an EMF in mode 8 scales x by 2, in
    // mode 7 both axes by the smaller ratio; a WMF's window extent sizes
    // the frame instead (its window extent stays 1 x 1, so the viewport
    // extent is the scale), and mode 1 ignores the extents.
    const Case cases[] = {{1, 8, 0x20000, -0x10000},
                          {1, 7, 0x10000, -0x10000},
                          {0, 8, 200 << 16, -(100 << 16)},
                          {1, 1, 0x10000, -0x10000}};
    for (const Case &c : cases) {
        GdiDC dc;
        Rect target{0, 0, 100, 100}, frame{0, 0, 100, 100};
        Gdi_dcInit(nullptr, &dc, nullptr, 0, nullptr, nullptr, &target, &frame, 0, nullptr,
                   nullptr);
        dc.isEmf = c.isEmf;
        Gdi_setMapMode(&dc, c.mode);
        Gdi_setWindowExt(&dc, 100, 100);
        Gdi_setViewportExt(&dc, 200, 100);
        EXPECT_EQ(dc.dcMatrix.a, c.a) << c.isEmf << " " << c.mode;
        EXPECT_EQ(dc.dcMatrix.d, c.d) << c.isEmf << " " << c.mode;
        DrawStyle_free(&dc.drawList);
    }
}

TEST(GdiTest, KeepAspectCentres)
{
    GdiDC dc;
    Rect target{0, 0, 100, 100}, frame{0, 0, 100, 50};
    Gdi_dcInit(nullptr, &dc, nullptr, 0, nullptr, nullptr, &target, &frame, 1, nullptr, nullptr);
    Gdi_updateTransform(&dc);
    EXPECT_EQ(dc.dcMatrix.a, 0x10000);
    EXPECT_EQ(dc.dcMatrix.d, -0x10000);
    EXPECT_EQ(dc.dcMatrix.ty, -25);
    DrawStyle_free(&dc.drawList);
}

TEST(GdiTest, FloatsToFixedPoint)
{
    struct Case {
        float f;
        uint32_t bits;
        int32_t want;
    };
    const Case cases[] = {{1.0f, 16, 0x10000}, {-0.5f, 16, -0x8000}, {0.0f, 16, 0},
                          {40000.0f, 16, 0},   {1e-6f, 16, 0},       {123.75f, 0, 123}};
    for (const Case &c : cases) {
        uint32_t bits;
        std::memcpy(&bits, &c.f, 4);
        EXPECT_EQ(Gdi_floatToFixed(bits, c.bits), c.want) << c.f;
    }
}

} // namespace

namespace {

// A 4 x 3 24-bit bitmap with a 40-byte info header; top-down when the
// height is negative.
std::vector<uint8_t> dib(int32_t height)
{
    std::vector<uint8_t> b(40 + 12 * 3, 0);
    auto put = [&](size_t at, uint32_t v, int n) {
        for (int i = 0; i < n; i++)
            b[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    put(0, 40, 4);
    put(4, 4, 4);
    put(8, uint32_t(height), 4);
    put(12, 1, 2);
    put(14, 24, 2);
    for (size_t i = 40; i < b.size(); i++)
        b[i] = uint8_t(i);
    return b;
}

uint32_t le32(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

class GdiBmpTest : public LeakCheckedHeapTest<> {};

TEST_F(GdiBmpTest, BitmapsBecomeWholeBmpFiles)
{
    struct Case {
        int32_t height;
        uint32_t offset;
        uint32_t pixelOffset;
    };
    // Top-down bitmaps count their rows like bottom-up ones: the pixels
    // start right after the header, not past the end of the data.
    const Case cases[] = {{3, 0, 54}, {-3, 0, 54}, {3, 40, 54}};
    for (const Case &c : cases) {
        std::vector<uint8_t> d = dib(c.height);
        uint8_t *bmp = nullptr;
        uint32_t n = 0;
        ASSERT_EQ(Gdi_buildBmp(d.data(), uint32_t(d.size()), c.offset, &bmp, &n), 0);
        ASSERT_NE(bmp, nullptr);
        EXPECT_EQ(n, d.size() + 14);
        EXPECT_EQ(bmp[0], 'B');
        EXPECT_EQ(bmp[1], 'M');
        EXPECT_EQ(le32(bmp + 2), n);
        EXPECT_EQ(le32(bmp + 10), c.pixelOffset) << c.height;
        EXPECT_EQ(std::vector<uint8_t>(bmp + 14, bmp + n), d);
        Mem_free(bmp);
    }
    // An unknown header (a 124-byte one) and an empty bitmap make nothing.
    std::vector<uint8_t> v5 = dib(3);
    v5[0] = 124;
    uint8_t *bmp = nullptr;
    uint32_t n = 7;
    EXPECT_EQ(Gdi_buildBmp(v5.data(), uint32_t(v5.size()), 0, &bmp, &n), 0);
    EXPECT_EQ(bmp, nullptr);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(Gdi_buildBmp(v5.data(), 0, 0, &bmp, &n), 0);
    EXPECT_EQ(bmp, nullptr);
}

} // namespace
