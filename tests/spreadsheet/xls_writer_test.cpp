// The workbook writer: workbooks loaded, edited through the cell editor,
// saved and checked with xlrd (cells, formats, merged ranges, the records
// that must survive, every BOUNDSHEET at its sheet's BOF), reloaded by the
// engine with the same cells; saving over the opened file; a failed save
// leaves the source untouched; hyperlinks saved over their moved cells;
// sheets the model holds no entry for copied from the source; and the
// records of cells, rows and shared strings checked one by one.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/mem/mem.h"
#include "core/result.h"
#include "spreadsheet/edit/celledit.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "office/ole2/oleprobe.h"
#include "document/edr/attach.h"
#include "office/ole2/ole.h"
#include "office/ole2/olewriter.h"
#include "platform/url/file.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"
#include "spreadsheet/chart/chart.h"
#include "spreadsheet/reader/excelopen.h"
#include "spreadsheet/reader/hyperlink.h"
#include "spreadsheet/reader/sheetstore.h"
#include "spreadsheet/reader/workbook.h"
#include "spreadsheet/sheetedit.h"
#include "spreadsheet/sheetgrid.h"
#include "spreadsheet/writer/xlswriter.h"
#include "tests/document/edr_fixture.h"
#include "tests/spreadsheet/biff_support.h"
#include "tests/support/scratch_files.h"

namespace {

using TestFiles::exists;
using TestFiles::newFileUrl;
using TestFiles::readAll;

// Loads a workbook from the opened stream, which it closes.
int loadWorkbook(EngineContext *ctx, VfsHandle *stream, Edr_Doc *doc, Edr_Node *root)
{
    OleHandle *ole = nullptr;
    int err = Ole_openStream(stream, &ole);
    if (!err)
        err = Excel_loadWorkbook(ctx, ole, doc, root);
    Ole_close(&ole);
    (void)Vfs_close(stream);
    return err;
}

int collectGrid(Edr_Node *node, int *, int *, void *context)
{
    if (Edr_Node_type(node) == Edr_NodeType_grid) {
        auto *grids = static_cast<std::vector<SheetGrid *> *>(context);
        grids->push_back(
            static_cast<SheetGrid *>(static_cast<Edr_GridNode *>(Edr_Node_payload(node))->record));
    }
    return 0;
}

// The workbook fixtures: LibreOffice's, xlwt's and WriteExcel's, with
// charts, notes, shapes, styles and formats; a second sheet without cells
// (formulas); numbers whose cells come before the sheet's settings (rk,
// shrfmla); shared strings over CONTINUE with a LABELSST beyond the table
// (sst_continue: xlrd cannot read the source, so the saved file is
// checked against the cell list of its readable twin).
struct Fixture {
    const char *name;
    const char *reference; // the cell list to check against; null: the source
};
const Fixture fixtures[] = {
    {"lo_book", nullptr},
    {"xlwt_book", nullptr},
    {"writeexcel", nullptr},
    {"chart_lo", nullptr},
    {"chart_writeexcel", nullptr},
    {"drawnote", nullptr},
    {"shapes", nullptr},
    {"styles", nullptr},
    {"formats", nullptr},
    {"formulas", nullptr},
    {"rk", nullptr},
    {"shrfmla", nullptr},
    {"sst_continue", "sst_continue.cells.expect"},
    {"calc_totals", nullptr},
};

class XlsWriterTest : public EdrFixture {
  protected:
    std::string dir;

    void SetUp() override
    {
        EdrFixture::SetUp();
        ASSERT_EQ(AlienFile_initLayer(ctx()), 0);
        dir = TestFiles::makeScratchDir("vexlan-xls");
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override
    {
        AlienFile_finiLayer(ctx());
        TestFiles::removeScratchDir(dir);
        EdrFixture::TearDown();
    }

    std::string path(const std::string &name) const
    {
        return dir + "/" + name;
    }

    std::string copyFixture(const std::string &name)
    {
        std::string copied = TestFiles::copyFixture(dir, "spreadsheet", name);
        EXPECT_FALSE(readAll(copied).empty()) << name;
        return copied;
    }

    int load(const std::string &p, Edr_Doc **out)
    {
        return TestFiles::loadDocument(ctx(), p, loadWorkbook, out);
    }

    int save(Edr_Doc *doc, const std::string &p)
    {
        Url *url = newFileUrl(p);
        int err = Edr_Doc_callA(doc, url);
        Url_free(url);
        return err;
    }

    static std::vector<SheetGrid *> grids(Edr_Doc *doc)
    {
        std::vector<SheetGrid *> out;
        EXPECT_EQ(Edr_Node_walk(collectGrid, nullptr, &out, 0, Edr_Doc_root(doc)), 0);
        return out;
    }

    // Every cell of every sheet as "sheet row col text".
    static std::vector<std::string> cellsOf(Edr_Doc *doc)
    {
        std::vector<std::string> out;
        uint32_t index = 0;
        for (SheetGrid *g : grids(doc)) {
            for (uint32_t i = 0; g->cellTable && i < g->cellTable->count; i++) {
                const ExcelCell &c = g->cellTable->cells[i];
                std::string line = std::to_string(index) + " " + std::to_string(c.row) + " " +
                                   std::to_string(c.column) + " ";
                for (const char16_t *p = c.text; p && *p; p++)
                    line += *p < 0x80 ? char(*p) : '?';
                out.push_back(line);
            }
            index++;
        }
        return out;
    }

    // The record-structure check of a saved file (xls_writer_records.py)
    // with its arguments.
    static int checkRecords(const std::string &saved, const std::vector<std::string> &args)
    {
        std::string command = "/usr/bin/python3 " + std::string(VEXLAN_FIXTURES) +
                              "/../spreadsheet/xls_writer_records.py " + saved;
        for (const std::string &a : args)
            command += " '" + a + "'";
        return system(command.c_str());
    }

    // LibreOffice's results of every sheet of the saved file against its
    // results of the source (xls_recalc_check.py), the edited cells
    // ("SHEET!ROW:COL=TEXT") excepted. 77 when LibreOffice is missing.
    static int recalculated(const std::string &source, const std::string &saved,
                            const std::vector<std::string> &edited)
    {
        std::string command = "/usr/bin/python3 " + std::string(VEXLAN_FIXTURES) +
                              "/../spreadsheet/xls_recalc_check.py " + source + " " + saved;
        for (const std::string &a : edited)
            command += " '" + a + "'";
        int status = system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // xlrd's check, with LibreOffice's too when withOffice is set.
    static int check(const std::string &source, const std::string &saved, const std::string &edits,
                     bool withOffice = false)
    {
        std::string command = "/usr/bin/python3 " + std::string(VEXLAN_FIXTURES) +
                              "/../spreadsheet/xls_writer_check.py " + source + " " + saved + " " +
                              edits + (withOffice ? " office" : "");
        return system(command.c_str());
    }
};

TEST_F(XlsWriterTest, LoadedWorkbooksGetTheSaveHook)
{
    std::string source = copyFixture("lo_book.xls");
    run([&] {
        Edr_Doc *doc = nullptr;
        ASSERT_EQ(load(source, &doc), 0);
        EXPECT_EQ(doc->callbackA, Excel_saveWorkbook);
        Edr_Doc_release(doc);
    });
}

// Each fixture: B2 of the first sheet set to 5 through the cell editor,
// saved under a new name, checked by xlrd against the source (and by
// LibreOffice where it is installed), and reloaded with the same cells.
TEST_F(XlsWriterTest, EditedWorkbooksSaveAndReopenWithTheirCells)
{
    for (const Fixture &fixture : fixtures) {
        const char *name = fixture.name;
        SCOPED_TRACE(name);
        std::string source = copyFixture(std::string(name) + ".xls");
        std::string saved = path(std::string(name) + "-saved.xls");
        std::vector<std::string> before;
        run([&] {
            Edr_Doc *doc = nullptr;
            ASSERT_EQ(load(source, &doc), 0);
            std::vector<SheetGrid *> g = grids(doc);
            ASSERT_FALSE(g.empty());
            ASSERT_EQ(Excel_CellEdit_setValue(ctx(), g[0], 1, 1, "5", 0), 0);
            before = cellsOf(doc);
            ASSERT_EQ(save(doc, saved), 0);
            Edr_Doc_release(doc);
            ASSERT_EQ(load(saved, &doc), 0);
            EXPECT_EQ(cellsOf(doc), before);
            Edr_Doc_release(doc);
        });
        // LibreOffice is slow to start: its csv is checked on the first.
        std::string reference =
            fixture.reference ? std::string(VEXLAN_FIXTURES) + "/spreadsheet/" + fixture.reference
                              : source;
        EXPECT_EQ(check(reference, saved, "0:1:1=5", &fixture == &fixtures[0]), 0);
    }
}

// Loaded numbers follow their cells through row and column inserts and
// deletes: after a row inserted above and the first column deleted, every
// number of the sheet is saved at its new place, as a number, and nothing
// is saved as a number where none moved to.
TEST_F(XlsWriterTest, LoadedNumbersAreSavedWhereTheirCellsMoved)
{
    std::string source = copyFixture("rk.xls");
    std::string saved = path("rk-moved.xls");
    struct Expected {
        uint32_t row, column;
        double value; // NaN: no number there
    };
    const double none = std::nan("");
    const Expected expected[] = {
        {1, 0, 1.5},  {1, 1, 6.0}, {1, 2, 1.0}, {1, 3, 0.01}, {2, 0, none}, {2, 1, none},
        {3, 0, 25.0}, {3, 1, 1.5}, {3, 2, 6.0}, {4, 0, none}, {0, 0, none},
    };
    run([&] {
        Edr_Doc *doc = nullptr;
        ASSERT_EQ(load(source, &doc), 0);
        std::vector<SheetGrid *> g = grids(doc);
        ASSERT_FALSE(g.empty());
        ASSERT_EQ(Excel_Sheet_insertRow(ctx(), g[0], 0), 0);
        ASSERT_EQ(Excel_Sheet_deleteColumn(ctx(), g[0], 0), 0);
        std::vector<std::string> before = cellsOf(doc);
        ASSERT_EQ(save(doc, saved), 0);
        Edr_Doc_release(doc);
        ASSERT_EQ(load(saved, &doc), 0);
        EXPECT_EQ(cellsOf(doc), before);
        g = grids(doc);
        ASSERT_FALSE(g.empty());
        for (const Expected &e : expected) {
            SCOPED_TRACE(std::to_string(e.row) + "," + std::to_string(e.column));
            double value = 0;
            uint32_t kind = Excel_Sheet_valueAt(g[0], e.row, e.column, &value);
            if (std::isnan(e.value)) {
                EXPECT_EQ(kind, 0u);
                continue;
            }
            EXPECT_TRUE(kind == Excel_editInteger || kind == Excel_editNumber) << kind;
            EXPECT_EQ(value, e.value);
        }
        Edr_Doc_release(doc);
    });
}

// A shared-text cell whose string index lies beyond the table (a stale
// index) is saved as an empty cell with its format: the saved file holds
// no LABELSST that readers refuse.
TEST_F(XlsWriterTest, AStringIndexBeyondTheTableIsSavedAsABlankCell)
{
    std::string source = copyFixture("lo_book.xls");
    std::string saved = path("stale-index.xls");
    run([&] {
        Edr_Doc *doc = nullptr;
        ASSERT_EQ(load(source, &doc), 0);
        std::vector<SheetGrid *> g = grids(doc);
        ASSERT_FALSE(g.empty());
        ExcelCell *cell = nullptr;
        for (uint32_t i = 0; g[0]->cellTable && i < g[0]->cellTable->count && !cell; i++)
            if (g[0]->cellTable->cells[i].kind == Excel_cellSharedText)
                cell = &g[0]->cellTable->cells[i];
        ASSERT_NE(cell, nullptr);
        uint32_t row = cell->row, column = cell->column, xf = cell->xf;
        int32_t sst = cell->sst;
        cell->sst = int32_t(g[0]->workbook->sstCount + 3);
        int rc = save(doc, saved);
        cell->sst = sst;
        ASSERT_EQ(rc, 0);
        Edr_Doc_release(doc);
        ASSERT_EQ(load(saved, &doc), 0);
        g = grids(doc);
        ASSERT_FALSE(g.empty());
        bool found = false;
        for (uint32_t i = 0; g[0]->cellTable && i < g[0]->cellTable->count; i++) {
            const ExcelCell &c = g[0]->cellTable->cells[i];
            if (c.row == row && c.column == column) {
                found = true;
                EXPECT_EQ(c.kind, uint32_t(Excel_cellNoText));
                EXPECT_EQ(c.xf, xf);
            }
        }
        EXPECT_TRUE(found);
        Edr_Doc_release(doc);
    });
    std::string command =
        "/usr/bin/python3 -c 'import sys, xlrd; xlrd.open_workbook(sys.argv[1])' " + saved;
    EXPECT_EQ(system(command.c_str()), 0);
}

// Saving over the opened file replaces it, and saving it again after a
// further edit works too: the replaced file's bytes, which the kept
// records point into, stay readable for the later saves.
TEST_F(XlsWriterTest, SavingOverTheOpenedFileReplacesIt)
{
    std::string source = copyFixture("chart_lo.xls");
    std::string original = readAll(source);
    std::string keep = path("original.xls");
    TestFiles::writeAll(keep, original);
    std::string first;
    run([&] {
        Edr_Doc *doc = nullptr;
        ASSERT_EQ(load(source, &doc), 0);
        std::vector<SheetGrid *> g = grids(doc);
        ASSERT_FALSE(g.empty());
        ASSERT_EQ(Excel_CellEdit_setValue(ctx(), g[0], 1, 1, "5", 0), 0);
        ASSERT_EQ(save(doc, source), 0);
        EXPECT_FALSE(exists(source + ".tmp"));
        first = readAll(source);
        EXPECT_NE(first, original);
        ASSERT_EQ(Excel_CellEdit_setValue(ctx(), g[0], 2, 2, "7", 0), 0);
        std::vector<std::string> before = cellsOf(doc);
        ASSERT_EQ(save(doc, source), 0);
        EXPECT_FALSE(exists(source + ".tmp"));
        // A third save, under another name, reads the same kept bytes.
        ASSERT_EQ(save(doc, path("third.xls")), 0);
        Edr_Doc_release(doc);
        for (const std::string &p : {source, path("third.xls")}) {
            ASSERT_EQ(load(p, &doc), 0);
            EXPECT_EQ(cellsOf(doc), before) << p;
            Edr_Doc_release(doc);
        }
    });
    EXPECT_EQ(check(keep, source, "0:1:1=5,0:2:2=7"), 0);
    EXPECT_EQ(check(keep, path("third.xls"), "0:1:1=5,0:2:2=7"), 0);
}

TEST_F(XlsWriterTest, AFailedSaveLeavesTheSourceUntouched)
{
    std::string source = copyFixture("lo_book.xls");
    std::string original = readAll(source);
    run([&] {
        Edr_Doc *doc = nullptr;
        ASSERT_EQ(load(source, &doc), 0);
        // The temporary file cannot be made: a directory holds its name.
        ASSERT_EQ(mkdir((source + ".tmp").c_str(), 0700), 0);
        EXPECT_NE(save(doc, source), 0);
        EXPECT_EQ(readAll(source), original);
        ASSERT_EQ(rmdir((source + ".tmp").c_str()), 0);
        // A read-only folder, unless the tests run with the power to
        // write anyway.
        if (geteuid() != 0) {
            ASSERT_EQ(chmod(dir.c_str(), 0500), 0);
            EXPECT_NE(save(doc, source), 0);
            ASSERT_EQ(chmod(dir.c_str(), 0700), 0);
            EXPECT_EQ(readAll(source), original);
        }
        // A full disk at points through the save, and a read-only folder
        // (injected, so that it holds for the tests' user too): the save
        // over the source fails with the file layer's reason.
        const int64_t rooms[] = {0, 1, 4095, 4096, 12000};
        for (int64_t room : rooms) {
            AlienFile_injectFullDisk(ctx(), room);
            EXPECT_EQ(save(doc, source), Res_fileWrite) << room;
            EXPECT_EQ(save(doc, path("new.xls")), Res_fileWrite) << room;
            AlienFile_injectFullDisk(ctx(), -1);
            ASSERT_EQ(readAll(source), original) << room;
            EXPECT_FALSE(exists(source + ".tmp")) << room;
        }
        AlienFile_injectReadOnly(ctx(), 1);
        EXPECT_NE(save(doc, source), 0);
        AlienFile_injectReadOnly(ctx(), 0);
        ASSERT_EQ(readAll(source), original);
        EXPECT_FALSE(exists(source + ".tmp"));
        // Memory running out at every allocation of the save in turn.
        int err = 1;
        uint64_t n = 1;
        for (; err && n < 20000; n++) {
            Mem_failAfter(n);
            err = save(doc, source);
            Mem_failAfter(0);
            if (err) {
                ASSERT_EQ(readAll(source), original) << n;
                ASSERT_FALSE(exists(source + ".tmp")) << n;
            }
        }
        EXPECT_EQ(err, 0) << "no allocation count let the save through";
        EXPECT_GT(n, 10u);
        Edr_Doc_release(doc);
    });
}

// Hyperlinks follow inserted and deleted rows and columns into the saved
// file, tooltips with them; a link whose cells were deleted is left out
// with its tooltip.
TEST_F(XlsWriterTest, HyperlinksAreSavedOverTheirMovedCells)
{
    std::string source = copyFixture("links.xls");
    std::string saved = path("links-moved.xls");
    // B2, D3:E4 and C5 (with tooltips on the last two); two rows and a
    // column inserted before them all, then column D deleted, which held
    // C5's link.
    struct Edit {
        uint32_t operation, index;
    };
    const Edit edits[] = {{0, 0}, {0, 0}, {2, 0}, {3, 3}};
    struct Link {
        uint32_t firstRow, firstColumn, lastRow, lastColumn;
        std::string target;
        bool operator==(const Link &o) const
        {
            return firstRow == o.firstRow && firstColumn == o.firstColumn && lastRow == o.lastRow &&
                   lastColumn == o.lastColumn && target == o.target;
        }
    };
    const std::vector<Link> expected = {{3, 2, 3, 2, "http://example.com/b2"},
                                        {4, 3, 5, 4, "http://example.com/d3"}};
    auto linksOf = [](const SheetGrid *g) {
        std::vector<Link> out;
        for (const TaggedNode *n = g->taggedLists; n; n = n->next) {
            if (n->tag != Excel_hyperlinkTag)
                continue;
            for (const TaggedRecord *r = n->first; r; r = r->next) {
                std::string target;
                for (const char16_t *t = Excel_hyperlinkTarget(r); *t; t++)
                    target += char(*t);
                out.push_back({uint32_t(r->words[0]), uint32_t(r->words[1]), uint32_t(r->words[2]),
                               uint32_t(r->words[3]), target});
            }
        }
        return out;
    };
    run([&] {
        Edr_Doc *doc = nullptr;
        ASSERT_EQ(load(source, &doc), 0);
        std::vector<SheetGrid *> g = grids(doc);
        ASSERT_FALSE(g.empty());
        for (const Edit &e : edits) {
            int rc = e.operation == 0   ? Excel_Sheet_insertRow(ctx(), g[0], e.index)
                     : e.operation == 2 ? Excel_Sheet_insertColumn(ctx(), g[0], e.index)
                                        : Excel_Sheet_deleteColumn(ctx(), g[0], e.index);
            ASSERT_EQ(rc, 0);
            ASSERT_EQ(
                Excel_sheetStructureChanged(g[0]->workbook, g[0], e.operation, e.index, 1, nullptr),
                0);
        }
        EXPECT_EQ(linksOf(g[0]), expected);
        std::vector<std::string> before = cellsOf(doc);
        ASSERT_EQ(save(doc, saved), 0);
        Edr_Doc_release(doc);
        ASSERT_EQ(load(saved, &doc), 0);
        EXPECT_EQ(cellsOf(doc), before);
        g = grids(doc);
        ASSERT_FALSE(g.empty());
        EXPECT_EQ(linksOf(g[0]), expected);
        Edr_Doc_release(doc);
    });
    EXPECT_EQ(checkRecords(saved, {"link:0:3:3:2:2:http://example.com/b2",
                                   "link:0:4:5:3:4:http://example.com/d3"}),
              0);
    // Two links and one tooltip are left.
    std::string command =
        "/usr/bin/python3 -c 'import sys, xlrd; s = "
        "xlrd.open_workbook(sys.argv[1]).sheet_by_index(0); "
        "sys.exit([h.quicktip for h in s.hyperlink_list] != [None, \"tip d3\"])' " +
        saved;
    EXPECT_EQ(system(command.c_str()), 0);
}

// A sheet the model holds no entry for is copied from the source at its
// place with its type: Visual Basic modules and macro sheets whose items
// are gone, a chart sheet whose chart is gone; with their items, modules
// and macro sheets are written under their own substream types. xlrd's
// check compares every sheet's name, type and BOF type and the chart's
// records with the source.
TEST_F(XlsWriterTest, SheetsWithoutAModelEntryAreCopiedFromTheSource)
{
    struct Case {
        const char *fixture;
        std::vector<uint32_t> dropped; // the item kinds taken from the model
    };
    const Case cases[] = {
        {"sheetkinds", {}},
        {"sheetkinds", {Excel_itemModule, Excel_itemMacroSheet}},
        {"chart_writeexcel", {Excel_itemChartSheet}},
    };
    int index = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.fixture) + " case " + std::to_string(index));
        std::string source = copyFixture(std::string(c.fixture) + ".xls");
        std::string saved = path(std::string(c.fixture) + "-" + std::to_string(index++) + ".xls");
        run([&] {
            Edr_Doc *doc = nullptr;
            ASSERT_EQ(load(source, &doc), 0);
            std::vector<SheetGrid *> g = grids(doc);
            ASSERT_FALSE(g.empty());
            ExcelWorkbook *wb = g[0]->workbook;
            for (uint32_t kind : c.dropped) {
                ExcelBookItem *item = wb->items;
                while (item && item->kind != kind)
                    item = item->next;
                ASSERT_NE(item, nullptr) << kind;
                if (kind != Excel_itemChartSheet) {
                    ASSERT_EQ(Excel_bookRemoveItem(wb, item), 0);
                    continue;
                }
                // A chart sheet's item goes with the last reference to its
                // chart, which its page's chart node holds.
                Edr_Node **nodes = nullptr;
                uint32_t count = 0;
                ASSERT_EQ(Excel_collectChartNodes(doc, nullptr, &nodes, &count), 0);
                Edr_Node *chartNode = nullptr;
                Edr_Doc_readLock(doc);
                for (uint32_t i = 0; i < count; i++) {
                    void *data = nullptr;
                    (void)Edr_Node_getPrivate(doc, nodes[i], &data);
                    if (data && static_cast<ExcelBookRef *>(data)->chart == item->payload)
                        chartNode = nodes[i];
                }
                Edr_Doc_readUnlock(doc);
                ASSERT_NE(chartNode, nullptr);
                Edr_Node_clearPrivate(doc, chartNode);
                Mem_free(nodes);
                for (ExcelBookItem *i = wb->items; i; i = i->next)
                    ASSERT_NE(i->kind, kind);
            }
            std::vector<std::string> before = cellsOf(doc);
            ASSERT_EQ(save(doc, saved), 0);
            Edr_Doc_release(doc);
            ASSERT_EQ(load(saved, &doc), 0);
            EXPECT_EQ(cellsOf(doc), before);
            Edr_Doc_release(doc);
        });
        EXPECT_EQ(check(source, saved, "-"), 0);
    }
}

// The cell, row and string records of a saved sheet, one by one: numbers
// loaded from NUMBER and RK records and numbers typed into cells are
// written as RK only where RK holds them exactly (30-bit integers: NaN,
// infinities, fractions and integers past the limits as NUMBER); the SST
// carries 16-bit and 8-bit strings across CONTINUE records with EXTSST
// naming its buckets; INDEX, DBCELL and ROW records fit the sheet's 80
// rows, with no ROW for an empty row of default height.
TEST_F(XlsWriterTest, CellRowAndStringRecordsAreWrittenRecordByRecord)
{
    std::string source = copyFixture("writer_records.xls");
    std::string saved = path("records-saved.xls");
    struct Typed {
        uint32_t row;
        const char *text;
        const char *expected; // KIND:VALUE
    };
    const Typed typed[] = {
        {0, "536870911", "RK:536870911"},
        {1, "536870912", "NUMBER:536870912"},
        {2, "-536870912", "RK:-536870912"},
        {3, "-536870913", "NUMBER:-536870913"},
        {4, "2", "RK:2"},
        {5, "2.5", "NUMBER:2.5"},
        {6, "-7", "RK:-7"},
        {7, "0.125", "NUMBER:0.125"},
        {8, "0", "RK:0"},
    };
    // Column A as loaded (NUMBER records), column B (RK records).
    const char *loadedA[] = {"RK:1",
                             "RK:-1",
                             "RK:536870911",
                             "NUMBER:536870912",
                             "RK:-536870912",
                             "NUMBER:-536870913",
                             "RK:2",
                             "NUMBER:2.5",
                             "NUMBER:1.5",
                             "NUMBER:0.01",
                             "NUMBER:1e300",
                             "NUMBER:-1e-300",
                             "NUMBER:1000000000",
                             "NUMBER:nan",
                             "NUMBER:inf",
                             "NUMBER:-inf"};
    const char *loadedB[] = {"RK:25", "NUMBER:6.03", "RK:1", "RK:-7"};
    std::vector<std::string> args = {"split", "0:75:0=RK:75"};
    for (uint32_t r = 0; r < sizeof loadedA / sizeof *loadedA; r++)
        args.push_back("0:" + std::to_string(r) + ":0=" + loadedA[r]);
    for (uint32_t r = 0; r < sizeof loadedB / sizeof *loadedB; r++)
        args.push_back("0:" + std::to_string(r) + ":1=" + loadedB[r]);
    for (const Typed &t : typed)
        args.push_back("0:" + std::to_string(t.row) + ":3=" + t.expected);
    run([&] {
        Edr_Doc *doc = nullptr;
        ASSERT_EQ(load(source, &doc), 0);
        std::vector<SheetGrid *> g = grids(doc);
        ASSERT_FALSE(g.empty());
        for (const Typed &t : typed)
            ASSERT_EQ(Excel_CellEdit_setValue(ctx(), g[0], t.row, 3, t.text, 0), 0) << t.text;
        std::vector<std::string> before = cellsOf(doc);
        ASSERT_EQ(save(doc, saved), 0);
        Edr_Doc_release(doc);
        ASSERT_EQ(load(saved, &doc), 0);
        EXPECT_EQ(cellsOf(doc), before);
        Edr_Doc_release(doc);
    });
    EXPECT_EQ(checkRecords(saved, args), 0);
}

// A workbook LibreOffice wrote with formulas of every record kind: shared
// formulas, arrays over one and three cells, text results, a name, an
// array constant whose values follow the tokens, references to another
// sheet. Saved as loaded, every FORMULA, SHRFMLA, ARRAY, STRING and NAME
// record parses to its declared length, and LibreOffice, recalculating
// from the saved tokens, shows the results it shows for the source. After
// B2 (a quantity) is set to 10, LibreOffice computes the new totals from
// the saved file: the formulas that depend on it, on their own sheet and
// on the other.
TEST_F(XlsWriterTest, FormulasAreSavedWholeAndRecalculateToTheSourceResults)
{
    std::string source = copyFixture("calc_totals.xls");
    std::string saved = path("totals-saved.xls");
    std::string edited = path("totals-edited.xls");
    run([&] {
        Edr_Doc *doc = nullptr;
        ASSERT_EQ(load(source, &doc), 0);
        ASSERT_EQ(save(doc, saved), 0);
        std::vector<SheetGrid *> g = grids(doc);
        ASSERT_FALSE(g.empty());
        ASSERT_EQ(Excel_CellEdit_setValue(ctx(), g[0], 1, 1, "10", 0), 0);
        ASSERT_EQ(save(doc, edited), 0);
        Edr_Doc_release(doc);
    });
    EXPECT_EQ(checkRecords(saved, {}), 0);
    EXPECT_EQ(checkRecords(edited, {}), 0);
    int asLoaded = recalculated(source, saved, {});
    if (asLoaded == 77)
        GTEST_SKIP() << "LibreOffice is not installed";
    EXPECT_EQ(asLoaded, 0);
    const std::vector<std::string> results = {
        "Data!1:1=10",   "Data!1:3=12.5",    "Data!1:4=20",      "Data!6:3=47.5",
        "Data!7:3=47.5", "Data!8:3=47.5",    "Data!9:3=60",      "Data!10:3=Apples x 10",
        "Data!12:3=95",  "Summary!0:1=47.5", "Summary!1:1=37.5",
    };
    EXPECT_EQ(recalculated(source, edited, results), 0);
}

// Sheets whose drawing ends with a chart object without its substream (cut
// off at the end of the stream, or a record that is nothing like a BOF
// after the object): the object is saved without it, and the saved
// workbook loads again with the same cells.
TEST_F(XlsWriterTest, ChartObjectsWithoutTheirSubstreamsSaveToWorkbooksThatLoad)
{
    using namespace biff;
    // An empty drawing group; on the sheet a drawing run of an empty
    // container, then a chart object (ftCmo of object type 5, ftEnd)
    // followed by an empty record of another type.
    std::string container = u16(0x000F) + u16(0xF002) + u32(8) + u16(0x0010) + u16(0xF008) + u32(0);
    std::string chartObj =
        u16(0x0015) + u16(18) + u16(5) + u16(1) + u16(0x6011) + std::string(12, '\0') + u32(0);
    std::string sheet = rowRec(0, 2) + number(0, 0, 1.5) + number(0, 1, 2.5) +
                        rec(0x00EC, container) + rec(0x005D, chartObj) + rec(0x00EF, "") +
                        rowRec(1, 1) + number(1, 0, 7);
    std::string alone = path("chart_alone.xls");
    {
        std::string group = rec(0x00EB, u16(0x000F) + u16(0xF000) + u32(0));
        std::string file = compound(book8(group, {sheet}));
        FILE *f = fopen(alone.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(fwrite(file.data(), 1, file.size(), f), file.size());
        fclose(f);
    }
    const std::string sources[] = {copyFixture("chart_cut.xls"), alone};
    for (const std::string &source : sources) {
        SCOPED_TRACE(source);
        std::string saved = source + "-saved.xls";
        run([&] {
            Edr_Doc *doc = nullptr;
            ASSERT_EQ(load(source, &doc), 0);
            std::vector<std::string> before = cellsOf(doc);
            EXPECT_FALSE(before.empty());
            ASSERT_EQ(save(doc, saved), 0);
            Edr_Doc_release(doc);
            ASSERT_EQ(load(saved, &doc), 0);
            EXPECT_EQ(cellsOf(doc), before);
            Edr_Doc_release(doc);
        });
    }
}

} // namespace
