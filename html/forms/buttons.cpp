// Push buttons, radio buttons, check boxes and text labels.
#include "html/forms/buttons.h"

#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "html/forms/websupport.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "html/forms/formvalue.h"
#include "html/forms/textblock.h"
#include "html/forms/widget.h"
#include "html/forms/widgetclass.h"
#include "html/forms/skin.h"

namespace {

// The unit fractions as their nearest 16.16 values.
constexpr int32_t F(double v)
{
    return int32_t(v * 65536.0 + 0.5);
}

constexpr int32_t k0 = 0, k1 = 0x10000;

// Push button.
constexpr int32_t kBevelLow[] = {k1,      k1,      F(0.95), F(0.95), F(0.05), F(0.95),
                                 F(0.05), F(0.05), k0,      k0,      k0,      k1};
constexpr int32_t kBevelHigh[] = {k1,      k1,      k1,      k0,      k0,      k0,
                                  F(0.05), F(0.05), F(0.95), F(0.05), F(0.95), F(0.95)};
constexpr int32_t kFace[] = {F(0.05), F(0.05), F(0.95), F(0.05),
                             F(0.95), F(0.95), F(0.05), F(0.95)};
constexpr int32_t kArrow3[] = {F(0.25), F(0.25), F(0.75), F(0.25), F(0.5), F(0.75)};
constexpr int32_t kArrow4[] = {F(0.25), F(0.75), F(0.75), F(0.75), F(0.5), F(0.25)};
constexpr int32_t kArrow1[] = {F(0.75), F(0.75), F(0.75), F(0.25), F(0.25), F(0.5)};
constexpr int32_t kArrow2[] = {F(0.25), F(0.25), F(0.75), F(0.25), F(0.75), F(0.5)};

const FormBuiltinLook kButtonLooks[] = {
    {kBevelLow, 6, 0xC0C0C0C0},
    {kBevelHigh, 6, 0x606060C0},
    {kFace, 4, 0xA0A0A0C0},
};

const FormBuiltinLook kArrows[] = {
    {kArrow1, 3, 0x808080FF},
    {kArrow2, 3, 0x808080FF},
    {kArrow3, 3, 0x808080FF},
    {kArrow4, 3, 0x808080FF},
};

// Check box: three bands along x = 0 and y = 1, outer to inner, then three
// along x = 1 and y = 0, inner to outer.
constexpr int32_t kCheck1[] = {k1,      k1,      F(0.95), F(0.95), F(0.05), F(0.95),
                               F(0.05), F(0.05), k0,      k0,      k0,      k1};
constexpr int32_t kCheck2[] = {F(0.95), F(0.95), F(0.9),  F(0.9),  F(0.1),  F(0.9),
                               F(0.1),  F(0.1),  F(0.05), F(0.05), F(0.05), F(0.95)};
constexpr int32_t kCheck3[] = {F(0.9),  F(0.9),  F(0.85), F(0.85), F(0.15), F(0.85),
                               F(0.15), F(0.15), F(0.1),  F(0.1),  F(0.1),  F(0.9)};
constexpr int32_t kCheck4[] = {F(0.9),  F(0.9),  F(0.9),  F(0.1),  F(0.1),  F(0.1),
                               F(0.15), F(0.15), F(0.85), F(0.15), F(0.85), F(0.85)};
constexpr int32_t kCheck5[] = {F(0.95), F(0.95), F(0.95), F(0.05), F(0.05), F(0.05),
                               F(0.1),  F(0.1),  F(0.9),  F(0.1),  F(0.9),  F(0.9)};
constexpr int32_t kCheck6[] = {k1,      k1,      k1,      k0,      k0,      k0,
                               F(0.05), F(0.05), F(0.95), F(0.05), F(0.95), F(0.95)};

const FormBuiltinLook kCheckLooks[] = {
    {kCheck1, 6, 0x60606010}, {kCheck2, 6, 0x60606050}, {kCheck3, 6, 0x606060F0},
    {kCheck4, 6, 0x60606010}, {kCheck5, 6, 0x60606050}, {kCheck6, 6, 0x606060F0},
};

// Radio button: ten bands of three diamond rings.
constexpr int32_t kR1[] = {k0, F(0.5), F(0.5), k1, F(0.5), F(0.95), F(0.05), F(0.5)};
constexpr int32_t kR2[] = {F(0.5), k1, k1, F(0.5), F(0.95), F(0.5), F(0.5), F(0.95)};
constexpr int32_t kR3[] = {F(0.05), F(0.5), F(0.5), F(0.95), F(0.95), F(0.5),
                           F(0.9),  F(0.5), F(0.5), F(0.9),  F(0.1),  F(0.5)};
constexpr int32_t kR4[] = {F(0.1), F(0.5), F(0.5), F(0.9), F(0.5), F(0.85), F(0.15), F(0.5)};
constexpr int32_t kR5[] = {F(0.5), F(0.9), F(0.9), F(0.5), F(0.85), F(0.5), F(0.5), F(0.85)};
constexpr int32_t kR6[] = {F(0.1), F(0.5), F(0.5), F(0.1), F(0.5), F(0.15), F(0.15), F(0.5)};
constexpr int32_t kR7[] = {F(0.5), F(0.1), F(0.9), F(0.5), F(0.85), F(0.5), F(0.5), F(0.15)};
constexpr int32_t kR8[] = {F(0.05), F(0.5), F(0.5), F(0.05), F(0.95), F(0.5),
                           F(0.9),  F(0.5), F(0.5), F(0.1),  F(0.1),  F(0.5)};
constexpr int32_t kR9[] = {k0, F(0.5), F(0.5), k0, F(0.5), F(0.05), F(0.05), F(0.5)};
constexpr int32_t kR10[] = {F(0.5), k0, k1, F(0.5), F(0.95), F(0.5), F(0.5), F(0.05)};

const FormBuiltinLook kRadioLooks[] = {
    {kR1, 4, 0x60606020}, {kR2, 4, 0x60606030},  {kR3, 6, 0x60606060}, {kR4, 4, 0x606060C0},
    {kR5, 4, 0x60606040}, {kR6, 4, 0x60606040},  {kR7, 4, 0x60606020}, {kR8, 6, 0x60606060},
    {kR9, 4, 0x60606030}, {kR10, 4, 0x606060C0},
};

// The marks of the on state, dark over the bands: a small diamond inside
// the radio button's rings and a check mark inside the check box.
constexpr int32_t kRadioDot[] = {F(0.25), F(0.5), F(0.5), F(0.25),
                                 F(0.75), F(0.5), F(0.5), F(0.75)};
constexpr int32_t kCheckMark[] = {F(0.2), F(0.55), F(0.4), F(0.4), F(0.8), F(0.8), F(0.4), F(0.15)};
constexpr uint32_t kMarkColour = 0x202020E0;

FormButtonData *buttonOf(const FormWidget *w)
{
    FormWidgetClass *c = Form_Widget_classCopy(w, FormClass_button);
    return c ? static_cast<FormButtonData *>(c->priv) : nullptr;
}

FormLabelData *labelOf(const FormWidget *w)
{
    FormWidgetClass *c = Form_Widget_classCopy(w, FormClass_label);
    return c ? static_cast<FormLabelData *>(c->priv) : nullptr;
}

int addLooks(FormWidgetClass *c, const FormBuiltinLook *looks, uint32_t n)
{
    for (uint32_t i = 0; i < n; i++) {
        SkinShape shape{looks[i].points, looks[i].count, 0};
        int err = Skin_addShapeLook(c, FormValue_allStates, &shape, looks[i].colour);
        if (err)
            return err;
    }
    return Res_ok;
}

// The look drawn over the others while the box is on.
int addMark(FormWidgetClass *c, const int32_t *points, uint32_t count)
{
    SkinShape shape{points, count, 0};
    return Skin_addShapeLook(c, FormValue_onState, &shape, kMarkColour);
}

FormWidgetClass *newClass(uint32_t id, uint32_t parent)
{
    FormWidgetClass *c = static_cast<FormWidgetClass *>(Mem_calloc(1, sizeof(FormWidgetClass)));
    if (c) {
        c->classId = id;
        c->parentId = parent;
    }
    return c;
}

void inset(const int32_t r[4], int32_t out[4])
{
    out[0] = r[0] + FormButton_insetX;
    out[1] = r[1] + FormButton_insetY;
    out[2] = r[2] - FormButton_insetX;
    out[3] = r[3] - FormButton_insetY;
}

// ----------------------------------------------------------- push button

int buttonCreate(FormWidget *w)
{
    FormWidgetClass *c = Form_Widget_classCopy(w, FormClass_button);
    if (!c)
        return Res_formNoWidget;
    c->priv = Mem_calloc(1, sizeof(FormButtonData));
    return c->priv ? int(Res_ok) : int(Res_noMemory);
}

int buttonDestroy(FormWidget *w)
{
    FormWidgetClass *c = Form_Widget_classCopy(w, FormClass_button);
    if (!c)
        return Res_formNoWidget;
    Mem_free(c->priv);
    c->priv = nullptr;
    return Res_ok;
}

int buttonInit(FormWidget *w)
{
    EngineContext *ctx = w->owner ? Edr_Doc_queryApp(w->owner) : nullptr;
    FormWidgetClass *self = Form_Widget_classCopy(w, FormClass_button);
    FormButtonData *d = buttonOf(w);
    int err = Skin_loadLooks(ctx, w, self);
    if (err)
        return err;
    if (d->arrow) {
        const FormBuiltinLook *a = Form_arrowLook(d->arrow);
        err = addLooks(self, a, 1);
        if (err)
            return err;
    }
    if (Skin_hasImage(w) || !Skin_isVisibleFlag(w))
        return Res_ok;
    FormWidget *label = nullptr;
    err = Skin_attachInner(ctx, w, nullptr, &label);
    if (err)
        return err;
    d->label = label;
    (void)Edr_Widget_sendEvent(ctx, w, nullptr);
    (void)Form_labelSetNavigable(label, 0);
    if (w->label)
        err = Form_labelSetText(label, w->label, uint32_t(Ustr_len(w->label)));
    return err;
}

int buttonLayout(EngineContext *ctx, FormWidget *w, FormLayoutRequest *req)
{
    FormButtonData *d = buttonOf(w);
    if (!(w->flags & FormWidget_created) || !d || !d->label)
        return Res_ok;
    int err = Res_ok;
    if (req && !req->sizeGiven && !(req->flags & FormRequest_fixedSize)) {
        (void)Form_Widget_setRect(w, req->rect);
        FormLayoutRequest sub = *req;
        inset(req->rect, sub.rect);
        (void)Form_Widget_setRect(d->label, sub.rect);
        err = Edr_Widget_sendEvent(ctx, d->label, &sub);
    } else if (!(w->flags & FormWidget_fixedSize) && !Skin_hasImage(w)) {
        FormLayoutRequest sub{};
        if (req)
            sub = *req;
        sub.sizeGiven = 1;
        for (int i = 0; i < 4; i++)
            sub.rect[i] = d->label->rect[i];
        err = Edr_Widget_sendEvent(ctx, d->label, req ? &sub : nullptr);
        int32_t lw = d->label->rect[2] - d->label->rect[0];
        int32_t lh = d->label->rect[3] - d->label->rect[1];
        int32_t r[4] = {w->rect[0], w->rect[1], w->rect[0] + lw + FormButton_padX,
                        w->rect[1] + lh + FormButton_padY};
        (void)Form_Widget_setRect(w, r);
        if (req)
            for (int i = 0; i < 4; i++)
                req->rect[i] = r[i];
    }
    int32_t in[4];
    inset(w->rect, in);
    (void)Form_Widget_setRect(d->label, in);
    return err;
}

// ------------------------------------------------- radio button, check box

int boxInit(FormWidget *w, uint32_t classId)
{
    EngineContext *ctx = w->owner ? Edr_Doc_queryApp(w->owner) : nullptr;
    const int32_t r[4] = {0, 0, FormButton_boxSize, FormButton_boxSize};
    (void)Form_Widget_setRect(w, r);
    if (classId == FormClass_radio) {
        w->face[0] = w->face[1] = w->face[2] = 0xFF;
        w->face[3] = 0;
    }
    return Skin_loadLooks(ctx, w, Form_Widget_classCopy(w, classId));
}

int radioInit(FormWidget *w)
{
    return boxInit(w, FormClass_radio);
}

int checkInit(FormWidget *w)
{
    return boxInit(w, FormClass_check);
}

int noDestroy(FormWidget *)
{
    return Res_ok;
}

// ----------------------------------------------------------------- label

int labelCreate(FormWidget *w)
{
    FormWidgetClass *c = Form_Widget_classCopy(w, FormClass_label);
    FormLabelData *d = static_cast<FormLabelData *>(Mem_calloc(1, sizeof(FormLabelData)));
    if (!d)
        return Res_noMemory;
    c->priv = d;
    int err = Res_ok;
    if (c->looks) {
        err = Form_valueCopyDeep(c->looks, &d->text);
    } else {
        err = Form_valueNew(&d->text);
        if (!err)
            err = Form_valueSetText(d->text, nullptr);
    }
    if (err)
        return err;
    c->designBox[0] = c->designBox[1] = 0;
    c->designBox[2] = c->designBox[3] = 0x10000;
    w->flags &= ~uint32_t(FormWidget_navigable);
    Form_textSetMode(d->text, FormText_labelMode);
    return Res_ok;
}

int labelInit(FormWidget *w)
{
    EngineContext *ctx = w->owner ? Edr_Doc_queryApp(w->owner) : nullptr;
    w->face[0] = w->face[1] = w->face[2] = 0xFF;
    w->face[3] = 0;
    return Skin_loadLooks(ctx, w, Form_Widget_classCopy(w, FormClass_label));
}

int labelDestroy(FormWidget *w)
{
    FormWidgetClass *c = Form_Widget_classCopy(w, FormClass_label);
    FormLabelData *d = c ? static_cast<FormLabelData *>(c->priv) : nullptr;
    if (d) {
        Form_valueRelease(d->text);
        Mem_free(d);
        c->priv = nullptr;
    }
    return Res_ok;
}

int labelLayout(EngineContext *ctx, FormWidget *w, FormLayoutRequest *req)
{
    FormLabelData *d = labelOf(w);
    if (!(w->flags & FormWidget_created) || !d)
        return Res_ok;
    int32_t r[4];
    for (int i = 0; i < 4; i++)
        r[i] = req ? req->rect[i] : w->rect[i];
    if ((!req || req->sizeGiven) && !(w->flags & FormWidget_fixedSize)) {
        const char16_t *text = static_cast<const char16_t *>(Form_valueGetData(d->text));
        if (!text || !text[0])
            text = u"A";
        Rect box;
        int err = Form_measureText(ctx, text, req ? req->font : nullptr, req ? req->size : 0, &box);
        if (err)
            return err;
        r[2] = r[0] + (box.x1 - box.x0);
        r[3] = r[1] + (box.y1 - box.y0);
        if (req)
            for (int i = 0; i < 4; i++)
                req->rect[i] = r[i];
    }
    (void)Form_Widget_setRect(w, r);
    Form_valueSetBox(d->text, r);
    if (!req)
        return Res_ok;
    FormLayoutRequest full = *req;
    int err = Form_requestFont(ctx, req, &full.font, &full.size);
    if (err)
        return err;
    return Form_textRecordLayout(d->text, &full);
}

int labelDraw(EngineContext *ctx, FormWidget *w, const FormDrawRequest *req, const Matrix *matrix,
              const DrawTarget *target, intptr_t extra)
{
    int err = Form_classDrawBase(ctx, Form_Widget_classCopy(w, FormClass_label), w, req, matrix,
                                 target, extra);
    if (err)
        return err;
    FormLabelData *d = labelOf(w);
    return d ? Form_valueDraw(ctx, d->text, req, matrix, target, extra, w->label) : int(Res_ok);
}

} // namespace

const FormBuiltinLook *Form_arrowLook(uint32_t style)
{
    switch (style) {
    case 1: return &kArrows[0];
    case 2: return &kArrows[1];
    case 4: return &kArrows[3];
    default: return &kArrows[2];
    }
}

int Form_buttonRegister(EngineContext *context)
{
    FormWidgetClass *c = newClass(FormClass_button, FormClass_look);
    if (!c)
        return Res_noMemory;
    c->create = buttonCreate;
    c->init = buttonInit;
    c->destroy = buttonDestroy;
    c->layout = buttonLayout;
    c->designBox[2] = c->designBox[3] = 0x10000;
    int err = addLooks(c, kButtonLooks, 3);
    if (err) {
        Form_classFreeLooks(c);
        Mem_free(c);
        return err;
    }
    return Form_classRegister(context, FormClass_button, c);
}

int Form_radioRegister(EngineContext *context)
{
    FormWidgetClass *c = newClass(FormClass_radio, FormClass_look);
    if (!c)
        return Res_noMemory;
    c->init = radioInit;
    c->destroy = noDestroy;
    c->designBox[2] = c->designBox[3] = 0x10000;
    int err = addLooks(c, kRadioLooks, 10);
    if (!err)
        err = addMark(c, kRadioDot, 4);
    if (err) {
        Form_classFreeLooks(c);
        Mem_free(c);
        return err;
    }
    return Form_classRegister(context, FormClass_radio, c);
}

int Form_checkRegister(EngineContext *context)
{
    FormWidgetClass *c = newClass(FormClass_check, FormClass_look);
    if (!c)
        return Res_noMemory;
    c->init = checkInit;
    c->destroy = noDestroy;
    c->designBox[2] = c->designBox[3] = 0x10000;
    int err = addLooks(c, kCheckLooks, 6);
    if (!err)
        err = addMark(c, kCheckMark, 4);
    if (err) {
        Form_classFreeLooks(c);
        Mem_free(c);
        return err;
    }
    return Form_classRegister(context, FormClass_check, c);
}

int Form_labelRegister(EngineContext *context)
{
    FormWidgetClass *c = newClass(FormClass_label, FormClass_look);
    if (!c)
        return Res_noMemory;
    c->create = labelCreate;
    c->init = labelInit;
    c->destroy = labelDestroy;
    c->draw = labelDraw;
    c->layout = labelLayout;
    FormValue *look = nullptr;
    int err = Form_valueNew(&look);
    if (!err) {
        Form_valueSetKind(look, 0);
        Form_valueSetAlpha(look, 255);
        err = Form_valueSetText(look, Ustr_dup(u""));
        if (err)
            Form_valueRelease(look);
    }
    if (err) {
        Mem_free(c);
        return err;
    }
    (void)Form_valueListAppend(c, look);
    return Form_classRegister(context, FormClass_label, c);
}

int Form_buttonSetArrow(FormWidget *w, uint32_t style)
{
    FormButtonData *d = buttonOf(w);
    if (!d)
        return Res_formNoWidget;
    d->arrow = style;
    return Res_ok;
}

FormWidget *Form_buttonGetLabel(FormWidget *w)
{
    FormButtonData *d = buttonOf(w);
    return d ? d->label : nullptr;
}

int Form_labelSetText(FormWidget *w, const char16_t *chars, uint32_t count)
{
    FormLabelData *d = labelOf(w);
    if (!d)
        return Res_formNoWidget;
    char16_t *copy = Ustr_dupN(chars ? chars : u"", chars ? count : 0);
    if (!copy)
        return Res_noMemory;
    int err = Form_valueSetText(d->text, copy);
    if (err)
        return err;
    Form_textSetMode(d->text, FormText_labelMode);
    return Res_ok;
}

int Form_labelGetText(FormWidget *w, char16_t **out)
{
    *out = nullptr;
    FormLabelData *d = labelOf(w);
    if (!d)
        return Res_formNoWidget;
    const char16_t *text = static_cast<const char16_t *>(Form_valueGetData(d->text));
    if (!text)
        return Res_ok;
    *out = Ustr_dup(text);
    return *out ? int(Res_ok) : int(Res_noMemory);
}

int Form_labelGetLook(FormWidget *w, FormValue **out)
{
    *out = nullptr;
    FormLabelData *d = labelOf(w);
    if (!d)
        return Res_formNoWidget;
    *out = d->text;
    return Res_ok;
}

int Form_labelSetNavigable(FormWidget *w, int on)
{
    if (!w)
        return Res_formNoWidget;
    if (on)
        w->flags |= FormWidget_navigable;
    else
        w->flags &= ~uint32_t(FormWidget_navigable);
    return Res_ok;
}
