// Worksheet drawings: the drawing group and sheet drawings gathered from
// their records (split over CONTINUE records, an unexpected record inside
// a run, an impossible first length), client records, palette colours,
// cell anchors, and in the document tree the placed shapes, text boxes
// with their runs, fonts and alignment, notes left to their cells and the
// hyperlink and note ranges of the sheet.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/container/obj.h"
#include "core/mem/mem.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/style/stylerule.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/edr/page.h"
#include "spreadsheet/reader/sheetpage.h"
#include "office/ole2/oleprobe.h"
#include "office/officeart/escher.h"
#include "office/ole2/ole.h"
#include "fonts/textitem.h"
#include "layout/layout.h"
#include "layout/replaced.h"
#include "office/shape/place.h"
#include "platform/api/request.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"
#include "spreadsheet/reader/biff.h"
#include "spreadsheet/reader/excel.h"
#include "spreadsheet/reader/exceldraw.h"
#include "spreadsheet/reader/excelopen.h"
#include "spreadsheet/reader/hyperlink.h"
#include "spreadsheet/reader/sheetlayout.h"
#include "spreadsheet/reader/sheetobj.h"
#include "spreadsheet/reader/workbook.h"
#include "spreadsheet/chart/chart.h"
#include "spreadsheet/sheetedit.h"
#include "core/geom/matrix.h"
#include "spreadsheet/sheetgrid.h"
#include "tests/document/edr_fixture.h"
#include "tests/support/heap_fixture.h"

namespace {

std::string readFixture(const std::string &name)
{
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/spreadsheet/" + name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string narrow(const char16_t *p, size_t n)
{
    std::string out;
    for (size_t i = 0; i < n; i++)
        out += p[i] < 0x80 ? char(p[i]) : '?';
    return out;
}

// ------------------------------------------------------------ the load

class DrawLoad : public LeakCheckedContextTest<(16u << 20)> {
  protected:
    ExcelLoad load{};
    OleHandle *ole = nullptr;
    VfsHandle *vfs = nullptr;

    int open(const std::string &name)
    {
        std::string file = readFixture(name);
        EXPECT_FALSE(file.empty()) << name;
        prepare(file);
        return Excel_readWorkbookStream(&load, ole);
    }

    void prepare(const std::string &file)
    {
        uint8_t *copy = static_cast<uint8_t *>(Mem_malloc(file.size()));
        memcpy(copy, file.data(), file.size());
        uint32_t accepted = 0;
        EXPECT_EQ(Vfs_openMemory(ctx, copy, file.size(), 1, Vfs_modeRead | Vfs_modeSeekable, &vfs,
                                 &accepted),
                  0);
        EXPECT_EQ(Ole_openStream(vfs, &ole), 0);
        load.context = ctx;
    }

    void TearDown() override
    {
        Excel_loadFree(&load);
        Ole_close(&ole);
        Vfs_close(vfs);
        LeakCheckedContextTest::TearDown();
    }

    ExcelLoadSheet *sheet()
    {
        return load.sheets ? load.sheets->sheet : nullptr;
    }
};

const ExcelClientRecord *client(const EscherClientBytes &b)
{
    return b.length == sizeof(ExcelClientRecord)
               ? reinterpret_cast<const ExcelClientRecord *>(b.bytes)
               : nullptr;
}

TEST_F(DrawLoad, SplitDrawingGivesOneBufferAndHandsItsRecordsToTheShapes)
{
    ASSERT_EQ(open("drawsplit.xls"), 0);
    ASSERT_NE(load.draw, nullptr);
    ASSERT_NE(load.draw->drawing, nullptr);
    ExcelLoadSheet *s = sheet();
    ASSERT_NE(s, nullptr);
    ASSERT_NE(s->drawingState, nullptr);
    const EscherDrawingGroup *g = s->drawingState->group;
    ASSERT_NE(g, nullptr);
    // The patriarch, the rectangle, the text box and the note.
    ASSERT_EQ(g->count, 4u);
    EXPECT_EQ(s->objectCount, 3u);
    EXPECT_EQ(s->drawingState->count, 5u); // three objects, two texts

    const ExcelClientRecord *rect = client(g->shapes[1].clientData);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->kind, uint32_t(ExcelClient_object));
    EXPECT_EQ(s->objects[rect->object].type, 1);
    const ExcelClientRecord *box = client(g->shapes[2].textbox);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->kind, uint32_t(ExcelClient_text));
    const ExcelTextObject *t = s->objects[box->object].text;
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(narrow(t->text, t->length), "Plain\nBold");
    const ExcelClientRecord *note = client(g->shapes[3].clientData);
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(s->objects[note->object].type, Excel_objNote);
    EXPECT_EQ(client(g->shapes[1].textbox), nullptr); // the rectangle has no text
    // The sheet's extent reaches the last anchor: column H (the note), row
    // 10 (the text box).
    uint32_t columns = 0, rows = 0;
    ExcelDraw_objectsExtent(s, &columns, &rows);
    EXPECT_EQ(columns, 8u);
    EXPECT_EQ(rows, 10u);

    // Palette colours become red, green and blue: fill index 2 is red,
    // line index 12 blue.
    ExcelDraw_resolveColours(load.draw, s->drawingState->group);
    EXPECT_EQ(Escher_propFind(385, g->shapes[1].props)->value, 0x0000FFu);
    EXPECT_EQ(Escher_propFind(448, g->shapes[1].props)->value, 0xFF0000u);
}

TEST_F(DrawLoad, DrawingsUnderFailingAllocations)
{
    // Every allocation of the load fails in turn: the load gives 1 or,
    // where a part of a drawing is left out, 0; nothing leaks.
    std::string file = readFixture("drawsplit.xls");
    int failed = 0;
    for (uint64_t n = 1; n < 400; n++) {
        prepare(file);
        Mem_failAfter(n);
        int rc = Excel_readWorkbookStream(&load, ole);
        Mem_failAfter(0);
        Excel_loadFree(&load);
        load = ExcelLoad{};
        Ole_close(&ole);
        Vfs_close(vfs);
        vfs = nullptr;
        ASSERT_TRUE(rc == 0 || rc == 1) << n << ": " << rc;
        failed += rc == 1;
    }
    EXPECT_GT(failed, 20);
}

TEST_F(DrawLoad, BrokenDrawingsLeaveTheCellsLoaded)
{
    // A NUMBER inside the drawing run: the drawing is dropped, the number
    // is read by the sheet walk, and the objects after it still load.
    ASSERT_EQ(open("drawstray.xls"), 0);
    ExcelLoadSheet *s = sheet();
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(!s->drawingState || !s->drawingState->group);
    const ExcelCellValue *v = Excel_loadCellAt(s, 4, 0);
    ASSERT_NE(v, nullptr);
    EXPECT_DOUBLE_EQ(v->value.number, 9.0);
    EXPECT_EQ(s->objectCount, 3u);
}

TEST_F(DrawLoad, AHugeFirstLengthIsCutToTheStream)
{
    // The DgContainer claims 0xFFFFFFF0 bytes; the gathering stops at the
    // stream's end instead of asking the heap for 4 GiB, and the drawing
    // that cannot be read is dropped.
    ASSERT_EQ(open("drawhuge.xls"), 0);
    ExcelLoadSheet *s = sheet();
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(!s->drawingState || !s->drawingState->group);
    ASSERT_NE(Excel_loadCellAt(s, 1, 1), nullptr);
}

TEST_F(DrawLoad, NoteTextAndHyperlinkRangeFromWriteExcel)
{
    ASSERT_EQ(open("drawnote.xls"), 0);
    ExcelLoadSheet *s = sheet();
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(s->noteCount, 1u);
    EXPECT_EQ(s->notes[0].row, 1);
    EXPECT_EQ(s->notes[0].column, 1);
    const ExcelObject *note = nullptr;
    for (uint32_t i = 0; i < s->objectCount; i++)
        if (s->objects[i].type == Excel_objNote && s->objects[i].id == s->notes[0].objectId)
            note = &s->objects[i];
    ASSERT_NE(note, nullptr);
    ASSERT_NE(note->text, nullptr);
    EXPECT_EQ(narrow(note->text->text, note->text->length), "Check this figure");
    ASSERT_EQ(s->linkCount, 1u);
    EXPECT_EQ(s->links[0].range.firstRow, 0);
    EXPECT_EQ(s->links[0].range.firstColumn, 3);
    EXPECT_EQ(s->links[0].range.lastColumn, 3);
}

TEST_F(DrawLoad, EmbeddedChartInsideADrawingRunLoads)
{
    // The chart's substream follows its OBJ in the middle of the drawing.
    ASSERT_EQ(open("writeexcel.xls"), 0);
    ExcelLoadSheet *s = sheet();
    ASSERT_NE(s, nullptr);
    ASSERT_NE(s->drawingState, nullptr);
    ASSERT_NE(s->drawingState->group, nullptr);
    bool chart = false;
    for (uint32_t i = 0; i < s->objectCount; i++)
        chart = chart || (s->objects[i].type == Excel_objChart && s->objects[i].chart);
    EXPECT_TRUE(chart);
}

// ------------------------------------------------------------ anchors

TEST(ExcelDrawAnchor, CellAnchorsBecomeRectangles)
{
    uint32_t widths[3] = {1000, 2000, 4096};
    uint32_t rows[3] = {100, 300, 600};
    SheetMetrics m{};
    m.columnCount = 3;
    m.columnWidths = widths;
    m.rowCount = 3;
    m.rowPositions = rows;
    m.scale = 5060;
    SheetGrid g{};
    g.metrics = &m;
    const int64_t defaultColumn = 5060 * 8 + 3494, defaultRow = (255 << 16) / 1440;
    auto anchor = [](uint16_t c0, uint16_t dx0, uint16_t r0, uint16_t dy0, uint16_t c1,
                     uint16_t dx1, uint16_t r1, uint16_t dy1) {
        std::vector<uint8_t> a;
        for (uint16_t v : {uint16_t(0), c0, dx0, r0, dy0, c1, dx1, r1, dy1}) {
            a.push_back(uint8_t(v));
            a.push_back(uint8_t(v >> 8));
        }
        return a;
    };
    struct Case {
        const char *what;
        std::vector<uint8_t> a;
        uint32_t rtl;
        int64_t x, y, w, h;
    } cases[] = {
        {"column 2 offset 512 starts half-way across", anchor(2, 512, 0, 0, 2, 1024, 1, 0), 0,
         3000 + 2048, 0, 2048, 100},
        {"row offsets in 1/256", anchor(0, 0, 1, 128, 1, 0, 2, 64), 0, 0, 200, 1000,
         300 + 75 - 200},
        {"past the grid: default sizes", anchor(4, 0, 4, 0, 5, 512, 5, 256), 0,
         7096 + defaultColumn, 600 + defaultRow, defaultColumn + defaultColumn / 2, 2 * defaultRow},
        {"right to left: mirrored", anchor(0, 0, 0, 0, 1, 512, 0, 0), 1, 7096, 0, -2000, 0},
    };
    for (const Case &c : cases) {
        g.rightToLeft = c.rtl;
        ShapeRect r{};
        ExcelDraw_anchorRect(&g, 10, 20, &r, c.a.data());
        EXPECT_EQ(r.x, c.x + 10) << c.what;
        EXPECT_EQ(r.y, c.y + 20) << c.what;
        EXPECT_EQ(r.w, c.w) << c.what;
        EXPECT_EQ(r.h, c.h) << c.what;
    }
}

class ExcelDrawInsets : public LeakCheckedHeapTest<(1u << 20)> {};

TEST_F(ExcelDrawInsets, TextInsetsMoveTheEdgesIn)
{
    int32_t r[4] = {1000, 2000, 30000, 20000};
    Shape_applyTextInsets(r, nullptr);
    EXPECT_EQ(r[0], 1000 + 1310);
    EXPECT_EQ(r[1], 2000 + 655);
    EXPECT_EQ(r[2], 30000 - 2 * 1310);
    EXPECT_EQ(r[3], 20000 - 2 * 655);
    // An inch (914400 EMU) on every side of a box one inch wide leaves it
    // empty, not negative.
    uint8_t fopt[24];
    for (int i = 0; i < 4; i++) {
        uint16_t id = uint16_t(129 + i);
        uint32_t v = 914400;
        memcpy(fopt + 6 * i, &id, 2);
        memcpy(fopt + 6 * i + 2, &v, 4);
    }
    EscherPropSet *set = Escher_propParse(fopt, sizeof fopt, 4);
    ASSERT_NE(set, nullptr);
    int32_t small[4] = {0, 0, 65536, 3 * 65536};
    Shape_applyTextInsets(small, set);
    EXPECT_EQ(small[0], 65536);
    EXPECT_EQ(small[2], 0);
    EXPECT_EQ(small[3], 65536);
    Escher_propFree(set);
}

// ------------------------------------------------------------ the tree

void collect(Edr_Node *node, uint32_t type, std::vector<Edr_Node *> *out)
{
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        if (Edr_Node_type(c) == type)
            out->push_back(c);
        if (Edr_Node_type(c) == Edr_NodeType_group)
            collect(c, type, out);
    }
}

std::string textOf(Edr_Node *n)
{
    const Edr_TextNode *t = Edr_Node_textPayload(n);
    return narrow(t->chars, t->length);
}

Edr_Node *findText(Edr_Node *root, const std::string &text)
{
    std::vector<Edr_Node *> texts;
    collect(root, Edr_NodeType_text, &texts);
    for (Edr_Node *t : texts)
        if (textOf(t) == text)
            return t;
    return nullptr;
}

// The properties of the rules of the document's style sheets that the
// group's ids select.
std::map<uint32_t, Prop> propsOf(Edr_Doc *doc, Edr_Node *node)
{
    std::map<uint32_t, Prop> out;
    const Edr_Group *g = Edr_Node_group(node);
    if (!g->ids)
        return out;
    Request *request = nullptr;
    if (Edr_Doc_getRequest(doc, nullptr, &request))
        return out;
    while (request) {
        for (StyleRule *r = Request_firstItem(request); r; r = Request_nextItem(request, r))
            for (const uint32_t *id = g->ids; *id; id++)
                if (r->matches && r->matches->key == *id)
                    for (StylePropItem *p = r->firstProp; p; p = p->next)
                        out[p->value.id] = p->value;
        Request *next = nullptr;
        int err = Edr_Doc_getRequest(doc, request, &next);
        Request_release(request);
        request = err ? nullptr : next;
    }
    return out;
}

// The properties of the group's own rule.
std::map<uint32_t, Prop> ownProps(Edr_Node *node)
{
    std::map<uint32_t, Prop> out;
    const Edr_GroupExt *ext = Edr_Node_group(node)->ext;
    for (StylePropItem *p = ext && ext->props[1] ? ext->props[1]->firstProp : nullptr; p;
         p = p->next)
        out[p->value.id] = p->value;
    return out;
}

SheetGrid *firstGrid(Edr_Node *root)
{
    std::vector<Edr_Node *> grids;
    collect(root, Edr_NodeType_grid, &grids);
    return grids.empty() ? nullptr
                         : static_cast<SheetGrid *>(
                               static_cast<Edr_GridNode *>(Edr_Node_payload(grids[0]))->record);
}

const TaggedRecord *firstRange(const SheetGrid *g, TaggedDisposeFn tag)
{
    for (const TaggedNode *n = g ? g->taggedLists : nullptr; n; n = n->next)
        if (n->tag == tag)
            return n->first;
    return nullptr;
}

class DrawTree : public EdrFixture {
  protected:
    void loadFixture(const std::string &name, std::function<void(Edr_Doc *, Edr_Node *, int)> check)
    {
        std::string file = readFixture(name);
        ASSERT_FALSE(file.empty());
        run([&] {
            Edr_Doc *doc = nullptr;
            Edr_Node *root = nullptr;
            ASSERT_EQ(Edr_Doc_create(ctx(), &doc, &root), 0);
            uint8_t *copy = static_cast<uint8_t *>(Mem_malloc(file.size()));
            ASSERT_NE(copy, nullptr);
            memcpy(copy, file.data(), file.size());
            VfsHandle *stream = nullptr;
            uint32_t accepted = 0;
            ASSERT_EQ(Vfs_openMemory(ctx(), copy, file.size(), 1, Vfs_modeRead | Vfs_modeSeekable,
                                     &stream, &accepted),
                      0);
            OleHandle *ole = nullptr;
            ASSERT_EQ(Ole_openStream(stream, &ole), 0);
            int err = Excel_loadWorkbook(ctx(), ole, doc, root);
            check(doc, root, err);
            Ole_close(&ole);
            Vfs_close(stream);
            Edr_Doc_release(doc);
        });
    }
};

TEST_F(DrawTree, TextBoxRunsFontsAndAlignment)
{
    loadFixture("drawsplit.xls", [](Edr_Doc *doc, Edr_Node *root, int err) {
        ASSERT_EQ(err, 0);
        Edr_Node *plain = findText(root, "Plain\n");
        Edr_Node *bold = findText(root, "Bold");
        ASSERT_NE(plain, nullptr);
        ASSERT_NE(bold, nullptr);
        // The note's text is not drawn: notes show through their cells.
        EXPECT_EQ(findText(root, "A note"), nullptr);
        // Each run is a group of its own styled with its font: font index
        // 5 is the fifth font record, bold 14 points.
        Edr_Node *plainRun = Edr_Node_parent(plain), *boldRun = Edr_Node_parent(bold);
        ASSERT_NE(plainRun, boldRun);
        auto p = propsOf(doc, plainRun), b = propsOf(doc, boldRun);
        ASSERT_TRUE(p.count(PropId_fontSize) && b.count(PropId_fontSize));
        EXPECT_NEAR(double(Prop_getLength(&b[PropId_fontSize])) /
                        Prop_getLength(&p[PropId_fontSize]),
                    1.4, 1e-3);
        ASSERT_TRUE(b.count(PropId_fontWeight));
        // The box: bottom and right alignment (options 0x36), its width.
        Edr_Node *box = Edr_Node_parent(plainRun);
        ASSERT_EQ(box, Edr_Node_parent(boldRun));
        auto k = propsOf(doc, box);
        EXPECT_EQ(k[PropId_textAlign].type, uint32_t(KwId_right));
        EXPECT_EQ(k[PropId_verticalAnchor].type, uint32_t(KwId_bottom));
        EXPECT_EQ(k[PropId_whiteSpace].type, uint32_t(KwId_preWrap));
        ASSERT_TRUE(k.count(PropId_width));
        SheetGrid *g = firstGrid(root);
        ASSERT_NE(g, nullptr);
        const uint32_t *w = g->metrics->columnWidths;
        // Anchored over columns A and B, less the default insets.
        EXPECT_EQ(Prop_getLength(&k[PropId_width]), int32_t(w[0] + w[1]) - 2 * 1310);
        EXPECT_EQ(k.count(PropId_transform), 0u);
    });
}

TEST_F(DrawTree, ShapeStartsHalfWayAcrossItsColumn)
{
    loadFixture("drawsplit.xls", [](Edr_Doc *, Edr_Node *root, int err) {
        ASSERT_EQ(err, 0);
        SheetGrid *g = firstGrid(root);
        ASSERT_NE(g, nullptr);
        const uint32_t *w = g->metrics->columnWidths;
        const uint32_t *rows = g->metrics->rowPositions;
        // Positions are in the page body's frame: the grid's left edge at
        // the page's left margin (0.2 inch here), its top at the body's top
        // (below the header and the top margin, which are not added).
        int32_t x = Excel_Page_margin(0.2) + int32_t(w[0] + w[1] + w[2] / 2);
        // The rectangle runs from row 2 down to half-way into row 5 (offset
        // 128 of 256); an outline's origin is its box's bottom-left corner.
        int32_t bottom = int32_t(rows[3] + (rows[4] - rows[3]) / 2);
        std::vector<Edr_Node *> data, paths;
        collect(root, Edr_NodeType_data, &data);
        collect(root, Edr_NodeType_path, &paths);
        EXPECT_FALSE(paths.empty());
        bool found = false;
        for (Edr_Node *d : data) {
            const Prop *p = static_cast<const Prop *>(Edr_Node_payloadOrNull(d));
            if (p && p->id == PropId_position && p->type == PropType_pointer &&
                int32_t(uint32_t(p->payload)) == x && std::abs(int32_t(p->payload2) - bottom) <= 1)
                found = true;
        }
        EXPECT_TRUE(found) << "no shape placed at (" << x << ", " << bottom << ")";
    });
}

TEST_F(DrawTree, SheetWithShapesButNoCellsShowsThem)
{
    loadFixture("drawonly.xls", [](Edr_Doc *, Edr_Node *root, int err) {
        ASSERT_EQ(err, 0);
        // The page is there, its grid reaching the shapes' anchors with the
        // least extent of a sheet.
        SheetGrid *g = firstGrid(root);
        ASSERT_NE(g, nullptr);
        EXPECT_GE(g->metrics->columnCount, 10u);
        EXPECT_GE(g->metrics->rowCount, 30u);
        std::vector<Edr_Node *> paths;
        collect(root, Edr_NodeType_path, &paths);
        EXPECT_FALSE(paths.empty());
        EXPECT_NE(findText(root, "Plain\n"), nullptr);
        EXPECT_NE(findText(root, "Bold"), nullptr);
    });
}

TEST_F(DrawTree, NoteShowsItsShapeByObjectId)
{
    loadFixture("drawsplit.xls", [](Edr_Doc *, Edr_Node *root, int err) {
        ASSERT_EQ(err, 0);
        SheetGrid *g = firstGrid(root);
        ASSERT_NE(g, nullptr);
        // The sheet's drawing went to its item, which the note names.
        const ExcelBookItem *item = nullptr;
        for (const ExcelBookItem *i = g->workbook ? g->workbook->items : nullptr; i; i = i->next)
            if (i->payload == g)
                item = i;
        ASSERT_NE(item, nullptr);
        ASSERT_NE(item->drawing, nullptr);
        const TaggedRecord *note = firstRange(g, Excel_noteTag);
        ASSERT_NE(note, nullptr);
        EXPECT_EQ(note->words[0], 0);
        EXPECT_EQ(note->words[1], 5);
        const ExcelNoteData *data = reinterpret_cast<const ExcelNoteData *>(note + 1);
        EXPECT_EQ(data->drawing, item->drawing);
        EXPECT_EQ(data->objectId, 3u);
        EscherShape *shape = Excel_noteShow(data);
        ASSERT_NE(shape, nullptr);
        EXPECT_EQ(shape, &item->drawing->shapes[3]);
        const ExcelClientRecord *r = client(shape->clientData);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->objectType, Excel_objNote);
        EXPECT_EQ(r->flags & ExcelClient_shown, uint32_t(ExcelClient_shown));
        // The other shapes are not notes and stay unshown, even those
        // whose object ids another note could name.
        EXPECT_EQ(client(item->drawing->shapes[1].clientData)->flags, 0u);
        const uint16_t otherIds[] = {1, 2, 99};
        for (uint16_t id : otherIds) {
            ExcelNoteData other = *data;
            other.objectId = id;
            EXPECT_EQ(Excel_noteShow(&other), nullptr) << id;
        }
        ExcelNoteData none = *data;
        none.drawing = nullptr;
        EXPECT_EQ(Excel_noteShow(&none), nullptr);
        EXPECT_EQ(Excel_noteShow(nullptr), nullptr);
    });
}

TEST_F(DrawTree, NoteAndHyperlinkRangesOverTheirCells)
{
    loadFixture("drawnote.xls", [](Edr_Doc *, Edr_Node *root, int err) {
        ASSERT_EQ(err, 0);
        SheetGrid *g = firstGrid(root);
        ASSERT_NE(g, nullptr);
        const TaggedRecord *link = firstRange(g, Excel_hyperlinkTag);
        ASSERT_NE(link, nullptr);
        EXPECT_EQ(link->words[0], 0);
        EXPECT_EQ(link->words[1], 3);
        EXPECT_EQ(link->words[2], 0);
        EXPECT_EQ(link->words[3], 3);
        EXPECT_EQ(std::u16string(Excel_hyperlinkTarget(link)), u"http://example.com/");
        EXPECT_EQ(link->next, nullptr);
        const TaggedRecord *note = firstRange(g, Excel_noteTag);
        ASSERT_NE(note, nullptr);
        EXPECT_EQ(note->words[0], 1);
        EXPECT_EQ(note->words[1], 1);
        // The note's box is not drawn.
        EXPECT_EQ(findText(root, "Check this figure"), nullptr);
        // In the tree the link is a group over D1 carrying its address.
        std::vector<Edr_Node *> groups;
        collect(root, Edr_NodeType_group, &groups);
        std::vector<Edr_Node *> linked;
        for (Edr_Node *n : groups)
            if (Edr_Node_hasUrl(n))
                linked.push_back(n);
        ASSERT_EQ(linked.size(), 1u);
        const Edr_GroupExt *ext = Edr_Node_group(linked[0])->ext;
        ASSERT_NE(ext, nullptr);
        Url *url = Url_unpack(ext->url);
        char *address = url ? Url_toUtf8(url, 31) : nullptr;
        Url_free(url);
        ASSERT_NE(address, nullptr);
        EXPECT_STREQ(address, "http://example.com/");
        Mem_free(address);
        auto p = ownProps(linked[0]);
        EXPECT_EQ(p[PropId_display].type, uint32_t(KwId_block));
        EXPECT_EQ(Prop_getLength(&p[PropId_width]), int32_t(g->metrics->columnWidths[3]));
        EXPECT_EQ(Prop_getLength(&p[PropId_height]), int32_t(g->metrics->rowPositions[0]));
        // The marker before it puts it at D1's corner.
        Edr_Node *marker = nullptr;
        for (Edr_Node *c = Edr_Node_firstChild(Edr_Node_parent(linked[0])); c && c != linked[0];
             c = Edr_Node_nextSibling(c))
            marker = c;
        ASSERT_NE(marker, nullptr);
        const Prop *at = static_cast<const Prop *>(Edr_Node_payloadOrNull(marker));
        ASSERT_NE(at, nullptr);
        const uint32_t *w = g->metrics->columnWidths;
        // The book's left margin is 0.75 inch.
        EXPECT_EQ(int32_t(uint32_t(at->payload)),
                  Excel_Page_margin(0.75) + int32_t(w[0] + w[1] + w[2]));
    });
}

TEST_F(DrawTree, LibreOfficeTextBoxesAndShapes)
{
    loadFixture("shapes.xls", [](Edr_Doc *doc, Edr_Node *root, int err) {
        ASSERT_EQ(err, 0);
        Edr_Node *plain = findText(root, "Plain ");
        Edr_Node *bold = findText(root, "Bold");
        ASSERT_NE(plain, nullptr);
        ASSERT_NE(bold, nullptr);
        EXPECT_NE(Edr_Node_parent(plain), Edr_Node_parent(bold));
        EXPECT_TRUE(propsOf(doc, Edr_Node_parent(bold)).count(PropId_fontWeight));
        std::vector<Edr_Node *> paths;
        collect(root, Edr_NodeType_path, &paths);
        EXPECT_GE(paths.size(), 3u);
        // The upright box has no turn; the box turned by 330 degrees turns
        // its text with it (a turn of -330, that is 30 degrees, in the
        // layout's sense), its height kept for the turn's centre.
        EXPECT_EQ(propsOf(doc, Edr_Node_parent(Edr_Node_parent(plain))).count(PropId_transform),
                  0u);
        Edr_Node *turned = findText(root, "Turned");
        ASSERT_NE(turned, nullptr);
        auto k = propsOf(doc, Edr_Node_parent(Edr_Node_parent(turned)));
        ASSERT_EQ(k.count(PropId_transform), 1u);
        EXPECT_TRUE(k.count(PropId_height));
        const Matrix *m = reinterpret_cast<const Matrix *>(k[PropId_transform].payload);
        ASSERT_NE(m, nullptr);
        EXPECT_NEAR(m->a / 65536.0, std::cos(M_PI / 6), 1e-3);
        EXPECT_NEAR(std::abs(m->b) / 65536.0, 0.5, 1e-3);
    });
}

// Laid out, turned shapes give turned items: the rectangle turned by 30
// degrees has its fill and outline under that turn, clockwise about its
// anchor's centre, covering the turned outline; the text box turned by 90
// degrees turns its run clockwise (it reads downward) and the one with text
// flow 2 the other way (it reads upward), each run standing tall inside its
// anchor.
TEST_F(DrawTree, TurnedShapesAreLaidOutTurned)
{
    loadFixture("drawturned.xls", [](Edr_Doc *doc, Edr_Node *root, int err) {
        ASSERT_EQ(err, 0);
        const SheetGrid *g = firstGrid(root);
        ASSERT_NE(g, nullptr);
        Edr_Doc_readLock(doc);
        err = Layout_document(doc);
        Edr_Doc_readUnlock(doc);
        ASSERT_EQ(err, 0);
        int32_t key = -1;
        uint32_t kind = 0;
        Edr_PageEntry *entry = nullptr;
        ASSERT_EQ(Edr_Page_getKeyByIndex(&key, &kind, doc, 0), 0);
        ASSERT_EQ(Edr_Page_find(&entry, doc, key, kind, 0), 0);
        ASSERT_NE(entry, nullptr);
        std::vector<ObjHeader *> paths, texts;
        std::function<void(ObjHeader *)> walk = [&](ObjHeader *o) {
            for (; o; o = Obj_next(o)) {
                if (PathItem_part(o))
                    paths.push_back(o);
                else if (o->cls == &TextItem_class)
                    texts.push_back(o);
                if (Obj_itemKind(o) == Obj_itemContainer)
                    walk(Obj_children(o));
            }
        };
        walk(Edr_Page_deref(entry)->objects);

        // Anchors in page coordinates: x from the page's left edge (the grid
        // at the 0.2-inch margin), y upward from the grid's top.
        const uint32_t *cw = g->metrics->columnWidths;
        const uint32_t *rows = g->metrics->rowPositions;
        auto anchor = [&](uint32_t c0, uint32_t r0, uint32_t c1, uint32_t r1) {
            int32_t x = Excel_Page_margin(0.2), x0 = 0;
            for (uint32_t c = 0; c < c1; c++) {
                if (c == c0)
                    x0 = x;
                x += int32_t(cw[c]);
            }
            return Rect{x0, -int32_t(rows[r1 - 1]), x, r0 ? -int32_t(rows[r0 - 1]) : 0};
        };

        // The rectangle over B6:E7: no fill or line on the text boxes, so
        // its fill and outline are the only paths.
        const Rect bar = anchor(1, 5, 5, 7);
        const double w = bar.x1 - bar.x0, h = bar.y1 - bar.y0;
        const double c30 = std::cos(M_PI / 6), s30 = 0.5;
        ASSERT_EQ(paths.size(), 2u);
        for (ObjHeader *o : paths) {
            const Matrix *m = PathItem_part(o)->matrix;
            ASSERT_NE(m, nullptr);
            EXPECT_NEAR(m->a, 0x10000 * c30, 2);
            EXPECT_NEAR(m->b, -0x8000, 2); // x turns downward: clockwise
            EXPECT_NEAR(m->c, 0x8000, 2);
            EXPECT_NEAR(m->d, 0x10000 * c30, 2);
            const Rect r = Obj_shownBox(o);
            EXPECT_NEAR((r.x0 + double(r.x1)) / 2, (bar.x0 + double(bar.x1)) / 2, 0.01 * w);
            EXPECT_NEAR((r.y0 + double(r.y1)) / 2, (bar.y0 + double(bar.y1)) / 2, 0.01 * w);
            EXPECT_NEAR(r.x1 - r.x0, w * c30 + h * s30, 0.01 * w);
            EXPECT_NEAR(r.y1 - r.y0, w * s30 + h * c30, 0.01 * w);
        }

        struct Box {
            const char *text;
            Rect anchor;
            int32_t b; // where the turn takes the run's direction
        } boxes[] = {{"Turned", anchor(6, 1, 11, 5), -0x10000},
                     {"Upward", anchor(6, 8, 10, 11), 0x10000}};
        for (const Box &b : boxes) {
            SCOPED_TRACE(b.text);
            ObjHeader *run = nullptr;
            for (ObjHeader *o : texts)
                if (o->node && Edr_Node_type(o->node) == Edr_NodeType_text &&
                    textOf(o->node) == b.text)
                    run = o;
            ASSERT_NE(run, nullptr);
            ASSERT_NE(run->matrix, nullptr);
            EXPECT_NEAR(run->matrix->a, 0, 1);
            EXPECT_NEAR(run->matrix->b, b.b, 1);
            EXPECT_NEAR(run->matrix->c, -b.b, 1);
            EXPECT_NEAR(run->matrix->d, 0, 1);
            const Rect r = Obj_shownBox(run);
            EXPECT_GT(r.y1 - r.y0, (r.x1 - r.x0) * 5 / 4);
            EXPECT_GE(r.x0, b.anchor.x0);
            EXPECT_LE(r.x1, b.anchor.x1);
            EXPECT_GE(r.y0, b.anchor.y0);
            EXPECT_LE(r.y1, b.anchor.y1);
        }
        Edr_Page_release(entry, 0);
    });
}

TEST_F(DrawTree, LinkNodesFollowInsertedAndDeletedLines)
{
    loadFixture("drawnote.xls", [this](Edr_Doc *doc, Edr_Node *root, int err) {
        ASSERT_EQ(err, 0);
        SheetGrid *g = firstGrid(root);
        ASSERT_NE(g, nullptr);
        // The link's marker and group, as the tree holds them now.
        auto link = [&](int32_t *x, int32_t *y, int32_t *w, int32_t *h) {
            std::vector<Edr_Node *> groups;
            collect(root, Edr_NodeType_group, &groups);
            int found = 0;
            for (Edr_Node *n : groups) {
                if (!Edr_Node_hasUrl(n))
                    continue;
                found++;
                Edr_Node *marker = nullptr;
                for (Edr_Node *c = Edr_Node_firstChild(Edr_Node_parent(n)); c && c != n;
                     c = Edr_Node_nextSibling(c))
                    marker = c;
                const Prop *at =
                    marker ? static_cast<const Prop *>(Edr_Node_payloadOrNull(marker)) : nullptr;
                if (!at || at->id != PropId_position)
                    return -1;
                *x = int32_t(uint32_t(at->payload));
                *y = int32_t(at->payload2);
                auto own = ownProps(n);
                *w = own.count(PropId_width) ? Prop_getLength(&own[PropId_width]) : -1;
                *h = own.count(PropId_height) ? Prop_getLength(&own[PropId_height]) : -1;
            }
            return found;
        };
        const uint32_t *cw = g->metrics->columnWidths;
        const uint32_t *rows = g->metrics->rowPositions;
        const int32_t left = Excel_Page_margin(0.75); // the book's left margin
        int32_t x = 0, y = 0, w = 0, h = 0;
        ASSERT_EQ(link(&x, &y, &w, &h), 1);
        EXPECT_EQ(x, left + int32_t(cw[0] + cw[1] + cw[2]));
        EXPECT_EQ(y, 0);
        EXPECT_EQ(w, int32_t(cw[3]));
        EXPECT_EQ(h, int32_t(rows[0]));

        // Two columns before D and three rows above row 1: the link lies
        // over F4 and its node follows.
        ASSERT_EQ(Edr_Doc_writeLock(doc), 0);
        for (int i = 0; i < 2; i++)
            ASSERT_EQ(Excel_Sheet_insertColumn(ctx(), g, 1), 0);
        ASSERT_EQ(Excel_sheetStructureChanged(g->workbook, g, 2, 1, 2, nullptr), 0);
        for (int i = 0; i < 3; i++)
            ASSERT_EQ(Excel_Sheet_insertRow(ctx(), g, 0), 0);
        ASSERT_EQ(Excel_sheetStructureChanged(g->workbook, g, 0, 0, 3, nullptr), 0);
        Edr_Doc_writeUnlock(doc);
        ASSERT_EQ(Excel_placeLinkNodes(doc, g), 0);
        const TaggedRecord *r = firstRange(g, Excel_hyperlinkTag);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->words[0], 3);
        EXPECT_EQ(r->words[1], 5);
        cw = g->metrics->columnWidths;
        rows = g->metrics->rowPositions;
        ASSERT_EQ(link(&x, &y, &w, &h), 1);
        int32_t before = 0;
        for (int c = 0; c < 5; c++)
            before += int32_t(cw[c]);
        EXPECT_EQ(x, left + before);
        EXPECT_EQ(y, int32_t(rows[2]));
        EXPECT_EQ(w, int32_t(cw[5]));
        EXPECT_EQ(h, int32_t(rows[3] - rows[2]));

        // Deleting the link's column takes the link and its node away.
        ASSERT_EQ(Edr_Doc_writeLock(doc), 0);
        ASSERT_EQ(Excel_Sheet_deleteColumn(ctx(), g, 5), 0);
        ASSERT_EQ(Excel_sheetStructureChanged(g->workbook, g, 3, 5, 1, nullptr), 0);
        Edr_Doc_writeUnlock(doc);
        ASSERT_EQ(Excel_placeLinkNodes(doc, g), 0);
        EXPECT_EQ(firstRange(g, Excel_hyperlinkTag), nullptr);
        EXPECT_EQ(link(&x, &y, &w, &h), 0);
        EXPECT_EQ(Excel_placeLinkNodes(nullptr, g), 16);
    });
}

} // namespace
