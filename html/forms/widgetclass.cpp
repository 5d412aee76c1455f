// Widget classes: the registry, class chains, dispatch, the base class and
// the forms module (default font, text measurement).
#include "html/forms/widgetclass.h"

#include <cstring>

#include "core/context/context.h"
#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "html/forms/websupport.h"
#include "core/text/cstr.h"
#include "core/text/ustr.h"
#include "fonts/fontengine.h"
#include "graphics/path.h"
#include "fonts/textrun.h"
#include "layout/line.h"
#include "document/edr/doc.h"
#include "html/forms/buttons.h"
#include "html/forms/fileselect.h"
#include "html/forms/formvalue.h"
#include "html/forms/listbox.h"
#include "html/forms/ptrlist.h"
#include "html/forms/scrollbar.h"
#include "html/forms/textfield.h"
#include "html/forms/widget.h"
#include "html/forms/skin.h"

namespace {

void freeRecord(FormWidgetClass *record)
{
    if (!record)
        return;
    Form_classFreeLooks(record);
    Mem_free(record);
}

int registerBase(EngineContext *context)
{
    FormWidgetClass *c = static_cast<FormWidgetClass *>(Mem_calloc(1, sizeof(FormWidgetClass)));
    if (!c)
        return Res_noMemory;
    c->parentId = FormClass_none;
    c->classId = FormClass_base;
    c->draw = Form_baseDraw;
    c->designBox[2] = c->designBox[3] = 0x4000;
    return Form_classRegister(context, FormClass_base, c);
}

int textAccessor(const FormWidget *w, char16_t **out, char16_t *FormWidget::*field)
{
    if (out)
        *out = nullptr;
    if (!w || !out)
        return Res_formNoWidget;
    if (!(w->*field))
        return Res_ok;
    *out = Ustr_dup(w->*field);
    return *out ? int(Res_ok) : int(Res_noMemory);
}

int accessName(const FormWidget *w, char16_t **out)
{
    return textAccessor(w, out, &FormWidget::name);
}

int accessValue(const FormWidget *w, char16_t **out)
{
    return textAccessor(w, out, &FormWidget::valueText);
}

int accessLabel(const FormWidget *w, char16_t **out)
{
    return textAccessor(w, out, &FormWidget::label);
}

} // namespace

FormsModule *Form_module(EngineContext *context)
{
    return context ? context->forms : nullptr;
}

int Form_initModule(EngineContext *context)
{
    if (!context)
        return Res_nullInput;
    FormsModule *m = static_cast<FormsModule *>(Mem_calloc(1, sizeof(FormsModule)));
    if (!m)
        return Res_noMemory;
    context->forms = m;
    m->getName = accessName;
    m->getValue = accessValue;
    m->getLabel = accessLabel;
    m->getFlags = Form_Widget_getFlags;
    (void)Form_classListCreate(context);
    int err = Form_setFontName(context, "verdana");
    if (!err)
        err = Form_setFontSize(context, 9);
    (void)registerBase(context);
    (void)Skin_registerClass(context);
    (void)Form_buttonRegister(context);
    (void)Form_checkRegister(context);
    (void)Form_radioRegister(context);
    (void)Form_textRegister(context);
    (void)Form_fileRegister(context);
    (void)Form_listRegister(context);
    (void)Form_scrollRegister(context);
    (void)Form_labelRegister(context);
    return err;
}

void Form_freeModule(EngineContext *context)
{
    FormsModule *m = Form_module(context);
    if (!m)
        return;
    static const uint32_t order[] = {10, 11, 12, 14, 13, 17, 16, 19, 15, 22};
    for (uint32_t id : order)
        (void)Form_classUnregister(context, id);
    Form_classListFree(context);
    Mem_free(m->fontName);
    Font_listRelease(m->font);
    Mem_free(m);
    context->forms = nullptr;
}

int Form_classListCreate(EngineContext *context)
{
    FormsModule *m = Form_module(context);
    if (!m)
        return Res_ok;
    if (m->classes)
        return Res_ok;
    return PtrList_create(context, &m->classes);
}

void Form_classListFree(EngineContext *context)
{
    FormsModule *m = Form_module(context);
    if (!m || !m->classes)
        return;
    void *v = nullptr;
    while (PtrList_removeAt(m->classes, 0, &v) == Res_ok)
        freeRecord(static_cast<FormWidgetClass *>(v));
    PtrList_destroy(m->classes);
    m->classes = nullptr;
}

int Form_classFind(PtrList *classes, uint32_t classId, FormWidgetClass **out)
{
    if (!classes || !out)
        return Res_formNoWidget;
    for (PtrCell *c = classes->head; c; c = c->next) {
        FormWidgetClass *r = static_cast<FormWidgetClass *>(c->value);
        if (r->classId == classId) {
            *out = r;
            return Res_ok;
        }
    }
    return Res_ok;
}

int Form_classRegister(EngineContext *context, uint32_t classId, FormWidgetClass *record)
{
    FormsModule *m = Form_module(context);
    if (!m || !m->classes || !record) {
        freeRecord(record);
        return Res_formNoWidget;
    }
    FormWidgetClass *have = nullptr;
    (void)Form_classFind(m->classes, classId, &have);
    if (have) {
        // The registry keeps the first record; the offered one would have
        // no owner left, so it goes here.
        freeRecord(record);
        return Res_ok;
    }
    record->classId = classId;
    int err = PtrList_append(m->classes, record);
    if (err)
        freeRecord(record);
    return err;
}

int Form_classUnregister(EngineContext *context, uint32_t classId)
{
    FormsModule *m = Form_module(context);
    if (!m || !m->classes)
        return Res_ok;
    FormWidgetClass *have = nullptr;
    (void)Form_classFind(m->classes, classId, &have);
    if (!have)
        return Res_ok;
    (void)PtrList_removeFirst(m->classes, have);
    freeRecord(have);
    return Res_ok;
}

int Form_classCopy(const FormWidgetClass *record, FormWidgetClass **out)
{
    *out = nullptr;
    FormWidgetClass *c = static_cast<FormWidgetClass *>(Mem_malloc(sizeof(FormWidgetClass)));
    if (!c)
        return Res_noMemory;
    *c = *record;
    c->next = nullptr;
    c->looks = nullptr;
    for (const FormValue *l = record->looks; l; l = l->next) {
        FormValue *copy = nullptr;
        int err = Form_valueCopy(l, &copy);
        if (err) {
            freeRecord(c);
            return err;
        }
        copy->next = nullptr;
        copy->refCount = 1;
        Form_valueListAppend(c, copy);
    }
    *out = c;
    return Res_ok;
}

void Form_classFreeLooks(FormWidgetClass *record)
{
    if (!record)
        return;
    for (FormValue *l = record->looks, *n; l; l = n) {
        n = l->next;
        Form_valueRelease(l);
    }
    record->looks = nullptr;
}

int Form_valueListAppend(FormWidgetClass *record, FormValue *look)
{
    if (!record || !look)
        return Res_formNoWidget;
    look->next = nullptr;
    FormValue **at = &record->looks;
    while (*at)
        at = &(*at)->next;
    *at = look;
    return Res_ok;
}

int Form_classChainBuild(EngineContext *context, uint32_t classId, PtrList **out)
{
    *out = nullptr;
    FormsModule *m = Form_module(context);
    if (!m || !m->classes)
        return Res_ok;
    FormWidgetClass *master = nullptr;
    (void)Form_classFind(m->classes, classId, &master);
    if (!master)
        return Res_ok;
    PtrList *chain = nullptr;
    int err = PtrList_create(context, &chain);
    if (err)
        return err;
    FormWidgetClass *prev = nullptr;
    // A chain is at most as long as the registry, so a loop of parent ids
    // ends as well.
    for (uint32_t n = 0; master && n <= m->classes->count; n++) {
        FormWidgetClass *copy = nullptr;
        err = Form_classCopy(master, &copy);
        if (!err) {
            err = PtrList_append(chain, copy);
            if (err)
                freeRecord(copy);
        }
        if (err) {
            Form_classChainFree(chain);
            return err;
        }
        if (prev)
            prev->next = copy;
        prev = copy;
        if (copy->parentId == FormClass_none)
            break;
        FormWidgetClass *parent = nullptr;
        (void)Form_classFind(m->classes, copy->parentId, &parent);
        master = parent; // a missing parent ends the chain here
    }
    *out = chain;
    return Res_ok;
}

void Form_classChainFree(PtrList *chain)
{
    if (!chain)
        return;
    void *v = nullptr;
    while (PtrList_removeAt(chain, 0, &v) == Res_ok)
        freeRecord(static_cast<FormWidgetClass *>(v));
    PtrList_destroy(chain);
}

FormWidgetClass *Form_Widget_chainHead(const FormWidget *w)
{
    if (!w || !w->classChain || !w->classChain->head)
        return nullptr;
    return static_cast<FormWidgetClass *>(w->classChain->head->value);
}

FormWidgetClass *Form_Widget_classCopy(const FormWidget *w, uint32_t classId)
{
    for (FormWidgetClass *c = Form_Widget_chainHead(w); c; c = c->next)
        if (c->classId == classId)
            return c;
    return nullptr;
}

FormWidgetClass *Form_classFirstWith(const FormWidget *w, size_t slot)
{
    for (FormWidgetClass *c = Form_Widget_chainHead(w); c; c = c->next) {
        void *fn = nullptr;
        memcpy(&fn, reinterpret_cast<const char *>(c) + slot, sizeof(fn));
        if (fn)
            return c;
    }
    return nullptr;
}

int Form_setFontName(EngineContext *context, const char *name)
{
    FormsModule *m = Form_module(context);
    if (!m || !name)
        return Res_formNoWidget;
    char *copy = Cstr_dup(name);
    if (!copy)
        return Res_noMemory;
    Mem_free(m->fontName);
    m->fontName = copy;
    return Res_ok;
}

int Form_setFontSize(EngineContext *context, uint16_t points)
{
    FormsModule *m = Form_module(context);
    if (!m)
        return Res_formNoWidget;
    m->fontSize = points;
    return Res_ok;
}

int Form_getFontSize(EngineContext *context, uint16_t *points)
{
    *points = 0;
    FormsModule *m = Form_module(context);
    if (!m)
        return Res_formNoWidget;
    *points = m->fontSize;
    return Res_ok;
}

int Form_getDefaultFont(EngineContext *context, FontList **out)
{
    *out = nullptr;
    FormsModule *m = Form_module(context);
    if (!m)
        return Res_formNoWidget;
    if (!m->font) {
        const char *families[1] = {m->fontName};
        int err =
            Font_listCreate(context->instance, families, m->fontName ? 1 : 0, 3, nullptr, &m->font);
        if (err)
            return err;
    }
    *out = m->font;
    return Res_ok;
}

int Form_requestFont(EngineContext *context, const FormLayoutRequest *request, FontList **font,
                     int32_t *size)
{
    *font = request ? request->font : nullptr;
    *size = request ? request->size : 0;
    if (!*size) {
        uint16_t points = 0;
        (void)Form_getFontSize(context, &points);
        *size = int32_t(uint32_t(points) << 16);
    }
    if (!*font)
        return Form_getDefaultFont(context, font);
    return Res_ok;
}

int Form_measureText(EngineContext *context, const char16_t *text, FontList *font, int32_t size,
                     Rect *box)
{
    *box = Rect{0, 0, 0, 0};
    FormLayoutRequest req{};
    req.font = font;
    req.size = size;
    int err = Form_requestFont(context, &req, &font, &size);
    if (err)
        return err;
    uint32_t n = text ? uint32_t(Ustr_len(text)) : 0;
    if (!n)
        return Res_ok;
    return TextRun_measureFit(font, size, CharTable_kerning | CharTable_collapseSpace, nullptr,
                              text, n, 0, 0, 0x140000, nullptr, box);
}

int Form_Widget_sendQuery(FormWidget *w, uint32_t query, uintptr_t *answer)
{
    if (!w || !answer)
        return Res_formNoWidget;
    *answer = 0;
    if (!(w->flags & FormWidget_attached))
        return Res_formNotAttached;
    for (FormWidgetClass *c = Form_Widget_chainHead(w); c; c = c->next) {
        if (!c->query)
            continue;
        int err = c->query(c, query, answer);
        if (err || *answer)
            return err;
    }
    return Res_ok;
}

int Form_Widget_measure(EngineContext *context, FormWidget *w, FormLayoutRequest *request,
                        int32_t *width, int32_t *height)
{
    *width = *height = 0;
    if (!w)
        return Res_formNoWidget;
    FormWidgetClass *head = Form_Widget_chainHead(w);
    if (!head || !head->measure)
        return Res_ok;
    return head->measure(context, w, request, width, height);
}

int Form_Widget_preferredSize(const void *control, int32_t *width, int32_t *height)
{
    *width = *height = 0;
    FormWidget *w = static_cast<FormWidget *>(const_cast<void *>(control));
    if (!w)
        return Res_formNoWidget;
    EngineContext *ctx = w->owner ? Edr_Doc_queryApp(w->owner) : nullptr;
    return Form_Widget_measure(ctx, w, nullptr, width, height);
}

int Form_classDrawBase(EngineContext *context, FormWidgetClass *record, FormWidget *w,
                       const FormDrawRequest *request, const Matrix *matrix,
                       const DrawTarget *target, intptr_t extra)
{
    for (FormWidgetClass *c = record ? record->next : nullptr; c; c = c->next)
        if (c->draw)
            return c->draw(context, w, request, matrix, target, extra);
    return Res_ok;
}

int Form_baseDraw(EngineContext *context, FormWidget *w, const FormDrawRequest *request,
                  const Matrix *matrix, const DrawTarget *target, intptr_t)
{
    if (!w || !request)
        return Res_formNoWidget;
    const uint8_t *face = (w->flags & FormWidget_enabled) ? w->face : w->disabledFace;
    if (face[3] == 0)
        return Res_ok;
    Rect r{request->rect[0] + request->dx, request->rect[1] + request->dy,
           request->rect[2] + request->dx, request->rect[3] + request->dy};
    Path *path = nullptr;
    int err = Path_create(&path, 0x10000);
    if (err)
        return err;
    err = Path_addRect(path, &r);
    if (!err) {
        Matrix m = request->matrix ? *request->matrix : *Matrix_identity();
        if (matrix)
            Matrix_concat(&m, matrix);
        uint32_t colour =
            uint32_t(face[3]) << 24 | uint32_t(face[2]) << 16 | uint32_t(face[1]) << 8 | face[0];
        err = Form_fillPath(context, path, &m, target, colour, request->flags);
    }
    Path_destroy(path);
    return err;
}

int Form_Widget_applyStyle(void *control, const void *textFormat, uint32_t, int rightToLeft)
{
    FormWidget *w = static_cast<FormWidget *>(control);
    if (!w)
        return Res_formNoWidget;
    // The line's font and size lay the control out at its content size.
    const TextFormat *format = static_cast<const TextFormat *>(textFormat);
    FormLayoutRequest req{};
    if (format) {
        req.font = format->font;
        req.size = format->size;
    }
    req.style = rightToLeft ? uint32_t(TextStyle_rightToLeft) : 0u;
    req.sizeGiven = 1;
    for (int i = 0; i < 4; i++)
        req.rect[i] = w->rect[i];
    EngineContext *ctx = w->owner ? Edr_Doc_queryApp(w->owner) : nullptr;
    return Edr_Widget_sendEvent(ctx, w, &req);
}
