// Inflate streams over zlib.
//
// zlib counts its windows in 32-bit units; windows larger than that are
// fed to it in pieces, so callers may pass any size_t.
#include "core/stream/inflate.h"

#include <climits>

#include <zlib.h>

#include "core/mem/mem.h"
#include "core/result.h"

struct InflateStream {
    z_stream zs;
    uint32_t headerState; // 5: the data start directly (no gzip header to parse)
    uint32_t headerFlags;
    uint32_t headerCount;
    uint32_t extraLength;
};

namespace {

constexpr uint32_t headerDirect = 5;

uInt clip(size_t n)
{
    return n > UINT_MAX ? UINT_MAX : uInt(n);
}

void useEngineHeap(z_stream *z)
{
    z->zalloc = Inflate_zalloc;
    z->zfree = Inflate_zfree;
    z->opaque = nullptr;
}

// Runs inflate over the windows (in, *inCount) and (out, *outSpace) with
// the flush mode, in pieces when a window is larger than zlib counts; the
// counts come back as what is left. zlib's last result.
int pump(z_stream *z, const uint8_t *in, size_t *inCount, uint8_t *out, size_t *outSpace, int flush)
{
    // zlib refuses a null window even when it is empty.
    uint8_t spare = 0;
    z->next_in = const_cast<Bytef *>(in ? in : &spare);
    z->next_out = out ? out : &spare;
    if (!in)
        *inCount = 0;
    if (!out)
        *outSpace = 0;
    for (;;) {
        uInt offeredIn = clip(*inCount), offeredOut = clip(*outSpace);
        z->avail_in = offeredIn;
        z->avail_out = offeredOut;
        int r = inflate(z, flush);
        size_t usedIn = offeredIn - z->avail_in, usedOut = offeredOut - z->avail_out;
        *inCount -= usedIn;
        *outSpace -= usedOut;
        bool clipped = *inCount > z->avail_in || *outSpace > z->avail_out;
        bool moved = usedIn || usedOut;
        if ((r != Z_OK && r != Z_BUF_ERROR) || !clipped || !moved)
            return r;
    }
}

// Frees a stream whose zlib state is set up; zlib's result of ending.
int endAndFree(InflateStream *s)
{
    int r = inflateEnd(&s->zs);
    Mem_free(s);
    return r;
}

} // namespace

void *Inflate_zalloc(void *, unsigned items, unsigned size)
{
    return Mem_malloc(size_t(items) * size_t(size));
}

void Inflate_zfree(void *, void *address)
{
    Mem_free(address);
}

int Inflate_buffer(const uint8_t *input, size_t inputLength, uint8_t *output, size_t capacity)
{
    if ((!input && inputLength) || (!output && capacity))
        return Res_nullInput;
    z_stream z{};
    useEngineHeap(&z);
    int r = inflateInit_(&z, ZLIB_VERSION, int(sizeof(z_stream)));
    if (r != Z_OK)
        return r == Z_MEM_ERROR ? Res_noMemory : Res_inflateInit;
    size_t inLeft = inputLength, outLeft = capacity;
    r = pump(&z, input, &inLeft, output, &outLeft, Z_FINISH);
    int e = inflateEnd(&z);
    if (r == Z_MEM_ERROR)
        return Res_noMemory;
    if (r != Z_STREAM_END || e != Z_OK)
        return Res_inflateData;
    return Res_ok;
}

int InflateStream_create(InflateStream **stream, uint32_t mode)
{
    *stream = nullptr;
    if (mode != Inflate_modeRaw && mode != Inflate_modeZlib && mode != Inflate_modeRawAlt)
        return Res_inflateInit;
    InflateStream *s = static_cast<InflateStream *>(Mem_calloc(1, sizeof(InflateStream)));
    if (!s)
        return Res_noMemory;
    useEngineHeap(&s->zs);
    int r = mode == Inflate_modeZlib
                ? inflateInit_(&s->zs, ZLIB_VERSION, int(sizeof(z_stream)))
                : inflateInit2_(&s->zs, -MAX_WBITS, ZLIB_VERSION, int(sizeof(z_stream)));
    if (r != Z_OK) {
        Mem_free(s);
        return r == Z_MEM_ERROR ? Res_noMemory : Res_inflateInit;
    }
    s->headerState = headerDirect;
    *stream = s;
    return Res_ok;
}

int InflateStream_createZlib(InflateStream **stream)
{
    return InflateStream_create(stream, Inflate_modeZlib);
}

int InflateStream_createRaw(InflateStream **stream)
{
    return InflateStream_create(stream, Inflate_modeRaw);
}

int InflateStream_decode(const uint8_t *input, size_t *inputCount, uint8_t *output,
                         size_t *outputSpace, int *done, InflateStream *stream)
{
    *done = 1;
    if (!stream)
        return Res_nullInput;
    int r = pump(&stream->zs, input, inputCount, output, outputSpace, Z_SYNC_FLUSH);
    switch (r) {
    case Z_STREAM_END: return Res_ok;
    case Z_OK:
    case Z_BUF_ERROR: // no progress possible: more input or space is needed
        *done = 0;
        return Res_ok;
    case Z_MEM_ERROR: return Res_noMemory;
    default: // data errors, and a preset dictionary asked for
        return Res_inflateData;
    }
}

int InflateStream_reset(InflateStream *stream)
{
    if (!stream)
        return Res_ok;
    if (inflateReset(&stream->zs) != Z_OK)
        return Res_inflateReset;
    stream->headerState = headerDirect;
    stream->headerFlags = stream->headerCount = stream->extraLength = 0;
    return Res_ok;
}

int InflateStream_destroy(InflateStream *stream)
{
    if (!stream)
        return Res_ok;
    return endAndFree(stream) == Z_OK ? Res_ok : Res_inflateEnd;
}

size_t Inflate_roundCapacity(size_t n)
{
    size_t extra = n % 8;
    return n > SIZE_MAX - extra ? 0 : n + extra;
}

int Inflate_wholeBuffer(const uint8_t *input, size_t inputLength, uint8_t **buffer, size_t *length)
{
    if (!input || !buffer || !length)
        return Res_inflateNullArg;
    *buffer = nullptr;
    *length = 0;
    if (!inputLength)
        return Res_inflateData;
    size_t capacity = Inflate_roundCapacity(inputLength);
    if (!capacity)
        return Res_noMemory;
    InflateStream *s = nullptr;
    int r = InflateStream_create(&s, Inflate_modeRawAlt);
    if (r != Res_ok)
        return r;
    uint8_t *out = static_cast<uint8_t *>(Mem_malloc(capacity));
    size_t produced = 0;
    const uint8_t *in = input;
    size_t left = inputLength;
    if (!out) {
        r = Res_noMemory;
        goto fail;
    }
    for (;;) {
        size_t inCount = left, space = capacity - produced;
        int done = 0;
        r = InflateStream_decode(in, &inCount, out + produced, &space, &done, s);
        size_t used = left - inCount, made = capacity - produced - space;
        in += used;
        left = inCount;
        produced += made;
        if (r != Res_ok)
            goto fail;
        if (done)
            break;
        if (space == 0) {
            size_t half = capacity / 2;
            size_t next = capacity > SIZE_MAX - half ? 0 : Inflate_roundCapacity(capacity + half);
            uint8_t *grown = next ? static_cast<uint8_t *>(Mem_realloc(out, next)) : nullptr;
            if (!grown) {
                r = Res_noMemory;
                goto fail;
            }
            out = grown;
            capacity = next;
        } else if (left == 0 || (used == 0 && made == 0)) {
            // The input ended before the stream did, or nothing moves.
            r = Res_inflateData;
            goto fail;
        }
    }
    r = InflateStream_destroy(s);
    s = nullptr;
    if (r != Res_ok)
        goto fail;
    *buffer = out;
    *length = produced;
    return Res_ok;
fail:
    (void)InflateStream_destroy(s);
    Mem_free(out);
    return r;
}
