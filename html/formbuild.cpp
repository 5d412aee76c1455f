// The form controls of tree building: each form-control element gets its
// widget, attached to its group node, and each form element its record;
// their attributes set names, values, defaults, flags and form settings.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "html/attributes.h"
#include "html/forms/controls.h"
#include "html/forms/form.h"
#include "html/forms/listbox.h"
#include "html/forms/widget.h"
#include "html/forms/widgetclass.h"
#include "html/parser.h"
#include "platform/url/url.h"

namespace {

char16_t fold(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
}

bool equalsWord(const char16_t *v, size_t n, const char *word)
{
    size_t m = strlen(word);
    if (!v || n != m)
        return false;
    for (size_t i = 0; i < n; i++)
        if (fold(v[i]) != char16_t(word[i]))
            return false;
    return true;
}

// The type code of an input's type word (0 for none or an unknown word).
uint32_t inputType(const char16_t *v, size_t n)
{
    static const char *const types[] = {"text",  "password", "checkbox", "radio", "submit",
                                        "reset", "file",     "hidden",   "image", "button"};
    for (uint32_t i = 0; i < 10; i++)
        if (equalsWord(v, n, types[i]))
            return (i + 1) * 16;
    return 0;
}

// The kind of a button element: "button" 1, "reset" 2, "submit" and no
// type 3.
uint32_t buttonType(const char16_t *v, size_t n)
{
    if (equalsWord(v, n, "button"))
        return FormKind_buttonSubmit1;
    if (equalsWord(v, n, "reset"))
        return FormKind_buttonReset;
    return FormKind_buttonPlain;
}

bool readNumber(const char16_t *v, size_t n, uint32_t *out)
{
    uint32_t x = 0;
    if (!v || !n)
        return false;
    for (size_t i = 0; i < n; i++) {
        if (v[i] < u'0' || v[i] > u'9')
            return false;
        x = x * 10 + uint32_t(v[i] - u'0');
        if (x > 65535)
            return false;
    }
    *out = x;
    return true;
}

} // namespace

int Html_makeControl(HtmlParser *p, uint32_t id, Edr_Node *node, const char16_t *tag,
                     const HtmlTagSpan *attrs, uint32_t count)
{
    Edr_Doc *doc = p->doc;
    if (id == HtmlEl_Form) {
        FormRecord *r = nullptr;
        return Form_recordNew(doc, node, &r);
    }
    // Without the forms module (a host that shows no controls) the element
    // stays a plain group.
    if (!Form_module(Edr_Doc_queryApp(doc)))
        return Res_ok;
    FormWidget *w = nullptr;
    size_t n = 0;
    const char16_t *type =
        tag ? Html_getAttrTrimmed(tag, attrs, count, HtmlAttr_type, &n) : nullptr;
    int err;
    switch (id) {
    case HtmlEl_Input: err = Form_createInput(&w, inputType(type, n), doc); break;
    case HtmlEl_Button: err = Form_createButton(&w, buttonType(type, n), doc); break;
    case HtmlEl_Textarea: err = Form_createTextArea(&w, doc); break;
    case HtmlEl_Select: err = Form_listCreateWidget(&w, doc); break;
    case HtmlEl_Option:
        if (!p->inOption)
            return Res_ok;
        err = Form_createOption(&w, doc);
        break;
    default: return Res_ok;
    }
    if (err)
        return err;
    if ((err = Form_Widget_init(w)) ||
        (err = Form_Widget_attach(w, doc, nullptr, node, Edr_Insert_lastChild)) ||
        (err = Form_adoptControl(doc, w))) {
        // The node lets go of the widget before it goes.
        if (w->node)
            (void)Edr_Node_setSubtypeValue(doc, node, Edr_Subtype_none, nullptr);
        w->node = nullptr;
        Form_Widget_destroy(w);
        return err;
    }
    switch (id) {
    case HtmlEl_Button: p->buttonControl = w; break;
    case HtmlEl_Textarea: p->textareaControl = w; break;
    case HtmlEl_Select: p->selectControl = w; break;
    case HtmlEl_Option: p->optionControl = w; break;
    default: break;
    }
    return Res_ok;
}

int Html_applyControlAttributes(HtmlParser *p, uint32_t id, Edr_Node *node, const char16_t *tag,
                                const HtmlTagSpan *attrs, uint32_t count)
{
    Edr_Doc *doc = p->doc;
    size_t n = 0;
    const char16_t *v = nullptr;
    auto attr = [&](uint32_t a) {
        v = tag ? Html_getAttrTrimmed(tag, attrs, count, a, &n) : nullptr;
        return v != nullptr;
    };
    int err = Res_ok;
    if (id == HtmlEl_Form) {
        uint32_t method = 0, encoding = 0;
        Url *action = nullptr;
        char16_t *accept = nullptr;
        if (attr(HtmlAttr_action) && n) {
            char16_t *text = Ustr_dupN(v, n);
            err = text ? Edr_Doc_resolveUrl(doc, text, &action) : int(Res_noMemory);
            Mem_free(text);
        }
        if (attr(HtmlAttr_method))
            method = equalsWord(v, n, "post") ? Form_methodPost : Form_methodGet;
        if (attr(HtmlAttr_enctype))
            encoding = equalsWord(v, n, "multipart/form-data") ? Form_encMultipart
                       : equalsWord(v, n, "text/plain")        ? Form_encText
                                                               : Form_encUrl;
        if (!err && attr(HtmlAttr_accept_charset) && n && !(accept = Ustr_dupN(v, n)))
            err = Res_noMemory;
        if (!err)
            err = Form_setNodeAttributes(doc, node, action, method, encoding, accept, nullptr, 0);
        Url_free(action);
        Mem_free(accept);
        if (!err && attr(HtmlAttr_target) && n)
            err = Form_setTarget(doc, node, v, n);
        return err;
    }
    FormWidget *w = nullptr;
    switch (id) {
    case HtmlEl_Input:
    case HtmlEl_Button:
    case HtmlEl_Textarea:
    case HtmlEl_Select:
    case HtmlEl_Option: {
        uint32_t sub = 0;
        void *value = nullptr;
        if ((err = Edr_Node_getSubtype(doc, node, &sub, &value)) || sub != Edr_Subtype_formControl)
            return err;
        w = static_cast<FormWidget *>(value);
        break;
    }
    default: return Res_ok;
    }
    if (!w)
        return Res_ok;
    if (id != HtmlEl_Option && attr(HtmlAttr_name) && n)
        err = Form_ctlSetName(w, v, n);
    if (!err && id != HtmlEl_Select && id != HtmlEl_Textarea && attr(HtmlAttr_value))
        err = Form_ctlSetDefault(w, v, n);
    if (!err && id == HtmlEl_Input && Html_attrPresent(tag, attrs, count, HtmlAttr_checked))
        err = Form_ctlSetDefaultChecked(w, 1);
    if (!err && id == HtmlEl_Option && Html_attrPresent(tag, attrs, count, HtmlAttr_selected))
        err = Form_ctlSetDefaultChecked(w, 1);
    if (!err && Html_attrPresent(tag, attrs, count, HtmlAttr_disabled))
        err = Form_ctlSetEnabled(w, 0);
    if (!err && id == HtmlEl_Select && Html_attrPresent(tag, attrs, count, HtmlAttr_multiple))
        err = Form_listSetFlag(w, 1);
    if (!err && (id == HtmlEl_Input || id == HtmlEl_Textarea) &&
        Html_attrPresent(tag, attrs, count, HtmlAttr_readonly))
        (void)Form_inputSetEditable(w, 0);
    uint32_t number = 0;
    if (!err && attr(HtmlAttr_size) && readNumber(v, n, &number)) {
        if (id == HtmlEl_Select)
            err = Form_listSetRows(w, number);
        else if (id == HtmlEl_Input)
            (void)Form_inputSetSize(w, number);
    }
    if (!err && id == HtmlEl_Input && attr(HtmlAttr_maxlength) && readNumber(v, n, &number))
        (void)Form_inputSetMaxLength(w, int32_t(number));
    if (!err && id == HtmlEl_Input && attr(HtmlAttr_autocomplete) && equalsWord(v, n, "off"))
        (void)Form_inputSetAutocomplete(w, 0);
    if (!err && id == HtmlEl_Textarea && attr(HtmlAttr_rows) && readNumber(v, n, &number))
        (void)Form_textAreaSetRows(w, number);
    if (!err && id == HtmlEl_Textarea && attr(HtmlAttr_cols) && readNumber(v, n, &number))
        (void)Form_textAreaSetCols(w, number);
    // The control's place in its form (options belong to their select).
    if (!err && id != HtmlEl_Option)
        err = Form_addControl(doc, nullptr, node);
    return err;
}

int Html_finishTextArea(HtmlParser *p, const char16_t *text, size_t length)
{
    if (!p->textareaControl)
        return Res_ok;
    auto *copy = static_cast<char16_t *>(Mem_malloc((length + 1) * sizeof(char16_t)));
    if (!copy)
        return Res_noMemory;
    if (length)
        memcpy(copy, text, length * sizeof(char16_t));
    length = Html_decodeRefs(copy, length);
    int err = Form_ctlSetDefault(p->textareaControl, copy, length);
    Mem_free(copy);
    p->textareaControl = nullptr;
    return err;
}
