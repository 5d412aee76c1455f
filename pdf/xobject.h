// PDF XObjects: the "Do" operator draws image XObjects and runs form
// XObjects; forms are also run fitted into a rectangle (annotation
// appearances). Images are decoded once per document translation and
// kept in the document's image cache under their object number.
#pragma once

#include <cstdint>

struct PdfDoc;
struct PdfInterp;
struct PdfObj;

// "Do" with the XObject name. Subtypes other than Image and Form ("PS"
// included) are skipped. 0 or an error (Res_pdfNoDict for a name that is not in
// the resources).
[[nodiscard]] int Pdf_XObj_do(PdfDoc *doc, PdfInterp *interp, const char *name);
// Draws an image XObject at the current matrix (nothing when images are
// disabled). 0 or an error.
[[nodiscard]] int Pdf_XObj_drawImage(PdfDoc *doc, PdfInterp *interp, PdfObj *image);
// Runs a form XObject: FormType other than 1 is skipped, BBox is required
// (5971), Matrix defaults to the identity; with target (x0 y0 x1 y1) the
// form's box is fitted into it. 0 or an error.
[[nodiscard]] int Pdf_XObj_runForm(PdfDoc *doc, PdfInterp *interp, const float *target,
                                   PdfObj *form);
// Releases the document's image cache (every image handle); null allowed.
void Pdf_ImageCache_free(PdfDoc *doc);
