// Font support routines.
//
// Small routines the font engine builds on, with no state of their own
// (every record is the font engine's, fonts/fontface.h): the font-face
// record's creation, metric defaults, file holders and release; the
// operations table of the engine's font packs with their advance-width
// table ('ffhm'); the single-byte encoding handler that maps codes to
// glyphs through a 256-byte table; and the dispatch over the two kinds of
// embedded font that the PDF font code calls.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineContext;
struct FontFace;
struct FontMapRequest;
struct FontPackOps;
struct FontPackWidths;
struct SingleByteEncoding;

// ------------------------------------------------------------- faces

// *out = a new zero-filled face (no name) with one reference, keeping both
// creation words, the default substitution slots A and B and no kerning.
// With parent: the parent gets one more reference, and the face keeps the
// parent and copies its source, map rank and style word, the four 16-bit
// values, the five metrics and the box. Without: the source is the first
// argument and the five metrics are unset (FontFace_unset); the box stays
// 0. 0, or 1 with *out null.
[[nodiscard]] int Font_faceCreate(EngineContext *source, uint32_t kind, uint32_t creationWord2,
                                  FontFace *parent, FontFace **out);
// Fills the metrics still unset: -1784, 800, 14600, 14600, -3536 (1/16384
// em); clears the line gap. An empty box (x1 - x0 or y1 - y0 not above 0)
// becomes (-9312, -5024, 33232, 16496). Then, when the fourth metric
// (top of the line extent) is not above the fifth (bottom), they become
// the box's y1 and y0.
void Font_faceFillDefaults(FontFace *face);
// Adds a reference to the face.
void Font_faceRetain(FontFace *face);
// Closes the face's file (BufStream_closeFile): it opens again on the next
// read. The face and its references stay. 0 or the close's error.
int Font_faceReleaseFile(FontFace *face);
// Drops a reference (null allowed). The last one runs the client release
// with the client data, frees the name, hands the face to its destroy
// operation when it has one (which frees what the face owns, but nothing
// it shares with its parent), else frees it, and then drops the face's
// reference on its parent.
void Font_faceRelease(FontFace *face);
// Copies at most length bytes of the face's name into buffer, zero-padded
// and not terminated when the name is as long or longer (a face without a
// name gives zeros). 0.
int Font_faceCopyName(const FontFace *face, char *buffer, size_t length);
// Replaces the face's name with a heap copy of name (NUL-terminated): the
// old name is freed first; a null name only clears it. 0; 1 when the copy
// cannot be made (the face is then left without a name).
[[nodiscard]] int Font_faceSetName(const char *name, FontFace *face);
// Asks the face's advance operation for one code (run tag 0, tag 0): answer[0]
// = the advance, answer[1] = the other output (the side bearing, 0 for font
// packs). The operation's result; Res_notImplemented when the face has none
// (answer zeros).
[[nodiscard]] int Font_faceCallOp(FontFace *face, uint16_t code, uint16_t answer[2]);

// ---------------------------------------------------------- font packs

// Fills the font engine's font-pack slot with a new operations table when
// it is still empty. 1 when the slot holds a table afterwards; 0 when slot
// is null or memory runs out.
int FontPack_installOps(FontPackOps **slot);
// Advances of a run: for each i below n whose tags[i] has its low 3 bits
// equal to runTag, zero[i] = 0 and advance[i] = the code's advance in
// 1/16384 em (16 bits): code 0xFFFF gives 0, a code the width table lacks
// its default advance. The table is the face's, else (flag bit 0) the
// parent's, else it is loaded and kept in the face (and the parent). A face
// whose table is refused, or whose units per em is 0, gives 0 for every
// code. 0 or the error of loading the table.
[[nodiscard]] int FontPack_getAdvances(FontFace *face, const uint16_t *codes, uint32_t n,
                                       uint32_t runTag, const uint8_t *tags, uint16_t *zero,
                                       uint16_t *advance);
// Reads the face's 'ffhm' table (the table directory's entry) in the
// reader's byte order into *out, a new table the caller stores in the face.
// A version outside 0x00010000..0x0001FFFF, or a count whose 12 + 4n bytes
// do not fit the table, is refused: 0 with *out null. 0; 1; the reader's
// errors (then *out is null and the face's width table cleared). The
// reader's window is dropped in every case.
[[nodiscard]] int FontPack_loadWidths(FontFace *face, FontPackWidths **out);
// Frees the face's width table and clears the pointer. 0.
int FontPack_freeWidths(FontFace *face);

// ---------------------------------------------- single-byte encoding

// Fills the encoding handler record that *slot holds with the three
// operations below. 1, or 0 when slot or *slot is null.
int FontEnc_installSingleByte(SingleByteEncoding **slot);
// Reads 256 bytes from the request's reader and stores them as the
// target's table (request->target->data, a heap block that the release
// operation frees). 0, the reader's error, or 1.
[[nodiscard]] int FontEnc_loadSingleByte(FontMapRequest *request);
// Maps codes through the face's loaded 256-byte table (face->mapData):
// for each i below n whose glyphs[i] is 0, a code below 256 with a
// non-zero table entry stores that glyph, puts sourceTag into the low 3
// bits of tags[i] and counts *remaining down; the walk stops when it
// reaches 0 (at once when it is 0 already). 0.
int FontEnc_mapSingleByte(FontFace *face, const uint16_t *codes, uint32_t n, uint32_t sourceTag,
                          uint16_t *glyphs, uint8_t *tags, uint32_t *remaining);
// Frees a loaded table (null allowed).
void FontEnc_freeSingleByte(void *table);

// ------------------------------------------------------ embedded fonts

// For a face of kind 50: the query word of its data record (the close
// argument, EmbFontData), -1 when it has none; kind 48: the TrueType
// side's answer; a null font or any other kind: -1.
int32_t EmbFont_queryWord(FontFace *font);
// Forwards the three arguments to the kind-50 or kind-48 routine of the
// fonts subsystem and answers its result; 0 for any other kind or a null
// font.
int EmbFont_forward(FontFace *font, uintptr_t a, uintptr_t b, uintptr_t c);
