// Highlight records on the page views: adding a highlight (fill and
// outline on one path), removing those of one kind, restyling the
// temporary ones, and the report of every changed area.
#include "viewer/select/highlight.h"

#include "core/mem/mem.h"
#include "core/result.h"
#include "document/edit/selection.h"
#include "core/container/obj.h"
#include "document/edr/page.h"
#include "graphics/path.h"
#include "layout/layout.h"
#include "viewer/dispman.h"

namespace {

// Reports a view rectangle (moved by origin, grown by grow) as changed.
int reportArea(const PageView *view, Rect r, const int32_t origin[2], int32_t grow)
{
    ViewChangeReport report{view->doc,
                            view->pageKey[0],
                            view->pageKey[1],
                            {r.x0 + origin[0] - grow, r.y0 + origin[1] - grow,
                             r.x1 + origin[0] + grow, r.y1 + origin[1] + grow}};
    if (!view->doc)
        return Res_ok;
    return View_invalidateRect(&report, 0, 1);
}

void destroyRecord(HighlightRecord *record)
{
    if (!record)
        return;
    if (record->flags & Highlight_ownsPath)
        Path_destroy(record->path);
    Mem_free(record->style);
    Mem_free(record);
}

int makeRecord(HighlightRecord **out, Path *path, const Rect &bounds, bool outline, int32_t width,
               uint32_t colour, bool temporary)
{
    *out = nullptr;
    int32_t *style = static_cast<int32_t *>(Mem_calloc(7, sizeof(int32_t)));
    if (!style)
        return Res_noMemory;
    if (outline) {
        const int32_t words[7] = {1, 0, width, 182000, 9100, 18200, 0};
        for (int i = 0; i < 7; i++)
            style[i] = words[i];
    } else {
        style[1] = 1;
    }
    HighlightRecord *r = static_cast<HighlightRecord *>(Mem_calloc(1, sizeof(HighlightRecord)));
    if (!r) {
        Mem_free(style);
        return Res_noMemory;
    }
    r->bounds = bounds;
    r->path = path;
    r->style = style;
    r->colour = colour;
    if (temporary)
        r->flags |= Highlight_temporary;
    *out = r;
    return Res_ok;
}

} // namespace

bool Highlight_pathBounds(const Path *path, Rect *out)
{
    *out = Rect_emptyBound;
    if (!path || path->state == Path_statePacked || !path->buffer)
        return false;
    bool any = false;
    for (const int32_t *w = path->buffer; w < path->write;) {
        const uint32_t points = uint32_t(*w) & 3;
        w++;
        for (uint32_t i = 0; i < points && w + 1 < path->write + 1; i++, w += 2) {
            const Rect p{w[0], w[1], w[0], w[1]};
            Rect_union(out, &p);
            any = true;
        }
    }
    return any;
}

int Select_addHighlight(EngineContext *, const int32_t *, PageView *view, void **handle, Path *path,
                        void *, int, uint32_t border, int width, uint32_t fill, int temporary)
{
    if (handle)
        *handle = nullptr;
    if (!view || !path) {
        Path_destroy(path);
        return view ? Res_ok : Res_nullInput;
    }
    Rect bounds;
    Highlight_pathBounds(path, &bounds);
    HighlightRecord *fillRecord = nullptr, *outline = nullptr;
    int err = makeRecord(&fillRecord, path, bounds, false, 0, fill, temporary != 0);
    if (!err && width >= 1)
        err = makeRecord(&outline, path, bounds, true, width, border, temporary != 0);
    if (err) {
        destroyRecord(fillRecord);
        destroyRecord(outline);
        Path_destroy(path);
        return err;
    }
    if (outline) {
        outline->flags |= Highlight_ownsPath;
        outline->next = view->highlights;
        fillRecord->next = outline;
    } else {
        fillRecord->flags |= Highlight_ownsPath;
        fillRecord->next = view->highlights;
    }
    view->highlights = fillRecord;
    if (handle)
        *handle = outline ? outline : fillRecord;
    const int32_t none[2] = {0, 0};
    return reportArea(view, bounds, none, 0);
}

void Select_removeHighlights(PageView *view, int temporary)
{
    if (!view)
        return;
    const uint32_t want = temporary ? uint32_t(Highlight_temporary) : 0u;
    HighlightRecord **link = &view->highlights;
    // The fill comes before its outline in the list, so the outline,
    // which owns the shared path, frees it after the fill is gone.
    while (HighlightRecord *r = *link) {
        if ((r->flags & Highlight_temporary) == want) {
            *link = r->next;
            reportArea(view, r->bounds, r->origin, Highlight_grow);
            destroyRecord(r);
        } else {
            link = &r->next;
        }
    }
}

void Select_restyleHighlights(PageView *view, const HighlightColours *colours, int32_t kind)
{
    if (!view)
        return;
    if (view->kind == PageView_group) {
        for (PageView *c = view->firstChild; c; c = c->next)
            Select_restyleHighlights(c, colours, kind);
        return;
    }
    if (view->kind != PageView_leaf)
        return;
    uint32_t border, fill;
    Select_pickColours(&border, &fill, colours, kind);
    Rect changed = Rect_emptyBound;
    bool any = false;
    for (HighlightRecord *r = view->highlights; r; r = r->next) {
        if (!(r->flags & Highlight_temporary))
            continue;
        r->colour = r->style && r->style[0] == 1 ? border : fill;
        r->paintKind = 0;
        const Rect moved{r->bounds.x0 + r->origin[0], r->bounds.y0 + r->origin[1],
                         r->bounds.x1 + r->origin[0], r->bounds.y1 + r->origin[1]};
        Rect_union(&changed, &moved);
        any = true;
    }
    if (any) {
        const int32_t none[2] = {0, 0};
        reportArea(view, changed, none, 0);
    }
}

namespace {

// Calls visitor for each text item of the chain that shows node (every
// node's for null), its position moved by dx, dy.
int visitTextItems(ObjHeader *items, Edr_Node *node, int32_t dx, int32_t dy,
                   Select_RunVisitFn visitor, void *context)
{
    for (ObjHeader *o = items; o; o = Obj_next(o)) {
        if ((node && o->node != node) || !o->node || Obj_itemKind(o) != Obj_itemText)
            continue;
        const ObjTextPart *t = static_cast<const ObjTextPart *>(Obj_part(o));
        const Rect box = Obj_box(o);
        LaidOutTextRun run{{box.x0, box.y0, box.x1, box.y1},
                           {o->origin[0] + dx, o->origin[1] + dy},
                           o->matrix,
                           o->node,
                           t->count,
                           t,
                           t->chars ? t->chars + t->start : nullptr};
        int err = visitor(&run, context);
        if (err)
            return err;
    }
    return Res_ok;
}

} // namespace

void Select_freeViews(PageView *views)
{
    while (views) {
        PageView *next = views->next;
        Select_freeViews(views->firstChild);
        while (HighlightRecord *r = views->highlights) {
            views->highlights = r->next;
            destroyRecord(r);
        }
        Mem_free(views);
        views = next;
    }
}

int Select_drawViewHighlights(EngineContext *ctx, PageView *views, const Matrix *matrix,
                              const DrawTarget *target)
{
    for (PageView *v = views; v; v = v->next) {
        if (v->kind == PageView_group) {
            int err = Select_drawViewHighlights(ctx, v->firstChild, matrix, target);
            if (err)
                return err;
            continue;
        }
        for (HighlightRecord *r = v->highlights; r; r = r->next) {
            // A record's style other than fill and outline draws nothing.
            int err = Highlight_draw(ctx, r, matrix, target);
            if (err && err != Highlight_badStyle)
                return err;
        }
    }
    return Res_ok;
}

int Select_visitViewNodes(PageView *view, Edr_Node *node, Select_RunVisitFn visitor, void *context,
                          void *, int all)
{
    for (PageView *v = view; v; v = all ? v->next : nullptr) {
        if (v->kind == PageView_group) {
            int err = Select_visitViewNodes(v->firstChild, node, visitor, context, nullptr, 1);
            if (err)
                return err;
            continue;
        }
        if (v->kind != PageView_leaf)
            continue;
        int err = visitTextItems(v->items, node, v->origin[0], v->origin[1], visitor, context);
        if (err)
            return err;
    }
    return Res_ok;
}

int Select_visitEntryRuns(Edr_PageEntry *entry, Edr_Node *node, Select_RunVisitFn visitor,
                          void *context)
{
    if (!entry)
        return Res_ok;
    if (entry->views)
        return Select_visitViewNodes(entry->views, node, visitor, context, nullptr, 1);
    // A page shown without views: the display items of its content pieces.
    for (Edr_PageRec *p = entry->rec; p; p = p->nextRec) {
        if (p->buildState != Edr_PageBuild_ready)
            continue;
        int err = visitTextItems(p->objects, node, 0, 0, visitor, context);
        if (err)
            return err;
    }
    return Res_ok;
}
