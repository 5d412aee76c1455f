// The content-stream interpreter as the stream layer calls it: one run
// over the text of a page's, form's or glyph procedure's content.
#pragma once

struct PdfDoc;
struct PdfLexer;
struct PdfObj;
struct PdfInterp;

// Runs the content read by lexer with interp under matrix (six numbers)
// clipped to bbox (four numbers), resources the content's "Resources". 0
// or an error.
[[nodiscard]] int Pdf_Interp_runContent(PdfDoc *doc, PdfInterp *interp, PdfLexer *lexer, const float *matrix,
                                        const float *bbox, PdfObj *resources);
