// Embedded objects: the tree of plug-in objects a page's object, applet and
// embed elements open, and the embedding of those the engine can show.
#include "html/plugin.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/prop.h"
#include "core/style/propids.h"
#include "core/style/stylerule.h"
#include "core/task/task.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "html/docweb.h"
#include "html/parser.h"
#include "platform/api/request.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"

struct PluginState {
    PluginObject *root;    // the outermost open object, or null
    PluginObject *current; // the innermost open object, or null
};

namespace {

// The value of the display property that an embedded object takes.
constexpr uint16_t kDisplayEmbedded = 175;
// The default width and height of a movie: about two inches.
constexpr int32_t kMovieSize = 130389;
constexpr uint32_t kUnitInches = 2;
constexpr int32_t kOnePixel = 682;

char16_t fold(char16_t c)
{
    return c >= 'A' && c <= 'Z' ? char16_t(c + 32) : c;
}

bool equalsWord(const char16_t *text, size_t n, const char *word)
{
    size_t i = 0;
    for (; i < n && word[i]; i++)
        if (fold(text[i]) != char16_t(word[i]))
            return false;
    return i == n && !word[i];
}

void freeOne(PluginObject *o)
{
    for (PluginParam *q = o->params; q;) {
        PluginParam *n = q->next;
        Mem_free(q->value);
        Mem_free(q);
        q = n;
    }
    if (o->node)
        Edr_Node_release(o->doc, o->node);
    Url_free(o->classId);
    Url_free(o->data);
    Mem_free(o);
}

// Frees outermost objects and their trees (without recursion: the nesting
// comes from the page).
void freeObjects(PluginObject *o)
{
    while (o) {
        if (PluginObject *child = o->firstChild) {
            o->firstChild = nullptr;
            o = child;
            continue;
        }
        PluginObject *next = o->next ? o->next : o->parent;
        freeOne(o);
        o = next;
    }
}

int32_t sizeValue(int32_t value, uint32_t unit)
{
    return unit == kUnitInches && value >= 512 && value < kOnePixel ? kOnePixel : value;
}

bool isImageType(uint32_t t)
{
    return t == PluginType_bmp || t == PluginType_gif || t == PluginType_jpeg ||
           t == PluginType_png;
}

bool isDocumentType(uint32_t t)
{
    return t == PluginType_word || t == PluginType_html || t == PluginType_pdf ||
           t == PluginType_text;
}

// A movie without a data URL plays its "src" params, else its "movie"
// params, joined by "&".
int movieUrl(PluginObject *o, Url **out)
{
    *out = nullptr;
    static const uint32_t kinds[2] = {PluginParam_src, PluginParam_movie};
    for (uint32_t kind : kinds) {
        size_t total = 0;
        for (PluginParam *q = o->params; q; q = q->next)
            if (q->kind == kind)
                total += Ustr_len(q->value) + 1;
        if (!total)
            continue;
        char16_t *text = static_cast<char16_t *>(Mem_malloc(total * sizeof(char16_t)));
        if (!text)
            return Res_noMemory;
        size_t n = 0;
        for (PluginParam *q = o->params; q; q = q->next) {
            if (q->kind != kind)
                continue;
            if (n)
                text[n++] = u'&';
            size_t m = Ustr_len(q->value);
            memcpy(text + n, q->value, m * sizeof(char16_t));
            n += m;
        }
        text[n] = 0;
        int err = Edr_Doc_resolveUrl(o->doc, text, out);
        Mem_free(text);
        return err;
    }
    return Res_ok;
}

// The element's own rule: its size and the display of an embedded object.
int styleElement(HtmlParser *p, PluginObject *o)
{
    StyleRule *rule = nullptr;
    int err = StyleRule_create(&rule);
    const struct {
        uint32_t id;
        int32_t value;
        uint32_t unit;
    } sizes[2] = {{PropId_width, o->width, o->widthUnit},
                  {PropId_height, o->height, o->heightUnit}};
    for (const auto &s : sizes) {
        if (err || !s.unit)
            continue;
        Prop v{};
        if (s.unit == kUnitInches)
            Prop_setLength(&v, s.id, s.value);
        else
            Prop_setWord(&v, s.id, uint16_t(s.unit), uint32_t(s.value));
        err = StyleRule_appendProp(rule, &v);
    }
    if (!err) {
        Prop v{};
        Prop_setType(&v, PropId_display, kDisplayEmbedded);
        err = StyleRule_appendProp(rule, &v);
    }
    uint32_t key = p->nextClass++;
    if (!err)
        err = Edr_Node_addId(o->doc, o->node, key);
    if (!err) {
        StyleRule_setWeight(rule, 10);
        if (!(err = StyleRule_addMatch10(rule, key)))
            err = Request_addItem(p->styles, &rule);
    }
    StyleRule_destroy(rule);
    return err;
}

// The text of the node's content, its runs joined by spaces and white
// space collapsed; null when there is none (or no memory).
char16_t *pluginFallbackText(Edr_Node *root)
{
    size_t total = 0;
    for (int pass = 0; pass < 2; pass++) {
        char16_t *text = nullptr;
        if (pass == 1) {
            if (!total)
                return nullptr;
            text = static_cast<char16_t *>(Mem_malloc((total + 1) * sizeof(char16_t)));
            if (!text)
                return nullptr;
        }
        size_t n = 0;
        Edr_Node *node = Edr_Node_firstChild(root);
        while (node) {
            if (Edr_Node_type(node) == Edr_NodeType_text) {
                const Edr_TextNode *t = Edr_Node_textPayload(node);
                if (t && t->length) {
                    if (text) {
                        text[n] = u' ';
                        memcpy(text + n + 1, t->chars, t->length * sizeof(char16_t));
                    }
                    n += size_t(t->length) + 1;
                }
            }
            Edr_Node *down = Edr_Node_firstChild(node);
            if (down) {
                node = down;
                continue;
            }
            while (node != root && !Edr_Node_nextSibling(node))
                node = Edr_Node_parent(node);
            node = node == root ? nullptr : Edr_Node_nextSibling(node);
        }
        if (!text) {
            total = n;
            continue;
        }
        char16_t *collapsed = Ustr_collapseSpace(text, n);
        Mem_free(text);
        return collapsed;
    }
    return nullptr;
}

// Embeds one object when the engine can show it: its fallback content
// goes, and an image or document frame (or a movie's image) takes its
// place. *embedded says whether it did.
int embedOne(EngineContext *ctx, HtmlParser *p, PluginObject *o, bool *embedded)
{
    *embedded = false;
    if (!o->node)
        return Res_ok;
    uint32_t type = Plugin_decideType(o);
    if (!isImageType(type) && !isDocumentType(type) && type != PluginType_movie)
        return Res_ok;
    if (o->ownContent)
        return Res_ok;
    int err = Res_ok;
    if (type == PluginType_movie && !o->data && (err = movieUrl(o, &o->data)))
        return err;
    if (!o->data)
        return Res_ok; // nothing to show: the fallback stays
    if (!o->widthUnit) {
        o->width = type == PluginType_movie ? kMovieSize : 0;
        o->widthUnit = type == PluginType_movie ? kUnitInches : 0;
    }
    if (!o->heightUnit) {
        o->height = type == PluginType_movie ? kMovieSize : 0;
        o->heightUnit = type == PluginType_movie ? kUnitInches : 0;
    }
    *embedded = true;
    if (isImageType(type)) {
        // A picture that cannot be had shows the fallback's text in its
        // place, as an img element shows its alternative text.
        const Edr_Group *g = Edr_Node_group(o->node);
        if (!g || !g->ext || !g->ext->text || !g->ext->text[0]) {
            char16_t *fallback = pluginFallbackText(o->node);
            if (fallback && fallback[0] && (err = Edr_Node_setText(o->doc, o->node, fallback))) {
                Mem_free(fallback);
                return err;
            }
            Mem_free(fallback);
        }
    }
    if ((err = Edr_Node_removeVisibleChildren(o->doc, o->node)) || (err = styleElement(p, o)))
        return err;
    if (type == PluginType_movie || isImageType(type)) {
        // A picture (or a movie's still) is the element's image, drawn at
        // the element's size or its own, as an img element's is.
        const int32_t placement[5] = {0x60, 0, 0, 0, 0};
        return Edr_Node_createImage(o->doc, o->node, Edr_Insert_lastChild, nullptr, o->data,
                                    placement, 0x21C);
    }
    int32_t w = o->widthUnit == kUnitInches ? -o->width : 0;
    int32_t h = o->heightUnit == kUnitInches ? -o->height : 0;
    return Html_createSubdocument(ctx, o->doc, 2, o->node, w, h, -1, -1, 1, o->data);
}

// Embeds the objects of a tree in document order; an embedded object's
// nested objects were its fallback and are left alone.
int embedTree(EngineContext *ctx, HtmlParser *p, PluginObject *root)
{
    for (PluginObject *o = root; o;) {
        bool embedded = false;
        int err = embedOne(ctx, p, o, &embedded);
        if (err == Res_noMemory || err == Res_stopRequested)
            return err;
        if (!embedded && o->firstChild) {
            o = o->firstChild;
            continue;
        }
        while (o != root && !o->next)
            o = o->parent;
        o = o == root ? nullptr : o->next;
    }
    return Res_ok;
}

} // namespace

int Plugin_begin(HtmlParser *p)
{
    if (!p->plugin) {
        p->plugin = static_cast<PluginState *>(Mem_calloc(1, sizeof(PluginState)));
        if (!p->plugin)
            return Res_noMemory;
    }
    PluginState *s = p->plugin;
    PluginObject *o = static_cast<PluginObject *>(Mem_calloc(1, sizeof(PluginObject)));
    if (!o)
        return Res_noMemory;
    o->doc = p->doc;
    o->parent = s->current;
    if (s->current) {
        if (s->current->lastChild)
            s->current->lastChild->next = o;
        else
            s->current->firstChild = o;
        s->current->lastChild = o;
    } else {
        // A new outermost object (an earlier one never closed is kept
        // beside it).
        o->next = s->root;
        s->root = o;
    }
    s->current = o;
    return Res_ok;
}

int Plugin_end(EngineContext *context, HtmlParser *p)
{
    PluginState *s = p->plugin;
    if (!s || !s->current)
        return Res_ok;
    PluginObject *o = s->current;
    s->current = o->parent;
    if (o->parent)
        return Res_ok;
    // The outermost object closed: its tree is embedded and freed.
    s->root = o->next;
    o->next = nullptr;
    int err = Task_checkStop(context);
    if (!err)
        err = embedTree(context, p, o);
    freeObjects(o);
    return err;
}

void Plugin_free(PluginState *state)
{
    if (!state)
        return;
    freeObjects(state->root);
    Mem_free(state);
}

PluginObject *Plugin_current(PluginState *state)
{
    return state ? state->current : nullptr;
}

int Plugin_setNode(PluginState *state, Edr_Doc *doc, Edr_Node *node)
{
    PluginObject *o = Plugin_current(state);
    if (!o || o->node)
        return Res_ok;
    o->doc = doc;
    return Edr_Node_acquire(doc, node, &o->node);
}

void Plugin_setData(PluginState *state, Url *url)
{
    PluginObject *o = Plugin_current(state);
    if (!o) {
        Url_free(url);
        return;
    }
    Url_free(o->data);
    o->data = url;
}

void Plugin_setClassId(PluginState *state, Url *url)
{
    PluginObject *o = Plugin_current(state);
    if (!o) {
        Url_free(url);
        return;
    }
    Url_free(o->classId);
    o->classId = url;
}

void Plugin_setMimeType(PluginState *state, const char16_t *text, size_t length)
{
    if (PluginObject *o = Plugin_current(state))
        o->mimeType = o->type = Mime_typeFromString(text, length);
}

void Plugin_setWidth(PluginState *state, int32_t value, uint32_t unit)
{
    if (PluginObject *o = Plugin_current(state)) {
        o->width = sizeValue(value, unit);
        o->widthUnit = unit;
    }
}

void Plugin_setHeight(PluginState *state, int32_t value, uint32_t unit)
{
    if (PluginObject *o = Plugin_current(state)) {
        o->height = sizeValue(value, unit);
        o->heightUnit = unit;
    }
}

void Plugin_setOwnContent(PluginState *state, uint32_t flag)
{
    if (PluginObject *o = Plugin_current(state))
        o->ownContent = flag;
}

int Plugin_addParam(PluginState *state, const char16_t *name, size_t nameLength,
                    const char16_t *value, size_t valueLength)
{
    PluginObject *o = Plugin_current(state);
    if (!o || !name)
        return Res_ok;
    static const char *const names[] = {"src", "movie", "loop", "wmode", "bgcolor", "flashvars"};
    uint32_t kind = PluginParam_other;
    for (uint32_t k = 0; k < 6 && kind == PluginParam_other; k++)
        if (equalsWord(name, nameLength, names[k]))
            kind = k;
    if (kind == PluginParam_other)
        return Res_ok;
    PluginParam *q = static_cast<PluginParam *>(Mem_calloc(1, sizeof(PluginParam)));
    if (q)
        q->value = Ustr_dupN(value ? value : u"", value ? valueLength : 0);
    if (!q || !q->value) {
        Mem_free(q);
        return Res_noMemory;
    }
    q->kind = kind;
    if (o->lastParam)
        o->lastParam->next = q;
    else
        o->params = q;
    o->lastParam = q;
    return Res_ok;
}

uint32_t Plugin_decideType(const PluginObject *o)
{
    uint32_t type = o->type;
    if ((type == PluginType_none || type == PluginType_unknown) && o->data && o->data->path)
        type = Mime_typeFromFileName(o->data->path, nullptr);
    // A class id is a number written in hexadecimal digits: letters of
    // either case name the same class.
    if ((type == PluginType_none || type == PluginType_unknown) && o->classId) {
        char16_t *text = Url_toString(o->classId, UrlPart_all);
        if (text && equalsWord(text, Ustr_len(text), "clsid:d27cdb6e-ae6d-11cf-96b8-444553540000"))
            type = PluginType_movie;
        Mem_free(text);
    }
    return type;
}
