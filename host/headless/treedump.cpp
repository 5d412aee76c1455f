// A readable, indented rendering of a document tree, for the command-line
// tools and the tests.
//
// One line per node, two spaces of indent per level: groups with their
// element code, class ids and link (their own or the one given to them), text nodes with their text
// in quotes (escaped, whole), image nodes with their picture's URL, form controls with their kind,
// name, value and state, other nodes by their type. It reads the tree under the document's read
// lock, so it runs on an engine task.
#include "host/headless/headless.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/mem/mem.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "html/docweb.h"
#include "html/forms/controls.h"
#include "platform/url/url.h"

namespace {

struct Out {
    char *text;
    size_t len;
    size_t cap;
    int failed;
    const char *base; // the document's folder URL: image URLs are shown from it
};

void add(Out *o, const char *format, ...)
{
    if (o->failed)
        return;
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int n = vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n < 0) {
        va_end(args);
        o->failed = 1;
        return;
    }
    if (o->len + size_t(n) + 1 > o->cap) {
        size_t cap = (o->cap ? o->cap * 2 : 1024) + size_t(n);
        char *grown = static_cast<char *>(realloc(o->text, cap));
        if (!grown) {
            va_end(args);
            o->failed = 1;
            return;
        }
        o->text = grown;
        o->cap = cap;
    }
    vsnprintf(o->text + o->len, o->cap - o->len, format, args);
    o->len += size_t(n);
    va_end(args);
}

// One UTF-16 unit sequence as escaped UTF-8.
void addText(Out *o, const char16_t *chars, uint32_t length)
{
    uint32_t shown = length;
    add(o, "\"");
    for (uint32_t i = 0; i < shown; i++) {
        uint32_t c = chars[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < shown && chars[i + 1] >= 0xDC00 &&
            chars[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (chars[++i] - 0xDC00);
        if (c == '"' || c == '\\')
            add(o, "\\%c", char(c));
        else if (c == '\n')
            add(o, "\\n");
        else if (c == '\t')
            add(o, "\\t");
        else if (c < 0x20 || c == 0x7F || (c >= 0xD800 && c < 0xE000))
            add(o, "\\u%04x", c);
        else if (c < 0x80)
            add(o, "%c", char(c));
        else if (c < 0x800)
            add(o, "%c%c", char(0xC0 | (c >> 6)), char(0x80 | (c & 0x3F)));
        else if (c < 0x10000)
            add(o, "%c%c%c", char(0xE0 | (c >> 12)), char(0x80 | ((c >> 6) & 0x3F)),
                char(0x80 | (c & 0x3F)));
        else
            add(o, "%c%c%c%c", char(0xF0 | (c >> 18)), char(0x80 | ((c >> 12) & 0x3F)),
                char(0x80 | ((c >> 6) & 0x3F)), char(0x80 | (c & 0x3F)));
    }
    add(o, "\"");
}

// A form control group: " control KIND", its name and value when it has
// them, and whether it is checked or selected.
void addControl(Out *o, Edr_Node *node, const Edr_Group *g)
{
    if (Edr_Node_subtype(node) != Edr_Subtype_formControl || !g->subtypeValue)
        return;
    FormWidget *w = static_cast<FormWidget *>(g->subtypeValue);
    uint32_t kind = 0;
    (void)Form_ctlGetKind(w, &kind);
    if (!kind)
        return; // an inner part of a control
    add(o, " control %u", kind);
    char16_t *text = nullptr;
    if (Form_ctlGetName(w, &text) == 0 && text && text[0]) {
        add(o, " name ");
        addText(o, text, uint32_t(Ustr_len(text)));
    }
    Mem_free(text);
    text = nullptr;
    if (Form_ctlGetValue(w, &text) == 0 && text) {
        add(o, " value ");
        addText(o, text, uint32_t(Ustr_len(text)));
    }
    Mem_free(text);
    int on = 0;
    if (kind == FormKind_option) {
        if (Form_ctlIsSelected(w, &on) == 0 && on)
            add(o, " selected");
    } else if (Form_ctlIsChecked(w, &on) == 0 && on) {
        add(o, " checked");
    }
}

const char *typeName(uint32_t type)
{
    switch (type) {
    case Edr_NodeType_path: return "path";
    case Edr_NodeType_picture: return "picture";
    case Edr_NodeType_subdoc: return "subdocument";
    case Edr_NodeType_data: return "data";
    case Edr_NodeType_image: return "image";
    case Edr_NodeType_blob: return "blob";
    case Edr_NodeType_drawList: return "drawing";
    case Edr_NodeType_grid: return "grid";
    default: return "node";
    }
}

void addNode(Out *o, Edr_Node *node, int depth, int children = 1)
{
    for (int i = 0; i < depth; i++)
        add(o, "  ");
    uint32_t type = Edr_Node_type(node);
    if (type == Edr_NodeType_group) {
        Edr_Group *g = Edr_Node_group(node);
        add(o, "group %u", g ? g->element : 0);
        if (g && g->ids) {
            add(o, " ids");
            for (const uint32_t *id = g->ids; *id; id++)
                add(o, " %u", *id);
        }
        if (g && Edr_Node_subtype(node) == Edr_Subtype_url && g->subtypeValue) {
            char *url = Url_toUtf8(static_cast<const Url *>(g->subtypeValue), UrlPart_all);
            add(o, " link %s", url ? url : "?");
            Mem_free(url);
        } else if (g && g->ext && g->ext->url) {
            // A link target given to the group (an anchor, an image map's
            // area).
            Url *unpacked = Url_unpack(g->ext->url);
            char *url = unpacked ? Url_toUtf8(unpacked, UrlPart_all) : nullptr;
            add(o, " link %s", url ? url : "?");
            Mem_free(url);
            Url_free(unpacked);
        }
        if (g)
            addControl(o, node, g);
        // The group's own text (an image's alternative text).
        if (g && g->ext && g->ext->text && g->ext->text[0]) {
            add(o, " text ");
            addText(o, g->ext->text, uint32_t(Ustr_len(g->ext->text)));
        }
        add(o, "\n");
        for (Edr_Node *c = children ? Edr_Node_firstChild(node) : nullptr; c;
             c = Edr_Node_nextSibling(c))
            addNode(o, c, depth + 1);
        return;
    }
    if (type == Edr_NodeType_text) {
        Edr_TextNode *t = Edr_Node_textPayload(node);
        add(o, "text ");
        if (t)
            addText(o, t->chars, t->length);
        add(o, "\n");
        return;
    }
    add(o, "%s", typeName(type));
    if (type == Edr_NodeType_image) {
        const Edr_ImageNode *im = Edr_Node_imagePayload(node);
        const Url *url = im ? im->imageUrl : nullptr;
        char *text = url ? Url_toUtf8(url, UrlPart_all) : nullptr;
        size_t skip =
            o->base && text && !strncmp(text, o->base, strlen(o->base)) ? strlen(o->base) : 0;
        if (text && text[skip])
            add(o, " %s", text + skip);
        Mem_free(text);
    }
    add(o, "\n");
}

} // namespace

char *Headless_dumpTree(Edr_Doc *doc)
{
    return Headless_dumpBranch(doc, doc ? Edr_Doc_root(doc) : nullptr, 0, 1);
}

char *Headless_dumpBranch(Edr_Doc *doc, Edr_Node *node, int depth, int children)
{
    Out o{};
    if (!doc) {
        add(&o, "(no document)\n");
        return o.text;
    }
    Edr_Doc_readLock(doc);
    char *base = doc->url ? Url_toUtf8(doc->url, UrlPart_all) : nullptr;
    if (char *slash = base ? strrchr(base, '/') : nullptr) {
        slash[1] = 0;
        o.base = base;
    }
    if (node)
        addNode(&o, node, depth, children);
    else
        add(&o, "(empty)\n");
    Edr_Doc_readUnlock(doc);
    Mem_free(base);
    if (o.failed) {
        free(o.text);
        return nullptr;
    }
    return o.text;
}
