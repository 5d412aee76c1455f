// FORMULA records of a worksheet: the cached result of each formula cell,
// the companion STRING, SHRFMLA, ARRAY and TABLE records, and shared
// formulas turned into per-cell token strings.
#pragma once

#include <cstddef>
#include <cstdint>

struct ExcelLoad;
struct ExcelLoadSheet;
struct ExcelRecordHeader;

enum : uint32_t {
    Excel_unsupportedFormula = 42, // the workbook note of a formula that could not be kept
};

// Reads the FORMULA record whose header was just read, with the records
// that belong to it, and stores the cell with its cached result. BIFF8
// formulas keep their tokens in the sheet's formula list. 0; 1; 12544 for
// a body too short or a text result without its STRING record; stream
// errors.
[[nodiscard]] int Excel_Formula_readRecord(ExcelLoad *load, ExcelLoadSheet *sheet,
                                           const ExcelRecordHeader *header);

// Re-bases the ptgRef, ptgArea, ptgRefN or ptgAreaN token at *pos for
// another cell and moves *pos past it. For ptgRefN/ptgAreaN (made into
// ptgRef/ptgArea of the same class) the relative offsets are taken from
// (baseRow, baseColumn); for ptgRef/ptgArea the relative parts move by
// (dRow, dColumn). Other ids are passed over. 0; 0x6600 for a token that
// does not fit.
int Excel_Formula_rebase(uint8_t *tokens, size_t length, size_t *pos, uint32_t baseRow,
                         uint32_t baseColumn, int32_t dRow, int32_t dColumn);
