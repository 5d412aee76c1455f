// Text runs: measuring and walking a run of 16-bit characters in one text
// style.
//
// A run's arguments, in the order every operation takes them: the font
// list (fonts/fontlist.h); the size (16.16 points: one glyph unit, 1/16384
// em, is (size + 9) / 18 / 65536 document units); style flags (bits 0-2
// decorations: underline, overline, strike-through; bit 5 right-to-left
// visual order; bit 6 skip characters without a glyph; bit 7 no kerning,
// for text placed by a page description); the style record
// (word 0 the count of underlines, word 1 the decoration thickness, 0 or
// less meaning the font's own); the characters and their count. Extents
// are Rects in document units relative to the pen, y growing upward from
// the baseline. Every measurement and walk holds the font list's lock.
#pragma once

#include <cstdint>

#include "core/geom/matrix.h"
#include "core/geom/rect.h"

struct DrawTarget;
struct FontList;
struct FontListOwner;
struct ObjClass;

enum : uint32_t {
    TextStyle_underline = 0x1,
    TextStyle_overline = 0x2,
    TextStyle_strike = 0x4,
    TextStyle_decorations = 0x7,
    TextStyle_rightToLeft = 0x20,
    TextStyle_skipMissing = 0x40,
    TextStyle_noKerning = 0x80,
    // Character-table flags.
    CharTable_kerning = 0x8,
    CharTable_collapseSpace = 0x10,
    CharTable_zeroMarks = 0x20,
    CharTable_noGlyph = 0xFFFF, // glyph id of a character that is not drawn
};

// Builds the run's character table in the buffer of the list's owner: 9
// bytes a character (characters, glyph ids, first metrics, advances, then
// font indices), the buffer size rounded up to 128 and only grown. Every
// out pointer may be null; they stay valid until the next table is built
// on the list. 0; 1 out of memory (the buffer freed); the fonts' errors.
[[nodiscard]] int TextRun_buildCharTable(FontList *list, uint32_t flags, const char16_t *chars,
                                         uint32_t count, const uint8_t **fonts,
                                         const uint16_t **glyphs, const uint16_t **first,
                                         const uint16_t **advances, const char16_t **outChars,
                                         uint32_t *fontMask, uint32_t *outCount);
// Frees the owner's buffer (capacity 0). Returns 0.
int TextRun_freeCharTable(FontListOwner *owner);

// Measures count characters up to maxWidth (0x7FFFFFFF: no limit), in
// chunks estimated from the average advance when the run is long. *fitted
// (when not null) receives how many fit, *out their extent. 0 or an error.
[[nodiscard]] int TextRun_measureFit(FontList *fonts, int32_t size, uint32_t flags,
                                     const int32_t *style, const char16_t *chars, uint32_t count,
                                     int32_t charSpacing, int32_t wordSpacing, int32_t maxWidth,
                                     uint32_t *fitted, Rect *out);
// The whole run's extent, through matrix (null: none) as the bounds of
// its four corners. 0 or an error.
[[nodiscard]] int TextRun_measureXform(FontList *fonts, int32_t size, uint32_t flags,
                                       const int32_t *style, const char16_t *chars, uint32_t count,
                                       int32_t charSpacing, int32_t wordSpacing,
                                       const Matrix *matrix, Rect *out);
// The sum of advance + charSpacing (+ wordSpacing for a space) over the
// characters with a non-zero advance.
int64_t TextRun_width(const char16_t *chars, uint32_t count, int32_t charSpacing,
                      int32_t wordSpacing, const uint16_t *advances);

// What the per-glyph callback of a walk gets.
struct GlyphWalk {
    FontList *list;
    int32_t size;
    int32_t unit;   // document units (16.16) per 65536 glyph units
    int64_t penX;   // glyph units from the run's start
    uint32_t index; // character index
    uint32_t font;  // font index
    uint16_t glyph;
    int32_t advance;         // glyph units
    const Matrix *runMatrix; // glyph units x unit / 65536 -> device
    Matrix glyphMatrix;      // the glyph's outline units -> document units at the pen
    const DrawTarget *target;
    uint32_t colour; // 0xAABBGGRR
    void *data;      // the callback's
};

// A callback result of 266 counts as 0; any other non-zero ends the walk.
typedef int (*GlyphWalkFn)(GlyphWalk *walk);

// Walks the run glyph by glyph under matrix (document units to device),
// culled by clip (device pixels, null: none), calling callback for every
// drawn glyph, then draws the decorations. 0 or the first error.
[[nodiscard]] int TextRun_walk(FontList *fonts, int32_t size, uint32_t flags, const int32_t *style,
                               const char16_t *chars, uint32_t count, int32_t charSpacing,
                               int32_t wordSpacing, const Matrix *matrix, const Rect *clip,
                               const DrawTarget *target, uint32_t colour, GlyphWalkFn callback,
                               void *data);
// Estimates the cost of drawing the run: walks it as drawing would (the
// flags' low three bits cleared) and adds weights[0] for every glyph the
// glyph-mask cache holds, weights[1] for every other. *total gets the sum
// (0 for none); the walk's result is returned.
[[nodiscard]] int TextRun_estimateCost(FontList *fonts, int32_t size, uint32_t flags,
                                       const int32_t *style, const char16_t *chars, uint32_t count,
                                       int32_t charSpacing, int32_t wordSpacing,
                                       const Matrix *matrix, const Rect *clip,
                                       const DrawTarget *target, const int32_t weights[2],
                                       int64_t *total);
// Draws the run into the target in colour.
[[nodiscard]] int TextRun_outline(FontList *fonts, int32_t size, uint32_t flags,
                                  const int32_t *style, const char16_t *chars, uint32_t count,
                                  int32_t charSpacing, int32_t wordSpacing, const Matrix *matrix,
                                  const Rect *clip, const DrawTarget *target, uint32_t colour);

// Scales r by the 16.16 factor outward: x0 and y0 rounded toward negative
// infinity, x1 and y1 upward.
void Rect_scaleOutward(Rect *r, int32_t factor);
