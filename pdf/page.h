// PDF pages as the document translation drives them: each page is loaded
// into its page group, or given a placeholder group to be loaded later.
#pragma once

#include <cstdint>

struct PdfDoc;

// Loads page (1-based) into its group. 0 or an error.
[[nodiscard]] int Pdf_Page_load(PdfDoc *doc, uint32_t page);
// Creates the empty group of a page that is loaded later. 0 or an error.
[[nodiscard]] int Pdf_Page_addPlaceholder(PdfDoc *doc, uint32_t page);
