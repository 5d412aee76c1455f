// The data of PDF streams: filter chains over a stream's raw bytes, whole
// streams read into memory, and a byte stream over a memory block.
//
// A chain is the raw source (stage 0), the decryption stage when the
// document is encrypted (never for inline data), then one stage per
// "Filter" entry. The chain owns its stages; the top one is read.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/stream/bytestream.h"
#include "pdf/obj.h"

struct PdfDoc;
struct PdfLexer;

enum : int {
    Res_memStreamSeek = 0x3B01,    // a seek beyond the memory block
    Res_memStreamControl = 0x3B02, // a control operation the memory stream does not answer
};

struct PdfStreamChain {
    uint32_t count; // stages built
    uint32_t capacity;
    ByteStream *stages[1]; // capacity entries
};

struct PdfChainInfo {
    ByteStream *top;    // the stage to read
    int32_t number;     // the stream's object number (-1 for a direct object)
    int32_t generation; // -1 for a direct object
};

// 1 when the filter is decoded by an image codec rather than a chain
// stage: "DCTDecode"/"DCT", "CCITTFaxDecode"/"CCF", "RunLengthDecode"/"RL",
// "JBIG2Decode" and "JPXDecode" anywhere, "LZWDecode"/"LZW" and
// "FlateDecode"/"Fl" only as the last filter; else 0.
int Pdf_Stream_codecForFilter(const char *name, int isLast);

// Builds the chain of stream over lexer's current position: length raw bytes,
// or inline data up to endMarker when it is given. With codecFilter given, the
// first filter that an image codec decodes ends the chain: *codecFilter is its
// name and *codecParms its "DecodeParms" (both borrowed from the stream's
// dictionary; null when none). 5943 for a missing or non-stream object or a
// "Filter" of the wrong type, 5946 for an unknown filter, Res_pdfSyntax for
// parameters that do not match the filters, 1 memory. Nothing stays open after
// a failure.
[[nodiscard]] int Pdf_Stream_openChain(PdfDoc *doc, PdfLexer *lexer, PdfObj *stream,
                                       const char *endMarker, uint64_t length, PdfChainInfo *info,
                                       PdfStreamChain **chain, const char **codecFilter,
                                       PdfObj **codecParms);
// Closes every stage and frees the chain (null allowed).
void Pdf_Stream_closeChain(PdfStreamChain *chain);

// Reads top until its end into a new block (*size bytes; the caller frees
// it); no block and 0 when nothing came. The stage's error frees the
// block and is returned. Yields to the scheduler per block read.
[[nodiscard]] int Pdf_Stream_readAll(PdfDoc *doc, ByteStream *top, uint8_t **block, size_t *size);
// The decoded data of a stream object: its "Length" (an integer; negative
// gives 5971; one past the end of the file reads to the end), decryption
// and every filter. The lexer's position is restored afterwards.
[[nodiscard]] int Pdf_Stream_readToMemory(PdfDoc *doc, PdfObj *stream, uint8_t **block,
                                          size_t *size);

// The decoded data of a stream object as a new string block (the caller
// frees it). 0 or an error; *out is null on failure.
[[nodiscard]] int Pdf_Stream_readAsString(PdfDoc *doc, PdfObj *stream, PdfString **out);

// A byte stream over size bytes at block (the caller's, never freed by
// the stream): it seeks from 0 to size (0x3B01 beyond), answers control
// operation 9 with 1 and fails every other one with 0x3B02. 1 memory.
[[nodiscard]] int Pdf_Stream_openMemory(const uint8_t *block, size_t size, ByteStream **out);

struct PdfInterp;

// Runs interp over contents (a stream, or an array of streams read as one
// text with a space between parts); a null or Null contents object does
// nothing. 5943 for contents of another type or a part that is no
// stream; a part's chain error; else the interpreter's result. The
// document lexer's position is restored afterwards.
[[nodiscard]] int Pdf_Content_run(PdfDoc *doc, PdfObj *contents, PdfInterp *interp,
                                  const float *matrix, const float *bbox, PdfObj *resources);

struct EmbeddedFont;
struct PdfGlyphNameList;

// Loads the Type 1 program of a "FontFile" stream: *font the registered
// engine font (the caller's reference); *encoding (when given) the
// program's 256-entry code table or null. 5978 for a stream without data,
// else the loader's errors.
[[nodiscard]] int Pdf_Stream_loadType1(PdfDoc *doc, PdfObj *stream, PdfGlyphNameList *names,
                                       EmbeddedFont **font, uint16_t **encoding);
