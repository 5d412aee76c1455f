// The text field.
#include "html/forms/textfield.h"

#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "html/forms/websupport.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "document/edr/docmsg.h"
#include "html/forms/buttons.h"
#include "html/forms/formvalue.h"
#include "html/forms/textblock.h"
#include "html/forms/widget.h"
#include "html/forms/widgetclass.h"

namespace {

const char16_t kLetters[] = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

int fieldCreate(FormWidget *w)
{
    FormWidgetClass *c = Form_Widget_classCopy(w, FormClass_text);
    FormTextFieldData *d =
        static_cast<FormTextFieldData *>(Mem_calloc(1, sizeof(FormTextFieldData)));
    if (!d)
        return Res_noMemory;
    c->priv = d;
    d->cols = 20;
    d->rows = 1;
    d->editable = 1;
    d->maxLength = -1;
    d->autocomplete = 1;
    for (int i = 0; i < 4; i++)
        w->face[i] = 0xFF;
    const int32_t r[4] = {0, 0, 0x28000, 0x10000};
    (void)Form_Widget_setRect(w, r);
    int err = Form_Widget_create(w->owner, FormClass_label, 0, &d->label);
    if (err)
        return err;
    err = Form_Widget_addChild(w, d->label);
    if (err) {
        Form_Widget_destroy(d->label);
        d->label = nullptr;
        return err;
    }
    return Form_labelGetLook(d->label, &d->textLook);
}

int makeBar(FormWidget *w, uint32_t role, FormWidget **out)
{
    int err = Form_Widget_create(w->owner, FormClass_scroll, 0, out);
    if (err)
        return err;
    (void)Form_Widget_setRole(*out, role);
    err = Form_Widget_init(*out);
    if (!err)
        err = Form_Widget_addChild(w, *out);
    return err;
}

int fieldInit(FormWidget *w)
{
    FormTextFieldData *d = Form_textFieldData(w);
    if (!d)
        return Res_formNoWidget;
    int err = Res_ok;
    if (d->hasHBar)
        err = makeBar(w, 0, &d->hBar);
    if (!err && d->hasVBar)
        err = makeBar(w, 1, &d->vBar);
    if (err) {
        Form_Widget_destroy(d->hBar);
        Form_Widget_destroy(d->vBar);
        d->hBar = d->vBar = nullptr;
        return err;
    }
    err = Form_Widget_init(d->label);
    if (err)
        return err;
    if (d->mask)
        Form_textSetMaskChar(d->textLook, d->mask);
    if (FormTextRecord *t = Form_valueTextRecord(d->textLook)) {
        t->selStart = t->selEnd = uint16_t(FormText_end);
    }
    Form_textSetMode(d->textLook, d->multiLine ? FormText_areaMode : FormText_fieldMode);
    Form_textRecordSetWrap(d->textLook, d->multiLine);
    return Res_ok;
}

int fieldDestroy(FormWidget *w)
{
    FormWidgetClass *c = Form_Widget_classCopy(w, FormClass_text);
    if (!c)
        return Res_formNoWidget;
    FormTextFieldData *d = static_cast<FormTextFieldData *>(c->priv);
    if (!d)
        return Res_ok;
    if (d->editing) {
        EngineContext *ctx = w->owner ? Edr_Doc_queryApp(w->owner) : nullptr;
        if (ctx && ctx->eventProc) {
            EventProcCodeMsg m{1, nullptr, nullptr, 0};
            (void)EventProc_postCode(ctx->eventProc, &m);
        }
    }
    Form_valueRelease(d->frame);
    Mem_free(d);
    c->priv = nullptr;
    return Res_ok;
}

// Sizes the field from the average letter width in the request's font.
int fieldSize(EngineContext *ctx, FormWidget *w, FormTextFieldData *d, const FormLayoutRequest *req)
{
    FontList *font = nullptr;
    int32_t size = 0;
    int err = Form_requestFont(ctx, req, &font, &size);
    if (err)
        return err;
    Rect box;
    err = Form_measureText(ctx, kLetters, font, size, &box);
    if (err)
        return err;
    int32_t avg = int32_t(uint32_t(box.x1 - box.x0) / 52u);
    if (avg == 0)
        avg = size / 72; // one em
    int32_t lh = box.y1 - box.y0;
    if (lh < 0)
        lh = -lh;
    d->lineHeight = lh;
    int32_t r[4] = {w->rect[0], w->rect[1], w->rect[2], w->rect[3]};
    uint32_t flags = req ? req->flags : 0;
    if (req && (flags & FormRequest_fixWidth)) {
        r[0] = req->rect[0];
        r[2] = req->rect[2];
    } else {
        uint32_t cols = d->cols ? d->cols : 20;
        if (cols < 3)
            cols = 3;
        r[0] = 0;
        r[2] = int32_t(int64_t(avg) * cols + FormText_pad);
    }
    if (req && (flags & FormRequest_fixHeight)) {
        r[1] = req->rect[1];
        r[3] = req->rect[3];
    } else {
        uint32_t rows = d->rows ? d->rows : 1;
        r[1] = 0;
        r[3] = int32_t(int64_t(lh) * rows + FormText_pad);
    }
    return Form_Widget_setRect(w, r);
}

int fieldMeasure(EngineContext *ctx, FormWidget *w, FormLayoutRequest *req, int32_t *width,
                 int32_t *height)
{
    *width = *height = 0;
    FormTextFieldData *d = Form_textFieldData(w);
    if (!d)
        return Res_ok;
    int32_t bw = 0, bh = 0, hw = 0, hh = 0;
    if (d->vBar)
        (void)Form_Widget_measure(ctx, d->vBar, req, &bw, &bh);
    if (d->hBar)
        (void)Form_Widget_measure(ctx, d->hBar, req, &hw, &hh);
    Rect box;
    int err = Form_measureText(ctx, u"ABC", req ? req->font : nullptr, req ? req->size : 0, &box);
    if (err)
        return err;
    *width = bw + FormText_pad + (box.x1 - box.x0);
    *height = hw + FormText_pad + (box.y1 - box.y0);
    return Res_ok;
}

int fieldLayout(EngineContext *ctx, FormWidget *w, FormLayoutRequest *req)
{
    FormTextFieldData *d = Form_textFieldData(w);
    if (!d)
        return Res_ok;
    int err = fieldSize(ctx, w, d, req);
    if (err)
        return err;
    int32_t r[4];
    (void)Form_Widget_getRect(w, r);
    int32_t W = r[2] - r[0], H = r[3] - r[1];
    FormValue *frame = nullptr;
    err = Form_valueNewRect(&frame, FormValue_selfDrawn, r, 1, 255);
    if (err)
        return err;
    Form_valueRelease(d->frame);
    d->frame = frame;
    bool tooSmall = false;
    if (req) {
        for (int i = 0; i < 4; i++)
            req->rect[i] = r[i];
        int32_t cw = 0, ch = 0;
        (void)fieldMeasure(ctx, w, req, &cw, &ch);
        tooSmall = cw > W || ch > H;
    }
    int32_t vw = 0, hh = 0;
    if (d->vBar) {
        int32_t bw = 0, bh = 0;
        (void)Form_Widget_measure(ctx, d->vBar, req, &bw, &bh);
        vw = tooSmall ? 0 : bw;
        int32_t hbar = 0;
        if (d->hBar && !tooSmall) {
            int32_t a = 0, b = 0;
            (void)Form_Widget_measure(ctx, d->hBar, req, &a, &b);
            hbar = a;
        }
        const int32_t vr[4] = {W - vw, hbar, W, H};
        (void)Form_Widget_setRect(d->vBar, vr);
        err = Edr_Widget_sendEvent(ctx, d->vBar, nullptr);
        if (err)
            return err;
    }
    if (d->hBar) {
        int32_t bw = 0, bh = 0;
        (void)Form_Widget_measure(ctx, d->hBar, req, &bw, &bh);
        hh = tooSmall ? 0 : bw;
        const int32_t hr[4] = {0, 0, W - vw, hh};
        (void)Form_Widget_setRect(d->hBar, hr);
        err = Edr_Widget_sendEvent(ctx, d->hBar, nullptr);
        if (err)
            return err;
    }
    int32_t tb[4] = {FormText_inset, FormText_inset + hh, W - FormText_inset - vw,
                     H - FormText_inset};
    if (tb[2] < tb[0])
        tb[2] = tb[0];
    for (int i = 0; i < 4; i++)
        d->textBox[i] = tb[i];
    FormLayoutRequest sub{};
    if (req)
        sub = *req;
    sub.sizeGiven = 0;
    for (int i = 0; i < 4; i++)
        sub.rect[i] = tb[i];
    (void)Form_Widget_setRect(d->label, tb);
    return Edr_Widget_sendEvent(ctx, d->label, &sub);
}

int fieldDraw(EngineContext *ctx, FormWidget *w, const FormDrawRequest *req, const Matrix *matrix,
              const DrawTarget *target, intptr_t extra)
{
    int err = Form_baseDraw(ctx, w, req, matrix, target, extra);
    if (err)
        return err;
    FormTextFieldData *d = Form_textFieldData(w);
    return d ? Form_valueDrawFrame(ctx, d->frame, req, matrix, target) : int(Res_ok);
}

} // namespace

FormTextFieldData *Form_textFieldData(const FormWidget *w)
{
    FormWidgetClass *c = Form_Widget_classCopy(w, FormClass_text);
    return c ? static_cast<FormTextFieldData *>(c->priv) : nullptr;
}

int Form_textRegister(EngineContext *context)
{
    FormWidgetClass *c = static_cast<FormWidgetClass *>(Mem_calloc(1, sizeof(FormWidgetClass)));
    if (!c)
        return Res_noMemory;
    c->classId = FormClass_text;
    c->parentId = FormClass_base;
    c->create = fieldCreate;
    c->init = fieldInit;
    c->destroy = fieldDestroy;
    c->draw = fieldDraw;
    c->layout = fieldLayout;
    c->measure = fieldMeasure;
    c->designBox[2] = c->designBox[3] = 0x10000;
    return Form_classRegister(context, FormClass_text, c);
}

int Form_textGetText(FormWidget *w, char16_t **out)
{
    if (out)
        *out = nullptr;
    FormTextFieldData *d = Form_textFieldData(w);
    if (!d || !out)
        return Res_formNoWidget;
    const char16_t *text = static_cast<const char16_t *>(Form_valueGetData(d->textLook));
    if (!text)
        return Res_ok;
    *out = Ustr_dup(text);
    return *out ? int(Res_ok) : int(Res_noMemory);
}

int Form_textSetText(FormWidget *w, char16_t *text)
{
    FormTextFieldData *d = Form_textFieldData(w);
    if (!d) {
        Mem_free(text);
        return Res_formNoWidget;
    }
    FormWidget *root = nullptr;
    (void)Form_Widget_getRoot(w, &root);
    Form_Widget_lock(root);
    int err;
    if (FormTextRecord *t = Form_valueTextRecord(d->textLook)) {
        t->selStart = 0;
        t->selEnd = t->length;
    }
    if (d->label->flags & FormWidget_laidOut) {
        err = Form_textReplaceSelection(d->textLook, text ? text : u"");
        Mem_free(text);
    } else {
        err = Form_valueSetText(d->textLook, text);
        Form_textRecordSetWrap(d->textLook, d->multiLine);
    }
    Form_Widget_unlock(root);
    if (!err)
        err = Form_Widget_forwardToOwner(w, 0, 1);
    return err;
}

int Form_textSetCols(FormWidget *w, uint32_t cols)
{
    FormTextFieldData *d = Form_textFieldData(w);
    if (!d)
        return Res_formNoWidget;
    d->cols = uint16_t(cols);
    return Res_ok;
}

int Form_textSetRows(FormWidget *w, uint32_t rows)
{
    FormTextFieldData *d = Form_textFieldData(w);
    if (!d)
        return Res_formNoWidget;
    d->rows = uint16_t(rows);
    return Res_ok;
}

int Form_textSetMaxLength(FormWidget *w, int32_t length)
{
    FormTextFieldData *d = Form_textFieldData(w);
    if (!d)
        return Res_formNoWidget;
    d->maxLength = length;
    return Res_ok;
}

int Form_textSetMultiLine(FormWidget *w, int on)
{
    FormTextFieldData *d = Form_textFieldData(w);
    if (!d)
        return Res_formNoWidget;
    d->multiLine = on ? 1 : 0;
    if (on)
        d->hasVBar = 1;
    return Res_ok;
}

int Form_textSetEditable(FormWidget *w, int on)
{
    FormTextFieldData *d = Form_textFieldData(w);
    if (!d)
        return Res_formNoWidget;
    d->editable = on ? 1 : 0;
    return Res_ok;
}

int Form_textSetMask(FormWidget *w, uint16_t mask)
{
    FormTextFieldData *d = Form_textFieldData(w);
    if (!d)
        return Res_formNoWidget;
    d->mask = mask;
    Form_textSetMaskChar(d->textLook, mask);
    return Res_ok;
}

int Form_textSetAutocomplete(FormWidget *w, int on)
{
    FormTextFieldData *d = Form_textFieldData(w);
    if (!d)
        return Res_formNoWidget;
    d->autocomplete = on ? 1 : 0;
    return Res_ok;
}
