// Image and paint-stage services of the spreadsheet subsystem that the
// graphics code calls: scaled drawing of a picture, and the paint stage
// list of a drawing effect.
//
// Only these two are declared so far; both have interim definitions in
// spreadsheet/interim.cpp until the module is built.
#pragma once

#include <cstdint>

struct EngineContext;
struct PixelBuf;
struct StageNode;

// Draws picture scaled to width x height into target with its top-left
// corner at column x, memory row y (rows counted from the top), with
// quality 0 (plain), 1 or 2 (smoother). 0, or non-zero when it cannot.
int Image_drawScaled(EngineContext *ctx, const PixelBuf *picture, int32_t width, int32_t height,
                     PixelBuf *target, int32_t x, int32_t y, int32_t quality);

// The paint stage list of drawing effect 0 to 3 (Obj_effectMask of a
// display item's flags): null for effect 0 (no stages). Lent; the context
// keeps it.
const StageNode *Obj_kindRecord(EngineContext *ctx, uint32_t effect);
