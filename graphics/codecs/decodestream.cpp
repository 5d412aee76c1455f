// Decode streams and the Flate and RunLength decoders.
#include "graphics/codecs/decodestream.h"

#include <algorithm>
#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/inflate.h"

namespace {

int decodestreamClose(ByteStream *s)
{
    Mem_free(s);
    return Res_ok;
}

int decodestreamControl(ByteStream *s, uint32_t op, void *arg)
{
    return ByteStream_control(reinterpret_cast<PdfFilterStream *>(s)->source, op, arg);
}

// --------------------------------------------------------------- FlateDecode

struct DecodestreamFlate {
    PdfFilterStream head;
    InflateStream *inflater;
};

int decodestreamFlateRefill(ByteStream *s)
{
    DecodestreamFlate *fl = reinterpret_cast<DecodestreamFlate *>(s);
    PdfFilterStream *f = &fl->head;
    size_t space = sizeof f->buffer;
    while (!f->ended && space) {
        int64_t have = PdfFilter_buffered(f->source);
        size_t in = have > 0 ? size_t(have) : 0, before = in, spaceBefore = space;
        int done = 0;
        // With the source at its end the inflater still hands out what it
        // holds back; the stream ends when nothing more comes.
        static const uint8_t none = 0;
        int r = InflateStream_decode(in ? f->source->readPtr : &none, &in,
                                     f->buffer + (sizeof f->buffer - space), &space, &done,
                                     fl->inflater);
        if (before)
            f->source->readPtr += before - in;
        if (!before && !done && space == spaceBefore) {
            int st = ByteStream_takeStatus(f->source);
            if (st && !f->base.status)
                f->base.status = st;
            f->ended = 1;
            break;
        }
        if (done) {
            // Corrupt data end the stream quietly at the last good byte.
            f->ended = 1;
            if (r == Res_noMemory)
                f->base.status = Res_noMemory;
        }
    }
    return PdfFilter_deliver(f, sizeof f->buffer - space);
}

int decodestreamFlateClose(ByteStream *s)
{
    (void)InflateStream_destroy(reinterpret_cast<DecodestreamFlate *>(s)->inflater);
    Mem_free(s);
    return Res_ok;
}

// --------------------------------------------------------- RunLengthDecode

struct DecodestreamRl {
    PdfFilterStream head;
    uint32_t copyLeft;   // literal bytes still to copy
    uint32_t repeatLeft; // repeats of repeatByte still to give
    uint8_t repeatByte;
};

int decodestreamRlRefill(ByteStream *s)
{
    DecodestreamRl *r = reinterpret_cast<DecodestreamRl *>(s);
    PdfFilterStream *f = &r->head;
    size_t n = 0;
    while (!f->ended && n < sizeof f->buffer) {
        if (r->repeatLeft) {
            size_t k = std::min<size_t>(r->repeatLeft, sizeof f->buffer - n);
            memset(f->buffer + n, r->repeatByte, k);
            n += k;
            r->repeatLeft -= uint32_t(k);
            continue;
        }
        if (r->copyLeft) {
            int c = PdfFilter_nextByte(f);
            if (c < 0)
                break;
            f->buffer[n++] = uint8_t(c);
            r->copyLeft--;
            continue;
        }
        int len = PdfFilter_nextByte(f);
        if (len < 0)
            break;
        if (len == 128) {
            f->ended = 1;
            break;
        }
        if (len < 128) {
            r->copyLeft = uint32_t(len) + 1;
        } else {
            int c = PdfFilter_nextByte(f);
            if (c < 0)
                break;
            r->repeatByte = uint8_t(c);
            r->repeatLeft = 257u - uint32_t(len);
        }
    }
    if (!f->ended && n < sizeof f->buffer) {
        // The source ended without the end marker.
        f->ended = 1;
        if (!f->base.status)
            f->base.status = Res_pdfRunLengthNoEnd;
    }
    return PdfFilter_deliver(f, n);
}

} // namespace

int PdfFilter_deliver(PdfFilterStream *f, size_t produced)
{
    f->base.readPtr = f->base.end = f->buffer;
    if (!produced) {
        f->ended = 1;
        return ByteStream_end;
    }
    f->base.readPtr = f->buffer + 1;
    f->base.end = f->buffer + produced;
    return f->buffer[0];
}

void *PdfFilter_alloc(size_t size, ByteStream *source, int (*refill)(ByteStream *))
{
    PdfFilterStream *f = static_cast<PdfFilterStream *>(Mem_calloc(1, size));
    if (!f)
        return nullptr;
    f->source = source;
    f->base.getByte = refill;
    f->base.close = decodestreamClose;
    f->base.control = decodestreamControl;
    f->base.readPtr = f->base.end = f->buffer;
    return f;
}

int Pdf_Filter_flateNew(ByteStream *source, ByteStream **out)
{
    *out = nullptr;
    DecodestreamFlate *f = static_cast<DecodestreamFlate *>(
        PdfFilter_alloc(sizeof(DecodestreamFlate), source, decodestreamFlateRefill));
    if (!f)
        return Res_noMemory;
    int r = InflateStream_createZlib(&f->inflater);
    if (r != Res_ok) {
        Mem_free(f);
        return r;
    }
    f->head.base.close = decodestreamFlateClose;
    *out = &f->head.base;
    return Res_ok;
}

int Pdf_Filter_rlNew(ByteStream *source, ByteStream **out)
{
    *out = static_cast<ByteStream *>(
        PdfFilter_alloc(sizeof(DecodestreamRl), source, decodestreamRlRefill));
    return *out ? Res_ok : Res_noMemory;
}
