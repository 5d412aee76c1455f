// The LZW decode filter.
#include "graphics/codecs/lzw.h"

#include "core/mem/mem.h"
#include "core/result.h"

namespace {

LzwStream *lzwOf(ByteStream *s)
{
    return reinterpret_cast<LzwStream *>(s);
}

// Back to the state after a clear code: 9-bit codes, an empty table.
void resetTable(LzwStream *z)
{
    z->width = 9;
    z->threshold = 511 - uint32_t(z->earlyChange);
    z->nextCode = Lzw_firstFree;
    z->previousCode = -1;
}

// The next code of z->width bits into *code. False when the source has
// ended (its status becomes the filter's).
bool readCode(LzwStream *z, uint32_t *code)
{
    while (32 - z->freeBits < z->width) {
        uint8_t byte = 0;
        int r = ByteStream_readByte(z->source, &byte);
        if (r != Res_ok) {
            // The source's error becomes the filter's status; a plain
            // end of the data is none.
            z->ended = 1;
            z->base.status = r == Res_byteStreamEnded ? Res_ok : r;
            return false;
        }
        z->freeBits -= 8;
        z->bits |= uint32_t(byte) << z->freeBits;
    }
    *code = z->bits >> (32 - z->width);
    z->bits <<= z->width;
    z->freeBits += z->width;
    return true;
}

// Pushes the string of code (below the next free code) onto the stack,
// last byte first, and leaves its first byte in z->firstByte.
void expand(LzwStream *z, uint32_t code)
{
    while (code >= 256 && z->stackCount < Lzw_tableSize) {
        uint32_t entry = z->table[code];
        z->stack[z->stackCount++] = uint8_t(entry & 0xFF);
        code = entry >> 20;
    }
    if (z->stackCount < Lzw_tableSize)
        z->stack[z->stackCount++] = uint8_t(code);
    z->firstByte = code & 0xFF;
}

enum Step { stepMore, stepEnd, stepCorrupt, stepFailed };

// Reads one code and leaves its string on the stack.
Step decodeCode(LzwStream *z)
{
    uint32_t code = 0;
    if (!readCode(z, &code))
        return stepFailed;
    if (code == Lzw_endCode)
        return stepEnd;
    if (code == Lzw_clearCode) {
        resetTable(z);
        do {
            if (!readCode(z, &code))
                return stepFailed;
        } while (code == Lzw_clearCode);
        if (code == Lzw_endCode)
            return stepEnd;
    }
    if (z->previousCode < 0) {
        // The first code after a clear code (or of a stream without
        // one) is a single byte.
        if (code >= 256)
            return stepCorrupt;
        z->stack[z->stackCount++] = uint8_t(code);
        z->firstByte = code;
        z->previousCode = int32_t(code);
        z->code = code;
        return stepMore;
    }
    if (z->nextCode >= Lzw_tableSize || code > z->nextCode)
        return stepCorrupt;
    uint32_t previous = uint32_t(z->previousCode);
    if (code == z->nextCode) {
        // The string being defined: the previous one and its own first
        // byte.
        z->stack[z->stackCount++] = uint8_t(z->firstByte);
        expand(z, previous);
    } else {
        expand(z, code);
    }
    z->table[z->nextCode] = (previous << 20) | z->firstByte;
    z->nextCode++;
    if (z->nextCode > z->threshold && z->width < 12) {
        z->width++;
        z->threshold = (1u << z->width) - 1 - uint32_t(z->earlyChange);
    }
    z->previousCode = int32_t(code);
    z->code = code;
    return stepMore;
}

int lzwRefill(ByteStream *s)
{
    LzwStream *z = lzwOf(s);
    if (s->status || z->ended) {
        s->readPtr = s->end = z->output;
        return ByteStream_end;
    }
    uint32_t produced = 0;
    Step step = stepMore;
    while (produced < Lzw_outputSize) {
        if (z->stackCount) {
            z->output[produced++] = z->stack[--z->stackCount];
            continue;
        }
        step = decodeCode(z);
        if (step != stepMore)
            break;
    }
    if (step == stepEnd || step == stepCorrupt)
        z->ended = 1;
    if (step == stepCorrupt)
        s->status = Res_lzwCorrupt;
    // A failed read set the status already (the source's error or none).
    s->readPtr = s->end = z->output;
    if (!produced)
        return ByteStream_end;
    s->readPtr = z->output + 1;
    s->end = z->output + produced;
    return z->output[0];
}

int lzwClose(ByteStream *s)
{
    Mem_free(s);
    return Res_ok;
}

int lzwControl(ByteStream *s, uint32_t op, void *arg)
{
    return ByteStream_control(lzwOf(s)->source, op, arg);
}

} // namespace

int Lzw_create(ByteStream *source, ByteStream **outStream, int32_t earlyChange)
{
    *outStream = nullptr;
    LzwStream *z = static_cast<LzwStream *>(Mem_malloc(sizeof(LzwStream)));
    if (!z)
        return Res_noMemory;
    z->base = ByteStream{};
    z->base.getByte = lzwRefill;
    z->base.close = lzwClose;
    z->base.control = lzwControl;
    z->base.readPtr = z->base.end = z->output;
    z->source = source;
    z->ended = 0;
    z->earlyChange = earlyChange ? 1 : 0;
    z->stackCount = 0;
    z->firstByte = 0;
    z->code = 0;
    z->bits = 0;
    z->freeBits = 32;
    for (uint32_t i = 0; i < 256; i++)
        z->table[i] = i;
    resetTable(z);
    *outStream = &z->base;
    return Res_ok;
}
