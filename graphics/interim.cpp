// Stand-ins for graphics services that the core calls before the graphics
// subsystem exists. Each does the least its callers need and says so; the
// real definitions replace them when the subsystem is built.
#include <cstring>

#include "core/result.h"
#include "graphics/glyphmask.h"
#include "graphics/path.h"
#include "graphics/vector.h"

// Floor of the square root of v, bit by bit from the top.
static uint32_t isqrt64(uint64_t v)
{
    uint32_t root = 0;
    for (uint32_t bit = 0x80000000u; bit != 0; bit >>= 1) {
        uint64_t trial = root + bit;
        if (trial * trial <= v)
            root += bit;
    }
    return root;
}

// Interim: the whole operation, since the step toward a point depends on it.
void Vector_setLength(Point *v, int32_t length)
{
    if (v->x == 0 && v->y == 0)
        return;
    if (length == 0) {
        *v = Point{0, 0};
        return;
    }
    int64_t x = v->x, y = v->y;
    uint32_t current = isqrt64(static_cast<uint64_t>(x * x) + static_cast<uint64_t>(y * y));
    if (current == 0) {
        *v = Point{0, 0};
        return;
    }
    uint64_t len = length < 0 ? 0u - static_cast<uint64_t>(static_cast<int64_t>(length))
                              : static_cast<uint64_t>(length);
    uint64_t ax = static_cast<uint64_t>(x < 0 ? -x : x);
    uint64_t ay = static_cast<uint64_t>(y < 0 ? -y : y);
    // |component| <= current length, so each quotient is at most |length|.
    uint32_t qx = static_cast<uint32_t>(len * ax / current);
    uint32_t qy = static_cast<uint32_t>(len * ay / current);
    if ((x < 0) != (length < 0))
        qx = 0u - qx;
    if ((y < 0) != (length < 0))
        qy = 0u - qy;
    *v = Point{static_cast<int32_t>(qx), static_cast<int32_t>(qy)};
}

// Interim: nothing can make a packed path yet (there is no packer), so no
// walk ever reaches here with one; answer "not implemented" rather than
// misread the bit stream.
int Path_walkPacked(const Path *, const PathWalkFn *, void *)
{
    return Res_notImplemented;
}

// Interim: the whole copy, since the path cache stores paths with it.
void Path_embed(void *block, const Path *path)
{
    Path *copy = static_cast<Path *>(block);
    int32_t *words = reinterpret_cast<int32_t *>(copy + 1);
    size_t used = static_cast<size_t>(path->write - path->buffer);
    *copy = *path;
    if (used != 0)
        memmove(words, path->buffer, used * sizeof(int32_t));
    copy->buffer = words;
    copy->write = words + used;
    copy->capacity = static_cast<uint32_t>(used);
    if (path->subpathStart)
        copy->subpathStart = words + (path->subpathStart - path->buffer);
}

// Interim: the whole copy, since the glyph-mask cache stores masks with it.
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
