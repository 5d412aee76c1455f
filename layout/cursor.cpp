// The measuring cursor's arithmetic: runs raise the narrowest width, lines
// the widest, and a break opportunity starts a new run.
#include <algorithm>

#include "layout/layout.h"

void Layout_advanceX(LayoutCursor *cursor, int32_t d)
{
    cursor->run += d;
    cursor->narrowest = std::max(cursor->narrowest, cursor->run + cursor->indentation);
}

void Layout_advanceY(LayoutCursor *cursor, int32_t d)
{
    cursor->line += d;
    cursor->widest = std::max(cursor->widest, cursor->line + cursor->indentation);
}

void Layout_newLine(LayoutCursor *cursor)
{
    if (cursor->whiteSpace == 104 && !cursor->keepRuns)
        return;
    cursor->run = 0;
}
