// The workbook writer: workbooks loaded, edited through the cell editor,
// saved and checked with xlrd (cells, formats, merged ranges, the records
// that must survive, every BOUNDSHEET at its sheet's BOF), reloaded by the
// engine with the same cells; saving over the opened file; a failed save
// leaves the source untouched; and the record layouts of cells, rows and
// shared strings.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/mem/mem.h"
#include "core/result.h"
#include "document/edit/celledit.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/types/oleprobe.h"
#include "office/ole2/ole.h"
#include "office/ole2/olewriter.h"
#include "platform/url/file.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"
#include "spreadsheet/reader/excelopen.h"
#include "spreadsheet/reader/sheetstore.h"
#include "spreadsheet/sheetedit.h"
#include "spreadsheet/sheetgrid.h"
#include "spreadsheet/writer/xlswriter.h"
#include "tests/document/edr_fixture.h"

namespace {

Url *newFileUrl(const std::string &path)
{
    std::u16string text;
    for (char c : "file://root" + path)
        text += char16_t(uint8_t(c));
    return Url_new(text.c_str());
}

std::string readAll(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

int removeTree(const char *p, const struct stat *, int, struct FTW *)
{
    return remove(p);
}

int collectGrid(Edr_Node *node, int *, int *, void *context)
{
    if (Edr_Node_type(node) == Edr_NodeType_grid) {
        auto *grids = static_cast<std::vector<SheetGrid *> *>(context);
        grids->push_back(static_cast<SheetGrid *>(static_cast<Edr_GridNode *>(Edr_Node_payload(node))->record));
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
    {"lo_book", nullptr},  {"xlwt_book", nullptr}, {"writeexcel", nullptr},
    {"chart_lo", nullptr}, {"chart_writeexcel", nullptr}, {"drawnote", nullptr},
    {"shapes", nullptr},   {"styles", nullptr},    {"formats", nullptr},
    {"formulas", nullptr}, {"rk", nullptr},        {"shrfmla", nullptr},
    {"sst_continue", "sst_continue.cells.expect"},
};

class XlsWriterTest : public EdrFixture {
  protected:
    std::string dir;

    void SetUp() override
    {
        EdrFixture::SetUp();
        ASSERT_EQ(AlienFile_initLayer(ctx()), 0);
        const char *tmp = getenv("TMPDIR");
        std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/vexlan-xls-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
    }
    void TearDown() override
    {
        AlienFile_finiLayer(ctx());
        chmod(dir.c_str(), 0700);
        nftw(dir.c_str(), removeTree, 16, FTW_DEPTH | FTW_PHYS);
        EdrFixture::TearDown();
    }

    std::string path(const std::string &name) const
    {
        return dir + "/" + name;
    }

    std::string copyFixture(const std::string &name)
    {
        std::string bytes = readAll(std::string(VEXLAN_FIXTURES) + "/spreadsheet/" + name);
        EXPECT_FALSE(bytes.empty()) << name;
        std::ofstream(path(name), std::ios::binary) << bytes;
        return path(name);
    }

    int load(const std::string &p, Edr_Doc **out)
    {
        *out = nullptr;
        Edr_Doc *doc = nullptr;
        Edr_Node *root = nullptr;
        int err = Edr_Doc_create(ctx(), &doc, &root);
        if (err)
            return err;
        Url *url = newFileUrl(p);
        VfsHandle *stream = nullptr;
        uint32_t accepted = 0;
        err = Vfs_open(url, Vfs_modeRead | Vfs_modeSeekable, &stream, &accepted, ctx());
        OleHandle *ole = nullptr;
        if (!err)
            err = Ole_openStream(stream, &ole);
        if (!err)
            err = Excel_loadWorkbook(ctx(), ole, doc, root);
        Ole_close(&ole);
        if (stream)
            (void)Vfs_close(stream);
        if (!err)
            err = Edr_Doc_setUrl(doc, url);
        Url_free(url);
        if (err) {
            Edr_Doc_release(doc);
            return err;
        }
        *out = doc;
        return 0;
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

    // xlrd's check, with LibreOffice's too when withOffice is set.
    static int check(const std::string &source, const std::string &saved, const std::string &edits,
                     bool withOffice = false)
    {
        std::string command = "/usr/bin/python3 " + std::string(VEXLAN_FIXTURES) +
                              "/../spreadsheet/xls_writer_check.py " + source + " " + saved + " " + edits +
                              (withOffice ? " office" : "");
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
            fixture.reference ? std::string(VEXLAN_FIXTURES) + "/spreadsheet/" + fixture.reference : source;
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
    std::string command = "/usr/bin/python3 -c 'import sys, xlrd; xlrd.open_workbook(sys.argv[1])' " + saved;
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
    std::ofstream(keep, std::ios::binary) << original;
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

} // namespace
