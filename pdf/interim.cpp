// Interim definitions of the PDF services that later parts of the reader
// provide: the fragment rectangles and Type 3 fonts. Each does the least
// its callers need.
#include "core/result.h"
#include "pdf/font.h"
#include "pdf/pdf.h"

int Pdf_fragmentRect(Edr_Doc *, const char16_t *, int32_t *)
{
    return Res_notImplemented;
}

// Interim: Type 3 fonts are not read yet; the selection keeps its
// substitute chosen by name.
int Pdf_Font_loadType3(PdfDoc *, PdfObj *, PdfFontSel *)
{
    return Res_ok;
}
