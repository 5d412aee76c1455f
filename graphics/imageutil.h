// Image and paint-stage services of the draw code: scaled drawing of a
// picture into a buffer and the paint stage list of a drawing effect. (The
// mask stage that weakens a mask by an alpha is the level stage,
// graphics/level.h.)
#pragma once

#include <cstddef>
#include <cstdint>

#include "graphics/drawitem.h"

struct EngineContext;
struct PixelBuf;
struct StageNode;

// Draws picture scaled to width x height into target with the scaled
// picture's top-left corner at column x, memory row y (rows counted from
// the top; either may be negative), clipped to the target: quality 0 plain
// (nearest pixel), 1 and 2 smoother (the two-pass resampler where it
// applies). A picture of another format is converted to the target's
// first. 0, or non-zero when it cannot (a format pair without conversion,
// no memory, no pixels).
int Image_scaleIntoBuffer(EngineContext *ctx, const PixelBuf *picture, int32_t width,
                          int32_t height, PixelBuf *target, int32_t x, int32_t y, int32_t quality);

// The paint stage list of drawing effect 0 to 3 (Obj_effectMask of a
// display item's flags): null for effect 0 (no stages) and when the
// effects record cannot be made. Lent; the context keeps it.
const StageNode *Obj_kindRecord(EngineContext *ctx, uint32_t effect);
// Frees the context's effects record (nothing when none was made).
void Obj_freeKindRecords(EngineContext *ctx);
// Gives the context a new colour-transfer record (replacing any it had):
// the lightening table and the three stage lists Obj_kindRecord lends.
// 0, or 1 when out of memory (the old record is then kept).
int Obj_transferCreate(EngineContext *ctx);
// Frees the context's colour-transfer record (nothing when none).
void Obj_transferFree(EngineContext *ctx);
// Puts a zeroed record of size bytes into an empty slot: 1 when the slot
// holds a record afterwards, 0 when out of memory or for a null slot.
int Obj_lazyCreate(void **slot, size_t size);
