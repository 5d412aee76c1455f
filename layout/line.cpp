// The line builder: fills the current line of a block with its inline
// content, one document node at a time, cutting text into line pieces at
// break opportunities, tabs and forced breaks, and collecting runs in the
// other writing direction to place them as a whole.
#include <algorithm>
#include <cstring>

#include "layout/layerlist.h"
#include "core/container/obj.h"
#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/style/propids.h"
#include "core/text/ustr.h"
#include "document/edr/node.h"
#include "document/style/style.h"
#include "document/style/styleread.h"
#include "fonts/textitem.h"
#include "fonts/textrun.h"
#include "layout/block.h"
#include "layout/boxiter.h"
#include "layout/floatarea.h"
#include "layout/layout.h"
#include "layout/line.h"
#include "layout/replaced.h"
#include "layout/listmarker.h"
#include "layout/listnum.h"

namespace {

constexpr uint32_t kPropMarker = 123;   // a list marker's number style
constexpr uint32_t kPropAnchor = 135;   // a box anchored in its cell
constexpr uint32_t kPropDrawing = 139;  // a drawing or float region
constexpr uint32_t kMaxRun = 500;       // characters measured in one call
constexpr int32_t kTabOverflowGap = 72; // room left when a tab overflows the line
constexpr int32_t kUnlimited = 0x7FFFFFFF;

bool isWhite(uint32_t c)
{
    return c == 32 || (c >= 9 && c <= 13);
}

bool isNewline(uint32_t c)
{
    return c == 10 || c == 13 || c == 11;
}

int32_t saturate(int64_t v)
{
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

bool rtl(uint32_t direction)
{
    return direction == KwId_rtl;
}

// The modes by white-space keyword.
bool wraps(uint32_t ws)
{
    return ws != KwId_nowrap && ws != KwId_pre;
}

bool breaksAtNewlines(uint32_t ws)
{
    return ws != KwId_normal && ws != KwId_nowrap;
}

// The start limit of the line in the direction pieces are placed in.
int32_t *startLimit(LayoutBox *box, const LineState *st)
{
    return rtl(st->direction) ? &box->block.lineRight : &box->block.lineLeft;
}

void advanceStart(LayoutBox *box, const LineState *st, int32_t by)
{
    int32_t *limit = startLimit(box, st);
    *limit = saturate(rtl(st->direction) ? int64_t(*limit) - by : int64_t(*limit) + by);
}

int32_t lineWidth(const LayoutBox *box)
{
    return saturate(int64_t(box->block.lineRight) - box->block.lineLeft);
}

bool lineHasItems(const LineState *st)
{
    return LayerList_hasItems(st->line) || (st->reverse && LayerList_hasItems(st->reverse));
}

// The start-side inset of the inline element a text starts (0 when the
// text does not start one).
int32_t leadingInset(const LayoutBox *box, const IterEntry *entry)
{
    const Edr_Style *s = entry->style;
    if (entry->resume != 0 || !s || Edr_Style_get(s, PropId_display, nullptr) != KwId_inline ||
        Edr_Style_getProp74(s) != KwId_static ||
        Edr_Style_equalsEither(s, PropId_float, KwId_left, KwId_right))
        return 0;
    const Edr_Node *parent = Edr_Node_parent(entry->node);
    if (!parent || Edr_Node_firstChild(parent) != entry->node)
        return 0;
    int32_t m[2] = {0, 0}, b[2] = {0, 0}, p[2] = {0, 0};
    Edr_Style_getHorizontalEdges(s, m, b, p, box->availableWidth);
    int side = rtl(box->block.direction) ? 0 : 1;
    return saturate(int64_t(m[side]) + b[side] + p[side]);
}

// The characters of a text entry for this call: the node's text or the
// list marker's, from the entry's resume.
struct RunText {
    const char16_t *text; // from the resume offset
    uint32_t length;      // characters left
    char16_t *owned;      // a marker text to free
};

// In a header or footer: the text of a text node whose group carries a
// number style (a page-number field) is the page's number in that style;
// any other text is the node's own.
int pageNumberText(LayoutBox *box, const IterEntry *entry, RunText *out)
{
    const char16_t *text = nullptr;
    uint32_t start = 0, length = 0;
    Layout_nodeText(entry, &text, &start, &length);
    *out = RunText{text ? text + start : nullptr, length, nullptr};
    Edr_Node *group = entry->node ? Edr_Node_parent(entry->node) : nullptr;
    if (!text || !group || !box->document)
        return Res_ok;
    Edr_Style *style = nullptr;
    int err = Edr_Style_computeForNode(box->document, &style, nullptr, group);
    if (err)
        return err;
    if (style && Edr_Style_get(style, kPropMarker, nullptr) != 0) {
        char16_t *number = nullptr;
        uint32_t n = 0;
        err = Layout_listMarkerText(box->section->decorPageNumber, style, &number, &n);
        if (!err) {
            uint32_t at = std::min(uint32_t(std::max(entry->resume, 0)), n);
            *out = RunText{number + at, n - at, number};
        }
    }
    Edr_Style_release(style);
    return err;
}

int runText(LayoutBox *box, const IterEntry *entry, RunText *out)
{
    *out = RunText{};
    int32_t marker = 0;
    if (entry->style && Edr_Style_getKeyword(entry->style, kPropMarker, &marker) && marker != 0) {
        char16_t *text = nullptr;
        uint32_t length = 0;
        if (Layout_listMarkerText(ListCounter_value(box) + 1, entry->style, &text, &length))
            return Res_noMemory;
        uint32_t at = std::min(uint32_t(std::max(entry->resume, 0)), length);
        *out = RunText{text + at, length - at, text};
        return Res_ok;
    }
    if (box->section && box->section->decorPageNumber > 0)
        return pageNumberText(box, entry, out);
    const char16_t *text = nullptr;
    uint32_t start = 0, length = 0;
    Layout_nodeText(entry, &text, &start, &length);
    *out = RunText{text ? text + start : nullptr, length, nullptr};
    return Res_ok;
}

// A private copy of the run's first count characters when the style
// transforms them or the mode turns line ends (or tabs without tab stops)
// into spaces; null when the node's own characters serve.
int transformRun(const char16_t *run, uint32_t count, const Edr_Style *style, uint32_t ws,
                 bool tabsActive, char16_t **out)
{
    *out = nullptr;
    uint32_t transform = style ? Edr_Style_get(style, PropId_textTransform, nullptr) : 0;
    bool transforms =
        transform == KwId_capitalize || transform == KwId_lowercase || transform == KwId_uppercase;
    bool spaces = false;
    for (uint32_t i = 0; i < count && !spaces; i++)
        spaces = (!breaksAtNewlines(ws) && isNewline(run[i])) || (run[i] == 9 && !tabsActive);
    if (!transforms && !spaces)
        return Res_ok;
    char16_t *copy = Ustr_dupN(run, count);
    if (!copy)
        return Res_noMemory;
    if (spaces)
        for (uint32_t i = 0; i < count; i++)
            if ((!breaksAtNewlines(ws) && isNewline(copy[i])) || (copy[i] == 9 && !tabsActive))
                copy[i] = 32;
    if (transform == KwId_capitalize)
        Ustr_titleCaseInPlace(copy);
    else if (transform == KwId_lowercase)
        Ustr_lowerInPlace(copy);
    else if (transform == KwId_uppercase)
        Ustr_upperInPlace(copy);
    *out = copy;
    return Res_ok;
}

int measure(const TextFormat *f, const char16_t *chars, uint32_t count, int32_t room,
            uint32_t *fitted, Rect *box)
{
    return TextRun_measureFit(f->font, f->size, f->decoration, f->styleWords, chars, count,
                              f->letterSpacing, f->wordSpacing, room, fitted, box);
}

// The empty, hidden item a tab leaves on the line.
int placeTabGap(LayoutBox *box, LineState *st, const IterEntry *entry, const TextFormat *format,
                int32_t gap)
{
    ObjHeader *item = Obj_create(&TextItem_class, 0);
    if (!item)
        return Res_noMemory;
    int32_t ascent = 0, descent = 0;
    Layout_formatAscent(format, &ascent, &descent);
    item->flags |= Obj_hidden;
    item->node = entry->node;
    TextItemPart *part = static_cast<TextItemPart *>(Obj_part(item));
    part->base.fonts = format->font;
    part->base.size = format->size;
    part->baseline = descent;
    Rect r = {0, -descent, std::max(gap, 1), ascent};
    Obj_setBox(item, &r);
    Layout_placeAtLimit(item, st->direction, &box->block.lineLeft, &box->block.lineRight, 0, 0);
    LayerList_append(st->reverse ? st->reverse : st->line, item);
    return Res_ok;
}

// A tab at the start of the run: to the next stop, or the line ends.
int placeTab(LayoutBox *box, LineState *st, IterEntry *entry, const TextFormat *format,
             const TabList *tabs, int32_t limit)
{
    bool back = rtl(st->direction);
    // Right-to-left lines count tab positions from their right start.
    TabList t = *tabs;
    int32_t pos =
        back ? saturate(int64_t(st->start[1]) - box->block.lineRight) : box->block.lineLeft;
    if (back) {
        t.direction = KwId_ltr;
        t.ref[0] = 0;
    }
    int32_t next = pos;
    (void)Layout_tabStop(&t, &next);
    int32_t gap = saturate(int64_t(next) - pos);
    if (gap > lineWidth(box)) {
        if (back)
            box->block.lineRight = saturate(int64_t(box->block.lineLeft) + kTabOverflowGap);
        else
            box->block.lineLeft = saturate(int64_t(box->block.lineRight) - kTabOverflowGap);
        if (st->span >= limit) {
            entry->resume++;
            st->afterTab = 1;
            st->startOfLine = 0;
            return Res_ok;
        }
        if (box->flowMode)
            st->startOfLine = st->afterTab = 1;
        return Layout_lineFull;
    }
    int err = placeTabGap(box, st, entry, format, gap);
    if (err)
        return err;
    entry->resume++;
    st->afterTab = 1;
    st->startOfLine = 0;
    st->endedInSpace = 1;
    return Res_ok;
}

// Where the piece ends when `fitted` of `count` characters fit: piece the
// characters placed (0: none), consumed those the node gives up, endLine
// whether the line ends after it.
struct Cut {
    uint32_t piece;
    uint32_t consumed;
    bool endLine;
};

Cut cutPiece(const LayoutBox *box, const LineState *st, const char16_t *chars, uint32_t count,
             uint32_t fitted, int32_t limit, bool truncated)
{
    Cut c{fitted, fitted, false};
    if (fitted >= count) {
        c = Cut{count, count, false};
        if (truncated) {
            // The call's character limit fell inside a word: the word waits
            // for the next call.
            uint32_t at = count;
            if (LineBreak_findBefore(chars, count, &at) && at > 0)
                c = Cut{at, at, false};
        }
        return c;
    }
    c.endLine = true;
    uint32_t at = fitted;
    if (LineBreak_findBefore(chars, count, &at))
        c.piece = at;
    else if (box->flowOrAnchored && st->startOfLine)
        c.piece = fitted;
    else {
        // A word that does not fit after what the line holds goes whole to
        // the next line: cutting it where it stopped fitting is only for a
        // word longer than a line of its own.
        c.piece = 0;
    }
    while (c.piece > 0 && isWhite(chars[c.piece - 1]))
        c.piece--;
    c.consumed = c.piece;
    if (c.piece == 0 && st->startOfLine && st->span >= limit) {
        if (box->flowOrAnchored) {
            c.piece = 1;
        } else {
            // An over-long word is placed whole and overflows the line.
            uint32_t after = fitted;
            if (!LineBreak_findAfter(chars, count, &after))
                after = count;
            c.piece = std::max(after, 1u);
        }
        c.consumed = c.piece;
    }
    return c;
}

} // namespace

void Layout_nodeText(const IterEntry *entry, const char16_t **text, uint32_t *start,
                     uint32_t *length)
{
    *text = nullptr;
    *start = *length = 0;
    if (!entry || !entry->node || Edr_Node_type(entry->node) != Edr_NodeType_text)
        return;
    int32_t marker = 0;
    if (entry->style && Edr_Style_getKeyword(entry->style, kPropMarker, &marker) && marker != 0)
        return;
    const Edr_TextNode *t = Edr_Node_textPayload(entry->node);
    if (!t || !t->chars)
        return;
    uint32_t at = std::min(uint32_t(std::max(entry->resume, 0)), t->length);
    *text = t->chars;
    *start = at;
    *length = t->length - at;
}

int Layout_listMarkerText(int32_t number, const Edr_Style *style, char16_t **out, uint32_t *length)
{
    *out = nullptr;
    *length = 0;
    uint32_t keyword = style ? Edr_Style_get(style, kPropMarker, nullptr) : 0;
    int32_t value = 0;
    if (style && Edr_Style_getKeyword(style, kPropMarker, &value))
        keyword = uint32_t(value);
    uint32_t n = ListNum_format(number, keyword, nullptr);
    char16_t *text = static_cast<char16_t *>(Mem_malloc((size_t(n) + 1) * sizeof(char16_t)));
    if (!text)
        return Res_noMemory;
    ListNum_format(number, keyword, text);
    text[n] = 0;
    *out = text;
    *length = n;
    return Res_ok;
}

int Layout_placeTextRun(LayoutBox *box, LineState *st, const ObjClass *cls, IterEntry *entry,
                        const TextFormat *format, const TabList *tabs, int32_t limit, uint32_t ws)
{
    RunText rt{};
    int err = runText(box, entry, &rt);
    if (err)
        return err;
    char16_t *copy = nullptr;
    int result = Res_ok;
    const char16_t *run = rt.text;
    uint32_t left = rt.length;

    // Leading white space at the start of a line is skipped (not under pre).
    if (st->startOfLine && ws != KwId_pre) {
        uint32_t i = 0;
        while (i < left && isWhite(run[i])) {
            if (run[i] == 9 && tabs && !st->afterTab)
                break;
            if (breaksAtNewlines(ws) && isNewline(run[i]))
                break;
            i++;
        }
        entry->resume += int32_t(i);
        run += i;
        left -= i;
    }
    if (left == 0)
        goto done;
    if (run[0] == 9 && tabs) {
        result = placeTab(box, st, entry, format, tabs, limit);
        goto done;
    }
    if (breaksAtNewlines(ws) && isNewline(run[0])) {
        // A forced break: CR LF and LF CR count as one.
        bool pair = left > 1 && ((run[0] == 13 && run[1] == 10) || (run[0] == 10 && run[1] == 13));
        entry->resume += pair ? 2 : 1;
        st->endedInSpace = 1;
        result = Layout_lineFull;
        goto done;
    }
    {
        uint32_t n = std::min(left, kMaxRun);
        uint32_t count = 0;
        while (count < n && !(run[count] == 9 && tabs) &&
               !(breaksAtNewlines(ws) && isNewline(run[count])))
            count++;
        bool truncated = count == kMaxRun && left > kMaxRun;
        err = transformRun(run, count, entry->style, ws, tabs != nullptr, &copy);
        if (err) {
            result = err;
            goto done;
        }
        const char16_t *chars = copy ? copy : run;

        int64_t room64 = int64_t(lineWidth(box)) - leadingInset(box, entry);
        int32_t room = saturate(room64);
        if (!box->flowMode &&
            (ws == KwId_pre || (ws == KwId_nowrap && st->startOfLine) || box->noWrap))
            room = kUnlimited;
        uint32_t fitted = 0;
        Rect extent{};
        if (room >= 1) {
            err = measure(format, chars, count, room, &fitted, &extent);
            if (err) {
                result = err;
                goto done;
            }
        }
        if (fitted > 0 && (extent.x1 == extent.x0 || extent.y1 == extent.y0)) {
            if (st->startOfLine) {
                // Text that takes no room can never be placed: it is
                // consumed so the line moves on.
                entry->resume += int32_t(count);
            }
            result = Layout_nothingFits;
            goto done;
        }
        Cut cut{};
        if (fitted < count && !wraps(ws)) {
            if (!st->startOfLine) {
                result = Layout_lineFull;
                goto done;
            }
            // An empty line takes what fits, at least one character, so
            // that unbreakable text cannot stall the block.
            cut = Cut{std::max(fitted, 1u), std::max(fitted, 1u), true};
        } else {
            cut = cutPiece(box, st, chars, count, fitted, limit, truncated);
        }
        if (cut.endLine && box->flowMode)
            st->startOfLine = st->afterTab = 1;
        if (cut.piece == 0) {
            result = cut.endLine ? int(Layout_lineFull) : int(Res_ok);
            goto done;
        }
        bool blank = true;
        for (uint32_t i = 0; i < cut.piece && blank; i++)
            blank = isWhite(chars[i]);
        if (blank && (ws == KwId_normal || ws == KwId_nowrap)) {
            // Collapsible white space only moves the start limit: a run of
            // blanks (newlines and tabs among them) counts as one space,
            // and as none after a space or at the line's start.
            int32_t advance = 0;
            if (!st->endedInSpace && !st->startOfLine) {
                static const char16_t kSpace[1] = {u' '};
                err = measure(format, kSpace, 1, kUnlimited, nullptr, &extent);
                if (err) {
                    result = err;
                    goto done;
                }
                advance = saturate(int64_t(extent.x1) - extent.x0);
            }
            advanceStart(box, st, advance);
        } else {
            if (cut.piece != fitted || room < 1) {
                err = measure(format, chars, cut.piece, kUnlimited, nullptr, &extent);
                if (err) {
                    result = err;
                    goto done;
                }
            }
            const int32_t ext[2] = {extent.y0, extent.y1};
            bool own = copy != nullptr || rt.owned != nullptr;
            err = Layout_makeTextItem(box, st, cls, entry, format, own, chars, cut.piece,
                                      saturate(int64_t(extent.x1) - extent.x0), ext);
            if (err) {
                result = err;
                goto done;
            }
            st->startOfLine = cut.endLine && box->flowMode ? 1 : 0;
            st->afterTab = cut.endLine && box->flowMode ? 1 : 0;
        }
        entry->resume += int32_t(cut.consumed);
        st->endedInSpace = isWhite(chars[cut.consumed - 1]) ? 1 : 0;
        result = cut.endLine ? int(Layout_lineFull) : int(Res_ok);
    }
done:
    Mem_free(copy);
    Mem_free(rt.owned);
    return result;
}

namespace {

// The width limit of a text: the float area's band width, or the caller's
// limit when that is smaller.
int32_t bandLimit(LayoutBox *box, LineState *st, int32_t limit)
{
    int32_t band = box->items ? FloatArea_bandWidth(box->items) : limit;
    if (limit < band) {
        box->block.lineRight = saturate(int64_t(st->start[0]) + limit);
        return limit;
    }
    return band;
}

bool hasText(LayoutBox *box, const IterEntry *entry)
{
    RunText rt{};
    if (runText(box, entry, &rt))
        return false;
    bool any = rt.length > 0;
    Mem_free(rt.owned);
    return any;
}

int placeText(LayoutBox *box, LineState *st, BoxIter *iter, IterEntry *entry, int32_t limit,
              uint32_t ws)
{
    TextFormat format{};
    int err = Layout_textFormat(box, entry->style, &format);
    if (err)
        return err;
    int32_t width = bandLimit(box, st, limit);
    TabList tabs{};
    TabList *tl = Layout_tabStops(entry->style, &tabs, width, box->flowMode ? 1 : 0);
    if (tl) {
        tl->ref[0] = st->start[0];
        tl->ref[1] = st->start[1];
        tl->direction = box->block.direction;
    }
    if (ws == KwId_pre || ws == KwId_preWrap)
        format.decoration &= ~uint32_t(TextDecor_collapse);
    int r = Res_ok;
    while (r == Res_ok && hasText(box, entry)) {
        int32_t at = entry->resume;
        r = Layout_placeTextRun(box, st, nullptr, entry, &format, tl, width, ws);
        if (r == Res_ok && entry->resume == at)
            break; // nothing consumed: the line ends here
    }
    if (r == Layout_lineFull || r == Layout_nothingFits || (r == Res_ok && hasText(box, entry))) {
        // The rest of the text goes on the next line.
        if (hasText(box, entry) && iter)
            BoxIter_rewindTo(iter, entry);
        if (r == Res_ok)
            r = Layout_lineFull;
    }
    return r;
}

// A group in a line: replaced boxes and form controls.
int placeGroup(LayoutBox *box, LineState *st, IterEntry *entry)
{
    switch (Edr_Style_get(entry->style, PropId_display, nullptr)) {
    case KwId_replacedBox:
    case KwId_frameBox: return Layout_placeImageBox(box, st, entry);
    case KwId_controlBox: return Layout_placeFormControl(box, st, entry);
    default:
        // An inline element's edges travel with its text (the text items'
        // insets); other groups place nothing here.
        return Res_ok;
    }
}

} // namespace

int Layout_placeInline(LayoutBox *box, LineState *st, BoxIter *iter, IterEntry *entry,
                       int32_t limit, uint32_t ws)
{
    int32_t lineLeft = box->block.lineLeft, lineRight = box->block.lineRight;
    int r = Res_ok;
    bool text = false;
    switch (Edr_Node_type(entry->node)) {
    case Edr_NodeType_group: r = placeGroup(box, st, entry); break;
    case Edr_NodeType_path: {
        // The path items go to the line's list.
        LayerList *saved = box->layers;
        box->layers = st->reverse ? st->reverse : st->line;
        r = PathItem_place(box, iter, entry);
        box->layers = saved;
        break;
    }
    case Edr_NodeType_text:
        text = true;
        r = placeText(box, st, iter, entry, limit, ws);
        break;
    case Edr_NodeType_picture:
    case Edr_NodeType_image: r = Layout_placeImage(box, st, entry); break;
    case Edr_NodeType_subdoc: r = Layout_placeObject(box, st, entry, entry->node); break;
    case Edr_NodeType_grid: r = Layout_gridNode(box, entry->node, entry->style); break;
    default: break;
    }
    if (!text && st->startOfLine &&
        (box->block.lineLeft != lineLeft || box->block.lineRight != lineRight))
        st->startOfLine = 0;
    return r;
}

int Layout_flushReverseRun(LayerList *main, LayerList **run, uint32_t direction, int32_t *left,
                           int32_t *right)
{
    LayerList *list = *run;
    if (!list)
        return Res_ok;
    Rect bounds = Rect_emptyBound;
    for (Layer *layer = list->first; layer; layer = layer->next)
        for (ObjHeader *o = layer->first; o; o = Obj_next(o)) {
            Rect r = Obj_shownBox(o);
            Rect_union(&bounds, &r);
        }
    if (bounds.x0 < bounds.x1) {
        int32_t w = saturate(int64_t(bounds.x1) - bounds.x0);
        int32_t dx;
        if (rtl(direction)) {
            *right = saturate(int64_t(*right) - w);
            dx = saturate(int64_t(*right) - bounds.x0);
            *left = saturate(int64_t(*left) - w);
        } else {
            dx = saturate(int64_t(*left) - bounds.x0);
            *left = saturate(int64_t(*left) + w);
            *right = saturate(int64_t(*right) + w);
        }
        LayerList_translate(list, dx, 0);
        int err = LayerList_merge(main, list);
        if (err)
            return err;
    } else {
        LayerList_freeItems(list);
    }
    LayerList_destroy(list);
    *run = nullptr;
    return Res_ok;
}

namespace {

bool propertySet(const Edr_Style *style, uint32_t id)
{
    return style && Edr_Style_get(style, id, nullptr) != 0;
}

// Passes over the rest of a subtree: the entries that carry the same set
// (the walk hands out an inline group's content with the group's set, and
// a block is handed out whole). The first other entry is pushed back.
int passOver(BoxIter *iter, LayoutBox *box, const Edr_Style *style)
{
    for (;;) {
        IterEntry e{};
        int err = BoxIter_next(iter, &e, box);
        if (err || !e.node)
            return err;
        if (e.style != style) {
            BoxIter_rewindTo(iter, &e);
            return Res_ok;
        }
    }
}

// A drawing in the line. 0 to go on, Layout_lineFull to end the
// line (the entry pushed back), or an error.
int placeDrawingEntry(LayoutBox *box, LineState *st, BoxIter *iter, IterEntry *entry)
{
    int32_t width = 0, height = 0;
    Edr_Style_getLength(entry->style, PropId_width, &width);
    Edr_Style_getLength(entry->style, PropId_height, &height);
    int64_t pageHeight = int64_t(box->pageRect[3]) - box->pageRect[1];
    if (box->pageRect[1] != Layout_unset && pageHeight < height)
        return passOver(iter, box, entry->style);
    int32_t room = lineWidth(box);
    if (width > room && lineHasItems(st)) {
        BoxIter_rewindTo(iter, entry);
        return Layout_lineFull;
    }
    LayerList *saved = box->layers;
    LayerList *drawing = LayerList_create();
    if (!drawing)
        return Res_noMemory;
    box->layers = drawing;
    // The drawing's items stand in the line's own coordinates until the
    // line is placed, which counts them into the block's bounds then:
    // counted here, they would stretch the block above its top (where a
    // table cell's shading would cover the text before the table).
    int32_t savedBounds[4];
    memcpy(savedBounds, box->bounds, sizeof savedBounds);
    BoxIter_stopAtGroupsOn(iter);
    int err = Layout_placeDrawing(box, iter, box->block.lineLeft, -height, 0);
    BoxIter_stopAtGroupsOff(iter);
    memcpy(box->bounds, savedBounds, sizeof savedBounds);
    box->layers = saved;
    if (!err && box->flowMode && width > room && width > 0) {
        Matrix m{};
        int32_t f = saturate(int64_t(room) * 65536 / width);
        m.a = f;
        m.d = f;
        Point origin{box->block.lineLeft, 0};
        err = LayerList_transform(drawing, &m, &origin, 0);
    }
    if (!err && LayerList_hasItems(drawing))
        err = LayerList_merge(st->line, drawing);
    if (err)
        LayerList_freeItems(drawing);
    LayerList_destroy(drawing);
    if (!err)
        box->block.lineLeft = saturate(int64_t(box->block.lineLeft) + width);
    return err;
}

} // namespace

int Layout_buildLine(LayoutBox *box, BoxIter *iter, Edr_Node *, Edr_Style *blockStyle,
                     LineCounter *, int, LayerList *line)
{
    LineState st{};
    st.line = line;
    st.iter = iter;
    st.start[0] = box->block.lineLeft;
    st.start[1] = box->block.lineRight;
    st.span = lineWidth(box);
    st.startOfLine = 1;
    st.direction = box->block.direction;
    st.blockStyle = blockStyle;
    uint32_t blockDirection = box->block.direction;
    int32_t limit = box->availableWidth;
    int result = Res_ok;
    for (;;) {
        IterEntry e{};
        result = BoxIter_next(iter, &e, box);
        if (result)
            break;
        if (!e.node) {
            result = Layout_contentEnd;
            break;
        }
        if (e.isFloat) {
            // Floats are laid out by the block, before the line when the
            // line holds nothing yet.
            result = BoxIter_defer(iter, &e);
            if (result)
                break;
            if (!lineHasItems(&st)) {
                result = Layout_restart;
                break;
            }
            continue;
        }
        Edr_StylePayload p{};
        uint32_t drawingKind = Edr_Style_get(e.style, kPropDrawing, &p);
        // Anchored and drawing groups (with their text, which carries their
        // set) are laid out elsewhere in page layout. The block's own set
        // does not count: the text of an anchored cell is the cell's content.
        bool ownSet = e.style != blockStyle;
        if (box->flowMode == 0 && ownSet &&
            ((drawingKind != 0 && drawingKind != KwId_inline) ||
             propertySet(e.style, kPropAnchor))) {
            result = passOver(iter, box, e.style);
            if (result)
                break;
            continue;
        }
        if (!Layout_isBlockLevel(e.style, e.node) && !Layout_isOutOfFlow(e.style, e.node) &&
            !Layout_isOffsetMarker(e.node)) {
            uint32_t ws = Edr_Style_get(e.style, PropId_whiteSpace, nullptr);
            if (ws == KwId_nowrap && box->inTable && (box->stateFlags & BoxState_tableCell))
                ws = KwId_normal;
            // A table section, or text under pre that starts with a line
            // break (which is passed over), stops the line.
            bool stop = Layout_isTableSection(e.style, e.node) ||
                        ((ws == KwId_pre || ws == KwId_preWrap) && Layout_skipLineBreak(&e));
            if (stop) {
                if (box->flowMode)
                    while (Layout_skipLineBreak(&e)) {
                    }
                BoxIter_rewindTo(iter, &e);
                result = Layout_breakNeeded;
                break;
            }
            uint32_t dir = Edr_Style_get(e.style, PropId_direction, nullptr);
            bool other = (dir == KwId_rtl) != rtl(blockDirection) &&
                         Edr_Node_type(e.node) == Edr_NodeType_text;
            if (!other && st.reverse) {
                result = Layout_flushReverseRun(line, &st.reverse, blockDirection,
                                                &box->block.lineLeft, &box->block.lineRight);
                if (result)
                    break;
            }
            if (other && !st.reverse) {
                st.reverse = LayerList_create();
                if (!st.reverse) {
                    result = Res_noMemory;
                    break;
                }
            }
            st.direction = other ? (rtl(blockDirection) ? KwId_ltr : KwId_rtl) : blockDirection;
            int r = Layout_placeInline(box, &st, iter, &e, limit, ws);
            if (r == Res_ok)
                continue;
            result = (r == Layout_lineFull || r == Layout_nothingFits) ? Res_ok : r;
            break;
        }
        if (drawingKind == 0 || !ownSet) {
            BoxIter_rewindTo(iter, &e);
            result = Layout_contentEnd;
            break;
        }
        int r = placeDrawingEntry(box, &st, iter, &e);
        if (r == Res_ok)
            continue;
        result = r == Layout_lineFull ? Res_ok : r;
        break;
    }
    if (st.reverse) {
        int err = Layout_flushReverseRun(line, &st.reverse, blockDirection, &box->block.lineLeft,
                                         &box->block.lineRight);
        if (err) {
            LayerList_freeItems(st.reverse);
            LayerList_destroy(st.reverse);
            bool flow = result == Res_ok || result == Layout_contentEnd ||
                        result == Layout_breakNeeded || result == Layout_restart;
            if (flow)
                result = err;
        }
    }
    return result;
}
