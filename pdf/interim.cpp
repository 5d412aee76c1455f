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

// Interim stream filters until the PDF filters exist. Flate: a zlib inflate
// stream that refills 1024 bytes at a time and ends quietly at the end of
// the data or at corrupt data (out of memory sets status 1). RunLength is
// refused.
#include "core/mem/mem.h"
#include "core/stream/bytestream.h"
#include "core/stream/inflate.h"
#include "pdf/filter.h"

namespace {

struct InterimFlate {
    ByteStream base;
    ByteStream *source;
    InflateStream *inflater;
    int ended;
    uint8_t output[1024];
};

int interimFlateRefill(ByteStream *s)
{
    InterimFlate *f = reinterpret_cast<InterimFlate *>(s);
    size_t space = sizeof f->output;
    while (!f->ended && space == sizeof f->output) {
        int64_t have = ByteStream_available(f->source, 0);
        if (have <= 0) {
            s->status = ByteStream_takeStatus(f->source);
            f->ended = 1;
            break;
        }
        size_t in = size_t(have), before = in;
        int done = 0;
        int r = InflateStream_decode(f->source->readPtr, &in, f->output, &space, &done, f->inflater);
        f->source->readPtr += before - in;
        if (done) {
            f->ended = 1;
            s->status = r == Res_noMemory ? Res_noMemory : Res_ok;
        }
    }
    size_t produced = sizeof f->output - space;
    s->readPtr = s->end = f->output;
    if (!produced)
        return ByteStream_end;
    s->readPtr = f->output + 1;
    s->end = f->output + produced;
    return f->output[0];
}

int interimFlateClose(ByteStream *s)
{
    InterimFlate *f = reinterpret_cast<InterimFlate *>(s);
    (void)InflateStream_destroy(f->inflater);
    Mem_free(f);
    return Res_ok;
}

int interimFlateControl(ByteStream *s, uint32_t op, void *arg)
{
    return ByteStream_control(reinterpret_cast<InterimFlate *>(s)->source, op, arg);
}

} // namespace

int Pdf_Filter_flateNew(ByteStream *source, ByteStream **out)
{
    *out = nullptr;
    InterimFlate *f = static_cast<InterimFlate *>(Mem_calloc(1, sizeof(InterimFlate)));
    if (!f)
        return Res_noMemory;
    int r = InflateStream_createZlib(&f->inflater);
    if (r != Res_ok) {
        Mem_free(f);
        return r;
    }
    f->source = source;
    f->base.getByte = interimFlateRefill;
    f->base.close = interimFlateClose;
    f->base.control = interimFlateControl;
    f->base.readPtr = f->base.end = f->output;
    *out = &f->base;
    return Res_ok;
}

int Pdf_Filter_rlNew(ByteStream *, ByteStream **out)
{
    *out = nullptr;
    return Res_notImplemented;
}
