// The FakeViews' runs and highlights, answered through the viewer's table
// of operations (fake_select.h).
#include "tests/document/fake_select.h"

#include "core/context/context.h"
#include "core/result.h"
#include "document/edr/page.h"
#include "graphics/path.h"
#include "graphics/pathbounds.h"
#include "viewer/docops.h"

namespace {

int FakeSelect_visitViewNodes(PageView *view, Edr_Node *node, Select_RunVisitFn visitor,
                              void *context, void *, int all)
{
    for (PageView *v = view; v; v = all ? v->next : nullptr) {
        FakeView *f = reinterpret_cast<FakeView *>(v);
        for (LaidOutTextRun &run : f->runs)
            if (run.node == node)
                if (int err = visitor(&run, context))
                    return err;
    }
    return Res_ok;
}

int FakeSelect_visitEntryRuns(Edr_PageEntry *entry, Edr_Node *node, Select_RunVisitFn visitor,
                              void *context)
{
    return entry ? FakeSelect_visitViewNodes(entry->views, node, visitor, context, nullptr, 1)
                 : Res_ok;
}

int FakeSelect_addHighlight(EngineContext *app, const int32_t *, PageView *view, void **handle,
                            Path *path, void *, int, uint32_t border, int, uint32_t fill, int flag)
{
    if (handle)
        *handle = nullptr;
    FakeHighlight h{};
    h.border = border;
    h.fill = fill;
    h.flag = flag;
    int err = Edr_Draw_getBounds2(app, path, &h.bounds);
    Path_destroy(path);
    reinterpret_cast<FakeView *>(view)->highlights.push_back(h);
    return err;
}

void FakeSelect_removeHighlights(PageView *view, int)
{
    FakeView *f = reinterpret_cast<FakeView *>(view);
    f->highlights.clear();
    f->removals++;
}

} // namespace

void FakeSelect_install(EngineContext *context, Edr_ViewOps *table)
{
    if (!context->viewOps)
        (void)View_installDocumentOps(context);
    *table = *context->viewOps;
    table->visitViewNodes = FakeSelect_visitViewNodes;
    table->visitEntryRuns = FakeSelect_visitEntryRuns;
    table->addHighlight = FakeSelect_addHighlight;
    table->removeHighlights = FakeSelect_removeHighlights;
    context->viewOps = table;
}

void FakeSelect_remove(EngineContext *context)
{
    (void)View_installDocumentOps(context);
}
