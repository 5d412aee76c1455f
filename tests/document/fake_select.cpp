// The document tests' fake of the viewer's highlight services
// (fake_select.h); it defines every service of viewer/select/interim.cpp.
#include "tests/document/fake_select.h"

#include "core/result.h"
#include "document/edit/selection.h"
#include "document/edr/page.h"
#include "graphics/pathbounds.h"
#include "graphics/path.h"

int Select_visitViewNodes(PageView *view, Edr_Node *node, Select_RunVisitFn visitor, void *context, void *, int all)
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

PageView *Select_createPageView(Edr_Doc *doc, int32_t key, uint32_t kind)
{
    FakeView *f = new FakeView{};
    f->base.pageKey[0] = key;
    f->base.pageKey[1] = int32_t(kind);
    f->base.doc = doc;
    return &f->base;
}

void Select_freeViews(PageView *views)
{
    while (views) {
        PageView *next = views->next;
        delete reinterpret_cast<FakeView *>(views);
        views = next;
    }
}

int Select_drawViewHighlights(EngineContext *, PageView *, const Matrix *, const DrawTarget *)
{
    return Res_ok;
}

int Select_visitEntryRuns(Edr_PageEntry *entry, Edr_Node *node, Select_RunVisitFn visitor, void *context)
{
    return entry ? Select_visitViewNodes(entry->views, node, visitor, context, nullptr, 1) : Res_ok;
}

int Select_addHighlight(EngineContext *app, const int32_t *, PageView *view, void **handle, Path *path, void *, int,
                        uint32_t border, int, uint32_t fill, int flag)
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

void Select_removeHighlights(PageView *view, int)
{
    FakeView *f = reinterpret_cast<FakeView *>(view);
    f->highlights.clear();
    f->removals++;
}
