// Cross-reference streams, object streams and the rebuilding of a damaged
// cross-reference table.
//
// A cross-reference stream is a stream object of Type "XRef" whose decoded
// data are rows of three big-endian fields of the widths in "W": the entry
// type (0 free, 1 an object at an offset, 2 an object inside an object
// stream), then two numbers whose meaning follows the type. "Index" gives
// the subsections as pairs of first number and count ([0 Size] without
// it). Its dictionary is also the section's trailer. The stream itself is
// never encrypted: it is read before the security handler is set up, and
// parsed without an owner entry.
//
// An object stream (Type "ObjStm") holds "N" objects: its data start with
// N pairs of object number and offset (counted from "First"), then the
// objects without "obj" / "endobj". Entries of type 2 name the stream and
// the index of the pair. Each stream's data and pairs are decoded once and
// kept (a few of them, the most recently used first) until the object
// store drops its parsed objects. Strings read from an object stream are
// not decrypted again: the stream's data were decrypted as a whole.
//
// Rebuilding scans the whole file for "N G obj" headers and "trailer"
// keywords: the last definition of an object number wins, and the newest
// trailer (or cross-reference stream dictionary) with a usable "Root"
// becomes the trailer; without one, an object of Type "Catalog" is taken
// as the root. Objects found inside the object streams of the rebuilt
// table fill numbers that no header defined. The same scan, made on first
// need, also finds an object whose table offset does not point at its
// header.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pdf/document.h"

struct ByteStream;
struct PdfLexer;

// A cross-reference row of type 2 keeps the object stream's number in the
// offset's high word and the index in its low word.
inline uint64_t PdfXref_packCompressed(uint32_t stream, uint32_t index)
{
    return uint64_t(stream) << 32 | index;
}

// ------------------------------------------------- cross-reference streams

enum : uint32_t {
    PdfXrefStm_maxFieldWidth = 8, // bytes of one field
};

// Decodes the rows of a cross-reference stream's data into a list of
// subsections (*head, newest rules: the caller appends them in order).
// index holds pairs {first, count}; rows past the data's end are dropped
// (the subsection keeps the ones read). Row types other than 0, 1 and 2
// make free entries; generations above 65535 are held as 65535. 5971 for
// field widths that are negative, wider than 8 bytes or all zero, 1
// memory.
[[nodiscard]] int Pdf_XrefStm_decodeRows(const uint8_t *data, size_t size, const uint32_t widths[3],
                                         const uint64_t *index, uint32_t pairs,
                                         PdfXrefSubsection **head);

// Reads the cross-reference stream whose object starts at offset (relative
// to the base): appends its subsections to the document's list and hands
// its stream object out as *trailer (the caller releases it). 5971 when
// no such stream is there.
[[nodiscard]] int Pdf_XrefStm_read(PdfDoc *doc, uint64_t offset, PdfObj **trailer);

// -------------------------------------------------------- object streams

enum : uint32_t {
    PdfObjStm_cacheSlots = 8, // decoded object streams kept at once
};

struct PdfObjStm {
    uint32_t number;   // the stream's object number
    uint32_t count;    // pairs read
    uint32_t *numbers; // count object numbers
    uint64_t *offsets; // count offsets, each from the data's start
    uint8_t *data;     // the decoded data
    size_t size;
    ByteStream *source; // over data
    PdfLexer *lexer;    // over source
    PdfObjStm *next;    // the next less recently used
};

// Reads the pairs of an object stream's data (n pairs before first):
// *count pairs into numbers and offsets (arrays of n slots the caller
// gives). Pairs whose offset lies past the data are dropped; reading ends
// early at the first token that is no integer. 0.
int Pdf_ObjStm_readPairs(const uint8_t *data, size_t size, uint32_t n, uint64_t first,
                         uint32_t *numbers, uint64_t *offsets, uint32_t *count);

// Parses the object of a type 2 entry out of its object stream into *out
// (owner entry). 5971 when the stream is missing, is not an object
// stream, does not hold the object, or the object is a stream; the data's
// read errors pass through.
[[nodiscard]] int Pdf_ObjStm_parseEntry(PdfDoc *doc, PdfXrefEntry *entry, PdfObj **out);
// Frees every decoded object stream of the document.
void Pdf_ObjStm_freeCache(PdfDoc *doc);

// ---------------------------------------------------------------- rebuild

struct PdfScanHit {
    uint32_t number;
    uint32_t generation;
    uint64_t offset; // of the header's first digit, relative to the base
};

struct PdfScan {
    PdfScanHit *hits; // in file order
    size_t count;
    size_t capacity;
    uint64_t *trailers; // offsets just after each "trailer" keyword
    size_t trailerCount;
    size_t trailerCapacity;
    uint64_t scanned; // bytes looked at so far (a header may start before it)
};

// Scans n bytes that start at offset from (relative to the base) for
// object headers and "trailer" keywords and adds them to scan. Only
// keywords that begin at or after scan->scanned are taken, so chunks may
// overlap; the bytes before a keyword are read backwards for its numbers.
// 0 or 1.
[[nodiscard]] int Pdf_Scan_addBytes(PdfScan *scan, const uint8_t *bytes, size_t n, uint64_t from);
// Frees a scan's lists and the record (null allowed).
void Pdf_Scan_free(PdfScan *scan);
// Makes the document's scan of the whole file when it has none. 0 or 1 or
// a read error.
[[nodiscard]] int Pdf_Scan_ensure(PdfDoc *doc);

// Replaces the document's cross-reference table and trailer by the ones
// the scan gives. Everything parsed before is dropped (the caller has
// released the security record and the catalogue). 5891 when the file
// holds no object or no usable root.
[[nodiscard]] int Pdf_Xref_rebuild(PdfDoc *doc);

// The offset of the newest header of object number in the file, found by
// the scan (made on first use). 0 when found, Res_pdfSyntax when no header has
// that number.
[[nodiscard]] int Pdf_Xref_locate(PdfDoc *doc, uint32_t number, uint64_t *offset);
