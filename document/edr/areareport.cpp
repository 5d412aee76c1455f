// The report of changed areas to the document's view through the
// document's display hooks.
#include "document/edr/areareport.h"

#include "core/result.h"
#include "core/task/lock.h"
#include "document/edr/doc.h"

namespace {

DispmanArea AreaReport_areaOf(const ViewChangeReport *report)
{
    return DispmanArea{report->document, report->section, uint32_t(report->page),
                       Rect{report->rect[0], report->rect[1], report->rect[2], report->rect[3]}, 0};
}

Edr_DisplayHooks AreaReport_hooksOf(Edr_Doc *doc)
{
    Lock_acquire(&doc->hookLock);
    const Edr_DisplayHooks hooks = doc->displayHooks;
    Lock_release(&doc->hookLock);
    return hooks;
}

} // namespace

int View_invalidateRect(const ViewChangeReport *report, int32_t notifyThumbnails, int32_t interrupt)
{
    if (!report || !report->document)
        return Res_nullInput;
    Edr_Doc *doc = report->document;
    // The request is one of the high-quality list, its area given as a
    // rectangle (mode 0), with the progress words {1, 0, 0}.
    static constexpr intptr_t progress[4] = {1, 0, 0, 0};
    const DispmanArea area = AreaReport_areaOf(report);
    const Edr_DisplayHooks hooks = AreaReport_hooksOf(doc);
    return hooks.areaChanged ? hooks.areaChanged(hooks.argument, Edr_AreaSub_hqOnly, 0, &area,
                                                 notifyThumbnails, uint32_t(interrupt), progress)
                             : int(Res_ok);
}

int View_reportAreas(const ViewChangeReport *report)
{
    if (!report || !report->document)
        return Res_nullInput;
    Edr_Doc *doc = report->document;
    const DispmanArea area = AreaReport_areaOf(report);
    const Edr_DisplayHooks hooks = AreaReport_hooksOf(doc);
    return hooks.areaChanged && hooks.objectChanged
               ? hooks.objectChanged(hooks.argument, &area, 0, nullptr)
               : int(Res_ok);
}
