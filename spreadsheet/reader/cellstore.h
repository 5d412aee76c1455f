// Structural edits of a laid-out sheet (Excel_Sheet_insertRow and its
// kin, declared in spreadsheet/sheetedit.h) and the reference shifting
// they do inside formulas.
#pragma once

#include <cstddef>
#include <cstdint>

// Moves the ptgRef and ptgArea references of a BIFF8 token string for a
// row (columns 0) or column (columns 1) inserted (insert 1) or deleted at
// `at`: references at or after it move by one; whole-column areas (rows 0
// to 65535) and area ends on the last line stay. A reference pushed past
// row 65535 or column 255, or one lying wholly on a deleted line, becomes
// ptgRefErr or ptgAreaErr of the same class.
void Excel_Formula_shiftRefs(uint8_t *tokens, size_t length, uint32_t at, int insert, int columns);
