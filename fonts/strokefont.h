// Stroke-font glyphs of the engine's font packs.
//
// A font-pack glyph is a skeleton: contours of centre-line points flagged
// on-curve or off-curve, plus component glyphs placed as they are, shifted
// or scaled. Drawing decodes the skeleton from the pack's compact byte
// coding, offsets every contour to both sides by a half width that follows
// the font's weight (mitred joins, square caps) and hands the resulting
// outline contours to a quadratic path outline (graphics/glyphpath.h).
// All geometry is 16-bit coordinates with 32-bit and 16.16 intermediates.
#pragma once

#include <cstddef>
#include <cstdint>

struct FontFace;

// ------------------------------------------------------- fixed point

// a / b in 16.16 (a and b plain or both 16.16), the sign applied last;
// a zero divisor gives the largest value of a's sign.
int32_t Fixed_divSigned(int32_t a, int32_t b);
// The 16.16 product a x b >> 16 rounded to the nearest, magnitudes
// multiplied by parts and the sign applied last (so -x rounds like x).
int32_t Fixed_mulSigned(int32_t a, int32_t b);
// Integer length of (a, b): max + min / 2 refined twice by Newton steps.
int32_t Geom_intHypot(int32_t a, int32_t b);
// The rough length max + min / 2 of (a, b).
int32_t Geom_approxLength(int32_t a, int32_t b);

// ------------------------------------------------------ glyph coding

// A cursor over glyph bytes; reading past the end sets failed.
struct FontPackBytes {
    const uint8_t *at;
    const uint8_t *end;
    int failed;
};

// An unsigned number: bytes of 240 and more add 4 bits each, least
// significant first; the first byte below 240 gives the high bits.
uint32_t FontPack_readVarUint(FontPackBytes *in);
// The four-field group: 7 bits a byte (bit 0 continues), 3 bits of
// field 3, 2 of field 2, 1 each of fields 1 and 0, low bits first; at most
// 8 bytes.
void FontPack_decodeVarFields(FontPackBytes *in, uint16_t fields[4]);
// The two-field group: 3 bits of b (low) and 4 bits of a a byte.
void FontPack_decodeContourPair(FontPackBytes *in, uint16_t *a, uint16_t *b);
// A point code: *x, *y and *onCurve (see the coding in strokefont.cpp).
void FontPack_decodePoint(FontPackBytes *in, int32_t *x, int32_t *y, int *onCurve);

// ------------------------------------------------------- contour sets

enum : uint32_t { StrokeContours_inline = 8 };

// A working set of contours: points with on-curve flags (1 on-curve),
// contours as ranges of point indices.
struct StrokeContours {
    uint32_t capacity; // points the arrays hold (plus 4 spare)
    uint16_t starts[StrokeContours_inline];
    uint16_t ends[StrokeContours_inline]; // last point of each contour
    uint16_t *moreStarts;                 // contours past the inline 8 (null: none)
    uint16_t *moreEnds;
    uint32_t moreCapacity;
    int16_t *xs;
    int16_t *ys;
    uint16_t *flags;
    uint32_t contourCount;
    uint32_t pointCount;
    int32_t minX;
    int32_t maxY;
};

// A new empty set; null when memory runs out.
StrokeContours *StrokeContours_create(void);
void StrokeContours_free(StrokeContours *set);
// Appends a point (to the open contour) / closes the contour that began at
// point index first. 0 or 1.
[[nodiscard]] int StrokeContours_addPoint(StrokeContours *set, int32_t x, int32_t y, int onCurve);
[[nodiscard]] int StrokeContours_endContour(StrokeContours *set, uint32_t first);
// The first and last point index of contour i.
void StrokeContours_range(const StrokeContours *set, uint32_t i, uint32_t *first, uint32_t *last);

enum : uint32_t {
    StrokeJoin_mitre = 0, // mitred up to twice the half width, else bevelled
    StrokeJoin_round = 1,
    StrokeJoin_bevel = 2,
    StrokeCap_butt = 0,
    StrokeCap_half = 1,
    StrokeCap_round = 2,
    StrokeCap_square = 3,
};

// The outline contours of set stroked with half width h: every open
// contour becomes one closed outline, every contour whose last point
// repeats its first (with closed detection on) two rings of opposite
// direction; a contour of fewer than two points none. The input set is
// freed in every case; null when memory runs out.
StrokeContours *Stroke_contours(StrokeContours *set, int32_t h, uint32_t join, uint32_t cap,
                                int closedDetection);

// Decodes glyph of the font into set; at depth 0 also strokes it (*set is then
// the outline set). Components take no components of their own, so glyphs nest
// one level deep at most. 0, 1, Res_bufWindowShort for glyph data that ends
// early, Res_fontUnsupported for a glyph too large for 16-bit point indices, or
// the reader's error.
[[nodiscard]] int FontPack_buildGlyph(FontFace *face, StrokeContours **set, uint16_t glyph,
                                      uint32_t depth);
