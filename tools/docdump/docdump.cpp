// docdump: opens a document with the engine and prints what it became.
//
// It starts the engine on the headless host with the real application
// entry, opens the file named on the command line through the engine's
// command API (App_openDocument), gives the engine time slices until the
// document has loaded or failed, prints the host requests the engine sent
// on the way (up to the document's information) and the document tree in an indented form, and
// stops the engine. A file that does not exist or cannot be read ends with a clear message and exit
// status 1; a wrong command line with status 2. --heap MiB gives the engine a heap of that size
// instead of the default; an engine that runs out of it ends the run with status 1 and a message,
// never with the tree of a document cut short.
//
// A PDF is translated page by page, as the viewer shows it: the open
// translates its first page, and each later page is asked for in turn,
// replacing the one before, so that the tree is printed a page at a time
// with one page's nodes in the heap. Other documents print their whole
// tree; one that does not fit the heap whole is opened again in a new
// engine page by page (a plain text as pages of 66 lines) and printed the
// same way.
//
// With the PDF options (--object N, --stream N, --xref, --password TEXT)
// the file is opened with the PDF reader alone, without translating pages,
// and the objects, decoded stream data or cross-reference entries asked
// for are printed instead
// (tools/docdump/pdfdump.h).
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "document/edr/handler.h"
#include "document/import/plaintext.h"
#include "document/types/translate.h"
#include "core/result.h"
#include "document/manager/manager.h"
#include "host/headless/headless.h"
#include "tools/common/toolhost.h"
#include "app/app.h"
#include "platform/api/appqueue.h"
#include "platform/api/command.h"
#include "platform/api/engine.h"
#include "platform/api/hostevent.h"
#include "tools/docdump/cellsdump.h"
#include "tools/docdump/pdfdump.h"
#include "viewer/viewer.h"
#include "core/mem/mem.h"
#include "core/style/prop.h"
#include "core/style/proprecords.h"
#include "core/style/stylerule.h"
#include "core/text/strtable.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "fonts/glyphrun.h"
#include "graphics/image.h"
#include "html/css/csstables.h"
#include "html/css/csstext.h"
#include "html/parser.h"
#include "platform/api/request.h"

namespace {

using namespace toolhost;

struct State {
    int ready;
    int loaded;
    int failed;
    int dumped;
    int quiet;   // the PDF options print objects only
    int styles;  // --styles: the document's style rules follow the tree
    int runs;    // --runs: the text runs of page-description text follow the tree
    int text;    // --text: the body text alone, one line per paragraph
    int headers; // --headers: with --text, the header and footer stories too
    char *tree;
    std::string rules;
    std::string log; // the request lines, printed before the tree
    int checked;     // the count of pictures still loading was taken
    int loading;     // and this is it
};

const char *requestName(int32_t code)
{
    switch (code) {
    case 0x10004: return "application ready";
    case 0x10009: return "engine failed";
    case 0x1000A: return "document information";
    default: return "request";
    }
}

// The host's request hook: prints each request as it arrives, until the
// document's information (what the display does afterwards is not the
// load's).
void onRequest(void *arg, int32_t code, void *record)
{
    State *s = static_cast<State *>(arg);
    if (s->loaded)
        return;
    char line[64];
    snprintf(line, sizeof line, "request 0x%05x %s", unsigned(code), requestName(code));
    if (!s->quiet)
        s->log += line;
    if (code == Fv_requestDocInfo && record) {
        const FvDocInfo *info = static_cast<const FvDocInfo *>(record);
        if (!s->quiet) {
            s->log += std::string(": url ") + (info->urlText ? info->urlText : "-");
            s->log += std::string(", type ") + (info->mime ? info->mime : "-");
        }
        s->loaded = 1;
    }
    if (!s->quiet)
        s->log += "\n";
    if (code == Engine_requestReady)
        s->ready = 1;
    if (code == Engine_requestFailed)
        s->failed = 1;
}

// The text of a property value (its type's text form, or "-").
std::string propText(const Prop *value)
{
    if (value->type == PropType_record111 && value->payload) {
        const Prop18 *r = reinterpret_cast<const Prop18 *>(value->payload);
        char words[80];
        snprintf(words, sizeof words, "{%u %u %u %u %u}", unsigned(r->words[0]),
                 unsigned(r->words[1]), unsigned(r->words[2]), unsigned(r->words[3]),
                 unsigned(r->words[4]));
        return words;
    }
    char16_t *text = value->type >= PropType_firstKeyword || value->type == PropType_none
                         ? Css_keywordName(value->type)
                         : Prop_toText(value);
    if (!text)
        return "-";
    std::string out;
    for (const char16_t *c = text; *c; c++)
        out += *c < 128 ? char(*c) : '?';
    Mem_free(text);
    return out;
}

// The document's style rules, request by request: each rule's weight (with
// its request's origin amount), its match keys (element ids by name) with
// their values, and its properties (id, type, value).
void dumpStyles(Edr_Doc *doc, std::string *out)
{
    Request *request = nullptr;
    char line[160];
    if (Edr_Doc_getRequest(doc, nullptr, &request))
        return;
    while (request) {
        snprintf(line, sizeof line, "styles kind %u\n", unsigned(Request_getKind(request)));
        *out += line;
        Request_lock(request);
        for (StyleRule *rule = Request_firstItem(request); rule;
             rule = Request_nextItem(request, rule)) {
            snprintf(line, sizeof line, "  rule weight %u", unsigned(rule->weight));
            *out += line;
            for (StyleMatch *m = rule->matches; m; m = m->next) {
                // Keys by name: the element names, then the selector
                // texts that style sheets interned.
                std::string name;
                if (m->key >= 1 && m->key <= Html_elementCount)
                    name = Html_elementNames[m->key - 1];
                else if (m->key == 100000 || m->key == 100001)
                    name = m->key == 100000 ? ">" : "+";
                else if (doc->strings && m->key <= StrTable_maxId) {
                    char16_t *text = StrTable_getName(doc->strings, uint16_t(m->key));
                    for (const char16_t *c = text; c && *c; c++)
                        name += *c < 128 ? char(*c) : '?';
                    Mem_free(text);
                }
                snprintf(line, sizeof line, " key %u%s%s%s mask %u", unsigned(m->key),
                         name.empty() ? "" : " (", name.c_str(), name.empty() ? "" : ")",
                         unsigned(m->value));
                *out += line;
            }
            *out += "\n";
            for (StylePropItem *item = rule->firstProp; item; item = item->next) {
                snprintf(line, sizeof line, "    prop %u type %u ", unsigned(item->value.id),
                         unsigned(item->value.type));
                *out += line;
                *out += propText(&item->value);
                *out += "\n";
            }
            if (char16_t *css = Css_ruleToText(rule)) {
                if (css[0]) {
                    *out += "    css ";
                    for (const char16_t *c = css; *c; c++)
                        *out += *c < 128 ? char(*c) : '?';
                    *out += "\n";
                }
                Mem_free(css);
            }
        }
        Request_unlock(request);
        Request *next = nullptr;
        int err = Edr_Doc_getRequest(doc, request, &next);
        Request_release(request);
        request = err ? nullptr : next;
    }
}

void addUtf8(std::string *out, const char16_t *s, uint32_t n)
{
    for (uint32_t i = 0; i < n; i++) {
        uint32_t c = s[i];
        // A surrogate pair is one character beyond the 16-bit range.
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
            *out += char(0xF0 | (c >> 18));
            *out += char(0x80 | ((c >> 12) & 0x3F));
            *out += char(0x80 | ((c >> 6) & 0x3F));
            *out += char(0x80 | (c & 0x3F));
        } else if (c < 0x80) {
            *out += char(c);
        } else if (c < 0x800) {
            *out += char(0xC0 | (c >> 6));
            *out += char(0x80 | (c & 0x3F));
        } else {
            *out += char(0xE0 | (c >> 12));
            *out += char(0x80 | ((c >> 6) & 0x3F));
            *out += char(0x80 | (c & 0x3F));
        }
    }
}

// The runs of every blob node (glyph-run strings) in document order, one
// a line: "run X Y TEXT" with the pen position in points from the page's
// top-left corner and the text the run reads as.
void dumpRuns(Edr_Node *node, std::string *out)
{
    for (; node; node = Edr_Node_nextSibling(node)) {
        if (Edr_Node_type(node) == Edr_NodeType_group)
            dumpRuns(Edr_Node_firstChild(node), out);
        if (Edr_Node_type(node) != Edr_NodeType_blob)
            continue;
        const Edr_BlobNode *b = static_cast<const Edr_BlobNode *>(Edr_Node_payloadOrNull(node));
        if (!b)
            continue;
        GlyphRunReader r;
        GlyphRun_readerInit(&r, reinterpret_cast<const uint8_t *>(b + 1), b->length);
        while (GlyphRun_next(&r) == 0 && r.run) {
            char line[64];
            snprintf(line, sizeof line, "run %.2f %.2f ", r.x * 72.0 / 65536.0,
                     -r.y * 72.0 / 65536.0);
            *out += line;
            addUtf8(out, r.text, r.textLength);
            *out += "\n";
        }
        GlyphRun_readerFree(&r);
    }
}

// The runs page by page: a page-description document keeps each page in a
// group below the root, and a line "page N" goes before each page's runs.
// Runs that lie elsewhere are printed in one walk, without page lines.
void dumpPageRuns(Edr_Node *root, std::string *out)
{
    std::string all;
    dumpRuns(root, &all);
    if (all.empty() || !root || Edr_Node_type(root) != Edr_NodeType_group) {
        *out += all;
        return;
    }
    std::string pages, within;
    int n = 0;
    for (Edr_Node *page = Edr_Node_firstChild(root); page; page = Edr_Node_nextSibling(page)) {
        if (Edr_Node_type(page) != Edr_NodeType_group)
            continue;
        std::string runs;
        dumpRuns(Edr_Node_firstChild(page), &runs);
        within += runs;
        pages += "page " + std::to_string(++n) + "\n" + runs;
    }
    *out += within == all ? pages : all;
}

// The class name of a group (its element interned in the document's
// string table), or "".
std::string className(Edr_Doc *doc, Edr_Node *node)
{
    std::string name;
    const Edr_Group *g = Edr_Node_group(node);
    if (!g || !doc->strings || !g->element || g->element > StrTable_maxId)
        return name;
    char16_t *text = StrTable_getName(doc->strings, uint16_t(g->element));
    for (const char16_t *c = text; c && *c; c++)
        name += *c < 128 ? char(*c) : '?';
    Mem_free(text);
    return name;
}

// The number of UTF-16 units of the character at chars[i]: 2 for a
// surrogate pair, else 1.
uint32_t unitsAt(const char16_t *chars, uint32_t i, uint32_t n)
{
    return chars[i] >= 0xD800 && chars[i] < 0xDC00 && i + 1 < n && chars[i + 1] >= 0xDC00 &&
                   chars[i + 1] < 0xE000
               ? 2
               : 1;
}

void dumpParagraphs(Edr_Doc *doc, Edr_Node *node, std::string *out);

// The text of a subtree in tree order; a line break (U+000B) ends a line.
// A text box (a group of class "textBox") is a story of its own: its
// paragraphs go to *boxes, a line each, to follow the line of the
// paragraph that anchors it.
void collectText(Edr_Doc *doc, Edr_Node *node, std::string *out, std::string *boxes)
{
    for (Edr_Node *child = Edr_Node_firstChild(node); child; child = Edr_Node_nextSibling(child)) {
        if (Edr_Node_type(child) == Edr_NodeType_group) {
            if (className(doc, child) != "textBox")
                collectText(doc, child, out, boxes);
            else
                dumpParagraphs(doc, child, boxes);
        } else if (Edr_Node_type(child) == Edr_NodeType_text) {
            const Edr_TextNode *t = Edr_Node_textPayload(child);
            for (uint32_t i = 0, n = 0; t && i < t->length; i += n) {
                n = unitsAt(t->chars, i, t->length);
                if (t->chars[i] == 0x0B)
                    *out += '\n';
                else
                    addUtf8(out, t->chars + i, n);
            }
        }
    }
}

// One line per group of class "paragraph", in tree order, each followed by
// the lines of the text boxes anchored in it.
void dumpParagraphs(Edr_Doc *doc, Edr_Node *node, std::string *out)
{
    for (Edr_Node *child = Edr_Node_firstChild(node); child; child = Edr_Node_nextSibling(child)) {
        if (Edr_Node_type(child) != Edr_NodeType_group)
            continue;
        if (className(doc, child) == "paragraph") {
            std::string boxes;
            collectText(doc, child, out, &boxes);
            *out += '\n';
            *out += boxes;
        } else {
            dumpParagraphs(doc, child, out);
        }
    }
}

// The deepest level below node at which a text node lies (1: a child),
// 0 when none does.
int textDepth(Edr_Node *node)
{
    int deepest = 0;
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        int d = Edr_Node_type(c) == Edr_NodeType_text ? 1 : 0;
        if (Edr_Node_type(c) == Edr_NodeType_group) {
            int below = textDepth(c);
            d = below ? below + 1 : 0;
        }
        deepest = d > deepest ? d : deepest;
    }
    return deepest;
}

// A group holds one line of slide text when its text lies at most two
// levels down (a paragraph with its runs and bullet).
bool isLine(Edr_Node *node)
{
    int d = textDepth(node);
    return d >= 1 && d <= 2;
}

void dumpSlideLines(Edr_Doc *doc, Edr_Node *node, std::string *out)
{
    for (Edr_Node *child = Edr_Node_firstChild(node); child; child = Edr_Node_nextSibling(child)) {
        if (Edr_Node_type(child) != Edr_NodeType_group)
            continue;
        if (isLine(child)) {
            std::string boxes;
            collectText(doc, child, out, &boxes);
            *out += '\n';
            *out += boxes;
        } else {
            dumpSlideLines(doc, child, out);
        }
    }
}

// A presentation: one page per slide (a root child), each after a line
// "--- page N", with its text a line per paragraph.
void dumpSlides(Edr_Doc *doc, std::string *out)
{
    Edr_Doc_readLock(doc);
    int n = 0;
    for (Edr_Node *page = Edr_Node_firstChild(Edr_Doc_root(doc)); page;
         page = Edr_Node_nextSibling(page)) {
        *out += "--- page " + std::to_string(++n) + "\n";
        if (Edr_Node_type(page) == Edr_NodeType_group)
            dumpSlideLines(doc, page, out);
    }
    Edr_Doc_readUnlock(doc);
}

// True when a group of class "paragraph" lies below node (a word
// processor's document).
bool hasParagraphs(Edr_Doc *doc, Edr_Node *node)
{
    for (Edr_Node *child = Edr_Node_firstChild(node); child; child = Edr_Node_nextSibling(child))
        if (Edr_Node_type(child) == Edr_NodeType_group &&
            (className(doc, child) == "paragraph" || hasParagraphs(doc, child)))
            return true;
    return false;
}

// A web page: the root's section group holds an html element.
bool isWebPage(Edr_Node *root)
{
    Edr_Node *section = root ? Edr_Node_firstChild(root) : nullptr;
    const Edr_Group *g = section ? Edr_Node_group(section) : nullptr;
    if (!g || g->element != HtmlEl_Okalasection)
        return false;
    for (Edr_Node *c = Edr_Node_firstChild(section); c; c = Edr_Node_nextSibling(c))
        if (const Edr_Group *h = Edr_Node_group(c); h && h->element == HtmlEl_Html)
            return true;
    return false;
}

// Elements of a web page that stand as blocks of their own, and those
// whose content is not body text.
bool webBlock(uint32_t e)
{
    switch (e) {
    case HtmlEl_Address:
    case HtmlEl_Blockquote:
    case HtmlEl_Br:
    case HtmlEl_Caption:
    case HtmlEl_Center:
    case HtmlEl_Dd:
    case HtmlEl_Dir:
    case HtmlEl_Div:
    case HtmlEl_Dl:
    case HtmlEl_Dt:
    case HtmlEl_Fieldset:
    case HtmlEl_Form:
    case HtmlEl_H1:
    case HtmlEl_H2:
    case HtmlEl_H3:
    case HtmlEl_H4:
    case HtmlEl_H5:
    case HtmlEl_H6:
    case HtmlEl_Hr:
    case HtmlEl_Legend:
    case HtmlEl_Li:
    case HtmlEl_Menu:
    case HtmlEl_Ol:
    case HtmlEl_P:
    case HtmlEl_Plaintext:
    case HtmlEl_Pre:
    case HtmlEl_Table:
    case HtmlEl_Tbody:
    case HtmlEl_Td:
    case HtmlEl_Tfoot:
    case HtmlEl_Th:
    case HtmlEl_Thead:
    case HtmlEl_Tr:
    case HtmlEl_Ul:
    case HtmlEl_Xmp:
    case HtmlEl_Option:
    case HtmlEl_Textarea:
    case HtmlEl_Select:
    case HtmlEl_Body: return true;
    default: return false;
    }
}

bool webHidden(uint32_t e)
{
    return e == HtmlEl_Head || e == HtmlEl_Script || e == HtmlEl_Style || e == HtmlEl_Title ||
           e == HtmlEl_Noscript || e == HtmlEl_Noframes;
}

// The lines of a block walk: text gathers into the current line, which a
// block's start and end, a line break character or a newline (in
// preformatted text, or in documents other than web pages) ends; in other
// documents groups are runs within the text. Web page text has its white
// space collapsed as it is shown.
struct BlockText {
    std::string *out;
    std::string line;
    bool web;
    int pre;           // depth of preformatted elements
    std::string boxes; // the lines of text boxes met in the current line
};

// Ends the current line; the text boxes anchored in it follow it.
void blockFlush(BlockText *b)
{
    size_t end = b->line.find_last_not_of(' ');
    if (end != std::string::npos)
        *b->out += b->line.substr(0, end + 1) + "\n";
    b->line.clear();
    *b->out += b->boxes;
    b->boxes.clear();
}

void blockAdd(BlockText *b, const char16_t *chars, uint32_t n)
{
    for (uint32_t i = 0, units = 0; i < n; i += units) {
        units = unitsAt(chars, i, n);
        char16_t c = chars[i];
        bool newline = c == '\n' || c == '\r' || c == 0x0B || c == 0x2028 || c == 0x2029;
        if (newline && (!b->web || b->pre || c == 0x0B)) {
            blockFlush(b);
            continue;
        }
        if (c == ' ' || c == '\t' || newline) {
            if (b->web && !b->pre && (b->line.empty() || b->line.back() == ' '))
                continue;
            b->line += ' ';
            continue;
        }
        addUtf8(&b->line, chars + i, units);
    }
}

void blockWalk(Edr_Doc *doc, Edr_Node *node, BlockText *b)
{
    for (Edr_Node *child = Edr_Node_firstChild(node); child; child = Edr_Node_nextSibling(child)) {
        uint32_t type = Edr_Node_type(child);
        if (type == Edr_NodeType_text) {
            const Edr_TextNode *t = Edr_Node_textPayload(child);
            if (t)
                blockAdd(b, t->chars, t->length);
            continue;
        }
        if (type != Edr_NodeType_group)
            continue;
        const Edr_Group *g = Edr_Node_group(child);
        uint32_t e = g ? g->element : 0;
        if (b->web && webHidden(e))
            continue;
        if (!b->web && className(doc, child) == "textBox") {
            BlockText box{&b->boxes, {}, false, 0, {}};
            blockWalk(doc, child, &box);
            blockFlush(&box);
            continue;
        }
        bool block = b->web && webBlock(e);
        bool pre = b->web && (e == HtmlEl_Pre || e == HtmlEl_Xmp || e == HtmlEl_Plaintext ||
                              e == HtmlEl_Textarea);
        // A picture that could not be had shows its alternative text.
        if (b->web && e == HtmlEl_Img && g->ext && g->ext->text) {
            Edr_Node *image = Edr_Node_firstChild(child);
            const Edr_ImageNode *im = image && Edr_Node_type(image) == Edr_NodeType_image
                                          ? Edr_Node_imagePayload(image)
                                          : nullptr;
            if (!im || ((im->loadState & 7) == 1 && (!im->image || !Image_isUsable(im->image))))
                blockAdd(b, g->ext->text, uint32_t(Ustr_len(g->ext->text)));
        }
        if (block)
            blockFlush(b);
        b->pre += pre;
        blockWalk(doc, child, b);
        b->pre -= pre;
        if (block)
            blockFlush(b);
    }
}

// Each header and footer story (the document's keyed groups) after a line
// "--- story N", a line per paragraph; under the read lock.
void dumpStories(Edr_Doc *doc, std::string *out)
{
    for (Edr_KeyedGroup *k = doc->keyedGroups; k; k = k->next)
        for (Edr_Node *g : k->groups)
            if (g) {
                char line[48];
                snprintf(line, sizeof line, "--- story %ld\n", long(k->key));
                *out += line;
                dumpParagraphs(doc, g, out);
            }
}

// The document's body text; with headers, then each header and footer
// story (the document's keyed groups) after a line "--- story N". A word
// processor's document prints a line per paragraph; every other kind a
// line per block (and per line break).
void dumpText(Edr_Doc *doc, int headers, std::string *out)
{
    Edr_Doc_readLock(doc);
    if (hasParagraphs(doc, Edr_Doc_root(doc))) {
        dumpParagraphs(doc, Edr_Doc_root(doc), out);
    } else {
        BlockText b{out, {}, isWebPage(Edr_Doc_root(doc)), 0, {}};
        blockWalk(doc, Edr_Doc_root(doc), &b);
        blockFlush(&b);
    }
    if (headers)
        dumpStories(doc, out);
    Edr_Doc_readUnlock(doc);
}

// The image nodes below node whose picture is still on its way.
int picturesLoading(Edr_Node *node)
{
    int n = 0;
    for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
        if (Edr_Node_type(c) == Edr_NodeType_group)
            n += picturesLoading(c);
        else if (Edr_Node_type(c) == Edr_NodeType_image) {
            Edr_ImageNode *im = Edr_Node_imagePayload(c);
            uint32_t state = im->loadState & 7;
            // An animation reports every frame as progress and never
            // itself final: once a frame has come, it has arrived.
            uint32_t caps = 0;
            if (state == 2 && im->image &&
                Image_getDocImageInfo(im->image, nullptr, nullptr, &caps) == 0 &&
                (caps & (ImageCap_sequence | ImageCap_frameDelayed)))
                continue;
            n += state == 2 || state == 4;
        }
    }
    return n;
}

// On the application thread: how many pictures are still loading.
void countLoading(EngineInstance *instance, void *arg)
{
    State *s = static_cast<State *>(arg);
    FvViewer *viewer = Fv_fromApp(instance);
    FvPage *page = viewer ? viewer->page : nullptr;
    s->loading = 0;
    if (page && page->document) {
        Edr_Doc_readLock(page->document);
        s->loading = picturesLoading(Edr_Doc_root(page->document));
        Edr_Doc_readUnlock(page->document);
    }
    s->checked = 1;
}

// On the application thread: is the shown document's import over? A plain
// text is announced before its import has read it, and the import is
// loading activity until it ends; other documents count as settled (their
// loading activity may wait for images that never come).
struct SettleProbe {
    int done;
    int settled;
};

void probeSettled(EngineInstance *instance, void *arg)
{
    SettleProbe *p = static_cast<SettleProbe *>(arg);
    FvViewer *viewer = Fv_fromApp(instance);
    FvPage *page = viewer ? viewer->page : nullptr;
    const Edr_MgrState *st = page && page->document ? Edr_Mgr_state(page->document) : nullptr;
    p->settled = !st || !st->busyCount || Edr_Doc_getTypeCode(page->document) != TextDoc_typeCode;
    p->done = 1;
}

// Gives the engine time until its import is over in several checks in a
// row: an import that ran out of memory has then said so before the tree
// is printed. Loads that never end (images that do not come) give up after
// a bounded number of rounds and print what is there, as before.
void waitSettled(HostContext *host)
{
    constexpr int checks = 3;
    constexpr int maxRounds = 2000;
    int quiet = 0;
    for (int round = 0; round < maxRounds && quiet < checks && !outOfMemory(host); round++) {
        SettleProbe p{};
        if (App_postCall(host->instance, probeSettled, &p, nullptr) != 0 ||
            !drive(host, [&] { return p.done != 0; }))
            return;
        quiet = p.settled ? quiet + 1 : 0;
        for (int i = 0; i < 8 && host->instance; i++)
            if (!Headless_fireTimer(host))
                usleep(1000);
    }
}

// On the application thread: the tree of the viewer's document.
void dumpTree(EngineInstance *instance, void *arg)
{
    State *s = static_cast<State *>(arg);
    FvViewer *viewer = Fv_fromApp(instance);
    FvPage *page = viewer ? viewer->page : nullptr;
    if (s->text && page && page->document) {
        std::string text;
        if (Edr_Doc_getTypeCode(page->document) == 230)
            dumpSlides(page->document, &text);
        else
            dumpText(page->document, s->headers, &text);
        s->tree = strdup(text.c_str());
        s->dumped = 1;
        return;
    }
    s->tree = Headless_dumpTree(page ? page->document : nullptr);
    if (s->styles && page && page->document)
        dumpStyles(page->document, &s->rules);
    if (s->runs && page && page->document) {
        Edr_Doc_readLock(page->document);
        dumpPageRuns(Edr_Doc_root(page->document), &s->rules);
        Edr_Doc_readUnlock(page->document);
    }
    s->dumped = 1;
}

// A document built page by page (its pages translated when asked for, as
// the viewer shows them) is printed one page at a time: the root's line,
// then each root child's subtree while that page is the one built, so that
// only one page's nodes are held at a time. The text, runs and stories are
// gathered on the way as the whole-document forms print them.
struct PageProbe {
    int done;
    int onDemand;    // the document's step operation builds its pages
    uint32_t pages;  // the root's children
    uint32_t built;  // the index of the page built last
    int translating; // a translation job runs
    int idle;        // the document's manager has no pass scheduled or running
};

Edr_Doc *documentOf(EngineInstance *instance)
{
    FvViewer *viewer = Fv_fromApp(instance);
    FvPage *page = viewer ? viewer->page : nullptr;
    return page ? page->document : nullptr;
}

void probePages(EngineInstance *instance, void *arg)
{
    PageProbe *p = static_cast<PageProbe *>(arg);
    if (Edr_Doc *doc = documentOf(instance)) {
        Edr_HandlerDesc *handler = Edr_Doc_getHandler(doc);
        p->onDemand =
            Edr_Doc_isPageOnDemand(doc) && handler && handler->step && Edr_Doc_getLoaderData(doc);
        Edr_Doc_readLock(doc);
        for (Edr_Node *c = Edr_Node_firstChild(Edr_Doc_root(doc)); c; c = Edr_Node_nextSibling(c))
            p->pages++;
        Edr_Doc_readUnlock(doc);
        p->built = Edr_Doc_getSelectedRootChild(doc);
        p->translating = doc->translating != 0;
        const Edr_MgrState *st = Edr_Mgr_state(doc);
        p->idle = !st || (!st->timerSet && !st->passRunning);
    }
    p->done = 1;
}

struct PageRequest {
    uint32_t index;
    int error;
    int done;
};

// On the application thread: asks the translation for a page, as the
// viewer does when it goes there.
void requestPage(EngineInstance *instance, void *arg)
{
    PageRequest *r = static_cast<PageRequest *>(arg);
    Edr_Doc *doc = documentOf(instance);
    r->error = doc ? Translate_requestPage(doc, Edr_Doc_root(doc), r->index) : Res_nullInput;
    r->done = 1;
}

struct PageWalk {
    State *state;
    uint32_t index;
    int done;
    int failed;
    std::string tree;
    std::string runs; // with a line "page N" before each page's runs
    bool anyRuns;
    std::string text;
    BlockText block;
};

// On the application thread: prints page `index` (and, before the first,
// the root's own line).
void dumpOnePage(EngineInstance *instance, void *arg)
{
    PageWalk *w = static_cast<PageWalk *>(arg);
    const State *s = w->state;
    Edr_Doc *doc = documentOf(instance);
    w->done = 1;
    if (!doc) {
        w->failed = 1;
        return;
    }
    Edr_Node *root = Edr_Doc_root(doc);
    if (w->index == 0 && !s->text) {
        char *line = Headless_dumpBranch(doc, root, 0, 0);
        if (!line) {
            w->failed = 1;
            return;
        }
        w->tree += line;
        free(line);
    }
    Edr_Doc_readLock(doc);
    Edr_Node *page = Edr_Node_firstChild(root);
    for (uint32_t i = 0; page && i < w->index; i++)
        page = Edr_Node_nextSibling(page);
    if (page && s->text) {
        if (Edr_Doc_getTypeCode(doc) == 230) {
            w->text += "--- page " + std::to_string(w->index + 1) + "\n";
            if (Edr_Node_type(page) == Edr_NodeType_group)
                dumpSlideLines(doc, page, &w->text);
        } else if (Edr_Node_type(page) == Edr_NodeType_group &&
                   (className(doc, page) == "paragraph" || hasParagraphs(doc, page))) {
            blockFlush(&w->block);
            if (className(doc, page) == "paragraph") {
                std::string boxes;
                collectText(doc, page, &w->text, &boxes);
                w->text += '\n';
                w->text += boxes;
            } else {
                dumpParagraphs(doc, page, &w->text);
            }
        } else {
            // A page continues the line the page before ended in, as in
            // one walk of the whole tree.
            if (Edr_Node_type(page) == Edr_NodeType_text) {
                const Edr_TextNode *t = Edr_Node_textPayload(page);
                if (t)
                    blockAdd(&w->block, t->chars, t->length);
            } else if (Edr_Node_type(page) == Edr_NodeType_group) {
                blockWalk(doc, page, &w->block);
            }
        }
    }
    if (page && s->runs && Edr_Node_type(page) == Edr_NodeType_group) {
        std::string runs;
        dumpRuns(Edr_Node_firstChild(page), &runs);
        w->anyRuns = w->anyRuns || !runs.empty();
        w->runs += "page " + std::to_string(w->index + 1) + "\n" + runs;
    }
    Edr_Doc_readUnlock(doc);
    if (!page) {
        w->failed = 1;
        return;
    }
    if (!s->text) {
        char *branch = Headless_dumpBranch(doc, page, 1, 1);
        if (!branch) {
            w->failed = 1;
            return;
        }
        w->tree += branch;
        free(branch);
    }
}

// On the application thread: what follows the pages (the stories, the
// style rules).
void dumpAfterPages(EngineInstance *instance, void *arg)
{
    PageWalk *w = static_cast<PageWalk *>(arg);
    Edr_Doc *doc = documentOf(instance);
    if (doc && w->state->text) {
        blockFlush(&w->block);
        if (w->state->headers) {
            Edr_Doc_readLock(doc);
            dumpStories(doc, &w->text);
            Edr_Doc_readUnlock(doc);
        }
    }
    if (doc && w->state->styles && !w->state->text)
        dumpStyles(doc, &w->state->rules);
    w->done = 1;
}

// Pages printed between two waits for the document's manager.
constexpr uint32_t pagesPerSweep = 16;

// Gives the engine time until page `index` is the one built and no
// translation runs; every pagesPerSweep pages also until the document's
// manager is idle: its pass frees the nodes of the pages that later ones
// replaced, so that the heap holds a few pages' nodes however many pages
// were printed (a pass for every page would lay out every page each time).
// False when the engine ran out of memory, a page failed (its report in
// *report) or the wait gave up.
bool waitForPage(HostContext *host, uint32_t index, const LoadReport *report)
{
    bool sweep = index % pagesPerSweep == 0;
    for (int round = 0; round < fireLimit; round++) {
        PageProbe p{};
        if (App_postCall(host->instance, probePages, &p, nullptr) != 0 ||
            !drive(host, [&] { return p.done != 0; }))
            return false;
        if (p.built == index && !p.translating && (p.idle || !sweep))
            return true;
        if (outOfMemory(host) || report->seen)
            return false;
        for (int i = 0; i < 4 && host->instance; i++)
            if (!Headless_fireTimer(host))
                usleep(200);
    }
    return false;
}

// Prints the document page by page into state (tree or text, rules). 0,
// or 1 with the reason said on stderr.
int dumpPageByPage(HostContext *host, const char *path, State *state, uint32_t pages)
{
    EngineInstance *inst = host->instance;
    PageWalk walk{};
    walk.state = state;
    walk.block = BlockText{&walk.text, {}, false, 0, {}};
    LoadReport report{};
    (void)listenForLoadReport(host, &report);
    int status = 0;
    for (uint32_t i = 0; i < pages && !status; i++) {
        if (i > 0) {
            PageRequest r{};
            r.index = i;
            if (App_postCall(inst, requestPage, &r, nullptr) != 0 ||
                !drive(host, [&] { return r.done != 0; }) || r.error == Res_noMemory ||
                !waitForPage(host, i, &report)) {
                if (outOfMemory(host) || r.error == Res_noMemory ||
                    (report.seen && report.kind == Translate_kindNoMemory))
                    fprintf(stderr, "docdump: cannot dump page %u of %s: %s\n", i + 1, path,
                            noMemoryAdvice);
                else if (report.seen)
                    fprintf(stderr, "docdump: cannot build page %u of %s: %s\n", i + 1, path,
                            openFailure(host, path, &report).c_str());
                else
                    fprintf(stderr, "docdump: page %u of %s was not built\n", i + 1, path);
                status = 1;
                break;
            }
        }
        walk.index = i;
        walk.done = 0;
        if (App_postCall(inst, dumpOnePage, &walk, nullptr) != 0 ||
            !drive(host, [&] { return walk.done != 0; }) || walk.failed) {
            fprintf(stderr, "docdump: page %u of %s could not be printed\n", i + 1, path);
            status = 1;
        }
    }
    if (!status) {
        walk.done = 0;
        if (App_postCall(inst, dumpAfterPages, &walk, nullptr) != 0 ||
            !drive(host, [&] { return walk.done != 0; }))
            status = 1;
    }
    if (report.listening)
        (void)listenForLoadReport(host, &report);
    if (!status && outOfMemory(host)) {
        fprintf(stderr, "docdump: cannot dump %s: %s\n", path, noMemoryAdvice);
        status = 1;
    }
    if (!status) {
        if (walk.anyRuns)
            state->rules += walk.runs;
        state->tree = strdup(state->text ? walk.text.c_str() : walk.tree.c_str());
        state->dumped = 1;
    }
    return status;
}

int usage(const char *self)
{
    fprintf(stderr,
            "usage: %s [--heap MiB] [--styles] [--runs] [--text [--headers]] FILE\n"
            "       %s [--object N]... [--stream N]... [--xref] [--password TEXT] FILE.pdf\n"
            "Opens FILE with the engine and prints the document tree. With the PDF\n"
            "options the file is opened with the PDF reader alone: --object N prints\n"
            "object N as qpdf --show-object=N does (each after a line \"%% object N\"\n"
            "when several are asked), --stream N writes the decoded data\n"
            "of stream object N, --xref lists the cross-reference\n"
            "entries, --password TEXT answers the password question. --styles\n"
            "also prints the document's style rules, --runs the text runs of\n"
            "page-description text (\"run X Y TEXT\", points from the top left,\n"
            "after a line \"page N\" for each page).\n"
            "--text prints the body text alone, one line per paragraph, in tree\n"
            "order; --headers adds the header and footer stories. A presentation\n"
            "prints each slide after a line \"--- page N\".\n"
            "       %s --cells FILE.xls\n"
            "--cells reads an Excel workbook's cells alone and lists each cell's\n"
            "sheet, row, column, kind, raw value, XF index and display text.\n"
            "--heap MiB (with any of the forms) gives the engine a heap of MiB\n"
            "mebibytes (default: the engine's default of 64); running out of it is\n"
            "an error (exit 1), never a shorter document. A PDF is printed page by\n"
            "page, one page translated at a time; another document that does not\n"
            "fit the heap whole is opened again and printed page by page.\n",
            self, self, self);
    return 2;
}

struct PdfCall {
    std::string url;
    PdfDumpOptions options;
    PdfDumpResult result;
};

void runPdfDump(EngineInstance *instance, void *arg)
{
    PdfCall *call = static_cast<PdfCall *>(arg);
    PdfDump_run(instance, call->url, call->options, &call->result);
}

struct CellsCall {
    std::string url;
    CellsDumpResult result;
};

void runCellsDump(EngineInstance *instance, void *arg)
{
    CellsCall *call = static_cast<CellsCall *>(arg);
    CellsDump_run(instance, call->url, &call->result);
}

// --cells: the workbook's cells, read by the Excel loader alone.
int dumpCells(HostContext *host, const char *path)
{
    CellsCall call;
    call.url = fileUrl(path);
    if (App_postCall(host->instance, runCellsDump, &call, nullptr) != 0) {
        fprintf(stderr, "docdump: the engine refused the call\n");
        return 1;
    }
    if (!drive(host, [&] { return call.result.done != 0; })) {
        fprintf(stderr, "docdump: the workbook loader did not finish with %s\n", path);
        return 1;
    }
    fwrite(call.result.output.data(), 1, call.result.output.size(), stdout);
    if (call.result.error) {
        fprintf(stderr, "docdump: cannot open %s: workbook loader %s\n", path,
                errorMeaning(call.result.error).c_str());
        return 1;
    }
    return 0;
}

// Parses the PDF options; false on a wrong command line. *path is the file.
bool parsePdfOptions(int argc, char **argv, PdfDumpOptions *options, const char **path,
                     bool *pdfMode)
{
    *path = nullptr;
    *pdfMode = false;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if ((a == "--object" || a == "--stream") && i + 1 < argc) {
            char *end = nullptr;
            errno = 0;
            long long n = strtoll(argv[++i], &end, 10);
            if (!*argv[i] || *end || errno || n < 0)
                return false;
            (a == "--object" ? options->objects : options->streams).push_back(n);
            *pdfMode = true;
        } else if (a == "--xref") {
            options->xref = true;
            *pdfMode = true;
        } else if (a == "--password" && i + 1 < argc) {
            options->havePassword = true;
            options->password = argv[++i];
            *pdfMode = true;
        } else if (a == "--cells") {
            continue;
        } else if (a == "--heap" && i + 1 < argc) {
            i++; // read by main
            continue;
        } else if (a == "--styles" || a == "--runs" || a == "--text" || a == "--headers") {
            // read by main
        } else if (!*path && (a.empty() || a[0] != '-' || a == "-")) {
            *path = argv[i];
        } else {
            return false;
        }
    }
    return *path != nullptr;
}

// Opens path with the PDF reader on the application thread and prints
// what the options ask for. The exit status.
int dumpPdf(HostContext *host, const char *path, const PdfDumpOptions &options)
{
    PdfCall call;
    call.url = fileUrl(path);
    call.options = options;
    EngineInstance *inst = host->instance;
    if (App_postCall(inst, runPdfDump, &call, nullptr) != 0) {
        fprintf(stderr, "docdump: the engine refused the call\n");
        return 1;
    }
    if (!drive(host, [&] { return call.result.done != 0; })) {
        fprintf(stderr, "docdump: the PDF reader did not finish with %s\n", path);
        return 1;
    }
    fwrite(call.result.output.data(), 1, call.result.output.size(), stdout);
    if (call.result.streamError) {
        fprintf(stderr, "docdump: stream %lld of %s: PDF reader %s\n", call.result.streamNumber,
                path, errorMeaning(call.result.streamError).c_str());
        return 1;
    }
    if (call.result.error) {
        fprintf(stderr, "docdump: cannot open %s: PDF reader %s\n", path,
                errorMeaning(call.result.error).c_str());
        return 1;
    }
    return 0;
}

// Whether the file starts as a PDF does (its header in the first KiB): a
// PDF is translated page by page from the start.
bool looksLikePdf(const char *path)
{
    FILE *f = fopen(path, "rb");
    if (!f)
        return false;
    char head[1024];
    size_t n = fread(head, 1, sizeof head, f);
    fclose(f);
    for (size_t i = 0; i + 5 <= n; i++)
        if (!memcmp(head + i, "%PDF-", 5))
            return true;
    return false;
}

// Opens the document in the running engine and prints its tree (or text)
// into state. The exit status; *retry is set, with nothing said, when the
// whole document did not fit the heap and may be printed page by page.
int dumpDocument(HostContext *host, const char *path, State *state, bool pages, bool *retry)
{
    EngineInstance *inst = host->instance;
    *retry = false;
    if (pages && !usePagesOnDemand(host)) {
        fprintf(stderr, "docdump: the engine did not take its settings\n");
        return 1;
    }
    std::string url = fileUrl(path);
    Headless_captureDebug(host, 1);
    LoadReport report{};
    (void)listenForLoadReport(host, &report);
    int status = 1;
    if (!App_openDocument(inst, url.c_str(), 0, 0)) {
        fprintf(stderr, "docdump: the engine refused to open %s\n", path);
        return 1;
    }
    drive(host, [&] { return state->loaded || openAlertSeen(host) || state->failed; });
    if (state->loaded) {
        // Pages on demand may report later; what the first page
        // reported is printed.
        // The tree is printed once every picture has arrived or
        // failed (a failed one shows its alternative text), or
        // after a bounded wait.
        for (int round = 0; round < 200; round++) {
            state->checked = 0;
            App_postCall(inst, countLoading, state, nullptr);
            if (!drive(host, [&] { return state->checked != 0; }) || !state->loading)
                break;
            int fired = 0;
            drive(host, [&] { return ++fired > 20; });
        }
        waitSettled(host);
    }
    PageProbe probe{};
    if (state->loaded && !outOfMemory(host) &&
        (App_postCall(inst, probePages, &probe, nullptr) != 0 ||
         !drive(host, [&] { return probe.done != 0; })))
        probe.onDemand = 0;
    if (state->loaded && !outOfMemory(host) && probe.onDemand) {
        status = dumpPageByPage(host, path, state, probe.pages);
    } else if (state->loaded && !outOfMemory(host)) {
        App_postCall(inst, dumpTree, state, nullptr);
        drive(host, [&] { return state->dumped != 0; });
        if (outOfMemory(host)) {
            if (pages)
                fprintf(stderr, "docdump: cannot dump %s: %s\n", path, noMemoryAdvice);
            *retry = !pages;
        } else if (state->tree) {
            status = 0;
        } else {
            fprintf(stderr, "docdump: %s loaded, but its tree could not be printed\n", path);
        }
    } else if (outOfMemory(host) && !pages) {
        *retry = true;
    } else if (state->loaded) {
        fprintf(stderr, "docdump: cannot dump %s: %s\n", path, noMemoryAdvice);
    } else {
        fprintf(stderr, "docdump: cannot open %s: %s\n", path,
                openFailure(host, path, &report).c_str());
    }
    if (!*retry)
        printWarnings(host, "docdump");
    if (report.listening)
        (void)listenForLoadReport(host, &report);
    return status;
}

// A new headless host with its engine started; null, said on stderr, when
// either failed.
HostContext *startEngine(size_t heapBytes, State *state)
{
    HostContext *host = Headless_createContext(heapBytes);
    if (!host) {
        fprintf(stderr, "docdump: out of memory\n");
        return nullptr;
    }
    // The engine's timers fire as soon as they are asked for: a dump has
    // nothing to wait for in real time (the document manager's change
    // timers alone held every run for about a second).
    Headless_setManualClock(host, 1);
    Headless_setRequestHook(host, onRequest, state);
    // The screen's hand-overs are never printed: a long document would
    // keep a whole screen for every layout change.
    Headless_keepScreenUpdates(host, 0);
    if (!Headless_startEngine(host, nullptr, App_start, 0)) {
        fprintf(stderr, "docdump: the engine did not start\n");
        Headless_destroyContext(host);
        return nullptr;
    }
    return host;
}

void stopEngine(HostContext *host)
{
    Headless_setRequestHook(host, nullptr, nullptr);
    if (host->instance)
        Engine_stop(host->instance);
    Headless_destroyContext(host);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && (!strcmp(argv[1], "-h") || !strcmp(argv[1], "--help"))) {
        usage(argv[0]);
        return 0;
    }
    PdfDumpOptions pdfOptions;
    const char *path = nullptr;
    bool pdfMode = false;
    if (argc < 2 || !parsePdfOptions(argc, argv, &pdfOptions, &path, &pdfMode))
        return usage(argv[0]);
    if (!path[0]) {
        fprintf(stderr, "docdump: the file name is empty\n");
        return 1;
    }
    // A file URL names the file it stands for.
    std::string file = localPath(path);
    path = file.c_str();
    size_t heapBytes = 0;
    for (int i = 1; i + 1 < argc; i++)
        if (!strcmp(argv[i], "--heap")) {
            if (heapBytes || !parseHeapMiB(argv[i + 1], &heapBytes))
                return usage(argv[0]);
            i++;
        }
    State options{};
    for (int i = 1; i < argc; i++)
        if (!strcmp(argv[i], "--styles"))
            options.styles = 1;
        else if (!strcmp(argv[i], "--runs"))
            options.runs = 1;
        else if (!strcmp(argv[i], "--text"))
            options.text = 1;
        else if (!strcmp(argv[i], "--headers"))
            options.headers = 1;
    bool cellsMode = false;
    for (int i = 1; i < argc; i++)
        if (!strcmp(argv[i], "--cells"))
            cellsMode = true;
    options.quiet = pdfMode || options.text || cellsMode;
    // A PDF is printed page by page from the start; another document
    // whole, and page by page when the whole does not fit the heap.
    bool pages = !pdfMode && !cellsMode && looksLikePdf(path);
    for (;;) {
        State state{};
        state.quiet = options.quiet;
        state.styles = options.styles;
        state.runs = options.runs;
        state.text = options.text;
        state.headers = options.headers;
        HostContext *host = startEngine(heapBytes, &state);
        if (!host)
            return 1;
        int status = 1;
        bool retry = false;
        if (!drive(host, [&] { return state.ready || state.failed; }) || !state.ready)
            fprintf(stderr, "docdump: the engine did not become ready\n");
        else if (pdfMode)
            status = dumpPdf(host, path, pdfOptions);
        else if (cellsMode)
            status = dumpCells(host, path);
        else
            status = dumpDocument(host, path, &state, pages, &retry);
        stopEngine(host);
        if (retry) {
            free(state.tree);
            pages = true;
            continue;
        }
        fputs(state.log.c_str(), stdout);
        if (status == 0 && state.tree) {
            fputs(state.tree, stdout);
            if (!state.text)
                fputs(state.rules.c_str(), stdout);
        }
        free(state.tree);
        return status;
    }
}
