// PDF stream filters: the decoding streams named by a stream's "Filter",
// the source streams that read a stream's raw bytes, and the row
// predictors of predicted data.
//
// Every filter is a decode stream (PdfFilterStream; the Flate and
// RunLength decoders live with it in graphics/codecs/decodestream.h) that
// decodes at most 1024 bytes per refill into its own buffer and reads from
// a source that stays the caller's: closing a filter frees the filter
// alone. A filter's status holds the error that ended its data (0 for a
// clean end); every refill after the end answers the end again. Control
// requests go to the source.
//
// Constructors return 0 with *out a new stream, or an error with *out
// null.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/stream/bytestream.h"
#include "graphics/codecs/decodestream.h"

struct PdfDoc;
struct PdfLexer;
struct PdfObj;

enum : int {
    Res_pdfNoStream = 5943,      // a stream object missing or not a stream, or a bad "Filter"
    Res_pdfUnknownFilter = 5946, // a filter name that the filter table does not hold
    Res_pdfBadAscii85 = 15108,   // 0x3B04: a character ASCII85 data may not hold there
};

// The filter table's constructor: parms is the filter's "DecodeParms"
// dictionary, or null.
typedef int (*PdfFilterNewFn)(ByteStream **out, ByteStream *source, PdfDoc *doc, PdfObj *parms);

// Looks name up among the full names "ASCIIHexDecode", "ASCII85Decode",
// "LZWDecode", "FlateDecode", then their abbreviations "AHx", "A85",
// "LZW", "Fl", and calls the match's constructor. 5946 for any other name
// (RunLength among them).
[[nodiscard]] int Pdf_Filter_lookup(ByteStream **out, ByteStream *source, const char *name,
                                    PdfDoc *doc, PdfObj *parms);

// ASCIIHexDecode: hex digit pairs, white space skipped; anything else or
// the source's end ends the data; a lone last digit is the high nibble.
[[nodiscard]] int Pdf_Filter_asciiHexNew(ByteStream **out, ByteStream *source, PdfDoc *doc,
                                         PdfObj *parms);
// ASCII85Decode: groups of five digits "!" to "u", "z" for four zeros
// between groups, "~" or the end ends the data; a bad character or a "z"
// inside a group ends it with 15108.
[[nodiscard]] int Pdf_Filter_ascii85New(ByteStream **out, ByteStream *source, PdfDoc *doc,
                                        PdfObj *parms);
// LZWDecode with parms' "EarlyChange" (default 1), then its predictor.
[[nodiscard]] int Pdf_Filter_lzwNew(ByteStream **out, ByteStream *source, PdfDoc *doc,
                                    PdfObj *parms);
// FlateDecode through the inflate stream, then parms' predictor.
[[nodiscard]] int Pdf_Filter_flateParmsNew(ByteStream **out, ByteStream *source, PdfDoc *doc,
                                           PdfObj *parms);

// ------------------------------------------------------------ predictors

// A predictor's parameters ("DecodeParms": Predictor, Colors,
// BitsPerComponent, Columns).
struct PdfPredictParams {
    int32_t predictor;        // 1 none, 2 TIFF, 10-15 PNG
    int32_t colors;           // 1 to 32
    int32_t bitsPerComponent; // 1, 2, 4, 8 or 16
    int32_t columns;          // at least 1
};

// Reads the parameters from parms (null: no predictor). Out-of-range
// values give 5971.
[[nodiscard]] int Pdf_Pred_readParams(PdfDoc *doc, PdfObj *parms, PdfPredictParams *out);
// A stream that undoes the predictor of params over inner, which it owns
// (closing it closes inner; on failure inner is closed too). With
// predictor 1, *out is inner itself.
[[nodiscard]] int Pdf_Pred_streamNew(ByteStream **out, ByteStream *inner,
                                     const PdfPredictParams *params);

// PNG row filters reversed in place on a row of n bytes; prev is the row
// above (all zeros before the first row) and distance the bytes of one
// pixel (at least 1).
void Pdf_Pred_pngSub(uint8_t *row, const uint8_t *prev, size_t n, size_t distance);
void Pdf_Pred_pngUp(uint8_t *row, const uint8_t *prev, size_t n, size_t distance);
void Pdf_Pred_pngAverage(uint8_t *row, const uint8_t *prev, size_t n, size_t distance);
void Pdf_Pred_pngPaeth(uint8_t *row, const uint8_t *prev, size_t n, size_t distance);
// TIFF predictor 2 undone in place on a packed row of count samples of
// bits (1, 2, 4, 8 or 16) each: each sample plus the one distance samples
// to its left, modulo 2^bits.
void Pdf_Pred_tiffUndo(uint8_t *row, size_t count, uint32_t bits, size_t distance);

// ---------------------------------------------------------- source streams

// The raw data of a stream object: length bytes from the lexer's current
// position. Data that end first end the stream cleanly at the end.
[[nodiscard]] int Pdf_Src_rawNew(ByteStream **out, PdfLexer *lexer, uint64_t length);
// Inline image data from the lexer's current position up to endPattern
// ("EI") standing after white space and followed by white space or the
// end of the data.
[[nodiscard]] int Pdf_Src_inlineNew(ByteStream **out, PdfLexer *lexer, const char *endPattern);

// One part of a contents stream.
struct PdfContentsPart {
    ByteStream *stream; // the part's decoding chain top (the caller's)
    intptr_t words[2];
    uint64_t offset;    // the part's raw data offset, which the lexer is seeked to
    uint64_t bytesRead; // counted by the contents source
};
// The parts read one after another with one space between them; the lexer
// is seeked to each part's offset before it is read.
[[nodiscard]] int Pdf_Src_contentsNew(ByteStream **out, PdfLexer *lexer, PdfContentsPart *parts,
                                      uint32_t count);
