// TrueType glyph outlines.
//
// Reads a glyph of a TrueType font's 'glyf' table through the face's
// buffered reader into a point-record outline (graphics/glyphpath.h, kind
// 0): simple glyphs with their packed flags and coordinates, and composite
// glyphs whose components are loaded in turn and appended with their
// transforms. Each record holds a point's flags (0x10 wide, 0x01 on-curve,
// 0x02 end of a contour, 0x08 last point) and its x and y as deltas from
// the previous point, in font units. The loader can also align the glyph's
// left edge with the horizontal metric the face reports.
//
// The glyph data is read big-endian, as the table stores it, whatever the
// reader's byte order. The face fields read: reader (the file's reader), source (the
// engine the reader opens its file through), the 'glyf' entry of the table
// directory, units per em, 'head' flags (bit 1 turns the alignment off)
// and the glyph-location slot.
#pragma once

#include <cstdint>

struct FontFace;
struct GlyphPath;

enum : uint32_t {
    // Levels of composites inside a composite that a load follows; deeper
    // nesting (composites that contain each other) fails with 2316.
    TtGlyph_maxDepth = 16,
    // Components a single load may read, nested ones included; more fail
    // with 2316, so that a small file cannot make a load run for ever.
    TtGlyph_maxComponents = 4096,
    // Points an outline may hold (its counters are 16-bit); more fail with
    // 2315.
    TtGlyph_maxPoints = 65535,
};

// Loads the glyph whose data starts offset bytes into the 'glyf' table (an
// offset at or past the table's length reads the glyph at offset 0) into
// a new point-record outline: *out, the caller's. With request (the glyph
// id) not null, the font's 'head' flag bit 1 clear, units per em not 0 and
// points in the outline, the face's advance operation is asked for the
// glyph's horizontal metric v (Font_faceCallOp) and the glyph is moved by
// units per em x (v - xMin') / 16384 font units, xMin' being the glyph's
// xMin in 1/16384 em. 0; 1 out of memory; 2314, 2315, 2316 (result.h); the
// reader's, the location slot's and the advance operation's errors. On
// failure *out is null and the reader's window is released.
[[nodiscard]] int TtGlyph_load(FontFace *font, uint32_t offset, GlyphPath **out,
                               const uint16_t *request);

// Reads a simple glyph body of contours contours at the reader's position into
// outline (an empty point-record outline; a buffer it holds is replaced). 0
// contours, or a last contour end of 0xFFFF, leave it empty. The flags and
// coordinates are read in one run, so the reader's position ends past the
// glyph's data (up to 5 bytes a point, within the window). 0; 1;
// Res_glyphBadPoint when the flags cover more points than the contours end at;
// the reader's errors. On failure the outline is left empty.
[[nodiscard]] int TtGlyph_readSimple(FontFace *font, int32_t contours, GlyphPath *outline);

// Reads the components of a composite glyph at the reader's position and
// appends each to outline; ownOffset is the composite's own offset in
// 'glyf'. 0; 1; 2314 point matching against an outline without points;
// 2315 a point number past an outline's records, or more than 65535
// points; 2316 a component that is the glyph itself, or nesting or
// component counts past the limits above; the reader's and the location
// slot's errors. The window is released at the end; on failure the
// outline keeps the components appended before.
[[nodiscard]] int TtGlyph_readComposite(FontFace *font, GlyphPath *outline, uint32_t ownOffset);

// The default glyph loader of a TrueType font: glyph index's outline as
// point records through the face's glyph-location slot and TtGlyph_load
// (the horizontal alignment asked for index). The glyph ends where the next
// glyph starts; an index at or past the face's glyph count loads as an
// empty outline, so the last glyph never takes glyph 0's offset as its end.
// A glyph without data (equal offsets) gives a finished empty kind-0
// outline. 0, or the location slot's or the reader's error (*out null).
[[nodiscard]] int TrueType_loadGlyph(FontFace *font, uint16_t index, GlyphPath **out);
