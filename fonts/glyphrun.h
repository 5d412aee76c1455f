// Glyph-run strings: many short positioned text runs in one byte string.
//
// The string is a sequence of 16-bit units addressed by byte position.
// Single bytes (op codes and their operands) and 16-bit character runs
// share it: a single byte at an even position opens a unit and the next
// byte goes to that unit's odd byte; after a byte at an odd position the
// next byte goes behind every unit used so far. A 16-bit run is copied to
// the first unit after all units used so far; when the byte position was
// at an odd byte left free (a hole), it stays there, so the next single
// byte fills it. The operands of an op follow it byte by byte, so an op
// never starts in a hole (the writer fills one with op 2 first).
//
// Ops: 0 a run of one unit; 1 a run, count in 2 bytes low first; 2 fills a
// hole; 3 and 4 word spacing in 2 or 3 bytes, high first; 5 and 6
// character spacing likewise; 7 the text of the next run, count in 2 bytes
// low first, its units placed as a 16-bit run's (the run's characters
// are then the codes that draw it, the text what it reads as); 8 to 15
// ignored; 16 a run, count in one
// byte; 17 to 31 a move, bits 0-1 the dx bytes and bits 2-3 the dy bytes
// (signed, low first; y goes down by dy); 32 and above an 8-bit run up to
// the next byte below 32.
#pragma once

#include <cstdint>

#include "core/container/obj.h"
#include "core/geom/rect.h"

struct EngineContext;
struct DrawTarget;
struct FontList;
struct Matrix;

enum : uint32_t {
    GlyphRun_inlineBytes = 512,
    GlyphRunItem_identifier = 0x47526E73,
};

struct GlyphRunWriter {
    uint8_t *buffer;   // the inline area at first
    uint32_t capacity; // bytes
    int32_t lastX, lastY;
    int32_t wordSpacing, charSpacing; // last written
    uint32_t pos;                     // byte position
    uint32_t units;                   // units used
    uint8_t inlineArea[GlyphRun_inlineBytes];
};

struct GlyphRunReader {
    const uint8_t *data;
    uint32_t pos;
    uint32_t length; // bytes
    uint32_t units;
    int32_t x, y;
    const char16_t *run; // the current run's characters (null at the end)
    uint32_t runLength;
    uint8_t *expand;         // widening buffer: the inline area at first
    uint32_t expandCapacity; // bytes
    int32_t wordSpacing, charSpacing;
    uint8_t inlineArea[GlyphRun_inlineBytes];
    // The text of the current run: its own characters, or what an op 7
    // before it gave.
    const char16_t *text;
    uint32_t textLength;
    char16_t *textBuffer;  // heap, grown as needed
    uint32_t textCapacity; // units
    uint32_t textPending;  // units of an op 7 waiting for its run
};

void GlyphRun_writerInit(GlyphRunWriter *w);
void GlyphRun_writerFree(GlyphRunWriter *w);
// Adds a run of n characters at (x, y). Empty runs, runs of more than
// 65535 characters and runs whose distance from the previous one does not
// fit 24 bits are dropped (0). 0 or 1 when memory runs out.
[[nodiscard]] int GlyphRun_addText(GlyphRunWriter *w, int32_t x, int32_t y, const char16_t *s,
                                   uint32_t n);
// Adds a run of n codes that reads as the textLength units of text (a
// ligature's one code may read as several characters). When the text is
// the codes themselves this is GlyphRun_addText. 0 or 1.
[[nodiscard]] int GlyphRun_addTextAs(GlyphRunWriter *w, int32_t x, int32_t y, const char16_t *codes,
                                     uint32_t n, const char16_t *text, uint32_t textLength);
// Writes the spacing values that changed (a magnitude above 0x7FFFFF is
// taken as 0). 0 or 1.
[[nodiscard]] int GlyphRun_setSpacing(GlyphRunWriter *w, int32_t wordSpacing, int32_t charSpacing);
// Fills a pending hole with op 2; the string is then w->pos bytes long.
// 0 or 1.
[[nodiscard]] int GlyphRun_plugHole(GlyphRunWriter *w);

void GlyphRun_readerInit(GlyphRunReader *r, const uint8_t *data, uint32_t length);
// Reads up to the next run: run, runLength, text, textLength, x, y and the
// spacing values current; run null and runLength 0 at the end (also when the string ends
// inside an op's operands or a run). 0 or 1 when memory runs out.
[[nodiscard]] int GlyphRun_next(GlyphRunReader *r);
void GlyphRun_readerFree(GlyphRunReader *r);

// The display item of a glyph-run string: the item's origin is the pen
// origin of the runs and its matrix (optional) their transform.
struct GlyphRunItemPart {
    FontList *fonts;
    int32_t size;
    uint32_t styleFlags;
    const int32_t *style;
    uint32_t colour;      // 0xAABBGGRR
    const uint8_t *bytes; // the string (not owned)
    uint32_t length;
    uint32_t flags;
};

extern const ObjClass GlyphRunItem_class;

// The data of an item that carries its own text data: the class part of a
// glyph-run item (GlyphRunItemPart), lent; null for an item of any other
// class, whose words beyond the class pointer are not read. item must not
// be null.
void *DisplayItem_dataIfClass(ObjHeader *item);

// Draws every run that meets clip (the item list's units; null: all).
// 0, Res_stopRequested when asked to stop, or a text-run error.
[[nodiscard]] int GlyphRunItem_draw(EngineContext *ctx, ObjHeader *item, const Rect *clip,
                                    const Matrix *matrix, const DrawTarget *target);
// The union of the runs' transformed extents (inverted-empty for none).
[[nodiscard]] int GlyphRunItem_bounds(EngineContext *ctx, ObjHeader *item, Rect *out);

// A cursor over a glyph-run item's runs, for text extraction.
typedef GlyphRunReader GlyphRunCursor;

// A cursor at the start of the item's string (an item of another class has
// no runs), or null when out of memory.
GlyphRunCursor *GlyphRunCursor_new(ObjHeader *item);
// 1 with *chars and *count the text of the next run; 0 at the end or when the reader
// fails (the outputs then untouched).
int GlyphRunCursor_next(GlyphRunCursor *c, const char16_t **chars, uint32_t *count);
// Measures the current run (when rect is asked for and a run is current): with
// placed set through the item's matrix and moved by the run position, else
// relative to the pen. Every output asked for is filled. The measurement's
// error, 0 when nothing was measured; Res_unexpectedKind when a run is current
// but item is not a glyph-run item.
[[nodiscard]] int GlyphRunCursor_measure(GlyphRunCursor *c, ObjHeader *item, Rect *rect,
                                         int32_t *charSpacing, int32_t *wordSpacing,
                                         Point *position, int placed);
void GlyphRunCursor_free(GlyphRunCursor *c);
