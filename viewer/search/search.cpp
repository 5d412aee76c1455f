// Text search over the laid-out pages of a document: normalisation, the
// page walk with its phases, the matcher and the match highlight.
//
// Each page is read into one stream of characters: the text items of its
// records in list order (containers walked depth first, hidden items
// passed over), each item's characters followed by the whitespace
// character that follows them in the node's text, if any (the break
// between two lines). Text runs after a string-table item (a worksheet's
// cells) take that node text from the table's strings. A match may run
// from one item into the next when both show the same node, or two text
// nodes of the same block (parent group), or when the next item's node is
// not a text node; runs of a string table join only within one entry of
// the table. A match may run over a page's end into the top of the next
// page (a paragraph the page break splits); it is held and shown on the
// page it starts on. Matching restarts one character after each candidate
// start, so overlapping matches are all found.
#include "viewer/search/search.h"

#include "fonts/glyphrun.h"

#include <algorithm>
#include <cstring>

#include "core/container/obj.h"
#include "core/geom/matrix.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/task.h"
#include "core/task/worker.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/edr/page.h"
#include "graphics/path.h"
#include "graphics/rastergeom.h"
#include "graphics/rectlist.h"
#include "spreadsheet/sheetgrid.h"
#include "viewer/docview.h"

// A position in the search: page index and character index in the page's
// stream.
struct SearchPos {
    int32_t page;
    int32_t index;
};

struct SearchState {
    SearchSlot *slot;
    Edr_Doc *doc;
    int32_t found; // a match is current and highlighted
    int32_t phase;
    int32_t startX, startY, startPage;
    int32_t lastDirection;
    int32_t anchorSet, anchorPage;
    int32_t rect[4];                // the match rectangle
    SearchPos matchStart, matchEnd; // matchEnd: the last matched character
    int32_t smallest, largest;      // text sizes of the match (0 unset)
    uint32_t itemCounter;           // kept across steps
    WorkerJob *job;
};

namespace {

constexpr char16_t voiced = 0x3099;
constexpr char16_t halfVoiced = 0x309A;

// Half-width katakana U+FF65-U+FF9F as full-width characters.
constexpr char16_t halfWidthKana[] = {
    0x30FB, 0x30F2, 0x30A1, 0x30A3, 0x30A5, 0x30A7, 0x30A9, 0x30E3, 0x30E5,     0x30E7,
    0x30C3, 0x30FC, 0x30A2, 0x30A4, 0x30A6, 0x30A8, 0x30AA, 0x30AB, 0x30AD,     0x30AF,
    0x30B1, 0x30B3, 0x30B5, 0x30B7, 0x30B9, 0x30BB, 0x30BD, 0x30BF, 0x30C1,     0x30C4,
    0x30C6, 0x30C8, 0x30CA, 0x30CB, 0x30CC, 0x30CD, 0x30CE, 0x30CF, 0x30D2,     0x30D5,
    0x30D8, 0x30DB, 0x30DE, 0x30DF, 0x30E0, 0x30E1, 0x30E2, 0x30E4, 0x30E6,     0x30E8,
    0x30E9, 0x30EA, 0x30EB, 0x30EC, 0x30ED, 0x30EF, 0x30F3, voiced, halfVoiced,
};
static_assert(sizeof halfWidthKana / sizeof halfWidthKana[0] == 0xFF9F - 0xFF65 + 1);

// Small kana (offset in the hiragana or katakana block) and their large
// forms.
constexpr uint8_t smallKana[][2] = {
    {1, 2},   {3, 4},   {5, 6},   {7, 8},   {9, 10},  {35, 36},
    {67, 68}, {69, 70}, {71, 72}, {78, 79}, {85, 11}, {86, 17},
};
// Voiced kana whose unvoiced form is not the offset below.
constexpr uint8_t voicedOther[][2] = {{84, 6}, {87, 79}, {88, 80}, {89, 81}, {90, 82}};

bool isVoicedOffset(uint32_t o)
{
    if (o >= 12 && o <= 34)
        return o % 2 == 0;
    return o == 37 || o == 39 || o == 41 || o == 48 || o == 51 || o == 54 || o == 57 || o == 60 ||
           o == 94;
}

bool isHalfVoicedOffset(uint32_t o)
{
    return o == 49 || o == 52 || o == 55 || o == 58 || o == 61;
}

uint32_t kanaOffset(uint32_t c, uint32_t *base)
{
    *base = c >= 0x30A0 ? 0x30A0 : 0x3040;
    return c - *base;
}

// The hiragana and katakana blocks, without the voice marks between them.
bool isKana(uint32_t c)
{
    return c >= 0x3040 && c < 0x3100 && !(c >= 0x3099 && c <= 0x309C);
}

uint32_t channelUp(uint32_t c)
{
    return std::min<uint32_t>(c * 4 / 3, 255);
}

} // namespace

// ------------------------------------------------------------ characters

int Search_isSpace(uint32_t c)
{
    return c < 33 || c == 0x3000;
}

int Search_isVoiceMark(uint32_t c)
{
    return c == 0x3099 || c == 0x309A || c == 0xFF9E || c == 0xFF9F;
}

int Search_isVoiceable(uint32_t c)
{
    if (c >= 0xFF65 && c <= 0xFF9F)
        c = halfWidthKana[c - 0xFF65];
    if (!isKana(c))
        return 0;
    uint32_t base;
    const uint32_t o = kanaOffset(c, &base);
    if (isVoicedOffset(o + 1))
        return 1;
    for (const auto &v : voicedOther)
        if (v[1] == o && (base == 0x30A0 || v[0] == 84))
            return 1;
    return 0;
}

int Search_normaliseChar(uint32_t c, uint32_t flags, char16_t out[2])
{
    const bool exact = flags & Search_exact;
    if (c >= 0xFF01 && c <= 0xFF5E)
        c -= 0xFEE0;
    if (c <= 0x17F && !exact)
        c = Ustr_upperChar(c);
    if (c >= 0xFFE0 && c <= 0xFFE6) {
        constexpr char16_t signs[] = {0x00A2, 0x00A3, 0x00AC, 0x00AF, 0x00A6, 0x00A5, 0x20A9};
        c = signs[c - 0xFFE0];
    }
    switch (c) {
    case 0x3000: c = ' '; break;
    case 0x2018:
    case 0x2019: c = '\''; break;
    case 0x201C:
    case 0x201D: c = '"'; break;
    case 0x301C: c = '~'; break;
    case 0x2212: c = '-'; break;
    default: break;
    }
    if (c >= 0xFF65 && c <= 0xFF9F)
        c = halfWidthKana[c - 0xFF65];
    if (isKana(c)) {
        uint32_t base;
        const uint32_t o = kanaOffset(c, &base);
        if (!exact)
            for (const auto &s : smallKana)
                if (s[0] == o) {
                    out[0] = char16_t(base + s[1]);
                    return 1;
                }
        if (isVoicedOffset(o)) {
            out[0] = char16_t(base + o - 1);
            out[1] = voiced;
            return 2;
        }
        for (const auto &v : voicedOther)
            if (v[0] == o) {
                out[0] = char16_t(base + v[1]);
                out[1] = voiced;
                return 2;
            }
        if (isHalfVoicedOffset(o)) {
            out[0] = char16_t(base + o - 2);
            out[1] = halfVoiced;
            return 2;
        }
    }
    out[0] = char16_t(c);
    return 1;
}

int Search_normaliseText(const char16_t *text, uint32_t length, uint32_t flags, char16_t **out,
                         uint32_t *outLength)
{
    *out = nullptr;
    *outLength = 0;
    if (length > (UINT32_MAX - 2) / 4)
        return Res_noMemory;
    char16_t *buffer = static_cast<char16_t *>(Mem_malloc(size_t(length) * 4 + 2));
    if (!buffer)
        return Res_noMemory;
    uint32_t n = 0;
    for (uint32_t i = 0; i < length; i++)
        n += uint32_t(Search_normaliseChar(text[i], flags, buffer + n));
    buffer[n] = 0;
    char16_t *shrunk = static_cast<char16_t *>(Mem_realloc(buffer, size_t(n) * 2 + 2));
    *out = shrunk ? shrunk : buffer;
    *outLength = n;
    return Res_ok;
}

uint32_t Search_highlightColour(uint32_t colour)
{
    return channelUp(colour & 0xFF) | channelUp(colour >> 8 & 0xFF) << 8 |
           channelUp(colour >> 16 & 0xFF) << 16 | (colour & 0xFF000000u);
}

// ------------------------------------------------------------ string tables

namespace {

// An entry's chain is followed this far at most.
constexpr uint32_t maxAlternatives = 65536;

uint32_t textLength(const char16_t *text)
{
    uint32_t n = 0;
    while (text[n] && n < UINT32_MAX - 1)
        n++;
    return n;
}

} // namespace

int StrWalker_create(Edr_Doc *doc, ObjHeader *item, StrWalker **out)
{
    *out = nullptr;
    void *record = nullptr;
    int err = Edr_Node_getGridRecord(doc, item ? item->node : nullptr, &record);
    if (err)
        return err;
    StrWalker *w = static_cast<StrWalker *>(Mem_calloc(1, sizeof(StrWalker)));
    if (!w)
        return Res_noMemory;
    const SheetGrid *grid = static_cast<const SheetGrid *>(record);
    w->table = grid ? grid->cellTable : nullptr;
    w->item = item;
    *out = w;
    return Res_ok;
}

int StrWalker_next(StrWalker *walker, const char16_t **text, uint32_t *length, const void **entry)
{
    *text = nullptr;
    *length = 0;
    *entry = nullptr;
    const SheetCellTable *table =
        walker ? static_cast<const SheetCellTable *>(walker->table) : nullptr;
    while (table && table->cells && walker->index < table->count) {
        const ExcelCell *head = &table->cells[walker->index];
        const ExcelCell *c = head;
        for (uint32_t i = 0; c && i < walker->chain; i++)
            c = c->next;
        if (!c || walker->chain >= maxAlternatives) {
            walker->index++;
            walker->chain = 0;
            continue;
        }
        if (c->next) {
            walker->chain++;
        } else {
            walker->index++;
            walker->chain = 0;
        }
        if (!c->text)
            continue;
        *text = c->text;
        *length = textLength(c->text);
        *entry = head;
        return 1;
    }
    return 0;
}

void StrWalker_free(StrWalker *walker)
{
    Mem_free(walker);
}

int32_t Search_itemTextSize(const ObjHeader *item, int32_t size)
{
    if (!item || !item->matrix)
        return size;
    // The translation says where the text is, not how large.
    Matrix turn = *item->matrix;
    turn.tx = turn.ty = 0;
    Point p;
    Matrix_transformPoint(&p, size, 0, &turn);
    return int32_t(std::min<uint32_t>(Path_pointDistance(0, 0, p.x, p.y), INT32_MAX));
}

// ------------------------------------------------------------ page streams

namespace {

// One text item of a page's stream.
struct StreamItem {
    ObjHeader *item;
    uint32_t first;     // index of its first character in the stream
    uint32_t count;     // its own characters
    uint32_t total;     // with the appended whitespace
    int32_t joins;      // a match may run into it from the item before
    const void *string; // the string-table entry its characters come from
    Rect box;           // where its characters are shown, in page units
    int32_t size;       // its text size (0: unknown)
};

struct PageStream {
    char16_t *chars;
    uint32_t *owner; // per character: index into items
    uint32_t length, capacity;
    StreamItem *items;
    uint32_t itemCount, itemCapacity;
};

void streamFree(PageStream *s)
{
    Mem_free(s->chars);
    Mem_free(s->owner);
    Mem_free(s->items);
    *s = PageStream{};
}

bool isTextNode(const Edr_Node *n)
{
    return n && Edr_Node_type(n) == Edr_NodeType_text;
}

// Whether a match may run from the item before into this one: strings of
// a string table only within one entry.
bool continues(const StreamItem *prior, const ObjHeader *item, const void *string)
{
    if (prior->string || string)
        return prior->string == string;
    const ObjHeader *before = prior->item;
    const Edr_Node *a = before->node;
    const Edr_Node *b = item->node;
    if (a == b || !isTextNode(b))
        return true;
    return isTextNode(a) && a->parentNode && a->parentNode == b->parentNode;
}

// Appends count characters of one segment of item (a text run, or one
// run of a glyph-run item) shown in box, with extra whitespace characters
// of the node text after them counted as its own.
int streamAppendChars(PageStream *s, ObjHeader *item, const char16_t *chars, uint32_t count,
                      uint32_t extra, const Rect &box, int32_t size, const void *string = nullptr)
{
    if (!chars || !count)
        return Res_ok;
    if (s->itemCount == s->itemCapacity) {
        uint32_t cap = s->itemCapacity ? s->itemCapacity * 2 : 16;
        auto *items = static_cast<StreamItem *>(Mem_realloc(s->items, cap * sizeof(StreamItem)));
        if (!items)
            return Res_noMemory;
        s->items = items;
        s->itemCapacity = cap;
    }
    const uint32_t total = count + extra;
    if (total > UINT32_MAX / 4 - s->length)
        return Res_noMemory;
    if (s->length + total > s->capacity) {
        uint32_t cap = std::max(s->capacity * 2, s->length + total + 64);
        auto *grown = static_cast<char16_t *>(Mem_realloc(s->chars, cap * sizeof(char16_t)));
        if (!grown)
            return Res_noMemory;
        s->chars = grown;
        auto *owner = static_cast<uint32_t *>(Mem_realloc(s->owner, cap * sizeof(uint32_t)));
        if (!owner)
            return Res_noMemory;
        s->owner = owner;
        s->capacity = cap;
    }
    StreamItem *si = &s->items[s->itemCount];
    si->item = item;
    si->first = s->length;
    si->count = count;
    si->total = total;
    si->joins = s->itemCount > 0 && continues(&s->items[s->itemCount - 1], item, string);
    si->string = string;
    si->box = box;
    si->size = size;
    for (uint32_t i = 0; i < total; i++) {
        s->chars[s->length + i] = chars[i];
        s->owner[s->length + i] = s->itemCount;
    }
    s->length += total;
    s->itemCount++;
    return Res_ok;
}

struct StreamBuild {
    PageStream *stream;
    SearchState *state;
    EngineContext *app;
    Edr_Doc *doc;
    // The string walker of the last string-table item and its current
    // string (the node text of the text runs that follow it).
    StrWalker *walker;
    const char16_t *string;
    uint32_t stringLength;
    const void *entry;
    // Items stop being read once the stream holds this many characters
    // (0: no limit).
    uint32_t limit;
};

void dropWalker(StreamBuild *b)
{
    StrWalker_free(b->walker);
    b->walker = nullptr;
    b->string = nullptr;
    b->stringLength = 0;
    b->entry = nullptr;
}

// Whether count characters at chars lie inside [text, text + length).
bool liesInside(const char16_t *chars, uint32_t count, const char16_t *text, uint32_t length)
{
    const uintptr_t a = reinterpret_cast<uintptr_t>(chars), t = reinterpret_cast<uintptr_t>(text);
    return text && a >= t && (a - t) / sizeof(char16_t) <= length &&
           count <= length - (a - t) / sizeof(char16_t);
}

// The string of the walker that holds the characters, moving the walker
// on to it (and dropping it at the table's end). False when none does.
bool walkerString(StreamBuild *b, const char16_t *chars, uint32_t count)
{
    while (b->walker && !liesInside(chars, count, b->string, b->stringLength)) {
        if (!StrWalker_next(b->walker, &b->string, &b->stringLength, &b->entry)) {
            dropWalker(b);
            return false;
        }
    }
    return b->walker != nullptr;
}

int streamAppend(StreamBuild *b, ObjHeader *item)
{
    const ObjTextPart *t = static_cast<const ObjTextPart *>(Obj_part(item));
    if (!t || !t->chars || !t->count)
        return Res_ok;
    const char16_t *chars = t->chars + t->start;
    // The node text the item's characters lie in: its text node's, or the
    // current string of a string table.
    const char16_t *text = nullptr;
    uint32_t length = 0;
    const void *string = nullptr;
    if (isTextNode(item->node)) {
        const Edr_TextNode *node = Edr_Node_textPayload(item->node);
        if (node && node->chars == t->chars) {
            text = node->chars;
            length = node->length;
        }
    } else if (walkerString(b, chars, t->count)) {
        text = b->string;
        length = b->stringLength;
        string = b->entry;
    }
    // The whitespace that follows the item in that text.
    uint32_t extra = 0;
    if (text && liesInside(chars, t->count + 1, text, length) && Search_isSpace(chars[t->count]))
        extra = 1;
    return streamAppendChars(b->stream, item, chars, t->count, extra, Obj_shownBox(item),
                             Search_itemTextSize(item, t->size), string);
}

// A glyph-run item gives one segment per run of its string, each shown
// where the run is placed.
int streamAppendGlyphs(PageStream *s, ObjHeader *item)
{
    GlyphRunCursor *c = GlyphRunCursor_new(item);
    if (!c)
        return Res_noMemory;
    int err = Res_ok;
    const char16_t *chars = nullptr;
    uint32_t count = 0;
    const GlyphRunItemPart *part = static_cast<const GlyphRunItemPart *>(Obj_part(item));
    const int32_t size = Search_itemTextSize(item, part ? part->size : 0);
    while (!err && GlyphRunCursor_next(c, &chars, &count)) {
        // The run's placed extent, moved by the item's origin; the item's
        // box when the run cannot be measured.
        Rect box = Rect_emptyBound;
        if (part && part->fonts &&
            GlyphRunCursor_measure(c, item, &box, nullptr, nullptr, nullptr, 1) == Res_ok &&
            box.x0 < box.x1)
            box = Rect{box.x0 + item->origin[0], box.y0 + item->origin[1], box.x1 + item->origin[0],
                       box.y1 + item->origin[1]};
        else
            box = Obj_shownBox(item);
        err = streamAppendChars(s, item, chars, count, 0, box, size);
    }
    GlyphRunCursor_free(c);
    return err;
}
int streamMore(StreamBuild *b, Edr_PageEntry *entry);

int stopCheck(StreamBuild *b)
{
    if (++b->state->itemCounter < Search_itemsPerCheck)
        return Res_ok;
    b->state->itemCounter = 0;
    return b->app ? Task_checkStop(b->app) : Res_ok;
}

int streamItems(StreamBuild *b, ObjHeader *first, int depth)
{
    for (ObjHeader *o = first; o; o = Obj_next(o)) {
        if (b->limit && b->stream->length >= b->limit)
            return Res_ok;
        int err = stopCheck(b);
        if (err)
            return err;
        const uint32_t kind = Obj_itemKind(o);
        const bool textItem = o->cls == &GlyphRunItem_class || kind == Obj_itemText;
        if (!textItem && o->node && Edr_Node_type(o->node) == Edr_NodeType_grid) {
            // A string table: the text runs after it take their node text
            // from its strings.
            dropWalker(b);
            err = StrWalker_create(b->doc, o, &b->walker);
            if (err == Res_notGridRecord)
                err = Res_ok;
            if (err)
                return err;
            continue;
        }
        if (o->flags & Obj_hidden)
            continue;
        if (o->cls == &GlyphRunItem_class)
            err = streamAppendGlyphs(b->stream, o);
        else if (kind == Obj_itemText)
            err = streamAppend(b, o);
        else if (kind == Obj_itemContainer && depth < 64)
            err = streamItems(b, reinterpret_cast<ObjHeader *>(o->owner[5]), depth + 1);
        if (err)
            return err;
    }
    return Res_ok;
}

// Reads the page entry's text into the stream (emptied first).
int streamPage(StreamBuild *b, Edr_PageEntry *entry)
{
    b->stream->length = 0;
    b->stream->itemCount = 0;
    return streamMore(b, entry);
}

// Reads the page entry's text after what the stream holds, up to the
// build's limit.
int streamMore(StreamBuild *b, Edr_PageEntry *entry)
{
    dropWalker(b);
    for (Edr_PageRec *r = entry->rec; r; r = r->nextRec) {
        if (b->limit && b->stream->length >= b->limit)
            break;
        if (r->buildState != Edr_PageBuild_ready)
            continue;
        int err = streamItems(b, r->objects, 0);
        if (err)
            return err;
    }
    return Res_ok;
}

// Whether a match of the pattern starts at index s of the stream; *end
// gets the index of its last character.
bool matchAt(const PageStream *st, uint32_t s, const SearchSlot *slot, uint32_t *end)
{
    const char16_t *p = slot->text;
    const uint32_t plen = slot->length;
    uint32_t k = 0;
    for (uint32_t i = s; i < st->length; i++) {
        if (i > s && st->owner[i] != st->owner[i - 1] && !st->items[st->owner[i]].joins)
            return false;
        char16_t n[2];
        const int m = Search_normaliseChar(st->chars[i], slot->flags, n);
        if (n[0] != p[k])
            return false;
        if (m == 2) {
            if (plen - k < 2 || p[k + 1] != n[1])
                return false;
            k += 2;
        } else {
            k += 1;
        }
        if (k == plen) {
            // A match must not end on a kana whose voice mark follows.
            if (Search_isVoiceable(st->chars[i]) && i + 1 < st->length &&
                Search_isVoiceMark(st->chars[i + 1]))
                return false;
            *end = i;
            return true;
        }
    }
    return false;
}

} // namespace

// ------------------------------------------------------------ the slot

SearchSlot *Search_slot(Edr_Doc *doc, int create)
{
    HighlightStyle *view =
        doc && doc->pageList ? static_cast<HighlightStyle *>(doc->pageList->view) : nullptr;
    if (!view)
        return nullptr;
    if (!view->search && create)
        view->search = static_cast<SearchSlot *>(Mem_calloc(1, sizeof(SearchSlot)));
    return view->search;
}

namespace {

SearchState *stateOf(Edr_Doc *doc)
{
    SearchSlot *slot = Search_slot(doc, 0);
    return slot ? slot->state : nullptr;
}

Edr_PageEntry *entryAt(Edr_Doc *doc, int32_t page)
{
    Edr_PageEntry *e = static_cast<Edr_PageEntry *>(Edr_Page_listHead(doc));
    for (int32_t i = 0; e && i < page; i++)
        e = e->nextEntry;
    return e;
}

// The rectangle of stream characters [a, b] of one item, in page units:
// the item's shown box cut in proportion to the characters.
Rect rangeRect(const PageStream *st, uint32_t itemIndex, uint32_t a, uint32_t b)
{
    const StreamItem &si = st->items[itemIndex];
    const Rect box = si.box;
    const int64_t width = int64_t(box.x1) - box.x0;
    const uint32_t from = std::min(a - si.first, si.count - 1);
    const uint32_t to = std::min(b - si.first, si.count - 1);
    return Rect{int32_t(box.x0 + width * from / si.count), box.y0,
                int32_t(box.x0 + width * (to + 1) / si.count), box.y1};
}

// The stream character nearest the page point: the item whose box is
// nearest (0 inside it), the character by its share of the box's width.
// False for an empty stream.
bool nearestChar(const PageStream *st, int32_t x, int32_t y, uint32_t *out)
{
    int64_t best = INT64_MAX;
    uint32_t found = UINT32_MAX;
    for (uint32_t i = 0; i < st->itemCount; i++) {
        const Rect &b = st->items[i].box;
        const int64_t dx = x < b.x0 ? int64_t(b.x0) - x : x >= b.x1 ? int64_t(x) - b.x1 : 0;
        const int64_t dy = y < b.y0 ? int64_t(b.y0) - y : y >= b.y1 ? int64_t(y) - b.y1 : 0;
        // A line's own runs before those above and below it.
        const int64_t d = dy * 16 + dx;
        if (d < best) {
            best = d;
            found = i;
        }
    }
    if (found == UINT32_MAX)
        return false;
    const StreamItem &si = st->items[found];
    const int64_t width = int64_t(si.box.x1) - si.box.x0;
    int64_t at = width > 0 ? (int64_t(x) - si.box.x0) * si.count / width : 0;
    *out = si.first + uint32_t(std::clamp<int64_t>(at, 0, si.count - 1));
    return true;
}

// Highlights the current match (or, with add 0, removes the highlights of
// its page) and, when adding, computes its rectangle and text sizes.
int highlightMatch(SearchState *s, int add)
{
    Edr_Doc *doc = s->doc;
    Edr_PageEntry *entry = entryAt(doc, s->matchStart.page);
    if (!entry)
        return Res_ok;
    if (!add) {
        for (PageView *v = entry->views; v; v = v->next)
            Select_removeHighlights(v, 0);
        return Res_ok;
    }
    PageStream stream{};
    StreamBuild build{&stream, s, nullptr, doc, nullptr, nullptr, 0, nullptr, 0};
    int err = streamPage(&build, entry);
    RectList *list = nullptr;
    if (!err)
        err = RectList_create(&list);
    Rect all = Rect_emptyBound;
    s->smallest = s->largest = 0;
    const uint32_t a = uint32_t(s->matchStart.index), b = uint32_t(s->matchEnd.index);
    if (!err && b < stream.length) {
        for (uint32_t i = stream.owner[a]; i <= stream.owner[b] && !err; i++) {
            const StreamItem &si = stream.items[i];
            const uint32_t from = std::max(a, si.first);
            const uint32_t to = std::min(b, si.first + si.total - 1);
            const Rect r = rangeRect(&stream, i, from, to);
            err = RectList_add(list, i, r.x0, r.y0, r.x1, r.y1);
            Rect_union(&all, &r);
            if (si.size > 0) {
                if (!s->smallest || si.size < s->smallest)
                    s->smallest = si.size;
                if (si.size > s->largest)
                    s->largest = si.size;
            }
        }
    }
    if (!err) {
        s->rect[0] = all.x0;
        s->rect[1] = all.y0;
        s->rect[2] = all.x1;
        s->rect[3] = all.y1;
        const uint32_t fill = Search_highlightColour(s->slot->colour);
        EngineContext *app = Edr_Doc_getApp(doc);
        for (PageView *v = entry->views; v && !err; v = v->next) {
            Path *path = nullptr;
            err = RectList_toPath(list, &path);
            if (!err && path)
                err = Select_addHighlight(app, v->pageKey, v, nullptr, path, nullptr, 0, fill, 0,
                                          fill, 0);
        }
    }
    RectList_destroy(&list);
    dropWalker(&build);
    streamFree(&stream);
    return err;
}

void removeHighlight(SearchState *s)
{
    if (s->found) {
        highlightMatch(s, 0);
        s->found = 0;
    }
}

// One pass over the pages from the start mode's position to the end
// mode's limit: the first match (forward) or the last (backward).
int runPass(SearchState *s, int startMode, int endMode, bool backward)
{
    Edr_Doc *doc = s->doc;
    const SearchPos held = s->matchStart;
    removeHighlight(s);
    int32_t firstPage = 0;
    uint32_t firstIndex = 0;
    if (startMode == 1) {
        firstPage = held.page;
        firstIndex = uint32_t(held.index) + 1;
    } else if (startMode == 2) {
        firstPage = s->startPage;
    } else if (startMode == 3) {
        firstPage = s->anchorPage;
    }
    int32_t limitPage = INT32_MAX; // pages from here on are not searched
    if (endMode == 1)
        limitPage = held.page + 1;
    else if (endMode == 2)
        limitPage = s->startPage;
    else if (endMode == 3)
        limitPage = s->anchorPage;
    EngineContext *app = Edr_Doc_getApp(doc);
    PageStream stream{};
    StreamBuild build{&stream, s, app, doc, nullptr, nullptr, 0, nullptr, 0};
    bool found = false;
    SearchPos start{}, end{};
    int err = Res_ok;
    int32_t page = 0;
    for (Edr_PageEntry *e = static_cast<Edr_PageEntry *>(Edr_Page_listHead(doc)); e && !err;
         e = e->nextEntry, page++) {
        if (page < firstPage)
            continue;
        if (page >= limitPage)
            break;
        if (app)
            Task_yield(app);
        if ((err = streamPage(&build, e)) != 0)
            break;
        uint32_t from = page == firstPage ? firstIndex : 0;
        const uint32_t pageLength = stream.length;
        uint32_t to = pageLength; // candidate starts below this
        // A paragraph split by the page break goes on at the next page's
        // top: enough of that page's text follows the stream for a match
        // that starts on this page to run into it.
        if (e->nextEntry && pageLength > 0 && s->slot->length > 1) {
            build.limit = pageLength + s->slot->length;
            err = streamMore(&build, e->nextEntry);
            build.limit = 0;
            if (err)
                break;
        }
        if (endMode == 1 && page == held.page)
            to = std::min<uint32_t>(to, uint32_t(held.index));
        for (uint32_t i = from; i < to; i++) {
            uint32_t last;
            if (matchAt(&stream, i, s->slot, &last)) {
                found = true;
                start = SearchPos{page, int32_t(i)};
                // The match is shown and held on its first page.
                end = SearchPos{page, int32_t(std::min(last, pageLength - 1))};
                if (!backward)
                    break;
            }
        }
        if (found && !backward)
            break;
    }
    dropWalker(&build);
    streamFree(&stream);
    if (err)
        return err;
    if (found) {
        s->matchStart = start;
        s->matchEnd = end;
        if ((err = highlightMatch(s, 1)) != 0)
            return err;
        s->found = 1;
    }
    return found ? 1 : 0;
}

bool hasText(const SearchState *s)
{
    return s && s->slot && s->slot->text && s->slot->length;
}

int32_t scale(int32_t user, int32_t size, int32_t none)
{
    if (!user || !size)
        return none;
    return int32_t(int64_t(user) * 65536 / size);
}

void report(SearchState *s, SearchCallback callback, void *argument, int32_t stepDirection)
{
    if (!callback)
        return;
    SearchOutcome o{};
    if (!hasText(s)) {
        o.code = SearchCode_noText;
    } else if (s->found) {
        o.code = SearchCode_found;
        o.x0 = s->rect[0];
        o.y0 = s->rect[1];
        o.x1 = s->rect[2];
        o.y1 = s->rect[3];
        o.page = s->matchStart.page;
        o.scaleSmall = scale(s->slot->user1, s->smallest, 0);
        o.scaleLarge = scale(s->slot->user2, s->largest, 0x7fffffff);
    } else if (s->phase == 2) {
        o.code =
            stepDirection == SearchDir_backward ? SearchCode_startReached : SearchCode_endReached;
    } else {
        o.code = SearchCode_none;
    }
    callback(argument, s ? s->lastDirection : SearchDir_forward, &o);
}

int forwardStep(SearchState *s)
{
    static constexpr int startModes[] = {2, 1, 0, 1};
    static constexpr int endModes[] = {0, 0, 2, 2};
    int startMode = startModes[s->phase];
    if (s->anchorSet) {
        s->anchorSet = 0;
        startMode = 3;
    }
    s->lastDirection = SearchDir_forward;
    const int r = runPass(s, startMode, endModes[s->phase], false);
    if (r < 0 || r > 1)
        return r;
    if (s->phase <= 1)
        s->phase = r ? 1 : 2;
    else
        s->phase = r ? 3 : 0;
    return Res_ok;
}

int backwardStep(SearchState *s)
{
    static constexpr int startModes[] = {0, 2, 2, 0};
    static constexpr int endModes[] = {2, 1, 0, 1};
    int endMode = endModes[s->phase];
    if (s->anchorSet) {
        s->anchorSet = 0;
        endMode = 3;
    }
    s->lastDirection = SearchDir_backward;
    const int r = runPass(s, startModes[s->phase], endMode, true);
    if (r < 0 || r > 1)
        return r;
    static constexpr int32_t found[] = {3, 1, 1, 3};
    static constexpr int32_t missed[] = {2, 0, 0, 2};
    s->phase = r ? found[s->phase] : missed[s->phase];
    return Res_ok;
}

} // namespace

// ------------------------------------------------------------ the steps

int Search_begin(Edr_Doc *doc, const char16_t *text, uint32_t length, int32_t startPage,
                 uint32_t flags, int32_t startX, int32_t startY, int32_t user1, int32_t user2)
{
    if (!text || !length)
        return Res_ok;
    SearchSlot *slot = Search_slot(doc, 1);
    if (!slot)
        return Res_noMemory;
    char16_t *normal = nullptr;
    uint32_t normalLength = 0;
    int err = Search_normaliseText(text, length, flags, &normal, &normalLength);
    if (err)
        return err;
    Mem_free(slot->text);
    slot->text = normal;
    slot->length = normalLength;
    slot->flags = flags;
    slot->user1 = user1;
    slot->user2 = user2;
    if (!slot->colour) {
        const HighlightStyle *view = static_cast<const HighlightStyle *>(doc->pageList->view);
        slot->colour = view->activeFill;
    }
    return Search_newState(doc, startPage, startX, startY);
}

int Search_newState(Edr_Doc *doc, int32_t startPage, int32_t startX, int32_t startY)
{
    SearchSlot *slot = Search_slot(doc, 1);
    if (!slot)
        return Res_noMemory;
    Search_end(doc);
    SearchState *s = static_cast<SearchState *>(Mem_calloc(1, sizeof(SearchState)));
    if (!s)
        return Res_noMemory;
    s->slot = slot;
    s->doc = doc;
    s->startPage = startPage;
    s->startX = startX;
    s->startY = startY;
    s->phase = 0;
    slot->state = s;
    slot->busy = 1;
    return Res_ok;
}

int Search_restart(Edr_Doc *doc, int32_t startPage, int32_t startX, int32_t startY)
{
    SearchSlot *slot = Search_slot(doc, 0);
    if (!slot || !slot->text || !slot->length)
        return Res_ok;
    return Search_newState(doc, startPage, startX, startY);
}

int Search_limitToPage(Edr_Doc *doc, int32_t page)
{
    SearchState *s = stateOf(doc);
    if (!s)
        return Res_ok;
    s->anchorSet = 1;
    s->anchorPage = page;
    if (s->startPage >= page && s->startPage <= s->matchStart.page)
        s->phase = 3;
    else if (s->startPage < page && s->startPage > s->matchStart.page)
        s->phase = 1;
    return Res_ok;
}

int Search_forward(Edr_Doc *doc, SearchCallback callback, void *argument)
{
    SearchState *s = stateOf(doc);
    if (hasText(s)) {
        int err = forwardStep(s);
        if (err)
            return err;
    }
    report(s, callback, argument, SearchDir_forward);
    return Res_ok;
}

int Search_backward(Edr_Doc *doc, SearchCallback callback, void *argument)
{
    SearchState *s = stateOf(doc);
    if (hasText(s)) {
        int err = backwardStep(s);
        if (err)
            return err;
    }
    report(s, callback, argument, SearchDir_backward);
    return Res_ok;
}

int Search_repeat(Edr_Doc *doc, SearchCallback callback, void *argument)
{
    SearchState *s = stateOf(doc);
    int32_t ran = SearchDir_forward;
    if (hasText(s)) {
        if (!s->found && (s->phase == 0 || s->phase == 2) && s->lastDirection != SearchDir_repeat) {
            // Run opposite to the last step, once more when the first pass
            // found nothing and ended a region.
            const bool backward = s->lastDirection == SearchDir_forward;
            ran = backward ? SearchDir_backward : SearchDir_forward;
            for (int i = 0; i < 2; i++) {
                int err = backward ? backwardStep(s) : forwardStep(s);
                if (err)
                    return err;
                if (s->found || (s->phase != 0 && s->phase != 2))
                    break;
            }
        }
        s->lastDirection = SearchDir_repeat;
    }
    report(s, callback, argument, ran);
    return Res_ok;
}

int32_t Search_phase(Edr_Doc *doc)
{
    SearchState *s = stateOf(doc);
    return s ? s->phase : -1;
}

WorkerJob **Search_jobSlot(Edr_Doc *doc)
{
    SearchState *s = stateOf(doc);
    return s ? &s->job : nullptr;
}

namespace {

void destroyState(SearchSlot *slot)
{
    SearchState *s = slot->state;
    if (s && s->job) {
        Worker_cancel(s->job);
        Worker_waitAndFree(s->job);
        s->job = nullptr;
    }
    Mem_free(s);
    slot->state = nullptr;
    slot->busy = 0;
}

} // namespace

void Search_end(Edr_Doc *doc)
{
    SearchSlot *slot = Search_slot(doc, 0);
    if (!slot || !slot->state)
        return;
    removeHighlight(slot->state);
    destroyState(slot);
}

void Search_free(SearchSlot *slot)
{
    if (!slot)
        return;
    destroyState(slot);
    Mem_free(slot->text);
    slot->text = nullptr;
    slot->length = 0;
}

int Search_textBetween(Edr_Doc *doc, int32_t page, const Point *a, const Point *b, char16_t **out,
                       uint32_t *length)
{
    *out = nullptr;
    *length = 0;
    if (!doc || !a || !b)
        return Res_notFound;
    Edr_Doc_readLock(doc);
    Edr_Page_readLockList(doc);
    PageStream st{};
    SearchState scratch{};
    StreamBuild build{&st, &scratch, nullptr, doc, nullptr, nullptr, 0, nullptr, 0};
    Edr_PageEntry *entry = entryAt(doc, page);
    int err = entry ? streamPage(&build, entry) : int(Res_notFound);
    dropWalker(&build);
    Edr_Page_readUnlockList(doc);
    Edr_Doc_readUnlock(doc);
    uint32_t from = 0, to = 0;
    if (!err && nearestChar(&st, a->x, a->y, &from) && nearestChar(&st, b->x, b->y, &to)) {
        if (from > to)
            std::swap(from, to);
        // Room for a line break between every two items.
        const uint32_t room = to - from + 1 + (st.owner[to] - st.owner[from]) + 1;
        char16_t *text = static_cast<char16_t *>(Mem_malloc(room * sizeof(char16_t)));
        if (!text) {
            err = Res_noMemory;
        } else {
            uint32_t n = 0;
            for (uint32_t i = from; i <= to; i++) {
                if (i > from && st.owner[i] != st.owner[i - 1] && !st.items[st.owner[i]].joins) {
                    // Runs of one line run on; a run below starts a line.
                    const Rect &p = st.items[st.owner[i - 1]].box, &q = st.items[st.owner[i]].box;
                    const bool sameLine = q.y0 < p.y1 && p.y0 < q.y1;
                    const char16_t last = n ? text[n - 1] : u' ';
                    if (!sameLine)
                        text[n++] = u'\n';
                    else if (last != u' ' && st.chars[i] != u' ' && q.x0 > p.x1)
                        text[n++] = u' ';
                }
                text[n++] = st.chars[i];
            }
            text[n] = 0;
            *out = text;
            *length = n;
        }
    }
    streamFree(&st);
    return err;
}
