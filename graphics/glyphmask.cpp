// Glyph masks: the copy into one block that the glyph-mask cache stores.
#include "graphics/glyphmask.h"

#include <cstring>

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
