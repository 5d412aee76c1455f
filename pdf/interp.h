// The content-stream interpreter: one per page, with the graphics state,
// the current path and the page output it appends to the page group.
#pragma once

#include <cstdint>

struct PdfDoc;
struct PdfLexer;
struct PdfObj;
struct PdfInterp;
struct Edr_Node;
struct ImageHandle;

enum : uint32_t {
    PdfInterp_operandSlots = 100,
    PdfInterp_maxNesting = 28,    // nested content runs (forms, appearances, glyphs)
};

// Creates the interpreter of page (a group node the interpreter takes a
// reference on) with the page matrix of doc's page attributes, and starts
// the page output. 0 or 1.
[[nodiscard]] int Pdf_Interp_create(PdfDoc *doc, Edr_Node *page, PdfInterp **out);
// Flushes the pending output into the page and frees everything; errors of
// the flush are deferred. 0.
int Pdf_Interp_destroy(PdfDoc *doc, PdfInterp *interp);

// Runs the content read by lexer with interp under matrix (six numbers)
// clipped to bbox (four numbers), resources the content's "Resources". 0
// or an error.
[[nodiscard]] int Pdf_Interp_runContent(PdfDoc *doc, PdfInterp *interp, PdfLexer *lexer, const float *matrix,
                                        const float *bbox, PdfObj *resources);

// Appends the pending drawing to the page, so that nodes appended to the
// page group next come after it. 0 or an error.
[[nodiscard]] int Pdf_Out_flush(PdfDoc *doc, PdfInterp *interp);
// The current fill colour, R | G << 8 | B << 16 (the colour image masks
// are painted in).
uint32_t Pdf_Interp_fillRgb(const PdfInterp *interp);
// Appends image (taken over: released on failure) at the current matrix,
// its width x height pixels mapped onto the unit square. 0 or an error.
[[nodiscard]] int Pdf_Out_drawImage(PdfDoc *doc, PdfInterp *interp, ImageHandle *image, int32_t width,
                                    int32_t height);

// Releases the document's table of drawing lists (made by the page output
// on first use), so that later pages no longer share the lists met so far.
void Pdf_DrawListTable_clear(PdfDoc *doc);
