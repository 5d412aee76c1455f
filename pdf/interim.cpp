// Interim definitions of the PDF services that later parts of the reader
// provide: the fragment rectangles. Each does the least
// its callers need.
#include "core/result.h"
#include "pdf/font.h"
#include "pdf/pdf.h"

int Pdf_fragmentRect(Edr_Doc *, const char16_t *, int32_t *)
{
    return Res_notImplemented;
}
