// Tree building: tags and text runs become groups and text nodes.
//
// The parser keeps the element context: the current node and element, how
// many elements of each kind are open, a node stack per formatting element
// and how many of each wait to be opened again. A tag first closes what
// the close matrices say it closes (one element at a time, in a loop),
// then opens its own group. Raw-text elements (scripts, styles, titles,
// conditional comments and the like) collect their text unparsed until
// their end tag; what happens to that text is the element's end action.
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/task.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "html/attributes.h"
#include "html/css/css.h"
#include "html/docweb.h"
#include "html/imagemap.h"
#include "html/parser.h"
#include "html/plugin.h"
#include "layout/frameset.h"
#include "html/forms/form.h"
#include "html/forms/listbox.h"
#include "platform/api/engine.h"
#include "platform/api/request.h"
#include "platform/url/url.h"

namespace {

// Stack that tree building keeps in hand below its deepest step: enough
// for the document model's and the style system's calls on a 64-bit host.
constexpr size_t kStackMargin = 32768;

// The style text that quirks mode gives tables.
constexpr char16_t kQuirksTableRule[] =
    u"table, caption {font-size:12pt;font-weight: normal;font-style: normal;font-variant: normal;}"
    u"table{text-align:none}";

bool seenBit(const uint8_t *set, uint32_t id)
{
    return id < 120 && (set[id / 8] >> (id % 8)) & 1;
}

void setBit(uint8_t *set, uint32_t id)
{
    if (id < 120)
        set[id / 8] = uint8_t(set[id / 8] | (1u << (id % 8)));
}

bool isSpace(char16_t c)
{
    return c == 9 || c == 10 || c == 11 || c == 12 || c == 13 || c == 32;
}

char16_t lowerAscii(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
}

// 1 when s (of n units) starts with the ASCII word w, ignoring case.
bool startsWith(const char16_t *s, size_t n, const char *w)
{
    size_t k = strlen(w);
    if (n < k)
        return false;
    for (size_t i = 0; i < k; i++)
        if (lowerAscii(s[i]) != char16_t(uint8_t(w[i])))
            return false;
    return true;
}

bool equalsWord(const char16_t *s, size_t n, const char *w)
{
    return n == strlen(w) && startsWith(s, n, w);
}

bool isTablePart(uint32_t id)
{
    return id == HtmlEl_Tbody || id == HtmlEl_Td || id == HtmlEl_Tfoot || id == HtmlEl_Th ||
           id == HtmlEl_Thead || id == HtmlEl_Tr;
}

bool isHeading(uint32_t id)
{
    return id >= HtmlEl_H1 && id <= HtmlEl_H6;
}

uint32_t groupElement(Edr_Node *node)
{
    Edr_Group *g = node ? Edr_Node_group(node) : nullptr;
    return g ? g->element : 0;
}

void setCurrent(HtmlParser *p, Edr_Node *node)
{
    if (p->current)
        Edr_Node_release(p->doc, p->current);
    p->current = node;
    p->element = groupElement(node);
}

// The raw text of the element that an end tag has just closed.
struct RawText {
    char16_t *text;
    size_t length;
};

} // namespace

// ------------------------------------------------------------- the parser

int Html_parserInit(EngineContext *context, HtmlParser *p, Edr_Doc *doc)
{
    memset(p, 0, sizeof(*p));
    p->ctx = context;
    p->doc = doc;
    p->state = 5;
    p->keepRaw = 1;
    // Rule keys share the number space of the document's interned names,
    // whose ids count up from 1: the keys start far above them.
    p->nextClass = 0x10000;
    p->stackMargin = kStackMargin;
    // The rules of attributes and defaults form the document's own sheet.
    int err = Request_new(context, 0, &p->styles);
    if (err == Res_ok && doc)
        err = Edr_Doc_addRequest(doc, p->styles);
    return err;
}

int Html_pushFormatting(HtmlParser *p, uint32_t id, Edr_Node *node)
{
    HtmlNodeCell *cell = p->spareCells;
    if (cell)
        p->spareCells = cell->next;
    else if (!(cell = static_cast<HtmlNodeCell *>(Mem_malloc(sizeof(HtmlNodeCell)))))
        return Res_noMemory;
    int err = Edr_Node_acquire(p->doc, node, &cell->node);
    if (err) {
        cell->next = p->spareCells;
        p->spareCells = cell;
        return err;
    }
    cell->next = p->stacks[id];
    p->stacks[id] = cell;
    return Res_ok;
}

void Html_popFormatting(HtmlParser *p, uint32_t id)
{
    HtmlNodeCell *cell = p->stacks[id];
    if (!cell)
        return;
    p->stacks[id] = cell->next;
    Edr_Node_release(p->doc, cell->node);
    cell->next = p->spareCells;
    p->spareCells = cell;
}

// A group of element id as the last child of the current node; it becomes
// current when make current is set. *out (held) when out is given.
static int newGroup(HtmlParser *p, uint32_t id, Edr_Node **out)
{
    return Edr_Node_createGroup(p->doc, p->current, Edr_Insert_lastChild, id, out);
}

int Html_reopenFormatting(HtmlParser *p)
{
    if (!p->reopenPending)
        return Res_ok;
    for (uint32_t id = 0; id <= Html_elementCount; id++) {
        while (p->reopen[id] > 0) {
            Edr_Node *node = nullptr;
            int err = newGroup(p, id, &node);
            if (err)
                return err;
            if (HtmlNodeCell *top = p->stacks[id]) {
                for (uint32_t slot = 0; slot < 2 && err == Res_ok; slot++) {
                    StyleRule *list = nullptr;
                    err = Edr_Node_getPropList(p->doc, top->node, slot, &list);
                    if (err == Res_ok && list)
                        err = Edr_Node_setPropList(p->doc, node, slot, list);
                }
            }
            setCurrent(p, node);
            if (err)
                return err;
            p->reopen[id]--;
            p->reopenPending--;
            p->open[id]++;
        }
    }
    p->reopenPending = 0;
    return Res_ok;
}

// Appends text to the open option's text: white space at either end is
// dropped and inner runs become one space.
static int appendOptionText(HtmlParser *p, const char16_t *text, size_t n)
{
    size_t need = p->optionLength + n + 1;
    if (need > p->optionCapacity) {
        size_t cap = p->optionCapacity ? p->optionCapacity : 64;
        while (cap < need)
            cap *= 2;
        auto *b = static_cast<char16_t *>(Mem_realloc(p->optionText, cap * sizeof(char16_t)));
        if (!b)
            return Res_noMemory;
        p->optionText = b;
        p->optionCapacity = cap;
    }
    size_t start = p->optionLength;
    bool space = false;
    for (size_t i = 0; i < n; i++) {
        if (isSpace(text[i])) {
            space = true;
            continue;
        }
        if (space && p->optionLength)
            p->optionText[p->optionLength++] = u' ';
        space = false;
        p->optionText[p->optionLength++] = text[i];
    }
    if (p->optionControl && p->optionLength > start)
        return Form_ctlAppendLabel(p->optionControl, p->optionText + start,
                                   p->optionLength - start);
    return Res_ok;
}

int Html_flushText(HtmlParser *p, char16_t *text, size_t length)
{
    // A frame-set document shows its frames only.
    if (FrameState_suppressText(p->layout))
        return Res_ok;
    length = Html_decodeRefs(text, length);
    size_t w = 0;
    while (w < length && text[w])
        w++;
    for (size_t r = w; r < length; r++)
        if (text[r])
            text[w++] = text[r];
    if (p->inOption) {
        // The option's label stands for its text when it has one.
        char16_t *label = p->optionNode
                              ? Edr_Node_findInheritedString(p->doc, p->optionNode, HtmlAttr_label)
                              : nullptr;
        int err = Res_ok;
        if (!label)
            err = appendOptionText(p, text, w);
        else if (!p->optionLength)
            err = appendOptionText(p, label, Ustr_len(label));
        Mem_free(label);
        return err;
    }
    if (p->inSelect)
        return Res_ok; // text of a select outside its options
    if (p->inButton && p->buttonControl)
        return w ? Form_ctlAppendLabel(p->buttonControl, text, w) : Res_ok;
    if (!w || !p->current)
        return Res_ok;
    return Edr_Node_createText(p->doc, p->current, Edr_Insert_lastChild, nullptr, text,
                               uint32_t(w));
}

// -------------------------------------------------- conditional comments

void Html_readCondition(HtmlParser *p, const char16_t *tag, const HtmlTagSpan *attrs,
                        uint32_t count)
{
    p->condTarget = 0;
    p->condVersion = 0;
    p->condOperator = 0;
    for (uint32_t i = 1; i <= count; i++) {
        if (attrs[i].nameStart < 0)
            continue;
        const char16_t *w = tag + attrs[i].nameStart;
        size_t n = attrs[i].nameLength;
        if (equalsWord(w, n, "!gte"))
            p->condOperator = 1;
        else if (equalsWord(w, n, "!lte"))
            p->condOperator = 3;
        else if (startsWith(w, n, "ie"))
            p->condTarget = 1;
        else if (startsWith(w, n, "!vml"))
            p->condTarget = 4;
        else if (startsWith(w, n, "lte") || startsWith(w, n, "!gt"))
            p->condOperator = 2;
        else if (startsWith(w, n, "lt") || startsWith(w, n, "!gte"))
            p->condOperator = 1;
        else if (startsWith(w, n, "gte") || startsWith(w, n, "!lt"))
            p->condOperator = 4;
        else if (startsWith(w, n, "gt") || startsWith(w, n, "!lte"))
            p->condOperator = 3;
        else if (n && w[0] >= u'0' && w[0] <= u'9') {
            static constexpr uint32_t major[10] = {0, 1, 2, 3, 5, 7, 10, 0, 0, 0};
            uint32_t v = major[w[0] - u'0'];
            if (startsWith(w + 1, n - 1, ".01") && (v == 3 || v == 5 || v == 7))
                v = v == 3 ? 4 : v == 5 ? 6 : 8;
            else if (startsWith(w + 1, n - 1, ".5") && v == 7)
                v = 9;
            p->condVersion = v;
        }
    }
}

int Html_evalCondition(const HtmlParser *p)
{
    // The engine answers conditions as version 5.0 of the browser they name.
    const uint32_t own = 7;
    if (p->condTarget == 4)
        return 1;
    if (p->condTarget != 1)
        return 0;
    uint32_t v = p->condVersion;
    switch (p->condOperator) {
    case 1: return own < v;
    case 2: return own <= v;
    case 3: return own > v;
    case 4: return own >= v;
    default: return v == 0 || own == v;
    }
}

// ------------------------------------------------ document type decision

int Html_doctypeMode(const char16_t *t, size_t n)
{
    size_t i = 0;
    auto skipSpace = [&]() {
        while (i < n && isSpace(t[i]))
            i++;
    };
    auto skipWord = [&]() {
        while (i < n && !isSpace(t[i]))
            i++;
        skipSpace();
    };
    bool htmlDtd = false, v4 = false, dtdFile = false;
    uint32_t variant = 0;
    skipSpace();
    skipWord();
    skipWord();
    if (n - i <= 5)
        goto decide;
    if (!startsWith(t + i, n - i, "public") && !startsWith(t + i, n - i, "system"))
        goto decide;
    skipWord();
    if (i >= n || t[i] != u'"')
        goto decide;
    {
        size_t open = i + 1;
        size_t close = open;
        while (close < n && t[close] != u'"')
            close++;
        if (close >= n) {
            i = n;
            goto decide;
        }
        i = close + 1;
        // The fields between "//" marks.
        size_t marks[2];
        uint32_t found = 0;
        for (size_t k = open; k + 1 < close && found < 2; k++)
            if (t[k] == u'/' && t[k + 1] == u'/') {
                marks[found++] = k;
                k++;
            }
        if (found == 2) {
            size_t f = marks[1] + 2;
            size_t fend = f;
            while (fend < close && !(fend + 1 < close && t[fend] == u'/' && t[fend + 1] == u'/'))
                fend++;
            while (f < fend && isSpace(t[f]))
                f++;
            while (f < fend && !isSpace(t[f]))
                f++;
            while (f < fend && isSpace(t[f]))
                f++;
            if (fend - f > 4 && startsWith(t + f, fend - f, "html")) {
                htmlDtd = true;
                while (f < fend && !isSpace(t[f]))
                    f++;
                while (f < fend && isSpace(t[f]))
                    f++;
                if (fend - f >= 3 && t[f] >= u'0' && t[f] <= u'9') {
                    if (t[f] >= u'4' && t[f + 1] == u'.')
                        v4 = true;
                    else
                        v4 = t[f + 1] >= u'0' && t[f + 1] <= u'9';
                    while (f < fend && !isSpace(t[f]))
                        f++;
                    while (f < fend && isSpace(t[f]))
                        f++;
                }
                size_t rest = fend - f;
                if (rest >= 8 && startsWith(t + f, rest, "frameset"))
                    variant = 2;
                else if (rest >= 12 && startsWith(t + f, rest, "transitional"))
                    variant = 1;
                else if (rest >= 6 && startsWith(t + f, rest, "strict"))
                    variant = 3;
            }
        }
        // The system identifier.
        skipSpace();
        if (i < n && t[i] == u'"') {
            size_t sys = i;
            size_t e = i + 1;
            while (e < n && t[e] != u'"')
                e++;
            if (e >= n) {
                i = n;
            } else {
                i = e + 1;
                for (size_t k = sys; k + 4 <= n; k++)
                    if (t[k] == u'.' && t[k + 1] == u'd' && t[k + 2] == u't' && t[k + 3] == u'd')
                        dtdFile = true;
            }
        }
    }
decide:
    if (i >= n)
        return -1;
    if (htmlDtd && (!v4 || (!dtdFile && (variant == 1 || variant == 2))))
        return Html_modeQuirks;
    return Html_modeStandards;
}

// -------------------------------------------------------- ending elements

// Forgets the open option.
static void closeOption(HtmlParser *p)
{
    p->inOption = 0;
    p->optionHasValue = 0;
    p->optionControl = nullptr;
    p->optionLength = 0;
    if (p->optionNode)
        Edr_Node_release(p->doc, p->optionNode);
    p->optionNode = nullptr;
}

int Html_endElement(EngineContext *context, HtmlParser *p, int implicit, uint32_t id)
{
    int err = Res_ok;
    // End actions.
    switch (id) {
    case HtmlEl_Head:
        p->keepRaw = 0;
        p->charsetConfirmed = 1;
        break;
    case HtmlEl_Option:
        // An option without a value attribute takes its text as its value.
        if (p->inOption && !p->optionHasValue && p->optionControl)
            err = Form_ctlSetDefault(p->optionControl, p->optionText, p->optionLength);
        closeOption(p);
        break;
    case HtmlEl_Frameset:
        if (p->layout)
            FrameSet_close(p->layout);
        break;
    case HtmlEl_Applet:
    case HtmlEl_Object: err = Plugin_end(context, p); break;
    case HtmlEl_Form:
        // Only an explicit end tag ends the form.
        if (!implicit && p->open[HtmlEl_Form] == 1)
            err = Form_finishCurrent(p->doc);
        break;
    case HtmlEl_Button:
        p->inButton = 0;
        p->buttonControl = nullptr;
        break;
    case HtmlEl_Optgroup: p->inOptgroup = 0; break;
    case HtmlEl_Select:
        closeOption(p);
        // The select shows its default option.
        if (p->inSelect && p->selectControl)
            err = Form_listShowSelected(static_cast<FormWidget *>(p->selectControl));
        p->inSelect = 0;
        p->selectControl = nullptr;
        break;
    case HtmlEl_Textarea:
        p->inTextarea = 0;
        p->textareaControl = nullptr;
        break;
    case HtmlEl_Map: p->mapFinished = 1; break;
    case HtmlEl_Q:
        err = Edr_Node_createText(p->doc, p->current, Edr_Insert_lastChild, nullptr, u"\"", 1);
        break;
    case HtmlEl_Table:
        if (p->tableDepth)
            p->tableDepth--;
        break;
    default: break;
    }
    if (err)
        return err;
    if (Html_inSet(HtmlSet_void, id))
        return Res_ok;
    Edr_Node *parent = nullptr;
    if (p->body && p->current == p->body) {
        err = Edr_Node_acquire(p->doc, p->body, &parent);
    } else {
        err = Edr_Node_getParent(p->doc, p->current, &parent);
        if (err == Res_ok && !parent)
            err = Html_errNoParent;
    }
    if (err)
        return err;
    uint32_t cur = p->element;
    bool match = cur == id || (cur == HtmlEl_IfComment && id == HtmlEl_EndifComment) ||
                 (cur == HtmlEl_If && id == HtmlEl_Endif) ||
                 ((cur == HtmlEl_Cdata || cur == HtmlEl_Ignore || cur == HtmlEl_Include) &&
                  id == HtmlEl_MarkEnd);
    if (!match) {
        Edr_Node_release(p->doc, parent);
        return Res_ok;
    }
    if (cur <= Html_elementCount && p->open[cur] > 0)
        p->open[cur]--;
    setCurrent(p, parent);
    return Res_ok;
}

// ------------------------------------------------------- implied closes

int Html_impliedClose(EngineContext *context, HtmlParser *p, int end, uint32_t id)
{
    for (;;) {
        size_t left = Task_stackLeft(context, nullptr);
        if (left && left <= p->stackMargin)
            return Html_errTooDeep;
        Task_yield(context);
        uint32_t cur = p->element;
        Edr_Node *curNode = p->current;
        p->tagDropped = 1;
        if (end && Html_inSet(HtmlSet_void, id))
            return Res_ok;
        if (!p->tableDepth && isTablePart(id))
            return Res_ok;
        if (end && id == HtmlEl_Form && p->open[HtmlEl_Form] > 1) {
            p->open[HtmlEl_Form]--;
            return Res_ok;
        }
        if (end && Html_inSet(HtmlSet_blockBreaker, id) && p->open[id] <= 0)
            return Res_ok;
        p->tagDropped = 0;
        if (end && ((cur == HtmlEl_IfComment && id == HtmlEl_EndifComment) ||
                    (cur == HtmlEl_If && id == HtmlEl_Endif) ||
                    ((cur == HtmlEl_Cdata || cur == HtmlEl_Ignore || cur == HtmlEl_Include) &&
                     id == HtmlEl_MarkEnd)))
            return Res_ok;
        if (end && id == cur) {
            if (Html_inSet(HtmlSet_formatting, id))
                Html_popFormatting(p, id);
            return Res_ok;
        }
        int err = Res_ok;
        if (Html_closes(end, id, cur)) {
            if ((err = Html_endElement(context, p, 1, cur)))
                return err;
            if (p->current == curNode)
                return Res_ok; // nothing could be closed
            continue;
        }
        if (!end) {
            if (cur == HtmlEl_Html && id != HtmlEl_Body && id != HtmlEl_Head &&
                id != HtmlEl_Frameset) {
                bool inHead = id == HtmlEl_Base || id == HtmlEl_Link || id == HtmlEl_Meta ||
                              id == HtmlEl_Noscript || id == HtmlEl_Script || id == HtmlEl_Style ||
                              id == HtmlEl_Title;
                return Html_handleTag(context, p, nullptr, 0, inHead ? HtmlEl_Head : HtmlEl_Body,
                                      nullptr, 0);
            }
            if (Html_inSet(HtmlSet_blockBreaker, id)) {
                bool reopened = false;
                for (uint32_t f : Html_reopenOrder)
                    if (f == cur && p->open[f] > 0) {
                        p->reopen[f]++;
                        p->reopenPending++;
                        if ((err = Html_endElement(context, p, 1, cur)))
                            return err;
                        reopened = p->current != curNode;
                        break;
                    }
                if (reopened)
                    continue;
                return Res_ok;
            }
            if ((id == HtmlEl_Td || id == HtmlEl_Th) &&
                (cur == HtmlEl_Table || cur == HtmlEl_Tbody || cur == HtmlEl_Tfoot ||
                 cur == HtmlEl_Thead))
                return Html_handleTag(context, p, nullptr, 0, HtmlEl_Tr, nullptr, 0);
            return Res_ok;
        }
        if (Html_inSet(HtmlSet_formatting, cur) && p->open[cur] > 0) {
            p->reopen[cur]++;
            p->reopenPending++;
            if ((err = Html_endElement(context, p, 1, cur)))
                return err;
            if (p->current == curNode)
                return Res_ok;
            continue;
        }
        if (id == HtmlEl_Table && p->tableDepth &&
            (cur == HtmlEl_A || cur == HtmlEl_Span || cur == HtmlEl_Td || cur == HtmlEl_Tr)) {
            if ((err = Html_endElement(context, p, 1, cur)))
                return err;
            if (p->current == curNode)
                return Res_ok;
            continue;
        }
        return Res_ok;
    }
}

// ------------------------------------------------------------ start tags

// Places a frame (or a frameset inside a frameset) in the rows of the open
// frame set: each row is a group of its own, holding as many frames as the
// set's cols list has entries.
static int placeInRow(HtmlParser *p)
{
    if (!p->layout)
        return Res_ok;
    int32_t cursor = FrameState_cursor(p->layout);
    if (cursor > 0 && cursor < FrameState_rowLength(p->layout)) {
        FrameState_setCursor(p->layout, cursor + 1);
        return Res_ok;
    }
    int err = Res_ok;
    if (cursor > 0) {
        // The row is full: the next one starts beside it.
        Edr_Node *parent = nullptr;
        if ((err = Edr_Node_getParent(p->doc, p->current, &parent)))
            return err;
        if (!parent)
            return Html_errNoParent;
        if (p->element == HtmlEl_Okalafh && p->open[HtmlEl_Okalafh] > 0)
            p->open[HtmlEl_Okalafh]--;
        setCurrent(p, parent);
    }
    Edr_Node *row = nullptr;
    // The row lays its frames out side by side by its own display.
    if ((err = Html_applyDefaultStyle(p, HtmlEl_Okalafh)) ||
        (err = newGroup(p, HtmlEl_Okalafh, &row)))
        return err;
    setCurrent(p, row);
    if (p->open[HtmlEl_Okalafh] < INT16_MAX)
        p->open[HtmlEl_Okalafh]++;
    FrameState_setCursor(p->layout, 1);
    return Res_ok;
}

// An inline frame holds a document of its own, of the frame's size and
// margins (pixels), which its src loads into.
static int openInlineFrame(EngineContext *ctx, HtmlParser *p, Edr_Node *node, const char16_t *tag,
                           const HtmlTagSpan *attrs, uint32_t count)
{
    int32_t words[4] = {-1, -1, -1, -1};
    static const uint32_t names[4] = {HtmlAttr_width, HtmlAttr_height, HtmlAttr_marginheight,
                                      HtmlAttr_marginwidth};
    for (int i = 0; i < 4 && tag && attrs; i++) {
        size_t n = 0;
        const char16_t *v = Html_getAttrTrimmed(tag, attrs, count, names[i], &n);
        if (v)
            words[i] = Html_getAttrInches(v, n);
    }
    int err = Res_ok;
    Url *source = Html_sourceUrl(ctx, p, tag, attrs, count, &err);
    if (!err)
        err = Html_createSubdocument(ctx, p->doc, 1, node, words[0], words[1], words[2], words[3],
                                     1, source);
    Url_free(source);
    return err;
}

int Html_handleTag(EngineContext *context, HtmlParser *p, const HtmlTagSpan *attrs, uint32_t count,
                   uint32_t id, const char16_t *tag, size_t tagLength)
{
    Edr_Doc *doc = p->doc;
    // 1. Once-only elements.
    if (Html_inSet(HtmlSet_onceOnly, id) && seenBit(p->seen, id)) {
        Edr_Node *first = id == HtmlEl_Body   ? p->body
                          : id == HtmlEl_Head ? p->head
                          : id == HtmlEl_Html ? p->html
                                              : nullptr;
        if (first && attrs)
            return Html_applyAttributes(context, tag, p, first, id, attrs, count);
        return Res_ok;
    }
    setBit(p->seen, id);
    // 2. A frame-set document holds frames only.
    if (FrameState_framesOnly(p->layout) && id != HtmlEl_Frame && id != HtmlEl_Frameset)
        return Res_ok;
    // 3. Inside a select only its parts count; inside another control no
    // control starts.
    if (p->inSelect) {
        if (id != HtmlEl_Optgroup && id != HtmlEl_Option && id != HtmlEl_Select &&
            id != HtmlEl_Script)
            return Res_ok;
    } else if ((p->inButton || p->inTextarea) && Html_inSet(HtmlSet_formControl, id)) {
        return Res_ok;
    }
    // 4. Actions before the node is made.
    int err = Res_ok;
    switch (id) {
    case HtmlEl_Object:
    case HtmlEl_Applet:
    case HtmlEl_Embed:
        if ((err = Plugin_begin(p)))
            return err;
        break;
    case HtmlEl_Map:
        // Only a named map collects areas (its name opens it).
        p->mapFinished = 1;
        break;
    case HtmlEl_Area:
        // Areas belong to the map open around them.
        if (!p->openMap || p->mapFinished)
            return Res_ok;
        if ((err = Html_mapAddArea(p->openMap)))
            return err;
        break;
    case HtmlEl_Body:
        if (FrameState_refusesFrames(p->layout))
            return Res_ok;
        if (p->layout)
            FrameState_markBody(p->layout);
        break;
    case HtmlEl_Frame:
        if (FrameState_refusesFrames(p->layout))
            return Res_ok;
        if ((err = placeInRow(p)) || (p->layout && (err = FrameSet_placeFrame(p->layout))))
            return err;
        break;
    case HtmlEl_Frameset:
        if (FrameState_refusesFrames(p->layout) ||
            (p->layout && FrameState_isOutsideFrameset(p->layout)))
            return Res_ok;
        // A frame set inside a frame set fills the next cell.
        if ((p->element == HtmlEl_Frameset || p->element == HtmlEl_Okalafh) &&
            ((err = placeInRow(p)) || (p->layout && (err = FrameSet_placeFrame(p->layout)))))
            return err;
        if ((err = Html_applyDefaultStyle(p, p->element)) ||
            (err = FrameState_startFrameset(p->layout)))
            return err;
        break;
    case HtmlEl_Button: p->inButton = 1; break;
    case HtmlEl_Textarea: p->inTextarea = 1; break;
    case HtmlEl_Select:
        if (p->inSelect) {
            // A select inside a select ends the open one, as its end tag
            // would, and makes nothing.
            if ((err = Html_impliedClose(context, p, 1, HtmlEl_Select)))
                return err;
            if (p->element == HtmlEl_Select)
                return Html_endElement(context, p, 0, HtmlEl_Select);
            closeOption(p);
            p->inSelect = 0;
            p->selectControl = nullptr;
            return Res_ok;
        }
        p->inSelect = 1;
        break;
    case HtmlEl_IfComment:
    case HtmlEl_If:
        if (tag)
            Html_readCondition(p, tag, attrs, count);
        break;
    case HtmlEl_Doctype:
        if (!p->tagSeen && tag && !p->fragment) {
            int mode = Html_doctypeMode(tag, tagLength);
            if (mode >= 0 && (err = Edr_Doc_setMode(doc, uint32_t(mode))))
                return err;
        }
        break;
    case HtmlEl_Option: {
        if (!p->inSelect)
            return Res_ok;
        closeOption(p);
        size_t n = 0;
        p->inOption = 1;
        p->optionHasValue = Html_getAttr(tag, attrs, count, HtmlAttr_value, &n) != nullptr;
        break;
    }
    case HtmlEl_Optgroup: return Res_ok; // the options inside it still count
    case HtmlEl_Table: p->tableDepth++; break;
    default:
        if (!p->tableDepth && isTablePart(id))
            return Res_ok;
        break;
    }
    // 5. A form inside a form only counts.
    if (id == HtmlEl_Form && p->open[HtmlEl_Form] > 0) {
        p->open[HtmlEl_Form]++;
        return Res_ok;
    }
    // 6. The group.
    Edr_Node *node = nullptr;
    if ((err = newGroup(p, id, &node)))
        return err;
    if (id == HtmlEl_Option && p->inOption && (err = Edr_Node_acquire(doc, node, &p->optionNode))) {
        Edr_Node_release(doc, node);
        return err;
    }
    if (id == HtmlEl_Q)
        err = Edr_Node_createText(doc, node, Edr_Insert_lastChild, nullptr, u"\"", 1);
    // 7. A form-control element gets its control, a form its record.
    if (err == Res_ok)
        err = Html_makeControl(p, id, node, tag, attrs, count);
    if (err == Res_ok && (id == HtmlEl_Object || id == HtmlEl_Applet || id == HtmlEl_Embed))
        err = Plugin_setNode(p->plugin, doc, node);
    // 8. An image waits for its source.
    // Its src gives the picture unless images are off.
    if (err == Res_ok && (id == HtmlEl_Img)) {
        Url *url = p->imagesEnabled ? Html_sourceUrl(context, p, tag, attrs, count, &err) : nullptr;
        if (!url && !err && !(url = Url_new(u"")))
            err = Res_noMemory;
        const int32_t placement[5] = {0x60, 0, 0, 0, 0};
        if (!err)
            err = Edr_Node_createImage(doc, node, Edr_Insert_lastChild, nullptr, url, placement,
                                       p->animationsEnabled ? 0x21C : 0x204);
        Url_free(url);
    }
    // 9. Counts, the formatting stack, attributes and default style.
    if (err == Res_ok) {
        if (p->open[id] < INT16_MAX)
            p->open[id]++;
        if (Html_inSet(HtmlSet_formatting, id))
            err = Html_pushFormatting(p, id, node);
    }
    // A tag without attributes has nothing to apply, except a marquee,
    // which always gets its record, and a list inside a list, which takes
    // the next bullet and no space above and below.
    if (err == Res_ok && attrs &&
        (count || id == HtmlEl_Marquee ||
         ((id == HtmlEl_Ul || id == HtmlEl_Ol) && Html_listNesting(p) > 1)))
        err = Html_applyAttributes(context, tag, p, node, id, attrs, count);
    if (err == Res_ok && !p->restartRequested)
        err = Html_applyControlAttributes(p, id, node, tag, attrs, count);
    if (err == Res_ok)
        err = Html_applyDefaultStyle(p, id);
    // 10. A restart throws everything away.
    if (err || p->restartRequested) {
        Edr_Node_release(doc, node);
        return err;
    }
    // 12. The once-only nodes are remembered; an iframe holds a document.
    Edr_Node **keep = id == HtmlEl_Html   ? &p->html
                      : id == HtmlEl_Head ? &p->head
                      : id == HtmlEl_Body ? &p->body
                                          : nullptr;
    if (keep && !*keep)
        err = Edr_Node_acquire(doc, node, keep);
    if (err == Res_ok && id == HtmlEl_Iframe)
        err = openInlineFrame(context, p, node, tag, attrs, count);
    // 11. A non-void element becomes the current one; an embed is a whole
    // object.
    if (err == Res_ok && id == HtmlEl_Embed)
        err = Plugin_end(context, p);
    if (Html_inSet(HtmlSet_void, id))
        Edr_Node_release(doc, node);
    else
        setCurrent(p, node);
    return err;
}

// ----------------------------------------------------------- tag handling

int Html_insertText(EngineContext *, HtmlParser *p, HtmlInput *in, const char16_t *text,
                    size_t length)
{
    if (!length)
        return Res_ok;
    size_t need = in->end + length;
    if (need > in->capacity) {
        size_t cap = in->capacity ? in->capacity : 1024;
        while (cap < need)
            cap *= 2;
        auto *b = static_cast<char16_t *>(Mem_realloc(in->buf, cap * sizeof(char16_t)));
        if (!b)
            return Res_noMemory;
        in->buf = b;
        in->capacity = cap;
    }
    memmove(in->buf + in->scan + length, in->buf + in->scan,
            (in->end - in->scan) * sizeof(char16_t));
    memcpy(in->buf + in->scan, text, length * sizeof(char16_t));
    in->end += length;
    if (in->insertEnd) {
        in->insertEnd += length;
    } else {
        in->insertEnd = in->scan + length;
        if (p->open[HtmlEl_IfComment] < INT16_MAX)
            p->open[HtmlEl_IfComment]++;
    }
    return Res_ok;
}

static int reparse(EngineContext *ctx, HtmlParser *p, HtmlInput *in, const RawText &raw)
{
    if (!raw.length)
        return Res_ok;
    auto *copy = static_cast<char16_t *>(Mem_malloc(raw.length * sizeof(char16_t)));
    if (!copy)
        return Res_noMemory;
    memcpy(copy, raw.text, raw.length * sizeof(char16_t));
    int err = Html_insertText(ctx, p, in, copy, raw.length);
    Mem_free(copy);
    return err;
}

static int setTitle(HtmlParser *p, const RawText &raw)
{
    char16_t *have = nullptr;
    int err = Edr_Doc_copyAuxText(p->doc, &have);
    bool exists = have && have[0];
    Mem_free(have);
    if (err || exists)
        return err;
    auto *copy = static_cast<char16_t *>(Mem_malloc((raw.length + 1) * sizeof(char16_t)));
    if (!copy)
        return Res_noMemory;
    if (raw.length)
        memcpy(copy, raw.text, raw.length * sizeof(char16_t));
    size_t n = Html_decodeRefs(copy, raw.length);
    err = n ? Edr_Doc_setAuxText(p->doc, copy, uint32_t(n)) : Res_ok;
    Mem_free(copy);
    return err;
}

int Html_emitTag(EngineContext *context, HtmlParser *p, HtmlInput *in, int selfClosed)
{
    char16_t *tag = in->buf + in->tagStart;
    size_t tagLength = in->scan - in->tagStart;
    const HtmlTagSpan *t = p->tags;
    const char16_t *name = t[0].nameStart >= 0 ? tag + t[0].nameStart : tag;
    size_t nameLength = t[0].nameStart >= 0 ? t[0].nameLength : 0;
    // 1. and 2. Start or end, and the element.
    int end = 0;
    if (nameLength && name[0] == u'/') {
        end = 1;
        name++;
        nameLength--;
    }
    uint32_t id = Html_elementId(name, nameLength);
    if (id == HtmlEl_Endif || id == HtmlEl_EndifComment || id == HtmlEl_MarkEnd)
        end = 1;
    // 3. Inside raw text only the element's own end counts.
    RawText raw{nullptr, 0};
    uint32_t cur = p->element;
    int err = Res_ok;
    if (Html_inSet(HtmlSet_raw, cur)) {
        if (!end || !Html_closes(1, id, cur) || !Html_inSet(HtmlSet_raw, id))
            return Res_ok;
        raw.text = in->buf + in->textStart;
        raw.length = in->tagStart > in->textStart ? in->tagStart - in->textStart : 0;
        if (cur == HtmlEl_Plaintext || cur == HtmlEl_Xmp) {
            err = Html_flushText(p, raw.text, raw.length);
            raw.length = 0;
        } else if (cur == HtmlEl_Textarea) {
            // The text area's text belongs to its control.
            err = Html_finishTextArea(p, raw.text, raw.length);
            raw.length = 0;
        }
    } else if (in->tagStart > in->textStart) {
        // 4. The pending text.
        err = Html_flushText(p, in->buf + in->textStart, in->tagStart - in->textStart);
    }
    in->textStart = in->scan;
    if (err)
        return err;
    // 5. Unknown elements.
    if (!id)
        return Res_ok;
    // 6. End tags without an open element.
    if (end) {
        bool open;
        if (isHeading(id)) {
            open = false;
            for (uint32_t h = HtmlEl_H1; h <= HtmlEl_H6; h++)
                open = open || p->open[h] > 0;
        } else if (id == HtmlEl_MarkEnd) {
            open = p->open[HtmlEl_Cdata] > 0 || p->open[HtmlEl_Ignore] > 0 ||
                   p->open[HtmlEl_Include] > 0;
        } else if (id == HtmlEl_Endif) {
            open = p->open[HtmlEl_If] > 0;
        } else if (id == HtmlEl_EndifComment) {
            open = p->open[HtmlEl_IfComment] > 0;
        } else if (id == HtmlEl_Br) {
            open = true;
        } else {
            open = p->open[id] > 0;
        }
        if (!open)
            return Res_ok;
    } else if ((id == HtmlEl_IfComment || id == HtmlEl_If) && p->open[HtmlEl_IfComment] > 0) {
        return Res_ok;
    }
    // An end tag br is a line break.
    if (end && id == HtmlEl_Br)
        end = 0;
    // 7. Implied closes.
    p->tagDropped = 0;
    if ((err = Html_impliedClose(context, p, end, id)))
        return err;
    if (p->tagDropped)
        return Res_ok;
    bool ends = end != 0;
    if (!end) {
        // 8. The start tag.
        if ((err = Html_handleTag(context, p, t, p->tagCount, id, tag, tagLength)))
            return err;
        ends = selfClosed && Html_inSet(HtmlSet_selfClosable, id);
    }
    if (ends) {
        // 9. and 10. The end and the end actions on the raw text. A style
        // element (or an element around it) may name the media it is for.
        bool ignoreStyle = false;
        if (id == HtmlEl_Style && p->element == HtmlEl_Style && p->current) {
            char16_t *media = Edr_Node_findInheritedString(p->doc, p->current, HtmlAttr_media);
            ignoreStyle = media && !Css_mediaListApplies(media, Ustr_len(media));
            Mem_free(media);
        }
        if ((err = Html_endElement(context, p, 0, id)))
            return err;
        switch (id) {
        case HtmlEl_Noscript: err = reparse(context, p, in, raw); break;
        case HtmlEl_Endif:
        case HtmlEl_EndifComment:
            if (Html_evalCondition(p))
                err = reparse(context, p, in, raw);
            break;
        case HtmlEl_Title: err = setTitle(p, raw); break;
        case HtmlEl_Style:
            if (!ignoreStyle && raw.length)
                err = Css_parseStyleElement(context, p->doc, raw.text, raw.length);
            break;
        default: break;
        }
        if (err)
            return err;
    }
    // 11. Formatting elements closed around this tag open again.
    in->textStart = in->scan;
    if (id != HtmlEl_Script && id != HtmlEl_Style)
        err = Html_reopenFormatting(p);
    return err;
}

// --------------------------------------------------------------- finish

int Html_parserFinish(EngineContext *context, HtmlParser *p, int fragment)
{
    int err = Res_ok;
    if (!fragment && p->doc && Edr_Doc_getMode(p->doc) == Html_modeQuirks)
        err = Css_parseStyleSheetText(context, p->doc, nullptr, p->styles, kQuirksTableRule,
                                      sizeof(kQuirksTableRule) / sizeof(char16_t) - 1, nullptr,
                                      nullptr);
    Edr_Node **held[] = {&p->current, &p->html, &p->head, &p->body, &p->top};
    for (Edr_Node **h : held) {
        if (*h)
            Edr_Node_release(p->doc, *h);
        *h = nullptr;
    }
    for (uint32_t id = 0; id <= Html_elementCount; id++)
        while (p->stacks[id])
            Html_popFormatting(p, id);
    while (HtmlNodeCell *cell = p->spareCells) {
        p->spareCells = cell->next;
        Mem_free(cell);
    }
    closeOption(p);
    Mem_free(p->optionText);
    p->optionText = nullptr;
    p->optionCapacity = 0;
    Html_mapListFree(p->maps);
    Html_mapUseListFree(p->doc, p->mapUses);
    p->maps = p->openMap = nullptr;
    p->mapUses = nullptr;
    Plugin_free(p->plugin);
    p->plugin = nullptr;
    Url_free(p->refreshUrl);
    p->refreshUrl = nullptr;
    Mem_free(p->fetchedText);
    p->fetchedText = nullptr;
    p->fetchedLength = 0;
    Url_free(p->fetchedUrl);
    p->fetchedUrl = nullptr;
    if (p->styles)
        Request_release(p->styles);
    p->styles = nullptr;
    Mem_free(p->tags);
    p->tags = nullptr;
    p->tagCount = p->tagCapacity = 0;
    return err;
}
