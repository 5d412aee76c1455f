// The text tone table: 256 output levels, one per input level, owned by
// the engine context. Draw items hand it to their coverage emitters, so it
// decides how the fraction of a pixel that a shape covers becomes the
// weight its colour is drawn with. The default table is 0 at 0 and 255 at
// 255, jumps to 32 for the faintest edge pixel and to 223 for the
// strongest, rises by steps of 0 or 1 in between and equals its index from
// 124 to 132; the viewer's text-edge tuning rewrites it.
#pragma once

#include <cstdint>

struct EngineContext;

enum : uint32_t {
    TextTone_size = 256,
};

// The constant default table (read-only, lives for the program).
const uint8_t *TextTone_defaultTable();
// Allocates the context's table from the default. 0, or 1 when memory
// runs out (the context's pointer is then null).
[[nodiscard]] int TextTone_init(EngineContext *context);
// Frees the context's table and clears the pointer. Null pointers are
// ignored, so a second call does nothing.
void TextTone_fini(EngineContext *context);
// Rewrites the context's table with the transfer table of gamma,
// brightness and contrast. Nothing when the context has no table.
void TextTone_setTuning(EngineContext *context, double gamma, int32_t brightness, int32_t contrast);
