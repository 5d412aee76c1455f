// A workbook laid out in a leak-checked engine context: the tests of the
// cell store, of typed formulas and of loaded values load a compound file
// (made in memory or read from a fixture) and lay its first sheet out.
#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "core/mem/mem.h"
#include "office/ole2/ole.h"
#include "office/ole2/oleprobe.h"
#include "platform/vfs/vfs.h"
#include "spreadsheet/reader/excel.h"
#include "spreadsheet/reader/sheetlayout.h"
#include "spreadsheet/reader/sheetstore.h"
#include "spreadsheet/sheetedit.h"
#include "spreadsheet/sheetgrid.h"
#include "tests/support/heap_fixture.h"

template <size_t HeapBytes> class LaidOutSheetTestOn : public LeakCheckedContextTest<HeapBytes> {
  protected:
    ExcelLoad load{};
    OleHandle *ole = nullptr;
    VfsHandle *vfs = nullptr;
    SheetGrid *grid = nullptr;

    // Loads a compound file and lays its first sheet out into grid.
    void layoutFile(const std::string &file)
    {
        uint8_t *copy = static_cast<uint8_t *>(Mem_malloc(file.size()));
        ASSERT_NE(copy, nullptr);
        memcpy(copy, file.data(), file.size());
        uint32_t accepted = 0;
        ASSERT_EQ(Vfs_openMemory(this->ctx, copy, file.size(), 1, Vfs_modeRead | Vfs_modeSeekable,
                                 &vfs, &accepted),
                  0);
        ASSERT_EQ(Ole_openStream(vfs, &ole), 0);
        load.context = this->ctx;
        ASSERT_EQ(Excel_readWorkbookStream(&load, ole), 0);
        ASSERT_EQ(Excel_sheetLayout(&load, load.sheets, &grid), 0);
        ASSERT_NE(grid, nullptr);
    }

    // The same for a fixture under tests/fixtures/spreadsheet.
    void layoutFixture(const char *name)
    {
        std::ifstream in(std::string(VEXLAN_FIXTURES) + "/spreadsheet/" + name, std::ios::binary);
        std::string file((std::istreambuf_iterator<char>(in)), {});
        ASSERT_FALSE(file.empty()) << name;
        layoutFile(file);
    }

    // Frees the laid-out sheet and its workbook, for another to be loaded.
    void unload()
    {
        Excel_gridLayoutFree(grid);
        Excel_loadFree(&load);
        Ole_close(&ole);
        Vfs_close(vfs);
        load = ExcelLoad{};
        ole = nullptr;
        vfs = nullptr;
        grid = nullptr;
    }

    void TearDown() override
    {
        unload();
        LeakCheckedContextTest<HeapBytes>::TearDown();
    }

    // A cell's display text (ASCII, '?' for the rest); "<none>" without a cell.
    std::string shown(uint32_t row, uint32_t column)
    {
        const ExcelCell *c = Excel_Sheet_cellAt(grid, row, column);
        std::string out;
        for (const char16_t *p = c ? c->text : nullptr; p && *p; p++)
            out += *p < 0x80 ? char(*p) : '?';
        return c ? out : "<none>";
    }

    // Types text into a cell through the cell editor.
    int set(uint32_t row, uint32_t column, const char *text, uint32_t format = 0)
    {
        return Excel_CellEdit_setValue(this->ctx, grid, row, column, text, format);
    }
};

using LaidOutSheetTest = LaidOutSheetTestOn<(8u << 20)>;
