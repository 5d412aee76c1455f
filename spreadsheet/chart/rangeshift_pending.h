// Range shifting of a sheet's registered ranges (hyperlinks, notes) after
// rows or columns were inserted or deleted: declared here until the
// range module takes its place.
#pragma once

#include <cstdint>

struct SheetGrid;

// Shifts every range registered under the sheet's range handlers for the
// operation (0 insert rows, 1 delete rows, 2 insert columns, 3 delete
// columns). 0 or the first failure.
[[nodiscard]] int Excel_shiftRangeHandlers(SheetGrid *store, uint32_t operation, uint32_t index, uint32_t count);
