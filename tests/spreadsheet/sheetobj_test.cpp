// The records a worksheet keeps beside its cells: raw-record lists for the
// writer (checked against a listing made from the fixtures' streams),
// embedded objects, text objects, hyperlink records and the small record
// readers.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/mem/mem.h"
#include "office/ole2/oleprobe.h"
#include "office/ole2/ole.h"
#include "platform/vfs/vfs.h"
#include "spreadsheet/reader/biff.h"
#include "spreadsheet/reader/excel.h"
#include "spreadsheet/reader/sheetlayout.h"
#include "spreadsheet/reader/sheetobj.h"
#include "spreadsheet/sheetgrid.h"
#include "tests/spreadsheet/biff_support.h"
#include "tests/support/heap_fixture.h"

using namespace biff;

namespace {

class SheetObj : public LeakCheckedContextTest<(16u << 20)> {
  protected:
    ExcelLoad load{};
    OleHandle *ole = nullptr;
    VfsHandle *vfs = nullptr;

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

    int open(const std::string &file)
    {
        prepare(file);
        return Excel_readWorkbookStream(&load, ole);
    }

    int openFixture(const char *name)
    {
        std::ifstream in(std::string(VEXLAN_FIXTURES) + "/spreadsheet/" + name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return open(s.str());
    }

    void TearDown() override
    {
        Excel_loadFree(&load);
        Ole_close(&ole);
        Vfs_close(vfs);
        LeakCheckedContextTest::TearDown();
    }

    ExcelLoadSheet *sheet(uint32_t index = 0)
    {
        ExcelSheetEntry *e = load.sheets;
        for (uint32_t i = 0; e && i < index; i++)
            e = e->next;
        return e ? e->sheet : nullptr;
    }
};

std::string line(const char *prefix, const RecListEntry *e)
{
    char buf[96];
    snprintf(buf, sizeof buf, "%s%04x %u %u", prefix, RecList_type(e), RecList_length(e),
             RecList_position(e));
    std::string s = buf;
    if (RecList_getLength(e)) {
        snprintf(buf, sizeof buf, " %u %u", RecList_getStart(e), RecList_getLength(e));
        s += buf;
    }
    return s;
}

TEST_F(SheetObj, RecordListEntries)
{
    RecListEntry *head = nullptr, *tail = nullptr, *e = nullptr;
    ASSERT_EQ(RecList_append(&head, &tail, RecList_appendAtEnd, 0x0809, 16, 4, &e), 0);
    ASSERT_EQ(RecList_append(&head, &tail, RecList_appendAtEnd, 0x00FC, 20, 24, nullptr), 0);
    ASSERT_EQ(RecList_append(&head, &tail, RecList_prepend, 0x0042, 2, 0, nullptr), 0);
    EXPECT_EQ(RecList_append(&head, &tail, 2, 1, 1, 1, nullptr), 8);
    EXPECT_EQ(RecList_append(nullptr, &tail, 1, 1, 1, 1, nullptr), 16);
    std::vector<uint32_t> types;
    for (const RecListEntry *p = head; p; p = RecList_next(p))
        types.push_back(RecList_type(p));
    EXPECT_EQ(types, (std::vector<uint32_t>{0x0042, 0x0809, 0x00FC}));
    EXPECT_EQ(RecList_type(tail), 0x00FCu);
    EXPECT_EQ(RecList_length(e), 16u);
    EXPECT_EQ(RecList_position(e), 4u);
    // No extent until one is set; each half is set alone.
    EXPECT_EQ(RecList_getStart(e), 0u);
    ASSERT_EQ(RecList_setLength(e, 30), 0);
    EXPECT_EQ(RecList_getStart(e), 0u);
    EXPECT_EQ(RecList_getLength(e), 30u);
    ASSERT_EQ(RecList_setStart(e, 20), 0);
    EXPECT_EQ(RecList_getStart(e), 20u);
    // A null entry reads as zeros.
    EXPECT_EQ(RecList_next(nullptr), nullptr);
    EXPECT_EQ(RecList_type(nullptr) + RecList_length(nullptr) + RecList_position(nullptr) +
                  RecList_getStart(nullptr) + RecList_getLength(nullptr),
              0u);
    EXPECT_EQ(RecList_setStart(nullptr, 1), 16);
    // Out of memory leaves the list as it was.
    Mem_failAfter(1);
    EXPECT_EQ(RecList_append(&head, &tail, RecList_appendAtEnd, 1, 1, 1, nullptr), 1);
    EXPECT_EQ(RecList_type(tail), 0x00FCu);
    RecList_free(&head, &tail);
    EXPECT_EQ(head, nullptr);
    EXPECT_EQ(tail, nullptr);
    RecList_free(nullptr, nullptr);
}

// The lists the loader keeps match the listing made from the stream.
TEST_F(SheetObj, RecordListsMatchTheStream)
{
    for (const char *name : {"writeexcel", "lo_book"}) {
        SCOPED_TRACE(name);
        std::ifstream in(std::string(VEXLAN_FIXTURES) + "/spreadsheet/" + name + ".records.expect");
        std::vector<std::string> expected;
        for (std::string l; std::getline(in, l);)
            if (!l.empty() && l[0] != '#')
                expected.push_back(l);
        ASSERT_FALSE(expected.empty());
        ASSERT_EQ(openFixture((std::string(name) + ".xls").c_str()), 0);
        std::vector<std::string> got;
        for (const RecListEntry *e = load.workbook->recHead; e; e = RecList_next(e))
            got.push_back(line("globals ", e));
        uint32_t index = 0;
        for (ExcelSheetEntry *s = load.sheets; s; s = s->next) {
            if (!s->sheet)
                continue;
            std::string k = "sheet " + std::to_string(index) + " kept ";
            for (const RecListEntry *e = s->sheet->kept[0]; e; e = RecList_next(e))
                got.push_back(line(k.c_str(), e));
            std::string d = "sheet " + std::to_string(index) + " drawing ";
            for (const RecListEntry *e = s->sheet->drawing[0]; e; e = RecList_next(e))
                got.push_back(line(d.c_str(), e));
            index++;
        }
        EXPECT_EQ(got, expected);
        Excel_loadFree(&load);
        load = ExcelLoad{};
        Ole_close(&ole);
        Vfs_close(vfs);
        vfs = nullptr;
    }
}

// The laid-out sheet's item takes the two lists with it.
TEST_F(SheetObj, LayoutHandsTheListsToTheItem)
{
    ASSERT_EQ(openFixture("writeexcel.xls"), 0);
    RecListEntry *kept = sheet()->kept[0], *drawing = sheet()->drawing[0];
    ASSERT_NE(kept, nullptr);
    ASSERT_NE(drawing, nullptr);
    SheetGrid *g = nullptr;
    ASSERT_EQ(Excel_sheetLayout(&load, load.sheets, &g), 0);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(sheet()->kept[0], nullptr);
    EXPECT_EQ(sheet()->drawing[0], nullptr);
    ExcelBookItem *item = load.workbook->items;
    while (item && item->payload != g)
        item = item->next;
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->records[0][0], kept);
    EXPECT_EQ(item->records[1][0], drawing);
    Excel_gridLayoutFree(g);
}

TEST_F(SheetObj, NotesObjectsAndTextsOfTheWriteExcelBook)
{
    ASSERT_EQ(openFixture("writeexcel.xls"), 0);
    ExcelLoadSheet *s = sheet();
    ASSERT_NE(s, nullptr);
    // The embedded chart's substream is passed over whole, so the notes
    // after it are read.
    ASSERT_EQ(s->noteCount, 2u);
    EXPECT_EQ(s->notes[0].row, 1u);
    EXPECT_EQ(s->notes[0].column, 1u);
    EXPECT_EQ(s->notes[0].objectId, 2u);
    EXPECT_EQ(s->notes[0].position, 3815u);
    EXPECT_EQ(s->notes[1].row, 5u);
    EXPECT_EQ(s->notes[1].column, 0u);
    EXPECT_EQ(s->notes[1].objectId, 3u);
    ASSERT_EQ(s->objectCount, 3u);
    const ExcelObject &chart = s->objects[0];
    EXPECT_EQ(chart.type, Excel_objChart);
    EXPECT_EQ(chart.id, 1u);
    EXPECT_EQ(chart.position, 2113u);
    ASSERT_NE(chart.chart, nullptr);
    EXPECT_EQ(chart.chart->start, 2143u);          // its BOF header
    EXPECT_EQ(chart.chart->length, 3300u - 2143u); // up to after its EOF
    EXPECT_EQ(chart.text, nullptr);
    struct Note {
        uint16_t id;
        const char16_t *text;
        uint32_t position;
    } notes[] = {{2, u"A note on the first figure", 3492}, {3, u"Second note", 3757}};
    for (uint32_t i = 0; i < 2; i++) {
        const ExcelObject &o = s->objects[i + 1];
        EXPECT_EQ(o.type, Excel_objNote);
        EXPECT_EQ(o.id, notes[i].id);
        ASSERT_NE(o.text, nullptr);
        EXPECT_EQ(std::u16string(o.text->text), notes[i].text);
        EXPECT_EQ(o.text->length, std::u16string(notes[i].text).size());
        EXPECT_EQ(o.text->position, notes[i].position);
        EXPECT_EQ(o.text->end, notes[i].position + 4 + 18);
        EXPECT_EQ(o.text->options, 0x0212u);
        ASSERT_EQ(o.text->runCount, 2u);
        EXPECT_EQ(o.text->runs[0].first, 0u);
        EXPECT_EQ(o.text->runs[1].first, o.text->length);
    }
    // The hyperlink record waits for the hyperlink reader.
    ASSERT_EQ(s->linkCount, 1u);
    EXPECT_EQ(s->links[0].range.firstRow, 1u);
    EXPECT_EQ(s->links[0].range.lastRow, 1u);
    EXPECT_EQ(s->links[0].range.firstColumn, 3u);
    EXPECT_EQ(s->links[0].range.lastColumn, 3u);
    EXPECT_EQ(s->links[0].position, 1791u);
    EXPECT_EQ(s->links[0].length, 100u);
    // The other sheet has none of them.
    EXPECT_EQ(sheet(1)->objectCount, 0u);
    EXPECT_EQ(sheet(1)->noteCount, 0u);
}

std::string obj(uint16_t type, uint16_t id, size_t size = 26)
{
    std::string b = u16(0x15) + u16(0x12) + u16(type) + u16(id);
    b.resize(size, '\0');
    return rec(0x005D, b);
}

std::string txo(uint16_t chars, uint16_t runBytes)
{
    return rec(0x01B6,
               u16(0x0212) + u16(0) + std::string(6, '\0') + u16(chars) + u16(runBytes) + u32(0));
}

TEST_F(SheetObj, ObjectAndTextRecordsBuiltByHand)
{
    // A picture with IMDATA data over a CONTINUE, a text in two CONTINUE
    // records (8-bit, then 16-bit), and a text without an object.
    std::string pic = obj(8, 4, 36);
    pic[4 + 28 + 2] = 0x11; // flags of the picture fields
    std::string im = rec(0x007F, u16(9) + u16(1) + u32(6) + "abc") + rec(0x003C, "defXYZ");
    std::string text = txo(5, 16) + rec(0x003C, std::string(1, '\0') + "ab") +
                       rec(0x003C, std::string(1, '\1') + std::string("c\0d\0e\0", 6)) +
                       rec(0x003C, u16(0) + u16(0) + u32(0) + u16(5) + u16(0) + u32(0));
    std::string cells = rowRec(0, 1) + number(0, 0, 1);
    ASSERT_EQ(open(compound(book8("", {txo(0, 0) + pic + im + obj(6, 5) + text + cells}))), 0);
    ExcelLoadSheet *s = sheet();
    ASSERT_EQ(s->objectCount, 2u);
    EXPECT_EQ(s->objects[0].type, 8u);
    EXPECT_EQ(s->objects[0].fields.flags, 0x11u);
    ASSERT_NE(s->objects[0].picture, nullptr);
    EXPECT_EQ(s->objects[0].picture->format, 9u);
    EXPECT_EQ(s->objects[0].picture->environment, 1u);
    ASSERT_EQ(s->objects[0].picture->length, 6u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(s->objects[0].picture->data), 6), "abcdef");
    EXPECT_EQ(s->objects[0].text, nullptr);
    ASSERT_NE(s->objects[1].text, nullptr);
    EXPECT_EQ(std::u16string(s->objects[1].text->text), u"abcde");
    EXPECT_EQ(s->objects[1].text->runCount, 2u);
    // The cell after the records is read.
    EXPECT_NE(Excel_loadCellAt(s, 0, 0), nullptr);
}

TEST_F(SheetObj, BrokenObjectsFailTheLoad)
{
    struct Case {
        const char *what;
        std::string records;
        int rc;
    } cases[] = {
        {"chart object without BOF", obj(5, 1) + rowRec(0, 1), 12544},
        {"text without CONTINUE", txo(3, 16) + rowRec(0, 1), 12544},
        {"picture data cut short",
         obj(8, 1) + rec(0x007F, u16(9) + u16(1) + u32(100) + "ab") + rowRec(0, 1), 12544},
        {"short object passed over", obj(8, 1, 6), 0},
        {"picture without data", obj(8, 1) + rowRec(0, 1), 0},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(open(compound(book8("", {c.records}))), c.rc) << c.what;
        Excel_loadFree(&load);
        load = ExcelLoad{};
        Ole_close(&ole);
        Vfs_close(vfs);
        vfs = nullptr;
    }
}

TEST_F(SheetObj, SmallRecordReaders)
{
    std::string m = f64(0.75);
    double margin = 0;
    EXPECT_EQ(Excel_readMargin(reinterpret_cast<const uint8_t *>(m.data()), 8, &margin), 0);
    EXPECT_EQ(margin, 0.75);
    EXPECT_EQ(Excel_readMargin(reinterpret_cast<const uint8_t *>(m.data()), 7, &margin), 12544);
    EXPECT_EQ(Excel_readMargin(nullptr, 8, &margin), 16);

    struct Name {
        std::string bytes;
        uint32_t version;
        int rc;
        const char16_t *name;
        size_t used;
    } names[] = {
        {std::string{3, 0} + "abcX", 0x0600, 0, u"abc", 5},
        {std::string{2, 1} + std::string("a\0\x3A\x04", 4), 0x0600, 0, u"a\u043A", 6},
        {std::string{3} + "xyz", 0x0500, 0, u"xyz", 4},
        {std::string{4, 0} + "abc", 0x0600, 12544, nullptr, 0},
    };
    for (const Name &n : names) {
        size_t length = n.bytes.size();
        char16_t *name = nullptr;
        EXPECT_EQ(Excel_readSheetName(reinterpret_cast<const uint8_t *>(n.bytes.data()), &length,
                                      &name, n.version),
                  n.rc);
        if (n.rc == 0) {
            EXPECT_EQ(std::u16string(name), n.name);
            EXPECT_EQ(length, n.used);
        }
        Mem_free(name);
    }
    size_t length = 4;
    EXPECT_EQ(Excel_readSheetName(nullptr, &length, nullptr, 0x0600), 16);
    ExcelExtent x{};
    EXPECT_EQ(Excel_skipSubstream(nullptr, &x), 16);
    EXPECT_EQ(Excel_skipSubstream(&load, nullptr), 16);
}

// Every allocation of the object readers failing in turn gives a clean
// error and frees what was read.
TEST_F(SheetObj, ObjectsUnderFailingAllocations)
{
    std::string pic = obj(8, 4, 36);
    std::string im = rec(0x007F, u16(9) + u16(1) + u32(6) + "abc") + rec(0x003C, "defXYZ");
    std::string text = obj(25, 2) + txo(2, 16) + rec(0x003C, std::string(1, '\0') + "ab") +
                       rec(0x003C, std::string(16, '\0'));
    std::string file = compound(book8("", {pic + im + text + rowRec(0, 1) + number(0, 0, 1)}));
    uint64_t n = 1;
    for (;; n++) {
        prepare(file);
        Mem_failAfter(n);
        int rc = Excel_readWorkbookStream(&load, ole);
        Mem_failAfter(0);
        Excel_loadFree(&load);
        load = ExcelLoad{};
        Ole_close(&ole);
        Vfs_close(vfs);
        vfs = nullptr;
        if (rc == 0)
            break;
        ASSERT_EQ(rc, 1) << n;
        ASSERT_LT(n, 2000u);
    }
    EXPECT_GT(n, 10u); // the objects' own allocations were among those that failed
}

} // namespace
