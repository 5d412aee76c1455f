// PDF filter speed as throughput against zlib in the same run on the same
// data: 4 MiB of text, compressed by zlib and by an LZW coder (early
// change 1), read through the PDF Flate and LZW stages over a memory
// stream (the reader takes each 1024-byte block through the stream
// window). The reference is zlib's inflate called directly on the same
// compressed bytes into 64 KiB output windows.
// - "throughput" of the Flate stage: reference time / stage time (goal:
//   at least 0.9);
// - "throughput" of the LZW stage: the same zlib reference time / LZW
//   stage time (goal: at least 0.8).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <zlib.h>

#include "core/mem/mem.h"
#include "pdf/filter.h"
#include "pdf/resources/pdfstream.h"
#include "tests/support/test_engine.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t textSize = 4u << 20;

double seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

std::string text()
{
    static const char *words[] = {"BT", "/F1", "12", "Tf", "72", "720", "Td", "(stream)",
                                  "Tj", "ET",  "q",  "cm", "re", "f",   "Q",  "page"};
    std::string out;
    uint32_t rng = 1;
    while (out.size() < textSize) {
        rng = rng * 1103515245u + 12345u;
        out += words[(rng >> 16) % 16];
        out += (rng >> 8) % 9 == 0 ? '\n' : ' ';
    }
    out.resize(textSize);
    return out;
}

std::string zlibOf(const std::string &s)
{
    uLongf n = compressBound(s.size());
    std::string out(n, '\0');
    if (compress(reinterpret_cast<Bytef *>(&out[0]), &n, reinterpret_cast<const Bytef *>(s.data()),
                 s.size()) != Z_OK)
        abort();
    out.resize(n);
    return out;
}

// LZW with clear codes before the table fills; widths as the PDF decoder
// (early change 1) reads them.
std::string lzwOf(const std::string &s)
{
    std::vector<uint16_t> next(size_t(4096) * 256, 0);
    std::string out;
    uint32_t acc = 0, bits = 0, width = 9, nextCode = 258;
    auto put = [&](uint32_t code) {
        acc = (acc << width) | code;
        bits += width;
        while (bits >= 8) {
            out += char(acc >> (bits - 8));
            bits -= 8;
        }
        acc &= (1u << bits) - 1;
    };
    put(256);
    int32_t w = -1;
    bool first = true;
    uint32_t decoderNext = 258;
    auto emit = [&](uint32_t code) {
        put(code);
        if (!first)
            decoderNext++;
        first = false;
        while (decoderNext + 1 >= (1u << width) && width < 12)
            width++;
    };
    for (unsigned char c : s) {
        if (w < 0) {
            w = c;
            continue;
        }
        uint16_t &slot = next[size_t(w) * 256 + c];
        if (slot) {
            w = slot;
            continue;
        }
        emit(uint32_t(w));
        slot = uint16_t(nextCode++);
        w = c;
        if (nextCode >= 4000) {
            emit(uint32_t(w));
            put(256);
            std::fill(next.begin(), next.end(), 0);
            nextCode = 258;
            decoderNext = 258;
            width = 9;
            first = true;
            w = -1;
        }
    }
    if (w >= 0)
        emit(uint32_t(w));
    put(257);
    if (bits)
        out += char(acc << (8 - bits));
    return out;
}

uint32_t zlibDirect(const std::string &z, std::vector<uint8_t> &out)
{
    z_stream s{};
    if (inflateInit(&s) != Z_OK)
        abort();
    s.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(z.data()));
    s.avail_in = uInt(z.size());
    size_t at = 0;
    int r = Z_OK;
    while (r == Z_OK) {
        size_t room = std::min<size_t>(65536, out.size() - at);
        s.next_out = out.data() + at;
        s.avail_out = uInt(room);
        r = inflate(&s, Z_NO_FLUSH);
        at += room - s.avail_out;
        if (at == out.size())
            break;
    }
    inflateEnd(&s);
    return uint32_t(at);
}

size_t throughStage(const std::string &coded, bool lzw, std::vector<uint8_t> &out)
{
    ByteStream *mem = nullptr, *f = nullptr;
    if (Pdf_Stream_openMemory(reinterpret_cast<const uint8_t *>(coded.data()), coded.size(),
                              &mem) != 0)
        abort();
    if (Pdf_Filter_lookup(&f, mem, lzw ? "LZWDecode" : "FlateDecode", nullptr, nullptr) != 0)
        abort();
    size_t at = 0;
    for (;;) {
        size_t n = size_t(f->end - f->readPtr);
        if (n > out.size() - at)
            abort();
        memcpy(out.data() + at, f->readPtr, n);
        at += n;
        f->readPtr = f->end;
        int c = f->getByte(f);
        if (c < 0)
            break;
        out[at++] = uint8_t(c);
    }
    ByteStream_close(f);
    ByteStream_close(mem);
    return at;
}

void run(benchmark::State &state, bool lzw)
{
    TestHeap heap;
    TestHeap_open(&heap, 16u << 20, 0);
    static const std::string plain = text();
    static const std::string z = zlibOf(plain);
    static const std::string l = lzwOf(plain);
    std::vector<uint8_t> out(plain.size() + 1024);
    double stage = 0, reference = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        size_t n = throughStage(lzw ? l : z, lzw, out);
        auto t1 = Clock::now();
        if (n != plain.size() || memcmp(out.data(), plain.data(), n) != 0)
            abort();
        if (zlibDirect(z, out) != plain.size())
            abort();
        auto t2 = Clock::now();
        stage += seconds(t0, t1);
        reference += seconds(t1, t2);
        state.SetIterationTime(seconds(t0, t1));
    }
    state.counters["throughput"] = reference / stage;
    state.SetBytesProcessed(int64_t(state.iterations() * plain.size()));
    TestHeap_close(&heap);
}

void BM_PdfFlateStage(benchmark::State &state)
{
    run(state, false);
}
void BM_PdfLzwStage(benchmark::State &state)
{
    run(state, true);
}

} // namespace

BENCHMARK(BM_PdfFlateStage)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PdfLzwStage)->UseManualTime()->Unit(benchmark::kMillisecond);
