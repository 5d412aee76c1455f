// PDF annotations: visible appearances drawn into the page, and link
// annotations made into link areas of the document model whose URLs name
// a page of the document ("#page-N" with an optional view), another
// document or a web address.
#pragma once

#include <cstdint>

struct Edr_Node;
struct PdfDoc;
struct PdfInterp;
struct PdfObj;

// Walks the "Annots" of page (its dictionary) after its content ran with
// interp into group. An annotation whose destination leads nowhere is
// skipped; the first getter error ends the walk with that error.
[[nodiscard]] int Pdf_Page_loadAnnots(PdfDoc *doc, PdfObj *page, PdfInterp *interp,
                                      Edr_Node *group);
// The document-internal URL text of a destination (a page object, or an
// array whose element 0 is one): "#page-N" and the view of an array. A new
// NUL-ended 16-bit string (the caller frees it), or null when the page is
// not in the document or memory runs out.
char16_t *Pdf_Link_destToUrl(PdfDoc *doc, PdfObj *dest);
// The view of a destination array on page pageNumber as shown (turned by
// its Rotate): a comma and four characters, each 32 + a value in 94ths of
// the page's width or height: the view's left offset, its bottom's offset
// from the page bottom, its width and its height (a space for the last two
// leaves the right or top edge at the page's), NUL-ended in out[6]. 0 with
// the view; 1 when the array gives none.
int Pdf_Link_destView(PdfDoc *doc, PdfObj *dest, uint32_t pageNumber, char16_t out[6]);
// The part of page (left, top, right, bottom, y growing downwards) that
// the four view characters name, into out (inside page).
void Pdf_fragmentApplyView(const int32_t *page, const char16_t *view, int32_t *out);
