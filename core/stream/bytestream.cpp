// Byte streams, lookahead streams, concatenated streams and byte readers.
//
// A lookahead stream and a concatenated stream both take over the window
// of the stream below them, so that their readers also read with a pointer
// compare. Whoever shares a window must hand the read pointer back before
// the stream below is called (sync) and take its window over again after
// the call, or bytes would be read twice or skipped.
#include "core/stream/bytestream.h"

#include <cstring>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/text/ustr.h"

int ByteStream_takeStatus(ByteStream *stream)
{
    int status = stream->status;
    stream->status = 0;
    return status;
}

int ByteStream_seek(ByteStream *stream, uint64_t position)
{
    if (!stream->seek)
        return Res_byteStreamNoSeek;
    return stream->seek(stream, position);
}

int ByteStream_control(ByteStream *stream, uint32_t op, void *arg)
{
    if (!stream->control)
        return Res_notImplemented;
    return stream->control(stream, op, arg);
}

uint64_t ByteStream_getLength(ByteStream *stream)
{
    if (stream->length)
        return stream->length;
    uint64_t length = 0;
    if (ByteStream_control(stream, ByteStream_opLength, &length) != Res_ok)
        return 0;
    return length;
}

uint32_t ByteStream_getLength32(ByteStream *stream)
{
    return uint32_t(ByteStream_getLength(stream));
}

int ByteStream_close(ByteStream *stream)
{
    if (!stream || !stream->close)
        return Res_ok;
    return stream->close(stream);
}

int64_t ByteStream_available(ByteStream *stream, int nonBlocking)
{
    for (;;) {
        int c = stream->getByte(stream);
        if (c >= 0) {
            stream->readPtr--;
            return stream->end - stream->readPtr;
        }
        if (c != ByteStream_noData)
            return 0;
        if (nonBlocking)
            return ByteStream_noData;
    }
}

namespace {

// The result of a read that found no more data.
int endedResult(ByteStream *stream)
{
    int status = ByteStream_takeStatus(stream);
    return status ? status : Res_byteStreamEnded;
}

// Takes n bytes (copying them when destination is not null).
int take(ByteStream *stream, uint8_t *destination, size_t n)
{
    while (n) {
        size_t have = size_t(stream->end - stream->readPtr);
        if (!have) {
            int64_t got = ByteStream_available(stream, 0);
            if (got <= 0)
                return endedResult(stream);
            have = size_t(got);
        }
        size_t step = have < n ? have : n;
        if (destination) {
            memcpy(destination, stream->readPtr, step);
            destination += step;
        }
        stream->readPtr += step;
        n -= step;
    }
    return Res_ok;
}

} // namespace

int ByteStream_refillByte(ByteStream *stream, uint8_t *byte)
{
    *byte = 0;
    if (stream->readPtr < stream->end) {
        *byte = *stream->readPtr++;
        return Res_ok;
    }
    for (;;) {
        int c = stream->getByte(stream);
        if (c >= 0) {
            *byte = uint8_t(c);
            return Res_ok;
        }
        if (c != ByteStream_noData)
            return endedResult(stream);
    }
}

int ByteStream_readExact(ByteStream *stream, void *destination, size_t n)
{
    return take(stream, static_cast<uint8_t *>(destination), n);
}

int ByteStream_skip(ByteStream *stream, size_t n)
{
    return take(stream, nullptr, n);
}

int ByteStream_drainAndRestore(ByteStream *stream)
{
    uint64_t position = 0;
    int r = ByteStream_control(stream, ByteStream_opPosition, &position);
    if (r != Res_ok)
        return r;
    while (ByteStream_available(stream, 0) > 0)
        stream->readPtr = stream->end;
    int status = ByteStream_takeStatus(stream);
    if (status)
        return status;
    return ByteStream_seek(stream, position);
}

// ------------------------------------------------------ lookahead streams

namespace {

PeekStream *peekOf(ByteStream *s)
{
    return reinterpret_cast<PeekStream *>(s);
}

// Hands the read pointer back to inner while the window is inner's.
void syncInner(PeekStream *p)
{
    if (!p->fromBuffer)
        p->inner->readPtr = p->base.readPtr;
}

// Takes inner's window over.
void useInner(PeekStream *p)
{
    p->base.readPtr = p->inner->readPtr;
    p->base.end = p->inner->end;
    p->fromBuffer = 0;
}

// An empty window that belongs to nobody (after an error).
void emptyWindow(PeekStream *p)
{
    p->base.readPtr = p->base.end = p->buffer;
    p->fromBuffer = 1;
}

// Bytes buffered in inner, refilling (blocking) when its window is empty.
size_t innerBuffered(ByteStream *inner)
{
    size_t have = size_t(inner->end - inner->readPtr);
    if (have)
        return have;
    int64_t got = ByteStream_available(inner, 0);
    return got > 0 ? size_t(got) : 0;
}

int peekGetByte(ByteStream *s)
{
    PeekStream *p = peekOf(s);
    if (p->base.status)
        return ByteStream_end;
    if (p->base.readPtr < p->base.end)
        return *p->base.readPtr++;
    syncInner(p);
    ByteStream *in = p->inner;
    int c = in->readPtr < in->end ? *in->readPtr++ : in->getByte(in);
    useInner(p);
    if (c == ByteStream_end)
        p->base.status = in->status;
    return c;
}

int peekSeek(ByteStream *s, uint64_t position)
{
    PeekStream *p = peekOf(s);
    syncInner(p);
    int r = ByteStream_seek(p->inner, position);
    useInner(p);
    return r;
}

int peekControl(ByteStream *s, uint32_t op, void *arg)
{
    PeekStream *p = peekOf(s);
    syncInner(p);
    if (!p->inner->control)
        return Res_peekNoControl;
    int r = p->inner->control(p->inner, op, arg);
    if (p->fromBuffer) {
        // The bytes still unread in the buffer were taken from inner
        // already: the position of the reader lies that much before it.
        if (r == Res_ok && op == ByteStream_opPosition)
            *static_cast<uint64_t *>(arg) -= uint64_t(p->base.end - p->base.readPtr);
    } else {
        useInner(p);
    }
    return r;
}

int peekClose(ByteStream *s)
{
    PeekStream *p = peekOf(s);
    syncInner(p);
    int r = p->ownsInner ? ByteStream_close(p->inner) : Res_ok;
    Mem_free(p->buffer);
    Mem_free(p);
    return r;
}

} // namespace

PeekStream *PeekStream_create(ByteStream *inner, int ownsInner)
{
    PeekStream *p = static_cast<PeekStream *>(Mem_calloc(1, sizeof(PeekStream)));
    if (!p) {
        if (ownsInner)
            ByteStream_close(inner);
        return nullptr;
    }
    p->base.getByte = peekGetByte;
    p->base.seek = inner->seek ? peekSeek : nullptr;
    p->base.length = inner->length;
    p->base.close = peekClose;
    p->base.control = peekControl;
    p->inner = inner;
    p->ownsInner = ownsInner ? 1 : 0;
    useInner(p);
    return p;
}

size_t PeekStream_fill(PeekStream *p, size_t n)
{
    if (p->base.status)
        return 0;
    size_t have = size_t(p->base.end - p->base.readPtr);
    syncInner(p);
    if (have >= n)
        return have;
    ByteStream *in = p->inner;
    size_t kept = 0; // bytes already in place at the start of buffer
    if (have && p->fromBuffer) {
        memmove(p->buffer, p->base.readPtr, have);
        kept = have;
    } else if (!have) {
        size_t buffered = innerBuffered(in);
        useInner(p);
        if (buffered >= n)
            return buffered;
        if (!buffered) {
            p->base.status = ByteStream_takeStatus(in);
            return 0;
        }
    }
    // Bytes left in inner's window (have, or what the refill brought) are
    // copied below with the rest.
    if (!p->buffer || p->bufferSize < n) {
        uint8_t *grown = static_cast<uint8_t *>(Mem_realloc(p->buffer, n));
        if (!grown) {
            p->base.status = Res_noMemory;
            emptyWindow(p);
            return 0;
        }
        p->buffer = grown;
        p->bufferSize = n;
    }
    p->base.readPtr = p->buffer;
    p->base.end = p->buffer + kept;
    p->fromBuffer = 1;
    size_t need = n - kept;
    while (need) {
        size_t buffered = innerBuffered(in);
        if (!buffered)
            break;
        size_t step = buffered < need ? buffered : need;
        memcpy(const_cast<uint8_t *>(p->base.end), in->readPtr, step);
        p->base.end += step;
        in->readPtr += step;
        need -= step;
    }
    if (need) {
        p->base.status = ByteStream_takeStatus(in);
        if (p->base.status) {
            emptyWindow(p);
            return 0;
        }
    }
    return size_t(p->base.end - p->base.readPtr);
}

// --------------------------------------------------- concatenated streams

namespace {

ConcatStream *concatOf(ByteStream *s)
{
    return reinterpret_cast<ConcatStream *>(s);
}

ByteStream *currentPart(ConcatStream *c)
{
    return c->parts[c->current];
}

// Hands the read pointer back to the part being read.
void concatSync(ConcatStream *c)
{
    currentPart(c)->readPtr = c->base.readPtr;
}

// Takes the window of the part being read over.
void concatTakeWindow(ConcatStream *c)
{
    c->base.readPtr = currentPart(c)->readPtr;
    c->base.end = currentPart(c)->end;
}

int concatGetByte(ByteStream *s)
{
    ConcatStream *c = concatOf(s);
    if (c->base.status)
        return ByteStream_end;
    if (c->base.readPtr < c->base.end)
        return *c->base.readPtr++;
    concatSync(c);
    ByteStream *part = currentPart(c);
    int ch = part->getByte(part);
    if (ch == ByteStream_end) {
        c->base.status = ByteStream_takeStatus(part);
        if (!c->base.status && c->current == 0) {
            c->current = 1;
            part = currentPart(c);
            ch = part->readPtr < part->end ? *part->readPtr++ : part->getByte(part);
            if (ch == ByteStream_end)
                c->base.status = ByteStream_takeStatus(part);
        }
    }
    concatTakeWindow(c);
    return ch;
}

int concatControl(ByteStream *s, uint32_t op, void *arg)
{
    ConcatStream *c = concatOf(s);
    concatSync(c);
    int r = ByteStream_control(currentPart(c), op, arg);
    concatTakeWindow(c);
    return r;
}

int concatClose(ByteStream *s)
{
    ConcatStream *c = concatOf(s);
    concatSync(c);
    Mem_free(c);
    return Res_ok;
}

} // namespace

ConcatStream *ConcatStream_create(ByteStream *first, ByteStream *second)
{
    ConcatStream *c = static_cast<ConcatStream *>(Mem_calloc(1, sizeof(ConcatStream)));
    if (!c)
        return nullptr;
    c->base.getByte = concatGetByte;
    c->base.close = concatClose;
    c->base.control = concatControl;
    c->parts[0] = first;
    c->parts[1] = second;
    concatTakeWindow(c);
    return c;
}

// ---------------------------------------------------------- byte readers

uint16_t Bytes_peekU16Le(const uint8_t *p)
{
    return uint16_t(p[0] | (p[1] << 8));
}

uint32_t Bytes_peekU32Le(const uint8_t *p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

uint16_t Bytes_peekU16Be(const uint8_t *p)
{
    return uint16_t(p[0] << 8 | p[1]);
}

uint32_t Bytes_peekU32Be(const uint8_t *p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

int16_t Bytes_peekS16Be(const uint8_t *p)
{
    return int16_t(Bytes_peekU16Be(p));
}

uint16_t Bytes_peekU16(const uint8_t *p, uint32_t bigEndian)
{
    return bigEndian ? Bytes_peekU16Be(p) : Bytes_peekU16Le(p);
}

uint32_t Bytes_peekU32(const uint8_t *p, uint32_t bigEndian)
{
    return bigEndian ? Bytes_peekU32Be(p) : Bytes_peekU32Le(p);
}

void Bytes_putU16Le(uint8_t *p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void Bytes_putU32Le(uint8_t *p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

uint16_t Bytes_readU16Le(const uint8_t **p)
{
    uint16_t v = Bytes_peekU16Le(*p);
    *p += 2;
    return v;
}

int16_t Bytes_readS16Le(const uint8_t **p)
{
    return int16_t(Bytes_readU16Le(p));
}

uint32_t Bytes_readU32Le(const uint8_t **p)
{
    uint32_t v = Bytes_peekU32Le(*p);
    *p += 4;
    return v;
}

uint32_t Bytes_readS32Le(const uint8_t **p)
{
    return Bytes_readU32Le(p);
}

// ---------------------------------------------------------- byte cursors

ByteCursor ByteCursor_make(const uint8_t *data, size_t size, uint32_t bigEndian)
{
    ByteCursor c{};
    c.start = data;
    c.at = data;
    c.end = data ? data + size : data;
    c.bigEndian = bigEndian ? 1 : 0;
    return c;
}

size_t ByteCursor_left(const ByteCursor *cursor)
{
    return size_t(cursor->end - cursor->at);
}

void ByteCursor_seek(ByteCursor *cursor, size_t offset)
{
    if (offset > size_t(cursor->end - cursor->start)) {
        cursor->at = cursor->end;
        cursor->overrun = 1;
        return;
    }
    cursor->at = cursor->start + offset;
}

// The next n bytes, taken; null (cursor at the end, overrun set) when
// fewer are left.
namespace {

const uint8_t *bytestreamCursorTake(ByteCursor *cursor, size_t n)
{
    if (n > ByteCursor_left(cursor)) {
        cursor->at = cursor->end;
        cursor->overrun = 1;
        return nullptr;
    }
    const uint8_t *p = cursor->at;
    cursor->at += n;
    return p;
}

} // namespace

uint8_t ByteCursor_u8(ByteCursor *cursor)
{
    const uint8_t *p = bytestreamCursorTake(cursor, 1);
    return p ? p[0] : 0;
}

uint16_t ByteCursor_u16(ByteCursor *cursor)
{
    const uint8_t *p = bytestreamCursorTake(cursor, 2);
    if (!p)
        return 0;
    return Bytes_peekU16(p, cursor->bigEndian);
}

uint32_t ByteCursor_u32(ByteCursor *cursor)
{
    const uint8_t *p = bytestreamCursorTake(cursor, 4);
    if (!p)
        return 0;
    return Bytes_peekU32(p, cursor->bigEndian);
}

int32_t ByteCursor_i32(ByteCursor *cursor)
{
    return int32_t(ByteCursor_u32(cursor));
}

int Bytes_readFields(const uint8_t *data, size_t size, uint32_t bigEndian, const ByteField *fields,
                     size_t count, uint32_t *values)
{
    ByteCursor c = ByteCursor_make(data, size, bigEndian);
    int result = 0;
    for (size_t i = 0; i < count; i++) {
        c.overrun = 0;
        ByteCursor_seek(&c, fields[i].offset);
        uint32_t v = 0;
        if (fields[i].width == 1)
            v = ByteCursor_u8(&c);
        else if (fields[i].width == 2)
            v = ByteCursor_u16(&c);
        else
            v = ByteCursor_u32(&c);
        if (c.overrun) {
            v = 0;
            result = Res_byteStreamEnded;
        }
        values[i] = v;
    }
    return result;
}

// ------------------------------------------------------- keyword tables

int32_t KeyTab_bsearch(const KeyTabRecord *table, int32_t lo, int32_t hi, const char *names,
                       const char16_t *key, size_t keyLength)
{
    int64_t low = lo, high = hi;
    while (high - low > 1) {
        int64_t middle = (low + high) / 2;
        const KeyTabRecord *rec = &table[middle];
        size_t nameLength = rec->nameLength;
        size_t shorter = keyLength < nameLength ? keyLength : nameLength;
        int cmp = Ustr_nicmpCstr(key, names + rec->nameOffset, shorter);
        if (cmp == 0) {
            if (nameLength == keyLength)
                return int32_t(middle);
            cmp = nameLength > keyLength ? -1 : 1;
        }
        if (cmp < 0)
            high = middle;
        else
            low = middle;
    }
    return -1;
}

char16_t *KeyTab_findIf(const KeyTabRecord *table, size_t count, const char *names,
                        int (*predicate)(const KeyTabRecord *record, void *arg), void *arg)
{
    for (size_t i = 0; i < count; i++) {
        if (predicate(&table[i], arg))
            return Ustr_fromCstrN(names + table[i].nameOffset, table[i].nameLength);
    }
    return nullptr;
}
