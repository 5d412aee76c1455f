// Frame sets: the frame-set state an HTML load builds, the splitting of
// rows and cols lists, and the creation of the frames' sub-documents.
#include "layout/frameset.h"

#include <algorithm>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"
#include "document/edr/doc.h"
#include "document/edr/node.h"
#include "document/edr/webops.h"
#include "platform/url/url.h"

namespace {

FrameRec *newFrame(int32_t width, int32_t height)
{
    FrameRec *f = static_cast<FrameRec *>(Mem_calloc(1, sizeof(FrameRec)));
    if (!f)
        return nullptr;
    f->width = width;
    f->height = height;
    f->marginWidth = -1;
    f->marginHeight = -1;
    f->frameBorder = 1;
    return f;
}

void dropSource(FrameRec *f, Edr_Doc *doc)
{
    if (f->node)
        Edr_Node_release(f->doc ? f->doc : doc, f->node);
    f->node = nullptr;
    Url_free(f->source);
    f->source = nullptr;
}

void freeFrame(FrameRec *f, Edr_Doc *doc)
{
    if (!f)
        return;
    dropSource(f, doc);
    Mem_free(f->name);
    Mem_free(f);
}

int32_t clampToInt32(int64_t v)
{
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// Appends an entry, doubling the array (room for 2 at first). 0 or 1.
int pushEntry(FrameLength **entries, uint32_t *count, uint32_t *capacity, uint32_t kind,
              int64_t value)
{
    if (*count == *capacity) {
        uint32_t grown = *capacity ? *capacity * 2 : 2;
        FrameLength *a =
            static_cast<FrameLength *>(Mem_realloc(*entries, size_t(grown) * sizeof(FrameLength)));
        if (!a)
            return Res_noMemory;
        *entries = a;
        *capacity = grown;
    }
    (*entries)[*count] = {kind, int32_t(std::min<int64_t>(value, INT32_MAX))};
    ++*count;
    return Res_ok;
}

// The list's entries with their parsed values.
int parseLengths(const char16_t *text, size_t length, FrameLength **entries, uint32_t *count)
{
    uint32_t capacity = 0;
    uint32_t kind = FrameLength_pixels, digits = 0;
    int64_t value = 0;
    for (size_t i = 0; i <= length; i++) {
        char16_t c = i < length ? text[i] : u',';
        if (c == u',') {
            if (pushEntry(entries, count, &capacity, kind, value))
                return Res_noMemory;
            kind = FrameLength_pixels;
            digits = 0;
            value = 0;
        } else if (c == u' ' || digits >= FrameState_maxDigits) {
            continue;
        } else if (c == u'%') {
            kind = FrameLength_percent;
        } else if (c == u'*') {
            kind = FrameLength_relative;
        } else if (c >= u'0' && c <= u'9') {
            value = value * 10 + (c - u'0');
            digits++;
        }
    }
    return Res_ok;
}

int64_t pixelsToInches(int64_t pixels)
{
    return pixels * 65536 / 96;
}

// a + b kept within ±2^62 (each term is well inside it).
int64_t saturatingAdd(int64_t a, int64_t b)
{
    constexpr int64_t limit = int64_t(1) << 62;
    return std::clamp<int64_t>(a + b, -limit, limit);
}

// a x b / c without overflow, kept within ±2^62 like the sums; 0 for c = 0.
int64_t mulDiv(int64_t a, int64_t b, int64_t c)
{
    if (c == 0)
        return 0;
    constexpr __int128 limit = __int128(1) << 62;
    __int128 q = __int128(a) * b / c;
    return int64_t(q > limit ? limit : q < -limit ? -limit : q);
}

// A relative entry without digits counts as one share.
int64_t shareOf(const FrameLength &e)
{
    return e.value ? e.value : 1;
}

// Gives each entry its size out of the total.
void sizeLengths(FrameLength *e, uint32_t n, int64_t total)
{
    int64_t percentTotal = 0, percentSize = 0, pixelTotal = 0, pixelSize = 0, relativeTotal = 0;
    for (uint32_t i = 0; i < n; i++) {
        // The sums saturate: a long list of large entries must not
        // overflow them.
        if (e[i].kind == FrameLength_percent) {
            percentTotal = saturatingAdd(percentTotal, e[i].value);
            percentSize = saturatingAdd(percentSize, mulDiv(total, e[i].value, 100));
        } else if (e[i].kind == FrameLength_pixels) {
            pixelTotal = saturatingAdd(pixelTotal, e[i].value);
            pixelSize = saturatingAdd(pixelSize, pixelsToInches(e[i].value));
        } else {
            relativeTotal = saturatingAdd(relativeTotal, shareOf(e[i]));
        }
    }
    int64_t room = saturatingAdd(total, -saturatingAdd(pixelSize, percentSize));
    for (uint32_t i = 0; i < n; i++) {
        int64_t v = e[i].value, size = 0;
        const int64_t rest = saturatingAdd(total, -pixelSize); // what the pixels leave
        if (percentSize == 0 && relativeTotal == 0 && pixelSize > 0 && pixelSize < total) {
            // Pixels only, narrower than the total: stretched to it.
            size = e[i].kind == FrameLength_pixels ? mulDiv(total, v, pixelTotal) : 0;
        } else if (relativeTotal == 0 && percentTotal > 0 && rest > percentSize) {
            // Percentages share what the pixels leave.
            size = e[i].kind == FrameLength_percent ? mulDiv(v, rest, percentTotal)
                                                    : pixelsToInches(v);
        } else if (e[i].kind == FrameLength_pixels) {
            size = pixelsToInches(v);
        } else if (e[i].kind == FrameLength_percent) {
            if (pixelSize < total)
                size = room > 0 ? mulDiv(total, v, 100) : mulDiv(rest, v, 100);
        } else if (room > 0) {
            size = mulDiv(room, shareOf(e[i]), relativeTotal);
        }
        e[i].value = clampToInt32(size);
    }
}

} // namespace

int FrameState_create(const int32_t *viewport, FrameState **out)
{
    *out = nullptr;
    int32_t width = FrameState_rootWidth, height = FrameState_rootHeight;
    if (viewport && (viewport[0] != 0 || viewport[1] != 0)) {
        width = clampToInt32(std::abs(int64_t(viewport[0])));
        height = clampToInt32(std::abs(int64_t(viewport[1])));
    }
    FrameState *s = static_cast<FrameState *>(Mem_calloc(1, sizeof(FrameState)));
    FrameRec *root = newFrame(width, height);
    if (!s || !root) {
        Mem_free(s);
        Mem_free(root);
        return Res_noMemory;
    }
    s->root = root;
    s->current = root;
    *out = s;
    return Res_ok;
}

namespace {

void freeSets(FrameState *s, Edr_Doc *doc)
{
    for (FrameSetRec *set = s->firstSet; set;) {
        for (FrameRec *f = set->first; f;) {
            FrameRec *next = f->next;
            freeFrame(f, doc);
            f = next;
        }
        FrameSetRec *next = set->next;
        Mem_free(set->rows);
        Mem_free(set->cols);
        Mem_free(set);
        set = next;
    }
    s->firstSet = s->lastSet = s->openSet = nullptr;
}

} // namespace

void FrameState_free(FrameState **state, Edr_Doc *doc)
{
    if (!state || !*state)
        return;
    FrameState *s = *state;
    freeFrame(s->root, doc);
    freeSets(s, doc);
    Mem_free(s);
    *state = nullptr;
}

void FrameState_reset(FrameState *state, Edr_Doc *doc)
{
    freeSets(state, doc);
    state->bodySeen = 0;
    state->framesetMode = 0;
    state->current = state->root;
}

int FrameState_bodySeen(const FrameState *state)
{
    return state->bodySeen != 0;
}

void FrameState_markBody(FrameState *state)
{
    if (!state->framesetMode)
        state->bodySeen = 1;
}

int FrameState_isFrameset(const FrameState *state)
{
    return state->framesetMode != 0;
}

void FrameState_enterFrameset(FrameState *state)
{
    if (!state->bodySeen)
        state->framesetMode = 1;
}

int FrameState_isOutsideFrameset(const FrameState *state)
{
    return state->framesetMode && !state->openSet;
}

int FrameState_refusesFrames(const FrameState *state)
{
    return state && state->bodySeen;
}

int FrameState_framesOnly(const FrameState *state)
{
    return state && state->framesetMode;
}

int FrameState_suppressText(const FrameState *state)
{
    return state && state->framesetMode;
}

int32_t FrameState_cursor(const FrameState *state)
{
    return state && state->openSet ? state->openSet->cursor : 0;
}

int32_t FrameState_rowLength(const FrameState *state)
{
    return state && state->openSet ? state->openSet->size[1] : 0;
}

void FrameState_setCursor(FrameState *state, int32_t cursor)
{
    if (state && state->openSet)
        state->openSet->cursor = cursor;
}

int FrameState_startFrameset(FrameState *state)
{
    if (!state)
        return Res_ok;
    FrameState_enterFrameset(state);
    return FrameSet_open(state);
}

int FrameSet_open(FrameState *state)
{
    FrameSetRec *set = static_cast<FrameSetRec *>(Mem_calloc(1, sizeof(FrameSetRec)));
    if (!set)
        return Res_noMemory;
    set->enclosing = state->openSet;
    set->openBefore = state->openSet;
    if (state->current) {
        set->words[0] = state->current->width;
        set->words[1] = state->current->height;
    }
    if (state->lastSet)
        state->lastSet->next = set;
    else
        state->firstSet = set;
    state->lastSet = set;
    state->openSet = set;
    return Res_ok;
}

void FrameSet_close(FrameState *state)
{
    if (!state->openSet)
        return;
    state->openSet = state->openSet->openBefore;
    FrameRec *last = state->openSet ? state->openSet->last : nullptr;
    state->current = last ? last : state->root;
}

int FrameSet_addFrame(FrameState *state, int32_t width, int32_t height, uint32_t rowKind,
                      uint32_t columnKind, int32_t position0, int32_t position1)
{
    FrameSetRec *set = state->openSet;
    if (!set)
        return Res_ok;
    FrameRec *f = newFrame(width, height);
    if (!f)
        return Res_noMemory;
    f->rowKind = rowKind;
    f->columnKind = columnKind;
    f->position[0] = position0;
    f->position[1] = position1;
    f->prevLast = set->last;
    if (set->last)
        set->last->next = f;
    else
        set->first = f;
    set->last = f;
    state->current = f;
    return Res_ok;
}

int FrameSet_setGrid(FrameState *state, const char16_t *rows, size_t rowsLength,
                     const char16_t *cols, size_t colsLength)
{
    FrameSetRec *set = state->openSet;
    if (!set || set->rows || set->cols || set->placed)
        return Res_ok;
    FrameLength *r = nullptr, *c = nullptr;
    uint32_t rowCount = 0, colCount = 0;
    if (rows && FrameSet_splitLengths(rows, rowsLength, set->words[1], &r, &rowCount))
        return Res_noMemory;
    if (cols && FrameSet_splitLengths(cols, colsLength, set->words[0], &c, &colCount)) {
        Mem_free(r);
        return Res_noMemory;
    }
    // A single entry fills the set, as no list does.
    if (!rowCount) {
        Mem_free(r);
        r = nullptr;
    }
    if (!colCount) {
        Mem_free(c);
        c = nullptr;
    }
    set->rows = r;
    set->cols = c;
    set->size[0] = int32_t(std::min<uint32_t>(rowCount, INT32_MAX));
    set->size[1] = int32_t(std::min<uint32_t>(colCount, INT32_MAX));
    return Res_ok;
}

int FrameSet_placeFrame(FrameState *state)
{
    FrameSetRec *set = state->openSet;
    state->current = nullptr;
    if (!set)
        return Res_ok;
    uint32_t rowCount = set->rows ? uint32_t(set->size[0]) : 1;
    uint32_t colCount = set->cols ? uint32_t(set->size[1]) : 1;
    uint32_t row = set->placed / colCount, col = set->placed % colCount;
    if (row >= rowCount)
        return Res_ok; // past the grid: the frame has no cell
    FrameLength width =
        set->cols ? set->cols[col] : FrameLength{FrameLength_relative, set->words[0]};
    FrameLength height =
        set->rows ? set->rows[row] : FrameLength{FrameLength_relative, set->words[1]};
    int err = FrameSet_addFrame(state, width.value, height.value, height.kind, width.kind,
                                int32_t(row), int32_t(col));
    if (err)
        return err;
    set->placed++;
    FrameSet_markWidth(state);
    FrameSet_markHeight(state);
    return Res_ok;
}

void FrameSet_markWidth(FrameState *state)
{
    FrameRec *f = state->current;
    if (f && f->rowKind != FrameLength_relative && f->columnKind != FrameLength_relative)
        f->widthMark = 1;
}

void FrameSet_markHeight(FrameState *state)
{
    FrameRec *f = state->current;
    if (f && f->rowKind != FrameLength_relative && f->columnKind != FrameLength_relative)
        f->heightMark = 1;
}

void FrameSet_setMargin(FrameState *state, int32_t value, int vertical)
{
    if (!state->current)
        return;
    if (vertical)
        state->current->marginHeight = value;
    else
        state->current->marginWidth = value;
}

void FrameSet_setBorder(FrameState *state, int32_t value)
{
    if (state->current)
        state->current->frameBorder = value;
}

int FrameSet_setSource(FrameState *state, Edr_Node *node, Edr_Doc *doc, Url *url)
{
    FrameRec *f = state->current;
    if (!f) {
        Url_free(url);
        return Res_ok;
    }
    Edr_Node *held = nullptr;
    int err = Edr_Node_acquire(doc, node, &held);
    if (err) {
        Url_free(url);
        return err;
    }
    dropSource(f, doc);
    f->source = url;
    f->node = held;
    f->doc = doc;
    return Res_ok;
}

int FrameSet_setName(FrameState *state, const char16_t *text, size_t length)
{
    FrameRec *f = state->current;
    if (!f || f->name)
        return Res_ok;
    f->name = Ustr_dupN(text, length);
    return f->name ? Res_ok : Res_noMemory;
}

int FrameSet_splitLengths(const char16_t *text, size_t length, int32_t total, FrameLength **entries,
                          uint32_t *count)
{
    *entries = nullptr;
    *count = 0;
    FrameLength *e = nullptr;
    uint32_t n = 0;
    if (parseLengths(text, length, &e, &n)) {
        Mem_free(e);
        return Res_noMemory;
    }
    if (n == 1) {
        e[0].value = total;
        n = 0;
    } else {
        sizeLengths(e, n, total);
    }
    *entries = e;
    *count = n;
    return Res_ok;
}

int FrameState_createFrames(Edr_Doc *doc, FrameState *state)
{
    for (FrameSetRec *set = state->firstSet; set; set = set->next) {
        for (FrameRec *f = set->first; f; f = f->next) {
            state->current = f;
            if (f->frameBorder) {
                for (int32_t *side : {&f->height, &f->width}) {
                    if (*side > FrameState_borderSize)
                        *side -= FrameState_borderSize;
                    else
                        f->frameBorder = 0;
                }
            }
            if (!f->source)
                continue;
            int32_t width =
                f->widthMark && set->size[1] ? clampToInt32(-int64_t(f->width)) : f->width;
            int32_t height =
                f->heightMark && set->size[0] ? clampToInt32(-int64_t(f->height)) : f->height;
            int err = Edr_Web_createSubdocument(doc->app, doc, 2, f->node, width ? width : -1,
                                                height ? height : -1, f->marginHeight,
                                                f->marginWidth, f->frameBorder, f->source);
            if (f->node)
                Edr_Node_release(f->doc ? f->doc : doc, f->node);
            f->node = nullptr;
            // Running out of memory and a stop end the walk; the frames
            // left keep their references until the state is freed.
            if (err == Res_noMemory || err == Res_stopRequested)
                return err;
        }
    }
    return Res_ok;
}
