// Interim definitions of the PDF services that later parts of the reader
// provide. Each does the least its callers need.
#include "core/result.h"
#include "pdf/pdf.h"

// Interim: the glyph-name table is not built yet; every name counts as
// unknown and, when allowed, takes the list's next private code.
int Pdf_Font_glyphNameToCode(PdfGlyphNameList *list, const char *name, int allowNew, uint16_t *code)
{
    *code = 0;
    if (name && list && allowNew)
        *code = static_cast<uint16_t>(list->nextCode++);
    return Res_ok;
}
