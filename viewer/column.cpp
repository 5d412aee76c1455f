// Scrolled content columns (see column.h).
//
// Scrolling works on the column's lines in walk order, nested columns'
// lines included: a position is a distance from the top of the first
// line, and the anchor names the line holding it and the offset into that
// line. A scroll walks the lines (loading lists as it goes), finds where
// the new position falls and makes that line the anchor.
#include "viewer/column.h"

#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/number.h"

namespace {

int32_t clamp32(int64_t v)
{
    return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : int32_t(v);
}

void freeChildren(ColumnNode *list)
{
    for (uint32_t i = 0; i < list->count; i++)
        ColumnNode_free(list->items[i]);
    Mem_free(list->items);
    list->items = nullptr;
    list->count = 0;
    list->capacity = 0;
}

// Runs a list's loader for the walk's layout width; the list is then
// loaded and measured.
int loadList(ColumnWalk *walk, ColumnNode *list)
{
    if (list->loader) {
        ColumnWalkState state{list, walk->state.layoutWidth};
        ColumnNode *saved = walk->state.list;
        walk->state.list = list;
        int r = list->loader(list->loaderContext, list->loaderArgument, &state);
        walk->state.list = saved;
        if (r != Res_ok)
            return r;
    }
    list->loaded = 1;
    list->measured = 1;
    return Res_ok;
}

int lineRectOf(const ColumnNode *line, int32_t layoutWidth, Rect *out)
{
    if (line->rect)
        return line->rect(line, layoutWidth, out);
    int32_t h = clamp32(line->lineWord);
    *out = Rect{0, h > 0 ? -h : 0, layoutWidth, 0};
    return Res_ok;
}

int32_t extentOf(const Rect &r)
{
    return r.y0 < 0 ? clamp32(-int64_t(r.y0)) : 0;
}

int walkList(ColumnWalk *walk, ColumnNode *list)
{
    if (walk->stop)
        return Res_ok;
    if (walk->listStart) {
        int r = walk->listStart(walk, list);
        if (r != Res_ok)
            return r;
    }
    if (!list->loaded) {
        if (!walk->mayLoad)
            return Res_ok;
        int r = loadList(walk, list);
        if (r != Res_ok)
            return r;
    }
    for (uint32_t k = 0; k < list->count; k++) {
        uint32_t index = walk->reverse ? list->count - 1 - k : k;
        ColumnNode *node = list->items[index];
        int r = Res_ok;
        if (walk->item && (r = walk->item(walk, list, index)) != Res_ok)
            return r;
        if (walk->emitLines && !walk->stop) {
            if (!list->measured && walk->lazy) {
                // Lines keep their own geometry operation, so measuring a
                // list again only needs the permission to load.
                if (walk->mayLoad)
                    list->measured = 1;
                else
                    walk->stop = 1;
            }
            if (!walk->stop && node->kind != ColumnNode_list && node->kind != ColumnNode_nested) {
                Rect rect{};
                r = lineRectOf(node, walk->state.layoutWidth, &rect);
                if (r == Res_ok && walk->line)
                    r = walk->line(walk, list, index, node, &rect);
                if (r != Res_ok)
                    return r;
            }
        }
        if (node->kind == ColumnNode_list)
            r = walkList(walk, node);
        else if (node->kind == ColumnNode_nested && !walk->stop)
            r = walk->nested ? walk->nested(walk, node) : Column_enterNested(walk, node);
        if (r != Res_ok)
            return r;
        if (walk->stop)
            return Res_ok;
    }
    return Res_ok;
}

// ------------------------------------------------- the lines in order

struct FlatLine {
    ColumnSource *source; // the innermost nested column's source (null: the column's own)
    ColumnNode *list;
    int32_t index;
    int32_t extent;
};

struct FlatLines {
    FlatLine *lines;
    uint32_t count;
    uint32_t capacity;
    int64_t total;
};

int collectLine(ColumnWalk *walk, ColumnNode *list, uint32_t index, ColumnNode *, const Rect *rect)
{
    FlatLines *flat = static_cast<FlatLines *>(walk->argument);
    if (flat->count == flat->capacity) {
        uint32_t cap = flat->capacity ? flat->capacity * 2 : 32;
        void *grown = Mem_realloc(flat->lines, size_t(cap) * sizeof(FlatLine));
        if (!grown)
            return Res_noMemory;
        flat->lines = static_cast<FlatLine *>(grown);
        flat->capacity = cap;
    }
    ColumnSource *source = walk->path.count ? walk->path.source[walk->path.count - 1] : nullptr;
    int32_t extent = extentOf(*rect);
    flat->lines[flat->count++] = FlatLine{source, list, int32_t(index), extent};
    flat->total += extent;
    return Res_ok;
}

void initWalk(ColumnWalk *walk, ScrollColumn *column, int stopAtUnmeasured)
{
    std::memset(walk, 0, sizeof(*walk));
    ScrollPath_init(&walk->path);
    walk->column = column;
    walk->mayLoad = stopAtUnmeasured ? 0 : 1;
    walk->lazy = 1;
    walk->emitLines = 1;
}

// Every line of the column in order. 0 or the walk's error (flat freed).
int flatten(ScrollColumn *column, int stopAtUnmeasured, FlatLines *flat)
{
    *flat = FlatLines{};
    ColumnWalk walk;
    initWalk(&walk, column, stopAtUnmeasured);
    Lock_acquire(&column->lock);
    walk.state.layoutWidth = column->layoutWidth;
    ColumnNode *content = column->content;
    Lock_release(&column->lock);
    walk.line = collectLine;
    walk.argument = flat;
    int r = content ? Column_walk(column, &walk, content) : Res_ok;
    if (r != Res_ok) {
        Mem_free(flat->lines);
        *flat = FlatLines{};
    }
    return r;
}

// The line the anchor names and the anchor's position from the top of the
// first line.
void locate(const FlatLines &flat, const ScrollAnchor &anchor, uint32_t *line, int64_t *position)
{
    *line = 0;
    *position = anchor.offset;
    if (!flat.count)
        return;
    if (anchor.kind == ScrollAnchor_end) {
        *line = flat.count - 1;
        *position = flat.total;
        return;
    }
    if (anchor.kind != ScrollAnchor_line)
        return;
    int64_t start = 0;
    for (uint32_t i = 0; i < flat.count; i++) {
        const FlatLine &l = flat.lines[i];
        if (l.list == anchor.list && l.index == anchor.index && l.source == anchor.source) {
            *line = i;
            *position = start + anchor.offset;
            return;
        }
        start += l.extent;
    }
}

ScrollAnchor anchorAt(const FlatLines &flat, uint32_t i, int64_t offset)
{
    const FlatLine &l = flat.lines[i];
    return ScrollAnchor{ScrollAnchor_line, l.source, l.list, l.index, l.extent, 0, clamp32(offset)};
}

// Writes the anchor into the column and, when the line lies in a nested
// column, into that column too (with its own source word cleared).
void storeAnchor(ScrollColumn *column, const ScrollAnchor &anchor)
{
    ScrollPath path;
    ScrollPath_init(&path);
    (void)ScrollPath_push(&path, nullptr, column);
    if (anchor.source && anchor.source->acquire) {
        if (ScrollColumn *nested = anchor.source->acquire(anchor.source->context))
            (void)ScrollPath_push(&path, anchor.source, nested);
    }
    ScrollPath_storeAnchor(&path, &anchor);
    // Only the nested column was acquired here.
    if (path.count > 1 && path.source[1]->release)
        path.source[1]->release(path.source[1]->context, path.column[1]);
}

// Moves the anchor to position target (from the top of the first line).
// *overshoot as Column_scrollForward / Column_scrollBackward (backward
// set for the latter).
void moveTo(ScrollColumn *column, const FlatLines &flat, int64_t target, int backward,
            int32_t *overshoot)
{
    *overshoot = int32_t(Column_noOvershoot);
    if (target < 0 && backward)
        *overshoot = clamp32(target - Column_bottomMargin);
    if (!flat.count) {
        ScrollAnchor a{};
        Column_getAnchor(column, &a);
        a.offset = clamp32(target);
        Column_setAnchor(column, &a);
        if (!backward)
            *overshoot = clamp32(target - Column_bottomMargin);
        return;
    }
    if (target < 0) {
        storeAnchor(column, anchorAt(flat, 0, target));
        return;
    }
    int64_t start = 0;
    for (uint32_t i = 0; i < flat.count; i++) {
        if (target < start + flat.lines[i].extent) {
            storeAnchor(column, anchorAt(flat, i, target - start));
            return;
        }
        start += flat.lines[i].extent;
    }
    uint32_t last = flat.count - 1;
    *overshoot = clamp32(target - flat.total - Column_bottomMargin);
    storeAnchor(column, anchorAt(flat, last, target - (flat.total - flat.lines[last].extent)));
}

int scroll(ScrollColumn *column, int32_t distance, int stopAtUnmeasured, int32_t *overshoot)
{
    *overshoot = int32_t(Column_noOvershoot);
    ScrollAnchor anchor{};
    Column_getAnchor(column, &anchor);
    int64_t inLine = int64_t(anchor.offset) + distance;
    // Within the anchor line only the offset changes.
    if (anchor.kind == ScrollAnchor_line && inLine >= 0 &&
        (distance <= 0 || inLine < anchor.extent)) {
        anchor.offset = int32_t(inLine);
        Column_setAnchor(column, &anchor);
        return Res_ok;
    }
    FlatLines flat;
    int r = flatten(column, stopAtUnmeasured, &flat);
    if (r != Res_ok)
        return r;
    uint32_t line = 0;
    int64_t position = 0;
    locate(flat, anchor, &line, &position);
    moveTo(column, flat, position + distance, distance < 0, overshoot);
    Mem_free(flat.lines);
    return Res_ok;
}

// The anchor's position, the content's total height and the top and
// bottom limits of the position.
struct Range {
    int64_t position;
    int64_t total;
    int64_t minimum;
    int64_t maximum;
};

int rangeOf(ScrollColumn *column, const FlatLines &flat, Range *out)
{
    ScrollAnchor anchor{};
    Column_getAnchor(column, &anchor);
    uint32_t line = 0;
    locate(flat, anchor, &line, &out->position);
    out->total = flat.total;
    out->minimum = -int64_t(Column_bottomMargin);
    out->maximum =
        std::max(out->minimum, flat.total + Column_bottomMargin - Column_visibleHeight(column));
    return Res_ok;
}

void setFlags(ScrollColumn *column, const Range &range)
{
    int32_t visible = Column_visibleHeight(column);
    Column_setMoreFlags(column, range.position > range.minimum ? 1 : 0,
                        range.position + visible < range.total + Column_bottomMargin ? 1 : 0);
}

} // namespace

// ------------------------------------------------------------- records

void ScrollColumn_init(EngineContext *context, ScrollColumn *column)
{
    std::memset(column, 0, sizeof(*column));
    if (context)
        // Lock_init cannot fail.
        (void)Lock_init(context, &column->lock);
    Column_defaultAnchor(&column->anchor);
}

void ScrollColumn_fini(ScrollColumn *column)
{
    if (!column)
        return;
    ColumnNode_free(column->content);
    column->content = nullptr;
    Lock_fini(&column->lock);
}

int ColumnList_create(ColumnNode **out)
{
    *out = static_cast<ColumnNode *>(Mem_calloc(1, sizeof(ColumnNode)));
    if (!*out)
        return Res_noMemory;
    (*out)->kind = ColumnNode_list;
    return Res_ok;
}

int ColumnLine_create(ColumnNode **out, uint32_t id, int32_t height)
{
    *out = static_cast<ColumnNode *>(Mem_calloc(1, sizeof(ColumnNode)));
    if (!*out)
        return Res_noMemory;
    (*out)->kind = ColumnNode_line;
    (*out)->id = id;
    (*out)->lineWord = height;
    return Res_ok;
}

int ColumnNested_create(ColumnNode **out, uint32_t id, ColumnSource *source)
{
    *out = static_cast<ColumnNode *>(Mem_calloc(1, sizeof(ColumnNode)));
    if (!*out)
        return Res_noMemory;
    (*out)->kind = ColumnNode_nested;
    (*out)->id = id;
    (*out)->source = source;
    return Res_ok;
}

int ColumnList_append(ColumnNode *list, ColumnNode *node)
{
    if (!list || !node || list->kind != ColumnNode_list)
        return Res_nullInput;
    if (list->count == list->capacity) {
        uint32_t cap = list->capacity ? list->capacity * 2 : 8;
        void *grown = Mem_realloc(list->items, size_t(cap) * sizeof(ColumnNode *));
        if (!grown)
            return Res_noMemory;
        list->items = static_cast<ColumnNode **>(grown);
        list->capacity = cap;
    }
    list->items[list->count++] = node;
    return Res_ok;
}

void ColumnNode_free(ColumnNode *node)
{
    if (!node)
        return;
    if (node->kind == ColumnNode_list)
        freeChildren(node);
    Mem_free(node);
}

void ColumnList_clear(ColumnNode *list)
{
    if (!list || list->kind != ColumnNode_list)
        return;
    freeChildren(list);
    list->loaded = 0;
    list->measured = 0;
}

// ------------------------------------------------------ locked accessors

void Column_setContent(ScrollColumn *column, ColumnNode *content)
{
    Lock_acquire(&column->lock);
    ColumnNode *old = column->content;
    column->content = content;
    Column_defaultAnchor(&column->anchor);
    Lock_release(&column->lock);
    ColumnNode_free(old);
}

void Column_getAnchor(ScrollColumn *column, ScrollAnchor *out)
{
    Lock_acquire(&column->lock);
    *out = column->anchor;
    Lock_release(&column->lock);
}

void Column_setAnchor(ScrollColumn *column, const ScrollAnchor *anchor)
{
    Lock_acquire(&column->lock);
    column->anchor = *anchor;
    Lock_release(&column->lock);
}

void Column_setSize(ScrollColumn *column, int32_t layoutWidth, int32_t visibleHeight)
{
    Lock_acquire(&column->lock);
    column->layoutWidth = layoutWidth;
    column->visibleHeight = visibleHeight;
    column->sizeSet = 1;
    Lock_release(&column->lock);
}

int32_t Column_visibleHeight(ScrollColumn *column)
{
    Lock_acquire(&column->lock);
    int32_t h = column->visibleHeight;
    Lock_release(&column->lock);
    return h;
}

void Column_setScrollPosition(ScrollColumn *column, int32_t position)
{
    Lock_acquire(&column->lock);
    column->scrollPosition = position;
    Lock_release(&column->lock);
}

int32_t Column_scrollPosition(ScrollColumn *column)
{
    Lock_acquire(&column->lock);
    int32_t p = column->scrollPosition;
    Lock_release(&column->lock);
    return p;
}

void Column_setMoreFlags(ScrollColumn *column, uint32_t moreBefore, uint32_t moreAfter)
{
    Lock_acquire(&column->lock);
    column->moreBefore = moreBefore;
    column->moreAfter = moreAfter;
    Lock_release(&column->lock);
}

namespace {

void resetTree(ColumnNode *node, int32_t depth)
{
    if (!node || depth > ScrollPath_maxDepth)
        return;
    if (node->kind == ColumnNode_list) {
        node->measured = 0;
        for (uint32_t i = 0; i < node->count; i++)
            resetTree(node->items[i], depth);
    } else if (node->kind == ColumnNode_nested && node->source && node->source->acquire) {
        ScrollColumn *nested = node->source->acquire(node->source->context);
        if (!nested)
            return;
        Lock_acquire(&nested->lock);
        resetTree(nested->content, depth + 1);
        Lock_release(&nested->lock);
        if (node->source->release)
            node->source->release(node->source->context, nested);
    }
}

} // namespace

void Column_resetMeasures(ScrollColumn *column)
{
    Lock_acquire(&column->lock);
    resetTree(column->content, 0);
    Lock_release(&column->lock);
}

// ------------------------------------------------------------- walking

int Column_walk(ScrollColumn *column, ColumnWalk *walk, ColumnNode *content)
{
    if (!content || walk->stop)
        return Res_ok;
    ScrollColumn *saved = walk->column;
    walk->column = column;
    int r = content->kind == ColumnNode_list ? walkList(walk, content) : Res_ok;
    walk->column = saved;
    return r;
}

int Column_enterNested(ColumnWalk *walk, ColumnNode *item)
{
    ColumnSource *source = item->source;
    if (!source || !source->acquire)
        return Res_ok;
    ScrollColumn *nested = source->acquire(source->context);
    if (!nested)
        return Res_ok;
    int r = Res_ok;
    if (ScrollPath_push(&walk->path, source, nested) == Res_ok) {
        ScrollColumn *outer = walk->column;
        int32_t width = walk->state.layoutWidth, visible = 0, position = 0;
        if (outer) {
            Lock_acquire(&outer->lock);
            visible = outer->visibleHeight;
            position = outer->scrollPosition;
            Lock_release(&outer->lock);
        }
        Lock_acquire(&nested->lock);
        nested->layoutWidth = width;
        nested->visibleHeight = visible;
        nested->scrollPosition = position;
        ColumnNode *content = nested->content;
        Lock_release(&nested->lock);
        r = Column_walk(nested, walk, content);
        walk->path.count--;
    }
    if (source->release)
        source->release(source->context, nested);
    return r;
}

// ---------------------------------------------------------- scrolling

int Column_scrollForward(ScrollColumn *column, int32_t distance, int stopAtUnmeasured,
                         int32_t *overshoot)
{
    return scroll(column, std::max(distance, 0), stopAtUnmeasured, overshoot);
}

int Column_scrollBackward(ScrollColumn *column, int32_t distance, int stopAtUnmeasured,
                          int32_t *overshoot)
{
    return scroll(column, std::min(distance, 0), stopAtUnmeasured, overshoot);
}

int Column_scrollBy(ScrollColumn *column, int32_t *distance)
{
    int32_t wanted = *distance;
    if (wanted == 0)
        return 0;
    FlatLines flat;
    if (flatten(column, 0, &flat) != Res_ok)
        return 0;
    Range range{};
    rangeOf(column, flat, &range);
    int64_t target = range.position + wanted;
    // A position already past a limit is not pulled back by a scroll
    // towards it.
    if (wanted > 0)
        target = std::min(target, std::max(range.position, range.maximum));
    else
        target = std::max(target, std::min(range.position, range.minimum));
    *distance = clamp32(range.position + wanted - target);
    int moved = target != range.position;
    if (moved) {
        int32_t overshoot = 0;
        moveTo(column, flat, target, wanted < 0, &overshoot);
    }
    Mem_free(flat.lines);
    return moved ? 1 : 0;
}

int Column_scrollLines(ScrollColumn *column, int32_t distance)
{
    if (distance == 0)
        return Res_ok;
    int32_t overshoot = 0;
    return distance > 0 ? Column_scrollForward(column, distance, 0, &overshoot)
                        : Column_scrollBackward(column, distance, 0, &overshoot);
}

int32_t Column_topMargin(ScrollColumn *column)
{
    ScrollAnchor anchor{};
    Column_getAnchor(column, &anchor);
    return clamp32(-(int64_t(anchor.offset) + Column_bottomMargin));
}

int Column_settle(ScrollColumn *column)
{
    FlatLines flat;
    int r = flatten(column, 0, &flat);
    if (r != Res_ok)
        return r;
    Range range{};
    rangeOf(column, flat, &range);
    int64_t target = std::clamp(range.position, range.minimum, range.maximum);
    if (target != range.position || !flat.count) {
        int32_t overshoot = 0;
        moveTo(column, flat, target, target < range.position, &overshoot);
        range.position = target;
    }
    setFlags(column, range);
    Mem_free(flat.lines);
    return Res_ok;
}

int Column_refreshFlags(ScrollColumn *column)
{
    FlatLines flat;
    int r = flatten(column, 0, &flat);
    if (r != Res_ok)
        return r;
    Range range{};
    rangeOf(column, flat, &range);
    setFlags(column, range);
    Mem_free(flat.lines);
    return Res_ok;
}

int Column_lineRect(ScrollColumn *column, ColumnNode *list, uint32_t index, Rect *out)
{
    *out = Rect{};
    if (!list || list->kind != ColumnNode_list)
        return Res_nullInput;
    ColumnWalk walk;
    initWalk(&walk, column, 0);
    walk.state.layoutWidth = column->layoutWidth;
    if (!list->loaded) {
        int r = loadList(&walk, list);
        if (r != Res_ok)
            return r;
    }
    if (index >= list->count)
        return Res_noSuchPage;
    return lineRectOf(list->items[index], walk.state.layoutWidth, out);
}

int Column_relayout(ScrollColumn *column, int32_t layoutWidth, int32_t visibleHeight)
{
    ScrollAnchor anchor{};
    Column_getAnchor(column, &anchor);
    bool keep = anchor.kind == ScrollAnchor_line && !anchor.source && anchor.list;
    double fraction = keep && anchor.extent ? double(anchor.offset) / double(anchor.extent) : 0.0;
    Column_setSize(column, layoutWidth, visibleHeight);
    Column_resetMeasures(column);
    if (!keep)
        return Res_ok;
    Rect rect{};
    int r = Column_lineRect(column, anchor.list, uint32_t(anchor.index), &rect);
    if (r != Res_ok || rect.y0 >= rect.y1)
        return r == Res_noSuchPage ? Res_ok : r;
    anchor.extent = extentOf(rect);
    anchor.offset = clamp32(int64_t(fraction * double(anchor.extent)));
    storeAnchor(column, anchor);
    return Res_ok;
}

int Column_extent(ScrollColumn *column, int32_t *top, int32_t *height)
{
    *top = 0;
    *height = 0;
    FlatLines flat;
    int r = flatten(column, 0, &flat);
    if (r != Res_ok)
        return r;
    *top = clamp32(
        std::max<int64_t>(0, int64_t(Column_topMarginRange) - Column_visibleHeight(column)));
    *height = clamp32(std::max<int64_t>(0, flat.total + Column_bottomMargin));
    Mem_free(flat.lines);
    return Res_ok;
}

namespace {

struct VisitState {
    ColumnVisitFn fn;
    void *argument;
    int32_t stopPastEnd;
    int32_t end;
    int64_t y;
};

int visitLine(ColumnWalk *walk, ColumnNode *, uint32_t, ColumnNode *line, const Rect *rect)
{
    VisitState *v = static_cast<VisitState *>(walk->argument);
    int32_t extent = extentOf(*rect);
    if (v->stopPastEnd && v->y > v->end) {
        walk->stop = 1;
        return Res_ok;
    }
    Rect placed{rect->x0, clamp32(v->y), rect->x1, clamp32(v->y + extent)};
    v->y += extent;
    return v->fn(v->argument, line, &placed);
}

} // namespace

int Column_visitLines(ScrollColumn *column, ColumnVisitFn fn, int32_t stopPastEnd, int32_t end,
                      void *argument)
{
    if (!fn)
        return Res_ok;
    ColumnWalk walk;
    initWalk(&walk, column, 0);
    Lock_acquire(&column->lock);
    walk.state.layoutWidth = column->layoutWidth;
    ColumnNode *content = column->content;
    Lock_release(&column->lock);
    VisitState state{fn, argument, stopPastEnd, end, 0};
    walk.line = visitLine;
    walk.argument = &state;
    return Column_walk(column, &walk, content);
}

int Column_visitLinesSimple(ScrollColumn *column, ColumnVisitFn fn, void *argument)
{
    return Column_visitLines(column, fn, 0, 0, argument);
}

// ------------------------------------------------------------ the path

void ScrollPath_init(ScrollPath *path)
{
    std::memset(path, 0, sizeof(*path));
}

int ScrollPath_push(ScrollPath *path, ColumnSource *source, ScrollColumn *column)
{
    if (path->count >= ScrollPath_maxDepth)
        return Res_noMemory;
    path->source[path->count] = source;
    path->column[path->count] = column;
    path->count++;
    return Res_ok;
}

void ScrollPath_pop(ScrollPath *path)
{
    if (path->count > 0)
        path->count--;
}

void ScrollPath_release(ScrollPath *path)
{
    while (path->count > 0) {
        int32_t i = --path->count;
        ColumnSource *s = path->source[i];
        if (s && s->release && path->column[i])
            s->release(s->context, path->column[i]);
    }
    ScrollPath_init(path);
}

void ScrollPath_enter(ScrollPath *path, ScrollColumn *column)
{
    ScrollPath_init(path);
    if (!column)
        return;
    (void)ScrollPath_push(path, nullptr, column);
    ScrollColumn *at = column;
    while (path->count < ScrollPath_maxDepth) {
        ScrollAnchor anchor{};
        Column_getAnchor(at, &anchor);
        ColumnSource *s = anchor.source;
        if (!s || !s->acquire)
            return;
        ScrollColumn *nested = s->acquire(s->context);
        if (!nested || nested == at) {
            if (nested && s->release)
                s->release(s->context, nested);
            return;
        }
        (void)ScrollPath_push(path, s, nested);
        at = nested;
    }
}

void ScrollPath_storeAnchor(ScrollPath *path, const ScrollAnchor *anchor)
{
    for (int32_t i = 0; i < path->count; i++) {
        ScrollAnchor a = *anchor;
        // The innermost column holds the line itself.
        if (i == path->count - 1 && i > 0)
            a.source = nullptr;
        Column_setAnchor(path->column[i], &a);
    }
}

// ----------------------------------------------------- saved positions

int32_t *ScrollPosition_snapshot(ScrollPosition *position)
{
    Lock_acquire(&position->lock);
    uint32_t n = position->ids ? position->idCount : 0;
    int32_t *out = static_cast<int32_t *>(Mem_malloc((size_t(6) + n) * sizeof(int32_t)));
    if (out) {
        for (int i = 0; i < 5; i++)
            out[i] = position->words[i];
        out[5] = int32_t(n);
        for (uint32_t i = 0; i < n; i++)
            out[6 + i] = int32_t(position->ids[i]);
    }
    Lock_release(&position->lock);
    return out;
}

void Column_defaultAnchor(ScrollAnchor *out)
{
    *out =
        ScrollAnchor{ScrollAnchor_start, nullptr, nullptr, 0, 0, 0, -int32_t(Column_bottomMargin)};
}

int Column_restoreAnchor(ScrollColumn *column, const int32_t *snapshot, int32_t layoutWidth)
{
    int32_t kind = snapshot[0], savedIndex = snapshot[1], savedOffset = snapshot[2];
    uint32_t n = uint32_t(snapshot[5]);
    const int32_t *ids = snapshot + 6;
    ScrollAnchor anchor{};
    if (kind != int32_t(ScrollAnchor_line)) {
        anchor = ScrollAnchor{uint32_t(kind), nullptr, nullptr, savedIndex, 0, 0, savedOffset};
        Column_setAnchor(column, &anchor);
        return Res_ok;
    }
    Lock_acquire(&column->lock);
    if (column->sizeSet != 1)
        column->layoutWidth = layoutWidth;
    ColumnNode *list = column->content;
    int32_t width = column->layoutWidth;
    Lock_release(&column->lock);

    ColumnWalk walk;
    initWalk(&walk, column, 0);
    walk.state.layoutWidth = width;
    ColumnSource *nested = nullptr;
    bool followed = n > 0 && list && list->kind == ColumnNode_list && uint32_t(ids[0]) == list->id;
    for (uint32_t step = 1; followed && step < n && !nested; step++) {
        if (!list->loaded && loadList(&walk, list) != Res_ok) {
            followed = false;
            break;
        }
        ColumnNode *next = nullptr;
        for (uint32_t i = 0; i < list->count && !next && !nested; i++) {
            ColumnNode *item = list->items[i];
            if (item->id != uint32_t(ids[step]))
                continue;
            if (item->kind == ColumnNode_list)
                next = item;
            else if (item->kind == ColumnNode_nested)
                nested = item->source;
        }
        if (next)
            list = next;
        else if (!nested)
            followed = false;
    }
    if (followed && !nested && !list->loaded && loadList(&walk, list) != Res_ok)
        followed = false;
    if (!followed) {
        Column_defaultAnchor(&anchor);
    } else if (nested) {
        anchor = ScrollAnchor{ScrollAnchor_line, nested, nullptr, savedIndex, 0, 0, savedOffset};
    } else {
        anchor = ScrollAnchor{ScrollAnchor_line, nullptr, list, savedIndex, 0, 0, savedOffset};
        if (list->count == 0) {
            Column_defaultAnchor(&anchor);
        } else if (savedIndex < 0 || uint32_t(savedIndex) >= list->count) {
            anchor.index = int32_t(list->count - 1);
            anchor.offset = 0;
        }
        Rect rect{};
        if (anchor.list && lineRectOf(list->items[anchor.index], width, &rect) == Res_ok)
            anchor.extent = extentOf(rect);
    }
    Column_setAnchor(column, &anchor);
    return Res_ok;
}

int Column_restorePosition(ScrollColumn *column, ScrollPosition *position)
{
    int32_t *snapshot = ScrollPosition_snapshot(position);
    if (!snapshot)
        return Res_noMemory;
    Lock_acquire(&column->lock);
    int32_t width = column->layoutWidth;
    Lock_release(&column->lock);
    int r = Column_restoreAnchor(column, snapshot, width);
    Mem_free(snapshot);
    return r;
}

// ------------------------------------------------------------ view glue

int32_t Fixed_div(int32_t a, int32_t b)
{
    if (b == 0)
        return 0;
    return clamp32((int64_t(a) * 65536) / b);
}

int View_createColumnState(ScrollColumn *column, ViewColumnState **out)
{
    *out = static_cast<ViewColumnState *>(Mem_calloc(1, sizeof(ViewColumnState)));
    if (!*out)
        return Res_noMemory;
    (*out)->column = column;
    (*out)->scale = 0x10000;
    Matrix_setIdentity(&(*out)->matrix);
    return Res_ok;
}

void View_freeColumnState(ViewColumnState *state)
{
    if (!state)
        return;
    if (state->column)
        Column_setContent(state->column, nullptr);
    Mem_free(state);
}

int32_t View_columnScrollPosition(ViewColumnState *state)
{
    return state && state->column ? Column_scrollPosition(state->column) : 0;
}

void View_toColumnPoint(const ViewColumnState *state, Point *point)
{
    int32_t x = Fixed_div(point->x, state->scale), y = Fixed_div(point->y, state->scale);
    Matrix_untransformPoint(point, x, y, &state->matrix);
}

void View_toColumnVector(const ViewColumnState *state, Point *vector)
{
    Matrix m = state->matrix;
    m.tx = 0;
    m.ty = 0;
    int32_t x = Fixed_div(vector->x, state->scale), y = Fixed_div(vector->y, state->scale);
    Matrix_untransformPoint(vector, x, y, &m);
}

void View_fromColumnVector(const ViewColumnState *state, Point *vector)
{
    Matrix m = state->matrix;
    m.tx = 0;
    m.ty = 0;
    Matrix_transformPoint(vector, vector->x, vector->y, &m);
    vector->x = Fixed_mul(vector->x, state->scale);
    vector->y = Fixed_mul(vector->y, state->scale);
}

int View_scrollColumn(ViewColumnState *state, int32_t *moved, int32_t *distance)
{
    *moved = 0;
    if (!state || !state->column)
        return Res_nullInput;
    Point v{0, *distance};
    View_toColumnVector(state, &v);
    int32_t left = v.y;
    *moved = Column_scrollBy(state->column, &left);
    Point back{0, left};
    View_fromColumnVector(state, &back);
    *distance = back.y == 0 && left != 0 ? (left < 0 ? -1 : 1) : back.y;
    return Res_ok;
}

int View_columnExtent(ViewColumnState *state, int32_t *top, int32_t *height)
{
    *top = 0;
    *height = 0;
    if (!state || !state->column)
        return Res_nullInput;
    int32_t t = 0, h = 0;
    int r = Column_extent(state->column, &t, &h);
    if (r != Res_ok)
        return r;
    Point a{0, t}, b{0, h};
    View_fromColumnVector(state, &a);
    View_fromColumnVector(state, &b);
    *top = a.y;
    *height = b.y;
    return Res_ok;
}

int View_visitColumnLines(ViewColumnState *state, ColumnVisitFn fn, int32_t stopPastEnd,
                          int32_t end, void *argument)
{
    if (!state || !state->column)
        return Res_ok;
    return Column_visitLines(state->column, fn, stopPastEnd, end, argument);
}

int View_columnQuery(ViewColumnState *state, uint32_t *before, uint32_t *after)
{
    if (!state || !state->column)
        return Res_noSuchPage;
    ScrollColumn *c = state->column;
    Lock_acquire(&c->lock);
    *before = c->moreBefore;
    *after = c->moreAfter;
    Lock_release(&c->lock);
    return Res_ok;
}

int Column_setupForView(ViewColumnState *state, const Rect *box, const Matrix *matrix,
                        int32_t pageScale)
{
    if (!state || !state->column || !box || !matrix)
        return Res_nullInput;
    ScrollColumn *column = state->column;
    bool same = state->set && state->matrix.a == matrix->a && state->scale == pageScale;
    Rect previous = state->box;
    state->scale = pageScale > 0 ? pageScale : 0x10000;
    state->matrix = *matrix;
    Point corner{box->x0, box->y0};
    View_toColumnPoint(state, &corner);
    Column_setScrollPosition(column, corner.y);
    int r = Res_ok;
    if (same) {
        Point move{0, box->y0 - previous.y0};
        View_toColumnVector(state, &move);
        if (move.y != 0)
            r = Column_scrollLines(column, move.y);
        if (r == Res_ok)
            r = Column_refreshFlags(column);
    } else {
        Point size{box->x1 - box->x0, box->y1 - box->y0};
        View_toColumnVector(state, &size);
        r = Column_relayout(column, size.x < 0 ? -size.x : size.x, size.y < 0 ? -size.y : size.y);
        if (r == Res_ok)
            r = Column_settle(column);
    }
    state->box = *box;
    state->set = 1;
    return r;
}
