// The document's layout cache: the font lists and the interned text
// formats that the text items of its pages share. It lives as long as the
// document and is emptied when the document goes.
#include "core/container/intern.h"
#include "core/mem/mem.h"
#include "layout/layout.h"
#include "layout/line.h"
#include "layout/listmarker.h"

void Layout_clearCache(LayoutCache *cache)
{
    if (!cache)
        return;
    FontCache_free(&cache->fonts);
    InternList_free(&cache->textStyles);
}
