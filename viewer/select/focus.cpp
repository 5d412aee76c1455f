// The focus highlight of a document's highlight style.
#include "viewer/select/focus.h"

#include "core/container/obj.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/edr/page.h"
#include "document/edr/pageobj.h"
#include "graphics/path.h"
#include "graphics/rectlist.h"
#include "viewer/select/highlight.h"

namespace {

struct Boxes {
    Rect *rects;
    uint32_t count, capacity;
    int32_t partIndex;   // the focus part's box, -1 when not met
    PageView *firstView; // the first view that showed the node
    int32_t firstEntry;
};

int addBox(Boxes *b, const Rect &r)
{
    if (b->count == b->capacity) {
        uint32_t cap = b->capacity ? b->capacity * 2 : 8;
        Rect *rects = static_cast<Rect *>(Mem_realloc(b->rects, cap * sizeof(Rect)));
        if (!rects)
            return Res_noMemory;
        b->rects = rects;
        b->capacity = cap;
    }
    b->rects[b->count++] = r;
    return Res_ok;
}

// Calls fn for every item of the leaf views of a chain (group views
// through their children) with the view.
template <typename Fn> int walkViews(PageView *view, Fn &&fn)
{
    for (PageView *v = view; v; v = v->next) {
        int err = Res_ok;
        if (v->kind == PageView_group)
            err = walkViews(v->firstChild, fn);
        else if (v->kind == PageView_leaf)
            for (ObjHeader *o = v->items; o && !err; o = Obj_next(o))
                err = fn(v, o);
        if (err)
            return err;
    }
    return Res_ok;
}

bool overlaps(const Rect &a, const Rect &b)
{
    return a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1;
}

Rect shownIn(const PageView *v, const ObjHeader *o, int32_t grow)
{
    const Rect r = Obj_shownBox(o);
    return Rect{r.x0 + v->origin[0] - grow, r.y0 + v->origin[1] - grow, r.x1 + v->origin[0] + grow,
                r.y1 + v->origin[1] + grow};
}

void removeTemporary(PageView *view)
{
    for (PageView *v = view; v; v = v->next) {
        if (v->kind == PageView_group)
            removeTemporary(v->firstChild);
        else
            Select_removeHighlights(v, 1);
    }
}

void dropFocus(Edr_Doc *doc, HighlightStyle *style)
{
    for (Edr_PageEntry *e = style->pages; e; e = e->nextEntry)
        removeTemporary(e->views);
    Edr_Node_release(doc, style->focusNode);
    style->focusNode = nullptr;
    style->focusPart = nullptr;
    style->focusKind = 0;
    style->focusEntry = -1;
    for (int i = 0; i < 4; i++)
        style->focusRect[i] = 0;
}

} // namespace

// Kept apart from the highlight list code, which tests of the document
// model replace with their own.
void Select_pickColours(uint32_t *border, uint32_t *fill, const HighlightColours *colours,
                        int32_t kind)
{
    *border = kind ? colours->activeBorder : colours->focusBorder;
    *fill = kind ? colours->activeFill : colours->focusFill;
}

int Select_setFocus(EngineContext *context, Edr_Doc *doc, HighlightStyle *style, Edr_Node *node,
                    ObjHeader *part, int32_t kind, int32_t mode, int32_t outRect[4])
{
    if (outRect)
        for (int i = 0; i < 4; i++)
            outRect[i] = 0;
    if (!style)
        return Res_nullInput;
    if (mode == Select_focusMake && style->focusNode)
        dropFocus(doc, style);
    if (!node)
        return Res_ok;
    Boxes boxes{nullptr, 0, 0, -1, nullptr, -1};
    int err = Res_ok;
    int32_t index = 0;
    for (Edr_PageEntry *e = style->pages; e && !err; e = e->nextEntry, index++)
        err = walkViews(e->views, [&](PageView *v, ObjHeader *o) {
            if (!Edr_Obj_isForNode(o, node))
                return 0;
            if (!boxes.firstView) {
                boxes.firstView = v;
                boxes.firstEntry = index;
            }
            if (o == part)
                boxes.partIndex = int32_t(boxes.count);
            return addBox(&boxes, shownIn(v, o, Highlight_grow));
        });
    if (!err && boxes.count == 0)
        err = Select_notShown;
    // Only the boxes connected by overlap to the focus part's box.
    uint32_t kept = boxes.count;
    if (!err && part && boxes.partIndex >= 0) {
        Rect t = boxes.rects[0];
        boxes.rects[0] = boxes.rects[boxes.partIndex];
        boxes.rects[boxes.partIndex] = t;
        kept = 1;
        for (bool grew = true; grew;) {
            grew = false;
            for (uint32_t i = kept; i < boxes.count; i++)
                for (uint32_t j = 0; j < kept; j++)
                    if (overlaps(boxes.rects[i], boxes.rects[j])) {
                        Rect s = boxes.rects[kept];
                        boxes.rects[kept] = boxes.rects[i];
                        boxes.rects[i] = s;
                        kept++;
                        grew = true;
                        break;
                    }
        }
    }
    RectList *list = nullptr;
    Rect bounds = Rect_emptyBound;
    if (!err)
        err = RectList_create(&list);
    for (uint32_t i = 0; i < kept && !err; i++) {
        const Rect &r = boxes.rects[i];
        err = RectList_add(list, i, r.x0, r.y0, r.x1, r.y1);
        Rect_union(&bounds, &r);
    }
    Path *path = nullptr;
    if (!err && mode != Select_focusMeasure)
        err = RectList_toPath(list, &path);
    if (!err && mode == Select_focusMake) {
        err = Edr_Node_addRefLive(doc, node);
        if (!err) {
            style->focusNode = node;
            style->focusPart = part;
            style->focusKind = kind;
            style->focusEntry = boxes.firstEntry;
            style->focusRect[0] = bounds.x0;
            style->focusRect[1] = bounds.y0;
            style->focusRect[2] = bounds.x1;
            style->focusRect[3] = bounds.y1;
        }
    }
    if (!err && path) {
        const HighlightColours colours{style->focusBorder, style->focusFill, style->activeBorder,
                                       style->activeFill};
        uint32_t border, fill;
        Select_pickColours(&border, &fill, &colours, kind);
        PageView *v = boxes.firstView;
        err = Select_addHighlight(context, v->pageKey, v, nullptr, path, nullptr, 0, border,
                                  Highlight_outlineWidth, fill, mode == Select_focusMake ? 1 : 0);
        path = nullptr; // taken over, also on failure
    }
    Path_destroy(path);
    if (!err && outRect) {
        outRect[0] = bounds.x0;
        outRect[1] = bounds.y0;
        outRect[2] = bounds.x1;
        outRect[3] = bounds.y1;
    }
    RectList_destroy(&list);
    Mem_free(boxes.rects);
    return err;
}

int Select_findFocusAt(Edr_PageEntry *first, const Edr_Node *node, int32_t rect[4], int32_t *index)
{
    Rect box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    int32_t a = INT32_MAX, b = INT32_MAX;
    bool met = false;
    for (Edr_PageEntry *e = first; e; e = e->nextEntry)
        walkViews(e->views, [&](PageView *v, ObjHeader *o) {
            if (!Edr_Obj_isForNode(o, node))
                return 0;
            const Rect r = shownIn(v, o, 0);
            Rect_union(&box, &r);
            a = v->pageKey[0] < a ? v->pageKey[0] : a;
            b = v->pageKey[1] < b ? v->pageKey[1] : b;
            met = true;
            return 0;
        });
    rect[0] = box.x0;
    rect[1] = box.y0;
    rect[2] = box.x1;
    rect[3] = box.y1;
    if (!met) {
        *index = -1;
        return Res_ok;
    }
    int32_t before = 0;
    for (Edr_PageEntry *e = first; e && e->key < a; e = e->nextEntry)
        before++;
    *index = b + before;
    return Res_ok;
}

namespace {

int32_t toPixels(int64_t v)
{
    return int32_t((v * 96 + 32768) / 65536);
}

} // namespace

int Select_nodeRectPixels(Edr_Doc *doc, const Edr_Node *node, int32_t *x, int32_t *y,
                          int32_t *width, int32_t *height)
{
    *x = *y = *width = *height = 0;
    const HighlightStyle *style =
        doc && doc->pageList ? static_cast<const HighlightStyle *>(doc->pageList->view) : nullptr;
    if (!style || !node)
        return Res_ok;
    int32_t r[4];
    int32_t index = -1;
    Select_findFocusAt(style->pages, node, r, &index);
    if (index < 0)
        return Res_ok;
    *x = toPixels(r[0]);
    *y = toPixels(-int64_t(r[3]));
    *width = toPixels(int64_t(r[2]) - r[0]);
    *height = toPixels(int64_t(r[3]) - r[1]);
    return Res_ok;
}
