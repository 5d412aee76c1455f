// The measuring cursor's arithmetic: runs raise the narrowest width, lines
// the widest, and a break opportunity starts a new run.
#include <algorithm>

#include "core/style/propids.h"
#include "document/style/style.h"
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
    if (cursor->whiteSpace == KwId_nowrap && !cursor->keepRuns)
        return;
    cursor->run = 0;
}

void LayoutCursor_init(LayoutCursor *cursor, int32_t *start, const Edr_Style *style)
{
    cursor->origin = start;
    cursor->originY = start ? start[1] : 0;
    cursor->narrowest = cursor->widest = 0;
    cursor->run = cursor->line = 0;
    cursor->indentation = 0;
    cursor->whiteSpace = KwId_normal;
    // A width is set when it holds anything but auto.
    uint32_t width = style ? Edr_Style_get(style, PropId_width, nullptr) : 0;
    bool widthSet = width != 0 && width != KwId_auto;
    cursor->keepRuns =
        widthSet && Edr_Style_get(style, PropId_display, nullptr) == KwId_tableCell ? 1 : 0;
}
