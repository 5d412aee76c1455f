// Colour transfer and grey stages: brightness, contrast and gamma as a
// 256-entry table applied to every colour channel, and the grey-level
// conversion, both as paint stages of a draw item (graphics/drawitem.h).
// Each takes a constant format-6 colour (giving a constant format-6 colour
// with alpha byte 0) or rows of format-4 pixels (giving format-4 rows, in
// place over the output of a stage before it); anything else is refused
// with 275 and the draw stops with it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "graphics/drawitem.h"

enum : int { Stage_badInput = 275 };

// The transfer table for gamma (a double), brightness and contrast:
// B = max(contrast + 255, 0), C = brightness + 128; entry i is
// ((x - 128) B / 255 + C) truncated and clamped to 0-255, with x = 0 for
// i = 0, else 255 (i / 255)^gamma.
void Pixel_buildTransferTable(double gamma, int32_t brightness, int32_t contrast,
                              uint8_t table[256]);

// The declare operations (parameter: the 256-byte table for the transfer
// stage; none for the grey stage). 0 or 275.
int Transfer_declareStage(uint32_t inputIsBuffer, uint32_t inputFormat, int32_t width,
                          int32_t height, int stageBefore, void *parameter, StageRecord *stage);
int Grey_declareStage(uint32_t inputIsBuffer, uint32_t inputFormat, int32_t width, int32_t height,
                      int stageBefore, void *parameter, StageRecord *stage);

// The stage-kind tables a stage-list node points to.
extern const StageOps Transfer_stageOps;
extern const StageOps Grey_stageOps;

// Applies per-channel tables to 5-6-5 pixels: 32 red entries (5-bit
// results), 64 green (6-bit), 32 blue (5-bit), 128 bytes in all.
void Pixel_mapChannels565(const uint8_t *tables, const uint8_t *source, uint8_t *destination,
                          int32_t width, int32_t rows, ptrdiff_t sourceStride,
                          ptrdiff_t destinationStride);
