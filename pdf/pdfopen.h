// Opening a PDF file into the viewer's document: the one open path that
// the PDF handler's open slot takes once it has set the document's feature
// flags.
#pragma once

#include <cstdint>

struct EngineContext;
struct Edr_Doc;
struct VfsHandle;

enum : uint32_t {
    PdfImport_typeCode = 229, // the document type code of PDF files
};

// Marks doc as PDF (type code 229), takes the stream's properties into it,
// opens the PDF (which then owns stream) and converts its pages. A
// document that converts pages on demand keeps the open PDF as its loader
// data (later pages are converted by the handler's step) when the first
// page converted; otherwise the PDF is closed before returning.
// *pageCount (may be null) gets the pages reported to the viewer: the last
// page processed, or one less when the conversion of a page-on-demand
// document failed; 0 when nothing was opened. The stream is closed on
// every failure. 0 or the error of the first failing step.
[[nodiscard]] int Pdf_importOpen(EngineContext *context, uint32_t *pageCount, VfsHandle *stream,
                                 Edr_Doc *doc, intptr_t options);
