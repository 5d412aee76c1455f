// Text runs: measuring a run of 16-bit characters in one text style.
//
// Only the measurement that layout's intrinsic widths need is declared so
// far; the graphics subsystem defines it (graphics/interim.cpp holds a
// stand-in until then).
#pragma once

#include <cstdint>

#include "core/geom/rect.h"

struct FontList;

// Measures count characters of chars in the font list at size (points,
// 16.16) with the style flags and record, character and word spacing, up to
// maxWidth (0x7FFFFFFF: no limit). *fitted (when not null) receives how many
// characters fit, *out their box relative to the pen in document units
// (16.16 inches). 0 or an error.
[[nodiscard]] int TextRun_measureFit(FontList *fonts, int32_t size, uint32_t flags, const int32_t *style,
                                     const char16_t *chars, uint32_t count, int32_t charSpacing,
                                     int32_t wordSpacing, int32_t maxWidth, uint32_t *fitted, Rect *out);
