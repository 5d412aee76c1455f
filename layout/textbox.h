// Wrapped text drawing: a NUL-terminated 16-bit string written into a
// rectangle line by line with one font list, each line broken at the last
// break opportunity that still fits the rectangle's width and handed to a
// drawing callback.
#pragma once

#include <cstdint>

struct FontList;
struct Rect;

// Draws one line: the text at the line's start, the font list and size, the
// line's character count, its left x and baseline y, and the argument. 0
// or an error (which ends the drawing).
typedef int (*TextBoxLineFn)(const char16_t *text, FontList *font, int32_t size, uint32_t count,
                             int32_t x, int32_t baseline, void *arg);

// Writes text (zero-terminated) into rect from its top (rect's y grows
// upward: the first baseline lies the font's ascent below y1), one line a
// font height lower each time, until the next line's descent would cross
// y0; white space after a break is skipped. An empty rectangle or a font
// of no height draws nothing. 0, or the first error of the measuring or
// of the callback.
[[nodiscard]] int TextBox_draw(const char16_t *text, FontList *font, int32_t size, const Rect *rect,
                               TextBoxLineFn callback, void *arg);
