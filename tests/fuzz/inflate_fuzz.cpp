// Fuzz target for the inflate layer: its three entry points must agree and
// never hang. Byte 0 holds flags (bit 0: also read the data as a
// zlib-wrapped stream), byte 1 seeds the window sizes, the rest is the
// data. As raw deflate data it goes through Inflate_wholeBuffer and through
// InflateStream_decode in random windows: both finish with the same bytes,
// or both find the data corrupt, or the data are truncated (the stream
// wants more). A finished stream, wrapped in a zlib header and checksum,
// then inflates through Inflate_buffer into exactly its size and not into
// one byte less. As zlib-wrapped data it goes through Inflate_buffer and
// the decoder. Nothing may leak.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <zlib.h>

#include "core/mem/mem.h"
#include "core/result.h"
#include "core/stream/inflate.h"
#include "tests/support/test_engine.h"

namespace {

TestHeap heap;
bool ready = false;

void requireAt(bool ok, int line)
{
    if (ok)
        return;
    fprintf(stderr, "inflate_fuzz: check on line %d failed\n", line);
    abort();
}
#define require(ok) requireAt(ok, __LINE__)

struct Fed {
    int result = 0;
    bool done = false;
    std::string output;
    size_t unused = 0;
};

// Feeds data to a stream of mode in windows whose sizes come from seed,
// then drains it with large windows while it produces.
Fed feed(const uint8_t *data, size_t size, uint32_t mode, uint32_t seed)
{
    Fed f;
    InflateStream *s = nullptr;
    require(InflateStream_create(&s, mode) == Res_ok);
    std::vector<uint8_t> room(1 << 16);
    size_t at = 0;
    uint32_t rng = seed * 2654435761u + 1;
    auto next = [&rng](uint32_t bound) {
        rng = rng * 1103515245u + 12345u;
        return (rng >> 8) % (bound + 1);
    };
    auto step = [&](size_t inN, size_t outN) {
        size_t inCount = inN, space = outN;
        int done = 0;
        int r = InflateStream_decode(data + at, &inCount, room.data(), &space, &done, s);
        require(inCount <= inN && space <= outN);
        at += inN - inCount;
        f.output.append(reinterpret_cast<const char *>(room.data()), outN - space);
        if (r != Res_ok) {
            require(r == Res_inflateData && done == 1);
            f.result = r;
        }
        f.done = done && r == Res_ok;
        return (inN - inCount) + (outN - space);
    };
    while (at < size && !f.done && !f.result)
        step(std::min<size_t>(size - at, next(200)), next(300));
    while (!f.done && !f.result && step(size - at, room.size()))
        ;
    f.unused = size - at;
    require(InflateStream_destroy(s) == Res_ok);
    return f;
}

void asRaw(const uint8_t *data, size_t size, uint32_t seed)
{
    uint8_t *whole = nullptr;
    size_t length = 0;
    int r = Inflate_wholeBuffer(size ? data : reinterpret_cast<const uint8_t *>(""), size, &whole,
                                &length);
    Fed f = feed(data, size, seed & 1 ? Inflate_modeRaw : Inflate_modeRawAlt, seed);
    if (f.done) {
        require(r == Res_ok);
        require(length == f.output.size() && memcmp(whole, f.output.data(), length) == 0);
    } else if (f.result) {
        require(r == Res_inflateData);
    } else {
        require(r == Res_inflateData && f.unused == 0); // truncated
    }
    if (r == Res_ok) {
        require(f.done);
        // The stream as zlib wraps it: header, the deflate bytes used,
        // the big-endian Adler-32 of the output.
        size_t used = size - f.unused;
        uint32_t adler = uint32_t(adler32(adler32(0, nullptr, 0), whole, uInt(length)));
        std::vector<uint8_t> wrapped = {0x78, 0x9c};
        wrapped.insert(wrapped.end(), data, data + used);
        for (int shift = 24; shift >= 0; shift -= 8)
            wrapped.push_back(uint8_t(adler >> shift));
        std::vector<uint8_t> out(length + 1);
        require(Inflate_buffer(wrapped.data(), wrapped.size(), out.data(), length) == Res_ok);
        require(memcmp(out.data(), whole, length) == 0);
        if (length)
            require(Inflate_buffer(wrapped.data(), wrapped.size(), out.data(), length - 1) ==
                    Res_inflateData);
    } else {
        require(whole == nullptr && length == 0);
    }
    Mem_free(whole);
}

void asZlib(const uint8_t *data, size_t size, uint32_t seed)
{
    constexpr size_t capacity = 1 << 16;
    std::vector<uint8_t> out(capacity);
    int r = Inflate_buffer(data, size, out.data(), capacity);
    Fed f = feed(data, size, Inflate_modeZlib, seed);
    bool fits = f.done && f.output.size() <= capacity;
    require((r == Res_ok) == fits);
    if (fits)
        require(memcmp(out.data(), f.output.data(), f.output.size()) == 0);
    else
        require(r == Res_inflateData);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2 || size > 4096)
        return 0;
    if (!ready) {
        require(TestHeap_open(&heap, 64 << 20, 0));
        ready = true;
    }
    size_t before = TestHeap_usedBytes();
    uint8_t flags = data[0];
    uint32_t seed = data[1];
    // The data in their own block, so that reads past them are caught.
    std::vector<uint8_t> copy(data + 2, data + size);
    asRaw(copy.data(), copy.size(), seed);
    if (flags & 1)
        asZlib(copy.data(), copy.size(), seed);
    require(TestHeap_usedBytes() == before);
    require(Mem_check() == 0);
    return 0;
}
