// The skin class: the look-state base of the button-like widgets.
#include "html/forms/skin.h"

#include <cstddef>

#include "core/context/context.h"
#include "core/config/config.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "html/forms/websupport.h"
#include "core/text/ustr.h"
#include "graphics/image.h"
#include "graphics/path.h"
#include "html/forms/formvalue.h"
#include "html/forms/widget.h"
#include "html/forms/widgetclass.h"
#include "platform/url/url.h"

namespace {

FormWidgetClass *drawnClass(const FormWidget *w, const SkinRecord *s)
{
    return s && s->looks ? s->looks : Form_Widget_chainHead(w);
}

// Scales a look from the class's design box into the request's rectangle:
// the request becomes the rectangle at the origin with a matrix that
// scales and then moves it.
void scaledRequest(const FormDrawRequest *in, const int32_t design[4], FormDrawRequest *out,
                   Matrix *m)
{
    *out = *in;
    int32_t dw = design[2] - design[0], dh = design[3] - design[1];
    int32_t rw = in->rect[2] - in->rect[0], rh = in->rect[3] - in->rect[1];
    *m = *Matrix_identity();
    if (dw > 0 && dh > 0) {
        m->a = int32_t((int64_t(rw) << 16) / dw);
        m->d = int32_t((int64_t(rh) << 16) / dh);
        m->tx = int32_t(-((int64_t(design[0]) * m->a) >> 16));
        m->ty = int32_t(-((int64_t(design[1]) * m->d) >> 16));
    }
    m->tx += in->rect[0] + in->dx;
    m->ty += in->rect[1] + in->dy;
    if (in->matrix)
        Matrix_concat(m, in->matrix);
    out->rect[0] = out->rect[1] = 0;
    out->rect[2] = rw;
    out->rect[3] = rh;
    out->dx = out->dy = 0;
    out->matrix = m;
}

} // namespace

SkinRecord *Skin_record(const FormWidget *w)
{
    FormWidgetClass *c = Form_Widget_classCopy(w, FormClass_look);
    return c ? static_cast<SkinRecord *>(c->priv) : nullptr;
}

int Skin_registerClass(EngineContext *context)
{
    FormWidgetClass *c = static_cast<FormWidgetClass *>(Mem_calloc(1, sizeof(FormWidgetClass)));
    if (!c)
        return Res_noMemory;
    c->parentId = FormClass_base;
    c->classId = FormClass_look;
    c->create = Skin_create;
    c->init = Skin_noop;
    c->destroy = Skin_destroy;
    c->draw = Skin_paint;
    c->layout = Skin_setRect;
    return Form_classRegister(context, FormClass_look, c);
}

int Skin_create(FormWidget *w)
{
    FormWidgetClass *c = Form_Widget_classCopy(w, FormClass_look);
    if (!c)
        return Res_formNoWidget;
    SkinRecord *s = static_cast<SkinRecord *>(Mem_calloc(1, sizeof(SkinRecord)));
    if (!s)
        return Res_noMemory;
    s->flags = Skin_initialFlags;
    c->priv = s;
    for (int i = 0; i < 4; i++)
        w->face[i] = 0xFF;
    return Res_ok;
}

int Skin_noop(FormWidget *)
{
    return Res_ok;
}

int Skin_destroy(FormWidget *w)
{
    FormWidgetClass *c = Form_Widget_classCopy(w, FormClass_look);
    if (!c || !c->priv)
        return Res_ok;
    SkinRecord *s = static_cast<SkinRecord *>(c->priv);
    Url_free(s->imageUrl);
    Mem_free(s);
    c->priv = nullptr;
    return Res_ok;
}

int Skin_setRect(EngineContext *context, FormWidget *w, FormLayoutRequest *request)
{
    SkinRecord *s = Skin_record(w);
    if (!s || !(w->flags & FormWidget_created) || !s->inner)
        return Res_ok;
    int32_t r[4];
    for (int i = 0; i < 4; i++)
        r[i] = request ? request->rect[i] : w->rect[i];
    (void)Form_Widget_setRect(s->inner, r);
    return Edr_Widget_sendEvent(context, s->inner, nullptr);
}

int Skin_paint(EngineContext *context, FormWidget *w, const FormDrawRequest *request,
               const Matrix *matrix, const DrawTarget *target, intptr_t extra)
{
    FormWidgetClass *self = Form_Widget_classCopy(w, FormClass_look);
    int err = Form_classDrawBase(context, self, w, request, matrix, target, extra);
    if (err)
        return err;
    SkinRecord *s = Skin_record(w);
    if (!s)
        return Res_ok;
    FormWidgetClass *c = drawnClass(w, s);
    uint32_t state = s->flags & 15;
    for (FormValue *look = c ? c->looks : nullptr; look; look = look->next) {
        if ((look->kind | state) != look->kind)
            continue;
        FormDrawRequest sub;
        Matrix m;
        scaledRequest(request, c->designBox, &sub, &m);
        err = Form_valueDraw(context, look, &sub, matrix, target, extra, w->label);
        if (err)
            return err;
    }
    return Res_ok;
}

int Skin_layout(EngineContext *context, FormWidget *w, const int32_t box[4])
{
    SkinRecord *s = Skin_record(w);
    if (!s)
        return Res_ok;
    if (!(s->flags & Skin_noImageBit)) {
        FormValue *item = nullptr;
        int err = Skin_addImageItem(w, FormValue_allStates, nullptr, 0, &item);
        if (err)
            return err;
        err = Skin_loadImage(context, w, box, item, 1, nullptr);
        if (err)
            return err;
        w->face[0] = w->face[1] = w->face[2] = 0xFF;
        w->face[3] = 0;
    }
    for (int i = 0; i < 4; i++)
        s->box[i] = box ? box[i] : w->rect[i];
    return Res_ok;
}

char16_t *Skin_imageUrlText(EngineContext *context, const char *name)
{
    char16_t *dir =
        Config_getUstr(context, context ? context->config : nullptr, u"Paths", u"skin", u"/skin/");
    if (!dir)
        return nullptr;
    char16_t *text = Ustr_fromCstr("file://localhost/");
    char16_t *joined = text ? Ustr_appendDup(text, dir[0] ? dir + 1 : dir) : nullptr;
    Mem_free(dir);
    if (!joined) {
        Mem_free(text);
        return nullptr;
    }
    char16_t *full = Ustr_appendCstr(joined, name ? name : "");
    if (!full)
        Mem_free(joined);
    return full;
}

int Skin_loadImage(EngineContext *context, FormWidget *w, const int32_t *, FormValue *item,
                   int byUrl, const char *name)
{
    SkinRecord *s = Skin_record(w);
    if (!s || !item)
        return Res_formNoWidget;
    Url *url = nullptr;
    if (byUrl) {
        if (!s->imageUrl)
            return Res_ok;
        url = Url_copy(s->imageUrl);
    } else {
        char16_t *text = Skin_imageUrlText(context, name);
        url = text ? Url_new(text) : nullptr;
        Mem_free(text);
    }
    if (!url)
        return Res_noMemory;
    ImageHandle *image = nullptr;
    int err =
        Image_openUrlFlags(context, url, nullptr, w->owner, nullptr, Skin_imageOpenFlags, &image);
    Url_free(url);
    if (err || !image)
        return err == Res_noMemory ? int(Res_noMemory)
                                   : int(Res_ok); // a missing skin image draws nothing
    err = Form_valueSetImage(item, image, w);
    if (err) {
        ImageHandle_release(image);
        return err;
    }
    Image_setReadyCallbacks(image, Skin_onImageDone, Skin_onImageSize, item);
    return Res_ok;
}

void Skin_onImageSize(void *item, int32_t width, int32_t height, int32_t resolution)
{
    FormValue *look = static_cast<FormValue *>(item);
    if (!look || !look->payload || look->payload->kind != FormPayload_image)
        return;
    FormImageRecord *r = static_cast<FormImageRecord *>(look->payload->data);
    if (!r || !r->widget)
        return;
    if (resolution < 1)
        resolution = Skin_defaultResolution;
    int32_t w = int32_t((int64_t(width) << 16) / resolution);
    int32_t h = int32_t((int64_t(height) << 16) / resolution);
    (void)Skin_resizeWidget(r->widget, w, h);
}

void Skin_onImageDone(void *item, int32_t, int32_t, int32_t, int32_t)
{
    FormValue *look = static_cast<FormValue *>(item);
    if (look && look->payload && look->payload->kind == FormPayload_image) {
        FormImageRecord *r = static_cast<FormImageRecord *>(look->payload->data);
        if (r && r->widget)
            (void)Form_Widget_forwardToOwner(r->widget, 0, 1);
    }
}

int Skin_resizeWidget(FormWidget *w, int32_t width, int32_t height)
{
    if (!w)
        return Res_formNoWidget;
    int32_t r[4] = {w->rect[0], w->rect[1], int32_t(uint32_t(w->rect[0]) + uint32_t(width)),
                    int32_t(uint32_t(w->rect[1]) + uint32_t(height))};
    (void)Form_Widget_setRect(w, r);
    return Form_Widget_forwardToOwner(w, 1, 1);
}

int Skin_attachInner(EngineContext *, FormWidget *w, const int32_t *rect, FormWidget **inner)
{
    if (inner)
        *inner = nullptr;
    SkinRecord *s = Skin_record(w);
    if (!s)
        return Res_formNoWidget;
    if ((s->flags & Skin_visibleBit) && !s->inner) {
        FormWidget *label = nullptr;
        int err = Form_Widget_create(w->owner, FormClass_label, 0, &label);
        if (err)
            return err;
        if (rect)
            (void)Form_Widget_setRect(label, rect);
        // Initialised at once, so that it can be attached with its parent.
        err = Form_Widget_init(label);
        if (!err)
            err = Form_Widget_addChild(w, label);
        if (err) {
            Form_Widget_destroy(label);
            return err;
        }
        s->inner = label;
    }
    if (inner)
        *inner = s->inner;
    return Res_ok;
}

int Skin_loadLooks(EngineContext *context, FormWidget *w, FormWidgetClass *copy)
{
    SkinRecord *s = Skin_record(w);
    if (!s)
        return Res_ok;
    if (copy)
        s->looks = copy;
    if (s->flags & Skin_noImageBit)
        return Res_ok;
    Form_classFreeLooks(drawnClass(w, s));
    return Skin_layout(context, w, nullptr);
}

int Skin_addPaintItem(FormWidget *w, FormValue **out)
{
    *out = nullptr;
    FormWidgetClass *c = drawnClass(w, Skin_record(w));
    if (!c)
        return Res_formNoWidget;
    int err = Form_valueNew(out);
    if (err)
        return err;
    return Form_valueListAppend(c, *out);
}

int Skin_addColourItem(FormWidget *w, uint32_t kind, uint32_t colour, FormValue **out)
{
    int err = Skin_addPaintItem(w, out);
    if (err)
        return err;
    Form_valueSetKind(*out, uint8_t(kind & 15));
    if (colour)
        Form_valueSetColourWord(*out, colour);
    return Res_ok;
}

int Skin_addImageItem(FormWidget *w, uint32_t kind, void *image, uint32_t colour, FormValue **out)
{
    int err = Skin_addColourItem(w, kind, colour, out);
    if (err || !image)
        return err;
    return Form_valueSetImage(*out, static_cast<ImageHandle *>(image), w);
}

int Skin_addShapeLook(FormWidgetClass *record, uint8_t stateMask, const SkinShape *shape,
                      uint32_t colour)
{
    if (!record || !shape || shape->count < 2)
        return Res_formNoWidget;
    const int32_t *db = record->designBox;
    int64_t bw = int64_t(db[2]) - db[0], bh = int64_t(db[3]) - db[1];
    Path *path = nullptr;
    int err = Path_create(&path, 0x10000);
    for (uint32_t i = 0; !err && i < shape->count; i++) {
        int32_t x = int32_t(db[0] + ((shape->points[2 * i] * bw) >> 16));
        int32_t y = int32_t(db[1] + ((shape->points[2 * i + 1] * bh) >> 16));
        err = i ? Path_lineTo(path, x, y) : Path_moveTo(path, x, y);
    }
    if (!err)
        err = Path_close(path);
    FormValue *look = nullptr;
    if (!err)
        err = Form_valueNew(&look);
    if (err) {
        Path_destroy(path);
        return err;
    }
    err = Form_valueSetPath(look, path);
    if (err) {
        Path_destroy(path);
        Form_valueRelease(look);
        return err;
    }
    Form_valueSetKind(look, stateMask);
    Form_valueSetColourWord(look, colour);
    int32_t box[4] = {db[0], db[1], db[2], db[3]};
    Form_valueSetBox(look, box);
    return Form_valueListAppend(record, look);
}

uint32_t Skin_getValue(const FormWidget *w)
{
    SkinRecord *s = Skin_record(w);
    return s ? s->flags & 0xFFFF : 0;
}

void Skin_setValue(FormWidget *w, uint32_t state)
{
    SkinRecord *s = Skin_record(w);
    if (s)
        s->flags = (s->flags & ~uint32_t(0xFFFF)) | (state & 0xFFFF);
}

int Skin_isVisibleFlag(const FormWidget *w)
{
    SkinRecord *s = Skin_record(w);
    return s && (s->flags & Skin_visibleBit) != 0;
}

int Skin_setVisibleFlag(FormWidget *w, int on)
{
    SkinRecord *s = Skin_record(w);
    if (!s)
        return 0;
    int old = (s->flags & Skin_visibleBit) != 0;
    if (on)
        s->flags |= Skin_visibleBit;
    else
        s->flags &= ~uint32_t(Skin_visibleBit);
    return old;
}

int Skin_getNoImage(const FormWidget *w)
{
    SkinRecord *s = Skin_record(w);
    return s && (s->flags & Skin_noImageBit) != 0;
}

void Skin_setNoImage(FormWidget *w, int on)
{
    if (SkinRecord *s = Skin_record(w)) {
        if (on)
            s->flags |= Skin_noImageBit;
        else
            s->flags &= ~uint32_t(Skin_noImageBit);
    }
}

int Skin_hasImage(const FormWidget *w)
{
    SkinRecord *s = Skin_record(w);
    return s && s->imageUrl != nullptr;
}

void Skin_setImageUrl(FormWidget *w, Url *url, uintptr_t word)
{
    SkinRecord *s = Skin_record(w);
    if (!s) {
        Url_free(url);
        return;
    }
    Url_free(s->imageUrl);
    s->imageUrl = url;
    s->imageWord = word;
    s->flags &= ~uint32_t(Skin_noImageBit);
}
