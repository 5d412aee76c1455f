// Glyph outlines: the compact outline object the font loaders fill.
//
// Font rasterisation needs many small outlines that are built once, cached
// and copied into composite glyphs. A GlyphPath holds one of three kinds:
//  - kind 0, point records: one record per point, a flag byte followed by
//    dx and dy, deltas from the previous point in font units (signed bytes,
//    or 16-bit little-endian values when the record is wide);
//  - kind 1, a byte-coded path (moveTo, lineTo, cubic curveTo, close) with
//    relative coordinates of 8 or 16 bits;
//  - kind 2, a plain Path (graphics/path.h).
// The next code or record is written at lastStart + lastSize.
#pragma once

#include <cstdint>

struct Path;

enum : uint32_t {
    GlyphPath_kindPoints = 0, // point records
    GlyphPath_kindCodes = 1,  // byte-coded path
    GlyphPath_kindPath = 2,   // plain Path
};

// Flag bits of a point record (kind 0).
enum : uint8_t {
    GlyphPoint_onCurve = 0x01,    // an on-curve point (the loader's bit, copied unchanged)
    GlyphPoint_contourEnd = 0x02, // the last point of a contour (the loader's bit, copied unchanged)
    GlyphPoint_absolute = 0x04,   // the running point restarts at (0, 0) before this record
    GlyphPoint_last = 0x08,       // the last record of the outline
    GlyphPoint_wide = 0x10,       // 16-bit values (a 5-byte record; else 3 bytes, signed bytes)
};

enum : uint32_t {
    GlyphPoint_wideSize = 5,   // bytes of a wide record
    GlyphPoint_narrowSize = 3, // bytes of a narrow record
};

struct GlyphPath {
    uint32_t kind;         // GlyphPath_kind*
    uint8_t *bytes;        // the byte buffer (kinds 0 and 1); null until the first code is written
    Path *path;            // the plain path of a kind-2 outline
    uint32_t byteCapacity; // size of the byte buffer
    uint32_t lastStart;    // offset of the last code or record written
    uint32_t lastSize;     // its size in bytes (0: nothing written yet)
};

// *out = a new empty outline of the kind (all other fields zero). 0, or 1
// when memory runs out (*out null, nothing allocated).
[[nodiscard]] int GlyphPath_create(GlyphPath **out, uint32_t kind);
// Frees the outline's buffer (kind 2: its path) and the record; null
// allowed.
void GlyphPath_destroy(GlyphPath *outline);
// Adds a component glyph to a composite outline. A source without a buffer
// adds nothing. Kind 0: the source's points, each taken as an absolute
// point (deltas summed from (0, 0), restarting at absolute records), are
// mapped to x' = (a x + c y + dx 65536) / 65536 and y' = (b x + d y + dy
// 65536) / 65536 (a, b, c, d 16.16; the division truncates toward zero)
// and appended as wide absolute records with the source's flag bits 0 and
// 1; the destination's previous last record loses bit 3 and the appended
// last record keeps it. The packed offset carries dx in its low and dy in
// its high 16 bits, both signed. Other kinds: nothing. 0, or 1 when memory
// runs out (the destination keeps what it held).
[[nodiscard]] int GlyphPath_appendComponent(GlyphPath *destination, const GlyphPath *source, int32_t a,
                                            int32_t b, int32_t c, int32_t d, uint32_t offset);
// Moves a point-record outline dx font units sideways (16-bit values):
// adds dx to the x of the first record, which moves every point that
// follows it as a delta, and to the x of every absolute record, which
// restarts the deltas (composite glyphs are made of absolute records).
// Only wide records are changed (the TrueType loader writes nothing else);
// outlines of other kinds or without records stay as they are.
void GlyphPath_shiftFirstX(GlyphPath *outline, int32_t dx);
