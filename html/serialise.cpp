// HTML serialisation: a subtree of an HTML document written back out as
// HTML text: start tags with the node's attributes, its inline style, its
// classes, id, name, link and alternative text, the text of text nodes and
// end tags. Text and attribute values are escaped so that the text reads
// back as the same tree.
#include "html/serialise.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/stylerule.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "html/attributes.h"
#include "html/css/csstext.h"
#include "html/docweb.h"
#include "html/forms/form.h"
#include "html/forms/widget.h"
#include "html/parser.h"
#include "platform/url/url.h"
#include "core/text/ustrbuf.h"

namespace {

struct Walk {
    Edr_Doc *doc;
    int markup;
    int skipStart;
    Edr_Node *start;
    Ustr_buf *out;
};

int ascii(Ustr_buf *b, const char *s)
{
    return Ustr_bufAppendAscii(b, s, strlen(s));
}

// Text content: "&", "<" and ">" become references.
int appendText(Ustr_buf *b, const char16_t *s, size_t n)
{
    size_t run = 0;
    for (size_t i = 0; i < n; i++) {
        const char *ref = s[i] == u'&'   ? "&amp;"
                          : s[i] == u'<' ? "&lt;"
                          : s[i] == u'>' ? "&gt;"
                                         : nullptr;
        if (!ref)
            continue;
        int err = Ustr_bufAppend(b, s + run, i - run);
        if (!err)
            err = ascii(b, ref);
        if (err)
            return err;
        run = i + 1;
    }
    return Ustr_bufAppend(b, s + run, n - run);
}

// An attribute value inside the quote: "&" and the quote become references.
int appendValue(Ustr_buf *b, const char16_t *s, char16_t quote)
{
    size_t n = s ? Ustr_len(s) : 0, run = 0;
    for (size_t i = 0; i < n; i++) {
        const char *ref = s[i] == u'&'    ? "&amp;"
                          : s[i] != quote ? nullptr
                          : quote == u'"' ? "&quot;"
                                          : "&#39;";
        if (!ref)
            continue;
        int err = Ustr_bufAppend(b, s + run, i - run);
        if (!err)
            err = ascii(b, ref);
        if (err)
            return err;
        run = i + 1;
    }
    return Ustr_bufAppend(b, s + run, n - run);
}

// " name=" quote value quote.
int attribute(Ustr_buf *b, const char *name, const char16_t *value, char16_t quote)
{
    const char16_t q[2] = {quote, 0};
    int err = ascii(b, " ");
    if (!err)
        err = ascii(b, name);
    if (!err)
        err = ascii(b, "=");
    if (!err)
        err = Ustr_bufAppend(b, q, 1);
    if (!err)
        err = appendValue(b, value, quote);
    if (!err)
        err = Ustr_bufAppend(b, q, 1);
    return err;
}

int attributeAscii(Ustr_buf *b, const char *name, const char *value)
{
    char16_t *v = Ustr_fromCstr(value);
    if (!v)
        return Res_noMemory;
    int err = attribute(b, name, v, u'"');
    Mem_free(v);
    return err;
}

// Attributes that the start tag writes from their own fields.
bool writtenApart(uint32_t attr)
{
    switch (attr) {
    case HtmlAttr_name:
    case HtmlAttr_id:
    case HtmlAttr_class:
    case HtmlAttr_alt:
    case HtmlAttr_href:
    case HtmlAttr_style:
    case HtmlAttr_action:
    case HtmlAttr_method:
    case HtmlAttr_enctype:
    case HtmlAttr_accept_charset:
    case HtmlAttr_accept: return true;
    default: return false;
    }
}

int formAttributes(Walk &w, Edr_Node *node)
{
    Url *action = nullptr;
    uint32_t method = 0, encoding = 0;
    char16_t *accept = nullptr;
    int err = Form_getAttributes(w.doc, node, &action, &method, &encoding, &accept, nullptr);
    if (err == Res_formNoRecordQuery)
        return Res_ok;
    if (!err && action) {
        char16_t *text = Url_toString(action, UrlPart_all);
        err = text ? attribute(w.out, "action", text, u'"') : int(Res_noMemory);
        Mem_free(text);
    }
    if (!err)
        err = attributeAscii(w.out, "method", method == Form_methodPost ? "post" : "get");
    if (!err)
        err = attributeAscii(w.out, "enctype",
                             encoding == Form_encMultipart ? "multipart/form-data"
                             : encoding == Form_encText    ? "text/plain"
                                                           : "application/x-www-form-urlencoded");
    if (!err && accept)
        err = attribute(w.out, "accept-charset", accept, u'"');
    Url_free(action);
    Mem_free(accept);
    return err;
}

int startTag(Walk &w, Edr_Node *node)
{
    uint32_t id = Edr_Node_group(node)->element;
    if (id == 0 || id == HtmlEl_Okalafh || id == HtmlEl_Okalasection || id == HtmlEl_Okalawidget ||
        id > Html_elementCount)
        return Res_ok;
    Ustr_buf *b = w.out;
    int err = ascii(b, "<");
    if (!err)
        err = ascii(b, Html_elementNames[id - 1]);
    if (!err && id == HtmlEl_Form)
        err = formAttributes(w, node);
    // The attribute properties.
    StyleRule *attrs = nullptr;
    if (!err && !(err = Edr_Node_getPropList0(w.doc, node, &attrs)) && attrs) {
        StylePropItem *cur = nullptr;
        for (StylePropItem *it = StyleRule_firstProp(attrs); it && !err;) {
            it = StyleRule_nextProp(it, &cur);
            if (!writtenApart(Prop_getId(&cur->value)))
                err = Html_writeAttribute(b, &cur->value, u'=', u'\'', 0, 1);
        }
    }
    StyleRule_destroy(attrs);
    // The inline style.
    StyleRule *style = nullptr;
    if (!err && !(err = Edr_Node_getPropList2(w.doc, node, &style)) && style) {
        char16_t *text = Css_ruleToText(style);
        if (text && text[0])
            err = attribute(b, "style", text, u'\'');
        Mem_free(text);
    }
    StyleRule_destroy(style);
    // The classes in one attribute (a second class attribute would be
    // lost when the text is read back), then id, name, link and
    // alternative text.
    uint32_t *ids = nullptr, count = 0;
    if (!err && !(err = Edr_Node_copyIdList(w.doc, node, &ids, &count))) {
        Ustr_buf names;
        Ustr_bufInit(&names, 64);
        for (uint32_t i = 0; i < count && !err; i++) {
            char16_t *name = nullptr;
            if (Edr_Doc_lookupString(w.doc, ids[i], &name) == Res_ok && name && name[0] == u'.') {
                if (names.length)
                    err = Ustr_bufAppend(&names, u" ", 1);
                if (!err)
                    err = Ustr_bufAppend(&names, name + 1, Ustr_len(name + 1));
            }
            Mem_free(name);
        }
        char16_t *list = err ? nullptr : Ustr_bufDetach(&names);
        Ustr_bufFree(&names);
        if (list)
            err = attribute(b, "class", list, u'\'');
        Mem_free(list);
    }
    Mem_free(ids);
    char16_t *text = nullptr;
    if (!err && !(err = Edr_Node_getIdText(w.doc, node, &text)) && text)
        err = attribute(b, "id", text[0] == u'#' ? text + 1 : text, u'\'');
    Mem_free(text);
    text = nullptr;
    if (!err && !(err = Edr_Node_getName(w.doc, node, &text)) && text)
        err = attribute(b, "name", text, u'\'');
    Mem_free(text);
    text = nullptr;
    Url *url = nullptr;
    if (!err && id != HtmlEl_Form && !(err = Edr_Node_getUrl(w.doc, node, &url)) && url) {
        char16_t *t = Url_toString(url, UrlPart_all);
        if (!t)
            err = Res_noMemory;
        else
            err =
                attribute(b, "href", t, Url_getClass(url) == 7 && Ustr_chr(t, u'"') ? u'\'' : u'"');
        Mem_free(t);
    }
    Url_free(url);
    if (!err && !(err = Edr_Node_copyText2(w.doc, node, &text)) && text)
        err = attribute(b, "alt", text, u'\'');
    Mem_free(text);
    if (!err && Html_inSet(HtmlSet_void, id) && id != HtmlEl_A)
        err = ascii(b, " /");
    if (!err)
        err = ascii(b, ">");
    // An option's text lives in its control.
    if (!err && id == HtmlEl_Option && Edr_Node_subtype(node) == Edr_Subtype_formControl) {
        auto *control = static_cast<FormWidget *>(Edr_Node_group(node)->subtypeValue);
        if (control && control->label)
            err = appendText(b, control->label, Ustr_len(control->label));
    }
    return err;
}

// The groups of a control's own parts (its label, scroll bars, arrows)
// are no markup of the page: they and their subtrees are left out.
bool isPart(Edr_Node *node)
{
    if (Edr_Node_type(node) != Edr_NodeType_group ||
        Edr_Node_subtype(node) != Edr_Subtype_formControl)
        return false;
    auto *w = static_cast<const FormWidget *>(Edr_Node_group(node)->subtypeValue);
    return w && !w->kind;
}

// The node's fields are read with a node reference held.
int startTagHeld(Walk &w, Edr_Node *node)
{
    Edr_Doc_readLock(w.doc);
    int err = Edr_Node_addRefLocked(w.doc, node);
    Edr_Doc_readUnlock(w.doc);
    if (err)
        return err;
    err = startTag(w, node);
    Edr_Node_release(w.doc, node);
    return err;
}

int enter(Walk &w, Edr_Node *node)
{
    if (node == w.start && w.skipStart)
        return Res_ok;
    uint32_t type = Edr_Node_type(node);
    if (type == Edr_NodeType_text) {
        Edr_TextNode *t = Edr_Node_textPayload(node);
        return w.markup ? appendText(w.out, t->chars, t->length)
                        : Ustr_bufAppend(w.out, t->chars, t->length);
    }
    return w.markup && type == Edr_NodeType_group ? startTagHeld(w, node) : int(Res_ok);
}

int leave(Walk &w, Edr_Node *node)
{
    if ((node == w.start && w.skipStart) || !w.markup || Edr_Node_type(node) != Edr_NodeType_group)
        return Res_ok;
    uint32_t id = Edr_Node_group(node)->element;
    if (id == 0 || id == HtmlEl_Okalafh || id == HtmlEl_Okalasection || id == HtmlEl_Okalawidget ||
        id > Html_elementCount || (Html_inSet(HtmlSet_void, id) && id != HtmlEl_A))
        return Res_ok;
    int err = ascii(w.out, "</");
    if (!err)
        err = ascii(w.out, Html_elementNames[id - 1]);
    return err ? err : ascii(w.out, ">");
}

} // namespace

int Html_writeAttribute(Ustr_buf *b, const Prop *value, char16_t separator, char16_t quote,
                        int last, int kind)
{
    char16_t *name = nullptr, *text = nullptr;
    if (kind == 0) {
        // "name:value" split at its first colon.
        char16_t *decl = Css_propertyDeclText(value);
        const char16_t *colon = decl ? Ustr_chr(decl, u':') : nullptr;
        if (colon) {
            name = Ustr_dupN(decl, size_t(colon - decl));
            text = Ustr_dup(colon + 1);
        }
        Mem_free(decl);
    } else {
        const char *n = Html_attrName(Prop_getId(value));
        name = n ? Ustr_fromCstr(n) : nullptr;
        text = Html_attributeText(value);
    }
    int err = Res_ok;
    if (name && text) {
        const char16_t sep[2] = {separator, 0}, q[2] = {quote, 0};
        if (!(err = Ustr_bufAppend(b, u" ", 1)) &&
            !(err = Ustr_bufAppend(b, name, Ustr_len(name))) &&
            !(err = Ustr_bufAppend(b, sep, 1)) && !(err = Ustr_bufAppend(b, q, 1)) &&
            !(err = appendValue(b, text, quote)))
            err = Ustr_bufAppend(b, q, 1);
        (void)last;
    }
    Mem_free(name);
    Mem_free(text);
    return err;
}

int Html_serialise(Edr_Doc *doc, Edr_Node *start, int markup, int skipStart, char16_t **out)
{
    *out = nullptr;
    if (!doc || !start)
        return Res_missingArgument;
    Ustr_buf buf;
    Ustr_bufInit(&buf, 256);
    Walk w{doc, markup, skipStart, start, &buf};
    // Pre-order without recursion: enter a node, go down to its first
    // child, and leave nodes on the way back up to the next sibling.
    int err = Res_ok;
    Edr_Node *node = start;
    while (node && !err) {
        bool part = node != start && isPart(node);
        if (!part && (err = enter(w, node)))
            break;
        Edr_Node *child = !part && Edr_Node_type(node) == Edr_NodeType_group
                              ? Edr_Node_firstChild(node)
                              : nullptr;
        if (child) {
            node = child;
            continue;
        }
        while (node && !err) {
            if (node == start || !isPart(node))
                err = leave(w, node);
            if (node == start) {
                node = nullptr;
                break;
            }
            if (Edr_Node *next = Edr_Node_nextSibling(node)) {
                node = next;
                break;
            }
            node = Edr_Node_parent(node);
        }
    }
    if (err) {
        Ustr_bufFree(&buf);
        return err;
    }
    *out = Ustr_bufDetach(&buf);
    if (!*out) {
        // Nothing was written: an empty text.
        *out = static_cast<char16_t *>(Mem_calloc(1, sizeof(char16_t)));
        if (!*out)
            return Res_noMemory;
    }
    return Res_ok;
}

int Html_loadTextAtNode(Edr_Doc *doc, Edr_Node *node, uint32_t, const char16_t *text)
{
    if (!doc || !node || !text)
        return Res_missingArgument;
    Edr_Doc_readLock(doc);
    int err = Edr_Node_addRefLocked(doc, node);
    Edr_Doc_readUnlock(doc);
    if (err)
        return err;
    err = Html_replaceContent(Edr_Doc_queryApp(doc), nullptr, doc, node, text,
                              uint32_t(Ustr_len(text)));
    Edr_Node_release(doc, node);
    return err;
}
