// PDF pages as the document translation drives them: the page tree, the
// inherited page attributes, the resource scope stack, the page size
// styles and the page groups of the document model.
#pragma once

#include <cstdint>

struct PdfDoc;
struct PdfObj;
struct Edr_Doc;
struct Edr_Node;

enum : uint32_t {
    PdfPage_maxDepth = 64, // page-tree levels a descent or a page-number walk follows
};

// One resource dictionary of the scope stack, innermost first.
struct PdfResScope {
    PdfObj *resources;
    PdfResScope *next;
};

// The attributes of the page being loaded.
struct PdfPageAttrs {
    float mediaBox[4];
    float cropBox[4];
    float bleedBox[4];
    float trimBox[4];
    float artBox[4];
    PdfResScope *resources;
    int32_t rotate;
};

// Loads page (1-based) into its group. 0 or an error.
[[nodiscard]] int Pdf_Page_load(PdfDoc *doc, uint32_t page);
// Creates the empty group of a page that is loaded later. 0 or an error.
[[nodiscard]] int Pdf_Page_addPlaceholder(PdfDoc *doc, uint32_t page);
// The page dictionary of page (1-based), read into doc->pageAttrs along
// the path. 5938, 5939, 5940 or a getter's error. The first lookup past
// page 1 walks the whole tree once into an index (8 bytes a page) so that
// later lookups cost the tree's depth, not the page number; a tree whose
// counts disagree with its pages, or that has a cycle, is walked per
// lookup instead.
[[nodiscard]] int Pdf_Page_lookup(PdfDoc *doc, uint32_t page, PdfObj **out);
// Frees the page index of Pdf_Page_lookup. Null index allowed.
void Pdf_PageIndex_free(PdfDoc *doc);
// The 1-based number of a page object through its Parent chain. 5940 for
// an unresolvable kid, a Parent cycle or a chain past the depth limit.
[[nodiscard]] int Pdf_Page_indexOf(PdfDoc *doc, PdfObj *page, uint32_t *out);
// Reads a node's boxes, pushes its Resources and reads its Rotate.
[[nodiscard]] int Pdf_Page_readAttrs(PdfDoc *doc, PdfObj *node);
// The page size in device units (1/65536 inch) from the CropBox and Rotate.
void Pdf_Page_size(const PdfPageAttrs *attrs, int32_t *width, int32_t *height);
// The page matrix (a b c d e f) from the CropBox and Rotate.
void Pdf_Page_matrix(const PdfPageAttrs *attrs, float *m);

// 1 when the box is empty in either dimension.
int Pdf_Box_isEmpty(const float *box);
void Pdf_Box_copy(float *dst, const float *src);
// Orders a box's corners: lower left first.
void Pdf_Box_normalise(float *box);
// The part of box inside within; within itself when they do not meet.
void Pdf_Box_clip(float *box, const float *within);

// The resource scope stack of the page being loaded. A null dictionary is
// not pushed. 0 or 1.
[[nodiscard]] int Pdf_Res_push(PdfDoc *doc, PdfObj *resources);
void Pdf_Res_pop(PdfDoc *doc);
void Pdf_Res_popAll(PdfDoc *doc);
// name in category of the innermost scope defining it; null and 0 when
// none does.
[[nodiscard]] int Pdf_Res_lookup(PdfDoc *doc, const char *category, const char *name, PdfObj **out);
