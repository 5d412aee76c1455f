// Form records, control events and submission.
#include "html/forms/form.h"

#include <cstring>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/number.h"
#include "core/text/ustr.h"
#include "core/time/date.h"
#include "document/edr/doc.h"
#include "document/edr/docevents.h"
#include "document/edr/node.h"
#include "html/forms/controls.h"
#include "html/forms/listbox.h"
#include "html/forms/ptrlist.h"
#include "html/forms/textfield.h"
#include "html/forms/widget.h"
#include "html/link.h"
#include "html/parser.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"

namespace {

bool isElement(const Edr_Node *node, uint32_t element)
{
    return node && Edr_Node_type(node) == Edr_NodeType_group &&
           Edr_Node_group(const_cast<Edr_Node *>(node))->element == element;
}

FormWidget *widgetOf(const Edr_Node *node)
{
    if (!node || Edr_Node_type(node) != Edr_NodeType_group ||
        Edr_Node_subtype(node) != Edr_Subtype_formControl)
        return nullptr;
    return static_cast<FormWidget *>(Edr_Node_group(const_cast<Edr_Node *>(node))->subtypeValue);
}

// A control of a form: a widget group whose widget carries a control kind
// and is no part of another widget.
bool isControl(const Edr_Node *node)
{
    FormWidget *w = widgetOf(node);
    return w && w->kind && !w->parent;
}

bool sameText(const char16_t *a, const char16_t *b)
{
    return a && b && Ustr_cmp(a, b) == 0;
}

int listAppend(Edr_Doc *doc, FormNodeList *list, Edr_Node *node)
{
    if (list->count == list->capacity) {
        uint32_t cap = list->capacity ? list->capacity * 2 : 16;
        auto *n = static_cast<Edr_Node **>(Mem_realloc(list->nodes, cap * sizeof(Edr_Node *)));
        if (!n)
            return Res_noMemory;
        list->nodes = n;
        list->capacity = cap;
    }
    int err = Edr_Node_addRefLocked(doc, node);
    if (!err)
        list->nodes[list->count++] = node;
    return err;
}

bool listHas(const FormNodeList *list, const Edr_Node *node)
{
    for (uint32_t i = 0; i < list->count; i++)
        if (list->nodes[i] == node)
            return true;
    return false;
}

bool passes(const Edr_Node *node, uint32_t kind, const char16_t *name)
{
    FormWidget *w = widgetOf(node);
    if (!w)
        return false;
    if (kind && w->kind != kind)
        return false;
    return !name || sameText(w->name, name);
}

// Pre-order walk of the form element's subtree; a control's own parts are
// not walked.
int collectUnder(Edr_Doc *doc, Edr_Node *node, uint32_t kind, const char16_t *name,
                 FormNodeList *out)
{
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        if (Edr_Node_type(c) != Edr_NodeType_group)
            continue;
        if (isControl(c)) {
            if (passes(c, kind, name)) {
                int err = listAppend(doc, out, c);
                if (err)
                    return err;
            }
            const FormWidget *cw = widgetOf(c);
            if (!cw || cw->kind != FormKind_select)
                continue;
        }
        int err = collectUnder(doc, c, kind, name, out);
        if (err)
            return err;
    }
    return Res_ok;
}

Edr_Node *formAncestor(const Edr_Node *node)
{
    for (Edr_Node *p = node ? Edr_Node_parent(node) : nullptr; p; p = Edr_Node_parent(p))
        if (isElement(p, HtmlEl_Form))
            return p;
    return nullptr;
}

// Under a lock: the control's form node.
Edr_Node *formOfLocked(const Edr_Node *control)
{
    FormWidget *w = widgetOf(control);
    if (w && w->formNode && !((w->formNode)->flags & Edr_Node_deletedBit))
        return w->formNode;
    return formAncestor(control);
}

// ------------------------------------------------------------ the body

// A growable byte buffer.
struct Bytes {
    uint8_t *data;
    uint32_t capacity;
    uint32_t length;
};

int bytesAppend(Bytes *b, const void *src, size_t n)
{
    if (!n)
        return Res_ok;
    if (size_t(b->length) + n > UINT32_MAX - 1)
        return Res_noMemory;
    uint32_t need = uint32_t(b->length + n);
    if (need > b->capacity) {
        uint32_t cap = b->capacity * 2 > need ? b->capacity * 2 : need;
        auto *d = static_cast<uint8_t *>(Mem_realloc(b->data, cap));
        if (!d)
            return Res_noMemory;
        b->data = d;
        b->capacity = cap;
    }
    memcpy(b->data + b->length, src, n);
    b->length = need;
    return Res_ok;
}

int bytesAppendStr(Bytes *b, const char *s)
{
    return bytesAppend(b, s, strlen(s));
}

// One field to send, its texts already in the form's charset.
struct Field {
    Bytes name;
    Bytes value;
    Bytes fileName; // file fields only
    const char16_t *mime;
    char16_t *path; // the file to insert (owned), file fields only
    bool isFile;
};

struct Fields {
    Field *items;
    uint32_t count;
    uint32_t capacity;
};

void fieldsFree(Fields *f)
{
    for (uint32_t i = 0; i < f->count; i++) {
        Mem_free(f->items[i].name.data);
        Mem_free(f->items[i].value.data);
        Mem_free(f->items[i].fileName.data);
        Mem_free(f->items[i].path);
    }
    Mem_free(f->items);
    *f = Fields{};
}

int fieldsAdd(Fields *f, Field **out)
{
    if (f->count == f->capacity) {
        uint32_t cap = f->capacity ? f->capacity * 2 : 8;
        auto *n = static_cast<Field *>(Mem_realloc(f->items, cap * sizeof(Field)));
        if (!n)
            return Res_noMemory;
        f->items = n;
        f->capacity = cap;
    }
    *out = &f->items[f->count++];
    **out = Field{};
    return Res_ok;
}

// 16-bit text in the form's charset: a buffer of 2n + 1 bytes, doubled
// while the converter reports it full.
int convert(const FormRecord *r, EngineContext *ctx, const char16_t *text, Bytes *out)
{
    size_t n = text ? Ustr_len(text) : 0;
    if (!n)
        return Res_ok;
    size_t cap = 2 * n + 1;
    for (;;) {
        auto *buf = static_cast<uint8_t *>(Mem_malloc(cap));
        if (!buf)
            return Res_noMemory;
        size_t consumed = 0, produced = 0;
        CharsetState state{};
        int err = r->converter(ctx, reinterpret_cast<const uint8_t *>(text), n * sizeof(char16_t),
                               buf, cap, &consumed, &produced, &state);
        if (err == Res_charsetDestFull && cap < (size_t(1) << 30)) {
            Mem_free(buf);
            cap *= 2;
            continue;
        }
        if (err && err != Res_charsetDestFull) {
            Mem_free(buf);
            return err;
        }
        err = bytesAppend(out, buf, produced);
        Mem_free(buf);
        return err;
    }
}

int addField(const FormRecord *r, EngineContext *ctx, Fields *fields, const char16_t *name,
             const char16_t *value)
{
    Field *f = nullptr;
    int err = fieldsAdd(fields, &f);
    if (!err && !(err = convert(r, ctx, name, &f->name)))
        err = convert(r, ctx, value, &f->value);
    return err;
}

bool contains(const Bytes &b, const char *needle, size_t n)
{
    if (b.length < n)
        return false;
    for (uint32_t i = 0; i + n <= b.length; i++)
        if (memcmp(b.data + i, needle, n) == 0)
            return true;
    return false;
}

// The boundary: ten characters '@' to 'S' from the clock, least
// significant first; when it occurs in anything being sent, another is
// made from the random source.
void makeBoundary(const Fields *fields, char boundary[11])
{
    uint64_t s = uint64_t(Date_now(nullptr));
    for (int attempt = 0;; attempt++) {
        uint64_t x = s;
        for (int i = 0; i < 10; i++) {
            boundary[i] = char('@' + x % 20);
            x /= 20;
        }
        boundary[10] = 0;
        bool clash = false;
        for (uint32_t i = 0; i < fields->count && !clash; i++) {
            const Field &f = fields->items[i];
            clash = contains(f.name, boundary, 10) || contains(f.value, boundary, 10) ||
                    contains(f.fileName, boundary, 10);
        }
        if (!clash || attempt > 64)
            return;
        s = (uint64_t(uint32_t(Std_rand())) << 32) ^ uint64_t(uint32_t(Std_rand())) ^
            (s * 2654435761u);
    }
}

bool keepsUnescaped(uint8_t c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '*' || c == '_';
}

int appendEscaped(Bytes *b, const Bytes &text)
{
    static const char hex[] = "0123456789ABCDEF";
    for (uint32_t i = 0; i < text.length; i++) {
        uint8_t c = text.data[i];
        char e[3];
        size_t n = 1;
        if (keepsUnescaped(c)) {
            e[0] = char(c);
        } else if (c == ' ') {
            e[0] = '+';
        } else {
            e[0] = '%';
            e[1] = hex[c >> 4];
            e[2] = hex[c & 15];
            n = 3;
        }
        int err = bytesAppend(b, e, n);
        if (err)
            return err;
    }
    return Res_ok;
}

// A name inside a quoted multipart parameter: a double quote becomes %22.
int appendQuotedName(Bytes *b, const Bytes &text)
{
    for (uint32_t i = 0; i < text.length; i++) {
        int err = text.data[i] == '"' ? bytesAppend(b, "%22", 3) : bytesAppend(b, &text.data[i], 1);
        if (err)
            return err;
    }
    return Res_ok;
}

int appendAscii16(Bytes *b, const char16_t *s)
{
    for (; s && *s; s++) {
        char c = *s < 0x80 ? char(*s) : '?';
        int err = bytesAppend(b, &c, 1);
        if (err)
            return err;
    }
    return Res_ok;
}

// Formats the fields into the body; file fields of a multipart body add
// their {path, offset} entries to *files.
int formatBody(const FormRecord *r, uint32_t encoding, const Fields *fields, const char *boundary,
               Bytes *body, UrlNameValue **files)
{
    UrlNameValue **tail = files;
    int err = Res_ok;
    for (uint32_t i = 0; i < fields->count && !err; i++) {
        const Field &f = fields->items[i];
        if (encoding == Form_encUrl) {
            if (body->length)
                err = bytesAppend(body, "&", 1);
            if (!err && !(err = appendEscaped(body, f.name)) && !(err = bytesAppend(body, "=", 1)))
                err = appendEscaped(body, f.value);
        } else if (encoding == Form_encText) {
            if (!(err = bytesAppend(body, f.name.data, f.name.length)) &&
                !(err = bytesAppend(body, "=", 1)) &&
                !(err = bytesAppend(body, f.value.data, f.value.length)))
                err = bytesAppend(body, "\r\n", 2);
        } else if (!f.isFile) {
            if (!(err = bytesAppendStr(body, "--")) && !(err = bytesAppendStr(body, boundary)) &&
                !(err = bytesAppendStr(body, "\r\nContent-Disposition: form-data; name=\"")) &&
                !(err = appendQuotedName(body, f.name)) &&
                !(err = bytesAppendStr(body, "\"\r\n\r\n")) &&
                !(err = bytesAppend(body, f.value.data, f.value.length)))
                err = bytesAppendStr(body, "\r\n");
        } else {
            if (!(err = bytesAppendStr(body, "--")) && !(err = bytesAppendStr(body, boundary)) &&
                !(err = bytesAppendStr(body, "\r\nContent-Disposition: form-data; name=\"")) &&
                !(err = appendQuotedName(body, f.name)) &&
                !(err = bytesAppendStr(body, "\"; filename=\"")) &&
                !(err = appendQuotedName(body, f.fileName)) &&
                !(err = bytesAppendStr(body, "\"\r\nContent-Type: ")) &&
                !(err = appendAscii16(body, f.mime)))
                err = bytesAppendStr(body, "\r\n\r\n\r\n");
            if (!err && f.path && f.path[0]) {
                // The file's bytes go just before the part's last CR LF.
                auto *entry = static_cast<UrlNameValue *>(Mem_calloc(1, sizeof(UrlNameValue)));
                char16_t *path = entry ? Ustr_dup(f.path) : nullptr;
                if (!path) {
                    Mem_free(entry);
                    err = Res_noMemory;
                } else {
                    entry->name = path;
                    entry->value = body->length - 2;
                    *tail = entry;
                    tail = &entry->next;
                }
            }
        }
    }
    if (!err && encoding == Form_encMultipart && fields->count) {
        if (!(err = bytesAppendStr(body, "--")) && !(err = bytesAppendStr(body, boundary)))
            err = bytesAppendStr(body, "--\r\n");
    }
    (void)r;
    return err;
}

void freeNameValues(UrlNameValue *list)
{
    while (list) {
        UrlNameValue *next = list->next;
        Mem_free(list->name);
        Mem_free(list);
        list = next;
    }
}

// The header line of a POST, sized to what it holds.
char *makeHeader(const FormRecord *r, uint32_t docCharset, uint32_t encoding, const char *boundary)
{
    const char *suffix = "";
    const char *name = "";
    if (r->charset != docCharset && r->charset < 36) {
        suffix = "; charset=";
        name = Charset_getName(r->charset);
    }
    const char *parts[5] = {nullptr, nullptr, nullptr, nullptr, nullptr};
    if (encoding == Form_encMultipart) {
        parts[0] = "Content-type: multipart/form-data; boundary=";
        parts[1] = boundary;
        parts[2] = suffix;
        parts[3] = name;
    } else if (encoding == Form_encText) {
        parts[0] = "Content-Type: text/plain";
    } else {
        parts[0] = "Content-Type: application/x-www-form-urlencoded";
        parts[1] = suffix;
        parts[2] = name;
    }
    size_t n = 3;
    for (const char *p : parts)
        n += p ? strlen(p) : 0;
    char *h = static_cast<char *>(Mem_malloc(n));
    if (!h)
        return nullptr;
    h[0] = 0;
    for (const char *p : parts)
        if (p)
            strcat(h, p);
    strcat(h, "\r\n");
    return h;
}

// Adds the fields of one control.
int controlFields(const FormRecord *r, EngineContext *ctx, FormWidget *w,
                  const FormSubmitter *submitter, Fields *fields)
{
    char16_t *name = nullptr;
    int err = Form_ctlGetName(w, &name);
    if (err)
        return err;
    bool named = name && name[0];
    switch (w->kind) {
    case FormKind_image:
    case FormKind_buttonImage: {
        if (!submitter || !submitter->position)
            break;
        size_t n = named ? Ustr_len(name) : 0;
        auto *field = static_cast<char16_t *>(Mem_malloc((n + 3) * sizeof(char16_t)));
        if (!field) {
            err = Res_noMemory;
            break;
        }
        for (size_t i = 0; i < n; i++)
            field[i] = name[i];
        size_t at = n;
        if (named)
            field[at++] = u'.';
        field[at++] = u'x';
        field[at] = 0;
        // The position is "x,y"; without a comma both values are 0.
        const char16_t *pos = submitter->position;
        const char16_t *comma = Ustr_chr(pos, u',');
        char16_t *x = comma ? Ustr_dupN(pos, size_t(comma - pos)) : Ustr_dup(u"0");
        char16_t *y = comma ? Ustr_dup(comma + 1) : Ustr_dup(u"0");
        if (!x || !y)
            err = Res_noMemory;
        if (!err)
            err = addField(r, ctx, fields, field, x);
        field[at - 1] = u'y';
        if (!err)
            err = addField(r, ctx, fields, field, y);
        Mem_free(field);
        Mem_free(x);
        Mem_free(y);
        break;
    }
    case FormKind_select: {
        if (!named)
            break;
        FormWidget *option = nullptr;
        for (;;) {
            if ((err = Form_listGetSelected(w, option, &option)) || !option)
                break;
            char16_t *value = nullptr;
            if (!(err = Form_ctlGetValue(option, &value)))
                err = addField(r, ctx, fields, name, value);
            Mem_free(value);
            if (err)
                break;
        }
        break;
    }
    case FormKind_file: {
        if (!named)
            break;
        char16_t *fileName = nullptr, *path = nullptr;
        Field *f = nullptr;
        if (!(err = Form_ctlGetValue(w, &fileName)) && !(err = Form_ctlGetSubmitValue(w, &path)) &&
            !(err = fieldsAdd(fields, &f))) {
            f->isFile = true;
            f->path = path;
            path = nullptr;
            const char16_t *mime = nullptr;
            (void)Mime_typeFromFileName(fileName ? fileName : u"", &mime);
            f->mime = mime ? mime : u"application/octet-stream";
            if (!(err = convert(r, ctx, name, &f->name)))
                err = convert(r, ctx, fileName, &f->fileName);
        }
        Mem_free(fileName);
        Mem_free(path);
        break;
    }
    default: {
        if (!named)
            break;
        char16_t *value = nullptr;
        if (!(err = Form_ctlGetValue(w, &value)))
            err = addField(r, ctx, fields, name, value);
        Mem_free(value);
        break;
    }
    }
    Mem_free(name);
    return err;
}

// Sends the request: the target frame, the request data on the URL, and
// the document's link following.
int sendBody(EngineContext *ctx, Edr_Doc *doc, const FormRecord *r, Url *url, char *header,
             Bytes *body, UrlNameValue *files)
{
    int err = Url_setRequestData(url, header, body->data, body->length);
    body->data = nullptr;
    if (err) {
        freeNameValues(files);
        Url_free(url);
        return err;
    }
    if (files)
        Url_setNameValues(url, files);
    Link link;
    Link_init(&link);
    bool targeted = r->target && r->target[0];
    if (targeted &&
        (err = Link_resolveFrameTarget(ctx, doc, r->target, Ustr_len(r->target), &link))) {
        Url_free(url);
        return err;
    }
    err =
        Edr_Doc_followUrl(ctx, doc, url, targeted ? &link : nullptr, Edr_Follow_fromClick, nullptr);
    Link_release(&link);
    return err;
}

} // namespace

// ------------------------------------------------------------- records

void Form_nodeListFree(Edr_Doc *doc, FormNodeList *list)
{
    if (!list)
        return;
    for (uint32_t i = 0; i < list->count; i++)
        Edr_Node_release(doc, list->nodes[i]);
    Mem_free(list->nodes);
    *list = FormNodeList{};
}

int Form_recordNew(Edr_Doc *doc, Edr_Node *formNode, FormRecord **out)
{
    *out = nullptr;
    auto *r = static_cast<FormRecord *>(Mem_calloc(1, sizeof(FormRecord)));
    if (!r)
        return Res_noMemory;
    r->doc = doc;
    r->formNode = formNode;
    r->method = Form_methodGet;
    r->encoding = Form_encUrl;
    r->flag = 1;
    int err = Edr_Node_setSubtypeValue(doc, formNode, Edr_Subtype_word, r);
    if (err) {
        Mem_free(r);
        return err;
    }
    doc->currentForm = r;
    *out = r;
    return Res_ok;
}

void Form_recordFree(FormRecord *r)
{
    if (!r)
        return;
    if (r->doc && r->doc->currentForm == r)
        r->doc->currentForm = nullptr;
    Url_free(r->action);
    Mem_free(r->acceptCharset);
    Mem_free(r->second);
    Mem_free(r->controls);
    Mem_free(r->target);
    Mem_free(r);
}

FormRecord *Form_recordOf(Edr_Node *node)
{
    if (!isElement(node, HtmlEl_Form) || Edr_Node_subtype(node) != Edr_Subtype_word)
        return nullptr;
    return static_cast<FormRecord *>(Edr_Node_group(node)->subtypeValue);
}

int Form_setAttributes(FormRecord *r, const Url *action, uint32_t method, uint32_t encoding,
                       const char16_t *acceptCharset, const char16_t *second, uint32_t flag)
{
    if (!r)
        return Res_formNoRecord;
    if (action) {
        Url *copy = Url_copy(action);
        if (!copy)
            return Res_noMemory;
        Url_free(r->action);
        r->action = copy;
    }
    const char16_t *texts[2] = {acceptCharset, second};
    char16_t **slots[2] = {&r->acceptCharset, &r->second};
    for (int i = 0; i < 2; i++) {
        if (!texts[i])
            continue;
        char16_t *copy = Ustr_dup(texts[i]);
        if (!copy)
            return Res_noMemory;
        Mem_free(*slots[i]);
        *slots[i] = copy;
    }
    if (method)
        r->method = method;
    if (encoding)
        r->encoding = encoding;
    if (flag)
        r->flag = flag;
    return Res_ok;
}

int Form_setNodeAttributes(Edr_Doc *doc, Edr_Node *formNode, const Url *action, uint32_t method,
                           uint32_t encoding, const char16_t *acceptCharset, const char16_t *second,
                           uint32_t flag)
{
    int err = Edr_Doc_writeLock(doc);
    if (err)
        return err;
    err = Form_setAttributes(Form_recordOf(formNode), action, method, encoding, acceptCharset,
                             second, flag);
    Edr_Doc_writeUnlock(doc);
    return err;
}

int Form_getAttributes(Edr_Doc *doc, Edr_Node *formNode, Url **action, uint32_t *method,
                       uint32_t *encoding, char16_t **acceptCharset, char16_t **second)
{
    if (action)
        *action = nullptr;
    if (method)
        *method = 0;
    if (encoding)
        *encoding = 0;
    if (acceptCharset)
        *acceptCharset = nullptr;
    if (second)
        *second = nullptr;
    Edr_Doc_readLock(doc);
    FormRecord *r = Form_recordOf(formNode);
    int err = r ? int(Res_ok) : int(Res_formNoRecordQuery);
    if (r) {
        if (method)
            *method = r->method;
        if (encoding)
            *encoding = r->encoding;
        if (action && r->action && !(*action = Url_copy(r->action)))
            err = Res_noMemory;
        if (acceptCharset && r->acceptCharset && !(*acceptCharset = Ustr_dup(r->acceptCharset)))
            err = Res_noMemory;
        if (second && r->second && !(*second = Ustr_dup(r->second)))
            err = Res_noMemory;
    }
    Edr_Doc_readUnlock(doc);
    return err;
}

int Form_getTarget(Edr_Doc *doc, Edr_Node *formNode, char16_t **out)
{
    *out = nullptr;
    Edr_Doc_readLock(doc);
    FormRecord *r = Form_recordOf(formNode);
    int err = r ? int(Res_ok) : int(Res_formNoRecord);
    if (r && r->target && !(*out = Ustr_dup(r->target)))
        err = Res_noMemory;
    Edr_Doc_readUnlock(doc);
    return err;
}

int Form_setTarget(Edr_Doc *doc, Edr_Node *formNode, const char16_t *target, size_t length)
{
    char16_t *copy = target ? Ustr_dupN(target, length) : nullptr;
    if (target && !copy)
        return Res_noMemory;
    int err = Edr_Doc_writeLock(doc);
    if (err) {
        Mem_free(copy);
        return err;
    }
    FormRecord *r = Form_recordOf(formNode);
    if (r) {
        Mem_free(r->target);
        r->target = copy;
    } else {
        Mem_free(copy);
        err = Res_formNoRecord;
    }
    Edr_Doc_writeUnlock(doc);
    return err;
}

uint32_t Form_getFlag(Edr_Doc *doc, Edr_Node *formNode)
{
    Edr_Doc_readLock(doc);
    FormRecord *r = Form_recordOf(formNode);
    uint32_t flag = r ? r->flag : 1;
    Edr_Doc_readUnlock(doc);
    return flag;
}

namespace {

// Finishes a record: the array shrunk to its count, the encoding of a GET
// form, the charset and its converter.
void finishRecord(FormRecord *r, uint32_t docCharset)
{
    if (r->count < r->capacity) {
        if (!r->count) {
            Mem_free(r->controls);
            r->controls = nullptr;
            r->capacity = 0;
        } else if (auto *c = static_cast<Edr_Node **>(
                       Mem_realloc(r->controls, r->count * sizeof(Edr_Node *)))) {
            r->controls = c;
            r->capacity = r->count;
        }
    }
    if (r->method == Form_methodGet)
        r->encoding = Form_encUrl;
    r->charset = docCharset;
    if (r->encoding != Form_encText && r->acceptCharset) {
        // Entries are separated by white space or commas; only UTF-8 counts.
        const char16_t *s = r->acceptCharset;
        while (*s) {
            while (*s == u' ' || *s == u',' || *s == u'\t' || *s == u'\n' || *s == u'\r' ||
                   *s == u'\f')
                s++;
            const char16_t *start = s;
            while (*s && *s != u' ' && *s != u',' && *s != u'\t' && *s != u'\n' && *s != u'\r' &&
                   *s != u'\f')
                s++;
            if (s == start)
                continue;
            char16_t entry[64];
            size_t n = size_t(s - start) < 63 ? size_t(s - start) : 63;
            memcpy(entry, start, n * sizeof(char16_t));
            entry[n] = 0;
            uint32_t code = 0;
            if (size_t(s - start) < 63 && Charset_fromName(entry, &code) == Res_ok &&
                code == CharsetCode_utf8) {
                r->charset = CharsetCode_utf8;
                break;
            }
        }
    }
    r->converter = Charset_findConverter(CharsetCode_utf16, r->charset, nullptr, nullptr);
    if (!r->converter) {
        r->charset = CharsetCode_utf8;
        r->converter = Charset_utf16ToUtf8;
    }
}

} // namespace

int Form_finish(Edr_Doc *doc, int clearCurrent)
{
    FormRecord *r = static_cast<FormRecord *>(doc->currentForm);
    if (r)
        finishRecord(r, doc->charset);
    if (clearCurrent)
        doc->currentForm = nullptr;
    return Res_ok;
}

int Form_finishCurrent(Edr_Doc *doc)
{
    int err = Edr_Doc_writeLock(doc);
    if (err)
        return err;
    err = Form_finish(doc, 1);
    Edr_Doc_writeUnlock(doc);
    return err;
}

// ------------------------------------------------------------ controls

int Form_attachHandler(FormWidget *w, FormEventHandler handler)
{
    if (!w)
        return Res_formNoWidget;
    w->handler = reinterpret_cast<void *>(handler);
    return Res_ok;
}

int Form_addControl(Edr_Doc *doc, Edr_Node *formNode, Edr_Node *control)
{
    int err = Edr_Doc_writeLock(doc);
    if (err)
        return err;
    FormWidget *w = widgetOf(control);
    FormRecord *r =
        formNode ? Form_recordOf(formNode) : static_cast<FormRecord *>(doc->currentForm);
    if (w && r && !formAncestor(control)) {
        uint32_t slot = r->count;
        for (uint32_t i = 0; i < r->count; i++)
            if (!r->controls[i]) {
                slot = i;
                break;
            }
        if (slot == r->count && r->count == r->capacity) {
            uint32_t cap = r->capacity ? r->capacity * 2 : 10;
            auto *c = static_cast<Edr_Node **>(Mem_realloc(r->controls, cap * sizeof(Edr_Node *)));
            if (!c)
                err = Res_noMemory;
            else {
                r->controls = c;
                r->capacity = cap;
            }
        }
        if (!err) {
            r->controls[slot] = control;
            if (slot == r->count)
                r->count++;
            w->formNode = r->formNode;
        }
    }
    if (w && !err) {
        switch (w->kind) {
        case FormKind_buttonReset:
        case FormKind_reset: (void)Form_attachHandler(w, Form_onResetActivate); break;
        case FormKind_buttonPlain:
        case FormKind_buttonImage:
        case FormKind_submit:
        case FormKind_image: (void)Form_attachHandler(w, Form_onSubmitActivate); break;
        case FormKind_text:
        case FormKind_password:
        case FormKind_textArea: (void)Form_attachHandler(w, Form_onTextActivate); break;
        case FormKind_radio: (void)Form_attachHandler(w, Form_onRadioChange); break;
        default: break;
        }
    }
    uint32_t kind = w ? w->kind : 0;
    Edr_Doc_writeUnlock(doc);
    if (!err && kind == FormKind_radio)
        err = Form_radioRule(doc, control);
    return err;
}

namespace {

// Clears the control's slot in its form's array and its form link; call
// with the write lock held.
void removeLocked(Edr_Node *control)
{
    FormWidget *w = widgetOf(control);
    if (!w || !w->formNode)
        return;
    FormRecord *r =
        ((w->formNode)->flags & Edr_Node_deletedBit) ? nullptr : Form_recordOf(w->formNode);
    for (uint32_t i = 0; r && i < r->count; i++)
        if (r->controls[i] == control)
            r->controls[i] = nullptr;
    w->formNode = nullptr;
}

} // namespace

int Form_removeControl(Edr_Doc *doc, Edr_Node *control)
{
    int err = Edr_Doc_writeLock(doc);
    if (err)
        return err;
    removeLocked(control);
    Edr_Doc_writeUnlock(doc);
    return Res_ok;
}

int Form_ofControl(Edr_Doc *doc, Edr_Node *control, Edr_Node **form)
{
    *form = nullptr;
    Edr_Doc_readLock(doc);
    Edr_Node *f = formOfLocked(control);
    int err = f ? Edr_Node_addRefLocked(doc, f) : int(Res_ok);
    if (f && !err)
        *form = f;
    Edr_Doc_readUnlock(doc);
    return err;
}

int Form_collectControls(Edr_Doc *doc, FormRecord *r, uint32_t kind, const char16_t *name,
                         FormNodeList *out)
{
    *out = FormNodeList{};
    if (!r)
        return Res_formNoRecord;
    Edr_Doc_readLock(doc);
    int err = collectUnder(doc, r->formNode, kind, name, out);
    for (uint32_t i = 0; !err && i < r->count; i++) {
        Edr_Node *c = r->controls[i];
        if (c && !listHas(out, c) && passes(c, kind, name))
            err = listAppend(doc, out, c);
    }
    Edr_Doc_readUnlock(doc);
    if (err)
        Form_nodeListFree(doc, out);
    return err;
}

// ---------------------------------------------------------- submission

int Form_submit(Edr_Doc *doc, Edr_Node *formNode, const FormSubmitter *submitter)
{
    EngineContext *ctx = Edr_Doc_queryApp(doc);
    int err = Edr_Doc_writeLock(doc);
    if (err)
        return err;
    FormRecord *r = Form_recordOf(formNode);
    if (r && (r == doc->currentForm || !r->converter))
        finishRecord(r, doc->charset);
    uint32_t docCharset = doc->charset;
    Edr_Doc_writeUnlock(doc);
    if (!r)
        return Res_formNoRecord;
    FormNodeList controls{};
    if ((err = Form_collectControls(doc, r, 0, nullptr, &controls)))
        return err;
    // The action resolved against the document's base.
    Url *url = nullptr;
    Url *base = nullptr;
    err = Edr_Doc_getBaseUrl(doc, &base);
    if (err == 1 && !r->action)
        err = Res_noMemory;
    if (!err || r->action) {
        err = Res_ok;
        url = r->action ? (base ? Url_resolve(base, r->action) : Url_copy(r->action)) : base;
        if (url == base)
            base = nullptr;
        if (!url)
            err = Res_noMemory;
    }
    Url_free(base);
    uint32_t encoding = r->method == Form_methodPost ? r->encoding : Form_encUrl;
    Fields fields{};
    for (uint32_t i = 0; !err && i < controls.count; i++) {
        Edr_Node *c = controls.nodes[i];
        FormWidget *w = widgetOf(c);
        if (!w)
            continue;
        int include = submitter && submitter->control == c;
        if (!include && (err = Form_ctlIsSuccessful(w, &include)))
            break;
        if (include)
            err = controlFields(
                r, ctx, w, submitter && submitter->control == c ? submitter : nullptr, &fields);
    }
    Form_nodeListFree(doc, &controls);
    char boundary[11] = {0};
    if (!err && r->method == Form_methodPost && encoding == Form_encMultipart)
        makeBoundary(&fields, boundary);
    Bytes body{};
    UrlNameValue *files = nullptr;
    if (!err)
        err = formatBody(r, encoding, &fields, boundary, &body,
                         encoding == Form_encMultipart ? &files : nullptr);
    fieldsFree(&fields);
    char *header = nullptr;
    if (!err && r->method == Form_methodPost &&
        !(header = makeHeader(r, docCharset, encoding, boundary)))
        err = Res_noMemory;
    if (!err && r->method != Form_methodPost) {
        // A GET sends its fields as the query, replacing any query.
        if (body.length) {
            auto *q =
                static_cast<char16_t *>(Mem_malloc((size_t(body.length) + 1) * sizeof(char16_t)));
            if (!q)
                err = Res_noMemory;
            else {
                for (uint32_t i = 0; i < body.length; i++)
                    q[i] = body.data[i];
                q[body.length] = 0;
                if (!Url_setPart(url, UrlPart_query, q))
                    err = Res_noMemory;
                Mem_free(q);
            }
        }
        Mem_free(body.data);
        body = Bytes{};
    }
    if (err) {
        Mem_free(header);
        Mem_free(body.data);
        freeNameValues(files);
        Url_free(url);
        return err;
    }
    return sendBody(ctx, doc, r, url, header, &body, files);
}

int Form_submitNode(Edr_Doc *doc, Edr_Node *formNode, const FormSubmitter *submitter)
{
    if (!formNode)
        return Res_formNoRecord;
    Edr_Doc_readLock(doc);
    bool dead = ((formNode)->flags & Edr_Node_deletedBit) != 0;
    Edr_Doc_readUnlock(doc);
    return dead ? int(Res_nodeDeleted) : Form_submit(doc, formNode, submitter);
}

int Form_submitWith(Edr_Doc *doc, Edr_Node *formNode, Edr_Node *control)
{
    FormSubmitter s{control, Form_eventActivate, nullptr};
    return Form_submitNode(doc, formNode, &s);
}

// ---------------------------------------------------------------- reset

int Form_reset(Edr_Doc *doc, Edr_Node *formNode)
{
    Edr_Doc_readLock(doc);
    FormRecord *r = Form_recordOf(formNode);
    Edr_Doc_readUnlock(doc);
    if (!r)
        return Res_formNoRecord;
    FormNodeList controls{};
    int err = Form_collectControls(doc, r, 0, nullptr, &controls);
    for (uint32_t i = 0; !err && i < controls.count; i++) {
        FormWidget *w = widgetOf(controls.nodes[i]);
        if (!w)
            continue;
        switch (w->kind) {
        case FormKind_checkbox:
        case FormKind_radio: err = Form_ctlSetChecked(w, int(w->defaultOn)); break;
        case FormKind_select: {
            for (PtrCell *c = w->children ? w->children->head : nullptr; c && !err; c = c->next) {
                auto *o = static_cast<FormWidget *>(c->value);
                if (o->kind == FormKind_option)
                    err = Form_ctlSetChecked(o, int(o->defaultOn));
            }
            if (!err)
                err = Form_listShowSelected(w);
            break;
        }
        case FormKind_text:
        case FormKind_password:
        case FormKind_textArea:
        case FormKind_textArea2: {
            char16_t *text = Ustr_dup(w->defaultValue ? w->defaultValue : u"");
            err = text ? Form_textSetText(w, text) : int(Res_noMemory);
            break;
        }
        default: break;
        }
    }
    Form_nodeListFree(doc, &controls);
    return err;
}

int Form_radioRule(Edr_Doc *doc, Edr_Node *control)
{
    FormWidget *w = widgetOf(control);
    int on = 0;
    if (!w || w->kind != FormKind_radio || Form_ctlIsChecked(w, &on) || !on || !w->name)
        return Res_ok;
    Edr_Node *form = nullptr;
    int err = Form_ofControl(doc, control, &form);
    if (err || !form)
        return err;
    Edr_Doc_readLock(doc);
    FormRecord *r = Form_recordOf(form);
    Edr_Doc_readUnlock(doc);
    FormNodeList radios{};
    if (r)
        err = Form_collectControls(doc, r, FormKind_radio, w->name, &radios);
    for (uint32_t i = 0; !err && i < radios.count; i++)
        if (radios.nodes[i] != control)
            err = Form_ctlSetChecked(widgetOf(radios.nodes[i]), 0);
    Form_nodeListFree(doc, &radios);
    Edr_Node_release(doc, form);
    return err;
}

// ------------------------------------------------------- control events

int Form_controlEvent(Edr_Doc *doc, const FormControlEvent *event, int *handled)
{
    *handled = 0;
    FormWidget *w = event ? widgetOf(event->control) : nullptr;
    auto handler = w ? reinterpret_cast<FormEventHandler>(w->handler) : nullptr;
    return handler ? handler(doc, event, handled) : int(Res_ok);
}

int Form_onSubmitActivate(Edr_Doc *doc, const FormControlEvent *event, int *handled)
{
    *handled = 0;
    if (event->event != Form_eventActivate)
        return Res_ok;
    Edr_Node *form = nullptr;
    int err = Form_ofControl(doc, event->control, &form);
    if (err || !form)
        return err;
    *handled = 1;
    err = Form_submitNode(doc, form, event);
    Edr_Node_release(doc, form);
    return err;
}

int Form_onResetActivate(Edr_Doc *doc, const FormControlEvent *event, int *handled)
{
    *handled = 0;
    if (event->event != Form_eventActivate)
        return Res_ok;
    Edr_Node *form = nullptr;
    int err = Form_ofControl(doc, event->control, &form);
    if (err || !form)
        return err;
    *handled = 1;
    err = Form_reset(doc, form);
    Edr_Node_release(doc, form);
    return err;
}

int Form_onRadioChange(Edr_Doc *doc, const FormControlEvent *event, int *handled)
{
    *handled = 0;
    if (event->event != Form_eventChange)
        return Res_ok;
    *handled = 1;
    return Form_radioRule(doc, event->control);
}

int Form_onTextActivate(Edr_Doc *doc, const FormControlEvent *event, int *handled)
{
    *handled = 0;
    if (event->event != Form_eventActivate)
        return Res_ok;
    Edr_Node *form = nullptr;
    int err = Form_ofControl(doc, event->control, &form);
    if (err || !form)
        return err;
    *handled = 1;
    Edr_Doc_readLock(doc);
    FormRecord *r = Form_recordOf(form);
    Edr_Doc_readUnlock(doc);
    FormNodeList controls{};
    if (r)
        err = Form_collectControls(doc, r, 0, nullptr, &controls);
    uint32_t texts = 0, submits = 0;
    Edr_Node *last = nullptr;
    uint32_t lastKind = 0;
    for (uint32_t i = 0; i < controls.count; i++) {
        const FormWidget *cw = widgetOf(controls.nodes[i]);
        if (!cw)
            continue;
        uint32_t k = cw->kind;
        if (k == FormKind_text || k == FormKind_password || k == FormKind_textArea)
            texts++;
        if (k == FormKind_buttonPlain || k == FormKind_buttonImage || k == FormKind_submit ||
            k == FormKind_image) {
            submits++;
            last = controls.nodes[i];
            lastKind = k;
        }
    }
    if (!err && r) {
        if (submits == 1) {
            if (lastKind == FormKind_image || lastKind == FormKind_buttonImage) {
                err = Form_submitNode(doc, form, nullptr);
            } else {
                // The one submit button is pressed as by the pointer.
                static const uint32_t codes[3] = {Edr_Event_mouseOver, Edr_Event_mouseDown,
                                                  Edr_Event_mouseUp};
                for (uint32_t code : codes) {
                    Edr_NodeEvent e{};
                    e.action = Edr_Action_user;
                    e.type = code;
                    e.more[0] = e.more[1] = 0x7FFFFFFF;
                    if ((err = Edr_Doc_postNodeEvent(doc, last, &e)))
                        break;
                }
            }
        } else if (texts <= 1) {
            err = Form_submitNode(doc, form, nullptr);
        }
    }
    Form_nodeListFree(doc, &controls);
    Edr_Node_release(doc, form);
    return err;
}

// ------------------------------------------ the document model's entries

int Form_registerControl(Edr_Node *group)
{
    return Form_optionRegister(group);
}

int Form_unregisterControl(Edr_Doc *doc, Edr_Node *group)
{
    // Only widgets that go with their nodes are read: a widget its maker
    // keeps may be gone before the node.
    FormWidget *w = widgetOf(group);
    bool owned = false;
    for (uint32_t i = 0; w && i < doc->ownedCount && !owned; i++)
        owned = doc->ownedControls[i] == w;
    if (!owned)
        return Res_ok;
    removeLocked(group);
    return Form_optionUnregister(doc, group);
}

int Form_adoptControl(Edr_Doc *doc, FormWidget *w)
{
    if (!doc || !w)
        return Res_formNoWidget;
    if (doc->ownedCount == doc->ownedCapacity) {
        uint32_t cap = doc->ownedCapacity ? doc->ownedCapacity * 2 : 16;
        auto *a = static_cast<void **>(Mem_realloc(doc->ownedControls, cap * sizeof(void *)));
        if (!a)
            return Res_noMemory;
        doc->ownedControls = a;
        doc->ownedCapacity = cap;
    }
    doc->ownedControls[doc->ownedCount++] = w;
    return Res_ok;
}

namespace {

// Takes the widget out of the document's owned controls; false when it is
// not there. Only the pointer is compared: a widget that its maker keeps
// may be gone already.
bool disown(Edr_Doc *doc, const void *w)
{
    for (uint32_t i = 0; i < doc->ownedCount; i++) {
        if (doc->ownedControls[i] == w) {
            doc->ownedControls[i] = doc->ownedControls[--doc->ownedCount];
            if (!doc->ownedCount) {
                Mem_free(doc->ownedControls);
                doc->ownedControls = nullptr;
                doc->ownedCapacity = 0;
            }
            return true;
        }
    }
    return false;
}

// The widget's parts let go of their nodes (still alive while the tree is
// torn down) and of the document's ownership: they go with the widget.
void releaseParts(Edr_Doc *doc, FormWidget *w)
{
    for (PtrCell *c = w->children ? w->children->head : nullptr; c; c = c->next) {
        auto *part = static_cast<FormWidget *>(c->value);
        (void)disown(doc, part);
        if (part->node && Edr_Node_type(part->node) == Edr_NodeType_group &&
            Edr_Node_group(part->node)->subtypeValue == part)
            Edr_Node_group(part->node)->subtypeValue = nullptr;
        releaseParts(doc, part);
        part->node = nullptr;
        part->flags &= ~uint32_t(FormWidget_attached);
    }
}

} // namespace

void Form_releaseControl(Edr_Doc *doc, void *control)
{
    if (!doc || !control || !disown(doc, control))
        return;
    auto *w = static_cast<FormWidget *>(control);
    releaseParts(doc, w);
    w->node = nullptr;
    w->flags &= ~uint32_t(FormWidget_attached);
    w->formNode = nullptr;
    Form_Widget_destroy(w);
}

void Form_freeValue(void *record)
{
    Form_recordFree(static_cast<FormRecord *>(record));
}

int Form_setValue(Edr_Node *group, void *value)
{
    // A form-link node: its payload is the form node.
    Edr_Node_group(group)->subtypeValue = value;
    return Res_ok;
}

int Form_findOwner(Edr_Doc *doc, Edr_Node *node, Edr_Node **form)
{
    *form = nullptr;
    Edr_Node *f = formOfLocked(node);
    int err = f ? Edr_Node_addRefLocked(doc, f) : int(Res_ok);
    if (f && !err)
        *form = f;
    return err;
}
