// Decode streams: byte streams that decode the bytes of a source stream a
// block at a time, and the two general decoders built on them, Flate
// (zlib inflate) and RunLength, which compressed images, embedded CMaps and
// document streams all read.
//
// Every decode stream (PdfFilterStream at its head) decodes at most 1024
// bytes per refill into its own buffer and reads from a source that stays
// the caller's: closing it frees the stream alone. Its status holds the
// error that ended its data (0 for a clean end); every refill after the
// end answers the end again. Control requests go to the source.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/stream/bytestream.h"

enum : uint32_t {
    PdfFilter_blockSize = 1024, // bytes decoded per refill
};

enum : int {
    Res_pdfRunLengthNoEnd = 15109, // 0x3B05: RunLength data without its end marker
};

// The head of every decode stream: the byte-stream slots, the source and
// the output block.
struct PdfFilterStream {
    ByteStream base;
    ByteStream *source;
    uint32_t ended;
    uint8_t buffer[PdfFilter_blockSize];
};

// A Flate (zlib inflate) decode stream over source: 0, 1, or the
// inflater's initialisation error. Corrupt data end it quietly after the
// last good byte (status 0; 1 when the inflater ran out of memory).
[[nodiscard]] int Pdf_Filter_flateNew(ByteStream *source, ByteStream **out);
// A RunLength decode stream over source: 0 or 1. Data that end without
// the 128 marker end with the source's status, or 15109.
[[nodiscard]] int Pdf_Filter_rlNew(ByteStream *source, ByteStream **out);

// ------------------------------------------- building blocks of decoders

// A zeroed record of size bytes (at least a PdfFilterStream) whose head is
// a decode stream over source with refill as its refill, a close that
// frees the record and a control that goes to the source. Null when out
// of memory.
void *PdfFilter_alloc(size_t size, ByteStream *source, int (*refill)(ByteStream *));
// Hands out the produced bytes of the block: the first byte, or the end
// (which marks the stream ended).
int PdfFilter_deliver(PdfFilterStream *f, size_t produced);

// The next source byte, or -1 at its end (its status is then taken into
// the stream's status when it is an error).
inline int PdfFilter_nextByte(PdfFilterStream *f)
{
    ByteStream *s = f->source;
    if (s->readPtr < s->end)
        return *s->readPtr++;
    int c = s->getByte(s);
    if (c < 0) {
        int st = ByteStream_takeStatus(s);
        if (st && !f->base.status)
            f->base.status = st;
        return -1;
    }
    return c;
}

// The bytes in the stream's window, refilling it only when it is empty
// (a refill drops what the window still holds).
inline int64_t PdfFilter_buffered(ByteStream *s)
{
    if (s->readPtr < s->end)
        return s->end - s->readPtr;
    return ByteStream_available(s, 0);
}
