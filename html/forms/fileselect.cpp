// The file-select control.
#include "html/forms/fileselect.h"

#include "core/config/config.h"
#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "html/forms/websupport.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "html/forms/textfield.h"
#include "html/forms/widget.h"
#include "html/forms/widgetclass.h"

namespace {

void dropChildren(FormFileData *d)
{
    Form_Widget_destroy(d->field);
    Form_Widget_destroy(d->button);
    d->field = d->button = nullptr;
}

int fileCreate(FormWidget *w)
{
    w->flags &= ~uint32_t(FormWidget_flag14);
    FormWidgetClass *c = Form_Widget_classCopy(w, FormClass_file);
    FormFileData *d = static_cast<FormFileData *>(Mem_calloc(1, sizeof(FormFileData)));
    if (!d)
        return Res_noMemory;
    for (int i = 0; i < 4; i++)
        w->face[i] = 0xFF;
    const int32_t r[4] = {0, 0, 1, 1};
    (void)Form_Widget_setRect(w, r);
    int err = Form_Widget_create(w->owner, FormClass_text, 0, &d->field);
    if (!err) {
        err = Form_Widget_addChild(w, d->field);
        if (err) {
            Form_Widget_destroy(d->field);
            d->field = nullptr;
        }
    }
    if (!err) {
        err = Form_Widget_create(w->owner, FormClass_button, 0, &d->button);
        if (!err) {
            err = Form_Widget_addChild(w, d->button);
            if (err) {
                Form_Widget_destroy(d->button);
                d->button = nullptr;
            }
        }
    }
    if (!err) {
        char16_t *label = Ustr_dupN(u"Browse...", 9);
        err = label ? Form_Widget_setLabel(d->button, label) : int(Res_noMemory);
    }
    if (err) {
        dropChildren(d);
        Mem_free(d);
        return err;
    }
    c->priv = d;
    return Res_ok;
}

int fileInit(FormWidget *w)
{
    FormFileData *d = Form_fileData(w);
    if (!d)
        return Res_formNoWidget;
    int err = Form_Widget_init(d->field);
    if (!err) {
        EngineContext *ctx = w->owner ? Edr_Doc_queryApp(w->owner) : nullptr;
        uint32_t on = Config_getIntA(ctx, ctx ? ctx->config : nullptr, nullptr,
                                     "Vexlan_EnableFileselectEditbox", 1);
        if (on == 0)
            (void)Form_textSetEditable(d->field, 0);
        err = Form_Widget_init(d->button);
    }
    Mem_free(d->chosen);
    d->chosen = nullptr;
    if (err)
        dropChildren(d);
    return err;
}

int fileDestroy(FormWidget *w)
{
    FormWidgetClass *c = Form_Widget_classCopy(w, FormClass_file);
    if (!c)
        return Res_formNoWidget;
    FormFileData *d = static_cast<FormFileData *>(c->priv);
    if (d) {
        Mem_free(d->chosen);
        Mem_free(d);
        c->priv = nullptr;
    }
    return Res_ok;
}

int fileMeasure(EngineContext *ctx, FormWidget *w, FormLayoutRequest *req, int32_t *width,
                int32_t *height)
{
    *width = *height = 0;
    FormFileData *d = Form_fileData(w);
    if (!d || !d->button)
        return Res_ok;
    FormLayoutRequest sub{};
    if (req)
        sub = *req;
    sub.sizeGiven = 1;
    for (int i = 0; i < 4; i++)
        sub.rect[i] = d->button->rect[i];
    int err = Edr_Widget_sendEvent(ctx, d->button, &sub);
    *width = d->button->rect[2] - d->button->rect[0];
    *height = d->button->rect[3] - d->button->rect[1];
    return err;
}

int fileLayout(EngineContext *ctx, FormWidget *w, FormLayoutRequest *req)
{
    FormFileData *d = Form_fileData(w);
    if (!d || !d->field || !d->button)
        return Res_ok;
    int32_t r[4];
    for (int i = 0; i < 4; i++)
        r[i] = req ? req->rect[i] : w->rect[i];
    int32_t W = r[2] - r[0], H = r[3] - r[1];
    int32_t bw = d->button->rect[2] - d->button->rect[0];
    int32_t bh = H == 1 ? d->button->rect[3] - d->button->rect[1] : H;
    int32_t fwidth = W == 1 ? d->field->rect[2] - d->field->rect[0] : W - bw;
    int32_t fheight = H == 1 ? d->field->rect[3] - d->field->rect[1] : H;
    FormLayoutRequest sub{};
    if (req)
        sub = *req;
    sub.sizeGiven = 0;
    sub.rect[0] = sub.rect[1] = 0;
    sub.rect[2] = fwidth;
    sub.rect[3] = fheight;
    if (W != 1)
        sub.flags |= FormRequest_fixWidth;
    if (H != 1)
        sub.flags |= FormRequest_fixHeight;
    (void)Form_Widget_setRect(d->field, sub.rect);
    int err = Edr_Widget_sendEvent(ctx, d->field, &sub);
    if (err)
        return err;
    int32_t fw = d->field->rect[2] - d->field->rect[0];
    int32_t fh = d->field->rect[3] - d->field->rect[1];
    FormLayoutRequest bsub{};
    if (req)
        bsub = *req;
    bsub.sizeGiven = 1;
    bsub.flags = 0;
    bsub.rect[0] = fw;
    bsub.rect[1] = 0;
    bsub.rect[2] = fw + bw;
    bsub.rect[3] = bh;
    const int32_t at[4] = {fw, 0, fw + bw, bh};
    (void)Form_Widget_setRect(d->button, at);
    err = Edr_Widget_sendEvent(ctx, d->button, &bsub);
    if (err)
        return err;
    int32_t bwNow = d->button->rect[2] - d->button->rect[0];
    int32_t bhNow = d->button->rect[3] - d->button->rect[1];
    const int32_t out[4] = {0, 0, fw + bwNow, fh > bhNow ? fh : bhNow};
    (void)Form_Widget_setRect(w, out);
    if (req)
        for (int i = 0; i < 4; i++)
            req->rect[i] = out[i];
    return Res_ok;
}

} // namespace

FormFileData *Form_fileData(const FormWidget *w)
{
    FormWidgetClass *c = Form_Widget_classCopy(w, FormClass_file);
    return c ? static_cast<FormFileData *>(c->priv) : nullptr;
}

int Form_fileRegister(EngineContext *context)
{
    FormWidgetClass *c = static_cast<FormWidgetClass *>(Mem_calloc(1, sizeof(FormWidgetClass)));
    if (!c)
        return Res_noMemory;
    c->classId = FormClass_file;
    c->parentId = FormClass_base;
    c->create = fileCreate;
    c->init = fileInit;
    c->destroy = fileDestroy;
    c->layout = fileLayout;
    c->measure = fileMeasure;
    c->designBox[2] = c->designBox[3] = 0x10000;
    return Form_classRegister(context, FormClass_file, c);
}

int Form_fileGetValue(FormWidget *w, char16_t **out, int preferChosen)
{
    if (out)
        *out = nullptr;
    FormFileData *d = Form_fileData(w);
    if (!d || !out)
        return Res_formNoWidget;
    if (preferChosen && d->chosen) {
        *out = Ustr_dup(d->chosen);
        return *out ? int(Res_ok) : int(Res_noMemory);
    }
    return Form_textGetText(d->field, out);
}

int Form_fileSetSize(FormWidget *w, uint32_t size)
{
    FormFileData *d = Form_fileData(w);
    if (!d)
        return Res_formNoWidget;
    return Form_textSetCols(d->field, size);
}
