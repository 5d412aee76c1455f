// The worksheet drawing of the BIFF8 writer: a drawing model written as
// MSODRAWING and CONTINUE records and read back with the engine's OfficeArt
// reader (container lengths patched across record boundaries and client
// records, deleted shapes and groups left out, no properties record for an
// empty set, vertices with element size 0xFFF0, a child anchor where no
// cell anchor was kept), the OBJ and TXO records copied after their client
// records, client records of the wrong kind refused, and a loaded sheet's
// drawing and note written back after rows were inserted above the note.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "office/officeart/escher.h"
#include "office/ole2/ole.h"
#include "platform/vfs/vfs.h"
#include "spreadsheet/chart/chart.h"
#include "spreadsheet/reader/excel.h"
#include "spreadsheet/reader/exceldraw.h"
#include "spreadsheet/reader/excelopen.h"
#include "spreadsheet/reader/sheetlayout.h"
#include "spreadsheet/reader/workbook.h"
#include "spreadsheet/sheetgrid.h"
#include "spreadsheet/writer/drawwrite.h"
#include "spreadsheet/writer/xlswriter.h"
#include "tests/document/edr_fixture.h"
#include "tests/spreadsheet/biff_support.h"
#include "tests/spreadsheet/objwrite_support.h"
#include "tests/support/heap_fixture.h"

using namespace objwrite;

namespace {

enum : uint16_t {
    recContinue = 0x003C,
    recObj = 0x005D,
    recDrawing = 0x00EC,
    recTxo = 0x01B6,
    recNote = 0x001C
};

std::string readFixture(const std::string &name)
{
    std::ifstream in(std::string(VEXLAN_FIXTURES) + "/spreadsheet/" + name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The OfficeArt bytes of the drawing records (MSODRAWING and the CONTINUE
// records that follow them) and, in order, the other records with the
// CONTINUE records that follow those.
void split(const std::vector<Record> &recs, std::string *art, std::vector<Record> *others)
{
    bool drawing = false;
    for (const Record &r : recs) {
        if (r.type == recDrawing || (r.type == recContinue && drawing)) {
            drawing = true;
            *art += r.body;
        } else {
            if (r.type != recContinue)
                drawing = false;
            others->push_back(r);
        }
    }
}

// Checks that every container's length covers its children exactly;
// answers the record types in walk order with their nesting.
std::string walk(const std::string &b, size_t at, size_t end, int depth, bool *ok)
{
    std::string out;
    while (at < end) {
        if (at + 8 > end) {
            *ok = false;
            return out;
        }
        uint32_t vi = le16(b, at), type = le16(b, at + 2), length = le32(b, at + 4);
        if (at + 8 + length > end) {
            *ok = false;
            return out;
        }
        char name[16];
        snprintf(name, sizeof name, "%X", type);
        out += std::string(size_t(depth), ' ') + name + "\n";
        if ((vi & 0xF) == 0xF)
            out += walk(b, at + 8, at + 8 + length, depth + 1, ok);
        at += 8 + length;
    }
    return out;
}

void collect(Edr_Node *node, uint32_t type, std::vector<Edr_Node *> *out)
{
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        if (Edr_Node_type(c) == type)
            out->push_back(c);
        if (Edr_Node_type(c) == Edr_NodeType_group)
            collect(c, type, out);
    }
}

uint8_t *heapCopy(const std::string &s)
{
    uint8_t *p = static_cast<uint8_t *>(Mem_malloc(s.size() ? s.size() : 1));
    memcpy(p, s.data(), s.size());
    return p;
}

std::string propBytes(uint32_t id, uint32_t flags, uint32_t value)
{
    return biff::u16(id | flags << 14) + biff::u32(value);
}

// A property set parsed from FOPT bytes: entries, then blocks.
EscherPropSet *props(const std::string &bytes, uint32_t count)
{
    return Escher_propParse(reinterpret_cast<const uint8_t *>(bytes.data()), uint32_t(bytes.size()),
                            count);
}

void setClient(EscherClientBytes *b, uint32_t kind, uint32_t start, uint32_t end)
{
    ExcelClientRecord r{0, kind, 0, start, end};
    b->bytes = static_cast<uint8_t *>(Mem_malloc(sizeof r));
    memcpy(b->bytes, &r, sizeof r);
    b->length = sizeof r;
}

std::string pattern(size_t n, int seed)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; i++)
        s[i] = char((i * 13 + size_t(seed)) & 0xFF);
    return s;
}

class DrawWrite : public LeakCheckedContextTest<(16u << 20)> {
  protected:
    // The source stream: two OBJ records and a TXO with two CONTINUE
    // records, at known positions.
    std::string source;
    uint32_t obj1 = 0, obj2 = 0, txo = 0, txoEnd = 0;

    void SetUp() override
    {
        LeakCheckedContextTest::SetUp();
        using biff::rec;
        source = rec(0x0809, std::string(16, '\0'));
        obj1 = uint32_t(source.size());
        source += rec(recObj, pattern(26, 1));
        obj2 = uint32_t(source.size());
        source += rec(recObj, pattern(26, 2));
        txo = uint32_t(source.size());
        source += rec(recTxo, pattern(18, 3)) + rec(recContinue, std::string("\0Text", 5)) +
                  rec(recContinue, pattern(16, 4));
        txoEnd = uint32_t(source.size());
        source += biff::eof();
    }

    // A model: the patriarch; a rectangle with a name and a cell anchor
    // and its OBJ; a deleted shape; a group holding a shape without a
    // cell anchor and with an empty property set; a custom shape with
    // vertices, segments and a 20000-byte block (past two record
    // boundaries), its OBJ and its TXO; a deleted group with a child.
    EscherDrawingGroup *model(uint32_t textKind = ExcelClient_text)
    {
        auto *g = static_cast<EscherDrawingGroup *>(Mem_calloc(1, sizeof(EscherDrawingGroup)));
        g->capacity = 8;
        g->shapes = static_cast<EscherShape *>(Mem_calloc(8, sizeof(EscherShape)));
        g->drawingId = 1;
        g->lastShapeId = 1031;
        EscherShape *s = g->shapes;
        auto shape = [&](uint32_t i, uint32_t id, uint32_t type, uint32_t flags, int32_t level) {
            s[i].shapeId = id;
            s[i].shapeType = type;
            s[i].flags = flags;
            s[i].level = level;
        };
        shape(0, 1024, 0, EscherFsp_group | EscherFsp_patriarch, 0);
        shape(1, 1025, 1, EscherFsp_haveAnchor | EscherFsp_haveSpt, 1);
        std::string name = std::string("B\0o\0x\0\0\0", 8);
        s[1].props = props(propBytes(4, 0, 7) + propBytes(896, 2, 8) + name, 2);
        s[1].clientAnchor.bytes = heapCopy(pattern(18, 9));
        s[1].clientAnchor.length = 18;
        setClient(&s[1].clientData, ExcelClient_object, obj1, obj2);
        shape(2, 1026, 1, EscherFsp_haveAnchor | EscherFsp_deleted, 1);
        s[2].props = props(propBytes(4, 0, 1), 1);
        shape(3, 1027, 0, EscherFsp_group | EscherFsp_haveAnchor, 1);
        s[3].groupLeft = 10;
        s[3].groupTop = 20;
        s[3].groupRight = 110;
        s[3].groupBottom = 70;
        s[3].clientAnchor.bytes = heapCopy(pattern(18, 5));
        s[3].clientAnchor.length = 18;
        shape(4, 1028, 1, EscherFsp_child | EscherFsp_haveAnchor, 2);
        s[4].childLeft = 10;
        s[4].childTop = 20;
        s[4].childRight = 60;
        s[4].childBottom = 45;
        s[4].props = props("", 0);
        shape(5, 1029, 0, EscherFsp_haveAnchor | EscherFsp_haveSpt, 1);
        std::string vertices = std::string("\x04\x00\x04\x00\x04\x00", 6) + pattern(16, 6);
        std::string segments = std::string("\x03\x00\x03\x00\x02\x00", 6) + pattern(6, 7);
        std::string big = pattern(20000, 8);
        s[5].props = props(propBytes(325, 2, 22) + propBytes(326, 2, 12) +
                               propBytes(898, 2, 20000) + vertices + segments + big,
                           3);
        s[5].clientAnchor.bytes = heapCopy(pattern(18, 10));
        s[5].clientAnchor.length = 18;
        setClient(&s[5].clientData, ExcelClient_object, obj2, txo);
        setClient(&s[5].textbox, textKind, txo, txoEnd);
        shape(6, 1030, 0, EscherFsp_group | EscherFsp_deleted, 1);
        shape(7, 1031, 1, EscherFsp_child, 2);
        g->count = 8;
        return g;
    }

    // Reads the OfficeArt bytes back into a drawing group.
    EscherDrawingGroup *readBack(const std::string &art)
    {
        // An empty drawing group container opens the drawing; the sheet's
        // bytes are then its main source, as the workbook reader does.
        std::string dgg = biff::u16(0xF) + biff::u16(0xF000) + biff::u32(0);
        EscherDrawing *d = nullptr;
        EXPECT_EQ(Escher_openDrawingMemory(ctx, reinterpret_cast<const uint8_t *>(dgg.data()),
                                           uint32_t(dgg.size()), &d, nullptr, nullptr, nullptr,
                                           nullptr),
                  0);
        if (!d)
            return nullptr;
        EscherSource_initMemory(&d->main, reinterpret_cast<const uint8_t *>(art.data()),
                                uint32_t(art.size()));
        EscherDrawingGroup *g = nullptr;
        EXPECT_EQ(Escher_readDrawingGroup(d, &g), 0);
        Escher_drawingStateFree(d);
        return g;
    }
};

TEST_F(DrawWrite, ModelRoundTripsThroughTheReader)
{
    SourceRig src(ctx);
    ASSERT_NO_FATAL_FAILURE(src.open(biff::compound(source)));
    WriterRig rig(ctx);
    ASSERT_NO_FATAL_FAILURE(rig.begin(src.stream, nullptr));
    EscherDrawingGroup *g = model();
    ASSERT_EQ(XlsWriter_writeDrawingGroup(&rig.writer, g), 0);
    std::string out = rig.finish();
    Escher_drawingGroupFree(g);

    std::vector<Record> recs = records(out);
    std::string art;
    std::vector<Record> others;
    split(recs, &art, &others);
    // The OBJ of the rectangle, the OBJ of the custom shape, its TXO with
    // both CONTINUE records: each byte for byte, in shape order.
    ASSERT_EQ(others.size(), 5u);
    std::vector<Record> want = records(source.substr(obj1, txoEnd - obj1));
    for (size_t i = 0; i < 5; i++) {
        EXPECT_EQ(others[i].type, want[i].type) << i;
        EXPECT_EQ(others[i].body, want[i].body) << i;
    }
    // The big block crosses record boundaries: full MSODRAWING and
    // CONTINUE records of 8224 bytes; after an OBJ the drawing goes on in
    // a new MSODRAWING record.
    size_t full = 0;
    for (size_t i = 0; i < recs.size(); i++) {
        ASSERT_LE(recs[i].body.size(), 8224u);
        full += recs[i].body.size() == 8224;
        if (i && recs[i].type == recContinue) {
            EXPECT_NE(recs[i - 1].type, recObj);
        }
    }
    EXPECT_GE(full, 2u);

    // Every container's length covers exactly its children: the lengths
    // patched across the record boundaries and the OBJ records included.
    bool ok = true;
    std::string tree = walk(art, 0, art.size(), 0, &ok);
    EXPECT_TRUE(ok) << tree;
    EXPECT_EQ(tree, "F002\n"
                    " F008\n"
                    " F003\n"
                    "  F004\n"
                    "   F009\n"
                    "   F00A\n"
                    "  F004\n"
                    "   F00A\n"
                    "   F00B\n"
                    "   F010\n"
                    "   F011\n"
                    "  F003\n"
                    "   F004\n"
                    "    F009\n"
                    "    F00A\n"
                    "    F010\n"
                    "   F004\n"
                    "    F00A\n"
                    "    F00F\n"
                    "  F004\n"
                    "   F00A\n"
                    "   F00B\n"
                    "   F010\n"
                    "   F011\n"
                    "   F00D\n");

    EscherDrawingGroup *back = readBack(art);
    ASSERT_NE(back, nullptr);
    // Deleted shapes and the deleted group's child are gone; the drawing
    // record counts the shapes written.
    ASSERT_EQ(back->count, 5u);
    const uint32_t ids[] = {1024, 1025, 1027, 1028, 1029};
    const int32_t levels[] = {0, 1, 1, 2, 1};
    for (uint32_t i = 0; i < 5; i++) {
        EXPECT_EQ(back->shapes[i].shapeId, ids[i]) << i;
        EXPECT_EQ(back->shapes[i].level, levels[i]) << i;
    }
    EXPECT_EQ(back->drawingId, 1u);
    EXPECT_EQ(back->lastShapeId, 1031u);
    EXPECT_EQ(le32(art, 16), 5u) << "shape count of the drawing record";
    const EscherShape *rect = &back->shapes[1];
    EXPECT_EQ(rect->shapeType, 1u);
    EXPECT_EQ(rect->flags, uint32_t(EscherFsp_haveAnchor | EscherFsp_haveSpt));
    ASSERT_NE(Escher_propFind(896, rect->props), nullptr);
    EXPECT_EQ(
        std::u16string(static_cast<const char16_t *>(Escher_propFind(896, rect->props)->data)),
        u"Box");
    EXPECT_EQ(Escher_propFind(4, rect->props)->value, 7u);
    ASSERT_EQ(rect->clientAnchor.length, 18u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(rect->clientAnchor.bytes), 18), pattern(18, 9));
    const EscherShape *group = &back->shapes[2];
    EXPECT_EQ(group->groupRight, 110);
    EXPECT_EQ(group->groupBottom, 70);
    const EscherShape *child = &back->shapes[3];
    EXPECT_EQ(child->props, nullptr) << "no properties record for an empty set";
    EXPECT_EQ(child->childRight, 60);
    EXPECT_EQ(child->childBottom, 45);
    // In the group's space: 10..60 of 10..110 across.
    EXPECT_EQ(child->anchorWidth, 1 << 15);
    const EscherShape *custom = &back->shapes[4];
    const EscherProp *v = Escher_propFind(325, custom->props);
    const EscherProp *seg = Escher_propFind(326, custom->props);
    const EscherProp *blk = Escher_propFind(898, custom->props);
    ASSERT_TRUE(v && seg && blk);
    EXPECT_EQ(v->value, 16u) << "the vertices' value leaves out the array head";
    EXPECT_EQ(seg->value, 12u) << "the segments' value counts it";
    const auto *va = static_cast<const EscherPropArray *>(v->data);
    const auto *sa = static_cast<const EscherPropArray *>(seg->data);
    ASSERT_TRUE(va && sa);
    EXPECT_EQ(va->count, 4);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(EscherPropArray_elements(va)), 16),
              pattern(16, 6));
    EXPECT_EQ(sa->count, 3);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(EscherPropArray_elements(sa)), 6),
              pattern(6, 7));
    const auto *b = static_cast<const EscherPropBlock *>(blk->data);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(EscherPropBlock_bytes(b)), b->length),
              pattern(20000, 8));
    // The vertices' array head says 0xFFF0.
    size_t at = art.find(std::string("\x04\x00\x04\x00\xF0\xFF", 6));
    EXPECT_NE(at, std::string::npos);
    Escher_drawingGroupFree(back);
}

TEST_F(DrawWrite, ContainersOpenedAtEveryOffsetOfARecordsEnd)
{
    // A shape whose properties end near the first record's end, then a
    // group with a child: as the block grows byte by byte, the group's
    // containers open at every offset before and after the boundary, and
    // their lengths are patched wherever they landed.
    SourceRig src(ctx);
    ASSERT_NO_FATAL_FAILURE(src.open(biff::compound(source)));
    for (uint32_t pad = 0; pad < 24; pad++) {
        SCOPED_TRACE(pad);
        auto *g = static_cast<EscherDrawingGroup *>(Mem_calloc(1, sizeof(EscherDrawingGroup)));
        g->capacity = 4;
        g->shapes = static_cast<EscherShape *>(Mem_calloc(4, sizeof(EscherShape)));
        EscherShape *s = g->shapes;
        s[0].shapeId = 1024;
        s[0].flags = EscherFsp_group | EscherFsp_patriarch;
        s[1].shapeId = 1025;
        s[1].level = 1;
        uint32_t n = 8100 + pad;
        s[1].props = props(propBytes(898, 2, n) + pattern(n, 1), 1);
        s[2].shapeId = 1026;
        s[2].flags = EscherFsp_group;
        s[2].level = 1;
        s[3].shapeId = 1027;
        s[3].level = 2;
        g->count = 4;
        WriterRig rig(ctx);
        ASSERT_NO_FATAL_FAILURE(rig.begin(src.stream, nullptr));
        ASSERT_EQ(XlsWriter_writeDrawingGroup(&rig.writer, g), 0);
        std::vector<Record> recs = records(rig.finish());
        Escher_drawingGroupFree(g);
        ASSERT_EQ(recs.size(), 2u);
        EXPECT_EQ(recs[1].type, recContinue);
        std::string art;
        std::vector<Record> others;
        split(recs, &art, &others);
        bool ok = true;
        std::string tree = walk(art, 0, art.size(), 0, &ok);
        EXPECT_TRUE(ok) << tree;
        EscherDrawingGroup *back = readBack(art);
        ASSERT_NE(back, nullptr);
        ASSERT_EQ(back->count, 4u);
        EXPECT_EQ(back->shapes[3].shapeId, 1027u);
        EXPECT_EQ(back->shapes[3].level, 2);
        Escher_drawingGroupFree(back);
    }
}

TEST_F(DrawWrite, RefusedAndEmptyDrawings)
{
    SourceRig src(ctx);
    ASSERT_NO_FATAL_FAILURE(src.open(biff::compound(source)));
    WriterRig rig(ctx);
    ASSERT_NO_FATAL_FAILURE(rig.begin(src.stream, nullptr));
    // A client text box whose record is an OBJ's: refused.
    EscherDrawingGroup *g = model(ExcelClient_object);
    EXPECT_EQ(XlsWriter_writeDrawingGroup(&rig.writer, g), 8);
    Escher_drawingGroupFree(g);
    // No group, or a group without shapes: nothing at all.
    EscherDrawingGroup empty{};
    EXPECT_EQ(XlsWriter_writeDrawingGroup(&rig.writer, nullptr), 0);
    EXPECT_EQ(XlsWriter_writeDrawingGroup(&rig.writer, &empty), 0);
    EXPECT_EQ(XlsWriter_writeDrawingGroup(nullptr, &empty), 16);
    rig.finish();
}

TEST_F(DrawWrite, DrawingsUnderFailingAllocations)
{
    SourceRig src(ctx);
    ASSERT_NO_FATAL_FAILURE(src.open(biff::compound(source)));
    EscherDrawingGroup *g = model();
    for (int n = 1;; n++) {
        WriterRig rig(ctx);
        ASSERT_NO_FATAL_FAILURE(rig.begin(src.stream, nullptr));
        Mem_failAfter(uint64_t(n));
        int rc = XlsWriter_writeDrawingGroup(&rig.writer, g);
        Mem_failAfter(0);
        rig.finish();
        if (rc == 0)
            break;
        ASSERT_EQ(rc, 1) << n;
        ASSERT_LT(n, 200);
    }
    Escher_drawingGroupFree(g);
}

// --------------------------------------------------- a loaded workbook

class DrawWriteBook : public EdrFixture {};

TEST_F(DrawWriteBook, LoadedDrawingAndNoteAfterRowsInserted)
{
    std::string file = readFixture("drawsplit.xls");
    ASSERT_FALSE(file.empty());
    run([&] {
        Edr_Doc *doc = nullptr;
        Edr_Node *root = nullptr;
        ASSERT_EQ(Edr_Doc_create(ctx(), &doc, &root), 0);
        SourceRig src(ctx());
        ASSERT_NO_FATAL_FAILURE(src.open(file));
        ASSERT_EQ(Excel_loadWorkbook(ctx(), src.handle(), doc, root), 0);
        std::vector<Edr_Node *> grids;
        collect(root, Edr_NodeType_grid, &grids);
        ASSERT_FALSE(grids.empty());
        auto *sheetGrid = static_cast<SheetGrid *>(
            static_cast<Edr_GridNode *>(Edr_Node_payload(grids[0]))->record);
        ExcelFindContext find{doc, sheetGrid->workbook};
        ASSERT_NE(find.found, nullptr);
        ExcelBookItem *item = Excel_bookWorksheetAt(find.found, 0);
        ASSERT_NE(item, nullptr);
        ASSERT_NE(item->drawing, nullptr) << "the sheet item keeps its drawing model";
        auto *grid = static_cast<SheetGrid *>(item->payload);
        // Two rows inserted at the top move the note from row 0 to row 2.
        ASSERT_EQ(Excel_sheetStructureChanged(find.found, grid, 0, 0, 2, doc), 0);

        WriterRig rig(ctx());
        ASSERT_NO_FATAL_FAILURE(rig.begin(src.stream, find.found));
        XlsSheetEntry entry{};
        entry.kind = XlsSheet_worksheet;
        entry.model = grid;
        entry.drawing = item->drawing;
        for (int i = 0; i < 2; i++)
            for (int k = 0; k < 2; k++)
                entry.records[i][k] = item->records[i][k];
        ASSERT_EQ(XlsWriter_writeDrawing(&rig.writer, &entry), 0);
        std::string out = rig.finish();
        std::vector<Record> recs = records(out);
        std::string art;
        std::vector<Record> others;
        split(recs, &art, &others);

        // The source's OBJ, TXO and CONTINUE records of the drawing, in
        // order and byte for byte, then the note at its new row.
        std::vector<Record> srcRecs = records(rig.streamOf(file));
        std::vector<Record> wantOthers;
        std::string srcNote;
        bool drawing = false;
        for (const Record &r : srcRecs) {
            if (r.type == recDrawing || (r.type == recContinue && drawing)) {
                drawing = true;
                continue;
            }
            if (r.type != recContinue)
                drawing = false;
            if (r.type == recObj || r.type == recTxo || r.type == recContinue)
                wantOthers.push_back(r);
            if (r.type == recNote)
                srcNote = r.body;
        }
        ASSERT_EQ(others.size(), wantOthers.size() + 1);
        for (size_t i = 0; i < wantOthers.size(); i++) {
            EXPECT_EQ(others[i].type, wantOthers[i].type) << i;
            EXPECT_EQ(others[i].body, wantOthers[i].body) << i;
        }
        const Record &note = others.back();
        EXPECT_EQ(note.type, recNote);
        ASSERT_EQ(note.body.size(), srcNote.size());
        EXPECT_EQ(le16(note.body, 0), le16(srcNote, 0) + 2);
        EXPECT_EQ(le16(note.body, 2), le16(srcNote, 2));
        EXPECT_EQ(note.body.substr(4), srcNote.substr(4));

        bool ok = true;
        std::string tree = walk(art, 0, art.size(), 0, &ok);
        EXPECT_TRUE(ok) << tree;
        // The model's shapes, read back the same.
        std::string dgg = biff::u16(0xF) + biff::u16(0xF000) + biff::u32(0);
        EscherDrawing *d = nullptr;
        ASSERT_EQ(Escher_openDrawingMemory(ctx(), reinterpret_cast<const uint8_t *>(dgg.data()),
                                           uint32_t(dgg.size()), &d, nullptr, nullptr, nullptr,
                                           nullptr),
                  0);
        EscherSource_initMemory(&d->main, reinterpret_cast<const uint8_t *>(art.data()),
                                uint32_t(art.size()));
        EscherDrawingGroup *back = nullptr;
        ASSERT_EQ(Escher_readDrawingGroup(d, &back), 0);
        const EscherDrawingGroup *g = item->drawing;
        ASSERT_EQ(back->count, g->count);
        for (uint32_t i = 0; i < g->count; i++) {
            EXPECT_EQ(back->shapes[i].shapeId, g->shapes[i].shapeId);
            EXPECT_EQ(back->shapes[i].shapeType, g->shapes[i].shapeType);
            EXPECT_EQ(back->shapes[i].flags, g->shapes[i].flags);
            EXPECT_EQ(back->shapes[i].clientAnchor.length, g->shapes[i].clientAnchor.length);
            EXPECT_EQ(back->shapes[i].props ? back->shapes[i].props->count : 0,
                      g->shapes[i].props ? g->shapes[i].props->count : 0);
        }
        Escher_drawingGroupFree(back);
        Escher_drawingStateFree(d);
        Edr_Doc_release(doc);
    });
}

} // namespace
