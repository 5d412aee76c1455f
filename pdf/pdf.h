// The PDF handler as the document-type registry sees it.
//
// Pdf_describe fills the PDF handler's descriptor. The recognition half
// (MIME match, header sniffer) lives in pdf/pdfsniff.cpp, over the header
// test that the plain-text importer shares (document/import/textsniff.h); the
// open, step, close and fragment operations belong to the PDF reader.
#pragma once

#include <cstddef>
#include <cstdint>

struct EngineContext;
struct Edr_Doc;
struct Edr_Node;
struct Edr_HandlerDesc;
struct VfsHandle;

enum : uint32_t {
    Pdf_mimeTypeId = 22,        // "application/pdf" in the MIME table
    Pdf_sniffBytes = 1024,      // how far the header may stand
    Pdf_sniffScore = 50,
};

// Fills the PDF handler's descriptor: matchMime, sniff, open, step, close,
// findFragment, a release that does nothing, enabled. 0.
int Pdf_describe(EngineContext *context, Edr_HandlerDesc *desc);

// 100 when mime equals "application/pdf" ignoring case, else 0. 0.
int Pdf_matchMime(EngineContext *context, Edr_HandlerDesc *desc, const char16_t *mime, int32_t *score);
// Peeks at up to 1024 bytes (handing them back unconsumed): score 50 and
// type 22 when a PDF header lies in them, else 0 and 0. A read error is
// returned before anything is written.
int Pdf_sniff(EngineContext *context, Edr_HandlerDesc *desc, VfsHandle *stream, int32_t *score,
              uint32_t *typeId);

// The PDF reader's operations.
int Pdf_open(EngineContext *context, Edr_HandlerDesc *desc, void *argument, VfsHandle *stream, Edr_Doc *doc,
             Edr_Node *target);
int Pdf_step(Edr_Doc *doc, uint32_t page);
void Pdf_close(Edr_Doc *doc);
int Pdf_fragmentRect(Edr_Doc *doc, const char16_t *name, int32_t *rect);

// A font's glyph-name list: the private codes handed to glyph names that
// the glyph-name table does not know (the next one in nextCode, starting at
// -768, low 16 bits 0xFD00), newest first.
struct PdfGlyphName {
    char *name;
    uint16_t code;
    PdfGlyphName *next;
};
struct PdfGlyphNameList {
    int32_t nextCode;
    PdfGlyphName *head;
};
// *code = the 16-bit code of a glyph name (none: 0); a name without one
// gets a new private code when list is given and allowNew is set, else 0.
// 0 or 1.
[[nodiscard]] int Pdf_Font_glyphNameToCode(PdfGlyphNameList *list, const char *name, int allowNew,
                                           uint16_t *code);
