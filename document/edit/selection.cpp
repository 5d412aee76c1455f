// The selection: records, the builders of the selection modes, drawing of
// the highlight and the caret, and extension to a page point.
#include "document/edit/selection.h"

#include <algorithm>

#include "core/context/context.h"
#include "core/config/config.h"
#include "core/container/array.h"
#include "core/container/obj.h"
#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/stylerule.h"
#include "core/text/cstr.h"
#include "core/text/ustr.h"
#include "document/edit/edit_internal.h"
#include "document/edr/appdoc.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/edr/page.h"
#include "document/edr/pageview.h"
#include "document/edr/requests.h"
#include "document/edr/viewops.h"
#include "document/style/lookup.h"
#include "fonts/textrun.h"
#include "graphics/rectlist.h"
#include "platform/api/request.h"
#include "platform/vfs/helpers.h"

namespace {

// Units that end a word besides ASCII punctuation, sorted.
constexpr uint16_t wordBreakTable[55] = {
    0x201C, 0x201D, 0x3001, 0x3002, 0x3008, 0x3009, 0x300A, 0x300B, 0x300C, 0x300D, 0x300E,
    0x300F, 0x3010, 0x3011, 0x301C, 0x301D, 0x301E, 0x301F, 0xFF01, 0xFF02, 0xFF03, 0xFF04,
    0xFF05, 0xFF06, 0xFF07, 0xFF08, 0xFF09, 0xFF0A, 0xFF0B, 0xFF0C, 0xFF0D, 0xFF0E, 0xFF0F,
    0xFF1A, 0xFF1B, 0xFF1C, 0xFF1D, 0xFF1E, 0xFF1F, 0xFF20, 0xFF3B, 0xFF3C, 0xFF3D, 0xFF3E,
    0xFF3F, 0xFF5B, 0xFF5C, 0xFF5D, 0xFF5E, 0xFF5F, 0xFF60, 0xFF61, 0xFF62, 0xFF63, 0xFF64,
};
constexpr uint16_t sentenceEndTable[7] = {0x21, 0x2E, 0x3F, 0x3002, 0xFF01, 0xFF1F, 0xFF61};

enum : uint32_t { propHiddenKind = 34, propWholeObject = 123, stopVisit = 0x7FFF0001 };

bool isSeparator(char16_t c)
{
    return Edr_Sel_isWhiteSpace(c) || Edr_Sel_isWordBreak(c);
}

Edr_Selection *current(Edr_Doc *doc)
{
    return doc->pageList ? doc->pageList->selection : nullptr;
}

// The corners of a run's box (or part of it) in page coordinates, ordered.
void toPage(const LaidOutTextRun *run, int32_t x0, int32_t y0, int32_t x1, int32_t y1, bool inverse,
            Rect *out)
{
    Point a = {x0, y0}, b = {x1, y1};
    if (run->matrix) {
        if (inverse) {
            Matrix_untransformPoint(&a, x0, y0, run->matrix);
            Matrix_untransformPoint(&b, x1, y1, run->matrix);
        } else {
            Matrix_transformPoint(&a, x0, y0, run->matrix);
            Matrix_transformPoint(&b, x1, y1, run->matrix);
        }
    }
    a.x += run->translation[0];
    b.x += run->translation[0];
    a.y += run->translation[1];
    b.y += run->translation[1];
    *out = {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

// ----------------------------------------------------------- collecting

struct CollectCtx {
    Edr_Doc *doc;
    Edr_Node *block;
    int selectableOnly;
    Edr_NodeList *list;
};

int collectVisitor(Edr_Node *node, int *, int *skip, void *context)
{
    CollectCtx *c = static_cast<CollectCtx *>(context);
    uint32_t type = Edr_Node_type(node);
    if (c->selectableOnly && type != Edr_NodeType_group && !Edr_Sel_isSelectable(c->doc, node))
        return Res_ok;
    if (type == Edr_NodeType_text) {
        int flag = 1;
        if (int err = Edr_Doc_testNodeChain(c->doc, node, &flag))
            return err;
        return flag ? Edr_NodeList_append(c->doc, c->list, node) : Res_ok;
    }
    if (type == Edr_NodeType_group) {
        if (node == c->block)
            return Res_ok;
        Edr_Node *own = nullptr;
        if (int err = Edr_Style_findAncestorByProp34(c->doc, node, &own))
            return err;
        if (own == node && Edr_Node_group(node)->element != Edr_Node_group(c->block)->element)
            *skip = 1;
        Edr_Node_dropRefOpt(c->doc, own);
        return Res_ok;
    }
    if (type == Edr_NodeType_path)
        return Edr_NodeList_append(c->doc, c->list, node);
    Edr_Node *parent = Edr_Node_parent(node);
    Edr_Node *first = parent && Edr_Node_type(parent) == Edr_NodeType_group
                          ? Edr_Node_firstChild(parent)
                          : nullptr;
    if (first && (Edr_Node_type(first) == Edr_NodeType_picture ||
                  Edr_Node_type(first) == Edr_NodeType_image))
        return Edr_NodeList_append(c->doc, c->list, node);
    return Res_ok;
}

// ------------------------------------------------------------- builders

struct Build {
    Edr_Doc *doc;
    Edr_Node *block;
    Edr_Node *node;
    uint32_t hit;
    uint32_t caret;
    Edr_NodeList all; // the block's collected nodes
    Edr_Selection *rec;
};

int32_t indexOf(const Edr_NodeList *list, const Edr_Node *node)
{
    for (uint32_t i = 0; i < list->count; i++)
        if (list->items[i] == node)
            return int32_t(i);
    return -1;
}

bool isText(Edr_Node *n)
{
    return Edr_Node_type(n) == Edr_NodeType_text;
}

uint32_t lastTextLength(const Edr_NodeList *list)
{
    for (uint32_t i = list->count; i-- > 0;)
        if (isText(list->items[i]))
            return Edr_Sel_textOf(list->items[i]).length;
    return 0;
}

int buildSingle(Build *b, uint32_t start, uint32_t end)
{
    b->rec->startOffset = start;
    b->rec->endOffset = end;
    return Edr_NodeList_append(b->doc, &b->rec->nodes, b->node);
}

int buildBlock(Build *b)
{
    for (uint32_t i = 0; i < b->all.count; i++)
        if (int err = Edr_NodeList_append(b->doc, &b->rec->nodes, b->all.items[i]))
            return err;
    b->rec->endOffset = lastTextLength(&b->all);
    return Res_ok;
}

uint32_t runIdOf(Edr_Node *n)
{
    Edr_Node *g = Edr_Node_type(n) == Edr_NodeType_group ? n : Edr_Node_parent(n);
    return Edr_Sel_firstIdOf(g);
}

int buildRun(Build *b)
{
    uint32_t from = 0, to = 0;
    bool met = false, haveId = false;
    uint32_t id = 0;
    Edr_Doc_readLock(b->doc);
    for (uint32_t i = 0; i < b->all.count; i++) {
        uint32_t k = runIdOf(b->all.items[i]);
        if (haveId && k != id) {
            if (met)
                break;
            from = i;
        }
        haveId = true;
        id = k;
        met = met || b->all.items[i] == b->node;
        to = i + 1;
    }
    Edr_Doc_readUnlock(b->doc);
    for (uint32_t i = from; i < to; i++)
        if (int err = Edr_NodeList_append(b->doc, &b->rec->nodes, b->all.items[i]))
            return err;
    b->rec->endOffset = lastTextLength(&b->rec->nodes);
    return Res_ok;
}

// The word and sentence builders share their frame: a list that restarts,
// the start offset in its first node and the end in its last visible one.
struct Scan {
    Build *b;
    Edr_NodeList out;
    uint32_t start; // in the list's first node
    uint32_t end;
    int err;
};

void restart(Scan *s)
{
    Edr_NodeList_clear(s->b->doc, &s->out);
}

void add(Scan *s, Edr_Node *n)
{
    if (!s->err)
        s->err = Edr_NodeList_append(s->b->doc, &s->out, n);
}

// Word: see the header. Mode 1.
int buildWord(Build *b, bool sentence)
{
    Scan s = {b, {}, 0, 0, 0};
    Edr_Doc *doc = b->doc;
    uint32_t pending = 0;
    int32_t target = indexOf(&b->all, b->node);
    bool afterEnd = false; // sentence: a sentence end was passed
    for (int32_t i = 0; i < target && !s.err; i++) {
        Edr_Node *n = b->all.items[i];
        if (!isText(n))
            continue;
        if (Edr_Sel_isHiddenText(doc, n)) {
            if (s.out.count)
                add(&s, n);
            continue;
        }
        Edr_TextSpan t = Edr_Sel_textOf(n);
        int32_t cut = -1;
        for (uint32_t k = 0; k < t.length; k++) {
            char16_t c = t.chars[k];
            if (!sentence) {
                if (isSeparator(c))
                    cut = int32_t(k);
            } else if (Edr_Sel_isSentenceEnd(c)) {
                afterEnd = true;
            } else if (!Edr_Sel_isWhiteSpace(c) && afterEnd) {
                afterEnd = false;
                cut = int32_t(k) - 1;
            }
        }
        if (cut >= 0) {
            restart(&s);
            pending = uint32_t(cut + 1) < t.length ? uint32_t(cut + 1) : 0;
            if (uint32_t(cut + 1) >= t.length)
                continue;
        }
        if (t.length == 0)
            continue;
        if (!s.out.count)
            s.start = cut >= 0 ? pending : 0;
        add(&s, n);
        pending = 0;
    }
    if (s.err) {
        restart(&s);
        return s.err;
    }

    // The target node.
    Edr_TextSpan t = Edr_Sel_textOf(b->node);
    uint32_t h = std::min(b->hit, t.length);
    int32_t cut = -1;
    bool hitBreak = !sentence && h < t.length && Edr_Sel_isWordBreak(t.chars[h]) &&
                    !Edr_Sel_isWhiteSpace(t.chars[h]);
    for (uint32_t k = 0; k < h; k++) {
        char16_t c = t.chars[k];
        if (!sentence) {
            if (isSeparator(c))
                cut = int32_t(k);
        } else if (Edr_Sel_isSentenceEnd(c)) {
            afterEnd = true;
        } else if (!Edr_Sel_isWhiteSpace(c) && afterEnd) {
            afterEnd = false;
            cut = int32_t(k) - 1;
        }
    }
    if (hitBreak)
        cut = int32_t(h) - 1;
    if (cut >= 0 || !s.out.count) {
        if (cut >= 0)
            restart(&s);
        s.start = cut >= 0 ? uint32_t(cut + 1) : (s.out.count ? s.start : 0);
    }
    add(&s, b->node);
    Edr_Node *endNode = b->node;
    s.end = h;

    // From the hit on: 0 in the word (or sentence), 1 trailing, 2 done.
    int mode = 0;
    auto step = [&](char16_t c, bool atHit) -> bool {
        if (!sentence) {
            if (mode == 0) {
                if (!isSeparator(c))
                    return true;
                mode = 1;
                if (atHit && !Edr_Sel_isWhiteSpace(c))
                    return true; // a break at the hit is the selection itself
            }
            if (c != Edr_Sel_lineBreak && Edr_Sel_isWhiteSpace(c))
                return true;
            mode = 2;
            return false;
        }
        if (mode == 0) {
            if (Edr_Sel_isSentenceEnd(c))
                mode = 1;
            return true;
        }
        if (Edr_Sel_isSentenceEnd(c) || Edr_Sel_isWhiteSpace(c))
            return true;
        mode = 2;
        return false;
    };
    for (uint32_t k = h; k < t.length && mode != 2; k++)
        if (step(t.chars[k], k == h))
            s.end = k + 1;
    for (int32_t i = target + 1; mode != 2 && i < int32_t(b->all.count) && !s.err; i++) {
        Edr_Node *n = b->all.items[i];
        if (!isText(n))
            break;
        if (Edr_Sel_isHiddenText(doc, n)) {
            add(&s, n);
            continue;
        }
        Edr_TextSpan u = Edr_Sel_textOf(n);
        if (u.length == 0)
            continue;
        if (!sentence && (u.chars[0] == Edr_Sel_lineBreak ||
                          (Edr_Sel_isWordBreak(u.chars[0]) && !Edr_Sel_isWhiteSpace(u.chars[0]))))
            break;
        uint32_t taken = 0;
        for (uint32_t k = 0; k < u.length && mode != 2; k++)
            if (step(u.chars[k], false))
                taken = k + 1;
        if (!taken)
            break;
        add(&s, n);
        endNode = n;
        s.end = taken;
    }
    // Hidden nodes behind the last visible one are dropped again.
    while (!s.err && s.out.count && s.out.items[s.out.count - 1] != endNode) {
        Edr_Node_dropRefOpt(doc, s.out.items[s.out.count - 1]);
        s.out.count--;
    }
    if (s.err) {
        restart(&s);
        return s.err;
    }
    Edr_NodeList_clear(doc, &b->rec->nodes);
    b->rec->nodes = s.out;
    b->rec->startOffset = s.start;
    b->rec->endOffset = s.end;
    return Edr_Sel_trimHidden(doc, b->rec);
}

// Lines: the run holding the hit fixes the line's top and bottom in the
// first view that shows it; every collected node with a run on that line
// joins.
struct LineCtx {
    Edr_Doc *doc;
    uint32_t hit;
    bool found;
    int32_t top, bottom;
    // second pass
    Edr_Selection *rec;
    bool any;
    bool onLine;
};

int lineBoundsVisitor(LaidOutTextRun *run, void *context)
{
    LineCtx *c = static_cast<LineCtx *>(context);
    uint32_t s = Edr_Sel_runStartOffset(c->doc, run);
    if (c->found || c->hit < s || c->hit >= s + run->length)
        return Res_ok;
    Rect r;
    toPage(run, run->corners[0], run->corners[1], run->corners[2], run->corners[3], true, &r);
    c->top = r.y0;
    c->bottom = r.y1;
    c->found = true;
    return stopVisit;
}

int lineNodesVisitor(LaidOutTextRun *run, void *context)
{
    LineCtx *c = static_cast<LineCtx *>(context);
    Rect r;
    toPage(run, run->corners[0], run->corners[1], run->corners[2], run->corners[3], true, &r);
    if (r.y0 >= c->bottom || r.y1 <= c->top)
        return Res_ok;
    uint32_t s = Edr_Sel_runStartOffset(c->doc, run);
    if (!c->onLine) {
        c->onLine = true;
        if (int err = Edr_NodeList_append(c->doc, &c->rec->nodes, run->node))
            return err;
    }
    if (!c->any)
        c->rec->startOffset = s;
    c->any = true;
    c->rec->endOffset = s + run->length;
    return Res_ok;
}

int buildLine(Build *b)
{
    LineCtx c = {};
    c.doc = b->doc;
    c.hit = b->hit;
    c.rec = b->rec;
    Edr_PageEntry *first = nullptr;
    int err = Edr_Page_findByIndex(&first, b->doc, 0, 0);
    if (err == Edr_Page_noSuchPage)
        return Res_ok;
    if (err)
        return err;
    PageView *line = nullptr;
    for (Edr_PageEntry *e = first; e && !line && !err; e = Edr_Page_nextEntry(e))
        for (PageView *v = e->views; v && !line && !err; v = v->next) {
            err =
                Edr_View_visitViewNodes(b->doc->app, v, b->node, lineBoundsVisitor, &c, nullptr, 0);
            if (err == int(stopVisit))
                err = Res_ok;
            if (c.found)
                line = v;
        }
    for (uint32_t i = 0; line && !err && i < b->all.count; i++) {
        Edr_Node *n = b->all.items[i];
        c.onLine = false;
        err = Edr_View_visitViewNodes(b->doc->app, line, n, lineNodesVisitor, &c, nullptr, 0);
        if (!err && !c.onLine && c.any && isText(n) && Edr_Sel_isHiddenText(b->doc, n))
            err = Edr_NodeList_append(b->doc, &b->rec->nodes, n);
    }
    Edr_Page_release(first, 0);
    return err ? err : Edr_Sel_trimHidden(b->doc, b->rec);
}

int buildExtended(Build *b, bool extend)
{
    Edr_Selection *cur = nullptr;
    int err = extend ? Edr_Sel_copy(b->doc, &cur) : Res_ok;
    if (err)
        return err;
    if (!cur || !cur->nodes.count) {
        Edr_Sel_free(b->doc, cur);
        b->rec->caretOffset = b->caret;
        b->rec->anchorAtEnd = 0;
        return buildSingle(b, b->caret, b->caret);
    }
    Edr_Node *anchor =
        cur->anchorAtEnd ? cur->nodes.items[cur->nodes.count - 1] : cur->nodes.items[0];
    uint32_t anchorOffset = cur->anchorAtEnd ? cur->endOffset : cur->startOffset;
    bool inside = Edr_Node_isWithin(b->doc, cur->nodes.items[0], b->block) != 0;
    int32_t ai = indexOf(&b->all, anchor), ni = indexOf(&b->all, b->node);
    if (!inside || ai < 0 || ni < 0) {
        Edr_Sel_free(b->doc, cur);
        Edr_Sel_free(b->doc, b->rec);
        b->rec = nullptr; // nothing built: the selection is cleared
        return Res_ok;
    }
    anchorOffset = std::min(anchorOffset, Edr_Sel_textOf(anchor).length);
    Edr_Sel_free(b->doc, cur);
    Edr_Selection *r = b->rec;
    uint32_t from, to;
    if (ai == ni) {
        r->startOffset = std::min(anchorOffset, b->caret);
        r->endOffset = std::max(anchorOffset, b->caret);
        r->anchorAtEnd = b->caret <= anchorOffset ? 1 : 0;
        from = to = uint32_t(ni);
    } else if (ni < ai) {
        r->startOffset = b->caret;
        r->endOffset = anchorOffset;
        r->anchorAtEnd = 1;
        from = uint32_t(ni);
        to = uint32_t(ai);
    } else {
        r->startOffset = anchorOffset;
        r->endOffset = b->caret;
        r->anchorAtEnd = 0;
        from = uint32_t(ai);
        to = uint32_t(ni);
    }
    for (uint32_t i = from; i <= to; i++)
        if ((err = Edr_NodeList_append(b->doc, &r->nodes, b->all.items[i])) != 0)
            return err;
    return Res_ok;
}

int runBuilder(Build *b, uint32_t mode)
{
    Edr_TextSpan t = Edr_Sel_textOf(b->node);
    switch (mode) {
    case Edr_SelMode_char: return buildSingle(b, b->hit, std::min(b->hit + 1, t.length));
    case Edr_SelMode_caret:
        b->rec->caretOffset = b->caret;
        return buildSingle(b, b->caret, b->caret);
    case Edr_SelMode_block: return buildBlock(b);
    case Edr_SelMode_run: return buildRun(b);
    case Edr_SelMode_word: return buildWord(b, false);
    case Edr_SelMode_sentence: return buildWord(b, true);
    case Edr_SelMode_line: return buildLine(b);
    case Edr_SelMode_extendStart:
    case Edr_SelMode_extend: return buildExtended(b, mode == Edr_SelMode_extend);
    default:
        Edr_Sel_free(b->doc, b->rec);
        b->rec = nullptr;
        return Res_ok;
    }
}

// ------------------------------------------------------------- drawing

struct DrawCtx {
    Edr_Doc *doc;
    const Edr_Selection *sel;
    RectList *list;
    uint32_t added;
};

int addRect(DrawCtx *c, const LaidOutTextRun *run, int32_t x0, int32_t x1)
{
    Rect r;
    toPage(run, run->corners[0] + x0, run->corners[1], run->corners[0] + x1, run->corners[3], false,
           &r);
    c->added++;
    return RectList_add(c->list, 0, r.x0, r.y0, r.x1, r.y1);
}

int runHighlightVisitor(LaidOutTextRun *run, void *context)
{
    DrawCtx *c = static_cast<DrawCtx *>(context);
    const Edr_Selection *sel = c->sel;
    bool isFirst = run->node == sel->nodes.items[0];
    bool isLast = run->node == sel->nodes.items[sel->nodes.count - 1];
    uint32_t s = Edr_Sel_runStartOffset(c->doc, run), len = run->length;
    int32_t whole = run->corners[2] - run->corners[0];
    auto x = [&](uint32_t offset) { return Edr_Sel_measurePrefix(run, offset - s); };
    if (isFirst && isLast) {
        uint32_t so = sel->startOffset, eo = sel->endOffset;
        if (so == eo && so == sel->caretOffset && so >= s && so <= s + len) {
            int32_t cx = so == s ? 0 : x(so);
            return addRect(c, run, cx, cx + (run->corners[3] - run->corners[1]) / 5);
        }
        int a = Edr_Sel_classifyOffset(c->doc, run, so),
            z = Edr_Sel_classifyOffset(c->doc, run, eo);
        if (a == 1 && z == 1)
            return addRect(c, run, x(so), x(eo));
        if (a == 1 && z == 0)
            return addRect(c, run, x(so), whole);
        if (a == 2 && z == 1)
            return addRect(c, run, 0, x(eo));
        if (a == 2 && z == 0)
            return addRect(c, run, 0, whole);
        return Res_ok;
    }
    if (isFirst) {
        int a = Edr_Sel_classifyOffset(c->doc, run, sel->startOffset);
        return a == 1   ? addRect(c, run, x(sel->startOffset), whole)
               : a == 2 ? addRect(c, run, 0, whole)
                        : 0;
    }
    if (isLast) {
        int z = Edr_Sel_classifyOffset(c->doc, run, sel->endOffset);
        return z == 1   ? addRect(c, run, 0, x(sel->endOffset))
               : z == 0 ? addRect(c, run, 0, whole)
                        : 0;
    }
    return addRect(c, run, 0, whole);
}

uint32_t channelUp(uint32_t v)
{
    return std::min<uint32_t>(v * 4 / 3, 255);
}

int draw(Edr_Doc *doc)
{
    Edr_Selection *sel = nullptr;
    int err = Edr_Sel_copy(doc, &sel);
    if (err || !sel || !sel->nodes.count) {
        Edr_Sel_free(doc, sel);
        return err;
    }
    Edr_Page_readLockList(doc);
    const HighlightStyle *view =
        doc->pageList ? static_cast<const HighlightStyle *>(doc->pageList->view) : nullptr;
    uint32_t active = view ? view->activeBorder : 0;
    Edr_Page_readUnlockList(doc);
    uint32_t fallback = channelUp(active >> 24) << 24 | channelUp(active >> 16 & 0xFF) << 16 |
                        channelUp(active >> 8 & 0xFF) << 8 | (active & 0xFF);
    EngineContext *app = Edr_Doc_getApp(doc);
    bool border = sel->startOffset == sel->endOffset && sel->nodes.count <= 1;
    uint32_t colour = Config_getInt(
        app, app ? app->config : nullptr, nullptr,
        border ? u"Vexlan_SelectionBorderColour" : u"Vexlan_SelectionFillColour", fallback);
    DrawCtx c = {doc, sel, nullptr, 0};
    if ((err = RectList_create(&c.list)) != 0) {
        Edr_Sel_free(doc, sel);
        return err;
    }
    Edr_PageEntry *first = nullptr;
    err = Edr_Page_findByIndex(&first, doc, 0, 0);
    if (err == Edr_Page_noSuchPage) {
        err = Res_ok;
        first = nullptr;
    }
    for (Edr_PageEntry *e = first; e && !err; e = Edr_Page_nextEntry(e))
        for (PageView *v = e->views; v && !err; v = v->next) {
            for (uint32_t i = 0; i < sel->nodes.count && !err; i++) {
                Edr_Node *n = sel->nodes.items[i];
                intptr_t ok = 1;
                if (!isText(n) || Edr_Doc_testNode(doc, intptr_t(n), &ok) != 0 || ok != 1)
                    continue;
                err = Edr_View_visitViewNodes(app, v, n, runHighlightVisitor, &c, nullptr, 0);
            }
            if (!err && c.added) {
                Path *path = nullptr;
                err = RectList_toPath(c.list, &path);
                if (!err && path)
                    err = Edr_View_addHighlight(app, v->pageKey, v, nullptr, path, colour, 1,
                                                colour, 0);
                RectList_clear(c.list);
                c.added = 0;
            }
        }
    if (first)
        Edr_Page_release(first, 0);
    RectList_destroy(&c.list);
    Edr_Sel_free(doc, sel);
    return err;
}

// ------------------------------------------------------ point and caret

struct NearCtx {
    Edr_Doc *doc;
    int32_t x, y;
    bool have;
    Rect best;
    LaidOutTextRun run;
    uint32_t start;
};

int nearestVisitor(LaidOutTextRun *run, void *context)
{
    NearCtx *c = static_cast<NearCtx *>(context);
    Rect r;
    toPage(run, run->corners[0], run->corners[1], run->corners[2], run->corners[3], true, &r);
    bool take;
    auto inV = [&](const Rect &q) { return c->y >= q.y0 && c->y <= q.y1; };
    auto inH = [&](const Rect &q) { return c->x >= q.x0 && c->x <= q.x1; };
    auto dx = [&](const Rect &q) {
        return int64_t(c->x) - q.x0 < 0 ? q.x0 - int64_t(c->x) : int64_t(c->x) - q.x0;
    };
    auto dy = [&](const Rect &q) {
        return int64_t(c->y) - q.y0 < 0 ? q.y0 - int64_t(c->y) : int64_t(c->y) - q.y0;
    };
    // A run holding the point wins over every run that does not.
    bool holds = inV(r) && inH(r), bestHolds = c->have && inV(c->best) && inH(c->best);
    if (!c->have || (holds && !bestHolds))
        take = true;
    else if (bestHolds)
        take = false;
    else if (inV(r))
        take = !(inV(c->best) && dx(r) > dx(c->best));
    else
        take = !inV(c->best) && (dy(r) < dy(c->best) ||
                                 (dy(r) == dy(c->best) && !inH(c->best) && dx(r) <= dx(c->best)));
    if (take) {
        c->have = true;
        c->best = r;
        c->run = *run;
        c->start = Edr_Sel_runStartOffset(c->doc, run);
    }
    return Res_ok;
}

// The unit of the nearest run at the point's x: the one under it (one
// more in its trailing half), else the run's start or end.
uint32_t nearestOffset(const NearCtx &c)
{
    if (c.x <= c.best.x0)
        return c.start;
    if (c.x >= c.best.x1)
        return c.start + c.run.length;
    int trailing = 0;
    return Edr_Sel_runHitIndex(c.doc, &c.run, c.x - c.best.x0, &trailing) + uint32_t(trailing);
}

struct CaretCtx {
    Edr_Doc *doc;
    uint32_t caret;
    bool have;
    Rect bounds;
};

int caretRectVisitor(LaidOutTextRun *run, void *context)
{
    CaretCtx *c = static_cast<CaretCtx *>(context);
    uint32_t s = Edr_Sel_runStartOffset(c->doc, run);
    if (c->caret < s || c->caret > s + run->length || (c->caret == s + run->length && c->have))
        return Res_ok;
    int32_t cx = c->caret == 0 ? 0 : Edr_Sel_measurePrefix(run, c->caret - s);
    Rect r;
    toPage(run, run->corners[0] + cx, run->corners[1], run->corners[0] + cx, run->corners[3], false,
           &r);
    if (!c->have)
        c->bounds = r;
    else
        c->bounds = {std::min(c->bounds.x0, r.x0), std::min(c->bounds.y0, r.y0),
                     std::max(c->bounds.x1, r.x1), std::max(c->bounds.y1, r.y1)};
    c->have = true;
    return Res_ok;
}

} // namespace

// ------------------------------------------------------------- characters

int Edr_Sel_isWhiteSpace(char16_t c)
{
    return c < 127 && (Char_class(c) & Char_space) != 0;
}

int Edr_Sel_isWordBreak(char16_t c)
{
    if (c < 127)
        return (Char_class(c) & Char_punct) != 0;
    return Array_bsearchU16(wordBreakTable, 55, 2, c) >= 0;
}

int Edr_Sel_isSentenceEnd(char16_t c)
{
    return Array_bsearchU16(sentenceEndTable, 7, 2, c) >= 0;
}

// ------------------------------------------------------------ node tests

Edr_TextSpan Edr_Sel_textOf(Edr_Node *node)
{
    if (!node || Edr_Node_type(node) != Edr_NodeType_text)
        return {nullptr, 0};
    Edr_TextNode *t = Edr_Node_textPayload(node);
    return {t->chars, t->length};
}

uint32_t Edr_Sel_firstIdOf(Edr_Node *group)
{
    if (!group || Edr_Node_type(group) != Edr_NodeType_group)
        return 0;
    const uint32_t *ids = Edr_Node_group(group)->ids;
    return ids ? ids[0] : 0;
}

const StyleRule *Edr_Sel_findRuleLocked(Edr_Doc *doc, uint32_t key)
{
    if (!key)
        return nullptr;
    DocRequestTable *table = Edr_Doc_requestTable(doc);
    for (uint32_t i = 0; Request *q = DocRequests_lentAt(table, i); i++) {
        Request_lock(q);
        const StyleRule *found = nullptr;
        for (const StyleRule *r = Request_firstItem(q); r && !found; r = Request_nextItem(q, r))
            if (StyleRule_firstKey(r) == key)
                found = r;
        Request_unlock(q);
        if (found)
            return found;
    }
    return nullptr;
}

int Edr_Sel_isHiddenText(Edr_Doc *doc, Edr_Node *node)
{
    Edr_Doc_readLock(doc);
    int hidden = 0;
    if (node && Edr_Node_type(node) == Edr_NodeType_text) {
        // A parent without a registered rule (a web page's or plain
        // text's groups) holds visible text.
        const StyleRule *rule =
            Edr_Sel_findRuleLocked(doc, Edr_Sel_firstIdOf(Edr_Node_parent(node)));
        const StylePropItem *item = rule ? StyleRule_findProp(rule, propHiddenKind) : nullptr;
        hidden = item && item->value.type == 0;
    }
    Edr_Doc_readUnlock(doc);
    return hidden;
}

int Edr_Node_isWholeObject(Edr_Doc *doc, Edr_Node *node)
{
    if (!node)
        return 0;
    Edr_Doc_readLock(doc);
    Edr_Node *g = Edr_Node_type(node) == Edr_NodeType_group ? node : Edr_Node_parent(node);
    const StyleRule *rule = Edr_Sel_findRuleLocked(doc, Edr_Sel_firstIdOf(g));
    const StylePropItem *item = rule ? StyleRule_findProp(rule, propWholeObject) : nullptr;
    int whole = item && (item->value.type != 0 || item->value.payload != 0);
    Edr_Doc_readUnlock(doc);
    return whole;
}

int Edr_Sel_isSelectable(Edr_Doc *doc, Edr_Node *node)
{
    if (!doc || !node)
        return 0;
    int flag = 1;
    if (Edr_Doc_testNodeChain(doc, node, &flag) != 0 || flag != 1)
        return 0;
    intptr_t ok = 1;
    if (Edr_Doc_testNode(doc, intptr_t(node), &ok) != 0 || ok != 1)
        return 0;
    return Edr_Node_type(node) == Edr_NodeType_text;
}

int Edr_Sel_readOnlyNodeTest(Edr_Doc *, intptr_t, intptr_t *flag)
{
    *flag = 1;
    return Res_ok;
}

int Edr_Sel_readOnlyChainTest(Edr_Doc *, Edr_Node *, int *flag)
{
    *flag = 1;
    return Res_ok;
}

void Edr_Sel_installReadOnlyTests(Edr_Doc *doc)
{
    if (!doc)
        return;
    Edr_Doc_setAncestorTest(doc, Edr_Sel_readOnlyChainTest);
    Edr_Doc_setNodeTest(doc, Edr_Sel_readOnlyNodeTest);
}

int Edr_Sel_blockOf(Edr_Doc *doc, Edr_Node *node, Edr_Node **out)
{
    Edr_Doc_readLock(doc);
    int err = Edr_Style_findAncestorByProp34(doc, node, out);
    Edr_Doc_readUnlock(doc);
    return err;
}

int Edr_Sel_collect(Edr_Doc *doc, Edr_Node *block, int selectableOnly, Edr_NodeList *list)
{
    CollectCtx c = {doc, block, selectableOnly, list};
    return Edr_Doc_walkLocked(doc, collectVisitor, nullptr, &c, 0, block);
}

// --------------------------------------------------------------- records

int Edr_Sel_create(Edr_Selection **out)
{
    *out = static_cast<Edr_Selection *>(Mem_calloc(1, sizeof(Edr_Selection)));
    return *out ? Res_ok : Res_noMemory;
}

void Edr_Sel_free(Edr_Doc *doc, Edr_Selection *selection)
{
    if (!selection)
        return;
    Edr_NodeList_clear(doc, &selection->nodes);
    if (doc)
        Edr_Node_dropRefOpt(doc, selection->focusNode);
    Mem_free(selection);
}

int Edr_Sel_copy(Edr_Doc *doc, Edr_Selection **out)
{
    *out = nullptr;
    Edr_Doc_readLock(doc);
    Edr_Page_readLockList(doc);
    const Edr_Selection *cur = current(doc);
    int err = Res_ok;
    Edr_Selection *copy = nullptr;
    if (cur && (err = Edr_Sel_create(&copy)) == 0) {
        *copy = *cur;
        copy->nodes = {};
        copy->focusNode = nullptr;
        for (uint32_t i = 0; i < cur->nodes.count && !err; i++)
            err = Edr_NodeList_append(doc, &copy->nodes, cur->nodes.items[i]);
        if (!err && cur->focusNode) {
            if (Edr_Node_refCount(cur->focusNode) == 0)
                err = Res_deadNode;
            else if ((err = Edr_Node_addRefLive(doc, cur->focusNode)) == 0)
                copy->focusNode = cur->focusNode;
        }
    }
    Edr_Page_readUnlockList(doc);
    Edr_Doc_readUnlock(doc);
    if (err) {
        Edr_Sel_free(doc, copy);
        return err;
    }
    *out = copy;
    return Res_ok;
}

void Edr_Sel_set(Edr_Doc *doc, Edr_Selection *selection)
{
    Edr_Doc_writeLockWait(doc);
    Edr_Selection *old = nullptr;
    if (doc->pageList) {
        old = doc->pageList->selection;
        doc->pageList->selection = selection;
    } else {
        old = selection;
    }
    Edr_Doc_writeUnlock(doc);
    Edr_Sel_free(doc, old);
}

int Edr_Sel_show(Edr_Doc *doc, int on)
{
    Edr_Doc_readLock(doc);
    Edr_Page_readLockList(doc);
    bool have = current(doc) != nullptr;
    Edr_Page_readUnlockList(doc);
    Edr_Doc_readUnlock(doc);
    if (!have)
        return Res_ok;
    if (on)
        return draw(doc);
    Edr_PageEntry *first = nullptr;
    int err = Edr_Page_findByIndex(&first, doc, 0, 0);
    if (err)
        return err == Edr_Page_noSuchPage ? Res_ok : err;
    for (Edr_PageEntry *e = first; e; e = Edr_Page_nextEntry(e))
        for (PageView *v = e->views; v; v = v->next)
            Edr_View_removeHighlights(doc->app, v, 0);
    Edr_Page_release(first, 0);
    return Res_ok;
}

void Edr_Sel_clear(Edr_Doc *doc)
{
    (void)Edr_Sel_show(doc, 0);
    Edr_Sel_set(doc, nullptr);
}

int Edr_Sel_isEditable(Edr_Doc *doc, int *flag)
{
    *flag = 1;
    Edr_Selection *sel = nullptr;
    int err = Edr_Sel_copy(doc, &sel);
    for (uint32_t i = 0; sel && !err && i < sel->nodes.count; i++) {
        intptr_t ok = 1;
        err = Edr_Doc_testNode(doc, intptr_t(sel->nodes.items[i]), &ok);
        if (!err && !ok) {
            *flag = 0;
            break;
        }
    }
    Edr_Sel_free(doc, sel);
    return err;
}

int Edr_Sel_trimHidden(Edr_Doc *doc, Edr_Selection *selection)
{
    Edr_NodeList *l = &selection->nodes;
    uint32_t keep = l->count;
    for (uint32_t i = l->count; i-- > 0;) {
        Edr_Node *n = l->items[i];
        if (!isText(n) || !Edr_Sel_isHiddenText(doc, n)) {
            keep = i + 1;
            break;
        }
    }
    while (l->count > keep)
        Edr_Node_dropRefOpt(doc, l->items[--l->count]);
    selection->startIndex = selection->endIndex = 0;
    return Res_ok;
}

// ------------------------------------------------------------- selecting

int Edr_Sel_select(Edr_Doc *doc, Edr_Node *node, uint32_t hitOffset, uint32_t caretOffset,
                   uint32_t mode)
{
    if (!Edr_Sel_isSelectable(doc, node)) {
        if (mode != Edr_SelMode_extend)
            Edr_Sel_clear(doc);
        return Res_notSelectable;
    }
    // Offsets never point past the node's text.
    uint32_t length = Edr_Sel_textOf(node).length;
    hitOffset = std::min(hitOffset, length);
    caretOffset = std::min(caretOffset, length);

    Build b = {doc, nullptr, node, hitOffset, caretOffset, {}, nullptr};
    int err = Edr_Sel_blockOf(doc, node, &b.block);
    if (err || !b.block || Edr_Node_type(b.block) != Edr_NodeType_group) {
        Edr_Node_release(doc, b.block);
        return err;
    }
    bool whole = Edr_Node_isWholeObject(doc, node) != 0;
    if ((err = Edr_Sel_create(&b.rec)) == 0) {
        if (whole)
            err = Edr_NodeList_append(doc, &b.rec->nodes, node);
        else if ((err = Edr_Sel_collect(doc, b.block, 0, &b.all)) == 0)
            err = runBuilder(&b, mode);
    }
    if (!err && b.rec && !b.rec->nodes.count) {
        // Nothing found (a line not laid out): the selection is cleared.
        Edr_Sel_free(doc, b.rec);
        b.rec = nullptr;
    }
    if (!err && b.rec) {
        if (mode != Edr_SelMode_caret)
            b.rec->caretOffset = caretOffset;
        if (Edr_NodeList_contains(&b.rec->nodes, node)) {
            if (Edr_Node_refCount(node) == 0)
                err = Res_deadNode;
            else if ((err = Edr_Node_addRefLive(doc, node)) == 0)
                b.rec->focusNode = node;
        }
        b.rec->hitOffset = hitOffset;
    }
    Edr_NodeList_clear(doc, &b.all);
    Edr_Node_release(doc, b.block);
    if (err) {
        Edr_Sel_free(doc, b.rec);
        return err;
    }
    (void)Edr_Doc_callSelectionHook(doc);
    (void)Edr_Sel_show(doc, 0);
    Edr_Sel_set(doc, b.rec);
    return whole || !b.rec ? Res_ok : Edr_Sel_show(doc, 1);
}

namespace {

// Extends the selection to the run nearest the point among the runs of the
// selection's block: on every page (all set), or on the page of the key
// and kind alone, whose coordinates the point is in.
int selectionExtendTo(Edr_Doc *doc, bool all, int32_t key, uint32_t kind, int32_t x, int32_t y)
{
    Edr_Selection *sel = nullptr;
    if (Edr_Sel_copy(doc, &sel) != 0 || !sel || !sel->nodes.count) {
        Edr_Sel_free(doc, sel);
        return 0;
    }
    Edr_Node *block = nullptr;
    Edr_NodeList nodes = {};
    NearCtx c = {};
    c.doc = doc;
    c.x = x;
    c.y = y;
    int err = Edr_Sel_blockOf(doc, sel->nodes.items[0], &block);
    if (!err && block && Edr_Node_type(block) == Edr_NodeType_group)
        err = Edr_Sel_collect(doc, block, 1, &nodes);
    Edr_PageEntry *first = nullptr;
    if (!err && nodes.count &&
        (all ? Edr_Page_findByIndex(&first, doc, 0, 0)
             : Edr_Page_find(&first, doc, key, kind, 0)) == 0) {
        for (Edr_PageEntry *e = first; e && !err; e = all ? Edr_Page_nextEntry(e) : nullptr)
            for (uint32_t i = 0; i < nodes.count && !err; i++)
                err = Edr_View_visitEntryRuns(doc->app, e, nodes.items[i], nearestVisitor, &c);
        Edr_Node *node = c.have ? c.run.node : nullptr;
        uint32_t offset = 0;
        if (c.have)
            offset = nearestOffset(c);
        // The node stays alive through the collected list's reference.
        Edr_Page_release(first, 0);
        if (!err && node)
            err = Edr_Sel_select(doc, node, offset, offset, Edr_SelMode_extend) == 0 ? 0 : -1;
        else if (!err)
            err = -1;
    } else {
        err = -1;
    }
    Edr_NodeList_clear(doc, &nodes);
    Edr_Node_release(doc, block);
    Edr_Sel_free(doc, sel);
    return err == 0 ? 1 : 0;
}

} // namespace

int Edr_Sel_extendToPoint(Edr_Doc *doc, int32_t x, int32_t y)
{
    return selectionExtendTo(doc, true, 0, 0, x, y);
}

int Edr_Sel_extendToPagePoint(Edr_Doc *doc, int32_t key, uint32_t kind, int32_t x, int32_t y)
{
    return selectionExtendTo(doc, false, key, kind, x, y);
}

int Edr_Sel_selectAtPoint(Edr_Doc *doc, int32_t key, uint32_t kind, int32_t x, int32_t y,
                          uint32_t mode)
{
    Edr_PageEntry *entry = nullptr;
    int err = Edr_Page_find(&entry, doc, key, kind, 0);
    if (err)
        return err == Edr_Page_noSuchPage ? int(Res_dispmanNoNode) : err;
    NearCtx c = {};
    c.doc = doc;
    c.x = x;
    c.y = y;
    err = Edr_View_visitEntryRuns(doc->app, entry, nullptr, nearestVisitor, &c);
    // Only a run under the point is hit: a point in a margin or between
    // lines selects nothing.
    bool holds =
        !err && c.have && x >= c.best.x0 && x <= c.best.x1 && y >= c.best.y0 && y <= c.best.y1;
    Edr_Node *node = nullptr;
    uint32_t offset = 0;
    if (holds) {
        offset = nearestOffset(c);
        // The page is released before the selection is drawn on it; the
        // reference keeps the node meanwhile.
        if (Edr_Node_addRefLive(doc, c.run.node) == Res_ok)
            node = c.run.node;
    }
    Edr_Page_release(entry, 0);
    if (err)
        return err;
    if (!node)
        return Res_dispmanNoNode;
    err = Edr_Sel_select(doc, node, offset, offset, mode);
    Edr_Node_dropRefOpt(doc, node);
    return err;
}

int Edr_Sel_caretRect(Edr_Doc *doc, Rect *out, int32_t pageKey[2])
{
    Edr_Selection *sel = nullptr;
    int err = Edr_Sel_copy(doc, &sel);
    if (err || !sel || !sel->focusNode) {
        Edr_Sel_free(doc, sel);
        return err;
    }
    CaretCtx c = {doc, sel->caretOffset, false, {}};
    Edr_PageEntry *first = nullptr;
    err = Edr_Page_findByIndex(&first, doc, 0, 0);
    if (err) {
        Edr_Sel_free(doc, sel);
        return err == Edr_Page_noSuchPage ? Res_ok : err;
    }
    for (Edr_PageEntry *e = first; e && !err; e = Edr_Page_nextEntry(e))
        for (PageView *v = e->views; v && !err; v = v->next) {
            c.have = false;
            err = Edr_View_visitViewNodes(doc->app, v, sel->focusNode, caretRectVisitor, &c,
                                          nullptr, 0);
            if (!err && c.have) {
                *out = c.bounds;
                pageKey[0] = v->pageKey[0];
                pageKey[1] = v->pageKey[1];
            }
        }
    Edr_Page_release(first, 0);
    Edr_Sel_free(doc, sel);
    return err;
}

// ------------------------------------------------------ offsets in runs

uint32_t Edr_Sel_runStartOffset(Edr_Doc *, const LaidOutTextRun *run)
{
    Edr_TextSpan t = Edr_Sel_textOf(run->node);
    if (!t.chars || !run->text)
        return 0;
    if (run->text >= t.chars && run->text <= t.chars + t.length)
        return uint32_t(run->text - t.chars);
    // A copy: find where its units match the node's text (ASCII letters
    // without case; white space of the node before a first match skipped).
    for (uint32_t at = 0; at + run->length <= t.length; at++) {
        uint32_t k = 0;
        while (k < run->length && Ustr_lowerAscii(t.chars[at + k]) == Ustr_lowerAscii(run->text[k]))
            k++;
        if (k == run->length)
            return at;
    }
    return 0;
}

int Edr_Sel_classifyOffset(Edr_Doc *doc, const LaidOutTextRun *run, uint32_t offset)
{
    uint32_t s = Edr_Sel_runStartOffset(doc, run);
    if (offset <= s)
        return 2;
    if (offset >= s + run->length)
        return 0;
    return 1;
}

int32_t Edr_Sel_measurePrefix(const LaidOutTextRun *run, uint32_t n)
{
    const ObjTextPart *m = run->measure;
    if (!n || !m || !m->fonts)
        return 0;
    Rect r = {};
    if (TextRun_measureFit(m->fonts, m->size, m->styleFlags, m->style, run->text,
                           std::min(n, run->length), m->charSpacing, m->wordSpacing, 0x7FFFFFFF,
                           nullptr, &r) != 0)
        return 0;
    return r.x1 - r.x0;
}

uint32_t Edr_Sel_runHitIndex(Edr_Doc *doc, const LaidOutTextRun *run, int32_t dx, int *trailing)
{
    uint32_t s = Edr_Sel_runStartOffset(doc, run);
    int32_t before = 0;
    for (uint32_t k = 1; k <= run->length; k++) {
        int32_t w = Edr_Sel_measurePrefix(run, k);
        if (w > dx) {
            *trailing = dx >= before + (w - before) / 2;
            return s + k - 1;
        }
        before = w;
    }
    *trailing = 1;
    return run->length ? s + run->length - 1 : s;
}
