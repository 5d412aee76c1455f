// The text tone table.
#include "graphics/texttone.h"

#include <cstring>

#include "core/context/context.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "graphics/transfer.h"

namespace {

constexpr uint8_t defaultTable[TextTone_size] = {
    0,   32,  33,  33,  34,  35,  36,  36,  37,  38,  39,  39,  40,  41,  42,  42,  43,  44,  45,
    45,  46,  47,  48,  48,  49,  50,  51,  51,  52,  53,  54,  54,  55,  56,  57,  57,  58,  59,
    60,  60,  61,  62,  63,  64,  64,  65,  66,  67,  67,  68,  69,  70,  70,  71,  72,  73,  73,
    74,  75,  76,  76,  77,  78,  79,  79,  80,  81,  82,  82,  83,  84,  85,  85,  86,  87,  88,
    88,  89,  90,  91,  91,  92,  93,  94,  94,  95,  96,  97,  97,  98,  99,  100, 100, 101, 102,
    103, 103, 104, 105, 106, 106, 107, 108, 109, 109, 110, 111, 112, 112, 113, 114, 115, 115, 116,
    117, 118, 118, 119, 120, 121, 121, 122, 123, 124, 124, 125, 126, 127, 128, 129, 130, 131, 132,
    132, 133, 134, 135, 135, 136, 137, 138, 138, 139, 140, 141, 141, 142, 143, 144, 144, 145, 146,
    147, 147, 148, 149, 150, 150, 151, 152, 153, 153, 154, 155, 156, 156, 157, 158, 159, 159, 160,
    161, 162, 162, 163, 164, 165, 165, 166, 167, 168, 168, 169, 170, 171, 171, 172, 173, 174, 174,
    175, 176, 177, 177, 178, 179, 180, 180, 181, 182, 183, 183, 184, 185, 186, 186, 187, 188, 189,
    189, 190, 191, 192, 192, 193, 194, 195, 196, 196, 197, 198, 199, 199, 200, 201, 202, 202, 203,
    204, 205, 205, 206, 207, 208, 208, 209, 210, 211, 211, 212, 213, 214, 214, 215, 216, 217, 217,
    218, 219, 220, 220, 221, 222, 223, 223, 255,
};

} // namespace

const uint8_t *TextTone_defaultTable()
{
    return defaultTable;
}

int TextTone_init(EngineContext *context)
{
    uint8_t *table = static_cast<uint8_t *>(Mem_malloc(TextTone_size));
    context->textTone = table;
    if (!table)
        return Res_noMemory;
    memcpy(table, defaultTable, TextTone_size);
    return Res_ok;
}

void TextTone_fini(EngineContext *context)
{
    // Cleared so that a second teardown does not free it again.
    if (context->textTone) {
        Mem_free(context->textTone);
        context->textTone = nullptr;
    }
}

void TextTone_setTuning(EngineContext *context, double gamma, int32_t brightness, int32_t contrast)
{
    if (context && context->textTone)
        Pixel_buildTransferTable(gamma, brightness, contrast,
                                 static_cast<uint8_t *>(context->textTone));
}
