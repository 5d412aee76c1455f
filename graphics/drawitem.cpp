// Draw item rendering: the work rectangle, the shape kinds' routines, the
// sources, the stage lists and the chunked emit loop; the hit test and the
// buffer clipping.
#include "graphics/drawitem.h"

#include <algorithm>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/task/task.h"
#include "graphics/bitmap.h"
#include "graphics/texttone.h"
#include "graphics/pixelbuf.h"
#include "platform/api/engine.h"

namespace {

inline int32_t clamp32(int64_t v)
{
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

inline bool isEmpty(const Rect &r)
{
    return r.x0 >= r.x1 || r.y0 >= r.y1;
}

// The y-up rectangle a buffer covers when its lower-left corner lies at
// (x, y).
Rect bufferRect(const PixelBuf *buf, int64_t x, int64_t y)
{
    return Rect{clamp32(x), clamp32(y), clamp32(x + buf->width), clamp32(y + buf->height)};
}

// -------------------------------------------------------- shape routines

// Paths are prepared in device space, where the item's origin is (0, 0).
int preparePath(const DrawShape *shape, Bitmap *bitmap, int32_t dx, int32_t dy, SpanRecord *spans,
                Rect *rect)
{
    Rect clip = {clamp32(int64_t(rect->x0) - dx), clamp32(int64_t(rect->y0) - dy),
                 clamp32(int64_t(rect->x1) - dx), clamp32(int64_t(rect->y1) - dy)};
    int r = Fill_prepareDevicePath(&shape->path, bitmap, &spans->fill, &clip);
    if (r != Res_ok)
        return r;
    *rect = Rect{clamp32(int64_t(clip.x0) + dx), clamp32(int64_t(clip.y0) + dy),
                 clamp32(int64_t(clip.x1) + dx), clamp32(int64_t(clip.y1) + dy)};
    return Res_ok;
}

int prepareGlyph(const DrawShape *shape, Bitmap *bitmap, int32_t dx, int32_t dy, SpanRecord *spans,
                 Rect *rect)
{
    return GlyphMask_prepare(&shape->glyph, bitmap, dx, dy, spans, rect);
}

int prepareCoverage(const DrawShape *shape, Bitmap *bitmap, int32_t dx, int32_t dy,
                    SpanRecord *spans, Rect *rect)
{
    return CoverageMask_prepare(&shape->coverage, bitmap, dx, dy, spans, rect);
}

struct KindRoutines {
    ShapePrepareFn prepare; // null: the whole work rectangle
    ShapeEmitFn emit;
};

// Indexed by kind.
constexpr KindRoutines kinds[4] = {
    {preparePath, Fill_renderWithTable},
    {prepareGlyph, GlyphMask_emit},
    {nullptr, DrawItem_emitRect},
    {prepareCoverage, Fill_renderPreparedTable},
};

// ---------------------------------------------------------------- sources

// A paint or a mask as the emitter reads it.
struct Source {
    const uint8_t *pixels; // the first pixel of the work rectangle, or the constant
    ptrdiff_t stride;      // 0 for a constant
    uint32_t format;
    uint32_t isBuffer;
    // Where a buffer lies (y-up): its left edge and its top edge.
    int64_t left, top;
    uint32_t bytesPerPixel;
    const uint8_t *first; // its first (top-left) pixel
};

// A solid paint or a constant mask: the value is read by the row
// operation's setup (one byte for format 0, a format-6 word otherwise).
void constantSource(Source *s, uint32_t format, const uint32_t *word, const uint8_t *byte)
{
    s->format = format;
    s->isBuffer = 0;
    s->stride = 0;
    s->pixels = format == Pixel_formatGrey8 ? byte : reinterpret_cast<const uint8_t *>(word);
}

void bufferSource(Source *s, const PixelBuf *buf, int64_t left, int64_t top)
{
    s->format = buf->format;
    s->isBuffer = 1;
    s->stride = ptrdiff_t(buf->stride);
    s->left = left;
    s->top = top;
    s->bytesPerPixel = Pixel_bytesPerPixel(buf->format);
    s->first = buf->pixels;
}

// The buffer's pixel at the work rectangle's top-left.
void placeSource(Source *s, const Rect &work)
{
    if (!s->isBuffer)
        return;
    s->pixels =
        s->first + (s->top - work.y1) * s->stride + (work.x0 - s->left) * int64_t(s->bytesPerPixel);
}

// Fetches a callback paint or mask for the work rectangle; the work
// rectangle is cut to what the fetched buffer covers.
int fetchSource(const DrawSource &src, Source *s, PixelBuf **fetched, Rect *work,
                const DrawTarget *target)
{
    Rect asked = *work;
    uint32_t format = 0;
    int r = src.callback.fetch(src.callback.user, &format, fetched, &asked, target->dx, target->dy,
                               target->bitmap, target->bitmap->scale);
    if (r != Res_ok)
        return r;
    const PixelBuf *buf = *fetched;
    if (!buf || !buf->pixels)
        return Res_nullInput;
    // The buffer's first pixel is the returned rectangle's top-left; what
    // it holds beyond its own size is not drawn.
    Rect covered = bufferRect(buf, asked.x0, int64_t(asked.y1) - buf->height);
    Rect_intersect(work, &asked);
    Rect_intersect(work, &covered);
    bufferSource(s, buf, asked.x0, asked.y1);
    s->format = format;
    s->bytesPerPixel = Pixel_bytesPerPixel(format);
    return Res_ok;
}

// ----------------------------------------------------------------- stages

// What building the stages found.
struct StagePlan {
    uint32_t recordsAt; // arena offset of the first stage record
    uint32_t paintCount;
    uint32_t maskCount;
    uint32_t dataAt; // arena offset where the stages' outputs start
};

// Declares the stages of one list; counts and sizes accumulate.
int declareList(Bitmap *bitmap, ScratchArena *arena, const StageNode *node, int32_t width,
                int32_t height, uint32_t *format, uint32_t *isBuffer, uint32_t *count,
                uint64_t *oneOff, uint64_t *perRow)
{
    bool arenaOutput = false; // the current output lies in the arena
    for (; node; node = node->next) {
        uint32_t at = arena->used;
        if (!ScratchArena_alloc(bitmap, arena, sizeof(StageRecord)))
            return Res_noMemory;
        if (!node->ops || !node->ops->declare) {
            arena->used = at; // skipped: its record is not kept
            continue;
        }
        StageRecord *rec = reinterpret_cast<StageRecord *>(arena->base + at);
        *rec = StageRecord{};
        rec->parameter = node->parameter;
        int r = node->ops->declare(*isBuffer, *format, width, height, *count != 0, node->parameter,
                                   rec);
        if (r != Res_ok)
            return r;
        // An in-place stage works on the output before it, which must lie
        // in the arena; the first one of a list gets room of its own.
        if (rec->worksInPlace && !arenaOutput)
            rec->worksInPlace = 0;
        if (!rec->worksInPlace) {
            if (rec->outputIsBuffer)
                *perRow += rec->outputBytes;
            else
                *oneOff += rec->outputBytes;
        }
        arenaOutput = true;
        *isBuffer = rec->outputIsBuffer;
        *format = rec->outputFormat;
        (*count)++;
    }
    return Res_ok;
}

// DrawItem_buildStages: the records of both lists, the arena sized for
// at least one row of every buffer output, and the rows per chunk.
int buildStages(Bitmap *bitmap, ScratchArena *arena, const StageNode *paintStages,
                const StageNode *maskStages, int32_t width, int32_t height, Source *paint,
                Source *mask, StagePlan *plan, int32_t *rowsPerChunk)
{
    *arena = ScratchArena{static_cast<uint8_t *>(bitmap->scratch[1]), bitmap->scratchSize[1], 0};
    plan->recordsAt = 0;
    plan->paintCount = plan->maskCount = 0;
    uint64_t oneOff = 0, perRow = 0;
    int r = declareList(bitmap, arena, paintStages, width, height, &paint->format, &paint->isBuffer,
                        &plan->paintCount, &oneOff, &perRow);
    if (r == Res_ok)
        r = declareList(bitmap, arena, maskStages, width, height, &mask->format, &mask->isBuffer,
                        &plan->maskCount, &oneOff, &perRow);
    if (r != Res_ok)
        return r;
    plan->dataAt = arena->used;
    uint64_t need = oneOff + perRow;
    if (need > UINT32_MAX - arena->used)
        return Res_noMemory;
    uint32_t used = arena->used;
    if (need && !ScratchArena_alloc(bitmap, arena, uint32_t(need)))
        return Res_noMemory;
    arena->used = used;
    if (perRow == 0) {
        *rowsPerChunk = height;
    } else {
        uint64_t room = (uint64_t(arena->size) - arena->used - oneOff) / perRow;
        *rowsPerChunk = int32_t(std::min<uint64_t>(uint64_t(height), std::max<uint64_t>(room, 1)));
    }
    return Res_ok;
}

// Runs count stages from the record at *index for one chunk, from the
// input (pixels, stride) at *cursor; the last output replaces the input.
int runList(const ScratchArena *arena, const StagePlan *plan, uint32_t *index, uint32_t count,
            uint8_t **cursor, int32_t x, int32_t y, int32_t width, int32_t rows,
            const uint8_t **pixels, ptrdiff_t *stride)
{
    uint64_t previous = 0; // bytes of the last output in the arena (0: none yet)
    for (uint32_t i = 0; i < count; i++, (*index)++) {
        const StageRecord *rec = reinterpret_cast<const StageRecord *>(
            arena->base + plan->recordsAt + *index * sizeof(StageRecord));
        if (!rec->worksInPlace)
            *cursor += previous;
        ptrdiff_t outStride = rec->outputIsBuffer ? ptrdiff_t(rec->outputBytes) : 0;
        int r;
        if (rec->worksInPlace)
            r = rec->routine.inPlace
                    ? rec->routine.inPlace(*cursor, outStride, rec->parameter, x, y, width, rows)
                    : Res_ok;
        else
            r = rec->routine.copy ? rec->routine.copy(*pixels, *stride, rec->parameter, x, y, width,
                                                      rows, *cursor, outStride)
                                  : Res_ok;
        if (r != Res_ok)
            return r;
        previous = rec->outputIsBuffer ? uint64_t(rows) * rec->outputBytes : rec->outputBytes;
        *pixels = *cursor;
        *stride = outStride;
    }
    *cursor += previous;
    return Res_ok;
}

// DrawItem_runStages: the paint stages, then the mask stages, for one
// chunk whose top-left lies at (x, y) relative to the item's origin.
int runStages(const ScratchArena *arena, const StagePlan *plan, int32_t x, int32_t y, int32_t width,
              int32_t rows, const uint8_t **paint, ptrdiff_t *paintStride, const uint8_t **mask,
              ptrdiff_t *maskStride)
{
    uint8_t *cursor = arena->base + plan->dataAt;
    uint32_t index = 0;
    int r = runList(arena, plan, &index, plan->paintCount, &cursor, x, y, width, rows, paint,
                    paintStride);
    if (r == Res_ok)
        r = runList(arena, plan, &index, plan->maskCount, &cursor, x, y, width, rows, mask,
                    maskStride);
    return r;
}

const uint8_t *coverageTableOf(const Bitmap *bitmap)
{
    if (bitmap->owner && bitmap->owner->textTone)
        return static_cast<const uint8_t *>(bitmap->owner->textTone);
    return TextTone_defaultTable();
}

} // namespace

// ------------------------------------------------------------- life cycle

int DrawItem_create(DrawItem **out)
{
    *out = nullptr;
    DrawItem *item = static_cast<DrawItem *>(Mem_calloc(1, sizeof(DrawItem)));
    if (!item)
        return Res_noMemory;
    item->kind = DrawItem_kindRect;
    item->paintKind = DrawItem_sourceSolid;
    item->paint.solid.format = Pixel_formatRGBA;
    item->paint.solid.value = 0;
    item->maskKind = DrawItem_sourceSolid;
    item->mask.solid.format = Pixel_formatGrey8;
    item->mask.solid.value = 0;
    item->cachedRowOp = nullptr;
    *out = item;
    return Res_ok;
}

void DrawItem_destroy(DrawItem *item)
{
    Mem_free(item);
}

// ----------------------------------------------------------------- stages

StageNode *StageNode_create(const StageOps *ops, void *parameter, StageNode *next)
{
    StageNode *node = static_cast<StageNode *>(Mem_malloc(sizeof(StageNode)));
    if (node)
        *node = StageNode{ops, parameter, next};
    return node;
}

void StageList_free(StageNode *list)
{
    while (list) {
        StageNode *next = list->next;
        Mem_free(list);
        list = next;
    }
}

void *ScratchArena_alloc(Bitmap *bitmap, ScratchArena *arena, uint32_t n)
{
    uint64_t size = (uint64_t(n) + 7) & ~uint64_t(7);
    uint64_t end = uint64_t(arena->used) + size;
    if (end > UINT32_MAX)
        return nullptr;
    if (end > arena->size || !arena->base) {
        void *p = nullptr;
        uint32_t got = 0;
        if (Bitmap_scratchBuffer(bitmap, 1, uint32_t(end ? end : 8), &p, &got) != Res_ok)
            return nullptr;
        arena->base = static_cast<uint8_t *>(p);
        arena->size = got;
    }
    void *at = arena->base + arena->used;
    arena->used = uint32_t(end);
    return at;
}

// ---------------------------------------------------------------- drawing

int DrawItem_clipToBuffers(const DrawItem *item, int32_t dx, int32_t dy, Rect *rect)
{
    if (item->paintKind == DrawItem_sourceBuffer && item->paint.buffer.buffer) {
        Rect r = bufferRect(item->paint.buffer.buffer, int64_t(dx) + item->paint.buffer.x,
                            int64_t(dy) + item->paint.buffer.y);
        Rect_intersect(rect, &r);
    }
    if (item->maskKind == DrawItem_sourceBuffer && item->mask.buffer.buffer) {
        Rect r = bufferRect(item->mask.buffer.buffer, int64_t(dx) + item->mask.buffer.x,
                            int64_t(dy) + item->mask.buffer.y);
        Rect_intersect(rect, &r);
    }
    return Res_ok;
}

int DrawItem_emitRect(SpanRecord *spans, RowOpSetupFn setup, uint8_t *destination,
                      ptrdiff_t destinationStride, const uint8_t *source, ptrdiff_t sourceStride,
                      const uint8_t *mask, ptrdiff_t maskStride, const uint8_t *)
{
    if (spans->width > 0 && spans->chunkRows > 0)
        RowOp_runRect(destination, destinationStride, uint32_t(spans->width),
                      uint32_t(spans->chunkRows), source, sourceStride, mask, maskStride, setup);
    return Res_ok;
}

int DrawItem_render(DrawItem *item, const StageNode *paintStages, const StageNode *maskStages,
                    const DrawTarget *target)
{
    Bitmap *bitmap = target->bitmap;
    PixelBuf *fetchedPaint = nullptr, *fetchedMask = nullptr;
    int result = Res_ok;
    const KindRoutines *routines = nullptr;
    SpanRecord spans{};
    Source paint{}, mask{};
    const uint32_t colour = item->paint.solid.value;
    const uint8_t colourByte = uint8_t(colour), alphaByte = uint8_t(item->mask.solid.value);
    const uint32_t alphaWord = alphaByte;
    Rect work, prepared;
    ScratchArena arena{};
    StagePlan plan{};
    int32_t rowsPerChunk = 0;
    bool staged = paintStages || maskStages;
    RowOpSetupFn setup = nullptr;
    uint8_t *destination = nullptr;

    // 1. A constant alpha of 0 draws nothing.
    if (item->maskKind == DrawItem_sourceSolid && alphaByte == 0)
        goto done;
    if (item->kind > DrawItem_kindCoverageMask)
        Std_abort(); // an item of no known kind: the engine's own fault
    routines = &kinds[item->kind];

    // 2. The work rectangle.
    work = Rect{0, 0, bitmap->width, bitmap->height};
    if (target->clip)
        Rect_intersect(&work, target->clip);
    DrawItem_clipToBuffers(item, target->dx, target->dy, &work);
    if (isEmpty(work))
        goto done;

    // 3. The shape's extent.
    if (routines->prepare) {
        result = routines->prepare(&item->shape, bitmap, target->dx, target->dy, &spans, &work);
        if (result != Res_ok || isEmpty(work))
            goto done;
    }
    prepared = work;

    // 5. Paint and mask.
    switch (item->paintKind) {
    case DrawItem_sourceSolid:
        constantSource(&paint, item->paint.solid.format, &colour, &colourByte);
        break;
    case DrawItem_sourceBuffer: {
        const PixelBuf *buf = item->paint.buffer.buffer;
        if (!buf || !buf->pixels) {
            result = Res_nullInput;
            goto done;
        }
        int64_t left = int64_t(target->dx) + item->paint.buffer.x;
        bufferSource(&paint, buf, left, int64_t(target->dy) + item->paint.buffer.y + buf->height);
        break;
    }
    default:
        result = fetchSource(item->paint, &paint, &fetchedPaint, &work, target);
        if (result != Res_ok)
            goto done;
        break;
    }
    switch (item->maskKind) {
    case DrawItem_sourceSolid:
        // The setup reads the alpha byte whatever the mask format.
        constantSource(&mask, item->mask.solid.format, &alphaWord, &alphaByte);
        mask.pixels = &alphaByte;
        break;
    case DrawItem_sourceBuffer: {
        const PixelBuf *buf = item->mask.buffer.buffer;
        if (!buf || !buf->pixels) {
            result = Res_nullInput;
            goto done;
        }
        int64_t left = int64_t(target->dx) + item->mask.buffer.x;
        bufferSource(&mask, buf, left, int64_t(target->dy) + item->mask.buffer.y + buf->height);
        break;
    }
    default:
        result = fetchSource(item->mask, &mask, &fetchedMask, &work, target);
        if (result != Res_ok)
            goto done;
        break;
    }
    if (isEmpty(work))
        goto done;
    // A fetch that gave less than was asked: the shape is placed again on
    // what is left, so that its spans match the rectangle drawn.
    if (!Rect_equal(&work, &prepared) && routines->prepare) {
        result = routines->prepare(&item->shape, bitmap, target->dx, target->dy, &spans, &work);
        if (result != Res_ok || isEmpty(work))
            goto done;
    }
    placeSource(&paint, work);
    placeSource(&mask, work);

    // 4. The span record.
    spans.width = work.x1 - work.x0;
    spans.height = work.y1 - work.y0;

    // 6. The destination's first pixel.
    destination = Bitmap_firstRow(bitmap);
    if (!destination) {
        result = Res_nullInput;
        goto done;
    }
    destination += int64_t(bitmap->height - work.y1) * bitmap->stride +
                   int64_t(work.x0) * Pixel_bytesPerPixel(bitmap->format);

    // 7. Stages.
    rowsPerChunk = spans.height;
    if (staged) {
        result = buildStages(bitmap, &arena, paintStages, maskStages, spans.width, spans.height,
                             &paint, &mask, &plan, &rowsPerChunk);
        if (result != Res_ok)
            goto done;
    }

    // 8. The row operation. Stages change the source and mask formats, so
    // a staged draw neither uses nor keeps the cached one.
    if (!staged && item->cachedRowOp && item->cachedFormat == bitmap->format) {
        setup = item->cachedRowOp;
    } else {
        setup = RowOp_find(bitmap->format, paint.format, mask.format, int(paint.isBuffer),
                           int(mask.isBuffer));
        if (!setup) {
            result = Res_pixelNoRowOp;
            goto done;
        }
        if (!staged) {
            item->cachedRowOp = setup;
            item->cachedFormat = bitmap->format;
        }
    }

    // 9. Chunks, top row first.
    {
        const uint8_t *coverage = coverageTableOf(bitmap);
        const ptrdiff_t stride = ptrdiff_t(bitmap->stride);
        const uint8_t *paintRow = paint.pixels, *maskRow = mask.pixels;
        for (int32_t done = 0; done < spans.height;) {
            int32_t chunk = std::min(spans.height - done, rowsPerChunk);
            spans.chunkRows = chunk;
            spans.rowsDone = done;
            const uint8_t *src = paintRow, *msk = maskRow;
            ptrdiff_t srcStride = paint.stride, mskStride = mask.stride;
            if (staged) {
                result = runStages(&arena, &plan, clamp32(int64_t(work.x0) - target->dx),
                                   clamp32(int64_t(work.y1) - target->dy - done), spans.width,
                                   chunk, &src, &srcStride, &msk, &mskStride);
                if (result != Res_ok)
                    goto done;
            }
            result = routines->emit(&spans, setup, destination, stride, src, srcStride, msk,
                                    mskStride, coverage);
            if (result != Res_ok)
                goto done;
            destination += chunk * stride;
            paintRow += chunk * paint.stride;
            maskRow += chunk * mask.stride;
            done += chunk;
        }
    }

done:
    // 11. Callback kinds are given back on every path.
    if (item->paintKind == DrawItem_sourceCallback && item->paint.callback.release)
        item->paint.callback.release(item->paint.callback.user, fetchedPaint);
    if (item->maskKind == DrawItem_sourceCallback && item->mask.callback.release)
        item->mask.callback.release(item->mask.callback.user, fetchedMask);
    return result;
}

int DrawItem_hitTest(DrawItem *item, int32_t dx, int32_t dy, Bitmap *bitmap, int32_t x, int32_t y,
                     int *out)
{
    *out = 0;
    if (x == INT32_MAX || y == INT32_MAX)
        return Res_ok;
    Rect rect = {x, y, x + 1, y + 1};
    SpanRecord spans{};
    int r = Res_ok;
    switch (item->kind) {
    case DrawItem_kindPath: r = preparePath(&item->shape, bitmap, dx, dy, &spans, &rect); break;
    case DrawItem_kindGlyphMask:
        r = prepareGlyph(&item->shape, bitmap, dx, dy, &spans, &rect);
        break;
    case DrawItem_kindRect: break;
    default: Std_abort(); // the prepared kind has no pixel test
    }
    if (r != Res_ok)
        return r;
    DrawItem_clipToBuffers(item, dx, dy, &rect);
    if (isEmpty(rect))
        return Res_ok;
    switch (item->kind) {
    case DrawItem_kindPath: {
        // One sub-row through the pixel's centre; the pixel is covered when
        // a span of that row holds its column (a span elsewhere in the row,
        // left or right of a hole, does not count).
        FillContext fc = spans.fill;
        fc.s = 0;
        CrossingTable table{};
        table.rowCount = 1;
        r = Fill_buildCrossings(&fc, &table);
        if (r != Res_ok)
            return r;
        Rows_reduceToSpans(table.rows, table.records, 1, fc.fillRule != Fill_ruleNonZero);
        const uint32_t *row = CrossingTable_row(&table, 0);
        const uint32_t column = uint32_t(fc.xOffset);
        for (uint32_t i = 0; i + 2 <= row[0]; i += 2)
            if (row[1 + i] <= column && column < row[2 + i])
                *out = 1;
        return Res_ok;
    }
    case DrawItem_kindGlyphMask: return GlyphMask_hit(&spans, x, y, out);
    default: *out = 1; return Res_ok;
    }
}
