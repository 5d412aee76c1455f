// An open PDF file: its byte stream and lexer, the cross-reference table
// built from every classic "xref" section, the newest trailer, the
// catalogue, the security record and the object store.
//
// Pdf_openDocument reads the header (which fixes the base offset every
// stated offset counts from), the tail ("startxref" and "%%EOF"), the
// cross-reference section it names and the older ones its trailers chain
// to through "Prev", sets up decryption when the trailer has "Encrypt",
// and finds the catalogue. Objects are parsed on first use and cached on
// their entries (Pdf_Obj_resolve); flushes drop them again, except the
// pinned ones. Sections may also be cross-reference streams (with objects
// inside object streams), and a table that cannot be read is rebuilt from
// a scan of the file (pdf/xrefstream.h).
//
// A PdfDoc belongs to the one task that translates its document; it has
// no lock.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pdf/obj.h"

struct ByteStream;
struct EngineContext;
struct Edr_Doc;
struct PdfLexer;
struct PdfSecurity;
struct PdfPageAttrs;
struct PdfImageCache;
struct PdfDrawListTable;
struct PdfSizeStyle;
struct PdfObjStm;
struct PdfScan;
struct PdfPageIndex;
struct Request;
struct VfsHandle;

// Entry flags.
enum : uint16_t {
    PdfXref_inUse = 1,      // "n" (else "f")
    PdfXref_pinned = 2,     // flushes keep the cached object
    PdfXref_busy = 4,       // being copied (a reference cycle met during a copy)
    PdfXref_compressed = 8, // inside an object stream: offset packs stream number and index
    PdfXref_loading = 16,   // an object stream whose data are being decoded
    PdfXref_plain = 32,     // a cross-reference stream: its strings are never encrypted
};

struct PdfXrefEntry {
    uint16_t flags;
    uint16_t generation; // generations above 65535 are held as 65535
    uint32_t number;
    uint64_t offset; // relative to the base offset (compressed: stream << 32 | index)
    PdfObj *cached;  // the parsed object, or null
};

struct PdfXrefSubsection {
    uint32_t first;
    uint32_t count;
    PdfXrefEntry *entries;
    PdfXrefSubsection *next;
};

// The open's result when the file states no usable cross-reference table
// and none could be rebuilt from a scan of it.
enum : int {
    Res_pdfXrefDamaged = 5891,
};

enum : uint32_t {
    PdfDoc_flushThreshold = 301, // cached objects that make an unforced flush drop them
    PdfDoc_headerScan = 1032,    // the header lies in the first 1032 bytes
    PdfDoc_tailScan = 1032,      // the tail in the last 1032 bytes
};

struct PdfDoc {
    ByteStream *stream;
    PdfLexer *lexer;
    PdfSecurity *security;       // null for unencrypted files
    PdfXrefSubsection *xrefHead; // newest section first
    PdfXrefSubsection **xrefTail;
    uint32_t cachedCount; // objects parsed into entries since the last flush
    uint32_t reservedA;   // cleared at open, not read
    PdfObj *trailer;      // the newest trailer, released at the first flush
    float version;
    PdfObj *catalog; // "Root", pinned (null without one)
    Edr_Doc *edrDoc;
    intptr_t callerWord;
    uint32_t reservedB; // cleared at open, not read
    PdfPageAttrs *pageAttrs;
    EngineContext *context;
    uint32_t freeCount;
    PdfObj *freeList[PdfDoc_freeListSlots];
    PdfImageCache *imageCache;   // made by the page output on first use
    PdfDrawListTable *drawLists; // made by the page output on first use
    uint32_t imagesEnabled;
    int32_t deferredError;
    intptr_t spare[2];
    uint32_t currentPage; // 1-based
    VfsHandle *handle;
    PdfNameTable *names;
    // Kept by this reader besides the fields above.
    uint64_t startXref; // the offset of the newest section
    PdfObj *ownCatalog; // a copy of a catalogue written directly in the trailer
    int32_t pageWidth;  // the last loaded page's size in device units
    int32_t pageHeight;
    Request *sizeRequest;     // the page size styles' request (a reference of ours)
    PdfSizeStyle *sizeStyles; // one per distinct page size
    uint32_t sizeStyleCount;
    uint32_t linkStyleMade; // the link areas' shared style is in the size request
    uint32_t borderStyleCount;
    uint64_t *borderStyles;  // link borders' shared styles: colour << 32 | width, by key order
    PdfObjStm *objStms;      // decoded object streams, most recently used first
    PdfScan *scan;           // the object headers of the whole file, made on first need
    uint32_t warned;         // PdfWarn_* kinds reported already
    uint32_t rebuilt;        // the table was rebuilt from a scan of the file
    PdfPageIndex *pageIndex; // page number to page object, made at the first lookup past page 1
    uint32_t pageIndexTried; // the index was attempted (null index: the tree is walked instead)
};

// What a document reports once as a warning when it leaves something out
// or mends it (Pdf_Doc_warn).
enum : uint32_t {
    PdfWarn_repaired = 1,     // the cross-reference table was rebuilt or an offset corrected
    PdfWarn_content = 2,      // a page's content ended early
    PdfWarn_annotation = 4,   // an annotation left out
    PdfWarn_image = 8,        // an image left out
    PdfWarn_imageFilter = 16, // an image in a form no decoder reads (JPX, JBIG2)
    PdfWarn_font = 32,        // a font left out
    PdfWarn_xobject = 64,     // a form XObject left out
    PdfWarn_kinds = 7,
};

// Opens the file of handle, which the document closes when it is closed;
// on failure the handle stays the caller's. edrDoc may be null (the file
// is read without a document model); context is needed for the password
// question and the settings. *out is set only on success; on failure
// everything built is freed. 5888 no header,
// 5889 no tail, 5890 a catalogue of another Type, 5892 / 5893 bad
// cross-reference entries, 5971 syntax, 1 memory; lexer, object and
// security errors pass through. A table that cannot be read (or whose
// catalogue cannot be found through it) is rebuilt from a scan of the
// file; 5891 when that fails too.
[[nodiscard]] int Pdf_openDocument(EngineContext *context, PdfDoc **out, VfsHandle *handle,
                                   Edr_Doc *edrDoc, intptr_t callerWord);
// Flushes (not forced) and frees everything: the security record, the
// cross-reference list with every cached object, the byte stream, the
// lexer, the stream handle, the name table and the record. Null allowed.
void Pdf_closeDocument(PdfDoc *doc, Edr_Doc *edrDoc);
// Frees the trailer and the record free list; when forced or when 301 or
// more objects are cached, releases every cached object whose entry is not
// pinned.
void Pdf_Doc_flushCache(PdfDoc *doc, Edr_Doc *edrDoc, int force);
// Stores code as the deferred error unless one is stored already.
void Pdf_Doc_deferError(PdfDoc *doc, int code);
// Reports kind (one PdfWarn_* bit) on the debug channel as a line
// "PDF warning: TEXT", once per document.
void Pdf_Doc_warn(PdfDoc *doc, uint32_t kind);
// The text of a warning kind ("" for none).
const char *Pdf_Doc_warningText(uint32_t kind);
// What an error of the PDF reader's open means to a user: "not a PDF
// file", "cross-reference damaged and not recoverable", "encrypted with an
// unsupported handler", ...; null for codes that are not the reader's.
const char *Pdf_errorText(int code);

// Translates the pages into the eDR document (only the first one, with
// placeholders for the rest, when it asks for pages on demand). The first
// error, else the deferred error. 5982 for a page count of 0.
[[nodiscard]] int Pdf_translateDocument(PdfDoc *doc);
// Translates page (1-based) of a document kept for pages on demand, then
// flushes (forced after running out of memory).
[[nodiscard]] int Pdf_pageTranslate(PdfDoc *doc, uint32_t page);

// ---------------------------------------------------- cross-reference table

// Reads the section at offset (relative to the base) and appends its
// subsections. 5971 without "xref" there.
[[nodiscard]] int Pdf_Xref_readSection(PdfDoc *doc, uint64_t offset);
// Reads one subsection: *more is 0 when no further one may follow. A
// count of 0 ends the section when it is the first subsection (first set),
// else reading goes on.
[[nodiscard]] int Pdf_Xref_readSubsection(PdfDoc *doc, int first, int *more);
// Follows the "Prev" chain from the trailer's Prev object; a section read
// already ends the chain.
[[nodiscard]] int Pdf_Xref_readPrevChain(PdfDoc *doc, PdfObj *prev);
// Frees a subsection list with every cached object.
void Pdf_Xref_free(PdfXrefSubsection *head);
// The entry that decides object number for a reference of generation gen
// (gen < 0: any generation): the newest subsection holding the number
// whose entry is free or has that generation. Null when none holds it.
PdfXrefEntry *Pdf_Xref_find(PdfDoc *doc, uint32_t number, int32_t gen);
