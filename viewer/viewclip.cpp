// A view's clip rectangle.
#include "core/geom/rect.h"
#include "viewer/docview.h"

void View_setClipRect(DispView *view, const int32_t rect[4])
{
    if (!view || !rect)
        return;
    Lock_acquire(&view->lock);
    Rect r{rect[0], rect[1], rect[2], rect[3]};
    Rect bounds{view->rect[0], view->rect[1], view->rect[2], view->rect[3]};
    Rect_intersect(&r, &bounds);
    view->clip[0] = r.x0;
    view->clip[1] = r.y0;
    view->clip[2] = r.x1;
    view->clip[3] = r.y1;
    Lock_release(&view->lock);
}
