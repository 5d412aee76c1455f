// Interim definitions of the PDF services that later parts of the reader
// provide: the handler operations (recognition and the open of a whole
// document), page loading and stream data. Each does the least its callers
// need.
#include "core/result.h"
#include "pdf/page.h"
#include "pdf/pdf.h"
#include "pdf/resources/pdfstream.h"
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

// Interim: the page tree is not read yet, so loading a page adds nothing.
int Pdf_Page_load(PdfDoc *, uint32_t)
{
    return Res_ok;
}

// Interim: no page groups exist yet, so a placeholder is nothing.
int Pdf_Page_addPlaceholder(PdfDoc *, uint32_t)
{
    return Res_ok;
}

// Interim: stream filters are not built yet, so no stream data can be read.
int Pdf_Stream_readAsString(PdfDoc *, PdfObj *, PdfString **out)
{
    *out = nullptr;
    return Res_notImplemented;
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
