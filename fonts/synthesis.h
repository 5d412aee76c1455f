// Faces without a font file of their own: the engine's "Spaces" face
// (fonts/spaces.h holds its table and operations) and the standard-metrics
// face, which draws a real face's outlines but measures with the base-14
// metrics (fonts/base14.h) of one standard font, so that a document naming
// a standard font keeps the widths it was set with.
#pragma once

#include <cstdint>

struct Base14Slot;
struct FontFace;

// The name of a standard-metrics face: this prefix and the standard name.
extern const char SynthesisFace_prefix[];

// *out = a new standard-metrics face (kind 52) over real (which gets one
// more reference) and the open base-14 slot: its glyph ids are character
// codes, measured and kerned by the slot, drawn with real's outline of the
// glyph real maps the code to. Underline, ascent, descent and box come from
// the slot. 0; 1 (nothing made); Res_nullInput for a null argument.
[[nodiscard]] int SynthesisFace_create(FontFace *real, Base14Slot *slot, FontFace **out);
