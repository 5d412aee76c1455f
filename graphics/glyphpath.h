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

struct FontFace;

struct Path;

enum : uint32_t {
    GlyphPath_kindPoints = 0, // point records
    GlyphPath_kindCodes = 1,  // byte-coded path
    GlyphPath_kindPath = 2,   // plain Path
};

// Flag bits of a point record (kind 0).
enum : uint8_t {
    GlyphPoint_onCurve = 0x01, // an on-curve point (the loader's bit, copied unchanged)
    GlyphPoint_contourEnd =
        0x02,                   // the last point of a contour (the loader's bit, copied unchanged)
    GlyphPoint_absolute = 0x04, // the running point restarts at (0, 0) before this record
    GlyphPoint_last = 0x08,     // the last record of the outline
    GlyphPoint_wide = 0x10,     // 16-bit values (a 5-byte record; else 3 bytes, signed bytes)
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
// The outline of a font-pack glyph, read in the pack's point coding:
// *out = a new outline, the caller's. 0 or an error (*out null).
[[nodiscard]] int FontPack_glyphOutline(FontFace *face, uint16_t glyph, GlyphPath **out);
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
[[nodiscard]] int GlyphPath_appendComponent(GlyphPath *destination, const GlyphPath *source,
                                            int32_t a, int32_t b, int32_t c, int32_t d,
                                            uint32_t offset);
// Kind-1 byte codes: the low nibble is the operation, bit 4 marks wide
// (16-bit little-endian) values; narrow values are signed bytes.
enum : uint8_t {
    GlyphCode_moveTo = 0,
    GlyphCode_lineTo = 1,
    GlyphCode_curveTo = 2,
    GlyphCode_close = 5,
    GlyphCode_end = 6,
    GlyphCode_reset = 10,  // the current point returns to (0, 0)
    GlyphCode_header = 13, // four 16-bit values; the first code of an outline
    GlyphCode_skip4 = 14,  // four bytes that readers step over
    GlyphCode_skip = 15,   // no data; readers step over it
    GlyphCode_wide = 16,
};

// The measure of an outline: codes or records (kind 1 counting its end
// code), the bytes they take (kind 1 with the end code) and the end code
// or last record (null for an outline without a buffer).
struct GlyphPathMeasure {
    uint32_t count;
    uint32_t length;
    const uint8_t *end;
};

// Ensures lastStart + lastSize + n bytes fit: the buffer starts at 1024
// bytes and doubles. 0 or 1.
[[nodiscard]] int GlyphPath_reserve(GlyphPath *outline, uint32_t n);
// Kind-1 operations; values are deltas from the current point. lineTo and
// curveTo on an empty outline first write moveTo (0, 0). Other kinds: 0
// and nothing written. 0 or 1 (the outline keeps what it held).
[[nodiscard]] int GlyphPath_moveTo(GlyphPath *outline, int32_t dx, int32_t dy);
[[nodiscard]] int GlyphPath_lineTo(GlyphPath *outline, int32_t dx, int32_t dy);
[[nodiscard]] int GlyphPath_curveTo(GlyphPath *outline, int32_t dx1, int32_t dy1, int32_t dx2,
                                    int32_t dy2, int32_t dx3, int32_t dy3);
[[nodiscard]] int GlyphPath_close(GlyphPath *outline);
// Writes the end code and trims the buffer to end right after it; 1 when
// the trim fails (the buffer unchanged, the end code written).
[[nodiscard]] int GlyphPath_end(GlyphPath *outline);
// Writes the header code and its four values at offset 0: lastStart 0,
// lastSize 9.
[[nodiscard]] int GlyphPath_setHeader(GlyphPath *outline, int16_t v0, int16_t v1, int16_t v2,
                                      int16_t v3);
// Kind 0: marks the last record and trims the buffer; kind 1: GlyphPath_end;
// otherwise nothing. 0 or 1.
[[nodiscard]] int GlyphPath_finish(GlyphPath *outline);
// The measure of any kind (kind 2: zero).
void GlyphPath_measure(const GlyphPath *outline, GlyphPathMeasure *out);
// The address of the code after the kind-1 code at code (unknown codes:
// code itself).
const uint8_t *GlyphPath_nextOp(const uint8_t *code);
// The measure of a kind-1 outline, and of a kind-0 outline.
void GlyphPath_count(const GlyphPath *outline, GlyphPathMeasure *out);
void GlyphPath_countRecords(const GlyphPath *outline, GlyphPathMeasure *out);
// Appends a byte-coded outline's codes to a byte-coded destination in
// place of its end code: after a reset code when reset is set, the
// source's first point moved by (dx, dy) and written wide. Both must be
// ended (GlyphPath_end). Nothing for other kinds or an empty source. 0 or 1.
[[nodiscard]] int GlyphPath_append(GlyphPath *destination, const GlyphPath *source, int32_t dx,
                                   int32_t dy, int reset);
// The point-record append with a 16.16 transform (see appendComponent).
[[nodiscard]] int GlyphPath_appendRecords(GlyphPath *destination, const GlyphPath *source,
                                          int32_t a, int32_t b, int32_t c, int32_t d,
                                          uint32_t offset);
// A new outline of the same kind holding a copy of a kind-0 outline's
// bytes; null when out of memory or given null.
GlyphPath *GlyphPath_cloneRecords(const GlyphPath *outline);
// A new finished kind-1 outline of the hollow box drawn for a missing
// glyph at size (font units x 16384 / em); null when out of memory.
GlyphPath *GlyphPath_missingGlyph(int32_t size);
// The missing glyph's advance: 12744 x size >> 14 in the low 16 bits.
uint32_t GlyphPath_missingAdvance(int32_t size);
// Moves a point-record outline dx font units sideways (16-bit values):
// adds dx to the x of the first record, which moves every point that
// follows it as a delta, and to the x of every absolute record, which
// restarts the deltas (composite glyphs are made of absolute records).
// Only wide records are changed (the TrueType loader writes nothing else);
// outlines of other kinds or without records stay as they are.
void GlyphPath_shiftFirstX(GlyphPath *outline, int32_t dx);

// A new path (scale 0x10000) of the outline: kind 0 by quadratic B-spline
// rules, each contour closed; kind 1 by its codes; kind 2 hands over its
// own path (the outline keeps none). A null outline or one without bytes
// gives an empty path. 0 with *out the path (the caller's); 1 out of
// memory; the path's errors.
[[nodiscard]] int GlyphPath_toPath(GlyphPath *outline, Path **out);
