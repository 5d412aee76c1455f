// The scroll bar.
#include "html/forms/scrollbar.h"

#include "core/mem/mem.h"
#include "core/result.h"
#include "html/forms/websupport.h"
#include "document/edr/doc.h"
#include "html/forms/buttons.h"
#include "html/forms/formvalue.h"
#include "html/forms/widget.h"
#include "html/forms/widgetclass.h"
#include "html/forms/skin.h"

namespace {

int makePart(FormWidget *bar, uint32_t arrow, uint32_t role, FormWidget **out)
{
    *out = nullptr;
    FormWidget *b = nullptr;
    int err = Form_Widget_create(bar->owner, FormClass_button, 0, &b);
    if (err)
        return err;
    (void)Skin_setVisibleFlag(b, 0); // no label child
    if (arrow)
        (void)Form_buttonSetArrow(b, arrow);
    else
        b->flags |= FormWidget_fixedSize;
    err = Form_Widget_init(b);
    if (!err) {
        if (!arrow)
            b->flags &= ~uint32_t(FormWidget_navigable);
        (void)Form_Widget_setPartWord(b, 1);
        err = Form_Widget_addChild(bar, b);
    }
    if (err) {
        Form_Widget_destroy(b);
        return err;
    }
    (void)Form_Widget_setRole(b, role);
    *out = b;
    return Res_ok;
}

int scrollCreate(FormWidget *w)
{
    FormWidgetClass *c = Form_Widget_classCopy(w, FormClass_scroll);
    if (!c)
        return Res_formNoWidget;
    FormScrollData *d = static_cast<FormScrollData *>(Mem_calloc(1, sizeof(FormScrollData)));
    if (!d)
        return Res_noMemory;
    d->maximum = 100;
    d->pageStep = 10;
    d->lineStep = 1;
    c->priv = d;
    const int32_t r[4] = {0, 0, 0x8000, 0x8000};
    (void)Form_Widget_setRect(w, r);
    w->face[0] = w->face[1] = w->face[2] = 0xC0;
    w->face[3] = 0xFF;
    return Res_ok;
}

int scrollInit(FormWidget *w)
{
    FormScrollData *d = Form_scrollData(w);
    bool horizontal = (w->rect[2] - w->rect[0]) > (w->rect[3] - w->rect[1]);
    int err = makePart(w, horizontal ? 1 : 3, 0, &d->first);
    if (!err)
        err = makePart(w, horizontal ? 2 : 4, 1, &d->second);
    if (!err)
        err = makePart(w, 0, 2, &d->thumb);
    if (err) {
        Form_Widget_destroy(d->first);
        Form_Widget_destroy(d->second);
        Form_Widget_destroy(d->thumb);
        d->first = d->second = d->thumb = nullptr;
    }
    return err;
}

int scrollDestroy(FormWidget *w)
{
    FormWidgetClass *c = Form_Widget_classCopy(w, FormClass_scroll);
    if (!c)
        return Res_formNoWidget;
    FormScrollData *d = static_cast<FormScrollData *>(c->priv);
    if (d) {
        Form_valueRelease(d->frame);
        Mem_free(d);
        c->priv = nullptr;
    }
    return Res_ok;
}

int scrollMeasure(EngineContext *, FormWidget *, FormLayoutRequest *, int32_t *width,
                  int32_t *height)
{
    *width = 9102;
    *height = 0;
    return Res_ok;
}

int placePart(EngineContext *ctx, FormWidget *part, int32_t x0, int32_t y0, int32_t x1, int32_t y1)
{
    if (!part)
        return Res_ok;
    const int32_t r[4] = {x0, y0, x1, y1};
    (void)Form_Widget_setRect(part, r);
    return Edr_Widget_sendEvent(ctx, part, nullptr);
}

int scrollLayout(EngineContext *ctx, FormWidget *w, FormLayoutRequest *req)
{
    FormScrollData *d = Form_scrollData(w);
    if (!d)
        return Res_ok;
    int32_t r[4];
    for (int i = 0; i < 4; i++)
        r[i] = req ? req->rect[i] : w->rect[i];
    if (req)
        (void)Form_Widget_setRect(w, r);
    FormValue *frame = nullptr;
    int err = Form_valueNewRect(&frame, FormValue_selfDrawn, r, 1, 255);
    if (err)
        return err;
    Form_valueRelease(d->frame);
    d->frame = frame;
    int32_t x0 = r[0], y0 = r[1], W = r[2] - r[0], H = r[3] - r[1];
    bool vertical = W <= H;
    int32_t A = vertical ? W : H;
    d->thumbShown = 1;
    if (vertical && int64_t(3) * W > H) {
        A = H / 2;
        d->thumbShown = 0;
    } else if (!vertical && int64_t(3) * H > W) {
        A = W / 2;
        d->thumbShown = 0;
    }
    if (vertical) {
        err = placePart(ctx, d->first, x0, y0 + H - A, x0 + W, y0 + H);
        if (!err)
            err = placePart(ctx, d->second, x0, y0, x0 + W, y0 + A);
    } else {
        err = placePart(ctx, d->first, x0, y0, x0 + A, y0 + H);
        if (!err)
            err = placePart(ctx, d->second, x0 + W - A, y0, x0 + W, y0 + H);
    }
    if (err)
        return err;
    if (d->thumb) {
        if (d->thumbShown) {
            int32_t L = (vertical ? H : W) - 3 * A;
            int64_t range = int64_t(d->maximum) - d->minimum;
            int32_t offset = range ? int32_t(int64_t(L) * d->position / range) : 0;
            d->thumb->flags |= FormWidget_sized;
            if (vertical)
                err = placePart(ctx, d->thumb, x0, y0 + H - A - offset - A, x0 + W,
                                y0 + H - A - offset);
            else
                err = placePart(ctx, d->thumb, x0 + A + offset, y0, x0 + 2 * A + offset, y0 + H);
        } else {
            d->thumb->flags &= ~uint32_t(FormWidget_sized);
            err = placePart(ctx, d->thumb, x0, y0, x0 + 1, y0 + 1);
        }
    }
    if (vertical) {
        d->trough[0] = r[0];
        d->trough[2] = r[2];
        d->trough[1] = r[1] + A;
        d->trough[3] = r[3] - A;
    } else {
        d->trough[1] = r[1];
        d->trough[3] = r[3];
        d->trough[0] = r[0] + A;
        d->trough[2] = r[2] - A;
    }
    return err;
}

int scrollDraw(EngineContext *ctx, FormWidget *w, const FormDrawRequest *req, const Matrix *matrix,
               const DrawTarget *target, intptr_t extra)
{
    int err = Form_baseDraw(ctx, w, req, matrix, target, extra);
    if (err)
        return err;
    FormScrollData *d = Form_scrollData(w);
    return d ? Form_valueDrawFrame(ctx, d->frame, req, matrix, target) : int(Res_ok);
}

} // namespace

FormScrollData *Form_scrollData(const FormWidget *w)
{
    FormWidgetClass *c = Form_Widget_classCopy(w, FormClass_scroll);
    return c ? static_cast<FormScrollData *>(c->priv) : nullptr;
}

int Form_scrollRegister(EngineContext *context)
{
    FormWidgetClass *c = static_cast<FormWidgetClass *>(Mem_calloc(1, sizeof(FormWidgetClass)));
    if (!c)
        return Res_noMemory;
    c->classId = FormClass_scroll;
    c->parentId = FormClass_base;
    c->create = scrollCreate;
    c->init = scrollInit;
    c->destroy = scrollDestroy;
    c->draw = scrollDraw;
    c->layout = scrollLayout;
    c->measure = scrollMeasure;
    return Form_classRegister(context, FormClass_scroll, c);
}

int Form_scrollGetPosition(FormWidget *w, int32_t *position)
{
    *position = 0;
    FormScrollData *d = Form_scrollData(w);
    if (!d)
        return Res_formNoWidget;
    *position = d->position;
    return Res_ok;
}

int Form_scrollSetPosition(FormWidget *w, int32_t position)
{
    FormScrollData *d = Form_scrollData(w);
    if (!d)
        return Res_formNoWidget;
    d->position = position;
    return Res_ok;
}

int Form_scrollSetRange(FormWidget *w, int32_t minimum, int32_t maximum)
{
    FormScrollData *d = Form_scrollData(w);
    if (!d)
        return Res_formNoWidget;
    d->minimum = minimum;
    d->maximum = maximum;
    return Res_ok;
}

int Form_scrollSetSteps(FormWidget *w, int32_t lineStep, int32_t pageStep)
{
    FormScrollData *d = Form_scrollData(w);
    if (!d)
        return Res_formNoWidget;
    d->lineStep = lineStep;
    d->pageStep = pageStep;
    return Res_ok;
}

int Form_scrollForward(FormWidget *w, int byPage)
{
    FormScrollData *d = Form_scrollData(w);
    if (!d)
        return Res_formNoWidget;
    int64_t p = int64_t(d->position) + (byPage ? d->pageStep : d->lineStep);
    d->position = int32_t(p > d->maximum ? d->maximum : p);
    return Res_ok;
}

int Form_scrollBack(FormWidget *w, int byPage)
{
    FormScrollData *d = Form_scrollData(w);
    if (!d)
        return Res_formNoWidget;
    int64_t p = int64_t(d->position) - (byPage ? d->pageStep : d->lineStep);
    d->position = int32_t(p < d->minimum ? d->minimum : p);
    return Res_ok;
}
