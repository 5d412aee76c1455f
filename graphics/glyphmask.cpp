// Glyph masks: rasterising an outline once into run-coded coverage rows,
// the copy into one block that the glyph-mask cache stores, and the
// placement, painting and pixel test of the glyph-mask draw item.
#include "graphics/glyphmask.h"

#include <algorithm>
#include <cstring>

#include "core/geom/rect.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/bitmap.h"
#include "graphics/drawitem.h"
#include "graphics/fill.h"
#include "graphics/rastergeom.h"

namespace {

enum : uint32_t {
    minimumSubpixelBits = 3,
    firstCodeArea = 1024,
};

// The growing code area of a mask being made.
struct CodeArea {
    uint8_t *bytes;
    uint32_t size;
    uint32_t used;
};

// Grows the area (doubling from 1024 bytes, what was written kept) until
// `more` bytes fit after the used ones. 0 or 1.
int reserveCodes(CodeArea *area, uint32_t more)
{
    uint64_t need = uint64_t(area->used) + more;
    if (area->bytes && need <= area->size)
        return Res_ok;
    uint64_t size = area->size ? area->size : firstCodeArea;
    while (size < need)
        size *= 2;
    if (size > 0x7FFFFFFF)
        return Res_noMemory;
    uint8_t *b = static_cast<uint8_t *>(Mem_realloc(area->bytes, size_t(size)));
    if (!b)
        return Res_noMemory;
    area->bytes = b;
    area->size = uint32_t(size);
    return Res_ok;
}

void putCode(CodeArea *area, uint32_t code)
{
    area->bytes[area->used++] = uint8_t(code);
    area->bytes[area->used++] = uint8_t(code >> 8);
}

// Adds the sub-samples of one sub-row's spans to the pixel counts: a span
// [a, b) of sub-columns covers the sub-column centres inside it.
void addSpans(const uint32_t *row, uint32_t s, uint32_t width, uint16_t *counts)
{
    uint32_t limit = width << s, mask = (1u << s) - 1;
    for (uint32_t i = 0; i + 2 <= row[0]; i += 2) {
        uint32_t a = std::min(row[1 + i] & Crossing_xMask, limit);
        uint32_t b = std::min(row[2 + i] & Crossing_xMask, limit);
        while (a < b) {
            uint32_t px = a >> s;
            uint32_t end = std::min(b, (px + 1) << s);
            if ((a & mask) == 0 && end == ((px + 1) << s) && b - a > mask) {
                // Whole pixels: one step each.
                uint32_t whole = (b - a) >> s;
                for (uint32_t k = 0; k < whole; k++)
                    counts[px + k] = uint16_t(counts[px + k] + (1u << s));
                a += whole << s;
                continue;
            }
            counts[px] = uint16_t(counts[px] + (end - a));
            a = end;
        }
    }
}

// Encodes one row of coverage bytes; the row table word of it.
uint32_t encodeRow(CodeArea *area, const uint8_t *cover, uint32_t width)
{
    uint32_t last = width;
    while (last > 0 && cover[last - 1] == 0)
        last--;
    if (last == 0)
        return GlyphMask_emptyRow;
    uint32_t start = area->used, lastCode = 0;
    for (uint32_t x = 0; x < last;) {
        uint8_t c = cover[x];
        uint32_t n = 1;
        if (c == 0 || c == 255) {
            while (x + n < last && cover[x + n] == c && n < GlyphMask_lengthMask)
                n++;
            lastCode = area->used;
            putCode(area, (c == 255 ? GlyphMask_kindFull : GlyphMask_kindSkip) | n);
        } else {
            while (x + n < last && cover[x + n] != 0 && cover[x + n] != 255 &&
                   n < GlyphMask_lengthMask)
                n++;
            lastCode = area->used;
            if (n == 1) {
                putCode(area, GlyphMask_kindPixel | c);
            } else {
                putCode(area, GlyphMask_kindLiteral | n);
                memcpy(area->bytes + area->used, cover + x, n);
                area->used += n;
                if (n & 1)
                    area->bytes[area->used++] = 0;
            }
        }
        x += n;
    }
    area->bytes[lastCode + 1] |= uint8_t(GlyphMask_lastCode >> 8);
    return start;
}

} // namespace

int GlyphMask_create(GlyphMask **out, const FillRequest *request, Bitmap *bitmap)
{
    *out = nullptr;
    FillRequest req = *request;
    if (req.s < minimumSubpixelBits)
        req.s = minimumSubpixelBits;
    FillContext fc;
    Rect clip;
    Rect_setInvertedEmpty(&clip);
    int r = Fill_prepareDevicePath(&req, bitmap, &fc, &clip);
    if (r != Res_ok)
        return r;
    if (clip.x0 >= clip.x1 || clip.y0 >= clip.y1)
        return Res_pathEmptyArea;
    int64_t w = int64_t(clip.x1) - clip.x0, h = int64_t(clip.y1) - clip.y0;
    if (w > 0xFFFF || h > 0xFFFF)
        return Res_noMemory;
    uint32_t s = std::min<uint32_t>(fc.s, Fill_maxSubpixelBits);
    CrossingTable table{};
    table.rowCount = uint32_t(h) << s;
    table.yOffset = 0;
    r = Fill_buildCrossings(&fc, &table);
    if (r != Res_ok)
        return r;
    Rows_reduceToSpans(table.rows, table.records, table.rowCount,
                       table.fillRule != Fill_ruleNonZero);

    uint32_t width = uint32_t(w), height = uint32_t(h);
    GlyphMask *mask = static_cast<GlyphMask *>(Mem_calloc(1, sizeof(GlyphMask)));
    uint16_t *counts = static_cast<uint16_t *>(Mem_malloc(width * sizeof(uint16_t)));
    uint8_t *cover = static_cast<uint8_t *>(Mem_malloc(width));
    CodeArea area{};
    if (mask)
        mask->rows = static_cast<uint32_t *>(Mem_malloc(height * 4));
    if (!mask || !mask->rows || !counts || !cover) {
        GlyphMask_free(mask);
        Mem_free(counts);
        Mem_free(cover);
        return Res_noMemory;
    }
    mask->width = uint16_t(width);
    mask->height = uint16_t(height);
    mask->x = int16_t(clip.x0);
    mask->y = int16_t(clip.y0);
    mask->scale = uint32_t(bitmap->scale) & 0x7FFFFFFFu;
    mask->rowsSize = height * 4;
    // Coverage is the share of the 4^s sub-samples inside, as the span
    // painter counts it, rounded to 0..255.
    uint32_t samples = 1u << (2 * s);
    r = Res_ok;
    for (uint32_t py = 0; py < height && r == Res_ok; py++) {
        memset(counts, 0, width * sizeof(uint16_t));
        for (uint32_t k = 0; k < (1u << s); k++)
            addSpans(CrossingTable_row(&table, (py << s) + k), s, width, counts);
        for (uint32_t x = 0; x < width; x++)
            cover[x] = uint8_t((counts[x] * 255u + samples / 2) / samples);
        // Worst case: a code per pixel, or a literal run and its pad.
        r = reserveCodes(&area, 2 * width + 4);
        if (r == Res_ok)
            mask->rows[height - 1 - py] =
                encodeRow(&area, cover, width); // the table's rows run upward
    }
    Mem_free(counts);
    Mem_free(cover);
    if (r != Res_ok) {
        Mem_free(area.bytes);
        GlyphMask_free(mask);
        return r;
    }
    if (area.used == 0) {
        Mem_free(area.bytes);
    } else {
        uint8_t *trimmed = static_cast<uint8_t *>(Mem_realloc(area.bytes, area.used));
        mask->codes = trimmed ? trimmed : area.bytes;
        mask->codesSize = area.used;
    }
    *out = mask;
    return Res_ok;
}

void GlyphMask_free(GlyphMask *mask)
{
    if (!mask)
        return;
    Mem_free(mask->rows);
    Mem_free(mask->codes);
    Mem_free(mask);
}

void GlyphMask_copyTo(void *block, const GlyphMask *mask)
{
    uint8_t *base = static_cast<uint8_t *>(block);
    uint8_t *rows = base + sizeof(GlyphMask);
    uint8_t *codes = rows + mask->rowsSize;
    GlyphMask header = *mask;
    if (mask->rowsSize != 0)
        memmove(rows, mask->rows, mask->rowsSize);
    if (mask->codesSize != 0 && mask->codes)
        memmove(codes, mask->codes, mask->codesSize);
    header.rows = reinterpret_cast<uint32_t *>(rows);
    header.codes = mask->codes ? codes : nullptr;
    memcpy(base, &header, sizeof header);
}

int GlyphMask_prepare(const GlyphMaskShape *shape, Bitmap *bitmap, int32_t dx, int32_t dy,
                      SpanRecord *spans, Rect *rect)
{
    const GlyphMask *mask = shape->mask;
    spans->glyph.mask = mask;
    if ((mask->scale & 0x7FFFFFFFu) != (uint32_t(bitmap->scale) & 0x7FFFFFFFu))
        return Res_glyphOtherScale;
    int64_t u = shape->divisor ? shape->divisor : 1;
    int64_t ox = (int64_t(shape->x) * bitmap->scale + u / 2) / u;
    int64_t oy = (int64_t(shape->y) * bitmap->scale + u / 2) / u;
    int64_t x0 = int64_t(mask->x) + ox + dx, y0 = int64_t(mask->y) + oy + dy;
    auto clamp = [](int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
    Rect box = {clamp(x0), clamp(y0), clamp(x0 + mask->width), clamp(y0 + mask->height)};
    Rect_intersect(rect, &box);
    spans->glyph.rowsSkipped = box.y1 - rect->y1;
    spans->glyph.columnsSkipped = rect->x0 - box.x0;
    spans->glyph.zero = 0;
    return Res_ok;
}

int GlyphMask_emit(SpanRecord *spans, RowOpSetupFn setup, uint8_t *destination,
                   ptrdiff_t destinationStride, const uint8_t *source, ptrdiff_t sourceStride,
                   const uint8_t *mask, ptrdiff_t maskStride, const uint8_t *)
{
    const GlyphMask *m = spans->glyph.mask;
    if (!m->codes || spans->width <= 0 || spans->chunkRows <= 0)
        return Res_ok;
    uint32_t first = uint32_t(spans->glyph.rowsSkipped + spans->rowsDone);
    if (first >= m->height)
        return Res_ok;
    uint32_t rows = std::min<uint32_t>(uint32_t(spans->chunkRows), m->height - first);
    RowOp_runCodedRows(destination, destinationStride, m->rows + first, m->codes,
                       uint32_t(spans->glyph.columnsSkipped), uint32_t(spans->width), rows, source,
                       sourceStride, mask, maskStride, setup);
    return Res_ok;
}

int GlyphMask_hit(SpanRecord *spans, int32_t, int32_t, int *out)
{
    *out = 0;
    const GlyphMask *m = spans->glyph.mask;
    if (m->scale & 0x80000000u)
        return Res_glyphNoHitTest;
    if (!m->codes || spans->glyph.rowsSkipped < 0 ||
        uint32_t(spans->glyph.rowsSkipped) >= m->height)
        return Res_ok;
    return MaskRle_hit(int32_t(m->rows[spans->glyph.rowsSkipped]), m->codes, m->codesSize,
                       spans->glyph.columnsSkipped, out);
}
