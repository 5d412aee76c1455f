// The PDF handler as the document-type registry sees it.
//
// Pdf_describe fills the PDF handler's descriptor. The recognition half
// (MIME match, header sniffer) lives in pdf/pdfsniff.cpp, over the header
// test that the plain-text importer shares (document/import/textsniff.h); the
// open, step, close and fragment operations belong to the PDF reader.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fonts/glyphnames.h"

struct EngineContext;
struct Edr_Doc;
struct Edr_Node;
struct Edr_HandlerDesc;
struct VfsHandle;

enum : uint32_t {
    Pdf_mimeTypeId = 22,   // "application/pdf" in the MIME table
    Pdf_sniffBytes = 1024, // how far the header may stand
    Pdf_sniffScore = 50,
};

// Fills the PDF handler's descriptor: matchMime, sniff, open, step, close,
// findFragment, a release that does nothing, enabled. 0.
[[nodiscard]] int Pdf_describe(EngineContext *context, Edr_HandlerDesc *desc);

// 100 when mime equals "application/pdf" ignoring case, else 0. 0.
int Pdf_matchMime(EngineContext *context, Edr_HandlerDesc *desc, const char16_t *mime,
                  int32_t *score);
// Peeks at up to 1024 bytes (handing them back unconsumed): score 50 and
// type 22 when a PDF header lies in them, else 0 and 0. A read error is
// returned before anything is written.
[[nodiscard]] int Pdf_sniff(EngineContext *context, Edr_HandlerDesc *desc, VfsHandle *stream,
                            int32_t *score, uint32_t *typeId);

// The PDF reader's operations.
[[nodiscard]] int Pdf_open(EngineContext *context, Edr_HandlerDesc *desc, void *argument,
                           VfsHandle *stream, Edr_Doc *doc, Edr_Node *target);
[[nodiscard]] int Pdf_step(Edr_Doc *doc, uint32_t page);
void Pdf_close(Edr_Doc *doc);
[[nodiscard]] int Pdf_fragmentRect(Edr_Doc *doc, const char16_t *name, int32_t *rect);
