// Interim definitions of the PDF reader's handler operations and object
// lookups: the reader is not built yet, so no PDF file can be opened. Each
// does the least its callers need.
#include "core/result.h"
#include "core/text/cstr.h"
#include "pdf/obj.h"
#include "pdf/pdf.h"
#include "platform/vfs/vfs.h"

// Interim: open takes the stream over, so it closes it, and fails.
int Pdf_open(EngineContext *, Edr_HandlerDesc *, void *, VfsHandle *stream, Edr_Doc *, Edr_Node *)
{
    (void)Vfs_close(stream);
    return Res_notImplemented;
}

int Pdf_step(Edr_Doc *, uint32_t)
{
    return Res_notImplemented;
}

// Interim: no loader state exists to free.
void Pdf_close(Edr_Doc *)
{
}

int Pdf_fragmentRect(Edr_Doc *, const char16_t *, int32_t *)
{
    return Res_notImplemented;
}

// Interim object lookups: no PDF file is read yet, so every object is
// direct (no reference to resolve) and the lookups only read the records
// as they are laid out.
int Pdf_Obj_dictGet(PdfDoc *, const char *key, PdfObj *dict, PdfObj **out)
{
    *out = nullptr;
    if (!dict)
        return Res_pdfNoDict;
    if (dict->type != PdfObj_dict && dict->type != PdfObj_stream)
        return Res_pdfNotDict;
    PdfDict *table = dict->type == PdfObj_dict ? static_cast<PdfDict *>(dict->value.p)
                                               : static_cast<PdfStreamRec *>(dict->value.p)->dict;
    for (uint32_t i = 0; table && i < table->count; i++) {
        PdfDictEntry *e = PdfDict_entries(table) + i;
        if (Cstr_cmp(e->key, key) == 0) {
            *out = e->value.type == PdfObj_null ? nullptr : &e->value;
            break;
        }
    }
    return Res_ok;
}

int Pdf_Obj_arrayGet(PdfDoc *, uint32_t index, PdfObj *array, PdfObj **out)
{
    *out = nullptr;
    if (!array)
        return Res_pdfNoArray;
    if (array->type != PdfObj_array)
        return Res_pdfNotArray;
    PdfArray *block = static_cast<PdfArray *>(array->value.p);
    if (block && index < block->count)
        *out = PdfArray_items(block) + index;
    return Res_ok;
}

int Pdf_Obj_getNumber(PdfDoc *, PdfObj *obj, float *out)
{
    if (!obj)
        return Res_pdfNoNumber;
    if (obj->type == PdfObj_int)
        *out = float(obj->value.i);
    else if (obj->type == PdfObj_real)
        *out = obj->value.f;
    else
        return Res_pdfNotNumber;
    return Res_ok;
}
