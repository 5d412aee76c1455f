// Stand-in until the range module is built: no range moves.
#include "spreadsheet/chart/rangeshift_pending.h"

int Excel_shiftRangeHandlers(SheetGrid *, uint32_t, uint32_t, uint32_t)
{
    return 0;
}
