// Form widgets: the record, its life cycle, children and accessors.
#include "html/forms/widget.h"

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "html/forms/ptrlist.h"
#include "html/forms/widgetclass.h"

namespace {

FormWidget *asWidget(const void *p)
{
    return static_cast<FormWidget *>(const_cast<void *>(p));
}

// Takes the widget's own group node out of its document: the widget holds
// the reference it was made with.
void detach(FormWidget *w)
{
    if (w->node && !(w->flags & FormWidget_nodeGiven))
        (void)Edr_Node_remove(w->owner, w->node);
    w->node = nullptr;
    w->flags &= ~uint32_t(FormWidget_attached);
}

void freeWidget(FormWidget *w)
{
    Form_classChainFree(w->classChain);
    PtrList_destroy(w->children);
    Mem_free(w->name);
    Mem_free(w->label);
    Mem_free(w->defaultValue);
    Mem_free(w->valueText);
    Lock_fini(&w->lock);
    Mem_free(w);
}

int copyText(const char16_t *text, char16_t **out)
{
    if (!text)
        return Res_ok;
    *out = Ustr_dup(text);
    return *out ? int(Res_ok) : int(Res_noMemory);
}

} // namespace

int Form_Widget_create(Edr_Doc *doc, uint32_t classId, uint32_t, FormWidget **out)
{
    if (out)
        *out = nullptr;
    EngineContext *ctx = doc ? Edr_Doc_queryApp(doc) : nullptr;
    if (!ctx)
        return Res_formNoWidget;
    FormWidget *w = static_cast<FormWidget *>(Mem_calloc(1, sizeof(FormWidget)));
    if (!w)
        return Res_noMemory;
    int err = Lock_init(ctx, &w->lock);
    if (err) {
        Mem_free(w);
        return err;
    }
    w->owner = doc;
    w->rect[2] = w->rect[3] = 0x8000;
    w->disabledFace[0] = w->disabledFace[1] = w->disabledFace[2] = 0xD0;
    w->disabledFace[3] = 0xFF;
    w->flags = FormWidget_initialFlags;
    err = Form_classChainBuild(ctx, classId, &w->classChain);
    if (err || !out) {
        Form_Widget_destroy(w);
        return Res_formCreateFailed;
    }
    for (FormWidgetClass *c = Form_Widget_chainHead(w); c; c = c->next) {
        if (c->create && c->create(w) != 0) {
            Form_Widget_destroy(w);
            return Res_formCreateFailed;
        }
    }
    *out = w;
    w->flags |= FormWidget_created;
    return Res_ok;
}

void Form_Widget_destroy(FormWidget *w)
{
    if (!w)
        return;
    if (w->parent)
        (void)Form_Widget_removeChild(w->parent, w);
    Form_Widget_destroyChildren(w);
    for (FormWidgetClass *c = Form_Widget_chainHead(w); c; c = c->next)
        if (c->destroy)
            (void)c->destroy(w);
    detach(w);
    freeWidget(w);
}

void Form_Widget_destroyChildren(FormWidget *w)
{
    if (!w || !w->children)
        return;
    void *v = nullptr;
    while (PtrList_removeAt(w->children, 0, &v) == Res_ok) {
        FormWidget *child = static_cast<FormWidget *>(v);
        child->parent = nullptr;
        // A child that lives under another node is only let go.
        if (!child->node || (w->node && Edr_Node_parent(child->node) == w->node))
            Form_Widget_destroy(child);
    }
}

int Form_Widget_init(FormWidget *w)
{
    if (!w)
        return Res_formNoWidget;
    if (w->flags & FormWidget_initialised)
        return Res_ok;
    int err = Res_ok;
    for (FormWidgetClass *c = Form_Widget_chainHead(w); c; c = c->next) {
        if (c->init) {
            err = c->init(w);
            break;
        }
    }
    if (!err)
        w->flags |= FormWidget_initialised;
    return err;
}

int Form_Widget_attach(FormWidget *w, Edr_Doc *doc, Edr_Node *parentNode, Edr_Node *node,
                       int32_t mode)
{
    if (!w || !doc)
        return Res_formNoWidget;
    if (!(w->flags & FormWidget_initialised))
        return Res_formNotInitialised;
    if (!(w->flags & FormWidget_attached)) {
        Edr_Node *made = nullptr;
        if (node) {
            w->owner = doc;
            w->flags |= FormWidget_nodeGiven;
        } else {
            int err = Edr_Node_createGroup(doc, parentNode, mode, 2, &made);
            if (err)
                return err;
            node = made;
        }
        int err = Edr_Node_setSubtypeValue(doc, node, 1, w);
        if (err) {
            if (made)
                (void)Edr_Node_remove(doc, made);
            return err;
        }
        w->node = node;
        w->flags |= FormWidget_attached;
        if (w->children) {
            for (PtrCell *c = w->children->head; c; c = c->next) {
                err = Form_Widget_attach(static_cast<FormWidget *>(c->value), doc, node, nullptr,
                                         Edr_Insert_lastChild);
                if (err)
                    break;
            }
        }
        if (err)
            return err;
    }
    if (!w->parent)
        return Form_Widget_forwardToOwner(w, 1, 0);
    return Res_ok;
}

int Form_Widget_addChild(FormWidget *parent, FormWidget *child)
{
    if (!parent || !child || parent == child)
        return Res_formNoWidget;
    return Form_Widget_insertChild(parent, child, parent->children ? parent->children->count : 0);
}

int Form_Widget_insertChild(FormWidget *parent, FormWidget *child, uint32_t index)
{
    if (!parent || !child || parent == child)
        return Res_formNoWidget;
    if (!parent->children) {
        EngineContext *ctx = parent->owner ? Edr_Doc_queryApp(parent->owner) : nullptr;
        int err = PtrList_create(ctx, &parent->children);
        if (err)
            return err;
    }
    int err = PtrList_insertAt(parent->children, index, child);
    if (!err)
        child->parent = parent;
    return err;
}

int Form_Widget_childAt(FormWidget *w, uint32_t index, uint32_t classId, FormWidget **child)
{
    if (child)
        *child = nullptr;
    if (!w || !child)
        return Res_formNoWidget;
    if (!w->children)
        return Res_listEmpty;
    for (PtrCell *c = w->children->head; c; c = c->next) {
        FormWidget *cw = static_cast<FormWidget *>(c->value);
        if (Form_Widget_hasClass(cw, classId) && index-- == 0) {
            *child = cw;
            return Res_ok;
        }
    }
    return Res_listEnd;
}

int Form_Widget_removeChild(FormWidget *parent, FormWidget *child)
{
    if (!parent || !child)
        return Res_formNoWidget;
    int err = PtrList_removeFirst(parent->children, child);
    if (err == Res_formNoWidget)
        err = Res_listEmpty;
    if (!err)
        child->parent = nullptr;
    return err;
}

void Form_Widget_lock(FormWidget *w)
{
    if (w)
        Lock_acquire(&w->lock);
}

void Form_Widget_unlock(FormWidget *w)
{
    if (w)
        Lock_release(&w->lock);
}

int Form_Widget_getRect(const void *control, int32_t rect[4])
{
    const FormWidget *w = asWidget(control);
    if (!w || !rect)
        return Res_formNoWidget;
    int sized = (w->flags & FormWidget_sized) != 0;
    int32_t width = int32_t(uint32_t(w->rect[2]) - uint32_t(w->rect[0]));
    int32_t height = int32_t(uint32_t(w->rect[3]) - uint32_t(w->rect[1]));
    if (!sized || width == 0)
        width = 1;
    if (!sized || height == 0)
        height = 1;
    rect[0] = w->rect[0];
    rect[1] = w->rect[1];
    rect[2] = int32_t(uint32_t(w->rect[0]) + uint32_t(width));
    rect[3] = int32_t(uint32_t(w->rect[1]) + uint32_t(height));
    return Res_ok;
}

int Form_Widget_setRect(void *control, const int32_t rect[4])
{
    FormWidget *w = asWidget(control);
    if (!w || !rect)
        return Res_formNoWidget;
    for (int i = 0; i < 4; i++)
        w->rect[i] = rect[i];
    return Res_ok;
}

int Form_Widget_offsetInRoot(const FormWidget *w, int32_t point[2])
{
    if (!w || !point)
        return Res_formNoWidget;
    for (; w; w = w->parent) {
        point[0] = int32_t(uint32_t(point[0]) + uint32_t(w->rect[0]));
        point[1] = int32_t(uint32_t(point[1]) + uint32_t(w->rect[1]));
    }
    return Res_ok;
}

int Form_Widget_getRoot(FormWidget *w, FormWidget **root)
{
    if (root)
        *root = nullptr;
    if (!w || !root)
        return Res_formNoWidget;
    while (w->parent)
        w = w->parent;
    *root = w;
    return Res_ok;
}

int Form_Widget_getFlags(const void *control, uint32_t *flags)
{
    if (flags)
        *flags = 0;
    if (!control || !flags)
        return Res_formNoWidget;
    *flags = asWidget(control)->flags;
    return Res_ok;
}

int Form_Widget_isFlag12(const FormWidget *w)
{
    return w && (w->flags & (1u << 12)) != 0;
}

int Form_Widget_isFlag13(const FormWidget *w)
{
    return w && (w->flags & (1u << 13)) != 0;
}

int Form_controlEnabled(const void *control)
{
    return Form_Widget_isFlag13(asWidget(control));
}

int Form_controlFlag12(const void *control)
{
    return Form_Widget_isFlag12(asWidget(control));
}

uint32_t Form_controlKind(const void *control)
{
    return control ? asWidget(control)->kind & 0xFFFF : 0;
}

int Form_Widget_setKind(FormWidget *w, uint32_t kind)
{
    if (!w)
        return Res_formNoWidget;
    w->kind = kind;
    return Res_ok;
}

int Form_ctlGetKind(const void *control, uint32_t *kind)
{
    if (kind)
        *kind = 0;
    if (!control || !kind)
        return Res_formNoWidget;
    *kind = asWidget(control)->kind & 0xFFFF;
    return Res_ok;
}

int Form_Widget_setRole(FormWidget *w, uint32_t role)
{
    if (!w)
        return Res_formNoWidget;
    w->role = role;
    return Res_ok;
}

int Form_Widget_setPartWord(FormWidget *w, uint32_t word)
{
    if (!w)
        return Res_formNoWidget;
    w->partWord = word;
    return Res_ok;
}

int Form_Widget_setCapacity(FormWidget *w, uint32_t value)
{
    if (!w)
        return Res_formNoWidget;
    w->capacity = value;
    return Res_ok;
}

int Form_Widget_setName(FormWidget *w, char16_t *text)
{
    if (!w)
        return Res_formNoWidget;
    Mem_free(w->name);
    w->name = text;
    return Res_ok;
}

int Form_Widget_getName(const FormWidget *w, char16_t **out)
{
    if (out)
        *out = nullptr;
    if (!w || !out)
        return Res_formNoWidget;
    return copyText(w->name, out);
}

int Form_Widget_setLabel(FormWidget *w, char16_t *text)
{
    if (!w)
        return Res_formNoWidget;
    Mem_free(w->label);
    w->label = text;
    return Res_ok;
}

int Form_Widget_appendLabel(FormWidget *w, const char16_t *text)
{
    if (!w)
        return Res_formNoWidget;
    if (!text)
        return Res_ok;
    size_t have = w->label ? Ustr_len(w->label) : 0, add = Ustr_len(text);
    char16_t *grown =
        static_cast<char16_t *>(Mem_realloc(w->label, (have + add + 1) * sizeof(char16_t)));
    if (!grown)
        return Res_noMemory;
    for (size_t i = 0; i <= add; i++)
        grown[have + i] = text[i];
    w->label = grown;
    return Res_ok;
}

int Form_Widget_setValueText(FormWidget *w, char16_t *text)
{
    if (!w)
        return Res_formNoWidget;
    Mem_free(w->valueText);
    w->valueText = text;
    return Res_ok;
}

int Form_Widget_getValueText(const FormWidget *w, char16_t **out)
{
    if (out)
        *out = nullptr;
    if (!w || !out)
        return Res_formNoWidget;
    return copyText(w->valueText, out);
}

int Form_Widget_hasClass(const FormWidget *w, uint32_t classId)
{
    return Form_Widget_classCopy(w, classId) != nullptr;
}

int Form_Widget_forwardToOwner(FormWidget *w, int a, int b)
{
    if (!w)
        return Res_formNoWidget;
    FormWidget *root = w;
    while (root->parent)
        root = root->parent;
    const uint32_t need = FormWidget_attached | FormWidget_sized;
    if ((root->flags & need) != need)
        return Res_ok;
    if (!(w->flags & FormWidget_attached) || !w->owner || !w->node)
        return Res_ok;
    return Edr_Doc_controlChanged(w->owner, w->node, a, b);
}

int Form_Widget_getNode(const FormWidget *w, Edr_Node **node)
{
    if (node)
        *node = nullptr;
    if (!w || !node)
        return Res_formNoWidget;
    if (!w->node)
        return Res_ok;
    int err = Edr_Node_addRefLive(w->owner, w->node);
    if (!err)
        *node = w->node;
    return err;
}
