// The document's highlight style record: the page-entry list head, the
// focus state and the highlight colours read from the settings.
#include <cstdint>

#include "core/config/config.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/edr/page.h"
#include "fonts/fontdata.h"
#include "viewer/dispman.h"
#include "viewer/docview.h"
#include "viewer/search/search.h"

void View_defaultHighlightColours(uint32_t *border, uint32_t *fill, int active)
{
    uint32_t c = 0;
    Pixel_namedColour(&c, active ? 0 : 6);
    *border = c;
    *fill = (c >> 1 & 0x7Fu) | (c >> 1 & 0x7F00u) | (c >> 1 & 0x7F0000u) | 0x40000000u;
}

int View_createHighlightStyle(EngineContext *context, void **cell)
{
    *cell = nullptr;
    HighlightStyle *style = static_cast<HighlightStyle *>(Mem_calloc(1, sizeof(HighlightStyle)));
    if (!style)
        return Res_noMemory;
    int err = Lock_init(context, &style->lock);
    if (err) {
        Mem_free(style);
        return err;
    }
    ConfigStore *store = context ? context->config : nullptr;
    uint32_t border = 0, fill = 0;
    View_defaultHighlightColours(&border, &fill, 0);
    style->focusBorder =
        Config_getIntA(context, store, nullptr, "Vexlan_FocusBorderColour", border);
    style->focusFill = Config_getIntA(context, store, nullptr, "Vexlan_FocusFillColour", fill);
    View_defaultHighlightColours(&border, &fill, 1);
    style->activeBorder =
        Config_getIntA(context, store, nullptr, "Vexlan_ActiveBorderColour", border);
    style->activeFill = Config_getIntA(context, store, nullptr, "Vexlan_ActiveFillColour", fill);
    style->thumbMax = int32_t(Config_getIntA(context, store, u"Core", "Vexlan_thumbnailsMax", 0));
    style->windowFirst = -1;
    style->windowLast = -1;
    style->focusEntry = -1;
    *cell = style;
    return Res_ok;
}

void View_destroyHighlightStyle(void *record)
{
    if (!record)
        return;
    HighlightStyle *style = static_cast<HighlightStyle *>(record);
    // The viewer frees its own views; the entries go with their records.
    for (Edr_PageEntry *e = style->pages; e; e = e->nextEntry) {
        Select_freeViews(e->views);
        e->views = nullptr;
    }
    Edr_Page_freeEntries(nullptr, style->pages);
    style->pages = nullptr;
    // Its reference went back with View_releaseFocus before the node tree.
    style->focusNode = nullptr;
    Search_free(style->search);
    Mem_free(style->search);
    Lock_fini(&style->lock);
    Mem_free(style);
}

void View_releaseFocus(void *record, Edr_Doc *doc)
{
    HighlightStyle *style = static_cast<HighlightStyle *>(record);
    if (!style || !style->focusNode)
        return;
    Edr_Node_dropRefLocked(doc, style->focusNode);
    style->focusNode = nullptr;
    style->focusPart = nullptr;
    style->focusKind = 0;
    style->focusEntry = -1;
}

namespace {

HighlightStyle *styleOfDoc(Edr_Doc *doc)
{
    return doc && doc->pageList ? static_cast<HighlightStyle *>(doc->pageList->view) : nullptr;
}

} // namespace

// The page view's highlight lists change under the style's lock (the focus
// calls take it after the document's and the page list's read locks), so
// drawing them takes it too.
void View_lockCurrent(Edr_Doc *doc, intptr_t)
{
    if (HighlightStyle *style = styleOfDoc(doc))
        Lock_acquire(&style->lock);
}

void View_unlockCurrent(Edr_Doc *doc, intptr_t)
{
    if (HighlightStyle *style = styleOfDoc(doc))
        Lock_release(&style->lock);
}
