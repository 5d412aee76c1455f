// Readers of PDF object values built on the object lookups.
#include "pdf/obj.h"

#include "core/result.h"

int Pdf_dictGetNumbers4(PdfDoc *doc, PdfObj *dict, const char *key, float out[4])
{
    PdfObj *array = nullptr;
    int r = Pdf_Obj_dictGet(doc, key, dict, &array);
    if (r != Res_ok || !array)
        return r;
    for (uint32_t i = 0; i < 4; i++) {
        PdfObj *element = nullptr;
        r = Pdf_Obj_arrayGet(doc, i, array, &element);
        if (r == Res_ok)
            r = Pdf_Obj_getNumber(doc, element, &out[i]);
        if (r != Res_ok)
            return r;
    }
    return Res_ok;
}
