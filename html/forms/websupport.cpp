// Support routines of the web side and of form controls.
#include "html/forms/websupport.h"

#include <cstddef>

#include "core/mem/mem.h"
#include "core/result.h"
#include "document/edr/doc.h"
#include "html/forms/listbox.h"
#include "html/forms/widget.h"
#include "html/forms/widgetclass.h"

int FormClass_findHandler(const FormWidget *widget, FormWidgetClass **head)
{
    if (head)
        *head = nullptr;
    if (!widget || !head)
        return Res_formNoWidget;
    *head = Form_Widget_chainHead(widget);
    return Res_ok;
}

int Edr_Widget_sendEvent(EngineContext *context, void *control, void *event)
{
    FormWidget *w = static_cast<FormWidget *>(control);
    if (!w)
        return context ? int(Res_formNoWidget) : int(Res_ok);
    w->flags &= ~uint32_t(FormWidget_laidOut);
    if (!(w->flags & FormWidget_created))
        return Res_ok;
    FormWidgetClass *head = nullptr;
    int err = FormClass_findHandler(w, &head);
    if (err)
        return err;
    for (FormWidgetClass *c = head; c; c = c->next) {
        if (c->layout) {
            err = c->layout(context, w, static_cast<FormLayoutRequest *>(event));
            break;
        }
    }
    if (!err)
        w->flags |= FormWidget_laidOut;
    return err;
}

int Form_Widget_sendEventLocked(EngineContext *context, FormWidget *widget, void *event)
{
    if (!context || !widget)
        return Res_ok;
    FormWidget *root = nullptr;
    int err = Form_Widget_getRoot(widget, &root);
    if (err)
        return err;
    Form_Widget_lock(root);
    err = Edr_Widget_sendEvent(context, widget, event);
    Form_Widget_unlock(root);
    return err;
}

int Form_Widget_dispatch(FormWidget *w, const FormDrawRequest *request, const Matrix *matrix,
                         const DrawTarget *target, intptr_t extra)
{
    if (!w)
        return Res_ok;
    const uint32_t need = FormWidget_attached | FormWidget_sized | FormWidget_laidOut;
    if ((w->flags & need) != need)
        return Res_ok;
    FormWidgetClass *c = Form_classFirstWith(w, offsetof(FormWidgetClass, draw));
    if (!c)
        return Res_ok;
    EngineContext *ctx = w->owner ? Edr_Doc_queryApp(w->owner) : nullptr;
    return c->draw(ctx, w, request, matrix, target, extra);
}

int Form_Widget_dispatchLocked(FormWidget *w, const FormDrawRequest *request, const Matrix *matrix,
                               const DrawTarget *target, intptr_t extra)
{
    if (!w)
        return Res_ok;
    FormWidget *root = nullptr;
    int err = Form_Widget_getRoot(w, &root);
    if (err)
        return err;
    Form_Widget_lock(root);
    const uint32_t need = FormWidget_attached | FormWidget_sized;
    if ((root->flags & need) == need)
        err = Form_Widget_dispatch(w, request, matrix, target, extra);
    Form_Widget_unlock(root);
    return err;
}

int Form_Widget_hitAll(const void *, int32_t x, int32_t y, int32_t z, int32_t *first,
                       int32_t pair[2])
{
    if (first)
        *first = x;
    if (pair) {
        pair[0] = y;
        pair[1] = z;
    }
    return 1;
}

int Form_Widget_bounds(const FormWidget *widget, uint32_t, int32_t rect[4])
{
    if (!widget)
        return Res_ok;
    return Form_Widget_getRect(widget, rect);
}

// ------------------------------------------------------- list widgets

int FormList_create(FormWidget **out, Edr_Doc *owner, uint32_t argument)
{
    FormWidget *w = nullptr;
    int err = Form_Widget_create(owner, FormClass_list, argument, &w);
    if (!err && out) {
        *out = w;
        (void)Form_Widget_setCapacity(w, 256);
    } else if (!err) {
        Form_Widget_destroy(w);
    }
    return err;
}

int FormList_addChild(FormWidget *widget, FormWidget *child)
{
    return Form_Widget_addChild(widget, child);
}

int FormList_getWord8(FormWidget *widget, uint32_t *value)
{
    return Form_listGetFlag(widget, value);
}

int FormList_setLimit(FormWidget *widget, uint32_t value)
{
    if (!widget)
        return Res_ok;
    return Form_listSetRows(widget, value & 0xFFFF);
}

// ------------------------------------------------------ host questions

void HostQuestion_freeTexts(HostQuestionRecord *r)
{
    if (!r)
        return;
    // words[i] is word i + 1 of the record.
    auto drop = [r](int word) {
        Mem_free(reinterpret_cast<void *>(r->words[word - 1]));
        r->words[word - 1] = 0;
    };
    switch (r->kind) {
    case 0:
        drop(5);
        drop(6);
        drop(7);
        break;
    case 1:
    case 2:
        drop(3);
        drop(4);
        break;
    case 3: drop(3); break;
    case 4: drop(4); break;
    case 5:
        drop(4);
        if (r->words[2] == 2)
            drop(7);
        break;
    default: break;
    }
}

void HostQuestion_destroyWait(HostQuestionWait *wait)
{
    if (!wait)
        return;
    Lock_acquire(&wait->lock2);
    Sem_fini(&wait->answerSem);
    Lock_release(&wait->lock2);
    Lock_fini(&wait->lock2);
    Lock_fini(&wait->lock);
    Mem_free(wait->answer);
    Mem_free(wait);
}

// ----------------------------------------------------- response-cache sink

int CacheSink_write(CacheSink *sink, const void *data, uint32_t n)
{
    if (n == 0)
        return Res_ok;
    if (!sink || !sink->ops)
        return Res_nullInput;
    int cut = 0;
    uint64_t need = uint64_t(sink->size) + n;
    if (sink->limit && need > sink->limit) {
        n = sink->limit > sink->size ? uint32_t(sink->limit - sink->size) : 0;
        cut = 1;
        need = uint64_t(sink->size) + n;
    }
    while (need > sink->capacity) {
        uint64_t grown;
        uint64_t needed;
        if (sink->buffer && sink->capacity) {
            grown = uint64_t(sink->capacity) * 2;
            needed = need;
        } else {
            grown = sink->limit ? sink->limit : 1024;
            needed = grown;
        }
        if (grown > 0xFFFFFFFFu)
            return Res_noMemory;
        uint32_t before = sink->capacity;
        int err = sink->ops->resize(sink, uint32_t(grown), uint32_t(needed), sink->limit != 0);
        if (err)
            return err;
        if (sink->capacity <= before)
            return Res_noMemory; // the resize did not grow the buffer
    }
    if (n) {
        int err = sink->ops->append(sink, data, n);
        if (err)
            return err;
    }
    return cut ? int(Res_sinkCut) : int(Res_ok);
}

int CacheSink_trim(CacheSink *sink)
{
    if (!sink || !sink->ops)
        return Res_nullInput;
    if (sink->capacity == sink->size)
        return Res_ok;
    return sink->ops->resize(sink, sink->size, sink->size, 0);
}

// ------------------------------------------------------------ HTML handler

namespace {

constexpr uint8_t charClass(unsigned c)
{
    uint8_t v = 0;
    if (c == 9 || c == 10 || c == 12 || c == 13 || c == 32)
        v |= HtmlChar_space;
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
        v |= HtmlChar_letter;
    if (c >= '0' && c <= '9')
        v |= HtmlChar_digit | HtmlChar_hex;
    if ((c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'))
        v |= HtmlChar_hex;
    return v;
}

struct CharTable {
    uint8_t v[128];
};

constexpr CharTable makeTable()
{
    CharTable t{};
    for (unsigned c = 0; c < 128; c++)
        t.v[c] = charClass(c);
    return t;
}

constexpr CharTable kHtmlChars = makeTable();

} // namespace

int Html_getCharTable(const uint8_t **out)
{
    *out = kHtmlChars.v;
    return Res_ok;
}
