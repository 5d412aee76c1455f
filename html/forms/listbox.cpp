// The list box.
#include "html/forms/listbox.h"

#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "html/forms/websupport.h"
#include "html/forms/buttons.h"
#include "html/forms/controls.h"
#include "html/forms/formvalue.h"
#include "html/forms/ptrlist.h"
#include "html/forms/scrollbar.h"
#include "html/forms/widget.h"

namespace {

bool isOption(const FormWidget *w)
{
    return w && Form_Widget_hasClass(w, FormClass_label);
}

// The index-th option child, or null.
FormWidget *optionAt(const FormWidget *list, uint32_t index)
{
    if (!list->children)
        return nullptr;
    uint32_t i = 0;
    for (PtrCell *c = list->children->head; c; c = c->next) {
        FormWidget *o = static_cast<FormWidget *>(c->value);
        if (!isOption(o))
            continue;
        if (i++ == index)
            return o;
    }
    return nullptr;
}

int listCreate(FormWidget *w)
{
    FormWidgetClass *c = Form_Widget_classCopy(w, FormClass_list);
    FormListData *d = static_cast<FormListData *>(Mem_calloc(1, sizeof(FormListData)));
    if (!d)
        return Res_noMemory;
    d->hasVBar = 1;
    d->spare = 1;
    d->autoRows = 1;
    d->rows = 1;
    c->priv = d;
    w->flags |= FormWidget_listBox;
    w->face[0] = w->face[1] = w->face[2] = w->face[3] = 0xFF;
    const int32_t r[4] = {0, 0, 0x28000, 0x10000};
    (void)Form_Widget_setRect(w, r);
    return Res_ok;
}

int listInit(FormWidget *w)
{
    FormListData *d = Form_listData(w);
    if (!d)
        return Res_formNoWidget;
    FormWidget *bar = nullptr;
    int err = Form_Widget_create(w->owner, FormClass_scroll, 0, &bar);
    if (err)
        return err;
    (void)Form_Widget_setRole(bar, 1);
    (void)Form_scrollSetRange(bar, 0, d->count >= 2 ? d->count - 1 : 0);
    (void)Form_scrollSetSteps(bar, 1, d->rows >= 2 ? d->rows - 1 : 0);
    err = Form_Widget_init(bar);
    if (!err)
        err = Form_Widget_addChild(w, bar);
    if (err) {
        Form_Widget_destroy(bar);
        d->vBar = d->hBar = nullptr;
        return err;
    }
    d->vBar = bar;
    return Res_ok;
}

int listDestroy(FormWidget *w)
{
    FormWidgetClass *c = Form_Widget_classCopy(w, FormClass_list);
    FormListData *d = c ? static_cast<FormListData *>(c->priv) : nullptr;
    if (d) {
        Form_valueRelease(d->frame);
        Mem_free(d);
        c->priv = nullptr;
    }
    return Res_ok;
}

// Sizing: the widest and tallest option text, then the rectangle.
int listSize(EngineContext *ctx, FormWidget *w, FormListData *d, FormLayoutRequest *req)
{
    FormLayoutRequest own{};
    if (!req) {
        own.sizeGiven = 1;
        for (int i = 0; i < 4; i++)
            own.rect[i] = w->rect[i];
        req = &own;
    }
    FontList *font = nullptr;
    int32_t size = 0;
    int err = Form_requestFont(ctx, req, &font, &size);
    if (err)
        return err;
    int32_t widest = 0, tallest = 0;
    for (uint16_t i = 0; i < d->count; i++) {
        FormWidget *o = optionAt(w, i);
        char16_t *text = nullptr;
        if (!o || Form_labelGetText(o, &text) != Res_ok || !text || !text[0]) {
            Mem_free(text);
            continue;
        }
        Rect box{};
        err = Form_measureText(ctx, text, font, size, &box);
        Mem_free(text);
        if (err)
            return err;
        widest = box.x1 - box.x0 > widest ? box.x1 - box.x0 : widest;
        int32_t h = box.y1 > box.y0 ? box.y1 - box.y0 : box.y0 - box.y1;
        tallest = h > tallest ? h : tallest;
    }
    int32_t r[4];
    uint16_t rows = d->rows ? d->rows : 1;
    if (req->sizeGiven) {
        if (!tallest) {
            // An empty list keeps one line of the font's height.
            Rect box{};
            if ((err = Form_measureText(ctx, u"A", font, size, &box)))
                return err;
            tallest = box.y1 > box.y0 ? box.y1 - box.y0 : box.y0 - box.y1;
        }
        d->lineHeight = tallest;
        if (!d->count)
            widest = int32_t(int64_t(size) * 10 / 72);
        r[0] = r[1] = 0;
        r[2] = widest + FormList_barWidth + FormList_pad;
        r[3] = int32_t(int64_t(rows) * d->lineHeight + FormList_pad);
    } else {
        for (int i = 0; i < 4; i++)
            r[i] = req->rect[i];
        d->lineHeight = (r[3] - r[1] - FormList_pad) / rows;
    }
    (void)Form_Widget_setRect(w, r);
    FormValue *frame = nullptr;
    if ((err = Form_valueNewRect(&frame, FormValue_selfDrawn, r, 1, 255)))
        return err;
    Form_valueRelease(d->frame);
    d->frame = frame;
    return Res_ok;
}

int listLayout(EngineContext *ctx, FormWidget *w, FormLayoutRequest *req)
{
    FormListData *d = Form_listData(w);
    if (!d)
        return Res_ok;
    int err = listSize(ctx, w, d, req);
    if (err)
        return err;
    int32_t r[4];
    for (int i = 0; i < 4; i++)
        r[i] = w->rect[i];
    int32_t W = r[2] - r[0], H = r[3] - r[1];
    int32_t ta[4] = {FormList_inset, FormList_inset, W - FormList_inset, H - FormList_inset};
    if (req)
        for (int i = 0; i < 4; i++)
            req->rect[i] = r[i];
    if (d->vBar) {
        int32_t bw = 0, bh = 0;
        (void)Form_Widget_measure(ctx, d->vBar, req, &bw, &bh);
        int32_t br[4] = {W - bw > 0 ? W - bw : 0, 0, W, H};
        if (req && (req->flags & 0x20)) {
            br[0] = 0;
            br[2] = bw;
            ta[0] += bw;
        } else {
            ta[2] -= bw;
        }
        if (ta[2] < ta[0])
            ta[2] = ta[0];
        (void)Form_Widget_setRect(d->vBar, br);
        FormLayoutRequest sub{};
        if (req)
            sub = *req;
        sub.sizeGiven = 0;
        for (int i = 0; i < 4; i++)
            sub.rect[i] = br[i];
        if ((err = Edr_Widget_sendEvent(ctx, d->vBar, &sub)))
            return err;
    }
    for (int i = 0; i < 4; i++)
        d->textArea[i] = ta[i];
    // Row layout, from the top of the text area down.
    int32_t top = ta[3];
    uint16_t rows = d->rows ? d->rows : 1;
    for (uint16_t i = 0; i < d->count; i++) {
        FormWidget *o = optionAt(w, i);
        if (!o)
            break;
        if (i < d->firstVisible || i >= d->firstVisible + rows) {
            o->flags &= ~uint32_t(FormWidget_sized);
            continue;
        }
        o->flags |= FormWidget_sized;
        const int32_t orow[4] = {ta[0], top - d->lineHeight, ta[2], top};
        (void)Form_Widget_setRect(o, orow);
        FormLayoutRequest sub{};
        if (req)
            sub = *req;
        sub.sizeGiven = 0;
        for (int k = 0; k < 4; k++)
            sub.rect[k] = orow[k];
        if ((err = Edr_Widget_sendEvent(ctx, o, &sub)))
            return err;
        top -= d->lineHeight;
    }
    return Res_ok;
}

int listDraw(EngineContext *ctx, FormWidget *w, const FormDrawRequest *req, const Matrix *matrix,
             const DrawTarget *target, intptr_t extra)
{
    int err = Form_baseDraw(ctx, w, req, matrix, target, extra);
    FormListData *d = Form_listData(w);
    if (err || !d)
        return err;
    for (uint16_t i = 0; i < d->count && !err; i++) {
        FormWidget *o = optionAt(w, i);
        if (o && (o->flags & FormWidget_sized)) {
            FormDrawRequest sub = *req;
            sub.dx += o->rect[0];
            sub.dy += o->rect[1];
            err = Form_Widget_dispatch(o, &sub, matrix, target, extra);
        }
    }
    if (!err && d->current < d->count) {
        FormWidget *o = optionAt(w, d->current);
        FormValue *box = nullptr;
        if (o && (o->flags & FormWidget_sized) &&
            !Form_valueNewRect(&box, FormValue_selfDrawn, o->rect, 0, 255)) {
            err = Form_valueDrawFrame(ctx, box, req, matrix, target);
            Form_valueRelease(box);
        }
    }
    if (!err)
        err = Form_valueDrawFrame(ctx, d->frame, req, matrix, target);
    return err;
}

} // namespace

FormListData *Form_listData(const FormWidget *w)
{
    FormWidgetClass *c = w ? Form_Widget_classCopy(w, FormClass_list) : nullptr;
    return c ? static_cast<FormListData *>(c->priv) : nullptr;
}

int Form_listRegister(EngineContext *context)
{
    FormWidgetClass *c = static_cast<FormWidgetClass *>(Mem_calloc(1, sizeof(FormWidgetClass)));
    if (!c)
        return Res_noMemory;
    c->classId = FormClass_list;
    c->parentId = FormClass_base;
    c->create = listCreate;
    c->init = listInit;
    c->destroy = listDestroy;
    c->draw = listDraw;
    c->layout = listLayout;
    return Form_classRegister(context, FormClass_list, c);
}

int Form_listCreateWidget(FormWidget **out, Edr_Doc *doc)
{
    int err = Form_Widget_create(doc, FormClass_list, 0, out);
    if (!err)
        (void)Form_Widget_setKind(*out, FormKind_select);
    return err;
}

int Form_listInsertOption(FormWidget *list, FormWidget *option, int32_t index)
{
    FormListData *d = Form_listData(list);
    if (!d || !option)
        return Res_formNoWidget;
    FormWidget *root = nullptr;
    (void)Form_Widget_getRoot(list, &root);
    Form_Widget_lock(root);
    option->flags |= FormWidget_option;
    int err;
    if (index < 0) {
        err = Form_Widget_addChild(list, option);
    } else {
        // The index counts options; the bar and other parts keep their places.
        uint32_t at = list->children ? list->children->count : 0;
        uint32_t seen = 0, i = 0;
        for (PtrCell *c = list->children ? list->children->head : nullptr; c; c = c->next, i++) {
            if (isOption(static_cast<FormWidget *>(c->value)) && seen++ == uint32_t(index)) {
                at = i;
                break;
            }
        }
        err = Form_Widget_insertChild(list, option, at);
    }
    if (!err && d->count < UINT16_MAX)
        d->count++;
    Form_Widget_unlock(root);
    if (!err && d->vBar)
        (void)Form_scrollSetRange(d->vBar, 0, d->count >= 2 ? d->count - 1 : 0);
    return err ? err : Form_Widget_forwardToOwner(list, 1, 1);
}

int Form_listRemoveOption(FormWidget *list, FormWidget *option)
{
    FormListData *d = Form_listData(list);
    if (!d || !option)
        return Res_formNoWidget;
    FormWidget *root = nullptr;
    (void)Form_Widget_getRoot(list, &root);
    Form_Widget_lock(root);
    int err = Form_Widget_removeChild(list, option);
    if (!err && d->count)
        d->count--;
    if (!err && d->current >= d->count)
        d->current = 0;
    Form_Widget_unlock(root);
    return err ? err : Form_Widget_forwardToOwner(list, 1, 1);
}

int Form_listSetRows(FormWidget *list, uint32_t rows)
{
    FormListData *d = Form_listData(list);
    if (!d)
        return Res_formNoWidget;
    if (rows)
        d->rows = uint16_t(rows > UINT16_MAX ? UINT16_MAX : rows);
    d->autoRows = 0;
    if (d->vBar)
        (void)Form_scrollSetSteps(d->vBar, 1, d->rows >= 2 ? d->rows - 1 : 0);
    return Res_ok;
}

int Form_listGetAutoRows(FormWidget *list, uint32_t *value)
{
    *value = 0;
    FormListData *d = Form_listData(list);
    if (!d)
        return Res_formNoWidget;
    *value = d->autoRows;
    return Res_ok;
}

int Form_listGetCount(FormWidget *list, uint16_t *count)
{
    *count = 0;
    FormListData *d = Form_listData(list);
    if (!d)
        return Res_formNoWidget;
    *count = d->count;
    return Res_ok;
}

int Form_listSetFlag(FormWidget *list, uint32_t value)
{
    FormListData *d = Form_listData(list);
    if (!d)
        return Res_formNoWidget;
    d->selectFlag = value;
    return Res_ok;
}

int Form_listGetFlag(FormWidget *list, uint32_t *value)
{
    *value = 0;
    FormListData *d = Form_listData(list);
    if (!d)
        return Res_formNoWidget;
    *value = d->selectFlag;
    return Res_ok;
}

int Form_listGetSelected(FormWidget *list, FormWidget *after, FormWidget **out)
{
    *out = nullptr;
    FormListData *d = Form_listData(list);
    if (!d)
        return Res_formNoWidget;
    bool any = false, passed = after == nullptr;
    FormWidget *first = nullptr;
    for (PtrCell *c = list->children ? list->children->head : nullptr; c; c = c->next) {
        FormWidget *o = static_cast<FormWidget *>(c->value);
        if (!isOption(o))
            continue;
        if (!first)
            first = o;
        int on = 0;
        (void)Form_ctlIsChecked(o, &on);
        any = any || on;
        if (on && passed) {
            *out = o;
            return Res_ok;
        }
        if (o == after)
            passed = true;
    }
    // A single-row select with no marked option shows, and sends, its first.
    if (!any && !after && first && !d->selectFlag && d->rows <= 1)
        *out = first;
    return Res_ok;
}

int Form_listShowSelected(FormWidget *list)
{
    FormListData *d = Form_listData(list);
    if (!d)
        return Res_formNoWidget;
    int32_t index = 0;
    for (uint16_t i = 0; i < d->count; i++) {
        int on = 0;
        (void)Form_ctlIsChecked(optionAt(list, i), &on);
        if (on) {
            index = i;
            break;
        }
    }
    int32_t rows = d->rows ? d->rows : 1;
    int32_t pos = index - (rows - 1) > 0 ? index - (rows - 1) : 0;
    d->firstVisible = uint16_t(pos);
    return d->vBar ? Form_scrollSetPosition(d->vBar, pos) : int(Res_ok);
}

int Form_listForEachOption(FormWidget *list, FormListOptionFn fn, void *context)
{
    if (!Form_listData(list) || !fn)
        return Res_formNoWidget;
    uint16_t index = 0;
    int stop = 0;
    for (PtrCell *c = list->children ? list->children->head : nullptr; c && !stop; c = c->next) {
        FormWidget *o = static_cast<FormWidget *>(c->value);
        if (!isOption(o))
            continue;
        int err = fn(o, index++, context, &stop);
        if (err)
            return err;
    }
    return Res_ok;
}
