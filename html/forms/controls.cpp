// HTML form controls and their values.
#include "html/forms/controls.h"

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "html/forms/websupport.h"
#include "core/text/ustr.h"
#include "core/text/charset.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "html/forms/buttons.h"
#include "html/forms/fileselect.h"
#include "html/forms/listbox.h"
#include "html/forms/ptrlist.h"
#include "html/forms/textfield.h"
#include "html/forms/widget.h"
#include "html/forms/widgetclass.h"
#include "html/parser.h"
#include "html/web/redirect.h"
#include "platform/url/url.h"
#include "html/forms/skin.h"

namespace {

// A heap copy of count characters; null for none (0 for no characters).
int copyN(const char16_t *chars, size_t count, char16_t **out, bool emptyForNone)
{
    *out = nullptr;
    if (!chars || !count) {
        if (!emptyForNone)
            return Res_ok;
        count = 0;
    }
    char16_t *c = static_cast<char16_t *>(Mem_malloc((count + 1) * sizeof(char16_t)));
    if (!c)
        return Res_noMemory;
    for (size_t i = 0; i < count; i++)
        c[i] = chars[i];
    c[count] = 0;
    *out = c;
    return Res_ok;
}

// Shows the widget's label: in its label child (push buttons) or, for a
// label itself (options), in its own text look.
int showLabel(FormWidget *w)
{
    const char16_t *text = w->label ? w->label : u"";
    uint32_t n = uint32_t(Ustr_len(text));
    if (Form_Widget_hasClass(w, FormClass_label) && !Form_Widget_hasClass(w, FormClass_button))
        return Form_labelSetText(w, text, n);
    FormWidget *inner =
        Form_Widget_hasClass(w, FormClass_button) ? Form_buttonGetLabel(w) : nullptr;
    return inner ? Form_labelSetText(inner, text, n) : int(Res_ok);
}

int finishCreate(FormWidget *w, uint32_t kind, const char16_t *label)
{
    int err = Form_Widget_setKind(w, kind);
    if (!err && label) {
        char16_t *copy = Ustr_dup(label);
        err = copy ? Form_Widget_setLabel(w, copy) : int(Res_noMemory);
    }
    if (err)
        Form_Widget_destroy(w);
    return err;
}

} // namespace

// ------------------------------------------------------------- creation

int Form_createInput(FormWidget **out, uint32_t typeCode, Edr_Doc *doc)
{
    *out = nullptr;
    if (typeCode % 16 || typeCode > 160 || typeCode == 0)
        typeCode = FormKind_text;
    uint32_t cls = FormClass_text;
    const char16_t *label = nullptr;
    switch (typeCode) {
    case FormKind_checkbox: cls = FormClass_check; break;
    case FormKind_radio: cls = FormClass_radio; break;
    case FormKind_submit:
        cls = FormClass_button;
        label = u"submit";
        break;
    case FormKind_reset:
        cls = FormClass_button;
        label = u"reset";
        break;
    case FormKind_file: cls = FormClass_file; break;
    case FormKind_hidden: cls = FormClass_base; break;
    case FormKind_image: cls = FormClass_button; break;
    case FormKind_button:
        cls = FormClass_button;
        label = u"button";
        break;
    default: break;
    }
    FormWidget *w = nullptr;
    int err = Form_Widget_create(doc, cls, 0, &w);
    if (err)
        return err;
    if ((err = finishCreate(w, typeCode, label)))
        return err;
    if (typeCode == FormKind_password)
        (void)Form_textSetMask(w, u'*');
    if (typeCode == FormKind_hidden)
        w->flags &= ~uint32_t(FormWidget_navigable | FormWidget_sized);
    if (typeCode == FormKind_checkbox) {
        char16_t *d = Ustr_dup(u"on");
        char16_t *v = Ustr_dup(u"on");
        if (!d || !v) {
            Mem_free(d);
            Mem_free(v);
            Form_Widget_destroy(w);
            return Res_noMemory;
        }
        Mem_free(w->defaultValue);
        w->defaultValue = d;
        (void)Form_Widget_setValueText(w, v);
    }
    *out = w;
    return Res_ok;
}

int Form_createButton(FormWidget **out, uint32_t typeCode, Edr_Doc *doc)
{
    *out = nullptr;
    FormWidget *w = nullptr;
    int err = Form_Widget_create(doc, FormClass_button, 0, &w);
    if (!err && !(err = finishCreate(w, typeCode ? typeCode : FormKind_buttonPlain, nullptr)))
        *out = w;
    return err;
}

int Form_createTextArea(FormWidget **out, Edr_Doc *doc)
{
    *out = nullptr;
    FormWidget *w = nullptr;
    int err = Form_Widget_create(doc, FormClass_text, 0, &w);
    if (err)
        return err;
    (void)Form_textSetMultiLine(w, 1);
    if (!(err = finishCreate(w, FormKind_textArea, nullptr)))
        *out = w;
    return err;
}

int Form_createOption(FormWidget **out, Edr_Doc *doc)
{
    *out = nullptr;
    FormWidget *w = nullptr;
    int err = Form_Widget_create(doc, FormClass_label, 0, &w);
    if (err)
        return err;
    if ((err = finishCreate(w, FormKind_option, nullptr)))
        return err;
    (void)Form_labelSetNavigable(w, 1);
    *out = w;
    return Res_ok;
}

// ------------------------------------------------------------- setters

int Form_ctlSetName(FormWidget *w, const char16_t *chars, size_t count)
{
    if (!w)
        return Res_formNoWidget;
    char16_t *c = nullptr;
    int err = copyN(chars, count, &c, false);
    return err ? err : Form_Widget_setName(w, c);
}

int Form_ctlAppendLabel(void *control, const char16_t *text, size_t count)
{
    FormWidget *w = static_cast<FormWidget *>(control);
    if (!w)
        return Res_formNoWidget;
    char16_t *c = nullptr;
    int err = copyN(text, count, &c, false);
    if (err || !c)
        return err;
    err = Form_Widget_appendLabel(w, c);
    Mem_free(c);
    return err ? err : showLabel(w);
}

int Form_ctlSetValue(FormWidget *w, const char16_t *chars, size_t count)
{
    if (!w)
        return Res_formNoWidget;
    char16_t *value = nullptr;
    int err = copyN(chars, count, &value, false);
    if (err)
        return err;
    switch (w->kind) {
    case FormKind_text:
    case FormKind_password:
    case FormKind_textArea: {
        char16_t *text = nullptr;
        if ((err = copyN(chars, count, &text, true)) || (err = Form_textSetText(w, text))) {
            Mem_free(value);
            return err;
        }
        break;
    }
    case FormKind_checkbox:
    case FormKind_radio:
    case FormKind_submit:
    case FormKind_reset:
    case FormKind_hidden:
    case FormKind_image:
    case FormKind_button: {
        char16_t *label = nullptr;
        if ((err = copyN(chars, count, &label, true))) {
            Mem_free(value);
            return err;
        }
        (void)Form_Widget_setLabel(w, label);
        (void)showLabel(w);
        break;
    }
    default: break;
    }
    return Form_Widget_setValueText(w, value);
}

int Form_ctlSetDefault(void *control, const char16_t *text, size_t count)
{
    FormWidget *w = static_cast<FormWidget *>(control);
    if (!w)
        return Res_formNoWidget;
    char16_t *d = nullptr;
    int err = copyN(text, count, &d, false);
    if (err)
        return err;
    Mem_free(w->defaultValue);
    w->defaultValue = d;
    return Form_ctlSetValue(w, text, count);
}

int Form_ctlSetEnabled(FormWidget *w, int on)
{
    if (!w)
        return Res_formNoWidget;
    if (on)
        w->flags |= FormWidget_enabled | FormWidget_navigable;
    else
        w->flags &= ~uint32_t(FormWidget_enabled | FormWidget_navigable);
    return Form_Widget_forwardToOwner(w, 0, 1);
}

int Form_ctlSetChecked(FormWidget *w, int on)
{
    if (!w)
        return Res_formNoWidget;
    if (!Form_Widget_hasClass(w, FormClass_look))
        return Res_ok;
    uint32_t state = Skin_getValue(w);
    state = on ? ((state & ~uint32_t(0xF)) | 4 | 16) : ((state & ~uint32_t(0x1F)) | 1);
    // The state is kept (it picks the looks drawn) and the on flag with it,
    // which is what submission reads.
    Skin_setValue(w, state);
    if (on)
        w->flags |= FormWidget_on;
    else
        w->flags &= ~uint32_t(FormWidget_on);
    return Form_Widget_forwardToOwner(w, 0, 1);
}

int Form_ctlIsChecked(const FormWidget *w, int *out)
{
    if (out)
        *out = 0;
    if (w && out && Form_Widget_hasClass(w, FormClass_look))
        *out = (Skin_getValue(w) >> 4) & 1;
    return Res_ok;
}

int Form_ctlIsSelected(const FormWidget *w, int *out)
{
    if (out)
        *out = 0;
    if (w && out && Form_Widget_hasClass(w, FormClass_look))
        *out = (Skin_getValue(w) >> 2) & 1;
    return Res_ok;
}

int Form_ctlSetDefaultChecked(FormWidget *w, int on)
{
    if (!w)
        return Res_formNoWidget;
    w->defaultOn = on ? 1 : 0;
    return Form_ctlSetChecked(w, on);
}

int Form_ctlIsKind128(const FormWidget *w)
{
    return w && w->kind == FormKind_hidden;
}

int Form_inputSetEditable(FormWidget *w, int on)
{
    return Form_textSetEditable(w, on);
}

int Form_inputSetMaxLength(FormWidget *w, int32_t length)
{
    return Form_textSetMaxLength(w, length);
}

int Form_inputSetAutocomplete(FormWidget *w, int on)
{
    return Form_textSetAutocomplete(w, on);
}

int Form_inputSetSize(FormWidget *w, uint32_t size)
{
    if (Form_textFieldData(w))
        return Form_textSetCols(w, size);
    if (Form_fileData(w))
        return Form_fileSetSize(w, size);
    return Res_ok;
}

int Form_inputSetImage(FormWidget *w, Url *image, uintptr_t data)
{
    if (w && Form_Widget_hasClass(w, FormClass_button))
        Skin_setImageUrl(w, image, data);
    else
        Url_free(image);
    return Res_ok;
}

int Form_textAreaSetRows(FormWidget *w, uint32_t rows)
{
    return Form_textSetRows(w, rows);
}

int Form_textAreaSetCols(FormWidget *w, uint32_t cols)
{
    return Form_textSetCols(w, cols);
}

// ------------------------------------------------------------- readers

int Form_ctlGetName(const FormWidget *w, char16_t **out)
{
    if (!out)
        return Res_ok;
    *out = nullptr;
    return w ? Form_Widget_getName(w, out) : int(Res_ok);
}

int Form_ctlGetValue(FormWidget *w, char16_t **out)
{
    if (!w || !out)
        return Res_ok;
    switch (w->kind) {
    case FormKind_text:
    case FormKind_password:
    case FormKind_textArea:
    case FormKind_textArea2: *out = nullptr; return Form_textGetText(w, out);
    case FormKind_file: *out = nullptr; return Form_fileGetValue(w, out, 1);
    case FormKind_buttonSubmit1:
    case FormKind_buttonPlain:
    case FormKind_buttonImage:
    case FormKind_checkbox:
    case FormKind_radio:
    case FormKind_submit:
    case FormKind_hidden:
    case FormKind_image:
    case FormKind_button:
    case FormKind_option: *out = nullptr; return Form_Widget_getValueText(w, out);
    default: return Res_ok;
    }
}

int Form_ctlGetSubmitValue(FormWidget *w, char16_t **out)
{
    if (!out)
        return Res_ok;
    *out = nullptr;
    if (w && w->kind == FormKind_file)
        return Form_fileGetValue(w, out, 0);
    return Form_ctlGetValue(w, out);
}

int Form_ctlIsSuccessful(FormWidget *w, int *out)
{
    if (!out)
        return Res_ok;
    *out = 0;
    if (!w || !(w->flags & FormWidget_enabled))
        return Res_ok;
    switch (w->kind) {
    case FormKind_text:
    case FormKind_password:
    case FormKind_hidden:
    case FormKind_textArea:
    case FormKind_textArea2: *out = 1; return Res_ok;
    case FormKind_buttonSubmit1:
    case FormKind_buttonPlain:
    case FormKind_buttonImage:
    case FormKind_checkbox:
    case FormKind_radio:
    case FormKind_submit:
    case FormKind_image:
    case FormKind_button: *out = (w->flags & FormWidget_on) ? 1 : 0; return Res_ok;
    case FormKind_select: {
        FormWidget *first = nullptr;
        int err = Form_listGetSelected(w, nullptr, &first);
        *out = first != nullptr;
        return err;
    }
    case FormKind_file: break;
    default: return Res_ok;
    }
    char16_t *name = nullptr;
    int err = Form_fileGetValue(w, &name, 1);
    if (err)
        return err;
    if (!name || !name[0]) {
        Mem_free(name);
        *out = 1;
        return Res_ok;
    }
    // Whether this document may send the file is the user's to say.
    size_t n = 0;
    Ustr_utf8Len(name, &n, nullptr);
    char *text = static_cast<char *>(Mem_malloc(n));
    if (!text) {
        Mem_free(name);
        return Res_noMemory;
    }
    Ustr_toUtf8(text, name);
    Mem_free(name);
    EngineContext *ctx = w->owner ? Edr_Doc_queryApp(w->owner) : nullptr;
    int32_t answer = 1;
    HostQuestionRecord q{};
    q.kind = UserQuestion_text;
    q.words[0] = reinterpret_cast<uintptr_t>(&answer);
    q.words[2] = 1;
    q.words[3] = reinterpret_cast<uintptr_t>(text);
    err = ctx ? UserQuestion_ask(ctx->eventProc, &q) : int(Res_formNoWidget);
    Mem_free(text);
    if (err)
        return err;
    if (answer == 0)
        return Res_formFileRefused;
    *out = answer != 2;
    return Res_ok;
}

// ------------------------------------------------- option registration

namespace {

FormWidget *widgetOf(Edr_Node *node)
{
    if (!node || Edr_Node_type(node) != Edr_NodeType_group ||
        Edr_Node_subtype(node) != Edr_Subtype_formControl)
        return nullptr;
    return static_cast<FormWidget *>(Edr_Node_group(node)->subtypeValue);
}

bool isElement(Edr_Node *node, uint32_t element)
{
    return node && Edr_Node_type(node) == Edr_NodeType_group &&
           Edr_Node_group(node)->element == element;
}

} // namespace

int Form_optionRegister(Edr_Node *option)
{
    if (!isElement(option, HtmlEl_Option))
        return Res_ok;
    Edr_Node *select = Edr_Node_parent(option);
    FormWidget *list = isElement(select, HtmlEl_Select) ? widgetOf(select) : nullptr;
    // Called while the node is given its widget: its subtype is not set yet.
    FormWidget *w = static_cast<FormWidget *>(Edr_Node_group(option)->subtypeValue);
    if (!list || !w || !Form_listData(list))
        return Res_ok;
    if (w->parent == list)
        return Res_ok;
    int32_t index = 0;
    Edr_Node *c = Edr_Node_firstChild(select);
    for (; c && c != option; c = Edr_Node_nextSibling(c))
        if (isElement(c, HtmlEl_Option))
            index++;
    if (!c)
        return Res_notGroup;
    return Form_listInsertOption(list, w, index);
}

int Form_optionUnregister(Edr_Doc *, Edr_Node *option)
{
    if (!isElement(option, HtmlEl_Option))
        return Res_ok;
    FormWidget *w = widgetOf(option);
    Edr_Node *select = Edr_Node_parent(option);
    FormWidget *list = isElement(select, HtmlEl_Select) ? widgetOf(select) : nullptr;
    if (!w || !list || w->parent != list)
        return Res_ok;
    return Form_listRemoveOption(list, w);
}
