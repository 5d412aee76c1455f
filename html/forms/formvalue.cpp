// Widget looks: records, payloads, copies, drawing and point translation.
#include "html/forms/formvalue.h"

#include "core/geom/rect.h"
#include "graphics/stroke.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "graphics/bitmap.h"
#include "graphics/drawitem.h"
#include "graphics/fill.h"
#include "core/container/obj.h"
#include "graphics/image.h"
#include "graphics/imageitem.h"
#include "graphics/path.h"
#include "graphics/pixelbuf.h"
#include "html/forms/textblock.h"
#include "html/forms/widgetclass.h"
#include "graphics/imageutil.h"

namespace {

void toLocal(const FormValue *value, FormPoint *point)
{
    point->y = int32_t(uint32_t(point->y) - uint32_t(value->rect[3]));
    point->x = int32_t(uint32_t(point->x) - uint32_t(value->rect[0]));
}

void freeData(FormValuePayload *p)
{
    switch (p->kind) {
    case FormPayload_text: Form_textRecordFree(static_cast<FormTextRecord *>(p->data)); break;
    case FormPayload_image: {
        FormImageRecord *r = static_cast<FormImageRecord *>(p->data);
        if (r)
            ImageHandle_release(r->image);
        Mem_free(r);
        break;
    }
    case FormPayload_path: Path_destroy(static_cast<Path *>(p->data)); break;
    default: break;
    }
}

void clearPayload(FormValue *look)
{
    FormValuePayload *p = look->payload;
    look->payload = nullptr;
    if (!p)
        return;
    if (p->kind == FormPayload_empty || p->shares == 0) {
        Mem_free(p);
        return;
    }
    if (--p->shares == 0) {
        freeData(p);
        Mem_free(p);
    }
}

int newPayload(FormValue *look, uint32_t kind, void *data)
{
    FormValuePayload *p = static_cast<FormValuePayload *>(Mem_calloc(1, sizeof(FormValuePayload)));
    if (!p)
        return Res_noMemory;
    p->shares = 1;
    p->kind = kind;
    p->data = data;
    clearPayload(look);
    look->payload = p;
    return Res_ok;
}

int rectPath(const int32_t rect[4], int relative, Path **out)
{
    *out = nullptr;
    Rect r{rect[0], rect[1], rect[2], rect[3]};
    if (relative)
        r = Rect{0, 0, rect[2] - rect[0], rect[3] - rect[1]};
    Path *path = nullptr;
    int err = Path_create(&path, 0x10000);
    if (err)
        return err;
    err = Path_addRect(path, &r);
    if (err) {
        Path_destroy(path);
        return err;
    }
    *out = path;
    return Res_ok;
}

// The matrix that places a look: the request's rectangle origin plus its
// offset, then the request's own matrix, then the caller's.
Matrix placement(const FormDrawRequest *req, const Matrix *matrix)
{
    Matrix m = *Matrix_identity();
    m.tx = req->rect[0] + req->dx;
    m.ty = req->rect[1] + req->dy;
    if (req->matrix)
        Matrix_concat(&m, req->matrix);
    if (matrix)
        Matrix_concat(&m, matrix);
    return m;
}

int render(EngineContext *context, const Path *path, const Matrix *m, const DrawTarget *target,
           uint32_t colour, uint32_t penKind, int32_t width, uint32_t flags)
{
    if (!target || !target->bitmap || !path || (colour >> 24) == 0)
        return Res_ok;
    DrawItem *d = target->bitmap->drawItem;
    d->kind = DrawItem_kindPath;
    d->shape.path = FillRequest{};
    d->shape.path.path = path;
    d->shape.path.s = 3;
    d->shape.path.matrix = m;
    d->shape.path.penKind = penKind;
    if (penKind)
        d->shape.path.pen = Pen{0, width, width * 4, 0, 0, nullptr};
    else
        d->shape.path.pen.style = Fill_ruleNonZero;
    d->paintKind = DrawItem_sourceSolid;
    d->paint.solid = {Pixel_formatRGBA, colour & 0x00FFFFFFu};
    d->maskKind = DrawItem_sourceSolid;
    d->mask.solid = {Pixel_formatGrey8, colour >> 24};
    d->cachedRowOp = nullptr;
    const StageNode *stages = Obj_kindRecord(context, (flags >> 8) & 3);
    return DrawItem_render(d, stages, nullptr, target);
}

// An image look: the picture scaled from its own size into the request's
// rectangle. Until the image's size is known only the look's placement is
// recorded.
int drawImage(EngineContext *context, FormValue *look, const FormDrawRequest *req,
              const Matrix *matrix, const DrawTarget *target)
{
    FormImageRecord *r = static_cast<FormImageRecord *>(look->payload->data);
    int32_t info[6] = {};
    if (!r || !r->image || Image_getDocImageInfo(r->image, info, nullptr, nullptr) != Res_ok ||
        info[0] <= 0 || info[1] <= 0) {
        Form_valueSetBox(look, req->rect);
        return Res_ok;
    }
    if (!target)
        return Res_ok;
    Rect box{req->rect[0] + req->dx, req->rect[1] + req->dy, req->rect[2] + req->dx,
             req->rect[3] + req->dy};
    ObjHeader *item = ImageItem_create(&box);
    if (!item)
        return Res_noMemory;
    ImageItemPart *part = ImageItem_part(item);
    part->kind = ImageItem_handleKind;
    part->handle = r->image;
    part->alpha = look->opacity;
    Matrix m = req->matrix ? *req->matrix : *Matrix_identity();
    if (matrix)
        Matrix_concat(&m, matrix);
    int err = ImageItem_drawDefault(context, item, target, &m, 0, 15);
    part->handle = nullptr; // the look keeps its handle
    Obj_destroy(item);
    return err;
}

} // namespace

int Form_fillPath(EngineContext *context, const Path *path, const Matrix *matrix,
                  const DrawTarget *target, uint32_t colour, uint32_t flags)
{
    return render(context, path, matrix, target, colour, 0, 0, flags);
}

int Form_strokePath(EngineContext *context, const Path *path, const Matrix *matrix,
                    const DrawTarget *target, uint32_t colour, int32_t width, uint32_t flags)
{
    return render(context, path, matrix, target, colour, 1, width, flags);
}

int Form_valueNew(FormValue **out)
{
    *out = static_cast<FormValue *>(Mem_calloc(1, sizeof(FormValue)));
    if (!*out)
        return Res_noMemory;
    (*out)->rect[1] = 0x10000;
    (*out)->rect[3] = 0x10000;
    (*out)->opacity = 255;
    (*out)->refCount = 1;
    return Res_ok;
}

int Form_valueNewRect(FormValue **out, uint8_t stateMask, const int32_t rect[4], int relative,
                      uint8_t opacity)
{
    int err = Form_valueNew(out);
    if (err)
        return err;
    (*out)->kind = stateMask;
    (*out)->opacity = opacity;
    err = Form_valueSetRectPath(*out, rect, relative);
    if (err) {
        Form_valueRelease(*out);
        *out = nullptr;
    }
    return err;
}

void Form_valueRelease(FormValue *look)
{
    if (!look)
        return;
    if (look->refCount > 1) {
        look->refCount--;
        return;
    }
    clearPayload(look);
    Mem_free(look);
}

int Form_valueCopy(const FormValue *look, FormValue **out)
{
    *out = nullptr;
    if (!look)
        return Res_formNoWidget;
    FormValue *c = static_cast<FormValue *>(Mem_malloc(sizeof(FormValue)));
    if (!c)
        return Res_noMemory;
    *c = *look;
    if (c->payload)
        c->payload->shares++;
    *out = c;
    return Res_ok;
}

int Form_valueCopyDeep(const FormValue *look, FormValue **out)
{
    *out = nullptr;
    if (!look)
        return Res_formNoWidget;
    FormValue *c = static_cast<FormValue *>(Mem_malloc(sizeof(FormValue)));
    if (!c)
        return Res_noMemory;
    *c = *look;
    c->refCount = 1;
    c->next = nullptr;
    c->payload = nullptr;
    FormValuePayload *p = look->payload;
    if (p && p->kind == FormPayload_text) {
        FormTextRecord *t = nullptr;
        int err = Form_textRecordCopy(static_cast<FormTextRecord *>(p->data), &t);
        if (!err) {
            err = newPayload(c, FormPayload_text, t);
            if (err)
                Form_textRecordFree(t);
        }
        if (err) {
            Mem_free(c);
            return err;
        }
    } else if (p) {
        c->payload = p;
        p->shares++;
    }
    *out = c;
    return Res_ok;
}

void Form_valueSetKind(FormValue *look, uint8_t mask)
{
    if (look)
        look->kind = mask;
}

void Form_valueSetAlpha(FormValue *look, uint8_t opacity)
{
    if (look)
        look->opacity = opacity;
}

void Form_valueSetColourWord(FormValue *look, uint32_t rgba)
{
    if (!look)
        return;
    if (!rgba) {
        look->colourGiven = 0;
        look->opacity = 255;
        return;
    }
    look->colourGiven = 1;
    look->colour[0] = uint8_t(rgba >> 24);
    look->colour[1] = uint8_t(rgba >> 16);
    look->colour[2] = uint8_t(rgba >> 8);
    look->colour[3] = uint8_t(rgba);
    look->opacity = uint8_t(rgba);
}

void Form_valueSetBox(FormValue *look, const int32_t rect[4])
{
    if (look)
        for (int i = 0; i < 4; i++)
            look->rect[i] = rect[i];
}

void Form_valueGetBox(const FormValue *look, int32_t rect[4])
{
    for (int i = 0; i < 4; i++)
        rect[i] = look ? look->rect[i] : 0;
}

int Form_valueSetPath(FormValue *look, Path *path)
{
    if (!look)
        return Res_formNoWidget;
    return newPayload(look, FormPayload_path, path);
}

int Form_valueSetRectPath(FormValue *look, const int32_t rect[4], int relative)
{
    if (!look)
        return Res_formNoWidget;
    Path *path = nullptr;
    int err = rectPath(rect, relative, &path);
    if (err)
        return err;
    err = Form_valueSetPath(look, path);
    if (err)
        Path_destroy(path);
    return err;
}

int Form_valueSetImage(FormValue *look, ImageHandle *image, FormWidget *widget)
{
    if (!look)
        return Res_formNoWidget;
    FormImageRecord *r = static_cast<FormImageRecord *>(Mem_malloc(sizeof(FormImageRecord)));
    if (!r)
        return Res_noMemory;
    r->image = image;
    r->widget = widget;
    int err = newPayload(look, FormPayload_image, r);
    if (err)
        Mem_free(r);
    return err;
}

int Form_valueSetText(FormValue *look, char16_t *text)
{
    if (!look) {
        Mem_free(text);
        return Res_formNoWidget;
    }
    if (FormTextRecord *t = Form_valueTextRecord(look)) {
        t->selStart = 0;
        t->selEnd = t->length;
        int err = Form_textReplaceSelection(look, text ? text : u"");
        Mem_free(text);
        if (err)
            clearPayload(look);
        return err;
    }
    FormTextRecord *t = nullptr;
    int err = Form_textRecordNew(text, &t);
    if (!err) {
        err = newPayload(look, FormPayload_text, t);
        if (err)
            Form_textRecordFree(t);
    }
    if (err)
        clearPayload(look);
    return err;
}

void *Form_valueGetData(const FormValue *look)
{
    if (!look || !look->payload)
        return nullptr;
    if (look->payload->kind == FormPayload_text)
        return static_cast<FormTextRecord *>(look->payload->data)->text;
    return look->payload->data;
}

FormTextRecord *Form_valueTextRecord(const FormValue *look)
{
    if (!look || !look->payload || look->payload->kind != FormPayload_text)
        return nullptr;
    return static_cast<FormTextRecord *>(look->payload->data);
}

int Form_valueDraw(EngineContext *context, FormValue *look, const FormDrawRequest *request,
                   const Matrix *matrix, const DrawTarget *target, intptr_t, const char16_t *)
{
    if (!look || !request || !look->payload || look->opacity == 0)
        return Res_ok;
    switch (look->payload->kind) {
    case FormPayload_text: return Form_textRecordDraw(look, request, matrix, target);
    case FormPayload_path: {
        Matrix m = placement(request, matrix);
        uint32_t colour = uint32_t(look->opacity) << 24;
        if (look->colourGiven)
            colour |=
                uint32_t(look->colour[2]) << 16 | uint32_t(look->colour[1]) << 8 | look->colour[0];
        return Form_fillPath(context, static_cast<Path *>(look->payload->data), &m, target, colour,
                             request->flags);
    }
    case FormPayload_image: return drawImage(context, look, request, matrix, target);
    default: return Res_ok;
    }
}

int Form_valueDrawFrame(EngineContext *context, const FormValue *look,
                        const FormDrawRequest *request, const Matrix *matrix,
                        const DrawTarget *target)
{
    if (!look || !request || !look->payload || look->payload->kind != FormPayload_path)
        return Res_ok;
    Matrix m = placement(request, matrix);
    return Form_strokePath(context, static_cast<Path *>(look->payload->data), &m, target,
                           0xA0808080u, 655, request->flags);
}

int Form_valueTextHit(const FormValue *look, int32_t x, int32_t y)
{
    FormTextRecord *t = Form_valueTextRecord(look);
    if (!t || !t->lines)
        return 0;
    for (FormTextLine *l = t->lines->first; l; l = l->next)
        if (x >= l->ink[0] && x < l->ink[2] && y >= l->ink[1] && y < l->ink[3])
            return 1;
    return 0;
}

int Form_valueTextPoint(const FormValue *look, uint32_t index, int32_t point[2])
{
    point[0] = point[1] = 0;
    FormTextRecord *t = Form_valueTextRecord(look);
    if (!t || !t->lines)
        return 0;
    for (FormTextLine *l = t->lines->first; l; l = l->next) {
        if (index >= l->first && index <= uint32_t(l->first) + l->count) {
            point[0] = l->place[0];
            point[1] = l->place[1];
            return 1;
        }
    }
    return 0;
}

int Form_valueToLocal(const FormValue *value, int32_t *word, FormPoint *point)
{
    toLocal(value, point);
    *word = 0;
    return Res_ok;
}

int Form_valueToLocalCopy(const FormValue *value, int32_t, FormPoint *point, FormPoint *out)
{
    toLocal(value, point);
    *out = *point;
    return Res_ok;
}
