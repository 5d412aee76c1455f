// Fuzz target for the byte streams and the buffered reader. The input is a
// script and a payload: byte 0 holds the number of steps (low 5 bits),
// then three bytes per step {operation, a, b}, then the payload. The
// payload is served as a memory file through a "RAM:" file URL, and the
// script runs against a model of the position on each of: a lending byte
// stream, a copying byte stream, a lookahead stream over a lending one, a
// concatenation of two lending streams over the two halves, and a buffered
// reader in both byte orders (windows, integers, runs, skips). Every byte
// read must be the payload's; nothing may leak.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/streamtypes.h"
#include "core/mem/mem.h"
#include "core/result.h"
#include "platform/vfs/bufstream.h"
#include "core/stream/bytestream.h"
#include "platform/api/engine.h"
#include "platform/url/file.h"
#include "platform/url/url.h"
#include "platform/vfs/vfs.h"
#include "platform/vfs/vfsbytestream.h"
#include "tests/support/test_engine.h"

namespace {

TestHeap heap;
EngineContext *ctx = nullptr;

void requireAt(bool ok, int line)
{
    if (ok)
        return;
    fprintf(stderr, "bytestream_fuzz: check on line %d failed\n", line);
    abort();
}
#define require(ok) requireAt(ok, __LINE__)

void setUp()
{
    require(TestHeap_open(&heap, 16 << 20, 0));
    ctx = static_cast<EngineContext *>(Mem_calloc(1, sizeof(EngineContext)));
    require(ctx != nullptr);
    ctx->instance = heap.instance;
    heap.instance->context = ctx;
    require(Vfs_initLayer(ctx) == Res_ok);
    require(App_registerStreamTypes(ctx) == Res_ok);
    // The memory-file registry keeps its array once made: make it now, so
    // that the leak check of every run starts from it.
    static const uint8_t warm[1] = {0};
    Url *u = nullptr;
    require(AlienFile_ramUrl(ctx, warm, 1, "x", &u) == Res_ok);
    AlienFile_ramRelease(ctx, warm);
    Url_free(u);
}

struct Step {
    uint8_t op, a, b;
};

VfsHandle *openRam(const uint8_t *data, size_t size)
{
    Url *u = nullptr;
    require(AlienFile_ramUrl(ctx, data, size, "bin", &u) == Res_ok);
    VfsHandle *h = nullptr;
    uint32_t accepted = 0;
    require(Vfs_open(ctx, u, Vfs_modeRead | Vfs_modeSeekable, &h, &accepted) == Res_ok);
    Url_free(u);
    return h;
}

enum Kind { lending, copying, peeking, concat };

// Runs the script on a byte stream over the payload.
void runStream(ByteStream *s, Kind kind, const Step *steps, size_t count, const uint8_t *payload,
               size_t size)
{
    uint64_t pos = 0;
    std::vector<uint8_t> buf(70000);
    for (size_t i = 0; i < count; i++) {
        const Step &st = steps[i];
        size_t n = (size_t(st.a) << 8 | st.b) % 9000;
        size_t left = pos < size ? size_t(size - pos) : 0;
        switch (st.op % 8) {
        case 0: { // one byte
            uint8_t b = 0;
            int r = ByteStream_readByte(s, &b);
            require(r == (left ? Res_ok : Res_byteStreamEnded));
            if (left) {
                require(b == payload[pos]);
                pos++;
            }
            break;
        }
        case 1: { // a run
            int r = ByteStream_readExact(s, buf.data(), n);
            size_t got = std::min(n, left);
            require(r == (n <= left ? Res_ok : Res_byteStreamEnded));
            require(got == 0 || memcmp(buf.data(), payload + pos, got) == 0);
            pos += got;
            break;
        }
        case 2: { // a skip
            int r = ByteStream_skip(s, n);
            require(r == (n <= left ? Res_ok : Res_byteStreamEnded));
            pos += std::min(n, left);
            break;
        }
        case 3: { // a seek
            uint64_t target = n % (size + 100);
            int r = ByteStream_seek(s, target);
            if (kind == concat) {
                require(r == Res_byteStreamNoSeek);
            } else {
                require(r == Res_ok);
                pos = kind == copying ? std::min<uint64_t>(target, size) : target;
            }
            break;
        }
        case 4: { // the position
            uint64_t at = 0;
            require(ByteStream_control(s, ByteStream_opPosition, &at) == Res_ok);
            uint64_t want = pos;
            if (kind == concat && pos > size / 2)
                want = pos - size / 2; // the second part's own position
            require(at == want || (kind == concat && pos == size / 2 && at == 0));
            break;
        }
        case 5: { // what is buffered
            int64_t got = ByteStream_available(s, st.a & 1);
            require(left ? got >= 1 && uint64_t(got) <= left : got == 0);
            require(got <= 0 || memcmp(s->readPtr, payload + pos, size_t(got)) == 0);
            break;
        }
        case 6: { // look ahead
            if (kind != peeking)
                break;
            size_t got = PeekStream_fill(reinterpret_cast<PeekStream *>(s), n);
            require(got >= std::min(n, left) && got <= left);
            require(got == 0 || memcmp(s->readPtr, payload + pos, got) == 0);
            break;
        }
        default: { // read to the end and come back
            int r = ByteStream_drainAndRestore(s);
            require(r == (kind == concat ? Res_byteStreamNoSeek : Res_ok));
            if (kind == concat)
                pos = size;
            break;
        }
        }
    }
    require(s->status == 0);
}

uint32_t integerAt(const uint8_t *p, size_t size, uint32_t order)
{
    uint32_t v = 0;
    for (size_t i = 0; i < size; i++)
        v = (v << 8) | p[order == BufStream_littleEndian ? size - 1 - i : i];
    return v;
}

// Runs the script on a buffered reader over the payload.
void runReader(VfsHandle *h, uint32_t order, const Step *steps, size_t count,
               const uint8_t *payload, size_t size)
{
    BufStream *r = nullptr;
    require(BufStream_open(ctx, nullptr, h, uint32_t(size), order, &r) == Res_ok);
    std::vector<uint8_t> buf(9000);
    uint32_t start = 0, length = 0, pos = 0;
    for (size_t i = 0; i < count; i++) {
        const Step &st = steps[i];
        size_t n = (size_t(st.a) << 8 | st.b) % 9000;
        size_t left = length - pos;
        switch (st.op % 6) {
        case 0: { // a window, sometimes past the end
            uint32_t offset = uint32_t(n % (size + 2));
            uint32_t len = uint32_t((size_t(st.b) * 131 + st.a) % (size + 2));
            int res = BufStream_setRange(ctx, r, offset, len);
            if (uint64_t(offset) + len > size) {
                // A failed window ends the one before.
                require(res == Res_bufWindowBeyond);
                length = pos;
            } else {
                require(res == Res_ok);
                start = offset;
                length = len;
                pos = 0;
            }
            break;
        }
        case 1:
        case 2:
        case 3: { // integers of 1, 2 and 4 bytes
            size_t width = size_t(1) << (st.op % 6 - 1);
            uint32_t v = 0;
            int res;
            if (width == 1) {
                uint8_t b;
                res = BufStream_readU8(&b, r);
                v = b;
            } else if (width == 2) {
                uint16_t w;
                res = BufStream_readU16(&w, r);
                v = w;
            } else {
                res = BufStream_readU32(&v, r);
            }
            if (width > left) {
                require(res == Res_bufWindowShort);
            } else {
                require(res == Res_ok && v == integerAt(payload + start + pos, width, order));
                pos += uint32_t(width);
            }
            break;
        }
        case 4: { // a run
            int res = BufStream_read(r, buf.data(), n);
            uint32_t now = BufStream_tell(r);
            require(now >= pos && now - pos <= n);
            require(memcmp(buf.data(), payload + start + pos, now - pos) == 0);
            require(res == (n <= left ? Res_ok : Res_bufWindowShort));
            require(n > left || now - pos == n);
            pos = now;
            break;
        }
        default: { // a skip
            int res = BufStream_skip(r, n);
            require(res == (n <= left ? Res_ok : Res_bufSkipPastEnd));
            if (n <= left)
                pos += uint32_t(n);
        }
        }
        require(BufStream_tell(r) == pos);
    }
    BufStream_close(r); // closes h
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 40000)
        return 0;
    if (!ctx)
        setUp();
    size_t before = TestHeap_usedBytes();
    size_t count = size ? data[0] & 31 : 0;
    size_t head = 1 + 3 * count;
    if (size < head)
        return 0;
    std::vector<Step> steps(count);
    for (size_t i = 0; i < count; i++)
        steps[i] = {data[1 + 3 * i], data[2 + 3 * i], data[3 + 3 * i]};
    // The payload in its own block, so that reads past it are caught.
    std::vector<uint8_t> payload(data + head, data + size);
    const uint8_t *p = payload.empty() ? nullptr : payload.data();
    size_t n = payload.size();
    static const uint8_t none[1] = {0};
    if (!p)
        p = none;

    for (Kind kind : {lending, copying, peeking}) {
        VfsHandle *h = openRam(p, n);
        if (kind == copying)
            h->mode |= VfsByteStream_modeNoLend;
        ByteStream *s = nullptr;
        require(VfsByteStream_create(h, &s, kind == copying, 1) == Res_ok);
        if (kind == peeking) {
            PeekStream *peek = PeekStream_create(s, 1);
            require(peek != nullptr);
            s = &peek->base;
        }
        runStream(s, kind, steps.data(), count, p, n);
        require(ByteStream_close(s) == Res_ok);
    }
    {
        VfsHandle *h1 = openRam(p, n / 2);
        VfsHandle *h2 = openRam(p + n / 2, n - n / 2);
        ByteStream *a = nullptr, *b = nullptr;
        require(VfsByteStream_create(h1, &a, 0, 1) == Res_ok);
        require(VfsByteStream_create(h2, &b, 0, 1) == Res_ok);
        ConcatStream *c = ConcatStream_create(a, b);
        require(c != nullptr);
        runStream(&c->base, concat, steps.data(), count, p, n);
        require(ByteStream_close(&c->base) == Res_ok);
        require(ByteStream_close(a) == Res_ok);
        require(ByteStream_close(b) == Res_ok);
    }
    for (uint32_t order : {uint32_t(BufStream_littleEndian), uint32_t(BufStream_bigEndian)})
        runReader(openRam(p, n), order, steps.data(), count, p, n);
    AlienFile_ramRelease(ctx, p);
    AlienFile_ramRelease(ctx, p + n / 2);
    require(TestHeap_usedBytes() == before);
    require(Mem_check() == 0);
    return 0;
}
